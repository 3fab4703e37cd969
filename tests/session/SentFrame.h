// The raw frame a virtual camera sends for the registers the session set, one sample per
// pixel, as the reference chains of the pipeline tests take it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "Reference.h"
#include "sim/SceneRenderer.h"
#include "sim/VirtualCamera.h"

namespace orvane::test {

inline imaging::ref::Plane sentFrame(sim::VirtualCamera& cam) {
    const sim::FrameParams params = cam.frameParams();
    sim::SceneRenderer renderer(sim::SceneSettings{}, &cam.defectPixels());
    renderer.prepare(params);
    std::vector<uint8_t> sent(renderer.frameBytes());
    renderer.render(sent.data(), 0, static_cast<uint32_t>(sent.size()));
    const int w = static_cast<int>(params.width), h = static_cast<int>(params.height);
    const bool wide = params.bytesPerSample == 2;
    imaging::ref::Plane raw(w, h, 1);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const uint8_t* s = sent.data() + (static_cast<size_t>(y) * w + x) * (wide ? 2 : 1);
            raw.at(x, y) = wide ? (s[0] | s[1] << 8) : s[0];
        }
    return raw;
}

}  // namespace orvane::test
