// AVI files: header fields and patches, chunks and indexes, rates, odd widths, files left
// unfinished, the OpenDML layout past the part limit, and write failures; decoded by
// ffprobe/ffmpeg where installed.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <map>
#include <memory>

#include "OutputTestSupport.h"
#include "output/AviFrame.h"
#include "output/CAviWriter.h"
#include "support/ScopedFileSizeLimit.h"

namespace orvane::test {
namespace {

using output::CAviWriter;

// Bottom-up 24-bit frame n at the given stride: every pixel depends on x, row and n.
std::vector<uint8_t> makeFrame(int w, int h, size_t stride, int n) {
    std::vector<uint8_t> f(stride * h, 0xEE);  // padding bytes visible if written
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            uint8_t* p = f.data() + y * stride + 3 * x;
            p[0] = static_cast<uint8_t>(x + 3 * y + 5 * n);
            p[1] = static_cast<uint8_t>(2 * x + n);
            p[2] = static_cast<uint8_t>(7 * y + 11 * n);
        }
    }
    return f;
}

struct Chunk {
    std::string id;  // fourcc, or the list type for RIFF/LIST
    bool list = false;
    size_t at = 0;  // offset of the chunk header
    uint32_t size = 0;
};

// Chunks between begin and end (sizes padded to even).
std::vector<Chunk> chunksIn(const std::vector<uint8_t>& b, size_t begin, size_t end) {
    std::vector<Chunk> out;
    for (size_t at = begin; at + 8 <= end;) {
        Chunk c;
        c.at = at;
        c.size = le32(b, at + 4);
        const std::string fcc = fourccAt(b, at);
        c.list = fcc == "LIST" || fcc == "RIFF";
        c.id = c.list ? fourccAt(b, at + 8) : fcc;
        out.push_back(c);
        at += 8 + ((c.size + 1) & ~1u);
    }
    return out;
}

std::map<std::string, std::string> ffprobe(const std::string& path) {
    std::string out;
    runCommand(
        "ffprobe -v error -count_frames -select_streams v:0 -show_entries "
        "stream=width,height,nb_read_frames,r_frame_rate,codec_name,pix_fmt "
        "-of default=nw=1 '" +
            path + "' 2>&1",
        out);
    std::map<std::string, std::string> values;
    size_t start = 0;
    while (start < out.size()) {
        size_t end = out.find('\n', start);
        if (end == std::string::npos) end = out.size();
        const std::string line = out.substr(start, end - start);
        const size_t eq = line.find('=');
        if (eq != std::string::npos) values[line.substr(0, eq)] = line.substr(eq + 1);
        start = end + 1;
    }
    return values;
}

// Decodes every frame with ffmpeg into packed top-down blue-green-red rows.
std::string decodeFrames(const std::string& path) {
    std::string out;
    runCommand("ffmpeg -v error -i '" + path + "' -f rawvideo -pix_fmt bgr24 - 2>/dev/null", out);
    return out;
}

// Checks decoded frame n against makeFrame(.., n): decoded rows are top-down.
void expectFrame(const std::string& decoded, int w, int h, int index, int n) {
    const size_t frameBytes = static_cast<size_t>(w) * 3 * h;
    ASSERT_GE(decoded.size(), frameBytes * (index + 1));
    const auto want = makeFrame(w, h, static_cast<size_t>(w) * 3, n);
    for (int r = 0; r < h; ++r) {
        const int y = h - 1 - r;
        ASSERT_EQ(0, std::memcmp(decoded.data() + frameBytes * index + r * w * 3,
                                 want.data() + y * w * 3, w * 3))
            << "frame " << index << " row " << r;
    }
}

