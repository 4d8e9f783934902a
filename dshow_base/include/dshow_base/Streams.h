#pragma once
// Everything a DirectShow module built on the base layer needs.
//
// A module (.ax) built on it:
//   - defines `CFactoryTemplate g_Templates[]` (name, CLSID, creation function,
//     init routine or null, AMOVIESETUP_FILTER or null) and `int g_cTemplates`;
//   - defines DllMain as `return DllEntryPoint(hInstance, dwReason, lpReserved);`;
//   - defines DllRegisterServer / DllUnregisterServer as
//     `return AMovieDllRegisterServer2(TRUE / FALSE);`;
//   - exports DllGetClassObject, DllCanUnloadNow (both defined here),
//     DllRegisterServer and DllUnregisterServer through its .def file.
// A transform filter derives from CTransformFilter and overrides Transform,
// CheckInputType, CheckTransform, DecideBufferSize and GetMediaType.
#include <windows.h>

#include <dshow.h>

#include "dshow_base/BaseFilter.h"
#include "dshow_base/BasePin.h"
#include "dshow_base/ClassFactory.h"
#include "dshow_base/ComBase.h"
#include "dshow_base/EnumMediaTypes.h"
#include "dshow_base/EnumPins.h"
#include "dshow_base/InputPin.h"
#include "dshow_base/MType.h"
#include "dshow_base/OutputPin.h"
#include "dshow_base/PropertyPage.h"
#include "dshow_base/Registration.h"
#include "dshow_base/Setup.h"
#include "dshow_base/TransformFilter.h"
