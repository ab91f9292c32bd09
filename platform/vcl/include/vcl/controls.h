// Controls: the visual component classes and their message handling.
//
// Every control has a window procedure (WindowProc, replaceable) that hands each
// message to WndProc, which dispatches WM_* and CM_* messages to the virtual
// handlers below; a subclass overrides a handler and calls the base one for the
// standard behaviour ("inherited"). Windowed controls (TWinControl) also have a
// window handle whose procedure can be replaced with SetWindowLongA(GWL_WNDPROC).
// Graphic controls get their mouse and paint messages through their parent window.
//
// Painting is always double-buffered: every control paints into its form's buffer,
// which reaches the screen in one step, so there is no DoubleBuffered switch. A
// windowed control paints in WM_ERASEBKGND and WM_PAINT; a subclass that handles
// WM_PAINT itself (without calling the base) replaces the standard painting.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <vcl/export.h>
#include <vcl/classes.h>
#include <vcl/graphics.h>
#include <vcl/messages.h>
#include <vcl/winuser.h>

class TControl;
class TWinControl;
class TCustomForm;
class TPopupMenu;  // the menus unit defines it

// --- Small sets and enumerations ------------------------------------------------------
enum TAlign { alNone, alTop, alBottom, alLeft, alRight, alClient, alCustom };
enum TAnchorKind { akLeft, akTop, akRight, akBottom };
enum TMouseButton { mbLeft, mbRight, mbMiddle };
enum TShiftStateKind { ssShift, ssAlt, ssCtrl, ssLeft, ssRight, ssMiddle, ssDouble };

// A set of small enumeration values, as the class library's set types.
template <class E>
class TSmallSet {
 public:
  constexpr TSmallSet() = default;
  constexpr TSmallSet(std::initializer_list<E> items) {
    for (E e : items) bits_ |= 1u << unsigned(e);
  }
  constexpr bool Contains(E e) const { return (bits_ >> unsigned(e)) & 1u; }
  constexpr TSmallSet& Include(E e) { bits_ |= 1u << unsigned(e); return *this; }
  constexpr TSmallSet& Exclude(E e) { bits_ &= ~(1u << unsigned(e)); return *this; }
  constexpr bool Empty() const { return bits_ == 0; }
  constexpr unsigned Bits() const { return bits_; }
  friend constexpr bool operator==(TSmallSet, TSmallSet) = default;
  friend constexpr TSmallSet operator+(TSmallSet a, TSmallSet b) { a.bits_ |= b.bits_; return a; }
  friend constexpr TSmallSet operator-(TSmallSet a, TSmallSet b) { a.bits_ &= ~b.bits_; return a; }
  friend constexpr TSmallSet operator*(TSmallSet a, TSmallSet b) { a.bits_ &= b.bits_; return a; }

 private:
  unsigned bits_ = 0;
};
using TAnchors = TSmallSet<TAnchorKind>;
using TShiftState = TSmallSet<TShiftStateKind>;

// Control styles (ControlStyle) and transient control states (ControlState).
enum TControlStyleFlag : unsigned {
  csAcceptsControls = 1u << 0,
  csCaptureMouse = 1u << 1,
  csDesignInteractive = 1u << 2,
  csClickEvents = 1u << 3,
  csFramed = 1u << 4,
  csSetCaption = 1u << 5,
  csOpaque = 1u << 6,       // paints every pixel itself: no background erase
  csDoubleClicks = 1u << 7, // takes double clicks as such (else as a second press)
  csFixedWidth = 1u << 8,
  csFixedHeight = 1u << 9,
  csNoDesignVisible = 1u << 10,
  csReplicatable = 1u << 11,
  csNoStdEvents = 1u << 12,
  csDisplayDragImage = 1u << 13,
  csReflector = 1u << 14,
  csActionClient = 1u << 15,
  csMenuEvents = 1u << 16,
};
using TControlStyle = unsigned;

