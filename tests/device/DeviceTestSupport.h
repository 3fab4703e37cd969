// Shared helpers of the device tests: a device object opened on virtual cameras, and the bus
// traffic of the request log decoded into sensor and FPGA register accesses.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "device/COrvaneUSB3Q7SimpleSdk.h"
#include "sim/VirtualCameraSystem.h"

namespace orvane::test {

struct RegWrite {
    int reg;
    int value;
    bool operator==(const RegWrite&) const = default;
};
inline void PrintTo(const RegWrite& w, std::ostream* os) {
    *os << "(0x" << std::hex << w.reg << " <- 0x" << w.value << std::dec << ")";
}

inline bool isBusWrite(const sim::LoggedRequest& r, uint16_t address) {
    return r.kind == sim::LoggedRequest::Kind::Control && r.request == 0x30 && r.index == address;
}

// Sensor register writes (three-byte bus writes to 0x48), in order.
inline std::vector<RegWrite> sensorWrites(const std::vector<sim::LoggedRequest>& log) {
    std::vector<RegWrite> out;
    for (const auto& r : log)
        if (isBusWrite(r, 0x48) && r.value == 3)
            out.push_back({r.data[0] << 8 | r.data[1], r.data[2]});
    return out;
}

// FPGA register writes (bus writes of (register, 0, value) to 0x40), in order.
inline std::vector<RegWrite> fpgaWrites(const std::vector<sim::LoggedRequest>& log) {
    std::vector<RegWrite> out;
    for (const auto& r : log)
        if (isBusWrite(r, 0x40) && r.value == 3) out.push_back({r.data[0], r.data[2]});
    return out;
}

inline std::vector<RegWrite> only(const std::vector<RegWrite>& writes, std::vector<int> regs) {
    std::vector<RegWrite> out;
    for (const auto& w : writes)
        for (int reg : regs)
            if (w.reg == reg) out.push_back(w);
    return out;
}

// A device object on its own set of virtual cameras, with the served product ID set.
class DeviceFixture : public testing::Test {
  protected:
    void start(const std::string& cameras, int productId = 0x30F0) {
        cams = std::make_unique<sim::ScopedVirtualCameras>(cameras);
        device = std::make_unique<device::COrvaneUSB3Q7SimpleSdk>();
        ASSERT_EQ(device->CreateController(nullptr, nullptr), 1);
        device->SetProductId(productId);
    }
    void startOpen(const std::string& cameras) {
        start(cameras);
        ASSERT_EQ(device->Open(0), 1);
    }
    void TearDown() override {
        device.reset();  // the device object goes before its cameras
        cams.reset();
    }
    sim::VirtualCamera& camera(size_t i = 0) { return cams->camera(i); }

    std::unique_ptr<sim::ScopedVirtualCameras> cams;
    std::unique_ptr<device::COrvaneUSB3Q7SimpleSdk> device;
};

// Checks a ramp frame: sample (x, y) = (x + 2y + n) mod 256 (x 16 in 16-bit transfer) for one
// n. Returns n, or -1 when the frame is not one ramp frame (torn or wrong).
inline int rampFrameIndex(const uint8_t* frame, int width, int height, int bytesPerSample) {
    auto sample = [&](int x, int y) {
        const size_t i = static_cast<size_t>(y) * width + x;
        return bytesPerSample == 2 ? (frame[2 * i] | frame[2 * i + 1] << 8) / 16 : frame[i];
    };
    const int n = sample(0, 0);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            if (sample(x, y) != ((x + 2 * y + n) & 255)) return -1;
    return n;
}

}  // namespace orvane::test
