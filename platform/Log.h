// One small logger, off unless ORVANE_LOG=debug|info|warn is set; writes to stderr.
#pragma once

// Formats follow C99 (%zu, %lld) on both systems; mingw builds with its C99 printf
// (__USE_MINGW_ANSI_STDIO), which GCC checks as gnu_printf rather than as Microsoft's.
#if defined(__MINGW32__)
#define ORVANE_PRINTF_FORMAT(f, a) __attribute__((format(gnu_printf, f, a)))
#else
#define ORVANE_PRINTF_FORMAT(f, a) __attribute__((format(printf, f, a)))
#endif

namespace orvane::platform {

enum class LogLevel { Debug = 0, Info = 1, Warn = 2 };

bool logEnabled(LogLevel level);
void logWrite(LogLevel level, const char* fmt, ...) ORVANE_PRINTF_FORMAT(2, 3);

}  // namespace orvane::platform

#define ORVANE_LOG(level, ...)                                \
    do {                                                      \
        if (::orvane::platform::logEnabled(level))            \
            ::orvane::platform::logWrite(level, __VA_ARGS__); \
    } while (0)
