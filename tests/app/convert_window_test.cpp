// The conversion window: starting from the options dialog's settings (chapter runs,
// disk mode, the confirmation), closing and the check boxes; and the preview calls
// seen through a painter of our own.
#include "conversion_support.h"

#include <atomic>

#include "app_fakes.h"
#include "option.h"

using namespace convtest;

namespace {

class ConvertWindowTest : public ConversionTest {
 protected:
  void SetUp() override {
    ConversionTest::SetUp();
    if (HasFatalFailure()) return;
    // The sample disc is the one drive.
    setenv("QUILLMERE_DVD", DriveFolder().c_str(), 1);
    Application->CreateForm(frmOption);
    // The dialog would store its output path beside the test program.
    frmOption->OnDestroy = nullptr;
    ASSERT_TRUE(frmOption->FDvdInfo) << "the sample disc was not opened";
    frmOption->radioVCD->SetChecked(true);
    frmOption->radioVCDClick(frmOption->radioVCD);
    frmOption->edtOutput->SetText(Path("window.mpg"));
  }
  void TearDown() override {
    unsetenv("QUILLMERE_DVD");
    ConversionTest::TearDown();
  }
  // The folder QUILLMERE_DVD names: the one that holds VIDEO_TS.
  virtual std::string DriveFolder() const { return fs::path(videoTs_).parent_path().string(); }

  void SelectChapters(std::initializer_list<int> chapters) {
    frmOption->radioChapter->SetChecked(true);
    for (int c : chapters) frmOption->lstChapter->SetSelected(c, true);
  }

  // Presses the start button; answers with the run's thread or null when none started.
  TConvertThread* Press() {
    frmConvert->Show();
    frmConvert->btnPlayClick(frmConvert->btnPlay);
    return frmConvert->Thread();
  }

  // Serves the thread until it has ended.
  void Finish(TConvertThread* t) {
    while (!t->Finished()) {
      TThread::CheckSynchronize();
      TThread::WaitForSyncSignal(20);
    }
    TThread::CheckSynchronize();
  }

