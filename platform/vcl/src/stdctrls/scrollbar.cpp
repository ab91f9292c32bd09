// The scroll bar: arrows, page areas and a thumb that can be dragged.
#include <algorithm>

#include <vcl/stdctrls.h>

#include "ctlpaint.h"

namespace {
constexpr UINT_PTR kRepeatTimer = 1;
constexpr UINT kRepeatDelay = 300, kRepeatRate = 60;
}  // namespace

TScrollBar::TScrollBar(TComponent* owner) : TCustomControl(owner) {
  SetControlStyle((ControlStyle() | csOpaque) & ~(csDoubleClicks | csClickEvents | csSetCaption));
  SetBounds(Left(), Top(), 121, 16);
  SetTabStop(true);
}

TScrollBar::~TScrollBar() {
  if (timer_window_) DeallocateHWnd(timer_window_);
}

void TScrollBar::SetKind(TScrollBarKind v) {
  if (v == kind_) return;
  kind_ = v;
  SetBounds(Left(), Top(), Height(), Width());
  Invalidate();
}

void TScrollBar::SetPageSize(int v) {
  page_size_ = std::max(0, v);
  SetParams(position_, min_, max_);
  Invalidate();
}

void TScrollBar::SetParams(int position, int min, int max) {
  if (max < min) throw EInvalidOperation("Scroll bar property out of range");
  int top = page_size_ > 0 ? std::max(min, max - page_size_ + 1) : max;
  position = std::clamp(position, min, top);
  bool changed = position != position_;
  if (min != min_ || max != max_ || changed) Invalidate();
  min_ = min;
  max_ = max;
  position_ = position;
  if (changed) Change();
}

void TScrollBar::Change() {
  if (OnChange) OnChange(this);
}

void TScrollBar::Scroll(TScrollCode code, int& pos) {
  if (OnScroll) OnScroll(this, code, pos);
}

void TScrollBar::DoScroll(TScrollCode code, int pos) {
  Scroll(code, pos);
  SetPosition(pos);
}

TScrollBar::Geometry TScrollBar::Geo() const {
  Geometry g{};
  bool v = kind_ == sbVertical;
  int thick = v ? Width() : Height();
  g.length = v ? Height() : Width();
  g.arrow = std::min(thick, g.length / 2);
  g.track_start = g.arrow;
  g.track_len = std::max(0, g.length - 2 * g.arrow);
  int range = max_ - min_;
  g.thumb_len = page_size_ > 0 ? g.track_len * page_size_ / std::max(1, range + 1) : thick;
  g.thumb_len = std::clamp(g.thumb_len, std::min(8, g.track_len), g.track_len);
  int top = page_size_ > 0 ? std::max(min_, max_ - page_size_ + 1) : max_;
  int span = std::max(1, top - min_);
  g.thumb_pos = g.track_start + (g.track_len - g.thumb_len) * (position_ - min_) / span;
  return g;
}

TScrollBar::Part TScrollBar::PartAt(int x, int y) const {
  Geometry g = Geo();
  int p = kind_ == sbVertical ? y : x;
  if (p < 0 || p >= g.length) return None;
  if (p < g.arrow) return ArrowLow;
  if (p >= g.length - g.arrow) return ArrowHigh;
  if (!Enabled() || max_ == min_) return None;
  if (p < g.thumb_pos) return PageLow;
  if (p >= g.thumb_pos + g.thumb_len) return PageHigh;
  return Thumb;
}

void TScrollBar::Paint() {
  TCanvas* c = Canvas();
  Geometry g = Geo();
  bool v = kind_ == sbVertical;
  auto box = [&](int from, int len) {
    return v ? TRect(0, from, Width(), from + len) : TRect(from, 0, from + len, Height());
  };
  ctl::Fill(c, box(g.track_start, g.track_len), clScrollBar);
  if (pressed_ == PageLow) ctl::Fill(c, box(g.track_start, g.thumb_pos - g.track_start), cl3DDkShadow);
  if (pressed_ == PageHigh)
    ctl::Fill(c, box(g.thumb_pos + g.thumb_len, g.track_start + g.track_len - g.thumb_pos - g.thumb_len),
              cl3DDkShadow);
  bool active = Enabled() && max_ > min_;
  for (int i = 0; i < 2; ++i) {
    TRect r = box(i == 0 ? 0 : g.length - g.arrow, g.arrow);
    TRect inner = r;
    if (pressed_ == (i == 0 ? ArrowLow : ArrowHigh)) {
      Frame3D(c, inner, clBtnShadow, clBtnShadow, 1);
      inner.Offset(1, 1);
    } else {
      ctl::RaisedEdge(c, inner);
    }
    ctl::Fill(c, TRect(inner.Left, inner.Top, std::max(inner.Left, inner.Right), std::max(inner.Top, inner.Bottom)),
              clBtnFace);
    ctl::Arrow(c, r, v ? (i == 0 ? 1 : 0) : (i == 0 ? 2 : 3), active ? clBtnText : clGrayText);
  }
  if (active && g.track_len > 0) {
    TRect t = box(g.thumb_pos, g.thumb_len);
    ctl::RaisedEdge(c, t);
    ctl::Fill(c, t, clBtnFace);
  }
}

