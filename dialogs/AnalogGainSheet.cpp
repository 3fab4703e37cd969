#include "dialogs/AnalogGainSheet.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>

#include "device/COrvaneU3Q7Base.h"

namespace orvane::dialogs {
namespace {

using A = AnalogGainSheet;
using device::COrvaneU3Q7Base;

struct GainRow {
    int index;
    int trackbar;
    int edit;
    int upDown;
    const char* english;
    const char* japanese;
    int (COrvaneU3Q7Base::*set)(int);
    int (COrvaneU3Q7Base::*get)();
};

// Global gain first, then the four colour gains in record order.
constexpr GainRow kGainRows[5] = {
    {camera::kGlobalGain, A::kIdGlobalTrackbar, A::kIdGlobalEdit, A::kIdGlobalUpDown, "Global",
     "グローバル", &COrvaneU3Q7Base::SetGlobalGain, &COrvaneU3Q7Base::GetGlobalGain},
    {camera::kGreen1, A::kIdGreen1Trackbar, A::kIdGreen1Edit, A::kIdGreen1UpDown, "Green 1", "緑 1",
     &COrvaneU3Q7Base::SetColorGainGreen1, &COrvaneU3Q7Base::GetColorGainGreen1},
    {camera::kRed, A::kIdRedTrackbar, A::kIdRedEdit, A::kIdRedUpDown, "Red", "赤",
     &COrvaneU3Q7Base::SetColorGainRed, &COrvaneU3Q7Base::GetColorGainRed},
    {camera::kBlue, A::kIdBlueTrackbar, A::kIdBlueEdit, A::kIdBlueUpDown, "Blue", "青",
     &COrvaneU3Q7Base::SetColorGainBlue, &COrvaneU3Q7Base::GetColorGainBlue},
    {camera::kGreen2, A::kIdGreen2Trackbar, A::kIdGreen2Edit, A::kIdGreen2UpDown, "Green 2", "緑 2",
     &COrvaneU3Q7Base::SetColorGainGreen2, &COrvaneU3Q7Base::GetColorGainGreen2},
};

// Check boxes that switch a device setting and its record value together.
struct SwitchRow {
    int id;
    int index;
    int (COrvaneU3Q7Base::*set)(int);
};
constexpr SwitchRow kSwitchRows[] = {
    {A::kIdMirrorV, camera::kMirrorV, &COrvaneU3Q7Base::SetMirrorV},
    {A::kIdMirrorH, camera::kMirrorH, &COrvaneU3Q7Base::SetMirrorH},
    {A::kIdPeltier, camera::kPeltier, &COrvaneU3Q7Base::SetPeltier},
    {A::kIdShortExposure, camera::kShortExposure, &COrvaneU3Q7Base::SetSwitchA},
};

// Sends one gain row's value to the device.
int setGain(COrvaneU3Q7Base& d, const GainRow& r, int value) {
    return (d.*r.set)(value);
}

// Integer part of a double, held to the range of int.
int integerPart(double v) {
    if (!(v == v)) return 0;
    const double t = std::trunc(v);
    if (t >= static_cast<double>(std::numeric_limits<int>::max()))
        return std::numeric_limits<int>::max();
    if (t <= static_cast<double>(std::numeric_limits<int>::min()))
        return std::numeric_limits<int>::min();
    return static_cast<int>(t);
}

std::string fixed(double v, int decimals) {
    char buffer[64];
    const auto r =
        std::to_chars(buffer, buffer + sizeof buffer, v, std::chars_format::fixed, decimals);
    return r.ec == std::errc() ? std::string(buffer, r.ptr) : std::string();
}

int tickOf(int minimum, int maximum) {
    return (maximum - minimum) / 8;
}

}  // namespace

int AnalogGainSheet::timeUnit(double x) {
    if (x > 1) return 3;
    if (x >= 0.001) return 2;
    if (x >= 0.000001) return 1;
    return 0;
}

double AnalogGainSheet::unitScale(int unit) {
    constexpr double kScale[4] = {1e9, 1e6, 1e3, 1.0};
    return kScale[std::clamp(unit, 0, 3)];
}

const char* AnalogGainSheet::unitCaption(int unit) {
    constexpr const char* kCaption[4] = {"ns", "μs", "ms", "sec"};
    return kCaption[std::clamp(unit, 0, 3)];
}

std::string AnalogGainSheet::formatNumber(double v) {
    const double fraction = v - std::trunc(v);
    if (fraction >= 0.001) return fixed(v, 3);
    if (fraction >= 0.000001) return fixed(v, 6);
    return std::to_string(integerPart(v));
}

class AnalogGainSheet::GainPage : public Page {
  public:
    GainPage(AnalogGainSheet& sheet, Language l)
        : Page(tr(l, "Analog Gain", "アナログゲイン")), sheet_(sheet), d_(sheet.device_) {
        for (const GainRow& r : kGainRows) {
            add(r.trackbar, ControlKind::Trackbar, tr(l, r.english, r.japanese));
            add(r.edit, ControlKind::Edit);
            add(r.upDown, ControlKind::UpDown);
        }
        add(kIdExposureTrackbar, ControlKind::Trackbar, tr(l, "Exposure", "露光"));
        add(kIdExposureEdit, ControlKind::Edit);
        add(kIdExposureUpDown, ControlKind::UpDown);
        add(kIdExposureLabel, ControlKind::Label, tr(l, "Exposure", "露光"));
        add(kIdMillisecondLabel, ControlKind::Label);
        add(kIdMirrorV, ControlKind::CheckBox, tr(l, "Mirror V", "ミラー V"));
        add(kIdMirrorH, ControlKind::CheckBox, tr(l, "Mirror H", "ミラー H"));
        add(kIdAutoIrisGain, ControlKind::CheckBox, tr(l, "Gain", "ゲイン"));
        add(kIdAutoIrisExposure, ControlKind::CheckBox, tr(l, "Exposure", "露光"));
        add(kIdTimeLabel, ControlKind::Label, tr(l, "Exposure time", "露光時間"));
        add(kIdTimeEdit, ControlKind::Edit);
        add(kIdTimeUnitList, ControlKind::ComboBox);
        add(kIdTimeRangeLabel, ControlKind::Label);
        add(kIdLevelLabel, ControlKind::Label, tr(l, "Black Level", "黒レベル"));
        add(kIdLevelTrackbar, ControlKind::Trackbar, tr(l, "Black Level", "黒レベル"));
        add(kIdLevelEdit, ControlKind::Edit);
        add(kIdLevelUpDown, ControlKind::UpDown);
        add(kIdPeltier, ControlKind::CheckBox, tr(l, "Peltier", "ペルチェ"));
        add(kIdShortExposure, ControlKind::CheckBox,
            tr(l, "Short exposure mode", "短時間露光モード"));
        add(kIdGainModeList, ControlKind::ComboBox, tr(l, "Gain mode", "ゲインモード"));
        open();
    }

