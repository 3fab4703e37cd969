#include "platform/LogSink.h"

#include <cstdio>

namespace orvane::platform {

void writeLogLine(const char* line) {
    std::fputs(line, stderr);
}

}  // namespace orvane::platform
