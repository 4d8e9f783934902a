#pragma once
#include <cstddef>

// The viewer's error box: no owner, title "Opticorva ORBA", error icon, OK.
void ErrorBox(const char* fmt, ...) __attribute__((format(gnu_printf, 1, 2)));

constexpr size_t kErrorBoxBytes = 1024;
extern const char kErrorBoxTitle[];  // "Opticorva ORBA"
