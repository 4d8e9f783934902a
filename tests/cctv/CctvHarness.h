#pragma once
// TRV_CCTV.dll loaded by name into the test process, with an optional stand-in
// display driver put in place of gdi32's escape entry in the DLL's own import
// table (the DLL's exports stay as they are).
#include <windows.h>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "TRV_CCTV.h"

namespace cctv_test {

// The escape numbers and functions of the magnifier's display driver.
constexpr uint32_t kHandshakeNew = 0xF42A721B;
constexpr uint32_t kHandshakeOld = 0xF42A721D;
constexpr uint32_t kEscapeNew = 0x842A95FF;
constexpr uint32_t kEscapeOld = 0x842A9601;

// One escape as the driver received it.
struct EscapeCall {
  HDC dc;
  uint32_t escape;
  int inputBytes;
  int outputBytes;
  uint32_t function;
  uint32_t arg1;
  uint32_t arg2;
  std::vector<uint32_t> payload;  // the input after the 12-byte header, as 32-bit words
};

enum class DriverKind {
  kNone,         // no driver takes part (what Wine's display driver does)
  kNew,          // answers the newer handshake
  kOld,          // answers only the older handshake
  kNewInactive,  // signs the newer handshake but does not take part
};

// The stand-in driver. Escapes under an escape number it does not serve are
// recorded and refused (answer 0), as a real driver refuses unknown escapes.
struct StandInDriver {
  DriverKind kind = DriverKind::kNone;
  uint32_t defaultSurface = 0x5101;    // function 36 for any context not listed below
  std::map<HDC, uint32_t> surfaces;    // function 36 per context
  bool refuseRegistration = false;     // function 42 answers 0
  uint32_t nextDriverBitmap = 0x4201;  // function 42's next answer
  std::vector<EscapeCall> calls;

  void Reset(DriverKind k);
  std::vector<EscapeCall> CallsOf(uint32_t function) const;
  std::vector<uint32_t> Functions() const;  // function numbers of all calls, in order
};

// The one stand-in of this process (the patched import points at a plain function).
StandInDriver& Driver();

// The handle value the driver and the magnifier know a handle by.
uint32_t Value(const void* handle);

// The number of kernel handles this process holds, from the system's handle
// table (0 when it cannot be read).
size_t OwnKernelHandleCount();

class CctvLibrary {
 public:
  CctvLibrary() = default;
  CctvLibrary(const CctvLibrary&) = delete;
  CctvLibrary& operator=(const CctvLibrary&) = delete;
  ~CctvLibrary() { Unload(); }

  // LoadLibrary("TRV_CCTV.dll") from the program's folder, so that its state is
  // fresh; with withStandIn the escapes go to Driver(). Empty on success, else
  // the reason.
  std::string Load(bool withStandIn = true);
  // FreeLibrary; true when the module is really gone from the process.
  bool Unload();
  HMODULE Module() const { return module_; }

  decltype(&CCTV_Init) Init = nullptr;
  decltype(&CCTV_Close) Close = nullptr;
  decltype(&CCTV_SetViewport) SetViewport = nullptr;
  decltype(&CCTV_ClearViewport) ClearViewport = nullptr;
  decltype(&CCTV_StartRender) StartRender = nullptr;
  decltype(&CCTV_StopRender) StopRender = nullptr;
  decltype(&CCTV_BitBlt) BitBlt = nullptr;
  decltype(&CCTV_StretchBlt) StretchBlt = nullptr;

 private:
  HMODULE module_ = nullptr;
};

}  // namespace cctv_test
