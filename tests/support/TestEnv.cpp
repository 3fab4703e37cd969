#include "TestEnv.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <unistd.h>
#endif

#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace orvane::test {
namespace {

std::string g_root;     // Written only between tests, on the main thread.
std::string g_dir;      // Same.
std::string g_shmName;  // Same.
int g_counter = 0;      // Same.

// The few process services the isolation needs, for both systems. On Windows the settings
// live in the registry: each test gets its own key under HKEY_CURRENT_USER instead of its
// own settings file.
#if defined(_WIN32)
unsigned long processId() {
    return GetCurrentProcessId();
}
void setEnv(const char* name, const std::string& value) {
    _putenv_s(name, value.c_str());
}
void unsetEnv(const char* name) {
    _putenv_s(name, "");
}
std::string makeRoot() {
    namespace fs = std::filesystem;
    for (unsigned attempt = 0;; ++attempt) {
        const fs::path dir =
            fs::temp_directory_path() /
            ("orvane-test-" + std::to_string(processId()) + "-" + std::to_string(attempt));
        if (fs::create_directory(dir)) return dir.string();
        if (attempt > 1000) std::abort();
    }
}
std::string registryRoot() {
    return "Software\\OrvaneTests\\p" + std::to_string(processId());
}
#else
unsigned long processId() {
    return static_cast<unsigned long>(getpid());
}
void setEnv(const char* name, const std::string& value) {
    setenv(name, value.c_str(), 1);
}
void unsetEnv(const char* name) {
    unsetenv(name);
}
std::string makeRoot() {
    std::string tmpl = (std::filesystem::temp_directory_path() / "orvane-test-XXXXXX").string();
    if (mkdtemp(tmpl.data()) == nullptr) std::abort();
    return tmpl;
}
#endif

std::string sanitize(const std::string& name) {
    std::string out;
    for (char c : name) out += (std::isalnum(static_cast<unsigned char>(c)) ? c : '_');
    return out.substr(0, 80);
}

}  // namespace

const std::string& testDir() {
    return g_dir;
}
const std::string& testShmName() {
    return g_shmName;
}

void resetTestEnvironment(const std::string& testName) {
    namespace fs = std::filesystem;
    // A test's child process (the same executable running one case) works in the settings,
    // device table and cameras its parent prepared and handed down in the environment.
    if (std::getenv("ORVANE_TEST_CHILD") != nullptr) return;
    if (g_root.empty()) g_root = makeRoot();
    ++g_counter;
    g_dir = g_root + "/" + std::to_string(g_counter) + "-" + sanitize(testName);
    fs::create_directories(g_dir + "/config");
    g_shmName = "/orvane-t" + std::to_string(processId()) + "-" + std::to_string(g_counter);
    setEnv("XDG_CONFIG_HOME", g_dir + "/config");
    setEnv("HOME", g_dir);
    setEnv("ORVANE_SHM_NAME", g_shmName);
#if defined(_WIN32)
    setEnv("ORVANE_REGISTRY_ROOT", registryRoot() + "\\" + std::to_string(g_counter));
#endif
    unsetEnv("ORVANE_VIRTUAL_CAMERAS");
}

void removeTestRoot() {
    if (g_root.empty()) return;
    std::error_code ec;
    std::filesystem::remove_all(g_root, ec);
    g_root.clear();
#if defined(_WIN32)
    RegDeleteTreeA(HKEY_CURRENT_USER, registryRoot().c_str());
#endif
}

}  // namespace orvane::test
