#pragma once
#include <cstddef>

// The viewer's error box: no owner, title "Opticorva ORBA", error icon, OK,
// topmost (the viewer window itself is topmost). When the last open one closes,
// kErrorBoxClosedMessage is posted to the viewer window.
void ErrorBox(const char* fmt, ...) __attribute__((format(gnu_printf, 1, 2)));
// True while an error box is open (they are shown on the viewer's thread only).
bool ErrorBoxIsOpen();

constexpr size_t kErrorBoxBytes = 1024;
extern const char kErrorBoxTitle[];  // "Opticorva ORBA"
