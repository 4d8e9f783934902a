// Writes the seed corpus of the fuzz targets into the folder given: frames laid
// out as the camera sends them (1280 x 720, 4:2:2, a comment after the JFIF
// header), with and without their Huffman tables, cut off, with huge
// dimensions, of another size, progressive; and frame file names.
#include <turbojpeg.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

Bytes Encode(int w, int h, int sub, int quality, int flags) {
  // A pale page with dark bars where the text lines would be.
  Bytes rgb(static_cast<size_t>(w) * h * 3);
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      const bool ink = (y * 12 / h) % 2 == 1 && (x / 24) % 3 != 2 && x > w / 20 && x < w * 9 / 10;
      uint8_t* p = &rgb[(static_cast<size_t>(y) * w + x) * 3];
      p[0] = ink ? 24 : 244;
      p[1] = ink ? 24 : 241;
      p[2] = ink ? 28 : 232;
    }
  }
  tjhandle tj = tjInitCompress();
  unsigned char* out = nullptr;
  unsigned long size = 0;
  Bytes jpeg;
  if (tjCompress2(tj, rgb.data(), w, w * 3, h, TJPF_RGB, &out, &size, sub, quality, flags) == 0)
    jpeg.assign(out, out + size);
  tjFree(out);
  tjDestroy(tj);
  return jpeg;
}

// The camera's layout: a comment after the JFIF header, the tables kept or left out.
Bytes CameraFrame(bool tables) {
  const Bytes plain = Encode(1280, 720, TJSAMP_422, 85, 0);
  Bytes out(plain.begin(), plain.begin() + 2);
  size_t pos = 2;
  while (pos + 4 <= plain.size()) {
    const uint8_t marker = plain[pos + 1];
    const size_t len = 2 + ((static_cast<size_t>(plain[pos + 2]) << 8) | plain[pos + 3]);
    if (marker == 0xDA) break;
    if (tables || marker != 0xC4)
      out.insert(out.end(), plain.begin() + pos, plain.begin() + pos + len);
    if (marker == 0xE0) {
      const std::string text = "ORBA-SIMCAM frame=7";
      out.insert(out.end(), {0xFF, 0xFE, 0, static_cast<uint8_t>(text.size() + 2)});
      out.insert(out.end(), text.begin(), text.end());
    }
    pos += len;
  }
  out.insert(out.end(), plain.begin() + pos, plain.end());
  return out;
}

// The first SOF's height and width set to h and w.
Bytes WithSize(Bytes jpeg, int w, int h) {
  for (size_t i = 2; i + 9 < jpeg.size(); ++i) {
    if (jpeg[i] == 0xFF && (jpeg[i + 1] == 0xC0 || jpeg[i + 1] == 0xC2)) {
      jpeg[i + 5] = static_cast<uint8_t>(h >> 8);
      jpeg[i + 6] = static_cast<uint8_t>(h);
      jpeg[i + 7] = static_cast<uint8_t>(w >> 8);
      jpeg[i + 8] = static_cast<uint8_t>(w);
      break;
    }
  }
  return jpeg;
}

void Write(const std::string& dir, const std::string& target, const std::string& name,
           const Bytes& b) {
  const std::string folder = dir + "/" + target;
  mkdir(dir.c_str(), 0755);
  mkdir(folder.c_str(), 0755);
  FILE* f = std::fopen((folder + "/" + name).c_str(), "wb");
  if (!f) return;
  if (!b.empty()) std::fwrite(b.data(), 1, b.size(), f);
  std::fclose(f);
  std::printf("%s/%s: %zu bytes\n", target.c_str(), name.c_str(), b.size());
}

Bytes Text(const std::string& s) { return Bytes(s.begin(), s.end()); }

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s <corpus folder>\n", argv[0]);
    return 2;
  }
  const std::string dir = argv[1];
  const Bytes withDht = CameraFrame(true);
  const Bytes withoutDht = CameraFrame(false);
  const Bytes cut(withoutDht.begin(), withoutDht.begin() + withoutDht.size() / 3);
  const Bytes huge = WithSize(withoutDht, 65000, 65000);
  const Bytes small = Encode(160, 120, TJSAMP_420, 75, 0);
  const Bytes progressive = Encode(320, 180, TJSAMP_444, 80, TJFLAG_PROGRESSIVE);
  // Shared by the two JPEG targets.
  Write(dir, "jpeg", "camera_with_dht.jpg", withDht);
  Write(dir, "jpeg", "camera_without_dht.jpg", withoutDht);
  Write(dir, "jpeg", "camera_cut.jpg", cut);
  Write(dir, "jpeg", "huge_dimensions.jpg", huge);
  Write(dir, "jpeg", "small_420.jpg", small);
  Write(dir, "jpeg", "progressive.jpg", progressive);
  // Found by fuzz_frame_decode: cut off within the header, the decompressor was
  // left inside it and spoilt the frames after it.
  Write(dir, "jpeg", "cut_in_header.jpg", Bytes(withDht.begin(), withDht.begin() + 300));
  Write(dir, "jpeg", "two_soi.jpg", Bytes{0xFF, 0xD8, 0xFF, 0xD8});
  int k = 0;
  for (const char* name : {"frame_0.jpg", "frame_12.jpg", "FRAME_2147483647.JPG",
                           "frame_2147483648.jpg", "frame_012.jpg", "frame_99x.jpg", "frame_.jpg"})
    Write(dir, "frame_name", "name" + std::to_string(++k), Text(name));
  // Mixed helper calls: the bytes choose the helper, its texts and capacities.
  Write(dir, "text", "mixed1", Text("\x02\x01\x40\x30%A%\\b:ab%LONG%..\x03\x01\x10\x02\x05C:\\ab"));
  Write(dir, "text", "mixed2", Bytes{4, 0x20, 0x20, 0x10, 'a', '\\', 'b', '_', '0', 0,   0x7f,
                                     5, 3,    '\\', '\\', 'a', 0,    1,   8,   'a', 'b', 'c'});
  return 0;
}
