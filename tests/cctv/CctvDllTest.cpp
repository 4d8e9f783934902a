// TRV_CCTV.dll as a camera program meets it: loaded by name, talking to the
// simulated Kavrelo magnifier (a separate process with real control windows and
// a control thread) and, where the display driver matters, to a stand-in driver
// put in place of gdi32's escape entry in the DLL's import table. Every case
// loads the DLL afresh, so each starts from the library's initial state.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "CctvHarness.h"
#include "KavreloSimClient.h"
#include "PeImage.h"
#include "TestEnv.h"

extern "C" LONG NTAPI RtlGetVersion(PRTL_OSVERSIONINFOW info);

namespace {

using cctv_test::CctvLibrary;
using cctv_test::Driver;
using cctv_test::DriverKind;
using cctv_test::EscapeCall;
using cctv_test::Value;
using kavrelo_sim::KavreloSim;
using kavrelo_sim::MessageRecord;
using kavrelo_sim::SimOptions;

const char* const kClasses[] = {"TEMBACTRLWINDOW",   "KIVEXCTRLWINDOW",   "QUASKCTRLWINDOW",
                                "QUASK_SCTRLWINDOW", "TEMBA_SCTRLWINDOW", "KIVEX_SCTRLWINDOW"};
const char kNotifyKey[] = "SOFTWARE\\Kavrelo\\Tessel\\cctv_notify";
constexpr UINT kViewerNotifyMessage = 1124;

std::vector<uint32_t> Ids(const std::vector<MessageRecord>& records) {
  std::vector<uint32_t> ids;
  for (const MessageRecord& r : records) ids.push_back(r.message);
  return ids;
}

std::vector<uint32_t> Words(std::initializer_list<uint32_t> words) { return words; }

// Where the registration belongs on the running system: NT 6 → HKCU, else HKLM.
HKEY ExpectedRoot() {
  RTL_OSVERSIONINFOW vi{};
  vi.dwOSVersionInfoSize = sizeof vi;
  EXPECT_EQ(RtlGetVersion(&vi), 0);
  return vi.dwPlatformId == VER_PLATFORM_WIN32_NT && vi.dwMajorVersion == 6 ? HKEY_CURRENT_USER
                                                                            : HKEY_LOCAL_MACHINE;
}
HKEY OtherRoot(HKEY root) {
  return root == HKEY_CURRENT_USER ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
}

std::string ValueName(HWND window) {
  char name[16];
  std::snprintf(name, sizeof name, "%08x", static_cast<unsigned>(Value(window)));
  return name;
}

// The registration value of window under root; the Win32 error of reading it.
LONG ReadRegistration(HKEY root, HWND window, DWORD* type, std::vector<uint8_t>* data) {
  HKEY key = nullptr;
  LONG rc = RegOpenKeyExA(root, kNotifyKey, 0, KEY_QUERY_VALUE, &key);
  if (rc != ERROR_SUCCESS) return rc;
  data->assign(64, 0);
  DWORD size = static_cast<DWORD>(data->size());
  rc = RegQueryValueExA(key, ValueName(window).c_str(), nullptr, type, data->data(), &size);
  RegCloseKey(key);
  data->resize(rc == ERROR_SUCCESS ? size : 0);
  return rc;
}

// A hidden top-level window standing for the viewer's; its registration is
// removed again whatever the test did.
class NotifyWindow {
 public:
  NotifyWindow() {
    WNDCLASSA wc{};
    wc.lpfnWndProc = DefWindowProcA;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "CctvTestNotifyWindow";
    RegisterClassA(&wc);
    hwnd_ = CreateWindowExA(0, wc.lpszClassName, "notify", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                            wc.hInstance, nullptr);
  }
  ~NotifyWindow() {
    for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
      HKEY key = nullptr;
      if (RegOpenKeyExA(root, kNotifyKey, 0, KEY_SET_VALUE, &key) == ERROR_SUCCESS) {
        RegDeleteValueA(key, ValueName(hwnd_).c_str());
        RegCloseKey(key);
      }
    }
    if (hwnd_) DestroyWindow(hwnd_);
  }
  HWND Get() const { return hwnd_; }

 private:
  HWND hwnd_ = nullptr;
};

class CctvDll : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* cls : kClasses) {
      ASSERT_EQ(FindWindowA(cls, nullptr), nullptr) << "a " << cls << " window is left over";
    }
    Driver().Reset(DriverKind::kNew);
  }
  void TearDown() override {
    sim_.Stop();
    EXPECT_TRUE(lib_.Unload()) << "TRV_CCTV.dll stayed loaded";
  }
  void Load(bool withStandIn = true) {
    const std::string error = lib_.Load(withStandIn);
    ASSERT_EQ(error, "");
  }
  void StartSim(const SimOptions& options = SimOptions()) {
    ASSERT_TRUE(sim_.Start(options)) << sim_.Error();
  }
  // Loads, starts the magnifier and initialises with the stand-in driver; the
  // driver's record then starts empty.
  void StartSession(const SimOptions& options = SimOptions()) {
    ASSERT_NO_FATAL_FAILURE(Load());
    ASSERT_NO_FATAL_FAILURE(StartSim(options));
    ASSERT_EQ(lib_.Init(nullptr, 0), KAVRELO_NEW_API_IS_RUNNING);
    ASSERT_FALSE(Driver().calls.empty());
    display_ = Driver().calls.front().dc;
    Driver().calls.clear();
  }

  CctvLibrary lib_;
  KavreloSim sim_;
  HDC display_ = nullptr;  // the library's display context, as the driver saw it
};

