#include "dialogs/StreamFormatSheet.h"

#include <algorithm>

#include "dialogs/SettingsKeys.h"
#include "platform/Registry.h"

namespace orvane::dialogs {

std::string cameraKeyPath(int deviceNumber) {
    return std::string(kSettingsRoot) + "\\" + formatText("Camera_%02d", deviceNumber);
}

std::string presetKeyName(int preset) {
    return formatText("Size_%02d", preset);
}

namespace {

using platform::RegistryKey;

constexpr const char* kPresetValueNames[7] = {"TH", "TV", "EH", "EV", "EHS", "EVS", "Buf"};
constexpr int kEditIds[6] = {StreamFormatSheet::kIdTotalWidth, StreamFormatSheet::kIdTotalHeight,
                             StreamFormatSheet::kIdWidth,      StreamFormatSheet::kIdHeight,
                             StreamFormatSheet::kIdXStart,     StreamFormatSheet::kIdYStart};
constexpr int kColorCount = 6;
constexpr int kMonochromeDepth = 12;
constexpr int kHighClockMHz = 36;
constexpr int kStoredClock = 2;  // the clock list is fixed at the high clock

template <typename T>
void readValue(const RegistryKey& key, const char* name, T& field) {
    uint32_t v = 0;
    if (key.queryDword(name, &v)) field = static_cast<T>(v);
}

std::string presetCaption(const StreamFormatSheet::Preset& p) {
    return formatText("%d x %d", p[2], p[3]);
}

}  // namespace

std::string StreamFormatSheet::colorCaption(Language l, int index) {
    switch (index) {
        case 0:
            return tr(l, "Monochrome 8bit", "白黒 8bit");
        case 1:
            return formatText(tr(l, "Monochrome %dbit *", "白黒 %dbit ※"), kMonochromeDepth);
        case 2:
            return tr(l, "Color 24bit", "カラー 24bit");
        case 3:
            return tr(l, "Color 32bit", "カラー 32bit");
        case 4:
            return tr(l, "Color 48bit *", "カラー 48bit ※");
        case 5:
            return tr(l, "Color 64bit *", "カラー 64bit ※");
        default:
            return {};
    }
}

class StreamFormatSheet::FormatPage : public Page {
  public:
    FormatPage(StreamFormatSheet& sheet, bool horizontal, bool vertical)
        : Page(tr(sheet.language_, "Stream Format", "ストリーム形式")), sheet_(sheet) {
        const Language l = sheet.language_;
        add(kIdColorList, ControlKind::ComboBox, tr(l, "Color", "カラー"));
        add(kIdSizeList, ControlKind::ComboBox, tr(l, "Size", "サイズ"));
        add(kIdSubSampleList, ControlKind::ComboBox, tr(l, "Sub-sample", "サブサンプル"));
        add(kIdClockList, ControlKind::ComboBox, tr(l, "Clock", "クロック"));
        const char* english[7] = {"H Total", "V Total", "H Effective", "V Effective",
                                  "H Start", "V Start", "Wait Time"};
        const char* japanese[7] = {"水平総数", "垂直総数", "水平有効", "垂直有効",
                                   "水平開始", "垂直開始", "待ち時間"};
        for (int i = 0; i < 6; ++i)
            add(kEditIds[i], ControlKind::Edit, tr(l, english[i], japanese[i]));
        add(kIdWaitTime, ControlKind::Edit, tr(l, english[6], japanese[6]));
        setLabel(add(kIdVideoFormatGroup, ControlKind::Label).id,
                 tr(l, "Video Format", "映像形式"));
        setLabel(add(kIdCameraSizeGroup, ControlKind::Label).id,
                 tr(l, "Camera Size", "カメラサイズ"));
        setLabel(add(kIdFrameRateGroup, ControlKind::Label).id,
                 tr(l, "Frame Rate", "フレームレート"));
        setLabel(add(kIdClockNote, ControlKind::Label).id,
                 tr(l, "* In the WORD forwarding mode, please set the clock to the half.",
                    "※ WORD転送モードではクロックをハーフに設定してください。"));
        open(horizontal, vertical);
    }

