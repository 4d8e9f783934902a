// kavrelo_sim.exe: a stand-in for a running Kavrelo magnifier, as far as
// TRV_CCTV sees one. It creates hidden top-level control windows of the given
// classes on its control thread, answers 1050 with that thread's id, takes 1051
// to 1053 as thread messages, records everything into the test's file mapping
// and signals "CCTV_message_processed" once a viewport change (1052) or a clear
// (1053) is done. 1051 only stores the options, so it signals nothing.
//
// kavrelo_sim.exe <base name> <parent pid> [--no-signal] [--refuse]
//                 [--delay-ms N] [--hung] CLASS...
//   --no-signal   never signal the event (a hung magnifier)
//   --refuse      answer 1050 with 0 (a magnifier without the CCTV interface)
//   --delay-ms N  take N ms over each thread message before recording it
//   --hung        once the windows exist the control thread never takes a
//                 message again (a hung magnifier: 1050 gets no answer)
// It ends when the <base>_stop event is set or the parent process ends.
#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "KavreloSimProtocol.h"

namespace {

struct Options {
  std::string base;
  DWORD parentPid = 0;
  bool signal = true;
  bool refuse = false;
  DWORD delayMs = 0;
  bool hung = false;
  std::vector<std::string> classes;
};

kavrelo_sim::Shared* g_shared = nullptr;
HANDLE g_processed = nullptr;
Options g_options;
std::vector<HWND> g_windows;

void Record(UINT message, int window, WPARAM wParam, LPARAM lParam) {
  const LONG n = g_shared->messageCount;
  if (n >= kavrelo_sim::kMaxMessages) return;
  kavrelo_sim::MessageRecord& r = g_shared->messages[n];
  r.message = message;
  r.window = window;
  r.wParam = static_cast<uint64_t>(wParam);
  r.lParam = static_cast<uint64_t>(static_cast<ULONG_PTR>(lParam));
  // Publish the record only once it is complete.
  InterlockedExchange(&g_shared->messageCount, n + 1);
}

LRESULT CALLBACK ControlWndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == 1050) {
    int index = -1;
    for (size_t i = 0; i < g_windows.size(); ++i) {
      if (g_windows[i] == hwnd) index = static_cast<int>(i);
    }
    Record(msg, index, wParam, lParam);
    return g_options.refuse ? 0 : static_cast<LRESULT>(GetCurrentThreadId());
  }
  return DefWindowProcA(hwnd, msg, wParam, lParam);
}

void OnThreadMessage(const MSG& m) {
  if (g_options.delayMs) Sleep(g_options.delayMs);
  Record(m.message, -1, m.wParam, m.lParam);
  if (g_options.signal && (m.message == 1052 || m.message == 1053)) SetEvent(g_processed);
}

bool ParseOptions(int argc, char** argv, Options* o) {
  if (argc < 3) return false;
  o->base = argv[1];
  o->parentPid = std::strtoul(argv[2], nullptr, 10);
  for (int i = 3; i < argc; ++i) {
    if (!std::strcmp(argv[i], "--no-signal")) {
      o->signal = false;
    } else if (!std::strcmp(argv[i], "--refuse")) {
      o->refuse = true;
    } else if (!std::strcmp(argv[i], "--hung")) {
      o->hung = true;
    } else if (!std::strcmp(argv[i], "--delay-ms") && i + 1 < argc) {
      o->delayMs = std::strtoul(argv[++i], nullptr, 10);
    } else {
      o->classes.push_back(argv[i]);
    }
  }
  return !o->classes.empty() && o->classes.size() <= kavrelo_sim::kMaxWindows;
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  if (!ParseOptions(__argc, __argv, &g_options)) return 2;

  HANDLE mapping = OpenFileMappingA(FILE_MAP_WRITE, FALSE, g_options.base.c_str());
  if (!mapping) return 3;
  g_shared = static_cast<kavrelo_sim::Shared*>(
      MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, sizeof(kavrelo_sim::Shared)));
  if (!g_shared || g_shared->magic != kavrelo_sim::kMagic) return 3;
  HANDLE ready = OpenEventA(EVENT_MODIFY_STATE, FALSE, (g_options.base + "_ready").c_str());
  HANDLE stop = OpenEventA(SYNCHRONIZE, FALSE, (g_options.base + "_stop").c_str());
  HANDLE parent = OpenProcess(SYNCHRONIZE, FALSE, g_options.parentPid);
  if (!ready || !stop || !parent) return 4;

  // Whoever comes first creates the event; the other opens it.
  g_processed = CreateEventA(nullptr, FALSE, TRUE, "CCTV_message_processed");
  if (!g_processed) return 5;

  // Make sure the thread has a message queue before anyone can post to it.
  MSG msg;
  PeekMessageA(&msg, nullptr, WM_USER, WM_USER, PM_NOREMOVE);

  for (const std::string& cls : g_options.classes) {
    WNDCLASSA wc{};
    wc.lpfnWndProc = ControlWndProc;
    wc.hInstance = instance;
    wc.lpszClassName = cls.c_str();
    if (!RegisterClassA(&wc)) return 6;
    HWND w = CreateWindowExA(WS_EX_TOOLWINDOW, cls.c_str(), "Kavrelo control", WS_POPUP, 0, 0, 0, 0,
                             nullptr, nullptr, instance, nullptr);
    if (!w) return 6;
    g_shared->windows[g_windows.size()] = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(w));
    g_windows.push_back(w);
  }
  g_shared->windowCount = static_cast<uint32_t>(g_windows.size());
  g_shared->controlThreadId = GetCurrentThreadId();
  SetEvent(ready);

  const HANDLE waits[] = {stop, parent};
  if (g_options.hung) {
    WaitForMultipleObjects(2, waits, FALSE, INFINITE);
    return 0;
  }
  for (;;) {
    const DWORD w = MsgWaitForMultipleObjects(2, waits, FALSE, INFINITE, QS_ALLINPUT);
    if (w == WAIT_OBJECT_0 || w == WAIT_OBJECT_0 + 1 || w == WAIT_FAILED) break;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      if (msg.hwnd == nullptr && msg.message >= 1051 && msg.message <= 1053) {
        OnThreadMessage(msg);
      } else {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
      }
    }
  }
  for (HWND w : g_windows) DestroyWindow(w);
  return 0;
}
