#include "sim/SceneRenderer.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace orvane::sim {
namespace {

// Chart layout on the sensor array: a 6 x 4 grid of colour patches on a grey ground, and a
// bright square that moves along the bottom margin from frame to frame.
constexpr int kPatchCols = 6;
constexpr int kPatchRows = 4;
constexpr int kPatchW = 400;
constexpr int kPatchH = 360;
constexpr int kGap = 60;
constexpr int kChartLeft = (kArrayWidth - (kPatchCols * kPatchW + (kPatchCols - 1) * kGap)) / 2;
constexpr int kChartTop = 150;
constexpr int kSquareSize = 96;
constexpr int kSquareTop = 1850;
constexpr int kSquareStep = 24;  // columns per frame
constexpr float kGround = 0.18f;
constexpr float kSquareLevel = 0.95f;
// Full-scale level of a reflectance of 1 at the reference exposure and gain (12-bit units).
constexpr float kReferenceLevel = 3000.0f;
constexpr uint32_t kReferenceLines = 2141;
constexpr uint32_t kReferenceGain = 100;

// Reflectances (red, green, blue) of the patches, row by row.
constexpr float kPatches[kPatchRows * kPatchCols][3] = {
    {0.45f, 0.32f, 0.26f}, {0.77f, 0.58f, 0.50f}, {0.36f, 0.48f, 0.61f}, {0.34f, 0.42f, 0.26f},
    {0.51f, 0.50f, 0.69f}, {0.40f, 0.74f, 0.67f}, {0.84f, 0.48f, 0.18f}, {0.28f, 0.36f, 0.65f},
    {0.76f, 0.33f, 0.38f}, {0.36f, 0.24f, 0.42f}, {0.62f, 0.73f, 0.25f}, {0.88f, 0.63f, 0.18f},
    {0.17f, 0.24f, 0.58f}, {0.27f, 0.58f, 0.29f}, {0.69f, 0.20f, 0.23f}, {0.93f, 0.78f, 0.13f},
    {0.73f, 0.33f, 0.59f}, {0.0f, 0.52f, 0.65f},  {0.95f, 0.95f, 0.95f}, {0.78f, 0.78f, 0.78f},
    {0.63f, 0.63f, 0.63f}, {0.48f, 0.48f, 0.48f}, {0.33f, 0.33f, 0.33f}, {0.20f, 0.20f, 0.20f},
};

// Which of `count` patches of `size` (spaced by kGap, the first at `start`) covers position
// `at` along one axis of the array (-1 for ground).
int patchAt(int at, int start, int size, int count) {
    const int rel = at - start;
    if (rel < 0) return -1;
    const int index = rel / (size + kGap);
    if (index >= count || rel % (size + kGap) >= size) return -1;
    return index;
}

// Which patch row covers array row y, which patch column array column x.
int patchRowAt(int y) {
    return patchAt(y, kChartTop, kPatchH, kPatchRows);
}

int patchColAt(int x) {
    return patchAt(x, kChartLeft, kPatchW, kPatchCols);
}

// Channel of the native mosaic at (x, y): 0 red, 1 green, 2 blue; blue at (0, 0).
int channelAt(int x, int y) {
    if ((y & 1) == 0) return (x & 1) == 0 ? 2 : 1;
    return (x & 1) == 0 ? 1 : 0;
}

float exposureScale(const FrameParams& p) {
    return static_cast<float>(p.exposureLines) / kReferenceLines *
           std::pow(10.0f, (static_cast<float>(p.gain) - kReferenceGain) / 200.0f);
}

uint16_t toSample12(float level) {
    if (level <= 0.0f) return 0;
    if (level >= 4095.0f) return 4095;
    return static_cast<uint16_t>(level + 0.5f);
}

}  // namespace

SceneRenderer::SceneRenderer(const SceneSettings& settings, const std::vector<DefectPixel>* defects)
    : settings_(settings), defects_(defects) {}

