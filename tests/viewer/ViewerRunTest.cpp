// orvane-viewer as a user runs it: a separate process on this test's virtual X server, with
// a virtual camera, preview started at launch, a screenshot of its window and the current
// image saved in every format. The screenshots are kept as test artifacts.
#include <gtest/gtest.h>
#include <png.h>
#include <sys/wait.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "support/TestEnv.h"
#include "support/TestFiles.h"

namespace {

namespace fs = std::filesystem;
using orvane::test::artifactDir;

constexpr int kAreaWidth = 640;
constexpr int kAreaHeight = 420;

struct ViewerExit {
    int status = -1;  // exit status, -1 when the process did not exit normally
    std::string out;
};

ViewerExit runViewer(const std::string& args) {
    // The viewer inherits this test's settings directory and shared-memory name. Its own
    // --quit-after bounds a run that never reaches the screenshot.
    const std::string command =
        std::string("'") + ORVANE_VIEWER_PATH + "' " + args + " --quit-after 120000";
    ViewerExit run;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return run;
    char buf[512];
    while (std::fgets(buf, sizeof buf, pipe) != nullptr) run.out += buf;
    const int status = pclose(pipe);
    if (status != -1 && WIFEXITED(status)) run.status = WEXITSTATUS(status);
    return run;
}

// What the viewer reports about its screenshot.
struct Shot {
    bool found = false;
    int width = 0, height = 0;                        // window
    int x = 0, y = 0, areaWidth = 0, areaHeight = 0;  // preview area inside it
    long frames = 0;
    int libraryWindow = -1;
};

Shot parseShot(const std::string& out) {
    Shot s;
    const size_t at = out.find("screenshot ");
    if (at == std::string::npos) return s;
    char path[1024];
    s.found =
        std::sscanf(out.c_str() + at,
                    "screenshot %1023s %dx%d preview %d,%d %dx%d frames %ld library-window %d",
                    path, &s.width, &s.height, &s.x, &s.y, &s.areaWidth, &s.areaHeight, &s.frames,
                    &s.libraryWindow) == 9;
    return s;
}

struct Picture {
    int width = 0, height = 0;
    std::vector<uint8_t> rgb;
    const uint8_t* at(int x, int y) const {
        return &rgb[(static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)) *
                    3];
    }
};

bool readPng(const std::string& path, Picture* p) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str())) return false;
    image.format = PNG_FORMAT_RGB;
    p->width = static_cast<int>(image.width);
    p->height = static_cast<int>(image.height);
    p->rgb.resize(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, p->rgb.data(), 0, nullptr)) {
        png_image_free(&image);
        return false;
    }
    return true;
}

// Share of the preview area whose pixels match the camera frame sampled to the area's size
// (all channels within `tolerance`). An upside-down, mirrored, shifted or channel-swapped
// picture scores far lower; patch edges may fall one pixel apart, so it never reaches 1.
double matchShare(const Picture& shot, const Shot& s, const Picture& frame, int tolerance) {
    long good = 0, total = 0;
    for (int y = 0; y < s.areaHeight; y += 2) {
        for (int x = 0; x < s.areaWidth; x += 2) {
            const uint8_t* a = shot.at(s.x + x, s.y + y);
            const uint8_t* b =
                frame.at(static_cast<int>(static_cast<long>(x) * frame.width / s.areaWidth),
                         static_cast<int>(static_cast<long>(y) * frame.height / s.areaHeight));
            bool close = true;
            for (int c = 0; c < 3; ++c) close = close && std::abs(a[c] - b[c]) <= tolerance;
            good += close ? 1 : 0;
            ++total;
        }
    }
    return total == 0 ? 0.0 : static_cast<double>(good) / static_cast<double>(total);
}

// Spread of the area's luminance: 0 for a blank (uniform) area.
double spread(const Picture& shot, const Shot& s) {
    double sum = 0, sum2 = 0;
    long n = 0;
    for (int y = 0; y < s.areaHeight; ++y) {
        for (int x = 0; x < s.areaWidth; ++x) {
            const uint8_t* p = shot.at(s.x + x, s.y + y);
            const double v = (p[0] + p[1] + p[2]) / 3.0;
            sum += v;
            sum2 += v * v;
            ++n;
        }
    }
    const double mean = sum / static_cast<double>(n);
    return std::sqrt(std::max(0.0, sum2 / static_cast<double>(n) - mean * mean));
}

