#pragma once
// The logic behind TRV_CCTV's exports, over one process-wide state record.
// Exports.cpp binds the exported names to these functions; the helpers are
// declared here so that they can be tested on their own.
#include <windows.h>

#include <cstddef>
#include <cstdint>

namespace trv_cctv {

// Messages to the magnifier's control window and control thread.
constexpr UINT kMsgQueryControlThread = WM_USER + 26;  // sent to the control window
constexpr UINT kMsgViewportOptions = WM_USER + 27;     // posted to the control thread
constexpr UINT kMsgSetViewport = WM_USER + 28;
constexpr UINT kMsgClearViewport = WM_USER + 29;
// The magnifier knows them by these numbers.
static_assert(kMsgQueryControlThread == 1050 && kMsgViewportOptions == 1051 &&
                  kMsgSetViewport == 1052 && kMsgClearViewport == 1053,
              "the magnifier's message numbers");

// The longest a posted viewport change waits for the magnifier's confirmation.
constexpr DWORD kProcessedWaitMs = 5000;
// The longest CCTV_Init waits for the control window's answer to
// kMsgQueryControlThread; a hung magnifier then counts as one without the interface.
constexpr UINT kControlQueryTimeoutMs = 2000;
constexpr char kProcessedEventName[] = "CCTV_message_processed";
constexpr char kNotifyKeyPath[] = "SOFTWARE\\Kavrelo\\Tessel\\cctv_notify";

// Control window classes of the magnifier family, in the order they are searched.
constexpr const char* kControlWindowClasses[] = {
    "TEMBACTRLWINDOW",   "KIVEXCTRLWINDOW",   "QUASKCTRLWINDOW",
    "QUASK_SCTRLWINDOW", "TEMBA_SCTRLWINDOW", "KIVEX_SCTRLWINDOW",
};

// Escape numbers of the display driver's private interface.
constexpr uint32_t kEscapeHandshakeNew = 0xF42A721B;
constexpr uint32_t kSignatureNew = 0xF42A7219;
constexpr uint32_t kEscapeNew = 0x842A95FF;
constexpr uint32_t kEscapeHandshakeOld = 0xF42A721D;
constexpr uint32_t kSignatureOld = 0xF42A721D;
constexpr uint32_t kEscapeOld = 0x842A9601;
// Not a slip: the old driver signs with its handshake escape's own number.
static_assert(kSignatureOld == kEscapeHandshakeOld, "the old driver's signature");

// Driver functions carried by the escape.
constexpr uint32_t kFnHandshake = 28;
constexpr uint32_t kFnStartRender = 34;
constexpr uint32_t kFnStopRender = 35;
constexpr uint32_t kFnSurfaceOf = 36;
constexpr uint32_t kFnCopyBitmap = 39;
constexpr uint32_t kFnRegisterBitmap = 42;
constexpr uint32_t kFnReleaseBitmap = 43;
constexpr uint32_t kFnStretchBitmap = 47;

// SRCCOPY's operation index (its bits 16 to 23) for both the foreground and
// the background, as the driver's blits take it.
constexpr uint32_t kRop3SourceCopy = (SRCCOPY >> 16) & 0xFF;
constexpr uint32_t kRopSourceCopy = (kRop3SourceCopy << 8) | kRop3SourceCopy;
static_assert(kRopSourceCopy == 0xCCCC, "the driver's source-copy code");

// Every escape's input begins with this header.
struct EscapeHeader {
  uint32_t function;
  uint32_t arg1;
  uint32_t arg2;
};
static_assert(sizeof(EscapeHeader) == 12, "escape header layout");

// Payload of kFnCopyBitmap and kFnStretchBitmap.
struct BlitRecord {
  uint32_t surface;       // kFnSurfaceOf's answer for the destination
  uint32_t driverBitmap;  // kFnRegisterBitmap's answer for the bitmap
  uint32_t reserved0;
  int32_t destLeft, destTop, destRight, destBottom;
  int32_t sourceLeft, sourceTop, sourceRight, sourceBottom;
  uint32_t rop;
  uint32_t reserved1;
};
static_assert(sizeof(BlitRecord) == 52, "blit record layout");

constexpr size_t kHandshakeAnswerBytes = 40;
constexpr size_t kHandshakeActiveOffset = 24;

// Win32 handles carry 32 significant bits on both targets; this is the value
// the magnifier and its driver know them by.
uint32_t HandleValue(const void* handle);

// Two signed coordinates in one 32-bit word: high in the upper 16 bits, the low
// 16 bits of low below. Computed unsigned, so negative values are well defined.
uint32_t PackCoordinates(int32_t low, int32_t high);

// x + extent with 32-bit wrap-around instead of signed overflow.
int32_t AddWrapped(int32_t x, int32_t extent);

// Root of the notification key for a system version: HKEY_CURRENT_USER on the
// NT family with major version 6 (Vista to 8.1), HKEY_LOCAL_MACHINE otherwise.
constexpr DWORD kUserNotifyMajorVersion = 6;
HKEY NotifyRootFor(DWORD platformId, DWORD majorVersion);
// The same for the running system, by its real version.
HKEY NotifyRootForThisSystem();

// The registration value's name, "%08x" of the window's handle value.
constexpr size_t kNotifyValueNameBytes = 9;
bool FormatNotifyValueName(uint32_t window, char (&name)[kNotifyValueNameBytes]);
// Its data: window and message, 4 bytes each, little-endian.
constexpr size_t kNotifyDataBytes = 2 * sizeof(uint32_t);
void MakeNotifyData(uint32_t window, uint32_t message, uint8_t (&data)[kNotifyDataBytes]);

// The one road to the display driver: header (function, arg1, 0), an optional
// payload, and an output that begins with the driver's 32-bit answer. Answers
// the driver's first 32 bits of output, 0 when the escape failed. out (outBytes
// >= 4) receives the whole output; it is cleared before the call.
uint32_t DriverEscape(HDC dc, uint32_t escapeNumber, uint32_t function, uint32_t arg1,
                      const void* payload, size_t payloadBytes, void* out, size_t outBytes);

// The exported operations.
int Init(HWND notifyWindow, UINT notifyMessage);
DWORD Close();
int SetViewport(int left, int top, int right, int bottom, int optionA, int optionB);
DWORD ClearViewport();
void StartRender(DWORD value);
void StopRender();
void DriverBitBlt(HDC destination, int x, int y, HBITMAP bitmap, int width, int height, int sourceX,
                  int sourceY);
void DriverStretchBlt(HDC destination, int x, int y, int width, int height, HBITMAP bitmap,
                      int sourceX, int sourceY, int sourceWidth, int sourceHeight);

}  // namespace trv_cctv
