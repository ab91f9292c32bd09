// Regions: sets of pixels with GDI's rules (a rectangle's right and bottom edges lie
// outside it). Stored as horizontal bands of sorted, disjoint spans.
#pragma once

#include <functional>
#include <vector>

#include <win32/export.h>
#include <win32/types.h>

// Region types returned by CombineRgn, GetRgnBox and OffsetRgn.
inline constexpr int ERROR = 0;
inline constexpr int NULLREGION = 1;
inline constexpr int SIMPLEREGION = 2;
inline constexpr int COMPLEXREGION = 3;
inline constexpr int RGN_ERROR = ERROR;

inline constexpr int RGN_AND = 1;
inline constexpr int RGN_OR = 2;
inline constexpr int RGN_XOR = 3;
inline constexpr int RGN_DIFF = 4;
inline constexpr int RGN_COPY = 5;

// Polygon fill modes.
inline constexpr int ALTERNATE = 1;
inline constexpr int WINDING = 2;

extern "C" {
// Coordinates are limited to +-2^27, as GDI limits them; larger ones are clamped.
QWIN32_API HRGN CreateRectRgn(int left, int top, int right, int bottom);
// Corners are quarters of an ellipse ellipseWidth wide and ellipseHeight high. As in
// GDI, the region ends one pixel before right and bottom: the rectangle it rounds is
// (left, top, right - 1, bottom - 1).
QWIN32_API HRGN CreateRoundRectRgn(int left, int top, int right, int bottom, int ellipseWidth,
                                   int ellipseHeight);
// A pixel belongs to the polygon when its top-left corner lies inside it; on a left or
// top boundary it is inside, on a right or bottom boundary outside.
QWIN32_API HRGN CreatePolygonRgn(const POINT* points, int count, int fillMode);
// dest receives src1 op src2 (src2 unused for RGN_COPY); dest may be src1 or src2.
QWIN32_API int CombineRgn(HRGN dest, HRGN src1, HRGN src2, int mode);
QWIN32_API BOOL PtInRegion(HRGN region, int x, int y);
QWIN32_API int GetRgnBox(HRGN region, RECT* box);
// ERROR, leaving the region as it was, when the move would leave the coordinate range.
QWIN32_API int OffsetRgn(HRGN region, int dx, int dy);
QWIN32_API BOOL EqualRgn(HRGN a, HRGN b);
// Deletes a region; other GDI objects go to the handler the GUI layer installs.
QWIN32_API BOOL DeleteObject(HGDIOBJ object);
}

// One run of pixels of a row: x0 inclusive, x1 exclusive.
struct RegionSpan {
  LONG row;
  LONG x0;
  LONG x1;
  bool operator==(const RegionSpan&) const = default;
};

// A band of rows [top, bottom) that share the same spans.
struct RegionBand {
  LONG top;
  LONG bottom;
  std::vector<std::pair<LONG, LONG>> spans;
};

// Every span of the region, row by row from the top, left to right within a row
// (empty for an invalid handle).
QWIN32_API std::vector<RegionSpan> GetRegionSpans(HRGN region);
// The same pixels grouped into bands: compact for large regions.
QWIN32_API std::vector<RegionBand> GetRegionBands(HRGN region);
// True when the handle is a live region.
QWIN32_API bool IsRegion(HGDIOBJ object);

// Handles DeleteObject for objects that are not regions (fonts, bitmaps, brushes of the
// GUI layer); returns the handler installed before.
using DeleteObjectHandler = std::function<BOOL(HGDIOBJ)>;
QWIN32_API DeleteObjectHandler SetDeleteObjectHandler(DeleteObjectHandler handler);
