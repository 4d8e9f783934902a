#include "Environment.h"

#include <d3d9.h>

#include <vector>

#include "Settings.h"
#include "ViewerState.h"
#include "orba/ComPtr.h"
#include "TRV_CCTV.h"
#include "orba/Log.h"
#include "orba/Scoped.h"
#include "orba/Text.h"
#include "orba/ZoomTextCctv.h"
#include "orba/zoomtext/EmulationSwitch.h"
#include "orba/SettingsKey.h"

const char kDirect3DDriversKey[] = "SOFTWARE\\Microsoft\\Direct3D\\Drivers";
const char kSoftwareOnlyValue[] = "SoftwareOnly";
const char kDirectDrawKey[] = "SOFTWARE\\Microsoft\\DirectDraw";
const char kEmulationOnlyValue[] = "EmulationOnly";
const char kSavedSoftwareOnlyValue[] = "SavedSoftwareOnly";
const char kSavedEmulationOnlyValue[] = "SavedEmulationOnly";

namespace {

// A switch and where the settings key keeps its value from before the run.
struct SwitchPlace {
  const char* key;
  const char* value;
  const char* saved;
};
const SwitchPlace kSwitchPlaces[] = {
    {kDirect3DDriversKey, kSoftwareOnlyValue, kSavedSoftwareOnlyValue},
    {kDirectDrawKey, kEmulationOnlyValue, kSavedEmulationOnlyValue},
};

bool g_switchesRecorded = false;  // this run has recorded the earlier values

// Records both switches as they are before this run first changes one. An
// absent value is kept as an empty REG_NONE. A record an earlier run could not
// put back is older, and kept.
void RecordSwitchesBeforeChange() {
  if (g_switchesRecorded) return;
  g_switchesRecorded = true;
  orba::ScopedHKEY settings;
  if (RegCreateKeyExA(HKEY_CURRENT_USER, orba::kSettingsKey, 0, nullptr, REG_OPTION_NON_VOLATILE,
                      KEY_QUERY_VALUE | KEY_SET_VALUE, nullptr, settings.Put(),
                      nullptr) != ERROR_SUCCESS) {
    DebugLine("The graphics switches could not be recorded");
    return;
  }
  for (const SwitchPlace& place : kSwitchPlaces) {
    if (RegQueryValueExA(settings.Get(), place.saved, nullptr, nullptr, nullptr, nullptr) ==
        ERROR_SUCCESS) {
      continue;
    }
    orba::ScopedHKEY key;
    // Without the key the switch cannot be changed either.
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, place.key, 0, KEY_QUERY_VALUE, key.Put()) !=
        ERROR_SUCCESS) {
      continue;
    }
    DWORD data = 0;
    const LONG rc = QueryDwordValue(key.Get(), place.value, &data);
    if (rc == ERROR_SUCCESS) {
      RegSetValueExA(settings.Get(), place.saved, 0, REG_DWORD,
                     reinterpret_cast<const BYTE*>(&data), sizeof data);
    } else if (rc == ERROR_FILE_NOT_FOUND) {
      RegSetValueExA(settings.Get(), place.saved, 0, REG_NONE, nullptr, 0);
    } else {
      DebugLine("%s is not a DWORD: it is not recorded", place.value);
    }
  }
}

// Puts one recorded value back; true when the switch is as recorded.
bool PutBack(const SwitchPlace& place, DWORD type, DWORD size, DWORD data) {
  orba::ScopedHKEY key;
  const LONG rc = RegOpenKeyExA(HKEY_LOCAL_MACHINE, place.key, 0, KEY_SET_VALUE, key.Put());
  if (type == REG_NONE && size == 0) {
    if (rc == ERROR_FILE_NOT_FOUND) return true;
    if (rc != ERROR_SUCCESS) return false;
    const LONG deleted = RegDeleteValueA(key.Get(), place.value);
    return deleted == ERROR_SUCCESS || deleted == ERROR_FILE_NOT_FOUND;
  }
  if (type != REG_DWORD || size != sizeof data) return true;  // a damaged record is dropped
  return rc == ERROR_SUCCESS &&
         RegSetValueExA(key.Get(), place.value, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&data),
                        sizeof data) == ERROR_SUCCESS;
}

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
  RecordSwitchesBeforeChange();
  return WriteSwitch(kDirect3DDriversKey, kSoftwareOnlyValue, on);
}

