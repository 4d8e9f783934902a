#include "ConvertFrames.h"

#include <objbase.h>
#include <shellapi.h>

#include <algorithm>
#include <cstring>
#include <new>
#include <vector>

#include "AviWriter.h"
#include "ViewerState.h"
#include "orba/Log.h"
#include "orba/Scoped.h"
#include "orba/Text.h"

namespace {

// A sample that the filter was storing when the recording stopped has landed
// this long after the stop; the folder is looked at again once it has passed.
constexpr DWORD kSettleMs = 250;
// How long a frame file that is still open for writing is waited for.
constexpr DWORD kBusyFileWaitMs = 2000;
constexpr int kMaxNameSuffix = 9999;

bool PathExists(const char* path) { return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES; }

enum class FrameRead { kRead, kMissing, kTooLarge, kShortRead, kUnreadable };

// Reads a whole frame file. The file is opened sharing only reading, which fails
// while the filter still holds it open for writing: a frame is never taken
// half-written.
FrameRead ReadFrameFile(const char* path, unsigned char* buffer, size_t capacity, DWORD* size,
                        long long* fileSize) {
  *size = 0;
  *fileSize = 0;
  const ULONGLONG deadline = GetTickCount64() + kBusyFileWaitMs;
  HANDLE h = INVALID_HANDLE_VALUE;
  for (;;) {
    h = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                    FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (h != INVALID_HANDLE_VALUE) break;
    const DWORD error = GetLastError();
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return FrameRead::kMissing;
    if (error != ERROR_SHARING_VIOLATION || GetTickCount64() >= deadline) {
      DebugLine("Unable to open %s (error %lu)", path, error);
      return FrameRead::kUnreadable;
    }
    Sleep(10);
  }
  orba::ScopedHandle file(h);
  LARGE_INTEGER length = {};
  if (!GetFileSizeEx(file.Get(), &length)) return FrameRead::kUnreadable;
  *fileSize = length.QuadPart;
  if (length.QuadPart > static_cast<long long>(capacity)) return FrameRead::kTooLarge;

  const DWORD wanted = static_cast<DWORD>(length.QuadPart);
  DWORD total = 0;
  while (total < wanted) {
    DWORD got = 0;
    if (!ReadFile(file.Get(), buffer + total, wanted - total, &got, nullptr) || got == 0) break;
    total += got;
  }
  *size = total;
  return total == wanted ? FrameRead::kRead : FrameRead::kShortRead;
}

bool IsAviPath(const char* path) {
  const size_t n = std::strlen(path);
  return n >= 4 && _stricmp(path + n - 4, ".avi") == 0;
}

// path without a trailing ".avi".
bool StemOf(const char* path, char* stem, size_t cap) {
  if (!orba::CopyBounded(stem, cap, path)) return false;
  if (IsAviPath(stem)) stem[std::strlen(stem) - 4] = '\0';
  return true;
}

// Whether path lies inside folder.
bool IsInside(const char* path, const char* folder) {
  const size_t n = std::strlen(folder);
  return n > 0 && _strnicmp(path, folder, n) == 0 && (path[n] == '\\' || path[n] == '/');
}

void WaitUntilSettled(ULONGLONG startTick) {
  const ULONGLONG elapsed = GetTickCount64() - startTick;
  if (elapsed < kSettleMs) Sleep(static_cast<DWORD>(kSettleMs - elapsed));
}

// Keeps frame files (and a video that could not be moved) where the next
// recording will not delete them: the folder goes next to the final video.
void KeepFolder(const char* folder, const char* finalPath) {
  char stem[kVideoPathBytes];
  char kept[kVideoPathBytes];
  if (StemOf(finalPath, stem, sizeof stem) &&
      orba::FormatBounded(kept, sizeof kept, "%s_frames", stem) && _stricmp(folder, kept) == 0) {
    // A recovered recording is converted where it was kept.
    DebugLine("Unconverted frame files kept in %s", kept);
    return;
  }
  if (StemOf(finalPath, stem, sizeof stem) &&
      orba::FormatBounded(kept, sizeof kept, "%s_frames", stem) &&
      MoveToFreeName(folder, kept, "", kept, sizeof kept)) {
    DebugLine("Unconverted frame files kept in %s", kept);
    return;
  }
  DebugLine("Unable to move %s away (error %lu); its files are left there", folder, GetLastError());
}

unsigned long long g_videoPartLimit = kVideoPartLimitBytes;

bool FramePath(const char* folder, long n, char* path, size_t cap) {
  return orba::FormatBounded(path, cap, "%s\\frame_%ld.jpg", folder, n);
}

// The numbers of the files "frame_<n>.jpg" in a folder that are above
// `after`, ascending. False when the folder cannot be searched.
bool ListFrameNumbers(const char* folder, long after, std::vector<long>* numbers) {
  char pattern[kVideoPathBytes + 16];
  if (!folder || !orba::FormatBounded(pattern, sizeof pattern, "%s\\frame_*.jpg", folder)) {
    return false;
  }
  WIN32_FIND_DATAA found = {};
  const orba::ScopedFind search(FindFirstFileA(pattern, &found));
  if (!search) return GetLastError() == ERROR_FILE_NOT_FOUND;
  do {
    long number = 0;
    if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
        ParseFrameFileName(found.cFileName, &number) && number > after) {
      numbers->push_back(number);
    }
  } while (FindNextFileA(search.Get(), &found));
  std::sort(numbers->begin(), numbers->end());
  return true;
}

