// Video for Windows decompressor for motion JPEG ('MJPG'), built on TurboJPEG.
//
// Installed as the "vidc.mjpg" driver, it lets the system's AVI Decompressor
// filter turn a camera's MJPG samples into RGB for the video renderer, the way
// the MJPEG decompressor that ships with Windows does.
//
// Output: uncompressed BI_RGB DIBs of 24 or 32 bits per pixel, bottom-up
// (positive biHeight) or top-down (negative biHeight), rows padded to four bytes.
// The output size must equal the frame size; through ICM_DECOMPRESSEX the picture
// may be placed at an offset inside a larger destination bitmap (a wider stride).
// Frames without Huffman tables (as many cameras send them) decode with the
// standard tables, which libjpeg-turbo supplies itself.
//
// Every input byte count comes from the input format's biSizeImage, which the
// caller sets to the sample length; a frame whose header cannot be read, or
// whose size differs from the negotiated format, is refused and nothing is
// written. A frame that decodes with only warnings (for example a few missing
// bytes at the end) is delivered: the decoder fills the damaged part.
#include <windows.h>

#include <turbojpeg.h>

#include "IcmDriver.h"

namespace {

constexpr DWORD kMjpg = icm::FourCC('M', 'J', 'P', 'G');

bool IsMjpgInput(const BITMAPINFOHEADER* in) {
  return icm::SaneDimensions(in) && icm::SameFourCC(in->biCompression, kMjpg);
}

// Output bitmaps we can produce for this input, with the same frame size.
bool IsSupportedOutput(const BITMAPINFOHEADER* in, const BITMAPINFOHEADER* out) {
  if (!out) return false;
  if (!icm::IsRgbDib(out, 24) && !icm::IsRgbDib(out, 32)) return false;
  return out->biWidth == in->biWidth && icm::AbsHeight(out) == icm::AbsHeight(in);
}

// Where the frame goes in the destination bitmap for ICM_DECOMPRESSEX: the whole
// source picture, unscaled, at (x, y) counted from the top-left corner.
struct Placement {
  LONG x = 0;
  LONG y = 0;
};

// Checks an ICDECOMPRESSEX request: whole source, no scaling, destination rectangle
// inside the destination bitmap. lpbiDst may be null (an input-only query).
bool CheckDecompressEx(const ICDECOMPRESSEX* ex, Placement* place) {
  if (!ex || !IsMjpgInput(ex->lpbiSrc)) return false;
  const BITMAPINFOHEADER* in = ex->lpbiSrc;
  const LONG w = in->biWidth, h = icm::AbsHeight(in);
  if (ex->xSrc != 0 || ex->ySrc != 0) return false;
  if ((ex->dxSrc != 0 && ex->dxSrc != w) || (ex->dySrc != 0 && ex->dySrc != h)) return false;
  if ((ex->dxDst != 0 && ex->dxDst != w) || (ex->dyDst != 0 && ex->dyDst != h)) return false;
  const BITMAPINFOHEADER* out = ex->lpbiDst;
  if (!out) return true;
  if (!icm::IsRgbDib(out, 24) && !icm::IsRgbDib(out, 32)) return false;
  if (ex->xDst < 0 || ex->yDst < 0) return false;
  if (static_cast<int64_t>(ex->xDst) + w > out->biWidth) return false;
  if (static_cast<int64_t>(ex->yDst) + h > icm::AbsHeight(out)) return false;
  if (place) {
    place->x = ex->xDst;
    place->y = ex->yDst;
  }
  return true;
}

struct Decoder {
  tjhandle tj = nullptr;
  ~Decoder() {
    if (tj) tjDestroy(tj);
  }

