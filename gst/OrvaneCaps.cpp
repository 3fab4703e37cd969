#include "OrvaneCaps.h"

#include <cstring>

namespace orvane::gst {
namespace {

constexpr int kMaxWidth = 3072;
constexpr int kMaxHeight = 2048;
constexpr const char* kBayerNames[4] = {"gbrg", "rggb", "bggr", "grbg"};

struct RawFormat {
    const char* name;
    int colourMode;
    int bytesPerPixel;
};
// In order of preference: full colour first, as the library's default colour mode.
constexpr RawFormat kRawFormats[] = {
    {"BGR", 24, 3}, {"BGRx", 32, 4}, {"GRAY8", 8, 1}, {"GRAY16_LE", 16, 2}};

GstStructure* rawStructure(const char* format, int width, int height) {
    GstStructure* s = gst_structure_new("video/x-raw", "format", G_TYPE_STRING, format, nullptr);
    if (width > 0) {
        gst_structure_set(s, "width", G_TYPE_INT, width, "height", G_TYPE_INT, height, nullptr);
    } else {
        gst_structure_set(s, "width", GST_TYPE_INT_RANGE, 1, kMaxWidth, "height",
                          GST_TYPE_INT_RANGE, 1, kMaxHeight, nullptr);
    }
    // The rate follows the exposure and the camera's line timing, so it is announced as
    // variable; buffers carry their arrival times.
    gst_structure_set(s, "framerate", GST_TYPE_FRACTION, 0, 1, nullptr);
    return s;
}

GstStructure* bayerStructure(const char* format, int width, int height) {
    GstStructure* s = rawStructure(format, width, height);
    gst_structure_set_name(s, "video/x-bayer");
    return s;
}

}  // namespace

const char* bayerFormatName(int bayerMode) {
    return kBayerNames[bayerMode & 3];
}

GstCaps* cameraCaps(int width, int height, int bayerMode, int grayMode) {
    GstCaps* caps = gst_caps_new_empty();
    for (const RawFormat& f : kRawFormats) {
        if (f.colourMode == 8 && grayMode >= 0 && grayMode != 2) continue;
        gst_caps_append_structure(caps, rawStructure(f.name, width, height));
    }
    if (grayMode != 2)
        gst_caps_append_structure(caps, bayerStructure(bayerFormatName(bayerMode), width, height));
    return caps;
}

GstCaps* templateCaps() {
    GstCaps* caps = gst_caps_new_empty();
    for (const RawFormat& f : kRawFormats)
        gst_caps_append_structure(caps, rawStructure(f.name, 0, 0));
    for (const char* name : kBayerNames)
        gst_caps_append_structure(caps, bayerStructure(name, 0, 0));
    // Ranges, not the fixed 0/1, so that downstream elements see what a template means.
    for (guint i = 0; i < gst_caps_get_size(caps); ++i)
        gst_structure_set(gst_caps_get_structure(caps, i), "framerate", GST_TYPE_FRACTION_RANGE, 0,
                          1, G_MAXINT, 1, nullptr);
    return caps;
}

bool parseFormat(const GstCaps* caps, StreamFormat* out) {
    if (caps == nullptr || gst_caps_get_size(caps) != 1) return false;
    const GstStructure* s = gst_caps_get_structure(caps, 0);
    const char* format = gst_structure_get_string(s, "format");
    StreamFormat f;
    if (format == nullptr || !gst_structure_get_int(s, "width", &f.width) ||
        !gst_structure_get_int(s, "height", &f.height) || f.width <= 0 || f.height <= 0)
        return false;
    int bytesPerPixel = 0;
    if (gst_structure_has_name(s, "video/x-bayer")) {
        bool known = false;
        for (const char* name : kBayerNames) known = known || std::strcmp(name, format) == 0;
        if (!known) return false;
        f.bayer = true;
        f.colourMode = 8;
        bytesPerPixel = 1;
    } else if (gst_structure_has_name(s, "video/x-raw")) {
        for (const RawFormat& r : kRawFormats) {
            if (std::strcmp(r.name, format) != 0) continue;
            f.colourMode = r.colourMode;
            bytesPerPixel = r.bytesPerPixel;
            if (r.colourMode == 8) f.grayMode = 2;
        }
        if (bytesPerPixel == 0) return false;
    } else {
        return false;
    }
    f.stride = (static_cast<size_t>(f.width) * static_cast<size_t>(bytesPerPixel) + 3) & ~size_t{3};
    f.frameBytes = f.stride * static_cast<size_t>(f.height);
    *out = f;
    return true;
}

}  // namespace orvane::gst
