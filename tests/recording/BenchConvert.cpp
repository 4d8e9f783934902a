// Benchmark of the recording conversion: writes N simulated camera frames as the
// filter writes them, converts them with ConvertFramesToAvi, and measures a bare
// tjDecompress2 loop over the same JPEGs for comparison. Prints figures; the
// exit code says only whether the run itself was correct.
//
// Usage: bench_convert [frames]   (default 120)
#include <windows.h>

#include <turbojpeg.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "AviParser.h"
#include "AviWriter.h"
#include "ConvertFrames.h"
#include "RecordingTestUtil.h"
#include "TestEnv.h"
#include "ViewerState.h"

namespace {

double Seconds(const LARGE_INTEGER& a, const LARGE_INTEGER& b) {
  LARGE_INTEGER f;
  QueryPerformanceFrequency(&f);
  return static_cast<double>(b.QuadPart - a.QuadPart) / static_cast<double>(f.QuadPart);
}

}  // namespace

int main(int argc, char** argv) {
  const int frames = argc > 1 ? std::atoi(argv[1]) : 120;
  if (frames <= 0) {
    std::fprintf(stderr, "usage: bench_convert [frames]\n");
    return 2;
  }
  const std::string pictures = orba_test::MakeTempDir("bench");
  const std::string folder = pictures + "\\temp";
  const std::string finalPath = pictures + "\\video_bench.avi";

  std::vector<rec_test::Bytes> jpegs;
  size_t totalBytes = 0;
  for (int n = 0; n < frames; ++n) {
    jpegs.push_back(rec_test::CameraFrame(static_cast<uint32_t>(n)));
    if (jpegs.back().empty() || !rec_test::WriteFrameFile(folder, n, jpegs.back())) {
      std::fprintf(stderr, "could not make frame %d\n", n);
      return 1;
    }
    totalBytes += jpegs.back().size();
  }

  // The bare decode: the same JPEGs, already in memory, into the same layout.
  tjhandle tj = tjInitDecompress();
  std::vector<unsigned char> bitmap(kVideoFrameBytes);
  LARGE_INTEGER t0, t1;
  QueryPerformanceCounter(&t0);
  for (const rec_test::Bytes& j : jpegs) {
    if (tjDecompress2(tj, j.data(), static_cast<unsigned long>(j.size()), bitmap.data(), kVideoWidth,
                      kVideoPitch, kVideoHeight, TJPF_BGR, TJFLAG_BOTTOMUP | TJFLAG_FASTDCT) != 0) {
      std::fprintf(stderr, "tjDecompress2: %s\n", tjGetErrorStr2(tj));
      return 1;
    }
  }
  QueryPerformanceCounter(&t1);
  const double decodeSeconds = Seconds(t0, t1);
  tjDestroy(tj);

  // The conversion: files read, decoded, compressed, written, deleted.
  DWORD exitCode = ~0u;
  double convertSeconds = 0;
  {
    rec_test::ConvertJob job(folder, finalPath);
    QueryPerformanceCounter(&t0);
    exitCode = job.Run();
    QueryPerformanceCounter(&t1);
    convertSeconds = Seconds(t0, t1);
  }

  orba_test::AviFile avi;
  std::string error;
  const bool parsed = orba_test::ParseAviFile(finalPath, &avi, &error);
  const bool ok = exitCode == 0 && parsed && avi.streams.size() == 1 &&
                  avi.streams[0].header.length == static_cast<uint32_t>(frames) &&
                  !orba_test::FileExists(folder);
  const long long aviBytes = static_cast<long long>(orba_test::ReadFileBytes(finalPath).size());
  orba_test::RemoveTree(pictures);

  const double decodeFps = frames / decodeSeconds;
  const double convertFps = frames / convertSeconds;
  std::printf("frames: %d (1280 x 720 camera JPEGs, %.1f KiB on average)\n", frames,
              totalBytes / 1024.0 / frames);
  std::printf("bare tjDecompress2 loop: %.3f s, %.1f frames/s\n", decodeSeconds, decodeFps);
  std::printf("ConvertFramesToAvi:      %.3f s, %.1f frames/s (AVI %.1f MiB)\n", convertSeconds,
              convertFps, aviBytes / 1048576.0);
  std::printf("conversion / bare decode: %.3f (the conversion runs at %.0f%% of the decoder's speed)\n",
              convertFps / decodeFps, 100.0 * convertFps / decodeFps);
  if (!ok) {
    std::fprintf(stderr, "conversion incorrect: exit %lu, %s, %u frames\n", exitCode,
                 parsed ? "parsed" : error.c_str(),
                 avi.streams.empty() ? 0u : avi.streams[0].header.length);
    return 1;
  }
  std::printf("result: correct (%d frames in the video, temporary folder gone)\n", frames);
  return 0;
}
