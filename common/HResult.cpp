#include "orba/HResult.h"

#include <cstring>

#include "orba/Log.h"

namespace orba {

void LogFailure(const char* file, int line, const char* what, HRESULT hr) {
  // Only the file name: build paths are long and the line buffer is short.
  const char* base = file;
  for (const char* p = file; *p; ++p) {
    if (*p == '/' || *p == '\\') base = p + 1;
  }
  DebugLine("%s(%d): %s failed hr=0x%08lx", base, line, what, static_cast<unsigned long>(hr));
}

}  // namespace orba
