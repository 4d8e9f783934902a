#include "ZoomTextSimClient.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <utility>

#include "TestEnv.h"
#include "orba/Scoped.h"

namespace zoomtext_sim {
namespace {

struct FamilyInfo {
  const char* arg;
  const wchar_t* mutex;
  const wchar_t* windowClass;
  uint32_t reply;
};

FamilyInfo Info(Family family) {
  switch (family) {
    case Family::kZt10:
      return {"10", L"zxMutex100", L"Zt10MainWindow", 0x0A000000u};
    case Family::kZt9:
      return {"9", L"zxMutex9", L"Zt9MainWindow", 0x09030000u};
    case Family::kZt8:
      return {"8", L"zxMutex8", L"ZT8MainWindow", 0x08000000u};
    case Family::kZtwinTitled:
      return {"ztwin-titled", nullptr, L"Ztwin", 0};
    case Family::kZtwin:
      return {"ztwin", nullptr, L"Ztwin", 0};
    case Family::kZxwin:
      return {"zxwin", nullptr, L"Zxwin", 0};
    case Family::kZxwin32:
      return {"zxwin32", nullptr, L"ZXWIN32", 0};
  }
  return {"", nullptr, L"", 0};
}

void CloseIf(HANDLE* h) {
  if (*h) CloseHandle(*h);
  *h = nullptr;
}

std::wstring Widen(const std::string& s) { return std::wstring(s.begin(), s.end()); }

std::wstring ExeFolder() { return Widen(orba_test::ExeDir()); }

// The mutex name is in use (by a holder that may refuse access).
bool MutexExists(const wchar_t* name) {
  HANDLE h = OpenMutexW(SYNCHRONIZE, FALSE, name);
  if (h) {
    CloseHandle(h);
    return true;
  }
  return GetLastError() != ERROR_FILE_NOT_FOUND;
}

REGSAM ViewFlag(RegistryView view) {
  return view == RegistryView::k32 ? KEY_WOW64_32KEY : KEY_WOW64_64KEY;
}

bool CreateKey(RegistryView view, const std::wstring& path, HKEY* key) {
  return RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0,
                         KEY_SET_VALUE | KEY_QUERY_VALUE | ViewFlag(view), nullptr, key,
                         nullptr) == ERROR_SUCCESS;
}

bool SetText(HKEY key, const wchar_t* value, const std::wstring& text, DWORD type) {
  return RegSetValueExW(key, value, 0, type, reinterpret_cast<const BYTE*>(text.c_str()),
                        static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
}

bool SetDword(HKEY key, const wchar_t* value, DWORD data) {
  return RegSetValueExW(key, value, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&data),
                        sizeof data) == ERROR_SUCCESS;
}

bool DeleteTree(RegistryView view) {
  HKEY software = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"Software", 0, KEY_ALL_ACCESS | ViewFlag(view),
                    &software) != ERROR_SUCCESS) {
    return false;
  }
  orba::ScopedHKEY owner(software);
  const LONG rc = RegDeleteTreeW(software, L"Ai Squared");
  return rc == ERROR_SUCCESS || rc == ERROR_FILE_NOT_FOUND;
}

