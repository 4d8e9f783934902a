// The motion-JPEG decompressor as the system finds and drives it: through the
// Drivers32 registration, ICLocate/ICOpen and the ICM messages.
#include <gtest/gtest.h>

#include <windows.h>

#include <vfw.h>

#include <cstring>
#include <string>
#include <vector>

#include "CodecTestUtil.h"
#include "TestImages.h"

using namespace codec_test;

namespace {

constexpr int kW = 1280, kH = 720;

std::vector<uint8_t> Bytes(const std::string& s) {
  return std::vector<uint8_t>(s.begin(), s.end());
}

HIC OpenMjpg() { return ICOpen(ICTYPE_VIDEO, kMjpg, ICMODE_DECOMPRESS); }

// Decodes `jpeg` through the codec into a buffer of the output format's size plus
// a guard area, all filled with `fill` first. Returns the ICM result.
LONG DecodeInto(HIC hic, const std::string& jpeg, LONG width, LONG height,
                const BITMAPINFOHEADER& out, std::vector<uint8_t>* buffer, size_t guard = 64,
                uint8_t fill = 0) {
  BITMAPINFOHEADER in = CompressedFormat(kMjpg, width, height, static_cast<DWORD>(jpeg.size()));
  buffer->assign(out.biSizeImage + guard, fill);
  std::vector<uint8_t> src = Bytes(jpeg);
  BITMAPINFOHEADER o = out;
  return Result(ICDecompress(hic, 0, &in, src.data(), &o, buffer->data()));
}

bool GuardIntact(const std::vector<uint8_t>& buffer, size_t from, uint8_t fill) {
  for (size_t i = from; i < buffer.size(); ++i)
    if (buffer[i] != fill) return false;
  return true;
}

}  // namespace

TEST(MjpgCodec, IsFoundThroughTheRegistryForDecompressionOnly) {
  ICINFO info = {};
  info.dwSize = sizeof info;
  ASSERT_TRUE(ICInfo(ICTYPE_VIDEO, kMjpg, &info)) << "vidc.mjpg is not installed";

  BITMAPINFOHEADER in = CompressedFormat(kMjpg, kW, kH, kW * kH * 3);
  // The AVI Decompressor asks with the media type's major type ('vids').
  Hic located(ICLocate(streamtypeVIDEO, kMjpg, &in, nullptr, ICMODE_DECOMPRESS));
  ASSERT_TRUE(located);
  ICINFO got = {};
  ASSERT_EQ(static_cast<LRESULT>(sizeof got), ICGetInfo(located.get(), &got, sizeof got));
  EXPECT_EQ(ICTYPE_VIDEO, got.fccType);
  EXPECT_EQ(kMjpg, got.fccHandler);
  EXPECT_EQ(std::wstring(L"MJPG"), got.szName);

  Hic opened(OpenMjpg());
  ASSERT_TRUE(opened);
  EXPECT_EQ(ICERR_OK, Result(ICDecompressQuery(opened.get(), &in, nullptr)));

  // It is no compressor. (ICLocate for compression may still find another
  // installed codec that takes RGB, but never this one.)
  BITMAPINFOHEADER rgb = RgbFormat(kW, kH, 24);
  EXPECT_NE(ICERR_OK, Result(ICCompressQuery(opened.get(), &rgb, nullptr)));
  Hic compressor(ICLocate(ICTYPE_VIDEO, kMjpg, &rgb, nullptr, ICMODE_COMPRESS));
  if (compressor) {
    ICINFO other = {};
    ICGetInfo(compressor.get(), &other, sizeof other);
    EXPECT_NE(kMjpg, other.fccHandler);
  }
}

