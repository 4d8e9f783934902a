#pragma once
// What the ZoomText code asks of the running system about ZoomText itself: its
// mutexes, its windows, its version message, and which Windows this is. The
// product always uses the real system; unit tests put a stand-in in its place
// so that the client runs without a ZoomText process.
#include <windows.h>

#include <cstdint>

namespace zoomtext {

class System {
 public:
  virtual ~System() = default;
  // True when a named mutex of that name exists and may be opened.
  virtual bool MutexExists(const wchar_t* name) = 0;
  // A top-level window of the class (and the title, when one is given).
  virtual HWND FindTopLevelWindow(const wchar_t* className, const wchar_t* title) = 0;
  // Sends the message with both parameters 0 and returns the reply; a window
  // that does not answer within the time limit, or is hung, replies 0, and is
  // then taken as silent for a while without being asked.
  virtual uint32_t SendQuery(HWND window, UINT message) = 0;
  // True on Windows NT 5.1.
  virtual bool IsWindowsXP() = 0;
};

// How long a synchronous query to ZoomText's window may take.
constexpr UINT kQueryTimeoutMs = 2000;

System& CurrentSystem();
// Puts a stand-in in place of the real system; nullptr puts the real one back.
void SetSystemForTesting(System* system);

}  // namespace zoomtext
