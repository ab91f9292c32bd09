// The combo box: an edit field or a fixed field with a drop-down list in a pop-up
// window, keyboard selection, item data and the CB_* messages.
#include <algorithm>
#include <cctype>
#include <cstring>

#include <vcl/stdctrls.h>

#include "ctlpaint.h"
#include "../winuser/window_manager.h"

namespace {

constexpr int kButtonWidth = 16;

}  // namespace

// The drop-down list. It holds the mouse capture while it is open: a press outside
// closes it, a release on an item chooses that item.
class TComboPopup : public ctl::TPopupWindow {
 public:
  explicit TComboPopup(TCustomComboBox* combo) : TPopupWindow(combo, combo), combo_(combo) {
    scroll_ = new TScrollBar(this);
    scroll_->SetKind(sbVertical);
    scroll_->SetTabStop(false);
    scroll_->SetParent(this);
    scroll_->OnChange = [this](TObject*) {
      top_ = scroll_->Position();
      Invalidate();
    };
    scroll_->OnScroll = [this](TObject*, TScrollCode code, int&) {
      if (code == scEndScroll && Visible()) SetCaptureControl(this);  // take the mouse back
    };
  }

  void Open() {
    TCustomComboBox* c = combo_;
    int n = c->Items()->Count();
    const int ih = std::max(1, c->ItemHeight());
    rows_ = std::clamp(n, 1, std::max(1, c->DropDownCount()));
    int w = std::max(c->Width(), 20);
    // Below the combo box, or above it when the work area has more room there; the
    // list gets shorter rather than covering the box.
    TPoint below = c->ClientToScreen(TPoint(0, c->Height()));
    const int boxTop = below.Y - c->Height();
    const TRect wa = WorkArea();
    const int roomBelow = wa.Bottom - below.Y, roomAbove = boxTop - wa.Top;
    const bool up = rows_ * ih + 2 > roomBelow && roomAbove > roomBelow;
    rows_ = std::clamp(((up ? roomAbove : roomBelow) - 2) / ih, 1, rows_);
    int h = rows_ * ih + 2;
    int y = up ? boxTop - h : below.Y;
    hot_ = c->ItemIndex();
    top_ = 0;
    moved_ = false;
    bool scroll = n > rows_;
    scroll_->SetVisible(scroll);
    if (scroll) {
      scroll_->SetBounds(w - 1 - kButtonWidth, 1, kButtonWidth, h - 2);
      scroll_->SetParams(0, 0, n - rows_);
      scroll_->LargeChange = rows_;
    }
    MakeVisible(hot_);
    Popup(below.X, y, w, h);
    SetCaptureControl(this);
  }

  int Hot() const { return hot_; }
  void SetHot(int i) {
    int n = combo_->Items()->Count();
    if (n == 0) return;
    hot_ = std::clamp(i, 0, n - 1);
    MakeVisible(hot_);
    Invalidate();
  }
  int Rows() const { return rows_; }
  void Refresh() {
    if (!Visible()) return;
    Open();
  }

 protected:
  void Paint() override {
    TCanvas* cv = Canvas();
    TRect r = ClientRect();
    cv->Brush()->SetStyle(bsSolid);
    cv->Brush()->SetColor(clWindowFrame);
    cv->FrameRect(r);
    TRect inner(1, 1, ListRight(), r.Bottom - 1);
    ctl::Fill(cv, inner, combo_->Color());
    int n = combo_->Items()->Count();
    int ih = combo_->ItemHeight();
    for (int i = top_; i < std::min(n, top_ + rows_); ++i) {
      TRect ir(1, 1 + (i - top_) * ih, ListRight(), 1 + (i - top_ + 1) * ih);
      TOwnerDrawState st;
      if (i == hot_) st.Include(odSelected);
      combo_->DrawItem(cv, i, ir, st);
    }
  }

  void MouseMove(TShiftState shift, int x, int y) override {
    TPopupWindow::MouseMove(shift, x, y);
    int i = ItemAt(x, y);
    if (i >= 0) {
      moved_ = true;
      if (i != hot_) {
        hot_ = i;
        Invalidate();
      }
    }
  }

