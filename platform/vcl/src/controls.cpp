#include "winuser/window_manager.h"

#include <algorithm>
#include <cctype>

namespace {

// Runs a control's Paint with its canvas drawing on dc; the canvas lets go of dc
// afterwards, also when Paint raises.
void PaintThroughCanvas(TControl* control, std::unique_ptr<TControlCanvas>& canvas, bool& painting, HDC dc,
                        const std::function<void()>& paint) {
  if (!canvas) canvas = std::make_unique<TControlCanvas>(control);
  canvas->Lock();
  canvas->SetHandle(dc);
  painting = true;
  struct Release {
    TControlCanvas* canvas;
    bool& painting;
    ~Release() {
      painting = false;
      canvas->SetHandle(nullptr);
      canvas->Unlock();
    }
  } release{canvas.get(), painting};
  paint();
}

// A Parent* property (colour, font, hint): switching it on takes the parent's value
// at once.
void SetParentFlag(TControl* c, bool& flag, bool v, UINT changed) {
  if (v == flag) return;
  flag = v;
  if (v && c->Parent()) c->Perform(changed, 0, 0);
}

TPopupMenuHandler& PopupHandler() {
  static TPopupMenuHandler* h = new TPopupMenuHandler;
  return *h;
}

TShortCutHandler& ShortCutHandler() {
  static TShortCutHandler* h = new TShortCutHandler;
  return *h;
}

// The character the backend sends after a key press (0: none), so that a key used
// as a shortcut does not also type.
char TypedChar(WORD key, TShiftState shift) {
  if (shift.Contains(ssAlt)) return 0;
  if (shift.Contains(ssCtrl)) {
    if (key >= 'A' && key <= 'Z') return static_cast<char>(key - 'A' + 1);
    if (key == VK_RETURN) return 0x0A;
    if (key == VK_BACK) return 0x7F;
    if (key == VK_ESCAPE) return 0x1B;
    return 0;
  }
  if (key >= 'A' && key <= 'Z') return static_cast<char>(shift.Contains(ssShift) ? key : key + 32);
  if ((key >= '0' && key <= '9') || key == VK_SPACE || key == VK_RETURN || key == VK_ESCAPE ||
      key == VK_BACK || key == VK_TAB)
    return static_cast<char>(key);
  return 0;
}

bool IsMouseMessage(UINT msg) { return msg >= WM_MOUSEFIRST && msg <= WM_MOUSELAST && msg != WM_MOUSEWHEEL; }

}  // namespace

void SetPopupMenuHandler(TPopupMenuHandler handler) { PopupHandler() = std::move(handler); }
void SetShortCutHandler(TShortCutHandler handler) { ShortCutHandler() = std::move(handler); }

TShiftState KeysToShiftState(WPARAM keys) {
  TShiftState s;
  if (keys & MK_SHIFT) s.Include(ssShift);
  if (keys & MK_CONTROL) s.Include(ssCtrl);
  if (keys & MK_LBUTTON) s.Include(ssLeft);
  if (keys & MK_RBUTTON) s.Include(ssRight);
  if (keys & MK_MBUTTON) s.Include(ssMiddle);
  if (GetKeyState(VK_MENU) < 0) s.Include(ssAlt);
  return s;
}

TShiftState KeyboardStateToShiftState() {
  TShiftState s;
  if (GetKeyState(VK_SHIFT) < 0) s.Include(ssShift);
  if (GetKeyState(VK_CONTROL) < 0) s.Include(ssCtrl);
  if (GetKeyState(VK_MENU) < 0) s.Include(ssAlt);
  if (GetKeyState(VK_LBUTTON) < 0) s.Include(ssLeft);
  if (GetKeyState(VK_RBUTTON) < 0) s.Include(ssRight);
  if (GetKeyState(VK_MBUTTON) < 0) s.Include(ssMiddle);
  return s;
}

bool IsAccel(WORD key, const std::string& caption) {
  for (size_t i = 0; i + 1 < caption.size(); ++i) {
    if (caption[i] != '&') continue;
    if (caption[i + 1] == '&') {
      ++i;  // "&&" is a literal ampersand
      continue;
    }
    return std::toupper(static_cast<unsigned char>(caption[i + 1])) == std::toupper(key & 0xFF);
  }
  return false;
}

TCustomForm* GetParentForm(TControl* control) { return TopLevelForm(control); }

// ---------------------------------------------------------------------------
void TSizeConstraints::SetMinWidth(int v) { if (v != min_w_) { min_w_ = v; Changed(); } }
void TSizeConstraints::SetMinHeight(int v) { if (v != min_h_) { min_h_ = v; Changed(); } }
void TSizeConstraints::SetMaxWidth(int v) { if (v != max_w_) { max_w_ = v; Changed(); } }
void TSizeConstraints::SetMaxHeight(int v) { if (v != max_h_) { max_h_ = v; Changed(); } }

void TSizeConstraints::Assign(TPersistent* source) {
  if (auto* s = dynamic_cast<TSizeConstraints*>(source)) {
    min_w_ = s->min_w_; min_h_ = s->min_h_; max_w_ = s->max_w_; max_h_ = s->max_h_;
    Changed();
    return;
  }
  TPersistent::Assign(source);
}

void TSizeConstraints::Changed() {
  if (control_) control_->SetBounds(control_->Left(), control_->Top(), control_->Width(), control_->Height());
  if (OnChange) OnChange(this);
}

void TControlCanvas::Bind() {
  TCustomForm* f = TopLevelForm(control_);
  if (!f) {
    SetSurface(nullptr);
    return;
  }
  TSurface& s = f->Surface();
  if (s.Width != f->ClientWidth() || s.Height != f->ClientHeight()) {
    std::lock_guard<std::recursive_mutex> lock(s.Lock);
    s.Resize(f->ClientWidth(), f->ClientHeight(), 0);
    f->Invalidate();
  }
  SetSurface(&s);
  TPoint off = OffsetInForm(control_);
  SetOrigin(off.X, off.Y);
  TRect cr = control_->ClientRect();
  SetClipRect(TRect(off.X, off.Y, off.X + cr.Width(), off.Y + cr.Height()));
  // What is drawn outside painting reaches the screen at the next present.
  std::lock_guard<std::mutex> lock(WindowManager::Get().present_mu);
  WindowManager::Get().present_requests.push_back(f->Handle());
}

