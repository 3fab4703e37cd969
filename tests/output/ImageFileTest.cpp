// Image files decoded by independent readers: layouts, sample values, row order, alpha and
// byte order, and the failure paths (encoder errors, full disk, unknown format).
#include <gtest/gtest.h>

#include <cctype>
#include <cstdlib>
#include <cstring>

#include "OutputTestSupport.h"
#include "output/ImageFileWriter.h"
#include "support/ScopedFileSizeLimit.h"

namespace orvane::test {
namespace {

using imaging::CDibImage;
using output::SaveImageFile;

constexpr int kBitCounts[] = {8, 16, 24, 32, 48, 64};
constexpr int kW = 7;  // odd: every bit count below 32 gets row padding
constexpr int kH = 5;

int sampleBitsOf(int bitCount) {
    return (bitCount == 16 || bitCount >= 48) ? 16 : 8;
}

// Picture sample (x, y) in red-green-blue(-alpha) order, as a reader should report it;
// channel 0 for gray images.
long expectedSample(int bitCount, int x, int y, int channel) {
    const int bits = sampleBitsOf(bitCount);
    const int memChannels = bitCount / bits;
    if (memChannels == 1) return patternSample(x, y, 0, bits);
    if (channel < 3) return patternSample(x, y, 2 - channel, bits);
    return patternSample(x, y, 3, bits);
}

// Reads the binary PGM/PPM djpeg writes.
bool readPnm(const std::string& path, Decoded& out) {
    const auto b = readFile(path);
    std::string header;
    size_t pos = 0;
    int fields = 0;
    std::string tokens[4];
    while (fields < 4 && pos < b.size()) {
        while (pos < b.size() && std::isspace(b[pos])) ++pos;
        while (pos < b.size() && !std::isspace(b[pos]))
            tokens[fields] += static_cast<char>(b[pos++]);
        ++fields;
    }
    ++pos;  // the single whitespace after the maximum value
    if (tokens[0] != "P5" && tokens[0] != "P6") return false;
    out.channels = tokens[0] == "P5" ? 1 : 3;
    out.width = std::stoi(tokens[1]);
    out.height = std::stoi(tokens[2]);
    const size_t n = static_cast<size_t>(out.width) * out.height * out.channels;
    if (b.size() < pos + n) return false;
    out.samples.assign(b.begin() + pos, b.begin() + pos + n);
    return true;
}

std::string save(const CDibImage& image, const std::string& name, int format) {
    const std::string path = testPath(name);
    EXPECT_EQ(SaveImageFile(image, path.c_str(), format), 1) << name;
    return path;
}

TEST(BmpFile, FourByTwo8BitIs1086BytesWithBottomRowFirst) {
    CDibImage image = patternImage(4, 2, 8);
    const std::string path = save(image, "small.bmp", output::kImageFormatBmp);
    const auto b = readFile(path);
    ASSERT_EQ(b.size(), 1086u);
    EXPECT_EQ(b[0], 'B');
    EXPECT_EQ(b[1], 'M');
    EXPECT_EQ(le32(b, 2), 1086u);
    EXPECT_EQ(le32(b, 6), 0u);
    EXPECT_EQ(le32(b, 10), 1078u);
    EXPECT_EQ(le32(b, 14), 40u);
    EXPECT_EQ(le32(b, 18), 4u);
    EXPECT_EQ(le32(b, 22), 2u);
    EXPECT_EQ(le16(b, 26), 1);
    EXPECT_EQ(le16(b, 28), 8);
    EXPECT_EQ(le32(b, 30), 0u);
    for (int i = 0; i < 256; ++i) {  // gray ramp palette
        EXPECT_EQ(b[54 + 4 * i], i);
        EXPECT_EQ(b[54 + 4 * i + 2], i);
    }
    // First stored row is the picture's bottom row (memory row 1).
    EXPECT_EQ(0, std::memcmp(b.data() + 1078, image.view().row(1), 4));
    EXPECT_EQ(0, std::memcmp(b.data() + 1082, image.view().row(0), 4));
}

TEST(BmpFile, EveryBitCountStoresPaddedRowsBottomUp) {
    for (int bits : kBitCounts) {
        SCOPED_TRACE(bits);
        CDibImage image = patternImage(kW, kH, bits);
        const std::string path = save(image, "all.bmp", output::kImageFormatBmp);
        const auto b = readFile(path);
        const size_t offset = bits == 8 ? 1078 : 54;
        ASSERT_EQ(b.size(), offset + image.sizeBytes());
        EXPECT_EQ(le32(b, 10), offset);
        EXPECT_EQ(le16(b, 28), bits);
        for (int y = 0; y < kH; ++y) {
            EXPECT_EQ(0, std::memcmp(b.data() + offset + y * image.stride(),
                                     image.view().row(kH - 1 - y), image.stride()));
        }
    }
}

TEST(BmpFile, PillowReadsGrayAndColourPictures) {
    ORVANE_REQUIRE_PILLOW();
    for (int bits : {8, 24, 32}) {
        SCOPED_TRACE(bits);
        CDibImage image = patternImage(kW, kH, bits);
        const std::string path = save(image, "pillow.bmp", output::kImageFormatBmp);
        Decoded d;
        std::string error;
        ASSERT_TRUE(decodeWith("pillow", path, d, error)) << error;
        ASSERT_EQ(d.width, kW);
        ASSERT_EQ(d.height, kH);
        for (int y = 0; y < kH; ++y) {
            for (int x = 0; x < kW; ++x) {
                for (int c = 0; c < std::min(d.channels, 3); ++c) {
                    ASSERT_EQ(d.at(x, y, c), expectedSample(bits, x, y, c)) << x << "," << y;
                }
            }
        }
    }
}

TEST(RawFile, IsTheMemoryImageWithPadding) {
    for (int bits : kBitCounts) {
        CDibImage image = patternImage(kW, kH, bits);
        const auto b = readFile(save(image, "dump.raw", output::kImageFormatRaw));
        ASSERT_EQ(b.size(), image.sizeBytes()) << bits;
        EXPECT_EQ(0, std::memcmp(b.data(), image.bits(), b.size())) << bits;
    }
}

TEST(SaveImageFile, UnknownFormatOrBadArgumentsCreateNothing) {
    CDibImage image = patternImage(4, 2, 24);
    const std::string path = testPath("nothing.bin");
    for (int format : {7, 8, -1, 100}) {
        EXPECT_EQ(SaveImageFile(image, path.c_str(), format), 0) << format;
        EXPECT_FALSE(fileExists(path)) << format;
    }
    CDibImage empty;
    EXPECT_EQ(SaveImageFile(empty, path.c_str(), output::kImageFormatPng), 0);
    EXPECT_FALSE(fileExists(path));
    EXPECT_EQ(SaveImageFile(image, nullptr, output::kImageFormatBmp), 0);
    EXPECT_EQ(SaveImageFile(image, "", output::kImageFormatBmp), 0);
    const std::string noDir = testPath("missing/dir/file.png");
    for (int format = 0; format <= 6; ++format) {
        EXPECT_EQ(SaveImageFile(image, noDir.c_str(), format), 0) << format;
    }
}

TEST(SaveImageFile, OverwritesALargerFileInEveryFormat) {
    CDibImage big = patternImage(64, 64, 64);
    CDibImage small = patternImage(4, 2, 24);
    for (int format = 0; format <= 6; ++format) {
        SCOPED_TRACE(format);
        const std::string path = testPath("again.img");
        ASSERT_EQ(SaveImageFile(big, path.c_str(), output::kImageFormatRaw), 1);
        ASSERT_EQ(SaveImageFile(small, path.c_str(), format), 1);
        const auto b = readFile(path);
        EXPECT_LT(b.size(), big.sizeBytes());
        if (format == output::kImageFormatBmp) {
            EXPECT_EQ(b.size(), 54 + small.sizeBytes());
        }
        if (format == output::kImageFormatRaw) {
            EXPECT_EQ(b.size(), small.sizeBytes());
        }
    }
}

TEST(PngFile, EveryBitCountDecodesExactly) {
    struct Case {
        int bits, channels, depth;
    };
    const Case cases[] = {{8, 1, 8}, {16, 1, 16}, {24, 3, 8}, {32, 4, 8}, {48, 3, 16}, {64, 4, 16}};
    for (const Case& k : cases) {
        SCOPED_TRACE(k.bits);
        CDibImage image = patternImage(kW, kH, k.bits);
        const std::string path = save(image, "image.png", output::kImageFormatPng);
        if (haveTool("pngcheck")) {
            std::string out;
            EXPECT_EQ(runCommand("pngcheck '" + path + "' 2>&1", out), 0) << out;
        }
        Decoded d;
        std::string error;
        ASSERT_TRUE(decodeWith("png", path, d, error)) << error;
        ASSERT_EQ(d.width, kW);
        ASSERT_EQ(d.height, kH);
        ASSERT_EQ(d.channels, k.channels);
        ASSERT_EQ(d.extra, std::to_string(k.depth));
        for (int y = 0; y < kH; ++y) {
            for (int x = 0; x < kW; ++x) {
                for (int c = 0; c < std::min(k.channels, 3); ++c) {
                    ASSERT_EQ(d.at(x, y, c), expectedSample(k.bits, x, y, c))
                        << x << "," << y << "," << c;
                }
                if (k.bits == 32) {  // the inverted fourth byte: 0 becomes opaque
                    ASSERT_EQ(d.at(x, y, 3), 255 - patternSample(x, y, 3, 8));
                }
                if (k.bits == 64) {  // opaque
                    ASSERT_EQ(d.at(x, y, 3), 0xFFFF);
                }
            }
        }
    }
}

TEST(PngFile, SixteenBitSamplesAreStoredBigEndian) {
    CDibImage image;
    ASSERT_EQ(image.Create(1, 1, 16), 1);
    image.bits()[0] = 0x34;
    image.bits()[1] = 0x12;
    const std::string path = save(image, "order.png", output::kImageFormatPng);
    Decoded d;
    std::string error;
    ASSERT_TRUE(decodeWith("png", path, d, error)) << error;
    EXPECT_EQ(d.at(0, 0, 0), 0x1234);
    if (!pythonWithPillow().empty()) {
        ASSERT_TRUE(decodeWith("pillow", path, d, error)) << error;
        EXPECT_EQ(d.at(0, 0, 0), 0x1234);
    }
}

TEST(PngFile, FullyOpaqueAtSixtyFourBitsAndWithZeroFourthBytes) {
    ORVANE_REQUIRE_PILLOW();
    CDibImage image64 = patternImage(kW, kH, 64);
    CDibImage image32;
    ASSERT_EQ(image32.Create(kW, kH, 32), 1);  // all zero, like a colour frame's fourth byte
    for (CDibImage* image : {&image64, &image32}) {
        const std::string path = save(*image, "opaque.png", output::kImageFormatPng);
        Decoded d;
        std::string error;
        ASSERT_TRUE(decodeWith("pillow", path, d, error)) << error;
        ASSERT_EQ(d.extra, "RGBA");
        for (int y = 0; y < kH; ++y) {
            for (int x = 0; x < kW; ++x) ASSERT_EQ(d.at(x, y, 3), 255);
        }
    }
}

TEST(TiffFile, EveryBitCountIsOnePackedStripDecodedExactly) {
    for (int bits : kBitCounts) {
        SCOPED_TRACE(bits);
        CDibImage image = patternImage(kW, kH, bits);
        const std::string path = save(image, "image.tif", output::kImageFormatTiff);
        if (haveTool("tiffinfo")) {
            std::string out;
            EXPECT_EQ(runCommand("tiffinfo '" + path + "' 2>&1", out), 0) << out;
            EXPECT_EQ(out.find("rror"), std::string::npos) << out;
            EXPECT_NE(out.find("Image Width: 7 Image Length: 5"), std::string::npos) << out;
        }
        Decoded d;
        std::string error;
        ASSERT_TRUE(decodeWith("tiff", path, d, error)) << error;
        const int channels = bits / sampleBitsOf(bits);
        ASSERT_EQ(d.channels, channels);
        ASSERT_EQ(d.extra, std::to_string(sampleBitsOf(bits)));
        for (int y = 0; y < kH; ++y) {
            for (int x = 0; x < kW; ++x) {
                for (int c = 0; c < std::min(channels, 3); ++c) {
                    ASSERT_EQ(d.at(x, y, c), expectedSample(bits, x, y, c))
                        << x << "," << y << "," << c;
                }
                if (bits == 32) {
                    ASSERT_EQ(d.at(x, y, 3), 0);
                }
                if (bits == 64) {
                    ASSERT_EQ(d.at(x, y, 3), 0xFFFF);
                }
            }
        }
    }
}

TEST(TiffFile, PureBlueIsZeroZeroFullAndCarriesTheTagTable) {
    CDibImage image;
    ASSERT_EQ(image.Create(3, 2, 24), 1);
    for (int y = 0; y < 2; ++y) {
        for (int x = 0; x < 3; ++x) image.view().row(y)[3 * x] = 255;  // blue is byte 0
    }
    const std::string path = save(image, "blue.tif", output::kImageFormatTiff);
    Decoded d;
    std::string error;
    ASSERT_TRUE(decodeWith("tiff", path, d, error)) << error;
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(d.samples[3 * i], 0);
        EXPECT_EQ(d.samples[3 * i + 1], 0);
        EXPECT_EQ(d.samples[3 * i + 2], 255);
    }
    ORVANE_REQUIRE_TOOL("tiffdump");
    std::string out;
    ASSERT_EQ(runCommand("tiffdump '" + path + "'", out), 0);
    for (const char* tag :
         {"ImageWidth (256) SHORT (3) 1<3>", "ImageLength (257) SHORT (3) 1<2>",
          "BitsPerSample (258) SHORT (3) 3<8 8 8>", "Compression (259) SHORT (3) 1<1>",
          "Photometric (262) SHORT (3) 1<2>", "SamplesPerPixel (277) SHORT (3) 1<3>",
          "PlanarConfig (284) SHORT (3) 1<1>"}) {
        EXPECT_NE(out.find(tag), std::string::npos) << tag << "\n" << out;
    }
}

TEST(JpegFile, ProgressiveAndCloseToTheSourceAtEveryQuality) {
    ORVANE_REQUIRE_TOOL("djpeg");
    // A smooth picture, so that the comparison measures the encoder, not ringing.
    const int w = 48, h = 32;
    for (int bits : kBitCounts) {
        CDibImage image;
        ASSERT_EQ(image.Create(w, h, bits), 1);
        const int sb = sampleBitsOf(bits);
        const int bpp = bits / 8;
        for (int y = 0; y < h; ++y) {
            for (int x = 0; x < w; ++x) {
                for (int c = 0; c < bits / sb; ++c) {
                    const int v8 = (x * 3 + y * 2 + c * 40) & 0xFF;
                    uint8_t* p = image.view().row(y) + x * bpp + c * (sb / 8);
                    if (sb == 16) {
                        p[0] = 0x5A;  // low byte must not matter
                        p[1] = static_cast<uint8_t>(v8);
                    } else {
                        p[0] = static_cast<uint8_t>(v8);
                    }
                }
            }
        }
        size_t previousSize = SIZE_MAX;
        for (int format : {output::kImageFormatJpeg100, output::kImageFormatJpeg70,
                           output::kImageFormatJpeg20}) {
            SCOPED_TRACE(testing::Message() << bits << " bits, format " << format);
            const std::string path = save(image, "image.jpg", format);
            const auto bytes = readFile(path);
            EXPECT_LT(bytes.size(), previousSize);  // lower quality, smaller file
            previousSize = bytes.size();
            bool progressive = false;
            for (size_t i = 0; i + 1 < bytes.size(); ++i) {
                if (bytes[i] == 0xFF && bytes[i + 1] == 0xC2) progressive = true;
            }
            EXPECT_TRUE(progressive);
            const std::string pnm = testPath("image.pnm");
            std::string out;
            ASSERT_EQ(runCommand("djpeg -outfile '" + pnm + "' '" + path + "' 2>&1", out), 0)
                << out;
            Decoded d;
            ASSERT_TRUE(readPnm(pnm, d));
            ASSERT_EQ(d.width, w);
            ASSERT_EQ(d.height, h);
            ASSERT_EQ(d.channels, (bits == 8 || bits == 16) ? 1 : 3);
            double sumError = 0;
            for (int y = 0; y < h; ++y) {
                for (int x = 0; x < w; ++x) {
                    for (int c = 0; c < d.channels; ++c) {
                        // Reader channel c is red, green, blue: memory channel 2 - c.
                        const int mc = d.channels == 1 ? 0 : 2 - c;
                        const int want = (x * 3 + y * 2 + mc * 40) & 0xFF;
                        sumError += std::abs(d.at(x, y, c) - want);
                    }
                }
            }
            const double meanError = sumError / (w * h * d.channels);
            EXPECT_LT(meanError, format == output::kImageFormatJpeg100 ? 2.0 : 12.0);
        }
    }
}

// Encoder errors come back as 0; the process goes on and no file is left behind.
TEST(SaveImageFile, EncoderErrorsReturnZeroAndLeaveNoFile) {
    const std::string png = testPath("too-wide.png");
    CDibImage wide;
    ASSERT_EQ(wide.Create(1000001, 1, 8), 1);  // over libpng's width limit
    EXPECT_EQ(SaveImageFile(wide, png.c_str(), output::kImageFormatPng), 0);
    EXPECT_FALSE(fileExists(png));
    const std::string jpg = testPath("too-wide.jpg");
    CDibImage jpegWide;
    ASSERT_EQ(jpegWide.Create(65501, 1, 8), 1);  // over libjpeg's dimension limit
    EXPECT_EQ(SaveImageFile(jpegWide, jpg.c_str(), output::kImageFormatJpeg70), 0);
    EXPECT_FALSE(fileExists(jpg));
    // Still working afterwards.
    CDibImage ok = patternImage(kW, kH, 24);
    EXPECT_EQ(SaveImageFile(ok, png.c_str(), output::kImageFormatPng), 1);
    EXPECT_EQ(SaveImageFile(ok, jpg.c_str(), output::kImageFormatJpeg70), 1);
}

TEST(SaveImageFile, FullDeviceFailsEveryFormat) {
    if (!fileExists("/dev/full")) GTEST_SKIP() << "/dev/full is not available";
    CDibImage image = patternImage(300, 200, 24);
    for (int format = 0; format <= 6; ++format) {
        EXPECT_EQ(SaveImageFile(image, "/dev/full", format), 0) << format;
    }
}

// A file size limit stands in for a full disk on a regular file: the write fails part way
// and the half-written file must be removed.
TEST(SaveImageFile, FailedWriteRemovesThePartialFile) {
    orvane::test::ScopedFileSizeLimit limit;
    ASSERT_TRUE(limit.set(4096));

    // 80 KB of noise: no format compresses it into 4 KB.
    CDibImage image = patternImage(200, 100, 32);
    uint32_t seed = 12345;
    for (size_t i = 0; i < image.sizeBytes(); ++i) {
        seed = seed * 1664525u + 1013904223u;
        image.bits()[i] = static_cast<uint8_t>(seed >> 24);
    }
    for (int format = 0; format <= 6; ++format) {
        const std::string path = testPath("partial." + std::to_string(format));
        EXPECT_EQ(SaveImageFile(image, path.c_str(), format), 0) << format;
        EXPECT_FALSE(fileExists(path)) << format;
    }
}

TEST(CopyImageForSave, CopiesPixelsAndPaletteAndReusesTheBlock) {
    CDibImage src = patternImage(kW, kH, 8);
    imaging::RGBQUAD red{0, 0, 255, 0};
    src.SetPalette(2, 7, 1, &red);
    CDibImage dst;
    ASSERT_EQ(output::CopyImageForSave(dst, src), 1);
    EXPECT_EQ(0, std::memcmp(dst.bits(), src.bits(), src.sizeBytes()));
    EXPECT_EQ(dst.palette()[7].rgbRed, 255);
    const uint8_t* block = dst.bits();
    src.bits()[0] ^= 0xFF;
    ASSERT_EQ(output::CopyImageForSave(dst, src), 1);
    EXPECT_EQ(dst.bits(), block);
    EXPECT_EQ(dst.bits()[0], src.bits()[0]);
    CDibImage other = patternImage(3, 3, 48);
    ASSERT_EQ(output::CopyImageForSave(dst, other), 1);
    EXPECT_EQ(dst.bitCount(), 48);
    EXPECT_EQ(0, std::memcmp(dst.bits(), other.bits(), other.sizeBytes()));
}

}  // namespace
}  // namespace orvane::test
