// The recording key and the end key on the viewer's state, with a stand-in for
// the filter that stores frames as the real one does, the real conversion
// thread, the real AVIFile and the installed XVID stand-in.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdlib>
#include <regex>
#include <string>
#include <vector>

#include "AviWriter.h"
#include "ConvertFrames.h"
#include "DebugOutputCapture.h"
#include "Recording.h"
#include "RecordingTestUtil.h"
#include "RegistrySnapshot.h"
#include "Startup.h"
#include "TestEnv.h"
#include "ViewerState.h"
#include "orba/Text.h"

using rec_test::Bytes;

namespace {

const char kShellFolders[] =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";

// Records the calls the viewer makes and, like the filter, flips its own
// recording state on every ToggleRecording whatever the argument.
class FakeOrbaProc : public IORBAProc {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** out) override {
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  HRESULT STDMETHODCALLTYPE SetReservedValues(long, long) override {
    return Note("SetReservedValues");
  }
  HRESULT STDMETHODCALLTYPE SetParams(long, double, double) override { return Note("SetParams"); }
  HRESULT STDMETHODCALLTYPE GetParams(long*, double*, double*) override {
    return Note("GetParams");
  }
  HRESULT STDMETHODCALLTYPE SetFlipHorizontal(long) override { return Note("SetFlipHorizontal"); }
  HRESULT STDMETHODCALLTYPE GetFlipHorizontal(long*) override { return Note("GetFlipHorizontal"); }
  HRESULT STDMETHODCALLTYPE SetFlipVertical(long) override { return Note("SetFlipVertical"); }
  HRESULT STDMETHODCALLTYPE GetFlipVertical(long*) override { return Note("GetFlipVertical"); }
  HRESULT STDMETHODCALLTYPE SetSpareFlag(long) override { return Note("SetSpareFlag"); }
  HRESULT STDMETHODCALLTYPE GetSpareFlag(long*) override { return Note("GetSpareFlag"); }
  HRESULT STDMETHODCALLTYPE GetBuildNumber(long* n) override {
    *n = 590;
    return Note("GetBuildNumber");
  }
  HRESULT STDMETHODCALLTYPE SetTakePicture(long) override { return Note("SetTakePicture"); }
  HRESULT STDMETHODCALLTYPE GetTakePicture(long*) override { return Note("GetTakePicture"); }
  HRESULT STDMETHODCALLTYPE IsOutputConnected(long*) override { return Note("IsOutputConnected"); }
  HRESULT STDMETHODCALLTYPE GetStatusText(char*) override { return Note("GetStatusText"); }
  HRESULT STDMETHODCALLTYPE SetSavePictureAs(long, HWND) override {
    return Note("SetSavePictureAs");
  }
  HRESULT STDMETHODCALLTYPE ToggleRecording(long value) override {
    recording = !recording;
    return Note("ToggleRecording:" + std::to_string(value));
  }
  HRESULT STDMETHODCALLTYPE SetRecordFolder(const char* path) override {
    if (path) folder = path;
    return Note(std::string("SetRecordFolder:") + (path ? path : "(null)"));
  }

  // One camera sample reaching Transform.
  void Sample(const Bytes& jpeg) {
    if (recording && !recordingBefore) counter = 0;
    if (recording) rec_test::WriteFrameFile(folder, counter++, jpeg);
    recordingBefore = recording;
  }

  std::vector<std::string> calls;
  std::string folder;
  bool recording = false;
  bool recordingBefore = false;
  long counter = 0;

 private:
  HRESULT Note(const std::string& call) {
    calls.push_back(call);
    return S_OK;
  }
};

std::vector<int> g_sounds;
void RecordSound(int id) { g_sounds.push_back(id); }

DWORD WINAPI WaitForEvent(LPVOID event) {
  WaitForSingleObject(static_cast<HANDLE>(event), 30000);
  return 0;
}

// A thread that runs until Finish().
class RunningThread {
 public:
  RunningThread()
      : event_(CreateEventA(nullptr, TRUE, FALSE, nullptr)),
        thread_(CreateThread(nullptr, 0, WaitForEvent, event_, 0, nullptr)) {}
  ~RunningThread() {
    Finish();
    CloseHandle(event_);
  }
  // A duplicate, for the viewer to own and close.
  HANDLE Handle() const {
    HANDLE copy = nullptr;
    DuplicateHandle(GetCurrentProcess(), thread_, GetCurrentProcess(), &copy, 0, FALSE,
                    DUPLICATE_SAME_ACCESS);
    return copy;
  }
  void Finish() {
    SetEvent(event_);
    if (thread_) {
      WaitForSingleObject(thread_, 10000);
      CloseHandle(thread_);
      thread_ = nullptr;
    }
  }

