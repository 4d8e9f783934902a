#include "DebugOutputCapture.h"

#include <cstring>
#include <cwchar>

namespace orba_test {

namespace {

CRITICAL_SECTION g_lock;
INIT_ONCE g_once = INIT_ONCE_STATIC_INIT;
std::vector<std::string>* g_lines = nullptr;

BOOL CALLBACK InitLock(PINIT_ONCE, PVOID, PVOID*) {
  InitializeCriticalSection(&g_lock);
  return TRUE;
}

LONG CALLBACK OnException(EXCEPTION_POINTERS* info) {
  const EXCEPTION_RECORD* record = info->ExceptionRecord;
  if (record->NumberParameters < 2) return EXCEPTION_CONTINUE_SEARCH;
  std::string text;
  if (record->ExceptionCode == DBG_PRINTEXCEPTION_C) {
    const char* s = reinterpret_cast<const char*>(record->ExceptionInformation[1]);
    const size_t n = static_cast<size_t>(record->ExceptionInformation[0]);
    if (s && n) text.assign(s, strnlen(s, n));
  } else if (record->ExceptionCode == DBG_PRINTEXCEPTION_WIDE_C) {
    const wchar_t* s = reinterpret_cast<const wchar_t*>(record->ExceptionInformation[1]);
    const size_t n = static_cast<size_t>(record->ExceptionInformation[0]);
    // Only the low bytes: enough to compare the texts the tests look for.
    if (s && n) {
      for (size_t i = 0; i < n && s[i]; ++i) text.push_back(static_cast<char>(s[i] & 0xFF));
    }
  } else {
    return EXCEPTION_CONTINUE_SEARCH;
  }
  EnterCriticalSection(&g_lock);
  if (g_lines) g_lines->push_back(text);
  LeaveCriticalSection(&g_lock);
  return EXCEPTION_CONTINUE_SEARCH;
}

}  // namespace

DebugOutputCapture::DebugOutputCapture() {
  InitOnceExecuteOnce(&g_once, InitLock, nullptr, nullptr);
  EnterCriticalSection(&g_lock);
  delete g_lines;
  g_lines = new std::vector<std::string>();
  LeaveCriticalSection(&g_lock);
  handler_ = AddVectoredExceptionHandler(1, OnException);
}

DebugOutputCapture::~DebugOutputCapture() {
  if (handler_) RemoveVectoredExceptionHandler(handler_);
  EnterCriticalSection(&g_lock);
  delete g_lines;
  g_lines = nullptr;
  LeaveCriticalSection(&g_lock);
}

std::vector<std::string> DebugOutputCapture::Lines() const {
  EnterCriticalSection(&g_lock);
  std::vector<std::string> copy = g_lines ? *g_lines : std::vector<std::string>();
  LeaveCriticalSection(&g_lock);
  return copy;
}

size_t DebugOutputCapture::Count(const std::string& text) const {
  size_t n = 0;
  for (const std::string& line : Lines()) {
    if (line.find(text) != std::string::npos) ++n;
  }
  return n;
}

bool DebugOutputCapture::Contains(const std::string& text) const { return Count(text) > 0; }

std::string DebugOutputCapture::Matching(const std::string& text) const {
  std::string out;
  for (const std::string& line : Lines()) {
    if (line.find(text) != std::string::npos) out += line + "\n";
  }
  return out;
}

void DebugOutputCapture::Clear() {
  EnterCriticalSection(&g_lock);
  if (g_lines) g_lines->clear();
  LeaveCriticalSection(&g_lock);
}

}  // namespace orba_test
