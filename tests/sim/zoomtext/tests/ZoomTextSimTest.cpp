// The simulated ZoomText as a peer program meets it: the running one through
// its mutexes, window classes and messages only, the installed one through the
// registry and by loading its command library by full path.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ZoomTextSimClient.h"

namespace {

using zoomtext_sim::DirectoryValue;
using zoomtext_sim::Family;
using zoomtext_sim::RegistryView;
using zoomtext_sim::SimOptions;
using zoomtext_sim::VersionOptions;
using zoomtext_sim::ZoomTextInstall;
using zoomtext_sim::ZoomTextSim;
using zoomtext_sim::ZxCall;

const wchar_t* const kMutexes[] = {L"zxMutex100", L"zxMutex9", L"zxMutex8"};
const char* const kExports[] = {"_ZxCommand@4",
                                "_ZxCommandApi@8",
                                "_ZoomTextVersionRunning@0",
                                "_ZoomTextIsMagnifying@0",
                                "_ZoomTextStart@4",
                                "_ZxCommandSetPower@4",
                                "_ZoomTextExit@0",
                                "_ZoomTextTestSpeech@16"};
constexpr char kSpeechExport[] = "_ZoomTextTestSpeech@16";
constexpr uint32_t kUnanswered = 0xDEADBEEF;

typedef int(WINAPI* ApiEntry)(int, INT_PTR);
typedef int(WINAPI* NoArgEntry)();
typedef int(WINAPI* StartEntry)(const wchar_t*);

HWND AsWindow(uint32_t value) { return reinterpret_cast<HWND>(static_cast<uintptr_t>(value)); }

// The probe a camera program makes: create the name and see whether it
// existed. Returns the Win32 error (ERROR_ALREADY_EXISTS when it existed, 0
// when it was new), or the creation error.
DWORD ProbeMutex(const wchar_t* name) {
  HANDLE h = CreateMutexW(nullptr, FALSE, name);
  const DWORD error = GetLastError();
  if (!h) return error;
  CloseHandle(h);
  return error == ERROR_ALREADY_EXISTS ? error : 0;
}

std::wstring ReadText(HKEY key, const wchar_t* value, DWORD* type) {
  wchar_t text[MAX_PATH] = {};
  DWORD size = sizeof text - sizeof(wchar_t);
  if (RegQueryValueExW(key, value, nullptr, type, reinterpret_cast<BYTE*>(text), &size) !=
      ERROR_SUCCESS) {
    return L"(unreadable)";
  }
  return text;
}

std::wstring Expanded(const std::wstring& text) {
  wchar_t out[MAX_PATH] = {};
  const DWORD n = ExpandEnvironmentStringsW(text.c_str(), out, MAX_PATH);
  return n == 0 || n > MAX_PATH ? std::wstring() : std::wstring(out);
}

LONG OpenReader(REGSAM view, const std::wstring& name, HKEY* key) {
  const std::wstring path =
      std::wstring(ZoomTextInstall::ProductsKey()) + L"\\" + name + L"\\Settings\\Reader";
  return RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_QUERY_VALUE | view, key);
}

class ZoomTextSimTest : public ::testing::Test {
 protected:
  // Loads the library of an installed version by full path, as ZoomText's
  // clients must.
  HMODULE LoadInstalled(const std::wstring& name) {
    const std::wstring path = ZoomTextInstall::Folder(name) + L"\\zxcmdset.dll";
    HMODULE module = LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    EXPECT_NE(module, nullptr) << "error " << GetLastError();
    if (module) modules_.push_back(module);
    return module;
  }
  void TearDown() override {
    for (HMODULE m : modules_) FreeLibrary(m);
  }

  std::vector<HMODULE> modules_;
};

