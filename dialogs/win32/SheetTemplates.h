// Which dialog templates show which sheet model, in which language.
#pragma once

#include <array>

#include "dialogs/ControlModel.h"

namespace orvane::dialogs::win32 {

struct SheetTemplates {
    int sheet = 0;  // the modal sheet: its tab control, its buttons
    // One template per model page, created as children of the tab control. Empty when the
    // sheet's single page is laid out on the sheet template itself.
    std::array<int, 2> pages{};
    int pageTemplates = 0;
};

// The templates for the sheet's kind and language; sheet 0 for a sheet this front-end
// does not know.
SheetTemplates templatesFor(const Sheet& sheet);

// The template numbers of one kind of sheet in a language, for callers that have no model
// at hand (resource checks). kind: 0 stream format, 1 image filter, 2 analog gain.
SheetTemplates templatesOf(int kind, Language language);

}  // namespace orvane::dialogs::win32