// One AVI file of a recording and the frames in it; a recording longer than
// the part limit goes on in "<video>_2.avi", "<video>_3.avi", ...
struct VideoPart {
  AviWriter* writer = nullptr;
  int number = 1;
  std::vector<long> frames;
};

bool PartIsFull(const VideoPart& part) {
  WIN32_FILE_ATTRIBUTE_DATA data = {};
  if (!GetFileAttributesExA(part.writer->GetFileName(), GetFileExInfoStandard, &data)) {
    return false;
  }
  const unsigned long long size =
      (static_cast<unsigned long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
  return size >= g_videoPartLimit;
}

void DeleteFrames(const char* folder, const std::vector<long>& frames) {
  for (const long n : frames) {
    char path[kVideoPathBytes + 32];
    if (FramePath(folder, n, path, sizeof path)) DeleteFileA(path);
  }
}

// Closes a part that could not be completed and deletes its file; its frame
// files stay.
void DiscardPart(VideoPart* part) {
  char aviPath[AviWriter::kFileNameBytes];
  orba::CopyBounded(aviPath, sizeof aviPath, part->writer->GetFileName());
  delete part->writer;
  part->writer = nullptr;
  if (aviPath[0] != '\0' && PathExists(aviPath)) DeleteFileA(aviPath);
  DebugLine("Part %d of the video could not be written; its %u frame files are kept", part->number,
            static_cast<unsigned>(part->frames.size()));
  part->frames.clear();
}

// Closes the part's AVI file and moves it to its final name (part k > 1 gets
// "_<k>"); only then are its frame files deleted. False when the video could
// not be moved: it stays in the folder with its frames.
bool FinishPart(VideoPart* part, const char* finalPath, const char* folder) {
  char aviPath[AviWriter::kFileNameBytes];
  orba::CopyBounded(aviPath, sizeof aviPath, part->writer->GetFileName());
  delete part->writer;  // closes the AVI file
  part->writer = nullptr;
  if (part->frames.empty()) {
    // A file without frames is no video.
    if (aviPath[0] != '\0' && PathExists(aviPath)) DeleteFileA(aviPath);
    if (part->number == 1) DebugLine("No frame was converted: no video");
    return true;
  }
  char stem[kVideoPathBytes];
  char partStem[kVideoPathBytes];
  char saved[kVideoPathBytes];
  const bool named = StemOf(finalPath, stem, sizeof stem) &&
                     (part->number == 1 ? orba::CopyBounded(partStem, sizeof partStem, stem)
                                        : orba::FormatBounded(partStem, sizeof partStem, "%s_%d",
                                                              stem, part->number));
  if (!named ||
      !MoveToFreeName(aviPath, partStem, IsAviPath(finalPath) ? ".avi" : "", saved, sizeof saved)) {
    DebugLine("Unable to move %s to %s (error %lu)", aviPath, finalPath, GetLastError());
    return !(PathExists(aviPath) && IsInside(aviPath, folder));
  }
  DebugLine("Video saved as %s", saved);
  DeleteFrames(folder, part->frames);
  part->frames.clear();
  return true;
}

}  // namespace

