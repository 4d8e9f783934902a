// Recording end to end: ORBA.exe on the simulated camera records with its
// recording key and converts the frame files into an XVID video (the codec is
// the test prefix's stand-in). The evidence is the video file as parsed, the
// picture folder, and the viewer's own debugger output, read by attaching to
// it as a debugger; that output names every frame file the filter writes.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <regex>
#include <set>

#include "AviParser.h"
#include "LiveViewerTest.h"
#include "ProcessDebugOutput.h"
#include "ResourceCounts.h"
#include "TestEnv.h"
#include "orba/ImagesDir.h"
#include "orba/Text.h"

namespace live_test {
namespace {

constexpr UINT kHotKeyRecord = 1121;
constexpr DWORD kConversionTimeoutMs = 90000;
constexpr DWORD kFramesTimeoutMs = 60000;
// The frame lines of the filter: "[pid][tid] 590: <folder>\temp\frame_<n>.jpg".
constexpr char kFilterPrefix[] = "] 590: ";
constexpr char kConversionEnd[] = "ConvertFramesToAvi Exit!";

// The text after the lead in the first line that has it; empty when none does.
std::string TextAfter(const std::vector<std::string>& lines, const std::string& lead) {
  for (const auto& line : lines) {
    const size_t at = line.find(lead);
    if (at != std::string::npos) return line.substr(at + lead.size());
  }
  return std::string();
}

// The text after "<key>: ".
std::string ValueOf(const std::vector<std::string>& lines, const std::string& key) {
  return TextAfter(lines, key + ": ");
}

class RecordingE2ETest : public LiveViewerTest {
 protected:
  void SetUp() override {
    LiveViewerTest::SetUp();
    char folder[kImagesDirBytes];
    GetImagesDirPath(folder, sizeof folder);
    pictures_ = folder;
    tempFolder_ = pictures_ + "\\temp";
    orba_test::RemoveTree(tempFolder_);
    videosBefore_ = MatchingFiles(pictures_ + "\\video_*");
  }

  void TearDown() override {
    LiveViewerTest::TearDown();
    debug_.Detach();
    simcam::StallStream(false);
    for (const auto& name : MatchingFiles(pictures_ + "\\video_*")) {
      if (!videosBefore_.count(name)) {
        const std::string path = pictures_ + "\\" + name;
        if (!DeleteFileA(path.c_str())) orba_test::RemoveTree(path);
      }
    }
    orba_test::RemoveTree(tempFolder_);
  }

  // The viewer up, with this test as its debugger.
  ::testing::AssertionResult StartWatchedViewer() {
    ::testing::AssertionResult up = StartViewer();
    if (!up) return up;
    if (!debug_.Attach(viewer_.pid())) {
      return ::testing::AssertionFailure() << "cannot attach to the viewer as its debugger";
    }
    return ::testing::AssertionSuccess();
  }

  bool PressRecord() { return PostHotKey(kHotKeyRecord, 'O'); }

  // The frame numbers the filter has written (or tried to write) so far.
  std::vector<long> FramesWritten() const {
    std::vector<long> numbers;
    const std::string marker = "\\temp\\frame_";
    for (const auto& line : debug_.Lines()) {
      const size_t prefix = line.find(kFilterPrefix);
      if (prefix == std::string::npos) continue;
      const size_t at = line.find(marker, prefix);
      if (at == std::string::npos) continue;
      numbers.push_back(std::strtol(line.c_str() + at + marker.size(), nullptr, 10));
    }
    return numbers;
  }

