#include "Options.h"

#include <cerrno>
#include <cstdlib>

namespace orvane::viewer {
namespace {

// The same default as orvane-cli: one virtual camera delivering frames as fast as it can.
constexpr const char* kDefaultVirtualCameras = "30f0:pace=fast";

bool parseNumber(const std::string& text, long low, long high, int* value) {
    errno = 0;
    char* end = nullptr;
    const long v = std::strtol(text.c_str(), &end, 10);
    if (errno != 0 || end == text.c_str() || *end != '\0' || v < low || v > high) return false;
    *value = static_cast<int>(v);
    return true;
}

}  // namespace

const char* usageText() {
    return "usage: orvane-viewer [options]\n"
           "\n"
           "  --virtual[=CAMERAS]   use virtual cameras (default one fast camera; CAMERAS as in\n"
           "                        ORVANE_VIRTUAL_CAMERAS, e.g. --virtual=30f0:scene=ramp)\n"
           "  --device N            open camera number N\n"
           "  --start               start the preview at launch\n"
           "  --record FILE.avi     start recording at launch (ends when the viewer quits)\n"
           "  --size WxH            size of the preview area (default 800x560)\n"
           "  --screenshot FILE     after --after MS of preview (default 1000), write the\n"
           "                        window as a PNG file and quit\n"
           "  --after MS\n"
           "  --resize WxH          with --screenshot: resize the window to WxH when --after\n"
           "                        has passed, and take the picture a second later\n"
           "  --save-all PREFIX     with --screenshot: also save the current image in every\n"
           "                        format as PREFIX.bmp, .raw, -q100.jpg, -q70.jpg, -q20.jpg,\n"
           "                        .png and .tiff\n"
           "  --dialog-shots PREFIX with --screenshot: then open each settings dialog, write\n"
           "                        it as PREFIX-camera.png, -image.png, -analog.png and\n"
           "                        close it (Cancel)\n"
           "  --no-fallback         never draw frames in the viewer itself, only through the\n"
           "                        library's preview window\n"
           "  --draw-in-viewer      let the library run its preview without a window and\n"
           "                        draw the frames in the viewer\n"
           "  --quit-after MS       quit after MS milliseconds\n";
}

bool parseOptions(const std::vector<std::string>& args, Options* o, bool* help,
                  std::string* error) {
    *help = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto value = [&](std::string* out) {
            if (i + 1 >= args.size()) {
                *error = a + " needs a value";
                return false;
            }
            *out = args[++i];
            return true;
        };
        auto number = [&](long low, long high, int* out) {
            std::string v;
            if (!value(&v)) return false;
            if (!parseNumber(v, low, high, out)) {
                *error = a + ": bad number '" + v + "'";
                return false;
            }
            return true;
        };
        if (a == "--virtual") {
            o->useVirtual = true;
            o->virtualCameras = kDefaultVirtualCameras;
        } else if (a.rfind("--virtual=", 0) == 0) {
            o->useVirtual = true;
            o->virtualCameras = a.substr(10);
            if (o->virtualCameras.empty()) o->virtualCameras = kDefaultVirtualCameras;
        } else if (a == "--device") {
            if (!number(0, 31, &o->device)) return false;
        } else if (a == "--start") {
            o->start = true;
        } else if (a == "--record") {
            if (!value(&o->record)) return false;
        } else if (a == "--screenshot") {
            if (!value(&o->screenshot)) return false;
        } else if (a == "--after") {
            if (!number(0, 3600000, &o->afterMs)) return false;
        } else if (a == "--quit-after") {
            if (!number(0, 86400000, &o->quitAfterMs)) return false;
        } else if (a == "--save-all") {
            if (!value(&o->saveAll)) return false;
        } else if (a == "--dialog-shots") {
            if (!value(&o->dialogShots)) return false;
        } else if (a == "--no-fallback") {
            o->fallback = false;
        } else if (a == "--draw-in-viewer") {
            o->drawInViewer = true;
        } else if (a == "--size" || a == "--resize") {
            std::string v;
            if (!value(&v)) return false;
            const size_t x = v.find('x');
            int* w = a == "--size" ? &o->width : &o->resizeWidth;
            int* h = a == "--size" ? &o->height : &o->resizeHeight;
            if (x == std::string::npos || !parseNumber(v.substr(0, x), 16, 8192, w) ||
                !parseNumber(v.substr(x + 1), 16, 8192, h)) {
                *error = a + " needs WIDTHxHEIGHT, got '" + v + "'";
                return false;
            }
        } else if (a == "--help" || a == "-h") {
            *help = true;
        } else {
            *error = "unknown option '" + a + "'";
            return false;
        }
    }
    if ((!o->saveAll.empty() || !o->dialogShots.empty() || o->resizeWidth > 0) &&
        o->screenshot.empty()) {
        *error = "--save-all, --dialog-shots and --resize need --screenshot";
        return false;
    }
    if (o->drawInViewer && !o->fallback) {
        *error = "--draw-in-viewer and --no-fallback exclude each other";
        return false;
    }
    return true;
}

}  // namespace orvane::viewer
