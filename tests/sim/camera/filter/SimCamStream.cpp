#include <cstdio>
#include <cstring>
#include <vector>

#include "SimCamFilter.h"
#include "orba/Log.h"
#include "orba/Scoped.h"
#include "simcam/SimCamFrames.h"
#include "simcam/SimCamIds.h"

namespace simcam {

CSimCamStream::~CSimCamStream() { Stop(); }

HRESULT CSimCamStream::Start(CSimCamPin* pin, const Options& options) {
  if (thread_) return S_OK;
  pin_ = pin;
  options_ = options;
  stopEvent_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  unpluggedEvent_ = CreateEventA(nullptr, TRUE, FALSE, kUnpluggedEvent);
  if (!stopEvent_ || !unpluggedEvent_) {
    Stop();
    return HRESULT_FROM_WIN32(GetLastError());
  }
  thread_ = CreateThread(nullptr, 0, ThreadProc, this, 0, nullptr);
  if (!thread_) {
    const HRESULT hr = HRESULT_FROM_WIN32(GetLastError());
    Stop();
    return hr;
  }
  return S_OK;
}

void CSimCamStream::Stop() {
  if (thread_) {
    SetEvent(stopEvent_);
    WaitForSingleObject(thread_, INFINITE);
    CloseHandle(thread_);
    thread_ = nullptr;
  }
  if (stopEvent_) CloseHandle(stopEvent_);
  if (unpluggedEvent_) CloseHandle(unpluggedEvent_);
  stopEvent_ = unpluggedEvent_ = nullptr;
  SetRunning(false, nullptr, 0);
}

void CSimCamStream::SetRunning(bool running, IReferenceClock* clock, REFERENCE_TIME tStart) {
  CAutoLock lock(&lock_);
  if (clock) clock->AddRef();
  if (clock_) clock_->Release();
  clock_ = clock;
  tStart_ = tStart;
  if (running && !running_) nextStamp_ = 0;
  running_ = running;
}

DWORD WINAPI CSimCamStream::ThreadProc(void* self) {
  // GDI and the encoder want COM-free, plain threads; nothing else is needed.
  static_cast<CSimCamStream*>(self)->Loop();
  return 0;
}

REFERENCE_TIME CSimCamStream::Now() {
  // Stream time on the graph clock; without a clock, frame after frame.
  CAutoLock lock(&lock_);
  REFERENCE_TIME now = 0;
  if (clock_ && SUCCEEDED(clock_->GetTime(&now))) {
    now -= tStart_;
    if (now < nextStamp_) now = nextStamp_;
  } else {
    now = nextStamp_;
  }
  nextStamp_ = now + pin_->FrameInterval();
  return now;
}

void CSimCamStream::Loop() {
  FrameGenerator generator;
  if (!generator.Ok()) {
    DebugLine("SimCam: frame generator unavailable");
    return;
  }
  const DWORD periodMs = static_cast<DWORD>(pin_->FrameInterval() / 10000);
  ULONGLONG due = GetTickCount64();
  bool first = true;
  std::vector<uint8_t> jpeg;
  for (;;) {
    const ULONGLONG now = GetTickCount64();
    const DWORD wait = due > now ? static_cast<DWORD>(due - now) : 0;
    if (WaitForSingleObject(stopEvent_, wait) == WAIT_OBJECT_0) break;
    due += periodMs;
    // After a long stall the rhythm starts again instead of catching up.
    if (due + periodMs < GetTickCount64()) due = GetTickCount64() + periodMs;

    bool running;
    {
      CAutoLock lock(&lock_);
      running = running_;
    }
    if (!running) {
      first = true;
      continue;
    }
    // An unplugged camera delivers nothing.
    if (WaitForSingleObject(unpluggedEvent_, 0) == WAIT_OBJECT_0) continue;

    FrameOptions frameOptions;
    frameOptions.omitHuffmanTables = options_.omitHuffmanTables;
    if (!generator.Generate(nextFrame_, frameOptions, &jpeg)) continue;

    IMediaSample* sample = nullptr;
    if (FAILED(pin_->GetDeliveryBuffer(&sample, nullptr, nullptr, 0)) || !sample) continue;
    BYTE* data = nullptr;
    if (FAILED(sample->GetPointer(&data)) || sample->GetSize() < static_cast<long>(jpeg.size())) {
      sample->Release();
      continue;
    }
    std::memcpy(data, jpeg.data(), jpeg.size());
    sample->SetActualDataLength(static_cast<long>(jpeg.size()));
    REFERENCE_TIME start = Now();
    REFERENCE_TIME stop = start + pin_->FrameInterval();
    sample->SetTime(&start, &stop);
    LONGLONG mediaStart = nextFrame_;
    LONGLONG mediaStop = mediaStart + 1;
    sample->SetMediaTime(&mediaStart, &mediaStop);
    sample->SetSyncPoint(TRUE);
    sample->SetDiscontinuity(first ? TRUE : FALSE);
    const HRESULT hr = pin_->Deliver(sample);
    sample->Release();
    if (FAILED(hr)) continue;
    first = false;

    if (!options_.dumpFolder.empty()) {
      char path[MAX_PATH];
      if (std::snprintf(path, sizeof path, "%s\\simcam_%lu.jpg", options_.dumpFolder.c_str(),
                        static_cast<unsigned long>(nextFrame_)) < static_cast<int>(sizeof path)) {
        orba::ScopedHandle file(CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                            CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        DWORD written = 0;
        if (file)
          WriteFile(file.Get(), jpeg.data(), static_cast<DWORD>(jpeg.size()), &written, nullptr);
      }
    }
    ++nextFrame_;
    InterlockedIncrement(&delivered_);
  }
}

}  // namespace simcam
