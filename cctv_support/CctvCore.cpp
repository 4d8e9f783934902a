#include "CctvCore.h"

#include <cstring>

#include "TRV_CCTV.h"
#include "orba/Log.h"
#include "orba/Scoped.h"
#include "orba/Text.h"

extern "C" LONG NTAPI RtlGetVersion(PRTL_OSVERSIONINFOW info);

namespace trv_cctv {

// CCTV_Init's answers are the magnifier family's own status numbers.
static_assert(KAVRELO_IS_NOT_RUNNING == 0 && KAVRELO_API_NOT_SUPPORTED == 1 &&
                  KAVRELO_IS_RUNNING == 2 && KAVRELO_NEW_API_IS_RUNNING == 3,
              "the Kavrelo status values");

namespace {

// The registration value's data: window, then message, as one 8-byte value.
struct NotifyTarget {
  uint32_t window;
  uint32_t message;
};
static_assert(sizeof(NotifyTarget) == kNotifyDataBytes, "notify target is one 8-byte value");

// One copy per process that loads the library. The callers serialise their
// calls (the viewer's thread, the filter's parameter lock), so there is no lock.
struct LibraryState {
  NotifyTarget notify{0, 0};
  HKEY notifyRoot = nullptr;        // where notify.window's value was written
  HANDLE processedEvent = nullptr;  // shared by name with the magnifier; kept for ever
  orba::ScopedHandle renderMutex;
  int32_t lastOptionA = -1;
  int32_t lastOptionB = -1;
  orba::ScopedCreatedDC display;  // CreateDC("DISPLAY"): the road to the driver
  DWORD controlThread = 0;
  uint32_t escapeNumber = kEscapeOld;
  HBITMAP cachedBitmap = nullptr;
  uint32_t driverBitmap = 0;
  bool destinationKnown = false;  // cachedDestination/surfaceAnswer hold a real answer
  HDC cachedDestination = nullptr;
  uint32_t surfaceAnswer = 0;
};

// Never destroyed: CCTV_Close releases the context and the mutex, and a library
// unloaded without it must not call DeleteDC from a static destructor under the
// loader lock.
LibraryState& g_state = *new LibraryState;

uint32_t Escape(HDC dc, uint32_t function, uint32_t arg1, const void* payload = nullptr,
                size_t payloadBytes = 0) {
  uint32_t answer = 0;
  return DriverEscape(dc, g_state.escapeNumber, function, arg1, payload, payloadBytes, &answer,
                      sizeof answer);
}

LONG WriteRegistration() {
  g_state.notifyRoot = NotifyRootForThisSystem();
  orba::ScopedHKEY key;
  LONG rc = RegCreateKeyExA(g_state.notifyRoot, kNotifyKeyPath, 0, nullptr, REG_OPTION_VOLATILE,
                            KEY_WRITE, nullptr, key.Put(), nullptr);
  if (rc != ERROR_SUCCESS) return rc;
  char name[kNotifyValueNameBytes];
  if (!FormatNotifyValueName(g_state.notify.window, name)) return ERROR_INVALID_DATA;
  uint8_t data[kNotifyDataBytes];
  MakeNotifyData(g_state.notify.window, g_state.notify.message, data);
  return RegSetValueExA(key.Get(), name, 0, REG_BINARY, data, sizeof data);
}

// Removes notify.window's value; the answer is the error of opening the key.
LONG RemoveRegistration() {
  orba::ScopedHKEY key;
  LONG rc = RegOpenKeyExA(g_state.notifyRoot, kNotifyKeyPath, 0, KEY_WRITE, key.Put());
  if (rc != ERROR_SUCCESS) return rc;
  char name[kNotifyValueNameBytes];
  if (FormatNotifyValueName(g_state.notify.window, name)) RegDeleteValueA(key.Get(), name);
  return ERROR_SUCCESS;
}

HWND FindControlWindow() {
  for (const char* cls : kControlWindowClasses) {
    if (HWND w = FindWindowA(cls, nullptr)) return w;
  }
  return nullptr;
}

// The control thread's id, or 0 when the window says it has none, does not
// answer in time or is hung. Only the reply's 32 bits mean anything.
DWORD QueryControlThread(HWND control) {
  DWORD_PTR reply = 0;
  if (!SendMessageTimeoutA(control, kMsgQueryControlThread, 0, 0, SMTO_ABORTIFHUNG,
                           kControlQueryTimeoutMs, &reply)) {
    DebugLine("TRV_CCTV: the magnifier's control window did not answer (error %lu)",
              static_cast<unsigned long>(GetLastError()));
    return 0;
  }
  return static_cast<DWORD>(reply);
}

// kFnHandshake under one handshake escape; true when the driver signs with the
// expected signature and says it takes part.
bool DriverAnswersHandshake(uint32_t handshakeEscape, uint32_t signature) {
  if (!g_state.display) return false;
  uint8_t answer[kHandshakeAnswerBytes];
  const uint32_t signed_ = DriverEscape(g_state.display.Get(), handshakeEscape, kFnHandshake, 0,
                                        nullptr, 0, answer, sizeof answer);
  uint32_t active = 0;
  std::memcpy(&active, answer + kHandshakeActiveOffset, sizeof active);
  return signed_ == signature && active != 0;
}

int NegotiateDriver() {
  if (DriverAnswersHandshake(kEscapeHandshakeNew, kSignatureNew)) {
    g_state.escapeNumber = kEscapeNew;
  } else {
    const bool old = DriverAnswersHandshake(kEscapeHandshakeOld, kSignatureOld);
    g_state.escapeNumber = old ? kEscapeOld : 0;
    if (!old) return KAVRELO_IS_NOT_RUNNING;
  }
  return Escape(g_state.display.Get(), kFnSurfaceOf, 0) != 0 ? KAVRELO_NEW_API_IS_RUNNING
                                                             : KAVRELO_IS_RUNNING;
}

bool Post(UINT message, WPARAM wParam, LPARAM lParam) {
  return PostThreadMessageA(g_state.controlThread, message, wParam, lParam) != FALSE;
}

DWORD WaitProcessed() { return WaitForSingleObject(g_state.processedEvent, kProcessedWaitMs); }

// The blits only wait until no renderer holds the mutex; they never hold it.
void WaitRenderMutexFree() {
  if (!g_state.renderMutex) return;
  const DWORD w = WaitForSingleObject(g_state.renderMutex.Get(), INFINITE);
  if (w == WAIT_OBJECT_0 || w == WAIT_ABANDONED) ReleaseMutex(g_state.renderMutex.Get());
}

// What both blits do first: registers a new bitmap with the driver, learns the
// destination's surface, and fills the record (surface, bitmap, destination
// rectangle, source origin). target receives the context the escape goes to.
// False when the driver knows no surface or bitmap to blit.
bool PrepareBlit(HDC destination, HBITMAP bitmap, int x, int y, int width, int height, int sourceX,
                 int sourceY, HDC* target, BlitRecord* record) {
  WaitRenderMutexFree();
  if (bitmap != g_state.cachedBitmap) {
    if (g_state.driverBitmap != 0) {
      Escape(g_state.display.Get(), kFnReleaseBitmap, g_state.driverBitmap);
    }
    g_state.driverBitmap =
        bitmap ? Escape(g_state.display.Get(), kFnRegisterBitmap, HandleValue(bitmap)) : 0;
    g_state.cachedBitmap = bitmap;
  }
  *target = destination ? destination : g_state.display.Get();
  if (!g_state.destinationKnown || destination != g_state.cachedDestination) {
    g_state.surfaceAnswer = Escape(*target, kFnSurfaceOf, 0);
    g_state.cachedDestination = destination;
    g_state.destinationKnown = true;
  }
  if (g_state.surfaceAnswer == 0 || g_state.driverBitmap == 0) return false;
  std::memset(record, 0, sizeof *record);
  record->surface = g_state.surfaceAnswer;
  record->driverBitmap = g_state.driverBitmap;
  record->destLeft = x;
  record->destTop = y;
  record->destRight = AddWrapped(x, width);
  record->destBottom = AddWrapped(y, height);
  record->sourceLeft = sourceX;
  record->sourceTop = sourceY;
  return true;
}

}  // namespace

uint32_t HandleValue(const void* handle) {
  return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(handle));
}

