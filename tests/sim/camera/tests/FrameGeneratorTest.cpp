// The camera's picture generator: deterministic, numbered, decodable JPEG pages.
#include <gtest/gtest.h>

#include "SimCamTestUtil.h"
#include "simcam/SimCamFrames.h"

namespace simcam_test {
namespace {

std::string AsString(const std::vector<uint8_t>& v) { return std::string(v.begin(), v.end()); }

TEST(FrameGenerator, SameNumberGivesTheSameBytes) {
  simcam::FrameGenerator a, b;
  ASSERT_TRUE(a.Ok() && b.Ok());
  std::vector<uint8_t> first, again, other;
  ASSERT_TRUE(a.Generate(17, {}, &first));
  ASSERT_TRUE(a.Generate(18, {}, &other));
  // A second generator, and the first one after other frames, agree.
  ASSERT_TRUE(b.Generate(17, {}, &again));
  EXPECT_EQ(first, again);
  ASSERT_TRUE(a.Generate(17, {}, &again));
  EXPECT_EQ(first, again);
  EXPECT_NE(first, other);
}

TEST(FrameGenerator, FramesCarryTheirNumberAndDecodeAsAReadablePage) {
  simcam::FrameGenerator gen;
  std::vector<uint8_t> jpeg;
  ASSERT_TRUE(gen.Generate(123456, {}, &jpeg));
  uint32_t number = 0;
  ASSERT_TRUE(simcam::ReadFrameNumber(jpeg.data(), jpeg.size(), &number));
  EXPECT_EQ(123456u, number);
  EXPECT_TRUE(simcam::HasSegment(jpeg.data(), jpeg.size(), 0xC4));
  EXPECT_TRUE(simcam::HasSegment(jpeg.data(), jpeg.size(), 0xFE));

  int w = 0, h = 0;
  std::vector<unsigned char> rgb;
  ASSERT_TRUE(DecodeJpeg(AsString(jpeg), &w, &h, &rgb));
  EXPECT_EQ(simcam::kWidth, w);
  EXPECT_EQ(simcam::kHeight, h);
  // Mostly light paper with a fair amount of dark ink on it.
  size_t dark = 0, light = 0;
  for (size_t i = 0; i + 2 < rgb.size(); i += 3) {
    const int luma = (rgb[i] * 3 + rgb[i + 1] * 6 + rgb[i + 2]) / 10;
    if (luma < 80) ++dark;
    if (luma > 200) ++light;
  }
  const size_t pixels = rgb.size() / 3;
  EXPECT_GT(light, pixels * 6 / 10);
  EXPECT_GT(dark, pixels / 50);
  // The large counter sits in the lower part: it changes between frames.
  std::vector<uint8_t> next;
  ASSERT_TRUE(gen.Generate(123457, {}, &next));
  std::vector<unsigned char> rgbNext;
  ASSERT_TRUE(DecodeJpeg(AsString(next), &w, &h, &rgbNext));
  const size_t counterStart = static_cast<size_t>(380) * w * 3;
  EXPECT_NE(0, std::memcmp(rgb.data() + counterStart, rgbNext.data() + counterStart,
                           rgb.size() - counterStart));
  EXPECT_EQ(0, std::memcmp(rgb.data(), rgbNext.data(), static_cast<size_t>(300) * w * 3));
}

TEST(FrameGenerator, WithoutHuffmanTablesStillDecodes) {
  simcam::FrameGenerator gen;
  simcam::FrameOptions noTables;
  noTables.omitHuffmanTables = true;
  std::vector<uint8_t> with, without;
  ASSERT_TRUE(gen.Generate(5, {}, &with));
  ASSERT_TRUE(gen.Generate(5, noTables, &without));
  EXPECT_FALSE(simcam::HasSegment(without.data(), without.size(), 0xC4));
  EXPECT_LT(without.size(), with.size());
  uint32_t number = 0;
  ASSERT_TRUE(simcam::ReadFrameNumber(without.data(), without.size(), &number));
  EXPECT_EQ(5u, number);
  int w = 0, h = 0;
  std::vector<unsigned char> a, b;
  ASSERT_TRUE(DecodeJpeg(AsString(with), &w, &h, &a));
  ASSERT_TRUE(DecodeJpeg(AsString(without), &w, &h, &b));
  // The encoder uses the standard tables, so both decode to the same picture.
  EXPECT_EQ(a, b);
}

TEST(FrameGenerator, InspectionRefusesBrokenStreams) {
  uint32_t number = 0;
  const uint8_t notJpeg[] = {'G', 'I', 'F', '8', '9', 'a'};
  EXPECT_FALSE(simcam::ReadFrameNumber(notJpeg, sizeof notJpeg, &number));
  const uint8_t truncated[] = {0xFF, 0xD8, 0xFF, 0xFE, 0x00, 0x40, 'O'};
  EXPECT_FALSE(simcam::ReadFrameNumber(truncated, sizeof truncated, &number));
  EXPECT_FALSE(simcam::HasSegment(truncated, sizeof truncated, 0xFE));
}

}  // namespace
}  // namespace simcam_test
