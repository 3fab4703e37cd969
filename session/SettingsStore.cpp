#include "session/SettingsStore.h"

#include <cstdio>
#include <cstring>

#include "platform/Registry.h"
#include "session/ControlTable.h"

namespace orvane::session::settings {
namespace {

using platform::RegistryKey;

std::string format2(const char* prefix, int n) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%s_%02d", prefix, n);
    return buf;
}

bool readInt(const RegistryKey& key, const char* name, int32_t& field) {
    uint32_t v = 0;
    if (!key.queryDword(name, &v)) return false;
    field = static_cast<int32_t>(v);
    return true;
}

void writeInt(RegistryKey& key, const char* name, int32_t value) {
    key.setDword(name, static_cast<uint32_t>(value));
}

constexpr const char* kGeometryNames[7] = {"TH", "TV", "EH", "EV", "EHS", "EVS", "Buf"};

int32_t* geometryField(CaptureGeometry& g, int i) {
    int32_t* fields[7] = {&g.totalWidth, &g.totalHeight, &g.width,      &g.height,
                          &g.xStart,     &g.yStart,      &g.bufferCount};
    return fields[i];
}

void readGeometry(const RegistryKey& key, CaptureGeometry& g) {
    for (int i = 0; i < 7; ++i) readInt(key, kGeometryNames[i], *geometryField(g, i));
}

void writeDefaultTree(int deviceNumber) {
    RegistryKey root = RegistryKey::create(kRootKey);
    RegistryKey camera = root.createSubKey(cameraKeyName(deviceNumber));
    RegistryKey size = camera.createSubKey(presetKeyName(0));
    CaptureGeometry defaults;
    for (int i = 0; i < 7; ++i) writeInt(size, kGeometryNames[i], *geometryField(defaults, i));
    writeInt(camera, "Size", 0);
    writeInt(camera, "Color", 2);
    writeInt(camera, "SubSample", 0);
    writeInt(camera, "WaitTime", 1);
    writeInt(camera, "Clock", 0);
}

RegistryKey openCameraSubKey(int deviceNumber, const char* name) {
    RegistryKey root = RegistryKey::open(kRootKey);
    if (!root.valid()) return {};
    RegistryKey camera = root.openSubKey(cameraKeyName(deviceNumber));
    if (!camera.valid()) return {};
    return camera.openSubKey(name);
}

RegistryKey createCameraSubKey(int deviceNumber, const char* name) {
    RegistryKey root = RegistryKey::create(kRootKey);
    RegistryKey camera = root.createSubKey(cameraKeyName(deviceNumber));
    return camera.createSubKey(name);
}

// Value names of the stored controls, from the control table, in the order they are stored.
constexpr const char* imageName(int slot) {
    return controlRegistryName(ControlRecord::Image, slot);
}
constexpr const char* cameraName(int slot) {
    return controlRegistryName(ControlRecord::Camera, slot);
}

// "Filter": image-record slots 0 to 9.
constexpr const char* kFilterNames[10] = {imageName(0), imageName(1), imageName(2), imageName(3),
                                          imageName(4), imageName(5), imageName(6), imageName(7),
                                          imageName(8), imageName(9)};
constexpr int32_t kFilterDefaults[10] = {0, 0, 0, 0, 0, 100, 100, 100, 100, 2};
// "Gray": the gray mode, then the four gains and the four offsets.
constexpr int kGrayIndexes[9] = {ImageSettings::kGrayMode,        ImageSettings::kGrayGainR,
                                 ImageSettings::kGrayGainR + 1,   ImageSettings::kGrayGainR + 2,
                                 ImageSettings::kGrayGainR + 3,   ImageSettings::kGrayOffsetR,
                                 ImageSettings::kGrayOffsetR + 1, ImageSettings::kGrayOffsetR + 2,
                                 ImageSettings::kGrayOffsetR + 3};
constexpr const char* kGrayNames[9] = {
    imageName(kGrayIndexes[0]), imageName(kGrayIndexes[1]), imageName(kGrayIndexes[2]),
    imageName(kGrayIndexes[3]), imageName(kGrayIndexes[4]), imageName(kGrayIndexes[5]),
    imageName(kGrayIndexes[6]), imageName(kGrayIndexes[7]), imageName(kGrayIndexes[8])};

constexpr bool allNamed(const char* const* names, int n) {
    for (int i = 0; i < n; ++i)
        if (names[i] == nullptr) return false;
    return true;
}
static_assert(allNamed(kFilterNames, 10) && allNamed(kGrayNames, 9),
              "every stored image value has its name in the control table");

struct GainValue {
    const char* name;
    int index;
};
// "Gain": the camera record; the mirrors and the automatic iris have exports of their own
// and are not filter controls.
constexpr GainValue kGainValues[10] = {
    {cameraName(CameraSettings::kGlobalGain), CameraSettings::kGlobalGain},
    {cameraName(CameraSettings::kColorGainGreen1), CameraSettings::kColorGainGreen1},
    {cameraName(CameraSettings::kColorGainRed), CameraSettings::kColorGainRed},
    {cameraName(CameraSettings::kColorGainBlue), CameraSettings::kColorGainBlue},
    {cameraName(CameraSettings::kColorGainGreen2), CameraSettings::kColorGainGreen2},
    {cameraName(CameraSettings::kExposure), CameraSettings::kExposure},
    {"V_Mirror", CameraSettings::kMirrorV},
    {"H_Mirror", CameraSettings::kMirrorH},
    {"AutoIris", CameraSettings::kAutoIris},
    {cameraName(CameraSettings::kGainMode), CameraSettings::kGainMode}};
constexpr const char* kBlackLevelName = cameraName(CameraSettings::kBlackLevel);
static_assert(
    [] {
        for (const GainValue& v : kGainValues)
            if (v.name == nullptr) return false;
        return kBlackLevelName != nullptr;
    }(),
    "every stored camera value has its name in the control table");

}  // namespace

