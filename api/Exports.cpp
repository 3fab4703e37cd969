// The exported C functions. Each one finds its session through the handle registry and
// forwards to it; an unknown or released handle yields the function's failure value with
// nothing recorded. No exception ever leaves an export.
#include <exception>
#include <memory>
#include <new>
#include <utility>

#include "OrvaneSdk.h"
#include "api/CSdkChain.h"
#include "api/FilterWrappers.h"
#include "platform/MessageWindow.h"
#include "platform/TextConv.h"
#include "session/COrvane.h"

using orvane::api::CSdkChain;
using orvane::session::COrvane;

namespace {

// The reason recorded for an exception that reached the export frame: out of memory for an
// allocation failure, otherwise that the operation was not possible in the current state.
int reasonOf(std::exception_ptr e) noexcept {
    try {
        std::rethrow_exception(std::move(e));
    } catch (const std::bad_alloc&) {
        return orvane::session::kErrMemory;
    } catch (...) {
        return orvane::session::kErrState;
    }
}

// Looks up the session and runs body on it; failure for an unknown handle. An exception
// must never unwind into C code, where it would end the application: whatever escapes the
// session is caught here, recorded in the session's history, and the export fails.
template <typename R, typename Body>
R withSession(ORVANE_HANDLE handle, R failure, Body&& body) noexcept {
    std::shared_ptr<COrvane> session;
    try {
        session = CSdkChain::instance().Lookup(handle);
        if (!session) return failure;
        return body(*session);
    } catch (...) {
        if (session) {
            try {
                session->RecordError(reasonOf(std::current_exception()));
            } catch (...) {
                // Recording itself failed (no memory for the message): the result says it.
            }
        }
        return failure;
    }
}

// The public header's types for windows and wide text, as the layers below take them: HWND
// is a real window handle on Windows and a message window on POSIX, both opaque below this
// layer; wide text is UTF-16 on both (wchar_t on Windows, char16_t on POSIX).
static_assert(sizeof(OrvaneWChar) == sizeof(char16_t), "wide strings are UTF-16");

orvane::platform::WindowHandle windowOf(HWND window) {
    return reinterpret_cast<orvane::platform::WindowHandle>(window);
}
const char16_t* utf16(const OrvaneWChar* text) {
    return reinterpret_cast<const char16_t*>(text);
}
char16_t* utf16(OrvaneWChar* text) {
    return reinterpret_cast<char16_t*>(text);
}
char16_t (*utf16(OrvaneWChar (*names)[256]))[256] {
    return reinterpret_cast<char16_t(*)[256]>(names);
}

// Converts a wide path for the narrow path of an export; records 12 when it cannot.
template <typename Body>
int withNarrowPath(ORVANE_HANDLE handle, const OrvaneWChar* path, Body&& body) noexcept {
    return withSession(handle, 0, [&](COrvane& s) {
        char narrow[orvane::platform::kAnsiBufferSize];
        if (!orvane::platform::wideToAnsi(utf16(path), narrow, sizeof narrow)) {
            s.RecordError(orvane::session::kErrConversion);
            return 0;
        }
        return body(s, narrow);
    });
}

constexpr int low8(int v) {
    return v & 0xFF;
}
constexpr int low12(int v) {
    return v & 0xFFF;
}
constexpr int low16(int v) {
    return v & 0xFFFF;
}

}  // namespace

