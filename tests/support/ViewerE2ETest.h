#pragma once
// What every end-to-end test of ORBA.exe shares: the viewer's settings key put
// back as it was, starting the viewer and waiting until it is up, and ending it
// with its end key.
#include <gtest/gtest.h>

#include <windows.h>

#include <functional>

#include "RegistrySnapshot.h"
#include "ViewerProcess.h"
#include "orba/SettingsKey.h"

namespace orba_e2e {

constexpr DWORD kExitTimeoutMs = 30000;

// The end key's hot-key identifier, and the WM_HOTKEY parameter of a key as the
// system sends it.
constexpr UINT kHotKeyEnd = 1114;
inline LPARAM HotKeyParam(UINT vk) { return MAKELPARAM(MOD_CONTROL | MOD_WIN, vk); }

// A window answers when its thread takes sent messages.
bool WindowAnswers(HWND window);

class ViewerE2ETest : public ::testing::Test {
 protected:
  // Starts ORBA.exe and waits until its viewer window is there and `up` holds
  // for it. Fails, saying why, when the viewer does not start, shows a message
  // box, ends or is not up in time.
  static ::testing::AssertionResult StartAndWaitUntilUp(orba_test::ViewerProcess* viewer,
                                                        const std::function<bool(HWND)>& up,
                                                        DWORD timeoutMs);
  // Ends the viewer with its end key and waits for exit code 0 and no message.
  static ::testing::AssertionResult EndWithEndKey(orba_test::ViewerProcess* viewer);
  // A viewer still running is ended with its end key, or killed.
  static void StopViewer(orba_test::ViewerProcess* viewer);

  // Put back as it was when the fixture goes, after every viewer of the test
  // has ended.
  orba_test::ScopedRegistryTree settings_{HKEY_CURRENT_USER, orba::kSettingsKey};
};

}  // namespace orba_e2e
