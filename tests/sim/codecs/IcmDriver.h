#pragma once
// Pieces shared by the installable video codecs (Video for Windows ICM drivers):
// FourCC comparison, DIB geometry with overflow checks, and the DRV_* part of
// DriverProc that every driver answers the same way.
#include <windows.h>

#include <mmsystem.h>
#include <vfw.h>

#include <cstdint>
#include <cstring>
#include <new>

namespace icm {

// Largest picture side we accept; keeps every size computation far from overflow
// and stops a forged header from making us allocate or write gigabytes.
constexpr LONG kMaxSide = 16384;

constexpr DWORD FourCC(char a, char b, char c, char d) {
  return static_cast<DWORD>(static_cast<uint8_t>(a)) |
         (static_cast<DWORD>(static_cast<uint8_t>(b)) << 8) |
         (static_cast<DWORD>(static_cast<uint8_t>(c)) << 16) |
         (static_cast<DWORD>(static_cast<uint8_t>(d)) << 24);
}

// FourCCs are compared without regard to case, as the system does for handlers.
inline bool SameFourCC(DWORD a, DWORD b) {
  for (int i = 0; i < 4; ++i) {
    char ca = static_cast<char>((a >> (8 * i)) & 0xFF);
    char cb = static_cast<char>((b >> (8 * i)) & 0xFF);
    if (ca >= 'a' && ca <= 'z') ca = static_cast<char>(ca - 'a' + 'A');
    if (cb >= 'a' && cb <= 'z') cb = static_cast<char>(cb - 'a' + 'A');
    if (ca != cb) return false;
  }
  return true;
}

// Bytes per row of an uncompressed DIB: rows are padded to four bytes.
inline uint32_t DibStride(LONG width, WORD bitCount) {
  return static_cast<uint32_t>(((static_cast<uint64_t>(width) * bitCount + 31) / 32) * 4);
}

inline LONG AbsHeight(const BITMAPINFOHEADER* bi) {
  return bi->biHeight < 0 ? -bi->biHeight : bi->biHeight;
}

// The picture has a usable size: positive width, non-zero height, both bounded.
inline bool SaneDimensions(const BITMAPINFOHEADER* bi) {
  return bi && bi->biSize >= sizeof(BITMAPINFOHEADER) && bi->biWidth > 0 &&
         bi->biWidth <= kMaxSide && bi->biHeight != 0 && bi->biHeight >= -kMaxSide &&
         bi->biHeight <= kMaxSide;
}

// An uncompressed BI_RGB bitmap of the given depth whose declared image size (when
// given) covers its rows, so a caller that allocated biSizeImage bytes is safe.
inline bool IsRgbDib(const BITMAPINFOHEADER* bi, WORD bitCount) {
  if (!SaneDimensions(bi) || bi->biCompression != BI_RGB || bi->biBitCount != bitCount)
    return false;
  uint64_t need = static_cast<uint64_t>(DibStride(bi->biWidth, bitCount)) * AbsHeight(bi);
  return bi->biSizeImage == 0 || bi->biSizeImage >= need;
}

// The format a codec offers for a width x height picture: 24 bits a pixel, one
// plane, the given compression and image size.
inline BITMAPINFOHEADER Format24(LONG width, LONG height, DWORD compression, DWORD sizeImage) {
  BITMAPINFOHEADER f = {};
  f.biSize = sizeof(BITMAPINFOHEADER);
  f.biWidth = width;
  f.biHeight = height;
  f.biPlanes = 1;
  f.biBitCount = 24;
  f.biCompression = compression;
  f.biSizeImage = sizeImage;
  return f;
}

// An uncompressed 24-bit DIB of width x height (bottom-up for a positive height).
inline BITMAPINFOHEADER Rgb24Format(LONG width, LONG height) {
  return Format24(width, height, BI_RGB, DibStride(width, 24) * static_cast<DWORD>(height));
}

// Wine's AVI Decompressor (8.0) hands its input format as the output format to
// ICM_DECOMPRESS_BEGIN, while its frames then name the real output. The codecs
// let that case through rather than stop the whole graph from pausing: every
// ICM_DECOMPRESS carries both formats again and is checked on its own.
inline bool IsInputRepeatedAsOutput(const BITMAPINFOHEADER* in, const BITMAPINFOHEADER* out) {
  return std::memcmp(out, in, sizeof(BITMAPINFOHEADER)) == 0;
}

// Copies the codec's description into the caller's ICINFO. Returns the byte count
// the ICM_GETINFO message reports (0 when the caller's record is too small).
inline LRESULT FillInfo(ICINFO* info, DWORD size, DWORD handler, DWORD flags, const wchar_t* name,
                        const wchar_t* description) {
  if (!info || size < sizeof(ICINFO)) return 0;
  ICINFO out = {};
  out.dwSize = sizeof(ICINFO);
  out.fccType = ICTYPE_VIDEO;
  out.fccHandler = handler;
  out.dwFlags = flags;
  out.dwVersion = 0x00010000;
  out.dwVersionICM = ICVERSION;
  for (size_t i = 0; name[i] && i + 1 < sizeof(out.szName) / sizeof(out.szName[0]); ++i)
    out.szName[i] = name[i];
  for (size_t i = 0;
       description[i] && i + 1 < sizeof(out.szDescription) / sizeof(out.szDescription[0]); ++i)
    out.szDescription[i] = description[i];
  *info = out;
  return sizeof(ICINFO);
}

// The DRV_* messages every codec answers alike. `Instance` is the codec's
// per-open state; DRV_OPEN creates one (nullptr refuses the open) and its
// address becomes the driver id of every later message. Returns true when the
// message was handled here.
template <class Instance>
bool HandleDriverMessage(DWORD_PTR driverId, HDRVR driver, UINT msg, LPARAM lParam1, LPARAM lParam2,
                         LRESULT* result) {
  switch (msg) {
    case DRV_LOAD:
    case DRV_FREE:
    case DRV_ENABLE:
    case DRV_DISABLE:
    case DRV_INSTALL:
    case DRV_REMOVE:
      *result = DRV_OK;
      return true;
    case DRV_OPEN: {
      ICOPEN* open = reinterpret_cast<ICOPEN*>(lParam2);
      // Opened without ICOPEN (for configuration): still a valid instance.
      if (open && !SameFourCC(open->fccType, ICTYPE_VIDEO) &&
          !SameFourCC(open->fccType, streamtypeVIDEO)) {
        open->dwError = static_cast<DWORD>(ICERR_UNSUPPORTED);
        *result = 0;
        return true;
      }
      Instance* inst = new (std::nothrow) Instance();
      if (open) open->dwError = inst ? ICERR_OK : static_cast<DWORD>(ICERR_MEMORY);
      *result = reinterpret_cast<LRESULT>(inst);
      return true;
    }
    case DRV_CLOSE:
      delete reinterpret_cast<Instance*>(driverId);
      *result = DRV_OK;
      return true;
    case DRV_QUERYCONFIGURE:
      *result = 0;  // no configuration dialog
      return true;
    case DRV_CONFIGURE:
      *result = DRVCNF_CANCEL;
      return true;
    default:
      if (msg < DRV_USER) {
        *result = DefDriverProc(driverId, driver, msg, lParam1, lParam2);
        return true;
      }
      return false;
  }
}

// ICM messages that carry no codec-specific meaning for a codec without state
// or dialogs. Returns true when handled.
inline bool HandleCommonIcmMessage(UINT msg, LPARAM lParam1, LPARAM lParam2, LRESULT* result) {
  switch (msg) {
    case ICM_ABOUT:
    case ICM_CONFIGURE:
      // lParam1 == -1 asks whether a dialog exists: it does not.
      *result = ICERR_UNSUPPORTED;
      return true;
    case ICM_GETSTATE:
      *result = 0;  // no state: zero bytes
      return true;
    case ICM_SETSTATE:
      *result = 0;
      return true;
    default:
      return false;
  }
}

}  // namespace icm
