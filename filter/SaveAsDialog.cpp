#include "SaveAsDialog.h"

#include <commdlg.h>
#include <objbase.h>

#include <cstring>
#include <cwchar>
#include <new>
#include <string>
#include <utility>

#include "FilterLog.h"
#include "FilterSettings.h"
#include "PictureNames.h"
#include "PictureWrite.h"
#include "orba/ImagesDir.h"
#include "orba/Log.h"
#include "orba/Scoped.h"
#include "orba/Text.h"

namespace orba_filter {

struct SaveAsDialog::Job {
  volatile LONG refs = 2;  // the dialog object and the thread
  volatile LONG cancelled = 0;
  HMODULE module = nullptr;  // keeps the filter's code loaded while the thread runs
  HWND owner = nullptr;
  uint8_t* data = nullptr;
  size_t size = 0;
  char folder[kPathBytes] = {};
  char stamp[orba::kTimeStampBytes] = {};

  ~Job() { delete[] data; }
  void Release() {
    if (InterlockedDecrement(&refs) == 0) delete this;
  }
};

namespace {

// The file name buffer of the Save As dialog, in wide characters.
constexpr size_t kDialogPathChars = MAX_PATH;

// The dialog's pre-filled path: the free picture name in the folder, else in
// the picture folder, else the name alone; it always fits the dialog's buffer.
void DefaultDialogPath(const char* folder, const char* stamp, wchar_t (&out)[kDialogPathChars]) {
  char path[kPathBytes];
  if (FreePicturePath(folder, stamp, path, sizeof path)) {
    DebugLine("%s", path);
    if (orba::AnsiToWide(path, out, kDialogPathChars)) return;
  }
  char pictures[kPathBytes];
  GetImagesDirPath(pictures, sizeof pictures);
  if (FreePicturePath(pictures, stamp, path, sizeof path) &&
      orba::AnsiToWide(path, out, kDialogPathChars)) {
    return;
  }
  char name[orba::kTimeStampBytes + sizeof ".jpg"];
  orba::FormatBounded(name, sizeof name, "%s.jpg", stamp);
  orba::AnsiToWide(name, out, kDialogPathChars);
}

// The folder part of a chosen path: everything before its last backslash,
// empty when no backslash follows the first character.
std::wstring FolderOf(const std::wstring& path) {
  const size_t slash = path.find_last_of(L'\\');
  if (slash == std::wstring::npos || slash == 0) return std::wstring();
  return path.substr(0, slash);
}

void DebugWide(const wchar_t* text) { OutputDebugStringW(text); }

void RememberFolder(const std::wstring& chosen) {
  const std::wstring chosenFolder = FolderOf(chosen);
  DebugWide(chosenFolder.c_str());
  wchar_t shortFolder[kDialogPathChars];
  const DWORD shortLength = GetShortPathNameW(chosenFolder.c_str(), shortFolder, kDialogPathChars);
  if (shortLength == 0 || shortLength >= kDialogPathChars) {
    DebugLine("Picture folder not remembered: no short form");
    return;
  }
  DebugWide(shortFolder);
  char remembered[kPathBytes];
  if (!orba::WideToAnsi(shortFolder, remembered, sizeof remembered)) {
    DebugLine("Picture folder not remembered: not an ANSI path");
    return;
  }
  // Not remembering the folder costs only the next dialog's start folder; the
  // picture is saved, so a registry error is not reported.
  WriteSettingsText(kImageFolderPathValue, remembered);
}

void RunDialog(SaveAsDialog::Job* job) {
  if (job->cancelled) {
    FilterLog("Save As dialog not shown: the filter stopped");
    return;
  }
  // The dialog's shell views want a single-threaded apartment of their own.
  const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);

  wchar_t fileName[kDialogPathChars];
  std::wmemset(fileName, 0, kDialogPathChars);
  DefaultDialogPath(job->folder, job->stamp, fileName);
  DebugWide(fileName);

