// orvane-cli: command-line tool for cameras driven by the Orvane library. It uses only the
// public interface, as any application would.
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "OrvaneSdk.h"

namespace {

void usage() {
    std::puts(
        "usage: orvane-cli [--virtual[=CAMERAS]] [--device N] <command> [arguments]\n"
        "\n"
        "commands:\n"
        "  version                       library version\n"
        "  list                          attached cameras\n"
        "  info                          camera information, limits and current settings\n"
        "  get NAME | fpga ADDR | sensor ADDR\n"
        "                                read a setting (filter name or number) or a register\n"
        "  set NAME VALUE | fpga ADDR VALUE | sensor ADDR VALUE\n"
        "                                change a setting or write a register\n"
        "  snapshot [options] -o FILE    take one processed frame and write it\n"
        "  stream [options] --seconds N  run a callback preview and report the frame rate\n"
        "  record [options] -o FILE.avi --ms N\n"
        "                                record processed frames for N milliseconds\n"
        "  mask update dark|bright [--save FILE]\n"
        "                                take a reference frame (then optionally save the mask)\n"
        "  mask save FILE | mask load FILE\n"
        "\n"
        "acquisition options: --mode BITS (8, 16, 24, 32, 48, 64), --exposure UNITS (0.1 ms),\n"
        "  --gain N, --NAME VALUE for any filter name (e.g. --gamma 120), --rows top|bottom\n"
        "snapshot: --format raw|bmp|jpeg100|jpeg70|jpeg20|png|tiff (default raw: the buffer)\n"
        "\n"
        "--virtual uses virtual cameras instead of USB devices (default one fast camera;\n"
        "CAMERAS as in ORVANE_VIRTUAL_CAMERAS, e.g. --virtual=30f0:scene=ramp).");
}

// Filter names as the named setters and getters know them, by identifier.
const std::map<std::string, int>& filterIds() {
    static const std::map<std::string, int> ids = {{"brightness", 1},
                                                   {"contrast", 2},
                                                   {"hue", 3},
                                                   {"saturation", 4},
                                                   {"sharpness", 5},
                                                   {"bayergainrgb", 6},
                                                   {"bayergainred", 7},
                                                   {"bayergaingreen", 8},
                                                   {"bayergainblue", 9},
                                                   {"bayergainauto", 10},
                                                   {"gamma", 11},
                                                   {"bayermode", 12},
                                                   {"globalgain", 13},
                                                   {"gain", 13},
                                                   {"colorgainred", 14},
                                                   {"colorgaingreen1", 15},
                                                   {"colorgaingreen2", 16},
                                                   {"colorgainblue", 17},
                                                   {"exposuretime", 18},
                                                   {"exposure", 18},
                                                   {"graymode", 19},
                                                   {"graygainr", 20},
                                                   {"graygaing1", 21},
                                                   {"graygaing2", 22},
                                                   {"graygainb", 23},
                                                   {"grayoffsetr", 24},
                                                   {"grayoffsetg1", 25},
                                                   {"grayoffsetg2", 26},
                                                   {"grayoffsetb", 27},
                                                   {"peltier", 100},
                                                   {"temperature", 101},
                                                   {"dotfilter", 102},
                                                   {"maskfilter", 103}};
    return ids;
}

std::string lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

bool parseInt(const std::string& text, long* value) {
    errno = 0;
    char* end = nullptr;
    const long v = std::strtol(text.c_str(), &end, 0);
    if (errno != 0 || end == text.c_str() || *end != '\0') return false;
    *value = v;
    return true;
}

int filterId(const std::string& name) {
    long id = 0;
    if (parseInt(name, &id)) return static_cast<int>(id);
    auto it = filterIds().find(lower(name));
    return it == filterIds().end() ? -1 : it->second;
}

const char* errorText(int code) {
    switch (code) {
        case 0:
            return "no error";
        case 1:
            return "not possible in this state (no camera?)";
        case 2:
            return "camera not present or cannot be opened";
        case 3:
            return "thread cannot be created";
        case 4:
            return "window cannot be created, or no size preset matches";
        case 5:
            return "buffer problem";
        case 6:
            return "device communication failed";
        case 7:
            return "capture window invalid";
        case 8:
            return "no frame was obtained";
        case 9:
            return "invalid argument";
        case 11:
            return "not supported by this camera";
        case 12:
            return "text conversion or file start failed";
        case 13:
            return "frame delivery failed";
        case 14:
            return "mask file error";
        default:
            return "unknown error";
    }
}

// A session on the chosen camera, released on every path.
class Session {
  public:
    explicit Session(int device) : handle_(Orvane_Initialize(nullptr)) {
        if (handle_ == 0) return;
        if (device >= 0 && !Orvane_SetDeviceNumber(handle_, device)) report("select camera");
    }
    ~Session() {
        if (handle_ != 0) Orvane_Release(handle_);
    }
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;
    ORVANE_HANDLE handle() const { return handle_; }
    explicit operator bool() const { return handle_ != 0; }
    int report(const char* what) const {
        const int code = Orvane_GetLastError(handle_);
        std::fprintf(stderr, "orvane-cli: %s failed: error %d (%s)\n", what, code, errorText(code));
        return 1;
    }