    // Shows the record again without sending anything to the device.
    void refresh() {
        ready_ = false;
        const CameraValues v = snapshot();
        bindRow(kIdGlobalTrackbar, kIdGlobalEdit, kIdGlobalUpDown, gainMin_, gainMax_,
                v[camera::kGlobalGain], tickOf(gainMin_, gainMax_), true);
        for (int i = 1; i < 5; ++i) {
            const GainRow& r = kGainRows[i];
            bindRow(r.trackbar, r.edit, r.upDown, colorMin_, colorMax_,
                    v[static_cast<size_t>(r.index)], tickOf(colorMin_, colorMax_), false);
        }
        bindRow(kIdExposureTrackbar, kIdExposureEdit, kIdExposureUpDown, countMin_, countMax_,
                v[camera::kExposure], tickOf(countMin_, countMax_), true);
        setChecked(kIdMirrorV, v[camera::kMirrorV] != 0);
        setChecked(kIdMirrorH, v[camera::kMirrorH] != 0);
        if (timeSupported_) showTime(deviceTime(), std::nullopt);
        if (levelSupported_)
            bindRow(kIdLevelTrackbar, kIdLevelEdit, kIdLevelUpDown, levelMin_, levelMax_,
                    v[camera::kBlackLevel], tickOf(levelMin_, levelMax_), true);
        if (peltier_) setChecked(kIdPeltier, v[camera::kPeltier] != 0);
        if (shortExposure_) setChecked(kIdShortExposure, v[camera::kShortExposure] != 0);
        setChecked(kIdAutoIrisExposure, v[camera::kAutoIris] == 1);
        setChecked(kIdAutoIrisGain, v[camera::kAutoIris] == 2);
        updateMilliseconds();
        ready_ = true;
    }

