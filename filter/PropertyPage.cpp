#include "PropertyPage.h"

#include <commctrl.h>

#include <climits>
#include <new>
#include <utility>

#include "ORBAProcResource.h"

namespace {

// The factor fields show dx and dy in hundredths.
constexpr double kFieldScale = 100.0;

// dx or dy as the number field shows it: times 100, truncated toward zero; a
// value outside the field's range shows its nearest end.
UINT FieldValue(double value) {
  const double scaled = value * kFieldScale;
  if (!(scaled == scaled)) return 0;  // not a number
  if (scaled >= static_cast<double>(INT_MAX)) return static_cast<UINT>(INT_MAX);
  if (scaled <= static_cast<double>(INT_MIN)) return static_cast<UINT>(INT_MIN);
  return static_cast<UINT>(static_cast<int>(scaled));
}

// The area mode shown by each radio button.
struct AreaButton {
  int id;
  long mode;
};
constexpr AreaButton kAreaButtons[] = {
    {IDC_AREA_FULL, kModeFull},   {IDC_AREA_LEFT, kModeLeft},     {IDC_AREA_TOP, kModeTop},
    {IDC_AREA_RIGHT, kModeRight}, {IDC_AREA_BOTTOM, kModeBottom}, {IDC_AREA_OFF, kModeOff},
};

// The number in a factor field; false when the field holds none. A minus sign
// does not make an unsigned number, whatever the system's conversion says.
bool ReadFactorField(HWND hwnd, int id, UINT* value) {
  char text[32] = {};  // more than the longest number the field takes
  GetDlgItemTextA(hwnd, id, text, sizeof text);
  for (const char* p = text; *p; ++p) {
    if (*p == '-') return false;
  }
  BOOL translated = FALSE;
  *value = GetDlgItemInt(hwnd, id, &translated, FALSE);
  return translated != FALSE;
}

}  // namespace

CUnknown* CALLBACK ORBAProcProperties::CreateInstance(LPUNKNOWN pUnk, HRESULT* phr) {
  auto* page = new (std::nothrow) ORBAProcProperties(pUnk, phr);
  if (!page && phr) *phr = E_OUTOFMEMORY;
  return page;
}

ORBAProcProperties::ORBAProcProperties(LPUNKNOWN pUnk, HRESULT* phr)
    : CBasePropertyPage(nullptr, pUnk, IDD_ORBAPROC_PAGE, IDS_ORBAPROC_TITLE) {
  InitCommonControls();
  if (phr) *phr = S_OK;
}

// A frame that drops the page without disconnecting must not leak the filter:
// m_pProc lets it go.
ORBAProcProperties::~ORBAProcProperties() = default;

HRESULT ORBAProcProperties::OnConnect(IUnknown* pUnknown) {
  if (!pUnknown) return E_POINTER;
  orba::ComPtr<IORBAProc> proc;
  if (FAILED(pUnknown->QueryInterface(IID_IORBAProc, proc.PutVoid())) || !proc) {
    return E_NOINTERFACE;
  }
  // A second connect replaces the first object rather than leaking it.
  m_pProc = std::move(proc);
  return S_OK;
}

HRESULT ORBAProcProperties::OnDisconnect() {
  if (!m_pProc) return E_UNEXPECTED;
  m_pProc.Reset();
  return S_OK;
}

HRESULT ORBAProcProperties::OnDeactivate() { return S_OK; }

HRESULT ORBAProcProperties::OnApplyChanges() {
  m_bDirty = FALSE;
  return S_OK;
}

void ORBAProcProperties::LoadControls(HWND hwnd) {
  if (!m_pProc) return;
  long value = 0;
  if (SUCCEEDED(m_pProc->GetFlipHorizontal(&value))) {
    CheckDlgButton(hwnd, IDC_FLIP_HORIZONTAL, value ? BST_CHECKED : BST_UNCHECKED);
  }
  if (SUCCEEDED(m_pProc->GetFlipVertical(&value))) {
    CheckDlgButton(hwnd, IDC_FLIP_VERTICAL, value ? BST_CHECKED : BST_UNCHECKED);
  }
  if (SUCCEEDED(m_pProc->GetTakePicture(&value))) {
    CheckDlgButton(hwnd, IDC_SAVE_IMAGE, value ? BST_CHECKED : BST_UNCHECKED);
  }
  m_pProc->GetParams(&m_mode, &m_dx, &m_dy);

  // Any mode the page has no button for shows as off.
  int radio = IDC_AREA_OFF;
  for (const AreaButton& button : kAreaButtons) {
    if (button.mode == m_mode) radio = button.id;
  }
  // Only the filter's mode shows as chosen: a failed request must not leave
  // the button the user clicked checked beside it.
  for (const AreaButton& button : kAreaButtons) {
    CheckDlgButton(hwnd, button.id, button.id == radio ? BST_CHECKED : BST_UNCHECKED);
  }

  SetDlgItemInt(hwnd, IDC_DX, FieldValue(m_dx), FALSE);
  SetDlgItemInt(hwnd, IDC_DY, FieldValue(m_dy), FALSE);

  LoadStatus(hwnd);
}

void ORBAProcProperties::LoadStatus(HWND hwnd) {
  char status[ORBAProc::kStatusBytes] = {};
  if (SUCCEEDED(m_pProc->GetStatusText(status))) {
    status[sizeof status - 1] = '\0';
    SetDlgItemTextA(hwnd, IDC_STATUS, status);
  }
}

void ORBAProcProperties::SendArea(HWND hwnd, long mode) {
  if (!m_pProc) return;
  m_mode = mode;
  UINT value = 0;
  if (ReadFactorField(hwnd, IDC_DX, &value)) m_dx = value / kFieldScale;
  if (ReadFactorField(hwnd, IDC_DY, &value)) m_dy = value / kFieldScale;
  // The status field then shows the filter's message; after a failure the
  // whole page shows the filter's state again.
  if (m_pProc->SetParams(m_mode, m_dx, m_dy) != S_OK) {
    LoadControls(hwnd);
  } else {
    LoadStatus(hwnd);
  }
}

INT_PTR ORBAProcProperties::OnReceiveMessage(HWND hwnd, UINT uMsg, WPARAM wParam, LPARAM lParam) {
  switch (uMsg) {
    case WM_INITDIALOG:
      LoadControls(hwnd);
      return 1;
    case WM_DESTROY:
    case WM_VSCROLL:
      return 1;
    case WM_COMMAND: {
      auto checked = [hwnd](int id) {
        return IsDlgButtonChecked(hwnd, id) == BST_CHECKED ? 1L : 0L;
      };
      switch (LOWORD(wParam)) {
        case IDC_FLIP_HORIZONTAL:
          if (m_pProc) m_pProc->SetFlipHorizontal(checked(IDC_FLIP_HORIZONTAL));
          break;
        case IDC_FLIP_VERTICAL:
          if (m_pProc) m_pProc->SetFlipVertical(checked(IDC_FLIP_VERTICAL));
          break;
        case IDC_SAVE_IMAGE:
          if (m_pProc) m_pProc->SetTakePicture(checked(IDC_SAVE_IMAGE));
          break;
        // "set area" is the page's shortcut for the top half, not a second Off.
        case IDC_SET_AREA:
          SendArea(hwnd, kModeTop);
          break;
        default:
          for (const AreaButton& button : kAreaButtons) {
            if (button.id == LOWORD(wParam)) SendArea(hwnd, button.mode);
          }
          break;
      }
      return 1;
    }
    default:
      return CBasePropertyPage::OnReceiveMessage(hwnd, uMsg, wParam, lParam);
  }
}
