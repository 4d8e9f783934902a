#include "RegistrySnapshot.h"

#include <utility>

#include "orba/Scoped.h"

namespace orba_test {

namespace {

bool ReadKey(HKEY key, RegistryKeyCopy* out) {
  DWORD subkeys = 0, maxSubkey = 0, values = 0, maxName = 0, maxData = 0;
  if (RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, &subkeys, &maxSubkey, nullptr, &values,
                       &maxName, &maxData, nullptr, nullptr) != ERROR_SUCCESS) {
    return false;
  }
  for (DWORD i = 0; i < values; ++i) {
    std::vector<char> name(maxName + 2);
    DWORD nameLen = static_cast<DWORD>(name.size());
    RegistryValueCopy v;
    v.data.resize(maxData + 1);
    DWORD dataLen = static_cast<DWORD>(v.data.size());
    if (RegEnumValueA(key, i, name.data(), &nameLen, nullptr, &v.type, v.data.data(), &dataLen) !=
        ERROR_SUCCESS) {
      return false;
    }
    v.name.assign(name.data(), nameLen);
    v.data.resize(dataLen);
    out->values.push_back(std::move(v));
  }
  for (DWORD i = 0; i < subkeys; ++i) {
    std::vector<char> name(maxSubkey + 2);
    DWORD nameLen = static_cast<DWORD>(name.size());
    if (RegEnumKeyExA(key, i, name.data(), &nameLen, nullptr, nullptr, nullptr, nullptr) !=
        ERROR_SUCCESS) {
      return false;
    }
    RegistryKeyCopy child;
    child.name.assign(name.data(), nameLen);
    orba::ScopedHKEY sub;
    if (RegOpenKeyExA(key, child.name.c_str(), 0, KEY_READ, sub.Put()) != ERROR_SUCCESS ||
        !ReadKey(sub.Get(), &child)) {
      return false;
    }
    out->subkeys.push_back(std::move(child));
  }
  return true;
}

bool WriteKey(HKEY key, const RegistryKeyCopy& tree) {
  for (const auto& v : tree.values) {
    if (RegSetValueExA(key, v.name.c_str(), 0, v.type, v.data.empty() ? nullptr : v.data.data(),
                       static_cast<DWORD>(v.data.size())) != ERROR_SUCCESS) {
      return false;
    }
  }
  for (const auto& child : tree.subkeys) {
    orba::ScopedHKEY sub;
    if (RegCreateKeyExA(key, child.name.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, sub.Put(),
                        nullptr) != ERROR_SUCCESS ||
        !WriteKey(sub.Get(), child)) {
      return false;
    }
  }
  return true;
}

}  // namespace

bool ReadRegistryTree(HKEY root, const std::string& path, RegistryKeyCopy* out) {
  *out = RegistryKeyCopy();
  orba::ScopedHKEY key;
  if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, key.Put()) != ERROR_SUCCESS) return false;
  return ReadKey(key.Get(), out);
}

bool WriteRegistryTree(HKEY root, const std::string& path, const RegistryKeyCopy& tree) {
  orba::ScopedHKEY key;
  if (RegCreateKeyExA(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key.Put(),
                      nullptr) != ERROR_SUCCESS) {
    return false;
  }
  return WriteKey(key.Get(), tree);
}

bool DeleteRegistryTree(HKEY root, const std::string& path) {
  RegDeleteTreeA(root, path.c_str());
  RegDeleteKeyA(root, path.c_str());
  return !RegistryKeyExists(root, path);
}

bool RegistryKeyExists(HKEY root, const std::string& path) {
  orba::ScopedHKEY key;
  return RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, key.Put()) == ERROR_SUCCESS;
}

ScopedRegistryTree::ScopedRegistryTree(HKEY root, std::string path)
    : root_(root), path_(std::move(path)) {
  existed_ = ReadRegistryTree(root_, path_, &saved_);
}

ScopedRegistryTree::~ScopedRegistryTree() {
  DeleteRegistryTree(root_, path_);
  if (existed_) WriteRegistryTree(root_, path_, saved_);
}

ScopedRegistryValue::ScopedRegistryValue(HKEY root, std::string path, std::string value)
    : root_(root), path_(std::move(path)), value_(std::move(value)) {
  orba::ScopedHKEY key;
  if (RegOpenKeyExA(root_, path_.c_str(), 0, KEY_QUERY_VALUE, key.Put()) != ERROR_SUCCESS) return;
  DWORD size = 0;
  if (RegQueryValueExA(key.Get(), value_.c_str(), nullptr, &type_, nullptr, &size) !=
      ERROR_SUCCESS) {
    return;
  }
  saved_.resize(size);
  existed_ = RegQueryValueExA(key.Get(), value_.c_str(), nullptr, &type_,
                              saved_.empty() ? nullptr : saved_.data(), &size) == ERROR_SUCCESS;
  saved_.resize(size);
}

ScopedRegistryValue::~ScopedRegistryValue() {
  orba::ScopedHKEY key;
  if (RegCreateKeyExA(root_, path_.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, key.Put(),
                      nullptr) != ERROR_SUCCESS) {
    return;
  }
  if (existed_) {
    RegSetValueExA(key.Get(), value_.c_str(), 0, type_, saved_.empty() ? nullptr : saved_.data(),
                   static_cast<DWORD>(saved_.size()));
  } else {
    RegDeleteValueA(key.Get(), value_.c_str());
  }
}

bool ScopedRegistryValue::Set(const std::string& text, DWORD type) {
  return WriteTextValue(root_, path_, value_.c_str(), text, type);
}

bool ScopedRegistryValue::Remove() {
  orba::ScopedHKEY key;
  if (RegOpenKeyExA(root_, path_.c_str(), 0, KEY_SET_VALUE, key.Put()) != ERROR_SUCCESS) {
    return false;
  }
  const LONG rc = RegDeleteValueA(key.Get(), value_.c_str());
  return rc == ERROR_SUCCESS || rc == ERROR_FILE_NOT_FOUND;
}

bool WriteTextValue(HKEY root, const std::string& path, const char* value, const std::string& text,
                    DWORD type) {
  orba::ScopedHKEY key;
  if (RegCreateKeyExA(root, path.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, key.Put(),
                      nullptr) != ERROR_SUCCESS) {
    return false;
  }
  return RegSetValueExA(key.Get(), value, 0, type, reinterpret_cast<const BYTE*>(text.c_str()),
                        static_cast<DWORD>(text.size() + 1)) == ERROR_SUCCESS;
}

long long ReadDwordValue(HKEY root, const std::string& path, const char* value) {
  orba::ScopedHKEY key;
  if (RegOpenKeyExA(root, path.c_str(), 0, KEY_QUERY_VALUE, key.Put()) != ERROR_SUCCESS) {
    return -1;
  }
  DWORD type = 0, data = 0, size = sizeof data;
  if (RegQueryValueExA(key.Get(), value, nullptr, &type, reinterpret_cast<BYTE*>(&data), &size) !=
          ERROR_SUCCESS ||
      type != REG_DWORD || size != sizeof data) {
    return -1;
  }
  return data;
}

}  // namespace orba_test
