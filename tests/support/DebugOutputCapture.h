#pragma once
// Collects what this process writes to the debugger output channel
// (OutputDebugString), from every thread, while the object lives. The system
// raises the text as a continuable exception before it looks for a debugger; a
// vectored handler sees it there and lets it go on.
#include <windows.h>

#include <string>
#include <vector>

namespace orba_test {

class DebugOutputCapture {
 public:
  DebugOutputCapture();
  DebugOutputCapture(const DebugOutputCapture&) = delete;
  DebugOutputCapture& operator=(const DebugOutputCapture&) = delete;
  ~DebugOutputCapture();

  // Every text written so far, in order.
  std::vector<std::string> Lines() const;
  // True when some line contains the text.
  bool Contains(const std::string& text) const;
  // How many lines contain the text.
  size_t Count(const std::string& text) const;
  // The lines that contain the text, joined for a failure message.
  std::string Matching(const std::string& text) const;
  void Clear();

 private:
  void* handler_ = nullptr;
};

}  // namespace orba_test
