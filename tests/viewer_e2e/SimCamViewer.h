#pragma once
// ORBA.exe against the simulated ORBA camera: a fixture that gives each test the
// camera as the only video input device, a log of its own and (through
// ViewerE2ETest) the viewer's settings key, and puts all of it back afterwards;
// and checks of the camera command exchanges the camera logged.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "RegistrySnapshot.h"
#include "TestEnv.h"
#include "VideoInputDevices.h"
#include "ViewerE2ETest.h"
#include "ViewerProcess.h"
#include "simcam/SimCamControl.h"
#include "simcam/SimCamIds.h"
#include "orba/SettingsKey.h"

namespace orba_e2e {

extern const char kSkipFrames[];  // "SKIPFRAMES"
constexpr DWORD kStartTimeoutMs = 30000;

// Calls one exchange of a command frame takes: three packets, the third twice,
// and the read-back of the zoom property.
constexpr size_t kCallsPerCommand = 5;

// The class of OrbaSimCam.ax's capture filter as registry text.
std::string SimCamClsidText();

using orba_test::WaitFor;

// Checks that calls[first, first + count * 5) are count complete command
// exchanges exactly as the viewer sends them: pan/tilt Sets with the 40-byte
// record as instance and property data, manual flags and capabilities, the third
// packet repeated unchanged, then one Get of the zoom property. Returns the
// failures (empty when all is well).
std::vector<std::string> CheckExchanges(const std::vector<simcam::PropertyCall>& calls,
                                        size_t firstCommand, size_t count);

// The start-up sequence for a frame-skipping setting.
std::vector<std::string> StartupCodes(bool skipFrames);

// Appends b to a.
std::vector<std::string> Concat(std::vector<std::string> a, const std::vector<std::string>& b);

class SimCamViewerTest : public ViewerE2ETest {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Options of the camera with this test's log path filled in.
  bool SetCameraOptions(simcam::Options options);

  std::vector<simcam::PropertyCall> Calls() const { return simcam::ReadLog(logPath_); }
  simcam::DecodedCommands Commands() const { return simcam::DecodeCommands(Calls()); }
  std::vector<std::string> Codes() const { return Commands().Codes(); }
  // Waits until the camera has logged at least this many complete exchanges.
  bool WaitForCommands(size_t count, DWORD timeoutMs = kStartTimeoutMs) const;

  // The viewer's "SKIPFRAMES" as stored (-1: absent or not a 4-byte DWORD).
  static long long StoredSkipFrames();
  static bool StoreSkipFrames(DWORD value);

  // Starts the viewer and waits for its window and its main loop; null on failure.
  HWND StartViewer(orba_test::ViewerProcess* viewer);

  // Each is put back as it was, after every viewer of the test has ended.
  orba_test::ScopedRegistryTree options_{HKEY_CURRENT_USER, simcam::kOptionsKey};
  orba_test::ScopedVideoInputDevices devices_{orba_test::ScopedVideoInputDevices::kRemoveAll};
  std::string logDir_;
  std::string logPath_;
};

}  // namespace orba_e2e
