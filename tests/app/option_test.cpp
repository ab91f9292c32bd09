// The options dialog: browsing a disc through the DVD information object, the output
// kinds with their sizes and rates, the checks on OK and the stored output folder.
#include <climits>

#include <support/files.h>

#include "convert.h"
#include "forms_fixture.h"

namespace apptest {
namespace {

using OptionDialog = FormsTest;

TEST_F(OptionDialog, CreationListsDrivesAndCodecsAndBrowsesTheFirstDisc) {
  TfrmOption* f = CreateOption();
  EXPECT_EQ(Items(f->cmbDisk->Items()),
            (std::vector<std::string>{(dir_ / "discA").string() + "/", (dir_ / "discB").string() + "/"}));
  EXPECT_EQ(f->cmbDisk->ItemIndex(), 0);
  EXPECT_EQ(Items(f->cmbCodec->Items()),
            (std::vector<std::string>{"DIVX MPEG-4", "XVID MPEG-4", "Intel Indeo 5", "MJPEG"}));
  EXPECT_EQ(f->cmbCodec->Perform(CB_GETITEMDATA, 2, 0), 13);
  EXPECT_EQ(f->FCodecId, 11) << "item 0 chosen and its id taken";
  EXPECT_EQ(log.created, 1);
  EXPECT_EQ(log.calls.front(), "OpenDvd " + (dir_ / "discA").string() + "/VIDEO_TS");

  EXPECT_EQ(Items(f->cmbTittle->Items()), (std::vector<std::string>{"Title 1", "Title 2"}));
  EXPECT_EQ(f->cmbTittle->ItemIndex(), 0);
  EXPECT_EQ(Items(f->ProgChain->Items()), (std::vector<std::string>{"PGC 1", "PGC 2"}));
  EXPECT_EQ(f->ProgChain->ItemIndex(), 0);
  EXPECT_EQ(Items(f->lstChapter->Items()),
            (std::vector<std::string>{"Chapter 01,0-----999  12s", "Chapter 02,1000-----2000  40s",
                                      "Chapter 03,2001-----3000  60s", "Chapter 04,3001-----3002  0s"}));
  EXPECT_EQ(Items(f->cmbSubtitle->Items()), (std::vector<std::string>{"None", "English"}));
  EXPECT_EQ(f->cmbSubtitle->ItemIndex(), 0);
  EXPECT_EQ(Items(f->audioDesc->Items()), (std::vector<std::string>{"English AC-3", "French AC-3"}));
  EXPECT_EQ(f->audioDesc->ItemIndex(), 0);
  // The rate handler ran with VCD checked at 25 frames per second.
  EXPECT_EQ(f->edtWidth->Text(), "352");
  EXPECT_EQ(f->edtHeight->Text(), "288");
  EXPECT_EQ(f->FBaseName, UserVideosFolder() + "KORVEX_Quillmere");
  EXPECT_TRUE(boxes.empty());

  // The form's stored choices.
  EXPECT_EQ(f->cmbAudio->Text(), "224");
  EXPECT_EQ(f->cmbBitrate->Text(), "192");
  EXPECT_EQ(f->cmbQuality->Text(), "3");
  EXPECT_EQ(f->cmbRate->Text(), "25 (PAL)");
  EXPECT_TRUE(f->radioVCD->Checked());
  EXPECT_TRUE(f->radioChapter->Checked());
  EXPECT_FALSE(f->radioDisk->Checked()) << "the two radio groups are separate";
  EXPECT_EQ(f->edtBitrate->Text(), "1150");
  EXPECT_TRUE(f->lstChapter->MultiSelect());

  // A look for people: the dialog as shown.
  f->Show();
  Application->ProcessMessages();
  const fs::path gallery = quill_test::GalleryFolder();
  EXPECT_TRUE(HeadlessCaptureToFile(f->Handle(), (gallery / "options_dialog.png").string()));
}

TEST_F(OptionDialog, BrowsingEdgesOfTheDisc) {
  TfrmOption* f = CreateOption();
  // A program chain without chapters, streams or subtitles.
  f->ProgChain->SetItemIndex(1);
  f->ProgChainChange(f->ProgChain);
  EXPECT_EQ(f->lstChapter->Items()->Count(), 0);
  EXPECT_EQ(Items(f->cmbSubtitle->Items()), (std::vector<std::string>{"None"}));
  EXPECT_EQ(f->audioDesc->Items()->Count(), 0);
  EXPECT_EQ(f->audioDesc->ItemIndex(), -1);

  // A title without program chains selects chain -1.
  f->cmbTittle->SetItemIndex(1);
  f->cmbTittleChange(f->cmbTittle);
  EXPECT_EQ(f->ProgChain->Items()->Count(), 0);
  EXPECT_EQ(log.calls.back(), "SelectProgramChain -1");
  EXPECT_TRUE(log.Has("SelectTitle 1"));
  EXPECT_TRUE(log.Has("QueryTitle 1"));

  // Another drive reuses the information object.
  f->cmbDisk->SetItemIndex(1);
  f->cmbDiskChange(f->cmbDisk);
  EXPECT_EQ(log.created, 1);
  EXPECT_TRUE(log.Has("OpenDvd " + (dir_ / "discB").string() + "/VIDEO_TS"));

  // A disc that cannot be read empties the lists without a word.
  disc.openFails = true;
  f->cmbDiskChange(f->cmbDisk);
  EXPECT_EQ(f->cmbTittle->Items()->Count(), 0);
  EXPECT_EQ(f->ProgChain->Items()->Count(), 0);
  EXPECT_EQ(f->lstChapter->Items()->Count(), 0);
  EXPECT_TRUE(boxes.empty());
}

TEST_F(OptionDialog, MissingServersAreReportedOrLeaveTheListsEmpty) {
  RegisterFakes([]() -> IUnknown* { return nullptr; }, []() -> IUnknown* { return nullptr; });
  TfrmOption* f = CreateOption();
  EXPECT_EQ(f->cmbCodec->Items()->Count(), 0) << "no encoder: no codecs, no message";
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text, "Can not Create the DVD Info Object!please re-install the software.");
  EXPECT_EQ(boxes[0].caption, "Error");
  EXPECT_EQ(boxes[0].type & MB_ICONMASK, MB_ICONERROR);
  EXPECT_EQ(boxes[0].owner, f->Handle());
  EXPECT_EQ(f->cmbTittle->Items()->Count(), 0);
  EXPECT_FALSE(f->FDvdInfo);
  // The next drive change tries again.
  f->cmbDiskChange(f->cmbDisk);
  EXPECT_EQ(boxes.size(), 2u);
  EXPECT_EQ(f->Cursor(), crDefault) << "the hourglass goes away";
}

TEST_F(OptionDialog, ChapterLinesNeverOverflowAndFailedCallsReadZero) {
  EXPECT_EQ(ChapterLine(3, 1000, 2000, 40.4), "Chapter 03,1000-----2000  40s");
  char tail[400];
  std::snprintf(tail, sizeof tail, "%.0fs", 1e300);
  EXPECT_EQ(ChapterLine(123, INT_MIN, INT_MAX, 1e300), std::string("Chapter 123,-2147483648-----2147483647  ") + tail);
  EXPECT_GT(ChapterLine(1, 0, 0, 1e300).size(), 256u) << "longer than the old line buffer";

  disc.chapterCallsFail = true;
  TfrmOption* f = CreateOption();
  EXPECT_EQ(Items(f->lstChapter->Items()),
            (std::vector<std::string>{"Chapter 01,0-----0  0s", "Chapter 02,0-----0  0s", "Chapter 03,0-----0  0s",
                                      "Chapter 04,0-----0  0s"}));
}

struct RateCase {
  bool svcd;
  int rate;
  int rateAfter;
  const char* width;
  const char* height;
};

TEST_F(OptionDialog, VcdAndSvcdSizesFollowTheFrameRate) {
  TfrmOption* f = CreateOption();
  const RateCase cases[] = {
      {false, 0, 0, "352", "240"}, {false, 1, 2, "352", "288"}, {false, 2, 2, "352", "288"},
      {false, 3, 3, "352", "240"}, {false, 4, 2, "352", "288"}, {true, 0, 2, "480", "576"},
      {true, 1, 2, "480", "576"},  {true, 2, 2, "480", "576"},  {true, 3, 3, "480", "480"},
      {true, 4, 2, "480", "576"},
  };
  for (const RateCase& c : cases) {
    SCOPED_TRACE(std::string(c.svcd ? "SVCD" : "VCD") + " rate " + std::to_string(c.rate));
    f->cmbRate->SetItemIndex(c.rate);
    if (c.svcd) {
      f->radioSVCD->SetChecked(true);
      f->radioSVCDClick(f->radioSVCD);
    } else {
      f->radioVCD->SetChecked(true);
      f->radioVCDClick(f->radioVCD);
    }
    EXPECT_EQ(f->cmbRate->ItemIndex(), c.rateAfter);
    EXPECT_EQ(f->edtWidth->Text(), c.width);
    EXPECT_EQ(f->edtHeight->Text(), c.height);
    EXPECT_FALSE(f->edtWidth->Enabled());
    EXPECT_FALSE(f->edtHeight->Enabled());
    EXPECT_FALSE(f->cmbCodec->Enabled());
    EXPECT_EQ(f->edtOutput->Text(), f->FBaseName + ".mpg");
    EXPECT_EQ(f->SaveDialog1->Filter, "MPEG Files(*.MPG)|*.MPG");
    EXPECT_EQ(f->SaveDialog1->DefaultExt, "MPG");
    // The rate handler applies the same rule.
    f->cmbRate->SetItemIndex(c.rate);
    f->cmbRateChange(f->cmbRate);
    EXPECT_EQ(f->cmbRate->ItemIndex(), c.rateAfter);
    EXPECT_EQ(f->edtHeight->Text(), c.height);
  }
}

TEST_F(OptionDialog, AviTakesTheSourceSizeAgainOnEveryRateChange) {
  disc.width = 720;
  disc.height = 480;
  TfrmOption* f = CreateOption();
  f->radioAVI->SetChecked(true);
  f->radioAVIClick(f->radioAVI);
  EXPECT_EQ(f->edtOutput->Text(), f->FBaseName + ".avi");
  EXPECT_EQ(f->SaveDialog1->Filter, "AVI Files(*.AVI)|*.AVI");
  EXPECT_EQ(f->SaveDialog1->DefaultExt, "AVI");
  EXPECT_TRUE(f->edtWidth->Enabled() && f->edtHeight->Enabled() && f->cmbCodec->Enabled());
  EXPECT_EQ(f->edtWidth->Text(), "720");
  EXPECT_EQ(f->edtHeight->Text(), "480");
  f->edtWidth->SetText("640");
  f->cmbRate->SetItemIndex(4);
  f->cmbRateChange(f->cmbRate);
  EXPECT_EQ(f->cmbRate->ItemIndex(), 4) << "AVI takes every rate";
  EXPECT_EQ(f->edtWidth->Text(), "720");
  EXPECT_TRUE(boxes.empty()) << "FDivX is off: no codec preselection";
}

TEST_F(OptionDialog, AviWithoutDiscGivesZeroSize) {
  unsetenv("QUILLMERE_DVD");
  TfrmOption* f = CreateOption();
  EXPECT_EQ(f->cmbDisk->Items()->Count(), 0);
  EXPECT_FALSE(f->FDvdInfo);
  f->radioAVIClick(f->radioAVI);
  EXPECT_EQ(f->edtWidth->Text(), "0");
  EXPECT_EQ(f->edtHeight->Text(), "0");
}

TEST_F(OptionDialog, DivXPreselectionFindsDivXThenXvidElseSaysSo) {
  codecs = {{"MJPEG", 1}, {"xvid MPEG-4", 2}};
  TfrmOption* f = CreateOption();
  f->FDivX = true;
  f->radioAVIClick(f->radioAVI);
  EXPECT_EQ(f->cmbCodec->ItemIndex(), 1) << "letter case is ignored";
  EXPECT_TRUE(boxes.empty());

  f->cmbCodec->Items()->Delete(1);
  f->cmbCodec->SetItemIndex(0);
  f->radioAVIClick(f->radioAVI);
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text, "You have not intalled the divx or xvid code for video compression");
  EXPECT_EQ(boxes[0].caption, "Error");
  EXPECT_EQ(boxes[0].owner, f->Handle());
  EXPECT_EQ(f->cmbCodec->ItemIndex(), 0);
}

