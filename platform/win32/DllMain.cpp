// The DLL's entry point. Only the detach matters: the library's static destructors run right
// after it, under the loader lock, and must then not join the sessions' threads (a thread
// cannot finish while the lock is held, and at process end the threads are already gone).
#include <windows.h>

#include "platform/LibraryUnload.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    (void)reserved;
    switch (reason) {
        case DLL_PROCESS_ATTACH:
            // No per-thread work: spare every thread start and end a call into the library.
            DisableThreadLibraryCalls(instance);
            break;
        case DLL_PROCESS_DETACH:
            orvane::platform::markUnloadingUnderLoaderLock();
            break;
        default:
            break;
    }
    return TRUE;
}
