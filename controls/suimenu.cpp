#include "suimenu.h"

#include <vcl/gdi.h>
#include <vcl/resources.h>
#include <vcl/winuser.h>

namespace {

void StretchResource(TCanvas* canvas, const TRect& rect, const char* name, int height) {
  try {
    std::unique_ptr<TBitmap> pic = LoadBitmapResource(name);
    pic->SetHeight(height);
    canvas->StretchDraw(rect, pic.get());
  } catch (const std::exception&) {
    // Without the picture the item keeps what lies under it.
  }
}

}  // namespace

void Menu_SetItemEvent(TMenuItem* item, const TMenuMeasureItemEvent& measure, const TMenuDrawItemEvent& draw) {
  if (!item) return;
  item->OnMeasureItem = measure;
  item->OnDrawItem = draw;
  for (int i = 0; i < item->Count(); ++i) Menu_SetItemEvent(item->Items(i), measure, draw);
}

void Menu_DrawBorder(TCanvas* canvas, const TRect& rect, TColor color) {
  canvas->Brush()->SetStyle(bsSolid);
  canvas->Brush()->SetColor(color);
  canvas->FrameRect(rect);
}

void Menu_DrawBackGround(TCanvas* canvas, const TRect& rect, TColor color) {
  canvas->Brush()->SetStyle(bsSolid);
  canvas->Brush()->SetColor(color);
  canvas->FillRect(rect);
}

void Menu_DrawLineItem(TCanvas* canvas, const TRect& rect, TColor color, int barWidth) {
  canvas->Pen()->SetColor(color);
  canvas->MoveTo(rect.Left + barWidth + 4, rect.Top + 2);
  canvas->LineTo(rect.Right - 2, rect.Top + 2);
}

void Menu_DrawMacOSLineItem(TCanvas* canvas, const TRect& rect) {
  StretchResource(canvas, rect, "MACOS_MENU_BAR", 12);
}

void Menu_DrawMacOSNonSelectedItem(TCanvas* canvas, const TRect& rect) {
  StretchResource(canvas, rect, "MACOS_MENU_BAR", 20);
}

void Menu_DrawMacOSSelectedItem(TCanvas* canvas, const TRect& rect) {
  StretchResource(canvas, rect, "MACOS_MENU_SELECT", 20);
}

void Menu_DrawWindowBorder(HWND window, TColor borderColor, TColor lineColor) {
  if (!window) return;
  RECT wr{};
  GetWindowRect(window, &wr);
  // On the menu window's own context, in its coordinates: nothing lands outside it.
  const int w = wr.right - wr.left, h = wr.bottom - wr.top;
  HDC dc = GetWindowDC(window);
  if (!dc) return;
  TCanvas c;
  c.SetHandle(dc);
  Menu_DrawBorder(&c, TRect(0, 1, w - 1, h - 1), borderColor);
  Menu_DrawBorder(&c, TRect(1, 2, w - 2, h - 2), clWhite);
  c.Pen()->SetColor(lineColor);
  c.MoveTo(0, h - 1);
  c.LineTo(w - 1, h - 1);
  c.LineTo(w - 1, 0);
  c.LineTo(w, 0);
  c.LineTo(0, 0);
  c.SetHandle(nullptr);
  ReleaseDC(window, dc);
}

void Menu_GetSystemFont(TFont* font) {
  NONCLIENTMETRICSA m{};
  m.cbSize = sizeof m;
  if (!SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, sizeof m, &m, 0)) return;
  font->SetHandle(CreateFontIndirectA(&m.lfMenuFont));
  font->SetColor(clMenuText);
}

TCustomImageList* NewCheckMarkList(TComponent* owner) {
  auto* list = new TImageList(owner);
  try {
    std::unique_ptr<TBitmap> pic = LoadBitmapResource(GetThemeString(TsuiUIStyle::MacOS, 22));
    pic->SetTransparent(true);
    list->SetWidth(pic->Width());
    list->SetHeight(pic->Height());
    list->AddMasked(pic.get(), static_cast<TColor>(0xFFFFFF));
  } catch (const std::exception&) {
    // An empty list: checked items then show no mark.
  }
  return list;
}

void TsuiMenuLook::SetUIStyle(TsuiUIStyle v) {
  ui_style_ = v;
  if (v == TsuiUIStyle::Custom) return;
  item_height_ = GetThemeInt(v, 19);
  separator_height_ = GetThemeInt(v, 20);
  BarColor = GetThemeColor(v, 16);
  BarWidth = GetThemeInt(v, 21);
  Color = GetThemeColor(v, 14);
  SeparatorColor = GetThemeColor(v, 17);
  SelectedBorderColor = GetThemeColor(v, 10);
  SelectedColor = GetThemeColor(v, 11);
  SelectedFontColor = GetThemeColor(v, 12);
  FontColor = GetThemeColor(v, 15);
  BorderColor = GetThemeColor(v, 2);
}

