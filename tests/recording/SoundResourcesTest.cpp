// The two recording sounds as ORBA.exe carries them.
#include <gtest/gtest.h>

#include <windows.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>

#include "Recording.h"
#include "TestEnv.h"

namespace {

struct Wave {
  uint16_t format = 0, channels = 0, blockAlign = 0, bits = 0;
  uint32_t rate = 0, byteRate = 0;
  const int16_t* samples = nullptr;  // interleaved
  size_t frames = 0;
};

uint32_t U32(const uint8_t* p) {
  return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
uint16_t U16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }

bool ParseWave(const uint8_t* data, size_t size, Wave* out, std::string* why) {
  if (size < 12 || std::memcmp(data, "RIFF", 4) != 0 || std::memcmp(data + 8, "WAVE", 4) != 0) {
    *why = "not a RIFF WAVE";
    return false;
  }
  if (U32(data + 4) + 8 != size) {
    *why = "RIFF size does not match the resource";
    return false;
  }
  bool haveFormat = false;
  for (size_t pos = 12; pos + 8 <= size;) {
    const uint32_t chunk = U32(data + pos + 4);
    const uint8_t* body = data + pos + 8;
    if (pos + 8 + chunk > size) {
      *why = "chunk runs past the end";
      return false;
    }
    if (std::memcmp(data + pos, "fmt ", 4) == 0 && chunk >= 16) {
      out->format = U16(body);
      out->channels = U16(body + 2);
      out->rate = U32(body + 4);
      out->byteRate = U32(body + 8);
      out->blockAlign = U16(body + 12);
      out->bits = U16(body + 14);
      haveFormat = true;
    } else if (std::memcmp(data + pos, "data", 4) == 0 && haveFormat && out->blockAlign) {
      out->samples = reinterpret_cast<const int16_t*>(body);
      out->frames = chunk / out->blockAlign;
      return true;
    }
    pos += 8 + chunk + (chunk & 1);
  }
  *why = "no fmt or data chunk";
  return false;
}

// Frequency of the left channel over [from, to) frames, from its zero crossings.
double Frequency(const Wave& w, size_t from, size_t to) {
  int crossings = 0;
  for (size_t i = from + 1; i < to; ++i) {
    const int a = w.samples[(i - 1) * 2], b = w.samples[i * 2];
    if ((a < 0) != (b < 0)) ++crossings;
  }
  return crossings / 2.0 / ((to - from) / static_cast<double>(w.rate));
}

class RecordingSounds : public ::testing::Test {
 protected:
  void SetUp() override {
    module_ = LoadLibraryExA(orba_test::BinPath("ORBA.exe").c_str(), nullptr,
                             LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    ASSERT_NE(nullptr, module_);
  }
  void TearDown() override { FreeLibrary(module_); }

  void Load(int id, Wave* wave) {
    const HRSRC found = FindResourceA(module_, MAKEINTRESOURCEA(id), "WAVE");
    ASSERT_NE(nullptr, found) << "WAVE " << id;
    const HGLOBAL loaded = LoadResource(module_, found);
    ASSERT_NE(nullptr, loaded);
    std::string why;
    ASSERT_TRUE(ParseWave(static_cast<const uint8_t*>(LockResource(loaded)),
                          SizeofResource(module_, found), wave, &why))
        << why;
  }
  HMODULE module_ = nullptr;
};

void ExpectCdQualityPcm(const Wave& w, int expectedMs) {
  EXPECT_EQ(1, w.format) << "PCM";
  EXPECT_EQ(2, w.channels);
  EXPECT_EQ(44100u, w.rate);
  EXPECT_EQ(16, w.bits);
  EXPECT_EQ(4, w.blockAlign);
  EXPECT_EQ(44100u * 4, w.byteRate);
  EXPECT_EQ(expectedMs, static_cast<int>(std::lround(w.frames * 1000.0 / w.rate)));
}

TEST_F(RecordingSounds, StartIsARisingPairLasting1017Ms) {
  Wave w;
  ASSERT_NO_FATAL_FAILURE(Load(kSoundRecordingStarts, &w));
  ExpectCdQualityPcm(w, 1017);
  const double first = Frequency(w, w.frames / 10, w.frames * 4 / 10);
  const double second = Frequency(w, w.frames * 6 / 10, w.frames * 85 / 100);
  EXPECT_GT(second, first * 1.2) << first << " Hz then " << second << " Hz";
}

TEST_F(RecordingSounds, StopIsAFallingPairLasting1287Ms) {
  Wave w;
  ASSERT_NO_FATAL_FAILURE(Load(kSoundRecordingStops, &w));
  ExpectCdQualityPcm(w, 1287);
  const double first = Frequency(w, w.frames / 10, w.frames * 4 / 10);
  const double second = Frequency(w, w.frames * 6 / 10, w.frames * 85 / 100);
  EXPECT_LT(second * 1.2, first) << first << " Hz then " << second << " Hz";
}

TEST_F(RecordingSounds, BothAreAudibleAndNeverClip) {
  for (int id : {kSoundRecordingStarts, kSoundRecordingStops}) {
    Wave w;
    ASSERT_NO_FATAL_FAILURE(Load(id, &w));
    int peak = 0;
    for (size_t i = 0; i < w.frames * 2; ++i)
      peak = std::max(peak, std::abs(static_cast<int>(w.samples[i])));
    EXPECT_GT(peak, 8000) << id;
    EXPECT_LT(peak, 32767) << id;
    // Stereo: both channels carry the same tone.
    for (size_t i = 0; i < w.frames; i += 997) EXPECT_EQ(w.samples[i * 2], w.samples[i * 2 + 1]);
  }
}

}  // namespace
