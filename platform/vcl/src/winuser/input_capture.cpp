// Input: backend events become messages for the window under the pointer (or the
// capture window), hover tracking, moving and sizing windows, capture, focus and the
// state of keys and buttons.
#include "window_manager.h"

#include <algorithm>
#include <cstdlib>

namespace {

TWinControl* AsWin(TControl* c) { return dynamic_cast<TWinControl*>(c); }

WPARAM KeyBits(const WindowManager& wm) {
  WPARAM k = wm.buttons;
  if (wm.modifiers & BackendShift) k |= MK_SHIFT;
  if (wm.modifiers & BackendCtrl) k |= MK_CONTROL;
  return k;
}

bool EnabledChain(TControl* c) {
  for (; c; c = c->Parent())
    if (!c->Enabled()) return false;
  return true;
}

// The deepest visible control under a point of the form (client coordinates).
TControl* ControlAt(TWinControl* w, TPoint p, bool windowedOnly) {
  for (;;) {
    TControl* child = w->ControlAtPos(p, true, true);
    if (!child) return w;
    if (TWinControl* cw = AsWin(child)) {
      TRect cr = cw->ClientRect();
      TPoint inner(p.X - cw->Left() - cw->BorderWidth(), p.Y - cw->Top() - cw->BorderWidth());
      if (!cr.Contains(inner.X, inner.Y)) return cw;  // on its border
      w = cw;
      p = inner;
      continue;
    }
    return windowedOnly ? w : child;
  }
}

}  // namespace

bool WindowManager::InputAllowed(TCustomForm* form) const {
  if (modal_stack.empty() || !form) return true;
  // The innermost modal form and forms it owns (its message boxes) take input.
  TCustomForm* top = modal_stack.back();
  for (TComponent* c = form; c; c = c->Owner())
    if (c == top) return true;
  return false;
}

void WindowManager::BeginMoveSize(TCustomForm* form, LRESULT hit) {
  if (!form || !(buttons & MK_LBUTTON)) return;
  movesize.form = form;
  movesize.hit = hit;
  movesize.start = cursor;
  movesize.bounds = form->BoundsRect();
  SendMessageA(form->Handle(), WM_ENTERSIZEMOVE, 0, 0);
}

