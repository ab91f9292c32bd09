// Writes the theme pictures, one sheet per style and one of the pictures loaded
// by fixed names, to <build>/gallery/ for a person to look at, and checks that
// every picture of the program is on a sheet.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <map>

#include <support/files.h>
#include <vcl/forms.h>
#include <vcl/graphics.h>
#include <vcl/headless.h>
#include <vcl/resources.h>

#include "mylabel.h"
#include "transbtn.h"

namespace {

std::string SheetOf(const std::string& name) {
  for (const char* style : {"MACOS_", "WINXP_", "DEEPBLUE_", "PROTEIN_", "BLUEGLASS_"})
    if (name.rfind(style, 0) == 0) return std::string(style, std::string(style).size() - 1);
  return "FIXED";
}

TEST(Gallery, EveryThemePictureGoesOnASheet) {
  std::map<std::string, std::vector<std::string>> sheets;
  for (const std::string& n : BitmapResourceNames())
    if (n.rfind("GFXTEST", 0) != 0) sheets[SheetOf(n)].push_back(n);
  ASSERT_EQ(sheets.size(), 6u);
  int placed = 0;
  const std::string folder = quill_test::GalleryFolder().string();
  for (auto& [sheet, names] : sheets) {
    const int scale = 2, width = 900, cell = 8;
    // Lay out row by row: each picture twice its size with its name beneath.
    std::vector<std::pair<TPoint, std::string>> at;
    int x = cell, y = cell, rowHeight = 0;
    for (const std::string& n : names) {
      std::unique_ptr<TBitmap> b = LoadBitmapResource(n);
      int w = std::max(b->Width() * scale, 190), h = b->Height() * scale + 14;
      if (x + w > width) {
        x = cell;
        y += rowHeight + cell;
        rowHeight = 0;
      }
      at.push_back({TPoint(x, y), n});
      x += w + cell;
      rowHeight = std::max(rowHeight, h);
    }
    TBitmap out(width, y + rowHeight + cell);
    TCanvas* c = out.Canvas();
    c->Brush()->SetColor(RGB(120, 120, 120));
    c->FillRect(TRect(0, 0, out.Width(), out.Height()));
    c->Font()->SetHeight(-9);
    c->Font()->SetColor(clWhite);
    for (auto& [p, n] : at) {
      std::unique_ptr<TBitmap> b = LoadBitmapResource(n);
      c->StretchDraw(TRect(p.X, p.Y, p.X + b->Width() * scale, p.Y + b->Height() * scale), b.get());
      c->Brush()->SetStyle(bsClear);
      c->TextOut(p.X, p.Y + b->Height() * scale + 1, n.substr(sheet == "FIXED" ? 0 : sheet.size() + 1));
      c->Brush()->SetStyle(bsSolid);
      ++placed;
    }
    std::string path = folder + "/" + sheet + ".png";
    out.SaveToPngFile(path);
    EXPECT_GT(std::filesystem::file_size(path), 100u) << path;
  }
  EXPECT_EQ(placed, 192);
}

TEST(Gallery, TheImageStripButtonInEachStateAndTheDoubleDrawnLabel) {
  Application->Initialize();
  auto* form = new TForm(nullptr);
  form->SetBorderStyle(bsNone);
  form->SetBounds(0, 0, 260, 60);
  form->SetColor(clWhite);
  // The program's configuration: frames normal, pressed, mouse-over.
  auto* images = new TImageList(form);
  images->SetWidth(18);
  images->SetHeight(18);
  for (const char* n : {"DEEPBLUE_TITLEBTN_CLOSE_NORMAL", "DEEPBLUE_TITLEBTN_CLOSE_MOUSEDOWN",
                        "DEEPBLUE_TITLEBTN_CLOSE_MOUSEON"})
    images->Add(LoadBitmapResource(n).get(), nullptr);
  auto* button = new TTransparentButton(form);
  button->SetParent(form);
  button->SetBounds(10, 10, 18, 18);
  button->SetImageList(images);
  button->SetNumGlyphs(3);
  button->SetBorderWidth(0);
  auto* label = new TMyLabel(form);
  label->SetParent(form);
  label->SetBounds(60, 10, 100, 30);
  label->Font()->SetHeight(-22);
  label->Font()->SetStyle({fsBold});
  label->SetCaption("Quillmere");
  label->SetBkColor(clGradientActiveCaption);
  label->SetPreColor(clNavy);
  form->Show();
  TBitmap sheet(3 * 260, 60);
  auto snap = [&](int slot) {
    Application->ProcessMessages();
    TSurface s;
    ASSERT_TRUE(HeadlessCapture(form->Handle(), s));
    for (int y = 0; y < s.Height; ++y)
      for (int x = 0; x < s.Width; ++x) sheet.ScanLine(y)[slot * 260 + x] = s.At(x, y);
  };
  snap(0);
  HeadlessMouseMove(form, 15, 15);
  snap(1);
  HeadlessMouseDown(form, 15, 15);
  snap(2);
  HeadlessMouseUp(form, 15, 15);
  Application->ProcessMessages();
  std::string path = (quill_test::GalleryFolder() / "controls.png").string();
  sheet.SaveToPngFile(path);
  EXPECT_GT(std::filesystem::file_size(path), 100u);
  FreeComponent(form);
}

}  // namespace
