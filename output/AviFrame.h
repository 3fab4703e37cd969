// Turns an output image of any bit count into the 24-bit bottom-up frame the AVI writer
// takes.
//
// Threads: pure; the caller holds the lock that guards `src` (the session's frame lock) and
// owns `frame24` (the recording thread's scratch image).
#pragma once

#include "imaging/CDibImage.h"

namespace orvane::output {

// Fills `frame24` (re-created as a 24-bit image of src's size when its geometry differs)
// with src's picture, its memory row 0 holding the picture's bottom row:
// - 8-bit: each sample through src's palette;
// - 16-bit: the recorder's 8-bit rendering ((high << 6) | (low >> 2), kept to 8 bits), as
//   gray;
// - 24- and 32-bit: the first three bytes of each pixel;
// - 48- and 64-bit: the high byte of each of the first three channels.
// Returns 1, or 0 for an empty source or when memory runs out.
int MakeAviFrame(const imaging::CDibImage& src, imaging::CDibImage& frame24);

}  // namespace orvane::output
