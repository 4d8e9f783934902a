#include "dshow_base/ClassFactory.h"

HINSTANCE g_hInst = nullptr;

HINSTANCE AMGetModuleInstance() {
  if (g_hInst) return g_hInst;
  HMODULE self = nullptr;
  GetModuleHandleExW(
      GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
      reinterpret_cast<LPCWSTR>(&AMGetModuleInstance), &self);
  return self;
}
