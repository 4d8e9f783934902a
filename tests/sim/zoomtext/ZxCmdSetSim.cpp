// zxcmdset.dll: a stand-in for ZoomText's command library. Its answers come
// from "zxcmdset-sim.ini" beside it, read anew at every call, and every call is
// appended to "zxcmdset-calls.log" beside it (formats in ZoomTextSimProtocol.h),
// so that a test can change the answers between calls and see what each
// process sent, including the argument blocks of the CCTV commands as they
// arrived.
#include <windows.h>

#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <string>

#include "ZoomTextSimProtocol.h"
#include "orba/Scoped.h"

namespace {

HMODULE g_module = nullptr;

// Path of a file beside this library; empty when it does not fit.
std::wstring BesideMe(const wchar_t* file) {
  wchar_t path[MAX_PATH] = {};
  const DWORD n = GetModuleFileNameW(g_module, path, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return std::wstring();
  wchar_t* slash = std::wcsrchr(path, L'\\');
  if (!slash) return std::wstring();
  slash[1] = L'\0';
  std::wstring out(path);
  out += file;
  return out.size() < MAX_PATH ? out : std::wstring();
}

std::string ReadAnswers() {
  const std::wstring path = BesideMe(zoomtext_sim::kAnswersFile);
  if (path.empty()) return std::string();
  orba::ScopedHandle file(CreateFileW(path.c_str(), GENERIC_READ,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return std::string();
  std::string text;
  char buf[4096];
  DWORD got = 0;
  while (text.size() < 65536 && ReadFile(file.Get(), buf, sizeof buf, &got, nullptr) && got > 0) {
    text.append(buf, got);
  }
  return text;
}

// The answer for key; the default when the key is missing or not a number.
int32_t Answer(const char* key, int32_t fallback) {
  std::string value;
  int32_t number = 0;
  if (zoomtext_sim::FindIniValue(ReadAnswers(), zoomtext_sim::kAnswersSection, key, &value) &&
      zoomtext_sim::ParseAnswerNumber(value, &number)) {
    return number;
  }
  return fallback;
}

// A CCTV code's result: false for "none" (the slot is left alone).
bool CctvResult(int code, int32_t* result) {
  char key[32];
  std::snprintf(key, sizeof key, "%s%d", zoomtext_sim::kResultKeyPrefix, code);
  std::string value;
  *result = zoomtext_sim::kResultDefault;
  if (!zoomtext_sim::FindIniValue(ReadAnswers(), zoomtext_sim::kAnswersSection, key, &value)) {
    return true;
  }
  if (lstrcmpiA(value.c_str(), zoomtext_sim::kNoResult) == 0) return false;
  if (!zoomtext_sim::ParseAnswerNumber(value, result)) *result = zoomtext_sim::kResultDefault;
  return true;
}

void Append(std::string* line, const char* format, ...) {
  char part[64];
  va_list args;
  va_start(args, format);
  const int n = std::vsnprintf(part, sizeof part, format, args);
  va_end(args);
  if (n > 0 && static_cast<size_t>(n) < sizeof part) line->append(part, static_cast<size_t>(n));
}

// Appends one whole line with a single write; other processes may log at the
// same time and tests read while calls go on.
void LogCall(const char* entry, const std::string& arguments) {
  const std::wstring path = BesideMe(zoomtext_sim::kCallLogFile);
  if (path.empty()) return;
  std::string line;
  Append(&line, "%lu %s", GetCurrentProcessId(), entry);
  line += arguments;
  line += '\n';
  orba::ScopedHandle file(CreateFileW(path.c_str(), FILE_APPEND_DATA,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return;
  DWORD written = 0;
  WriteFile(file.Get(), line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
}

std::string Numbers(std::initializer_list<int32_t> values) {
  std::string out;
  for (int32_t v : values) Append(&out, " %ld", static_cast<long>(v));
  return out;
}

int32_t AnswerApi(int code, INT_PTR param) {
  switch (code) {
    case 214:
      return Answer(zoomtext_sim::kMagnifyingKey, zoomtext_sim::kMagnifyingDefault);
    case 1022:
      return Answer(zoomtext_sim::kFeaturesKey, zoomtext_sim::kFeaturesDefault);
    case 225:
      return Answer(zoomtext_sim::kStateKey, zoomtext_sim::kStateDefault);
    default:
      break;
  }
  const int cells = zoomtext_sim::CctvBlockCells(code);
  if (cells > 0 && param != 0) {
    uint32_t* block = reinterpret_cast<uint32_t*>(param);
    int32_t result = 0;
    if (CctvResult(code, &result)) {
      block[0] = static_cast<uint32_t>(result);
      if (code == 1030) {
        block[1] = static_cast<uint32_t>(
            Answer(zoomtext_sim::kSupportedKey, zoomtext_sim::kSupportedDefault));
      }
    }
  }
  return Answer(zoomtext_sim::kApiDefaultKey, zoomtext_sim::kApiDefault);
}

}  // namespace

extern "C" {

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) {
    g_module = instance;
    DisableThreadLibraryCalls(instance);
  }
  return TRUE;
}

int WINAPI ZxCommand(int code) {
  LogCall("ZxCommand", Numbers({code}));
  return Answer(zoomtext_sim::kApiDefaultKey, zoomtext_sim::kApiDefault);
}

int WINAPI ZxCommandApi(int code, INT_PTR param) {
  std::string arguments = Numbers({code});
  Append(&arguments, " 0x%llX", static_cast<unsigned long long>(static_cast<uintptr_t>(param)));
  const int cells = zoomtext_sim::CctvBlockCells(code);
  if (cells > 0 && param != 0) {
    const uint32_t* block = reinterpret_cast<const uint32_t*>(param);
    for (int i = 0; i < cells; ++i)
      Append(&arguments, " 0x%08lX", static_cast<unsigned long>(block[i]));
  }
  LogCall("ZxCommandApi", arguments);
  return AnswerApi(code, param);
}

int WINAPI ZoomTextVersionRunning() {
  LogCall("ZoomTextVersionRunning", std::string());
  return Answer(zoomtext_sim::kRunningKey, zoomtext_sim::kRunningDefault);
}

int WINAPI ZoomTextIsMagnifying() {
  LogCall("ZoomTextIsMagnifying", std::string());
  return Answer(zoomtext_sim::kMagnifyingKey, zoomtext_sim::kMagnifyingDefault);
}

int WINAPI ZoomTextStart(const wchar_t* text) {
  std::string arguments;
  if (!text) {
    arguments = " -1 -";
  } else {
    const size_t length = wcsnlen(text, MAX_PATH);
    Append(&arguments, " %lu ", static_cast<unsigned long>(length));
    if (length == 0) arguments += '-';
    for (size_t i = 0; i < length; ++i) Append(&arguments, "%04X", static_cast<unsigned>(text[i]));
  }
  LogCall("ZoomTextStart", arguments);
  return Answer(zoomtext_sim::kStartKey, zoomtext_sim::kStartDefault);
}

void WINAPI ZxCommandSetPower(int value) { LogCall("ZxCommandSetPower", Numbers({value})); }

int WINAPI ZoomTextExit() {
  LogCall("ZoomTextExit", std::string());
  return Answer(zoomtext_sim::kApiDefaultKey, zoomtext_sim::kApiDefault);
}

int WINAPI ZoomTextTestSpeech(int a, int b, int c, int d) {
  LogCall("ZoomTextTestSpeech", Numbers({a, b, c, d}));
  return Answer(zoomtext_sim::kApiDefaultKey, zoomtext_sim::kApiDefault);
}

}  // extern "C"
