// Saving the current image and recording processed frames into an AVI file.
#include <cstring>

#include "device/COrvaneUSB3Q7SimpleSdk.h"
#include "output/AviFrame.h"
#include "output/ImageFileWriter.h"
#include "platform/Time.h"
#include "session/COrvane.h"

namespace orvane::session {
namespace {
constexpr uint32_t kRecordPollMs = 10;
constexpr uint32_t kInitialRecordRate = 3000;  // 30 frames per second, in hundredths
}  // namespace

int COrvane::SaveImage(const char* path, int format) {
    if (!sdk_ || !frameProcessed_.load()) return fail(kErrState);
    // Only the copy is made under the frame lock: encoding a full frame takes far longer
    // than a frame period and must not stall the preview or the recorder.
    CDibImage copy;
    {
        platform::LockGuard lock(frameLock_);
        const CDibImage* out = OutputBuffer();
        if (out == nullptr || out->empty()) return fail(kErrState);
        if (!output::CopyImageForSave(copy, *out)) return fail(kErrMemory);
    }
    return output::SaveImageFile(copy, path, format);
}

int COrvane::Record(const char* path, int durationMs, int show) {
    if (path == nullptr || path[0] == '\0') return fail(kErrArgument);
    platform::LockGuard lifecycle(lifecycleLock_);
    if (!sdk_) return fail(kErrState);
    {
        platform::LockGuard delivery(deliveryLock_);
        callbackWindow_.store(nullptr);
        appBuffer_ = nullptr;
        appBufferSize_ = 0;
        appRowOrder_ = 0;
    }
    // A recording still running (or one that ended by itself) is completed first.
    StopRecording();
    // Without a display there is no preview window to show: the recording runs without one.
    if (show != 0 && !CreatePreviewWindow()) return 0;
    if (!StartPreviewLocked()) {
        CloseLocked();
        return fail(kErrConversion);
    }
    int width = 0, height = 0, bits = 0;
    {
        platform::LockGuard lock(frameLock_);
        if (const CDibImage* out = OutputBuffer()) {
            width = out->width();
            height = out->height();
            bits = out->bitCount();
        }
    }
    auto writer = std::make_unique<output::CAviWriter>();
    if (!writer->open(path, width, height, static_cast<uint16_t>(bits), kInitialRecordRate)) {
        CloseLocked();
        return fail(kErrConversion);
    }
    avi_ = std::move(writer);
    recordStart_ = 0;
    recordEnd_ = static_cast<uint32_t>(durationMs < 0 ? 0 : durationMs);
    recordedFrames_ = 0;
    newFrameForRecorder_.store(false);
    // The flag is set before the thread starts, so the thread cannot see it still clear.
    recording_.store(true);
    // The thread gets the writer it is to fill: the member is replaced only by the holder of
    // the lifecycle lock, after the thread has been joined.
    output::CAviWriter* target = avi_.get();
    if (!recordingThread_.start([this, target] { RecordingLoop(*target); })) {
        recording_.store(false);
        CloseLocked();
        return fail(kErrThread);
    }
    return 1;
}

void COrvane::RecordingLoop(output::CAviWriter& avi) {
    CDibImage frame24;
    while (recording_.load()) {
        platform::sleepMs(kRecordPollMs);
        if (!newFrameForRecorder_.exchange(false)) continue;
        const uint32_t t = platform::timeGetTime();
        if (recordStart_ == 0) {
            recordStart_ = t;
            recordEnd_ += t;
        }
        bool converted = false;
        {
            platform::LockGuard lock(frameLock_);
            if (const CDibImage* out = OutputBuffer(); out != nullptr && !out->empty())
                converted = output::MakeAviFrame(*out, frame24) != 0;
        }
        // Written outside the frame lock: the disk may be slower than the camera.
        if (converted && avi.appendFrame(frame24)) ++recordedFrames_;
        if (avi.failed()) {
            // Disk full or similar: keep what was written, finished with its index.
            history_.record(kErrConversion);
            break;
        }
        if (static_cast<int32_t>(recordEnd_ - t) < 0) break;
    }
    avi.setRate(
        output::CAviWriter::measuredRate(recordedFrames_, platform::timeGetTime() - recordStart_));
    avi.finish();
    recording_.store(false);
}

void COrvane::StopRecording() {
    recording_.store(false);
    recordingThread_.join();
    // The thread completes its file as it ends; a writer that never got a thread (or was
    // left by one) is finished here so the file always has its index.
    if (avi_) {
        if (avi_->isOpen()) avi_->finish();
        avi_.reset();
    }
}

}  // namespace orvane::session
