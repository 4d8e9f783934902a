#include "AviWriter.h"

#include <algorithm>
#include <cstring>

#include "orba/Text.h"

namespace {

// Frames larger than this are refused before any size is computed, so that the
// heap and image sizes below cannot overflow on the 32-bit build.
constexpr int kMaxFrameSide = 16384;

bool IsUsableFrame(int width, int height, const void* bits, int bitsPerPixel) {
  if (!bits) return false;
  if (width <= 0 || height <= 0 || width > kMaxFrameSide || height > kMaxFrameSide) return false;
  return bitsPerPixel == 8 || bitsPerPixel == 16 || bitsPerPixel == 24 || bitsPerPixel == 32;
}

DWORD FrameBytes(int width, int height, int bitsPerPixel) {
  return static_cast<DWORD>(width) * static_cast<DWORD>(height) * static_cast<DWORD>(bitsPerPixel) /
         8;
}

}  // namespace

AviWriter::AviWriter(const char* fileName, DWORD codec, DWORD rate, DWORD scale, DWORD quality) {
  AVIFileInit();
  heap_ = nullptr;
  frameMemory_ = nullptr;
  sampleIndex_ = 0;
  file_ = nullptr;
  stream_ = nullptr;
  compressedStream_ = nullptr;
  std::memset(&streamHeader_, 0, sizeof streamHeader_);
  std::memset(&compressOptions_, 0, sizeof compressOptions_);
  codec_ = codec;
  rate_ = rate;
  scale_ = scale;
  quality_ = quality == 0 ? static_cast<DWORD>(ICQUALITY_DEFAULT) : quality;
  orba::CopyBounded(fileName_, sizeof fileName_, fileName ? fileName : "");
  SetLastErrorMessage("Method Succeeded");
  state_ = kNotOpened;
  frameSteps_[kClosed] = &AviWriter::AppendAfterFailure;
  frameSteps_[kNotOpened] = &AviWriter::AppendFirstFrame;
  frameSteps_[kOpen] = &AviWriter::AppendNextFrame;
}

AviWriter::~AviWriter() {
  CloseAll();
  AVIFileExit();
}

HRESULT AviWriter::AppendNewFrame(int width, int height, const void* bits, int bitsPerPixel) {
  if (state_ < kClosed || state_ > kOpen) return E_FAIL;
  // A bad frame is refused without closing a movie that is fine.
  if (state_ != kClosed && !IsUsableFrame(width, height, bits, bitsPerPixel)) return E_INVALIDARG;
  return (this->*frameSteps_[state_])(width, height, bits, bitsPerPixel);
}

HRESULT AviWriter::AppendAfterFailure(int, int, const void*, int) { return E_FAIL; }

HRESULT AviWriter::AppendFirstFrame(int width, int height, const void* bits, int bitsPerPixel) {
  if (FAILED(OpenMovie(width, height, bitsPerPixel))) {
    CloseAll();
    return E_FAIL;
  }
  state_ = kOpen;
  return AppendNextFrame(width, height, bits, bitsPerPixel);
}