long HighestFrameNumber(const char* folder) {
  std::vector<long> numbers;
  if (!ListFrameNumbers(folder, -1, &numbers) || numbers.empty()) return -1;
  return numbers.back();
}

bool DeleteFolderTree(const char* folder) {
  // Never a drive or an empty path: the shell would delete whatever it names.
  if (!folder) return false;
  const size_t n = std::strlen(folder);
  if (n < 4 || folder[n - 1] == '\\' || folder[n - 1] == ':') return false;
  char list[kVideoPathBytes + 2];
  if (n + 2 > sizeof list) return false;
  std::memcpy(list, folder, n);
  list[n] = '\0';
  list[n + 1] = '\0';
  SHFILEOPSTRUCTA op = {};
  op.wFunc = FO_DELETE;
  op.pFrom = list;
  op.fFlags = FOF_SILENT | FOF_NOCONFIRMATION | FOF_NOERRORUI;
  return SHFileOperationA(&op) == 0 && !op.fAnyOperationsAborted;
}

bool MoveToFreeName(const char* source, const char* stem, const char* extension, char* chosen,
                    size_t chosenCap) {
  char target[kVideoPathBytes];
  // stem may be chosen itself: keep a copy.
  char base[kVideoPathBytes];
  if (!orba::CopyBounded(base, sizeof base, stem)) return false;
  for (int k = 1; k <= kMaxNameSuffix; ++k) {
    const bool ok = k == 1
                        ? orba::FormatBounded(target, sizeof target, "%s%s", base, extension)
                        : orba::FormatBounded(target, sizeof target, "%s_%d%s", base, k, extension);
    if (!ok) return false;
    if (PathExists(target)) continue;
    if (MoveFileExA(source, target, 0)) return orba::CopyBounded(chosen, chosenCap, target);
    const DWORD error = GetLastError();
    // Taken in the meantime: try the next name; anything else is final.
    if (error != ERROR_ALREADY_EXISTS && error != ERROR_FILE_EXISTS) return false;
  }
  SetLastError(ERROR_ALREADY_EXISTS);
  return false;
}

