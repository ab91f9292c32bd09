// Menu items, menus, and the menu windows and loop that show pop-up menus.
#include <vcl/menus.h>

#include <algorithm>
#include <cctype>

#include <vcl/forms.h>

#include "../stdctrls/ctlpaint.h"

namespace {

constexpr int kFrame = 3;          // the raised frame around a menu window
constexpr int kTextItemHeight = 18;
constexpr int kSeparatorHeight = 8;
constexpr int kCheckWidth = 12;    // added to owner-drawn widths for the check area
constexpr int kBarGap = 4;         // the bar between columns of mbBarBreak

bool g_loop_active = false;

std::string StripAccel(const std::string& s) {
  std::string out;
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '&') {
      if (i + 1 < s.size() && s[i + 1] == '&') out += '&';
      ++i;
      if (i < s.size() && s[i] != '&') out += s[i];
      continue;
    }
    out += s[i];
  }
  return out;
}

}  // namespace

TShortCut ShortCut(WORD key, TShiftState shift) {
  if (key & 0xFF00) return 0;
  TShortCut s = key;
  if (shift.Contains(ssShift)) s |= scShift;
  if (shift.Contains(ssCtrl)) s |= scCtrl;
  if (shift.Contains(ssAlt)) s |= scAlt;
  return s;
}

std::string ShortCutToText(TShortCut sc) {
  if (sc == 0) return "";
  std::string name;
  WORD key = sc & 0xFF;
  if ((key >= 'A' && key <= 'Z') || (key >= '0' && key <= '9')) name = std::string(1, static_cast<char>(key));
  else if (key >= VK_F1 && key <= VK_F12) name = "F" + std::to_string(key - VK_F1 + 1);
  else {
    switch (key) {
      case VK_BACK: name = "BkSp"; break;
      case VK_TAB: name = "Tab"; break;
      case VK_RETURN: name = "Enter"; break;
      case VK_ESCAPE: name = "Esc"; break;
      case VK_SPACE: name = "Space"; break;
      case VK_PRIOR: name = "PgUp"; break;
      case VK_NEXT: name = "PgDn"; break;
      case VK_END: name = "End"; break;
      case VK_HOME: name = "Home"; break;
      case VK_LEFT: name = "Left"; break;
      case VK_UP: name = "Up"; break;
      case VK_RIGHT: name = "Right"; break;
      case VK_DOWN: name = "Down"; break;
      case VK_INSERT: name = "Ins"; break;
      case VK_DELETE: name = "Del"; break;
      default: return "";
    }
  }
  std::string prefix;
  if (sc & scShift) prefix += "Shift+";
  if (sc & scCtrl) prefix += "Ctrl+";
  if (sc & scAlt) prefix += "Alt+";
  return prefix + name;
}

// ---------------------------------------------------------------------------
TMenuItem::TMenuItem(TComponent* owner) : TComponent(owner) {}

TMenuItem::~TMenuItem() {
  while (!items_.empty()) {
    TMenuItem* c = items_.back();
    c->BeforeDestruction();
    delete c;  // leaves this list itself
  }
  if (parent_) parent_->Remove(this);
}

void TMenuItem::Changed(bool rebuild) {
  if (TMenu* m = GetParentMenu()) m->MenuChanged(m, this, rebuild);
}

void TMenuItem::SetCaption(const std::string& v) {
  if (v == caption_) return;
  caption_ = v;
  Changed(true);
}

void TMenuItem::SetChecked(bool v) {
  if (v == checked_) return;
  checked_ = v;
  if (v && radio_item_ && parent_)
    for (TMenuItem* s : parent_->items_)
      if (s != this && s->radio_item_ && s->group_index_ == group_index_) s->checked_ = false;
  Changed(false);
}

void TMenuItem::SetRadioItem(bool v) {
  radio_item_ = v;
  Changed(false);
}

void TMenuItem::SetGroupIndex(int v) {
  group_index_ = v;
  Changed(false);
}

void TMenuItem::SetEnabled(bool v) {
  if (v == enabled_) return;
  enabled_ = v;
  Changed(false);
}

