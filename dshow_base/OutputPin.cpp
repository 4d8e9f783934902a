#include "dshow_base/OutputPin.h"

CBaseOutputPin::CBaseOutputPin(LPCTSTR pObjectName, CBaseFilter* pFilter, CCritSec* pLock,
                               HRESULT* phr, LPCWSTR pName)
    : CBasePin(pObjectName, pFilter, pLock, phr, pName, PINDIR_OUTPUT),
      m_pAllocator(nullptr),
      m_pInputPin(nullptr) {}

CBaseOutputPin::~CBaseOutputPin() {
  if (m_pAllocator) m_pAllocator->Release();
  if (m_pInputPin) m_pInputPin->Release();
}

HRESULT CBaseOutputPin::CompleteConnect(IPin*) {
  return DecideAllocator(m_pInputPin, &m_pAllocator);
}

HRESULT CBaseOutputPin::CheckConnect(IPin* pPin) {
  HRESULT hr = CBasePin::CheckConnect(pPin);
  if (FAILED(hr)) return hr;
  if (m_pInputPin) {
    m_pInputPin->Release();
    m_pInputPin = nullptr;
  }
  hr = pPin->QueryInterface(IID_IMemInputPin, reinterpret_cast<void**>(&m_pInputPin));
  if (FAILED(hr)) {
    m_pInputPin = nullptr;
    return VFW_E_NO_TRANSPORT;
  }
  return S_OK;
}

HRESULT CBaseOutputPin::BreakConnect() {
  if (m_pAllocator) {
    m_pAllocator->Decommit();
    m_pAllocator->Release();
    m_pAllocator = nullptr;
  }
  if (m_pInputPin) {
    m_pInputPin->Release();
    m_pInputPin = nullptr;
  }
  return S_OK;
}

namespace {

void ReleaseAllocator(IMemAllocator** ppAlloc) {
  if (*ppAlloc) {
    (*ppAlloc)->Release();
    *ppAlloc = nullptr;
  }
}

}  // namespace

HRESULT CBaseOutputPin::DecideAllocator(IMemInputPin* pPin, IMemAllocator** ppAlloc) {
  if (!pPin || !ppAlloc) return E_POINTER;
  ReleaseAllocator(ppAlloc);
  ALLOCATOR_PROPERTIES request = {};
  pPin->GetAllocatorRequirements(&request);
  if (request.cbAlign == 0) request.cbAlign = 1;

  // Sizes the allocator in *ppAlloc and hands it to the downstream pin; lets it
  // go when either step fails.
  const auto offer = [&]() -> HRESULT {
    if (!*ppAlloc) return E_POINTER;
    ALLOCATOR_PROPERTIES props = request;
    HRESULT hr = DecideBufferSize(*ppAlloc, &props);
    if (SUCCEEDED(hr)) hr = pPin->NotifyAllocator(*ppAlloc, FALSE);
    if (SUCCEEDED(hr)) return S_OK;
    ReleaseAllocator(ppAlloc);
    return hr;
  };

  // First the downstream pin's own allocator, if it has one.
  if (SUCCEEDED(pPin->GetAllocator(ppAlloc)) && *ppAlloc && SUCCEEDED(offer())) return S_OK;
  ReleaseAllocator(ppAlloc);

  // Otherwise a memory allocator of our own, handed down.
  const HRESULT hr = InitAllocator(ppAlloc);
  if (SUCCEEDED(hr)) return offer();
  ReleaseAllocator(ppAlloc);
  return hr;
}

HRESULT CBaseOutputPin::InitAllocator(IMemAllocator** ppAlloc) {
  return CoCreateInstance(CLSID_MemoryAllocator, nullptr, CLSCTX_INPROC_SERVER, IID_IMemAllocator,
                          reinterpret_cast<void**>(ppAlloc));
}

HRESULT CBaseOutputPin::Active() {
  if (!m_pAllocator) return VFW_E_NO_ALLOCATOR;
  return m_pAllocator->Commit();
}

HRESULT CBaseOutputPin::Inactive() {
  m_bRunTimeError = FALSE;
  if (!m_pAllocator) return VFW_E_NO_ALLOCATOR;
  return m_pAllocator->Decommit();
}

HRESULT CBaseOutputPin::GetDeliveryBuffer(IMediaSample** ppSample, REFERENCE_TIME* pStartTime,
                                          REFERENCE_TIME* pEndTime, DWORD dwFlags) {
  if (!ppSample) return E_POINTER;
  *ppSample = nullptr;
  if (!m_pAllocator) return VFW_E_NO_ALLOCATOR;
  return m_pAllocator->GetBuffer(ppSample, pStartTime, pEndTime, dwFlags);
}

HRESULT CBaseOutputPin::Deliver(IMediaSample* pSample) {
  if (!m_pInputPin) return VFW_E_NOT_CONNECTED;
  return m_pInputPin->Receive(pSample);
}

HRESULT CBaseOutputPin::DeliverEndOfStream() {
  if (!m_Connected) return VFW_E_NOT_CONNECTED;
  return m_Connected->EndOfStream();
}

HRESULT CBaseOutputPin::DeliverBeginFlush() {
  if (!m_Connected) return VFW_E_NOT_CONNECTED;
  return m_Connected->BeginFlush();
}

HRESULT CBaseOutputPin::DeliverEndFlush() {
  if (!m_Connected) return VFW_E_NOT_CONNECTED;
  return m_Connected->EndFlush();
}

HRESULT CBaseOutputPin::DeliverNewSegment(REFERENCE_TIME tStart, REFERENCE_TIME tStop,
                                          double dRate) {
  if (!m_Connected) return VFW_E_NOT_CONNECTED;
  return m_Connected->NewSegment(tStart, tStop, dRate);
}
