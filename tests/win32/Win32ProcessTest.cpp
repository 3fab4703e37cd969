// The Win32 platform layer across processes and through a real message loop: registry
// values outlive the process that wrote them and values written by reg.exe are read, the
// named file mapping is shared between processes and a killed user blocks nobody, messages
// posted from other threads are dispatched to the window procedure, and wide text goes
// through the thread's ANSI code page.
//
// The cross-process cases run this same executable again as a child, selecting one of the
// DISABLED_ child cases below, with the names to use passed in the environment.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "platform/MessageWindow.h"
#include "platform/Registry.h"
#include "platform/SharedMemory.h"
#include "platform/TextConv.h"
#include "support/RegistryValues.h"

namespace {

using namespace orvane::platform;

constexpr const char* kRoot = "Software\\Kelmor\\OrvaneA063Q7Sdk";

std::string uniqueName(const char* what) {
    return std::string("OrvaneTest-") + what + "-" + std::to_string(GetCurrentProcessId()) + "-" +
           std::to_string(GetTickCount());
}

std::string env(const char* name) {
    const char* v = std::getenv(name);
    return v != nullptr ? v : "";
}

// Owns a process handle.
struct Process {
    HANDLE handle = nullptr;
    ~Process() {
        if (handle != nullptr) CloseHandle(handle);
    }
    // Exit code, or -1 when it did not end within the time.
    long wait(DWORD ms) const {
        if (WaitForSingleObject(handle, ms) != WAIT_OBJECT_0) return -1;
        DWORD code = 0;
        GetExitCodeProcess(handle, &code);
        return static_cast<long>(code);
    }
};

// Starts `commandLine` with the current environment (children inherit the variables set
// by the test).
bool start(std::string commandLine, Process& out) {
    STARTUPINFOA si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    std::vector<char> line(commandLine.begin(), commandLine.end());
    line.push_back('\0');
    // The child keeps the test environment it inherits instead of making its own.
    _putenv_s("ORVANE_TEST_CHILD", "1");
    const BOOL started = CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                        nullptr, &si, &pi);
    _putenv_s("ORVANE_TEST_CHILD", "");
    if (!started) return false;
    CloseHandle(pi.hThread);
    out.handle = pi.hProcess;
    return true;
}

