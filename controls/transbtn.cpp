#include "transbtn.h"

#include <algorithm>
#include <memory>

#include <vcl/commctrl.h>
#include <vcl/winuser.h>

namespace {
int g_unit_counter = 0;
}  // namespace

void Transbtn_Initialization() { --g_unit_counter; }
void Transbtn_Finalization() { ++g_unit_counter; }

TTransparentButton::TTransparentButton(TComponent* owner) : TGraphicControl(owner) {
  SetControlStyle(ControlStyle() & ~(csOpaque | csDoubleClicks));
  SetBounds(0, 0, 40, 40);
}

TTransparentButton::~TTransparentButton() {
  if (popup_) popup_->RemoveFreeNotification(this);
  if (image_list_) image_list_->RemoveFreeNotification(this);
}

void TTransparentButton::SetBorderWidth(unsigned v) { Change(border_width_, v); }

void TTransparentButton::SetStayDown(bool v) {
  if (v == down_) return;
  down_ = v;
  tracking_ = v;
  state_ = v ? bsDown : bsUp;
  Repaint();
}

void TTransparentButton::SetFrameStyle(TFrameStyle v) { Change(frame_style_, v); }

void TTransparentButton::SetImageList(TCustomImageList* v) {
  // The list is only referred to; its going away must not leave a dangling pointer.
  if (image_list_) image_list_->RemoveFreeNotification(this);
  image_list_ = v;
  if (v) v->FreeNotification(this);
}

void TTransparentButton::Setimageindex(int v) {
  image_index_ = v;
  Invalidate();
}

void TTransparentButton::SetNumGlyphs(TNumGlyphs v) { Change(num_glyphs_, std::clamp(v, 1, 4)); }

void TTransparentButton::SetPopUpMenu(TPopupMenu* v) {
  if (popup_) popup_->RemoveFreeNotification(this);
  popup_ = v;
  if (v) v->FreeNotification(this);
}

void TTransparentButton::SetSpacing(int v) { Change(spacing_, v); }

void TTransparentButton::SetTextAlign(TTextAlign v) { Change(text_align_, v); }

void TTransparentButton::SetTransparent(bool v) { Change(transparent_, v); }

void TTransparentButton::SetWordWrap(bool v) { Change(word_wrap_, v); }

bool TTransparentButton::InsideBtn(int x, int y) const {
  RECT r{0, 0, Width(), Height()};
  return PtInRect(&r, POINT{x, y}) != FALSE;
}

void TTransparentButton::Notification(TComponent* component, TOperation operation) {
  TGraphicControl::Notification(component, operation);
  if (operation != opRemove) return;
  if (component == popup_) popup_ = nullptr;
  if (component == image_list_) {
    image_list_ = nullptr;
    Invalidate();
  }
}

// --- Painting ---------------------------------------------------------------------------
namespace {

// Frame3D on a copy, so that the caller's rectangle stays as it is.
void Frame(TCanvas* c, TRect r, TColor top, TColor bottom, int width) {
  if (width > 0) Frame3D(c, r, top, bottom, width);
}

}  // namespace

