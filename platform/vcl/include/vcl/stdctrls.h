// Standard controls: label, edit, memo, push button, check box, radio button,
// group box, list box, combo box and scroll bar. Every control here paints itself
// on the window surfaces of the class library and takes its input from the window
// procedure, as the system's own controls would.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <vcl/export.h>
#include <vcl/controls.h>
#include <vcl/forms.h>

enum TAlignment { taLeftJustify, taRightJustify, taCenter };
enum TTextLayout { tlTop, tlCenter, tlBottom };
enum TScrollStyle { ssNone, ssHorizontal, ssVertical, ssBoth };
enum TEditCharCase { ecNormal, ecUpperCase, ecLowerCase };
enum TCheckBoxState { cbUnchecked, cbChecked, cbGrayed };
enum TComboBoxStyle { csDropDown, csSimple, csDropDownList, csOwnerDrawFixed, csOwnerDrawVariable };
enum TListBoxStyle { lbStandard, lbOwnerDrawFixed, lbOwnerDrawVariable };
enum TScrollBarKind { sbHorizontal, sbVertical };
enum TScrollCode { scLineUp, scLineDown, scPageUp, scPageDown, scPosition, scTrack, scTop, scBottom, scEndScroll };

// Item states handed to owner-drawn list items.
enum TOwnerDrawStateKind { odSelected, odGrayed, odDisabled, odChecked, odFocused, odDefault };
using TOwnerDrawState = TSmallSet<TOwnerDrawStateKind>;

class TCustomListBox;
class TCustomComboBox;
using TDrawItemEvent = std::function<void(TWinControl* control, int index, TRect rect, TOwnerDrawState state)>;
using TScrollEvent = std::function<void(TObject* sender, TScrollCode code, int& scrollPos)>;

// Combo-box messages (the Win32 numbers) and their error answer.
inline constexpr UINT CB_GETEDITSEL = 0x0140, CB_LIMITTEXT = 0x0141, CB_SETEDITSEL = 0x0142,
                      CB_ADDSTRING = 0x0143, CB_DELETESTRING = 0x0144, CB_GETCOUNT = 0x0146,
                      CB_GETCURSEL = 0x0147, CB_GETLBTEXT = 0x0148, CB_GETLBTEXTLEN = 0x0149,
                      CB_INSERTSTRING = 0x014A, CB_RESETCONTENT = 0x014B, CB_FINDSTRING = 0x014C,
                      CB_SELECTSTRING = 0x014D, CB_SETCURSEL = 0x014E, CB_SHOWDROPDOWN = 0x014F,
                      CB_GETITEMDATA = 0x0150, CB_SETITEMDATA = 0x0151, CB_SETITEMHEIGHT = 0x0153,
                      CB_GETITEMHEIGHT = 0x0154, CB_GETDROPPEDSTATE = 0x0157,
                      CB_FINDSTRINGEXACT = 0x0158;
inline constexpr LRESULT CB_OKAY = 0, CB_ERR = -1, CB_ERRSPACE = -2;
// List-box messages of the same kind.
inline constexpr UINT LB_ADDSTRING = 0x0180, LB_INSERTSTRING = 0x0181, LB_DELETESTRING = 0x0182,
                      LB_RESETCONTENT = 0x0184, LB_SETSEL = 0x0185, LB_SETCURSEL = 0x0186,
                      LB_GETSEL = 0x0187, LB_GETCURSEL = 0x0188, LB_GETTEXT = 0x0189,
                      LB_GETTEXTLEN = 0x018A, LB_GETCOUNT = 0x018B, LB_GETTOPINDEX = 0x018E,
                      LB_FINDSTRING = 0x018F, LB_GETSELCOUNT = 0x0190, LB_GETSELITEMS = 0x0191,
                      LB_SETTOPINDEX = 0x0197, LB_GETITEMDATA = 0x0199, LB_SETITEMDATA = 0x019A,
                      LB_FINDSTRINGEXACT = 0x01A2;
inline constexpr LRESULT LB_OKAY = 0, LB_ERR = -1;
// Edit messages.
inline constexpr UINT EM_GETSEL = 0x00B0, EM_SETSEL = 0x00B1, EM_LIMITTEXT = 0x00C5;

