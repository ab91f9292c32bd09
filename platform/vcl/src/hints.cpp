// Hints: the hint window and the application's timing of it (pause on a control,
// hiding on leaving, a press, a key or after a while).
#include "winuser/window_manager.h"

#include <algorithm>

namespace {

// The timer of the application's window that waits for a hint or ends one.
constexpr UINT_PTR kHintTimer = 0x4854;
// Below the pointer's hot spot by about the height of the arrow.
constexpr int kBelowPointer = 20;

// The control whose hint applies under the pointer: the first up from c with ShowHint.
TControl* HintControlOf(TControl* c) {
  while (c && !c->ShowHint()) c = c->Parent();
  return c;
}

// A control without a hint of its own shows the nearest parent's.
std::string HintTextOf(TControl* c) {
  for (; c; c = c->Parent())
    if (!c->Hint().empty()) return c->Hint();
  return {};
}

bool IsHintCancelling(UINT msg) {
  switch (msg) {
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
    case WM_RBUTTONDOWN:
    case WM_RBUTTONDBLCLK:
    case WM_MBUTTONDOWN:
    case WM_MBUTTONDBLCLK:
    case WM_NCLBUTTONDOWN:
    case WM_NCRBUTTONDOWN:
    case WM_MOUSEWHEEL:
      return true;
    default:
      return false;
  }
}

}  // namespace

std::string GetShortHint(const std::string& hint) { return hint.substr(0, hint.find('|')); }

// --- THintWindow ---------------------------------------------------------------------

THintWindow::THintWindow(TComponent* owner) : TCustomForm(owner) {
  SetBorderStyle(bsNone);
  SetControlStyle(ControlStyle() & ~(csCaptureMouse | csClickEvents | csDoubleClicks));
  SetColor(Application ? Application->HintColor : clInfoBk);
  Font()->SetColor(clInfoText);
  MakePopupWindow(this, nullptr, true);
}

TRect THintWindow::CalcHintRect(int maxWidth, const std::string& hint) {
  TBitmap measure(1, 1);
  TCanvas* c = measure.Canvas();
  c->SetFont(Font());
  RECT r{0, 0, std::max(1, maxWidth), 0};
  DrawTextA(c->Handle(), hint.c_str(), -1, &r, DT_CALCRECT | DT_LEFT | DT_WORDBREAK | DT_NOPREFIX);
  // A frame and a little room round the text.
  return TRect(0, 0, r.right + 6, r.bottom + 2);
}

void THintWindow::ActivateHint(const TRect& rect, const std::string& hint) {
  SetCaption(hint);
  SetColor(Application ? Application->HintColor : clInfoBk);
  SetBoundsRect(rect);
  if (Visible())
    Invalidate();
  else
    SetVisible(true);
}

void THintWindow::Paint() {
  TCanvas* c = Canvas();
  TRect r = ClientRect();
  c->Brush()->SetStyle(bsSolid);
  c->Brush()->SetColor(Color());
  c->FillRect(r);
  c->Brush()->SetColor(clWindowFrame);
  c->FrameRect(r);
  c->Brush()->SetStyle(bsClear);
  c->SetFont(Font());
  RECT text{r.Left + 2, r.Top + 1, r.Right - 2, r.Bottom - 1};
  DrawTextA(c->Handle(), Caption().c_str(), -1, &text, DT_LEFT | DT_WORDBREAK | DT_NOPREFIX);
}

void THintWindow::CMVisibleChanged(TMessage& m) {
  // Shown and hidden without the activation a form takes.
  TWinControl::CMVisibleChanged(m);
  WindowManager& wm = WindowManager::Get();
  if (Visible()) {
    Backend().SetBounds(Handle(), Left(), Top(), ClientWidth(), ClientHeight());
    Backend().SetVisible(Handle(), true);
    Invalidate();
    return;
  }
  Backend().SetVisible(Handle(), false);
  if (wm.mouse_control == this) wm.mouse_control = nullptr;
  if (wm.active_form == this) {
    // A click into the hint made it the active window: give that back.
    wm.active_form = nullptr;
    for (auto it = wm.forms.rbegin(); it != wm.forms.rend(); ++it)
      if (*it != this && (*it)->Visible() && wm.InputAllowed(*it)) {
        (*it)->SetFocus();
        break;
      }
  }
}

void THintWindow::WMActivate(TMessage& m) { m.Result = 0; }

// --- TApplication's hints ------------------------------------------------------------

void TApplication::SetShowHint(bool v) {
  if (v == show_hint_) return;
  show_hint_ = v;
  if (!v) {
    CancelHint();
    hint_control_ = nullptr;
  }
}

void TApplication::CancelHint() {
  StopHintTimer();
  HideHintWindow();
  hint_active_ = false;
  hint_done_ = hint_control_ != nullptr;
}

void TApplication::StartHintTimer(int ms) {
  hint_timer_ = true;
  SetTimer(handle_, kHintTimer, static_cast<UINT>(std::max(ms, 1)), nullptr);
}

void TApplication::StopHintTimer() {
  if (!hint_timer_) return;
  hint_timer_ = false;
  KillTimer(handle_, kHintTimer);
}

void TApplication::HideHintWindow() {
  hint_shown_ = false;
  if (hint_window_ && hint_window_->Visible()) hint_window_->Hide();
}

void TApplication::ForgetHintControl(TControl* c) {
  if (c == hint_window_) {
    hint_window_ = nullptr;
    hint_shown_ = false;
  }
  if (c && c == hint_control_) {
    StopHintTimer();
    HideHintWindow();
    hint_control_ = nullptr;
    hint_done_ = false;
  }
}

void TApplication::HintMessage(const MSG& msg, bool dispatched) {
  if (!dispatched) {
    if (IsHintCancelling(msg.message)) CancelHint();
    return;
  }
  if (msg.message != WM_MOUSEMOVE || !show_hint_) return;
  // The hover tracking has just followed this move.
  TControl* c = HintControlOf(MouseControl());
  if (c == hint_control_) return;  // resting or moving on the same control: its pause goes on
  StopHintTimer();
  HideHintWindow();
  hint_control_ = c;
  hint_done_ = false;
  if (!c) {
    hint_active_ = false;
    return;
  }
  StartHintTimer(hint_active_ ? HintShortPause : HintPause);
}

void TApplication::HintTimer() {
  StopHintTimer();
  WindowManager& wm = WindowManager::Get();
  if (hint_shown_) {
    // Shown long enough.
    HideHintWindow();
    hint_done_ = true;
    return;
  }
  TControl* c = hint_control_;
  if (!c || hint_done_ || !show_hint_ || !c->Showing() || wm.capture_control) return;
  TCustomForm* form = TopLevelForm(c);
  if (!form || !form->Showing() || !wm.InputAllowed(form)) return;
  const std::string text = GetShortHint(HintTextOf(c));
  if (text.empty()) return;
  if (!hint_window_) hint_window_ = new THintWindow(this);
  const TRect area = WorkArea();
  TRect r = hint_window_->CalcHintRect(std::min(area.Width(), 400), text);
  const TPoint p = wm.cursor;
  r.Offset(p.X, p.Y + kBelowPointer);
  // Above the pointer where the screen ends below it: never under the pointer.
  if (r.Bottom > area.Bottom) r.Offset(0, p.Y - 2 - r.Bottom);
  r = KeepInside(r, area);
  hint_window_->ActivateHint(r, text);
  hint_shown_ = true;
  hint_active_ = true;
  if (HintHidePause > 0) StartHintTimer(HintHidePause);
}
