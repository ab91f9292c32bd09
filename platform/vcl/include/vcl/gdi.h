// Device contexts and the GDI calls the program and its controls make, drawn on our
// 32-bit surfaces. An HDC is an opaque handle; TCanvas wraps one (TCanvas::Handle),
// and CanvasFromDC maps a handle back to the canvas that owns it.
//
// Coordinates given to these calls are logical; the viewport origin maps logical
// (0, 0) to a device pixel, and the clip is kept in device pixels (it does not move
// when the origin moves later, as in GDI).
#pragma once

#include <string>
#include <vector>

#include <vcl/export.h>
#include <vcl/surface.h>
#include <win32/region.h>
#include <win32/types.h>

class TCanvas;

// --- Raster operations (ternary codes). Any of the 256 ternary codes works with
// BitBlt/StretchBlt/PatBlt; these are the named ones.
inline constexpr DWORD SRCCOPY = 0x00CC0020;
inline constexpr DWORD SRCPAINT = 0x00EE0086;
inline constexpr DWORD SRCAND = 0x008800C6;
inline constexpr DWORD SRCINVERT = 0x00660046;
inline constexpr DWORD SRCERASE = 0x00440328;
inline constexpr DWORD NOTSRCCOPY = 0x00330008;
inline constexpr DWORD NOTSRCERASE = 0x001100A6;
inline constexpr DWORD MERGECOPY = 0x00C000CA;
inline constexpr DWORD MERGEPAINT = 0x00BB0226;
inline constexpr DWORD PATCOPY = 0x00F00021;
inline constexpr DWORD PATPAINT = 0x00FB0A09;
inline constexpr DWORD PATINVERT = 0x005A0049;
inline constexpr DWORD DSTINVERT = 0x00550009;
inline constexpr DWORD BLACKNESS = 0x00000042;
inline constexpr DWORD WHITENESS = 0x00FF0062;

// Binary raster operations of pens (SetROP2).
inline constexpr int R2_BLACK = 1, R2_NOTMERGEPEN = 2, R2_MASKNOTPEN = 3, R2_NOTCOPYPEN = 4,
                     R2_MASKPENNOT = 5, R2_NOT = 6, R2_XORPEN = 7, R2_NOTMASKPEN = 8,
                     R2_MASKPEN = 9, R2_NOTXORPEN = 10, R2_NOP = 11, R2_MERGENOTPEN = 12,
                     R2_COPYPEN = 13, R2_MERGEPENNOT = 14, R2_MERGEPEN = 15, R2_WHITE = 16;

// Background modes.
inline constexpr int TRANSPARENT = 1;
inline constexpr int OPAQUE = 2;

// DrawText flags.
inline constexpr UINT DT_TOP = 0x0000, DT_LEFT = 0x0000, DT_CENTER = 0x0001, DT_RIGHT = 0x0002,
                      DT_VCENTER = 0x0004, DT_BOTTOM = 0x0008, DT_WORDBREAK = 0x0010,
                      DT_SINGLELINE = 0x0020, DT_EXPANDTABS = 0x0040, DT_NOCLIP = 0x0100,
                      DT_CALCRECT = 0x0400, DT_NOPREFIX = 0x0800, DT_HIDEPREFIX = 0x00100000,
                      DT_END_ELLIPSIS = 0x8000;
// With DT_EXPANDTABS a tab moves to the next stop, every 8 average character widths.

// Font weights and LOGFONTA (60 bytes, the Windows layout).
inline constexpr LONG FW_NORMAL = 400;
inline constexpr LONG FW_BOLD = 700;
inline constexpr BYTE DEFAULT_CHARSET = 1;
inline constexpr int LF_FACESIZE = 32;
struct LOGFONTA {
  LONG lfHeight;
  LONG lfWidth;
  LONG lfEscapement;   // tenths of a degree, counter-clockwise
  LONG lfOrientation;
  LONG lfWeight;
  BYTE lfItalic;
  BYTE lfUnderline;
  BYTE lfStrikeOut;
  BYTE lfCharSet;
  BYTE lfOutPrecision;
  BYTE lfClipPrecision;
  BYTE lfQuality;
  BYTE lfPitchAndFamily;
  char lfFaceName[LF_FACESIZE];
};
static_assert(sizeof(LOGFONTA) == 60);

