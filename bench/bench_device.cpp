// Streaming throughput of the device SDK object: full-size 8-bit frames from the virtual
// camera in fast pacing, through StartCapture(0), WaitFrame and CopyLatest, as the session's
// acquisition thread takes them. Also counts heap allocations per delivered frame (all
// threads: capture thread, transport and reader), which should be zero once streaming.
#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

#include "device/COrvaneUSB3Q7SimpleSdk.h"
#include "sim/VirtualCameraSystem.h"
#include "support/ReplacedAllocation.h"
#include "transport/CKelCy3Cam.h"

namespace {
std::atomic<uint64_t> g_allocations{0};
thread_local bool t_countedThread = false;  // the benchmark's reader thread
std::atomic<uint64_t> g_readerAllocations{0};
}  // namespace

// Every allocation of the process is counted, and those of the reader thread apart.
void* orvane::test::replacedAllocate(std::size_t size) {
    g_allocations.fetch_add(1, std::memory_order_relaxed);
    if (t_countedThread) g_readerAllocations.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
    throw std::bad_alloc();
}

namespace {

using orvane::device::COrvaneUSB3Q7SimpleSdk;

// A controller whose frame reads deliver at once without touching the payload: what remains
// is the device layer's own cost (filing in the ring, signalling, copying out).
class InstantFrames : public orvane::transport::CKelCy3Cam {
  public:
    explicit InstantFrames(uint32_t payloadBytes) : payloadBytes_(payloadBytes) {}
    int OpenStreamHandle() override { return 1; }
    int CloseStreamHandle() override { return 1; }
    int ReadFrameHeader(orvane::transport::FrameRecord* record) override {
        std::memcpy(record->header + orvane::transport::kFrameHeaderPayloadBytesOffset,
                    &payloadBytes_, 4);
        ++record->frameTag;
        return 1;
    }
    int ReadFramePayload(orvane::transport::FrameRecord* record, uint32_t) override {
        return record->capacity >= payloadBytes_ ? 1 : 0;
    }

  private:
    uint32_t payloadBytes_;
};

// Streams through `device` (already open, capturing) and reports frame rate and allocations.
void streamFrames(benchmark::State& state, COrvaneUSB3Q7SimpleSdk& device) {
    std::vector<uint8_t> frame(device.GetFrameSize());
    // Warm up: the first frames set up the transport's and the camera's own buffers.
    for (int i = 0; i < 5; ++i) {
        if (device.WaitFrame(5000) == orvane::device::kWaitFrameReady)
            device.CopyLatest(frame.data(), 1);
    }
    t_countedThread = true;
    const uint64_t allocationsBefore = g_allocations.load();
    const uint64_t readerBefore = g_readerAllocations.load();
    int64_t frames = 0;
    for (auto _ : state) {
        // A wake-up for a frame the previous copy already took reports "no new frame" (2);
        // the session simply waits again, and so does this loop.
        int waited = orvane::device::kWaitTimeout;
        for (int tries = 0; tries < 100 && waited == orvane::device::kWaitTimeout; ++tries)
            waited = device.WaitFrame(5000);
        if (waited != orvane::device::kWaitFrameReady) {
            state.SkipWithError("no frame");
            break;
        }
        device.CopyLatest(frame.data(), 1);
        benchmark::DoNotOptimize(frame.data());
        ++frames;
    }
    const uint64_t allocations = g_allocations.load() - allocationsBefore;
    const uint64_t readerAllocations = g_readerAllocations.load() - readerBefore;
    t_countedThread = false;
    device.StopCapture();
    const double n = frames > 0 ? static_cast<double>(frames) : 1.0;
    state.counters["frames_per_s"] =
        benchmark::Counter(static_cast<double>(frames), benchmark::Counter::kIsRate);
    state.counters["allocs_per_frame"] = static_cast<double>(allocations) / n;
    state.counters["reader_allocs_per_frame"] = static_cast<double>(readerAllocations) / n;
    state.SetBytesProcessed(frames * static_cast<int64_t>(frame.size()));
}

bool openFullSize(COrvaneUSB3Q7SimpleSdk& device) {
    device.SetProductId(0x30F0);
    return device.Open(0) == 1 && device.SetWideTransfer(0) == 1 &&
           device.SetCaptureWindow(0, 0, 3072, 2048, 0) == 1 && device.StartCapture(0) == 1;
}

// The whole path: virtual camera, transport, capture thread, ring, copy-out.
void BM_StreamFullFrames8Bit(benchmark::State& state) {
    orvane::sim::ScopedVirtualCameras cams("30f0:pace=fast:scene=flat:40");
    cams.camera(0).setLogging(false);
    COrvaneUSB3Q7SimpleSdk device;
    device.CreateController(nullptr, nullptr);
    if (!openFullSize(device)) {
        state.SkipWithError("the virtual camera did not open");
        return;
    }
    streamFrames(state, device);
}
BENCHMARK(BM_StreamFullFrames8Bit)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3.0);

// The device layer alone: frames "arrive" as soon as they are asked for.
void BM_DeviceLayerFullFrames8Bit(benchmark::State& state) {
    orvane::sim::ScopedVirtualCameras cams("30f0:pace=fast");  // to open and identify
    COrvaneUSB3Q7SimpleSdk device;
    device.AdoptController(std::make_unique<InstantFrames>(3072u * 2048u));
    if (!openFullSize(device)) {
        state.SkipWithError("the virtual camera did not open");
        return;
    }
    streamFrames(state, device);
}
BENCHMARK(BM_DeviceLayerFullFrames8Bit)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);

}  // namespace

BENCHMARK_MAIN();
