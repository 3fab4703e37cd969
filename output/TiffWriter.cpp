// Uncompressed TIFF through libtiff: one strip of packed rows, top row first.
#include <fcntl.h>
#include <tiffio.h>
#include <unistd.h>

#include <cstring>
#include <memory>

#include "output/FileIo.h"
#include "output/ImageWriters.h"

namespace orvane::output::detail {

using imaging::CDibImage;

namespace {

struct TiffCloser {
    void operator()(TIFF* tif) const noexcept { TIFFClose(tif); }
};
using TiffHandle = std::unique_ptr<TIFF, TiffCloser>;

struct TiffLayout {
    uint16_t bitsPerSample;
    uint16_t photometric;
    uint16_t samplesPerPixel;
};

bool tiffLayout(int bitCount, TiffLayout& out) {
    switch (bitCount) {
        case 8:
            out = {8, PHOTOMETRIC_MINISBLACK, 1};
            return true;
        case 16:
            out = {16, PHOTOMETRIC_MINISBLACK, 1};
            return true;
        case 24:
            out = {8, PHOTOMETRIC_RGB, 3};
            return true;
        case 32:
            out = {8, PHOTOMETRIC_RGB, 4};
            return true;
        case 48:
            out = {16, PHOTOMETRIC_RGB, 3};
            return true;
        case 64:
            out = {16, PHOTOMETRIC_RGB, 4};
            return true;
        default:
            return false;
    }
}

// Packs picture row y without the image's row padding (a TIFF strip has none, and a reader
// would otherwise see every row shifted), with samples in red-green-blue order. The fourth
// channel is 0 for 32-bit pixels and opaque for 64-bit pixels.
void packRow(const CDibImage& image, int y, uint8_t* out) {
    const uint8_t* src = image.view().row(y);
    const int w = image.width();
    switch (image.bitCount()) {
        case 8:
        case 16:
            std::memcpy(out, src, static_cast<size_t>(w) * image.bytesPerPixel());
            break;
        case 24:
        case 32: {
            const int bpp = image.bitCount() / 8;
            for (int x = 0; x < w; ++x, src += bpp, out += bpp) {
                out[0] = src[2];
                out[1] = src[1];
                out[2] = src[0];
                if (bpp == 4) out[3] = 0;
            }
            break;
        }
        default: {  // 48 and 64: 16-bit channels, first and third exchanged
            const int bpp = image.bitCount() / 8;
            for (int x = 0; x < w; ++x, src += bpp, out += bpp) {
                std::memcpy(out, src + 4, 2);
                std::memcpy(out + 2, src + 2, 2);
                std::memcpy(out + 4, src, 2);
                if (bpp == 8) {
                    out[6] = 0xFF;
                    out[7] = 0xFF;
                }
            }
            break;
        }
    }
}

}  // namespace

int writeTiff(const CDibImage& image, const char* path) {
    TiffLayout layout{};
    if (!tiffLayout(image.bitCount(), layout)) return 0;
    const size_t rowBytes = static_cast<size_t>(image.width()) * image.bytesPerPixel();
    const size_t stripBytes = rowBytes * static_cast<size_t>(image.height());
    imaging::AlignedBytes strip = imaging::alignedAlloc(stripBytes);
    if (!strip) return 0;
    for (int y = 0; y < image.height(); ++y) {
        packRow(image, y, strip.get() + static_cast<size_t>(y) * rowBytes);
    }

    // Opened here rather than by TIFFOpen so that a failure after this point is known to
    // concern a file this call created or truncated, and only then is it removed.
    const int fd = ::open(path, O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) return 0;
    TiffHandle tif(TIFFFdOpen(fd, path, "w"));
    if (!tif) {
        ::close(fd);
        removeRegularFile(path);
        return 0;
    }
    TIFF* t = tif.get();
    bool ok = TIFFSetField(t, TIFFTAG_IMAGEWIDTH, static_cast<uint32_t>(image.width())) &&
              TIFFSetField(t, TIFFTAG_IMAGELENGTH, static_cast<uint32_t>(image.height())) &&
              TIFFSetField(t, TIFFTAG_COMPRESSION, COMPRESSION_NONE) &&
              TIFFSetField(t, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG) &&
              TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, layout.bitsPerSample) &&
              TIFFSetField(t, TIFFTAG_PHOTOMETRIC, layout.photometric) &&
              TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, layout.samplesPerPixel) &&
              TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, static_cast<uint32_t>(image.height()));
    if (ok && layout.samplesPerPixel == 4) {
        // Readers need to know what the fourth sample is: padding for 32-bit pixels, an
        // opaque alpha channel for 64-bit pixels.
        const uint16_t extra[1] = {static_cast<uint16_t>(
            layout.bitsPerSample == 16 ? EXTRASAMPLE_UNASSALPHA : EXTRASAMPLE_UNSPECIFIED)};
        ok = TIFFSetField(t, TIFFTAG_EXTRASAMPLES, 1, extra) != 0;
    }
    if (ok) {
        const tmsize_t written =
            TIFFWriteEncodedStrip(t, 0, strip.get(), static_cast<tmsize_t>(stripBytes));
        // -1 is libtiff's failure value: it must not count as a written strip.
        ok = written == static_cast<tmsize_t>(stripBytes) && TIFFFlush(t) == 1;
    }
    tif.reset();  // closes fd
    if (!ok) {
        removeRegularFile(path);
        return 0;
    }
    return 1;
}

}  // namespace orvane::output::detail