// ---------------------------------------------------------------------------
TControl::TControl(TComponent* owner)
    : TComponent(owner), font_(std::make_unique<TFont>()), constraints_(std::make_unique<TSizeConstraints>(this)) {
  WindowProc = [this](TMessage& m) { WndProc(m); };
  font_->OnChange = [this](TObject* s) { FontChanged(s); };
}

TControl::~TControl() {
  WindowManager::Get().ControlDestroyed(this);
  if (popup_component_) popup_component_->RemoveFreeNotification(this);
  if (parent_) SetParent(nullptr);
}

TRect TControl::ClientRect() const { return TRect(0, 0, width_, height_); }

void TControl::SetClientSize(int width, int height) {
  TRect cr = ClientRect();
  SetBounds(left_, top_, width_ + width - cr.Width(), height_ + height - cr.Height());
}

TPoint TControl::ClientOrigin() const {
  if (!parent_) return TPoint(left_, top_);
  TPoint p = parent_->ClientOrigin();
  return TPoint(p.X + left_, p.Y + top_);
}

TPoint TControl::ClientToScreen(TPoint p) const {
  TPoint o = ClientOrigin();
  return TPoint(p.X + o.X, p.Y + o.Y);
}

TPoint TControl::ScreenToClient(TPoint p) const {
  TPoint o = ClientOrigin();
  return TPoint(p.X - o.X, p.Y - o.Y);
}

bool TControl::CanResize(int& newWidth, int& newHeight) {
  bool ok = true;
  if (OnCanResize) OnCanResize(this, newWidth, newHeight, ok);
  return ok;
}

bool TControl::CanAutoSize(int&, int&) { return true; }

void TControl::ConstrainedResize(int&, int&, int&, int&) {}

void TControl::SetBounds(int left, int top, int width, int height) {
  if (left == left_ && top == top_ && width == width_ && height == height_) return;
  if (width != width_ || height != height_) {
    int minW = constraints_->MinWidth(), minH = constraints_->MinHeight();
    int maxW = constraints_->MaxWidth(), maxH = constraints_->MaxHeight();
    ConstrainedResize(minW, minH, maxW, maxH);
    if (maxW > 0) width = std::min(width, maxW);
    if (maxH > 0) height = std::min(height, maxH);
    width = std::max(width, minW);
    height = std::max(height, minH);
    width = std::max(width, 0);
    height = std::max(height, 0);
    int w = width, h = height;
    if (CanResize(w, h)) {
      width = w;
      height = h;
    } else {
      width = width_;
      height = height_;
    }
    if (left == left_ && top == top_ && width == width_ && height == height_) return;
  }
  bool sized = width != width_ || height != height_;
  bool moved = left != left_ || top != top_;
  Invalidate();  // the old place
  left_ = left;
  top_ = top;
  width_ = width;
  height_ = height;
  UpdateAnchorRules();
  Invalidate();  // the new place
  // A window hears of it through its handle, so a replaced window procedure does too.
  auto* w = dynamic_cast<TWinControl*>(this);
  auto notify = [&](UINT msg, WPARAM wp, LPARAM lp) {
    if (w)
      SendMessageA(w->Handle(), msg, wp, lp);
    else
      Perform(msg, wp, lp);
  };
  if (moved) notify(WM_MOVE, 0, MAKELPARAM(left_, top_));
  if (sized) notify(WM_SIZE, SIZE_RESTORED, MAKELPARAM(ClientWidth(), ClientHeight()));
  RequestAlign();
}

void TControl::UpdateAnchorRules() {
  if (!parent_) return;
  TRect pr = parent_->ClientRect();
  anchor_right_ = pr.Width() - (left_ + width_);
  anchor_bottom_ = pr.Height() - (top_ + height_);
  anchors_recorded_ = true;
}

void TControl::RequestAlign() {
  if (!parent_ || HasState(csLoading)) return;
  if (align_ != alNone || parent_->AutoSize()) parent_->Realign();
}

void TControl::AdjustSize() {}

void TControl::Resize() {
  if (OnResize) OnResize(this);
}

void TControl::SetParent(TWinControl* parent) {
  if (parent == parent_) return;
  if (parent == this) throw EInvalidOperation("A control cannot have itself as its parent");
  if (parent_) {
    Invalidate();
    parent_->RemoveControl(this);
  }
  if (parent) {
    parent->InsertControl(this);
    UpdateAnchorRules();
    if (parent_color_) {
      color_ = parent->Color();
    }
    if (parent_font_) {
      updating_font_ = true;
      font_->Assign(parent->Font());
      updating_font_ = false;
    }
    if (parent_show_hint_) show_hint_ = parent->ShowHint();
    Invalidate();
    RequestAlign();
  }
}

void TControl::SetAlign(TAlign v) {
  if (v == align_) return;
  align_ = v;
  if (parent_) parent_->Realign();
}

void TControl::SetAnchors(TAnchors v) {
  anchors_ = v;
  UpdateAnchorRules();
}

void TControl::SetVisible(bool v) {
  if (v == visible_) return;
  if (!v) Invalidate();
  visible_ = v;
  Perform(CM_VISIBLECHANGED, v, 0);
  if (v) Invalidate();
  RequestAlign();
}

void TControl::Show() { SetVisible(true); }

void TControl::SetEnabled(bool v) {
  if (v == enabled_) return;
  enabled_ = v;
  Perform(CM_ENABLEDCHANGED, 0, 0);
}

void TControl::SetColor(TColor v) {
  if (v == color_) {
    parent_color_ = false;
    return;
  }
  color_ = v;
  parent_color_ = false;
  Perform(CM_COLORCHANGED, 0, 0);
}

void TControl::SetParentColor(bool v) { SetParentFlag(this, parent_color_, v, CM_PARENTCOLORCHANGED); }

void TControl::SetParentFont(bool v) { SetParentFlag(this, parent_font_, v, CM_PARENTFONTCHANGED); }

void TControl::FontChanged(TObject*) {
  if (!updating_font_) parent_font_ = false;
  Perform(CM_FONTCHANGED, 0, 0);
}

