#include "winuser/window_manager.h"

#include <algorithm>

namespace {

TRect CenterIn(const TRect& outer, int w, int h) {
  int l = outer.Left + (outer.Width() - w) / 2;
  int t = outer.Top + (outer.Height() - h) / 2;
  return Bounds(l, t, w, h);
}

}  // namespace

void FreeComponent(TComponent* component) {
  if (!component) return;
  component->BeforeDestruction();
  delete component;
}

void TCustomForm::NonClientMetrics(TFormBorderStyle style, int* side, int* top, int* bottom) {
  int frame = 0, caption = 0;
  switch (style) {
    case bsNone: break;
    case bsSingle:
    case bsDialog: frame = GetSystemMetrics(SM_CXDLGFRAME); caption = GetSystemMetrics(SM_CYCAPTION); break;
    case bsSizeable: frame = GetSystemMetrics(SM_CXFRAME); caption = GetSystemMetrics(SM_CYCAPTION); break;
    case bsToolWindow: frame = GetSystemMetrics(SM_CXDLGFRAME); caption = GetSystemMetrics(SM_CYSMCAPTION); break;
    case bsSizeToolWin: frame = GetSystemMetrics(SM_CXFRAME); caption = GetSystemMetrics(SM_CYSMCAPTION); break;
  }
  *side = frame;
  *top = frame + caption;
  *bottom = frame;
}

TCustomForm::TCustomForm(TComponent* owner) : TWinControl(owner) {
  InitVisible(false);
  SetControlStyle(csAcceptsControls | csCaptureMouse | csClickEvents | csSetCaption | csDoubleClicks);
  SetColor(clBtnFace);
  SetParentFont(false);
  SetParentShowHint(false);
  SetBounds(0, 0, 320, 240);
  WindowManager::Get().forms.push_back(this);
  if (Screen) Screen->forms_.push_back(this);
  CreateBackendWindow();
}

void TCustomForm::CreateBackendWindow() {
  BackendWindowDesc d;
  d.handle = Handle();
  if (auto* o = dynamic_cast<TCustomForm*>(Owner())) d.owner = o->Handle();
  TPoint o = ClientOrigin();
  d.x = o.X;
  d.y = o.Y;
  d.width = ClientWidth();
  d.height = ClientHeight();
  d.bordered = border_style_ != bsNone;
  d.topmost = form_style_ == fsStayOnTop;
  d.title = GetText();
  Backend().CreateWindow(d);
}

void MakePopupWindow(TCustomForm* form, TCustomForm* owner, bool tooltip) {
  Backend().DestroyWindow(form->Handle());
  BackendWindowDesc d;
  d.handle = form->Handle();
  if (owner) d.owner = owner->Handle();
  d.width = std::max(1, form->Width());
  d.height = std::max(1, form->Height());
  d.bordered = false;
  d.popup = true;
  d.tooltip = tooltip;
  Backend().CreateWindow(d);
}

TCustomForm::~TCustomForm() {
  SetComponentState(csDestroying, true);
  WindowManager& wm = WindowManager::Get();
  if (modal_) wm.modal_stack.erase(std::remove(wm.modal_stack.begin(), wm.modal_stack.end(), this), wm.modal_stack.end());
  DestroyChildren();
  // Nobody can lock the surface once the handle is gone; a painter that holds it
  // now finishes before the surface goes.
  wm.ControlDestroyed(this);
  wm.Unregister(Handle());
  { std::lock_guard<std::recursive_mutex> lock(surface_.Lock); }
  Backend().DestroyWindow(Handle());
  if (Screen) {
    auto& v = Screen->forms_;
    v.erase(std::remove(v.begin(), v.end(), this), v.end());
  }
  if (Application && Application->main_form_ == this) Application->main_form_ = nullptr;
  if (wm.active_form == this) wm.active_form = nullptr;
}

void TCustomForm::AfterConstruction() {
  if (created_) return;
  created_ = true;
  Realign();
  DoCreate();
}

void TCustomForm::BeforeDestruction() {
  if (destroyed_) return;
  destroyed_ = true;
  if (Visible()) {
    try {
      Hide();
    } catch (...) {
      if (Application) Application->HandleException(this);
    }
  }
  DoDestroy();
  TWinControl::BeforeDestruction();
}

