// Forms, the application object and the screen.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include <vcl/export.h>
#include <vcl/controls.h>

class TMainMenu;  // the menus unit defines it

enum TFormBorderStyle { bsNone, bsSingle, bsSizeable, bsDialog, bsToolWindow, bsSizeToolWin };
using TBorderStyle = TFormBorderStyle;
enum TBorderIcon { biSystemMenu, biMinimize, biMaximize, biHelp };
using TBorderIcons = TSmallSet<TBorderIcon>;
enum TFormStyle { fsNormal, fsMDIChild, fsMDIForm, fsStayOnTop };
enum TPosition {
  poDesigned, poDefault, poDefaultPosOnly, poDefaultSizeOnly, poScreenCenter, poDesktopCenter,
  poMainFormCenter, poOwnerFormCenter
};
enum TWindowState { wsNormal, wsMinimized, wsMaximized };
enum TCloseAction { caNone, caHide, caFree, caMinimize };

using TModalResult = int;
inline constexpr TModalResult mrNone = 0, mrOk = 1, mrCancel = 2, mrAbort = 3, mrRetry = 4,
                              mrIgnore = 5, mrYes = 6, mrNo = 7, mrAll = 8, mrNoToAll = 9,
                              mrYesToAll = 10;

// More than any screen shows: a form never grows beyond this many pixels either way,
// whatever its size is set to or its contents ask for, so that its pixels can always
// be allocated.
inline constexpr int kMaxFormExtent = 8192;

using TCloseEvent = std::function<void(TObject* sender, TCloseAction& action)>;
using TCloseQueryEvent = std::function<void(TObject* sender, bool& canClose)>;

class QVCL_API TCustomForm : public TWinControl {
 public:
  explicit TCustomForm(TComponent* owner);
  ~TCustomForm() override;
  std::string ClassName() const override { return "TCustomForm"; }

  // Runs OnCreate; the application's CreateForm calls it once the constructors
  // (which set the form's resource properties) have run. An exception raised by
  // OnCreate is shown and the form stays.
  void AfterConstruction() override;
  // Runs OnDestroy; Free() calls it before the destructors.
  void BeforeDestruction() override;

  TFormBorderStyle BorderStyle() const { return border_style_; }
  // Makes the window anew with the other frame; it loses its window region.
  void SetBorderStyle(TFormBorderStyle v);
  TBorderIcons BorderIcons() const { return border_icons_; }
  void SetBorderIcons(TBorderIcons v) { border_icons_ = v; }
  TFormStyle FormStyle() const { return form_style_; }
  void SetFormStyle(TFormStyle v);
  TPosition Position() const { return position_; }
  void SetPosition(TPosition v) { position_ = v; }
  TWindowState WindowState() const { return window_state_; }
  void SetWindowState(TWindowState v);
  // Where the form goes when it is restored: the bounds it had before it was
  // maximised; its bounds while it is not maximised.
  TRect RestoredBounds() const { return window_state_ == wsMaximized ? restore_bounds_ : BoundsRect(); }
  bool KeyPreview = false;
  TMainMenu* Menu() const { return menu_; }
  void SetMenu(TMainMenu* m) { menu_ = m; }

  TWinControl* ActiveControl() const { return active_control_; }
  void SetActiveControl(TWinControl* c);
  // Moves the keyboard focus to c (null: to the form itself).
  bool SetFocusedControl(TWinControl* c);
  void FocusControl(TWinControl* c);
  bool Active() const;

  TModalResult ModalResult() const { return modal_result_; }
  void SetModalResult(TModalResult v) { modal_result_ = v; }
  bool Modal() const { return modal_; }

  void Show();
  void Hide();
  // OnCloseQuery, then OnClose with the action: caHide hides, caFree releases the
  // form once the current message is done, caMinimize minimises, caNone keeps it.
  // Closing the main form ends the application; closing a modal form sets
  // ModalResult to mrCancel.
  void Close();
  virtual bool CloseQuery();
  // Shows the form modally: other windows take no input until ModalResult is set
  // (or the form closes). Answers the ModalResult.
  virtual int ShowModal();
  // Frees the form after the message being handled (deferred release).
  void Release();
  void SetFocus() override;
  bool CanFocus() const override;
  TCanvas* Canvas();
  void SetVisible(bool v) override;
  void SetBounds(int left, int top, int width, int height) override;
  TPoint ClientOrigin() const override;
  TRect ClientRect() const override;
  void SetClientSize(int width, int height) override;
  bool Showing() const override;
  // The form's window region (null: rectangular); owned by the window.
  HRGN WindowRegion() const;
  // The form's pixels (its client area); what the backend shows.
  TSurface& Surface();