  void MouseDown(TMouseButton button, TShiftState shift, int x, int y) override {
    TPopupWindow::MouseDown(button, shift, x, y);
    if (!ClientRect().Contains(x, y)) {
      combo_->SetDroppedDown(false);
      return;
    }
    if (scroll_->Visible() && scroll_->BoundsRect().Contains(x, y)) {
      // The scroll bar takes the press (and the capture until its release).
      scroll_->Perform(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(x - scroll_->Left(), y - scroll_->Top()));
      return;
    }
    moved_ = true;
  }

  void MouseUp(TMouseButton button, TShiftState shift, int x, int y) override {
    TPopupWindow::MouseUp(button, shift, x, y);
    int i = ItemAt(x, y);
    if (i >= 0 && moved_) {
      TCustomComboBox* c = combo_;
      c->SetDroppedDown(false);
      c->UserChoose(i);
    }
  }

  void WndProc(TMessage& m) override {
    if (m.Msg == WM_MOUSEWHEEL) {
      int steps = -static_cast<short>(HIWORD(static_cast<std::uintptr_t>(m.WParam))) / 120;
      if (scroll_->Visible()) scroll_->SetPosition(scroll_->Position() + steps * 3);
      return;
    }
    TPopupWindow::WndProc(m);
  }

 private:
  int ListRight() const { return scroll_->Visible() ? scroll_->Left() : ClientWidth() - 1; }
  int ItemAt(int x, int y) const {
    if (x < 1 || x >= ListRight() || y < 1 || y >= ClientHeight() - 1) return -1;
    int i = top_ + (y - 1) / std::max(1, combo_->ItemHeight());
    return i < combo_->Items()->Count() ? i : -1;
  }
  void MakeVisible(int i) {
    if (i < 0) return;
    if (i < top_) top_ = i;
    if (i >= top_ + rows_) top_ = i - rows_ + 1;
    if (scroll_->Visible()) scroll_->SetPosition(top_);
  }
  TCustomComboBox* combo_;
  TScrollBar* scroll_;
  int rows_ = 1;
  int hot_ = -1;
  int top_ = 0;
  bool moved_ = false;
};

TCustomComboBox::TCustomComboBox(TComponent* owner) : TCustomControl(owner) {
  SetControlStyle((ControlStyle() | csOpaque) & ~(csClickEvents | csDoubleClicks));
  TControlItems::Listener l;
  l.inserted = [this](int i) {
    if (item_index_ >= i) ++item_index_;
    ItemsChanged();
  };
  l.deleted = [this](int i) {
    if (item_index_ == i) {
      item_index_ = -1;
      if (style_ == csDropDownList) edit_text_.clear();
    } else if (item_index_ > i) {
      --item_index_;
    }
    ItemsChanged();
  };
  l.cleared = [this] {
    item_index_ = -1;
    edit_text_.clear();
    sel_start_ = sel_len_ = 0;
    ItemsChanged();
  };
  l.changed = [this] {
    if (item_index_ >= 0) edit_text_ = items_->Get(item_index_);
    ItemsChanged();
  };
  items_ = std::make_unique<TControlItems>(l);
  SetBounds(Left(), Top(), 145, 21);
  SetColor(clWindow);
  SetTabStop(true);
  item_height_ = std::max(13, ctl::LineHeight(ctl::Measure(Font())));
}

TCustomComboBox::~TCustomComboBox() = default;

void TCustomComboBox::ItemsChanged() {
  Invalidate();
  if (popup_ && popup_->Visible()) popup_->Refresh();
}

void TCustomComboBox::SetItemIndex(int v) {
  if (v < -1 || v >= items_->Count()) v = -1;
  item_index_ = v;
  if (v >= 0) edit_text_ = items_->Get(v);
  else edit_text_.clear();
  sel_start_ = 0;
  sel_len_ = Focused() && style_ == csDropDown ? static_cast<int>(edit_text_.size()) : 0;
  if (popup_ && popup_->Visible()) popup_->SetHot(v);
  Invalidate();
}

void TCustomComboBox::SetStyle(TComboBoxStyle v) {
  if (v == style_) return;
  style_ = v;
  if (v == csDropDownList && item_index_ < 0) edit_text_.clear();
  Invalidate();
}

