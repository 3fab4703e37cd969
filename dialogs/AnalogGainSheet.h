// The analog gain sheet: global gain, the colour gains (shown, not editable), exposure as a
// count or as a time with a unit, mirroring, automatic iris and, where the camera has
// them, black level, cooling, short-exposure mode and gain mode. Every change goes to the
// device at once and into the session's analog record. Cancel puts the device and the
// record back as they were when the sheet opened.
#pragma once

#include <atomic>
#include <functional>
#include <string>

#include "dialogs/ControlModel.h"
#include "dialogs/Language.h"
#include "dialogs/Records.h"
#include "platform/Sync.h"

namespace orvane::device {
class COrvaneU3Q7Base;
}

namespace orvane::dialogs {

class AnalogGainSheet : public Sheet {
  public:
    static constexpr int kIdGlobalTrackbar = 1013;
    static constexpr int kIdGlobalEdit = 1015;
    static constexpr int kIdGlobalUpDown = 1038;
    static constexpr int kIdGreen1Trackbar = 1018;
    static constexpr int kIdGreen1Edit = 1019;
    static constexpr int kIdGreen1UpDown = 1039;
    static constexpr int kIdRedTrackbar = 1020;
    static constexpr int kIdRedEdit = 1021;
    static constexpr int kIdRedUpDown = 1040;
    static constexpr int kIdBlueTrackbar = 1022;
    static constexpr int kIdBlueEdit = 1023;
    static constexpr int kIdBlueUpDown = 1041;
    static constexpr int kIdGreen2Trackbar = 1024;
    static constexpr int kIdGreen2Edit = 1025;
    static constexpr int kIdGreen2UpDown = 1042;
    static constexpr int kIdExposureTrackbar = 1026;
    static constexpr int kIdExposureEdit = 1027;
    static constexpr int kIdExposureUpDown = 1043;
    static constexpr int kIdExposureLabel = 2135;
    static constexpr int kIdMillisecondLabel = 1049;
    static constexpr int kIdMirrorV = 1028;
    static constexpr int kIdMirrorH = 1029;
    static constexpr int kIdAutoIrisGain = 1036;
    static constexpr int kIdAutoIrisExposure = 1037;
    static constexpr int kIdTimeEdit = 2131;
    static constexpr int kIdTimeUnitList = 2132;
    static constexpr int kIdTimeRangeLabel = 2133;
    static constexpr int kIdTimeLabel = 2134;
    static constexpr int kIdLevelLabel = 2127;
    static constexpr int kIdLevelTrackbar = 2128;
    static constexpr int kIdLevelEdit = 2129;
    static constexpr int kIdLevelUpDown = 2130;
    static constexpr int kIdPeltier = 2124;
    static constexpr int kIdShortExposure = 2125;
    static constexpr int kIdGainModeList = 2126;

    // Time units of the unit list: 0 ns, 1 μs, 2 ms, 3 sec.
    static int timeUnit(double seconds);
    static double unitScale(int unit);  // 1e9, 1e6, 1e3, 1
    static const char* unitCaption(int unit);
    // A number as the sheet shows it: three decimals when its fraction is at least 0.001,
    // six when at least 0.000001, else the integer part. Always with a '.' decimal point.
    static std::string formatNumber(double value);

    // Opens the sheet. First reads the device's gains, exposure (and exposure time where
    // supported) and mirror states into the record, which the session keeps as its camera
    // cache; that state is what Cancel restores. recordLock is held for every access to
    // the record.
    AnalogGainSheet(device::COrvaneU3Q7Base& device, CameraValues& record, double& exposureSeconds,
                    platform::CriticalSection& recordLock, Language language = userLanguage());
    ~AnalogGainSheet() override;

    Page& gainPage() { return page(0); }

    // Any thread (the pipeline's automatic iris): asks the sheet to show a new global gain
    // or exposure count. Never blocks; the GUI thread carries it out in processRequests().
    void postGlobalGain(int value);
    void postExposureCount(int value);
    // Called on the posting thread after a post; set before the sheet is visible to other
    // threads.
    void setWakeup(std::function<void()> wakeup) { wakeup_ = std::move(wakeup); }
    // GUI thread: shows posted values; true if there were any.
    bool processRequests();

  private:
    class GainPage;

    void commit() override;
    void resetToDefaults() override;
    void cancelled() override;

    device::COrvaneU3Q7Base& device_;
    CameraValues& record_ ORVANE_GUARDED_BY(recordLock_);
    double& exposureSeconds_ ORVANE_GUARDED_BY(recordLock_);
    platform::CriticalSection& recordLock_;
    CameraValues saved_{};
    double savedSeconds_ = 0.0;
    GainPage* page_ = nullptr;
    std::atomic<bool> gainPosted_{false};
    std::atomic<int> postedGain_{0};
    std::atomic<bool> exposurePosted_{false};
    std::atomic<int> postedExposure_{0};
    std::function<void()> wakeup_;  // fixed while the sheet is visible to other threads
};

}  // namespace orvane::dialogs