  // The camera's rate drops on a busy machine: the wait is generous, and ends
  // as soon as the frames are there.
  ::testing::AssertionResult WaitForFrames(size_t count) {
    if (WaitUntil([&] { return FramesWritten().size() >= count; }, kFramesTimeoutMs)) {
      return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure()
           << "the filter wrote " << FramesWritten().size() << " frame files, not " << count;
  }

  ::testing::AssertionResult WaitForConversionEnd(size_t conversions = 1) {
    if (WaitUntil([&] { return debug_.Count(kConversionEnd) >= conversions; },
                  kConversionTimeoutMs)) {
      return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure() << "the conversion did not end";
  }

  std::vector<std::string> NewVideos() const {
    std::vector<std::string> added;
    for (const auto& name : MatchingFiles(pictures_ + "\\video_*")) {
      if (!videosBefore_.count(name)) added.push_back(name);
    }
    return added;
  }

  // Checks the video as a player would read it; its frame count.
  static size_t CheckVideo(const std::string& path) {
    orba_test::AviFile avi;
    std::string error;
    EXPECT_TRUE(orba_test::ParseAviFile(path, &avi, &error)) << path << ": " << error;
    if (avi.streams.size() != 1) {
      ADD_FAILURE() << path << " has " << avi.streams.size() << " streams";
      return 0;
    }
    const orba_test::AviStream& s = avi.streams[0];
    EXPECT_EQ("vids", orba_test::FourCCText(s.header.fccType));
    EXPECT_EQ("XVID", orba_test::FourCCText(s.header.fccHandler));
    EXPECT_EQ(60000u, s.header.rate);
    EXPECT_EQ(1000u, s.header.scale);
    EXPECT_TRUE(s.hasBitmapInfo);
    EXPECT_EQ(1280, s.bitmapInfo.width);
    EXPECT_EQ(720, s.bitmapInfo.height);
    EXPECT_EQ(24, s.bitmapInfo.bitCount);
    EXPECT_EQ(s.dataChunks.size(), static_cast<size_t>(s.header.length));
    return s.dataChunks.size();
  }

  // Ends the viewer as a crash or a kill would, in the middle of its work.
  void KillViewer() {
    debug_.Detach();
    viewer_.Kill();
    ASSERT_FALSE(viewer_.IsRunning());
  }

  // After a start: the frames a killed run left have become a video in the
  // background, and nothing of them is left in the temporary or a kept folder.
  ::testing::AssertionResult WaitForRecovery() {
    const bool done = WaitUntil(
        [&] {
          return !TempFolderExists() && MatchingFiles(pictures_ + "\\video_*_frames").empty() &&
                 !NewVideos().empty();
        },
        kConversionTimeoutMs);
    if (done) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure()
           << "the frames left by the killed viewer were not recovered";
  }

  size_t FrameFilesLeft() const { return MatchingFiles(tempFolder_ + "\\frame_*.jpg").size(); }

  bool TempFolderExists() const {
    return GetFileAttributesA(tempFolder_.c_str()) != INVALID_FILE_ATTRIBUTES;
  }

  std::string pictures_;
  std::string tempFolder_;
  std::set<std::string> videosBefore_;
  orba_test::ProcessDebugOutput debug_;
};

// Two presses: a video named by the time of the first, every written frame in
// it, and no frame files left behind.
TEST_F(RecordingE2ETest, TwoRecordingKeysGiveAVideoOfEveryWrittenFrame) {
  ASSERT_TRUE(StartWatchedViewer());
  ASSERT_TRUE(PressRecord());
  ASSERT_TRUE(WaitForFrames(45));
  ASSERT_TRUE(PressRecord());
  ASSERT_TRUE(WaitForConversionEnd());

  const auto lines = debug_.Lines();
  const std::string finalPath = ValueOf(lines, "videoFinalPath");
  const std::string tempPath = ValueOf(lines, "videoTempPath");
  std::smatch stamp;
  const std::regex named(R"(\\video_(\d{6}_\d\d\.\d\d\.\d\d)\.avi$)");
  ASSERT_TRUE(std::regex_search(finalPath, stamp, named)) << finalPath;
  EXPECT_EQ(pictures_ + "\\video_" + stamp[1].str() + ".avi", finalPath);
  EXPECT_EQ(tempFolder_ + "\\video_" + stamp[1].str() + ".avi", tempPath)
      << "one time stamp names both files";

  const std::vector<std::string> added = NewVideos();
  ASSERT_EQ(std::vector<std::string>{"video_" + stamp[1].str() + ".avi"}, added);
  const std::vector<long> written = FramesWritten();
  EXPECT_EQ(written.size(), CheckVideo(finalPath));
  EXPECT_FALSE(TempFolderExists()) << tempFolder_;
  EXPECT_TRUE(viewer_.IsRunning());
  EXPECT_TRUE(EndViewer());
}

// Restarts through ZoomText's broadcast while recording: each one stops the
// recording and converts it. They are measured against idle restarts of the
// same viewer just before them: a recording restart may keep the handles an
// idle one keeps, plus what the system keeps for writing a movie; nothing of
// its own. (The test process's calibration of the graph is good only to a
// handle a pass, too coarse to show one kept by each recording; for memory it
// is the steadier figure, as 40 idle restarts swing too much to give one.)
TEST_F(RecordingE2ETest, RestartsWhileRecordingKeepNoMoreThanIdleRestarts) {
  constexpr int kIdleRestarts = 40, kRecordingRestarts = 100;
  orba_test::GrowthMargins movie;
  live_test::AllowMovieCost(&movie);
  orba_test::GrowthMargins margins;
  // One handle kept by every recording shows as 60 between the two means.
  margins.handles = 12;
  live_test::AllowPlatformCost(&margins);
  ASSERT_TRUE(StartWatchedViewer());
  HWND window = Window();
  std::vector<orba_test::ResourceCounts> idle, recording;
  for (int restart = 0; restart < kIdleRestarts + kRecordingRestarts; ++restart) {
    const bool record = restart >= kIdleRestarts;
    if (record) {
      const size_t written = FramesWritten().size();
      ASSERT_TRUE(PressRecord());
      ASSERT_TRUE(WaitForFrames(written + 3)) << "restart " << restart;
    }
    ASSERT_TRUE(viewer_.PostZoomTextStateChange());
    const HWND next = viewer_.WaitForNewViewerWindow(window, kStartTimeoutMs);
    ASSERT_NE(nullptr, next) << "restart " << restart;
    window = next;
    if (record) {
      ASSERT_TRUE(WaitForConversionEnd(restart - kIdleRestarts + 1)) << "restart " << restart;
    }
    ASSERT_TRUE(WaitUntil([&] { return RotGraphNames(viewer_.pid()).size() == 1; }, kStepTimeoutMs))
        << "restart " << restart;
    orba_test::ResourceCounts c;
    ASSERT_TRUE(orba_test::ReadSettledCounts(viewer_.process(), &c));
    (record ? recording : idle).push_back(c);
    if (restart % 10 == 9) {
      std::printf("%s restart %d: %lu handles, %lu KiB private\n", record ? "recording" : "idle",
                  record ? restart - kIdleRestarts + 1 : restart + 1, c.handles,
                  static_cast<unsigned long>(c.privateBytes / 1024));
      std::fflush(stdout);
    }
  }
  const orba_test::Growth perIdleRestart = orba_test::GrowthPerCycle(idle);
  std::printf("an idle restart keeps %.1f handles and %.1f KiB\n", perIdleRestart.handles,
              perIdleRestart.privateBytes / 1024);
  margins.platformHandlesPerCycle =
      std::max(0.0, perIdleRestart.handles) + movie.platformHandlesPerCycle;
  margins.platformBytesPerCycle += movie.platformBytesPerCycle;
  EXPECT_TRUE(orba_test::NoSteadyGrowth("viewer restarts while recording", recording, margins));
  EXPECT_EQ(static_cast<size_t>(kRecordingRestarts), NewVideos().size())
      << "one video per recording";
  ASSERT_TRUE(EndViewer());
}

// The key is ignored while the last recording is being converted; once the
// conversion has ended it records again.
TEST_F(RecordingE2ETest, KeyDuringTheConversionOnlyReportsIt) {
  ASSERT_TRUE(StartWatchedViewer());
  ASSERT_TRUE(PressRecord());
  ASSERT_TRUE(WaitForFrames(90));
  // Queued together: the third is handled right after the conversion started.
  ASSERT_TRUE(PressRecord());
  ASSERT_TRUE(PressRecord());
  ASSERT_TRUE(WaitForConversionEnd());
  const size_t written = FramesWritten().size();

  EXPECT_EQ(1u, debug_.Count("exitCode == STILL_ACTIVE"));
  EXPECT_EQ(1u, debug_.Count("videoFinalPath: ")) << "no second recording started";
  Sleep(1000);
  EXPECT_EQ(written, FramesWritten().size()) << "no frame is written after the stop";
  EXPECT_FALSE(TempFolderExists());
  ASSERT_EQ(1u, NewVideos().size());
  EXPECT_EQ(written, CheckVideo(pictures_ + "\\" + NewVideos()[0]));

  // The conversion is over: the key starts a new recording.
  const size_t mark = debug_.Mark();
  ASSERT_TRUE(PressRecord());
  ASSERT_TRUE(WaitForFrames(written + 10));
  const auto since = debug_.LinesSince(mark);
  EXPECT_FALSE(ValueOf(since, "videoFinalPath").empty());
  EXPECT_EQ(1u, debug_.Count("exitCode good"));
  ASSERT_TRUE(PressRecord());
  ASSERT_TRUE(WaitForConversionEnd(2));
  EXPECT_EQ(2u, NewVideos().size());
  EXPECT_TRUE(EndViewer());
}

// The end key stops a recording and keeps the program running while the video
// is made, however often it is pressed; pressed after that, it ends the program
// and the camera hears its closing command.
TEST_F(RecordingE2ETest, EndKeyStopsTheRecordingAndEndsOnlyAfterTheConversion) {
  ASSERT_TRUE(StartWatchedViewer());
  ASSERT_TRUE(PressRecord());
  ASSERT_TRUE(WaitForFrames(90));
  ASSERT_TRUE(PostHotKey(kHotKeyEnd, 'E'));
  ASSERT_TRUE(PostHotKey(kHotKeyEnd, 'E'));
  ASSERT_TRUE(WaitForConversionEnd());
  EXPECT_EQ(2u, debug_.Count("exitCode == STILL_ACTIVE"))
      << "both end keys came during the conversion";
  Sleep(500);
  EXPECT_TRUE(viewer_.IsRunning()) << "no end key came after the conversion";
  ASSERT_EQ(1u, NewVideos().size());
  EXPECT_EQ(FramesWritten().size(), CheckVideo(pictures_ + "\\" + NewVideos()[0]));
  EXPECT_FALSE(TempFolderExists());

  ASSERT_TRUE(simcam::ResetLog());
  EXPECT_TRUE(EndViewer());
  EXPECT_EQ(1u, CountCode(CameraCodes(), "F0 05"));
}

// A camera that delivers nothing during the recording: no video, and no
// temporary folder.
TEST_F(RecordingE2ETest, RecordingThatSawNoSampleLeavesNothing) {
  ASSERT_TRUE(StartWatchedViewer());
  ASSERT_TRUE(simcam::StallStream(true));
  Sleep(500);  // a sample already on its way lands before the key
  ASSERT_TRUE(PressRecord());
  Sleep(1500);
  ASSERT_TRUE(PressRecord());
  ASSERT_TRUE(WaitForConversionEnd());
  EXPECT_TRUE(FramesWritten().empty());
  EXPECT_EQ(1u, debug_.Count("No frame was converted: no video"));
  EXPECT_TRUE(NewVideos().empty());
  EXPECT_FALSE(TempFolderExists());
  ASSERT_TRUE(simcam::StallStream(false));
  EXPECT_TRUE(EndViewer());
}

// A video of the same name is already there: it stays as it was and the new
// one takes the next name.
TEST_F(RecordingE2ETest, VideoOfTheSameNameIsKeptAndTheNewOneTakesTheNextName) {
  ASSERT_TRUE(StartWatchedViewer());
  // Every name the recording can get in the next seconds is taken.
  SYSTEMTIME now;
  GetLocalTime(&now);
  FILETIME ft;
  ASSERT_TRUE(SystemTimeToFileTime(&now, &ft));
  ULARGE_INTEGER t;
  t.LowPart = ft.dwLowDateTime;
  t.HighPart = ft.dwHighDateTime;
  std::set<std::string> taken;
  for (int s = -2; s <= 20; ++s) {
    ULARGE_INTEGER u = t;
    u.QuadPart += static_cast<LONGLONG>(s) * 10000000LL;
    FILETIME uf = {u.LowPart, u.HighPart};
    SYSTEMTIME st;
    ASSERT_TRUE(FileTimeToSystemTime(&uf, &st));
    char stamp[orba::kTimeStampBytes];
    orba::FormatTimeStamp(st, stamp);
    const std::string name = std::string("video_") + stamp + ".avi";
    if (taken.insert(name).second) {
      ASSERT_TRUE(orba_test::WriteFileBytes(pictures_ + "\\" + name, "an earlier video " + name));
    }
  }
  ASSERT_TRUE(PressRecord());
  ASSERT_TRUE(WaitForFrames(30));
  ASSERT_TRUE(PressRecord());
  ASSERT_TRUE(WaitForConversionEnd());

  const std::string finalPath = ValueOf(debug_.Lines(), "videoFinalPath");
  const std::string earlierName = finalPath.substr(finalPath.rfind('\\') + 1);
  ASSERT_TRUE(taken.count(earlierName)) << finalPath;
  EXPECT_EQ("an earlier video " + earlierName, orba_test::ReadFileBytes(finalPath));
  const std::string second =
      pictures_ + "\\" + earlierName.substr(0, earlierName.size() - 4) + "_2.avi";
  EXPECT_EQ(second, TextAfter(debug_.Lines(), "Video saved as "));
  EXPECT_EQ(FramesWritten().size(), CheckVideo(second));
  EXPECT_EQ(taken.size() + 1, NewVideos().size());
  EXPECT_FALSE(TempFolderExists());
  EXPECT_TRUE(EndViewer());
}

// A frame file the filter could not write does not end the video: every frame
// after it is still converted.
TEST_F(RecordingE2ETest, FrameThatCouldNotBeWrittenCostsOnlyItself) {
  ASSERT_TRUE(StartWatchedViewer());
  ASSERT_TRUE(PressRecord());
  ASSERT_TRUE(WaitForFrames(10));

  // A file of a frame to come, held open by this test, cannot be written.
  long blocked = 0;
  HANDLE holder = INVALID_HANDLE_VALUE;
  for (long ahead = 20; ahead <= 200 && holder == INVALID_HANDLE_VALUE; ahead += 20) {
    const std::vector<long> written = FramesWritten();
    blocked = *std::max_element(written.begin(), written.end()) + ahead;
    const std::string path = tempFolder_ + "\\frame_" + std::to_string(blocked) + ".jpg";
    holder = CreateFileA(path.c_str(), GENERIC_WRITE | DELETE, 0, nullptr, CREATE_NEW,
                         FILE_ATTRIBUTE_NORMAL | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
  }
  ASSERT_NE(INVALID_HANDLE_VALUE, holder);
  const bool passed = WaitUntil(
      [&] {
        const std::vector<long> w = FramesWritten();
        return !w.empty() && *std::max_element(w.begin(), w.end()) >= blocked + 20;
      },
      kFramesTimeoutMs);
  CloseHandle(holder);  // the file goes with the handle: the number stays missing
  ASSERT_TRUE(passed);
  ASSERT_TRUE(PressRecord());
  ASSERT_TRUE(WaitForConversionEnd());

  const std::vector<long> written = FramesWritten();
  ASSERT_EQ(1, std::count(written.begin(), written.end(), blocked));
  EXPECT_EQ(1u, debug_.Count("Frame " + std::to_string(blocked) + " is missing"));
  ASSERT_EQ(1u, NewVideos().size());
  EXPECT_EQ(written.size() - 1, CheckVideo(pictures_ + "\\" + NewVideos()[0]))
      << "every frame but the blocked one";
  EXPECT_FALSE(TempFolderExists());
  EXPECT_TRUE(EndViewer());
}

// Killed while it records: the next start makes the frames written so far a
// video (at most the frame being written when it died is lost), and a new
// recording works beside it.
TEST_F(RecordingE2ETest, RecordingOfAKilledViewerIsRecoveredAtTheNextStart) {
  ASSERT_TRUE(StartWatchedViewer());
  ASSERT_TRUE(PressRecord());
  ASSERT_TRUE(WaitForFrames(40));
  KillViewer();
  const size_t left = FrameFilesLeft();
  ASSERT_GE(left, 39u);

  ASSERT_TRUE(StartWatchedViewer());
  ASSERT_TRUE(WaitForRecovery());
  ASSERT_EQ(1u, NewVideos().size());
  const size_t recovered = CheckVideo(pictures_ + "\\" + NewVideos()[0]);
  EXPECT_GE(recovered + 1, left);
  EXPECT_LE(recovered, left);

  const size_t before = FramesWritten().size();
  const size_t ends = debug_.Count(kConversionEnd);
  ASSERT_TRUE(PressRecord());
  ASSERT_TRUE(WaitForFrames(before + 20));
  ASSERT_TRUE(PressRecord());
  ASSERT_TRUE(WaitForConversionEnd(ends + 1));
  ASSERT_EQ(2u, NewVideos().size());
  EXPECT_FALSE(TempFolderExists());
  EXPECT_TRUE(EndViewer());
}

// Killed while it converts: no frame file has been deleted yet, and the next
// start replaces the partial video by one of every frame.
TEST_F(RecordingE2ETest, ConversionOfAKilledViewerIsMadeAgainWithEveryFrame) {
  ASSERT_TRUE(StartWatchedViewer());
  ASSERT_TRUE(PressRecord());
  ASSERT_TRUE(WaitForFrames(120));
  ASSERT_TRUE(PressRecord());
  ASSERT_TRUE(
      WaitUntil([&] { return debug_.Count("Decode time AppendNewFrame") >= 5; }, kStepTimeoutMs));
  const size_t written = FramesWritten().size();
  KillViewer();
  ASSERT_EQ(0u, debug_.Count(kConversionEnd)) << "the conversion ended before the kill";
  EXPECT_EQ(written, FrameFilesLeft());

  ASSERT_TRUE(StartWatchedViewer());
  ASSERT_TRUE(WaitForRecovery());
  ASSERT_EQ(1u, NewVideos().size());
  EXPECT_EQ(written, CheckVideo(pictures_ + "\\" + NewVideos()[0]));
  EXPECT_TRUE(EndViewer());
}

// A restart pass that cannot find the camera ends the program with an error;
// the video of the recording that the restart stopped is finished first.
TEST_F(RecordingE2ETest, FatalErrorInARestartFinishesTheVideoFirst) {
  ASSERT_TRUE(StartWatchedViewer());
  ASSERT_TRUE(PressRecord());
  ASSERT_TRUE(WaitForFrames(150));
  ASSERT_TRUE(simcam::RemoveDeviceInstance());
  ASSERT_TRUE(viewer_.PostZoomTextStateChange());
  orba_test::SeenMessageBox seen;
  const bool answered = viewer_.AnswerMessageBox(&seen, kStartTimeoutMs);
  const bool plugged = simcam::WriteDeviceInstance();
  ASSERT_TRUE(answered);
  ASSERT_TRUE(plugged);
  EXPECT_EQ("Error #25A Sorry no or wrong camera Program ends\n", seen.text);
  // Started while the first one waits for its video, a second viewer waits in
  // turn instead of ending unseen.
  orba_test::ViewerProcess second;
  ASSERT_TRUE(second.Start());
  DWORD code = 0;
  ASSERT_TRUE(viewer_.WaitForExit(kConversionTimeoutMs, &code));
  EXPECT_EQ(1u, code);
  ASSERT_EQ(1u, NewVideos().size());
  EXPECT_EQ(FramesWritten().size(), CheckVideo(pictures_ + "\\" + NewVideos()[0]));
  EXPECT_FALSE(TempFolderExists());
  EXPECT_TRUE(second.WaitForViewerWindow(kStartTimeoutMs)) << "the second start gave up";
  EXPECT_TRUE(second.CloseAndWait(30000, &code));
}

}  // namespace
}  // namespace live_test
