#pragma once
// The names of new pictures: the first free one of a time stamp in a folder.
#include <windows.h>

#include <cstddef>

#include "FilterPaths.h"

namespace orba_filter {

// The first of "<folder>\<name>.jpg", "<folder>\<name>_2.jpg", "<folder>\<name>_3.jpg", ...
// that does not exist yet. False when no such path fits the buffer.
bool FreePicturePath(const char* folder, const char* name, char* out, size_t cap);

// Creates the picture file under the first free name (see FreePicturePath),
// never opening an existing file. The path goes to out. INVALID_HANDLE_VALUE
// when no name fits or the folder cannot take the file.
HANDLE CreateFreePictureFile(const char* folder, const char* name, char* out, size_t cap);

}  // namespace orba_filter
