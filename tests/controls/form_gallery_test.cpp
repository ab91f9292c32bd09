// Writes the skinned form with its title bar and menu bar in each style, and a
// sheet of themed menu items, to <build>/gallery/ for a person to look at.
#include <cstdlib>
#include <filesystem>

#include <support/files.h>

#include "suiform.h"
#include "suimainmenu.h"
#include "suipopupmenu.h"
#include "themed_harness.h"

namespace {

std::string GalleryPath(const std::string& file) { return (quill_test::GalleryFolder() / file).string(); }

class FormGallery : public ThemedTest {};

TEST_F(FormGallery, SkinnedFormAndMenusInEveryStyle) {
  Suipopupmenu_Initialization();
  form->SetBounds(0, 0, 300, 160);
  auto* panel = new TsuiForm(form);
  panel->SetCaption("Korvex Quillmere");
  auto* main = new TsuiMainMenu(form);
  for (const char* c : {"File", "Options", "Help"}) {
    auto* it = new TMenuItem(form);
    it->SetCaption(c);
    main->Items()->Add(it);
  }
  main->AfterConstruction();
  auto* popup = new TsuiPopupMenu(form);
  const char* captions[] = {"Open", "Convert", "-", "Checked", "Disabled"};
  for (const char* c : captions) {
    auto* it = new TMenuItem(form);
    it->SetCaption(c);
    popup->Items()->Add(it);
  }
  popup->Items()->Items(3)->SetChecked(true);
  popup->Items()->Items(4)->SetEnabled(false);
  Show();
  const TsuiUIStyle styles[] = {TsuiUIStyle::MacOS, TsuiUIStyle::WinXP, TsuiUIStyle::DeepBlue, TsuiUIStyle::Protein,
                                TsuiUIStyle::BlueGlass};
  TBitmap forms(5 * 310, 170), menus(5 * 170, 5 * 21 + 10);
  menus.Canvas()->Brush()->SetColor(RGB(120, 120, 120));
  menus.Canvas()->FillRect(TRect(0, 0, menus.Width(), menus.Height()));
  int slot = 0;
  for (TsuiUIStyle s : styles) {
    panel->SetUIStyle(s);
    popup->SetUIStyle(s);
    MouseMove(200, 150);
    // The title bar's left piece sits at the panel's left edge (its bottom row is
    // below the control box).
    std::unique_ptr<TBitmap> left = LoadBitmapResource(GetThemeString(s, 44));
    const int row = left->Height() - 1;
    for (int x = 0; x < left->Width(); ++x)
      EXPECT_EQ(Pixel(panel->Left() + x, row), static_cast<TColor>(PixelToColorRef(left->Surface().At(x, row))))
          << static_cast<int>(s) << " " << x;
    TSurface shot;
    ASSERT_TRUE(HeadlessCapture(form->Handle(), shot));
    for (int y = 0; y < shot.Height; ++y)
      for (int x = 0; x < shot.Width; ++x) forms.ScanLine(y)[slot * 310 + x] = shot.At(x, y);
    int top = 5;
    for (int i = 0; i < popup->Items()->Count(); ++i) {
      TMenuItem* it = popup->Items()->Items(i);
      TBitmap item(160, 21);
      int w = 0, h = 0;
      popup->MeasureItem(it, item.Canvas(), w, h);
      item.SetHeight(h);
      popup->DrawItem(it, item.Canvas(), TRect(0, 0, 160, h), i == 1, nullptr, SharedCheckMarkList());
      menus.Canvas()->Draw(slot * 170 + 5, top, &item);
      top += h;
    }
    ++slot;
  }
  forms.SaveToPngFile(GalleryPath("skinned-forms.png"));
  menus.SaveToPngFile(GalleryPath("themed-menus.png"));
  EXPECT_GT(std::filesystem::file_size(GalleryPath("skinned-forms.png")), 1000u);
  EXPECT_GT(std::filesystem::file_size(GalleryPath("themed-menus.png")), 1000u);
  Suipopupmenu_Finalization();
}

TEST(SuipopupmenuUnit, SharedCheckMarkListLivesFromFirstInitialisationToLastFinalisation) {
  EXPECT_EQ(SharedCheckMarkList(), nullptr);
  Suipopupmenu_Initialization();
  TCustomImageList* list = SharedCheckMarkList();
  ASSERT_NE(list, nullptr);
  EXPECT_EQ(list->Count(), 1);
  EXPECT_EQ(list->Width(), 16);
  Suipopupmenu_Initialization();
  EXPECT_EQ(SharedCheckMarkList(), list);
  Suipopupmenu_Finalization();
  EXPECT_EQ(SharedCheckMarkList(), list);
  Suipopupmenu_Finalization();
  EXPECT_EQ(SharedCheckMarkList(), nullptr);
}

}  // namespace