// ---------------------------------------------------------------- exports

using CctvDllExports = CctvDll;

TEST_F(CctvDllExports, ExactlyTheEightPlainNames) {
  ASSERT_NO_FATAL_FAILURE(Load(false));
  std::vector<std::string> names = cctv_test::ExportedNames(lib_.Module());
  std::sort(names.begin(), names.end());
  const std::vector<std::string> expected = {
      "CCTV_BitBlt",      "CCTV_ClearViewport", "CCTV_Close",      "CCTV_Init",
      "CCTV_SetViewport", "CCTV_StartRender",   "CCTV_StopRender", "CCTV_StretchBlt"};
  EXPECT_EQ(names, expected);
  // Escapes reach the driver through gdi32's import, nothing of the library's own.
  const std::vector<std::string> gdi = cctv_test::ImportedNames(lib_.Module(), "gdi32.dll");
  EXPECT_NE(std::find(gdi.begin(), gdi.end(), "ExtEscape"), gdi.end());
}

// ---------------------------------------------------------------- class search

using CctvDllClassSearch = CctvDll;

TEST_F(CctvDllClassSearch, FindsQuaskSWhenItIsTheOnlyControlWindow) {
  ASSERT_NO_FATAL_FAILURE(Load());
  ASSERT_NO_FATAL_FAILURE(StartSim(SimOptions{{"QUASK_SCTRLWINDOW"}}));
  EXPECT_EQ(lib_.Init(nullptr, 0), KAVRELO_NEW_API_IS_RUNNING);
  const std::vector<MessageRecord> got = sim_.Messages();
  ASSERT_EQ(Ids(got), Words({1050}));
  EXPECT_EQ(got[0].wParam, 0u);
  EXPECT_EQ(got[0].lParam, 0u);
}

TEST_F(CctvDllClassSearch, TembaIsUsedBeforeQuask) {
  ASSERT_NO_FATAL_FAILURE(Load());
  ASSERT_NO_FATAL_FAILURE(StartSim(SimOptions{{"QUASKCTRLWINDOW", "TEMBACTRLWINDOW"}}));
  EXPECT_EQ(lib_.Init(nullptr, 0), KAVRELO_NEW_API_IS_RUNNING);
  const std::vector<MessageRecord> got = sim_.Messages();
  ASSERT_EQ(Ids(got), Words({1050}));
  EXPECT_EQ(got[0].window, 1) << "1050 went to the QUASK window";
}

TEST_F(CctvDllClassSearch, FollowsTheWholeClassOrder) {
  for (size_t first = 0; first < 6; ++first) {
    SCOPED_TRACE(kClasses[first]);
    // The expected class and all later ones, the expected one created last.
    SimOptions options;
    options.classes.assign(std::begin(kClasses) + first, std::end(kClasses));
    std::reverse(options.classes.begin(), options.classes.end());
    ASSERT_NO_FATAL_FAILURE(Load());
    ASSERT_NO_FATAL_FAILURE(StartSim(options));
    EXPECT_NE(lib_.Init(nullptr, 0), KAVRELO_IS_NOT_RUNNING);
    const std::vector<MessageRecord> got = sim_.Messages();
    ASSERT_EQ(Ids(got), Words({1050}));
    EXPECT_EQ(got[0].window, static_cast<int32_t>(options.classes.size() - 1));
    sim_.Stop();
    ASSERT_TRUE(lib_.Unload());
  }
}

// ---------------------------------------------------------------- CCTV_Init

using CctvDllInit = CctvDll;

TEST_F(CctvDllInit, NoControlWindowAnswersNotRunningAndAsksNoDriver) {
  ASSERT_NO_FATAL_FAILURE(Load());
  EXPECT_EQ(lib_.Init(nullptr, 0), KAVRELO_IS_NOT_RUNNING);
  EXPECT_TRUE(Driver().calls.empty());
}

