// The Win32 front-end of the sheet models: a modal dialog from this module's resource
// templates, with a tab control whose pages are child dialogs of their own templates (or,
// for the stream format sheet, controls on the sheet itself). Every control a model page
// holds sits in its template under the same identifier. Each user action that a control
// reports is handed to the model, and the model is then drawn into the controls again
// (texts, positions, ranges, list entries, checks, enabled and shown states), with the
// notifications the drawing itself causes held back. A timer carries out what other
// threads asked of the model (a pipeline's new gains) while the sheet is open.
//
// Texts go through the wide functions: the models' texts are UTF-8 and the templates hold
// UTF-16, so both languages show whatever the system's ANSI code page is.
#include <windows.h>
// <windows.h> first: the common controls header needs its types.
#include <commctrl.h>

#include <map>
#include <string>
#include <vector>

#include "dialogs/SheetDisplay.h"
#include "dialogs/win32/SheetTemplates.h"
#include "platform/win32/GdiObject.h"

namespace orvane::dialogs {
namespace win32 {
namespace {

constexpr UINT_PTR kRefreshTimer = 1;
constexpr UINT kRefreshIntervalMs = 50;
// Where each page sits inside the tab control, in pixels: below the tab strip.
constexpr int kPageX = 30;
constexpr int kPageY = 25;

std::wstring wide(const std::string& text) {
    if (text.empty()) return {};
    const int n =
        MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring out(static_cast<size_t>(n > 0 ? n : 0), L'\0');
    if (n > 0)
        MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n);
    return out;
}

std::string narrow(const std::wstring& text) {
    if (text.empty()) return {};
    const int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                      nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(n > 0 ? n : 0), '\0');
    if (n > 0)
        WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n,
                            nullptr, nullptr);
    return out;
}

std::wstring windowText(HWND window) {
    const int length = GetWindowTextLengthW(window);
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    const int got = GetWindowTextW(window, text.data(), length + 1);
    text.resize(static_cast<size_t>(got > 0 ? got : 0));
    return text;
}

void setWindowText(HWND window, const std::wstring& text) {
    if (windowText(window) != text) SetWindowTextW(window, text.c_str());
}

// The module whose resources hold the templates: the one this code was linked into (the
// library's DLL, or a program that links the library statically).
HINSTANCE ownModule() {
    HMODULE module = nullptr;
    GetModuleHandleExW(
        GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
        reinterpret_cast<LPCWSTR>(&ownModule), &module);
    return module;
}

// A window handle carried in an integer. Windows keeps only the low 32 bits of a handle
// significant and sign-extends them, so a handle that went through a 32-bit field is
// restored the same way.
HWND windowFromNative(unsigned long native) {
    if (native == 0) return nullptr;
    const auto hwnd = reinterpret_cast<HWND>(static_cast<intptr_t>(static_cast<int32_t>(native)));
    return IsWindow(hwnd) ? hwnd : nullptr;
}

// What was last drawn of the state that is costly to compare with the control itself.
struct Drawn {
    bool rangeKnown = false;
    int minimum = 0, maximum = 0, tick = 0;
    bool itemsKnown = false;
    std::vector<std::string> items;
    bool buddySet = false;
};

class SheetWindow {
  public:
    SheetWindow(Sheet& sheet, const SheetDisplayOptions& options, const SheetTemplates& templates)
        : sheet_(sheet),
          options_(options),
          templates_(templates),
          faceBrush_(CreateSolidBrush(GetSysColor(COLOR_BTNFACE))),
          drawn_(static_cast<size_t>(sheet.pageCount())) {
        for (int i = 0; i < sheet.pageCount(); ++i) pageContexts_.push_back({this, i});
    }

    SheetWindow(const SheetWindow&) = delete;
    SheetWindow& operator=(const SheetWindow&) = delete;

    int run() {
        const INT_PTR result = DialogBoxParamW(
            module_, MAKEINTRESOURCEW(templates_.sheet), windowFromNative(options_.parentWindow),
            &SheetWindow::sheetProc, reinterpret_cast<LPARAM>(this));
        return result == kResultOk || result == kResultCancel ? static_cast<int>(result)
                                                              : kResultNotShown;
    }

  private:
    struct PageContext {
        SheetWindow* window;
        int index;
    };

    // ---- Opening