void TMenuItem::SetVisible(bool v) {
  if (v == visible_) return;
  visible_ = v;
  Changed(true);
}

void TMenuItem::SetDefault(bool v) {
  if (v && parent_)
    for (TMenuItem* s : parent_->items_) s->default_ = false;
  default_ = v;
  Changed(false);
}

void TMenuItem::SetBreak(TMenuBreak v) {
  break_ = v;
  Changed(true);
}

void TMenuItem::SetShortCut(TShortCut v) {
  shortcut_ = v;
  Changed(true);
}

void TMenuItem::SetImageIndex(int v) {
  image_index_ = v;
  Changed(false);
}

TMenuItem* TMenuItem::Items(int index) const {
  if (index < 0 || index >= Count()) throw EInvalidOperation("Menu index out of range");
  return items_[index];
}

int TMenuItem::MenuIndex() const { return parent_ ? parent_->IndexOf(this) : -1; }

void TMenuItem::SetMenuIndex(int v) {
  if (!parent_) return;
  TMenuItem* p = parent_;
  p->Remove(this);
  p->Insert(std::clamp(v, 0, p->Count()), this);
}

int TMenuItem::IndexOf(const TMenuItem* item) const {
  auto it = std::find(items_.begin(), items_.end(), item);
  return it == items_.end() ? -1 : static_cast<int>(it - items_.begin());
}

void TMenuItem::Add(TMenuItem* item) { Insert(Count(), item); }

void TMenuItem::Insert(int index, TMenuItem* item) {
  if (!item) return;
  if (item->parent_) throw EInvalidOperation("Menu inserted twice");
  for (const TMenuItem* p = this; p; p = p->parent_)
    if (p == item) throw EInvalidOperation("A menu item cannot hold itself");
  if (index < 0 || index > Count()) throw EInvalidOperation("Menu index out of range");
  items_.insert(items_.begin() + index, item);
  item->parent_ = this;
  Changed(true);
}

void TMenuItem::Delete(int index) {
  TMenuItem* item = Items(index);
  item->BeforeDestruction();
  delete item;
}

void TMenuItem::Remove(TMenuItem* item) {
  int i = IndexOf(item);
  if (i < 0) return;
  items_.erase(items_.begin() + i);
  item->parent_ = nullptr;
  Changed(true);
}

void TMenuItem::Clear() {
  while (Count() > 0) Delete(Count() - 1);
}

TMenu* TMenuItem::GetParentMenu() const {
  const TMenuItem* p = this;
  while (p->parent_) p = p->parent_;
  return p->menu_;
}

void TMenuItem::Click() {
  if (AutoCheck) SetChecked(!checked_);
  if (OnClick) OnClick(this);
}

void TMenuItem::DefaultMeasureItem(TCanvas* canvas, int& width, int& height) {
  if (IsLine()) {
    width = 0;
    height = kSeparatorHeight;
    return;
  }
  std::string text = StripAccel(caption_);
  int tw = canvas->TextWidth(text);
  std::string sc = ShortCutToText(shortcut_);
  width = 16 + tw + (sc.empty() ? 0 : 16 + canvas->TextWidth(sc)) + 8;
  height = std::max(kTextItemHeight, canvas->TextHeight("Ag") + 5);
}

void TMenuItem::MeasureItem(TCanvas* canvas, int& width, int& height) {
  DefaultMeasureItem(canvas, width, height);
  TMenu* m = GetParentMenu();
  if (m && m->OwnerDraw()) {
    // The handler gets the proposed size; the check area is added afterwards.
    if (OnMeasureItem) OnMeasureItem(this, canvas, width, height);
    width += kCheckWidth;
  }
}

void TMenuItem::DrawItem(TCanvas* canvas, TRect rect, bool selected) {
  TMenu* m = GetParentMenu();
  if (m && m->OwnerDraw() && OnDrawItem) OnDrawItem(this, canvas, rect, selected);
  else DefaultDrawItem(canvas, rect, selected);
}

