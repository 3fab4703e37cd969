// COrvane: one camera session, made by Orvane_Initialize and destroyed by Orvane_Release.
// It owns the device SDK object, the eighteen image buffers, the cached camera and image
// settings, the acquisition state and the error history.
//
// Threads: every public operation may be called from any application thread; the handle
// registry keeps the session alive while an operation runs. The operations that change the
// acquisition mode or its threads (capture, preview, recording, close, device selection,
// capture window) run one at a time under the lifecycle lock. Fields written by application
// threads and read by the acquisition thread are atomic, or guarded by the lock named at
// their declaration. Lock order: lifecycle lock, then pipeline lock, then frame lock, then
// mask lock (then the controller's register lock below); the delivery lock is taken alone or
// after the pipeline lock. The acquisition and recording threads never take the
// lifecycle lock, so its holder may wait for them.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "dialogs/Records.h"
#include "imaging/CDibImage.h"
#include "imaging/ColorFilters.h"
#include "imaging/MaskFilters.h"
#include "output/CAviWriter.h"
#include "platform/MessageWindow.h"
#include "platform/PreviewWindow.h"
#include "platform/Sync.h"
#include "platform/Thread.h"
#include "platform/WorkerPool.h"
#include "session/ConfigFile.h"
#include "session/ErrorHistory.h"
#include "transport/Imx178.h"

namespace orvane::device {
class COrvaneU3Q7Base;
class COrvaneUSB3Q7SimpleSdk;
}  // namespace orvane::device
namespace orvane::session::settings {
struct CameraValues;
}
namespace orvane::dialogs {
class ImageFilterSheet;
class AnalogGainSheet;
}  // namespace orvane::dialogs