uint16_t SceneRenderer::chartSample(int x, int y, const FrameParams& params) {
    const int pr = patchRowAt(y);
    const int pc = patchColAt(x);
    const int ch = channelAt(x, y);
    const float reflectance = (pr >= 0 && pc >= 0) ? kPatches[pr * kPatchCols + pc][ch] : kGround;
    return toSample12(reflectance * kReferenceLevel * exposureScale(params));
}

int SceneRenderer::arrayRow(int outRow) const {
    return params_.mirrorV ? params_.y + params_.height - 1 - outRow : params_.y + outRow;
}

int SceneRenderer::arrayCol(int outCol) const {
    return params_.mirrorH ? params_.x + params_.width - 1 - outCol : params_.x + outCol;
}

void SceneRenderer::storeSample(uint8_t* row, int col, uint16_t value12) const {
    if (params_.bytesPerSample == 2) {
        row[2 * col] = static_cast<uint8_t>(value12);
        row[2 * col + 1] = static_cast<uint8_t>(value12 >> 8);
    } else {
        row[col] = static_cast<uint8_t>(value12 >> 4);
    }
}

uint64_t SceneRenderer::frameBytes() const {
    return static_cast<uint64_t>(params_.width) * params_.height * params_.bytesPerSample;
}

void SceneRenderer::prepare(const FrameParams& params) {
    const bool rebuild = !built_ || !params.sameImageAs(params_);
    params_ = params;
    if (rebuild) rebuildRows();
    squareRow0_ = squareRow1_ = squareCol0_ = squareCol1_ = 0;
    if (settings_.kind == SceneKind::Chart) {
        // The square in array coordinates, then clipped to the window in output coordinates.
        const int ax0 = static_cast<int>((static_cast<uint64_t>(params.frameIndex) * kSquareStep) %
                                         (kArrayWidth - kSquareSize));
        const int ax1 = ax0 + kSquareSize;
        const int ay0 = kSquareTop;
        const int ay1 = kSquareTop + kSquareSize;
        const int wx0 = std::max(ax0, params.x), wx1 = std::min(ax1, params.x + params.width);
        const int wy0 = std::max(ay0, params.y), wy1 = std::min(ay1, params.y + params.height);
        if (wx0 < wx1 && wy0 < wy1) {
            squareCol0_ = params.mirrorH ? params.x + params.width - wx1 : wx0 - params.x;
            squareCol1_ = squareCol0_ + (wx1 - wx0);
            squareRow0_ = params.mirrorV ? params.y + params.height - wy1 : wy0 - params.y;
            squareRow1_ = squareRow0_ + (wy1 - wy0);
        }
        squareValue_ = toSample12(kSquareLevel * kReferenceLevel * exposureScale(params));
    }
}