// A list of texts with an item-data word per line that tells its control about every
// insertion and removal (list and combo boxes keep per-item state beside it).
class QVCL_API TControlItems : public TStrings {
 public:
  struct Listener {
    std::function<void(int index)> inserted;
    std::function<void(int index)> deleted;
    std::function<void()> cleared;
    std::function<void()> changed;  // a text was replaced
  };
  explicit TControlItems(Listener listener) : listener_(std::move(listener)) {}
  std::string ClassName() const override { return "TStrings"; }
  int Count() const override { return static_cast<int>(items_.size()); }
  std::string Get(int index) const override;
  void Put(int index, const std::string& s) override;
  TObject* GetObject(int index) const override;
  void PutObject(int index, TObject* obj) override;
  void Insert(int index, const std::string& s) override;
  void InsertObject(int index, const std::string& s, TObject* obj) override;
  void Delete(int index) override;
  void Clear() override;
  // The item's data word (its object, as the system's controls keep it).
  std::intptr_t Data(int index) const;
  void SetData(int index, std::intptr_t data);

 private:
  void Check(int index, bool allowEnd) const;
  struct Item {
    std::string text;
    TObject* obj = nullptr;
  };
  std::vector<Item> items_;
  Listener listener_;
};

// --- Label -------------------------------------------------------------------------
class QVCL_API TCustomLabel : public TGraphicControl {
 public:
  explicit TCustomLabel(TComponent* owner);
  std::string ClassName() const override { return "TCustomLabel"; }
  TAlignment Alignment() const { return alignment_; }
  void SetAlignment(TAlignment v);
  TTextLayout Layout() const { return layout_; }
  void SetLayout(TTextLayout v);
  bool WordWrap() const { return word_wrap_; }
  void SetWordWrap(bool v);
  bool Transparent() const { return !(ControlStyle() & csOpaque); }
  void SetTransparent(bool v);
  bool ShowAccelChar() const { return show_accel_char_; }
  void SetShowAccelChar(bool v);
  TWinControl* FocusControl() const { return focus_control_; }
  void SetFocusControl(TWinControl* v);
  void SetAutoSize(bool v) override;
  TNotifyEvent OnMouseEnter;
  TNotifyEvent OnMouseLeave;

 protected:
  void Paint() override;
  // Draws the caption with the label's flags into rect (DT_CALCRECT measures).
  virtual void DoDrawText(TRect& rect, UINT flags);
  void AdjustBounds();
  void Loaded() override;  // sizes an AutoSize label that loading held back
  void Notification(TComponent* component, TOperation operation) override;
  void CMTextChanged(TMessage& m) override;
  void CMFontChanged(TMessage& m) override;
  void CMDialogChar(TMessage& m) override;
  void CMMouseEnter(TMessage& m) override;
  void CMMouseLeave(TMessage& m) override;

 private:
  TAlignment alignment_ = taLeftJustify;
  TTextLayout layout_ = tlTop;
  bool word_wrap_ = false;
  bool show_accel_char_ = true;
  TWinControl* focus_control_ = nullptr;
};

class QVCL_API TLabel : public TCustomLabel {
 public:
  using TCustomLabel::TCustomLabel;
  std::string ClassName() const override { return "TLabel"; }
};

// --- Edit and memo ----------------------------------------------------------------
// One editor serves both: a single line (TEdit) or several (TMemo, lines separated
// by "\r\n" in Text).
class QVCL_API TCustomEdit : public TCustomControl {
 public:
  explicit TCustomEdit(TComponent* owner);
  ~TCustomEdit() override;
  std::string ClassName() const override { return "TCustomEdit"; }

  std::string GetText() const override;
  void SetText(const std::string& v) override;
  TBorderStyle BorderStyle() const { return border_style_; }
  void SetBorderStyle(TBorderStyle v);
  int MaxLength() const { return max_length_; }
  void SetMaxLength(int v);  // 0: no limit
  bool ReadOnly() const { return read_only_; }
  void SetReadOnly(bool v) { read_only_ = v; }
  char PasswordChar() const { return password_char_; }
  void SetPasswordChar(char v);
  TEditCharCase CharCase() const { return char_case_; }
  void SetCharCase(TEditCharCase v);
  bool AutoSelect = true;
  bool HideSelection = true;
  bool Modified() const { return modified_; }
  void SetModified(bool v) { modified_ = v; }

  // Selection in characters of Text (a line break counts as two, "\r\n").
  int SelStart() const;
  void SetSelStart(int v);
  int SelLength() const;
  void SetSelLength(int v);
  std::string SelText() const;
  void SetSelText(const std::string& v);  // replaces the selection
  void SelectAll();
  void ClearSelection();
  void Clear() { SetText(""); }
  void CopyToClipboard();
  void CutToClipboard();
  void PasteFromClipboard();
  // Caret position: line and column (in characters of that line).
  int CaretLine() const;
  int CaretColumn() const;