TEST(AviWriter, HeaderChunksAndIndexOf640x480) {
    const std::string path = testPath("vga.avi");
    const int w = 640, h = 480;
    const uint32_t F = 921600;
    CAviWriter avi;
    ASSERT_EQ(avi.open(path.c_str(), w, h, 32), 1);
    EXPECT_EQ(avi.frameBytes(), F);
    {
        // Provisional header of a file being recorded: 30 frames per second, no frames.
        const auto b = readFile(path);
        EXPECT_EQ(le32(b, 32), 33333u);
        EXPECT_EQ(le32(b, 128), 333333u);
        EXPECT_EQ(le32(b, 48), 0u);
    }
    for (int n = 0; n < 3; ++n) {
        const auto f = makeFrame(w, h, w * 3, n);
        ASSERT_EQ(avi.appendFrame(f.data(), w * 3), 1);
    }
    avi.setRate(CAviWriter::measuredRate(3, 120));  // 25 frames per second
    ASSERT_EQ(avi.finish(), 1);
    EXPECT_FALSE(avi.isOpen());

    const auto b = readFile(path);
    EXPECT_EQ(fourccAt(b, 0), "RIFF");
    EXPECT_EQ(le32(b, 4), b.size() - 8);
    EXPECT_EQ(fourccAt(b, 8), "AVI ");
    EXPECT_EQ(fourccAt(b, 24), "avih");
    EXPECT_EQ(le32(b, 28), 56u);
    EXPECT_EQ(le32(b, 32), 40000u);    // microseconds per frame
    EXPECT_EQ(le32(b, 44), 0x10010u);  // has index, capture file
    EXPECT_EQ(le32(b, 48), 3u);        // total frames
    EXPECT_EQ(le32(b, 56), 1u);        // streams
    EXPECT_EQ(le32(b, 60), F + 8);     // suggested buffer size
    EXPECT_EQ(le32(b, 64), 640u);
    EXPECT_EQ(le32(b, 68), 480u);
    EXPECT_EQ(fourccAt(b, 100), "strh");
    EXPECT_EQ(fourccAt(b, 108), "vids");
    EXPECT_EQ(fourccAt(b, 112), "DIB ");
    EXPECT_EQ(le32(b, 128), 400000u);  // scale
    EXPECT_EQ(le32(b, 132), 10000000u);
    EXPECT_EQ(le32(b, 140), 3u);  // length
    EXPECT_EQ(le32(b, 144), F + 8);
    EXPECT_EQ(fourccAt(b, 172), "strf");
    EXPECT_EQ(le32(b, 180), 40u);
    EXPECT_EQ(le32(b, 184), 640u);
    EXPECT_EQ(le32(b, 188), 480u);  // positive: bottom-up
    EXPECT_EQ(le16(b, 194), 24);
    EXPECT_EQ(le32(b, 196), 0u);

    const auto top = chunksIn(b, 12, b.size());
    ASSERT_EQ(top.size(), 3u);
    EXPECT_EQ(top[0].id, "hdrl");
    ASSERT_EQ(top[1].id, "movi");
    ASSERT_EQ(top[2].id, "idx1");
    EXPECT_EQ(top[1].size, 4 + 3 * (8 + F));
    const size_t movi = top[1].at + 8;  // the "movi" fourcc
    const auto frames = chunksIn(b, movi + 4, movi + top[1].size);
    ASSERT_EQ(frames.size(), 3u);
    for (const Chunk& c : frames) {
        EXPECT_EQ(c.id, "00db");
        EXPECT_EQ(c.size, F);
    }
    EXPECT_EQ(top[2].size, 48u);
    for (int i = 0; i < 3; ++i) {
        const size_t e = top[2].at + 8 + 16 * i;
        EXPECT_EQ(fourccAt(b, e), "00db");
        EXPECT_EQ(le32(b, e + 4), 0x10u);
        EXPECT_EQ(le32(b, e + 8), 4 + i * (8 + F));  // from the "movi" fourcc
        EXPECT_EQ(le32(b, e + 12), F);
        EXPECT_EQ(frames[i].at - movi, le32(b, e + 8));
    }

    ORVANE_REQUIRE_TOOL("ffprobe");
    auto info = ffprobe(path);
    EXPECT_EQ(info["width"], "640");
    EXPECT_EQ(info["height"], "480");
    EXPECT_EQ(info["nb_read_frames"], "3");
    EXPECT_EQ(info["codec_name"], "rawvideo");
    EXPECT_EQ(info["r_frame_rate"], "25/1");
    const std::string decoded = decodeFrames(path);
    for (int n = 0; n < 3; ++n) expectFrame(decoded, w, h, n, n);
}

