#include "sim/CameraList.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>

namespace orvane::sim {

namespace {

constexpr int kMaxCountItem = 32;

std::string trim(const std::string& s) {
    size_t b = 0, e = s.size();
    while (b < e && std::isspace(static_cast<unsigned char>(s[b]))) ++b;
    while (e > b && std::isspace(static_cast<unsigned char>(s[e - 1]))) --e;
    return s.substr(b, e - b);
}

std::vector<std::string> split(const std::string& s, char sep) {
    std::vector<std::string> out;
    size_t start = 0;
    for (;;) {
        const size_t at = s.find(sep, start);
        out.push_back(
            trim(s.substr(start, at == std::string::npos ? std::string::npos : at - start)));
        if (at == std::string::npos) return out;
        start = at + 1;
    }
}

bool parseNumber(const std::string& s, int base, long long max, long long* out) {
    if (s.empty()) return false;
    char* end = nullptr;
    errno = 0;
    const long long v = std::strtoll(s.c_str(), &end, base);
    if (errno != 0 || end == s.c_str() || *end != '\0' || v < 0 || v > max) return false;
    *out = v;
    return true;
}

bool allDigits(const std::string& s) {
    return !s.empty() &&
           std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

bool parseCamera(const std::string& item, CameraOptions* cam, std::string* error) {
    const std::vector<std::string> parts = split(item, ':');
    long long pid = 0;
    if (!parseNumber(parts[0], 16, 0xFFFF, &pid) || pid == 0) {
        *error = "bad product ID \"" + parts[0] + "\"";
        return false;
    }
    cam->productId = static_cast<uint16_t>(pid);
    for (size_t i = 1; i < parts.size(); ++i) {
        const std::string& opt = parts[i];
        const size_t eq = opt.find('=');
        if (eq == std::string::npos) {
            *error = "option without value \"" + opt + "\"";
            return false;
        }
        const std::string key = opt.substr(0, eq);
        const std::string value = opt.substr(eq + 1);
        long long n = 0;
        if (key == "pace" && (value == "realtime" || value == "fast")) {
            cam->pace = value == "fast" ? Pace::Fast : Pace::Realtime;
        } else if (key == "scene" && value == "chart") {
            cam->scene = SceneKind::Chart;
        } else if (key == "scene" && value == "ramp") {
            cam->scene = SceneKind::Ramp;
        } else if (key == "scene" && value == "flat" && i + 1 < parts.size() &&
                   parseNumber(parts[i + 1], 10, 255, &n)) {
            cam->scene = SceneKind::Flat;
            cam->flatValue = static_cast<uint16_t>(n);
            ++i;
        } else if (key == "scene" && value == "sites" && i + 1 < parts.size()) {
            const std::vector<std::string> rgb = split(parts[i + 1], '/');
            long long r = 0, g = 0, b = 0;
            if (rgb.size() != 3 || !parseNumber(rgb[0], 10, 255, &r) ||
                !parseNumber(rgb[1], 10, 255, &g) || !parseNumber(rgb[2], 10, 255, &b)) {
                *error = "bad sites value \"" + parts[i + 1] + "\"";
                return false;
            }
            cam->scene = SceneKind::Sites;
            cam->siteR = static_cast<uint16_t>(r);
            cam->siteG = static_cast<uint16_t>(g);
            cam->siteB = static_cast<uint16_t>(b);
            ++i;
        } else if (key == "hot" && parseNumber(value, 10, 100000, &n)) {
            cam->hotPixels = static_cast<uint32_t>(n);
        } else if (key == "dead" && parseNumber(value, 10, 100000, &n)) {
            cam->deadPixels = static_cast<uint32_t>(n);
        } else if (key == "fail_after" && parseNumber(value, 10, 1LL << 40, &n)) {
            cam->failAfter = n;
        } else if (key == "drop" && parseNumber(value, 10, 1LL << 31, &n)) {
            cam->dropEvery = static_cast<uint32_t>(n);
        } else if (key == "unplug_after" && parseNumber(value, 10, 1LL << 40, &n)) {
            cam->unplugAfter = n;
        } else if (!parseFaultOption(key, value, &cam->faults)) {
            *error = "bad option \"" + opt + "\"";
            return false;
        }
    }
    return true;
}

}  // namespace

bool parseCameraList(const std::string& text, std::vector<CameraOptions>* cameras,
                     std::string* error) {
    std::string dummy;
    if (error == nullptr) error = &dummy;
    cameras->clear();
    for (const std::string& item : split(text, ',')) {
        if (item.empty()) {
            *error = "empty camera entry";
            return false;
        }
        // A small decimal number is a count of 30f0 cameras; anything else names a product.
        long long count = 0;
        if (allDigits(item) && parseNumber(item, 10, kMaxCountItem, &count)) {
            for (long long k = 0; k < count; ++k) cameras->push_back(CameraOptions{});
            continue;
        }
        CameraOptions cam;
        if (!parseCamera(item, &cam, error)) return false;
        cameras->push_back(cam);
    }
    return true;
}

}  // namespace orvane::sim
