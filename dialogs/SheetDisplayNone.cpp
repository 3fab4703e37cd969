// Builds without a toolkit cannot show sheets (Windows builds show them with win32/).
#if !defined(ORVANE_HAVE_GTK) && !defined(_WIN32)
#include "dialogs/SheetDisplay.h"

namespace orvane::dialogs {

int showSheet(Sheet&, const SheetDisplayOptions&) {
    return kResultNotShown;
}

}  // namespace orvane::dialogs
#endif
