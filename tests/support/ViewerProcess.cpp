#include "ViewerProcess.h"

#include <cstring>

#include "TestEnv.h"

namespace orba_test {

namespace {

struct WindowSearch {
  DWORD pid;
  const char* className;
  std::vector<HWND> found;
};

BOOL CALLBACK CollectWindow(HWND window, LPARAM param) {
  auto* search = reinterpret_cast<WindowSearch*>(param);
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  if (owner != search->pid) return TRUE;
  char name[64] = {};
  GetClassNameA(window, name, sizeof name);
  if (std::strcmp(name, search->className) == 0) search->found.push_back(window);
  return TRUE;
}

struct TextSearch {
  std::string longest;
};

BOOL CALLBACK CollectStaticText(HWND child, LPARAM param) {
  auto* search = reinterpret_cast<TextSearch*>(param);
  char name[32] = {};
  GetClassNameA(child, name, sizeof name);
  if (_stricmp(name, "Static") != 0) return TRUE;
  if ((GetWindowLongA(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON) return TRUE;
  char text[2048] = {};
  GetWindowTextA(child, text, sizeof text);
  if (std::strlen(text) > search->longest.size()) search->longest = text;
  return TRUE;
}

}  // namespace

std::vector<HWND> FindProcessWindows(DWORD pid, const char* className) {
  WindowSearch search{pid, className, {}};
  EnumWindows(CollectWindow, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

bool ReadMessageBox(HWND box, SeenMessageBox* out) {
  if (!IsWindow(box)) return false;
  char title[256] = {};
  GetWindowTextA(box, title, sizeof title);
  // The message is the box's text control: the static that is not the icon.
  TextSearch search;
  EnumChildWindows(box, CollectStaticText, reinterpret_cast<LPARAM>(&search));
  out->title = title;
  out->text = search.longest;
  return true;
}

bool PressMessageBoxOk(HWND box) {
  const HWND ok = GetDlgItem(box, IDOK);
  return PostMessageA(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                      reinterpret_cast<LPARAM>(ok)) != FALSE;
}

ViewerProcess::~ViewerProcess() {
  if (IsRunning()) Kill();
  if (process_) CloseHandle(process_);
}

bool ViewerProcess::Start(const std::string& exePath) {
  const std::string exe = exePath.empty() ? BinPath("ORBA.exe") : exePath;
  std::string commandLine = "\"" + exe + "\"";
  std::vector<char> mutableLine(commandLine.begin(), commandLine.end());
  mutableLine.push_back('\0');
  STARTUPINFOA si = {};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi = {};
  if (!CreateProcessA(exe.c_str(), mutableLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                      ExeDir().c_str(), &si, &pi)) {
    return false;
  }
  CloseHandle(pi.hThread);
  if (process_) CloseHandle(process_);
  process_ = pi.hProcess;
  pid_ = pi.dwProcessId;
  return true;
}

bool ViewerProcess::IsRunning() const {
  return process_ && WaitForSingleObject(process_, 0) == WAIT_TIMEOUT;
}

HWND ViewerProcess::FindMessageBox() const {
  for (HWND w : FindProcessWindows(pid_, "#32770")) {
    if (!IsWindowVisible(w)) continue;
    // The Save As dialog and its replace question are answered by the tests
    // that open them, never by pressing OK on the way.
    char title[64] = {};
    GetWindowTextA(w, title, sizeof title);
    if (std::strcmp(title, kSaveDialogTitle) == 0) continue;
    return w;
  }
  return nullptr;
}

namespace {

// Reads a message box that has just been found and presses its OK button, then
// waits until the box has gone, so that the next look finds the next box.
bool AnswerFoundBox(HWND box, SeenMessageBox* seen) {
  // Give the box a moment to fill its text control.
  Sleep(50);
  if (!ReadMessageBox(box, seen) || !PressMessageBoxOk(box)) return false;
  const ULONGLONG gone = GetTickCount64() + 5000;
  while (IsWindow(box) && GetTickCount64() < gone) Sleep(20);
  return true;
}

}  // namespace

bool ViewerProcess::AnswerMessageBox(SeenMessageBox* box, DWORD timeoutMs) {
  const ULONGLONG end = GetTickCount64() + timeoutMs;
  do {
    if (const HWND w = FindMessageBox()) {
      SeenMessageBox seen;
      if (AnswerFoundBox(w, &seen)) {
        if (box) *box = seen;
        return true;
      }
    }
    if (process_ && WaitForSingleObject(process_, 50) == WAIT_OBJECT_0) return false;
  } while (GetTickCount64() < end);
  return false;
}

HWND ViewerProcess::FindViewerWindow() const {
  const auto found = FindProcessWindows(pid_, "Orba Viewer");
  return found.empty() ? nullptr : found.front();
}

HWND ViewerProcess::WaitForViewerWindow(DWORD timeoutMs) const {
  const ULONGLONG end = GetTickCount64() + timeoutMs;
  do {
    if (const HWND w = FindViewerWindow()) return w;
    if (process_ && WaitForSingleObject(process_, 50) == WAIT_OBJECT_0) return nullptr;
  } while (GetTickCount64() < end);
  return nullptr;
}

HWND ViewerProcess::WaitForNewViewerWindow(HWND previous, DWORD timeoutMs) const {
  const ULONGLONG end = GetTickCount64() + timeoutMs;
  do {
    const HWND w = FindViewerWindow();
    if (w && w != previous) return w;
    if (process_ && WaitForSingleObject(process_, 50) == WAIT_OBJECT_0) return nullptr;
  } while (GetTickCount64() < end);
  return nullptr;
}

bool ViewerProcess::PostZoomTextStateChange() const {
  return PostToViewer(RegisterWindowMessageA("ZoomTextStateChangeMsg"));
}

bool ViewerProcess::PostToViewer(UINT message, WPARAM wParam, LPARAM lParam) const {
  const HWND w = FindViewerWindow();
  return w && PostMessageA(w, message, wParam, lParam) != FALSE;
}

bool ViewerProcess::WaitForExit(DWORD timeoutMs, DWORD* exitCode,
                                std::vector<SeenMessageBox>* boxes) {
  if (!process_) return false;
  const ULONGLONG end = GetTickCount64() + timeoutMs;
  for (;;) {
    if (WaitForSingleObject(process_, 50) == WAIT_OBJECT_0) break;
    if (const HWND w = FindMessageBox()) {
      SeenMessageBox seen;
      if (AnswerFoundBox(w, &seen) && boxes) boxes->push_back(seen);
    }
    if (GetTickCount64() >= end) return false;
  }
  DWORD code = 0;
  GetExitCodeProcess(process_, &code);
  if (exitCode) *exitCode = code;
  return true;
}

bool ViewerProcess::CloseAndWait(DWORD timeoutMs, DWORD* exitCode,
                                 std::vector<SeenMessageBox>* boxes) {
  PostToViewer(WM_CLOSE);
  return WaitForExit(timeoutMs, exitCode, boxes);
}

void ViewerProcess::Kill() {
  if (!process_) return;
  TerminateProcess(process_, 255);
  WaitForSingleObject(process_, 5000);
}

}  // namespace orba_test