void TTransparentButton::Paint() {
  TCanvas* c = Canvas();
  const int W = Width(), H = Height();
  const int bw = static_cast<int>(std::min<unsigned>(border_width_, 0x7FFF));
  const TRect all(0, 0, W, H);
  c->Brush()->SetColor(clBtnFace);
  c->Brush()->SetStyle(bsSolid);
  c->Pen()->SetColor(clBlack);
  c->Pen()->SetWidth(bw);

  switch (frame_style_) {
    case fsRegular:
      c->Pen()->SetColor(clBlack);
      if (!transparent_)
        c->Rectangle(1, 1, W, H);
      else
        Frame(c, TRect(1, 1, W, H), clBlack, clBlack, bw);
      break;
    case fsIndent:
      c->Pen()->SetColor(clBtnShadow);
      if (!transparent_)
        c->Rectangle(0, 0, W - 1, H - 1);
      else
        Frame(c, TRect(0, 0, W - 1, H - 1), clBtnShadow, clBtnShadow, bw);
      Frame(c, TRect(1, 1, W, H), clBtnHighlight, clBtnHighlight, bw);
      break;
    default:
      if (!transparent_) c->FillRect(all);
      if (HasState(csDesigning)) {
        static const TColor kTop[] = {0, 0, clBtnHighlight, clBlack, clBtnHighlight, clBtnFace, clBtnHighlight};
        static const TColor kBottom[] = {0, 0, clBtnShadow, clBlack, clBtnShadow, cl3DDkShadow, cl3DDkShadow};
        Frame(c, all, kTop[frame_style_], kBottom[frame_style_], 1);
      }
      break;
  }

  if (state_ == bsDown && frame_style_ != fsNone) {
    switch (frame_style_) {
      case fsRegular:
      case fsIndent:
        if (show_pressed_) {
          Frame(c, all, clBlack, clBtnHighlight, bw);
          Frame(c, all, clBtnShadow, clBtnFace, bw);
        }
        break;
      case fsExplorer:
        if (mouse_inside_ || down_) {
          if (show_pressed_)
            Frame(c, all, clBtnShadow, clBtnHighlight, bw);
          else
            Frame(c, all, clBtnHighlight, clBtnShadow, bw);
        }
        break;
      case fsLight:
        if (show_pressed_) Frame(c, all, clBtnShadow, clBtnHighlight, 1);
        break;
      case fsDark:
        if (show_pressed_) Frame(c, all, cl3DDkShadow, clBtnFace, 1);
        break;
      case fsMono:
        if (show_pressed_) Frame(c, all, cl3DDkShadow, clBtnHighlight, 1);
        break;
      default:
        break;
    }
  }

  if (state_ == bsUp) {
    switch (frame_style_) {
      case fsRegular:
        Frame(c, all, clBtnHighlight, clBlack, bw);
        Frame(c, all, clBtnFace, clBtnShadow, bw);
        break;
      case fsIndent:
        Frame(c, all, clBtnShadow, clBtnHighlight, bw);
        break;
      case fsExplorer:
        if (mouse_inside_) Frame(c, all, clBtnHighlight, clBtnShadow, bw);
        break;
      case fsLight:
        Frame(c, all, clBtnHighlight, clBtnShadow, 1);
        break;
      case fsDark:
        Frame(c, all, clBtnFace, cl3DDkShadow, 1);
        break;
      case fsMono:
        Frame(c, all, clBtnHighlight, cl3DDkShadow, 1);
        break;
      default:
        break;
    }
  }
  PaintButton();
}

void TTransparentButton::PaintButton() {
  const int W = Width(), H = Height();
  if (!image_list_) {
    DrawTheText(TRect(0, 0, W, H));
    return;
  }
  const int gw = image_list_->Width(), gh = image_list_->Height();
  int top, left;
  switch (text_align_) {
    case ttaBottomRight: case ttaBottom: case ttaBottomLeft: top = spacing_; break;
    case ttaTopLeft: case ttaTop: case ttaTopRight: top = H - gh - spacing_; break;
    default: top = (H - gh) / 2; break;
  }
  switch (text_align_) {
    case ttaLeft: left = W - gw - spacing_; break;
    case ttaRight: left = spacing_; break;
    default: left = (W - gw) / 2; break;
  }
  TRect p(left, top, left + gw, top + gh);
  DrawTheBitmap(p);
  if (!Caption().empty()) DrawTheText(p);
}

