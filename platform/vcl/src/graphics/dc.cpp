// Device contexts and GDI objects: creation, selection, state, clipping, shapes
// and blits. Text calls live in text.cpp.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <mutex>
#include <unordered_set>
#include <utility>

#include <win32/region.h>

#include "gdi_internal.h"

namespace quill_gdi {

namespace {
// Never destroyed: canvases, bitmaps and their contexts may be freed by other
// objects' destructors at exit, after this file's statics would have gone, and
// must still find and free their handles then.
std::mutex& RegistryMutex() {
  static std::mutex* m = new std::mutex;
  return *m;
}
std::unordered_set<const void*>& Registry() {
  static auto* r = new std::unordered_set<const void*>;
  return *r;
}
}  // namespace

void RegisterObject(Header* h) {
  InstallDeleteHandler();
  std::lock_guard<std::mutex> lock(RegistryMutex());
  Registry().insert(h);
}

void UnregisterObject(Header* h) {
  std::lock_guard<std::mutex> lock(RegistryMutex());
  Registry().erase(h);
}

Header* Lookup(const void* handle) {
  if (!handle) return nullptr;
  std::lock_guard<std::mutex> lock(RegistryMutex());
  if (!Registry().count(handle)) return nullptr;
  return static_cast<Header*>(const_cast<void*>(handle));
}

namespace {
template <typename T>
BOOL Free(Header* h) {
  UnregisterObject(h);
  delete reinterpret_cast<T*>(h);
  return TRUE;
}

BOOL DeleteOurs(HGDIOBJ object) {
  Header* h = Lookup(object);
  if (!h || h->stock || h->ownedByObject) return FALSE;
  switch (h->kind) {
    case Kind::Pen:
      return Free<HPEN__>(h);
    case Kind::Brush:
      return Free<HBRUSH__>(h);
    case Kind::Font:
      return Free<HFONT__>(h);
    case Kind::Bitmap:
      // Still selected into a DC: refused, as GDI does.
      if (reinterpret_cast<HBITMAP__*>(h)->selectedInto) return FALSE;
      return Free<HBITMAP__>(h);
    case Kind::DC:
      return FALSE;
  }
  return FALSE;
}
}  // namespace

void InstallDeleteHandler() {
  static std::once_flag once;
  std::call_once(once, [] {
    auto previous = std::make_shared<DeleteObjectHandler>();
    *previous = SetDeleteObjectHandler([previous](HGDIOBJ object) -> BOOL {
      if (Lookup(object)) return DeleteOurs(object);
      return *previous ? (*previous)(object) : FALSE;
    });
  });
}

HDC CheckDC(HDC dc) {
  Header* h = Lookup(dc);
  return h && h->kind == Kind::DC ? dc : nullptr;
}

LOGFONTA DefaultLogFont() {
  LOGFONTA lf{};
  lf.lfHeight = -11;
  lf.lfWeight = FW_NORMAL;
  lf.lfCharSet = DEFAULT_CHARSET;
  std::strcpy(lf.lfFaceName, "MS Sans Serif");
  return lf;
}
PenDesc StockPen() { return PenDesc{PS_SOLID, 1, 0x000000}; }
BrushDesc StockBrush() { return BrushDesc{BrushKind::Solid, 0, 0xFFFFFF, nullptr}; }

}  // namespace quill_gdi

using namespace quill_gdi;

