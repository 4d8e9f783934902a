#include "Recording.h"

#include <mmsystem.h>
#include <objbase.h>
#include <turbojpeg.h>

#include <cstdlib>
#include <cstring>
#include <new>

#include "AviWriter.h"
#include "ConvertFrames.h"
#include "Startup.h"
#include "ViewerState.h"
#include "orba/ImagesDir.h"
#include "orba/Log.h"
#include "orba/Scoped.h"
#include "orba/Text.h"

namespace {

RecordingSoundPlayer g_soundPlayer = nullptr;

// Below this much free space a recording would store next to nothing and its
// conversion could not write the video.
constexpr ULONGLONG kMinFreeBytesToRecord = 64ull << 20;

void PlayResourceSound(int resourceId) {
  PlaySoundA(nullptr, nullptr, 0);
  PlaySoundA(MAKEINTRESOURCEA(resourceId), g_viewer.hInstance,
             SND_RESOURCE | SND_ASYNC | SND_NODEFAULT);
}

// The previous conversion, looked at by the recording key. False when the key
// must be ignored because the conversion still runs.
bool PreviousConversionAllowsKey() {
  if (!g_viewer.hConvertThread) return true;
  DWORD exitCode = 0;
  if (!GetExitCodeThread(g_viewer.hConvertThread, &exitCode)) return true;
  if (exitCode == STILL_ACTIVE) {
    DebugLine("exitCode == STILL_ACTIVE");
    return false;
  }
  DebugLine("exitCode good");
  CloseHandle(g_viewer.hConvertThread);
  g_viewer.hConvertThread = nullptr;
  return true;
}

struct RecordingNames {
  char pictures[kImagesDirBytes];
  char tempFolder[kVideoPathBytes];
  char finalPath[kVideoPathBytes];
  char tempVideo[AviWriter::kFileNameBytes];
};

// All names of a recording, from one reading of the local time. False when a
// name does not fit its buffer: a cut path must never be used.
bool MakeRecordingNames(RecordingNames* names) {
  GetImagesDirPath(names->pictures, sizeof names->pictures);
  char stamp[orba::kTimeStampBytes];
  orba::FormatTimeStampNow(stamp);
  return orba::FormatBounded(names->tempFolder, sizeof names->tempFolder, "%s\\temp",
                             names->pictures) &&
         orba::FormatBounded(names->finalPath, sizeof names->finalPath, "%s\\video_%s.avi",
                             names->pictures, stamp) &&
         orba::FormatBounded(names->tempVideo, sizeof names->tempVideo, "%s\\temp\\video_%s.avi",
                             names->pictures, stamp);
}

// The free space of the disk that holds path, or of its nearest existing
// folder (the picture folder is made with the first picture).
bool FreeBytesAt(const char* path, ULONGLONG* freeBytes) {
  char folder[kImagesDirBytes];
  if (!orba::CopyBounded(folder, sizeof folder, path)) return false;
  for (;;) {
    ULARGE_INTEGER available = {};
    if (GetDiskFreeSpaceExA(folder, &available, nullptr, nullptr)) {
      *freeBytes = available.QuadPart;
      return true;
    }
    char* last = std::strrchr(folder, '\\');
    if (!last || last == folder) return false;
    *last = '\0';
  }
}

void RefuseRecording(const char* why) {
  DebugLine("Recording refused: %s", why);
  PlayRecordingSound(kSoundRecordingStops);
}

// Steps of the start; false when the recording is refused.
bool StartRecording() {
  // Frames that can never be converted would be lost: do not record them.
  if (!g_viewer.decomp || !g_viewer.tempBufferJPEG || !g_viewer.tempBufferRGB) {
    RefuseRecording("the JPEG decompressor or the frame buffers could not be made");
    return false;
  }
  RecordingNames names;
  if (!MakeRecordingNames(&names)) {
    RefuseRecording("the picture folder's path is too long");
    return false;
  }
  ULONGLONG freeBytes = 0;
  if (FreeBytesAt(names.pictures, &freeBytes) && freeBytes < kMinFreeBytesToRecord) {
    RefuseRecording("the disk of the picture folder is full");
    return false;
  }

  PlayRecordingSound(kSoundRecordingStarts);
  orba::CopyBounded(g_viewer.videoFinalPath, sizeof g_viewer.videoFinalPath, names.pictures);
  orba::CopyBounded(g_viewer.videoTempFolder, sizeof g_viewer.videoTempFolder, names.tempFolder);
  // Frames of an earlier recording must not be mixed in, nor lost: any left
  // there are recovered first. The filter creates the folder again with its
  // first frame.
  RecoverLeftFrames();
  CreateDirectoryA(g_viewer.videoTempFolder, nullptr);
  DeleteFolderTree(g_viewer.videoTempFolder);

  orba::CopyBounded(g_viewer.videoFinalPath, sizeof g_viewer.videoFinalPath, names.finalPath);
  DebugLine("videoFinalPath: %s", g_viewer.videoFinalPath);
  DebugLine("videoTempPath: %s", names.tempVideo);

  // A writer that was never handed to a conversion is still ours.
  delete g_viewer.aviWriter;
  g_viewer.aviWriter = new (std::nothrow) AviWriter(
      names.tempVideo, kRecordingCodec, kRecordingRate, kRecordingScale, kRecordingQuality);
  DebugLine("Encoding video with codec: '%c%c%c%c' ", static_cast<char>(kRecordingCodec & 0xFF),
            static_cast<char>((kRecordingCodec >> 8) & 0xFF),
            static_cast<char>((kRecordingCodec >> 16) & 0xFF),
            static_cast<char>((kRecordingCodec >> 24) & 0xFF));
  DebugLine(g_viewer.aviWriter ? "Avi created ok!" : "Avi NOT created :(");
  DebugLine("%s", names.tempVideo);

  if (g_viewer.pOrbaProc) g_viewer.pOrbaProc->SetRecordFolder(g_viewer.videoTempFolder);
  return true;
}

void StartConversion() {
  ConvertParams& params = g_viewer.convertParams;
  params.writer = g_viewer.aviWriter;
  params.frameFolder = g_viewer.videoTempFolder;
  params.finalPath = g_viewer.videoFinalPath;
  params.decompressor = g_viewer.decomp;
  params.fileBuffer = g_viewer.tempBufferJPEG;
  params.pictureBuffer = g_viewer.tempBufferRGB;
  // The thread owns the writer from here on.
  g_viewer.aviWriter = nullptr;
  HANDLE thread = CreateThread(nullptr, 0, ConvertFramesToAvi, &params, 0, nullptr);
  if (!thread) {
    DebugLine("Unable to start the conversion (error %lu); the frame files stay in %s",
              GetLastError(), g_viewer.videoTempFolder);
    delete params.writer;
    params.writer = nullptr;
    return;
  }
  g_viewer.hConvertThread = thread;
}

// ---- recovery of frame files left by a cut-off recording or conversion

// A conversion of its own: the block, the paths, the decompressor and the two
// buffers belong to the recovery thread, so it runs beside the recordings.
struct RecoveryJob {
  ConvertParams params;
  char folder[kVideoPathBytes];
  char finalPath[kVideoPathBytes];
  char tempVideo[AviWriter::kFileNameBytes];
};

DWORD WINAPI RecoverFramesThread(LPVOID parameter) {
  auto* job = static_cast<RecoveryJob*>(parameter);
  DebugLine("Recovering the frame files in %s", job->folder);
  // The writer is made here: AVIFile joins the creating thread to a COM
  // apartment, and the viewer's thread must stay free to choose its own.
  const orba::ComApartment apartment;
  job->params.writer = new (std::nothrow) AviWriter(job->tempVideo, kRecordingCodec, kRecordingRate,
                                                    kRecordingScale, kRecordingQuality);
  const DWORD code = ConvertFramesToAvi(&job->params);
  delete job->params.writer;  // set only when the thread did not take it
  if (job->params.decompressor) tjDestroy(job->params.decompressor);
  std::free(job->params.fileBuffer);
  std::free(job->params.pictureBuffer);
  delete job;
  return code;
}

// The stamp "video_<stamp>.avi" of a temporary video in the folder.
bool StampOfTemporaryVideo(const char* folder, char (&stamp)[orba::kTimeStampBytes]) {
  char pattern[kVideoPathBytes + 16];
  if (!orba::FormatBounded(pattern, sizeof pattern, "%s\\video_*.avi", folder)) return false;
  WIN32_FIND_DATAA found = {};
  if (!orba::ScopedFind(FindFirstFileA(pattern, &found))) return false;
  const size_t n = std::strlen(found.cFileName);
  if (n <= 10) return false;  // "video_" + ".avi"
  return orba::FormatBounded(stamp, sizeof stamp, "%.*s", static_cast<int>(n - 10),
                             found.cFileName + 6);
}

// The local time of the oldest frame file.
bool StampOfOldestFrame(const char* folder, char (&stamp)[orba::kTimeStampBytes]) {
  char pattern[kVideoPathBytes + 16];
  if (!orba::FormatBounded(pattern, sizeof pattern, "%s\\frame_*.jpg", folder)) return false;
  WIN32_FIND_DATAA found = {};
  const orba::ScopedFind search(FindFirstFileA(pattern, &found));
  if (!search) return false;
  FILETIME oldest = found.ftLastWriteTime;
  while (FindNextFileA(search.Get(), &found)) {
    if (CompareFileTime(&found.ftLastWriteTime, &oldest) < 0) oldest = found.ftLastWriteTime;
  }
  FILETIME local;
  SYSTEMTIME t;
  if (!FileTimeToLocalFileTime(&oldest, &local) || !FileTimeToSystemTime(&local, &t)) return false;
  orba::FormatTimeStamp(t, stamp);
  return true;
}

void DeleteTemporaryVideos(const char* folder) {
  char pattern[kVideoPathBytes + 16];
  if (!orba::FormatBounded(pattern, sizeof pattern, "%s\\video_*.avi", folder)) return;
  WIN32_FIND_DATAA found = {};
  const orba::ScopedFind search(FindFirstFileA(pattern, &found));
  if (!search) return;
  do {
    char path[kVideoPathBytes + 64];
    if (orba::FormatBounded(path, sizeof path, "%s\\%s", folder, found.cFileName)) {
      DebugLine("The partial video %s is replaced by the recovered one", path);
      DeleteFileA(path);
    }
  } while (FindNextFileA(search.Get(), &found));
}

bool RecoveryRunning() {
  return g_viewer.hRecoveryThread &&
         WaitForSingleObject(g_viewer.hRecoveryThread, 0) == WAIT_TIMEOUT;
}

// Starts the background conversion of a kept frame folder; false when it
// cannot (the frames then simply stay in the folder).
bool StartRecovery(const char* folder, const char* finalPath, const char* stamp) {
  if (RecoveryRunning()) {
    DebugLine("Another recovery runs: %s is kept as it is", folder);
    return false;
  }
  if (g_viewer.hRecoveryThread) {
    CloseHandle(g_viewer.hRecoveryThread);
    g_viewer.hRecoveryThread = nullptr;
  }
  auto* job = new (std::nothrow) RecoveryJob();
  if (!job) return false;
  bool ok =
      orba::CopyBounded(job->folder, sizeof job->folder, folder) &&
      orba::CopyBounded(job->finalPath, sizeof job->finalPath, finalPath) &&
      orba::FormatBounded(job->tempVideo, sizeof job->tempVideo, "%s\\video_%s.avi", folder, stamp);
  ConvertParams& p = job->params;
  if (ok) {
    p.frameFolder = job->folder;
    p.finalPath = job->finalPath;
    p.decompressor = tjInitDecompress();
    p.fileBuffer = static_cast<unsigned char*>(std::malloc(kFrameBufferBytes));
    p.pictureBuffer = static_cast<unsigned char*>(std::malloc(kFrameBufferBytes));
    ok = p.decompressor && p.fileBuffer && p.pictureBuffer;
  }
  HANDLE thread = ok ? CreateThread(nullptr, 0, RecoverFramesThread, job, 0, nullptr) : nullptr;
  if (!thread) {
    DebugLine("The recovery cannot start: %s is kept as it is", folder);
    if (p.decompressor) tjDestroy(p.decompressor);
    std::free(p.fileBuffer);
    std::free(p.pictureBuffer);
    delete job;
    return false;
  }
  g_viewer.hRecoveryThread = thread;
  return true;
}

}  // namespace

