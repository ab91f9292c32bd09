#include "ctlpaint.h"
#include "../graphics/gdi_internal.h"
#include "../winuser/window_manager.h"

#include <algorithm>

#include <cstring>

#include <vcl/backend.h>
#include <win32/clipboard.h>

namespace ctl {

void Fill(TCanvas* c, const TRect& r, TColor color) {
  c->Brush()->SetStyle(bsSolid);
  c->Brush()->SetColor(color);
  c->FillRect(r);
}

void SunkenEdge(TCanvas* c, TRect& r) {
  Frame3D(c, r, clBtnShadow, clBtnHighlight, 1);
  Frame3D(c, r, cl3DDkShadow, clBtnFace, 1);
}

void RaisedEdge(TCanvas* c, TRect& r) {
  Frame3D(c, r, clBtnHighlight, cl3DDkShadow, 1);
  Frame3D(c, r, clBtnFace, clBtnShadow, 1);
}

void PressedEdge(TCanvas* c, TRect& r) {
  Frame3D(c, r, cl3DDkShadow, clBtnHighlight, 1);
  Frame3D(c, r, clBtnShadow, clBtnFace, 1);
}

TRect InsideBorder(TRect client, TBorderStyle style) {
  if (style == bsSingle) client.Inflate(-2, -2);
  return client;
}

namespace {

void MarkPixels(TCanvas* c, int x, int y, TColor color) {
  // The classic tick: seven columns, each three pixels high.
  static const int kTop[7] = {2, 3, 4, 3, 2, 1, 0};
  for (int i = 0; i < 7; ++i)
    for (int k = 0; k < 3; ++k) c->SetPixels(x + i, y + kTop[i] + k, color);
}

}  // namespace

void CheckGlyph(TCanvas* c, int x, int y, int state, bool enabled, bool pushed) {
  TRect r(x, y, x + 13, y + 13);
  SunkenEdge(c, r);
  Fill(c, r, (pushed || !enabled || state == 2) ? clBtnFace : clWindow);
  if (state == 0) return;
  TColor mark = !enabled || state == 2 ? clBtnShadow : clWindowText;
  MarkPixels(c, x + 3, y + 3, mark);
}

void RadioGlyph(TCanvas* c, int x, int y, bool checked, bool enabled, bool pushed) {
  c->Pen()->SetStyle(psSolid);
  c->Brush()->SetStyle(bsSolid);
  c->Pen()->SetColor(clBtnShadow);
  c->Brush()->SetColor((pushed || !enabled) ? clBtnFace : clWindow);
  c->Ellipse(x, y, x + 12, y + 12);
  c->Pen()->SetColor(clBtnHighlight);
  c->MoveTo(x + 10, y + 3);
  c->LineTo(x + 10, y + 9);
  c->MoveTo(x + 3, y + 10);
  c->LineTo(x + 9, y + 10);
  if (checked) {
    TColor dot = enabled ? clWindowText : clBtnShadow;
    c->Pen()->SetColor(dot);
    c->Brush()->SetColor(dot);
    c->Ellipse(x + 4, y + 4, x + 8, y + 8);
  }
}

void Arrow(TCanvas* c, const TRect& r, int direction, TColor color) {
  int cx = r.Left + r.Width() / 2, cy = r.Top + r.Height() / 2;
  c->Pen()->SetStyle(psSolid);
  c->Pen()->SetColor(color);
  for (int i = 0; i < 4; ++i) {
    switch (direction) {
      case 0: c->MoveTo(cx - 3 + i, cy - 1 + i); c->LineTo(cx + 4 - i, cy - 1 + i); break;
      case 1: c->MoveTo(cx - 3 + i, cy + 2 - i); c->LineTo(cx + 4 - i, cy + 2 - i); break;
      case 2: c->MoveTo(cx + 1 - i, cy - 3 + i); c->LineTo(cx + 1 - i, cy + 4 - i); break;
      default: c->MoveTo(cx - 1 + i, cy - 3 + i); c->LineTo(cx - 1 + i, cy + 4 - i); break;
    }
  }
}

void Caption(TCanvas* c, TRect r, const std::string& text, UINT flags, bool enabled, TColor color) {
  c->Brush()->SetStyle(bsClear);
  if (!enabled) {
    RECT shadow = r;
    OffsetRect(&shadow, 1, 1);
    c->Font()->SetColor(clBtnHighlight);
    DrawTextA(c->Handle(), text.c_str(), -1, &shadow, flags);
    color = clBtnShadow;
  }
  c->Font()->SetColor(color);
  RECT rr = r;
  DrawTextA(c->Handle(), text.c_str(), -1, &rr, flags);
}

int LineHeight(TCanvas* c) { return std::max(1, c->TextHeight("Ag")); }

TCanvas* Measure(TFont* font) {
  static TBitmap* scratch = new TBitmap(1, 1);
  TCanvas* c = scratch->Canvas();
  if (font) c->SetFont(font);
  return c;
}

void CheckIndex(int index, int count) {
  if (index < 0 || index >= count)
    throw EStringListError("List index out of bounds (" + std::to_string(index) + ")");
}

int FindItem(const TStrings& items, int start, const std::string& text, bool exact) {
  int n = items.Count();
  for (int k = 1; k <= n; ++k) {
    int i = ((start < 0 ? -1 : start) + k) % n;
    std::string item = items.Get(i);
    bool hit = exact ? SameText(item, text) : item.size() >= text.size() && SameText(item.substr(0, text.size()), text);
    if (hit) return i;
  }
  return -1;
}

std::string Utf8Of(unsigned cp) {
  if (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) cp = 0xFFFD;
  return quill_gdi::EncodeText(std::u32string(1, static_cast<char32_t>(cp)));
}

namespace {
bool IsContinuation(const std::string& t, int i) {
  return i > 0 && i < static_cast<int>(t.size()) && (static_cast<unsigned char>(t[i]) & 0xC0) == 0x80;
}
}  // namespace

// Bytes that are not UTF-8 (a name in another encoding) count one character each, as
// they are drawn; a run of continuation bytes belongs to the character before it.
int NextCharAt(const std::string& t, int i) {
  const int n = static_cast<int>(t.size());
  if (i >= n) return n;
  const int lead = static_cast<unsigned char>(t[i]);
  const int length = lead < 0xC2 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : lead < 0xF5 ? 4 : 1;
  int j = i + 1;
  while (j < i + length && IsContinuation(t, j)) ++j;
  return j;
}

int PrevCharAt(const std::string& t, int i) {
  i = std::min(i, static_cast<int>(t.size()));
  if (i <= 0) return 0;
  // Every byte but a continuation byte starts a character; a continuation byte is a
  // character of its own unless the lead before it reaches over it.
  for (int k = 1; k <= 4 && i - k >= 0; ++k) {
    if (IsContinuation(t, i - k) && i - k > 0) continue;
    return NextCharAt(t, i - k) == i ? i - k : i - 1;
  }
  return i - 1;
}

int WholeCharsWithin(const std::string& t, int bytes) {
  if (bytes >= static_cast<int>(t.size())) return static_cast<int>(t.size());
  if (bytes <= 0) return 0;
  // A cut inside a character moves back to its start.
  for (int q = bytes; q >= 0 && q > bytes - 4; --q)
    if (!IsContinuation(t, q)) return NextCharAt(t, q) > bytes ? q : bytes;
  return bytes;
}

std::string ClipboardText() {
  std::string text;
  if (!OpenClipboard(nullptr)) return text;
  if (HANDLE h = GetClipboardData(CF_TEXT)) {
    if (auto* p = static_cast<const char*>(GlobalLock(h))) {
      text.assign(p, strnlen(p, GlobalSize(h)));
      GlobalUnlock(h);
    }
  }
  CloseClipboard();
  return text;
}

void SetClipboardText(const std::string& text) {
  if (!OpenClipboard(nullptr)) return;
  EmptyClipboard();
  if (HGLOBAL h = GlobalAlloc(GMEM_MOVEABLE, text.size() + 1)) {
    if (auto* p = static_cast<char*>(GlobalLock(h))) {
      std::memcpy(p, text.c_str(), text.size() + 1);
      GlobalUnlock(h);
      if (!SetClipboardData(CF_TEXT, h)) GlobalFree(h);
    }
  }
  CloseClipboard();
}

// ---------------------------------------------------------------------------
TPopupWindow::TPopupWindow(TComponent* owner, TControl* opener) : TCustomForm(owner) {
  SetBorderStyle(bsNone);
  SetControlStyle(ControlStyle() & ~(csCaptureMouse | csClickEvents | csDoubleClicks));
  // A pop-up owned by the opener's form, so that a window manager keeps it above that form.
  TCustomForm* f = opener ? GetParentForm(opener) : nullptr;
  if (!f) f = dynamic_cast<TCustomForm*>(owner);
  opener_form_ = f;
  MakePopupWindow(this, f, false);
}

void TPopupWindow::Popup(int x, int y, int width, int height) {
  SetBoundsRect(KeepInside(Bounds(x, y, std::max(1, width), std::max(1, height)), WorkArea()));
  SetVisible(true);
  Invalidate();
}

void TPopupWindow::Close() { SetVisible(false); }

void TPopupWindow::CMVisibleChanged(TMessage& m) {
  // Shown without taking the activation from the form that opened it.
  TWinControl::CMVisibleChanged(m);
  if (Visible()) {
    Backend().SetBounds(Handle(), Left(), Top(), ClientWidth(), ClientHeight());
    Backend().SetVisible(Handle(), true);
    Invalidate();
  } else {
    if (GetCaptureControl() == this) SetCaptureControl(nullptr);
    Backend().SetVisible(Handle(), false);
    // A click into the pop-up made it the active window: give that back.
    if (Screen && Screen->ActiveForm() == this && opener_form_ && !opener_form_->HasState(csDestroying) &&
        opener_form_->Visible())
      opener_form_->SetFocus();
  }
}

void TPopupWindow::WMActivate(TMessage& m) { m.Result = 0; }

}  // namespace ctl
