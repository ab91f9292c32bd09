// The window manager: handles, queues, input routing, capture, painting, timers.
#include "wm.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <utility>

#include <win32/region.h>

namespace {

TRect Intersect(const TRect& a, const TRect& b) {
  TRect r(std::max(a.Left, b.Left), std::max(a.Top, b.Top), std::min(a.Right, b.Right),
          std::min(a.Bottom, b.Bottom));
  if (r.IsEmpty()) return TRect();
  return r;
}

TRect Union(const TRect& a, const TRect& b) {
  if (a.IsEmpty()) return b;
  if (b.IsEmpty()) return a;
  return TRect(std::min(a.Left, b.Left), std::min(a.Top, b.Top), std::max(a.Right, b.Right),
               std::max(a.Bottom, b.Bottom));
}

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

TCustomForm* TopLevelForm(TControl* c) {
  while (c && c->Parent()) c = c->Parent();
  return dynamic_cast<TCustomForm*>(c);
}

TPoint OffsetInForm(const TControl* c) {
  // Client origin of a windowed control, top-left of a graphic one.
  TPoint p(0, 0);
  const TControl* cur = c;
  if (!cur->Parent()) return p;
  if (auto* w = dynamic_cast<const TWinControl*>(cur)) {
    p.X += w->BorderWidth();
    p.Y += w->BorderWidth();
  }
  while (cur->Parent()) {
    p.X += cur->Left();
    p.Y += cur->Top();
    cur = cur->Parent();
    if (cur->Parent()) {
      auto* w = static_cast<const TWinControl*>(cur);
      p.X += w->BorderWidth();
      p.Y += w->BorderWidth();
    }
  }
  return p;
}

LRESULT StdWndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  auto rec = WindowManager::Get().Find(hwnd);
  if (!rec) return 0;
  TMessage m{msg, wParam, lParam, 0};
  // What a handler raises is shown here; it never unwinds through the loop.
  try {
    if (rec->control) {
      if (rec->control->WindowProc)
        rec->control->WindowProc(m);
      else
        rec->control->WndProc(m);
    } else if (rec->method) {
      rec->method(m);
    } else {
      return DefWindowProcA(hwnd, msg, wParam, lParam);
    }
  } catch (...) {
    if (Application) Application->HandleException(rec->control);
  }
  return m.Result;
}

WindowManager& WindowManager::Get() {
  static WindowManager* wm = new WindowManager;  // lives until the process ends
  return *wm;
}

HWND WindowManager::Register(TWinControl* control, TWndMethod method) {
  auto rec = std::make_shared<WindowRecord>();
  rec->control = control;
  rec->method = std::move(method);
  rec->proc = StdWndProc;
  std::lock_guard<std::mutex> lock(mu_);
  // Handles are never reused, so a stale handle is simply unknown.
  rec->handle = reinterpret_cast<HWND>(next_handle_);
  next_handle_ += 0x10;
  table_[rec->handle] = rec;
  return rec->handle;
}

void WindowManager::Unregister(HWND h) {
  std::shared_ptr<WindowRecord> rec;
  {
    std::lock_guard<std::mutex> lock(mu_);
    auto it = table_.find(h);
    if (it == table_.end()) return;
    rec = it->second;
    table_.erase(it);
  }
  if (rec->region) DeleteObject(rec->region);
  RemovePostedFor(h);
  timers.erase(std::remove_if(timers.begin(), timers.end(), [h](const TimerRecord& t) { return t.hwnd == h; }),
               timers.end());
  if (capture_hwnd == h) capture_hwnd = nullptr;
  if (focus == h) focus = nullptr;
  {
    std::lock_guard<std::mutex> lock(present_mu);
    present_requests.erase(std::remove(present_requests.begin(), present_requests.end(), h),
                           present_requests.end());
  }
}

std::shared_ptr<WindowRecord> WindowManager::Find(HWND h) {
  std::lock_guard<std::mutex> lock(mu_);
  auto it = table_.find(h);
  return it == table_.end() ? nullptr : it->second;
}

void WindowManager::Post(const MSG& msg) {
  {
    std::lock_guard<std::mutex> lock(queue_mu_);
    queue_.push_back(msg);
  }
  Wake();
}

bool WindowManager::PeekPosted(MSG* out, HWND hwnd, UINT min, UINT max, bool remove) {
  std::lock_guard<std::mutex> lock(queue_mu_);
  for (auto it = queue_.begin(); it != queue_.end(); ++it) {
    if (hwnd && it->hwnd != hwnd) continue;
    if ((min || max) && (it->message < min || it->message > max)) continue;
    *out = *it;
    if (remove) queue_.erase(it);
    return true;
  }
  return false;
}

void WindowManager::RemovePostedFor(HWND hwnd) {
  std::lock_guard<std::mutex> lock(queue_mu_);
  queue_.erase(std::remove_if(queue_.begin(), queue_.end(), [hwnd](const MSG& m) { return m.hwnd == hwnd; }),
               queue_.end());
}

