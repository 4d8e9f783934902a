// Naming the camera's USB device instances and the access list put on them.
#include <gtest/gtest.h>

#include <windows.h>

#include <sddl.h>

#include <string>

#include "Camera.h"
#include "RegistrySnapshot.h"
#include "TestEnv.h"
#include "orba/Scoped.h"

namespace {

const char* const kInstances[] = {"6&1a2b3c4d&0&0000", "6&1a2b3c4d&0&0001", "7&00ff&0&0002"};

// Sends one standard handle into a file for the lifetime of the object.
class CapturedStdHandle {
 public:
  explicit CapturedStdHandle(DWORD which) : which_(which), saved_(GetStdHandle(which)) {
    path_ = orba_test::MakeTempDir("std") + "\\captured.txt";
    file_ = CreateFileA(path_.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                        FILE_ATTRIBUTE_NORMAL, nullptr);
    SetStdHandle(which_, file_);
  }
  ~CapturedStdHandle() { Stop(); }
  std::string Stop() {
    if (file_ != INVALID_HANDLE_VALUE) {
      SetStdHandle(which_, saved_);
      CloseHandle(file_);
      file_ = INVALID_HANDLE_VALUE;
    }
    return orba_test::ReadFileBytes(path_);
  }

 private:
  DWORD which_;
  HANDLE saved_;
  HANDLE file_ = INVALID_HANDLE_VALUE;
  std::string path_;
};

std::string SidText(PSID sid) {
  char* text = nullptr;
  if (!ConvertSidToStringSidA(sid, &text)) return "?";
  std::string s(text);
  LocalFree(text);
  return s;
}

struct Ace {
  BYTE type;
  ACCESS_MASK mask;
  std::string sid;
};

std::vector<Ace> ReadDacl(HKEY parent, const char* instance, WORD* revision) {
  std::vector<Ace> aces;
  orba::ScopedHKEY key;
  if (RegOpenKeyExA(parent, instance, 0, READ_CONTROL, key.Put()) != ERROR_SUCCESS) return aces;
  DWORD bytes = 0;
  RegGetKeySecurity(key.Get(), DACL_SECURITY_INFORMATION, nullptr, &bytes);
  std::vector<BYTE> sd(bytes);
  if (RegGetKeySecurity(key.Get(), DACL_SECURITY_INFORMATION, sd.data(), &bytes) != ERROR_SUCCESS) {
    return aces;
  }
  BOOL present = FALSE, defaulted = FALSE;
  PACL acl = nullptr;
  if (!GetSecurityDescriptorDacl(sd.data(), &present, &acl, &defaulted) || !present || !acl) {
    return aces;
  }
  *revision = acl->AclRevision;
  for (WORD i = 0; i < acl->AceCount; ++i) {
    void* raw = nullptr;
    if (!GetAce(acl, i, &raw)) break;
    auto* ace = static_cast<ACCESS_ALLOWED_ACE*>(raw);
    aces.push_back({ace->Header.AceType, ace->Mask, SidText(&ace->SidStart)});
  }
  return aces;
}

class CameraNaming : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* instance : kInstances) {
      orba::ScopedHKEY key;
      ASSERT_EQ(ERROR_SUCCESS,
                RegCreateKeyExA(HKEY_LOCAL_MACHINE,
                                (std::string(kCameraEnumKey) + "\\" + instance).c_str(), 0, nullptr,
                                0, KEY_ALL_ACCESS, nullptr, key.Put(), nullptr));
      const char old[] = "USB Video Device";
      RegSetValueExA(key.Get(), "FriendlyName", 0, REG_SZ, reinterpret_cast<const BYTE*>(old),
                     sizeof old);
    }
  }
  orba_test::ScopedRegistryTree saved_{HKEY_LOCAL_MACHINE, kCameraEnumKey};
};

