// Win32 text conversion: wide strings are UTF-16 (wchar_t and char16_t are the same size
// here) and narrow ones are in the calling thread's ANSI code page, the one the narrow
// exports and the file functions use.
#include "platform/TextConv.h"

#include <windows.h>

static_assert(sizeof(wchar_t) == sizeof(char16_t), "UTF-16 wide strings");

namespace orvane::platform {

bool wideToAnsi(const char16_t* wide, char* out, size_t capacity) {
    if (out == nullptr || capacity == 0) return false;
    out[0] = '\0';
    if (wide == nullptr || capacity > 0x7FFFFFFF) return false;
    // A character the code page lacks would be replaced by '?', naming another file; that
    // is refused, as is a string that does not fit.
    BOOL usedDefault = FALSE;
    const int written = WideCharToMultiByte(CP_THREAD_ACP, 0, reinterpret_cast<LPCWCH>(wide), -1,
                                            out, static_cast<int>(capacity), nullptr, &usedDefault);
    if (written <= 0 || usedDefault) {
        out[0] = '\0';
        return false;
    }
    return true;
}

size_t ansiToWide(const char* narrow, char16_t* out, size_t capacity) {
    if (narrow == nullptr || out == nullptr || capacity == 0 || capacity > 0x7FFFFFFF) return 0;
    const int written =
        MultiByteToWideChar(CP_THREAD_ACP, MB_ERR_INVALID_CHARS, narrow, -1,
                            reinterpret_cast<LPWSTR>(out), static_cast<int>(capacity));
    if (written <= 0) {
        out[0] = u'\0';
        return 0;
    }
    return static_cast<size_t>(written);
}

}  // namespace orvane::platform
