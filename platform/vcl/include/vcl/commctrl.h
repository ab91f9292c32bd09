// Image lists: fixed-size images with optional masks, drawn transparently, blended
// or in a greyed (embossed) disabled look. TCustomImageList (<vcl/imglist.h>) wraps one.
#pragma once

#include <vcl/export.h>
#include <vcl/gdi.h>
#include <win32/types.h>

struct _IMAGELIST;
using HIMAGELIST = _IMAGELIST*;

inline constexpr UINT ILC_MASK = 0x0001;
inline constexpr UINT ILC_COLOR32 = 0x0020;
inline constexpr UINT ILD_NORMAL = 0x0000;
inline constexpr UINT ILD_TRANSPARENT = 0x0001;
inline constexpr UINT ILD_BLEND25 = 0x0002;
inline constexpr UINT ILD_BLEND50 = 0x0004;
inline constexpr UINT ILD_MASK = 0x0010;
inline constexpr UINT ILD_IMAGE = 0x0020;
inline constexpr UINT ILD_FOCUS = ILD_BLEND25;
inline constexpr UINT ILD_SELECTED = ILD_BLEND50;
inline constexpr COLORREF CLR_NONE = 0xFFFFFFFFu;
inline constexpr COLORREF CLR_DEFAULT = 0xFF000000u;

QVCL_API HIMAGELIST ImageList_Create(int cx, int cy, UINT flags, int initial, int grow);
QVCL_API BOOL ImageList_Destroy(HIMAGELIST list);
QVCL_API int ImageList_GetImageCount(HIMAGELIST list);
QVCL_API BOOL ImageList_GetIconSize(HIMAGELIST list, int* cx, int* cy);
// Changing the size removes every image.
QVCL_API BOOL ImageList_SetIconSize(HIMAGELIST list, int cx, int cy);
QVCL_API COLORREF ImageList_SetBkColor(HIMAGELIST list, COLORREF color);
QVCL_API COLORREF ImageList_GetBkColor(HIMAGELIST list);
// A strip wider than the image width adds width / cx images (the rest is unused);
// answers the index of the first image added, or -1.
QVCL_API int ImageList_Add(HIMAGELIST list, HBITMAP image, HBITMAP mask);
// Pixels of colour `mask` become transparent.
QVCL_API int ImageList_AddMasked(HIMAGELIST list, HBITMAP image, COLORREF mask);
QVCL_API BOOL ImageList_Remove(HIMAGELIST list, int index);  // -1 removes all
// bk: CLR_NONE draws masked, CLR_DEFAULT the list's background colour, else that
// colour behind the image; dx/dy 0 mean the whole image. The class library's clNone
// (0x1FFFFFFF) is taken as CLR_NONE and clDefault (0x20000000) as CLR_DEFAULT.
QVCL_API BOOL ImageList_DrawEx(HIMAGELIST list, int index, HDC dc, int x, int y, int dx, int dy,
                      COLORREF bk, COLORREF fg, UINT style);
QVCL_API BOOL ImageList_Draw(HIMAGELIST list, int index, HDC dc, int x, int y, UINT style);
// The greyed look of a disabled image: its dark pixels etched in the 3-D highlight
// and shadow colours.
QVCL_API BOOL ImageList_DrawDisabled(HIMAGELIST list, int index, HDC dc, int x, int y);
// Copies image `index` (pixels, and its mask as white = transparent) into bitmaps of
// the image size; either may be null.
QVCL_API BOOL ImageList_GetImageBitmaps(HIMAGELIST list, int index, HBITMAP image, HBITMAP mask);
