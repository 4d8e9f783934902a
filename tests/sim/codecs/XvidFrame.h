#pragma once
// The compressed frame format of the XVID stand-in codec. Every frame is a key
// frame and stands alone:
//
//   offset  size  field
//   0       4     magic "SXV1"
//   4       2     header size in bytes (16), little-endian
//   6       1     coding: 0 = raw pixels, 1 = run-length coded pixels
//   7       1     bytes per pixel (3: blue, green, red)
//   8       4     width in pixels, little-endian
//   12      4     height in pixels, little-endian
//   16      ...   payload
//
// Pixels are stored in the row order of a bottom-up DIB (the bottom row first),
// without row padding. Raw payload: width x height x 3 bytes. Run-length
// payload: packets of one control byte c followed by pixels;
//   c < 0x80: c + 1 literal pixels follow (3 bytes each);
//   c >= 0x80: one pixel follows, to be repeated (c - 0x80) + 2 times.
// Runs may continue from one row into the next. The payload must end exactly
// after the last pixel of the picture.
#include <cstddef>
#include <cstdint>

namespace sxv {

constexpr uint8_t kMagic[4] = {'S', 'X', 'V', '1'};
constexpr size_t kHeaderSize = 16;
constexpr uint8_t kCodingRaw = 0;
constexpr uint8_t kCodingRle = 1;
constexpr size_t kMaxLiteral = 128;  // pixels in one literal packet
constexpr size_t kMaxRepeat = 129;   // pixels in one repeat packet

// Largest frame the encoder writes for a picture of `pixels` pixels: the raw
// form, which it falls back to when run-length coding would be larger.
constexpr uint64_t MaxFrameSize(uint64_t pixels) { return kHeaderSize + pixels * 3; }

}  // namespace sxv
