// Samples through the registered filter, from a test source to Wine's Null
// Renderer: frame files of recordings, plain pictures, and pictures through the
// Save As dialog driven as a user would.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <thread>

#include "DebugOutputCapture.h"
#include "FilterTestKit.h"
#include "TestEnv.h"
#include "orba/SettingsKey.h"
#include "orba/Text.h"

namespace filter_test {
namespace {

using orba_test::FileExists;
using orba_test::ReadFileBytes;

class ProcTransform : public ::testing::Test {
 protected:
  void SetUp() override {
    MakeMjpgType(&type_, 64, 48);
    chain_.reset(new TapChain(type_));
    ASSERT_NE(nullptr, chain_->Proc());
    ASSERT_EQ(S_OK, chain_->ConnectOutput());
    ASSERT_NO_FATAL_FAILURE(chain_->Run());
    proc_ = chain_->Proc();
    recordRoot_ = orba_test::MakeTempDir("record");
    recordFolder_ = recordRoot_ + "\\temp";
    for (int i = 0; i < 4; ++i) {
      const std::string jpeg = MakeJpeg(64, 48, i);
      ASSERT_FALSE(jpeg.empty());
      withTables_.push_back(jpeg);
      withoutTables_.push_back(StripHuffmanTables(jpeg));
    }
  }
  void TearDown() override {
    chain_.reset();
    orba_test::RemoveTree(recordRoot_);
  }

  std::string Frame(int n) { return recordFolder_ + "\\frame_" + std::to_string(n) + ".jpg"; }
  std::vector<std::string> Pictures() { return FilesIn(pictures_.Folder()); }
  std::string Picture(const std::string& name) {
    return ReadFileBytes(pictures_.Folder() + "\\" + name);
  }
  void Push(const std::string& bytes) { ASSERT_EQ(S_OK, chain_->Push(bytes)); }

