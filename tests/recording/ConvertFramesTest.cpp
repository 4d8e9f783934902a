// The conversion thread on real camera frames written as the filter writes
// them, with the real AVIFile and the installed XVID stand-in.
#include <gtest/gtest.h>

#include <windows.h>

#include <thread>

#include "AviParser.h"
#include "ConvertFrames.h"
#include "DebugOutputCapture.h"
#include "RecordingTestUtil.h"
#include "RegistrySnapshot.h"
#include "TestEnv.h"

using rec_test::Bytes;

namespace {

const char kDrivers32[] = "Software\\Microsoft\\Windows NT\\CurrentVersion\\Drivers32";

class ConvertFramesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    pictures_ = orba_test::MakeTempDir("convert");
    folder_ = pictures_ + "\\temp";
    final_ = pictures_ + "\\video_240103_09.05.07.avi";
  }
  void TearDown() override { orba_test::RemoveTree(pictures_); }

  // Writes camera frames with the given numbers; returns their JPEGs.
  std::vector<Bytes> WriteCameraFrames(const std::vector<long>& numbers) {
    std::vector<Bytes> written;
    for (long n : numbers) {
      written.push_back(rec_test::CameraFrame(static_cast<uint32_t>(100 + n)));
      EXPECT_FALSE(written.back().empty());
      EXPECT_TRUE(rec_test::WriteFrameFile(folder_, n, written.back()));
    }
    return written;
  }

  // The video at path holds exactly these pictures.
  void ExpectVideo(const std::string& path, const std::vector<Bytes>& expected) {
    std::vector<Bytes> frames;
    std::string error;
    ASSERT_TRUE(rec_test::ReadAviFrames(path, &frames, &error)) << error;
    ASSERT_EQ(expected.size(), frames.size());
    for (size_t i = 0; i < frames.size(); ++i)
      EXPECT_EQ(0u, rec_test::DifferingBytes(expected[i], frames[i])) << "frame " << i;
  }

  std::string pictures_, folder_, final_;
};

std::vector<Bytes> Decoded(const std::vector<Bytes>& jpegs) {
  std::vector<Bytes> out;
  for (const Bytes& j : jpegs) out.push_back(rec_test::ReferenceDecode(j));
  return out;
}

TEST_F(ConvertFramesTest, EveryFrameBecomesAVideoFrameAndTheFolderGoes) {
  const std::vector<Bytes> jpegs = WriteCameraFrames({0, 1, 2, 3, 4, 5});
  orba_test::DebugOutputCapture log;
  rec_test::ConvertJob job(folder_, final_);
  EXPECT_EQ(0u, job.Run());

  EXPECT_EQ(nullptr, job.params().writer) << "the thread deletes the writer and clears the field";
  EXPECT_FALSE(orba_test::FileExists(folder_));
  ASSERT_TRUE(orba_test::FileExists(final_));
  ExpectVideo(final_, Decoded(jpegs));

  orba_test::AviFile avi;
  std::string error;
  ASSERT_TRUE(orba_test::ParseAviFile(final_, &avi, &error)) << error;
  const orba_test::AviStream& s = avi.streams.at(0);
  EXPECT_EQ("XVID", orba_test::FourCCText(s.header.fccHandler));
  EXPECT_EQ(60000u, s.header.rate);
  EXPECT_EQ(1000u, s.header.scale);
  EXPECT_EQ(6u, s.header.length);
  EXPECT_EQ(kVideoWidth, s.bitmapInfo.width);
  EXPECT_EQ(kVideoHeight, s.bitmapInfo.height);
  EXPECT_EQ(24, s.bitmapInfo.bitCount);

  EXPECT_TRUE(log.Contains("ConvertFramesToAvi entry!"));
  EXPECT_EQ(7u, log.Count("F\xF6re Bmp creation"));
  EXPECT_EQ(6u, log.Count("Decode time JPEG:"));
  EXPECT_EQ(6u, log.Count("Decode time AppendNewFrame:"));
  EXPECT_EQ(6u, log.Count("res = 0"));
  EXPECT_EQ(1u, log.Count("file = NULL!"));
  EXPECT_TRUE(log.Contains("Stopped saving video! :)"));
  EXPECT_TRUE(log.Contains("ConvertFramesToAvi Exit!"));
}

