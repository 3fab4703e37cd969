// Every imaging stage on a full 3072 x 2048 frame, with OpenCV's nearest equivalent timed in
// the same run when it is available (ORVANE_BENCH_OPENCV). At the end a table prints ours
// against OpenCV with the ratio. OpenCV runs single-threaded (cv::setNumThreads(1)) so that
// single-thread figures compare like with like; "pool2" rows use our 2-thread worker pool.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <random>
#include <string>

#include "BenchEnv.h"
#include "imaging/CDibImage.h"
#include "imaging/ColorFilters.h"
#include "imaging/Conversions.h"
#include "imaging/Demosaic.h"
#include "imaging/MaskFilters.h"
#include "platform/WorkerPool.h"

#if defined(ORVANE_BENCH_OPENCV)
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>
#endif

using namespace orvane::imaging;
using orvane::platform::WorkerPool;

namespace {

constexpr int kW = 3072, kH = 2048;

struct Frames {
    CDibImage raw8, raw16, out24, out32, out48, dark8, bright8, hot8, dead8, marks8;
    // Pristine inputs: in-place stages start every iteration from the same frame.
    std::vector<uint8_t> raw8Orig, raw16Orig, out24Orig, out48Orig;
    Frames() {
        raw8.Create(kW, kH, 8);
        raw16.Create(kW, kH, 16);
        out24.Create(kW, kH, 24);
        out32.Create(kW, kH, 32);
        out48.Create(kW, kH, 48);
        dark8.Create(kW, kH, 8);
        bright8.Create(kW, kH, 8);
        hot8.Create(kW, kH, 8);
        dead8.Create(kW, kH, 8);
        marks8.Create(kW, kH, 8);
        std::mt19937 rng(42);
        for (int y = 0; y < kH; ++y)
            for (int x = 0; x < kW; ++x) {
                const int v = orvane::bench::sceneSample(x, y, rng);
                raw8.bits()[static_cast<size_t>(y) * kW + x] = static_cast<uint8_t>(v);
                reinterpret_cast<uint16_t*>(raw16.bits())[static_cast<size_t>(y) * kW + x] =
                    static_cast<uint16_t>(v * 16 + rng() % 16);
            }
        std::memset(bright8.bits(), 255, bright8.sizeBytes());
        DemosaicParams p;
        demosaic(raw8.view(), out24.view(), p);
        demosaic(raw16.view(), out48.view(), p);
        raw8Orig.assign(raw8.bits(), raw8.bits() + raw8.sizeBytes());
        raw16Orig.assign(raw16.bits(), raw16.bits() + raw16.sizeBytes());
        out24Orig.assign(out24.bits(), out24.bits() + out24.sizeBytes());
        out48Orig.assign(out48.bits(), out48.bits() + out48.sizeBytes());
    }
};

Frames& frames() {
    static Frames f;
    return f;
}
void restore(benchmark::State& s, CDibImage& img, const std::vector<uint8_t>& orig) {
    s.PauseTiming();
    std::memcpy(img.bits(), orig.data(), orig.size());
    s.ResumeTiming();
}

WorkerPool& pool2() {
    static WorkerPool p(2);
    return p;
}

void demosaic8(benchmark::State& s, int outBits, bool pool) {
    Frames& f = frames();
    CDibImage& out = outBits == 24 ? f.out24 : f.out32;
    DemosaicParams p;
    p.gainRed = 130;
    p.gainBlue = 90;
    std::memcpy(f.raw8.bits(), f.raw8Orig.data(), f.raw8Orig.size());
    for (auto _ : s) demosaic(f.raw8.view(), out.view(), p, pool ? &pool2() : nullptr);
}
void demosaic16(benchmark::State& s, bool pool) {
    Frames& f = frames();
    DemosaicParams p;
    p.gainRed = 130;
    std::memcpy(f.raw16.bits(), f.raw16Orig.data(), f.raw16Orig.size());
    for (auto _ : s) demosaic(f.raw16.view(), f.out48.view(), p, pool ? &pool2() : nullptr);
}
void tone24(benchmark::State& s, bool pool) {
    Frames& f = frames();
    ToneTableCache cache;
    SharpenWorkspace space;
    for (auto _ : s) {
        restore(s, f.out24, f.out24Orig);
        applyToneSteps(f.out24.view(), 140, 20, 0, 30, cache, space, pool ? &pool2() : nullptr);
    }
}
void sharpen24(benchmark::State& s, bool pool) {
    Frames& f = frames();
    SharpenWorkspace space;
    for (auto _ : s) {
        restore(s, f.out24, f.out24Orig);
        sharpen(f.out24.view(), space, 5, pool ? &pool2() : nullptr);
    }
}
// outBits 24 or 48.
void hueSat(benchmark::State& s, int outBits, bool pool) {
    Frames& f = frames();
    CDibImage& out = outBits == 24 ? f.out24 : f.out48;
    const std::vector<uint8_t>& orig = outBits == 24 ? f.out24Orig : f.out48Orig;
    HueSaturation hs;
    hs.set(40, 30);
    for (auto _ : s) {
        restore(s, out, orig);
        hs.apply(out.view(), pool ? &pool2() : nullptr);
    }
}
// rawBits 8 or 16, with the session's threshold for that depth.
void hotPixels(benchmark::State& s, int rawBits, bool pool) {
    Frames& f = frames();
    CDibImage& raw = rawBits == 8 ? f.raw8 : f.raw16;
    const std::vector<uint8_t>& orig = rawBits == 8 ? f.raw8Orig : f.raw16Orig;
    const int threshold = rawBits == 8 ? 30 : 480;
    for (auto _ : s) {
        restore(s, raw, orig);
        benchmark::DoNotOptimize(
            suppressHotPixels(raw.view(), 2, 100, 100, threshold, pool ? &pool2() : nullptr));
    }
}
void whiteBalance8(benchmark::State& s, bool pool) {
    Frames& f = frames();
    for (auto _ : s)
        benchmark::DoNotOptimize(measureWhiteBalance(f.raw8.view(), 2, pool ? &pool2() : nullptr));
}
void grayGains8(benchmark::State& s) {
    Frames& f = frames();
    GrayGains g;
    g.gain[0] = 140;
    g.offset[0] = g.offset[1] = g.offset[2] = g.offset[3] = 0;
    for (auto _ : s) {
        restore(s, f.raw8, f.raw8Orig);
        applyGrayGains(f.raw8.view(), 2, g, 8);
    }
}
void maskFilter8(benchmark::State& s) {
    Frames& f = frames();
    const CaptureWindow win{0, 0, kW, kH};
    for (auto _ : s) {
        restore(s, f.raw8, f.raw8Orig);
        applyMaskFilter(f.raw8.view(), win, f.dark8.view(), f.bright8.view());
    }
}
void dotFilter8(benchmark::State& s) {
    Frames& f = frames();
    const CaptureWindow win{0, 0, kW, kH};
    for (auto _ : s) {
        restore(s, f.raw8, f.raw8Orig);
        benchmark::DoNotOptimize(
            applyDotFilter(f.raw8.view(), win, f.hot8.view(), f.dead8.view(), f.marks8.view(), 30));
    }
}
void convert48To24(benchmark::State& s) {
    Frames& f = frames();
    for (auto _ : s) ApplyPixelRoutine(f.out24, Convert48To24Bits12, f.out48);
}
void copyOutBottomUp(benchmark::State& s) {
    Frames& f = frames();
    static std::vector<uint8_t> buf(f.out24.sizeBytes());
    for (auto _ : s) copyOut(f.out24.view(), buf.data(), buf.size(), 0);
}

#if defined(ORVANE_BENCH_OPENCV)
// OpenCV reads the pristine frames, the same data our stages start from.
cv::Mat wrapOrig(const CDibImage& img, const std::vector<uint8_t>& orig, int type) {
    return cv::Mat(img.height(), img.width(), type, const_cast<uint8_t*>(orig.data()),
                   static_cast<size_t>(img.stride()));
}
void cvDemosaic8(benchmark::State& s) {
    cv::setNumThreads(1);
    cv::Mat raw = wrapOrig(frames().raw8, frames().raw8Orig, CV_8UC1), out;
    for (auto _ : s) cv::cvtColor(raw, out, cv::COLOR_BayerBG2BGR);
}
void cvDemosaic16(benchmark::State& s) {
    cv::setNumThreads(1);
    cv::Mat raw = wrapOrig(frames().raw16, frames().raw16Orig, CV_16UC1), out;
    for (auto _ : s) cv::cvtColor(raw, out, cv::COLOR_BayerBG2BGR);
}
void cvLut(benchmark::State& s) {
    cv::setNumThreads(1);
    cv::Mat img = wrapOrig(frames().out24, frames().out24Orig, CV_8UC3), out;
    cv::Mat lut(1, 256, CV_8UC1);
    for (int i = 0; i < 256; ++i) lut.at<uint8_t>(i) = static_cast<uint8_t>(255 - i);
    for (auto _ : s) cv::LUT(img, lut, out);
}
void cvBlur(benchmark::State& s) {
    cv::setNumThreads(1);
    cv::Mat img = wrapOrig(frames().out24, frames().out24Orig, CV_8UC3), out;
    for (auto _ : s) cv::blur(img, out, cv::Size(4, 4));
}
void cvHsvRoundTrip(benchmark::State& s) {
    cv::setNumThreads(1);
    cv::Mat img = wrapOrig(frames().out24, frames().out24Orig, CV_8UC3), hsv, out;
    for (auto _ : s) {
        cv::cvtColor(img, hsv, cv::COLOR_BGR2HSV);
        cv::cvtColor(hsv, out, cv::COLOR_HSV2BGR);
    }
}
void cvMedianHot(benchmark::State& s) {
    // Nearest OpenCV equivalent of a hot-pixel pass: a 3 x 3 median.
    cv::setNumThreads(1);
    cv::Mat raw = wrapOrig(frames().raw8, frames().raw8Orig, CV_8UC1), out;
    for (auto _ : s) cv::medianBlur(raw, out, 3);
}
#endif

// Collects real times per benchmark name and prints the comparison table at the end.
class TableReporter : public benchmark::ConsoleReporter {
  public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& r : runs)
            if (r.run_type == Run::RT_Iteration && r.iterations > 0)
                times_[r.run_name.function_name] = {r.GetAdjustedRealTime(),
                                                    r.GetAdjustedCPUTime()};
    }
    void Finalize() override {
        ConsoleReporter::Finalize();
        // Wall-clock milliseconds; the CPU time of the calling thread in brackets (it is the
        // steadier figure on a shared machine, but leaves out the pool's helper thread).
        std::printf("\n%-26s %18s %18s %7s %9s\n", "stage (3072x2048)", "ours ms (cpu)",
                    "OpenCV ms (cpu)", "ratio", "cpu ratio");
        for (auto& [name, t] : times_) {
            if (name.find("/cv") != std::string::npos) continue;
            const std::string stage = name.substr(0, name.find('/'));
            auto it = times_.find(stage + "/cv");
            if (it != times_.end())
                std::printf("%-26s %9.2f (%6.2f) %9.2f (%6.2f) %7.2f %9s\n", name.c_str(), t.first,
                            t.second, it->second.first, it->second.second,
                            t.first / it->second.first,
                            // A pool row's CPU time leaves out the helper thread.
                            name.find("pool") == std::string::npos
                                ? std::to_string(t.second / it->second.second).substr(0, 4).c_str()
                                : "-");
            else
                std::printf("%-26s %9.2f (%6.2f) %18s %7s\n", name.c_str(), t.first, t.second, "-",
                            "-");
        }
    }

  private:
    std::map<std::string, std::pair<double, double>> times_;
};

}  // namespace

