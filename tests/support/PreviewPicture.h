// Pictures as a preview window should show them, for the preview tests of both window
// systems: the last processed frame turned into blue-green-red, the nearest-neighbour scaling
// the window applies, pixel-by-pixel comparison and PNG artifacts.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "OrvaneSdk.h"

namespace orvane::test {

// Top row first, blue-green-red.
struct Picture {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> bgr;
    const uint8_t* at(int x, int y) const {
        return &bgr[(static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)) *
                    3];
    }
    uint8_t* at(int x, int y) {
        return &bgr[(static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)) *
                    3];
    }
};

// A black picture of w x h.
Picture blankPicture(int w, int h);

// Nearest-neighbour scaling of a picture to w x h, straight from the rule: column
// trunc(x * sw / w), row counted from the bottom by trunc(y' * sh / h) where y' counts the
// window's rows from the bottom too, single precision, clamped.
Picture scaleReference(const Picture& p, int w, int h);

// The session's last processed frame (w x h, `bits` per pixel) as the window should show
// it: 16-bit gray as its high byte, 48- and 64-bit colour with 12 significant bits, gray as
// three equal channels. An empty picture when it cannot be read.
Picture lastFrame(ORVANE_HANDLE handle, int w, int h, int bits);

// Number of differing pixels (all of them for different sizes); `first` describes the first.
size_t differences(const Picture& a, const Picture& b, std::string* first);

// Writes the picture as a PNG file; false when it cannot.
bool savePng(const Picture& p, const std::string& path);

// Keeps the picture as the PNG artifact `name` in artifactDir() (nothing for a null name);
// a picture that cannot be written fails the test.
void keepArtifact(const Picture& p, const char* name);

// Frame messages of a preview started with Orvane_CallBackPreview on `messages`.
// Forgets the messages already queued.
void dropMessages(HWND messages);
// Waits for n frame messages (ORVANE_WM_FRAME without an error), at most 20 s for each;
// fails the test when one does not come.
void waitFrameMessages(HWND messages, int n);

}  // namespace orvane::test
