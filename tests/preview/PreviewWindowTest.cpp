// The preview window on a real (virtual-framebuffer) X server, driven through the public
// interface against the virtual camera: placement, title, what is painted, resizing, the
// child inside an application window, Close, and the cases without a usable window.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "OrvaneSdk.h"
#include "platform/PreviewWindow.h"
#include "sim/VirtualCameraSystem.h"
#include "support/PreviewPicture.h"
#include "support/TestEnv.h"
#include "support/TestFiles.h"

// Xlib last: its macros (None, Status, Bool) would clash with the headers above.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace orvane::test {
namespace {

using sim::ScopedVirtualCameras;

constexpr int kW = 3072;
constexpr int kH = 2048;

struct DisplayCloser {
    void operator()(Display* d) const { XCloseDisplay(d); }
};

int maskShift(unsigned long mask) {
    int s = 0;
    while (mask != 0 && (mask & 1) == 0) {
        mask >>= 1;
        ++s;
    }
    return s;
}

// Reads w x h pixels of a window (top-left corner) as blue-green-red, top row first.
Picture readBack(Display* d, Window window, int w, int h) {
    Picture out{w, h, std::vector<uint8_t>(static_cast<size_t>(w) * h * 3)};
    XImage* image = XGetImage(d, window, 0, 0, static_cast<unsigned>(w), static_cast<unsigned>(h),
                              AllPlanes, ZPixmap);
    if (image == nullptr) return Picture{};
    const int rs = maskShift(image->red_mask), gs = maskShift(image->green_mask),
              bs = maskShift(image->blue_mask);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const unsigned long v = XGetPixel(image, x, y);
            uint8_t* o = &out.bgr[(static_cast<size_t>(y) * w + x) * 3];
            o[0] = static_cast<uint8_t>(v >> bs);
            o[1] = static_cast<uint8_t>(v >> gs);
            o[2] = static_cast<uint8_t>(v >> rs);
        }
    XDestroyImage(image);
    return out;
}

std::string windowName(Display* d, Window w) {
    char* name = nullptr;
    std::string out;
    if (XFetchName(d, w, &name) && name != nullptr) out = name;
    if (name != nullptr) XFree(name);
    return out;
}

// Children of `parent` named `name`.
std::vector<Window> childrenNamed(Display* d, Window parent, const std::string& name) {
    Window root = 0, up = 0;
    Window* children = nullptr;
    unsigned count = 0;
    std::vector<Window> out;
    if (!XQueryTree(d, parent, &root, &up, &children, &count)) return out;
    for (unsigned i = 0; i < count; ++i)
        if (windowName(d, children[i]) == name) out.push_back(children[i]);
    if (children != nullptr) XFree(children);
    return out;
}

// Sets DISPLAY (or removes it, for null) for its lifetime.
class DisplayVariable {
  public:
    explicit DisplayVariable(const char* value) {
        const char* now = std::getenv("DISPLAY");
        had_ = now != nullptr;
        if (had_) saved_ = now;
        if (value != nullptr)
            setenv("DISPLAY", value, 1);
        else
            unsetenv("DISPLAY");
    }
    ~DisplayVariable() {
        if (had_)
            setenv("DISPLAY", saved_.c_str(), 1);
        else
            unsetenv("DISPLAY");
    }
    DisplayVariable(const DisplayVariable&) = delete;
    DisplayVariable& operator=(const DisplayVariable&) = delete;

  private:
    bool had_ = false;
    std::string saved_;
};

// xvfb-run's server resets when its last client leaves, and refuses connections while it
// does: one connection stays open for the whole run so that the server never sees the test's
// and the library's connections all closed between two tests.
class KeepServerAlive : public testing::Environment {
  public:
    void SetUp() override {
        if (const char* name = std::getenv("DISPLAY")) keeper_.reset(XOpenDisplay(name));
    }
    void TearDown() override { keeper_.reset(); }