void TMenuItem::DefaultDrawItem(TCanvas* c, TRect r, bool selected) {
  if (IsLine()) {
    ctl::Fill(c, r, clMenu);
    int y = r.Top + r.Height() / 2 - 1;
    c->Pen()->SetStyle(psSolid);
    c->Pen()->SetColor(clBtnShadow);
    c->MoveTo(r.Left + 1, y);
    c->LineTo(r.Right - 1, y);
    c->Pen()->SetColor(clBtnHighlight);
    c->MoveTo(r.Left + 1, y + 1);
    c->LineTo(r.Right - 1, y + 1);
    return;
  }
  ctl::Fill(c, r, selected ? clHighlight : clMenu);
  TColor text = !enabled_ ? clGrayText : selected ? clHighlightText : clMenuText;
  if (checked_) {
    int cx = r.Left + 3, cy = r.Top + (r.Height() - 7) / 2;
    if (radio_item_) {
      c->Pen()->SetColor(text);
      c->Brush()->SetStyle(bsSolid);
      c->Brush()->SetColor(text);
      c->Ellipse(cx + 1, cy + 1, cx + 6, cy + 6);
    } else {
      static const int kTop[7] = {2, 3, 4, 3, 2, 1, 0};
      for (int i = 0; i < 7; ++i)
        for (int k = 0; k < 3; ++k) c->SetPixels(cx + i, cy + kTop[i] + k, text);
    }
  }
  TMenu* m = GetParentMenu();
  if (m && m->Images() && image_index_ >= 0 && image_index_ < m->Images()->Count() && !checked_)
    m->Images()->Draw(c, r.Left + 1, r.Top + (r.Height() - m->Images()->Height()) / 2, image_index_, enabled_);
  if (default_) {
    TFontStyles st = c->Font()->Style();
    st.Include(fsBold);
    c->Font()->SetStyle(st);
  }
  TRect tr(r.Left + 16, r.Top, r.Right - 4, r.Bottom);
  UINT flags = DT_SINGLELINE | DT_VCENTER | DT_LEFT;
  if (!enabled_ && !selected) {
    ctl::Caption(c, tr, caption_, flags, false, text);
  } else {
    c->Brush()->SetStyle(bsClear);
    c->Font()->SetColor(text);
    RECT rr = tr;
    DrawTextA(c->Handle(), caption_.c_str(), -1, &rr, flags);
  }
  std::string sc = ShortCutToText(shortcut_);
  if (!sc.empty()) {
    c->Brush()->SetStyle(bsClear);
    c->Font()->SetColor(text);
    RECT rr = TRect(r.Left, r.Top, r.Right - 12, r.Bottom);
    DrawTextA(c->Handle(), sc.c_str(), -1, &rr, DT_SINGLELINE | DT_VCENTER | DT_RIGHT | DT_NOPREFIX);
  }
  if (Count() > 0) ctl::Arrow(c, TRect(r.Right - 12, r.Top, r.Right - 2, r.Bottom), 3, text);
}

// ---------------------------------------------------------------------------
TMenu::TMenu(TComponent* owner) : TComponent(owner), items_(std::make_unique<TMenuItem>(nullptr)) {
  items_->menu_ = this;
  // The form's key path asks for shortcuts through this handler.
  static const bool installed = [] {
    SetShortCutHandler([](TCustomForm* form, WORD key, TShiftState shift) { return IsFormShortCut(form, key, shift); });
    return true;
  }();
  (void)installed;
}

TMenu::~TMenu() {
  // Items owned elsewhere (by the form) leave with the menu's tree.
  items_.reset();
}

TMainMenu::~TMainMenu() {
  // A form keeps no pointer to a main menu that is gone.
  if (Screen)
    for (int i = 0; i < Screen->FormCount(); ++i)
      if (Screen->Forms(i)->Menu() == this) Screen->Forms(i)->SetMenu(nullptr);
}

void TMenu::SetImages(TCustomImageList* v) {
  if (images_) images_->RemoveFreeNotification(this);
  images_ = v;
  if (v) v->FreeNotification(this);
}

void TMenu::Notification(TComponent* component, TOperation operation) {
  TComponent::Notification(component, operation);
  if (operation == opRemove && component == images_) images_ = nullptr;
}