int TTransparentButton::FrameIndex() const {
  int index = 0;
  if (three_state_) {
    index = mouse_inside_ && state_ == bsDown ? 2 : (mouse_inside_ ? 1 : 0);
  } else {
    switch (num_glyphs_) {
      case 2: index = !Enabled() ? 1 : 0; break;
      case 3: index = state_ == bsDown ? 1 : (mouse_inside_ ? 2 : (down_ ? 1 : 0)); break;
      case 4: index = state_ == bsDown ? 2 : (!Enabled() ? 1 : 0); break;
      default: index = 0; break;
    }
  }
  if (!down_ && frame_style_ == fsExplorer && auto_gray_ && !mouse_inside_) index = 0;
  if (num_glyphs_ == 1) index = 0;
  index += image_index_;
  if (!image_list_) return -1;
  const int count = image_list_->Count();
  // A strip with fewer frames than NumGlyphs shows its first frame for the
  // missing ones rather than nothing.
  if (index >= count && image_index_ >= 0 && image_index_ < count) index = image_index_;
  return index >= 0 && index < count ? index : -1;
}

void TTransparentButton::DrawTheBitmap(const TRect& picture) {
  TRect p = picture;
  if (!three_state_ && state_ == bsDown && show_pressed_) p.Offset(1, 1);
  const int index = FrameIndex();
  if (index < 0) return;
  HDC dc = Canvas()->Handle();
  if (transparent_)
    ImageList_DrawEx(image_list_->Handle(), index, dc, 0, 0, 0, 0, static_cast<COLORREF>(clNone),
                     static_cast<COLORREF>(clNone), ILD_TRANSPARENT);
  else
    ImageList_DrawEx(image_list_->Handle(), index, dc, p.Left, p.Top, 0, 0,
                     static_cast<COLORREF>(ColorToRGB(clBtnFace)), CLR_DEFAULT, ILD_NORMAL);
}

void TTransparentButton::DrawTheText(const TRect& picture) {
  TCanvas* c = Canvas();
  c->SetFont(Font());
  const std::string text = Caption();
  const int W = Width(), H = Height();
  const UINT lines = word_wrap_ ? DT_WORDBREAK : DT_SINGLELINE;
  RECT t{0, 0, W, H};
  DrawTextA(c->Handle(), text.c_str(), static_cast<int>(text.size()), &t, lines | DT_CALCRECT);
  const int tw = t.right - t.left, th = t.bottom - t.top;
  int dx = 0, dy = 0;
  switch (text_align_) {
    case ttaTopLeft: dx = spacing_; dy = picture.Top - th - spacing_; break;
    case ttaTop: dx = W / 2 - tw / 2; dy = picture.Top - th - spacing_; break;
    case ttaTopRight: dx = W - tw - spacing_; dy = picture.Top - th - spacing_; break;
    case ttaRight: dx = W - tw - spacing_; dy = H / 2 - th / 2; break;
    case ttaBottomRight: dx = W - tw - spacing_; dy = picture.Bottom + spacing_; break;
    case ttaBottom: dx = W / 2 - tw / 2; dy = picture.Bottom + spacing_; break;
    case ttaBottomLeft: dx = spacing_; dy = picture.Bottom + spacing_; break;
    case ttaLeft: dx = spacing_; dy = H / 2 - th / 2; break;
    case ttaCenter: dx = W / 2 - tw / 2; dy = H / 2 - th / 2; break;
  }
  OffsetRect(&t, dx, dy);
  const UINT flags = DT_CENTER | DT_NOCLIP | lines;
  if (state_ == bsDown && show_pressed_) OffsetRect(&t, 1, 1);
  HDC dc = c->Handle();
  SetBkMode(dc, TRANSPARENT);
  if (Enabled()) {
    SetTextColor(dc, static_cast<COLORREF>(ColorToRGB(Font()->Color())));
    DrawTextA(dc, text.c_str(), static_cast<int>(text.size()), &t, flags);
  } else {
    RECT shifted = t;
    OffsetRect(&shifted, 1, 1);
    SetTextColor(dc, static_cast<COLORREF>(ColorToRGB(clBtnHighlight)));
    DrawTextA(dc, text.c_str(), static_cast<int>(text.size()), &shifted, flags);
    SetTextColor(dc, static_cast<COLORREF>(ColorToRGB(clBtnShadow)));
    DrawTextA(dc, text.c_str(), static_cast<int>(text.size()), &t, flags);
  }
}

