#include "ErrorBox.h"

#include <windows.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "ViewerState.h"

const char kErrorBoxTitle[] = "Opticorva ORBA";

namespace {

int g_openBoxes = 0;

// Not every system's message box honours MB_TOPMOST; the box is raised above
// the topmost viewer window as it becomes active.
LRESULT CALLBACK RaiseBoxHook(int code, WPARAM wParam, LPARAM lParam) {
  if (code == HCBT_ACTIVATE) {
    const HWND window = reinterpret_cast<HWND>(wParam);
    char name[8] = {};
    if (GetClassNameA(window, name, sizeof name) > 0 && std::strcmp(name, "#32770") == 0) {
      SetWindowPos(window, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    }
  }
  return CallNextHookEx(nullptr, code, wParam, lParam);
}

}  // namespace

bool ErrorBoxIsOpen() { return g_openBoxes > 0; }

void ErrorBox(const char* fmt, ...) {
  // A long text is cut at 1,023 characters; vsnprintf always terminates.
  char text[kErrorBoxBytes];
  va_list args;
  va_start(args, fmt);
  if (std::vsnprintf(text, sizeof text, fmt, args) < 0) text[0] = '\0';
  va_end(args);
  ++g_openBoxes;
  const HHOOK raise = SetWindowsHookExA(WH_CBT, RaiseBoxHook, nullptr, GetCurrentThreadId());
  MessageBoxA(nullptr, text, kErrorBoxTitle, MB_ICONERROR | MB_OK | MB_TOPMOST);
  if (raise) UnhookWindowsHookEx(raise);
  // What the window noted meanwhile is looked at from the message loop, not
  // from inside whoever showed this box.
  if (--g_openBoxes == 0 && g_viewer.hwndViewer) {
    PostMessageA(g_viewer.hwndViewer, kErrorBoxClosedMessage, 0, 0);
  }
}
