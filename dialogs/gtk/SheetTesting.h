// Test access to the GTK sheets (not part of the library's exports). Every control's
// widget is named "orvane-<id>" after its identifier in the model (the sheet buttons
// "orvane-button-<id>", an up-down's arrows "orvane-<id>-up" / "orvane-<id>-down"), so a
// test can find it in the window it is handed.
#pragma once

#include <gtk/gtk.h>

#include <functional>

namespace orvane::dialogs::gtk {

// Called on the GUI thread each time a sheet window has been shown (set to nothing to stop).
void setSheetShownHook(std::function<void(GtkWidget* window)> hook);

}  // namespace orvane::dialogs::gtk
