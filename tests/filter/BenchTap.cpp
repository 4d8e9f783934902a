// Benchmark of the tap: camera frames (1280 x 720 JPEGs of the simulated
// camera, without Huffman tables as many cameras send them) pushed through the
// registered ORBAProc in Wine's filter graph to the Null Renderer. Times a
// sample with no request and with recording on, and the frame files' write
// rate against a bare WriteFile loop of the same bytes. Medians of several
// runs with their spread; prints figures, the exit code says only whether the
// run worked.
//
// Usage: bench_tap [samples] [runs]   (default 300 samples, 5 runs)
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "BenchFigures.h"
#include "FilterTestKit.h"
#include "TestEnv.h"
#include "simcam/SimCamFrames.h"

using filter_test::MakeMjpgType;
using filter_test::TapChain;

namespace {

using orba_test::BenchSeconds;
using Figure = orba_test::BenchFigure;

bool BareWrites(const std::string& folder, const std::vector<std::string>& frames) {
  CreateDirectoryA(folder.c_str(), nullptr);
  for (size_t n = 0; n < frames.size(); ++n) {
    const std::string path = folder + "\\frame_" + std::to_string(n) + ".jpg";
    HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    const BOOL ok =
        WriteFile(h, frames[n].data(), static_cast<DWORD>(frames[n].size()), &written, nullptr);
    CloseHandle(h);
    if (!ok || written != frames[n].size()) return false;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  const int samples = argc > 1 ? std::atoi(argv[1]) : 300;
  const int runs = argc > 2 ? std::atoi(argv[2]) : 5;
  if (samples <= 0 || runs <= 0) {
    std::fprintf(stderr, "usage: bench_tap [samples] [runs]\n");
    return 2;
  }
  CoInitializeEx(nullptr, COINIT_MULTITHREADED);
  simcam::FrameGenerator generator;
  std::vector<std::string> frames;
  size_t bytes = 0;
  for (int n = 0; generator.Ok() && n < samples; ++n) {
    std::vector<uint8_t> jpeg;
    simcam::FrameOptions options;
    options.omitHuffmanTables = true;
    if (!generator.Generate(static_cast<uint32_t>(n), options, &jpeg)) break;
    frames.emplace_back(jpeg.begin(), jpeg.end());
    bytes += jpeg.size();
  }
  if (frames.size() != static_cast<size_t>(samples)) {
    std::fprintf(stderr, "could not make the camera frames\n");
    return 1;
  }

  CMediaType type;
  MakeMjpgType(&type, 1280, 720);
  std::unique_ptr<TapChain> chain(new TapChain(type));
  if (!chain->Proc() || chain->ConnectOutput() != S_OK) {
    std::fprintf(stderr, "ORBAProc could not be connected\n");
    return 1;
  }
  chain->Run();
  const std::string root = orba_test::MakeTempDir("benchtap");
  const std::string record = root + "\\temp";
  const std::string bare = root + "\\bare";

  Figure idle, recording, writes, debugLine;
  bool ok = true;
  for (int r = 0; ok && r < runs; ++r) {
    double t = BenchSeconds();
    for (const std::string& f : frames) ok = ok && chain->Push(f) == S_OK;
    idle.values.push_back(BenchSeconds() - t);

    ok = ok && chain->Proc()->SetRecordFolder(record.c_str()) == S_OK;
    chain->Proc()->ToggleRecording(1);
    t = BenchSeconds();
    for (const std::string& f : frames) ok = ok && chain->Push(f) == S_OK;
    recording.values.push_back(BenchSeconds() - t);
    chain->Proc()->ToggleRecording(0);
    ok = ok && chain->Push(frames[0]) == S_OK;  // the filter sees the stop
    ok = ok && orba_test::FileExists(record + "\\frame_" + std::to_string(samples - 1) + ".jpg");
    orba_test::RemoveTree(record);

    // The line the tap writes for every sample, alone.
    t = BenchSeconds();
    for (int n = 0; n < samples; ++n) {
      OutputDebugStringA("[1][1] 590: 64 Hello new Transform function!");
    }
    debugLine.values.push_back(BenchSeconds() - t);

    t = BenchSeconds();
    ok = ok && BareWrites(bare, frames);
    writes.values.push_back(BenchSeconds() - t);
    orba_test::RemoveTree(bare);
  }
  chain.reset();
  orba_test::RemoveTree(root);
  CoUninitialize();

  const double mib = bytes / 1048576.0;
  std::printf("samples: %d camera JPEGs without Huffman tables, %.1f KiB on average, %d runs\n",
              samples, bytes / 1024.0 / samples, runs);
  std::printf("| %-44s | %11s | %9s | %9s |\n", "figure", "us a sample", "spread us", "MiB/s");
  std::printf("|%s|%s|%s|%s|\n", std::string(46, '-').c_str(), std::string(13, '-').c_str(),
              std::string(11, '-').c_str(), std::string(11, '-').c_str());
  auto row = [&](const char* name, const Figure& f) {
    std::printf("| %-44s | %11.1f | %9.1f | %9.1f |\n", name, f.Median() * 1e6 / samples,
                f.Spread() * 1e6 / samples, mib / f.Median());
  };
  row("through the tap, no request", idle);
  row("through the tap, recording (frame files)", recording);
  row("bare CreateFile/WriteFile/CloseHandle loop", writes);
  row("the tap's per-sample debug line alone", debugLine);
  const double tapWrite = recording.Median() - idle.Median();
  std::printf("frame-file writing in the tap: %.1f MiB/s, %.2f of the bare loop's rate\n",
              tapWrite > 0 ? mib / tapWrite : 0, tapWrite > 0 ? writes.Median() / tapWrite : 0);
  if (!ok) {
    std::fprintf(stderr, "the benchmark run failed\n");
    return 1;
  }
  return 0;
}
