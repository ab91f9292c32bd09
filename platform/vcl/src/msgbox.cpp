// MessageBoxA: a modal form that draws its own icon, text and buttons.
#include <atomic>
#include <cstdio>

#include <vcl/headless.h>

#include "backend_headless/headless_backend.h"
#include "winuser/window_manager.h"

namespace {

constexpr UINT kShownMessage = WM_USER + 0x100;

std::atomic<bool> g_unattended{false};

// What a box answers when nobody can: never the answer that goes ahead.
int SafeAnswer(UINT type) {
  switch (type & MB_TYPEMASK) {
    case MB_OKCANCEL:
    case MB_YESNOCANCEL:
    case MB_RETRYCANCEL: return IDCANCEL;
    case MB_YESNO: return IDNO;
    case MB_ABORTRETRYIGNORE: return IDABORT;
    default: return IDOK;
  }
}

void SayUnattended(const std::string& caption, const std::string& text) {
  HeadlessLog("msgbox " + caption + "\t" + text);
  std::fprintf(stderr, "[%s] %s\n", caption.c_str(), text.c_str());
}
constexpr int kButtonWidth = 75, kButtonHeight = 23, kButtonGap = 6, kMargin = 12, kIconSize = 32;

struct BoxButton {
  std::string caption;
  int result;
  TRect rect;
};

class TMessageBoxForm : public TForm {
 public:
  TMessageBoxForm(HWND ownerWnd, const std::string& text, const std::string& caption, UINT type)
      : TForm(nullptr), owner_wnd_(ownerWnd), text_(text), type_(type) {
    SetBorderStyle(bsDialog);
    modal_ends_on_terminate_ = false;  // a box shown while the program ends still waits
    SetBorderIcons(TBorderIcons{biSystemMenu});
    SetCaption(caption);
    Font()->SetName("MS Sans Serif");
    Font()->SetHeight(-11);
    switch (type & MB_TYPEMASK) {
      case MB_OKCANCEL: buttons_ = {{"OK", IDOK, {}}, {"Cancel", IDCANCEL, {}}}; cancel_ = IDCANCEL; break;
      case MB_ABORTRETRYIGNORE:
        buttons_ = {{"&Abort", IDABORT, {}}, {"&Retry", IDRETRY, {}}, {"&Ignore", IDIGNORE, {}}};
        break;
      case MB_YESNOCANCEL:
        buttons_ = {{"&Yes", IDYES, {}}, {"&No", IDNO, {}}, {"Cancel", IDCANCEL, {}}};
        cancel_ = IDCANCEL;
        break;
      case MB_YESNO: buttons_ = {{"&Yes", IDYES, {}}, {"&No", IDNO, {}}}; break;
      case MB_RETRYCANCEL: buttons_ = {{"&Retry", IDRETRY, {}}, {"Cancel", IDCANCEL, {}}}; cancel_ = IDCANCEL; break;
      default: buttons_ = {{"OK", IDOK, {}}}; cancel_ = IDOK; break;
    }
    int def = static_cast<int>((type & MB_DEFMASK) >> 8);
    focused_ = def < static_cast<int>(buttons_.size()) ? def : 0;
    icon_ = type & MB_ICONMASK;
    Layout();
  }

  int DefaultAnswer() const { return buttons_[focused_].result; }
  // Ends an open box as nobody is there to answer it.
  void EndUnattended() {
    if (!Modal()) return;
    SayUnattended(GetText(), text_);
    SetModalResult(SafeAnswer(type_));
  }
  int CancelAnswer() const { return cancel_ ? cancel_ : DefaultAnswer(); }
  bool IsAnswer(int id) const {
    for (auto& b : buttons_)
      if (b.result == id) return true;
    return false;
  }

