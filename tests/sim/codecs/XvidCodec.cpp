// Video for Windows compressor registered for the FourCC 'XVID' ("vidc.xvid").
//
// It stands in for the XviD codec that a user installs on Windows, so that the
// recording path (AVIFile with AVIMakeCompressedStream and handler XVID) can run
// here. Its frames are not MPEG-4: they use the small lossless format described
// in XvidFrame.h (raw or run-length coded BGR, every frame a key frame). The
// quality the caller asks for is recorded and reported back, but coding is
// lossless at every quality.
//
// Input: 24-bit BI_RGB DIBs, bottom-up or top-down. Output format: biCompression
// 'XVID', same width and (positive) height, 24 bits per pixel.
// It also decompresses its own frames into 24-bit BI_RGB DIBs, so recorded
// videos can be read back through AVIFile.
#include <windows.h>

#include <cstring>

#include "IcmDriver.h"
#include "XvidFrame.h"

namespace {

constexpr DWORD kXvid = icm::FourCC('X', 'V', 'I', 'D');
constexpr DWORD kDefaultQuality = 7500;

struct Instance {
  DWORD quality = kDefaultQuality;
  // Stream facts that ICM_COMPRESS_FRAMES_INFO hands over; kept for completeness.
  DWORD rate = 0;
  DWORD scale = 0;
  LONG frameCount = 0;
};

bool IsXvid(const BITMAPINFOHEADER* bi) {
  return icm::SaneDimensions(bi) && icm::SameFourCC(bi->biCompression, kXvid) && bi->biHeight > 0;
}

bool IsCompressInput(const BITMAPINFOHEADER* in) { return icm::IsRgbDib(in, 24); }

bool SameSize(const BITMAPINFOHEADER* a, const BITMAPINFOHEADER* b) {
  return a->biWidth == b->biWidth && icm::AbsHeight(a) == icm::AbsHeight(b);
}

uint64_t PixelCount(const BITMAPINFOHEADER* bi) {
  return static_cast<uint64_t>(bi->biWidth) * static_cast<uint64_t>(icm::AbsHeight(bi));
}

// Walks the pixels of a 24-bit DIB in the row order of a bottom-up DIB, whatever
// the DIB's own orientation. Byte is `const uint8_t` to read, `uint8_t` to write.
template <class Byte>
class PixelWalk {
 public:
  PixelWalk(const BITMAPINFOHEADER* bi, Byte* bits)
      : base_(bits),
        width_(bi->biWidth),
        height_(icm::AbsHeight(bi)),
        stride_(icm::DibStride(bi->biWidth, 24)),
        topDown_(bi->biHeight < 0) {
    SetRow(0);
  }
  // Address of the current pixel; then moves to the next one.
  Byte* Next() {
    Byte* p = row_ + static_cast<size_t>(col_) * 3;
    if (++col_ == width_ && ++rowIndex_ < height_) SetRow(rowIndex_);
    return p;
  }

 private:
  void SetRow(LONG r) {
    rowIndex_ = r;
    col_ = 0;
    const LONG stored = topDown_ ? height_ - 1 - r : r;
    row_ = base_ + static_cast<size_t>(stored) * stride_;
  }
  Byte* base_;
  Byte* row_ = nullptr;
  LONG width_, height_;
  uint32_t stride_;
  bool topDown_;
  LONG rowIndex_ = 0;
  LONG col_ = 0;
};
using PixelReader = PixelWalk<const uint8_t>;
using PixelWriter = PixelWalk<uint8_t>;

void PutLe16(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}
void PutLe32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}
uint32_t GetLe32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

void WriteHeader(uint8_t* out, uint8_t coding, const BITMAPINFOHEADER* in) {
  std::memcpy(out, sxv::kMagic, 4);
  PutLe16(out + 4, sxv::kHeaderSize);
  out[6] = coding;
  out[7] = 3;
  PutLe32(out + 8, static_cast<uint32_t>(in->biWidth));
  PutLe32(out + 12, static_cast<uint32_t>(icm::AbsHeight(in)));
}

