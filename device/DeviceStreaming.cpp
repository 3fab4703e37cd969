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
using Guard = std::lock_guard<platform::CriticalSection>;

namespace {

// FPGA registers used by streaming.
constexpr uint8_t kFpgaTriggerCounter = 8;
constexpr uint8_t kFpgaStreamReset = 0x6C;
constexpr uint8_t kFpgaStreamResetAlt = 0x96;  // sensors on bus addresses 103 and 115
constexpr uint8_t kFpgaStreamStop = 0x68;
constexpr uint8_t kFpgaTriggerEnable = 48;

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
    Guard lock(m_lock);
    if (m_capturing) stopCaptureLocked();
    m_ring.openEvent();
    const int set = setModeLocked(mode);
    if (set == 0) return 0;
    if (m_geometryChanged) applyGeometryLocked();

    // A loop that ended by itself (one frame, or failure) has still to be joined.
    m_threadEnd.reset();
    if (m_thread) {
        m_thread->join();
        m_thread.reset();
    }
    // Cleared here, not only by the loop, so that a reader never sees the previous capture's
    // failure after this start has returned.
    m_captureFailed = false;
    m_capturing = true;
    m_threadEnd = std::make_unique<platform::Event>(false, false);
    m_thread = std::make_unique<platform::Thread>();
    if (!m_thread->start([this] { captureThreadMain(); }, platform::ThreadPriority::TimeCritical)) {
        m_capturing = false;
        m_thread.reset();
        m_threadEnd.reset();
        return 0;
    }
    withSensor(0, [](CSensorBase& s) { return s.OnCaptureStart(), 1; });
    return 1;
}

int COrvaneU3Q7Base::StopCapture() {
    Guard lock(m_lock);
    stopCaptureLocked();
    return 1;
}

void COrvaneU3Q7Base::stopCaptureLocked() {
    withSensor(0, [](CSensorBase& s) { return s.OnCaptureStop(), 1; });
    if (m_capturing.exchange(false) && m_thread && m_threadEnd) {
        m_threadEnd->wait(platform::Event::kInfinite);
    }
    // Joined without a limit: the thread uses the payload buffer and the ring, which may be
    // freed right after this returns.
    if (m_thread) {
        m_thread->join();
        m_thread.reset();
    }
    platform::sleepMs(1);
    m_threadEnd.reset();
    m_ring.closeEvent();  // releases a reader waiting for a frame
    StopStream();
    platform::sleepMs(5);
    m_mode = kModeContinuous;
}

int COrvaneU3Q7Base::StopStream() {
    Guard lock(m_lock);
    if (!m_controller) return 0;
    if (isEndpoint83()) {
        m_controller->ResetPort();
    } else {
        const uint16_t firmware =
            static_cast<uint16_t>(m_information[24] | (m_information[25] << 8));
        if (firmware > kFirmwareWithPipeReset) m_controller->ResetPipe(transport::kEndpointFrames);
        if (pulsesResetOnStop(m_productId)) pulseStreamReset();
        m_controller->WriteFpgaRegister(kFpgaStreamStop, 2);
        if (settlesAfterStop(m_productId)) platform::sleepMs(kStreamStopSettleMs);
    }
    m_controller->SendStreamReset();
    return 1;
}

void COrvaneU3Q7Base::pulseStreamReset() {
    // m_sensor is fixed while a capture runs, and the owner's thread holds the device lock.
    if (!m_sensor || !m_controller) return;
    const uint8_t address = m_sensor->busAddress();
    const uint8_t reg = (address == 103 || address == 115) ? kFpgaStreamResetAlt : kFpgaStreamReset;
    m_controller->WriteFpgaRegister(reg, 1);
    platform::sleepMs(1);
    m_controller->WriteFpgaRegister(reg, 0);
    platform::sleepMs(1);
}

int COrvaneU3Q7Base::SetMode(int mode) {
    Guard lock(m_lock);
    return setModeLocked(mode);
}

int COrvaneU3Q7Base::setModeLocked(int mode) {
    if (!m_controller) return 0;
    if (mode != m_mode) {
        stopCaptureLocked();
        m_ring.openEvent();
        if (mode == kModeTrigger) {
            // Frames from before the trigger do not count as the triggered one.
            m_ring.markAllHandedOver();
            ReadTriggerCounter();
        }
        m_mode = mode;
    }
    return 1;
}

int COrvaneU3Q7Base::ReadTriggerCounter() {
    Guard lock(m_lock);
    if (!m_controller) return 0;
    uint8_t counter = 0;
    if (m_controller->ReadFpgaRegister(kFpgaTriggerCounter, &counter) == 0) return 0;
    m_lastFrameTag = counter;
    return 1;
}

