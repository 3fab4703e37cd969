// One virtual camera: the device model behind the driver port. It answers the vendor
// requests on endpoint 0 as the camera's firmware, FPGA, auxiliary device, EEPROM and IMX178
// sensor would, and streams frames (64-byte header, then payload) on endpoint 0x81, or whole
// frames on endpoint 0x83 for product ID 0x3042.
//
// The model is independent of the backend that carries its traffic: the virtual driver
// backend (VirtualCameraSystem.h) decodes driver requests into the calls below, and a USB
// emulation can feed it decoded control and bulk transfers just the same.
//
// Frame content follows the registers at the moment of the frame request: sensor window
// (0x039C-0x03A3), mirroring (0x020F bits 0 and 1, 0 = mirrored), exposure lines (frame length
// 0x022C-0x022E minus shutter 0x0234-0x0236) and global gain (0x021F/0x0220) for the chart
// scene, and the FPGA transfer-width register 0x3C (2: 16-bit samples, 12 significant bits,
// little-endian; otherwise 8-bit). Realtime pacing delivers a frame per sensor frame time
// (frame length x 9.3407 us); fast pacing as soon as it is asked for.
//
// Threads: every public function may be called from any thread; the model's state is guarded
// by one mutex. Pending bulk reads are served by the camera's own worker thread.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <type_traits>
#include <vector>

#include "platform/Sync.h"
#include "sim/DeviceFaults.h"
#include "sim/SceneRenderer.h"

namespace orvane::sim {

enum class Pace { Realtime, Fast };

struct CameraOptions {
    uint16_t vendorId = 0x04B4;
    uint16_t productId = 0x30F0;
    Pace pace = Pace::Realtime;
    SceneKind scene = SceneKind::Chart;
    uint16_t flatValue = 0;                    // scene=flat:V
    uint16_t siteR = 0, siteG = 0, siteB = 0;  // scene=sites:R/G/B
    uint32_t hotPixels = 0;
    uint32_t deadPixels = 0;
    int64_t failAfter = -1;    // frames before every frame read fails; -1 never
    uint32_t dropEvery = 0;    // every N-th frame header is not sent; 0 never
    int64_t unplugAfter = -1;  // frames before the device disappears; -1 never
    std::string serial;        // empty: chosen by the system
    DeviceFaults faults;       // a hostile device (DeviceFaults.h)
};

// One request as the camera received it.
struct LoggedRequest {
    enum class Kind { Control, BulkRead, AbortPipe, ResetPipe, ResetPort, GetSpeed };
    Kind kind = Kind::Control;
    uint8_t requestType = 0;  // control only
    uint8_t request = 0;
    uint16_t value = 0;
    uint16_t index = 0;
    uint8_t data[64] = {};  // data area sent with a host-to-device control request
    uint8_t endpoint = 0;   // bulk, abort and reset pipe
    uint32_t length = 0;    // bulk read length

    // True for a bus write (request 0x30) to `busAddress` whose first bytes equal `prefix`.
    bool isBusWrite(uint8_t busAddress, std::initializer_list<uint8_t> prefix) const;
};

class VirtualCamera {
  public:
    explicit VirtualCamera(const CameraOptions& options);
    ~VirtualCamera();
    VirtualCamera(const VirtualCamera&) = delete;
    VirtualCamera& operator=(const VirtualCamera&) = delete;

    const CameraOptions& options() const { return options_; }
    uint16_t vendorId() const { return options_.vendorId; }
    uint16_t productId() const { return options_.productId; }
    const std::string& serial() const { return options_.serial; }

    // ---- traffic (called by the backends) ----
    // A control transfer. `data` holds `length` bytes (at most 64): sent data for
    // host-to-device requests, the reply area for device-to-host ones. Returns the reply byte
    // count (0 for host-to-device requests), or -1 when the device stalls the request.
    int control(uint8_t requestType, uint8_t request, uint16_t value, uint16_t index, uint8_t* data,
                uint32_t length);

    // Completion of a bulk read: error 0 on success (Windows-style codes of the driver port).
    // A small callable kept in place rather than a std::function: streaming submits several
    // reads per frame, and a frame must not cost heap allocations. Anything trivially
    // copyable of up to three pointers fits (a raw pointer to the completion and a little
    // context); the submitter keeps what they point to alive until the call, as it does the
    // buffer.
    class BulkDone {
      public:
        BulkDone() = default;
        template <typename F>
        requires(!std::is_same_v<std::decay_t<F>, BulkDone> &&
                 std::is_trivially_copyable_v<std::decay_t<F>> &&
                 sizeof(std::decay_t<F>) <= 3 * sizeof(void*) &&
                 alignof(std::decay_t<F>) <= alignof(void*) &&
                 std::is_invocable_v<std::decay_t<F>&, uint32_t, uint32_t>)
            BulkDone(F f) {  // NOLINT(google-explicit-constructor): used like a std::function
            using Fn = std::decay_t<F>;
            std::construct_at(reinterpret_cast<Fn*>(storage_), f);
            call_ = [](void* s, uint32_t e, uint32_t n) { (*static_cast<Fn*>(s))(e, n); };
        }
        explicit operator bool() const { return call_ != nullptr; }
        void operator()(uint32_t error, uint32_t bytes) const {
            if (call_ != nullptr) call_(storage_, error, bytes);
        }

