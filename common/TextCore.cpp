#include "orba/TextCore.h"

#include <cstdio>
#include <cstring>
#include <cwchar>
#include <vector>

namespace orba {

namespace {

size_t Length(const char* s) { return std::strlen(s); }
size_t Length(const wchar_t* s) { return std::wcslen(s); }

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

template <class C, class Expand>
RegistryTextStatus RegistryTextFromDataT(unsigned long type, const void* data, size_t bytes,
                                         Expand expand, C* buf, size_t cap) {
  if (!buf || cap == 0) return RegistryTextStatus::kTooLong;
  buf[0] = 0;
  if (type != kRegistryText && type != kRegistryExpandText) return RegistryTextStatus::kWrongType;

  // One spare character so that a value stored without its NUL is still
  // terminated; an odd last byte of a wide value is dropped.
  const size_t chars = data ? bytes / sizeof(C) : 0;
  std::vector<C> raw(chars + 1, 0);
  if (chars) std::memcpy(raw.data(), data, chars * sizeof(C));

  if (type == kRegistryExpandText) {
    if (!expand) return RegistryTextStatus::kExpandFailed;
    const unsigned long need = expand(raw.data(), nullptr, 0);
    if (need == 0) return RegistryTextStatus::kExpandFailed;
    std::vector<C> expanded(static_cast<size_t>(need) + 1, 0);
    const unsigned long wrote = expand(raw.data(), expanded.data(), need + 1);
    if (wrote == 0 || wrote > need + 1) return RegistryTextStatus::kTooLong;
    // The expansion is terminated within its buffer whatever expand did.
    expanded.back() = 0;
    return CopyBoundedT(buf, cap, expanded.data()) ? RegistryTextStatus::kOk
                                                   : RegistryTextStatus::kTooLong;
  }
  return CopyBoundedT(buf, cap, raw.data()) ? RegistryTextStatus::kOk
                                            : RegistryTextStatus::kTooLong;
}

}  // namespace

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

bool CopyBounded(char* dst, size_t cap, const char* src) { return CopyBoundedT(dst, cap, src); }
bool CopyBounded(wchar_t* dst, size_t cap, const wchar_t* src) {
  return CopyBoundedT(dst, cap, src);
}

bool IsAbsolutePath(const wchar_t* path) {
  if (!path) return false;
  const bool drive =
      ((path[0] >= L'A' && path[0] <= L'Z') || (path[0] >= L'a' && path[0] <= L'z')) &&
      path[1] == L':' && path[2] == L'\\';
  const bool unc = path[0] == L'\\' && path[1] == L'\\';
  return drive || unc;
}

RegistryTextStatus RegistryTextFromData(unsigned long type, const void* data, size_t bytes,
                                        ExpandTextFn expand, char* buf, size_t cap) {
  return RegistryTextFromDataT(type, data, bytes, expand, buf, cap);
}

RegistryTextStatus RegistryTextFromData(unsigned long type, const void* data, size_t bytes,
                                        ExpandWideTextFn expand, wchar_t* buf, size_t cap) {
  return RegistryTextFromDataT(type, data, bytes, expand, buf, cap);
}

}  // namespace orba
