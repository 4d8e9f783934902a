#include "orba/zoomtext/System.h"

#include "orba/Scoped.h"

namespace zoomtext {
namespace {

class RealSystem final : public System {
 public:
  bool MutexExists(const wchar_t* name) override {
    // Opening, never creating: a probe must not make ZoomText's own mutex
    // exist, or a ZoomText starting just then would think it runs already.
    // It asks for the access a creation of the existing mutex would get, so a
    // mutex that may not be had that way counts as absent.
    return static_cast<bool>(orba::ScopedHandle(OpenMutexW(MUTEX_ALL_ACCESS, FALSE, name)));
  }

  HWND FindTopLevelWindow(const wchar_t* className, const wchar_t* title) override {
    return FindWindowW(className, title);
  }

  uint32_t SendQuery(HWND window, UINT message) override {
    // A window that let the last query time out is not asked again for a
    // while: one area request asks several times, and each wait would stall
    // the caller's thread again.
    const DWORD now = GetTickCount();
    if (window == silentWindow_ && now - silentSince_ < kSilentMs) return 0;
    DWORD_PTR reply = 0;
    if (!SendMessageTimeoutW(window, message, 0, 0, SMTO_ABORTIFHUNG, kQueryTimeoutMs, &reply)) {
      silentWindow_ = window;
      silentSince_ = GetTickCount();
      return 0;
    }
    if (window == silentWindow_) silentWindow_ = nullptr;
    return static_cast<uint32_t>(reply);
  }

  bool IsWindowsXP() override {
    OSVERSIONINFOA info = {};
    info.dwOSVersionInfoSize = sizeof info;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    if (!GetVersionExA(&info)) return false;
#pragma GCC diagnostic pop
    return info.dwPlatformId == VER_PLATFORM_WIN32_NT && info.dwMajorVersion == 5 &&
           info.dwMinorVersion == 1;
  }

 private:
  static constexpr DWORD kSilentMs = 10000;
  HWND silentWindow_ = nullptr;
  DWORD silentSince_ = 0;
};

RealSystem g_real;
System* g_current = &g_real;

}  // namespace

System& CurrentSystem() { return *g_current; }

void SetSystemForTesting(System* system) { g_current = system ? system : &g_real; }

}  // namespace zoomtext