enum TControlStateFlag : unsigned {
  csLButtonDown = 1u << 0,
  csClicked = 1u << 1,
  csPalette = 1u << 2,
  csReadingState = 1u << 3,
  csAlignmentNeeded = 1u << 4,
  csFocusing = 1u << 5,
  csCreating = 1u << 6,
  csPaintCopy = 1u << 7,
  csCustomPaint = 1u << 8,
  csDestroyingHandle = 1u << 9,
};
using TControlState = unsigned;

using TCursor = int;
inline constexpr TCursor crDefault = 0, crNone = -1, crArrow = -2, crCross = -3, crIBeam = -4,
                         crSizeNESW = -6, crSizeNS = -7, crSizeNWSE = -8, crSizeWE = -9,
                         crUpArrow = -10, crHourGlass = -11, crDrag = -12, crNoDrop = -13,
                         crHSplit = -14, crVSplit = -15, crMultiDrag = -16, crSQLWait = -17,
                         crNo = -18, crAppStart = -19, crHelp = -20, crHandPoint = -21,
                         crSizeAll = -22;

// --- Events ---------------------------------------------------------------------------
using TMouseEvent = std::function<void(TObject* sender, TMouseButton button, TShiftState shift, int x, int y)>;
using TMouseMoveEvent = std::function<void(TObject* sender, TShiftState shift, int x, int y)>;
using TKeyEvent = std::function<void(TObject* sender, WORD& key, TShiftState shift)>;
using TKeyPressEvent = std::function<void(TObject* sender, char& key)>;
using TCanResizeEvent = std::function<void(TObject* sender, int& newWidth, int& newHeight, bool& resize)>;
using TContextPopupEvent = std::function<void(TObject* sender, TPoint mousePos, bool& handled)>;

// Shift state of a mouse message's key bits / of the keyboard now.
QVCL_API TShiftState KeysToShiftState(WPARAM keys);
QVCL_API TShiftState KeyboardStateToShiftState();
// True when `key` is the accelerator of caption (the character after a single '&').
QVCL_API bool IsAccel(WORD key, const std::string& caption);
// The form that holds the control (null when it is not on a form).
QVCL_API TCustomForm* GetParentForm(TControl* control);
QVCL_API TControl* FindControl(HWND handle);  // the windowed control of a handle
QVCL_API TControl* GetCaptureControl();
QVCL_API void SetCaptureControl(TControl* control);
// The control the mouse is over (graphic or windowed), as enter/leave tracks it.
QVCL_API TControl* MouseControl();

// Pops a pop-up menu up at a screen point; installed by the menus unit.
using TPopupMenuHandler = std::function<void(TPopupMenu* menu, int x, int y)>;
QVCL_API void SetPopupMenuHandler(TPopupMenuHandler handler);

// Asks a form whether a key is one of its menu shortcuts and runs the item; true
// when it was. The key path asks before anything else sees the key. Installed by
// the menus unit.
using TShortCutHandler = std::function<bool(TCustomForm* form, WORD key, TShiftState shift)>;
QVCL_API void SetShortCutHandler(TShortCutHandler handler);

// Size limits of a control (0: none).
class QVCL_API TSizeConstraints : public TPersistent {
 public:
  explicit TSizeConstraints(TControl* control) : control_(control) {}
  std::string ClassName() const override { return "TSizeConstraints"; }
  int MinWidth() const { return min_w_; }
  int MinHeight() const { return min_h_; }
  int MaxWidth() const { return max_w_; }
  int MaxHeight() const { return max_h_; }
  void SetMinWidth(int v);
  void SetMinHeight(int v);
  void SetMaxWidth(int v);
  void SetMaxHeight(int v);
  void Assign(TPersistent* source) override;
  TNotifyEvent OnChange;

 private:
  void Changed();
  TControl* control_;
  int min_w_ = 0, min_h_ = 0, max_w_ = 0, max_h_ = 0;
};

// A canvas that draws on a control: on its window's surface at the control's place,
// clipped to the control's visible part.
class QVCL_API TControlCanvas : public TCanvas {
 public:
  explicit TControlCanvas(TControl* control) : control_(control) {}
  std::string ClassName() const override { return "TControlCanvas"; }
  TControl* Control() const { return control_; }
  // Points the canvas at the control's current place (done by the control's
  // Canvas() outside painting).
  void Bind();