  TNotifyEvent OnChange;

 protected:
  void Paint() override;
  virtual void Change();
  // Editing keys and characters run here, after OnKeyDown/OnKeyPress and the
  // dialog keys, as the system's edit control does.
  void DefaultHandler(TMessage& m) override;
  void MouseDown(TMouseButton button, TShiftState shift, int x, int y) override;
  void MouseMove(TShiftState shift, int x, int y) override;
  void MouseUp(TMouseButton button, TShiftState shift, int x, int y) override;
  void WMGetDlgCode(TMessage& m) override;
  void WMSetFocus(TMessage& m) override;
  void WMKillFocus(TMessage& m) override;
  void CMEnabledChanged(TMessage& m) override;
  void CMFontChanged(TMessage& m) override;
  void Resize() override;
  // Place of the text inside the control (the border left out).
  TRect TextArea() const;
  bool multi_line_ = false;
  bool want_return_ = false;
  bool want_tabs_ = false;

 private:
  friend class TCustomMemo;
  friend class TMemoLines;
  struct Pos {
    int line = 0;
    int col = 0;
  };
  // Text as lines ("\r\n" separates them in Text).
  std::vector<std::string> lines_;
  Pos caret_, anchor_;  // the selection runs from anchor_ to caret_
  int scroll_x_ = 0, top_line_ = 0;
  bool selecting_ = false;
  TBorderStyle border_style_ = bsSingle;
  int max_length_ = 0;
  bool read_only_ = false;
  char password_char_ = 0;
  TEditCharCase char_case_ = ecNormal;
  bool modified_ = false;
  int preferred_x_ = -1;

  int IndexOf(Pos p) const;
  Pos PosOf(int index) const;
  int TotalLength() const;
  Pos SelBegin() const;
  Pos SelEnd() const;
  bool HasSelection() const { return IndexOf(caret_) != IndexOf(anchor_); }
  std::string Range(Pos a, Pos b) const;
  void DeleteRange(Pos a, Pos b);
  void InsertText(const std::string& s, bool user);  // at the caret, replacing the selection
  std::string Filter(const std::string& s) const;
  void MoveCaret(Pos p, bool extend);
  std::string Shown(const std::string& line) const;
  int LineHeight();
  int XOfColumn(int line, int col);
  Pos PosAtPoint(int x, int y);
  void ScrollToCaret();
  void TextChanged(bool user);
  int VisibleLines();
  void EditKey(WORD key);
  void EditChar(unsigned ch);  // a code point
};

class QVCL_API TEdit : public TCustomEdit {
 public:
  using TCustomEdit::TCustomEdit;
  std::string ClassName() const override { return "TEdit"; }
};

class QVCL_API TCustomMemo : public TCustomEdit {
 public:
  explicit TCustomMemo(TComponent* owner);
  ~TCustomMemo() override;
  std::string ClassName() const override { return "TCustomMemo"; }
  // The lines of Text; changing them changes Text.
  TStrings* Lines() const { return lines_list_.get(); }
  void SetLines(TStrings* v) { lines_list_->Assign(v); }
  bool WantReturns() const { return want_return_; }
  void SetWantReturns(bool v) { want_return_ = v; }
  bool WantTabs() const { return want_tabs_; }
  void SetWantTabs(bool v) { want_tabs_ = v; }
  int TopLine() const { return top_line_; }

 private:
  std::unique_ptr<TStrings> lines_list_;
};

class QVCL_API TMemo : public TCustomMemo {
 public:
  using TCustomMemo::TCustomMemo;
  std::string ClassName() const override { return "TMemo"; }
};

// --- Push buttons, check boxes, radio buttons -----------------------------------
class QVCL_API TButtonControl : public TCustomControl {
 public:
  explicit TButtonControl(TComponent* owner);
  std::string ClassName() const override { return "TButtonControl"; }

 protected:
  void WMSetFocus(TMessage& m) override;
  void WMKillFocus(TMessage& m) override;
  void CMTextChanged(TMessage& m) override;
  // A left press or Space shows the control pressed; the mouse tracks in and out.
  void MouseDown(TMouseButton button, TShiftState shift, int x, int y) override;
  void MouseMove(TShiftState shift, int x, int y) override;
  void KeyDown(WORD& key, TShiftState shift) override;
  // End a left-button press (true when released over the control) or a Space
  // press (true when Space was down), showing the control released.
  bool EndMousePress(TMouseButton button);
  bool EndSpacePress(WORD key);
  // True between a press (mouse or Space) and its release while over the control.
  bool pressed_ = false;
  bool tracking_ = false;
  bool space_down_ = false;
};

