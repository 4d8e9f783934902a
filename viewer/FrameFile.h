#pragma once
// What a frame file of a recording is called and how its JPEG becomes a video
// frame. Plain code without Windows headers: it reads bytes that come from the
// camera and names that come from a folder.
#include <cstddef>

// Recordings are 1280 x 720, 24-bit, bottom-up BGR.
constexpr int kVideoWidth = 1280;
constexpr int kVideoHeight = 720;
constexpr int kVideoBitsPerPixel = 24;
constexpr int kVideoPitch = kVideoWidth * 3;
constexpr size_t kVideoFrameBytes = static_cast<size_t>(kVideoPitch) * kVideoHeight;

// A frame picture may be at most this many times the video frame's width or
// height; anything larger is refused before it is decoded.
constexpr int kMaxFrameScale = 4;
// A frame JPEG with more scans than this is refused before it is decoded: every
// scan of a progressive picture costs another pass over all of it.
constexpr int kMaxFrameScans = 100;

enum class FrameDecode {
  kDecoded,
  kDecodedWithWarning,  // the decoder completed the picture but reported damage
  kFailed,              // nothing usable; the bitmap must not be used
};

// Decodes one JPEG into a 1280 x 720 bottom-up BGR bitmap with an explicit
// pitch. A picture of another size is scaled by the decoder to the largest size
// that fits, centred, with black around it. A picture beyond the limits above
// fails without being decoded.
FrameDecode DecodeFrameToBitmap(void* decompressor, const unsigned char* jpeg, size_t size,
                                unsigned char* bitmap);

// The scans (SOS segments) of a JPEG stream, found by walking its marker
// segments and the entropy-coded data between them up to EOI or the end of the
// data; counting stops once it passes limit. -1 when the data does not start
// with SOI.
int CountJpegScans(const unsigned char* data, size_t size, int limit);

// "frame_<n>.jpg" exactly as the filter names them: decimal, no leading zeros,
// n at most INT_MAX; prefix and extension in any case.
bool ParseFrameFileName(const char* name, long* number);
