// The one image buffer type of the library and the calling convention of the pixel routines.
//
// Threads: a CDibImage is not locked by itself. The session guards its images with its frame
// lock; any thread holding that lock may call any member. The pixel routines never lock.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

namespace orvane::imaging {

#pragma pack(push, 1)
// Layouts of the Windows bitmap structures, so that BMP and AVI writers can emit them as
// they are.
struct BITMAPINFOHEADER {
    uint32_t biSize = 40;
    int32_t biWidth = 0;
    int32_t biHeight = 0;
    uint16_t biPlanes = 0;
    uint16_t biBitCount = 0;
    uint32_t biCompression = 0;
    uint32_t biSizeImage = 0;
    int32_t biXPelsPerMeter = 0;
    int32_t biYPelsPerMeter = 0;
    uint32_t biClrUsed = 0;
    uint32_t biClrImportant = 0;
};
struct RGBQUAD {
    uint8_t rgbBlue = 0;
    uint8_t rgbGreen = 0;
    uint8_t rgbRed = 0;
    uint8_t rgbReserved = 0;
};
#pragma pack(pop)
static_assert(sizeof(BITMAPINFOHEADER) == 40);
static_assert(sizeof(RGBQUAD) == 4);

// Rectangle in pixels, right and bottom exclusive.
struct PixelRect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
    int width() const { return right - left; }
    int height() const { return bottom - top; }
};

// Borrowed view of pixel rows: what the processing routines take. Row 0 is memory row 0
// (the top of the picture); rows are `stride` bytes apart.
struct ImageView {
    uint8_t* bits = nullptr;
    int width = 0;
    int height = 0;
    int stride = 0;
    int bytesPerPixel = 0;

    bool empty() const { return bits == nullptr || width <= 0 || height <= 0; }
    uint8_t* row(int y) const { return bits + static_cast<ptrdiff_t>(y) * stride; }
};

// Bytes from one row to the next: rows padded to 4 bytes.
constexpr int dibStride(int width, int bitCount) {
    return static_cast<int>((static_cast<int64_t>(width) * bitCount / 8 + 3) & ~int64_t{3});
}

// Frees memory from alignedAlloc.
struct AlignedFree {
    void operator()(uint8_t* p) const noexcept;
};
using AlignedBytes = std::unique_ptr<uint8_t[], AlignedFree>;
// Zero-filled block aligned for vector loads (64 bytes); null when out of memory. Allocates.
AlignedBytes alignedAlloc(size_t bytes);

class CDibImage {
  public:
    CDibImage();
    ~CDibImage() = default;
    CDibImage(const CDibImage&) = delete;
    CDibImage& operator=(const CDibImage&) = delete;
    CDibImage(CDibImage&&) noexcept;
    CDibImage& operator=(CDibImage&&) noexcept;

    // Makes an image of width x height pixels of 8, 16, 24, 32, 48 or 64 bits with zero-filled
    // rows (8-bit images get the gray palette). Releases the previous content first.
    // Returns 1, or 0 (image left empty) for a bad size or bit count or when out of memory.
    // Allocates height x stride bytes.
    int Create(int width, int height, int bitCount);
    // Same header and geometry as `other`, fresh zero-filled pixels (not copied). 0 when the
    // other image is empty or memory runs out. Allocates.
    int CloneGeometry(const CDibImage& other);
    // Frees the pixels and empties every field (header size stays 40).
    void Release();
    // mode 0: the 256-entry gray ramp; mode 2: `count` entries from `entries` starting at
    // `first` (clipped to the 256 entries). Returns 1 (0 for another mode).
    int SetPalette(int mode, int first = 0, int count = 0, const RGBQUAD* entries = nullptr);

    const BITMAPINFOHEADER& header() const { return header_; }
    const RGBQUAD* palette() const { return palette_; }
    uint8_t* bits() { return bits_.get(); }
    const uint8_t* bits() const { return bits_.get(); }
    int width() const { return width_; }
    int height() const { return height_; }
    int stride() const { return stride_; }
    uint16_t bitCount() const { return bitCount_; }
    int bytesPerPixel() const { return bitCount_ / 8; }
    size_t sizeBytes() const { return static_cast<size_t>(height_) * static_cast<size_t>(stride_); }
    bool empty() const { return !bits_; }

    ImageView view() const {
        return ImageView{bits_.get(), width_, height_, stride_, bitCount_ / 8};
    }

  private:
    BITMAPINFOHEADER header_;
    RGBQUAD palette_[256];
    AlignedBytes bits_;
    int width_ = 0;
    int height_ = 0;
    int stride_ = 0;
    uint16_t bitCount_ = 0;
};

// Every pixel routine has this shape. dstBits and srcBits are the first bytes of the two
// images (the same image for in-place routines); rect is the clipped source rectangle; the
// routine reads source pixel (x, y) of the rectangle at row rect.top + y (or, for routines
// that flip rows, rect.bottom - 1 - y) and writes destination pixel (dstX + x, dstY + y).
using PixelRoutine = int (*)(uint8_t* dstBits, const uint8_t* srcBits, const PixelRect& rect,
                             int dstX, int dstY, uint16_t dstBytesPerPixel,
                             uint16_t srcBytesPerPixel, int dstStride, int srcStride,
                             const void* param1, const void* param2);

// Clips the rectangle (default: the whole source) against both images and calls the routine.
// Returns 0 without calling it for a null routine, an empty image, or a rectangle that is
// empty after clipping; otherwise the routine's result. A negative destination position
// moves the rectangle's start instead.
int ApplyPixelRoutine(CDibImage& dst, PixelRoutine routine, const CDibImage& src,
                      const PixelRect* srcRect = nullptr, int dstX = 0, int dstY = 0,
                      const void* param1 = nullptr, const void* param2 = nullptr);

}  // namespace orvane::imaging
