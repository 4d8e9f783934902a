#pragma once
// Small helpers for driving Video for Windows codecs from tests.
#include <windows.h>

#include <vfw.h>

#include <cstdint>

namespace codec_test {

constexpr DWORD kMjpg = mmioFOURCC('M', 'J', 'P', 'G');
constexpr DWORD kXvid = mmioFOURCC('X', 'V', 'I', 'D');

// Closes a codec instance opened with ICOpen or ICLocate.
class Hic {
 public:
  explicit Hic(HIC h = nullptr) : h_(h) {}
  Hic(const Hic&) = delete;
  Hic& operator=(const Hic&) = delete;
  ~Hic() {
    if (h_) ICClose(h_);
  }
  HIC get() const { return h_; }
  explicit operator bool() const { return h_ != nullptr; }

 private:
  HIC h_;
};

inline BITMAPINFOHEADER CompressedFormat(DWORD fourcc, LONG width, LONG height, DWORD sizeImage) {
  BITMAPINFOHEADER bi = {};
  bi.biSize = sizeof bi;
  bi.biWidth = width;
  bi.biHeight = height;
  bi.biPlanes = 1;
  bi.biBitCount = 24;
  bi.biCompression = fourcc;
  bi.biSizeImage = sizeImage;
  return bi;
}

// An uncompressed BI_RGB format; a negative height is a top-down bitmap.
inline BITMAPINFOHEADER RgbFormat(LONG width, LONG height, WORD bits) {
  BITMAPINFOHEADER bi = {};
  bi.biSize = sizeof bi;
  bi.biWidth = width;
  bi.biHeight = height;
  bi.biPlanes = 1;
  bi.biBitCount = bits;
  bi.biCompression = BI_RGB;
  bi.biSizeImage =
      static_cast<DWORD>(((width * bits + 31) / 32) * 4 * (height < 0 ? -height : height));
  return bi;
}

// ICM results are signed; the ICDecompress/ICCompress wrappers hand them out as DWORD.
inline LONG Result(LRESULT r) { return static_cast<LONG>(r); }

}  // namespace codec_test