bool WriteWholeFile(const std::wstring& path, const std::string& bytes) {
  orba::ScopedHandle file(CreateFileW(path.c_str(), GENERIC_WRITE,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return false;
  DWORD written = 0;
  return WriteFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
         written == bytes.size();
}

std::string ReadWholeFile(const std::wstring& path) {
  orba::ScopedHandle file(CreateFileW(path.c_str(), GENERIC_READ,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  std::string text;
  if (!file) return text;
  char buf[4096];
  DWORD got = 0;
  while (ReadFile(file.Get(), buf, sizeof buf, &got, nullptr) && got > 0) text.append(buf, got);
  return text;
}

bool DeleteIfThere(const std::wstring& path) {
  return DeleteFileW(path.c_str()) || GetLastError() == ERROR_FILE_NOT_FOUND;
}

// Creates every missing folder along path.
bool MakeFolders(const std::wstring& path) {
  for (size_t i = 3; i <= path.size(); ++i) {
    if (i == path.size() || path[i] == L'\\') {
      const std::wstring part = path.substr(0, i);
      if (!CreateDirectoryW(part.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) {
        return false;
      }
    }
  }
  return true;
}

bool ParseSigned(const std::string& token, int32_t* out) {
  char* end = nullptr;
  errno = 0;
  const long v = std::strtol(token.c_str(), &end, 10);
  if (token.empty() || *end != '\0' || errno != 0) return false;
  *out = static_cast<int32_t>(v);
  return true;
}

bool ParseHex(const std::string& token, uint64_t* out) {
  if (token.size() < 3 || token[0] != '0' || (token[1] != 'x' && token[1] != 'X')) return false;
  char* end = nullptr;
  errno = 0;
  const unsigned long long v = std::strtoull(token.c_str() + 2, &end, 16);
  if (*end != '\0' || errno != 0) return false;
  *out = v;
  return true;
}

std::vector<std::string> Tokens(const std::string& line) {
  std::vector<std::string> tokens;
  size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && (line[i] == ' ' || line[i] == '\r')) ++i;
    const size_t start = i;
    while (i < line.size() && line[i] != ' ' && line[i] != '\r') ++i;
    if (i > start) tokens.push_back(line.substr(start, i - start));
  }
  return tokens;
}

ZxRecord RecordOf(int code, const std::vector<uint32_t>& c) {
  ZxRecord r;
  r.slot = c[0];
  r.size = c[1];
  r.owner = c[2];
  size_t i = 3;
  if (code == 1033) r.video = c[i++];
  r.type = c[i++];
  r.left = static_cast<int32_t>(c[i++]);
  r.top = static_cast<int32_t>(c[i++]);
  r.right = static_cast<int32_t>(c[i++]);
  r.bottom = static_cast<int32_t>(c[i++]);
  r.reserved1 = c[i++];
  r.reserved2 = c[i++];
  return r;
}

bool ParseCall(const std::string& line, ZxCall* out) {
  const std::vector<std::string> t = Tokens(line);
  if (t.size() < 2) return false;
  ZxCall call;
  int32_t pid = 0;
  if (!ParseSigned(t[0], &pid)) return false;
  call.pid = static_cast<DWORD>(pid);
  call.entry = t[1];
  const size_t n = t.size() - 2;
  auto numbers = [&](size_t count) {
    if (n != count) return false;
    for (size_t i = 0; i < count; ++i) {
      int32_t v = 0;
      if (!ParseSigned(t[2 + i], &v)) return false;
      call.args.push_back(v);
    }
    if (count > 0) call.code = call.args[0];
    return true;
  };
  if (call.entry == "ZxCommand" || call.entry == "ZxCommandSetPower") {
    if (!numbers(1)) return false;
  } else if (call.entry == "ZoomTextTestSpeech") {
    if (!numbers(4)) return false;
  } else if (call.entry == "ZoomTextVersionRunning" || call.entry == "ZoomTextIsMagnifying" ||
             call.entry == "ZoomTextExit") {
    if (!numbers(0)) return false;
  } else if (call.entry == "ZxCommandApi") {
    if (n < 2 || !ParseSigned(t[2], &call.code) || !ParseHex(t[3], &call.param)) return false;
    call.args.push_back(call.code);
    for (size_t i = 4; i < t.size(); ++i) {
      uint64_t cell = 0;
      if (!ParseHex(t[i], &cell) || cell > UINT32_MAX) return false;
      call.block.push_back(static_cast<uint32_t>(cell));
    }
    const int cells = CctvBlockCells(call.code);
    if (!call.block.empty() && call.block.size() != static_cast<size_t>(cells)) return false;
    if (!call.block.empty() && (call.code == 1023 || call.code == 1024 || call.code == 1033)) {
      call.hasRecord = true;
      call.record = RecordOf(call.code, call.block);
    }
  } else if (call.entry == "ZoomTextStart") {
    int32_t length = 0;
    if (n != 2 || !ParseSigned(t[2], &length)) return false;
    if (length >= 0) {
      call.textGiven = true;
      const std::string& hex = t[3];
      if (length == 0 ? hex != "-" : hex.size() != static_cast<size_t>(length) * 4) return false;
      for (int32_t i = 0; i < length; ++i) {
        char* end = nullptr;
        const std::string unit = hex.substr(static_cast<size_t>(i) * 4, 4);
        const unsigned long u = std::strtoul(unit.c_str(), &end, 16);
        if (*end != '\0') return false;
        call.text.push_back(static_cast<wchar_t>(u));
      }
    }
  } else {
    return false;
  }
  *out = std::move(call);
  return true;
}

std::wstring InFolder(const std::wstring& folder, const wchar_t* file) {
  return folder + L"\\" + file;
}

std::wstring FullPath(const std::wstring& path) {
  wchar_t full[MAX_PATH] = {};
  const DWORD n = GetFullPathNameW(path.c_str(), MAX_PATH, full, nullptr);
  return n == 0 || n >= MAX_PATH ? path : std::wstring(full, n);
}

// path is one of the built libraries (the bin folder may be a test's current
// folder): it is never copied over or deleted.
bool IsBuiltLibrary(const std::wstring& path) {
  const std::wstring full = FullPath(path);
  for (bool noSpeech : {false, true}) {
    if (lstrcmpiW(full.c_str(), FullPath(BuiltLibraryPath(noSpeech)).c_str()) == 0) return true;
  }
  return false;
}

const wchar_t kRoot[] = L"C:\\zt-sim-test";
const wchar_t kRootKey[] = L"Software\\Ai Squared";
const wchar_t kProductsKey[] = L"Software\\Ai Squared\\ZoomText Xtra";

}  // namespace

const wchar_t* MutexName(Family family) { return Info(family).mutex; }
const wchar_t* WindowClass(Family family) { return Info(family).windowClass; }
uint32_t DefaultReply(Family family) { return Info(family).reply; }
UINT GetVersionMessage() { return RegisterWindowMessageW(kGetVersionMessage); }
UINT StateChangeMessage() { return RegisterWindowMessageW(kStateChangeMessage); }

// ---------------------------------------------------------------------------

bool ZoomTextSim::Fail(const std::string& why) {
  error_ = why + " (error " + std::to_string(GetLastError()) + ")";
  Stop();
  return false;
}

bool ZoomTextSim::Start(const SimOptions& options) {
  Stop();
  options_ = options;
  static LONG counter = 0;
  char base[96];
  std::snprintf(base, sizeof base, "Local\\orba_zoomtext_sim_%lu_%ld", GetCurrentProcessId(),
                InterlockedIncrement(&counter));
  mapping_ =
      CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, sizeof(Shared), base);
  if (!mapping_) return Fail("CreateFileMapping");
  shared_ = static_cast<Shared*>(MapViewOfFile(mapping_, FILE_MAP_WRITE, 0, 0, sizeof(Shared)));
  if (!shared_) return Fail("MapViewOfFile");
  ZeroMemory(shared_, sizeof(Shared));
  shared_->magic = kMagic;
  ready_ = CreateEventA(nullptr, TRUE, FALSE, (std::string(base) + "_ready").c_str());
  stop_ = CreateEventA(nullptr, TRUE, FALSE, (std::string(base) + "_stop").c_str());
  broadcast_ = CreateEventA(nullptr, FALSE, FALSE, (std::string(base) + "_broadcast").c_str());
  if (!ready_ || !stop_ || !broadcast_) return Fail("CreateEvent");

  const std::string exe = orba_test::BinPath("zoomtext_sim.exe");
  std::string cmd = "\"" + exe + "\" " + base + " " + std::to_string(GetCurrentProcessId()) +
                    " --family " + Info(options.family).arg;
  if (options.reply) {
    char reply[16];
    std::snprintf(reply, sizeof reply, "0x%08lX", static_cast<unsigned long>(*options.reply));
    cmd += std::string(" --reply ") + reply;
  }
  if (options.hung) cmd += " --hung";
  if (options.noWindow) cmd += " --no-window";
  if (options.denyMutex) cmd += " --deny-mutex";

  STARTUPINFOA si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  std::vector<char> line(cmd.begin(), cmd.end());
  line.push_back('\0');
  if (!CreateProcessA(exe.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si,
                      &pi)) {
    return Fail("CreateProcess " + exe);
  }
  CloseHandle(pi.hThread);
  process_ = pi.hProcess;
  pid_ = pi.dwProcessId;

  const HANDLE waits[] = {ready_, process_};
  const DWORD w = WaitForMultipleObjects(2, waits, FALSE, 15000);
  if (w != WAIT_OBJECT_0) {
    DWORD code = 0;
    GetExitCodeProcess(process_, &code);
    return Fail("zoomtext_sim did not get ready, exit code " + std::to_string(code));
  }
  return true;
}

void ZoomTextSim::Stop() {
  if (process_) {
    const HWND window = reinterpret_cast<HWND>(static_cast<uintptr_t>(MainWindow()));
    if (stop_) SetEvent(stop_);
    if (WaitForSingleObject(process_, 10000) != WAIT_OBJECT_0) {
      TerminateProcess(process_, 1);
      WaitForSingleObject(process_, 5000);
    }
    // The process is gone; its window and mutex follow as the system cleans up.
    const wchar_t* mutex = MutexName(options_.family);
    orba_test::WaitFor(
        [&] { return !(window && IsWindow(window)) && !(mutex && MutexExists(mutex)); }, 5000);
  }
  CloseIf(&process_);
  pid_ = 0;
  CloseIf(&ready_);
  CloseIf(&stop_);
  CloseIf(&broadcast_);
  if (shared_) UnmapViewOfFile(shared_);
  shared_ = nullptr;
  CloseIf(&mapping_);
}

bool ZoomTextSim::Running() const {
  return process_ && WaitForSingleObject(process_, 0) == WAIT_TIMEOUT;
}

bool ZoomTextSim::Broadcast() {
  if (!shared_ || !broadcast_) return false;
  const uint32_t before = Broadcasts();
  if (!SetEvent(broadcast_)) return false;
  return orba_test::WaitFor([&] { return Broadcasts() > before; }, 5000);
}

uint32_t ZoomTextSim::Broadcasts() const {
  return shared_ ? static_cast<uint32_t>(InterlockedCompareExchange(&shared_->broadcasts, 0, 0))
                 : 0;
}

uint32_t ZoomTextSim::VersionQueries() const {
  return shared_ ? static_cast<uint32_t>(InterlockedCompareExchange(&shared_->versionQueries, 0, 0))
                 : 0;
}

uint32_t ZoomTextSim::MainWindow() const { return shared_ ? shared_->mainWindow : 0; }

// ---------------------------------------------------------------------------

std::vector<ZxCall> ParseCalls(const std::string& text) {
  std::vector<ZxCall> calls;
  size_t start = 0;
  for (;;) {
    const size_t newline = text.find('\n', start);
    if (newline == std::string::npos) break;
    ZxCall call;
    if (ParseCall(text.substr(start, newline - start), &call)) calls.push_back(std::move(call));
    start = newline + 1;
  }
  return calls;
}

std::wstring BuiltLibraryPath(bool noSpeech) {
  return noSpeech ? ExeFolder() + L"\\" + kNoSpeechFolder + L"\\" + kLibraryFile
                  : ExeFolder() + L"\\" + kLibraryFile;
}

std::wstring CurrentFolder() {
  wchar_t path[MAX_PATH] = {};
  const DWORD n = GetCurrentDirectoryW(MAX_PATH, path);
  if (n == 0 || n >= MAX_PATH) return std::wstring();
  std::wstring folder(path, n);
  if (folder.size() > 3 && folder.back() == L'\\') folder.pop_back();
  return folder;
}

bool PlaceLibrary(const std::wstring& folder, bool noSpeech) {
  if (!MakeFolders(folder)) return false;
  const std::wstring target = InFolder(folder, kLibraryFile);
  if (IsBuiltLibrary(target)) {
    if (lstrcmpiW(FullPath(target).c_str(), FullPath(BuiltLibraryPath(noSpeech)).c_str()) != 0) {
      return false;  // the other variant is built there
    }
  } else if (!CopyFileW(BuiltLibraryPath(noSpeech).c_str(), target.c_str(), FALSE)) {
    return false;
  }
  return WriteWholeFile(InFolder(folder, kAnswersFile),
                        std::string("[") + kAnswersSection + "]\r\n") &&
         DeleteIfThere(InFolder(folder, kCallLogFile));
}

bool RemoveLibrary(const std::wstring& folder) {
  const std::wstring path = InFolder(folder, kLibraryFile);
  const bool library = IsBuiltLibrary(path) || DeleteIfThere(path);
  const bool answers = DeleteIfThere(InFolder(folder, kAnswersFile));
  const bool log = DeleteIfThere(InFolder(folder, kCallLogFile));
  return library && answers && log;
}

bool WriteAnswer(const std::wstring& folder, const std::string& key, const std::string& value) {
  // Keeps the other answers; the section holds nothing but key = value lines.
  const std::string old = ReadWholeFile(InFolder(folder, kAnswersFile));
  std::string text = std::string("[") + kAnswersSection + "]\r\n";
  bool replaced = false;
  size_t start = 0;
  while (start < old.size()) {
    size_t end = old.find('\n', start);
    if (end == std::string::npos) end = old.size();
    const std::string line = old.substr(start, end - start);
    start = end + 1;
    const size_t eq = line.find('=');
    if (eq == std::string::npos) continue;
    std::string name = line.substr(0, eq);
    while (!name.empty() && (name.back() == ' ' || name.back() == '\t')) name.pop_back();
    if (lstrcmpiA(name.c_str(), key.c_str()) == 0) {
      if (replaced) continue;
      text += key + "=" + value + "\r\n";
      replaced = true;
    } else {
      std::string kept = line;
      if (!kept.empty() && kept.back() == '\r') kept.pop_back();
      text += kept + "\r\n";
    }
  }
  if (!replaced) text += key + "=" + value + "\r\n";
  return WriteWholeFile(InFolder(folder, kAnswersFile), text);
}

bool WriteAnswer(const std::wstring& folder, const std::string& key, int64_t value) {
  return WriteAnswer(folder, key, std::to_string(value));
}

std::vector<ZxCall> ReadCalls(const std::wstring& folder) {
  return ParseCalls(ReadWholeFile(InFolder(folder, kCallLogFile)));
}

bool ClearCallLog(const std::wstring& folder) {
  const std::wstring path = InFolder(folder, kCallLogFile);
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return GetLastError() == ERROR_FILE_NOT_FOUND;
  orba::ScopedHandle owner(file);
  return SetFilePointer(file, 0, nullptr, FILE_BEGIN) == 0 && SetEndOfFile(file);
}

// ---------------------------------------------------------------------------

bool RemoveZoomTextInstall() {
  const bool view32 = DeleteTree(RegistryView::k32);
  const bool view64 = DeleteTree(RegistryView::k64);
  std::string root;
  for (const wchar_t* c = kRoot; *c; ++c) root.push_back(static_cast<char>(*c));
  const bool folder = orba_test::RemoveTree(root);
  return view32 && view64 && folder && !ZoomTextKeyExists(RegistryView::k32, kRootKey) &&
         !ZoomTextKeyExists(RegistryView::k64, kRootKey);
}

bool ZoomTextKeyExists(RegistryView view, const std::wstring& path) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_QUERY_VALUE | ViewFlag(view), &key) !=
      ERROR_SUCCESS) {
    return false;
  }
  RegCloseKey(key);
  return true;
}

