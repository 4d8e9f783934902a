#include "PeImage.h"

#include <cstring>

namespace cctv_test {
namespace {

const IMAGE_NT_HEADERS* NtHeaders(HMODULE module) {
  const auto* base = reinterpret_cast<const BYTE*>(module);
  const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  if (dos->e_magic != IMAGE_DOS_SIGNATURE) return nullptr;
  const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
  return nt->Signature == IMAGE_NT_SIGNATURE ? nt : nullptr;
}

template <class T>
T* At(HMODULE module, DWORD rva) {
  return reinterpret_cast<T*>(reinterpret_cast<BYTE*>(module) + rva);
}

// Calls visit(name, iatSlot) for each by-name import of dll until it answers true.
template <class Visit>
void ForEachImport(HMODULE module, const char* dll, Visit visit) {
  const IMAGE_NT_HEADERS* nt = NtHeaders(module);
  if (!nt) return;
  const IMAGE_DATA_DIRECTORY& dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
  if (!dir.VirtualAddress) return;
  for (auto* d = At<IMAGE_IMPORT_DESCRIPTOR>(module, dir.VirtualAddress); d->Name; ++d) {
    if (_stricmp(At<const char>(module, d->Name), dll) != 0) continue;
    auto* iat = At<IMAGE_THUNK_DATA>(module, d->FirstThunk);
    const auto* names =
        At<IMAGE_THUNK_DATA>(module, d->OriginalFirstThunk ? d->OriginalFirstThunk : d->FirstThunk);
    for (size_t i = 0; names[i].u1.AddressOfData; ++i) {
      if (IMAGE_SNAP_BY_ORDINAL(names[i].u1.Ordinal)) continue;
      const auto* byName =
          At<IMAGE_IMPORT_BY_NAME>(module, static_cast<DWORD>(names[i].u1.AddressOfData));
      if (visit(reinterpret_cast<const char*>(byName->Name), &iat[i])) return;
    }
  }
}

}  // namespace

std::vector<std::string> ExportedNames(HMODULE module) {
  std::vector<std::string> out;
  const IMAGE_NT_HEADERS* nt = NtHeaders(module);
  if (!nt) return out;
  const IMAGE_DATA_DIRECTORY& dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
  if (!dir.VirtualAddress) return out;
  const auto* exports = At<IMAGE_EXPORT_DIRECTORY>(module, dir.VirtualAddress);
  const auto* names = At<DWORD>(module, exports->AddressOfNames);
  for (DWORD i = 0; i < exports->NumberOfNames; ++i)
    out.push_back(At<const char>(module, names[i]));
  return out;
}

std::vector<std::string> ImportedNames(HMODULE module, const char* dll) {
  std::vector<std::string> out;
  ForEachImport(module, dll, [&](const char* name, IMAGE_THUNK_DATA*) {
    out.push_back(name);
    return false;
  });
  return out;
}

void* BoundImport(HMODULE module, const char* dll, const char* function) {
  void* bound = nullptr;
  ForEachImport(module, dll, [&](const char* name, IMAGE_THUNK_DATA* slot) {
    if (std::strcmp(name, function) != 0) return false;
    bound = reinterpret_cast<void*>(slot->u1.Function);
    return true;
  });
  return bound;
}

void* PatchImport(HMODULE module, const char* dll, const char* function, void* replacement) {
  void* previous = nullptr;
  ForEachImport(module, dll, [&](const char* name, IMAGE_THUNK_DATA* slot) {
    if (std::strcmp(name, function) != 0) return false;
    DWORD protect = 0;
    if (!VirtualProtect(&slot->u1.Function, sizeof slot->u1.Function, PAGE_READWRITE, &protect)) {
      return true;
    }
    previous = reinterpret_cast<void*>(slot->u1.Function);
    slot->u1.Function = reinterpret_cast<ULONG_PTR>(replacement);
    VirtualProtect(&slot->u1.Function, sizeof slot->u1.Function, protect, &protect);
    FlushInstructionCache(GetCurrentProcess(), nullptr, 0);
    return true;
  });
  return previous;
}

}  // namespace cctv_test
