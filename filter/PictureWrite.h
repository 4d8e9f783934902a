#pragma once
// Writing a sample into an open file: as it is, or as a picture with the
// standard Huffman tables of PictureJpeg.h inserted.
#include <windows.h>

#include <cstddef>
#include <cstdint>

namespace orba_filter {

// Writes the bytes as they are. True when everything was written.
bool WriteAll(HANDLE file, const uint8_t* data, size_t size);

// Writes a picture into an open file: the sample as it is, or, when it has no
// Huffman tables, with the standard tables inserted before its scan, so that
// ordinary image viewers open it. True when everything was written.
bool WritePicture(HANDLE file, const uint8_t* data, size_t size);

}  // namespace orba_filter
