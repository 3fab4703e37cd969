// The library keeps its own copies of the public constants and records so that the layers
// below api/ never include the application's header. These checks tie every copy to the
// header: a change on either side that is not made on the other fails the build.
#include <cstddef>

#include "OrvaneSdk.h"
#include "output/ImageFileWriter.h"
#include "platform/MessageWindow.h"
#include "session/COrvane.h"
#include "session/ControlTable.h"
#include "session/ErrorHistory.h"

namespace orvane::api {
namespace {

using namespace orvane::session;

// Error codes.
static_assert(kErrNone == ORVANE_ERR_NONE);
static_assert(kErrState == ORVANE_ERR_STATE);
static_assert(kErrNoCamera == ORVANE_ERR_NO_CAMERA);
static_assert(kErrThread == ORVANE_ERR_THREAD);
static_assert(kErrWindow == ORVANE_ERR_WINDOW);
static_assert(kErrMemory == ORVANE_ERR_MEMORY);
static_assert(kErrDevice == ORVANE_ERR_DEVICE);
static_assert(kErrWindowRange == ORVANE_ERR_WINDOW_RANGE);
static_assert(kErrNoFrame == ORVANE_ERR_NO_FRAME);
static_assert(kErrArgument == ORVANE_ERR_ARGUMENT);
static_assert(kErrUnsupported == ORVANE_ERR_UNSUPPORTED);
static_assert(kErrConversion == ORVANE_ERR_CONVERSION);
static_assert(kErrDelivery == ORVANE_ERR_DELIVERY);
static_assert(kErrMaskFile == ORVANE_ERR_MASK_FILE);

// Filter identifiers: every row of the control table against the header's name for it.
#define ORVANE_CHECK_CONTROL_ID(a, stem, id, header, ...) \
    static_assert(kControl##stem == (header), "identifier of " #stem);
ORVANE_CONTROLS(ORVANE_CHECK_CONTROL_ID, )
#undef ORVANE_CHECK_CONTROL_ID

// Message numbers.
static_assert(kMsgFrame == ORVANE_WM_FRAME);
static_assert(kMsgError == ORVANE_WM_ERROR);
static_assert(platform::kWmDeviceChange == WM_DEVICECHANGE);
static_assert(platform::kDbtDeviceArrival == DBT_DEVICEARRIVAL);
static_assert(platform::kDbtDeviceRemoveComplete == DBT_DEVICEREMOVECOMPLETE);

// Image file formats.
static_assert(output::kImageFormatBmp == ORVANE_FORMAT_BMP);
static_assert(output::kImageFormatRaw == ORVANE_FORMAT_RAW);
static_assert(output::kImageFormatJpeg100 == ORVANE_FORMAT_JPEG100);
static_assert(output::kImageFormatJpeg70 == ORVANE_FORMAT_JPEG70);
static_assert(output::kImageFormatJpeg20 == ORVANE_FORMAT_JPEG20);
static_assert(output::kImageFormatPng == ORVANE_FORMAT_PNG);
static_assert(output::kImageFormatTiff == ORVANE_FORMAT_TIFF);

// The frame-information record: the session fills its own struct and posts its address.
static_assert(sizeof(FrameInfo) == sizeof(OrvaneFrameInfo));
static_assert(alignof(FrameInfo) == alignof(OrvaneFrameInfo));
static_assert(offsetof(FrameInfo, reserved) == offsetof(OrvaneFrameInfo, reserved));
static_assert(offsetof(FrameInfo, width) == offsetof(OrvaneFrameInfo, width));
static_assert(offsetof(FrameInfo, height) == offsetof(OrvaneFrameInfo, height));
static_assert(offsetof(FrameInfo, bitsPerPixel) == offsetof(OrvaneFrameInfo, bitsPerPixel));
static_assert(offsetof(FrameInfo, frameRate) == offsetof(OrvaneFrameInfo, frameRate));
static_assert(offsetof(FrameInfo, buffer) == offsetof(OrvaneFrameInfo, buffer));

// The camera-information record is written by byte offset: the 36-byte short form ends
// after exposureMax plus the unwritten reserved field, and the two doubles follow at 40.
static_assert(offsetof(OrvaneCameraInfo, sensorWidth) == 4);
static_assert(offsetof(OrvaneCameraInfo, exposureMax) == 32);
static_assert(offsetof(OrvaneCameraInfo, exposureSecondsMin) == 40);
static_assert(offsetof(OrvaneCameraInfo, exposureSecondsMax) == 48);
static_assert(sizeof(OrvaneCameraInfo) == 56);

}  // namespace
}  // namespace orvane::api
