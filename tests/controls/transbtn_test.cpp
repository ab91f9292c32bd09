// The image-strip button driven by injected input on the headless backend: its
// state rules, the frame it shows (by pixels), its frame styles, Down, Movable,
// the popup menu, the glyph strip and bad input.
#include <gtest/gtest.h>

#include <vcl/forms.h>
#include <vcl/headless.h>
#include <vcl/menus.h>
#include <vcl/winuser.h>

#include "transbtn.h"

namespace {

const TColor kFrameColours[] = {clRed, clLime, clBlue, clYellow};

class ButtonTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Application->Initialize();
    form = new TForm(nullptr);
    form->SetBorderStyle(bsNone);
    form->SetBounds(30, 30, 200, 160);
    form->SetColor(clWhite);
    images = new TImageList(form);
    button = new TTransparentButton(form);
    button->SetParent(form);
    button->SetBounds(20, 20, 40, 40);
    button->SetImageList(images);
    button->OnClick = [this](TObject*) { ++clicks; };
    button->OnMouseUp = [this](TObject*, TMouseButton, TShiftState, int, int) { ++ups; };
    form->Show();
    Pump();
  }
  void TearDown() override {
    HeadlessSetIdleHook(nullptr);
    FreeComponent(form);
  }
  void Pump() { Application->ProcessMessages(); }
  // Frames of the given size, each one solid colour of kFrameColours.
  void Frames(int count, int w = 40, int h = 40) {
    images->SetWidth(w);
    images->SetHeight(h);
    for (int i = 0; i < count; ++i) {
      TBitmap f(w, h);
      f.Canvas()->Brush()->SetColor(kFrameColours[i]);
      f.Canvas()->FillRect(TRect(0, 0, w, h));
      images->Add(&f, nullptr);
    }
  }
  // The program's configuration of its skin buttons.
  void ProgramSettings() {
    Frames(3);
    button->SetNumGlyphs(3);
    button->SetBorderWidth(0);
  }
  TColor Pixel(int x, int y) {
    Pump();
    TSurface s;
    EXPECT_TRUE(HeadlessCapture(form->Handle(), s));
    return s.Contains(x, y) ? static_cast<TColor>(PixelToColorRef(s.At(x, y))) : -1;
  }
  // The frame shown, read from the button's centre.
  int Shown() {
    TColor c = Pixel(button->Left() + button->Width() / 2, button->Top() + button->Height() / 2);
    for (int i = 0; i < 4; ++i)
      if (c == kFrameColours[i]) return i;
    return -1;
  }
  void Move(int x, int y) {
    HeadlessMouseMove(form, x, y);
    Pump();
  }
  void Down(int x, int y) {
    HeadlessMouseDown(form, x, y);
    Pump();
  }
  void Up(int x, int y) {
    HeadlessMouseUp(form, x, y);
    Pump();
  }
  TForm* form = nullptr;
  TImageList* images = nullptr;
  TTransparentButton* button = nullptr;
  int clicks = 0;
  int ups = 0;
};

TEST_F(ButtonTest, DefaultsAsTheConstructorSetsThem) {
  TTransparentButton b(nullptr);
  EXPECT_FALSE(b.ThreeState());
  EXPECT_TRUE(b.AutoGray());
  EXPECT_EQ(b.BorderWidth(), 1u);
  EXPECT_FALSE(b.Down());
  EXPECT_EQ(b.FrameStyle(), fsExplorer);
  EXPECT_EQ(b.ImageList(), nullptr);
  EXPECT_EQ(b.ImageIndex(), 0);
  EXPECT_EQ(b.NumGlyphs(), 1);
  EXPECT_TRUE(b.ShowPressed());
  EXPECT_EQ(b.Spacing(), 2);
  EXPECT_EQ(b.TextAlign(), ttaCenter);
  EXPECT_TRUE(b.Transparent());
  EXPECT_FALSE(b.WordWrap());
  EXPECT_FALSE(b.Movable());
  EXPECT_EQ(b.BoundsRect(), TRect(0, 0, 40, 40));
  EXPECT_EQ(b.ControlStyle() & (csOpaque | csDoubleClicks), 0u);
  EXPECT_EQ(b.State(), bsUp);
}