  orba_test::DebugOutputCapture log_;
  ComScope com_;
  PictureFolderScope pictures_;  // before the filter: it creates its folder then
  CMediaType type_;
  std::unique_ptr<TapChain> chain_;
  IORBAProc* proc_ = nullptr;
  std::string recordRoot_;
  std::string recordFolder_;
  std::vector<std::string> withTables_;
  std::vector<std::string> withoutTables_;
};

TEST_F(ProcTransform, TheFilterMadeItsPictureFolder) {
  EXPECT_TRUE(FileExists(pictures_.Folder()));
}

TEST_F(ProcTransform, WithoutRequestsNothingIsStored) {
  ASSERT_EQ(S_OK, proc_->SetRecordFolder(recordFolder_.c_str()));
  log_.Clear();
  Push(withTables_[0]);
  Push(withTables_[1]);
  EXPECT_EQ(2u, log_.Count("590: 64 Hello new Transform function!"));
  EXPECT_FALSE(FileExists(recordFolder_));
  EXPECT_TRUE(Pictures().empty());
}

TEST_F(ProcTransform, RecordingStoresEachSampleAsItCameFromFrameZero) {
  ASSERT_EQ(S_OK, proc_->SetRecordFolder(recordFolder_.c_str()));
  ASSERT_EQ(S_OK, proc_->ToggleRecording(0));
  for (int i = 0; i < 3; ++i) Push(withoutTables_[i]);
  ASSERT_EQ(S_OK, proc_->ToggleRecording(0));
  Push(withoutTables_[3]);

  EXPECT_EQ((std::vector<std::string>{"frame_0.jpg", "frame_1.jpg", "frame_2.jpg"}),
            FilesIn(recordFolder_));
  for (int i = 0; i < 3; ++i) {
    // Byte for byte, implicit Huffman tables and all.
    EXPECT_EQ(withoutTables_[i], ReadFileBytes(Frame(i))) << i;
  }
  EXPECT_TRUE(log_.Contains("590: " + Frame(0)));
  EXPECT_TRUE(Pictures().empty());
}

TEST_F(ProcTransform, SecondRecordingRestartsAtFrameZero) {
  ASSERT_EQ(S_OK, proc_->SetRecordFolder(recordFolder_.c_str()));
  proc_->ToggleRecording(0);
  for (int i = 0; i < 3; ++i) Push(withTables_[i]);
  proc_->ToggleRecording(0);
  Push(withTables_[3]);
  proc_->ToggleRecording(0);
  Push(withoutTables_[3]);
  Push(withoutTables_[2]);
  proc_->ToggleRecording(0);

  EXPECT_EQ(withoutTables_[3], ReadFileBytes(Frame(0)));
  EXPECT_EQ(withoutTables_[2], ReadFileBytes(Frame(1)));
  EXPECT_EQ(withTables_[2], ReadFileBytes(Frame(2))) << "older frame of the first recording";
  EXPECT_FALSE(FileExists(Frame(3)));
}

TEST_F(ProcTransform, RecordingSwitchedOffAndOnBetweenSamplesIsOneRecording) {
  ASSERT_EQ(S_OK, proc_->SetRecordFolder(recordFolder_.c_str()));
  proc_->ToggleRecording(0);
  Push(withTables_[0]);
  proc_->ToggleRecording(0);
  proc_->ToggleRecording(0);
  Push(withTables_[1]);
  EXPECT_EQ((std::vector<std::string>{"frame_0.jpg", "frame_1.jpg"}), FilesIn(recordFolder_));
}

TEST_F(ProcTransform, RecordingWithoutSamplesLeavesNoFolder) {
  ASSERT_EQ(S_OK, proc_->SetRecordFolder(recordFolder_.c_str()));
  proc_->ToggleRecording(0);
  proc_->ToggleRecording(0);
  Push(withTables_[0]);
  EXPECT_FALSE(FileExists(recordFolder_));
}

// The record folder is made with its missing parents, and made again when it
// goes during the recording; a frame file that cannot be written costs only
// itself, and both counts are logged when the recording stops.
TEST_F(ProcTransform, RecordFolderIsMadeAgainAndEveryFrameIsCounted) {
  const std::string deep = recordRoot_ + "\\gone\\deeper\\temp";
  ASSERT_EQ(S_OK, proc_->SetRecordFolder(deep.c_str()));
  proc_->ToggleRecording(0);
  Push(withTables_[0]);
  ASSERT_EQ(withTables_[0], ReadFileBytes(deep + "\\frame_0.jpg"));

  orba_test::RemoveTree(recordRoot_ + "\\gone");
  Push(withTables_[1]);
  EXPECT_EQ(withTables_[1], ReadFileBytes(deep + "\\frame_1.jpg"));

  // A file held open without sharing by someone else cannot be written.
  const std::string held = deep + "\\frame_2.jpg";
  HANDLE holder = CreateFileA(held.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, holder);
  Push(withTables_[2]);
  CloseHandle(holder);
  Push(withTables_[3]);
  EXPECT_EQ(withTables_[3], ReadFileBytes(deep + "\\frame_3.jpg"));
  EXPECT_TRUE(ReadFileBytes(held).empty()) << "someone else's file is left alone";
  EXPECT_TRUE(log_.Contains("590: Frame 2 not stored: its file cannot be created"));

  EXPECT_FALSE(log_.Contains("Recording stopped"));
  proc_->ToggleRecording(0);
  Push(withTables_[0]);
  EXPECT_EQ(1u, log_.Count("590: Recording stopped: 3 frames written, 1 not written"));
}

// On a full disk a frame is written only in part: its file is deleted, and the
// recording goes on once there is room. The test runner maps a 16 MiB drive.
TEST_F(ProcTransform, FrameCutShortByAFullDiskLeavesNoFile) {
  const char* drive = std::getenv("ORBA_TEST_SMALL_DRIVE");
  if (!drive || !*drive) GTEST_SKIP() << "no small drive in this prefix";
  const std::string folder = std::string(drive) + "\\full-disk-frames";
  const std::string filler = std::string(drive) + "\\filler";
  ULARGE_INTEGER free = {};
  ASSERT_TRUE(GetDiskFreeSpaceExA((std::string(drive) + "\\").c_str(), &free, nullptr, nullptr));
  ASSERT_GT(free.QuadPart, withTables_[0].size() * 2);
  // Leaves room for about half a frame.
  ASSERT_TRUE(orba_test::WriteFileBytes(
      filler, std::string(static_cast<size_t>(free.QuadPart - withTables_[0].size() / 2), 'x')));
  ASSERT_EQ(S_OK, proc_->SetRecordFolder(folder.c_str()));
  proc_->ToggleRecording(0);
  Push(withTables_[0]);
  const bool cut = !orba_test::FileExists(folder + "\\frame_0.jpg");
  const bool logged = log_.Contains("590: Frame 0 not stored: the write failed");
  DeleteFileA(filler.c_str());
  Push(withTables_[1]);
  const std::string second = ReadFileBytes(folder + "\\frame_1.jpg");
  proc_->ToggleRecording(0);
  Push(withTables_[2]);
  orba_test::RemoveTree(folder);
  EXPECT_TRUE(cut) << "a truncated frame file is left";
  EXPECT_TRUE(logged);
  EXPECT_EQ(withTables_[1], second);
  EXPECT_EQ(1u, log_.Count("590: Recording stopped: 1 frames written, 1 not written"));
}

// Stopping the graph counts a recording that was switched off after its last sample.
TEST_F(ProcTransform, RecordingSwitchedOffBeforeTheGraphStopsIsCounted) {
  ASSERT_EQ(S_OK, proc_->SetRecordFolder(recordFolder_.c_str()));
  proc_->ToggleRecording(0);
  Push(withTables_[0]);
  Push(withTables_[1]);
  proc_->ToggleRecording(0);
  chain_->Stop();
  EXPECT_EQ(1u, log_.Count("590: Recording stopped: 2 frames written, 0 not written"));
}

TEST_F(ProcTransform, PictureFolderThatHasGoneIsMadeAgain) {
  orba_test::RemoveTree(pictures_.Folder());
  ASSERT_EQ(S_OK, proc_->SetTakePicture(1));
  Push(withTables_[0]);
  const std::vector<std::string> pictures = Pictures();
  ASSERT_EQ(1u, pictures.size());
  EXPECT_EQ(withTables_[0], Picture(pictures[0]));
}

TEST_F(ProcTransform, RecordingWithoutFolderStoresNothingInTheDriveRoot) {
  proc_->ToggleRecording(0);
  Push(withTables_[0]);
  proc_->ToggleRecording(0);
  EXPECT_FALSE(FileExists("\\frame_0.jpg"));
  EXPECT_TRUE(log_.Contains("590: No record folder: frame 0 not stored"));
}

TEST_F(ProcTransform, FramePathThatDoesNotFitIsNotWrittenAndItsNumberIsUsed) {
  // A folder of 990 characters leaves no room for "\frame_N.jpg" in a path.
  std::string deep = recordRoot_ + "\\";
  deep.append(990 - deep.size(), 'd');
  ASSERT_EQ(990u, deep.size());
  ASSERT_EQ(S_OK, proc_->SetRecordFolder(deep.c_str()));
  proc_->ToggleRecording(0);
  Push(withTables_[0]);
  Push(withTables_[1]);
  proc_->ToggleRecording(0);
  EXPECT_TRUE(log_.Contains("590: Frame path too long: frame 0 not stored"));
  EXPECT_TRUE(log_.Contains("590: Frame path too long: frame 1 not stored"));
  EXPECT_EQ(0u, log_.Count("frame_0.jpg"));
}

TEST_F(ProcTransform, PictureWhileRecordingIsStoredTwice) {
  ASSERT_EQ(S_OK, proc_->SetRecordFolder(recordFolder_.c_str()));
  proc_->ToggleRecording(0);
  Push(withTables_[0]);
  ASSERT_EQ(S_OK, proc_->SetTakePicture(1));
  Push(withTables_[1]);
  Push(withTables_[2]);
  proc_->ToggleRecording(0);

  EXPECT_EQ(withTables_[1], ReadFileBytes(Frame(1)));
  const std::vector<std::string> pictures = Pictures();
  ASSERT_EQ(1u, pictures.size());
  EXPECT_EQ(withTables_[1], Picture(pictures[0]));
  long request = -1;
  proc_->GetTakePicture(&request);
  EXPECT_EQ(0, request) << "the picture pass clears its request";
}

TEST_F(ProcTransform, PictureIsNamedByTheLocalTime) {
  SYSTEMTIME before;
  GetLocalTime(&before);
  ASSERT_EQ(S_OK, proc_->SetTakePicture(1));
  Push(withTables_[0]);
  SYSTEMTIME after;
  GetLocalTime(&after);
  char a[orba::kTimeStampBytes], b[orba::kTimeStampBytes];
  orba::FormatTimeStamp(before, a);
  orba::FormatTimeStamp(after, b);
  const std::vector<std::string> pictures = Pictures();
  ASSERT_EQ(1u, pictures.size());
  EXPECT_TRUE(pictures[0] == std::string(a) + ".jpg" || pictures[0] == std::string(b) + ".jpg")
      << pictures[0];
  EXPECT_EQ(withTables_[0], Picture(pictures[0]));
  EXPECT_TRUE(log_.Contains("GetImagesDirPath:\n"));
  EXPECT_TRUE(log_.Contains(pictures_.Folder() + "\\" + pictures[0]));
}

TEST_F(ProcTransform, PictureNeverOverwritesOneOfTheSameSecond) {
  // Whatever second the picture falls in, its plain name is taken already.
  SYSTEMTIME now;
  GetLocalTime(&now);
  FILETIME ft;
  SystemTimeToFileTime(&now, &ft);
  std::vector<std::string> taken;
  for (int s = 0; s < 5; ++s) {
    ULARGE_INTEGER t;
    t.LowPart = ft.dwLowDateTime;
    t.HighPart = ft.dwHighDateTime;
    t.QuadPart += static_cast<ULONGLONG>(s) * 10000000ull;
    FILETIME shifted = {t.LowPart, t.HighPart};
    SYSTEMTIME st;
    FileTimeToSystemTime(&shifted, &st);
    char stamp[orba::kTimeStampBytes];
    orba::FormatTimeStamp(st, stamp);
    taken.push_back(stamp);
    ASSERT_TRUE(orba_test::WriteFileBytes(pictures_.Folder() + "\\" + stamp + ".jpg", "older"));
  }
  ASSERT_EQ(S_OK, proc_->SetTakePicture(1));
  Push(withTables_[0]);
  ASSERT_EQ(S_OK, proc_->SetTakePicture(1));
  Push(withTables_[1]);

  int seconds = 0;
  for (const std::string& stamp : taken) {
    EXPECT_EQ("older", Picture(stamp + ".jpg"));
    if (FileExists(pictures_.Folder() + "\\" + stamp + "_2.jpg")) ++seconds;
  }
  std::vector<std::string> all = Pictures();
  ASSERT_EQ(7u, all.size());
  // Two pictures in one second are "_2" and "_3"; across a second boundary
  // each is the "_2" of its own second.
  std::string first, second;
  for (const std::string& name : all) {
    const std::string bytes = Picture(name);
    if (bytes == withTables_[0]) first = name;
    if (bytes == withTables_[1]) second = name;
  }
  ASSERT_FALSE(first.empty());
  ASSERT_FALSE(second.empty());
  EXPECT_NE(std::string::npos, first.find("_2.jpg")) << first;
  EXPECT_TRUE(second.find("_3.jpg") != std::string::npos || seconds == 2) << second;
}

TEST_F(ProcTransform, TwoPicturesInOneSecondKeepBoth) {
  // Start just after a second begins so that both fall in the same one.
  SYSTEMTIME t;
  GetLocalTime(&t);
  Sleep(1000 - t.wMilliseconds + 20);
  ASSERT_EQ(S_OK, proc_->SetTakePicture(1));
  Push(withTables_[0]);
  ASSERT_EQ(S_OK, proc_->SetTakePicture(1));
  Push(withTables_[1]);
  const std::vector<std::string> all = Pictures();
  ASSERT_EQ(2u, all.size());
  const std::string plain = all[0];
  ASSERT_EQ(19u, plain.size()) << plain;  // 240103_09.05.07.jpg
  EXPECT_EQ(plain.substr(0, 15) + "_2.jpg", all[1]);
  EXPECT_EQ(withTables_[0], Picture(plain));
  EXPECT_EQ(withTables_[1], Picture(all[1]));
}

TEST_F(ProcTransform, PictureOfAFrameWithoutTablesGetsTheStandardOnes) {
  ASSERT_FALSE(HasTablesBeforeScan(withoutTables_[0]));
  ASSERT_EQ(S_OK, proc_->SetTakePicture(1));
  Push(withoutTables_[0]);
  const std::vector<std::string> pictures = Pictures();
  ASSERT_EQ(1u, pictures.size());
  const std::string stored = Picture(pictures[0]);
  EXPECT_TRUE(HasTablesBeforeScan(stored));
  EXPECT_EQ(withoutTables_[0].size() + 420, stored.size());
  // The inserted tables are the ones the encoder used: the same pixels.
  std::vector<unsigned char> expected, got;
  int w = 0, h = 0;
  ASSERT_TRUE(DecodeJpeg(withTables_[0], &expected, &w, &h));
  ASSERT_TRUE(DecodeJpeg(stored, &got, &w, &h));
  EXPECT_EQ(64, w);
  EXPECT_EQ(48, h);
  EXPECT_TRUE(expected == got);
}

TEST_F(ProcTransform, SomethingThatIsNotAJpegIsStoredAsItCame) {
  ASSERT_EQ(S_OK, proc_->SetTakePicture(1));
  Push("not a jpeg at all");
  const std::vector<std::string> pictures = Pictures();
  ASSERT_EQ(1u, pictures.size());
  EXPECT_EQ("not a jpeg at all", Picture(pictures[0]));
}

// A sample announcing a type the filter does not take is skipped: nothing of it
// is stored, the stream is not ended, and the recording goes on.
TEST_F(ProcTransform, SampleAnnouncingARefusedTypeIsSkippedAndTheRecordingGoesOn) {
  ASSERT_EQ(S_OK, proc_->SetRecordFolder(recordFolder_.c_str()));
  proc_->ToggleRecording(0);
  Push(withTables_[0]);
  ASSERT_EQ(S_OK, proc_->SetTakePicture(1));
  CMediaType v2 = type_;
  v2.SetFormatType(&FORMAT_VideoInfo2);
  EXPECT_EQ(S_OK, chain_->Push(withTables_[1], &v2));
  CMediaType bigger;
  MakeMjpgType(&bigger, 1280, 720);
  EXPECT_EQ(S_OK, chain_->Push(withTables_[2], &bigger));
  EXPECT_EQ(2u, log_.Count("590: Failed to update bitmapinfoheader"));
  EXPECT_TRUE(log_.Contains("590: VFW_E_TYPE_NOT_ACCEPTED"));
  EXPECT_TRUE(Pictures().empty());
  EXPECT_FALSE(FileExists(Frame(1)));

  Push(withTables_[3]);
  EXPECT_EQ(withTables_[0], ReadFileBytes(Frame(0)));
  EXPECT_EQ(withTables_[3], ReadFileBytes(Frame(1))) << "the next sample is the next frame";
  EXPECT_FALSE(FileExists(Frame(2)));
  const std::vector<std::string> pictures = Pictures();
  ASSERT_EQ(1u, pictures.size()) << "the picture request waits for a sample it takes";
  EXPECT_EQ(withTables_[3], Picture(pictures[0]));
}

TEST_F(ProcTransform, AnnouncedMotionJpegTypeBecomesTheFormatAndIsReported) {
  CMediaType slower = type_;
  reinterpret_cast<VIDEOINFOHEADER*>(slower.Format())->AvgTimePerFrame = 666666;
  ASSERT_EQ(S_OK, proc_->SetTakePicture(1));
  ASSERT_EQ(S_OK, chain_->Push(withTables_[0], &slower));
  EXPECT_TRUE(log_.Contains("590: Unknown image format 47504A4D"));
  EXPECT_EQ(1u, Pictures().size());
}

// The application's threads may ask the input pin about types while samples
// stream; the answers stay right and every sample is stored whole.
TEST_F(ProcTransform, QueryAcceptStormWhileRecordingDoesNoHarm) {
  const ComPtr<IPin> input = PinOf(chain_->Filter(), L"In");
  ASSERT_TRUE(input);
  CMediaType bigger;
  MakeMjpgType(&bigger, 1280, 720);
  CMediaType v2 = type_;
  v2.SetFormatType(&FORMAT_VideoInfo2);
  std::atomic<bool> stop{false};
  std::atomic<int> wrong{0};
  std::atomic<int> asked{0};
  std::thread storm([&] {
    while (!stop) {
      if (input->QueryAccept(&type_) != S_OK) ++wrong;
      if (input->QueryAccept(&bigger) != S_FALSE) ++wrong;
      if (input->QueryAccept(&v2) != S_FALSE) ++wrong;
      ++asked;
    }
  });
  ASSERT_EQ(S_OK, proc_->SetRecordFolder(recordFolder_.c_str()));
  proc_->ToggleRecording(0);
  constexpr int kSamples = 200;
  CMediaType same = type_;
  for (int i = 0; i < kSamples; ++i) {
    // Every fourth sample announces the connected type again.
    EXPECT_EQ(S_OK, chain_->Push(withTables_[i % 4], i % 4 == 0 ? &same : nullptr)) << i;
  }
  proc_->ToggleRecording(0);
  stop = true;
  storm.join();
  EXPECT_EQ(0, wrong.load());
  EXPECT_GT(asked.load(), 0);
  for (int i = 0; i < kSamples; ++i) {
    ASSERT_EQ(withTables_[i % 4], ReadFileBytes(Frame(i))) << i;
  }
  EXPECT_FALSE(FileExists(Frame(kSamples)));
}

// ---------------------------------------------------------------- Save As

class ProcSaveAs : public ProcTransform {
 protected:
  void SetUp() override {
    ProcTransform::SetUp();
    target_ = orba_test::MakeTempDir("saveas");
  }
  void TearDown() override {
    ProcTransform::TearDown();
    orba_test::RemoveTree(target_);
  }
  // Pushes one sample with the dialog driven by the given action.
  SaveDialogDriver* PushThroughDialog(const std::string& sample, SaveDialogDriver::Action action,
                                      const std::string& typed) {
    driver_.reset(new SaveDialogDriver(action, typed));
    const size_t done = log_.Count("Save As dialog done");
    EXPECT_EQ(S_OK, chain_->Push(sample));
    EXPECT_TRUE(driver_->Finish());
    // The dialog has a thread of its own, which writes the file after it.
    EXPECT_TRUE(WaitUntilLogged(done));
    return driver_.get();
  }
  bool WaitUntilLogged(size_t before) {
    return orba_test::WaitFor([&] { return log_.Count("Save As dialog done") > before; }, 10000);
  }

