// One small logger, off unless ORVANE_LOG=debug|info|warn is set; writes to stderr.
#pragma once

namespace orvane::platform {

enum class LogLevel { Debug = 0, Info = 1, Warn = 2 };

bool logEnabled(LogLevel level);
void logWrite(LogLevel level, const char* fmt, ...) __attribute__((format(printf, 2, 3)));

}  // namespace orvane::platform

#define ORVANE_LOG(level, ...)                                \
    do {                                                      \
        if (::orvane::platform::logEnabled(level))            \
            ::orvane::platform::logWrite(level, __VA_ARGS__); \
    } while (0)
