#include "Environment.h"

#include <d3d9.h>

#include <vector>

#include "ViewerState.h"
#include "orba/ComPtr.h"
#include "orba/Log.h"
#include "orba/Scoped.h"
#include "orba/Text.h"
#include "orba/ZoomTextCctv.h"
#include "orba/zoomtext/EmulationSwitch.h"

const char kDirect3DDriversKey[] = "SOFTWARE\\Microsoft\\Direct3D\\Drivers";
const char kSoftwareOnlyValue[] = "SoftwareOnly";
const char kDirectDrawKey[] = "SOFTWARE\\Microsoft\\DirectDraw";
const char kEmulationOnlyValue[] = "EmulationOnly";

namespace {

constexpr UINT kSystemDirBytes = 260;
constexpr UINT kLongestSystemDir = 246;  // leaves room for "\kernel32.dll" and its NUL

LONG WriteSwitch(const char* keyPath, const char* value, bool on) {
  orba::ScopedHKEY key;
  const LONG rc = RegOpenKeyExA(HKEY_LOCAL_MACHINE, keyPath, 0,
                                KEY_READ | KEY_QUERY_VALUE | KEY_SET_VALUE, key.Put());
  if (rc != ERROR_SUCCESS) return rc;
  const DWORD data = on ? 1 : 0;
  return RegSetValueExA(key.Get(), value, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&data),
                        sizeof data);
}

}  // namespace

bool ReadProductVersion(const char* path, uint32_t* major, uint32_t* minor) {
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeA(path, &ignored);
  if (size == 0) return false;
  std::vector<BYTE> info(size);
  if (!GetFileVersionInfoA(path, 0, size, info.data())) return false;
  void* fixed = nullptr;
  UINT fixedBytes = 0;
  if (!VerQueryValueA(info.data(), "\\", &fixed, &fixedBytes) || !fixed ||
      fixedBytes < sizeof(VS_FIXEDFILEINFO)) {
    return false;
  }
  const auto* ffi = static_cast<const VS_FIXEDFILEINFO*>(fixed);
  *major = HIWORD(ffi->dwProductVersionMS);
  *minor = LOWORD(ffi->dwProductVersionMS);
  return true;
}

void ReadOsVersion() {
  char path[kSystemDirBytes];
  const UINT len = GetSystemDirectoryA(path, sizeof path);
  if (len == 0 || len >= sizeof path || len > kLongestSystemDir) return;
  if (!orba::FormatBounded(path + len, sizeof path - len, "\\kernel32.dll")) return;
  uint32_t major = 0;
  uint32_t minor = 0;
  if (ReadProductVersion(path, &major, &minor)) {
    g_viewer.osMajor = major;
    g_viewer.osMinor = minor;
  }
}

bool IsWinXPVersion(uint32_t major, uint32_t minor) { return major == 5 && minor == 1; }
bool IsWinVistaVersion(uint32_t major, uint32_t minor) { return major == 6 && minor == 0; }
bool IsWin7Version(uint32_t major, uint32_t minor) { return major == 6 && minor == 1; }
bool IsWin8Version(uint32_t major, uint32_t minor) {
  return major == 6 && (minor == 2 || minor == 3);
}
bool IsWin10OrLaterVersion(uint32_t major, uint32_t minor) {
  return (major == 6 && minor >= 4) || major >= 10;
}

bool IsWinXP() {
  const bool yes = IsWinXPVersion(g_viewer.osMajor, g_viewer.osMinor);
  if (yes) DebugLine("OS is Win XP");
  return yes;
}
bool IsWinVista() {
  const bool yes = IsWinVistaVersion(g_viewer.osMajor, g_viewer.osMinor);
  if (yes) DebugLine("OS is Win Vista");
  return yes;
}
bool IsWin7() { return IsWin7Version(g_viewer.osMajor, g_viewer.osMinor); }
bool IsWin8() { return IsWin8Version(g_viewer.osMajor, g_viewer.osMinor); }
bool IsWin10OrLater() { return IsWin10OrLaterVersion(g_viewer.osMajor, g_viewer.osMinor); }
bool IsVistaOrLater() { return IsWinVista() || IsWin7() || IsWin8() || IsWin10OrLater(); }

LONG SetDirect3DSoftwareOnly(bool on) {
  return WriteSwitch(kDirect3DDriversKey, kSoftwareOnlyValue, on);
}

LONG SetDirectDrawEmulationOnly(bool on) {
  return zoomtext::SetDirectDrawEmulation(on ? 1 : 0, nullptr);
}

