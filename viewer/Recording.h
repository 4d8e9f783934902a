#pragma once
// Starting and stopping recordings from the viewer's keys, and the viewer's side
// of the conversion thread's life. Everything here runs on the viewer's main
// thread and works on g_viewer.
#include <windows.h>

// The program's WAVE resources.
constexpr int kSoundRecordingStarts = 101;
constexpr int kSoundRecordingStops = 102;

// The recording key (Ctrl+Win+O): starts a recording, or stops the running one
// and starts its conversion. Ignored while the previous conversion still runs.
// A recording is refused (sound 102) when the JPEG decompressor or the frame
// buffers are missing, when the recording's paths do not fit, or when the disk
// of the picture folder has less than 64 MB free.
void HandleRecordingKey();

// The end key (Ctrl+Win+E): stops a running recording first (as the recording
// key), then posts the quit message unless a conversion still runs, in which
// case it plays sound 102 and the program goes on.
void HandleEndKey();

// True while the conversion thread of the last recording runs.
bool ConversionRunning();

// Start of a pass: the handle of a finished conversion is closed and cleared; a
// running one is kept, so that its buffers stay and no new recording starts
// before it has ended.
void ForgetFinishedConversion();

// End of a pass (quit or restart): a recording still running is stopped and its
// conversion started, so that what was recorded becomes a video. The new filter
// of a restart would not be in step with it anyway.
void StopRecordingAtEndOfPass();

// Program end: waits (bounded) for a running conversion, so that its video is
// completed and moved rather than cut off by the end of the process.
void WaitForConversionAtProgramEnd();

// Every way out of the process: waits at most kConversionEndWaitMs (logged) for
// a running conversion or recovery. True when none runs any more.
constexpr DWORD kConversionEndWaitMs = 120000;
bool WaitForConversionsBounded();

// Frame files that a killed or crashed program left in the temporary folder
// (no conversion works on them): the folder goes next to the pictures as
// "video_<stamp>_frames", named after its recording's time stamp (from the
// temporary video's name, else the oldest frame file's time), and is converted
// there in the background into "video_<stamp>.avi"; a partial temporary video
// is replaced by the recovered one. Frames that cannot be converted stay in
// that folder. Called at start and before a recording clears the folder.
void RecoverLeftFrames();

// Stops any sound and plays a WAVE resource of the program, asynchronously.
void PlayRecordingSound(int resourceId);
// Replaces the sound output (tests); returns the previous one. Null restores
// the program's own.
using RecordingSoundPlayer = void (*)(int resourceId);
RecordingSoundPlayer SetRecordingSoundPlayer(RecordingSoundPlayer player);

// Frame buffers and the JPEG decompressor of the conversion thread. Made at the start of
// a pass; freeing them leaves them to a conversion that still runs.
void AllocateFrameBuffers();
void FreeFrameBuffers();
void CreateDecompressor();
void DestroyDecompressor();
