// The device table shared between processes: filing rules, instance numbers, users alive.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/SharedMemory.h"
#include "sim/VirtualCameraSystem.h"
#include "support/TestEnv.h"
#include "transport/CFx3Api.h"

namespace orvane::transport {
namespace {

using sim::CameraOptions;
using sim::ScopedVirtualCameras;

std::vector<CameraOptions> cameras(size_t n, const std::string& serialPrefix = "CAM") {
    std::vector<CameraOptions> out(n);
    for (size_t i = 0; i < n; ++i) out[i].serial = serialPrefix + std::to_string(i);
    return out;
}

// Reads the shared segment as another process would see it.
bool readSegment(SharedDeviceTable* table) {
    const int fd = shm_open(orvane::test::testShmName().c_str(), O_RDONLY, 0);
    if (fd < 0) return false;
    void* view = mmap(nullptr, sizeof *table, PROT_READ, MAP_SHARED, fd, 0);
    close(fd);
    if (view == MAP_FAILED) return false;
    std::memcpy(table, view, sizeof *table);
    munmap(view, sizeof *table);
    return true;
}

TEST(DeviceTable, InstancesCountEarlierRowsOfTheSameModelAndStay) {
    std::vector<CameraOptions> list = cameras(2);
    list.insert(list.begin() + 1, CameraOptions{});
    list[1].productId = 0x3042;
    list[1].serial = "OTHER";
    ScopedVirtualCameras cams(list);
    CFx3Api api;
    ASSERT_EQ(api.Enumerate(), 3);
    EXPECT_EQ(api.GetEntry(0).instance, 0);
    EXPECT_EQ(api.GetEntry(1).instance, 0) << "another model counts separately";
    EXPECT_EQ(api.GetEntry(2).instance, 1);
    EXPECT_EQ(api.GetEntry(2).productId, 0x30F0);
    EXPECT_EQ(api.GetEntry(1).vendorId, 0x04B4);

    // Unplugged cameras keep their rows; a new camera comes after them.
    cams.camera(0).unplug();
    CameraOptions third;
    third.serial = "CAMX";
    cams.system().addCamera(third);
    ASSERT_EQ(api.Enumerate(), 4);
    EXPECT_EQ(std::string(api.GetEntry(0).path), cams.system().devicePath(0));
    EXPECT_EQ(api.GetEntry(3).instance, 2);
    EXPECT_FALSE(api.DevicePresent(0));
    EXPECT_TRUE(api.DevicePresent(3));

    // Replugged on the same path: the old row, nothing new.
    cams.camera(0).replug();
    EXPECT_EQ(api.Enumerate(), 4);
    EXPECT_TRUE(api.DevicePresent(0));
    EXPECT_EQ(api.GetEntry(4).productId, 0) << "empty row";
    EXPECT_EQ(api.GetEntry(4).instance, -1);
}

TEST(DeviceTable, NoCamerasMeansNoRowsAndNothingOpens) {
    ScopedVirtualCameras cams(std::vector<CameraOptions>{});
    CFx3Api api;
    EXPECT_EQ(api.Enumerate(), 0);
    EXPECT_FALSE(api.OpenByIndex(0, false));
    EXPECT_FALSE(api.OpenByIndex(32, false));
    EXPECT_FALSE(api.DevicePresent(-1));
}

TEST(DeviceTable, TheTableHoldsThirtyTwoRows) {
    ScopedVirtualCameras cams(cameras(32));
    CFx3Api api;
    ASSERT_EQ(api.Enumerate(), 32);
    cams.camera(5).unplug();
    CameraOptions late;
    late.serial = "LATE";
    const size_t index = cams.system().addCamera(late);
    EXPECT_EQ(api.Enumerate(), 32);
    for (int i = 0; i < 32; ++i)
        EXPECT_NE(std::string(api.GetEntry(i).path), cams.system().devicePath(index));
}

TEST(DeviceTable, PathsTooLongForARowAreSkipped) {
    std::vector<CameraOptions> list = cameras(2);
    list[0].serial = std::string(240, 'S');
    ScopedVirtualCameras cams(list);
    CFx3Api api;
    ASSERT_EQ(api.Enumerate(), 1);
    EXPECT_EQ(std::string(api.GetEntry(0).path), cams.system().devicePath(1));
}

TEST(DeviceTable, ObjectsOfOneProcessShareTheRowsAndCountAsUsers) {
    ScopedVirtualCameras cams(cameras(2));
    CFx3Api first;
    ASSERT_EQ(first.Enumerate(), 2);
    {
        CFx3Api second;
        EXPECT_EQ(second.GetEntryCount(), 2);
        SharedDeviceTable seen{};
        ASSERT_TRUE(readSegment(&seen));
        EXPECT_EQ(seen.userCount, 2u);
        EXPECT_EQ(seen.entryCount, 2u);
        EXPECT_STREQ(seen.entries[1].path, cams.system().devicePath(1).c_str());
    }
    SharedDeviceTable seen{};
    ASSERT_TRUE(readSegment(&seen));
    EXPECT_EQ(seen.userCount, 1u);
}

TEST(DeviceTable, TwoProcessesShareTheTable) {
    int ready[2], done[2];
    ASSERT_EQ(pipe(ready), 0);
    ASSERT_EQ(pipe(done), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        int rc = 1;
        {
            ScopedVirtualCameras cams(cameras(1, "CHILD"));
            CFx3Api api;
            if (api.Enumerate() == 1) rc = 0;
            char c = 'r';
            if (write(ready[1], &c, 1) != 1) rc = 2;
            if (read(done[0], &c, 1) != 1) rc = 3;
            // The parent filed its camera meanwhile: this process sees it too.
            if (api.Enumerate() != 2) rc = 4;
        }
        _exit(rc);
    }
    char c = 0;
    ASSERT_EQ(read(ready[0], &c, 1), 1);
    {
        ScopedVirtualCameras cams(cameras(1, "PARENT"));
        CFx3Api api;
        ASSERT_EQ(api.GetEntryCount(), 1) << "the child's row is there at attach";
        EXPECT_NE(std::string(api.GetEntry(0).path).find("CHILD0"), std::string::npos);
        ASSERT_EQ(api.Enumerate(), 2);
        EXPECT_NE(std::string(api.GetEntry(1).path).find("PARENT0"), std::string::npos);
        SharedDeviceTable seen{};
        ASSERT_TRUE(readSegment(&seen));
        EXPECT_EQ(seen.userCount, 2u);
        ASSERT_EQ(write(done[1], &c, 1), 1);
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), 0);
        ASSERT_TRUE(readSegment(&seen));
        EXPECT_EQ(seen.userCount, 1u);
        EXPECT_EQ(seen.entryCount, 2u) << "rows outlive the process that filed them";
    }
    for (int fd : {ready[0], ready[1], done[0], done[1]}) close(fd);
}

