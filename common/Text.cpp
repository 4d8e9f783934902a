#include "orba/Text.h"

#include <cstdio>
#include <cstring>
#include <cwchar>
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

namespace {

size_t Length(const char* s) { return std::strlen(s); }
size_t Length(const wchar_t* s) { return std::wcslen(s); }
LONG OpenKey(HKEY root, const char* sub, REGSAM sam, HKEY* out) {
  return RegOpenKeyExA(root, sub, 0, sam, out);
}
LONG OpenKey(HKEY root, const wchar_t* sub, REGSAM sam, HKEY* out) {
  return RegOpenKeyExW(root, sub, 0, sam, out);
}
LONG QueryValue(HKEY key, const char* name, DWORD* type, BYTE* data, DWORD* size) {
  return RegQueryValueExA(key, name, nullptr, type, data, size);
}
LONG QueryValue(HKEY key, const wchar_t* name, DWORD* type, BYTE* data, DWORD* size) {
  return RegQueryValueExW(key, name, nullptr, type, data, size);
}
DWORD Expand(const char* src, char* dst, DWORD chars) {
  return ExpandEnvironmentStringsA(src, dst, chars);
}
DWORD Expand(const wchar_t* src, wchar_t* dst, DWORD chars) {
  return ExpandEnvironmentStringsW(src, dst, chars);
}

template <class C>
bool CopyBoundedT(C* dst, size_t cap, const C* src) {
  if (!dst || cap == 0) return false;
  const size_t len = src ? Length(src) : 0;
  if (len >= cap) {
    dst[0] = 0;
    return false;
  }
  if (src) std::memcpy(dst, src, len * sizeof(C));
  dst[len] = 0;
  return true;
}

template <class C>
LONG ReadRegistryStringT(HKEY root, const C* subkey, const C* value, REGSAM view, C* buf,
                         size_t cap) {
  if (!buf || cap == 0) return ERROR_INVALID_PARAMETER;
  buf[0] = 0;
  ScopedHKEY key;
  LONG rc = OpenKey(root, subkey, KEY_QUERY_VALUE | view, key.Put());
  if (rc != ERROR_SUCCESS) return rc;

  DWORD type = 0;
  DWORD size = 0;
  rc = QueryValue(key.Get(), value, &type, nullptr, &size);
  if (rc != ERROR_SUCCESS) return rc;
  if (type != REG_SZ && type != REG_EXPAND_SZ) return ERROR_INVALID_DATATYPE;

  // One spare character so that a value stored without its NUL is still terminated.
  std::vector<C> raw(size / sizeof(C) + 2, 0);
  DWORD got = size;
  rc = QueryValue(key.Get(), value, &type, reinterpret_cast<BYTE*>(raw.data()), &got);
  if (rc != ERROR_SUCCESS) return rc;
  const size_t chars = got / sizeof(C);
  raw[chars < raw.size() ? chars : raw.size() - 1] = 0;

  if (type == REG_EXPAND_SZ) {
    const DWORD need = Expand(raw.data(), nullptr, 0);
    if (need == 0) return static_cast<LONG>(GetLastError());
    std::vector<C> expanded(need + 1, 0);
    const DWORD wrote = Expand(raw.data(), expanded.data(), need + 1);
    if (wrote == 0 || wrote > need + 1) return ERROR_MORE_DATA;
    return CopyBoundedT(buf, cap, expanded.data()) ? ERROR_SUCCESS : ERROR_MORE_DATA;
  }
  return CopyBoundedT(buf, cap, raw.data()) ? ERROR_SUCCESS : ERROR_MORE_DATA;
}

}  // namespace

bool CopyBounded(char* dst, size_t cap, const char* src) { return CopyBoundedT(dst, cap, src); }
bool CopyBounded(wchar_t* dst, size_t cap, const wchar_t* src) {
  return CopyBoundedT(dst, cap, src);
}

bool FormatBoundedW(wchar_t* buf, size_t cap, const wchar_t* fmt, ...) {
  if (!buf || cap == 0) return false;
  va_list args;
  va_start(args, fmt);
  const int n = std::vswprintf(buf, cap, fmt, args);
  va_end(args);
  if (n < 0 || static_cast<size_t>(n) >= cap) {
    buf[0] = L'\0';
    return false;
  }
  return true;
}

LONG ReadRegistryString(HKEY root, const char* subkey, const char* value, char* buf,
                        size_t cap) {
  return ReadRegistryStringT(root, subkey, value, 0, buf, cap);
}

LONG ReadRegistryString(HKEY root, const wchar_t* subkey, const wchar_t* value, REGSAM view,
                        wchar_t* buf, size_t cap) {
  return ReadRegistryStringT(root, subkey, value, view, buf, cap);
}

bool IsAbsolutePath(const wchar_t* path) {
  if (!path) return false;
  const bool drive = ((path[0] >= L'A' && path[0] <= L'Z') || (path[0] >= L'a' && path[0] <= L'z')) &&
                     path[1] == L':' && path[2] == L'\\';
  const bool unc = path[0] == L'\\' && path[1] == L'\\';
  return drive || unc;
}

HMODULE LoadLibraryByFullPath(const wchar_t* path) {
  if (!IsAbsolutePath(path)) return nullptr;
  // The restricted search flags exist where kernel32 has AddDllDirectory
  // (Windows 8, and 7 and Vista with the update); elsewhere the DLL's own
  // folder replaces the program's folder in the search.
  static const bool searchFlags =
      GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "AddDllDirectory") != nullptr;
  if (searchFlags) {
    return LoadLibraryExW(path, nullptr,
                          LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32);
  }
  return LoadLibraryExW(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
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
