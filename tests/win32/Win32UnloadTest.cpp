// The library DLL loaded at run time, as applications do: a process that ends with a session
// still open does not hang in the loader (the detach must not join the session's threads).
//
// ORVANE_TEST_DLL names the DLL (default: OrvaneSdk_A06_USB3_Q7.dll beside the test).
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <string>

#include "OrvaneSdk.h"

namespace {

std::string dllName() {
    const char* over = std::getenv("ORVANE_TEST_DLL");
    return over != nullptr && *over != '\0' ? over : "OrvaneSdk_A06_USB3_Q7.dll";
}

// Own settings root and device table, inherited by the child processes.
void isolate() {
    const std::string tag = std::to_string(GetCurrentProcessId());
    _putenv_s("ORVANE_REGISTRY_ROOT", ("Software\\OrvaneTests\\unload-" + tag).c_str());
    _putenv_s("ORVANE_SHM_NAME", ("OrvaneTest-unload-" + tag).c_str());
}

using Initialize = ORVANE_HANDLE(ORVANE_CALL*)(HWND);

TEST(Win32Unload, EndingTheProcessWithASessionOpenDoesNotHang) {
    // In a child, so that the loader's detach at process end is the one under test.
    isolate();
    char self[MAX_PATH];
    ASSERT_GT(GetModuleFileNameA(nullptr, self, MAX_PATH), 0u);
    std::string line = std::string("\"") + self +
                       "\" --gtest_also_run_disabled_tests "
                       "--gtest_filter=Win32Unload.DISABLED_ExitWithSessionOpen";
    STARTUPINFOA si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    // The child keeps the test environment it inherits instead of making its own.
    _putenv_s("ORVANE_TEST_CHILD", "1");
    const BOOL started = CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                        nullptr, &si, &pi);
    _putenv_s("ORVANE_TEST_CHILD", "");
    ASSERT_TRUE(started);
    CloseHandle(pi.hThread);
    const DWORD waited = WaitForSingleObject(pi.hProcess, 60000);
    if (waited != WAIT_OBJECT_0) TerminateProcess(pi.hProcess, 1);
    DWORD code = 1;
    GetExitCodeProcess(pi.hProcess, &code);
    CloseHandle(pi.hProcess);
    EXPECT_EQ(waited, WAIT_OBJECT_0);
    EXPECT_EQ(code, 0u);
}

TEST(Win32Unload, DISABLED_ExitWithSessionOpen) {
    HMODULE dll = LoadLibraryA(dllName().c_str());
    ASSERT_NE(dll, nullptr);
    auto init = reinterpret_cast<Initialize>(
        reinterpret_cast<void*>(GetProcAddress(dll, "Orvane_Initialize")));
    ASSERT_NE(init, nullptr);
    ASSERT_NE(init(nullptr), 0u);
    // Returning ends the process with the session open and the library loaded.
}

}  // namespace
