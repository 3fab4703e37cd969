// Cost of painting one frame into the preview window: the scaling into the display buffer
// (no window system), and the conversion to the server's pixels plus the request that hands
// them over (needs DISPLAY; skipped without one). Frames are 3072 x 2048.
#include <benchmark/benchmark.h>

#include <cstdlib>

#include "imaging/CDibImage.h"
#include "platform/PreviewWindow.h"
#include "session/PreviewDraw.h"

namespace {

using orvane::imaging::CDibImage;

constexpr int kW = 3072;
constexpr int kH = 2048;

CDibImage frame(int bits) {
    CDibImage image;
    image.Create(kW, kH, bits);
    for (size_t i = 0; i < image.sizeBytes(); ++i)
        image.bits()[i] = static_cast<uint8_t>(i * 2654435761u >> 24);
    return image;
}

// Scaling a frame to a typical window (arguments: client width, height, bits).
void BM_PlanScaled(benchmark::State& state) {
    const int bits = static_cast<int>(state.range(2));
    const CDibImage source = frame(bits);
    CDibImage display;
    orvane::session::PreviewPlan plan;
    for (auto _ : state) {
        orvane::session::planPreviewDraw(source, bits == 8 ? 0 : 2,
                                         static_cast<int>(state.range(0)),
                                         static_cast<int>(state.range(1)), display, &plan);
        benchmark::DoNotOptimize(plan.pixels.bits);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_PlanScaled)
    ->Args({1280, 853, 24})
    ->Args({1280, 853, 8})
    ->Unit(benchmark::kMillisecond);

// Converting and sending a frame to a window of the same size (arguments: width, height,
// bytes per pixel of the source). CPU time is the acquisition thread's share (conversion and
// request); real time includes waiting for the server to take each image.
void BM_Put(benchmark::State& state) {
    if (std::getenv("DISPLAY") == nullptr) {
        state.SkipWithError("no DISPLAY");
        return;
    }
    // A server reset between benchmarks (when its last client leaves) would refuse the next
    // connection: one window stays open for the whole run.
    static auto keepAlive = orvane::platform::PreviewWindow::create({0, 0, 0, 1, 1}, nullptr);
    const int w = static_cast<int>(state.range(0)), h = static_cast<int>(state.range(1));
    const int bpp = static_cast<int>(state.range(2));
    orvane::platform::PreviewResult result;
    auto window = orvane::platform::PreviewWindow::create({0, 0, 0, w, h}, &result);
    if (!window) {
        state.SkipWithError(result == orvane::platform::PreviewResult::NoDisplay
                                ? "no display"
                                : "no preview window");
        return;
    }
    CDibImage image;
    image.Create(w, h, bpp * 8);
    const orvane::platform::PreviewPixels pixels{image.bits(), w, h, image.stride(), bpp, true};
    // Time per delivered frame: a put refused because the server is still reading the
    // previous image is retried, so wall time includes the server's share.
    int64_t refused = 0;
    for (auto _ : state) {
        while (!window->put(pixels)) {
            ++refused;
            window->poll();
        }
    }
    state.counters["refused"] = static_cast<double>(refused);
    state.counters["shm"] = window->usesSharedMemory() ? 1 : 0;
}
BENCHMARK(BM_Put)
    ->Args({kW, kH, 3})
    ->Args({kW, kH, 1})
    ->Args({1280, 853, 3})
    ->Unit(benchmark::kMillisecond);

}  // namespace
BENCHMARK_MAIN();