// Run-length codes the picture into out[kHeaderSize, limit). Returns the frame
// size, or 0 when the coded picture would not fit (the raw form is then smaller).
size_t EncodeRle(const BITMAPINFOHEADER* in, const void* bits, uint8_t* out, size_t limit) {
  const uint64_t n = PixelCount(in);
  PixelReader walk(in, static_cast<const uint8_t*>(bits));
  size_t pos = sxv::kHeaderSize;
  size_t literalControl = 0;  // where the pending literal packet's control byte is
  size_t literals = 0;
  const uint8_t* cur = walk.Next();
  uint64_t i = 0;
  while (i < n) {
    // Length of the run of pixels equal to `cur`.
    size_t run = 1;
    const uint8_t* next = nullptr;
    while (i + run < n) {
      next = walk.Next();
      if (run < sxv::kMaxRepeat && std::memcmp(next, cur, 3) == 0) {
        ++run;
        next = nullptr;
        continue;
      }
      break;
    }
    if (run >= 2) {
      literals = 0;
      if (pos + 4 > limit) return 0;
      out[pos] = static_cast<uint8_t>(0x80 + run - 2);
      std::memcpy(out + pos + 1, cur, 3);
      pos += 4;
    } else {
      if (literals == 0) {
        if (pos + 1 > limit) return 0;
        literalControl = pos++;
      }
      if (pos + 3 > limit) return 0;
      std::memcpy(out + pos, cur, 3);
      pos += 3;
      out[literalControl] = static_cast<uint8_t>(literals);
      if (++literals == sxv::kMaxLiteral) literals = 0;
    }
    i += run;
    if (i < n) cur = next;  // the first pixel that ended the run
  }
  return pos;
}

size_t EncodeRaw(const BITMAPINFOHEADER* in, const void* bits, uint8_t* out) {
  const uint64_t n = PixelCount(in);
  PixelReader walk(in, static_cast<const uint8_t*>(bits));
  uint8_t* p = out + sxv::kHeaderSize;
  for (uint64_t i = 0; i < n; ++i, p += 3) std::memcpy(p, walk.Next(), 3);
  return static_cast<size_t>(p - out);
}

LRESULT CompressQuery(const BITMAPINFOHEADER* in, const BITMAPINFOHEADER* out) {
  if (!IsCompressInput(in)) return ICERR_BADFORMAT;
  if (out && !(IsXvid(out) && SameSize(in, out))) return ICERR_BADFORMAT;
  return ICERR_OK;
}

LRESULT CompressGetFormat(const BITMAPINFOHEADER* in, BITMAPINFOHEADER* out) {
  if (!IsCompressInput(in)) return ICERR_BADFORMAT;
  if (!out) return sizeof(BITMAPINFOHEADER);
  *out = icm::Format24(in->biWidth, icm::AbsHeight(in), kXvid,
                       static_cast<DWORD>(sxv::MaxFrameSize(PixelCount(in))));
  return ICERR_OK;
}

LRESULT Compress(Instance* inst, ICCOMPRESS* c, LPARAM size) {
  if (!c || static_cast<size_t>(size) < sizeof(ICCOMPRESS)) return ICERR_BADPARAM;
  if (CompressQuery(c->lpbiInput, c->lpbiOutput) != ICERR_OK) return ICERR_BADFORMAT;
  if (!c->lpInput || !c->lpOutput) return ICERR_BADPARAM;
  auto* out = static_cast<uint8_t*>(c->lpOutput);
  // The caller's buffer holds ICM_COMPRESS_GET_SIZE bytes: the raw form always fits.
  const size_t rawSize = static_cast<size_t>(sxv::MaxFrameSize(PixelCount(c->lpbiInput)));
  size_t written = EncodeRle(c->lpbiInput, c->lpInput, out, rawSize);
  if (written) {
    WriteHeader(out, sxv::kCodingRle, c->lpbiInput);
  } else {
    written = EncodeRaw(c->lpbiInput, c->lpInput, out);
    WriteHeader(out, sxv::kCodingRaw, c->lpbiInput);
  }
  c->lpbiOutput->biSizeImage = static_cast<DWORD>(written);
  if (c->lpckid) *c->lpckid = cktypeDIBcompressed;
  if (c->lpdwFlags) *c->lpdwFlags = AVIIF_KEYFRAME;
  if (c->dwQuality <= ICQUALITY_HIGH) inst->quality = c->dwQuality;
  return ICERR_OK;
}