void TControl::SetText(const std::string& v) {
  if (v == text_) return;
  text_ = v;
  Perform(CM_TEXTCHANGED, 0, 0);
}

void TControl::SetAutoSize(bool v) {
  if (v == auto_size_) return;
  auto_size_ = v;
  if (v) AdjustSize();
}

void TControl::SetShowHint(bool v) {
  parent_show_hint_ = false;
  if (v == show_hint_) return;
  show_hint_ = v;
  Perform(CM_SHOWHINTCHANGED, 0, 0);
}

void TControl::SetParentShowHint(bool v) { SetParentFlag(this, parent_show_hint_, v, CM_PARENTSHOWHINTCHANGED); }

void TControl::SetCursor(TCursor v) {
  if (v == cursor_) return;
  cursor_ = v;
  Perform(CM_CURSORCHANGED, 0, 0);
}

void TControl::SetPopupMenuImpl(TPopupMenu* menu, TComponent* asComponent) {
  if (popup_component_) popup_component_->RemoveFreeNotification(this);
  popup_menu_ = menu;
  popup_component_ = asComponent;
  if (asComponent) asComponent->FreeNotification(this);
}

void TControl::Notification(TComponent* component, TOperation operation) {
  TComponent::Notification(component, operation);
  if (operation == opRemove && component && component == popup_component_) {
    popup_menu_ = nullptr;
    popup_component_ = nullptr;
  }
}

void TControl::Loaded() {
  TComponent::Loaded();
  RequestAlign();
}

void TControl::Invalidate() {
  if (!visible_ && !dynamic_cast<TCustomForm*>(this)) return;
  TCustomForm* f = TopLevelForm(this);
  if (!f) return;
  if (f == this) {
    WindowManager::Get().InvalidateFormRect(f, f->ClientRect());
    return;
  }
  if (!parent_ || !parent_->Showing()) return;
  TPoint off = OffsetInForm(parent_);
  TRect r = BoundsRect();
  r.Offset(off.X, off.Y);
  WindowManager::Get().InvalidateFormRect(f, r);
}

void TControl::Update() {
  if (TCustomForm* f = TopLevelForm(this)) WindowManager::Get().PaintForm(f);
}

void TControl::Repaint() {
  Invalidate();
  Update();
}

namespace {

// Moves c within its group of siblings (graphic or windowed) to the top or bottom.
template <class T>
bool MoveInList(std::vector<T*>& list, TControl* c, bool toFront) {
  auto it = std::find(list.begin(), list.end(), c);
  if (it == list.end()) return false;
  T* item = *it;
  list.erase(it);
  if (toFront)
    list.push_back(item);
  else
    list.insert(list.begin(), item);
  return true;
}

}  // namespace

void TControl::BringToFront() {
  if (!parent_) return;
  if (MoveInList(parent_->win_controls_, this, true) || MoveInList(parent_->controls_, this, true)) Invalidate();
}

void TControl::SendToBack() {
  if (!parent_) return;
  if (MoveInList(parent_->win_controls_, this, false) || MoveInList(parent_->controls_, this, false)) Invalidate();
}

bool TControl::Showing() const { return visible_ && parent_ && parent_->Showing(); }

LRESULT TControl::Perform(UINT msg, WPARAM wParam, LPARAM lParam) {
  TMessage m{msg, wParam, lParam, 0};
  if (WindowProc)
    WindowProc(m);
  else
    WndProc(m);
  return m.Result;
}

void TControl::WndProc(TMessage& m) {
  if (IsMouseMessage(m.Msg)) {
    // Without csDoubleClicks a double click is just another press.
    if (!(control_style_ & csDoubleClicks)) {
      if (m.Msg == WM_LBUTTONDBLCLK) m.Msg = WM_LBUTTONDOWN;
      else if (m.Msg == WM_RBUTTONDBLCLK) m.Msg = WM_RBUTTONDOWN;
      else if (m.Msg == WM_MBUTTONDBLCLK) m.Msg = WM_MBUTTONDOWN;
    }
  }
  Dispatch(m);
}

void TControl::Dispatch(TMessage& m) {
  switch (m.Msg) {
    case WM_MOUSEMOVE: WMMouseMove(m); break;
    case WM_LBUTTONDOWN: WMLButtonDown(m); break;
    case WM_LBUTTONUP: WMLButtonUp(m); break;
    case WM_LBUTTONDBLCLK: WMLButtonDblClk(m); break;
    case WM_RBUTTONDOWN: WMRButtonDown(m); break;
    case WM_RBUTTONUP: WMRButtonUp(m); break;
    case WM_RBUTTONDBLCLK: WMRButtonDblClk(m); break;
    case WM_MBUTTONDOWN: case WM_MBUTTONDBLCLK: WMMButtonDown(m); break;
    case WM_MBUTTONUP: WMMButtonUp(m); break;
    case WM_CONTEXTMENU: WMContextMenu(m); break;
    case WM_CANCELMODE: WMCancelMode(m); break;
    case WM_PAINT: WMPaint(m); break;
    case WM_ERASEBKGND: WMEraseBkgnd(m); break;
    case WM_SIZE: WMSize(m); break;
    case WM_MOVE: WMMove(m); break;
    case CM_MOUSEENTER: CMMouseEnter(m); break;
    case CM_MOUSELEAVE: CMMouseLeave(m); break;
    case CM_ENABLEDCHANGED: CMEnabledChanged(m); break;
    case CM_VISIBLECHANGED: CMVisibleChanged(m); break;
    case CM_COLORCHANGED: CMColorChanged(m); break;
    case CM_FONTCHANGED: CMFontChanged(m); break;
    case CM_TEXTCHANGED: CMTextChanged(m); break;
    case CM_PARENTCOLORCHANGED: CMParentColorChanged(m); break;
    case CM_PARENTFONTCHANGED: CMParentFontChanged(m); break;
    case CM_PARENTSHOWHINTCHANGED: CMParentShowHintChanged(m); break;
    case CM_SHOWHINTCHANGED: CMShowHintChanged(m); break;
    case CM_CURSORCHANGED: CMCursorChanged(m); break;
    case CM_HITTEST: CMHitTest(m); break;
    case CM_DIALOGCHAR: CMDialogChar(m); break;
    case CM_DIALOGKEY: CMDialogKey(m); break;
    case CM_FOCUSCHANGED: CMFocusChanged(m); break;
    default: DefaultHandler(m); break;
  }
}

