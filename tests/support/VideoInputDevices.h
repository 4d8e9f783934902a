#pragma once
// Video input devices as the system device enumerator reads them from the
// registry, for discovery tests without a real camera.
#include <windows.h>

#include <string>
#include <vector>

#include "RegistrySnapshot.h"

namespace orba_test {

// HKCR\CLSID\{860BB310-5D01-11D0-BD3B-00A0C911CE86}\Instance
extern const char kVideoInputInstanceKey[];
extern const char kSmartTeeClsid[];      // a filter without IKsPropertySet
extern const char kNullRendererClsid[];  // another one, to tell devices apart
// A device path of the ORBA camera, as the USB video driver reports it.
extern const char kOrbaCameraDevicePath[];

// Registers one device instance; devicePath null leaves "DevicePath" out.
bool AddVideoInputDevice(const std::string& instance, const std::string& friendlyName,
                         const std::string& clsid, const char* devicePath);

// The friendly names of the video input devices in the system device
// enumerator's order (COM is initialised for the call when it is not yet).
std::vector<std::string> VideoInputDeviceNames();

// For the lifetime of the object the video input category holds no ORBA camera
// (kRemoveCameras) or nothing at all (kRemoveAll); everything is put back after.
class ScopedVideoInputDevices {
 public:
  enum Mode { kRemoveCameras, kRemoveAll };
  explicit ScopedVideoInputDevices(Mode mode);
  ScopedVideoInputDevices(const ScopedVideoInputDevices&) = delete;
  ScopedVideoInputDevices& operator=(const ScopedVideoInputDevices&) = delete;

 private:
  ScopedRegistryTree saved_;
};

}  // namespace orba_test
