#include "VideoInputDevices.h"

#include <dshow.h>

#include <vector>

#include "orba/ComPtr.h"
#include "orba/Scoped.h"

namespace orba_test {

const char kVideoInputInstanceKey[] = "CLSID\\{860BB310-5D01-11D0-BD3B-00A0C911CE86}\\Instance";
const char kSmartTeeClsid[] = "{CC58E280-8AA1-11D1-B3F1-00AA003761C5}";
const char kNullRendererClsid[] = "{C1F400A4-3F08-11D3-9F0B-006008039E37}";
const char kOrbaCameraDevicePath[] =
    "\\\\?\\usb#vid_0525&pid_a941&mi_00#7&1&0&0000#{65e8773d-8f56-11d0-a3b9-00a0c9223196}\\global";

namespace {

bool SetString(HKEY key, const char* name, const std::string& text) {
  return RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                        static_cast<DWORD>(text.size() + 1)) == ERROR_SUCCESS;
}

bool IsCameraPath(const RegistryKeyCopy& instance) {
  for (const auto& v : instance.values) {
    if (v.name != "DevicePath" || v.type != REG_SZ) continue;
    const std::string path(v.data.begin(), v.data.end());
    return path.find("vid_0525") != std::string::npos && path.find("pid_a941") != std::string::npos;
  }
  return false;
}

}  // namespace

bool AddVideoInputDevice(const std::string& instance, const std::string& friendlyName,
                         const std::string& clsid, const char* devicePath) {
  const std::string path = std::string(kVideoInputInstanceKey) + "\\" + instance;
  orba::ScopedHKEY key;
  if (RegCreateKeyExA(HKEY_CLASSES_ROOT, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                      key.Put(), nullptr) != ERROR_SUCCESS) {
    return false;
  }
  return SetString(key.Get(), "FriendlyName", friendlyName) &&
         SetString(key.Get(), "CLSID", clsid) &&
         (!devicePath || SetString(key.Get(), "DevicePath", devicePath));
}

ScopedVideoInputDevices::ScopedVideoInputDevices(Mode mode)
    : saved_(HKEY_CLASSES_ROOT, kVideoInputInstanceKey) {
  RegistryKeyCopy current;
  if (!ReadRegistryTree(HKEY_CLASSES_ROOT, kVideoInputInstanceKey, &current)) return;
  for (const auto& instance : current.subkeys) {
    if (mode == kRemoveAll || IsCameraPath(instance)) {
      DeleteRegistryTree(HKEY_CLASSES_ROOT,
                         std::string(kVideoInputInstanceKey) + "\\" + instance.name);
    }
  }
}

std::vector<std::string> VideoInputDeviceNames() {
  std::vector<std::string> names;
  const HRESULT com = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
  {
    orba::ComPtr<ICreateDevEnum> devices;
    orba::ComPtr<IEnumMoniker> monikers;
    if (SUCCEEDED(CoCreateInstance(CLSID_SystemDeviceEnum, nullptr, CLSCTX_INPROC_SERVER,
                                   IID_ICreateDevEnum, devices.PutVoid())) &&
        devices->CreateClassEnumerator(CLSID_VideoInputDeviceCategory, &monikers, 0) == S_OK) {
      orba::ComPtr<IMoniker> moniker;
      ULONG fetched = 0;
      while (monikers->Next(1, &moniker, &fetched) == S_OK) {
        orba::ComPtr<IPropertyBag> bag;
        VARIANT v;
        VariantInit(&v);
        if (SUCCEEDED(moniker->BindToStorage(nullptr, nullptr, IID_IPropertyBag, bag.PutVoid())) &&
            SUCCEEDED(bag->Read(L"FriendlyName", &v, nullptr)) && v.vt == VT_BSTR) {
          char name[256] = {};  // the last byte stays the terminator
          WideCharToMultiByte(CP_ACP, 0, v.bstrVal, -1, name, sizeof name - 1, nullptr, nullptr);
          names.push_back(name);
        }
        VariantClear(&v);
      }
    }
  }
  if (SUCCEEDED(com)) CoUninitialize();
  return names;
}

}  // namespace orba_test
