#pragma once
// Test-side control of the simulated ZoomText: starting a running ZoomText
// (zoomtext_sim.exe) and setting up an installed one (registry, program folder,
// the stand-in zxcmdset.dll with its answers and its call log).
#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "ZoomTextSimProtocol.h"

namespace zoomtext_sim {

// ---------------------------------------------------------------------------
// A running ZoomText.

enum class Family {
  kZt10,         // mutex "zxMutex100", class "Zt10MainWindow"
  kZt9,          // mutex "zxMutex9",   class "Zt9MainWindow"
  kZt8,          // mutex "zxMutex8",   class "ZT8MainWindow"
  kZtwinTitled,  // class "Ztwin", title "Ztwin"
  kZtwin,        // class "Ztwin", another title
  kZxwin,        // class "Zxwin"
  kZxwin32,      // class "ZXWIN32"
};

// The family's mutex name, or nullptr for the older families that hold none.
const wchar_t* MutexName(Family family);
const wchar_t* WindowClass(Family family);
// The answer to "WM_GETVER_ZXP" when none is given: 10.0, 9.3, 8.0; older 0.
uint32_t DefaultReply(Family family);
// RegisterWindowMessage of "WM_GETVER_ZXP" / "ZoomTextStateChangeMsg".
UINT GetVersionMessage();
UINT StateChangeMessage();

struct SimOptions {
  Family family = Family::kZt10;
  std::optional<uint32_t> reply;  // the version word; DefaultReply(family) when empty
  bool hung = false;              // the main window's thread never takes a message
  bool noWindow = false;          // the mutex only
  bool denyMutex = false;         // others' CreateMutex of the name is refused
};

class ZoomTextSim {
 public:
  ZoomTextSim() = default;
  ZoomTextSim(const ZoomTextSim&) = delete;
  ZoomTextSim& operator=(const ZoomTextSim&) = delete;
  ~ZoomTextSim() { Stop(); }

  // Starts zoomtext_sim.exe from the test program's folder and waits until its
  // mutex and window exist. false (with a reason in Error()) when it could not
  // start.
  bool Start(const SimOptions& options = SimOptions());
  // Ends it and waits until its window and mutex are gone.
  void Stop();
  bool Running() const;

  // Makes it post "ZoomTextStateChangeMsg" to HWND_BROADCAST once; true when
  // it was posted.
  bool Broadcast();
  uint32_t Broadcasts() const;
  // "WM_GETVER_ZXP" messages it has answered.
  uint32_t VersionQueries() const;
  // The main window's handle value; 0 without one.
  uint32_t MainWindow() const;
  DWORD ProcessId() const { return pid_; }
  const std::string& Error() const { return error_; }

 private:
  bool Fail(const std::string& why);

