// The control library's packing, log lines and frame decoder.
#include <gtest/gtest.h>

#include "SimCamTestUtil.h"

namespace simcam_test {
namespace {

simcam::PropertyCall PanTilt(const uint8_t packet[5]) {
  simcam::PropertyCall call;
  call.kind = simcam::PropertyCall::kSet;
  call.propSet = simcam::kPropSetCameraControl;
  call.id = simcam::kPropPanTilt;
  call.instanceBytes = call.dataBytes = 40;
  simcam::PackPacket(packet, &call.value1, &call.value2);
  call.flags = call.capabilities = 2;
  return call;
}

simcam::PropertyCall ZoomRead() {
  simcam::PropertyCall call;
  call.kind = simcam::PropertyCall::kGet;
  call.propSet = simcam::kPropSetCameraControl;
  call.id = simcam::kPropZoom;
  call.dataBytes = 40;
  return call;
}

// The calls of one frame as the viewer makes them.
void AppendFrame(std::vector<simcam::PropertyCall>* calls, const uint8_t frame[10]) {
  unsigned sum = 0;
  for (int i = 0; i < 10; ++i) sum += frame[i];
  const uint8_t p1[5] = {1, frame[0], frame[1], frame[2], frame[3]};
  const uint8_t p2[5] = {2, frame[4], frame[5], frame[6], frame[7]};
  const uint8_t p3[5] = {3, frame[8], frame[9], static_cast<uint8_t>(sum),
                         static_cast<uint8_t>(sum >> 8)};
  calls->push_back(PanTilt(p1));
  calls->push_back(PanTilt(p2));
  calls->push_back(PanTilt(p3));
  calls->push_back(PanTilt(p3));
  calls->push_back(ZoomRead());
}

TEST(CommandPacking, WorkedExampleOfZoomTele) {
  const uint8_t p1[5] = {0x01, 0x6E, 0x51, 0x86, 0xC2};
  const uint8_t p2[5] = {0x02, 0x00, 0x00, 0x04, 0x30};
  const uint8_t p3[5] = {0x03, 0x0C, 0x43, 0x8A, 0x02};
  LONG v1 = 0, v2 = 0;
  simcam::PackPacket(p1, &v1, &v2);
  EXPECT_EQ(0x16E01, v1);
  EXPECT_EQ(0x5C286, v2);
  simcam::PackPacket(p2, &v1, &v2);
  EXPECT_EQ(0x00002, v1);
  EXPECT_EQ(0x03004, v2);
  simcam::PackPacket(p3, &v1, &v2);
  EXPECT_EQ(0x30C03, v1);
  EXPECT_EQ(0x4028A, v2);
  // And the 0xF0-class frame of code 0x04.
  const uint8_t f4[5] = {0x03, 0x04, 0x00, 0xF4, 0x00};
  simcam::PackPacket(f4, &v1, &v2);
  EXPECT_EQ(0x00403, v1);
  EXPECT_EQ(0x000F4, v2);
}

TEST(CommandPacking, UnpackInvertsPackForEveryNibbleOfByteTwo) {
  for (int b2 = 0; b2 < 256; ++b2) {
    const uint8_t packet[5] = {3, 0xA5, static_cast<uint8_t>(b2), 0x5A, 0xFF};
    LONG v1 = 0, v2 = 0;
    simcam::PackPacket(packet, &v1, &v2);
    EXPECT_LT(v1, 1 << 20);
    EXPECT_LT(v2, 1 << 20);
    uint8_t back[5] = {};
    simcam::UnpackPacket(v1, v2, back);
    EXPECT_EQ(0, std::memcmp(packet, back, 5)) << b2;
  }
}

TEST(CommandLog, LinesRoundTrip) {
  simcam::PropertyCall call = ZoomRead();
  call.value1 = 100;
  call.flags = 2;
  call.result = E_PROP_ID_UNSUPPORTED;
  const std::string line = simcam::FormatLogLine(call);
  EXPECT_EQ(
      "Get {C6E13370-30AC-11D0-A18C-00A0C9118956} id=3 inst=0 data=40 v1=0x00000064 "
      "v2=0x00000000 flags=0x00000002 caps=0x00000000 hr=0x80070490",
      line);
  simcam::PropertyCall back;
  ASSERT_TRUE(simcam::ParseLogLine(line, &back));
  EXPECT_EQ(call.kind, back.kind);
  EXPECT_EQ(call.propSet, back.propSet);
  EXPECT_EQ(call.id, back.id);
  EXPECT_EQ(call.dataBytes, back.dataBytes);
  EXPECT_EQ(call.value1, back.value1);
  EXPECT_EQ(call.result, back.result);
  EXPECT_FALSE(simcam::ParseLogLine("Set nonsense", &back));
  EXPECT_FALSE(simcam::ParseLogLine("", &back));
}

TEST(CommandDecoder, RebuildsFramesInOrder) {
  std::vector<simcam::PropertyCall> calls;
  const uint8_t skipOn[10] = {0xF0, 0, 0, 0, 0, 0, 0, 0, 0x03, 0};
  const uint8_t four[10] = {0xF0, 0, 0, 0, 0, 0, 0, 0, 0x04, 0};
  const uint8_t tele[10] = {0x6E, 0x51, 0x86, 0xC2, 0, 0, 0x04, 0x30, 0x0C, 0x43};
  AppendFrame(&calls, skipOn);
  AppendFrame(&calls, four);
  AppendFrame(&calls, tele);
  const simcam::DecodedCommands decoded = simcam::DecodeCommands(calls);
  EXPECT_TRUE(decoded.errors.empty());
  ASSERT_EQ((std::vector<std::string>{"F0 03", "F0 04", "6E 0C"}), decoded.Codes());
  for (const simcam::CommandFrame& f : decoded.frames) {
    EXPECT_TRUE(f.sumOk);
    EXPECT_TRUE(f.thirdPacketRepeated);
    EXPECT_TRUE(f.readBack);
  }
  EXPECT_EQ(0x00F4, decoded.frames[1].sum);
  EXPECT_EQ(0x028A, decoded.frames[2].sum);
  EXPECT_EQ(0, std::memcmp(tele, decoded.frames[2].bytes.data(), 10));
}

TEST(CommandDecoder, ReportsWhatTheViewerGotWrong) {
  const uint8_t p1[5] = {1, 0xF0, 0, 0, 0};
  const uint8_t p2[5] = {2, 0, 0, 0, 0};
  const uint8_t p3bad[5] = {3, 0x09, 0, 0x00, 0x00};  // sum should be 0xF9
  std::vector<simcam::PropertyCall> calls = {PanTilt(p1), PanTilt(p2), PanTilt(p3bad)};
  simcam::DecodedCommands decoded = simcam::DecodeCommands(calls);
  ASSERT_EQ(1u, decoded.frames.size());
  EXPECT_FALSE(decoded.frames[0].sumOk);
  EXPECT_FALSE(decoded.frames[0].thirdPacketRepeated);
  EXPECT_FALSE(decoded.frames[0].readBack);

  // Packet 2 without packet 1, and a frame that never ends.
  calls = {PanTilt(p2), PanTilt(p1), PanTilt(p2)};
  decoded = simcam::DecodeCommands(calls);
  EXPECT_TRUE(decoded.frames.empty());
  EXPECT_EQ(2u, decoded.errors.size());

  // Calls on other properties or sets do not disturb the frames.
  simcam::PropertyCall other = PanTilt(p1);
  other.id = 4;
  calls = {PanTilt(p1), other, PanTilt(p2), PanTilt(p3bad)};
  decoded = simcam::DecodeCommands(calls);
  EXPECT_EQ(1u, decoded.frames.size());
  EXPECT_TRUE(decoded.errors.empty());
}

}  // namespace
}  // namespace simcam_test
