#pragma once
// The fixture of the client tests: the system played by FakeSystem, and
// ZoomText installed through the simulated ZoomText's installer, with the
// stand-in command library logging what it is sent.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "FakeSystem.h"
#include "ZoomTextSimClient.h"

namespace zoomtext_test {

class ZoomTextFixture : public ::testing::Test {
 protected:
  // ZoomText 10.0 installed and running, its reply and answers as given.
  void RunInstalled(const std::wstring& version = L"10.0", int family = 10,
                    uint32_t reply = 0x0A000000, const std::wstring& text = L"10.0") {
    ASSERT_TRUE(install.AddVersion(version, text, 0));
    system.RunZoomText(family, reply);
    installed = version;
  }
  void Answer(const std::string& key, const std::string& value) {
    ASSERT_TRUE(install.SetAnswer(installed, key, value));
  }
  std::vector<zoomtext_sim::ZxCall> Calls() const { return install.Calls(installed); }
  // The codes sent through ZxCommandApi, in order.
  std::vector<int> ApiCodes() const {
    std::vector<int> codes;
    for (const zoomtext_sim::ZxCall& call : Calls()) {
      if (call.entry == "ZxCommandApi") codes.push_back(call.code);
    }
    return codes;
  }
  // The last call of an Api code, or a call with code 0 when there is none.
  zoomtext_sim::ZxCall LastApi(int code) const {
    zoomtext_sim::ZxCall last;
    for (const zoomtext_sim::ZxCall& call : Calls()) {
      if (call.entry == "ZxCommandApi" && call.code == code) last = call;
    }
    return last;
  }
  void ClearCalls() { ASSERT_TRUE(install.ClearCalls(installed)); }

  FakeSystem system;
  zoomtext_sim::ZoomTextInstall install;
  std::wstring installed = L"10.0";
};

inline bool Contains(const std::vector<int>& codes, int code) {
  for (int c : codes) {
    if (c == code) return true;
  }
  return false;
}

}  // namespace zoomtext_test
