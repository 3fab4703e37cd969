// The whole per-frame pipeline on a 3072 x 2048 frame, ours beside the same stages composed
// from OpenCV, with 1 and 2 threads; the table at the end prints the ratio. And the latency
// of a setter round trip while an all-stages preview runs.
//
// Per frame, as the session does it: the raw frame taken from the ring with its hot pixels
// suppressed on the way, demosaic, then with "all" stages hue 30 and saturation 40, gamma
// 120, contrast 20, sharpness 10 and brightness 20 (one banded pass), and the finished image
// copied out to the application.
// OpenCV's nearest equivalents: a 3 x 3 median for the hot pixels, cv::demosaicing, an HLS
// round trip with the hue and saturation changed through a lookup, cv::LUT for gamma and
// contrast, cv::blur + cv::addWeighted for the unsharp mask and cv::convertScaleAbs for the
// brightness. They are not bit-exact with ours; they do the same amount of work per pixel.
#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "BenchEnv.h"
#include "OrvaneSdk.h"
#include "imaging/CDibImage.h"
#include "imaging/ColorFilters.h"
#include "imaging/Conversions.h"
#include "imaging/Demosaic.h"
#include "platform/WorkerPool.h"

using namespace orvane::imaging;
using orvane::platform::WorkerPool;

