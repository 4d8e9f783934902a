#include "LiveTestUtil.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "orba/ComPtr.h"
#include "orba/Scoped.h"
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

std::vector<std::string> CameraCodes() {
  return simcam::DecodeCommands(simcam::ReadLog()).Codes();
}

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

}  // namespace live_test