    bool open(HWND dialog) {
        dialog_ = dialog;
        tab_ = GetDlgItem(dialog, kIdTab);
        if (tab_ == nullptr) return false;
        for (const std::string& caption : sheet_.tabCaptions())
            tabCaptions_.push_back(wide(caption));
        for (size_t i = 0; i < tabCaptions_.size(); ++i) {
            TCITEMW item{};
            item.mask = TCIF_TEXT;
            item.pszText = tabCaptions_[i].data();
            SendMessageW(tab_, TCM_INSERTITEMW, i, reinterpret_cast<LPARAM>(&item));
        }
        if (templates_.pageTemplates == 0) {
            pages_.push_back(dialog);
        } else {
            for (int i = 0; i < sheet_.pageCount(); ++i) {
                HWND page = CreateDialogParamW(
                    module_, MAKEINTRESOURCEW(templates_.pages[static_cast<size_t>(i)]), tab_,
                    &SheetWindow::pageProc,
                    reinterpret_cast<LPARAM>(&pageContexts_[static_cast<size_t>(i)]));
                if (page == nullptr) return false;
                SetWindowPos(page, nullptr, kPageX, kPageY, 0, 0,
                             SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
                pages_.push_back(page);
            }
        }
        render();
        if (options_.processRequests) SetTimer(dialog, kRefreshTimer, kRefreshIntervalMs, nullptr);
        ready_ = true;
        return true;
    }

    // ---- Drawing the model

    void render() {
        rendering_ = true;
        const int current = static_cast<int>(SendMessageW(tab_, TCM_GETCURSEL, 0, 0));
        if (current != sheet_.currentTab())
            SendMessageW(tab_, TCM_SETCURSEL, sheet_.currentTab(), 0);
        for (int i = 0; i < sheet_.pageCount(); ++i) {
            const Page& page = sheet_.page(i);
            HWND container = pages_[static_cast<size_t>(i)];
            for (int id : page.ids()) {
                // Negative identifiers are texts of the layout, which the template carries.
                if (id < 0) continue;
                HWND control = GetDlgItem(container, id);
                if (control != nullptr)
                    renderControl(container, control, page.control(id),
                                  drawn_[static_cast<size_t>(i)][id]);
            }
            if (container != dialog_) show(container, page.visible());
        }
        for (const Control& button : sheet_.buttons()) {
            HWND control = GetDlgItem(dialog_, button.id);
            if (control == nullptr) continue;
            setWindowText(control, wide(button.caption));
            if ((IsWindowEnabled(control) != 0) != button.enabled)
                EnableWindow(control, button.enabled);
        }
        rendering_ = false;
    }

    static void show(HWND window, bool on) {
        const bool shown = (GetWindowLongPtrW(window, GWL_STYLE) & WS_VISIBLE) != 0;
        if (shown != on) ShowWindow(window, on ? SW_SHOWNA : SW_HIDE);
    }

    void renderControl(HWND container, HWND w, const Control& c, Drawn& drawn) {
        switch (c.kind) {
            case ControlKind::Trackbar:
                if (!drawn.rangeKnown || drawn.minimum != c.minimum || drawn.maximum != c.maximum ||
                    drawn.tick != c.tickFrequency) {
                    drawn.rangeKnown = true;
                    drawn.minimum = c.minimum;
                    drawn.maximum = c.maximum;
                    drawn.tick = c.tickFrequency;
                    SendMessageW(w, TBM_SETRANGEMAX, FALSE, c.maximum);
                    SendMessageW(w, TBM_SETRANGEMIN, FALSE, c.minimum);
                    SendMessageW(w, TBM_SETPOS, TRUE, c.position);
                    SendMessageW(w, TBM_SETTICFREQ, c.tickFrequency > 0 ? c.tickFrequency : 1, 0);
                }
                if (SendMessageW(w, TBM_GETPOS, 0, 0) != c.position)
                    SendMessageW(w, TBM_SETPOS, TRUE, c.position);
                break;
            case ControlKind::UpDown:
                if (!drawn.rangeKnown || drawn.minimum != c.minimum || drawn.maximum != c.maximum) {
                    drawn.rangeKnown = true;
                    drawn.minimum = c.minimum;
                    drawn.maximum = c.maximum;
                    SendMessageW(w, UDM_SETRANGE32, static_cast<WPARAM>(c.minimum), c.maximum);
                }
                if (static_cast<int>(SendMessageW(w, UDM_GETPOS32, 0, 0)) != c.position)
                    SendMessageW(w, UDM_SETPOS32, 0, c.position);
                if (!drawn.buddySet && c.buddy != 0) {
                    if (HWND buddy = GetDlgItem(container, c.buddy)) {
                        SendMessageW(w, UDM_SETBUDDY, reinterpret_cast<WPARAM>(buddy), 0);
                        drawn.buddySet = true;
                    }
                }
                break;
            case ControlKind::Edit: {
                const std::wstring text = wide(c.text);
                if (windowText(w) != text) {
                    SetWindowTextW(w, text.c_str());
                    // Text the model rewrote under the user's typing keeps the caret at its end.
                    if (GetFocus() == w) SendMessageW(w, EM_SETSEL, text.size(), text.size());
                }
                break;
            }
            case ControlKind::ComboBox:
                if (!drawn.itemsKnown || drawn.items != c.items) {
                    SendMessageW(w, CB_RESETCONTENT, 0, 0);
                    for (const std::string& item : c.items)
                        SendMessageW(w, CB_ADDSTRING, 0,
                                     reinterpret_cast<LPARAM>(wide(item).c_str()));
                    drawn.itemsKnown = true;
                    drawn.items = c.items;
                }
                if (static_cast<int>(SendMessageW(w, CB_GETCURSEL, 0, 0)) != c.selection)
                    SendMessageW(w, CB_SETCURSEL, static_cast<WPARAM>(c.selection), 0);
                break;
            case ControlKind::CheckBox:
            case ControlKind::RadioButton: {
                const WPARAM state = c.checked ? BST_CHECKED : BST_UNCHECKED;
                if (static_cast<WPARAM>(SendMessageW(w, BM_GETCHECK, 0, 0)) != state)
                    SendMessageW(w, BM_SETCHECK, state, 0);
                if (!c.caption.empty()) setWindowText(w, wide(c.caption));
                break;
            }
            case ControlKind::Button:
                if (!c.caption.empty()) setWindowText(w, wide(c.caption));
                break;
            case ControlKind::Label:
                setWindowText(w, wide(c.labelText()));
                break;
        }
        show(w, c.visible);
        if ((IsWindowEnabled(w) != 0) != c.enabled) EnableWindow(w, c.enabled);
    }

    void drawTab(const DRAWITEMSTRUCT& item) {
        FillRect(item.hDC, &item.rcItem, faceBrush_.get());
        if (item.itemID >= tabCaptions_.size()) return;
        RECT area = item.rcItem;
        const auto font = reinterpret_cast<HFONT>(SendMessageW(tab_, WM_GETFONT, 0, 0));
        const HGDIOBJ previous = font != nullptr ? SelectObject(item.hDC, font) : nullptr;
        SetBkMode(item.hDC, TRANSPARENT);
        SetTextColor(item.hDC, GetSysColor(COLOR_BTNTEXT));
        DrawTextW(item.hDC, tabCaptions_[item.itemID].c_str(), -1, &area,
                  DT_CENTER | DT_VCENTER | DT_SINGLELINE);
        if (previous != nullptr) SelectObject(item.hDC, previous);
    }

    // ---- Events

    // After every user action: the model is drawn again, or the dialog ends once the sheet
    // has closed.
    void afterEvent() {
        if (sheet_.isOpen()) {
            render();
            return;
        }
        if (ending_) return;
        ending_ = true;
        KillTimer(dialog_, kRefreshTimer);
        EndDialog(dialog_, sheet_.result());
    }

    // A control of page index reported a notification; true when it was the model's.
    bool command(int index, int id, int code, HWND control) {
        if (!accepting() || control == nullptr) return false;
        Page& page = sheet_.page(index);
        if (!page.has(id)) return false;
        switch (page.control(id).kind) {
            case ControlKind::Edit:
                if (code != EN_CHANGE) return false;
                page.onEditChanged(id, narrow(windowText(control)));
                break;
            case ControlKind::ComboBox:
                if (code != CBN_SELCHANGE) return false;
                page.onSelectionChanged(
                    id, static_cast<int>(SendMessageW(control, CB_GETCURSEL, 0, 0)));
                break;
            case ControlKind::Button:
            case ControlKind::CheckBox:
            case ControlKind::RadioButton:
                if (code != BN_CLICKED) return false;
                page.onCommand(id, Notification::Clicked);
                break;
            default:
                return false;
        }
        afterEvent();
        return true;
    }

    // A trackbar or up-down of page index moved.
    bool scroll(int index, HWND control) {
        if (!accepting() || control == nullptr) return false;
        Page& page = sheet_.page(index);
        const int id = GetDlgCtrlID(control);
        if (!page.has(id)) return false;
        const Control& c = page.control(id);
        int position = 0;
        if (c.kind == ControlKind::Trackbar)
            position = static_cast<int>(SendMessageW(control, TBM_GETPOS, 0, 0));
        else if (c.kind == ControlKind::UpDown)
            position = static_cast<int>(SendMessageW(control, UDM_GETPOS32, 0, 0));
        else
            return false;
        // The end of a drag repeats the last position: nothing new for the model.
        if (position != c.position) page.onScroll(id, position);
        afterEvent();
        return true;
    }

    // User actions count once the sheet is set up, and not while the model is drawn (the
    // controls then report the program's own changes) nor after it has closed.
    bool accepting() const { return ready_ && !rendering_ && !ending_; }

    bool isSheetButton(int id) const {
        for (const Control& button : sheet_.buttons())
            if (button.id == id) return true;
        return false;
    }

    INT_PTR sheetMessage(UINT message, WPARAM wParam, LPARAM lParam) {
        switch (message) {
            case WM_COMMAND: {
                const int id = LOWORD(wParam);
                const int code = HIWORD(wParam);
                // Buttons clicked, and Enter and Escape, which the dialog manager reports
                // as IDOK and IDCANCEL.
                if (isSheetButton(id) && code == BN_CLICKED) {
                    if (accepting()) {
                        sheet_.onButton(id);
                        afterEvent();
                    }
                    return TRUE;
                }
                if (templates_.pageTemplates == 0)
                    return command(0, id, code, reinterpret_cast<HWND>(lParam));
                return FALSE;
            }
            case WM_HSCROLL:
            case WM_VSCROLL:
                if (templates_.pageTemplates == 0) return scroll(0, reinterpret_cast<HWND>(lParam));
                return FALSE;
            case WM_NOTIFY: {
                const auto* header = reinterpret_cast<const NMHDR*>(lParam);
                if (header->idFrom != static_cast<UINT_PTR>(kIdTab) ||
                    header->code != TCN_SELCHANGE || !accepting())
                    return FALSE;
                sheet_.onTabChanged(static_cast<int>(SendMessageW(tab_, TCM_GETCURSEL, 0, 0)));
                afterEvent();
                return TRUE;
            }
            case WM_DRAWITEM:
                if (wParam != static_cast<WPARAM>(kIdTab)) return FALSE;
                drawTab(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
                return TRUE;
            case WM_TIMER:
                if (wParam == kRefreshTimer && accepting() && options_.processRequests &&
                    options_.processRequests())
                    afterEvent();
                return TRUE;
            case WM_CLOSE:
                if (accepting()) {
                    sheet_.cancel();
                    afterEvent();
                }
                return TRUE;
            case WM_DESTROY:
                KillTimer(dialog_, kRefreshTimer);
                return FALSE;
            default:
                return FALSE;
        }
    }

    INT_PTR pageMessage(int index, UINT message, WPARAM wParam, LPARAM lParam) {
        switch (message) {
            case WM_COMMAND:
                return command(index, LOWORD(wParam), HIWORD(wParam),
                               reinterpret_cast<HWND>(lParam));
            case WM_HSCROLL:
            case WM_VSCROLL:
                return scroll(index, reinterpret_cast<HWND>(lParam));
            default:
                return FALSE;
        }
    }

    static INT_PTR CALLBACK sheetProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
        if (message == WM_INITDIALOG) {
            auto* self = reinterpret_cast<SheetWindow*>(lParam);
            SetWindowLongPtrW(dialog, DWLP_USER, lParam);
            if (!self->open(dialog)) {
                self->ending_ = true;
                EndDialog(dialog, kResultNotShown);
            }
            return TRUE;  // the dialog manager focuses the first control
        }
        auto* self = reinterpret_cast<SheetWindow*>(GetWindowLongPtrW(dialog, DWLP_USER));
        return self != nullptr ? self->sheetMessage(message, wParam, lParam) : FALSE;
    }

    static INT_PTR CALLBACK pageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam) {
        if (message == WM_INITDIALOG) {
            SetWindowLongPtrW(page, DWLP_USER, lParam);
            return FALSE;  // the sheet keeps the focus it chose
        }
        auto* context = reinterpret_cast<PageContext*>(GetWindowLongPtrW(page, DWLP_USER));
        return context != nullptr
                   ? context->window->pageMessage(context->index, message, wParam, lParam)
                   : FALSE;
    }

