// The countdown dialog, the preview window's welcome picture and the about box,
// shown modally and answered by injected input on the headless backend.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <vector>

#include <support/scratch_dir.h>
#include <vcl/graphics.h>
#include <vcl/headless.h>
#include <vcl/messages.h>

#include "about.h"
#include "fresh_application.h"
#include "main.h"
#include "preview.h"
#include "shutdlg.h"

namespace {

namespace fs = std::filesystem;

class SmallForms : public ::testing::Test {
 protected:
  void SetUp() override {
    InitApplication();
    Application->Initialize();
    TForm* mainForm = nullptr;
    Application->CreateForm(mainForm);
    Application->CreateForm(frmPreview);
    Application->CreateForm(AboutBox);
    Application->CreateForm(ShutDlg);
    HeadlessUseFakeClock(5000);
  }
  void TearDown() override {
    HeadlessSetIdleHook(nullptr);
    apptest::FreshApplication();
    SkinFolder.clear();
  }

  // Shows the dialog modally; `step` runs whenever its loop is idle and answers
  // false once it has nothing more to do.
  int ShowModal(TForm* form, const std::function<bool()>& step) {
    HeadlessSetIdleHook(step);
    const int result = form->ShowModal();
    HeadlessSetIdleHook(nullptr);
    return result;
  }

  // A plain picture of one colour, written as a BMP file.
  void WritePicture(const fs::path& path, int w, int h, TColor colour) {
    fs::create_directories(path.parent_path());
    TBitmap b;
    b.SetWidth(w);
    b.SetHeight(h);
    b.Canvas()->Brush()->SetColor(colour);
    b.Canvas()->FillRect(TRect(0, 0, w, h));
    b.SaveToFile(path.string());
  }