TEST_F(CctvDllInit, ThreadIdZeroAnswersApiNotSupportedAndViewportsStaySilent) {
  ASSERT_NO_FATAL_FAILURE(Load());
  SimOptions options;
  options.answerThreadId = false;
  ASSERT_NO_FATAL_FAILURE(StartSim(options));
  EXPECT_EQ(lib_.Init(nullptr, 0), KAVRELO_API_NOT_SUPPORTED);
  EXPECT_TRUE(Driver().calls.empty()) << "the driver is asked only with a control thread";
  EXPECT_EQ(lib_.SetViewport(0, 0, 100, 100, 0, 1), 1);
  EXPECT_EQ(lib_.ClearViewport(), 0u);
  // A later call asks the magnifier again: no thread id is known yet.
  EXPECT_EQ(lib_.Init(nullptr, 0), KAVRELO_API_NOT_SUPPORTED);
  EXPECT_EQ(Ids(sim_.Messages()), Words({1050, 1050}));
}

// A control window whose thread never answers 1050 counts as silent, and the
// call comes back.
TEST_F(CctvDllInit, HungControlWindowAnswersApiNotSupported) {
  ASSERT_NO_FATAL_FAILURE(Load());
  SimOptions options;
  options.hung = true;
  ASSERT_NO_FATAL_FAILURE(StartSim(options));
  EXPECT_EQ(lib_.Init(nullptr, 0), KAVRELO_API_NOT_SUPPORTED);
  EXPECT_TRUE(Driver().calls.empty());
  EXPECT_EQ(lib_.SetViewport(0, 0, 100, 100, 0, 1), 1);
  EXPECT_TRUE(sim_.Messages().empty()) << "nothing was taken by the hung magnifier";
}

TEST_F(CctvDllInit, NewerDriverGivesThreeWithASurfaceAnswerForTheDisplay) {
  ASSERT_NO_FATAL_FAILURE(Load());
  ASSERT_NO_FATAL_FAILURE(StartSim());
  EXPECT_EQ(lib_.Init(nullptr, 0), KAVRELO_NEW_API_IS_RUNNING);
  const std::vector<EscapeCall>& calls = Driver().calls;
  ASSERT_EQ(Driver().Functions(), Words({28, 36}));
  EXPECT_EQ(calls[0].escape, cctv_test::kHandshakeNew);
  EXPECT_EQ(calls[0].inputBytes, 12);
  EXPECT_EQ(calls[0].outputBytes, 40);
  EXPECT_EQ(calls[0].arg1, 0u);
  EXPECT_EQ(calls[1].escape, cctv_test::kEscapeNew);
  EXPECT_EQ(calls[1].outputBytes, 4);
  EXPECT_EQ(calls[1].dc, calls[0].dc) << "function 36 is asked of the display context";
  EXPECT_EQ(GetDeviceCaps(calls[0].dc, TECHNOLOGY), DT_RASDISPLAY);
  for (const EscapeCall& c : calls) EXPECT_EQ(c.arg2, 0u);
}

TEST_F(CctvDllInit, NewerDriverWithoutSurfaceAnswerGivesTwo) {
  ASSERT_NO_FATAL_FAILURE(Load());
  ASSERT_NO_FATAL_FAILURE(StartSim());
  Driver().defaultSurface = 0;
  EXPECT_EQ(lib_.Init(nullptr, 0), KAVRELO_IS_RUNNING);
  EXPECT_EQ(Driver().Functions(), Words({28, 36}));
}

TEST_F(CctvDllInit, OlderDriverAnswersTheSecondHandshake) {
  ASSERT_NO_FATAL_FAILURE(Load());
  ASSERT_NO_FATAL_FAILURE(StartSim());
  Driver().Reset(DriverKind::kOld);
  EXPECT_EQ(lib_.Init(nullptr, 0), KAVRELO_NEW_API_IS_RUNNING);
  const std::vector<EscapeCall>& calls = Driver().calls;
  ASSERT_EQ(Driver().Functions(), Words({28, 28, 36}));
  EXPECT_EQ(calls[0].escape, cctv_test::kHandshakeNew);
  EXPECT_EQ(calls[1].escape, cctv_test::kHandshakeOld);
  EXPECT_EQ(calls[1].outputBytes, 40);
  EXPECT_EQ(calls[2].escape, cctv_test::kEscapeOld);

  // Later escapes go out under the older number too.
  Driver().calls.clear();
  lib_.StartRender(0x1234);
  ASSERT_EQ(Driver().Functions(), Words({34}));
  EXPECT_EQ(Driver().calls[0].escape, cctv_test::kEscapeOld);
  EXPECT_EQ(Driver().calls[0].arg1, 0x1234u);
}

TEST_F(CctvDllInit, OlderDriverWithoutSurfaceAnswerGivesTwo) {
  ASSERT_NO_FATAL_FAILURE(Load());
  ASSERT_NO_FATAL_FAILURE(StartSim());
  Driver().Reset(DriverKind::kOld);
  Driver().defaultSurface = 0;
  EXPECT_EQ(lib_.Init(nullptr, 0), KAVRELO_IS_RUNNING);
}

