// End-to-end acquisition: a callback preview of full 3072 x 2048 frames from a virtual
// camera, through the whole processing pipeline, counted at the application. In fast pacing
// the frames delivered per second measure how fast the process gets through them; at the
// camera's own rate (realtime pacing, 50 frames per second) the process CPU it costs tells how
// much of the machine is left to the application. Both report fps, the process CPU in cores
// (all threads: capture, acquisition, workers) and its CPU milliseconds per delivered frame.
#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <sys/resource.h>

#include <chrono>
#include <string>
#include <vector>

#include "BenchEnv.h"
#include "OrvaneSdk.h"

namespace {

double processCpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    auto seconds = [](const timeval& t) {
        return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) * 1e-6;
    };
    return seconds(u.ru_utime) + seconds(u.ru_stime);
}

void runPreview(benchmark::State& state, bool imageSettings, bool realtime = false) {
    setenv("ORVANE_VIRTUAL_CAMERAS", realtime ? "30f0:pace=realtime" : "30f0:pace=fast", 1);
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
    // The first frames set up buffers and tables: not counted.
    for (int i = 0; i < 3; ++i)
        while (Orvane_GetMessage(window, &m, 5000) == 1 && m.lParam != 0) {
        }
    int64_t frames = 0;
    const double cpu0 = processCpuSeconds();
    const auto t0 = std::chrono::steady_clock::now();
    for (auto _ : state) {
        while (Orvane_GetMessage(window, &m, 5000) == 1 && m.lParam != 0) {
        }
        ++frames;
    }
    const double cpu = processCpuSeconds() - cpu0;
    const double wall =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    Orvane_StopPreview(h);
    state.counters["fps"] =
        benchmark::Counter(static_cast<double>(frames), benchmark::Counter::kIsRate);
    state.counters["cpu_cores"] = wall > 0 ? cpu / wall : 0.0;
    state.counters["cpu_ms_per_frame"] = frames > 0 ? cpu * 1e3 / static_cast<double>(frames) : 0.0;
    Orvane_Release(h);
    Orvane_DestroyMessageWindow(window);
}

void BM_CallbackPreview24Default(benchmark::State& state) {
    runPreview(state, false);
}
void BM_CallbackPreview24ImageSettings(benchmark::State& state) {
    runPreview(state, true);
}

void BM_CallbackPreview24ImageSettingsRealtime(benchmark::State& state) {
    runPreview(state, true, true);
}
void BM_CallbackPreview24DefaultRealtime(benchmark::State& state) {
    runPreview(state, false, true);
}

BENCHMARK(BM_CallbackPreview24Default)->UseRealTime()->MinTime(3.0)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CallbackPreview24ImageSettings)
    ->UseRealTime()
    ->MinTime(3.0)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CallbackPreview24ImageSettingsRealtime)
    ->UseRealTime()
    ->MinTime(5.0)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CallbackPreview24DefaultRealtime)
    ->UseRealTime()
    ->MinTime(5.0)
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
