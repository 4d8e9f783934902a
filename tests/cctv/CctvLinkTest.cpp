// A program that links TRV_CCTV the way the viewer and the filter do: through
// the public target's header and import library, bound at load time by name.
#include <gtest/gtest.h>

#include <algorithm>

#include "PeImage.h"
#include "TRV_CCTV.h"

namespace {

TEST(CctvLink, DllIsBoundAtLoadTimeByPlainNames) {
  // Loaded with the program, before any call.
  HMODULE dll = GetModuleHandleA("TRV_CCTV.dll");
  ASSERT_NE(dll, nullptr);
  std::vector<std::string> imported =
      cctv_test::ImportedNames(GetModuleHandleA(nullptr), "TRV_CCTV.dll");
  std::sort(imported.begin(), imported.end());
  const std::vector<std::string> expected = {"CCTV_ClearViewport", "CCTV_Close", "CCTV_Init",
                                             "CCTV_SetViewport"};
  EXPECT_EQ(imported, expected);
  for (const std::string& name : expected) {
    EXPECT_EQ(cctv_test::BoundImport(GetModuleHandleA(nullptr), "TRV_CCTV.dll", name.c_str()),
              reinterpret_cast<void*>(GetProcAddress(dll, name.c_str())))
        << name;
  }
}

TEST(CctvLink, CallsWithoutAMagnifierAreHarmless) {
  EXPECT_EQ(CCTV_SetViewport(0, 0, 640, 480, 0, 1), 1);
  EXPECT_EQ(CCTV_ClearViewport(), 0u);
  EXPECT_EQ(CCTV_Init(nullptr, 1124), KAVRELO_IS_NOT_RUNNING);
  EXPECT_EQ(CCTV_SetViewport(0, 0, 640, 480, 0, 1), 1);
  EXPECT_EQ(CCTV_Close(), 0u);
}

}  // namespace
