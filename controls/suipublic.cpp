#include "suipublic.h"

#include <algorithm>

#include <vcl/imglist.h>
#include <vcl/winuser.h>
#include <win32/region.h>

void DoTrans(TCanvas* canvas, TWinControl* control) {
  if (!canvas || !control || !control->Parent()) return;
  TWinControl* parent = control->Parent();
  HDC dc = canvas->Handle();
  int saved = SaveDC(dc);
  POINT origin{0, 0};
  GetViewportOrgEx(dc, &origin);
  SetViewportOrgEx(dc, origin.x - control->Left(), origin.y - control->Top(), nullptr);
  IntersectClipRect(dc, 0, 0, parent->ClientWidth(), parent->ClientHeight());
  SendMessageA(parent->Handle(), WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
  SendMessageA(parent->Handle(), WM_PAINT, reinterpret_cast<WPARAM>(dc), 0);
  RestoreDC(dc, saved);
}

void PaintBackground(TCanvas* canvas, TWinControl* control, bool transparent, const TRect& rect) {
  if (transparent) {
    DoTrans(canvas, control);
    return;
  }
  canvas->Brush()->SetStyle(bsSolid);
  canvas->Brush()->SetColor(control->Color());
  canvas->FillRect(rect);
}

void TileDraw(TCanvas* canvas, TPicture* picture, const TRect& rect) {
  if (!canvas || !picture || !picture->Graphic()) return;
  const int w = picture->Width(), h = picture->Height();
  // An empty picture would never advance.
  if (w <= 0 || h <= 0) return;
  // In 64 bits, so that a rectangle near the coordinate limit cannot wrap the
  // count; tiles that would start beyond what the canvas can show are left out.
  const TRect clip = canvas->ClipRect();
  const long long W = static_cast<long long>(rect.Right) - rect.Left, H = static_cast<long long>(rect.Bottom) - rect.Top;
  const long long lastX = std::min(W + w, static_cast<long long>(clip.Right));
  const long long lastY = std::min(H + h, static_cast<long long>(clip.Bottom));
  for (long long x = 0; x < lastX; x += w)
    for (long long y = 0; y < lastY; y += h) canvas->Draw(static_cast<int>(x), static_cast<int>(y), picture->Graphic());
}

namespace {

// Copies src's rectangle into dest's, stretching when the sizes differ; empty or
// inverted rectangles copy nothing (a negative size would mirror the picture).
void CopyPart(TBitmap* dest, const TRect& to, TBitmap* src, const TRect& from) {
  if (to.IsEmpty() || from.IsEmpty()) return;
  StretchBlt(dest->Canvas()->Handle(), to.Left, to.Top, to.Width(), to.Height(), src->Canvas()->Handle(),
             from.Left, from.Top, from.Width(), from.Height(), SRCCOPY);
}

}  // namespace

void SpitDraw(TBitmap* source, TCanvas* canvas, const TRect& rect, bool transparent) {
  if (!source || !canvas || source->Empty()) return;
  const int sw = source->Width(), sh = source->Height();
  const int W = rect.Width(), H = rect.Height();
  if (sw <= 0 || sh <= 0 || W <= 0 || H <= 0) return;
  const int hw = sw / 2, hh = sh / 2;

  TBitmap strip(W, sh);
  TBitmap result(W, H);
  // The source's right part ends at the strip's right edge, its middle column is
  // stretched over the rest, and its left part goes over that.
  CopyPart(&strip, TRect(W - sw, 0, W, sh), source, TRect(0, 0, sw, sh));
  CopyPart(&strip, TRect(0, 0, W - hw, sh), source, TRect(hw, 0, hw + 1, sh));
  CopyPart(&strip, TRect(0, 0, hw, sh), source, TRect(0, 0, hw, sh));
  // Rows the same way: top part, bottom part, the middle row stretched between.
  CopyPart(&result, TRect(0, 0, W, hh), &strip, TRect(0, 0, W, hh));
  CopyPart(&result, TRect(0, H - hh - 1, W, H), &strip, TRect(0, hh, W, sh));
  CopyPart(&result, TRect(0, hh, W, H - hh - 1), &strip, TRect(0, hh, W, hh + 1));

  TImageList list(nullptr);
  list.SetWidth(W);
  list.SetHeight(H);
  if (transparent)
    list.AddMasked(&result, result.Canvas()->Pixels(0, 0));
  else
    list.Add(&result, nullptr);
  list.Draw(canvas, rect.Left, rect.Top, 0, true);
}

void SpitDrawHorizontal(TBitmap* source, TCanvas* canvas, const TRect& rect, bool transparent) {
  if (!source || !canvas || source->Empty()) return;
  const int iw = source->Width() / 3, ih = source->Height();
  if (iw <= 0 || ih <= 0) return;
  const TColor key = source->Canvas()->Pixels(0, 0);
  TImageList list(nullptr);
  list.SetWidth(iw);
  list.SetHeight(ih);
  if (transparent)
    list.AddMasked(source, key);
  else
    list.Add(source, nullptr);
  list.Draw(canvas, rect.Left, rect.Top, 0, true);
  list.Draw(canvas, rect.Right - iw, rect.Top, 2, true);
  TRect middle(rect.Left + iw, rect.Top, rect.Right - iw, rect.Bottom);
  if (middle.IsEmpty()) return;
  TBitmap part;
  list.GetBitmap(1, &part);
  canvas->StretchDraw(middle, &part);
}

void DrawControlBorder(TWinControl* control, TColor borderColor, TColor innerColor) {
  if (!control) return;
  HWND h = control->Handle();
  HDC dc = GetWindowDC(h);
  RECT r{0, 0, control->Width(), control->Height()};
  HBRUSH outer = CreateSolidBrush(static_cast<COLORREF>(ColorToRGB(borderColor)));
  HBRUSH inner = CreateSolidBrush(static_cast<COLORREF>(ColorToRGB(innerColor)));
  FrameRect(dc, &r, outer);
  InflateRect(&r, -1, -1);
  FrameRect(dc, &r, inner);
  DeleteObject(outer);
  DeleteObject(inner);
  ReleaseDC(h, dc);
}

void SetBitmapWindow(HWND window, TBitmap* bitmap, TColor transparentColor) {
  if (!bitmap) return;
  const TColor key = ColorToRGB(transparentColor);
  HRGN region = CreateRectRgn(0, 0, 0, 0);
  const int w = bitmap->Width(), h = bitmap->Height();
  for (int y = 0; y < h; ++y) {
    const std::uint32_t* row = bitmap->ScanLine(y);
    bool open = false;
    int start = 0, end = 0;
    for (int x = 0; x < w; ++x) {
      bool opaque = static_cast<TColor>(PixelToColorRef(row[x])) != key;
      if (opaque && x < w - 1) {
        if (!open) start = x;
        open = true;
        end = x;
      } else if (open) {
        HRGN run = CreateRectRgn(start, y, end + 1, y + 1);
        CombineRgn(region, region, run, RGN_OR);
        DeleteObject(run);
        open = false;
      }
    }
  }
  SetWindowRgn(window, region, TRUE);
}

void SetWinControlTransparent(TWinControl* control) {
  if (!control) return;
  control->SetControlStyle(control->ControlStyle() & ~csOpaque);
  HWND h = control->Handle();
  SetWindowLongA(h, GWL_EXSTYLE, GetWindowLongA(h, GWL_EXSTYLE) | WS_EX_TRANSPARENT);
}

bool InRect(int x, int y, const TRect& rect) {
  return x >= rect.Left && x <= rect.Right && y >= rect.Top && y <= rect.Bottom;
}

bool InRect(TPoint point, const TRect& rect) { return InRect(point.X, point.Y, rect); }

TRect GetWorkAreaRect() {
  RECT r{0, 0, 0, 0};
  SystemParametersInfoA(SPI_GETWORKAREA, 0, &r, 0);
  return TRect(r);
}

void PlaceControl(TControl* control, TPoint point) {
  if (!control) return;
  control->SetLeft(point.X);
  control->SetTop(point.Y);
}

void PlaceControl(TControl* control, const TRect& rect) {
  if (!control) return;
  control->SetLeft(rect.Left);
  control->SetTop(rect.Top);
  control->SetWidth(rect.Right - rect.Left);
  control->SetHeight(rect.Bottom - rect.Top);
}

std::string PCharToStr(const char* text) { return text ? std::string(text) : std::string(); }

void DrawTransparentBitmap(TCanvas* canvas, int x, int y, TBitmap* bitmap) {
  if (!canvas || !bitmap || bitmap->Empty()) return;
  const int w = bitmap->Width(), h = bitmap->Height();
  TransparentBlt(canvas->Handle(), x, y, w, h, bitmap->Canvas()->Handle(), 0, 0, w, h,
                 static_cast<UINT>(ColorToRGB(bitmap->Canvas()->Pixels(0, 0))));
}