 private:
  TControl* control_;
};

// --- TControl --------------------------------------------------------------------------
class QVCL_API TControl : public TComponent {
 public:
  explicit TControl(TComponent* owner);
  ~TControl() override;
  std::string ClassName() const override { return "TControl"; }

  // Bounds, in the parent's client coordinates (for a form: the screen).
  int Left() const { return left_; }
  int Top() const { return top_; }
  int Width() const { return width_; }
  int Height() const { return height_; }
  void SetLeft(int v) { SetBounds(v, top_, width_, height_); }
  void SetTop(int v) { SetBounds(left_, v, width_, height_); }
  void SetWidth(int v) { SetBounds(left_, top_, v, height_); }
  void SetHeight(int v) { SetBounds(left_, top_, width_, v); }
  // Does nothing when nothing changes; otherwise applies the size limits and
  // CanResize, moves the control, realigns and raises Resize.
  virtual void SetBounds(int left, int top, int width, int height);
  TRect BoundsRect() const { return TRect(left_, top_, left_ + width_, top_ + height_); }
  void SetBoundsRect(const TRect& r) { SetBounds(r.Left, r.Top, r.Width(), r.Height()); }
  virtual TRect ClientRect() const;
  int ClientWidth() const { return ClientRect().Width(); }
  int ClientHeight() const { return ClientRect().Height(); }
  void SetClientWidth(int v) { SetClientSize(v, ClientHeight()); }
  void SetClientHeight(int v) { SetClientSize(ClientWidth(), v); }
  virtual void SetClientSize(int width, int height);
  // Screen position of the client area's top-left corner.
  virtual TPoint ClientOrigin() const;
  TPoint ClientToScreen(TPoint p) const;
  TPoint ScreenToClient(TPoint p) const;
  TSizeConstraints* Constraints() const { return constraints_.get(); }

  TWinControl* Parent() const { return parent_; }
  virtual void SetParent(TWinControl* parent);
  TAlign Align() const { return align_; }
  void SetAlign(TAlign v);
  TAnchors Anchors() const { return anchors_; }
  void SetAnchors(TAnchors v);

  bool Visible() const { return visible_; }
  virtual void SetVisible(bool v);
  void Show();
  void Hide() { SetVisible(false); }
  bool Enabled() const { return enabled_; }
  virtual void SetEnabled(bool v);  // sends CM_ENABLEDCHANGED

  // The control's colour; ParentColor takes the parent's.
  TColor Color() const { return color_; }
  void SetColor(TColor v);
  bool ParentColor() const { return parent_color_; }
  void SetParentColor(bool v);
  TFont* Font() const { return font_.get(); }
  void SetFont(TFont* v) { font_->Assign(v); }
  bool ParentFont() const { return parent_font_; }
  void SetParentFont(bool v);

  std::string Caption() const { return GetText(); }
  void SetCaption(const std::string& v) { SetText(v); }
  virtual std::string GetText() const { return text_; }
  virtual void SetText(const std::string& v);  // sends CM_TEXTCHANGED when it changes
  std::string Text() const { return GetText(); }

  bool AutoSize() const { return auto_size_; }
  virtual void SetAutoSize(bool v);
  std::string Hint() const { return hint_; }
  void SetHint(const std::string& v) { hint_ = v; }
  bool ShowHint() const { return show_hint_; }
  void SetShowHint(bool v);
  bool ParentShowHint() const { return parent_show_hint_; }
  void SetParentShowHint(bool v);
  TCursor Cursor() const { return cursor_; }
  void SetCursor(TCursor v);
  TPopupMenu* PopupMenu() const { return popup_menu_; }
  // The menu's component side is needed for free notification; the menus unit's
  // complete type converts.
  template <class M>
  void SetPopupMenu(M* menu) { SetPopupMenuImpl(menu, menu); }
  void SetPopupMenu(std::nullptr_t) { SetPopupMenuImpl(nullptr, nullptr); }