std::string cameraKeyName(int deviceNumber) {
    return format2("Camera", deviceNumber);
}
std::string presetKeyName(int preset) {
    return format2("Size", preset);
}

int LoadGeometry(int deviceNumber, CaptureGeometry& geometry) {
    RegistryKey root = RegistryKey::open(kRootKey);
    if (!root.valid()) {
        writeDefaultTree(deviceNumber);
        return 0;
    }
    RegistryKey camera = root.openSubKey(cameraKeyName(deviceNumber));
    if (!camera.valid()) return 0;
    int32_t preset = 0;
    if (!readInt(camera, "Size", preset)) return 0;
    RegistryKey size = camera.openSubKey(presetKeyName(preset));
    if (!size.valid()) return 0;
    readGeometry(size, geometry);
    return 1;
}

int LoadCameraValues(int deviceNumber, CameraValues& values) {
    RegistryKey root = RegistryKey::open(kRootKey);
    if (!root.valid()) return 0;
    RegistryKey camera = root.openSubKey(cameraKeyName(deviceNumber));
    if (!camera.valid()) return 0;
    readInt(camera, "Color", values.colorIndex);
    readInt(camera, "SubSample", values.subSample);
    readInt(camera, "WaitTime", values.waitTime);
    readInt(camera, "Clock", values.clock);
    return 1;
}

std::vector<Preset> ReadPresets(int deviceNumber, bool* rootExists) {
    std::vector<Preset> presets;
    RegistryKey root = RegistryKey::open(kRootKey);
    if (rootExists) *rootExists = root.valid();
    if (!root.valid()) return presets;
    RegistryKey camera = root.openSubKey(cameraKeyName(deviceNumber));
    if (!camera.valid()) return presets;
    for (int n = 0; n < kMaxPresets; ++n) {
        RegistryKey size = camera.openSubKey(presetKeyName(n));
        if (!size.valid()) break;
        Preset preset{n, CaptureGeometry{}};
        readGeometry(size, preset.geometry);
        presets.push_back(preset);
    }
    return presets;
}

