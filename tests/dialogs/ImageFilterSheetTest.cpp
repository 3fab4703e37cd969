// The image filter sheet edits the session's record in place: enable sets per colour
// format, row bindings, commands, Default, OK and Cancel.
#include <gtest/gtest.h>

#include "dialogs/ImageFilterSheet.h"

namespace {

using namespace orvane::dialogs;
using orvane::platform::CriticalSection;
using S = ImageFilterSheet;

ImageValues sampleRecord() {
    ImageValues r{};
    const int values[10] = {10, -20, 30, 40, 5, 110, 120, 130, 90, 1};
    for (int i = 0; i < 10; ++i) r[static_cast<size_t>(i)] = values[i];
    r[image::kGrayMode] = 1;
    for (int i = 12; i < 20; ++i) r[static_cast<size_t>(i)] = 100 + i;
    return r;
}

struct Fixture : testing::Test {
    ImageValues record = sampleRecord();
    CriticalSection lock;
};
using ImageFilterSheetTest = Fixture;

constexpr int kTrackbars[9] = {2001, 2011, 2021, 2031, 2041, 2051, 2061, 2071, 2081};

TEST(ImageFilterFlags, EnableSetsFollowTheColourFormat) {
    for (int mono : {0, 1}) {
        const auto f = ImageFilterFlags::forColorIndex(mono);
        EXPECT_EQ(f.controls,
                  (std::array<bool, 9>{true, true, false, false, true, false, false, false, true}));
        EXPECT_FALSE(f.whiteBalance);
        EXPECT_TRUE(f.grayPage);
    }
    for (int colour = 2; colour <= 5; ++colour) {
        const auto f = ImageFilterFlags::forColorIndex(colour);
        EXPECT_EQ(f.controls,
                  (std::array<bool, 9>{true, true, true, true, true, true, true, true, true}));
        EXPECT_TRUE(f.whiteBalance);
        EXPECT_FALSE(f.grayPage);
    }
    for (int other : {-1, 6, 48}) {
        const auto f = ImageFilterFlags::forColorIndex(other);
        EXPECT_EQ(f.controls, (std::array<bool, 9>{}));
        EXPECT_FALSE(f.whiteBalance || f.grayPage);
    }
}

TEST_F(ImageFilterSheetTest, ColourFormatBindsEveryRowOnOneTab) {
    S sheet(record, ImageFilterFlags::forColorIndex(2), lock, Language::English);
    EXPECT_EQ(sheet.tabCaptions(), std::vector<std::string>{"Image Filter"});
    EXPECT_EQ(sheet.grayPage(), nullptr);
    const Page& p = sheet.filterPage();
    const Control& hue = p.control(S::kIdHueTrackbar);
    EXPECT_EQ(hue.minimum, -360);
    EXPECT_EQ(hue.maximum, 360);
    EXPECT_EQ(hue.tickFrequency, 90);
    EXPECT_EQ(hue.position, 30);
    EXPECT_EQ(p.text(S::kIdContrastEdit), "-20");
    EXPECT_EQ(p.control(S::kIdGreenUpDown).buddy, S::kIdGreenEdit);
    EXPECT_EQ(p.control(S::kIdSharpnessTrackbar).maximum, 30);
    for (int id : kTrackbars) EXPECT_TRUE(p.enabled(id)) << id;
    EXPECT_TRUE(p.enabled(S::kIdOnce));
    EXPECT_TRUE(p.checked(1031));
    EXPECT_FALSE(p.checked(1032));
    std::vector<int> buttons;
    for (const Control& b : sheet.buttons()) buttons.push_back(b.id);
    EXPECT_EQ(buttons, (std::vector<int>{kIdOk, kIdCancel, kIdDefault}));
}

TEST_F(ImageFilterSheetTest, MonochromeDisablesColourRowsAndAddsTheGrayPage) {
    S sheet(record, ImageFilterFlags::forColorIndex(0), lock, Language::Japanese);
    EXPECT_EQ(sheet.tabCaptions(), (std::vector<std::string>{"Image Filter", "Gray Filter"}));
    Page& p = sheet.filterPage();
    for (int id : {S::kIdHueTrackbar, S::kIdSaturationEdit, S::kIdRedUpDown, S::kIdGreenEdit,
                   S::kIdBlueTrackbar, S::kIdOnce, S::kIdAllFrames, 1030})
        EXPECT_FALSE(p.enabled(id)) << id;
    for (int id :
         {S::kIdBrightnessEdit, S::kIdContrastTrackbar, S::kIdSharpnessEdit, S::kIdGammaUpDown})
        EXPECT_TRUE(p.enabled(id)) << id;
    p.onEditChanged(S::kIdHueEdit, "100");  // disabled: not reachable
    p.onScroll(S::kIdRedTrackbar, 300);
    EXPECT_EQ(record[image::kHue], 30);
    EXPECT_EQ(record[image::kGainRed], 110);

    Page& gray = *sheet.grayPage();
    EXPECT_FALSE(gray.visible());
    EXPECT_EQ(gray.control(2112).minimum, -255);
    EXPECT_EQ(gray.control(2109).maximum, 400);
    EXPECT_EQ(gray.text(2122), "119");
    EXPECT_TRUE(gray.checked(S::kIdGrayModeConvert));
    EXPECT_EQ(gray.control(S::kIdGrayModeGrayscale).caption, "グレースケール");
    sheet.onTabChanged(1);
    EXPECT_TRUE(gray.visible());
    EXPECT_FALSE(p.visible());
    EXPECT_EQ(sheet.currentTab(), 1);
}

TEST_F(ImageFilterSheetTest, SlidersAndEditsWriteTheRecordLiveAndCancelRestoresIt) {
    const ImageValues before = record;
    S sheet(record, ImageFilterFlags::forColorIndex(3), lock, Language::English);
    Page& p = sheet.filterPage();
    p.onScroll(S::kIdGammaTrackbar, 150);
    EXPECT_EQ(record[image::kGamma], 150);
    EXPECT_EQ(p.text(S::kIdGammaEdit), "150");
    p.onEditChanged(S::kIdBrightnessEdit, "-77");
    EXPECT_EQ(record[image::kBrightness], -77);
    EXPECT_EQ(p.position(S::kIdBrightnessTrackbar), -77);
    EXPECT_EQ(p.position(S::kIdBrightnessUpDown), -77);
    p.onScroll(S::kIdSaturationTrackbar, 1000);  // beyond the range: held at its end
    EXPECT_EQ(record[image::kSaturation], 255);
    p.onEditChanged(S::kIdSharpnessEdit, "500");  // typed beyond the range
    EXPECT_EQ(record[image::kSharpness], 30);
    p.onEditChanged(S::kIdSharpnessEdit, "-");  // on the way to a number: ignored
    EXPECT_EQ(record[image::kSharpness], 30);
    p.onCommand(1033, Notification::Clicked);
    EXPECT_EQ(record[image::kBayerMode], 3);

    sheet.onButton(kIdCancel);
    EXPECT_EQ(sheet.result(), kResultCancel);
    EXPECT_EQ(record, before);
    p.onScroll(S::kIdGammaTrackbar, 10);  // after closing: ignored
    EXPECT_EQ(record, before);
}

TEST_F(ImageFilterSheetTest, WhiteBalanceCommands) {
    S sheet(record, ImageFilterFlags::forColorIndex(2), lock, Language::English);
    Page& p = sheet.filterPage();
    p.onCommand(S::kIdAllFrames, Notification::Clicked);
    EXPECT_TRUE(p.checked(S::kIdAllFrames));
    EXPECT_EQ(record[25], 1);
    record[26] = record[27] = 1;
    p.onCommand(S::kIdAllFrames, Notification::Clicked);
    EXPECT_EQ(record[25], 0);
    EXPECT_EQ(record[26], 0);
    EXPECT_EQ(record[27], 0);
    p.onCommand(S::kIdAllFrames, Notification::Clicked);
    p.onCommand(S::kIdOnce, Notification::Clicked);
    EXPECT_FALSE(p.checked(S::kIdAllFrames));
    EXPECT_EQ(record[25], 1);
    EXPECT_EQ(record[26], 1);
    EXPECT_EQ(record[27], 1);
}

TEST_F(ImageFilterSheetTest, GrayPageCommands) {
    S sheet(record, ImageFilterFlags::forColorIndex(1), lock, Language::English);
    Page& g = *sheet.grayPage();
    g.onCommand(S::kIdGrayModeGrayscale, Notification::Clicked);
    EXPECT_EQ(record[image::kGrayMode], 2);
    EXPECT_TRUE(g.checked(S::kIdGrayModeGrayscale));
    EXPECT_FALSE(g.checked(S::kIdGrayModeConvert));
    g.onCommand(1030, Notification::Clicked);
    EXPECT_EQ(record[image::kBayerMode], 0);
    g.onCommand(S::kIdOnce, Notification::Clicked);
    EXPECT_EQ(record[image::kGrayAutoGain], 1);
    // "All frames" toggles the record's state, whatever the box shows.
    g.onCommand(S::kIdAllFrames, Notification::Clicked);
    EXPECT_EQ(record[image::kGrayAutoGain], 0);
    g.onCommand(S::kIdAllFrames, Notification::Clicked);
    EXPECT_EQ(record[image::kGrayAutoGain], S::kGrayAutoGainAllFrames);
    EXPECT_GT(record[image::kGrayAutoGain], 0);  // a counter the pipeline counts down
    g.onScroll(2115, -100);                      // offset green 1
    EXPECT_EQ(record[17], -100);
    g.onEditChanged(2104, "333");  // gain green 1
    EXPECT_EQ(record[13], 333);
    EXPECT_EQ(g.position(2103), 333);
}

TEST_F(ImageFilterSheetTest, DefaultResetsFilterValuesAndGrayOnlyWithTheGrayPage) {
    {
        S sheet(record, ImageFilterFlags::forColorIndex(2), lock, Language::English);
        sheet.onButton(kIdDefault);
        const ImageValues& r = record;
        EXPECT_EQ((std::vector<int>(r.begin(), r.begin() + 10)),
                  (std::vector<int>{0, 0, 0, 0, 0, 100, 100, 100, 100, 2}));
        EXPECT_EQ(r[12], 112);  // no gray page: gray values untouched
        EXPECT_EQ(sheet.filterPage().text(S::kIdGammaEdit), "100");
        EXPECT_EQ(sheet.filterPage().position(S::kIdRedTrackbar), 100);
        EXPECT_TRUE(sheet.filterPage().checked(1032));
    }
    record = sampleRecord();
    S mono(record, ImageFilterFlags::forColorIndex(0), lock, Language::English);
    mono.defaults();
    for (int i = 12; i < 20; ++i) EXPECT_EQ(record[static_cast<size_t>(i)], 128) << i;
    EXPECT_EQ(mono.grayPage()->text(2113), "128");
    EXPECT_EQ(record[image::kGrayMode], 1);
}

TEST_F(ImageFilterSheetTest, OkReadsTheEditsBack) {
    S sheet(record, ImageFilterFlags::forColorIndex(0), lock, Language::English);
    // The pipeline measured new values while the sheet was open, and the edits still show
    // the old ones: OK stores what the user sees.
    record[image::kGamma] = 42;
    record[13] = 7;
    sheet.onButton(kIdOk);
    EXPECT_EQ(sheet.result(), kResultOk);
    EXPECT_EQ(record[image::kGamma], 90);
    EXPECT_EQ(record[13], 113);
    EXPECT_EQ(record[image::kBayerMode], 1);
}

TEST_F(ImageFilterSheetTest, OkKeepsABayerPhaseChosenOnTheGrayPage) {
    S sheet(record, ImageFilterFlags::forColorIndex(0), lock, Language::English);
    sheet.grayPage()->onCommand(1030, Notification::Clicked);
    sheet.ok();
    EXPECT_EQ(record[image::kBayerMode], 0);
}

TEST_F(ImageFilterSheetTest, RefreshShowsWhatThePipelineStored) {
    S sheet(record, ImageFilterFlags::forColorIndex(2), lock, Language::English);
    EXPECT_FALSE(sheet.processRequests());
    record[image::kGainRed] = 222;
    int wakeups = 0;
    sheet.setWakeup([&] { ++wakeups; });
    sheet.requestRefresh();
    EXPECT_EQ(wakeups, 1);
    EXPECT_TRUE(sheet.processRequests());
    EXPECT_FALSE(sheet.processRequests());
    EXPECT_EQ(sheet.filterPage().text(S::kIdRedEdit), "222");
    EXPECT_EQ(sheet.filterPage().position(S::kIdRedTrackbar), 222);
}

}  // namespace
