#include "GraphTestUtil.h"

namespace orba_test {

using orba::ComPtr;

ComPtr<IPin> FirstPin(IBaseFilter* filter) {
  ComPtr<IEnumPins> pins;
  ComPtr<IPin> pin;
  if (SUCCEEDED(filter->EnumPins(&pins))) {
    ULONG fetched = 0;
    pins->Next(1, &pin, &fetched);
  }
  return pin;
}

ComPtr<IPin> FindPin(IBaseFilter* filter, PIN_DIRECTION dir, const wchar_t* part) {
  ComPtr<IEnumPins> pins;
  if (FAILED(filter->EnumPins(&pins))) return nullptr;
  ComPtr<IPin> pin;
  ULONG fetched = 0;
  while (pins->Next(1, &pin, &fetched) == S_OK) {
    PIN_INFO info = {};
    if (FAILED(pin->QueryPinInfo(&info))) continue;
    if (info.pFilter) info.pFilter->Release();
    if (info.dir == dir && std::wstring(info.achName).find(part) != std::wstring::npos) return pin;
  }
  return nullptr;
}

std::wstring PinName(IPin* pin) {
  PIN_INFO info = {};
  if (FAILED(pin->QueryPinInfo(&info))) return L"";
  if (info.pFilter) info.pFilter->Release();
  return info.achName;
}

}  // namespace orba_test
