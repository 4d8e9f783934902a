#include "PictureFiles.h"

#include <cstring>

#include "orba/Scoped.h"
#include "orba/Text.h"

namespace orba_filter {

namespace {

// JPEG markers.
constexpr uint8_t kSOI = 0xD8;
constexpr uint8_t kEOI = 0xD9;
constexpr uint8_t kSOS = 0xDA;
constexpr uint8_t kDHT = 0xC4;
constexpr uint8_t kTEM = 0x01;

bool IsStandalone(uint8_t marker) {
  return marker == kSOI || marker == kTEM || (marker >= 0xD0 && marker <= 0xD7);
}

// Start-of-frame markers of arithmetic coding, which needs no Huffman tables.
bool IsArithmeticFrame(uint8_t marker) {
  return (marker >= 0xC9 && marker <= 0xCB) || (marker >= 0xCD && marker <= 0xCF);
}

// Annex K.3 of the JPEG standard: per table, the class/id byte, the 16 code
// length counts and the symbol values.
const uint8_t kStandardDht[] = {
    0xFF, 0xC4, 0x01, 0xA2,
    // DC, luminance
    0x00, 0, 1, 5, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0,
    0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11,
    // AC, luminance
    0x10, 0, 2, 1, 3, 3, 2, 4, 3, 5, 5, 4, 4, 0, 0, 1, 0x7d,
    0x01, 0x02, 0x03, 0x00, 0x04, 0x11, 0x05, 0x12, 0x21, 0x31, 0x41, 0x06, 0x13, 0x51,
    0x61, 0x07, 0x22, 0x71, 0x14, 0x32, 0x81, 0x91, 0xa1, 0x08, 0x23, 0x42, 0xb1, 0xc1,
    0x15, 0x52, 0xd1, 0xf0, 0x24, 0x33, 0x62, 0x72, 0x82, 0x09, 0x0a, 0x16, 0x17, 0x18,
    0x19, 0x1a, 0x25, 0x26, 0x27, 0x28, 0x29, 0x2a, 0x34, 0x35, 0x36, 0x37, 0x38, 0x39,
    0x3a, 0x43, 0x44, 0x45, 0x46, 0x47, 0x48, 0x49, 0x4a, 0x53, 0x54, 0x55, 0x56, 0x57,
    0x58, 0x59, 0x5a, 0x63, 0x64, 0x65, 0x66, 0x67, 0x68, 0x69, 0x6a, 0x73, 0x74, 0x75,
    0x76, 0x77, 0x78, 0x79, 0x7a, 0x83, 0x84, 0x85, 0x86, 0x87, 0x88, 0x89, 0x8a, 0x92,
    0x93, 0x94, 0x95, 0x96, 0x97, 0x98, 0x99, 0x9a, 0xa2, 0xa3, 0xa4, 0xa5, 0xa6, 0xa7,
    0xa8, 0xa9, 0xaa, 0xb2, 0xb3, 0xb4, 0xb5, 0xb6, 0xb7, 0xb8, 0xb9, 0xba, 0xc2, 0xc3,
    0xc4, 0xc5, 0xc6, 0xc7, 0xc8, 0xc9, 0xca, 0xd2, 0xd3, 0xd4, 0xd5, 0xd6, 0xd7, 0xd8,
    0xd9, 0xda, 0xe1, 0xe2, 0xe3, 0xe4, 0xe5, 0xe6, 0xe7, 0xe8, 0xe9, 0xea, 0xf1, 0xf2,
    0xf3, 0xf4, 0xf5, 0xf6, 0xf7, 0xf8, 0xf9, 0xfa,
    // DC, chrominance
    0x01, 0, 3, 1, 1, 1, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0,
    0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11,
    // AC, chrominance
    0x11, 0, 2, 1, 2, 4, 4, 3, 4, 7, 5, 4, 4, 0, 1, 2, 0x77,
    0x00, 0x01, 0x02, 0x03, 0x11, 0x04, 0x05, 0x21, 0x31, 0x06, 0x12, 0x41, 0x51, 0x07,
    0x61, 0x71, 0x13, 0x22, 0x32, 0x81, 0x08, 0x14, 0x42, 0x91, 0xa1, 0xb1, 0xc1, 0x09,
    0x23, 0x33, 0x52, 0xf0, 0x15, 0x62, 0x72, 0xd1, 0x0a, 0x16, 0x24, 0x34, 0xe1, 0x25,
    0xf1, 0x17, 0x18, 0x19, 0x1a, 0x26, 0x27, 0x28, 0x29, 0x2a, 0x35, 0x36, 0x37, 0x38,
    0x39, 0x3a, 0x43, 0x44, 0x45, 0x46, 0x47, 0x48, 0x49, 0x4a, 0x53, 0x54, 0x55, 0x56,
    0x57, 0x58, 0x59, 0x5a, 0x63, 0x64, 0x65, 0x66, 0x67, 0x68, 0x69, 0x6a, 0x73, 0x74,
    0x75, 0x76, 0x77, 0x78, 0x79, 0x7a, 0x82, 0x83, 0x84, 0x85, 0x86, 0x87, 0x88, 0x89,
    0x8a, 0x92, 0x93, 0x94, 0x95, 0x96, 0x97, 0x98, 0x99, 0x9a, 0xa2, 0xa3, 0xa4, 0xa5,
    0xa6, 0xa7, 0xa8, 0xa9, 0xaa, 0xb2, 0xb3, 0xb4, 0xb5, 0xb6, 0xb7, 0xb8, 0xb9, 0xba,
    0xc2, 0xc3, 0xc4, 0xc5, 0xc6, 0xc7, 0xc8, 0xc9, 0xca, 0xd2, 0xd3, 0xd4, 0xd5, 0xd6,
    0xd7, 0xd8, 0xd9, 0xda, 0xe2, 0xe3, 0xe4, 0xe5, 0xe6, 0xe7, 0xe8, 0xe9, 0xea, 0xf2,
    0xf3, 0xf4, 0xf5, 0xf6, 0xf7, 0xf8, 0xf9, 0xfa,
};
// Marker (2) + length field 0x01A2 (418): four tables of 17 bytes plus 12, 162,
// 12 and 162 symbols.
static_assert(sizeof kStandardDht == 2 + 0x01A2, "DHT length field matches its tables");

// The most pictures one name can take within a second.
constexpr int kMaxSuffix = 999;

bool FormatPicturePath(const char* folder, const char* name, int n, char* out, size_t cap) {
  return n == 1 ? orba::FormatBounded(out, cap, "%s\\%s.jpg", folder, name)
                : orba::FormatBounded(out, cap, "%s\\%s_%d.jpg", folder, name, n);
}

}  // namespace

HuffmanTables FindHuffmanTables(const uint8_t* data, size_t size, size_t* scanOffset) {
  if (!data || size < 4 || data[0] != 0xFF || data[1] != kSOI) return HuffmanTables::kNotJpeg;
  bool tables = false;
  size_t pos = 2;
  while (pos < size) {
    if (data[pos] != 0xFF) return HuffmanTables::kNotJpeg;
    // Any number of fill bytes may precede a marker.
    while (pos < size && data[pos] == 0xFF) ++pos;
    if (pos >= size) return HuffmanTables::kNotJpeg;
    const size_t markerStart = pos - 1;
    const uint8_t marker = data[pos++];
    if (marker == kSOS) {
      if (tables) return HuffmanTables::kPresent;
      if (scanOffset) *scanOffset = markerStart;
      return HuffmanTables::kMissing;
    }
    if (marker == 0x00 || marker == kEOI) return HuffmanTables::kNotJpeg;
    if (IsStandalone(marker)) continue;
    if (marker == kDHT || IsArithmeticFrame(marker)) tables = true;
    if (size - pos < 2) return HuffmanTables::kNotJpeg;
    const size_t length = (static_cast<size_t>(data[pos]) << 8) | data[pos + 1];
    if (length < 2 || length > size - pos) return HuffmanTables::kNotJpeg;
    pos += length;
  }
  return HuffmanTables::kNotJpeg;
}

const uint8_t* StandardHuffmanSegment(size_t* size) {
  if (size) *size = sizeof kStandardDht;
  return kStandardDht;
}

bool WriteAll(HANDLE file, const uint8_t* data, size_t size) {
  while (size > 0) {
    const DWORD chunk = size > 0x40000000u ? 0x40000000u : static_cast<DWORD>(size);
    DWORD written = 0;
    if (!WriteFile(file, data, chunk, &written, nullptr) || written == 0) return false;
    data += written;
    size -= written;
  }
  return true;
}

bool WritePicture(HANDLE file, const uint8_t* data, size_t size) {
  size_t scan = 0;
  if (FindHuffmanTables(data, size, &scan) != HuffmanTables::kMissing) {
    return WriteAll(file, data, size);
  }
  size_t dhtSize = 0;
  const uint8_t* dht = StandardHuffmanSegment(&dhtSize);
  return WriteAll(file, data, scan) && WriteAll(file, dht, dhtSize) &&
         WriteAll(file, data + scan, size - scan);
}

bool FreePicturePath(const char* folder, const char* name, char* out, size_t cap) {
  for (int n = 1; n <= kMaxSuffix; ++n) {
    if (!FormatPicturePath(folder, name, n, out, cap)) return false;
    if (GetFileAttributesA(out) == INVALID_FILE_ATTRIBUTES) return true;
  }
  if (out && cap) out[0] = '\0';
  return false;
}

HANDLE CreateFreePictureFile(const char* folder, const char* name, char* out, size_t cap) {
  for (int n = 1; n <= kMaxSuffix; ++n) {
    if (!FormatPicturePath(folder, name, n, out, cap)) return INVALID_HANDLE_VALUE;
    // CREATE_NEW claims the name: an existing picture is never opened.
    HANDLE file = CreateFileA(out, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) return file;
    const DWORD error = GetLastError();
    if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) return INVALID_HANDLE_VALUE;
  }
  return INVALID_HANDLE_VALUE;
}

