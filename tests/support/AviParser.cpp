#include "AviParser.h"

#include <cstdio>

namespace orba_test {

namespace {

constexpr uint32_t kRiff = MakeFourCC('R', 'I', 'F', 'F');
constexpr uint32_t kList = MakeFourCC('L', 'I', 'S', 'T');
constexpr uint32_t kAvi = MakeFourCC('A', 'V', 'I', ' ');
constexpr uint32_t kAvix = MakeFourCC('A', 'V', 'I', 'X');
constexpr uint32_t kHdrl = MakeFourCC('h', 'd', 'r', 'l');
constexpr uint32_t kAvih = MakeFourCC('a', 'v', 'i', 'h');
constexpr uint32_t kStrl = MakeFourCC('s', 't', 'r', 'l');
constexpr uint32_t kStrh = MakeFourCC('s', 't', 'r', 'h');
constexpr uint32_t kStrf = MakeFourCC('s', 't', 'r', 'f');
constexpr uint32_t kStrn = MakeFourCC('s', 't', 'r', 'n');
constexpr uint32_t kMovi = MakeFourCC('m', 'o', 'v', 'i');
constexpr uint32_t kRec = MakeFourCC('r', 'e', 'c', ' ');
constexpr uint32_t kIdx1 = MakeFourCC('i', 'd', 'x', '1');
constexpr uint32_t kVids = MakeFourCC('v', 'i', 'd', 's');

constexpr size_t kAvihMin = 40;   // ten DWORDs; the usual 56 adds four reserved
constexpr size_t kStrhMin = 48;   // up to dwSampleSize
constexpr size_t kStrhRect = 56;  // with rcFrame
constexpr size_t kBitmapInfo = 40;

uint16_t Le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t Le32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

struct Chunk {
  uint32_t id = 0;
  size_t data = 0;  // offset of the data
  uint32_t size = 0;
  size_t next = 0;  // offset of the following chunk
};

class Parser {
 public:
  Parser(const uint8_t* base, size_t size, AviFile* out, std::string* error)
      : p_(base), size_(size), out_(out), error_(error) {}

  bool Run() {
    Chunk riff;
    if (!ReadChunk(0, size_, &riff)) return false;
    if (riff.id != kRiff || riff.size < 4 || Le32(p_ + riff.data) != kAvi)
      return Fail("not a RIFF AVI file");
    if (!ParseAviList(riff.data + 4, riff.data + riff.size)) return false;
    if (!sawHeader_) return Fail("no 'hdrl' list with 'avih'");
    if (!sawMovi_) return Fail("no 'movi' list");
    // Files above the RIFF size limit continue in 'AVIX' lists.
    for (size_t pos = riff.next; pos < size_;) {
      // Zero bytes after the last list are left by some writers (Wine's among them).
      if (AllZero(pos)) {
        out_->trailingZeroBytes = size_ - pos;
        break;
      }
      Chunk extra;
      if (!ReadChunk(pos, size_, &extra)) return false;
      if (extra.id != kRiff || extra.size < 4 || Le32(p_ + extra.data) != kAvix)
        return Fail("unexpected data after the RIFF list");
      if (!ParseAvixList(extra.data + 4, extra.data + extra.size)) return false;
      pos = extra.next;
    }
    return true;
  }

 private:
  bool AllZero(size_t from) const {
    for (size_t i = from; i < size_; ++i)
      if (p_[i]) return false;
    return true;
  }

  bool Fail(const std::string& why) {
    if (error_) *error_ = why;
    return false;
  }

  // Reads the chunk header at pos; its data must end within [pos, end). A pad byte
  // missing at the very end of the parent is tolerated.
  bool ReadChunk(size_t pos, size_t end, Chunk* c) {
    if (end < pos || end - pos < 8) return Fail("truncated chunk header at " + std::to_string(pos));
    c->id = Le32(p_ + pos);
    c->size = Le32(p_ + pos + 4);
    c->data = pos + 8;
    if (c->size > end - c->data)
      return Fail("chunk '" + FourCCText(c->id) + "' at " + std::to_string(pos) +
                  " runs past its end");
    size_t after = c->data + c->size;
    if ((c->size & 1) && after < end) ++after;
    c->next = after;
    return true;
  }

