#pragma once
// The JPEG side of a picture: where a camera sample's Huffman tables are, and
// the standard tables that go into a sample without them. Plain code without
// Windows headers: it reads the camera's bytes.
#include <cstddef>
#include <cstdint>

namespace orba_filter {

enum class HuffmanTables {
  kPresent,  // a DHT segment comes before the first scan
  kMissing,  // the first scan comes without one: motion-JPEG's implicit tables
  kNotJpeg,  // not a JPEG stream this code can walk; left alone
};

// Walks the marker segments from SOI up to the first SOS. For kMissing,
// scanOffset receives the offset of that SOS marker.
HuffmanTables FindHuffmanTables(const uint8_t* data, size_t size, size_t* scanOffset);

// The DHT segment (marker included) with the four tables of the JPEG standard,
// Annex K.3: DC and AC for luminance (id 0) and chrominance (id 1).
const uint8_t* StandardHuffmanSegment(size_t* size);

// A picture file is written as up to three pieces, one after the other.
struct PicturePiece {
  const uint8_t* data;
  size_t size;
};
constexpr size_t kMaxPicturePieces = 3;

// The pieces of the picture file of a sample: the sample as it is or, when it
// has no Huffman tables, the sample up to its scan, the standard tables and the
// rest of the sample. Returns how many pieces there are.
size_t PicturePieces(const uint8_t* data, size_t size, PicturePiece (&pieces)[kMaxPicturePieces]);

}  // namespace orba_filter