    // OK: the edits (and the optional controls that are shown) into the record.
    void readBack() {
        CameraValues values = snapshot();
        const auto edited = [this](int edit, int trackbar, int32_t& member) {
            if (auto v = editInt(edit))
                member = std::clamp(*v, control(trackbar).minimum, control(trackbar).maximum);
        };
        for (const GainRow& r : kGainRows)
            edited(r.edit, r.trackbar, values[static_cast<size_t>(r.index)]);
        edited(kIdExposureEdit, kIdExposureTrackbar, values[camera::kExposure]);
        if (shown(kIdLevelEdit))
            edited(kIdLevelEdit, kIdLevelTrackbar, values[camera::kBlackLevel]);
        if (shown(kIdPeltier)) values[camera::kPeltier] = checked(kIdPeltier) ? 1 : 0;
        if (shown(kIdShortExposure))
            values[camera::kShortExposure] = checked(kIdShortExposure) ? 1 : 0;
        if (shown(kIdGainModeList) && selection(kIdGainModeList) >= 0)
            values[camera::kGainMode] = selection(kIdGainModeList);
        platform::LockGuard guard(sheet_.recordLock_);
        sheet_.record_ = values;
    }

    // Default: the device's defaults, on the device and in the record.
    void setDefaults() {
        const int gain = d_.GetGlobalGainDefault();
        const int color = d_.GetColorGainDefault();
        for (const GainRow& r : kGainRows) {
            const int value = r.index == camera::kGlobalGain ? gain : color;
            write(r.index, value);
            setGain(d_, r, value);
        }
        if (timeSupported_) {
            double seconds = 0.0;
            d_.GetExposureTimeExDefault(&seconds);
            d_.SetExposureTimeEx(seconds);
            writeSeconds(seconds);
            write(camera::kExposure, d_.GetExposureTime());
        }
        if (shown(kIdExposureEdit)) {
            const int count = d_.GetExposureTimeDefault();
            d_.SetExposure(static_cast<unsigned>(count) & 0xFFFFu);
            write(camera::kExposure, count);
        }
        if (levelSupported_) {
            const int level = d_.GetLevelDefault();
            d_.SetLevel(level);
            write(camera::kBlackLevel, level);
        }
        if (peltier_) {
            write(camera::kPeltier, 1);
            d_.SetPeltier(1);
        }
        if (shortExposure_) {
            write(camera::kShortExposure, 0);
            d_.SetSwitchA(0);
        }
        if (gainModeSupported_) {
            d_.SetGainMode(0);
            write(camera::kGainMode, 0);
            if (shown(kIdGainModeList)) select(kIdGainModeList, 0);
        }
        refresh();
    }

    // Shows a value the pipeline posted, as if written into the edit.
    void showPosted(int edit, int value) { setEditInt(edit, value); }

    bool peltier_ = false;
    bool shortExposure_ = false;
    bool levelSupported_ = false;
    bool gainModeSupported_ = false;
    bool timeSupported_ = false;
    int openedGainMode_ = -1;  // the device's gain mode when the sheet opened