TEST_F(ConvertFramesTest, NoFramesGiveNoVideoAndNoFolder) {
  for (bool folderExists : {false, true}) {
    SCOPED_TRACE(folderExists ? "empty folder" : "no folder");
    if (folderExists) CreateDirectoryA(folder_.c_str(), nullptr);
    orba_test::DebugOutputCapture log;
    rec_test::ConvertJob job(folder_, final_);
    EXPECT_EQ(0u, job.Run());
    EXPECT_EQ(nullptr, job.params().writer);
    EXPECT_FALSE(orba_test::FileExists(final_));
    EXPECT_FALSE(orba_test::FileExists(folder_));
    EXPECT_TRUE(log.Contains("file = NULL!"));
    EXPECT_TRUE(log.Contains("Stopped saving video! :)"));
    EXPECT_TRUE(orba_test::ListFolder(pictures_).empty());
  }
}

TEST_F(ConvertFramesTest, AVideoOfTheSameNameIsKeptAndTheNewOneTakesTheNextName) {
  ASSERT_TRUE(orba_test::WriteFileBytes(final_, "an earlier video"));
  const std::string second = pictures_ + "\\video_240103_09.05.07_2.avi";
  const std::string third = pictures_ + "\\video_240103_09.05.07_3.avi";
  const std::vector<Bytes> jpegs = WriteCameraFrames({0, 1});
  {
    rec_test::ConvertJob job(folder_, final_);
    EXPECT_EQ(0u, job.Run());
  }
  EXPECT_EQ("an earlier video", orba_test::ReadFileBytes(final_));
  ASSERT_TRUE(orba_test::FileExists(second));
  ExpectVideo(second, Decoded(jpegs));
  EXPECT_FALSE(orba_test::FileExists(folder_));

  // And again: the first free name.
  const std::vector<Bytes> more = WriteCameraFrames({0});
  {
    rec_test::ConvertJob job(folder_, final_);
    EXPECT_EQ(0u, job.Run());
  }
  ExpectVideo(second, Decoded(jpegs));
  ExpectVideo(third, Decoded(more));
}

TEST_F(ConvertFramesTest, AMissingFrameNumberDoesNotEndTheVideo) {
  // A stray number far above the others costs nothing but itself.
  const std::vector<Bytes> jpegs = WriteCameraFrames({0, 1, 3, 4, 7, 2000000000});
  orba_test::DebugOutputCapture log;
  rec_test::ConvertJob job(folder_, final_);
  EXPECT_EQ(0u, job.Run());
  ExpectVideo(final_, Decoded(jpegs));
  EXPECT_FALSE(orba_test::FileExists(folder_));
  EXPECT_TRUE(log.Contains("Frame 2 is missing"));
  EXPECT_TRUE(log.Contains("Frames 5 to 6 are missing"));
  EXPECT_TRUE(log.Contains("Frames 8 to 1999999999 are missing"));
  EXPECT_TRUE(log.Contains("6 frames converted, 1999999995 skipped"));
}

// A video that reaches the part limit is finished, and the recording goes on
// in "_2", "_3", ...: every frame in exactly one part, in order.
TEST_F(ConvertFramesTest, ALongVideoGoesOnInNumberedParts) {
  const std::vector<Bytes> jpegs = WriteCameraFrames({0, 1, 2, 3, 4});
  SetVideoPartLimit(1);  // each frame fills a part
  rec_test::ConvertJob job(folder_, final_);
  const DWORD code = job.Run();
  SetVideoPartLimit(0);
  EXPECT_EQ(0u, code);
  const std::vector<Bytes> decoded = Decoded(jpegs);
  const std::string stem = final_.substr(0, final_.size() - 4);
  ExpectVideo(final_, {decoded[0]});
  for (size_t k = 2; k <= 5; ++k) {
    ExpectVideo(stem + "_" + std::to_string(k) + ".avi", {decoded[k - 1]});
  }
  EXPECT_FALSE(orba_test::FileExists(stem + "_6.avi"));
  EXPECT_FALSE(orba_test::FileExists(folder_));
}

