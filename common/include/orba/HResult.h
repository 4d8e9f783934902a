#pragma once
// HRESULT helpers that leave a trace (file and line) in the diagnostic log.
#include <windows.h>

namespace orba {
void LogFailure(const char* file, int line, const char* what, HRESULT hr);
}  // namespace orba

#define ORBA_HR_LOG(hr, what) ::orba::LogFailure(__FILE__, __LINE__, (what), (hr))

// Returns the failing HRESULT of expr to the caller.
#define RETURN_IF_FAILED(expr)            \
  do {                                    \
    const HRESULT orba_hr_ = (expr);      \
    if (FAILED(orba_hr_)) {               \
      ORBA_HR_LOG(orba_hr_, #expr);       \
      return orba_hr_;                    \
    }                                     \
  } while (0)

// Logs a failing HRESULT and yields it for the caller to look at.
#define LOG_IF_FAILED(expr)                                              \
  ([&]() -> HRESULT {                                                    \
    const HRESULT orba_hr_ = (expr);                                     \
    if (FAILED(orba_hr_)) ORBA_HR_LOG(orba_hr_, #expr);                  \
    return orba_hr_;                                                     \
  }())

#define RETURN_HR_IF(hr, cond)            \
  do {                                    \
    if (cond) {                           \
      ORBA_HR_LOG((hr), #cond);           \
      return (hr);                        \
    }                                     \
  } while (0)

#define RETURN_HR_IF_NULL(hr, ptr) RETURN_HR_IF((hr), (ptr) == nullptr)

// For Win32 calls that report through GetLastError.
#define RETURN_LAST_ERROR_IF(cond)                                        \
  do {                                                                    \
    if (cond) {                                                           \
      const DWORD orba_err_ = GetLastError();                             \
      const HRESULT orba_hr_ = orba_err_ ? HRESULT_FROM_WIN32(orba_err_)  \
                                         : E_FAIL;                        \
      ORBA_HR_LOG(orba_hr_, #cond);                                       \
      return orba_hr_;                                                    \
    }                                                                     \
  } while (0)
