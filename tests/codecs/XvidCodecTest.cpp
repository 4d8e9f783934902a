// The XVID compressor as the recording path uses it: found by AVIFile through the
// registry, fed 1280 x 720 x 24 frames through a compressed stream, read back
// from the file it produced.
#include <gtest/gtest.h>

#include <windows.h>

#include <vfw.h>

#include <cstring>
#include <string>
#include <vector>

#include "AviParser.h"
#include "CodecTestUtil.h"
#include "TestEnv.h"
#include "TestImages.h"
#include "XvidFrame.h"

using namespace codec_test;

namespace {

constexpr int kW = 1280, kH = 720;
constexpr DWORD kQuality = 9000;

// Bottom-up 24-bit DIB bits (no padding at this width) of a test picture; the
// kinds differ in how well they run-length code.
std::vector<uint8_t> MakeFrame(int width, int height, int kind) {
  std::vector<uint8_t> px(static_cast<size_t>(DibStride(width, 24)) * height, 0);
  uint32_t noise = 99u + static_cast<uint32_t>(kind);
  for (int y = 0; y < height; ++y) {
    uint8_t* row = &px[static_cast<size_t>(y) * DibStride(width, 24)];
    for (int x = 0; x < width; ++x) {
      uint8_t* p = row + x * 3;
      noise = noise * 1664525u + 1013904223u;
      switch (kind) {
        case 0:  // flat areas: runs
          p[0] = static_cast<uint8_t>((x / 64) * 20);
          p[1] = static_cast<uint8_t>((y / 48) * 15);
          p[2] = 200;
          break;
        case 1:  // noise: no runs at all
          p[0] = static_cast<uint8_t>(noise >> 24);
          p[1] = static_cast<uint8_t>(noise >> 16);
          p[2] = static_cast<uint8_t>(noise >> 8);
          break;
        default:  // page-like: text rows with noise between flat stretches
          p[0] = p[1] = p[2] = ((y / 10) % 3 == 0 && (noise >> 28) < 6) ? 20 : 235;
          break;
      }
    }
  }
  return px;
}

// Writes frames the way the viewer's AVI writer does.
HRESULT WriteAvi(const std::string& path, const std::vector<std::vector<uint8_t>>& frames) {
  AVIFileInit();
  PAVIFILE file = nullptr;
  PAVISTREAM stream = nullptr, compressed = nullptr;
  HRESULT hr = AVIFileOpenA(&file, path.c_str(), OF_CREATE | OF_WRITE, nullptr);
  if (SUCCEEDED(hr)) {
    AVISTREAMINFOA info = {};
    info.fccType = streamtypeVIDEO;
    info.fccHandler = kXvid;
    info.dwScale = 1000;
    info.dwRate = 60000;
    info.dwSuggestedBufferSize = kW * kH * 4;
    info.dwQuality = kQuality;
    SetRect(&info.rcFrame, 0, 0, kW, kH);
    lstrcpynA(info.szName, "Video Stream", sizeof info.szName);
    hr = AVIFileCreateStreamA(file, &stream, &info);
  }
  if (SUCCEEDED(hr)) {
    AVICOMPRESSOPTIONS options = {};
    options.fccType = streamtypeVIDEO;
    options.fccHandler = kXvid;
    options.dwKeyFrameEvery = 1;
    options.dwQuality = kQuality;
    options.dwFlags = AVICOMPRESSF_KEYFRAMES | AVICOMPRESSF_VALID;
    hr = AVIMakeCompressedStream(&compressed, stream, &options, nullptr);
  }
  if (SUCCEEDED(hr)) {
    BITMAPINFOHEADER format = RgbFormat(kW, kH, 24);
    hr = AVIStreamSetFormat(compressed, 0, &format, sizeof format);
  }
  for (size_t i = 0; SUCCEEDED(hr) && i < frames.size(); ++i)
    hr = AVIStreamWrite(compressed, static_cast<LONG>(i), 1, const_cast<uint8_t*>(frames[i].data()),
                        static_cast<LONG>(frames[i].size()), 0, nullptr, nullptr);
  if (compressed) AVIStreamRelease(compressed);
  if (stream) AVIStreamRelease(stream);
  if (file) AVIFileRelease(file);
  AVIFileExit();
  return hr;
}

HIC OpenXvid(UINT mode) { return ICOpen(ICTYPE_VIDEO, kXvid, mode); }

// Compresses one frame; returns the ICM result and the compressed bytes.
LONG CompressFrame(HIC hic, const BITMAPINFOHEADER& in, const std::vector<uint8_t>& bits,
                   std::string* out, DWORD* flags) {
  BITMAPINFOHEADER input = in;
  BITMAPINFOHEADER output = {};
  if (Result(ICCompressGetFormat(hic, &input, &output)) != ICERR_OK) return ICERR_BADFORMAT;
  const LRESULT size = ICCompressGetSize(hic, &input, &output);
  if (size <= 0) return ICERR_BADFORMAT;
  std::vector<uint8_t> buf(static_cast<size_t>(size));
  DWORD ckid = 0;
  *flags = 0;
  LONG r = Result(ICCompress(hic, ICCOMPRESS_KEYFRAME, &output, buf.data(), &input,
                             const_cast<uint8_t*>(bits.data()), &ckid, flags, 0, 0, kQuality,
                             nullptr, nullptr));
  if (r == ICERR_OK) out->assign(reinterpret_cast<const char*>(buf.data()), output.biSizeImage);
  return r;
}

LONG DecompressFrame(HIC hic, const std::string& frame, LONG width, LONG height,
                     const BITMAPINFOHEADER& outFormat, std::vector<uint8_t>* pixels,
                     uint8_t fill = 0) {
  BITMAPINFOHEADER in = CompressedFormat(kXvid, width, height, static_cast<DWORD>(frame.size()));
  BITMAPINFOHEADER out = outFormat;
  pixels->assign(out.biSizeImage, fill);
  std::vector<uint8_t> src(frame.begin(), frame.end());
  return Result(ICDecompress(hic, 0, &in, src.data(), &out, pixels->data()));
}

}  // namespace

