#include <objbase.h>
#include <dshow.h>

#include "dshow_base/ClassFactory.h"
#include "dshow_base/Registration.h"
#include "orba/ComPtr.h"

namespace {

HRESULT RegisterServers(BOOL bRegister, LPCWSTR modulePath) {
  HRESULT result = S_OK;
  for (int i = 0; i < g_cTemplates; ++i) {
    const CFactoryTemplate& entry = g_Templates[i];
    const HRESULT hr = bRegister
                           ? AMovieSetupRegisterServer(*entry.m_ClsID, entry.m_Name, modulePath)
                           : AMovieSetupUnregisterServer(*entry.m_ClsID);
    if (FAILED(hr) && SUCCEEDED(result)) result = hr;
  }
  return result;
}

HRESULT RegisterFilters(BOOL bRegister) {
  bool any = false;
  for (int i = 0; i < g_cTemplates; ++i) any = any || g_Templates[i].m_pAMovieSetup_Filter;
  if (!any) return S_OK;
  orba::ComPtr<IFilterMapper2> mapper;
  HRESULT hr = CoCreateInstance(CLSID_FilterMapper2, nullptr, CLSCTX_INPROC_SERVER,
                                IID_IFilterMapper2, mapper.PutVoid());
  if (FAILED(hr)) return hr;
  HRESULT result = S_OK;
  for (int i = 0; i < g_cTemplates; ++i) {
    if (!g_Templates[i].m_pAMovieSetup_Filter) continue;
    hr = AMovieSetupRegisterFilter2(g_Templates[i].m_pAMovieSetup_Filter, mapper.Get(), bRegister);
    if (FAILED(hr) && SUCCEEDED(result)) result = hr;
  }
  return result;
}

}  // namespace

HRESULT AMovieDllRegisterServer2(BOOL bRegister) {
  WCHAR modulePath[MAX_PATH];
  const DWORD len = GetModuleFileNameW(AMGetModuleInstance(), modulePath, MAX_PATH);
  // A cut path would register a file that does not exist.
  if (len == 0 || len >= MAX_PATH) return E_FAIL;

  const HRESULT hrInit = CoInitialize(nullptr);
  HRESULT hr;
  if (bRegister) {
    hr = RegisterServers(TRUE, modulePath);
    if (SUCCEEDED(hr)) hr = RegisterFilters(TRUE);
  } else {
    hr = RegisterFilters(FALSE);
    const HRESULT hrServers = RegisterServers(FALSE, modulePath);
    if (SUCCEEDED(hr)) hr = hrServers;
  }
  if (SUCCEEDED(hrInit)) CoUninitialize();
  return hr;
}
