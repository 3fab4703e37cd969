#include "dialogs/ImageFilterSheet.h"

#include <algorithm>
#include <vector>

namespace orvane::dialogs {
namespace {

// One trackbar row: the record member, its three controls, range, tick frequency, the
// enable flag that governs it (-1: always enabled) and its name.
struct Row {
    int index;
    int trackbar;
    int edit;
    int upDown;
    int minimum;
    int maximum;
    int tick;
    int flag;
    const char* english;
    const char* japanese;
};

using S = ImageFilterSheet;

constexpr Row kFilterRows[9] = {
    {image::kBrightness, S::kIdBrightnessTrackbar, S::kIdBrightnessEdit, S::kIdBrightnessUpDown,
     -255, 255, 64, 0, "Brightness", "明るさ"},
    {image::kContrast, S::kIdContrastTrackbar, S::kIdContrastEdit, S::kIdContrastUpDown, -127, 127,
     32, 1, "Contrast", "コントラスト"},
    {image::kHue, S::kIdHueTrackbar, S::kIdHueEdit, S::kIdHueUpDown, -360, 360, 90, 2, "Hue",
     "色相"},
    {image::kSaturation, S::kIdSaturationTrackbar, S::kIdSaturationEdit, S::kIdSaturationUpDown,
     -255, 255, 64, 3, "Saturation", "彩度"},
    {image::kSharpness, S::kIdSharpnessTrackbar, S::kIdSharpnessEdit, S::kIdSharpnessUpDown, 0, 30,
     4, 4, "Sharpness", "シャープネス"},
    {image::kGainRed, S::kIdRedTrackbar, S::kIdRedEdit, S::kIdRedUpDown, 0, 400, 32, 5, "Red",
     "赤"},
    {image::kGainGreen, S::kIdGreenTrackbar, S::kIdGreenEdit, S::kIdGreenUpDown, 0, 400, 32, 6,
     "Green", "緑"},
    {image::kGainBlue, S::kIdBlueTrackbar, S::kIdBlueEdit, S::kIdBlueUpDown, 0, 400, 32, 7, "Blue",
     "青"},
    {image::kGamma, S::kIdGammaTrackbar, S::kIdGammaEdit, S::kIdGammaUpDown, 0, 200, 32, 8, "Gamma",
     "ガンマ"},
};

std::vector<Row> grayRows() {
    const char* english[8] = {"Gain R",   "Gain G1",   "Gain G2",   "Gain B",
                              "Offset R", "Offset G1", "Offset G2", "Offset B"};
    const char* japanese[8] = {"ゲイン R",     "ゲイン G1",     "ゲイン G2",     "ゲイン B",
                               "オフセット R", "オフセット G1", "オフセット G2", "オフセット B"};
    std::vector<Row> rows;
    for (int i = 0; i < 8; ++i) {
        const bool gain = i < 4;
        const int first = (gain ? S::kIdGrayGainFirst : S::kIdGrayOffsetFirst) + 3 * (i % 4);
        rows.push_back({image::kGrayGainR + i, first, first + 1, first + 2, gain ? 0 : -255,
                        gain ? 400 : 255, 32, -1, english[i], japanese[i]});
    }
    return rows;
}

constexpr int kDefaultFilter[10] = {0, 0, 0, 0, 0, 100, 100, 100, 100, 2};
constexpr int kDefaultGray = 128;

}  // namespace

ImageFilterFlags ImageFilterFlags::forColorIndex(int colorIndex) {
    ImageFilterFlags f;
    if (colorIndex == 0 || colorIndex == 1) {
        for (int i : {0, 1, 4, 8}) f.controls[static_cast<size_t>(i)] = true;
        f.grayPage = true;
    } else if (colorIndex >= 2 && colorIndex <= 5) {
        f.controls.fill(true);
        f.whiteBalance = true;
    }
    return f;
}

// A page of trackbar rows bound to members of the record, plus the Bayer-phase radio
// buttons and the white-balance (or automatic gray gain) buttons both pages carry.
class RecordPage : public Page {
  public:
    RecordPage(std::string caption, Language language, ImageValues& record,
               platform::CriticalSection& lock, std::vector<Row> rows)
        : Page(std::move(caption)), record_(record), lock_(lock), rows_(std::move(rows)) {
        for (const Row& r : rows_) {
            add(r.trackbar, ControlKind::Trackbar, tr(language, r.english, r.japanese));
            add(r.edit, ControlKind::Edit);
            add(r.upDown, ControlKind::UpDown);
        }
        add(S::kIdOnce, ControlKind::Button, tr(language, "Once", "1回"));
        add(S::kIdAllFrames, ControlKind::CheckBox, tr(language, "All frames", "全フレーム"));
        std::vector<int> phases;
        for (int id = S::kIdBayerPhase0; id <= S::kIdBayerPhase3; ++id) {
            add(id, ControlKind::RadioButton, std::to_string(id - S::kIdBayerPhase0));
            phases.push_back(id);
        }
        addRadioGroup(phases);
    }