  private:
    ORVANE_HANDLE handle_;
};

struct AcquisitionOptions {
    int bits = 24;
    int rowOrder = 1;
    std::vector<std::pair<int, int>> filters;  // identifier, value
    std::string output;
    std::string format = "raw";
    double seconds = 2.0;
    int milliseconds = 1000;
};

// Parses the options after the command; returns false with a message on a bad one.
bool parseAcquisition(const std::vector<std::string>& args, AcquisitionOptions* o) {
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto value = [&](std::string* out) {
            if (i + 1 >= args.size()) {
                std::fprintf(stderr, "orvane-cli: %s needs a value\n", a.c_str());
                return false;
            }
            *out = args[++i];
            return true;
        };
        std::string v;
        long n = 0;
        if (a == "-o" || a == "--output") {
            if (!value(&o->output)) return false;
        } else if (a == "--format") {
            if (!value(&o->format)) return false;
        } else if (a == "--rows") {
            if (!value(&v)) return false;
            o->rowOrder = v == "bottom" ? 0 : 1;
        } else if (a == "--ms") {
            if (!value(&v) || !parseInt(v, &n)) return false;
            o->milliseconds = static_cast<int>(n);
        } else if (a == "--save") {
            if (!value(&o->output)) return false;
        } else if (a == "--seconds") {
            if (!value(&v)) return false;
            o->seconds = std::atof(v.c_str());
        } else if (a == "--mode") {
            if (!value(&v) || !parseInt(v, &n)) return false;
            o->bits = static_cast<int>(n);
        } else if (a.rfind("--", 0) == 0 && filterId(a.substr(2)) > 0) {
            if (!value(&v) || !parseInt(v, &n)) {
                std::fprintf(stderr, "orvane-cli: %s needs a number\n", a.c_str());
                return false;
            }
            o->filters.emplace_back(filterId(a.substr(2)), static_cast<int>(n));
        } else {
            std::fprintf(stderr, "orvane-cli: unknown option '%s'\n", a.c_str());
            return false;
        }
    }
    return true;
}

bool applyAcquisition(const Session& s, const AcquisitionOptions& o) {
    if (!Orvane_SetColorMode(s.handle(), o.bits)) return s.report("set colour mode") == 0;
    for (auto [id, value] : o.filters)
        if (!Orvane_SetFilterValue(s.handle(), id, value)) return s.report("set filter") == 0;
    return true;
}

size_t frameBytes(const Session& s, int bits) {
    const size_t stride =
        (static_cast<size_t>(Orvane_Width(s.handle())) * bits / 8 + 3) & ~size_t{3};
    return stride * static_cast<size_t>(Orvane_Height(s.handle()));
}

