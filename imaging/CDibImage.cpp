#include "imaging/CDibImage.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <utility>

#include "platform/AlignedMemory.h"

namespace orvane::imaging {

namespace {
constexpr size_t kAlignment = 64;
// Largest pixel block we agree to allocate; beyond it a request is taken as a bad size.
constexpr int64_t kMaxImageBytes = int64_t{1} << 34;

bool validBitCount(int bitCount) {
    return bitCount == 8 || bitCount == 16 || bitCount == 24 || bitCount == 32 || bitCount == 48 ||
           bitCount == 64;
}
}  // namespace

void AlignedFree::operator()(uint8_t* p) const noexcept {
    platform::freeAligned(p);
}

AlignedBytes alignedAlloc(size_t bytes) {
    const size_t wanted = std::max<size_t>(bytes, 1);
    auto* p = static_cast<uint8_t*>(platform::allocateAligned(kAlignment, wanted));
    // Zero the whole rounded block so that row padding is never stale memory.
    if (p != nullptr) std::memset(p, 0, (wanted + kAlignment - 1) / kAlignment * kAlignment);
    return AlignedBytes(p);
}

CDibImage::CDibImage() = default;

CDibImage::CDibImage(CDibImage&& o) noexcept
    : header_(o.header_),
      bits_(std::move(o.bits_)),
      width_(o.width_),
      height_(o.height_),
      stride_(o.stride_),
      bitCount_(o.bitCount_) {
    std::copy(std::begin(o.palette_), std::end(o.palette_), palette_);
    o.Release();
}

CDibImage& CDibImage::operator=(CDibImage&& o) noexcept {
    if (this != &o) {
        header_ = o.header_;
        std::copy(std::begin(o.palette_), std::end(o.palette_), palette_);
        bits_ = std::move(o.bits_);
        width_ = o.width_;
        height_ = o.height_;
        stride_ = o.stride_;
        bitCount_ = o.bitCount_;
        o.Release();
    }
    return *this;
}

int CDibImage::Create(int width, int height, int bitCount) {
    Release();
    if (width <= 0 || height <= 0 || !validBitCount(bitCount)) return 0;
    const int64_t stride = (int64_t{width} * bitCount / 8 + 3) & ~int64_t{3};
    if (stride > INT32_MAX || stride * height > kMaxImageBytes) return 0;
    header_ = BITMAPINFOHEADER{};
    header_.biWidth = width;
    header_.biHeight = height;
    header_.biPlanes = 1;
    header_.biBitCount = static_cast<uint16_t>(bitCount);
    width_ = width;
    height_ = height;
    stride_ = static_cast<int>(stride);
    bitCount_ = static_cast<uint16_t>(bitCount);
    if (bitCount == 8) SetPalette(0);
    bits_ = alignedAlloc(static_cast<size_t>(stride) * static_cast<size_t>(height));
    if (!bits_) {
        Release();
        return 0;
    }
    return 1;
}

int CDibImage::CloneGeometry(const CDibImage& other) {
    if (&other == this) return empty() ? 0 : 1;
    if (other.width_ <= 0 || other.height_ <= 0 || other.bitCount_ == 0) return 0;
    const BITMAPINFOHEADER header = other.header_;
    RGBQUAD palette[256];
    std::copy(std::begin(other.palette_), std::end(other.palette_), palette);
    if (!Create(other.width_, other.height_, other.bitCount_)) return 0;
    header_ = header;
    std::copy(std::begin(palette), std::end(palette), palette_);
    return 1;
}

void CDibImage::Release() {
    bits_.reset();
    header_ = BITMAPINFOHEADER{};
    std::fill(std::begin(palette_), std::end(palette_), RGBQUAD{});
    width_ = height_ = stride_ = 0;
    bitCount_ = 0;
}

int CDibImage::SetPalette(int mode, int first, int count, const RGBQUAD* entries) {
    if (mode == 0) {
        for (int i = 0; i < 256; ++i) {
            const auto v = static_cast<uint8_t>(i);
            palette_[i] = RGBQUAD{v, v, v, 0};
        }
        return 1;
    }
    if (mode == 2) {
        if (entries == nullptr || first < 0 || first >= 256 || count <= 0) return 1;
        const int n = std::min(count, 256 - first);
        std::copy(entries, entries + n, palette_ + first);
        return 1;
    }
    return 0;
}

int ApplyPixelRoutine(CDibImage& dst, PixelRoutine routine, const CDibImage& src,
                      const PixelRect* srcRect, int dstX, int dstY, const void* param1,
                      const void* param2) {
    if (routine == nullptr || dst.empty() || src.empty()) return 0;
    PixelRect r = srcRect != nullptr ? *srcRect : PixelRect{0, 0, src.width(), src.height()};
    // Clip against the source.
    r.left = std::max(r.left, 0);
    r.top = std::max(r.top, 0);
    r.right = std::min(r.right, src.width());
    r.bottom = std::min(r.bottom, src.height());
    // A destination position left of or above the image cuts the rectangle's start.
    if (dstX < 0) {
        r.left -= dstX;
        dstX = 0;
    }
    if (dstY < 0) {
        r.top -= dstY;
        dstY = 0;
    }
    // Clip against the destination.
    if (dstX >= dst.width() || dstY >= dst.height()) return 0;
    r.right = std::min(r.right, r.left + (dst.width() - dstX));
    r.bottom = std::min(r.bottom, r.top + (dst.height() - dstY));
    if (r.right <= r.left || r.bottom <= r.top) return 0;
    return routine(
        dst.bits(), src.bits(), r, dstX, dstY, static_cast<uint16_t>(dst.bytesPerPixel()),
        static_cast<uint16_t>(src.bytesPerPixel()), dst.stride(), src.stride(), param1, param2);
}

}  // namespace orvane::imaging
