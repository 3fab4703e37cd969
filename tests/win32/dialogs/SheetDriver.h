// Operating the Win32 sheets from a second thread, as a user would, with messages sent to
// their controls: the thread that opens a sheet sits in the dialog's modal loop, and every
// message sent from the script thread is handled there before SendMessage returns, so each
// step has taken effect when the next one starts.
#pragma once

#include <windows.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace orvane::test::win32 {

// Runs a script against the sheet that the constructing thread opens next. Waits (up to
// 20 s) for a visible dialog of that thread, runs the script with it, then waits for the
// dialog to go; a dialog the script left open is closed so that the test cannot hang.
class SheetScript {
  public:
    explicit SheetScript(std::function<void(HWND sheet)> script);
    ~SheetScript();
    SheetScript(const SheetScript&) = delete;
    SheetScript& operator=(const SheetScript&) = delete;

    // After the sheet call returned: the script found the sheet and ran to its end.
    bool ran() const { return ran_.load(); }
    // The dialog was still open after the script and had to be closed.
    bool leftOpen() const { return leftOpen_.load(); }

  private:
    void run(DWORD opener);

    std::function<void(HWND)> script_;
    std::atomic<bool> ran_{false};
    std::atomic<bool> leftOpen_{false};
    std::thread thread_;
};

// ---- Finding controls

// The window holding the control: the page dialog that contains it, or the sheet itself.
HWND pageWith(HWND sheet, int controlId);
// The control with this identifier on the page that holds `pageControl` (the sheet's own
// controls when pageControl is 0).
HWND control(HWND sheet, int id, int pageControl = 0);
std::string className(HWND window);

// ---- Acting (each returns once the sheet has handled it)

void slide(HWND trackbar, int position);
void type(HWND edit, const std::string& utf8);
void click(HWND button);
void choose(HWND combo, int index);
// One click on an up-down's arrow: +1 up, -1 down.
void step(HWND upDown, int delta);
void selectTab(HWND sheet, int index);
void pressSheetButton(HWND sheet, int id);

// ---- Reading

std::string textOf(HWND window);
bool shown(HWND window);  // its own visible style, whatever its parents
bool checked(HWND button);
int trackbarPosition(HWND trackbar);
std::vector<std::string> comboItems(HWND combo);
int comboSelection(HWND combo);
std::vector<std::string> tabCaptions(HWND sheet);
// Texts of the static controls without identifier of their own (the layout's labels).
std::vector<std::string> layoutTexts(HWND container);
// Polls until the condition holds or timeoutMs passes; true if it held.
bool waitUntil(const std::function<bool()>& condition, int timeoutMs);

// ---- Pictures

// The window as it is on screen, as a 24-bit BMP file in the artifact directory; returns
// the path, or "" on failure. distinctColours receives how many colours the picture holds.
std::string saveScreenshot(HWND window, const std::string& fileName, int* distinctColours);

}  // namespace orvane::test::win32
