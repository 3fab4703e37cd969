#include <windows.h>

#include "platform/LibraryUnload.h"

namespace orvane::platform {

// A reference to the module that contains this code (the DLL, or the executable when the
// library is linked in statically), counted like the application's own LoadLibrary.
void holdLibraryLoaded() noexcept {
    HMODULE self = nullptr;
    GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                       reinterpret_cast<LPCSTR>(&holdLibraryLoaded), &self);
}

void releaseLibraryHold() noexcept {
    HMODULE self = nullptr;
    // Looked up without a reference of its own; the one given back is the hold's.
    if (GetModuleHandleExA(
            GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
            reinterpret_cast<LPCSTR>(&releaseLibraryHold), &self))
        FreeLibrary(self);
}

}  // namespace orvane::platform