TEST_F(ZoomTextSimTest, EachFamilyHoldsItsMutexAndAnswersFromItsWindow) {
  const Family families[] = {Family::kZt10,  Family::kZt9,   Family::kZt8,    Family::kZtwinTitled,
                             Family::kZtwin, Family::kZxwin, Family::kZxwin32};
  const UINT getVersion = zoomtext_sim::GetVersionMessage();
  ASSERT_NE(getVersion, 0u);
  for (Family family : families) {
    SCOPED_TRACE(testing::Message() << "family " << static_cast<int>(family));
    ZoomTextSim sim;
    SimOptions options;
    options.family = family;
    ASSERT_TRUE(sim.Start(options)) << sim.Error();
    const wchar_t* held = zoomtext_sim::MutexName(family);
    for (const wchar_t* name : kMutexes) {
      const bool mine = held && std::wstring(held) == name;
      EXPECT_EQ(ProbeMutex(name), mine ? static_cast<DWORD>(ERROR_ALREADY_EXISTS) : 0u);
    }
    const HWND window = FindWindowW(zoomtext_sim::WindowClass(family), nullptr);
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(window, AsWindow(sim.MainWindow()));
    EXPECT_EQ(FindWindowW(L"Ztwin", L"Ztwin") != nullptr, family == Family::kZtwinTitled);
    EXPECT_EQ(static_cast<uint32_t>(SendMessageW(window, getVersion, 0, 0)),
              zoomtext_sim::DefaultReply(family));
    EXPECT_EQ(sim.VersionQueries(), 1u);

    sim.Stop();
    EXPECT_FALSE(IsWindow(window));
    EXPECT_EQ(FindWindowW(zoomtext_sim::WindowClass(family), nullptr), nullptr);
    if (held) {
      EXPECT_EQ(ProbeMutex(held), 0u);
    }
  }
}

