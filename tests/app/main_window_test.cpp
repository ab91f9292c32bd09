// The main window: the conversion modes preset the options dialog, dragging by the
// picture, the popup menu's banner and separators.
#include "forms_fixture.h"

namespace apptest {
namespace {

class MainWindow : public FormsTest {
 protected:
  TfrmMain* Create() {
    Application->CreateForm(frmMain);
    CreateOption();
    return frmMain;
  }
  // Runs a mode while the options dialog answers `result` as soon as it is shown.
  void RunMode(TfrmMain* m, void (TfrmMain::*button)(TObject*), TModalResult result = mrCancel) {
    shownModal = false;
    HeadlessSetIdleHook([this, result]() -> bool {
      if (!frmOption->Modal() || frmOption->ModalResult() != mrNone) return false;
      shownModal = true;
      frmOption->SetModalResult(result);
      return true;
    });
    (m->*button)(m);
    HeadlessSetIdleHook(nullptr);
  }
  bool shownModal = false;
};

TEST_F(MainWindow, ModesPresetTheDialogForTheirKind) {
  TfrmMain* m = Create();
  TfrmOption* f = frmOption;
  m->Show();
  RunMode(m, &TfrmMain::Button_Ctrl6Click);
  EXPECT_TRUE(shownModal);
  EXPECT_TRUE(f->radioVCD->Checked());
  EXPECT_EQ(f->edtOutput->Text(), f->FBaseName + ".mpg");
  EXPECT_EQ(f->edtWidth->Text(), "352");
  EXPECT_FALSE(f->cmbCodec->Enabled());
  EXPECT_TRUE(m->Visible()) << "cancelling leaves the main window shown";
  EXPECT_FALSE(f->Visible());

  RunMode(m, &TfrmMain::Button_Ctrl7Click);
  EXPECT_TRUE(f->radioSVCD->Checked());
  EXPECT_FALSE(f->radioVCD->Checked());
  EXPECT_EQ(f->edtWidth->Text(), "480");
  EXPECT_EQ(f->edtHeight->Text(), "576");

  // AVI: the Intel codec is preselected, the source size taken, the codec list usable.
  f->cmbCodec->SetItemIndex(0);
  RunMode(m, &TfrmMain::Button_Ctrl5Click);
  EXPECT_TRUE(f->radioAVI->Checked());
  EXPECT_FALSE(f->FDivX);
  EXPECT_EQ(f->cmbCodec->Text(), "Intel Indeo 5");
  EXPECT_TRUE(f->cmbCodec->Enabled());
  EXPECT_EQ(f->edtOutput->Text(), f->FBaseName + ".avi");
  EXPECT_EQ(f->edtWidth->Text(), "720");

  RunMode(m, &TfrmMain::Button_Ctrl4Click);
  EXPECT_TRUE(f->FDivX);
  EXPECT_EQ(f->cmbCodec->Text(), "DIVX MPEG-4");
  EXPECT_TRUE(boxes.empty());
  EXPECT_EQ(m->Button(4)->Hint(), "DVD to DivX");
  EXPECT_EQ(m->Button(9)->Hint(), "Homepage");
}

TEST_F(MainWindow, DivXWithOnlyXvidSelectsItQuietly) {
  codecs = {{"MJPEG", 1}, {"XVID MPEG-4", 2}};
  TfrmMain* m = Create();
  RunMode(m, &TfrmMain::Button_Ctrl4Click);
  EXPECT_EQ(frmOption->cmbCodec->ItemIndex(), 1);
  EXPECT_TRUE(boxes.empty());
}

TEST_F(MainWindow, DivXWithoutDivXOrXvidSaysSoTwiceAndStillOpensTheDialog) {
  codecs = {{"MJPEG", 1}, {"FFV1", 2}};
  TfrmMain* m = Create();
  frmOption->radioVCD->SetChecked(true);
  RunMode(m, &TfrmMain::Button_Ctrl4Click);
  ASSERT_EQ(boxes.size(), 2u);
  for (const RecordedBox& b : boxes) {
    EXPECT_EQ(b.text, "You have not intalled the divx or xvid code for video compression");
    EXPECT_EQ(b.caption, "Error");
    EXPECT_EQ(b.type & MB_ICONMASK, MB_ICONERROR);
  }
  EXPECT_EQ(boxes[0].owner, frmOption->Handle());
  EXPECT_EQ(boxes[1].owner, m->Handle());
  EXPECT_TRUE(shownModal);
}

TEST_F(MainWindow, AviWithoutIntelOrIndeoKeepsTheSelectionQuietly) {
  codecs = {{"MJPEG", 1}, {"FFV1", 2}};
  TfrmMain* m = Create();
  frmOption->cmbCodec->SetItemIndex(1);
  RunMode(m, &TfrmMain::Button_Ctrl5Click);
  EXPECT_EQ(frmOption->cmbCodec->ItemIndex(), 1);
  EXPECT_TRUE(boxes.empty());
}

// Starting a mode goes back to the first drive and opens its disc again, so the lists
// never show one disc while another one is open.
TEST_F(MainWindow, ModesReturnToTheFirstDriveAndItsDisc) {
  disc.titles.push_back({"Title 3", {}});
  TfrmMain* m = Create();
  TfrmOption* f = frmOption;
  f->cmbDisk->SetItemIndex(1);
  f->cmbDiskChange(f->cmbDisk);
  ASSERT_EQ(log.calls.size() > 0, true);
  std::string discA = "OpenDvd " + (dir_ / "discA").string() + "/VIDEO_TS";
  std::string discB = "OpenDvd " + (dir_ / "discB").string() + "/VIDEO_TS";
  auto lastOpen = [&]() {
    for (auto it = log.calls.rbegin(); it != log.calls.rend(); ++it)
      if (it->rfind("OpenDvd", 0) == 0) return *it;
    return std::string();
  };
  EXPECT_EQ(lastOpen(), discB);
  RunMode(m, &TfrmMain::Button_Ctrl6Click);
  EXPECT_EQ(f->cmbDisk->ItemIndex(), 0);
  EXPECT_EQ(lastOpen(), discA);
  // Already on the first drive: the disc is not read again.
  size_t calls = log.calls.size();
  RunMode(m, &TfrmMain::Button_Ctrl6Click);
  EXPECT_EQ(log.calls.size(), calls);
}

TEST_F(MainWindow, DraggingByThePictureMovesTheWindowWithTheLeftButtonOnly) {
  TfrmMain* m = Create();
  m->SetBounds(100, 100, m->Width(), m->Height());
  m->Image1MouseDown(m->Image1, mbRight, TShiftState{ssRight}, 10, 10);
  m->Image1MouseMove(m->Image1, TShiftState{ssRight}, 30, 40);
  EXPECT_EQ(m->Left(), 100);
  m->Image1MouseDown(m->Image1, mbLeft, TShiftState{ssLeft}, 10, 10);
  m->Image1MouseMove(m->Image1, TShiftState{ssLeft}, 30, 40);
  EXPECT_EQ(m->Left(), 120);
  EXPECT_EQ(m->Top(), 130);
  m->Image1MouseMove(m->Image1, TShiftState{}, 50, 50);
  EXPECT_EQ(m->Left(), 120) << "no button held: no move";
  m->Image1MouseUp(m->Image1, mbRight, TShiftState{}, 30, 40);
  m->Image1MouseMove(m->Image1, TShiftState{ssLeft}, 60, 60);
  EXPECT_EQ(m->Left(), 120) << "any release ends the drag";
}

TEST_F(MainWindow, MenuBannerAndSeparators) {
  TfrmMain* m = Create();
  int w = 0, h = 18;
  m->pupKorvex->OnMeasureItem(m->pupKorvex, nullptr, w, h);
  EXPECT_EQ(w, 6);
  EXPECT_EQ(h, 132);
  EXPECT_FALSE(m->pupKorvex->Enabled());
  EXPECT_EQ(m->Ripper1->Break(), mbBreak);
  EXPECT_EQ(m->pupSelectSkin->Caption(), "SelectSkin   ");
  EXPECT_EQ(m->About1->Caption(), "Help");
  EXPECT_TRUE(m->PopupMenu1->OwnerDraw());

  TBitmap banner(20, 132);
  banner.Canvas()->Brush()->SetColor(clBlack);
  banner.Canvas()->FillRect(TRect(0, 0, 20, 132));
  m->pupKorvex->OnDrawItem(m->pupKorvex, banner.Canvas(), TRect(0, 0, 20, 132), false);
  // i starts at 0 (132 / 255): the bottom row is white, and each row up is one step
  // bluer, down to 255 - 131 at the top.
  EXPECT_EQ(banner.ScanLine(131)[19] & 0xFFFFFF, 0xFFFFFFu);
  EXPECT_EQ(banner.ScanLine(130)[19] & 0xFFFFFF, 0xFEFEFFu);
  EXPECT_EQ(banner.ScanLine(0)[19] & 0xFFFFFF, 0x7C7CFFu);

  TBitmap line(30, 10);
  line.Canvas()->Brush()->SetColor(clGray);
  line.Canvas()->FillRect(TRect(0, 0, 30, 10));
  m->N4->OnDrawItem(m->N4, line.Canvas(), TRect(0, 0, 30, 10), false);
  EXPECT_EQ(line.ScanLine(2)[5] & 0xFFFFFF, 0u);
  EXPECT_EQ(line.ScanLine(3)[5] & 0xFFFFFF, 0xFFFFFFu);
  EXPECT_EQ(line.ScanLine(5)[5] & 0xFFFFFF, 0x808080u) << "the background is not filled";
}

TEST_F(MainWindow, MinimiseAndCloseButtons) {
  TfrmMain* m = Create();
  m->Show();
  m->Button_Ctrl1Click(m->Button(1));
  EXPECT_EQ(m->WindowState(), wsMinimized);
  m->SetWindowState(wsNormal);
  EXPECT_EQ(Application->MainForm(), m);
  m->Exit1->Click();
  EXPECT_TRUE(Application->Terminated()) << "closing the main window ends the program";
}

TEST_F(MainWindow, TheHomePageIsTheReadmeBesideTheProgram) {
  EXPECT_EQ(HomePageAddress(), std::string(GetModulePath()) + "/README.md");
  EXPECT_TRUE(fs::exists(fs::path(std::getenv("QUILLMERE_BUILD_BIN")) / "README.md"))
      << "the build installs it beside the program";
}

}  // namespace
}  // namespace apptest
