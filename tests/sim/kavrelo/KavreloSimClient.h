#pragma once
// Starts and reads the simulated Kavrelo magnifier (kavrelo_sim.exe) from a
// test: a separate process with real control windows and a control thread.
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "KavreloSimProtocol.h"

namespace kavrelo_sim {

struct SimOptions {
  std::vector<std::string> classes{"TEMBACTRLWINDOW"};
  bool signalProcessed = true;  // false: never signal "CCTV_message_processed"
  bool answerThreadId = true;   // false: answer 1050 with 0
  DWORD delayMs = 0;            // time taken over each thread message
  bool hung = false;            // the control thread never takes a message
};

class KavreloSim {
 public:
  KavreloSim() = default;
  KavreloSim(const KavreloSim&) = delete;
  KavreloSim& operator=(const KavreloSim&) = delete;
  ~KavreloSim() { Stop(); }

  // Starts kavrelo_sim.exe from the test program's folder and waits until its
  // windows exist. false (with a reason in Error()) when it could not start.
  bool Start(const SimOptions& options = SimOptions());
  // Ends the magnifier and waits until its windows are gone.
  void Stop();
  bool Running() const;

  DWORD ControlThreadId() const;
  // Handle value of the control window made for options.classes[index].
  uint32_t Window(size_t index) const;
  std::vector<MessageRecord> Messages() const;
  size_t Count(uint32_t message) const;
  // Waits until at least count messages have been recorded.
  bool WaitForMessages(size_t count, DWORD timeoutMs) const;
  const std::string& Error() const { return error_; }

 private:
  bool Fail(const std::string& why);

  HANDLE mapping_ = nullptr;
  Shared* shared_ = nullptr;
  HANDLE ready_ = nullptr;
  HANDLE stop_ = nullptr;
  HANDLE process_ = nullptr;
  std::string error_;
};

}  // namespace kavrelo_sim