const char kSettingsKey[] = "Software\\Opticorva\\ORBA";
const char kImageFolderPathValue[] = "ImageFolderPath";

int ReadSettingsText(const char* name, char* buf, size_t cap) {
  if (!buf || cap == 0) return 1;
  if (orba::ReadRegistryString(HKEY_CURRENT_USER, kSettingsKey, name, buf, cap) != ERROR_SUCCESS ||
      buf[0] == '\0') {
    buf[0] = '\0';
    return 1;
  }
  return 0;
}

LONG WriteSettingsText(const char* name, const char* text) {
  if (!text) return ERROR_INVALID_PARAMETER;
  orba::ScopedHKEY key;
  LONG rc = RegOpenKeyExA(HKEY_CURRENT_USER, kSettingsKey, 0, KEY_SET_VALUE, key.Put());
  if (rc != ERROR_SUCCESS) return rc;
  return RegSetValueExA(key.Get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                        static_cast<DWORD>(std::strlen(text)));
}

bool AnsiToWide(const char* text, wchar_t* out, size_t cap) {
  if (!out || cap == 0) return false;
  out[0] = L'\0';
  if (!text) return false;
  const int n = MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, text, -1, out,
                                    static_cast<int>(cap));
  if (n <= 0) {
    out[0] = L'\0';
    return false;
  }
  return true;
}

bool WideToAnsi(const wchar_t* text, char* out, size_t cap) {
  if (!out || cap == 0) return false;
  out[0] = '\0';
  if (!text) return false;
  // A character the code page cannot hold would name another folder.
  BOOL usedDefault = FALSE;
  const bool utf8 = GetACP() == CP_UTF8;
  const int n = WideCharToMultiByte(CP_ACP, utf8 ? 0 : WC_NO_BEST_FIT_CHARS, text, -1, out,
                                    static_cast<int>(cap), nullptr, utf8 ? nullptr : &usedDefault);
  if (n <= 0 || usedDefault) {
    out[0] = '\0';
    return false;
  }
  return true;
}

}  // namespace orba_filter