// OK refuses with "Stop" at the first failing check; the dialog stays open.
TEST_F(OptionDialog, OkChecksInOrderWithTheirTexts) {
  TfrmOption* f = CreateOption();
  f->radioVCDClick(f->radioVCD);
  f->edtBitrate->SetText("0");
  f->edtWidth->SetText("0");
  f->edtHeight->SetText("");
  auto ok = [&]() {
    boxes.clear();
    f->SetModalResult(mrNone);
    f->btnOkClick(f->btnOk);
    if (boxes.empty()) return std::string("<accepted>");
    EXPECT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].caption, "Stop");
    EXPECT_EQ(boxes[0].type & MB_ICONMASK, MB_ICONERROR);
    EXPECT_EQ(boxes[0].owner, f->Handle());
    EXPECT_EQ(f->ModalResult(), mrNone);
    return boxes[0].text;
  };
  f->cmbDisk->SetItemIndex(-1);
  f->edtOutput->SetText("");
  f->cmbTittle->SetItemIndex(-1);
  EXPECT_EQ(ok(), "Please select the DVD-ROM to convert!");
  f->cmbDisk->SetItemIndex(0);
  EXPECT_EQ(ok(), "Please select the file to output!");
  f->edtOutput->SetText((dir_ / "out.mpg").string());
  EXPECT_EQ(ok(), "Please select the 'Tittle' to convert!");
  f->cmbTittle->SetItemIndex(0);
  EXPECT_EQ(ok(), "The value of 'Bitrate' can not be 0!");
  f->edtBitrate->SetText("1150abc");  // pasted text reads up to its first non-digit
  EXPECT_EQ(ok(), "The value of 'Width' can not be 0!");
  f->edtWidth->SetText("352");
  EXPECT_EQ(ok(), "The value of 'Height' can not be 0!");
  f->edtHeight->SetText("288");
  f->cmbCodec->SetItemIndex(2);
  EXPECT_EQ(ok(), "<accepted>") << "an empty file-size field is accepted";
  EXPECT_EQ(f->ModalResult(), mrOk);
  EXPECT_EQ(f->FCodecId, 13);
  f->cmbCodec->SetItemIndex(-1);
  ok();
  EXPECT_EQ(f->FCodecId, -1) << "no codec chosen";
}

