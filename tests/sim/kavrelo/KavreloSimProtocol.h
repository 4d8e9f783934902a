#pragma once
// What the simulated Kavrelo magnifier (kavrelo_sim.exe) and the tests that
// start it share: a named file mapping with the messages the magnifier got.
#include <windows.h>

#include <cstdint>

namespace kavrelo_sim {

constexpr uint32_t kMagic = 0x4B565253;  // "SRVK"
constexpr int kMaxMessages = 256;
constexpr int kMaxWindows = 6;

struct MessageRecord {
  uint32_t message;  // 1050 (sent to a control window) or 1051..1053 (thread messages)
  int32_t window;    // index of the control window that got 1050; -1 for thread messages
  uint64_t wParam;   // as received, zero-extended to 64 bits
  uint64_t lParam;
};

struct Shared {
  uint32_t magic;
  uint32_t controlThreadId;  // the thread that owns the windows and gets the thread messages
  uint32_t windowCount;
  uint32_t windows[kMaxWindows];  // the control windows' handle values, in command-line order
  // Written by the magnifier only: records below messageCount are complete.
  volatile LONG messageCount;
  MessageRecord messages[kMaxMessages];
};

// Object names derived from the base name passed on the command line.
//   <base>         the file mapping holding Shared
//   <base>_ready   event the magnifier sets once its windows exist
//   <base>_stop    event the test sets to end the magnifier
}  // namespace kavrelo_sim
