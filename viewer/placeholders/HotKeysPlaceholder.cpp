// PLACEHOLDER for the viewer's hot keys: none are registered yet, so no hot-key
// message reaches the window. Replace this whole file with the hot-key table and
// its handlers.
#include "HotKeys.h"

void RegisterViewerHotKeys() {}

void UnregisterViewerHotKeys() {}

void HandleViewerHotKey(WPARAM) {}
