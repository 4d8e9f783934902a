// The camera-control property set: calls are answered and logged, and the log is
// readable from another process.
#include <gtest/gtest.h>

#include "SimCamTestUtil.h"
#include "TestEnv.h"

namespace simcam_test {
namespace {

simcam::CameraControlRecord Packet(LONG v1, LONG v2) {
  simcam::CameraControlRecord r = {};
  r.Value1 = v1;
  r.Value2 = v2;
  r.Flags = r.Capabilities = 2;
  return r;
}

TEST_F(SimCamTest, SetAndGetAreAnsweredAndLogged) {
  const std::string log = orba_test::MakeTempDir("simcam_log") + "\\calls.txt";
  simcam::Options options;
  options.logPath = log;
  ASSERT_TRUE(simcam::SetOptions(options));
  ComPtr<IBaseFilter> camera = CreateCamera();
  ComPtr<IKsPropertySet> props;
  ASSERT_EQ(S_OK, camera->QueryInterface(IID_IKsPropertySet, props.PutVoid()));

  simcam::CameraControlRecord r = Packet(0x16E01, 0x5C286);
  EXPECT_EQ(S_OK, props->Set(simcam::kPropSetCameraControl, 9, &r, sizeof r, &r, sizeof r));
  simcam::CameraControlRecord out = Packet(0x30C03, 0x4028A);
  DWORD returned = 0;
  EXPECT_EQ(S_OK,
            props->Get(simcam::kPropSetCameraControl, 3, nullptr, 0, &out, sizeof out, &returned));
  EXPECT_EQ(40u, returned);
  EXPECT_EQ(simcam::kZoomValue, out.Value1);
  EXPECT_EQ(2u, out.Flags);
  // What the camera does not take is refused, and still logged.
  EXPECT_EQ(E_PROP_ID_UNSUPPORTED,
            props->Set(simcam::kPropSetCameraControl, 3, &r, sizeof r, &r, sizeof r));
  EXPECT_EQ(E_INVALIDARG, props->Set(simcam::kPropSetCameraControl, 9, &r, 32, &r, 32));
  EXPECT_EQ(E_PROP_SET_UNSUPPORTED, props->Set(AMPROPSETID_Pin, 9, &r, sizeof r, &r, sizeof r));
  DWORD support = 0;
  ASSERT_EQ(S_OK, props->QuerySupported(simcam::kPropSetCameraControl, 9, &support));
  EXPECT_EQ(static_cast<DWORD>(KSPROPERTY_SUPPORT_SET), support);

  const std::vector<simcam::PropertyCall> calls = simcam::ReadLog(log);
  ASSERT_EQ(5u, calls.size());
  EXPECT_EQ(simcam::PropertyCall::kSet, calls[0].kind);
  EXPECT_EQ(simcam::kPropSetCameraControl, calls[0].propSet);
  EXPECT_EQ(9u, calls[0].id);
  EXPECT_EQ(40u, calls[0].instanceBytes);
  EXPECT_EQ(40u, calls[0].dataBytes);
  EXPECT_EQ(0x16E01, calls[0].value1);
  EXPECT_EQ(0x5C286, calls[0].value2);
  EXPECT_EQ(2u, calls[0].flags);
  EXPECT_EQ(2u, calls[0].capabilities);
  EXPECT_EQ(S_OK, calls[0].result);
  EXPECT_EQ(simcam::PropertyCall::kGet, calls[1].kind);
  EXPECT_EQ(3u, calls[1].id);
  EXPECT_EQ(0u, calls[1].instanceBytes);
  EXPECT_EQ(simcam::kZoomValue, calls[1].value1);
  EXPECT_EQ(E_PROP_ID_UNSUPPORTED, calls[2].result);
  EXPECT_EQ(E_INVALIDARG, calls[3].result);
  EXPECT_EQ(0, calls[3].value1);
  EXPECT_EQ(AMPROPSETID_Pin, calls[4].propSet);

  ASSERT_TRUE(simcam::ResetLog(log));
  EXPECT_TRUE(simcam::ReadLog(log).empty());
}

TEST_F(SimCamTest, CommandsFromAnotherProcessAreDecodedFromTheLog) {
  // Another process finds the camera, as the viewer does, and sends four frames.
  const std::string tool = orba_test::BinPath("simcam_send.exe");
  ASSERT_EQ(0, orba_test::RunProgram("\"" + tool + "\" F0:03 F0:04 F0:09 6E:0C"));

  const std::vector<simcam::PropertyCall> calls = simcam::ReadLog();
  ASSERT_EQ(4u * 5u, calls.size());
  // ZOOM_TELE goes out as the three packets of the worked example, the third twice.
  const size_t tele = 15;
  EXPECT_EQ(0x16E01, calls[tele].value1);
  EXPECT_EQ(0x5C286, calls[tele].value2);
  EXPECT_EQ(0x00002, calls[tele + 1].value1);
  EXPECT_EQ(0x03004, calls[tele + 1].value2);
  EXPECT_EQ(0x30C03, calls[tele + 2].value1);
  EXPECT_EQ(0x4028A, calls[tele + 2].value2);
  EXPECT_EQ(0x30C03, calls[tele + 3].value1);
  EXPECT_EQ(simcam::PropertyCall::kGet, calls[tele + 4].kind);

  const simcam::DecodedCommands decoded = simcam::DecodeCommands(calls);
  EXPECT_TRUE(decoded.errors.empty());
  EXPECT_EQ((std::vector<std::string>{"F0 03", "F0 04", "F0 09", "6E 0C"}), decoded.Codes());
  for (const simcam::CommandFrame& f : decoded.frames) {
    EXPECT_TRUE(f.sumOk);
    EXPECT_TRUE(f.thirdPacketRepeated);
    EXPECT_TRUE(f.readBack);
  }
  EXPECT_EQ(0x43, decoded.frames[3].bytes[9]);
}

TEST_F(SimCamTest, AnotherProcessFindsNoControlWhenItIsSwitchedOff) {
  simcam::Options options;
  options.noPropertySet = true;
  ASSERT_TRUE(simcam::SetOptions(options));
  EXPECT_EQ(3, orba_test::RunProgram("\"" + orba_test::BinPath("simcam_send.exe") + "\" F0:05"));
  EXPECT_TRUE(simcam::ReadLog().empty());
}

}  // namespace
}  // namespace simcam_test