TEST(XvidCodec, AviFileWritesAStreamThatParsesBackWithTheViewersSettings) {
  const std::string dir = orba_test::MakeTempDir("xvid");
  const std::string path = dir + "\\video.avi";
  std::vector<std::vector<uint8_t>> frames;
  for (int k = 0; k < 3; ++k) frames.push_back(MakeFrame(kW, kH, k));
  ASSERT_EQ(S_OK, WriteAvi(path, frames));

  orba_test::AviFile avi;
  std::string error;
  ASSERT_TRUE(orba_test::ParseAviFile(path, &avi, &error)) << error;
  ASSERT_EQ(1u, avi.streams.size());
  EXPECT_EQ(1u, avi.mainHeader.streams);
  EXPECT_EQ(3u, avi.mainHeader.totalFrames);
  EXPECT_EQ(static_cast<uint32_t>(kW), avi.mainHeader.width);
  EXPECT_EQ(static_cast<uint32_t>(kH), avi.mainHeader.height);

  const orba_test::AviStream& s = avi.streams[0];
  EXPECT_EQ("vids", orba_test::FourCCText(s.header.fccType));
  EXPECT_EQ("XVID", orba_test::FourCCText(s.header.fccHandler));
  EXPECT_EQ(1000u, s.header.scale);
  EXPECT_EQ(60000u, s.header.rate);
  EXPECT_EQ(3u, s.header.length);
  EXPECT_EQ(kQuality, s.header.quality);
  ASSERT_TRUE(s.header.hasFrameRect);
  EXPECT_EQ(kW, s.header.rcFrame.right);
  EXPECT_EQ(kH, s.header.rcFrame.bottom);
  EXPECT_EQ("Video Stream", s.name);

  ASSERT_TRUE(s.hasBitmapInfo);
  EXPECT_EQ(kW, s.bitmapInfo.width);
  EXPECT_EQ(kH, s.bitmapInfo.height);
  EXPECT_EQ("XVID", orba_test::FourCCText(s.bitmapInfo.compression));
  EXPECT_EQ(24, s.bitmapInfo.bitCount);

  const std::string bytes = orba_test::ReadFileBytes(path);
  ASSERT_EQ(3u, s.dataChunks.size());
  ASSERT_TRUE(avi.hasIndex);
  ASSERT_EQ(3u, avi.index.size());
  for (size_t i = 0; i < 3; ++i) {
    const orba_test::AviChunk& c = s.dataChunks[i];
    ASSERT_GE(c.size, sxv::kHeaderSize);
    EXPECT_EQ(0, std::memcmp(bytes.data() + c.offset, sxv::kMagic, 4))
        << "frame " << i << " is not ours";
    EXPECT_EQ(c.id, avi.index[i].chunkId);
    EXPECT_EQ(c.size, avi.index[i].size);
    EXPECT_TRUE(avi.index[i].flags & AVIIF_KEYFRAME) << "frame " << i;
    EXPECT_LE(c.size, s.header.suggestedBufferSize);
  }
  // The flat picture codes to a fraction of its raw size; noise stays raw.
  EXPECT_LT(s.dataChunks[0].size, frames[0].size() / 10);
  EXPECT_EQ(sxv::MaxFrameSize(static_cast<uint64_t>(kW) * kH), s.dataChunks[1].size);
  orba_test::RemoveTree(dir);
}

