#include "platform/Registry.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <map>
#include <optional>

#include "platform/Log.h"
#include "platform/RegistryText.h"
#include "platform/Sync.h"

namespace orvane::platform {
namespace {

using namespace regtext;  // the tree and its text form

std::string fullPath(std::string_view relative) {
    std::string path(kHive);
    if (!relative.empty()) {
        path += '\\';
        path += relative;
    }
    // Collapse doubled and trailing separators, which would otherwise name distinct keys.
    std::string out;
    for (char c : path) {
        if (c == '\\' && !out.empty() && out.back() == '\\') continue;
        out += c;
    }
    while (!out.empty() && out.back() == '\\') out.pop_back();
    return out;
}

// ---- File access -----------------------------------------------------------------

Mutex g_fileMutex;  // Serialises this process's own file transactions and the cache.
struct Cache {
    bool valid = false;
    dev_t dev = 0;
    ino_t ino = 0;
    timespec mtime{};
    off_t size = 0;
    Tree tree;
};
Cache g_cache ORVANE_GUARDED_BY(g_fileMutex);

bool readFile(const std::string& path, std::string& out, struct stat& st) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    bool ok = fstat(fd, &st) == 0;
    out.clear();
    char buf[8192];
    ssize_t n;
    while (ok && (n = ::read(fd, buf, sizeof buf)) != 0) {
        if (n < 0) {
            if (errno == EINTR) continue;
            ok = false;
            break;
        }
        out.append(buf, static_cast<size_t>(n));
    }
    ::close(fd);
    return ok;
}

void moveAside(const std::string& path) {
    std::string target = path + ".unreadable-" + std::to_string(std::time(nullptr));
    if (std::rename(path.c_str(), target.c_str()) == 0)
        ORVANE_LOG(LogLevel::Warn, "settings file %s could not be read; moved to %s", path.c_str(),
                   target.c_str());
}

// Loads the current tree. allowMoveAside is true only while the exclusive file lock is held,
// so a file that another process is replacing is never moved.
Tree loadTree(bool allowMoveAside) ORVANE_REQUIRES(g_fileMutex) {
    const std::string path = registryFilePath();
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        g_cache.valid = false;
        return {};
    }
    if (g_cache.valid && g_cache.dev == st.st_dev && g_cache.ino == st.st_ino &&
        g_cache.size == st.st_size && g_cache.mtime.tv_sec == st.st_mtim.tv_sec &&
        g_cache.mtime.tv_nsec == st.st_mtim.tv_nsec)
        return g_cache.tree;
    std::string text;
    if (!readFile(path, text, st)) return {};
    auto tree = parseTree(text);
    if (!tree) {
        if (allowMoveAside) moveAside(path);
        g_cache.valid = false;
        return {};
    }
    g_cache = Cache{true, st.st_dev, st.st_ino, st.st_mtim, st.st_size, *tree};
    return std::move(*tree);
}

class FileLock {
  public:
    explicit FileLock(const std::string& path)
        : fd_(::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600)) {
        if (fd_ >= 0) {
            while (flock(fd_, LOCK_EX) != 0 && errno == EINTR) {
            }
        }
    }
    ~FileLock() {
        if (fd_ >= 0) ::close(fd_);  // Closing releases the lock.
    }
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;
    bool held() const { return fd_ >= 0; }

  private:
    int fd_;
};

bool writeAtomically(const std::string& path, const std::string& text) {
    const std::string temp = path + ".tmp" + std::to_string(getpid());
    int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) return false;
    size_t done = 0;
    bool ok = true;
    while (done < text.size()) {
        ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            ok = false;
            break;
        }
        done += static_cast<size_t>(n);
    }
    ok = ok && fsync(fd) == 0;
    ok = (::close(fd) == 0) && ok;
    if (!ok || std::rename(temp.c_str(), path.c_str()) != 0) {
        std::remove(temp.c_str());
        return false;
    }
    // Make the rename itself durable.
    std::string dir = std::filesystem::path(path).parent_path().string();
    int dfd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dfd >= 0) {
        fsync(dfd);
        ::close(dfd);
    }
    return true;
}