TEST_F(ButtonTest, ProgramButtonsHoverPressDragOutAndBackAndReleaseInside) {
  ProgramSettings();
  EXPECT_EQ(Shown(), 0);
  Move(40, 40);
  EXPECT_TRUE(button->MouseInside());
  EXPECT_EQ(Shown(), 2);
  Down(40, 40);
  EXPECT_EQ(button->State(), bsDown);
  EXPECT_EQ(Shown(), 1);
  Move(120, 120);
  EXPECT_EQ(button->State(), bsUp);
  EXPECT_EQ(Shown(), 0);
  Move(41, 41);
  EXPECT_EQ(Shown(), 1);
  Up(41, 41);
  EXPECT_EQ(clicks, 1);
  EXPECT_EQ(ups, 1);
  EXPECT_EQ(button->State(), bsUp);
  EXPECT_EQ(Shown(), 2);
  Move(150, 10);
  EXPECT_EQ(Shown(), 0);
}

TEST_F(ButtonTest, ReleasingOutsideRaisesNoClickAndLeavesTheButtonUp) {
  ProgramSettings();
  Move(40, 40);
  Down(40, 40);
  Move(150, 150);
  Up(150, 150);
  EXPECT_EQ(clicks, 0);
  EXPECT_EQ(ups, 1);
  EXPECT_EQ(button->State(), bsUp);
  EXPECT_EQ(Shown(), 0);
  // The next press and release inside clicks once.
  Move(40, 40);
  Down(40, 40);
  Up(40, 40);
  EXPECT_EQ(clicks, 1);
}

TEST_F(ButtonTest, ThreeStateShowsHoverAndPressedFrames) {
  Frames(3);
  button->SetNumGlyphs(3);
  button->SetThreeState(true);
  Move(40, 40);
  EXPECT_EQ(Shown(), 1);
  Down(40, 40);
  EXPECT_EQ(Shown(), 2);
  Move(150, 150);
  EXPECT_EQ(Shown(), 0);
  Move(40, 40);
  EXPECT_EQ(Shown(), 2);
  Up(40, 40);
  EXPECT_EQ(Shown(), 1);
}

TEST_F(ButtonTest, DownHoldsThePressedFrameUntilCleared) {
  ProgramSettings();
  button->SetDown(true);
  EXPECT_EQ(button->State(), bsDown);
  EXPECT_EQ(Shown(), 1);
  Move(40, 40);
  Down(40, 40);
  Up(40, 40);
  EXPECT_EQ(ups, 0);  // a held button raises no OnMouseUp
  EXPECT_EQ(button->State(), bsDown);
  Move(150, 150);
  EXPECT_EQ(Shown(), 1);
  button->SetDown(false);
  EXPECT_EQ(button->State(), bsUp);
  EXPECT_EQ(Shown(), 0);
}

TEST_F(ButtonTest, DisabledFramesByNumGlyphsAndAutoGray) {
  Frames(4);
  button->SetNumGlyphs(2);
  button->SetEnabled(false);
  EXPECT_EQ(button->FrameIndex(), 0);  // the AutoGray rule wins over the disabled frame
  EXPECT_EQ(Shown(), 0);
  button->SetAutoGray(false);
  button->Invalidate();
  EXPECT_EQ(Shown(), 1);
  button->SetNumGlyphs(4);
  button->SetFrameStyle(fsNone);
  EXPECT_EQ(button->FrameIndex(), 1);
  EXPECT_EQ(Shown(), 1);
  button->SetNumGlyphs(1);
  EXPECT_EQ(Shown(), 0);
  // Disabled buttons ignore the mouse.
  button->SetNumGlyphs(3);
  Move(40, 40);
  Down(40, 40);
  EXPECT_EQ(button->State(), bsUp);
  EXPECT_FALSE(button->MouseInside());
}

