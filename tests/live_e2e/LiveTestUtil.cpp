#include "LiveTestUtil.h"

#include <d3d9.h>
#include <vmr9.h>
#include <vfw.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "IORBAProc.h"
#include "IORBAProcArea.h"
#include "orba/ComPtr.h"
#include "orba/Scoped.h"
#include "ResourceCounts.h"
#include "TestEnv.h"
#include "simcam/SimCamControl.h"

namespace live_test {

using orba::ComPtr;

bool WaitUntil(const std::function<bool()>& cond, DWORD timeoutMs) {
  const ULONGLONG end = GetTickCount64() + timeoutMs;
  while (!cond()) {
    if (GetTickCount64() > end) return false;
    Sleep(20);
  }
  return true;
}

namespace {

// Wine's own name of a file on the host, or empty outside Wine.
std::string HostPath(const std::string& windowsPath) {
  using UnixName = char*(CDECL*)(const wchar_t*);
  const auto unixName = reinterpret_cast<UnixName>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name")));
  if (!unixName) return {};
  wchar_t wide[MAX_PATH] = {};
  MultiByteToWideChar(CP_ACP, 0, windowsPath.c_str(), -1, wide, MAX_PATH);
  char* name = unixName(wide);
  if (!name) return {};
  std::string result = name;
  HeapFree(GetProcessHeap(), 0, name);
  return result;
}

std::string EscapeQuotes(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '"') out += '\\';
    out += c;
  }
  return out;
}

}  // namespace

int RunHostProgram(const std::string& commandLine, DWORD timeoutMs) {
  // Wine starts host programs without a process handle to wait on, so the
  // program runs under a shell that writes its exit code into a file.
  char temp[MAX_PATH] = {};
  GetTempPathA(MAX_PATH, temp);
  static LONG counter = 0;
  char marker[MAX_PATH];
  std::snprintf(marker, sizeof marker, "%sorba_host_%lu_%ld.rc", temp, GetCurrentProcessId(),
                InterlockedIncrement(&counter));
  DeleteFileA(marker);
  const std::string hostMarker = HostPath(marker);
  if (hostMarker.empty()) return -1;
  const std::string script = commandLine + "; echo $? > '" + hostMarker + "'";
  std::string line = "/bin/sh -c \"" + EscapeQuotes(script) + "\"";
  STARTUPINFOA si = {};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi = {};
  std::vector<char> mutableLine(line.begin(), line.end());
  mutableLine.push_back('\0');
  if (!CreateProcessA(nullptr, mutableLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &si, &pi)) {
    return -1;
  }
  if (pi.hProcess) CloseHandle(pi.hProcess);
  if (pi.hThread) CloseHandle(pi.hThread);
  int code = -1;
  WaitUntil(
      [&] {
        const std::string text = orba_test::ReadFileBytes(marker);
        if (text.find('\n') == std::string::npos) return false;
        code = std::atoi(text.c_str());
        return true;
      },
      timeoutMs);
  DeleteFileA(marker);
  return code;
}

bool Xdotool(const std::string& args) { return RunHostProgram("/usr/bin/xdotool " + args) == 0; }

bool FocusViewerWindow(HWND window) {
  // Wine keeps the X window of a top-level window in this property; naming it
  // directly avoids windows of an earlier viewer that are still going away.
  const auto xid = reinterpret_cast<uintptr_t>(GetPropA(window, "__wine_x11_whole_window"));
  bool focused = false;
  for (int attempt = 0; attempt < 3; ++attempt) {
    const bool ok = xid ? Xdotool("windowfocus --sync " + std::to_string(xid))
                        : Xdotool("search --name \"^ORBA$\" windowfocus --sync %@");
    focused = focused || ok;
    // X has moved the focus; a key pressed before Wine has taken it in may
    // still go to the window that had it.
    if (ok && WaitUntil([&] { return GetForegroundWindow() == window; }, 2000)) return true;
    Sleep(100);
  }
  return focused;
}