TEST(XvidCodec, RecordedFramesReadBackUnchangedThroughAviFile) {
  const std::string dir = orba_test::MakeTempDir("xvidread");
  const std::string path = dir + "\\video.avi";
  std::vector<std::vector<uint8_t>> frames;
  for (int k = 0; k < 3; ++k) frames.push_back(MakeFrame(kW, kH, 2 - k));
  ASSERT_EQ(S_OK, WriteAvi(path, frames));

  AVIFileInit();
  PAVIFILE file = nullptr;
  ASSERT_EQ(S_OK, AVIFileOpenA(&file, path.c_str(), OF_READ | OF_SHARE_DENY_WRITE, nullptr));
  PAVISTREAM stream = nullptr;
  ASSERT_EQ(S_OK, AVIFileGetStream(file, &stream, streamtypeVIDEO, 0));
  EXPECT_EQ(3, AVIStreamLength(stream));
  BITMAPINFOHEADER wanted = RgbFormat(kW, kH, 24);
  PGETFRAME getFrame = AVIStreamGetFrameOpen(stream, &wanted);
  ASSERT_TRUE(getFrame != nullptr) << "no decompressor found for the recorded stream";
  for (LONG i = 0; i < 3; ++i) {
    auto* dib = static_cast<const BITMAPINFOHEADER*>(AVIStreamGetFrame(getFrame, i));
    ASSERT_TRUE(dib != nullptr) << i;
    EXPECT_EQ(kW, dib->biWidth);
    EXPECT_EQ(kH, dib->biHeight);
    const uint8_t* bits =
        reinterpret_cast<const uint8_t*>(dib) + dib->biSize + dib->biClrUsed * sizeof(RGBQUAD);
    EXPECT_EQ(0, std::memcmp(bits, frames[static_cast<size_t>(i)].data(),
                             frames[static_cast<size_t>(i)].size()))
        << "frame " << i;
  }
  AVIStreamGetFrameClose(getFrame);
  AVIStreamRelease(stream);
  AVIFileRelease(file);
  AVIFileExit();
  orba_test::RemoveTree(dir);
}

