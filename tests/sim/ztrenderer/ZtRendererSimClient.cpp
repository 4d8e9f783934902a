#include "ZtRendererSimClient.h"

#include <cerrno>
#include <cstdlib>

#include <objbase.h>

#include "TestEnv.h"
#include "orba/ZoomTextCctvRenderer.h"

namespace zt_renderer_sim {

namespace {

bool ParseLine(const std::string& line, LogRecord* out) {
  const char* p = line.c_str();
  char* end = nullptr;
  errno = 0;
  const unsigned long pid = std::strtoul(p, &end, 10);
  if (end == p || errno != 0) return false;
  p = end;
  errno = 0;
  const long slot = std::strtol(p, &end, 10);
  if (end == p || errno != 0) return false;
  LogRecord record;
  record.pid = static_cast<DWORD>(pid);
  record.slot = static_cast<int>(slot);
  for (p = end; *p != '\0'; p = end) {
    while (*p == ' ' || *p == '\r') ++p;
    if (*p == '\0') break;
    errno = 0;
    const long arg = std::strtol(p, &end, 10);
    if (end == p || errno != 0) return false;
    record.args.push_back(arg);
  }
  *out = std::move(record);
  return true;
}

typedef HRESULT(STDAPICALLTYPE* ServerEntry)();

HRESULT CallServerEntry(const char* name) {
  const std::string path = orba_test::BinPath(kAxFile);
  HMODULE module = LoadLibraryExA(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
  if (!module) return HRESULT_FROM_WIN32(GetLastError());
  auto entry = reinterpret_cast<ServerEntry>(GetProcAddress(module, name));
  const HRESULT hr = entry ? entry() : HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND);
  FreeLibrary(module);
  return hr;
}

std::string ServerKeyPath() {
  WCHAR clsid[39] = {};
  StringFromGUID2(CLSID_ZT_CCTV_Renderer, clsid, 39);
  std::string path = "CLSID\\";
  for (const WCHAR* c = clsid; *c; ++c) path.push_back(static_cast<char>(*c));
  return path + "\\InprocServer32";
}

bool SetDword(HKEY key, const char* name, DWORD value) {
  return RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                        sizeof value) == ERROR_SUCCESS;
}

}  // namespace

std::vector<LogRecord> ParseLog(const std::string& text) {
  std::vector<LogRecord> records;
  size_t start = 0;
  for (;;) {
    const size_t newline = text.find('\n', start);
    if (newline == std::string::npos) break;
    LogRecord record;
    if (ParseLine(text.substr(start, newline - start), &record)) {
      records.push_back(std::move(record));
    }
    start = newline + 1;
  }
  return records;
}

std::vector<LogRecord> ZtRendererLog::Read() const {
  // The renderer writes with all sharing allowed; read the same way.
  HANDLE file = CreateFileA(path_.c_str(), GENERIC_READ,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return {};
  std::string text;
  char buf[4096];
  DWORD got = 0;
  while (ReadFile(file, buf, sizeof buf, &got, nullptr) && got > 0) text.append(buf, got);
  CloseHandle(file);
  return ParseLog(text);
}

std::vector<LogRecord> ZtRendererLog::Calls() const {
  std::vector<LogRecord> calls;
  for (LogRecord& r : Read()) {
    if (r.slot >= kSlotSetArea && r.slot <= kSlotSetCameraPart) calls.push_back(std::move(r));
  }
  return calls;
}

std::vector<LogRecord> ZtRendererLog::Of(int slot) const {
  std::vector<LogRecord> out;
  for (LogRecord& r : Read()) {
    if (r.slot == slot) out.push_back(std::move(r));
  }
  return out;
}

bool ZtRendererLog::Clear() const {
  HANDLE file = CreateFileA(path_.c_str(), GENERIC_WRITE,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return GetLastError() == ERROR_FILE_NOT_FOUND;
  const bool ok = SetFilePointer(file, 0, nullptr, FILE_BEGIN) == 0 && SetEndOfFile(file);
  CloseHandle(file);
  return ok;
}

bool ZtRendererLog::WaitFor(int slot, size_t count, DWORD timeoutMs) const {
  const DWORD start = GetTickCount();
  for (;;) {
    if (Of(slot).size() >= count) return true;
    if (GetTickCount() - start >= timeoutMs) return false;
    Sleep(10);
  }
}

std::string DefaultLogPath() {
  char temp[MAX_PATH] = {};
  const DWORD n = GetTempPathA(MAX_PATH, temp);
  if (n == 0 || n >= MAX_PATH) return std::string();
  return std::string(temp) + kDefaultLogName;
}

bool WriteOptions(const RendererOptions& options, const std::string& logPath) {
  HKEY key = nullptr;
  if (RegCreateKeyExA(HKEY_CURRENT_USER, kOptionsKey, 0, nullptr, 0,
                      KEY_SET_VALUE | KEY_QUERY_VALUE, nullptr, &key, nullptr) != ERROR_SUCCESS) {
    return false;
  }
  bool ok = SetDword(key, kCompatibleRunningValue, options.compatibleRunning ? 1 : 0) &&
            SetDword(key, kEnabledValue, options.enabled ? 1 : 0) &&
            SetDword(key, kVersionValue, static_cast<DWORD>(options.version));
  if (ok) {
    if (logPath.empty()) {
      const LONG rc = RegDeleteValueA(key, kLogFileValue);
      ok = rc == ERROR_SUCCESS || rc == ERROR_FILE_NOT_FOUND;
    } else {
      ok = RegSetValueExA(key, kLogFileValue, 0, REG_SZ,
                          reinterpret_cast<const BYTE*>(logPath.c_str()),
                          static_cast<DWORD>(logPath.size() + 1)) == ERROR_SUCCESS;
    }
  }
  RegCloseKey(key);
  return ok;
}

HRESULT RegisterServer() { return CallServerEntry("DllRegisterServer"); }
HRESULT UnregisterServer() { return CallServerEntry("DllUnregisterServer"); }

bool IsServerRegistered() {
  return orba_test::RegistryKeyExists(HKEY_CLASSES_ROOT, ServerKeyPath());
}

std::string RegisteredServerPath() {
  char path[MAX_PATH] = {};
  LONG size = sizeof path;
  if (RegQueryValueA(HKEY_CLASSES_ROOT, ServerKeyPath().c_str(), path, &size) != ERROR_SUCCESS) {
    return std::string();
  }
  path[MAX_PATH - 1] = '\0';
  return path;
}

ScopedZtRenderer::ScopedZtRenderer(const RendererOptions& options)
    : savedOptions_(new orba_test::ScopedRegistryTree(HKEY_CURRENT_USER, kOptionsKey)),
      logDir_(orba_test::MakeTempDir("ztrenderer")),
      log_(logDir_ + "\\calls.log") {
  optionsWritten_ = WriteOptions(options, log_.Path());
  registerResult_ = RegisterServer();
}

ScopedZtRenderer::~ScopedZtRenderer() {
  // Whatever happened in the test, the stand-in does not stay registered.
  UnregisterServer();
  savedOptions_.reset();
  orba_test::RemoveTree(logDir_);
}

bool ScopedZtRenderer::SetOptions(const RendererOptions& options) {
  optionsWritten_ = WriteOptions(options, log_.Path());
  return optionsWritten_;
}

}  // namespace zt_renderer_sim
