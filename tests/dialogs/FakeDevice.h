// A device object whose analog operations act on plain fields, with switches for the
// optional features, so the analog sheet can be driven without a camera.
#pragma once

#include <cmath>

#include "device/COrvaneU3Q7Base.h"

namespace orvane::test {

class FakeDevice : public device::COrvaneU3Q7Base {
  public:
    // Feature switches and ranges (set before opening a sheet).
    bool timeSupported = false;
    bool levelSupported = false;
    bool peltierSupported = false;
    bool switchASupported = false;
    bool gainModeSupported = false;
    double timeMin = 0.00001, timeMax = 10.0, timeDefault = 0.02;

    // Device state.
    int globalGain = 150, green1 = 80, red = 81, blue = 82, green2 = 83;
    int exposure = 200;
    double seconds = 0.02;
    int mirrorV = 0, mirrorH = 1;
    int level = 60, peltier = 0, switchA = 1, gainMode = 1;
    int setExposureCalls = 0, setTimeCalls = 0;

    int SetGlobalGain(int g) override { return globalGain = g, 1; }
    int GetGlobalGain() override { return globalGain; }
    int GetGlobalGainMin() override { return 0; }
    int GetGlobalGainMax() override { return 511; }
    int GetGlobalGainDefault() override { return 100; }
    int SetColorGainGreen1(int g) override { return green1 = g, 1; }
    int SetColorGainRed(int g) override { return red = g, 1; }
    int SetColorGainBlue(int g) override { return blue = g, 1; }
    int SetColorGainGreen2(int g) override { return green2 = g, 1; }
    int GetColorGainGreen1() override { return green1; }
    int GetColorGainRed() override { return red; }
    int GetColorGainBlue() override { return blue; }
    int GetColorGainGreen2() override { return green2; }
    int GetColorGainMin() override { return 0; }
    int GetColorGainMax() override { return 255; }
    int GetColorGainDefault() override { return 64; }
    // The count follows a time set in seconds (0.1 ms units), as a sensor would.
    int SetExposure(unsigned t) override {
        ++setExposureCalls;
        exposure = static_cast<int>(t);
        seconds = t * 1e-4;
        return 1;
    }
    int GetExposureTime() override { return exposure; }
    int GetExposureTimeMin() override { return 1; }
    int GetExposureTimeMax() override { return 30000; }
    int GetExposureTimeDefault() override { return 200; }
    int HasExposureTimeEx() override { return timeSupported; }
    int SetExposureTimeEx(double s) override {
        ++setTimeCalls;
        seconds = s;
        exposure = static_cast<int>(std::lround(s * 1e4));
        return 1;
    }
    int GetExposureTimeEx(double* s) override { return *s = seconds, timeSupported; }
    double GetExposureTimeExMin(double* s) override { return *s = timeMin, timeSupported; }
    double GetExposureTimeExMax(double* s) override { return *s = timeMax, timeSupported; }
    double GetExposureTimeExDefault(double* s) override { return *s = timeDefault, timeSupported; }
    int SetMirrorV(int on) override { return mirrorV = on, 1; }
    int SetMirrorH(int on) override { return mirrorH = on, 1; }
    int GetMirrorV() override { return mirrorV; }
    int GetMirrorH() override { return mirrorH; }
    int HasLevelControl() override { return levelSupported; }
    int SetLevel(int v) override { return level = v, 1; }
    int GetLevelMin() override { return 0; }
    int GetLevelMax() override { return 255; }
    int GetLevelDefault() override { return 16; }
    int HasPeltier() override { return peltierSupported; }
    int SetPeltier(int on) override { return peltier = on, 1; }
    int HasSwitchA() override { return switchASupported; }
    int SetSwitchA(int on) override { return switchA = on, 1; }
    int HasGainMode() override { return gainModeSupported; }
    int SetGainMode(int m) override { return gainMode = m, 1; }
    int GetGainMode() override { return gainModeSupported ? gainMode : -1; }
};

}  // namespace orvane::test
