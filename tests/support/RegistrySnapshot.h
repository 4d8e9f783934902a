#pragma once
// Saving and restoring registry trees around tests that change the prefix's
// registry (device instances, machine-wide switches, the settings key).
#include <windows.h>

#include <memory>
#include <string>
#include <vector>

namespace orba_test {

struct RegistryValueCopy {
  std::string name;
  DWORD type = 0;
  std::vector<BYTE> data;
};
struct RegistryKeyCopy {
  std::string name;
  std::vector<RegistryValueCopy> values;
  std::vector<RegistryKeyCopy> subkeys;
};

// Reads a whole tree; false when the key does not exist.
bool ReadRegistryTree(HKEY root, const std::string& path, RegistryKeyCopy* out);
// Creates the tree below root\path (path is the key itself).
bool WriteRegistryTree(HKEY root, const std::string& path, const RegistryKeyCopy& tree);
// Deletes a key and everything below it; true when it is gone.
bool DeleteRegistryTree(HKEY root, const std::string& path);
bool RegistryKeyExists(HKEY root, const std::string& path);

// Captures root\path at construction and puts it back (or removes it, when it
// did not exist) at destruction.
class ScopedRegistryTree {
 public:
  ScopedRegistryTree(HKEY root, std::string path);
  ScopedRegistryTree(const ScopedRegistryTree&) = delete;
  ScopedRegistryTree& operator=(const ScopedRegistryTree&) = delete;
  ~ScopedRegistryTree();
  bool existed() const { return existed_; }

 private:
  HKEY root_;
  std::string path_;
  bool existed_ = false;
  RegistryKeyCopy saved_;
};

// A DWORD value, or -1 when absent or of another kind.
long long ReadDwordValue(HKEY root, const std::string& path, const char* value);

}  // namespace orba_test