TEST(AviWriter, MeasuredRateOfHundredFramesInFourSeconds) {
    EXPECT_EQ(CAviWriter::measuredRate(100, 4000), 2500u);
    // Beyond 42949 frames the product no longer fits 32 bits.
    EXPECT_EQ(CAviWriter::measuredRate(100000, 4000000), 2500u);
    EXPECT_EQ(CAviWriter::measuredRate(1, 200000), 1u);  // under 0.01 frame/s
    EXPECT_EQ(CAviWriter::measuredRate(5, 0), CAviWriter::kDefaultRate);

    const std::string path = testPath("rate.avi");
    CAviWriter avi;
    ASSERT_EQ(avi.open(path.c_str(), 16, 8), 1);
    const auto f = makeFrame(16, 8, 48, 0);
    for (int n = 0; n < 100; ++n) ASSERT_EQ(avi.appendFrame(f.data(), 48), 1);
    avi.setRate(CAviWriter::measuredRate(100, 4000));
    ASSERT_EQ(avi.finish(), 1);
    const auto b = readFile(path);
    EXPECT_EQ(le32(b, 32), 40000u);
    EXPECT_EQ(le32(b, 128), 400000u);
    EXPECT_EQ(le32(b, 132), 10000000u);
    EXPECT_EQ(le32(b, 48), 100u);
    ORVANE_REQUIRE_TOOL("ffprobe");
    auto info = ffprobe(path);
    EXPECT_EQ(info["r_frame_rate"], "25/1");
    EXPECT_EQ(info["nb_read_frames"], "100");
}

TEST(AviWriter, ZeroRateUsesTheSlowestExpressibleRate) {
    const std::string path = testPath("zero.avi");
    CAviWriter avi;
    ASSERT_EQ(avi.open(path.c_str(), 8, 8), 1);
    const auto f = makeFrame(8, 8, 24, 0);
    ASSERT_EQ(avi.appendFrame(f.data(), 24), 1);
    avi.setRate(0);
    ASSERT_EQ(avi.finish(), 1);
    const auto b = readFile(path);
    EXPECT_EQ(le32(b, 32), 100000000u);
    EXPECT_EQ(le32(b, 128), 1000000000u);
}

// Rows of 15 x 3 = 45 bytes: chunks carry them at the 48-byte stride of the header's DIB,
// whatever stride the caller hands over.
TEST(AviWriter, OddWidthFramesKeepTheirRows) {
    const int w = 15, h = 6;
    for (size_t stride : {size_t{45}, size_t{48}, size_t{64}}) {
        SCOPED_TRACE(stride);
        const std::string path = testPath("odd.avi");
        CAviWriter avi;
        ASSERT_EQ(avi.open(path.c_str(), w, h), 1);
        EXPECT_EQ(avi.frameBytes(), 48u * h);
        for (int n = 0; n < 4; ++n) {
            const auto f = makeFrame(w, h, stride, n);
            ASSERT_EQ(avi.appendFrame(f.data(), stride), 1);
        }
        ASSERT_EQ(avi.finish(), 1);
        const auto b = readFile(path);
        const auto top = chunksIn(b, 12, b.size());
        ASSERT_EQ(top[1].id, "movi");
        const auto frames = chunksIn(b, top[1].at + 12, top[1].at + 8 + top[1].size);
        ASSERT_EQ(frames.size(), 4u);
        const auto want = makeFrame(w, h, 45, 2);
        for (int y = 0; y < h; ++y) {
            ASSERT_EQ(0,
                      std::memcmp(b.data() + frames[2].at + 8 + y * 48, want.data() + y * 45, 45));
        }
        if (!haveTool("ffmpeg")) continue;
        const std::string decoded = decodeFrames(path);
        ASSERT_EQ(decoded.size(), 4u * w * 3 * h);
        for (int n = 0; n < 4; ++n) expectFrame(decoded, w, h, n, n);
    }
}

