#pragma once
// A stand-in for the running system as the ZoomText code sees it: which of
// ZoomText's mutexes and windows exist, what its main window answers, and
// which Windows this is. Installed for the lifetime of the object.
#include <windows.h>

#include <cstdint>
#include <map>
#include <set>
#include <string>

#include "orba/zoomtext/Detection.h"
#include "orba/zoomtext/System.h"

namespace zoomtext_test {

class FakeSystem : public zoomtext::System {
 public:
  // Each test starts from a module that has not met ZoomText yet.
  FakeSystem() {
    zoomtext::SetSystemForTesting(this);
    zoomtext::ZoomTextProgramDirectory[0] = L'\0';
    zoomtext::ZoomTextVersionText[0] = L'\0';
  }
  FakeSystem(const FakeSystem&) = delete;
  FakeSystem& operator=(const FakeSystem&) = delete;
  ~FakeSystem() override { zoomtext::SetSystemForTesting(nullptr); }

  // The family's mutex and main window, answering reply (0: no window).
  void RunZoomText(int family, uint32_t reply) {
    const wchar_t* mutex = family == 10 ? L"zxMutex100" : family == 9 ? L"zxMutex9" : L"zxMutex8";
    const wchar_t* cls = family == 10  ? L"Zt10MainWindow"
                         : family == 9 ? L"Zt9MainWindow"
                                       : L"ZT8MainWindow";
    mutexes.insert(mutex);
    if (reply) AddWindow(cls, L"ZoomText", reply);
  }
  void AddWindow(const std::wstring& cls, const std::wstring& title, uint32_t reply = 0) {
    const HWND hwnd = reinterpret_cast<HWND>(static_cast<INT_PTR>(0x1000 + windows.size()));
    windows[cls] = {title, hwnd};
    replies[hwnd] = reply;
  }

  bool MutexExists(const wchar_t* name) override { return mutexes.count(name) != 0; }
  HWND FindTopLevelWindow(const wchar_t* cls, const wchar_t* title) override {
    auto it = windows.find(cls);
    if (it == windows.end() || (title && it->second.title != title)) return nullptr;
    return it->second.hwnd;
  }
  uint32_t SendQuery(HWND window, UINT message) override {
    ++queries;
    lastMessage = message;
    auto it = replies.find(window);
    return it == replies.end() ? 0 : it->second;
  }
  bool IsWindowsXP() override { return xp; }

  struct Window {
    std::wstring title;
    HWND hwnd;
  };
  std::set<std::wstring> mutexes;
  std::map<std::wstring, Window> windows;
  std::map<HWND, uint32_t> replies;
  int queries = 0;
  UINT lastMessage = 0;
  bool xp = false;
};

}  // namespace zoomtext_test
