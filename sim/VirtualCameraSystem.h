// The virtual cameras as a backend of the driver port, and the C++ hook for tests.
//
// Enabling. The library uses virtual cameras only on request:
//  - ORVANE_VIRTUAL_CAMERAS, a comma-separated list of cameras, each PID[:option=value]...
//    with PID in hexadecimal (30f0), or a bare count N for N cameras of 30f0 (an item of
//    decimal digits up to 32 is a count, anything else a product ID). Options:
//    pace=realtime|fast, scene=chart|flat:V|sites:R/G/B|ramp, hot=N, dead=N, fail_after=N,
//    drop=N, unplug_after=N, and the hostile-device options of DeviceFaults.h (CameraList.h
//    has the grammar). registerVirtualCameraBackend() (called by the transport before it
//    first asks the driver port for a backend) registers a factory that reads the variable;
//    the factory yields nothing while it is unset, so real cameras are used.
//  - From C++, a test installs cameras for its own scope:
//
//        orvane::sim::ScopedVirtualCameras cams("30f0:pace=fast:scene=flat:100,30f0");
//        // or: ScopedVirtualCameras cams({CameraOptions{...}, CameraOptions{...}});
//        orvane::transport::CKelCy3Cam controller;   // sees both cameras
//        controller.Enumerate();
//        controller.SelectDevice(0);
//        cams.camera(0).sensorRegister(0x021F);     // IMX178 register file (bus 0x48)
//        cams.camera(0).fpgaRegister(0x3C);         // FPGA registers (bus 0x40)
//        cams.camera(0).requestLog();               // every request the camera received
//        cams.camera(0).fireTrigger();              // FPGA register 8 counts it
//        cams.camera(0).setSuppressHeaders(true);   // faults: see VirtualCamera.h
//        cams.camera(1).unplug();                   // its path no longer opens
//
//    Controllers created while the object lives use these cameras (it overrides the
//    environment); controllers keep the cameras alive as long as they hold handles.
//
// Device paths follow the USB form \\?\usb#vid_04b4&pid_30f0#<serial>#{guid}.
//
// Threads: all functions may be called from any thread.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "platform/Sync.h"
#include "platform/usb/DriverPort.h"
#include "sim/CameraList.h"
#include "sim/VirtualCamera.h"

namespace orvane::sim {

class VirtualCameraSystem : public platform::usb::DriverBackend {
  public:
    explicit VirtualCameraSystem(const std::vector<CameraOptions>& cameras);
    ~VirtualCameraSystem() override;

    // Null (with a message) when `text` is malformed.
    static std::shared_ptr<VirtualCameraSystem> fromList(const std::string& text,
                                                         std::string* error = nullptr);

    size_t cameraCount() const;
    VirtualCamera& camera(size_t index) const;  // index < cameraCount()
    std::shared_ptr<VirtualCamera> cameraPtr(size_t index) const;
    // Hot-plugs another camera; returns its index.
    size_t addCamera(const CameraOptions& options);
    std::string devicePath(size_t index) const;

    // DriverBackend
    const char* name() const override { return "virtual"; }
    std::vector<std::string> listDevicePaths(const platform::usb::InterfaceGuid& guid) override;
    std::unique_ptr<platform::usb::DeviceHandle> open(const std::string& path, bool overlapped,
                                                      uint32_t* error) override;

  private:
    mutable platform::Mutex mutex_;
    std::vector<std::shared_ptr<VirtualCamera>> cameras_ ORVANE_GUARDED_BY(mutex_);
    std::vector<std::string> paths_ ORVANE_GUARDED_BY(mutex_);
};

// Makes the driver port answer with `system` (or with new cameras) for this object's lifetime.
class ScopedVirtualCameras {
  public:
    explicit ScopedVirtualCameras(const std::vector<CameraOptions>& cameras = {CameraOptions{}});
    // `list` in the ORVANE_VIRTUAL_CAMERAS syntax; a malformed list gives no cameras.
    explicit ScopedVirtualCameras(const std::string& list);

    VirtualCameraSystem& system() const { return *system_; }
    VirtualCamera& camera(size_t index) const { return system_->camera(index); }
    std::shared_ptr<VirtualCameraSystem> shared() const { return system_; }

  private:
    std::shared_ptr<VirtualCameraSystem> system_;
    platform::usb::ScopedBackendOverride override_;
};

// Registers the ORVANE_VIRTUAL_CAMERAS factory with the driver port (idempotent).
void registerVirtualCameraBackend();

}  // namespace orvane::sim
