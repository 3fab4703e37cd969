// Bayer demosaicing with red and blue white-balance gains, and the automatic white balance
// measured on the raw frame.
//
// Threads: called by the thread that processes the frame (acquisition thread or snapshot
// caller) with the session's frame lock held. The routines keep no state; with a worker pool
// they split rows over its threads and return when all are done. Nothing is allocated.
#pragma once

#include <cstddef>
#include <cstdint>

#include "imaging/CDibImage.h"
#include "imaging/SimdSupport.h"

namespace orvane::platform {
class WorkerPool;
}

namespace orvane::imaging {

enum class BayerColour : uint8_t { Red = 0, Green = 1, Blue = 2 };

// Colour of raw sample (x, y), counted from the top-left sample, for Bayer mode 0 to 3.
BayerColour bayerColourAt(int bayerMode, int x, int y);

// Parameter record of the demosaic, filled once per frame from the session's settings.
struct DemosaicParams {
    int32_t bayerMode = 2;    // 0 to 3
    int32_t gainRed = 100;    // 0 to 400, 100 = unity
    int32_t gainGreen = 100;  // stored and reported only; the demosaic does not apply it
    int32_t gainBlue = 100;   // 0 to 400
};

// Integer gain factor: trunc(gain x 1.28) in double precision (100 -> 128, 400 -> 512).
// Gains outside 0 ... 400 are clamped first.
int bayerGainFactor(int gain);

// Demosaics an 8-bit raw frame (1 byte per pixel) into 24- or 32-bit blue-green-red pixels,
// or a 16-bit raw frame into 48- or 64-bit pixels. The fourth sample of 32- and 64-bit pixels
// is not touched. Interior and border passes; frames need at least 4 x 4 pixels. Returns
// false (output untouched) for a size mismatch, unsupported depths, a Bayer mode outside 0 to
// 3, or a frame smaller than 4 x 4.
bool demosaic(const ImageView& raw, const ImageView& out, const DemosaicParams& params,
              platform::WorkerPool* pool = nullptr, VectorPath path = VectorPath::Best);

// Result of the automatic white balance.
struct WhiteBalanceGains {
    int32_t red = 100;
    int32_t green = 100;
    int32_t blue = 100;
};

// Measures red and blue gains (100 x green mean / colour mean, at most 400) over every
// sample of an 8- or 16-bit raw frame. A colour without signal gets the limit 400; a frame
// without any signal leaves the gains at 100.
WhiteBalanceGains measureWhiteBalance(const ImageView& raw, int bayerMode,
                                      platform::WorkerPool* pool = nullptr);

namespace detail {
// Neighbour offsets (in samples) of the interior colour rule for one output row, per column
// parity of the output pixel: red and blue as near sample, far column, far row, diagonal;
// green as the two block sites.
struct ColourOffsets {
    ptrdiff_t red[2][4];
    ptrdiff_t blue[2][4];
    ptrdiff_t green[2][2];
};
ColourOffsets colourOffsets(int bayerMode, int y, ptrdiff_t strideSamples);

// Colour of the rule at sample s (inside rows and columns 2 to size - 3) whose column
// parity is p: red and blue are (W x k) >> 11 without saturation.
template <class T>
inline void colourAt(const T* s, const ColourOffsets& o, int p, int kRed, int kBlue, int& red,
                     int& green, int& blue) {
    const ptrdiff_t* R = o.red[p];
    const ptrdiff_t* B = o.blue[p];
    const uint32_t wr = 9u * s[R[0]] + 3u * (s[R[1]] + s[R[2]]) + s[R[3]];
    const uint32_t wb = 9u * s[B[0]] + 3u * (s[B[1]] + s[B[2]]) + s[B[3]];
    red = static_cast<int>((wr * static_cast<uint32_t>(kRed)) >> 11);
    blue = static_cast<int>((wb * static_cast<uint32_t>(kBlue)) >> 11);
    green = (s[o.green[p][0]] + s[o.green[p][1]]) >> 1;
}
}  // namespace detail

}  // namespace orvane::imaging