int32_t ProbeDisplayDriverModel(HWND window) {
  // Direct3D comes from the system folder by its full path, never from the
  // program's folder or the current directory.
  char sys[kSystemDirBytes];
  const UINT len = GetSystemDirectoryA(sys, sizeof sys);
  if (len == 0 || len >= sizeof sys) return kDriverUndetected;
  char path[MAX_PATH];
  if (!orba::FormatBounded(path, sizeof path, "%s\\d3d9.dll", sys)) return kDriverUndetected;
  orba::ScopedModule d3d9(LoadLibraryExA(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH));
  if (!d3d9) return kDriverUndetected;
  using CreateFn = IDirect3D9*(WINAPI*)(UINT);
  const auto create = reinterpret_cast<CreateFn>(GetProcAddress(d3d9.Get(), "Direct3DCreate9"));
  if (!create) return kDriverUndetected;

  // Released before the library is freed: declared after it.
  orba::ComPtr<IDirect3D9> d3d;
  d3d.Attach(create(D3D_SDK_VERSION));
  if (!d3d) return kDriverUndetected;

  D3DPRESENT_PARAMETERS pp = {};
  pp.Windowed = TRUE;
  pp.BackBufferWidth = 800;
  pp.BackBufferHeight = 600;
  pp.BackBufferFormat = D3DFMT_X8R8G8B8;
  pp.BackBufferCount = 1;
  pp.MultiSampleType = D3DMULTISAMPLE_NONE;
  pp.SwapEffect = D3DSWAPEFFECT_DISCARD;
  pp.hDeviceWindow = window;
  pp.EnableAutoDepthStencil = FALSE;
  pp.Flags = 0;
  pp.FullScreen_RefreshRateInHz = 0;
  pp.PresentationInterval = 0;
  orba::ComPtr<IDirect3DDevice9> device;
  if (FAILED(d3d->CreateDevice(0, D3DDEVTYPE_HAL, window, D3DCREATE_HARDWARE_VERTEXPROCESSING,
                               &pp, &device)) ||
      !device) {
    return kDriverUndetected;
  }
  D3DCAPS9 caps = {};
  if (FAILED(device->GetDeviceCaps(&caps))) return kDriverUndetected;
  return (caps.Caps2 & D3DCAPS2_CANSHARERESOURCE) ? kDriverWDDM : kDriverXDDM;
}

int32_t DetectDisplayDriverModel() {
  if (IsWinXP()) return kDriverXDDM;
  SwitchesForDriverDetection();
  return ProbeDisplayDriverModel(g_viewer.hwndViewer);
}

void SwitchesForDriverDetection() {
  if (IsVistaOrLater()) {
    SetDirectDrawEmulationOnly(false);
    SetDirect3DSoftwareOnly(false);
  }
}

void SwitchesAfterCctvInit() {
  if (g_viewer.kavreloStatus != 2 && g_viewer.kavreloStatus != 3) return;
  g_viewer.kavreloSeen = 1;
  if (IsWinXP() || IsVistaOrLater()) SetDirectDrawEmulationOnly(true);
}

void PrepareDirectInit() {
  if (IsWinXP()) {
    SuspendDirectDrawEmulation();
    SetDirect3DSoftwareOnly(false);
  } else if ((IsWinVista() || IsWin7()) && g_viewer.displayDriverType == kDriverXDDM) {
    SetDirectDrawEmulationOnly(false);
    SetDirect3DSoftwareOnly(false);
  }
}

void MyCompleteDirectInit() {
  if (IsWinXP()) {
    RestoreDirectDrawEmulation();
  } else if (g_viewer.displayDriverType == kDriverXDDM) {
    SetDirect3DSoftwareOnly(true);
    SetDirectDrawEmulationOnly(true);
  }
}

void RestoreSwitchesAtProgramEnd() {
  // MyCompleteDirectInit switches both on for every system but XP with an XDDM
  // driver, including one whose version could not be read; both go off again on
  // exactly those systems, so no machine is left in software-only mode.
  const bool xp = IsWinXP();
  if (!xp && g_viewer.displayDriverType == kDriverXDDM) {
    SetDirectDrawEmulationOnly(false);
    SetDirect3DSoftwareOnly(false);
  } else if (IsVistaOrLater() && g_viewer.kavreloSeen) {
    SetDirectDrawEmulationOnly(false);
  }
  if (xp && g_viewer.kavreloSeen) SetDirectDrawEmulationOnly(false);
  if ((IsWin7() || IsWin8() || IsWin10OrLater()) && g_viewer.kavreloSeen) {
    SetDirectDrawEmulationOnly(false);
  }
}