void WindowManager::TranslateEvent(const BackendEvent& e) {
  if (e.kind == BackendEventKind::Wake || e.kind == BackendEventKind::None) return;
  auto* form = dynamic_cast<TCustomForm*>(FindControl(e.window));
  if (!form) return;
  modifiers = e.modifiers;
  DWORD now = static_cast<DWORD>(Backend().Clock());
  TPoint origin = form->ClientOrigin();
  TPoint screen(origin.X + e.x, origin.Y + e.y);

  auto post = [&](HWND h, UINT msg, WPARAM w, LPARAM l) {
    Post(MSG{h, msg, w, l, now, POINT{cursor.X, cursor.Y}});
  };

  switch (e.kind) {
    case BackendEventKind::MouseMove:
    case BackendEventKind::MouseDown:
    case BackendEventKind::MouseUp:
    case BackendEventKind::MouseWheel: {
      cursor = screen;
      static const WPARAM kBit[] = {MK_LBUTTON, MK_RBUTTON, MK_MBUTTON};
      int button = std::clamp(e.button, 0, 2);
      if (e.kind == BackendEventKind::MouseDown) buttons |= kBit[button];
      if (e.kind == BackendEventKind::MouseUp) buttons &= ~kBit[button];

      if (movesize.form) {
        TCustomForm* f = movesize.form;
        if (e.kind == BackendEventKind::MouseMove) {
          int dx = cursor.X - movesize.start.X, dy = cursor.Y - movesize.start.Y;
          TRect b = movesize.bounds;
          LRESULT h = movesize.hit;
          if (h == HTCAPTION) {
            b.Offset(dx, dy);
          } else {
            if (h == HTLEFT || h == HTTOPLEFT || h == HTBOTTOMLEFT) b.Left += dx;
            if (h == HTRIGHT || h == HTTOPRIGHT || h == HTBOTTOMRIGHT) b.Right += dx;
            if (h == HTTOP || h == HTTOPLEFT || h == HTTOPRIGHT) b.Top += dy;
            if (h == HTBOTTOM || h == HTBOTTOMLEFT || h == HTBOTTOMRIGHT) b.Bottom += dy;
          }
          f->SetBounds(b.Left, b.Top, std::max(0, b.Width()), std::max(0, b.Height()));
        } else if (e.kind == BackendEventKind::MouseUp && !(buttons & MK_LBUTTON)) {
          movesize.form = nullptr;
          SendMessageA(f->Handle(), WM_EXITSIZEMOVE, 0, 0);
        }
        return;
      }
      if (!InputAllowed(form)) return;

      // The window that gets the message: the capture window, else the one under
      // the pointer.
      TWinControl* target = nullptr;
      if (capture_hwnd) target = AsWin(FindControl(capture_hwnd));
      TPoint local(e.x, e.y);
      if (!target) target = AsWin(ControlAt(form, local, true));
      if (!target) return;

      if (e.kind == BackendEventKind::MouseWheel) {
        HWND h = focus ? focus : target->Handle();
        post(h, WM_MOUSEWHEEL, MAKEWPARAM(static_cast<int>(KeyBits(*this)), e.wheel),
             MAKELPARAM(cursor.X, cursor.Y));
        return;
      }

      if (e.kind == BackendEventKind::MouseDown) {
        if (active_form != form && form->Visible()) {
          TCustomForm* old = active_form;
          active_form = form;
          if (old) SendMessageA(old->Handle(), WM_ACTIVATE, WA_INACTIVE, 0);
          SendMessageA(form->Handle(), WM_ACTIVATE, WA_CLICKACTIVE, 0);
        }
        if (!capture_hwnd) {
          // Non-client hit-testing decides whether this press moves or sizes the window.
          TWinControl* w = target;
          LRESULT hit = HTCLIENT;
          while (w) {
            hit = SendMessageA(w->Handle(), WM_NCHITTEST, 0, MAKELPARAM(cursor.X, cursor.Y));
            if (hit != HTTRANSPARENT || !w->Parent()) break;
            w = w->Parent();
          }
          if (hit != HTCLIENT && hit != HTTRANSPARENT) {
            if (hit == HTNOWHERE || hit == HTERROR) return;
            if (button == BackendLeft)
              post(w->Handle(), WM_NCLBUTTONDOWN, static_cast<WPARAM>(hit), MAKELPARAM(cursor.X, cursor.Y));
            else if (button == BackendRight)
              post(w->Handle(), WM_NCRBUTTONDOWN, static_cast<WPARAM>(hit), MAKELPARAM(cursor.X, cursor.Y));
            return;
          }
        }
      }
      if (!EnabledChain(target)) return;

      TPoint tp = target->ScreenToClient(cursor);
      LPARAM lp = MAKELPARAM(tp.X, tp.Y);
      WPARAM keys = KeyBits(*this);
      if (e.kind == BackendEventKind::MouseMove) {
        post(target->Handle(), WM_MOUSEMOVE, keys, lp);
      } else if (e.kind == BackendEventKind::MouseDown) {
        static const UINT kDown[] = {WM_LBUTTONDOWN, WM_RBUTTONDOWN, WM_MBUTTONDOWN};
        static const UINT kDbl[] = {WM_LBUTTONDBLCLK, WM_RBUTTONDBLCLK, WM_MBUTTONDBLCLK};
        bool dbl = last_down_button == button && last_down_hwnd == target->Handle() &&
                   now - last_down_time <= GetDoubleClickTime() &&
                   std::abs(cursor.X - last_down_pos.X) <= GetSystemMetrics(SM_CXDOUBLECLK) / 2 &&
                   std::abs(cursor.Y - last_down_pos.Y) <= GetSystemMetrics(SM_CYDOUBLECLK) / 2;
        if (dbl) {
          last_down_button = -1;  // a third press starts over
        } else {
          last_down_button = button;
          last_down_time = now;
          last_down_hwnd = target->Handle();
          last_down_pos = cursor;
        }
        post(target->Handle(), dbl ? kDbl[button] : kDown[button], keys, lp);
      } else {
        static const UINT kUp[] = {WM_LBUTTONUP, WM_RBUTTONUP, WM_MBUTTONUP};
        post(target->Handle(), kUp[button], keys, lp);
        if (button == BackendRight)
          post(target->Handle(), WM_CONTEXTMENU, reinterpret_cast<WPARAM>(target->Handle()),
               MAKELPARAM(cursor.X, cursor.Y));
      }
      return;
    }
    case BackendEventKind::KeyDown:
    case BackendEventKind::KeyUp:
    case BackendEventKind::Char: {
      if (!InputAllowed(form)) return;
      HWND h = focus;
      TControl* fc = FindControl(h);
      if (!fc || TopLevelForm(fc) != form) h = form->Handle();
      bool alt = (e.modifiers & BackendAlt) != 0;
      UINT msg;
      if (e.kind == BackendEventKind::KeyDown)
        msg = alt ? WM_SYSKEYDOWN : WM_KEYDOWN;
      else if (e.kind == BackendEventKind::KeyUp)
        msg = alt ? WM_SYSKEYUP : WM_KEYUP;
      else
        msg = alt ? WM_SYSCHAR : WM_CHAR;
      post(h, msg, e.key, alt ? (1 << 29) : 0);
      return;
    }
    case BackendEventKind::Close:
      if (InputAllowed(form)) post(form->Handle(), WM_SYSCOMMAND, SC_CLOSE, 0);
      return;
    case BackendEventKind::Moved: {
      int side, top, bottom;
      TCustomForm::NonClientMetrics(form->BorderStyle(), &side, &top, &bottom);
      form->SetBounds(e.x - side, e.y - top, form->Width(), form->Height());
      return;
    }
    case BackendEventKind::Resized:
      form->SetClientSize(e.x, e.y);
      return;
    case BackendEventKind::Expose:
      InvalidateFormRect(form, form->ClientRect());
      return;
    case BackendEventKind::Activate:
      if (e.key) {
        if (active_form != form) {
          TCustomForm* old = active_form;
          active_form = form;
          if (old) SendMessageA(old->Handle(), WM_ACTIVATE, WA_INACTIVE, 0);
          SendMessageA(form->Handle(), WM_ACTIVATE, WA_ACTIVE, 0);
        }
      } else if (active_form == form) {
        active_form = nullptr;
        SendMessageA(form->Handle(), WM_ACTIVATE, WA_INACTIVE, 0);
      }
      return;
    default:
      return;
  }
}

