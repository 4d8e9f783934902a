#include "orba/zoomtext/CctvClient.h"

#include <cstring>
#include <new>

#include "orba/ZoomTextCctv.h"
#include "orba/zoomtext/EmulationSwitch.h"
#include "orba/zoomtext/ProgramSettings.h"
#include "orba/zoomtext/System.h"

namespace zoomtext {

bool ZoomTextCctvClient::SetMinimumVersion(int major, int minor) {
  if (major < 8 || (major == 8 && minor < 0)) return false;
  minimum_ = {major, minor};
  return true;
}

int ZoomTextCctvClient::Execute(int n, ZxParam parameter, ZxParam extra) {
  if (n < 1 || n > 83) return kCommandNotAllowed;

  int major = 0;
  int minor = 0;
  int answer = GetRunningZoomTextVersion(minimum_, &major, &minor);
  if (answer == kPathOk) {
    std::unique_ptr<ProgramSettingsInterface> settings(CreateZoomTextSettings(major, minor, 0));
    if (!settings) return kTooOld;
    // A value that cannot be read leaves what is known.
    settings->GetProgramDirectory(ZoomTextProgramDirectory, sizeof ZoomTextProgramDirectory);
    wchar_t version[kTextChars];
    if (settings->GetSoftwareVersion(version, sizeof version)) {
      wchar_t cut[kTextChars];
      if (CutAtSecondDot(version, cut, kTextChars)) std::wcscpy(ZoomTextVersionText, cut);
    }
    settings->GetProductLevel(&productLevel_);
  } else if (answer == kNotRunning) {
    if (!ZoomTextProgramDirectory[0]) {
      answer = FindInstalledZoomText(minimum_, 0, &productLevel_);
      if (answer != kPathOk) return answer;
    }
  } else {
    return answer;
  }

  commandSet_.reset(new (std::nothrow) ZxCmdSetInterface);
  if (!commandSet_) return kNoLibrary;
  answer = commandSet_->Initialize(ZoomTextProgramDirectory);
  if (answer != kPathOk) return answer;

  const int allowed = CheckCommandAllowed(n);
  commandSet_->SetVersionCheck(0);
  if (allowed != kPathOk) return allowed;
  return Send(n, parameter, extra);
}

int ZoomTextCctvClient::CheckCommandAllowed(int n) {
  if (!commandSet_) return kNoLibrary;
  if (commandSet_->ZoomTextVersionRunning() <= 0) return n == 1 ? kPathOk : kNotRunning;
  if (n == 1) return kCommandNotAllowed;  // ZoomText runs already

  static const int kWhileOff[] = {2, 3, 20, 21, 62, 73, 75, 77, 78, 80, 83};
  bool whileOff = false;
  for (int allowed : kWhileOff) whileOff |= allowed == n;
  if (!whileOff && commandSet_->ZxCommandApi(214, 0) == 0) return kCommandNotAllowed;

  const bool fullProductOnly =
      (n >= 12 && n <= 15) || (n >= 34 && n <= 47) || n == 60 || n == 61 || (n >= 63 && n <= 69);
  if (fullProductOnly && productLevel_ == 1) return kNotInProductLevel;
  return kPathOk;
}

int ZoomTextCctvClient::Send(int n, ZxParam parameter, ZxParam extra) {
  ZxCmdSetInterface& set = *commandSet_;
  switch (n) {
    case 1:
      return set.Start();
    case 2:
      return set.ToggleEnable();
    case 9:
      return set.DesktopFinder();
    case 10:
      return set.WebFinder();
    case 11:
      return set.TextFinder();
    case 15:
      return set.SendCommand(74, 1);
    case 16:
      return set.SendCommand(58, 1);
    case 20: {
      if (!parameter) return kPathOk;
      auto* cell = reinterpret_cast<uint32_t*>(parameter);
      *cell = 0;
      const int state = set.ZxCommandApi(214, 0);
      if (state == kNoLibrary) return kNoLibrary;
      *cell = static_cast<uint32_t>(state);
      return kPathOk;
    }
    case 25:
      return set.SendStateDependentCommand();
    case 73:
      return parameter ? set.SendCommand(static_cast<int>(parameter), extra) : kCommandNotAllowed;
    default: {
      int code = 0;
      if (!LookUpZoomTextCommand(n, &code)) return kCommandNotAllowed;
      return set.SendCommand(code, parameter);
    }
  }
}

int MapClientResult(int context, int answer) {
  switch (answer) {
    case kNoUsableInstall:
      return ZTCCTV_ERROR_NOT_INSTALLED;
    case kNoRegistryRoot:
      return ZTCCTV_ERROR_NO_REGISTRY;
    case kTooOld:
      return ZTCCTV_ERROR_TOO_OLD;
    case kNotRunning:
      return ZTCCTV_ERROR_NOT_RUNNING;
    case kNoLibrary:
      return ZTCCTV_ERROR_NO_LIBRARY;
    case kCommandNotAllowed:
      return (context == 1 || context == 3) ? ZTCCTV_ERROR_NOT_ALLOWED_AREA
                                            : ZTCCTV_ERROR_UNEXPECTED;
    default:
      return ZTCCTV_ERROR_UNEXPECTED;
  }
}

bool IsCctvAreaRectValid(const RECT* rect, RECT* clipped) {
  if (!rect || !clipped) return false;
  SetRectEmpty(clipped);
  const RECT screen = {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
  if (IsRectEmpty(rect) || !IntersectRect(clipped, rect, &screen)) {
    SetRectEmpty(clipped);
    return false;
  }
  const int onEdges = (clipped->left == screen.left) + (clipped->top == screen.top) +
                      (clipped->right == screen.right) + (clipped->bottom == screen.bottom);
  return onEdges >= 3;
}

}  // namespace zoomtext

using namespace zoomtext;

namespace {

#pragma pack(push, 4)
struct AreaBlock {
  uint32_t slot;
  CctvSetArea record;
};
struct Area2Block {
  uint32_t slot;
  CctvSetArea2 record;
};
struct RemoveBlock {
  uint32_t slot;
  uint32_t zero;
  uint32_t owner;
  uint8_t rest[28];
};
struct SupportBlock {
  uint32_t slot;
  uint32_t supported;
};
#pragma pack(pop)
static_assert(sizeof(AreaBlock) == 40, "slot and the 36-byte record");
static_assert(sizeof(Area2Block) == 44, "slot and the 40-byte record");
static_assert(sizeof(RemoveBlock) == 40, "the shape of the 36-byte call's block");
static_assert(sizeof(SupportBlock) == 8, "slot and the supported cell");

// Emulation pair of the older-ZoomText path; one pair for each module.
bool g_emulationSuspended = false;
DWORD g_savedEmulation = 0;

template <class Record>
RECT RectOf(const Record& r) {
  return RECT{r.left, r.top, r.right, r.bottom};
}
template <class Record>
void SetRectOf(Record* r, const RECT& rect) {
  r->left = rect.left;
  r->top = rect.top;
  r->right = rect.right;
  r->bottom = rect.bottom;
}

bool IsWholeScreen(const RECT& r) {
  return r.left == 0 && r.top == 0 && r.right == GetSystemMetrics(SM_CXSCREEN) &&
         r.bottom == GetSystemMetrics(SM_CYSCREEN);
}

template <class Record>
int CheckAreaRecord(const Record* record, uint32_t size, RECT* clipped) {
  if (!record || record->size != size) return ZTCCTV_ERROR_BAD_RECORD;
  if (record->owner == 0) return ZTCCTV_ERROR_NO_OWNER;
  if (record->type == ZTCCTV_AREA_UNSUPPORTED) return ZTCCTV_ERROR_BAD_TYPE;
  SetRectEmpty(clipped);
  const RECT rect = RectOf(*record);
  if (record->type == ZTCCTV_AREA_RECT && !IsCctvAreaRectValid(&rect, clipped)) {
    return ZTCCTV_ERROR_BAD_RECT;
  }
  return ZTCCTV_OK;
}

// Sends the area record to ZoomText as client command n and copies ZoomText's
// record back after a success.
template <class Block, class Record>
int SendArea(int n, Record* caller, const RECT& clipped) {
  ZoomTextCctvClient client;
  client.SetMinimumVersion(9, 4);
  SetRectOf(caller, clipped);
  Block block;
  block.slot = kUnanswered;
  block.record = *caller;
  if (caller->type == ZTCCTV_AREA_RECT && IsWholeScreen(RectOf(*caller))) {
    block.record.type = ZTCCTV_AREA_FULL;
  }
  const int answer = client.Execute(n, reinterpret_cast<ZxParam>(&block), 0);
  if (block.slot == kUnanswered) return MapClientResult(1, answer);
  if (block.slot == 0) *caller = block.record;
  return static_cast<int>(block.slot);
}

// The version, or a non-zero result code for the caller to return.
int RunningVersion(uint32_t* version) {
  ZoomTextInfo info = {sizeof(ZoomTextInfo), 0, 0};
  const int result = GetZoomTextVersion(&info);
  if (result != ZTCCTV_OK) return result;
  if (info.version == 0) return ZTCCTV_ERROR_NOT_RUNNING;
  *version = info.version;
  return ZTCCTV_OK;
}

// Newer ZoomText: its own CCTV support decides; a non-zero result code, or 2.
int RequireCctvSupport() {
  uint32_t supported = 0;
  const int result = IsZoomTextCctvSupported(&supported);
  if (result != ZTCCTV_OK) return result;
  return supported ? ZTCCTV_OK : ZTCCTV_ERROR_NOT_SUPPORTED;
}

constexpr uint32_t kOlderPath = 911;

int SendEmulationCommand(int n) {
  ZoomTextCctvClient client;
  SupportBlock block = {kUnanswered, 0};
  const int answer = client.Execute(n, reinterpret_cast<ZxParam>(&block), 0);
  return block.slot == kUnanswered ? MapClientResult(4, answer) : static_cast<int>(block.slot);
}

}  // namespace

int GetZoomTextVersion(ZoomTextInfo* pInfo) {
  if (!pInfo || pInfo->size != sizeof(ZoomTextInfo)) return ZTCCTV_ERROR_BAD_RECORD;
  const int code = DetectRunningZoomText();
  if (code < 9) {
    pInfo->version = static_cast<uint32_t>(code) * 100;
    return ZTCCTV_OK;
  }
  ZoomTextCctvClient client;
  pInfo->magnifying = 0;
  HWND window = CurrentSystem().FindTopLevelWindow(L"Zt10MainWindow", nullptr);
  if (!window) window = CurrentSystem().FindTopLevelWindow(L"Zt9MainWindow", nullptr);
  if (window) {
    const uint32_t reply =
        CurrentSystem().SendQuery(window, RegisterWindowMessageW(L"WM_GETVER_ZXP"));
    const uint32_t major = reply >> 24;
    const uint32_t minor = (reply >> 16) & 0xFF;
    const uint32_t build = (reply >> 8) & 0xFF;
    const uint32_t shortForm = major * 100 + minor;
    const uint32_t longForm = major * 1000 + minor * 10 + build;
    pInfo->version = (shortForm == 911 && longForm >= 9112) ? longForm : shortForm;
  } else {
    pInfo->version = static_cast<uint32_t>(code) * 100;
  }
  client.Execute(20, reinterpret_cast<ZxParam>(&pInfo->magnifying), 0);
  return ZTCCTV_OK;
}

int SetZoomTextCctvArea(CctvSetArea* pSetArea) {
  if (!IsWindowsXP()) return ZTCCTV_ERROR_NOT_SUPPORTED;
  RECT clipped;
  const int check = CheckAreaRecord(pSetArea, sizeof(CctvSetArea), &clipped);
  if (check != ZTCCTV_OK) return check;
  return SendArea<AreaBlock>(74, pSetArea, clipped);
}

int SetZoomTextCctvArea2(CctvSetArea2* pSetArea) {
  RECT clipped;
  const int check = CheckAreaRecord(pSetArea, sizeof(CctvSetArea2), &clipped);
  if (check != ZTCCTV_OK) return check;

  uint32_t version = 0;
  int result = RunningVersion(&version);
  if (result != ZTCCTV_OK) return result;

  if (version <= kOlderPath) {
    CctvSetArea older = {sizeof(CctvSetArea), pSetArea->owner,     pSetArea->type,
                         pSetArea->left,      pSetArea->top,       pSetArea->right,
                         pSetArea->bottom,    pSetArea->reserved1, pSetArea->reserved2};
    result = SetZoomTextCctvArea(&older);
    pSetArea->reserved1 = older.reserved1;
    pSetArea->owner = older.owner;
    pSetArea->reserved2 = older.reserved2;
    SetRectOf(pSetArea, RectOf(older));
    pSetArea->type = older.type;
    return result;
  }

  result = RequireCctvSupport();
  if (result != ZTCCTV_OK) return result;
  return SendArea<Area2Block>(81, pSetArea, clipped);
}

int RemoveZoomTextCctvArea(uint32_t owner) {
  uint32_t version = 0;
  int result = RunningVersion(&version);
  if (result != ZTCCTV_OK) return result;
  if (version <= kOlderPath) {
    if (!IsWindowsXP()) return ZTCCTV_ERROR_NOT_SUPPORTED;
  } else {
    result = RequireCctvSupport();
    if (result != ZTCCTV_OK) return result;
  }
  if (owner == 0) return ZTCCTV_ERROR_NO_OWNER;

  ZoomTextCctvClient client;
  client.SetMinimumVersion(9, 4);
  RemoveBlock block = {};
  block.slot = kUnanswered;
  block.owner = owner;
  const int answer = client.Execute(75, reinterpret_cast<ZxParam>(&block), 0);
  return block.slot == kUnanswered ? MapClientResult(2, answer) : static_cast<int>(block.slot);
}

int IsZoomTextCctvSupported(uint32_t* supported) {
  ZoomTextCctvClient client;
  SupportBlock block = {kUnanswered, 0};
  const int answer = client.Execute(78, reinterpret_cast<ZxParam>(&block), 0);
  const int result =
      block.slot == kUnanswered ? MapClientResult(2, answer) : static_cast<int>(block.slot);
  if (supported) *supported = block.supported;
  return result;
}

int SuspendDirectDrawEmulation() {
  uint32_t version = 0;
  int result = RunningVersion(&version);
  if (result != ZTCCTV_OK) return result;
  if (version > kOlderPath) {
    result = RequireCctvSupport();
    return result != ZTCCTV_OK ? result : SendEmulationCommand(82);
  }
  if (!IsWindowsXP()) return ZTCCTV_ERROR_NOT_SUPPORTED;
  if (g_emulationSuspended) return ZTCCTV_ERROR_UNEXPECTED_STATE;
  switch (SetDirectDrawEmulation(0, &g_savedEmulation)) {
    case ERROR_SUCCESS:
      g_emulationSuspended = true;
      return ZTCCTV_OK;
    case ERROR_ACCESS_DENIED:
      return ZTCCTV_ERROR_ACCESS_DENIED;
    case ERROR_FILE_NOT_FOUND:
      return ZTCCTV_ERROR_SWITCH_MISSING;
    default:
      return ZTCCTV_ERROR_UNEXPECTED;
  }
}

int RestoreDirectDrawEmulation() {
  uint32_t version = 0;
  int result = RunningVersion(&version);
  if (result != ZTCCTV_OK) return result;
  if (version > kOlderPath) {
    result = RequireCctvSupport();
    return result != ZTCCTV_OK ? result : SendEmulationCommand(83);
  }
  if (!IsWindowsXP()) return ZTCCTV_ERROR_NOT_SUPPORTED;
  if (!g_emulationSuspended) return ZTCCTV_ERROR_UNEXPECTED_STATE;
  SetDirectDrawEmulation(g_savedEmulation, nullptr);
  g_emulationSuspended = false;
  return ZTCCTV_OK;
}
