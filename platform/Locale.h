// The language the user's system is set to, as far as the library's texts care.
#pragma once

namespace orvane::platform {

// True when the system's default language is Japanese. POSIX: the first non-empty one of
// LC_ALL, LC_MESSAGES and LANG (the order in which they override each other) starts with
// "ja". Windows: GetSystemDefaultLangID() is 1041 (ja-JP).
bool systemLanguageIsJapanese();

}  // namespace orvane::platform
