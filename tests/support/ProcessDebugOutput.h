#pragma once
// Reads what another process writes to the debugger output channel
// (OutputDebugString) by attaching to it as its debugger, as a debug viewer
// does. The attachment ends with the object; the process goes on running.
#include <windows.h>

#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace orba_test {

class ProcessDebugOutput {
 public:
  ProcessDebugOutput() = default;
  ProcessDebugOutput(const ProcessDebugOutput&) = delete;
  ProcessDebugOutput& operator=(const ProcessDebugOutput&) = delete;
  ~ProcessDebugOutput();

  // Attaches to the process; false when the system refused.
  bool Attach(DWORD pid, DWORD timeoutMs = 10000);
  // Lets the process go (it keeps running).
  void Detach();
  bool attached() const;

  // Every text written since the attachment, one entry a call, trailing line
  // ends removed.
  std::vector<std::string> Lines() const;
  // How many lines contain the text.
  size_t Count(const std::string& text) const;
  // The lines that satisfy the test, in order.
  std::vector<std::string> Select(const std::function<bool(const std::string&)>& keep) const;
  // Waits until some line contains the text.
  bool WaitForText(const std::string& text, DWORD timeoutMs) const;
  // Lines written from now on start after this mark.
  size_t Mark() const;
  std::vector<std::string> LinesSince(size_t mark) const;

 private:
  void Run(DWORD pid);
  void Add(std::string line);

  std::thread thread_;
  mutable std::mutex mutex_;
  std::vector<std::string> lines_;
  HANDLE attachedEvent_ = nullptr;
  HANDLE stopEvent_ = nullptr;
  bool attachOk_ = false;
  bool processEnded_ = false;
};

}  // namespace orba_test
