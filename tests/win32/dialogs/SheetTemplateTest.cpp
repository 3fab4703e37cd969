// The sheets' templates: both languages are in the DLL's resources, every control of every
// sheet model is found in its template with the right window class and style, and what the
// window shows is what the model holds (texts in UTF-16, ranges, positions, buddies, list
// entries, checks, shown and enabled states), before and after a tab change.
#include <gtest/gtest.h>
#include <windows.h>
// After <windows.h>.
#include <commctrl.h>

#include <algorithm>
#include <cctype>
#include <string>

#include "SheetDriver.h"
#include "dialogs/AnalogGainSheet.h"
#include "dialogs/FakeDevice.h"
#include "dialogs/ImageFilterSheet.h"
#include "dialogs/SheetDisplay.h"
#include "dialogs/StreamFormatSheet.h"
#include "dialogs/win32/SheetTemplates.h"

namespace {

using namespace orvane::dialogs;
using namespace orvane::test::win32;
using orvane::dialogs::win32::SheetTemplates;
using orvane::dialogs::win32::templatesOf;

constexpr Language kLanguages[] = {Language::English, Language::Japanese};

const char* nameOf(Language l) {
    return l == Language::Japanese ? "Japanese" : "English";
}

std::string lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
}

bool hasTemplate(HMODULE module, int id, Language language) {
    const LANGID lang = language == Language::Japanese
                            ? MAKELANGID(LANG_JAPANESE, SUBLANG_JAPANESE_JAPAN)
                            : MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);
    return FindResourceExW(module, MAKEINTRESOURCEW(5) /* RT_DIALOG */, MAKEINTRESOURCEW(id),
                           lang) != nullptr;
}

void expectTemplates(HMODULE module, const char* where) {
    for (Language l : kLanguages)
        for (int kind = 0; kind < 3; ++kind) {
            const SheetTemplates t = templatesOf(kind, l);
            EXPECT_TRUE(hasTemplate(module, t.sheet, l)) << where << " " << t.sheet;
            for (int p = 0; p < t.pageTemplates; ++p)
                EXPECT_TRUE(hasTemplate(module, t.pages[static_cast<size_t>(p)], l))
                    << where << " " << t.pages[static_cast<size_t>(p)];
        }
}

