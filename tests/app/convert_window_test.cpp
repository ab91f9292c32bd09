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

// The info line's text as drawn: measured in the label's own font.
int InfoWidth(const std::string& text) {
  TBitmap scratch(1, 1);
  scratch.Canvas()->SetFont(frmConvert->Label_Info->Font());
  return scratch.Canvas()->TextWidth(text);
}

bool ValidUtf8(const std::string& s) {
  for (std::size_t i = 0; i < s.size();) {
    const unsigned char b = static_cast<unsigned char>(s[i]);
    const std::size_t n = b < 0x80 ? 1 : (b >> 5) == 6 ? 2 : (b >> 4) == 14 ? 3 : (b >> 3) == 30 ? 4 : 0;
    if (n == 0 || i + n > s.size()) return false;
    for (std::size_t k = 1; k < n; ++k)
      if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return false;
    i += n;
  }
  return true;
}

// A line cut to "...": what is left of it before and after, each a true end of `whole`.
void ExpectBothEndsOf(const std::string& shown, const std::string& whole, const std::string& lead) {
  SCOPED_TRACE(shown);
  const std::size_t cut = shown.find("...");
  ASSERT_NE(cut, std::string::npos) << "not cut";
  const std::string head = shown.substr(0, cut), tail = shown.substr(cut + 3);
  EXPECT_EQ(head.rfind(lead, 0), 0u) << "the kind is kept whole";
  EXPECT_GT(head.size(), lead.size()) << "no start of the path kept";
  EXPECT_EQ(whole.rfind(head, 0), 0u);
  ASSERT_FALSE(tail.empty()) << "no end of the path kept";
  EXPECT_EQ(whole.compare(whole.size() - tail.size(), tail.size(), tail), 0);
  EXPECT_TRUE(ValidUtf8(shown)) << "cut inside a character";
  EXPECT_LE(InfoWidth(shown), frmConvert->Label_Info->Width());
}

// The info line shows the run's own kind and file; the label keeps its place and look.
TEST_F(ConvertWindowTest, TheInfoLineNamesEachRunsKindAndFile) {
  TLabel* info = frmConvert->Label_Info;
  EXPECT_EQ(info->BoundsRect(), TRect(175, 60, 175 + 124, 60 + 13));
  EXPECT_TRUE(info->Font()->Style().Contains(fsItalic));
  EXPECT_TRUE(info->Transparent());

  // Read whole on a label wide enough for it, then as the window has it.
  answer_ = IDYES;  // a stopped run may have left its file
  info->SetWidth(4000);
  SelectChapters({0});
  ASSERT_TRUE(Press());
  EXPECT_EQ(info->Caption(), "DVD to VCD---" + Path("window.mpg"));
  frmConvert->btnPlayClick(frmConvert->btnPlay);

  frmOption->radioAVI->SetChecked(true);
  frmOption->radioAVIClick(frmOption->radioAVI);
  frmOption->edtOutput->SetText(Path("a&b.avi"));  // "&" is part of the name, not a key
  ASSERT_TRUE(Press());
  EXPECT_EQ(info->Caption(), "DVD to AVI---" + Path("a&b.avi"));
  EXPECT_FALSE(info->ShowAccelChar());
  frmConvert->btnPlayClick(frmConvert->btnPlay);

  info->SetWidth(124);
  ASSERT_TRUE(Press());
  ExpectBothEndsOf(info->Caption(), "DVD to AVI---" + Path("a&b.avi"), "DVD to AVI---");
  frmConvert->btnPlayClick(frmConvert->btnPlay);
  EXPECT_EQ(info->BoundsRect(), TRect(175, 60, 175 + 124, 60 + 13)) << "the label did not grow to its text";
}

// A long path is cut in its middle: the kind, the path's start and its file name's end
// stay, and the line fits the label.
TEST_F(ConvertWindowTest, ALongOutputPathIsCutInItsMiddleToFitTheLabel) {
  const fs::path folder = fs::path(Path(std::string(120, 'a'))) / std::string(120, 'b');
  fs::create_directories(folder);
  const std::string out = (folder / "KORVEX_Quillmere.mpg").string();
  frmOption->edtOutput->SetText(out);
  SelectChapters({0});
  ASSERT_TRUE(Press());
  const std::string shown = frmConvert->Label_Info->Caption();
  // A look for people: the window with the cut line.
  Application->ProcessMessages();
  EXPECT_TRUE(HeadlessCaptureToFile(frmConvert->Handle(),
                                    (quill_test::GalleryFolder() / "conversion_window_long_output.png").string()));
  frmConvert->btnPlayClick(frmConvert->btnPlay);
  ExpectBothEndsOf(shown, "DVD to VCD---" + out, "DVD to VCD---");
  EXPECT_EQ(shown.substr(shown.size() - 4), ".mpg");
  EXPECT_GT(InfoWidth(shown), 124 * 3 / 4) << "cut further than the label needs";

  // Characters of several bytes are cut whole, in the middle and at the ends of the path.
  TBitmap scratch(1, 1);
  TCanvas* c = scratch.Canvas();
  c->SetFont(frmConvert->Label_Info->Font());
  std::string wide = "/";
  for (int i = 0; i < 100; ++i) wide += "\u00e9\u7247";
  wide += "/";
  for (int i = 0; i < 10; ++i) wide += "\u00fc\u7247";
  for (std::int32_t kind : {0, 1, 2}) {
    const std::string lead = std::string("DVD to ") + (kind == 0 ? "VCD" : kind == 1 ? "SVCD" : "AVI") + "---";
    ExpectBothEndsOf(InfoLine(c, kind, wide, 124), lead + wide, lead);
  }
  // A label too narrow for the kind: the whole line is cut, its start and end kept.
  const std::string narrow = InfoLine(c, 1, wide, 60);
  EXPECT_EQ(narrow.rfind("DVD", 0), 0u) << narrow;
  EXPECT_EQ(narrow.substr(narrow.size() - 3), "\u7247") << narrow;
  EXPECT_LE(c->TextWidth(narrow), 60);
  // Short enough: the line as it is.
  EXPECT_EQ(InfoLine(c, 2, "/v/a.avi", 124), "DVD to AVI---/v/a.avi");
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
