// An AVI past the 1 GiB part limit, read whole by ffprobe. Full-size colour frames (18.9 MB)
// keep the frame count, and so the time, small.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <map>

#include "OutputTestSupport.h"
#include "output/CAviWriter.h"

namespace orvane::test {
namespace {

TEST(LargeAvi, OpenDmlFileOverOneGibibyteIsReadWhole) {
    ORVANE_REQUIRE_TOOL("ffprobe");
    const int w = 3072, h = 2048, frames = 64;  // 1.2 GB
    const size_t stride = static_cast<size_t>(w) * 3;
    std::vector<uint8_t> frame(stride * h);
    for (size_t i = 0; i < frame.size(); ++i) frame[i] = static_cast<uint8_t>(i * 131 >> 7);
    const std::string path = testPath("large.avi");
    output::CAviWriter avi;
    ASSERT_EQ(avi.open(path.c_str(), w, h), 1);
    for (int n = 0; n < frames; ++n) {
        frame[n] = 0xFF;  // frames differ
        ASSERT_EQ(avi.appendFrame(frame.data(), stride), 1) << n;
    }
    avi.setRate(output::CAviWriter::measuredRate(frames, 1280));  // 50 frames per second
    ASSERT_EQ(avi.finish(), 1);
    EXPECT_EQ(avi.riffCount(), 2u);

    std::string out;
    const int rc = runCommand(
        "ffprobe -v error -count_packets -select_streams v:0 "
        "-show_entries stream=width,height,nb_read_packets,nb_frames,"
        "r_frame_rate -of default=nw=1 '" +
            path + "' 2>&1",
        out);
    ::unlink(path.c_str());
    ASSERT_EQ(rc, 0) << out;
    EXPECT_NE(out.find("width=3072"), std::string::npos) << out;
    EXPECT_NE(out.find("height=2048"), std::string::npos) << out;
    EXPECT_NE(out.find("nb_frames=64"), std::string::npos) << out;
    EXPECT_NE(out.find("nb_read_packets=64"), std::string::npos) << out;
    EXPECT_NE(out.find("r_frame_rate=50/1"), std::string::npos) << out;
}

}  // namespace
}  // namespace orvane::test