ZoomTextInstall::ZoomTextInstall(RegistryView view) : view_(view) { RemoveZoomTextInstall(); }

ZoomTextInstall::~ZoomTextInstall() { RemoveZoomTextInstall(); }

std::wstring ZoomTextInstall::Root() { return kRoot; }
const wchar_t* ZoomTextInstall::RootKey() { return kRootKey; }
const wchar_t* ZoomTextInstall::ProductsKey() { return kProductsKey; }

std::wstring ZoomTextInstall::Folder(const std::wstring& name) { return Root() + L"\\" + name; }

bool ZoomTextInstall::SetLastRun(DWORD value) {
  HKEY key = nullptr;
  if (!CreateKey(view_, kRootKey, &key)) return false;
  orba::ScopedHKEY owner(key);
  return SetDword(key, L"LastRun", value);
}

bool ZoomTextInstall::CreateProductsKey() {
  HKEY key = nullptr;
  if (!CreateKey(view_, kProductsKey, &key)) return false;
  RegCloseKey(key);
  return true;
}

bool ZoomTextInstall::AddVersion(const std::wstring& name, const std::wstring& softwareVersion,
                                 DWORD productLevel, bool withZtExe, bool withLibrary,
                                 bool noSpeechLibrary) {
  VersionOptions options;
  options.withZtExe = withZtExe;
  options.withLibrary = withLibrary;
  options.noSpeechLibrary = noSpeechLibrary;
  return AddVersion(name, softwareVersion, productLevel, options);
}

