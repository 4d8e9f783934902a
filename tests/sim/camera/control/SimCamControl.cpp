#include "simcam/SimCamControl.h"

#include <objbase.h>

#include <cstdio>
#include <cstring>
#include <fstream>

#include "orba/Scoped.h"
#include "orba/Text.h"
#include "simcam/SimCamIds.h"

namespace simcam {
namespace {

constexpr UINT kDevNodesChanged = 0x0007;  // DBT_DEVNODES_CHANGED

std::string DeviceInstanceKey() {
  return std::string("CLSID\\") + kVideoInputCategory + "\\Instance\\" + kDeviceInstance;
}

bool WriteString(HKEY key, const char* name, const std::string& value) {
  return RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                        static_cast<DWORD>(value.size() + 1)) == ERROR_SUCCESS;
}

bool WriteDword(HKEY key, const char* name, DWORD value) {
  return RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                        sizeof value) == ERROR_SUCCESS;
}

DWORD ReadDword(HKEY key, const char* name, DWORD fallback) {
  DWORD type = 0, value = 0, size = sizeof value;
  if (RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) !=
          ERROR_SUCCESS ||
      type != REG_DWORD) {
    return fallback;
  }
  return value;
}

std::string GuidText(REFGUID guid) {
  WCHAR wide[39];
  if (StringFromGUID2(guid, wide, 39) == 0) return "";
  char narrow[39];
  for (int i = 0; i < 39; ++i) narrow[i] = static_cast<char>(wide[i]);
  return narrow;
}

bool ParseGuid(const char* text, GUID* guid) {
  WCHAR wide[39];
  size_t i = 0;
  for (; i < 38 && text[i]; ++i) wide[i] = static_cast<WCHAR>(text[i]);
  if (i != 38) return false;
  wide[38] = L'\0';
  return SUCCEEDED(CLSIDFromString(wide, guid));
}

void CreateParentFolders(const std::string& path) {
  for (size_t i = 3; i < path.size(); ++i) {
    if (path[i] == '\\' || path[i] == '/') CreateDirectoryA(path.substr(0, i).c_str(), nullptr);
  }
}

// Kept open while this process has the camera unplugged, so that the event
// outlives the call even before a camera filter opens it.
HANDLE g_unpluggedEvent = nullptr;

HANDLE UnpluggedEvent() {
  if (!g_unpluggedEvent) g_unpluggedEvent = CreateEventA(nullptr, TRUE, FALSE, kUnpluggedEvent);
  return g_unpluggedEvent;
}

void AnnounceDeviceChange() {
  // Windows tells every top-level window when a device comes or goes.
  SendNotifyMessageA(HWND_BROADCAST, WM_DEVICECHANGE, kDevNodesChanged, 0);
}

}  // namespace

// ---- options ----

bool SetOptions(const Options& options) {
  orba::ScopedHKEY key;
  if (RegCreateKeyExA(HKEY_CURRENT_USER, kOptionsKey, 0, nullptr, REG_OPTION_NON_VOLATILE,
                      KEY_WRITE, nullptr, key.Put(), nullptr) != ERROR_SUCCESS) {
    return false;
  }
  bool ok = WriteDword(key.Get(), kOptFrameRate, options.frameRate) &&
            WriteDword(key.Get(), kOptOmitHuffman, options.omitHuffmanTables ? 1 : 0) &&
            WriteDword(key.Get(), kOptNoPropertySet, options.noPropertySet ? 1 : 0);
  if (options.logPath.empty()) {
    RegDeleteValueA(key.Get(), kOptLogPath);
  } else {
    ok = ok && WriteString(key.Get(), kOptLogPath, options.logPath);
  }
  if (options.dumpFolder.empty()) {
    RegDeleteValueA(key.Get(), kOptDumpFolder);
  } else {
    ok = ok && WriteString(key.Get(), kOptDumpFolder, options.dumpFolder);
  }
  return ok;
}

bool ClearOptions() {
  const LONG rc = RegDeleteKeyA(HKEY_CURRENT_USER, kOptionsKey);
  return rc == ERROR_SUCCESS || rc == ERROR_FILE_NOT_FOUND;
}

Options ReadOptions() {
  Options options;
  orba::ScopedHKEY key;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, kOptionsKey, 0, KEY_READ, key.Put()) == ERROR_SUCCESS) {
    DWORD rate = ReadDword(key.Get(), kOptFrameRate, kDefaultFrameRate);
    if (rate < kMinFrameRate) rate = kMinFrameRate;
    if (rate > kMaxFrameRate) rate = kMaxFrameRate;
    options.frameRate = rate;
    options.omitHuffmanTables = ReadDword(key.Get(), kOptOmitHuffman, 0) != 0;
    options.noPropertySet = ReadDword(key.Get(), kOptNoPropertySet, 0) != 0;
    char text[MAX_PATH];
    if (orba::ReadRegistryString(HKEY_CURRENT_USER, kOptionsKey, kOptLogPath, text, sizeof text) ==
        ERROR_SUCCESS) {
      options.logPath = text;
    }
    if (orba::ReadRegistryString(HKEY_CURRENT_USER, kOptionsKey, kOptDumpFolder, text,
                                 sizeof text) == ERROR_SUCCESS) {
      options.dumpFolder = text;
    }
  }
  if (options.logPath.empty()) options.logPath = kDefaultLogPath;
  return options;
}

