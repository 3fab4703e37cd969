#pragma once

// The library's error codes in words, for the applications built in this tree (orvane-cli, the
// viewer, the GStreamer element). The texts are those beside the codes in OrvaneSdk.h.
namespace orvane::tools {

// A constant text for any code; "unknown error" for a code the library does not define.
const char* errorText(int code);

}  // namespace orvane::tools