bool ZoomTextInstall::AddVersion(const std::wstring& name, const std::wstring& softwareVersion,
                                 DWORD productLevel, const VersionOptions& options) {
  const std::wstring folder = Folder(name);
  if (name.empty() || !MakeFolders(folder)) return false;
  if (options.withZtExe && !WriteWholeFile(folder + L"\\zt.exe", "MZ zoomtext stand-in\r\n")) {
    return false;
  }
  if (options.withLibrary && !PlaceLibrary(folder, options.noSpeechLibrary)) return false;

  HKEY key = nullptr;
  if (!CreateKey(view_, std::wstring(kProductsKey) + L"\\" + name + L"\\Settings\\Reader", &key)) {
    return false;
  }
  orba::ScopedHKEY owner(key);
  bool ok = true;
  if (options.writeSoftwareVersion)
    ok &= SetText(key, L"Software Version", softwareVersion, REG_SZ);
  if (options.writeCdVersion) {
    ok &= SetText(key, L"CD Version", options.cdVersion.value_or(softwareVersion), REG_SZ);
  }
  if (options.writeProductLevel) ok &= SetDword(key, L"Product Level", productLevel);
  switch (options.directory) {
    case DirectoryValue::kText:
      ok &= SetText(key, L"Program Directory", folder, REG_SZ);
      break;
    case DirectoryValue::kExpandText:
      // The folder lies on the system drive (Root()).
      ok &= SetText(key, L"Program Directory", L"%SystemDrive%" + folder.substr(2), REG_EXPAND_SZ);
      break;
    case DirectoryValue::kTrailingBackslash:
      ok &= SetText(key, L"Program Directory", folder + L"\\", REG_SZ);
      break;
    case DirectoryValue::kWrongType:
      ok &= SetDword(key, L"Program Directory", 1);
      break;
    case DirectoryValue::kMissing:
      break;
  }
  return ok;
}