extern "C" {

// ---- Lifecycle and general -------------------------------------------------------------

ORVANE_API ORVANE_HANDLE ORVANE_CALL Orvane_Initialize(HWND window) {
    try {
        const uint32_t handle = CSdkChain::instance().CreateSession();
        if (handle == 0) return 0;
        // The session's own result is not reported: a handle is returned even when the
        // camera could not be set up, and the reason is in its error history.
        withSession(handle, 0, [&](COrvane& s) { return s.Initialize(windowOf(window)); });
        return handle;
    } catch (...) {
        return 0;
    }
}

ORVANE_API int ORVANE_CALL Orvane_Release(ORVANE_HANDLE handle) {
    try {
        return CSdkChain::instance().Release(handle) ? 1 : 0;
    } catch (...) {
        return 0;
    }
}

ORVANE_API unsigned int ORVANE_CALL Orvane_GetDllVersion(void) {
    return 0x01F80520u;
}

ORVANE_API int ORVANE_CALL Orvane_GetLastError(ORVANE_HANDLE handle) {
    return withSession(handle, 0, [](COrvane& s) { return s.GetLastError(); });
}

ORVANE_API int ORVANE_CALL Orvane_GetStatus(ORVANE_HANDLE handle) {
    return withSession(handle, 0, [](COrvane& s) { return s.GetStatus(); });
}

ORVANE_API int ORVANE_CALL Orvane_GetCameraInfo(ORVANE_HANDLE handle, OrvaneCameraInfo* info) {
    return withSession(handle, 0, [&](COrvane& s) { return s.GetCameraInfo(info); });
}

// ---- Device selection ------------------------------------------------------------------

ORVANE_API int ORVANE_CALL Orvane_EnumDevice(ORVANE_HANDLE handle, char (*names)[256]) {
    return withSession(handle, 0, [&](COrvane& s) { return s.EnumDevice(names); });
}

ORVANE_API int ORVANE_CALL Orvane_EnumDeviceW(ORVANE_HANDLE handle, OrvaneWChar (*names)[256]) {
    return withSession(handle, 0, [&](COrvane& s) { return s.EnumDeviceW(utf16(names)); });
}

ORVANE_API int ORVANE_CALL Orvane_SetDeviceNumber(ORVANE_HANDLE handle, int number) {
    return withSession(handle, 0, [&](COrvane& s) { return s.SetDeviceNumber(number); });
}

ORVANE_API int ORVANE_CALL Orvane_GetDeviceName(ORVANE_HANDLE handle, int index, char* text,
                                                int size) {
    return withSession(handle, 0, [&](COrvane& s) { return s.GetDeviceName(index, text, size); });
}

ORVANE_API int ORVANE_CALL Orvane_GetDeviceNameW(ORVANE_HANDLE handle, int index, OrvaneWChar* text,
                                                 int size) {
    return withSession(handle, 0,
                       [&](COrvane& s) { return s.GetDeviceNameW(index, utf16(text), size); });
}

// ---- Acquisition and output ------------------------------------------------------------

ORVANE_API int ORVANE_CALL Orvane_Capture(ORVANE_HANDLE handle) {
    return withSession(handle, 0, [](COrvane& s) { return s.Capture(); });
}

ORVANE_API int ORVANE_CALL Orvane_Preview(ORVANE_HANDLE handle) {
    return withSession(handle, 0, [](COrvane& s) { return s.Preview(); });
}

ORVANE_API int ORVANE_CALL Orvane_CallBackPreview(ORVANE_HANDLE handle, HWND window, void* buffer,
                                                  int size, int rowOrder) {
    return withSession(handle, 0, [&](COrvane& s) {
        return s.CallBackPreview(windowOf(window), buffer, size, rowOrder);
    });
}

ORVANE_API int ORVANE_CALL Orvane_StartPreview(ORVANE_HANDLE handle) {
    return withSession(handle, 0, [](COrvane& s) { return s.StartPreview(); });
}

ORVANE_API int ORVANE_CALL Orvane_StopPreview(ORVANE_HANDLE handle) {
    return withSession(handle, 0, [](COrvane& s) { return s.StopPreview(); });
}

ORVANE_API int ORVANE_CALL Orvane_Close(ORVANE_HANDLE handle) {
    return withSession(handle, 0, [](COrvane& s) { return s.Close(); });
}

ORVANE_API int ORVANE_CALL Orvane_SnapShot(ORVANE_HANDLE handle, void* buffer, int size,
                                           int rowOrder) {
    return withSession(handle, 0, [&](COrvane& s) { return s.SnapShot(buffer, size, rowOrder); });
}

ORVANE_API int ORVANE_CALL Orvane_GetImage(ORVANE_HANDLE handle, void* buffer, int size,
                                           int rowOrder) {
    return withSession(handle, 0, [&](COrvane& s) { return s.GetImage(buffer, size, rowOrder); });
}

ORVANE_API int ORVANE_CALL Orvane_SetWaitTime(ORVANE_HANDLE handle, int milliseconds) {
    return withSession(handle, 0, [&](COrvane& s) { return s.SetWaitTime(milliseconds); });
}

ORVANE_API int ORVANE_CALL Orvane_GetWaitTime(ORVANE_HANDLE handle) {
    return withSession(handle, -1, [](COrvane& s) { return s.GetWaitTime(); });
}

ORVANE_API int ORVANE_CALL Orvane_SetPreviewWindow(ORVANE_HANDLE handle, HWND parent, int left,
                                                   int top, int right, int bottom) {
    return withSession(handle, 0, [&](COrvane& s) {
        return s.SetPreviewWindow(windowOf(parent), left, top, right, bottom);
    });
}

ORVANE_API int ORVANE_CALL Orvane_SaveImage(ORVANE_HANDLE handle, const char* path, int format) {
    return withSession(handle, 0, [&](COrvane& s) { return s.SaveImage(path, format); });
}

ORVANE_API int ORVANE_CALL Orvane_SaveImageW(ORVANE_HANDLE handle, const OrvaneWChar* path,
                                             int format) {
    return withNarrowPath(handle, path,
                          [&](COrvane& s, const char* p) { return s.SaveImage(p, format); });
}

ORVANE_API int ORVANE_CALL Orvane_Record(ORVANE_HANDLE handle, const char* path, int durationMs,
                                         int showWindow) {
    return withSession(handle, 0,
                       [&](COrvane& s) { return s.Record(path, durationMs, showWindow); });
}

ORVANE_API int ORVANE_CALL Orvane_RecordW(ORVANE_HANDLE handle, const OrvaneWChar* path,
                                          int durationMs, int showWindow) {
    return withNarrowPath(handle, path, [&](COrvane& s, const char* p) {
        return s.Record(p, durationMs, showWindow);
    });
}

// ---- Geometry and format ---------------------------------------------------------------

ORVANE_API int ORVANE_CALL Orvane_SetCaptureWindow(ORVANE_HANDLE handle, int width, int height) {
    return withSession(handle, 0, [&](COrvane& s) { return s.SetCaptureWindow(width, height); });
}

ORVANE_API int ORVANE_CALL Orvane_SetCaptureWindowEx(ORVANE_HANDLE handle, int totalWidth,
                                                     int xStart, int width, int totalHeight,
                                                     int yStart, int height) {
    return withSession(handle, 0, [&](COrvane& s) {
        return s.SetCaptureWindowEx(totalWidth, xStart, width, totalHeight, yStart, height);
    });
}

ORVANE_API int ORVANE_CALL Orvane_GetCaptureWindowEx(ORVANE_HANDLE handle, int* totalWidth,
                                                     int* xStart, int* width, int* totalHeight,
                                                     int* yStart, int* height) {
    return withSession(handle, 0, [&](COrvane& s) {
        return s.GetCaptureWindowEx(totalWidth, xStart, width, totalHeight, yStart, height);
    });
}

ORVANE_API int ORVANE_CALL Orvane_Width(ORVANE_HANDLE handle) {
    return withSession(handle, 0, [](COrvane& s) { return s.Width(); });
}

ORVANE_API int ORVANE_CALL Orvane_Height(ORVANE_HANDLE handle) {
    return withSession(handle, 0, [](COrvane& s) { return s.Height(); });
}

ORVANE_API int ORVANE_CALL Orvane_SetColorMode(ORVANE_HANDLE handle, int bitsPerPixel) {
    return withSession(handle, 0, [&](COrvane& s) { return s.SetColorMode(bitsPerPixel); });
}

ORVANE_API int ORVANE_CALL Orvane_GetColorMode(ORVANE_HANDLE handle) {
    return withSession(handle, -1, [](COrvane& s) { return s.GetColorMode(); });
}

ORVANE_API int ORVANE_CALL Orvane_SetSubSample(ORVANE_HANDLE handle, int code) {
    return withSession(handle, 0, [&](COrvane& s) { return s.SetSubSample(code); });
}

ORVANE_API int ORVANE_CALL Orvane_GetSubSample(ORVANE_HANDLE handle) {
    return withSession(handle, -1, [](COrvane& s) { return s.GetSubSample(); });
}

ORVANE_API int ORVANE_CALL Orvane_SetMirrorH(ORVANE_HANDLE handle, int on) {
    return withSession(handle, 0, [&](COrvane& s) { return s.SetMirrorH(on); });
}

ORVANE_API int ORVANE_CALL Orvane_SetMirrorV(ORVANE_HANDLE handle, int on) {
    return withSession(handle, 0, [&](COrvane& s) { return s.SetMirrorV(on); });
}

ORVANE_API int ORVANE_CALL Orvane_GetMirrorH(ORVANE_HANDLE handle) {
    return withSession(handle, 0, [](COrvane& s) { return s.GetMirrorH(); });
}

ORVANE_API int ORVANE_CALL Orvane_GetMirrorV(ORVANE_HANDLE handle) {
    return withSession(handle, 0, [](COrvane& s) { return s.GetMirrorV(); });
}

// ---- Exposure, gain and camera options -------------------------------------------------

ORVANE_API int ORVANE_CALL Orvane_SetFilterValue(ORVANE_HANDLE handle, int id, int value) {
    return withSession(handle, 0, [&](COrvane& s) { return s.SetFilterValue(id, value); });
}

ORVANE_API int ORVANE_CALL Orvane_GetFilterValue(ORVANE_HANDLE handle, int id, int* ok) {
    return withSession(handle, 0, [&](COrvane& s) { return s.GetFilterValue(id, ok); });
}

#define ORVANE_DEFINE_FILTER_WRAPPER(name, id)                                     \
    ORVANE_API int ORVANE_CALL Orvane_Set##name(ORVANE_HANDLE handle, int value) { \
        return Orvane_SetFilterValue(handle, id, value);                           \
    }                                                                              \
    ORVANE_API int ORVANE_CALL Orvane_Get##name(ORVANE_HANDLE handle, int* ok) {   \
        return Orvane_GetFilterValue(handle, id, ok);                              \
    }