// Runs change on the current tree under the inter-process lock and writes the result.
template <typename F>
bool transact(F&& change) {
    const std::string path = registryFilePath();
    std::error_code ec;
    std::filesystem::create_directories(std::filesystem::path(path).parent_path(), ec);
    LockGuard guard(g_fileMutex);
    FileLock lock(path + ".lock");
    if (!lock.held()) return false;
    Tree tree = loadTree(true);
    if (!change(tree)) return false;
    if (!writeAtomically(path, serialize(tree))) return false;
    g_cache.valid = false;
    return true;
}

template <typename F>
auto withTree(F&& read) {
    LockGuard guard(g_fileMutex);
    const Tree tree = loadTree(false);
    return read(tree);
}

bool keyExists(const std::string& full) {
    return withTree([&](const Tree& tree) { return tree.count(lower(full)) != 0; });
}

// The key and its missing parents. A key the settings file could not give back is refused
// here rather than saved.
bool keyExistsOrCreated(const std::string& full) {
    if (!keyPathAllowed(full)) return false;
    return keyExists(full) || transact([&](Tree& tree) {
               ensureKey(tree, full);
               return true;
           });
}

const Value* findValue(const Tree& tree, const std::string& keyPath, std::string_view name) {
    auto key = tree.find(lower(keyPath));
    if (key == tree.end()) return nullptr;
    auto value = key->second.values.find(lower(name));
    return value == key->second.values.end() ? nullptr : &value->second;
}

std::string childName(const std::string& parentLower, const std::string& childPath) {
    return childPath.substr(parentLower.size() + 1);
}

}  // namespace

std::string registryFilePath() {
    std::string base;
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg != nullptr && xdg[0] == '/') {
        base = xdg;
    } else if (const char* home = std::getenv("HOME"); home != nullptr && home[0] != '\0') {
        base = std::string(home) + "/.config";
    } else {
        base = "/tmp";
    }
    return base + "/orvane/registry.reg";
}

RegistryKey::RegistryKey(std::string path) : path_(std::move(path)) {}

RegistryKey::RegistryKey(RegistryKey&& other) noexcept
    : path_(std::move(other.path_)), pending_(std::move(other.pending_)) {
    other.path_.clear();
    other.pending_.clear();
}

RegistryKey& RegistryKey::operator=(RegistryKey&& other) noexcept {
    if (this != &other) {
        close();
        path_ = std::move(other.path_);
        pending_ = std::move(other.pending_);
        other.path_.clear();
        other.pending_.clear();
    }
    return *this;
}

RegistryKey::~RegistryKey() {
    close();
}

RegistryKey RegistryKey::open(std::string_view path) {
    std::string full = fullPath(path);
    return keyExists(full) ? RegistryKey(full) : RegistryKey();
}

RegistryKey RegistryKey::create(std::string_view path) {
    std::string full = fullPath(path);
    return keyExistsOrCreated(full) ? RegistryKey(full) : RegistryKey();
}

RegistryKey RegistryKey::openSubKey(std::string_view name) const {
    if (!valid() || name.empty()) return RegistryKey();
    std::string full = path_ + "\\" + std::string(name);
    return keyExists(full) ? RegistryKey(full) : RegistryKey();
}

RegistryKey RegistryKey::createSubKey(std::string_view name) const {
    if (!valid() || name.empty()) return RegistryKey();
    std::string full = path_ + "\\" + std::string(name);
    return keyExistsOrCreated(full) ? RegistryKey(full) : RegistryKey();
}