TEST_F(ButtonTest, DisablingClearsThePressAndTheHover) {
  ProgramSettings();
  Move(40, 40);
  Down(40, 40);
  button->SetEnabled(false);
  EXPECT_EQ(button->State(), bsUp);
  EXPECT_FALSE(button->MouseInside());
  button->SetEnabled(true);
  Up(40, 40);
  EXPECT_EQ(ups, 0);  // the release of a press the disabling dropped
}

TEST_F(ButtonTest, OpaquePictureLiesCentredOnButtonFace) {
  Frames(1, 16, 16);
  button->SetTransparent(false);
  button->SetBorderWidth(0);
  Pump();
  EXPECT_EQ(Pixel(20 + 12, 20 + 12), clRed);
  EXPECT_EQ(Pixel(20 + 27, 20 + 27), clRed);
  EXPECT_EQ(Pixel(20 + 11, 20 + 12), ColorToRGB(clBtnFace));
  EXPECT_EQ(Pixel(20 + 28, 20 + 28), ColorToRGB(clBtnFace));
  EXPECT_EQ(Pixel(20, 20), ColorToRGB(clBtnFace));
}

TEST_F(ButtonTest, TransparentPictureIsDrawnAtTheCornerOverTheParent) {
  Frames(1, 16, 16);
  button->Invalidate();  // the list is only referred to: its changes do not repaint
  EXPECT_EQ(Pixel(20, 20), clRed);
  EXPECT_EQ(Pixel(35, 35), clRed);
  EXPECT_EQ(Pixel(36, 36), clWhite);  // the form shows through
}

TEST_F(ButtonTest, MovableButtonFollowsThePressedMouse) {
  ProgramSettings();
  button->SetMovable(true);
  Move(30, 30);
  Down(30, 30);
  Move(50, 45);
  EXPECT_EQ(button->Left(), 40);
  EXPECT_EQ(button->Top(), 35);
  EXPECT_EQ(Shown(), 1);
  Move(70, 50);
  EXPECT_EQ(button->Left(), 60);
  EXPECT_EQ(button->Top(), 40);
  Up(70, 50);
  EXPECT_EQ(button->State(), bsUp);
  Move(150, 150);
  EXPECT_EQ(button->Left(), 60);  // no longer follows
}

// A popup menu that records where it was asked to open, and closes at once.
class RecordingMenu : public TPopupMenu {
 public:
  using TPopupMenu::TPopupMenu;
  void Popup(int x, int y) override {
    at = TPoint(x, y);
    ++shown;
    // What the mouse did while the menu was open is dropped by the button.
    PostMessageA(Application->MainForm() ? Application->MainForm()->Handle() : nullptr, WM_MOUSEMOVE, 0, 0);
  }
  TPoint at;
  int shown = 0;
};

TEST_F(ButtonTest, PopupMenuOpensBelowTheBottomLeftCornerOnAnyPress) {
  ProgramSettings();
  auto* menu = new RecordingMenu(form);
  button->SetPopUpMenu(menu);
  Move(40, 40);
  HeadlessMouseDown(form, 40, 40, BackendRight);
  Pump();
  EXPECT_EQ(menu->shown, 1);
  TPoint corner = button->ClientToScreen(TPoint(0, 40));
  EXPECT_EQ(menu->at, corner);
  EXPECT_EQ(button->State(), bsUp);
  EXPECT_EQ(ups, 1);
  HeadlessMouseUp(form, 40, 40, BackendRight);
  Pump();
  EXPECT_EQ(ups, 1);  // the press already ended
  HeadlessMouseDown(form, 40, 40);
  Pump();
  EXPECT_EQ(menu->shown, 2);
  HeadlessMouseUp(form, 40, 40);
  Pump();
  EXPECT_EQ(clicks, 0);
  // Freeing the menu clears the reference.
  FreeComponent(menu);
  EXPECT_EQ(button->PopUpMenu(), nullptr);
}