namespace orvane::session {

using imaging::CDibImage;
using platform::WindowHandle;
// The camera's full frame: its sensor's pixel array.
using transport::imx178::kArrayHeight;
using transport::imx178::kArrayWidth;

// Owning deleter for the device SDK object, defined where the class is complete.
struct SdkDeleter {
    void operator()(device::COrvaneUSB3Q7SimpleSdk* sdk) const noexcept;
};

// Frame-information record posted with every frame; its layout is public.
struct FrameInfo {
    int32_t reserved = 0;
    int32_t width = 0;
    int32_t height = 0;
    int32_t bitsPerPixel = 0;
    int32_t frameRate = 0;
    void* buffer = nullptr;
};

// Image-processing settings: thirty values the pipeline reads and the image-filter dialog
// edits in place, by index (the dialog and the registry know them by these numbers).
struct ImageSettings {
    enum Index : int {
        kBrightness = dialogs::image::kBrightness,
        kContrast = dialogs::image::kContrast,
        kHue = dialogs::image::kHue,
        kSaturation = dialogs::image::kSaturation,
        kSharpness = dialogs::image::kSharpness,
        kGainRed = dialogs::image::kGainRed,
        kGainGreen = dialogs::image::kGainGreen,
        kGainBlue = dialogs::image::kGainBlue,
        kGamma = dialogs::image::kGamma,
        kBayerMode = dialogs::image::kBayerMode,
        kGrayMode = dialogs::image::kGrayMode,
        kGrayGainR = dialogs::image::kGrayGainR,      // then G1, G2, B
        kGrayOffsetR = dialogs::image::kGrayOffsetR,  // then G1, G2, B
        kBayerGainAuto = dialogs::image::kBayerGainAuto,
        kWhiteBalanceRequest1 = dialogs::image::kWhiteBalanceRequest1,
        kWhiteBalanceRequest2 = dialogs::image::kWhiteBalanceRequest2,
        kGrayOneShot = dialogs::image::kGrayAutoGain,
        kCount = dialogs::kImageValueCount
    };
    std::array<int32_t, kCount> v{};
    int32_t& operator[](int i) { return v[static_cast<size_t>(i)]; }
    int32_t operator[](int i) const { return v[static_cast<size_t>(i)]; }
};

// Camera (analog) settings the session sends to the device and pushes again whenever a
// camera is opened or acquisition is prepared; the analog-gain dialog knows them by index.
struct CameraSettings {
    enum Index : int {
        kGlobalGain = dialogs::camera::kGlobalGain,
        kColorGainGreen1 = dialogs::camera::kGreen1,
        kColorGainRed = dialogs::camera::kRed,
        kColorGainBlue = dialogs::camera::kBlue,
        kColorGainGreen2 = dialogs::camera::kGreen2,
        kExposure = dialogs::camera::kExposure,
        kMirrorV = dialogs::camera::kMirrorV,
        kMirrorH = dialogs::camera::kMirrorH,
        kAutoIris = dialogs::camera::kAutoIris,
        kBlackLevel = dialogs::camera::kBlackLevel,
        kPeltier = dialogs::camera::kPeltier,  // cooler on/off
        kShortExposure = dialogs::camera::kShortExposure,
        kGainMode = dialogs::camera::kGainMode,
        kCount = dialogs::kCameraValueCount
    };
    std::array<int32_t, kCount> v{};
    double exposureSeconds = 0.0;
    int32_t& operator[](int i) { return v[static_cast<size_t>(i)]; }
    int32_t operator[](int i) const { return v[static_cast<size_t>(i)]; }
};

// Capture geometry; the registry names are "TH", "TV", "EH", "EV", "EHS", "EVS", "Buf".
struct CaptureGeometry {
    int32_t totalWidth = kArrayWidth;
    int32_t totalHeight = kArrayHeight;
    int32_t width = kArrayWidth;
    int32_t height = kArrayHeight;
    int32_t xStart = 0;
    int32_t yStart = 0;
    int32_t bufferCount = 4;
};

struct PreviewRect {
    int32_t left = 0;
    int32_t top = 0;
    int32_t right = kArrayWidth;
    int32_t bottom = kArrayHeight;
};

// Roles of the eighteen image buffers, in declaration order.
enum BufferRole : int {
    kRaw8 = 0,
    kRaw16,
    kOut24,
    kOut32,
    kOut48,
    kOut64,
    kWork,
    kDisplay,
    kDark8,
    kBright8,
    kDark16,
    kBright16,
    kHot8,
    kDead8,
    kHot16,
    kDead16,
    kMarks8,
    kMarks16,
    kBufferCount
};

class COrvane {
  public:
    COrvane();
    virtual ~COrvane();
    COrvane(const COrvane&) = delete;
    COrvane& operator=(const COrvane&) = delete;

    // ---- Lifecycle and device selection
    int Initialize(WindowHandle window);
    int SetDeviceNumber(int number);
    int EnumDevice(char (*names)[256]);
    int EnumDeviceW(char16_t (*names)[256]);
    int GetDeviceName(int index, char* text, int size);
    int GetDeviceNameW(int index, char16_t* text, int size);

    // ---- General
    int GetLastError() { return history_.pop(); }
    int GetStatus() { return 0; }
    int GetCameraInfo(void* record);

    // ---- Acquisition and output
    int Capture();
    int Preview();
    int CallBackPreview(WindowHandle window, void* buffer, int size, int rowOrder);
    int StartPreview();
    int StopPreview();
    int Close();
    int SnapShot(void* buffer, int size, int rowOrder);
    int GetImage(void* buffer, int size, int rowOrder);
    int SetWaitTime(int ms);
    int GetWaitTime() const { return waitTime_.load(); }
    int SetPreviewWindow(WindowHandle parent, int left, int top, int right, int bottom);
    int SaveImage(const char* path, int format);
    int Record(const char* path, int durationMs, int show);

