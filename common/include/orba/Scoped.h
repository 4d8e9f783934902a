#pragma once
// Scoped owners of Win32 handles: each closes its handle once, on every path.
#include <windows.h>

#include <objbase.h>
#include <oleauto.h>

#include <utility>

namespace orba {

template <class H, class Traits>
class UniqueHandle {
 public:
  UniqueHandle() = default;
  explicit UniqueHandle(H h) : h_(h) {}
  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;
  UniqueHandle(UniqueHandle&& o) noexcept : h_(o.Release()) {}
  UniqueHandle& operator=(UniqueHandle&& o) noexcept {
    if (this != &o) Reset(o.Release());
    return *this;
  }
  ~UniqueHandle() { Reset(); }

  H Get() const { return h_; }
  explicit operator bool() const { return Traits::IsValid(h_); }
  // Out-parameter access: closes what is held first.
  H* Put() {
    Reset();
    return &h_;
  }
  H Release() {
    H h = h_;
    h_ = Traits::Invalid();
    return h;
  }
  void Reset(H h = Traits::Invalid()) {
    if (Traits::IsValid(h_)) Traits::Close(h_);
    h_ = h;
  }

 private:
  H h_ = Traits::Invalid();
};

struct HKeyTraits {
  static HKEY Invalid() { return nullptr; }
  static bool IsValid(HKEY h) { return h != nullptr; }
  static void Close(HKEY h) { RegCloseKey(h); }
};
// Kernel handles: both null and INVALID_HANDLE_VALUE mean "none".
struct KernelHandleTraits {
  static HANDLE Invalid() { return nullptr; }
  static bool IsValid(HANDLE h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
  static void Close(HANDLE h) { CloseHandle(h); }
};
struct ModuleTraits {
  static HMODULE Invalid() { return nullptr; }
  static bool IsValid(HMODULE h) { return h != nullptr; }
  static void Close(HMODULE h) { FreeLibrary(h); }
};
template <class G>
struct GdiObjectTraits {
  static G Invalid() { return nullptr; }
  static bool IsValid(G h) { return h != nullptr; }
  static void Close(G h) { DeleteObject(reinterpret_cast<HGDIOBJ>(h)); }
};
// A device context made with CreateDC / CreateCompatibleDC.
struct CreatedDcTraits {
  static HDC Invalid() { return nullptr; }
  static bool IsValid(HDC h) { return h != nullptr; }
  static void Close(HDC h) { DeleteDC(h); }
};
// A FindFirstFile search, ended with FindClose.
struct FindTraits {
  static HANDLE Invalid() { return INVALID_HANDLE_VALUE; }
  static bool IsValid(HANDLE h) { return h != INVALID_HANDLE_VALUE && h != nullptr; }
  static void Close(HANDLE h) { FindClose(h); }
};
struct WindowTraits {
  static HWND Invalid() { return nullptr; }
  static bool IsValid(HWND h) { return h != nullptr; }
  static void Close(HWND h) { DestroyWindow(h); }
};

using ScopedHKEY = UniqueHandle<HKEY, HKeyTraits>;
using ScopedHandle = UniqueHandle<HANDLE, KernelHandleTraits>;
using ScopedModule = UniqueHandle<HMODULE, ModuleTraits>;
template <class G>
using ScopedGdiObj = UniqueHandle<G, GdiObjectTraits<G>>;
using ScopedBitmap = ScopedGdiObj<HBITMAP>;
using ScopedBrush = ScopedGdiObj<HBRUSH>;
using ScopedCreatedDC = UniqueHandle<HDC, CreatedDcTraits>;
using ScopedFind = UniqueHandle<HANDLE, FindTraits>;
// A window made by this thread, destroyed with the object.
using ScopedWindow = UniqueHandle<HWND, WindowTraits>;

// A context borrowed with GetDC, given back with ReleaseDC.
class ScopedWindowDC {
 public:
  explicit ScopedWindowDC(HWND hwnd) : hwnd_(hwnd), dc_(GetDC(hwnd)) {}
  ScopedWindowDC(const ScopedWindowDC&) = delete;
  ScopedWindowDC& operator=(const ScopedWindowDC&) = delete;
  ~ScopedWindowDC() {
    if (dc_) ReleaseDC(hwnd_, dc_);
  }
  HDC Get() const { return dc_; }
  explicit operator bool() const { return dc_ != nullptr; }

 private:
  HWND hwnd_;
  HDC dc_;
};

// A VARIANT that is cleared on every path.
class ScopedVariant {
 public:
  ScopedVariant() { VariantInit(&v_); }
  ScopedVariant(const ScopedVariant&) = delete;
  ScopedVariant& operator=(const ScopedVariant&) = delete;
  ~ScopedVariant() { VariantClear(&v_); }
  VARIANT* Put() {
    VariantClear(&v_);
    return &v_;
  }
  const VARIANT& Get() const { return v_; }

 private:
  VARIANT v_;
};

// This thread's membership of the multithreaded apartment, for a thread that
// may or may not have joined one already; left again only if it was joined here.
class ComApartment {
 public:
  ComApartment() : hr_(CoInitializeEx(nullptr, COINIT_MULTITHREADED)) {}
  ~ComApartment() {
    if (SUCCEEDED(hr_)) CoUninitialize();
  }
  ComApartment(const ComApartment&) = delete;
  ComApartment& operator=(const ComApartment&) = delete;

 private:
  HRESULT hr_;
};

}  // namespace orba
