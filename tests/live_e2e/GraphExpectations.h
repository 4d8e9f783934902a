#pragma once
// What the viewer's graph must hold, as a graph tool lists it.
#include <gtest/gtest.h>

#include <vector>

#include "LiveTestUtil.h"
#include "orba/ZoomTextCctvRenderer.h"
#include "simcam/SimCamIds.h"

namespace live_test {

// {CF49D4E0-1115-11CE-B03A-0020AF0BA770}
inline const CLSID kAviDecompressor = {
    0xcf49d4e0, 0x1115, 0x11ce, {0xb0, 0x3a, 0x00, 0x20, 0xaf, 0x0b, 0xa7, 0x70}};
// {CC58E280-8AA1-11D1-B3F1-00AA003761C5}
inline const CLSID kSmartTee = {
    0xcc58e280, 0x8aa1, 0x11d1, {0xb3, 0xf1, 0x00, 0xaa, 0x00, 0x37, 0x61, 0xc5}};
// {C1F400A4-3F08-11D3-9F0B-006008039E37}
inline const CLSID kNullRenderer = {
    0xc1f400a4, 0x3f08, 0x11d3, {0x9f, 0x0b, 0x00, 0x60, 0x08, 0x03, 0x9e, 0x37}};
// {51B4ABF3-748F-4E3B-A276-C828330E926A}
inline const CLSID kVmr9 = {
    0x51b4abf3, 0x748f, 0x4e3b, {0xa2, 0x76, 0xc8, 0x28, 0x33, 0x0e, 0x92, 0x6a}};
// {A2F63A43-4E90-4D8D-85C2-26A799C950E3}
inline const CLSID kOrbaProc = {
    0xa2f63a43, 0x4e90, 0x4d8d, {0x85, 0xc2, 0x26, 0xa7, 0x99, 0xc9, 0x50, 0xe3}};

inline const GraphFilter* Find(const std::vector<GraphFilter>& filters, const CLSID& clsid) {
  for (const auto& f : filters) {
    if (IsEqualCLSID(f.clsid, clsid)) return &f;
  }
  return nullptr;
}

// The graph of a viewer drawing the picture itself: the five filters it adds
// and the decoder intelligent rendering puts before the mixing renderer.
inline void ExpectMixingRendererGraph(const std::vector<GraphFilter>& filters) {
  struct Want {
    const CLSID* clsid;
    const char* name;
  };
  const Want wanted[] = {{&simcam::CLSID_OrbaSimCam, "Video Capture"},
                         {&kSmartTee, "Smart Tee"},
                         {&kOrbaProc, "ORBAProc"},
                         {&kNullRenderer, "Null Renderer"},
                         {&kVmr9, nullptr}};
  for (const Want& w : wanted) {
    const GraphFilter* f = Find(filters, *w.clsid);
    ASSERT_NE(nullptr, f) << (w.name ? w.name : "the mixing renderer") << " is missing";
    if (w.name) {
      EXPECT_EQ(w.name, f->name);
    }
  }
  size_t decoders = 0;
  for (const auto& f : filters) {
    if (IsEqualCLSID(f.clsid, kAviDecompressor)) ++decoders;
  }
  EXPECT_EQ(1u, decoders) << "the camera's MJPG needs one decoder before the mixing renderer";
  EXPECT_EQ(5u + decoders, filters.size()) << "no other filter belongs in the graph";
}

// The graph of a viewer whose picture ZoomText's renderer draws: the tee's
// preview pin straight into it, no mixing renderer and no decoder.
inline void ExpectZoomTextRendererGraph(const std::vector<GraphFilter>& filters) {
  const GraphFilter* zt = Find(filters, CLSID_ZT_CCTV_Renderer);
  ASSERT_NE(nullptr, zt) << "ZoomText's renderer is missing";
  EXPECT_EQ("ZoomText Renderer", zt->name);
  EXPECT_EQ(nullptr, Find(filters, kVmr9)) << "no mixing renderer beside ZoomText's";
  EXPECT_NE(nullptr, Find(filters, simcam::CLSID_OrbaSimCam));
  EXPECT_NE(nullptr, Find(filters, kSmartTee));
  EXPECT_NE(nullptr, Find(filters, kOrbaProc));
  EXPECT_NE(nullptr, Find(filters, kNullRenderer));
  EXPECT_EQ(5u, filters.size());
}

}  // namespace live_test