  SettingsKeyScope settings_;
  std::string target_;
  std::unique_ptr<SaveDialogDriver> driver_;
};

TEST_F(ProcSaveAs, ChosenNameIsStoredAndItsFolderRemembered) {
  ASSERT_EQ(S_OK, proc_->SetSavePictureAs(1, nullptr));
  SaveDialogDriver* d =
      PushThroughDialog(withoutTables_[0], SaveDialogDriver::Action::kSaveAs, target_ + "\\chosen");
  // Pre-filled with the time name in the picture folder.
  EXPECT_EQ(19u, d->ShownName().size());
  EXPECT_NE(std::wstring::npos, d->ShownName().find(L".jpg"));
  const std::string stored = ReadFileBytes(target_ + "\\chosen.jpg");
  EXPECT_TRUE(HasTablesBeforeScan(stored));
  EXPECT_EQ(withoutTables_[0].size() + 420, stored.size());
  EXPECT_EQ(ShortPath(target_), settings_.ReadText("ImageFolderPath"));
  EXPECT_TRUE(Pictures().empty());
  EXPECT_TRUE(log_.Contains("HEJ!"));

  // The flag was cleared: the next sample opens no dialog.
  driver_.reset(new SaveDialogDriver(SaveDialogDriver::Action::kCancel));
  Push(withTables_[1]);
  EXPECT_FALSE(driver_->Finish(1500));
}

// The dialog opens in the folder the settings remember, not where it was last
// used: the dialog and the process's current folder keep that one themselves.
TEST_F(ProcSaveAs, NextDialogStartsInTheRememberedFolderNotTheLastOneUsed) {
  ASSERT_EQ(S_OK, proc_->SetSavePictureAs(1, nullptr));
  PushThroughDialog(withTables_[0], SaveDialogDriver::Action::kSaveAs, target_ + "\\one.jpg");
  ASSERT_EQ(withTables_[0], ReadFileBytes(target_ + "\\one.jpg"));
  ASSERT_EQ(ShortPath(target_), settings_.ReadText("ImageFolderPath"));
  const std::string remembered = target_ + "\\remembered";
  ASSERT_TRUE(CreateDirectoryA(remembered.c_str(), nullptr));
  ASSERT_TRUE(settings_.WriteText("ImageFolderPath", remembered));
  ASSERT_EQ(S_OK, proc_->SetSavePictureAs(1, nullptr));
  SaveDialogDriver* d = PushThroughDialog(withTables_[1], SaveDialogDriver::Action::kCancel, "");
  EXPECT_EQ(19u, d->ShownName().size());
  const std::wstring folder = d->ShownFolder();
  const std::string narrow(folder.begin(), folder.end());
  // Either spelling of that folder, long or 8.3, but that folder.
  ASSERT_FALSE(ShortPath(remembered).empty());
  EXPECT_EQ(ShortPath(remembered), ShortPath(narrow)) << narrow;
}

TEST_F(ProcSaveAs, CancelStoresNothingAndKeepsTheRememberedFolder) {
  ASSERT_TRUE(settings_.WriteText("ImageFolderPath", target_));
  ASSERT_EQ(S_OK, proc_->SetSavePictureAs(1, nullptr));
  PushThroughDialog(withTables_[0], SaveDialogDriver::Action::kCancel, "");
  EXPECT_TRUE(FilesIn(target_).empty());
  EXPECT_TRUE(Pictures().empty());
  EXPECT_EQ(target_, settings_.ReadText("ImageFolderPath"));
  EXPECT_TRUE(log_.Contains("Gick ej!"));
}

TEST_F(ProcSaveAs, WithBothRequestsTheNextSampleStillTakesAPlainPicture) {
  ASSERT_EQ(S_OK, proc_->SetTakePicture(1));
  ASSERT_EQ(S_OK, proc_->SetSavePictureAs(1, nullptr));
  PushThroughDialog(withTables_[0], SaveDialogDriver::Action::kCancel, "");
  EXPECT_TRUE(Pictures().empty());
  Push(withTables_[1]);
  const std::vector<std::string> pictures = Pictures();
  ASSERT_EQ(1u, pictures.size());
  EXPECT_EQ(withTables_[1], Picture(pictures[0]));
}

// The dialog adds the extension to a name typed without one, also in a
// folder whose name has a dot.
TEST_F(ProcSaveAs, NameInADottedFolderGetsTheJpgExtension) {
  const std::string dotted = target_ + "\\my.folder";
  ASSERT_TRUE(CreateDirectoryA(dotted.c_str(), nullptr));
  ASSERT_EQ(S_OK, proc_->SetSavePictureAs(1, nullptr));
  PushThroughDialog(withTables_[0], SaveDialogDriver::Action::kSaveAs, dotted + "\\shot");
  EXPECT_EQ(withTables_[0], ReadFileBytes(dotted + "\\shot.jpg"));
  EXPECT_EQ(std::vector<std::string>{"shot.jpg"}, FilesIn(dotted)) << "no temporary file is left";
}

TEST_F(ProcSaveAs, WithoutTheSettingsKeyNothingIsRemembered) {
  ASSERT_EQ(ERROR_SUCCESS, RegDeleteKeyA(HKEY_CURRENT_USER, orba::kSettingsKey));
  ASSERT_EQ(S_OK, proc_->SetSavePictureAs(1, nullptr));
  PushThroughDialog(withTables_[0], SaveDialogDriver::Action::kSaveAs, target_ + "\\x.jpg");
  EXPECT_EQ(withTables_[0], ReadFileBytes(target_ + "\\x.jpg"));
  EXPECT_FALSE(orba_test::RegistryKeyExists(HKEY_CURRENT_USER, orba::kSettingsKey));
}

TEST_F(ProcSaveAs, OverlongRememberedFolderCountsAsAbsent) {
  ASSERT_TRUE(settings_.WriteText("ImageFolderPath", "C:\\" + std::string(1200, 'q')));
  ASSERT_EQ(S_OK, proc_->SetSavePictureAs(1, nullptr));
  SaveDialogDriver* d = PushThroughDialog(withTables_[0], SaveDialogDriver::Action::kCancel, "");
  const std::wstring folder = d->ShownFolder();
  const std::string narrow(folder.begin(), folder.end());
  EXPECT_EQ(0, lstrcmpiA(narrow.c_str(), pictures_.Folder().c_str())) << narrow;
  EXPECT_EQ(19u, d->ShownName().size());
}

TEST_F(ProcSaveAs, RememberedFolderTooLongForTheDialogFallsBackToThePictureFolder) {
  // Fits the 1000-byte folder buffer, but not the dialog's 260 characters.
  ASSERT_TRUE(settings_.WriteText("ImageFolderPath", "C:\\" + std::string(400, 'r')));
  ASSERT_EQ(S_OK, proc_->SetSavePictureAs(1, nullptr));
  SaveDialogDriver* d = PushThroughDialog(withTables_[0], SaveDialogDriver::Action::kCancel, "");
  const std::wstring folder = d->ShownFolder();
  const std::string narrow(folder.begin(), folder.end());
  EXPECT_EQ(0, lstrcmpiA(narrow.c_str(), pictures_.Folder().c_str())) << narrow;
  EXPECT_EQ(19u, d->ShownName().size());
}

}  // namespace
}  // namespace filter_test
