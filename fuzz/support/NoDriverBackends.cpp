// The fuzz build registers no driver backends: the fuzzer installs its own scripted device
// with a ScopedBackendOverride, and no real or virtual camera may answer instead.
#include "transport/DriverBackends.h"

namespace orvane::transport {

void registerDriverBackends() {}

}  // namespace orvane::transport
