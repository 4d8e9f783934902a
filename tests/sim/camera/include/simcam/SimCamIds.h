#pragma once
// Identity and switches of the simulated ORBA camera (OrbaSimCam.ax), shared by the
// camera, its control library and the tests.
#include <windows.h>

#include <cstdint>

namespace simcam {

// The camera's capture filter class. {B7E3F0A2-5C14-4D8E-A0F9-0525A941C0DE}
inline const CLSID CLSID_OrbaSimCam = {
    0xb7e3f0a2, 0x5c14, 0x4d8e, {0xa0, 0xf9, 0x05, 0x25, 0xa9, 0x41, 0xc0, 0xde}};
constexpr wchar_t kFilterName[] = L"ORBA Simulated Camera";

// The video-input device instance that makes the camera visible to the system
// device enumerator (HKCR\CLSID\{category}\Instance\{instance}).
constexpr char kVideoInputCategory[] = "{860BB310-5D01-11D0-BD3B-00A0C911CE86}";
constexpr char kDeviceInstance[] = "{6A1C2B3D-0525-4941-8000-0000000CA4E0}";
constexpr char kFriendlyName[] = "ORBA Camera";
constexpr char kDevicePath[] =
    "\\\\?\\usb#vid_0525&pid_a941&mi_00#7&1&0&0000#{65e8773d-8f56-11d0-a3b9-00a0c9223196}\\global";

// The capture format.
constexpr int32_t kWidth = 1280;
constexpr int32_t kHeight = 720;
constexpr uint16_t kBitCount = 24;
constexpr uint32_t kSizeImage = kWidth * kHeight * 3;
constexpr uint32_t kDefaultFrameRate = 30;
constexpr uint32_t kMinFrameRate = 1;
constexpr uint32_t kMaxFrameRate = 60;
constexpr wchar_t kCapturePinName[] = L"Capture";

// Options, read when a filter is created: HKCU\Software\OrbaTests\SimCam.
constexpr char kOptionsKey[] = "Software\\OrbaTests\\SimCam";
constexpr char kOptFrameRate[] = "FrameRate";            // DWORD, frames per second
constexpr char kOptOmitHuffman[] = "OmitHuffmanTables";  // DWORD, nonzero: no DHT
constexpr char kOptNoPropertySet[] = "NoPropertySet";    // DWORD, nonzero: no IKsPropertySet
constexpr char kOptLogPath[] = "LogPath";                // string, property-set log
constexpr char kOptDumpFolder[] = "DumpFolder";          // string, copy of every sample
constexpr char kDefaultLogPath[] = "C:\\orba-test\\simcam-log.txt";

// Set while the camera is "unplugged": the streaming thread delivers nothing.
constexpr char kUnpluggedEvent[] = "OrbaSimCamUnplugged";

// The camera-control property set and the two properties the camera takes.
// {C6E13370-30AC-11D0-A18C-00A0C9118956}
inline const GUID kPropSetCameraControl = {
    0xc6e13370, 0x30ac, 0x11d0, {0xa1, 0x8c, 0x00, 0xa0, 0xc9, 0x11, 0x89, 0x56}};
constexpr ULONG kPropPanTilt = 9;
constexpr ULONG kPropZoom = 3;
// The camera-control record with two values (KSPROPERTY_CAMERACONTROL_S2).
struct CameraControlRecord {
  uint8_t header[24];  // property set, id and flags of the kernel-streaming header
  int32_t Value1;
  uint32_t Flags;
  uint32_t Capabilities;
  int32_t Value2;
};
static_assert(sizeof(CameraControlRecord) == 40, "the record is 40 bytes on every target");
constexpr uint32_t kCameraControlFlagsManual = 2;
// What a read of the zoom property answers.
constexpr LONG kZoomValue = 100;

}  // namespace simcam