  int ChapterStart(int c) { return ReadRange(videoTs_, 0, c, c).start; }
  int ChapterEnd(int c) { return ReadRange(videoTs_, 0, c, c).end; }
};

TEST_F(ConvertWindowTest, ARunOfConsecutiveChaptersConvertsFromTheFirstStartToTheLastEnd) {
  SelectChapters({1, 2});
  TConvertThread* t = Press();
  ASSERT_TRUE(t);
  EXPECT_TRUE(frmConvert->Running());
  EXPECT_EQ(frmConvert->PlayImages(), frmConvert->ImageList2);
  EXPECT_EQ(t->StartPosition(), static_cast<std::uint32_t>(ChapterStart(1)));
  EXPECT_EQ(t->EndPosition(), static_cast<std::uint32_t>(ChapterEnd(2)));
  Finish(t);
  EXPECT_EQ(t->Outcome(), TConvertOutcome::Completed);
  EXPECT_TRUE(boxes_.empty());
  ExpectIdleWindow();
  EXPECT_NEAR(t->Pictures(), ReadRange(videoTs_, 0, 1, 2).seconds * 25, 1);

  // Pressed again with the settings unchanged: a new run with the same settings.
  boxes_.clear();
  TConvertThread* again = Press();
  ASSERT_TRUE(again);
  EXPECT_EQ(again->StartPosition(), static_cast<std::uint32_t>(ChapterStart(1)));
  frmConvert->btnPlayClick(frmConvert->btnPlay);  // stop at once
  ExpectIdleWindow();
}

// QUILLMERE_DVD naming the VIDEO_TS folder itself, as it is usually copied off a disc.
class VideoTsAsDriveTest : public ConvertWindowTest {
 protected:
  std::string DriveFolder() const override { return videoTs_; }
};

TEST_F(VideoTsAsDriveTest, TheVideoFolderItselfBrowsesAndConvertsLikeTheFolderThatHoldsIt) {
  ASSERT_EQ(frmOption->cmbDisk->Items()->Count(), 1);
  EXPECT_EQ(frmOption->cmbDisk->Items()->Get(0), videoTs_ + "/");
  ASSERT_GT(frmOption->cmbTittle->Items()->Count(), 0);
  ASSERT_GT(frmOption->lstChapter->Items()->Count(), 1);
  SelectChapters({1});
  TConvertThread* t = Press();
  ASSERT_TRUE(t);
  Finish(t);
  EXPECT_EQ(t->Outcome(), TConvertOutcome::Completed);
  EXPECT_TRUE(boxes_.empty());
  EXPECT_NEAR(t->Pictures(), ReadRange(videoTs_, 0, 1, 1).seconds * 25, 1);
}

TEST_F(ConvertWindowTest, ChaptersWithAGapAreRefusedAndNoThreadIsMade) {
  SelectChapters({0, 2});
  EXPECT_EQ(Press(), nullptr);
  ASSERT_EQ(boxes_.size(), 1u);
  EXPECT_EQ(boxes_[0].text, "Please select the continuity Capters!!");
  EXPECT_EQ(boxes_[0].caption, "Error");
  EXPECT_EQ(boxes_[0].type, static_cast<UINT>(MB_ICONERROR));
  EXPECT_EQ(frmConvert->LastThread(), nullptr);
  ExpectIdleWindow();
}

TEST_F(ConvertWindowTest, NoChapterChosenAsksAndNoStartsNothingYesConvertsTheWholeChain) {
  frmOption->radioChapter->SetChecked(true);
  answer_ = IDNO;
  EXPECT_EQ(Press(), nullptr);
  ASSERT_EQ(boxes_.size(), 1u);
  EXPECT_EQ(boxes_[0].text, "You have not selected Capter,I will convert totoal Title!");
  EXPECT_EQ(boxes_[0].caption, "Confirm please");
  EXPECT_EQ(boxes_[0].type, static_cast<UINT>(MB_YESNO));
  ExpectIdleWindow();

  answer_ = IDYES;
  TConvertThread* t = Press();
  ASSERT_TRUE(t);
  INT count = 0;
  frmOption->FDvdInfo->GetChapterCount(&count);
  EXPECT_EQ(t->StartPosition(), static_cast<std::uint32_t>(ChapterStart(0)));
  EXPECT_EQ(t->EndPosition(), static_cast<std::uint32_t>(ChapterEnd(count - 1)));
  frmConvert->btnPlayClick(frmConvert->btnPlay);
}

TEST_F(ConvertWindowTest, DiskModeIgnoresTheChapterList) {
  SelectChapters({0, 2});  // would be refused in chapter mode
  frmOption->radioDisk->SetChecked(true);
  TConvertThread* t = Press();
  ASSERT_TRUE(t);
  EXPECT_TRUE(boxes_.empty());
  EXPECT_EQ(t->StartPosition(), static_cast<std::uint32_t>(ChapterStart(0)));
  frmConvert->btnPlayClick(frmConvert->btnPlay);
}

TEST_F(ConvertWindowTest, ClosingIsRefusedWhileARunGoesOn) {
  SelectChapters({0});
  TConvertThread* t = Press();
  ASSERT_TRUE(t);
  frmConvert->Close();
  ASSERT_EQ(boxes_.size(), 1u);
  EXPECT_EQ(boxes_[0].text, "Please stop the converting at first!");
  EXPECT_EQ(boxes_[0].caption, "Error");
  EXPECT_TRUE(frmConvert->Visible());
  frmConvert->btnPlayClick(frmConvert->btnPlay);
  frmConvert->Close();
  EXPECT_FALSE(frmConvert->Visible());
  // Once stopped, closing is not refused again. (A run stopped before its first
  // picture may still report that no file was written.)
  const auto refusals = std::count_if(boxes_.begin(), boxes_.end(), [](const auto& b) {
    return b.text == "Please stop the converting at first!";
  });
  EXPECT_EQ(refusals, 1);
}

TEST_F(ConvertWindowTest, ShowingShowsThePreviewAndItsBoxHidesIt) {
  frmConvert->suiProgressBar1->SetPosition(40);
  frmConvert->Show();
  EXPECT_TRUE(frmPreview->Visible());
  EXPECT_TRUE(frmConvert->ckbPreview->Checked());
  EXPECT_EQ(frmConvert->suiProgressBar1->Position(), 0);
  ClickOn(frmConvert->ckbPreview);
  EXPECT_FALSE(frmConvert->ckbPreview->Checked());
  EXPECT_FALSE(frmPreview->Visible());
  ClickOn(frmConvert->ckbPreview);
  EXPECT_TRUE(frmPreview->Visible());
  frmConvert->Close();
  EXPECT_FALSE(frmPreview->Visible());
}

TEST_F(ConvertWindowTest, TheStartButtonShowsAPlayArrowWhileIdleAndAStopSquareWhileRunning) {
  ASSERT_EQ(frmConvert->ImageList1->Count(), 3);
  ASSERT_EQ(frmConvert->ImageList2->Count(), 3);
  frmConvert->Show();
  // The button's centre (in the arrow and the square) and a point near the square's
  // top-right corner (outside the arrow).
  auto pixels = [] {
    Application->ProcessMessages();
    TSurface s;
    EXPECT_TRUE(HeadlessCapture(frmConvert->Handle(), s));
    const TRect r = frmConvert->btnPlay->BoundsRect();
    const int cx = r.Left + 45, cy = r.Top + 45;
    return std::pair{s.Row(cy)[cx], s.Row(cy - 13)[cx + 10]};
  };
  auto [centre, corner] = pixels();
  EXPECT_EQ(centre, 0xFFFFFFu) << "the white arrow";
  EXPECT_NE(corner, 0xFFFFFFu);
  SelectChapters({0});
  ASSERT_TRUE(Press());
  std::tie(centre, corner) = pixels();
  EXPECT_EQ(centre, 0xFFFFFFu);
  EXPECT_EQ(corner, 0xFFFFFFu) << "the white square";
  frmConvert->btnPlayClick(frmConvert->btnPlay);
}

TEST_F(ConvertWindowTest, AProgramChainWithoutChaptersStartsNothing) {
  apptest::FakeDisc disc;
  disc.titles = {{"Title 1", {{"PGC 1", {}, {"English"}, {}}}}};
  apptest::CallLog log;
  frmOption->FDvdInfo.Attach(new apptest::FakeDvdInfo(&disc, &log));
  frmOption->FDvdInfo->SelectTitle(0);
  frmOption->FDvdInfo->SelectProgramChain(0);
  frmOption->radioDisk->SetChecked(true);
  EXPECT_EQ(Press(), nullptr);
  ASSERT_EQ(boxes_.size(), 1u);
  EXPECT_EQ(boxes_[0].text, "This Program Chain has no Capter to convert!");
  EXPECT_EQ(boxes_[0].caption, "Error");
  for (const std::string& call : log.calls) EXPECT_NE(call.rfind("GetChapterEnd", 0), 0u) << call;
  ExpectIdleWindow();
}

TEST_F(ConvertWindowTest, ARunningConversionEndsBeforeTheWindowsAtProgramExit) {
  SelectChapters({0, 1, 2});
  TConvertThread* t = Press();
  ASSERT_TRUE(t);
  while (t->Pictures() < 20) {
    TThread::CheckSynchronize();
    TThread::WaitForSyncSignal(20);
  }
  // The program ends: the application frees its forms while the run goes on.
  apptest::FreshApplication();
  auto probe = Probe(Path("window.mpg"));
  ASSERT_FALSE(probe.is_null()) << "the stopped run's file is closed and playable";
  EXPECT_GE(JsonNumber(*StreamOfType(probe, "video"), "nb_read_frames"), 20);
  EXPECT_TRUE(boxes_.empty());
}

TEST(ChapterRuns, AnyNumberOfChaptersAndGapsAnywhere) {
  std::vector<int> many(1500);
  for (int i = 0; i < 1500; ++i) many[i] = 7 + i;
  int first = -1, last = -1;
  EXPECT_TRUE(TfrmConvert::AreChaptersConsecutive(many, &first, &last));
  EXPECT_EQ(first, 7);
  EXPECT_EQ(last, 1506);
  many[1200] += 1;
  first = last = -1;
  EXPECT_FALSE(TfrmConvert::AreChaptersConsecutive(many, &first, &last));
  EXPECT_EQ(first, 7) << "first is written before the gap is found";
  EXPECT_EQ(last, -1);
  EXPECT_FALSE(TfrmConvert::AreChaptersConsecutive({}, &first, &last));
  EXPECT_TRUE(TfrmConvert::AreChaptersConsecutive({3}, &first, &last));
  EXPECT_EQ(first, 3);
  EXPECT_EQ(last, 3);
}

// A preview painter of the test's own: counts its calls and fails on request, leaving
// no error information behind.
class FakePainter : public IPicShowObj, public IClassFactory {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (iid == IID_IClassFactory) {
      *out = static_cast<IClassFactory*>(this);
    } else if (iid == IID_IUnknown || iid == IID_IDispatch || iid == IID_IPicShowObj) {
      *out = static_cast<IPicShowObj*>(this);
    } else {
      *out = nullptr;
      return E_NOINTERFACE;
    }
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE Open(HWND window, INT width, INT height) override {
    openWindow = window;
    openWidth = width;
    openHeight = height;
    return openResult;
  }
  HRESULT STDMETHODCALLTYPE ShowFrame(INT, INT, BYTE*, BYTE*, BYTE*, HWND window) override {
    ++shows;
    showWindow = window;
    return shows == failAt ? E_FAIL : S_OK;
  }
  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown*, REFIID iid, void** out) override {
    return QueryInterface(iid, out);
  }
  HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }

  HRESULT openResult = S_OK;
  int failAt = 0;
  std::atomic<int> shows{0};
  HWND openWindow = nullptr, showWindow = nullptr;
  INT openWidth = 0, openHeight = 0;
};

