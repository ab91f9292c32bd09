// The themed combo box and progress bar on the headless backend.
#include <climits>
#include <string>

#include "suicombobox.h"
#include "suiprogressbar.h"
#include "themed_harness.h"

namespace {

class ThemedCombo : public ThemedTest {
 protected:
  TsuiComboBox* NewCombo(int x, int y, int w = 128, int h = 21) {
    auto* c = new TsuiComboBox(form);
    c->SetParent(form);
    c->SetBounds(x, y, w, h);
    c->SetStyle(csDropDownList);
    c->SetItemHeight(13);
    return c;
  }
};

TEST_F(ThemedCombo, DeepBlueButtonArrowAndFrame) {
  TsuiComboBox* c = NewCombo(0, 0);
  EXPECT_EQ(c->UIStyle(), TsuiUIStyle::DeepBlue);
  EXPECT_EQ(c->ButtonColor(), 0xE8E8E8);
  EXPECT_EQ(c->ArrowColor(), clBlack);
  EXPECT_EQ(c->BorderColor(), clBlack);
  EXPECT_EQ(c->BorderWidth(), 0);
  EXPECT_TRUE(c->ControlStyle() & csOpaque);
  Show();
  // The button strip (110, 0, 128, 21) inside the two frames.
  EXPECT_EQ(Count(TRect(110, 2, 126, 8), 0xE8E8E8), 16 * 6);
  EXPECT_EQ(Count(TRect(110, 14, 126, 19), 0xE8E8E8), 16 * 5);
  // The arrow (114, 9), (120, 9), (117, 12) in black.
  for (TPoint p : {TPoint(114, 9), TPoint(117, 9), TPoint(120, 9), TPoint(117, 11), TPoint(117, 12)})
    EXPECT_EQ(Pixel(p.X, p.Y), clBlack) << p.X << "," << p.Y;
  EXPECT_EQ(Pixel(113, 9), 0xE8E8E8);
  EXPECT_EQ(Pixel(117, 13), 0xE8E8E8);
  // Black outer frame, the control's colour just inside it.
  for (TPoint p : {TPoint(0, 0), TPoint(127, 0), TPoint(0, 20), TPoint(127, 20), TPoint(60, 0), TPoint(127, 10)})
    EXPECT_EQ(Pixel(p.X, p.Y), clBlack) << p.X << "," << p.Y;
  TColor inner = ColorToRGB(c->Color());
  for (TPoint p : {TPoint(1, 1), TPoint(126, 1), TPoint(1, 19), TPoint(126, 19), TPoint(120, 1)})
    EXPECT_EQ(Pixel(p.X, p.Y), inner) << p.X << "," << p.Y;
}

TEST_F(ThemedCombo, DisabledArrowIsEngraved) {
  TsuiComboBox* c = NewCombo(0, 0);
  Show();
  c->SetEnabled(false);
  // Repainted at once, without waiting for the loop.
  TSurface s;
  ASSERT_TRUE(HeadlessCapture(form->Handle(), s));
  EXPECT_EQ(static_cast<TColor>(PixelToColorRef(s.At(114, 9))), clGray);
  EXPECT_EQ(Pixel(117, 12), clGray);
  EXPECT_EQ(Pixel(121, 10), clWhite);
  EXPECT_EQ(Pixel(118, 13), clWhite);
}

TEST_F(ThemedCombo, CustomIsBlackUntilColoursAreSet) {
  TsuiComboBox* c = NewCombo(0, 0);
  c->SetUIStyle(TsuiUIStyle::Custom);
  EXPECT_EQ(c->ButtonColor(), 0);
  EXPECT_EQ(c->ArrowColor(), 0);
  EXPECT_EQ(c->BorderColor(), 0);
  Show();
  EXPECT_EQ(Pixel(112, 5), clBlack);
  c->SetButtonColor(clYellow);
  c->SetArrowColor(clRed);
  c->SetBorderColor(clBlue);
  EXPECT_EQ(Pixel(112, 5), clYellow);
  EXPECT_EQ(Pixel(117, 11), clRed);
  EXPECT_EQ(Pixel(0, 0), clBlue);
}

TEST_F(ThemedCombo, MacOsShowsItsButtonPictureTwoPixelsDown) {
  TsuiComboBox* c = NewCombo(0, 0);
  c->SetUIStyle(TsuiUIStyle::MacOS);
  Show();
  // The frame and the arrow lie over parts of the picture; compare the rest.
  std::unique_ptr<TBitmap> pic = LoadBitmapResource("MACOS_COMBOBOX_BUTTON");
  EXPECT_EQ(pic->Width(), 16);
  EXPECT_EQ(pic->Height(), 17);
  int same = 0;
  for (int y = 2; y < 17; ++y)
    for (int x = 1; x < 15; ++x)
      same += Pixel(110 + x, 2 + y) == static_cast<TColor>(PixelToColorRef(pic->Surface().At(x, y)));
  EXPECT_GT(same, 14 * 15 - 20);
}

TEST_F(ThemedCombo, KeyboardAndMessagesAsTheStandardComboBox) {
  TsuiComboBox* c = NewCombo(10, 10);
  for (const char* s : {"Alpha", "Beta", "Gamma", "Delta"}) c->Items()->Add(s);
  Show();
  c->SetFocus();
  Key(VK_DOWN);
  EXPECT_EQ(c->ItemIndex(), 0);
  Key(VK_DOWN);
  Key(VK_DOWN);
  EXPECT_EQ(c->ItemIndex(), 2);
  Key(VK_UP);
  EXPECT_EQ(c->ItemIndex(), 1);
  EXPECT_EQ(c->Perform(CB_SELECTSTRING, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>("del")), 3);
  EXPECT_EQ(c->ItemIndex(), 3);
  EXPECT_EQ(c->Perform(CB_SELECTSTRING, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>("zzz")), CB_ERR);
  EXPECT_NE(c->Perform(CB_SETITEMDATA, 2, 4242), CB_ERR);
  EXPECT_EQ(c->Perform(CB_GETITEMDATA, 2, 0), 4242);
  EXPECT_EQ(c->Perform(CB_GETITEMDATA, 9, 0), CB_ERR);
  // A click drops the list down; the themed button stays painted.
  Click(20, 20);
  EXPECT_TRUE(c->DroppedDown());
  Key(VK_ESCAPE);
  EXPECT_FALSE(c->DroppedDown());
  EXPECT_EQ(Pixel(10 + 112, 10 + 5), 0xE8E8E8);
}

TEST_F(ThemedCombo, NoItemsAndItemsWiderThanTheControl) {
  TsuiComboBox* empty = NewCombo(10, 10);
  Show();
  empty->SetFocus();
  Key(VK_DOWN);
  Key(VK_UP);
  EXPECT_EQ(empty->ItemIndex(), -1);
  Click(20, 20);
  Key(VK_ESCAPE);
  EXPECT_EQ(empty->Perform(CB_SELECTSTRING, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>("a")), CB_ERR);
  EXPECT_EQ(empty->Perform(CB_GETITEMDATA, 0, 0), CB_ERR);

  TsuiComboBox* wide = NewCombo(10, 50);
  wide->Items()->Add(std::string(200, 'W'));
  wide->SetItemIndex(0);
  Pump();
  // The long text is cut at the button: strip and frame are intact.
  EXPECT_EQ(Count(TRect(10 + 110, 50 + 2, 10 + 126, 50 + 8), 0xE8E8E8), 16 * 6);
  EXPECT_EQ(Pixel(10 + 127, 50 + 10), clBlack);
  EXPECT_EQ(Pixel(10 + 126, 50 + 10), ColorToRGB(wide->Color()));
}

// --- TsuiProgressBar ------------------------------------------------------------------
class ThemedProgress : public ThemedTest {
 protected:
  TsuiProgressBar* NewBar(int x, int y) {
    auto* b = new TsuiProgressBar(form);
    b->SetParent(form);
    b->SetLeft(x);
    b->SetTop(y);
    return b;
  }
};

TEST_F(ThemedProgress, DefaultsAndTheConversionWindowsBar) {
  TsuiProgressBar* b = NewBar(0, 0);
  EXPECT_EQ(b->Width(), 150);
  EXPECT_EQ(b->Height(), 12);
  EXPECT_EQ(b->Position(), 50);
  EXPECT_EQ(b->Text(), "50%");
  EXPECT_EQ(b->UIStyle(), TsuiUIStyle::DeepBlue);
  EXPECT_EQ(b->Color(), 0xE8E8E8);
  EXPECT_EQ(b->BorderColor(), clBlack);
  EXPECT_EQ(b->Picture()->Width(), 1);
  EXPECT_EQ(b->Picture()->Height(), 10);

  b->SetWidth(244);
  b->SetPosition(0);
  b->SetPosition(37);
  EXPECT_EQ(b->Text(), "37%");
  EXPECT_EQ(b->GetWidthFromPosition(243), 89);
  Show();
  TColor fill = PictureColor("DEEPBLUE_PROGRESSBAR", 0, 4);
  EXPECT_EQ(Pixel(1, 5), fill);
  EXPECT_EQ(Pixel(88, 5), fill);
  EXPECT_EQ(Pixel(89, 5), 0xE8E8E8);
  EXPECT_EQ(Pixel(242, 5), 0xE8E8E8);
  for (TPoint p : {TPoint(0, 0), TPoint(243, 0), TPoint(0, 11), TPoint(243, 11), TPoint(120, 0)})
    EXPECT_EQ(Pixel(p.X, p.Y), clBlack) << p.X << "," << p.Y;
  // The caption in black near the middle, nowhere near the ends.
  EXPECT_GE(Count(TRect(100, 1, 144, 11), clBlack), 3);
  EXPECT_EQ(Count(TRect(150, 1, 243, 11), clBlack), 0);
  b->SetShowCaption(false);
  EXPECT_EQ(Count(TRect(100, 1, 144, 11), clBlack), 0);
}

TEST_F(ThemedProgress, PercentagesAndClampedDrawing) {
  TsuiProgressBar* b = NewBar(0, 0);
  b->SetPosition(0);
  EXPECT_EQ(b->Text(), "0%");
  b->SetPosition(-5);
  EXPECT_EQ(b->Text(), "-5%");
  EXPECT_EQ(b->GetWidthFromPosition(149), 0);
  b->SetPosition(150);
  EXPECT_EQ(b->Text(), "150%");
  EXPECT_EQ(b->GetWidthFromPosition(149), 149);
  b->SetMax(3);
  b->SetPosition(2);
  EXPECT_EQ(b->Text(), "66%");
  b->SetShowCaption(false);
  Show();
  // Below Min nothing is filled: the one-pixel start is covered by the track.
  b->SetPosition(-5);
  b->SetMax(100);
  EXPECT_EQ(Count(TRect(1, 1, 149, 11), 0xE8E8E8), 148 * 10);
  // Above Max all of it is.
  b->SetPosition(500);
  EXPECT_EQ(Count(TRect(1, 5, 148, 6), PictureColor("DEEPBLUE_PROGRESSBAR", 0, 4)), 147);
}

TEST_F(ThemedProgress, EmptyAndHugeRangesKeepWorking) {
  TsuiProgressBar* b = NewBar(0, 0);
  Show();
  b->SetMin(10);
  b->SetMax(10);
  b->SetPosition(10);
  EXPECT_EQ(b->Text(), "0%");
  EXPECT_EQ(b->GetWidthFromPosition(149), 0);
  b->SetPosition(20);
  EXPECT_EQ(b->GetWidthFromPosition(149), 0);
  Pump();
  // 32-bit products would overflow here.
  b->SetMin(0);
  b->SetMax(2000000000);
  b->SetPosition(1500000000);
  EXPECT_EQ(b->Text(), "75%");
  EXPECT_EQ(b->GetWidthFromPosition(243), 182);
  b->SetMin(INT_MIN);
  b->SetMax(INT_MAX);
  b->SetPosition(0);
  EXPECT_EQ(b->Text(), "50%");
  b->SetMax(INT_MIN + 1);
  b->SetPosition(INT_MAX);
  EXPECT_EQ(b->Text(), std::to_string(INT_MAX) + "%");
  Pump();
}

TEST_F(ThemedProgress, SizeIsPinnedAndOrientationTurnsTheBar) {
  TsuiProgressBar* b = NewBar(0, 0);
  b->SetHeight(20);
  EXPECT_EQ(b->Height(), 12);
  b->SetOrientation(suiVertical);
  EXPECT_EQ(b->Width(), 12);
  EXPECT_EQ(b->Height(), 150);
  EXPECT_EQ(b->Picture()->Width(), 10);
  EXPECT_EQ(b->Picture()->Height(), 1);
  b->SetWidth(40);
  EXPECT_EQ(b->Width(), 12);
  b->SetPosition(50);
  Show();
  // A vertical bar fills from the bottom and drops its caption.
  TColor fill = PictureColor("DEEPBLUE_PROGRESSBAR_V", 4, 0);
  EXPECT_EQ(Pixel(5, 140), fill);
  EXPECT_EQ(Pixel(5, 10), 0xE8E8E8);
  EXPECT_FALSE(b->ShowCaption());
  EXPECT_EQ(Pixel(0, 75), clBlack);
  EXPECT_EQ(Pixel(11, 149), clBlack);
}

TEST_F(ThemedProgress, AFullBarIsFilledEndToEndInEveryStyle) {
  // The bar stretches its picture over the filled part: the picture carries nothing
  // but fill, so a full bar shows no track anywhere inside, either way round.
  TsuiProgressBar* h = NewBar(0, 0);
  TsuiProgressBar* v = NewBar(0, 20);
  v->SetOrientation(suiVertical);
  for (TsuiProgressBar* b : {h, v}) {
    b->SetShowCaption(false);
    b->SetPosition(100);
  }
  Show();
  for (TsuiUIStyle s : {TsuiUIStyle::MacOS, TsuiUIStyle::WinXP, TsuiUIStyle::DeepBlue, TsuiUIStyle::Protein,
                        TsuiUIStyle::BlueGlass}) {
    SCOPED_TRACE(static_cast<int>(s));
    h->SetUIStyle(s);
    v->SetUIStyle(s);
    const TColor track = GetThemeColor(s, 8);
    EXPECT_EQ(Count(TRect(1, 1, 149, 11), track), 0);
    EXPECT_EQ(Count(TRect(1, 21, 11, 20 + 149), track), 0);
    // The picture's first column (or row) fills the horizontal bar's inside at every x.
    for (int y = 0; y < 10; ++y) EXPECT_EQ(Count(TRect(1, 1 + y, 149, 2 + y), PictureColor(GetThemeString(s, 42), 0, y)), 148);
  }
}

TEST_F(ThemedProgress, PropertiesSetAfterTheStyleOverrideIt) {
  TsuiProgressBar* b = NewBar(0, 0);
  b->SetColor(clYellow);
  b->SetBorderColor(clRed);
  b->SetPosition(0);
  Show();
  EXPECT_EQ(Pixel(0, 0), clRed);
  EXPECT_EQ(Pixel(140, 5), clYellow);
  b->SetUIStyle(TsuiUIStyle::WinXP);
  EXPECT_EQ(b->Color(), 0xDEEBEF);
  EXPECT_EQ(b->BorderColor(), 0x686868);
  EXPECT_EQ(b->Picture()->Width(), 6);
  b->SetUIStyle(TsuiUIStyle::Custom);
  EXPECT_EQ(b->Color(), 0xDEEBEF);
}

}  // namespace
