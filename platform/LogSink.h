// Where a finished log line goes; the one part of the logger that differs between systems.
// Called with the logger's write lock held, so lines from different threads stay whole.
#pragma once

namespace orvane::platform {

// `line` ends with a newline.
void writeLogLine(const char* line);

}  // namespace orvane::platform