namespace {

constexpr int kW = 3072, kH = 2048;

struct AllStages {
    int hue = 30, saturation = 40, gamma = 120, contrast = 20, sharpness = 10, brightness = 20;
};

// The camera's frame: a smooth scene with noise and a few stuck pixels.
const std::vector<uint8_t>& rawFrame() {
    static const std::vector<uint8_t> frame = [] {
        std::vector<uint8_t> f(static_cast<size_t>(kW) * kH);
        std::mt19937 rng(42);
        for (int y = 0; y < kH; ++y)
            for (int x = 0; x < kW; ++x) {
                const int v = orvane::bench::sceneSample(x, y, rng);
                f[static_cast<size_t>(y) * kW + x] = static_cast<uint8_t>(v);
            }
        return f;
    }();
    return frame;
}

void ours(benchmark::State& state, bool all, int threads) {
    WorkerPool workers(threads);
    WorkerPool* pool = threads > 1 ? &workers : nullptr;
    CDibImage raw, out;
    raw.Create(kW, kH, 8);
    out.Create(kW, kH, 24);
    std::vector<uint8_t> app(out.sizeBytes());
    HueSaturation hs;
    ToneTableCache tones;
    SharpenWorkspace space;
    const AllStages a;
    const DemosaicParams params{0, 130, 100, 90};
    std::vector<uint8_t> ringSlot = rawFrame();
    const ImageView slot{ringSlot.data(), kW, kH, kW, 1};
    for (auto _ : state) {
        // The frame is read where the ring holds it and suppressed on its way in.
        suppressHotPixelsFrom(slot, raw.view(), params.bayerMode, params.gainRed, params.gainBlue,
                              kHotPixelThreshold8, pool);
        demosaic(raw.view(), out.view(), params, pool);
        if (all) {
            hs.set(a.hue, a.saturation);
            applyToneSteps(out.view(), a.gamma, a.contrast, a.sharpness, a.brightness, tones, space,
                           pool, &hs);
        }
        copyOut(out.view(), app.data(), app.size(), 1);
        benchmark::DoNotOptimize(app.data());
    }
}

void openCv(benchmark::State& state, bool all, int threads) {
    cv::setNumThreads(threads);
    const AllStages a;
    cv::Mat raw(kH, kW, CV_8UC1), hot, bgr, hls, blurred, sharp;
    std::vector<uint8_t> app(static_cast<size_t>(kW) * kH * 3);
    // Hue (0 ... 180 in OpenCV's 8-bit HLS) turned by 30 degrees, saturation scaled as ours
    // scales chroma; lightness kept.
    cv::Mat hlsLut(1, 256, CV_8UC3);
    for (int i = 0; i < 256; ++i) {
        const int h = (i + a.hue / 2) % 180;
        const int s = std::min(255, i * (a.saturation + 256) / 256);
        hlsLut.at<cv::Vec3b>(i) =
            cv::Vec3b(static_cast<uint8_t>(h), static_cast<uint8_t>(i), static_cast<uint8_t>(s));
    }
    cv::Mat toneLut(1, 256, CV_8UC1);
    for (int i = 0; i < 256; ++i) {
        const double g = std::pow(i / 255.0, 100.0 / a.gamma) * 255.0;
        const double c = 256.0 / (256 - 2 * a.contrast) * (g - a.contrast);
        toneLut.at<uint8_t>(i) = cv::saturate_cast<uint8_t>(c);
    }
    const double k = a.sharpness / 10.0;
    const double f = 1.0 + a.brightness * (10.0 / 255.0);
    const std::vector<uint8_t>& frame = rawFrame();
    for (auto _ : state) {
        std::memcpy(raw.data, frame.data(), frame.size());
        cv::medianBlur(raw, hot, 3);
        cv::demosaicing(hot, bgr, cv::COLOR_BayerBG2BGR);
        if (all) {
            cv::cvtColor(bgr, hls, cv::COLOR_BGR2HLS);
            cv::LUT(hls, hlsLut, hls);
            cv::cvtColor(hls, bgr, cv::COLOR_HLS2BGR);
            cv::LUT(bgr, toneLut, bgr);
            cv::blur(bgr, blurred, cv::Size(4, 4));
            cv::addWeighted(bgr, 1.0 + k, blurred, -k, 0.0, sharp);
            cv::convertScaleAbs(sharp, bgr, f);
        }
        std::memcpy(app.data(), bgr.data, app.size());
        benchmark::DoNotOptimize(app.data());
    }
}

// Orvane_SetFilterValue and Orvane_GetFilterValue, one round trip, while a callback preview
// with every stage on streams full frames from a fast virtual camera. Each iteration's time
// is the round trip; the counters give its median and 99th percentile in microseconds.
void setterLatency(benchmark::State& state) {
    setenv("ORVANE_VIRTUAL_CAMERAS", "30f0:pace=fast", 1);
    setenv("ORVANE_SHM_NAME", ("/orvane-bench-pipeline-" + std::to_string(getpid())).c_str(), 1);
    const ORVANE_HANDLE h = Orvane_Initialize(nullptr);
    const AllStages a;
    Orvane_SetColorMode(h, 24);
    Orvane_SetWaitTime(h, 0);
    Orvane_SetHue(h, a.hue);
    Orvane_SetSaturation(h, a.saturation);
    Orvane_SetGamma(h, a.gamma);
    Orvane_SetContrast(h, a.contrast);
    Orvane_SetSharpness(h, a.sharpness);
    Orvane_SetBrightness(h, a.brightness);
    HWND window = Orvane_CreateMessageWindow(0);
    std::vector<unsigned char> buffer(static_cast<size_t>(kW) * 3 * kH);
    if (!Orvane_CallBackPreview(h, window, buffer.data(), static_cast<int>(buffer.size()), 1)) {
        state.SkipWithError("preview did not start");
        Orvane_Release(h);
        Orvane_DestroyMessageWindow(window);
        return;
    }
    std::vector<double> micros;
    micros.reserve(static_cast<size_t>(state.max_iterations));
    OrvaneMessage m;
    int i = 0;
    for (auto _ : state) {
        while (Orvane_GetMessage(window, &m, 0) == 1) {
        }
        const auto t0 = std::chrono::steady_clock::now();
        Orvane_SetFilterValue(h, ORVANE_FILTER_HUE, a.hue + (++i & 1));
        int ok = 0;
        benchmark::DoNotOptimize(Orvane_GetFilterValue(h, ORVANE_FILTER_HUE, &ok));
        const std::chrono::duration<double> d = std::chrono::steady_clock::now() - t0;
        state.SetIterationTime(d.count());
        micros.push_back(d.count() * 1e6);
        // Spread the calls over many frames.
        std::this_thread::sleep_for(std::chrono::microseconds(500));
    }
    Orvane_StopPreview(h);
    Orvane_Release(h);
    Orvane_DestroyMessageWindow(window);
    std::sort(micros.begin(), micros.end());
    if (!micros.empty()) {
        state.counters["median_us"] = micros[micros.size() / 2];
        state.counters["p99_us"] = micros[std::min(micros.size() - 1, micros.size() * 99 / 100)];
    }
}

// Keeps the real and CPU times per benchmark (the median of repetitions when there are
// several) and prints ours against OpenCV at the end.
class TableReporter : public benchmark::ConsoleReporter {
  public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& r : runs) {
            const std::string name = r.run_name.function_name;
            const bool median = r.run_type == Run::RT_Aggregate && r.aggregate_name == "median";
            if (median ||
                (r.run_type == Run::RT_Iteration && r.iterations > 0 && !medians_.count(name)))
                times_[name] = {r.GetAdjustedRealTime(), r.GetAdjustedCPUTime()};
            if (median) medians_[name] = true;
        }
    }
    void Finalize() override {
        ConsoleReporter::Finalize();
        std::printf("\n%-22s %18s %18s %7s\n", "pipeline (3072x2048)", "ours ms (cpu)",
                    "OpenCV ms (cpu)", "ratio");
        for (auto& [name, t] : times_) {
            if (name.rfind("pipeline/", 0) != 0 || name.find("/ours") == std::string::npos)
                continue;
            std::string cv = name;
            cv.replace(cv.find("/ours"), 5, "/cv");
            auto it = times_.find(cv);
            if (it == times_.end()) continue;
            std::printf("%-22s %9.2f (%6.2f) %9.2f (%6.2f) %7.2f\n", name.substr(9).c_str(),
                        t.first, t.second, it->second.first, it->second.second,
                        t.first / it->second.first);
        }
    }

  private:
    std::map<std::string, std::pair<double, double>> times_;
    std::map<std::string, bool> medians_;
};

}  // namespace

int main(int argc, char** argv) {
    for (bool all : {false, true})
        for (int threads : {1, 2}) {
            const std::string tail =
                std::string(all ? "all" : "default") + "/t" + std::to_string(threads);
            for (bool cv : {false, true}) {
                const std::string name = "pipeline/" + tail + (cv ? "/cv" : "/ours");
                benchmark::RegisterBenchmark(name.c_str(), cv ? openCv : ours, all, threads)
                    ->Unit(benchmark::kMillisecond)
                    ->UseRealTime();
            }
        }
    benchmark::RegisterBenchmark("setter_latency/all_stages_preview", setterLatency)
        ->UseManualTime()
        ->Iterations(2000)
        ->Unit(benchmark::kMicrosecond);
    benchmark::Initialize(&argc, argv);
    TableReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
