#include "ViewerState.h"

ViewerState g_viewer;

const char kViewerClassName[] = "Orba Viewer";
const char kViewerTitle[] = "ORBA";
