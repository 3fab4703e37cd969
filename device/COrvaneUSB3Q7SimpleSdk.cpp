#include "device/COrvaneUSB3Q7SimpleSdk.h"

namespace orvane::device {

COrvaneUSB3Q7SimpleSdk::~COrvaneUSB3Q7SimpleSdk() {
    Close();
}

}  // namespace orvane::device