  TNotifyEvent OnCreate;
  TNotifyEvent OnDestroy;
  TNotifyEvent OnShow;
  TNotifyEvent OnHide;
  TCloseEvent OnClose;
  TCloseQueryEvent OnCloseQuery;
  TNotifyEvent OnPaint;
  TNotifyEvent OnActivate;
  TNotifyEvent OnDeactivate;

  void WndProc(TMessage& m) override;
  void Dispatch(TMessage& m) override;
  void DefaultHandler(TMessage& m) override;

  // Frame sizes around the client area for a border style.
  static void NonClientMetrics(TFormBorderStyle style, int* side, int* top, int* bottom);

 protected:
  virtual void DoCreate();
  virtual void DoDestroy();
  virtual void DoShow();
  virtual void DoHide();
  virtual void DoClose(TCloseAction& action);
  virtual void Paint();
  void PaintWindow(HDC dc) override;
  void Notification(TComponent* component, TOperation operation) override;
  void AdjustSize() override;

  virtual void WMClose(TMessage& m);
  virtual void WMSysCommand(TMessage& m);
  virtual void WMActivate(TMessage& m);
  virtual void CMRelease(TMessage& m);
  void WMSize(TMessage& m) override;
  void CMVisibleChanged(TMessage& m) override;
  void CMTextChanged(TMessage& m) override;

  // False for forms (message boxes) whose modal loop keeps running after the
  // application was told to terminate.
  bool modal_ends_on_terminate_ = true;

  friend class TApplication;
  friend struct WindowManager;

 private:
  void ApplyPosition();
  void ShowingChanged();
  void CreateBackendWindow();
  TFormBorderStyle border_style_ = bsSizeable;
  TBorderIcons border_icons_{biSystemMenu, biMinimize, biMaximize};
  TFormStyle form_style_ = fsNormal;
  TPosition position_ = poDesigned;
  TWindowState window_state_ = wsNormal;
  TRect restore_bounds_;
  TMainMenu* menu_ = nullptr;
  TWinControl* active_control_ = nullptr;
  TModalResult modal_result_ = mrNone;
  bool modal_ = false;
  bool position_applied_ = false;
  bool created_ = false;
  bool destroyed_ = false;
  std::unique_ptr<TControlCanvas> canvas_;
  bool painting_ = false;
  TSurface surface_;
};

class QVCL_API TForm : public TCustomForm {
 public:
  explicit TForm(TComponent* owner) : TCustomForm(owner) {}
  std::string ClassName() const override { return "TForm"; }
};

// The small window that shows a control's hint near the pointer: borderless, on the
// info colour, never activated, so the keyboard stays where it was.
class QVCL_API THintWindow : public TCustomForm {
 public:
  explicit THintWindow(TComponent* owner);
  std::string ClassName() const override { return "THintWindow"; }
  // The window's size for the text (lines broken at maxWidth), at the origin.
  virtual TRect CalcHintRect(int maxWidth, const std::string& hint);
  // Shows the text in a window of the given screen rectangle.
  virtual void ActivateHint(const TRect& rect, const std::string& hint);

 protected:
  void Paint() override;
  void CMVisibleChanged(TMessage& m) override;
  void WMActivate(TMessage& m) override;
};

// The part of a hint before its first '|' (the rest is the long hint).
QVCL_API std::string GetShortHint(const std::string& hint);

// Frees a component the library's way: BeforeDestruction (a form's OnDestroy), then
// the destructors.
QVCL_API void FreeComponent(TComponent* component);

// --- TScreen -----------------------------------------------------------------------------
class QVCL_API TScreen : public TComponent {
 public:
  explicit TScreen(TComponent* owner);
  std::string ClassName() const override { return "TScreen"; }
  int Width() const;
  int Height() const;
  int DesktopWidth() const { return Width(); }
  int DesktopHeight() const { return Height(); }
  TRect WorkAreaRect() const;
  int WorkAreaLeft() const { return WorkAreaRect().Left; }
  int WorkAreaTop() const { return WorkAreaRect().Top; }
  int WorkAreaWidth() const { return WorkAreaRect().Width(); }
  int WorkAreaHeight() const { return WorkAreaRect().Height(); }
  // A cursor other than crDefault overrides every control's own.
  TCursor Cursor() const { return cursor_; }
  void SetCursor(TCursor c);
  int FormCount() const { return static_cast<int>(forms_.size()); }
  TCustomForm* Forms(int index) const { return forms_.at(index); }
  TCustomForm* ActiveForm() const;
  TControl* ActiveControl() const;
  int PixelsPerInch() const { return 96; }

