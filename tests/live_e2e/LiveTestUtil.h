#pragma once
// Helpers of the live viewer tests: the X tools that act as the user (xdotool),
// the running-object table as graph tools see it, and the screen.
#include <windows.h>

#include <dshow.h>

#include <cstdint>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "ResourceCounts.h"
#include "orba/ComPtr.h"

namespace live_test {

// Waits until cond holds or the time is up; true when it held.
bool WaitUntil(const std::function<bool()>& cond, DWORD timeoutMs);

// Runs a program of the host system (for example "/usr/bin/xdotool key a") and
// waits for it; its exit code, or -1 when it could not be run or timed out.
int RunHostProgram(const std::string& commandLine, DWORD timeoutMs = 15000);
// xdotool with the given arguments; true on exit code 0.
bool Xdotool(const std::string& args);
// Gives the X input focus to the viewer's window: Wine hands hot keys to a
// program only while one of its windows has the focus.
bool FocusViewerWindow(HWND window);

// One filter of a graph, as another process sees it.
struct GraphFilter {
  std::string name;
  CLSID clsid = {};
};
// The item names "FilterGraph %08x pid %08x" of the process's graphs in the
// running-object table.
std::vector<std::string> RotGraphNames(DWORD pid);
// Binds the process's graph through the running-object table (null when none).
bool BindRotGraph(DWORD pid, IFilterGraph** graph);
// The filters of the process's graph; false when it cannot be listed.
bool ListGraphFilters(DWORD pid, std::vector<GraphFilter>* filters);

// The whole screen as 24-bit pixels, top row first.
struct Screenshot {
  int width = 0;
  int height = 0;
  std::vector<uint8_t> bgr;  // 3 bytes a pixel, rows packed
  int Luma(int x, int y) const;
};
bool CaptureScreen(Screenshot* shot);
// The mean brightness of blocks of block x block pixels over a rectangle, in
// rows; a compact form of a picture that does not depend on how it was scaled.
std::vector<double> BlockMeans(const Screenshot& shot, const RECT& area, int columns, int rows);
// Pearson correlation of two equally long series.
double Correlation(const std::vector<double>& a, const std::vector<double>& b);

// The camera command codes logged so far ("F0 09", "6E 0C", ...).
std::vector<std::string> CameraCodes();
// Waits until the codes logged so far satisfy cond.
bool WaitForCodes(const std::function<bool(const std::vector<std::string>&)>& cond,
                  DWORD timeoutMs);
size_t CountCode(const std::vector<std::string>& codes, const std::string& code);

RECT WindowRect(HWND window);

// A graph shaped like the viewer's, of the system's filters: the first camera
// into a Smart Tee, its capture pin to a Null Renderer (through ORBAProc with
// `tap`), its preview decoded into a windowless Video Mixing Renderer 9 that
// fills the window (into a second Null Renderer without `mixer`). With `area`,
// the tap is asked for the full-screen magnifier area as the viewer asks for
// it, which holds a DirectDraw primary surface. Null when a part cannot be
// made, connected or asked.
struct LiveGraphParts {
  bool tap = false;
  bool mixer = true;
  bool area = false;
};
orba::ComPtr<IGraphBuilder> BuildLiveGraph(HWND window, const LiveGraphParts& parts);

// The handles and private bytes the system keeps for the calls one start-up
// pass makes of it, measured in this process before the viewer starts and
// added to the margins' allowance per cycle: the cameras enumerated, named and
// bound, and a graph of the system's filters shaped like the viewer's, run and
// released. Wine keeps a few each time; Windows keeps none.
void AllowPlatformCost(orba_test::GrowthMargins* margins);

// The same for a one-frame movie written through AVIFile and the video
// compressor as a conversion writes it. Wine keeps a key of the video drivers'
// list open for each (its ICGetInfo asks ICInfo for the driver's name, and
// ICInfo returns without closing the key when it finds the codec).
void AllowMovieCost(orba_test::GrowthMargins* margins);

// The names of the files that match a pattern such as "C:\\x\\video_*.avi".
std::set<std::string> MatchingFiles(const std::string& pattern);

}  // namespace live_test
