// The settings key HKCU\Software\Opticorva\ORBA and its flag values.
#include <gtest/gtest.h>

#include <cstdint>

#include "RegistrySnapshot.h"
#include "Settings.h"
#include "orba/SettingsKey.h"

namespace {

class SettingsStore : public ::testing::Test {
 protected:
  void SetRaw(DWORD type, const void* data, DWORD size) {
    ASSERT_EQ(ERROR_SUCCESS, CreateSettingsKey());
    ASSERT_EQ(ERROR_SUCCESS, RegSetKeyValueA(HKEY_CURRENT_USER, orba::kSettingsKey,
                                             kSkipFramesValue, type, data, size));
  }
  orba_test::ScopedRegistryTree saved_{HKEY_CURRENT_USER, orba::kSettingsKey};
};

TEST_F(SettingsStore, FreshAccountReadsOffAndKeepsTheDefault) {
  orba_test::DeleteRegistryTree(HKEY_CURRENT_USER, orba::kSettingsKey);
  bool flag = true;
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, ReadSettingFlag(kSkipFramesValue, &flag));
  EXPECT_TRUE(flag) << "a failed read leaves the caller's default";
  // Without the key nothing can be stored.
  EXPECT_NE(ERROR_SUCCESS, WriteSettingFlag(kSkipFramesValue, true));
  EXPECT_FALSE(orba_test::RegistryKeyExists(HKEY_CURRENT_USER, orba::kSettingsKey));

  ASSERT_EQ(ERROR_SUCCESS, CreateSettingsKey());
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, ReadSettingFlag(kSkipFramesValue, &flag));
  ASSERT_EQ(ERROR_SUCCESS, WriteSettingFlag(kSkipFramesValue, false));
  EXPECT_EQ(0, orba_test::ReadDwordValue(HKEY_CURRENT_USER, orba::kSettingsKey, kSkipFramesValue));
  EXPECT_EQ(ERROR_SUCCESS, ReadSettingFlag(kSkipFramesValue, &flag));
  EXPECT_FALSE(flag);
}

TEST_F(SettingsStore, SevenReadsAsOnAndIsStoredBackAsOne) {
  const DWORD seven = 7;
  SetRaw(REG_DWORD, &seven, sizeof seven);
  bool flag = false;
  ASSERT_EQ(ERROR_SUCCESS, ReadSettingFlag(kSkipFramesValue, &flag));
  EXPECT_TRUE(flag);
  ASSERT_EQ(ERROR_SUCCESS, WriteSettingFlag(kSkipFramesValue, flag));
  EXPECT_EQ(1, orba_test::ReadDwordValue(HKEY_CURRENT_USER, orba::kSettingsKey, kSkipFramesValue));
  // Creating the key again keeps what it holds.
  ASSERT_EQ(ERROR_SUCCESS, CreateSettingsKey());
  EXPECT_EQ(1, orba_test::ReadDwordValue(HKEY_CURRENT_USER, orba::kSettingsKey, kSkipFramesValue));
}

TEST_F(SettingsStore, ValuesOfAnotherTypeOrLengthCountAsAbsentAndNeverOverrun) {
  struct Case {
    DWORD type;
    std::vector<uint8_t> data;
    LONG expected;
  };
  const Case cases[] = {
      {REG_QWORD, {1, 0, 0, 0, 0, 0, 0, 0}, ERROR_INVALID_DATATYPE},
      {REG_SZ, {'1', 0}, ERROR_INVALID_DATATYPE},
      {REG_BINARY, {1, 0, 0, 0}, ERROR_INVALID_DATATYPE},
      {REG_DWORD_BIG_ENDIAN, {0, 0, 0, 1}, ERROR_INVALID_DATATYPE},
      {REG_DWORD, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}, ERROR_INVALID_DATA},
      {REG_DWORD, {1, 0}, ERROR_INVALID_DATA},
      {REG_DWORD, {}, ERROR_INVALID_DATA},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << "type " << c.type << " size " << c.data.size());
    SetRaw(c.type, c.data.data(), static_cast<DWORD>(c.data.size()));
    // The flag sits between guards: a read past 32 bits would change them.
    struct {
      uint64_t before;
      bool flag;
      uint8_t pad[7];
      uint64_t after;
    } probe = {0x1122334455667788ull, false, {}, 0x8877665544332211ull};
    EXPECT_EQ(c.expected, ReadSettingFlag(kSkipFramesValue, &probe.flag));
    EXPECT_FALSE(probe.flag) << "an unusable value leaves the default";
    EXPECT_EQ(0x1122334455667788ull, probe.before);
    EXPECT_EQ(0x8877665544332211ull, probe.after);
    // The next end of a pass stores a sound value over it.
    ASSERT_EQ(ERROR_SUCCESS, WriteSettingFlag(kSkipFramesValue, probe.flag));
    EXPECT_EQ(0,
              orba_test::ReadDwordValue(HKEY_CURRENT_USER, orba::kSettingsKey, kSkipFramesValue));
  }
}

}  // namespace