TEST(MjpgCodec, OffersRgbOutputsOfTheFrameSizeOnly) {
  Hic hic(OpenMjpg());
  ASSERT_TRUE(hic);
  BITMAPINFOHEADER in = CompressedFormat(kMjpg, kW, kH, 100000);

  for (LONG h : {kH, -kH}) {
    for (WORD bits : {24, 32}) {
      BITMAPINFOHEADER out = RgbFormat(kW, h, bits);
      EXPECT_EQ(ICERR_OK, Result(ICDecompressQuery(hic.get(), &in, &out)))
          << bits << " bits, height " << h;
    }
  }
  // What the AVI Decompressor also asks for, and we cannot produce.
  BITMAPINFOHEADER yuy2 = RgbFormat(kW, kH, 16);
  yuy2.biCompression = mmioFOURCC('Y', 'U', 'Y', '2');
  BITMAPINFOHEADER rgb565 = RgbFormat(kW, kH, 16);
  rgb565.biCompression = BI_BITFIELDS;
  BITMAPINFOHEADER rgb555 = RgbFormat(kW, kH, 16);
  BITMAPINFOHEADER rgb8 = RgbFormat(kW, kH, 8);
  BITMAPINFOHEADER smaller = RgbFormat(640, 360, 24);
  BITMAPINFOHEADER shortBuffer = RgbFormat(kW, kH, 24);
  shortBuffer.biSizeImage -= 1;
  for (const BITMAPINFOHEADER* out : {&yuy2, &rgb565, &rgb555, &rgb8, &smaller, &shortBuffer})
    EXPECT_EQ(ICERR_BADFORMAT, Result(ICDecompressQuery(hic.get(), &in, out)));

  BITMAPINFOHEADER notMjpg = CompressedFormat(mmioFOURCC('H', '2', '6', '4'), kW, kH, 1000);
  EXPECT_NE(ICERR_OK, Result(ICDecompressQuery(hic.get(), &notMjpg, nullptr)));
  BITMAPINFOHEADER absurd = CompressedFormat(kMjpg, 1 << 20, kH, 1000);
  EXPECT_NE(ICERR_OK, Result(ICDecompressQuery(hic.get(), &absurd, nullptr)));

  // Beginning checks the formats too. Wine's AVI Decompressor names its input
  // format as the output when it begins; that must not stop the graph.
  BITMAPINFOHEADER rgb24 = RgbFormat(kW, kH, 24);
  EXPECT_EQ(ICERR_OK, Result(ICDecompressBegin(hic.get(), &in, &rgb24)));
  EXPECT_EQ(ICERR_OK, Result(ICDecompressBegin(hic.get(), &in, &in)));
  EXPECT_EQ(ICERR_BADFORMAT, Result(ICDecompressBegin(hic.get(), &in, &rgb555)));
  EXPECT_EQ(ICERR_BADFORMAT, Result(ICDecompressBegin(hic.get(), &notMjpg, &rgb24)));
  EXPECT_EQ(ICERR_OK, Result(ICDecompressEnd(hic.get())));

  // The default output: 24-bit bottom-up RGB of the frame size.
  ASSERT_EQ(static_cast<LRESULT>(sizeof(BITMAPINFOHEADER)),
            ICDecompressGetFormatSize(hic.get(), &in));
  BITMAPINFOHEADER def = {};
  ASSERT_EQ(ICERR_OK, Result(ICDecompressGetFormat(hic.get(), &in, &def)));
  EXPECT_EQ(kW, def.biWidth);
  EXPECT_EQ(kH, def.biHeight);
  EXPECT_EQ(24, def.biBitCount);
  EXPECT_EQ(static_cast<DWORD>(BI_RGB), def.biCompression);
  EXPECT_EQ(static_cast<DWORD>(kW * 3 * kH), def.biSizeImage);
}

TEST(MjpgCodec, DecodesLikeTurboJpegIntoBottomUpAndTopDownBitmaps) {
  Hic hic(OpenMjpg());
  ASSERT_TRUE(hic);
  const std::string jpeg = MakeJpeg(kW, kH, 1);
  ASSERT_FALSE(jpeg.empty());
  EXPECT_EQ(ICERR_BADFORMAT, Result(ICDecompressBegin(hic.get(), nullptr, nullptr)));
  for (WORD bits : {24, 32}) {
    for (bool bottomUp : {true, false}) {
      BITMAPINFOHEADER out = RgbFormat(kW, bottomUp ? kH : -kH, bits);
      BITMAPINFOHEADER in = CompressedFormat(kMjpg, kW, kH, static_cast<DWORD>(jpeg.size()));
      ASSERT_EQ(ICERR_OK, Result(ICDecompressBegin(hic.get(), &in, &out)));
      std::vector<uint8_t> got;
      ASSERT_EQ(ICERR_OK, DecodeInto(hic.get(), jpeg, kW, kH, out, &got));
      EXPECT_EQ(ICERR_OK, Result(ICDecompressEnd(hic.get())));
      const std::vector<uint8_t> want =
          ReferenceDecode(jpeg, kW, kH, bits / 8, bottomUp, DibStride(kW, bits));
      ASSERT_EQ(want.size(), out.biSizeImage);
      EXPECT_TRUE(std::equal(want.begin(), want.end(), got.begin()))
          << bits << " bits, " << (bottomUp ? "bottom-up" : "top-down");
      EXPECT_TRUE(GuardIntact(got, want.size(), 0));
    }
  }
}

