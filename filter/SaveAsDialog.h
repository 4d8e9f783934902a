#pragma once
// The Save As dialog of a picture, on a thread of its own. The streaming thread
// hands it a copy of the sample and goes on at once; whoever stops the filter
// closes the dialog without saving and waits for it only a bounded time, so no
// thread of the graph or the viewer ever waits for a person.
#include <windows.h>

#include <cstddef>
#include <cstdint>

#include "dshow_base/Streams.h"
#include "orba/Scoped.h"

namespace orba_filter {

class SaveAsDialog {
 public:
  // How long stopping the filter waits for an open dialog to go.
  static constexpr DWORD kCloseWaitMs = 3000;

  SaveAsDialog() = default;
  SaveAsDialog(const SaveAsDialog&) = delete;
  SaveAsDialog& operator=(const SaveAsDialog&) = delete;
  // Closes an open dialog (see Close).
  ~SaveAsDialog();

  // Shows the dialog, owned by owner, for a copy of the sample, pre-filled with
  // the free picture name of stamp in folder; the chosen file is written from
  // the copy. Refused (false, logged) while a dialog is open, or when the copy
  // or the thread cannot be made.
  bool Open(HWND owner, const uint8_t* data, size_t size, const char* folder, const char* stamp);

  // Closes an open dialog without saving: IDCANCEL to its windows (No to the
  // replace question), then a wait of at most timeoutMs for its thread, during
  // which messages sent to the calling thread are handled (the dialog
  // re-enables its owner with one). A dialog that has not gone by then is left
  // to end by itself; it saves nothing.
  void Close(DWORD timeoutMs);

  // True while the dialog's thread runs.
  bool IsOpen();

  struct Job;

 private:
  CCritSec lock_;
  Job* job_ = nullptr;  // shared with the thread, which holds a reference
  orba::ScopedHandle thread_;
  DWORD threadId_ = 0;
};

// Writes a picture under a temporary name in the target's folder and then puts
// it in the target's place, so that a failed write never leaves half a file and
// never destroys the file it was to replace. False (logged) on failure.
bool WritePictureReplacing(const wchar_t* target, const uint8_t* data, size_t size);

}  // namespace orba_filter