std::string LogPath() { return ReadOptions().logPath; }

// ---- log ----

std::string FormatLogLine(const PropertyCall& call) {
  char line[256];
  std::snprintf(line, sizeof line,
                "%s %s id=%lu inst=%lu data=%lu v1=0x%08lX v2=0x%08lX flags=0x%08lX caps=0x%08lX "
                "hr=0x%08lX",
                call.kind == PropertyCall::kSet ? "Set" : "Get", GuidText(call.propSet).c_str(),
                static_cast<unsigned long>(call.id), static_cast<unsigned long>(call.instanceBytes),
                static_cast<unsigned long>(call.dataBytes),
                static_cast<unsigned long>(static_cast<ULONG>(call.value1)),
                static_cast<unsigned long>(static_cast<ULONG>(call.value2)),
                static_cast<unsigned long>(call.flags),
                static_cast<unsigned long>(call.capabilities),
                static_cast<unsigned long>(static_cast<ULONG>(call.result)));
  return line;
}

bool ParseLogLine(const std::string& line, PropertyCall* call) {
  if (!call) return false;
  char kind[4] = {};
  char guid[40] = {};
  unsigned long id = 0, inst = 0, data = 0, v1 = 0, v2 = 0, flags = 0, caps = 0, hr = 0;
  const int n = std::sscanf(line.c_str(),
                            "%3s %39s id=%lu inst=%lu data=%lu v1=0x%lx v2=0x%lx flags=0x%lx "
                            "caps=0x%lx hr=0x%lx",
                            kind, guid, &id, &inst, &data, &v1, &v2, &flags, &caps, &hr);
  if (n != 10) return false;
  PropertyCall c;
  if (std::strcmp(kind, "Set") == 0) {
    c.kind = PropertyCall::kSet;
  } else if (std::strcmp(kind, "Get") == 0) {
    c.kind = PropertyCall::kGet;
  } else {
    return false;
  }
  if (!ParseGuid(guid, &c.propSet)) return false;
  c.id = id;
  c.instanceBytes = inst;
  c.dataBytes = data;
  c.value1 = static_cast<LONG>(static_cast<ULONG>(v1));
  c.value2 = static_cast<LONG>(static_cast<ULONG>(v2));
  c.flags = flags;
  c.capabilities = caps;
  c.result = static_cast<HRESULT>(static_cast<ULONG>(hr));
  *call = c;
  return true;
}

