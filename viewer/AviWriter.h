#pragma once
// Writes one compressed AVI video stream, frame by frame, through the AVIFile
// interface and an installed video compressor. The movie is opened lazily with
// the first frame, so that its format follows the frames actually given.
#include <windows.h>

#include <vfw.h>

#include <cstdint>

#include "orba/Scoped.h"

// The stream header and the compression options are fixed records of the
// 32-bit product; the ANSI variants keep their sizes.
static_assert(sizeof(AVISTREAMINFOA) == 140, "AVISTREAMINFOA must be 140 bytes");
static_assert(sizeof(void*) != 4 || sizeof(AVICOMPRESSOPTIONS) == 44,
              "AVICOMPRESSOPTIONS must be 44 bytes on the 32-bit build");

class AviWriter {
 public:
  static constexpr size_t kFileNameBytes = 260;
  static constexpr size_t kLastErrorBytes = 260;

  // States, which also index the frame steps.
  enum : int32_t { kClosed = 0, kNotOpened = 1, kOpen = 2 };

  // quality 0 stands for the codec's default (-1). A file name that does not fit
  // is not cut: the name stays empty and opening the movie fails.
  AviWriter(const char* fileName, DWORD codec, DWORD rate, DWORD scale, DWORD quality);
  ~AviWriter();
  AviWriter(const AviWriter&) = delete;
  AviWriter& operator=(const AviWriter&) = delete;

  // Appends a bottom-up, uncompressed bitmap of width x height x bitsPerPixel / 8
  // bytes. The first frame opens the movie; after any failure the writer is
  // closed and every later call fails with E_FAIL.
  HRESULT AppendNewFrame(int width, int height, const void* bits, int bitsPerPixel);

  const char* GetLastErrorMessage() const { return lastError_; }
  const char* GetFileName() const { return fileName_; }
  int32_t GetState() const { return state_; }
  DWORD GetQuality() const { return quality_; }

 private:
  using FrameStep = HRESULT (AviWriter::*)(int width, int height, const void* bits,
                                           int bitsPerPixel);

  HRESULT AppendAfterFailure(int width, int height, const void* bits, int bitsPerPixel);
  HRESULT AppendFirstFrame(int width, int height, const void* bits, int bitsPerPixel);
  HRESULT AppendNextFrame(int width, int height, const void* bits, int bitsPerPixel);
  HRESULT OpenMovie(int width, int height, int bitsPerPixel);
  void CloseAll();
  void SetLastErrorMessage(const char* text);

  orba::ScopedCreatedDC memoryDC_;
  HANDLE heap_;
  void* frameMemory_;
  int32_t sampleIndex_;
  PAVIFILE file_;
  PAVISTREAM stream_;
  PAVISTREAM compressedStream_;
  AVISTREAMINFOA streamHeader_;
  AVICOMPRESSOPTIONS compressOptions_;
  DWORD rate_;
  DWORD scale_;
  DWORD quality_;
  DWORD codec_;
  char fileName_[kFileNameBytes];
  char lastError_[kLastErrorBytes];
  int32_t state_;
  FrameStep frameSteps_[3];
};

// The viewer's recording format: XVID at 60 frames per second.
constexpr DWORD kRecordingCodec = mmioFOURCC('X', 'V', 'I', 'D');
constexpr DWORD kRecordingRate = 60000;
constexpr DWORD kRecordingScale = 1000;
constexpr DWORD kRecordingQuality = 9000;