void TCustomForm::DoCreate() {
  if (!OnCreate) return;
  try {
    OnCreate(this);
  } catch (...) {
    // The form is still created; the handler's remaining steps are skipped.
    if (Application) Application->HandleException(this);
  }
}

void TCustomForm::DoDestroy() {
  if (!OnDestroy) return;
  try {
    OnDestroy(this);
  } catch (...) {
    if (Application) Application->HandleException(this);
  }
}

void TCustomForm::DoShow() {
  if (OnShow) OnShow(this);
}

void TCustomForm::DoHide() {
  if (OnHide) OnHide(this);
}

void TCustomForm::DoClose(TCloseAction& action) {
  if (OnClose) OnClose(this, action);
}

void TCustomForm::SetBorderStyle(TFormBorderStyle v) {
  if (v == border_style_) return;
  border_style_ = v;
  // The window is made anew with the other frame, as Windows recreates it: a region
  // set for the old frame does not carry over.
  if (WindowRegion()) SetWindowRgn(Handle(), nullptr, FALSE);
  Backend().DestroyWindow(Handle());
  CreateBackendWindow();
  if (Visible()) Backend().SetVisible(Handle(), true);
  Realign();
  Invalidate();
}

void TCustomForm::SetFormStyle(TFormStyle v) {
  if (v == form_style_) return;
  form_style_ = v;
  Backend().DestroyWindow(Handle());
  CreateBackendWindow();
  if (Visible()) Backend().SetVisible(Handle(), true);
}

void TCustomForm::SetWindowState(TWindowState v) {
  if (v == window_state_) return;
  TWindowState old = window_state_;
  window_state_ = v;
  if (old == wsMinimized) Backend().SetMinimized(Handle(), false);
  if (v == wsMaximized) {
    restore_bounds_ = BoundsRect();
    TRect wa = WorkArea();
    SetBoundsRect(wa);
    SendMessageA(Handle(), WM_SIZE, SIZE_MAXIMIZED, MAKELPARAM(ClientWidth(), ClientHeight()));
  } else if (v == wsMinimized) {
    Backend().SetMinimized(Handle(), true);
    SendMessageA(Handle(), WM_SIZE, SIZE_MINIMIZED, 0);
  } else {
    if (old == wsMaximized) SetBoundsRect(restore_bounds_);
    SendMessageA(Handle(), WM_SIZE, SIZE_RESTORED, MAKELPARAM(ClientWidth(), ClientHeight()));
  }
}

void TCustomForm::SetActiveControl(TWinControl* c) {
  if (c == active_control_) return;
  if (c && (!ContainsControl(c) || c == this)) throw EInvalidOperation("Invalid active control");
  if (c && Visible() && Active()) {
    SetFocusedControl(c);
    return;
  }
  active_control_ = c;
}

bool TCustomForm::Active() const { return WindowManager::Get().active_form == this; }

bool TCustomForm::SetFocusedControl(TWinControl* c) {
  WindowManager& wm = WindowManager::Get();
  if (c && (c == this || !ContainsControl(c))) c = nullptr;
  HWND target = c ? c->Handle() : Handle();
  active_control_ = c;
  if (wm.active_form != this) return true;  // focus follows when the form is activated
  if (wm.focus == target) return true;
  auto* old = dynamic_cast<TWinControl*>(FindControl(wm.focus));
  if (old && old != this) {
    old->Perform(CM_EXIT, 0, 0);
    if (wm.focus != old->Handle()) return false;  // OnExit moved the focus elsewhere
  }
  HWND oldHandle = wm.focus;
  wm.focus = target;
  if (oldHandle) SendMessageA(oldHandle, WM_KILLFOCUS, reinterpret_cast<WPARAM>(target), 0);
  if (wm.focus != target) return false;
  SendMessageA(target, WM_SETFOCUS, reinterpret_cast<WPARAM>(oldHandle), 0);
  if (c) c->Perform(CM_ENTER, 0, 0);
  Perform(CM_FOCUSCHANGED, 0, reinterpret_cast<LPARAM>(c));
  return true;
}

void TCustomForm::FocusControl(TWinControl* c) { SetFocusedControl(c); }

