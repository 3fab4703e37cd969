// Driving the library's GTK sheets from a test: a script runs on the GUI thread against the
// next sheet shown, once it has been drawn, and acts through the widgets' own signals.
#pragma once

#include <gtk/gtk.h>

#include <functional>
#include <memory>
#include <string>

namespace orvane::test {

class SheetScript {
  public:
    using Script = std::function<void(GtkWidget* window)>;
    // Arms the script for the next sheet. If the script leaves the sheet open (a failed
    // assertion), the driver cancels it so the blocked export returns.
    explicit SheetScript(Script script);
    ~SheetScript();
    SheetScript(const SheetScript&) = delete;
    SheetScript& operator=(const SheetScript&) = delete;

    bool ran() const;

    struct State;

  private:
    std::unique_ptr<State> state_;
};

// The widget named "orvane-<id>" (or any other name) inside root; null when missing.
GtkWidget* widget(GtkWidget* root, const std::string& name);
GtkWidget* control(GtkWidget* root, int id);

void click(GtkWidget* root, const std::string& name);
void clickButton(GtkWidget* root, int sheetButtonId);  // OK 1, Cancel 2, Default 3, Apply 1002
void clickControl(GtkWidget* root, int id);
void slide(GtkWidget* root, int trackbarId, int value);
void type(GtkWidget* root, int editId, const std::string& text);
void choose(GtkWidget* root, int comboId, int index);
std::string textOf(GtkWidget* root, int editId);
int comboIndexOf(GtkWidget* root, int comboId, const std::string& entry);  // -1: missing

// Iterates the GUI loop from inside a script until done() or timeoutMs passed.
bool pumpUntil(const std::function<bool()>& done, int timeoutMs);

// Writes the window's picture as a PNG into the artifact directory; returns its path.
std::string saveScreenshot(GtkWidget* window, const std::string& fileName);

}  // namespace orvane::test
