#include "platform/Log.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "platform/LogSink.h"

namespace orvane::platform {
namespace {

constexpr int kOff = 99;

int thresholdFromEnvironment() {
    const char* value = std::getenv("ORVANE_LOG");
    if (value == nullptr) return kOff;
    if (std::strcmp(value, "debug") == 0) return static_cast<int>(LogLevel::Debug);
    if (std::strcmp(value, "info") == 0) return static_cast<int>(LogLevel::Info);
    if (std::strcmp(value, "warn") == 0) return static_cast<int>(LogLevel::Warn);
    return kOff;
}

int threshold() {
    static const int value = thresholdFromEnvironment();  // Thread-safe static init.
    return value;
}

std::mutex g_writeMutex;  // Keeps lines from different threads whole.

}  // namespace

bool logEnabled(LogLevel level) {
    return static_cast<int>(level) >= threshold();
}

void logWrite(LogLevel level, const char* fmt, ...) {
    static const char* const kNames[] = {"debug", "info", "warn"};
    char message[1024];
    va_list args;
    va_start(args, fmt);
    std::vsnprintf(message, sizeof message, fmt, args);
    va_end(args);
    char line[1100];
    std::snprintf(line, sizeof line, "orvane %s: %s\n", kNames[static_cast<int>(level)], message);
    std::lock_guard lock(g_writeMutex);
    writeLogLine(line);
}

}  // namespace orvane::platform