  protected:
    void handleCommand(int id, Notification n) override {
        if (n == Notification::EditChanged) {
            if (ready_) editChanged(id);
            return;
        }
        if (id == kIdGainModeList) {
            const int selected = selection(kIdGainModeList);
            if (selected < 0) return;
            d_.SetGainMode(selected != 0 ? 1 : 0);
            write(camera::kGainMode, selected != 0 ? 1 : 0);
            return;
        }
        if (id == kIdTimeUnitList) {
            if (n == Notification::SelectionChanged) showTime(deviceTime(), selectedUnit());
            return;
        }
        if (n != Notification::Clicked) return;
        const int on = checked(id) ? 1 : 0;
        for (const SwitchRow& s : kSwitchRows) {
            if (id != s.id) continue;
            (d_.*s.set)(on);
            write(s.index, on);
            return;
        }
        switch (id) {
            case kIdAutoIrisGain:
                if (on) setChecked(kIdAutoIrisExposure, false);
                write(camera::kAutoIris, on ? 2 : 0);
                break;
            case kIdAutoIrisExposure:
                if (on) setChecked(kIdAutoIrisGain, false);
                write(camera::kAutoIris, on ? 1 : 0);
                break;
            default:
                break;
        }
    }

    void handleScroll(int id) override {
        const int pos = position(id);
        for (const GainRow& r : kGainRows)
            if (id == r.trackbar || id == r.upDown) setEditInt(r.edit, pos);
        if (id == kIdExposureTrackbar || id == kIdExposureUpDown) setEditInt(kIdExposureEdit, pos);
        if (id == kIdLevelTrackbar || id == kIdLevelUpDown) setEditInt(kIdLevelEdit, pos);
    }

  private:
    void open() {
        gainMin_ = d_.GetGlobalGainMin();
        gainMax_ = d_.GetGlobalGainMax();
        colorMin_ = d_.GetColorGainMin();
        colorMax_ = d_.GetColorGainMax();
        countMin_ = d_.GetExposureTimeMin();
        countMax_ = d_.GetExposureTimeMax();
        timeSupported_ = d_.HasExposureTimeEx() != 0;
        levelSupported_ = d_.HasLevelControl() != 0;
        peltier_ = d_.HasPeltier() != 0;
        shortExposure_ = d_.HasSwitchA() != 0;
        if (timeSupported_) {
            d_.GetExposureTimeExMin(&timeMin_);
            d_.GetExposureTimeExMax(&timeMax_);
            for (int u = timeUnit(timeMin_); u <= timeUnit(timeMax_); ++u)
                addItem(kIdTimeUnitList, unitCaption(u), u);
            setLabel(kIdTimeRangeLabel,
                     formatText("range: %d%s - %d%s",
                                integerPart(timeMin_ * unitScale(timeUnit(timeMin_))),
                                unitCaption(timeUnit(timeMin_)),
                                integerPart(timeMax_ * unitScale(timeUnit(timeMax_))),
                                unitCaption(timeUnit(timeMax_))));
            for (int id : {kIdExposureTrackbar, kIdExposureEdit, kIdExposureUpDown,
                           kIdExposureLabel, kIdMillisecondLabel})
                setShown(id, false);
        } else {
            for (int id = kIdTimeEdit; id <= kIdTimeLabel; ++id) setShown(id, false);
        }
        if (levelSupported_) {
            levelMin_ = d_.GetLevelMin();
            levelMax_ = d_.GetLevelMax();
        } else {
            for (int id = kIdLevelLabel; id <= kIdLevelUpDown; ++id) setShown(id, false);
        }
        setShown(kIdPeltier, peltier_);
        setShown(kIdShortExposure, shortExposure_);
        // A mode the device cannot tell (-1), or one the list does not name, hides the list.
        const int mode = d_.HasGainMode() ? d_.GetGainMode() : -1;
        gainModeSupported_ = d_.HasGainMode() != 0;
        if (mode == 0 || mode == 1) {
            addItem(kIdGainModeList, "High Gain", 0);
            addItem(kIdGainModeList, "Low Gain", 1);
            select(kIdGainModeList, mode);
            openedGainMode_ = mode;
        } else {
            setShown(kIdGainModeList, false);
        }
        refresh();
    }

    void editChanged(int id) {
        for (const GainRow& r : kGainRows) {
            if (id != r.edit) continue;
            const auto v = editInt(id);
            if (!v) return;
            const int value =
                std::clamp(*v, control(r.trackbar).minimum, control(r.trackbar).maximum);
            write(r.index, value);
            movePositions(r.trackbar, r.upDown, value);
            setGain(d_, r, value);
            return;
        }
        if (id == kIdExposureEdit) {
            exposureEdited();
        } else if (id == kIdLevelEdit) {
            const auto v = editInt(id);
            if (!v) return;
            const int value = std::clamp(*v, levelMin_, levelMax_);
            write(camera::kBlackLevel, value);
            movePositions(kIdLevelTrackbar, kIdLevelUpDown, value);
            d_.SetLevel(value);
        } else if (id == kIdTimeEdit && !writingTime_) {
            timeEdited();
        }
    }

