#pragma once
// The command client behind the CCTV functions: one object per call, which
// finds the running (or installed) ZoomText, loads its command library, checks
// whether the command may be sent now, and sends it.
#include <windows.h>

#include <cstdint>
#include <memory>

#include "orba/zoomtext/CommandSet.h"
#include "orba/zoomtext/Detection.h"

namespace zoomtext {

// Every block sent to ZoomText starts with this result slot; ZoomText writes
// its answer over it.
constexpr uint32_t kUnanswered = 0xDEADBEEF;

class ZoomTextCctvClient {
 public:
  ZoomTextCctvClient() = default;
  ZoomTextCctvClient(const ZoomTextCctvClient&) = delete;
  ZoomTextCctvClient& operator=(const ZoomTextCctvClient&) = delete;

  // False (and nothing changed) below 8.0.
  bool SetMinimumVersion(int major, int minor);
  Version Minimum() const { return minimum_; }
  // Sends client command number n (1 to 83); a command-path answer.
  int Execute(int n, ZxParam parameter, ZxParam extra);
  int CheckCommandAllowed(int n);
  DWORD ProductLevel() const { return productLevel_; }

 private:
  int Send(int n, ZxParam parameter, ZxParam extra);

  Version minimum_{9, 3};
  std::unique_ptr<ZxCmdSetInterface> commandSet_;
  DWORD productLevel_ = 0;
};

// A command-path answer as the result code of a client function; context 1
// and 3 for the set-area calls, 2 and 4 for the others.
int MapClientResult(int context, int answer);

// A rectangle that, clipped to the screen, touches at least three screen edges.
bool IsCctvAreaRectValid(const RECT* rect, RECT* clipped);

}  // namespace zoomtext