    // ---- Geometry and format
    int SetCaptureWindow(int width, int height);
    int SetCaptureWindowEx(int totalWidth, int xStart, int width, int totalHeight, int yStart,
                           int height);
    int GetCaptureWindowEx(int* totalWidth, int* xStart, int* width, int* totalHeight, int* yStart,
                           int* height);
    int Width();
    int Height();
    int SetColorMode(int bitsPerPixel);
    int GetColorMode() const;
    int SetSubSample(int code);
    int GetSubSample() const { return subSample_.load(); }
    int SetMirrorH(int on);
    int SetMirrorV(int on);
    int GetMirrorH();
    int GetMirrorV();

    // ---- Exposure, gain and options
    int SetFilterValue(int id, int value);
    int GetFilterValue(int id, int* ok);
    int SetExposureTimeEx(double seconds);
    double GetExposureTimeEx(int* ok);
    int SetRealExposureTime(int value);
    int GetRealExposureTime(int* ok);
    int SetAutoIris(int mode);
    int GetAutoIris(int* ok);
    int SetSamplingRate(int value);
    int GetSamplingRate(int* value);
    double GetTemperatureEx(int* ok);

    // ---- Registers and configuration memory
    int FpgaReadRegister(int address, int* ok);
    int FpgaWriteRegister(int address, int value);
    int ReadRegister(int address, int* ok);
    int ReadRegisterEx(int address, int* ok);
    int WriteRegister(int address, int value);
    int WriteRegisterEx(int address, int value);
    int ReadSromID(int address, int* ok);
    int WriteSromID(int address, int value);
    int GetIOPort(unsigned char* value);
    int SetIOPort(unsigned char value);

    // ---- Files and masks
    int LoadConfigFile(const char* path);
    int LoadMaskFile(const char* path);
    int SaveMaskFile(const char* path);
    int UpdateMaskData(int mode);

    // ---- Dialogs
    int SetCameraDlg(WindowHandle parent);
    int SetImageDlg(WindowHandle parent);
    int SetAnalogDlg(WindowHandle parent);

    // ---- Operations this camera does not offer
    int NotOffered();    // posts 11 without recording, returns 0
    int ConfigFilter();  // records 11, returns -1
    int TextExchange();  // records 11, returns 0

    // Records code (and posts it to the application window). Any thread.
    void RecordError(int code) { history_.record(code); }
    const ErrorHistory& history() const { return history_; }
    // The configuration list as loaded by LoadConfigFile (a copy). Any thread.
    std::vector<ConfigEntry> configEntries() {
        platform::LockGuard lock(frameLock_);
        return config_;
    }
    bool hasDevice() const { return sdk_ != nullptr; }

