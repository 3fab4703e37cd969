#include "platform/LibraryUnload.h"

namespace orvane::platform {

// dlclose runs the library's destructors, which release open sessions and join their
// threads before the code goes away; there is nothing to hold.
void holdLibraryLoaded() noexcept {}
void releaseLibraryHold() noexcept {}

}  // namespace orvane::platform
