#include "UsbNodes.h"

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>

namespace cli {
namespace {

constexpr unsigned kDefaultVendorId = 0x04B4;
// Product IDs of the camera family, as in udev/60-orvane-camera.rules.
constexpr unsigned kProductIds[] = {0x3020, 0x3030, 0x3040, 0x3042, 0x3050, 0x3090, 0x30B0,
                                    0x30C0, 0x30F0, 0x3100, 0x3110, 0x3120, 0x3130, 0x3140};
constexpr const char* kUsbDevices = "/sys/bus/usb/devices";

bool readNumber(const std::string& path, int base, unsigned* value) {
    std::ifstream in(path);
    std::string text;
    if (!(in >> text)) return false;
    char* end = nullptr;
    const unsigned long v = std::strtoul(text.c_str(), &end, base);
    if (end == text.c_str()) return false;
    *value = static_cast<unsigned>(v);
    return true;
}

bool familyVendor(unsigned vendor) {
    if (vendor == kDefaultVendorId) return true;
    const char* extra = std::getenv("ORVANE_USB_VENDOR_IDS");
    for (std::string list = extra != nullptr ? extra : ""; !list.empty();) {
        const size_t comma = list.find(',');
        const std::string item = list.substr(0, comma);
        if (!item.empty() && std::strtoul(item.c_str(), nullptr, 16) == vendor) return true;
        list = comma == std::string::npos ? "" : list.substr(comma + 1);
    }
    return false;
}

bool familyProduct(unsigned product) {
    for (const unsigned id : kProductIds)
        if (id == product) return true;
    return false;
}

struct DirCloser {
    void operator()(DIR* d) const { closedir(d); }
};

}  // namespace

std::vector<BlockedCamera> blockedCameras() {
    std::vector<BlockedCamera> blocked;
    std::unique_ptr<DIR, DirCloser> dir(opendir(kUsbDevices));
    if (!dir) return blocked;
    while (const dirent* entry = readdir(dir.get())) {
        if (entry->d_name[0] == '.') continue;
        const std::string base = std::string(kUsbDevices) + "/" + entry->d_name + "/";
        BlockedCamera cam;
        unsigned bus = 0, address = 0;
        if (!readNumber(base + "idVendor", 16, &cam.vendorId) ||
            !readNumber(base + "idProduct", 16, &cam.productId) || !familyVendor(cam.vendorId) ||
            !familyProduct(cam.productId) || !readNumber(base + "busnum", 10, &bus) ||
            !readNumber(base + "devnum", 10, &address)) {
            continue;
        }
        char node[64];
        std::snprintf(node, sizeof node, "/dev/bus/usb/%03u/%03u", bus, address);
        cam.node = node;
        const int fd = ::open(node, O_RDWR | O_CLOEXEC);
        if (fd >= 0) {
            ::close(fd);
            continue;
        }
        cam.error = errno;
        blocked.push_back(cam);
    }
    return blocked;
}

void printBlockedHint(const std::vector<BlockedCamera>& cameras) {
    bool permission = false;
    for (const BlockedCamera& c : cameras) {
        std::fprintf(stderr, "orvane-cli: camera %04x:%04x at %s cannot be opened: %s\n",
                     c.vendorId, c.productId, c.node.c_str(), std::strerror(c.error));
        permission = permission || c.error == EACCES || c.error == EPERM;
    }
    if (!permission) return;
    std::fprintf(stderr,
                 "orvane-cli: the udev rule 60-orvane-camera.rules gives the user at the seat "
                 "access to the camera.\n"
                 "  Install it with 'sudo scripts/orvane install-udev' from the source tree (the "
                 "library's Debian package installs it too),\n"
                 "  then unplug and re-plug the camera.\n");
}

}  // namespace cli
