// Bit buttons, speed buttons and the glyph strips they draw.
#include <vcl/buttons.h>

#include <algorithm>

#include "../stdctrls/ctlpaint.h"

TButtonGlyph::TButtonGlyph() : glyph_(std::make_unique<TBitmap>()) {}
TButtonGlyph::~TButtonGlyph() = default;

void TButtonGlyph::SetGlyph(TBitmap* v) {
  if (v) glyph_->Assign(v);
  else glyph_ = std::make_unique<TBitmap>();
  // A strip of square frames tells how many it holds.
  if (!glyph_->Empty() && glyph_->Height() > 0 && glyph_->Width() % glyph_->Height() == 0) {
    int n = glyph_->Width() / glyph_->Height();
    if (n >= 1 && n <= 4) num_ = n;
  }
  Rebuild();
}

void TButtonGlyph::SetNumGlyphs(int v) {
  num_ = std::clamp(v, 1, 4);
  Rebuild();
}

bool TButtonGlyph::Empty() const { return glyph_->Empty(); }
int TButtonGlyph::Width() const { return Empty() ? 0 : glyph_->Width() / num_; }
int TButtonGlyph::Height() const { return Empty() ? 0 : glyph_->Height(); }

void TButtonGlyph::Rebuild() {
  list_.reset();
  if (Empty() || Width() <= 0) return;
  list_ = std::make_unique<TImageList>(nullptr);
  list_->SetWidth(Width());
  list_->SetHeight(Height());
  list_->AddMasked(glyph_.get(), glyph_->TransparentColor());
}

void TButtonGlyph::Draw(TCanvas* c, int x, int y, int frame, bool enabled) {
  if (!list_) return;
  if (frame >= list_->Count()) {
    list_->Draw(c, x, y, 0, enabled || frame != 1);
    return;
  }
  list_->Draw(c, x, y, frame, true);
}

void TButtonGlyph::Layout(const TRect& r, int gw, int gh, int tw, int th, TButtonLayout layout, int margin,
                          int spacing, TPoint& glyphPos, TRect& textRect) {
  bool horizontal = layout == blGlyphLeft || layout == blGlyphRight;
  if (gw == 0 || gh == 0) spacing = 0;
  if (tw == 0) spacing = 0;
  int total = horizontal ? gw + spacing + tw : gh + spacing + th;
  int avail = horizontal ? r.Width() : r.Height();
  int start = margin < 0 ? (avail - total) / 2 : margin;
  int gx, gy, tx, ty;
  if (horizontal) {
    gy = r.Top + (r.Height() - gh) / 2;
    ty = r.Top + (r.Height() - th) / 2;
    if (layout == blGlyphLeft) {
      gx = r.Left + start;
      tx = gx + gw + spacing;
    } else {
      gx = r.Right - start - gw;
      tx = gx - spacing - tw;
    }
  } else {
    gx = r.Left + (r.Width() - gw) / 2;
    tx = r.Left + (r.Width() - tw) / 2;
    if (layout == blGlyphTop) {
      gy = r.Top + start;
      ty = gy + gh + spacing;
    } else {
      gy = r.Bottom - start - gh;
      ty = gy - spacing - th;
    }
  }
  glyphPos = TPoint(gx, gy);
  textRect = TRect(tx, ty, tx + tw, ty + th);
}

namespace {

// Text size of a caption in the canvas's font (0 by 0 when empty).
void Measure(TCanvas* c, const std::string& s, int& w, int& h) {
  w = h = 0;
  if (s.empty()) return;
  RECT r{0, 0, 0, 0};
  DrawTextA(c->Handle(), s.c_str(), -1, &r, DT_CALCRECT | DT_SINGLELINE);
  w = r.right - r.left;
  h = r.bottom - r.top;
}

// The stock pictures of the bit button kinds, drawn at 16 by 16 with magenta as the
// transparent colour.
void StockGlyph(TBitmap* b, TBitBtnKind kind) {
  b->SetSize(16, 16);
  TCanvas* c = b->Canvas();
  c->Brush()->SetStyle(bsSolid);
  c->Brush()->SetColor(clFuchsia);
  c->FillRect(TRect(0, 0, 16, 16));
  c->Pen()->SetWidth(1);
  auto stroke = [&](TColor col, std::initializer_list<TPoint> pts, int thick) {
    c->Pen()->SetColor(col);
    for (int d = 0; d < thick; ++d) {
      auto it = pts.begin();
      c->MoveTo(it->X, it->Y + d);
      for (++it; it != pts.end(); ++it) c->LineTo(it->X, it->Y + d);
    }
  };
  switch (kind) {
    case bkOK:
    case bkYes:
    case bkAll: stroke(clGreen, {TPoint(2, 8), TPoint(6, 12), TPoint(14, 3)}, 3); break;
    case bkCancel:
    case bkNo:
    case bkAbort:
      stroke(clRed, {TPoint(3, 3), TPoint(13, 13)}, 2);
      stroke(clRed, {TPoint(13, 3), TPoint(3, 13)}, 2);
      break;
    case bkClose: stroke(clNavy, {TPoint(4, 2), TPoint(4, 14), TPoint(12, 14), TPoint(12, 2), TPoint(4, 2)}, 1); break;
    case bkRetry: stroke(clGreen, {TPoint(12, 4), TPoint(4, 4), TPoint(4, 12), TPoint(12, 12)}, 2); break;
    case bkIgnore: stroke(clNavy, {TPoint(3, 8), TPoint(13, 8)}, 2); break;
    case bkHelp:
      stroke(clNavy, {TPoint(5, 4), TPoint(8, 2), TPoint(11, 4), TPoint(8, 8), TPoint(8, 11)}, 1);
      stroke(clNavy, {TPoint(8, 13), TPoint(8, 15)}, 1);
      break;
    default: break;
  }
  b->SetTransparentColor(clFuchsia);
}

}  // namespace

