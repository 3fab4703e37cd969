#include "Report.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "ErrorText.h"
#include "OrvaneSdk.h"

namespace cli {

std::string libraryError(int code) {
    if (code == ORVANE_ERR_NONE) return {};
    return "library error " + std::to_string(code) + " (" + orvane::tools::errorText(code) + ")";
}

int fail(const std::string& what, const std::string& detail) {
    std::fprintf(stderr, "orvane-cli: %s failed: %s\n", what.c_str(),
                 detail.empty() ? "the library gave no reason" : detail.c_str());
    return kExitFailure;
}

int usageError(const std::string& message) {
    std::fprintf(stderr, "orvane-cli: %s\n(run 'orvane-cli --help' for usage)\n", message.c_str());
    return kExitUsage;
}

std::string whyCannotWrite(const std::string& path) {
    struct stat st {};
    const bool existed = ::stat(path.c_str(), &st) == 0;
    if (existed && S_ISDIR(st.st_mode))
        return "cannot write " + path + ": " + std::strerror(EISDIR);
    FILE* f = std::fopen(path.c_str(), "ab");
    if (f == nullptr) return "cannot write " + path + ": " + std::strerror(errno);
    std::fclose(f);
    if (!existed) std::remove(path.c_str());
    return {};
}

std::string whyCannotRead(const std::string& path) {
    FILE* f = std::fopen(path.c_str(), "rb");
    if (f == nullptr) return "cannot read " + path + ": " + std::strerror(errno);
    std::fclose(f);
    return {};
}

std::string joinReasons(const std::string& a, const std::string& b) {
    if (a.empty()) return b;
    if (b.empty()) return a;
    return a + "; " + b;
}

}  // namespace cli
