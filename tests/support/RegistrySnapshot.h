#pragma once
// Saving and restoring registry trees and values around tests that change the
// prefix's registry (device instances, machine-wide switches, the settings key,
// shell folders, installed drivers).
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

// Saves one value at construction and puts it back (or removes it, when it did
// not exist) at destruction.
class ScopedRegistryValue {
 public:
  ScopedRegistryValue(HKEY root, std::string path, std::string value);
  ScopedRegistryValue(const ScopedRegistryValue&) = delete;
  ScopedRegistryValue& operator=(const ScopedRegistryValue&) = delete;
  ~ScopedRegistryValue();
  bool existed() const { return existed_; }
  // Stores text (REG_SZ or REG_EXPAND_SZ), creating the key when needed.
  bool Set(const std::string& text, DWORD type = REG_SZ);
  // True when the value is gone (or never was).
  bool Remove();

 private:
  HKEY root_;
  std::string path_;
  std::string value_;
  bool existed_ = false;
  DWORD type_ = REG_NONE;
  std::vector<BYTE> saved_;
};

// A DWORD value, or -1 when absent or of another kind.
long long ReadDwordValue(HKEY root, const std::string& path, const char* value);
// Stores a text value (with its terminating null), creating the key when needed.
bool WriteTextValue(HKEY root, const std::string& path, const char* value, const std::string& text,
                    DWORD type = REG_SZ);

}  // namespace orba_test
