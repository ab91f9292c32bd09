#include "suitabcontrol.h"

#include <algorithm>

#include <vcl/resources.h>

#include "suipublic.h"
#include "suisetter.h"

namespace {

[[maybe_unused]] const bool kApplyRow = [] {
  RegisterContainerApplier(TsuiApplyRow::TabControl, &ApplyStyleTo<TsuiTabControl>);
  return true;
}();

constexpr TColor kMagenta = static_cast<TColor>(0xFF00FF);

// A named picture, or null when the name is empty or names no picture.
std::unique_ptr<TBitmap> LoadTabPicture(const std::string& name) {
  if (name.empty()) return nullptr;
  try {
    std::unique_ptr<TBitmap> b = LoadBitmapResource(name);
    if (!b || b->Empty()) return nullptr;
    b->SetTransparentColor(kMagenta);
    b->SetTransparent(true);
    return b;
  } catch (const std::exception&) {
    return nullptr;
  }
}

int TabTextWidth(TCanvas* c, const std::string& text) {
  int w = text.empty() ? 80 : c->TextWidth(text) + 20;
  return std::max(w, 15);
}

}  // namespace

TsuiTabControlTopPanel::TsuiTabControlTopPanel(TComponent* owner, TsuiTabControl* tabControl)
    : TCustomPanel(owner), tab_control_(tabControl), tabs_(std::make_unique<TStringList>()) {
  tabs_->Add("Tab1");
  tabs_->OnChange = [this](TObject*) { OnTabsChange(); };
  SetAlign(alTop);
  SetBevelInner(bvNone);
  SetBevelOuter(bvNone);
  SetBorderWidth(0);
  SetText(" ");
}

TsuiTabControlTopPanel::~TsuiTabControlTopPanel() { tabs_->OnChange = nullptr; }

void TsuiTabControlTopPanel::SetLeftMargin(int v) { StoreAndRepaint(this, left_margin_, v); }

void TsuiTabControlTopPanel::OnTabsChange() {
  widths_.fill(0);
  Repaint();
}

void TsuiTabControlTopPanel::SetUIStyle(TsuiUIStyle style) {
  ui_style_ = style;
  active_name_ = GetThemeString(style, 69);
  inactive_name_ = GetThemeString(style, 70);
  line_name_ = GetThemeString(style, 71);
  // Custom has no row height: the strip keeps the one it has.
  if (int h = GetThemeInt(style, 72); h > 0) SetHeight(h);
  Repaint();
}

void TsuiTabControlTopPanel::SetTabIndex(int i) {
  if (tabs_->Count() == 0) {
    tab_index_ = -1;
    Repaint();
    return;
  }
  if (i >= -1 && i <= tabs_->Count() - 1) {
    tab_index_ = i;
    Repaint();
    if (OnTabActive) OnTabActive(tab_control_, tab_index_);
    return;
  }
  Repaint();
}

void TsuiTabControlTopPanel::RebuildWidths(TCanvas* c) {
  widths_.fill(0);
  c->Font()->Assign(tab_control_->TabFont());
  for (int i = 0; i < std::min(tabs_->Count(), kMaxTabWidths - 1); ++i) widths_[i] = TabTextWidth(c, tabs_->Get(i));
}

void TsuiTabControlTopPanel::PaintPlain(TCanvas* c) {
  const int h = Height();
  int x = left_margin_;
  c->Pen()->SetColor(tab_control_->BorderColor());
  c->MoveTo(0, h - 1);
  c->LineTo(Width(), h - 1);
  for (int i = 0; i < tabs_->Count() && x < Width(); ++i) {
    const int w = TabTextWidth(c, tabs_->Get(i));
    TRect r(x, i == tab_index_ ? 0 : 2, x + w, h - (i == tab_index_ ? 0 : 1));
    c->Brush()->SetStyle(bsSolid);
    c->Brush()->SetColor(i == tab_index_ ? tab_control_->Color() : Color());
    c->FillRect(r);
    c->Brush()->SetColor(tab_control_->BorderColor());
    c->FrameRect(r);
    c->Brush()->SetStyle(bsClear);
    c->TextOut(x + (w - c->TextWidth(tabs_->Get(i))) / 2, r.Top + (r.Height() - c->TextHeight("Wg")) / 2, tabs_->Get(i));
    x += w;
  }
}

