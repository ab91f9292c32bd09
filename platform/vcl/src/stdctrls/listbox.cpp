// The list box: single or multiple selection (Ctrl and Shift extend it), a
// scroll bar when the items do not fit, owner drawing, and the LB_* messages.
#include <algorithm>
#include <cctype>
#include <cstring>

#include <vcl/stdctrls.h>

#include "ctlpaint.h"

namespace {
constexpr int kScrollWidth = 16;
}

TCustomListBox::TCustomListBox(TComponent* owner) : TCustomControl(owner) {
  // Clicks are raised by selection changes, double clicks by the press itself.
  SetControlStyle((ControlStyle() | csOpaque) & ~csClickEvents);
  TControlItems::Listener l;
  l.inserted = [this](int i) { ItemInserted(i); };
  l.deleted = [this](int i) { ItemDeleted(i); };
  l.cleared = [this] { ItemsCleared(); };
  l.changed = [this] { Invalidate(); };
  items_ = std::make_unique<TControlItems>(l);
  scroll_ = std::make_unique<TScrollBar>(nullptr);
  scroll_->SetKind(sbVertical);
  scroll_->SetTabStop(false);
  scroll_->SetVisible(false);
  scroll_->OnChange = [this](TObject*) {
    if (scroll_->Position() != top_index_) SetTopIndex(scroll_->Position());
  };
  scroll_->SetParent(this);
  SetBounds(Left(), Top(), 121, 97);
  SetColor(clWindow);
  SetTabStop(true);
  item_height_ = std::max(13, ctl::LineHeight(ctl::Measure(Font())));
}

TCustomListBox::~TCustomListBox() {
  // The scroll bar is a child: take it out before the children are freed.
  if (scroll_) scroll_->SetParent(nullptr);
}

void TCustomListBox::ItemInserted(int i) {
  sel_.insert(sel_.begin() + i, 0);
  if (item_index_ >= i) ++item_index_;
  if (anchor_ >= i) ++anchor_;
  UpdateScrollBar();
  Invalidate();
}

void TCustomListBox::ItemDeleted(int i) {
  sel_.erase(sel_.begin() + i);
  if (item_index_ == i) item_index_ = multi_select_ ? std::min(i, Count() - 1) : -1;
  else if (item_index_ > i) --item_index_;
  if (anchor_ >= Count()) anchor_ = -1;
  top_index_ = std::clamp(top_index_, 0, std::max(0, Count() - VisibleCount()));
  UpdateScrollBar();
  Invalidate();
}

void TCustomListBox::ItemsCleared() {
  sel_.clear();
  item_index_ = anchor_ = -1;
  top_index_ = 0;
  UpdateScrollBar();
  Invalidate();
}

TRect TCustomListBox::ItemArea() const {
  TRect r = ctl::InsideBorder(ClientRect(), border_style_);
  if (ScrollBarVisible()) r.Right -= kScrollWidth;
  return r;
}

int TCustomListBox::VisibleCount() const {
  TRect r = ctl::InsideBorder(ClientRect(), border_style_);
  return std::max(1, r.Height() / std::max(1, item_height_));
}

bool TCustomListBox::ScrollBarVisible() const { return Count() > VisibleCount(); }

void TCustomListBox::UpdateScrollBar() {
  bool show = ScrollBarVisible();
  TRect r = ctl::InsideBorder(ClientRect(), border_style_);
  if (show) {
    scroll_->SetBounds(r.Right - kScrollWidth, r.Top, kScrollWidth, std::max(0, r.Height()));
    scroll_->SetPageSize(0);
    scroll_->SetParams(top_index_, 0, std::max(0, Count() - VisibleCount()));
    scroll_->LargeChange = VisibleCount();
  }
  if (show != scroll_->Visible()) scroll_->SetVisible(show);
}

void TCustomListBox::Resize() {
  TCustomControl::Resize();
  top_index_ = std::clamp(top_index_, 0, std::max(0, Count() - VisibleCount()));
  UpdateScrollBar();
}

void TCustomListBox::SetTopIndex(int v) {
  v = std::clamp(v, 0, std::max(0, Count() - VisibleCount()));
  if (v == top_index_) return;
  top_index_ = v;
  UpdateScrollBar();
  Invalidate();
}

void TCustomListBox::SetItemHeight(int v) {
  if (v <= 0 || v == item_height_) return;
  item_height_ = v;
  UpdateScrollBar();
  Invalidate();
}

