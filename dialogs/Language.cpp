#include "dialogs/Language.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/Locale.h"

namespace orvane::dialogs {

Language userLanguage() {
    return platform::systemLanguageIsJapanese() ? Language::Japanese : Language::English;
}

std::string formatText(const char* format, ...) {
    char buffer[256];
    va_list args;
    va_start(args, format);
    const int n = std::vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    if (n < 0) return {};
    return std::string(buffer, static_cast<size_t>(n) < sizeof buffer ? static_cast<size_t>(n)
                                                                      : sizeof buffer - 1);
}

}  // namespace orvane::dialogs