TEST(MjpgCodec, KeepsRowPaddingForWidthsThatAreNotAMultipleOfFour) {
  Hic hic(OpenMjpg());
  ASSERT_TRUE(hic);
  const int w = 638, h = 358;  // 1914 bytes of pixels in a 1916-byte row
  const std::string jpeg = EncodeJpeg(MakePicture(w, h, 3), w, h, 2 /* 4:2:0 */, 90);
  BITMAPINFOHEADER out = RgbFormat(w, h, 24);
  std::vector<uint8_t> got;
  ASSERT_EQ(ICERR_OK, DecodeInto(hic.get(), jpeg, w, h, out, &got));
  const std::vector<uint8_t> want = ReferenceDecode(jpeg, w, h, 3, true, DibStride(w, 24));
  ASSERT_EQ(want.size(), out.biSizeImage);
  EXPECT_TRUE(std::equal(want.begin(), want.end(), got.begin()));
}

TEST(MjpgCodec, DecodesFramesThatLeaveOutTheHuffmanTables) {
  Hic hic(OpenMjpg());
  ASSERT_TRUE(hic);
  const std::string full = MakeJpeg(kW, kH, 2);
  const std::string bare = StripHuffmanTables(full);
  ASSERT_TRUE(HasMarker(full, 0xC4));
  ASSERT_FALSE(HasMarker(bare, 0xC4));
  ASSERT_LT(bare.size(), full.size());

  BITMAPINFOHEADER out = RgbFormat(kW, kH, 24);
  std::vector<uint8_t> got;
  ASSERT_EQ(ICERR_OK, DecodeInto(hic.get(), bare, kW, kH, out, &got));
  const std::vector<uint8_t> want = ReferenceDecode(full, kW, kH, 3, true, DibStride(kW, 24));
  EXPECT_TRUE(std::equal(want.begin(), want.end(), got.begin()));
}

TEST(MjpgCodec, RefusesFramesItCannotDecodeWithoutWritingAnything) {
  Hic hic(OpenMjpg());
  ASSERT_TRUE(hic);
  const uint8_t fill = 0xA5;
  const std::string good = MakeJpeg(640, 360, 4);
  const std::string big = MakeJpeg(kW, kH, 5);

  std::string garbage(5000, '\0');
  for (size_t i = 0; i < garbage.size(); ++i) garbage[i] = static_cast<char>((i * 131 + 7) & 0xFF);
  const std::string headerOnly = good.substr(0, 120);  // ends inside the tables, before the scan
  std::string noSoi = good;
  noSoi[1] = 0x00;

  struct Case {
    const char* what;
    std::string bytes;
  } cases[] = {{"garbage", garbage},
               {"header cut short", headerOnly},
               {"no start-of-image marker", noSoi},
               {"a frame larger than the format", big},
               {"two bytes", good.substr(0, 2)}};
  BITMAPINFOHEADER out = RgbFormat(640, 360, 24);
  for (const Case& c : cases) {
    std::vector<uint8_t> got;
    const LONG r = DecodeInto(hic.get(), c.bytes, 640, 360, out, &got, 64, fill);
    EXPECT_TRUE(r == ICERR_BADFORMAT || r == ICERR_ERROR) << c.what << ": " << r;
    EXPECT_TRUE(GuardIntact(got, 0, fill)) << c.what << ": output was written";
  }

  // A sample length of zero cannot be decoded either.
  BITMAPINFOHEADER in = CompressedFormat(kMjpg, 640, 360, 0);
  std::vector<uint8_t> src = Bytes(good), dst(out.biSizeImage, fill);
  EXPECT_EQ(ICERR_BADFORMAT, Result(ICDecompress(hic.get(), 0, &in, src.data(), &out, dst.data())));
  // Nor a frame against an output the codec does not produce.
  in.biSizeImage = static_cast<DWORD>(src.size());
  BITMAPINFOHEADER rgb16 = RgbFormat(640, 360, 16);
  EXPECT_EQ(ICERR_BADFORMAT,
            Result(ICDecompress(hic.get(), 0, &in, src.data(), &rgb16, dst.data())));
  EXPECT_TRUE(GuardIntact(dst, 0, fill));
}

TEST(MjpgCodec, DeliversADamagedFrameWhoseStartDecodes) {
  Hic hic(OpenMjpg());
  ASSERT_TRUE(hic);
  const std::string jpeg = MakeJpeg(kW, kH, 6);
  // The end of the frame lost, as when a USB transfer drops the last packets.
  const std::string cut = jpeg.substr(0, jpeg.size() * 6 / 10);
  // And one with a stretch of the scan overwritten.
  std::string scrambled = jpeg;
  for (size_t i = jpeg.size() / 2; i < jpeg.size() / 2 + 400; ++i)
    scrambled[i] = static_cast<char>(i * 37);

  const std::vector<uint8_t> want = ReferenceDecode(jpeg, kW, kH, 3, false, DibStride(kW, 24));
  BITMAPINFOHEADER out = RgbFormat(kW, -kH, 24);
  const size_t topRows = 32 * static_cast<size_t>(DibStride(kW, 24));
  for (const std::string* frame : {&cut, static_cast<const std::string*>(&scrambled)}) {
    std::vector<uint8_t> got;
    const LONG r = DecodeInto(hic.get(), *frame, kW, kH, out, &got, 64, 0x5A);
    EXPECT_EQ(ICERR_OK, r);
    EXPECT_TRUE(GuardIntact(got, out.biSizeImage, 0x5A));
    // The rows before the damage are the real picture.
    EXPECT_TRUE(std::equal(want.begin(), want.begin() + topRows, got.begin()));
  }
}

