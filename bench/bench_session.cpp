// End-to-end acquisition: a callback preview of full 3072 x 2048 frames from a virtual
// camera in fast pacing, through the whole processing pipeline, counted at the application.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <string>
#include <vector>

#include "BenchEnv.h"
#include "OrvaneSdk.h"

namespace {

void runPreview(benchmark::State& state, bool imageSettings) {
    setenv("ORVANE_VIRTUAL_CAMERAS", "30f0:pace=fast", 1);
    orvane::bench::isolateSettings();
    const ORVANE_HANDLE h = Orvane_Initialize(nullptr);
    Orvane_SetColorMode(h, 24);
    Orvane_SetWaitTime(h, 0);
    if (imageSettings) {
        Orvane_SetHue(h, 30);
        Orvane_SetSaturation(h, 40);
        Orvane_SetGamma(h, 120);
        Orvane_SetContrast(h, 20);
        Orvane_SetSharpness(h, 10);
        Orvane_SetBrightness(h, 20);
    } else {
        Orvane_SetHue(h, 0);
        Orvane_SetSaturation(h, 0);
        Orvane_SetGamma(h, 100);
        Orvane_SetContrast(h, 0);
        Orvane_SetSharpness(h, 0);
        Orvane_SetBrightness(h, 0);
    }
    HWND window = Orvane_CreateMessageWindow(0);
    std::vector<unsigned char> buffer(static_cast<size_t>(3072) * 3 * 2048);
    if (!Orvane_CallBackPreview(h, window, buffer.data(), static_cast<int>(buffer.size()), 1)) {
        state.SkipWithError("preview did not start");
        return;
    }
    OrvaneMessage m;
    int64_t frames = 0;
    for (auto _ : state) {
        while (Orvane_GetMessage(window, &m, 5000) == 1 && m.lParam != 0) {
        }
        ++frames;
    }
    Orvane_StopPreview(h);
    state.counters["fps"] =
        benchmark::Counter(static_cast<double>(frames), benchmark::Counter::kIsRate);
    Orvane_Release(h);
    Orvane_DestroyMessageWindow(window);
}

void BM_CallbackPreview24Default(benchmark::State& state) {
    runPreview(state, false);
}
void BM_CallbackPreview24ImageSettings(benchmark::State& state) {
    runPreview(state, true);
}

BENCHMARK(BM_CallbackPreview24Default)->UseRealTime()->MinTime(3.0)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CallbackPreview24ImageSettings)
    ->UseRealTime()
    ->MinTime(3.0)
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
