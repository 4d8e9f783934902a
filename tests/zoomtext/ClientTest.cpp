// The CCTV functions against the simulated ZoomText's command library: the
// version and magnification state, the area records as ZoomText receives them,
// ZoomText's answers and silences, the older-ZoomText path and the emulation pair.
#include <gtest/gtest.h>

#include "RegistrySnapshot.h"
#include "ZoomTextTestKit.h"
#include "orba/ZoomTextCctv.h"
#include "orba/zoomtext/CctvClient.h"

namespace zoomtext_test {
namespace {

int W() { return GetSystemMetrics(SM_CXSCREEN); }
int H() { return GetSystemMetrics(SM_CYSCREEN); }

CctvSetArea2 Area(uint32_t type, RECT r = {0, 0, 0, 0}) {
  return CctvSetArea2{40, 0x1234, 0x5678, type, r.left, r.top, r.right, r.bottom, 0, 0};
}

using ZoomTextClient = ZoomTextFixture;

TEST_F(ZoomTextClient, VersionAndMagnificationFromTheRunningZoomText) {
  RunInstalled();
  ZoomTextInfo info = {sizeof info, 0, 0};
  ASSERT_EQ(0, GetZoomTextVersion(&info));
  EXPECT_EQ(1000u, info.version);
  EXPECT_EQ(1u, info.magnifying);
  const zoomtext_sim::ZxCall query = LastApi(214);
  EXPECT_EQ(214, query.code);
  EXPECT_EQ(GetCurrentProcessId(), query.pid);
  EXPECT_EQ(2, system.queries) << "the version, then the command path's own check";
  EXPECT_EQ(0, wcscmp(zoomtext_sim::ZoomTextInstall::Folder(L"10.0").c_str(),
                      zoomtext::ZoomTextProgramDirectory));

  Answer("magnifying", "0");
  ASSERT_EQ(0, GetZoomTextVersion(&info));
  EXPECT_EQ(0u, info.magnifying);
}

TEST_F(ZoomTextClient, AreaRecordsAsZoomTextReceivesThem) {
  RunInstalled();
  // A whole-screen rectangle goes as the full screen and comes back so.
  CctvSetArea2 area = Area(1, {0, 0, W(), H()});
  ASSERT_EQ(0, SetZoomTextCctvArea2(&area));
  EXPECT_EQ(2u, area.type);
  zoomtext_sim::ZxCall sent = LastApi(1033);
  ASSERT_TRUE(sent.hasRecord);
  EXPECT_EQ(zoomtext::kUnanswered, sent.record.slot);
  EXPECT_EQ(40u, sent.record.size);
  EXPECT_EQ(0x1234u, sent.record.owner);
  EXPECT_EQ(0x5678u, sent.record.video);
  EXPECT_EQ(2u, sent.record.type);

  // A band reaching past the screen is clipped before it is tested and sent.
  area = Area(1, {-50, -50, W() / 2, H() + 50});
  ASSERT_EQ(0, SetZoomTextCctvArea2(&area));
  sent = LastApi(1033);
  EXPECT_EQ(1u, sent.record.type);
  EXPECT_EQ(0, sent.record.left);
  EXPECT_EQ(0, sent.record.top);
  EXPECT_EQ(W() / 2, sent.record.right);
  EXPECT_EQ(H(), sent.record.bottom);

  // Only type 1 keeps a rectangle.
  area = Area(3, {1, 2, 3, 4});
  ASSERT_EQ(0, SetZoomTextCctvArea2(&area));
  EXPECT_EQ(0, area.left | area.top | area.right | area.bottom);
  EXPECT_EQ(3u, LastApi(1033).record.type);
  EXPECT_EQ(0, LastApi(1033).record.right);

  // Refusals before anything is asked or sent.
  ClearCalls();
  const int queries = system.queries;
  area = Area(7);
  EXPECT_EQ(7, SetZoomTextCctvArea2(&area));
  area = Area(1, {100, 100, 200, 200});
  EXPECT_EQ(6, SetZoomTextCctvArea2(&area));
  area = Area(2);
  area.size = 36;
  EXPECT_EQ(3, SetZoomTextCctvArea2(&area));
  area = Area(2);
  area.owner = 0;
  EXPECT_EQ(4, SetZoomTextCctvArea2(&area));
  EXPECT_TRUE(Calls().empty());
  EXPECT_EQ(queries, system.queries);
}

TEST_F(ZoomTextClient, ZoomTextsAnswersAndSilences) {
  RunInstalled();
  CctvSetArea2 area = Area(5);
  Answer("result_1033", "8");
  EXPECT_EQ(8, SetZoomTextCctvArea2(&area));
  // A slot ZoomText left alone: the client's own answer is mapped.
  Answer("result_1033", "none");
  EXPECT_EQ(22, SetZoomTextCctvArea2(&area));
  Answer("result_1030", "none");
  uint32_t supported = 7;
  EXPECT_EQ(22, IsZoomTextCctvSupported(&supported));
  Answer("result_1030", "0");
  Answer("supported", "0");
  EXPECT_EQ(2, SetZoomTextCctvArea2(&area)) << "no CCTV support";
  Answer("supported", "1");
  Answer("result_1033", "0");

  // Magnification off: no area is set, but the area can still be removed.
  Answer("magnifying", "0");
  ClearCalls();
  EXPECT_EQ(21, SetZoomTextCctvArea2(&area));
  EXPECT_FALSE(Contains(ApiCodes(), 1033));
  EXPECT_EQ(0, RemoveZoomTextCctvArea(0x4321));
  const zoomtext_sim::ZxCall removed = LastApi(1024);
  ASSERT_TRUE(removed.hasRecord);
  EXPECT_EQ(0x4321u, removed.record.owner);
  EXPECT_EQ(0u, removed.record.size);
  EXPECT_EQ(4, RemoveZoomTextCctvArea(0));
}

TEST_F(ZoomTextClient, OlderZoomTextTakesTheShortRecordOnWindowsXpOnly) {
  RunInstalled(L"9.1", 9, 0x090B0100, L"9.11");  // 9.11 build 1 reports 911
  CctvSetArea2 area = Area(1, {0, 0, W(), H() / 2});
  area.reserved1 = 9;
  EXPECT_EQ(2, SetZoomTextCctvArea2(&area)) << "not Windows XP";
  EXPECT_EQ(2, RemoveZoomTextCctvArea(0x1234));
  EXPECT_FALSE(Contains(ApiCodes(), 1023));

  system.xp = true;
  ASSERT_EQ(0, SetZoomTextCctvArea2(&area));
  const zoomtext_sim::ZxCall sent = LastApi(1023);
  ASSERT_TRUE(sent.hasRecord);
  EXPECT_EQ(36u, sent.record.size);
  EXPECT_EQ(0x1234u, sent.record.owner);
  EXPECT_EQ(1u, sent.record.type);
  EXPECT_EQ(H() / 2, sent.record.bottom);
  EXPECT_EQ(9u, sent.record.reserved1);
  EXPECT_EQ(0x5678u, area.video) << "kept by the caller";

  // ZoomText 8 is asked through the same call, and refused as too old.
  FakeSystem eight;
  eight.xp = true;
  eight.RunZoomText(8, 0x08000000);
  ClearCalls();
  EXPECT_EQ(17, SetZoomTextCctvArea2(&area));
  EXPECT_TRUE(Calls().empty());
  eight.xp = false;
  EXPECT_EQ(2, SetZoomTextCctvArea2(&area));
}

class ZoomTextEmulationPair : public ZoomTextFixture {
 protected:
  DWORD Emulation() const {
    return orba_test::ReadDwordValue(HKEY_LOCAL_MACHINE, kKey, "EmulationOnly");
  }
  void SetEmulation(DWORD value) {
    orba::ScopedHKEY key;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_LOCAL_MACHINE, kKey, 0, nullptr, 0, KEY_SET_VALUE,
                                             nullptr, key.Put(), nullptr));
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(key.Get(), "EmulationOnly", 0, REG_DWORD,
                                            reinterpret_cast<const BYTE*>(&value), sizeof value));
  }
  static constexpr const char* kKey = "SOFTWARE\\Microsoft\\DirectDraw";
  orba_test::ScopedRegistryTree saved_{HKEY_LOCAL_MACHINE, kKey};
};