  private:
    std::unique_ptr<Display, DisplayCloser> keeper_;
};
testing::Environment* const keepServerAlive =
    testing::AddGlobalTestEnvironment(new KeepServerAlive);

class PreviewWindowTest : public testing::Test {
  protected:
    void SetUp() override {
        const char* name = std::getenv("DISPLAY");
        ASSERT_TRUE(name != nullptr && name[0] != '\0') << "runs under xvfb-run";
        display_.reset(XOpenDisplay(name));
        ASSERT_TRUE(display_);
        root_ = DefaultRootWindow(display_.get());
    }
    void TearDown() override {
        if (handle_ != 0) {
            EXPECT_EQ(Orvane_Release(handle_), 1);
        }
        if (messages_ != nullptr) Orvane_DestroyMessageWindow(messages_);
        if (parent_ != nullptr) Orvane_DestroyMessageWindow(parent_);
        if (!display_) return;
        if (appWindow_ != 0) XDestroyWindow(d(), appWindow_);
        XSync(d(), False);
    }
    void open(int bits, int waitMs) {
        cams_ = std::make_unique<ScopedVirtualCameras>("30f0:pace=fast");
        messages_ = Orvane_CreateMessageWindow(0);
        handle_ = Orvane_Initialize(nullptr);
        ASSERT_NE(handle_, 0u);
        ASSERT_EQ(Orvane_SetColorMode(handle_, bits), 1);
        // Frames far enough apart that the server has always taken the previous one.
        ASSERT_EQ(Orvane_SetWaitTime(handle_, waitMs), 1);
    }
    // An 8-bit session showing its preview in a top-level window of its own.
    void openPreview() {
        open(8, 20);
        ASSERT_EQ(Orvane_Preview(handle_), 1);
    }
    // A mapped top-level window standing in for the application's, and its message-window
    // handle (parent_) for the preview calls.
    void openAppWindow(int x, int y, int width, int height, unsigned long background = 0) {
        appWindow_ = XCreateSimpleWindow(d(), root_, x, y, width, height, 0, 0, background);
        XMapWindow(d(), appWindow_);
        XSync(d(), False);
        parent_ = Orvane_CreateMessageWindow(appWindow_);
        ASSERT_NE(parent_, nullptr);
    }
    // Starts the preview with frame messages (no buffer), so the test can count frames.
    void startCounting() {
        dropFrameMessages();
        ASSERT_EQ(Orvane_CallBackPreview(handle_, messages_, nullptr, 0, 1), 1);
    }
    // Forgets frame messages already queued. Messages are posted after a frame was painted,
    // so after a change on the server (seen by the library once XSync returns) the first
    // message that follows may still belong to a frame painted before it; the second cannot.
    void dropFrameMessages() { dropMessages(messages_); }
    void waitFrames(int n) { waitFrameMessages(messages_, n); }
    Picture lastFrame(int bits) { return orvane::test::lastFrame(handle_, kW, kH, bits); }
    // Polls the window until it shows `expected` (the server paints asynchronously).
    void expectShown(Window w, const Picture& expected, const char* artifact = nullptr) {
        std::string first;
        size_t diff = 0;
        Picture got;
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        do {
            got = readBack(d(), w, expected.width, expected.height);
            diff = differences(got, expected, &first);
            if (diff == 0) break;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        } while (std::chrono::steady_clock::now() < until);
        EXPECT_EQ(diff, 0u) << first;
        keepArtifact(got, artifact);
    }
    Window onlyTopLevelPreview() {
        const auto found = childrenNamed(d(), root_, "Active Window");
        EXPECT_EQ(found.size(), 1u);
        return found.empty() ? 0 : found[0];
    }
    Display* d() { return display_.get(); }

    std::unique_ptr<Display, DisplayCloser> display_;
    Window root_ = 0;
    Window appWindow_ = 0;
    std::unique_ptr<ScopedVirtualCameras> cams_;
    HWND messages_ = nullptr;
    HWND parent_ = nullptr;
    ORVANE_HANDLE handle_ = 0;
};

