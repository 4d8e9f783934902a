#pragma once
// Runs ORBA.exe as a user would and watches what it shows: its message boxes
// (dialog class "#32770"), its "Orba Viewer" window and its exit code.
#include <windows.h>

#include <string>
#include <vector>

namespace orba_test {

// The title of the filter's Save As dialog (and of its replace question).
constexpr char kSaveDialogTitle[] = "Save image file...";

struct SeenMessageBox {
  std::string title;
  std::string text;
};

// Top-level windows of a process with the given class name.
std::vector<HWND> FindProcessWindows(DWORD pid, const char* className);
// The title and text of a message box.
bool ReadMessageBox(HWND box, SeenMessageBox* out);
// Presses the box's OK button.
bool PressMessageBoxOk(HWND box);

class ViewerProcess {
 public:
  ViewerProcess() = default;
  ViewerProcess(const ViewerProcess&) = delete;
  ViewerProcess& operator=(const ViewerProcess&) = delete;
  // A viewer still running at the end of a test is ended, so none is left behind.
  ~ViewerProcess();

  // Starts the program (ORBA.exe of the bin folder by default) with its quoted
  // full path as the command line, as the shell would.
  bool Start(const std::string& exePath = std::string());
  DWORD pid() const { return pid_; }
  HANDLE process() const { return process_; }
  bool IsRunning() const;

  // The first message box of the process, or null; the Save As dialog and its
  // question are not counted.
  HWND FindMessageBox() const;
  // Waits for a message box, reads it and presses OK.
  bool AnswerMessageBox(SeenMessageBox* box, DWORD timeoutMs);
  // The process's "Orba Viewer" window, or null.
  HWND FindViewerWindow() const;
  HWND WaitForViewerWindow(DWORD timeoutMs) const;
  // After a restart: a viewer window other than the previous one, or null.
  HWND WaitForNewViewerWindow(HWND previous, DWORD timeoutMs) const;
  // Posts a message to the viewer window (null window: fails).
  bool PostToViewer(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const;
  // Posts the registered message ZoomText sends when its state changes.
  bool PostZoomTextStateChange() const;

  // Waits for the process to end, answering every message box with OK on the
  // way (each one is appended to boxes). False on timeout.
  bool WaitForExit(DWORD timeoutMs, DWORD* exitCode, std::vector<SeenMessageBox>* boxes = nullptr);
  // Closes the viewer window as a user would, then WaitForExit.
  bool CloseAndWait(DWORD timeoutMs, DWORD* exitCode, std::vector<SeenMessageBox>* boxes = nullptr);
  void Kill();

 private:
  HANDLE process_ = nullptr;
  DWORD pid_ = 0;
};

}  // namespace orba_test
