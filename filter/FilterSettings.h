#pragma once
// The filter's values in the viewer's settings key (orba::kSettingsKey under
// HKEY_CURRENT_USER): the picture folder the Save As dialog remembers.
#include <windows.h>

#include <cstddef>

namespace orba_filter {

// The value that holds the folder of the last picture saved with Save As.
extern const char kImageFolderPathValue[];

// Reads a text value of the settings key: 0 when a value of non-zero length was
// read, 1 otherwise. A value longer than the buffer counts as absent.
int ReadSettingsText(const char* name, char* buf, size_t cap);

// Writes a REG_SZ value (its length without the NUL) into the existing settings
// key; the key is not created. The registry status.
LONG WriteSettingsText(const char* name, const char* text);

}  // namespace orba_filter