void TScrollBar::StartRepeat() {
  if (!timer_window_)
    timer_window_ = AllocateHWnd([this](TMessage& m) {
      if (m.Msg != WM_TIMER) return;
      SetTimer(timer_window_, kRepeatTimer, kRepeatRate, nullptr);
      TPoint p = ScreenToClient([] { POINT q; GetCursorPos(&q); return TPoint(q); }());
      Part under = PartAt(p.X, p.Y);
      if (pressed_ == None || under != pressed_) return;
      StepFor(pressed_);
    });
  SetTimer(timer_window_, kRepeatTimer, kRepeatDelay, nullptr);
}

void TScrollBar::StepFor(Part part) {
  switch (part) {
    case ArrowLow: DoScroll(scLineUp, position_ - SmallChange); break;
    case ArrowHigh: DoScroll(scLineDown, position_ + SmallChange); break;
    case PageLow: DoScroll(scPageUp, position_ - LargeChange); break;
    case PageHigh: DoScroll(scPageDown, position_ + LargeChange); break;
    default: break;
  }
}

void TScrollBar::StopRepeat() {
  if (timer_window_) KillTimer(timer_window_, kRepeatTimer);
}

void TScrollBar::MouseDown(TMouseButton button, TShiftState shift, int x, int y) {
  TCustomControl::MouseDown(button, shift, x, y);
  if (button != mbLeft || !Enabled()) return;
  pressed_ = PartAt(x, y);
  Geometry g = Geo();
  if (pressed_ == Thumb) drag_offset_ = (kind_ == sbVertical ? y : x) - g.thumb_pos;
  else StepFor(pressed_);
  if (pressed_ != None && pressed_ != Thumb) StartRepeat();
  Invalidate();
}

void TScrollBar::MouseMove(TShiftState shift, int x, int y) {
  TCustomControl::MouseMove(shift, x, y);
  if (pressed_ != Thumb) return;
  Geometry g = Geo();
  int top = page_size_ > 0 ? std::max(min_, max_ - page_size_ + 1) : max_;
  int travel = std::max(1, g.track_len - g.thumb_len);
  int p = (kind_ == sbVertical ? y : x) - drag_offset_ - g.track_start;
  int pos = min_ + (std::clamp(p, 0, travel) * (top - min_) + travel / 2) / travel;
  if (pos != position_) DoScroll(scTrack, pos);
}

void TScrollBar::MouseUp(TMouseButton button, TShiftState shift, int x, int y) {
  TCustomControl::MouseUp(button, shift, x, y);
  if (button != mbLeft || pressed_ == None) return;
  Part was = pressed_;
  pressed_ = None;
  StopRepeat();
  Invalidate();
  if (was == Thumb) DoScroll(scPosition, position_);
  DoScroll(scEndScroll, position_);
}

void TScrollBar::KeyDown(WORD& key, TShiftState shift) {
  TCustomControl::KeyDown(key, shift);
  bool v = kind_ == sbVertical;
  switch (key) {
    case VK_UP: if (v) DoScroll(scLineUp, position_ - SmallChange); break;
    case VK_LEFT: if (!v) DoScroll(scLineUp, position_ - SmallChange); break;
    case VK_DOWN: if (v) DoScroll(scLineDown, position_ + SmallChange); break;
    case VK_RIGHT: if (!v) DoScroll(scLineDown, position_ + SmallChange); break;
    case VK_PRIOR: DoScroll(scPageUp, position_ - LargeChange); break;
    case VK_NEXT: DoScroll(scPageDown, position_ + LargeChange); break;
    case VK_HOME: DoScroll(scTop, min_); break;
    case VK_END: DoScroll(scBottom, max_); break;
    default: break;
  }
}

void TScrollBar::WMGetDlgCode(TMessage& m) { m.Result = DLGC_WANTARROWS; }

void TScrollBar::CMEnabledChanged(TMessage& m) {
  TCustomControl::CMEnabledChanged(m);
  pressed_ = None;
  StopRepeat();
  Invalidate();
}
