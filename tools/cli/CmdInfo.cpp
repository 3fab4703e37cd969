// version, list, info, get and set, mask.
#include <cstdio>
#include <cstring>

#include "CliSession.h"
#include "Commands.h"
#include "Json.h"
#include "OrvaneSdk.h"
#include "Report.h"
#include "Settings.h"
#include "UsbNodes.h"

namespace cli {
namespace {

// Settings shown by info, by name.
constexpr const char* kInfoSettings[] = {
    "globalgain",     "exposuretime",  "brightness", "contrast",  "hue",
    "saturation",     "sharpness",     "gamma",      "bayermode", "bayergainred",
    "bayergaingreen", "bayergainblue", "graymode"};

// --json as the only option; false (with a usage message) for anything else.
bool jsonOption(const char* command, const Args& args, bool* json, int* status) {
    *json = false;
    for (const std::string& a : args) {
        if (a != "--json") {
            *status = usageError(std::string("unknown argument '") + a + "' for " + command);
            return false;
        }
        *json = true;
    }
    return true;
}

}  // namespace

int cmdVersion() {
    const unsigned int v = Orvane_GetDllVersion();
    std::printf("OrvaneSdk_A06_USB3_Q7 %u.%u.%u.%u (0x%08X)\n", v >> 24, (v >> 16) & 0xFF,
                (v >> 8) & 0xFF, v & 0xFF, v);
    return 0;
}

int cmdList(const Args& args) {
    bool json = false;
    int status = 0;
    if (!jsonOption("list", args, &json, &status)) return status;
    CliSession s;
    if (!s.ok()) return kExitFailure;
    const auto names = s.cameras();
    const auto blocked = blockedCameras();
    if (json) {
        JsonWriter w;
        w.beginObject();
        w.beginArray("cameras");
        for (size_t i = 0; i < names.size(); ++i) {
            w.beginObject();
            w.value("index", static_cast<long>(i));
            w.value("name", names[i]);
            w.endObject();
        }
        w.endArray();
        w.beginArray("blocked");
        for (const BlockedCamera& b : blocked) {
            char id[16];
            std::snprintf(id, sizeof id, "%04x:%04x", b.vendorId, b.productId);
            w.beginObject();
            w.value("node", b.node);
            w.value("id", id);
            w.value("reason", std::strerror(b.error));
            w.endObject();
        }
        w.endArray();
        w.endObject();
        std::printf("%s\n", w.text().c_str());
    } else {
        if (names.empty()) std::printf("no cameras found\n");
        for (size_t i = 0; i < names.size(); ++i) std::printf("%zu: %s\n", i, names[i].c_str());
    }
    if (blocked.empty()) return 0;
    printBlockedHint(blocked);
    return kExitFailure;
}

int cmdInfo(int device, const Args& args) {
    bool json = false;
    int status = 0;
    if (!jsonOption("info", args, &json, &status)) return status;
    CliSession s;
    if (!s.ok() || !s.openCamera(device)) return kExitFailure;
    const ORVANE_HANDLE h = s.handle();
    OrvaneCameraInfo info{};
    info.size = sizeof info;
    if (!Orvane_GetCameraInfo(h, &info)) return s.report("read the camera information");
    char name[256] = "";
    if (!Orvane_GetDeviceName(h, device < 0 ? 0 : device, name, sizeof name))
        return s.report("read the camera name");
    int v[6] = {};
    if (!Orvane_GetCaptureWindowEx(h, &v[0], &v[1], &v[2], &v[3], &v[4], &v[5]))
        return s.report("read the capture window");
    const int mode = Orvane_GetColorMode(h);
    const int wait = Orvane_GetWaitTime(h);
    const int mirrorH = Orvane_GetMirrorH(h), mirrorV = Orvane_GetMirrorV(h);

    JsonWriter w;
    if (json) {
        w.beginObject();
        w.value("camera", name);
        w.beginObject("sensor");
        w.value("width", info.sensorWidth);
        w.value("height", info.sensorHeight);
        w.endObject();
        w.beginObject("limits");
        w.value("globalGainMin", info.globalGainMin);
        w.value("globalGainMax", info.globalGainMax);
        w.value("colorGainMin", info.colorGainMin);
        w.value("colorGainMax", info.colorGainMax);
        w.value("exposureMin", info.exposureMin);
        w.value("exposureMax", info.exposureMax);
        w.endObject();
        w.beginObject("captureWindow");
        w.value("width", v[2]);
        w.value("height", v[5]);
        w.value("left", v[1]);
        w.value("top", v[4]);
        w.endObject();
        w.value("colorMode", mode);
        w.value("waitTimeMs", wait);
        w.beginObject("mirror");
        w.value("horizontal", mirrorH != 0);
        w.value("vertical", mirrorV != 0);
        w.endObject();
        w.beginObject("settings");
    } else {
        std::printf("camera          %s\n", name);
        std::printf("sensor          %d x %d\n", info.sensorWidth, info.sensorHeight);
        std::printf("global gain     %d .. %d\n", info.globalGainMin, info.globalGainMax);
        std::printf("colour gain     %d .. %d\n", info.colorGainMin, info.colorGainMax);
        std::printf("exposure        %d .. %d (0.1 ms)\n", info.exposureMin, info.exposureMax);
        std::printf("capture window  %d x %d at %d, %d\n", v[2], v[5], v[1], v[4]);
        std::printf("colour mode     %d bits\n", mode);
        std::printf("wait time       %d ms\n", wait);
    }
    for (const char* n : kInfoSettings) {
        int ok = 0;
        const int value = Orvane_GetFilterValue(h, settingId(n), &ok);
        if (!ok) return s.report(std::string("read setting ") + n);
        if (json)
            w.value(n, value);
        else
            std::printf("%-15s %d\n", n, value);
    }
    if (json) {
        w.endObject();
        w.endObject();
        std::printf("%s\n", w.text().c_str());
    } else {
        std::printf("mirror h/v      %d/%d\n", mirrorH, mirrorV);
    }
    return 0;
}

int cmdGetSet(int device, bool set, const Args& args) {
    const char* command = set ? "set" : "get";
    const size_t want = set ? 2 : 1;
    const bool reg = !args.empty() && (args[0] == "fpga" || args[0] == "sensor");
    if (args.size() != want + (reg ? 1 : 0)) {
        return usageError(std::string(command) +
                          (set ? " needs NAME VALUE, fpga ADDR VALUE or sensor ADDR VALUE"
                               : " needs NAME, fpga ADDR or sensor ADDR"));
    }
    long addr = 0, value = 0;
    int id = -1;
    if (reg) {
        if (!parseInt(args[1], &addr))
            return usageError("register address '" + args[1] + "' is not a number");
    } else {
        id = settingId(args[0]);
        if (id < 0)
            return usageError("unknown setting '" + args[0] + "'; settings: " + settingList() +
                              ", or a filter number");
    }
    if (set && !parseInt(args.back(), &value))
        return usageError("value '" + args.back() + "' is not a number");

    CliSession s;
    if (!s.ok() || !s.openCamera(device)) return kExitFailure;
    const ORVANE_HANDLE h = s.handle();
    const int a = static_cast<int>(addr), v = static_cast<int>(value);
    if (reg) {
        const bool fpga = args[0] == "fpga";
        const std::string what = (set ? "write " : "read ") + args[0] + " register " + args[1];
        if (set) {
            const int r =
                fpga ? Orvane_Fpga_WriteRegister(h, a, v) : Orvane_WriteRegisterEx(h, a, v);
            return r ? 0 : s.report(what);
        }
        int ok = 0;
        const int r = fpga ? Orvane_Fpga_ReadRegister(h, a, &ok) : Orvane_ReadRegisterEx(h, a, &ok);
        if (!ok) return s.report(what);
        std::printf("0x%02X\n", r);
        return 0;
    }
    if (set)
        return Orvane_SetFilterValue(h, id, v) ? 0 : s.report("set " + args[0] + " to " + args[1]);
    int ok = 0;
    const int r = Orvane_GetFilterValue(h, id, &ok);
    if (!ok) return s.report("get " + args[0]);
    std::printf("%d\n", r);
    return 0;
}

}  // namespace cli