namespace {

HDC NewDC(TSurface* surface, bool memory) {
  auto* dc = new HDC__;
  dc->surface = surface;
  dc->memory = memory;
  dc->s.pen = StockPen();
  dc->s.brush = StockBrush();
  dc->s.font = DefaultLogFont();
  RegisterObject(&dc->h);
  return dc;
}

template <typename T>
T* As(HGDIOBJ object, Kind kind) {
  Header* h = Lookup(object);
  return h && h->kind == kind ? reinterpret_cast<T*>(h) : nullptr;
}

inline int ClipKind(const HDC__* dc) {
  if (!dc->s.clipped) return SIMPLEREGION;
  if (dc->s.clip.empty()) return NULLREGION;
  return dc->s.clip.size() == 1 ? SIMPLEREGION : COMPLEXREGION;
}

// The clip as rectangles (the surface bounds when not clipped).
std::vector<RECT> CurrentClip(const HDC__* dc) {
  if (dc->s.clipped) return dc->s.clip;
  if (!dc->surface) return {};
  return {RECT{0, 0, dc->surface->Width, dc->surface->Height}};
}

void SubtractRect(const RECT& a, const RECT& cut, std::vector<RECT>& out) {
  RECT i{std::max(a.left, cut.left), std::max(a.top, cut.top), std::min(a.right, cut.right),
         std::min(a.bottom, cut.bottom)};
  if (i.left >= i.right || i.top >= i.bottom) {
    out.push_back(a);
    return;
  }
  if (a.top < i.top) out.push_back(RECT{a.left, a.top, a.right, i.top});
  if (i.bottom < a.bottom) out.push_back(RECT{a.left, i.bottom, a.right, a.bottom});
  if (a.left < i.left) out.push_back(RECT{a.left, i.top, i.left, i.bottom});
  if (i.right < a.right) out.push_back(RECT{i.right, i.top, a.right, i.bottom});
}

void Normalize(int& a, int& b) {
  if (a > b) std::swap(a, b);
}

// A rectangle in logical coordinates, ordered and moved to device coordinates.
RECT DeviceRect(const HDC__* dc, int left, int top, int right, int bottom) {
  Normalize(left, right);
  Normalize(top, bottom);
  return RECT{left + dc->s.origin.x, top + dc->s.origin.y, right + dc->s.origin.x, bottom + dc->s.origin.y};
}

int SetClip(HDC__* dc, std::vector<RECT> rects) {
  dc->s.clip = std::move(rects);
  dc->s.clipped = true;
  return ClipKind(dc);
}

}  // namespace

// --- Contexts ---------------------------------------------------------------------

HDC CreateSurfaceDC(TSurface* surface) { return NewDC(surface, false); }

HDC CreateCompatibleDC(HDC) { return NewDC(nullptr, true); }

BOOL DeleteDC(HDC dc) {
  if (!CheckDC(dc)) return FALSE;
  if (dc->bitmap) {
    if (auto* b = As<HBITMAP__>(dc->bitmap, Kind::Bitmap)) b->selectedInto = nullptr;
  }
  UnregisterObject(&dc->h);
  delete dc;
  return TRUE;
}

TSurface* SurfaceOfDC(HDC dc) { return CheckDC(dc) ? dc->surface : nullptr; }

void SetDCSurface(HDC dc, TSurface* surface) {
  if (CheckDC(dc)) dc->surface = surface;
}

TCanvas* CanvasFromDC(HDC dc) { return CheckDC(dc) ? dc->canvas : nullptr; }

// --- Objects ----------------------------------------------------------------------

HGDIOBJ SelectObject(HDC dc, HGDIOBJ object) {
  if (!CheckDC(dc)) return nullptr;
  Header* h = Lookup(object);
  if (!h) return nullptr;
  switch (h->kind) {
    case Kind::Pen: {
      auto* p = reinterpret_cast<HPEN__*>(h);
      dc->s.pen = p->desc;
      return std::exchange(dc->s.penHandle, p);
    }
    case Kind::Brush: {
      auto* b = reinterpret_cast<HBRUSH__*>(h);
      dc->s.brush = b->desc;
      return std::exchange(dc->s.brushHandle, b);
    }
    case Kind::Font: {
      auto* f = reinterpret_cast<HFONT__*>(h);
      dc->s.font = f->lf;
      return std::exchange(dc->s.fontHandle, f);
    }
    case Kind::Bitmap: {
      auto* b = reinterpret_cast<HBITMAP__*>(h);
      if (!dc->memory) return nullptr;
      if (b->selectedInto && b->selectedInto != dc) return nullptr;
      HBITMAP old = dc->bitmap;
      if (auto* ob = As<HBITMAP__>(old, Kind::Bitmap)) ob->selectedInto = nullptr;
      b->selectedInto = dc;
      dc->bitmap = b;
      dc->surface = b->surface;
      return old;
    }
    case Kind::DC:
      return nullptr;
  }
  return nullptr;
}