TEST_F(ZoomTextEmulationPair, OlderZoomTextOnXpSwitchesItselfInTwoStates) {
  system.xp = true;
  system.RunZoomText(9, 0x090B0100);
  SetEmulation(1);
  EXPECT_EQ(23, RestoreDirectDrawEmulation()) << "nothing suspended yet";
  EXPECT_EQ(0, SuspendDirectDrawEmulation());
  EXPECT_EQ(0u, Emulation());
  EXPECT_EQ(23, SuspendDirectDrawEmulation());
  EXPECT_EQ(0, RestoreDirectDrawEmulation());
  EXPECT_EQ(1u, Emulation()) << "the earlier value is back";
  EXPECT_EQ(23, RestoreDirectDrawEmulation());

  // Without the value: the earlier value counts as 0 and the value is made.
  ASSERT_TRUE(orba_test::DeleteRegistryTree(HKEY_LOCAL_MACHINE, kKey));
  SetEmulation(1);
  orba::ScopedHKEY key;
  ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_LOCAL_MACHINE, kKey, 0, KEY_SET_VALUE, key.Put()));
  ASSERT_EQ(ERROR_SUCCESS, RegDeleteValueA(key.Get(), "EmulationOnly"));
  EXPECT_EQ(0, SuspendDirectDrawEmulation());
  EXPECT_EQ(0u, Emulation());
  SetEmulation(1);
  EXPECT_EQ(0, RestoreDirectDrawEmulation());
  EXPECT_EQ(0u, Emulation());

  // Without the key: refused as missing, and the state stays not suspended.
  ASSERT_TRUE(orba_test::DeleteRegistryTree(HKEY_LOCAL_MACHINE, kKey));
  EXPECT_EQ(25, SuspendDirectDrawEmulation());
  EXPECT_FALSE(orba_test::RegistryKeyExists(HKEY_LOCAL_MACHINE, kKey));
  EXPECT_EQ(23, RestoreDirectDrawEmulation());

  system.xp = false;
  EXPECT_EQ(2, SuspendDirectDrawEmulation());
}