 protected:
  void Layout() {
    TBitmap measure(1, 1);
    TCanvas* c = measure.Canvas();
    c->SetFont(Font());
    RECT tr{0, 0, 400, 0};
    DrawTextA(c->Handle(), text_.c_str(), -1, &tr, DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX | DT_EXPANDTABS);
    int tw = tr.right - tr.left, th = tr.bottom - tr.top;
    int textLeft = icon_ ? kMargin + kIconSize + kMargin : kMargin;
    int top = kMargin;
    int bodyH = std::max(icon_ ? kIconSize : 0, th);
    int textTop = top + (bodyH - th) / 2;
    text_rect_ = TRect(textLeft, textTop, textLeft + tw, textTop + th);
    icon_rect_ = Bounds(kMargin, top + (bodyH - kIconSize) / 2, kIconSize, kIconSize);
    int n = static_cast<int>(buttons_.size());
    int buttonsW = n * kButtonWidth + (n - 1) * kButtonGap;
    int cw = std::max({textLeft + tw + kMargin, buttonsW + 2 * kMargin, 120});
    int by = top + bodyH + kMargin + 4;
    int bx = (cw - buttonsW) / 2;
    for (auto& b : buttons_) {
      b.rect = Bounds(bx, by, kButtonWidth, kButtonHeight);
      bx += kButtonWidth + kButtonGap;
    }
    SetClientSize(cw, by + kButtonHeight + kMargin);
    // Centred on the owner while it shows, else on the screen; wholly on the screen.
    const TRect screen = WorkArea();
    TRect around = screen;
    if (TCustomForm* o = TopLevelForm(FindControl(owner_wnd_)); o && o->Showing()) around = o->BoundsRect();
    SetBoundsRect(KeepInside(Bounds(around.Left + (around.Width() - Width()) / 2,
                                    around.Top + (around.Height() - Height()) / 2, Width(), Height()),
                             screen));
  }

  void Paint() override {
    TCanvas* c = Canvas();
    c->Brush()->SetColor(clBtnFace);
    c->Brush()->SetStyle(bsSolid);
    c->FillRect(ClientRect());
    PaintIcon(c);
    c->SetFont(Font());
    c->Font()->SetColor(clWindowText);
    c->Brush()->SetStyle(bsClear);
    RECT tr = text_rect_;
    DrawTextA(c->Handle(), text_.c_str(), -1, &tr, DT_WORDBREAK | DT_NOPREFIX | DT_EXPANDTABS);
    for (int i = 0; i < static_cast<int>(buttons_.size()); ++i) PaintButton(c, i);
  }