void TCustomForm::SetFocus() {
  if (!Visible() || !Enabled()) throw EInvalidOperation("Cannot focus a disabled or invisible window");
  WindowManager& wm = WindowManager::Get();
  if (wm.active_form != this) {
    TCustomForm* old = wm.active_form;
    wm.active_form = this;
    if (old) SendMessageA(old->Handle(), WM_ACTIVATE, WA_INACTIVE, 0);
    SendMessageA(Handle(), WM_ACTIVATE, WA_ACTIVE, 0);
  }
}

bool TCustomForm::CanFocus() const { return Visible() && Enabled(); }

TCanvas* TCustomForm::Canvas() {
  if (!canvas_) canvas_ = std::make_unique<TControlCanvas>(this);
  // While painting, the canvas draws through the context it was handed (which may
  // be another control's buffer with its own origin): binding would undo that.
  if (!painting_) canvas_->Bind();
  return canvas_.get();
}

void TCustomForm::Paint() {
  if (OnPaint) OnPaint(this);
}

void TCustomForm::PaintWindow(HDC dc) {
  if (!canvas_) canvas_ = std::make_unique<TControlCanvas>(this);
  canvas_->Lock();
  canvas_->SetHandle(dc);
  const bool outer = !painting_;
  painting_ = true;
  try {
    Paint();
  } catch (...) {
    if (outer) painting_ = false;
    canvas_->SetHandle(nullptr);
    canvas_->Unlock();
    throw;
  }
  if (outer) painting_ = false;
  canvas_->SetHandle(nullptr);
  canvas_->Unlock();
}

void TCustomForm::Notification(TComponent* component, TOperation operation) {
  TWinControl::Notification(component, operation);
  if (operation == opRemove && component && component == static_cast<TComponent*>(active_control_))
    active_control_ = nullptr;
}

void TCustomForm::AdjustSize() { TWinControl::AdjustSize(); }

TPoint TCustomForm::ClientOrigin() const {
  if (Parent()) return TWinControl::ClientOrigin();
  int side, top, bottom;
  NonClientMetrics(border_style_, &side, &top, &bottom);
  return TPoint(Left() + side, Top() + top);
}

TRect TCustomForm::ClientRect() const {
  int side, top, bottom;
  NonClientMetrics(border_style_, &side, &top, &bottom);
  return TRect(0, 0, std::max(0, Width() - 2 * side), std::max(0, Height() - top - bottom));
}

void TCustomForm::SetClientSize(int width, int height) {
  int side, top, bottom;
  NonClientMetrics(border_style_, &side, &top, &bottom);
  SetBounds(Left(), Top(), width + 2 * side, height + top + bottom);
}

void TCustomForm::SetBounds(int left, int top, int width, int height) {
  TRect before = BoundsRect();
  TWinControl::SetBounds(left, top, std::min(width, kMaxFormExtent), std::min(height, kMaxFormExtent));
  if (BoundsRect() == before) return;
  TPoint o = ClientOrigin();
  Backend().SetBounds(Handle(), o.X, o.Y, ClientWidth(), ClientHeight());
  if (BoundsRect().Width() != before.Width() || BoundsRect().Height() != before.Height()) {
    {
      std::lock_guard<std::recursive_mutex> lock(surface_.Lock);
      surface_.Resize(ClientWidth(), ClientHeight(), 0);
    }
    WindowManager::Get().InvalidateFormRect(this, ClientRect());
  }
}

bool TCustomForm::Showing() const { return Visible() && window_state_ != wsMinimized; }

HRGN TCustomForm::WindowRegion() const {
  auto rec = WindowManager::Get().Find(Handle());
  return rec ? rec->region : nullptr;
}

TSurface& TCustomForm::Surface() { return surface_; }

void TCustomForm::Show() {
  SetVisible(true);
  if (Visible() && Enabled()) SetFocus();  // OnShow may have hidden it again
}

void TCustomForm::Hide() { SetVisible(false); }

void TCustomForm::SetVisible(bool v) {
  if (v == Visible()) return;
  TWinControl::SetVisible(v);
}

