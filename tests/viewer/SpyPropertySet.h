#pragma once
// A spy IKsPropertySet: it notes every call, standing in for the camera's
// property set in the protocol tests.
#include <windows.h>

#include <dshow.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "Camera.h"
#include "CameraCommands.h"

struct KsCall {
  bool isSet = false;
  GUID set = {};
  DWORD id = 0;
  bool hasInstance = false;
  DWORD instanceBytes = 0;
  DWORD dataBytes = 0;
  bool instanceIsData = false;  // the same buffer passed as instance and as data
  std::vector<uint8_t> data;    // the property data as it was at the call

  KSPROPERTY_CAMERACONTROL_S2 Record() const {
    KSPROPERTY_CAMERACONTROL_S2 r;
    std::memset(&r, 0, sizeof r);
    std::memcpy(&r, data.data(), data.size() < sizeof r ? data.size() : sizeof r);
    return r;
  }
};

class SpyPropertySet : public IKsPropertySet {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (iid == IID_IUnknown || iid == kIID_IKsPropertySet) {
      *out = static_cast<IKsPropertySet*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
  ULONG STDMETHODCALLTYPE Release() override { return --refs_; }

  HRESULT STDMETHODCALLTYPE Set(REFGUID set, DWORD id, LPVOID instance, DWORD instanceBytes,
                                LPVOID data, DWORD dataBytes) override {
    calls.push_back(Make(true, set, id, instance, instanceBytes, data, dataBytes));
    return setResult;
  }
  HRESULT STDMETHODCALLTYPE Get(REFGUID set, DWORD id, LPVOID instance, DWORD instanceBytes,
                                LPVOID data, DWORD dataBytes, DWORD* returned) override {
    calls.push_back(Make(false, set, id, instance, instanceBytes, data, dataBytes));
    if (returned) *returned = dataBytes;
    return getResult;
  }
  HRESULT STDMETHODCALLTYPE QuerySupported(REFGUID, DWORD, DWORD* support) override {
    if (support) *support = 0;
    return E_NOTIMPL;
  }

  std::vector<KsCall> calls;
  HRESULT setResult = S_OK;
  HRESULT getResult = S_OK;
  ULONG refs_ = 1;

 private:
  static KsCall Make(bool isSet, REFGUID set, DWORD id, LPVOID instance, DWORD instanceBytes,
                     LPVOID data, DWORD dataBytes) {
    KsCall c;
    c.isSet = isSet;
    c.set = set;
    c.id = id;
    c.hasInstance = instance != nullptr;
    c.instanceBytes = instanceBytes;
    c.dataBytes = dataBytes;
    c.instanceIsData = instance != nullptr && instance == data;
    if (data) {
      const auto* p = static_cast<const uint8_t*>(data);
      c.data.assign(p, p + dataBytes);
    }
    return c;
  }
};

// Rebuilds the frame from the three packets of a send (the inverse of the packing).
inline bool DecodeFrame(const std::vector<KsCall>& calls, size_t first, uint8_t (&frame)[10],
                        uint16_t* sum) {
  if (calls.size() < first + 3) return false;
  uint8_t packets[3][5];
  for (int n = 0; n < 3; ++n) {
    const auto r = calls[first + n].Record();
    const uint32_t v1 = static_cast<uint32_t>(r.Value1);
    const uint32_t v2 = static_cast<uint32_t>(r.Value2);
    packets[n][0] = v1 & 0xFF;
    packets[n][1] = (v1 >> 8) & 0xFF;
    packets[n][2] = static_cast<uint8_t>(((v1 >> 16) & 0x0F) | (((v2 >> 16) & 0x0F) << 4));
    packets[n][3] = v2 & 0xFF;
    packets[n][4] = (v2 >> 8) & 0xFF;
    if (packets[n][0] != n + 1) return false;
  }
  std::memcpy(frame, &packets[0][1], 4);
  std::memcpy(frame + 4, &packets[1][1], 4);
  frame[8] = packets[2][1];
  frame[9] = packets[2][2];
  *sum = static_cast<uint16_t>(packets[2][3] | (packets[2][4] << 8));
  return true;
}
