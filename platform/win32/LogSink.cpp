#include "platform/LogSink.h"

#include <windows.h>

#include <cstdio>

namespace orvane::platform {

// The debugger's output (DebugView, an IDE) is where Windows developers look; stderr as well,
// for console applications and tests.
void writeLogLine(const char* line) {
    OutputDebugStringA(line);
    std::fputs(line, stderr);
}

}  // namespace orvane::platform
