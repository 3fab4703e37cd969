#include "dialogs/win32/SheetTemplates.h"

#include "dialogs/AnalogGainSheet.h"
#include "dialogs/ImageFilterSheet.h"
#include "dialogs/StreamFormatSheet.h"
#include "dialogs/win32/SheetResources.h"

namespace orvane::dialogs::win32 {

SheetTemplates templatesOf(int kind, Language language) {
    const bool ja = language == Language::Japanese;
    switch (kind) {
        case 0:
            return {ja ? IDD_STREAM_SHEET_JA : IDD_STREAM_SHEET_EN, {}, 0};
        case 1:
            return {ja ? IDD_FILTER_SHEET_JA : IDD_FILTER_SHEET_EN,
                    {ja ? IDD_FILTER_PAGE_JA : IDD_FILTER_PAGE_EN,
                     ja ? IDD_GRAY_PAGE_JA : IDD_GRAY_PAGE_EN},
                    2};
        case 2:
            return {ja ? IDD_ANALOG_SHEET_JA : IDD_ANALOG_SHEET_EN,
                    {ja ? IDD_ANALOG_PAGE_JA : IDD_ANALOG_PAGE_EN, 0},
                    1};
        default:
            return {};
    }
}

SheetTemplates templatesFor(const Sheet& sheet) {
    int kind = -1;
    if (dynamic_cast<const StreamFormatSheet*>(&sheet) != nullptr)
        kind = 0;
    else if (dynamic_cast<const ImageFilterSheet*>(&sheet) != nullptr)
        kind = 1;
    else if (dynamic_cast<const AnalogGainSheet*>(&sheet) != nullptr)
        kind = 2;
    SheetTemplates t = templatesOf(kind, sheet.language());
    // A model with more pages than the sheet has templates for cannot be shown.
    if (t.pageTemplates != 0 && sheet.pageCount() > t.pageTemplates) return {};
    if (t.pageTemplates == 0 && sheet.pageCount() != 1) return {};
    return t;
}

}  // namespace orvane::dialogs::win32