  // Reads the type of a LIST chunk; false when it has none.
  bool ListType(const Chunk& c, uint32_t* type) {
    if (c.size < 4) return Fail("LIST chunk without a type");
    *type = Le32(p_ + c.data);
    return true;
  }

  bool ParseAviList(size_t pos, size_t end) {
    while (pos < end) {
      Chunk c;
      if (!ReadChunk(pos, end, &c)) return false;
      if (c.id == kList) {
        uint32_t type;
        if (!ListType(c, &type)) return false;
        if (type == kHdrl) {
          if (sawHeader_) return Fail("second 'hdrl' list");
          if (!ParseHeaderList(c.data + 4, c.data + c.size)) return false;
        } else if (type == kMovi) {
          if (!sawHeader_) return Fail("'movi' before 'hdrl'");
          if (!sawMovi_) out_->moviOffset = c.data;
          sawMovi_ = true;
          if (!ParseMovi(c.data + 4, c.data + c.size, 0)) return false;
        }
      } else if (c.id == kIdx1) {
        if (c.size % 16 != 0) return Fail("'idx1' size is not a multiple of 16");
        out_->hasIndex = true;
        for (size_t e = c.data; e < c.data + c.size; e += 16) {
          AviIndexEntry entry;
          entry.chunkId = Le32(p_ + e);
          entry.flags = Le32(p_ + e + 4);
          entry.offset = Le32(p_ + e + 8);
          entry.size = Le32(p_ + e + 12);
          out_->index.push_back(entry);
        }
      }
      pos = c.next;
    }
    return true;
  }

  bool ParseAvixList(size_t pos, size_t end) {
    while (pos < end) {
      Chunk c;
      if (!ReadChunk(pos, end, &c)) return false;
      if (c.id == kList) {
        uint32_t type;
        if (!ListType(c, &type)) return false;
        if (type == kMovi && !ParseMovi(c.data + 4, c.data + c.size, 0)) return false;
      }
      pos = c.next;
    }
    return true;
  }

  bool ParseHeaderList(size_t pos, size_t end) {
    bool sawMain = false;
    while (pos < end) {
      Chunk c;
      if (!ReadChunk(pos, end, &c)) return false;
      if (c.id == kAvih) {
        if (c.size < kAvihMin) return Fail("'avih' too short");
        const uint8_t* d = p_ + c.data;
        AviMainHeader& h = out_->mainHeader;
        h.microSecPerFrame = Le32(d);
        h.maxBytesPerSec = Le32(d + 4);
        h.paddingGranularity = Le32(d + 8);
        h.flags = Le32(d + 12);
        h.totalFrames = Le32(d + 16);
        h.initialFrames = Le32(d + 20);
        h.streams = Le32(d + 24);
        h.suggestedBufferSize = Le32(d + 28);
        h.width = Le32(d + 32);
        h.height = Le32(d + 36);
        sawMain = true;
      } else if (c.id == kList) {
        uint32_t type;
        if (!ListType(c, &type)) return false;
        if (type == kStrl && !ParseStreamList(c.data + 4, c.data + c.size)) return false;
      }
      pos = c.next;
    }
    if (!sawMain) return Fail("no 'avih' in 'hdrl'");
    sawHeader_ = true;
    return true;
  }

