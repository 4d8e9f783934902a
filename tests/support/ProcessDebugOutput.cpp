#include "ProcessDebugOutput.h"

#include "TestEnv.h"

namespace orba_test {

ProcessDebugOutput::~ProcessDebugOutput() { Detach(); }

bool ProcessDebugOutput::Attach(DWORD pid, DWORD timeoutMs) {
  if (thread_.joinable()) return false;
  attachedEvent_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  stopEvent_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  if (!attachedEvent_ || !stopEvent_) return false;
  // The debug events go to the thread that attached: it runs the whole loop.
  thread_ = std::thread([this, pid] { Run(pid); });
  if (WaitForSingleObject(attachedEvent_, timeoutMs) != WAIT_OBJECT_0) return false;
  std::lock_guard<std::mutex> lock(mutex_);
  return attachOk_;
}

void ProcessDebugOutput::Detach() {
  if (stopEvent_) SetEvent(stopEvent_);
  if (thread_.joinable()) thread_.join();
  if (stopEvent_) CloseHandle(stopEvent_);
  if (attachedEvent_) CloseHandle(attachedEvent_);
  stopEvent_ = attachedEvent_ = nullptr;
}

bool ProcessDebugOutput::attached() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return attachOk_ && !processEnded_;
}

void ProcessDebugOutput::Add(std::string line) {
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r' || line.back() == '\0')) {
    line.pop_back();
  }
  std::lock_guard<std::mutex> lock(mutex_);
  lines_.push_back(std::move(line));
}

void ProcessDebugOutput::Run(DWORD pid) {
  const bool ok = DebugActiveProcess(pid) != FALSE;
  if (ok) DebugSetProcessKillOnExit(FALSE);
  {
    std::lock_guard<std::mutex> lock(mutex_);
    attachOk_ = ok;
  }
  SetEvent(attachedEvent_);
  if (!ok) return;

  HANDLE process = nullptr;
  bool ended = false;
  while (!ended && WaitForSingleObject(stopEvent_, 0) == WAIT_TIMEOUT) {
    DEBUG_EVENT event = {};
    if (!WaitForDebugEvent(&event, 100)) continue;
    DWORD status = DBG_CONTINUE;
    switch (event.dwDebugEventCode) {
      case CREATE_PROCESS_DEBUG_EVENT:
        process = event.u.CreateProcessInfo.hProcess;
        if (event.u.CreateProcessInfo.hFile) CloseHandle(event.u.CreateProcessInfo.hFile);
        break;
      case LOAD_DLL_DEBUG_EVENT:
        if (event.u.LoadDll.hFile) CloseHandle(event.u.LoadDll.hFile);
        break;
      case EXCEPTION_DEBUG_EVENT:
        // The attachment's own breakpoint is ours; every other exception is
        // the program's to handle.
        if (event.u.Exception.ExceptionRecord.ExceptionCode != EXCEPTION_BREAKPOINT) {
          status = DBG_EXCEPTION_NOT_HANDLED;
        }
        break;
      case OUTPUT_DEBUG_STRING_EVENT: {
        const OUTPUT_DEBUG_STRING_INFO& info = event.u.DebugString;
        const size_t units = info.nDebugStringLength;
        if (process && units > 0 && units < 65536) {
          SIZE_T read = 0;
          if (info.fUnicode) {
            std::wstring text(units, L'\0');
            if (ReadProcessMemory(process, info.lpDebugStringData, &text[0],
                                  units * sizeof(wchar_t), &read)) {
              std::string narrow;
              for (wchar_t c : text) narrow.push_back(c < 0x100 ? static_cast<char>(c) : '?');
              Add(std::move(narrow));
            }
          } else {
            std::string text(units, '\0');
            if (ReadProcessMemory(process, info.lpDebugStringData, &text[0], units, &read)) {
              text.resize(read);
              Add(std::move(text));
            }
          }
        }
        break;
      }
      case EXIT_PROCESS_DEBUG_EVENT:
        ended = true;
        break;
      default:
        break;
    }
    ContinueDebugEvent(event.dwProcessId, event.dwThreadId, status);
  }
  {
    std::lock_guard<std::mutex> lock(mutex_);
    processEnded_ = ended;
  }
  if (!ended) DebugActiveProcessStop(pid);
}

std::vector<std::string> ProcessDebugOutput::Lines() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return lines_;
}

size_t ProcessDebugOutput::Count(const std::string& text) const {
  return Select([&](const std::string& line) { return line.find(text) != std::string::npos; })
      .size();
}

std::vector<std::string> ProcessDebugOutput::Select(
    const std::function<bool(const std::string&)>& keep) const {
  std::vector<std::string> selected;
  for (const auto& line : Lines()) {
    if (keep(line)) selected.push_back(line);
  }
  return selected;
}

bool ProcessDebugOutput::WaitForText(const std::string& text, DWORD timeoutMs) const {
  return WaitFor([&] { return Count(text) > 0; }, timeoutMs);
}

size_t ProcessDebugOutput::Mark() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return lines_.size();
}

std::vector<std::string> ProcessDebugOutput::LinesSince(size_t mark) const {
  std::lock_guard<std::mutex> lock(mutex_);
  if (mark >= lines_.size()) return {};
  return std::vector<std::string>(lines_.begin() + static_cast<std::ptrdiff_t>(mark), lines_.end());
}

}  // namespace orba_test