// The picture server's bitmap conversion takes widths in multiples of 8 from 16 and
// even heights from 4; sizes past 4096 are refused too.
TEST_F(OptionDialog, AviSizesThePictureServerCannotTakeAreRefused) {
  EXPECT_EQ(AviSizeProblem(720, 576), "");
  EXPECT_EQ(AviSizeProblem(16, 4), "");
  EXPECT_EQ(AviSizeProblem(4096, 4096), "");
  const char* badWidth = "The value of 'Width' must be a multiple of 8 from 16 to 4096!";
  const char* badHeight = "The value of 'Height' must be an even number from 4 to 4096!";
  EXPECT_EQ(AviSizeProblem(8, 480), badWidth);
  EXPECT_EQ(AviSizeProblem(350, 480), badWidth);
  EXPECT_EQ(AviSizeProblem(4104, 480), badWidth);
  EXPECT_EQ(AviSizeProblem(720, 2), badHeight);
  EXPECT_EQ(AviSizeProblem(720, 575), badHeight);
  EXPECT_EQ(AviSizeProblem(720, 4098), badHeight);

  TfrmOption* f = CreateOption();
  f->radioAVI->SetChecked(true);
  f->radioAVIClick(f->radioAVI);
  f->edtOutput->SetText((dir_ / "out.avi").string());
  f->edtWidth->SetText("350");
  boxes.clear();
  f->btnOkClick(f->btnOk);
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text, badWidth);
  EXPECT_EQ(boxes[0].caption, "Stop");
  EXPECT_EQ(f->ModalResult(), mrNone);
  f->edtWidth->SetText("720");
  f->edtHeight->SetText("99999");
  boxes.clear();
  f->btnOkClick(f->btnOk);
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text, badHeight);
  f->edtHeight->SetText("576");
  boxes.clear();
  f->btnOkClick(f->btnOk);
  EXPECT_TRUE(boxes.empty());
  EXPECT_EQ(f->ModalResult(), mrOk);
}

