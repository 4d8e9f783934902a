#pragma once
// What the stand-in for ZoomText's CCTV renderer (ZtRendererSim.ax) and the
// tests that use it share: its switches, its log format and its own small
// inspection interface.
//
// Switches: values under HKCU\Software\OrbaTests\ZtRenderer, read when an
// instance is created (absent values take the default):
//   "CompatibleRunning" DWORD  1 (default): IsCompatibleZoomTextRunning answers
//                              S_OK; 0: S_FALSE
//   "Enabled"           DWORD  1 (default): IsZoomTextAnabled answers S_OK; 0: S_FALSE
//   "Version"           DWORD  2 (default): both control interfaces; 1: the
//                              version-1 interface only
//   "LogFile"           REG_SZ or REG_EXPAND_SZ: the log file; default
//                              "%TEMP%\OrbaZtRendererSim.log"
//
// Log: one text line per record, appended with a single write (any process may
// read it while the renderer runs): "<pid> <slot> <arg> <arg> ...\n", signed
// decimal arguments. Slots 3 to 9 are calls on the control interfaces with
// their arguments (a null pointer argument is logged without arguments);
// numbers from 100 on are the renderer's own events below.
#include <windows.h>

#include <unknwn.h>

namespace zt_renderer_sim {

constexpr char kOptionsKey[] = "Software\\OrbaTests\\ZtRenderer";  // below HKCU
constexpr char kCompatibleRunningValue[] = "CompatibleRunning";
constexpr char kEnabledValue[] = "Enabled";
constexpr char kVersionValue[] = "Version";
constexpr char kLogFileValue[] = "LogFile";
constexpr char kDefaultLogName[] = "OrbaZtRendererSim.log";

constexpr char kAxFile[] = "ZtRendererSim.ax";
constexpr wchar_t kFilterName[] = L"ZoomText CCTV Renderer (test stand-in)";
constexpr wchar_t kInputPinName[] = L"Input";

// Slots of the control interfaces, as logged.
enum Slot : int {
  kSlotSetArea = 3,        // left top right bottom
  kSlotShowArea = 4,       // flag
  kSlotIsCompatible = 5,   // (none)
  kSlotIsEnabled = 6,      // (none)
  kSlotReserved7 = 7,      // (none)
  kSlotSetAreaSize = 8,    // width height
  kSlotSetCameraPart = 9,  // left top right bottom
};

// The renderer's own events.
enum Event : int {
  kEventCreated = 100,      // version compatibleRunning enabled
  kEventConnected = 101,    // subtype.Data1 width height (0 0 without a video format)
  kEventRun = 102,          // (none)
  kEventFirstSample = 103,  // sample length
  kEventStopped = 104,      // samples received so far
  kEventDestroyed = 105,    // samples received in all
};

// {5C0E7A31-8D2B-4F6E-9A14-3B7D2E9C1F51}
inline const GUID IID_IZtRendererSimInfo = {
    0x5c0e7a31, 0x8d2b, 0x4f6e, {0x9a, 0x14, 0x3b, 0x7d, 0x2e, 0x9c, 0x1f, 0x51}};

// Lets a test in the same process look into a renderer instance.
struct IZtRendererSimInfo : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE GetSamplesReceived(LONG* count) = 0;
  // The version offered (1 or 2) and the two answers, as read at creation.
  virtual HRESULT STDMETHODCALLTYPE GetOptions(LONG* version, LONG* compatibleRunning,
                                               LONG* enabled) = 0;
};

}  // namespace zt_renderer_sim
