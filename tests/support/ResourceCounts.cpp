#include "ResourceCounts.h"

#include <psapi.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>

namespace orba_test {

namespace {

// Handle values are multiples of four; a value that can be duplicated out of
// the process is a live handle there. Used where the system does not count them.
constexpr uintptr_t kHighestProbedHandle = 0x10000;

DWORD CountHandlesByProbing(HANDLE process) {
  const HANDLE self = GetCurrentProcess();
  DWORD count = 0;
  for (uintptr_t value = 4; value < kHighestProbedHandle; value += 4) {
    const HANDLE h = reinterpret_cast<HANDLE>(value);
    HANDLE copy = nullptr;
    if (DuplicateHandle(process, h, self, &copy, 0, FALSE, DUPLICATE_SAME_ACCESS)) {
      ++count;
      CloseHandle(copy);
    }
  }
  return count;
}

struct WindowCount {
  DWORD pid;
  DWORD count;
};

BOOL CALLBACK CountChild(HWND, LPARAM param) {
  ++reinterpret_cast<WindowCount*>(param)->count;
  return TRUE;
}

BOOL CALLBACK CountTopLevel(HWND window, LPARAM param) {
  auto* c = reinterpret_cast<WindowCount*>(param);
  DWORD pid = 0;
  GetWindowThreadProcessId(window, &pid);
  if (pid == c->pid) {
    ++c->count;
    EnumChildWindows(window, CountChild, param);
  }
  return TRUE;
}

// The windows of a process, the USER objects that can be counted from outside.
DWORD CountWindows(HANDLE process) {
  WindowCount c{GetProcessId(process), 0};
  EnumWindows(CountTopLevel, reinterpret_cast<LPARAM>(&c));
  return c.count;
}

SIZE_T PrivateBytesOf(HANDLE process) {
  PROCESS_MEMORY_COUNTERS_EX memory = {};
  memory.cb = sizeof memory;
  if (!GetProcessMemoryInfo(process, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&memory),
                            sizeof memory)) {
    return 0;
  }
  // Some systems leave PrivateUsage empty; the page-file usage is the same figure.
  return memory.PrivateUsage ? memory.PrivateUsage : memory.PagefileUsage;
}

}  // namespace

bool ReadResourceCounts(HANDLE process, ResourceCounts* out) {
  ResourceCounts c;
  if (!GetProcessHandleCount(process, &c.handles) || c.handles == 0) {
    c.handles = CountHandlesByProbing(process);
  }
  c.gdiObjects = GetGuiResources(process, GR_GDIOBJECTS);
  c.userObjects = GetGuiResources(process, GR_USEROBJECTS);
  if (c.userObjects == 0) c.userObjects = CountWindows(process);
  c.privateBytes = PrivateBytesOf(process);
  *out = c;
  return c.handles != 0 && c.privateBytes != 0;
}

bool ReadSettledCounts(HANDLE process, ResourceCounts* out, int readings, DWORD gapMs) {
  ResourceCounts c;
  if (!ReadResourceCounts(process, &c)) return false;
  // Probing handles is slow where the system does not count them; they settle
  // at once, while buffers in flight come and go.
  for (int i = 1; i < readings; ++i) {
    Sleep(gapMs);
    const SIZE_T bytes = PrivateBytesOf(process);
    if (bytes) c.privateBytes = std::min(c.privateBytes, bytes);
  }
  *out = c;
  return true;
}

double LeastPrivateBytes(const std::vector<ResourceCounts>& samples, size_t from, size_t to) {
  SIZE_T least = samples[from].privateBytes;
  for (size_t i = from + 1; i < to; ++i) least = std::min(least, samples[i].privateBytes);
  return static_cast<double>(least);
}

namespace {

struct Means {
  double handles = 0, gdi = 0, user = 0;
  double bytes = 0;  // the least of the window, not the mean
};

Means MeanOf(const std::vector<ResourceCounts>& s, size_t from, size_t to) {
  Means m;
  for (size_t i = from; i < to; ++i) {
    m.handles += s[i].handles;
    m.gdi += s[i].gdiObjects;
    m.user += s[i].userObjects;
  }
  m.bytes = LeastPrivateBytes(s, from, to);
  const double n = static_cast<double>(to - from);
  m.handles /= n;
  m.gdi /= n;
  m.user /= n;
  return m;
}

}  // namespace

Growth GrowthPerCycle(const std::vector<ResourceCounts>& samples) {
  Growth g;
  const size_t n = samples.size();
  if (n < 10) return g;
  const size_t fifth = n / 5;
  const Means early = MeanOf(samples, fifth, 2 * fifth);
  const Means late = MeanOf(samples, n - fifth, n);
  const double span = static_cast<double>(n - 2 * fifth);
  g.handles = (late.handles - early.handles) / span;
  g.privateBytes = (late.bytes - early.bytes) / span;
  return g;
}

::testing::AssertionResult NoSteadyGrowth(const std::string& what,
                                          const std::vector<ResourceCounts>& samples,
                                          const GrowthMargins& margins) {
  const size_t n = samples.size();
  if (n < 10) return ::testing::AssertionFailure() << what << ": only " << n << " samples";
  const size_t fifth = n / 5;
  const Means early = MeanOf(samples, fifth, 2 * fifth);
  const Means late = MeanOf(samples, n - fifth, n);
  std::printf("%s, %zu cycles (mean of cycles %zu-%zu / of the last %zu):\n", what.c_str(), n,
              fifth, 2 * fifth - 1, fifth);
  std::printf("  handles        %10.1f / %10.1f\n", early.handles, late.handles);
  if (early.gdi == 0 && late.gdi == 0) {
    std::printf("  GDI objects    not counted by this system\n");
  } else {
    std::printf("  GDI objects    %10.1f / %10.1f\n", early.gdi, late.gdi);
  }
  std::printf("  USER objects   %10.1f / %10.1f\n", early.user, late.user);
  std::printf("  private KiB    %10.1f / %10.1f (least of each)\n", early.bytes / 1024,
              late.bytes / 1024);
  // The two means lie this many cycles apart.
  const double span = static_cast<double>(n - 2 * fifth);
  const double allowedHandles = margins.handles + margins.platformHandlesPerCycle * span;
  const double allowedBytes = margins.privateBytes + margins.platformBytesPerCycle * span;
  if (margins.platformHandlesPerCycle > 0 || margins.platformBytesPerCycle > 0) {
    std::printf(
        "  kept by the system itself, a cycle: %.1f handles and %.1f KiB; allowed in "
        "all: %.0f handles and %.0f KiB\n",
        margins.platformHandlesPerCycle, margins.platformBytesPerCycle / 1024, allowedHandles,
        allowedBytes / 1024);
  }
  std::fflush(stdout);
  ::testing::AssertionResult result = ::testing::AssertionSuccess();
  if (late.handles - early.handles > allowedHandles) {
    result = ::testing::AssertionFailure()
             << what << ": handles grew from " << early.handles << " to " << late.handles;
  } else if (late.gdi - early.gdi > margins.guiObjects) {
    result = ::testing::AssertionFailure()
             << what << ": GDI objects grew from " << early.gdi << " to " << late.gdi;
  } else if (late.user - early.user > margins.guiObjects) {
    result = ::testing::AssertionFailure()
             << what << ": USER objects grew from " << early.user << " to " << late.user;
  } else if (late.bytes - early.bytes > allowedBytes) {
    result = ::testing::AssertionFailure()
             << what << ": private bytes grew from " << early.bytes << " to " << late.bytes;
  }
  return result;
}

}  // namespace orba_test