int COrvaneU3Q7Base::ApplyTriggerMode(int mode, int force) {
    Guard lock(m_lock);
    if (!m_sensor) return 0;  // the pointer only changes under the device lock
    if (force == 0 && mode == m_triggerMode) return 1;
    stopCaptureLocked();
    m_ring.openEvent();
    // Taken after the capture thread is joined: it may want the sensor lock itself.
    std::lock_guard sensorGuard(m_sensorLock);
    if (m_productId == kProductIdImx178 && m_controller) {
        m_sensor->SetTriggerMode(1);
        m_controller->WriteFpgaRegister(kFpgaTriggerEnable, 0);
        if (mode != 0)
            m_controller->WriteFpgaRegister(kFpgaTriggerEnable, 1);
        else
            m_sensor->SetTriggerMode(0);
    }
    m_triggerMode = mode;
    return 1;
}

int COrvaneU3Q7Base::SetPayloadTimeout(int ms) {
    m_payloadTimeoutMs = static_cast<uint32_t>(ms);
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
    // m_threadEnd is replaced only while no capture thread runs.
    if (m_threadEnd) m_threadEnd->set();
}

// Files the payload buffer's frame in the ring by exchanging buffers; the payload buffer is
// then the slot's former buffer. Capture thread, or the owner's thread when none runs.
void COrvaneU3Q7Base::fileFrame(bool firstSlotOnly) {
    if (firstSlotOnly)
        m_ring.fileFrameInSlot(0, m_payload, m_payloadCapacity);
    else
        m_ring.fileFrame(m_payload, m_payloadCapacity);
}

// A header announcing fewer payload bytes than a frame holds cannot be a frame of this
// geometry (a corrupted header, or the rest of an earlier frame): reading it would file a
// frame whose tail is stale memory. The read is failed instead, so the usual recovery runs.
bool COrvaneU3Q7Base::headerFillsFrame(const transport::FrameRecord& record) const {
    if (record.payloadBytes() >= m_frameSize) return true;
    ORVANE_LOG(platform::LogLevel::Info, "capture: header announces %u bytes, a frame has %u",
               static_cast<unsigned>(record.payloadBytes()), static_cast<unsigned>(m_frameSize));
    return false;
}

// Start of both capture loops: the frame record over the payload buffer, or, without a
// controller or buffer, the end of the capture (false).
bool COrvaneU3Q7Base::beginCapture(transport::CKelCy3Cam* controller,
                                   transport::FrameRecord& record) {
    if (controller == nullptr || !m_payload) {
        setThreadEnd();
        m_capturing = false;
        return false;
    }
    record.payload = m_payload.get();
    record.capacity = m_payloadCapacity;
    record.wholeFrameBytes = m_frameSize;
    return true;
}