HBRUSH CreateSolidBrush(COLORREF color) {
  auto* b = new HBRUSH__;
  b->desc = BrushDesc{BrushKind::Solid, 0, color & 0xFFFFFF, nullptr};
  RegisterObject(&b->h);
  return b;
}

HPEN CreatePen(int style, int width, COLORREF color) {
  auto* p = new HPEN__;
  p->desc = PenDesc{style, width < 1 ? 1 : width, color & 0xFFFFFF};
  RegisterObject(&p->h);
  return p;
}

HBITMAP CreateCompatibleBitmap(HDC, int width, int height) {
  if (width < 0 || height < 0 || static_cast<long long>(width) * height > (1LL << 26)) return nullptr;
  auto* b = new HBITMAP__;
  b->own = std::make_unique<TSurface>(width, height, 0);
  b->surface = b->own.get();
  RegisterObject(&b->h);
  return b;
}

HFONT CreateFontIndirectA(const LOGFONTA* logfont) {
  if (!logfont) return nullptr;
  auto* f = new HFONT__;
  f->lf = *logfont;
  f->lf.lfFaceName[LF_FACESIZE - 1] = '\0';
  RegisterObject(&f->h);
  return f;
}

int GetObjectA(HGDIOBJ object, int size, void* buffer) {
  Header* h = Lookup(object);
  if (!h) return 0;
  if (h->kind == Kind::Font) {
    if (!buffer) return sizeof(LOGFONTA);
    int n = std::min<int>(size, sizeof(LOGFONTA));
    if (n <= 0) return 0;
    std::memcpy(buffer, &reinterpret_cast<HFONT__*>(h)->lf, n);
    return n;
  }
  if (h->kind == Kind::Bitmap) {
    auto* b = reinterpret_cast<HBITMAP__*>(h);
    BITMAP bm{0, b->surface ? b->surface->Width : 0, b->surface ? b->surface->Height : 0, 0, 1,
              static_cast<WORD>(b->surface && b->surface->Monochrome ? 1 : 32), nullptr};
    bm.bmWidthBytes = bm.bmBitsPixel == 1 ? ((bm.bmWidth + 15) / 16) * 2 : bm.bmWidth * 4;
    if (!buffer) return sizeof(BITMAP);
    int n = std::min<int>(size, sizeof(BITMAP));
    if (n <= 0) return 0;
    std::memcpy(buffer, &bm, n);
    return n;
  }
  return 0;
}

// --- State ------------------------------------------------------------------------

int SaveDC(HDC dc) {
  if (!CheckDC(dc)) return 0;
  dc->saved.push_back(dc->s);
  return static_cast<int>(dc->saved.size());
}

BOOL RestoreDC(HDC dc, int saved) {
  if (!CheckDC(dc)) return FALSE;
  int n = static_cast<int>(dc->saved.size());
  int level = saved < 0 ? n + 1 + saved : saved;
  if (level < 1 || level > n) return FALSE;
  dc->s = dc->saved[level - 1];
  dc->saved.resize(level - 1);
  return TRUE;
}

BOOL SetViewportOrgEx(HDC dc, int x, int y, POINT* previous) {
  if (!CheckDC(dc)) return FALSE;
  if (previous) *previous = dc->s.origin;
  dc->s.origin = POINT{x, y};
  return TRUE;
}

BOOL GetViewportOrgEx(HDC dc, POINT* origin) {
  if (!CheckDC(dc) || !origin) return FALSE;
  *origin = dc->s.origin;
  return TRUE;
}

BOOL OffsetViewportOrgEx(HDC dc, int dx, int dy, POINT* previous) {
  if (!CheckDC(dc)) return FALSE;
  if (previous) *previous = dc->s.origin;
  dc->s.origin.x += dx;
  dc->s.origin.y += dy;
  return TRUE;
}

int IntersectClipRect(HDC dc, int left, int top, int right, int bottom) {
  if (!CheckDC(dc)) return ERROR;
  RECT c = DeviceRect(dc, left, top, right, bottom);
  std::vector<RECT> out;
  for (const RECT& r : CurrentClip(dc)) {
    RECT i{std::max(r.left, c.left), std::max(r.top, c.top), std::min(r.right, c.right),
           std::min(r.bottom, c.bottom)};
    if (i.left < i.right && i.top < i.bottom) out.push_back(i);
  }
  return SetClip(dc, std::move(out));
}