TEST_F(ConvertFramesTest, AFrameLandingAfterTheStartIsStillConverted) {
  // The sample the filter was storing when the recording stopped: its file
  // appears, still open for writing, after the conversion has begun.
  const std::vector<Bytes> first = WriteCameraFrames({0, 1});
  const Bytes late = rec_test::CameraFrame(555);
  rec_test::ConvertJob job(folder_, final_);
  const std::string latePath = rec_test::FramePath(folder_, 2);
  HANDLE writing = CreateFileA(latePath.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                               nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, writing);
  DWORD done = 0;
  // Half of it now, the rest after the thread has reached the file.
  const DWORD half = static_cast<DWORD>(late.size() / 2);
  ASSERT_TRUE(WriteFile(writing, late.data(), half, &done, nullptr));
  ASSERT_TRUE(job.Start());
  Sleep(150);
  ASSERT_TRUE(WriteFile(writing, late.data() + half, static_cast<DWORD>(late.size()) - half, &done,
                        nullptr));
  CloseHandle(writing);
  EXPECT_EQ(0u, job.Wait());
  std::vector<Bytes> expected = Decoded(first);
  expected.push_back(rec_test::ReferenceDecode(late));
  ExpectVideo(final_, expected);
}

TEST_F(ConvertFramesTest, AFrameFileAppearingJustAfterTheStopIsIncluded) {
  const std::vector<Bytes> first = WriteCameraFrames({0});
  const Bytes late = rec_test::CameraFrame(777);
  rec_test::ConvertJob job(folder_, final_);
  ASSERT_TRUE(job.Start());
  Sleep(60);
  ASSERT_TRUE(rec_test::WriteFrameFile(folder_, 1, late));
  EXPECT_EQ(0u, job.Wait());
  std::vector<Bytes> expected = Decoded(first);
  expected.push_back(rec_test::ReferenceDecode(late));
  ExpectVideo(final_, expected);
}

TEST_F(ConvertFramesTest, AFrameLargerThanTheBufferIsSkippedAndDeleted) {
  std::vector<Bytes> jpegs = WriteCameraFrames({0, 2});
  // A JPEG start followed by more bytes than the buffer holds.
  Bytes huge = rec_test::CameraFrame(1);
  huge.resize(kFrameBufferBytes + 1, 0x5A);
  ASSERT_TRUE(rec_test::WriteFrameFile(folder_, 1, huge));
  orba_test::DebugOutputCapture log;
  rec_test::ConvertJob job(folder_, final_);
  EXPECT_EQ(0u, job.Run());
  ExpectVideo(final_, Decoded(jpegs));
  EXPECT_FALSE(orba_test::FileExists(folder_));
  EXPECT_TRUE(log.Contains("10485761 bytes, more than the 10485760-byte buffer: skipped"));
}

TEST_F(ConvertFramesTest, AnUndecodableFrameIsLeftOutAndLeavesNothingBehind) {
  std::vector<Bytes> jpegs = WriteCameraFrames({0, 2, 4});
  Bytes junk(5000);
  for (size_t i = 0; i < junk.size(); ++i) junk[i] = static_cast<uint8_t>(i * 7);
  ASSERT_TRUE(rec_test::WriteFrameFile(folder_, 1, junk));
  // Cut off within its header: the frames after it still decode.
  const Bytes inHeader(jpegs[0].begin(), jpegs[0].begin() + 300);
  ASSERT_TRUE(rec_test::WriteFrameFile(folder_, 3, inHeader));
  ASSERT_TRUE(rec_test::WriteFrameFile(folder_, 5, Bytes()));  // created, never written
  orba_test::DebugOutputCapture log;
  rec_test::ConvertJob job(folder_, final_);
  EXPECT_EQ(0u, job.Run());
  ExpectVideo(final_, Decoded(jpegs));
  EXPECT_FALSE(orba_test::FileExists(folder_));
  EXPECT_TRUE(log.Contains("frame_1.jpg could not be decoded: skipped"));
  EXPECT_TRUE(log.Contains("frame_3.jpg could not be decoded: skipped"));
  EXPECT_TRUE(log.Contains("frame_5.jpg could not be decoded: skipped"));
}

// The rectangle where a width x height picture lands: centred, scaled to fit.
struct Placement {
  int left, top, width, height;  // top counted from the picture's top row
};

