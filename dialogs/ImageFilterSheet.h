// The image filter sheet: edits, live, the session's image-processing record (brightness,
// contrast, hue, saturation, sharpness, colour gains, gamma, Bayer phase, white balance)
// and, for monochrome formats, the gray gains and offsets on a second page. The pages
// write straight into the record the pipeline reads, under the lock that guards it, so a
// change shows on the next processed frame. Cancel puts the record back as it was when
// the sheet opened.
#pragma once

#include <array>
#include <atomic>
#include <functional>

#include "dialogs/ControlModel.h"
#include "dialogs/Language.h"
#include "dialogs/Records.h"
#include "platform/Sync.h"

namespace orvane::dialogs {

// Which controls the sheet offers, from the session's colour format.
struct ImageFilterFlags {
    // Brightness, contrast, hue, saturation, sharpness, red, green, blue, gamma.
    std::array<bool, 9> controls{};
    bool whiteBalance = false;  // white-balance controls and Bayer phase
    bool grayPage = false;

    // Monochrome formats (0, 1): brightness, contrast, sharpness, gamma and the gray page;
    // colour formats (2 to 5): everything but the gray page; anything else: nothing.
    static ImageFilterFlags forColorIndex(int colorIndex);
};

class ImageFilterSheet : public Sheet {
  public:
    // Filter page controls (trackbar, edit, up-down per row; the rest below).
    static constexpr int kIdBrightnessTrackbar = 2001;
    static constexpr int kIdBrightnessEdit = 2002;
    static constexpr int kIdBrightnessUpDown = 2004;
    static constexpr int kIdContrastTrackbar = 2011;
    static constexpr int kIdContrastEdit = 2012;
    static constexpr int kIdContrastUpDown = 2014;
    static constexpr int kIdHueTrackbar = 2021;
    static constexpr int kIdHueEdit = 2022;
    static constexpr int kIdHueUpDown = 2024;
    static constexpr int kIdSaturationTrackbar = 2031;
    static constexpr int kIdSaturationEdit = 2032;
    static constexpr int kIdSaturationUpDown = 2034;
    static constexpr int kIdSharpnessTrackbar = 2041;
    static constexpr int kIdSharpnessEdit = 2042;
    static constexpr int kIdSharpnessUpDown = 2044;
    static constexpr int kIdRedTrackbar = 2051;
    static constexpr int kIdRedEdit = 2052;
    static constexpr int kIdRedUpDown = 2054;
    static constexpr int kIdGreenTrackbar = 2061;
    static constexpr int kIdGreenEdit = 2062;
    static constexpr int kIdGreenUpDown = 2063;
    static constexpr int kIdBlueTrackbar = 2071;
    static constexpr int kIdBlueEdit = 2072;
    static constexpr int kIdBlueUpDown = 2073;
    static constexpr int kIdGammaTrackbar = 2081;
    static constexpr int kIdGammaEdit = 2082;
    static constexpr int kIdGammaUpDown = 2084;
    static constexpr int kIdOnce = 2074;       // white balance once / gray automatic gain once
    static constexpr int kIdAllFrames = 1035;  // on every frame
    static constexpr int kIdBayerPhase0 = 1030;
    static constexpr int kIdBayerPhase3 = 1033;
    // Gray page: gain rows start at 2100, offset rows at 2112, three identifiers each
    // (trackbar, edit, up-down) in the order red, green 1, green 2, blue.
    static constexpr int kIdGrayGainFirst = 2100;
    static constexpr int kIdGrayOffsetFirst = 2112;
    static constexpr int kIdGrayModeBayer = 1046;
    static constexpr int kIdGrayModeConvert = 1047;
    static constexpr int kIdGrayModeGrayscale = 1048;

    // The value the gray page's "All frames" stores for the automatic gray gain: a frame
    // counter the pipeline counts down, large enough never to run out in practice.
    static constexpr int32_t kGrayAutoGainAllFrames = INT32_MAX;

    // Opens the sheet on the session's record; recordLock is held for every access to it.
    ImageFilterSheet(ImageValues& record, const ImageFilterFlags& flags,
                     platform::CriticalSection& recordLock, Language language = userLanguage());
    ~ImageFilterSheet() override;

    Page& filterPage() { return page(0); }
    // Null without a gray page.
    Page* grayPage() { return pageCount() > 1 ? &page(1) : nullptr; }

    // Any thread (the pipeline, with the record lock held or not): asks for the pages to
    // show the record again after the pipeline changed it. Never blocks; the GUI thread
    // carries it out in processRequests(). The wake-up function, if set, is called on the
    // requesting thread so a front-end can schedule processRequests() on its own loop.
    void requestRefresh();
    // Set before the sheet is visible to other threads.
    void setWakeup(std::function<void()> wakeup) { wakeup_ = std::move(wakeup); }
    // GUI thread: carries out a pending refresh; true if there was one.
    bool processRequests();

  private:
    class FilterPage;
    class GrayPage;

    void commit() override;
    void resetToDefaults() override;
    void cancelled() override;
    void refreshPages();

    ImageValues& record_ ORVANE_GUARDED_BY(recordLock_);
    platform::CriticalSection& recordLock_;
    ImageValues saved_;  // the record as it was when the sheet opened
    FilterPage* filter_ = nullptr;
    GrayPage* gray_ = nullptr;
    std::atomic<bool> refreshPending_{false};
    std::function<void()> wakeup_;  // fixed while the sheet is visible to other threads
};

}  // namespace orvane::dialogs