std::string readHead(const std::string& path, size_t n) {
    std::ifstream f(path, std::ios::binary);
    std::string head(n, '\0');
    f.read(head.data(), static_cast<std::streamsize>(n));
    head.resize(static_cast<size_t>(f.gcount()));
    return head;
}

// Runs the viewer to a screenshot and checks what every mode shares: a clean exit, the
// reported geometry, a PNG of the window's size, and the camera's picture in the preview
// area. Returns the run's report for the checks each mode adds.
Shot screenshotRun(const std::string& extra, const std::string& shotName, const fs::path& dir) {
    const std::string shotPath = artifactDir() + "/" + shotName;
    fs::remove(shotPath);
    const std::string prefix = (dir / "frame").string();
    // Two cameras: the viewer must open the second, the chart; the first is flat gray.
    const ViewerExit run = runViewer(
        "--virtual=30f0:pace=fast:scene=flat:40,30f0:pace=fast --device 1 --start "
        "--size " +
        std::to_string(kAreaWidth) + "x" + std::to_string(kAreaHeight) + " --screenshot '" +
        shotPath + "' --after 800 --save-all '" + prefix + "' " + extra);
    SCOPED_TRACE(run.out);
    EXPECT_EQ(run.status, 0);
    const Shot s = parseShot(run.out);
    EXPECT_TRUE(s.found);
    EXPECT_GT(s.frames, 0);

    Picture shot, frame;
    EXPECT_TRUE(readPng(shotPath, &shot)) << shotPath;
    EXPECT_TRUE(readPng(prefix + ".png", &frame));
    if (!s.found || shot.width == 0 || frame.width == 0) return s;
    EXPECT_EQ(shot.width, s.width);
    EXPECT_EQ(shot.height, s.height);
    EXPECT_LE(s.x + s.areaWidth, shot.width);
    EXPECT_LE(s.y + s.areaHeight, shot.height);
    EXPECT_EQ(frame.width, 3072);
    EXPECT_EQ(frame.height, 2048);
    if (s.x + s.areaWidth > shot.width || s.y + s.areaHeight > shot.height) return s;

    // Not a blank area, and the camera's picture, the right way up, in the right colours.
    EXPECT_GT(spread(shot, s), 10.0);
    EXPECT_GE(matchShare(shot, s, frame, 24), 0.9);
    return s;
}

TEST(ViewerRun, LibraryPreviewWindowShowsTheCameraAndEveryFormatIsSaved) {
    // The frames in this screenshot are drawn by the library's own preview window, a child
    // of the viewer's drawing area (nothing is drawn by the viewer itself: --no-fallback).
    // The window is made bigger first, so the preview has to follow the new size.
    const fs::path dir = orvane::test::testDir();
    const Shot s = screenshotRun("--no-fallback --resize 900x700", "viewer-preview.png", dir);
    EXPECT_EQ(s.libraryWindow, 1);
    EXPECT_EQ(s.width, 900);
    EXPECT_EQ(s.height, 700);
    EXPECT_EQ(s.areaWidth, 900);
    EXPECT_GT(s.areaHeight, kAreaHeight);

    // Each format the viewer offers reaches the library as the right format number.
    const std::string prefix = (dir / "frame").string();
    const uintmax_t rows = 3072u * 3u * 2048u;  // 24-bit frame, stride 9216
    EXPECT_EQ(readHead(prefix + ".bmp", 2), "BM");
    EXPECT_EQ(fs::file_size(prefix + ".bmp"), 54 + rows);
    EXPECT_EQ(fs::file_size(prefix + ".raw"), rows);
    EXPECT_EQ(readHead(prefix + ".png", 8), "\x89PNG\r\n\x1a\n");
    const std::string tiff = readHead(prefix + ".tiff", 4);
    EXPECT_TRUE(tiff == std::string("II*\0", 4) || tiff == std::string("MM\0*", 4));
    for (const char* q : {"-q100.jpg", "-q70.jpg", "-q20.jpg"})
        EXPECT_EQ(readHead(prefix + q, 3), "\xFF\xD8\xFF") << q;
    // Lower quality, smaller file: the three JPEG formats are not mixed up.
    EXPECT_GT(fs::file_size(prefix + "-q100.jpg"), fs::file_size(prefix + "-q70.jpg"));
    EXPECT_GT(fs::file_size(prefix + "-q70.jpg"), fs::file_size(prefix + "-q20.jpg"));
}

