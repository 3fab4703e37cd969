#include "dialogs/Language.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/Locale.h"

namespace orvane::dialogs {

namespace {

// -1: no override; otherwise the Language's value.
std::atomic<int> languageOverride{-1};

}  // namespace

Language userLanguage() {
    const int forced = languageOverride.load();
    if (forced >= 0) return static_cast<Language>(forced);
    return platform::systemLanguageIsJapanese() ? Language::Japanese : Language::English;
}

void overrideUserLanguage(std::optional<Language> language) {
    languageOverride.store(language ? static_cast<int>(*language) : -1);
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
