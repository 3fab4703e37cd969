// PNG through libpng: 8- or 16-bit samples, gray, RGB or RGBA, top row first.
//
// All working state (libpng objects, file, buffers, the jump target of the error handler)
// lives in the call's own frame, so saves from several sessions may run at once.
#include <png.h>

#include <csetjmp>
#include <cstdio>
#include <cstring>

#include "output/FileIo.h"
#include "output/ImageWriters.h"
#include "platform/Log.h"

namespace orvane::output::detail {

using imaging::CDibImage;

namespace {

// Everything the encoding step touches, in one plain block owned by writePng.
struct PngJob {
    std::jmp_buf jump;
    png_structp png;
    png_infop info;
    FILE* file;
    const CDibImage* image;
    uint8_t* row;  // scratch row for the formats whose samples are rewritten, else null
    int bitDepth;
    int colorType;
};

// libpng must not return from its error handler: report, then jump back to the writer.
[[noreturn]] void pngError(png_structp png, png_const_charp message) {
    std::fprintf(stderr, "libpng error: %s\n", message);
    auto* job = static_cast<PngJob*>(png_get_error_ptr(png));
    std::longjmp(job->jump, 1);
}

void pngWarning(png_structp, png_const_charp message) {
    ORVANE_LOG(platform::LogLevel::Debug, "libpng warning: %s", message);
}

// Owner of the libpng write objects.
struct PngHandles {
    png_structp png = nullptr;
    png_infop info = nullptr;
    PngHandles() = default;
    PngHandles(const PngHandles&) = delete;
    PngHandles& operator=(const PngHandles&) = delete;
    ~PngHandles() {
        if (png != nullptr) png_destroy_write_struct(&png, info != nullptr ? &info : nullptr);
    }
};

// Row y as libpng should see it. Gray, RGB and 16-bit samples go straight from the image
// (libpng reorders blue-green-red and swaps bytes itself). A 32-bit pixel's fourth byte is
// inverted so that the usual 0 becomes opaque; 64-bit pixels get an opaque alpha channel.
const uint8_t* pngRow(const PngJob& job, int y) {
    const uint8_t* src = job.image->view().row(y);
    const int w = job.image->width();
    switch (job.image->bitCount()) {
        case 32: {
            uint8_t* out = job.row;
            for (int x = 0; x < w; ++x, src += 4, out += 4) {
                out[0] = src[0];
                out[1] = src[1];
                out[2] = src[2];
                out[3] = static_cast<uint8_t>(~src[3]);
            }
            return job.row;
        }
        case 64: {
            uint8_t* out = job.row;
            for (int x = 0; x < w; ++x, src += 8, out += 8) {
                std::memcpy(out, src, 6);
                out[6] = 0xFF;
                out[7] = 0xFF;
            }
            return job.row;
        }
        default:
            return src;
    }
}

// Holds no object with a destructor, so a jump out of libpng back to the setjmp below skips
// nothing; the caller owns and releases every resource.
int runPng(PngJob* job) {
    if (setjmp(job->jump) != 0) return 0;
    png_init_io(job->png, job->file);
    png_set_IHDR(job->png, job->info, static_cast<png_uint_32>(job->image->width()),
                 static_cast<png_uint_32>(job->image->height()), job->bitDepth, job->colorType,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(job->png, job->info);
    if ((job->colorType & PNG_COLOR_MASK_COLOR) != 0) png_set_bgr(job->png);
    // PNG stores 16-bit samples big-endian; the image holds them little-endian.
    if (job->bitDepth == 16) png_set_swap(job->png);
    for (int y = 0; y < job->image->height(); ++y) png_write_row(job->png, pngRow(*job, y));
    png_write_end(job->png, job->info);
    return 1;
}

}  // namespace

int writePng(const CDibImage& image, const char* path) {
    int bitDepth = 8;
    int colorType = PNG_COLOR_TYPE_GRAY;
    switch (image.bitCount()) {
        case 8:
            break;
        case 16:
            bitDepth = 16;
            break;
        case 24:
            colorType = PNG_COLOR_TYPE_RGB;
            break;
        case 32:
            colorType = PNG_COLOR_TYPE_RGB_ALPHA;
            break;
        case 48:
            bitDepth = 16;
            colorType = PNG_COLOR_TYPE_RGB;
            break;
        case 64:
            bitDepth = 16;
            colorType = PNG_COLOR_TYPE_RGB_ALPHA;
            break;
        default:
            return 0;
    }
    imaging::AlignedBytes row;
    if (image.bitCount() == 32 || image.bitCount() == 64) {
        row = imaging::alignedAlloc(static_cast<size_t>(image.width()) * image.bytesPerPixel());
        if (!row) {
            ORVANE_LOG(platform::LogLevel::Warn, "Varoraduz: Out of memory");
            return 0;
        }
    }

    StdioFile file;
    if (!file.open(path)) return 0;
    PngJob job{};
    PngHandles handles;
    handles.png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &job, pngError, pngWarning);
    if (handles.png != nullptr) handles.info = png_create_info_struct(handles.png);
    if (handles.info == nullptr) {
        file.discard();
        return 0;
    }
    job.png = handles.png;
    job.info = handles.info;
    job.file = file.get();
    job.image = &image;
    job.row = row.get();
    job.bitDepth = bitDepth;
    job.colorType = colorType;
    const int encoded = runPng(&job);
    return file.commit(encoded != 0) ? 1 : 0;
}

}  // namespace orvane::output::detail
