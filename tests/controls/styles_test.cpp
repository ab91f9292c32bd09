// Every control in each of the six styles: what the form shows is compared with
// the style's pictures and colours, so a wrong style or picture is caught. Each
// rendering is also written to build/gallery/ for a person to look at.
#include <cstdlib>
#include <filesystem>
#include <string>

#include "themed_harness.h"
#include "themed_scene.h"

namespace {

const char* StyleName(TsuiUIStyle s) {
  switch (s) {
    case TsuiUIStyle::Custom: return "Custom";
    case TsuiUIStyle::MacOS: return "MacOS";
    case TsuiUIStyle::WinXP: return "WinXP";
    case TsuiUIStyle::DeepBlue: return "DeepBlue";
    case TsuiUIStyle::Protein: return "Protein";
    case TsuiUIStyle::BlueGlass: return "BlueGlass";
  }
  return "?";
}

class SixStyles : public ThemedTest, public ::testing::WithParamInterface<TsuiUIStyle> {
 protected:
  void SetUp() override {
    ThemedTest::SetUp();
    BuildThemedScene(form, GetParam(), scene);
    Show();
    if (const char* bin = std::getenv("QUILLMERE_BUILD_BIN")) {
      std::filesystem::path dir = std::filesystem::path(bin).parent_path() / "gallery";
      std::error_code ec;
      std::filesystem::create_directories(dir, ec);
      std::string file = "controls-" + std::string(StyleName(GetParam())) + ".png";
      HeadlessCaptureToFile(form->Handle(), (dir / file).string());
    }
  }
  ThemedScene scene;
};

TEST_P(SixStyles, ButtonShowsTheStylesPicture) {
  TsuiUIStyle style = GetParam();
  TPoint p = At(scene.button);
  // Custom keeps the pictures the button had: its owner's DeepBlue ones.
  std::string name = GetThemeString(style == TsuiUIStyle::Custom ? TsuiUIStyle::DeepBlue : style, 23);
  // The caption lies over the middle rows; compare the top and bottom ones.
  bool masked = style == TsuiUIStyle::BlueGlass;
  std::unique_ptr<TBitmap> pic = LoadBitmapResource(name);
  int h = pic->Height(), wrong = 0, compared = 0;
  std::uint32_t key = pic->Surface().At(0, 0);
  for (int y : {0, 1, 2, h - 3, h - 2, h - 1})
    for (int x = 0; x < pic->Width(); ++x) {
      std::uint32_t want = pic->Surface().At(x, y);
      if (masked && want == key) continue;
      ++compared;
      wrong += Pixel(p.X + x, p.Y + y) != static_cast<TColor>(PixelToColorRef(want));
    }
  EXPECT_GT(compared, 0);
  EXPECT_EQ(wrong, 0) << name;
}

TEST_P(SixStyles, CheckBoxAndRadioButtonShowTheStylesPictures) {
  TsuiUIStyle style = GetParam();
  if (style == TsuiUIStyle::Custom) {
    EXPECT_EQ(scene.check->GetPicNormal(), "");
    EXPECT_EQ(scene.radio->GetPicNormal(), "");
    return;
  }
  std::string check = GetThemeString(style, 28), radio = GetThemeString(style, 36);
  TPoint pc = At(scene.check), pr = At(scene.radio);
  int ch = PictureHeight(check), rh = PictureHeight(radio);
  EXPECT_EQ(PictureMismatches(pc.X + 1, pc.Y + (17 - ch) / 2, check), 0) << check;
  // The radio button is placed by the check box's picture height (element 29).
  EXPECT_EQ(PictureMismatches(pr.X + 1, pr.Y + (17 - ch) / 2, radio, true), 0) << radio << " " << rh;
  bool seeThrough = style == TsuiUIStyle::MacOS || style == TsuiUIStyle::Protein;
  EXPECT_EQ(scene.check->Transparent(), seeThrough);
}

TEST_P(SixStyles, ComboBoxButtonAndFrame) {
  TsuiUIStyle style = GetParam();
  TPoint p = At(scene.combo);
  TColor border = GetThemeColor(style, 7);
  EXPECT_EQ(Pixel(p.X, p.Y), border);
  EXPECT_EQ(Pixel(p.X + 127, p.Y + 20), border);
  if (style == TsuiUIStyle::MacOS) {
    EXPECT_EQ(Pixel(p.X + 112, p.Y + 5), PictureColor("MACOS_COMBOBOX_BUTTON", 2, 3));
  } else {
    EXPECT_EQ(Pixel(p.X + 112, p.Y + 5), GetThemeColor(style, 73));
  }
  EXPECT_EQ(Pixel(p.X + 117, p.Y + 11), style == TsuiUIStyle::Custom ? clBlack : border);
}

TEST_P(SixStyles, ProgressBarTrackFrameAndFill) {
  TsuiUIStyle style = GetParam();
  TPoint p = At(scene.progress);
  // Custom keeps the look the bar was built with (the owner's DeepBlue).
  TsuiUIStyle look = style == TsuiUIStyle::Custom ? TsuiUIStyle::DeepBlue : style;
  const TColor track = GetThemeColor(look, 8);
  EXPECT_EQ(Pixel(p.X, p.Y), GetThemeColor(look, 7));
  EXPECT_EQ(Pixel(p.X + 240, p.Y + 6), track);
  const std::string pic = GetThemeString(look, 42);
  const int ph = PictureHeight(pic);
  scene.progress->SetShowCaption(false);
  // Every column of the filled part shows the picture's rows, every other column
  // of the inside the track: at 40 % the fill ends at 40 * 243 / 100 = 97.
  auto wrongColumns = [&](int filled) {
    int wrong = 0;
    for (int x = 1; x < 243; ++x) {
      bool ok = true;
      for (int y = 0; y < ph; ++y) {
        const TColor want = x < filled ? PictureColor(pic, 0, y) : track;
        ok = ok && Pixel(p.X + x, p.Y + 1 + y) == want;
      }
      wrong += ok ? 0 : 1;
    }
    return wrong;
  };
  EXPECT_EQ(wrongColumns(97), 0) << pic;
  // At 100 % the whole inside is filled.
  scene.progress->SetPosition(100);
  EXPECT_EQ(wrongColumns(243), 0) << pic;
}

TEST_P(SixStyles, BorderedControlsTakeTheStylesBorderColour) {
  TColor border = GetThemeColor(GetParam(), 7);
  for (TWinControl* c : {static_cast<TWinControl*>(scene.edit), static_cast<TWinControl*>(scene.list),
                         static_cast<TWinControl*>(scene.memo), static_cast<TWinControl*>(scene.checks),
                         static_cast<TWinControl*>(scene.view), static_cast<TWinControl*>(scene.tree)}) {
    TPoint p = At(c);
    EXPECT_EQ(Pixel(p.X, p.Y), border) << c->ClassName();
    EXPECT_EQ(Pixel(p.X + c->Width() - 1, p.Y + c->Height() - 1), border) << c->ClassName();
    EXPECT_EQ(Pixel(p.X + 1, p.Y + 1), ColorToRGB(c->Color())) << c->ClassName();
  }
}

TEST_P(SixStyles, ContainerWalkReachesTheThemedControls) {
  // Turn every control to another style through the walk; Custom ones stay.
  TsuiUIStyle style = GetParam(), next = style == TsuiUIStyle::WinXP ? TsuiUIStyle::Protein : TsuiUIStyle::WinXP;
  ContainerApplyUIStyle(form, next);
  bool custom = style == TsuiUIStyle::Custom;
  EXPECT_EQ(scene.button->UIStyle(), custom ? TsuiUIStyle::Custom : next);
  EXPECT_EQ(scene.check->UIStyle(), custom ? TsuiUIStyle::Custom : next);
  EXPECT_EQ(scene.radio->UIStyle(), custom ? TsuiUIStyle::Custom : next);
  EXPECT_EQ(scene.progress->UIStyle(), custom ? TsuiUIStyle::Custom : next);
  EXPECT_EQ(scene.combo->UIStyle(), next);  // the combo box always follows
  EXPECT_EQ(scene.list->BorderColor(), GetThemeColor(next, 7));
  if (!custom) {
    EXPECT_EQ(scene.radio->GetPicNormal(), GetThemeString(next, 36));
  }
}

TEST_P(SixStyles, TinyAndOddSizesPaintWithoutFault) {
  // Pictures larger than the control, glyph and caption wider than it: every
  // paint must stay inside its pictures and lists.
  TBitmap glyph(20, 10);
  scene.button->SetGlyph(&glyph);
  scene.combo->Items()->Add(std::string(300, 'x'));
  for (TPoint size : {TPoint(0, 0), TPoint(1, 1), TPoint(5, 3), TPoint(17, 40)}) {
    scene.button->SetBounds(10, 10, size.X, size.Y);
    scene.check->SetBounds(10, 45, size.X, size.Y);
    scene.radio->SetBounds(10, 70, size.X, size.Y);
    scene.combo->SetBounds(10, 95, size.X, size.Y);
    scene.progress->SetBounds(10, 125, size.X, 12);
    scene.list->SetBounds(10, 175, size.X, size.Y);
    scene.checks->SetBounds(150, 200, size.X, size.Y);
    scene.progress->SetPosition(size.X * 7);
    Pump();
  }
  scene.progress->SetOrientation(suiVertical);
  scene.progress->SetBounds(10, 125, 12, 1);
  Pump();
  EXPECT_EQ(scene.progress->Width(), 12);
}

TEST_F(ThemedTest, AMacOSButtonLeavesNoCornersOfAnotherColour) {
  ThemedScene scene;
  BuildThemedScene(form, TsuiUIStyle::MacOS, scene);
  Show();
  // Drawn plainly and stretched, the button is all of its picture: the outer ring
  // is its edge, corners included (a blend of the edge at most), on any background.
  TPoint p = At(scene.button);
  const int w = scene.button->Width(), h = scene.button->Height();
  const TColor edge = Pixel(p.X + w / 2, p.Y);
  auto near = [&](TColor c) {
    for (int shift : {0, 8, 16})
      if (std::abs(static_cast<int>((c >> shift) & 0xFF) - static_cast<int>((edge >> shift) & 0xFF)) > 48) return false;
    return true;
  };
  int far = 0;
  for (int x = 0; x < w; ++x) far += !near(Pixel(p.X + x, p.Y)) + !near(Pixel(p.X + x, p.Y + h - 1));
  for (int y = 1; y < h - 1; ++y) far += !near(Pixel(p.X, p.Y + y)) + !near(Pixel(p.X + w - 1, p.Y + y));
  EXPECT_EQ(far, 0);
}

INSTANTIATE_TEST_SUITE_P(Styles, SixStyles,
                         ::testing::Values(TsuiUIStyle::Custom, TsuiUIStyle::MacOS, TsuiUIStyle::WinXP,
                                           TsuiUIStyle::DeepBlue, TsuiUIStyle::Protein, TsuiUIStyle::BlueGlass),
                         [](const auto& info) { return std::string(StyleName(info.param)); });

}  // namespace
