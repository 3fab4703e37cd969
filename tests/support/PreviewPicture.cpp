#include "support/PreviewPicture.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "imaging/CDibImage.h"
#include "output/ImageWriters.h"
#include "support/TestFiles.h"

namespace orvane::test {

Picture blankPicture(int w, int h) {
    return Picture{w, h, std::vector<uint8_t>(static_cast<size_t>(w) * static_cast<size_t>(h) * 3)};
}

Picture scaleReference(const Picture& p, int w, int h) {
    Picture out = blankPicture(w, h);
    for (int y = 0; y < h; ++y) {
        const int fromBottomWindow = h - 1 - y;
        int fromBottom = static_cast<int>(static_cast<float>(fromBottomWindow) *
                                          static_cast<float>(p.height) / static_cast<float>(h));
        if (fromBottom > p.height - 1) fromBottom = p.height - 1;
        const int sy = p.height - 1 - fromBottom;
        for (int x = 0; x < w; ++x) {
            int sx = static_cast<int>(static_cast<float>(x) * static_cast<float>(p.width) /
                                      static_cast<float>(w));
            if (sx > p.width - 1) sx = p.width - 1;
            std::copy_n(p.at(sx, sy), 3, out.at(x, y));
        }
    }
    return out;
}

Picture lastFrame(ORVANE_HANDLE handle, int w, int h, int bits) {
    const int stride = (w * bits / 8 + 3) & ~3;
    std::vector<uint8_t> buffer(static_cast<size_t>(stride) * static_cast<size_t>(h));
    if (Orvane_GetImage(handle, buffer.data(), static_cast<int>(buffer.size()), 1) != 1)
        return Picture{};
    Picture p = blankPicture(w, h);
    const int pixelBytes = bits / 8;
    for (int y = 0; y < h; ++y) {
        const uint8_t* row = &buffer[static_cast<size_t>(y) * static_cast<size_t>(stride)];
        for (int x = 0; x < w; ++x) {
            const uint8_t* px = row + x * pixelBytes;
            uint8_t* o = p.at(x, y);
            for (int c = 0; c < 3; ++c) {
                switch (bits) {
                    case 8:
                        o[c] = px[0];
                        break;
                    case 16:
                        o[c] = px[1];
                        break;
                    case 24:
                    case 32:
                        o[c] = px[c];
                        break;
                    default:  // 48, 64
                        o[c] = static_cast<uint8_t>((px[c * 2 + 1] << 4) | (px[c * 2] >> 4));
                        break;
                }
            }
        }
    }
    return p;
}

size_t differences(const Picture& a, const Picture& b, std::string* first) {
    if (a.width != b.width || a.height != b.height) return static_cast<size_t>(-1);
    size_t n = 0;
    for (int y = 0; y < a.height; ++y)
        for (int x = 0; x < a.width; ++x)
            for (int c = 0; c < 3; ++c)
                if (a.at(x, y)[c] != b.at(x, y)[c]) {
                    if (n++ == 0 && first != nullptr)
                        *first = "at " + std::to_string(x) + "," + std::to_string(y) + " channel " +
                                 std::to_string(c) + ": " + std::to_string(a.at(x, y)[c]) + " vs " +
                                 std::to_string(b.at(x, y)[c]);
                    break;
                }
    return n;
}

bool savePng(const Picture& p, const std::string& path) {
    imaging::CDibImage image;
    if (p.width <= 0 || p.height <= 0 || image.Create(p.width, p.height, 24) != 1) return false;
    for (int y = 0; y < p.height; ++y)
        std::copy_n(p.at(0, y), static_cast<size_t>(p.width) * 3,
                    image.bits() + static_cast<size_t>(y) * image.stride());
    return output::detail::writePng(image, path.c_str()) == 1;
}

void keepArtifact(const Picture& p, const char* name) {
    if (name != nullptr) {
        EXPECT_TRUE(savePng(p, artifactDir() + "/" + name));
    }
}

void dropMessages(HWND messages) {
    OrvaneMessage m{};
    while (Orvane_GetMessage(messages, &m, 0) == 1) {
    }
}

void waitFrameMessages(HWND messages, int n) {
    for (int got = 0; got < n;) {
        OrvaneMessage m{};
        ASSERT_EQ(Orvane_GetMessage(messages, &m, 20000), 1) << "no frame";
        if (m.message == ORVANE_WM_FRAME && m.lParam == 0) ++got;
    }
}

}  // namespace orvane::test