void TsuiTabControlTopPanel::Paint() {
  TBitmap buffer(std::max(0, Width()), std::max(0, Height()));
  TCanvas* c = buffer.Canvas();
  DoTrans(c, tab_control_);
  RebuildWidths(c);
  std::unique_ptr<TBitmap> active = LoadTabPicture(active_name_);
  std::unique_ptr<TBitmap> inactive = LoadTabPicture(inactive_name_);
  std::unique_ptr<TBitmap> line = LoadTabPicture(line_name_);
  if (!active || !inactive || !line) {
    active_height_ = Height();
    PaintPlain(c);
  } else {
    line->SetTransparent(false);
    active_height_ = active->Height();
    const int hi = inactive->Height(), hl = line->Height();
    c->StretchDraw(TRect(1, hi, Width() - 1, hi + hl), line.get());
    c->Pen()->SetColor(tab_control_->BorderColor());
    for (int x : {0, Width() - 1}) {
      c->MoveTo(x, hi);
      c->LineTo(x, hi + hl);
    }
    int x = left_margin_;
    for (int i = 0; i < tabs_->Count() && x < Width(); ++i) {
      const std::string text = tabs_->Get(i);
      const int w = TabTextWidth(c, text);
      TRect r = i == tab_index_ ? TRect(x, 1, x + w, hi + 1) : TRect(x, 0, x + w, hi);
      SpitDrawHorizontal(i == tab_index_ ? active.get() : inactive.get(), c, r, true);
      c->Brush()->SetStyle(bsClear);
      c->TextOut(x + (w - c->TextWidth(text)) / 2, r.Top + (r.Height() - c->TextHeight(text)) / 2, text);
      x += w;
    }
  }
  Canvas()->CopyRect(TRect(0, 0, buffer.Width(), buffer.Height()), c, TRect(0, 0, buffer.Width(), buffer.Height()));
}

void TsuiTabControlTopPanel::MouseDown(TMouseButton button, TShiftState shift, int x, int y) {
  Repaint();
  TCustomPanel::MouseDown(button, shift, x, y);
  int left = left_margin_;
  for (int i = 0; i < kMaxTabWidths && widths_[i] != 0; ++i) {
    const int w = widths_[i];
    if (left < x && x < left + w && 0 < y && y < active_height_) {
      SetTabIndex(i);
      return;
    }
    left += w;
  }
}

TsuiTabControl::TsuiTabControl(TComponent* owner) : TCustomPanel(owner), font_(std::make_unique<TFont>()) {
  top_ = new TsuiTabControlTopPanel(this, this);
  top_->SetParent(this);
  font_->OnChange = [this](TObject*) { top_->Repaint(); };
  SetHeight(80);
  SetBevelInner(bvNone);
  SetBevelOuter(bvNone);
  SetBorderWidth(0);
  SetText(" ");
  SetUIStyle(GetSUIFormStyle(owner));
}

TsuiTabControl::~TsuiTabControl() { font_->OnChange = nullptr; }

void TsuiTabControl::SetUIStyle(TsuiUIStyle style) {
  if (style == TsuiUIStyle::Custom) return;
  ui_style_ = style;
  top_->SetColor(GetThemeColor(style, 8));
  SetBorderColor(GetThemeColor(style, 7));
  top_->SetUIStyle(style);
  SetColor(style == TsuiUIStyle::WinXP ? static_cast<TColor>(0xFFFFFF) : GetThemeColor(style, 8));
  Repaint();
}

void TsuiTabControl::SetBorderColor(TColor v) {
  border_color_ = v;
  Repaint();
  top_->Repaint();
}

void TsuiTabControl::SetTabFont(TFont* v) {
  font_->Assign(v);
  top_->Repaint();
}

void TsuiTabControl::Paint() {
  TCanvas* c = Canvas();
  const int th = top_->Height();
  TRect r = ClientRect();
  c->Brush()->SetStyle(bsSolid);
  c->Brush()->SetColor(Color());
  c->FillRect(TRect(r.Left, th, r.Right, r.Bottom));
  c->Pen()->SetColor(border_color_);
  c->MoveTo(0, th);
  c->LineTo(0, Height() - 1);
  c->LineTo(Width() - 1, Height() - 1);
  c->LineTo(Width() - 1, th - 1);
}
