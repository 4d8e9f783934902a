#include "RecordingTestUtil.h"

#include <vfw.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>

#include "AviWriter.h"
#include "ConvertFrames.h"
#include "simcam/SimCamFrames.h"

namespace rec_test {

Bytes CameraFrame(uint32_t n) {
  static simcam::FrameGenerator* generator = new simcam::FrameGenerator();
  Bytes jpeg;
  if (!generator->Ok() || !generator->Generate(n, simcam::FrameOptions(), &jpeg)) jpeg.clear();
  return jpeg;
}

Bytes PatternJpeg(int width, int height, int flags) {
  Bytes bgr(static_cast<size_t>(width) * height * 3);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      uint8_t* p = &bgr[(static_cast<size_t>(y) * width + x) * 3];
      const bool border = x < 8 || y < 8 || x >= width - 8 || y >= height - 8;
      p[0] = border ? 250 : static_cast<uint8_t>(x * 255 / width);
      p[1] = border ? 250 : static_cast<uint8_t>(y * 255 / height);
      p[2] = border ? 250 : static_cast<uint8_t>(((x / 40) + (y / 40)) % 2 ? 200 : 60);
    }
  }
  tjhandle tj = tjInitCompress();
  unsigned char* out = nullptr;
  unsigned long size = 0;
  Bytes jpeg;
  if (tj && tjCompress2(tj, bgr.data(), width, width * 3, height, TJPF_BGR, &out, &size, TJSAMP_444,
                        92, flags) == 0) {
    jpeg.assign(out, out + size);
  }
  if (out) tjFree(out);
  if (tj) tjDestroy(tj);
  return jpeg;
}

std::string FramePath(const std::string& folder, long n) {
  return folder + "\\frame_" + std::to_string(n) + ".jpg";
}

bool WriteFrameFile(const std::string& folder, long n, const Bytes& jpeg) {
  CreateDirectoryA(folder.c_str(), nullptr);
  FILE* f = std::fopen(FramePath(folder, n).c_str(), "wb");
  if (!f) return false;
  const bool ok = jpeg.empty() || std::fwrite(jpeg.data(), jpeg.size(), 1, f) == 1;
  return std::fclose(f) == 0 && ok;
}

Bytes DecodeAt(const Bytes& jpeg, int width, int height) {
  Bytes out(static_cast<size_t>(width) * height * 3, 0);
  tjhandle tj = tjInitDecompress();
  if (!tj) return Bytes();
  const int rc =
      tjDecompress2(tj, jpeg.data(), static_cast<unsigned long>(jpeg.size()), out.data(), width,
                    width * 3, height, TJPF_BGR, TJFLAG_BOTTOMUP | TJFLAG_FASTDCT);
  tjDestroy(tj);
  if (rc != 0) out.clear();
  return out;
}

Bytes ReferenceDecode(const Bytes& jpeg) { return DecodeAt(jpeg, kVideoWidth, kVideoHeight); }

bool ReadAviFrames(const std::string& path, std::vector<Bytes>* frames, std::string* error) {
  frames->clear();
  AVIFileInit();
  PAVIFILE file = nullptr;
  PAVISTREAM stream = nullptr;
  PGETFRAME getFrame = nullptr;
  bool ok = false;
  do {
    if (AVIFileOpenA(&file, path.c_str(), OF_READ | OF_SHARE_DENY_WRITE, nullptr) != AVIERR_OK) {
      file = nullptr;
      *error = "AVIFileOpen failed";
      break;
    }
    if (AVIFileGetStream(file, &stream, streamtypeVIDEO, 0) != AVIERR_OK) {
      stream = nullptr;
      *error = "no video stream";
      break;
    }
    BITMAPINFOHEADER wanted = {};
    wanted.biSize = sizeof wanted;
    wanted.biWidth = kVideoWidth;
    wanted.biHeight = kVideoHeight;
    wanted.biPlanes = 1;
    wanted.biBitCount = 24;
    wanted.biCompression = BI_RGB;
    wanted.biSizeImage = static_cast<DWORD>(kVideoFrameBytes);
    getFrame = AVIStreamGetFrameOpen(stream, &wanted);
    if (!getFrame) {
      *error = "no decompressor for the stream";
      break;
    }
    const LONG length = AVIStreamLength(stream);
    ok = true;
    for (LONG i = 0; i < length; ++i) {
      auto* dib = static_cast<const BITMAPINFOHEADER*>(AVIStreamGetFrame(getFrame, i));
      if (!dib || dib->biWidth != kVideoWidth || dib->biHeight != kVideoHeight) {
        *error = "frame " + std::to_string(i) + " not decompressed";
        ok = false;
        break;
      }
      const uint8_t* bits =
          reinterpret_cast<const uint8_t*>(dib) + dib->biSize + dib->biClrUsed * sizeof(RGBQUAD);
      frames->emplace_back(bits, bits + kVideoFrameBytes);
    }
  } while (false);
  if (getFrame) AVIStreamGetFrameClose(getFrame);
  if (stream) AVIStreamRelease(stream);
  if (file) AVIFileRelease(file);
  AVIFileExit();
  return ok;
}

size_t DifferingBytes(const Bytes& a, const Bytes& b) {
  if (a.size() != b.size()) return std::max(a.size(), b.size());
  size_t n = 0;
  for (size_t i = 0; i < a.size(); ++i)
    if (a[i] != b[i]) ++n;
  return n;
}

ConvertJob::ConvertJob(const std::string& folder, const std::string& finalPath, bool withWriter)
    : folder_(folder),
      finalPath_(finalPath),
      jpegBuffer_(kFrameBufferBytes),
      rgbBuffer_(kFrameBufferBytes) {
  std::snprintf(folderText_, sizeof folderText_, "%s", folder.c_str());
  std::snprintf(finalText_, sizeof finalText_, "%s", finalPath.c_str());
  tj_ = tjInitDecompress();
  params_.writer = withWriter ? new AviWriter(tempVideo().c_str(), kRecordingCodec, kRecordingRate,
                                              kRecordingScale, kRecordingQuality)
                              : nullptr;
  params_.frameFolder = folderText_;
  params_.finalPath = finalText_;
  params_.decompressor = tj_;
  params_.fileBuffer = jpegBuffer_.data();
  params_.pictureBuffer = rgbBuffer_.data();
}

ConvertJob::~ConvertJob() {
  if (thread_) {
    WaitForSingleObject(thread_, 60000);
    CloseHandle(thread_);
  }
  delete params_.writer;  // only when the thread did not take it
  if (tj_) tjDestroy(tj_);
}

bool ConvertJob::Start() {
  thread_ = CreateThread(nullptr, 0, ConvertFramesToAvi, &params_, 0, nullptr);
  return thread_ != nullptr;
}

DWORD ConvertJob::Wait(DWORD timeoutMs) {
  if (!thread_ || WaitForSingleObject(thread_, timeoutMs) != WAIT_OBJECT_0) return ~0u;
  DWORD code = ~0u;
  GetExitCodeThread(thread_, &code);
  return code;
}

DWORD ConvertJob::Run() { return Start() ? Wait() : ~0u; }

}  // namespace rec_test
