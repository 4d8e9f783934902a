#pragma once
// COM plumbing shared by every object of a DirectShow module: object counting for
// DllCanUnloadNow, the aggregation-aware non-delegating IUnknown and the locks.
#include <windows.h>

#include <dshow.h>
#include <unknwn.h>

// The inner IUnknown of an aggregatable object. Its layout matches IUnknown, so a
// pointer to it is handed out as the object's own (non-delegating) IUnknown.
struct INonDelegatingUnknown {
  virtual HRESULT STDMETHODCALLTYPE NonDelegatingQueryInterface(REFIID riid, void** ppv) = 0;
  virtual ULONG STDMETHODCALLTYPE NonDelegatingAddRef() = 0;
  virtual ULONG STDMETHODCALLTYPE NonDelegatingRelease() = 0;
};
typedef INonDelegatingUnknown* PNDUNKNOWN;

// Counts the live objects of this module; DllCanUnloadNow answers S_OK only at zero.
class CBaseObject {
 public:
  explicit CBaseObject(LPCTSTR pName);
  virtual ~CBaseObject();
  CBaseObject(const CBaseObject&) = delete;
  CBaseObject& operator=(const CBaseObject&) = delete;

  static LONG ObjectsActive() { return m_cObjects; }

 private:
  static volatile LONG m_cObjects;
};

class CUnknown : public INonDelegatingUnknown, public CBaseObject {
 public:
  // pUnk is the outer unknown when the object is aggregated, else null.
  CUnknown(LPCTSTR pName, LPUNKNOWN pUnk);
  CUnknown(LPCTSTR pName, LPUNKNOWN pUnk, HRESULT* phr);
  ~CUnknown() override = default;

  // Where the public IUnknown methods of every interface go: the outer unknown
  // when aggregated, else this object's own non-delegating unknown.
  LPUNKNOWN GetOwner() const { return m_pUnknown; }

  STDMETHODIMP NonDelegatingQueryInterface(REFIID riid, void** ppv) override;
  STDMETHODIMP_(ULONG) NonDelegatingAddRef() override;
  STDMETHODIMP_(ULONG) NonDelegatingRelease() override;

 protected:
  volatile LONG m_cRef;

 private:
  const LPUNKNOWN m_pUnknown;
};

// Hands out an interface pointer with a new reference (through its own AddRef).
HRESULT GetInterface(LPUNKNOWN pUnk, void** ppv);

// A CoTaskMemAlloc'ed copy of a wide string, as IPin::QueryId hands out.
HRESULT AMGetWideString(LPCWSTR psz, LPWSTR* ppszReturn);

// The public IUnknown of a class derived from CUnknown: everything goes to the owner.
#define DECLARE_IUNKNOWN                                                  \
  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {         \
    return GetOwner()->QueryInterface(riid, ppv);                         \
  }                                                                       \
  STDMETHODIMP_(ULONG) AddRef() override { return GetOwner()->AddRef(); } \
  STDMETHODIMP_(ULONG) Release() override { return GetOwner()->Release(); }

class CCritSec {
 public:
  CCritSec() { InitializeCriticalSection(&m_CritSec); }
  ~CCritSec() { DeleteCriticalSection(&m_CritSec); }
  CCritSec(const CCritSec&) = delete;
  CCritSec& operator=(const CCritSec&) = delete;
  void Lock() { EnterCriticalSection(&m_CritSec); }
  void Unlock() { LeaveCriticalSection(&m_CritSec); }
  CRITICAL_SECTION& Native() { return m_CritSec; }

 private:
  CRITICAL_SECTION m_CritSec;
};

class CAutoLock {
 public:
  explicit CAutoLock(CCritSec* plock) : m_pLock(plock) { m_pLock->Lock(); }
  ~CAutoLock() { m_pLock->Unlock(); }
  CAutoLock(const CAutoLock&) = delete;
  CAutoLock& operator=(const CAutoLock&) = delete;

 private:
  CCritSec* m_pLock;
};
