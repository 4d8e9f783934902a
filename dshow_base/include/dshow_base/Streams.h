#pragma once
// Everything a DirectShow module built on the base layer needs.
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
