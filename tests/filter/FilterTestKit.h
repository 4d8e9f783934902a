#pragma once
// Helpers of the ORBAProc tests: the filter created through the registry, a
// sink that records its allocator, a chain source -> ORBAProc ->
// Null Renderer, JPEG material made with TurboJPEG, redirected picture folders
// and a driver for the Save As dialog.
#include <windows.h>

#include <dshow.h>
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "IORBAProc.h"
#include "IORBAProcArea.h"
#include "RegistrySnapshot.h"
#include "TestEnv.h"
#include "TestFilters.h"
#include "dshow_base/Streams.h"
#include "orba/ComPtr.h"

namespace filter_test {

using orba::ComPtr;
using orba_test::ComScope;
using orba_test::CPushSource;
using orba_test::CreateFilter;
using orba_test::CreateGraph;
using orba_test::FirstPin;
using orba_test::kClsidNullRenderer;
using orba_test::MakeMjpgType;
using orba_test::PinOf;
using orba_test::RefCount;

// Buffers of the test source: room for any frame the tests push.
constexpr long kSourceBufferBytes = 2 * 1024 * 1024;

// ORBAProc through CoCreateInstance (the registered ORBAProc.ax).
ComPtr<IBaseFilter> CreateProc();
ComPtr<IORBAProc> ProcOf(IUnknown* filter);

// ---- a spy allocator: it notes what it is asked for

class CSpyAllocator : public IMemAllocator {
 public:
  CSpyAllocator();
  virtual ~CSpyAllocator();
  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
  STDMETHODIMP_(ULONG) AddRef() override;
  STDMETHODIMP_(ULONG) Release() override;
  STDMETHODIMP SetProperties(ALLOCATOR_PROPERTIES* pRequest,
                             ALLOCATOR_PROPERTIES* pActual) override;
  STDMETHODIMP GetProperties(ALLOCATOR_PROPERTIES* pProps) override;
  STDMETHODIMP Commit() override;
  STDMETHODIMP Decommit() override;
  STDMETHODIMP GetBuffer(IMediaSample** ppBuffer, REFERENCE_TIME* pStartTime,
                         REFERENCE_TIME* pEndTime, DWORD dwFlags) override;
  STDMETHODIMP ReleaseBuffer(IMediaSample* pBuffer) override;

  std::vector<ALLOCATOR_PROPERTIES> Requests() const { return requests_; }
  // Grants at most this many buffers (0: what is asked).
  void LimitBuffers(long count) { limitBuffers_ = count; }

 private:
  volatile LONG ref_ = 1;
  ComPtr<IMemAllocator> inner_;
  std::vector<ALLOCATOR_PROPERTIES> requests_;
  long limitBuffers_ = 0;
};

class CAllocatorSink;

class CAllocatorSinkPin : public CBaseInputPin {
 public:
  CAllocatorSinkPin(CAllocatorSink* filter, CCritSec* lock, HRESULT* phr);
  HRESULT CheckMediaType(const CMediaType*) override { return S_OK; }
  STDMETHODIMP GetAllocator(IMemAllocator** ppAllocator) override;
  IMemAllocator* CurrentAllocator() const { return m_pAllocator; }

 private:
  CAllocatorSink* sink_;
};

// A sink that offers a recording allocator to the pin connected to it.
class CAllocatorSink : public CBaseFilter {
 public:
  CAllocatorSink();
  ~CAllocatorSink() override;
  int GetPinCount() override { return 1; }
  CBasePin* GetPin(int n) override { return n == 0 ? pin_ : nullptr; }
  CAllocatorSinkPin* Pin() { return pin_; }
  CSpyAllocator* Allocator() { return allocator_; }

 private:
  CCritSec lock_;
  CAllocatorSinkPin* pin_;
  CSpyAllocator* allocator_;
};

// ---- source -> ORBAProc -> Null Renderer in one of Wine's filter graphs

class TapChain {
 public:
  // Builds the graph and connects the source to the filter with the type.
  explicit TapChain(const CMediaType& type);
  ~TapChain();
  // Connects the filter's output to the Null Renderer.
  HRESULT ConnectOutput();
  // Runs the graph (the filter needs its output connected to take samples).
  void Run();
  void Stop();
  HRESULT Push(const std::string& bytes, const AM_MEDIA_TYPE* announce = nullptr) {
    return source_->Push(bytes, announce);
  }
  IBaseFilter* Filter() const { return proc_.Get(); }
  IORBAProc* Proc() const { return control_.Get(); }
  CPushSource* Source() const { return source_; }

  ComPtr<IGraphBuilder> graph;

