#include "Camera.h"

#include <cstdio>
#include <cstring>
#include <cwchar>
#include <memory>

#include "ViewerState.h"
#include "orba/ComPtr.h"
#include "orba/Log.h"
#include "orba/Scoped.h"

const GUID kIID_IKsPropertySet = {
    0x31efac30, 0x515c, 0x11d0, {0xa9, 0xaa, 0x00, 0xaa, 0x00, 0x61, 0xbe, 0x93}};
const char kCameraEnumKey[] = "System\\CurrentControlSet\\Enum\\USB\\Vid_0525&Pid_a941&MI_00";
const char kCameraDisplayName[] = "Opticorva Video";

namespace {

struct SidDeleter {
  void operator()(void* sid) const { FreeSid(sid); }
};
using SidPtr = std::unique_ptr<void, SidDeleter>;
struct LocalDeleter {
  void operator()(void* p) const { LocalFree(p); }
};

void WriteHandle(DWORD which, const char* text) {
  const HANDLE h = GetStdHandle(which);
  if (h == nullptr || h == INVALID_HANDLE_VALUE || !text) return;
  DWORD written = 0;
  WriteFile(h, text, static_cast<DWORD>(std::strlen(text)), &written, nullptr);
}

// "<step> error!" and the system's text for the error, on the standard error stream.
void ReportSecurityStep(const char* step, DWORD error) {
  char line[128];
  std::snprintf(line, sizeof line, "%s error!\n", step);
  WriteHandle(STD_ERROR_HANDLE, line);
  char* message = nullptr;
  const DWORD n = FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, error, LANG_USER_DEFAULT, reinterpret_cast<char*>(&message), 0, nullptr);
  if (n != 0 && message) WriteHandle(STD_ERROR_HANDLE, message);
  if (message) LocalFree(message);
}

SidPtr MakeNtSid(BYTE count, DWORD a0, DWORD a1) {
  SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
  PSID sid = nullptr;
  if (!AllocateAndInitializeSid(&nt, count, a0, a1, 0, 0, 0, 0, 0, 0, &sid)) return nullptr;
  return SidPtr(sid);
}

// The security steps after the key is open; false after a reported failure.
bool ApplyCameraKeyAcl(HKEY key) {
  const SidPtr interactive = MakeNtSid(1, SECURITY_INTERACTIVE_RID, 0);
  const SidPtr admins = MakeNtSid(2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS);
  const SidPtr system = MakeNtSid(1, SECURITY_LOCAL_SYSTEM_RID, 0);
  if (!interactive || !admins || !system) {
    ReportSecurityStep("AllocateAndInitializeSid", GetLastError());
    return false;
  }
  // The Plug and Play manager runs as LocalSystem and must keep full access to
  // its own device keys, so the list keeps a third entry for it.
  PSID sids[] = {interactive.get(), admins.get(), system.get()};
  const DWORD rights[] = {KEY_READ, KEY_ALL_ACCESS, KEY_ALL_ACCESS};
  DWORD aclBytes = sizeof(ACL);
  for (PSID sid : sids) aclBytes += sizeof(ACCESS_ALLOWED_ACE) - sizeof(DWORD) + GetLengthSid(sid);

  std::unique_ptr<void, LocalDeleter> aclMemory(LocalAlloc(LPTR, aclBytes));
  if (!aclMemory) return false;
  auto* acl = static_cast<PACL>(aclMemory.get());
  if (!InitializeAcl(acl, aclBytes, ACL_REVISION)) {
    ReportSecurityStep("InitializeAcl", GetLastError());
    return false;
  }
  for (size_t i = 0; i < 3; ++i) {
    if (!AddAccessAllowedAce(acl, ACL_REVISION, rights[i], sids[i])) {
      ReportSecurityStep("AddAccessAllowedAce", GetLastError());
      return false;
    }
  }
  SECURITY_DESCRIPTOR sd;
  if (!InitializeSecurityDescriptor(&sd, SECURITY_DESCRIPTOR_REVISION)) {
    ReportSecurityStep("InitializeSecurityDescriptor", GetLastError());
    return false;
  }
  if (!SetSecurityDescriptorDacl(&sd, TRUE, acl, FALSE)) {
    ReportSecurityStep("SetSecurityDescriptorDacl", GetLastError());
    return false;
  }
  const LONG rc = RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, &sd);
  if (rc != ERROR_SUCCESS) {
    ReportSecurityStep("RegSetKeySecurity", static_cast<DWORD>(rc));
    return false;
  }
  return true;
}

}  // namespace

bool DevicePathMatchesCamera(const wchar_t* path) {
  return path && std::wcsstr(path, L"vid_0525") && std::wcsstr(path, L"pid_a941");
}

