// Bounded registry reads and the picture folder.
#include <gtest/gtest.h>

#include <string>

#include "orba/ImagesDir.h"
#include "orba/Scoped.h"
#include "orba/Text.h"

namespace {

const char kTestKey[] = "Software\\OrbaTests\\RegistryText";
const char kShellFolders[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
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
  ASSERT_EQ(ERROR_SUCCESS, orba::ReadRegistryString(HKEY_CURRENT_USER, kTestKey, "v", buf, sizeof buf));
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
  ASSERT_EQ(ERROR_SUCCESS, orba::ReadRegistryString(HKEY_CURRENT_USER, kTestKey, "v", buf, sizeof buf));
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

// Saves a value and puts it back (or removes it) when the test ends.
class SavedValue {
 public:
  SavedValue(const char* subkey, const char* name) : subkey_(subkey), name_(name) {
    RegCreateKeyExA(HKEY_CURRENT_USER, subkey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key_.Put(),
                    nullptr);
    DWORD size = sizeof data_;
    had_ = RegQueryValueExA(key_.Get(), name, nullptr, &type_, data_, &size) == ERROR_SUCCESS;
    size_ = size;
  }
  ~SavedValue() {
    if (had_) {
      RegSetValueExA(key_.Get(), name_, 0, type_, data_, size_);
    } else {
      RegDeleteValueA(key_.Get(), name_);
    }
  }
  void Set(DWORD type, const char* text) {
    RegSetValueExA(key_.Get(), name_, 0, type, reinterpret_cast<const BYTE*>(text),
                   static_cast<DWORD>(strlen(text) + 1));
  }
  void Remove() { RegDeleteValueA(key_.Get(), name_); }

 private:
  const char* subkey_;
  const char* name_;
  orba::ScopedHKEY key_;
  bool had_ = false;
  DWORD type_ = 0;
  BYTE data_[2048];
  DWORD size_ = 0;
};

TEST(ImagesDir, PlainShellFolderGetsSubfolder) {
  SavedValue legacy(kShellFolders, "My Pictures");
  legacy.Set(REG_SZ, "C:\\users\\someone\\Pictures");
  char out[kImagesDirBytes];
  GetImagesDirPath(out, sizeof out);
  EXPECT_STREQ("C:\\users\\someone\\Pictures\\ORBA", out);
}

TEST(ImagesDir, UserShellFolderIsExpanded) {
  SavedValue legacy(kShellFolders, "My Pictures");
  SavedValue user(kUserShellFolders, "My Pictures");
  legacy.Remove();
  user.Set(REG_EXPAND_SZ, "%USERPROFILE%\\Pictures");
  char out[kImagesDirBytes];
  GetImagesDirPath(out, sizeof out);
  char expected[MAX_PATH];
  ExpandEnvironmentStringsA("%USERPROFILE%\\Pictures\\ORBA", expected, MAX_PATH);
  EXPECT_STREQ(expected, out);
}

TEST(ImagesDir, NothingReadableGivesRootFolder) {
  SavedValue legacy(kShellFolders, "My Pictures");
  SavedValue user(kUserShellFolders, "My Pictures");
  legacy.Remove();
  user.Remove();
  char out[kImagesDirBytes];
  GetImagesDirPath(out, sizeof out);
  EXPECT_STREQ("\\ORBA", out);
}

TEST(ImagesDir, OverlongFolderIsTreatedAsUnreadable) {
  SavedValue legacy(kShellFolders, "My Pictures");
  SavedValue user(kUserShellFolders, "My Pictures");
  user.Remove();
  std::string longPath = "C:\\" + std::string(1200, 'p');
  legacy.Set(REG_SZ, longPath.c_str());
  char out[kImagesDirBytes];
  GetImagesDirPath(out, sizeof out);
  EXPECT_STREQ("\\ORBA", out);
}

}  // namespace
