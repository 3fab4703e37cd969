// How a processed frame reaches the preview window's client area, decided without any window
// system so that it can be checked on its own.
//
// Threads: pure function on the images it is given; the session calls it on the acquisition
// thread with its frame lock held (the lock that guards both images).
#pragma once

#include "imaging/CDibImage.h"

namespace orvane::session {

struct PreviewPlan {
    // The pixels to send: the source itself, or the display buffer.
    imaging::ImageView pixels;
    // True when the last memory row is the top of the picture (the display buffer is
    // filled bottom row first, as the scalers count source rows from the bottom).
    bool bottomUp = false;
};

// source: the 8-bit (colour indexes 0 and 1) or 24-bit frame, memory row 0 the top of the
// picture. When the client area has the source's size (and the index is not 1) the source
// is sent as it is; otherwise the display buffer is made again at the client size if its
// size or depth differs (8-bit with the gray palette for indexes 0 and 1, 24-bit otherwise)
// and the source is scaled into it by nearest neighbour. False (nothing to draw) for an
// empty client area, an empty source or a display buffer that cannot be allocated.
// Allocates only when the client size or the colour index changes.
bool planPreviewDraw(const imaging::CDibImage& source, int colorIndex, int clientWidth,
                     int clientHeight, imaging::CDibImage& display, PreviewPlan* plan);

}  // namespace orvane::session