  TControlStyle ControlStyle() const { return control_style_; }
  void SetControlStyle(TControlStyle s) { control_style_ = s; }
  TControlState ControlState() const { return control_state_; }
  void SetControlState(TControlState s) { control_state_ = s; }

  // Repainting: Invalidate marks the control for the next paint; Update paints
  // what is marked now; Repaint and Refresh do both.
  virtual void Invalidate();
  void Update();
  virtual void Repaint();
  void Refresh() { Repaint(); }
  void BringToFront();
  void SendToBack();
  virtual bool Showing() const;  // visible here and in every parent

  // Sends a message straight to this control's window procedure.
  LRESULT Perform(UINT msg, WPARAM wParam = 0, LPARAM lParam = 0);
  // The replaceable window procedure; initially calls WndProc.
  TWndMethod WindowProc;
  virtual void WndProc(TMessage& message);
  // Runs the handler of the message (or DefaultHandler when none).
  virtual void Dispatch(TMessage& message);
  virtual void DefaultHandler(TMessage& message);

  bool MouseCapture() const;
  void SetMouseCapture(bool v);

  virtual void Click();
  virtual void DblClick();

  // Events.
  TNotifyEvent OnClick;
  TNotifyEvent OnDblClick;
  TMouseEvent OnMouseDown;
  TMouseEvent OnMouseUp;
  TMouseMoveEvent OnMouseMove;
  TNotifyEvent OnResize;
  TCanResizeEvent OnCanResize;
  TContextPopupEvent OnContextPopup;

 protected:
  // Size checks of SetBounds: both may change the size or refuse it.
  virtual bool CanResize(int& newWidth, int& newHeight);
  virtual bool CanAutoSize(int& newWidth, int& newHeight);
  virtual void Resize();
  virtual void ConstrainedResize(int& minW, int& minH, int& maxW, int& maxH);
  // Recomputes the size of an AutoSize control (nothing in the base).
  virtual void AdjustSize();
  void RequestAlign();
  virtual void SetParentComponent(TWinControl* parent) { SetParent(parent); }
  void Notification(TComponent* component, TOperation operation) override;
  void Loaded() override;

  // Mouse handling ("dynamic" methods): each raises its event.
  virtual void MouseDown(TMouseButton button, TShiftState shift, int x, int y);
  virtual void MouseUp(TMouseButton button, TShiftState shift, int x, int y);
  virtual void MouseMove(TShiftState shift, int x, int y);
  virtual void DoContextPopup(TPoint mousePos, bool& handled);

  // Message handlers.
  virtual void WMMouseMove(TMessage& m);
  virtual void WMLButtonDown(TMessage& m);
  virtual void WMLButtonUp(TMessage& m);
  virtual void WMLButtonDblClk(TMessage& m);
  virtual void WMRButtonDown(TMessage& m);
  virtual void WMRButtonUp(TMessage& m);
  virtual void WMRButtonDblClk(TMessage& m);
  virtual void WMMButtonDown(TMessage& m);
  virtual void WMMButtonUp(TMessage& m);
  virtual void WMContextMenu(TMessage& m);
  virtual void WMCancelMode(TMessage& m);
  virtual void WMPaint(TMessage& m);
  virtual void WMEraseBkgnd(TMessage& m);
  virtual void WMSize(TMessage& m);
  virtual void WMMove(TMessage& m);
  virtual void CMMouseEnter(TMessage& m);
  virtual void CMMouseLeave(TMessage& m);
  virtual void CMEnabledChanged(TMessage& m);
  virtual void CMVisibleChanged(TMessage& m);
  virtual void CMColorChanged(TMessage& m);
  virtual void CMFontChanged(TMessage& m);
  virtual void CMTextChanged(TMessage& m);
  virtual void CMParentColorChanged(TMessage& m);
  virtual void CMParentFontChanged(TMessage& m);
  virtual void CMParentShowHintChanged(TMessage& m);
  virtual void CMShowHintChanged(TMessage& m);
  virtual void CMCursorChanged(TMessage& m);
  virtual void CMHitTest(TMessage& m);
  virtual void CMDialogChar(TMessage& m);
  virtual void CMDialogKey(TMessage& m);
  virtual void CMFocusChanged(TMessage& m);