TEST_F(OptionDialog, AnExistingOutputFileIsReplacedOnlyWhenTheUserSaysYes) {
  TfrmOption* f = CreateOption();
  f->radioVCDClick(f->radioVCD);
  fs::path out = dir_ / "existing.mpg";
  std::ofstream(out) << "keep me";
  f->edtOutput->SetText(out.string());
  answers = {IDNO};
  f->btnOkClick(f->btnOk);
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].caption, "Confirm please");
  EXPECT_EQ(boxes[0].type & MB_TYPEMASK, MB_YESNO);
  EXPECT_NE(boxes[0].text.find(out.string()), std::string::npos);
  EXPECT_EQ(f->ModalResult(), mrNone) << "No keeps the dialog open";
  answers = {IDYES};
  f->btnOkClick(f->btnOk);
  EXPECT_EQ(boxes.size(), 2u);
  EXPECT_EQ(f->ModalResult(), mrOk);
  EXPECT_TRUE(fs::exists(out)) << "the dialog itself deletes nothing";
}

// Writing over one of the disc's own files would destroy what the run reads: refused
// whatever the name, link or other path that reaches it.
TEST_F(OptionDialog, AnOutputThatIsOneOfTheDiscsFilesIsRefused) {
  const fs::path videoTs = dir_ / "discA" / "VIDEO_TS";
  fs::create_directories(videoTs);
  std::ofstream(videoTs / "VTS_01_1.VOB") << "the film";
  fs::create_directories(dir_ / "links");
  fs::create_symlink(videoTs / "VTS_01_1.VOB", dir_ / "links" / "film.mpg");
  fs::create_hard_link(videoTs / "VTS_01_1.VOB", dir_ / "links" / "hard.mpg");
  fs::create_symlink(videoTs, dir_ / "links" / "folder");
  TfrmOption* f = CreateOption();
  ASSERT_EQ(f->cmbDisk->ItemIndex(), 0);
  f->radioVCDClick(f->radioVCD);
  const std::string refused[] = {
      (videoTs / "VTS_01_1.VOB").string(),
      (dir_ / "links" / "film.mpg").string(),
      (dir_ / "links" / "hard.mpg").string(),
      (dir_ / "links" / "folder" / "VTS_01_1.VOB").string(),
      (dir_ / "discA" / "." / "VIDEO_TS" / ".." / "VIDEO_TS" / "VTS_01_1.VOB").string(),
  };
  for (const std::string& out : refused) {
    SCOPED_TRACE(out);
    boxes.clear();
    f->edtOutput->SetText(out);
    f->btnOkClick(f->btnOk);
    ASSERT_EQ(boxes.size(), 1u) << "refused before any question of replacing";
    EXPECT_EQ(boxes[0].caption, "Stop");
    EXPECT_EQ(boxes[0].type, static_cast<UINT>(MB_ICONERROR));
    EXPECT_EQ(boxes[0].text,
              "The file " + out + " is one of the files of the DVD to convert! Please select another file to output!");
    EXPECT_EQ(f->ModalResult(), mrNone);
  }
  EXPECT_EQ(quill_test::ReadFile(videoTs / "VTS_01_1.VOB"), "the film");
  // The same name on the other disc, or beside the disc, is an ordinary output.
  std::ofstream(dir_ / "discA" / "VTS_01_1.VOB") << "a copy";
  for (const fs::path& out : {dir_ / "discA" / "VTS_01_1.VOB", dir_ / "new.mpg"}) {
    boxes.clear();
    f->edtOutput->SetText(out.string());
    f->btnOkClick(f->btnOk);
    EXPECT_TRUE(boxes.empty() || boxes[0].caption == "Confirm please") << boxes[0].text;
    EXPECT_EQ(f->ModalResult(), mrOk);
    f->SetModalResult(mrNone);
  }
}