HRESULT FindCamera(IBaseFilter** filter) {
  if (!filter) return E_POINTER;
  orba::ComPtr<ICreateDevEnum> devices;
  HRESULT hr = CoCreateInstance(CLSID_SystemDeviceEnum, nullptr, CLSCTX_INPROC_SERVER,
                                IID_ICreateDevEnum, devices.PutVoid());
  if (FAILED(hr)) return hr;
  orba::ComPtr<IEnumMoniker> monikers;
  hr = devices->CreateClassEnumerator(CLSID_VideoInputDeviceCategory, &monikers, 0);
  if (hr != S_OK || !monikers) return hr;

  for (;;) {
    orba::ComPtr<IMoniker> moniker;
    ULONG fetched = 0;
    hr = monikers->Next(1, &moniker, &fetched);
    if (hr != S_OK || !moniker) break;
    orba::ComPtr<IPropertyBag> bag;
    hr = moniker->BindToStorage(nullptr, nullptr, IID_IPropertyBag, bag.PutVoid());
    if (FAILED(hr) || !bag) continue;

    orba::ScopedVariant name;
    bag->Read(L"FriendlyName", name.Put(), nullptr);
    orba::ScopedVariant path;
    hr = bag->Read(L"DevicePath", path.Put(), nullptr);
    // Only a text path is looked at; any other kind of value is no camera.
    if (FAILED(hr) || path.Get().vt != VT_BSTR || !DevicePathMatchesCamera(path.Get().bstrVal)) {
      continue;
    }
    return moniker->BindToObject(nullptr, nullptr, IID_IBaseFilter,
                                 reinterpret_cast<void**>(filter));
  }
  return hr;
}

HRESULT OpenCameraControl() {
  if (g_viewer.pCameraControl) {
    g_viewer.pCameraControl->Release();
    g_viewer.pCameraControl = nullptr;
  }
  if (!g_viewer.pSrcFilter) return E_POINTER;
  const HRESULT hr = g_viewer.pSrcFilter->QueryInterface(
      kIID_IKsPropertySet, reinterpret_cast<void**>(&g_viewer.pCameraControl));
  if (FAILED(hr)) g_viewer.pCameraControl = nullptr;
  return hr;
}

bool IsCameraPresent() {
  orba::ComPtr<IBaseFilter> camera;
  FindCamera(&camera);
  return static_cast<bool>(camera);
}

LONG GrantEnumKeyAccess(HKEY parent, const char* instance) {
  orba::ScopedHKEY key;
  const LONG rc = RegOpenKeyExA(parent, instance, 0, WRITE_DAC, key.Put());
  if (rc != ERROR_SUCCESS) {
    ReportSecurityStep("RegOpenKeyEx", static_cast<DWORD>(rc));
    return ERROR_INVALID_DATA;
  }
  const bool ok = ApplyCameraKeyAcl(key.Get());
  WriteHandle(STD_OUTPUT_HANDLE, ok ? "SUCCESS updating performance data security\n"
                                    : "ERROR updating performance data security\n");
  return ok ? ERROR_SUCCESS : ERROR_INVALID_DATA;
}

LONG SetCameraFriendlyName(const char* name) {
  orba::ScopedHKEY device;
  LONG rc = RegOpenKeyExA(HKEY_LOCAL_MACHINE, kCameraEnumKey, 0, KEY_READ, device.Put());
  if (rc != ERROR_SUCCESS) return rc;
  const DWORD nameBytes = static_cast<DWORD>(std::strlen(name) + 1);
  for (DWORD index = 0; rc == ERROR_SUCCESS; ++index) {
    char instance[1000];
    DWORD instanceChars = sizeof instance;
    rc = RegEnumKeyExA(device.Get(), index, instance, &instanceChars, nullptr, nullptr, nullptr,
                       nullptr);
    if (rc != ERROR_SUCCESS) break;
    rc = GrantEnumKeyAccess(device.Get(), instance);
    if (rc != ERROR_SUCCESS) break;
    orba::ScopedHKEY instanceKey;
    rc = RegOpenKeyExA(device.Get(), instance, 0, KEY_SET_VALUE, instanceKey.Put());
    if (rc != ERROR_SUCCESS) break;
    // A name that cannot be written is logged, and the other instances still get theirs.
    const LONG written = RegSetValueExA(instanceKey.Get(), "FriendlyName", 0, REG_SZ,
                                        reinterpret_cast<const BYTE*>(name), nameBytes);
    if (written != ERROR_SUCCESS)
      DebugLine("FriendlyName of %s not written: %ld", instance, written);
  }
  return rc;
}