class QVCL_API TButton : public TButtonControl {
 public:
  explicit TButton(TComponent* owner);
  std::string ClassName() const override { return "TButton"; }
  bool Default() const { return default_; }
  void SetDefault(bool v);
  bool Cancel() const { return cancel_; }
  void SetCancel(bool v) { cancel_ = v; }
  TModalResult ModalResult() const { return modal_result_; }
  void SetModalResult(TModalResult v) { modal_result_ = v; }
  // Sets the parent form's ModalResult to this button's, then OnClick.
  void Click() override;

 protected:
  void Paint() override;
  // The face inside the frame: the caption (TBitBtn adds its glyph).
  virtual void PaintFace(TCanvas* c, TRect r, bool down);
  void MouseUp(TMouseButton button, TShiftState shift, int x, int y) override;
  void KeyUp(WORD& key, TShiftState shift) override;
  void WMGetDlgCode(TMessage& m) override;
  void CMDialogKey(TMessage& m) override;
  void CMDialogChar(TMessage& m) override;
  void CMFocusChanged(TMessage& m) override;
  void CMEnabledChanged(TMessage& m) override;

 private:
  bool default_ = false;
  bool cancel_ = false;
  bool active_ = false;  // the focused button, or the default one when no button is focused
  TModalResult modal_result_ = mrNone;
};

class QVCL_API TCustomCheckBox : public TButtonControl {
 public:
  explicit TCustomCheckBox(TComponent* owner);
  std::string ClassName() const override { return "TCustomCheckBox"; }
  virtual bool Checked() const { return state_ == cbChecked; }
  virtual void SetChecked(bool v);
  TCheckBoxState State() const { return state_; }
  void SetState(TCheckBoxState v);
  bool AllowGrayed = false;
  TAlignment Alignment() const { return alignment_; }
  void SetAlignment(TAlignment v);

 protected:
  void Paint() override;
  // A user's click: next state (unchecked, checked, grayed when allowed).
  virtual void Toggle();
  virtual void PaintGlyph(TCanvas* c, const TRect& r);
  // Runs OnClick after the state changed (also when set in code, as the system does).
  void StateChanged();
  void MouseUp(TMouseButton button, TShiftState shift, int x, int y) override;
  void KeyUp(WORD& key, TShiftState shift) override;
  void WMGetDlgCode(TMessage& m) override;
  void CMDialogChar(TMessage& m) override;
  TRect caption_rect_;
  bool clicks_disabled_ = false;

 private:
  TCheckBoxState state_ = cbUnchecked;
  TAlignment alignment_ = taRightJustify;
};

class QVCL_API TCheckBox : public TCustomCheckBox {
 public:
  using TCustomCheckBox::TCustomCheckBox;
  std::string ClassName() const override { return "TCheckBox"; }
};

// Checking one radio button unchecks the others of its parent.
class QVCL_API TRadioButton : public TCustomCheckBox {
 public:
  explicit TRadioButton(TComponent* owner);
  std::string ClassName() const override { return "TRadioButton"; }
  void SetChecked(bool v) override;

 protected:
  void Toggle() override;
  void PaintGlyph(TCanvas* c, const TRect& r) override;
  void KeyDown(WORD& key, TShiftState shift) override;
};

class QVCL_API TCustomGroupBox : public TCustomControl {
 public:
  explicit TCustomGroupBox(TComponent* owner);
  std::string ClassName() const override { return "TCustomGroupBox"; }

 protected:
  void Paint() override;
  void AlignControls(TControl* control, TRect& rect) override;
  void CMTextChanged(TMessage& m) override;
  void CMDialogChar(TMessage& m) override;
};

class QVCL_API TGroupBox : public TCustomGroupBox {
 public:
  using TCustomGroupBox::TCustomGroupBox;
  std::string ClassName() const override { return "TGroupBox"; }
};