void WindowManager::RemovePosted(HWND hwnd, UINT message) {
  std::lock_guard<std::mutex> lock(queue_mu_);
  queue_.erase(std::remove_if(queue_.begin(), queue_.end(),
                              [=](const MSG& m) { return m.hwnd == hwnd && m.message == message; }),
               queue_.end());
}

void WindowManager::Wake() { Backend().Wake(); }

bool WindowManager::PumpBackend(int timeoutMs) {
  BackendEvent e;
  bool any = false;
  while (Backend().WaitEvent(&e, any ? 0 : timeoutMs)) {
    any = true;
    TranslateEvent(e);
  }
  return any;
}

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

int WindowManager::RunTimers() {
  std::uint64_t now = Backend().Clock();
  int next = -1;
  for (auto& t : timers) {
    if (t.due <= now) {
      // Like the system, at most one WM_TIMER of a timer waits in the queue.
      bool queued = false;
      {
        std::lock_guard<std::mutex> lock(queue_mu_);
        for (const MSG& m : queue_)
          if (m.hwnd == t.hwnd && m.message == WM_TIMER && m.wParam == t.id) queued = true;
      }
      if (!queued)
        Post(MSG{t.hwnd, WM_TIMER, t.id, reinterpret_cast<LPARAM>(t.proc), static_cast<DWORD>(now), {}});
      t.due = now + std::max<UINT>(t.elapse, 1);
    }
    int left = static_cast<int>(std::min<std::uint64_t>(t.due - now, 0x7FFFFFFF));
    if (next < 0 || left < next) next = left;
  }
  return next;
}

void WindowManager::InvalidateFormRect(TCustomForm* form, const TRect& r) {
  TRect clipped = Intersect(r, TRect(0, 0, form->ClientWidth(), form->ClientHeight()));
  if (clipped.IsEmpty()) return;
  Dirty& d = dirty_[form];
  d.rect = d.any ? Union(d.rect, clipped) : clipped;
  d.any = true;
}

bool WindowManager::HasPendingPaint() {
  for (auto& [f, d] : dirty_)
    if (d.any) return true;
  std::lock_guard<std::mutex> lock(present_mu);
  return !present_requests.empty();
}