void PlayRecordingSound(int resourceId) {
  if (g_soundPlayer) {
    g_soundPlayer(resourceId);
  } else {
    PlayResourceSound(resourceId);
  }
}

RecordingSoundPlayer SetRecordingSoundPlayer(RecordingSoundPlayer player) {
  const RecordingSoundPlayer previous = g_soundPlayer;
  g_soundPlayer = player;
  return previous;
}

void HandleRecordingKey() {
  if (!PreviousConversionAllowsKey()) return;
  if (!g_viewer.recording) {
    if (!StartRecording()) return;
  } else {
    PlayRecordingSound(kSoundRecordingStops);
  }
  g_viewer.recording = g_viewer.recording ? 0 : 1;
  if (g_viewer.pOrbaProc) g_viewer.pOrbaProc->ToggleRecording(g_viewer.recording);
  if (!g_viewer.recording) StartConversion();
}

void HandleEndKey() {
  if (g_viewer.recording) HandleRecordingKey();
  if (g_viewer.recording) {
    // The recording could not be stopped; ending now would lose it.
    DebugLine("Still recording: the program goes on");
    return;
  }
  if (!g_viewer.hConvertThread) {
    PostQuitMessage(0);
    return;
  }
  DWORD exitCode = 0;
  if (!GetExitCodeThread(g_viewer.hConvertThread, &exitCode)) {
    DebugLine("Should not get here, but will allow quitting now.");
    PostQuitMessage(0);
    return;
  }
  if (exitCode == STILL_ACTIVE) {
    DebugLine("exitCode == STILL_ACTIVE");
    PlayRecordingSound(kSoundRecordingStops);
    return;
  }
  DebugLine("exitCode good");
  CloseHandle(g_viewer.hConvertThread);
  g_viewer.hConvertThread = nullptr;
  PostQuitMessage(0);
}