  OPENFILENAMEW ofn;
  std::memset(&ofn, 0, sizeof ofn);
  // The structure of the older systems, which every later one accepts.
  ofn.lStructSize = OPENFILENAME_SIZE_VERSION_400W;
  ofn.hwndOwner = job->owner;
  ofn.lpstrFilter = L"JPG files\0*.jpg\0";
  ofn.lpstrFile = fileName;
  ofn.nMaxFile = kDialogPathChars;
  ofn.lpstrTitle = L"Save image file...";
  ofn.lpstrDefExt = L"jpg";
  // An existing file is replaced only after the user has said so.
  ofn.Flags = OFN_PATHMUSTEXIST | OFN_OVERWRITEPROMPT;
  const BOOL chose = GetSaveFileNameW(&ofn);
  // Log readers and the tests look for these two exact lines.
  if (!chose) {
    DebugLine("Gick ej!");
  } else {
    DebugLine("HEJ!");
    // Ends the text whatever the dialog left in the buffer.
    fileName[kDialogPathChars - 1] = L'\0';
    DebugWide(fileName);
    std::wstring chosen(fileName);
    if (chosen.find(L'.') == std::wstring::npos) chosen += L".jpg";
    if (WritePictureReplacing(chosen.c_str(), job->data, job->size)) RememberFolder(chosen);
  }
  if (SUCCEEDED(com)) CoUninitialize();
}

DWORD WINAPI DialogThread(LPVOID parameter) {
  auto* job = static_cast<SaveAsDialog::Job*>(parameter);
  const HMODULE module = job->module;
  RunDialog(job);
  FilterLog("Save As dialog done");
  job->Release();
  FreeLibraryAndExitThread(module, 0);
  return 0;
}

// Answers every dialog window of the dialog's thread: No to a Yes/No question
// (the replace question: the old file stays), Cancel to the rest.
BOOL CALLBACK CancelDialogWindow(HWND window, LPARAM) {
  constexpr char kDialogClass[] = "#32770";  // the system's dialog box class
  char className[16] = {};
  GetClassNameA(window, className, sizeof className);
  if (std::strcmp(className, kDialogClass) != 0) return TRUE;
  const int id = GetDlgItem(window, IDNO) ? IDNO : IDCANCEL;
  PostMessageW(window, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
               reinterpret_cast<LPARAM>(GetDlgItem(window, id)));
  return TRUE;
}

constexpr DWORD kCancelRepeatMs = 100;

}  // namespace

SaveAsDialog::~SaveAsDialog() {
  Close(kCloseWaitMs);
  CAutoLock lock(&lock_);
  thread_.Reset();
  if (job_) job_->Release();
  job_ = nullptr;
}

bool SaveAsDialog::IsOpen() {
  CAutoLock lock(&lock_);
  return thread_ && WaitForSingleObject(thread_.Get(), 0) == WAIT_TIMEOUT;
}

bool SaveAsDialog::Open(HWND owner, const uint8_t* data, size_t size, const char* folder,
                        const char* stamp) {
  CAutoLock lock(&lock_);
  if (thread_) {
    if (WaitForSingleObject(thread_.Get(), 0) == WAIT_TIMEOUT) {
      FilterLog("Save As refused: a Save As dialog is already open");
      return false;
    }
    thread_.Reset();
    threadId_ = 0;
  }
  if (job_) {
    job_->Release();
    job_ = nullptr;
  }

  Job* job = new (std::nothrow) Job;
  if (!job) {
    FilterLog("Save As refused: no memory");
    return false;
  }
  job->owner = owner;
  job->size = data ? size : 0;
  if (job->size > 0) {
    job->data = new (std::nothrow) uint8_t[job->size];
    if (!job->data) {
      delete job;
      FilterLog("Save As refused: no memory for a copy of the picture");
      return false;
    }
    std::memcpy(job->data, data, job->size);
  }
  orba::CopyBounded(job->folder, sizeof job->folder, folder ? folder : "");
  orba::CopyBounded(job->stamp, sizeof job->stamp, stamp ? stamp : "");
  if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                          reinterpret_cast<LPCWSTR>(&DialogThread), &job->module)) {
    delete job;
    FilterLog("Save As refused: module not pinned (error %lu)", GetLastError());
    return false;
  }
  DWORD id = 0;
  orba::ScopedHandle thread(CreateThread(nullptr, 0, DialogThread, job, 0, &id));
  if (!thread) {
    FilterLog("Save As refused: no dialog thread (error %lu)", GetLastError());
    FreeLibrary(job->module);
    delete job;
    return false;
  }
  job_ = job;
  thread_ = std::move(thread);
  threadId_ = id;
  return true;
}