int ExcludeClipRect(HDC dc, int left, int top, int right, int bottom) {
  if (!CheckDC(dc)) return ERROR;
  RECT c = DeviceRect(dc, left, top, right, bottom);
  std::vector<RECT> out;
  for (const RECT& r : CurrentClip(dc)) SubtractRect(r, c, out);
  return SetClip(dc, std::move(out));
}

int SelectClipRgn(HDC dc, HRGN region) {
  if (!CheckDC(dc)) return ERROR;
  if (!region) {
    ResetDeviceClip(dc);
    return SIMPLEREGION;
  }
  if (!IsRegion(region)) return ERROR;
  std::vector<RECT> rects;
  for (const RegionBand& band : GetRegionBands(region))
    for (const auto& span : band.spans) rects.push_back(RECT{span.first, band.top, span.second, band.bottom});
  return SetClip(dc, std::move(rects));
}

void SetDeviceClipRects(HDC dc, const std::vector<RECT>& rects) {
  if (!CheckDC(dc)) return;
  dc->s.clip.clear();
  for (RECT r : rects) {
    Normalize(r.left, r.right);
    Normalize(r.top, r.bottom);
    if (r.left < r.right && r.top < r.bottom) dc->s.clip.push_back(r);
  }
  dc->s.clipped = true;
}

void ResetDeviceClip(HDC dc) {
  if (!CheckDC(dc)) return;
  dc->s.clipped = false;
  dc->s.clip.clear();
}

int GetClipBox(HDC dc, RECT* box) {
  if (!CheckDC(dc) || !box) return ERROR;
  std::vector<RECT> clip = CurrentClip(dc);
  if (clip.empty()) {
    *box = RECT{0, 0, 0, 0};
    return NULLREGION;
  }
  RECT b = clip[0];
  for (const RECT& r : clip) {
    b.left = std::min(b.left, r.left);
    b.top = std::min(b.top, r.top);
    b.right = std::max(b.right, r.right);
    b.bottom = std::max(b.bottom, r.bottom);
  }
  *box = RECT{b.left - dc->s.origin.x, b.top - dc->s.origin.y, b.right - dc->s.origin.x,
              b.bottom - dc->s.origin.y};
  return clip.size() == 1 ? SIMPLEREGION : COMPLEXREGION;
}

COLORREF SetTextColor(HDC dc, COLORREF color) {
  return CheckDC(dc) ? std::exchange(dc->s.textColor, color & 0xFFFFFF) : CLR_INVALID;
}
COLORREF GetTextColor(HDC dc) { return CheckDC(dc) ? dc->s.textColor : CLR_INVALID; }
COLORREF SetBkColor(HDC dc, COLORREF color) {
  return CheckDC(dc) ? std::exchange(dc->s.bkColor, color & 0xFFFFFF) : CLR_INVALID;
}
COLORREF GetBkColor(HDC dc) { return CheckDC(dc) ? dc->s.bkColor : CLR_INVALID; }
int SetBkMode(HDC dc, int mode) {
  if (!CheckDC(dc) || (mode != TRANSPARENT && mode != OPAQUE)) return 0;
  return std::exchange(dc->s.bkMode, mode);
}
int GetBkMode(HDC dc) { return CheckDC(dc) ? dc->s.bkMode : 0; }
int SetROP2(HDC dc, int mode) {
  if (!CheckDC(dc) || mode < R2_BLACK || mode > R2_WHITE) return 0;
  return std::exchange(dc->s.rop2, mode);
}
int GetROP2(HDC dc) { return CheckDC(dc) ? dc->s.rop2 : 0; }

// --- Shapes -----------------------------------------------------------------------

COLORREF SetPixel(HDC dc, int x, int y, COLORREF color) {
  if (!CheckDC(dc)) return CLR_INVALID;
  int dx = x + dc->s.origin.x, dy = y + dc->s.origin.y;
  if (!Visible(dc, dx, dy)) return CLR_INVALID;
  std::uint32_t p = ColorRefToPixel(color);
  if (dc->surface->Monochrome) p = (color & 0xFFFFFF) == dc->s.bkColor || color == 0xFFFFFF ? 0xFFFFFF : 0;
  dc->surface->Set(dx, dy, p);
  return PixelToColorRef(p);
}