  // Initial visibility without notifications (forms start hidden).
  void InitVisible(bool v) { visible_ = v; }
  // Bounds without checks (for the aligning code).
  void SetBoundsRaw(int left, int top, int width, int height) {
    left_ = left; top_ = top; width_ = width; height_ = height;
  }
  void UpdateAnchorRules();
  // Paints this control through dc (origin and clip already set for it).
  void PaintThrough(HDC dc);

  // Shift-aware mouse dispatch shared by the button handlers.
  void DoMouseDown(TMessage& m, TMouseButton button, TShiftState extra);
  void DoMouseUp(TMessage& m, TMouseButton button);

  std::string text_;
  friend class TWinControl;
  friend class TControlCanvas;
  friend struct WindowManager;

 private:
  void SetPopupMenuImpl(TPopupMenu* menu, TComponent* asComponent);
  void FontChanged(TObject* sender);
  int left_ = 0, top_ = 0, width_ = 0, height_ = 0;
  TWinControl* parent_ = nullptr;
  TAlign align_ = alNone;
  TAnchors anchors_{akLeft, akTop};
  // Distances kept by anchors to the parent's right and bottom (recorded once the
  // control has had a parent).
  int anchor_right_ = 0, anchor_bottom_ = 0;
  bool anchors_recorded_ = false;
  bool visible_ = true;
  bool enabled_ = true;
  TColor color_ = clWindow;
  bool parent_color_ = true;
  std::unique_ptr<TFont> font_;
  bool parent_font_ = true;
  bool updating_font_ = false;
  bool auto_size_ = false;
  std::string hint_;
  bool show_hint_ = false;
  bool parent_show_hint_ = true;
  TCursor cursor_ = crDefault;
  TPopupMenu* popup_menu_ = nullptr;
  TComponent* popup_component_ = nullptr;
  TControlStyle control_style_ = csCaptureMouse | csClickEvents | csSetCaption | csDoubleClicks;
  TControlState control_state_ = 0;
  std::unique_ptr<TSizeConstraints> constraints_;
};

// --- TWinControl -----------------------------------------------------------------------
class QVCL_API TWinControl : public TControl {
 public:
  explicit TWinControl(TComponent* owner);
  ~TWinControl() override;
  std::string ClassName() const override { return "TWinControl"; }

  // Valid from creation until destruction; readable from any thread.
  HWND Handle() const { return handle_; }
  bool HandleAllocated() const { return handle_ != nullptr; }
  void HandleNeeded() {}

  // Children: graphic controls first, then windowed ones (which lie above them),
  // each group in z-order from the bottom.
  int ControlCount() const { return static_cast<int>(controls_.size() + win_controls_.size()); }
  TControl* Controls(int index) const;
  void InsertControl(TControl* control);
  void RemoveControl(TControl* control);
  bool ContainsControl(TControl* control) const;
  // The child at a client point (graphic or, with allowWinControls, windowed).
  TControl* ControlAtPos(TPoint pos, bool allowDisabled, bool allowWinControls = false) const;
  TControl* FindChildControl(const std::string& name) const;

  bool Focused() const;
  virtual bool CanFocus() const;
  virtual void SetFocus();
  int TabOrder() const;
  void SetTabOrder(int order);
  bool TabStop() const { return tab_stop_; }
  void SetTabStop(bool v);
  // Windowed children that can take focus, in tab order, depth first.
  void GetTabOrderList(std::vector<TWinControl*>& list) const;
  TWinControl* FindNextControl(TWinControl* cur, bool goForward, bool checkTabStop, bool checkParent) const;
  void SelectNext(TWinControl* cur, bool goForward, bool checkTabStop);

  int BorderWidth() const { return border_width_; }
  void SetBorderWidth(int v);
  TBrush* Brush() const { return brush_.get(); }

  TRect ClientRect() const override;
  void DisableAlign() { ++align_disabled_; }
  void EnableAlign();
  void Realign();
  void Broadcast(TMessage& message);  // to each child until one answers non-zero
  void NotifyControls(UINT msg);      // to every child
  void PaintControls(HDC dc, TControl* first);
  void Invalidate() override;
  void Repaint() override;
  bool Showing() const override;

