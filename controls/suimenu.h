// Owner-drawn menus in the themed styles: the drawing routines both themed menus
// use, and the look they share (side bar, background, selection box, caption,
// shortcut text, check mark and image, and the MacOS style's bitmap items).
#pragma once

#include <functional>
#include <string>

#include <vcl/graphics.h>
#include <vcl/imglist.h>
#include <vcl/menus.h>

#include "suithemes.h"

// Sets the item's measure and draw events and those of all its sub-items.
void Menu_SetItemEvent(TMenuItem* item, const TMenuMeasureItemEvent& measure, const TMenuDrawItemEvent& draw);
void Menu_DrawBorder(TCanvas* canvas, const TRect& rect, TColor color);
void Menu_DrawBackGround(TCanvas* canvas, const TRect& rect, TColor color);
void Menu_DrawLineItem(TCanvas* canvas, const TRect& rect, TColor color, int barWidth);
void Menu_DrawMacOSLineItem(TCanvas* canvas, const TRect& rect);
void Menu_DrawMacOSSelectedItem(TCanvas* canvas, const TRect& rect);
void Menu_DrawMacOSNonSelectedItem(TCanvas* canvas, const TRect& rect);
// A flat frame round the menu window, drawn on the window itself.
void Menu_DrawWindowBorder(HWND window, TColor borderColor, TColor lineColor);
// The system's menu font in the menu text colour; the font stays as it was when
// the system does not answer.
void Menu_GetSystemFont(TFont* font);

// The settings and drawing both themed menus share.
class TsuiMenuLook {
 public:
  TsuiUIStyle UIStyle() const { return ui_style_; }
  void SetUIStyle(TsuiUIStyle v);
  int MenuItemHeight() const { return item_height_; }
  void SetMenuItemHeight(int v);  // ignored under MacOS
  int SeparatorHeight() const { return separator_height_; }
  void SetSeparatorHeight(int v);  // ignored under MacOS
  // Always owner-drawn.
  bool OwnerDraw() const { return true; }
  void SetOwnerDraw(bool) {}

  int BarWidth = 0;
  TColor BarColor = clBtnFace;
  TColor Color = static_cast<TColor>(0xFFFFFF);
  TColor SeparatorColor = static_cast<TColor>(0x808080);
  TColor SelectedBorderColor = clHighlight;
  TColor SelectedColor = clHighlight;
  TColor SelectedFontColor = static_cast<TColor>(0xFFFFFF);
  // The menu text colour of the class library, so that the Custom style does not
  // draw white text on its white background.
  TColor FontColor = clMenuText;
  TColor BorderColor = clBlack;
  bool FlatMenu = false;
  std::string FontName = "MS Sans Serif";
  int FontSize = 8;
  TFontCharset FontCharset = DEFAULT_CHARSET;
  bool UseSystemFont = true;

  // The menu's font settings onto a font.
  void ApplyFont(TFont* font) const;
  void MeasureItem(TObject* sender, TCanvas* canvas, int& width, int& height) const;
  // userImages: the images the user gave the menu (may be null); checkMark: the
  // list holding the check-mark picture (may be null).
  void DrawItem(TObject* sender, TCanvas* canvas, TRect rect, bool selected, TCustomImageList* userImages,
                TCustomImageList* checkMark) const;

 protected:
  TsuiMenuLook() = default;
  ~TsuiMenuLook() = default;
  // Binds every item under the root, at every depth, to this look's measuring and
  // drawing, with the lists as they are when each item is drawn.
  void BindItemsOf(TMenuItem* root, std::function<TCustomImageList*()> userImages,
                   std::function<TCustomImageList*()> checkMark);

 private:
  TsuiUIStyle ui_style_ = TsuiUIStyle::DeepBlue;
  int item_height_ = 21;
  int separator_height_ = 21;
};

// An image list holding the "MENU_CHECKED" picture, white as its mask colour.
TCustomImageList* NewCheckMarkList(TComponent* owner);