    // Commit step on the page: the custom entry becomes a new preset, or the selected
    // preset takes the edits.
    void storeSize() {
        const int selected = selection(kIdSizeList);
        const int count = sheet_.presetCount_;
        if (selected == count && count < kMaxPresets) {
            readEdits(sheet_.presets_[static_cast<size_t>(count)]);
            insertItem(kIdSizeList, count,
                       presetCaption(sheet_.presets_[static_cast<size_t>(count)]), count);
            select(kIdSizeList, count);
            sheet_.presetCount_ = count + 1;
            // With every preset slot used there is no room for another custom size, so the
            // custom entry is no longer offered.
            if (sheet_.presetCount_ == kMaxPresets) removeItem(kIdSizeList, kMaxPresets);
        } else if (selected >= 0 && selected < count) {
            Preset& p = sheet_.presets_[static_cast<size_t>(selected)];
            readEdits(p);
            setItemText(kIdSizeList, selected, presetCaption(p));
        }
        sheet_.selectedSize_ = selection(kIdSizeList);
    }

  protected:
    void handleCommand(int id, Notification n) override {
        if (n == Notification::EditChanged) {
            sheet_.setButtonEnabled(kIdApply, true);
            return;
        }
        if (n != Notification::SelectionChanged) return;
        if (id == kIdSizeList) {
            const int selected = selection(kIdSizeList);
            sheet_.selectedSize_ = selected;
            if (selected >= 0 && selected < sheet_.presetCount_) showPreset(selected);
        }
        sheet_.setButtonEnabled(kIdApply, true);
    }

  private:
    void open(bool horizontal, bool vertical) {
        const Language l = sheet_.language_;
        int colorEntry = 0;
        for (int i = 0; i < kColorCount; ++i) {
            addItem(kIdColorList, colorCaption(l, i), i);
            if (colorCaption(l, i) == colorCaption(l, sheet_.color_)) colorEntry = i;
        }
        select(kIdColorList, colorEntry);

        addItem(kIdSubSampleList, "1/1", 0);
        select(kIdSubSampleList, 0);
        setEnabled(kIdSubSampleList, false);

        addItem(kIdClockList, tr(l, "Nomal(24MHz)", "標準(24MHz)"), 0);
        addItem(kIdClockList, tr(l, "Half(12MHz)", "ハーフ(12MHz)"), 1);
        addItem(kIdClockList, formatText(tr(l, "High(%dMHz)", "高速(%dMHz)"), kHighClockMHz), 2);
        select(kIdClockList, sheet_.clock_);
        select(kIdClockList, kStoredClock);
        setEnabled(kIdClockList, false);

        const int count = sheet_.presetCount_;
        for (int i = 0; i < count; ++i)
            addItem(kIdSizeList, presetCaption(sheet_.presets_[static_cast<size_t>(i)]), i);
        if (count < kMaxPresets) addItem(kIdSizeList, tr(l, "Custom", "カスタム"), count);
        // A stored "Size" naming no entry selects the custom entry (or the first preset when
        // all slots are used), so that the edits always describe a preset that exists.
        int selected = sheet_.selectedSize_;
        if (selected < 0 || selected >= static_cast<int>(control(kIdSizeList).items.size()))
            selected = count < kMaxPresets ? count : 0;
        select(kIdSizeList, selected);
        sheet_.selectedSize_ = selected;
        showPreset(selected);
        setEditText(kIdWaitTime, std::to_string(sheet_.waitTime_));
        sheet_.setButtonEnabled(kIdApply, false);

        if (!horizontal)
            for (int id : {kIdTotalWidth, kIdWidth, kIdXStart}) setEnabled(id, false);
        if (!vertical)
            for (int id : {kIdTotalHeight, kIdHeight, kIdYStart}) setEnabled(id, false);
        if (!horizontal && !vertical) setEnabled(kIdSizeList, false);
    }

