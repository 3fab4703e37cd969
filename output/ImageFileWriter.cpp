#include "output/ImageFileWriter.h"

#include <algorithm>
#include <cstring>

#include "output/FileIo.h"
#include "output/ImageWriters.h"

namespace orvane::output {

using imaging::BITMAPINFOHEADER;
using imaging::CDibImage;

namespace {

#pragma pack(push, 1)
struct BitmapFileHeader {
    uint16_t type = 0x4D42;  // "BM"
    uint32_t size = 0;
    uint32_t reserved = 0;
    uint32_t pixelOffset = 0;
};
#pragma pack(pop)
static_assert(sizeof(BitmapFileHeader) == 14);

constexpr uint32_t kPaletteBytes = 256 * sizeof(imaging::RGBQUAD);
// Rows are gathered into blocks of about this size before they go to the disk.
constexpr size_t kStagingBytes = size_t{1} << 20;

}  // namespace

namespace detail {

int writeBmp(const CDibImage& image, const char* path) {
    const bool hasPalette = image.bitCount() <= 8;
    const uint32_t pixelOffset =
        static_cast<uint32_t>(sizeof(BitmapFileHeader) + sizeof(BITMAPINFOHEADER)) +
        (hasPalette ? kPaletteBytes : 0);
    const uint64_t fileSize = pixelOffset + uint64_t{image.sizeBytes()};
    // The size fields are 32-bit: a larger picture has no BMP form.
    if (fileSize > UINT32_MAX) return 0;

    BitmapFileHeader fileHeader;
    fileHeader.size = static_cast<uint32_t>(fileSize);
    fileHeader.pixelOffset = pixelOffset;
    BITMAPINFOHEADER info;
    info.biWidth = image.width();
    info.biHeight = image.height();
    info.biPlanes = 1;
    info.biBitCount = image.bitCount();

    const size_t stride = static_cast<size_t>(image.stride());
    const size_t rowsPerBlock = std::max<size_t>(1, kStagingBytes / stride);
    imaging::AlignedBytes staging = imaging::alignedAlloc(rowsPerBlock * stride);
    if (!staging) return 0;

    OutputFile file;
    if (!file.open(path)) return 0;
    file.append(&fileHeader, sizeof fileHeader);
    file.append(&info, sizeof info);
    if (hasPalette) file.append(image.palette(), kPaletteBytes);
    // A BMP holds the picture's bottom row first; memory row 0 is the top.
    int y = image.height() - 1;
    while (y >= 0 && file.ok()) {
        size_t n = 0;
        for (; n < rowsPerBlock && y >= 0; ++n, --y) {
            std::memcpy(staging.get() + n * stride, image.view().row(y), stride);
        }
        file.append(staging.get(), n * stride);
    }
    return file.commit() ? 1 : 0;
}

int writeRaw(const CDibImage& image, const char* path) {
    OutputFile file;
    if (!file.open(path)) return 0;
    // The rows exactly as held, padding included: callers read it back with the stride.
    file.append(image.bits(), image.sizeBytes());
    return file.commit() ? 1 : 0;
}

}  // namespace detail

int SaveImageFile(const CDibImage& image, const char* path, int format) {
    if (path == nullptr || *path == '\0' || image.empty()) return 0;
    switch (format) {
        case kImageFormatBmp:
            return detail::writeBmp(image, path);
        case kImageFormatRaw:
            return detail::writeRaw(image, path);
        case kImageFormatJpeg100:
            return detail::writeJpeg(image, path, 100);
        case kImageFormatJpeg70:
            return detail::writeJpeg(image, path, 70);
        case kImageFormatJpeg20:
            return detail::writeJpeg(image, path, 20);
        case kImageFormatPng:
            return detail::writePng(image, path);
        case kImageFormatTiff:
            return detail::writeTiff(image, path);
        default:
            return 0;
    }
}

int CopyImageForSave(CDibImage& dst, const CDibImage& src) {
    if (src.empty()) {
        dst.Release();
        return 0;
    }
    const bool sameGeometry = !dst.empty() && dst.width() == src.width() &&
                              dst.height() == src.height() && dst.bitCount() == src.bitCount();
    if (!sameGeometry && !dst.CloneGeometry(src)) return 0;
    dst.SetPalette(2, 0, 256, src.palette());
    std::memcpy(dst.bits(), src.bits(), src.sizeBytes());
    return 1;
}

}  // namespace orvane::output
