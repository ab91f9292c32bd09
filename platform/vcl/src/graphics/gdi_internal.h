// Internals of device contexts and GDI objects shared by the graphics sources.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include <vcl/gdi.h>
#include <vcl/surface.h>

class TBitmap;

namespace quill_gdi {

enum class Kind : std::uint32_t {
  Pen = 0x50454E31,
  Brush = 0x42525331,
  Font = 0x464E5431,
  Bitmap = 0x424D5031,
  DC = 0x44435F31,
};

struct Header {
  Kind kind;
  bool stock = false;  // never deleted
  // True when a TPen/TBrush/TFont/TBitmap owns it (DeleteObject leaves it alone).
  bool ownedByObject = false;
};

// Registers and checks live handles so that stale or foreign handles are refused
// instead of being dereferenced.
void RegisterObject(Header* h);
void UnregisterObject(Header* h);
Header* Lookup(const void* handle);  // null when not a live object of ours
void InstallDeleteHandler();

}  // namespace quill_gdi

// Brush kinds.
enum class BrushKind { Solid, Null, Hatched, Pattern };

struct PenDesc {
  int style = PS_SOLID;
  int width = 1;
  COLORREF color = 0;
};
struct BrushDesc {
  BrushKind kind = BrushKind::Solid;
  int hatch = 0;  // 0..5: horizontal, vertical, fdiagonal, bdiagonal, cross, diagcross
  COLORREF color = 0xFFFFFF;
  std::shared_ptr<const TSurface> pattern;  // tiled from the device origin
};

struct HPEN__ {
  quill_gdi::Header h{quill_gdi::Kind::Pen};
  PenDesc desc;
};
struct HBRUSH__ {
  quill_gdi::Header h{quill_gdi::Kind::Brush};
  BrushDesc desc;
};
struct HFONT__ {
  quill_gdi::Header h{quill_gdi::Kind::Font};
  LOGFONTA lf{};
};
struct HBITMAP__ {
  quill_gdi::Header h{quill_gdi::Kind::Bitmap};
  TSurface* surface = nullptr;          // the pixels (owned by `own` or by a TBitmap)
  std::unique_ptr<TSurface> own;
  HDC selectedInto = nullptr;
};

struct DCState {
  POINT origin{0, 0};          // device pixel of logical (0, 0)
  bool clipped = false;
  std::vector<RECT> clip;      // device coordinates, disjoint
  PenDesc pen;
  BrushDesc brush;
  LOGFONTA font{};
  HPEN penHandle = nullptr;
  HBRUSH brushHandle = nullptr;
  HFONT fontHandle = nullptr;
  COLORREF textColor = 0x000000;
  COLORREF bkColor = 0xFFFFFF;
  int bkMode = OPAQUE;
  int rop2 = R2_COPYPEN;
  POINT pos{0, 0};             // current position, logical
};

struct HDC__ {
  quill_gdi::Header h{quill_gdi::Kind::DC};
  TSurface* surface = nullptr;
  bool memory = false;
  HBITMAP bitmap = nullptr;    // selected into a memory DC
  TCanvas* canvas = nullptr;
  DCState s;
  std::vector<DCState> saved;
};

namespace quill_gdi {

HDC CheckDC(HDC dc);  // null when not a live DC
LOGFONTA DefaultLogFont();
PenDesc StockPen();
BrushDesc StockBrush();

// --- Raster layer (raster.cpp). Coordinates are device pixels. ---
// Calls fn(y, x0, x1) for every visible part of the span [x0, x1) of row y.
template <typename Fn>
void ForClippedSpan(const HDC__* dc, int y, int x0, int x1, Fn&& fn);
std::uint32_t Rop2(int rop2, std::uint32_t pen, std::uint32_t dst);
std::uint32_t Rop3(std::uint8_t rop, std::uint32_t p, std::uint32_t s, std::uint32_t d);
// The brush colour at a device pixel; false where a hatched brush leaves a
// transparent gap (bkMode TRANSPARENT).
bool BrushPixel(const HDC__* dc, const BrushDesc& b, int x, int y, std::uint32_t* out);
// Fills device span [x0, x1) of row y with the brush, through rop2.
void FillSpanBrush(HDC__* dc, int y, int x0, int x1, int rop2);
void FillSpanColor(HDC__* dc, int y, int x0, int x1, std::uint32_t color, int rop2);
void PlotPen(HDC__* dc, int x, int y, std::uint32_t color);
// A line with the current pen, device coordinates, end point excluded.
void PenLine(HDC__* dc, int x0, int y0, int x1, int y1);
bool Visible(const HDC__* dc, int x, int y);
void BlendPixel(HDC__* dc, int x, int y, std::uint32_t color, int alpha);

// The engine of every blit, device coordinates; src may be null when the raster
// operation reads no source; key: source colour to leave out.
BOOL Blit(HDC__* d, int x, int y, int w, int h, const HDC__* src, int sx, int sy, int sw, int sh,
          std::uint8_t rop, const std::uint32_t* key);

// Shapes given as per-row inclusive spans (rows top..top+spans.size()-1): filled
// with the brush, outlined with the pen (width w, inside the shape).
struct RowSpan {
  int x0;
  int x1;  // inclusive; x1 < x0 means empty
};
void DrawSpanShape(HDC__* dc, int top, const std::vector<RowSpan>& spans, bool fill, bool outline);

// --- Text (text.cpp) ---
struct TextMetrics {
  int ascent = 0;
  int descent = 0;
  int height = 0;
  int aveCharWidth = 0;
  int maxCharWidth = 0;
  int internalLeading = 0;
};
TextMetrics FontMetrics(const LOGFONTA& lf);
int TextAdvance(const LOGFONTA& lf, const std::string& utf8);
// Draws text with its cell's top-left at device (x, y), rotated by the font's
// escapement around that point, clipped to the device rectangle `clip` when given;
// prefixIndex is the character (index into the decoded text) underlined as an
// accelerator, -1 for none.
void DrawTextRun(HDC__* dc, int x, int y, const std::string& utf8, const RECT* clip,
                 int prefixIndex);
std::u32string DecodeText(const std::string& utf8);
std::string EncodeText(const std::u32string& text);

}  // namespace quill_gdi

// --- template body ---
template <typename Fn>
void quill_gdi::ForClippedSpan(const HDC__* dc, int y, int x0, int x1, Fn&& fn) {
  const TSurface* s = dc->surface;
  if (!s || y < 0 || y >= s->Height) return;
  if (x0 < 0) x0 = 0;
  if (x1 > s->Width) x1 = s->Width;
  if (x0 >= x1) return;
  if (!dc->s.clipped) {
    fn(y, x0, x1);
    return;
  }
  for (const RECT& r : dc->s.clip) {
    if (y < r.top || y >= r.bottom) continue;
    int a = x0 > r.left ? x0 : r.left;
    int b = x1 < r.right ? x1 : r.right;
    if (a < b) fn(y, a, b);
  }
}