// --- Mouse and messages ----------------------------------------------------------------
void TTransparentButton::MouseDown(TMouseButton button, TShiftState shift, int x, int y) {
  if (!Enabled() || mouse_held_) return;
  mouse_held_ = true;
  TGraphicControl::MouseDown(button, shift, x, y);
  if (movable_) {
    move_start_x_ = x;
    move_start_y_ = y;
  }
  if (InsideBtn(x, y)) {
    tracking_ = true;
    state_ = bsDown;
    Repaint();
  }
  if (popup_) {
    TPoint at = ClientToScreen(TPoint(0, Height()));
    popup_->Popup(at.X, at.Y);
    // The menu took the press's release: drop what the mouse did meanwhile and
    // end the press here, releasing the capture the press had taken.
    MSG msg;
    while (PeekMessageA(&msg, nullptr, WM_MOUSEFIRST, WM_MOUSELAST, PM_REMOVE)) {
    }
    SetControlState(ControlState() & ~csClicked);
    if (MouseCapture()) SetMouseCapture(false);
    MouseUp(button, shift, x, y);
  }
}

void TTransparentButton::MouseUp(TMouseButton button, TShiftState shift, int x, int y) {
  if (!Enabled() || !mouse_held_) return;
  mouse_held_ = false;
  if (down_) return;
  TGraphicControl::MouseUp(button, shift, x, y);
  tracking_ = false;
  state_ = bsUp;
  Repaint();
}

void TTransparentButton::MouseMove(TShiftState shift, int x, int y) {
  TGraphicControl::MouseMove(shift, x, y);
  if (!tracking_) return;
  if (movable_) {
    SetTop(Top() + y - move_start_y_);
    SetLeft(Left() + x - move_start_x_);
  }
  if (InsideBtn(x, y)) {
    if (state_ == bsUp) {
      state_ = bsDown;
      Repaint();
    }
  } else if (!down_ && state_ == bsDown) {
    state_ = bsUp;
    Repaint();
  }
}

void TTransparentButton::Click() { TGraphicControl::Click(); }

void TTransparentButton::MouseCrossed(bool inside, const TNotifyEvent& event) {
  if (!Enabled()) return;
  mouse_inside_ = inside;
  if (event) event(this);
  if (frame_style_ == fsExplorer || three_state_) Repaint();
}

void TTransparentButton::CMMouseEnter(TMessage& m) {
  TGraphicControl::CMMouseEnter(m);
  MouseCrossed(true, OnMouseEnter);
}

void TTransparentButton::CMMouseLeave(TMessage& m) {
  TGraphicControl::CMMouseLeave(m);
  MouseCrossed(false, OnMouseExit);
}

void TTransparentButton::CMEnabledChanged(TMessage& m) {
  TGraphicControl::CMEnabledChanged(m);
  if (!Enabled()) {
    state_ = bsUp;
    tracking_ = mouse_held_ = mouse_inside_ = false;
  }
  Repaint();
}

void TTransparentButton::CMDialogChar(TMessage& m) {
  if (IsAccel(m.CharCode(), Caption()) && Enabled()) {
    Click();
    m.Result = 1;
    return;
  }
  TGraphicControl::CMDialogChar(m);
}