struct TEXTMETRICA {
  LONG tmHeight;
  LONG tmAscent;
  LONG tmDescent;
  LONG tmInternalLeading;
  LONG tmExternalLeading;
  LONG tmAveCharWidth;
  LONG tmMaxCharWidth;
};

// What GetObjectA answers for a bitmap.
struct BITMAP {
  LONG bmType;
  LONG bmWidth;
  LONG bmHeight;
  LONG bmWidthBytes;
  WORD bmPlanes;
  WORD bmBitsPixel;
  void* bmBits;
};

// System colour indexes (GetSysColor), classic Windows values.
inline constexpr int COLOR_SCROLLBAR = 0, COLOR_BACKGROUND = 1, COLOR_ACTIVECAPTION = 2,
                     COLOR_INACTIVECAPTION = 3, COLOR_MENU = 4, COLOR_WINDOW = 5,
                     COLOR_WINDOWFRAME = 6, COLOR_MENUTEXT = 7, COLOR_WINDOWTEXT = 8,
                     COLOR_CAPTIONTEXT = 9, COLOR_ACTIVEBORDER = 10, COLOR_INACTIVEBORDER = 11,
                     COLOR_APPWORKSPACE = 12, COLOR_HIGHLIGHT = 13, COLOR_HIGHLIGHTTEXT = 14,
                     COLOR_BTNFACE = 15, COLOR_BTNSHADOW = 16, COLOR_GRAYTEXT = 17,
                     COLOR_BTNTEXT = 18, COLOR_INACTIVECAPTIONTEXT = 19, COLOR_BTNHIGHLIGHT = 20,
                     COLOR_3DDKSHADOW = 21, COLOR_3DLIGHT = 22, COLOR_INFOTEXT = 23,
                     COLOR_INFOBK = 24, COLOR_HOTLIGHT = 26, COLOR_GRADIENTACTIVECAPTION = 27,
                     COLOR_GRADIENTINACTIVECAPTION = 28, COLOR_MENUHILIGHT = 29,
                     COLOR_MENUBAR = 30;
QVCL_API DWORD GetSysColor(int index);

// --- Device contexts -------------------------------------------------------------
// A device context drawing on a surface (a window's, owned by the caller). The
// surface must outlive the context. Free it with DeleteDC.
QVCL_API HDC CreateSurfaceDC(TSurface* surface);
// A memory device context; select a bitmap (TBitmap::Handle) into it to draw there.
QVCL_API HDC CreateCompatibleDC(HDC reference);
QVCL_API BOOL DeleteDC(HDC dc);
// The surface a context draws on (null for a memory DC without a bitmap).
QVCL_API TSurface* SurfaceOfDC(HDC dc);
QVCL_API void SetDCSurface(HDC dc, TSurface* surface);
// Canvas that owns or has adopted the context (null when none).
QVCL_API TCanvas* CanvasFromDC(HDC dc);

// Selects an HPEN, HBRUSH, HFONT or HBITMAP (memory DCs only) handle; answers the
// previous one of that kind. Handles of TPen/TBrush/TFont/TBitmap stay owned by those
// objects; handles made by the Create... calls are freed with DeleteObject.
QVCL_API HGDIOBJ SelectObject(HDC dc, HGDIOBJ object);
QVCL_API HBRUSH CreateSolidBrush(COLORREF color);
QVCL_API HPEN CreatePen(int style, int width, COLORREF color);  // style: PS_SOLID 0 ... PS_NULL 5
QVCL_API HBITMAP CreateCompatibleBitmap(HDC reference, int width, int height);
inline constexpr int PS_SOLID = 0, PS_DASH = 1, PS_DOT = 2, PS_DASHDOT = 3, PS_DASHDOTDOT = 4,
                     PS_NULL = 5, PS_INSIDEFRAME = 6;
QVCL_API int GetObjectA(HGDIOBJ object, int size, void* buffer);
// A font handle owned by the caller until it is given to TFont::SetHandle, which
// takes it over (the usual way: Canvas->Font()->SetHandle(CreateFontIndirectA(&lf))).
QVCL_API HFONT CreateFontIndirectA(const LOGFONTA* logfont);

