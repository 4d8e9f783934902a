// zoomtext_sim.exe: a stand-in for a running ZoomText, as far as a camera
// program sees one: the family's named mutex, held for the program's life, a
// hidden top-level main window of the family's class that answers
// "WM_GETVER_ZXP" with a version word, and "ZoomTextStateChangeMsg" broadcasts
// on the test's request. Queries and broadcasts are counted in the test's file
// mapping.
//
// zoomtext_sim.exe <base name> <parent pid> --family F [--reply 0xHEX] [--hung]
//                  [--no-window] [--deny-mutex]
//   F             10, 9, 8 (mutex "zxMutex100" / "zxMutex9" / "zxMutex8" and
//                 window class "Zt10MainWindow" / "Zt9MainWindow" /
//                 "ZT8MainWindow"), or one of the older families without a
//                 mutex: ztwin-titled (class "Ztwin", title "Ztwin"), ztwin
//                 (class "Ztwin", another title), zxwin ("Zxwin"), zxwin32
//                 ("ZXWIN32")
//   --reply       the answer to "WM_GETVER_ZXP" (major in bits 24-31, minor in
//                 16-23, build in 8-15); default 10.0, 9.3, 8.0, older 0
//   --hung        the window's thread never takes a message once the window
//                 exists (a hung ZoomText)
//   --no-window   the mutex only
//   --deny-mutex  the mutex refuses every access to others, so their
//                 CreateMutex of the name fails
// It ends when the <base>_stop event is set or the parent process ends.
#include <windows.h>

#include <sddl.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "ZoomTextSimProtocol.h"
#include "orba/Scoped.h"

namespace {

struct Family {
  const char* name;
  const wchar_t* mutex;  // nullptr: the family holds none
  const wchar_t* windowClass;
  const wchar_t* title;
  uint32_t defaultReply;
};

const Family kFamilies[] = {
    {"10", L"zxMutex100", L"Zt10MainWindow", L"ZoomText 10", 0x0A000000u},
    {"9", L"zxMutex9", L"Zt9MainWindow", L"ZoomText 9", 0x09030000u},
    {"8", L"zxMutex8", L"ZT8MainWindow", L"ZoomText 8", 0x08000000u},
    {"ztwin-titled", nullptr, L"Ztwin", L"Ztwin", 0},
    {"ztwin", nullptr, L"Ztwin", L"ZoomText", 0},
    {"zxwin", nullptr, L"Zxwin", L"ZoomText Xtra", 0},
    {"zxwin32", nullptr, L"ZXWIN32", L"ZoomText Xtra", 0},
};

struct Options {
  std::string base;
  DWORD parentPid = 0;
  const Family* family = nullptr;
  uint32_t reply = 0;
  bool hung = false;
  bool noWindow = false;
  bool denyMutex = false;
};

zoomtext_sim::Shared* g_shared = nullptr;
UINT g_getVersionMessage = 0;
uint32_t g_reply = 0;

LRESULT CALLBACK MainWndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == g_getVersionMessage && msg != 0) {
    InterlockedIncrement(&g_shared->versionQueries);
    return static_cast<LRESULT>(static_cast<int32_t>(g_reply));
  }
  return DefWindowProcW(hwnd, msg, wParam, lParam);
}

bool ParseOptions(int argc, char** argv, Options* o) {
  if (argc < 3) return false;
  o->base = argv[1];
  o->parentPid = std::strtoul(argv[2], nullptr, 10);
  bool replyGiven = false;
  for (int i = 3; i < argc; ++i) {
    if (!std::strcmp(argv[i], "--family") && i + 1 < argc) {
      ++i;
      for (const Family& f : kFamilies) {
        if (!std::strcmp(argv[i], f.name)) o->family = &f;
      }
      if (!o->family) return false;
    } else if (!std::strcmp(argv[i], "--reply") && i + 1 < argc) {
      char* end = nullptr;
      const unsigned long long v = std::strtoull(argv[++i], &end, 0);
      if (*end != '\0' || v > UINT32_MAX) return false;
      o->reply = static_cast<uint32_t>(v);
      replyGiven = true;
    } else if (!std::strcmp(argv[i], "--hung")) {
      o->hung = true;
    } else if (!std::strcmp(argv[i], "--no-window")) {
      o->noWindow = true;
    } else if (!std::strcmp(argv[i], "--deny-mutex")) {
      o->denyMutex = true;
    } else {
      return false;
    }
  }
  if (!o->family) return false;
  if (!replyGiven) o->reply = o->family->defaultReply;
  return true;
}