TEST(SheetTemplates, BothLanguagesAreInTheDllAndInProgramsLinkingTheLibrary) {
    HMODULE dll = LoadLibraryExW(L"OrvaneSdk_A06_USB3_Q7.dll", nullptr,
                                 LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    ASSERT_NE(dll, nullptr) << "run beside the DLL";
    expectTemplates(dll, "DLL");
    // The identifiers are the documented ones.
    EXPECT_TRUE(hasTemplate(dll, 106, Language::English));
    EXPECT_TRUE(hasTemplate(dll, 101, Language::Japanese));
    EXPECT_TRUE(hasTemplate(dll, 113, Language::Japanese));
    EXPECT_FALSE(hasTemplate(dll, 101, Language::English));
    FreeLibrary(dll);
    expectTemplates(GetModuleHandleW(nullptr), "program");
}

// Every control of the page in its window, as the model holds it.
void expectPageShowsModel(HWND container, const Page& page) {
    for (int id : page.ids()) {
        if (id < 0) continue;
        const Control& c = page.control(id);
        HWND w = GetDlgItem(container, id);
        ASSERT_NE(w, nullptr) << "control " << id << " missing from the template";
        const std::string cls = lower(className(w));
        const LONG_PTR type = GetWindowLongPtrW(w, GWL_STYLE) & BS_TYPEMASK;
        switch (c.kind) {
            case ControlKind::Trackbar:
                EXPECT_EQ(cls, "msctls_trackbar32") << id;
                EXPECT_EQ(SendMessageW(w, TBM_GETRANGEMIN, 0, 0), c.minimum) << id;
                EXPECT_EQ(SendMessageW(w, TBM_GETRANGEMAX, 0, 0), c.maximum) << id;
                EXPECT_EQ(trackbarPosition(w), c.position) << id;
                break;
            case ControlKind::UpDown: {
                EXPECT_EQ(cls, "msctls_updown32") << id;
                EXPECT_EQ(reinterpret_cast<HWND>(SendMessageW(w, UDM_GETBUDDY, 0, 0)),
                          GetDlgItem(container, c.buddy))
                    << id;
                int low = 0, high = 0;
                SendMessageW(w, UDM_GETRANGE32, reinterpret_cast<WPARAM>(&low),
                             reinterpret_cast<LPARAM>(&high));
                EXPECT_EQ(low, c.minimum) << id;
                EXPECT_EQ(high, c.maximum) << id;
                EXPECT_EQ(static_cast<int>(SendMessageW(w, UDM_GETPOS32, 0, 0)), c.position) << id;
                break;
            }
            case ControlKind::Edit:
                EXPECT_EQ(cls, "edit") << id;
                EXPECT_EQ(textOf(w), c.text) << id;
                break;
            case ControlKind::ComboBox:
                EXPECT_EQ(cls, "combobox") << id;
                EXPECT_EQ(comboItems(w), c.items) << id;
                EXPECT_EQ(comboSelection(w), c.selection) << id;
                break;
            case ControlKind::CheckBox:
            case ControlKind::RadioButton:
                EXPECT_EQ(cls, "button") << id;
                // Plain (not automatic) boxes: only the model checks them.
                EXPECT_EQ(type, c.kind == ControlKind::CheckBox ? BS_CHECKBOX : BS_RADIOBUTTON)
                    << id;
                EXPECT_EQ(textOf(w), c.caption) << id;
                EXPECT_EQ(checked(w), c.checked) << id;
                break;
            case ControlKind::Button:
                EXPECT_EQ(cls, "button") << id;
                EXPECT_TRUE(type == BS_PUSHBUTTON || type == BS_DEFPUSHBUTTON) << id;
                EXPECT_EQ(textOf(w), c.caption) << id;
                break;
            case ControlKind::Label:
                EXPECT_EQ(cls, "static") << id;
                EXPECT_EQ(textOf(w), c.text.empty() ? c.caption : c.text) << id;
                break;
        }
        EXPECT_EQ(shown(w), c.visible) << id;
        EXPECT_EQ(IsWindowEnabled(w) != 0, c.enabled) << id;
    }
}

void expectSheetShowsModel(HWND sheet, Sheet& model, const std::vector<int>& pageControls) {
    EXPECT_EQ(tabCaptions(sheet), model.tabCaptions());
    EXPECT_EQ(static_cast<int>(SendMessageW(GetDlgItem(sheet, kIdTab), TCM_GETCURSEL, 0, 0)),
              model.currentTab());
    for (int i = 0; i < model.pageCount(); ++i) {
        HWND page = pageWith(sheet, pageControls[static_cast<size_t>(i)]);
        ASSERT_NE(page, nullptr) << "page " << i;
        if (page != sheet) {
            EXPECT_EQ(shown(page), model.page(i).visible()) << "page " << i;
        }
        expectPageShowsModel(page, model.page(i));
    }
    for (const Control& b : model.buttons()) {
        HWND w = GetDlgItem(sheet, b.id);
        ASSERT_NE(w, nullptr) << "sheet button " << b.id;
        EXPECT_EQ(textOf(w), b.caption) << b.id;
        EXPECT_EQ(IsWindowEnabled(w) != 0, b.enabled) << b.id;
    }
}

bool contains(const std::vector<std::string>& texts, const std::string& text) {
    return std::find(texts.begin(), texts.end(), text) != texts.end();
}

TEST(SheetTemplates, StreamFormatSheetShowsItsModelInBothLanguages) {
    for (Language l : kLanguages) {
        StreamFormatSheet model(0, true, false, l);
        SheetScript script([&](HWND sheet) {
            EXPECT_EQ(textOf(sheet), l == Language::English ? "Stream Format" : "ストリーム形式");
            const auto layout = layoutTexts(sheet);
            EXPECT_TRUE(contains(layout, l == Language::English ? "H Total" : "水平総数"))
                << nameOf(l);
            EXPECT_TRUE(contains(layout, l == Language::English ? "Camera Size" : "カメラサイズ"));
            expectSheetShowsModel(sheet, model, {StreamFormatSheet::kIdColorList});
            pressSheetButton(sheet, kIdCancel);
        });
        EXPECT_EQ(showSheet(model, {}), kResultCancel) << nameOf(l);
        EXPECT_TRUE(script.ran()) << nameOf(l);
        EXPECT_FALSE(script.leftOpen());
    }
}

TEST(SheetTemplates, ImageFilterSheetShowsBothPagesAndFollowsTheTab) {
    using S = ImageFilterSheet;
    for (Language l : kLanguages) {
        ImageValues record{};
        record[image::kGamma] = 100;
        record[image::kBayerMode] = 2;
        orvane::platform::CriticalSection lock;
        S model(record, ImageFilterFlags::forColorIndex(0), lock, l);
        SheetScript script([&](HWND sheet) {
            EXPECT_EQ(textOf(sheet), l == Language::English ? "Image Filter" : "画像フィルタ");
            const std::vector<int> pages = {S::kIdBrightnessTrackbar, S::kIdGrayGainFirst};
            EXPECT_TRUE(contains(layoutTexts(pageWith(sheet, S::kIdBrightnessTrackbar)),
                                 l == Language::English ? "Saturation" : "彩度"));
            expectSheetShowsModel(sheet, model, pages);
            selectTab(sheet, 1);
            EXPECT_FALSE(shown(pageWith(sheet, S::kIdBrightnessTrackbar)));
            EXPECT_TRUE(shown(pageWith(sheet, S::kIdGrayGainFirst)));
            expectSheetShowsModel(sheet, model, pages);
            selectTab(sheet, 0);
            EXPECT_TRUE(shown(pageWith(sheet, S::kIdBrightnessTrackbar)));
            pressSheetButton(sheet, kIdCancel);
        });
        EXPECT_EQ(showSheet(model, {}), kResultCancel) << nameOf(l);
        EXPECT_TRUE(script.ran()) << nameOf(l);
    }
}

TEST(SheetTemplates, AnalogSheetShowsItsModelWithAndWithoutTheOptionalFeatures) {
    using A = AnalogGainSheet;
    for (Language l : kLanguages)
        for (bool features : {false, true}) {
            orvane::test::FakeDevice device;
            device.timeSupported = device.levelSupported = device.peltierSupported =
                device.switchASupported = device.gainModeSupported = features;
            CameraValues record{};
            double seconds = 0.0;
            orvane::platform::CriticalSection lock;
            A model(device, record, seconds, lock, l);
            SheetScript script([&](HWND sheet) {
                EXPECT_EQ(textOf(sheet), l == Language::English ? "Analog Gain" : "アナログゲイン");
                expectSheetShowsModel(sheet, model, {A::kIdGlobalTrackbar});
                const HWND units = control(sheet, A::kIdTimeUnitList);
                if (features) {
                    EXPECT_EQ(comboItems(units), (std::vector<std::string>{"μs", "ms", "sec"}));
                }
                pressSheetButton(sheet, kIdCancel);
            });
            EXPECT_EQ(showSheet(model, {}), kResultCancel) << nameOf(l) << features;
            EXPECT_TRUE(script.ran()) << nameOf(l) << features;
        }
}

// A sheet model this front-end has no templates for is refused, untouched.
TEST(SheetTemplates, ASheetThatIsClosedAlreadyIsNotShown) {
    StreamFormatSheet model(0, true, true, Language::English);
    model.cancel();
    EXPECT_EQ(showSheet(model, {}), kResultNotShown);
}

}  // namespace
