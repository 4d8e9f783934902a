#pragma once
// Test-side control of the simulated camera: its options, its property-set log,
// the decoder of the logged camera command frames, and plugging it in and out.
// Everything here works across processes (registry, files, named event).
#include <windows.h>

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace simcam {

// ---- options (read by the camera when a filter is created) ----

struct Options {
  uint32_t frameRate = 30;         // frames per second, 1 to 60
  bool omitHuffmanTables = false;  // frames without DHT segments
  bool noPropertySet = false;      // the filter does not answer IKsPropertySet
  std::string logPath;             // empty: the default log file
  std::string dumpFolder;          // empty: samples are not written out
};

// Writes every option (empty texts remove their value).
bool SetOptions(const Options& options);
// Removes all options: the camera behaves as by default.
bool ClearOptions();
// The options as the camera reads them, defaults filled in and the rate clamped.
Options ReadOptions();
// The log file the camera writes to with the current options.
std::string LogPath();

// ---- property-set log ----

// One call on the camera filter's IKsPropertySet. The values are those of the
// 40-byte camera-control record: for Set as passed in, for Get as answered; zero
// when the call had no such record.
struct PropertyCall {
  enum Kind { kSet, kGet } kind = kSet;
  GUID propSet = {};
  ULONG id = 0;
  ULONG instanceBytes = 0;
  ULONG dataBytes = 0;
  LONG value1 = 0;
  LONG value2 = 0;
  ULONG flags = 0;
  ULONG capabilities = 0;
  HRESULT result = S_OK;
};

// One log line:
// "Set {C6E13370-30AC-11D0-A18C-00A0C9118956} id=9 inst=40 data=40 v1=0x00016E01
//  v2=0x0005C286 flags=0x00000002 caps=0x00000002 hr=0x00000000" (a single line).
std::string FormatLogLine(const PropertyCall& call);
bool ParseLogLine(const std::string& line, PropertyCall* call);
// Appends one line (creating the folder and file as needed); safe across processes.
bool AppendLog(const std::string& path, const PropertyCall& call);
// Every call logged so far, in order; unparsable lines are skipped.
std::vector<PropertyCall> ReadLog(const std::string& path);
std::vector<PropertyCall> ReadLog();
// Empties the log.
bool ResetLog(const std::string& path);
bool ResetLog();

// ---- camera command frames ----

// A 5-byte packet packed into Value1/Value2 as the viewer sends it: 20 bits each,
// two whole bytes and one nibble of byte 2.
void PackPacket(const uint8_t packet[5], LONG* value1, LONG* value2);
void UnpackPacket(LONG value1, LONG value2, uint8_t packet[5]);

struct CommandFrame {
  std::array<uint8_t, 10> bytes{};
  uint16_t sum = 0;    // the frame sum carried in packet 3
  bool sumOk = false;  // it matches the sum of the ten bytes
  bool thirdPacketRepeated = false;
  bool readBack = false;  // a Get of the zoom property followed
};

struct DecodedCommands {
  std::vector<CommandFrame> frames;
  std::vector<std::string> errors;  // out-of-order or malformed packets
  // Bytes 0 and 8 of every frame ("F0 03", "6E 0C", ...), for assertions.
  std::vector<std::string> Codes() const;
};

// Rebuilds the 10-byte frames from the Set calls on the pan/tilt property.
DecodedCommands DecodeCommands(const std::vector<PropertyCall>& calls);

// ---- presence ----

// Writes (or removes) the camera's video-input device instance.
bool WriteDeviceInstance();
bool RemoveDeviceInstance();
bool DeviceInstanceExists();
// Takes the camera away: no device instance, no more frames from running filters,
// and WM_DEVICECHANGE / DBT_DEVNODES_CHANGED to the top-level windows.
bool Unplug();
// Brings it back.
bool Plug();
// A camera that stays plugged in but whose stream delivers nothing (true) or
// delivers again (false); the system is told of no device change.
bool StallStream(bool stalled);

}  // namespace simcam