// The platform window on its own: a frame smaller than the screen is centred, gray and
// colour pixels reach the server's visual in the given row order, and a window destroyed
// from outside is reported instead of being drawn into.
TEST_F(PreviewWindowTest, PlatformWindowCentresConvertsAndNoticesItsDestruction) {
    using namespace orvane::platform;
    PreviewResult result = PreviewResult::Failed;
    auto window = PreviewWindow::create({0, 0, 0, 400, 300}, &result);
    ASSERT_EQ(result, PreviewResult::Ok);
    ASSERT_TRUE(window);
    const Window w = static_cast<Window>(window->nativeWindow());
    EXPECT_EQ(windowName(d(), w), "Active Window");
    XWindowAttributes a{};
    ASSERT_TRUE(XGetWindowAttributes(d(), w, &a));
    EXPECT_EQ(a.x, (1600 - 400) / 2);
    EXPECT_EQ(a.y, (1200 - 300) / 2);
    EXPECT_EQ(a.width, 400);
    EXPECT_EQ(a.height, 300);
    const PreviewState state = window->poll();
    EXPECT_TRUE(state.mapped);
    EXPECT_EQ(state.width, 400);

    // 3 x 2 pixels, stored bottom row first.
    const uint8_t gray[2][4] = {{10, 20, 30, 0}, {40, 50, 60, 0}};
    ASSERT_TRUE(window->put({&gray[0][0], 3, 2, 4, 1, true}));
    Picture expected{
        3, 2, {40, 40, 40, 50, 50, 50, 60, 60, 60, 10, 10, 10, 20, 20, 20, 30, 30, 30}};
    expectShown(w, expected);
    const uint8_t bgr[2][12] = {{1, 2, 3, 4, 5, 6, 7, 8, 9, 0, 0, 0},
                                {11, 12, 13, 14, 15, 16, 17, 18, 19, 0, 0, 0}};
    // The previous image may still be in the server's hands: put() then declines.
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!window->put({&bgr[0][0], 3, 2, 12, 3, false}) &&
           std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    expected.bgr = {1, 2, 3, 4, 5, 6, 7, 8, 9, 11, 12, 13, 14, 15, 16, 17, 18, 19};
    expectShown(w, expected);
    EXPECT_FALSE(window->put({&bgr[0][0], 3, 2, 12, 4, false})) << "4 bytes per pixel";
    EXPECT_FALSE(window->put({nullptr, 3, 2, 12, 3, false}));

    // A parent that is not a window of the display.
    const Window gone = XCreateSimpleWindow(d(), root_, 0, 0, 10, 10, 0, 0, 0);
    XDestroyWindow(d(), gone);
    XSync(d(), False);
    EXPECT_FALSE(PreviewWindow::create({gone, 0, 0, 10, 10}, &result));
    EXPECT_EQ(result, PreviewResult::BadParent);

    // A child whose parent goes away with it.
    appWindow_ = XCreateSimpleWindow(d(), root_, 0, 0, 100, 100, 0, 0, 0);
    XMapWindow(d(), appWindow_);
    XSync(d(), False);
    auto child = PreviewWindow::create({appWindow_, 5, 6, 50, 40}, &result);
    ASSERT_TRUE(child);
    EXPECT_EQ(windowName(d(), static_cast<Window>(child->nativeWindow())), "ActiveMovie Window");
    XDestroyWindow(d(), appWindow_);
    appWindow_ = 0;
    XSync(d(), False);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!child->poll().destroyed && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_TRUE(child->poll().destroyed);
    EXPECT_FALSE(child->put({&bgr[0][0], 3, 2, 12, 3, false}));
    child.reset();  // no request for the vanished window, no error leaks out
    window.reset();
    XSync(d(), False);
    EXPECT_TRUE(childrenNamed(d(), root_, "Active Window").empty());
}