// Closing the program without ever filling the output field keeps the stored path.
TEST_F(OptionDialog, AFieldNeverFilledKeepsTheStoredPath) {
  WriteConfig("DefMediaPath", "/films/last.avi");
  TfrmOption* f = CreateOption();
  EXPECT_TRUE(f->edtOutput->Text().empty());
  DoneApplication();
  frmOption = nullptr;
  EXPECT_EQ(ReadConfig("DefMediaPath"), "/films/last.avi");
}

TEST_F(OptionDialog, NumberFieldsTakeOnlyDigitsAndBackspace) {
  TfrmOption* f = CreateOption();
  for (TEdit* e : {f->edtBitrate, f->edtWidth, f->edtHeight, f->edtFileSize}) {
    for (char c : std::string("0123456789\b")) {
      char k = c;
      e->OnKeyPress(e, k);
      EXPECT_EQ(k, c);
    }
    for (char c : std::string("a.-+ x")) {
      char k = c;
      e->OnKeyPress(e, k);
      EXPECT_EQ(k, 0);
    }
  }
  // Typed for real: the letters never reach the field.
  f->Show();
  f->edtWidth->SetText("");
  f->edtWidth->SetEnabled(true);
  f->edtWidth->SetFocus();
  for (char c : std::string("7a2b")) HeadlessChar(f, c);
  Application->ProcessMessages();
  EXPECT_EQ(f->edtWidth->Text(), "72");
}

