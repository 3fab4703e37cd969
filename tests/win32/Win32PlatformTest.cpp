// The Win32 platform layer against the real system services: the settings tree in
// HKEY_CURRENT_USER, the named file mapping's first user and live-user count, messages
// through a real PeekMessage loop, and text in the ANSI code page.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <thread>

#include "platform/MessageWindow.h"
#include "platform/Registry.h"
#include "platform/SharedMemory.h"
#include "platform/TextConv.h"
#include "support/RegistryValues.h"

namespace {

using namespace orvane::platform;

std::string uniqueName(const char* what) {
    return std::string("OrvaneTest-") + what + "-" + std::to_string(GetCurrentProcessId());
}

TEST(Win32Registry, RootOverrideKeepsValuesUnderItAndTheyReadBack) {
    const std::string root = "Software\\OrvaneTests\\" + uniqueName("reg");
    _putenv_s("ORVANE_REGISTRY_ROOT", root.c_str());
    {
        RegistryKey key = RegistryKey::create("Software\\Kelmor\\OrvaneA063Q7Sdk\\Camera_00");
        ASSERT_TRUE(key.valid());
        EXPECT_TRUE(key.setDword("Color", 0x1234));
        const uint8_t blob[] = {1, 2, 3, 0, 255};
        EXPECT_TRUE(key.setBinary("Mask", blob, sizeof blob));
    }
    // The value sits under the override, where regedit would show it.
    HKEY raw = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, (root + "\\Camera_00").c_str(), 0,
                            KEY_READ | KEY_SET_VALUE, &raw),
              ERROR_SUCCESS);
    DWORD color = 0, size = sizeof color, type = 0;
    EXPECT_EQ(
        RegQueryValueExA(raw, "Color", nullptr, &type, reinterpret_cast<BYTE*>(&color), &size),
        ERROR_SUCCESS);
    EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));
    EXPECT_EQ(color, 0x1234u);
    // A value written by hand is read through the library.
    const DWORD byHand = 77;
    ASSERT_EQ(RegSetValueExA(raw, "Gain", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&byHand),
                             sizeof byHand),
              ERROR_SUCCESS);
    RegCloseKey(raw);

    RegistryKey again = RegistryKey::open("software\\kelmor\\orvanea063q7sdk\\Camera_00");
    ASSERT_TRUE(again.valid());
    EXPECT_EQ(orvane::test::dwordOf(again, "Gain"), 77u);
    EXPECT_EQ(orvane::test::binaryOf(again, "Mask"), (std::vector<uint8_t>{1, 2, 3, 0, 255}));
    // A DWORD is not read as binary, nor the reverse.
    EXPECT_FALSE(orvane::test::binaryOf(again, "Color"));
    EXPECT_FALSE(orvane::test::dwordOf(again, "Mask"));
    EXPECT_FALSE(RegistryKey::open("Software\\Kelmor\\OrvaneA063Q7Sdk\\Missing").valid());

    EXPECT_TRUE(RegistryKey::deleteTree("Software\\Kelmor\\OrvaneA063Q7Sdk"));
    EXPECT_FALSE(RegistryKey::open("Software\\Kelmor\\OrvaneA063Q7Sdk\\Camera_00").valid());
    _putenv_s("ORVANE_REGISTRY_ROOT", "");
}

// Sub-keys and values are listed by name whatever their type, a value name longer than any
// key name included; a key that is not there lists nothing.
TEST(Win32Registry, SubKeysAndValuesAreListedByName) {
    RegistryKey camera = RegistryKey::create("Software\\Kelmor\\OrvaneA063Q7Sdk\\Camera_00");
    ASSERT_TRUE(camera.valid());
    ASSERT_TRUE(camera.createSubKey("Size_01").valid());
    ASSERT_TRUE(camera.createSubKey("Size_00").valid());
    const std::string longName(300, 'v');
    EXPECT_TRUE(camera.setDword("Color", 1));
    const uint8_t blob[] = {7};
    EXPECT_TRUE(camera.setBinary("Mask", blob, sizeof blob));
    EXPECT_TRUE(camera.setDword(longName, 2));

    std::vector<std::string> keys = camera.subKeyNames();
    std::vector<std::string> values = camera.valueNames();
    std::sort(keys.begin(), keys.end());
    std::sort(values.begin(), values.end());
    EXPECT_EQ(keys, (std::vector<std::string>{"Size_00", "Size_01"}));
    EXPECT_EQ(values, (std::vector<std::string>{"Color", "Mask", longName}));

    const RegistryKey missing = RegistryKey::open("Software\\Kelmor\\OrvaneA063Q7Sdk\\Camera_09");
    EXPECT_TRUE(missing.subKeyNames().empty());
    EXPECT_TRUE(missing.valueNames().empty());
}

