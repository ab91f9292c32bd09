// TCanvas: the class library's drawing object over a device context.
#include <vcl/graphics.h>

#include "gdi_internal.h"

using namespace quill_gdi;

namespace {
int PenModeToRop2(TPenMode m) {
  static const int kRop2[] = {R2_BLACK,       R2_WHITE,       R2_NOP,        R2_NOT,
                              R2_COPYPEN,     R2_NOTCOPYPEN,  R2_MERGEPENNOT, R2_MASKPENNOT,
                              R2_MERGENOTPEN, R2_MASKNOTPEN,  R2_MERGEPEN,   R2_NOTMERGEPEN,
                              R2_MASKPEN,     R2_NOTMASKPEN,  R2_XORPEN,     R2_NOTXORPEN};
  return kRop2[m];
}
}  // namespace

TCanvas::TCanvas()
    : pen_(std::make_unique<TPen>()), brush_(std::make_unique<TBrush>()), font_(std::make_unique<TFont>()) {
  pen_->OnChange = [this](TObject*) { state_ &= ~csPenValid; };
  brush_->OnChange = [this](TObject*) { state_ &= ~csBrushValid; };
  font_->OnChange = [this](TObject*) { state_ &= ~csFontValid; };
  ownDC_ = CreateSurfaceDC(nullptr);
  ownDC_->canvas = this;
}

TCanvas::~TCanvas() {
  if (adoptedDC_ && CheckDC(adoptedDC_) && adoptedDC_->canvas == this) adoptedDC_->canvas = nullptr;
  DeleteDC(ownDC_);
}

void TCanvas::SetSurface(TSurface* surface) {
  SetDCSurface(ownDC_, surface);
  state_ = 0;
}

TSurface* TCanvas::Surface() const { return SurfaceOfDC(adoptedDC_ ? adoptedDC_ : ownDC_); }

HDC TCanvas::Handle() {
  RequiredState(csHandleValid | csPenValid | csBrushValid | csFontValid);
  return adoptedDC_ ? adoptedDC_ : ownDC_;
}

void TCanvas::SetHandle(HDC value) {
  if (adoptedDC_ && CheckDC(adoptedDC_) && adoptedDC_->canvas == this) adoptedDC_->canvas = nullptr;
  adoptedDC_ = CheckDC(value) ? value : nullptr;
  if (adoptedDC_ && !adoptedDC_->canvas) adoptedDC_->canvas = this;
  state_ = 0;
}

bool TCanvas::HandleAllocated() const { return adoptedDC_ != nullptr || ownDC_->surface != nullptr; }

void TCanvas::SetOrigin(int x, int y) { SetViewportOrgEx(adoptedDC_ ? adoptedDC_ : ownDC_, x, y, nullptr); }

TPoint TCanvas::Origin() const {
  POINT p{0, 0};
  GetViewportOrgEx(adoptedDC_ ? adoptedDC_ : ownDC_, &p);
  return p;
}

void TCanvas::SetClipRect(const TRect& deviceRect) {
  SetDeviceClipRects(adoptedDC_ ? adoptedDC_ : ownDC_, {RECT(deviceRect)});
}

void TCanvas::SetClipRects(const std::vector<TRect>& deviceRects) {
  std::vector<RECT> rects(deviceRects.begin(), deviceRects.end());
  SetDeviceClipRects(adoptedDC_ ? adoptedDC_ : ownDC_, rects);
}

void TCanvas::ClearClip() { ResetDeviceClip(adoptedDC_ ? adoptedDC_ : ownDC_); }

TRect TCanvas::ClipRect() {
  RECT r{0, 0, 0, 0};
  GetClipBox(adoptedDC_ ? adoptedDC_ : ownDC_, &r);
  return r;
}

void TCanvas::SetPen(TPen* value) { pen_->Assign(value); }
void TCanvas::SetBrush(TBrush* value) { brush_->Assign(value); }
void TCanvas::SetFont(TFont* value) { font_->Assign(value); }

TPoint TCanvas::PenPos() {
  HDC dc = Handle();
  POINT p{0, 0};
  MoveToEx(dc, 0, 0, &p);
  MoveToEx(dc, p.x, p.y, nullptr);
  return p;
}

