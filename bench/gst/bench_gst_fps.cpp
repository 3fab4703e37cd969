// Frames per second at 3072 x 2048, colour 24, from the virtual camera at its fast pace:
// the C callback preview (the library copies each frame into the application's buffer and
// posts a message) against orvanesrc into fakesink. Both measure the same per-frame work of
// the library; the difference is what the element costs. Run from the build tree:
//   build/bench/gst/bench_gst_fps --benchmark_min_time=1x
#include <benchmark/benchmark.h>
#include <gst/gst.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <vector>

#include "../BenchEnv.h"
#include "OrvaneSdk.h"

namespace {

constexpr const char* kCameras = "30f0:pace=fast";
constexpr double kSeconds = 4.0;

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point t) {
    return std::chrono::duration<double>(Clock::now() - t).count();
}

void BM_CallbackPreview(benchmark::State& state) {
    setenv("ORVANE_VIRTUAL_CAMERAS", kCameras, 1);
    const ORVANE_HANDLE h = Orvane_Initialize(nullptr);
    unsetenv("ORVANE_VIRTUAL_CAMERAS");
    if (h == 0 || !Orvane_SetDeviceNumber(h, 0) || !Orvane_SetColorMode(h, 24)) {
        state.SkipWithError("no virtual camera");
        return;
    }
    std::vector<uint8_t> frame(static_cast<size_t>(Orvane_Width(h)) * 3 *
                               static_cast<size_t>(Orvane_Height(h)));
    HWND window = Orvane_CreateMessageWindow(0);
    double fps = 0;
    for (auto _ : state) {
        if (!Orvane_CallBackPreview(h, window, frame.data(), static_cast<int>(frame.size()), 1)) {
            state.SkipWithError("callback preview did not start");
            break;
        }
        OrvaneMessage m{};
        // The first frame pays for start-up; count from it.
        while (Orvane_GetMessage(window, &m, 5000) == 1 && m.message != ORVANE_WM_FRAME) {
        }
        int frames = 0;
        const auto start = Clock::now();
        while (secondsSince(start) < kSeconds)
            if (Orvane_GetMessage(window, &m, 100) == 1 && m.message == ORVANE_WM_FRAME &&
                m.wParam != 0)
                ++frames;
        fps = frames / secondsSince(start);
        Orvane_StopPreview(h);
    }
    state.counters["fps"] = fps;
    Orvane_DestroyMessageWindow(window);
    Orvane_Release(h);
}
BENCHMARK(BM_CallbackPreview)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

void BM_OrvaneSrcToFakesink(benchmark::State& state) {
    GError* error = nullptr;
    const std::string description = std::string("orvanesrc name=src virtual=") + kCameras +
                                    " ! video/x-raw,format=BGR ! fakesink sync=false";
    GstElement* pipeline = gst_parse_launch(description.c_str(), &error);
    if (pipeline == nullptr || error != nullptr) {
        state.SkipWithError(error != nullptr ? error->message : "no pipeline");
        if (error != nullptr) g_error_free(error);
        return;
    }
    GstElement* src = gst_bin_get_by_name(GST_BIN(pipeline), "src");
    auto delivered = [&] {
        GstStructure* stats = nullptr;
        g_object_get(src, "stats", &stats, nullptr);
        guint64 n = 0;
        gst_structure_get_uint64(stats, "delivered", &n);
        gst_structure_free(stats);
        return n;
    };
    double fps = 0, dropped = 0;
    for (auto _ : state) {
        gst_element_set_state(pipeline, GST_STATE_PLAYING);
        gst_element_get_state(pipeline, nullptr, nullptr, 10 * GST_SECOND);
        const auto wait = Clock::now();
        while (delivered() == 0 && secondsSince(wait) < 10) g_usleep(1000);
        const guint64 first = delivered();
        const auto start = Clock::now();
        g_usleep(static_cast<gulong>(kSeconds * 1e6));
        fps = static_cast<double>(delivered() - first) / secondsSince(start);
        GstStructure* stats = nullptr;
        g_object_get(src, "stats", &stats, nullptr);
        guint64 d = 0;
        gst_structure_get_uint64(stats, "dropped", &d);
        gst_structure_free(stats);
        dropped = static_cast<double>(d);
        gst_element_set_state(pipeline, GST_STATE_NULL);
    }
    state.counters["fps"] = fps;
    state.counters["dropped"] = dropped;
    gst_object_unref(src);
    gst_object_unref(pipeline);
}
BENCHMARK(BM_OrvaneSrcToFakesink)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
    // The plugin of this build tree, unless the caller points elsewhere.
    setenv("GST_PLUGIN_PATH", ORVANE_GST_PLUGIN_BUILD_DIR, 0);
    orvane::bench::isolateSettings();
    gst_init(&argc, &argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    gst_deinit();
    return 0;
}