TEST_F(CctvDllInit, DriverThatDoesNotTakePartGivesZeroAndEscapeNumberZero) {
  ASSERT_NO_FATAL_FAILURE(Load());
  ASSERT_NO_FATAL_FAILURE(StartSim());
  Driver().Reset(DriverKind::kNewInactive);
  EXPECT_EQ(lib_.Init(nullptr, 0), KAVRELO_IS_NOT_RUNNING);
  EXPECT_EQ(Driver().Functions(), Words({28, 28}));
  Driver().calls.clear();
  lib_.StopRender();
  ASSERT_EQ(Driver().Functions(), Words({35}));
  EXPECT_EQ(Driver().calls[0].escape, 0u) << "later escapes reach no driver function";
}

TEST_F(CctvDllInit, WinesOwnDisplayDriverDoesNotTakePart) {
  // The real escape road: gdi32 and Wine's display driver, which knows nothing
  // of the magnifier's escapes.
  ASSERT_NO_FATAL_FAILURE(Load(false));
  ASSERT_NO_FATAL_FAILURE(StartSim());
  EXPECT_EQ(lib_.Init(nullptr, 0), KAVRELO_IS_NOT_RUNNING);
  lib_.StartRender(1);
  lib_.StopRender();
  EXPECT_EQ(lib_.Close(), 0u);
}

TEST_F(CctvDllInit, RepeatedInitReleasesThePreviousDisplayContext) {
  ASSERT_NO_FATAL_FAILURE(StartSession());
  for (int i = 0; i < 3; ++i) {
    ASSERT_EQ(lib_.Init(nullptr, 0), KAVRELO_NEW_API_IS_RUNNING);
    ASSERT_FALSE(Driver().calls.empty());
    HDC next = Driver().calls.front().dc;
    Driver().calls.clear();
    ASSERT_NE(next, nullptr);
    if (next != display_) {
      EXPECT_EQ(GetObjectType(display_), 0u) << "the previous display context is still alive";
    }
    display_ = next;
  }
  EXPECT_EQ(sim_.Count(1050), 1u);
}

TEST_F(CctvDllInit, RepeatedInitKeepsTheHandleCountFlat) {
  // Each call makes a render mutex and a display context; the previous ones
  // must go, or every restart of the viewer leaks them.
  ASSERT_NO_FATAL_FAILURE(StartSession());
  ASSERT_EQ(lib_.Init(nullptr, 0), KAVRELO_NEW_API_IS_RUNNING);
  const size_t before = cctv_test::OwnKernelHandleCount();
  ASSERT_GT(before, 0u) << "the handle table cannot be read";
  for (int i = 0; i < 20; ++i) ASSERT_EQ(lib_.Init(nullptr, 0), KAVRELO_NEW_API_IS_RUNNING);
  const size_t after = cctv_test::OwnKernelHandleCount();
  EXPECT_LT(after, before + 5) << "before " << before << ", after " << after;
}

// ---------------------------------------------------------------- viewport

using CctvDllViewport = CctvDll;

TEST_F(CctvDllViewport, SameOptionsPostOptionsOnceAndTheRectangleEachTime) {
  // The magnifier takes its time: each call must wait until it is done.
  SimOptions slow;
  slow.delayMs = 100;
  ASSERT_NO_FATAL_FAILURE(StartSession(slow));
  EXPECT_EQ(lib_.SetViewport(0, 0, 100, 200, 0, 1), 1);
  EXPECT_EQ(lib_.SetViewport(10, 20, 300, 400, 0, 1), 1);
  std::vector<MessageRecord> got = sim_.Messages();
  ASSERT_EQ(Ids(got), Words({1050, 1051, 1052, 1052}));
  EXPECT_EQ(got[1].wParam, 1u) << "option B";
  EXPECT_EQ(got[1].lParam, 0u) << "option A";
  EXPECT_EQ(got[2].wParam, 0x00000000u);
  EXPECT_EQ(got[2].lParam, 0x00C80064u);
  EXPECT_EQ(got[3].wParam, 0x0014000Au);
  EXPECT_EQ(got[3].lParam, 0x0190012Cu);

  // New options are passed on before the rectangle.
  EXPECT_EQ(lib_.SetViewport(1, 2, 3, 4, 7, 9), 1);
  got = sim_.Messages();
  ASSERT_EQ(Ids(got), Words({1050, 1051, 1052, 1052, 1051, 1052}));
  EXPECT_EQ(got[4].wParam, 9u);
  EXPECT_EQ(got[4].lParam, 7u);
}

TEST_F(CctvDllViewport, SecondInitResendsOptionsButKeepsTheControlThread) {
  ASSERT_NO_FATAL_FAILURE(StartSession());
  EXPECT_EQ(lib_.SetViewport(0, 0, 640, 480, 0, 1), 1);
  EXPECT_EQ(lib_.Init(nullptr, 0), KAVRELO_NEW_API_IS_RUNNING);
  EXPECT_EQ(lib_.SetViewport(0, 0, 640, 480, 0, 1), 1);
  EXPECT_EQ(Ids(sim_.Messages()), Words({1050, 1051, 1052, 1051, 1052}));
}

