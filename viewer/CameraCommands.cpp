#include "CameraCommands.h"

#include <cstring>

#include "Settings.h"
#include "ViewerState.h"
#include "orba/Log.h"

const GUID kPropSetCameraControl = {
    0xc6e13370, 0x30ac, 0x11d0, {0xa1, 0x8c, 0x00, 0xa0, 0xc9, 0x11, 0x89, 0x56}};

namespace {

constexpr ULONG kManual = 2;  // KSPROPERTY_CAMERACONTROL_FLAGS_MANUAL
constexpr DWORD kRecordBytes = sizeof(KSPROPERTY_CAMERACONTROL_S2);

HRESULT SendCamera(uint8_t code) {
  const CameraFrame frame = MakeCameraFrame(kCameraClass, code);
  return ORBA_SendCommand(frame.bytes);
}

HRESULT SendControl(uint8_t code) {
  const CameraFrame frame = MakeCameraFrame(kControlClass, code);
  return ORBA_SendCommand(frame.bytes);
}

bool AllHeld(int key, const KeyInput& input) {
  return input.isDown(input.context, VK_CONTROL) && input.isDown(input.context, key) &&
         input.isDown(input.context, VK_LWIN);
}

// All keys still held, and not yet for longer than a key is ever held.
bool StillHeld(int key, const KeyInput& input, ULONGLONG since) {
  if (!AllHeld(key, input)) return false;
  if (input.now(input.context) - since < kMaxKeyHoldMs) return true;
  DebugLine("keys held for more than %lu ms: taken as released",
            static_cast<unsigned long>(kMaxKeyHoldMs));
  return false;
}

// Key repeats and hot keys that piled up while a zoom key was held are dropped:
// the input and posted messages that were waiting when the keys were let go. A
// pending WM_PAINT is never removed by PeekMessage, and messages that arrive
// meanwhile (another thread may post without pause) are left for the loop;
// either would keep a plain "remove until empty" running for ever.
void DiscardWaitingMessages() {
  constexpr UINT kWaiting = PM_QS_INPUT | PM_QS_POSTMESSAGE;
  const DWORD now = GetTickCount();
  MSG msg;
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE | kWaiting)) {
    if (static_cast<LONG>(msg.time - now) > 0) break;
    if (!PeekMessageA(&msg, msg.hwnd, msg.message, msg.message, PM_REMOVE | kWaiting)) break;
  }
}

bool SystemIsDown(void*, int vk) { return (GetAsyncKeyState(vk) & 0x8000) != 0; }
void SystemSleep(void*, DWORD ms) { Sleep(ms); }
ULONGLONG SystemNow(void*) { return GetTickCount64(); }

}  // namespace

CameraFrame MakeCameraFrame(uint8_t frameClass, uint8_t code) {
  CameraFrame f = {};
  f.bytes[0] = frameClass;
  if (frameClass == kCameraClass) {
    const uint8_t header[] = {0x6E, 0x51, 0x86, 0xC2, 0x00, 0x00, 0x04, 0x30};
    std::memcpy(f.bytes, header, sizeof header);
    f.bytes[8] = code;
    uint8_t check = 0;
    for (size_t i = 0; i < 9; ++i) check ^= f.bytes[i];
    f.bytes[9] = check;
  } else {
    f.bytes[8] = code;
  }
  return f;
}

uint16_t CameraFrameSum(const uint8_t* frame) {
  unsigned sum = 0;
  for (size_t i = 0; i < kCameraFrameBytes; ++i) sum += frame[i];
  return static_cast<uint16_t>(sum);
}

void MakeCameraPacket(const uint8_t* frame, int number, uint8_t (&packet)[kCameraPacketBytes]) {
  packet[0] = static_cast<uint8_t>(number);
  if (number == 1 || number == 2) {
    std::memcpy(packet + 1, frame + (number - 1) * 4, 4);
  } else {
    const uint16_t sum = CameraFrameSum(frame);
    packet[1] = frame[8];
    packet[2] = frame[9];
    packet[3] = static_cast<uint8_t>(sum & 0xFF);
    packet[4] = static_cast<uint8_t>(sum >> 8);
  }
}

void PackCameraPacket(const uint8_t (&p)[kCameraPacketBytes], KSPROPERTY_CAMERACONTROL_S2* r) {
  r->Value1 = static_cast<LONG>(p[0] | (p[1] << 8) | ((p[2] & 0x0F) << 16));
  r->Value2 = static_cast<LONG>(p[3] | (p[4] << 8) | ((p[2] >> 4) << 16));
}

HRESULT SendCommandFrame(IKsPropertySet* propertySet, const uint8_t* frame) {
  KSPROPERTY_CAMERACONTROL_S2 record;
  std::memset(&record, 0, sizeof record);
  record.Flags = kManual;
  record.Capabilities = kManual;
  if (!propertySet) return 1;

  for (int number = 1; number <= 3; ++number) {
    uint8_t packet[kCameraPacketBytes];
    MakeCameraPacket(frame, number, packet);
    PackCameraPacket(packet, &record);
    propertySet->Set(kPropSetCameraControl, kCameraPropertyPanTilt, &record, kRecordBytes, &record,
                     kRecordBytes);
  }
  // The last packet goes out a second time, unchanged.
  propertySet->Set(kPropSetCameraControl, kCameraPropertyPanTilt, &record, kRecordBytes, &record,
                   kRecordBytes);
  DWORD returned = 0;
  return propertySet->Get(kPropSetCameraControl, kCameraPropertyZoom, nullptr, 0, &record,
                          kRecordBytes, &returned);
}