void ExpectPlacedPicture(const Bytes& frame, const Bytes& picture, const Placement& at) {
  ASSERT_EQ(kVideoFrameBytes, frame.size());
  size_t wrongInside = 0, notBlackOutside = 0;
  for (int y = 0; y < kVideoHeight; ++y) {
    // Bottom-up rows: picture row y lies in memory row 719 - y.
    const uint8_t* row = &frame[static_cast<size_t>(kVideoHeight - 1 - y) * kVideoPitch];
    for (int x = 0; x < kVideoWidth; ++x) {
      const uint8_t* p = row + x * 3;
      const bool inside =
          x >= at.left && x < at.left + at.width && y >= at.top && y < at.top + at.height;
      if (!inside) {
        if (p[0] | p[1] | p[2]) ++notBlackOutside;
        continue;
      }
      const int py = y - at.top, px = x - at.left;
      const uint8_t* q = &picture[(static_cast<size_t>(at.height - 1 - py) * at.width + px) * 3];
      if (p[0] != q[0] || p[1] != q[1] || p[2] != q[2]) ++wrongInside;
    }
  }
  EXPECT_EQ(0u, wrongInside);
  EXPECT_EQ(0u, notBlackOutside);
}

TEST_F(ConvertFramesTest, AFrameOfAnotherSizeIsScaledIntoTheCentreWithBlackAround) {
  // A full camera frame first: nothing of it may show around the smaller one.
  std::vector<Bytes> jpegs = WriteCameraFrames({0});
  const Bytes vga = rec_test::PatternJpeg(640, 480);
  ASSERT_TRUE(rec_test::WriteFrameFile(folder_, 1, vga));
  const Bytes wide = rec_test::PatternJpeg(1920, 1080);
  ASSERT_TRUE(rec_test::WriteFrameFile(folder_, 2, wide));
  rec_test::ConvertJob job(folder_, final_);
  EXPECT_EQ(0u, job.Run());

  std::vector<Bytes> frames;
  std::string error;
  ASSERT_TRUE(rec_test::ReadAviFrames(final_, &frames, &error)) << error;
  ASSERT_EQ(3u, frames.size());
  EXPECT_EQ(0u, rec_test::DifferingBytes(rec_test::ReferenceDecode(jpegs[0]), frames[0]));
  // 640 x 480 grows by 3/2 to 960 x 720; 1920 x 1080 shrinks by 5/8 to 1200 x 675.
  ExpectPlacedPicture(frames[1], rec_test::DecodeAt(vga, 960, 720), {160, 0, 960, 720});
  ExpectPlacedPicture(frames[2], rec_test::DecodeAt(wide, 1200, 675), {40, 22, 1200, 675});
}

