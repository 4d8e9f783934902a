#pragma once
// Setup data of a filter: what DllRegisterServer hands to the filter mapper.
#include <windows.h>

#include <strmif.h>

typedef REGPINTYPES AMOVIESETUP_MEDIATYPE;

// Field for field a REGFILTERPINS, with constant texts so that tables can be const.
struct AMOVIESETUP_PIN {
  const WCHAR* strName;
  BOOL bRendered;
  BOOL bOutput;
  BOOL bZero;
  BOOL bMany;
  const CLSID* clsConnectsToFilter;
  const WCHAR* strConnectsToPin;
  UINT nMediaTypes;
  const AMOVIESETUP_MEDIATYPE* lpMediaType;
};

struct AMOVIESETUP_FILTER {
  const CLSID* clsID;
  const WCHAR* strName;
  DWORD dwMerit;
  UINT nPins;
  const AMOVIESETUP_PIN* lpPin;
  // Null registers the filter in the legacy DirectShow filter category.
  const CLSID* filterCategory;
};