COLORREF GetPixel(HDC dc, int x, int y) {
  if (!CheckDC(dc)) return CLR_INVALID;
  int dx = x + dc->s.origin.x, dy = y + dc->s.origin.y;
  if (!Visible(dc, dx, dy)) return CLR_INVALID;
  return PixelToColorRef(dc->surface->At(dx, dy));
}

BOOL MoveToEx(HDC dc, int x, int y, POINT* previous) {
  if (!CheckDC(dc)) return FALSE;
  if (previous) *previous = dc->s.pos;
  dc->s.pos = POINT{x, y};
  return TRUE;
}

BOOL LineTo(HDC dc, int x, int y) {
  if (!CheckDC(dc)) return FALSE;
  PenLine(dc, dc->s.pos.x + dc->s.origin.x, dc->s.pos.y + dc->s.origin.y, x + dc->s.origin.x,
          y + dc->s.origin.y);
  dc->s.pos = POINT{x, y};
  return TRUE;
}

BOOL Polyline(HDC dc, const POINT* points, int count) {
  if (!CheckDC(dc) || !points || count < 2) return FALSE;
  const int ox = dc->s.origin.x, oy = dc->s.origin.y;
  for (int i = 0; i + 1 < count; ++i)
    PenLine(dc, points[i].x + ox, points[i].y + oy, points[i + 1].x + ox, points[i + 1].y + oy);
  return TRUE;
}

namespace {
inline long long FloorDiv(long long a, long long b) {
  long long q = a / b;
  if ((a % b != 0) && ((a < 0) != (b < 0))) --q;
  return q;
}
inline long long CeilDiv(long long a, long long b) { return -FloorDiv(-a, b); }
}  // namespace

// Alternate fill: a pixel is inside when its top-left corner is (left and top
// boundaries inside, right and bottom ones outside), then the pen outline.
BOOL Polygon(HDC dc, const POINT* points, int count) {
  if (!CheckDC(dc) || !points || count < 2) return FALSE;
  const int ox = dc->s.origin.x, oy = dc->s.origin.y;
  std::vector<POINT> p(points, points + count);
  for (POINT& q : p) {
    q.x += ox;
    q.y += oy;
  }
  if (dc->s.brush.kind != BrushKind::Null && count >= 3) {
    int ymin = p[0].y, ymax = p[0].y;
    for (const POINT& q : p) {
      ymin = std::min<int>(ymin, q.y);
      ymax = std::max<int>(ymax, q.y);
    }
    if (dc->surface) {
      ymin = std::max(ymin, 0);
      ymax = std::min(ymax, dc->surface->Height);
    }
    std::vector<long long> xs;
    for (int y = ymin; y < ymax; ++y) {
      xs.clear();
      for (int i = 0; i < count; ++i) {
        POINT a = p[i], b = p[(i + 1) % count];
        if (a.y == b.y) continue;
        if (a.y > b.y) std::swap(a, b);
        if (y < a.y || y >= b.y) continue;
        long long num = static_cast<long long>(y - a.y) * (b.x - a.x);
        xs.push_back(a.x + CeilDiv(num, b.y - a.y));
      }
      std::sort(xs.begin(), xs.end());
      for (size_t k = 0; k + 1 < xs.size(); k += 2) {
        long long x0 = std::max<long long>(xs[k], -1), x1 = std::min<long long>(xs[k + 1], 1LL << 30);
        if (x0 < x1) FillSpanBrush(dc, y, static_cast<int>(x0), static_cast<int>(x1), dc->s.rop2);
      }
    }
  }
  for (int i = 0; i < count; ++i) {
    const POINT& a = p[i];
    const POINT& b = p[(i + 1) % count];
    PenLine(dc, a.x, a.y, b.x, b.y);
  }
  return TRUE;
}

