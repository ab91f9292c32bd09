// The double-drawn label by pixels: its two extra copies and its sizing.
#include <gtest/gtest.h>

#include <vcl/forms.h>
#include <vcl/headless.h>

#include "mylabel.h"

namespace {

class LabelTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Application->Initialize();
    form = new TForm(nullptr);
    form->SetBorderStyle(bsNone);
    form->SetBounds(20, 20, 300, 80);
    form->SetColor(clWhite);
    label = new TMyLabel(form);
    label->SetParent(form);
    label->SetLeft(10);
    label->SetTop(10);
    label->Font()->SetHeight(-20);
    label->Font()->SetColor(clRed);
    label->SetCaption("IIII");
    form->Show();
  }
  void TearDown() override { FreeComponent(form); }
  // Bounding box of the pixels of a colour in the form.
  TRect Box(TColor c) {
    Application->ProcessMessages();
    TSurface s;
    EXPECT_TRUE(HeadlessCapture(form->Handle(), s));
    TRect r(10000, 10000, -1, -1);
    for (int y = 0; y < s.Height; ++y)
      for (int x = 0; x < s.Width; ++x)
        if (static_cast<TColor>(PixelToColorRef(s.At(x, y))) == ColorToRGB(c)) {
          r.Left = std::min(r.Left, x);
          r.Top = std::min(r.Top, y);
          r.Right = std::max(r.Right, x + 1);
          r.Bottom = std::max(r.Bottom, y + 1);
        }
    return r;
  }
  TForm* form = nullptr;
  TMyLabel* label = nullptr;
};

TEST_F(LabelTest, ColoursStartBlackAndAutoSizeIsOn) {
  TMyLabel l(nullptr);
  EXPECT_EQ(l.BKColor(), 0);
  EXPECT_EQ(l.PREColor(), 0);
  EXPECT_TRUE(l.AutoSize());
}

TEST_F(LabelTest, ALightCopyAtTheCornerUnderANavyCopyTwoPixelsOn) {
  label->SetBkColor(clGradientActiveCaption);
  label->SetPreColor(clNavy);
  TRect light = Box(clGradientActiveCaption);
  TRect navy = Box(clNavy);
  ASSERT_LT(light.Left, light.Right);
  ASSERT_LT(navy.Left, navy.Right);
  EXPECT_EQ(navy.Left, light.Left + 2);
  EXPECT_EQ(navy.Top, light.Top + 2);
  EXPECT_EQ(navy.Width(), light.Width());
  EXPECT_GE(light.Left, 10);
  // The base copy in the font's colour lies under the light one at the corner.
  TRect red = Box(clRed);
  EXPECT_FALSE(red.Left < red.Right && red.Left < light.Left);
}

TEST_F(LabelTest, ExtraCopiesStayAtTheCornerWhateverTheAlignment) {
  label->SetAutoSize(false);
  label->SetWidth(200);
  label->SetHeight(30);
  label->SetAlignment(taRightJustify);
  label->SetBkColor(clLime);
  label->SetPreColor(clBlue);
  TRect red = Box(clRed);
  TRect lime = Box(clLime);
  TRect blue = Box(clBlue);
  EXPECT_GT(red.Left, 10 + 150);     // the base copy follows the alignment
  EXPECT_LT(lime.Left, 10 + 10);     // the extra copies do not
  EXPECT_EQ(blue.Left, lime.Left + 2);
}

TEST_F(LabelTest, EveryAutoSizeAssignmentWidensByOnePixel) {
  label->SetCaption("IIIII");  // the label sizes itself to the text
  const int natural = label->Width();
  label->SetAutoSize(true);
  EXPECT_EQ(label->Width(), natural + 1);
  label->SetAutoSize(true);  // sized again by the base, then widened
  EXPECT_EQ(label->Width(), natural + 1);
  label->SetAutoSize(false);
  EXPECT_EQ(label->Width(), natural + 2);
  label->SetAutoSize(false);
  EXPECT_EQ(label->Width(), natural + 3);
}

TEST_F(LabelTest, AVeryLongCaptionDrawsWithoutTrouble) {
  label->SetCaption(std::string(10000, 'x'));
  label->SetBkColor(clLime);
  TRect lime = Box(clLime);
  EXPECT_LT(lime.Left, lime.Right);
  EXPECT_LE(lime.Right, 300);
}

}  // namespace