TEST_F(CctvDllViewport, NegativeCoordinatesKeepTheirLow16Bits) {
  ASSERT_NO_FATAL_FAILURE(StartSession());
  EXPECT_EQ(lib_.SetViewport(-10, 20, -1, -32768, 0, 1), 1);
  const std::vector<MessageRecord> got = sim_.Messages();
  ASSERT_EQ(Ids(got), Words({1050, 1051, 1052}));
  EXPECT_EQ(got[2].wParam, 0x0014FFF6u);
  EXPECT_EQ(got[2].lParam, 0x8000FFFFu);
}

TEST_F(CctvDllViewport, ClearViewportAnswersZeroOnceProcessed) {
  SimOptions slow;
  slow.delayMs = 100;
  ASSERT_NO_FATAL_FAILURE(StartSession(slow));
  EXPECT_EQ(lib_.ClearViewport(), WAIT_OBJECT_0);
  const std::vector<MessageRecord> got = sim_.Messages();
  ASSERT_EQ(Ids(got), Words({1050, 1053}));
  EXPECT_EQ(got[1].wParam, 0u);
  EXPECT_EQ(got[1].lParam, 0u);
}

TEST_F(CctvDllViewport, MagnifierThatNeverSignalsTimesOut) {
  SimOptions hung;
  hung.signalProcessed = false;
  ASSERT_NO_FATAL_FAILURE(StartSession(hung));
  EXPECT_EQ(lib_.ClearViewport(), static_cast<DWORD>(WAIT_TIMEOUT));  // after 5 s
  EXPECT_EQ(Ids(sim_.Messages()), Words({1050, 1053}));
  // Once the magnifier is gone nothing can be posted: no wait, answer 0.
  sim_.Stop();
  EXPECT_EQ(lib_.ClearViewport(), 0u);
  EXPECT_EQ(lib_.SetViewport(0, 0, 1, 1, 0, 1), 1);
}

TEST_F(CctvDllViewport, WithoutInitNothingIsPostedOrSent) {
  ASSERT_NO_FATAL_FAILURE(Load());
  ASSERT_NO_FATAL_FAILURE(StartSim());
  EXPECT_EQ(lib_.SetViewport(0, 0, 100, 100, 0, 1), 1);
  EXPECT_EQ(lib_.ClearViewport(), 0u);
  EXPECT_EQ(lib_.Close(), 0u);
  // A message would have arrived by now; the simulated magnifier records
  // everything it gets.
  Sleep(100);
  EXPECT_TRUE(sim_.Messages().empty());
  EXPECT_TRUE(Driver().calls.empty());
}

// ---------------------------------------------------------------- CCTV_Close

using CctvDllClose = CctvDll;

TEST_F(CctvDllClose, ClearsViewportStopsRenderingAndReleasesTheBitmap) {
  ASSERT_NO_FATAL_FAILURE(StartSession());
  HBITMAP bitmap = CreateBitmap(8, 8, 1, 32, nullptr);
  lib_.BitBlt(nullptr, 0, 0, bitmap, 8, 8, 0, 0);
  ASSERT_EQ(Driver().CallsOf(42).size(), 1u);
  Driver().calls.clear();

  EXPECT_EQ(lib_.Close(), 0u);
  ASSERT_EQ(Driver().Functions(), Words({35, 43}));
  EXPECT_EQ(Driver().calls[1].arg1, 0x4201u);
  EXPECT_EQ(Driver().calls[1].dc, display_);
  EXPECT_EQ(Ids(sim_.Messages()), Words({1050, 1053}));
  EXPECT_EQ(GetObjectType(display_), 0u) << "the display context outlived CCTV_Close";

  // Closed: no control thread and no display context any more.
  Driver().calls.clear();
  EXPECT_EQ(lib_.SetViewport(0, 0, 1, 1, 0, 1), 1);
  EXPECT_EQ(lib_.ClearViewport(), 0u);
  lib_.BitBlt(nullptr, 0, 0, bitmap, 8, 8, 0, 0);
  lib_.StartRender(1);
  EXPECT_TRUE(Driver().calls.empty());
  EXPECT_EQ(Ids(sim_.Messages()), Words({1050, 1053}));

  // A new session asks for the control thread again and registers the bitmap afresh.
  EXPECT_EQ(lib_.Init(nullptr, 0), KAVRELO_NEW_API_IS_RUNNING);
  lib_.BitBlt(nullptr, 0, 0, bitmap, 8, 8, 0, 0);
  EXPECT_EQ(Driver().CallsOf(42).size(), 1u);
  EXPECT_EQ(Driver().CallsOf(39).size(), 1u);
  EXPECT_EQ(sim_.Count(1050), 2u);
  DeleteObject(bitmap);
}

// ---------------------------------------------------------------- registration

