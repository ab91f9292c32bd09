// TTimer: a component that fires OnTimer at its interval through a window of its own.
#include <vcl/extctrls.h>
#include <vcl/forms.h>

TTimer::TTimer(TComponent* owner) : TComponent(owner) {
  window_ = AllocateHWnd([this](TMessage& m) { WndProc(m); });
  UpdateTimer();
}

TTimer::~TTimer() {
  KillTimer(window_, 1);
  DeallocateHWnd(window_);
}

void TTimer::SetEnabled(bool v) {
  if (v == enabled_) return;
  enabled_ = v;
  UpdateTimer();
}

void TTimer::SetInterval(UINT v) {
  if (v == interval_) return;
  interval_ = v;
  UpdateTimer();
}

void TTimer::UpdateTimer() {
  KillTimer(window_, 1);
  if (enabled_ && interval_ != 0) SetTimer(window_, 1, interval_, nullptr);
}

void TTimer::Timer() {
  if (OnTimer) OnTimer(this);
}

void TTimer::WndProc(TMessage& m) {
  if (m.Msg != WM_TIMER) {
    m.Result = DefWindowProcA(window_, m.Msg, m.WParam, m.LParam);
    return;
  }
  try {
    Timer();
  } catch (...) {
    if (Application) Application->HandleException(this);
  }
}