int LoadFilter(int deviceNumber, ImageSettings& image) {
    RegistryKey key = openCameraSubKey(deviceNumber, "Filter");
    if (!key.valid()) {
        for (int i = 0; i < 10; ++i) image[i] = kFilterDefaults[i];
        for (int i = 20; i <= 28; ++i) image[i] = 0;
        return 0;
    }
    for (int i = 0; i < 10; ++i) readInt(key, kFilterNames[i], image[i]);
    return 1;
}

int SaveFilter(int deviceNumber, const ImageSettings& image) {
    RegistryKey key = createCameraSubKey(deviceNumber, "Filter");
    if (!key.valid()) return 0;
    for (int i = 0; i < 10; ++i) writeInt(key, kFilterNames[i], image[i]);
    return key.close() ? 1 : 0;
}

int LoadGray(int deviceNumber, ImageSettings& image) {
    RegistryKey key = openCameraSubKey(deviceNumber, "Gray");
    if (!key.valid()) {
        image[ImageSettings::kGrayMode] = 0;
        for (int i = 12; i <= 19; ++i) image[i] = 128;
        return 0;
    }
    for (int i = 0; i < 9; ++i) readInt(key, kGrayNames[i], image[kGrayIndexes[i]]);
    return 1;
}

int SaveGray(int deviceNumber, const ImageSettings& image) {
    RegistryKey root = RegistryKey::create(kRootKey);
    RegistryKey camera = root.openSubKey(cameraKeyName(deviceNumber));
    if (!camera.valid()) return 0;  // Gray settings are kept only for a known camera.
    RegistryKey key = camera.createSubKey("Gray");
    if (!key.valid()) return 0;
    for (int i = 0; i < 9; ++i) writeInt(key, kGrayNames[i], image[kGrayIndexes[i]]);
    return key.close() ? 1 : 0;
}

int LoadGain(int deviceNumber, CameraSettings& camera, const AnalogDefaults& defaults) {
    RegistryKey key = openCameraSubKey(deviceNumber, "Gain");
    if (!key.valid()) {
        camera[CameraSettings::kGlobalGain] = defaults.globalGain;
        for (int i = 1; i <= 4; ++i) camera[i] = defaults.colorGain;
        camera[CameraSettings::kExposure] = defaults.exposure;
        camera[CameraSettings::kMirrorV] = defaults.mirrorV;
        camera[CameraSettings::kMirrorH] = defaults.mirrorH;
        camera[CameraSettings::kAutoIris] = 0;
        camera[CameraSettings::kGainMode] = 0;
        camera[CameraSettings::kBlackLevel] = defaults.blackLevel;
        if (defaults.hasExposureSeconds) camera.exposureSeconds = defaults.exposureSeconds;
        return 1;
    }
    uint32_t scratch = static_cast<uint32_t>(camera[CameraSettings::kGlobalGain]);
    for (const GainValue& value : kGainValues) {
        key.queryDword(value.name, &scratch);  // a miss keeps the previous value
        camera[value.index] = static_cast<int32_t>(scratch);
    }
    readInt(key, kBlackLevelName, camera[CameraSettings::kBlackLevel]);
    std::vector<uint8_t> seconds;
    if (key.queryBinary("ExposureEx", &seconds) && seconds.size() == sizeof(double))
        std::memcpy(&camera.exposureSeconds, seconds.data(), sizeof(double));
    return 1;
}

int SaveGain(int deviceNumber, const CameraSettings& camera) {
    RegistryKey key = createCameraSubKey(deviceNumber, "Gain");
    if (!key.valid()) return 0;
    for (const GainValue& value : kGainValues) writeInt(key, value.name, camera[value.index]);
    writeInt(key, kBlackLevelName, camera[CameraSettings::kBlackLevel]);
    key.setBinary("ExposureEx", &camera.exposureSeconds, sizeof(double));
    return key.close() ? 1 : 0;
}

}  // namespace orvane::session::settings
