#pragma once
// Registration of in-process servers and filters.
#include <windows.h>

#include "dshow_base/Setup.h"

// HKCR\CLSID\{clsid}: default value szDescription; subkey szServerType with the
// module path as default value and "ThreadingModel" = szThreadingModel.
HRESULT AMovieSetupRegisterServer(REFCLSID clsServer, LPCWSTR szDescription, LPCWSTR szFileName,
                                  LPCWSTR szThreadingModel = L"Both",
                                  LPCWSTR szServerType = L"InprocServer32");
// Removes HKCR\CLSID\{clsid} with everything below it; S_OK when it is gone.
HRESULT AMovieSetupUnregisterServer(REFCLSID clsServer);

// Registers (or unregisters) a filter with the given filter mapper: REGFILTER2
// version 1 with the setup pins, in the setup category (legacy filters by default).
HRESULT AMovieSetupRegisterFilter2(const AMOVIESETUP_FILTER* psetupdata, IFilterMapper2* pIFM2,
                                   BOOL bRegister);
// The same through a filter mapper of its own.
HRESULT AMovieSetupRegisterFilter(const AMOVIESETUP_FILTER* psetupdata, BOOL bRegister);

// DllRegisterServer / DllUnregisterServer of a module: every entry of g_Templates
// as an in-process server (ThreadingModel "Both"), and every entry with setup data
// as a filter. Unregistering removes the filters first, then the servers.
HRESULT AMovieDllRegisterServer2(BOOL bRegister);

// "{xxxxxxxx-xxxx-...}" of a GUID into a buffer of at least 39 characters.
void AMGuidToString(REFGUID guid, WCHAR (&text)[39]);
