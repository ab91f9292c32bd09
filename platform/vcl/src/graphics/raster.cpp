// Pixel layer of the device contexts: clipping, pen and brush mixing, raster
// operations, lines and span-defined shapes, all on device coordinates.
#include <algorithm>
#include <cstdlib>

#include "gdi_internal.h"

namespace quill_gdi {

namespace {
constexpr std::uint32_t kMask = 0x00FFFFFF;

// 8x8 hatch patterns, one byte per row, bit 7 = leftmost pixel.
constexpr std::uint8_t kHatch[6][8] = {
    {0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xFF},  // horizontal
    {0x08, 0x08, 0x08, 0x08, 0x08, 0x08, 0x08, 0x08},  // vertical
    {0x80, 0x40, 0x20, 0x10, 0x08, 0x04, 0x02, 0x01},  // forward diagonal
    {0x01, 0x02, 0x04, 0x08, 0x10, 0x20, 0x40, 0x80},  // backward diagonal
    {0x08, 0x08, 0x08, 0x08, 0x08, 0x08, 0x08, 0xFF},  // cross
    {0x81, 0x42, 0x24, 0x18, 0x18, 0x24, 0x42, 0x81},  // diagonal cross
};

// Dash patterns of cosmetic pens: alternating on/off run lengths.
const std::vector<int>& DashPattern(int style) {
  static const std::vector<int> dash{18, 6}, dot{3, 3}, dashDot{9, 6, 3, 6},
      dashDotDot{9, 3, 3, 3, 3, 3}, solid{};
  switch (style) {
    case PS_DASH: return dash;
    case PS_DOT: return dot;
    case PS_DASHDOT: return dashDot;
    case PS_DASHDOTDOT: return dashDotDot;
    default: return solid;
  }
}

inline int PositiveMod(int a, int m) {
  int r = a % m;
  return r < 0 ? r + m : r;
}
}  // namespace

bool Visible(const HDC__* dc, int x, int y) {
  const TSurface* s = dc->surface;
  if (!s || !s->Contains(x, y)) return false;
  if (!dc->s.clipped) return true;
  for (const RECT& r : dc->s.clip)
    if (x >= r.left && x < r.right && y >= r.top && y < r.bottom) return true;
  return false;
}

std::uint32_t Rop2(int rop2, std::uint32_t p, std::uint32_t d) {
  std::uint32_t r;
  switch (rop2) {
    case R2_BLACK: r = 0; break;
    case R2_NOTMERGEPEN: r = ~(p | d); break;
    case R2_MASKNOTPEN: r = ~p & d; break;
    case R2_NOTCOPYPEN: r = ~p; break;
    case R2_MASKPENNOT: r = p & ~d; break;
    case R2_NOT: r = ~d; break;
    case R2_XORPEN: r = p ^ d; break;
    case R2_NOTMASKPEN: r = ~(p & d); break;
    case R2_MASKPEN: r = p & d; break;
    case R2_NOTXORPEN: r = ~(p ^ d); break;
    case R2_NOP: r = d; break;
    case R2_MERGENOTPEN: r = ~p | d; break;
    case R2_MERGEPENNOT: r = p | ~d; break;
    case R2_MERGEPEN: r = p | d; break;
    case R2_WHITE: r = kMask; break;
    default: r = p; break;  // R2_COPYPEN
  }
  return r & kMask;
}

// Any ternary raster operation: bit i of the code is the result for the input
// combination i = P*4 + S*2 + D, evaluated on all 24 colour bits at once.
std::uint32_t Rop3(std::uint8_t rop, std::uint32_t p, std::uint32_t s, std::uint32_t d) {
  switch (rop) {
    case 0xCC: return s & kMask;
    case 0xF0: return p & kMask;
    case 0x00: return 0;
    case 0xFF: return kMask;
    case 0xAA: return d & kMask;
    case 0x88: return s & d & kMask;
    case 0xEE: return (s | d) & kMask;
    case 0x66: return (s ^ d) & kMask;
    default: break;
  }
  std::uint32_t r = 0;
  for (int i = 0; i < 8; ++i) {
    if (!((rop >> i) & 1)) continue;
    std::uint32_t term = ((i & 4) ? p : ~p) & ((i & 2) ? s : ~s) & ((i & 1) ? d : ~d);
    r |= term;
  }
  return r & kMask;
}

bool BrushPixel(const HDC__* dc, const BrushDesc& b, int x, int y, std::uint32_t* out) {
  switch (b.kind) {
    case BrushKind::Null: return false;
    case BrushKind::Solid: *out = ColorRefToPixel(b.color); return true;
    case BrushKind::Hatched: {
      int h = std::clamp(b.hatch, 0, 5);
      bool on = (kHatch[h][PositiveMod(y, 8)] >> (7 - PositiveMod(x, 8))) & 1;
      if (on) {
        *out = ColorRefToPixel(b.color);
        return true;
      }
      if (dc->s.bkMode == TRANSPARENT) return false;
      *out = ColorRefToPixel(dc->s.bkColor);
      return true;
    }
    case BrushKind::Pattern: {
      const TSurface* p = b.pattern.get();
      if (!p || p->Width <= 0 || p->Height <= 0) {
        *out = ColorRefToPixel(b.color);
        return true;
      }
      std::uint32_t v = p->At(PositiveMod(x, p->Width), PositiveMod(y, p->Height));
      if (p->Monochrome)  // black bits take the text colour, white the background
        v = ColorRefToPixel(v == 0 ? dc->s.textColor : dc->s.bkColor);
      *out = v;
      return true;
    }
  }
  return false;
}

void FillSpanColor(HDC__* dc, int y, int x0, int x1, std::uint32_t color, int rop2) {
  ForClippedSpan(dc, y, x0, x1, [&](int yy, int a, int b) {
    std::uint32_t* row = dc->surface->Row(yy);
    if (rop2 == R2_COPYPEN) {
      std::fill(row + a, row + b, color & kMask);
    } else {
      for (int x = a; x < b; ++x) row[x] = Rop2(rop2, color, row[x]);
    }
  });
}

void FillSpanBrush(HDC__* dc, int y, int x0, int x1, int rop2) {
  const BrushDesc& b = dc->s.brush;
  if (b.kind == BrushKind::Null) return;
  if (b.kind == BrushKind::Solid) {
    FillSpanColor(dc, y, x0, x1, ColorRefToPixel(b.color), rop2);
    return;
  }
  ForClippedSpan(dc, y, x0, x1, [&](int yy, int a, int c) {
    std::uint32_t* row = dc->surface->Row(yy);
    for (int x = a; x < c; ++x) {
      std::uint32_t v;
      if (BrushPixel(dc, b, x, yy, &v)) row[x] = Rop2(rop2, v, row[x]);
    }
  });
}

void PlotPen(HDC__* dc, int x, int y, std::uint32_t color) {
  if (!Visible(dc, x, y)) return;
  std::uint32_t& px = dc->surface->Row(y)[x];
  px = Rop2(dc->s.rop2, color, px);
}

void BlendPixel(HDC__* dc, int x, int y, std::uint32_t color, int alpha) {
  if (alpha <= 0 || !Visible(dc, x, y)) return;
  std::uint32_t& px = dc->surface->Row(y)[x];
  if (alpha >= 255) {
    px = color & kMask;
    return;
  }
  auto mix = [&](int shift) {
    int f = (color >> shift) & 255, b = (px >> shift) & 255;
    return std::uint32_t((f * alpha + b * (255 - alpha) + 127) / 255) << shift;
  };
  px = mix(16) | mix(8) | mix(0);
}

// Lines: one pixel per step of the major axis, the end point excluded; the minor
// coordinate is the exact position rounded, halves away from the start.
void PenLine(HDC__* dc, int x0, int y0, int x1, int y1) {
  const PenDesc& pen = dc->s.pen;
  if (pen.style == PS_NULL) return;
  const int dx = x1 - x0, dy = y1 - y0;
  const int adx = std::abs(dx), ady = std::abs(dy);
  const int steps = std::max(adx, ady);
  if (steps == 0) return;
  const std::uint32_t color = ColorRefToPixel(pen.color);
  const std::uint32_t bk = ColorRefToPixel(dc->s.bkColor);
  const int width = pen.width < 1 ? 1 : pen.width;
  const std::vector<int>& dashes = width == 1 ? DashPattern(pen.style) : DashPattern(PS_SOLID);
  int dashIndex = 0, dashLeft = dashes.empty() ? 0 : dashes[0];
  const int lo = -(width - 1) / 2, hi = width / 2;
  for (int i = 0; i < steps; ++i) {
    int x, y;
    if (adx >= ady) {
      x = x0 + (dx > 0 ? i : -i);
      // round(i * dy / adx), halves away from zero
      long num = 2L * i * ady + adx;
      int off = static_cast<int>(num / (2L * adx));
      y = y0 + (dy >= 0 ? off : -off);
    } else {
      y = y0 + (dy > 0 ? i : -i);
      long num = 2L * i * adx + ady;
      int off = static_cast<int>(num / (2L * ady));
      x = x0 + (dx >= 0 ? off : -off);
    }
    bool on = true;
    if (!dashes.empty()) {
      on = (dashIndex % 2) == 0;
      if (--dashLeft == 0) {
        dashIndex = (dashIndex + 1) % static_cast<int>(dashes.size());
        dashLeft = dashes[dashIndex];
      }
    }
    if (width == 1) {
      if (on) PlotPen(dc, x, y, color);
      else if (dc->s.bkMode == OPAQUE) PlotPen(dc, x, y, bk);
    } else {
      for (int yy = y + lo; yy <= y + hi; ++yy)
        for (int xx = x + lo; xx <= x + hi; ++xx) PlotPen(dc, xx, yy, color);
    }
  }
}

void DrawSpanShape(HDC__* dc, int top, const std::vector<RowSpan>& spans, bool fill, bool outline) {
  const int n = static_cast<int>(spans.size());
  const int w = dc->s.pen.width < 1 ? 1 : dc->s.pen.width;
  const bool pen = outline && dc->s.pen.style != PS_NULL;
  const std::uint32_t penColor = ColorRefToPixel(dc->s.pen.color);
  auto inside = [&](int row, int x) {
    if (row < 0 || row >= n) return false;
    return x >= spans[row].x0 && x <= spans[row].x1;
  };
  for (int r = 0; r < n; ++r) {
    const RowSpan sp = spans[r];
    if (sp.x1 < sp.x0) continue;
    const int y = top + r;
    if (!pen) {
      if (fill) FillSpanBrush(dc, y, sp.x0, sp.x1 + 1, dc->s.rop2);
      continue;
    }
    // A pixel is interior when the shape extends w pixels beyond it horizontally
    // and vertically; the rest is the outline, which so lies inside the shape.
    int x = sp.x0;
    while (x <= sp.x1) {
      bool interior = x - w >= sp.x0 && x + w <= sp.x1;
      for (int k = 1; interior && k <= w; ++k) interior = inside(r - k, x) && inside(r + k, x);
      int start = x;
      while (x <= sp.x1) {
        bool in2 = x - w >= sp.x0 && x + w <= sp.x1;
        for (int k = 1; in2 && k <= w; ++k) in2 = inside(r - k, x) && inside(r + k, x);
        if (in2 != interior) break;
        ++x;
      }
      if (interior) {
        if (fill) FillSpanBrush(dc, y, start, x, dc->s.rop2);
      } else {
        FillSpanColor(dc, y, start, x, penColor, dc->s.rop2);
      }
    }
  }
}

}  // namespace quill_gdi