 private:
  HANDLE event_;
  HANDLE thread_;
};

bool QuitPosted(WPARAM* code) {
  MSG msg;
  if (!PeekMessageA(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) return false;
  *code = msg.wParam;
  return true;
}

class RecordingKeysTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = orba_test::MakeTempDir("reckeys");
    pictures_ = root_ + "\\ORBA";
    CreateDirectoryA(pictures_.c_str(), nullptr);
    ASSERT_TRUE(myPictures_.Set(root_));
    g_sounds.clear();
    previousPlayer_ = SetRecordingSoundPlayer(RecordSound);
    AllocateFrameBuffers();
    CreateDecompressor();
    ASSERT_TRUE(g_viewer.decomp && g_viewer.tempBufferJPEG && g_viewer.tempBufferRGB);
    g_viewer.pOrbaProc = &filter_;
    g_viewer.recording = 0;
    g_viewer.hConvertThread = nullptr;
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    }
  }
  void TearDown() override {
    WaitForConversion();
    if (g_viewer.hConvertThread) CloseHandle(g_viewer.hConvertThread);
    g_viewer.hConvertThread = nullptr;
    if (g_viewer.hRecoveryThread) {
      WaitForSingleObject(g_viewer.hRecoveryThread, 60000);
      CloseHandle(g_viewer.hRecoveryThread);
      g_viewer.hRecoveryThread = nullptr;
    }
    delete g_viewer.aviWriter;
    g_viewer.aviWriter = nullptr;
    g_viewer.pOrbaProc = nullptr;
    g_viewer.recording = 0;
    SetRecordingSoundPlayer(previousPlayer_);
    DestroyDecompressor();
    FreeFrameBuffers();
    orba_test::RemoveTree(root_);
  }

  DWORD WaitForConversion() {
    DWORD code = ~0u;
    if (g_viewer.hConvertThread &&
        WaitForSingleObject(g_viewer.hConvertThread, 60000) == WAIT_OBJECT_0)
      GetExitCodeThread(g_viewer.hConvertThread, &code);
    return code;
  }

  std::string TempFolder() const { return pictures_ + "\\temp"; }

  std::string root_, pictures_;
  orba_test::ScopedRegistryValue myPictures_{HKEY_CURRENT_USER, kShellFolders, "My Pictures"};
  RecordingSoundPlayer previousPlayer_ = nullptr;
  FakeOrbaProc filter_;
};

bool SetLocalWriteTime(const std::string& path, const SYSTEMTIME& local) {
  FILETIME localTime, utc;
  if (!SystemTimeToFileTime(&local, &localTime) || !LocalFileTimeToFileTime(&localTime, &utc)) {
    return false;
  }
  HANDLE file =
      CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  const bool set = SetFileTime(file, nullptr, nullptr, &utc) != FALSE;
  CloseHandle(file);
  return set;
}

std::string Stamp() {
  char stamp[orba::kTimeStampBytes];
  orba::FormatTimeStampNow(stamp);
  return stamp;
}