  void SetBounds(int left, int top, int width, int height) override;
  void DefaultHandler(TMessage& message) override;
  void Dispatch(TMessage& message) override;
  void WndProc(TMessage& message) override;

  TNotifyEvent OnEnter;
  TNotifyEvent OnExit;
  TKeyEvent OnKeyDown;
  TKeyEvent OnKeyUp;
  TKeyPressEvent OnKeyPress;

 protected:
  virtual void AlignControls(TControl* control, TRect& rect);
  void AdjustSize() override;
  // Aligns the children that loading held back.
  void Loaded() override;
  // Frees every child control (whoever owns it), topmost first.
  void DestroyChildren();
  virtual void PaintWindow(HDC dc);
  void PaintHandler(TMessage& m);
  virtual void KeyDown(WORD& key, TShiftState shift);
  virtual void KeyUp(WORD& key, TShiftState shift);
  virtual void KeyPress(char& key);
  // True when the key was consumed (key set to 0 by a handler).
  bool DoKeyDown(TMessage& m);
  bool DoKeyUp(TMessage& m);
  bool DoKeyPress(TMessage& m);
  // True when the key of a key-down message was a menu shortcut of the form (run).
  bool IsMenuKey(TMessage& m);
  virtual void DoEnter();
  virtual void DoExit();

  void WMPaint(TMessage& m) override;
  void WMEraseBkgnd(TMessage& m) override;
  void WMSize(TMessage& m) override;
  void CMEnabledChanged(TMessage& m) override;
  void CMVisibleChanged(TMessage& m) override;
  void CMColorChanged(TMessage& m) override;
  void CMFontChanged(TMessage& m) override;
  void CMShowHintChanged(TMessage& m) override;
  void CMDialogChar(TMessage& m) override;
  void CMDialogKey(TMessage& m) override;
  void CMFocusChanged(TMessage& m) override;
  virtual void WMKeyDown(TMessage& m);
  virtual void WMKeyUp(TMessage& m);
  virtual void WMChar(TMessage& m);
  virtual void WMSysKeyDown(TMessage& m);
  virtual void WMSysChar(TMessage& m);
  virtual void WMSetFocus(TMessage& m);
  virtual void WMKillFocus(TMessage& m);
  virtual void WMNCHitTest(TMessage& m);
  virtual void WMGetDlgCode(TMessage& m);
  virtual void CMEnter(TMessage& m);
  virtual void CMExit(TMessage& m);

  friend class TControl;
  friend struct WindowManager;

 private:
  void AlignAll();
  HWND handle_ = nullptr;
  std::vector<TControl*> controls_;         // graphic children
  std::vector<TWinControl*> win_controls_;  // windowed children
  std::vector<TWinControl*> tab_list_;
  bool tab_stop_ = false;
  int border_width_ = 0;
  std::unique_ptr<TBrush> brush_;
  int align_disabled_ = 0;
  bool aligning_ = false;
  bool adjusting_size_ = false;
};

// --- TGraphicControl and TCustomControl ------------------------------------------------
class QVCL_API TGraphicControl : public TControl {
 public:
  explicit TGraphicControl(TComponent* owner);
  ~TGraphicControl() override;
  std::string ClassName() const override { return "TGraphicControl"; }
  // Outside painting the canvas draws straight onto the window at the control.
  TCanvas* Canvas();

 protected:
  virtual void Paint() {}
  void WMPaint(TMessage& m) override;
  friend class TControl;

 private:
  std::unique_ptr<TControlCanvas> canvas_;
  bool painting_ = false;
};

class QVCL_API TCustomControl : public TWinControl {
 public:
  explicit TCustomControl(TComponent* owner);
  ~TCustomControl() override;
  std::string ClassName() const override { return "TCustomControl"; }
  TCanvas* Canvas();

 protected:
  virtual void Paint() {}
  void PaintWindow(HDC dc) override;

 private:
  std::unique_ptr<TControlCanvas> canvas_;
  bool painting_ = false;
};
