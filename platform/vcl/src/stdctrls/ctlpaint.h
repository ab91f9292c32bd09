// Drawing shared by the standard controls: the classic 3-D edges, check marks,
// arrows and captions, item search, and the pop-up window that menus and drop-down
// lists use.
#pragma once

#include <string>

#include <vcl/controls.h>
#include <vcl/forms.h>

namespace ctl {

// Two-pixel edges: a sunken field (edit, list) and a raised or pressed button.
void SunkenEdge(TCanvas* c, TRect& r);
void RaisedEdge(TCanvas* c, TRect& r);
void PressedEdge(TCanvas* c, TRect& r);
// The area inside a field's border: a single border is such a sunken edge.
TRect InsideBorder(TRect client, TBorderStyle style);
void Fill(TCanvas* c, const TRect& r, TColor color);
// A 13 by 13 check box at (x, y): state 0 unchecked, 1 checked, 2 grayed.
void CheckGlyph(TCanvas* c, int x, int y, int state, bool enabled, bool pushed);
void RadioGlyph(TCanvas* c, int x, int y, bool checked, bool enabled, bool pushed);
// A small filled triangle centred in r pointing 0 down, 1 up, 2 left, 3 right.
void Arrow(TCanvas* c, const TRect& r, int direction, TColor color);
// Caption text with '&' accelerators, etched grey when disabled.
void Caption(TCanvas* c, TRect r, const std::string& text, UINT flags, bool enabled, TColor color);
// Height of one line of text in the control's font.
int LineHeight(TCanvas* c);
// A scratch canvas for measuring text in a font.
TCanvas* Measure(TFont* font);
// The first item after start (from the top when start < 0) that equals text, or
// only begins with it when !exact, ignoring case and searching round to start
// again; -1 when none does.
int FindItem(const TStrings& items, int start, const std::string& text, bool exact);
// Raises EStringListError unless 0 <= index < count.
void CheckIndex(int index, int count);
// Typed text: a character arrives as its code point and is kept as UTF-8, and the caret
// steps over a whole character, never into the bytes of one.
std::string Utf8Of(unsigned codePoint);
int NextCharAt(const std::string& text, int index);
int PrevCharAt(const std::string& text, int index);
// The longest start of text that ends on a whole character and holds at most bytes bytes.
int WholeCharsWithin(const std::string& text, int bytes);
// The clipboard's text (empty when it holds none) and replacing it.
std::string ClipboardText();
void SetClipboardText(const std::string& text);

// A top-level pop-up window (menus, drop-down lists): borderless, never activated,
// so the keyboard focus stays with the control that opened it.
class TPopupWindow : public TCustomForm {
 public:
  TPopupWindow(TComponent* owner, TControl* opener);
  std::string ClassName() const override { return "TPopupWindow"; }
  // Shows the window with its top-left at the screen point, moved back into the
  // work area when it would stick out.
  void Popup(int x, int y, int width, int height);
  void Close();

 protected:
  void CMVisibleChanged(TMessage& m) override;
  void WMActivate(TMessage& m) override;

 private:
  TCustomForm* opener_form_ = nullptr;
};

}  // namespace ctl
