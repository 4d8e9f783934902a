// orba_show_page.exe: shows the registered ORBAProc filter's property page in
// the system's property frame, as a graph tool would, with the area handles a
// host sets and the right half requested, so that the page shows a filter that
// took an area. The demo photographs it; closing the frame ends the program.
#include <windows.h>

#include <ocidl.h>
#include <olectl.h>

#include "IORBAProc.h"
#include "IORBAProcArea.h"
#include "orba/ComPtr.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return 1;
  int code = 1;
  {
    orba::ComPtr<IUnknown> filter;
    if (SUCCEEDED(CoCreateInstance(CLSID_ORBAProc, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                                   reinterpret_cast<void**>(&filter)))) {
      orba::ComPtr<IORBAProcArea> area;
      orba::ComPtr<IORBAProc> proc;
      if (SUCCEEDED(filter->QueryInterface(IID_IORBAProcArea, reinterpret_cast<void**>(&area))) &&
          SUCCEEDED(filter->QueryInterface(IID_IORBAProc, reinterpret_cast<void**>(&proc)))) {
        area->SetAreaHandles(0x10, GetCurrentProcessId());
        proc->SetParams(5, 1.0, 1.0);
      }
      IUnknown* objects[] = {filter.Get()};
      CLSID page = CLSID_ORBAProcProperties;
      code = SUCCEEDED(OleCreatePropertyFrame(nullptr, 40, 40, L"ORBA Proc", 1, objects, 1, &page,
                                              0, 0, nullptr))
                 ? 0
                 : 1;
    }
  }
  CoUninitialize();
  return code;
}
