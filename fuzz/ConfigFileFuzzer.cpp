// The configuration file reader, from memory and from a file. Beyond the sanitizers: one
// entry per whole 8-byte record, each the two little-endian values, and the file reader
// agreeing with the decoder.
#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <string>
#include <vector>

#include "session/ConfigFile.h"
#include "support/Check.h"

using namespace orvane::session;

namespace {

std::string g_path;

void check(bool ok, const char* what) {
    orvane::fuzz::check(ok, "config reader", what);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    g_path = "/dev/shm/orvane-fuzz-config-" + std::to_string(getpid());
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::vector<ConfigEntry> entries = settings::DecodeConfigData(data, size);
    check(entries.size() == size / 8, "entry count");
    for (size_t i = 0; i < entries.size(); ++i) {
        const uint8_t* r = data + 8 * i;
        const auto le = [](const uint8_t* p) {
            return static_cast<int32_t>(static_cast<uint32_t>(p[0]) | p[1] << 8 | p[2] << 16 |
                                        static_cast<uint32_t>(p[3]) << 24);
        };
        check(entries[i].first == le(r) && entries[i].second == le(r + 4), "entry values");
    }
    const int fd = ::open(g_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) return 0;
    const bool written = size == 0 || ::write(fd, data, size) == static_cast<ssize_t>(size);
    ::close(fd);
    if (!written) return 0;
    std::vector<ConfigEntry> fromFile{{1, 2}};
    check(settings::ReadConfigFile(g_path.c_str(), fromFile), "file not read");
    check(fromFile == entries, "file and memory disagree");
    return 0;
}