void TControl::DefaultHandler(TMessage& m) {
  switch (m.Msg) {
    case WM_GETTEXTLENGTH:
      m.Result = static_cast<LRESULT>(GetText().size());
      break;
    default:
      break;
  }
}

bool TControl::MouseCapture() const { return WindowManager::Get().capture_control == this; }

void TControl::SetMouseCapture(bool v) {
  if (v == MouseCapture()) return;
  SetCaptureControl(v ? this : nullptr);
}

void TControl::Click() {
  if (OnClick) OnClick(this);
}

void TControl::DblClick() {
  if (OnDblClick) OnDblClick(this);
}

void TControl::MouseDown(TMouseButton button, TShiftState shift, int x, int y) {
  if (OnMouseDown) OnMouseDown(this, button, shift, x, y);
}

void TControl::MouseUp(TMouseButton button, TShiftState shift, int x, int y) {
  if (OnMouseUp) OnMouseUp(this, button, shift, x, y);
}

void TControl::MouseMove(TShiftState shift, int x, int y) {
  if (OnMouseMove) OnMouseMove(this, shift, x, y);
}

void TControl::DoContextPopup(TPoint mousePos, bool& handled) {
  if (OnContextPopup) OnContextPopup(this, mousePos, handled);
}

void TControl::DoMouseDown(TMessage& m, TMouseButton button, TShiftState extra) {
  if (control_style_ & csNoStdEvents) return;
  MouseDown(button, KeysToShiftState(m.Keys()) + extra, m.XPos(), m.YPos());
}

void TControl::DoMouseUp(TMessage& m, TMouseButton button) {
  if (control_style_ & csNoStdEvents) return;
  MouseUp(button, KeysToShiftState(m.Keys()), m.XPos(), m.YPos());
}

void TControl::WMMouseMove(TMessage& m) {
  if (!(control_style_ & csNoStdEvents)) MouseMove(KeysToShiftState(m.Keys()), m.XPos(), m.YPos());
}

void TControl::WMLButtonDown(TMessage& m) {
  if (control_style_ & csCaptureMouse) SetMouseCapture(true);
  if (control_style_ & csClickEvents) control_state_ |= csClicked;
  DoMouseDown(m, mbLeft, {});
}

void TControl::WMLButtonDblClk(TMessage& m) {
  if (control_style_ & csCaptureMouse) SetMouseCapture(true);
  if (control_style_ & csClickEvents) DblClick();
  DoMouseDown(m, mbLeft, {ssDouble});
}

void TControl::WMLButtonUp(TMessage& m) {
  if (control_style_ & csCaptureMouse) SetMouseCapture(false);
  if (control_state_ & csClicked) {
    control_state_ &= ~csClicked;
    if (ClientRect().Contains(m.XPos(), m.YPos())) Click();
  }
  DoMouseUp(m, mbLeft);
}

void TControl::WMRButtonDown(TMessage& m) {
  if (control_style_ & csCaptureMouse) SetMouseCapture(true);
  DoMouseDown(m, mbRight, {});
}

void TControl::WMRButtonDblClk(TMessage& m) {
  if (control_style_ & csCaptureMouse) SetMouseCapture(true);
  DoMouseDown(m, mbRight, {ssDouble});
}

void TControl::WMRButtonUp(TMessage& m) {
  if (control_style_ & csCaptureMouse) SetMouseCapture(false);
  DoMouseUp(m, mbRight);
}

void TControl::WMMButtonDown(TMessage& m) {
  if (control_style_ & csCaptureMouse) SetMouseCapture(true);
  DoMouseDown(m, mbMiddle, m.Msg == WM_MBUTTONDBLCLK ? TShiftState{ssDouble} : TShiftState{});
}

void TControl::WMMButtonUp(TMessage& m) {
  if (control_style_ & csCaptureMouse) SetMouseCapture(false);
  DoMouseUp(m, mbMiddle);
}

void TControl::WMContextMenu(TMessage& m) {
  if (m.Result != 0) return;
  TPoint screen(GET_X_LPARAM(m.LParam), GET_Y_LPARAM(m.LParam));
  bool handled = false;
  DoContextPopup(ScreenToClient(screen), handled);
  if (handled) {
    m.Result = 1;
    return;
  }
  if (popup_menu_ && PopupHandler()) {
    PopupHandler()(popup_menu_, screen.X, screen.Y);
    m.Result = 1;
    return;
  }
  DefaultHandler(m);
}

void TControl::WMCancelMode(TMessage& m) {
  if (MouseCapture()) SetMouseCapture(false);
  control_state_ &= ~csClicked;
  DefaultHandler(m);
}

void TControl::WMPaint(TMessage& m) { DefaultHandler(m); }
void TControl::WMEraseBkgnd(TMessage& m) { DefaultHandler(m); }

void TControl::WMSize(TMessage& m) {
  DefaultHandler(m);
  if (!HasState(csLoading)) Resize();
}

void TControl::WMMove(TMessage& m) { DefaultHandler(m); }
void TControl::CMMouseEnter(TMessage& m) { DefaultHandler(m); }
void TControl::CMMouseLeave(TMessage& m) { DefaultHandler(m); }
void TControl::CMEnabledChanged(TMessage& m) {
  Invalidate();
  DefaultHandler(m);
}
void TControl::CMVisibleChanged(TMessage& m) { DefaultHandler(m); }
void TControl::CMColorChanged(TMessage& m) {
  Invalidate();
  DefaultHandler(m);
}
void TControl::CMFontChanged(TMessage& m) {
  Invalidate();
  DefaultHandler(m);
}
void TControl::CMTextChanged(TMessage& m) {
  Invalidate();
  DefaultHandler(m);
}
void TControl::CMParentColorChanged(TMessage&) {
  if (!parent_color_ || !parent_) return;
  if (color_ != parent_->Color()) {
    color_ = parent_->Color();
    Perform(CM_COLORCHANGED, 0, 0);
  }
  parent_color_ = true;
}
void TControl::CMParentFontChanged(TMessage&) {
  if (!parent_font_ || !parent_) return;
  updating_font_ = true;
  font_->Assign(parent_->Font());
  updating_font_ = false;
  parent_font_ = true;
}
void TControl::CMParentShowHintChanged(TMessage&) {
  if (!parent_show_hint_ || !parent_) return;
  if (show_hint_ != parent_->ShowHint()) {
    show_hint_ = parent_->ShowHint();
    Perform(CM_SHOWHINTCHANGED, 0, 0);
  }
  parent_show_hint_ = true;
}
void TControl::CMShowHintChanged(TMessage& m) { DefaultHandler(m); }
void TControl::CMCursorChanged(TMessage& m) { DefaultHandler(m); }
void TControl::CMHitTest(TMessage& m) { m.Result = HTCLIENT; }
void TControl::CMDialogChar(TMessage& m) { DefaultHandler(m); }
void TControl::CMDialogKey(TMessage& m) { DefaultHandler(m); }
void TControl::CMFocusChanged(TMessage& m) { DefaultHandler(m); }