DWORD WINAPI ConvertFramesToAvi(LPVOID parameter) {
  DebugLine("ConvertFramesToAvi entry!");
  if (!parameter) {
    DebugLine("lpParameter NULL!");
    return 1;
  }
  ConvertParams* params = static_cast<ConvertParams*>(parameter);
  const char* folder = params->frameFolder;
  const char* finalPath = params->finalPath;
  if (!folder || !finalPath || folder[0] == '\0' || finalPath[0] == '\0') {
    DebugLine("ConvertFramesToAvi: no frame folder or no video path");
    return 1;
  }
  const ULONGLONG startTick = GetTickCount64();
  // The AVI file interface is COM: this thread keeps its own apartment, so that
  // the viewer's teardown of its apartment cannot pull it away.
  orba::ComApartment apartment;

  unsigned char* jpeg = params->fileBuffer;
  unsigned char* bitmap = params->pictureBuffer;
  // Set once frames can no longer become video: the rest of the files are kept.
  bool keepFrames = false;
  if (!params->writer) {
    DebugLine("No AVI writer: the frame files are kept");
    keepFrames = true;
  } else if (!params->decompressor || !jpeg || !bitmap) {
    DebugLine("No JPEG decompressor or frame buffers: the frame files are kept");
    keepFrames = true;
  }

  VideoPart part;
  part.writer = params->writer;
  params->writer = nullptr;  // the part owns it now
  part.number = 1;
  char tempStem[AviWriter::kFileNameBytes] = "";
  if (part.writer) StemOf(part.writer->GetFileName(), tempStem, sizeof tempStem);

  // Only the files that are there are visited; a gap in the numbers is a frame
  // the filter could not store.
  std::vector<long> numbers;
  ListFrameNumbers(folder, -1, &numbers);
  size_t next = 0;
  long expected = 0;
  long appended = 0;
  long skipped = 0;
  bool videoLeftInFolder = false;
  while (!keepFrames) {
    if (next == numbers.size()) {
      // Past the last file seen: look again once a sample in flight has landed.
      WaitUntilSettled(startTick);
      numbers.clear();
      next = 0;
      ListFrameNumbers(folder, expected - 1, &numbers);
      if (numbers.empty()) {
        DebugLine("F\xF6re Bmp creation");
        DebugLine("file = NULL!");
        break;
      }
    }
    const long n = numbers[next++];
    if (n > expected) {
      if (n == expected + 1) {
        DebugLine("Frame %ld is missing; going on with frame %ld", expected, n);
      } else {
        DebugLine("Frames %ld to %ld are missing; going on with frame %ld", expected, n - 1, n);
      }
      skipped += n - expected;
    }
    expected = n + 1;

    DebugLine("F\xF6re Bmp creation");
    char path[kVideoPathBytes + 32];
    if (!FramePath(folder, n, path, sizeof path)) break;
    DebugLine("%s", path);

    DWORD size = 0;
    long long fileSize = 0;
    const FrameRead read = ReadFrameFile(path, jpeg, kFrameBufferBytes, &size, &fileSize);
    if (read == FrameRead::kMissing) {
      DebugLine("Frame %ld is missing; going on with frame %ld", n, n + 1);
      ++skipped;
      continue;
    }
    if (read == FrameRead::kTooLarge) {
      DebugLine("Frame file %s has %lld bytes, more than the %lu-byte buffer: skipped", path,
                fileSize, static_cast<unsigned long>(kFrameBufferBytes));
      DeleteFileA(path);
      ++skipped;
      continue;
    }
    if (read == FrameRead::kShortRead || read == FrameRead::kUnreadable) {
      if (read == FrameRead::kShortRead) DebugLine("result != lSize !");
      DebugLine("Frame file %s could not be read: skipped", path);
      ++skipped;
      continue;
    }

    DWORD t0 = GetTickCount();
    const FrameDecode decoded = DecodeFrameToBitmap(params->decompressor, jpeg, size, bitmap);
    DebugLine("Decode time JPEG: %d ms", static_cast<int>(GetTickCount() - t0));
    if (decoded == FrameDecode::kFailed) {
      DebugLine("Frame file %s could not be decoded: skipped", path);
      DeleteFileA(path);
      ++skipped;
      continue;
    }

    t0 = GetTickCount();
    const HRESULT res =
        part.writer->AppendNewFrame(kVideoWidth, kVideoHeight, bitmap, kVideoBitsPerPixel);
    DebugLine("Decode time AppendNewFrame: %d ms  res = %d", static_cast<int>(GetTickCount() - t0),
              static_cast<int>(res));
    if (res != 0) {
      DebugLine("AppendNewFrame failed! error: %d", static_cast<int>(res));
      DebugLine("%s", part.writer->GetLastErrorMessage());
      // The part is incomplete; all of its frames, this one and the ones after
      // it stay on disk.
      DiscardPart(&part);
      keepFrames = true;
      break;
    }
    // The frame file stays until the video that holds it is closed and in its
    // final place: a conversion cut off before then loses nothing.
    part.frames.push_back(n);
    ++appended;

    if (PartIsFull(part)) {
      if (!FinishPart(&part, finalPath, folder)) {
        videoLeftInFolder = true;
        keepFrames = true;
        break;
      }
      ++part.number;
      char name[AviWriter::kFileNameBytes];
      if (!orba::FormatBounded(name, sizeof name, "%s_%d.avi", tempStem, part.number)) {
        DebugLine("No name for part %d of the video: the frame files are kept", part.number);
        keepFrames = true;
        break;
      }
      part.writer = new (std::nothrow)
          AviWriter(name, kRecordingCodec, kRecordingRate, kRecordingScale, kRecordingQuality);
      if (!part.writer) {
        keepFrames = true;
        break;
      }
      DebugLine("The video goes on in part %d: %s", part.number, name);
    }
    Sleep(0);
  }
  DebugLine("%ld frames converted, %ld skipped", appended, skipped);

  if (part.writer) {
    if (!FinishPart(&part, finalPath, folder)) videoLeftInFolder = true;
    DebugLine("Stopped saving video! :)");
  }

  WaitUntilSettled(startTick);
  std::vector<long> left;
  if ((keepFrames && ListFrameNumbers(folder, -1, &left) && !left.empty()) || videoLeftInFolder) {
    KeepFolder(folder, finalPath);
  } else if (PathExists(folder)) {
    DeleteFolderTree(folder);
  }
  DebugLine("ConvertFramesToAvi Exit!");
  return 0;
}

void SetVideoPartLimit(unsigned long long bytes) {
  g_videoPartLimit = bytes ? bytes : kVideoPartLimitBytes;
}
