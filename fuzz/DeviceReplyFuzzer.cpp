// Fuzzed device replies through the driver port into the camera controller and the device
// SDK's frame assembly. The first input byte picks what the host does; the rest is the
// device's side of the conversation (support/ScriptedDevice.h): completions, byte counts,
// control replies, frame headers and driver status words.
//
// Checked beyond the sanitizers: every operation returns one of its documented results, a
// successful bulk read never reports more bytes than its buffer holds, and a frame handed
// out has the size of the current geometry.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "device/COrvaneUSB3Q7SimpleSdk.h"
#include "support/ScriptedDevice.h"
#include "transport/CKelCy3Cam.h"

using namespace orvane;

namespace {

[[noreturn]] void fail(const char* what) {
    std::fprintf(stderr, "device-reply invariant broken: %s\n", what);
    std::abort();
}

void check(bool ok, const char* what) {
    if (!ok) fail(what);
}

bool isFlag(int v) {
    return v == 0 || v == 1;
}

// What lives across inputs: the staging buffer of a controller is 64 MiB, too much to make
// for every input, so one controller and one device object serve all of them. Every input
// starts by selecting and opening the device again, which resets what a reply could change.
struct World {
    std::shared_ptr<fuzz::ReplyScript> script = std::make_shared<fuzz::ReplyScript>();
    std::shared_ptr<fuzz::ScriptedBackend> backend =
        std::make_shared<fuzz::ScriptedBackend>(script);
    platform::usb::ScopedBackendOverride override{backend};
    std::unique_ptr<transport::CKelCy3Cam> controller;
    std::unique_ptr<device::COrvaneUSB3Q7SimpleSdk> device;
    std::vector<uint8_t> buffer = std::vector<uint8_t>(1 << 16);
};

// Made after the driver port's own registry, so it is destroyed before that registry at exit
// (its backend override unregisters itself there).
std::unique_ptr<World>& worldSlot() {
    static std::unique_ptr<World> slot;
    return slot;
}

constexpr uint32_t kSmallPayload = 4096;

void controllerOperations(World& w, uint8_t choice) {
    transport::CKelCy3Cam& c = *w.controller;
    fuzz::ReplyScript& s = *w.script;
    c.SelectDevice(0);
    uint8_t block[64];
    check(isFlag(c.ReadInfoBlock(block)), "ReadInfoBlock");
    check(isFlag(c.ReadInfoBlock2(block)), "ReadInfoBlock2");
    uint8_t byte = 0;
    check(isFlag(c.ReadReadyStatus(&byte)), "ReadReadyStatus");
    uint16_t word = 0;
    check(isFlag(c.ReadRegister16(s.byte(), &word)), "ReadRegister16");
    check(isFlag(c.ReadWord(s.byte(), &word)), "ReadWord");
    check(isFlag(c.ReadStreamMode(&byte)), "ReadStreamMode");
    uint8_t bus[70];
    const uint32_t busCount = s.byte() % 70;
    const int busRead = c.BusRead(0x48, bus, busCount);
    check(isFlag(busRead) && (busCount <= 64 || busRead == 0), "BusRead");
    check(isFlag(c.ReadFpgaRegister(s.byte(), &byte)), "ReadFpgaRegister");
    check(c.ReadFpgaWord(&word) == 1, "ReadFpgaWord");
    check(isFlag(c.ReadAuxRegister(s.byte(), &byte)), "ReadAuxRegister");
    check(isFlag(c.ReadEepromByte(static_cast<uint16_t>(s.word32()), &byte)), "ReadEepromByte");
    uint32_t speed = 0;
    c.GetSpeed(&speed);

    if (c.OpenStreamHandle() == 0) return;
    uint8_t* const buf = w.buffer.data();
    transport::FrameRecord record;
    record.payload = buf;
    record.capacity = kSmallPayload;
    if (c.ReadFrameHeader(&record) != 0) {
        const int payload = c.ReadFramePayload(&record, 100);
        check(isFlag(payload), "ReadFramePayload");
        check(payload == 0 || record.payloadBytes() <= record.capacity, "payload beyond capacity");
    }
    uint32_t count = 0;
    const uint32_t length = s.byte() * 16u;
    if (c.BufferedBulkRead(nullptr, buf, length, transport::kEndpointFrames, &count) != 0)
        fail("BufferedBulkRead without a handle");
    if ((choice & 0x10) != 0) {
        record.wholeFrameBytes = s.byte() * 64u;
        if (c.ReadWholeFrame(&record) != 0)
            check(record.wholeFrameBytes <= record.capacity, "whole frame beyond capacity");
    }
    c.CloseStreamHandle();
}

void deviceOperations(World& w, uint8_t choice) {
    device::COrvaneUSB3Q7SimpleSdk& d = *w.device;
    fuzz::ReplyScript& s = *w.script;
    if (d.Open(0) == 0) return;
    // A small window keeps the buffers small; a device that refuses it is left alone, since a
    // full-size frame would cost more to stage than the whole rest of the input. The window
    // comes before the transfer width, whose change sizes the buffers at once.
    const int width = 16 + 4 * (s.byte() % 16);
    const int height = 4 + 2 * (s.byte() % 8);
    d.SetCaptureWindow(0, 0, width, height, 0);
    int x = 0, y = 0, gw = 0, gh = 0, mode = 0;
    d.GetSensorGeometry(&x, &y, &gw, &gh, &mode);
    if (gw <= 0 || gh <= 0 || gw * gh > 64 * 64) return;
    d.SetWideTransfer((choice & 0x08) != 0 ? 1 : 0);

    const int grab = d.GrabOne();
    check(grab >= 0 && grab <= 2, "GrabOne result");
    const uint32_t frameBytes = d.GetFrameSize();
    check(frameBytes <= w.buffer.size(), "frame larger than the window");
    if (grab == 0) {
        check(d.CopySnapshot(w.buffer.data()) == 0, "CopySnapshot");
        check(d.CopyFrame(w.buffer.data(), frameBytes, 1, 1) == 1, "CopyFrame");
        check(frameBytes == 0 || d.CopyFrame(w.buffer.data(), frameBytes - 1, 1, 1) == 0,
              "CopyFrame into a short buffer");
    }
    if ((choice & 0x04) != 0) {
        // One frame through the capture loop, run on this thread: a thread per input would
        // cost more than everything else the input does. The snapshot loop ends by itself
        // after the frame or after giving up, so its end is already there for the reader.
        if (d.CaptureSnapshotOnThisThread() == 1) {
            check(!d.IsCapturing(), "snapshot capture still running");
            const int r = d.WaitFrame(0);
            check(r >= 1 && r <= 3, "WaitFrame result");
            check(r != device::kWaitFrameReady || d.CopyLatest(w.buffer.data(), 1) == 0,
                  "CopyLatest");
            d.StopCapture();
        }
    }
}

}  // namespace

// Every control request allocates its handle, so recording each allocation's stack would
// cost more than the request itself. Two frames still name the allocating function; rerun a
// crash with ASAN_OPTIONS=malloc_context_size=30 for whole allocation stacks.
extern "C" const char* __asan_default_options() {
    return "malloc_context_size=2";
}

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // A device table of our own, not the one of cameras in use on this machine.
    const std::string shm = "/orvane-fuzz-" + std::to_string(getpid());
    setenv("ORVANE_SHM_NAME", shm.c_str(), 1);
    platform::usb::activeBackend();
    std::unique_ptr<World>& world = worldSlot();
    world = std::make_unique<World>();
    world->controller = std::make_unique<transport::CKelCy3Cam>();
    world->controller->Enumerate();
    world->controller->PrepareStreaming();
    world->device = std::make_unique<device::COrvaneUSB3Q7SimpleSdk>();
    world->device->CreateController(nullptr, nullptr);
    world->device->SetProductId(device::kProductIdImx178);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const uint8_t choice = data[0];
    World& world = *worldSlot();
    world.script->load(data + 1, size - 1);
    if ((choice & 0x01) != 0) controllerOperations(world, choice);
    if ((choice & 0x02) != 0) deviceOperations(world, choice);
    return 0;
}
