#include "PictureWrite.h"

#include "PictureJpeg.h"

namespace orba_filter {

namespace {

// WriteFile takes a DWORD count; a large sample goes in pieces of 1 GiB.
constexpr DWORD kMaxWriteChunk = 0x40000000u;

}  // namespace

bool WriteAll(HANDLE file, const uint8_t* data, size_t size) {
  while (size > 0) {
    const DWORD chunk = size > kMaxWriteChunk ? kMaxWriteChunk : static_cast<DWORD>(size);
    DWORD written = 0;
    if (!WriteFile(file, data, chunk, &written, nullptr) || written == 0) return false;
    data += written;
    size -= written;
  }
  return true;
}

bool WritePicture(HANDLE file, const uint8_t* data, size_t size) {
  PicturePiece pieces[kMaxPicturePieces];
  const size_t count = PicturePieces(data, size, pieces);
  for (size_t i = 0; i < count; ++i) {
    if (!WriteAll(file, pieces[i].data, pieces[i].size)) return false;
  }
  return true;
}

}  // namespace orba_filter