TEST(ViewerRun, ViewerDrawsTheFramesWhenTheLibraryPreviewsWithoutWindow) {
    const Shot s = screenshotRun("--draw-in-viewer", "viewer-preview-own-drawing.png",
                                 orvane::test::testDir());
    EXPECT_EQ(s.libraryWindow, 0);
    EXPECT_EQ(s.areaWidth, kAreaWidth);
    EXPECT_EQ(s.areaHeight, kAreaHeight);
}

TEST(ViewerRun, RecordingStartedAtLaunchIsCompletedWhenTheViewerQuits) {
    const fs::path dir = orvane::test::testDir();
    const std::string avi = (dir / "run.avi").string();
    const ViewerExit run = runViewer("--virtual --record '" + avi + "' --screenshot '" +
                                     (dir / "main.png").string() + "' --after 1500");
    SCOPED_TRACE(run.out);
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(parseShot(run.out).libraryWindow, 1);  // recording shows its frames too
    ASSERT_TRUE(fs::exists(avi));
    const std::string head = readHead(avi, 64);
    ASSERT_EQ(head.size(), 64u);
    auto le32 = [&](size_t at) {
        return static_cast<uint32_t>(static_cast<uint8_t>(head[at])) |
               static_cast<uint32_t>(static_cast<uint8_t>(head[at + 1])) << 8 |
               static_cast<uint32_t>(static_cast<uint8_t>(head[at + 2])) << 16 |
               static_cast<uint32_t>(static_cast<uint8_t>(head[at + 3])) << 24;
    };
    EXPECT_EQ(head.substr(0, 4), "RIFF");
    EXPECT_EQ(head.substr(8, 4), "AVI ");
    // A completed file: the RIFF size covers the whole file and frames were counted
    // (main header "avih" at 24, its total-frames field at 48).
    EXPECT_EQ(le32(4) + 8u, fs::file_size(avi));
    EXPECT_EQ(head.substr(24, 4), "avih");
    EXPECT_GE(le32(48), 1u);
}

TEST(ViewerRun, SettingsDialogsOpenOverTheViewerAndCloseAsCancel) {
    // The viewer is itself a GTK program: the library's dialogs run inside its main loop.
    // Each is opened as the Settings menu does, pictured, and closed by its close button.
    const std::string prefix = artifactDir() + "/viewer-dialog";
    const std::string shotPath = orvane::test::testDir() + "/main.png";
    const ViewerExit run = runViewer("--virtual --start --screenshot '" + shotPath +
                                     "' --after 300 --dialog-shots '" + prefix + "'");
    SCOPED_TRACE(run.out);
    EXPECT_EQ(run.status, 0);
    for (const char* name : {"camera", "image", "analog"}) {
        SCOPED_TRACE(name);
        const size_t at = run.out.find(std::string("dialog ") + name + " ");
        ASSERT_NE(at, std::string::npos);
        int result = 0, w = 0, h = 0;
        ASSERT_EQ(std::sscanf(run.out.c_str() + at + 8 + std::strlen(name), "result %d sheet %dx%d",
                              &result, &w, &h),
                  3);
        EXPECT_EQ(result, 1);
        Picture sheet;
        ASSERT_TRUE(readPng(prefix + "-" + name + ".png", &sheet));
        EXPECT_EQ(sheet.width, w);
        EXPECT_EQ(sheet.height, h);
        // A laid-out sheet, not an empty window.
        EXPECT_GT(w, 200);
        EXPECT_GT(h, 200);
        EXPECT_GT(spread(sheet, Shot{true, w, h, 0, 0, w, h, 0, 0}), 5.0);
    }
}

TEST(ViewerRun, RejectsBadOptionsWithUsage) {
    const ViewerExit bad = runViewer("--size 12");
    EXPECT_EQ(bad.status, 2);
    const ViewerExit help = runViewer("--help");
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("--virtual"), std::string::npos);
}

}  // namespace
