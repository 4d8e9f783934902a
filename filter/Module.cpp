// ORBAProc.ax: the in-process server of the filter and its property page.
#include <windows.h>

#include "ORBAProc.h"
#include "PropertyPage.h"

CFactoryTemplate g_Templates[] = {
    {L"ORBA Proc", &CLSID_ORBAProc, ORBAProc::CreateInstance, nullptr, ORBAProc::SetupData()},
    {L"ORBA Property Page", &CLSID_ORBAProcProperties, ORBAProcProperties::CreateInstance, nullptr,
     nullptr},
};
int g_cTemplates = sizeof(g_Templates) / sizeof(g_Templates[0]);

STDAPI DllRegisterServer() { return AMovieDllRegisterServer2(TRUE); }

STDAPI DllUnregisterServer() { return AMovieDllRegisterServer2(FALSE); }

extern "C" BOOL WINAPI DllMain(HINSTANCE hInstance, DWORD dwReason, LPVOID lpReserved) {
  return DllEntryPoint(hInstance, dwReason, lpReserved);
}
