// Buttons with pictures: the bit button (a push button with a glyph and stock
// kinds) and the speed button (a windowless tool button that can stay down).
#pragma once

#include <memory>

#include <vcl/export.h>
#include <vcl/imglist.h>
#include <vcl/stdctrls.h>

enum TButtonLayout { blGlyphLeft, blGlyphRight, blGlyphTop, blGlyphBottom };
enum TBitBtnKind { bkCustom, bkOK, bkCancel, bkHelp, bkYes, bkNo, bkClose, bkAbort, bkRetry, bkIgnore, bkAll };
using TNumGlyphs = int;

// A glyph strip of NumGlyphs frames (up, disabled, down, stays down), drawn masked
// with the bitmap's transparent colour.
class QVCL_API TButtonGlyph {
 public:
  TButtonGlyph();
  ~TButtonGlyph();
  TBitmap* Glyph() const { return glyph_.get(); }
  void SetGlyph(TBitmap* v);
  int NumGlyphs() const { return num_; }
  void SetNumGlyphs(int v);
  bool Empty() const;
  int Width() const;
  int Height() const;
  // Frame 0 up, 1 disabled, 2 down, 3 exclusive; a missing frame falls back to the
  // first one (greyed when disabled).
  void Draw(TCanvas* c, int x, int y, int frame, bool enabled);
  // Places glyph and caption in r as the buttons do (margin -1: centred together).
  static void Layout(const TRect& r, int gw, int gh, int tw, int th, TButtonLayout layout, int margin, int spacing,
                     TPoint& glyphPos, TRect& textRect);

 private:
  void Rebuild();
  std::unique_ptr<TBitmap> glyph_;
  std::unique_ptr<TImageList> list_;
  int num_ = 1;
};

class QVCL_API TBitBtn : public TButton {
 public:
  explicit TBitBtn(TComponent* owner);
  ~TBitBtn() override;
  std::string ClassName() const override { return "TBitBtn"; }
  // A stock kind sets the caption, modal result, Default/Cancel and the glyph.
  TBitBtnKind Kind() const { return kind_; }
  void SetKind(TBitBtnKind v);
  TBitmap* Glyph() const { return glyph_.Glyph(); }
  void SetGlyph(TBitmap* v);
  TNumGlyphs NumGlyphs() const { return glyph_.NumGlyphs(); }
  void SetNumGlyphs(TNumGlyphs v);
  TButtonLayout Layout() const { return layout_; }
  void SetLayout(TButtonLayout v);
  int Margin() const { return margin_; }
  void SetMargin(int v);
  int Spacing() const { return spacing_; }
  void SetSpacing(int v);
  // bkClose closes the form; the others behave as a push button.
  void Click() override;

 protected:
  void PaintFace(TCanvas* c, TRect r, bool down) override;

 private:
  TButtonGlyph glyph_;
  TBitBtnKind kind_ = bkCustom;
  TButtonLayout layout_ = blGlyphLeft;
  int margin_ = -1;
  int spacing_ = 4;
};

class QVCL_API TSpeedButton : public TGraphicControl {
 public:
  explicit TSpeedButton(TComponent* owner);
  ~TSpeedButton() override;
  std::string ClassName() const override { return "TSpeedButton"; }
  // Buttons of one parent with the same GroupIndex (not 0) are exclusive: one is
  // down at a time; with AllowAllUp a down button can be released too.
  int GroupIndex() const { return group_index_; }
  void SetGroupIndex(int v);
  bool AllowAllUp() const { return allow_all_up_; }
  void SetAllowAllUp(bool v);
  bool Down() const { return down_; }
  void SetDown(bool v);
  bool Flat() const { return flat_; }
  void SetFlat(bool v);
  bool Transparent() const { return transparent_; }
  void SetTransparent(bool v);
  TBitmap* Glyph() const { return glyph_.Glyph(); }
  void SetGlyph(TBitmap* v);
  TNumGlyphs NumGlyphs() const { return glyph_.NumGlyphs(); }
  void SetNumGlyphs(TNumGlyphs v);
  TButtonLayout Layout() const { return layout_; }
  void SetLayout(TButtonLayout v);
  int Margin() const { return margin_; }
  void SetMargin(int v);
  int Spacing() const { return spacing_; }
  void SetSpacing(int v);
  void Click() override;

 protected:
  void Paint() override;
  void MouseDown(TMouseButton button, TShiftState shift, int x, int y) override;
  void MouseMove(TShiftState shift, int x, int y) override;
  void MouseUp(TMouseButton button, TShiftState shift, int x, int y) override;
  void CMMouseEnter(TMessage& m) override;
  void CMMouseLeave(TMessage& m) override;
  void CMEnabledChanged(TMessage& m) override;
  void CMDialogChar(TMessage& m) override;
  void CMTextChanged(TMessage& m) override;

 private:
  void ReleaseOthers();
  TButtonGlyph glyph_;
  int group_index_ = 0;
  bool allow_all_up_ = false;
  bool down_ = false;
  bool flat_ = false;
  bool transparent_ = true;
  bool pressed_ = false;   // shown down while the mouse holds it
  bool dragging_ = false;
  bool hot_ = false;
  TButtonLayout layout_ = blGlyphLeft;
  int margin_ = -1;
  int spacing_ = 4;
};
