// IORBAProc and ISpecifyPropertyPages of the registered filter: the stores and
// reads, the status text, and the magnifier-area requests with their results,
// diagnostics and effect on a running Kavrelo magnifier.
#include <gtest/gtest.h>

#include <cstring>

#include "DebugOutputCapture.h"
#include "FilterTestKit.h"
#include "KavreloSimClient.h"
#include "TRV_CCTV.h"

namespace filter_test {
namespace {

class ProcControl : public ::testing::Test {
 protected:
  void SetUp() override {
    filter_ = CreateProc();
    ASSERT_TRUE(filter_);
    proc_ = ProcOf(filter_.Get());
    ASSERT_TRUE(proc_);
  }

  std::string Status() {
    char text[300];
    std::memset(text, 'x', sizeof text);
    EXPECT_EQ(S_OK, proc_->GetStatusText(text));
    EXPECT_NE(nullptr, std::memchr(text, '\0', 256)) << "the text ends within 256 bytes";
    return text;
  }

  void ExpectParams(long mode, double dx, double dy) {
    long m = -1;
    double x = -1, y = -1;
    ASSERT_EQ(S_OK, proc_->GetParams(&m, &x, &y));
    EXPECT_EQ(mode, m);
    EXPECT_EQ(dx, x);
    EXPECT_EQ(dy, y);
  }

  orba_test::DebugOutputCapture log_;
  ComScope com_;
  ComPtr<IBaseFilter> filter_;
  ComPtr<IORBAProc> proc_;
};

TEST_F(ProcControl, NewFilterStateAndItsDiagnostics) {
  EXPECT_EQ("NO ERROR", Status());
  ExpectParams(7, 1.0, 1.0);
  long value = -1;
  EXPECT_EQ(S_OK, proc_->GetBuildNumber(&value));
  EXPECT_EQ(590, value);
  for (auto get :
       {&IORBAProc::GetFlipHorizontal, &IORBAProc::GetFlipVertical, &IORBAProc::GetSpareFlag,
        &IORBAProc::GetTakePicture, &IORBAProc::IsOutputConnected}) {
    value = -1;
    EXPECT_EQ(S_OK, (proc_.Get()->*get)(&value));
    EXPECT_EQ(0, value);
  }
  // "[pid][tid] 590: text"
  const std::string prefix = "[" + std::to_string(GetCurrentProcessId()) + "][";
  const std::string created = log_.Matching("590: Filter created.");
  EXPECT_EQ(0u, created.find(prefix)) << created;
  EXPECT_TRUE(log_.Contains("590: No error."));
  filter_.Reset();
  proc_.Reset();
  EXPECT_TRUE(log_.Contains("590: Filter destroyed!"));
}

TEST_F(ProcControl, PlainStoresReadBack) {
  EXPECT_EQ(S_OK, proc_->SetFlipHorizontal(1));
  EXPECT_EQ(S_OK, proc_->SetFlipVertical(5));
  EXPECT_EQ(S_OK, proc_->SetSpareFlag(-3));
  EXPECT_EQ(S_OK, proc_->SetTakePicture(1));
  EXPECT_EQ(S_OK, proc_->SetReservedValues(11, 12));
  long value = 0;
  proc_->GetFlipHorizontal(&value);
  EXPECT_EQ(1, value);
  proc_->GetFlipVertical(&value);
  EXPECT_EQ(5, value);
  proc_->GetSpareFlag(&value);
  EXPECT_EQ(-3, value);
  proc_->GetTakePicture(&value);
  EXPECT_EQ(1, value);
  // Reserved values are stored and nothing reads them.
  ExpectParams(7, 1.0, 1.0);
  EXPECT_EQ("NO ERROR", Status());
}

TEST_F(ProcControl, NullOutPointersAreRefusedRatherThanWrittenThrough) {
  EXPECT_EQ(E_POINTER, proc_->GetBuildNumber(nullptr));
  EXPECT_EQ(E_POINTER, proc_->GetFlipHorizontal(nullptr));
  EXPECT_EQ(E_POINTER, proc_->GetTakePicture(nullptr));
  EXPECT_EQ(E_POINTER, proc_->GetStatusText(nullptr));
  double d = 0;
  EXPECT_EQ(E_POINTER, proc_->GetParams(nullptr, &d, &d));
  ComPtr<ISpecifyPropertyPages> pages;
  ASSERT_EQ(S_OK, filter_->QueryInterface(IID_ISpecifyPropertyPages, pages.PutVoid()));
  EXPECT_EQ(E_POINTER, pages->GetPages(nullptr));
}

TEST_F(ProcControl, GetPagesNamesOnePageInACoTaskMemBlock) {
  ComPtr<ISpecifyPropertyPages> pages;
  ASSERT_EQ(S_OK, filter_->QueryInterface(IID_ISpecifyPropertyPages, pages.PutVoid()));
  CAUUID ids = {};
  ASSERT_EQ(S_OK, pages->GetPages(&ids));
  ASSERT_EQ(1u, ids.cElems);
  ASSERT_NE(nullptr, ids.pElems);
  EXPECT_EQ(CLSID_ORBAProcProperties, ids.pElems[0]);
  // The block is the task allocator's, 16 bytes, and the caller frees it.
  ComPtr<IMalloc> malloc;
  ASSERT_EQ(S_OK, CoGetMalloc(1, &malloc));
  EXPECT_EQ(1, malloc->DidAlloc(ids.pElems));
  EXPECT_EQ(16u, malloc->GetSize(ids.pElems));
  CoTaskMemFree(ids.pElems);
}

TEST_F(ProcControl, SetRecordFolderNullKeepsItAndOverlongIsRefused) {
  EXPECT_EQ(S_OK, proc_->SetRecordFolder(nullptr));
  EXPECT_EQ(S_OK, proc_->SetRecordFolder("C:\\some\\folder"));
  std::string tooLong(1000, 'a');
  EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_FILENAME_EXCED_RANGE),
            proc_->SetRecordFolder(tooLong.c_str()));
  std::string longest(999, 'b');
  EXPECT_EQ(S_OK, proc_->SetRecordFolder(longest.c_str()));
  EXPECT_TRUE(log_.Contains("SetRecordFolder: path too long, folder kept"));
}

