#include "TestEnv.h"

#include <unistd.h>

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
    if (g_root.empty()) {
        std::string tmpl = (fs::temp_directory_path() / "orvane-test-XXXXXX").string();
        if (mkdtemp(tmpl.data()) == nullptr) std::abort();
        g_root = tmpl;
    }
    ++g_counter;
    g_dir = g_root + "/" + std::to_string(g_counter) + "-" + sanitize(testName);
    fs::create_directories(g_dir + "/config");
    g_shmName = "/orvane-t" + std::to_string(getpid()) + "-" + std::to_string(g_counter);
    setenv("XDG_CONFIG_HOME", (g_dir + "/config").c_str(), 1);
    setenv("HOME", g_dir.c_str(), 1);
    setenv("ORVANE_SHM_NAME", g_shmName.c_str(), 1);
    unsetenv("ORVANE_VIRTUAL_CAMERAS");
}

void removeTestRoot() {
    if (g_root.empty()) return;
    std::error_code ec;
    std::filesystem::remove_all(g_root, ec);
    g_root.clear();
}

}  // namespace orvane::test
