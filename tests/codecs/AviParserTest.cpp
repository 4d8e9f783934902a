// The test-side AVI parser on files built here byte by byte: what it reads, and
// that truncated or malicious files are refused without reading past their end.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

#include "AviParser.h"

using orba_test::AviFile;
using orba_test::MakeFourCC;
using orba_test::ParseAvi;

namespace {

void Put32(std::string& s, uint32_t v) {
  for (int i = 0; i < 4; ++i) s += static_cast<char>((v >> (8 * i)) & 0xFF);
}
void Put16(std::string& s, uint16_t v) {
  s += static_cast<char>(v & 0xFF);
  s += static_cast<char>(v >> 8);
}
void PutFourCC(std::string& s, const char* f) { s.append(f, 4); }

std::string Chunk(const char* id, const std::string& data) {
  std::string c;
  PutFourCC(c, id);
  Put32(c, static_cast<uint32_t>(data.size()));
  c += data;
  if (data.size() & 1) c += '\0';
  return c;
}
std::string List(const char* type, const std::string& body) {
  std::string data;
  PutFourCC(data, type);
  return Chunk("LIST", data + body);
}

std::string MainHeader(uint32_t frames, uint32_t streams) {
  std::string d;
  for (uint32_t v :
       {16666u, 1000000u, 0u, 0x10u, frames, 0u, streams, 65536u, 640u, 480u, 0u, 0u, 0u, 0u})
    Put32(d, v);
  return Chunk("avih", d);
}

std::string StreamHeader(const char* type, const char* handler, uint32_t scale, uint32_t rate,
                         uint32_t length) {
  std::string d;
  PutFourCC(d, type);
  PutFourCC(d, handler);
  Put32(d, 0);  // flags
  Put16(d, 0);  // priority
  Put16(d, 0);  // language
  Put32(d, 0);  // initial frames
  Put32(d, scale);
  Put32(d, rate);
  Put32(d, 0);  // start
  Put32(d, length);
  Put32(d, 123456);  // suggested buffer size
  Put32(d, 9000);    // quality
  Put32(d, 0);       // sample size
  Put16(d, 0);
  Put16(d, 0);
  Put16(d, 640);
  Put16(d, 480);
  return Chunk("strh", d);
}

std::string BitmapFormat(int32_t width, int32_t height, const char* compression) {
  std::string d;
  Put32(d, 40);
  Put32(d, static_cast<uint32_t>(width));
  Put32(d, static_cast<uint32_t>(height));
  Put16(d, 1);
  Put16(d, 24);
  PutFourCC(d, compression);
  Put32(d, 640 * 480 * 3);
  Put32(d, 0);
  Put32(d, 0);
  Put32(d, 0);
  Put32(d, 0);
  return Chunk("strf", d);
}

std::string IndexEntry(const char* id, uint32_t flags, uint32_t offset, uint32_t size) {
  std::string d;
  PutFourCC(d, id);
  Put32(d, flags);
  Put32(d, offset);
  Put32(d, size);
  return d;
}

std::string Riff(const std::string& body) {
  std::string data;
  PutFourCC(data, "AVI ");
  return Chunk("RIFF", data + body);
}

// A small two-stream file: video with 'dc' and 'db' chunks (one inside a 'rec '
// list, one of odd size), and an audio stream whose chunks are not video.
struct Sample {
  std::string bytes;
  size_t idx1Offset = 0;  // where the top-level idx1 chunk starts
};
Sample BuildSample() {
  const std::string hdrl =
      List("hdrl", MainHeader(3, 2) +
                       List("strl", StreamHeader("vids", "XVID", 1000, 60000, 3) +
                                        BitmapFormat(640, 480, "XVID") +
                                        Chunk("strn", std::string("Video Stream\0", 13))) +
                       List("strl", StreamHeader("auds", "\0\0\0\0", 1, 44100, 100) +
                                        Chunk("strf", std::string(18, '\1'))));
  const std::string movi =
      List("movi", Chunk("00dc", "frame-zero") + Chunk("01wb", "audio") +
                       List("rec ", Chunk("00db", "frame-one") + Chunk("01wb", "pcm")) +
                       Chunk("JUNK", std::string(7, '\0')) + Chunk("00dc", "frame-2"));
  const std::string idx1 =
      Chunk("idx1", IndexEntry("00dc", 0x10, 4, 10) + IndexEntry("01wb", 0, 22, 5) +
                        IndexEntry("00db", 0x10, 40, 9));
  Sample s;
  s.bytes = Riff(hdrl + Chunk("JUNK", std::string(12, '\0')) + movi + idx1);
  s.idx1Offset = s.bytes.size() - idx1.size();
  return s;
}

// Keeps bytes at the very end of a readable region followed by an inaccessible
// page, so any read past the end faults instead of passing unnoticed.
class GuardedBytes {
 public:
  explicit GuardedBytes(const std::string& bytes) {
    SYSTEM_INFO si;
    GetSystemInfo(&si);
    const size_t page = si.dwPageSize;
    const size_t dataPages = (bytes.size() + page - 1) / page + 1;
    size_ = (dataPages + 1) * page;
    base_ = static_cast<uint8_t*>(
        VirtualAlloc(nullptr, size_, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
    DWORD old;
    VirtualProtect(base_ + dataPages * page, page, PAGE_NOACCESS, &old);
    data_ = base_ + dataPages * page - bytes.size();
    std::memcpy(data_, bytes.data(), bytes.size());
    length_ = bytes.size();
  }
  ~GuardedBytes() { VirtualFree(base_, 0, MEM_RELEASE); }
  const uint8_t* data() const { return data_; }
  size_t size() const { return length_; }

 private:
  uint8_t* base_ = nullptr;
  uint8_t* data_ = nullptr;
  size_t size_ = 0, length_ = 0;
};

bool ParseGuarded(const std::string& bytes, AviFile* avi, std::string* error) {
  GuardedBytes g(bytes);
  return ParseAvi(g.data(), g.size(), avi, error);
}

void SetLe32(std::string& s, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) s[at + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
}

}  // namespace

TEST(AviParser, ReadsHeadersFormatsChunksAndIndex) {
  const Sample sample = BuildSample();
  AviFile avi;
  std::string error;
  ASSERT_TRUE(ParseGuarded(sample.bytes, &avi, &error)) << error;

  EXPECT_EQ(16666u, avi.mainHeader.microSecPerFrame);
  EXPECT_EQ(3u, avi.mainHeader.totalFrames);
  EXPECT_EQ(2u, avi.mainHeader.streams);
  EXPECT_EQ(640u, avi.mainHeader.width);
  EXPECT_EQ(480u, avi.mainHeader.height);
  ASSERT_EQ(2u, avi.streams.size());

  const orba_test::AviStream& v = avi.streams[0];
  EXPECT_EQ(MakeFourCC('v', 'i', 'd', 's'), v.header.fccType);
  EXPECT_EQ("XVID", orba_test::FourCCText(v.header.fccHandler));
  EXPECT_EQ(1000u, v.header.scale);
  EXPECT_EQ(60000u, v.header.rate);
  EXPECT_EQ(3u, v.header.length);
  EXPECT_EQ(123456u, v.header.suggestedBufferSize);
  EXPECT_EQ(9000u, v.header.quality);
  ASSERT_TRUE(v.header.hasFrameRect);
  EXPECT_EQ(640, v.header.rcFrame.right);
  EXPECT_EQ(480, v.header.rcFrame.bottom);
  EXPECT_EQ("Video Stream", v.name);
  ASSERT_TRUE(v.hasBitmapInfo);
  EXPECT_EQ(40u, v.bitmapInfo.size);
  EXPECT_EQ(640, v.bitmapInfo.width);
  EXPECT_EQ(480, v.bitmapInfo.height);
  EXPECT_EQ(24, v.bitmapInfo.bitCount);
  EXPECT_EQ(MakeFourCC('X', 'V', 'I', 'D'), v.bitmapInfo.compression);

  // Both 'dc' and 'db' chunks are frames, including the one inside 'rec '.
  ASSERT_EQ(3u, v.dataChunks.size());
  const char* texts[] = {"frame-zero", "frame-one", "frame-2"};
  for (size_t i = 0; i < 3; ++i)
    EXPECT_EQ(texts[i], sample.bytes.substr(v.dataChunks[i].offset, v.dataChunks[i].size)) << i;
  EXPECT_EQ("00db", orba_test::FourCCText(v.dataChunks[1].id));

  const orba_test::AviStream& a = avi.streams[1];
  EXPECT_EQ("auds", orba_test::FourCCText(a.header.fccType));
  EXPECT_FALSE(a.hasBitmapInfo);
  EXPECT_EQ(18u, a.format.size());
  EXPECT_TRUE(a.dataChunks.empty()) << "audio chunks are not video data";

  EXPECT_EQ("movi", sample.bytes.substr(avi.moviOffset, 4));
  ASSERT_TRUE(avi.hasIndex);
  ASSERT_EQ(3u, avi.index.size());
  EXPECT_EQ("01wb", orba_test::FourCCText(avi.index[1].chunkId));
  EXPECT_EQ(0x10u, avi.index[2].flags);
  EXPECT_EQ(40u, avi.index[2].offset);
  EXPECT_EQ(9u, avi.index[2].size);
}

TEST(AviParser, AcceptsZeroPaddingAfterTheRiffList) {
  // Wine's AVI writer leaves zero bytes after the RIFF list.
  const Sample sample = BuildSample();
  AviFile avi;
  std::string error;
  ASSERT_TRUE(ParseGuarded(sample.bytes + std::string(20, '\0'), &avi, &error)) << error;
  EXPECT_EQ(20u, avi.trailingZeroBytes);
  EXPECT_EQ(3u, avi.streams[0].dataChunks.size());
  std::string padded = sample.bytes + std::string(20, '\0');
  padded[padded.size() - 3] = 1;
  EXPECT_FALSE(ParseGuarded(padded, &avi, &error));
}

TEST(AviParser, RefusesEveryTruncation) {
  const Sample sample = BuildSample();
  for (size_t len = 0; len < sample.bytes.size(); ++len) {
    AviFile avi;
    std::string error;
    // As cut off by a full disk: the RIFF size still claims the whole file.
    EXPECT_FALSE(ParseGuarded(sample.bytes.substr(0, len), &avi, &error)) << "length " << len;
    EXPECT_FALSE(error.empty());
  }
}

TEST(AviParser, RefusesCutsInsideChunksEvenWhenTheRiffSizeAgrees) {
  const Sample sample = BuildSample();
  size_t accepted = 0;
  for (size_t len = 12; len < sample.bytes.size(); ++len) {
    std::string cut = sample.bytes.substr(0, len);
    SetLe32(cut, 4, static_cast<uint32_t>(len - 8));
    AviFile avi;
    std::string error;
    const bool ok = ParseGuarded(cut, &avi, &error);
    // Only a file that ends exactly before 'idx1' is still whole (without index).
    if (len == sample.idx1Offset) {
      EXPECT_TRUE(ok) << error;
      EXPECT_FALSE(avi.hasIndex);
      EXPECT_EQ(3u, avi.streams[0].dataChunks.size());
      ++accepted;
    } else {
      EXPECT_FALSE(ok) << "length " << len;
    }
  }
  EXPECT_EQ(1u, accepted);
}

TEST(AviParser, RefusesMaliciousSizesAndStructures) {
  const Sample sample = BuildSample();
  std::vector<std::pair<const char*, std::string>> cases;

  std::string hugeRiff = sample.bytes;
  SetLe32(hugeRiff, 4, 0xFFFFFFFFu);
  cases.emplace_back("RIFF size past the end", hugeRiff);

  // The hdrl LIST starts at 12; its size field at 16.
  std::string hugeList = sample.bytes;
  SetLe32(hugeList, 16, 0xFFFFFFF0u);
  cases.emplace_back("LIST size past its parent", hugeList);

  std::string shortAvih = sample.bytes;
  SetLe32(shortAvih, 28, 8);  // avih size (its header is at 24)
  cases.emplace_back("avih size that breaks the list", shortAvih);

  cases.emplace_back("not AVI", Riff("").replace(8, 4, "WAVE"));
  cases.emplace_back("no hdrl", Riff(List("movi", Chunk("00dc", "x"))));
  cases.emplace_back("no movi", Riff(List("hdrl", MainHeader(0, 0))));
  cases.emplace_back("hdrl without avih", Riff(List("hdrl", "") + List("movi", "")));
  cases.emplace_back("avih too short",
                     Riff(List("hdrl", Chunk("avih", std::string(20, '\0'))) + List("movi", "")));
  cases.emplace_back(
      "strl without strh",
      Riff(List("hdrl", MainHeader(0, 1) + List("strl", BitmapFormat(1, 1, "XVID"))) +
           List("movi", "")));
  cases.emplace_back(
      "strh too short",
      Riff(List("hdrl", MainHeader(0, 1) + List("strl", Chunk("strh", std::string(40, 'v')))) +
           List("movi", "")));
  cases.emplace_back(
      "chunk for a missing stream",
      Riff(List("hdrl", MainHeader(1, 1) + List("strl", StreamHeader("vids", "XVID", 1, 1, 1))) +
           List("movi", Chunk("05dc", "x"))));
  cases.emplace_back("idx1 of 17 bytes", Riff(List("hdrl", MainHeader(0, 0)) + List("movi", "") +
                                              Chunk("idx1", std::string(17, '\0'))));
  cases.emplace_back("LIST without type",
                     Riff(List("hdrl", MainHeader(0, 0)) + Chunk("LIST", "ab") + List("movi", "")));
  cases.emplace_back("movi before hdrl", Riff(List("movi", "") + List("hdrl", MainHeader(0, 0))));
  cases.emplace_back("trailing garbage", sample.bytes + "GARBAGE!");

  for (const auto& c : cases) {
    AviFile avi;
    std::string error;
    EXPECT_FALSE(ParseGuarded(c.second, &avi, &error)) << c.first;
    EXPECT_FALSE(error.empty()) << c.first;
  }
}

TEST(AviParser, SurvivesRandomBytesAndRandomDamage) {
  const Sample sample = BuildSample();
  uint32_t seed = 1234567u;
  auto next = [&seed] { return seed = seed * 1103515245u + 12345u; };
  size_t refused = 0;
  for (int round = 0; round < 400; ++round) {
    std::string bytes;
    if (round % 2 == 0) {
      bytes.resize(next() % 600);
      for (char& b : bytes) b = static_cast<char>(next() >> 24);
      if (round % 4 == 0 && bytes.size() >= 12) bytes.replace(0, 12, sample.bytes.substr(0, 12));
    } else {
      bytes = sample.bytes;
      for (int k = 0; k < 4; ++k) bytes[next() % bytes.size()] = static_cast<char>(next() >> 24);
    }
    AviFile avi;
    std::string error;
    if (!ParseGuarded(bytes, &avi, &error)) ++refused;
  }
  // Random bytes are never an AVI file; damaged samples may still parse.
  EXPECT_GE(refused, 200u);
}

TEST(AviParser, RefusesMissingFilesAndEmptyInput) {
  AviFile avi;
  std::string error;
  EXPECT_FALSE(orba_test::ParseAviFile("C:\\no\\such\\file.avi", &avi, &error));
  EXPECT_FALSE(error.empty());
  EXPECT_FALSE(ParseAvi(nullptr, 0, &avi, &error));
  EXPECT_FALSE(ParseGuarded("", &avi, &error));
}