TEST_F(ConvertFramesTest, DecodingChecksItsResult) {
  tjhandle tj = tjInitDecompress();
  ASSERT_NE(nullptr, tj);
  Bytes bitmap(kVideoFrameBytes, 0xEE);
  const Bytes camera = rec_test::CameraFrame(3);
  EXPECT_EQ(FrameDecode::kDecoded,
            DecodeFrameToBitmap(tj, camera.data(), camera.size(), bitmap.data()));
  EXPECT_EQ(0u, rec_test::DifferingBytes(rec_test::ReferenceDecode(camera), bitmap));

  const Bytes junk(300, 0x11);
  EXPECT_EQ(FrameDecode::kFailed, DecodeFrameToBitmap(tj, junk.data(), junk.size(), bitmap.data()));
  EXPECT_EQ(FrameDecode::kFailed, DecodeFrameToBitmap(tj, camera.data(), 0, bitmap.data()));
  EXPECT_EQ(FrameDecode::kFailed,
            DecodeFrameToBitmap(nullptr, camera.data(), camera.size(), bitmap.data()));

  // A cut-off frame: the decoder warns and fills in the rest.
  const Bytes cut(camera.begin(), camera.begin() + camera.size() / 2);
  EXPECT_EQ(FrameDecode::kDecodedWithWarning,
            DecodeFrameToBitmap(tj, cut.data(), cut.size(), bitmap.data()));
  // Frames cut off within their header fail, and the same decompressor still
  // decodes the next frame.
  const Bytes inHeader(camera.begin(), camera.begin() + 300);
  const Bytes twoStarts = {0xFF, 0xD8, 0xFF, 0xD8};
  for (const Bytes* bad : {&inHeader, &twoStarts}) {
    EXPECT_EQ(FrameDecode::kFailed,
              DecodeFrameToBitmap(tj, bad->data(), bad->size(), bitmap.data()));
    EXPECT_EQ(FrameDecode::kDecoded,
              DecodeFrameToBitmap(tj, camera.data(), camera.size(), bitmap.data()));
    EXPECT_EQ(0u, rec_test::DifferingBytes(rec_test::ReferenceDecode(camera), bitmap));
  }

  // Up to four times the video frame's width a picture is scaled; beyond that
  // it is refused, although 1/8 would still fit it.
  const Bytes widest = rec_test::PatternJpeg(4 * kVideoWidth, 16);
  const Bytes tooWide = rec_test::PatternJpeg(4 * kVideoWidth + 16, 16);
  const Bytes tooHigh = rec_test::PatternJpeg(16, 4 * kVideoHeight + 16);
  ASSERT_FALSE(widest.empty() || tooWide.empty() || tooHigh.empty());
  EXPECT_EQ(FrameDecode::kDecoded,
            DecodeFrameToBitmap(tj, widest.data(), widest.size(), bitmap.data()));
  EXPECT_EQ(FrameDecode::kFailed,
            DecodeFrameToBitmap(tj, tooWide.data(), tooWide.size(), bitmap.data()));
  EXPECT_EQ(FrameDecode::kFailed,
            DecodeFrameToBitmap(tj, tooHigh.data(), tooHigh.size(), bitmap.data()));
  tjDestroy(tj);
}

// A progressive frame decodes; one whose last scan is repeated past the scan
// limit is refused before decoding.
TEST_F(ConvertFramesTest, ProgressiveFramesAreDecodedUpToTheScanLimit) {
  tjhandle tj = tjInitDecompress();
  ASSERT_NE(nullptr, tj);
  Bytes bitmap(kVideoFrameBytes, 0xEE);
  const Bytes progressive = rec_test::PatternJpeg(kVideoWidth, kVideoHeight, TJFLAG_PROGRESSIVE);
  ASSERT_GE(progressive.size(), 4u);
  const int scans = CountJpegScans(progressive.data(), progressive.size(), kMaxFrameScans);
  ASSERT_GT(scans, 1);
  EXPECT_EQ(FrameDecode::kDecoded,
            DecodeFrameToBitmap(tj, progressive.data(), progressive.size(), bitmap.data()));
  EXPECT_EQ(0u, rec_test::DifferingBytes(rec_test::ReferenceDecode(progressive), bitmap));

  // The last scan runs from the last SOS marker up to EOI.
  size_t lastScan = 0;
  for (size_t i = 0; i + 1 < progressive.size(); ++i)
    if (progressive[i] == 0xFF && progressive[i + 1] == 0xDA) lastScan = i;
  ASSERT_GT(lastScan, 0u);
  const Bytes scan(progressive.begin() + lastScan, progressive.end() - 2);
  Bytes many(progressive.begin(), progressive.end() - 2);
  for (int i = scans; i < kMaxFrameScans; ++i) many.insert(many.end(), scan.begin(), scan.end());
  Bytes tooMany = many;
  tooMany.insert(tooMany.end(), scan.begin(), scan.end());
  for (Bytes* b : {&many, &tooMany}) b->insert(b->end(), {0xFF, 0xD9});
  EXPECT_EQ(kMaxFrameScans, CountJpegScans(many.data(), many.size(), kMaxFrameScans));
  EXPECT_NE(FrameDecode::kFailed, DecodeFrameToBitmap(tj, many.data(), many.size(), bitmap.data()));
  EXPECT_EQ(FrameDecode::kFailed,
            DecodeFrameToBitmap(tj, tooMany.data(), tooMany.size(), bitmap.data()));
  tjDestroy(tj);
}

TEST_F(ConvertFramesTest, NullParameterBlockEndsWithOne) {
  orba_test::DebugOutputCapture log;
  EXPECT_EQ(1u, ConvertFramesToAvi(nullptr));
  EXPECT_TRUE(log.Contains("lpParameter NULL!"));
}

