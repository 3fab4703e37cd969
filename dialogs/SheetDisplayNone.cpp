// Builds without a toolkit cannot show sheets.
#ifndef ORVANE_HAVE_GTK
#include "dialogs/SheetDisplay.h"

namespace orvane::dialogs {

int showSheet(Sheet&, const SheetDisplayOptions&) {
    return kResultNotShown;
}

}  // namespace orvane::dialogs
#endif
