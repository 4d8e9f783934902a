// The per-sample work of the filter: the frame files of a recording and the
// pictures, each sample stored as the camera sent it.
#include <windows.h>

#include <cstring>

#include "FilterLog.h"
#include "FilterSettings.h"
#include "ORBAProc.h"
#include "PictureNames.h"
#include "PictureWrite.h"
#include "orba/ImagesDir.h"
#include "orba/Log.h"
#include "orba/MediaType.h"
#include "orba/Scoped.h"
#include "orba/Text.h"

using orba_filter::kPathBytes;

HRESULT ORBAProc::Transform(IMediaSample* pIn, IMediaSample*) {
  // Log readers (and the tests) count samples by this exact line.
  FilterLog("64 Hello new Transform function!");
  if (!pIn) return E_POINTER;

  orba::MediaTypePtr announced;
  if (pIn->GetMediaType(&announced) == S_OK && announced) {
    // The input pin lets through the types it refuses; they are skipped here,
    // as are those UpdateFormat refuses.
    const auto* type = static_cast<const CMediaType*>(announced.Get());
    const bool pinTakesIt = !m_pInput || m_pInput->CheckMediaType(type) == S_OK;
    if (!pinTakesIt || UpdateFormat(announced.Get()) != S_OK) {
      FilterLog("Failed to update bitmapinfoheader");
      return S_FALSE;
    }
  }

  BYTE* data = nullptr;
  if (FAILED(pIn->GetPointer(&data))) data = nullptr;
  long length = pIn->GetActualDataLength();
  if (!data || length < 0) length = 0;
  // A length beyond the buffer would have the files read past its end.
  const long size = pIn->GetSize();
  if (length > size) {
    FilterLog("Sample length %ld beyond its buffer of %ld bytes: not stored", length, size);
    return S_FALSE;
  }

  // One reading of the flag serves the whole sample.
  const long recording = m_recording;
  if (recording) {
    RecordingPass(data, length);
  } else if (m_recordingPrevious) {
    LogRecordingCounts();
  }
  m_recordingPrevious = recording;

  if (!m_takePicture && !m_savePictureAs) return S_OK;
  PicturePass(data, length);
  return S_OK;
}

namespace {

// Creates a file for writing; when its folder has gone (removed while ORBA
// ran), the folder is made again with its parents and the file tried once more.
HANDLE CreateInFolder(const char* folder, const char* path, DWORD disposition) {
  HANDLE file = CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ, nullptr, disposition,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file != INVALID_HANDLE_VALUE || GetLastError() != ERROR_PATH_NOT_FOUND) return file;
  FilterLog("The folder %s has gone: made again", folder);
  if (!CreateFolderTree(folder)) {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  return CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ, nullptr, disposition,
                     FILE_ATTRIBUTE_NORMAL, nullptr);
}

// Stores one frame file; a file that could not be written whole is deleted, so
// that no truncated frame is ever converted. False (logged) on failure.
bool StoreFrame(const char* folder, const char* path, long frame, const BYTE* data, long length) {
  orba::ScopedHandle file(CreateInFolder(folder, path, CREATE_ALWAYS));
  if (!file) {
    FilterLog("Frame %ld not stored: its file cannot be created (error %lu)", frame,
              GetLastError());
    return false;
  }
  // Frame files keep the camera's bytes exactly; the recording's converter
  // copes with implicit Huffman tables.
  if (orba_filter::WriteAll(file.Get(), data, static_cast<size_t>(length))) return true;
  const DWORD error = GetLastError();
  file.Reset();
  DeleteFileA(path);
  FilterLog("Frame %ld not stored: the write failed (error %lu); its file is deleted", frame,
            error);
  return false;
}

}  // namespace

void ORBAProc::RecordingPass(const BYTE* data, long length) {
  char folder[kPathBytes];
  {
    CAutoLock lock(&m_csFolder);
    std::memcpy(folder, m_recordFolder, sizeof folder);
  }
  if (!m_recordingPrevious) {
    m_frameCounter = 0;
    m_framesWritten = 0;
    m_framesFailed = 0;
    // With its parents: the picture folder may have gone too.
    if (folder[0] != '\0' && !CreateFolderTree(folder)) {
      FilterLog("The record folder cannot be made (error %lu)", GetLastError());
    }
  }
  const long frame = m_frameCounter++;

  // Without a folder the frames would land in the root of the current drive.
  if (folder[0] == '\0') {
    FilterLog("No record folder: frame %ld not stored", frame);
    ++m_framesFailed;
    return;
  }
  char path[kPathBytes];
  if (!orba::FormatBounded(path, sizeof path, "%s\\frame_%ld.jpg", folder, frame)) {
    FilterLog("Frame path too long: frame %ld not stored", frame);
    ++m_framesFailed;
    return;
  }
  FilterLog("%s", path);
  if (StoreFrame(folder, path, frame, data, length)) {
    ++m_framesWritten;
  } else {
    ++m_framesFailed;
  }
}

void ORBAProc::LogRecordingCounts() {
  FilterLog("Recording stopped: %ld frames written, %ld not written", m_framesWritten,
            m_framesFailed);
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
    if (!file && GetLastError() == ERROR_PATH_NOT_FOUND) {
      FilterLog("The picture folder has gone: made again");
      if (CreateFolderTree(folder)) {
        file.Reset(orba_filter::CreateFreePictureFile(folder, stamp, path, sizeof path));
      }
    }
    DebugLine("%s", path);
    m_takePicture = 0;
    if (!file) {
      FilterLog("Picture not stored: its file cannot be created (error %lu)", GetLastError());
      return;
    }
    if (!orba_filter::WritePicture(file.Get(), data, static_cast<size_t>(length))) {
      const DWORD error = GetLastError();
      file.Reset();
      DeleteFileA(path);
      FilterLog("Picture not stored: the write failed (error %lu); its file is deleted", error);
    }
    return;
  }
  m_savePictureAs = 0;
  // The dialog has a thread of its own: the stream goes on while it is open.
  m_saveAsDialog.Open(m_saveDialogOwner, data, static_cast<size_t>(length), folder, stamp);
}