uint32_t PackCoordinates(int32_t low, int32_t high) {
  return (static_cast<uint32_t>(high) << 16) | (static_cast<uint32_t>(low) & 0xFFFFu);
}

int32_t AddWrapped(int32_t x, int32_t extent) {
  return static_cast<int32_t>(static_cast<uint32_t>(x) + static_cast<uint32_t>(extent));
}

HKEY NotifyRootFor(DWORD platformId, DWORD majorVersion) {
  return platformId == VER_PLATFORM_WIN32_NT && majorVersion == kUserNotifyMajorVersion
             ? HKEY_CURRENT_USER
             : HKEY_LOCAL_MACHINE;
}

HKEY NotifyRootForThisSystem() {
  // The system's own version: GetVersionEx would answer 6.2 on Windows 8.1 and
  // 10 unless the host program's manifest names them.
  RTL_OSVERSIONINFOW vi{};
  vi.dwOSVersionInfoSize = sizeof vi;
  if (RtlGetVersion(&vi) != 0) return HKEY_LOCAL_MACHINE;
  return NotifyRootFor(vi.dwPlatformId, vi.dwMajorVersion);
}

bool FormatNotifyValueName(uint32_t window, char (&name)[kNotifyValueNameBytes]) {
  return orba::FormatBounded(name, sizeof name, "%08x", static_cast<unsigned>(window));
}

