#pragma once
// Which ZoomText runs, in which version, and where a usable one is installed.
// Everything here only reads: the registry, named mutexes, top-level windows and
// whether one file opens.
#include <windows.h>

#include <cstddef>
#include <cstdint>

#include "orba/Scoped.h"

namespace zoomtext {

// Answers of the command path, shared by detection, the command set and the client.
enum : int {
  kPathOk = 0,
  kNoUsableInstall = 200,
  kNoRegistryRoot = 201,
  kTooOld = 202,
  kNotRunning = 203,
  kCommandNotAllowed = 204,
  kNoLibrary = 205,
  kNotInProductLevel = 206,
};

constexpr size_t kTextChars = 260;

// Values of ZoomText's Settings\Reader keys.
inline constexpr wchar_t kProgramDirectoryValue[] = L"Program Directory";
inline constexpr wchar_t kSoftwareVersionValue[] = L"Software Version";
inline constexpr wchar_t kProductLevelValue[] = L"Product Level";
// ZoomText's program folder and version text; one pair for each module.
extern wchar_t ZoomTextProgramDirectory[kTextChars];
extern wchar_t ZoomTextVersionText[kTextChars];

struct Version {
  int major;
  int minor;
};

// 10, 9 or 8 for the mutex families; 1, 5, 6, 7 for the older window
// families; 0 when no ZoomText runs.
int DetectRunningZoomText();

// 0 when the running ZoomText answers a version of at least the minimum; 202
// when it runs but is older (or has no main window); 203 when it does not run
// or does not answer. major and minor (optional) receive the answered version.
int GetRunningZoomTextVersion(Version minimum, int* major, int* minor);

// Finds the newest usable installation (LastRun first) and fills the two
// shared texts and the product level; 0, 200 or 201.
int FindInstalledZoomText(Version minimum, DWORD minimumLevel, DWORD* productLevel);

// "Software Version" below a version key as major * 100 + minor; 0 when
// unreadable or not a version.
int ReadZoomTextKeyVersion(HKEY versionKey);
int ReadZoomTextKeyVersion(HKEY parent, const wchar_t* name);

orba::ScopedHKEY OpenUsableZoomTextKey(HKEY xtraKey, const wchar_t* name, Version minimum,
                                       DWORD minimumLevel);
// Keeps the newer of the two (the candidate on a tie); the other is closed.
orba::ScopedHKEY PreferNewerZoomTextKey(orba::ScopedHKEY candidate, orba::ScopedHKEY best,
                                        Version minimum);

// "9.18" -> 918, "10.2" -> 1002; 0 for a text without a dot or without digits.
int ParseZoomTextVersion(const wchar_t* text);
// Copies text up to (not including) its second dot; false when it does not fit.
bool CutAtSecondDot(const wchar_t* text, wchar_t* out, size_t outChars);

bool IsWindowsXP();
// 0 unknown, 1 32-bit x86 Windows, 2 64-bit x64 Windows.
int GetWindowsArchitecture();
// KEY_WOW64_32KEY on 64-bit Windows: ZoomText is a 32-bit program and keeps its
// keys in that view. 0 elsewhere.
REGSAM ZoomTextRegistryView();

// A REG_DWORD value of key\subkey opened with view added; false (and out
// untouched) when missing or of another type or size.
bool QueryRegistryDword(HKEY key, const wchar_t* subkey, const wchar_t* value, REGSAM view,
                        DWORD* out);

// Below HKEY_LOCAL_MACHINE-rooted keys given by the caller, in ZoomText's view.
DWORD ReadRegistryDword(HKEY key, const wchar_t* subkey, const wchar_t* value, DWORD fallback);
// 0 when read; 1 when the fallback was copied (missing, wrong type, too long).
int ReadRegistryText(HKEY key, const wchar_t* subkey, const wchar_t* value, const wchar_t* fallback,
                     wchar_t* buffer, size_t bufferBytes);
bool FileCanBeOpened(const wchar_t* path, bool write);

}  // namespace zoomtext