TEST_F(RecordingKeysTest, StartAndStopRecordAndConvertIntoATimeStampedVideo) {
  // A frame of an earlier, cut-off recording gets into its own video, named by
  // the frame's time, and not into this one.
  const std::string earlier = TempFolder() + "\\frame_0.jpg";
  ASSERT_TRUE(rec_test::WriteFrameFile(TempFolder(), 0, rec_test::CameraFrame(9)));
  ASSERT_TRUE(SetLocalWriteTime(earlier, {2024, 1, 0, 2, 10, 20, 30, 0}));
  orba_test::DebugOutputCapture log;
  const std::string before = Stamp();
  HandleRecordingKey();
  const std::string after = Stamp();
  EXPECT_TRUE(log.Contains("Frame files of a cut-off recording kept in " + pictures_ +
                           "\\video_240102_10.20.30_frames"));

  EXPECT_EQ(std::vector<int>{kSoundRecordingStarts}, g_sounds);
  EXPECT_EQ(1, g_viewer.recording);
  EXPECT_EQ((std::vector<std::string>{"SetRecordFolder:" + TempFolder(), "ToggleRecording:1"}),
            filter_.calls);
  EXPECT_EQ(TempFolder(), g_viewer.videoTempFolder);
  EXPECT_FALSE(orba_test::FileExists(TempFolder())) << "the filter creates it with its first frame";

  // One time stamp names both files.
  const std::string finalPath = g_viewer.videoFinalPath;
  const std::string prefix = pictures_ + "\\video_";
  ASSERT_EQ(prefix.size() + 15 + 4, finalPath.size()) << finalPath;
  ASSERT_EQ(prefix, finalPath.substr(0, prefix.size()));
  ASSERT_EQ(".avi", finalPath.substr(finalPath.size() - 4));
  const std::string stamp = finalPath.substr(prefix.size(), 15);
  EXPECT_TRUE(std::regex_match(stamp, std::regex(R"(\d{6}_\d\d\.\d\d\.\d\d)"))) << stamp;
  EXPECT_LE(before, stamp);
  EXPECT_GE(after, stamp);
  ASSERT_NE(nullptr, g_viewer.aviWriter);
  EXPECT_EQ(pictures_ + "\\temp\\video_" + stamp + ".avi", g_viewer.aviWriter->GetFileName());
  EXPECT_TRUE(log.Contains("Encoding video with codec: 'XVID' "));
  EXPECT_TRUE(log.Contains("Avi created ok!"));
  EXPECT_TRUE(log.Contains("videoFinalPath: " + finalPath));

  std::vector<Bytes> jpegs;
  for (uint32_t n = 0; n < 3; ++n) {
    jpegs.push_back(rec_test::CameraFrame(40 + n));
    filter_.Sample(jpegs.back());
  }

  HandleRecordingKey();
  EXPECT_EQ((std::vector<int>{kSoundRecordingStarts, kSoundRecordingStops}), g_sounds);
  EXPECT_EQ(0, g_viewer.recording);
  EXPECT_EQ("ToggleRecording:0", filter_.calls.back());
  EXPECT_FALSE(filter_.recording);
  ASSERT_NE(nullptr, g_viewer.hConvertThread);
  EXPECT_EQ(nullptr, g_viewer.aviWriter) << "the conversion owns the writer";
  const ConvertParams& p = g_viewer.convertParams;
  EXPECT_EQ(g_viewer.videoTempFolder, p.frameFolder);
  EXPECT_EQ(g_viewer.videoFinalPath, p.finalPath);
  EXPECT_EQ(g_viewer.decomp, p.decompressor);
  EXPECT_EQ(g_viewer.tempBufferJPEG, p.fileBuffer);
  EXPECT_EQ(g_viewer.tempBufferRGB, p.pictureBuffer);

  EXPECT_EQ(0u, WaitForConversion());
  EXPECT_EQ(nullptr, g_viewer.convertParams.writer);
  EXPECT_FALSE(orba_test::FileExists(TempFolder()));
  std::vector<Bytes> frames;
  std::string error;
  ASSERT_TRUE(rec_test::ReadAviFrames(finalPath, &frames, &error)) << error;
  ASSERT_EQ(3u, frames.size());
  for (size_t i = 0; i < 3; ++i)
    EXPECT_EQ(0u, rec_test::DifferingBytes(rec_test::ReferenceDecode(jpegs[i]), frames[i])) << i;

  ASSERT_NE(nullptr, g_viewer.hRecoveryThread);
  ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(g_viewer.hRecoveryThread, 60000));
  ASSERT_TRUE(rec_test::ReadAviFrames(pictures_ + "\\video_240102_10.20.30.avi", &frames, &error))
      << error;
  ASSERT_EQ(1u, frames.size());
  EXPECT_EQ(
      0u, rec_test::DifferingBytes(rec_test::ReferenceDecode(rec_test::CameraFrame(9)), frames[0]));
  EXPECT_FALSE(orba_test::FileExists(pictures_ + "\\video_240102_10.20.30_frames"));

  // The next press finds the conversion ended and starts a new recording.
  HandleRecordingKey();
  EXPECT_TRUE(log.Contains("exitCode good"));
  EXPECT_EQ(nullptr, g_viewer.hConvertThread);
  EXPECT_EQ(1, g_viewer.recording);
  EXPECT_EQ(kSoundRecordingStarts, g_sounds.back());
}

TEST_F(RecordingKeysTest, RefusesToRecordWithoutTheDecoderOrTheBuffers) {
  void* decomp = g_viewer.decomp;
  unsigned char* rgb = g_viewer.tempBufferRGB;
  unsigned char* jpeg = g_viewer.tempBufferJPEG;
  orba_test::DebugOutputCapture log;
  for (int missing = 0; missing < 3; ++missing) {
    SCOPED_TRACE(missing);
    g_viewer.decomp = missing == 0 ? nullptr : decomp;
    g_viewer.tempBufferRGB = missing == 1 ? nullptr : rgb;
    g_viewer.tempBufferJPEG = missing == 2 ? nullptr : jpeg;
    g_sounds.clear();
    HandleRecordingKey();
    EXPECT_EQ(std::vector<int>{kSoundRecordingStops}, g_sounds);
    EXPECT_EQ(0, g_viewer.recording);
    EXPECT_TRUE(filter_.calls.empty());
    EXPECT_EQ(nullptr, g_viewer.aviWriter);
    EXPECT_EQ(nullptr, g_viewer.hConvertThread);
  }
  g_viewer.decomp = decomp;
  g_viewer.tempBufferRGB = rgb;
  g_viewer.tempBufferJPEG = jpeg;
  EXPECT_EQ(3u, log.Count("Recording refused"));
}

