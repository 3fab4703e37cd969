// Win32 settings tree: the real registry under HKEY_CURRENT_USER. Each operation opens the
// key by path for its own duration (RAII), so a RegistryKey is just a path and moves freely;
// writes go straight to the registry, which is already durable and shared between
// processes, so nothing is left pending.
//
// ORVANE_REGISTRY_ROOT, when set, is a path under HKEY_CURRENT_USER that replaces
// "Software\Kelmor\OrvaneA063Q7Sdk", so that tests keep their settings apart.
#include "platform/Registry.h"

#include <windows.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace orvane::platform {
namespace {

constexpr std::string_view kDefaultRoot = "Software\\Kelmor\\OrvaneA063Q7Sdk";

bool startsWithNoCase(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size()) return false;
    return CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, text.data(),
                          static_cast<int>(prefix.size()), prefix.data(),
                          static_cast<int>(prefix.size())) == CSTR_EQUAL &&
           (text.size() == prefix.size() || text[prefix.size()] == '\\');
}

std::string mapped(std::string_view path) {
    const char* root = std::getenv("ORVANE_REGISTRY_ROOT");
    if (root == nullptr || *root == '\0' || !startsWithNoCase(path, kDefaultRoot))
        return std::string(path);
    return std::string(root) + std::string(path.substr(kDefaultRoot.size()));
}

class OpenKey {
  public:
    OpenKey(const std::string& path, REGSAM access, bool create) {
        const std::string full = mapped(path);
        LSTATUS r = create ? RegCreateKeyExA(HKEY_CURRENT_USER, full.c_str(), 0, nullptr, 0, access,
                                             nullptr, &key_, nullptr)
                           : RegOpenKeyExA(HKEY_CURRENT_USER, full.c_str(), 0, access, &key_);
        if (r != ERROR_SUCCESS) key_ = nullptr;
    }
    ~OpenKey() {
        if (key_ != nullptr) RegCloseKey(key_);
    }
    OpenKey(const OpenKey&) = delete;
    OpenKey& operator=(const OpenKey&) = delete;
    HKEY get() const { return key_; }

  private:
    HKEY key_ = nullptr;
};