// ---------------------------------------------------------------------------
TWinControl::TWinControl(TComponent* owner) : TControl(owner), brush_(std::make_unique<TBrush>()) {
  brush_->SetColor(Color());
  handle_ = WindowManager::Get().Register(this, nullptr);
}

void TWinControl::DestroyChildren() {
  // Children go with their parent, whoever owns them.
  while (ControlCount() > 0) {
    TControl* c = Controls(ControlCount() - 1);
    RemoveControl(c);
    c->BeforeDestruction();
    delete c;
  }
}

TWinControl::~TWinControl() {
  SetComponentState(csDestroying, true);  // no realigning of what is going away
  DestroyChildren();
  // Leave the parent while this is still known to be a window.
  if (Parent()) SetParent(nullptr);
  if (TCustomForm* f = GetParentForm(this)) {
    if (f != this && f->ActiveControl() == this) f->SetActiveControl(nullptr);
  }
  WindowManager::Get().ControlDestroyed(this);
  WindowManager::Get().Unregister(handle_);
}

TControl* TWinControl::Controls(int index) const {
  int n = static_cast<int>(controls_.size());
  if (index < 0 || index >= ControlCount()) throw Exception("Control index out of bounds");
  return index < n ? controls_[index] : win_controls_[index - n];
}

void TWinControl::InsertControl(TControl* control) {
  control->parent_ = this;
  if (auto* w = dynamic_cast<TWinControl*>(control)) {
    win_controls_.push_back(w);
    tab_list_.push_back(w);
  } else {
    controls_.push_back(control);
  }
  Perform(CM_CONTROLLISTCHANGE, reinterpret_cast<WPARAM>(control), TRUE);
}

void TWinControl::RemoveControl(TControl* control) {
  if (TCustomForm* f = GetParentForm(this)) {
    if (auto* w = dynamic_cast<TWinControl*>(control)) {
      TWinControl* a = f->ActiveControl();
      for (TControl* c = a; c; c = c->Parent())
        if (c == w) {
          f->SetActiveControl(nullptr);
          break;
        }
    }
  }
  if (auto* w = dynamic_cast<TWinControl*>(control)) {
    win_controls_.erase(std::remove(win_controls_.begin(), win_controls_.end(), w), win_controls_.end());
    tab_list_.erase(std::remove(tab_list_.begin(), tab_list_.end(), w), tab_list_.end());
  } else {
    controls_.erase(std::remove(controls_.begin(), controls_.end(), control), controls_.end());
  }
  control->parent_ = nullptr;
  Perform(CM_CONTROLLISTCHANGE, reinterpret_cast<WPARAM>(control), FALSE);
  Realign();
}

bool TWinControl::ContainsControl(TControl* control) const {
  for (TControl* c = control; c; c = c->Parent())
    if (c == this) return true;
  return false;
}

TControl* TWinControl::ControlAtPos(TPoint pos, bool allowDisabled, bool allowWinControls) const {
  auto hit = [&](TControl* c) {
    if (!c->Visible() || (!allowDisabled && !c->Enabled())) return false;
    if (!c->BoundsRect().Contains(pos.X, pos.Y)) return false;
    // A control may declare parts of itself transparent to the mouse.
    return c->Perform(CM_HITTEST, 0, MAKELPARAM(pos.X - c->Left(), pos.Y - c->Top())) != 0;
  };
  if (allowWinControls)
    for (auto it = win_controls_.rbegin(); it != win_controls_.rend(); ++it)
      if (hit(*it)) return *it;
  for (auto it = controls_.rbegin(); it != controls_.rend(); ++it)
    if (hit(*it)) return *it;
  return nullptr;
}

TControl* TWinControl::FindChildControl(const std::string& name) const {
  for (int i = 0; i < ControlCount(); ++i)
    if (SameText(Controls(i)->Name(), name)) return Controls(i);
  return nullptr;
}

bool TWinControl::Focused() const { return WindowManager::Get().focus == handle_; }

bool TWinControl::CanFocus() const {
  TCustomForm* f = GetParentForm(const_cast<TWinControl*>(this));
  if (!f) return false;
  for (const TControl* c = this; c; c = c->Parent())
    if (!c->Visible() || !c->Enabled()) return false;
  return true;
}

void TWinControl::SetFocus() {
  TCustomForm* f = GetParentForm(this);
  if (!f) return;
  if (!CanFocus()) throw EInvalidOperation("Cannot focus a disabled or invisible window");
  f->FocusControl(this);
}

int TWinControl::TabOrder() const {
  if (!Parent()) return -1;
  auto& l = Parent()->tab_list_;
  auto it = std::find(l.begin(), l.end(), this);
  return it == l.end() ? -1 : static_cast<int>(it - l.begin());
}

void TWinControl::SetTabOrder(int order) {
  if (!Parent()) return;
  auto& l = Parent()->tab_list_;
  auto it = std::find(l.begin(), l.end(), this);
  if (it == l.end()) return;
  l.erase(it);
  order = std::clamp(order, 0, static_cast<int>(l.size()));
  l.insert(l.begin() + order, this);
}

void TWinControl::SetTabStop(bool v) {
  if (v == tab_stop_) return;
  tab_stop_ = v;
  Perform(CM_TABSTOPCHANGED, 0, 0);
}