bool ZoomTextInstall::ReaderKey(const std::wstring& name, HKEY* key) const {
  return CreateKey(view_, std::wstring(kProductsKey) + L"\\" + name + L"\\Settings\\Reader", key);
}

bool ZoomTextInstall::SetReaderText(const std::wstring& name, const std::wstring& value,
                                    const std::wstring& text, DWORD type) {
  HKEY key = nullptr;
  if (!ReaderKey(name, &key)) return false;
  orba::ScopedHKEY owner(key);
  return SetText(key, value.c_str(), text, type);
}

bool ZoomTextInstall::SetReaderDword(const std::wstring& name, const std::wstring& value,
                                     DWORD data) {
  HKEY key = nullptr;
  if (!ReaderKey(name, &key)) return false;
  orba::ScopedHKEY owner(key);
  return SetDword(key, value.c_str(), data);
}

bool ZoomTextInstall::DeleteReaderValue(const std::wstring& name, const std::wstring& value) {
  HKEY key = nullptr;
  if (!ReaderKey(name, &key)) return false;
  orba::ScopedHKEY owner(key);
  const LONG rc = RegDeleteValueW(key, value.c_str());
  return rc == ERROR_SUCCESS || rc == ERROR_FILE_NOT_FOUND;
}

bool ZoomTextInstall::SetAnswer(const std::wstring& name, const std::string& key,
                                const std::string& value) {
  return WriteAnswer(Folder(name), key, value);
}

bool ZoomTextInstall::SetAnswer(const std::wstring& name, const std::string& key, int64_t value) {
  return WriteAnswer(Folder(name), key, value);
}

std::vector<ZxCall> ZoomTextInstall::Calls(const std::wstring& name) const {
  return ReadCalls(Folder(name));
}

bool ZoomTextInstall::ClearCalls(const std::wstring& name) const {
  return ClearCallLog(Folder(name));
}

}  // namespace zoomtext_sim
