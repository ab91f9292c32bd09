// Extra controls: the timer (the panels and images come with the standard controls).
#pragma once

#include <vcl/controls.h>

// Raises OnTimer every Interval milliseconds of the backend's clock while Enabled,
// on the GUI thread.
class QVCL_API TTimer : public TComponent {
 public:
  explicit TTimer(TComponent* owner);
  ~TTimer() override;
  std::string ClassName() const override { return "TTimer"; }
  bool Enabled() const { return enabled_; }
  void SetEnabled(bool v);
  UINT Interval() const { return interval_; }
  void SetInterval(UINT v);
  TNotifyEvent OnTimer;

 protected:
  virtual void Timer();

 private:
  void UpdateTimer();
  void WndProc(TMessage& m);
  HWND window_;
  bool enabled_ = true;
  UINT interval_ = 1000;
};