  const quill_test::ScratchDir scratch_{"quill-forms"};
  const fs::path& dir_ = scratch_.path();
};

TEST_F(SmallForms, TheCountdownLeftAloneEndsWithOkAfterTwentySecondsHavingShownOne) {
  std::vector<std::string> shown;
  int ticks = 0;
  const int result = ShowModal(ShutDlg, [&] {
    if (ticks == 25) return false;  // the dialog must have ended long before
    shown.push_back(ShutDlg->Label3->Caption());
    ++ticks;
    HeadlessAdvanceClock(1000);
    return true;
  });
  EXPECT_EQ(result, mrOk);
  ASSERT_GE(shown.size(), 20u);
  EXPECT_EQ(shown.front(), "20");
  EXPECT_EQ(ShutDlg->Label3->Caption(), "1") << "0 is never shown";
  EXPECT_EQ(ShutDlg->Seconds(), 0);
  EXPECT_FALSE(ShutDlg->Timer1->Enabled());
}

TEST_F(SmallForms, CancelStopsTheCountAndTheNextShowingStartsAtTwenty) {
  int ticks = 0;
  bool pressed = false;
  const int result = ShowModal(ShutDlg, [&] {
    if (pressed) return false;
    if (ticks == 5) {
      pressed = true;
      const TRect r = ShutDlg->CancelBtn->BoundsRect();
      HeadlessClick(ShutDlg, r.Left + 5, r.Top + 5);
      return true;
    }
    ++ticks;
    HeadlessAdvanceClock(1000);
    return true;
  });
  EXPECT_EQ(result, mrCancel);
  EXPECT_EQ(ShutDlg->Seconds(), 15);
  EXPECT_EQ(ShutDlg->Label3->Caption(), "15");
  // The timer stopped with the dialog: time passing changes nothing.
  EXPECT_FALSE(ShutDlg->Timer1->Enabled());
  HeadlessAdvanceClock(30000);
  Application->ProcessMessages();
  EXPECT_EQ(ShutDlg->Seconds(), 15);

  bool escaped = false;
  std::string first;
  EXPECT_EQ(ShowModal(ShutDlg,
                      [&] {
                        if (escaped) return false;
                        first = ShutDlg->Label3->Caption();
                        escaped = true;
                        HeadlessKey(ShutDlg, VK_ESCAPE);
                        return true;
                      }),
            mrCancel);
  EXPECT_EQ(first, "20");
  EXPECT_EQ(ShutDlg->Seconds(), 20);
}

TEST_F(SmallForms, ThePreviewShowsTheWelcomePictureOfTheSkinCurrentWhenShown) {
  WritePicture(dir_ / "SKIN0" / "welcome.bmp", 40, 30, clRed);
  WritePicture(dir_ / "SKIN1" / "welcome.bmp", 64, 48, clBlue);
  fs::create_directories(dir_ / "SKIN2");  // no welcome picture
  SkinFolder = (dir_ / "SKIN0").string();
  frmPreview->Show();
  EXPECT_EQ(frmPreview->Image1->Picture()->Width(), 40);
  frmPreview->Hide();
  SkinFolder = (dir_ / "SKIN1").string();
  frmPreview->Show();
  EXPECT_EQ(frmPreview->Image1->Picture()->Width(), 64);
  // Stretched over the whole client area.
  TSurface capture;
  ASSERT_TRUE(HeadlessCapture(frmPreview->Handle(), capture));
  EXPECT_EQ(capture.Row(capture.Height / 2)[capture.Width / 2], 0x0000FFu);
  frmPreview->Hide();
  SkinFolder = (dir_ / "SKIN2").string();
  frmPreview->Show();
  EXPECT_EQ(frmPreview->Image1->Picture()->Width(), 64) << "without a welcome picture the last one stays";
  // A FIFO is not waited on, a broken picture raises nothing: the last picture stays.
  frmPreview->Hide();
  ASSERT_EQ(mkfifo((dir_ / "SKIN2" / "welcome.bmp").c_str(), 0644), 0);
  frmPreview->Show();
  EXPECT_EQ(frmPreview->Image1->Picture()->Width(), 64);
  frmPreview->Hide();
  fs::remove(dir_ / "SKIN2" / "welcome.bmp");
  std::ofstream(dir_ / "SKIN2" / "welcome.bmp") << "BM not a picture";
  EXPECT_NO_THROW(frmPreview->Show());
  EXPECT_EQ(frmPreview->Image1->Picture()->Width(), 64);
}

TEST_F(SmallForms, TheAboutBoxNamesTheProgramAndClosesWithEnter) {
  AboutBox->Label1->SetCaption("left over");
  bool pressed = false;
  const int result = ShowModal(AboutBox, [&] {
    if (pressed) return false;
    pressed = true;
    HeadlessKey(AboutBox, VK_RETURN);
    return true;
  });
  EXPECT_EQ(result, mrOk);
  EXPECT_EQ(AboutBox->ProductName->Caption(), "Korvex Quillmere");
  EXPECT_EQ(AboutBox->Version->Caption(), "Version  1.1");
  EXPECT_EQ(AboutBox->Label1->Caption(), "");
  EXPECT_TRUE(AboutBox->OKButton->Default());
}

TEST_F(SmallForms, TheAboutBoxIconShowsThePanelThroughItsKeyColourAndItsTextsAreTrue) {
  bool looked = false;
  TSurface shown;
  ShowModal(AboutBox, [&] {
    if (looked) return false;
    looked = true;
    Application->ProcessMessages();
    EXPECT_TRUE(HeadlessCapture(AboutBox->Handle(), shown));
    AboutBox->SetModalResult(mrOk);
    return true;
  });
  ASSERT_GT(shown.Width, 0);
  auto at = [&](TPoint p) { return shown.At(p.X, p.Y) & 0xFFFFFFu; };
  // No pixel of the key colour reaches the screen.
  for (int y = 0; y < shown.Height; ++y)
    for (int x = 0; x < shown.Width; ++x) ASSERT_NE(shown.At(x, y) & 0xFFFFFFu, 0xFF00FFu) << x << "," << y;
  const TPoint origin = AboutBox->ClientOrigin();
  const TPoint screen = AboutBox->ProgramIcon->ClientToScreen(TPoint(0, 0));
  const TPoint icon(screen.X - origin.X, screen.Y - origin.Y);
  const int w = AboutBox->ProgramIcon->Width(), h = AboutBox->ProgramIcon->Height();
  const std::uint32_t panel = at(TPoint(icon.X + w + 2, icon.Y + 2));
  // Corners and the disc's hole show the panel; the disc itself is drawn.
  EXPECT_EQ(at(icon), panel);
  EXPECT_EQ(at(TPoint(icon.X + w - 1, icon.Y + h - 1)), panel);
  EXPECT_EQ(at(TPoint(icon.X + w / 2, icon.Y + h / 2)), panel);
  EXPECT_NE(at(TPoint(icon.X + w / 2, icon.Y + 4)), panel);

  // The support line names a section the README beside the program has.
  const std::string support = AboutBox->Label2->Caption();
  const std::size_t open = support.find('"'), close = support.rfind('"');
  ASSERT_LT(open, close) << support;
  const std::string section = support.substr(open + 1, close - open - 1);
  std::ifstream readme(fs::path(std::getenv("QUILLMERE_BUILD_BIN")) / "README.md");
  ASSERT_TRUE(readme) << "no README beside the program";
  std::vector<std::string> headings;
  for (std::string line; std::getline(readme, line);)
    if (line.rfind("## ", 0) == 0) headings.push_back(line.substr(3));
  EXPECT_NE(std::find(headings.begin(), headings.end(), section), headings.end()) << section;
}

}  // namespace