TEST(DeviceTable, AKilledUserDoesNotKeepTheTableAlive) {
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ScopedVirtualCameras cams(cameras(3, "DOOMED"));
        CFx3Api api;
        api.Enumerate();
        char c = 'r';
        if (write(ready[1], &c, 1) != 1) _exit(2);
        for (;;) pause();
    }
    char c = 0;
    ASSERT_EQ(read(ready[0], &c, 1), 1);
    SharedDeviceTable seen{};
    ASSERT_TRUE(readSegment(&seen));
    EXPECT_EQ(seen.entryCount, 3u);
    ASSERT_EQ(kill(child, SIGKILL), 0);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);

    ScopedVirtualCameras cams(std::vector<CameraOptions>{});
    CFx3Api api;
    EXPECT_EQ(api.GetEntryCount(), 0) << "the last live user went: the table starts empty";
    ASSERT_TRUE(readSegment(&seen));
    EXPECT_EQ(seen.userCount, 1u);
    EXPECT_EQ(seen.entryCount, 0u);
    EXPECT_EQ(seen.entries[0].instance, -1);
    close(ready[0]);
    close(ready[1]);
}

TEST(DeviceTable, TheLastUserRemovesTheSegment) {
    {
        ScopedVirtualCameras cams(cameras(1));
        CFx3Api api;
        api.Enumerate();
    }
    SharedDeviceTable seen{};
    EXPECT_FALSE(readSegment(&seen));
}

TEST(DeviceTable, ShmNameOverride) {
    EXPECT_EQ(orvane::platform::SharedMemory::resolveName("U3Q7-MemMap"),
              orvane::test::testShmName());
    unsetenv("ORVANE_SHM_NAME");
    EXPECT_EQ(orvane::platform::SharedMemory::resolveName("U3Q7-MemMap"), "/U3Q7-MemMap");
}

TEST(DevicePath, VendorAndProductAtFixedPositions) {
    uint16_t vid = 0, pid = 0;
    EXPECT_TRUE(orvane::transport::ParseDevicePath(
        "\\\\?\\usb#vid_04b4&pid_30F0#abc#{328184c5-93e6-49b7-94b8-2ada13aabb39}", &vid, &pid));
    EXPECT_EQ(vid, 0x04B4);
    EXPECT_EQ(pid, 0x30F0);
    EXPECT_FALSE(orvane::transport::ParseDevicePath("\\\\?\\usb#vid_04b4&pid_3", &vid, &pid));
    EXPECT_FALSE(orvane::transport::ParseDevicePath("\\\\?\\usb#vid_zzzz&pid_30f0#x", &vid, &pid));
}

}  // namespace
}  // namespace orvane::transport