bool ConversionRunning() {
  return g_viewer.hConvertThread && WaitForSingleObject(g_viewer.hConvertThread, 0) == WAIT_TIMEOUT;
}

void ForgetFinishedConversion() {
  if (!g_viewer.hConvertThread) return;
  if (ConversionRunning()) {
    DebugLine("The conversion of the last recording still runs");
    return;
  }
  CloseHandle(g_viewer.hConvertThread);
  g_viewer.hConvertThread = nullptr;
}

void StopRecordingAtEndOfPass() {
  if (!g_viewer.recording) return;
  DebugLine("The recording stops with the end of the pass");
  HandleRecordingKey();
}

void WaitForConversionAtProgramEnd() {
  const bool waited = ConversionRunning();
  WaitForConversionsBounded();
  if (!waited || ConversionRunning()) return;
  // The teardown kept these for the conversion.
  FreeFrameBuffers();
  DestroyDecompressor();
}

bool WaitForConversionsBounded() {
  HANDLE running[2];
  DWORD count = 0;
  if (ConversionRunning()) running[count++] = g_viewer.hConvertThread;
  if (RecoveryRunning()) running[count++] = g_viewer.hRecoveryThread;
  if (count == 0) return true;
  DebugLine("Waiting at most %lu s for the conversion of a recording to end",
            static_cast<unsigned long>(kConversionEndWaitMs / 1000));
  const DWORD r = WaitForMultipleObjects(count, running, TRUE, kConversionEndWaitMs);
  if (r == WAIT_TIMEOUT || r == WAIT_FAILED) {
    DebugLine("The conversion did not end in time; its frame files stay for the next start");
    return false;
  }
  DebugLine("The conversion has ended");
  return true;
}