ORVANE_FILTER_WRAPPERS(ORVANE_DEFINE_FILTER_WRAPPER)
#undef ORVANE_DEFINE_FILTER_WRAPPER

ORVANE_API int ORVANE_CALL Orvane_GetTemperature(ORVANE_HANDLE handle, int* ok) {
    return Orvane_GetFilterValue(handle, ORVANE_FILTER_TEMPERATURE_ID, ok);
}

// Channels 1 to 4 map onto identifiers that the filter table does not know (so they are
// refused as such); any other channel is ignored without a record.
ORVANE_API int ORVANE_CALL Orvane_SetChannelGain(ORVANE_HANDLE handle, int channel, int value) {
    if (channel < 1 || channel > 4) return 0;
    return Orvane_SetFilterValue(handle, 28 + channel, value);
}

ORVANE_API int ORVANE_CALL Orvane_GetChannelGain(ORVANE_HANDLE handle, int channel, int* ok) {
    if (channel < 1 || channel > 4) return 0;
    return Orvane_GetFilterValue(handle, 28 + channel, ok);
}

ORVANE_API int ORVANE_CALL Orvane_SetChannelOffset(ORVANE_HANDLE handle, int channel, int value) {
    if (channel < 1 || channel > 4) return 0;
    return Orvane_SetFilterValue(handle, 32 + channel, value);
}

