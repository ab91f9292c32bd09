// The window manager's core: handles and their records, the posted-message queue,
// the library's own window procedure, and forgetting a control that goes away.
#include "window_manager.h"

#include <algorithm>
#include <utility>

#include <win32/region.h>

TCustomForm* TopLevelForm(TControl* c) {
  while (c && c->Parent()) c = c->Parent();
  return dynamic_cast<TCustomForm*>(c);
}

TRect KeepInside(TRect r, const TRect& area) {
  r.Offset(std::min(0, area.Right - r.Right), std::min(0, area.Bottom - r.Bottom));
  r.Offset(std::max(0, area.Left - r.Left), std::max(0, area.Top - r.Top));
  return r;
}

TRect WorkArea() { return Screen ? Screen->WorkAreaRect() : TRect(0, 0, 1024, 768); }

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

void WindowManager::PollInput() {
  BackendEvent e;
  MSG queued;
  // Input becomes messages one event at a time, and the next event only once the
  // messages before it are handled: it is routed with the capture and focus they leave.
  // Input that piled up (a busy loop, a quick user) would otherwise send a click right
  // after another to the control whose capture the first click's release ends.
  while (!PeekPosted(&queued, nullptr, 0, 0, false) && Backend().WaitEvent(&e, 0)) TranslateEvent(e);
}

void WindowManager::WaitForInput(int timeoutMs) {
  BackendEvent e;
  if (Backend().WaitEvent(&e, timeoutMs)) TranslateEvent(e);
}

void WindowManager::ControlDestroyed(TControl* c) {
  if (Application) Application->ForgetHintControl(c);
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
