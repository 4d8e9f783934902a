#pragma once
#include <cstddef>

// Picture folders are held in 1000-byte ANSI buffers by the viewer and the filter.
constexpr size_t kImagesDirBytes = 1000;

// The user's picture folder followed by "\ORBA". A failed lookup gives "\ORBA",
// the folder of that name in the root of the current drive.
void GetImagesDirPath(char* out, size_t cap);

// Creates a folder together with every missing folder above it. True when the
// folder exists afterwards.
bool CreateFolderTree(const char* path);