  bool ParseStreamList(size_t pos, size_t end) {
    AviStream s;
    bool sawStreamHeader = false;
    while (pos < end) {
      Chunk c;
      if (!ReadChunk(pos, end, &c)) return false;
      const uint8_t* d = p_ + c.data;
      if (c.id == kStrh) {
        if (c.size < kStrhMin) return Fail("'strh' too short");
        AviStreamHeader& h = s.header;
        h.fccType = Le32(d);
        h.fccHandler = Le32(d + 4);
        h.flags = Le32(d + 8);
        h.priority = Le16(d + 12);
        h.language = Le16(d + 14);
        h.initialFrames = Le32(d + 16);
        h.scale = Le32(d + 20);
        h.rate = Le32(d + 24);
        h.start = Le32(d + 28);
        h.length = Le32(d + 32);
        h.suggestedBufferSize = Le32(d + 36);
        h.quality = Le32(d + 40);
        h.sampleSize = Le32(d + 44);
        if (c.size >= kStrhRect) {
          h.hasFrameRect = true;
          h.rcFrame.left = static_cast<int16_t>(Le16(d + 48));
          h.rcFrame.top = static_cast<int16_t>(Le16(d + 50));
          h.rcFrame.right = static_cast<int16_t>(Le16(d + 52));
          h.rcFrame.bottom = static_cast<int16_t>(Le16(d + 54));
        }
        sawStreamHeader = true;
      } else if (c.id == kStrf) {
        s.format.assign(d, d + c.size);
      } else if (c.id == kStrn) {
        size_t n = 0;
        while (n < c.size && d[n]) ++n;
        s.name.assign(reinterpret_cast<const char*>(d), n);
      }
      pos = c.next;
    }
    if (!sawStreamHeader) return Fail("stream list without 'strh'");
    if (s.header.fccType == kVids && s.format.size() >= kBitmapInfo) {
      const uint8_t* f = s.format.data();
      AviBitmapInfo& b = s.bitmapInfo;
      b.size = Le32(f);
      b.width = static_cast<int32_t>(Le32(f + 4));
      b.height = static_cast<int32_t>(Le32(f + 8));
      b.planes = Le16(f + 12);
      b.bitCount = Le16(f + 14);
      b.compression = Le32(f + 16);
      b.sizeImage = Le32(f + 20);
      b.xPelsPerMeter = static_cast<int32_t>(Le32(f + 24));
      b.yPelsPerMeter = static_cast<int32_t>(Le32(f + 28));
      b.clrUsed = Le32(f + 32);
      b.clrImportant = Le32(f + 36);
      s.hasBitmapInfo = true;
    }
    out_->streams.push_back(std::move(s));
    return true;
  }

  // Data chunks are named by a two-digit stream number and a two-letter type.
  bool ParseMovi(size_t pos, size_t end, int depth) {
    while (pos < end) {
      Chunk c;
      if (!ReadChunk(pos, end, &c)) return false;
      if (c.id == kList) {
        uint32_t type;
        if (!ListType(c, &type)) return false;
        // 'rec ' groups the chunks of one moment; it does not nest.
        if (type == kRec && depth == 0 && !ParseMovi(c.data + 4, c.data + c.size, 1)) return false;
      } else {
        const char a = static_cast<char>(c.id & 0xFF), b = static_cast<char>((c.id >> 8) & 0xFF);
        const char t0 = static_cast<char>((c.id >> 16) & 0xFF),
                   t1 = static_cast<char>((c.id >> 24) & 0xFF);
        if (a >= '0' && a <= '9' && b >= '0' && b <= '9' && t0 == 'd' && (t1 == 'b' || t1 == 'c')) {
          const size_t stream = static_cast<size_t>((a - '0') * 10 + (b - '0'));
          if (stream >= out_->streams.size())
            return Fail("data chunk '" + FourCCText(c.id) + "' for a missing stream");
          AviChunk chunk;
          chunk.id = c.id;
          chunk.offset = c.data;
          chunk.size = c.size;
          out_->streams[stream].dataChunks.push_back(chunk);
        }
      }
      pos = c.next;
    }
    return true;
  }

  const uint8_t* p_;
  size_t size_;
  AviFile* out_;
  std::string* error_;
  bool sawHeader_ = false;
  bool sawMovi_ = false;
};

}  // namespace

std::string FourCCText(uint32_t fourcc) {
  std::string s(4, '?');
  for (int i = 0; i < 4; ++i) {
    const char c = static_cast<char>((fourcc >> (8 * i)) & 0xFF);
    if (c >= 0x20 && c < 0x7F) s[i] = c;
  }
  return s;
}

bool ParseAvi(const void* data, size_t size, AviFile* out, std::string* error) {
  if (!out) return false;
  *out = AviFile();
  if (!data) {
    if (error) *error = "no data";
    return false;
  }
  Parser parser(static_cast<const uint8_t*>(data), size, out, error);
  return parser.Run();
}

bool ParseAviFile(const std::string& path, AviFile* out, std::string* error) {
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) {
    if (error) *error = "cannot open " + path;
    if (out) *out = AviFile();
    return false;
  }
  std::vector<uint8_t> bytes;
  uint8_t buf[65536];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) bytes.insert(bytes.end(), buf, buf + n);
  std::fclose(f);
  return ParseAvi(bytes.data(), bytes.size(), out, error);
}

}  // namespace orba_test
