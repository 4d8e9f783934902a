#pragma once
// What a long run could leak, as the system counts it for a process: kernel
// handles, GDI and USER objects and private bytes; and the check that a series
// of such counts taken over many cycles does not grow steadily.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace orba_test {

struct ResourceCounts {
  DWORD handles = 0;      // the system's count, or live handle values probed
  DWORD gdiObjects = 0;   // 0 where the system does not count them
  DWORD userObjects = 0;  // the system's count, or the process's windows
  SIZE_T privateBytes = 0;
};

// The counts of a process (a handle with PROCESS_DUP_HANDLE and query rights);
// false when neither a handle count nor the private bytes could be had.
bool ReadResourceCounts(HANDLE process, ResourceCounts* out);

// The counts with the least private bytes of several readings a short time
// apart: what the process holds once buffers in flight have come and gone.
// False when the first reading failed.
bool ReadSettledCounts(HANDLE process, ResourceCounts* out, int readings = 5, DWORD gapMs = 200);

// The least private bytes among samples [from, to): what memory in flight
// hides, as it swings single samples by tens of MB.
double LeastPrivateBytes(const std::vector<ResourceCounts>& samples, size_t from, size_t to);

// How much a late mean may exceed an early one before it counts as growth:
// generous, so that caches filling up and the allocator's own slack pass.
struct GrowthMargins {
  double handles = 40;
  double guiObjects = 40;
  double privateBytes = 8.0 * 1024 * 1024;
  // Handles and bytes the system itself keeps for each cycle, measured apart (0 on a
  // system that keeps none); allowed on top of the margin for every cycle
  // between the two means.
  double platformHandlesPerCycle = 0;
  double platformBytesPerCycle = 0;
};

// Compares the mean of the last fifth of the samples with the mean of the
// second fifth (the first is warm-up), prints both to stdout under the given
// name, and fails when a count grew by more than its margin. Private bytes
// compare the least of each fifth instead: buffers in flight when a sample is
// taken swing them by tens of MB, while what is kept raises the floor.
::testing::AssertionResult NoSteadyGrowth(const std::string& what,
                                          const std::vector<ResourceCounts>& samples,
                                          const GrowthMargins& margins = GrowthMargins());

// The growth per cycle that NoSteadyGrowth measures: the handles from the mean
// of the second fifth to the mean of the last fifth, the private bytes from the
// least of one to the least of the other, each divided by the cycles between.
// A series of fewer than 10 samples gives 0.
struct Growth {
  double handles = 0;
  double privateBytes = 0;
};
Growth GrowthPerCycle(const std::vector<ResourceCounts>& samples);

}  // namespace orba_test
