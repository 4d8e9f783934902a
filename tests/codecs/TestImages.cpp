#include "TestImages.h"

#include <turbojpeg.h>

namespace codec_test {

std::vector<uint8_t> MakePicture(int width, int height, int seed) {
  std::vector<uint8_t> px(static_cast<size_t>(width) * height * 3);
  uint32_t noise = 0x12345u + static_cast<uint32_t>(seed) * 7919u;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      uint8_t* p = &px[(static_cast<size_t>(y) * width + x) * 3];
      noise = noise * 1103515245u + 12345u;
      const int n = static_cast<int>((noise >> 16) & 7);
      // Text-like dark bars on a light page, a colour gradient at the side.
      const bool bar = ((y / 12 + seed) % 3 == 0) && ((x / 7 + y / 24) % 5 != 0);
      int b = bar ? 30 : 220 - x * 60 / width;
      int g = bar ? 30 : 200 + y * 40 / height;
      int r = bar ? 40 : (x * 255 / width + seed * 40) % 256;
      p[0] = static_cast<uint8_t>(b + n);
      p[1] = static_cast<uint8_t>(g > 255 - n ? 255 : g + n);
      p[2] = static_cast<uint8_t>(r);
    }
  }
  return px;
}

std::string EncodeJpeg(const std::vector<uint8_t>& bgr, int width, int height, int subsamp,
                       int quality) {
  tjhandle tj = tjInitCompress();
  if (!tj) return {};
  unsigned char* out = nullptr;
  unsigned long size = 0;
  std::string jpeg;
  if (tjCompress2(tj, bgr.data(), width, width * 3, height, TJPF_BGR, &out, &size, subsamp, quality,
                  0) == 0)
    jpeg.assign(reinterpret_cast<const char*>(out), size);
  tjFree(out);
  tjDestroy(tj);
  return jpeg;
}

std::string MakeJpeg(int width, int height, int seed) {
  return EncodeJpeg(MakePicture(width, height, seed), width, height, TJSAMP_422, 85);
}

std::string StripHuffmanTables(const std::string& jpeg) {
  // Markers up to the start of scan; entropy-coded data after SOS is copied as is.
  std::string out = jpeg.substr(0, 2);
  size_t pos = 2;
  while (pos + 4 <= jpeg.size()) {
    const uint8_t marker = static_cast<uint8_t>(jpeg[pos + 1]);
    const size_t len =
        (static_cast<uint8_t>(jpeg[pos + 2]) << 8) | static_cast<uint8_t>(jpeg[pos + 3]);
    if (marker == 0xDA) break;
    if (marker != 0xC4) out.append(jpeg, pos, 2 + len);
    pos += 2 + len;
  }
  out.append(jpeg, pos, std::string::npos);
  return out;
}

bool HasMarker(const std::string& jpeg, uint8_t marker) {
  size_t pos = 2;
  while (pos + 4 <= jpeg.size()) {
    const uint8_t m = static_cast<uint8_t>(jpeg[pos + 1]);
    if (m == marker) return true;
    if (m == 0xDA) return false;
    pos += 2 + ((static_cast<uint8_t>(jpeg[pos + 2]) << 8) | static_cast<uint8_t>(jpeg[pos + 3]));
  }
  return false;
}

std::vector<uint8_t> ReferenceDecode(const std::string& jpeg, int width, int height,
                                     int bytesPerPixel, bool bottomUp, int stride) {
  std::vector<uint8_t> out(static_cast<size_t>(stride) * height);
  tjhandle tj = tjInitDecompress();
  if (!tj) return {};
  const int rc =
      tjDecompress2(tj, reinterpret_cast<const unsigned char*>(jpeg.data()),
                    static_cast<unsigned long>(jpeg.size()), out.data(), width, stride, height,
                    bytesPerPixel == 4 ? TJPF_BGRX : TJPF_BGR, bottomUp ? TJFLAG_BOTTOMUP : 0);
  tjDestroy(tj);
  if (rc != 0) return {};
  return out;
}

}  // namespace codec_test
