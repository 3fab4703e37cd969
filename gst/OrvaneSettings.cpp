#include "OrvaneSettings.h"

#include <cstring>

namespace orvane::gst {

int settingIndex(const char* property) {
    for (size_t i = 0; i < kSettings.size(); ++i)
        if (std::strcmp(kSettings[i].property, property) == 0) return static_cast<int>(i);
    return -1;
}

int applySetting(ORVANE_HANDLE handle, const SettingEntry& setting, int value) {
    switch (setting.kind) {
        case SettingKind::Filter:
            return Orvane_SetFilterValue(handle, setting.id, value);
        case SettingKind::AutoIris:
            return Orvane_SetAutoIris(handle, value);
        case SettingKind::MirrorH:
            return Orvane_SetMirrorH(handle, value);
        case SettingKind::MirrorV:
            return Orvane_SetMirrorV(handle, value);
    }
    return 0;
}

bool readSetting(ORVANE_HANDLE handle, const SettingEntry& setting, int* value) {
    int ok = 1;
    switch (setting.kind) {
        case SettingKind::Filter:
            *value = Orvane_GetFilterValue(handle, setting.id, &ok);
            break;
        case SettingKind::AutoIris:
            *value = Orvane_GetAutoIris(handle, &ok);
            break;
        case SettingKind::MirrorH:
            *value = Orvane_GetMirrorH(handle);
            break;
        case SettingKind::MirrorV:
            *value = Orvane_GetMirrorV(handle);
            break;
    }
    return ok == 1;
}

}  // namespace orvane::gst