namespace {
// Box of a closed shape in device coordinates; a null pen makes it one pixel
// smaller on the right and bottom, as GDI does.
bool ShapeBox(HDC dc, int& l, int& t, int& r, int& b) {
  Normalize(l, r);
  Normalize(t, b);
  if (dc->s.pen.style == PS_NULL) {
    --r;
    --b;
  }
  l += dc->s.origin.x;
  r += dc->s.origin.x;
  t += dc->s.origin.y;
  b += dc->s.origin.y;
  return r > l && b > t;
}

// The horizontal extent at pixel row centre py of an ellipse with centre (cx, cy)
// and radii (a, b), as pixel indexes whose centres lie within it.
bool EllipseRow(double cx, double cy, double a, double b, double py, int& x0, int& x1) {
  double dy = (py - cy) / b;
  if (dy <= -1.0 || dy >= 1.0) return false;
  double hw = a * std::sqrt(1.0 - dy * dy);
  const double eps = 1e-9;
  x0 = static_cast<int>(std::ceil(cx - hw - 0.5 - eps));
  x1 = static_cast<int>(std::floor(cx + hw - 0.5 + eps));
  return x0 <= x1;
}
}  // namespace

BOOL Rectangle(HDC dc, int left, int top, int right, int bottom) {
  if (!CheckDC(dc)) return FALSE;
  if (!ShapeBox(dc, left, top, right, bottom)) return TRUE;
  std::vector<RowSpan> spans(bottom - top, RowSpan{left, right - 1});
  DrawSpanShape(dc, top, spans, true, true);
  return TRUE;
}

BOOL Ellipse(HDC dc, int left, int top, int right, int bottom) {
  if (!CheckDC(dc)) return FALSE;
  if (!ShapeBox(dc, left, top, right, bottom)) return TRUE;
  const double cx = (left + right) / 2.0, cy = (top + bottom) / 2.0;
  const double a = (right - left) / 2.0, b = (bottom - top) / 2.0;
  // Pixels whose centres lie inside the ellipse; the middle rows reach the box's
  // sides and the end rows keep at least their middle pixels, so that a thin
  // ellipse still touches all four sides of its box.
  std::vector<RowSpan> spans;
  const int midLeft = static_cast<int>(std::floor(cx - 0.5)), midRight = static_cast<int>(std::ceil(cx - 0.5));
  const int midTop = static_cast<int>(std::floor(cy - 0.5)), midBottom = static_cast<int>(std::ceil(cy - 0.5));
  for (int y = top; y < bottom; ++y) {
    int x0, x1;
    if (y >= midTop && y <= midBottom) {
      x0 = left;
      x1 = right - 1;
    } else if (!EllipseRow(cx, cy, a, b, y + 0.5, x0, x1)) {
      x0 = midLeft;
      x1 = midRight;
    }
    spans.push_back(RowSpan{x0, x1});
  }
  DrawSpanShape(dc, top, spans, true, true);
  return TRUE;
}

BOOL RoundRect(HDC dc, int left, int top, int right, int bottom, int width, int height) {
  if (!CheckDC(dc)) return FALSE;
  if (!ShapeBox(dc, left, top, right, bottom)) return TRUE;
  width = std::min(std::abs(width), right - left);
  height = std::min(std::abs(height), bottom - top);
  if (width < 2 || height < 2) return Rectangle(dc, left - dc->s.origin.x, top - dc->s.origin.y,
                                                right - dc->s.origin.x + (dc->s.pen.style == PS_NULL),
                                                bottom - dc->s.origin.y + (dc->s.pen.style == PS_NULL));
  const double a = width / 2.0, b = height / 2.0;
  const double cxl = left + a, cxr = right - a;
  std::vector<RowSpan> spans;
  for (int y = top; y < bottom; ++y) {
    double py = y + 0.5;
    RowSpan s{left, right - 1};
    double cy = 0;
    bool corner = false;
    if (py < top + b) {
      cy = top + b;
      corner = true;
    } else if (py > bottom - b) {
      cy = bottom - b;
      corner = true;
    }
    if (corner) {
      int l0, l1, r0, r1;
      if (EllipseRow(cxl, cy, a, b, py, l0, l1) && EllipseRow(cxr, cy, a, b, py, r0, r1)) {
        s = RowSpan{l0, r1};
      } else {
        s = RowSpan{0, -1};
      }
    }
    spans.push_back(s);
  }
  DrawSpanShape(dc, top, spans, true, true);
  return TRUE;
}

