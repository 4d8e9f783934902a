// The ZoomText client when no ZoomText runs or is installed (as in the test
// prefix): version 0 and the "not running" answer of every area call.
#include <gtest/gtest.h>

#include <windows.h>

#include "orba/ZoomTextCctv.h"

namespace {

TEST(ZoomTextAbsent, VersionIsZeroForAWellFormedRecordOnly) {
  EXPECT_EQ(3, GetZoomTextVersion(nullptr));
  ZoomTextInfo wrong = {11, 77, 1};
  EXPECT_EQ(3, GetZoomTextVersion(&wrong));
  EXPECT_EQ(77u, wrong.version) << "a refused record is not written";
  ZoomTextInfo info = {sizeof(ZoomTextInfo), 77, 0x5A};
  EXPECT_EQ(0, GetZoomTextVersion(&info));
  EXPECT_EQ(0u, info.version);
  EXPECT_EQ(0x5Au, info.magnifying) << "left as the caller set it";
}

TEST(ZoomTextAbsent, AreaCallsCheckTheRecordThenAnswerNotRunning) {
  const int w = GetSystemMetrics(SM_CXSCREEN);
  const int h = GetSystemMetrics(SM_CYSCREEN);
  CctvSetArea2 area = {40, 0x1234, 0, 1, 0, 0, w / 2, h, 0, 0};
  EXPECT_EQ(16, SetZoomTextCctvArea2(&area)) << "left half is a valid band";
  EXPECT_EQ(w / 2, area.right) << "nothing sent, nothing changed";

  CctvSetArea2 bad = area;
  bad.size = 36;
  EXPECT_EQ(3, SetZoomTextCctvArea2(&bad));
  EXPECT_EQ(3, SetZoomTextCctvArea2(nullptr));
  bad = area;
  bad.owner = 0;
  EXPECT_EQ(4, SetZoomTextCctvArea2(&bad));
  bad = area;
  bad.type = 7;
  EXPECT_EQ(7, SetZoomTextCctvArea2(&bad));
  bad = area;
  bad.left = bad.top = 100;
  bad.right = bad.bottom = 200;
  EXPECT_EQ(6, SetZoomTextCctvArea2(&bad));
  bad.type = 3;  // the rectangle only counts for type 1
  EXPECT_EQ(16, SetZoomTextCctvArea2(&bad));

  EXPECT_EQ(16, RemoveZoomTextCctvArea(0x1234));
  uint32_t supported = 1;
  // Asked alone, support looks for an installed ZoomText, and the prefix has
  // none of ZoomText's keys.
  EXPECT_EQ(19, IsZoomTextCctvSupported(&supported));
  EXPECT_EQ(0u, supported);
  EXPECT_EQ(16, SuspendDirectDrawEmulation());
  EXPECT_EQ(16, RestoreDirectDrawEmulation());
}

}  // namespace