  private:
    // Pushes the cached camera settings to the opened device (gains, exposure, mirrors,
    // supported options), in the order the device expects them.
    void PushCameraSettings();
    // Global gain, the four colour gains and the exposure, in the order the device takes them.
    void PushGainsAndExposure(const CameraSettings& c);
    // A copy of the cached camera settings, taken under the frame lock.
    CameraSettings CameraSettingsCopy();
    // The settings loaders and savers of the current device number.
    void LoadDeviceSettings();
    void SaveDeviceSettings();
    // Takes the stream-format values stored for camera `number` (colour, subsampling, wait
    // time, clock) over, the current ones standing for what is not stored; returns them.
    settings::CameraValues LoadStoredCameraValues(int number);
    // Validates a capture geometry the way acquisition does before it starts.
    static bool GeometryValid(const CaptureGeometry& g, int subSample);
    // Acquisition (Acquisition.cpp). The *Locked forms are the operations of the same name
    // for a caller that holds lifecycleLock_.
    int CaptureLocked() ORVANE_REQUIRES(lifecycleLock_);
    int SetDeviceNumberLocked(int number) ORVANE_REQUIRES(lifecycleLock_);
    int StartPreviewLocked() ORVANE_REQUIRES(lifecycleLock_);
    int StopPreviewLocked() ORVANE_REQUIRES(lifecycleLock_);
    int CloseLocked() ORVANE_REQUIRES(lifecycleLock_);
    int Prepare();
    void AcquisitionLoop();
    // What one frame is processed with, copied from the session at the frame's start.
    struct FrameSettings {
        int color = 0;  // the prepared colour index
        ImageSettings image;
        CameraSettings camera;
        imaging::CaptureWindow window;
        // Hot pixels were suppressed while the frame was taken (RunPipeline skips the steps
        // up to them; none of the steps before them was on).
        bool hotPixelsTaken = false;
    };
    FrameSettings TakeFrameSettings() ORVANE_EXCLUDES(frameLock_);
    // Takes the newest frame into raw (repacked to its width); false when there is none.
    // When hot-pixel suppression is the first step to run, the frame is read where the ring
    // holds it and suppressed on the way into raw instead of copied first.
    bool TakeFrame(CDibImage& raw, FrameSettings& settings);
    // One frame through the processing steps, on the staged buffers, without the frame lock
    // (the steps that store results in the settings take it for that).
    void RunPipeline(CDibImage& raw, FrameSettings& settings) ORVANE_REQUIRES(pipelineLock_)
        ORVANE_EXCLUDES(frameLock_);
    void AutoIris(const CDibImage& raw) ORVANE_EXCLUDES(frameLock_);
    void SoftwareMirror(CDibImage& raw, const CameraSettings& camera);
    // Hands the staged raw and output buffers of a processed frame over to the application
    // side (they change places with the published ones). False, and nothing changed, when
    // the buffers were prepared anew in the meantime.
    bool PublishFrame(int colorIndex) ORVANE_REQUIRES(pipelineLock_, frameLock_);
    // The staged raw and output buffers of a colour index.
    CDibImage* StagedRaw(int colorIndex) ORVANE_REQUIRES(pipelineLock_);
    CDibImage* StagedOutput(int colorIndex) ORVANE_REQUIRES(pipelineLock_);
    // Copies the output of the colour mode to an application buffer; records 5 (and tells
    // the callback window) when the buffer is too small. Caller holds frameLock_.
    bool CopyOut(void* buffer, int size, int rowOrder) ORVANE_REQUIRES(frameLock_);
    // The same from a given image.
    bool CopyOutFrom(const CDibImage* image, void* buffer, int size, int rowOrder);
    void RecordingLoop(output::CAviWriter& avi);
    // ---- Preview window (Preview.cpp)
    // Makes the preview window when a parent or a non-empty rectangle is set. 1 when made or
    // when none is wanted or there is no display; 0 with error 4 recorded when it fails.
    int CreatePreviewWindow();
    void DestroyPreviewWindow();
    // Paints the processed frame into the preview window. Caller holds frameLock_.
    void DrawPreview() ORVANE_REQUIRES(frameLock_);
    // Sizes the display buffer to a drawable preview window. Caller holds frameLock_.
    void SizeDisplayBuffer(int colorIndex) ORVANE_REQUIRES(frameLock_);
    // Client size of a drawable (mapped, non-empty) preview window. Caller holds frameLock_.
    bool PreviewClientSize(int* width, int* height) ORVANE_REQUIRES(frameLock_);
    // The 8- or 24-bit picture of the colour index, converted if needed. Caller holds
    // frameLock_.
    CDibImage* PreviewSource(int colorIndex) ORVANE_REQUIRES(frameLock_);
    // 1, 2, 4 or 8 for a sub-sample code.
    static int subSampleFactor(int code);
    // Stops the recording thread and completes the file it was writing.
    void StopRecording() ORVANE_REQUIRES(lifecycleLock_);
    // The raw and output buffers of the prepared colour mode. Caller holds frameLock_.
    CDibImage* RawBuffer() ORVANE_REQUIRES(frameLock_);
    CDibImage* OutputBuffer() ORVANE_REQUIRES(frameLock_);
    // Sizes and fills the reference frames and defect maps on first use (dark references,
    // maps and marks 0; bright references at full scale). Caller holds maskLock_.
    bool EnsureMaskBuffers() ORVANE_REQUIRES(maskLock_);
    // Device defaults for the Gain loader.
    struct AnalogDefaultsView;
    device::COrvaneUSB3Q7SimpleSdk* dev() const { return sdk_.get(); }
    CaptureGeometry geometry() const {
        platform::LockGuard lock(geometryLock_);
        return geometry_;
    }
    void setGeometry(const CaptureGeometry& g) {
        platform::LockGuard lock(geometryLock_);
        geometry_ = g;
    }