TEST(MjpgCodec, DecompressExPlacesThePictureInsideALargerBitmap) {
  Hic hic(OpenMjpg());
  ASSERT_TRUE(hic);
  const int w = 320, h = 240, dstW = 352, dstH = 260, x = 16, y = 8;
  const std::string jpeg = MakeJpeg(w, h, 7);
  std::vector<uint8_t> src = Bytes(jpeg);
  BITMAPINFOHEADER in = CompressedFormat(kMjpg, w, h, static_cast<DWORD>(src.size()));
  const std::vector<uint8_t> ref = ReferenceDecode(jpeg, w, h, 4, false, DibStride(w, 32));

  for (bool bottomUp : {true, false}) {
    BITMAPINFOHEADER out = RgbFormat(dstW, bottomUp ? dstH : -dstH, 32);
    std::vector<uint8_t> dst(out.biSizeImage, 0x11);
    ICDECOMPRESSEX ex = {};
    ex.lpbiSrc = &in;
    ex.lpSrc = src.data();
    ex.lpbiDst = &out;
    ex.lpDst = dst.data();
    ex.xDst = x;
    ex.yDst = y;
    ex.dxDst = w;
    ex.dyDst = h;
    ex.dxSrc = w;
    ex.dySrc = h;
    ASSERT_EQ(ICERR_OK,
              Result(ICSendMessage(hic.get(), ICM_DECOMPRESSEX_QUERY, (DWORD_PTR)&ex, sizeof ex)));
    ASSERT_EQ(ICERR_OK,
              Result(ICSendMessage(hic.get(), ICM_DECOMPRESSEX_BEGIN, (DWORD_PTR)&ex, sizeof ex)));
    ASSERT_EQ(ICERR_OK,
              Result(ICSendMessage(hic.get(), ICM_DECOMPRESSEX, (DWORD_PTR)&ex, sizeof ex)));
    EXPECT_EQ(ICERR_OK, Result(ICSendMessage(hic.get(), ICM_DECOMPRESSEX_END, 0, 0)));

    const size_t stride = DibStride(dstW, 32);
    size_t mismatches = 0, touchedOutside = 0;
    for (int row = 0; row < dstH; ++row) {  // counted from the top of the picture
      const size_t stored =
          bottomUp ? static_cast<size_t>(dstH - 1 - row) : static_cast<size_t>(row);
      for (int col = 0; col < dstW; ++col) {
        const uint8_t* p = &dst[stored * stride + static_cast<size_t>(col) * 4];
        const bool inside = row >= y && row < y + h && col >= x && col < x + w;
        if (inside) {
          const uint8_t* q = &ref[static_cast<size_t>(row - y) * DibStride(w, 32) +
                                  static_cast<size_t>(col - x) * 4];
          if (std::memcmp(p, q, 3) != 0) ++mismatches;
        } else if (p[0] != 0x11 || p[1] != 0x11 || p[2] != 0x11 || p[3] != 0x11) {
          ++touchedOutside;
        }
      }
    }
    EXPECT_EQ(0u, mismatches) << (bottomUp ? "bottom-up" : "top-down");
    EXPECT_EQ(0u, touchedOutside) << (bottomUp ? "bottom-up" : "top-down");

    // Scaling and a rectangle that leaves the bitmap are refused.
    ICDECOMPRESSEX scaled = ex;
    scaled.dxDst = w * 2;
    EXPECT_NE(ICERR_OK, Result(ICSendMessage(hic.get(), ICM_DECOMPRESSEX_QUERY, (DWORD_PTR)&scaled,
                                             sizeof scaled)));
    ICDECOMPRESSEX outside = ex;
    outside.xDst = dstW - w + 1;
    EXPECT_NE(ICERR_OK, Result(ICSendMessage(hic.get(), ICM_DECOMPRESSEX_QUERY, (DWORD_PTR)&outside,
                                             sizeof outside)));
    EXPECT_NE(ICERR_OK, Result(ICSendMessage(hic.get(), ICM_DECOMPRESSEX, (DWORD_PTR)&outside,
                                             sizeof outside)));
  }
}