  void PaintIcon(TCanvas* c) {
    if (!icon_) return;
    TRect r = icon_rect_;
    c->Pen()->SetColor(clBlack);
    c->Brush()->SetStyle(bsSolid);
    std::string glyph;
    TColor fill = clBlue;
    if (icon_ == MB_ICONERROR) { fill = clRed; glyph = "X"; }
    else if (icon_ == MB_ICONQUESTION) { fill = clBlue; glyph = "?"; }
    else if (icon_ == MB_ICONWARNING) { fill = clYellow; glyph = "!"; }
    else { fill = clBlue; glyph = "i"; }
    c->Brush()->SetColor(fill);
    if (icon_ == MB_ICONWARNING)
      c->Polygon({TPoint(r.Left + 16, r.Top + 1), TPoint(r.Right - 1, r.Bottom - 2), TPoint(r.Left + 1, r.Bottom - 2)});
    else
      c->Ellipse(r);
    c->Brush()->SetStyle(bsClear);
    c->Font()->SetColor(icon_ == MB_ICONWARNING ? clBlack : clWhite);
    c->Font()->SetStyle(TFontStyles{fsBold});
    c->Font()->SetHeight(-16);
    RECT gr = r;
    DrawTextA(c->Handle(), glyph.c_str(), -1, &gr, DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
    c->SetFont(Font());
  }

  void PaintButton(TCanvas* c, int i) {
    const BoxButton& b = buttons_[i];
    bool down = pressed_ == i && hot_ == i;
    TRect r = b.rect;
    c->Brush()->SetStyle(bsSolid);
    c->Brush()->SetColor(clBtnFace);
    c->FillRect(r);
    if (i == focused_) {
      c->Brush()->SetColor(clBlack);
      c->FrameRect(r);
      r.Inflate(-1, -1);
    }
    if (down) {
      Frame3D(c, r, clBtnShadow, clBtnShadow, 1);
    } else {
      Frame3D(c, r, clBtnHighlight, cl3DDkShadow, 1);
      Frame3D(c, r, clBtnFace, clBtnShadow, 1);
    }
    c->Brush()->SetStyle(bsClear);
    c->Font()->SetColor(clBtnText);
    RECT tr = b.rect;
    if (down) OffsetRect(&tr, 1, 1);
    DrawTextA(c->Handle(), b.caption.c_str(), -1, &tr, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    if (i == focused_) {
      TRect fr = b.rect;
      fr.Inflate(-4, -4);
      c->Brush()->SetStyle(bsSolid);
      c->DrawFocusRect(fr);
    }
  }

  int ButtonAt(int x, int y) const {
    for (int i = 0; i < static_cast<int>(buttons_.size()); ++i)
      if (buttons_[i].rect.Contains(x, y)) return i;
    return -1;
  }

  void MouseDown(TMouseButton button, TShiftState shift, int x, int y) override {
    TForm::MouseDown(button, shift, x, y);
    if (button != mbLeft) return;
    pressed_ = hot_ = ButtonAt(x, y);
    if (pressed_ >= 0) focused_ = pressed_;
    Invalidate();
  }

  void MouseMove(TShiftState shift, int x, int y) override {
    TForm::MouseMove(shift, x, y);
    if (pressed_ < 0) return;
    int h = ButtonAt(x, y);
    if (h != hot_) {
      hot_ = h;
      Invalidate();
    }
  }

  void MouseUp(TMouseButton button, TShiftState shift, int x, int y) override {
    TForm::MouseUp(button, shift, x, y);
    if (button != mbLeft || pressed_ < 0) return;
    int hit = ButtonAt(x, y);
    int was = pressed_;
    pressed_ = hot_ = -1;
    Invalidate();
    if (hit == was) SetModalResult(buttons_[hit].result);
  }

  void KeyDown(WORD& key, TShiftState shift) override {
    TForm::KeyDown(key, shift);
    int n = static_cast<int>(buttons_.size());
    switch (key) {
      case VK_RETURN:
      case VK_SPACE:
        SetModalResult(buttons_[focused_].result);
        break;
      case VK_ESCAPE:
        if (cancel_) SetModalResult(cancel_);
        break;
      case VK_TAB:
        focused_ = (focused_ + (shift.Contains(ssShift) ? n - 1 : 1)) % n;
        Invalidate();
        break;
      case VK_RIGHT:
      case VK_DOWN:
        focused_ = (focused_ + 1) % n;
        Invalidate();
        break;
      case VK_LEFT:
      case VK_UP:
        focused_ = (focused_ + n - 1) % n;
        Invalidate();
        break;
      default:
        return;
    }
    key = 0;
  }

  void KeyPress(char& key) override {
    TForm::KeyPress(key);
    for (auto& b : buttons_) {
      if (IsAccel(static_cast<unsigned char>(key), b.caption)) {
        SetModalResult(b.result);
        key = 0;
        return;
      }
    }
  }

  void Dispatch(TMessage& m) override {
    if (m.Msg == kShownMessage) {
      Answer();
      return;
    }
    TForm::Dispatch(m);
  }

  void DoShow() override {
    TForm::DoShow();
    PostMessageA(Handle(), kShownMessage, 0, 0);
  }

 private:
  void Answer() {
    HeadlessLog("msgbox " + GetText() + "\t" + text_);
    MessageBoxInfo info{owner_wnd_, Handle(), text_, GetText(), type_};
    if (MessageBoxRecorder rec = GetMessageBoxRecorder()) {
      int a = rec(info);
      if (a == 0) return;  // left open for input
      SetModalResult(IsAnswer(a) ? a : DefaultAnswer());
      return;
    }
    if (std::string(Backend().name) == "headless") {
      // Nobody can see it: report it and take the default button.
      std::fprintf(stderr, "[%s] %s\n", GetText().c_str(), text_.c_str());
      SetModalResult(DefaultAnswer());
    }
  }

  HWND owner_wnd_;
  std::string text_;
  UINT type_;
  UINT icon_ = 0;
  std::vector<BoxButton> buttons_;
  int focused_ = 0;
  int pressed_ = -1;
  int hot_ = -1;
  int cancel_ = 0;
  TRect text_rect_, icon_rect_;
};

}  // namespace

int MessageBoxA(HWND hwnd, LPCSTR text, LPCSTR caption, UINT type) {
  if (!TThread::IsMainThread()) {
    int r = 0;
    TThread::Synchronize(nullptr, [&] { r = MessageBoxA(hwnd, text, caption, type); });
    return r;
  }
  if (g_unattended) {
    SayUnattended(caption ? caption : "Error", text ? text : "");
    return SafeAnswer(type);
  }
  auto* box = new TMessageBoxForm(hwnd, text ? text : "", caption ? caption : "Error", type);
  int result;
  try {
    result = box->ShowModal();
    // Closed by the window manager: the answer of its cancel key.
    if (!box->IsAnswer(result)) result = box->CancelAnswer();
  } catch (...) {
    FreeComponent(box);
    throw;
  }
  FreeComponent(box);
  return result;
}

void SetMessageBoxesUnattended(bool unattended) {
  g_unattended = unattended;
  if (!unattended || !Screen) return;
  for (int i = 0; i < Screen->FormCount(); ++i)
    if (auto* box = dynamic_cast<TMessageBoxForm*>(Screen->Forms(i))) box->EndUnattended();
}
