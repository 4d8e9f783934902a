#include "FilterTestKit.h"

#include <commdlg.h>
#include <dlgs.h>
#include <turbojpeg.h>

#include <cstring>

#include "TestEnv.h"
#include "orba/MediaType.h"
#include "orba/Scoped.h"
#include "orba/SettingsKey.h"

namespace filter_test {

namespace {

const char kShellFolders[] =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
const char kUserShellFolders[] =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";

// {6E0A3F10-41C2-4D7B-8F3A-1B2C3D4E5F71}
const GUID kClsidAllocatorSink = {
    0x6e0a3f10, 0x41c2, 0x4d7b, {0x8f, 0x3a, 0x1b, 0x2c, 0x3d, 0x4e, 0x5f, 0x71}};

}  // namespace

ComPtr<IBaseFilter> CreateProc() {
  ComPtr<IBaseFilter> filter;
  EXPECT_EQ(S_OK, CoCreateInstance(CLSID_ORBAProc, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                                   filter.PutVoid()));
  return filter;
}

ComPtr<IORBAProc> ProcOf(IUnknown* filter) {
  ComPtr<IORBAProc> proc;
  if (filter) {
    EXPECT_EQ(S_OK, filter->QueryInterface(IID_IORBAProc, proc.PutVoid()));
  }
  return proc;
}

// ---- recording allocator

CSpyAllocator::CSpyAllocator() {
  CoCreateInstance(CLSID_MemoryAllocator, nullptr, CLSCTX_INPROC_SERVER, IID_IMemAllocator,
                   inner_.PutVoid());
}

CSpyAllocator::~CSpyAllocator() = default;

STDMETHODIMP CSpyAllocator::QueryInterface(REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  if (riid == IID_IUnknown || riid == IID_IMemAllocator) {
    *ppv = static_cast<IMemAllocator*>(this);
    AddRef();
    return S_OK;
  }
  *ppv = nullptr;
  return E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) CSpyAllocator::AddRef() { return InterlockedIncrement(&ref_); }

STDMETHODIMP_(ULONG) CSpyAllocator::Release() {
  const LONG ref = InterlockedDecrement(&ref_);
  if (ref == 0) delete this;
  return static_cast<ULONG>(ref);
}

STDMETHODIMP CSpyAllocator::SetProperties(ALLOCATOR_PROPERTIES* pRequest,
                                          ALLOCATOR_PROPERTIES* pActual) {
  if (!pRequest || !pActual) return E_POINTER;
  requests_.push_back(*pRequest);
  if (!inner_) return E_UNEXPECTED;
  ALLOCATOR_PROPERTIES granted = *pRequest;
  if (limitBuffers_ > 0 && granted.cBuffers > limitBuffers_) granted.cBuffers = limitBuffers_;
  if (granted.cbAlign == 0) granted.cbAlign = 1;
  return inner_->SetProperties(&granted, pActual);
}

STDMETHODIMP CSpyAllocator::GetProperties(ALLOCATOR_PROPERTIES* pProps) {
  return inner_ ? inner_->GetProperties(pProps) : E_UNEXPECTED;
}
STDMETHODIMP CSpyAllocator::Commit() { return inner_ ? inner_->Commit() : E_UNEXPECTED; }
STDMETHODIMP CSpyAllocator::Decommit() { return inner_ ? inner_->Decommit() : E_UNEXPECTED; }
STDMETHODIMP CSpyAllocator::GetBuffer(IMediaSample** ppBuffer, REFERENCE_TIME* pStartTime,
                                      REFERENCE_TIME* pEndTime, DWORD dwFlags) {
  return inner_ ? inner_->GetBuffer(ppBuffer, pStartTime, pEndTime, dwFlags) : E_UNEXPECTED;
}
STDMETHODIMP CSpyAllocator::ReleaseBuffer(IMediaSample* pBuffer) {
  return inner_ ? inner_->ReleaseBuffer(pBuffer) : E_UNEXPECTED;
}

CAllocatorSinkPin::CAllocatorSinkPin(CAllocatorSink* filter, CCritSec* lock, HRESULT* phr)
    : CBaseInputPin(nullptr, filter, lock, phr, L"In"), sink_(filter) {}

STDMETHODIMP CAllocatorSinkPin::GetAllocator(IMemAllocator** ppAllocator) {
  if (!ppAllocator) return E_POINTER;
  *ppAllocator = sink_->Allocator();
  (*ppAllocator)->AddRef();
  return S_OK;
}

CAllocatorSink::CAllocatorSink()
    : CBaseFilter(nullptr, nullptr, &lock_, kClsidAllocatorSink), allocator_(new CSpyAllocator()) {
  HRESULT hr = S_OK;
  pin_ = new CAllocatorSinkPin(this, &lock_, &hr);
}

CAllocatorSink::~CAllocatorSink() {
  delete pin_;
  allocator_->Release();
}

// ---- chain

TapChain::TapChain(const CMediaType& type) {
  graph = CreateGraph();
  source_ = new CPushSource(type, kSourceBufferBytes);
  sourceFilter_ = static_cast<IBaseFilter*>(source_);
  proc_ = CreateProc();
  control_ = ProcOf(proc_.Get());
  renderer_ = CreateFilter(kClsidNullRenderer);
  if (!graph || !proc_ || !renderer_) return;
  EXPECT_EQ(S_OK, graph->AddFilter(sourceFilter_.Get(), L"Source"));
  EXPECT_EQ(S_OK, graph->AddFilter(proc_.Get(), L"ORBA Proc"));
  EXPECT_EQ(S_OK, graph->AddFilter(renderer_.Get(), L"Null Renderer"));
  EXPECT_EQ(S_OK, graph->ConnectDirect(source_->OutPin(), PinOf(proc_.Get(), L"In").Get(), &type));
}

TapChain::~TapChain() { Stop(); }

HRESULT TapChain::ConnectOutput() {
  return graph->ConnectDirect(PinOf(proc_.Get(), L"Out").Get(), FirstPin(renderer_.Get()).Get(),
                              nullptr);
}

void TapChain::Run() {
  ASSERT_EQ(S_OK, graph->QueryInterface(IID_IMediaControl, media_.PutVoid()));
  const HRESULT hr = media_->Run();
  ASSERT_TRUE(SUCCEEDED(hr)) << std::hex << hr;
  // The renderer completes its move to running only with the first sample.
  OAFilterState state = State_Stopped;
  const HRESULT hrState = media_->GetState(100, &state);
  ASSERT_TRUE(hrState == S_OK || hrState == VFW_S_STATE_INTERMEDIATE) << std::hex << hrState;
  ASSERT_EQ(State_Running, state);
}

void TapChain::Stop() {
  if (media_) media_->Stop();
}

// ---- fake sample

FakeSample::FakeSample(std::string bytes, const AM_MEDIA_TYPE* announce)
    : bytes_(std::move(bytes)) {
  if (announce) announce_.reset(new CMediaType(*announce));
}

FakeSample::~FakeSample() = default;

STDMETHODIMP FakeSample::QueryInterface(REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  if (riid == IID_IUnknown || riid == IID_IMediaSample) {
    *ppv = static_cast<IMediaSample*>(this);
    AddRef();
    return S_OK;
  }
  *ppv = nullptr;
  return E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) FakeSample::AddRef() { return InterlockedIncrement(&ref_); }

STDMETHODIMP_(ULONG) FakeSample::Release() {
  const LONG ref = InterlockedDecrement(&ref_);
  if (ref == 0) delete this;
  return static_cast<ULONG>(ref);
}

STDMETHODIMP FakeSample::GetPointer(BYTE** ppBuffer) {
  if (!ppBuffer) return E_POINTER;
  *ppBuffer = reinterpret_cast<BYTE*>(&bytes_[0]);
  return S_OK;
}

STDMETHODIMP FakeSample::GetMediaType(AM_MEDIA_TYPE** ppMediaType) {
  if (!ppMediaType) return E_POINTER;
  *ppMediaType = nullptr;
  if (!announce_) return S_FALSE;
  *ppMediaType = orba::CreateMediaTypeCopy(announce_.get());
  return *ppMediaType ? S_OK : E_OUTOFMEMORY;
}

// ---- JPEG

std::string MakeJpeg(int width, int height, int seed) {
  std::vector<unsigned char> rgb(static_cast<size_t>(width) * height * 3);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      unsigned char* p = &rgb[(static_cast<size_t>(y) * width + x) * 3];
      p[0] = static_cast<unsigned char>((x * 255) / (width - 1));
      p[1] = static_cast<unsigned char>((y * 255) / (height - 1));
      p[2] = static_cast<unsigned char>(((x / 8 + y / 8 + seed) % 2) * 200 + seed * 7);
    }
  }
  tjhandle tj = tjInitCompress();
  unsigned char* out = nullptr;
  unsigned long size = 0;
  std::string jpeg;
  if (tj && tjCompress2(tj, rgb.data(), width, 0, height, TJPF_RGB, &out, &size, TJSAMP_422, 85,
                        0) == 0) {
    jpeg.assign(reinterpret_cast<const char*>(out), size);
  }
  if (out) tjFree(out);
  if (tj) tjDestroy(tj);
  return jpeg;
}

