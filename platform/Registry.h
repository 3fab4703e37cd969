// The current user's settings tree, kept in a text file in the format of regedit exports
// ("Windows Registry Editor Version 5.00") at $XDG_CONFIG_HOME/orvane/registry.reg
// (default ~/.config/orvane/registry.reg). Key and value names compare case-insensitively.
//
// Durability and sharing: every change is written as a whole new file (temporary file,
// fsync, rename) while holding an exclusive lock on a lock file beside it, and the current
// file is re-read under that lock first, so a crash never leaves a half-written file and two
// processes writing different values never lose each other's. A file that cannot be parsed
// is moved aside (registry.reg.unreadable-<time>) and the tree starts empty.
//
// Writes made through one RegistryKey are collected and committed together when the key
// is closed (or flush() is called), so a saver that writes twenty values pays for one
// file replacement. Queries through the same key see its uncommitted writes.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace orvane::platform {

// Path of the settings file for this process's environment.
std::string registryFilePath();

class RegistryKey {
  public:
    RegistryKey() = default;
    RegistryKey(RegistryKey&& other) noexcept;
    RegistryKey& operator=(RegistryKey&& other) noexcept;
    RegistryKey(const RegistryKey&) = delete;
    RegistryKey& operator=(const RegistryKey&) = delete;
    ~RegistryKey();

    // path is relative to HKEY_CURRENT_USER, with backslashes ("Software\\Kelmor\\...").
    // open() fails (invalid key) when the key does not exist; create() makes it and its
    // parents (committed immediately).
    static RegistryKey open(std::string_view path);
    static RegistryKey create(std::string_view path);
    RegistryKey openSubKey(std::string_view name) const;
    RegistryKey createSubKey(std::string_view name) const;

    bool valid() const { return !path_.empty(); }
    const std::string& path() const { return path_; }

    bool queryDword(std::string_view name, uint32_t* value) const;
    bool queryBinary(std::string_view name, std::vector<uint8_t>* value) const;
    bool setDword(std::string_view name, uint32_t value);
    bool setBinary(std::string_view name, const void* data, size_t size);
    bool deleteValue(std::string_view name);

    std::vector<std::string> subKeyNames() const;
    std::vector<std::string> valueNames() const;

    // Commits pending writes; false if the file could not be written (the writes are kept
    // pending and retried at the next flush or close).
    bool flush();
    // Commits and invalidates the key.
    bool close();

    // Removes a key with all its sub-keys and values.
    static bool deleteTree(std::string_view path);

    struct Pending;

  private:
    explicit RegistryKey(std::string path);

    std::string path_;
    std::vector<Pending> pending_;
};

struct RegistryKey::Pending {
    enum class Kind { Set, Delete } kind;
    std::string name;
    uint32_t type;  // 4 = REG_DWORD, 3 = REG_BINARY
    std::vector<uint8_t> data;
};

}  // namespace orvane::platform
