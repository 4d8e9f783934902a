// The per-sample work of the filter: the frame files of a recording and the
// pictures, each sample stored as the camera sent it.
#include <windows.h>

#include <commdlg.h>

#include <cstring>
#include <cwchar>
#include <string>

#include "FilterLog.h"
#include "ORBAProc.h"
#include "orba/ImagesDir.h"
#include "orba/Log.h"
#include "orba/MediaType.h"
#include "orba/Scoped.h"
#include "orba/Text.h"

using orba_filter::kDialogPathChars;
using orba_filter::kPathBytes;

HRESULT ORBAProc::Transform(IMediaSample* pIn, IMediaSample*) {
  FilterLog("64 Hello new Transform function!");
  if (!pIn) return E_POINTER;

  orba::MediaTypePtr announced;
  if (pIn->GetMediaType(&announced) == S_OK && announced) {
    if (UpdateFormat(announced.Get()) != S_OK) {
      FilterLog("Failed to update bitmapinfoheader");
      return S_FALSE;
    }
  }

  BYTE* data = nullptr;
  if (FAILED(pIn->GetPointer(&data))) data = nullptr;
  long length = pIn->GetActualDataLength();
  if (!data || length < 0) length = 0;

  // One reading of the flag serves the whole sample.
  const long recording = m_recording;
  if (recording) RecordingPass(data, length);
  m_recordingPrevious = recording;

  if (!m_takePicture && !m_savePictureAs) return S_OK;
  PicturePass(data, length);
  return S_OK;
}

void ORBAProc::RecordingPass(const BYTE* data, long length) {
  char folder[kPathBytes];
  {
    CAutoLock lock(&m_csFolder);
    std::memcpy(folder, m_recordFolder, sizeof folder);
  }
  if (!m_recordingPrevious) {
    m_frameCounter = 0;
    if (folder[0] != '\0') CreateDirectoryA(folder, nullptr);
  }
  const long frame = m_frameCounter++;

  // Without a folder the frames would land in the root of the current drive.
  if (folder[0] == '\0') {
    FilterLog("No record folder: frame %ld not stored", frame);
    return;
  }
  char path[kPathBytes];
  if (!orba::FormatBounded(path, sizeof path, "%s\\frame_%ld.jpg", folder, frame)) {
    FilterLog("Frame path too long: frame %ld not stored", frame);
    return;
  }
  FilterLog("%s", path);
  orba::ScopedHandle file(CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return;
  // Frame files keep the camera's bytes exactly; the recording's converter
  // copes with implicit Huffman tables.
  orba_filter::WriteAll(file.Get(), data, static_cast<size_t>(length));
}

void ORBAProc::PicturePass(const BYTE* data, long length) {
  char stamp[orba::kTimeStampBytes];
  orba::FormatTimeStampNow(stamp);

  char folder[kPathBytes];
  GetImagesDirPath(folder, sizeof folder);
  const bool saveAs = m_savePictureAs != 0;
  if (saveAs && orba_filter::ReadSettingsText(orba_filter::kImageFolderPathValue, folder,
                                              sizeof folder) != 0) {
    GetImagesDirPath(folder, sizeof folder);
  }
  orba::DebugRaw("GetImagesDirPath:\n");
  orba::DebugRaw(folder);

  if (!saveAs) {
    char path[kPathBytes];
    // Pictures of the same second get "_2", "_3", ...: none overwrites another.
    orba::ScopedHandle file(orba_filter::CreateFreePictureFile(folder, stamp, path, sizeof path));
    DebugLine("%s", path);
    if (file) orba_filter::WritePicture(file.Get(), data, static_cast<size_t>(length));
    m_takePicture = 0;
    return;
  }
  m_savePictureAs = 0;
  SavePictureWithDialog(data, length, folder, stamp);
}

namespace {

// The dialog's pre-filled path: the free picture name in the folder, else in
// the picture folder, else the name alone; it always fits the dialog's buffer.
void DefaultDialogPath(const char* folder, const char* stamp, wchar_t (&out)[kDialogPathChars]) {
  char path[kPathBytes];
  if (orba_filter::FreePicturePath(folder, stamp, path, sizeof path)) {
    DebugLine("%s", path);
    if (orba_filter::AnsiToWide(path, out, kDialogPathChars)) return;
  }
  char pictures[kPathBytes];
  GetImagesDirPath(pictures, sizeof pictures);
  if (orba_filter::FreePicturePath(pictures, stamp, path, sizeof path) &&
      orba_filter::AnsiToWide(path, out, kDialogPathChars)) {
    return;
  }
  char name[orba::kTimeStampBytes + 8];
  orba::FormatBounded(name, sizeof name, "%s.jpg", stamp);
  orba_filter::AnsiToWide(name, out, kDialogPathChars);
}

// The folder part of a chosen path: everything before its last backslash,
// empty when no backslash follows the first character.
std::wstring FolderOf(const std::wstring& path) {
  const size_t slash = path.find_last_of(L'\\');
  if (slash == std::wstring::npos || slash == 0) return std::wstring();
  return path.substr(0, slash);
}

void DebugWide(const wchar_t* text) {
  OutputDebugStringW(text);
}

}  // namespace

void ORBAProc::SavePictureWithDialog(const BYTE* data, long length, const char* folder,
                                     const char* stamp) {
  wchar_t fileName[kDialogPathChars];
  std::wmemset(fileName, 0, kDialogPathChars);
  DefaultDialogPath(folder, stamp, fileName);
  DebugWide(fileName);

  OPENFILENAMEW ofn;
  std::memset(&ofn, 0, sizeof ofn);
  // The structure of the older systems, which every later one accepts.
  ofn.lStructSize = OPENFILENAME_SIZE_VERSION_400W;
  ofn.hwndOwner = m_saveDialogOwner;
  ofn.lpstrFilter = L"JPG files\0*.jpg\0";
  ofn.lpstrFile = fileName;
  ofn.nMaxFile = kDialogPathChars;
  ofn.lpstrTitle = L"Save image file...";
  ofn.Flags = OFN_PATHMUSTEXIST;
  if (!GetSaveFileNameW(&ofn)) {
    DebugLine("Gick ej!");
    return;
  }
  DebugLine("HEJ!");
  fileName[kDialogPathChars - 1] = L'\0';
  DebugWide(fileName);

  std::wstring chosen(fileName);
  if (chosen.find(L'.') == std::wstring::npos) chosen += L".jpg";
  {
    orba::ScopedHandle file(CreateFileW(chosen.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                        CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file) orba_filter::WritePicture(file.Get(), data, static_cast<size_t>(length));
  }

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
  if (!orba_filter::WideToAnsi(shortFolder, remembered, sizeof remembered)) {
    DebugLine("Picture folder not remembered: not an ANSI path");
    return;
  }
  orba_filter::WriteSettingsText(orba_filter::kImageFolderPathValue, remembered);
}
