// A panel docked at its parent's left or right edge that stays pushed in to a
// narrow side bar, slides out to its full width when the mouse rests on the bar
// (or the bar is clicked), slides back when the mouse leaves it, and can be
// pinned open with the pin button of its caption strip.
#pragma once

#include <cstdint>

#include <vcl/buttons.h>
#include <vcl/extctrls.h>

#include "suibutton.h"

// Scoped, as the title bar's section alignment is: both name suiLeft and suiRight.
enum class TsuiSideChannelAlign : std::uint8_t { suiLeft, suiRight };
enum TsuiSideChannelPopupMode : std::uint8_t { suiMouseOn, suiMouseClick };

class TsuiSideChannel : public TCustomPanel {
 public:
  // Pixels per step of a slide.
  static constexpr int kStep = 15;

  explicit TsuiSideChannel(TComponent* owner);
  ~TsuiSideChannel() override;
  std::string ClassName() const override { return "TsuiSideChannel"; }

  // The popped-out width; the visible width is set by Pop and Push.
  int PoppedWidth() const { return popped_width_; }
  void SetWidth(int v) { popped_width_ = v; }
  TColor SideBarColor() const { return side_bar_->Color(); }
  void SetSideBarColor(TColor v);
  int SideBarWidth() const { return side_bar_->Width(); }
  void SetSideBarWidth(int v);
  std::string Caption() const { return caption_; }
  void SetCaption(const std::string& v) { caption_ = v; }
  TFont* StripFont() const { return top_panel_->Font(); }
  void SetStripFont(TFont* v) { top_panel_->Font()->Assign(v); }
  TAlignment Alignment() const { return top_panel_->Alignment(); }
  void SetAlignment(TAlignment v) { top_panel_->SetAlignment(v); }
  TsuiSideChannelAlign ChannelAlign() const { return align_; }
  void SetChannelAlign(TsuiSideChannelAlign v);
  bool StayOn() const { return stay_on_; }
  void SetStayOn(bool v);
  TsuiSideChannelPopupMode PopupMode() const { return popup_mode_; }
  void SetPopupMode(TsuiSideChannelPopupMode v) { popup_mode_ = v; }
  bool QuickMove() const { return quick_move_; }
  void SetQuickMove(bool v) { quick_move_ = v; }

  // Slide out or in, one slide at a time: a request made while a slide runs waits
  // for its end, and then the last such request runs if it moves the other way.
  void Pop(bool quick = false);
  void Push(bool quick = false);
  bool Moving() const { return moving_; }
  bool PoppedOut() const { return pin_->Visible(); }

  TPanel* SideBar() const { return side_bar_; }
  TPanel* CaptionStrip() const { return top_panel_; }
  TSpeedButton* PinButton() const { return pin_; }
  TsuiButton* BarButton() const { return bar_button_; }
  TTimer* Timer() const { return timer_; }

  TNotifyEvent OnPush;
  TNotifyEvent OnPop;

 protected:
  void Resize() override;
  bool CanResize(int& newWidth, int& newHeight) override;
  void Notification(TComponent* component, TOperation operation) override;

 private:
  void OnMouseIn();
  void OnLeftBarClick();
  void OnPinClick();
  void OnTimerCheck();
  void OnTopPanelResize();
  void SetVisibleWidth(int w);
  enum class Slide : std::uint8_t { None, Pop, Push };
  // The request that waited for the slide `done` to end.
  void RunWaitingSlide(Slide done);

  TPanel* side_bar_ = nullptr;
  TPanel* top_panel_ = nullptr;
  TSpeedButton* pin_ = nullptr;
  TsuiButton* bar_button_ = nullptr;
  TTimer* timer_ = nullptr;
  bool moving_ = false;
  Slide waiting_ = Slide::None;
  bool waiting_quick_ = false;
  int popped_width_ = 0;
  std::string caption_;
  TsuiSideChannelAlign align_ = TsuiSideChannelAlign::suiLeft;
  bool stay_on_ = false;
  TsuiSideChannelPopupMode popup_mode_ = suiMouseOn;
  bool quick_move_ = false;
};