namespace {

std::string Narrow(const wchar_t* text) {
  char buf[512] = {};
  WideCharToMultiByte(CP_ACP, 0, text, -1, buf, sizeof buf - 1, nullptr, nullptr);
  return buf;
}

std::string PidTag(DWORD pid) {
  char tag[32];
  std::snprintf(tag, sizeof tag, "pid %08lx", static_cast<unsigned long>(pid));
  return tag;
}

// Every graph moniker of the process in the running-object table.
std::vector<std::pair<std::string, ComPtr<IMoniker>>> RotGraphs(DWORD pid) {
  std::vector<std::pair<std::string, ComPtr<IMoniker>>> found;
  ComPtr<IRunningObjectTable> rot;
  if (FAILED(GetRunningObjectTable(0, &rot)) || !rot) return found;
  ComPtr<IEnumMoniker> monikers;
  if (FAILED(rot->EnumRunning(&monikers)) || !monikers) return found;
  ComPtr<IBindCtx> context;
  if (FAILED(CreateBindCtx(0, &context))) return found;
  ComPtr<IMoniker> moniker;
  ULONG fetched = 0;
  const std::string tag = PidTag(pid);
  while (monikers->Next(1, &moniker, &fetched) == S_OK && fetched == 1) {
    LPOLESTR display = nullptr;
    if (FAILED(moniker->GetDisplayName(context.Get(), nullptr, &display)) || !display) continue;
    const std::string name = Narrow(display);
    CoTaskMemFree(display);
    // Item monikers show their delimiter first: "!FilterGraph ...".
    const size_t at = name.find("FilterGraph ");
    if (at == std::string::npos || name.find(tag) == std::string::npos) continue;
    found.emplace_back(name.substr(at), moniker);
  }
  return found;
}

}  // namespace

std::vector<std::string> RotGraphNames(DWORD pid) {
  std::vector<std::string> names;
  for (auto& entry : RotGraphs(pid)) names.push_back(entry.first);
  return names;
}

bool BindRotGraph(DWORD pid, IFilterGraph** graph) {
  *graph = nullptr;
  auto graphs = RotGraphs(pid);
  if (graphs.empty()) return false;
  ComPtr<IRunningObjectTable> rot;
  if (FAILED(GetRunningObjectTable(0, &rot)) || !rot) return false;
  ComPtr<IUnknown> object;
  if (FAILED(rot->GetObject(graphs.front().second.Get(), &object)) || !object) return false;
  return SUCCEEDED(object->QueryInterface(IID_IFilterGraph, reinterpret_cast<void**>(graph)));
}

bool ListGraphFilters(DWORD pid, std::vector<GraphFilter>* filters) {
  filters->clear();
  ComPtr<IFilterGraph> graph;
  if (!BindRotGraph(pid, &graph)) return false;
  ComPtr<IEnumFilters> list;
  if (FAILED(graph->EnumFilters(&list)) || !list) return false;
  ComPtr<IBaseFilter> filter;
  ULONG fetched = 0;  // Wine's proxy needs the count pointer
  while (list->Next(1, &filter, &fetched) == S_OK && fetched == 1) {
    GraphFilter entry;
    FILTER_INFO info = {};
    if (SUCCEEDED(filter->QueryFilterInfo(&info))) {
      entry.name = Narrow(info.achName);
      if (info.pGraph) info.pGraph->Release();
    }
    filter->GetClassID(&entry.clsid);
    filters->push_back(entry);
  }
  return true;
}

int Screenshot::Luma(int x, int y) const {
  const uint8_t* p = &bgr[(static_cast<size_t>(y) * width + x) * 3];
  return (p[0] * 29 + p[1] * 150 + p[2] * 77) >> 8;
}

bool CaptureScreen(Screenshot* shot) {
  const int w = GetSystemMetrics(SM_CXSCREEN);
  const int h = GetSystemMetrics(SM_CYSCREEN);
  orba::ScopedWindowDC screen(nullptr);
  if (!screen.Get()) return false;
  orba::ScopedCreatedDC memory(CreateCompatibleDC(screen.Get()));
  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = w;
  info.bmiHeader.biHeight = -h;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 24;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  orba::ScopedBitmap dib(CreateDIBSection(screen.Get(), &info, DIB_RGB_COLORS, &bits, nullptr, 0));
  if (!memory.Get() || !dib.Get() || !bits) return false;
  const HGDIOBJ old = SelectObject(memory.Get(), dib.Get());
  const bool ok = BitBlt(memory.Get(), 0, 0, w, h, screen.Get(), 0, 0, SRCCOPY) != FALSE;
  GdiFlush();
  SelectObject(memory.Get(), old);
  if (!ok) return false;
  const size_t stride = (static_cast<size_t>(w) * 3 + 3) & ~static_cast<size_t>(3);
  shot->width = w;
  shot->height = h;
  shot->bgr.resize(static_cast<size_t>(w) * h * 3);
  for (int y = 0; y < h; ++y) {
    std::memcpy(&shot->bgr[static_cast<size_t>(y) * w * 3],
                static_cast<const uint8_t*>(bits) + y * stride, static_cast<size_t>(w) * 3);
  }
  return true;
}