// --- Glyph strips -------------------------------------------------------------------------
void GreyGlyph(TBitmap* bitmap, int wR, int wG, int wB) {
  if (!bitmap || bitmap->Empty()) return;
  const int sum = wR + wG + wB;
  if (sum == 0) return;
  for (int y = 0; y < bitmap->Height(); ++y) {
    std::uint32_t* row = bitmap->ScanLine(y);
    for (int x = 0; x < bitmap->Width(); ++x) {
      const int r = (row[x] >> 16) & 255, g = (row[x] >> 8) & 255, b = row[x] & 255;
      // Weights of mixed signs can take the mean outside the channel's range.
      const auto v = static_cast<std::uint32_t>(std::clamp((wR * r + wG * g + wB * b) / sum, 0, 255));
      row[x] = (v << 16) | (v << 8) | v;
    }
  }
  bitmap->SetModified(true);
}

void EmbossGlyph(TBitmap* bitmap) {
  if (!bitmap || bitmap->Empty()) return;
  const int w = bitmap->Width(), h = bitmap->Height();
  auto mask = std::make_unique<TBitmap>();
  mask->Assign(bitmap);
  mask->Canvas()->Font()->SetColor(clWhite);
  mask->Canvas()->Brush()->SetColor(clBlack);
  mask->SetMonochrome(true);
  auto result = std::make_unique<TBitmap>(w, h);
  TCanvas* rc = result->Canvas();
  rc->Brush()->SetColor(clBtnFace);
  rc->FillRect(TRect(0, 0, w, h));
  constexpr DWORD kPaintWhereSet = 0x00E20746;
  rc->Brush()->SetColor(clBtnHighlight);
  HDC dc = rc->Handle();
  SetTextColor(dc, 0x000000);
  SetBkColor(dc, 0xFFFFFF);
  BitBlt(dc, 1, 1, w + 1, h + 1, mask->Canvas()->Handle(), 0, 0, kPaintWhereSet);
  rc->Brush()->SetColor(clBtnShadow);
  dc = rc->Handle();
  SetTextColor(dc, 0x000000);
  SetBkColor(dc, 0xFFFFFF);
  BitBlt(dc, 0, 0, w, h, mask->Canvas()->Handle(), 0, 0, kPaintWhereSet);
  bitmap->Assign(result.get());
}

void DisabledGlyph(TBitmap* bitmap) {
  if (!bitmap || bitmap->Empty()) return;
  const std::uint32_t b0 = bitmap->ScanLine(0)[0];
  for (int y = 0; y < bitmap->Height(); ++y) {
    std::uint32_t* row = bitmap->ScanLine(y);
    for (int x = 0; x < bitmap->Width(); ++x) row[x] = (row[x] == 0xFFFFFF || row[x] == b0) ? b0 : 0;
  }
  EmbossGlyph(bitmap);
}

void TTransparentButton::AddGlyphs(TBitmap* glyphs, TColor, int) {
  if (!image_list_ || !glyphs || glyphs->Empty()) return;
  const int w = glyphs->Width() / num_glyphs_, h = glyphs->Height();
  // A strip narrower than one pixel per frame holds no frames: the list keeps the
  // pictures it has rather than losing them for nothing.
  if (w <= 0 || h <= 0) return;
  image_list_->Clear();
  image_list_->SetWidth(w);
  image_list_->SetHeight(h);
  std::unique_ptr<TBitmap> grey, disabled;
  for (int i = 0; i < num_glyphs_; ++i) {
    TBitmap frame(w, h);
    frame.Canvas()->CopyRect(TRect(0, 0, w, h), glyphs->Canvas(), TRect(i * w, 0, i * w + w, h));
    if (i == 0) {
      grey = std::make_unique<TBitmap>();
      grey->Assign(&frame);
      GreyGlyph(grey.get(), 11, 59, 30);
      disabled = std::make_unique<TBitmap>();
      disabled->Assign(&frame);
      DisabledGlyph(disabled.get());
    }
    image_list_->AddMasked(&frame, frame.TransparentColor());
  }
  image_list_->AddMasked(grey.get(), grey->TransparentColor());
  image_list_->AddMasked(disabled.get(), disabled->TransparentColor());
  Invalidate();
}