// --- decompression of our own frames ---------------------------------------

bool IsDecompressOutput(const BITMAPINFOHEADER* in, const BITMAPINFOHEADER* out) {
  return icm::IsRgbDib(out, 24) && SameSize(in, out);
}

LRESULT DecompressQuery(const BITMAPINFOHEADER* in, const BITMAPINFOHEADER* out) {
  if (!IsXvid(in)) return ICERR_BADFORMAT;
  if (out && !IsDecompressOutput(in, out)) return ICERR_BADFORMAT;
  return ICERR_OK;
}

LRESULT DecompressGetFormat(const BITMAPINFOHEADER* in, BITMAPINFOHEADER* out) {
  if (!IsXvid(in)) return ICERR_BADFORMAT;
  if (!out) return sizeof(BITMAPINFOHEADER);
  *out = icm::Rgb24Format(in->biWidth, in->biHeight);
  return ICERR_OK;
}

LRESULT Decode(const BITMAPINFOHEADER* in, const void* src, const BITMAPINFOHEADER* out,
               void* dst) {
  if (!src || !dst) return ICERR_BADPARAM;
  const auto* p = static_cast<const uint8_t*>(src);
  const size_t size = in->biSizeImage;
  if (size < sxv::kHeaderSize || std::memcmp(p, sxv::kMagic, 4) != 0) return ICERR_BADFORMAT;
  if (static_cast<size_t>(p[4] | (p[5] << 8)) != sxv::kHeaderSize || p[7] != 3)
    return ICERR_BADFORMAT;
  if (GetLe32(p + 8) != static_cast<uint32_t>(in->biWidth) ||
      GetLe32(p + 12) != static_cast<uint32_t>(icm::AbsHeight(in)))
    return ICERR_BADFORMAT;
  const uint64_t n = PixelCount(in);
  const uint8_t* q = p + sxv::kHeaderSize;
  const uint8_t* end = p + size;
  PixelWriter sink(out, static_cast<uint8_t*>(dst));
  if (p[6] == sxv::kCodingRaw) {
    if (static_cast<uint64_t>(end - q) != n * 3) return ICERR_BADFORMAT;
    for (uint64_t i = 0; i < n; ++i, q += 3) std::memcpy(sink.Next(), q, 3);
    return ICERR_OK;
  }
  if (p[6] != sxv::kCodingRle) return ICERR_BADFORMAT;
  // Check the whole packet stream before writing, so a damaged frame leaves the
  // output untouched.
  uint64_t count = 0;
  for (const uint8_t* r = q; r < end;) {
    const uint8_t c = *r++;
    const size_t pixels = c < 0x80 ? c + 1u : c - 0x80u + 2u;
    const size_t bytes = c < 0x80 ? pixels * 3 : 3;
    if (static_cast<size_t>(end - r) < bytes || count + pixels > n) return ICERR_BADFORMAT;
    r += bytes;
    count += pixels;
  }
  if (count != n) return ICERR_BADFORMAT;
  while (q < end) {
    const uint8_t c = *q++;
    if (c < 0x80) {
      for (unsigned k = 0; k <= c; ++k, q += 3) std::memcpy(sink.Next(), q, 3);
    } else {
      for (unsigned k = 0; k < c - 0x80u + 2u; ++k) std::memcpy(sink.Next(), q, 3);
      q += 3;
    }
  }
  return ICERR_OK;
}

LRESULT Decompress(const ICDECOMPRESS* d, LPARAM size) {
  if (!d || static_cast<size_t>(size) < sizeof(ICDECOMPRESS)) return ICERR_BADPARAM;
  if (DecompressQuery(d->lpbiInput, d->lpbiOutput) != ICERR_OK || !d->lpbiOutput)
    return ICERR_BADFORMAT;
  return Decode(d->lpbiInput, d->lpInput, d->lpbiOutput, d->lpOutput);
}

LRESULT StoreDword(LPARAM target, DWORD value) {
  if (!target) return ICERR_BADPARAM;
  *reinterpret_cast<DWORD*>(target) = value;
  return ICERR_OK;
}

}  // namespace

