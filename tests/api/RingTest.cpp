// The handle ring: its search moves the head, and its walk stops at the node that preceded
// the starting head (or at an earlier node with that node's key).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <random>
#include <vector>

#include "api/CSdkChain.h"
#include "api/CTRing.h"
#include "platform/LibraryUnload.h"
#include "session/COrvane.h"

namespace {

struct Entry {
    uint64_t key;
    int tag;
};

using Ring = orvane::api::CTRing<Entry>;

// Keys of the ring from the head, following next pointers, checking the back links.
std::vector<uint32_t> keysFromHead(const Ring& ring) {
    std::vector<uint32_t> keys;
    auto* node = ring.Head();
    if (node == nullptr) return keys;
    do {
        EXPECT_EQ(node->next->prev, node);
        keys.push_back(static_cast<uint32_t>(node->element.key));
        node = node->next;
    } while (node != ring.Head() && keys.size() <= 100000);
    return keys;
}

TEST(Ring, InsertPutsTheNewNodeBeforeTheOldHead) {
    Ring ring;
    ring.Insert({1, 0});
    ring.Insert({2, 0});
    ring.Insert({3, 0});
    EXPECT_EQ(ring.Count(), 3);
    EXPECT_EQ(keysFromHead(ring), (std::vector<uint32_t>{3, 2, 1}));
}

TEST(Ring, FindMovesTheHeadToTheMatchAndAMissLeavesItBeforeTheStart) {
    Ring ring;
    for (uint32_t k : {1u, 2u, 3u, 4u}) ring.Insert({k, 0});  // head 4, then 3, 2, 1
    EXPECT_TRUE(ring.Find(2));
    EXPECT_EQ(ring.Head()->element.key, 2u);
    EXPECT_TRUE(ring.Find(2));  // found on its first comparison
    EXPECT_EQ(ring.Head()->element.key, 2u);

    // From head 2 the ring runs 2, 1, 4, 3: a miss ends on 3, the node before the start.
    EXPECT_FALSE(ring.Find(99));
    EXPECT_EQ(ring.Head()->element.key, 3u);
    EXPECT_EQ(ring.Count(), 4);
}

TEST(Ring, TheLastNodeIsStillExamined) {
    Ring ring;
    for (uint32_t k : {1u, 2u, 3u}) ring.Insert({k, 0});  // 3, 2, 1; last = 1
    EXPECT_TRUE(ring.Find(1));
    EXPECT_EQ(ring.Head()->element.key, 1u);
}

TEST(Ring, AnEarlierNodeWithTheLastKeyEndsTheWalk) {
    Ring ring;
    // Head order after the inserts: 7(a), 5, 7(b), 9. The node before the head is 9...
    ring.Insert({9, 0});
    ring.Insert({7, 2});
    ring.Insert({5, 0});
    ring.Insert({7, 1});
    // ...so rotate to start at 5: the ring is 5, 7(b), 9, 7(a) and the last key is 7.
    ASSERT_TRUE(ring.Find(5));
    // The walk stops at 7(b), which carries the last node's key, without reaching 9.
    EXPECT_FALSE(ring.Find(9));
    EXPECT_EQ(ring.Head()->element.key, 7u);
    EXPECT_EQ(ring.Head()->element.tag, 2);
}

TEST(Ring, TwoEntriesWithEqualKeysAreFoundInWalkOrder) {
    Ring ring;
    ring.Insert({8, 1});
    ring.Insert({3, 0});
    ring.Insert({8, 2});  // head: 8(2), 3, 8(1)
    ASSERT_TRUE(ring.Find(8));
    EXPECT_EQ(ring.Head()->element.tag, 2);
    ASSERT_TRUE(ring.RemoveHead());
    ASSERT_TRUE(ring.Find(8));
    EXPECT_EQ(ring.Head()->element.tag, 1);
}

TEST(Ring, RemovingTheOnlyNodeEmptiesTheRing) {
    Ring ring;
    EXPECT_FALSE(ring.RemoveHead());
    EXPECT_FALSE(ring.Find(1));
    ring.Insert({1, 0});
    EXPECT_EQ(ring.Head()->next, ring.Head());
    EXPECT_EQ(ring.Head()->prev, ring.Head());
    EXPECT_TRUE(ring.RemoveHead());
    EXPECT_EQ(ring.Head(), nullptr);
    EXPECT_EQ(ring.Count(), 0);
}

TEST(Ring, RandomInsertsAndRemovalsKeepTheRingConsistent) {
    Ring ring;
    std::mt19937 rng(1234);
    std::vector<uint32_t> live;
    uint32_t next = 1;
    for (int step = 0; step < 5000; ++step) {
        if (live.empty() || rng() % 3 != 0) {
            ring.Insert({next, 0});
            live.push_back(next++);
        } else {
            const size_t i = rng() % live.size();
            ASSERT_TRUE(ring.Find(live[i]));
            ASSERT_TRUE(ring.RemoveHead());
            live.erase(live.begin() + static_cast<long>(i));
        }
        ASSERT_EQ(ring.Count(), static_cast<int32_t>(live.size()));
    }
    auto keys = keysFromHead(ring);
    std::sort(keys.begin(), keys.end());
    std::sort(live.begin(), live.end());
    EXPECT_EQ(keys, live);
}

}  // namespace

namespace orvane::api {
namespace {

// The registry's teardown at unload: normally the sessions still registered are released
// with it; under the loader lock (the Windows DLL's detach) they are left to the system,
// because releasing one would wait for its threads there.
TEST(SdkChainUnload, RemainingSessionsAreReleasedWithTheRegistry) {
    std::weak_ptr<session::COrvane> watched;
    {
        CSdkChain chain;
        const uint32_t h = chain.CreateSession();
        ASSERT_NE(h, 0u);
        watched = chain.Lookup(h);
        ASSERT_FALSE(watched.expired());
    }
    EXPECT_TRUE(watched.expired());
}

TEST(SdkChainUnloadDeathTest, UnderTheLoaderLockSessionsAreLeftAlone) {
    // In a child process: the mark is never undone.
    EXPECT_EXIT(
        {
            std::weak_ptr<session::COrvane> watched;
            {
                CSdkChain chain;
                const uint32_t h = chain.CreateSession();
                if (h == 0) std::_Exit(2);
                watched = chain.Lookup(h);
                platform::markUnloadingUnderLoaderLock();
            }
            std::_Exit(watched.expired() ? 3 : 0);
        },
        ::testing::ExitedWithCode(0), "");
}

}  // namespace
}  // namespace orvane::api
