#pragma once
// Finding the ORBA camera among the video input devices, opening its command
// property set, and naming its USB device in the device registry.
#include <windows.h>

#include <dshow.h>

// IKsPropertySet {31EFAC30-515C-11D0-A9AA-00AA0061BE93}
extern const GUID kIID_IKsPropertySet;

extern const char
    kCameraEnumKey[];  // HKLM "System\\CurrentControlSet\\Enum\\USB\\Vid_0525&Pid_a941&MI_00"
extern const char kCameraDisplayName[];  // "Opticorva Video"

// Both "vid_0525" and "pid_a941", anywhere, case-sensitive.
bool DevicePathMatchesCamera(const wchar_t* path);

// The first matching video input device's capture filter into *filter; left
// untouched when no device matches (callers preset it to null and test it).
HRESULT FindCamera(IBaseFilter** filter);
// The viewer's capture filter's IKsPropertySet into the viewer's camera control
// reference (null on failure).
HRESULT OpenCameraControl();
// A fresh discovery pass; the viewer's own references are not touched.
bool IsCameraPresent();

// Writes the name into every instance key of the camera's device key, after
// setting each key's access list. Returns the error of the last registry step
// (ERROR_NO_MORE_ITEMS after a complete pass).
LONG SetCameraFriendlyName(const char* name);
// Replaces the instance key's access list: interactive users may read, the
// Administrators and LocalSystem have full access. 0, or ERROR_INVALID_DATA.
LONG GrantEnumKeyAccess(HKEY parent, const char* instance);
