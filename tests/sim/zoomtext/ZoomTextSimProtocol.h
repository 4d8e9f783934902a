#pragma once
// What the simulated ZoomText (zoomtext_sim.exe, zxcmdset.dll) and the tests
// that use it share.
//
// zoomtext_sim.exe: a named file mapping <base> holding Shared, and the events
//   <base>_ready      set by the program once its mutex and main window exist
//   <base>_stop       set by the test to end the program
//   <base>_broadcast  set by the test: post "ZoomTextStateChangeMsg" once
//
// zxcmdset.dll reads its answers at every call from "zxcmdset-sim.ini" in its
// own folder, section [answers] (keys below; a missing file or key gives the
// default). It appends one line per call to "zxcmdset-calls.log" there:
//   <pid> <entry> [<argument> ...]\n
// with <entry> the export's plain name and the arguments of each entry:
//   ZxCommand               <code>
//   ZxCommandApi            <code> <parameter, 0x hex> [<cell> ...]
//   ZoomTextVersionRunning  (none)
//   ZoomTextIsMagnifying    (none)
//   ZoomTextStart           <length> <UTF-16 units, 4 hex digits each, or ->
//                           (a null pointer is logged as -1 -)
//   ZxCommandSetPower       <value>
//   ZoomTextExit            (none)
//   ZoomTextTestSpeech      <a> <b> <c> <d>
// Decimal numbers are signed 32-bit. For the CCTV codes with a non-null
// parameter the argument block's 32-bit cells follow as 0x%08X, as they were
// received (before the answer is written): 1023 10 cells, 1033 11 cells, 1024
// 10 cells, 1030 2 cells, 1036 and 1037 1 cell.
#include <windows.h>

#include <cstdint>
#include <cstdlib>
#include <string>

namespace zoomtext_sim {

constexpr uint32_t kMagic = 0x5A545349;  // "ISTZ"

struct Shared {
  uint32_t magic;
  uint32_t mainWindow;      // the main window's handle value; 0 without one
  uint32_t windowThreadId;  // the thread that owns it
  // Written by the program only.
  volatile LONG versionQueries;  // "WM_GETVER_ZXP" messages answered
  volatile LONG broadcasts;      // "ZoomTextStateChangeMsg" broadcasts posted
};

constexpr wchar_t kGetVersionMessage[] = L"WM_GETVER_ZXP";
constexpr wchar_t kStateChangeMessage[] = L"ZoomTextStateChangeMsg";

constexpr wchar_t kLibraryFile[] = L"zxcmdset.dll";
constexpr wchar_t kAnswersFile[] = L"zxcmdset-sim.ini";
constexpr wchar_t kCallLogFile[] = L"zxcmdset-calls.log";
constexpr wchar_t kNoSpeechFolder[] = L"zt_nospeech";  // below the bin folder
constexpr char kAnswersSection[] = "answers";

// Answer keys and their defaults.
constexpr char kRunningKey[] = "running";  // ZoomTextVersionRunning
constexpr int32_t kRunningDefault = 10;
constexpr char kMagnifyingKey[] = "magnifying";  // Api 214 and ZoomTextIsMagnifying
constexpr int32_t kMagnifyingDefault = 1;
constexpr char kFeaturesKey[] = "features";  // Api 1022
constexpr int32_t kFeaturesDefault = 7;
constexpr char kStateKey[] = "state";  // Api 225
constexpr int32_t kStateDefault = 0;
constexpr char kApiDefaultKey[] = "api_default";  // every other Api code, ZxCommand,
constexpr int32_t kApiDefault = 0;                // ZoomTextExit, ZoomTextTestSpeech
constexpr char kStartKey[] = "start";             // ZoomTextStart
constexpr int32_t kStartDefault = 1;
constexpr char kSupportedKey[] = "supported";  // second cell of 1030's block
constexpr int32_t kSupportedDefault = 1;
// "result_<code>" for each CCTV code: written into the result slot; the word
// "none" leaves the slot as it is. Default 0.
constexpr char kResultKeyPrefix[] = "result_";
constexpr char kNoResult[] = "none";
constexpr int32_t kResultDefault = 0;

// The CCTV codes and how many 32-bit cells their argument blocks hold.
constexpr int kCctvCodes[] = {1023, 1024, 1030, 1033, 1036, 1037};
inline int CctvBlockCells(int code) {
  switch (code) {
    case 1023:
      return 10;  // slot, 36-byte area record
    case 1024:
      return 10;  // slot, 0, owner, 28 zero bytes
    case 1030:
      return 2;  // slot, supported
    case 1033:
      return 11;  // slot, 40-byte area record
    case 1036:
    case 1037:
      return 1;  // slot
    default:
      return 0;
  }
}

// The value of key in [section] of an INI text, without surrounding blanks.
// Names compare without regard to case; ';' and '#' start comment lines.
inline bool FindIniValue(const std::string& text, const char* section, const char* key,
                         std::string* value) {
  auto trim = [](std::string s) {
    const char* blanks = " \t\r";
    const size_t b = s.find_first_not_of(blanks);
    if (b == std::string::npos) return std::string();
    return s.substr(b, s.find_last_not_of(blanks) - b + 1);
  };
  auto same = [](const std::string& a, const char* b) { return lstrcmpiA(a.c_str(), b) == 0; };
  bool inSection = false;
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    const std::string line = trim(text.substr(start, end - start));
    start = end + 1;
    if (line.empty() || line[0] == ';' || line[0] == '#') continue;
    if (line[0] == '[') {
      const size_t close = line.find(']');
      inSection = close != std::string::npos && same(trim(line.substr(1, close - 1)), section);
      continue;
    }
    const size_t eq = line.find('=');
    if (!inSection || eq == std::string::npos) continue;
    if (same(trim(line.substr(0, eq)), key)) {
      *value = trim(line.substr(eq + 1));
      return true;
    }
  }
  return false;
}

// A whole signed or unsigned 32-bit number (decimal, or 0x hex) as its bits.
inline bool ParseAnswerNumber(const std::string& text, int32_t* out) {
  if (text.empty()) return false;
  char* end = nullptr;
  const long long v = std::strtoll(text.c_str(), &end, 0);
  if (*end != '\0' || v < INT32_MIN || v > static_cast<long long>(UINT32_MAX)) return false;
  *out = static_cast<int32_t>(static_cast<uint32_t>(v));
  return true;
}

}  // namespace zoomtext_sim