void TMenu::MenuChanged(TObject*, TMenuItem*, bool) {
  if (OnChange) OnChange(this);
}

TMenuItem* TMenu::FindItem(const std::function<bool(TMenuItem*)>& match) const {
  std::function<TMenuItem*(TMenuItem*)> walk = [&](TMenuItem* it) -> TMenuItem* {
    for (int i = 0; i < it->Count(); ++i) {
      TMenuItem* c = it->Items(i);
      if (match(c)) return c;
      if (TMenuItem* f = walk(c)) return f;
    }
    return nullptr;
  };
  return walk(items_.get());
}

bool TMenu::IsShortCut(WORD key, TShiftState shift) {
  TShortCut sc = ::ShortCut(key, shift);
  if (!sc) return false;
  std::function<bool(TMenuItem*)> usable = [&](TMenuItem* it) {
    for (TMenuItem* p = it; p && p->Parent(); p = p->Parent())
      if (!p->Enabled() || !p->Visible()) return false;
    return true;
  };
  TMenuItem* hit = FindItem([&](TMenuItem* it) { return it->ShortCut() == sc && usable(it); });
  if (!hit) return false;
  hit->Click();
  return true;
}

bool TMenu::IsShortCut(TMessage& m) {
  TShiftState shift;
  if (GetKeyState(VK_SHIFT) < 0) shift.Include(ssShift);
  if (GetKeyState(VK_CONTROL) < 0) shift.Include(ssCtrl);
  if (GetKeyState(VK_MENU) < 0 || (m.LParam & (1 << 29))) shift.Include(ssAlt);
  return IsShortCut(m.CharCode(), shift);
}

// ---------------------------------------------------------------------------
namespace {

class TMenuWindow;

// One run of the menu loop: the open levels (a window per submenu) and what the
// mouse and keyboard did.
struct MenuLoop {
  std::vector<TMenuWindow*> levels;
  TControl* opener = nullptr;
  TMenuItem* chosen = nullptr;
  bool done = false;
  bool moved = false;          // the pointer has been over an item since opening
  bool pressed_inside = false; // a press fell inside a menu window
  void OpenLevel(TMenuItem* parent, int x, int y, int fromLevel);
  void CloseFrom(int level);
  void Mouse(UINT msg, TPoint screen);
  void Key(WORD key);
  void Char(char ch);
  void Choose(TMenuWindow* w, int index);
};

class TMenuWindow : public ctl::TPopupWindow {
 public:
  TMenuWindow(MenuLoop* loop, TMenuItem* parent, TControl* opener)
      : TPopupWindow(opener ? GetParentForm(opener) : nullptr, opener), loop_(loop), parent_(parent) {
    Layout();
  }

  struct Slot {
    TMenuItem* item;
    TRect rect;  // inside the frame
  };
  std::vector<Slot> slots;
  std::vector<int> bars;  // x of the bars between columns
  int hot = -1;
  TMenuItem* open_sub = nullptr;
  TMenuItem* Parent() const { return parent_; }

  bool Selectable(int i) const { return i >= 0 && i < static_cast<int>(slots.size()) && !slots[i].item->IsLine(); }

  int SlotAt(TPoint screen) const {
    TPoint p = ScreenToClient(screen);
    p.X -= kFrame;
    p.Y -= kFrame;
    for (int i = 0; i < static_cast<int>(slots.size()); ++i)
      if (slots[i].rect.Contains(p.X, p.Y)) return i;
    return -1;
  }
  bool Contains(TPoint screen) const { return BoundsRect().Contains(screen.X, screen.Y); }
  void SetHot(int i) {
    if (i == hot) return;
    hot = i;
    Invalidate();
  }
  TRect SlotScreenRect(int i) const {
    TRect r = slots[i].rect;
    r.Offset(Left() + kFrame, Top() + kFrame);
    return r;
  }