int cmdVersion() {
    const unsigned int v = Orvane_GetDllVersion();
    std::printf("OrvaneSdk_A06_USB3_Q7 %u.%u.%u.%u (0x%08X)\n", v >> 24, (v >> 16) & 0xFF,
                (v >> 8) & 0xFF, v & 0xFF, v);
    return 0;
}

int cmdList() {
    Session s(-1);
    if (!s) return 1;
    char names[10][256] = {};
    const int count = Orvane_EnumDevice(s.handle(), names);
    if (count == 0) std::printf("no cameras found\n");
    for (int i = 0; i < count; ++i) std::printf("%d: %s\n", i, names[i]);
    return 0;
}

int cmdInfo(int device) {
    Session s(device);
    if (!s) return 1;
    OrvaneCameraInfo info{};
    info.size = sizeof info;
    if (!Orvane_GetCameraInfo(s.handle(), &info)) return s.report("camera information");
    char name[64] = "";
    Orvane_GetDeviceName(s.handle(), device < 0 ? 0 : device, name, sizeof name);
    std::printf("camera          %s\n", name);
    std::printf("sensor          %d x %d\n", info.sensorWidth, info.sensorHeight);
    std::printf("global gain     %d .. %d\n", info.globalGainMin, info.globalGainMax);
    std::printf("colour gain     %d .. %d\n", info.colorGainMin, info.colorGainMax);
    std::printf("exposure        %d .. %d (0.1 ms)\n", info.exposureMin, info.exposureMax);
    int v[6] = {};
    Orvane_GetCaptureWindowEx(s.handle(), &v[0], &v[1], &v[2], &v[3], &v[4], &v[5]);
    std::printf("capture window  %d x %d at %d, %d\n", v[2], v[5], v[1], v[4]);
    std::printf("colour mode     %d bits\n", Orvane_GetColorMode(s.handle()));
    std::printf("wait time       %d ms\n", Orvane_GetWaitTime(s.handle()));
    for (const char* n :
         {"globalgain", "exposuretime", "brightness", "contrast", "hue", "saturation", "sharpness",
          "gamma", "bayermode", "bayergainred", "bayergaingreen", "bayergainblue", "graymode"}) {
        int ok = 0;
        const int value = Orvane_GetFilterValue(s.handle(), filterIds().at(n), &ok);
        std::printf("%-15s %d\n", n, value);
    }
    std::printf("mirror h/v      %d/%d\n", Orvane_GetMirrorH(s.handle()),
                Orvane_GetMirrorV(s.handle()));
    return 0;
}

int cmdGetSet(int device, bool set, const std::vector<std::string>& args) {
    Session s(device);
    if (!s) return 1;
    long addr = 0, value = 0;
    if (!args.empty() && (args[0] == "fpga" || args[0] == "sensor")) {
        const bool fpga = args[0] == "fpga";
        if (args.size() != (set ? 3u : 2u) || !parseInt(args[1], &addr) ||
            (set && !parseInt(args[2], &value))) {
            usage();
            return 2;
        }
        int ok = 0;
        const int a = static_cast<int>(addr), v = static_cast<int>(value);
        if (set) {
            const int r = fpga ? Orvane_Fpga_WriteRegister(s.handle(), a, v)
                               : Orvane_WriteRegisterEx(s.handle(), a, v);
            return r ? 0 : s.report("register write");
        }
        const int r = fpga ? Orvane_Fpga_ReadRegister(s.handle(), a, &ok)
                           : Orvane_ReadRegisterEx(s.handle(), a, &ok);
        if (!ok) return s.report("register read");
        std::printf("0x%02X\n", r);
        return 0;
    }
    if (args.size() != (set ? 2u : 1u) || filterId(args[0]) < 0 ||
        (set && !parseInt(args[1], &value))) {
        usage();
        return 2;
    }
    const int id = filterId(args[0]);
    if (set)
        return Orvane_SetFilterValue(s.handle(), id, static_cast<int>(value)) ? 0 : s.report("set");
    int ok = 0;
    const int r = Orvane_GetFilterValue(s.handle(), id, &ok);
    if (!ok) return s.report("get");
    std::printf("%d\n", r);
    return 0;
}