bool AppendLog(const std::string& path, const PropertyCall& call) {
  CreateParentFolders(path);
  const std::string line = FormatLogLine(call) + "\r\n";
  // One append per call: lines from several writers never interleave.
  orba::ScopedHandle file(CreateFileA(path.c_str(), FILE_APPEND_DATA,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return false;
  DWORD written = 0;
  return WriteFile(file.Get(), line.data(), static_cast<DWORD>(line.size()), &written, nullptr) &&
         written == line.size();
}

std::vector<PropertyCall> ReadLog(const std::string& path) {
  std::vector<PropertyCall> calls;
  orba::ScopedHandle file(CreateFileA(path.c_str(), GENERIC_READ,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return calls;
  std::string text;
  char buf[4096];
  DWORD got = 0;
  while (ReadFile(file.Get(), buf, sizeof buf, &got, nullptr) && got > 0) text.append(buf, got);
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    PropertyCall call;
    if (ParseLogLine(line, &call)) calls.push_back(call);
    start = end + 1;
  }
  return calls;
}

std::vector<PropertyCall> ReadLog() { return ReadLog(LogPath()); }

bool ResetLog(const std::string& path) {
  if (DeleteFileA(path.c_str())) return true;
  return GetLastError() == ERROR_FILE_NOT_FOUND || GetLastError() == ERROR_PATH_NOT_FOUND;
}

bool ResetLog() { return ResetLog(LogPath()); }

// ---- command frames ----

void PackPacket(const uint8_t packet[5], LONG* value1, LONG* value2) {
  *value1 = static_cast<LONG>(packet[0] | (packet[1] << 8) | ((packet[2] & 0x0F) << 16));
  *value2 = static_cast<LONG>(packet[3] | (packet[4] << 8) | ((packet[2] >> 4) << 16));
}

void UnpackPacket(LONG value1, LONG value2, uint8_t packet[5]) {
  const ULONG a = static_cast<ULONG>(value1);
  const ULONG b = static_cast<ULONG>(value2);
  packet[0] = static_cast<uint8_t>(a & 0xFF);
  packet[1] = static_cast<uint8_t>((a >> 8) & 0xFF);
  packet[2] = static_cast<uint8_t>(((a >> 16) & 0x0F) | (((b >> 16) & 0x0F) << 4));
  packet[3] = static_cast<uint8_t>(b & 0xFF);
  packet[4] = static_cast<uint8_t>((b >> 8) & 0xFF);
}

std::vector<std::string> DecodedCommands::Codes() const {
  std::vector<std::string> codes;
  for (const CommandFrame& f : frames) {
    char text[8];
    std::snprintf(text, sizeof text, "%02X %02X", f.bytes[0], f.bytes[8]);
    codes.push_back(text);
  }
  return codes;
}

DecodedCommands DecodeCommands(const std::vector<PropertyCall>& calls) {
  DecodedCommands out;
  CommandFrame current;
  int expected = 1;  // next packet number of the frame being assembled
  bool haveLastThird = false;
  uint8_t lastThird[5] = {};
  for (const PropertyCall& call : calls) {
    if (call.propSet != kPropSetCameraControl) continue;
    if (call.kind == PropertyCall::kGet) {
      if (call.id == kPropZoom && expected == 1 && !out.frames.empty())
        out.frames.back().readBack = true;
      continue;
    }
    if (call.id != kPropPanTilt) continue;
    uint8_t packet[5];
    UnpackPacket(call.value1, call.value2, packet);
    if (packet[0] == 3 && expected == 1 && haveLastThird && !out.frames.empty() &&
        !out.frames.back().thirdPacketRepeated && std::memcmp(packet, lastThird, 5) == 0) {
      out.frames.back().thirdPacketRepeated = true;
      continue;
    }
    if (packet[0] != expected) {
      char text[96];
      std::snprintf(text, sizeof text, "packet %u where packet %d was expected (frame %zu)",
                    packet[0], expected, out.frames.size());
      out.errors.push_back(text);
      expected = 1;
      haveLastThird = false;
      if (packet[0] != 1) continue;
    }
    if (packet[0] == 1) {
      current = CommandFrame();
      std::memcpy(&current.bytes[0], packet + 1, 4);
      expected = 2;
    } else if (packet[0] == 2) {
      std::memcpy(&current.bytes[4], packet + 1, 4);
      expected = 3;
    } else {
      current.bytes[8] = packet[1];
      current.bytes[9] = packet[2];
      current.sum = static_cast<uint16_t>(packet[3] | (packet[4] << 8));
      unsigned sum = 0;
      for (uint8_t b : current.bytes) sum += b;
      current.sumOk = sum == current.sum;
      out.frames.push_back(current);
      std::memcpy(lastThird, packet, 5);
      haveLastThird = true;
      expected = 1;
    }
  }
  if (expected != 1) out.errors.push_back("last frame incomplete");
  return out;
}

// ---- presence ----

bool WriteDeviceInstance() {
  orba::ScopedHKEY key;
  if (RegCreateKeyExA(HKEY_CLASSES_ROOT, DeviceInstanceKey().c_str(), 0, nullptr,
                      REG_OPTION_NON_VOLATILE, KEY_WRITE, nullptr, key.Put(),
                      nullptr) != ERROR_SUCCESS) {
    return false;
  }
  return WriteString(key.Get(), "FriendlyName", kFriendlyName) &&
         WriteString(key.Get(), "CLSID", GuidText(CLSID_OrbaSimCam)) &&
         WriteString(key.Get(), "DevicePath", kDevicePath);
}

bool RemoveDeviceInstance() {
  const LONG rc = RegDeleteKeyA(HKEY_CLASSES_ROOT, DeviceInstanceKey().c_str());
  return rc == ERROR_SUCCESS || rc == ERROR_FILE_NOT_FOUND;
}

bool DeviceInstanceExists() {
  orba::ScopedHKEY key;
  return RegOpenKeyExA(HKEY_CLASSES_ROOT, DeviceInstanceKey().c_str(), 0, KEY_READ, key.Put()) ==
         ERROR_SUCCESS;
}

bool Unplug() {
  HANDLE event = UnpluggedEvent();
  const bool ok = event && SetEvent(event) && RemoveDeviceInstance();
  AnnounceDeviceChange();
  return ok;
}

bool Plug() {
  HANDLE event = UnpluggedEvent();
  const bool ok = event && ResetEvent(event) && WriteDeviceInstance();
  AnnounceDeviceChange();
  return ok;
}

bool StallStream(bool stalled) {
  HANDLE event = UnpluggedEvent();
  return event && (stalled ? SetEvent(event) : ResetEvent(event));
}

}  // namespace simcam
