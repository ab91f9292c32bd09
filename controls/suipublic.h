// Drawing and geometry routines the themed controls share: a parent's background
// under a see-through control, tiling and edge-preserving stretching of bitmaps, a
// two-colour frame around a windowed control, a window shape cut from a bitmap,
// point-in-rectangle tests, the desktop work area, placing a control, and text
// from a zero-terminated string. None keeps state; all run on the GUI thread.
#pragma once

#include <string>

#include <vcl/controls.h>
#include <vcl/graphics.h>

// Paints what lies under the control (its parent's background and painting) into
// the canvas, so that a see-through control can draw itself on top. Nothing
// without a parent.
void DoTrans(TCanvas* canvas, TWinControl* control);
// The background a picture-drawing control paints first: what lies under it when
// it is see-through, else the rectangle in its colour.
void PaintBackground(TCanvas* canvas, TWinControl* control, bool transparent, const TRect& rect);
// Tiles the picture from the canvas origin until it covers the rectangle's width
// and height, each reaching up to one picture beyond. An empty picture draws nothing.
void TileDraw(TCanvas* canvas, TPicture* picture, const TRect& rect);
// Stretches the bitmap into the rectangle keeping its two halves at their size:
// the middle column and the middle row are stretched. With `transparent` the
// result is drawn masked by its top-left pixel. An empty bitmap or rectangle
// draws nothing.
void SpitDraw(TBitmap* source, TCanvas* canvas, const TRect& rect, bool transparent);
// Draws the bitmap as three equal parts: the left and right at their size at the
// rectangle's ends, the middle stretched between them. With `transparent` the
// ends are masked by the source's top-left pixel.
void SpitDrawHorizontal(TBitmap* source, TCanvas* canvas, const TRect& rect, bool transparent);
// Two one-pixel frames on the control's whole window: the border colour outside,
// the inner colour inside it.
void DrawControlBorder(TWinControl* control, TColor borderColor, TColor innerColor);
// Shapes the window to the bitmap's pixels other than the transparent colour
// (the last column never belongs to the shape). The window owns the region.
void SetBitmapWindow(HWND window, TBitmap* bitmap, TColor transparentColor);
// Lets what lies under the control show through (WS_EX_TRANSPARENT, no csOpaque).
void SetWinControlTransparent(TWinControl* control);
// True when the point lies in the rectangle, all four edges counting as inside.
bool InRect(TPoint point, const TRect& rect);
bool InRect(int x, int y, const TRect& rect);
// The desktop's work area as the system reports it.
TRect GetWorkAreaRect();
void PlaceControl(TControl* control, TPoint point);
void PlaceControl(TControl* control, const TRect& rect);  // Left, Top, Width, Height in order
// The characters up to the terminator; a null pointer gives the empty string.
std::string PCharToStr(const char* text);

// Masked drawing as the themed controls do it: the picture's top-left pixel is
// the transparent colour. An empty or missing bitmap draws nothing.
void DrawTransparentBitmap(TCanvas* canvas, int x, int y, TBitmap* bitmap);