TEST(AviWriter, WriterDestroyedBeforeFinishLeavesAnIndexedFile) {
    const std::string path = testPath("dropped.avi");
    {
        auto avi = std::make_unique<CAviWriter>();
        ASSERT_EQ(avi->open(path.c_str(), 32, 16), 1);
        const auto f = makeFrame(32, 16, 96, 1);
        for (int n = 0; n < 7; ++n) ASSERT_EQ(avi->appendFrame(f.data(), 96), 1);
    }
    const auto b = readFile(path);
    EXPECT_EQ(le32(b, 4), b.size() - 8);
    EXPECT_EQ(le32(b, 48), 7u);
    const auto top = chunksIn(b, 12, b.size());
    ASSERT_EQ(top.size(), 3u);
    EXPECT_EQ(top[2].id, "idx1");
    EXPECT_EQ(top[2].size, 7u * 16);
    ORVANE_REQUIRE_TOOL("ffprobe");
    EXPECT_EQ(ffprobe(path)["nb_read_frames"], "7");
}

TEST(AviWriter, ReopeningFinishesThePreviousFile) {
    const std::string first = testPath("first.avi");
    const std::string second = testPath("second.avi");
    CAviWriter avi;
    ASSERT_EQ(avi.open(first.c_str(), 8, 4), 1);
    const auto f = makeFrame(8, 4, 24, 0);
    ASSERT_EQ(avi.appendFrame(f.data(), 24), 1);
    ASSERT_EQ(avi.open(second.c_str(), 8, 4), 1);
    EXPECT_EQ(avi.frameCount(), 0u);
    const auto b = readFile(first);
    EXPECT_EQ(le32(b, 4), b.size() - 8);
    EXPECT_EQ(le32(b, 48), 1u);
}

TEST(AviWriter, RefusesBadArguments) {
    CAviWriter avi;
    EXPECT_EQ(avi.open("", 8, 8), 0);
    EXPECT_EQ(avi.open(testPath("x.avi").c_str(), 0, 8), 0);
    EXPECT_EQ(avi.open(testPath("missing/x.avi").c_str(), 8, 8), 0);
    const auto f = makeFrame(8, 8, 24, 0);
    EXPECT_EQ(avi.appendFrame(f.data(), 24), 0);  // not open
    EXPECT_EQ(avi.finish(), 0);
    ASSERT_EQ(avi.open(testPath("y.avi").c_str(), 8, 8), 1);
    EXPECT_EQ(avi.appendFrame(f.data(), 12), 0);  // stride shorter than a row
    EXPECT_EQ(avi.appendFrame(nullptr, 24), 0);
    imaging::CDibImage wrongSize;
    wrongSize.Create(9, 8, 24);
    EXPECT_EQ(avi.appendFrame(wrongSize), 0);
    EXPECT_EQ(avi.finish(), 1);
}

