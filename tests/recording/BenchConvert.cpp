// Benchmark of the recording conversion: writes N simulated camera frames as the
// filter writes them, times each stage of the conversion alone over the same
// frames (reading the files, decoding them, compressing them with the installed
// XVID compressor through ICCompress, appending the compressed frames with
// AVIFile, deleting the files), then ConvertFramesToAvi as a whole, and its
// ratio to the sum of the bare stages. Each figure is the median of several
// runs, with its spread.
// Prints figures; the exit code says only whether the run itself was correct.
//
// Usage: bench_convert [frames] [runs]   (default 120 frames, 5 runs)
#include <windows.h>

#include <vfw.h>

#include <turbojpeg.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "AviParser.h"
#include "BenchFigures.h"
#include "AviWriter.h"
#include "ConvertFrames.h"
#include "RecordingTestUtil.h"
#include "TestEnv.h"
#include "ViewerState.h"

namespace {

using Figure = orba_test::BenchFigure;

class Stopwatch {
 public:
  double Elapsed() const { return orba_test::BenchSeconds() - start_; }

 private:
  double start_ = orba_test::BenchSeconds();
};

constexpr int kTjFlags = TJFLAG_BOTTOMUP | TJFLAG_FASTDCT;

// Reads every frame file whole, as the conversion does.
bool ReadStage(const std::string& folder, int frames, std::vector<unsigned char>* buffer) {
  for (int n = 0; n < frames; ++n) {
    const std::string path = rec_test::FramePath(folder, n);
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    DWORD got = 0;
    const BOOL read =
        ReadFile(h, buffer->data(), static_cast<DWORD>(buffer->size()), &got, nullptr);
    CloseHandle(h);
    if (!read || got == 0) return false;
  }
  return true;
}

bool DeleteStage(const std::string& folder, int frames) {
  for (int n = 0; n < frames; ++n) {
    if (!DeleteFileA(rec_test::FramePath(folder, n).c_str())) return false;
  }
  return true;
}

bool DecodeStage(tjhandle tj, const std::vector<rec_test::Bytes>& jpegs,
                 std::vector<unsigned char>* bitmap) {
  for (const rec_test::Bytes& j : jpegs) {
    if (tjDecompress2(tj, j.data(), static_cast<unsigned long>(j.size()), bitmap->data(),
                      kVideoWidth, kVideoPitch, kVideoHeight, TJPF_BGR, kTjFlags) != 0) {
      return false;
    }
  }
  return true;
}

BITMAPINFOHEADER InputFormat() {
  BITMAPINFOHEADER in = {};
  in.biSize = sizeof in;
  in.biWidth = kVideoWidth;
  in.biHeight = kVideoHeight;
  in.biPlanes = 1;
  in.biBitCount = kVideoBitsPerPixel;
  in.biCompression = BI_RGB;
  in.biSizeImage = static_cast<DWORD>(kVideoFrameBytes);
  return in;
}

// Compresses the decoded frames with the installed XVID compressor alone; the
// compressed frames are kept for the append stage.
bool CompressStage(const std::vector<std::vector<unsigned char>>& bitmaps, int frames,
                   std::vector<rec_test::Bytes>* compressed, BITMAPINFOHEADER* outFormat) {
  HIC hic = ICOpen(ICTYPE_VIDEO, kRecordingCodec, ICMODE_COMPRESS);
  if (!hic) return false;
  BITMAPINFOHEADER in = InputFormat();
  bool ok = ICCompressGetFormat(hic, &in, outFormat) == ICERR_OK &&
            ICCompressBegin(hic, &in, outFormat) == ICERR_OK;
  const DWORD maxSize = ok ? ICCompressGetSize(hic, &in, outFormat) : 0;
  std::vector<unsigned char> out(maxSize ? maxSize : kVideoFrameBytes);
  compressed->clear();
  for (int n = 0; ok && n < frames; ++n) {
    BITMAPINFOHEADER header = *outFormat;
    DWORD chunkId = 0, flags = 0;
    ok = ICCompress(hic, ICCOMPRESS_KEYFRAME, &header, out.data(), &in,
                    const_cast<unsigned char*>(bitmaps[n % bitmaps.size()].data()), &chunkId,
                    &flags, n, 0, kRecordingQuality, nullptr, nullptr) == ICERR_OK;
    if (ok) compressed->emplace_back(out.begin(), out.begin() + header.biSizeImage);
  }
  ICCompressEnd(hic);
  ICClose(hic);
  return ok;
}

// Writes the compressed frames into an AVI file with AVIFile alone.
bool AppendStage(const std::string& path, const std::vector<rec_test::Bytes>& compressed,
                 const BITMAPINFOHEADER& format) {
  DeleteFileA(path.c_str());
  PAVIFILE file = nullptr;
  PAVISTREAM stream = nullptr;
  bool ok = AVIFileOpenA(&file, path.c_str(), OF_WRITE | OF_CREATE, nullptr) == AVIERR_OK;
  AVISTREAMINFOA info = {};
  info.fccType = streamtypeVIDEO;
  info.fccHandler = kRecordingCodec;
  info.dwRate = kRecordingRate;
  info.dwScale = kRecordingScale;
  info.dwSuggestedBufferSize = static_cast<DWORD>(kVideoFrameBytes);
  SetRect(&info.rcFrame, 0, 0, kVideoWidth, kVideoHeight);
  ok = ok && AVIFileCreateStreamA(file, &stream, &info) == AVIERR_OK;
  BITMAPINFOHEADER f = format;
  ok = ok && AVIStreamSetFormat(stream, 0, &f, sizeof f) == AVIERR_OK;
  for (size_t i = 0; ok && i < compressed.size(); ++i) {
    ok = AVIStreamWrite(stream, static_cast<LONG>(i), 1,
                        const_cast<unsigned char*>(compressed[i].data()),
                        static_cast<LONG>(compressed[i].size()), AVIIF_KEYFRAME, nullptr,
                        nullptr) == AVIERR_OK;
  }
  if (stream) AVIStreamRelease(stream);
  if (file) AVIFileRelease(file);
  return ok;
}

void PrintRow(const char* name, const Figure& f, int frames) {
  const double m = f.Median();
  std::printf("| %-44s | %8.3f | %7.3f | %8.1f |\n", name, m, f.Spread(), m > 0 ? frames / m : 0);
}

}  // namespace