TEST_F(ZoomTextEmulationPair, NewerZoomTextIsSentTheCommands) {
  RunInstalled();
  SetEmulation(1);
  EXPECT_EQ(0, SuspendDirectDrawEmulation());
  EXPECT_EQ(0, RestoreDirectDrawEmulation());
  EXPECT_TRUE(Contains(ApiCodes(), 1036));
  EXPECT_TRUE(Contains(ApiCodes(), 1037));
  EXPECT_EQ(1u, Emulation()) << "ZoomText switches, not the client";
  Answer("result_1036", "none");
  EXPECT_EQ(22, SuspendDirectDrawEmulation());
  Answer("magnifying", "0");
  EXPECT_EQ(22, SuspendDirectDrawEmulation()) << "needs magnification on";
  EXPECT_EQ(0, RestoreDirectDrawEmulation()) << "allowed while it is off";
}

TEST(ZoomTextResults, CommandPathAnswersAsResultCodes) {
  using zoomtext::MapClientResult;
  const int answers[] = {200, 201, 202, 203, 205, 204, 206, 0, 1};
  const int setArea[] = {18, 19, 17, 16, 20, 21, 22, 22, 22};
  const int others[] = {18, 19, 17, 16, 20, 22, 22, 22, 22};
  for (size_t i = 0; i < sizeof answers / sizeof answers[0]; ++i) {
    EXPECT_EQ(setArea[i], MapClientResult(1, answers[i])) << answers[i];
    EXPECT_EQ(setArea[i], MapClientResult(3, answers[i])) << answers[i];
    EXPECT_EQ(others[i], MapClientResult(2, answers[i])) << answers[i];
    EXPECT_EQ(others[i], MapClientResult(4, answers[i])) << answers[i];
  }
  zoomtext::ZoomTextCctvClient client;
  EXPECT_FALSE(client.SetMinimumVersion(7, 9));
  EXPECT_FALSE(client.SetMinimumVersion(8, -1));
  EXPECT_EQ(9, client.Minimum().major);
  EXPECT_EQ(3, client.Minimum().minor);
  EXPECT_TRUE(client.SetMinimumVersion(8, 0));
  EXPECT_EQ(204, client.Execute(0, 0, 0));
  EXPECT_EQ(204, client.Execute(84, 0, 0));
}

}  // namespace
}  // namespace zoomtext_test
