#pragma once
// The Windows version, the display driver model and the two machine-wide
// graphics switches the viewer flips around its capture graph.
#include <windows.h>

#include <cstdint>

// The product version of a file's version resource (major, minor); false and
// nothing written when it cannot be read.
bool ReadProductVersion(const char* path, uint32_t* major, uint32_t* minor);
// osMajor/osMinor from the system's kernel32.dll; both stay 0 when unreadable.
void ReadOsVersion();

// Version tests as functions of the version alone.
bool IsWinXPVersion(uint32_t major, uint32_t minor);
bool IsWinVistaVersion(uint32_t major, uint32_t minor);
bool IsWin7Version(uint32_t major, uint32_t minor);
bool IsWin8Version(uint32_t major, uint32_t minor);
bool IsWin10OrLaterVersion(uint32_t major, uint32_t minor);

// The same tests on the viewer's osMajor/osMinor.
bool IsWinXP();
bool IsWinVista();
bool IsWin7();
bool IsWin8();
bool IsWin10OrLater();
bool IsVistaOrLater();

// Registry locations of the switches (under HKEY_LOCAL_MACHINE).
extern const char kDirect3DDriversKey[];  // "SOFTWARE\\Microsoft\\Direct3D\\Drivers"
extern const char kSoftwareOnlyValue[];   // "SoftwareOnly"
extern const char kDirectDrawKey[];       // "SOFTWARE\\Microsoft\\DirectDraw"
extern const char kEmulationOnlyValue[];  // "EmulationOnly"
// Where the settings key keeps a switch's value from before the run changed it
// (REG_DWORD; an empty REG_NONE for a value that was absent).
extern const char kSavedSoftwareOnlyValue[];   // "SavedSoftwareOnly"
extern const char kSavedEmulationOnlyValue[];  // "SavedEmulationOnly"

// Write one switch as a 4-byte REG_DWORD of 1 or 0. Without the rights to open
// the key (a non-administrator) the error is returned and nothing changes. The
// first change of a run records both switches' earlier values in the settings
// key.
LONG SetDirect3DSoftwareOnly(bool on);
LONG SetDirectDrawEmulationOnly(bool on);

// 0 undetected, 1 XDDM, 2 WDDM. Probes on a hidden window of its own.
int32_t DetectDisplayDriverModel();
// The Direct3D 9 part of the detection alone (no switch changes).
int32_t ProbeDisplayDriverModel(HWND window);

// Loads the DirectShow runtime, Direct3D 9 and what ORBAProc.ax imports once
// for the life of the process, so that a restart never loads them again: that
// costs time, and under Wine some loads keep handles that are never given back
// (the print spooler behind the Save As dialog keeps a mutex for each load).
void KeepPlatformLibrariesLoaded();

// The switch moments of a run, in order.
void SwitchesForDriverDetection();  // inside DetectDisplayDriverModel
void SwitchesAfterCctvInit();       // after CCTV_Init found a Kavrelo magnifier running
void PrepareDirectInit();           // CaptureVideo begins
void MyCompleteDirectInit();        // CaptureVideo has built the graph
void RestoreSwitchesAtProgramEnd();

// Puts the switches back as the recorded values say and drops the record: at
// start-up for what an earlier run that did not end normally left changed, and
// on a fatal exit.
void PutBackRecordedSwitches();
// The normal end: the switches stay as RestoreSwitchesAtProgramEnd left them and
// the record goes.
void ForgetRecordedSwitches();
