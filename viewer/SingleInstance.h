#pragma once
// Only one viewer runs at a time.
#include <cstddef>

// The program's own file name from its command line: the text after the last
// backslash, without the closing quote and trailing blanks. False when it does
// not fit.
bool ProgramNameFromCommandLine(const char* commandLine, char* name, size_t cap);
// Processes whose executable file name equals name exactly (case-sensitive).
int CountProcessesNamed(const char* name);
// Brings the running viewer's window ("Orba Viewer") to the front; false when
// there is none.
bool BringViewerToFront();
// True when another viewer runs (its window was brought to the front).
bool AnotherViewerIsRunning(const char* commandLine);
