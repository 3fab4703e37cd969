// The two pixel filters of the defect mask: the flat-field correction against a dark and a
// bright reference frame (mask filter), and the defect-pixel filter (dot filter) with the
// builder of its hot and dead maps.
//
// Threads: run by the frame-processing thread with the session's frame lock and, inside it,
// the mask lock held (the references, maps and marks belong to the mask). Nothing here locks
// or allocates; references, maps and marks are buffers the session owns.
#pragma once

#include <cstdint>

#include "imaging/CDibImage.h"

namespace orvane::platform {
class WorkerPool;
}

namespace orvane::imaging {

// Full-scale references and the levels of the defect maps.
constexpr int kMaskBright8 = 255;
constexpr int kMaskBright16 = 4095;
constexpr int kDotThreshold8 = 30;
constexpr int kDotThreshold16 = 480;

enum class DefectKind { Hot, Dead };

// Map of one depth and kind from its reference (dark for hot, bright for dead): over rows and
// columns 2 to size - 3, 1 where the reference is above 192 (8-bit hot), below 64 (8-bit
// dead), above 3072 (16-bit hot) or below 1024 (16-bit dead), else 0; the two outer rows and
// columns keep their values. reference: 1 or 2 bytes per sample; map: 1 byte per sample, same
// size. Returns false on a mismatch.
bool buildDefectMap(const ImageView& reference, DefectKind kind, const ImageView& map);

// Where the capture window sits on the sensor, and its size.
struct CaptureWindow {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
};

// Flat-field correction of a raw frame in place. The frame's pixel (x, y) corresponds to
// reference pixel (window.x + x, window.y + y); positions outside the references are left
// alone. A border of 2 is skipped when the capture width is 3072 or its height 2048.
// 8-bit, where dark != bright: c = (F - d) 256 / (l - d) truncated towards zero, 0 below 0,
// 255 from 256 on. 16-bit, where dark < bright: c = (F - d) 4096 / (l - d) limited to
// 0 ... 4095, stored as c x 16.
bool applyMaskFilter(const ImageView& frame, const CaptureWindow& window, const ImageView& dark,
                     const ImageView& bright, platform::WorkerPool* pool = nullptr);

// Dot filter. Marks (1 byte per frame pixel, frame size) are cleared, then set over rows and
// columns 4 to size - 5 where the hot or dead map (sensor size, read at the window offset) is
// set or |v - mean of the four direct neighbours| >= threshold; then every marked pixel takes
// the integer mean of the nearest unmarked pixels to its left, right, top and bottom (it
// keeps its value when none exists). Returns the number of marked pixels.
int applyDotFilter(const ImageView& frame, const CaptureWindow& window, const ImageView& hotMap,
                   const ImageView& deadMap, const ImageView& marks, int threshold,
                   platform::WorkerPool* pool = nullptr);

// The correction step alone, on marks the caller set (rows and columns from 4 on).
void correctMarkedPixels(const ImageView& frame, const ImageView& marks,
                         platform::WorkerPool* pool = nullptr);

}  // namespace orvane::imaging
