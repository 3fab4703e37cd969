// The language of the dialogs' texts: Japanese when the user's locale asks for it,
// English otherwise.
#pragma once

#include <optional>
#include <string>

namespace orvane::dialogs {

enum class Language { English, Japanese };

// The language of the system's locale (platform::systemLanguageIsJapanese): Japanese or
// English, unless a test has fixed it with overrideUserLanguage.
Language userLanguage();

// Tests: fixes what userLanguage() answers (nothing: the system's language again), so that
// both languages' sheets and templates can be opened on one machine. Any thread.
void overrideUserLanguage(std::optional<Language> language);

// Picks the text of the language.
inline const char* tr(Language language, const char* english, const char* japanese) {
    return language == Language::Japanese ? japanese : english;
}

// printf-style formatting into a std::string (the dialogs' captions carry numbers).
std::string formatText(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace orvane::dialogs