bool RegistryKey::queryBinary(std::string_view name, std::vector<uint8_t>* value) const {
    if (!valid()) return false;
    const std::string lname = lower(name);
    for (auto it = pending_.rbegin(); it != pending_.rend(); ++it) {
        if (lower(it->name) != lname) continue;
        if (it->kind == Pending::Kind::Delete) return false;
        if (value) *value = it->data;
        return true;
    }
    return withTree([&](const Tree& tree) {
        const Value* v = findValue(tree, path_, name);
        if (v == nullptr) return false;
        if (value) *value = v->data;
        return true;
    });
}

bool RegistryKey::queryDword(std::string_view name, uint32_t* value) const {
    std::vector<uint8_t> data;
    if (!queryBinary(name, &data) || data.size() != 4) return false;
    if (value)
        *value = data[0] | data[1] << 8 | data[2] << 16 | static_cast<uint32_t>(data[3]) << 24;
    return true;
}

bool RegistryKey::setDword(std::string_view name, uint32_t value) {
    if (!valid()) return false;
    pending_.push_back({Pending::Kind::Set,
                        std::string(name),
                        kRegDword,
                        {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8),
                         static_cast<uint8_t>(value >> 16), static_cast<uint8_t>(value >> 24)}});
    return true;
}

bool RegistryKey::setBinary(std::string_view name, const void* data, size_t size) {
    if (!valid() || (data == nullptr && size != 0)) return false;
    const auto* bytes = static_cast<const uint8_t*>(data);
    pending_.push_back({Pending::Kind::Set, std::string(name), kRegBinary,
                        std::vector<uint8_t>(bytes, bytes + size)});
    return true;
}

bool RegistryKey::deleteValue(std::string_view name) {
    if (!valid()) return false;
    pending_.push_back({Pending::Kind::Delete, std::string(name), 0, {}});
    return true;
}

std::vector<std::string> RegistryKey::subKeyNames() const {
    if (!valid()) return {};
    const std::string parent = lower(path_);
    return withTree([&](const Tree& tree) {
        std::vector<std::string> names;
        const std::string prefix = parent + "\\";
        for (auto it = tree.lower_bound(prefix); it != tree.end(); ++it) {
            if (it->first.compare(0, prefix.size(), prefix) != 0) break;
            std::string rest = childName(parent, it->second.path);
            if (rest.find('\\') == std::string::npos) names.push_back(rest);
        }
        return names;
    });
}

std::vector<std::string> RegistryKey::valueNames() const {
    if (!valid()) return {};
    return withTree([&](const Tree& tree) {
        std::vector<std::string> names;
        auto key = tree.find(lower(path_));
        if (key != tree.end())
            for (const auto& [l, v] : key->second.values) names.push_back(v.name);
        return names;
    });
}

bool RegistryKey::flush() {
    if (!valid() || pending_.empty()) return true;
    bool ok = transact([&](Tree& tree) {
        // A key deleted by someone else meanwhile is recreated, as a write to an open
        // handle of a deleted key would otherwise silently vanish.
        Key& key = ensureKey(tree, path_);
        for (const Pending& p : pending_) {
            if (p.kind == Pending::Kind::Delete)
                key.values.erase(lower(p.name));
            else
                key.values[lower(p.name)] = Value{p.name, p.type, p.data};
        }
        return true;
    });
    if (ok) pending_.clear();
    return ok;
}

bool RegistryKey::close() {
    if (!valid()) return true;
    bool ok = flush();
    if (!ok) ORVANE_LOG(LogLevel::Warn, "settings under %s could not be written", path_.c_str());
    path_.clear();
    pending_.clear();
    return ok;
}

bool RegistryKey::deleteTree(std::string_view path) {
    const std::string full = lower(fullPath(path));
    return transact([&](Tree& tree) {
        bool found = false;
        for (auto it = tree.begin(); it != tree.end();) {
            if (it->first == full || it->first.compare(0, full.size() + 1, full + "\\") == 0) {
                it = tree.erase(it);
                found = true;
            } else {
                ++it;
            }
        }
        return found;
    });
}

}  // namespace orvane::platform