void TCustomListBox::SetStyle(TListBoxStyle v) {
  style_ = v;
  Invalidate();
}

void TCustomListBox::SetBorderStyle(TBorderStyle v) {
  if (v == border_style_) return;
  border_style_ = v;
  UpdateScrollBar();
  Invalidate();
}

void TCustomListBox::SetMultiSelect(bool v) {
  if (v == multi_select_) return;
  multi_select_ = v;
  std::fill(sel_.begin(), sel_.end(), 0);
  if (v && item_index_ >= 0) sel_[item_index_] = 1;
  Invalidate();
}

void TCustomListBox::SetItemIndex(int v) {
  if (v < -1 || v >= Count()) v = -1;
  if (v == item_index_) return;
  item_index_ = v;
  if (v >= 0) MakeVisible(v);
  Invalidate();
}

bool TCustomListBox::Selected(int index) const {
  if (index < 0 || index >= Count()) throw EStringListError("List index out of bounds (" + std::to_string(index) + ")");
  return multi_select_ ? sel_[index] != 0 : index == item_index_;
}

void TCustomListBox::SetSelected(int index, bool v) {
  if (index < 0 || index >= Count()) throw EStringListError("List index out of bounds (" + std::to_string(index) + ")");
  if (multi_select_) sel_[index] = v;
  else if (v) item_index_ = index;
  else if (item_index_ == index) item_index_ = -1;
  Invalidate();
}

int TCustomListBox::SelCount() const {
  if (!multi_select_) return -1;
  return static_cast<int>(std::count(sel_.begin(), sel_.end(), 1));
}

void TCustomListBox::ClearSelection() {
  if (multi_select_) std::fill(sel_.begin(), sel_.end(), 0);
  else item_index_ = -1;
  Invalidate();
}

void TCustomListBox::SelectAll() {
  if (!multi_select_) return;
  std::fill(sel_.begin(), sel_.end(), 1);
  Invalidate();
}

int TCustomListBox::ItemAtPos(TPoint pos, bool existing) const {
  TRect a = ItemArea();
  if (!a.Contains(pos.X, pos.Y)) return existing ? -1 : Count();
  int i = top_index_ + (pos.Y - a.Top) / std::max(1, item_height_);
  if (i >= Count()) return existing ? -1 : Count();
  return i;
}

TRect TCustomListBox::ItemRect(int index) const {
  TRect a = ItemArea();
  int y = a.Top + (index - top_index_) * item_height_;
  return TRect(a.Left, y, a.Right, y + item_height_);
}

void TCustomListBox::MakeVisible(int index) {
  if (index < 0) return;
  int vis = VisibleCount();
  if (index < top_index_) SetTopIndex(index);
  else if (index >= top_index_ + vis) SetTopIndex(index - vis + 1);
}

void TCustomListBox::Paint() {
  TCanvas* c = Canvas();
  TRect r = ClientRect();
  if (border_style_ == bsSingle) ctl::SunkenEdge(c, r);
  ctl::Fill(c, r, Color());
  TRect a = ItemArea();
  HDC dc = c->Handle();
  int saved = SaveDC(dc);
  IntersectClipRect(dc, a.Left, a.Top, a.Right, a.Bottom);
  // Only the rows in view are drawn, however long the list.
  int last = std::min(Count(), top_index_ + VisibleCount() + 1);
  for (int i = top_index_; i < last; ++i) {
    TOwnerDrawState st;
    if (Selected(i)) st.Include(odSelected);
    if (!Enabled()) st.Include(odDisabled);
    if (Focused() && i == item_index_) st.Include(odFocused);
    DrawItem(i, ItemRect(i), st);
  }
  RestoreDC(dc, saved);
}

void TCustomListBox::DrawItem(int index, TRect rect, TOwnerDrawState state) {
  TCanvas* c = Canvas();
  c->SetFont(Font());
  if (style_ != lbStandard && OnDrawItem) {
    c->Brush()->SetStyle(bsSolid);
    c->Brush()->SetColor(state.Contains(odSelected) ? clHighlight : Color());
    OnDrawItem(this, index, rect, state);
  } else {
    bool sel = state.Contains(odSelected);
    ctl::Fill(c, rect, sel ? clHighlight : Color());
    c->Brush()->SetStyle(bsClear);
    c->Font()->SetColor(!Enabled() ? clGrayText : sel ? clHighlightText : Font()->Color());
    c->TextOut(rect.Left + 2, rect.Top, Items()->Get(index));
  }
  if (state.Contains(odFocused)) {
    c->Brush()->SetStyle(bsSolid);
    c->Brush()->SetColor(clWindow);
    c->Font()->SetColor(clWindowText);
    c->DrawFocusRect(rect);
  }
}

