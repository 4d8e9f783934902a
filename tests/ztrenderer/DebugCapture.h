#pragma once
// Collects what the calling thread writes to the debugger output channel, by
// watching the exception through which the system hands such text on.
#include <windows.h>

#include <string>
#include <vector>

namespace zt_test {

class DebugCapture {
 public:
  DebugCapture();
  DebugCapture(const DebugCapture&) = delete;
  DebugCapture& operator=(const DebugCapture&) = delete;
  ~DebugCapture();

  // Every text written so far, one entry per call, exactly as written.
  std::vector<std::string> Texts() const;
  bool installed() const { return handler_ != nullptr; }

 private:
  static LONG CALLBACK Handler(EXCEPTION_POINTERS* info);

  PVOID handler_ = nullptr;
  DWORD thread_ = 0;
  mutable CRITICAL_SECTION lock_;
  std::vector<std::string> texts_;
};

}  // namespace zt_test