void WindowManager::UpdateHover(HWND window, TPoint screen) {
  // Enter and leave follow the messages in queue order, so a control hears that
  // the mouse came before it hears the mouse move.
  TCustomForm* form = TopLevelForm(FindControl(window));
  TControl* hover = nullptr;
  if (capture_control) {
    // A graphic control with the capture is the only one that can be entered; a
    // window with the capture leaves its own children enterable.
    TPoint p = capture_control->ScreenToClient(screen);
    if (capture_control->ClientRect().Contains(p.X, p.Y)) {
      auto* w = AsWin(capture_control);
      hover = w ? ControlAt(w, p, false) : capture_control;
    }
  } else if (form && form->Visible()) {
    TPoint p = form->ScreenToClient(screen);
    if (form->ClientRect().Contains(p.X, p.Y)) hover = ControlAt(form, p, false);
  }
  // The pointer's shape: the screen's override, else the first control up from
  // the one under the pointer that names a cursor.
  TCursor cursor = Screen ? Screen->Cursor() : crDefault;
  for (TControl* c = hover; cursor == crDefault && c; c = c->Parent()) cursor = c->Cursor();
  if (cursor != shown_cursor) {
    shown_cursor = cursor;
    Backend().SetCursor(cursor);
  }
  if (hover == mouse_control) return;
  TControl* old = mouse_control;
  mouse_control = hover;
  if (old) old->Perform(CM_MOUSELEAVE, 0, 0);
  if (hover && mouse_control == hover) hover->Perform(CM_MOUSEENTER, 0, 0);
}

