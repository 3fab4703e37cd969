// <regex> for tests. GCC 12 under the sanitizers warns that the std::function inside
// libstdc++'s regex compiler "may be used uninitialized", a false alarm in the library's own
// headers that -Werror would turn into a failed build; the warning is off for the rest of any
// translation unit that includes this.
#pragma once

#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif

#include <regex>
