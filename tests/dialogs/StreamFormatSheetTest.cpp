// The stream format sheet against the settings file: what it loads, how the page reacts,
// and exactly what OK and Apply store.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "dialogs/SettingsKeys.h"
#include "dialogs/StreamFormatSheet.h"
#include "platform/Registry.h"
#include "support/RegistryValues.h"
#include "support/ScopedEnv.h"

namespace {

using namespace orvane::dialogs;
using orvane::platform::RegistryKey;
using orvane::test::ScopedEnv;
using S = StreamFormatSheet;

const std::string kCamera = cameraKeyPath(0);

void storePreset(int n, int w, int h, int x = 0, int y = 0) {
    RegistryKey key = RegistryKey::create(kCamera + "\\" + presetKeyName(n));
    const int values[7] = {3072, 2048, w, h, x, y, 4};
    const char* names[7] = {"TH", "TV", "EH", "EV", "EHS", "EVS", "Buf"};
    for (int i = 0; i < 7; ++i) key.setDword(names[i], static_cast<uint32_t>(values[i]));
}

void storeValue(const char* name, uint32_t value) {
    RegistryKey::create(kCamera).setDword(name, value);
}

std::optional<uint32_t> stored(const std::string& path, const char* name) {
    return orvane::test::dwordOf(RegistryKey::open(path), name);
}
std::optional<uint32_t> storedCamera(const char* name) {
    return stored(kCamera, name);
}
std::optional<uint32_t> storedPreset(int n, const char* name) {
    return stored(kCamera + "\\" + presetKeyName(n), name);
}

void typeInto(S& sheet, int id, const std::string& text) {
    sheet.formatPage().onEditChanged(id, text);
}

TEST(StreamFormatSheet, WithoutStoredPresetsConfirmingCustomStoresTheFirstPreset) {
    S sheet(0, true, true, Language::English);
    const Page& p = sheet.formatPage();
    EXPECT_EQ(p.control(S::kIdSizeList).items, std::vector<std::string>{"Custom"});
    EXPECT_EQ(p.selection(S::kIdSizeList), 0);
    EXPECT_EQ(p.text(S::kIdWidth), "3072");
    EXPECT_EQ(p.text(S::kIdHeight), "2048");
    EXPECT_FALSE(sheet.button(kIdApply).enabled);

    typeInto(sheet, S::kIdWidth, "1024");
    typeInto(sheet, S::kIdHeight, "768");
    typeInto(sheet, S::kIdXStart, "16");
    EXPECT_TRUE(sheet.button(kIdApply).enabled);
    sheet.onButton(kIdOk);

    EXPECT_EQ(sheet.result(), kResultOk);
    EXPECT_EQ(storedPreset(0, "TH"), 3072u);
    EXPECT_EQ(storedPreset(0, "EH"), 1024u);
    EXPECT_EQ(storedPreset(0, "EV"), 768u);
    EXPECT_EQ(storedPreset(0, "EHS"), 16u);
    EXPECT_EQ(storedPreset(0, "Buf"), 4u);
    EXPECT_FALSE(storedPreset(1, "EH"));
    EXPECT_EQ(storedCamera("Size"), 0u);
    EXPECT_EQ(storedCamera("Color"), 0u);
    EXPECT_EQ(storedCamera("SubSample"), 0u);
    EXPECT_EQ(storedCamera("Clock"), 2u);
}

TEST(StreamFormatSheet, OpensWithTheStoredValues) {
    storePreset(0, 640, 480);
    storePreset(1, 1024, 768, 8, 4);
    storePreset(3, 320, 240);  // after a gap: not a preset of this camera
    storeValue("Size", 1);
    storeValue("Color", 3);
    storeValue("WaitTime", 25);
    storeValue("Clock", 0);
    S sheet(0, true, true, Language::English);
    const Page& p = sheet.formatPage();

    EXPECT_EQ(sheet.presetCount(), 2);
    EXPECT_EQ(p.control(S::kIdSizeList).items,
              (std::vector<std::string>{"640 x 480", "1024 x 768", "Custom"}));
    EXPECT_EQ(p.selection(S::kIdSizeList), 1);
    EXPECT_EQ(p.text(S::kIdWidth), "1024");
    EXPECT_EQ(p.text(S::kIdXStart), "8");
    EXPECT_EQ(p.text(S::kIdYStart), "4");
    EXPECT_EQ(p.text(S::kIdWaitTime), "25");
    EXPECT_EQ(p.selectedText(S::kIdColorList), "Color 32bit");
    EXPECT_EQ(p.control(S::kIdColorList).items,
              (std::vector<std::string>{"Monochrome 8bit", "Monochrome 12bit *", "Color 24bit",
                                        "Color 32bit", "Color 48bit *", "Color 64bit *"}));
    EXPECT_EQ(p.control(S::kIdClockList).items,
              (std::vector<std::string>{"Nomal(24MHz)", "Half(12MHz)", "High(36MHz)"}));
    EXPECT_EQ(p.selection(S::kIdClockList), 2);
    EXPECT_FALSE(p.enabled(S::kIdClockList));
    EXPECT_EQ(p.control(S::kIdSubSampleList).items, std::vector<std::string>{"1/1"});
    EXPECT_FALSE(p.enabled(S::kIdSubSampleList));
    EXPECT_FALSE(sheet.button(kIdApply).enabled);
    EXPECT_EQ(sheet.tabCaptions(), std::vector<std::string>{"Stream Format"});
    EXPECT_EQ(p.text(S::kIdClockNote),
              "* In the WORD forwarding mode, please set the clock to the half.");
}

TEST(StreamFormatSheet, SizeSelectionFillsTheEditsAndCustomKeepsThem) {
    storePreset(0, 640, 480);
    storePreset(1, 1024, 768);
    S sheet(0, true, true, Language::English);
    Page& p = sheet.formatPage();
    p.onSelectionChanged(S::kIdSizeList, 0);
    EXPECT_EQ(p.text(S::kIdWidth), "640");
    EXPECT_TRUE(sheet.button(kIdApply).enabled);
    p.onSelectionChanged(S::kIdSizeList, 2);  // custom
    EXPECT_EQ(p.text(S::kIdWidth), "640");
    EXPECT_EQ(sheet.selectedSize(), 2);
}

TEST(StreamFormatSheet, ApplyReplacesTheEditedPresetInPlaceAndStaysOpen) {
    storePreset(0, 640, 480);
    storePreset(1, 1024, 768);
    storeValue("Size", 1);
    storeValue("Clock", 1);
    S sheet(0, true, true, Language::English);
    typeInto(sheet, S::kIdWidth, "1280");
    typeInto(sheet, S::kIdHeight, "720");
    sheet.formatPage().onSelectionChanged(S::kIdColorList, 4);
    sheet.onButton(kIdApply);

    EXPECT_TRUE(sheet.isOpen());
    EXPECT_FALSE(sheet.button(kIdApply).enabled);
    EXPECT_EQ(sheet.formatPage().control(S::kIdSizeList).items,
              (std::vector<std::string>{"640 x 480", "1280 x 720", "Custom"}));
    EXPECT_EQ(storedPreset(1, "EH"), 1280u);
    EXPECT_EQ(storedPreset(0, "EH"), 640u);
    EXPECT_EQ(storedCamera("Size"), 1u);
    EXPECT_EQ(storedCamera("Color"), 4u);
    EXPECT_EQ(storedCamera("Clock"), 2u);
    sheet.onButton(kIdApply);  // disabled: nothing happens
    EXPECT_TRUE(sheet.isOpen());
}

TEST(StreamFormatSheet, CustomEntryBecomesANewPresetBeforeCustom) {
    storePreset(0, 640, 480);
    S sheet(0, true, true, Language::English);
    Page& p = sheet.formatPage();
    p.onSelectionChanged(S::kIdSizeList, 1);
    typeInto(sheet, S::kIdWidth, "800");
    typeInto(sheet, S::kIdHeight, "600");
    typeInto(sheet, S::kIdWaitTime, "40");
    sheet.apply();
    EXPECT_EQ(sheet.presetCount(), 2);
    EXPECT_EQ(p.control(S::kIdSizeList).items,
              (std::vector<std::string>{"640 x 480", "800 x 600", "Custom"}));
    EXPECT_EQ(p.selection(S::kIdSizeList), 1);
    EXPECT_EQ(sheet.preset(1)[6], 4);
    EXPECT_EQ(storedPreset(1, "EV"), 600u);
    EXPECT_EQ(storedCamera("Size"), 1u);
    EXPECT_EQ(storedCamera("WaitTime"), 40u);
}

TEST(StreamFormatSheet, CancelWritesNothing) {
    storePreset(0, 640, 480);
    storeValue("Clock", 1);
    S sheet(0, true, true, Language::English);
    typeInto(sheet, S::kIdWidth, "100");
    sheet.onButton(kIdCancel);
    EXPECT_EQ(sheet.result(), kResultCancel);
    EXPECT_EQ(storedPreset(0, "EH"), 640u);
    EXPECT_EQ(storedCamera("Clock"), 1u);
    EXPECT_FALSE(storedCamera("Size"));
    sheet.ok();  // closed: ignored
    EXPECT_EQ(sheet.result(), kResultCancel);
    EXPECT_FALSE(storedCamera("Size"));
}

TEST(StreamFormatSheet, LoadsAtMostOneHundredPresetsAndThenOffersNoCustomEntry) {
    for (int i = 0; i < 102; ++i) storePreset(i, 100 + i, 50);
    S sheet(0, true, true, Language::English);
    const Page& p = sheet.formatPage();
    EXPECT_EQ(sheet.presetCount(), 100);
    ASSERT_EQ(p.control(S::kIdSizeList).items.size(), 100u);
    EXPECT_EQ(p.control(S::kIdSizeList).items.back(), "199 x 50");
}

TEST(StreamFormatSheet, TheHundredthPresetRemovesTheCustomEntry) {
    for (int i = 0; i < 99; ++i) storePreset(i, 100 + i, 50);
    S sheet(0, true, true, Language::English);
    Page& p = sheet.formatPage();
    p.onSelectionChanged(S::kIdSizeList, 99);
    ASSERT_EQ(p.selectedText(S::kIdSizeList), "Custom");
    typeInto(sheet, S::kIdWidth, "2000");
    sheet.apply();
    EXPECT_EQ(sheet.presetCount(), 100);
    EXPECT_EQ(p.control(S::kIdSizeList).items.size(), 100u);
    EXPECT_EQ(p.selectedText(S::kIdSizeList), "2000 x 50");
    EXPECT_EQ(storedPreset(99, "EH"), 2000u);
    EXPECT_EQ(storedCamera("Size"), 99u);
    // A further Apply edits that preset rather than writing past the last slot.
    typeInto(sheet, S::kIdWidth, "2002");
    sheet.apply();
    EXPECT_EQ(sheet.presetCount(), 100);
    EXPECT_EQ(storedPreset(99, "EH"), 2002u);
}

TEST(StreamFormatSheet, StoredSizeNamingNoPresetSelectsCustom) {
    storePreset(0, 640, 480);
    storeValue("Size", 7);
    S sheet(0, true, true, Language::English);
    EXPECT_EQ(sheet.formatPage().selectedText(S::kIdSizeList), "Custom");
    EXPECT_EQ(sheet.formatPage().text(S::kIdWidth), "3072");
    sheet.ok();
    EXPECT_EQ(sheet.presetCount(), 2);
    EXPECT_EQ(storedCamera("Size"), 1u);
}

TEST(StreamFormatSheet, FixedWindowDirectionsDisableTheirEdits) {
    S horizontalFixed(0, false, true, Language::English);
    const Page& h = horizontalFixed.formatPage();
    for (int id : {S::kIdTotalWidth, S::kIdWidth, S::kIdXStart}) EXPECT_FALSE(h.enabled(id));
    for (int id : {S::kIdTotalHeight, S::kIdHeight, S::kIdYStart}) EXPECT_TRUE(h.enabled(id));
    EXPECT_TRUE(h.enabled(S::kIdSizeList));

    S bothFixed(0, false, false, Language::English);
    EXPECT_FALSE(bothFixed.formatPage().enabled(S::kIdSizeList));
    EXPECT_FALSE(bothFixed.formatPage().enabled(S::kIdYStart));
    // A disabled control cannot report a change.
    bothFixed.formatPage().onEditChanged(S::kIdWidth, "5");
    EXPECT_EQ(bothFixed.formatPage().text(S::kIdWidth), "3072");
}

TEST(StreamFormatSheet, WaitTimeThatIsNotANumberKeepsTheStoredOne) {
    storeValue("WaitTime", 12);
    S sheet(0, true, true, Language::English);
    typeInto(sheet, S::kIdWaitTime, "-3");
    sheet.ok();
    EXPECT_EQ(storedCamera("WaitTime"), 12u);
}

TEST(StreamFormatSheet, JapaneseCaptions) {
    S sheet(0, true, true, Language::Japanese);
    const Page& p = sheet.formatPage();
    EXPECT_EQ(sheet.tabCaptions(), std::vector<std::string>{"ストリーム形式"});
    EXPECT_EQ(p.control(S::kIdColorList).items[1], "白黒 12bit ※");
    EXPECT_EQ(p.control(S::kIdClockList).items[2], "高速(36MHz)");
    EXPECT_EQ(p.control(S::kIdSizeList).items, std::vector<std::string>{"カスタム"});
}

TEST(Language, FollowsTheLocaleVariablesInPosixOrder) {
    ScopedEnv all("LC_ALL", nullptr), messages("LC_MESSAGES", nullptr), lang("LANG", "ja_JP.UTF-8");
    EXPECT_EQ(userLanguage(), Language::Japanese);
    {
        ScopedEnv m("LC_MESSAGES", "en_US.UTF-8");
        EXPECT_EQ(userLanguage(), Language::English);
        ScopedEnv a("LC_ALL", "ja_JP");
        EXPECT_EQ(userLanguage(), Language::Japanese);
    }
    ScopedEnv c("LANG", "C");
    EXPECT_EQ(userLanguage(), Language::English);
}

// The override wins over the locale until it is lifted, and a sheet opened meanwhile takes
// its language from it, so a front-end picks its templates in the same language.
TEST(Language, TestOverrideWinsOverTheLocaleUntilLifted) {
    ScopedEnv all("LC_ALL", "en_US.UTF-8");
    overrideUserLanguage(Language::Japanese);
    EXPECT_EQ(userLanguage(), Language::Japanese);
    {
        S sheet(0, true, true);
        EXPECT_EQ(sheet.language(), Language::Japanese);
        EXPECT_EQ(sheet.tabCaptions(), std::vector<std::string>{"ストリーム形式"});
    }
    overrideUserLanguage(Language::English);
    {
        ScopedEnv ja("LC_ALL", "ja_JP.UTF-8");
        EXPECT_EQ(userLanguage(), Language::English);
    }
    overrideUserLanguage(std::nullopt);
    ScopedEnv ja("LC_ALL", "ja_JP.UTF-8");
    EXPECT_EQ(userLanguage(), Language::Japanese);
    EXPECT_EQ(S(0, true, true, Language::English).language(), Language::English);
}

TEST(ControlModel, ParsesNumbersStrictly) {
    EXPECT_EQ(parseInt(" -42 "), -42);
    EXPECT_EQ(parseInt("+7"), 7);
    EXPECT_FALSE(parseInt(""));
    EXPECT_FALSE(parseInt("-"));
    EXPECT_FALSE(parseInt("12a"));
    EXPECT_FALSE(parseInt("99999999999"));
    EXPECT_EQ(parseUnsigned("4000000000"), 4000000000u);
    EXPECT_FALSE(parseUnsigned("-1"));
    EXPECT_EQ(parseNumber("2.5"), 2.5);
    EXPECT_EQ(parseNumber("1e-3"), 0.001);
    EXPECT_FALSE(parseNumber("2,5"));
    EXPECT_FALSE(parseNumber("inf"));
    EXPECT_FALSE(parseNumber("."));
}

}  // namespace
