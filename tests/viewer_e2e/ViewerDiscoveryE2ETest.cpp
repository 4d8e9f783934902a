// Which video input device ORBA.exe takes for its camera, told apart by what the
// running viewer does: the simulated camera answers the start-up commands, a
// Smart Tee registered under a camera path binds but cannot take commands (error
// 25B), and no match at all is error 25A. Also the naming of the camera's USB
// device instances at start.
#include <gtest/gtest.h>

#include <dshow.h>

#include <string>
#include <vector>

#include "SimCamViewer.h"
#include "orba/ComPtr.h"
#include "orba/Scoped.h"
#include "orba/SettingsKey.h"

namespace orba_e2e {
namespace {

using orba_test::SeenMessageBox;
using orba_test::ViewerProcess;

// Instance names sort in this order, which is the enumeration order.
const char kFirstInstance[] = "{0A000000-0000-4000-8000-0000000000A1}";
const char kSecondInstance[] = "{0B000000-0000-4000-8000-0000000000B2}";

const char kLowerPath[] =
    "\\\\?\\usb#vid_0525&pid_a941&mi_00#7&1&0&0000#{65e8773d-8f56-11d0-a3b9-00a0c9223196}\\global";
const char kOtherLowerPath[] =
    "\\\\?\\usb#vid_0525&pid_a941&mi_00#7&2b&0&0001#{65e8773d-8f56-11d0-a3b9-00a0c9223196}\\global";
const char kUpperPath[] =
    "\\\\?\\usb#VID_0525&PID_A941&MI_00#7&1&0&0000#{65e8773d-8f56-11d0-a3b9-00a0c9223196}\\global";

const char kCameraEnumKey[] = "System\\CurrentControlSet\\Enum\\USB\\Vid_0525&Pid_a941&MI_00";

struct Device {
  const char* name;
  bool simulatedCamera;  // else a Smart Tee, which has no camera control
  const char* path;      // null: no "DevicePath"
};

struct DiscoveryCase {
  const char* label;
  std::vector<Device> devices;  // in enumeration order
  enum Outcome { kStarts, kError25A, kError25B } outcome;
};

void PrintTo(const DiscoveryCase& c, std::ostream* os) { *os << c.label; }

class ViewerDiscovery : public SimCamViewerTest,
                        public ::testing::WithParamInterface<DiscoveryCase> {};

TEST_P(ViewerDiscovery, UsesTheFirstMatchingDevice) {
  const DiscoveryCase& c = GetParam();
  ASSERT_TRUE(simcam::RemoveDeviceInstance());
  orba_test::DeleteRegistryTree(HKEY_CURRENT_USER, orba::kSettingsKey);
  const char* const instances[] = {kFirstInstance, kSecondInstance};
  ASSERT_LE(c.devices.size(), 2u);
  std::vector<std::string> order;
  for (size_t i = 0; i < c.devices.size(); ++i) {
    const Device& d = c.devices[i];
    ASSERT_TRUE(orba_test::AddVideoInputDevice(
        instances[i], d.name, d.simulatedCamera ? SimCamClsidText() : orba_test::kSmartTeeClsid,
        d.path));
    order.push_back(d.name);
  }
  // Each case is decisive only in this order.
  ASSERT_EQ(order, orba_test::VideoInputDeviceNames());

  ViewerProcess viewer;
  if (c.outcome == DiscoveryCase::kStarts) {
    ASSERT_NE(nullptr, StartViewer(&viewer));
    EXPECT_EQ(nullptr, viewer.FindMessageBox());
    DWORD code = 99;
    std::vector<SeenMessageBox> boxes;
    ASSERT_TRUE(viewer.CloseAndWait(kExitTimeoutMs, &code, &boxes));
    EXPECT_EQ(0u, code);
    EXPECT_TRUE(boxes.empty()) << boxes.front().text;
    // One camera was driven, once.
    const auto calls = Calls();
    EXPECT_EQ(Concat(StartupCodes(false), {"F0 05"}), simcam::DecodeCommands(calls).Codes());
    for (const std::string& f : CheckExchanges(calls, 0, 4)) ADD_FAILURE() << f;
    return;
  }

  ASSERT_TRUE(viewer.Start());
  SeenMessageBox box;
  ASSERT_TRUE(viewer.AnswerMessageBox(&box, kStartTimeoutMs)) << "no message box";
  EXPECT_EQ(c.outcome == DiscoveryCase::kError25A
                ? "Error #25A Sorry no or wrong camera Program ends\n"
                : "Error #25B Sorry could not find camera control interface. Program ends.\n",
            box.text);
  DWORD code = 99;
  std::vector<SeenMessageBox> more;
  ASSERT_TRUE(viewer.WaitForExit(kExitTimeoutMs, &code, &more));
  EXPECT_EQ(1u, code);
  EXPECT_TRUE(more.empty()) << more.front().text;
  EXPECT_TRUE(Calls().empty()) << "the simulated camera was not to be used";
}

INSTANTIATE_TEST_SUITE_P(
    Devices, ViewerDiscovery,
    ::testing::Values(
        // Two cameras: only one of them gets the commands.
        DiscoveryCase{"TwoCameras",
                      {{"camera one", true, kLowerPath}, {"camera two", true, kOtherLowerPath}},
                      DiscoveryCase::kStarts},
        // The first of two matching devices wins, in either order.
        DiscoveryCase{"CameraListedFirst",
                      {{"camera", true, kLowerPath}, {"tee", false, kOtherLowerPath}},
                      DiscoveryCase::kStarts},
        DiscoveryCase{"CameraListedSecond",
                      {{"tee", false, kLowerPath}, {"camera", true, kOtherLowerPath}},
                      DiscoveryCase::kError25B},
        // Vendor and product in upper case are no camera.
        DiscoveryCase{
            "UpperCasePathOnly", {{"camera", true, kUpperPath}}, DiscoveryCase::kError25A},
        DiscoveryCase{"UpperCasePathBeforeAMatch",
                      {{"camera", true, kUpperPath}, {"tee", false, kLowerPath}},
                      DiscoveryCase::kError25B},
        // A device without a path is passed over, whatever it is.
        DiscoveryCase{"NoPathBeforeTheCamera",
                      {{"tee", false, nullptr}, {"camera", true, kLowerPath}},
                      DiscoveryCase::kStarts},
        DiscoveryCase{"CameraWithoutPathBeforeAMatch",
                      {{"camera", true, nullptr}, {"tee", false, kLowerPath}},
                      DiscoveryCase::kError25B}),
    [](const ::testing::TestParamInfo<DiscoveryCase>& info) { return info.param.label; });

// ---- naming ----

class ViewerNaming : public SimCamViewerTest {
 protected:
  orba_test::ScopedRegistryTree usbDevice_{HKEY_LOCAL_MACHINE, kCameraEnumKey};
};

TEST_F(ViewerNaming, StartingTheViewerNamesTheCamerasUsbDeviceInstances) {
  const char* const instances[] = {"6&2c3d4e5f&0&0000", "6&2c3d4e5f&0&0001"};
  for (const char* instance : instances) {
    orba::ScopedHKEY key;
    ASSERT_EQ(
        ERROR_SUCCESS,
        RegCreateKeyExA(HKEY_LOCAL_MACHINE, (std::string(kCameraEnumKey) + "\\" + instance).c_str(),
                        0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key.Put(), nullptr));
    const char old[] = "USB Video Device";
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(key.Get(), "FriendlyName", 0, REG_SZ,
                                            reinterpret_cast<const BYTE*>(old), sizeof old));
  }

  ViewerProcess viewer;
  ASSERT_NE(nullptr, StartViewer(&viewer));
  for (const char* instance : instances) {
    SCOPED_TRACE(instance);
    char name[64] = {};
    DWORD bytes = sizeof name;
    DWORD type = 0;
    ASSERT_EQ(ERROR_SUCCESS, RegGetValueA(HKEY_LOCAL_MACHINE,
                                          (std::string(kCameraEnumKey) + "\\" + instance).c_str(),
                                          "FriendlyName", RRF_RT_ANY, &type, name, &bytes));
    EXPECT_EQ(static_cast<DWORD>(REG_SZ), type);
    EXPECT_STREQ("Opticorva Video", name);
    EXPECT_EQ(sizeof "Opticorva Video", bytes) << "the text and its terminating null";
  }
  DWORD code = 99;
  ASSERT_TRUE(viewer.CloseAndWait(kExitTimeoutMs, &code));
  EXPECT_EQ(0u, code);
}

}  // namespace
}  // namespace orba_e2e