namespace {

void PaintTree(TWinControl* w, HDC dc, const TRect& clip) {
  if (!w->Showing() && w->Parent()) return;
  TPoint off = OffsetInForm(w);
  TRect client = w->ClientRect();
  TRect inForm(off.X, off.Y, off.X + client.Width(), off.Y + client.Height());
  if (w->Parent() && w->BorderWidth() > 0) {
    // The border strip belongs to the control and shows its colour.
    TRect outer = inForm;
    outer.Inflate(w->BorderWidth(), w->BorderWidth());
    TRect o = Intersect(outer, clip);
    if (!o.IsEmpty()) {
      int saved = SaveDC(dc);
      SetViewportOrgEx(dc, 0, 0, nullptr);
      IntersectClipRect(dc, o.Left, o.Top, o.Right, o.Bottom);
      RECT rr = outer;
      FillRect(dc, &rr, w->Brush()->Handle());
      RestoreDC(dc, saved);
    }
  }
  TRect r = Intersect(inForm, clip);
  if (r.IsEmpty()) return;
  int saved = SaveDC(dc);
  SetViewportOrgEx(dc, off.X, off.Y, nullptr);
  IntersectClipRect(dc, r.Left - off.X, r.Top - off.Y, r.Right - off.X, r.Bottom - off.Y);
  SendMessageA(w->Handle(), WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
  SendMessageA(w->Handle(), WM_PAINT, reinterpret_cast<WPARAM>(dc), 0);
  RestoreDC(dc, saved);
  for (int i = 0; i < w->ControlCount(); ++i)
    if (auto* cw = dynamic_cast<TWinControl*>(w->Controls(i)))
      if (cw->Visible()) PaintTree(cw, dc, r);
}

}  // namespace

void WindowManager::PaintForm(TCustomForm* form) {
  auto it = dirty_.find(form);
  if (it == dirty_.end() || !it->second.any) return;
  TRect r = it->second.rect;
  it->second.any = false;
  if (!form->Visible()) return;
  TSurface& s = form->Surface();
  {
    std::lock_guard<std::recursive_mutex> lock(s.Lock);
    if (s.Width != form->ClientWidth() || s.Height != form->ClientHeight()) {
      s.Resize(form->ClientWidth(), form->ClientHeight(), 0);
      r = TRect(0, 0, s.Width, s.Height);
    }
    HDC dc = CreateSurfaceDC(&s);
    PaintTree(form, dc, r);
    DeleteDC(dc);
  }
  Present(form, r);
}

void WindowManager::Present(TCustomForm* form, const RECT& dirty) {
  TSurface& s = form->Surface();
  std::lock_guard<std::recursive_mutex> lock(s.Lock);
  if (form->Visible()) Backend().Present(form->Handle(), s, dirty);
}

void WindowManager::PaintAll() {
  std::vector<TCustomForm*> list;
  for (auto& [f, d] : dirty_)
    if (d.any) list.push_back(f);
  for (TCustomForm* f : list) PaintForm(f);
  std::vector<HWND> presents;
  {
    std::lock_guard<std::mutex> lock(present_mu);
    presents.swap(present_requests);
  }
  for (HWND h : presents) {
    if (TCustomForm* f = TopLevelForm(FindControl(h))) {
      TSurface& s = f->Surface();
      Present(f, RECT{0, 0, s.Width, s.Height});
    }
  }
}

void WindowManager::ControlDestroyed(TControl* c) {
  if (capture_control == c) {
    capture_control = nullptr;
    capture_hwnd = nullptr;
  }
  if (mouse_control == c) mouse_control = nullptr;
  if (movesize.form == c) movesize.form = nullptr;
  if (active_form == c) active_form = nullptr;
  if (auto* f = dynamic_cast<TCustomForm*>(c)) {
    dirty_.erase(f);
    forms.erase(std::remove(forms.begin(), forms.end(), f), forms.end());
    modal_stack.erase(std::remove(modal_stack.begin(), modal_stack.end(), f), modal_stack.end());
  }
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

namespace {

// Window state belongs to the GUI thread: calls from other threads run there and
// wait for it (as a message sent across threads does).
template <class F>
auto OnGuiThread(F&& f) -> decltype(f()) {
  if (TThread::IsMainThread()) return f();
  decltype(f()) r{};
  TThread::Synchronize(nullptr, [&] { r = f(); });
  return r;
}

}  // namespace

// ---------------------------------------------------------------------------
// The Win32-style calls.

TControl* FindControl(HWND handle) {
  if (!handle) return nullptr;
  auto rec = WindowManager::Get().Find(handle);
  return rec ? rec->control : nullptr;
}

TControl* GetCaptureControl() { return WindowManager::Get().capture_control; }
void SetCaptureControl(TControl* control) { WindowManager::Get().SetMouseCaptureControl(control); }
TControl* MouseControl() { return WindowManager::Get().mouse_control; }

LRESULT SendMessageA(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (!TThread::IsMainThread()) {
    LRESULT r = 0;
    if (!WindowManager::Get().Find(hwnd)) return 0;
    TThread::Synchronize(nullptr, [&] { r = SendMessageA(hwnd, msg, wParam, lParam); });
    return r;
  }
  auto rec = WindowManager::Get().Find(hwnd);
  if (!rec) return 0;
  return rec->proc(hwnd, msg, wParam, lParam);
}

BOOL PostMessageA(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  WindowManager& wm = WindowManager::Get();
  if (hwnd && !wm.Find(hwnd)) return FALSE;
  wm.Post(MSG{hwnd, msg, wParam, lParam, 0, {}});
  return TRUE;
}

void PostQuitMessage(int exitCode) {
  WindowManager::Get().Post(MSG{nullptr, WM_QUIT, static_cast<WPARAM>(exitCode), 0, 0, {}});
}

BOOL PeekMessageA(MSG* msg, HWND hwnd, UINT min, UINT max, UINT remove) {
  WindowManager& wm = WindowManager::Get();
  wm.PumpBackend(0);
  return wm.PeekPosted(msg, hwnd, min, max, (remove & PM_REMOVE) != 0) ? TRUE : FALSE;
}

LRESULT DispatchMessageA(const MSG* msg) {
  if (msg->message == WM_TIMER && msg->lParam) {
    auto proc = reinterpret_cast<TIMERPROC>(msg->lParam);
    proc(msg->hwnd, WM_TIMER, msg->wParam, msg->time);
    return 0;
  }
  if (!msg->hwnd) return 0;
  if (msg->message >= WM_MOUSEFIRST && msg->message <= WM_MOUSELAST && msg->message != WM_MOUSEWHEEL) {
    try {
      WindowManager::Get().UpdateHover(msg->hwnd, TPoint(msg->pt));
    } catch (...) {
      if (Application) Application->HandleException(nullptr);
    }
  }
  return SendMessageA(msg->hwnd, msg->message, msg->wParam, msg->lParam);
}

BOOL TranslateMessage(const MSG*) {
  // Characters arrive from the backend as their own events already.
  return FALSE;
}

LRESULT DefWindowProcA(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  WindowManager& wm = WindowManager::Get();
  TControl* c = FindControl(hwnd);
  switch (msg) {
    case WM_NCHITTEST:
      return HTCLIENT;
    case WM_NCLBUTTONDOWN:
      if (wParam == static_cast<WPARAM>(HTCAPTION) ||
          (wParam >= static_cast<WPARAM>(HTLEFT) && wParam <= static_cast<WPARAM>(HTBOTTOMRIGHT)))
        wm.BeginMoveSize(TopLevelForm(c), static_cast<LRESULT>(wParam));
      return 0;
    case WM_SYSCOMMAND: {
      TCustomForm* f = TopLevelForm(c);
      if (!f) return 0;
      switch (wParam & 0xFFF0) {
        case SC_MINIMIZE: f->SetWindowState(wsMinimized); break;
        case SC_MAXIMIZE: f->SetWindowState(wsMaximized); break;
        case SC_RESTORE: f->SetWindowState(wsNormal); break;
        case SC_CLOSE: PostMessageA(f->Handle(), WM_CLOSE, 0, 0); break;
        case SC_MOVE: wm.BeginMoveSize(f, HTCAPTION); break;
        default: break;
      }
      return 0;
    }
    case WM_CONTEXTMENU:
    case WM_MOUSEWHEEL:
      // Unhandled: the parent window may want it.
      if (c && c->Parent()) return SendMessageA(c->Parent()->Handle(), msg, wParam, lParam);
      return 0;
    case WM_GETTEXTLENGTH:
      return c ? static_cast<LRESULT>(c->GetText().size()) : 0;
    case WM_GETTEXT: {
      if (!c || !lParam || wParam == 0) return 0;
      std::string t = c->GetText();
      size_t n = std::min<size_t>(t.size(), wParam - 1);
      std::memcpy(reinterpret_cast<char*>(lParam), t.data(), n);
      reinterpret_cast<char*>(lParam)[n] = 0;
      return static_cast<LRESULT>(n);
    }
    case WM_SETTEXT:
      if (c) c->SetText(lParam ? reinterpret_cast<const char*>(lParam) : "");
      return TRUE;
    case WM_SETCURSOR:
      return 0;
    case WM_CLOSE:
      return 0;
    default:
      return 0;
  }
}

LRESULT CallWindowProcA(WNDPROC proc, HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (!proc) return DefWindowProcA(hwnd, msg, wParam, lParam);
  return proc(hwnd, msg, wParam, lParam);
}

LONG_PTR SetWindowLongA(HWND hwnd, int index, LONG_PTR value) {
  auto rec = WindowManager::Get().Find(hwnd);
  if (!rec) return 0;
  LONG_PTR old = 0;
  switch (index) {
    case GWL_WNDPROC:
      old = reinterpret_cast<LONG_PTR>(rec->proc);
      rec->proc = value ? reinterpret_cast<WNDPROC>(value) : StdWndProc;
      break;
    case GWL_USERDATA:
      old = rec->userdata;
      rec->userdata = value;
      break;
    case GWL_ID:
      old = rec->id;
      rec->id = value;
      break;
    case GWL_EXSTYLE:
      // The bits that follow from the form's own properties are not stored.
      old = GetWindowLongA(hwnd, GWL_EXSTYLE);
      rec->exstyle = value & ~(WS_EX_TOPMOST | WS_EX_TOOLWINDOW);
      break;
    default:
      break;
  }
  return old;
}

LONG_PTR GetWindowLongA(HWND hwnd, int index) {
  auto rec = WindowManager::Get().Find(hwnd);
  if (!rec) return 0;
  switch (index) {
    case GWL_WNDPROC:
      return reinterpret_cast<LONG_PTR>(rec->proc);
    case GWL_USERDATA:
      return rec->userdata;
    case GWL_ID:
      return rec->id;
    case GWL_STYLE: {
      LONG_PTR s = 0;
      TControl* c = rec->control;
      if (!c) return 0;
      if (c->Parent()) s |= WS_CHILD;
      if (c->Visible()) s |= WS_VISIBLE;
      if (!c->Enabled()) s |= WS_DISABLED;
      if (auto* f = dynamic_cast<TCustomForm*>(c)) {
        if (f->BorderStyle() == bsNone) s |= WS_POPUP;
        else s |= WS_CAPTION;
        if (f->BorderStyle() == bsSizeable || f->BorderStyle() == bsSizeToolWin) s |= WS_THICKFRAME;
        if (f->BorderIcons().Contains(biSystemMenu)) s |= WS_SYSMENU;
        if (f->BorderIcons().Contains(biMinimize)) s |= WS_MINIMIZEBOX;
        if (f->BorderIcons().Contains(biMaximize)) s |= WS_MAXIMIZEBOX;
      }
      return s;
    }
    case GWL_EXSTYLE: {
      auto* f = dynamic_cast<TCustomForm*>(rec->control);
      LONG_PTR s = rec->exstyle;
      if (f && f->FormStyle() == fsStayOnTop) s |= WS_EX_TOPMOST;
      if (f && (f->BorderStyle() == bsToolWindow || f->BorderStyle() == bsSizeToolWin)) s |= WS_EX_TOOLWINDOW;
      return s;
    }
    default:
      return 0;
  }
}

HWND AllocateHWnd(TWndMethod method) { return WindowManager::Get().Register(nullptr, std::move(method)); }

void DeallocateHWnd(HWND hwnd) { WindowManager::Get().Unregister(hwnd); }

HWND GetParent(HWND hwnd) {
  TControl* c = FindControl(hwnd);
  return c && c->Parent() ? c->Parent()->Handle() : nullptr;
}

BOOL IsWindowVisible(HWND hwnd) {
  TControl* c = FindControl(hwnd);
  return c && c->Showing();
}

BOOL IsWindowEnabled(HWND hwnd) {
  TControl* c = FindControl(hwnd);
  return c && c->Enabled();
}

BOOL EnableWindow(HWND hwnd, BOOL enable) {
  if (!TThread::IsMainThread()) return OnGuiThread([&] { return EnableWindow(hwnd, enable); });
  TControl* c = FindControl(hwnd);
  if (!c) return FALSE;
  BOOL wasDisabled = !c->Enabled();
  c->SetEnabled(enable != 0);
  return wasDisabled;
}

BOOL ShowWindow(HWND hwnd, int cmd) {
  if (!TThread::IsMainThread()) return OnGuiThread([&] { return ShowWindow(hwnd, cmd); });
  TControl* c = FindControl(hwnd);
  if (!c) return FALSE;
  BOOL was = c->Visible();
  auto* f = dynamic_cast<TCustomForm*>(c);
  switch (cmd) {
    case SW_HIDE: c->SetVisible(false); break;
    case SW_MINIMIZE:
    case SW_SHOWMINIMIZED:
      if (f) f->SetWindowState(wsMinimized);
      break;
    case SW_SHOWMAXIMIZED:
      if (f) f->SetWindowState(wsMaximized);
      c->SetVisible(true);
      break;
    case SW_RESTORE:
      if (f) f->SetWindowState(wsNormal);
      c->SetVisible(true);
      break;
    default: c->SetVisible(true); break;
  }
  return was;
}

BOOL GetClientRect(HWND hwnd, RECT* rect) {
  TControl* c = FindControl(hwnd);
  if (!c || !rect) return FALSE;
  TRect r = c->ClientRect();
  *rect = RECT{0, 0, r.Width(), r.Height()};
  return TRUE;
}

BOOL GetWindowRect(HWND hwnd, RECT* rect) {
  TControl* c = FindControl(hwnd);
  if (!c || !rect) return FALSE;
  TPoint p = c->Parent() ? c->Parent()->ClientToScreen(TPoint(c->Left(), c->Top())) : TPoint(c->Left(), c->Top());
  *rect = RECT{p.X, p.Y, p.X + c->Width(), p.Y + c->Height()};
  return TRUE;
}

BOOL ScreenToClient(HWND hwnd, POINT* point) {
  TControl* c = FindControl(hwnd);
  if (!c || !point) return FALSE;
  TPoint p = c->ScreenToClient(TPoint(*point));
  *point = p;
  return TRUE;
}

BOOL ClientToScreen(HWND hwnd, POINT* point) {
  TControl* c = FindControl(hwnd);
  if (!c || !point) return FALSE;
  TPoint p = c->ClientToScreen(TPoint(*point));
  *point = p;
  return TRUE;
}

BOOL InvalidateRect(HWND hwnd, const RECT* rect, BOOL erase) {
  if (!TThread::IsMainThread()) return OnGuiThread([&] { return InvalidateRect(hwnd, rect, erase); });
  TControl* c = FindControl(hwnd);
  TCustomForm* f = TopLevelForm(c);
  if (!c || !f) return FALSE;
  TPoint off = OffsetInForm(c);
  TRect r = rect ? TRect(*rect) : c->ClientRect();
  r.Offset(off.X, off.Y);
  // Only what is visible of the window.
  TRect vis(off.X, off.Y, off.X + c->ClientWidth(), off.Y + c->ClientHeight());
  WindowManager::Get().InvalidateFormRect(f, Intersect(r, vis));
  return TRUE;
}

BOOL UpdateWindow(HWND hwnd) {
  if (!TThread::IsMainThread()) return OnGuiThread([&] { return UpdateWindow(hwnd); });
  TCustomForm* f = TopLevelForm(FindControl(hwnd));
  if (!f) return FALSE;
  WindowManager::Get().PaintForm(f);
  return TRUE;
}

int SetWindowRgn(HWND hwnd, HRGN region, BOOL redraw) {
  if (!TThread::IsMainThread()) return OnGuiThread([&] { return SetWindowRgn(hwnd, region, redraw); });
  auto rec = WindowManager::Get().Find(hwnd);
  if (!rec) return 0;
  if (rec->region && rec->region != region) DeleteObject(rec->region);
  rec->region = region;
  auto* f = dynamic_cast<TCustomForm*>(rec->control);
  if (f && !f->Parent()) {
    if (region) {
      // The region is in window coordinates; the backend shapes the client area.
      int side, top, bottom;
      TCustomForm::NonClientMetrics(f->BorderStyle(), &side, &top, &bottom);
      std::vector<RECT> rects;
      for (const RegionBand& b : GetRegionBands(region))
        for (auto [x0, x1] : b.spans) rects.push_back(RECT{x0 - side, b.top - top, x1 - side, b.bottom - top});
      Backend().SetShape(hwnd, rects.data(), static_cast<int>(rects.size()));
    } else {
      Backend().SetShape(hwnd, nullptr, -1);
    }
    if (redraw) f->Invalidate();
  }
  return 1;
}

int GetWindowRgn(HWND hwnd, HRGN region) {
  auto rec = WindowManager::Get().Find(hwnd);
  if (!rec || !rec->region || !region) return ERROR;
  return CombineRgn(region, rec->region, nullptr, RGN_COPY);
}

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

UINT_PTR SetTimer(HWND hwnd, UINT_PTR id, UINT elapse, TIMERPROC proc) {
  if (!TThread::IsMainThread()) return OnGuiThread([&] { return SetTimer(hwnd, id, elapse, proc); });
  WindowManager& wm = WindowManager::Get();
  if (hwnd && !wm.Find(hwnd)) return 0;
  if (!hwnd) {
    static UINT_PTR next = 0x7000;
    id = ++next;
  }
  std::uint64_t due = Backend().Clock() + std::max<UINT>(elapse, 1);
  for (auto& t : wm.timers) {
    if (t.hwnd == hwnd && t.id == id) {
      t = TimerRecord{hwnd, id, elapse, proc, due};
      return hwnd ? 1 : id;
    }
  }
  wm.timers.push_back(TimerRecord{hwnd, id, elapse, proc, due});
  wm.Wake();
  return hwnd ? 1 : id;
}

BOOL KillTimer(HWND hwnd, UINT_PTR id) {
  if (!TThread::IsMainThread()) return OnGuiThread([&] { return KillTimer(hwnd, id); });
  WindowManager& wm = WindowManager::Get();
  auto it = std::find_if(wm.timers.begin(), wm.timers.end(),
                         [&](const TimerRecord& t) { return t.hwnd == hwnd && t.id == id; });
  if (it == wm.timers.end()) return FALSE;
  wm.timers.erase(it);
  // A tick already queued must not arrive after the timer is gone.
  MSG m;
  while (wm.PeekPosted(&m, hwnd, WM_TIMER, WM_TIMER, false) && m.wParam == id)
    wm.PeekPosted(&m, hwnd, WM_TIMER, WM_TIMER, true);
  return TRUE;
}

DWORD GetTickCount() { return static_cast<DWORD>(Backend().Clock()); }
UINT GetDoubleClickTime() { return 500; }

int GetSystemMetrics(int index) {
  int w = 0, h = 0;
  switch (index) {
    case SM_CXSCREEN: Backend().ScreenSize(&w, &h); return w;
    case SM_CYSCREEN: Backend().ScreenSize(&w, &h); return h;
    case SM_CXVSCROLL: case SM_CYHSCROLL: return 16;
    case SM_CYCAPTION: return 19;
    case SM_CYSMCAPTION: return 15;
    case SM_CXBORDER: case SM_CYBORDER: return 1;
    case SM_CXDLGFRAME: case SM_CYDLGFRAME: return 3;
    case SM_CXFRAME: case SM_CYFRAME: return 4;
    case SM_CXDOUBLECLK: case SM_CYDOUBLECLK: return 4;
    case SM_CYMENU: return 19;
    default: return 0;
  }
}

namespace {

LOGFONTA SystemFont(LONG height, LONG weight) {
  LOGFONTA lf{};
  lf.lfHeight = height;
  lf.lfWeight = weight;
  lf.lfCharSet = DEFAULT_CHARSET;
  std::strncpy(lf.lfFaceName, "Tahoma", LF_FACESIZE - 1);
  return lf;
}

}  // namespace

BOOL SystemParametersInfoA(UINT action, UINT param, void* out, UINT) {
  if (action == SPI_GETWORKAREA && out) {
    Backend().WorkArea(static_cast<RECT*>(out));
    return TRUE;
  }
  if (action == SPI_GETNONCLIENTMETRICS && out) {
    auto* m = static_cast<NONCLIENTMETRICSA*>(out);
    // Both sizes must cover the record, as the system insists.
    if (param < sizeof(NONCLIENTMETRICSA) || m->cbSize < sizeof(NONCLIENTMETRICSA)) return FALSE;
    m->iBorderWidth = 1;
    m->iScrollWidth = m->iScrollHeight = GetSystemMetrics(SM_CXVSCROLL);
    m->iCaptionWidth = m->iCaptionHeight = GetSystemMetrics(SM_CYCAPTION) - 1;
    m->lfCaptionFont = SystemFont(-11, FW_BOLD);
    m->iSmCaptionWidth = m->iSmCaptionHeight = GetSystemMetrics(SM_CYSMCAPTION) - 1;
    m->lfSmCaptionFont = SystemFont(-11, FW_BOLD);
    m->iMenuWidth = m->iMenuHeight = GetSystemMetrics(SM_CYMENU) - 1;
    m->lfMenuFont = SystemFont(-11, FW_NORMAL);
    m->lfStatusFont = SystemFont(-11, FW_NORMAL);
    m->lfMessageFont = SystemFont(-11, FW_NORMAL);
    return TRUE;
  }
  return FALSE;
}

// --- Device contexts of windows -------------------------------------------------------
namespace {

// The desktop has no control and no surface; its handle lies below every handle
// the window manager hands out.
HWND const kDesktop = reinterpret_cast<HWND>(std::uintptr_t{0x100});

std::mutex window_dcs_mu;
std::unordered_map<HDC, HWND>& WindowDCs() {
  static auto* m = new std::unordered_map<HDC, HWND>;  // lives until the process ends
  return *m;
}

HDC WindowDC(HWND hwnd, bool wholeWindow) {
  HDC dc = nullptr;
  TControl* c = hwnd == kDesktop ? nullptr : FindControl(hwnd);
  TCustomForm* f = c ? TopLevelForm(c) : nullptr;
  if (!f) {
    dc = CreateSurfaceDC(nullptr);
    if (!hwnd) hwnd = kDesktop;
  } else {
    TSurface& s = f->Surface();
    {
      std::lock_guard<std::recursive_mutex> lock(s.Lock);
      if (s.Width != f->ClientWidth() || s.Height != f->ClientHeight()) {
        s.Resize(f->ClientWidth(), f->ClientHeight(), 0);
        f->Invalidate();
      }
    }
    dc = CreateSurfaceDC(&s);
    TPoint off = OffsetInForm(c);
    TRect r = c->ClientRect();
    auto* w = dynamic_cast<TWinControl*>(c);
    if (wholeWindow && c != f && w) {
      off.X -= w->BorderWidth();
      off.Y -= w->BorderWidth();
      r = TRect(0, 0, c->Width(), c->Height());
    }
    SetViewportOrgEx(dc, off.X, off.Y, nullptr);
    IntersectClipRect(dc, 0, 0, r.Width(), r.Height());
  }
  std::lock_guard<std::mutex> lock(window_dcs_mu);
  WindowDCs()[dc] = hwnd;
  return dc;
}

}  // namespace

HDC GetDC(HWND hwnd) { return WindowDC(hwnd, false); }
HDC GetWindowDC(HWND hwnd) { return WindowDC(hwnd, true); }
HWND GetDesktopWindow() { return kDesktop; }

HWND WindowFromDC(HDC dc) {
  std::lock_guard<std::mutex> lock(window_dcs_mu);
  auto it = WindowDCs().find(dc);
  return it == WindowDCs().end() ? nullptr : it->second;
}

int ReleaseDC(HWND, HDC dc) {
  HWND owner = nullptr;
  {
    std::lock_guard<std::mutex> lock(window_dcs_mu);
    auto it = WindowDCs().find(dc);
    if (it == WindowDCs().end()) return 0;
    owner = it->second;
    WindowDCs().erase(it);
  }
  DeleteDC(dc);
  // What was drawn reaches the screen at the next present.
  if (TCustomForm* f = TopLevelForm(FindControl(owner))) {
    WindowManager& wm = WindowManager::Get();
    std::lock_guard<std::mutex> lock(wm.present_mu);
    wm.present_requests.push_back(f->Handle());
  }
  return 1;
}

BOOL MessageBeep(UINT) { return TRUE; }

BOOL PtInRect(const RECT* r, POINT p) {
  return r && p.x >= r->left && p.x < r->right && p.y >= r->top && p.y < r->bottom;
}
BOOL SetRect(RECT* r, int l, int t, int rr, int b) {
  if (!r) return FALSE;
  *r = RECT{l, t, rr, b};
  return TRUE;
}
BOOL SetRectEmpty(RECT* r) { return SetRect(r, 0, 0, 0, 0); }
BOOL IsRectEmpty(const RECT* r) { return !r || r->right <= r->left || r->bottom <= r->top; }
BOOL OffsetRect(RECT* r, int dx, int dy) {
  if (!r) return FALSE;
  r->left += dx; r->right += dx; r->top += dy; r->bottom += dy;
  return TRUE;
}
BOOL InflateRect(RECT* r, int dx, int dy) {
  if (!r) return FALSE;
  r->left -= dx; r->right += dx; r->top -= dy; r->bottom += dy;
  return TRUE;
}
BOOL IntersectRect(RECT* d, const RECT* a, const RECT* b) {
  if (!d || !a || !b) return FALSE;
  TRect r = Intersect(TRect(*a), TRect(*b));
  *d = r;
  return !r.IsEmpty();
}
BOOL UnionRect(RECT* d, const RECT* a, const RECT* b) {
  if (!d || !a || !b) return FALSE;
  TRect r = Union(IsRectEmpty(a) ? TRect() : TRect(*a), IsRectEmpty(b) ? TRect() : TRect(*b));
  *d = r;
  return !r.IsEmpty();
}
BOOL EqualRect(const RECT* a, const RECT* b) {
  return a && b && a->left == b->left && a->top == b->top && a->right == b->right && a->bottom == b->bottom;
}
BOOL CopyRect(RECT* d, const RECT* s) {
  if (!d || !s) return FALSE;
  *d = *s;
  return TRUE;
}

// ---------------------------------------------------------------------------
// Painting into a window from another thread (the preview painter).
namespace {

class VclSurfaceProvider : public WindowSurfaceProvider {
 public:
  bool Lock(HWND window, WindowSurface* out) override {
    *out = WindowSurface{nullptr, 0, 0, 0};
    auto rec = WindowManager::Get().Find(window);
    if (!rec || !rec->control) return false;
    TCustomForm* f = TopLevelForm(rec->control);
    if (!f) return false;
    TSurface& s = f->Surface();
    s.Lock.lock();
    // The surface follows the form's client size once it has been painted.
    if (s.Width != f->ClientWidth() || s.Height != f->ClientHeight())
      s.Resize(f->ClientWidth(), f->ClientHeight(), 0);
    TPoint off = OffsetInForm(rec->control);
    TRect cr = rec->control->ClientRect();
    int w = std::min(cr.Width(), s.Width - off.X);
    int h = std::min(cr.Height(), s.Height - off.Y);
    if (w <= 0 || h <= 0 || off.X < 0 || off.Y < 0) {
      s.Lock.unlock();
      return false;
    }
    *out = WindowSurface{s.Row(off.Y) + off.X, w, h, s.Width};
    std::lock_guard<std::mutex> lock(mu_);
    locked_[window] = &s;
    return true;
  }

  void Unlock(HWND window, bool repaint) override {
    TSurface* s = nullptr;
    {
      std::lock_guard<std::mutex> lock(mu_);
      auto it = locked_.find(window);
      if (it == locked_.end()) return;
      s = it->second;
      locked_.erase(it);
    }
    s->Lock.unlock();
    if (repaint) {
      WindowManager& wm = WindowManager::Get();
      {
        std::lock_guard<std::mutex> lock(wm.present_mu);
        wm.present_requests.push_back(window);
      }
      wm.Wake();
    }
  }

  bool IsWindow(HWND window) override { return WindowManager::Get().Find(window) != nullptr; }

 private:
  std::mutex mu_;
  std::map<HWND, TSurface*> locked_;
};

}  // namespace

void InstallWindowSurfaceProvider() { SetWindowSurfaceProvider(std::make_shared<VclSurfaceProvider>()); }

// --- Object instances: window procedures that call methods ---------------------------
// A fixed pool of plain functions, each bound to one slot of a table, stands in for
// generated code: a WNDPROC must be an ordinary function pointer.
namespace {

constexpr std::size_t kObjectInstances = 1024;

struct InstanceSlot {
  std::shared_ptr<TWndMethod> method;  // null: free
};

std::mutex instances_mu;
InstanceSlot* Slots() {
  static auto* slots = new InstanceSlot[kObjectInstances];  // lives until the process ends
  return slots;
}

LRESULT CallInstance(std::size_t slot, HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  std::shared_ptr<TWndMethod> method;
  {
    std::lock_guard<std::mutex> lock(instances_mu);
    method = Slots()[slot].method;
  }
  // A freed instance that a window still calls behaves as the default procedure.
  if (!method || !*method) return DefWindowProcA(hwnd, msg, wParam, lParam);
  TMessage m{msg, wParam, lParam, 0};
  try {
    (*method)(m);
  } catch (...) {
    if (Application) Application->HandleException(FindControl(hwnd));
  }
  return m.Result;
}

template <std::size_t N>
LRESULT InstanceProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  return CallInstance(N, hwnd, msg, wParam, lParam);
}

template <std::size_t... N>
constexpr std::array<WNDPROC, sizeof...(N)> MakeInstanceProcs(std::index_sequence<N...>) {
  return {&InstanceProc<N>...};
}

constexpr auto kInstanceProcs = MakeInstanceProcs(std::make_index_sequence<kObjectInstances>());

}  // namespace

WNDPROC MakeObjectInstance(TWndMethod method) {
  std::lock_guard<std::mutex> lock(instances_mu);
  for (std::size_t i = 0; i < kObjectInstances; ++i) {
    if (!Slots()[i].method) {
      Slots()[i].method = std::make_shared<TWndMethod>(std::move(method));
      return kInstanceProcs[i];
    }
  }
  throw EOutOfResources("Too many object instances");
}

void FreeObjectInstance(WNDPROC instance) {
  std::lock_guard<std::mutex> lock(instances_mu);
  for (std::size_t i = 0; i < kObjectInstances; ++i)
    if (kInstanceProcs[i] == instance) Slots()[i].method.reset();
}
