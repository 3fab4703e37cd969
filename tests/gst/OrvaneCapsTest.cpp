// The caps of orvanesrc against the library's buffer layout: rows padded to 4 bytes, the
// colour mode and gray mode each format needs, and the formats a gray mode excludes.
#include <gtest/gtest.h>

#include "../../gst/OrvaneCaps.h"

namespace orvane::test {
namespace {

using orvane::gst::StreamFormat;

StreamFormat parsed(const char* caps) {
    GstCaps* c = gst_caps_from_string(caps);
    StreamFormat f;
    EXPECT_TRUE(orvane::gst::parseFormat(c, &f)) << caps;
    gst_caps_unref(c);
    return f;
}

bool parses(const char* caps) {
    GstCaps* c = gst_caps_from_string(caps);
    StreamFormat f;
    const bool ok = orvane::gst::parseFormat(c, &f);
    gst_caps_unref(c);
    return ok;
}

TEST(OrvaneCaps, FrameLayoutIsTheLibrarysPaddedRows) {
    // Width 5: 15 bytes of BGR are padded to 16; 10 bytes of GRAY16 to 12; 5 of GRAY8 to 8.
    StreamFormat f = parsed("video/x-raw,format=BGR,width=5,height=3");
    EXPECT_EQ(f.colourMode, 24);
    EXPECT_EQ(f.stride, 16u);
    EXPECT_EQ(f.frameBytes, 48u);
    f = parsed("video/x-raw,format=GRAY16_LE,width=5,height=2");
    EXPECT_EQ(f.colourMode, 16);
    EXPECT_EQ(f.stride, 12u);
    f = parsed("video/x-raw,format=BGRx,width=5,height=2");
    EXPECT_EQ(f.colourMode, 32);
    EXPECT_EQ(f.stride, 20u);
    f = parsed("video/x-raw,format=GRAY8,width=5,height=2");
    EXPECT_EQ(f.colourMode, 8);
    EXPECT_EQ(f.grayMode, 2);
    EXPECT_FALSE(f.bayer);
    EXPECT_EQ(f.stride, 8u);
    f = parsed("video/x-bayer,format=grbg,width=6,height=2");
    EXPECT_EQ(f.colourMode, 8);
    EXPECT_TRUE(f.bayer);
    EXPECT_EQ(f.grayMode, -1);
    EXPECT_EQ(f.stride, 8u);
}

TEST(OrvaneCaps, RefusesWhatTheCameraCannotGive) {
    EXPECT_FALSE(parses("video/x-raw,format=RGB,width=8,height=8"));
    EXPECT_FALSE(parses("video/x-raw,format=BGRA64_LE,width=8,height=8"));
    EXPECT_FALSE(parses("video/x-bayer,format=bggr16le,width=8,height=8"));
    EXPECT_FALSE(parses("video/x-raw,format=BGR,width=0,height=8"));
    EXPECT_FALSE(parses("video/x-raw,format=BGR"));
    EXPECT_FALSE(parses("image/jpeg,width=8,height=8"));
}

TEST(OrvaneCaps, CameraCapsFollowPhaseAndGrayMode) {
    auto formats = [](GstCaps* caps) {
        std::string all;
        for (guint i = 0; i < gst_caps_get_size(caps); ++i) {
            const GstStructure* s = gst_caps_get_structure(caps, i);
            all += std::string(gst_structure_get_string(s, "format")) + " ";
            int w = 0;
            EXPECT_TRUE(gst_structure_get_int(s, "width", &w));
            EXPECT_EQ(w, 3072);
        }
        gst_caps_unref(caps);
        return all;
    };
    EXPECT_EQ(formats(orvane::gst::cameraCaps(3072, 2048, 2, -1)),
              "BGR BGRx GRAY8 GRAY16_LE bggr ");
    EXPECT_EQ(formats(orvane::gst::cameraCaps(3072, 2048, 1, 0)), "BGR BGRx GRAY16_LE rggb ");
    EXPECT_EQ(formats(orvane::gst::cameraCaps(3072, 2048, 0, 2)), "BGR BGRx GRAY8 GRAY16_LE ");
    EXPECT_STREQ(orvane::gst::bayerFormatName(3), "grbg");
}

}  // namespace
}  // namespace orvane::test
