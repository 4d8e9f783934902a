#pragma once
// Small helpers for tests that run under Wine.
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

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
// The names (not paths) in a folder, sorted; with kFilesOnly its subfolders
// are left out. Empty when the folder cannot be read.
enum class ListWhat { kFilesAndFolders, kFilesOnly };
std::vector<std::string> ListFolder(const std::string& folder,
                                    ListWhat what = ListWhat::kFilesAndFolders);

// Waits until cond holds or the time is up; true when it held.
bool WaitFor(const std::function<bool()>& cond, DWORD timeoutMs);

// Runs a program with the command line and waits for it to end; its exit code,
// or -1 when it could not start or did not end in time.
int RunProgram(const std::string& commandLine, DWORD timeoutMs = 60000);

}  // namespace orba_test