TEST_F(CameraNaming, EveryInstanceGetsTheAccessListAndThenTheName) {
  CapturedStdHandle out(STD_OUTPUT_HANDLE);
  EXPECT_EQ(ERROR_NO_MORE_ITEMS, SetCameraFriendlyName(kCameraDisplayName));
  const std::string printed = out.Stop();
  EXPECT_EQ(
      "SUCCESS updating performance data security\n"
      "SUCCESS updating performance data security\n"
      "SUCCESS updating performance data security\n",
      printed);

  orba::ScopedHKEY device;
  ASSERT_EQ(ERROR_SUCCESS,
            RegOpenKeyExA(HKEY_LOCAL_MACHINE, kCameraEnumKey, 0, KEY_READ, device.Put()));
  for (const char* instance : kInstances) {
    SCOPED_TRACE(instance);
    char name[64] = {};
    DWORD bytes = sizeof name;
    DWORD type = 0;
    ASSERT_EQ(ERROR_SUCCESS, RegGetValueA(device.Get(), instance, "FriendlyName", RRF_RT_ANY, &type,
                                          name, &bytes));
    EXPECT_EQ(static_cast<DWORD>(REG_SZ), type);
    EXPECT_STREQ("Opticorva Video", name);
    EXPECT_EQ(sizeof("Opticorva Video"), bytes) << "stored with its terminating null";

    WORD revision = 0;
    const auto aces = ReadDacl(device.Get(), instance, &revision);
    EXPECT_EQ(ACL_REVISION, revision);
    ASSERT_EQ(3u, aces.size());
    const Ace expected[] = {
        {ACCESS_ALLOWED_ACE_TYPE, KEY_READ, "S-1-5-4"},
        {ACCESS_ALLOWED_ACE_TYPE, KEY_ALL_ACCESS, "S-1-5-32-544"},
        {ACCESS_ALLOWED_ACE_TYPE, KEY_ALL_ACCESS, "S-1-5-18"},
    };
    for (size_t i = 0; i < 3; ++i) {
      EXPECT_EQ(expected[i].type, aces[i].type) << i;
      EXPECT_EQ(expected[i].mask, aces[i].mask) << i;
      EXPECT_EQ(expected[i].sid, aces[i].sid) << i;
    }
  }
  EXPECT_EQ(0x20019u, static_cast<unsigned>(KEY_READ));
  EXPECT_EQ(0xF003Fu, static_cast<unsigned>(KEY_ALL_ACCESS));
}

TEST_F(CameraNaming, MissingInstanceReportsTheOpenStepOnStandardError) {
  orba::ScopedHKEY device;
  ASSERT_EQ(ERROR_SUCCESS,
            RegOpenKeyExA(HKEY_LOCAL_MACHINE, kCameraEnumKey, 0, KEY_READ, device.Put()));
  CapturedStdHandle err(STD_ERROR_HANDLE);
  CapturedStdHandle out(STD_OUTPUT_HANDLE);
  EXPECT_EQ(ERROR_INVALID_DATA, GrantEnumKeyAccess(device.Get(), "no such instance"));
  const std::string printedOut = out.Stop();
  const std::string printedErr = err.Stop();
  EXPECT_EQ("", printedOut) << "a failed open writes no result line";
  ASSERT_EQ(0u, printedErr.rfind("RegOpenKeyEx error!\n", 0)) << printedErr;
  EXPECT_GT(printedErr.size(), sizeof("RegOpenKeyEx error!\n")) << "followed by the system's text";
}

TEST_F(CameraNaming, NeverAttachedCameraChangesNothing) {
  orba_test::DeleteRegistryTree(HKEY_LOCAL_MACHINE, kCameraEnumKey);
  CapturedStdHandle out(STD_OUTPUT_HANDLE);
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, SetCameraFriendlyName(kCameraDisplayName));
  EXPECT_EQ("", out.Stop());
  EXPECT_FALSE(orba_test::RegistryKeyExists(HKEY_LOCAL_MACHINE, kCameraEnumKey));
}

}  // namespace
