#include "KavreloSimClient.h"

#include <cstdio>

namespace kavrelo_sim {
namespace {

std::string ProgramFolder() {
  char path[MAX_PATH] = {};
  const DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string s(path, n < MAX_PATH ? n : 0);
  const size_t slash = s.find_last_of("\\/");
  return slash == std::string::npos ? std::string(".") : s.substr(0, slash);
}

void CloseIf(HANDLE* h) {
  if (*h) CloseHandle(*h);
  *h = nullptr;
}

}  // namespace

bool KavreloSim::Fail(const std::string& why) {
  error_ = why + " (error " + std::to_string(GetLastError()) + ")";
  Stop();
  return false;
}

bool KavreloSim::Start(const SimOptions& options) {
  Stop();
  static LONG counter = 0;
  char base[96];
  std::snprintf(base, sizeof base, "Local\\orba_kavrelo_sim_%lu_%ld", GetCurrentProcessId(),
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
  if (!ready_ || !stop_) return Fail("CreateEvent");

  std::string exe = ProgramFolder() + "\\kavrelo_sim.exe";
  std::string cmd = "\"" + exe + "\" " + base + " " + std::to_string(GetCurrentProcessId());
  if (!options.signalProcessed) cmd += " --no-signal";
  if (!options.answerThreadId) cmd += " --refuse";
  if (options.delayMs) cmd += " --delay-ms " + std::to_string(options.delayMs);
  if (options.hung) cmd += " --hung";
  for (const std::string& c : options.classes) cmd += " " + c;

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

  const HANDLE waits[] = {ready_, process_};
  const DWORD w = WaitForMultipleObjects(2, waits, FALSE, 15000);
  if (w != WAIT_OBJECT_0) {
    DWORD code = 0;
    GetExitCodeProcess(process_, &code);
    return Fail("kavrelo_sim did not get ready, exit code " + std::to_string(code));
  }
  return true;
}

void KavreloSim::Stop() {
  if (process_) {
    if (stop_) SetEvent(stop_);
    if (WaitForSingleObject(process_, 10000) != WAIT_OBJECT_0) {
      TerminateProcess(process_, 1);
      WaitForSingleObject(process_, 5000);
    }
  }
  CloseIf(&process_);
  CloseIf(&ready_);
  CloseIf(&stop_);
  if (shared_) UnmapViewOfFile(shared_);
  shared_ = nullptr;
  CloseIf(&mapping_);
}

bool KavreloSim::Running() const {
  return process_ && WaitForSingleObject(process_, 0) == WAIT_TIMEOUT;
}

DWORD KavreloSim::ControlThreadId() const { return shared_ ? shared_->controlThreadId : 0; }

uint32_t KavreloSim::Window(size_t index) const {
  return shared_ && index < shared_->windowCount ? shared_->windows[index] : 0;
}

std::vector<MessageRecord> KavreloSim::Messages() const {
  std::vector<MessageRecord> out;
  if (!shared_) return out;
  LONG n = InterlockedCompareExchange(const_cast<volatile LONG*>(&shared_->messageCount), 0, 0);
  if (n > kMaxMessages) n = kMaxMessages;
  out.assign(shared_->messages, shared_->messages + n);
  return out;
}

size_t KavreloSim::Count(uint32_t message) const {
  size_t n = 0;
  for (const MessageRecord& r : Messages()) n += r.message == message;
  return n;
}

bool KavreloSim::WaitForMessages(size_t count, DWORD timeoutMs) const {
  const DWORD start = GetTickCount();
  for (;;) {
    if (Messages().size() >= count) return true;
    if (GetTickCount() - start >= timeoutMs) return false;
    Sleep(5);
  }
}

}  // namespace kavrelo_sim
