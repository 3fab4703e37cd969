// Events, message windows and threads.
#include <gtest/gtest.h>
#include <poll.h>

#include <atomic>
#include <chrono>
#include <stdexcept>
#include <thread>
#include <vector>

#include "platform/MessageWindow.h"
#include "platform/Sync.h"
#include "platform/Thread.h"

namespace {

using namespace orvane::platform;

TEST(Event, AutoResetReleasesOneWaitAndClears) {
    Event e(false, false);
    EXPECT_FALSE(e.wait(0));
    e.set();
    EXPECT_TRUE(e.wait(0));
    EXPECT_FALSE(e.wait(10)) << "the first wait consumed it";
}

TEST(Event, ManualResetStaysSetUntilReset) {
    Event e(true, true);
    EXPECT_TRUE(e.wait(0));
    EXPECT_TRUE(e.wait(0));
    e.reset();
    EXPECT_FALSE(e.wait(0));
}

TEST(Event, ASetFromAnotherThreadWakesAnInfiniteWait) {
    Event e(false);
    Thread t;
    ASSERT_TRUE(t.start([&] { e.set(); }, ThreadPriority::TimeCritical));
    EXPECT_TRUE(e.wait(Event::kInfinite));
    t.join();
    EXPECT_FALSE(t.joinable());
}

TEST(Thread, ARunningThreadCannotBeStartedTwice) {
    Event release(true);
    Thread t;
    ASSERT_TRUE(t.start([&] { release.wait(Event::kInfinite); }));
    EXPECT_FALSE(t.start([] {}));
    release.set();
}  // the destructor joins

// Several callers starting and joining one Thread at once: exactly one start wins per round,
// every join returns only after the body has finished, and nothing ends the process.
TEST(Thread, ConcurrentStartsAndJoinsOnOneObjectAreSafe) {
    constexpr int kRounds = 200, kCallers = 4;
    Thread t;
    for (int round = 0; round < kRounds; ++round) {
        std::atomic<int> ready{0}, attempted{0}, started{0}, bodies{0};
        std::atomic<bool> finished{false};
        std::atomic<int> joinedEarly{0};
        std::vector<std::thread> callers;
        for (int c = 0; c < kCallers; ++c)
            callers.emplace_back([&] {
                ready.fetch_add(1);
                while (ready.load() < kCallers) std::this_thread::yield();
                if (t.start([&] {
                        bodies.fetch_add(1);
                        // Runs until every caller has tried to start: one start only can win.
                        while (attempted.load() < kCallers) std::this_thread::yield();
                        std::this_thread::sleep_for(std::chrono::milliseconds(1));
                        finished.store(true);
                    }))
                    started.fetch_add(1);
                attempted.fetch_add(1);
                t.join();
                if (!finished.load()) joinedEarly.fetch_add(1);
            });
        for (auto& c : callers) c.join();
        ASSERT_EQ(started.load(), 1) << "round " << round;
        ASSERT_EQ(bodies.load(), 1);
        ASSERT_EQ(joinedEarly.load(), 0) << "a join returned while the body still ran";
        ASSERT_FALSE(t.joinable());
    }
}

TEST(Thread, AnExceptionInTheBodyEndsOnlyTheThread) {
    Thread t;
    ASSERT_TRUE(t.start([] { throw std::runtime_error("body failed"); }));
    t.join();
    EXPECT_FALSE(t.joinable());
    EXPECT_TRUE(t.start([] {})) << "usable again";
}

TEST(MessageWindow, MessagesQueueInOrderAndTheDescriptorFollowsThem) {
    WindowHandle w = createMessageWindow(0);
    ASSERT_NE(w, nullptr);
    const int fd = messageFd(w);
    ASSERT_GE(fd, 0);
    pollfd p{fd, POLLIN, 0};
    EXPECT_EQ(poll(&p, 1, 0), 0) << "nothing waiting yet";
    EXPECT_TRUE(postMessage(w, 1, 10, -1));
    EXPECT_TRUE(postMessage(w, 2, 20, -2));
    EXPECT_EQ(poll(&p, 1, 0), 1);
    Message m{};
    ASSERT_EQ(getMessage(w, &m, 0), 1);
    EXPECT_EQ(m.message, 1u);
    EXPECT_EQ(m.wParam, 10u);
    EXPECT_EQ(m.lParam, -1);
    ASSERT_EQ(getMessage(w, &m, 0), 1);
    EXPECT_EQ(m.message, 2u);
    EXPECT_EQ(poll(&p, 1, 0), 0) << "readable only while messages wait";
    EXPECT_EQ(getMessage(w, &m, 10), 0);
    EXPECT_TRUE(destroyMessageWindow(w));
}

TEST(MessageWindow, DestroyedWindowsIgnorePostsAndWakeTheirReaders) {
    WindowHandle w = createMessageWindow(0);
    std::atomic<int> result{-1};
    std::thread reader([&] {
        Message m;
        result = getMessage(w, &m, -1);
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_TRUE(destroyMessageWindow(w));
    reader.join();
    EXPECT_EQ(result.load(), 0);
    EXPECT_FALSE(postMessage(w, 1, 0, 0));
    EXPECT_FALSE(destroyMessageWindow(w));
    EXPECT_EQ(messageFd(w), -1);
    WindowHandle next = createMessageWindow(0);
    EXPECT_NE(next, w) << "handle values are not reused";
    destroyMessageWindow(next);
}

TEST(MessageWindow, AFullQueueRefusesFurtherPosts) {
    WindowHandle w = createMessageWindow(0);
    for (size_t i = 0; i < kMaxQueuedMessages; ++i) ASSERT_TRUE(postMessage(w, 1, i, 0));
    EXPECT_FALSE(postMessage(w, 1, 0, 0));
    Message m;
    ASSERT_EQ(getMessage(w, &m, 0), 1);
    EXPECT_TRUE(postMessage(w, 1, 0, 0));
    destroyMessageWindow(w);
}

TEST(MessageWindow, NullWindowMeansTheCallingThreadsOwnQueue) {
    EXPECT_TRUE(postMessage(nullptr, 7, 0, 0));
    std::thread other([] {
        Message m;
        EXPECT_EQ(getMessage(nullptr, &m, 0), 0) << "another thread's queue is separate";
    });
    other.join();
    Message m;
    ASSERT_EQ(getMessage(nullptr, &m, 0), 1);
    EXPECT_EQ(m.message, 7u);
}

TEST(MessageWindow, DeviceChangesReachRegisteredWindowsOnly) {
    WindowHandle registered = createMessageWindow(0);
    WindowHandle other = createMessageWindow(0);
    EXPECT_TRUE(registerDeviceNotification(registered));
    broadcastDeviceChange(kDbtDeviceArrival);
    Message m;
    ASSERT_EQ(getMessage(registered, &m, 0), 1);
    EXPECT_EQ(m.message, kWmDeviceChange);
    EXPECT_EQ(m.wParam, kDbtDeviceArrival);
    EXPECT_EQ(getMessage(other, &m, 0), 0);
    destroyMessageWindow(registered);
    destroyMessageWindow(other);
}

}  // namespace