TEST_F(ProcControl, UnknownCodeIsInvalidAndChangesNothing) {
  log_.Clear();
  EXPECT_EQ(E_INVALIDARG, proc_->SetParams(8, 1.0, 1.0));
  EXPECT_EQ(E_INVALIDARG, proc_->SetParams(1, 2.0, 2.0));
  EXPECT_EQ(E_INVALIDARG, proc_->SetParams(104, 2.0, 2.0));
  ExpectParams(7, 1.0, 1.0);
  EXPECT_EQ("NO ERROR", Status());
  EXPECT_FALSE(log_.Contains("SetParams:"));
}

TEST_F(ProcControl, KavreloStatusCodesLeaveModeAndFactors) {
  EXPECT_EQ(S_OK, proc_->SetParams(101, 5.0, 5.0));
  ExpectParams(7, 1.0, 1.0);
  EXPECT_TRUE(log_.Contains("590: SetParams: TEMBACCTV_STATUS_ENABLED"));
  EXPECT_EQ(S_OK, proc_->SetParams(103, 6.0, 6.0));
  EXPECT_TRUE(log_.Contains("590: SetParams: TEMBACCTV_STATUS_NEW_API_ENABLED"));
  EXPECT_EQ(S_OK, proc_->SetParams(102, 7.0, 7.0));
  EXPECT_TRUE(log_.Contains("590: SetParams: TEMBACCTV_STATUS_DISABLED"));
  ExpectParams(7, 1.0, 1.0);
}

TEST_F(ProcControl, HalfScreenWithoutVideoStreamFailsAndKeepsTheMode) {
  EXPECT_EQ(E_FAIL, proc_->SetParams(3, 0.5, 0.5));
  EXPECT_EQ("SetParams: No video stream detected", Status());
  EXPECT_TRUE(log_.Contains("590: SetParams: Left"));
  EXPECT_TRUE(log_.Contains("590: SetParams: No video stream detected"));
  ExpectParams(7, 1.0, 1.0);
  for (long code = 2; code <= 6; ++code) EXPECT_EQ(E_FAIL, proc_->SetParams(code, 3.0, 3.0));
  ExpectParams(7, 1.0, 1.0);
}

class ProcControlWithMagnifier : public ProcControl {
 protected:
  void SetUp() override {
    ProcControl::SetUp();
    ASSERT_TRUE(sim_.Start()) << sim_.Error();
    // The process's TRV_CCTV learns the magnifier's control thread, as the
    // viewer's start-up does; the filter's calls then reach the magnifier.
    CCTV_Init(nullptr, 0);
    ASSERT_TRUE(sim_.WaitForMessages(1, 5000));
  }
  void TearDown() override {
    CCTV_Close();
    sim_.Stop();
  }
  size_t Count(uint32_t message) { return sim_.Count(message); }

  kavrelo_sim::KavreloSim sim_;
};

TEST_F(ProcControlWithMagnifier, OffClearsTheViewportAndStoresTheFactors) {
  EXPECT_EQ(S_OK, proc_->SetParams(7, 2.0, 3.0));
  ASSERT_TRUE(sim_.WaitForMessages(2, 5000));
  EXPECT_EQ(1u, Count(1053)) << "CCTV_ClearViewport reached the magnifier";
  EXPECT_EQ(0u, Count(1052));
  ExpectParams(7, 2.0, 3.0);
  EXPECT_TRUE(log_.Contains("590: SetParams: press off"));
  EXPECT_TRUE(log_.Contains("590: ExitDirectDraw entry"));
  EXPECT_EQ("NO ERROR", Status());
}

TEST_F(ProcControlWithMagnifier, RemoveClearsTheViewportAndKeepsModeAndFactors) {
  EXPECT_EQ(S_OK, proc_->SetParams(7, 2.0, 3.0));
  EXPECT_EQ(S_OK, proc_->SetParams(100, 9.0, 9.0));
  ASSERT_TRUE(sim_.WaitForMessages(3, 5000));
  EXPECT_EQ(2u, Count(1053));
  ExpectParams(7, 2.0, 3.0);
  EXPECT_TRUE(log_.Contains("590: SetParams: CCTVAREA_REMOVE"));
}

TEST_F(ProcControlWithMagnifier, FailedAreaRequestSendsNoViewport) {
  EXPECT_EQ(S_OK, proc_->SetParams(101, 1.0, 1.0));
  EXPECT_EQ(E_FAIL, proc_->SetParams(5, 1.0, 1.0));
  Sleep(100);
  EXPECT_EQ(0u, Count(1052));
  EXPECT_EQ(0u, Count(1053));
}

}  // namespace
}  // namespace filter_test
