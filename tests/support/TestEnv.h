#pragma once
// Small helpers for tests that run under Wine.
#include <windows.h>

#include <string>

namespace orba_test {

// Folder of the running test program (the build's bin folder).
std::string ExeDir();
// ExeDir() + "\\" + name.
std::string BinPath(const char* name);
// Reads a whole file; empty when it cannot be read.
std::string ReadFileBytes(const std::string& path);
bool WriteFileBytes(const std::string& path, const std::string& bytes);
bool FileExists(const std::string& path);
// Deletes a folder and everything in it; true when it is gone.
bool RemoveTree(const std::string& path);
// A fresh empty folder under the temp folder, unique for this process.
std::string MakeTempDir(const char* tag);

}  // namespace orba_test