    void showPreset(int index) {
        const Preset& p = sheet_.presets_[static_cast<size_t>(index)];
        for (int i = 0; i < 6; ++i) setEditInt(kEditIds[i], p[static_cast<size_t>(i)]);
    }

    // A field whose edit does not hold a number keeps the value it had.
    void readEdits(Preset& p) const {
        for (int i = 0; i < 6; ++i)
            if (auto v = editInt(kEditIds[i])) p[static_cast<size_t>(i)] = *v;
    }

    StreamFormatSheet& sheet_;
};

StreamFormatSheet::StreamFormatSheet(int deviceNumber, bool horizontalAdjustable,
                                     bool verticalAdjustable, Language language)
    : Sheet(language), deviceNumber_(deviceNumber), language_(language) {
    presets_.fill(kInitialPreset);
    load();
    addButton(kIdOk, "OK");
    addButton(kIdCancel, tr(language, "Cancel", "キャンセル"));
    addButton(kIdApply, tr(language, "Apply", "適用"));
    page_ = &addPage<FormatPage>(*this, horizontalAdjustable, verticalAdjustable);
}

void StreamFormatSheet::load() {
    const RegistryKey camera = RegistryKey::open(cameraKeyPath(deviceNumber_));
    if (!camera.valid()) return;
    for (int i = 0; i < kMaxPresets; ++i) {
        const RegistryKey size = camera.openSubKey(presetKeyName(i));
        if (!size.valid()) break;
        Preset& p = presets_[static_cast<size_t>(i)];
        for (size_t v = 0; v < p.size(); ++v) readValue(size, kPresetValueNames[v], p[v]);
        presetCount_ = i + 1;
    }
    readValue(camera, "Size", selectedSize_);
    readValue(camera, "Color", color_);
    readValue(camera, "SubSample", subSample_);
    readValue(camera, "WaitTime", waitTime_);
    readValue(camera, "Clock", clock_);
}

void StreamFormatSheet::commit() {
    FormatPage& p = *page_;
    const std::string colorText = p.selectedText(kIdColorList);
    color_ = 0;
    for (int i = 0; i < kColorCount; ++i)
        if (colorText == colorCaption(language_, i)) color_ = i;
    const Control& sub = p.control(kIdSubSampleList);
    subSample_ = sub.selection >= 0 ? sub.itemData[static_cast<size_t>(sub.selection)] : 0;
    clock_ = p.selection(kIdClockList);
    if (auto wait = parseUnsigned(p.text(kIdWaitTime))) waitTime_ = *wait;
    p.storeSize();
    save();
    setButtonEnabled(kIdApply, false);
}

void StreamFormatSheet::save() const {
    RegistryKey camera = RegistryKey::create(cameraKeyPath(deviceNumber_));
    if (!camera.valid()) return;
    for (int i = 0; i < presetCount_; ++i) {
        RegistryKey size = camera.createSubKey(presetKeyName(i));
        if (!size.valid()) return;
        const Preset& p = presets_[static_cast<size_t>(i)];
        for (size_t v = 0; v < p.size(); ++v)
            if (!size.setDword(kPresetValueNames[v], static_cast<uint32_t>(p[v]))) return;
    }
    const uint32_t values[5] = {static_cast<uint32_t>(selectedSize_), static_cast<uint32_t>(color_),
                                static_cast<uint32_t>(subSample_), waitTime_,
                                static_cast<uint32_t>(clock_)};
    const char* names[5] = {"Size", "Color", "SubSample", "WaitTime", "Clock"};
    for (int i = 0; i < 5; ++i)
        if (!camera.setDword(names[i], values[i])) return;
}

}  // namespace orvane::dialogs