  // Decodes one frame into `dst`, a bitmap described by `out`, at `place`.
  LRESULT Decode(const BITMAPINFOHEADER* in, const void* src, const BITMAPINFOHEADER* out,
                 void* dst, Placement place) {
    if (!src || !dst) return ICERR_BADPARAM;
    const DWORD size = in->biSizeImage;
    if (size < 4) return ICERR_BADFORMAT;
    if (!tj && !(tj = tjInitDecompress())) return ICERR_MEMORY;

    const auto* jpeg = static_cast<const unsigned char*>(src);
    int width = 0, height = 0, subsamp = 0, colorspace = 0;
    if (tjDecompressHeader3(tj, jpeg, size, &width, &height, &subsamp, &colorspace) != 0)
      return ICERR_BADFORMAT;
    const LONG w = in->biWidth, h = icm::AbsHeight(in);
    if (width != w || height != h) return ICERR_BADFORMAT;

    const int bpp = out->biBitCount / 8;
    const uint32_t stride = icm::DibStride(out->biWidth, out->biBitCount);
    const LONG outHeight = icm::AbsHeight(out);
    const bool bottomUp = out->biHeight > 0;
    // Row `place.y` from the top is the first row of the frame; a bottom-up bitmap
    // stores its top row last.
    const LONG firstStoredRow = bottomUp ? outHeight - place.y - h : place.y;
    auto* base = static_cast<unsigned char*>(dst) + static_cast<size_t>(firstStoredRow) * stride +
                 static_cast<size_t>(place.x) * bpp;
    const int flags = (bottomUp ? TJFLAG_BOTTOMUP : 0) | TJFLAG_LIMITSCANS;
    const int pixelFormat = bpp == 4 ? TJPF_BGRX : TJPF_BGR;
    if (tjDecompress2(tj, jpeg, size, base, w, static_cast<int>(stride), h, pixelFormat, flags) !=
        0) {
      // Warnings leave a complete picture with the damaged part filled in.
      if (tjGetErrorCode(tj) != TJERR_WARNING) return ICERR_ERROR;
    }
    return ICERR_OK;
  }
};

struct Instance {
  Decoder decoder;
};

LRESULT GetFormat(const BITMAPINFOHEADER* in, BITMAPINFOHEADER* out) {
  if (!IsMjpgInput(in)) return ICERR_BADFORMAT;
  if (!out) return sizeof(BITMAPINFOHEADER);
  *out = icm::Rgb24Format(in->biWidth, icm::AbsHeight(in));
  return ICERR_OK;
}

LRESULT Query(const BITMAPINFOHEADER* in, const BITMAPINFOHEADER* out) {
  if (!IsMjpgInput(in)) return ICERR_BADFORMAT;
  if (out && !IsSupportedOutput(in, out)) return ICERR_BADFORMAT;
  return ICERR_OK;
}

// Every ICM_DECOMPRESS carries both formats again and is checked on its own, so
// beginning sets nothing up.
LRESULT Begin(const BITMAPINFOHEADER* in, const BITMAPINFOHEADER* out) {
  if (!IsMjpgInput(in) || !out) return ICERR_BADFORMAT;
  return IsSupportedOutput(in, out) || icm::IsInputRepeatedAsOutput(in, out) ? ICERR_OK
                                                                             : ICERR_BADFORMAT;
}

LRESULT Decompress(Instance* inst, const ICDECOMPRESS* d, LPARAM size) {
  if (!d || static_cast<size_t>(size) < sizeof(ICDECOMPRESS)) return ICERR_BADPARAM;
  if (!IsMjpgInput(d->lpbiInput) || !IsSupportedOutput(d->lpbiInput, d->lpbiOutput))
    return ICERR_BADFORMAT;
  // A frame the caller will drop anyway need not be decoded: every MJPG frame
  // stands alone.
  if (d->dwFlags & ICDECOMPRESS_HURRYUP) return ICERR_OK;
  return inst->decoder.Decode(d->lpbiInput, d->lpInput, d->lpbiOutput, d->lpOutput, Placement{});
}

LRESULT DecompressEx(Instance* inst, const ICDECOMPRESSEX* ex, LPARAM size) {
  if (!ex || static_cast<size_t>(size) < sizeof(ICDECOMPRESSEX)) return ICERR_BADPARAM;
  Placement place;
  if (!ex->lpbiDst || !CheckDecompressEx(ex, &place)) return ICERR_BADFORMAT;
  if (ex->dwFlags & ICDECOMPRESS_HURRYUP) return ICERR_OK;
  return inst->decoder.Decode(ex->lpbiSrc, ex->lpSrc, ex->lpbiDst, ex->lpDst, place);
}

LRESULT QueryEx(const ICDECOMPRESSEX* ex, LPARAM size) {
  if (!ex || static_cast<size_t>(size) < sizeof(ICDECOMPRESSEX)) return ICERR_BADPARAM;
  return CheckDecompressEx(ex, nullptr) ? ICERR_OK : ICERR_BADFORMAT;
}

}  // namespace

extern "C" LRESULT CALLBACK DriverProc(DWORD_PTR driverId, HDRVR driver, UINT msg, LPARAM lParam1,
                                       LPARAM lParam2) {
  LRESULT result = 0;
  if (icm::HandleDriverMessage<Instance>(driverId, driver, msg, lParam1, lParam2, &result))
    return result;
  if (icm::HandleCommonIcmMessage(msg, lParam1, lParam2, &result)) return result;

  if (msg == ICM_GETINFO)
    return icm::FillInfo(reinterpret_cast<ICINFO*>(lParam1), static_cast<DWORD>(lParam2), kMjpg, 0,
                         L"MJPG", L"Motion JPEG decompressor");

  auto* inst = reinterpret_cast<Instance*>(driverId);
  const auto* in = reinterpret_cast<const BITMAPINFOHEADER*>(lParam1);
  auto* out = reinterpret_cast<BITMAPINFOHEADER*>(lParam2);
  switch (msg) {
    case ICM_DECOMPRESS_QUERY:
      return Query(in, out);
    case ICM_DECOMPRESS_GET_FORMAT:
      return GetFormat(in, out);
    case ICM_DECOMPRESS_BEGIN:
      return Begin(in, out);
    case ICM_DECOMPRESS:
      if (!inst) return ICERR_BADHANDLE;
      return Decompress(inst, reinterpret_cast<const ICDECOMPRESS*>(lParam1), lParam2);
    case ICM_DECOMPRESS_END:
    case ICM_DECOMPRESSEX_END:
      return ICERR_OK;
    case ICM_DECOMPRESSEX_QUERY:
      return QueryEx(reinterpret_cast<const ICDECOMPRESSEX*>(lParam1), lParam2);
    case ICM_DECOMPRESSEX_BEGIN: {
      const auto* ex = reinterpret_cast<const ICDECOMPRESSEX*>(lParam1);
      if (!ex || static_cast<size_t>(lParam2) < sizeof(ICDECOMPRESSEX)) return ICERR_BADPARAM;
      return ex->lpbiDst && CheckDecompressEx(ex, nullptr) ? ICERR_OK : ICERR_BADFORMAT;
    }
    case ICM_DECOMPRESSEX:
      if (!inst) return ICERR_BADHANDLE;
      return DecompressEx(inst, reinterpret_cast<const ICDECOMPRESSEX*>(lParam1), lParam2);
    case ICM_DECOMPRESS_GET_PALETTE:
    case ICM_DECOMPRESS_SET_PALETTE:
      return ICERR_UNSUPPORTED;  // no palettised output
    case ICM_COMPRESS_QUERY:
      return ICERR_BADFORMAT;  // a decompressor only
    default:
      return ICERR_UNSUPPORTED;
  }
}
