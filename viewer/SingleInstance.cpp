#include "SingleInstance.h"

#include <windows.h>

#include <tlhelp32.h>

#include <cstring>

#include "ViewerState.h"
#include "orba/Log.h"
#include "orba/Scoped.h"

bool ProgramNameFromCommandLine(const char* commandLine, char* name, size_t cap) {
  if (!name || cap == 0) return false;
  name[0] = '\0';
  if (!commandLine) return false;
  const char* start = std::strrchr(commandLine, '\\');
  if (start) {
    ++start;
  } else {
    start = commandLine;
    // A quoted name without a folder: the opening quote is no part of it.
    if (*start == '"') ++start;
  }
  size_t len = std::strlen(start);
  while (len > 0 && start[len - 1] == ' ') --len;
  if (len > 0 && start[len - 1] == '"') --len;
  while (len > 0 && start[len - 1] == ' ') --len;
  if (len == 0 || len >= cap) return false;
  std::memcpy(name, start, len);
  name[len] = '\0';
  return true;
}

int CountProcessesNamed(const char* name) {
  orba::ScopedHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (!snapshot) return 0;
  PROCESSENTRY32 entry = {};
  entry.dwSize = sizeof entry;
  int count = 0;
  for (BOOL ok = Process32First(snapshot.Get(), &entry); ok;
       ok = Process32Next(snapshot.Get(), &entry)) {
    if (std::strcmp(entry.szExeFile, name) == 0) ++count;
  }
  return count;
}

bool BringViewerToFront() {
  const HWND window = FindWindowA(kViewerClassName, nullptr);
  if (!window) return false;
  SetForegroundWindow(window);
  return true;
}

namespace {
// Longer than the program end waits for a conversion.
constexpr DWORD kOtherViewerWaitMs = 130000;
}  // namespace

bool AnotherViewerIsRunning(const char* commandLine) {
  char name[MAX_PATH];
  if (!ProgramNameFromCommandLine(commandLine, name, sizeof name)) return false;
  if (CountProcessesNamed(name) <= 1) return false;
  // Without its window the other viewer is starting, or ending and waiting
  // for the conversion of a recording: this one waits for it (bounded) instead
  // of ending unseen.
  const DWORD start = GetTickCount();
  bool logged = false;
  while (!BringViewerToFront()) {
    if (CountProcessesNamed(name) <= 1) {
      DebugLine("The other viewer has ended: this one starts");
      return false;
    }
    if (GetTickCount() - start >= kOtherViewerWaitMs) return true;
    if (!logged) {
      DebugLine("Another viewer runs without its window: waiting for it");
      logged = true;
    }
    Sleep(250);
  }
  return true;
}
