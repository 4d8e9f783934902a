// The six window layouts and the single-instance test.
#include <gtest/gtest.h>

#include <string>

#include "Layout.h"
#include "SingleInstance.h"
#include "ViewerState.h"

// Found by argument-dependent lookup: ViewRect lives in the global namespace.
bool operator==(const ViewRect& a, const ViewRect& b) {
  return a.x == b.x && a.y == b.y && a.width == b.width && a.height == b.height;
}
std::ostream& operator<<(std::ostream& os, const ViewRect& r) {
  return os << "(" << r.x << ", " << r.y << ", " << r.width << ", " << r.height << ")";
}

namespace {

TEST(ViewLayouts, RectanglesOfTheSixLayouts) {
  struct Row {
    int w, h;
    ViewRect expected[6];
  };
  const Row rows[] = {
      {1366,
       768,
       {{0, 0, 1366, 384},
        {0, 384, 1366, 768},
        {0, 0, 683, 768},
        {683, 0, 1366, 768},
        {0, 0, 1, 1},
        {0, 0, 1366, 768}}},
      // Halves of odd sizes round toward zero; bottom and right keep the full size.
      {1365,
       767,
       {{0, 0, 1365, 383},
        {0, 383, 1365, 767},
        {0, 0, 682, 767},
        {682, 0, 1365, 767},
        {0, 0, 1, 1},
        {0, 0, 1365, 767}}},
  };
  for (const Row& row : rows) {
    for (int mode = 0; mode < 6; ++mode) {
      SCOPED_TRACE(::testing::Message() << row.w << "x" << row.h << " mode " << mode);
      EXPECT_EQ(row.expected[mode], ViewModeRect(mode, row.w, row.h));
    }
  }
  EXPECT_EQ((ViewRect{0, 0, 800, 600}), ViewModeRect(6, 800, 600));
  EXPECT_EQ((ViewRect{0, 0, 800, 600}), ViewModeRect(-1, 800, 600));
}

TEST(ViewLayouts, WindowIsPlacedTopmostWithTheLayoutRectangle) {
  const HWND window = CreateWindowExA(0, "STATIC", "layout", WS_POPUP, 0, 0, 10, 10, nullptr,
                                      nullptr, nullptr, nullptr);
  ASSERT_NE(nullptr, window);
  g_viewer.hwndViewer = window;
  const int w = GetSystemMetrics(SM_CXSCREEN);
  const int h = GetSystemMetrics(SM_CYSCREEN);
  ShowViewerInLayout(kViewRight);
  RECT r;
  GetWindowRect(window, &r);
  EXPECT_EQ(w / 2, r.left);
  EXPECT_EQ(0, r.top);
  EXPECT_EQ(w / 2 + w, r.right) << "the right layout reaches past the screen edge";
  EXPECT_EQ(h, r.bottom);
  EXPECT_TRUE(IsWindowVisible(window));
  EXPECT_TRUE(GetWindowLongA(window, GWL_EXSTYLE) & WS_EX_TOPMOST);
  ShowViewerInLayout(kViewHidden);
  GetWindowRect(window, &r);
  EXPECT_EQ(1, r.right - r.left);
  EXPECT_EQ(1, r.bottom - r.top);
  g_viewer.hwndViewer = nullptr;
  DestroyWindow(window);
}

TEST(SingleInstance, ProgramNameIsTheTextAfterTheLastBackslash) {
  struct Row {
    const char* commandLine;
    const char* name;
  };
  const Row rows[] = {
      {"\"Z:\\work\\bin\\ORBA.exe\"", "ORBA.exe"},
      {"\"C:\\Program Files\\Opticorva\\ORBA.exe\" ", "ORBA.exe"},
      {"C:\\ORBA\\ORBA.exe", "ORBA.exe"},
      {"C:\\ORBA\\ORBA.exe  ", "ORBA.exe"},
      {"ORBA.exe", "ORBA.exe"},
      {"\"ORBA.exe\"", "ORBA.exe"},
      {"C:\\odd\\Orba.EXE", "Orba.EXE"},
  };
  for (const Row& row : rows) {
    char name[MAX_PATH];
    ASSERT_TRUE(ProgramNameFromCommandLine(row.commandLine, name, sizeof name)) << row.commandLine;
    EXPECT_STREQ(row.name, name) << row.commandLine;
  }
  char name[MAX_PATH];
  EXPECT_FALSE(ProgramNameFromCommandLine("", name, sizeof name));
  EXPECT_FALSE(ProgramNameFromCommandLine("C:\\folder\\", name, sizeof name));
  EXPECT_FALSE(ProgramNameFromCommandLine(nullptr, name, sizeof name));
  // A name that does not fit is refused, never cut.
  char small[8];
  small[7] = '#';
  EXPECT_FALSE(ProgramNameFromCommandLine("C:\\x\\ORBA.exe", small, 8));
  EXPECT_STREQ("", small);
  EXPECT_TRUE(ProgramNameFromCommandLine("C:\\x\\ORBA.ex", small, 8));
  EXPECT_STREQ("ORBA.ex", small);
}

TEST(SingleInstance, ProcessesAreCountedByExactName) {
  // The viewer has no arguments; this test program has, so its command line is
  // rebuilt from its own path as the shell starts the viewer.
  char path[MAX_PATH];
  ASSERT_NE(0u, GetModuleFileNameA(nullptr, path, MAX_PATH));
  const std::string commandLine = std::string("\"") + path + "\"";
  char own[MAX_PATH];
  ASSERT_TRUE(ProgramNameFromCommandLine(commandLine.c_str(), own, sizeof own));
  EXPECT_EQ(1, CountProcessesNamed(own)) << own;
  std::string upper(own);
  for (char& c : upper) c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
  ASSERT_NE(upper, std::string(own));
  EXPECT_EQ(0, CountProcessesNamed(upper.c_str())) << "the comparison is case-sensitive";
  EXPECT_FALSE(AnotherViewerIsRunning(commandLine.c_str()));
}

TEST(SingleInstance, RunningViewerWindowIsBroughtToTheFront) {
  EXPECT_FALSE(BringViewerToFront()) << "no viewer window yet";
  WNDCLASSA wc = {};
  wc.lpfnWndProc = DefWindowProcA;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.lpszClassName = kViewerClassName;
  ASSERT_NE(0, RegisterClassA(&wc));
  const HWND viewer = CreateWindowExA(0, kViewerClassName, "ORBA", WS_POPUP | WS_VISIBLE, 0, 0, 100,
                                      100, nullptr, nullptr, wc.hInstance, nullptr);
  const HWND other = CreateWindowExA(0, "STATIC", "other", WS_POPUP | WS_VISIBLE, 200, 0, 100, 100,
                                     nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(nullptr, viewer);
  ASSERT_NE(nullptr, other);
  SetForegroundWindow(other);
  ASSERT_EQ(other, GetForegroundWindow());
  EXPECT_TRUE(BringViewerToFront());
  EXPECT_EQ(viewer, GetForegroundWindow());
  DestroyWindow(other);
  DestroyWindow(viewer);
  UnregisterClassA(kViewerClassName, wc.hInstance);
}

}  // namespace
