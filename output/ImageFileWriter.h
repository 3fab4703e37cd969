// Saving an image to a file: BMP, raw pixel dump, JPEG at three qualities, PNG and TIFF.
//
// Threads: every writer keeps its working state on the caller's stack, so any number of
// saves may run at once on different images. The image must not change during a save: the
// session copies its output image under the frame lock (CopyImageForSave) and encodes the
// copy after releasing the lock.
#pragma once

#include "imaging/CDibImage.h"

namespace orvane::output {

// Format numbers of the save operation.
enum ImageFileFormat : int {
    kImageFormatBmp = 0,
    kImageFormatRaw = 1,
    kImageFormatJpeg100 = 2,
    kImageFormatJpeg70 = 3,
    kImageFormatJpeg20 = 4,
    kImageFormatPng = 5,
    kImageFormatTiff = 6,
};

// Writes `image` (8, 16, 24, 32, 48 or 64 bits; memory row 0 the picture's top row) to
// `path` in `format`, replacing an existing file. Returns 1 on success, 0 on failure: an
// unknown format or empty image (nothing is created), a file that cannot be created, an
// encoder error or a failed write (disk full). A file that failed after it was created is
// removed when it is a regular file, so a 0 never leaves a half-written image behind.
// The file name's extension plays no part.
int SaveImageFile(const imaging::CDibImage& image, const char* path, int format);

// Copies `src` (header, palette and pixels) into `dst` for a save outside the frame lock.
// Reuses dst's pixel block when the geometry already matches, so repeated saves of the
// same mode allocate nothing under the lock. Returns 1, or 0 for an empty source or when
// memory runs out (dst is then empty).
int CopyImageForSave(imaging::CDibImage& dst, const imaging::CDibImage& src);

}  // namespace orvane::output
