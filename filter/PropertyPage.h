#pragma once
// ORBAProcProperties: the filter's property page. Every click goes to the
// filter at once through IORBAProc; there is nothing to apply later.
#include <windows.h>

#include "IORBAProc.h"
#include "ORBAProc.h"
#include "dshow_base/Streams.h"
#include "orba/ComPtr.h"

class ORBAProcProperties : public CBasePropertyPage {
 public:
  static CUnknown* CALLBACK CreateInstance(LPUNKNOWN pUnk, HRESULT* phr);
  ~ORBAProcProperties() override;

  HRESULT OnConnect(IUnknown* pUnknown) override;
  HRESULT OnDisconnect() override;
  HRESULT OnDeactivate() override;
  HRESULT OnApplyChanges() override;
  INT_PTR OnReceiveMessage(HWND hwnd, UINT uMsg, WPARAM wParam, LPARAM lParam) override;

 private:
  ORBAProcProperties(LPUNKNOWN pUnk, HRESULT* phr);

  // Shows the filter's values in the controls.
  void LoadControls(HWND hwnd);
  void LoadStatus(HWND hwnd);
  // Sends the area mode with the values of the two number fields.
  void SendArea(HWND hwnd, long mode);

  orba::ComPtr<IORBAProc> m_pProc;
  long m_mode = kModeOff;
  double m_dx = 1.0;
  double m_dy = 1.0;
};