// Runs on the capture thread. The controller, payload buffer, frame size and sensor pointer
// are fixed while it runs (every operation that changes them stops the capture first).
int COrvaneU3Q7Base::CaptureLoop() {
    transport::CKelCy3Cam* const controller = m_controller.get();
    transport::FrameRecord record;
    if (!beginCapture(controller, record)) return 0;
    m_captureFailed = false;

    if (controller->OpenStreamHandle() != 0) {
        int retries = 0;
        while (m_capturing) {
            const int mode = m_mode;
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
        m_captureFailed = true;
    }
    controller->CloseStreamHandle();
    setThreadEnd();
    if (m_captureFailed) m_ring.setEvent();
    m_capturing = false;
    return 1;
}

// One pass of CaptureLoop: applies a deferred exposure, waits for the trigger counter in
// trigger mode, then reads the frame header and payload and files the frame.
COrvaneU3Q7Base::FrameRead COrvaneU3Q7Base::readFrame(transport::CKelCy3Cam& controller,
                                                      transport::FrameRecord& record, int mode) {
    const uint32_t timeout = m_payloadTimeoutMs;
    if (m_deferredExposurePending.exchange(false)) {
        const unsigned exposure = m_deferredExposure;
        withSensor(0, [&](CSensorBase& s) { return s.SetExposureTime(exposure); });
    }
    if (mode == kModeTrigger) {
        uint8_t counter = 0;
        if (controller.ReadFpgaRegister(kFpgaTriggerCounter, &counter) == 0) counter = 0;
        if (counter == m_lastFrameTag) {
            platform::sleepMs(1);
            return FrameRead::Skipped;
        }
        m_lastFrameTag = counter;
    }
    record.payload = m_payload.get();
    if (controller.ReadFrameHeader(&record) == 0) return FrameRead::Failed;
    if (mode == kModeHeaderSync) {
        m_lastFrameTag = record.frameTag;
        return FrameRead::Done;
    }
    if (mode != kModeTrigger) m_lastFrameTag = record.frameTag;
    if (!headerFillsFrame(record) || controller.ReadFramePayload(&record, timeout) == 0)
        return FrameRead::Failed;
    m_captureFailed = false;
    fileFrame(false);
    return FrameRead::Filed;
}

// After a failed read: reopens the stream after a reset, a bounded number of times. Returns
// false when the capture gives up (the failure is then flagged and readers are woken).
bool COrvaneU3Q7Base::recoverFromFailedRead(transport::CKelCy3Cam& controller, int mode,
                                            int& retries) {
    controller.CloseStreamHandle();
    const bool giveUp = (mode == kModeTrigger && !retriesTriggerReads(m_productId)) ||
                        ++retries >= kLoopFailureLimit;
    if (giveUp) {
        ORVANE_LOG(platform::LogLevel::Warn, "capture: giving up after %d failed reads", retries);
        m_captureFailed = true;
        m_ring.setEvent();
        return false;
    }
    ORVANE_LOG(platform::LogLevel::Info, "capture: frame read failed, retry %d", retries);
    if (resetsPipeOnRecovery(m_productId)) controller.ResetPipe(transport::kEndpointFrames);
    pulseStreamReset();
    controller.OpenStreamHandle();
    return true;
}

int COrvaneU3Q7Base::CaptureLoopEndpoint83() {
    transport::CKelCy3Cam* const controller = m_controller.get();
    transport::FrameRecord record;
    if (!beginCapture(controller, record)) return 0;
    controller->SendStreamReset();
    m_captureFailed = false;
    uint32_t lastSuccess = platform::timeGetTime();
    int tries = 0;
    if (controller->OpenStreamHandle() != 0) {
        while (m_capturing) {
            record.payload = m_payload.get();
            if (controller->ReadWholeFrame(&record) != 0) {
                lastSuccess = platform::timeGetTime();
                m_captureFailed = false;
                fileFrame(false);
                tries = 0;
                if (m_mode == kModeSnapshot) break;
                continue;
            }
            if (platform::timeGetTime() - lastSuccess >= kEndpoint83GiveUpMs ||
                tries >= kEndpoint83TryLimit) {
                m_captureFailed = true;
                break;
            }
            ++tries;
            controller->ResetPort();
            controller->SendStreamReset();
            controller->ResetPipe(transport::kEndpointFrames);
        }
    } else {
        m_captureFailed = true;
    }
    controller->CloseStreamHandle();
    setThreadEnd();
    m_capturing = false;
    return 1;
}

int COrvaneU3Q7Base::GrabOne() {
    Guard lock(m_lock);
    if (!m_controller) return 2;
    // The grab uses the stream handle and ring slot 0 on this thread.
    if (m_capturing || m_thread) stopCaptureLocked();
    if (m_geometryChanged) applyGeometryLocked();
    if (!m_payload) return 2;

    transport::FrameRecord record;
    record.payload = m_payload.get();
    record.capacity = m_payloadCapacity;
    record.wholeFrameBytes = m_frameSize;
    const bool wholeFrames = isEndpoint83();
    if (wholeFrames) m_controller->SendStreamReset();
    m_captureFailed = false;
    const uint32_t start = platform::timeGetTime();
    if (m_controller->OpenStreamHandle() != 0) {
        int failures = 0;
        for (;;) {
            const bool ok =
                wholeFrames
                    ? m_controller->ReadWholeFrame(&record) != 0
                    : m_controller->ReadFrameHeader(&record) != 0 && headerFillsFrame(record) &&
                          m_controller->ReadFramePayload(&record, kGrabPayloadTimeoutMs) != 0;
            if (ok) {
                fileFrame(true);
                break;
            }
            if (platform::timeGetTime() - start >= kEndpoint83GiveUpMs ||
                failures >= kEndpoint83TryLimit) {
                m_captureFailed = true;
                break;
            }
            ++failures;
            if (wholeFrames) m_controller->ResetPort();
        }
    } else {
        m_captureFailed = true;
    }
    m_controller->CloseStreamHandle();
    setThreadEnd();
    m_capturing = false;
    // 0: a frame is in slot 0. A grab that gave up says so instead of claiming a frame.
    return m_captureFailed ? 1 : 0;
}

// --- readers -----------------------------------------------------------------------------

int COrvaneU3Q7Base::WaitFrame(uint32_t ms) {
    if (m_captureFailed) return kWaitFailed;
    if (!m_ring.waitEvent(ms)) return kWaitTimeout;
    // The event is also set when the loop gives up.
    if (m_captureFailed) return kWaitFailed;
    return m_ring.hasNewFrame() ? kWaitFrameReady : kWaitTimeout;
}

int COrvaneU3Q7Base::CopyLatest(void* buffer, int orientationFlag) {
    return m_ring.copy(buffer, UINT64_MAX, false, orientationFlag, true) ? 0 : -1;
}

int COrvaneU3Q7Base::CopyLatestInto(void* buffer, uint64_t length, int orientationFlag) {
    return m_ring.copy(buffer, length, false, orientationFlag, true) ? 0 : -1;
}

int COrvaneU3Q7Base::CopyFrame(void* buffer, uint64_t length, int firstSlot, int orientationFlag) {
    return m_ring.copy(buffer, length, firstSlot != 0, orientationFlag, false) ? 1 : 0;
}

int COrvaneU3Q7Base::CopySnapshot(void* buffer) {
    if (buffer == nullptr) return -2;
    m_ring.copy(buffer, UINT64_MAX, true, 0, false);
    return 0;
}

}  // namespace orvane::device