// The test runner maps a 16 MiB drive for this; without it there is no full disk.
TEST_F(RecordingKeysTest, RefusesToRecordOnAFullDisk) {
  const char* drive = std::getenv("ORBA_TEST_SMALL_DRIVE");
  if (!drive || !*drive) GTEST_SKIP() << "no small drive in this prefix";
  ASSERT_TRUE(myPictures_.Set(std::string(drive) + "\\not yet made"));
  orba_test::DebugOutputCapture log;
  HandleRecordingKey();
  EXPECT_EQ(std::vector<int>{kSoundRecordingStops}, g_sounds);
  EXPECT_EQ(0, g_viewer.recording);
  EXPECT_TRUE(filter_.calls.empty());
  EXPECT_TRUE(log.Contains("Recording refused: the disk of the picture folder is full"));
}

TEST_F(RecordingKeysTest, RefusesToRecordWhenTheNamesDoNotFit) {
  // The writer's file name has 260 bytes: a longer temporary name is refused.
  ASSERT_TRUE(myPictures_.Set(root_ + "\\" + std::string(250, 'p')));
  HandleRecordingKey();
  EXPECT_EQ(std::vector<int>{kSoundRecordingStops}, g_sounds);
  EXPECT_EQ(0, g_viewer.recording);
  EXPECT_TRUE(filter_.calls.empty());
  EXPECT_EQ(nullptr, g_viewer.aviWriter);
}

TEST_F(RecordingKeysTest, KeysWaitForARunningConversion) {
  RunningThread conversion;
  g_viewer.hConvertThread = conversion.Handle();
  orba_test::DebugOutputCapture log;

  HandleRecordingKey();
  EXPECT_TRUE(g_sounds.empty());
  EXPECT_TRUE(filter_.calls.empty());
  EXPECT_EQ(0, g_viewer.recording);
  EXPECT_EQ(1u, log.Count("exitCode == STILL_ACTIVE"));
  EXPECT_NE(nullptr, g_viewer.hConvertThread);

  HandleEndKey();
  WPARAM code = 0;
  EXPECT_FALSE(QuitPosted(&code)) << "the end is refused while converting";
  EXPECT_EQ(std::vector<int>{kSoundRecordingStops}, g_sounds);
  EXPECT_EQ(2u, log.Count("exitCode == STILL_ACTIVE"));

  conversion.Finish();
  HandleRecordingKey();
  EXPECT_EQ(1u, log.Count("exitCode good"));
  EXPECT_EQ(nullptr, g_viewer.hConvertThread);
  EXPECT_EQ(1, g_viewer.recording);
  EXPECT_EQ(kSoundRecordingStarts, g_sounds.back());
}

TEST_F(RecordingKeysTest, EndKeyDuringARecordingStopsItAndEndsOnlyAfterTheConversion) {
  HandleRecordingKey();
  ASSERT_EQ(1, g_viewer.recording);
  filter_.Sample(rec_test::CameraFrame(1));
  g_sounds.clear();
  filter_.calls.clear();
  orba_test::DebugOutputCapture log;

  HandleEndKey();
  EXPECT_EQ(0, g_viewer.recording);
  EXPECT_EQ(std::vector<std::string>{"ToggleRecording:0"}, filter_.calls);
  ASSERT_NE(nullptr, g_viewer.hConvertThread);
  WPARAM code = 0;
  // The conversion takes at least its settling time, so it still runs here.
  EXPECT_FALSE(QuitPosted(&code));
  EXPECT_EQ((std::vector<int>{kSoundRecordingStops, kSoundRecordingStops}), g_sounds);
  EXPECT_TRUE(log.Contains("exitCode == STILL_ACTIVE"));

  EXPECT_EQ(0u, WaitForConversion());
  HandleEndKey();
  EXPECT_TRUE(log.Contains("exitCode good"));
  EXPECT_EQ(nullptr, g_viewer.hConvertThread);
  ASSERT_TRUE(QuitPosted(&code));
  EXPECT_EQ(0u, code);
  EXPECT_TRUE(orba_test::FileExists(g_viewer.videoFinalPath));
}

