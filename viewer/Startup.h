#pragma once
#include <windows.h>

// The whole program: single-instance test, start-up passes, main loop, restarts
// and the program end. Returns the process exit code.
int RunViewer(HINSTANCE instance, const char* commandLine, int showCommand);

// Ends the process at once (fatal start-up errors): no teardown, no restoring.
[[noreturn]] void FatalExit();
