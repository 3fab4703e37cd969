#include "ErrorText.h"

#include "OrvaneSdk.h"

namespace orvane::tools {

const char* errorText(int code) {
    switch (code) {
        case ORVANE_ERR_NONE:
            return "no error";
        case ORVANE_ERR_STATE:
            return "no device object, or not possible in the current state";
        case ORVANE_ERR_NO_CAMERA:
            return "camera not present or cannot be opened";
        case ORVANE_ERR_THREAD:
            return "thread or event cannot be created";
        case ORVANE_ERR_WINDOW:
            return "preview window cannot be created, or no size preset matches";
        case ORVANE_ERR_MEMORY:
            return "memory or buffer problem";
        case ORVANE_ERR_DEVICE:
            return "device communication failed";
        case ORVANE_ERR_WINDOW_RANGE:
            return "capture window invalid or refused by the device";
        case ORVANE_ERR_NO_FRAME:
            return "no frame was obtained";
        case ORVANE_ERR_ARGUMENT:
            return "invalid argument";
        case ORVANE_ERR_UNSUPPORTED:
            return "not supported by this camera or library";
        case ORVANE_ERR_CONVERSION:
            return "text conversion failed, or a bad mask-update argument";
        case ORVANE_ERR_DELIVERY:
            return "the device's frame delivery failed";
        case ORVANE_ERR_MASK_FILE:
            return "mask file cannot be opened or has a wrong header";
        default:
            return "unknown error";
    }
}

}  // namespace orvane::tools
