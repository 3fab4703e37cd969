// Picture content of the virtual camera's frames.
//
// A frame is rendered straight into the reader's buffer, chunk by chunk, from rows prepared
// once per change of geometry or exposure: every output row is a copy of a cached row (plus a
// few overlaid pixels), so a full frame costs little more than a memcpy and fast pacing can
// deliver hundreds of frames per second.
//
// Coordinates: the scene lives on the sensor array (3072 x 2048, Bayer mosaic with blue at row
// 0, column 0). Output row i, column j of a window (X, Y, W, H) shows array row
// Y + i (or Y + H - 1 - i when vertically mirrored) and array column X + j (or X + W - 1 - j).
// The ramp scene is defined on output coordinates instead, so tests can predict it directly.
//
// Threads: not thread-safe; the owning camera serialises all calls.
#pragma once

#include <cstdint>
#include <vector>

#include "transport/Imx178.h"

namespace orvane::sim {

using transport::imx178::kArrayHeight;
using transport::imx178::kArrayWidth;

enum class SceneKind { Chart, Flat, Sites, Ramp };

struct DefectPixel {
    uint16_t x;  // sensor-array column
    uint16_t y;  // sensor-array row
    bool hot;    // stuck bright (else stuck dark)
};

struct SceneSettings {
    SceneKind kind = SceneKind::Chart;
    uint16_t flat = 0;                         // 8-bit units
    uint16_t siteR = 0, siteG = 0, siteB = 0;  // 8-bit units
};

// What the registers say about one frame.
struct FrameParams {
    int x = 0, y = 0, width = kArrayWidth, height = kArrayHeight;
    bool mirrorH = false, mirrorV = false;
    int bytesPerSample = 1;
    uint32_t exposureLines = 2141;
    uint32_t gain = 100;
    uint32_t frameIndex = 0;

    bool sameImageAs(const FrameParams& o) const {
        return x == o.x && y == o.y && width == o.width && height == o.height &&
               mirrorH == o.mirrorH && mirrorV == o.mirrorV && bytesPerSample == o.bytesPerSample &&
               exposureLines == o.exposureLines && gain == o.gain;
    }
};

class SceneRenderer {
  public:
    SceneRenderer(const SceneSettings& settings, const std::vector<DefectPixel>* defects);

    // Makes `params` the frame that render() produces.
    void prepare(const FrameParams& params);
    uint64_t frameBytes() const;
    // Writes bytes [offset, offset + length) of the prepared frame to dst; bytes past the
    // frame read as zero.
    void render(uint8_t* dst, uint64_t offset, uint32_t length) const;

    // The 12-bit value the chart shows at array site (x, y) for `params`, without overlays.
    static uint16_t chartSample(int x, int y, const FrameParams& params);

  private:
    struct Overlay {
        int row;
        int col;
        uint16_t value12;
    };
    void rebuildRows();
    const uint8_t* rowSource(int outRow) const;
    void storeSample(uint8_t* row, int col, uint16_t value12) const;
    int arrayRow(int outRow) const;
    int arrayCol(int outCol) const;

    SceneSettings settings_;
    const std::vector<DefectPixel>* defects_;  // borrowed from the camera, immutable
    FrameParams params_;
    bool built_ = false;
    int rowBytes_ = 0;
    std::vector<std::vector<uint8_t>> rows_;  // cached output rows, by row key
    std::vector<int> rowKey_;                 // output row -> index into rows_ (-1: ramp)
    std::vector<uint8_t> ramp_;               // ramp line, 256 + width samples
    std::vector<Overlay> overlays_;           // sorted by row; defects (fixed per geometry)
    // The chart's moving square in output coordinates, for the prepared frame.
    int squareRow0_ = 0, squareRow1_ = 0, squareCol0_ = 0, squareCol1_ = 0;
    uint16_t squareValue_ = 0;
};

}  // namespace orvane::sim
