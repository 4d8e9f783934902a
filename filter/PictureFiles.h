#pragma once
// The files the filter stores: frame files of a recording, pictures, and the
// picture folder remembered in the settings.
#include <windows.h>

#include <cstddef>
#include <cstdint>

#include "PictureJpeg.h"

namespace orba_filter {

// Paths of the filter are ANSI texts in buffers of this size.
constexpr size_t kPathBytes = 1000;
// The file name buffer of the Save As dialog, in wide characters.
constexpr size_t kDialogPathChars = 260;

// ---- JPEG

// Writes a picture into an open file: the sample as it is, or, when it has no
// Huffman tables, with the standard tables inserted before its scan, so that
// ordinary image viewers open it. True when everything was written.
bool WritePicture(HANDLE file, const uint8_t* data, size_t size);

// Writes the bytes as they are. True when everything was written.
bool WriteAll(HANDLE file, const uint8_t* data, size_t size);

// ---- names

// The first of "<folder>\<name>.jpg", "<folder>\<name>_2.jpg", "<folder>\<name>_3.jpg", ...
// that does not exist yet. False when no such path fits the buffer.
bool FreePicturePath(const char* folder, const char* name, char* out, size_t cap);

// Creates the picture file under the first free name (see FreePicturePath),
// never opening an existing file. The path goes to out. INVALID_HANDLE_VALUE
// when no name fits or the folder cannot take the file.
HANDLE CreateFreePictureFile(const char* folder, const char* name, char* out, size_t cap);

// ---- settings

// The viewer's settings key under HKEY_CURRENT_USER.
extern const char kImageFolderPathValue[];

// Reads a text value of the settings key: 0 when a value of non-zero length was
// read, 1 otherwise. A value longer than the buffer counts as absent.
int ReadSettingsText(const char* name, char* buf, size_t cap);

// Writes a REG_SZ value (its length without the NUL) into the existing settings
// key; the key is not created. The registry status.
LONG WriteSettingsText(const char* name, const char* text);

// ---- text

// ANSI path <-> wide path in the system code page, bounded. False (and out
// emptied) when the text does not fit or cannot be represented.
bool AnsiToWide(const char* text, wchar_t* out, size_t cap);
bool WideToAnsi(const wchar_t* text, char* out, size_t cap);

}  // namespace orba_filter
