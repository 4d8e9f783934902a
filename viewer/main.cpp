// ORBA.exe: the viewer's entry point; everything else lives in orba_viewer_core.
#include <windows.h>

#include "Startup.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int showCommand) {
  return RunViewer(instance, GetCommandLineA(), showCommand);
}
