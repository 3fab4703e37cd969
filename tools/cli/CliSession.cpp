#include "CliSession.h"

#include <cstdio>

#include "Report.h"
#include "UsbNodes.h"

namespace cli {
namespace {
constexpr int kMaxListed = 10;  // rows of Orvane_EnumDevice's name list
}

CliSession::CliSession() : window_(Orvane_CreateMessageWindow(0)) {
    handle_ = Orvane_Initialize(window_);
    if (handle_ == 0) fail("start a library session", "Orvane_Initialize returned 0");
}

CliSession::~CliSession() {
    if (handle_ != 0) Orvane_Release(handle_);
    if (window_ != nullptr) Orvane_DestroyMessageWindow(window_);
}

std::vector<std::string> CliSession::cameras() const {
    char names[kMaxListed][256] = {};
    const int count = Orvane_EnumDevice(handle_, names);
    std::vector<std::string> list;
    for (int i = 0; i < count && i < kMaxListed; ++i) list.emplace_back(names[i]);
    return list;
}

bool CliSession::openCamera(int device) {
    const size_t attached = cameras().size();
    if (attached == 0) {
        const auto blocked = blockedCameras();
        if (!blocked.empty()) {
            printBlockedHint(blocked);
            fail("open the camera", "the camera's device node cannot be opened");
        } else {
            fail("open the camera",
                 "no camera is attached (--virtual runs against the virtual camera)");
        }
        return false;
    }
    // With exactly one camera the session has opened it already; a camera that could not be
    // opened then leaves the sensor size at 0.
    OrvaneCameraInfo info{};
    info.size = sizeof info;
    const bool open = Orvane_GetCameraInfo(handle_, &info) && info.sensorWidth > 0;
    // The one open camera is camera 0 when it is the only one.
    if (open && (device < 0 || (device == 0 && attached == 1))) return true;
    const int number = device < 0 ? 0 : device;
    if (Orvane_SetDeviceNumber(handle_, number)) return true;
    report("open camera " + std::to_string(number));
    printBlockedHint(blockedCameras());
    if (static_cast<size_t>(number) >= attached)
        std::fprintf(stderr, "orvane-cli: %zu camera(s) attached; 'orvane-cli list' shows them\n",
                     attached);
    return false;
}

int CliSession::report(const std::string& what, const std::string& extra) const {
    return fail(what, joinReasons(libraryError(Orvane_GetLastError(handle_)), extra));
}

void CliSession::drainMessages() const {
    OrvaneMessage m;
    while (window_ != nullptr && Orvane_GetMessage(window_, &m, 0) == 1) {
    }
}

}  // namespace cli
