// Bounded registry reads and the picture folder.
#include <gtest/gtest.h>

#include <string>

#include "RegistrySnapshot.h"
#include "orba/ImagesDir.h"
#include "orba/Scoped.h"
#include "orba/Text.h"

namespace {

const char kTestKey[] = "Software\\OrbaTests\\RegistryText";
const char kShellFolders[] =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
const char kUserShellFolders[] =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";

class RegistryText : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CURRENT_USER, kTestKey, 0, nullptr, 0,
                                             KEY_ALL_ACCESS, nullptr, key_.Put(), nullptr));
  }
  void TearDown() override {
    key_.Reset();
    RegDeleteKeyA(HKEY_CURRENT_USER, kTestKey);
  }
  void SetRaw(const char* name, DWORD type, const void* data, DWORD size) {
    ASSERT_EQ(ERROR_SUCCESS,
              RegSetValueExA(key_.Get(), name, 0, type, static_cast<const BYTE*>(data), size));
  }
  orba::ScopedHKEY key_;
};

TEST_F(RegistryText, ValueWithoutTerminatorIsTerminated) {
  SetRaw("v", REG_SZ, "abcdef", 6);  // stored without its NUL
  char buf[16];
  memset(buf, 'X', sizeof buf);
  ASSERT_EQ(ERROR_SUCCESS,
            orba::ReadRegistryString(HKEY_CURRENT_USER, kTestKey, "v", buf, sizeof buf));
  EXPECT_STREQ("abcdef", buf);
}

TEST_F(RegistryText, TooLongValueIsRefusedWithoutOverrun) {
  std::string longText(300, 'a');
  SetRaw("v", REG_SZ, longText.c_str(), static_cast<DWORD>(longText.size() + 1));
  char buf[64 + 1];
  buf[64] = '#';
  EXPECT_EQ(ERROR_MORE_DATA, orba::ReadRegistryString(HKEY_CURRENT_USER, kTestKey, "v", buf, 64));
  EXPECT_STREQ("", buf);
  EXPECT_EQ('#', buf[64]);
}

TEST_F(RegistryText, ExpandSzIsExpanded) {
  const char text[] = "%SystemRoot%\\x";
  SetRaw("v", REG_EXPAND_SZ, text, sizeof text);
  char buf[MAX_PATH];
  ASSERT_EQ(ERROR_SUCCESS,
            orba::ReadRegistryString(HKEY_CURRENT_USER, kTestKey, "v", buf, sizeof buf));
  char expected[MAX_PATH];
  ExpandEnvironmentStringsA(text, expected, MAX_PATH);
  EXPECT_STREQ(expected, buf);
  EXPECT_EQ(std::string::npos, std::string(buf).find('%'));
}

TEST_F(RegistryText, OtherTypesAreRefused) {
  DWORD v = 7;
  SetRaw("v", REG_DWORD, &v, sizeof v);
  char buf[16];
  EXPECT_EQ(ERROR_INVALID_DATATYPE,
            orba::ReadRegistryString(HKEY_CURRENT_USER, kTestKey, "v", buf, sizeof buf));
}

using orba_test::ScopedRegistryValue;

TEST(ImagesDir, PlainShellFolderGetsSubfolder) {
  ScopedRegistryValue legacy(HKEY_CURRENT_USER, kShellFolders, "My Pictures");
  legacy.Set("C:\\users\\someone\\Pictures");
  char out[kImagesDirBytes];
  GetImagesDirPath(out, sizeof out);
  EXPECT_STREQ("C:\\users\\someone\\Pictures\\ORBA", out);
}

TEST(ImagesDir, UserShellFolderIsExpanded) {
  ScopedRegistryValue legacy(HKEY_CURRENT_USER, kShellFolders, "My Pictures");
  ScopedRegistryValue user(HKEY_CURRENT_USER, kUserShellFolders, "My Pictures");
  legacy.Remove();
  user.Set("%USERPROFILE%\\Pictures", REG_EXPAND_SZ);
  char out[kImagesDirBytes];
  GetImagesDirPath(out, sizeof out);
  char expected[MAX_PATH];
  ExpandEnvironmentStringsA("%USERPROFILE%\\Pictures\\ORBA", expected, MAX_PATH);
  EXPECT_STREQ(expected, out);
}

TEST(ImagesDir, NothingReadableGivesRootFolder) {
  ScopedRegistryValue legacy(HKEY_CURRENT_USER, kShellFolders, "My Pictures");
  ScopedRegistryValue user(HKEY_CURRENT_USER, kUserShellFolders, "My Pictures");
  legacy.Remove();
  user.Remove();
  char out[kImagesDirBytes];
  GetImagesDirPath(out, sizeof out);
  EXPECT_STREQ("\\ORBA", out);
}

TEST(ImagesDir, OverlongFolderIsTreatedAsUnreadable) {
  ScopedRegistryValue legacy(HKEY_CURRENT_USER, kShellFolders, "My Pictures");
  ScopedRegistryValue user(HKEY_CURRENT_USER, kUserShellFolders, "My Pictures");
  user.Remove();
  std::string longPath = "C:\\" + std::string(1200, 'p');
  legacy.Set(longPath);
  char out[kImagesDirBytes];
  GetImagesDirPath(out, sizeof out);
  EXPECT_STREQ("\\ORBA", out);
}

}  // namespace
