// The AVI writer as the conversion uses it: real AVIFile, the installed XVID
// stand-in, files read back with the parser and through the codec.
#include <gtest/gtest.h>

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "AviParser.h"
#include "AviWriter.h"
#include "ConvertFrames.h"
#include "RecordingTestUtil.h"
#include "RegistrySnapshot.h"
#include "TestEnv.h"

using rec_test::Bytes;

namespace {

const char kDrivers32[] = "Software\\Microsoft\\Windows NT\\CurrentVersion\\Drivers32";

// A bottom-up 1280 x 720 BGR picture that differs for every k.
Bytes Picture(int k) {
  Bytes px(kVideoFrameBytes);
  for (int y = 0; y < kVideoHeight; ++y)
    for (int x = 0; x < kVideoWidth; ++x) {
      uint8_t* p = &px[static_cast<size_t>(y) * kVideoPitch + x * 3];
      p[0] = static_cast<uint8_t>((x / 32 + k * 17) & 0xFF);
      p[1] = static_cast<uint8_t>((y / 24 + k * 5) & 0xFF);
      p[2] = static_cast<uint8_t>(((x + y) / 64 % 2) ? 40 * k : 255 - 40 * k);
    }
  return px;
}

class AviWriterTest : public ::testing::Test {
 protected:
  void SetUp() override { dir_ = orba_test::MakeTempDir("aviwriter"); }
  void TearDown() override { orba_test::RemoveTree(dir_); }
  std::unique_ptr<AviWriter> MakeWriter(const std::string& path, DWORD codec = kRecordingCodec,
                                        DWORD quality = kRecordingQuality) {
    return std::make_unique<AviWriter>(path.c_str(), codec, kRecordingRate, kRecordingScale,
                                       quality);
  }
  std::string dir_;
};

TEST_F(AviWriterTest, WritesAnXvidStreamAtSixtyFramesPerSecond) {
  const std::string path = dir_ + "\\movie.avi";
  constexpr int kFrames = 5;
  std::vector<Bytes> pictures;
  {
    auto writer = MakeWriter(path);
    EXPECT_EQ(AviWriter::kNotOpened, writer->GetState());
    EXPECT_STREQ("Method Succeeded", writer->GetLastErrorMessage());
    EXPECT_FALSE(orba_test::FileExists(path)) << "the movie opens with the first frame";
    for (int k = 0; k < kFrames; ++k) {
      pictures.push_back(Picture(k));
      ASSERT_EQ(S_OK, writer->AppendNewFrame(kVideoWidth, kVideoHeight, pictures.back().data(), 24))
          << k << ": " << writer->GetLastErrorMessage();
      EXPECT_EQ(AviWriter::kOpen, writer->GetState());
    }
    EXPECT_STREQ("Method Succeeded", writer->GetLastErrorMessage());
  }

  orba_test::AviFile avi;
  std::string error;
  ASSERT_TRUE(orba_test::ParseAviFile(path, &avi, &error)) << error;
  ASSERT_EQ(1u, avi.streams.size());
  const orba_test::AviStream& s = avi.streams[0];
  EXPECT_EQ("vids", orba_test::FourCCText(s.header.fccType));
  EXPECT_EQ("XVID", orba_test::FourCCText(s.header.fccHandler));
  EXPECT_EQ(60000u, s.header.rate);
  EXPECT_EQ(1000u, s.header.scale);
  EXPECT_EQ(static_cast<uint32_t>(kFrames), s.header.length);
  EXPECT_EQ(kRecordingQuality, s.header.quality);
  EXPECT_EQ("Video Stream", s.name);
  ASSERT_TRUE(s.header.hasFrameRect);
  EXPECT_EQ(kVideoWidth, s.header.rcFrame.right);
  EXPECT_EQ(kVideoHeight, s.header.rcFrame.bottom);
  ASSERT_TRUE(s.hasBitmapInfo);
  EXPECT_EQ(kVideoWidth, s.bitmapInfo.width);
  EXPECT_EQ(kVideoHeight, s.bitmapInfo.height);
  EXPECT_EQ(24, s.bitmapInfo.bitCount);
  EXPECT_EQ("XVID", orba_test::FourCCText(s.bitmapInfo.compression));
  EXPECT_EQ(static_cast<size_t>(kFrames), s.dataChunks.size());

  std::vector<Bytes> back;
  ASSERT_TRUE(rec_test::ReadAviFrames(path, &back, &error)) << error;
  ASSERT_EQ(pictures.size(), back.size());
  for (size_t i = 0; i < back.size(); ++i)
    EXPECT_EQ(0u, rec_test::DifferingBytes(pictures[i], back[i])) << "frame " << i;
}

TEST_F(AviWriterTest, QualityZeroMeansTheCodecsDefault) {
  const std::string path = dir_ + "\\default.avi";
  const Bytes picture = Picture(1);
  {
    auto writer = MakeWriter(path, kRecordingCodec, 0);
    EXPECT_EQ(static_cast<DWORD>(-1), writer->GetQuality());
    ASSERT_EQ(S_OK, writer->AppendNewFrame(kVideoWidth, kVideoHeight, picture.data(), 24));
  }
  orba_test::AviFile avi;
  std::string error;
  ASSERT_TRUE(orba_test::ParseAviFile(path, &avi, &error)) << error;
  EXPECT_EQ(0xFFFFFFFFu, avi.streams.at(0).header.quality);
  EXPECT_EQ(kRecordingQuality, MakeWriter(path)->GetQuality());
}

TEST_F(AviWriterTest, UnwritablePathFailsAndEveryLaterFrameFails) {
  const std::string path = dir_ + "\\no such folder\\movie.avi";
  const Bytes picture = Picture(0);
  auto writer = MakeWriter(path);
  EXPECT_EQ(E_FAIL, writer->AppendNewFrame(kVideoWidth, kVideoHeight, picture.data(), 24));
  EXPECT_STREQ("Unable to Create the Movie File", writer->GetLastErrorMessage());
  EXPECT_EQ(AviWriter::kClosed, writer->GetState());
  // State 0 answers every call with E_FAIL, whatever it is given.
  EXPECT_EQ(E_FAIL, writer->AppendNewFrame(kVideoWidth, kVideoHeight, picture.data(), 24));
  EXPECT_EQ(E_FAIL, writer->AppendNewFrame(0, 0, nullptr, 0));
  EXPECT_EQ(AviWriter::kClosed, writer->GetState());
  EXPECT_FALSE(orba_test::FileExists(path));
}

TEST_F(AviWriterTest, NameTooLongIsNotCutButFailsToOpen) {
  const std::string path = dir_ + "\\" + std::string(300, 'v') + ".avi";
  const Bytes picture = Picture(0);
  auto writer = MakeWriter(path);
  EXPECT_STREQ("", writer->GetFileName());
  EXPECT_EQ(E_FAIL, writer->AppendNewFrame(kVideoWidth, kVideoHeight, picture.data(), 24));
  EXPECT_STREQ("Unable to Create the Movie File", writer->GetLastErrorMessage());
  EXPECT_TRUE(orba_test::ListFolder(dir_).empty());
}

TEST_F(AviWriterTest, UnknownCodecFailsAtTheCompressedStream) {
  const std::string path = dir_ + "\\unknown.avi";
  const Bytes picture = Picture(0);
  auto writer = MakeWriter(path, mmioFOURCC('Q', 'Q', 'Z', '9'));
  EXPECT_EQ(E_FAIL, writer->AppendNewFrame(kVideoWidth, kVideoHeight, picture.data(), 24));
  EXPECT_STREQ("Unable to Create Compressed Stream: Check your CODEC options",
               writer->GetLastErrorMessage());
  EXPECT_EQ(AviWriter::kClosed, writer->GetState());
  EXPECT_EQ(E_FAIL, writer->AppendNewFrame(kVideoWidth, kVideoHeight, picture.data(), 24));
}

TEST_F(AviWriterTest, MissingXvidCodecFailsAtTheCompressedStream) {
  orba_test::ScopedRegistryValue driver(HKEY_LOCAL_MACHINE, kDrivers32, "vidc.xvid");
  ASSERT_TRUE(driver.Remove());
  const std::string path = dir_ + "\\nocodec.avi";
  const Bytes picture = Picture(0);
  auto writer = MakeWriter(path);
  EXPECT_EQ(E_FAIL, writer->AppendNewFrame(kVideoWidth, kVideoHeight, picture.data(), 24));
  EXPECT_STREQ("Unable to Create Compressed Stream: Check your CODEC options",
               writer->GetLastErrorMessage());
  EXPECT_EQ(AviWriter::kClosed, writer->GetState());
}

TEST_F(AviWriterTest, BadFrameIsRefusedWithoutClosingTheMovie) {
  const std::string path = dir_ + "\\bad.avi";
  const Bytes picture = Picture(2);
  {
    auto writer = MakeWriter(path);
    EXPECT_EQ(E_INVALIDARG, writer->AppendNewFrame(kVideoWidth, kVideoHeight, nullptr, 24));
    EXPECT_EQ(E_INVALIDARG, writer->AppendNewFrame(-5, kVideoHeight, picture.data(), 24));
    EXPECT_EQ(AviWriter::kNotOpened, writer->GetState());
    ASSERT_EQ(S_OK, writer->AppendNewFrame(kVideoWidth, kVideoHeight, picture.data(), 24));
    EXPECT_EQ(E_INVALIDARG, writer->AppendNewFrame(kVideoWidth, kVideoHeight, picture.data(), 7));
    EXPECT_EQ(AviWriter::kOpen, writer->GetState());
    ASSERT_EQ(S_OK, writer->AppendNewFrame(kVideoWidth, kVideoHeight, picture.data(), 24));
  }
  std::vector<Bytes> back;
  std::string error;
  ASSERT_TRUE(rec_test::ReadAviFrames(path, &back, &error)) << error;
  EXPECT_EQ(2u, back.size());
}

TEST_F(AviWriterTest, WriterWithoutFramesLeavesNoFile) {
  const std::string path = dir_ + "\\never.avi";
  MakeWriter(path).reset();
  EXPECT_FALSE(orba_test::FileExists(path));
}

}  // namespace
