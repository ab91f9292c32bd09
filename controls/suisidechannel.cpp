#include "suisidechannel.h"

#include <vector>

#include <vcl/forms.h>
#include <vcl/messages.h>
#include <vcl/resources.h>

namespace {

[[maybe_unused]] const bool kApplyRow = [] {
  // The channel has no pictures per style: it takes the panel face colour.
  RegisterContainerApplier(TsuiApplyRow::SideChannel, [](TControl* child, TsuiUIStyle style) {
    if (auto* s = dynamic_cast<TsuiSideChannel*>(child)) {
      s->SetColor(GetThemeColor(style, 8));
      s->SetSideBarColor(GetThemeColor(style, 8));
    }
  });
  return true;
}();

// Lets the application handle what is pending between two steps of a slide. A
// form released meanwhile (a close from some handler) is freed only after the
// slide: freeing it now would pull the channel away under the running slide.
void PumpDuringSlide() {
  TMessageEvent previous = Application->OnMessage;
  std::vector<HWND> released;
  Application->OnMessage = [&](MSG& msg, bool& handled) {
    if (msg.message == CM_RELEASE) {
      released.push_back(msg.hwnd);
      handled = true;
      return;
    }
    if (previous) previous(msg, handled);
  };
  Application->ProcessMessages();
  Application->OnMessage = previous;
  for (HWND h : released) PostMessageA(h, CM_RELEASE, 0, 0);
}

void SetPinGlyph(TSpeedButton* pin, const char* name) {
  try {
    pin->SetGlyph(LoadBitmapResource(name).get());
  } catch (const std::exception&) {
    // Without its picture the pin still works as a flat button.
  }
}

}  // namespace

TsuiSideChannel::TsuiSideChannel(TComponent* owner) : TCustomPanel(owner) {
  SetColor(GetSUIFormColor(owner));
  SetBevelInner(bvNone);
  SetBevelOuter(bvNone);
  SetAlign(alLeft);

  side_bar_ = new TPanel(this);
  side_bar_->SetParent(this);
  side_bar_->SetAlign(alLeft);
  side_bar_->SetWidth(10);
  side_bar_->SetBevelInner(bvNone);
  side_bar_->SetBevelOuter(bvNone);
  side_bar_->SetCaption("");
  side_bar_->OnMouseMove = [this](TObject*, TShiftState, int, int) { OnMouseIn(); };
  side_bar_->OnClick = [this](TObject*) { OnLeftBarClick(); };

  top_panel_ = new TPanel(this);
  top_panel_->SetParent(this);
  top_panel_->SetAlign(alTop);
  top_panel_->SetHeight(16);
  top_panel_->SetBevelInner(bvNone);
  top_panel_->SetBevelOuter(bvNone);
  top_panel_->SetCaption("");
  top_panel_->OnMouseMove = [this](TObject*, TShiftState, int, int) { OnMouseIn(); };
  top_panel_->OnResize = [this](TObject*) { OnTopPanelResize(); };

  pin_ = new TSpeedButton(this);
  pin_->SetParent(top_panel_);
  pin_->SetFlat(true);
  pin_->SetBounds(0, 0, 20, 16);
  pin_->SetGroupIndex(1);
  pin_->SetAllowAllUp(true);
  SetPinGlyph(pin_, "SIDECHANNEL_BTN_NOONTOP");
  // After the release, when the pin shows its new state (its click comes before).
  pin_->OnMouseUp = [this](TObject*, TMouseButton button, TShiftState, int x, int y) {
    if (button == mbLeft && pin_->ClientRect().Contains(x, y)) OnPinClick();
  };

  bar_button_ = new TsuiButton(this);
  bar_button_->SetParent(side_bar_);
  bar_button_->SetUIStyle(TsuiUIStyle::Custom);
  bar_button_->SetCaption("");
  bar_button_->SetPicNormal("SIDECHANNEL_BAR_NORMAL");
  bar_button_->SetPicMouseOn("SIDECHANNEL_BAR_MOUSEON");
  bar_button_->SetPicMouseDown("SIDECHANNEL_BAR_MOUSEON");
  bar_button_->SetTabStop(false);
  bar_button_->SetAutoSize(true);
  bar_button_->SetLeft(0);
  bar_button_->SetTop(0);
  bar_button_->OnMouseMove = [this](TObject*, TShiftState, int, int) { OnMouseIn(); };
  bar_button_->OnClick = [this](TObject*) { OnLeftBarClick(); };

  timer_ = new TTimer(this);
  timer_->SetEnabled(false);
  timer_->SetInterval(500);
  timer_->OnTimer = [this](TObject*) { OnTimerCheck(); };

  SetSideBarColor(Color());
  Push(true);
}

TsuiSideChannel::~TsuiSideChannel() = default;

