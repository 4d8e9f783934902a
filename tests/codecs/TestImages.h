#pragma once
// Pictures and JPEG frames for the codec tests, made with TurboJPEG.
#include <cstdint>
#include <string>
#include <vector>

namespace codec_test {

// A top-down BGR picture (3 bytes a pixel, no row padding) with smooth gradients,
// edges and flat areas, like a page under a camera. `seed` varies it.
std::vector<uint8_t> MakePicture(int width, int height, int seed);

// Encodes a top-down BGR picture as baseline JPEG (standard Huffman tables).
std::string EncodeJpeg(const std::vector<uint8_t>& bgr, int width, int height, int subsamp,
                       int quality);
std::string MakeJpeg(int width, int height, int seed);

// The same JPEG without its DHT segments, as many cameras send their frames.
std::string StripHuffmanTables(const std::string& jpeg);
bool HasMarker(const std::string& jpeg, uint8_t marker);

// TurboJPEG's own decode into a DIB-like buffer: `bytesPerPixel` 3 (BGR) or 4
// (BGRX), rows `stride` bytes apart, bottom-up or top-down. Empty on failure.
std::vector<uint8_t> ReferenceDecode(const std::string& jpeg, int width, int height,
                                     int bytesPerPixel, bool bottomUp, int stride);

// Row stride of an uncompressed DIB.
inline int DibStride(int width, int bitCount) { return ((width * bitCount + 31) / 32) * 4; }

}  // namespace codec_test