    Sheet& sheet_;
    const SheetDisplayOptions& options_;
    const SheetTemplates templates_;
    const HINSTANCE module_ = ownModule();
    platform::GdiObject<HBRUSH> faceBrush_;    // the tab items' background
    std::vector<PageContext> pageContexts_;    // fixed before any page exists
    std::vector<std::map<int, Drawn>> drawn_;  // per page, per control
    std::vector<std::wstring> tabCaptions_;
    HWND dialog_ = nullptr;
    HWND tab_ = nullptr;
    std::vector<HWND> pages_;  // the window holding each page's controls
    bool ready_ = false;       // set once the pages exist and show the model
    // Set while the model is drawn: the controls' own notifications are ignored.
    bool rendering_ = false;
    bool ending_ = false;  // EndDialog was called
};

}  // namespace
}  // namespace win32

int showSheet(Sheet& sheet, const SheetDisplayOptions& options) {
    const win32::SheetTemplates templates = win32::templatesFor(sheet);
    if (templates.sheet == 0 || !sheet.isOpen()) return kResultNotShown;
    INITCOMMONCONTROLSEX classes{sizeof(INITCOMMONCONTROLSEX),
                                 ICC_TAB_CLASSES | ICC_BAR_CLASSES | ICC_UPDOWN_CLASS};
    if (!InitCommonControlsEx(&classes)) return kResultNotShown;
    win32::SheetWindow window(sheet, options, templates);
    return window.run();
}

}  // namespace orvane::dialogs