bool startChild(const char* testName, Process& out) {
    char self[MAX_PATH];
    const DWORD n = GetModuleFileNameA(nullptr, self, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return false;
    return start(std::string("\"") + self +
                     "\" --gtest_also_run_disabled_tests --gtest_filter=Win32Child." + testName,
                 out);
}

// --- child cases: run only when started by the tests below -------------------------------

TEST(Win32Child, DISABLED_WriteRegistry) {
    if (env("ORVANE_REGISTRY_ROOT").empty()) GTEST_SKIP();
    RegistryKey key = RegistryKey::create(std::string(kRoot) + "\\Camera_03");
    ASSERT_TRUE(key.valid());
    ASSERT_TRUE(key.setDword("WaitTime", 0xBEEF));
    const uint8_t blob[] = {9, 8, 7};
    ASSERT_TRUE(key.setBinary("Mask", blob, sizeof blob));
    ASSERT_TRUE(key.close());
}

// Attaches, takes the mapping's lock, writes a mark and signals; then waits to be killed
// with the lock still held.
TEST(Win32Child, DISABLED_HoldMappingUntilKilled) {
    const std::string ready = env("ORVANE_TEST_READY_EVENT");
    if (env("ORVANE_SHM_NAME").empty() || ready.empty()) GTEST_SKIP();
    auto shm = SharedMemory::attach("U3Q7-MemMap", 8584, nullptr);
    ASSERT_NE(shm, nullptr);
    auto guard = shm->lock();
    shm->data()[100] = 0x5A;
    HANDLE event = OpenEventA(EVENT_MODIFY_STATE, FALSE, ready.c_str());
    ASSERT_NE(event, nullptr);
    SetEvent(event);
    CloseHandle(event);
    Sleep(60000);
}

// --- registry ------------------------------------------------------------------------

class Win32RegistryProcess : public ::testing::Test {
  protected:
    void SetUp() override {
        root_ = "Software\\OrvaneTests\\" + uniqueName("proc");
        _putenv_s("ORVANE_REGISTRY_ROOT", root_.c_str());
    }
    void TearDown() override {
        RegistryKey::deleteTree(kRoot);
        _putenv_s("ORVANE_REGISTRY_ROOT", "");
    }
    std::string root_;
};

TEST_F(Win32RegistryProcess, ValuesWrittenByAnotherProcessAreReadAfterItEnded) {
    Process child;
    ASSERT_TRUE(startChild("DISABLED_WriteRegistry", child));
    ASSERT_EQ(child.wait(60000), 0);
    RegistryKey key = RegistryKey::open(std::string(kRoot) + "\\Camera_03");
    ASSERT_TRUE(key.valid());
    EXPECT_EQ(orvane::test::dwordOf(key, "WaitTime"), 0xBEEFu);
    EXPECT_EQ(orvane::test::binaryOf(key, "Mask"), (std::vector<uint8_t>{9, 8, 7}));
}

TEST_F(Win32RegistryProcess, AValueAddedByRegExeIsRead) {
    Process reg;
    const std::string command =
        "reg.exe add \"HKCU\\" + root_ + "\\Camera_00\\Size_00\" /v EH /t REG_DWORD /d 1536 /f";
    ASSERT_TRUE(start(command, reg));
    ASSERT_EQ(reg.wait(60000), 0);
    RegistryKey preset = RegistryKey::open(std::string(kRoot) + "\\Camera_00\\Size_00");
    ASSERT_TRUE(preset.valid());
    EXPECT_EQ(orvane::test::dwordOf(preset, "EH"), 1536u);
    RegistryKey camera = RegistryKey::open(std::string(kRoot) + "\\Camera_00");
    EXPECT_EQ(camera.subKeyNames(), (std::vector<std::string>{"Size_00"}));
}

// --- shared mapping ------------------------------------------------------------------

TEST(Win32SharedMemoryProcess, AnotherProcessSharesTheMappingAndItsDeathBlocksNobody) {
    const std::string name = uniqueName("map");
    const std::string readyName = name + "-Ready";
    _putenv_s("ORVANE_SHM_NAME", name.c_str());
    _putenv_s("ORVANE_TEST_READY_EVENT", readyName.c_str());
    HANDLE ready = CreateEventA(nullptr, TRUE, FALSE, readyName.c_str());
    ASSERT_NE(ready, nullptr);

    // This process is the first user; the child joins, so the mapping outlives the child.
    bool firstHere = false;
    auto shm = SharedMemory::attach("U3Q7-MemMap", 8584,
                                    [&](uint8_t*, bool first, uint32_t) { firstHere = first; });
    ASSERT_NE(shm, nullptr);
    EXPECT_TRUE(firstHere);
    Process child;
    ASSERT_TRUE(startChild("DISABLED_HoldMappingUntilKilled", child));
    ASSERT_EQ(WaitForSingleObject(ready, 60000), WAIT_OBJECT_0);
    CloseHandle(ready);
    EXPECT_EQ(shm->liveUsers(), 2u);

    // The child holds the lock and is killed holding it: the lock, abandoned, must pass to
    // the next user instead of blocking it for ever.
    HANDLE locked = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    uint8_t mark = 0;
    std::thread locker([&] {
        auto guard = shm->lock();
        mark = shm->data()[100];  // written by the child into the same mapping
        SetEvent(locked);
    });
    EXPECT_EQ(WaitForSingleObject(locked, 200), static_cast<DWORD>(WAIT_TIMEOUT));  // held
    ASSERT_TRUE(TerminateProcess(child.handle, 9));
    EXPECT_EQ(child.wait(60000), 9);
    EXPECT_EQ(WaitForSingleObject(locked, 10000), WAIT_OBJECT_0);
    locker.join();
    CloseHandle(locked);
    EXPECT_EQ(mark, 0x5A);
    EXPECT_EQ(shm->liveUsers(), 1u);  // the dead child is not counted
    _putenv_s("ORVANE_SHM_NAME", "");
    _putenv_s("ORVANE_TEST_READY_EVENT", "");
}

// --- messages through a real loop ----------------------------------------------------

struct Seen {
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
};
thread_local std::vector<Seen>* seenByProc = nullptr;

LRESULT CALLBACK recordingProc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
    if ((m == 0x8002 || m == 0x8003) && seenByProc != nullptr) seenByProc->push_back({m, wp, lp});
    if (m == WM_APP + 1) {  // end of the test's messages
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(w, m, wp, lp);
}

HWND makeWindow() {
    WNDCLASSA wc{};
    wc.lpfnWndProc = recordingProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "OrvaneTestRecorder";
    RegisterClassA(&wc);  // a second registration fails harmlessly
    // Message-only: dispatched like any window's, and needs no display.
    return CreateWindowExA(0, wc.lpszClassName, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                           wc.hInstance, nullptr);
}

TEST(Win32MessageLoop, MessagesFromOtherThreadsAreDispatchedInOrder) {
    std::vector<Seen> seen;
    seenByProc = &seen;
    HWND hwnd = makeWindow();
    ASSERT_NE(hwnd, nullptr);
    auto* window = reinterpret_cast<WindowHandle>(hwnd);
    std::thread poster([window] {
        // 0x8003 is the error notification (wParam: the code), 0x8002 the frame message.
        EXPECT_TRUE(postMessage(window, 0x8003, 5, 0));
        EXPECT_TRUE(postMessage(window, 0x8002, 0, 1234));
        EXPECT_TRUE(postMessage(window, WM_APP + 1, 0, 0));
    });
    poster.join();
    MSG msg;
    UINT_PTR timer = SetTimer(nullptr, 0, 10000, nullptr);  // a hung loop fails the test
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        if (msg.message == WM_TIMER && msg.wParam == timer) break;
        DispatchMessageA(&msg);
    }
    KillTimer(nullptr, timer);
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0].message, 0x8003u);
    EXPECT_EQ(seen[0].wParam, 5u);
    EXPECT_EQ(seen[1].message, 0x8002u);
    EXPECT_EQ(seen[1].lParam, 1234);

    // Destroyed: posting is refused and the loop receives nothing more for it.
    ASSERT_TRUE(destroyMessageWindow(window));
    seen.clear();
    std::thread late([window] { EXPECT_FALSE(postMessage(window, 0x8003, 1, 0)); });
    late.join();
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
    EXPECT_TRUE(seen.empty());
    seenByProc = nullptr;
}