void TWinControl::GetTabOrderList(std::vector<TWinControl*>& list) const {
  for (TWinControl* w : tab_list_) {
    list.push_back(w);
    w->GetTabOrderList(list);
  }
}

TWinControl* TWinControl::FindNextControl(TWinControl* cur, bool goForward, bool checkTabStop,
                                          bool checkParent) const {
  std::vector<TWinControl*> list;
  GetTabOrderList(list);
  if (list.empty()) return nullptr;
  int n = static_cast<int>(list.size());
  int start = -1;
  for (int i = 0; i < n; ++i)
    if (list[i] == cur) start = i;
  if (start < 0) start = goForward ? n - 1 : 0;
  int i = start;
  for (int step = 0; step < n; ++step) {
    i = goForward ? (i + 1) % n : (i - 1 + n) % n;
    TWinControl* w = list[i];
    if (w == cur) break;
    if ((!checkTabStop || w->TabStop()) && (!checkParent || w->Parent() == this) && w->CanFocus()) return w;
  }
  return nullptr;
}

void TWinControl::SelectNext(TWinControl* cur, bool goForward, bool checkTabStop) {
  TWinControl* next = FindNextControl(cur, goForward, checkTabStop, false);
  if (next) next->SetFocus();
}

void TWinControl::SetBorderWidth(int v) {
  if (v == border_width_) return;
  border_width_ = std::max(0, v);
  Realign();
  Invalidate();
}

TRect TWinControl::ClientRect() const {
  return TRect(0, 0, std::max(0, Width() - 2 * border_width_), std::max(0, Height() - 2 * border_width_));
}

void TWinControl::EnableAlign() {
  if (align_disabled_ > 0 && --align_disabled_ == 0) Realign();
}

void TWinControl::Loaded() {
  TControl::Loaded();
  Realign();
}

void TWinControl::Realign() {
  if (align_disabled_ > 0 || aligning_ || HasState(csLoading | csDestroying)) return;
  AlignAll();
  AdjustSize();
}

void TWinControl::AlignAll() {
  aligning_ = true;
  TRect r = ClientRect();
  try {
    AlignControls(nullptr, r);
  } catch (...) {
    aligning_ = false;
    throw;
  }
  aligning_ = false;
}

void TWinControl::AlignControls(TControl*, TRect& rect) {
  auto place = [](TControl* c, int l, int t, int w, int h) { c->SetBounds(l, t, std::max(w, 0), std::max(h, 0)); };
  std::vector<TControl*> all;
  for (int i = 0; i < ControlCount(); ++i) all.push_back(Controls(i));
  // Anchored controls follow the parent's size first.
  for (TControl* c : all) {
    if (c->Align() != alNone || !c->anchors_recorded_) continue;
    TRect pr = ClientRect();
    TAnchors a = c->Anchors();
    int l = c->Left(), t = c->Top(), w = c->Width(), h = c->Height();
    int right = c->anchor_right_, bottom = c->anchor_bottom_;
    if (a.Contains(akRight)) {
      if (a.Contains(akLeft)) w = pr.Width() - right - l;
      else l = pr.Width() - right - w;
    }
    if (a.Contains(akBottom)) {
      if (a.Contains(akTop)) h = pr.Height() - bottom - t;
      else t = pr.Height() - bottom - h;
    }
    if (l != c->Left() || t != c->Top() || w != c->Width() || h != c->Height()) {
      place(c, l, t, w, h);
      c->anchor_right_ = right;
      c->anchor_bottom_ = bottom;
    }
  }
  for (TAlign kind : {alTop, alBottom, alLeft, alRight, alClient}) {
    for (TControl* c : all) {
      if (c->Align() != kind || !c->Visible()) continue;
      switch (kind) {
        case alTop:
          place(c, rect.Left, rect.Top, rect.Width(), c->Height());
          rect.Top += c->Height();
          break;
        case alBottom:
          place(c, rect.Left, rect.Bottom - c->Height(), rect.Width(), c->Height());
          rect.Bottom -= c->Height();
          break;
        case alLeft:
          place(c, rect.Left, rect.Top, c->Width(), rect.Height());
          rect.Left += c->Width();
          break;
        case alRight:
          place(c, rect.Right - c->Width(), rect.Top, c->Width(), rect.Height());
          rect.Right -= c->Width();
          break;
        case alClient:
          place(c, rect.Left, rect.Top, rect.Width(), rect.Height());
          break;
        default:
          break;
      }
    }
  }
}

void TWinControl::AdjustSize() {
  if (!AutoSize() || adjusting_size_ || HasState(csLoading | csDestroying)) return;
  // The client area hugs the extent of the visible children.
  int right = 0, bottom = 0;
  bool any = false;
  for (int i = 0; i < ControlCount(); ++i) {
    TControl* c = Controls(i);
    if (!c->Visible() || c->Align() == alClient) continue;
    right = std::max(right, c->Left() + c->Width());
    bottom = std::max(bottom, c->Top() + c->Height());
    any = true;
  }
  if (!any) return;
  adjusting_size_ = true;
  try {
    SetClientSize(right, bottom);
  } catch (...) {
    adjusting_size_ = false;
    throw;
  }
  adjusting_size_ = false;
}

void TWinControl::Broadcast(TMessage& message) {
  for (int i = 0; i < ControlCount(); ++i) {
    TControl* c = Controls(i);
    c->WindowProc ? c->WindowProc(message) : c->WndProc(message);
    if (message.Result != 0) return;
  }
}

void TWinControl::NotifyControls(UINT msg) {
  for (int i = 0; i < ControlCount(); ++i) Controls(i)->Perform(msg, 0, 0);
}

void TWinControl::PaintControls(HDC dc, TControl* first) {
  bool started = first == nullptr;
  for (TControl* c : std::vector<TControl*>(controls_)) {
    if (!started) {
      if (c == first) started = true;
      else continue;
    }
    if (!c->Visible()) continue;
    int saved = SaveDC(dc);
    OffsetViewportOrgEx(dc, c->Left(), c->Top(), nullptr);
    IntersectClipRect(dc, 0, 0, c->Width(), c->Height());
    RECT box;
    if (GetClipBox(dc, &box) > 1) c->Perform(WM_PAINT, reinterpret_cast<WPARAM>(dc), 0);
    RestoreDC(dc, saved);
  }
}