void TCustomComboBox::SetItemHeight(int v) {
  if (v > 0) item_height_ = v;
  Invalidate();
}

bool TCustomComboBox::DroppedDown() const { return popup_ && popup_->Visible(); }

void TCustomComboBox::SetDroppedDown(bool v) {
  if (v == DroppedDown()) return;
  if (v) {
    DropDown();
    // The list window is made at the first drop-down, with the combo box on its form.
    if (!popup_) popup_ = new TComboPopup(this);
    popup_->Open();
  } else {
    popup_->Close();
    CloseUp();
  }
  Invalidate();
}

void TCustomComboBox::DropDown() {
  if (OnDropDown) OnDropDown(this);
}

void TCustomComboBox::CloseUp() {
  if (OnCloseUp) OnCloseUp(this);
}

void TCustomComboBox::Change() {
  if (OnChange) OnChange(this);
}

void TCustomComboBox::Select() {
  if (OnSelect) OnSelect(this);
}

std::string TCustomComboBox::GetText() const {
  if (style_ == csDropDownList) return item_index_ >= 0 ? items_->Get(item_index_) : std::string();
  return edit_text_;
}

void TCustomComboBox::SetText(const std::string& v) {
  if (style_ == csDropDownList) {
    SetItemIndex(FindExact(v, -1));
    return;
  }
  edit_text_ = v;
  item_index_ = FindExact(v, -1);
  sel_start_ = static_cast<int>(v.size());
  sel_len_ = 0;
  Invalidate();
}

void TCustomComboBox::SelectAll() {
  sel_start_ = 0;
  sel_len_ = static_cast<int>(GetText().size());
  Invalidate();
}

void TCustomComboBox::Clear() {
  items_->Clear();
  edit_text_.clear();
  Invalidate();
}

int TCustomComboBox::FindPrefix(const std::string& text, int start) const {
  return ctl::FindItem(*items_, start, text, false);
}

int TCustomComboBox::FindExact(const std::string& text, int start) const {
  return ctl::FindItem(*items_, start, text, true);
}

void TCustomComboBox::UserChoose(int index) {
  if (index < 0 || index >= items_->Count() || index == item_index_) return;
  SetItemIndex(index);
  if (style_ == csDropDown && Focused()) SelectAll();
  Change();
  Select();
}

void TCustomComboBox::EditText(const std::string& text, bool user) {
  edit_text_ = max_length_ > 0 && static_cast<int>(text.size()) > max_length_ ? text.substr(0, max_length_) : text;
  item_index_ = FindExact(edit_text_, -1);
  Invalidate();
  if (user) Change();
}

TRect TCustomComboBox::ButtonRect() const {
  TRect r = ClientRect();
  r.Inflate(-2, -2);
  return TRect(std::max(r.Left, r.Right - kButtonWidth), r.Top, r.Right, r.Bottom);
}

TRect TCustomComboBox::EditRect() const {
  TRect r = ClientRect();
  r.Inflate(-2, -2);
  r.Right = ButtonRect().Left;
  r.Inflate(-1, -1);
  return r;
}

void TCustomComboBox::DrawItem(TCanvas* canvas, int index, TRect rect, TOwnerDrawState state) {
  bool sel = state.Contains(odSelected);
  canvas->SetFont(Font());
  if ((style_ == csOwnerDrawFixed || style_ == csOwnerDrawVariable) && OnDrawItem) {
    canvas->Brush()->SetStyle(bsSolid);
    canvas->Brush()->SetColor(sel ? clHighlight : Color());
    OnDrawItem(this, index, rect, state);
    return;
  }
  ctl::Fill(canvas, rect, sel ? clHighlight : Color());
  canvas->Brush()->SetStyle(bsClear);
  canvas->Font()->SetColor(sel ? clHighlightText : Font()->Color());
  canvas->TextOut(rect.Left + 2, rect.Top + (rect.Height() - ctl::LineHeight(canvas)) / 2, items_->Get(index));
}