void TCustomListBox::SelectionChangedByUser() { Click(); }

void TCustomListBox::UserSelect(int index, TShiftState shift, bool fromMouse) {
  if (index < 0 || index >= Count()) return;
  bool changed = false;
  if (!multi_select_) {
    changed = index != item_index_;
    item_index_ = index;
  } else if (!ExtendedSelect) {
    if (fromMouse) {
      sel_[index] ^= 1;
      changed = true;
    }
    item_index_ = index;
  } else {
    std::vector<std::uint8_t> before = sel_;
    bool ctrl = shift.Contains(ssCtrl), shf = shift.Contains(ssShift);
    if (shf) {
      if (anchor_ < 0) anchor_ = item_index_ >= 0 ? item_index_ : index;
      if (!ctrl) std::fill(sel_.begin(), sel_.end(), 0);
      for (int i = std::min(anchor_, index); i <= std::max(anchor_, index); ++i) sel_[i] = 1;
    } else if (ctrl) {
      // Ctrl with the mouse toggles one item; with the keys only the focus moves.
      if (fromMouse) sel_[index] ^= 1;
      anchor_ = index;
    } else {
      std::fill(sel_.begin(), sel_.end(), 0);
      sel_[index] = 1;
      anchor_ = index;
    }
    changed = sel_ != before || index != item_index_;
    item_index_ = index;
  }
  MakeVisible(index);
  Invalidate();
  if (changed) SelectionChangedByUser();
}

void TCustomListBox::MouseDown(TMouseButton button, TShiftState shift, int x, int y) {
  if (button == mbLeft) {
    if (!Focused() && CanFocus()) SetFocus();
    int i = ItemAtPos(TPoint(x, y), true);
    if (shift.Contains(ssDouble)) {
      if (i >= 0) DblClick();
    } else if (i >= 0) {
      UserSelect(i, shift, true);
      dragging_ = !multi_select_ || ExtendedSelect;
    }
  }
  TCustomControl::MouseDown(button, shift, x, y);
}

void TCustomListBox::MouseMove(TShiftState shift, int x, int y) {
  if (dragging_ && shift.Contains(ssLeft) && Count() > 0) {
    TRect a = ItemArea();
    // Dragging past the ends scrolls the list.
    int i = y < a.Top ? top_index_ - 1 : y >= a.Bottom ? top_index_ + VisibleCount() : ItemAtPos(TPoint(a.Left, y), false);
    i = std::clamp(i, 0, Count() - 1);
    if (i != item_index_) UserSelect(i, multi_select_ ? TShiftState{ssShift} : TShiftState{}, true);
  }
  TCustomControl::MouseMove(shift, x, y);
}

void TCustomListBox::MouseUp(TMouseButton button, TShiftState shift, int x, int y) {
  if (button == mbLeft) dragging_ = false;
  TCustomControl::MouseUp(button, shift, x, y);
}

void TCustomListBox::KeyDown(WORD& key, TShiftState shift) {
  TCustomControl::KeyDown(key, shift);
  if (Count() == 0) return;
  int cur = item_index_, vis = VisibleCount(), n = Count();
  int target = -1;
  switch (key) {
    case VK_UP: target = cur < 0 ? 0 : cur - 1; break;
    case VK_DOWN: target = cur < 0 ? 0 : cur + 1; break;
    case VK_PRIOR: target = cur - vis + 1; break;
    case VK_NEXT: target = cur + vis - 1; break;
    case VK_HOME: target = 0; break;
    case VK_END: target = n - 1; break;
    case VK_SPACE:
      if (multi_select_ && cur >= 0 && (!ExtendedSelect || shift.Contains(ssCtrl))) {
        sel_[cur] ^= 1;
        Invalidate();
        SelectionChangedByUser();
      }
      return;
    default: return;
  }
  UserSelect(std::clamp(target, 0, n - 1), shift, false);
}

void TCustomListBox::KeyPress(char& key) {
  TCustomControl::KeyPress(key);
  if (static_cast<unsigned char>(key) <= ' ' || Count() == 0) return;
  // A typed character moves to the next item that starts with it.
  int n = Count();
  for (int k = 1; k <= n; ++k) {
    int i = (item_index_ + k) % n;
    if (i < 0) i += n;
    std::string s = Items()->Get(i);
    if (!s.empty() && std::toupper(static_cast<unsigned char>(s[0])) == std::toupper(static_cast<unsigned char>(key))) {
      UserSelect(i, {}, false);
      return;
    }
  }
}