int main(int argc, char** argv) {
  const int frames = argc > 1 ? std::atoi(argv[1]) : 120;
  const int runs = argc > 2 ? std::atoi(argv[2]) : 5;
  if (frames <= 0 || runs <= 0) {
    std::fprintf(stderr, "usage: bench_convert [frames] [runs]\n");
    return 2;
  }
  AVIFileInit();
  const std::string pictures = orba_test::MakeTempDir("bench");
  const std::string folder = pictures + "\\temp";
  const std::string finalPath = pictures + "\\video_bench.avi";
  const std::string bareAvi = pictures + "\\bare.avi";

  std::vector<rec_test::Bytes> jpegs;
  size_t totalBytes = 0;
  for (int n = 0; n < frames; ++n) {
    jpegs.push_back(rec_test::CameraFrame(static_cast<uint32_t>(n)));
    if (jpegs.back().empty()) {
      std::fprintf(stderr, "could not make frame %d\n", n);
      return 1;
    }
    totalBytes += jpegs.back().size();
  }
  auto writeFrames = [&] {
    for (int n = 0; n < frames; ++n) {
      if (!rec_test::WriteFrameFile(folder, n, jpegs[n])) return false;
    }
    return true;
  };

  tjhandle tj = tjInitDecompress();
  std::vector<unsigned char> buffer(kFrameBufferBytes);
  std::vector<unsigned char> bitmap(kVideoFrameBytes);
  // A few decoded frames, cycled through by the compressor.
  std::vector<std::vector<unsigned char>> bitmaps(8, std::vector<unsigned char>(kVideoFrameBytes));
  for (size_t i = 0; i < bitmaps.size() && i < jpegs.size(); ++i) {
    tjDecompress2(tj, jpegs[i].data(), static_cast<unsigned long>(jpegs[i].size()),
                  bitmaps[i].data(), kVideoWidth, kVideoPitch, kVideoHeight, TJPF_BGR, kTjFlags);
  }
  std::vector<rec_test::Bytes> compressed;
  BITMAPINFOHEADER outFormat = {};

  Figure read, decode, compress, append, remove, convert, sum;
  bool ok = true;
  DWORD exitCode = 0;
  uint32_t videoFrames = 0;
  long long aviBytes = 0;
  for (int r = 0; ok && r < runs; ++r) {
    ok = writeFrames();
    Stopwatch t;
    ok = ok && ReadStage(folder, frames, &buffer);
    read.values.push_back(t.Elapsed());
    t = Stopwatch();
    ok = ok && DecodeStage(tj, jpegs, &bitmap);
    decode.values.push_back(t.Elapsed());
    t = Stopwatch();
    ok = ok && CompressStage(bitmaps, frames, &compressed, &outFormat);
    compress.values.push_back(t.Elapsed());
    t = Stopwatch();
    ok = ok && AppendStage(bareAvi, compressed, outFormat);
    append.values.push_back(t.Elapsed());
    t = Stopwatch();
    ok = ok && DeleteStage(folder, frames);
    remove.values.push_back(t.Elapsed());
    sum.values.push_back(read.values.back() + decode.values.back() + compress.values.back() +
                         append.values.back() + remove.values.back());
    ok = ok && writeFrames();
    if (!ok) {
      std::fprintf(stderr, "a bare stage failed in run %d\n", r);
      break;
    }

    // The conversion of the same files: read, decode, compress, write, delete.
    DeleteFileA(finalPath.c_str());
    {
      rec_test::ConvertJob job(folder, finalPath);
      t = Stopwatch();
      exitCode = job.Run();
      convert.values.push_back(t.Elapsed());
    }
    orba_test::AviFile avi;
    std::string error;
    const bool parsed = orba_test::ParseAviFile(finalPath, &avi, &error);
    videoFrames = parsed && avi.streams.size() == 1 ? avi.streams[0].header.length : 0;
    aviBytes = static_cast<long long>(orba_test::ReadFileBytes(finalPath).size());
    ok = exitCode == 0 && videoFrames == static_cast<uint32_t>(frames) &&
         !orba_test::FileExists(folder);
  }
  tjDestroy(tj);
  orba_test::RemoveTree(pictures);
  AVIFileExit();

  std::printf("frames: %d (1280 x 720 camera JPEGs, %.1f KiB on average), %d runs; AVI %.1f MiB\n",
              frames, totalBytes / 1024.0 / frames, runs, aviBytes / 1048576.0);
  std::printf("| %-44s | %8s | %7s | %8s |\n", "stage", "median s", "spread", "frames/s");
  std::printf("|%s|%s|%s|%s|\n", std::string(46, '-').c_str(), std::string(10, '-').c_str(),
              std::string(9, '-').c_str(), std::string(10, '-').c_str());
  PrintRow("read the frame files", read, frames);
  PrintRow("decode (tjDecompress2)", decode, frames);
  PrintRow("compress (ICCompress, XVID stand-in)", compress, frames);
  PrintRow("append (AVIFile, compressed frames)", append, frames);
  PrintRow("delete the frame files", remove, frames);
  PrintRow("sum of the bare stages", sum, frames);
  PrintRow("ConvertFramesToAvi", convert, frames);
  const double ratio = convert.Median() > 0 ? sum.Median() / convert.Median() : 0;
  std::printf("conversion / sum of its bare stages: %.3f (1.0 means no overhead)\n", ratio);
  if (!ok) {
    std::fprintf(stderr, "conversion incorrect: exit %lu, %u frames in the video\n", exitCode,
                 videoFrames);
    return 1;
  }
  std::printf("result: correct (%d frames in the video, temporary folder gone)\n", frames);
  return 0;
}