ORVANE_API int ORVANE_CALL Orvane_GetChannelOffset(ORVANE_HANDLE handle, int channel, int* ok) {
    if (channel < 1 || channel > 4) return 0;
    return Orvane_GetFilterValue(handle, 32 + channel, ok);
}

ORVANE_API int ORVANE_CALL Orvane_SetExposureTimeEx(ORVANE_HANDLE handle, double seconds) {
    return withSession(handle, 0, [&](COrvane& s) { return s.SetExposureTimeEx(seconds); });
}

ORVANE_API double ORVANE_CALL Orvane_GetExposureTimeEx(ORVANE_HANDLE handle, int* ok) {
    return withSession(handle, 0.0, [&](COrvane& s) { return s.GetExposureTimeEx(ok); });
}

ORVANE_API int ORVANE_CALL Orvane_SetRealExposureTime(ORVANE_HANDLE handle, int microseconds) {
    return withSession(handle, 0, [&](COrvane& s) { return s.SetRealExposureTime(microseconds); });
}

ORVANE_API int ORVANE_CALL Orvane_GetRealExposureTime(ORVANE_HANDLE handle, int* ok) {
    return withSession(handle, 0, [&](COrvane& s) { return s.GetRealExposureTime(ok); });
}

ORVANE_API int ORVANE_CALL Orvane_SetAutoIris(ORVANE_HANDLE handle, int mode) {
    return withSession(handle, 0, [&](COrvane& s) { return s.SetAutoIris(mode); });
}