      private:
        // Mutable: calling the stored callable is not a change of the BulkDone itself.
        alignas(void*) mutable unsigned char storage_[3 * sizeof(void*)] = {};
        void (*call_)(void*, uint32_t, uint32_t) = nullptr;
    };
    // Submits a bulk-in read. Returns 0 when it finished at once (*bytes set, `done` not
    // called), kErrorIoPending when `done` will be called later from the camera's worker, or
    // an error code. `buffer` must stay valid until then.
    uint32_t submitBulkRead(uint8_t endpoint, uint8_t* buffer, uint32_t length, uint32_t* bytes,
                            BulkDone done);
    // Ends the pending reads of `endpoint` with kErrorOperationAborted.
    void abortPipe(uint8_t endpoint);
    // Clears a halted endpoint and drops the rest of the frame in flight.
    void resetPipe(uint8_t endpoint);
    void resetPort();
    uint32_t speedCode();

    // ---- state for tests ----
    bool plugged() const { return plugged_.load(); }
    void unplug();
    void replug();
    // Called (outside the camera's lock) after the camera appeared or disappeared.
    void setPlugListener(std::function<void(bool plugged)> listener);

    uint8_t sensorRegister(uint16_t address) const;
    void setSensorRegister(uint16_t address, uint8_t value);
    uint8_t fpgaRegister(uint8_t reg) const;
    void setFpgaRegister(uint8_t reg, uint8_t value);
    uint8_t auxRegister(uint8_t reg) const;
    uint8_t eepromByte(uint16_t address) const;
    void setEepromByte(uint16_t address, uint8_t value);
    uint32_t register32(uint16_t address) const;  // requests 0xD0/0xD1
    uint8_t streamMode() const;                   // request 0x3C
    void setInfoBlock(const uint8_t block[64]);
    void setSpeedCode(uint32_t code);

    // A hardware trigger: FPGA register 8 counts it; in trigger mode (FPGA register 48 = 1)
    // each trigger releases one frame.
    void fireTrigger();
    uint32_t framesSent() const;
    // What the registers say the next frame looks like (window, mirroring, exposure, gain).
    FrameParams frameParams() const;

    // ---- faults ----
    // Device-to-host control replies carry at most `bytes` bytes (-1: no limit).
    void setReplyLimit(int bytes);
    // Every control transfer is stalled.
    void setFailControl(bool fail);
    // Frame headers are never sent.
    void setSuppressHeaders(bool suppress);
    // The header announces `bytes` of payload instead of the frame's size (0: the frame's).
    // Bytes past the frame's own read as zero.
    void setPayloadBytesOverride(uint32_t bytes);
    // The next bulk read on `endpoint` stalls it; reads fail until the pipe is reset.
    void stallEndpoint(uint8_t endpoint);
    void setPace(Pace pace);
    // A stalled camera sends nothing and reports nothing: frame reads stay pending (until
    // they time out or are aborted) as long as the stall lasts, as with a sensor waiting for
    // a trigger that never comes.
    void setStalled(bool stalled);
    void setFailAfter(int64_t frames);
    void setDropEvery(uint32_t n);
    void setUnplugAfter(int64_t frames);
    // Corrupted headers, short and over-long transfers, garbage replies (DeviceFaults.h).
    // Setting them restarts their random sequence.
    void setDeviceFaults(const DeviceFaults& faults);
    DeviceFaults deviceFaults() const;

    // ---- request log ----
    std::vector<LoggedRequest> requestLog() const;
    void clearRequestLog();
    // Logging bulk traffic of a long stream costs memory; benchmarks turn it off.
    void setLogging(bool enabled);

    // Hot and dead pixels in sensor-array coordinates (fixed for the options).
    const std::vector<DefectPixel>& defectPixels() const { return defects_; }

  private:
    struct Pending {
        uint8_t endpoint;
        uint8_t* buffer;
        uint32_t length;
        BulkDone done;
    };
    struct Stream {
        bool armed = false;      // a frame was requested and not yet fully sent
        bool withHeader = true;  // endpoint 0x81 frames start with the header
        bool dropped = false;    // this frame's header never comes
        bool needsTrigger = false;
        std::chrono::steady_clock::time_point readyAt{};
        uint32_t headerSent = 0;
        uint64_t payloadSent = 0;
        uint64_t payloadBytes = 0;
        uint8_t header[64] = {};
        FrameParams params;
    };
    enum class Serve { Done, Wait, Fail };