    // Shows the record again; the edits written here are not taken as user changes.
    void refresh() {
        ready_ = false;
        const ImageValues values = snapshot();
        bind(values);
        ready_ = true;
    }

    // OK: every edit back into the record (a field whose edit holds no number keeps its
    // value), then the checked Bayer phase.
    void readBack() {
        for (const Row& r : rows_)
            if (auto v = editInt(r.edit)) write(r.index, std::clamp(*v, r.minimum, r.maximum));
        for (int id = S::kIdBayerPhase0; id <= S::kIdBayerPhase3; ++id)
            if (checked(id)) write(image::kBayerMode, id - S::kIdBayerPhase0);
    }

  protected:
    virtual void bind(const ImageValues& values) = 0;

    bool rowEnabled(const Row& r) const {
        return r.flag < 0 || flags_[static_cast<size_t>(r.flag)];
    }

    void bindRows(const ImageValues& values) {
        for (const Row& r : rows_)
            bindRow(r.trackbar, r.edit, r.upDown, r.minimum, r.maximum,
                    values[static_cast<size_t>(r.index)], r.tick, rowEnabled(r));
    }

    void checkRadio(int first, int last, int value) {
        for (int id = first; id <= last; ++id) setChecked(id, id - first == value);
    }

    ImageValues snapshot() const {
        platform::LockGuard guard(lock_);
        return record_;
    }

    void write(int index, int32_t value) {
        platform::LockGuard guard(lock_);
        record_[static_cast<size_t>(index)] = value;
    }

    int32_t read(int index) const {
        platform::LockGuard guard(lock_);
        return record_[static_cast<size_t>(index)];
    }

    // Edit changes and scrolls of the rows; true when id belongs to a row.
    bool handleRow(int id, Notification n) {
        for (const Row& r : rows_) {
            if (id == r.edit && n == Notification::EditChanged) {
                if (!ready_) return true;
                // Typed values are held to the row's range: the pipeline reads the record
                // while the user types, and its routines are defined on that range.
                const auto v = editInt(r.edit);
                if (!v) return true;
                const int32_t value = std::clamp(*v, r.minimum, r.maximum);
                write(r.index, value);
                setPosition(r.trackbar, value);
                setPosition(r.upDown, value);
                return true;
            }
        }
        return false;
    }

    void handleScroll(int id) override {
        for (const Row& r : rows_) {
            if (id != r.trackbar && id != r.upDown) continue;
            const int pos = position(id);
            setEditInt(r.edit, pos);
            if (ready_) write(r.index, pos);
            return;
        }
    }

    ImageValues& record_ ORVANE_GUARDED_BY(lock_);
    platform::CriticalSection& lock_;
    std::vector<Row> rows_;
    std::array<bool, 9> flags_{};
    bool ready_ = false;
};

class ImageFilterSheet::FilterPage : public RecordPage {
  public:
    FilterPage(Language language, ImageValues& record, platform::CriticalSection& lock,
               const ImageFilterFlags& flags)
        : RecordPage("Image Filter", language, record, lock,
                     std::vector<Row>(std::begin(kFilterRows), std::end(kFilterRows))),
          whiteBalance_(flags.whiteBalance) {
        flags_ = flags.controls;
        refresh();
    }

  protected:
    void bind(const ImageValues& values) override {
        bindRows(values);
        for (int id : {kIdOnce, kIdAllFrames}) setEnabled(id, whiteBalance_);
        for (int id = kIdBayerPhase0; id <= kIdBayerPhase3; ++id) setEnabled(id, whiteBalance_);
        checkRadio(kIdBayerPhase0, kIdBayerPhase3, values[image::kBayerMode]);
    }