    // Records code and returns 0: the common failure path.
    int fail(int code) {
        history_.record(code);
        return 0;
    }
    // A register read through the device's `read` (its FPGA or its sensor register read): the
    // value, with *ok 1 when it arrived; otherwise 0, *ok 0 and the failure recorded.
    int readDeviceRegister(int (device::COrvaneU3Q7Base::*read)(int, int*), int address, int* ok);

    // ---- Device and buffers
    std::unique_ptr<device::COrvaneUSB3Q7SimpleSdk, SdkDeleter> sdk_;
    // Made by Initialize. The frame images (raw, output, working copy, display) are guarded
    // by frameLock_, the mask's references, maps and marks by maskLock_: two locks for one
    // array, which the annotations cannot name per element.
    std::array<std::unique_ptr<CDibImage>, kBufferCount> images_;
    // Class name of the current preview window ("" without one).
    char previewClassName_[256] ORVANE_GUARDED_BY(frameLock_) = {};
    // ---- Preview window (Preview.cpp): made and destroyed by application threads, painted
    // by the acquisition thread.
    std::unique_ptr<platform::PreviewWindow> previewWindow_ ORVANE_GUARDED_BY(frameLock_);
    // A child of empty size, never drawn.
    bool previewEmpty_ ORVANE_GUARDED_BY(frameLock_) = false;
    // Where it was made.
    platform::PreviewPlacement previewMadeFor_ ORVANE_GUARDED_BY(frameLock_);

    // ---- Settings
    // Capture geometry and preview placement: set by application threads, copied out by
    // the operations that use them.
    mutable platform::Mutex geometryLock_;
    CaptureGeometry geometry_ ORVANE_GUARDED_BY(geometryLock_);
    ImageSettings image_;    // Guarded by frameLock_ while acquisition runs.
    CameraSettings camera_;  // Guarded by frameLock_ while acquisition runs.
    // ---- Settings dialogs (Dialogs.cpp): the open image filter and analog gain sheets, which
    // the pipeline asks to show the values it changed.
    dialogs::ImageFilterSheet* imageDialog_ ORVANE_GUARDED_BY(frameLock_) = nullptr;
    dialogs::AnalogGainSheet* analogDialog_ ORVANE_GUARDED_BY(frameLock_) = nullptr;

