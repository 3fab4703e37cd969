// Putting a sheet model on screen. The toolkit behind it (GTK 3 on POSIX) stays out of the
// callers' sight: they hand over a model and get back how the user closed it.
#pragma once

#include <functional>

#include "dialogs/ControlModel.h"

namespace orvane::dialogs {

// showSheet's result when the sheet could not be shown (no display, or no toolkit built in).
inline constexpr int kResultNotShown = -1;

struct SheetDisplayOptions {
    // The X11 window the sheet stays above (0: none).
    unsigned long parentWindow = 0;
    // Called on the GUI thread while the sheet is open, a few times a second: carries out
    // requests other threads made of the model; true when the model changed and has to
    // be shown again.
    std::function<bool()> processRequests;
};

// Shows the sheet modally and returns once it has closed: kResultOk or kResultCancel
// (closing the window counts as Cancel), or kResultNotShown, with the model untouched,
// when no sheet can be shown. The model is used on the GUI thread while the sheet is
// open; the caller blocks meanwhile and must not touch it.
int showSheet(Sheet& sheet, const SheetDisplayOptions& options);

}  // namespace orvane::dialogs