  void Layout() {
    slots.clear();
    bars.clear();
    TCanvas* c = ctl::Measure(nullptr);
    PrepareCanvas(c, false);
    int x = 0, y = 0, colW = 0, maxH = 0;
    size_t colStart = 0;
    auto endColumn = [&] {
      for (size_t k = colStart; k < slots.size(); ++k) slots[k].rect.Right = slots[k].rect.Left + colW;
      x += colW;
    };
    for (int i = 0; i < parent_->Count(); ++i) {
      TMenuItem* it = parent_->Items(i);
      if (!it->Visible()) continue;
      if (it->Break() != mbNone && !slots.empty()) {
        endColumn();
        if (it->Break() == mbBarBreak) {
          bars.push_back(x + kBarGap / 2);
          x += kBarGap;
        }
        colStart = slots.size();
        colW = 0;
        y = 0;
      }
      int w = 0, h = 0;
      PrepareCanvas(c, false);
      it->MeasureItem(c, w, h);
      w = std::max(0, w);
      h = std::max(0, h);
      slots.push_back(Slot{it, TRect(x, y, x + w, y + h)});
      colW = std::max(colW, w);
      y += h;
      maxH = std::max(maxH, y);
    }
    endColumn();
    SetBounds(Left(), Top(), x + 2 * kFrame, maxH + 2 * kFrame);
  }

  void PrepareCanvas(TCanvas* c, bool selected) {
    c->Font()->SetName("MS Sans Serif");
    c->Font()->SetHeight(-11);
    c->Font()->SetStyle(TFontStyles{});
    c->Font()->SetColor(selected ? clHighlightText : clMenuText);
    c->Pen()->SetStyle(psSolid);
    c->Pen()->SetWidth(1);
    c->Pen()->SetColor(clBlack);
    c->Pen()->SetMode(pmCopy);
    c->Brush()->SetStyle(bsSolid);
    c->Brush()->SetColor(selected ? clHighlight : clMenu);
  }

 protected:
  void Paint() override {
    TCanvas* c = Canvas();
    TRect r = ClientRect();
    ctl::Fill(c, r, clMenu);
    TRect f = r;
    Frame3D(c, f, clBtnFace, cl3DDkShadow, 1);
    Frame3D(c, f, clBtnHighlight, clBtnShadow, 1);
    HDC dc = c->Handle();
    for (int x : bars) {
      c->Pen()->SetColor(clBtnShadow);
      c->MoveTo(kFrame + x - 1, kFrame);
      c->LineTo(kFrame + x - 1, r.Bottom - kFrame);
      c->Pen()->SetColor(clBtnHighlight);
      c->MoveTo(kFrame + x, kFrame);
      c->LineTo(kFrame + x, r.Bottom - kFrame);
    }
    // Items draw in the coordinates inside the frame, as owner-drawn items expect.
    for (int i = 0; i < static_cast<int>(slots.size()); ++i) {
      int saved = SaveDC(dc);
      OffsetViewportOrgEx(dc, kFrame, kFrame, nullptr);
      bool sel = i == hot && !slots[i].item->IsLine();
      PrepareCanvas(c, sel);
      slots[i].item->DrawItem(c, slots[i].rect, sel);
      RestoreDC(dc, saved);
    }
  }

  void MouseDown(TMouseButton b, TShiftState s, int x, int y) override {
    TPopupWindow::MouseDown(b, s, x, y);
    loop_->Mouse(b == mbLeft ? WM_LBUTTONDOWN : WM_RBUTTONDOWN, ClientToScreen(TPoint(x, y)));
  }
  void MouseUp(TMouseButton b, TShiftState s, int x, int y) override {
    TPopupWindow::MouseUp(b, s, x, y);
    loop_->Mouse(b == mbLeft ? WM_LBUTTONUP : WM_RBUTTONUP, ClientToScreen(TPoint(x, y)));
  }
  void MouseMove(TShiftState s, int x, int y) override {
    TPopupWindow::MouseMove(s, x, y);
    loop_->Mouse(WM_MOUSEMOVE, ClientToScreen(TPoint(x, y)));
  }