namespace {

// Calls visit(marker, segmentStart, segmentEnd) for each segment before the
// first SOS; returns the offset of the SOS marker, or npos.
template <class Visit>
size_t WalkSegments(const std::string& j, Visit visit) {
  if (j.size() < 4 || static_cast<unsigned char>(j[0]) != 0xFF ||
      static_cast<unsigned char>(j[1]) != 0xD8) {
    return std::string::npos;
  }
  size_t pos = 2;
  while (pos + 4 <= j.size()) {
    if (static_cast<unsigned char>(j[pos]) != 0xFF) return std::string::npos;
    const unsigned char marker = static_cast<unsigned char>(j[pos + 1]);
    if (marker == 0xDA) return pos;
    const size_t length =
        (static_cast<unsigned char>(j[pos + 2]) << 8) | static_cast<unsigned char>(j[pos + 3]);
    visit(marker, pos, pos + 2 + length);
    pos += 2 + length;
  }
  return std::string::npos;
}

}  // namespace

std::string StripHuffmanTables(const std::string& jpeg) {
  std::string out = jpeg.substr(0, 2);
  size_t copied = 2;
  const size_t sos = WalkSegments(jpeg, [&](unsigned char marker, size_t start, size_t end) {
    if (marker != 0xC4) out.append(jpeg, start, end - start);
    copied = end;
  });
  if (sos == std::string::npos) return jpeg;
  out.append(jpeg, sos, std::string::npos);
  return out;
}

