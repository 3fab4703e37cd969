// The last-resort catch of the export frame: an exception thrown inside a session (here an
// allocation failure, made on purpose for the calling thread only) makes the export fail,
// is recorded in the session's history, and never reaches the C caller.
#include <gtest/gtest.h>

#include <cstdlib>
#include <new>

#include "OrvaneSdk.h"
#include "sim/VirtualCameraSystem.h"
#include "support/ReplacedAllocation.h"

namespace {
thread_local bool t_failAllocations = false;

struct FailAllocationsHere {
    FailAllocationsHere() { t_failAllocations = true; }
    ~FailAllocationsHere() { t_failAllocations = false; }
};
}  // namespace

// Every allocation of the process: plain malloc, or std::bad_alloc while the calling thread
// asks for failures.
void* orvane::test::replacedAllocate(std::size_t n) {
    if (t_failAllocations) throw std::bad_alloc();
    if (void* p = std::malloc(n != 0 ? n : 1)) return p;
    throw std::bad_alloc();
}

namespace {

TEST(ExportLastResort, AnExceptionInsideASessionFailsTheCallAndIsRecorded) {
    orvane::sim::ScopedVirtualCameras cams("30f0:pace=fast");
    const ORVANE_HANDLE h = Orvane_Initialize(nullptr);
    ASSERT_NE(h, 0u);
    char name[256] = {};
    ASSERT_EQ(Orvane_GetDeviceName(h, 0, name, sizeof name), 1) << "works without the fault";
    int result = -1;
    {
        FailAllocationsHere fault;
        result = Orvane_GetDeviceName(h, 0, name, sizeof name);  // the name is a std::string
    }
    EXPECT_EQ(result, 0);
    EXPECT_EQ(Orvane_GetLastError(h), ORVANE_ERR_MEMORY);
    EXPECT_EQ(Orvane_GetDeviceName(h, 0, name, sizeof name), 1) << "the session goes on";
    EXPECT_EQ(Orvane_Release(h), 1);
}

}  // namespace