int formatNumber(const std::string& name) {
    static const std::map<std::string, int> formats = {{"bmp", 0},    {"raw", 1},    {"jpeg100", 2},
                                                       {"jpeg70", 3}, {"jpeg20", 4}, {"png", 5},
                                                       {"tiff", 6}};
    auto it = formats.find(lower(name));
    return it == formats.end() ? -1 : it->second;
}

int cmdSnapshot(int device, const std::vector<std::string>& args) {
    AcquisitionOptions o;
    if (!parseAcquisition(args, &o)) return 2;
    if (o.output.empty()) {
        std::fprintf(stderr, "orvane-cli: snapshot needs -o FILE\n");
        return 2;
    }
    const bool buffer = lower(o.format) == "buffer";
    const int format = formatNumber(o.format);
    if (!buffer && format < 0) {
        std::fprintf(stderr, "orvane-cli: unknown format '%s'\n", o.format.c_str());
        return 2;
    }
    Session s(device);
    if (!s || !applyAcquisition(s, o)) return 1;
    std::vector<unsigned char> frame(frameBytes(s, o.bits));
    if (!Orvane_SnapShot(s.handle(), frame.data(), static_cast<int>(frame.size()), o.rowOrder))
        return s.report("snapshot");
    if (buffer) {
        FILE* f = std::fopen(o.output.c_str(), "wb");
        const bool ok =
            f != nullptr && std::fwrite(frame.data(), 1, frame.size(), f) == frame.size();
        if (f != nullptr && std::fclose(f) != 0) return 1;
        if (!ok) {
            std::fprintf(stderr, "orvane-cli: cannot write %s\n", o.output.c_str());
            return 1;
        }
    } else if (!Orvane_SaveImage(s.handle(), o.output.c_str(), format)) {
        return s.report("save image");
    }
    std::printf("%s: %d x %d, %d bits\n", o.output.c_str(), Orvane_Width(s.handle()),
                Orvane_Height(s.handle()), o.bits);
    return 0;
}

int cmdStream(int device, const std::vector<std::string>& args) {
    AcquisitionOptions o;
    if (!parseAcquisition(args, &o)) return 2;
    Session s(device);
    if (!s || !applyAcquisition(s, o)) return 1;
    HWND window = Orvane_CreateMessageWindow(0);
    std::vector<unsigned char> frame(frameBytes(s, o.bits));
    if (!Orvane_CallBackPreview(s.handle(), window, frame.data(), static_cast<int>(frame.size()),
                                o.rowOrder)) {
        Orvane_DestroyMessageWindow(window);
        return s.report("preview");
    }
    const auto start = std::chrono::steady_clock::now();
    const auto end = start + std::chrono::duration<double>(o.seconds);
    long frames = 0;
    int rate = 0, failures = 0;
    OrvaneMessage m;
    while (std::chrono::steady_clock::now() < end) {
        if (Orvane_GetMessage(window, &m, 100) != 1 || m.message != ORVANE_WM_FRAME) continue;
        if (m.lParam != 0) {
            std::fprintf(stderr, "orvane-cli: acquisition error %ld (%s)\n",
                         static_cast<long>(m.lParam), errorText(static_cast<int>(m.lParam)));
            ++failures;
            if (m.lParam == 13) break;
            continue;
        }
        ++frames;
        rate = reinterpret_cast<const OrvaneFrameInfo*>(m.wParam)->frameRate;
    }
    Orvane_StopPreview(s.handle());
    Orvane_DestroyMessageWindow(window);
    const double elapsed =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("frames received: %ld in %.2f s (%.1f per second); camera rate %d.%d fps\n", frames,
                elapsed, frames / elapsed, rate / 10, rate % 10);
    return failures == 0 && frames > 0 ? 0 : 1;
}