bool HasTablesBeforeScan(const std::string& jpeg) {
  bool found = false;
  const size_t sos = WalkSegments(jpeg, [&](unsigned char marker, size_t, size_t) {
    if (marker == 0xC4) found = true;
  });
  return sos != std::string::npos && found;
}

bool DecodeJpeg(const std::string& jpeg, std::vector<unsigned char>* rgb, int* width, int* height) {
  tjhandle tj = tjInitDecompress();
  if (!tj) return false;
  int w = 0, h = 0, sub = 0, colorspace = 0;
  bool ok =
      tjDecompressHeader3(tj, reinterpret_cast<const unsigned char*>(jpeg.data()),
                          static_cast<unsigned long>(jpeg.size()), &w, &h, &sub, &colorspace) == 0;
  if (ok) {
    rgb->assign(static_cast<size_t>(w) * h * 3, 0);
    ok = tjDecompress2(tj, reinterpret_cast<const unsigned char*>(jpeg.data()),
                       static_cast<unsigned long>(jpeg.size()), rgb->data(), w, 0, h, TJPF_RGB,
                       0) == 0;
  }
  tjDestroy(tj);
  if (width) *width = w;
  if (height) *height = h;
  return ok;
}

// ---- folders and registry

PictureFolderScope::PictureFolderScope()
    : shellFolders_(HKEY_CURRENT_USER, kShellFolders),
      userShellFolders_(HKEY_CURRENT_USER, kUserShellFolders),
      root_(orba_test::MakeTempDir("pictures")) {
  EXPECT_TRUE(orba_test::WriteTextValue(HKEY_CURRENT_USER, kShellFolders, "My Pictures", root_));
  EXPECT_TRUE(
      orba_test::WriteTextValue(HKEY_CURRENT_USER, kUserShellFolders, "My Pictures", root_));
}