std::vector<double> BlockMeans(const Screenshot& shot, const RECT& area, int columns, int rows) {
  std::vector<double> means;
  const int w = area.right - area.left;
  const int h = area.bottom - area.top;
  for (int r = 0; r < rows; ++r) {
    for (int c = 0; c < columns; ++c) {
      const int x0 = area.left + c * w / columns;
      const int x1 = area.left + (c + 1) * w / columns;
      const int y0 = area.top + r * h / rows;
      const int y1 = area.top + (r + 1) * h / rows;
      double sum = 0;
      int n = 0;
      for (int y = y0; y < y1; ++y) {
        for (int x = x0; x < x1; ++x) {
          sum += shot.Luma(x, y);
          ++n;
        }
      }
      means.push_back(n ? sum / n : 0);
    }
  }
  return means;
}

double Correlation(const std::vector<double>& a, const std::vector<double>& b) {
  if (a.size() != b.size() || a.empty()) return 0;
  double ma = 0, mb = 0;
  for (size_t i = 0; i < a.size(); ++i) {
    ma += a[i];
    mb += b[i];
  }
  ma /= a.size();
  mb /= b.size();
  double cov = 0, va = 0, vb = 0;
  for (size_t i = 0; i < a.size(); ++i) {
    cov += (a[i] - ma) * (b[i] - mb);
    va += (a[i] - ma) * (a[i] - ma);
    vb += (b[i] - mb) * (b[i] - mb);
  }
  if (va <= 0 || vb <= 0) return 0;
  return cov / std::sqrt(va * vb);
}

std::vector<std::string> CameraCodes() { return simcam::DecodeCommands(simcam::ReadLog()).Codes(); }

bool WaitForCodes(const std::function<bool(const std::vector<std::string>&)>& cond,
                  DWORD timeoutMs) {
  return WaitUntil([&] { return cond(CameraCodes()); }, timeoutMs);
}

size_t CountCode(const std::vector<std::string>& codes, const std::string& code) {
  size_t n = 0;
  for (const auto& c : codes) n += c == code ? 1 : 0;
  return n;
}

RECT WindowRect(HWND window) {
  RECT r = {};
  GetWindowRect(window, &r);
  return r;
}

std::set<std::string> MatchingFiles(const std::string& pattern) {
  std::set<std::string> names;
  WIN32_FIND_DATAA found;
  const HANDLE find = FindFirstFileA(pattern.c_str(), &found);
  if (find == INVALID_HANDLE_VALUE) return names;
  do {
    names.insert(found.cFileName);
  } while (FindNextFileA(find, &found));
  FindClose(find);
  return names;
}

namespace {

// The platform's Null Renderer (qedit).
const CLSID kNullRenderer = {
    0xc1f400a4, 0x3f08, 0x11d3, {0x9f, 0x0b, 0x00, 0x60, 0x08, 0x03, 0x9e, 0x37}};

ComPtr<IPin> FirstPin(IBaseFilter* filter, PIN_DIRECTION direction, const wchar_t* name) {
  ComPtr<IEnumPins> pins;
  if (!filter || FAILED(filter->EnumPins(&pins))) return nullptr;
  ComPtr<IPin> pin;
  while (pins->Next(1, &pin, nullptr) == S_OK) {
    PIN_INFO info = {};
    if (FAILED(pin->QueryPinInfo(&info))) continue;
    if (info.pFilter) info.pFilter->Release();
    if (info.dir == direction && (!name || wcscmp(name, info.achName) == 0)) return pin;
  }
  return nullptr;
}

ComPtr<IBaseFilter> Create(REFCLSID clsid) {
  ComPtr<IBaseFilter> filter;
  CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter, filter.PutVoid());
  return filter;
}

