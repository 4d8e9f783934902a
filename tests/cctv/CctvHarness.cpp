#include "CctvHarness.h"

#include <winternl.h>

#include <cstring>

#include "PeImage.h"

namespace cctv_test {
namespace {

constexpr uint32_t kSignatureNew = 0xF42A7219;
constexpr uint32_t kSignatureOld = 0xF42A721D;

void WriteAnswer(LPSTR out, int outBytes, uint32_t value) {
  if (out && outBytes >= 4) std::memcpy(out, &value, sizeof value);
}

// Answers the handshake (function 28) into its 40-byte output.
int Handshake(LPSTR out, int outBytes, uint32_t signature, uint32_t active) {
  if (!out || outBytes < 40) return -1;
  std::memcpy(out, &signature, 4);
  std::memcpy(out + 24, &active, 4);
  return 1;
}

int WINAPI StandInExtEscape(HDC dc, int escape, int inBytes, LPCSTR in, int outBytes, LPSTR out) {
  StandInDriver& d = Driver();
  EscapeCall call{dc, static_cast<uint32_t>(escape), inBytes, outBytes, 0, 0, 0, {}};
  if (in && inBytes >= 12) {
    std::memcpy(&call.function, in, 4);
    std::memcpy(&call.arg1, in + 4, 4);
    std::memcpy(&call.arg2, in + 8, 4);
    for (int off = 12; off + 4 <= inBytes; off += 4) {
      uint32_t word;
      std::memcpy(&word, in + off, 4);
      call.payload.push_back(word);
    }
  }
  d.calls.push_back(call);

  uint32_t handshakeEscape = 0, signature = 0, active = 1, serving = 0;
  switch (d.kind) {
    case DriverKind::kNone:
      return 0;
    case DriverKind::kNew:
      handshakeEscape = kHandshakeNew, signature = kSignatureNew, serving = kEscapeNew;
      break;
    case DriverKind::kNewInactive:
      handshakeEscape = kHandshakeNew, signature = kSignatureNew, active = 0, serving = kEscapeNew;
      break;
    case DriverKind::kOld:
      handshakeEscape = kHandshakeOld, signature = kSignatureOld, serving = kEscapeOld;
      break;
  }
  if (call.function == 28 && call.escape == handshakeEscape) {
    return Handshake(out, outBytes, signature, active);
  }
  if (call.escape != serving || inBytes < 12) return 0;
  uint32_t answer = 1;
  switch (call.function) {
    case 36: {
      auto it = d.surfaces.find(dc);
      answer = it != d.surfaces.end() ? it->second : d.defaultSurface;
      break;
    }
    case 42:
      answer = d.refuseRegistration ? 0 : d.nextDriverBitmap++;
      break;
    case 34:
    case 35:
    case 39:
    case 43:
    case 47:
      break;
    default:
      return 0;
  }
  WriteAnswer(out, outBytes, answer);
  return 1;
}

}  // namespace

void StandInDriver::Reset(DriverKind k) {
  *this = StandInDriver();
  kind = k;
}

std::vector<EscapeCall> StandInDriver::CallsOf(uint32_t function) const {
  std::vector<EscapeCall> out;
  for (const EscapeCall& c : calls) {
    if (c.function == function) out.push_back(c);
  }
  return out;
}

std::vector<uint32_t> StandInDriver::Functions() const {
  std::vector<uint32_t> out;
  for (const EscapeCall& c : calls) out.push_back(c.function);
  return out;
}

StandInDriver& Driver() {
  static StandInDriver driver;
  return driver;
}

uint32_t Value(const void* handle) {
  return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(handle));
}

size_t OwnKernelHandleCount() {
  // SystemExtendedHandleInformation: every handle of every process.
  struct Entry {
    void* object;
    ULONG_PTR processId;
    ULONG_PTR handle;
    ULONG access;
    USHORT creatorBackTrace;
    USHORT objectType;
    ULONG attributes;
    ULONG reserved;
  };
  struct Table {
    ULONG_PTR count;
    ULONG_PTR reserved;
    Entry entries[1];
  };
  std::vector<uint8_t> buffer(1 << 20);
  for (int attempt = 0; attempt < 6; ++attempt) {
    ULONG needed = 0;
    const NTSTATUS status =
        NtQuerySystemInformation(static_cast<SYSTEM_INFORMATION_CLASS>(64), buffer.data(),
                                 static_cast<ULONG>(buffer.size()), &needed);
    if (status == static_cast<NTSTATUS>(0xC0000004L)) {  // STATUS_INFO_LENGTH_MISMATCH
      buffer.resize(buffer.size() * 2);
      continue;
    }
    if (status != 0) return 0;
    const auto* table = reinterpret_cast<const Table*>(buffer.data());
    size_t mine = 0;
    for (ULONG_PTR i = 0; i < table->count; ++i) {
      mine += table->entries[i].processId == GetCurrentProcessId();
    }
    return mine;
  }
  return 0;
}

std::string CctvLibrary::Load(bool withStandIn) {
  Unload();
  module_ = LoadLibraryExA("TRV_CCTV.dll", nullptr, LOAD_LIBRARY_SEARCH_APPLICATION_DIR);
  if (!module_) return "LoadLibrary(TRV_CCTV.dll) failed: " + std::to_string(GetLastError());
  bool all = true;
  auto bind = [&](auto& fn, const char* name) {
    fn = reinterpret_cast<std::remove_reference_t<decltype(fn)>>(
        reinterpret_cast<void*>(GetProcAddress(module_, name)));
    all = all && fn != nullptr;
  };
  bind(Init, "CCTV_Init");
  bind(Close, "CCTV_Close");
  bind(SetViewport, "CCTV_SetViewport");
  bind(ClearViewport, "CCTV_ClearViewport");
  bind(StartRender, "CCTV_StartRender");
  bind(StopRender, "CCTV_StopRender");
  bind(BitBlt, "CCTV_BitBlt");
  bind(StretchBlt, "CCTV_StretchBlt");
  if (!all) return "an export is missing";
  if (withStandIn &&
      !PatchImport(module_, "gdi32.dll", "ExtEscape", reinterpret_cast<void*>(&StandInExtEscape))) {
    return "TRV_CCTV.dll does not import gdi32!ExtEscape";
  }
  return std::string();
}

bool CctvLibrary::Unload() {
  if (!module_) return true;
  FreeLibrary(module_);
  module_ = nullptr;
  Init = nullptr;
  Close = nullptr;
  SetViewport = nullptr;
  ClearViewport = nullptr;
  StartRender = nullptr;
  StopRender = nullptr;
  BitBlt = nullptr;
  StretchBlt = nullptr;
  return GetModuleHandleA("TRV_CCTV.dll") == nullptr;
}

}  // namespace cctv_test
