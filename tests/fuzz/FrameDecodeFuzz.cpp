// The conversion's decode of a frame file into the 1280 x 720 bitmap, with the
// host's TurboJPEG: the bitmap is allocated to its exact size, so that a write
// outside it from our own code is a finding for ASan; the library's writes are
// not instrumented, so guard bytes on both sides must also stay as they were.
// The limits hold for whatever comes in, and the decompressor, which the viewer
// keeps for all its recordings, still decodes a good frame after any input.
#include <turbojpeg.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "FrameFile.h"

#define CHECK(c)            \
  do {                      \
    if (!(c)) std::abort(); \
  } while (0)

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  constexpr size_t kGuard = 64 * 1024;
  constexpr unsigned char kGuardByte = 0xA5;
  static tjhandle tj = tjInitDecompress();
  static unsigned char* const block = [] {
    unsigned char* b = new unsigned char[kVideoFrameBytes + 2 * kGuard];
    std::memset(b, kGuardByte, kVideoFrameBytes + 2 * kGuard);
    return b;
  }();
  unsigned char* const bitmap = block + kGuard;
  const int scans = CountJpegScans(data, size, kMaxFrameScans);
  CHECK(scans >= -1 && scans <= kMaxFrameScans + 1);
  const FrameDecode result = DecodeFrameToBitmap(tj, data, size, bitmap);
  static unsigned char* const pattern = [] {
    unsigned char* p = new unsigned char[kGuard];
    std::memset(p, kGuardByte, kGuard);
    return p;
  }();
  CHECK(std::memcmp(block, pattern, kGuard) == 0);
  CHECK(std::memcmp(bitmap + kVideoFrameBytes, pattern, kGuard) == 0);
  static const std::vector<unsigned char> good = [] {
    std::vector<unsigned char> pixels(64 * 48 * 3, 0x80);
    tjhandle enc = tjInitCompress();
    unsigned char* out = nullptr;
    unsigned long outSize = 0;
    std::vector<unsigned char> jpeg;
    if (tjCompress2(enc, pixels.data(), 64, 64 * 3, 48, TJPF_RGB, &out, &outSize, TJSAMP_422, 85,
                    0) == 0)
      jpeg.assign(out, out + outSize);
    tjFree(out);
    tjDestroy(enc);
    return jpeg;
  }();
  CHECK(!good.empty());
  CHECK(DecodeFrameToBitmap(tj, good.data(), good.size(), bitmap) == FrameDecode::kDecoded);
  if (result != FrameDecode::kFailed) {
    // Only pictures within the limits are decoded.
    int w = 0, h = 0, sub = 0, cs = 0;
    CHECK(tjDecompressHeader3(tj, data, static_cast<unsigned long>(size), &w, &h, &sub, &cs) == 0);
    CHECK(w <= kMaxFrameScale * kVideoWidth && h <= kMaxFrameScale * kVideoHeight);
    CHECK(scans >= 0 && scans <= kMaxFrameScans);
  }
  return 0;
}
