#include "orba/Text.h"

#include <cstdio>
#include <cstring>
#include <vector>

#include "orba/Scoped.h"

namespace orba {

bool FormatBoundedV(char* buf, size_t cap, const char* fmt, va_list args) {
  if (!buf || cap == 0) return false;
  const int n = std::vsnprintf(buf, cap, fmt, args);
  if (n < 0 || static_cast<size_t>(n) >= cap) {
    buf[0] = '\0';
    return false;
  }
  return true;
}

bool FormatBounded(char* buf, size_t cap, const char* fmt, ...) {
  va_list args;
  va_start(args, fmt);
  const bool ok = FormatBoundedV(buf, cap, fmt, args);
  va_end(args);
  return ok;
}

bool CopyBounded(char* dst, size_t cap, const char* src) {
  if (!dst || cap == 0) return false;
  const size_t len = src ? std::strlen(src) : 0;
  if (len >= cap) {
    dst[0] = '\0';
    return false;
  }
  std::memcpy(dst, src ? src : "", len + 1);
  return true;
}

LONG ReadRegistryString(HKEY root, const char* subkey, const char* value, char* buf,
                        size_t cap) {
  if (!buf || cap == 0) return ERROR_INVALID_PARAMETER;
  buf[0] = '\0';
  ScopedHKEY key;
  LONG rc = RegOpenKeyExA(root, subkey, 0, KEY_QUERY_VALUE, key.Put());
  if (rc != ERROR_SUCCESS) return rc;

  DWORD type = 0;
  DWORD size = 0;
  rc = RegQueryValueExA(key.Get(), value, nullptr, &type, nullptr, &size);
  if (rc != ERROR_SUCCESS) return rc;
  if (type != REG_SZ && type != REG_EXPAND_SZ) return ERROR_INVALID_DATATYPE;

  // One spare byte so that a value stored without its NUL is still terminated.
  std::vector<char> raw(static_cast<size_t>(size) + 1, '\0');
  DWORD got = size;
  rc = RegQueryValueExA(key.Get(), value, nullptr, &type,
                        reinterpret_cast<BYTE*>(raw.data()), &got);
  if (rc != ERROR_SUCCESS) return rc;
  raw[got < raw.size() ? got : raw.size() - 1] = '\0';

  if (type == REG_EXPAND_SZ) {
    const DWORD need = ExpandEnvironmentStringsA(raw.data(), nullptr, 0);
    if (need == 0) return static_cast<LONG>(GetLastError());
    std::vector<char> expanded(need + 1, '\0');
    const DWORD wrote = ExpandEnvironmentStringsA(raw.data(), expanded.data(), need + 1);
    if (wrote == 0 || wrote > need + 1) return ERROR_MORE_DATA;
    return CopyBounded(buf, cap, expanded.data()) ? ERROR_SUCCESS : ERROR_MORE_DATA;
  }
  return CopyBounded(buf, cap, raw.data()) ? ERROR_SUCCESS : ERROR_MORE_DATA;
}

void FormatTimeStamp(const SYSTEMTIME& t, char (&out)[kTimeStampBytes]) {
  // Same text as strftime("%y%m%d_%H.%M.%S") of the local time.
  std::snprintf(out, sizeof out, "%02u%02u%02u_%02u.%02u.%02u", t.wYear % 100u, t.wMonth,
                t.wDay, t.wHour, t.wMinute, t.wSecond);
}

void FormatTimeStampNow(char (&out)[kTimeStampBytes]) {
  SYSTEMTIME now;
  GetLocalTime(&now);
  FormatTimeStamp(now, out);
}

}  // namespace orba
