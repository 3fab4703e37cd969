// The export frame: unknown and released handles, and what a session without a camera
// answers through the public interface.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "OrvaneSdk.h"
#include "api/FilterWrappers.h"
#include "session/COrvane.h"

namespace {

struct Call {
    std::string name;
    std::function<double(ORVANE_HANDLE)> call;
    double failure;
};

// Every export that takes a handle, with its failure value for an unknown handle.
std::vector<Call> everyHandleExport() {
    static char names[10][256];
    static OrvaneWChar wnames[10][256];
    static char text[256];
    static OrvaneWChar wtext[256];
    static unsigned char byte;
    static int v[6];
    static OrvaneCameraInfo info{56, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    static const OrvaneWChar wpath[] = {u'/', u't', u'm', u'p', u'/', u'x', 0};
    HWND w = nullptr;
    std::vector<Call> c = {
        {"Release", [](ORVANE_HANDLE h) { return Orvane_Release(h); }, 0},
        {"GetLastError", [](ORVANE_HANDLE h) { return Orvane_GetLastError(h); }, 0},
        {"GetStatus", [](ORVANE_HANDLE h) { return Orvane_GetStatus(h); }, 0},
        {"GetCameraInfo", [](ORVANE_HANDLE h) { return Orvane_GetCameraInfo(h, &info); }, 0},
        {"EnumDevice", [](ORVANE_HANDLE h) { return Orvane_EnumDevice(h, names); }, 0},
        {"EnumDeviceW", [](ORVANE_HANDLE h) { return Orvane_EnumDeviceW(h, wnames); }, 0},
        {"SetDeviceNumber", [](ORVANE_HANDLE h) { return Orvane_SetDeviceNumber(h, 0); }, 0},
        {"GetDeviceName", [](ORVANE_HANDLE h) { return Orvane_GetDeviceName(h, 0, text, 256); }, 0},
        {"GetDeviceNameW", [](ORVANE_HANDLE h) { return Orvane_GetDeviceNameW(h, 0, wtext, 256); },
         0},
        {"Capture", [](ORVANE_HANDLE h) { return Orvane_Capture(h); }, 0},
        {"Preview", [](ORVANE_HANDLE h) { return Orvane_Preview(h); }, 0},
        {"CallBackPreview",
         [w](ORVANE_HANDLE h) { return Orvane_CallBackPreview(h, w, text, 256, 0); }, 0},
        {"StartPreview", [](ORVANE_HANDLE h) { return Orvane_StartPreview(h); }, 0},
        {"StopPreview", [](ORVANE_HANDLE h) { return Orvane_StopPreview(h); }, 0},
        {"Close", [](ORVANE_HANDLE h) { return Orvane_Close(h); }, 0},
        {"SnapShot", [](ORVANE_HANDLE h) { return Orvane_SnapShot(h, text, 256, 0); }, 0},
        {"GetImage", [](ORVANE_HANDLE h) { return Orvane_GetImage(h, text, 256, 0); }, 0},
        {"SetWaitTime", [](ORVANE_HANDLE h) { return Orvane_SetWaitTime(h, 5); }, 0},
        {"GetWaitTime", [](ORVANE_HANDLE h) { return Orvane_GetWaitTime(h); }, -1},
        {"SetPreviewWindow",
         [w](ORVANE_HANDLE h) { return Orvane_SetPreviewWindow(h, w, 0, 0, 10, 10); }, 0},
        {"SaveImage", [](ORVANE_HANDLE h) { return Orvane_SaveImage(h, "/tmp/x", 0); }, 0},
        {"SaveImageW", [](ORVANE_HANDLE h) { return Orvane_SaveImageW(h, wpath, 0); }, 0},
        {"Record", [](ORVANE_HANDLE h) { return Orvane_Record(h, "/tmp/x", 10, 0); }, 0},
        {"RecordW", [](ORVANE_HANDLE h) { return Orvane_RecordW(h, wpath, 10, 0); }, 0},
        {"SetCaptureWindow", [](ORVANE_HANDLE h) { return Orvane_SetCaptureWindow(h, 640, 480); },
         0},
        {"SetCaptureWindowEx",
         [](ORVANE_HANDLE h) { return Orvane_SetCaptureWindowEx(h, 3072, 0, 3072, 2048, 0, 2048); },
         0},
        {"GetCaptureWindowEx",
         [](ORVANE_HANDLE h) {
             return Orvane_GetCaptureWindowEx(h, &v[0], &v[1], &v[2], &v[3], &v[4], &v[5]);
         },
         0},
        {"Width", [](ORVANE_HANDLE h) { return Orvane_Width(h); }, 0},
        {"Height", [](ORVANE_HANDLE h) { return Orvane_Height(h); }, 0},
        {"SetColorMode", [](ORVANE_HANDLE h) { return Orvane_SetColorMode(h, 24); }, 0},
        {"GetColorMode", [](ORVANE_HANDLE h) { return Orvane_GetColorMode(h); }, -1},
        {"SetSubSample", [](ORVANE_HANDLE h) { return Orvane_SetSubSample(h, 0); }, 0},
        {"GetSubSample", [](ORVANE_HANDLE h) { return Orvane_GetSubSample(h); }, -1},
        {"SetMirrorH", [](ORVANE_HANDLE h) { return Orvane_SetMirrorH(h, 1); }, 0},
        {"SetMirrorV", [](ORVANE_HANDLE h) { return Orvane_SetMirrorV(h, 1); }, 0},
        {"GetMirrorH", [](ORVANE_HANDLE h) { return Orvane_GetMirrorH(h); }, 0},
        {"GetMirrorV", [](ORVANE_HANDLE h) { return Orvane_GetMirrorV(h); }, 0},
        {"SetFilterValue", [](ORVANE_HANDLE h) { return Orvane_SetFilterValue(h, 1, 5); }, 0},
        {"GetFilterValue", [](ORVANE_HANDLE h) { return Orvane_GetFilterValue(h, 1, nullptr); }, 0},
        {"GetTemperature", [](ORVANE_HANDLE h) { return Orvane_GetTemperature(h, nullptr); }, 0},
        {"SetChannelGain", [](ORVANE_HANDLE h) { return Orvane_SetChannelGain(h, 1, 5); }, 0},
        {"GetChannelGain", [](ORVANE_HANDLE h) { return Orvane_GetChannelGain(h, 1, nullptr); }, 0},
        {"SetChannelOffset", [](ORVANE_HANDLE h) { return Orvane_SetChannelOffset(h, 1, 5); }, 0},
        {"GetChannelOffset", [](ORVANE_HANDLE h) { return Orvane_GetChannelOffset(h, 1, nullptr); },
         0},
        {"SetExposureTimeEx", [](ORVANE_HANDLE h) { return Orvane_SetExposureTimeEx(h, 0.01); }, 0},
        {"GetExposureTimeEx", [](ORVANE_HANDLE h) { return Orvane_GetExposureTimeEx(h, nullptr); },
         0.0},
        {"SetRealExposureTime",
         [](ORVANE_HANDLE h) { return Orvane_SetRealExposureTime(h, 20000); }, 0},
        {"GetRealExposureTime",
         [](ORVANE_HANDLE h) { return Orvane_GetRealExposureTime(h, nullptr); }, 0},
        {"SetAutoIris", [](ORVANE_HANDLE h) { return Orvane_SetAutoIris(h, 1); }, 0},
        {"GetAutoIris", [](ORVANE_HANDLE h) { return Orvane_GetAutoIris(h, nullptr); }, 0},
        {"SetSamplingRate", [](ORVANE_HANDLE h) { return Orvane_SetSamplingRate(h, 1); }, 0},
        {"GetSamplingRate", [](ORVANE_HANDLE h) { return Orvane_GetSamplingRate(h, &v[0]); }, 0},
        {"GetVideoFormat", [](ORVANE_HANDLE h) { return Orvane_GetVideoFormat(h, &v[0]); }, 0},
        {"GetTemperatureEx", [](ORVANE_HANDLE h) { return Orvane_GetTemperatureEx(h, nullptr); },
         0.0},
        {"Fpga_ReadRegister",
         [](ORVANE_HANDLE h) { return Orvane_Fpga_ReadRegister(h, 1, nullptr); }, 0},
        {"Fpga_WriteRegister", [](ORVANE_HANDLE h) { return Orvane_Fpga_WriteRegister(h, 1, 1); },
         0},
        {"ReadRegister", [](ORVANE_HANDLE h) { return Orvane_ReadRegister(h, 1, nullptr); }, 0},
        {"ReadRegisterEx", [](ORVANE_HANDLE h) { return Orvane_ReadRegisterEx(h, 1, nullptr); }, 0},
        {"WriteRegister", [](ORVANE_HANDLE h) { return Orvane_WriteRegister(h, 1, 1); }, 0},
        {"WriteRegisterEx", [](ORVANE_HANDLE h) { return Orvane_WriteRegisterEx(h, 1, 1); }, 0},
        {"ReadSromID", [](ORVANE_HANDLE h) { return Orvane_ReadSromID(h, 1, nullptr); }, 0},
        {"WriteSromID", [](ORVANE_HANDLE h) { return Orvane_WriteSromID(h, 1, 1); }, 0},
        {"GetIOPort", [](ORVANE_HANDLE h) { return Orvane_GetIOPort(h, &byte); }, 0},
        {"SetIOPort", [](ORVANE_HANDLE h) { return Orvane_SetIOPort(h, 1); }, 0},
        {"LoadConfigFileA", [](ORVANE_HANDLE h) { return Orvane_LoadConfigFileA(h, "/tmp/x"); }, 0},
        {"LoadConfigFileW", [](ORVANE_HANDLE h) { return Orvane_LoadConfigFileW(h, wpath); }, 0},
        {"LoadMaskFile", [](ORVANE_HANDLE h) { return Orvane_LoadMaskFile(h, "/tmp/x"); }, 0},
        {"LoadMaskFileW", [](ORVANE_HANDLE h) { return Orvane_LoadMaskFileW(h, wpath); }, 0},
        {"SaveMaskFile", [](ORVANE_HANDLE h) { return Orvane_SaveMaskFile(h, "/tmp/x"); }, 0},
        {"SaveMaskFileW", [](ORVANE_HANDLE h) { return Orvane_SaveMaskFileW(h, wpath); }, 0},
        {"UpdateMaskData", [](ORVANE_HANDLE h) { return Orvane_UpdateMaskData(h, 0); }, 0},
        {"SetCameraDlg", [w](ORVANE_HANDLE h) { return Orvane_SetCameraDlg(h, w); }, 0},
        {"SetImageDlg", [w](ORVANE_HANDLE h) { return Orvane_SetImageDlg(h, w); }, 0},
        {"SetAnalogDlg", [w](ORVANE_HANDLE h) { return Orvane_SetAnalogDlg(h, w); }, 0},
        {"Fps", [](ORVANE_HANDLE h) { return Orvane_Fps(h); }, 0},
        {"GetHalfClock", [](ORVANE_HANDLE h) { return Orvane_GetHalfClock(h); }, 0},
        {"SetHalfClock", [](ORVANE_HANDLE h) { return Orvane_SetHalfClock(h, 1); }, 0},
        {"GetInternalCorrection", [](ORVANE_HANDLE h) { return Orvane_GetInternalCorrection(h); },
         0},
        {"SetInternalCorrection",
         [](ORVANE_HANDLE h) { return Orvane_SetInternalCorrection(h, 1); }, 0},
        {"SetCrossbar", [](ORVANE_HANDLE h) { return Orvane_SetCrossbar(h, 1); }, 0},
        {"Trigger", [](ORVANE_HANDLE h) { return Orvane_Trigger(h); }, 0},
        {"GetConfigFilter", [](ORVANE_HANDLE h) { return Orvane_GetConfigFilter(h); }, 0},
        {"SetConfigFilter", [](ORVANE_HANDLE h) { return Orvane_SetConfigFilter(h); }, 0},
        {"SendText", [](ORVANE_HANDLE h) { return Orvane_SendText(h, "x"); }, 0},
        {"ReceiveText", [](ORVANE_HANDLE h) { return Orvane_ReceiveText(h, text, 256); }, 0},
    };
#define ADD_WRAPPER(name, id)                                                              \
    c.push_back({"Set" #name, [](ORVANE_HANDLE h) { return Orvane_Set##name(h, 1); }, 0}); \
    c.push_back({"Get" #name, [](ORVANE_HANDLE h) { return Orvane_Get##name(h, nullptr); }, 0});
    ORVANE_FILTER_WRAPPERS(ADD_WRAPPER)
#undef ADD_WRAPPER
    return c;
}

class ExportFrame : public testing::Test {
  protected:
    void SetUp() override {
        window_ = Orvane_CreateMessageWindow(0);
        ASSERT_NE(window_, nullptr);
        witness_ = Orvane_Initialize(window_);
        ASSERT_NE(witness_, 0u);
        drain();
    }
    void TearDown() override {
        Orvane_Release(witness_);
        Orvane_DestroyMessageWindow(window_);
    }
    int drain() {
        int n = 0;
        OrvaneMessage m;
        while (Orvane_GetMessage(window_, &m, 0) == 1) ++n;
        while (Orvane_GetMessage(nullptr, &m, 0) == 1) ++n;
        return n;
    }
    HWND window_ = nullptr;
    ORVANE_HANDLE witness_ = 0;
};

TEST_F(ExportFrame, EveryExportCountsAsTheCatalogueSays) {
    // 145 handle-taking exports, plus Initialize and GetDllVersion: 147.
    EXPECT_EQ(everyHandleExport().size() + 2, 147u);
}

TEST_F(ExportFrame, UnknownHandlesYieldTheFailureValueAndRecordNothing) {
    const ORVANE_HANDLE unknown = witness_ + 1;
    for (const Call& c : everyHandleExport()) {
        EXPECT_EQ(c.call(unknown), c.failure) << c.name;
        EXPECT_EQ(c.call(0), c.failure) << c.name << " with handle 0";
    }
    EXPECT_EQ(Orvane_GetLastError(witness_), 0);
    EXPECT_EQ(drain(), 0) << "an unknown handle must not post anything";
}

TEST_F(ExportFrame, ReleasedHandlesAreUnknownAfterwards) {
    const ORVANE_HANDLE released = Orvane_Initialize(window_);
    ASSERT_NE(released, 0u);
    ASSERT_NE(released, witness_);
    EXPECT_EQ(Orvane_Release(released), 1);
    drain();
    for (const Call& c : everyHandleExport()) EXPECT_EQ(c.call(released), c.failure) << c.name;
    EXPECT_EQ(Orvane_Release(released), 0);
    EXPECT_EQ(Orvane_GetLastError(witness_), 0);
    EXPECT_EQ(drain(), 0);
}

TEST_F(ExportFrame, TwoSessionsAreIndependent) {
    const ORVANE_HANDLE other = Orvane_Initialize(nullptr);
    ASSERT_NE(other, 0u);
    EXPECT_EQ(Orvane_SetColorMode(other, 12), 0);
    EXPECT_EQ(Orvane_GetLastError(witness_), 0);
    EXPECT_EQ(Orvane_Release(witness_), 1);
    EXPECT_EQ(Orvane_GetLastError(other), 9);
    EXPECT_EQ(Orvane_Release(other), 1);
    witness_ = Orvane_Initialize(nullptr);  // for TearDown
}

TEST(Exports, VersionNeedsNoHandle) {
    EXPECT_EQ(Orvane_GetDllVersion(), 0x01F80520u);
}

TEST(Exports, InitializeWithANullWindowStillReturnsAHandle) {
    const ORVANE_HANDLE h = Orvane_Initialize(nullptr);
    EXPECT_NE(h, 0u);
    EXPECT_EQ(Orvane_Release(h), 1);
    EXPECT_EQ(Orvane_Release(h), 0);
}

TEST(Exports, HandlesAreNeverZeroAndNeverRepeatWhileLive) {
    std::vector<ORVANE_HANDLE> handles;
    for (int i = 0; i < 30; ++i) {
        const ORVANE_HANDLE h = Orvane_Initialize(nullptr);
        ASSERT_NE(h, 0u);
        for (ORVANE_HANDLE other : handles) ASSERT_NE(h, other);
        handles.push_back(h);
    }
    for (ORVANE_HANDLE h : handles) EXPECT_EQ(Orvane_Release(h), 1);
}

// A session made but not initialised has no device object: device operations fail with 1,
// session settings still work, and the rows that only post do not record.
TEST(SessionWithoutDevice, DeviceOperationsRecordStateErrors) {
    orvane::session::COrvane s;
    int ok = 7;
    EXPECT_EQ(s.GetFilterValue(1, &ok), 0);
    EXPECT_EQ(ok, 0);
    EXPECT_EQ(s.GetLastError(), 1);
    for (auto op : std::vector<std::function<int()>>{
             [&] { return s.SetFilterValue(1, 0); }, [&] { return s.SetDeviceNumber(0); },
             [&] { return s.Capture(); }, [&] { return s.StartPreview(); },
             [&] { return s.StopPreview(); }, [&] { return s.SnapShot(nullptr, 0, 0); },
             [&] { return s.GetImage(nullptr, 0, 0); }, [&] { return s.SetCaptureWindow(8, 8); },
             [&] { return s.SetMirrorH(1); }, [&] { return s.GetCameraInfo(nullptr); },
             [&] { return s.ReadRegister(1, nullptr); }, [&] { return s.WriteRegisterEx(1, 1); },
             [&] { return s.FpgaWriteRegister(1, 1); }, [&] { return s.UpdateMaskData(0); },
             [&] { return s.SetAnalogDlg(nullptr); }}) {
        EXPECT_EQ(op(), 0);
        EXPECT_EQ(s.GetLastError(), 1);
    }
    EXPECT_EQ(s.SetSamplingRate(3), 0);
    EXPECT_EQ(s.GetLastError(), 0) << "the sampling rate reports nothing without a device";
    EXPECT_EQ(s.ConfigFilter(), -1);
    EXPECT_EQ(s.GetLastError(), 11);
    EXPECT_EQ(s.TextExchange(), 0);
    EXPECT_EQ(s.GetLastError(), 11);
    EXPECT_EQ(s.SetWaitTime(0), 1);
    EXPECT_EQ(s.GetWaitTime(), 0);
    EXPECT_EQ(s.SetWaitTime(-1), 0);
    EXPECT_EQ(s.GetWaitTime(), 0);
    EXPECT_EQ(s.SetSubSample(1), 0);
    EXPECT_EQ(s.GetLastError(), 0) << "sub-sample refusals record nothing";
    EXPECT_EQ(s.SetColorMode(48), 1);
    EXPECT_EQ(s.GetColorMode(), 48);
    EXPECT_EQ(s.Width(), 3072);
    EXPECT_EQ(s.Height(), 2048);
    EXPECT_EQ(s.GetLastError(), 0);
}

TEST(SessionWithoutCamera, WidePathsThatCannotConvertRecord12) {
    const ORVANE_HANDLE h = Orvane_Initialize(nullptr);
    const OrvaneWChar unpaired[] = {u'a', 0xD800, u'b', 0};
    EXPECT_EQ(Orvane_LoadConfigFileW(h, unpaired), 0);
    EXPECT_EQ(Orvane_GetLastError(h), 12);
    EXPECT_EQ(Orvane_SaveImageW(h, nullptr, 0), 0);
    EXPECT_EQ(Orvane_GetLastError(h), 12);
    Orvane_Release(h);
}

TEST(SessionWithoutCamera, NothingIsListedAndNothingOpens) {
    const ORVANE_HANDLE h = Orvane_Initialize(nullptr);
    char names[10][256];
    std::memset(names, 'x', sizeof names);
    EXPECT_EQ(Orvane_EnumDevice(h, names), 0);
    for (auto& name : names) EXPECT_STREQ(name, "");
    EXPECT_EQ(Orvane_GetLastError(h), 0);
    EXPECT_EQ(Orvane_SetDeviceNumber(h, 0), 0);
    EXPECT_EQ(Orvane_GetLastError(h), 2);
    OrvaneWChar wide[256] = {u'q', 0};
    EXPECT_EQ(Orvane_GetDeviceNameW(h, 0, wide, 256), 0)
        << "a failed look-up is not reported as success with an empty name";
    EXPECT_EQ(Orvane_GetLastError(h), 2);
    EXPECT_EQ(Orvane_GetColorMode(h), 24) << "first run stores colour index 2";
    Orvane_Release(h);
}

}  // namespace