using CctvDllRegistration = CctvDll;

TEST_F(CctvDllRegistration, InitRegistersTheWindowUnderTheSystemsRoot) {
  NotifyWindow window;
  ASSERT_NE(window.Get(), nullptr);
  ASSERT_NO_FATAL_FAILURE(Load());
  EXPECT_EQ(lib_.Init(window.Get(), kViewerNotifyMessage), KAVRELO_IS_NOT_RUNNING);

  const HKEY root = ExpectedRoot();
  DWORD type = 0;
  std::vector<uint8_t> data;
  ASSERT_EQ(ReadRegistration(root, window.Get(), &type, &data), ERROR_SUCCESS);
  EXPECT_EQ(type, static_cast<DWORD>(REG_BINARY));
  const uint32_t handle = Value(window.Get());
  const std::vector<uint8_t> expected = {uint8_t(handle),
                                         uint8_t(handle >> 8),
                                         uint8_t(handle >> 16),
                                         uint8_t(handle >> 24),
                                         uint8_t(kViewerNotifyMessage & 0xFF),
                                         uint8_t(kViewerNotifyMessage >> 8),
                                         0,
                                         0};
  EXPECT_EQ(data, expected);
  EXPECT_NE(ReadRegistration(OtherRoot(root), window.Get(), &type, &data), ERROR_SUCCESS);

  // The key is volatile: it cannot hold a lasting subkey.
  HKEY probe = nullptr;
  const std::string probePath = std::string(kNotifyKey) + "\\lasting";
  EXPECT_EQ(RegCreateKeyExA(root, probePath.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_WRITE,
                            nullptr, &probe, nullptr),
            ERROR_CHILD_MUST_BE_VOLATILE);
  if (probe) {
    RegCloseKey(probe);
    RegDeleteKeyA(root, probePath.c_str());
  }

  EXPECT_EQ(lib_.Close(), 0u);
  EXPECT_EQ(ReadRegistration(root, window.Get(), &type, &data), ERROR_FILE_NOT_FOUND);
}

// Wine's per-program settings make cctv_notify_probe.exe (a program bound to
// the import library) see a given Windows version.
class ProbeVersion {
 public:
  explicit ProbeVersion(const char* version) {
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, kKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key,
                        nullptr) == ERROR_SUCCESS) {
      ok_ = RegSetValueExA(key, "Version", 0, REG_SZ, reinterpret_cast<const BYTE*>(version),
                           static_cast<DWORD>(std::strlen(version) + 1)) == ERROR_SUCCESS;
      RegCloseKey(key);
    }
  }
  ~ProbeVersion() { RegDeleteKeyA(HKEY_CURRENT_USER, kKey); }
  bool ok() const { return ok_; }

 private:
  static constexpr char kKey[] = "Software\\Wine\\AppDefaults\\cctv_notify_probe.exe";
  bool ok_ = false;
};

