// A hostile camera: corruption a faulty or malicious device can put on the wire, as options of
// the virtual camera. The library must survive every one of them without reading or writing
// out of bounds, without hanging, reporting the failures it detects and recovering once the
// device behaves again.
//
// Options (ORVANE_VIRTUAL_CAMERAS syntax, after the product ID):
//   header_noise=N      N bytes at random offsets of every frame header get random values
//   header_byte=O/V     byte O (0-63) of every frame header is V (0-255); may be repeated
//   announce=N          every header announces N payload bytes (0 to 4294967295) while the
//                       camera still sends the frame's own bytes
//   short_every=N       every N-th bulk transfer on the frame endpoint ends short: it moves
//                       half the bytes it could have (the rest stays in the pipe)
//   long_every=N        every N-th bulk transfer reports more bytes than were asked for (the
//                       surplus never lands in the buffer: what a lying driver would report)
//   tag_back=N          every N-th frame carries frame number 0, as after a firmware restart
//   garbage=N           every N-th device-to-host control request is answered with random
//                       bytes of random length (0 to 64)
//   seed=S              seed of the random choices (the same seed gives the same faults)
//
// Threads: FaultInjector has no lock of its own; the camera calls it under its mutex.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace orvane::sim {

struct HeaderPatch {
    uint8_t offset = 0;
    uint8_t value = 0;
    bool operator==(const HeaderPatch&) const = default;
};

struct DeviceFaults {
    uint32_t headerNoise = 0;
    std::vector<HeaderPatch> headerPatches;
    int64_t announceBytes = -1;  // -1: the header tells the truth
    uint32_t shortEvery = 0;
    uint32_t longEvery = 0;
    uint32_t tagBackEvery = 0;
    uint32_t garbageEvery = 0;
    uint32_t seed = 0x5EED0001u;
    bool operator==(const DeviceFaults&) const = default;
};

// Applies one `key=value` option to `faults`. False when `key` is not a fault option or the
// value is out of range (then `faults` is unchanged).
bool parseFaultOption(const std::string& key, const std::string& value, DeviceFaults* faults);

class FaultInjector {
  public:
    explicit FaultInjector(const DeviceFaults& faults = {});

    // New faults; the random sequence and the counters start again.
    void reset(const DeviceFaults& faults);
    const DeviceFaults& faults() const { return faults_; }

    // The header of frame `frameIndex` (frames counted from 0), as the camera built it.
    void shapeHeader(uint8_t header[64], uint64_t frameIndex);
    // One bulk transfer on the frame endpoint that would move *delivered bytes of `requested`:
    // may lower *delivered; returns the byte count the transfer reports.
    uint32_t shapeTransfer(uint32_t requested, uint32_t* delivered);
    // A device-to-host control reply of *bytes bytes in `reply` (64 bytes of room).
    void shapeReply(uint8_t reply[64], int* bytes);

  private:
    uint32_t next();

    DeviceFaults faults_;
    uint32_t random_ = 0;
    uint64_t transfers_ = 0;
    uint64_t replies_ = 0;
};

}  // namespace orvane::sim
