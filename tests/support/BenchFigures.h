#pragma once
// What the benchmarks share: a clock in seconds, and a figure measured over
// several runs, given as its median and its spread (largest minus smallest).
#include <windows.h>

#include <algorithm>
#include <vector>

namespace orba_test {

inline double BenchSeconds() {
  LARGE_INTEGER f, c;
  QueryPerformanceFrequency(&f);
  QueryPerformanceCounter(&c);
  return static_cast<double>(c.QuadPart) / static_cast<double>(f.QuadPart);
}

struct BenchFigure {
  std::vector<double> values;
  double Median() const {
    std::vector<double> v = values;
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
  }
  double Spread() const {
    if (values.empty()) return 0;
    const auto mm = std::minmax_element(values.begin(), values.end());
    return *mm.second - *mm.first;
  }
};

}  // namespace orba_test