// A small part limit brings the OpenDML layout within reach of a quick test.
TEST(AviWriter, GrowsIntoOpenDmlPartsWithIndexes) {
    const std::string path = testPath("odml.avi");
    const int w = 64, h = 48, frames = 100;
    const uint32_t F = 64 * 3 * 48;
    const uint64_t limit = 256 * 1024;
    CAviWriter avi;
    avi.setRiffLimitForTesting(limit);
    ASSERT_EQ(avi.open(path.c_str(), w, h), 1);
    for (int n = 0; n < frames; ++n) {
        const auto f = makeFrame(w, h, w * 3, n);
        ASSERT_EQ(avi.appendFrame(f.data(), w * 3), 1) << n;
    }
    EXPECT_GT(avi.riffCount(), 2u);
    avi.setRate(2500);
    ASSERT_EQ(avi.finish(), 1);

    const auto b = readFile(path);
    const auto riffs = chunksIn(b, 0, b.size());
    ASSERT_EQ(riffs.size(), avi.riffCount());
    EXPECT_EQ(riffs[0].id, "AVI ");
    uint32_t firstPartFrames = 0;
    uint32_t counted = 0;
    for (size_t r = 0; r < riffs.size(); ++r) {
        SCOPED_TRACE(r);
        EXPECT_LE(riffs[r].size + 8u, limit);
        if (r > 0) {
            EXPECT_EQ(riffs[r].id, "AVIX");
        }
        const auto parts = chunksIn(b, riffs[r].at + 12, riffs[r].at + 8 + riffs[r].size);
        const Chunk* movi = nullptr;
        for (const Chunk& c : parts) {
            if (c.id == "movi") movi = &c;
        }
        ASSERT_NE(movi, nullptr);
        const auto inside = chunksIn(b, movi->at + 12, movi->at + 8 + movi->size);
        ASSERT_FALSE(inside.empty());
        EXPECT_EQ(inside.back().id, "ix00");  // the part's standard index closes its movi
        const Chunk& ix = inside.back();
        const uint32_t n = le32(b, ix.at + 12);
        EXPECT_EQ(inside.size(), n + 1);
        EXPECT_EQ(le16(b, ix.at + 8), 2);  // longs per entry
        EXPECT_EQ(b[ix.at + 11], 1);       // index of chunks
        const uint64_t base = le32(b, ix.at + 20) | uint64_t{le32(b, ix.at + 24)} << 32;
        EXPECT_EQ(base, movi->at + 8);
        for (uint32_t i = 0; i < n; ++i) {
            EXPECT_EQ(base + le32(b, ix.at + 32 + 8 * i), inside[i].at + 8);
            EXPECT_EQ(le32(b, ix.at + 36 + 8 * i), F);
        }
        if (r == 0) {
            firstPartFrames = n;
            EXPECT_EQ(parts.back().id, "idx1");
            EXPECT_EQ(parts.back().size, 16 * n);
        }
        counted += n;
    }
    EXPECT_EQ(counted, static_cast<uint32_t>(frames));
    EXPECT_EQ(le32(b, 48), firstPartFrames);                 // main header: first part
    EXPECT_EQ(le32(b, 140), static_cast<uint32_t>(frames));  // stream length: all
    // Super index right after "strf", one entry per part.
    EXPECT_EQ(fourccAt(b, 220), "indx");
    EXPECT_EQ(le32(b, 232), avi.riffCount());
    EXPECT_EQ(fourccAt(b, 236), "00db");
    uint32_t durations = 0;
    for (uint32_t i = 0; i < avi.riffCount(); ++i) {
        const size_t e = 252 + 16 * i;
        EXPECT_EQ(fourccAt(b, le32(b, e)), "ix00");
        durations += le32(b, e + 12);
    }
    EXPECT_EQ(durations, static_cast<uint32_t>(frames));
    // Extended header with the total frame count.
    const auto hdrl = chunksIn(b, 24, 12 + 8 + le32(b, 16));
    bool sawOdml = false;
    for (const Chunk& c : hdrl) {
        if (c.id == "odml") {
            sawOdml = true;
            EXPECT_EQ(fourccAt(b, c.at + 12), "dmlh");
            EXPECT_EQ(le32(b, c.at + 20), static_cast<uint32_t>(frames));
        }
    }
    EXPECT_TRUE(sawOdml);

    ORVANE_REQUIRE_TOOL("ffprobe");
    auto info = ffprobe(path);
    EXPECT_EQ(info["nb_read_frames"], std::to_string(frames));
    EXPECT_EQ(info["r_frame_rate"], "25/1");
    const std::string decoded = decodeFrames(path);
    ASSERT_EQ(decoded.size(), size_t{F} * frames);
    for (int n = 0; n < frames; n += 7) expectFrame(decoded, w, h, n, n);
}