void SceneRenderer::rebuildRows() {
    built_ = true;
    const FrameParams& p = params_;
    rowBytes_ = p.width * p.bytesPerSample;
    rows_.clear();
    rowKey_.assign(static_cast<size_t>(p.height), 0);
    ramp_.clear();
    auto makeRow = [&](auto&& valueAtArrayCol) {
        std::vector<uint8_t> row(static_cast<size_t>(rowBytes_));
        for (int j = 0; j < p.width; ++j) storeSample(row.data(), j, valueAtArrayCol(arrayCol(j)));
        rows_.push_back(std::move(row));
    };
    switch (settings_.kind) {
        case SceneKind::Flat:
            makeRow([&](int) { return static_cast<uint16_t>(settings_.flat * 16); });
            break;
        case SceneKind::Sites:
            // Row keys: 0 for even array rows, 1 for odd ones.
            for (int parity = 0; parity < 2; ++parity) {
                makeRow([&](int ax) {
                    const int ch = channelAt(ax, parity);
                    const uint16_t v = ch == 0   ? settings_.siteR
                                       : ch == 1 ? settings_.siteG
                                                 : settings_.siteB;
                    return static_cast<uint16_t>(v * 16);
                });
            }
            for (int i = 0; i < p.height; ++i) rowKey_[i] = arrayRow(i) & 1;
            break;
        case SceneKind::Ramp: {
            ramp_.resize(static_cast<size_t>(256 + p.width) * p.bytesPerSample);
            for (int k = 0; k < 256 + p.width; ++k)
                storeSample(ramp_.data(), k, static_cast<uint16_t>((k & 255) * 16));
            std::fill(rowKey_.begin(), rowKey_.end(), -1);
            break;
        }
        case SceneKind::Chart: {
            // Row keys: (patch row + 1) * 2 + parity; every array row of a band looks alike.
            for (int band = -1; band < kPatchRows; ++band) {
                for (int parity = 0; parity < 2; ++parity) {
                    const int ay = band < 0 ? parity : kChartTop + band * (kPatchH + kGap) + parity;
                    makeRow([&](int ax) { return chartSample(ax, ay, p); });
                }
            }
            for (int i = 0; i < p.height; ++i) {
                const int ay = arrayRow(i);
                rowKey_[i] = (patchRowAt(ay) + 1) * 2 + (ay & 1);
            }
            break;
        }
    }
    overlays_.clear();
    if (defects_ != nullptr) {
        for (const DefectPixel& d : *defects_) {
            if (d.x < p.x || d.x >= p.x + p.width || d.y < p.y || d.y >= p.y + p.height) continue;
            const int col = p.mirrorH ? p.x + p.width - 1 - d.x : d.x - p.x;
            const int row = p.mirrorV ? p.y + p.height - 1 - d.y : d.y - p.y;
            overlays_.push_back({row, col, static_cast<uint16_t>(d.hot ? 4095 : 0)});
        }
        std::sort(overlays_.begin(), overlays_.end(), [](const Overlay& a, const Overlay& b) {
            return a.row != b.row ? a.row < b.row : a.col < b.col;
        });
    }
}

const uint8_t* SceneRenderer::rowSource(int outRow) const {
    if (settings_.kind == SceneKind::Ramp) {
        const uint32_t start = (2u * static_cast<uint32_t>(outRow) + params_.frameIndex) & 255u;
        return ramp_.data() + static_cast<size_t>(start) * params_.bytesPerSample;
    }
    return rows_[static_cast<size_t>(rowKey_[static_cast<size_t>(outRow)])].data();
}

void SceneRenderer::render(uint8_t* dst, uint64_t offset, uint32_t length) const {
    const uint64_t total = frameBytes();
    const uint64_t end = offset + length;
    const int bps = params_.bytesPerSample;
    uint64_t pos = offset;
    while (pos < end) {
        if (pos >= total || rowBytes_ == 0) {
            std::memset(dst, 0, static_cast<size_t>(end - pos));
            return;
        }
        const int row = static_cast<int>(pos / static_cast<uint64_t>(rowBytes_));
        const uint64_t c0 = pos % static_cast<uint64_t>(rowBytes_);
        const uint64_t c1 = std::min<uint64_t>(rowBytes_, c0 + (end - pos));
        std::memcpy(dst, rowSource(row) + c0, static_cast<size_t>(c1 - c0));
        auto overlay = [&](int col, uint16_t value12) {
            const uint64_t b = static_cast<uint64_t>(col) * bps;
            if (b < c0 || b + bps > c1) return;
            uint8_t* at = dst + (b - c0);
            if (bps == 2) {
                at[0] = static_cast<uint8_t>(value12);
                at[1] = static_cast<uint8_t>(value12 >> 8);
            } else {
                at[0] = static_cast<uint8_t>(value12 >> 4);
            }
        };
        if (row >= squareRow0_ && row < squareRow1_) {
            for (int col = squareCol0_; col < squareCol1_; ++col) overlay(col, squareValue_);
        }
        if (!overlays_.empty()) {
            auto it = std::lower_bound(overlays_.begin(), overlays_.end(), row,
                                       [](const Overlay& o, int r) { return o.row < r; });
            for (; it != overlays_.end() && it->row == row; ++it) overlay(it->col, it->value12);
        }
        dst += c1 - c0;
        pos += c1 - c0;
    }
}

}  // namespace orvane::sim