    // ---- Acquisition state
    std::atomic<int> mode_{0};     // 0 idle, 1 preview, 2 capture.
    std::atomic<int> runFlag_{0};  // Cleared to stop the acquisition thread.
    std::atomic<bool> recording_{false};
    // Recording thread while it runs; otherwise the holder of lifecycleLock_.
    uint32_t recordStart_ = 0;
    uint32_t recordEnd_ = 0;
    uint32_t recordedFrames_ = 0;
    std::atomic<bool> newFrameForRecorder_{false};
    std::atomic<bool> frameProcessed_{false};
    WindowHandle previewParent_ ORVANE_GUARDED_BY(geometryLock_) = nullptr;
    PreviewRect previewRect_ ORVANE_GUARDED_BY(geometryLock_);
    std::atomic<WindowHandle> callbackWindow_{nullptr};
    void* appBuffer_ ORVANE_GUARDED_BY(deliveryLock_) = nullptr;
    int appBufferSize_ ORVANE_GUARDED_BY(deliveryLock_) = 0;
    int appRowOrder_ ORVANE_GUARDED_BY(deliveryLock_) = 0;
    // Frame-information records posted with frames. Several are kept in turn so that the
    // record an application reads for one frame is not rewritten by the next few frames.
    static constexpr int kFrameInfoSlots = 8;
    std::array<FrameInfo, kFrameInfoSlots> frameInfo_ ORVANE_GUARDED_BY(frameLock_){};
    int frameInfoNext_ ORVANE_GUARDED_BY(frameLock_) = 0;
    imaging::CaptureWindow pipelineWindow_ ORVANE_GUARDED_BY(frameLock_);
    // The twins of the raw and output buffers (roles kRaw8 ... kOut64) that the next frame is
    // processed in, and the caches of the processing steps.
    std::array<std::unique_ptr<CDibImage>, kOut64 + 1> staged_ ORVANE_GUARDED_BY(pipelineLock_);
    imaging::HueSaturation hueSaturation_ ORVANE_GUARDED_BY(pipelineLock_);
    imaging::ToneTableCache toneTables_ ORVANE_GUARDED_BY(pipelineLock_);
    imaging::SharpenWorkspace sharpenSpace_ ORVANE_GUARDED_BY(pipelineLock_);
    // Made by Prepare (under pipelineLock_), used under pipelineLock_.
    std::unique_ptr<platform::WorkerPool> workers_;
    platform::Thread acquisitionThread_;  // Started and joined under lifecycleLock_.
    // The AVI file being written: filled by the recording thread while it runs; set and
    // reset under lifecycleLock_, and only while no recording thread runs.
    std::unique_ptr<output::CAviWriter> avi_ ORVANE_GUARDED_BY(lifecycleLock_);
    platform::Thread recordingThread_;  // Started and joined under lifecycleLock_.
    std::atomic<int> colorIndex_{0};
    std::atomic<int> subSample_{0};
    std::atomic<int> waitTime_{10};
    std::atomic<int> clock_{0};
    int frameCounter_ = 0;       // Acquisition thread only.
    uint32_t frameWindowStart_;  // Acquisition thread only (set at construction).
    std::atomic<int> frameRate_{0};
    int snapshotTimeout_ = 3000;
    std::atomic<int> deviceNumber_{0};
    std::atomic<bool> deviceSelectedBefore_{false};
    // Set once a camera was opened in this session: settings are saved only then, so a
    // session that never saw a camera does not overwrite stored values with blanks.
    std::atomic<bool> cameraOpened_{false};
    ErrorHistory history_;
    std::atomic<int> maskFilter_{0};
    std::atomic<int> dotFilter_{0};
    std::atomic<bool> maskUpdating_{false};
    std::vector<ConfigEntry> config_ ORVANE_GUARDED_BY(frameLock_);

    // Colour index the buffers were last prepared for: the one frames are processed and
    // delivered in until the next preparation.
    int preparedColor_ ORVANE_GUARDED_BY(frameLock_) = 0;

    // ---- Locks
    // Serialises the operations that change the acquisition mode, its threads and the device
    // selection. Never taken by the acquisition or recording thread.
    platform::Mutex lifecycleLock_;
    // Held by whoever processes a frame (the acquisition thread for each frame, SnapShot,
    // Prepare while it sizes the buffers): the staged buffers and the caches of the steps.
    // Taken before frameLock_.
    platform::Mutex pipelineLock_;
    // Re-entrant: the settings sheets take it on the threads that refresh them, which the
    // pipeline reaches while it holds the lock. Held by the acquisition thread only to copy
    // the settings at a frame's start, to store what a step measured, and to hand a
    // finished frame over.
    platform::CriticalSection frameLock_;
    // The application buffer of a callback preview and the copy into it. Taken alone, or
    // after pipelineLock_.
    platform::Mutex deliveryLock_;
    platform::Mutex maskLock_;
};

}  // namespace orvane::session