// The names `enumerate` (RegEnumKeyExA or RegEnumValueA) lists under `key`, in its order;
// Longest is the longest name the registry allows for them.
template <size_t Longest, typename Enumerate>
std::vector<std::string> namesOf(HKEY key, Enumerate enumerate) {
    std::vector<std::string> names;
    if (key == nullptr) return names;
    char name[Longest];
    for (DWORD i = 0;; ++i) {
        DWORD length = sizeof name;
        if (enumerate(key, i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        names.emplace_back(name, length);
    }
    return names;
}

std::string join(const std::string& parent, std::string_view name) {
    return parent + "\\" + std::string(name);
}

}  // namespace

std::string registryFilePath() {
    return "HKEY_CURRENT_USER\\" + mapped(kDefaultRoot);
}

RegistryKey::RegistryKey(std::string path) : path_(std::move(path)) {}
RegistryKey::RegistryKey(RegistryKey&& other) noexcept
    : path_(std::move(other.path_)), pending_(std::move(other.pending_)) {
    other.path_.clear();
}
RegistryKey& RegistryKey::operator=(RegistryKey&& other) noexcept {
    if (this != &other) {
        path_ = std::move(other.path_);
        pending_ = std::move(other.pending_);
        other.path_.clear();
    }
    return *this;
}
RegistryKey::~RegistryKey() = default;

RegistryKey RegistryKey::open(std::string_view path) {
    const std::string p(path);
    if (p.empty()) return {};
    OpenKey key(p, KEY_READ, false);
    return key.get() != nullptr ? RegistryKey(p) : RegistryKey();
}

RegistryKey RegistryKey::create(std::string_view path) {
    const std::string p(path);
    if (p.empty()) return {};
    OpenKey key(p, KEY_READ | KEY_WRITE, true);
    return key.get() != nullptr ? RegistryKey(p) : RegistryKey();
}

RegistryKey RegistryKey::openSubKey(std::string_view name) const {
    return valid() ? open(join(path_, name)) : RegistryKey();
}
RegistryKey RegistryKey::createSubKey(std::string_view name) const {
    return valid() ? create(join(path_, name)) : RegistryKey();
}

bool RegistryKey::queryBinary(std::string_view name, std::vector<uint8_t>* value) const {
    if (!valid() || value == nullptr) return false;
    OpenKey key(path_, KEY_QUERY_VALUE, false);
    if (key.get() == nullptr) return false;
    const std::string n(name);
    DWORD type = 0, size = 0;
    if (RegQueryValueExA(key.get(), n.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
        type != REG_BINARY)
        return false;
    std::vector<uint8_t> data(size);
    if (RegQueryValueExA(key.get(), n.c_str(), nullptr, &type, data.data(), &size) != ERROR_SUCCESS)
        return false;
    data.resize(size);
    *value = std::move(data);
    return true;
}

bool RegistryKey::queryDword(std::string_view name, uint32_t* value) const {
    if (!valid() || value == nullptr) return false;
    OpenKey key(path_, KEY_QUERY_VALUE, false);
    if (key.get() == nullptr) return false;
    DWORD type = 0, data = 0, size = sizeof data;
    if (RegQueryValueExA(key.get(), std::string(name).c_str(), nullptr, &type,
                         reinterpret_cast<BYTE*>(&data), &size) != ERROR_SUCCESS ||
        type != REG_DWORD || size != sizeof data)
        return false;
    *value = data;
    return true;
}

bool RegistryKey::setDword(std::string_view name, uint32_t value) {
    if (!valid()) return false;
    OpenKey key(path_, KEY_SET_VALUE, true);
    const DWORD data = value;
    return key.get() != nullptr &&
           RegSetValueExA(key.get(), std::string(name).c_str(), 0, REG_DWORD,
                          reinterpret_cast<const BYTE*>(&data), sizeof data) == ERROR_SUCCESS;
}

bool RegistryKey::setBinary(std::string_view name, const void* data, size_t size) {
    if (!valid() || (data == nullptr && size != 0) || size > 0xFFFFFFFFu) return false;
    OpenKey key(path_, KEY_SET_VALUE, true);
    return key.get() != nullptr && RegSetValueExA(key.get(), std::string(name).c_str(), 0,
                                                  REG_BINARY, static_cast<const BYTE*>(data),
                                                  static_cast<DWORD>(size)) == ERROR_SUCCESS;
}

bool RegistryKey::deleteValue(std::string_view name) {
    if (!valid()) return false;
    OpenKey key(path_, KEY_SET_VALUE, false);
    return key.get() != nullptr &&
           RegDeleteValueA(key.get(), std::string(name).c_str()) == ERROR_SUCCESS;
}

std::vector<std::string> RegistryKey::subKeyNames() const {
    if (!valid()) return {};
    OpenKey key(path_, KEY_ENUMERATE_SUB_KEYS, false);
    return namesOf<256>(key.get(), RegEnumKeyExA);
}

std::vector<std::string> RegistryKey::valueNames() const {
    if (!valid()) return {};
    OpenKey key(path_, KEY_QUERY_VALUE, false);
    return namesOf<16384>(key.get(), RegEnumValueA);
}

bool RegistryKey::flush() {
    if (!valid()) return false;
    OpenKey key(path_, KEY_WRITE, false);
    return key.get() != nullptr && RegFlushKey(key.get()) == ERROR_SUCCESS;
}

bool RegistryKey::close() {
    const bool ok = !valid() || flush();
    path_.clear();
    return ok;
}

bool RegistryKey::deleteTree(std::string_view path) {
    const std::string full = mapped(path);
    if (full.empty()) return false;
    return RegDeleteTreeA(HKEY_CURRENT_USER, full.c_str()) == ERROR_SUCCESS;
}

}  // namespace orvane::platform