void MakeNotifyData(uint32_t window, uint32_t message, uint8_t (&data)[kNotifyDataBytes]) {
  constexpr size_t kWord = sizeof(uint32_t);
  for (size_t i = 0; i < kWord; ++i) {
    data[i] = static_cast<uint8_t>(window >> (8 * i));
    data[kWord + i] = static_cast<uint8_t>(message >> (8 * i));
  }
}

uint32_t DriverEscape(HDC dc, uint32_t escapeNumber, uint32_t function, uint32_t arg1,
                      const void* payload, size_t payloadBytes, void* out, size_t outBytes) {
  uint8_t input[sizeof(EscapeHeader) + sizeof(BlitRecord)];
  if (!out || outBytes < sizeof(uint32_t)) return 0;
  std::memset(out, 0, outBytes);
  if (payloadBytes > sizeof input - sizeof(EscapeHeader) || (payloadBytes && !payload)) return 0;
  const EscapeHeader header{function, arg1, 0};
  std::memcpy(input, &header, sizeof header);
  if (payloadBytes) std::memcpy(input + sizeof header, payload, payloadBytes);
  const int rc = ExtEscape(
      dc, static_cast<int>(escapeNumber), static_cast<int>(sizeof header + payloadBytes),
      reinterpret_cast<LPCSTR>(input), static_cast<int>(outBytes), static_cast<LPSTR>(out));
  if (rc <= 0) {
    // A driver that refused the escape has answered nothing.
    std::memset(out, 0, outBytes);
    return 0;
  }
  uint32_t answer = 0;
  std::memcpy(&answer, out, sizeof answer);
  return answer;
}

int Init(HWND notifyWindow, UINT notifyMessage) {
  const uint32_t window = HandleValue(notifyWindow);
  // A restarted viewer registers its new window; the old one's value would
  // otherwise stay behind, naming a window that no longer exists.
  if (g_state.notify.window != 0 && g_state.notify.window != window) RemoveRegistration();
  g_state.notify = {window, static_cast<uint32_t>(notifyMessage)};
  // A failed registration only costs the notifications; Init's answer is about
  // the magnifier, so its error is not passed on.
  if (window != 0) WriteRegistration();

  if (!g_state.processedEvent) {
    // Opens the magnifier's event when it made it first.
    g_state.processedEvent = CreateEventA(nullptr, FALSE, TRUE, kProcessedEventName);
  }

  // The viewer calls again at every start-up pass without closing in between:
  // the previous pass's mutex and context go before the new ones are made.
  g_state.renderMutex.Reset();
  g_state.display.Reset();
  g_state.renderMutex.Reset(CreateMutexA(nullptr, FALSE, nullptr));
  g_state.lastOptionA = -1;
  g_state.lastOptionB = -1;
  g_state.display.Reset(CreateDCA("DISPLAY", nullptr, nullptr, nullptr));

  int result = KAVRELO_IS_NOT_RUNNING;
  if (HWND control = FindControlWindow()) {
    if (g_state.controlThread == 0) g_state.controlThread = QueryControlThread(control);
    result = g_state.controlThread == 0 ? KAVRELO_API_NOT_SUPPORTED : NegotiateDriver();
  }
  DebugLine("TRV_CCTV: CCTV_Init answers %d (control thread %lu)", result,
            static_cast<unsigned long>(g_state.controlThread));
  return result;
}

