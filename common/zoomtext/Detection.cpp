#include "orba/zoomtext/Detection.h"

#include <cwchar>

#include "orba/Text.h"
#include "orba/zoomtext/System.h"

namespace zoomtext {

wchar_t ZoomTextProgramDirectory[kTextChars];
wchar_t ZoomTextVersionText[kTextChars];

namespace {

const wchar_t kAiSquaredKey[] = L"Software\\Ai Squared";
const wchar_t kXtraKey[] = L"Software\\Ai Squared\\ZoomText Xtra";
const wchar_t kReaderSubkey[] = L"Settings\\Reader";
const wchar_t kCdVersion[] = L"CD Version";

constexpr int kMaxVersionDigits = 4;

// Up to kMaxVersionDigits decimal digits at *p; -1 when there is none or more.
int ReadNumber(const wchar_t*& p) {
  int value = 0;
  int digits = 0;
  while (*p >= L'0' && *p <= L'9') {
    if (++digits > kMaxVersionDigits) return -1;
    value = value * 10 + (*p - L'0');
    ++p;
  }
  return digits ? value : -1;
}

bool QueryDword(HKEY key, const wchar_t* subkey, const wchar_t* value, DWORD* out) {
  return QueryRegistryDword(key, subkey, value, ZoomTextRegistryView(), out);
}

bool ReadText(HKEY key, const wchar_t* subkey, const wchar_t* value, wchar_t* buffer,
              size_t chars) {
  return orba::ReadRegistryString(key, subkey, value, ZoomTextRegistryView(), buffer, chars) ==
         ERROR_SUCCESS;
}

const wchar_t* MainWindowClass(int code) {
  switch (code) {
    case 8:
      return L"ZT8MainWindow";
    case 9:
      return L"Zt9MainWindow";
    case 10:
      return L"Zt10MainWindow";
    default:
      return nullptr;
  }
}

}  // namespace

int ParseZoomTextVersion(const wchar_t* text) {
  if (!text) return 0;
  const wchar_t* p = text;
  const int major = ReadNumber(p);
  if (major < 0 || *p != L'.') return 0;
  ++p;
  const int minor = ReadNumber(p);
  if (minor < 0) return 0;
  return major * 100 + minor;
}

bool CutAtSecondDot(const wchar_t* text, wchar_t* out, size_t outChars) {
  if (!out || outChars == 0) return false;
  out[0] = L'\0';
  if (!text) return true;
  const wchar_t* first = std::wcschr(text, L'.');
  const wchar_t* second = first ? std::wcschr(first + 1, L'.') : nullptr;
  const size_t len = second ? static_cast<size_t>(second - text) : std::wcslen(text);
  if (len >= outChars) return false;
  std::wmemcpy(out, text, len);
  out[len] = L'\0';
  return true;
}

int DetectRunningZoomText() {
  System& system = CurrentSystem();
  if (system.MutexExists(L"zxMutex100")) return 10;
  if (system.MutexExists(L"zxMutex9")) return 9;
  if (system.MutexExists(L"zxMutex8")) return 8;
  if (system.FindTopLevelWindow(L"Ztwin", L"Ztwin")) return 1;
  if (system.FindTopLevelWindow(L"Ztwin", nullptr)) return 5;
  if (system.FindTopLevelWindow(L"Zxwin", nullptr)) return 6;
  if (system.FindTopLevelWindow(L"ZXWIN32", nullptr)) return 7;
  return 0;
}

int GetRunningZoomTextVersion(Version minimum, int* major, int* minor) {
  const UINT message = RegisterWindowMessageW(L"WM_GETVER_ZXP");
  const int code = DetectRunningZoomText();
  int32_t word = code;
  int result = -1;
  if (code >= minimum.major) {
    const wchar_t* windowClass = MainWindowClass(code);
    const HWND window =
        windowClass ? CurrentSystem().FindTopLevelWindow(windowClass, nullptr) : nullptr;
    if (window && message) {
      word = static_cast<int32_t>(CurrentSystem().SendQuery(window, message));
      const int32_t least = static_cast<int32_t>((static_cast<uint32_t>(minimum.major) << 24) |
                                                 (static_cast<uint32_t>(minimum.minor) << 16));
      if (word >= least) result = kPathOk;
    }
  }
  if (result != kPathOk) result = word > 0 ? kTooOld : kNotRunning;
  if (major) *major = static_cast<int>((static_cast<uint32_t>(word) >> 24) & 0xFF);
  if (minor) *minor = static_cast<int>((static_cast<uint32_t>(word) >> 16) & 0xFF);
  return result;
}

int ReadZoomTextKeyVersion(HKEY versionKey) {
  wchar_t text[150];  // 300 bytes
  if (!ReadText(versionKey, kReaderSubkey, kSoftwareVersionValue, text, 150)) return 0;
  return ParseZoomTextVersion(text);
}

int ReadZoomTextKeyVersion(HKEY parent, const wchar_t* name) {
  wchar_t path[kTextChars];
  if (!name || !orba::FormatBoundedW(path, kTextChars, L"%ls\\%ls", name, kReaderSubkey)) return 0;
  wchar_t text[300];  // 600 bytes
  if (!ReadText(parent, path, kSoftwareVersionValue, text, 300)) return 0;
  return ParseZoomTextVersion(text);
}

orba::ScopedHKEY OpenUsableZoomTextKey(HKEY xtraKey, const wchar_t* name, Version minimum,
                                       DWORD minimumLevel) {
  orba::ScopedHKEY none;
  if (ReadZoomTextKeyVersion(xtraKey, name) < minimum.major * 100 + minimum.minor) return none;

  wchar_t reader[kTextChars];
  if (!orba::FormatBoundedW(reader, kTextChars, L"%ls\\%ls", name, kReaderSubkey)) return none;
  wchar_t folder[kTextChars];
  if (!ReadText(xtraKey, reader, kProgramDirectoryValue, folder, kTextChars)) return none;
  wchar_t program[kTextChars];
  if (!orba::FormatBoundedW(program, kTextChars, L"%ls\\%ls", folder, L"zt.exe") ||
      !FileCanBeOpened(program, false)) {
    return none;
  }

  orba::ScopedHKEY key;
  if (RegOpenKeyExW(xtraKey, name, 0, KEY_QUERY_VALUE | ZoomTextRegistryView(), key.Put()) !=
      ERROR_SUCCESS) {
    return none;
  }
  if (ReadRegistryDword(xtraKey, reader, kProductLevelValue, 0) < minimumLevel) return none;
  return key;
}

orba::ScopedHKEY PreferNewerZoomTextKey(orba::ScopedHKEY candidate, orba::ScopedHKEY best,
                                        Version minimum) {
  const int a = candidate ? ReadZoomTextKeyVersion(candidate.Get()) : 0;
  const int b = best ? ReadZoomTextKeyVersion(best.Get()) : 0;
  const int least = minimum.major * 100 + minimum.minor;
  if (a < least && b < least) return orba::ScopedHKEY();
  return a < b ? std::move(best) : std::move(candidate);
}

int FindInstalledZoomText(Version minimum, DWORD minimumLevel, DWORD* productLevel) {
  const REGSAM view = ZoomTextRegistryView();
  orba::ScopedHKEY root;
  orba::ScopedHKEY xtra;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kAiSquaredKey, 0, KEY_QUERY_VALUE | view, root.Put()) !=
          ERROR_SUCCESS ||
      RegOpenKeyExW(HKEY_LOCAL_MACHINE, kXtraKey, 0,
                    KEY_QUERY_VALUE | KEY_ENUMERATE_SUB_KEYS | view, xtra.Put()) != ERROR_SUCCESS) {
    return kNoRegistryRoot;
  }

  orba::ScopedHKEY kept;
  DWORD lastRun = 0;
  if (QueryDword(root.Get(), nullptr, L"LastRun", &lastRun) &&
      static_cast<int32_t>(lastRun) >=
          static_cast<int32_t>(static_cast<uint32_t>(minimum.major) << 16)) {
    wchar_t name[32];
    if (orba::FormatBoundedW(name, 32, L"%u.%u", static_cast<unsigned>(HIWORD(lastRun)),
                             static_cast<unsigned>((lastRun >> 8) & 0xFF))) {
      kept = OpenUsableZoomTextKey(xtra.Get(), name, minimum, minimumLevel);
    }
  }
  if (!kept) {
    for (DWORD index = 0;; ++index) {
      wchar_t name[kTextChars];
      DWORD nameChars = kTextChars;
      if (RegEnumKeyExW(xtra.Get(), index, name, &nameChars, nullptr, nullptr, nullptr, nullptr) !=
          ERROR_SUCCESS) {
        break;
      }
      kept = PreferNewerZoomTextKey(OpenUsableZoomTextKey(xtra.Get(), name, minimum, minimumLevel),
                                    std::move(kept), minimum);
    }
  }
  if (!kept) return kNoUsableInstall;

  ReadRegistryText(kept.Get(), kReaderSubkey, kProgramDirectoryValue, L"", ZoomTextProgramDirectory,
                   sizeof ZoomTextProgramDirectory);
  ReadRegistryText(kept.Get(), kReaderSubkey, kCdVersion, L"", ZoomTextVersionText,
                   sizeof ZoomTextVersionText);
  const DWORD level = ReadRegistryDword(kept.Get(), kReaderSubkey, kProductLevelValue, 0);
  if (productLevel) *productLevel = level;
  return kPathOk;
}

