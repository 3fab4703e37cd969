// The virtual-camera option string and the hostile-device faults it sets up. Beyond the
// sanitizers: a list that parses describes cameras the system can make, and the faults it
// names stay inside the buffers they corrupt.
#include <cstdint>
#include <string>
#include <vector>

#include "sim/CameraList.h"
#include "support/Check.h"

using namespace orvane::sim;

namespace {

void check(bool ok, const char* what) {
    orvane::fuzz::check(ok, "camera list", what);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    std::vector<CameraOptions> cameras;
    std::string error;
    if (!parseCameraList(text, &cameras, &error)) {
        check(!error.empty(), "refused without a message");
        return 0;
    }
    // Every item yields at most 32 cameras (a count) and an item takes at least one byte.
    check(cameras.size() <= 32 * (size + 1), "camera count");
    for (const CameraOptions& cam : cameras) {
        check(cam.productId != 0, "product ID 0");
        check(cam.faults.headerNoise <= 64, "header noise beyond the header");
        for (const HeaderPatch& p : cam.faults.headerPatches)
            check(p.offset < 64, "header patch beyond the header");
        // Run the faults over a header, a few transfers and replies.
        FaultInjector faults(cam.faults);
        uint8_t header[64] = {};
        for (uint64_t frame = 0; frame < 4; ++frame) faults.shapeHeader(header, frame);
        for (uint32_t requested : {0u, 1u, 64u, 524288u, UINT32_MAX}) {
            uint32_t delivered = requested;
            const uint32_t reported = faults.shapeTransfer(requested, &delivered);
            check(delivered <= requested, "a transfer delivers more than it may");
            check(cam.faults.longEvery != 0 || reported == delivered,
                  "a count lie without long_every");
        }
        uint8_t reply[64] = {};
        for (int bytes : {0, 1, 2, 64}) {
            int n = bytes;
            faults.shapeReply(reply, &n);
            check(n >= 0 && n <= 64, "reply length beyond the reply area");
        }
    }
    return 0;
}
