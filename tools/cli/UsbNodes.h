// Finds attached cameras whose USB device node this user cannot open, so the tool can say
// which node it is and how to get access, instead of reporting that no camera is there.
#pragma once

#include <string>
#include <vector>

namespace cli {

struct BlockedCamera {
    std::string node;  // /dev/bus/usb/BBB/DDD
    unsigned vendorId = 0;
    unsigned productId = 0;
    int error = 0;  // errno of the failed open
};

// Cameras of the family (vendor 04b4 and those in ORVANE_USB_VENDOR_IDS) whose node cannot be
// opened for reading and writing. Reads sysfs; empty where there is none.
std::vector<BlockedCamera> blockedCameras();

// Prints, to stderr, each blocked camera with its reason and what to do about it.
void printBlockedHint(const std::vector<BlockedCamera>& cameras);

}  // namespace cli