// Everyone is refused every access; only the handle made at creation works.
HANDLE CreateDeniedMutex(const wchar_t* name) {
  PSECURITY_DESCRIPTOR sd = nullptr;
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(L"D:(D;;0x101F0001;;;WD)",
                                                            SDDL_REVISION_1, &sd, nullptr)) {
    return nullptr;
  }
  SECURITY_ATTRIBUTES sa{};
  sa.nLength = sizeof sa;
  sa.lpSecurityDescriptor = sd;
  HANDLE mutex = CreateMutexW(&sa, FALSE, name);
  LocalFree(sd);
  return mutex;
}

void Broadcast(UINT stateChangeMessage) {
  if (PostMessageW(HWND_BROADCAST, stateChangeMessage, 0, 0)) {
    InterlockedIncrement(&g_shared->broadcasts);
  }
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  Options options;
  if (!ParseOptions(__argc, __argv, &options)) return 2;

  orba::ScopedHandle mapping(OpenFileMappingA(FILE_MAP_WRITE, FALSE, options.base.c_str()));
  if (!mapping) return 3;
  g_shared = static_cast<zoomtext_sim::Shared*>(
      MapViewOfFile(mapping.Get(), FILE_MAP_WRITE, 0, 0, sizeof(zoomtext_sim::Shared)));
  if (!g_shared || g_shared->magic != zoomtext_sim::kMagic) return 3;
  orba::ScopedHandle ready(
      OpenEventA(EVENT_MODIFY_STATE, FALSE, (options.base + "_ready").c_str()));
  orba::ScopedHandle stop(OpenEventA(SYNCHRONIZE, FALSE, (options.base + "_stop").c_str()));
  orba::ScopedHandle broadcast(
      OpenEventA(SYNCHRONIZE, FALSE, (options.base + "_broadcast").c_str()));  // auto-reset
  orba::ScopedHandle parent(OpenProcess(SYNCHRONIZE, FALSE, options.parentPid));
  if (!ready || !stop || !broadcast || !parent) return 4;

  orba::ScopedHandle mutex;
  if (options.family->mutex) {
    mutex.Reset(options.denyMutex ? CreateDeniedMutex(options.family->mutex)
                                  : CreateMutexW(nullptr, FALSE, options.family->mutex));
    const DWORD error = GetLastError();
    // Someone else holding the name would make this a second ZoomText.
    if (!mutex || error == ERROR_ALREADY_EXISTS) return 5;
  }

  g_getVersionMessage = RegisterWindowMessageW(zoomtext_sim::kGetVersionMessage);
  const UINT stateChangeMessage = RegisterWindowMessageW(zoomtext_sim::kStateChangeMessage);
  if (!g_getVersionMessage || !stateChangeMessage) return 6;
  g_reply = options.reply;

  HWND window = nullptr;
  if (!options.noWindow) {
    WNDCLASSW wc{};
    wc.lpfnWndProc = MainWndProc;
    wc.hInstance = instance;
    wc.lpszClassName = options.family->windowClass;
    if (!RegisterClassW(&wc)) return 7;
    window = CreateWindowExW(WS_EX_TOOLWINDOW, options.family->windowClass, options.family->title,
                             WS_POPUP, 0, 0, 0, 0, nullptr, nullptr, instance, nullptr);
    if (!window) return 7;
    g_shared->mainWindow = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(window));
    g_shared->windowThreadId = GetCurrentThreadId();
  }
  SetEvent(ready.Get());

  const HANDLE waits[] = {stop.Get(), parent.Get(), broadcast.Get()};
  for (;;) {
    // A hung ZoomText still has its window but never looks at its queue.
    const DWORD w = options.hung
                        ? WaitForMultipleObjects(3, waits, FALSE, INFINITE)
                        : MsgWaitForMultipleObjects(3, waits, FALSE, INFINITE, QS_ALLINPUT);
    if (w == WAIT_OBJECT_0 + 2) {
      Broadcast(stateChangeMessage);
      continue;
    }
    if (w != WAIT_OBJECT_0 + 3) break;
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
  }
  if (window) DestroyWindow(window);
  return 0;
}