void TWinControl::Invalidate() {
  if (!Visible() && !dynamic_cast<TCustomForm*>(this)) return;
  if (Parent() || dynamic_cast<TCustomForm*>(this)) {
    TControl::Invalidate();
  }
}

void TWinControl::Repaint() {
  Invalidate();
  Update();
}

bool TWinControl::Showing() const { return Visible() && Parent() && Parent()->Showing(); }

void TWinControl::SetBounds(int left, int top, int width, int height) { TControl::SetBounds(left, top, width, height); }

void TWinControl::WndProc(TMessage& m) {
  if (IsMouseMessage(m.Msg)) {
    // Mouse messages of a window go to the graphic child under the pointer, or to
    // the one that holds the capture.
    TControl* cap = WindowManager::Get().capture_control;
    TControl* target = nullptr;
    TPoint p(m.XPos(), m.YPos());
    if (cap && cap->Parent() == this && !dynamic_cast<TWinControl*>(cap))
      target = cap;
    else if (!cap || cap == this)
      target = ControlAtPos(p, false);
    if (target) {
      TMessage cm = m;
      cm.LParam = MAKELPARAM(p.X - target->Left(), p.Y - target->Top());
      target->WindowProc ? target->WindowProc(cm) : target->WndProc(cm);
      m.Result = cm.Result;
      return;
    }
  }
  TControl::WndProc(m);
}

void TWinControl::Dispatch(TMessage& m) {
  switch (m.Msg) {
    case WM_KEYDOWN: WMKeyDown(m); break;
    case WM_KEYUP: WMKeyUp(m); break;
    case WM_CHAR: WMChar(m); break;
    case WM_SYSKEYDOWN: WMSysKeyDown(m); break;
    case WM_SYSCHAR: WMSysChar(m); break;
    case WM_SETFOCUS: WMSetFocus(m); break;
    case WM_KILLFOCUS: WMKillFocus(m); break;
    case WM_NCHITTEST: WMNCHitTest(m); break;
    case WM_GETDLGCODE: WMGetDlgCode(m); break;
    case CM_ENTER: CMEnter(m); break;
    case CM_EXIT: CMExit(m); break;
    case WM_CONTEXTMENU: {
      // A graphic child under the pointer gets its own context menu first.
      if (m.Result == 0) {
        TPoint p = ScreenToClient(TPoint(GET_X_LPARAM(m.LParam), GET_Y_LPARAM(m.LParam)));
        if (TControl* c = ControlAtPos(p, false)) m.Result = c->Perform(WM_CONTEXTMENU, m.WParam, m.LParam);
      }
      if (m.Result == 0) TControl::Dispatch(m);
      break;
    }
    default: TControl::Dispatch(m); break;
  }
}

void TWinControl::DefaultHandler(TMessage& m) {
  m.Result = DefWindowProcA(handle_, m.Msg, m.WParam, m.LParam);
}

void TWinControl::PaintWindow(HDC) {}

void TWinControl::PaintHandler(TMessage& m) {
  HDC dc = m.DC();
  if (!dc) {
    // Painting asked for without a context: paint the window now.
    InvalidateRect(handle_, nullptr, TRUE);
    Update();
    return;
  }
  PaintWindow(dc);
  PaintControls(dc, nullptr);
}

void TWinControl::WMPaint(TMessage& m) { PaintHandler(m); }

void TWinControl::WMEraseBkgnd(TMessage& m) {
  if (!(ControlStyle() & csOpaque) && m.DC()) {
    TRect r = ClientRect();
    RECT rr = r;
    brush_->SetColor(Color());
    FillRect(m.DC(), &rr, brush_->Handle());
  }
  m.Result = 1;
}

void TWinControl::WMSize(TMessage& m) {
  Realign();
  TControl::WMSize(m);
}

void TWinControl::CMEnabledChanged(TMessage& m) {
  if (!Enabled() && Focused()) {
    if (TCustomForm* f = GetParentForm(this)) f->SetFocusedControl(nullptr);
  }
  TControl::CMEnabledChanged(m);
}

void TWinControl::CMVisibleChanged(TMessage& m) {
  if (!Visible()) {
    TCustomForm* f = GetParentForm(this);
    if (f && f != this && f->ActiveControl() && ContainsControl(f->ActiveControl())) f->SetFocusedControl(nullptr);
  }
  TControl::CMVisibleChanged(m);
}

void TWinControl::CMColorChanged(TMessage& m) {
  brush_->SetColor(Color());
  NotifyControls(CM_PARENTCOLORCHANGED);
  TControl::CMColorChanged(m);
}

void TWinControl::CMFontChanged(TMessage& m) {
  NotifyControls(CM_PARENTFONTCHANGED);
  TControl::CMFontChanged(m);
}

void TWinControl::CMShowHintChanged(TMessage& m) {
  NotifyControls(CM_PARENTSHOWHINTCHANGED);
  TControl::CMShowHintChanged(m);
}

void TWinControl::CMDialogChar(TMessage& m) { Broadcast(m); }
void TWinControl::CMDialogKey(TMessage& m) { Broadcast(m); }

void TWinControl::CMFocusChanged(TMessage& m) { Broadcast(m); }

void TWinControl::KeyDown(WORD& key, TShiftState shift) {
  if (OnKeyDown) OnKeyDown(this, key, shift);
}

void TWinControl::KeyUp(WORD& key, TShiftState shift) {
  if (OnKeyUp) OnKeyUp(this, key, shift);
}

void TWinControl::KeyPress(char& key) {
  if (OnKeyPress) OnKeyPress(this, key);
}

namespace {

// Offers a key to the parent form first when it previews keys, then to the control
// itself; true when either used it up (set it to 0).
template <typename Handler>
bool OfferKey(TWinControl* control, TMessage& m, Handler handler) {
  WORD key = m.CharCode();
  TShiftState shift = KeyboardStateToShiftState();
  TCustomForm* f = GetParentForm(control);
  if (f && f != control && f->KeyPreview) {
    handler(f, key, shift);
    if (key == 0) return true;
  }
  handler(control, key, shift);
  m.SetCharCode(key);
  return key == 0;
}

}  // namespace