    void log(const LoggedRequest& r) ORVANE_REQUIRES(mutex_);
    bool busWrite(uint8_t address, const uint8_t* data, uint32_t n) ORVANE_REQUIRES(mutex_);
    int busRead(uint8_t address, uint8_t* data, uint32_t n) ORVANE_REQUIRES(mutex_);
    void writeFpga(uint8_t reg, uint8_t value) ORVANE_REQUIRES(mutex_);
    void armFrame() ORVANE_REQUIRES(mutex_);
    FrameParams currentParams() const ORVANE_REQUIRES(mutex_);
    Serve serve(Pending& p, uint32_t* bytes, uint32_t* error,
                std::chrono::steady_clock::time_point* wakeAt) ORVANE_REQUIRES(mutex_);
    void finishFrame(std::vector<std::function<void()>>* after) ORVANE_REQUIRES(mutex_);
    void failPendingLocked(uint32_t error, int endpoint, std::vector<std::function<void()>>* after)
        ORVANE_REQUIRES(mutex_);
    // Logs the pipe or port request `kind` and ends the pending reads of `endpoint` (of every
    // endpoint for -1) as aborted; a reset also clears the halt of what it resets and drops
    // the frame in flight.
    void abortRequests(LoggedRequest::Kind kind, int endpoint, bool reset);
    void setPlugged(bool plugged);
    void workerLoop(std::stop_token stop);
    void ensureWorker() ORVANE_REQUIRES(mutex_);
    // The stream state changed: the worker looks at its pending reads again.
    void wakeWorkerLocked() ORVANE_REQUIRES(mutex_);

    const CameraOptions options_;
    std::vector<DefectPixel> defects_;  // immutable after construction

    mutable platform::Mutex mutex_;
    std::condition_variable_any workCv_;  // pending reads or stream state changed (mutex_)
    uint64_t version_ ORVANE_GUARDED_BY(mutex_) = 0;  // bumped with every workCv_ signal
    std::atomic<bool> plugged_{true};
    std::function<void(bool)> plugListener_ ORVANE_GUARDED_BY(mutex_);

    std::vector<uint8_t> sensor_ ORVANE_GUARDED_BY(mutex_);
    uint8_t fpga_[256] ORVANE_GUARDED_BY(mutex_) = {};
    uint8_t aux_[256] ORVANE_GUARDED_BY(mutex_) = {};
    std::vector<uint8_t> eeprom_ ORVANE_GUARDED_BY(mutex_);
    std::vector<uint32_t> regs32_ ORVANE_GUARDED_BY(mutex_);
    uint16_t words_[256] ORVANE_GUARDED_BY(mutex_) = {};
    uint8_t infoBlock_[64] ORVANE_GUARDED_BY(mutex_) = {};
    uint8_t infoBlock2_[64] ORVANE_GUARDED_BY(mutex_) = {};
    uint8_t streamMode_ ORVANE_GUARDED_BY(mutex_) = 0;
    uint32_t speedCode_ ORVANE_GUARDED_BY(mutex_) = 4;
    uint8_t fpgaPointer_ ORVANE_GUARDED_BY(mutex_) = 0;
    uint16_t sensorPointer_ ORVANE_GUARDED_BY(mutex_) = 0;
    uint8_t auxPointer_ ORVANE_GUARDED_BY(mutex_) = 0;
    uint16_t eepromPointer_ ORVANE_GUARDED_BY(mutex_) = 0;
    Stream stream_ ORVANE_GUARDED_BY(mutex_);
    std::deque<Pending> pending_ ORVANE_GUARDED_BY(mutex_);
    uint64_t framesArmed_ ORVANE_GUARDED_BY(mutex_) = 0;
    uint64_t framesSent_ ORVANE_GUARDED_BY(mutex_) = 0;
    uint32_t frameCounter_ ORVANE_GUARDED_BY(mutex_) = 0;
    uint32_t triggersPending_ ORVANE_GUARDED_BY(mutex_) = 0;
    bool stalled_ ORVANE_GUARDED_BY(mutex_) = false;
    std::chrono::steady_clock::time_point lastReadyAt_ ORVANE_GUARDED_BY(mutex_){};
    Pace pace_ ORVANE_GUARDED_BY(mutex_);
    int replyLimit_ ORVANE_GUARDED_BY(mutex_) = -1;
    bool failControl_ ORVANE_GUARDED_BY(mutex_) = false;
    bool suppressHeaders_ ORVANE_GUARDED_BY(mutex_) = false;
    uint32_t payloadOverride_ ORVANE_GUARDED_BY(mutex_) = 0;
    uint8_t haltNext_ ORVANE_GUARDED_BY(mutex_) = 0;  // endpoint whose next read stalls it; 0 none
    bool halted81_ ORVANE_GUARDED_BY(mutex_) = false;
    bool halted83_ ORVANE_GUARDED_BY(mutex_) = false;
    int64_t failAfter_ ORVANE_GUARDED_BY(mutex_);
    uint32_t dropEvery_ ORVANE_GUARDED_BY(mutex_);
    int64_t unplugAfter_ ORVANE_GUARDED_BY(mutex_);
    bool logging_ ORVANE_GUARDED_BY(mutex_) = true;
    FaultInjector faults_ ORVANE_GUARDED_BY(mutex_);
    std::deque<LoggedRequest> log_ ORVANE_GUARDED_BY(mutex_);
    SceneRenderer renderer_ ORVANE_GUARDED_BY(mutex_);

    // Started under mutex_; last: joined before the members it uses go away.
    std::jthread worker_;
};

}  // namespace orvane::sim