TEST(XvidCodec, TakesTwentyFourBitRgbAndReportsItsOutputFormat) {
  Hic hic(OpenXvid(ICMODE_COMPRESS));
  ASSERT_TRUE(hic) << "vidc.xvid is not installed";
  ICINFO info = {};
  ASSERT_EQ(static_cast<LRESULT>(sizeof info), ICGetInfo(hic.get(), &info, sizeof info));
  EXPECT_EQ(kXvid, info.fccHandler);

  BITMAPINFOHEADER rgb24 = RgbFormat(kW, kH, 24);
  BITMAPINFOHEADER topDown = RgbFormat(kW, -kH, 24);
  EXPECT_EQ(ICERR_OK, Result(ICCompressQuery(hic.get(), &rgb24, nullptr)));
  EXPECT_EQ(ICERR_OK, Result(ICCompressQuery(hic.get(), &topDown, nullptr)));
  BITMAPINFOHEADER rgb32 = RgbFormat(kW, kH, 32), rgb16 = RgbFormat(kW, kH, 16);
  BITMAPINFOHEADER mjpg = CompressedFormat(kMjpg, kW, kH, 1000);
  for (const BITMAPINFOHEADER* in : {&rgb32, &rgb16, &mjpg})
    EXPECT_EQ(ICERR_BADFORMAT, Result(ICCompressQuery(hic.get(), in, nullptr)));

  ASSERT_EQ(static_cast<LRESULT>(sizeof(BITMAPINFOHEADER)),
            ICCompressGetFormatSize(hic.get(), &rgb24));
  BITMAPINFOHEADER out = {};
  ASSERT_EQ(ICERR_OK, Result(ICCompressGetFormat(hic.get(), &rgb24, &out)));
  EXPECT_EQ(kXvid, out.biCompression);
  EXPECT_EQ(kW, out.biWidth);
  EXPECT_EQ(kH, out.biHeight);
  EXPECT_EQ(ICERR_OK, Result(ICCompressQuery(hic.get(), &rgb24, &out)));
  BITMAPINFOHEADER otherSize = out;
  otherSize.biWidth = 640;
  EXPECT_EQ(ICERR_BADFORMAT, Result(ICCompressQuery(hic.get(), &rgb24, &otherSize)));
  EXPECT_EQ(static_cast<LRESULT>(sxv::MaxFrameSize(static_cast<uint64_t>(kW) * kH)),
            ICCompressGetSize(hic.get(), &rgb24, &out));

  // Quality: a default to offer, and the value the caller sets is kept.
  DWORD quality = 0;
  ASSERT_EQ(ICERR_OK, Result(ICSendMessage(hic.get(), ICM_GETDEFAULTQUALITY, (DWORD_PTR)&quality,
                                           sizeof quality)));
  EXPECT_EQ(7500u, quality);
  EXPECT_EQ(ICERR_OK, Result(ICSendMessage(hic.get(), ICM_SETQUALITY, kQuality, 0)));
  ASSERT_EQ(ICERR_OK,
            Result(ICSendMessage(hic.get(), ICM_GETQUALITY, (DWORD_PTR)&quality, sizeof quality)));
  EXPECT_EQ(kQuality, quality);
  EXPECT_NE(ICERR_OK, Result(ICSendMessage(hic.get(), ICM_SETQUALITY, 10001, 0)));
  ICCOMPRESSFRAMES frames = {};
  frames.lQuality = 8000;
  frames.dwRate = 60000;
  frames.dwScale = 1000;
  frames.lKeyRate = 1;
  EXPECT_EQ(ICERR_OK, Result(ICSendMessage(hic.get(), ICM_COMPRESS_FRAMES_INFO, (DWORD_PTR)&frames,
                                           sizeof frames)));
  ASSERT_EQ(ICERR_OK,
            Result(ICSendMessage(hic.get(), ICM_GETQUALITY, (DWORD_PTR)&quality, sizeof quality)));
  EXPECT_EQ(8000u, quality);
}