HRESULT AviWriter::OpenMovie(int width, int height, int bitsPerPixel) {
  memoryDC_.Reset(CreateCompatibleDC(nullptr));
  if (!memoryDC_) {
    SetLastErrorMessage("Unable to Create Compatible DC");
    return E_FAIL;
  }

  const SIZE_T w = static_cast<SIZE_T>(std::max(GetSystemMetrics(SM_CXSCREEN), width));
  const SIZE_T h = static_cast<SIZE_T>(std::max(GetSystemMetrics(SM_CYSCREEN), height));
  const SIZE_T frameBytes = w * h * 4;
  heap_ = HeapCreate(HEAP_NO_SERIALIZE, frameBytes, 0);
  if (!heap_) {
    SetLastErrorMessage("Unable to Create Heap");
    return E_FAIL;
  }
  frameMemory_ = HeapAlloc(heap_, HEAP_ZERO_MEMORY | HEAP_NO_SERIALIZE, frameBytes);
  if (!frameMemory_) {
    SetLastErrorMessage("Unable to Allocate Memory on Heap");
    return E_FAIL;
  }

  if (fileName_[0] == '\0' ||
      AVIFileOpenA(&file_, fileName_, OF_CREATE | OF_WRITE, nullptr) != AVIERR_OK) {
    file_ = nullptr;
    SetLastErrorMessage("Unable to Create the Movie File");
    return E_FAIL;
  }

  std::memset(&streamHeader_, 0, sizeof streamHeader_);
  streamHeader_.fccType = streamtypeVIDEO;
  streamHeader_.fccHandler = codec_;
  streamHeader_.dwScale = scale_;
  streamHeader_.dwRate = rate_;
  streamHeader_.dwSuggestedBufferSize = static_cast<DWORD>(frameBytes);
  streamHeader_.dwQuality = quality_;
  SetRect(&streamHeader_.rcFrame, 0, 0, width, height);
  orba::CopyBounded(streamHeader_.szName, sizeof streamHeader_.szName, "Video Stream");
  if (AVIFileCreateStreamA(file_, &stream_, &streamHeader_) != AVIERR_OK) {
    stream_ = nullptr;
    SetLastErrorMessage("Unable to Create Video Stream in the Movie File");
    return E_FAIL;
  }

  std::memset(&compressOptions_, 0, sizeof compressOptions_);
  compressOptions_.fccType = streamtypeVIDEO;
  compressOptions_.fccHandler = codec_;
  compressOptions_.dwKeyFrameEvery = 1;
  compressOptions_.dwQuality = quality_;
  compressOptions_.dwFlags = AVICOMPRESSF_KEYFRAMES | AVICOMPRESSF_VALID;
  if (AVIMakeCompressedStream(&compressedStream_, stream_, &compressOptions_, nullptr) !=
      AVIERR_OK) {
    compressedStream_ = nullptr;
    SetLastErrorMessage("Unable to Create Compressed Stream: Check your CODEC options");
    return E_FAIL;
  }

  BITMAPINFOHEADER format = {};
  format.biSize = sizeof(BITMAPINFOHEADER);
  format.biWidth = width;
  format.biHeight = height;
  format.biPlanes = 1;
  format.biBitCount = static_cast<WORD>(bitsPerPixel);
  format.biCompression = BI_RGB;
  format.biSizeImage = FrameBytes(width, height, bitsPerPixel);
  if (AVIStreamSetFormat(compressedStream_, 0, &format, sizeof format) != AVIERR_OK) {
    SetLastErrorMessage("Unable to Set Video Stream Format");
    return E_FAIL;
  }
  return S_OK;
}

HRESULT AviWriter::AppendNextFrame(int width, int height, const void* bits, int bitsPerPixel) {
  const LONG index = sampleIndex_++;
  const HRESULT hr = AVIStreamWrite(compressedStream_, index, 1, const_cast<void*>(bits),
                                    static_cast<LONG>(FrameBytes(width, height, bitsPerPixel)), 0,
                                    nullptr, nullptr);
  if (hr != AVIERR_OK) {
    SetLastErrorMessage("Unable to Write Video Stream to the output Movie File");
    CloseAll();
    return E_FAIL;
  }
  return S_OK;
}

void AviWriter::CloseAll() {
  state_ = kClosed;
  memoryDC_.Reset();
  // The compressed stream holds the stream, which holds the file.
  if (compressedStream_) {
    AVIStreamRelease(compressedStream_);
    compressedStream_ = nullptr;
  }
  if (stream_) {
    AVIStreamRelease(stream_);
    stream_ = nullptr;
  }
  if (file_) {
    AVIFileRelease(file_);
    file_ = nullptr;
  }
  if (frameMemory_) {
    HeapFree(heap_, HEAP_NO_SERIALIZE, frameMemory_);
    frameMemory_ = nullptr;
  }
  if (heap_) {
    HeapDestroy(heap_);
    heap_ = nullptr;
  }
}

void AviWriter::SetLastErrorMessage(const char* text) {
  // At most 259 bytes, so the text always stays terminated.
  const size_t n = std::min(std::strlen(text), sizeof lastError_ - 1);
  std::memcpy(lastError_, text, n);
  lastError_[n] = '\0';
}