bool IsWindowsXP() { return CurrentSystem().IsWindowsXP(); }

int GetWindowsArchitecture() {
  SYSTEM_INFO info = {};
  GetSystemInfo(&info);
  if (info.wProcessorArchitecture == PROCESSOR_ARCHITECTURE_AMD64) return 2;
  if (info.wProcessorArchitecture != PROCESSOR_ARCHITECTURE_INTEL) return 0;

  // A 32-bit process on 64-bit Windows sees x86 here; ask the native system.
  static int wow64 = -1;
  if (wow64 < 0) {
    using IsWow64Fn = BOOL(WINAPI*)(HANDLE, PBOOL);
    const HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    const auto isWow64 = reinterpret_cast<IsWow64Fn>(
        reinterpret_cast<void*>(GetProcAddress(kernel, "IsWow64Process")));
    BOOL yes = FALSE;
    wow64 = (isWow64 && isWow64(GetCurrentProcess(), &yes) && yes) ? 1 : 0;
  }
  if (wow64 == 1) {
    using NativeInfoFn = void(WINAPI*)(LPSYSTEM_INFO);
    const auto native = reinterpret_cast<NativeInfoFn>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "GetNativeSystemInfo")));
    if (native) {
      SYSTEM_INFO nativeInfo = {};
      native(&nativeInfo);
      if (nativeInfo.wProcessorArchitecture == PROCESSOR_ARCHITECTURE_AMD64) return 2;
    }
  }
  return 1;
}

