// wine_desktop_keeper.exe [ready file]: attaches to Wine's desktop (which starts
// the desktop process when needed), creates the ready file and then waits until
// the wineserver ends it. Started once per test run, with its standard handles
// on /dev/null, it keeps the desktop process alive between tests: otherwise the
// first test that touches a window starts that process, the process inherits
// the test's output pipe, and ctest waits for it to end after every such test.
#include <windows.h>

#include <cstdlib>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  if (!GetDesktopWindow()) return 1;
  if (__argc > 1) {
    HANDLE f = CreateFileA(__argv[1], GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (f != INVALID_HANDLE_VALUE) CloseHandle(f);
  }
  Sleep(INFINITE);
  return 0;
}