void TCustomComboBox::Paint() {
  TCanvas* c = Canvas();
  TRect r = ClientRect();
  ctl::SunkenEdge(c, r);
  ctl::Fill(c, r, Enabled() ? Color() : clBtnFace);
  TRect b = ButtonRect();
  TRect face = b;
  if (button_down_ || DroppedDown()) Frame3D(c, face, clBtnShadow, clBtnShadow, 1);
  else ctl::RaisedEdge(c, face);
  ctl::Fill(c, face, clBtnFace);
  TRect ar = b;
  if (button_down_ || DroppedDown()) ar.Offset(1, 1);
  ctl::Arrow(c, ar, 0, Enabled() ? clBtnText : clGrayText);
  TRect e = EditRect();
  c->SetFont(Font());
  int ty = e.Top + (e.Height() - ctl::LineHeight(c)) / 2;
  if (style_ == csDropDownList) {
    bool hi = Focused() && !DroppedDown();
    if (hi) ctl::Fill(c, e, clHighlight);
    if (item_index_ >= 0) {
      TOwnerDrawState st;
      if (hi) st.Include(odSelected);
      if (Focused()) st.Include(odFocused);
      HDC dc = c->Handle();
      int saved = SaveDC(dc);
      IntersectClipRect(dc, e.Left, e.Top, e.Right, e.Bottom);
      DrawItem(c, item_index_, e, st);
      RestoreDC(dc, saved);
    }
    if (hi) {
      c->Brush()->SetStyle(bsSolid);
      c->Brush()->SetColor(clHighlight);
      c->Font()->SetColor(clHighlightText);
      c->DrawFocusRect(e);
    }
    return;
  }
  HDC dc = c->Handle();
  int saved = SaveDC(dc);
  IntersectClipRect(dc, e.Left, e.Top, e.Right, e.Bottom);
  c->Brush()->SetStyle(bsClear);
  c->Font()->SetColor(Enabled() ? Font()->Color() : clGrayText);
  c->TextOut(e.Left + 1, ty, edit_text_);
  if (Focused() && sel_len_ > 0) {
    int x0 = e.Left + 1 + c->TextWidth(edit_text_.substr(0, sel_start_));
    std::string part = edit_text_.substr(sel_start_, sel_len_);
    int x1 = x0 + c->TextWidth(part);
    ctl::Fill(c, TRect(x0, ty, x1, ty + ctl::LineHeight(c)), clHighlight);
    c->Brush()->SetStyle(bsClear);
    c->Font()->SetColor(clHighlightText);
    c->TextOut(x0, ty, part);
  }
  if (Focused()) {
    int x = e.Left + 1 + c->TextWidth(edit_text_.substr(0, sel_start_ + sel_len_));
    c->Pen()->SetColor(clWindowText);
    c->MoveTo(x, ty);
    c->LineTo(x, ty + ctl::LineHeight(c));
  }
  RestoreDC(dc, saved);
}

void TCustomComboBox::MouseDown(TMouseButton button, TShiftState shift, int x, int y) {
  if (button == mbLeft && Enabled()) {
    if (!Focused() && CanFocus()) SetFocus();
    bool onButton = ButtonRect().Contains(x, y);
    if (style_ == csDropDownList || onButton) {
      button_down_ = onButton;
      SetDroppedDown(!DroppedDown());
    } else {
      // A press in the edit field places the caret.
      TCanvas* c = ctl::Measure(Font());
      int target = x - EditRect().Left - 1, pos = 0, col = 0;
      while (col < static_cast<int>(edit_text_.size())) {
        const int next = ctl::NextCharAt(edit_text_, col);
        int w = c->TextWidth(edit_text_.substr(col, next - col));
        if (target < pos + w / 2) break;
        pos += w;
        col = next;
      }
      sel_start_ = col;
      sel_len_ = 0;
      Invalidate();
    }
  }
  TCustomControl::MouseDown(button, shift, x, y);
}

void TCustomComboBox::MouseUp(TMouseButton button, TShiftState shift, int x, int y) {
  if (button_down_) {
    button_down_ = false;
    Invalidate();
  }
  TCustomControl::MouseUp(button, shift, x, y);
}

void TCustomComboBox::WMGetDlgCode(TMessage& m) {
  // While the list is open Enter and Esc belong to it, not to the dialog.
  m.Result = DLGC_WANTARROWS | DLGC_WANTCHARS | (DroppedDown() ? DLGC_WANTALLKEYS : 0);
}