void TsuiMenuLook::SetMenuItemHeight(int v) {
  if (ui_style_ != TsuiUIStyle::MacOS) item_height_ = v;
}

void TsuiMenuLook::SetSeparatorHeight(int v) {
  if (ui_style_ != TsuiUIStyle::MacOS) separator_height_ = v;
}

void TsuiMenuLook::ApplyFont(TFont* font) const {
  if (UseSystemFont) {
    Menu_GetSystemFont(font);
    return;
  }
  font->SetName(FontName);
  font->SetSize(FontSize);
  font->SetCharset(FontCharset);
}

void TsuiMenuLook::BindItemsOf(TMenuItem* root, std::function<TCustomImageList*()> userImages,
                               std::function<TCustomImageList*()> checkMark) {
  auto measure = [this](TObject* s, TCanvas* c, int& w, int& h) { MeasureItem(s, c, w, h); };
  auto draw = [this, userImages, checkMark](TObject* s, TCanvas* c, TRect r, bool sel) {
    DrawItem(s, c, r, sel, userImages(), checkMark());
  };
  for (int i = 0; i < root->Count(); ++i) Menu_SetItemEvent(root->Items(i), measure, draw);
}

void TsuiMenuLook::MeasureItem(TObject* sender, TCanvas* canvas, int& width, int& height) const {
  auto* item = dynamic_cast<TMenuItem*>(sender);
  if (!item) return;
  height = item->IsLine() ? separator_height_ : item_height_;
  width = canvas->TextWidth(item->Caption()) + canvas->TextWidth(ShortCutToText(item->ShortCut())) + BarWidth + 40;
}

void TsuiMenuLook::DrawItem(TObject* sender, TCanvas* canvas, TRect r, bool selected, TCustomImageList* userImages,
                            TCustomImageList* checkMark) const {
  auto* item = dynamic_cast<TMenuItem*>(sender);
  if (!item) return;
  const bool macos = ui_style_ == TsuiUIStyle::MacOS;
  if (FlatMenu)
    if (HWND w = WindowFromDC(canvas->Handle())) Menu_DrawWindowBorder(w, BorderColor, GetThemeColor(ui_style_, 3));
  auto unselected = [&] {
    if (macos) {
      Menu_DrawMacOSNonSelectedItem(canvas, r);
      return;
    }
    if (BarWidth > 0) Menu_DrawBackGround(canvas, TRect(r.Left, r.Top, r.Left + BarWidth, r.Bottom), BarColor);
    Menu_DrawBackGround(canvas, TRect(r.Left + BarWidth, r.Top, r.Right, r.Bottom), Color);
  };
  if (item->IsLine()) {
    if (macos) {
      Menu_DrawMacOSLineItem(canvas, r);
    } else {
      unselected();
      Menu_DrawLineItem(canvas, r, SeparatorColor, BarWidth);
    }
    return;
  }
  if (selected && item->Enabled()) {
    if (macos) {
      Menu_DrawMacOSSelectedItem(canvas, r);
    } else {
      Menu_DrawBackGround(canvas, r, SelectedColor);
      Menu_DrawBorder(canvas, r, SelectedBorderColor);
    }
  } else {
    unselected();
  }

  ApplyFont(canvas->Font());
  canvas->Brush()->SetStyle(bsClear);
  canvas->Font()->SetColor(!item->Enabled() ? static_cast<TColor>(0x808080) : selected ? SelectedFontColor : FontColor);
  TFontStyles style = canvas->Font()->Style();
  if (item->Default()) style.Include(fsBold);
  canvas->Font()->SetStyle(style);
  RECT tr{r.Left + BarWidth + 4, r.Top + 4, r.Right, r.Bottom};
  DrawTextA(canvas->Handle(), item->Caption().c_str(), -1, &tr, DT_SINGLELINE | DT_LEFT | DT_TOP);
  std::string shortcut = ShortCutToText(item->ShortCut());
  if (!shortcut.empty()) canvas->TextOut(r.Right - canvas->TextWidth(shortcut) - 16, r.Top + 4, shortcut);

  const int index = item->ImageIndex();
  const bool hasImage = userImages && index != -1 && index >= 0 && index < userImages->Count();
  if (item->Checked()) {
    if (hasImage) {
      Menu_DrawBorder(canvas, TRect(r.Left + 2, r.Top + 1, r.Left + 21, r.Top + 20), clBlack);
      Menu_DrawBackGround(canvas, TRect(r.Left + 3, r.Top + 2, r.Left + 20, r.Top + 19), SelectedColor);
    } else if (checkMark) {
      checkMark->Draw(canvas, r.Left + 4, r.Top + 3, 0, item->Enabled());
    }
  }
  if (hasImage) userImages->Draw(canvas, r.Left + 4, r.Top + 3, index, item->Enabled());
}