class PreviewCallsTest : public ConversionTest {
 protected:
  void SetUp() override {
    ConversionTest::SetUp();
    ASSERT_EQ(CoRegisterClassObject(CLSID_PicShowObj, static_cast<IClassFactory*>(&painter_), CLSCTX_INPROC_SERVER,
                                    0, &cookie_),
              S_OK);
  }
  void TearDown() override {
    CoRevokeClassObject(cookie_);
    ConversionTest::TearDown();
  }
  FakePainter painter_;
  DWORD cookie_ = 0;
};

TEST_F(PreviewCallsTest, EveryTwentyFifthPictureGoesUnscaledToThePreviewWindow) {
  const auto s = Settings(0, 0, 0, 1, Path("preview.mpg"));
  TConvertThread* t = Run(s);
  EXPECT_EQ(t->Outcome(), TConvertOutcome::Completed);
  EXPECT_EQ(painter_.openWindow, frmPreview->Handle());
  EXPECT_EQ(painter_.openWidth, 720);
  EXPECT_EQ(painter_.openHeight, 576);
  EXPECT_EQ(painter_.shows, t->Pictures() / 25);
  EXPECT_EQ(painter_.showWindow, frmPreview->Handle());
}

TEST_F(PreviewCallsTest, AFailingPreviewWithoutErrorInformationStopsTheRunWithTheGeneralText) {
  painter_.failAt = 2;  // the 50th picture
  const auto s = Settings(0, 0, 0, 1, Path("preview-fails.mpg"));
  TConvertThread* t = Run(s);
  EXPECT_EQ(t->Outcome(), TConvertOutcome::Failed);
  EXPECT_EQ(t->Pictures(), 50);
  ASSERT_EQ(boxes_.size(), 1u);
  EXPECT_EQ(boxes_[0].text, "Program Exception ,have to stop!");
  // The file keeps what was written before the failure.
  auto probe = Probe(s.outputFile);
  ASSERT_FALSE(probe.is_null());
  EXPECT_EQ(JsonNumber(*StreamOfType(probe, "video"), "nb_read_frames"), 49);
}

TEST_F(PreviewCallsTest, APreviewThatCannotOpenIsSaidOnceAndTheRunGoesOnWithoutIt) {
  painter_.openResult = E_FAIL;
  const auto s = Settings(0, 0, 0, 1, Path("preview-off.mpg"));
  TConvertThread* t = Run(s);
  EXPECT_EQ(t->Outcome(), TConvertOutcome::Completed);
  ASSERT_EQ(boxes_.size(), 1u);
  EXPECT_EQ(boxes_[0].text, "Preview can not create directdraw Object,can not show pictures!");
  EXPECT_EQ(painter_.shows, 0);
}

TEST_F(PreviewCallsTest, ARangeOfFewerThanTwentyFivePicturesIsNeverPreviewed) {
  auto s = Settings(0, 0, 0, 0, Path("short.mpg"));
  TConvertThread* t = Run(s, [](TConvertThread* run) {
    if (run->Pictures() >= 20) run->SetStop(true);
  });
  EXPECT_EQ(t->Outcome(), TConvertOutcome::Stopped);
  EXPECT_LT(t->Pictures(), 25);
  EXPECT_EQ(painter_.shows, 0);
}

}  // namespace
