// Image file encoding at full sensor size, the copy a save makes under the frame lock, and
// AVI append throughput to a local file.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <string>

#include "imaging/CDibImage.h"
#include "output/AviFrame.h"
#include "output/CAviWriter.h"
#include "output/ImageFileWriter.h"

namespace {

using orvane::imaging::CDibImage;

constexpr int kWidth = 3072;
constexpr int kHeight = 2048;

// A colour picture with smooth areas and edges, so the compressors do realistic work.
CDibImage makeFrame(int bitCount) {
    CDibImage image;
    image.Create(kWidth, kHeight, bitCount);
    const int bpp = bitCount / 8;
    for (int y = 0; y < kHeight; ++y) {
        uint8_t* row = image.view().row(y);
        for (int x = 0; x < kWidth; ++x) {
            for (int b = 0; b < bpp; ++b) {
                row[x * bpp + b] =
                    static_cast<uint8_t>((x / 3 + y / 5 + b * 40) ^ (((x / 64 + y / 64) & 1) * 90));
            }
        }
    }
    return image;
}

std::string benchPath(const char* name) {
    return (std::filesystem::temp_directory_path() /
            ("orvane_bench_" + std::to_string(::getpid()) + "_" + name))
        .string();
}

void BM_SaveImage24(benchmark::State& state) {
    const int format = static_cast<int>(state.range(0));
    static const CDibImage image = makeFrame(24);
    const std::string path = benchPath("save.img");
    for (auto _ : state) {
        if (!orvane::output::SaveImageFile(image, path.c_str(), format)) {
            state.SkipWithError("save failed");
            break;
        }
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                            static_cast<int64_t>(image.sizeBytes()));
    ::unlink(path.c_str());
}
BENCHMARK(BM_SaveImage24)
    ->ArgName("format")
    ->DenseRange(0, 6)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// The part of a save that runs under the frame lock: copying the output image.
void BM_CopyImageForSave(benchmark::State& state) {
    const CDibImage image = makeFrame(static_cast<int>(state.range(0)));
    CDibImage copy;
    for (auto _ : state) benchmark::DoNotOptimize(orvane::output::CopyImageForSave(copy, image));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                            static_cast<int64_t>(image.sizeBytes()));
}
BENCHMARK(BM_CopyImageForSave)
    ->ArgName("bits")
    ->Arg(8)
    ->Arg(24)
    ->Arg(64)
    ->Unit(benchmark::kMillisecond);

// Conversion of an output image into the recorder's 24-bit bottom-up frame.
void BM_MakeAviFrame(benchmark::State& state) {
    const CDibImage image = makeFrame(static_cast<int>(state.range(0)));
    CDibImage frame;
    for (auto _ : state) benchmark::DoNotOptimize(orvane::output::MakeAviFrame(image, frame));
}
BENCHMARK(BM_MakeAviFrame)
    ->ArgName("bits")
    ->Arg(8)
    ->Arg(16)
    ->Arg(32)
    ->Arg(64)
    ->Unit(benchmark::kMillisecond);

// Appending full-size colour frames; the file starts over every 48 frames (about 900 MB)
// to bound the disk space used.
void BM_AviAppend(benchmark::State& state) {
    const CDibImage frame = makeFrame(24);
    const std::string path = benchPath("record.avi");
    orvane::output::CAviWriter avi;
    int inFile = 0;
    for (auto _ : state) {
        if (!avi.isOpen() || inFile == 48) {
            state.PauseTiming();
            avi.finish();
            avi.open(path.c_str(), kWidth, kHeight, 24, 5000);
            inFile = 0;
            state.ResumeTiming();
        }
        if (!avi.appendFrame(frame)) {
            state.SkipWithError("append failed");
            break;
        }
        ++inFile;
    }
    avi.finish();
    ::unlink(path.c_str());
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                            static_cast<int64_t>(frame.sizeBytes()));
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
    state.counters["frames/s"] =
        benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_AviAppend)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3.0);

}  // namespace

BENCHMARK_MAIN();
