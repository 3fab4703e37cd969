// JPEG through libjpeg: progressive, 8-bit gray or RGB, at the quality of the format.
#include <csetjmp>
#include <cstdio>
#include <cstring>

// jpeglib.h needs FILE and size_t declared first.
#include <jpeglib.h>

#include "output/FileIo.h"
#include "output/ImageWriters.h"
#include "platform/Log.h"

namespace orvane::output::detail {

using imaging::CDibImage;

namespace {

struct JpegErrorManager {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
};

// libjpeg's own handler ends the process; this one returns to the writer instead.
[[noreturn]] void jpegErrorExit(j_common_ptr cinfo) {
    auto* err = reinterpret_cast<JpegErrorManager*>(cinfo->err);
    char message[JMSG_LENGTH_MAX];
    (*cinfo->err->format_message)(cinfo, message);
    ORVANE_LOG(platform::LogLevel::Warn, "jpeg: %s", message);
    std::longjmp(err->jump, 1);
}

// Warnings (corrupt data and the like) cannot arise while compressing our own pixels; they
// go to the debug log rather than stderr.
void jpegOutputMessage(j_common_ptr cinfo) {
    char message[JMSG_LENGTH_MAX];
    (*cinfo->err->format_message)(cinfo, message);
    ORVANE_LOG(platform::LogLevel::Debug, "jpeg: %s", message);
}

// Everything the encoding step touches, in one plain block owned by writeJpeg.
struct JpegJob {
    jpeg_compress_struct cinfo;
    JpegErrorManager err;
    FILE* file;
    const CDibImage* image;
    uint8_t* row;
    int components;
    int quality;
};

// Red, green, blue of `w` pixels of `bpp` bytes that hold blue, green and red samples of
// kSampleBytes each (a fourth sample, if any, is left out). Of a 16-bit sample it takes the
// high byte (the samples are little-endian).
template <int kSampleBytes>
void packRgb(const uint8_t* src, int bpp, int w, uint8_t* out) {
    constexpr int kHigh = kSampleBytes - 1;
    for (int x = 0; x < w; ++x, src += bpp, out += 3) {
        out[0] = src[2 * kSampleBytes + kHigh];
        out[1] = src[kSampleBytes + kHigh];
        out[2] = src[kHigh];
    }
}

// Packs picture row y into the encoder's order: one gray byte, or red, green, blue.
// 16-bit samples are full-range values, so an 8-bit rendering takes the high byte.
void packRow(const CDibImage& image, int y, uint8_t* out) {
    const uint8_t* src = image.view().row(y);
    const int w = image.width();
    switch (image.bitCount()) {
        case 8:
            std::memcpy(out, src, static_cast<size_t>(w));
            break;
        case 16:
            for (int x = 0; x < w; ++x) out[x] = src[2 * x + 1];
            break;
        case 24:
        case 32:
            packRgb<1>(src, image.bitCount() / 8, w, out);
            break;
        default:  // 48 and 64
            packRgb<2>(src, image.bitCount() / 8, w, out);
            break;
    }
}

// Holds no object with a destructor, so a jump out of libjpeg back to the setjmp below
// skips nothing; the caller owns and releases every resource.
int runJpeg(JpegJob* job) {
    if (setjmp(job->err.jump) != 0) return 0;
    jpeg_compress_struct* cinfo = &job->cinfo;
    jpeg_create_compress(cinfo);
    jpeg_stdio_dest(cinfo, job->file);
    cinfo->image_width = static_cast<JDIMENSION>(job->image->width());
    cinfo->image_height = static_cast<JDIMENSION>(job->image->height());
    cinfo->input_components = job->components;
    cinfo->in_color_space = job->components == 1 ? JCS_GRAYSCALE : JCS_RGB;
    jpeg_set_defaults(cinfo);
    jpeg_set_quality(cinfo, job->quality, TRUE);
    jpeg_simple_progression(cinfo);
    jpeg_start_compress(cinfo, TRUE);
    JSAMPROW rows[1] = {job->row};
    while (cinfo->next_scanline < cinfo->image_height) {
        packRow(*job->image, static_cast<int>(cinfo->next_scanline), job->row);
        jpeg_write_scanlines(cinfo, rows, 1);
    }
    jpeg_finish_compress(cinfo);
    return 1;
}

}  // namespace

int writeJpeg(const CDibImage& image, const char* path, int quality) {
    int components = 0;
    switch (image.bitCount()) {
        case 8:
        case 16:
            components = 1;
            break;
        case 24:
        case 32:
        case 48:
        case 64:
            components = 3;
            break;
        default:
            return 0;
    }
    imaging::AlignedBytes row =
        imaging::alignedAlloc(static_cast<size_t>(image.width()) * components);
    if (!row) return 0;
    StdioFile file;
    if (!file.open(path)) return 0;

    JpegJob job{};
    job.cinfo.err = jpeg_std_error(&job.err.pub);
    job.err.pub.error_exit = jpegErrorExit;
    job.err.pub.output_message = jpegOutputMessage;
    job.file = file.get();
    job.image = &image;
    job.row = row.get();
    job.components = components;
    job.quality = quality;
    const int encoded = runJpeg(&job);
    // Safe on an encoder that never got created: it frees only what exists.
    jpeg_destroy_compress(&job.cinfo);
    return file.commit(encoded != 0) ? 1 : 0;
}

}  // namespace orvane::output::detail