TEST_F(PreviewWindowTest, TopLevelWindowIsTitledSizedToTheFramePlacedAndPaintedAsIs) {
    open(24, 300);
    ASSERT_EQ(Orvane_Preview(handle_), 1);
    const Window w = onlyTopLevelPreview();
    ASSERT_NE(w, 0u);
    XWindowAttributes a{};
    ASSERT_TRUE(XGetWindowAttributes(d(), w, &a));
    EXPECT_EQ(a.width, kW);
    EXPECT_EQ(a.height, kH);
    // Centring a frame wider and taller than the 1600 x 1200 screen gives negative
    // coordinates, which become 0.
    int x = -1, y = -1;
    Window child = 0;
    XTranslateCoordinates(d(), w, root_, 0, 0, &x, &y, &child);
    EXPECT_EQ(x, 0);
    EXPECT_EQ(y, 0);
    // Wait until frames are painted (the background is black), stop, and compare the
    // visible part with the last frame.
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (std::chrono::steady_clock::now() < until) {
        const Picture corner = readBack(d(), w, 64, 64);
        if (std::any_of(corner.bgr.begin(), corner.bgr.end(), [](uint8_t v) { return v != 0; }))
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    ASSERT_EQ(Orvane_StopPreview(handle_), 1);
    EXPECT_EQ(Orvane_GetLastError(handle_), 0);
    const Picture frame = lastFrame(24);
    Picture visible{1600, 1200, std::vector<uint8_t>(1600u * 1200u * 3u)};
    for (int row = 0; row < 1200; ++row)
        std::copy_n(frame.at(0, row), 1600 * 3, &visible.bgr[static_cast<size_t>(row) * 1600 * 3]);
    expectShown(w, visible);
    EXPECT_EQ(Orvane_Close(handle_), 1);
    EXPECT_TRUE(childrenNamed(d(), root_, "Active Window").empty()) << "Close destroys it";
}

TEST_F(PreviewWindowTest, ResizedWindowGetsTheFrameScaledToItsNewSize) {
    open(48, 100);
    startCounting();
    const Window w = onlyTopLevelPreview();
    ASSERT_NE(w, 0u);
    waitFrames(1);
    XResizeWindow(d(), w, 640, 480);
    XSync(d(), False);
    dropFrameMessages();
    waitFrames(2);
    ASSERT_EQ(Orvane_StopPreview(handle_), 1);
    expectShown(w, scaleReference(lastFrame(48), 640, 480));
    // Larger than before, and not a whole fraction of the frame.
    XResizeWindow(d(), w, 1001, 777);
    XSync(d(), False);
    startCounting();
    EXPECT_EQ(onlyTopLevelPreview(), w) << "a restart keeps the window";
    waitFrames(2);
    ASSERT_EQ(Orvane_StopPreview(handle_), 1);
    expectShown(w, scaleReference(lastFrame(48), 1001, 777), "preview_resized_48bit.png");
    // Hidden and shown again while running: painting resumes.
    startCounting();
    XUnmapWindow(d(), w);
    XSync(d(), False);
    waitFrames(2);
    XMapWindow(d(), w);
    XSync(d(), False);
    dropFrameMessages();
    waitFrames(2);
    ASSERT_EQ(Orvane_StopPreview(handle_), 1);
    expectShown(w, scaleReference(lastFrame(48), 1001, 777));
    EXPECT_EQ(Orvane_GetLastError(handle_), 0);
}

TEST_F(PreviewWindowTest, WindowManagerCloseHidesTheWindowAStartOrARecordingShowsIt) {
    ASSERT_NO_FATAL_FAILURE(openPreview());
    const Window w = onlyTopLevelPreview();
    ASSERT_NE(w, 0u);
    auto mapState = [&] {
        XWindowAttributes a{};
        XGetWindowAttributes(d(), w, &a);
        return a.map_state;
    };
    EXPECT_EQ(mapState(), IsViewable);
    // What a window manager sends when the user clicks the close button.
    XEvent close{};
    close.xclient.type = ClientMessage;
    close.xclient.window = w;
    close.xclient.message_type = XInternAtom(d(), "WM_PROTOCOLS", False);
    close.xclient.format = 32;
    close.xclient.data.l[0] = static_cast<long>(XInternAtom(d(), "WM_DELETE_WINDOW", False));
    close.xclient.data.l[1] = CurrentTime;
    XSendEvent(d(), w, False, NoEventMask, &close);
    XSync(d(), False);
    // Both changes are made by the library's own connection: wait for the server to see them.
    auto becomes = [&](int state) {
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (mapState() != state && std::chrono::steady_clock::now() < until)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        return mapState();
    };
    EXPECT_EQ(becomes(IsUnmapped), IsUnmapped);
    ASSERT_EQ(Orvane_StopPreview(handle_), 1);
    ASSERT_EQ(Orvane_Preview(handle_), 1);
    EXPECT_EQ(onlyTopLevelPreview(), w);
    EXPECT_EQ(becomes(IsViewable), IsViewable);
    EXPECT_EQ(Orvane_Close(handle_), 1);
    EXPECT_TRUE(childrenNamed(d(), root_, "Active Window").empty());

    // Recording shows the preview only when asked to.
    const std::string avi = orvane::test::testDir() + "/preview.avi";
    ASSERT_EQ(Orvane_Record(handle_, avi.c_str(), 60000, 0), 1);
    EXPECT_TRUE(childrenNamed(d(), root_, "Active Window").empty());
    EXPECT_EQ(Orvane_Close(handle_), 1);
    ASSERT_EQ(Orvane_Record(handle_, avi.c_str(), 60000, 1), 1);
    EXPECT_EQ(childrenNamed(d(), root_, "Active Window").size(), 1u);
    EXPECT_EQ(Orvane_Close(handle_), 1);
    EXPECT_TRUE(childrenNamed(d(), root_, "Active Window").empty());
    EXPECT_EQ(Orvane_GetLastError(handle_), 0);
}

TEST_F(PreviewWindowTest, ChildWindowLivesInTheParentAtTheRectangleUntilClose) {
    open(8, 100);
    openAppWindow(100, 50, 800, 600, 0x808080);
    ASSERT_EQ(Orvane_SetPreviewWindow(handle_, parent_, 40, 30, 500, 400), 1);
    startCounting();
    const auto children = childrenNamed(d(), appWindow_, "ActiveMovie Window");
    ASSERT_EQ(children.size(), 1u);
    EXPECT_TRUE(childrenNamed(d(), root_, "Active Window").empty()) << "no top-level window";
    XWindowAttributes a{};
    ASSERT_TRUE(XGetWindowAttributes(d(), children[0], &a));
    EXPECT_EQ(a.x, 40);
    EXPECT_EQ(a.y, 30);
    EXPECT_EQ(a.width, 500);
    EXPECT_EQ(a.height, 400);
    waitFrames(2);
    ASSERT_EQ(Orvane_StopPreview(handle_), 1);
    expectShown(children[0], scaleReference(lastFrame(8), 500, 400), "preview_child_8bit.png");
    // The application's window with the preview in it, for the record.
    EXPECT_TRUE(
        savePng(readBack(d(), appWindow_, 800, 600), artifactDir() + "/preview_in_parent.png"));
    // The other formats reach the window through their 8- or 24-bit conversions.
    for (int bits : {16, 32, 64}) {
        SCOPED_TRACE(bits);
        ASSERT_EQ(Orvane_SetColorMode(handle_, bits), 1);
        startCounting();
        waitFrames(2);
        ASSERT_EQ(Orvane_StopPreview(handle_), 1);
        expectShown(children[0], scaleReference(lastFrame(bits), 500, 400));
    }
    EXPECT_EQ(Orvane_Close(handle_), 1);
    XSync(d(), False);
    EXPECT_TRUE(childrenNamed(d(), appWindow_, "ActiveMovie Window").empty());
    EXPECT_EQ(Orvane_GetLastError(handle_), 0);
}

TEST_F(PreviewWindowTest, ParentDestroyedUnderTheRunningPreviewIsSurvived) {
    open(8, 20);
    openAppWindow(0, 0, 300, 200);
    ASSERT_EQ(Orvane_SetPreviewWindow(handle_, parent_, 0, 0, 300, 200), 1);
    startCounting();
    waitFrames(2);
    XDestroyWindow(d(), appWindow_);  // takes the preview window with it
    appWindow_ = 0;
    XSync(d(), False);
    waitFrames(3);
    EXPECT_EQ(Orvane_Close(handle_), 1);
    EXPECT_EQ(Orvane_GetLastError(handle_), 0);
}

TEST_F(PreviewWindowTest, UnusableParentsRecordFourAndStartNothing) {
    open(8, 10);
    // A window id that no longer exists on the display.
    const Window gone = XCreateSimpleWindow(d(), root_, 0, 0, 10, 10, 0, 0, 0);
    XDestroyWindow(d(), gone);
    XSync(d(), False);
    HWND stale = Orvane_CreateMessageWindow(0);
    Orvane_DestroyMessageWindow(stale);
    HWND noNative = Orvane_CreateMessageWindow(0);
    HWND badNative = Orvane_CreateMessageWindow(gone);
    for (HWND parent : {stale, noNative, badNative}) {
        ASSERT_EQ(Orvane_SetPreviewWindow(handle_, parent, 0, 0, 100, 100), 1);
        EXPECT_EQ(Orvane_Preview(handle_), 0);
        EXPECT_EQ(Orvane_GetLastError(handle_), 4);
        EXPECT_EQ(Orvane_GetLastError(handle_), 0);
        EXPECT_EQ(Orvane_Capture(handle_), 1) << "no preview was started";
        EXPECT_EQ(Orvane_StopPreview(handle_), 1);
    }
    ASSERT_EQ(Orvane_SetPreviewWindow(handle_, badNative, 0, 0, 100, 100), 1);
    EXPECT_EQ(Orvane_Record(handle_, "/dev/null", 100, 1), 0) << "recording with a window";
    EXPECT_EQ(Orvane_GetLastError(handle_), 4);
    Orvane_DestroyMessageWindow(noNative);
    Orvane_DestroyMessageWindow(badNative);
}

TEST_F(PreviewWindowTest, WithoutADisplayOrAWindowThePreviewRunsWindowless) {
    open(8, 10);
    // All-zero rectangle and no parent: no window even though a display is there.
    ASSERT_EQ(Orvane_SetPreviewWindow(handle_, nullptr, 0, 0, 0, 0), 1);
    startCounting();
    waitFrames(1);
    EXPECT_TRUE(childrenNamed(d(), root_, "Active Window").empty());
    EXPECT_EQ(Orvane_Close(handle_), 1);

    // No display at all: the default rectangle asks for a window, none can be made, and
    // the preview runs without error.
    {
        const DisplayVariable unset(nullptr);
        ASSERT_EQ(Orvane_SetPreviewWindow(handle_, nullptr, 0, 0, kW, kH), 1);
        ASSERT_EQ(Orvane_Preview(handle_), 1);
        EXPECT_EQ(Orvane_GetLastError(handle_), 0);
        EXPECT_EQ(Orvane_StopPreview(handle_), 1);
        startCounting();  // and frames flow
        waitFrames(1);
        EXPECT_EQ(Orvane_Close(handle_), 1);
    }
    // A server that refuses the connection counts as no display too.
    {
        const DisplayVariable refused(":999");
        EXPECT_EQ(Orvane_Preview(handle_), 1);
        EXPECT_EQ(Orvane_GetLastError(handle_), 0);
        EXPECT_EQ(Orvane_Close(handle_), 1);
    }
    EXPECT_TRUE(childrenNamed(d(), root_, "Active Window").empty());
}

}  // namespace
}  // namespace orvane::test
