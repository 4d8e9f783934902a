#include "SimCamViewer.h"

#include <objbase.h>

#include <cstdio>

#include "TestEnv.h"
#include "orba/Scoped.h"
#include "orba/SettingsKey.h"

namespace orba_e2e {

const char kSkipFrames[] = "SKIPFRAMES";

namespace {

constexpr ULONG kRecordBytes = sizeof(simcam::CameraControlRecord);

std::string Describe(size_t command, size_t call, const char* what) {
  char text[128];
  std::snprintf(text, sizeof text, "command %zu, call %zu: %s", command, call, what);
  return text;
}

}  // namespace

std::string SimCamClsidText() {
  WCHAR wide[39] = {};
  StringFromGUID2(simcam::CLSID_OrbaSimCam, wide, 39);
  char narrow[39] = {};
  WideCharToMultiByte(CP_ACP, 0, wide, -1, narrow, sizeof narrow, nullptr, nullptr);
  return narrow;
}

std::vector<std::string> CheckExchanges(const std::vector<simcam::PropertyCall>& calls,
                                        size_t firstCommand, size_t count) {
  std::vector<std::string> failures;
  const size_t begin = firstCommand * kCallsPerCommand;
  const size_t end = begin + count * kCallsPerCommand;
  if (calls.size() < end) {
    failures.push_back("only " + std::to_string(calls.size()) + " calls logged, " +
                       std::to_string(end) + " wanted");
    return failures;
  }
  for (size_t cmd = firstCommand; cmd < firstCommand + count; ++cmd) {
    const simcam::PropertyCall* c = &calls[cmd * kCallsPerCommand];
    for (size_t i = 0; i < 4; ++i) {
      const simcam::PropertyCall& set = c[i];
      if (set.kind != simcam::PropertyCall::kSet) failures.push_back(Describe(cmd, i, "not a Set"));
      if (!IsEqualGUID(set.propSet, simcam::kPropSetCameraControl) ||
          set.id != simcam::kPropPanTilt) {
        failures.push_back(Describe(cmd, i, "not the pan/tilt property"));
      }
      if (set.instanceBytes != kRecordBytes || set.dataBytes != kRecordBytes) {
        failures.push_back(Describe(cmd, i, "record is not 40 bytes"));
      }
      if (set.flags != simcam::kCameraControlFlagsManual ||
          set.capabilities != simcam::kCameraControlFlagsManual) {
        failures.push_back(Describe(cmd, i, "flags or capabilities are not manual"));
      }
      uint8_t packet[5];
      simcam::UnpackPacket(set.value1, set.value2, packet);
      const unsigned number = i < 3 ? static_cast<unsigned>(i + 1) : 3u;
      if (packet[0] != number) failures.push_back(Describe(cmd, i, "packet out of order"));
    }
    if (c[3].value1 != c[2].value1 || c[3].value2 != c[2].value2) {
      failures.push_back(Describe(cmd, 3, "third packet not repeated unchanged"));
    }
    const simcam::PropertyCall& get = c[4];
    if (get.kind != simcam::PropertyCall::kGet || get.id != simcam::kPropZoom ||
        !IsEqualGUID(get.propSet, simcam::kPropSetCameraControl) || get.instanceBytes != 0 ||
        get.dataBytes != kRecordBytes || get.result != S_OK) {
      failures.push_back(Describe(cmd, 4, "no read-back of the zoom property"));
    }
  }

  const std::vector<simcam::PropertyCall> slice(calls.begin() + static_cast<ptrdiff_t>(begin),
                                                calls.begin() + static_cast<ptrdiff_t>(end));
  const simcam::DecodedCommands decoded = simcam::DecodeCommands(slice);
  for (const std::string& e : decoded.errors) failures.push_back("decoder: " + e);
  if (decoded.frames.size() != count) {
    failures.push_back("decoder found " + std::to_string(decoded.frames.size()) + " frames");
  }
  for (size_t i = 0; i < decoded.frames.size(); ++i) {
    const simcam::CommandFrame& f = decoded.frames[i];
    if (!f.sumOk) failures.push_back(Describe(firstCommand + i, 2, "wrong frame sum"));
    if (!f.thirdPacketRepeated) failures.push_back(Describe(firstCommand + i, 3, "not repeated"));
    if (!f.readBack) failures.push_back(Describe(firstCommand + i, 4, "no read-back"));
    if (f.bytes[0] == 0xF0) {
      // The control class carries nothing but its code.
      for (size_t b = 1; b < 10; ++b) {
        if (b != 8 && f.bytes[b] != 0)
          failures.push_back(Describe(firstCommand + i, b, "stray byte"));
      }
    }
  }
  return failures;
}

std::vector<std::string> StartupCodes(bool skipFrames) {
  return {skipFrames ? "F0 03" : "F0 02", "F0 04", "F0 09"};
}

std::vector<std::string> Concat(std::vector<std::string> a, const std::vector<std::string>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

void SimCamViewerTest::SetUp() {
  logDir_ = orba_test::MakeTempDir("simcamlog");
  logPath_ = logDir_ + "\\simcam-log.txt";
  ASSERT_TRUE(SetCameraOptions(simcam::Options()));
  // The simulated camera is the only video input device.
  ASSERT_TRUE(simcam::WriteDeviceInstance());
}

void SimCamViewerTest::TearDown() { orba_test::RemoveTree(logDir_); }

bool SimCamViewerTest::SetCameraOptions(simcam::Options options) {
  options.logPath = logPath_;
  return simcam::SetOptions(options);
}

bool SimCamViewerTest::WaitForCommands(size_t count, DWORD timeoutMs) const {
  return WaitFor([&] { return Calls().size() >= count * kCallsPerCommand; }, timeoutMs);
}

long long SimCamViewerTest::StoredSkipFrames() {
  return orba_test::ReadDwordValue(HKEY_CURRENT_USER, orba::kSettingsKey, kSkipFrames);
}

bool SimCamViewerTest::StoreSkipFrames(DWORD value) {
  orba::ScopedHKEY key;
  if (RegCreateKeyExA(HKEY_CURRENT_USER, orba::kSettingsKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                      key.Put(), nullptr) != ERROR_SUCCESS) {
    return false;
  }
  return RegSetValueExA(key.Get(), kSkipFrames, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                        sizeof value) == ERROR_SUCCESS;
}

HWND SimCamViewerTest::StartViewer(orba_test::ViewerProcess* viewer) {
  // Up once its main loop runs and its window takes sent messages; the time
  // allowed is that for the window and that for its main loop.
  const ::testing::AssertionResult up =
      StartAndWaitUntilUp(viewer, WindowAnswers, 2 * kStartTimeoutMs);
  if (!up) {
    std::fprintf(stderr, "%s\n", up.message());
    return nullptr;
  }
  return viewer->FindViewerWindow();
}

}  // namespace orba_e2e