TEST_F(ButtonTest, AcceleratorClicksAnEnabledButton) {
  button->SetCaption("&Play");
  EXPECT_EQ(button->Perform(CM_DIALOGCHAR, 'p'), 1);
  EXPECT_EQ(clicks, 1);
  EXPECT_EQ(button->Perform(CM_DIALOGCHAR, 'x'), 0);
  button->SetEnabled(false);
  EXPECT_EQ(button->Perform(CM_DIALOGCHAR, 'p'), 0);
  EXPECT_EQ(clicks, 1);
}

struct FrameCase {
  TFrameStyle style;
  bool hover;
  bool pressed;
  TColor topLeft, bottomRight;   // outer line
  TColor inner;                  // (1, 1): the second line or the face
};

TEST_F(ButtonTest, FrameStylesDrawTheirLinesPerState) {
  const TColor hi = ColorToRGB(clBtnHighlight), sh = ColorToRGB(clBtnShadow), face = ColorToRGB(clBtnFace),
               dk = ColorToRGB(cl3DDkShadow), w = clWhite;
  const FrameCase cases[] = {
      // Each 3-D frame is drawn on the whole rectangle again, so of two the
      // second one shows; the line inside is the see-through frame of step 2.
      {fsRegular, false, false, face, sh, clBlack},
      {fsRegular, true, true, sh, face, clBlack},
      {fsIndent, false, false, sh, hi, hi},
      {fsIndent, true, true, sh, face, hi},
      {fsExplorer, false, false, w, w, w},
      {fsExplorer, true, false, hi, sh, w},
      {fsExplorer, true, true, sh, hi, w},
      {fsNone, true, false, w, w, w},
      {fsNone, true, true, w, w, w},
      {fsLight, false, false, hi, sh, w},
      {fsLight, true, true, sh, hi, w},
      {fsDark, false, false, face, dk, w},
      {fsDark, true, true, dk, face, w},
      {fsMono, false, false, hi, dk, w},
      {fsMono, true, true, dk, hi, w},
  };
  // No image list: the button shows its frame over the form (white).
  button->SetImageList(nullptr);
  for (const FrameCase& c : cases) {
    SCOPED_TRACE(std::to_string(c.style) + (c.hover ? " hover" : "") + (c.pressed ? " pressed" : ""));
    button->SetFrameStyle(c.style);
    Move(150, 150);
    if (c.hover) Move(40, 40);
    if (c.pressed) Down(40, 40);
    EXPECT_EQ(Pixel(20, 30), c.topLeft);
    EXPECT_EQ(Pixel(30, 20), c.topLeft);
    EXPECT_EQ(Pixel(59, 30), c.bottomRight);
    EXPECT_EQ(Pixel(30, 59), c.bottomRight);
    EXPECT_EQ(Pixel(21, 30), c.inner);
    if (c.pressed) Up(40, 40);
  }
}

TEST_F(ButtonTest, BorderWidthZeroDrawsNoneOfTheWideFrames) {
  button->SetImageList(nullptr);
  button->SetBorderWidth(0);
  button->SetFrameStyle(fsRegular);
  EXPECT_EQ(Pixel(20, 30), clWhite);
  EXPECT_EQ(Pixel(59, 30), clWhite);
  button->SetBorderWidth(3);
  EXPECT_EQ(Pixel(20, 30), ColorToRGB(clBtnFace));
  EXPECT_EQ(Pixel(22, 30), ColorToRGB(clBtnFace));
  EXPECT_EQ(Pixel(23, 30), clBlack);
  EXPECT_EQ(Pixel(57, 30), ColorToRGB(clBtnShadow));
}