void SaveAsDialog::Close(DWORD timeoutMs) {
  // A handle of its own: the wait goes on outside the lock.
  orba::ScopedHandle owned;
  DWORD threadId = 0;
  {
    CAutoLock lock(&lock_);
    if (!thread_ || WaitForSingleObject(thread_.Get(), 0) != WAIT_TIMEOUT) return;
    if (!DuplicateHandle(GetCurrentProcess(), thread_.Get(), GetCurrentProcess(), owned.Put(),
                         SYNCHRONIZE, FALSE, 0)) {
      return;
    }
    threadId = threadId_;
    InterlockedExchange(&job_->cancelled, 1);
  }
  HANDLE thread = owned.Get();
  FilterLog("Closing the open Save As dialog");
  const DWORD start = GetTickCount();
  for (;;) {
    EnumThreadWindows(threadId, CancelDialogWindow, 0);
    const DWORD elapsed = GetTickCount() - start;
    if (elapsed >= timeoutMs) break;
    const DWORD slice =
        timeoutMs - elapsed < kCancelRepeatMs ? timeoutMs - elapsed : kCancelRepeatMs;
    const DWORD r = MsgWaitForMultipleObjects(1, &thread, FALSE, slice, QS_SENDMESSAGE);
    if (r == WAIT_OBJECT_0) {
      FilterLog("Save As dialog closed");
      return;
    }
    if (r == WAIT_OBJECT_0 + 1) {
      // Handles the messages sent to this thread; posted ones stay queued.
      MSG msg;
      PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    } else if (r == WAIT_FAILED) {
      break;
    }
  }
  FilterLog("The Save As dialog did not close within %lu ms; the filter goes on without it",
            static_cast<unsigned long>(timeoutMs));
}

bool WritePictureReplacing(const wchar_t* target, const uint8_t* data, size_t size) {
  const std::wstring folder = FolderOf(target);
  wchar_t temp[MAX_PATH];
  // Creates the empty file under a unique name.
  if (!GetTempFileNameW(folder.empty() ? L"." : folder.c_str(), L"orb", 0, temp)) {
    FilterLog("Picture not written: no temporary file next to it (error %lu)", GetLastError());
    return false;
  }
  bool written = false;
  DWORD error = 0;
  {
    orba::ScopedHandle file(CreateFileW(temp, GENERIC_WRITE, 0, nullptr, TRUNCATE_EXISTING,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file) {
      written = WritePicture(file.Get(), data, size);
      if (!written) error = GetLastError();
      if (written && !FlushFileBuffers(file.Get())) {
        written = false;
        error = GetLastError();
      }
    } else {
      error = GetLastError();
    }
  }
  if (!written) {
    DeleteFileW(temp);
    FilterLog("Picture not written (error %lu); nothing was replaced", error);
    return false;
  }
  if (!MoveFileExW(temp, target, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    error = GetLastError();
    DeleteFileW(temp);
    FilterLog("Picture not put in its place (error %lu); nothing was replaced", error);
    return false;
  }
  return true;
}

}  // namespace orba_filter
