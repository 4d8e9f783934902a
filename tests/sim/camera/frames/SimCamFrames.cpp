#include "simcam/SimCamFrames.h"

#include <turbojpeg.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "simcam/SimCamIds.h"

namespace simcam {
namespace {

constexpr int kQuality = 85;
constexpr COLORREF kPaper = RGB(244, 241, 232);
constexpr COLORREF kInk = RGB(24, 24, 28);
constexpr char kComPrefix[] = "ORBA-SIMCAM frame=";

const char* const kLines[] = {
    "ORBA camera test page",
    "The quick brown fox jumps over the lazy dog.",
    "Pack my box with five dozen liquor jugs.",
    "Sphinx of black quartz, judge my vow.",
    "0123456789  ABCDEFGHIJKLMNOPQRSTUVWXYZ",
};

// Offsets of the segments of a JPEG stream up to its scan. Each entry is the
// position of a 0xFF marker byte; markers without length (SOI) are included.
struct Segment {
  size_t offset;
  size_t length;  // whole segment including marker
  uint8_t marker;
};

bool ListSegments(const uint8_t* data, size_t size, std::vector<Segment>* out) {
  if (size < 4 || data[0] != 0xFF || data[1] != 0xD8) return false;
  out->push_back({0, 2, 0xD8});
  size_t pos = 2;
  while (pos + 4 <= size) {
    if (data[pos] != 0xFF) return false;
    const uint8_t marker = data[pos + 1];
    const size_t len = (static_cast<size_t>(data[pos + 2]) << 8) | data[pos + 3];
    if (len < 2 || pos + 2 + len > size) return false;
    out->push_back({pos, 2 + len, marker});
    pos += 2 + len;
    if (marker == 0xDA) return true;  // the scan follows
  }
  return false;
}

}  // namespace

FrameGenerator::FrameGenerator() {
  dc_ = CreateCompatibleDC(nullptr);
  if (!dc_) return;
  BITMAPINFO bmi = {};
  bmi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  bmi.bmiHeader.biWidth = kWidth;
  bmi.bmiHeader.biHeight = -kHeight;  // top-down rows, as the encoder reads them
  bmi.bmiHeader.biPlanes = 1;
  bmi.bmiHeader.biBitCount = 24;
  bmi.bmiHeader.biCompression = BI_RGB;
  dib_ = CreateDIBSection(dc_, &bmi, DIB_RGB_COLORS, &bits_, nullptr, 0);
  if (!dib_ || !bits_) return;
  oldBitmap_ = SelectObject(dc_, dib_);
  // Fixed fonts without smoothing keep every process's rendering identical.
  textFont_ =
      CreateFontA(-44, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, ANSI_CHARSET, OUT_DEFAULT_PRECIS,
                  CLIP_DEFAULT_PRECIS, NONANTIALIASED_QUALITY, VARIABLE_PITCH | FF_SWISS, "Tahoma");
  counterFont_ =
      CreateFontA(-200, 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE, ANSI_CHARSET, OUT_DEFAULT_PRECIS,
                  CLIP_DEFAULT_PRECIS, NONANTIALIASED_QUALITY, VARIABLE_PITCH | FF_SWISS, "Tahoma");
  encoder_ = tjInitCompress();
  ok_ = textFont_ && counterFont_ && encoder_;
}

FrameGenerator::~FrameGenerator() {
  if (encoder_) tjDestroy(static_cast<tjhandle>(encoder_));
  if (dc_ && oldBitmap_) SelectObject(dc_, oldBitmap_);
  if (textFont_) DeleteObject(textFont_);
  if (counterFont_) DeleteObject(counterFont_);
  if (dib_) DeleteObject(dib_);
  if (dc_) DeleteDC(dc_);
}

void FrameGenerator::Render(uint32_t frameNumber) {
  RECT all = {0, 0, kWidth, kHeight};
  HBRUSH paper = CreateSolidBrush(kPaper);
  FillRect(dc_, &all, paper);
  DeleteObject(paper);
  // A dark margin line, like the edge of a sheet under the camera.
  HBRUSH ink = CreateSolidBrush(kInk);
  RECT edge = {40, 30, kWidth - 40, 36};
  FillRect(dc_, &edge, ink);
  DeleteObject(ink);

  SetBkMode(dc_, TRANSPARENT);
  SetTextColor(dc_, kInk);
  HGDIOBJ oldFont = SelectObject(dc_, textFont_);
  int y = 60;
  for (const char* line : kLines) {
    TextOutA(dc_, 60, y, line, static_cast<int>(std::strlen(line)));
    y += 58;
  }
  SelectObject(dc_, counterFont_);
  char counter[32];
  const int n =
      std::snprintf(counter, sizeof counter, "%06lu", static_cast<unsigned long>(frameNumber));
  TextOutA(dc_, 60, 380, counter, n);
  SelectObject(dc_, oldFont);
  GdiFlush();
}

bool FrameGenerator::Generate(uint32_t frameNumber, const FrameOptions& options,
                              std::vector<uint8_t>* jpeg) {
  if (!ok_ || !jpeg) return false;
  Render(frameNumber);

  unsigned char* encoded = nullptr;
  unsigned long encodedSize = 0;
  const int pitch = kWidth * 3;
  if (tjCompress2(static_cast<tjhandle>(encoder_), static_cast<const unsigned char*>(bits_), kWidth,
                  pitch, kHeight, TJPF_BGR, &encoded, &encodedSize, TJSAMP_422, kQuality, 0) != 0) {
    if (encoded) tjFree(encoded);
    return false;
  }

  std::vector<Segment> segments;
  const bool parsed = ListSegments(encoded, encodedSize, &segments);
  if (!parsed) {
    tjFree(encoded);
    return false;
  }
  char text[64];
  const int textLen = std::snprintf(text, sizeof text, "%s%lu", kComPrefix,
                                    static_cast<unsigned long>(frameNumber));
  const size_t comLength = 2 + static_cast<size_t>(textLen);

  jpeg->clear();
  jpeg->reserve(encodedSize + comLength + 2);
  // The comment goes after SOI and the JFIF header, before the tables.
  const size_t commentAfter = (segments.size() > 1 && segments[1].marker == 0xE0) ? 1 : 0;
  for (size_t i = 0; i < segments.size(); ++i) {
    const Segment& s = segments[i];
    if (options.omitHuffmanTables && s.marker == 0xC4) continue;
    jpeg->insert(jpeg->end(), encoded + s.offset, encoded + s.offset + s.length);
    if (i == commentAfter) {
      jpeg->push_back(0xFF);
      jpeg->push_back(0xFE);
      jpeg->push_back(static_cast<uint8_t>(comLength >> 8));
      jpeg->push_back(static_cast<uint8_t>(comLength & 0xFF));
      jpeg->insert(jpeg->end(), text, text + textLen);
    }
  }
  const Segment& scan = segments.back();
  const size_t rest = scan.offset + scan.length;
  jpeg->insert(jpeg->end(), encoded + rest, encoded + encodedSize);
  tjFree(encoded);
  return true;
}

bool ReadFrameNumber(const uint8_t* data, size_t size, uint32_t* frameNumber) {
  std::vector<Segment> segments;
  if (!data || !frameNumber || !ListSegments(data, size, &segments)) return false;
  for (const Segment& s : segments) {
    if (s.marker != 0xFE) continue;
    const std::string text(reinterpret_cast<const char*>(data + s.offset + 4), s.length - 4);
    const size_t prefixLen = sizeof kComPrefix - 1;
    if (text.compare(0, prefixLen, kComPrefix) != 0) continue;
    unsigned long value = 0;
    if (std::sscanf(text.c_str() + prefixLen, "%lu", &value) != 1) return false;
    *frameNumber = static_cast<uint32_t>(value);
    return true;
  }
  return false;
}

bool HasSegment(const uint8_t* data, size_t size, uint8_t marker) {
  std::vector<Segment> segments;
  if (!data || !ListSegments(data, size, &segments)) return false;
  for (const Segment& s : segments) {
    if (s.marker == marker) return true;
  }
  return false;
}

}  // namespace simcam