// A movie of one 1280 x 720 frame, through the same AVIFile calls, with the
// same stream header and compression options, as a conversion makes.
void WriteOneFrameMovie() {
  // AVIFile picks its handler by the name's extension.
  char path[MAX_PATH], name[MAX_PATH];
  if (!GetTempPathA(MAX_PATH, path) ||
      std::snprintf(name, sizeof name, "%splatform-%lu.avi", path, GetCurrentProcessId()) >=
          static_cast<int>(sizeof name)) {
    return;
  }
  constexpr DWORD kXvid = mmioFOURCC('X', 'V', 'I', 'D');
  BITMAPINFOHEADER format = {sizeof format, 1280, 720, 1, 24, BI_RGB, 1280 * 720 * 3};
  AVIFileInit();
  PAVIFILE file = nullptr;
  PAVISTREAM stream = nullptr, compressed = nullptr;
  AVISTREAMINFOA header = {};
  header.fccType = streamtypeVIDEO;
  header.fccHandler = kXvid;
  header.dwScale = 1000;
  header.dwRate = 60000;
  header.dwSuggestedBufferSize = 1280 * 720 * 4;
  header.dwQuality = 9000;
  SetRect(&header.rcFrame, 0, 0, 1280, 720);
  AVICOMPRESSOPTIONS options = {};
  options.fccType = streamtypeVIDEO;
  options.fccHandler = kXvid;
  options.dwKeyFrameEvery = 1;
  options.dwQuality = 9000;
  options.dwFlags = AVICOMPRESSF_KEYFRAMES | AVICOMPRESSF_VALID;
  std::vector<BYTE> bits(format.biSizeImage, 0x80);
  if (AVIFileOpenA(&file, name, OF_CREATE | OF_WRITE, nullptr) == AVIERR_OK &&
      AVIFileCreateStreamA(file, &stream, &header) == AVIERR_OK &&
      AVIMakeCompressedStream(&compressed, stream, &options, nullptr) == AVIERR_OK &&
      AVIStreamSetFormat(compressed, 0, &format, sizeof format) == AVIERR_OK) {
    AVIStreamWrite(compressed, 0, 1, bits.data(), format.biSizeImage, 0, nullptr, nullptr);
  }
  if (compressed) AVIStreamRelease(compressed);
  if (stream) AVIStreamRelease(stream);
  if (file) AVIFileRelease(file);
  AVIFileExit();
  DeleteFileA(name);
}

}  // namespace

ComPtr<IGraphBuilder> BuildLiveGraph(HWND window, const LiveGraphParts& parts) {
  ComPtr<ICreateDevEnum> devices;
  ComPtr<IEnumMoniker> monikers;
  if (FAILED(CoCreateInstance(CLSID_SystemDeviceEnum, nullptr, CLSCTX_INPROC_SERVER,
                              IID_ICreateDevEnum, devices.PutVoid())) ||
      devices->CreateClassEnumerator(CLSID_VideoInputDeviceCategory, &monikers, 0) != S_OK) {
    return nullptr;
  }
  ComPtr<IBaseFilter> camera;
  ComPtr<IMoniker> moniker;
  while (monikers->Next(1, &moniker, nullptr) == S_OK) {
    ComPtr<IPropertyBag> bag;
    if (SUCCEEDED(moniker->BindToStorage(nullptr, nullptr, IID_IPropertyBag, bag.PutVoid()))) {
      VARIANT name;
      VariantInit(&name);
      bag->Read(L"FriendlyName", &name, nullptr);
      VariantClear(&name);
    }
    if (!camera) moniker->BindToObject(nullptr, nullptr, IID_IBaseFilter, camera.PutVoid());
  }
  ComPtr<IGraphBuilder> graph;
  CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder,
                   graph.PutVoid());
  const ComPtr<IBaseFilter> tee = Create(CLSID_SmartTee);
  const ComPtr<IBaseFilter> null = Create(kNullRenderer);
  const ComPtr<IBaseFilter> tap = parts.tap ? Create(CLSID_ORBAProc) : nullptr;
  const ComPtr<IBaseFilter> decoder = Create(CLSID_AVIDec);
  const ComPtr<IBaseFilter> sink =
      parts.mixer ? Create(CLSID_VideoMixingRenderer9) : Create(kNullRenderer);
  if (!camera || !graph || !tee || !null || !decoder || !sink || (parts.tap && !tap)) {
    return nullptr;
  }
  if (parts.mixer) {
    ComPtr<IVMRFilterConfig9> config;
    ComPtr<IVMRWindowlessControl9> windowless;
    RECT client = {};
    GetClientRect(window, &client);
    if (FAILED(sink.QueryInterface(IID_IVMRFilterConfig9, config)) ||
        FAILED(config->SetRenderingMode(VMR9Mode_Windowless)) ||
        FAILED(sink.QueryInterface(IID_IVMRWindowlessControl9, windowless)) ||
        FAILED(windowless->SetVideoClippingWindow(window)) ||
        FAILED(windowless->SetVideoPosition(nullptr, &client))) {
      return nullptr;
    }
  }
  graph->AddFilter(camera.Get(), L"Camera");
  graph->AddFilter(tee.Get(), L"Smart Tee");
  graph->AddFilter(null.Get(), L"Null Renderer");
  if (tap) graph->AddFilter(tap.Get(), L"ORBAProc");
  graph->AddFilter(decoder.Get(), L"Decoder");
  graph->AddFilter(sink.Get(), parts.mixer ? L"VMR9" : L"Preview Null Renderer");
  const auto connect = [&graph](IBaseFilter* from, const wchar_t* pin, IBaseFilter* to) {
    return SUCCEEDED(graph->Connect(FirstPin(from, PINDIR_OUTPUT, pin).Get(),
                                    FirstPin(to, PINDIR_INPUT, nullptr).Get()));
  };
  // The preview is connected directly, as the viewer connects its remembered
  // decoder chain.
  const auto connectDirect = [&graph](IBaseFilter* from, const wchar_t* pin, IBaseFilter* to) {
    return SUCCEEDED(graph->ConnectDirect(FirstPin(from, PINDIR_OUTPUT, pin).Get(),
                                          FirstPin(to, PINDIR_INPUT, nullptr).Get(), nullptr));
  };
  bool connected = connect(camera.Get(), nullptr, tee.Get());
  if (tap) {
    connected = connected && connect(tee.Get(), L"Capture", tap.Get()) &&
                connect(tap.Get(), nullptr, null.Get());
  } else {
    connected = connected && connect(tee.Get(), L"Capture", null.Get());
  }
  connected = connected && connectDirect(tee.Get(), L"Preview", decoder.Get()) &&
              connectDirect(decoder.Get(), nullptr, sink.Get());
  if (connected && tap && parts.area) {
    ComPtr<IORBAProcArea> area;
    ComPtr<IORBAProc> control;
    constexpr long kFullScreen = 2;
    connected =
        SUCCEEDED(tap.QueryInterface(IID_IORBAProcArea, area)) &&
        SUCCEEDED(area->SetAreaHandles(static_cast<DWORD>(reinterpret_cast<uintptr_t>(window)),
                                       GetCurrentProcessId())) &&
        SUCCEEDED(tap.QueryInterface(IID_IORBAProc, control)) &&
        SUCCEEDED(control->SetParams(kFullScreen, 1.0, 1.0));
  }
  return connected ? graph : nullptr;
}

