// Whether the library is being unloaded under the system's loader lock (Windows: DllMain's
// DLL_PROCESS_DETACH, from FreeLibrary or from the process ending).
//
// Teardown that runs then (static destructors of the library) must neither wait for a thread
// nor take a lock: a thread cannot end while the loader lock is held, and when the process is
// ending its other threads have already been stopped wherever they were, possibly holding
// locks. Such teardown leaves what it owns to the system instead. On POSIX unloading never
// holds such a lock and this stays false.
#pragma once

namespace orvane::platform {

// Called by the library's entry point when the detach begins; never undone.
void markUnloadingUnderLoaderLock() noexcept;
bool unloadingUnderLoaderLock() noexcept;

}  // namespace orvane::platform