HWND WindowManager::SetCaptureWindow(HWND h) {
  HWND old = capture_hwnd;
  capture_hwnd = h;
  if (old != h) {
    if (old) SendMessageA(old, WM_CAPTURECHANGED, 0, reinterpret_cast<LPARAM>(h));
    if (TCustomForm* f = TopLevelForm(FindControl(h ? h : old))) Backend().SetCapture(f->Handle(), h != nullptr);
  }
  return old;
}

void WindowManager::SetMouseCaptureControl(TControl* c) {
  if (c == capture_control) return;
  capture_control = c;
  if (!c) {
    SetCaptureWindow(nullptr);
    return;
  }
  TWinControl* w = AsWin(c);
  if (!w) w = c->Parent();
  SetCaptureWindow(w ? w->Handle() : nullptr);
  capture_control = c;
}

TControl* GetCaptureControl() { return WindowManager::Get().capture_control; }
void SetCaptureControl(TControl* control) { WindowManager::Get().SetMouseCaptureControl(control); }
TControl* MouseControl() { return WindowManager::Get().mouse_control; }

HWND SetCapture(HWND hwnd) {
  if (!TThread::IsMainThread()) return OnGuiThread([&] { return SetCapture(hwnd); });
  WindowManager& wm = WindowManager::Get();
  wm.capture_control = FindControl(hwnd);
  return wm.SetCaptureWindow(hwnd);
}

BOOL ReleaseCapture() {
  if (!TThread::IsMainThread()) return OnGuiThread([&] { return ReleaseCapture(); });
  WindowManager& wm = WindowManager::Get();
  wm.capture_control = nullptr;
  wm.SetCaptureWindow(nullptr);
  return TRUE;
}

HWND GetCapture() { return WindowManager::Get().capture_hwnd; }

HWND SetFocus(HWND hwnd) {
  if (!TThread::IsMainThread()) return OnGuiThread([&] { return SetFocus(hwnd); });
  HWND old = WindowManager::Get().focus;
  auto* w = dynamic_cast<TWinControl*>(FindControl(hwnd));
  if (w) w->SetFocus();
  return old;
}

HWND GetFocus() { return WindowManager::Get().focus; }

HWND GetActiveWindow() {
  TCustomForm* f = WindowManager::Get().active_form;
  return f ? f->Handle() : nullptr;
}

BOOL GetCursorPos(POINT* point) {
  if (!point) return FALSE;
  *point = WindowManager::Get().cursor;
  return TRUE;
}

BOOL SetCursorPos(int x, int y) {
  WindowManager::Get().cursor = TPoint(x, y);
  return TRUE;
}

SHORT GetKeyState(int vk) {
  WindowManager& wm = WindowManager::Get();
  bool down = false;
  switch (vk) {
    case VK_SHIFT: down = wm.modifiers & BackendShift; break;
    case VK_CONTROL: down = wm.modifiers & BackendCtrl; break;
    case VK_MENU: down = wm.modifiers & BackendAlt; break;
    case VK_LBUTTON: down = wm.buttons & MK_LBUTTON; break;
    case VK_RBUTTON: down = wm.buttons & MK_RBUTTON; break;
    case VK_MBUTTON: down = wm.buttons & MK_MBUTTON; break;
    default: break;
  }
  return down ? static_cast<SHORT>(0x8000) : 0;
}

SHORT GetAsyncKeyState(int vk) { return GetKeyState(vk); }

UINT GetDoubleClickTime() { return 500; }