    void handleCommand(int id, Notification n) override {
        if (handleRow(id, n) || n != Notification::Clicked) return;
        if (id >= kIdBayerPhase0 && id <= kIdBayerPhase3) {
            write(image::kBayerMode, id - kIdBayerPhase0);
        } else if (id == kIdAllFrames) {
            platform::LockGuard guard(lock_);
            record_[image::kBayerGainAuto] = checked(kIdAllFrames) ? 1 : 0;
            record_[image::kWhiteBalanceRequest1] = 0;
            record_[image::kWhiteBalanceRequest2] = 0;
        } else if (id == kIdOnce) {
            {
                platform::LockGuard guard(lock_);
                record_[image::kBayerGainAuto] = 1;
                record_[image::kWhiteBalanceRequest1] = 1;
                record_[image::kWhiteBalanceRequest2] = 1;
            }
            setChecked(kIdAllFrames, false);
        }
    }

  private:
    const bool whiteBalance_;
};

class ImageFilterSheet::GrayPage : public RecordPage {
  public:
    GrayPage(Language language, ImageValues& record, platform::CriticalSection& lock)
        : RecordPage("Gray Filter", language, record, lock, grayRows()) {
        add(kIdGrayModeBayer, ControlKind::RadioButton, tr(language, "Bayer", "ベイヤー"));
        add(kIdGrayModeConvert, ControlKind::RadioButton,
            tr(language, "Bayer convert", "ベイヤー変換"));
        add(kIdGrayModeGrayscale, ControlKind::RadioButton,
            tr(language, "Grayscale", "グレースケール"));
        addRadioGroup({kIdGrayModeBayer, kIdGrayModeConvert, kIdGrayModeGrayscale});
        refresh();
    }

  protected:
    void bind(const ImageValues& values) override {
        bindRows(values);
        checkRadio(kIdGrayModeBayer, kIdGrayModeGrayscale, values[image::kGrayMode]);
        checkRadio(kIdBayerPhase0, kIdBayerPhase3, values[image::kBayerMode]);
    }

    void handleCommand(int id, Notification n) override {
        if (handleRow(id, n) || n != Notification::Clicked) return;
        if (id >= kIdBayerPhase0 && id <= kIdBayerPhase3) {
            write(image::kBayerMode, id - kIdBayerPhase0);
        } else if (id >= kIdGrayModeBayer && id <= kIdGrayModeGrayscale) {
            write(image::kGrayMode, id - kIdGrayModeBayer);
        } else if (id == kIdAllFrames) {
            // Toggles the record's own state; the box is not consulted.
            platform::LockGuard guard(lock_);
            int32_t& v = record_[image::kGrayAutoGain];
            v = v == 0 ? kGrayAutoGainAllFrames : 0;
        } else if (id == kIdOnce) {
            write(image::kGrayAutoGain, 1);
        }
    }
};

ImageFilterSheet::ImageFilterSheet(ImageValues& record, const ImageFilterFlags& flags,
                                   platform::CriticalSection& recordLock, Language language)
    : Sheet(language), record_(record), recordLock_(recordLock) {
    {
        platform::LockGuard guard(recordLock_);
        saved_ = record_;
    }
    addButton(kIdOk, "OK");
    addButton(kIdCancel, tr(language, "Cancel", "キャンセル"));
    addButton(kIdDefault, tr(language, "Default", "デフォルト"));
    filter_ = &addPage<FilterPage>(language, record, recordLock, flags);
    if (flags.grayPage) gray_ = &addPage<GrayPage>(language, record, recordLock);
}

ImageFilterSheet::~ImageFilterSheet() = default;

void ImageFilterSheet::requestRefresh() {
    refreshPending_.store(true);
    if (wakeup_) wakeup_();
}

bool ImageFilterSheet::processRequests() {
    if (!isOpen() || !refreshPending_.exchange(false)) return false;
    refreshPages();
    return true;
}

void ImageFilterSheet::refreshPages() {
    filter_->refresh();
    if (gray_ != nullptr) gray_->refresh();
}

void ImageFilterSheet::commit() {
    filter_->readBack();
    if (gray_ != nullptr) gray_->readBack();
}

void ImageFilterSheet::resetToDefaults() {
    {
        platform::LockGuard guard(recordLock_);
        for (int i = 0; i < 10; ++i) record_[static_cast<size_t>(i)] = kDefaultFilter[i];
        if (gray_ != nullptr)
            for (int i = image::kGrayGainR; i < image::kGrayOffsetR + 4; ++i)
                record_[static_cast<size_t>(i)] = kDefaultGray;
    }
    refreshPages();
}

void ImageFilterSheet::cancelled() {
    platform::LockGuard guard(recordLock_);
    record_ = saved_;
}

}  // namespace orvane::dialogs