void TCustomForm::ApplyPosition() {
  if (position_applied_) return;
  position_applied_ = true;
  TRect screen(0, 0, Screen ? Screen->Width() : 1024, Screen ? Screen->Height() : 768);
  TRect target;
  switch (position_) {
    case poScreenCenter:
    case poDesktopCenter:
      target = CenterIn(screen, Width(), Height());
      break;
    case poMainFormCenter:
    case poOwnerFormCenter: {
      TCustomForm* ref = position_ == poOwnerFormCenter ? dynamic_cast<TCustomForm*>(Owner()) : nullptr;
      if (!ref && Application) ref = Application->MainForm();
      if (ref && ref != this && ref->Visible())
        target = CenterIn(ref->BoundsRect(), Width(), Height());
      else
        target = CenterIn(screen, Width(), Height());
      break;
    }
    case poDefault:
    case poDefaultPosOnly: {
      // Cascade from the top-left corner like a window manager's default placement.
      static int cascade = 0;
      int step = 24 * (cascade++ % 8);
      target = Bounds(step + 24, step + 24, Width(), Height());
      break;
    }
    default:
      return;
  }
  // A form centred on a small owner near an edge would stick out of the screen.
  target = KeepInside(target, WorkArea());
  SetBounds(target.Left, target.Top, target.Width(), target.Height());
}

void TCustomForm::ShowingChanged() {
  WindowManager& wm = WindowManager::Get();
  if (Visible()) {
    ApplyPosition();
    DoShow();
    if (!Visible()) return;  // OnShow may hide it again
    TPoint o = ClientOrigin();
    Backend().SetBounds(Handle(), o.X, o.Y, ClientWidth(), ClientHeight());
    Backend().SetTitle(Handle(), GetText());
    Backend().SetVisible(Handle(), true);
    wm.InvalidateFormRect(this, ClientRect());
    SendMessageA(Handle(), WM_SHOWWINDOW, TRUE, 0);
    if (wm.active_form != this) {
      TCustomForm* old = wm.active_form;
      wm.active_form = this;
      if (old) SendMessageA(old->Handle(), WM_ACTIVATE, WA_INACTIVE, 0);
      SendMessageA(Handle(), WM_ACTIVATE, WA_ACTIVE, 0);
    }
  } else {
    DoHide();
    Backend().SetVisible(Handle(), false);
    SendMessageA(Handle(), WM_SHOWWINDOW, FALSE, 0);
    TControl* cap = wm.capture_control;
    if (cap && (cap == this || ContainsControl(cap))) SetCaptureControl(nullptr);
    TControl* hover = wm.mouse_control;
    if (hover && (hover == this || ContainsControl(hover))) wm.mouse_control = nullptr;
    // A hint of a control on this form goes with it.
    if (TControl* h = Application ? Application->hint_control_ : nullptr; h && (h == this || ContainsControl(h)))
      Application->ForgetHintControl(h);
    TControl* fc = FindControl(wm.focus);
    if (fc && (fc == this || ContainsControl(fc))) wm.focus = nullptr;
    if (wm.active_form == this) {
      wm.active_form = nullptr;
      SendMessageA(Handle(), WM_ACTIVATE, WA_INACTIVE, 0);
      // The most recently shown other visible form takes over.
      for (auto it = wm.forms.rbegin(); it != wm.forms.rend(); ++it) {
        if (*it != this && (*it)->Visible() && wm.InputAllowed(*it)) {
          (*it)->SetFocus();
          break;
        }
      }
    }
  }
}

void TCustomForm::Close() {
  if (modal_) {
    modal_result_ = mrCancel;
    return;
  }
  if (!CloseQuery()) return;
  TCloseAction action = caHide;
  DoClose(action);
  if (action == caNone) return;
  if (Application && Application->MainForm() == this) {
    Application->Terminate();
    return;
  }
  switch (action) {
    case caHide: Hide(); break;
    case caMinimize: SetWindowState(wsMinimized); break;
    case caFree: Release(); break;
    default: break;
  }
}

bool TCustomForm::CloseQuery() {
  bool canClose = true;
  if (OnCloseQuery) OnCloseQuery(this, canClose);
  return canClose;
}

