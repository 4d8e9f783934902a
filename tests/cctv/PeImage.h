#pragma once
// Reading and patching a loaded module's export and import tables.
#include <windows.h>

#include <string>
#include <vector>

namespace cctv_test {

// Names in the module's export table, in table order.
std::vector<std::string> ExportedNames(HMODULE module);
// Names the module imports from dll (case-insensitive), in table order.
std::vector<std::string> ImportedNames(HMODULE module, const char* dll);
// The address the loader bound the module's import of dll!function to.
void* BoundImport(HMODULE module, const char* dll, const char* function);
// Points the module's import-address-table entry for dll!function at
// replacement, within this process. Answers the entry's previous value, or
// nullptr when the module does not import that function.
void* PatchImport(HMODULE module, const char* dll, const char* function, void* replacement);

}  // namespace cctv_test
