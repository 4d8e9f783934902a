// Unplugging the camera while it streams: it leaves the device list, stops
// delivering and the system's windows hear about the device change.
#include <gtest/gtest.h>

#include "SimCamTestUtil.h"
#include "TestFilters.h"

namespace simcam_test {
namespace {

int g_deviceChanges = 0;

LRESULT CALLBACK ListenerProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_DEVICECHANGE && wParam == 0x0007 /* DBT_DEVNODES_CHANGED */) ++g_deviceChanges;
  return DefWindowProcA(hwnd, msg, wParam, lParam);
}

void PumpMessages() {
  MSG msg;
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
}

TEST_F(SimCamTest, UnplugRemovesTheCameraAndStopsItsFrames) {
  WNDCLASSA wc = {};
  wc.lpfnWndProc = ListenerProc;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.lpszClassName = "SimCamUnplugListener";
  RegisterClassA(&wc);
  HWND listener = CreateWindowExA(0, wc.lpszClassName, "listener", WS_OVERLAPPED, 0, 0, 10, 10,
                                  nullptr, nullptr, wc.hInstance, nullptr);
  ASSERT_TRUE(listener);

  ComPtr<IGraphBuilder> graph;
  ASSERT_EQ(S_OK, CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER,
                                   IID_IGraphBuilder, graph.PutVoid()));
  ComPtr<IMoniker> moniker = FindCameraMoniker();
  ASSERT_TRUE(moniker);
  ComPtr<IBaseFilter> camera;
  ASSERT_EQ(S_OK, moniker->BindToObject(nullptr, nullptr, IID_IBaseFilter, camera.PutVoid()));
  auto* sink = new orba_test::CRecordingSink(true);
  ComPtr<IBaseFilter> sinkFilter(static_cast<IBaseFilter*>(sink));
  ASSERT_EQ(S_OK, graph->AddFilter(camera.Get(), L"Video Capture"));
  ASSERT_EQ(S_OK, graph->AddFilter(sinkFilter.Get(), L"Sink"));
  ASSERT_EQ(S_OK, graph->ConnectDirect(FindPin(camera.Get(), PINDIR_OUTPUT).Get(),
                                       static_cast<IPin*>(sink->Pin()), nullptr));
  ComPtr<IMediaControl> control;
  ASSERT_EQ(S_OK, graph->QueryInterface(IID_IMediaControl, control.PutVoid()));
  ASSERT_TRUE(SUCCEEDED(control->Run()));
  ASSERT_TRUE(WaitFor([&] { return sink->Count() >= 2; }, 10000));

  g_deviceChanges = 0;
  ASSERT_TRUE(simcam::Unplug());
  PumpMessages();
  EXPECT_GE(g_deviceChanges, 1);
  EXPECT_FALSE(simcam::DeviceInstanceExists());
  EXPECT_FALSE(FindCameraMoniker());
  Sleep(100);  // a frame already on its way may still arrive
  const size_t unplugged = sink->Count();
  Sleep(400);
  EXPECT_EQ(unplugged, sink->Count());

  g_deviceChanges = 0;
  ASSERT_TRUE(simcam::Plug());
  PumpMessages();
  EXPECT_GE(g_deviceChanges, 1);
  EXPECT_TRUE(FindCameraMoniker());
  EXPECT_TRUE(WaitFor([&] { return sink->Count() >= unplugged + 2; }, 10000));
  control->Stop();
  DestroyWindow(listener);
}

}  // namespace
}  // namespace simcam_test
