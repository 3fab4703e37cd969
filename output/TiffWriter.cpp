// Uncompressed TIFF through libtiff: one strip of packed rows, top row first.
#include <tiffio.h>

#include <cstdio>
#include <cstring>
#include <memory>

#include "output/FileIo.h"
#include "output/ImageWriters.h"
#include "platform/File.h"

namespace orvane::output::detail {

using imaging::CDibImage;

namespace {

struct TiffCloser {
    void operator()(TIFF* tif) const noexcept { TIFFClose(tif); }
};
using TiffHandle = std::unique_ptr<TIFF, TiffCloser>;

// libtiff's file operations over a platform file, so the same code writes on every system
// (libtiff's own descriptor or handle type differs between them). The position is ours:
// reads and writes are positional.
struct TiffStream {
    platform::File file;
    uint64_t position = 0;
    bool closeFailed = false;
};

TiffStream& streamOf(thandle_t handle) {
    return *reinterpret_cast<TiffStream*>(handle);
}

tmsize_t tiffRead(thandle_t handle, void* out, tmsize_t bytes) {
    TiffStream& s = streamOf(handle);
    if (bytes < 0) return -1;
    auto* p = static_cast<uint8_t*>(out);
    tmsize_t done = 0;
    while (done < bytes) {
        const int64_t n = s.file.readAt(s.position, p + done, static_cast<size_t>(bytes - done));
        if (n < 0) return -1;
        if (n == 0) break;
        done += static_cast<tmsize_t>(n);
        s.position += static_cast<uint64_t>(n);
    }
    return done;
}

tmsize_t tiffWrite(thandle_t handle, void* data, tmsize_t bytes) {
    TiffStream& s = streamOf(handle);
    if (bytes < 0 || !s.file.writeAllAt(s.position, data, static_cast<size_t>(bytes))) return -1;
    s.position += static_cast<uint64_t>(bytes);
    return bytes;
}

toff_t tiffSeek(thandle_t handle, toff_t offset, int whence) {
    TiffStream& s = streamOf(handle);
    uint64_t base = 0;
    if (whence == SEEK_CUR) {
        base = s.position;
    } else if (whence == SEEK_END) {
        const int64_t size = s.file.size();
        if (size < 0) return static_cast<toff_t>(-1);
        base = static_cast<uint64_t>(size);
    } else if (whence != SEEK_SET) {
        return static_cast<toff_t>(-1);
    }
    // Offsets past 2^63 are no file position; libtiff treats the all-ones value as failure.
    const uint64_t target = base + offset;
    if (target < base || target > static_cast<uint64_t>(INT64_MAX)) return static_cast<toff_t>(-1);
    s.position = target;
    return target;
}

int tiffClose(thandle_t handle) {
    TiffStream& s = streamOf(handle);
    if (!s.file.close()) s.closeFailed = true;
    return 0;
}

toff_t tiffSize(thandle_t handle) {
    const int64_t size = streamOf(handle).file.size();
    return size < 0 ? 0 : static_cast<toff_t>(size);
}

// No memory mapping: libtiff then reads through tiffRead.
int tiffMap(thandle_t, void**, toff_t*) {
    return 0;
}
void tiffUnmap(thandle_t, void*, toff_t) {}

struct TiffLayout {
    uint16_t bitsPerSample;
    uint16_t photometric;
    uint16_t samplesPerPixel;
};

// The layout of each bit count an image can have.
struct BitCountLayout {
    int bitCount;
    TiffLayout layout;
};
// clang-format off
constexpr BitCountLayout kLayouts[] = {
    {8,  {8,  PHOTOMETRIC_MINISBLACK, 1}},
    {16, {16, PHOTOMETRIC_MINISBLACK, 1}},
    {24, {8,  PHOTOMETRIC_RGB,        3}},
    {32, {8,  PHOTOMETRIC_RGB,        4}},
    {48, {16, PHOTOMETRIC_RGB,        3}},
    {64, {16, PHOTOMETRIC_RGB,        4}},
};
// clang-format on

bool tiffLayout(int bitCount, TiffLayout& out) {
    for (const BitCountLayout& l : kLayouts)
        if (l.bitCount == bitCount) {
            out = l.layout;
            return true;
        }
    return false;
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
    auto stream = std::make_unique<TiffStream>();
    if (!stream->file.open(path, platform::FileMode::ReadWriteCreate)) return 0;
    TiffHandle tif(TIFFClientOpen(path, "w", reinterpret_cast<thandle_t>(stream.get()), tiffRead,
                                  tiffWrite, tiffSeek, tiffClose, tiffSize, tiffMap, tiffUnmap));
    if (!tif) {
        stream->file.close();
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
    tif.reset();  // closes the file
    // A close that fails may have lost written data (a network file system reports late).
    if (stream->closeFailed) ok = false;
    if (!ok) {
        removeRegularFile(path);
        return 0;
    }
    return 1;
}

}  // namespace orvane::output::detail