    void exposureEdited() {
        const auto v = editInt(kIdExposureEdit);
        if (!v) return;
        const int value = std::clamp(*v, countMin_, countMax_);
        write(camera::kExposure, value);
        movePositions(kIdExposureTrackbar, kIdExposureUpDown, value);
        if (writingCount_) return;
        d_.SetExposure(static_cast<unsigned>(value) & 0xFFFFu);
        write(camera::kExposure, d_.GetExposureTime());
        if (timeSupported_) {
            const double seconds = deviceTime();
            writeSeconds(seconds);
            showTime(seconds, std::nullopt);
        }
        updateMilliseconds();
    }

    void timeEdited() {
        // Only a complete, non-negative number reaches the device: the text is read on
        // every keystroke, and "", "-" or "2." on the way to a value must not set it.
        const auto number = parseNumber(text(kIdTimeEdit));
        const auto unit = selectedUnit();
        if (!number || *number < 0 || !unit) return;
        const double seconds = *number / unitScale(*unit);
        d_.SetExposureTimeEx(seconds);
        writeSeconds(seconds);
        const int count = d_.GetExposureTime();
        write(camera::kExposure, count);
        setPosition(kIdExposureTrackbar, count);
        writeCount(count);
        updateMilliseconds();
    }

    // Shows a time in the given unit, or in its own unit (held to the units the list
    // offers). The text written is not taken as a user change.
    void showTime(double seconds, std::optional<int> unit) {
        const Control& list = control(kIdTimeUnitList);
        if (list.itemData.empty()) return;
        const int u = std::clamp(unit.value_or(timeUnit(seconds)), list.itemData.front(),
                                 list.itemData.back());
        select(kIdTimeUnitList, u - list.itemData.front());
        writingTime_ = true;
        setEditText(kIdTimeEdit, formatNumber(seconds * unitScale(u)));
        writingTime_ = false;
    }

    void writeCount(int count) {
        writingCount_ = true;
        setEditInt(kIdExposureEdit, count);
        writingCount_ = false;
    }

    std::optional<int> selectedUnit() const {
        const Control& list = control(kIdTimeUnitList);
        if (list.selection < 0) return std::nullopt;
        return list.itemData[static_cast<size_t>(list.selection)];
    }

    double deviceTime() const {
        double seconds = -1.0;
        d_.GetExposureTimeEx(&seconds);
        return seconds;
    }

    void updateMilliseconds() {
        if (!shown(kIdExposureEdit)) return;
        setLabel(kIdMillisecondLabel, "=" + fixed(read(camera::kExposure) / 10.0, 2) + "ms");
    }

    void movePositions(int trackbar, int upDown, int value) {
        setPosition(trackbar, value);
        setPosition(upDown, value);
    }

    CameraValues snapshot() const {
        platform::LockGuard guard(sheet_.recordLock_);
        return sheet_.record_;
    }
    int read(int index) const {
        platform::LockGuard guard(sheet_.recordLock_);
        return sheet_.record_[static_cast<size_t>(index)];
    }
    void write(int index, int value) {
        platform::LockGuard guard(sheet_.recordLock_);
        sheet_.record_[static_cast<size_t>(index)] = value;
    }
    void writeSeconds(double seconds) {
        platform::LockGuard guard(sheet_.recordLock_);
        sheet_.exposureSeconds_ = seconds;
    }