int TCustomForm::ShowModal() {
  if (Visible() || !Enabled() || modal_)
    throw EInvalidOperation("Cannot make a visible window modal");
  WindowManager& wm = WindowManager::Get();
  if (wm.capture_control) SetCaptureControl(nullptr);
  if (Application) Application->CancelHint();
  TCustomForm* previous = wm.active_form;
  modal_ = true;
  modal_result_ = mrNone;
  wm.modal_stack.push_back(this);
  if (Application) ++Application->modal_level_;
  auto finish = [&] {
    wm.modal_stack.erase(std::remove(wm.modal_stack.begin(), wm.modal_stack.end(), this), wm.modal_stack.end());
    if (Application) --Application->modal_level_;
    modal_ = false;
  };
  try {
    Show();
    for (;;) {
      Application->HandleMessage();
      bool ending = Application->Terminated() && modal_ends_on_terminate_;
      if (ending) modal_result_ = mrCancel;
      if (modal_result_ != mrNone) {
        // Closing a modal form: it may refuse, or ask to be freed.
        TCloseAction action = caNone;
        if (CloseQuery()) {
          action = caHide;
          DoClose(action);
        }
        if (action == caNone) {
          if (!ending) {
            modal_result_ = mrNone;
            continue;
          }
        } else if (action == caFree) {
          Release();
        }
        break;
      }
    }
  } catch (...) {
    finish();
    throw;
  }
  TModalResult result = modal_result_;
  finish();
  Hide();
  if (previous && previous != this && previous->Visible()) previous->SetFocus();
  return result;
}

void TCustomForm::Release() { PostMessageA(Handle(), CM_RELEASE, 0, 0); }

void TCustomForm::WndProc(TMessage& m) {
  if (m.Msg == WM_ACTIVATE) {
    WMActivate(m);
    return;
  }
  TWinControl::WndProc(m);
}

void TCustomForm::Dispatch(TMessage& m) {
  switch (m.Msg) {
    case WM_CLOSE: WMClose(m); break;
    case WM_SYSCOMMAND: WMSysCommand(m); break;
    case CM_RELEASE: CMRelease(m); break;
    default: TWinControl::Dispatch(m); break;
  }
}

void TCustomForm::DefaultHandler(TMessage& m) { TWinControl::DefaultHandler(m); }

void TCustomForm::WMClose(TMessage&) { Close(); }

void TCustomForm::WMSysCommand(TMessage& m) {
  if ((m.WParam & 0xFFF0) == SC_MINIMIZE && Application && Application->MainForm() == this) {
    Application->Minimize();
    return;
  }
  DefaultHandler(m);
}

void TCustomForm::WMActivate(TMessage& m) {
  bool active = LOWORD(m.WParam) != WA_INACTIVE;
  if (active) {
    // Focus goes back to the control that had it, or the first in tab order.
    TWinControl* c = active_control_;
    if (c && !c->CanFocus()) c = nullptr;
    if (!c) c = FindNextControl(nullptr, true, true, false);
    SetFocusedControl(c);
    if (OnActivate) OnActivate(this);
  } else {
    if (OnDeactivate) OnDeactivate(this);
  }
  DefaultHandler(m);
}

void TCustomForm::CMRelease(TMessage&) { FreeComponent(this); }

void TCustomForm::WMSize(TMessage& m) { TWinControl::WMSize(m); }

void TCustomForm::CMTextChanged(TMessage& m) {
  Backend().SetTitle(Handle(), GetText());
  TWinControl::CMTextChanged(m);
}

void TCustomForm::CMVisibleChanged(TMessage& m) {
  TWinControl::CMVisibleChanged(m);
  ShowingChanged();
}

// ---------------------------------------------------------------------------
TScreen::TScreen(TComponent* owner) : TComponent(owner) {}

int TScreen::Width() const {
  int w = 0, h = 0;
  Backend().ScreenSize(&w, &h);
  return w;
}

int TScreen::Height() const {
  int w = 0, h = 0;
  Backend().ScreenSize(&w, &h);
  return h;
}

TRect TScreen::WorkAreaRect() const {
  RECT r;
  Backend().WorkArea(&r);
  return TRect(r);
}

void TScreen::SetCursor(TCursor c) {
  cursor_ = c;
  Backend().SetCursor(c);
}

TCustomForm* TScreen::ActiveForm() const { return WindowManager::Get().active_form; }

TControl* TScreen::ActiveControl() const { return FindControl(WindowManager::Get().focus); }