TEST_F(ButtonTest, CaptionStandsBesideThePicture) {
  Frames(1, 10, 10);
  button->SetBounds(20, 20, 100, 60);
  button->SetTransparent(false);
  button->SetBorderWidth(0);
  button->Font()->SetColor(clBlack);
  button->SetCaption("MMMM");
  button->SetTextAlign(ttaBottom);
  // Picture at the top (Spacing 2), text below it (from y = 2 + 10 + 2).
  EXPECT_EQ(Pixel(20 + 45, 20 + 2), clRed);
  auto count = [&](auto pred) {
    int n = 0;
    for (int y = 20; y < 80; ++y)
      for (int x = 20; x < 120; ++x) n += pred(x, y, Pixel(x, y));
    return n;
  };
  auto dark = [](TColor c) { return GetRValue(c) < 100 && GetGValue(c) < 100 && GetBValue(c) < 100; };
  EXPECT_GT(count([&](int, int y, TColor c) { return y >= 34 && dark(c); }), 10);
  EXPECT_EQ(count([&](int, int y, TColor c) { return y < 34 && dark(c); }), 0);
  // Disabled: etched in the highlight and shadow colours, nothing dark.
  button->SetEnabled(false);
  EXPECT_EQ(count([&](int, int, TColor c) { return dark(c); }), 0);
  EXPECT_GT(count([&](int, int y, TColor c) { return y >= 34 && c == ColorToRGB(clBtnShadow); }), 0);
  const TColor face = ColorToRGB(clBtnFace);
  EXPECT_GT(count([&](int, int y, TColor c) {
              return y >= 34 && GetRValue(c) > GetRValue(face) && GetGValue(c) > GetGValue(face);
            }),
            0);
}

TEST_F(ButtonTest, BadInputGivesASensiblePictureAndNoCrash) {
  // Fewer frames than NumGlyphs: the first frame stands in for the missing ones.
  Frames(1);
  button->SetNumGlyphs(3);
  Move(40, 40);
  EXPECT_EQ(Shown(), 0);
  Down(40, 40);
  EXPECT_EQ(Shown(), 0);
  Up(40, 40);
  // An image index beyond the list draws nothing.
  button->SetImageIndex(7);
  EXPECT_EQ(button->FrameIndex(), -1);
  EXPECT_EQ(Pixel(40, 40), clWhite);
  button->SetImageIndex(-3);
  EXPECT_EQ(Pixel(40, 40), clWhite);
  button->SetImageIndex(0);
  // An empty list draws nothing.
  images->Clear();
  EXPECT_EQ(Pixel(40, 40), clWhite);
  // A zero-size button and a very long caption.
  button->SetBounds(20, 20, 0, 0);
  Pump();
  button->SetBounds(20, 20, 60, 30);
  button->SetImageList(nullptr);
  button->SetCaption(std::string(10000, 'W'));
  button->SetWordWrap(true);
  Pump();
  button->SetWordWrap(false);
  Pump();
  EXPECT_EQ(Pixel(150, 150), clWhite);  // nothing spills outside the button
  // NumGlyphs is kept within 1..4.
  button->SetNumGlyphs(0);
  EXPECT_EQ(button->NumGlyphs(), 1);
  button->SetNumGlyphs(9);
  EXPECT_EQ(button->NumGlyphs(), 4);
}

TEST_F(ButtonTest, FreeingTheImageListLeavesNoDanglingReference) {
  Frames(3);
  FreeComponent(images);
  images = nullptr;
  EXPECT_EQ(button->ImageList(), nullptr);
  Move(40, 40);
  EXPECT_EQ(Pixel(40, 40), clWhite);
}