void RecoverLeftFrames() {
  char pictures[kImagesDirBytes];
  GetImagesDirPath(pictures, sizeof pictures);
  char temp[kVideoPathBytes];
  if (!orba::FormatBounded(temp, sizeof temp, "%s\\temp", pictures)) return;
  // The running conversion of the last recording works on these files.
  if (ConversionRunning() && std::strcmp(temp, g_viewer.videoTempFolder) == 0) return;
  if (HighestFrameNumber(temp) < 0) return;

  char stamp[orba::kTimeStampBytes];
  if (!StampOfTemporaryVideo(temp, stamp) && !StampOfOldestFrame(temp, stamp)) {
    orba::FormatTimeStampNow(stamp);
  }
  char stem[kVideoPathBytes];
  char kept[kVideoPathBytes];
  char finalPath[kVideoPathBytes];
  if (!orba::FormatBounded(stem, sizeof stem, "%s\\video_%s_frames", pictures, stamp) ||
      !orba::FormatBounded(finalPath, sizeof finalPath, "%s\\video_%s.avi", pictures, stamp) ||
      !MoveToFreeName(temp, stem, "", kept, sizeof kept)) {
    DebugLine("Frame files left in %s cannot be moved away (error %lu)", temp, GetLastError());
    return;
  }
  DebugLine("Frame files of a cut-off recording kept in %s", kept);
  DeleteTemporaryVideos(kept);
  StartRecovery(kept, finalPath, stamp);
}

// ---- the conversion's frame buffers and decompressor, made at the start of a
// pass and kept while a conversion still uses them

void AllocateFrameBuffers() {
  if (!g_viewer.tempBufferRGB) {
    g_viewer.tempBufferRGB = static_cast<unsigned char*>(std::malloc(kFrameBufferBytes));
  }
  if (!g_viewer.tempBufferJPEG) {
    g_viewer.tempBufferJPEG = static_cast<unsigned char*>(std::malloc(kFrameBufferBytes));
  }
  if (!g_viewer.tempBufferRGB) DebugLine("tempBufferRGB == NULL!");
  if (!g_viewer.tempBufferJPEG) DebugLine("tempBufferJPEG == NULL!");
}

void FreeFrameBuffers() {
  if (ConversionRunning()) {
    DebugLine("The conversion still runs: its frame buffers are kept");
    return;
  }
  std::free(g_viewer.tempBufferJPEG);
  g_viewer.tempBufferJPEG = nullptr;
  std::free(g_viewer.tempBufferRGB);
  g_viewer.tempBufferRGB = nullptr;
}

void CreateDecompressor() {
  // One kept for a running conversion serves this pass too.
  if (!g_viewer.decomp) g_viewer.decomp = tjInitDecompress();
  if (!g_viewer.decomp) DebugLine("decomp == NULL!");
}

void DestroyDecompressor() {
  if (g_viewer.decomp && ConversionRunning()) {
    DebugLine("The conversion still runs: its decompressor is kept");
    return;
  }
  if (g_viewer.decomp) {
    tjDestroy(g_viewer.decomp);
    g_viewer.decomp = nullptr;
  }
}
