#pragma once
// The size of the filter's path buffers.
#include <cstddef>

namespace orba_filter {

// Paths of the filter are ANSI texts in buffers of this size.
constexpr size_t kPathBytes = 1000;

}  // namespace orba_filter