PictureFolderScope::~PictureFolderScope() { orba_test::RemoveTree(root_); }

SettingsKeyScope::SettingsKeyScope(bool create) : saved_(HKEY_CURRENT_USER, orba::kSettingsKey) {
  orba_test::DeleteRegistryTree(HKEY_CURRENT_USER, orba::kSettingsKey);
  if (create) {
    orba::ScopedHKEY key;
    EXPECT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CURRENT_USER, orba::kSettingsKey, 0, nullptr, 0,
                                             KEY_ALL_ACCESS, nullptr, key.Put(), nullptr));
  }
}

std::string SettingsKeyScope::ReadText(const char* value) const {
  char buf[2048] = {};
  DWORD size = sizeof buf - 1;
  DWORD type = 0;
  if (RegGetValueA(HKEY_CURRENT_USER, orba::kSettingsKey, value, RRF_RT_ANY, &type, buf, &size) !=
      ERROR_SUCCESS) {
    return std::string();
  }
  return std::string(buf, strnlen(buf, size));
}

bool SettingsKeyScope::WriteText(const char* value, const std::string& text) const {
  return orba_test::WriteTextValue(HKEY_CURRENT_USER, orba::kSettingsKey, value, text);
}

bool SettingsKeyScope::HasValue(const char* value) const {
  return RegGetValueA(HKEY_CURRENT_USER, orba::kSettingsKey, value, RRF_RT_ANY, nullptr, nullptr,
                      nullptr) == ERROR_SUCCESS;
}

std::string ShortPath(const std::string& path) {
  char buf[MAX_PATH] = {};
  const DWORD n = GetShortPathNameA(path.c_str(), buf, MAX_PATH);
  return n > 0 && n < MAX_PATH ? std::string(buf, n) : std::string();
}

// ---- Save As dialog

SaveDialogDriver::SaveDialogDriver(Action action, std::string path)
    : action_(action), path_(std::move(path)), done_(CreateEventA(nullptr, TRUE, FALSE, nullptr)) {
  thread_ = std::thread([this] { Drive(); });
}

SaveDialogDriver::~SaveDialogDriver() {
  stop_ = true;
  if (thread_.joinable()) thread_.join();
  CloseHandle(done_);
}

bool SaveDialogDriver::Finish(DWORD timeoutMs) {
  WaitForSingleObject(done_, timeoutMs);
  return handled_;
}

void SaveDialogDriver::Drive() {
  const DWORD start = GetTickCount();
  HWND dialog = nullptr;
  while (!stop_ && GetTickCount() - start < 20000) {
    dialog = FindWindowW(L"#32770", L"Save image file...");
    if (dialog && IsWindowVisible(dialog)) break;
    dialog = nullptr;
    Sleep(50);
  }
  if (!dialog) {
    SetEvent(done_);
    return;
  }
  // The file name field: a combo box in the newer dialogs, an edit in the older.
  HWND name = GetDlgItem(dialog, cmb13);
  if (!name) name = GetDlgItem(dialog, edt1);
  wchar_t text[MAX_PATH] = {};
  if (name) GetWindowTextW(name, text, MAX_PATH);
  shownName_ = text;
  wchar_t folder[MAX_PATH] = {};
  if (SendMessageW(dialog, CDM_GETFOLDERPATH, MAX_PATH, reinterpret_cast<LPARAM>(folder)) > 0) {
    shownFolder_ = folder;
  }
  if (action_ == Action::kSaveAs && name) {
    std::wstring wide(path_.begin(), path_.end());
    SetWindowTextW(name, wide.c_str());
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog, IDOK)));
  } else {
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog, IDCANCEL)));
  }
  const DWORD closing = GetTickCount();
  while (IsWindow(dialog) && GetTickCount() - closing < 10000) Sleep(20);
  handled_ = !IsWindow(dialog);
  SetEvent(done_);
}

}  // namespace filter_test