QVCL_API int SaveDC(HDC dc);
QVCL_API BOOL RestoreDC(HDC dc, int saved);  // saved < 0: relative to the newest state
QVCL_API BOOL SetViewportOrgEx(HDC dc, int x, int y, POINT* previous);
QVCL_API BOOL GetViewportOrgEx(HDC dc, POINT* origin);
QVCL_API BOOL OffsetViewportOrgEx(HDC dc, int dx, int dy, POINT* previous);
// Clip calls answer the kind of the resulting clip (NULLREGION, SIMPLEREGION,
// COMPLEXREGION of <win32/region.h>; ERROR on a bad handle).
QVCL_API int IntersectClipRect(HDC dc, int left, int top, int right, int bottom);
QVCL_API int ExcludeClipRect(HDC dc, int left, int top, int right, int bottom);
// Clip to a copy of the region (device coordinates); a null region removes the clip.
QVCL_API int SelectClipRgn(HDC dc, HRGN region);
// Clip to a set of device-coordinate rectangles (for example a region's spans);
// an empty set clips everything away.
QVCL_API void SetDeviceClipRects(HDC dc, const std::vector<RECT>& rects);
// Removes any clip: the whole surface is drawable again.
QVCL_API void ResetDeviceClip(HDC dc);
QVCL_API int GetClipBox(HDC dc, RECT* box);  // in logical coordinates

QVCL_API COLORREF SetTextColor(HDC dc, COLORREF color);
QVCL_API COLORREF GetTextColor(HDC dc);
QVCL_API COLORREF SetBkColor(HDC dc, COLORREF color);
QVCL_API COLORREF GetBkColor(HDC dc);
QVCL_API int SetBkMode(HDC dc, int mode);
QVCL_API int GetBkMode(HDC dc);
QVCL_API int SetROP2(HDC dc, int mode);
QVCL_API int GetROP2(HDC dc);

// --- Drawing ---------------------------------------------------------------------
QVCL_API COLORREF SetPixel(HDC dc, int x, int y, COLORREF color);
QVCL_API COLORREF GetPixel(HDC dc, int x, int y);  // CLR_INVALID outside the surface or clip
inline constexpr COLORREF CLR_INVALID = 0xFFFFFFFFu;
QVCL_API BOOL MoveToEx(HDC dc, int x, int y, POINT* previous);
QVCL_API BOOL LineTo(HDC dc, int x, int y);
QVCL_API BOOL Polyline(HDC dc, const POINT* points, int count);
QVCL_API BOOL Polygon(HDC dc, const POINT* points, int count);  // alternate fill
QVCL_API BOOL Rectangle(HDC dc, int left, int top, int right, int bottom);
QVCL_API BOOL RoundRect(HDC dc, int left, int top, int right, int bottom, int width, int height);
QVCL_API BOOL Ellipse(HDC dc, int left, int top, int right, int bottom);
QVCL_API int FillRect(HDC dc, const RECT* rect, HBRUSH brush);
QVCL_API int FrameRect(HDC dc, const RECT* rect, HBRUSH brush);
QVCL_API BOOL DrawFocusRect(HDC dc, const RECT* rect);
QVCL_API BOOL PatBlt(HDC dc, int x, int y, int width, int height, DWORD rop);
QVCL_API BOOL BitBlt(HDC dest, int x, int y, int width, int height, HDC src, int srcX, int srcY, DWORD rop);
// Negative widths or heights (of either side) mirror the picture.
QVCL_API BOOL StretchBlt(HDC dest, int x, int y, int width, int height, HDC src, int srcX, int srcY,
                int srcWidth, int srcHeight, DWORD rop);
// Copies like StretchBlt with SRCCOPY, leaving out source pixels of colour `transparent`.
QVCL_API BOOL TransparentBlt(HDC dest, int x, int y, int width, int height, HDC src, int srcX, int srcY,
                    int srcWidth, int srcHeight, UINT transparent);

// --- Text --------------------------------------------------------------------------
QVCL_API BOOL TextOutA(HDC dc, int x, int y, const char* text, int length);
QVCL_API BOOL GetTextExtentPoint32A(HDC dc, const char* text, int length, SIZE* size);
QVCL_API BOOL GetTextMetricsA(HDC dc, TEXTMETRICA* metrics);
// Answers the height of the text drawn (or measured with DT_CALCRECT, which also
// sets rect's right and bottom). length -1: up to the terminator.
QVCL_API int DrawTextA(HDC dc, const char* text, int length, RECT* rect, UINT format);