HRESULT ORBA_SendCommand(const uint8_t* frame) {
  DebugLine("ORBA_SendCommand: 0x%x 0x%x 0x%x 0x%x 0x%x 0x%x 0x%x 0x%x 0x%x 0x%x", frame[0],
            frame[1], frame[2], frame[3], frame[4], frame[5], frame[6], frame[7], frame[8],
            frame[9]);
  return SendCommandFrame(g_viewer.pCameraControl, frame);
}

HRESULT CameraKeyF1Command() { return SendCamera(0x01); }
HRESULT CameraKeyF3Command() { return SendCamera(0x02); }
HRESULT CameraKeyF2Command() { return SendCamera(0x03); }
HRESULT ZoomWide() {
  DebugLine("ZOOM_WIDE");
  return SendCamera(0x0B);
}
HRESULT ZoomTele() {
  DebugLine("ZOOM_TELE");
  return SendCamera(0x0C);
}
HRESULT ZoomStop() {
  DebugLine("ZOOM_STOP");
  return SendCamera(0x0D);
}
HRESULT CameraKeyCCommand() { return SendCamera(0x0E); }
HRESULT CameraKeyVCommand() { return SendCamera(0x0F); }
HRESULT CameraReleaseCommand() { return SendCamera(0x10); }
HRESULT CameraKeyTCommand() { return SendCamera(0x11); }
HRESULT CameraDigitCommand(int digit) {
  if (digit < 1 || digit > 9) return E_INVALIDARG;
  return SendCamera(static_cast<uint8_t>(0x11 + digit));
}
HRESULT CameraKeyZCommand() { return SendCamera(0x1B); }
HRESULT CameraHalfLayoutCommand() { return SendCamera(0x1C); }
HRESULT CameraFullLayoutCommand() { return SendCamera(0x1D); }
HRESULT CameraFrameSkippingOff() { return SendControl(0x02); }
HRESULT CameraFrameSkippingOn() { return SendControl(0x03); }
HRESULT CameraStartCommand() { return SendControl(0x04); }
HRESULT CameraEndCommand() { return SendControl(0x05); }
HRESULT CameraKeyGCommand() { return SendControl(0x08); }
HRESULT CameraKeyHCommand() { return SendControl(0x09); }
HRESULT CameraKeyDeleteCommand() { return SendControl(0xFE); }
HRESULT CameraKeyInsertCommand() { return SendControl(0xFF); }

KeyInput SystemKeyInput() { return KeyInput{SystemIsDown, SystemSleep, SystemNow, nullptr}; }

void HoldToZoom(bool zoomIn, int zoomKey, const KeyInput& input) {
  DebugLine(zoomIn ? "UP key enter" : "Down key enter");
  if (zoomIn) {
    ZoomTele();
  } else {
    ZoomWide();
  }
  input.sleep(input.context, 30);
  const ULONGLONG since = input.now(input.context);
  while (StillHeld(zoomKey, input, since)) input.sleep(input.context, 0);
  ZoomStop();
  input.sleep(input.context, 30);
  ZoomStop();
  DiscardWaitingMessages();
  DebugLine(zoomIn ? "UP key exit" : "Down key exit");
}

void PressAndRelease(HRESULT (*command)(), int key, const KeyInput& input) {
  bool sent = false;
  const ULONGLONG since = input.now(input.context);
  while (StillHeld(key, input, since)) {
    if (!sent) {
      command();
      sent = true;
    }
  }
  SetTimer(g_viewer.hwndViewer, kReleaseTimerId, 20, nullptr);
}

void CompleteReleaseTimer() {
  KillTimer(g_viewer.hwndViewer, kReleaseTimerId);
  ZoomStop();
  CameraReleaseCommand();
}

void SendDigitCommands(const KeyInput& input) {
  for (int digit = 1; digit <= 9; ++digit) {
    if (input.isDown(input.context, '0' + digit)) CameraDigitCommand(digit);
  }
}

void SendCameraStartupSequence() {
  g_viewer.skipFrames = 0;
  bool flag = false;
  if (ReadSettingFlag(kSkipFramesValue, &flag) == ERROR_SUCCESS) g_viewer.skipFrames = flag;
  if (g_viewer.skipFrames) {
    CameraFrameSkippingOn();
  } else {
    CameraFrameSkippingOff();
  }
  CameraStartCommand();
  CameraKeyHCommand();
}

void SetFrameSkipping(bool on) {
  if (on) {
    CameraFrameSkippingOn();
  } else {
    CameraFrameSkippingOff();
  }
  g_viewer.skipFrames = on;
  WriteSettingFlag(kSkipFramesValue, on);
}