// A chosen name loses its extension only inside the file name.
TEST_F(OptionDialog, OutputBaseNameCutsOnlyInsideTheFileName) {
  EXPECT_EQ(OutputBaseName("/video/clip.part1.mpg"), "/video/clip.part1");
  EXPECT_EQ(OutputBaseName("/video/clip"), "/video/clip");
  EXPECT_EQ(OutputBaseName("/home/me/films.d/clip"), "/home/me/films.d/clip");
  EXPECT_EQ(OutputBaseName("/home/me/films.d/clip.avi"), "/home/me/films.d/clip");
  EXPECT_EQ(OutputBaseName("clip.avi"), "clip");
  std::string deep = "/" + std::string(300, 'x') + ".dir/" + std::string(300, 'y') + ".mpg";
  EXPECT_EQ(OutputBaseName(deep), deep.substr(0, deep.size() - 4)) << "no length limit";
  EXPECT_EQ(OutputFolderOf("/Movies/film.avi"), "/Movies/");
  EXPECT_EQ(OutputFolderOf("film.avi"), "");
}

// The output field is stored at exit; the next start proposes the same folder,
// however long its path.
TEST_F(OptionDialog, StoredOutputFolderBecomesTheNextBaseName) {
  std::string folder = (dir_ / std::string(150, 'm') / std::string(150, 'n')).string() + "/";
  fs::create_directories(folder);
  WriteConfig("DefMediaPath", folder + "film.avi");
  TfrmOption* f = CreateOption();
  EXPECT_EQ(f->FBaseName, folder + "KORVEX_Quillmere");
  f->radioVCDClick(f->radioVCD);
  EXPECT_EQ(f->edtOutput->Text(), folder + "KORVEX_Quillmere.mpg");
  f->edtOutput->SetText("/elsewhere/clip.mpg");
  DoneApplication();
  frmOption = nullptr;
  EXPECT_EQ(ReadConfig("DefMediaPath"), "/elsewhere/clip.mpg");
}

