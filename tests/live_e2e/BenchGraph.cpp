// Benchmark of the live graph's memory by its parts: a graph shaped like the
// viewer's, of the system's filters, runs on the simulated camera in this
// process, with no viewer code around it, and the process's working set is
// read every 10 s. Run once for each choice of parts, each in a process of its
// own, it shows which part a growth of the viewer's memory comes with.
// Prints figures; the exit code says only whether the run worked.
//
// Prints one row: the working set after the first minute, half way through
// the rest and at the end (KiB), its growth (KiB a minute, least squares)
// over each half of the rest, and how often the window was painted.
//
// Usage: bench_graph <seconds> <viewer | no-tap | no-mixer | d3d-first>
//   viewer    as the viewer has it: ORBAProc on the capture pin, asked for the
//             full-screen magnifier area as the viewer asks (it holds a
//             DirectDraw primary surface), the preview drawn by the Video
//             Mixing Renderer 9 into a full-screen window that answers every
//             WM_PAINT with the mixer's RepaintVideo, as the viewer's does
//   no-tap    the same without ORBAProc
//   no-mixer  ORBAProc with the area, the decoded preview into a Null Renderer
//   d3d-first as "viewer", with the viewer's display driver probe run on the
//             window before the graph, as the viewer once ran it on its own
//             window: under Wine the probe's device leaves its pixel format
//             on the window, and each frame of the mixer then redraws it whole
#include <windows.h>

#include <dshow.h>
#include <d3d9.h>
#include <psapi.h>
#include <vmr9.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "BenchFigures.h"
#include "Environment.h"
#include "LiveTestUtil.h"
#include "ViewerState.h"
#include "simcam/SimCamControl.h"

namespace {

struct Sample {
  double seconds;
  double workingSetKiB;
};

double WorkingSetKiB() {
  PROCESS_MEMORY_COUNTERS memory = {};
  memory.cb = sizeof memory;
  if (!GetProcessMemoryInfo(GetCurrentProcess(), &memory, sizeof memory)) return 0;
  return static_cast<double>(memory.WorkingSetSize) / 1024;
}

// The least-squares slope of the working set over time, in KiB a minute.
double SlopePerMinute(const std::vector<Sample>& samples) {
  const double n = static_cast<double>(samples.size());
  double st = 0, sw = 0, stt = 0, stw = 0;
  for (const Sample& s : samples) {
    st += s.seconds;
    sw += s.workingSetKiB;
    stt += s.seconds * s.seconds;
    stw += s.seconds * s.workingSetKiB;
  }
  const double d = n * stt - st * st;
  return d > 0 ? (n * stw - st * sw) / d * 60 : 0;
}

orba::ComPtr<IVMRWindowlessControl9> g_windowless;
long g_paints = 0;

// Paints as the viewer's window does: the mixer repaints the video.
LRESULT CALLBACK RepaintingWindow(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message != WM_PAINT) return DefWindowProcA(window, message, wParam, lParam);
  ++g_paints;
  PAINTSTRUCT ps;
  const HDC dc = BeginPaint(window, &ps);
  if (g_windowless) g_windowless->RepaintVideo(window, dc);
  EndPaint(window, &ps);
  return 0;
}

// Dispatches the window's messages until the time is up, even if they never
// stop coming.
void PumpFor(double until) {
  while (orba_test::BenchSeconds() < until) {
    MSG msg;
    while (orba_test::BenchSeconds() < until && PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      DispatchMessageA(&msg);
    }
    Sleep(20);
  }
}

}  // namespace

int main(int argc, char** argv) {
  const int seconds = argc > 2 ? std::atoi(argv[1]) : 0;
  const std::string parts = argc > 2 ? argv[2] : "";
  if (seconds < 20 ||
      (parts != "viewer" && parts != "no-tap" && parts != "no-mixer" && parts != "d3d-first")) {
    std::fprintf(stderr,
                 "usage: bench_graph <seconds, at least 20> "
                 "<viewer | no-tap | no-mixer | d3d-first>\n");
    return 2;
  }
  CoInitializeEx(nullptr, COINIT_MULTITHREADED);
  simcam::ClearOptions();
  simcam::Plug();
  live_test::LiveGraphParts chosen;
  chosen.tap = parts != "no-tap";
  chosen.mixer = parts != "no-mixer";
  chosen.area = chosen.tap;
  WNDCLASSA windowClass = {};
  windowClass.lpfnWndProc = RepaintingWindow;
  windowClass.hInstance = GetModuleHandleA(nullptr);
  windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
  windowClass.lpszClassName = "bench_graph";
  RegisterClassA(&windowClass);
  const HWND window =
      CreateWindowExA(WS_EX_TOPMOST, "bench_graph", "bench_graph", WS_POPUP | WS_VISIBLE, 0, 0,
                      GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN), nullptr,
                      nullptr, nullptr, nullptr);
  int rc = 1;
  // The viewer's own probe, on this window.
  if (parts == "d3d-first" && ProbeDisplayDriverModel(window) == kDriverUndetected) {
    std::fprintf(stderr, "bench_graph: no Direct3D 9 device on the window\n");
  } else {
    const orba::ComPtr<IGraphBuilder> graph = live_test::BuildLiveGraph(window, chosen);
    orba::ComPtr<IMediaControl> control;
    orba::ComPtr<IBaseFilter> mixer;
    if (graph && SUCCEEDED(graph->FindFilterByName(L"VMR9", &mixer))) {
      mixer.QueryInterface(IID_IVMRWindowlessControl9, g_windowless);
    }
    if (!graph || FAILED(graph.QueryInterface(IID_IMediaControl, control)) ||
        FAILED(control->Run())) {
      std::fprintf(stderr, "bench_graph: the graph could not be built and run\n");
    } else {
      const double start = orba_test::BenchSeconds();
      std::vector<Sample> samples;
      for (double t = 0; t <= seconds; t += 10) {
        PumpFor(start + t);
        samples.push_back({t, WorkingSetKiB()});
      }
      control->Stop();
      g_windowless = nullptr;
      // The first minute is start-up (caches and buffers filling); the rest is
      // split in halves, so that a growth that levels off shows as such.
      const size_t first = std::min<size_t>(6, samples.size() - 1);
      const size_t middle = first + (samples.size() - first) / 2;
      const std::vector<Sample> early(samples.begin() + first, samples.begin() + middle + 1);
      const std::vector<Sample> late(samples.begin() + middle, samples.end());
      const double elapsed = orba_test::BenchSeconds() - start;
      std::printf("| %-9s | %5d s | %9.0f | %9.0f | %9.0f | %15.0f | %15.0f | %9.1f |\n",
                  parts.c_str(), seconds, samples[first].workingSetKiB,
                  samples[middle].workingSetKiB, samples.back().workingSetKiB,
                  SlopePerMinute(early), SlopePerMinute(late), g_paints / elapsed);
      rc = samples.front().workingSetKiB > 0 ? 0 : 1;
    }
  }
  DestroyWindow(window);
  CoUninitialize();
  return rc;
}
