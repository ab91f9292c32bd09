// TTransparentButton: a windowless button that draws its face from the frames of
// an image list (normal, mouse-over, pressed, disabled, chosen by NumGlyphs and
// ThreeState), with an optional caption beside the picture, seven frame styles,
// a stay-pressed state (Down), dragging (Movable) and a drop-down popup menu.
#pragma once

#include <string>

#include <vcl/controls.h>
#include <vcl/imglist.h>
#include <vcl/menus.h>

enum TFrameStyle { fsRegular, fsIndent, fsExplorer, fsNone, fsLight, fsDark, fsMono };
// Where the caption stands relative to the picture.
enum TTextAlign { ttaTopLeft, ttaTop, ttaTopRight, ttaRight, ttaBottomRight, ttaBottom, ttaBottomLeft, ttaLeft, ttaCenter };
// The button uses bsUp and bsDown only.
enum TButtonState { bsUp, bsDown, bsExclusive };
using TNumGlyphs = int;  // 1 to 4

class TTransparentButton : public TGraphicControl {
 public:
  explicit TTransparentButton(TComponent* owner);
  ~TTransparentButton() override;
  std::string ClassName() const override { return "TTransparentButton"; }

  bool ThreeState() const { return three_state_; }
  void SetThreeState(bool v) { three_state_ = v; }
  bool AutoGray() const { return auto_gray_; }
  void SetAutoGray(bool v) { auto_gray_ = v; }
  unsigned BorderWidth() const { return border_width_; }
  void SetBorderWidth(unsigned v);
  // The caption is the control's text; changing it repaints (CM_TEXTCHANGED).
  bool Down() const { return down_; }
  void SetStayDown(bool v);
  void SetDown(bool v) { SetStayDown(v); }
  TFrameStyle FrameStyle() const { return frame_style_; }
  void SetFrameStyle(TFrameStyle v);
  TCustomImageList* ImageList() const { return image_list_; }
  void SetImageList(TCustomImageList* v);
  int ImageIndex() const { return image_index_; }
  void Setimageindex(int v);
  void SetImageIndex(int v) { Setimageindex(v); }
  TNumGlyphs NumGlyphs() const { return num_glyphs_; }
  void SetNumGlyphs(TNumGlyphs v);  // kept within 1..4
  TPopupMenu* PopUpMenu() const { return popup_; }
  void SetPopUpMenu(TPopupMenu* v);
  bool ShowPressed() const { return show_pressed_; }
  void SetShowPressed(bool v) { show_pressed_ = v; }
  int Spacing() const { return spacing_; }
  void SetSpacing(int v);
  TTextAlign TextAlign() const { return text_align_; }
  void SetTextAlign(TTextAlign v);
  bool Transparent() const { return transparent_; }
  void SetTransparent(bool v);
  bool WordWrap() const { return word_wrap_; }
  void SetWordWrap(bool v);
  bool Movable() const { return movable_; }
  void SetMovable(bool v) { movable_ = v; }
  TNotifyEvent OnMouseEnter;
  TNotifyEvent OnMouseExit;

  // Fills ImageList from a strip of NumGlyphs frames side by side, adding a grey
  // and an etched (disabled) form of frame 0 after them. The colour and count
  // arguments are not used. Nothing happens without an image list or a strip.
  void AddGlyphs(TBitmap* glyphs, TColor transparentColor, int count);
  // The point lies in (0, 0, Width, Height), right and bottom edges outside.
  bool InsideBtn(int x, int y) const;

  // What the button shows now (for the owner's tests and its own painting).
  TButtonState State() const { return state_; }
  bool MouseInside() const { return mouse_inside_; }
  // The image of the list DrawTheBitmap draws in the present state (-1: none).
  int FrameIndex() const;

 protected:
  void Notification(TComponent* component, TOperation operation) override;
  void Paint() override;
  virtual void PaintButton();
  virtual void DrawTheBitmap(const TRect& picture);
  virtual void DrawTheText(const TRect& picture);
  void MouseDown(TMouseButton button, TShiftState shift, int x, int y) override;
  void MouseMove(TShiftState shift, int x, int y) override;
  void MouseUp(TMouseButton button, TShiftState shift, int x, int y) override;
  void Click() override;
  void CMMouseEnter(TMessage& m) override;
  void CMMouseLeave(TMessage& m) override;
  void CMDialogChar(TMessage& m) override;
  void CMEnabledChanged(TMessage& m) override;

 private:
  // The mouse came in or went out: the flag, the event and the hover frame.
  void MouseCrossed(bool inside, const TNotifyEvent& event);
  // Stores a property whose change repaints the button.
  template <class T>
  void Change(T& field, T value) {
    if (field == value) return;
    field = value;
    Invalidate();
  }
  bool three_state_ = false;
  bool auto_gray_ = true;
  unsigned border_width_ = 1;
  bool down_ = false;
  TFrameStyle frame_style_ = fsExplorer;
  TCustomImageList* image_list_ = nullptr;
  int image_index_ = 0;
  TNumGlyphs num_glyphs_ = 1;
  TPopupMenu* popup_ = nullptr;
  bool show_pressed_ = true;
  int spacing_ = 2;
  TTextAlign text_align_ = ttaCenter;
  bool transparent_ = true;
  bool word_wrap_ = false;
  bool movable_ = false;
  TButtonState state_ = bsUp;
  bool mouse_inside_ = false;
  bool tracking_ = false;
  bool mouse_held_ = false;
  int move_start_x_ = 0;
  int move_start_y_ = 0;
};

// The unit's routines, run with the program's other unit routines: they only count.
void Transbtn_Initialization();
void Transbtn_Finalization();

// Every pixel (r, g, b) becomes grey v = (wR*r + wG*g + wB*b) / (wR + wG + wB).
void GreyGlyph(TBitmap* bitmap, int wR, int wG, int wB);
// White pixels and those of the top-left colour take that colour, all others
// black; then the etched look of EmbossGlyph.
void DisabledGlyph(TBitmap* bitmap);
// The etched look of a disabled picture: its dark pixels drawn in the 3-D
// highlight colour one pixel down and right, then in the shadow colour, on clBtnFace.
void EmbossGlyph(TBitmap* bitmap);
