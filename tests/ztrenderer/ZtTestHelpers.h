#pragma once
// Shared helpers of the ZoomText renderer tests.
#include <windows.h>

#include <dshow.h>

#include <string>
#include <vector>

#include "GraphTestUtil.h"
#include "orba/ZoomTextCctvRenderer.h"
#include "ZtRendererSimClient.h"
#include "orba/ComPtr.h"

namespace zt_test {

using orba::ComPtr;
using zt_renderer_sim::LogRecord;

// COM for one test; the default is the multithreaded apartment the viewer uses.
using orba_test::ComScope;

// "slot(arg,arg) slot(arg)" for records, so that a failure shows the sequence.
inline std::string Describe(const std::vector<LogRecord>& records) {
  std::string out;
  for (const LogRecord& r : records) {
    if (!out.empty()) out += ' ';
    out += std::to_string(r.slot) + '(';
    for (size_t i = 0; i < r.args.size(); ++i) {
      if (i) out += ',';
      out += std::to_string(r.args[i]);
    }
    out += ')';
  }
  return out;
}

inline HRESULT CreateRenderer(ComPtr<IBaseFilter>& filter) {
  return CoCreateInstance(CLSID_ZT_CCTV_Renderer, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                          filter.PutVoid());
}

}  // namespace zt_test
