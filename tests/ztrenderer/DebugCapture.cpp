#include "DebugCapture.h"

#ifndef DBG_PRINTEXCEPTION_C
#define DBG_PRINTEXCEPTION_C 0x40010006L
#endif

namespace zt_test {

namespace {
DebugCapture* g_capture = nullptr;
}

DebugCapture::DebugCapture() : thread_(GetCurrentThreadId()) {
  InitializeCriticalSection(&lock_);
  g_capture = this;
  handler_ = AddVectoredExceptionHandler(1, &DebugCapture::Handler);
}

DebugCapture::~DebugCapture() {
  if (handler_) RemoveVectoredExceptionHandler(handler_);
  g_capture = nullptr;
  DeleteCriticalSection(&lock_);
}

std::vector<std::string> DebugCapture::Texts() const {
  EnterCriticalSection(&lock_);
  std::vector<std::string> copy = texts_;
  LeaveCriticalSection(&lock_);
  return copy;
}

LONG CALLBACK DebugCapture::Handler(EXCEPTION_POINTERS* info) {
  const EXCEPTION_RECORD* record = info->ExceptionRecord;
  DebugCapture* self = g_capture;
  if (self && record->ExceptionCode == static_cast<DWORD>(DBG_PRINTEXCEPTION_C) &&
      record->NumberParameters >= 2 && GetCurrentThreadId() == self->thread_) {
    const size_t length = static_cast<size_t>(record->ExceptionInformation[0]);
    const char* text = reinterpret_cast<const char*>(record->ExceptionInformation[1]);
    if (text) {
      EnterCriticalSection(&self->lock_);
      // The length counts the terminating zero.
      self->texts_.emplace_back(text, length > 0 ? length - 1 : 0);
      LeaveCriticalSection(&self->lock_);
    }
  }
  // The system still handles the text as usual.
  return EXCEPTION_CONTINUE_SEARCH;
}

}  // namespace zt_test
