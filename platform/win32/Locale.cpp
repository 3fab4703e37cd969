#include "platform/Locale.h"

#include <windows.h>

namespace orvane::platform {

bool systemLanguageIsJapanese() {
    constexpr LANGID kJapanese = 1041;  // MAKELANGID(LANG_JAPANESE, SUBLANG_JAPANESE_JAPAN)
    return GetSystemDefaultLangID() == kJapanese;
}

}  // namespace orvane::platform
