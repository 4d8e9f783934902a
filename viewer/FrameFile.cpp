#include "FrameFile.h"

#include <turbojpeg.h>

#include <cctype>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "orba/Log.h"

namespace {

constexpr int kTjFlags = TJFLAG_BOTTOMUP | TJFLAG_FASTDCT;

// JPEG markers.
constexpr unsigned char kSOI = 0xD8;
constexpr unsigned char kEOI = 0xD9;
constexpr unsigned char kSOS = 0xDA;
constexpr unsigned char kTEM = 0x01;

// The largest decoder scaling factor at which a width x height picture fits
// into the video frame; false when even the smallest is too large.
bool FitScaling(int width, int height, tjscalingfactor* chosen) {
  int count = 0;
  const tjscalingfactor* factors = tjGetScalingFactors(&count);
  if (!factors) return false;
  bool found = false;
  for (int i = 0; i < count; ++i) {
    const tjscalingfactor& f = factors[i];
    if (TJSCALED(width, f) > kVideoWidth || TJSCALED(height, f) > kVideoHeight) continue;
    // Compare f with the best so far as fractions: num/denom.
    if (!found || static_cast<long long>(f.num) * chosen->denom >
                      static_cast<long long>(chosen->num) * f.denom) {
      *chosen = f;
      found = true;
    }
  }
  return found;
}

// Reads the picture's size with a decompressor of its own: TurboJPEG 2.1 leaves
// a decompressor whose header read failed in the middle of that header, and it
// reads the next picture given to it on from there, so that one frame cut off
// in its header would spoil every later frame decoded with it.
bool ReadFrameSize(const unsigned char* jpeg, unsigned long size, int* width, int* height) {
  std::unique_ptr<void, decltype(&tjDestroy)> tj(tjInitDecompress(), tjDestroy);
  if (!tj) {
    DebugLine("JPEG header not readable: no decompressor");
    return false;
  }
  int subsampling = 0, colorspace = 0;
  if (tjDecompressHeader3(tj.get(), jpeg, size, width, height, &subsampling, &colorspace) != 0) {
    DebugLine("JPEG header not readable: %s", tjGetErrorStr2(tj.get()));
    return false;
  }
  return true;
}

}  // namespace

int CountJpegScans(const unsigned char* data, size_t size, int limit) {
  if (!data || size < 2 || data[0] != 0xFF || data[1] != kSOI) return -1;
  int scans = 0;
  size_t pos = 2;
  // Bytes that are no marker (entropy-coded data, or garbage that the decoder
  // skips with a warning) are passed over; so are stuffed zeros and the
  // standalone markers.
  while (pos < size) {
    if (data[pos] != 0xFF) {
      ++pos;
      continue;
    }
    size_t at = pos + 1;
    while (at < size && data[at] == 0xFF) ++at;
    if (at >= size) break;
    const unsigned char marker = data[at++];
    if (marker == kEOI) break;
    if (marker == 0x00 || marker == kSOI || marker == kTEM || (marker >= 0xD0 && marker <= 0xD7)) {
      pos = at;
      continue;
    }
    if (size - at < 2) break;
    const size_t length = (static_cast<size_t>(data[at]) << 8) | data[at + 1];
    if (length < 2 || length > size - at) break;
    if (marker == kSOS && ++scans > limit) break;
    pos = at + length;
  }
  return scans;
}

FrameDecode DecodeFrameToBitmap(void* decompressor, const unsigned char* jpeg, size_t size,
                                unsigned char* bitmap) {
  tjhandle tj = static_cast<tjhandle>(decompressor);
  if (!tj || !jpeg || !bitmap || size == 0 || size > ULONG_MAX) return FrameDecode::kFailed;
  const unsigned long jpegSize = static_cast<unsigned long>(size);

  int width = 0, height = 0;
  if (!ReadFrameSize(jpeg, jpegSize, &width, &height)) return FrameDecode::kFailed;
  if (width > kMaxFrameScale * kVideoWidth || height > kMaxFrameScale * kVideoHeight) {
    DebugLine("A %d x %d frame is more than %d times the video frame: refused", width, height,
              kMaxFrameScale);
    return FrameDecode::kFailed;
  }
  const int scans = CountJpegScans(jpeg, size, kMaxFrameScans);
  if (scans > kMaxFrameScans) {
    DebugLine("A frame with more than %d scans: refused", kMaxFrameScans);
    return FrameDecode::kFailed;
  }

  unsigned char* target = bitmap;
  int targetWidth = kVideoWidth;
  int targetHeight = kVideoHeight;
  if (width != kVideoWidth || height != kVideoHeight) {
    tjscalingfactor factor = {1, 1};
    if (!FitScaling(width, height, &factor)) {
      DebugLine("A %d x %d frame cannot be scaled into %d x %d", width, height, kVideoWidth,
                kVideoHeight);
      return FrameDecode::kFailed;
    }
    targetWidth = TJSCALED(width, factor);
    targetHeight = TJSCALED(height, factor);
    // Centred; the rows are bottom-up, so the picture's top row lies
    // (720 - top) rows above the bitmap's first row.
    const int left = (kVideoWidth - targetWidth) / 2;
    const int top = (kVideoHeight - targetHeight) / 2;
    const int firstRow = kVideoHeight - top - targetHeight;
    std::memset(bitmap, 0, kVideoFrameBytes);
    target = bitmap + static_cast<size_t>(firstRow) * kVideoPitch + static_cast<size_t>(left) * 3;
    DebugLine("A %d x %d frame is scaled by %d/%d to %d x %d", width, height, factor.num,
              factor.denom, targetWidth, targetHeight);
  }

  if (tjDecompress2(tj, jpeg, jpegSize, target, targetWidth, kVideoPitch, targetHeight, TJPF_BGR,
                    kTjFlags) == 0) {
    return FrameDecode::kDecoded;
  }
  // A warning leaves a complete picture (damaged parts are filled in by the
  // decoder); an error may stop anywhere.
  if (tjGetErrorCode(tj) == TJERR_WARNING) {
    DebugLine("JPEG decoded with a warning: %s", tjGetErrorStr2(tj));
    return FrameDecode::kDecodedWithWarning;
  }
  DebugLine("JPEG not decodable: %s", tjGetErrorStr2(tj));
  return FrameDecode::kFailed;
}

bool ParseFrameFileName(const char* name, long* number) {
  static const char kPrefix[] = "frame_";
  if (_strnicmp(name, kPrefix, sizeof kPrefix - 1) != 0) return false;
  const char* digits = name + sizeof kPrefix - 1;
  const char* p = digits;
  while (std::isdigit(static_cast<unsigned char>(*p))) ++p;
  const size_t count = static_cast<size_t>(p - digits);
  if (count == 0 || count > 10 || (count > 1 && digits[0] == '0')) return false;
  if (_stricmp(p, ".jpg") != 0) return false;
  const long long value = std::strtoll(digits, nullptr, 10);
  if (value > INT_MAX) return false;
  *number = static_cast<long>(value);
  return true;
}
