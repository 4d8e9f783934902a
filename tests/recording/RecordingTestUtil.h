#pragma once
// Helpers of the recording tests: frame files written the way the filter writes
// them, reference decodes, AVI frames read back through the codec, and a
// conversion job with its own buffers.
#include <windows.h>

#include <turbojpeg.h>

#include <cstdint>
#include <string>
#include <vector>

#include "ViewerState.h"

namespace rec_test {

using Bytes = std::vector<uint8_t>;

// The simulated camera's JPEG of frame n (1280 x 720).
Bytes CameraFrame(uint32_t n);
// A JPEG of another size: a colour pattern with a bright frame at its border.
// flags are TurboJPEG's (TJFLAG_PROGRESSIVE for a progressive one).
Bytes PatternJpeg(int width, int height, int flags = 0);

// Writes "<folder>\frame_<n>.jpg" as the filter does: the folder is created
// when needed, the file opened "wb", written in one call and closed.
bool WriteFrameFile(const std::string& folder, long n, const Bytes& jpeg);
std::string FramePath(const std::string& folder, long n);

// The 1280 x 720 bottom-up BGR decode of a 1280 x 720 JPEG, as the conversion
// decodes it.
Bytes ReferenceDecode(const Bytes& jpeg);
// A decode at any size (bottom-up BGR, packed rows).
Bytes DecodeAt(const Bytes& jpeg, int width, int height);

// The frames of an AVI file decompressed back to 1280 x 720 x 24 through the
// installed codec. False (with a reason) when the file cannot be read.
bool ReadAviFrames(const std::string& path, std::vector<Bytes>* frames, std::string* error);

// Counts the bytes that differ; 0 for equal buffers of equal size.
size_t DifferingBytes(const Bytes& a, const Bytes& b);

// What ConvertFramesToAvi needs, owned by the test: a decompressor, the two
// 10 MiB buffers, the two paths and the parameter block.
class ConvertJob {
 public:
  // folder: the frame folder; finalPath: where the video goes. The writer
  // writes "<folder>\video.avi" unless withWriter is false.
  ConvertJob(const std::string& folder, const std::string& finalPath, bool withWriter = true);
  ~ConvertJob();
  ConvertJob(const ConvertJob&) = delete;
  ConvertJob& operator=(const ConvertJob&) = delete;

  ConvertParams& params() { return params_; }
  std::string tempVideo() const { return folder_ + "\\video.avi"; }
  // Starts the thread; Wait() returns its exit code (or ~0u on timeout).
  bool Start();
  DWORD Wait(DWORD timeoutMs = 60000);
  // Start() and Wait().
  DWORD Run();

 private:
  std::string folder_;
  std::string finalPath_;
  char folderText_[kVideoPathBytes] = {};
  char finalText_[kVideoPathBytes] = {};
  tjhandle tj_ = nullptr;
  Bytes jpegBuffer_;
  Bytes rgbBuffer_;
  ConvertParams params_ = {};
  HANDLE thread_ = nullptr;
};

}  // namespace rec_test
