#include "orba/Text.h"

#include <cstdio>
#include <vector>

#include "orba/Scoped.h"

namespace orba {

static_assert(kRegistryText == REG_SZ && kRegistryExpandText == REG_EXPAND_SZ,
              "the registry's text types");

namespace {

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

  std::vector<BYTE> raw(size, 0);
  DWORD got = size;
  rc = QueryValue(key.Get(), value, &type, raw.data(), &got);
  if (rc != ERROR_SUCCESS) return rc;
  switch (RegistryTextFromData(type, raw.data(), got, Expand, buf, cap)) {
    case RegistryTextStatus::kOk:
      return ERROR_SUCCESS;
    case RegistryTextStatus::kWrongType:
      return ERROR_INVALID_DATATYPE;
    case RegistryTextStatus::kExpandFailed:
      return static_cast<LONG>(GetLastError());
    case RegistryTextStatus::kTooLong:
      break;
  }
  return ERROR_MORE_DATA;
}

}  // namespace

LONG ReadRegistryString(HKEY root, const char* subkey, const char* value, char* buf, size_t cap) {
  return ReadRegistryStringT(root, subkey, value, 0, buf, cap);
}

LONG ReadRegistryString(HKEY root, const wchar_t* subkey, const wchar_t* value, REGSAM view,
                        wchar_t* buf, size_t cap) {
  return ReadRegistryStringT(root, subkey, value, view, buf, cap);
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

bool AnsiToWide(const char* text, wchar_t* out, size_t cap) {
  if (!out || cap == 0) return false;
  out[0] = L'\0';
  if (!text) return false;
  const int n =
      MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, text, -1, out, static_cast<int>(cap));
  if (n <= 0) {
    out[0] = L'\0';
    return false;
  }
  return true;
}

bool WideToAnsi(const wchar_t* text, char* out, size_t cap) {
  if (!out || cap == 0) return false;
  out[0] = '\0';
  if (!text) return false;
  // A character the code page cannot hold would name another folder.
  BOOL usedDefault = FALSE;
  const bool utf8 = GetACP() == CP_UTF8;
  // UTF-8 holds every character; WideCharToMultiByte refuses both the flag and
  // the default-character question for it.
  const int n = WideCharToMultiByte(CP_ACP, utf8 ? 0 : WC_NO_BEST_FIT_CHARS, text, -1, out,
                                    static_cast<int>(cap), nullptr, utf8 ? nullptr : &usedDefault);
  if (n <= 0 || usedDefault) {
    out[0] = '\0';
    return false;
  }
  return true;
}

void FormatTimeStamp(const SYSTEMTIME& t, char (&out)[kTimeStampBytes]) {
  // Same text as strftime("%y%m%d_%H.%M.%S") of the local time.
  std::snprintf(out, sizeof out, "%02u%02u%02u_%02u.%02u.%02u", t.wYear % 100u, t.wMonth, t.wDay,
                t.wHour, t.wMinute, t.wSecond);
}

void FormatTimeStampNow(char (&out)[kTimeStampBytes]) {
  SYSTEMTIME now;
  GetLocalTime(&now);
  FormatTimeStamp(now, out);
}

}  // namespace orba