ORVANE_API int ORVANE_CALL Orvane_GetAutoIris(ORVANE_HANDLE handle, int* ok) {
    return withSession(handle, 0, [&](COrvane& s) { return s.GetAutoIris(ok); });
}

ORVANE_API int ORVANE_CALL Orvane_SetSamplingRate(ORVANE_HANDLE handle, int value) {
    return withSession(handle, 0, [&](COrvane& s) { return s.SetSamplingRate(value); });
}

ORVANE_API int ORVANE_CALL Orvane_GetSamplingRate(ORVANE_HANDLE handle, int* value) {
    return withSession(handle, 0, [&](COrvane& s) { return s.GetSamplingRate(value); });
}

// The video format shares the sampling rate's body.
ORVANE_API int ORVANE_CALL Orvane_GetVideoFormat(ORVANE_HANDLE handle, int* value) {
    return Orvane_GetSamplingRate(handle, value);
}

ORVANE_API double ORVANE_CALL Orvane_GetTemperatureEx(ORVANE_HANDLE handle, int* ok) {
    return withSession(handle, 0.0, [&](COrvane& s) { return s.GetTemperatureEx(ok); });
}

// ---- Registers and configuration memory ------------------------------------------------

ORVANE_API int ORVANE_CALL Orvane_Fpga_ReadRegister(ORVANE_HANDLE handle, int address, int* ok) {
    return withSession(handle, 0,
                       [&](COrvane& s) { return s.FpgaReadRegister(low8(address), ok); });
}

ORVANE_API int ORVANE_CALL Orvane_Fpga_WriteRegister(ORVANE_HANDLE handle, int address, int value) {
    return withSession(
        handle, 0, [&](COrvane& s) { return s.FpgaWriteRegister(low8(address), low16(value)); });
}

ORVANE_API int ORVANE_CALL Orvane_ReadRegister(ORVANE_HANDLE handle, int address, int* ok) {
    return withSession(handle, 0, [&](COrvane& s) { return s.ReadRegister(low8(address), ok); });
}

ORVANE_API int ORVANE_CALL Orvane_ReadRegisterEx(ORVANE_HANDLE handle, int address, int* ok) {
    return withSession(handle, 0, [&](COrvane& s) { return s.ReadRegisterEx(address, ok); });
}

ORVANE_API int ORVANE_CALL Orvane_WriteRegister(ORVANE_HANDLE handle, int address, int value) {
    return withSession(handle, 0,
                       [&](COrvane& s) { return s.WriteRegister(low8(address), low16(value)); });
}

ORVANE_API int ORVANE_CALL Orvane_WriteRegisterEx(ORVANE_HANDLE handle, int address, int value) {
    return withSession(handle, 0, [&](COrvane& s) { return s.WriteRegisterEx(address, value); });
}

ORVANE_API int ORVANE_CALL Orvane_ReadSromID(ORVANE_HANDLE handle, int address, int* ok) {
    return withSession(handle, 0, [&](COrvane& s) { return s.ReadSromID(low12(address), ok); });
}

ORVANE_API int ORVANE_CALL Orvane_WriteSromID(ORVANE_HANDLE handle, int address, int value) {
    return withSession(handle, 0, [&](COrvane& s) { return s.WriteSromID(low12(address), value); });
}

ORVANE_API int ORVANE_CALL Orvane_GetIOPort(ORVANE_HANDLE handle, unsigned char* value) {
    return withSession(handle, 0, [&](COrvane& s) { return s.GetIOPort(value); });
}

ORVANE_API int ORVANE_CALL Orvane_SetIOPort(ORVANE_HANDLE handle, unsigned char value) {
    return withSession(handle, 0, [&](COrvane& s) { return s.SetIOPort(value); });
}

// ---- Files and masks -------------------------------------------------------------------

ORVANE_API int ORVANE_CALL Orvane_LoadConfigFileA(ORVANE_HANDLE handle, const char* path) {
    return withSession(handle, 0, [&](COrvane& s) { return s.LoadConfigFile(path); });
}

ORVANE_API int ORVANE_CALL Orvane_LoadConfigFileW(ORVANE_HANDLE handle, const OrvaneWChar* path) {
    return withNarrowPath(handle, path,
                          [](COrvane& s, const char* p) { return s.LoadConfigFile(p); });
}

