// The per-format writers behind SaveImageFile. Each takes a non-empty image, returns 1 or 0
// and removes its own partly written file on failure.
#pragma once

#include "imaging/CDibImage.h"

namespace orvane::output::detail {

int writeBmp(const imaging::CDibImage& image, const char* path);
int writeRaw(const imaging::CDibImage& image, const char* path);
int writeJpeg(const imaging::CDibImage& image, const char* path, int quality);
int writePng(const imaging::CDibImage& image, const char* path);
int writeTiff(const imaging::CDibImage& image, const char* path);

}  // namespace orvane::output::detail