DWORD Close() {
  StopRender();
  if (g_state.controlThread != 0) {
    ResetEvent(g_state.processedEvent);
    // The wait's outcome is not Close's answer: a magnifier that does not
    // confirm in time is let go all the same.
    if (Post(kMsgClearViewport, 0, 0)) WaitProcessed();
  }
  if (g_state.driverBitmap != 0 && g_state.display) {
    Escape(g_state.display.Get(), kFnReleaseBitmap, g_state.driverBitmap);
  }
  // Forget the bitmap even when its registration had failed, so that the next
  // session registers it afresh.
  g_state.driverBitmap = 0;
  g_state.cachedBitmap = nullptr;
  g_state.destinationKnown = false;
  g_state.cachedDestination = nullptr;
  g_state.surfaceAnswer = 0;
  g_state.controlThread = 0;
  // Released here, not at unload: see g_state.
  g_state.display.Reset();
  g_state.renderMutex.Reset();

  DWORD result = ERROR_SUCCESS;
  if (g_state.notify.window != 0) {
    result = static_cast<DWORD>(RemoveRegistration());
    g_state.notify.window = 0;
  }
  return result;
}

// Answers 1 in every case, confirmed or not: callers take the viewport as sent.
int SetViewport(int left, int top, int right, int bottom, int optionA, int optionB) {
  if (g_state.controlThread == 0) return 1;
  ResetEvent(g_state.processedEvent);
  if (optionB != g_state.lastOptionB || optionA != g_state.lastOptionA) {
    // Remembered only once the magnifier has them, so that a lost post is repeated.
    if (Post(kMsgViewportOptions, static_cast<WPARAM>(static_cast<uint32_t>(optionB)),
             static_cast<LPARAM>(static_cast<uint32_t>(optionA)))) {
      g_state.lastOptionA = optionA;
      g_state.lastOptionB = optionB;
    }
  }
  if (Post(kMsgSetViewport, static_cast<WPARAM>(PackCoordinates(left, top)),
           static_cast<LPARAM>(PackCoordinates(right, bottom)))) {
    WaitProcessed();
  }
  return 1;
}

DWORD ClearViewport() {
  if (g_state.controlThread == 0) return 0;
  ResetEvent(g_state.processedEvent);
  if (!Post(kMsgClearViewport, 0, 0)) return 0;
  return WaitProcessed();
}

void StartRender(DWORD value) {
  if (g_state.display) Escape(g_state.display.Get(), kFnStartRender, static_cast<uint32_t>(value));
}

void StopRender() {
  if (g_state.display) Escape(g_state.display.Get(), kFnStopRender, 0);
}

void DriverBitBlt(HDC destination, int x, int y, HBITMAP bitmap, int width, int height, int sourceX,
                  int sourceY) {
  if (!g_state.display) return;  // not initialised, or closed
  HDC target = nullptr;
  BlitRecord record;
  if (!PrepareBlit(destination, bitmap, x, y, width, height, sourceX, sourceY, &target, &record)) {
    return;
  }
  record.rop = kRopSourceCopy;
  Escape(target, kFnCopyBitmap, 0, &record, sizeof record);
}

void DriverStretchBlt(HDC destination, int x, int y, int width, int height, HBITMAP bitmap,
                      int sourceX, int sourceY, int sourceWidth, int sourceHeight) {
  if (!g_state.display) return;
  HDC target = nullptr;
  BlitRecord record;
  if (!PrepareBlit(destination, bitmap, x, y, width, height, sourceX, sourceY, &target, &record)) {
    return;
  }
  record.sourceRight = AddWrapped(sourceX, sourceWidth);
  record.sourceBottom = AddWrapped(sourceY, sourceHeight);
  Escape(target, kFnStretchBitmap, 0, &record, sizeof record);
}

}  // namespace trv_cctv
