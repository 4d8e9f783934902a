#pragma once
// The ORBA camera's command protocol: ten-byte frames sent as three packets
// through the pan/tilt property of the camera-control property set.
#include <windows.h>

#include <dshow.h>
#include <ks.h>
#include <ksmedia.h>

#include <cstddef>
#include <cstdint>

// PROPSETID_VIDCAP_CAMERACONTROL {C6E13370-30AC-11D0-A18C-00A0C9118956}
extern const GUID kPropSetCameraControl;
constexpr DWORD kCameraPropertyPanTilt = KSPROPERTY_CAMERACONTROL_PANTILT;  // 9
constexpr DWORD kCameraPropertyZoom = KSPROPERTY_CAMERACONTROL_ZOOM;        // 3

static_assert(sizeof(KSPROPERTY_CAMERACONTROL_S2) == 40, "the camera record is 40 bytes");
static_assert(offsetof(KSPROPERTY_CAMERACONTROL_S2, Value1) == 24, "Value1 at byte 24");
static_assert(offsetof(KSPROPERTY_CAMERACONTROL_S2, Flags) == 28, "Flags at byte 28");
static_assert(offsetof(KSPROPERTY_CAMERACONTROL_S2, Capabilities) == 32, "Capabilities at byte 32");
static_assert(offsetof(KSPROPERTY_CAMERACONTROL_S2, Value2) == 36, "Value2 at byte 36");

constexpr size_t kCameraFrameBytes = 10;
constexpr size_t kCameraPacketBytes = 5;
constexpr uint8_t kCameraClass = 0x6E;   // camera functions, with a check byte
constexpr uint8_t kControlClass = 0xF0;  // stream control

struct CameraFrame {
  uint8_t bytes[kCameraFrameBytes];
};

CameraFrame MakeCameraFrame(uint8_t frameClass, uint8_t code);
// The 16-bit sum of the ten bytes (never wraps).
uint16_t CameraFrameSum(const uint8_t* frame);
// Packet n (1..3) of a frame.
void MakeCameraPacket(const uint8_t* frame, int number, uint8_t (&packet)[kCameraPacketBytes]);
// Two whole bytes and one nibble of packet byte 2 in each value.
void PackCameraPacket(const uint8_t (&packet)[kCameraPacketBytes],
                      KSPROPERTY_CAMERACONTROL_S2* record);

// Sends the three packets (the third twice) and reads the zoom back. 1 when
// there is no property set; otherwise the read-back's HRESULT.
HRESULT SendCommandFrame(IKsPropertySet* propertySet, const uint8_t* frame);
// Logs the frame and sends it through the viewer's camera property set.
HRESULT ORBA_SendCommand(const uint8_t* frame);

// One operation per command.
HRESULT CameraKeyF1Command();           // 0x6E 0x01
HRESULT CameraKeyF3Command();           // 0x6E 0x02
HRESULT CameraKeyF2Command();           // 0x6E 0x03
HRESULT ZoomWide();                     // 0x6E 0x0B "ZOOM_WIDE"
HRESULT ZoomTele();                     // 0x6E 0x0C "ZOOM_TELE"
HRESULT ZoomStop();                     // 0x6E 0x0D "ZOOM_STOP"
HRESULT CameraKeyCCommand();            // 0x6E 0x0E
HRESULT CameraKeyVCommand();            // 0x6E 0x0F
HRESULT CameraReleaseCommand();         // 0x6E 0x10
HRESULT CameraKeyTCommand();            // 0x6E 0x11
HRESULT CameraDigitCommand(int digit);  // 0x6E 0x11 + digit, digits 1..9
HRESULT CameraKeyZCommand();            // 0x6E 0x1B
HRESULT CameraHalfLayoutCommand();      // 0x6E 0x1C
HRESULT CameraFullLayoutCommand();      // 0x6E 0x1D
HRESULT CameraFrameSkippingOff();       // 0xF0 0x02
HRESULT CameraFrameSkippingOn();        // 0xF0 0x03
HRESULT CameraStartCommand();           // 0xF0 0x04
HRESULT CameraEndCommand();             // 0xF0 0x05
HRESULT CameraKeyGCommand();            // 0xF0 0x08
HRESULT CameraKeyHCommand();            // 0xF0 0x09
HRESULT CameraKeyDeleteCommand();       // 0xF0 0xFE
HRESULT CameraKeyInsertCommand();       // 0xF0 0xFF

// The keyboard and the clock as the command sequences see them; tests replace both.
struct KeyInput {
  bool (*isDown)(void* context, int virtualKey);
  void (*sleep)(void* context, DWORD milliseconds);
  ULONGLONG (*now)(void* context);  // milliseconds, any origin
  void* context;
};
// The longest the key sequences wait for the keys to be let go: a key whose
// release never arrives must not hold the viewer's thread for ever.
constexpr ULONGLONG kMaxKeyHoldMs = 20000;
KeyInput SystemKeyInput();

// Zoom while Ctrl, the zoom key and the left Windows key are all held.
void HoldToZoom(bool zoomIn, int zoomKey, const KeyInput& input);
// Sends the command at most once while Ctrl, the key and the left Windows key
// are down, then arms the release timer of the viewer window.
void PressAndRelease(HRESULT (*command)(), int key, const KeyInput& input);
// The release timer: ZOOM_STOP, then 0x6E 0x10.
void CompleteReleaseTimer();
// Every digit key 1..9 that is down sends its command, in ascending order.
void SendDigitCommands(const KeyInput& input);

// Start-up: frame skipping from "SKIPFRAMES" (kept in skipFrames), 0xF0 0x04, 0xF0 0x09.
void SendCameraStartupSequence();
// The frame-skipping keys: the command, then the setting stored at once.
void SetFrameSkipping(bool on);