TEST(Win32SharedMemory, FirstUserIsToldAndUsersAreCounted) {
    _putenv_s("ORVANE_SHM_NAME", uniqueName("shm").c_str());
    bool firstA = false, firstB = true;
    uint32_t usersB = 0;
    auto a = SharedMemory::attach("U3Q7-MemMap", 4096, [&](uint8_t* view, bool first, uint32_t) {
        firstA = first;
        view[0] = 42;
    });
    ASSERT_NE(a, nullptr);
    {
        auto b = SharedMemory::attach("U3Q7-MemMap", 4096,
                                      [&](uint8_t* view, bool first, uint32_t users) {
                                          firstB = first;
                                          usersB = users;
                                          EXPECT_EQ(view[0], 42);  // the same mapping
                                      });
        ASSERT_NE(b, nullptr);
        EXPECT_EQ(a->liveUsers(), 2u);
    }
    EXPECT_TRUE(firstA);
    EXPECT_FALSE(firstB);
    EXPECT_EQ(usersB, 2u);
    EXPECT_EQ(a->liveUsers(), 1u);
    a.reset();
    // The last user gone, the next one starts from a fresh, zeroed mapping.
    bool firstC = false;
    auto c = SharedMemory::attach("U3Q7-MemMap", 4096, [&](uint8_t* view, bool first, uint32_t) {
        firstC = first;
        EXPECT_EQ(view[0], 0);
    });
    ASSERT_NE(c, nullptr);
    EXPECT_TRUE(firstC);
    _putenv_s("ORVANE_SHM_NAME", "");
}

TEST(Win32Messages, PostedMessagesReachTheLoopAndDestroyedWindowsGetNothing) {
    WindowHandle window = createMessageWindow(0);
    ASSERT_NE(window, nullptr);
    std::thread poster([window] { EXPECT_TRUE(postMessage(window, 0x8003, 7, -3)); });
    poster.join();
    EXPECT_TRUE(postMessage(window, 0x8002, 1, 2));
    MSG msg;
    int seen = 0;
    while (PeekMessageA(&msg, reinterpret_cast<HWND>(window), 0, 0, PM_REMOVE)) {
        if (msg.message == 0x8003) {
            EXPECT_EQ(msg.wParam, 7u);
            EXPECT_EQ(msg.lParam, -3);
            ++seen;
        } else if (msg.message == 0x8002) {
            ++seen;
        }
    }
    EXPECT_EQ(seen, 2);
    ASSERT_TRUE(registerDeviceNotification(window));
    ASSERT_TRUE(destroyMessageWindow(window));
    EXPECT_FALSE(postMessage(window, 0x8003, 0, 0));
    broadcastDeviceChange(kDbtDeviceArrival);  // the destroyed window drops out, no crash
    EXPECT_FALSE(isMessageWindow(window));
}

TEST(Win32Text, AnsiRoundTripAndRefusals) {
    const char16_t name[] = u"Camera_\u00e9";  // in every Western ANSI code page
    char narrow[kAnsiBufferSize];
    if (GetACP() == 1252) {
        ASSERT_TRUE(wideToAnsi(name, narrow, sizeof narrow));
        char16_t back[64];
        EXPECT_EQ(ansiToWide(narrow, back, 64), 9u);
        EXPECT_EQ(std::u16string(back), std::u16string(name));
    }
    // A character the code page lacks must not turn into '?' and name another file.
    const char16_t unmappable[] = u"\u4e00\u0416\u03a9";
    if (GetACP() == 1252) {
        EXPECT_FALSE(wideToAnsi(unmappable, narrow, sizeof narrow));
    }
    EXPECT_FALSE(wideToAnsi(u"abcdef", narrow, 4));
    EXPECT_STREQ(narrow, "");
    char16_t small[3];
    EXPECT_EQ(ansiToWide("abcdef", small, 3), 0u);
}

}  // namespace
