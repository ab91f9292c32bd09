// Rectangles: pure helpers on RECT and POINT. A rectangle's right and bottom edges
// lie outside it; a rectangle with no width or height is empty.
#pragma once

#include <win32/export.h>
#include <win32/types.h>

QWIN32_API BOOL PtInRect(const RECT* rect, POINT point);
QWIN32_API BOOL SetRect(RECT* rect, int left, int top, int right, int bottom);
QWIN32_API BOOL SetRectEmpty(RECT* rect);
QWIN32_API BOOL IsRectEmpty(const RECT* rect);
QWIN32_API BOOL OffsetRect(RECT* rect, int dx, int dy);
QWIN32_API BOOL InflateRect(RECT* rect, int dx, int dy);
// An empty intersection leaves dest all zeros and answers FALSE.
QWIN32_API BOOL IntersectRect(RECT* dest, const RECT* a, const RECT* b);
// Empty rectangles take no part; answers FALSE when the union is empty.
QWIN32_API BOOL UnionRect(RECT* dest, const RECT* a, const RECT* b);
QWIN32_API BOOL EqualRect(const RECT* a, const RECT* b);
QWIN32_API BOOL CopyRect(RECT* dest, const RECT* src);
