#include "SheetDriver.h"

#include <commctrl.h>

#include <cstdio>
#include <fstream>
#include <memory>
#include <set>

#include "support/TestFiles.h"

namespace orvane::test::win32 {
namespace {

constexpr int kFindTimeoutMs = 20000;
constexpr int kCloseTimeoutMs = 5000;
constexpr int kTabId = 1001;

std::wstring wide(const std::string& text) {
    const int n = MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, nullptr, 0);
    std::wstring out(static_cast<size_t>(n > 0 ? n : 1), L'\0');
    if (n > 0) MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, out.data(), n);
    out.resize(out.size() - 1);
    return out;
}

std::string narrow(const wchar_t* text) {
    const int n = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(n > 0 ? n : 1), '\0');
    if (n > 0) WideCharToMultiByte(CP_UTF8, 0, text, -1, out.data(), n, nullptr, nullptr);
    out.resize(out.size() - 1);
    return out;
}

struct FindDialog {
    HWND found = nullptr;
};

BOOL CALLBACK findVisibleDialog(HWND window, LPARAM context) {
    auto* find = reinterpret_cast<FindDialog*>(context);
    if (className(window) == "#32770" && IsWindowVisible(window)) {
        find->found = window;
        return FALSE;
    }
    return TRUE;
}

struct FindPage {
    int id;
    HWND page = nullptr;
};

BOOL CALLBACK findPage(HWND window, LPARAM context) {
    auto* find = reinterpret_cast<FindPage*>(context);
    if (className(window) == "#32770" && GetDlgItem(window, find->id) != nullptr) {
        find->page = window;
        return FALSE;
    }
    return TRUE;
}

BOOL CALLBACK collectLayoutText(HWND window, LPARAM context) {
    auto* texts = reinterpret_cast<std::vector<std::string>*>(context);
    if (static_cast<int16_t>(GetDlgCtrlID(window)) == -1) texts->push_back(textOf(window));
    return TRUE;
}

// GDI objects of the screenshot, released in every path.
struct DcDeleter {
    void operator()(HDC dc) const { DeleteDC(dc); }
};
struct ObjectDeleter {
    void operator()(HGDIOBJ object) const { DeleteObject(object); }
};
class ScreenDc {
  public:
    ScreenDc() : dc_(GetDC(nullptr)) {}
    ~ScreenDc() {
        if (dc_ != nullptr) ReleaseDC(nullptr, dc_);
    }
    ScreenDc(const ScreenDc&) = delete;
    ScreenDc& operator=(const ScreenDc&) = delete;
    HDC get() const { return dc_; }

  private:
    HDC dc_;
};

}  // namespace

SheetScript::SheetScript(std::function<void(HWND)> script)
    : script_(std::move(script)), thread_(&SheetScript::run, this, GetCurrentThreadId()) {}

SheetScript::~SheetScript() {
    thread_.join();
}

void SheetScript::run(DWORD opener) {
    FindDialog find;
    waitUntil(
        [&] {
            EnumThreadWindows(opener, &findVisibleDialog, reinterpret_cast<LPARAM>(&find));
            return find.found != nullptr;
        },
        kFindTimeoutMs);
    if (find.found == nullptr) return;
    script_(find.found);
    ran_.store(true);
    if (!waitUntil([&] { return IsWindow(find.found) == 0; }, kCloseTimeoutMs)) {
        leftOpen_.store(true);
        PostMessageW(find.found, WM_CLOSE, 0, 0);
    }
}

HWND pageWith(HWND sheet, int controlId) {
    if (GetDlgItem(sheet, controlId) != nullptr) return sheet;
    FindPage find{controlId};
    EnumChildWindows(GetDlgItem(sheet, kTabId), &findPage, reinterpret_cast<LPARAM>(&find));
    return find.page;
}

HWND control(HWND sheet, int id, int pageControl) {
    HWND page = pageControl == 0 ? pageWith(sheet, id) : pageWith(sheet, pageControl);
    return page != nullptr ? GetDlgItem(page, id) : nullptr;
}