// A file size limit makes the seventh frame's write fail part way, as a full disk would.
TEST(AviWriter, WriteFailureStopsAndFinishesWithTheFramesWritten) {
    const int w = 64, h = 32;
    const size_t F = 64 * 3 * 32;
    const std::string path = testPath("full.avi");
    orvane::test::ScopedFileSizeLimit limit;
    ASSERT_TRUE(limit.ready());
    CAviWriter avi;
    ASSERT_EQ(avi.open(path.c_str(), w, h), 1);
    const uint64_t headerEnd = readFile(path).size();
    ASSERT_TRUE(limit.set(headerEnd + 6 * (F + 8) + F / 2));
    int accepted = 0;
    for (int n = 0; n < 10; ++n)
        accepted += avi.appendFrame(makeFrame(w, h, w * 3, n).data(), w * 3);
    const bool failed = avi.failed();
    const int err = avi.errnoValue();
    const int finished = avi.finish();
    limit.restore();

    EXPECT_EQ(accepted, 6);
    EXPECT_TRUE(failed);
    EXPECT_EQ(err, EFBIG);
    EXPECT_EQ(finished, 0);  // the failure is reported, not lost
    const auto b = readFile(path);
    EXPECT_EQ(le32(b, 4), b.size() - 8);
    EXPECT_EQ(le32(b, 48), 6u);
    const auto top = chunksIn(b, 12, b.size());
    ASSERT_EQ(top.size(), 3u);
    EXPECT_EQ(top[1].size, 4 + 6 * (F + 8));
    EXPECT_EQ(top[2].id, "idx1");
    EXPECT_EQ(top[2].size, 6u * 16);
    ORVANE_REQUIRE_TOOL("ffprobe");
    EXPECT_EQ(ffprobe(path)["nb_read_frames"], "6");
}

TEST(AviWriter, FullDeviceFailsAtOpen) {
    if (!fileExists("/dev/full")) GTEST_SKIP() << "/dev/full is not available";
    CAviWriter avi;
    EXPECT_EQ(avi.open("/dev/full", 8, 8), 0);
    EXPECT_FALSE(avi.isOpen());
}

TEST(AviFrame, EveryBitCountBecomesBottomUp24Bit) {
    const int w = 5, h = 3;
    for (int bits : {8, 16, 24, 32, 48, 64}) {
        SCOPED_TRACE(bits);
        imaging::CDibImage src = patternImage(w, h, bits);
        imaging::CDibImage frame;
        ASSERT_EQ(output::MakeAviFrame(src, frame), 1);
        ASSERT_EQ(frame.bitCount(), 24);
        ASSERT_EQ(frame.width(), w);
        for (int y = 0; y < h; ++y) {
            const uint8_t* s = src.view().row(h - 1 - y);
            const uint8_t* d = frame.view().row(y);
            for (int x = 0; x < w; ++x) {
                for (int c = 0; c < 3; ++c) {
                    int want = 0;
                    switch (bits) {
                        case 8:
                            want = s[x];
                            break;
                        case 16:
                            want = ((s[2 * x + 1] << 6) | (s[2 * x] >> 2)) & 0xFF;
                            break;
                        case 24:
                            want = s[3 * x + c];
                            break;
                        case 32:
                            want = s[4 * x + c];
                            break;
                        case 48:
                            want = s[6 * x + 2 * c + 1];
                            break;
                        default:
                            want = s[8 * x + 2 * c + 1];
                            break;
                    }
                    ASSERT_EQ(d[3 * x + c], want) << x << "," << y << "," << c;
                }
            }
        }
    }
}

}  // namespace
}  // namespace orvane::test
