#include "Report.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "OrvaneSdk.h"

namespace cli {

const char* libraryErrorText(int code) {
    switch (code) {
        case ORVANE_ERR_NONE:
            return "no error";
        case ORVANE_ERR_STATE:
            return "not possible in the current state";
        case ORVANE_ERR_NO_CAMERA:
            return "camera not present or cannot be opened";
        case ORVANE_ERR_THREAD:
            return "thread or event cannot be created";
        case ORVANE_ERR_WINDOW:
            return "preview window cannot be created, or no size preset matches";
        case ORVANE_ERR_MEMORY:
            return "memory or buffer problem";
        case ORVANE_ERR_DEVICE:
            return "device communication failed";
        case ORVANE_ERR_WINDOW_RANGE:
            return "capture window invalid or refused by the device";
        case ORVANE_ERR_NO_FRAME:
            return "no frame was obtained";
        case ORVANE_ERR_ARGUMENT:
            return "invalid argument";
        case ORVANE_ERR_UNSUPPORTED:
            return "not supported by this camera or library";
        case ORVANE_ERR_CONVERSION:
            return "file name conversion failed, or the file cannot be started";
        case ORVANE_ERR_DELIVERY:
            return "the device's frame delivery failed";
        case ORVANE_ERR_MASK_FILE:
            return "mask file cannot be opened or has a wrong header";
        default:
            return "unknown error";
    }
}

std::string libraryError(int code) {
    if (code == ORVANE_ERR_NONE) return {};
    return "library error " + std::to_string(code) + " (" + libraryErrorText(code) + ")";
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