// A stored folder that is gone since the last run (a removed stick, a deleted folder) is
// not proposed: the user's videos folder is, as at a first start.
TEST_F(OptionDialog, AStoredFolderThatIsGoneGivesWayToTheVideosFolder) {
  const fs::path stick = dir_ / "stick";
  fs::create_directories(stick / "films");
  WriteConfig("DefMediaPath", (stick / "films" / "last.mpg").string());
  fs::remove_all(stick);
  TfrmOption* f = CreateOption();
  EXPECT_EQ(f->FBaseName, UserVideosFolder() + "KORVEX_Quillmere");
  f->radioAVIClick(f->radioAVI);
  EXPECT_EQ(f->edtOutput->Text(), UserVideosFolder() + "KORVEX_Quillmere.avi");
  EXPECT_TRUE(boxes.empty());
}

// OK refuses an output whose folder is missing or takes no file, naming the folder, in
// the dialog a mode of the main window shows: no conversion window, no run.
TEST_F(OptionDialog, OkRefusesAnOutputFolderThatIsMissingOrCannotBeWritten) {
  Application->CreateForm(frmMain);
  TfrmOption* f = CreateOption();
  Application->CreateForm(frmConvert);
  std::ofstream(dir_ / "plain.txt") << "a file, not a folder";
  struct Case {
    fs::path output;
    std::string text;
  };
  auto missing = [](const fs::path& folder) {
    return "The folder " + folder.string() + " does not exist! Please select another file to output!";
  };
  auto unwritable = [](const fs::path& folder) {
    return "The folder " + folder.string() + " can not be written! Please select another file to output!";
  };
  // Tests run as root, who may write into any folder whatever its permissions: a regular
  // file in the folder's place and /proc take no new file even from root.
  const Case cases[] = {
      {dir_ / "gone" / "sub" / "film.mpg", missing(dir_ / "gone" / "sub")},
      {dir_ / "plain.txt" / "film.mpg", unwritable(dir_ / "plain.txt")},
      {"/proc/film.mpg", unwritable("/proc")},
  };
  frmMain->Show();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.output.string());
    boxes.clear();
    bool pressed = false, busy = false;
    TModalResult afterOk = mrNone;
    // Once the dialog is up: the path typed, OK pressed, then Cancel when OK refused.
    HeadlessSetIdleHook([&]() -> bool {
      if (busy || pressed || !f->Modal() || f->ModalResult() != mrNone) return false;
      pressed = busy = true;
      f->edtOutput->SetText(c.output.string());
      f->btnOk->Click();  // the refusal's box is answered inside
      busy = false;
      afterOk = f->ModalResult();
      if (afterOk == mrNone) f->SetModalResult(mrCancel);
      return true;
    });
    frmMain->Button_Ctrl6Click(frmMain);
    HeadlessSetIdleHook(nullptr);
    EXPECT_TRUE(pressed);
    EXPECT_EQ(afterOk, mrNone) << "OK closed the dialog";
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, c.text);
    EXPECT_EQ(boxes[0].caption, "Stop");
    EXPECT_EQ(boxes[0].type, static_cast<UINT>(MB_ICONERROR));
    EXPECT_EQ(boxes[0].owner, f->Handle());
    EXPECT_FALSE(frmConvert->Visible()) << "the conversion window was opened";
    EXPECT_EQ(frmConvert->LastThread(), nullptr) << "a run was started";
    EXPECT_FALSE(fs::exists(c.output));
  }

  // A folder that takes files passes, and checking it leaves nothing behind.
  fs::create_directories(dir_ / "films");
  f->edtOutput->SetText((dir_ / "films" / "film.mpg").string());
  boxes.clear();
  f->btnOkClick(f->btnOk);
  EXPECT_TRUE(boxes.empty());
  EXPECT_EQ(f->ModalResult(), mrOk);
  EXPECT_TRUE(fs::is_empty(dir_ / "films"));
}