 private:
  MenuLoop* loop_;
  TMenuItem* parent_;
};

void MenuLoop::OpenLevel(TMenuItem* parent, int x, int y, int fromLevel) {
  CloseFrom(fromLevel + 1);
  auto* w = new TMenuWindow(this, parent, opener);
  levels.push_back(w);
  w->Popup(x, y, w->Width(), w->Height());
  if (levels.size() == 1) SetCaptureControl(w);  // the first window takes every mouse message
}

void MenuLoop::CloseFrom(int level) {
  while (static_cast<int>(levels.size()) > level) {
    // Hidden now, freed when the loop ends (a handler may still be running in it).
    levels.back()->Close();
    levels.pop_back();
  }
  if (!levels.empty() && level > 0) levels[level - 1]->open_sub = nullptr;
}

void MenuLoop::Choose(TMenuWindow* w, int index) {
  if (!w->Selectable(index)) return;
  TMenuItem* it = w->slots[index].item;
  if (!it->Enabled()) return;
  int level = static_cast<int>(std::find(levels.begin(), levels.end(), w) - levels.begin());
  if (it->Count() > 0) {
    TRect r = w->SlotScreenRect(index);
    if (w->open_sub != it) {
      OpenLevel(it, r.Right, r.Top - kFrame, level);
      w->open_sub = it;
    }
    return;
  }
  chosen = it;
  done = true;
}

void MenuLoop::Mouse(UINT msg, TPoint screen) {
  int level = -1, index = -1;
  for (int k = static_cast<int>(levels.size()) - 1; k >= 0; --k) {
    if (levels[k]->Contains(screen)) {
      level = k;
      index = levels[k]->SlotAt(screen);
      break;
    }
  }
  switch (msg) {
    case WM_MOUSEMOVE: {
      if (level < 0) {
        if (!levels.empty()) levels.back()->SetHot(levels.back()->open_sub ? levels.back()->hot : -1);
        return;
      }
      TMenuWindow* w = levels[level];
      if (index >= 0) moved = true;
      w->SetHot(w->Selectable(index) ? index : -1);
      if (w->Selectable(index) && w->slots[index].item->Count() > 0 && w->slots[index].item->Enabled()) {
        Choose(w, index);  // opens the submenu
      } else if (static_cast<int>(levels.size()) > level + 1 && index >= 0) {
        CloseFrom(level + 1);
      }
      return;
    }
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
      if (level < 0) {
        done = true;  // a press outside dismisses the menu
        return;
      }
      pressed_inside = true;
      return;
    default:  // a release
      if (level < 0 || index < 0 || !(moved || pressed_inside)) return;
      if (levels[level]->slots[index].item->Count() > 0) return;
      Choose(levels[level], index);
      return;
  }
}

void MenuLoop::Key(WORD key) {
  if (levels.empty()) return;
  TMenuWindow* w = levels.back();
  int n = static_cast<int>(w->slots.size());
  auto step = [&](int dir) {
    if (n == 0) return;
    int i = w->hot;
    for (int k = 0; k < n; ++k) {
      i = i < 0 ? (dir > 0 ? 0 : n - 1) : (i + dir + n) % n;
      if (w->Selectable(i)) {
        w->SetHot(i);
        return;
      }
    }
  };
  switch (key) {
    case VK_DOWN: step(1); break;
    case VK_UP: step(-1); break;
    case VK_RIGHT:
      if (w->Selectable(w->hot) && w->slots[w->hot].item->Count() > 0 && w->slots[w->hot].item->Enabled()) {
        Choose(w, w->hot);
        Key(VK_DOWN);
      }
      break;
    case VK_LEFT:
      if (levels.size() > 1) CloseFrom(static_cast<int>(levels.size()) - 1);
      break;
    case VK_ESCAPE:
      if (levels.size() > 1) CloseFrom(static_cast<int>(levels.size()) - 1);
      else done = true;
      break;
    case VK_RETURN:
      if (w->Selectable(w->hot)) {
        Choose(w, w->hot);
        if (!done) Key(VK_DOWN);
      }
      break;
    default: break;
  }
}

void MenuLoop::Char(char ch) {
  if (levels.empty() || static_cast<unsigned char>(ch) <= ' ') return;
  TMenuWindow* w = levels.back();
  for (int i = 0; i < static_cast<int>(w->slots.size()); ++i) {
    if (w->Selectable(i) && IsAccel(static_cast<unsigned char>(ch), w->slots[i].item->Caption())) {
      w->SetHot(i);
      Choose(w, i);
      if (!done) Key(VK_DOWN);
      return;
    }
  }
}

bool IsKeyMessage(UINT m) { return m >= WM_KEYFIRST && m <= WM_KEYLAST; }

}  // namespace

