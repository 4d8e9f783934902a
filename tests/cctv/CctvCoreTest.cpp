// The library's helpers on their own: the notification root as a function of
// the system version, coordinate packing and the registration's name and data.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>

#include "CctvCore.h"

namespace {

using namespace trv_cctv;

TEST(CctvNotifyRoot, CurrentUserOnlyOnNtSix) {
  EXPECT_EQ(NotifyRootFor(VER_PLATFORM_WIN32_NT, 6), HKEY_CURRENT_USER);   // Vista to 8.1
  EXPECT_EQ(NotifyRootFor(VER_PLATFORM_WIN32_NT, 5), HKEY_LOCAL_MACHINE);  // 2000, XP
  EXPECT_EQ(NotifyRootFor(VER_PLATFORM_WIN32_NT, 10), HKEY_LOCAL_MACHINE);
  EXPECT_EQ(NotifyRootFor(VER_PLATFORM_WIN32_NT, 7), HKEY_LOCAL_MACHINE);
  EXPECT_EQ(NotifyRootFor(VER_PLATFORM_WIN32_NT, 4), HKEY_LOCAL_MACHINE);
  // Major 6 outside the NT family is not the NT 6 case.
  EXPECT_EQ(NotifyRootFor(VER_PLATFORM_WIN32_WINDOWS, 6), HKEY_LOCAL_MACHINE);
  EXPECT_EQ(NotifyRootFor(VER_PLATFORM_WIN32_WINDOWS, 4), HKEY_LOCAL_MACHINE);
}

TEST(CctvPacking, LowWordKeepsOnlySixteenBitsOfNegativeValues) {
  EXPECT_EQ(PackCoordinates(-10, 20), 0x0014FFF6u);
  EXPECT_EQ(PackCoordinates(0, 0), 0u);
  EXPECT_EQ(PackCoordinates(100, 200), 0x00C80064u);
  EXPECT_EQ(PackCoordinates(-1, -1), 0xFFFFFFFFu);
  EXPECT_EQ(PackCoordinates(0x12345, -2), 0xFFFE2345u);
  // The extremes are defined too (no signed shift or overflow).
  EXPECT_EQ(PackCoordinates(INT_MIN, INT_MIN), 0x00000000u);
  EXPECT_EQ(PackCoordinates(INT_MAX, INT_MAX), 0xFFFFFFFFu);
  EXPECT_EQ(PackCoordinates(-32768, 32767), 0x7FFF8000u);
}

TEST(CctvPacking, RectangleEdgesWrapInsteadOfOverflowing) {
  EXPECT_EQ(AddWrapped(10, 30), 40);
  EXPECT_EQ(AddWrapped(-10, 4), -6);
  EXPECT_EQ(AddWrapped(INT_MAX, 1), INT_MIN);
}

TEST(CctvRegistration, NameIsEightLowerCaseHexDigitsOfTheHandle) {
  char name[kNotifyValueNameBytes];
  ASSERT_TRUE(FormatNotifyValueName(0x0001002A, name));
  EXPECT_STREQ(name, "0001002a");
  ASSERT_TRUE(FormatNotifyValueName(0xDEADBEEF, name));
  EXPECT_STREQ(name, "deadbeef");
  ASSERT_TRUE(FormatNotifyValueName(0, name));
  EXPECT_STREQ(name, "00000000");
}

TEST(CctvRegistration, HandleValueIsTheLow32BitsOnEveryTarget) {
  // Win64 hands out window handles sign-extended from 32 bits.
  const auto* sign_extended =
      reinterpret_cast<const void*>(static_cast<intptr_t>(static_cast<int32_t>(0x80001234u)));
  EXPECT_EQ(HandleValue(sign_extended), 0x80001234u);
  EXPECT_EQ(HandleValue(reinterpret_cast<const void*>(uintptr_t{0x0003004C})), 0x0003004Cu);
  EXPECT_EQ(HandleValue(nullptr), 0u);
}

TEST(CctvRegistration, DataIsWindowThenMessageLittleEndian) {
  uint8_t data[8];
  MakeNotifyData(0x80031A2B, 1124, data);
  const uint8_t expected[8] = {0x2B, 0x1A, 0x03, 0x80, 0x64, 0x04, 0x00, 0x00};
  EXPECT_EQ(std::memcmp(data, expected, sizeof data), 0);
}

}  // namespace