// The registered DVD information and AVI servers on the sample disc the build makes.
TEST_F(OptionDialog, TheSampleDiscThroughTheRealServers) {
  fs::path sample = fs::path(std::getenv("QUILLMERE_BUILD_BIN")) / ".." / "sample-dvd";
  if (!fs::exists(sample / "VIDEO_TS")) GTEST_SKIP() << "no sample disc";
  setenv("QUILLMERE_DVD", fs::canonical(sample).c_str(), 1);
  realServers = true;
  TfrmOption* f = CreateOption();
  EXPECT_TRUE(boxes.empty());
  ASSERT_EQ(f->cmbDisk->Items()->Count(), 1);
  ASSERT_GT(f->cmbTittle->Items()->Count(), 0);
  ASSERT_GT(f->ProgChain->Items()->Count(), 0);
  ASSERT_GT(f->lstChapter->Items()->Count(), 0);
  EXPECT_EQ(f->lstChapter->Items()->Get(0).rfind("Chapter 01,", 0), 0u) << f->lstChapter->Items()->Get(0);
  EXPECT_GT(f->audioDesc->Items()->Count(), 0);
  EXPECT_EQ(f->cmbSubtitle->Items()->Get(0), "None");
  EXPECT_GT(f->cmbCodec->Items()->Count(), 0) << "the AVI encoder lists its codecs";
  // The source size reaches the AVI fields.
  f->radioAVIClick(f->radioAVI);
  EXPECT_GT(std::atol(f->edtWidth->Text().c_str()), 0);
  EXPECT_GT(std::atol(f->edtHeight->Text().c_str()), 0);
  // Every title can be browsed.
  for (int t = 0; t < f->cmbTittle->Items()->Count(); ++t) {
    f->cmbTittle->SetItemIndex(t);
    f->cmbTittleChange(f->cmbTittle);
    EXPECT_GT(f->lstChapter->Items()->Count(), 0) << "title " << t;
  }
}

// QUILLMERE_DVD naming the sample disc's VIDEO_TS folder itself lists the same disc.
TEST_F(OptionDialog, TheSampleDiscsVideoFolderItselfIsADriveToo) {
  fs::path videoTs = fs::path(std::getenv("QUILLMERE_BUILD_BIN")) / ".." / "sample-dvd" / "VIDEO_TS";
  ASSERT_TRUE(fs::exists(videoTs / "VIDEO_TS.IFO")) << "no sample disc (target sample_dvd)";
  setenv("QUILLMERE_DVD", fs::canonical(videoTs).c_str(), 1);
  realServers = true;
  TfrmOption* f = CreateOption();
  EXPECT_TRUE(boxes.empty());
  ASSERT_EQ(f->cmbDisk->Items()->Count(), 1);
  EXPECT_EQ(f->cmbDisk->Items()->Get(0), fs::canonical(videoTs).string() + "/");
  EXPECT_GT(f->cmbTittle->Items()->Count(), 0);
  EXPECT_GT(f->lstChapter->Items()->Count(), 0);
  EXPECT_GT(f->audioDesc->Items()->Count(), 0);
}

}  // namespace
}  // namespace apptest