// --- text in the thread's code page -----------------------------------------------------

TEST(Win32ThreadCodePage, WideTextRoundTripsThroughTheThreadsAnsiCodePage) {
    const LCID saved = GetThreadLocale();
    // Japanese: the thread's ANSI code page becomes 932, whatever the system's is.
    if (!SetThreadLocale(MAKELCID(MAKELANGID(LANG_JAPANESE, SUBLANG_JAPANESE_JAPAN), SORT_DEFAULT)))
        GTEST_SKIP() << "thread locale cannot be changed here";
    const char16_t name[] = u"\u65e5\u672c\u8a9e_01.bmp";  // Japanese name of a file
    char narrow[kAnsiBufferSize];
    const bool converted = wideToAnsi(name, narrow, sizeof narrow);
    char16_t back[64];
    const size_t units = converted ? ansiToWide(narrow, back, 64) : 0;
    const size_t narrowBytes = converted ? std::string(narrow).size() : 0;
    SetThreadLocale(saved);
    ASSERT_TRUE(converted);
    EXPECT_EQ(narrowBytes, 3u * 2 + 7);  // double-byte characters in code page 932
    EXPECT_EQ(units, 11u);               // with the terminator
    EXPECT_EQ(std::u16string(back), std::u16string(name));
}

}  // namespace