// ---------------------------------------------------------------------------
TBitBtn::TBitBtn(TComponent* owner) : TButton(owner) {}
TBitBtn::~TBitBtn() = default;

void TBitBtn::SetKind(TBitBtnKind v) {
  if (v == kind_) return;
  kind_ = v;
  if (v == bkCustom) return;
  static const char* kCaption[] = {"", "OK", "Cancel", "&Help", "&Yes", "&No", "&Close", "Abort", "&Retry", "&Ignore", "&All"};
  static const TModalResult kResult[] = {mrNone, mrOk, mrCancel, mrNone, mrYes, mrNo, mrNone, mrAbort, mrRetry, mrIgnore, mrAll};
  SetCaption(kCaption[v]);
  SetModalResult(kResult[v]);
  SetDefault(v == bkOK || v == bkYes);
  SetCancel(v == bkCancel || v == bkNo);
  TBitmap stock;
  StockGlyph(&stock, v);
  glyph_.SetGlyph(&stock);
  glyph_.SetNumGlyphs(1);
  Invalidate();
}

void TBitBtn::SetGlyph(TBitmap* v) {
  glyph_.SetGlyph(v);
  Invalidate();
}

void TBitBtn::SetNumGlyphs(TNumGlyphs v) {
  glyph_.SetNumGlyphs(v);
  Invalidate();
}

void TBitBtn::SetLayout(TButtonLayout v) {
  layout_ = v;
  Invalidate();
}

void TBitBtn::SetMargin(int v) {
  margin_ = std::max(-1, v);
  Invalidate();
}

void TBitBtn::SetSpacing(int v) {
  spacing_ = v;
  Invalidate();
}

void TBitBtn::Click() {
  if (kind_ == bkClose) {
    if (TCustomForm* f = GetParentForm(this)) {
      f->Close();
      return;
    }
  }
  TButton::Click();
}

void TBitBtn::PaintFace(TCanvas* c, TRect r, bool down) {
  c->SetFont(Font());
  int tw, th;
  Measure(c, Caption(), tw, th);
  TPoint gp;
  TRect tr;
  r.Inflate(-1, -1);
  TButtonGlyph::Layout(r, glyph_.Width(), glyph_.Height(), tw, th, layout_, margin_, spacing_, gp, tr);
  if (down) {
    gp.X += 1;
    gp.Y += 1;
    tr.Offset(1, 1);
  }
  glyph_.Draw(c, gp.X, gp.Y, Enabled() ? (down ? 2 : 0) : 1, Enabled());
  tr.Right += 1;
  ctl::Caption(c, tr, Caption(), DT_SINGLELINE | DT_LEFT, Enabled(), Font()->Color());
}

// ---------------------------------------------------------------------------
TSpeedButton::TSpeedButton(TComponent* owner) : TGraphicControl(owner) {
  SetBounds(Left(), Top(), 23, 22);
  SetControlStyle((ControlStyle() | csCaptureMouse) & ~csDoubleClicks);
}

TSpeedButton::~TSpeedButton() = default;

void TSpeedButton::SetGroupIndex(int v) {
  group_index_ = v;
  if (v == 0 && down_) SetDown(false);
}

void TSpeedButton::SetAllowAllUp(bool v) { allow_all_up_ = v; }

void TSpeedButton::SetDown(bool v) {
  if (group_index_ == 0) v = false;
  if (v == down_) return;
  // In a group without AllowAllUp the down button goes up only when another goes down.
  if (down_ && !allow_all_up_) return;
  down_ = v;
  if (v) ReleaseOthers();
  Invalidate();
}