void TCustomComboBox::WMSetFocus(TMessage& m) {
  TCustomControl::WMSetFocus(m);
  if (style_ == csDropDown) SelectAll();
  Invalidate();
}

void TCustomComboBox::WMKillFocus(TMessage& m) {
  TCustomControl::WMKillFocus(m);
  SetDroppedDown(false);
  Invalidate();
}

void TCustomComboBox::CMEnabledChanged(TMessage& m) {
  TCustomControl::CMEnabledChanged(m);
  if (!Enabled()) SetDroppedDown(false);
  Invalidate();
}

void TCustomComboBox::DefaultHandler(TMessage& m) {
  int n = items_->Count();
  auto idx = static_cast<int>(static_cast<std::intptr_t>(m.WParam));
  auto valid = [&](int i) { return i >= 0 && i < n; };
  auto text = [&]() { return std::string(m.LParam ? reinterpret_cast<const char*>(m.LParam) : ""); };
  // Closes the list and chooses the item that was hot in it.
  auto chooseHot = [&] {
    int hot = popup_->Hot();
    SetDroppedDown(false);
    UserChoose(hot);
  };
  switch (m.Msg) {
    case WM_SYSKEYDOWN:
      if (m.CharCode() != VK_DOWN && m.CharCode() != VK_UP) break;
      [[fallthrough]];
    case WM_KEYDOWN: {
      WORD key = m.CharCode();
      bool alt = GetKeyState(VK_MENU) < 0 || m.Msg == WM_SYSKEYDOWN;
      if (key == VK_F4 || (alt && (key == VK_DOWN || key == VK_UP))) {
        if (DroppedDown()) chooseHot();
        else SetDroppedDown(true);
        return;
      }
      if (DroppedDown()) {
        switch (key) {
          case VK_UP: popup_->SetHot(popup_->Hot() - 1); return;
          case VK_DOWN: popup_->SetHot(popup_->Hot() + 1); return;
          case VK_PRIOR: popup_->SetHot(popup_->Hot() - popup_->Rows() + 1); return;
          case VK_NEXT: popup_->SetHot(popup_->Hot() + popup_->Rows() - 1); return;
          case VK_HOME: popup_->SetHot(0); return;
          case VK_END: popup_->SetHot(n - 1); return;
          case VK_RETURN: chooseHot(); return;
          case VK_ESCAPE: SetDroppedDown(false); return;
          default: break;
        }
        return;
      }
      if (n == 0) return;
      int cur = item_index_;
      switch (key) {
        case VK_UP: UserChoose(std::max(0, cur - 1)); return;
        case VK_DOWN: UserChoose(cur < 0 ? 0 : std::min(n - 1, cur + 1)); return;
        case VK_PRIOR: UserChoose(std::max(0, cur - drop_down_count_ + 1)); return;
        case VK_NEXT: UserChoose(std::min(n - 1, std::max(0, cur) + drop_down_count_ - 1)); return;
        case VK_HOME: if (style_ == csDropDownList) UserChoose(0); return;
        case VK_END: if (style_ == csDropDownList) UserChoose(n - 1); return;
        case VK_LEFT:
          if (style_ == csDropDownList) UserChoose(std::max(0, cur - 1));
          else {
            if (!sel_len_) sel_start_ = ctl::PrevCharAt(edit_text_, sel_start_);
            sel_len_ = 0;
            Invalidate();
          }
          return;
        case VK_RIGHT:
          if (style_ == csDropDownList) UserChoose(cur < 0 ? 0 : std::min(n - 1, cur + 1));
          else {
            sel_start_ = sel_len_ ? std::min(static_cast<int>(edit_text_.size()), sel_start_ + sel_len_)
                                  : ctl::NextCharAt(edit_text_, sel_start_);
            sel_len_ = 0;
            Invalidate();
          }
          return;
        default: return;
      }
    }
    case WM_CHAR: {
      const auto ch = static_cast<unsigned>(m.WParam);  // a code point
      if (DroppedDown() && (ch == '\r' || ch == 27)) return;
      if (style_ == csDropDownList) {
        // Typing picks the next item that starts with the character.
        if (ch > ' ') {
          int i = FindPrefix(ctl::Utf8Of(ch), item_index_);
          if (i >= 0) {
            if (DroppedDown()) popup_->SetHot(i);
            else UserChoose(i);
          }
        }
        return;
      }
      if (GetKeyState(VK_CONTROL) < 0) return;
      std::string t = edit_text_;
      if (ch == 8) {
        if (sel_len_ > 0) {
          t.erase(sel_start_, sel_len_);
        } else if (sel_start_ > 0) {
          const int prev = ctl::PrevCharAt(t, sel_start_);
          t.erase(prev, sel_start_ - prev);
          sel_start_ = prev;
        } else {
          return;
        }
      } else if (ch >= ' ') {
        const std::string typed = ctl::Utf8Of(ch);
        t.erase(sel_start_, sel_len_);
        t.insert(sel_start_, typed);
        sel_start_ += static_cast<int>(typed.size());
      } else {
        return;
      }
      sel_len_ = 0;
      EditText(t, true);
      return;
    }
    case WM_PASTE: {
      if (style_ == csDropDownList) return;
      std::string paste = ctl::ClipboardText();
      paste = paste.substr(0, paste.find_first_of("\r\n"));
      std::string t = edit_text_;
      t.erase(sel_start_, sel_len_);
      t.insert(sel_start_, paste);
      sel_start_ = std::min(static_cast<int>(t.size()), sel_start_ + static_cast<int>(paste.size()));
      sel_len_ = 0;
      EditText(t, true);
      sel_start_ = std::min(sel_start_, static_cast<int>(edit_text_.size()));
      return;
    }
    case CB_GETCOUNT: m.Result = n; return;
    case CB_GETCURSEL: m.Result = item_index_; return;
    case CB_SETCURSEL:
      SetItemIndex(valid(idx) ? idx : -1);
      m.Result = valid(idx) ? idx : CB_ERR;
      return;
    case CB_SELECTSTRING: {
      // Not found: the selection stays as it was.
      int i = n ? FindPrefix(text(), idx) : -1;
      if (i >= 0) SetItemIndex(i);
      m.Result = i >= 0 ? i : CB_ERR;
      return;
    }
    case CB_FINDSTRING: m.Result = n ? FindPrefix(text(), idx) : CB_ERR; return;
    case CB_FINDSTRINGEXACT: m.Result = n ? FindExact(text(), idx) : CB_ERR; return;
    case CB_GETITEMDATA: m.Result = valid(idx) ? items_->Data(idx) : CB_ERR; return;
    case CB_SETITEMDATA:
      if (!valid(idx)) { m.Result = CB_ERR; return; }
      items_->SetData(idx, m.LParam);
      m.Result = CB_OKAY;
      return;
    case CB_ADDSTRING: m.Result = items_->Add(text()); return;
    case CB_INSERTSTRING: {
      int at = idx < 0 || idx > n ? n : idx;
      items_->Insert(at, text());
      m.Result = at;
      return;
    }
    case CB_DELETESTRING:
      if (!valid(idx)) { m.Result = CB_ERR; return; }
      items_->Delete(idx);
      m.Result = items_->Count();
      return;
    case CB_RESETCONTENT: items_->Clear(); m.Result = CB_OKAY; return;
    case CB_GETLBTEXTLEN: m.Result = valid(idx) ? static_cast<LRESULT>(items_->Get(idx).size()) : CB_ERR; return;
    case CB_GETLBTEXT:
      if (!valid(idx) || !m.LParam) { m.Result = CB_ERR; return; }
      std::strcpy(reinterpret_cast<char*>(m.LParam), items_->Get(idx).c_str());
      m.Result = static_cast<LRESULT>(items_->Get(idx).size());
      return;
    case CB_SHOWDROPDOWN: SetDroppedDown(m.WParam != 0); m.Result = TRUE; return;
    case CB_GETDROPPEDSTATE: m.Result = DroppedDown() ? TRUE : FALSE; return;
    case CB_GETITEMHEIGHT: m.Result = item_height_; return;
    case CB_SETITEMHEIGHT: SetItemHeight(static_cast<int>(m.LParam)); m.Result = CB_OKAY; return;
    case CB_LIMITTEXT: SetMaxLength(idx); m.Result = TRUE; return;
    default: break;
  }
  TCustomControl::DefaultHandler(m);
}
