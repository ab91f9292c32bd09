// The conversion window: starting from the options dialog's settings (chapter runs,
// disk mode, the confirmation), closing and the check boxes.
#include "conversion_support.h"

#include <support/files.h>

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
  ServeUntilEnded(t);
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

// The start button after a run would replace the finished file: it asks as OK asks,
// except for the one start that follows OK's own question about the same file.
TEST_F(ConvertWindowTest, ASecondStartAsksBeforeReplacingTheFinishedFile) {
  const std::string out = Path("window.mpg");
  SelectChapters({0});
  TConvertThread* t = Press();
  ASSERT_TRUE(t);
  ServeUntilEnded(t);
  ASSERT_EQ(t->Outcome(), TConvertOutcome::Completed);
  EXPECT_TRUE(boxes_.empty());
  const std::string finished = quill_test::ReadFile(out);
  ASSERT_FALSE(finished.empty());

  answer_ = IDNO;
  EXPECT_EQ(Press(), nullptr);
  ASSERT_EQ(boxes_.size(), 1u);
  EXPECT_EQ(boxes_[0].caption, "Confirm please");
  EXPECT_EQ(boxes_[0].type, static_cast<UINT>(MB_YESNO));
  EXPECT_EQ(boxes_[0].text, ReplaceQuestion(out));
  EXPECT_EQ(boxes_[0].text, "The file " + out + " already exists. Do you want to replace it?");
  ExpectIdleWindow();
  EXPECT_EQ(quill_test::ReadFile(out), finished) << "No leaves the file alone";

  // OK asked and was answered yes: the start that follows does not ask again, the one
  // after it does.
  boxes_.clear();
  answer_ = IDYES;
  frmOption->btnOkClick(frmOption->btnOk);
  ASSERT_EQ(boxes_.size(), 1u);
  EXPECT_EQ(boxes_[0].text, ReplaceQuestion(out));
  t = Press();
  ASSERT_TRUE(t);
  EXPECT_EQ(boxes_.size(), 1u);
  ServeUntilEnded(t);
  boxes_.clear();
  t = Press();
  ASSERT_TRUE(t);
  ASSERT_EQ(boxes_.size(), 1u) << "yes to the question starts the run";
  EXPECT_EQ(boxes_[0].caption, "Confirm please");
  ServeUntilEnded(t);
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
  ServeUntilEnded(t);
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

}  // namespace