void TSpeedButton::ReleaseOthers() {
  if (!Parent() || group_index_ == 0) return;
  for (int i = 0; i < Parent()->ControlCount(); ++i) {
    auto* b = dynamic_cast<TSpeedButton*>(Parent()->Controls(i));
    if (b && b != this && b->group_index_ == group_index_ && b->down_) {
      b->down_ = false;
      b->Invalidate();
    }
  }
}

void TSpeedButton::SetFlat(bool v) {
  flat_ = v;
  Invalidate();
}

void TSpeedButton::SetTransparent(bool v) {
  transparent_ = v;
  Invalidate();
}

void TSpeedButton::SetGlyph(TBitmap* v) {
  glyph_.SetGlyph(v);
  Invalidate();
}

void TSpeedButton::SetNumGlyphs(TNumGlyphs v) {
  glyph_.SetNumGlyphs(v);
  Invalidate();
}

void TSpeedButton::SetLayout(TButtonLayout v) {
  layout_ = v;
  Invalidate();
}

void TSpeedButton::SetMargin(int v) {
  margin_ = std::max(-1, v);
  Invalidate();
}

void TSpeedButton::SetSpacing(int v) {
  spacing_ = v;
  Invalidate();
}

void TSpeedButton::Click() { TGraphicControl::Click(); }

void TSpeedButton::Paint() {
  TCanvas* c = Canvas();
  TRect r = ClientRect();
  bool shownDown = pressed_ || down_;
  if (!flat_ || !transparent_) ctl::Fill(c, r, down_ && !pressed_ ? cl3DLight : clBtnFace);
  TRect f = r;
  if (flat_) {
    // Flat buttons show a thin frame only while hot or down.
    if (shownDown) Frame3D(c, f, clBtnShadow, clBtnHighlight, 1);
    else if (hot_ && Enabled()) Frame3D(c, f, clBtnHighlight, clBtnShadow, 1);
  } else if (shownDown) {
    ctl::PressedEdge(c, f);
  } else {
    ctl::RaisedEdge(c, f);
  }
  c->SetFont(Font());
  int tw, th;
  Measure(c, Caption(), tw, th);
  TPoint gp;
  TRect tr;
  TButtonGlyph::Layout(r, glyph_.Width(), glyph_.Height(), tw, th, layout_, margin_, spacing_, gp, tr);
  if (shownDown) {
    gp.X += 1;
    gp.Y += 1;
    tr.Offset(1, 1);
  }
  int frame = !Enabled() ? 1 : pressed_ ? 2 : down_ ? 3 : 0;
  glyph_.Draw(c, gp.X, gp.Y, frame, Enabled());
  tr.Right += 1;
  ctl::Caption(c, tr, Caption(), DT_SINGLELINE | DT_LEFT, Enabled(), Font()->Color());
}

void TSpeedButton::MouseDown(TMouseButton button, TShiftState shift, int x, int y) {
  TGraphicControl::MouseDown(button, shift, x, y);
  if (button != mbLeft || !Enabled()) return;
  pressed_ = dragging_ = true;
  Invalidate();
}

void TSpeedButton::MouseMove(TShiftState shift, int x, int y) {
  TGraphicControl::MouseMove(shift, x, y);
  if (!dragging_) return;
  bool in = ClientRect().Contains(x, y);
  if (in != pressed_) {
    pressed_ = in;
    Invalidate();
  }
}

void TSpeedButton::MouseUp(TMouseButton button, TShiftState shift, int x, int y) {
  if (button == mbLeft && dragging_) {
    dragging_ = false;
    bool in = ClientRect().Contains(x, y);
    pressed_ = false;
    if (in && group_index_ != 0) {
      // A grouped button stays down; with AllowAllUp a second click lifts it.
      if (down_ && allow_all_up_) SetDown(false);
      else SetDown(true);
    }
    Invalidate();
  }
  // The click itself comes from the class library's click rule.
  TGraphicControl::MouseUp(button, shift, x, y);
}

void TSpeedButton::CMMouseEnter(TMessage& m) {
  TGraphicControl::CMMouseEnter(m);
  hot_ = true;
  if (flat_) Invalidate();
}

void TSpeedButton::CMMouseLeave(TMessage& m) {
  TGraphicControl::CMMouseLeave(m);
  hot_ = false;
  if (flat_) Invalidate();
}

void TSpeedButton::CMEnabledChanged(TMessage& m) {
  TGraphicControl::CMEnabledChanged(m);
  pressed_ = dragging_ = false;
  Invalidate();
}

void TSpeedButton::CMDialogChar(TMessage& m) {
  if (IsAccel(m.CharCode(), Caption()) && Enabled() && Visible() && Parent() && Parent()->Showing()) {
    if (group_index_ != 0) SetDown(!down_ || !allow_all_up_);
    Click();
    m.Result = 1;
    return;
  }
  TGraphicControl::CMDialogChar(m);
}

void TSpeedButton::CMTextChanged(TMessage& m) {
  TGraphicControl::CMTextChanged(m);
  Invalidate();
}