bool MenuLoopActive() { return g_loop_active; }

TMenuItem* TrackMenuItems(TMenuItem* item, int x, int y, TControl* opener) {
  if (!item || g_loop_active) return nullptr;
  bool any = false;
  for (int i = 0; i < item->Count(); ++i) any = any || item->Items(i)->Visible();
  if (!any) return nullptr;  // an empty menu shows nothing
  MenuLoop loop;
  loop.opener = opener;
  std::vector<TMenuWindow*> all;
  g_loop_active = true;
  TControl* oldCapture = GetCaptureControl();
  if (oldCapture) SetCaptureControl(nullptr);
  try {
    loop.OpenLevel(item, x, y, -1);
    TMenuWindow* first = loop.levels.front();
    all.push_back(first);
    while (!loop.done && Application && !Application->Terminated()) {
      // Keys belong to the menu while it is open, whichever window has the focus.
      MSG msg;
      if (PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE) && IsKeyMessage(msg.message)) {
        PeekMessageA(&msg, msg.hwnd, msg.message, msg.message, PM_REMOVE);
        if (msg.message == WM_KEYDOWN || msg.message == WM_SYSKEYDOWN) {
          if (msg.wParam == VK_MENU && msg.message == WM_SYSKEYDOWN) loop.done = true;
          else loop.Key(static_cast<WORD>(msg.wParam));
        } else if (msg.message == WM_CHAR || msg.message == WM_SYSCHAR) {
          loop.Char(static_cast<char>(msg.wParam));
        }
      } else {
        Application->HandleMessage();
      }
      for (TMenuWindow* w : loop.levels)
        if (std::find(all.begin(), all.end(), w) == all.end()) all.push_back(w);
      if (!first->Visible()) loop.done = true;
      else if (GetCaptureControl() != first) SetCaptureControl(first);
    }
  } catch (...) {
    g_loop_active = false;
    for (TMenuWindow* w : all) FreeComponent(w);
    throw;
  }
  loop.CloseFrom(0);
  if (GetCaptureControl() && std::find(all.begin(), all.end(), GetCaptureControl()) != all.end())
    SetCaptureControl(nullptr);
  for (TMenuWindow* w : all) FreeComponent(w);
  g_loop_active = false;
  if (loop.chosen) loop.chosen->Click();
  return loop.chosen;
}

bool IsFormShortCut(TComponent* form, WORD key, TShiftState shift) {
  auto* f = dynamic_cast<TCustomForm*>(form);
  if (!f || MenuLoopActive()) return false;
  if (TMainMenu* m = f->Menu())
    if (m->IsShortCut(key, shift)) return true;
  for (int i = 0; i < f->ComponentCount(); ++i)
    if (auto* p = dynamic_cast<TPopupMenu*>(f->Components(i)))
      if (p->IsShortCut(key, shift)) return true;
  return false;
}

// ---------------------------------------------------------------------------
TPopupMenu::TPopupMenu(TComponent* owner) : TMenu(owner) {
  // Right clicks on a control with a pop-up menu open it through this handler.
  static bool installed = false;
  if (!installed) {
    installed = true;
    SetPopupMenuHandler([](TPopupMenu* menu, int x, int y) {
      if (menu && menu->AutoPopup) menu->Popup(x, y);
    });
  }
}

void TPopupMenu::DoPopup() {
  if (OnPopup) OnPopup(this);
}

void TPopupMenu::Popup(int x, int y) {
  DoPopup();
  TControl* opener = dynamic_cast<TControl*>(PopupComponent);
  if (!opener) opener = dynamic_cast<TControl*>(Owner());
  TrackMenuItems(Items(), x, y, opener);
  if (OnClose) OnClose(this);
}