 private:
  friend class TCustomForm;
  TCursor cursor_ = crDefault;
  std::vector<TCustomForm*> forms_;
};

// --- TApplication -------------------------------------------------------------------------
using TMessageEvent = std::function<void(MSG& msg, bool& handled)>;
using TExceptionEvent = std::function<void(TObject* sender, const Exception& e)>;
using TIdleEvent = std::function<void(TObject* sender, bool& done)>;

class QVCL_API TApplication : public TComponent {
 public:
  explicit TApplication(TComponent* owner);
  ~TApplication() override;
  std::string ClassName() const override { return "TApplication"; }

  // Starts the backend and makes the calling thread the GUI thread.
  void Initialize();
  std::string Title() const { return title_; }
  void SetTitle(const std::string& t);
  // Creates a form owned by the application, stores it in ref, runs its OnCreate;
  // the first form created becomes the main form.
  // The form and the components its construction makes start in csLoading (as
  // forms read from resources do); once constructed, FinishLoading runs their
  // AfterConstruction and Loaded, then the form's AfterConstruction runs OnCreate.
  template <class T>
  void CreateForm(T*& ref) {
    ref = nullptr;
    BeginComponentLoading();
    T* form = nullptr;
    try {
      form = new T(this);
    } catch (...) {
      CancelComponentLoading();
      throw;
    }
    ref = form;
    FormCreated(form);
  }
  TCustomForm* MainForm() const { return main_form_; }
  bool ShowMainForm = true;
  // The message loop: until Terminate (closing the main form calls it).
  void Run();
  void Terminate();
  bool Terminated() const { return terminated_; }
  // Handles every waiting message, then returns.
  void ProcessMessages();
  // Handles one message, waiting for one when none is queued (idle processing first).
  void HandleMessage();
  // Shows e in a message box with the application's title.
  void ShowException(const Exception& e);
  // OnException when set, otherwise ShowException; for the exception being handled.
  void HandleException(TObject* sender);
  int MessageBox(const std::string& text, const std::string& caption, UINT flags);
  void Minimize();
  void Restore();
  void BringToFront();
  HWND Handle() const { return handle_; }
  std::string ExeName() const;
  // Number of nested modal loops running.
  int ModalLevel() const { return modal_level_; }

  // Hints: the pointer resting HintPause ms on a control whose ShowHint is set shows
  // its hint below the pointer; moving on to another such control while one shows
  // takes HintShortPause. Leaving the control, a mouse button or a key hides it, and
  // so does HintHidePause ms of showing (0: it stays); then it comes back only once
  // the pointer has left the control. Times are the backend's clock.
  bool ShowHint() const { return show_hint_; }
  void SetShowHint(bool v);
  int HintPause = 500;
  int HintShortPause = 50;
  int HintHidePause = 2500;
  TColor HintColor = clInfoBk;
  // Hides the hint and stops its pause; the control under the pointer shows no hint
  // again until the pointer leaves it.
  void CancelHint();

  TMessageEvent OnMessage;
  TExceptionEvent OnException;
  TIdleEvent OnIdle;

 private:
  friend class TCustomForm;
  friend struct WindowManager;
  void FormCreated(TCustomForm* form);
  bool ProcessMessage(MSG& msg);
  bool HasWork(int* waitMs);
  void Idle();
  // Hints (hints.cpp).
  void HintMessage(const MSG& msg, bool dispatched);
  void HintTimer();
  void StartHintTimer(int ms);
  void StopHintTimer();
  void HideHintWindow();
  void ForgetHintControl(TControl* c);
  TControl* hint_control_ = nullptr;  // the control whose hint waits, shows or was shown
  THintWindow* hint_window_ = nullptr;
  bool show_hint_ = true;
  bool hint_shown_ = false;
  bool hint_timer_ = false;
  bool hint_active_ = false;  // a hint showed and the pointer stayed on hinted controls
  bool hint_done_ = false;    // hidden: none for hint_control_ until the pointer leaves it
  std::string title_;
  TCustomForm* main_form_ = nullptr;
  bool terminated_ = false;
  bool initialized_ = false;
  bool running_ = false;
  int modal_level_ = 0;
  HWND handle_ = nullptr;
};

QVCL_API extern TApplication* Application;
QVCL_API extern TScreen* Screen;
// Frees the forms and the application object: the class library's finalisation,
// which the program runs once WinMain has returned (safe to call twice).
QVCL_API void DoneApplication();
// Creates the screen and a fresh application object where they are absent: run when
// the library is loaded, and again by whoever wants a new application after
// DoneApplication (a test that ran a program's whole life, then the next one).
QVCL_API void InitApplication();
