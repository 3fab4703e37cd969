// Sample-width conversions, nearest-neighbour scalers, copy-out to an application buffer and
// in-place row repacking.
//
// Threads: pure functions on the memory they are given; the caller holds whatever lock guards
// the images (the session's frame lock). None of them allocates.
#pragma once

#include <cstddef>
#include <cstdint>

#include "imaging/CDibImage.h"

namespace orvane::imaging {

// Conversions, each a PixelRoutine for ApplyPixelRoutine. "Flip" routines read the source
// rectangle's rows from the bottom up. Parameters are unused. Each returns 1.

// 8 -> 8: row copy of min(destination, source) row bytes from the rectangle's start (the whole
// padded row for a full-width copy). Flipped.
int Convert8To8Flip(uint8_t*, const uint8_t*, const PixelRect&, int, int, uint16_t, uint16_t, int,
                    int, const void*, const void*);
// 16 -> 8 keeping 10 significant bits: (high << 6 | low >> 2) & 0xFF. Flipped.
extern const PixelRoutine Convert16To8Bits10Flip;
// 16 -> 8: the high byte. Flipped (file writers) and not flipped (preview).
extern const PixelRoutine Convert16To8HighFlip;
extern const PixelRoutine Convert16To8High;
// 24 or 32 -> 24: the first three bytes; not flipped (preview) and flipped (recorder).
extern const PixelRoutine Convert32To24;
extern const PixelRoutine Convert24To24Flip;
// 24 or 32 -> 24 or 32 with red and blue exchanged (bytes 2, 1, 0 into the first three; a
// fourth destination byte is left alone). Not flipped.
extern const PixelRoutine ConvertSwapRedBlue;
// 32 -> 32: bytes 0, 1, 2 copied, byte 3 = ~source byte 3. Not flipped.
extern const PixelRoutine Convert32To32OpaqueAlpha;
// 48 or 64 -> 24 keeping 12 significant bits per channel: (high << 4 | low >> 4) & 0xFF.
// Not flipped.
extern const PixelRoutine Convert48To24Bits12;
// 48 or 64 -> 24: the high byte of each of the first three channels. Flipped.
extern const PixelRoutine Convert48To24HighFlip;

// Nearest-neighbour scaled copy for the preview: destination pixel (x, y) of dstRect takes
// source column srcRect.left + trunc(x * srcW / dstW) and the source row counted from the
// bottom of srcRect by trunc(y * srcH / dstH), both in single precision and clamped to the
// last column and row. Pixels of 1 byte (scaleNearest8) or 3 bytes (scaleNearest24). Returns
// false (nothing written) when a rectangle is empty or outside its image.
bool scaleNearest8(const ImageView& dst, const PixelRect& dstRect, const ImageView& src,
                   const PixelRect& srcRect);
bool scaleNearest24(const ImageView& dst, const PixelRect& dstRect, const ImageView& src,
                    const PixelRect& srcRect);

// Copies an image to an application buffer: rows in memory order (top row first) when
// topDown is non-zero, else the last memory row first. Each row is `stride` bytes, padding
// included. Returns false (nothing copied) when the buffer is null or smaller than
// height x stride bytes.
bool copyOut(const ImageView& image, uint8_t* buffer, size_t bufferSize, int topDown);

// Spreads rows packed at width x bytesPerPixel bytes to the image's padded stride, in place,
// from the last row and last byte backward so that nothing is overwritten before it moved.
void repackRows(const ImageView& image);

}  // namespace orvane::imaging
