#include "ErrorBox.h"

#include <windows.h>

#include <cstdarg>
#include <cstdio>

const char kErrorBoxTitle[] = "Opticorva ORBA";

void ErrorBox(const char* fmt, ...) {
  // A long text is cut at 1,023 characters; vsnprintf always terminates.
  char text[kErrorBoxBytes];
  va_list args;
  va_start(args, fmt);
  if (std::vsnprintf(text, sizeof text, fmt, args) < 0) text[0] = '\0';
  va_end(args);
  MessageBoxA(nullptr, text, kErrorBoxTitle, MB_ICONERROR | MB_OK);
}