    AnalogGainSheet& sheet_;
    COrvaneU3Q7Base& d_;
    int gainMin_ = 0, gainMax_ = 0, colorMin_ = 0, colorMax_ = 0;
    int countMin_ = 0, countMax_ = 0, levelMin_ = 0, levelMax_ = 0;
    double timeMin_ = 0.0, timeMax_ = 0.0;
    bool ready_ = false;
    // Set while the page itself writes the exposure count or the exposure-time edit, so the
    // change notification that the write causes is not taken for the user's.
    bool writingCount_ = false;
    bool writingTime_ = false;
};

AnalogGainSheet::AnalogGainSheet(device::COrvaneU3Q7Base& device, CameraValues& record,
                                 double& exposureSeconds, platform::CriticalSection& recordLock,
                                 Language language)
    : Sheet(language),
      device_(device),
      record_(record),
      exposureSeconds_(exposureSeconds),
      recordLock_(recordLock) {
    CameraValues current;
    double seconds = 0.0;
    {
        platform::LockGuard guard(recordLock_);
        current = record_;
        seconds = exposureSeconds_;
    }
    for (const GainRow& r : kGainRows) current[static_cast<size_t>(r.index)] = (device.*r.get)();
    current[camera::kExposure] = device.GetExposureTime();
    current[camera::kMirrorV] = device.GetMirrorV();
    current[camera::kMirrorH] = device.GetMirrorH();
    if (device.HasExposureTimeEx()) {
        seconds = -1.0;
        device.GetExposureTimeEx(&seconds);
    }
    {
        platform::LockGuard guard(recordLock_);
        record_ = current;
        exposureSeconds_ = seconds;
    }
    saved_ = current;
    savedSeconds_ = seconds;
    addButton(kIdOk, "OK");
    addButton(kIdCancel, tr(language, "Cancel", "キャンセル"));
    addButton(kIdDefault, tr(language, "Default", "デフォルト"));
    page_ = &addPage<GainPage>(*this, language);
}

AnalogGainSheet::~AnalogGainSheet() = default;

void AnalogGainSheet::postGlobalGain(int value) {
    postedGain_.store(value);
    gainPosted_.store(true);
    if (wakeup_) wakeup_();
}

void AnalogGainSheet::postExposureCount(int value) {
    postedExposure_.store(value);
    exposurePosted_.store(true);
    if (wakeup_) wakeup_();
}

bool AnalogGainSheet::processRequests() {
    if (!isOpen()) return false;
    bool any = false;
    if (gainPosted_.exchange(false)) {
        page_->showPosted(kIdGlobalEdit, postedGain_.load());
        any = true;
    }
    if (exposurePosted_.exchange(false)) {
        page_->showPosted(kIdExposureEdit, postedExposure_.load());
        any = true;
    }
    return any;
}

void AnalogGainSheet::commit() {
    page_->readBack();
}

void AnalogGainSheet::resetToDefaults() {
    page_->setDefaults();
}

void AnalogGainSheet::cancelled() {
    CameraValues changed;
    {
        platform::LockGuard guard(recordLock_);
        changed = record_;
        record_ = saved_;
        exposureSeconds_ = savedSeconds_;
    }
    device::COrvaneU3Q7Base& d = device_;
    for (const GainRow& r : kGainRows) setGain(d, r, saved_[static_cast<size_t>(r.index)]);
    if (page_->timeSupported_)
        d.SetExposureTimeEx(savedSeconds_);
    else
        d.SetExposure(static_cast<unsigned>(saved_[camera::kExposure]) & 0xFFFFu);
    d.SetMirrorV(saved_[camera::kMirrorV]);
    d.SetMirrorH(saved_[camera::kMirrorH]);
    // The optional features the page changed go back too, so the device agrees with the
    // record restored above.
    const auto differs = [&](int index) {
        return changed[static_cast<size_t>(index)] != saved_[static_cast<size_t>(index)];
    };
    if (page_->levelSupported_ && differs(camera::kBlackLevel))
        d.SetLevel(saved_[camera::kBlackLevel]);
    if (page_->peltier_ && differs(camera::kPeltier)) d.SetPeltier(saved_[camera::kPeltier]);
    if (page_->shortExposure_ && differs(camera::kShortExposure))
        d.SetSwitchA(saved_[camera::kShortExposure]);
    if (page_->openedGainMode_ >= 0) d.SetGainMode(page_->openedGainMode_);
}

}  // namespace orvane::dialogs