TEST_F(ButtonTest, AddGlyphsSplitsTheStripAndAddsGreyAndDisabledForms) {
  TBitmap strip(30, 8);
  for (int i = 0; i < 3; ++i) {
    strip.Canvas()->Brush()->SetColor(i == 0 ? RGB(200, 100, 50) : kFrameColours[i]);
    strip.Canvas()->FillRect(TRect(i * 10, 0, i * 10 + 10, 8));
  }
  strip.Canvas()->SetPixels(0, 7, clWhite);  // frame 0's transparent colour (bottom-left)
  strip.Canvas()->SetPixels(3, 3, clBlack);
  button->SetNumGlyphs(3);
  button->AddGlyphs(&strip, clNone, 0);
  ASSERT_EQ(images->Count(), 5);
  EXPECT_EQ(images->Width(), 10);
  EXPECT_EQ(images->Height(), 8);
  TBitmap got;
  images->GetBitmap(2, &got);
  EXPECT_EQ(got.Canvas()->Pixels(5, 5), clBlue);
  images->GetBitmap(3, &got);  // the grey form of frame 0
  const int v = (11 * 200 + 59 * 100 + 30 * 50) / 100;
  EXPECT_EQ(got.Canvas()->Pixels(5, 5), RGB(v, v, v));
  images->GetBitmap(4, &got);  // the etched form: the black pixel in shadow on the face
  EXPECT_EQ(got.Canvas()->Pixels(3, 3), ColorToRGB(clBtnShadow));
  EXPECT_EQ(got.Canvas()->Pixels(4, 4), ColorToRGB(clBtnHighlight));
  EXPECT_EQ(got.Canvas()->Pixels(6, 1), ColorToRGB(clBtnFace));
  // Nothing without a strip or without a list.
  TBitmap empty;
  button->AddGlyphs(&empty, clNone, 0);
  EXPECT_EQ(images->Count(), 5);
  // A strip narrower than its frames holds none: the list keeps its pictures.
  TBitmap narrow(2, 8);
  button->AddGlyphs(&narrow, clNone, 0);
  EXPECT_EQ(images->Count(), 5);
  EXPECT_EQ(images->Width(), 10);
  images->GetBitmap(2, &got);
  EXPECT_EQ(got.Canvas()->Pixels(5, 5), clBlue);
  // And the button still shows its first frame (the others are all their own
  // transparent colour) rather than the white form.
  Move(150, 150);
  int shown = 0;
  for (int y = 20; y < 60; ++y)
    for (int x = 20; x < 60; ++x) shown += Pixel(x, y) == RGB(200, 100, 50) ? 1 : 0;
  EXPECT_GT(shown, 40);  // most of a 10 by 8 frame
  button->SetImageList(nullptr);
  button->AddGlyphs(&strip, clNone, 0);
  button->AddGlyphs(nullptr, clNone, 0);
  EXPECT_EQ(images->Count(), 5);
}

TEST(Glyphs, GreyUsesTheWeightsAndDisabledKeepsTheBackground) {
  auto twoPixels = [](TBitmap& b, TColor first, TColor second) {
    b.SetWidth(2);
    b.SetHeight(1);
    b.Canvas()->SetPixels(0, 0, first);
    b.Canvas()->SetPixels(1, 0, second);
  };
  TBitmap b;
  twoPixels(b, RGB(255, 0, 0), RGB(0, 0, 255));
  GreyGlyph(&b, 1, 1, 2);
  EXPECT_EQ(b.Canvas()->Pixels(0, 0), RGB(63, 63, 63));
  EXPECT_EQ(b.Canvas()->Pixels(1, 0), RGB(127, 127, 127));
  // Zero weights have no mean: the picture stays as it was.
  TBitmap zero;
  twoPixels(zero, RGB(200, 100, 50), RGB(0, 0, 255));
  GreyGlyph(&zero, 0, 0, 0);
  EXPECT_EQ(zero.Canvas()->Pixels(0, 0), RGB(200, 100, 50));
  EXPECT_EQ(zero.Canvas()->Pixels(1, 0), RGB(0, 0, 255));
  GreyGlyph(&zero, 1, -1, 0);
  EXPECT_EQ(zero.Canvas()->Pixels(0, 0), RGB(200, 100, 50));
  // Weights of mixed signs stay within the channel: (200 - 2 * 50) / -1 is -100,
  // which is 0, and (0 - 2 * 255) / -1 is 510, which is 255.
  GreyGlyph(&zero, 1, 0, -2);
  EXPECT_EQ(zero.Canvas()->Pixels(0, 0), RGB(0, 0, 0));
  EXPECT_EQ(zero.Canvas()->Pixels(1, 0), RGB(255, 255, 255));
  TBitmap empty;
  GreyGlyph(&empty, 11, 59, 30);
  DisabledGlyph(&empty);
  EmbossGlyph(nullptr);
  EXPECT_TRUE(empty.Empty());
}

}  // namespace