// The parts are owned components, freed before the channel's destructor runs: a
// part that goes is forgotten, so that nothing on the way out reaches it.
void TsuiSideChannel::Notification(TComponent* component, TOperation operation) {
  TCustomPanel::Notification(component, operation);
  if (operation != opRemove) return;
  if (component == timer_) timer_ = nullptr;
  if (component == pin_) pin_ = nullptr;
  if (component == bar_button_) bar_button_ = nullptr;
  if (component == top_panel_) top_panel_ = nullptr;
  if (component == side_bar_) side_bar_ = nullptr;
}

void TsuiSideChannel::SetVisibleWidth(int w) {
  SetBounds(Left(), Top(), w, Height());
  Repaint();
}

void TsuiSideChannel::RunWaitingSlide(Slide done) {
  const Slide next = waiting_;
  waiting_ = Slide::None;
  if (next == Slide::Push && done == Slide::Pop) Push(waiting_quick_);
  if (next == Slide::Pop && done == Slide::Push) Pop(waiting_quick_);
}

void TsuiSideChannel::Pop(bool quick) {
  if (moving_) {
    waiting_ = Slide::Pop;
    waiting_quick_ = quick;
    return;
  }
  moving_ = true;
  pin_->Show();
  if (!quick) {
    while (Width() + kStep < popped_width_) {
      SetVisibleWidth(Width() + kStep);
      PumpDuringSlide();
    }
  }
  SetVisibleWidth(popped_width_);
  timer_->SetEnabled(!pin_->Down());
  moving_ = false;
  top_panel_->SetCaption(caption_);
  if (OnPop) OnPop(this);
  RunWaitingSlide(Slide::Pop);
}

void TsuiSideChannel::Push(bool quick) {
  if (moving_) {
    waiting_ = Slide::Push;
    waiting_quick_ = quick;
    return;
  }
  moving_ = true;
  timer_->SetEnabled(false);
  if (!quick) {
    while (SideBarWidth() < Width() - kStep) {
      SetVisibleWidth(Width() - kStep);
      PumpDuringSlide();
    }
  }
  SetVisibleWidth(SideBarWidth());
  pin_->Hide();
  top_panel_->SetCaption("");
  moving_ = false;
  if (OnPush) OnPush(this);
  RunWaitingSlide(Slide::Push);
}

void TsuiSideChannel::OnMouseIn() {
  if (SideBarWidth() >= Width() && popup_mode_ == suiMouseOn) Pop(quick_move_);
}

void TsuiSideChannel::OnLeftBarClick() {
  if (popup_mode_ == suiMouseClick) Pop(quick_move_);
}

void TsuiSideChannel::OnPinClick() {
  timer_->SetEnabled(!pin_->Down());
  SetPinGlyph(pin_, pin_->Down() ? "SIDECHANNEL_BTN_ONTOP" : "SIDECHANNEL_BTN_NOONTOP");
  stay_on_ = pin_->Down();
}

void TsuiSideChannel::OnTimerCheck() {
  if (!Parent()) {
    Push(quick_move_);
    return;
  }
  POINT p{0, 0};
  GetCursorPos(&p);
  TPoint tl = ClientToScreen(TPoint(0, 0));
  const bool inside = tl.X < p.x && p.x < tl.X + Width() && tl.Y < p.y && p.y < tl.Y + Height();
  if (!inside) Push(quick_move_);
}

void TsuiSideChannel::OnTopPanelResize() { pin_->SetLeft(top_panel_->Width() - pin_->Width()); }

void TsuiSideChannel::SetStayOn(bool v) {
  stay_on_ = v;
  if (v) {
    Pop(quick_move_);
    pin_->SetDown(true);
  } else {
    pin_->SetDown(false);
    Push(true);
  }
  OnPinClick();
}

void TsuiSideChannel::SetChannelAlign(TsuiSideChannelAlign v) {
  align_ = v;
  SetAlign(v == TsuiSideChannelAlign::suiLeft ? alLeft : alRight);
}

void TsuiSideChannel::SetSideBarWidth(int v) {
  side_bar_->SetWidth(v);
  Push(true);
}

void TsuiSideChannel::SetSideBarColor(TColor v) {
  side_bar_->SetColor(v);
  top_panel_->SetColor(v);
}

void TsuiSideChannel::Resize() {
  // A user's resize of the open channel is remembered.
  if (side_bar_ && !moving_ && SideBarWidth() < Width()) popped_width_ = Width();
  TCustomPanel::Resize();
}

bool TsuiSideChannel::CanResize(int& newWidth, int& newHeight) {
  bool ok = TCustomPanel::CanResize(newWidth, newHeight);
  if (ok && !moving_ && pin_ && pin_->Visible() && newWidth < 50) ok = false;
  return ok;
}