std::string className(HWND window) {
    wchar_t name[64] = {};
    GetClassNameW(window, name, 64);
    return narrow(name);
}

void slide(HWND trackbar, int position) {
    SendMessageW(trackbar, TBM_SETPOS, TRUE, position);
    SendMessageW(GetParent(trackbar), WM_HSCROLL, MAKEWPARAM(TB_THUMBTRACK, position),
                 reinterpret_cast<LPARAM>(trackbar));
    SendMessageW(GetParent(trackbar), WM_HSCROLL, MAKEWPARAM(TB_ENDTRACK, 0),
                 reinterpret_cast<LPARAM>(trackbar));
}

void type(HWND edit, const std::string& utf8) {
    // An edit reports the new text to its dialog (EN_CHANGE) whoever set it.
    SendMessageW(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(wide(utf8).c_str()));
}

void click(HWND button) {
    SendMessageW(button, BM_CLICK, 0, 0);
}

void choose(HWND combo, int index) {
    SendMessageW(combo, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
    SendMessageW(GetParent(combo), WM_COMMAND,
                 MAKEWPARAM(static_cast<WORD>(GetDlgCtrlID(combo)), CBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(combo));
}

void step(HWND upDown, int delta) {
    BOOL failed = FALSE;
    const int position =
        static_cast<int>(SendMessageW(upDown, UDM_GETPOS32, 0, reinterpret_cast<LPARAM>(&failed)));
    int low = 0, high = 0;
    SendMessageW(upDown, UDM_GETRANGE32, reinterpret_cast<WPARAM>(&low),
                 reinterpret_cast<LPARAM>(&high));
    int next = position + delta;
    next = next < low ? low : (next > high ? high : next);
    SendMessageW(upDown, UDM_SETPOS32, 0, next);
    SendMessageW(GetParent(upDown), WM_VSCROLL,
                 MAKEWPARAM(SB_THUMBPOSITION, static_cast<WORD>(next)),
                 reinterpret_cast<LPARAM>(upDown));
}

void selectTab(HWND sheet, int index) {
    HWND tab = GetDlgItem(sheet, kTabId);
    SendMessageW(tab, TCM_SETCURSEL, static_cast<WPARAM>(index), 0);
    NMHDR header{tab, static_cast<UINT_PTR>(kTabId), static_cast<UINT>(TCN_SELCHANGE)};
    SendMessageW(sheet, WM_NOTIFY, kTabId, reinterpret_cast<LPARAM>(&header));
}

void pressSheetButton(HWND sheet, int id) {
    click(GetDlgItem(sheet, id));
}

std::string textOf(HWND window) {
    wchar_t text[512] = {};
    SendMessageW(window, WM_GETTEXT, 512, reinterpret_cast<LPARAM>(text));
    return narrow(text);
}

bool shown(HWND window) {
    return (GetWindowLongPtrW(window, GWL_STYLE) & WS_VISIBLE) != 0;
}

bool checked(HWND button) {
    return SendMessageW(button, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

int trackbarPosition(HWND trackbar) {
    return static_cast<int>(SendMessageW(trackbar, TBM_GETPOS, 0, 0));
}

std::vector<std::string> comboItems(HWND combo) {
    std::vector<std::string> items;
    const int count = static_cast<int>(SendMessageW(combo, CB_GETCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
        wchar_t text[256] = {};
        if (SendMessageW(combo, CB_GETLBTEXTLEN, i, 0) < 255)
            SendMessageW(combo, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(text));
        items.push_back(narrow(text));
    }
    return items;
}

int comboSelection(HWND combo) {
    return static_cast<int>(SendMessageW(combo, CB_GETCURSEL, 0, 0));
}

std::vector<std::string> tabCaptions(HWND sheet) {
    HWND tab = GetDlgItem(sheet, kTabId);
    std::vector<std::string> captions;
    const int count = static_cast<int>(SendMessageW(tab, TCM_GETITEMCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
        wchar_t text[128] = {};
        TCITEMW item{};
        item.mask = TCIF_TEXT;
        item.pszText = text;
        item.cchTextMax = 128;
        SendMessageW(tab, TCM_GETITEMW, i, reinterpret_cast<LPARAM>(&item));
        captions.push_back(narrow(text));
    }
    return captions;
}

std::vector<std::string> layoutTexts(HWND container) {
    std::vector<std::string> texts;
    EnumChildWindows(container, &collectLayoutText, reinterpret_cast<LPARAM>(&texts));
    return texts;
}

bool waitUntil(const std::function<bool()>& condition, int timeoutMs) {
    const DWORD start = GetTickCount();
    for (;;) {
        if (condition()) return true;
        if (GetTickCount() - start > static_cast<DWORD>(timeoutMs)) return false;
        Sleep(10);
    }
}

std::string saveScreenshot(HWND window, const std::string& fileName, int* distinctColours) {
    *distinctColours = 0;
    RECT r{};
    if (!GetWindowRect(window, &r)) return {};
    const int width = r.right - r.left, height = r.bottom - r.top;
    if (width <= 0 || height <= 0) return {};
    ScreenDc screen;
    std::unique_ptr<std::remove_pointer_t<HDC>, DcDeleter> memory(CreateCompatibleDC(screen.get()));
    std::unique_ptr<std::remove_pointer_t<HGDIOBJ>, ObjectDeleter> bitmap(
        CreateCompatibleBitmap(screen.get(), width, height));
    if (!memory || !bitmap) return {};
    BITMAPINFOHEADER info{};
    info.biSize = sizeof info;
    info.biWidth = width;
    info.biHeight = height;  // bottom-up, as BMP files store rows
    info.biPlanes = 1;
    info.biBitCount = 24;
    info.biCompression = BI_RGB;
    const size_t stride = (static_cast<size_t>(width) * 3 + 3) & ~size_t{3};
    std::vector<uint8_t> pixels(stride * static_cast<size_t>(height));

    // The window system may show a newly mapped window a moment after it exists: read the
    // screen again (for up to 2 s) while it still shows a blank there.
    for (int attempt = 0; attempt < 20; ++attempt) {
        if (attempt > 0) Sleep(100);
        // Painted now, children included, before the screen is read.
        RedrawWindow(window, nullptr, nullptr,
                     RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
        SendMessageW(window, WM_NULL, 0, 0);
        GdiFlush();
        const HGDIOBJ held = SelectObject(memory.get(), bitmap.get());
        BitBlt(memory.get(), 0, 0, width, height, screen.get(), r.left, r.top, SRCCOPY);
        SelectObject(memory.get(), held);
        if (GetDIBits(memory.get(), static_cast<HBITMAP>(bitmap.get()), 0,
                      static_cast<UINT>(height), pixels.data(),
                      reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS) != height)
            return {};
        std::set<uint32_t> colours;
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) {
                const uint8_t* p =
                    &pixels[static_cast<size_t>(y) * stride + static_cast<size_t>(x) * 3];
                colours.insert(static_cast<uint32_t>(p[0]) | p[1] << 8 | p[2] << 16);
            }
        *distinctColours = static_cast<int>(colours.size());
        if (*distinctColours > 4) break;
    }

    BITMAPFILEHEADER file{};
    file.bfType = 0x4D42;  // "BM"
    file.bfOffBits = sizeof file + sizeof info;
    file.bfSize = static_cast<DWORD>(file.bfOffBits + pixels.size());
    const std::string path = artifactDir() + "\\" + fileName;
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(&file), sizeof file);
    out.write(reinterpret_cast<const char*>(&info), sizeof info);
    out.write(reinterpret_cast<const char*>(pixels.data()),
              static_cast<std::streamsize>(pixels.size()));
    return out.good() ? path : std::string();
}

}  // namespace orvane::test::win32