void TCanvas::SetPenPos(TPoint value) { MoveToEx(Handle(), value.X, value.Y, nullptr); }

void TCanvas::RequiredState(int state) {
  HDC dc = adoptedDC_ ? adoptedDC_ : ownDC_;
  int need = state & ~state_;
  if (need & csPenValid) {
    SelectObject(dc, pen_->Handle());
    SetROP2(dc, PenModeToRop2(pen_->Mode()));
  }
  if (need & csBrushValid) {
    SelectObject(dc, brush_->Handle());
    SetBkColor(dc, static_cast<COLORREF>(ColorToRGB(brush_->Color())));
    // Only a solid brush paints behind text and hatches; other styles leave it.
    SetBkMode(dc, brush_->Style() == bsSolid ? OPAQUE : TRANSPARENT);
  }
  if (need & csFontValid) {
    SelectObject(dc, font_->Handle());
    SetTextColor(dc, static_cast<COLORREF>(ColorToRGB(font_->Color())));
  }
  state_ |= state;
}

void TCanvas::Changing() {
  if (OnChanging) OnChanging(this);
}
void TCanvas::Changed() {
  if (OnChange) OnChange(this);
}

void TCanvas::MoveTo(int x, int y) {
  RequiredState(csHandleValid);
  MoveToEx(Handle(), x, y, nullptr);
}

void TCanvas::LineTo(int x, int y) {
  Changing();
  RequiredState(csHandleValid | csPenValid | csBrushValid);
  ::LineTo(Handle(), x, y);
  Changed();
}

void TCanvas::Polyline(const std::vector<TPoint>& points) {
  Changing();
  RequiredState(csHandleValid | csPenValid | csBrushValid);
  std::vector<POINT> p(points.begin(), points.end());
  ::Polyline(Handle(), p.data(), static_cast<int>(p.size()));
  Changed();
}

void TCanvas::Polygon(const std::vector<TPoint>& points) {
  Changing();
  RequiredState(csHandleValid | csPenValid | csBrushValid);
  std::vector<POINT> p(points.begin(), points.end());
  ::Polygon(Handle(), p.data(), static_cast<int>(p.size()));
  Changed();
}

void TCanvas::Rectangle(int x1, int y1, int x2, int y2) {
  Changing();
  RequiredState(csHandleValid | csPenValid | csBrushValid);
  ::Rectangle(Handle(), x1, y1, x2, y2);
  Changed();
}

void TCanvas::RoundRect(int x1, int y1, int x2, int y2, int x3, int y3) {
  Changing();
  RequiredState(csHandleValid | csPenValid | csBrushValid);
  ::RoundRect(Handle(), x1, y1, x2, y2, x3, y3);
  Changed();
}

void TCanvas::Ellipse(int x1, int y1, int x2, int y2) {
  Changing();
  RequiredState(csHandleValid | csPenValid | csBrushValid);
  ::Ellipse(Handle(), x1, y1, x2, y2);
  Changed();
}

void TCanvas::FillRect(const TRect& r) {
  Changing();
  RequiredState(csHandleValid | csBrushValid);
  RECT rr = r;
  ::FillRect(Handle(), &rr, brush_->Handle());
  Changed();
}

void TCanvas::FrameRect(const TRect& r) {
  Changing();
  RequiredState(csHandleValid | csBrushValid);
  RECT rr = r;
  ::FrameRect(Handle(), &rr, brush_->Handle());
  Changed();
}

void TCanvas::DrawFocusRect(const TRect& r) {
  Changing();
  RequiredState(csHandleValid | csBrushValid);
  RECT rr = r;
  ::DrawFocusRect(Handle(), &rr);
  Changed();
}

TColor TCanvas::Pixels(int x, int y) {
  COLORREF c = GetPixel(Handle(), x, y);
  return c == CLR_INVALID ? TColor(-1) : static_cast<TColor>(c);
}

void TCanvas::SetPixels(int x, int y, TColor color) {
  Changing();
  SetPixel(Handle(), x, y, static_cast<COLORREF>(ColorToRGB(color)));
  Changed();
}