int main(int argc, char** argv) {
    auto ms = [](benchmark::internal::Benchmark* b) {
        b->Unit(benchmark::kMillisecond)->UseRealTime();
    };
    ms(benchmark::RegisterBenchmark("demosaic8_24/ours", demosaic8, 24, false));
    ms(benchmark::RegisterBenchmark("demosaic8_24/ours_pool2", demosaic8, 24, true));
    ms(benchmark::RegisterBenchmark("demosaic8_32/ours", demosaic8, 32, false));
    ms(benchmark::RegisterBenchmark("demosaic16_48/ours", demosaic16, false));
    ms(benchmark::RegisterBenchmark("demosaic16_48/ours_pool2", demosaic16, true));
    ms(benchmark::RegisterBenchmark("tone24/ours", tone24, false));
    ms(benchmark::RegisterBenchmark("tone24/ours_pool2", tone24, true));
    ms(benchmark::RegisterBenchmark("sharpen24/ours", sharpen24, false));
    ms(benchmark::RegisterBenchmark("sharpen24/ours_pool2", sharpen24, true));
    ms(benchmark::RegisterBenchmark("huesat24/ours", hueSat, 24, false));
    ms(benchmark::RegisterBenchmark("huesat24/ours_pool2", hueSat, 24, true));
    ms(benchmark::RegisterBenchmark("huesat48/ours", hueSat, 48, false));
    ms(benchmark::RegisterBenchmark("huesat48/ours_pool2", hueSat, 48, true));
    ms(benchmark::RegisterBenchmark("hotpixel8/ours", hotPixels, 8, false));
    ms(benchmark::RegisterBenchmark("hotpixel8/ours_pool2", hotPixels, 8, true));
    ms(benchmark::RegisterBenchmark("hotpixel16/ours", hotPixels, 16, false));
    ms(benchmark::RegisterBenchmark("hotpixel16/ours_pool2", hotPixels, 16, true));
    ms(benchmark::RegisterBenchmark("whitebalance8/ours", whiteBalance8, false));
    ms(benchmark::RegisterBenchmark("graygains8/ours", grayGains8));
    ms(benchmark::RegisterBenchmark("maskfilter8/ours", maskFilter8));
    ms(benchmark::RegisterBenchmark("dotfilter8/ours", dotFilter8));
    ms(benchmark::RegisterBenchmark("convert48to24/ours", convert48To24));
    ms(benchmark::RegisterBenchmark("copyout24/ours", copyOutBottomUp));
#if defined(ORVANE_BENCH_OPENCV)
    ms(benchmark::RegisterBenchmark("demosaic8_24/cv", cvDemosaic8));
    ms(benchmark::RegisterBenchmark("demosaic16_48/cv", cvDemosaic16));
    ms(benchmark::RegisterBenchmark("tone24/cv", cvLut));
    ms(benchmark::RegisterBenchmark("sharpen24/cv", cvBlur));
    ms(benchmark::RegisterBenchmark("huesat24/cv", cvHsvRoundTrip));
    ms(benchmark::RegisterBenchmark("hotpixel8/cv", cvMedianHot));
#endif
    benchmark::Initialize(&argc, argv);
    TableReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