// --- Scroll bar -------------------------------------------------------------------
class QVCL_API TScrollBar : public TCustomControl {
 public:
  explicit TScrollBar(TComponent* owner);
  ~TScrollBar() override;
  std::string ClassName() const override { return "TScrollBar"; }
  TScrollBarKind Kind() const { return kind_; }
  void SetKind(TScrollBarKind v);
  int Min() const { return min_; }
  int Max() const { return max_; }
  int Position() const { return position_; }
  int PageSize() const { return page_size_; }
  void SetMin(int v) { SetParams(position_, v, max_); }
  void SetMax(int v) { SetParams(position_, min_, v); }
  void SetPosition(int v) { SetParams(v, min_, max_); }
  void SetPageSize(int v);
  // Position is kept within min..max (max - page size + 1 with a page size).
  void SetParams(int position, int min, int max);
  int SmallChange = 1;
  int LargeChange = 1;
  // OnScroll may change the position; OnChange follows when it changed.
  TScrollEvent OnScroll;
  TNotifyEvent OnChange;

 protected:
  void Paint() override;
  virtual void Scroll(TScrollCode code, int& pos);
  virtual void Change();
  void MouseDown(TMouseButton button, TShiftState shift, int x, int y) override;
  void MouseMove(TShiftState shift, int x, int y) override;
  void MouseUp(TMouseButton button, TShiftState shift, int x, int y) override;
  void KeyDown(WORD& key, TShiftState shift) override;
  void WMGetDlgCode(TMessage& m) override;
  void CMEnabledChanged(TMessage& m) override;

 private:
  enum Part { None, ArrowLow, ArrowHigh, PageLow, PageHigh, Thumb };
  struct Geometry {
    int length, arrow, track_start, track_len, thumb_pos, thumb_len;
  };
  Geometry Geo() const;
  Part PartAt(int x, int y) const;
  void DoScroll(TScrollCode code, int pos);
  // One line or page step for a press on an arrow or the track (nothing elsewhere).
  void StepFor(Part part);
  void StartRepeat();
  void StopRepeat();
  TScrollBarKind kind_ = sbHorizontal;
  int min_ = 0, max_ = 100, position_ = 0, page_size_ = 0;
  Part pressed_ = None;
  int drag_offset_ = 0;
  HWND timer_window_ = nullptr;
};

// --- List box ---------------------------------------------------------------------
class QVCL_API TCustomListBox : public TCustomControl {
 public:
  explicit TCustomListBox(TComponent* owner);
  ~TCustomListBox() override;
  std::string ClassName() const override { return "TCustomListBox"; }

  TStrings* Items() const { return items_.get(); }
  void SetItems(TStrings* v) { items_->Assign(v); }
  int Count() const { return items_->Count(); }
  // The focused item (the selected one without multi-select); -1 for none.
  int ItemIndex() const { return item_index_; }
  void SetItemIndex(int v);
  bool MultiSelect() const { return multi_select_; }
  void SetMultiSelect(bool v);
  // Shift and Ctrl extend the selection (otherwise each click toggles an item).
  bool ExtendedSelect = true;
  bool Selected(int index) const;
  void SetSelected(int index, bool v);
  int SelCount() const;  // -1 without multi-select, as the system answers
  void ClearSelection();
  void SelectAll();
  int TopIndex() const { return top_index_; }
  void SetTopIndex(int v);
  int ItemHeight() const { return item_height_; }
  void SetItemHeight(int v);
  TListBoxStyle Style() const { return style_; }
  void SetStyle(TListBoxStyle v);
  TBorderStyle BorderStyle() const { return border_style_; }
  void SetBorderStyle(TBorderStyle v);
  int ItemAtPos(TPoint pos, bool existing) const;
  TRect ItemRect(int index) const;
  void Clear() { items_->Clear(); }
  TDrawItemEvent OnDrawItem;

 protected:
  void Paint() override;
  virtual void DrawItem(int index, TRect rect, TOwnerDrawState state);
  // Where the items lie (inside the border, left of the scroll bar).
  TRect ItemArea() const;
  int VisibleCount() const;
  void MouseDown(TMouseButton button, TShiftState shift, int x, int y) override;
  void MouseMove(TShiftState shift, int x, int y) override;
  void MouseUp(TMouseButton button, TShiftState shift, int x, int y) override;
  void KeyDown(WORD& key, TShiftState shift) override;
  void KeyPress(char& key) override;
  void WMGetDlgCode(TMessage& m) override;
  void WMSetFocus(TMessage& m) override;
  void WMKillFocus(TMessage& m) override;
  void CMFontChanged(TMessage& m) override;
  void DefaultHandler(TMessage& m) override;
  void Resize() override;
  // A user's selection change (mouse or keyboard): OnClick.
  virtual void SelectionChangedByUser();
  virtual void ItemInserted(int index);
  virtual void ItemDeleted(int index);
  virtual void ItemsCleared();
  bool ScrollBarVisible() const;
  void UpdateScrollBar();
  void MakeVisible(int index);
  // Moves the focus to index as a user does: with Shift a range from the anchor,
  // with Ctrl only the focus moves (extended multi-select).
  void UserSelect(int index, TShiftState shift, bool fromMouse);
  std::vector<std::uint8_t> sel_;  // per item: selected
  int anchor_ = -1;