TEST_F(ZoomTextSimTest, GivenReplyHungWindowMutexOnlyAndRefusedMutex) {
  const UINT getVersion = zoomtext_sim::GetVersionMessage();
  {
    ZoomTextSim sim;
    SimOptions options;
    options.family = Family::kZt9;
    options.reply = 0x090B0200u;  // 9.11 build 2
    ASSERT_TRUE(sim.Start(options)) << sim.Error();
    EXPECT_EQ(static_cast<uint32_t>(SendMessageW(AsWindow(sim.MainWindow()), getVersion, 0, 0)),
              0x090B0200u);
  }
  {
    ZoomTextSim sim;
    SimOptions options;
    options.family = Family::kZt10;
    options.hung = true;
    ASSERT_TRUE(sim.Start(options)) << sim.Error();
    const HWND window = FindWindowW(L"Zt10MainWindow", nullptr);
    ASSERT_NE(window, nullptr);
    DWORD_PTR reply = 0;
    EXPECT_EQ(SendMessageTimeoutW(window, getVersion, 0, 0, SMTO_ABORTIFHUNG, 2000, &reply), 0);
    EXPECT_EQ(sim.VersionQueries(), 0u);
    EXPECT_EQ(ProbeMutex(L"zxMutex100"), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    sim.Stop();
    EXPECT_FALSE(IsWindow(window));
  }
  {
    ZoomTextSim sim;
    SimOptions options;
    options.family = Family::kZt8;
    options.noWindow = true;
    ASSERT_TRUE(sim.Start(options)) << sim.Error();
    EXPECT_EQ(ProbeMutex(L"zxMutex8"), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    EXPECT_EQ(FindWindowW(L"ZT8MainWindow", nullptr), nullptr);
    EXPECT_EQ(sim.MainWindow(), 0u);
  }
  {
    ZoomTextSim sim;
    SimOptions options;
    options.family = Family::kZt9;
    options.denyMutex = true;
    ASSERT_TRUE(sim.Start(options)) << sim.Error();
    EXPECT_EQ(ProbeMutex(L"zxMutex9"), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_NE(FindWindowW(L"Zt9MainWindow", nullptr), nullptr);
    sim.Stop();
    EXPECT_EQ(ProbeMutex(L"zxMutex9"), 0u);
  }
}

UINT g_stateChanges = 0;
UINT g_stateChangeMessage = 0;
LRESULT CALLBACK ListenerProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == g_stateChangeMessage && wParam == 0 && lParam == 0) ++g_stateChanges;
  return DefWindowProcW(hwnd, msg, wParam, lParam);
}

TEST_F(ZoomTextSimTest, StateChangeBroadcastReachesATopLevelWindow) {
  g_stateChangeMessage = zoomtext_sim::StateChangeMessage();
  g_stateChanges = 0;
  WNDCLASSW wc{};
  wc.lpfnWndProc = ListenerProc;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.lpszClassName = L"ZoomTextSimTestListener";
  RegisterClassW(&wc);
  const HWND listener = CreateWindowExW(WS_EX_TOOLWINDOW, wc.lpszClassName, L"listener", WS_POPUP,
                                        0, 0, 0, 0, nullptr, nullptr, wc.hInstance, nullptr);
  ASSERT_NE(listener, nullptr);

  ZoomTextSim sim;
  ASSERT_TRUE(sim.Start()) << sim.Error();
  ASSERT_TRUE(sim.Broadcast());
  EXPECT_EQ(sim.Broadcasts(), 1u);
  const DWORD start = GetTickCount();
  while (g_stateChanges == 0 && GetTickCount() - start < 5000) {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
    Sleep(10);
  }
  EXPECT_EQ(g_stateChanges, 1u);
  DestroyWindow(listener);
  UnregisterClassW(wc.lpszClassName, wc.hInstance);
}

TEST_F(ZoomTextSimTest, InstalledLibrariesOfferTheirExports) {
  ZoomTextInstall install;
  ASSERT_TRUE(install.AddVersion(L"10.0", L"10.2", 0));
  ASSERT_TRUE(install.AddVersion(L"9.1", L"9.18", 0, true, true, /*noSpeechLibrary=*/true));
  const HMODULE full = LoadInstalled(L"10.0");
  const HMODULE noSpeech = LoadInstalled(L"9.1");
  ASSERT_TRUE(full && noSpeech);
  for (const char* name : kExports) {
    EXPECT_NE(GetProcAddress(full, name), nullptr) << name;
    EXPECT_EQ(GetProcAddress(noSpeech, name) != nullptr, std::string(name) != kSpeechExport)
        << name;
  }
}

TEST_F(ZoomTextSimTest, LibraryAnswersFromItsFileAndLogsTheBlocks) {
  ZoomTextInstall install;
  ASSERT_TRUE(install.AddVersion(L"10.0", L"10.2", 0));
  const HMODULE module = LoadInstalled(L"10.0");
  ASSERT_NE(module, nullptr);
  const auto api = reinterpret_cast<ApiEntry>(GetProcAddress(module, "_ZxCommandApi@8"));
  const auto running =
      reinterpret_cast<NoArgEntry>(GetProcAddress(module, "_ZoomTextVersionRunning@0"));
  const auto start = reinterpret_cast<StartEntry>(GetProcAddress(module, "_ZoomTextStart@4"));
  ASSERT_TRUE(api && running && start);

  // Defaults, then answers changed between calls.
  EXPECT_EQ(api(214, 0), 1);
  EXPECT_EQ(running(), 10);
  ASSERT_TRUE(install.SetAnswer(L"10.0", "magnifying", 0));
  ASSERT_TRUE(install.SetAnswer(L"10.0", "running", 9));
  EXPECT_EQ(api(214, 0), 0);
  EXPECT_EQ(running(), 9);
  EXPECT_EQ(start(L""), 1);

  ASSERT_TRUE(install.ClearCalls(L"10.0"));
  ASSERT_TRUE(install.SetAnswer(L"10.0", "result_1033", 8));
  uint32_t block[11] = {kUnanswered, 40, 0x1234, 0x5678, 1, 0, 0, 960, 1080, 0, 0};
  api(1033, reinterpret_cast<INT_PTR>(block));
  EXPECT_EQ(block[0], 8u);
  EXPECT_EQ(block[1], 40u);

  ASSERT_TRUE(install.SetAnswer(L"10.0", "result_1033", "none"));
  block[0] = kUnanswered;
  api(1033, reinterpret_cast<INT_PTR>(block));
  EXPECT_EQ(block[0], kUnanswered);

  ASSERT_TRUE(install.SetAnswer(L"10.0", "supported", 0));
  uint32_t support[2] = {kUnanswered, kUnanswered};
  api(1030, reinterpret_cast<INT_PTR>(support));
  EXPECT_EQ(support[0], 0u);
  EXPECT_EQ(support[1], 0u);

  const std::vector<ZxCall> calls = install.Calls(L"10.0");
  ASSERT_EQ(calls.size(), 3u);
  const ZxCall& first = calls[0];
  EXPECT_EQ(first.pid, GetCurrentProcessId());
  EXPECT_EQ(first.entry, "ZxCommandApi");
  EXPECT_EQ(first.code, 1033);
  EXPECT_EQ(first.param, reinterpret_cast<uintptr_t>(block));
  ASSERT_TRUE(first.hasRecord);
  EXPECT_EQ(first.record.slot, kUnanswered);
  EXPECT_EQ(first.record.size, 40u);
  EXPECT_EQ(first.record.owner, 0x1234u);
  EXPECT_EQ(first.record.video, 0x5678u);
  EXPECT_EQ(first.record.type, 1u);
  EXPECT_EQ(first.record.right, 960);
  EXPECT_EQ(first.record.bottom, 1080);
  EXPECT_EQ(calls[2].code, 1030);
  EXPECT_EQ(calls[2].block, (std::vector<uint32_t>{kUnanswered, kUnanswered}));
  EXPECT_FALSE(calls[2].hasRecord);
}

TEST_F(ZoomTextSimTest, InstallWritesTheChosenRegistryViewAndCleansUp) {
  {
    ZoomTextInstall install;
    ASSERT_TRUE(install.SetLastRun(0x000A0000));
    ASSERT_TRUE(install.AddVersion(L"10.0", L"10.2", 2));
    VersionOptions expand;
    expand.directory = DirectoryValue::kExpandText;
    expand.cdVersion = L"9.1";
    ASSERT_TRUE(install.AddVersion(L"9.1", L"9.18", 1, expand));
    VersionOptions wrong;
    wrong.directory = DirectoryValue::kWrongType;
    wrong.writeSoftwareVersion = false;
    ASSERT_TRUE(install.AddVersion(L"8.0", L"8.1", 0, wrong));

    HKEY key = nullptr;
    ASSERT_EQ(OpenReader(KEY_WOW64_32KEY, L"10.0", &key), ERROR_SUCCESS);
    DWORD type = 0;
    EXPECT_EQ(ReadText(key, L"Program Directory", &type), ZoomTextInstall::Folder(L"10.0"));
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(ReadText(key, L"Software Version", &type), L"10.2");
    EXPECT_EQ(ReadText(key, L"CD Version", &type), L"10.2");
    DWORD level = 0, size = sizeof level;
    EXPECT_EQ(RegQueryValueExW(key, L"Product Level", nullptr, &type,
                               reinterpret_cast<BYTE*>(&level), &size),
              ERROR_SUCCESS);
    EXPECT_EQ(level, 2u);
    RegCloseKey(key);

    ASSERT_EQ(OpenReader(KEY_WOW64_32KEY, L"9.1", &key), ERROR_SUCCESS);
    const std::wstring directory = ReadText(key, L"Program Directory", &type);
    EXPECT_EQ(type, static_cast<DWORD>(REG_EXPAND_SZ));
    EXPECT_NE(directory, ZoomTextInstall::Folder(L"9.1"));
    EXPECT_EQ(Expanded(directory), ZoomTextInstall::Folder(L"9.1"));
    EXPECT_EQ(ReadText(key, L"CD Version", &type), L"9.1");
    RegCloseKey(key);

    ASSERT_EQ(OpenReader(KEY_WOW64_32KEY, L"8.0", &key), ERROR_SUCCESS);
    EXPECT_EQ(RegQueryValueExW(key, L"Program Directory", nullptr, &type, nullptr, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));
    EXPECT_EQ(RegQueryValueExW(key, L"Software Version", nullptr, &type, nullptr, nullptr),
              ERROR_FILE_NOT_FOUND);
    RegCloseKey(key);

    // This test program is 64-bit: its own view does not see the 32-bit keys.
    EXPECT_EQ(OpenReader(0, L"10.0", &key), ERROR_FILE_NOT_FOUND);
    EXPECT_TRUE(zoomtext_sim::ZoomTextKeyExists(RegistryView::k32, ZoomTextInstall::RootKey()));
    EXPECT_FALSE(zoomtext_sim::ZoomTextKeyExists(RegistryView::k64, ZoomTextInstall::RootKey()));
    EXPECT_NE(GetFileAttributesW((ZoomTextInstall::Folder(L"10.0") + L"\\zt.exe").c_str()),
              INVALID_FILE_ATTRIBUTES);
  }
  EXPECT_FALSE(zoomtext_sim::ZoomTextKeyExists(RegistryView::k32, ZoomTextInstall::RootKey()));
  EXPECT_EQ(GetFileAttributesW(ZoomTextInstall::Root().c_str()), INVALID_FILE_ATTRIBUTES);

  {
    ZoomTextInstall install(RegistryView::k64);
    ASSERT_TRUE(install.AddVersion(L"10.0", L"10.2", 0));
    HKEY key = nullptr;
    ASSERT_EQ(OpenReader(0, L"10.0", &key), ERROR_SUCCESS);
    RegCloseKey(key);
    EXPECT_FALSE(zoomtext_sim::ZoomTextKeyExists(RegistryView::k32, ZoomTextInstall::RootKey()));
  }
  EXPECT_FALSE(zoomtext_sim::ZoomTextKeyExists(RegistryView::k64, ZoomTextInstall::RootKey()));
}

}  // namespace
