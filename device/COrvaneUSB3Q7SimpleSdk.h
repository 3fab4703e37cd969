// The device SDK object the session creates. It adds nothing to COrvaneU3Q7Base but its own
// destructor, which closes the camera before the base members go.
#pragma once

#include "device/COrvaneU3Q7Base.h"

namespace orvane::device {

class COrvaneUSB3Q7SimpleSdk : public COrvaneU3Q7Base {
  public:
    COrvaneUSB3Q7SimpleSdk() = default;
    ~COrvaneUSB3Q7SimpleSdk() override;
};

}  // namespace orvane::device
