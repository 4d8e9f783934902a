#pragma once
// The conversion of a finished recording: the frame files that the filter wrote
// into the temporary folder are decoded and appended to the AVI file, which then
// goes next to the pictures. Runs on a thread of its own.
#include <windows.h>

#include <cstddef>

#include "FrameFile.h"

// Thread procedure; the parameter is a ConvertParams block (ViewerState.h) whose
// buffers are kFrameBufferBytes each. Exit code 0 when the recording was
// handled, 1 for a null or incomplete block.
//
// Frame files are taken in number order; a missing number is skipped. A file
// that is too large for the JPEG buffer or does not decode is logged, deleted
// and left out. Frame files are deleted only once the video that holds them is
// closed and in its final place, so that a conversion cut off at any point
// leaves every frame that is not yet in a finished video. A video that reaches
// the part limit is finished and the recording goes on in "<video>_2.avi",
// "<video>_3.avi", ... When frames cannot become video (no writer, no decoder,
// or the writer failed) the remaining frame files are kept: the folder is moved
// next to the pictures as "<video name>_frames". A finished video whose name
// is taken goes to the next free name ("_2", "_3", ...).
DWORD WINAPI ConvertFramesToAvi(LPVOID parameter);

// AVIFile writes AVI 1.0 files, which break past 1 to 2 GB: a video part is
// closed once its file has reached this size.
constexpr unsigned long long kVideoPartLimitBytes = 1000ull * 1000 * 1000;
// Lowers the part limit (tests); 0 restores kVideoPartLimitBytes.
void SetVideoPartLimit(unsigned long long bytes);

// The highest n of the files "frame_<n>.jpg" in a folder, or -1 when there is none.
long HighestFrameNumber(const char* folder);

// Deletes a folder and everything in it through the shell: silently, without
// confirmation and without the recycle bin. False when nothing was deleted.
bool DeleteFolderTree(const char* folder);

// Moves a file or folder to stem + extension, or, when that name is taken, to
// the first free stem + "_<k>" + extension (k = 2, 3, ...). The name used goes to
// chosen. False when the move could not be made.
bool MoveToFreeName(const char* source, const char* stem, const char* extension, char* chosen,
                    size_t chosenCap);