ORVANE_API int ORVANE_CALL Orvane_LoadMaskFile(ORVANE_HANDLE handle, const char* path) {
    return withSession(handle, 0, [&](COrvane& s) { return s.LoadMaskFile(path); });
}

ORVANE_API int ORVANE_CALL Orvane_LoadMaskFileW(ORVANE_HANDLE handle, const OrvaneWChar* path) {
    return withNarrowPath(handle, path,
                          [](COrvane& s, const char* p) { return s.LoadMaskFile(p); });
}

ORVANE_API int ORVANE_CALL Orvane_SaveMaskFile(ORVANE_HANDLE handle, const char* path) {
    return withSession(handle, 0, [&](COrvane& s) { return s.SaveMaskFile(path); });
}

ORVANE_API int ORVANE_CALL Orvane_SaveMaskFileW(ORVANE_HANDLE handle, const OrvaneWChar* path) {
    return withNarrowPath(handle, path,
                          [](COrvane& s, const char* p) { return s.SaveMaskFile(p); });
}

ORVANE_API int ORVANE_CALL Orvane_UpdateMaskData(ORVANE_HANDLE handle, int mode) {
    return withSession(handle, 0, [&](COrvane& s) { return s.UpdateMaskData(mode); });
}

// ---- Settings dialogs ------------------------------------------------------------------

ORVANE_API int ORVANE_CALL Orvane_SetCameraDlg(ORVANE_HANDLE handle, HWND parent) {
    return withSession(handle, 0, [&](COrvane& s) { return s.SetCameraDlg(windowOf(parent)); });
}

ORVANE_API int ORVANE_CALL Orvane_SetImageDlg(ORVANE_HANDLE handle, HWND parent) {
    return withSession(handle, 0, [&](COrvane& s) { return s.SetImageDlg(windowOf(parent)); });
}

ORVANE_API int ORVANE_CALL Orvane_SetAnalogDlg(ORVANE_HANDLE handle, HWND parent) {
    return withSession(handle, 0, [&](COrvane& s) { return s.SetAnalogDlg(windowOf(parent)); });
}

// ---- Not offered by this camera ----------------------------------------------------------

namespace {
int notOffered(ORVANE_HANDLE handle) {
    return withSession(handle, 0, [](COrvane& s) { return s.NotOffered(); });
}
}  // namespace

ORVANE_API int ORVANE_CALL Orvane_Fps(ORVANE_HANDLE handle) {
    return notOffered(handle);
}
ORVANE_API int ORVANE_CALL Orvane_GetHalfClock(ORVANE_HANDLE handle) {
    return notOffered(handle);
}
ORVANE_API int ORVANE_CALL Orvane_SetHalfClock(ORVANE_HANDLE handle, int) {
    return notOffered(handle);
}
ORVANE_API int ORVANE_CALL Orvane_GetInternalCorrection(ORVANE_HANDLE handle) {
    return notOffered(handle);
}
ORVANE_API int ORVANE_CALL Orvane_SetInternalCorrection(ORVANE_HANDLE handle, int) {
    return notOffered(handle);
}
ORVANE_API int ORVANE_CALL Orvane_SetCrossbar(ORVANE_HANDLE handle, int) {
    return notOffered(handle);
}
ORVANE_API int ORVANE_CALL Orvane_Trigger(ORVANE_HANDLE handle) {
    return notOffered(handle);
}

ORVANE_API int ORVANE_CALL Orvane_GetConfigFilter(ORVANE_HANDLE handle) {
    return withSession(handle, 0, [](COrvane& s) { return s.ConfigFilter(); });
}

ORVANE_API int ORVANE_CALL Orvane_SetConfigFilter(ORVANE_HANDLE handle) {
    return withSession(handle, 0, [](COrvane& s) { return s.ConfigFilter(); });
}

ORVANE_API int ORVANE_CALL Orvane_SendText(ORVANE_HANDLE handle, const char*) {
    return withSession(handle, 0, [](COrvane& s) { return s.TextExchange(); });
}

ORVANE_API int ORVANE_CALL Orvane_ReceiveText(ORVANE_HANDLE handle, char*, int) {
    return withSession(handle, 0, [](COrvane& s) { return s.TextExchange(); });
}

}  // extern "C"
