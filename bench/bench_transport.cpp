// Frame reads through the camera controller from the virtual camera in fast pacing:
// 64-byte header plus a full 3072 x 2048 payload per iteration, as the capture thread reads.
#include <benchmark/benchmark.h>

#include <memory>
#include <vector>

#include "sim/VirtualCameraSystem.h"
#include "transport/CKelCy3Cam.h"

namespace {

using orvane::transport::CKelCy3Cam;
using orvane::transport::FrameRecord;

void readFrames(benchmark::State& state, const char* cameraList, uint8_t transferWidth) {
    orvane::sim::ScopedVirtualCameras cams(cameraList);
    cams.camera(0).setLogging(false);
    cams.camera(0).setFpgaRegister(0x3C, transferWidth);
    CKelCy3Cam controller;
    if (controller.Enumerate() < 1 || !controller.SelectDevice(0) ||
        !controller.PrepareStreaming() || !controller.OpenStreamHandle()) {
        state.SkipWithError("no virtual camera");
        return;
    }
    std::vector<uint8_t> payload(3072u * 2048u * 2u + 0x10000u);
    FrameRecord record;
    record.payload = payload.data();
    record.capacity = static_cast<uint32_t>(payload.size());
    uint64_t bytes = 0;
    for (auto _ : state) {
        if (!controller.ReadFrameHeader(&record) || !controller.ReadFramePayload(&record, 5000)) {
            state.SkipWithError("frame read failed");
            break;
        }
        bytes += record.payloadBytes();
        benchmark::DoNotOptimize(payload.data());
    }
    controller.CloseStreamHandle();
    state.SetBytesProcessed(static_cast<int64_t>(bytes));
    state.counters["frames/s"] =
        benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

void BM_ReadFrame8BitChart(benchmark::State& state) {
    readFrames(state, "30f0:pace=fast", 1);
}
void BM_ReadFrame8BitRamp(benchmark::State& state) {
    readFrames(state, "30f0:pace=fast:scene=ramp", 1);
}
void BM_ReadFrame16BitChart(benchmark::State& state) {
    readFrames(state, "30f0:pace=fast", 2);
}

}  // namespace

BENCHMARK(BM_ReadFrame8BitChart)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ReadFrame8BitRamp)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ReadFrame16BitChart)->Unit(benchmark::kMillisecond)->UseRealTime();

BENCHMARK_MAIN();