LONG SetDirectDrawEmulationOnly(bool on) {
  RecordSwitchesBeforeChange();
  return zoomtext::SetDirectDrawEmulation(on ? 1 : 0, nullptr);
}

void PutBackRecordedSwitches() {
  g_switchesRecorded = false;
  orba::ScopedHKEY settings;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, orba::kSettingsKey, 0, KEY_QUERY_VALUE | KEY_SET_VALUE,
                    settings.Put()) != ERROR_SUCCESS) {
    return;
  }
  for (const SwitchPlace& place : kSwitchPlaces) {
    DWORD type = 0;
    DWORD data = 0;
    DWORD size = sizeof data;
    const LONG rc = RegQueryValueExA(settings.Get(), place.saved, nullptr, &type,
                                     reinterpret_cast<BYTE*>(&data), &size);
    if (rc == ERROR_FILE_NOT_FOUND) continue;
    // A record too long for a DWORD is damaged: dropped.
    if (rc != ERROR_SUCCESS || PutBack(place, type, size, data)) {
      DebugLine("%s put back as an earlier run found it", place.value);
      RegDeleteValueA(settings.Get(), place.saved);
    }
  }
}

void ForgetRecordedSwitches() {
  g_switchesRecorded = false;
  orba::ScopedHKEY settings;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, orba::kSettingsKey, 0, KEY_SET_VALUE, settings.Put()) !=
      ERROR_SUCCESS) {
    return;
  }
  for (const SwitchPlace& place : kSwitchPlaces) RegDeleteValueA(settings.Get(), place.saved);
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
  if (FAILED(d3d->CreateDevice(0, D3DDEVTYPE_HAL, window, D3DCREATE_HARDWARE_VERTEXPROCESSING, &pp,
                               &device)) ||
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
  // The probe's device gets a hidden window of its own, never the viewer's:
  // under Wine a Direct3D device leaves its pixel format on its window, and a
  // mixer drawing into that window with another format then makes Wine redraw
  // the whole window for every frame.
  orba::ScopedWindow probe(CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr,
                                           g_viewer.hInstance, nullptr));
  if (!probe) return kDriverUndetected;
  return ProbeDisplayDriverModel(probe.Get());
}

void SwitchesForDriverDetection() {
  if (IsVistaOrLater()) {
    SetDirectDrawEmulationOnly(false);
    SetDirect3DSoftwareOnly(false);
  }
}

void SwitchesAfterCctvInit() {
  if (g_viewer.kavreloStatus != KAVRELO_IS_RUNNING &&
      g_viewer.kavreloStatus != KAVRELO_NEW_API_IS_RUNNING) {
    return;
  }
  g_viewer.kavreloSeen = 1;
  if (IsWinXP() || IsVistaOrLater()) SetDirectDrawEmulationOnly(true);
}

void PrepareDirectInit() {
  if (IsWinXP()) {
    RecordSwitchesBeforeChange();
    SuspendDirectDrawEmulation();
    SetDirect3DSoftwareOnly(false);
  } else if ((IsWinVista() || IsWin7()) && g_viewer.displayDriverType == kDriverXDDM) {
    SetDirectDrawEmulationOnly(false);
    SetDirect3DSoftwareOnly(false);
  }
}

void MyCompleteDirectInit() {
  if (IsWinXP()) {
    RecordSwitchesBeforeChange();
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

void KeepPlatformLibrariesLoaded() {
  static const wchar_t* const kLibraries[] = {L"quartz.dll",  L"qcap.dll",    L"qedit.dll",
                                              L"devenum.dll", L"d3d9.dll",    L"comdlg32.dll",
                                              L"msvfw32.dll", L"avifil32.dll"};
  wchar_t sys[MAX_PATH];
  const UINT len = GetSystemDirectoryW(sys, MAX_PATH);
  if (len == 0 || len >= MAX_PATH) return;
  for (const wchar_t* name : kLibraries) {
    wchar_t path[MAX_PATH];
    if (!orba::FormatBoundedW(path, MAX_PATH, L"%ls\\%ls", sys, name)) continue;
    // Never freed: the process keeps them until it ends.
    if (!orba::LoadLibraryByFullPath(path)) DebugLine("%ls stays unloaded between passes", name);
  }
}
