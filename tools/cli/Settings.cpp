#include "Settings.h"

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdlib>

#include "OrvaneSdk.h"

namespace cli {

const std::vector<std::pair<std::string, int>>& settingNames() {
    static const std::vector<std::pair<std::string, int>> names = {
        {"brightness", ORVANE_FILTER_BRIGHTNESS},
        {"contrast", ORVANE_FILTER_CONTRAST},
        {"hue", ORVANE_FILTER_HUE},
        {"saturation", ORVANE_FILTER_SATURATION},
        {"sharpness", ORVANE_FILTER_SHARPNESS},
        {"bayergainrgb", ORVANE_FILTER_BAYER_GAIN_RGB},
        {"bayergainred", ORVANE_FILTER_BAYER_GAIN_RED},
        {"bayergaingreen", ORVANE_FILTER_BAYER_GAIN_GREEN},
        {"bayergainblue", ORVANE_FILTER_BAYER_GAIN_BLUE},
        {"bayergainauto", ORVANE_FILTER_BAYER_GAIN_AUTO},
        {"gamma", ORVANE_FILTER_GAMMA},
        {"bayermode", ORVANE_FILTER_BAYER_MODE},
        {"globalgain", ORVANE_FILTER_GLOBAL_GAIN},
        {"gain", ORVANE_FILTER_GLOBAL_GAIN},
        {"colorgainred", ORVANE_FILTER_COLOR_GAIN_RED},
        {"colorgaingreen1", ORVANE_FILTER_COLOR_GAIN_GREEN1},
        {"colorgaingreen2", ORVANE_FILTER_COLOR_GAIN_GREEN2},
        {"colorgainblue", ORVANE_FILTER_COLOR_GAIN_BLUE},
        {"exposuretime", ORVANE_FILTER_EXPOSURE_TIME},
        {"exposure", ORVANE_FILTER_EXPOSURE_TIME},
        {"graymode", ORVANE_FILTER_GRAY_MODE},
        {"graygainr", ORVANE_FILTER_GRAY_GAIN_R},
        {"graygaing1", ORVANE_FILTER_GRAY_GAIN_G1},
        {"graygaing2", ORVANE_FILTER_GRAY_GAIN_G2},
        {"graygainb", ORVANE_FILTER_GRAY_GAIN_B},
        {"grayoffsetr", ORVANE_FILTER_GRAY_OFFSET_R},
        {"grayoffsetg1", ORVANE_FILTER_GRAY_OFFSET_G1},
        {"grayoffsetg2", ORVANE_FILTER_GRAY_OFFSET_G2},
        {"grayoffsetb", ORVANE_FILTER_GRAY_OFFSET_B},
        {"peltier", ORVANE_FILTER_PELTIER},
        {"temperature", ORVANE_FILTER_TEMPERATURE},
        {"dotfilter", ORVANE_FILTER_DOT_FILTER},
        {"maskfilter", ORVANE_FILTER_MASK_FILTER}};
    return names;
}

int settingId(const std::string& nameOrNumber) {
    long number = 0;
    if (parseInt(nameOrNumber, &number)) return number > 0 && number < 1000 ? int(number) : -1;
    std::string lower = nameOrNumber;
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    for (const auto& [name, id] : settingNames())
        if (name == lower) return id;
    return -1;
}

std::string settingList() {
    std::string list;
    for (const auto& entry : settingNames()) list += (list.empty() ? "" : ", ") + entry.first;
    return list;
}

bool parseInt(const std::string& text, long* value) {
    if (text.empty()) return false;
    errno = 0;
    char* end = nullptr;
    const long v = std::strtol(text.c_str(), &end, 0);
    if (errno != 0 || end == text.c_str() || *end != '\0') return false;
    *value = v;
    return true;
}

bool parseSeconds(const std::string& text, double* value) {
    if (text.empty() || !(std::isdigit(static_cast<unsigned char>(text[0])) || text[0] == '.'))
        return false;
    errno = 0;
    char* end = nullptr;
    const double v = std::strtod(text.c_str(), &end);
    if (errno != 0 || *end != '\0' || !std::isfinite(v)) return false;
    *value = v;
    return true;
}

}  // namespace cli