 private:
  CPushSource* source_ = nullptr;
  ComPtr<IBaseFilter> sourceFilter_;
  ComPtr<IBaseFilter> proc_;
  ComPtr<IORBAProc> control_;
  ComPtr<IBaseFilter> renderer_;
  ComPtr<IMediaControl> media_;
};

// ---- a sample for calling Transform directly

class FakeSample : public IMediaSample {
 public:
  explicit FakeSample(std::string bytes, const AM_MEDIA_TYPE* announce = nullptr);
  virtual ~FakeSample();
  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
  STDMETHODIMP_(ULONG) AddRef() override;
  STDMETHODIMP_(ULONG) Release() override;
  STDMETHODIMP GetPointer(BYTE** ppBuffer) override;
  STDMETHODIMP_(long) GetSize() override { return static_cast<long>(bytes_.size()); }
  STDMETHODIMP GetTime(REFERENCE_TIME*, REFERENCE_TIME*) override {
    return VFW_E_SAMPLE_TIME_NOT_SET;
  }
  STDMETHODIMP SetTime(REFERENCE_TIME*, REFERENCE_TIME*) override { return S_OK; }
  STDMETHODIMP IsSyncPoint() override { return S_OK; }
  STDMETHODIMP SetSyncPoint(BOOL) override { return S_OK; }
  STDMETHODIMP IsPreroll() override { return S_FALSE; }
  STDMETHODIMP SetPreroll(BOOL) override { return S_OK; }
  STDMETHODIMP_(long) GetActualDataLength() override {
    return claimed_ >= 0 ? claimed_ : static_cast<long>(bytes_.size());
  }
  // A broken sample: claims more data than its buffer holds.
  void ClaimLength(long length) { claimed_ = length; }
  STDMETHODIMP SetActualDataLength(long) override { return S_OK; }
  STDMETHODIMP GetMediaType(AM_MEDIA_TYPE** ppMediaType) override;
  STDMETHODIMP SetMediaType(AM_MEDIA_TYPE*) override { return S_OK; }
  STDMETHODIMP IsDiscontinuity() override { return S_FALSE; }
  STDMETHODIMP SetDiscontinuity(BOOL) override { return S_OK; }
  STDMETHODIMP GetMediaTime(LONGLONG*, LONGLONG*) override { return VFW_E_MEDIA_TIME_NOT_SET; }
  STDMETHODIMP SetMediaTime(LONGLONG*, LONGLONG*) override { return S_OK; }

 private:
  volatile LONG ref_ = 1;
  long claimed_ = -1;
  std::string bytes_;
  std::unique_ptr<CMediaType> announce_;
};

// ---- JPEG material

// A JPEG of a colour pattern, with Huffman tables, as TurboJPEG encodes it.
std::string MakeJpeg(int width, int height, int seed);
// The same stream without its DHT segments, as motion-JPEG cameras send frames.
std::string StripHuffmanTables(const std::string& jpeg);
// True when a DHT segment comes before the first SOS.
bool HasTablesBeforeScan(const std::string& jpeg);
// Decodes to RGB; false when TurboJPEG refuses the stream.
bool DecodeJpeg(const std::string& jpeg, std::vector<unsigned char>* rgb, int* width, int* height);

// ---- folders and registry

// Points the user's "My Pictures" at a fresh folder for the test and puts the
// shell folder keys back afterwards.
class PictureFolderScope {
 public:
  PictureFolderScope();
  ~PictureFolderScope();
  const std::string& Root() const { return root_; }
  // Root() + "\ORBA": the filter's picture folder.
  std::string Folder() const { return root_ + "\\ORBA"; }

 private:
  orba_test::ScopedRegistryTree shellFolders_;
  orba_test::ScopedRegistryTree userShellFolders_;
  std::string root_;
};

// The viewer's settings key (orba::kSettingsKey under HKCU), created for the test
// as the viewer would, and put back as it was afterwards.
class SettingsKeyScope {
 public:
  explicit SettingsKeyScope(bool create = true);
  std::string ReadText(const char* value) const;
  bool WriteText(const char* value, const std::string& text) const;
  bool HasValue(const char* value) const;

 private:
  orba_test::ScopedRegistryTree saved_;
};

// File names (not paths) in a folder, sorted.
inline std::vector<std::string> FilesIn(const std::string& folder) {
  return orba_test::ListFolder(folder, orba_test::ListWhat::kFilesOnly);
}
// The short (8.3) form of a path.
std::string ShortPath(const std::string& path);

// ---- the Save As dialog, driven as a user would

class SaveDialogDriver {
 public:
  enum class Action { kSaveAs, kCancel };
  // Waits on its own thread for the dialog titled "Save image file...", notes
  // what it shows, and then types the path and saves, or cancels.
  SaveDialogDriver(Action action, std::string path = std::string());
  ~SaveDialogDriver();
  // Waits for the driver to finish; true when it found and handled the dialog.
  bool Finish(DWORD timeoutMs = 20000);
  // The file name field and the folder as the dialog showed them.
  std::wstring ShownName() const { return shownName_; }
  std::wstring ShownFolder() const { return shownFolder_; }

 private:
  void Drive();

  Action action_;
  std::string path_;
  std::thread thread_;
  std::atomic<bool> stop_{false};
  std::atomic<bool> handled_{false};
  HANDLE done_;
  std::wstring shownName_;
  std::wstring shownFolder_;
};

}  // namespace filter_test