extern "C" LRESULT CALLBACK DriverProc(DWORD_PTR driverId, HDRVR driver, UINT msg, LPARAM lParam1,
                                       LPARAM lParam2) {
  LRESULT result = 0;
  if (icm::HandleDriverMessage<Instance>(driverId, driver, msg, lParam1, lParam2, &result))
    return result;
  if (icm::HandleCommonIcmMessage(msg, lParam1, lParam2, &result)) return result;

  if (msg == ICM_GETINFO)
    return icm::FillInfo(reinterpret_cast<ICINFO*>(lParam1), static_cast<DWORD>(lParam2), kXvid,
                         VIDCF_COMPRESSFRAMES, L"XVID", L"XVID stand-in (lossless test codec)");

  auto* inst = reinterpret_cast<Instance*>(driverId);
  const auto* in = reinterpret_cast<const BITMAPINFOHEADER*>(lParam1);
  auto* out = reinterpret_cast<BITMAPINFOHEADER*>(lParam2);
  switch (msg) {
    case ICM_COMPRESS_QUERY:
      return CompressQuery(in, out);
    case ICM_COMPRESS_GET_FORMAT:
      return CompressGetFormat(in, out);
    case ICM_COMPRESS_GET_SIZE:
      if (!IsCompressInput(in)) return ICERR_BADFORMAT;
      return static_cast<LRESULT>(sxv::MaxFrameSize(PixelCount(in)));
    case ICM_COMPRESS_BEGIN:
      return out ? CompressQuery(in, out) : ICERR_BADFORMAT;
    case ICM_COMPRESS:
      if (!inst) return ICERR_BADHANDLE;
      return Compress(inst, reinterpret_cast<ICCOMPRESS*>(lParam1), lParam2);
    case ICM_COMPRESS_END:
      return ICERR_OK;
    case ICM_COMPRESS_FRAMES_INFO: {
      if (!inst) return ICERR_BADHANDLE;
      const auto* f = reinterpret_cast<const ICCOMPRESSFRAMES*>(lParam1);
      if (!f || static_cast<size_t>(lParam2) < sizeof(ICCOMPRESSFRAMES)) return ICERR_BADPARAM;
      inst->rate = f->dwRate;
      inst->scale = f->dwScale;
      inst->frameCount = f->lFrameCount;
      if (f->lQuality >= 0 && f->lQuality <= ICQUALITY_HIGH)
        inst->quality = static_cast<DWORD>(f->lQuality);
      return ICERR_OK;
    }
    case ICM_GETDEFAULTQUALITY:
      return StoreDword(lParam1, kDefaultQuality);
    case ICM_GETQUALITY:
      if (!inst) return ICERR_BADHANDLE;
      return StoreDword(lParam1, inst->quality);
    case ICM_SETQUALITY: {
      if (!inst) return ICERR_BADHANDLE;
      const DWORD q = static_cast<DWORD>(lParam1);
      if (q == static_cast<DWORD>(ICQUALITY_DEFAULT)) {
        inst->quality = kDefaultQuality;
        return ICERR_OK;
      }
      if (q > ICQUALITY_HIGH) return ICERR_BADPARAM;
      inst->quality = q;
      return ICERR_OK;
    }
    case ICM_GETDEFAULTKEYFRAMERATE:
      return StoreDword(lParam1, 1);  // every frame is a key frame

    case ICM_DECOMPRESS_QUERY:
      return DecompressQuery(in, out);
    case ICM_DECOMPRESS_GET_FORMAT:
      return DecompressGetFormat(in, out);
    case ICM_DECOMPRESS_BEGIN:
      if (!IsXvid(in) || !out) return ICERR_BADFORMAT;
      return IsDecompressOutput(in, out) || icm::IsInputRepeatedAsOutput(in, out) ? ICERR_OK
                                                                                  : ICERR_BADFORMAT;
    case ICM_DECOMPRESS:
      return Decompress(reinterpret_cast<const ICDECOMPRESS*>(lParam1), lParam2);
    case ICM_DECOMPRESS_END:
      return ICERR_OK;
    default:
      return ICERR_UNSUPPORTED;
  }
}
