// Wide text of the W exports in tests: UTF-16 units, whose type is the header's OrvaneWChar
// (wchar_t on Windows, char16_t elsewhere).
#pragma once

#include <string>
#include <string_view>

#include "OrvaneSdk.h"

namespace orvane::test {

using WideString = std::basic_string<OrvaneWChar>;

// The same UTF-16 units as OrvaneWChar text; a u"" literal or ASCII text gives them.
inline WideString wideText(std::u16string_view units) {
    return WideString(units.begin(), units.end());
}
inline WideString wideText(std::string_view ascii) {
    return WideString(ascii.begin(), ascii.end());
}

}  // namespace orvane::test
