#include "platform/Locale.h"

#include <cstdlib>
#include <cstring>
#include <initializer_list>

namespace orvane::platform {

bool systemLanguageIsJapanese() {
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* value = std::getenv(name);
        if (value == nullptr || *value == '\0') continue;
        return std::strncmp(value, "ja", 2) == 0;
    }
    return false;
}

}  // namespace orvane::platform