void TCustomListBox::WMGetDlgCode(TMessage& m) { m.Result = DLGC_WANTARROWS | DLGC_WANTCHARS; }

void TCustomListBox::WMSetFocus(TMessage& m) {
  TCustomControl::WMSetFocus(m);
  Invalidate();
}

void TCustomListBox::WMKillFocus(TMessage& m) {
  TCustomControl::WMKillFocus(m);
  dragging_ = false;
  Invalidate();
}

void TCustomListBox::CMFontChanged(TMessage& m) {
  TCustomControl::CMFontChanged(m);
  Invalidate();
}

void TCustomListBox::DefaultHandler(TMessage& m) {
  auto idx = static_cast<int>(static_cast<std::intptr_t>(m.WParam));
  auto valid = [&](int i) { return i >= 0 && i < Count(); };
  auto text = [&]() { return std::string(m.LParam ? reinterpret_cast<const char*>(m.LParam) : ""); };
  switch (m.Msg) {
    case LB_GETCOUNT: m.Result = Count(); return;
    case LB_GETCURSEL: m.Result = multi_select_ ? LB_ERR : item_index_; return;
    case LB_SETCURSEL:
      if (multi_select_) { m.Result = LB_ERR; return; }
      SetItemIndex(valid(idx) ? idx : -1);
      m.Result = valid(idx) ? idx : LB_ERR;
      return;
    case LB_GETSELCOUNT: m.Result = SelCount(); return;
    case LB_GETSELITEMS: {
      if (!multi_select_) { m.Result = LB_ERR; return; }
      auto* out = reinterpret_cast<int*>(m.LParam);
      int max = idx, k = 0;
      for (int i = 0; i < Count() && k < max && out; ++i)
        if (sel_[i]) out[k++] = i;
      m.Result = k;
      return;
    }
    case LB_GETSEL: m.Result = valid(idx) ? (Selected(idx) ? 1 : 0) : LB_ERR; return;
    case LB_SETSEL: {
      int which = static_cast<int>(m.LParam);
      if (!multi_select_) { m.Result = LB_ERR; return; }
      if (which == -1) std::fill(sel_.begin(), sel_.end(), m.WParam ? 1 : 0);
      else if (valid(which)) sel_[which] = m.WParam ? 1 : 0;
      else { m.Result = LB_ERR; return; }
      Invalidate();
      m.Result = LB_OKAY;
      return;
    }
    case LB_GETTEXTLEN: m.Result = valid(idx) ? static_cast<LRESULT>(Items()->Get(idx).size()) : LB_ERR; return;
    case LB_GETTEXT:
      if (!valid(idx) || !m.LParam) { m.Result = LB_ERR; return; }
      std::strcpy(reinterpret_cast<char*>(m.LParam), Items()->Get(idx).c_str());
      m.Result = static_cast<LRESULT>(Items()->Get(idx).size());
      return;
    case LB_ADDSTRING: m.Result = Items()->Add(text()); return;
    case LB_INSERTSTRING: {
      int at = idx < 0 || idx > Count() ? Count() : idx;
      Items()->Insert(at, text());
      m.Result = at;
      return;
    }
    case LB_DELETESTRING:
      if (!valid(idx)) { m.Result = LB_ERR; return; }
      Items()->Delete(idx);
      m.Result = Count();
      return;
    case LB_RESETCONTENT: Items()->Clear(); m.Result = 0; return;
    case LB_GETTOPINDEX: m.Result = top_index_; return;
    case LB_SETTOPINDEX: SetTopIndex(idx); m.Result = LB_OKAY; return;
    case LB_GETITEMDATA: m.Result = valid(idx) ? items_->Data(idx) : LB_ERR; return;
    case LB_SETITEMDATA:
      if (!valid(idx)) { m.Result = LB_ERR; return; }
      items_->SetData(idx, m.LParam);
      m.Result = LB_OKAY;
      return;
    case LB_FINDSTRING:
    case LB_FINDSTRINGEXACT: m.Result = ctl::FindItem(*Items(), idx, text(), m.Msg == LB_FINDSTRINGEXACT); return;
    default: TCustomControl::DefaultHandler(m); return;
  }
}
