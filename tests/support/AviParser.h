#pragma once
// Reads a RIFF AVI file into its headers, stream formats, data chunks and index,
// so tests can check what a writer produced. Every read is bounds-checked: a
// truncated or malformed file is refused with a reason, never read past its end.
//
// What it does not depend on: the main header's microseconds per frame (some
// writers get it wrong) and whether video chunks are tagged "db" or "dc" (both
// count as video data).
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace orba_test {

constexpr uint32_t MakeFourCC(char a, char b, char c, char d) {
  return static_cast<uint32_t>(static_cast<uint8_t>(a)) |
         (static_cast<uint32_t>(static_cast<uint8_t>(b)) << 8) |
         (static_cast<uint32_t>(static_cast<uint8_t>(c)) << 16) |
         (static_cast<uint32_t>(static_cast<uint8_t>(d)) << 24);
}
// The four characters of a FourCC ("XVID"); unprintable bytes become '?'.
std::string FourCCText(uint32_t fourcc);

// 'avih'
struct AviMainHeader {
  uint32_t microSecPerFrame = 0;
  uint32_t maxBytesPerSec = 0;
  uint32_t paddingGranularity = 0;
  uint32_t flags = 0;
  uint32_t totalFrames = 0;
  uint32_t initialFrames = 0;
  uint32_t streams = 0;
  uint32_t suggestedBufferSize = 0;
  uint32_t width = 0;
  uint32_t height = 0;
};

struct AviFrameRect {
  int16_t left = 0, top = 0, right = 0, bottom = 0;
};

// 'strh'
struct AviStreamHeader {
  uint32_t fccType = 0;     // 'vids', 'auds', ...
  uint32_t fccHandler = 0;  // codec FourCC
  uint32_t flags = 0;
  uint16_t priority = 0;
  uint16_t language = 0;
  uint32_t initialFrames = 0;
  uint32_t scale = 0;
  uint32_t rate = 0;  // rate / scale = samples per second
  uint32_t start = 0;
  uint32_t length = 0;  // in samples (frames for video)
  uint32_t suggestedBufferSize = 0;
  uint32_t quality = 0;
  uint32_t sampleSize = 0;
  bool hasFrameRect = false;  // older headers end before rcFrame
  AviFrameRect rcFrame;
};

// The BITMAPINFOHEADER at the start of a video stream's 'strf'.
struct AviBitmapInfo {
  uint32_t size = 0;
  int32_t width = 0;
  int32_t height = 0;
  uint16_t planes = 0;
  uint16_t bitCount = 0;
  uint32_t compression = 0;
  uint32_t sizeImage = 0;
  int32_t xPelsPerMeter = 0;
  int32_t yPelsPerMeter = 0;
  uint32_t clrUsed = 0;
  uint32_t clrImportant = 0;
};

// A data chunk in 'movi': its id ("00db") and where its bytes are.
struct AviChunk {
  uint32_t id = 0;
  size_t offset = 0;  // of the chunk data, from the start of the file
  uint32_t size = 0;  // of the chunk data, without padding
};

// One 'idx1' entry, as stored.
struct AviIndexEntry {
  uint32_t chunkId = 0;
  uint32_t flags = 0;   // AVIIF_KEYFRAME = 0x10
  uint32_t offset = 0;  // from the 'movi' list type or from the file start
  uint32_t size = 0;
};

struct AviStream {
  AviStreamHeader header;
  std::vector<uint8_t> format;  // the whole 'strf' chunk
  bool hasBitmapInfo = false;   // a 'vids' stream whose 'strf' holds a BITMAPINFOHEADER
  AviBitmapInfo bitmapInfo;
  std::string name;  // 'strn', when present
  // Chunks "NNdb" / "NNdc" of this stream in 'movi' (NN = stream number), in
  // file order; for a video stream these are its frames.
  std::vector<AviChunk> dataChunks;
};

struct AviFile {
  AviMainHeader mainHeader;
  std::vector<AviStream> streams;
  size_t moviOffset = 0;  // file offset of the first 'movi' list's type field ("movi")
  bool hasIndex = false;
  std::vector<AviIndexEntry> index;  // 'idx1'
  size_t trailingZeroBytes = 0;      // zero padding after the last RIFF list
};

// Parses the bytes of an AVI file. Returns false and a reason in *error (when
// given) for anything that is not a complete, well-formed AVI file: a missing
// header list, main header or 'movi' list, a chunk that runs past its parent, a
// stream list without 'strh', an 'idx1' whose size is not a multiple of 16.
// Unknown chunks are skipped. Extra 'AVIX' RIFF lists (large files) are read too;
// zero bytes after the last list are accepted, anything else there is refused.
bool ParseAvi(const void* data, size_t size, AviFile* out, std::string* error);
// Reads a whole file and parses it.
bool ParseAviFile(const std::string& path, AviFile* out, std::string* error);

}  // namespace orba_test
