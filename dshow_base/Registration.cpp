#include "dshow_base/Registration.h"

#include <objbase.h>
#include <dshow.h>

#include <cwchar>
#include <vector>

#include "orba/ComPtr.h"
#include "orba/Scoped.h"

namespace {

HRESULT ClsidKeyPath(REFCLSID clsid, WCHAR (&path)[64]) {
  WCHAR guid[39];
  AMGuidToString(clsid, guid);
  if (guid[0] == L'\0') return E_UNEXPECTED;
  // "CLSID\" (6) + 38 characters + NUL always fit the 64-character buffer.
  std::wmemcpy(path, L"CLSID\\", 6);
  std::wmemcpy(path + 6, guid, 39);
  return S_OK;
}

LONG SetStringValue(HKEY key, LPCWSTR name, LPCWSTR text) {
  const DWORD bytes = static_cast<DWORD>((std::wcslen(text) + 1) * sizeof(WCHAR));
  return RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text), bytes);
}

// RegDeleteTree is missing before Vista; the product still runs on XP.
LONG DeleteKeyTree(HKEY parent, LPCWSTR name) {
  orba::ScopedHKEY key;
  LONG rc = RegOpenKeyExW(parent, name, 0, KEY_READ | KEY_WRITE, key.Put());
  if (rc != ERROR_SUCCESS) return rc;
  for (;;) {
    WCHAR child[256];
    DWORD len = 256;
    rc = RegEnumKeyExW(key.Get(), 0, child, &len, nullptr, nullptr, nullptr, nullptr);
    if (rc == ERROR_NO_MORE_ITEMS) break;
    if (rc != ERROR_SUCCESS) return rc;
    rc = DeleteKeyTree(key.Get(), child);
    if (rc != ERROR_SUCCESS) return rc;
  }
  key.Reset();
  return RegDeleteKeyW(parent, name);
}

}  // namespace

void AMGuidToString(REFGUID guid, WCHAR (&text)[39]) {
  if (StringFromGUID2(guid, text, 39) == 0) text[0] = L'\0';
}

HRESULT AMovieSetupRegisterServer(REFCLSID clsServer, LPCWSTR szDescription, LPCWSTR szFileName,
                                  LPCWSTR szThreadingModel, LPCWSTR szServerType) {
  if (!szDescription || !szFileName || !szThreadingModel || !szServerType) return E_POINTER;
  WCHAR path[64];
  HRESULT hr = ClsidKeyPath(clsServer, path);
  if (FAILED(hr)) return hr;

  orba::ScopedHKEY classKey;
  LONG rc = RegCreateKeyExW(HKEY_CLASSES_ROOT, path, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_WRITE,
                            nullptr, classKey.Put(), nullptr);
  if (rc == ERROR_SUCCESS) rc = SetStringValue(classKey.Get(), nullptr, szDescription);
  orba::ScopedHKEY serverKey;
  if (rc == ERROR_SUCCESS) {
    rc = RegCreateKeyExW(classKey.Get(), szServerType, 0, nullptr, REG_OPTION_NON_VOLATILE,
                         KEY_WRITE, nullptr, serverKey.Put(), nullptr);
  }
  if (rc == ERROR_SUCCESS) rc = SetStringValue(serverKey.Get(), nullptr, szFileName);
  if (rc == ERROR_SUCCESS)
    rc = SetStringValue(serverKey.Get(), L"ThreadingModel", szThreadingModel);
  return HRESULT_FROM_WIN32(rc);
}

HRESULT AMovieSetupUnregisterServer(REFCLSID clsServer) {
  WCHAR path[64];
  const HRESULT hr = ClsidKeyPath(clsServer, path);
  if (FAILED(hr)) return hr;
  const LONG rc = DeleteKeyTree(HKEY_CLASSES_ROOT, path);
  if (rc == ERROR_FILE_NOT_FOUND) return S_OK;
  return HRESULT_FROM_WIN32(rc);
}

HRESULT AMovieSetupRegisterFilter2(const AMOVIESETUP_FILTER* psetupdata, IFilterMapper2* pIFM2,
                                   BOOL bRegister) {
  if (!psetupdata) return S_FALSE;
  if (!pIFM2) return E_POINTER;
  const CLSID* category =
      psetupdata->filterCategory ? psetupdata->filterCategory : &CLSID_LegacyAmFilterCategory;
  HRESULT hr;
  if (bRegister) {
    std::vector<REGFILTERPINS> pins(psetupdata->nPins);
    for (UINT i = 0; i < psetupdata->nPins; ++i) {
      const AMOVIESETUP_PIN& from = psetupdata->lpPin[i];
      REGFILTERPINS& to = pins[i];
      // The mapper only reads the text.
      to.strName = const_cast<LPWSTR>(from.strName);
      to.bRendered = from.bRendered;
      to.bOutput = from.bOutput;
      to.bZero = from.bZero;
      to.bMany = from.bMany;
      to.clsConnectsToFilter = from.clsConnectsToFilter;
      to.strConnectsToPin = from.strConnectsToPin;
      to.nMediaTypes = from.nMediaTypes;
      to.lpMediaType = from.lpMediaType;
    }
    REGFILTER2 rf2 = {};
    rf2.dwVersion = 1;
    rf2.dwMerit = psetupdata->dwMerit;
    rf2.cPins = psetupdata->nPins;
    rf2.rgPins = pins.empty() ? nullptr : pins.data();
    hr = pIFM2->RegisterFilter(*psetupdata->clsID, psetupdata->strName, nullptr, category, nullptr,
                               &rf2);
  } else {
    hr = pIFM2->UnregisterFilter(category, nullptr, *psetupdata->clsID);
    // Already gone is fine.
    if (hr == HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND)) hr = S_OK;
  }
  return hr;
}

HRESULT AMovieSetupRegisterFilter(const AMOVIESETUP_FILTER* psetupdata, BOOL bRegister) {
  if (!psetupdata) return S_FALSE;
  orba::ComPtr<IFilterMapper2> mapper;
  const HRESULT hr = CoCreateInstance(CLSID_FilterMapper2, nullptr, CLSCTX_INPROC_SERVER,
                                      IID_IFilterMapper2, mapper.PutVoid());
  if (FAILED(hr)) return hr;
  return AMovieSetupRegisterFilter2(psetupdata, mapper.Get(), bRegister);
}