TEST(XvidCodec, DecompressesItsOwnFramesToTheOriginalPixels) {
  Hic compressor(OpenXvid(ICMODE_COMPRESS));
  Hic decompressor(OpenXvid(ICMODE_DECOMPRESS));
  ASSERT_TRUE(compressor && decompressor);

  struct Case {
    int width, height, kind;
    bool topDown;
  } cases[] = {{kW, kH, 0, false},
               {kW, kH, 1, false},
               {kW, kH, 2, true},
               {333, 17, 2, false},
               {1, 1, 0, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.width << "x" << c.height << " kind " << c.kind
                                    << (c.topDown ? " top-down" : ""));
    const std::vector<uint8_t> bits = MakeFrame(c.width, c.height, c.kind);
    BITMAPINFOHEADER in = RgbFormat(c.width, c.topDown ? -c.height : c.height, 24);
    std::string frame;
    DWORD flags = 0;
    ASSERT_EQ(ICERR_OK, CompressFrame(compressor.get(), in, bits, &frame, &flags));
    EXPECT_TRUE(flags & AVIIF_KEYFRAME);
    ASSERT_GE(frame.size(), sxv::kHeaderSize);
    EXPECT_LE(frame.size(), sxv::MaxFrameSize(static_cast<uint64_t>(c.width) * c.height));

    // Back into the orientation it came in.
    std::vector<uint8_t> back;
    ASSERT_EQ(ICERR_OK, DecompressFrame(decompressor.get(), frame, c.width, c.height, in, &back));
    EXPECT_TRUE(back == bits);
    // And into the other one: the rows come out mirrored.
    BITMAPINFOHEADER flipped = RgbFormat(c.width, c.topDown ? c.height : -c.height, 24);
    ASSERT_EQ(ICERR_OK,
              DecompressFrame(decompressor.get(), frame, c.width, c.height, flipped, &back));
    const size_t stride = DibStride(c.width, 24);
    size_t badRows = 0;
    for (int y = 0; y < c.height; ++y)
      if (std::memcmp(&back[y * stride], &bits[(c.height - 1 - y) * stride], c.width * 3) != 0)
        ++badRows;
    EXPECT_EQ(0u, badRows);
  }
}

TEST(XvidCodec, RefusesDamagedFramesWithoutWritingAnything) {
  Hic compressor(OpenXvid(ICMODE_COMPRESS));
  Hic decompressor(OpenXvid(ICMODE_DECOMPRESS));
  ASSERT_TRUE(compressor && decompressor);
  const int w = 64, h = 32;
  BITMAPINFOHEADER in = RgbFormat(w, h, 24);
  std::string rle, raw;
  DWORD flags;
  ASSERT_EQ(ICERR_OK, CompressFrame(compressor.get(), in, MakeFrame(w, h, 0), &rle, &flags));
  ASSERT_EQ(ICERR_OK, CompressFrame(compressor.get(), in, MakeFrame(w, h, 1), &raw, &flags));
  ASSERT_EQ(sxv::kCodingRle, rle[6]);
  ASSERT_EQ(sxv::kCodingRaw, raw[6]);

  std::string badMagic = rle;
  badMagic[0] = 'X';
  std::string otherSize = rle;
  otherSize[8] = 65;
  std::string tooManyPixels = rle;
  tooManyPixels[sxv::kHeaderSize] = static_cast<char>(0xFF);  // first run claims 129 pixels
  tooManyPixels += std::string(4 * 40, static_cast<char>(0xFF));
  std::string unknownCoding = rle;
  unknownCoding[6] = 7;
  const std::string cases[] = {rle.substr(0, rle.size() - 1),
                               raw.substr(0, raw.size() - 5),
                               raw + "x",
                               rle + std::string(1, '\0'),
                               badMagic,
                               otherSize,
                               tooManyPixels,
                               unknownCoding,
                               rle.substr(0, 10)};
  for (size_t i = 0; i < sizeof cases / sizeof cases[0]; ++i) {
    std::vector<uint8_t> out;
    EXPECT_EQ(ICERR_BADFORMAT, DecompressFrame(decompressor.get(), cases[i], w, h, in, &out, 0xEE))
        << "case " << i;
    EXPECT_TRUE(std::all_of(out.begin(), out.end(), [](uint8_t b) { return b == 0xEE; }))
        << "case " << i;
  }
}
