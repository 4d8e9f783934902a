// The error box as the user sees it, and the program's own resources.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>

#include "ErrorBox.h"
#include "TestEnv.h"
#include "ViewerProcess.h"

namespace {

// Answers the first message box of this process from another thread.
class BoxAnswerer {
 public:
  BoxAnswerer()
      : thread_([this] {
          const ULONGLONG end = GetTickCount64() + 20000;
          while (GetTickCount64() < end) {
            for (HWND box : orba_test::FindProcessWindows(GetCurrentProcessId(), "#32770")) {
              if (!IsWindowVisible(box)) continue;
              Sleep(50);
              orba_test::ReadMessageBox(box, &seen);
              owner = GetWindow(box, GW_OWNER);
              topmost = (GetWindowLongA(box, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0;
              hasIcon = HasIcon(box);
              okOnly = GetDlgItem(box, IDOK) && !GetDlgItem(box, IDCANCEL) &&
                       !GetDlgItem(box, IDYES) && !GetDlgItem(box, IDNO);
              answered = orba_test::PressMessageBoxOk(box);
              return;
            }
            Sleep(20);
          }
        }) {}
  ~BoxAnswerer() {
    if (thread_.joinable()) thread_.join();
  }
  void Join() { thread_.join(); }

  orba_test::SeenMessageBox seen;
  HWND owner = nullptr;
  bool topmost = false;
  bool hasIcon = false;
  bool okOnly = false;
  std::atomic<bool> answered{false};

 private:
  static BOOL CALLBACK FindIcon(HWND child, LPARAM param) {
    char name[16] = {};
    GetClassNameA(child, name, sizeof name);
    if (_stricmp(name, "Static") == 0 &&
        (GetWindowLongA(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON) {
      *reinterpret_cast<bool*>(param) = true;
    }
    return TRUE;
  }
  static bool HasIcon(HWND box) {
    bool found = false;
    EnumChildWindows(box, FindIcon, reinterpret_cast<LPARAM>(&found));
    return found;
  }
  std::thread thread_;
};

TEST(ErrorBox, ShowsTheFormattedTextWithTitleIconAndOkAboveTheTopmostViewer) {
  BoxAnswerer answerer;
  ErrorBox("Error #27 RegisterClass Failed! Error=0x%x\r\n", 0x57u);
  answerer.Join();
  ASSERT_TRUE(answerer.answered);
  EXPECT_EQ("Opticorva ORBA", answerer.seen.title);
  EXPECT_EQ("Error #27 RegisterClass Failed! Error=0x57\r\n", answerer.seen.text);
  EXPECT_EQ(nullptr, answerer.owner);
  EXPECT_TRUE(answerer.topmost) << "the viewer window is topmost; the box must not hide under it";
  EXPECT_FALSE(ErrorBoxIsOpen());
  EXPECT_TRUE(answerer.hasIcon);
  EXPECT_TRUE(answerer.okOnly);
}

TEST(ErrorBox, LongTextIsCutAt1023Characters) {
  const std::string longText(3000, 'x');
  BoxAnswerer answerer;
  ErrorBox("%s", longText.c_str());
  answerer.Join();
  ASSERT_TRUE(answerer.answered);
  EXPECT_EQ(std::string(1023, 'x'), answerer.seen.text);
}

class ProgramResources : public ::testing::Test {
 protected:
  void SetUp() override {
    module_ = LoadLibraryExA(orba_test::BinPath("ORBA.exe").c_str(), nullptr,
                             LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    ASSERT_NE(nullptr, module_);
  }
  void TearDown() override { FreeLibrary(module_); }
  HMODULE module_ = nullptr;
};

TEST_F(ProgramResources, IconHundredLoadsInBothSizes) {
  for (int size : {16, 32}) {
    const HICON icon =
        static_cast<HICON>(LoadImageA(module_, MAKEINTRESOURCEA(100), IMAGE_ICON, size, size, 0));
    ASSERT_NE(nullptr, icon) << size;
    ICONINFO info = {};
    ASSERT_TRUE(GetIconInfo(icon, &info));
    BITMAP bm = {};
    GetObjectA(info.hbmColor, sizeof bm, &bm);
    EXPECT_EQ(size, bm.bmWidth);
    DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);
    DestroyIcon(icon);
  }
}

TEST_F(ProgramResources, ManifestRunsAsInvokerAndIsDpiAware) {
  const HRSRC found = FindResourceA(module_, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24));
  ASSERT_NE(nullptr, found);
  const HGLOBAL loaded = LoadResource(module_, found);
  ASSERT_NE(nullptr, loaded);
  const std::string manifest(static_cast<const char*>(LockResource(loaded)),
                             SizeofResource(module_, found));
  EXPECT_NE(std::string::npos, manifest.find("level=\"asInvoker\""));
  EXPECT_NE(std::string::npos, manifest.find("uiAccess=\"false\""));
  EXPECT_NE(std::string::npos, manifest.find(">true</dpiAware>"));
}

}  // namespace
