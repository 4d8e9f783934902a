// The filter's JPEG marker walk and the insertion of the standard Huffman tables
// into a picture: the pieces put together are the sample itself or the sample
// with the tables before its first scan, and a sample that the host's TurboJPEG
// decodes cleanly decodes to the same pixels after the insertion.
#include <turbojpeg.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "PictureJpeg.h"

using namespace orba_filter;

namespace {

#define CHECK(c)            \
  do {                      \
    if (!(c)) std::abort(); \
  } while (0)

// Decodes at 1/8 (the entropy decoding still reads every coefficient); false
// unless the decode is free of errors and warnings.
bool Decode(const std::vector<uint8_t>& jpeg, std::vector<uint8_t>* pixels) {
  // A decompressor of its own each time: TurboJPEG 2.1 leaves one whose header
  // read failed in the middle of that header.
  std::unique_ptr<void, decltype(&tjDestroy)> handle(tjInitDecompress(), tjDestroy);
  tjhandle tj = handle.get();
  CHECK(tj);
  int w = 0, h = 0, sub = 0, cs = 0;
  const unsigned long size = static_cast<unsigned long>(jpeg.size());
  if (tjDecompressHeader3(tj, jpeg.data(), size, &w, &h, &sub, &cs) != 0) return false;
  const tjscalingfactor eighth = {1, 8};
  const int sw = TJSCALED(w, eighth), sh = TJSCALED(h, eighth);
  // Larger pictures cost too much time per input; their walk is still checked.
  if (sw <= 0 || sh <= 0 || static_cast<long long>(sw) * sh > 400 * 400) return false;
  pixels->assign(static_cast<size_t>(sw) * sh * 3, 0);
  return tjDecompress2(tj, jpeg.data(), size, pixels->data(), sw, sw * 3, sh, TJPF_RGB,
                       TJFLAG_STOPONWARNING) == 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  size_t scan = 0;
  const HuffmanTables found = FindHuffmanTables(data, size, &scan);
  PicturePiece pieces[kMaxPicturePieces];
  const size_t count = PicturePieces(data, size, pieces);
  CHECK(count >= 1 && count <= kMaxPicturePieces);
  std::vector<uint8_t> picture;
  for (size_t i = 0; i < count; ++i) {
    if (pieces[i].size)
      picture.insert(picture.end(), pieces[i].data, pieces[i].data + pieces[i].size);
  }
  const std::vector<uint8_t> sample(data, data + size);
  if (found != HuffmanTables::kMissing) {
    CHECK(count == 1 && picture == sample);
    return 0;
  }

  size_t dhtSize = 0;
  const uint8_t* dht = StandardHuffmanSegment(&dhtSize);
  CHECK(count == 3);
  CHECK(scan >= 2 && scan + 1 < size && data[scan] == 0xFF && data[scan + 1] == 0xDA);
  CHECK(picture.size() == size + dhtSize);
  CHECK(std::memcmp(picture.data(), data, scan) == 0);
  CHECK(std::memcmp(picture.data() + scan, dht, dhtSize) == 0);
  CHECK(std::memcmp(picture.data() + scan + dhtSize, data + scan, size - scan) == 0);
  size_t scanAfter = 0;
  CHECK(FindHuffmanTables(picture.data(), picture.size(), &scanAfter) == HuffmanTables::kPresent);

  // The decoder falls back on the same standard tables when a sample has none.
  std::vector<uint8_t> before, after;
  if (Decode(sample, &before)) {
    CHECK(Decode(picture, &after));
    CHECK(before == after);
  }
  return 0;
}
