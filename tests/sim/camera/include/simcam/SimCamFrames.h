#pragma once
// The simulated camera's pictures: a readable page with a large frame counter,
// rendered with GDI and encoded as JPEG. The same frame number always gives the
// same bytes, so a stored sample can be compared with a regenerated one.
#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <vector>

namespace simcam {

struct FrameOptions {
  // Leaves out the Huffman tables (DHT segments), as some cameras do; decoders
  // then use the standard tables.
  bool omitHuffmanTables = false;
};

class FrameGenerator {
 public:
  FrameGenerator();
  ~FrameGenerator();
  FrameGenerator(const FrameGenerator&) = delete;
  FrameGenerator& operator=(const FrameGenerator&) = delete;

  // False when GDI or the encoder is not available.
  bool Ok() const { return ok_; }
  // The JPEG of frame n (1280 x 720, with "ORBA-SIMCAM frame=<n>" in a COM segment).
  bool Generate(uint32_t frameNumber, const FrameOptions& options, std::vector<uint8_t>* jpeg);

 private:
  void Render(uint32_t frameNumber);

  bool ok_ = false;
  HDC dc_ = nullptr;
  HBITMAP dib_ = nullptr;
  HGDIOBJ oldBitmap_ = nullptr;
  void* bits_ = nullptr;
  HFONT textFont_ = nullptr;
  HFONT counterFont_ = nullptr;
  void* encoder_ = nullptr;
};

// The frame number of the COM segment; false when there is none.
bool ReadFrameNumber(const uint8_t* data, size_t size, uint32_t* frameNumber);
// Whether a marker segment (for example 0xC4, DHT) occurs before the scan data.
bool HasSegment(const uint8_t* data, size_t size, uint8_t marker);

}  // namespace simcam