void TCanvas::TextOut(int x, int y, const std::string& text) {
  Changing();
  RequiredState(csHandleValid | csFontValid | csBrushValid);
  HDC dc = Handle();
  TextOutA(dc, x, y, text.c_str(), static_cast<int>(text.size()));
  MoveToEx(dc, x + TextWidth(text), y, nullptr);
  Changed();
}

void TCanvas::TextRect(const TRect& r, int x, int y, const std::string& text) {
  Changing();
  RequiredState(csHandleValid | csFontValid | csBrushValid);
  HDC dc = Handle();
  if (brush_->Style() != bsClear) {
    RECT rr = r;
    ::FillRect(dc, &rr, brush_->Handle());
  }
  RECT clip{r.Left + dc->s.origin.x, r.Top + dc->s.origin.y, r.Right + dc->s.origin.x, r.Bottom + dc->s.origin.y};
  if (clip.right > clip.left && clip.bottom > clip.top)
    DrawTextRun(dc, x + dc->s.origin.x, y + dc->s.origin.y, text, &clip, -1);
  Changed();
}

SIZE TCanvas::TextExtent(const std::string& text) {
  RequiredState(csHandleValid | csFontValid);
  SIZE s{0, 0};
  GetTextExtentPoint32A(Handle(), text.c_str(), static_cast<int>(text.size()), &s);
  return s;
}

int TCanvas::TextWidth(const std::string& text) { return TextExtent(text).cx; }
int TCanvas::TextHeight(const std::string& text) { return TextExtent(text).cy; }

void TCanvas::Draw(int x, int y, TGraphic* graphic) {
  if (!graphic || graphic->Empty()) return;
  Changing();
  RequiredState(csHandleValid);
  graphic->Draw(this, TRect(x, y, x + graphic->Width(), y + graphic->Height()));
  Changed();
}

void TCanvas::StretchDraw(const TRect& r, TGraphic* graphic) {
  if (!graphic || graphic->Empty()) return;
  Changing();
  RequiredState(csHandleValid);
  graphic->Draw(this, r);
  Changed();
}

void TCanvas::CopyRect(const TRect& dest, TCanvas* src, const TRect& srcRect) {
  if (!src) return;
  Changing();
  RequiredState(csHandleValid | csBrushValid);
  StretchBlt(Handle(), dest.Left, dest.Top, dest.Width(), dest.Height(), src->Handle(), srcRect.Left, srcRect.Top,
             srcRect.Width(), srcRect.Height(), copyMode_);
  Changed();
}

void TCanvas::BrushCopy(const TRect& dest, TBitmap* bitmap, const TRect& srcRect, TColor color) {
  if (!bitmap || bitmap->Empty()) return;
  Changing();
  RequiredState(csHandleValid | csBrushValid);
  // The source part with the keyed colour replaced by the brush, then copied.
  TBitmap work(srcRect.Width() < 0 ? -srcRect.Width() : srcRect.Width(),
               srcRect.Height() < 0 ? -srcRect.Height() : srcRect.Height());
  const TSurface& s = bitmap->Surface();
  TSurface& w = work.Surface();
  const int sl = std::min(srcRect.Left, srcRect.Right), st = std::min(srcRect.Top, srcRect.Bottom);
  const std::uint32_t key = ColorRefToPixel(static_cast<COLORREF>(ColorToRGB(color)));
  const std::uint32_t fill = ColorRefToPixel(static_cast<COLORREF>(ColorToRGB(brush_->Color())));
  for (int y = 0; y < w.Height; ++y)
    for (int x = 0; x < w.Width; ++x) {
      int sx = sl + x, sy = st + y;
      std::uint32_t p = s.Contains(sx, sy) ? s.At(sx, sy) : fill;
      w.Set(x, y, p == key ? fill : p);
    }
  StretchBlt(Handle(), dest.Left, dest.Top, dest.Width(), dest.Height(), work.Canvas()->Handle(), 0, 0,
             srcRect.Width(), srcRect.Height(), SRCCOPY);
  Changed();
}

void TCanvas::Lock() {
  if (TSurface* s = Surface()) s->Lock.lock();
  ++lockCount_;
}

void TCanvas::Unlock() {
  if (lockCount_ <= 0) return;
  --lockCount_;
  if (TSurface* s = Surface()) s->Lock.unlock();
}

void TCanvas::Refresh() { state_ = 0; }
