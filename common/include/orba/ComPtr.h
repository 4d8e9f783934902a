#pragma once
// Owning COM reference. Taking its address releases the old reference first, so
// `hr = obj->Get(&ptr)` never leaks what ptr held before.
#include <unknwn.h>

#include <cstddef>
#include <memory>
#include <utility>

namespace orba {

template <class T>
class ComPtr {
 public:
  ComPtr() = default;
  ComPtr(std::nullptr_t) {}
  // Shares the reference: adds one of its own.
  ComPtr(T* p) : p_(p) {
    if (p_) p_->AddRef();
  }
  ComPtr(const ComPtr& o) : ComPtr(o.p_) {}
  ComPtr(ComPtr&& o) noexcept : p_(o.p_) { o.p_ = nullptr; }
  ~ComPtr() { Reset(); }

  ComPtr& operator=(const ComPtr& o) {
    if (this != std::addressof(o)) ComPtr(o).Swap(*this);
    return *this;
  }
  ComPtr& operator=(ComPtr&& o) noexcept {
    if (this != std::addressof(o)) {
      Reset();
      p_ = o.p_;
      o.p_ = nullptr;
    }
    return *this;
  }
  ComPtr& operator=(T* p) {
    ComPtr(p).Swap(*this);
    return *this;
  }
  ComPtr& operator=(std::nullptr_t) {
    Reset();
    return *this;
  }

  T** operator&() {
    Reset();
    return &p_;
  }
  T* operator->() const { return p_; }
  T& operator*() const { return *p_; }
  explicit operator bool() const { return p_ != nullptr; }
  T* Get() const { return p_; }

  // Takes over a reference the caller already owns.
  void Attach(T* p) {
    Reset();
    p_ = p;
  }
  T* Detach() {
    T* p = p_;
    p_ = nullptr;
    return p;
  }
  void Reset() {
    if (p_) {
      T* p = p_;
      p_ = nullptr;
      p->Release();
    }
  }
  void Swap(ComPtr& o) noexcept { std::swap(p_, o.p_); }
  // Hands out a new reference through a COM out-parameter.
  HRESULT CopyTo(T** out) const {
    if (!out) return E_POINTER;
    *out = p_;
    if (p_) p_->AddRef();
    return S_OK;
  }
  template <class U>
  HRESULT QueryInterface(REFIID iid, ComPtr<U>& out) const {
    if (!p_) return E_POINTER;
    return p_->QueryInterface(iid, reinterpret_cast<void**>(&out));
  }
  // For out-parameters typed void** (CoCreateInstance, QueryInterface).
  void** PutVoid() { return reinterpret_cast<void**>(operator&()); }

 private:
  T* p_ = nullptr;
};

// For a raw interface pointer kept in a long-lived record: releases it once and
// leaves null behind, so that a second call does nothing.
template <class T>
void ReleaseAndClear(T*& p) {
  if (p) {
    p->Release();
    p = nullptr;
  }
}

template <class T, class U>
bool operator==(const ComPtr<T>& a, const ComPtr<U>& b) {
  return a.Get() == b.Get();
}

}  // namespace orba
