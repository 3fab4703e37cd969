// Device SDK object: the capture thread, its loops, the acquisition modes and the hand-over
// of frames through the ring.
#include <cstring>
#include <mutex>

#include "device/COrvaneU3Q7Base.h"
#include "platform/Log.h"
#include "platform/Time.h"
#include "transport/CKelCy3Cam.h"

namespace orvane::device {

using sensors::CSensorBase;
using Guard = platform::LockGuard<platform::CriticalSection>;

namespace {

constexpr int kLoopFailureLimit = 5;     // CaptureLoop: the fifth failure in a row ends it
constexpr int kEndpoint83TryLimit = 10;  // whole-frame loops: the eleventh failure ends them
constexpr uint32_t kEndpoint83GiveUpMs = 10000;
constexpr uint32_t kGrabPayloadTimeoutMs = 3000;
constexpr uint16_t kFirmwareWithPipeReset = 0x10FF;
constexpr uint32_t kStreamStopSettleMs = 100;  // models that need time after a stream stop

// Models whose stream stop goes without the sensor's stream-reset pulse.
bool pulsesResetOnStop(int productId) {
    return productId != kProductId30C0;
}
// Models that need kStreamStopSettleMs after a stream stop.
bool settlesAfterStop(int productId) {
    return productId == kProductId3150;
}
// Models whose trigger-mode reads are not retried: one failure ends the capture.
bool retriesTriggerReads(int productId) {
    return productId != kProductId3190;
}

bool resetsPipeOnRecovery(int productId) {
    switch (productId) {
        case kProductId3100:
        case kProductId3130:
        case kProductId3150:
        case kProductId3170:
        case kProductId31B0:
        case kProductId31B4:
        case kProductId31C0:
        case kProductId31C4:
        case kProductId31E0:
        case kProductId32A0:
        case kProductId32D0:
            return true;
        default:
            return false;
    }
}

}  // namespace

// --- starting and stopping ---------------------------------------------------------------

int COrvaneU3Q7Base::StartCapture(int mode) {
    Guard lock(lock_);
    if (capturing_) stopCaptureLocked();
    ring_.openEvent();
    const int set = setModeLocked(mode);
    if (set == 0) return 0;
    if (geometryChanged_) applyGeometryLocked();

    // A loop that ended by itself (one frame, or failure) has still to be joined.
    threadEnd_.reset();
    if (thread_) {
        thread_->join();
        thread_.reset();
    }
    // Cleared here, not only by the loop, so that a reader never sees the previous capture's
    // failure after this start has returned.
    captureFailed_ = false;
    capturing_ = true;
    threadEnd_ = std::make_unique<platform::Event>(false, false);
    thread_ = std::make_unique<platform::Thread>();
    if (!thread_->start([this] { captureThreadMain(); }, platform::ThreadPriority::TimeCritical)) {
        capturing_ = false;
        thread_.reset();
        threadEnd_.reset();
        return 0;
    }
    withSensor(0, [](CSensorBase& s) { return s.OnCaptureStart(), 1; });
    return 1;
}

int COrvaneU3Q7Base::CaptureSnapshotOnThisThread() {
    Guard lock(lock_);
    if (capturing_ || thread_) stopCaptureLocked();
    ring_.openEvent();
    if (setModeLocked(kModeSnapshot) == 0) return 0;
    if (geometryChanged_) applyGeometryLocked();
    captureFailed_ = false;
    capturing_ = true;
    threadEnd_ = std::make_unique<platform::Event>(false, false);
    withSensor(0, [](CSensorBase& s) { return s.OnCaptureStart(), 1; });
    // The loop sees what the thread would: no other thread can change the mode, geometry or
    // buffers meanwhile, since all of those need the device lock held here.
    captureThreadMain();
    return 1;
}

int COrvaneU3Q7Base::StopCapture() {
    Guard lock(lock_);
    stopCaptureLocked();
    return 1;
}

void COrvaneU3Q7Base::stopCaptureLocked() {
    withSensor(0, [](CSensorBase& s) { return s.OnCaptureStop(), 1; });
    if (capturing_.exchange(false) && thread_ && threadEnd_) {
        threadEnd_->wait(platform::Event::kInfinite);
    }
    // Joined without a limit: the thread uses the payload buffer and the ring, which may be
    // freed right after this returns.
    if (thread_) {
        thread_->join();
        thread_.reset();
    }
    platform::sleepMs(1);
    threadEnd_.reset();
    ring_.closeEvent();  // releases a reader waiting for a frame
    StopStream();
    platform::sleepMs(5);
    mode_ = kModeContinuous;
}

int COrvaneU3Q7Base::StopStream() {
    Guard lock(lock_);
    if (!controller_) return 0;
    if (isEndpoint83()) {
        controller_->ResetPort();
    } else {
        const uint16_t firmware = static_cast<uint16_t>(information_[24] | (information_[25] << 8));
        if (firmware > kFirmwareWithPipeReset) controller_->ResetPipe(transport::kEndpointFrames);
        if (pulsesResetOnStop(productId_)) pulseStreamReset();
        controller_->WriteFpgaRegister(transport::kFpgaStreamStop, 2);
        if (settlesAfterStop(productId_)) platform::sleepMs(kStreamStopSettleMs);
    }
    controller_->SendStreamReset();
    return 1;
}

void COrvaneU3Q7Base::pulseStreamReset() {
    // sensor_ is fixed while a capture runs, and the owner's thread holds the device lock.
    if (!controller_) return;
    const int address =
        withSensor(-1, [](auto& sensor) { return static_cast<int>(sensor.busAddress()); });
    if (address < 0) return;
    const uint8_t reg = (address == 103 || address == 115) ? transport::kFpgaStreamResetAlt
                                                           : transport::kFpgaStreamReset;
    controller_->WriteFpgaRegister(reg, 1);
    platform::sleepMs(1);
    controller_->WriteFpgaRegister(reg, 0);
    platform::sleepMs(1);
}

int COrvaneU3Q7Base::SetMode(int mode) {
    Guard lock(lock_);
    return setModeLocked(mode);
}

int COrvaneU3Q7Base::setModeLocked(int mode) {
    if (!controller_) return 0;
    if (mode != mode_) {
        stopCaptureLocked();
        ring_.openEvent();
        if (mode == kModeTrigger) {
            // Frames from before the trigger do not count as the triggered one.
            ring_.markAllHandedOver();
            ReadTriggerCounter();
        }
        mode_ = mode;
    }
    return 1;
}

int COrvaneU3Q7Base::ReadTriggerCounter() {
    Guard lock(lock_);
    if (!controller_) return 0;
    uint8_t counter = 0;
    if (controller_->ReadFpgaRegister(transport::kFpgaTriggerCounter, &counter) == 0) return 0;
    lastFrameTag_ = counter;
    return 1;
}

int COrvaneU3Q7Base::ApplyTriggerMode(int mode, int force) {
    Guard lock(lock_);
    if (!sensor_) return 0;  // the pointer only changes under the device lock
    if (force == 0 && mode == triggerMode_) return 1;
    stopCaptureLocked();
    ring_.openEvent();
    // Taken after the capture thread is joined: it may want the sensor lock itself.
    platform::LockGuard sensorGuard(sensorLock_);
    if (productId_ == kProductIdImx178 && controller_) {
        sensor_->SetTriggerMode(1);
        controller_->WriteFpgaRegister(transport::kFpgaTriggerEnable, 0);
        if (mode != 0)
            controller_->WriteFpgaRegister(transport::kFpgaTriggerEnable, 1);
        else
            sensor_->SetTriggerMode(0);
    }
    triggerMode_ = mode;
    return 1;
}

int COrvaneU3Q7Base::SetPayloadTimeout(int ms) {
    payloadTimeoutMs_ = static_cast<uint32_t>(ms);
    return 1;
}

// --- the capture thread ------------------------------------------------------------------

void COrvaneU3Q7Base::captureThreadMain() {
    if (isEndpoint83())
        CaptureLoopEndpoint83();
    else
        CaptureLoop();
}

void COrvaneU3Q7Base::setThreadEnd() {
    // threadEnd_ is replaced only while no capture thread runs.
    if (threadEnd_) threadEnd_->set();
}

// Files the payload buffer's frame in the ring by exchanging buffers; the payload buffer is
// then the slot's former buffer. Capture thread, or the owner's thread when none runs.
void COrvaneU3Q7Base::fileFrame(bool firstSlotOnly) {
    if (firstSlotOnly)
        ring_.fileFrameInSlot(0, payload_, payloadCapacity_);
    else
        ring_.fileFrame(payload_, payloadCapacity_);
}

// A header announcing fewer payload bytes than a frame holds cannot be a frame of this
// geometry (a corrupted header, or the rest of an earlier frame): reading it would file a
// frame whose tail is stale memory. The read is failed instead, so the usual recovery runs.
bool COrvaneU3Q7Base::headerFillsFrame(const transport::FrameRecord& record) const {
    if (record.payloadBytes() >= frameSize_) return true;
    ORVANE_LOG(platform::LogLevel::Info, "capture: header announces %u bytes, a frame has %u",
               static_cast<unsigned>(record.payloadBytes()), static_cast<unsigned>(frameSize_));
    return false;
}

// Start of both capture loops: the frame record over the payload buffer, or, without a
// controller or buffer, the end of the capture (false).
bool COrvaneU3Q7Base::beginCapture(transport::CKelCy3Cam* controller,
                                   transport::FrameRecord& record) {
    if (controller == nullptr || !payload_) {
        setThreadEnd();
        capturing_ = false;
        return false;
    }
    record.payload = payload_.get();
    record.capacity = payloadCapacity_;
    record.wholeFrameBytes = frameSize_;
    return true;
}

// Runs on the capture thread. The controller, payload buffer, frame size and sensor pointer
// are fixed while it runs (every operation that changes them stops the capture first).
int COrvaneU3Q7Base::CaptureLoop() {
    transport::CKelCy3Cam* const controller = controller_.get();
    transport::FrameRecord record;
    if (!beginCapture(controller, record)) return 0;
    captureFailed_ = false;

    if (controller->OpenStreamHandle() != 0) {
        int retries = 0;
        while (capturing_) {
            const int mode = mode_;
            const FrameRead read = readFrame(*controller, record, mode);
            if (read == FrameRead::Skipped) continue;
            if (read == FrameRead::Done) break;
            if (read == FrameRead::Filed) {
                retries = 0;
                if (mode == kModeSnapshot || mode == kModeTrigger) break;
                continue;
            }
            if (!recoverFromFailedRead(*controller, mode, retries)) break;
        }
    } else {
        // A stream that cannot be opened will never deliver: report it as a failed capture
        // rather than letting readers wait for ever.
        ORVANE_LOG(platform::LogLevel::Warn, "capture: the stream handle does not open");
        captureFailed_ = true;
    }
    controller->CloseStreamHandle();
    setThreadEnd();
    if (captureFailed_) ring_.setEvent();
    capturing_ = false;
    return 1;
}

// One pass of CaptureLoop: applies a deferred exposure, waits for the trigger counter in
// trigger mode, then reads the frame header and payload and files the frame.
COrvaneU3Q7Base::FrameRead COrvaneU3Q7Base::readFrame(transport::CKelCy3Cam& controller,
                                                      transport::FrameRecord& record, int mode) {
    const uint32_t timeout = payloadTimeoutMs_;
    if (deferredExposurePending_.exchange(false)) {
        const unsigned exposure = deferredExposure_;
        withSensor(0, [&](CSensorBase& s) { return s.SetExposureTime(exposure); });
    }
    if (mode == kModeTrigger) {
        uint8_t counter = 0;
        if (controller.ReadFpgaRegister(transport::kFpgaTriggerCounter, &counter) == 0) counter = 0;
        if (counter == lastFrameTag_) {
            platform::sleepMs(1);
            return FrameRead::Skipped;
        }
        lastFrameTag_ = counter;
    }
    record.payload = payload_.get();
    if (controller.ReadFrameHeader(&record) == 0) return FrameRead::Failed;
    if (mode == kModeHeaderSync) {
        lastFrameTag_ = record.frameTag;
        return FrameRead::Done;
    }
    if (mode != kModeTrigger) lastFrameTag_ = record.frameTag;
    if (!headerFillsFrame(record) || controller.ReadFramePayload(&record, timeout) == 0)
        return FrameRead::Failed;
    captureFailed_ = false;
    fileFrame(false);
    return FrameRead::Filed;
}

// After a failed read: reopens the stream after a reset, a bounded number of times. Returns
// false when the capture gives up (the failure is then flagged and readers are woken).
bool COrvaneU3Q7Base::recoverFromFailedRead(transport::CKelCy3Cam& controller, int mode,
                                            int& retries) {
    controller.CloseStreamHandle();
    const bool giveUp = (mode == kModeTrigger && !retriesTriggerReads(productId_)) ||
                        ++retries >= kLoopFailureLimit;
    if (giveUp) {
        ORVANE_LOG(platform::LogLevel::Warn, "capture: giving up after %d failed reads", retries);
        captureFailed_ = true;
        ring_.setEvent();
        return false;
    }
    ORVANE_LOG(platform::LogLevel::Info, "capture: frame read failed, retry %d", retries);
    if (resetsPipeOnRecovery(productId_)) controller.ResetPipe(transport::kEndpointFrames);
    pulseStreamReset();
    controller.OpenStreamHandle();
    return true;
}

int COrvaneU3Q7Base::CaptureLoopEndpoint83() {
    transport::CKelCy3Cam* const controller = controller_.get();
    transport::FrameRecord record;
    if (!beginCapture(controller, record)) return 0;
    controller->SendStreamReset();
    captureFailed_ = false;
    uint32_t lastSuccess = platform::timeGetTime();
    int tries = 0;
    if (controller->OpenStreamHandle() != 0) {
        while (capturing_) {
            record.payload = payload_.get();
            if (controller->ReadWholeFrame(&record) != 0) {
                lastSuccess = platform::timeGetTime();
                captureFailed_ = false;
                fileFrame(false);
                tries = 0;
                if (mode_ == kModeSnapshot) break;
                continue;
            }
            if (platform::timeGetTime() - lastSuccess >= kEndpoint83GiveUpMs ||
                tries >= kEndpoint83TryLimit) {
                captureFailed_ = true;
                break;
            }
            ++tries;
            controller->ResetPort();
            controller->SendStreamReset();
            controller->ResetPipe(transport::kEndpointFrames);
        }
    } else {
        captureFailed_ = true;
    }
    controller->CloseStreamHandle();
    setThreadEnd();
    capturing_ = false;
    return 1;
}

int COrvaneU3Q7Base::GrabOne() {
    Guard lock(lock_);
    if (!controller_) return 2;
    // The grab uses the stream handle and ring slot 0 on this thread.
    if (capturing_ || thread_) stopCaptureLocked();
    if (geometryChanged_) applyGeometryLocked();
    if (!payload_) return 2;

    transport::FrameRecord record;
    record.payload = payload_.get();
    record.capacity = payloadCapacity_;
    record.wholeFrameBytes = frameSize_;
    const bool wholeFrames = isEndpoint83();
    if (wholeFrames) controller_->SendStreamReset();
    captureFailed_ = false;
    const uint32_t start = platform::timeGetTime();
    if (controller_->OpenStreamHandle() != 0) {
        int failures = 0;
        for (;;) {
            const bool ok =
                wholeFrames
                    ? controller_->ReadWholeFrame(&record) != 0
                    : controller_->ReadFrameHeader(&record) != 0 && headerFillsFrame(record) &&
                          controller_->ReadFramePayload(&record, kGrabPayloadTimeoutMs) != 0;
            if (ok) {
                fileFrame(true);
                break;
            }
            if (platform::timeGetTime() - start >= kEndpoint83GiveUpMs ||
                failures >= kEndpoint83TryLimit) {
                captureFailed_ = true;
                break;
            }
            ++failures;
            if (wholeFrames) controller_->ResetPort();
        }
    } else {
        captureFailed_ = true;
    }
    controller_->CloseStreamHandle();
    setThreadEnd();
    capturing_ = false;
    // 0: a frame is in slot 0. A grab that gave up says so instead of claiming a frame.
    return captureFailed_ ? 1 : 0;
}

// --- readers -----------------------------------------------------------------------------

int COrvaneU3Q7Base::WaitFrame(uint32_t ms) {
    if (captureFailed_) return kWaitFailed;
    if (!ring_.waitEvent(ms)) return kWaitTimeout;
    // The event is also set when the loop gives up.
    if (captureFailed_) return kWaitFailed;
    return ring_.hasNewFrame() ? kWaitFrameReady : kWaitTimeout;
}

int COrvaneU3Q7Base::CopyLatest(void* buffer, int orientationFlag) {
    return ring_.copy(buffer, UINT64_MAX, false, orientationFlag, true) ? 0 : -1;
}

int COrvaneU3Q7Base::CopyLatestInto(void* buffer, uint64_t length, int orientationFlag) {
    return ring_.copy(buffer, length, false, orientationFlag, true) ? 0 : -1;
}

int COrvaneU3Q7Base::CopyFrame(void* buffer, uint64_t length, int firstSlot, int orientationFlag) {
    return ring_.copy(buffer, length, firstSlot != 0, orientationFlag, false) ? 1 : 0;
}

int COrvaneU3Q7Base::CopySnapshot(void* buffer) {
    if (buffer == nullptr) return -2;
    ring_.copy(buffer, UINT64_MAX, true, 0, false);
    return 0;
}

}  // namespace orvane::device