bool TWinControl::DoKeyDown(TMessage& m) {
  return OfferKey(this, m, [](TWinControl* c, WORD& key, TShiftState shift) { c->KeyDown(key, shift); });
}

bool TWinControl::DoKeyUp(TMessage& m) {
  return OfferKey(this, m, [](TWinControl* c, WORD& key, TShiftState shift) { c->KeyUp(key, shift); });
}

bool TWinControl::DoKeyPress(TMessage& m) {
  // The message carries a code point; a handler sees a character beyond ASCII as the
  // first byte of its UTF-8 form (never a letter, digit or control), and the code point
  // goes on unless the handler swallows or replaces it.
  const auto code = static_cast<unsigned>(m.WParam);
  const char offered = static_cast<char>(code < 0x80      ? code
                                         : code < 0x800   ? 0xC0 | (code >> 6)
                                         : code < 0x10000 ? 0xE0 | (code >> 12)
                                                          : 0xF0 | std::min(code >> 18, 4u));
  char ch = offered;
  TCustomForm* f = GetParentForm(this);
  if (f && f != this && f->KeyPreview) {
    f->KeyPress(ch);
    if (ch == 0) return true;
  }
  KeyPress(ch);
  if (ch != offered) m.WParam = static_cast<unsigned char>(ch);
  return ch == 0;
}

bool TWinControl::IsMenuKey(TMessage& m) {
  TCustomForm* f = GetParentForm(this);
  const TShortCutHandler& handler = ShortCutHandler();
  if (!f || !handler) return false;
  WORD key = m.CharCode();
  TShiftState shift = KeyboardStateToShiftState();
  if (m.Msg == WM_SYSKEYDOWN || (m.LParam & (1 << 29))) shift.Include(ssAlt);
  shift.Exclude(ssLeft);
  shift.Exclude(ssRight);
  shift.Exclude(ssMiddle);
  if (!handler(f, key, shift)) return false;
  WindowManager::Get().swallow_char = TypedChar(key, shift);
  return true;
}

void TWinControl::WMKeyDown(TMessage& m) {
  if (IsMenuKey(m)) return;
  if (DoKeyDown(m)) return;
  WORD key = m.CharCode();
  LRESULT code = Perform(WM_GETDLGCODE, 0, 0);
  TCustomForm* f = GetParentForm(this);
  if (f && !(code & DLGC_WANTALLKEYS)) {
    if (key == VK_TAB && !(code & DLGC_WANTTAB)) {
      f->SelectNext(f->ActiveControl(), GetKeyState(VK_SHIFT) >= 0, true);
      WindowManager::Get().swallow_char = '\t';  // the dialog used the key up
      return;
    }
    bool arrow = key == VK_LEFT || key == VK_RIGHT || key == VK_UP || key == VK_DOWN;
    if (key == VK_RETURN || key == VK_ESCAPE || (arrow && !(code & DLGC_WANTARROWS))) {
      if (f->Perform(CM_DIALOGKEY, key, m.LParam)) {
        if (key == VK_RETURN || key == VK_ESCAPE) WindowManager::Get().swallow_char = static_cast<char>(key);
        return;
      }
    }
  }
  DefaultHandler(m);
}

void TWinControl::WMKeyUp(TMessage& m) {
  if (DoKeyUp(m)) return;
  DefaultHandler(m);
}

void TWinControl::WMChar(TMessage& m) {
  WindowManager& wm = WindowManager::Get();
  char swallow = wm.swallow_char;
  wm.swallow_char = 0;
  if (swallow && m.WParam == static_cast<unsigned char>(swallow)) return;
  if (DoKeyPress(m)) return;
  // A control that does not take characters lets them act as accelerators.
  if (!(Perform(WM_GETDLGCODE, 0, 0) & (DLGC_WANTCHARS | DLGC_WANTALLKEYS))) {
    if (TCustomForm* f = GetParentForm(this); f && f->Perform(CM_DIALOGCHAR, m.WParam, m.LParam)) return;
  }
  DefaultHandler(m);
}

void TWinControl::WMSysKeyDown(TMessage& m) {
  if (IsMenuKey(m)) return;
  if (DoKeyDown(m)) return;
  DefaultHandler(m);
}

void TWinControl::WMSysChar(TMessage& m) {
  if (TCustomForm* f = GetParentForm(this); f && f->Perform(CM_DIALOGCHAR, m.WParam, m.LParam)) return;
  DefaultHandler(m);
}

void TWinControl::WMSetFocus(TMessage& m) { DefaultHandler(m); }
void TWinControl::WMKillFocus(TMessage& m) { DefaultHandler(m); }
void TWinControl::WMNCHitTest(TMessage& m) { DefaultHandler(m); }
void TWinControl::WMGetDlgCode(TMessage& m) { DefaultHandler(m); }
void TWinControl::CMEnter(TMessage&) { DoEnter(); }
void TWinControl::CMExit(TMessage&) { DoExit(); }

void TWinControl::DoEnter() {
  if (OnEnter) OnEnter(this);
}

void TWinControl::DoExit() {
  if (OnExit) OnExit(this);
}

// ---------------------------------------------------------------------------
TGraphicControl::TGraphicControl(TComponent* owner) : TControl(owner) {}
TGraphicControl::~TGraphicControl() = default;

TCanvas* TGraphicControl::Canvas() {
  if (!canvas_) canvas_ = std::make_unique<TControlCanvas>(this);
  if (!painting_) canvas_->Bind();
  return canvas_.get();
}

void TGraphicControl::WMPaint(TMessage& m) {
  if (!m.DC()) {
    Repaint();
    return;
  }
  PaintThroughCanvas(this, canvas_, painting_, m.DC(), [this] { Paint(); });
}

TCustomControl::TCustomControl(TComponent* owner) : TWinControl(owner) {}
TCustomControl::~TCustomControl() = default;

TCanvas* TCustomControl::Canvas() {
  if (!canvas_) canvas_ = std::make_unique<TControlCanvas>(this);
  if (!painting_) canvas_->Bind();
  return canvas_.get();
}

void TCustomControl::PaintWindow(HDC dc) {
  PaintThroughCanvas(this, canvas_, painting_, dc, [this] { Paint(); });
}
