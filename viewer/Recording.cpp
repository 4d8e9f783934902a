#include "Recording.h"

#include <mmsystem.h>

#include <new>

#include "AviWriter.h"
#include "ConvertFrames.h"
#include "Startup.h"
#include "ViewerState.h"
#include "orba/ImagesDir.h"
#include "orba/Log.h"
#include "orba/Text.h"

namespace {

RecordingSoundPlayer g_soundPlayer = nullptr;

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
         orba::FormatBounded(names->tempVideo, sizeof names->tempVideo,
                             "%s\\temp\\video_%s.avi", names->pictures, stamp);
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

  PlayRecordingSound(kSoundRecordingStarts);
  orba::CopyBounded(g_viewer.videoFinalPath, sizeof g_viewer.videoFinalPath, names.pictures);
  orba::CopyBounded(g_viewer.videoTempFolder, sizeof g_viewer.videoTempFolder, names.tempFolder);
  // Frames of an earlier recording must not be mixed in; the filter creates the
  // folder again with its first frame.
  CreateDirectoryA(g_viewer.videoTempFolder, nullptr);
  DeleteFolderTree(g_viewer.videoTempFolder);

  orba::CopyBounded(g_viewer.videoFinalPath, sizeof g_viewer.videoFinalPath, names.finalPath);
  DebugLine("videoFinalPath: %s", g_viewer.videoFinalPath);
  DebugLine("videoTempPath: %s", names.tempVideo);

  // A writer that was never handed to a conversion is still ours.
  delete g_viewer.aviWriter;
  g_viewer.aviWriter = new (std::nothrow) AviWriter(names.tempVideo, kRecordingCodec,
                                                    kRecordingRate, kRecordingScale,
                                                    kRecordingQuality);
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
  return g_viewer.hConvertThread &&
         WaitForSingleObject(g_viewer.hConvertThread, 0) == WAIT_TIMEOUT;
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
  if (!ConversionRunning()) return;
  DebugLine("Waiting for the conversion of the last recording to end");
  WaitForSingleObject(g_viewer.hConvertThread, INFINITE);
  DebugLine("The conversion has ended");
  // The teardown kept these for the conversion.
  FreeFrameBuffers();
  DestroyDecompressor();
}