int FillRect(HDC dc, const RECT* rect, HBRUSH brush) {
  if (!CheckDC(dc) || !rect) return 0;
  auto* b = As<HBRUSH__>(brush, Kind::Brush);
  if (!b) return 0;
  int l = rect->left, t = rect->top, r = rect->right, bt = rect->bottom;
  if (r <= l || bt <= t) return 1;
  BrushDesc saved = dc->s.brush;
  dc->s.brush = b->desc;
  for (int y = t; y < bt; ++y)
    FillSpanBrush(dc, y + dc->s.origin.y, l + dc->s.origin.x, r + dc->s.origin.x, R2_COPYPEN);
  dc->s.brush = saved;
  return 1;
}

int FrameRect(HDC dc, const RECT* rect, HBRUSH brush) {
  if (!CheckDC(dc) || !rect) return 0;
  auto* b = As<HBRUSH__>(brush, Kind::Brush);
  if (!b) return 0;
  int l = rect->left + dc->s.origin.x, t = rect->top + dc->s.origin.y;
  int r = rect->right + dc->s.origin.x, bt = rect->bottom + dc->s.origin.y;
  if (r <= l || bt <= t) return 1;
  BrushDesc saved = dc->s.brush;
  dc->s.brush = b->desc;
  FillSpanBrush(dc, t, l, r, R2_COPYPEN);
  if (bt - 1 > t) FillSpanBrush(dc, bt - 1, l, r, R2_COPYPEN);
  for (int y = t + 1; y < bt - 1; ++y) {
    FillSpanBrush(dc, y, l, l + 1, R2_COPYPEN);
    if (r - 1 > l) FillSpanBrush(dc, y, r - 1, r, R2_COPYPEN);
  }
  dc->s.brush = saved;
  return 1;
}

// A dotted frame drawn with XOR, so that drawing it twice restores the picture.
BOOL DrawFocusRect(HDC dc, const RECT* rect) {
  if (!CheckDC(dc) || !rect) return FALSE;
  int l = rect->left + dc->s.origin.x, t = rect->top + dc->s.origin.y;
  int r = rect->right + dc->s.origin.x, b = rect->bottom + dc->s.origin.y;
  if (r <= l || b <= t) return TRUE;
  auto dot = [&](int x, int y) {
    if (((x + y) & 1) == 0 && Visible(dc, x, y)) dc->surface->Row(y)[x] ^= 0xFFFFFF;
  };
  for (int x = l; x < r; ++x) {
    dot(x, t);
    if (b - 1 > t) dot(x, b - 1);
  }
  for (int y = t + 1; y < b - 1; ++y) {
    dot(l, y);
    if (r - 1 > l) dot(r - 1, y);
  }
  return TRUE;
}

// --- Blits ------------------------------------------------------------------------