namespace {

// The platform's part of a start-up pass: the graph above run for a moment and
// released.
void OnePassOfPlatformCalls(HWND window) {
  const ComPtr<IGraphBuilder> graph = BuildLiveGraph(window, LiveGraphParts());
  ComPtr<IMediaControl> control;
  if (graph && SUCCEEDED(graph.QueryInterface(IID_IMediaControl, control))) {
    control->Run();
    Sleep(300);
    control->Stop();
  }
}

// What the system keeps in this process for each run of a pass: the handles
// and private bytes added from the first to the last of 12 runs, per run.
// Memory in flight swings from run to run, so the bytes compare the least of
// the first and of the last four.
void AddPerPassCost(const std::function<void()>& pass, orba_test::GrowthMargins* margins) {
  constexpr int kWarmUp = 2, kPasses = 12, kWindow = 4;
  for (int i = 0; i < kWarmUp; ++i) pass();
  std::vector<orba_test::ResourceCounts> after(kPasses);
  for (auto& counts : after) {
    pass();
    orba_test::ReadResourceCounts(GetCurrentProcess(), &counts);
  }
  const double handles =
      static_cast<double>(after.back().handles) - static_cast<double>(after.front().handles);
  // The least of the first and of the last passes, which lie kPasses - kWindow
  // passes apart.
  const double bytes = orba_test::LeastPrivateBytes(after, kPasses - kWindow, kPasses) -
                       orba_test::LeastPrivateBytes(after, 0, kWindow);
  margins->platformHandlesPerCycle += std::max(0.0, handles / (kPasses - 1));
  margins->platformBytesPerCycle += std::max(0.0, bytes / (kPasses - kWindow));
}

}  // namespace

void AllowPlatformCost(orba_test::GrowthMargins* margins) {
  const HWND window = CreateWindowExA(0, "STATIC", "platform pass", WS_POPUP | WS_VISIBLE, 0, 0,
                                      320, 240, nullptr, nullptr, nullptr, nullptr);
  AddPerPassCost([window] { OnePassOfPlatformCalls(window); }, margins);
  DestroyWindow(window);
}

void AllowMovieCost(orba_test::GrowthMargins* margins) {
  AddPerPassCost(WriteOneFrameMovie, margins);
}

}  // namespace live_test