 private:
  std::unique_ptr<TControlItems> items_;
  std::unique_ptr<TScrollBar> scroll_;
  int item_index_ = -1;
  int top_index_ = 0;
  int item_height_ = 13;
  bool multi_select_ = false;
  TListBoxStyle style_ = lbStandard;
  TBorderStyle border_style_ = bsSingle;
  bool dragging_ = false;
};

class QVCL_API TListBox : public TCustomListBox {
 public:
  using TCustomListBox::TCustomListBox;
  std::string ClassName() const override { return "TListBox"; }
};

// --- Combo box --------------------------------------------------------------------
class TComboPopup;

class QVCL_API TCustomComboBox : public TCustomControl {
 public:
  explicit TCustomComboBox(TComponent* owner);
  ~TCustomComboBox() override;
  std::string ClassName() const override { return "TCustomComboBox"; }

  TStrings* Items() const { return items_.get(); }
  void SetItems(TStrings* v) { items_->Assign(v); }
  int ItemIndex() const { return item_index_; }
  // Choosing in code: the text follows, OnChange does not run.
  void SetItemIndex(int v);
  TComboBoxStyle Style() const { return style_; }
  void SetStyle(TComboBoxStyle v);
  int DropDownCount() const { return drop_down_count_; }
  void SetDropDownCount(int v) { drop_down_count_ = v < 1 ? 1 : v; }
  int ItemHeight() const { return item_height_; }
  void SetItemHeight(int v);
  int MaxLength() const { return max_length_; }
  void SetMaxLength(int v) { max_length_ = v < 0 ? 0 : v; }
  bool DroppedDown() const;
  void SetDroppedDown(bool v);
  std::string GetText() const override;
  void SetText(const std::string& v) override;
  // Edit part (csDropDown): selection of the text.
  int SelStart() const { return sel_start_; }
  int SelLength() const { return sel_len_; }
  void SelectAll();
  void Clear();
  // Index of the first item starting with text (any case) from after `start`; -1.
  int FindPrefix(const std::string& text, int start) const;
  int FindExact(const std::string& text, int start) const;

  TNotifyEvent OnChange;
  TNotifyEvent OnSelect;
  TNotifyEvent OnDropDown;
  TNotifyEvent OnCloseUp;
  TDrawItemEvent OnDrawItem;

 protected:
  void Paint() override;
  virtual void DrawItem(TCanvas* canvas, int index, TRect rect, TOwnerDrawState state);
  virtual void Change();
  virtual void Select();
  virtual void DropDown();
  virtual void CloseUp();
  TRect ButtonRect() const;
  TRect EditRect() const;
  void MouseDown(TMouseButton button, TShiftState shift, int x, int y) override;
  void MouseUp(TMouseButton button, TShiftState shift, int x, int y) override;
  void WMGetDlgCode(TMessage& m) override;
  void WMSetFocus(TMessage& m) override;
  void WMKillFocus(TMessage& m) override;
  void CMEnabledChanged(TMessage& m) override;
  // Keys and characters (after OnKeyDown/OnKeyPress) and the CB_* messages.
  void DefaultHandler(TMessage& m) override;

 private:
  friend class TComboPopup;
  void UserChoose(int index);  // a user's choice: text, OnChange, OnSelect
  void EditText(const std::string& text, bool user);
  void ItemsChanged();
  std::unique_ptr<TControlItems> items_;
  TComboPopup* popup_ = nullptr;  // made at the first drop-down; owned by the combo box
  int item_index_ = -1;
  TComboBoxStyle style_ = csDropDown;
  int drop_down_count_ = 8;
  int item_height_ = 13;
  int max_length_ = 0;
  std::string edit_text_;
  int sel_start_ = 0, sel_len_ = 0;
  bool button_down_ = false;
};

class QVCL_API TComboBox : public TCustomComboBox {
 public:
  using TCustomComboBox::TCustomComboBox;
  std::string ClassName() const override { return "TComboBox"; }
};