namespace quill_gdi {

// The engine of BitBlt, StretchBlt, PatBlt and TransparentBlt, on device coordinates.
// src may be null when the operation does not read a source. key: source colour
// left out (TransparentBlt).
BOOL Blit(HDC__* d, int x, int y, int w, int h, const HDC__* src, int sx, int sy, int sw, int sh,
          std::uint8_t rop, const std::uint32_t* key) {
  if (!d->surface) return FALSE;
  const bool usesSrc = (((rop >> 2) ^ rop) & 0x33) != 0 || key;
  const bool usesPat = (((rop >> 4) ^ rop) & 0x0F) != 0;
  const bool usesDst = (((rop >> 1) ^ rop) & 0x55) != 0;
  (void)usesDst;
  const bool flipX = (w < 0) != (sw < 0);
  const bool flipY = (h < 0) != (sh < 0);
  if (w < 0) { x += w; w = -w; }
  if (h < 0) { y += h; h = -h; }
  if (sw < 0) { sx += sw; sw = -sw; }
  if (sh < 0) { sy += sh; sh = -sh; }
  if (w == 0 || h == 0) return TRUE;
  if (usesSrc && (!src || !src->surface || sw == 0 || sh == 0)) return FALSE;

  // A private copy of the source rectangle, so that overlapping blits within one
  // surface read the picture as it was; pixels outside the source are skipped.
  std::vector<std::uint32_t> copy;
  std::vector<std::uint8_t> valid;
  bool srcMono = false;
  std::uint32_t srcBk = 0;
  if (usesSrc) {
    const TSurface& ss = *src->surface;
    srcMono = ss.Monochrome;
    srcBk = ColorRefToPixel(src->s.bkColor);
    copy.resize(static_cast<size_t>(sw) * sh);
    valid.resize(copy.size());
    for (int j = 0; j < sh; ++j)
      for (int i = 0; i < sw; ++i) {
        int px = sx + i, py = sy + j;
        size_t k = static_cast<size_t>(j) * sw + i;
        if (ss.Contains(px, py)) {
          copy[k] = ss.At(px, py);
          valid[k] = 1;
        }
      }
  }
  const bool dstMono = d->surface->Monochrome;
  const std::uint32_t text = ColorRefToPixel(d->s.textColor), bk = ColorRefToPixel(d->s.bkColor);
  for (int j = 0; j < h; ++j) {
    int sj = 0;
    if (usesSrc) {
      sj = static_cast<int>((2LL * j + 1) * sh / (2LL * h));
      if (flipY) sj = sh - 1 - sj;
    }
    ForClippedSpan(d, y + j, x, x + w, [&](int yy, int a, int b) {
      std::uint32_t* row = d->surface->Row(yy);
      for (int xx = a; xx < b; ++xx) {
        int i = xx - x;
        std::uint32_t s = 0, p = 0;
        if (usesSrc) {
          int si = static_cast<int>((2LL * i + 1) * sw / (2LL * w));
          if (flipX) si = sw - 1 - si;
          size_t k = static_cast<size_t>(sj) * sw + si;
          if (!valid[k]) continue;
          s = copy[k];
          if (key && s == *key) continue;
          if (srcMono && !dstMono) s = s == 0 ? text : bk;
          else if (!srcMono && dstMono) s = s == srcBk ? 0xFFFFFF : 0;
        }
        if (usesPat) {
          if (!BrushPixel(d, d->s.brush, xx, yy, &p)) p = row[xx];
          if (dstMono) p = ((p >> 16 & 255) * 30 + (p >> 8 & 255) * 59 + (p & 255) * 11) >= 12800 ? 0xFFFFFF : 0;
        }
        row[xx] = Rop3(rop, p, s, row[xx]);
      }
    });
  }
  return TRUE;
}

}  // namespace quill_gdi

BOOL PatBlt(HDC dc, int x, int y, int width, int height, DWORD rop) {
  if (!CheckDC(dc)) return FALSE;
  std::uint8_t r = static_cast<std::uint8_t>(rop >> 16);
  if ((((r >> 2) ^ r) & 0x33) != 0) return FALSE;  // PatBlt takes no source
  return Blit(dc, x + dc->s.origin.x, y + dc->s.origin.y, width, height, nullptr, 0, 0, 0, 0, r, nullptr);
}

BOOL BitBlt(HDC dest, int x, int y, int width, int height, HDC src, int srcX, int srcY, DWORD rop) {
  return StretchBlt(dest, x, y, width, height, src, srcX, srcY, width, height, rop);
}

BOOL StretchBlt(HDC dest, int x, int y, int width, int height, HDC src, int srcX, int srcY,
                int srcWidth, int srcHeight, DWORD rop) {
  if (!CheckDC(dest)) return FALSE;
  const HDC__* s = src ? CheckDC(src) : nullptr;
  if (src && !s) return FALSE;
  int sx = s ? srcX + s->s.origin.x : 0, sy = s ? srcY + s->s.origin.y : 0;
  return Blit(dest, x + dest->s.origin.x, y + dest->s.origin.y, width, height, s, sx, sy, srcWidth,
              srcHeight, static_cast<std::uint8_t>(rop >> 16), nullptr);
}

BOOL TransparentBlt(HDC dest, int x, int y, int width, int height, HDC src, int srcX, int srcY,
                    int srcWidth, int srcHeight, UINT transparent) {
  if (!CheckDC(dest) || !CheckDC(src)) return FALSE;
  std::uint32_t key = ColorRefToPixel(transparent);
  return Blit(dest, x + dest->s.origin.x, y + dest->s.origin.y, width, height, src,
              srcX + src->s.origin.x, srcY + src->s.origin.y, srcWidth, srcHeight, 0xCC, &key);
}