TEST_F(ConvertFramesTest, WithoutAWriterTheFramesAreKeptNextToThePictures) {
  WriteCameraFrames({0, 1, 2});
  orba_test::DebugOutputCapture log;
  rec_test::ConvertJob job(folder_, final_, /*withWriter=*/false);
  EXPECT_EQ(0u, job.Run());
  EXPECT_FALSE(orba_test::FileExists(final_));
  EXPECT_FALSE(orba_test::FileExists(folder_));
  const std::string kept = pictures_ + "\\video_240103_09.05.07_frames";
  EXPECT_EQ((std::vector<std::string>{"frame_0.jpg", "frame_1.jpg", "frame_2.jpg"}),
            orba_test::ListFolder(kept));
  EXPECT_EQ(0u, log.Count("Decode time JPEG"));
  EXPECT_FALSE(log.Contains("Stopped saving video! :)"));
}

TEST_F(ConvertFramesTest, WhenTheCodecIsMissingTheFramesAreKept) {
  orba_test::ScopedRegistryValue driver(HKEY_LOCAL_MACHINE, kDrivers32, "vidc.xvid");
  ASSERT_TRUE(driver.Remove());
  WriteCameraFrames({0, 1});
  orba_test::DebugOutputCapture log;
  rec_test::ConvertJob job(folder_, final_);
  EXPECT_EQ(0u, job.Run());
  EXPECT_FALSE(orba_test::FileExists(final_));
  EXPECT_FALSE(orba_test::FileExists(folder_));
  EXPECT_EQ((std::vector<std::string>{"frame_0.jpg", "frame_1.jpg"}),
            orba_test::ListFolder(pictures_ + "\\video_240103_09.05.07_frames"));
  EXPECT_TRUE(log.Contains("AppendNewFrame failed! error:"));
  EXPECT_TRUE(log.Contains("Unable to Create Compressed Stream: Check your CODEC options"));
}

TEST_F(ConvertFramesTest, WithoutTheDecoderTheFramesAreKept) {
  WriteCameraFrames({0});
  rec_test::ConvertJob job(folder_, final_);
  job.params().decompressor = nullptr;
  EXPECT_EQ(0u, job.Run());
  EXPECT_EQ(nullptr, job.params().writer);
  EXPECT_FALSE(orba_test::FileExists(final_));
  EXPECT_EQ((std::vector<std::string>{"frame_0.jpg"}),
            orba_test::ListFolder(pictures_ + "\\video_240103_09.05.07_frames"));
}

TEST_F(ConvertFramesTest, FrameFileNamesAreReadAsTheFilterWritesThem) {
  EXPECT_EQ(-1, HighestFrameNumber(folder_.c_str()));
  CreateDirectoryA(folder_.c_str(), nullptr);
  EXPECT_EQ(-1, HighestFrameNumber(folder_.c_str()));
  for (const char* name : {"frame_3.jpg", "frame_12.jpg", "frame_012345.jpg", "frame_99x.jpg",
                           "frame_.jpg", "frame_400.jpeg", "frame_99999999999.jpg"}) {
    ASSERT_TRUE(orba_test::WriteFileBytes(folder_ + "\\" + name, "x"));
  }
  CreateDirectoryA((folder_ + "\\frame_500.jpg").c_str(), nullptr);
  EXPECT_EQ(12, HighestFrameNumber(folder_.c_str()));
}

TEST_F(ConvertFramesTest, FolderDeletionRefusesPathsThatNameTooMuch) {
  CreateDirectoryA(folder_.c_str(), nullptr);
  ASSERT_TRUE(orba_test::WriteFileBytes(folder_ + "\\a.txt", "a"));
  EXPECT_FALSE(DeleteFolderTree(""));
  EXPECT_FALSE(DeleteFolderTree("C:\\"));
  EXPECT_FALSE(DeleteFolderTree((folder_ + "\\").c_str()));
  EXPECT_TRUE(orba_test::FileExists(folder_ + "\\a.txt"));
  EXPECT_TRUE(DeleteFolderTree(folder_.c_str()));
  EXPECT_FALSE(orba_test::FileExists(folder_));
}

}  // namespace
