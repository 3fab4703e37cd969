// The error history and the notifications that go with it.
#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "OrvaneSdk.h"
#include "session/ErrorHistory.h"

namespace {

using orvane::session::ErrorHistory;

TEST(ErrorHistory, KeepsTheTwentyNewestNewestFirstThenZero) {
    ErrorHistory history;
    for (int i = 1; i <= 25; ++i) history.record(i);
    for (int expected = 25; expected > 5; --expected) EXPECT_EQ(history.pop(), expected);
    EXPECT_EQ(history.pop(), 0);
    EXPECT_EQ(history.pop(), 0);
}

TEST(ErrorHistory, ThroughTheExportsOldFailuresAreLost) {
    const ORVANE_HANDLE h = Orvane_Initialize(nullptr);
    // 25 failures alternating 9 (bad colour mode) and 11 (unsupported), then one 1.
    std::vector<int> recorded;
    for (int i = 0; i < 24; ++i) {
        if (i % 2 == 0) {
            ASSERT_EQ(Orvane_SetColorMode(h, 12), 0);
            recorded.push_back(9);
        } else {
            ASSERT_EQ(Orvane_SetConfigFilter(h), -1);
            recorded.push_back(11);
        }
    }
    ASSERT_EQ(Orvane_SetDeviceNumber(h, 3), 0);  // no such camera
    recorded.push_back(2);
    for (int i = 0; i < 20; ++i)
        EXPECT_EQ(Orvane_GetLastError(h), recorded[recorded.size() - 1 - i]) << "entry " << i;
    EXPECT_EQ(Orvane_GetLastError(h), 0);
    Orvane_Release(h);
}

TEST(ErrorHistory, ConcurrentWritersLoseNothingButTheOldest) {
    ErrorHistory history;
    std::vector<std::thread> writers;
    for (int t = 0; t < 4; ++t)
        writers.emplace_back([&history, t] {
            for (int i = 0; i < 2000; ++i) history.record(t + 1);
        });
    for (auto& w : writers) w.join();
    for (int i = 0; i < 20; ++i) {
        const int code = history.pop();
        EXPECT_GE(code, 1);
        EXPECT_LE(code, 4);
    }
    EXPECT_EQ(history.pop(), 0);
}

class Notifications : public testing::Test {
  protected:
    void SetUp() override { window_ = Orvane_CreateMessageWindow(0); }
    void TearDown() override { Orvane_DestroyMessageWindow(window_); }
    static void drainThreadQueue() {
        OrvaneMessage m;
        while (Orvane_GetMessage(nullptr, &m, 0) == 1) {
        }
    }
    HWND window_ = nullptr;
};

TEST_F(Notifications, ARecordedCodeIsPostedToTheApplicationWindow) {
    const ORVANE_HANDLE h = Orvane_Initialize(window_);
    EXPECT_EQ(Orvane_SetColorMode(h, 12), 0);
    OrvaneMessage m{};
    ASSERT_EQ(Orvane_GetMessage(window_, &m, 1000), 1);
    EXPECT_EQ(m.message, static_cast<unsigned>(ORVANE_WM_ERROR));
    EXPECT_EQ(m.wParam, 0u);
    EXPECT_EQ(m.lParam, 9);
    EXPECT_EQ(Orvane_GetMessage(window_, &m, 0), 0);
    Orvane_Release(h);
}

TEST_F(Notifications, TriggerPostsElevenWithoutRecording) {
    const ORVANE_HANDLE h = Orvane_Initialize(window_);
    EXPECT_EQ(Orvane_Trigger(h), 0);
    EXPECT_EQ(Orvane_SetHalfClock(h, 3), 0);
    OrvaneMessage m{};
    for (int i = 0; i < 2; ++i) {
        ASSERT_EQ(Orvane_GetMessage(window_, &m, 1000), 1);
        EXPECT_EQ(m.message, 0x8003u);
        EXPECT_EQ(m.lParam, 11);
    }
    EXPECT_EQ(Orvane_GetLastError(h), 0);
    Orvane_Release(h);
}

TEST_F(Notifications, WithoutAWindowCodesAreRecordedButNotPosted) {
    drainThreadQueue();
    const ORVANE_HANDLE h = Orvane_Initialize(nullptr);
    EXPECT_EQ(Orvane_SetColorMode(h, 12), 0);
    OrvaneMessage m{};
    EXPECT_EQ(Orvane_GetMessage(nullptr, &m, 0), 0);
    EXPECT_EQ(Orvane_GetLastError(h), 9);

    // The rows that only post do so even without a window: to the calling thread's queue.
    EXPECT_EQ(Orvane_SetAutoIris(h, 3), 0);
    ASSERT_EQ(Orvane_GetMessage(nullptr, &m, 0), 1);
    EXPECT_EQ(m.message, 0x8003u);
    EXPECT_EQ(m.lParam, 9);
    EXPECT_EQ(Orvane_GetIOPort(h, nullptr), 0);
    ASSERT_EQ(Orvane_GetMessage(nullptr, &m, 0), 1);
    EXPECT_EQ(m.lParam, 9);
    EXPECT_EQ(Orvane_ReadSromID(h, 5, nullptr), 0);  // no camera open
    ASSERT_EQ(Orvane_GetMessage(nullptr, &m, 0), 1);
    EXPECT_EQ(m.lParam, 1);
    EXPECT_EQ(Orvane_GetLastError(h), 0);
    Orvane_Release(h);
}

TEST_F(Notifications, PostingToADestroyedWindowIsHarmless) {
    HWND doomed = Orvane_CreateMessageWindow(0);
    const ORVANE_HANDLE h = Orvane_Initialize(doomed);
    ASSERT_EQ(Orvane_DestroyMessageWindow(doomed), 1);
    EXPECT_EQ(Orvane_SetColorMode(h, 12), 0);  // posts to the destroyed window
    EXPECT_EQ(Orvane_GetLastError(h), 9);
    OrvaneMessage m{};
    EXPECT_EQ(Orvane_GetMessage(doomed, &m, 0), 0);
    Orvane_Release(h);
}

}  // namespace
