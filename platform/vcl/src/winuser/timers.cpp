// Timers on the backend's clock: due timers post WM_TIMER into the queue.
#include "window_manager.h"

#include <algorithm>

void WindowManager::RunTimers() {
  std::uint64_t now = Backend().Clock();
  for (auto& t : timers) {
    if (t.due > now) continue;
    // Like the system, at most one WM_TIMER of a timer waits in the queue.
    bool queued = false;
    {
      std::lock_guard<std::mutex> lock(queue_mu_);
      for (const MSG& m : queue_)
        if (m.hwnd == t.hwnd && m.message == WM_TIMER && m.wParam == t.id) queued = true;
    }
    if (!queued) Post(MSG{t.hwnd, WM_TIMER, t.id, reinterpret_cast<LPARAM>(t.proc), static_cast<DWORD>(now), {}});
    t.due = now + std::max<UINT>(t.elapse, 1);
  }
}

int WindowManager::NextTimerDue() {
  std::uint64_t now = Backend().Clock();
  int next = -1;
  for (const auto& t : timers) {
    int left = static_cast<int>(std::min<std::uint64_t>(t.due > now ? t.due - now : 0, 0x7FFFFFFF));
    if (next < 0 || left < next) next = left;
  }
  return next;
}

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
  wm.RemoveTick(hwnd, id);
  return TRUE;
}

void WindowManager::RemoveTick(HWND hwnd, UINT_PTR id) {
  // Only this timer's: another timer's tick may be queued before it, and a window-less
  // timer's is not any window's.
  std::lock_guard<std::mutex> lock(queue_mu_);
  queue_.erase(std::remove_if(queue_.begin(), queue_.end(),
                              [=](const MSG& m) { return m.hwnd == hwnd && m.message == WM_TIMER && m.wParam == id; }),
               queue_.end());
}

DWORD GetTickCount() { return static_cast<DWORD>(Backend().Clock()); }