TEST_F(RecordingKeysTest, EndKeyQuitsAtOnceWhenNothingRuns) {
  HandleEndKey();
  WPARAM code = 1;
  ASSERT_TRUE(QuitPosted(&code));
  EXPECT_EQ(0u, code);
  EXPECT_TRUE(g_sounds.empty());
  EXPECT_TRUE(filter_.calls.empty());
}

TEST_F(RecordingKeysTest, EndKeyQuitsWhenTheThreadCannotBeAskedAnyMore) {
  // A handle that no longer names a thread (an event stands in for it).
  HANDLE notAThread = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  g_viewer.hConvertThread = notAThread;
  orba_test::DebugOutputCapture log;
  HandleEndKey();
  WPARAM code = 1;
  EXPECT_TRUE(QuitPosted(&code));
  EXPECT_TRUE(log.Contains("Should not get here, but will allow quitting now."));
  g_viewer.hConvertThread = nullptr;
  CloseHandle(notAThread);
}

TEST_F(RecordingKeysTest, WithoutTheFilterTheKeysStillKeepTheirState) {
  g_viewer.pOrbaProc = nullptr;
  HandleRecordingKey();
  EXPECT_EQ(1, g_viewer.recording);
  HandleRecordingKey();
  EXPECT_EQ(0, g_viewer.recording);
  EXPECT_EQ(0u, WaitForConversion());
  EXPECT_FALSE(orba_test::FileExists(g_viewer.videoFinalPath)) << "nothing was recorded";
  EXPECT_TRUE(filter_.calls.empty());
}

TEST_F(RecordingKeysTest, TheEndOfAPassStopsARecordingAndConvertsIt) {
  StopRecordingAtEndOfPass();
  EXPECT_TRUE(filter_.calls.empty()) << "not recording: nothing to do";
  HandleRecordingKey();
  filter_.Sample(rec_test::CameraFrame(2));
  filter_.Sample(rec_test::CameraFrame(3));
  StopRecordingAtEndOfPass();
  EXPECT_EQ(0, g_viewer.recording);
  EXPECT_EQ("ToggleRecording:0", filter_.calls.back());
  ASSERT_TRUE(ConversionRunning());
  // The teardown that follows must leave the conversion its buffers and decoder.
  unsigned char* rgb = g_viewer.tempBufferRGB;
  void* decomp = g_viewer.decomp;
  DestroyDecompressor();
  FreeFrameBuffers();
  EXPECT_EQ(rgb, g_viewer.tempBufferRGB);
  EXPECT_EQ(decomp, g_viewer.decomp);
  // A following pass keeps the running conversion and reuses what it uses.
  ForgetFinishedConversion();
  EXPECT_NE(nullptr, g_viewer.hConvertThread);
  AllocateFrameBuffers();
  CreateDecompressor();
  EXPECT_EQ(rgb, g_viewer.tempBufferRGB);
  EXPECT_EQ(decomp, g_viewer.decomp);

  WaitForConversionAtProgramEnd();
  EXPECT_FALSE(ConversionRunning());
  EXPECT_EQ(nullptr, g_viewer.tempBufferRGB) << "freed once the conversion has ended";
  EXPECT_EQ(nullptr, g_viewer.decomp);
  std::vector<Bytes> frames;
  std::string error;
  ASSERT_TRUE(rec_test::ReadAviFrames(g_viewer.videoFinalPath, &frames, &error)) << error;
  EXPECT_EQ(2u, frames.size());
}

TEST_F(RecordingKeysTest, TeardownKeepsBuffersOnlyWhileTheConversionRuns) {
  RunningThread conversion;
  g_viewer.hConvertThread = conversion.Handle();
  unsigned char* jpeg = g_viewer.tempBufferJPEG;
  FreeFrameBuffers();
  DestroyDecompressor();
  EXPECT_EQ(jpeg, g_viewer.tempBufferJPEG);
  EXPECT_NE(nullptr, g_viewer.decomp);
  ForgetFinishedConversion();
  EXPECT_NE(nullptr, g_viewer.hConvertThread);

  conversion.Finish();
  ForgetFinishedConversion();
  EXPECT_EQ(nullptr, g_viewer.hConvertThread);
  FreeFrameBuffers();
  DestroyDecompressor();
  EXPECT_EQ(nullptr, g_viewer.tempBufferJPEG);
  EXPECT_EQ(nullptr, g_viewer.tempBufferRGB);
  EXPECT_EQ(nullptr, g_viewer.decomp);
}

}  // namespace