  HANDLE mapping_ = nullptr;
  Shared* shared_ = nullptr;
  HANDLE ready_ = nullptr;
  HANDLE stop_ = nullptr;
  HANDLE broadcast_ = nullptr;
  HANDLE process_ = nullptr;
  DWORD pid_ = 0;
  SimOptions options_;
  std::string error_;
};

// ---------------------------------------------------------------------------
// The stand-in command library and what it logs.

// An area record as the library received it (1023, 1033 and 1024). For 1024
// the cells follow 1023's shape: size 0, owner, then the zero cells.
struct ZxRecord {
  uint32_t slot = 0;  // the result slot before the answer (callers preset 0xDEADBEEF)
  uint32_t size = 0;
  uint32_t owner = 0;
  uint32_t video = 0;  // 1033 only
  uint32_t type = 0;
  int32_t left = 0, top = 0, right = 0, bottom = 0;
  uint32_t reserved1 = 0, reserved2 = 0;
};

// One call, as logged.
struct ZxCall {
  DWORD pid = 0;
  std::string entry;            // plain export name: "ZxCommandApi", "ZoomTextStart", ...
  int32_t code = 0;             // ZxCommand, ZxCommandApi: the code; ZxCommandSetPower: the value
  uint64_t param = 0;           // ZxCommandApi: the parameter (zero-extended)
  std::vector<int32_t> args;    // the decimal arguments in order (code; the four speech values)
  std::vector<uint32_t> block;  // CCTV codes: the argument block's cells, result slot first
  bool hasRecord = false;       // 1023, 1033, 1024 with a block: record is filled
  ZxRecord record;
  bool textGiven = false;  // ZoomTextStart: a non-null text
  std::wstring text;       // ZoomTextStart: the text
};

// Whole lines only; a line that is not a call is left out.
std::vector<ZxCall> ParseCalls(const std::string& text);

// The built libraries in the test program's folder (bin\zxcmdset.dll and
// bin\zt_nospeech\zxcmdset.dll). Note that bin\zxcmdset.dll itself lies in the
// test programs' own folder; its log there shows a load by name.
std::wstring BuiltLibraryPath(bool noSpeech = false);
// The process's current folder, without a trailing backslash.
std::wstring CurrentFolder();
// Copies the stand-in library into folder (created when missing) with an
// answers file of defaults; an old call log there is removed.
bool PlaceLibrary(const std::wstring& folder, bool noSpeech = false);
// Removes the library, its answers file and its log from folder.
bool RemoveLibrary(const std::wstring& folder);
// Sets one answer in folder's answers file (other keys are kept).
bool WriteAnswer(const std::wstring& folder, const std::string& key, const std::string& value);
bool WriteAnswer(const std::wstring& folder, const std::string& key, int64_t value);
// The calls logged in folder, in order; empty when there is no log.
std::vector<ZxCall> ReadCalls(const std::wstring& folder);
// Empties folder's log; true when it is empty (or absent) afterwards.
bool ClearCallLog(const std::wstring& folder);

// ---------------------------------------------------------------------------
// An installed ZoomText.

enum class RegistryView { k32, k64 };

// How "Program Directory" is written.
enum class DirectoryValue {
  kText,               // REG_SZ, the folder without a trailing backslash
  kExpandText,         // REG_EXPAND_SZ, "%SystemDrive%\..." for the same folder
  kTrailingBackslash,  // REG_SZ, the folder with a trailing backslash
  kWrongType,          // REG_DWORD
  kMissing,            // not written
};

struct VersionOptions {
  bool withZtExe = true;         // put "zt.exe" into the folder
  bool withLibrary = true;       // copy the stand-in zxcmdset.dll into the folder
  bool noSpeechLibrary = false;  // ... the variant without "_ZoomTextTestSpeech@16"
  DirectoryValue directory = DirectoryValue::kText;
  bool writeSoftwareVersion = true;
  bool writeCdVersion = true;
  bool writeProductLevel = true;
  std::optional<std::wstring> cdVersion;  // default: the software version
};

// Sets up ZoomText installations under HKEY_LOCAL_MACHINE\Software\Ai Squared
// (in the chosen registry view) with program folders below
// C:\zt-sim-test\<version name>. Construction clears what an earlier run may
// have left; destruction removes the whole Software\Ai Squared tree in both
// views and the folder C:\zt-sim-test. One at a time.
class ZoomTextInstall {
 public:
  explicit ZoomTextInstall(RegistryView view = RegistryView::k32);
  ZoomTextInstall(const ZoomTextInstall&) = delete;
  ZoomTextInstall& operator=(const ZoomTextInstall&) = delete;
  ~ZoomTextInstall();

  static std::wstring Root();  // C:\zt-sim-test
  // "Software\Ai Squared" and "...\ZoomText Xtra" below HKLM.
  static const wchar_t* RootKey();
  static const wchar_t* ProductsKey();

  // "LastRun" DWORD in Software\Ai Squared (creates the key).
  bool SetLastRun(DWORD value);
  // Creates Software\Ai Squared\ZoomText Xtra without any version.
  bool CreateProductsKey();
  // Adds version subkey name (e.g. L"10.0") with "Software Version"
  // softwareVersion (e.g. L"10.2"), "Product Level" productLevel, and its
  // program folder Folder(name).
  bool AddVersion(const std::wstring& name, const std::wstring& softwareVersion, DWORD productLevel,
                  bool withZtExe = true, bool withLibrary = true, bool noSpeechLibrary = false);
  bool AddVersion(const std::wstring& name, const std::wstring& softwareVersion, DWORD productLevel,
                  const VersionOptions& options);

  // Further changes to a version's Settings\Reader values.
  bool SetReaderText(const std::wstring& name, const std::wstring& value, const std::wstring& text,
                     DWORD type = REG_SZ);
  bool SetReaderDword(const std::wstring& name, const std::wstring& value, DWORD data);
  bool DeleteReaderValue(const std::wstring& name, const std::wstring& value);

  // C:\zt-sim-test\<name>, without a trailing backslash.
  static std::wstring Folder(const std::wstring& name);
  // The answers and the call log of the library in that version's folder.
  bool SetAnswer(const std::wstring& name, const std::string& key, const std::string& value);
  bool SetAnswer(const std::wstring& name, const std::string& key, int64_t value);
  std::vector<ZxCall> Calls(const std::wstring& name) const;
  bool ClearCalls(const std::wstring& name) const;

  RegistryView View() const { return view_; }

 private:
  bool ReaderKey(const std::wstring& name, HKEY* key) const;

  RegistryView view_;
};

// Deletes HKLM\Software\Ai Squared in both views and C:\zt-sim-test; true when
// all of it is gone.
bool RemoveZoomTextInstall();
// HKLM\<path> exists in the view.
bool ZoomTextKeyExists(RegistryView view, const std::wstring& path);

}  // namespace zoomtext_sim