bool QueryRegistryDword(HKEY key, const wchar_t* subkey, const wchar_t* value, REGSAM view,
                        DWORD* out) {
  orba::ScopedHKEY sub;
  if (RegOpenKeyExW(key, subkey, 0, KEY_QUERY_VALUE | view, sub.Put()) != ERROR_SUCCESS) {
    return false;
  }
  DWORD type = 0;
  DWORD data = 0;
  DWORD size = sizeof data;
  const LONG rc =
      RegQueryValueExW(sub.Get(), value, nullptr, &type, reinterpret_cast<BYTE*>(&data), &size);
  if (rc != ERROR_SUCCESS || type != REG_DWORD || size != sizeof data) {
    SetLastError(rc != ERROR_SUCCESS ? static_cast<DWORD>(rc) : ERROR_INVALID_DATATYPE);
    return false;
  }
  *out = data;
  return true;
}

REGSAM ZoomTextRegistryView() { return GetWindowsArchitecture() == 2 ? KEY_WOW64_32KEY : 0; }

DWORD ReadRegistryDword(HKEY key, const wchar_t* subkey, const wchar_t* value, DWORD fallback) {
  DWORD data = 0;
  return QueryDword(key, subkey, value, &data) ? data : fallback;
}

int ReadRegistryText(HKEY key, const wchar_t* subkey, const wchar_t* value, const wchar_t* fallback,
                     wchar_t* buffer, size_t bufferBytes) {
  const size_t chars = bufferBytes / sizeof(wchar_t);
  if (!buffer || chars == 0) return 1;
  if (ReadText(key, subkey, value, buffer, chars)) return 0;
  // The fallback is cut to the buffer; only the shared texts' empty one is used.
  const size_t len = fallback ? std::wcslen(fallback) : 0;
  const size_t copy = len < chars ? len : chars - 1;
  if (copy) std::wmemcpy(buffer, fallback, copy);
  buffer[copy] = L'\0';
  return 1;
}

bool FileCanBeOpened(const wchar_t* path, bool write) {
  if (!orba::IsAbsolutePath(path)) return false;
  orba::ScopedHandle file(CreateFileW(path, write ? GENERIC_READ | GENERIC_WRITE : GENERIC_READ,
                                      FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
  return static_cast<bool>(file);
}

}  // namespace zoomtext
