// The stream format sheet: output colour format, capture-size preset (or a custom size),
// and wait time of one camera, kept in the settings file under that camera's key. It never
// talks to the device; it edits its own copy of the stored values and writes them on OK
// and Apply. Cancel writes nothing.
#pragma once

#include <array>
#include <cstdint>

#include "dialogs/ControlModel.h"
#include "dialogs/Language.h"

namespace orvane::dialogs {

class StreamFormatSheet : public Sheet {
  public:
    static constexpr int kMaxPresets = 100;

    // Control identifiers of the page.
    static constexpr int kIdColorList = 1009;
    static constexpr int kIdSizeList = 1010;
    static constexpr int kIdSubSampleList = 1012;
    static constexpr int kIdClockList = 1014;
    static constexpr int kIdTotalWidth = 1039;
    static constexpr int kIdTotalHeight = 1040;
    static constexpr int kIdWidth = 1041;
    static constexpr int kIdHeight = 1042;
    static constexpr int kIdXStart = 1043;
    static constexpr int kIdYStart = 1044;
    static constexpr int kIdWaitTime = 1045;
    // Static texts of the page's layout (group boxes and the note), without identifiers of
    // their own in the native templates.
    static constexpr int kIdVideoFormatGroup = -1;
    static constexpr int kIdCameraSizeGroup = -2;
    static constexpr int kIdFrameRateGroup = -3;
    static constexpr int kIdClockNote = -4;

    // A size preset: TH, TV, EH, EV, EHS, EVS, Buf.
    using Preset = std::array<int32_t, 7>;
    static constexpr Preset kInitialPreset = {3072, 2048, 3072, 2048, 0, 0, 4};

    // Opens the sheet: loads the stored presets and values of camera deviceNumber and fills
    // the page. The flags say whether the device lets the capture window change
    // horizontally and vertically.
    StreamFormatSheet(int deviceNumber, bool horizontalAdjustable, bool verticalAdjustable,
                      Language language = userLanguage());

    Page& formatPage() { return page(0); }
    const Page& formatPage() const { return page(0); }

    // The dialog's copy of the stored values.
    int presetCount() const { return presetCount_; }
    const Preset& preset(int index) const { return presets_.at(static_cast<size_t>(index)); }
    int selectedSize() const { return selectedSize_; }
    int colorIndex() const { return color_; }
    int subSample() const { return subSample_; }
    int clock() const { return clock_; }
    uint32_t waitTime() const { return waitTime_; }

    // Caption of colour format index 0 to 5 in this sheet's language.
    static std::string colorCaption(Language language, int index);

  private:
    class FormatPage;
    friend class FormatPage;

    void load();
    void save() const;
    void commit() override;

    const int deviceNumber_;
    const Language language_;
    std::array<Preset, kMaxPresets> presets_;
    int presetCount_ = 0;
    int selectedSize_ = 0;
    int color_ = 0;
    int subSample_ = 0;
    int clock_ = 0;
    uint32_t waitTime_ = 0;
    FormatPage* page_ = nullptr;  // owned by the sheet's page list
};

}  // namespace orvane::dialogs