int cmdRecord(int device, const std::vector<std::string>& args) {
    AcquisitionOptions o;
    if (!parseAcquisition(args, &o)) return 2;
    if (o.output.empty()) {
        std::fprintf(stderr, "orvane-cli: record needs -o FILE.avi\n");
        return 2;
    }
    Session s(device);
    if (!s || !applyAcquisition(s, o)) return 1;
    if (!Orvane_Record(s.handle(), o.output.c_str(), o.milliseconds, 0)) return s.report("record");
    // The recording ends by itself after its duration; allow a little for the last frame.
    std::this_thread::sleep_for(std::chrono::milliseconds(o.milliseconds + 300));
    Orvane_StopPreview(s.handle());
    const int code = Orvane_GetLastError(s.handle());
    if (code != 0) {
        std::fprintf(stderr, "orvane-cli: recording reported error %d (%s)\n", code,
                     errorText(code));
        return 1;
    }
    std::printf("%s: recorded %d ms\n", o.output.c_str(), o.milliseconds);
    return 0;
}

int cmdMask(int device, const std::vector<std::string>& args) {
    if (args.size() < 2) {
        usage();
        return 2;
    }
    Session s(device);
    if (!s) return 1;
    const std::string& what = args[0];
    if (what == "save")
        return Orvane_SaveMaskFile(s.handle(), args[1].c_str()) ? 0 : s.report("save mask");
    if (what == "load")
        return Orvane_LoadMaskFile(s.handle(), args[1].c_str()) ? 0 : s.report("load mask");
    if (what != "update" || (args[1] != "dark" && args[1] != "bright")) {
        usage();
        return 2;
    }
    AcquisitionOptions o;
    o.bits = 8;
    if (!parseAcquisition(std::vector<std::string>(args.begin() + 2, args.end()), &o)) return 2;
    if (!applyAcquisition(s, o)) return 1;
    if (!Orvane_SnapShot(s.handle(), nullptr, 0, 1)) return s.report("snapshot");
    if (!Orvane_UpdateMaskData(s.handle(), args[1] == "dark" ? 0 : 1))
        return s.report("mask update");
    if (!o.output.empty() && !Orvane_SaveMaskFile(s.handle(), o.output.c_str()))
        return s.report("save mask");
    std::printf("%s reference taken\n", args[1].c_str());
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    int device = -1;
    while (!args.empty() && args[0].rfind("--", 0) == 0) {
        const std::string a = args[0];
        if (a == "--virtual" || a.rfind("--virtual=", 0) == 0) {
            const std::string cameras = a.size() > 10 ? a.substr(10) : "30f0:pace=fast";
            setenv("ORVANE_VIRTUAL_CAMERAS", cameras.c_str(), 1);
        } else if (a == "--device" && args.size() > 1) {
            device = std::atoi(args[1].c_str());
            args.erase(args.begin());
        } else if (a == "--help") {
            usage();
            return 0;
        } else {
            break;
        }
        args.erase(args.begin());
    }
    if (args.empty()) {
        usage();
        return 2;
    }
    const std::string command = args[0];
    const std::vector<std::string> rest(args.begin() + 1, args.end());
    if (command == "version") return cmdVersion();
    if (command == "list") return cmdList();
    if (command == "info") return cmdInfo(device);
    if (command == "get") return cmdGetSet(device, false, rest);
    if (command == "set") return cmdGetSet(device, true, rest);
    if (command == "snapshot") return cmdSnapshot(device, rest);
    if (command == "stream") return cmdStream(device, rest);
    if (command == "record") return cmdRecord(device, rest);
    if (command == "mask") return cmdMask(device, rest);
    if (command == "-h" || command == "help") {
        usage();
        return 0;
    }
    std::fprintf(stderr, "orvane-cli: unknown command '%s'\n", command.c_str());
    usage();
    return 2;
}