TEST_F(CctvDllRegistration, RootFollowsTheSystemVersion) {
  const struct {
    const char* version;
    HKEY root;
  } cases[] = {{"winxp", HKEY_LOCAL_MACHINE},   // 5.1
               {"win7", HKEY_CURRENT_USER},     // 6.1
               {"win81", HKEY_CURRENT_USER},    // 6.3
               {"win10", HKEY_LOCAL_MACHINE}};  // 10.0, whatever the program's manifest says
  const std::string probe = orba_test::ExeDir() + "\\cctv_notify_probe.exe";
  for (const auto& c : cases) {
    SCOPED_TRACE(c.version);
    ProbeVersion version(c.version);
    ASSERT_TRUE(version.ok());
    HANDLE ready = CreateEventA(nullptr, TRUE, FALSE, "cctv_notify_probe_ready");
    HANDLE stop = CreateEventA(nullptr, TRUE, FALSE, "cctv_notify_probe_stop");
    ASSERT_TRUE(ready && stop);
    std::string cmd = "\"" + probe + "\" cctv_notify_probe_ready cctv_notify_probe_stop";
    STARTUPINFOA si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    ASSERT_TRUE(CreateProcessA(probe.c_str(), &cmd[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                               &si, &pi));
    const HANDLE waits[] = {ready, pi.hProcess};
    EXPECT_EQ(WaitForMultipleObjects(2, waits, FALSE, 15000), WAIT_OBJECT_0);
    HWND window = FindWindowA("CctvNotifyProbe", nullptr);
    EXPECT_NE(window, nullptr);
    DWORD type = 0;
    std::vector<uint8_t> data;
    EXPECT_EQ(ReadRegistration(c.root, window, &type, &data), ERROR_SUCCESS);
    EXPECT_EQ(data.size(), 8u);
    EXPECT_NE(ReadRegistration(OtherRoot(c.root), window, &type, &data), ERROR_SUCCESS);
    SetEvent(stop);
    EXPECT_EQ(WaitForSingleObject(pi.hProcess, 15000), WAIT_OBJECT_0);
    DWORD exitCode = 1;
    GetExitCodeProcess(pi.hProcess, &exitCode);
    EXPECT_EQ(exitCode, 0u) << "CCTV_Close's answer";
    EXPECT_EQ(ReadRegistration(c.root, window, &type, &data), ERROR_FILE_NOT_FOUND);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    CloseHandle(ready);
    CloseHandle(stop);
  }
}

TEST_F(CctvDllRegistration, RestartMovesTheRegistrationToTheNewWindow) {
  NotifyWindow first, second;
  ASSERT_NO_FATAL_FAILURE(Load());
  lib_.Init(first.Get(), kViewerNotifyMessage);
  lib_.Init(second.Get(), kViewerNotifyMessage);
  const HKEY root = ExpectedRoot();
  DWORD type = 0;
  std::vector<uint8_t> data;
  EXPECT_EQ(ReadRegistration(root, first.Get(), &type, &data), ERROR_FILE_NOT_FOUND)
      << "the destroyed window of the previous pass stays registered";
  EXPECT_EQ(ReadRegistration(root, second.Get(), &type, &data), ERROR_SUCCESS);
  EXPECT_EQ(lib_.Close(), 0u);
  EXPECT_EQ(ReadRegistration(root, second.Get(), &type, &data), ERROR_FILE_NOT_FOUND);
}

TEST_F(CctvDllRegistration, CloseAnswersTheErrorOfOpeningTheKey) {
  NotifyWindow window;
  ASSERT_NO_FATAL_FAILURE(Load());
  lib_.Init(window.Get(), kViewerNotifyMessage);
  ASSERT_EQ(RegDeleteKeyA(ExpectedRoot(), kNotifyKey), ERROR_SUCCESS);
  EXPECT_EQ(lib_.Close(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  // The window is forgotten all the same.
  EXPECT_EQ(lib_.Close(), 0u);
}

TEST_F(CctvDllRegistration, NoWindowNoRegistration) {
  ASSERT_NO_FATAL_FAILURE(Load());
  HKEY key = nullptr;
  DWORD before = 0, after = 0;
  const HKEY root = ExpectedRoot();
  if (RegOpenKeyExA(root, kNotifyKey, 0, KEY_QUERY_VALUE, &key) == ERROR_SUCCESS) {
    RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &before, nullptr,
                     nullptr, nullptr, nullptr);
    RegCloseKey(key);
  }
  lib_.Init(nullptr, kViewerNotifyMessage);
  if (RegOpenKeyExA(root, kNotifyKey, 0, KEY_QUERY_VALUE, &key) == ERROR_SUCCESS) {
    RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &after, nullptr,
                     nullptr, nullptr, nullptr);
    RegCloseKey(key);
  }
  EXPECT_EQ(after, before);
  EXPECT_EQ(lib_.Close(), 0u);
}

// ---------------------------------------------------------------- rendering

using CctvDllBlit = CctvDll;

class Bitmap {
 public:
  Bitmap() : h_(CreateBitmap(16, 16, 1, 32, nullptr)) {}
  ~Bitmap() { DeleteObject(h_); }
  HBITMAP Get() const { return h_; }

 private:
  HBITMAP h_;
};

TEST_F(CctvDllBlit, SameBitmapIsRegisteredOnceAndRecordCarriesTheFields) {
  ASSERT_NO_FATAL_FAILURE(StartSession());
  Bitmap a;
  lib_.BitBlt(nullptr, 10, 20, a.Get(), 30, 40, 1, 2);
  lib_.BitBlt(nullptr, 10, 20, a.Get(), 30, 40, 1, 2);
  const std::vector<EscapeCall>& calls = Driver().calls;
  ASSERT_EQ(Driver().Functions(), Words({42, 36, 39, 39}));
  EXPECT_EQ(calls[0].arg1, Value(a.Get()));
  EXPECT_EQ(calls[0].dc, display_);
  EXPECT_EQ(calls[1].dc, display_) << "no destination: the display's surface";
  for (int i : {2, 3}) {
    SCOPED_TRACE(i);
    const EscapeCall& c = calls[i];
    EXPECT_EQ(c.dc, display_);
    EXPECT_EQ(c.escape, cctv_test::kEscapeNew);
    EXPECT_EQ(c.inputBytes, 64);
    EXPECT_EQ(c.outputBytes, 4);
    EXPECT_EQ(c.arg1, 0u);
    EXPECT_EQ(c.arg2, 0u);
    // surface, driver bitmap, 0, destination l t r b, source l t (r b unset), rop, 0
    EXPECT_EQ(c.payload, Words({0x5101, 0x4201, 0, 10, 20, 40, 60, 1, 2, 0, 0, 0xCCCC, 0}));
  }
}

TEST_F(CctvDllBlit, NewBitmapReleasesTheOldDriverHandleFirst) {
  ASSERT_NO_FATAL_FAILURE(StartSession());
  Bitmap a, b;
  lib_.BitBlt(nullptr, 0, 0, a.Get(), 16, 16, 0, 0);
  Driver().calls.clear();
  lib_.BitBlt(nullptr, 0, 0, b.Get(), 16, 16, 0, 0);
  const std::vector<EscapeCall>& calls = Driver().calls;
  ASSERT_EQ(Driver().Functions(), Words({43, 42, 39}));
  EXPECT_EQ(calls[0].arg1, 0x4201u);
  EXPECT_EQ(calls[0].dc, display_);
  EXPECT_EQ(calls[1].arg1, Value(b.Get()));
  EXPECT_EQ(calls[2].payload.at(1), 0x4202u);
}

TEST_F(CctvDllBlit, StretchRecordCarriesBothRectanglesToTheDestination) {
  ASSERT_NO_FATAL_FAILURE(StartSession());
  Bitmap a;
  HDC memory = CreateCompatibleDC(nullptr);
  Driver().surfaces[memory] = 0x7707;
  lib_.StretchBlt(memory, 5, 6, 100, 50, a.Get(), 7, 8, 20, 10);
  lib_.StretchBlt(memory, -5, -6, 10, 20, a.Get(), 0, 0, 16, 16);
  const std::vector<EscapeCall>& calls = Driver().calls;
  ASSERT_EQ(Driver().Functions(), Words({42, 36, 47, 47}));
  EXPECT_EQ(calls[1].dc, memory);
  EXPECT_EQ(calls[2].dc, memory);
  EXPECT_EQ(calls[2].inputBytes, 64);
  // surface, driver bitmap, 0, destination l t r b, source l t r b, (rop, last unset)
  EXPECT_EQ(calls[2].payload, Words({0x7707, 0x4201, 0, 5, 6, 105, 56, 7, 8, 27, 18, 0, 0}));
  EXPECT_EQ(calls[3].payload,
            Words({0x7707, 0x4201, 0, uint32_t(-5), uint32_t(-6), 5, 14, 0, 0, 16, 16, 0, 0}));

  // Back to the display: its surface is asked again.
  Driver().calls.clear();
  lib_.BitBlt(nullptr, 0, 0, a.Get(), 1, 1, 0, 0);
  ASSERT_EQ(Driver().Functions(), Words({36, 39}));
  EXPECT_EQ(calls[0].dc, display_);
  EXPECT_EQ(calls[1].payload.at(0), 0x5101u);
  DeleteDC(memory);
}

TEST_F(CctvDllBlit, NothingIsDrawnWithoutSurfaceOrDriverHandle) {
  ASSERT_NO_FATAL_FAILURE(StartSession());
  Bitmap a, b;
  HDC memory = CreateCompatibleDC(nullptr);
  Driver().surfaces[memory] = 0;  // not a context the driver serves
  lib_.BitBlt(memory, 0, 0, a.Get(), 16, 16, 0, 0);
  EXPECT_EQ(Driver().Functions(), Words({42, 36}));

  Driver().calls.clear();
  Driver().refuseRegistration = true;
  lib_.BitBlt(nullptr, 0, 0, b.Get(), 16, 16, 0, 0);
  lib_.StretchBlt(nullptr, 0, 0, 16, 16, b.Get(), 0, 0, 16, 16);
  EXPECT_EQ(Driver().Functions(), Words({43, 42, 36}));
  DeleteDC(memory);
}

TEST_F(CctvDllBlit, StartAndStopRenderReachTheDriver) {
  ASSERT_NO_FATAL_FAILURE(StartSession());
  lib_.StartRender(7);
  lib_.StopRender();
  const std::vector<EscapeCall>& calls = Driver().calls;
  ASSERT_EQ(Driver().Functions(), Words({34, 35}));
  EXPECT_EQ(calls[0].arg1, 7u);
  EXPECT_EQ(calls[1].arg1, 0u);
  for (const EscapeCall& c : calls) {
    EXPECT_EQ(c.dc, display_);
    EXPECT_EQ(c.escape, cctv_test::kEscapeNew);
    EXPECT_EQ(c.inputBytes, 12);
    EXPECT_EQ(c.outputBytes, 4);
    EXPECT_EQ(c.arg2, 0u);
  }
}

TEST_F(CctvDllBlit, RenderingWithoutInitDoesNothing) {
  ASSERT_NO_FATAL_FAILURE(Load());
  Bitmap a;
  HDC memory = CreateCompatibleDC(nullptr);
  lib_.StartRender(1);
  lib_.BitBlt(memory, 0, 0, a.Get(), 16, 16, 0, 0);
  lib_.StretchBlt(nullptr, 0, 0, 16, 16, a.Get(), 0, 0, 16, 16);
  lib_.StopRender();
  EXPECT_TRUE(Driver().calls.empty());
  DeleteDC(memory);
}

}  // namespace
