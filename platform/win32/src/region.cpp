#include <win32/errors.h>
#include <win32/region.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <mutex>
#include <unordered_set>
#include <utility>

namespace {

using Spans = std::vector<std::pair<LONG, LONG>>;
using Bands = std::vector<RegionBand>;

constexpr LONG kLimit = 1 << 27;

LONG Clamp(LONG v) { return std::clamp(v, -kLimit, kLimit); }

// Bands sorted top to bottom, never empty, never overlapping; touching bands with the same
// spans are merged, so equal pixel sets have equal representations.
struct Region {
  Bands bands;
};

struct RegionTable {
  std::mutex mutex;
  std::unordered_set<Region*> live;
  DeleteObjectHandler otherObjects;
};

RegionTable& Table() {
  static RegionTable* table = new RegionTable;  // never destroyed: handles outlive statics
  return *table;
}

Region* Find(const void* h) {
  auto it = Table().live.find(static_cast<Region*>(const_cast<void*>(h)));
  return it == Table().live.end() ? nullptr : *it;
}

HRGN NewRegion(Bands bands) {
  auto* r = new Region{std::move(bands)};
  std::lock_guard lock(Table().mutex);
  Table().live.insert(r);
  return reinterpret_cast<HRGN>(r);
}

void Append(Bands& out, LONG top, LONG bottom, Spans&& spans) {
  if (spans.empty() || top >= bottom) return;
  if (!out.empty() && out.back().bottom == top && out.back().spans == spans) {
    out.back().bottom = bottom;
    return;
  }
  out.push_back(RegionBand{top, bottom, std::move(spans)});
}

bool Apply(int mode, bool a, bool b) {
  switch (mode) {
    case RGN_AND: return a && b;
    case RGN_OR: return a || b;
    case RGN_XOR: return a != b;
    default: return a && !b;  // RGN_DIFF
  }
}

// Walks both span lists' edges in x order and keeps the runs where the mode holds.
Spans CombineSpans(const Spans& a, const Spans& b, int mode) {
  Spans out;
  size_t ia = 0, ib = 0;  // index into the edge sequences x0,x1,x0,x1,...
  const size_t na = a.size() * 2, nb = b.size() * 2;
  auto edge = [](const Spans& s, size_t i) { return i % 2 == 0 ? s[i / 2].first : s[i / 2].second; };
  bool inA = false, inB = false, inOut = false;
  LONG start = 0;
  while (ia < na || ib < nb) {
    LONG x = ia < na ? edge(a, ia) : edge(b, ib);
    if (ib < nb) x = std::min(x, edge(b, ib));
    while (ia < na && edge(a, ia) == x) {
      inA = !inA;
      ++ia;
    }
    while (ib < nb && edge(b, ib) == x) {
      inB = !inB;
      ++ib;
    }
    bool now = Apply(mode, inA, inB);
    if (now && !inOut) start = x;
    if (!now && inOut) out.emplace_back(start, x);
    inOut = now;
  }
  return out;
}

// The bands of src restricted to rows [top, bottom).
Bands Clip(const Bands& src, LONG top, LONG bottom) {
  Bands out;
  auto it = std::upper_bound(src.begin(), src.end(), top,
                             [](LONG y, const RegionBand& b) { return y < b.bottom; });
  for (; it != src.end() && it->top < bottom; ++it) {
    RegionBand b = *it;
    b.top = std::max(b.top, top);
    b.bottom = std::min(b.bottom, bottom);
    out.push_back(std::move(b));
  }
  return out;
}

// Combines two band lists over all their rows.
Bands CombineBands(const Bands& a, const Bands& b, int mode) {
  Bands out;
  const Spans none;
  size_t ia = 0, ib = 0;
  if (a.empty() && b.empty()) return out;
  LONG y = a.empty() ? b.front().top : b.empty() ? a.front().top : std::min(a.front().top, b.front().top);
  while (ia < a.size() || ib < b.size()) {
    // Skip bands already passed.
    if (ia < a.size() && a[ia].bottom <= y) { ++ia; continue; }
    if (ib < b.size() && b[ib].bottom <= y) { ++ib; continue; }
    bool inA = ia < a.size() && a[ia].top <= y;
    bool inB = ib < b.size() && b[ib].top <= y;
    if (!inA && !inB) {
      // Jump to the next band start.
      y = std::min(ia < a.size() ? a[ia].top : b[ib].top, ib < b.size() ? b[ib].top : a[ia].top);
      continue;
    }
    LONG next = INT32_MAX;
    if (ia < a.size()) next = std::min(next, inA ? a[ia].bottom : a[ia].top);
    if (ib < b.size()) next = std::min(next, inB ? b[ib].bottom : b[ib].top);
    Append(out, y, next, CombineSpans(inA ? a[ia].spans : none, inB ? b[ib].spans : none, mode));
    y = next;
  }
  return out;
}

void AppendBands(Bands& out, Bands&& more) {
  for (RegionBand& b : more) Append(out, b.top, b.bottom, std::move(b.spans));
}

// a = a op b for OR, XOR and DIFF. Outside the rows of b, a stays as it is, so only the
// bands in b's rows (and their neighbours, for merging) are rebuilt: cutting single
// pixels out of a large region costs little per pixel.
void CombineInPlace(Bands& a, const Bands& b, int mode) {
  if (b.empty()) return;
  if (a.empty()) {
    if (mode != RGN_DIFF) a = b;
    return;
  }
  const LONG top = b.front().top, bottom = b.back().bottom;
  auto byBottom = [](const RegionBand& band, LONG y) { return band.bottom <= y; };
  auto byTop = [](const RegionBand& band, LONG y) { return band.top < y; };
  const size_t lo = static_cast<size_t>(std::lower_bound(a.begin(), a.end(), top, byBottom) - a.begin());
  const size_t hi = static_cast<size_t>(std::lower_bound(a.begin(), a.end(), bottom, byTop) - a.begin());
  const size_t from = lo > 0 ? lo - 1 : 0;
  const size_t to = std::min(hi + 1, a.size());

  Bands repl;
  for (size_t i = from; i < lo; ++i) Append(repl, a[i].top, a[i].bottom, Spans(a[i].spans));
  if (lo < hi && a[lo].top < top) Append(repl, a[lo].top, top, Spans(a[lo].spans));
  Bands inside(a.begin() + static_cast<std::ptrdiff_t>(lo), a.begin() + static_cast<std::ptrdiff_t>(hi));
  if (!inside.empty()) {
    inside.front().top = std::max(inside.front().top, top);
    inside.back().bottom = std::min(inside.back().bottom, bottom);
  }
  AppendBands(repl, CombineBands(inside, b, mode));
  if (lo < hi && a[hi - 1].bottom > bottom) Append(repl, bottom, a[hi - 1].bottom, Spans(a[hi - 1].spans));
  for (size_t i = hi; i < to; ++i) Append(repl, a[i].top, a[i].bottom, Spans(a[i].spans));

  a.erase(a.begin() + static_cast<std::ptrdiff_t>(from), a.begin() + static_cast<std::ptrdiff_t>(to));
  a.insert(a.begin() + static_cast<std::ptrdiff_t>(from), std::make_move_iterator(repl.begin()),
           std::make_move_iterator(repl.end()));
}

Bands Intersect(const Bands& a, const Bands& b) {
  if (a.empty() || b.empty()) return {};
  return CombineBands(Clip(a, b.front().top, b.back().bottom), b, RGN_AND);
}

Bands RectBands(LONG left, LONG top, LONG right, LONG bottom) {
  left = Clamp(left), top = Clamp(top), right = Clamp(right), bottom = Clamp(bottom);
  if (left > right) std::swap(left, right);
  if (top > bottom) std::swap(top, bottom);
  if (left == right || top == bottom) return {};
  return Bands{RegionBand{top, bottom, Spans{{left, right}}}};
}

int RegionType(const Bands& bands) {
  if (bands.empty()) return NULLREGION;
  return bands.size() == 1 && bands[0].spans.size() == 1 ? SIMPLEREGION : COMPLEXREGION;
}

std::uint64_t ISqrt(std::uint64_t n) {
  auto r = static_cast<std::uint64_t>(std::sqrt(static_cast<long double>(n)));
  while (r > 0 && static_cast<unsigned __int128>(r) * r > n) --r;
  while (static_cast<unsigned __int128>(r + 1) * (r + 1) <= n) ++r;
  return r;
}

// Ceiling of n/d for d > 0.
std::int64_t CeilDiv(std::int64_t n, std::int64_t d) { return n >= 0 ? (n + d - 1) / d : -((-n) / d); }

struct Edge {
  std::int64_t x1, y1, x2, y2;  // y1 < y2
  int dir;                      // +1 downwards in the point order, -1 upwards
};

}  // namespace

HRGN CreateRectRgn(int left, int top, int right, int bottom) {
  return NewRegion(RectBands(left, top, right, bottom));
}

HRGN CreateRoundRectRgn(int left, int top, int right, int bottom, int ellipseWidth, int ellipseHeight) {
  LONG x0 = Clamp(left), y0 = Clamp(top), x1 = Clamp(right), y1 = Clamp(bottom);
  if (x0 > x1) std::swap(x0, x1);
  if (y0 > y1) std::swap(y0, y1);
  // GDI's rounded rectangle stops one pixel short of a plain rectangle's right and
  // bottom edges: (0, 0, 10, 10) covers the pixels 0 to 8 each way.
  Bands rect = RectBands(x0, y0, x1 > x0 ? x1 - 1 : x1, y1 > y0 ? y1 - 1 : y1);
  if (rect.empty()) return NewRegion({});
  const LONG l = rect[0].spans[0].first, r = rect[0].spans[0].second;
  const LONG t = rect[0].top, b = rect[0].bottom;
  const std::int64_t w = std::min<std::int64_t>(std::llabs(ellipseWidth), r - l);
  const std::int64_t h = std::min<std::int64_t>(std::llabs(ellipseHeight), b - t);
  if (w < 2 || h < 2) return NewRegion(std::move(rect));
  // A pixel of a corner row is inside when its centre lies in the corner's ellipse:
  // (2x+1-2l-w)^2 h^2 + (2y+1-2t-h)^2 w^2 <= w^2 h^2, in integers.
  Bands bands;
  auto row = [&](LONG y) -> Spans {
    std::int64_t dy = 2 * std::int64_t{y} + 1 - 2 * std::int64_t{t} - h;  // from the top centre line
    if (dy > 0) {
      dy = 2 * std::int64_t{y} + 1 - 2 * std::int64_t{b} + h;  // from the bottom centre line
      if (dy < 0) return Spans{{l, r}};
    }
    unsigned __int128 h2 = static_cast<unsigned __int128>(h) * h;
    unsigned __int128 dy2 = static_cast<unsigned __int128>(dy < 0 ? -dy : dy) * static_cast<std::uint64_t>(dy < 0 ? -dy : dy);
    if (dy2 > h2) return {};
    unsigned __int128 n = static_cast<unsigned __int128>(w) * w * (h2 - dy2);
    std::int64_t m = static_cast<std::int64_t>(ISqrt(static_cast<std::uint64_t>(n / h2)));
    // u = 2x+1-2l-w has the parity of w+1; take the smallest such u >= -m.
    std::int64_t u = -m;
    if (((u - (w + 1)) % 2) != 0) ++u;
    if (u > m) return {};
    std::int64_t x0 = (u + 2 * std::int64_t{l} + w - 1) / 2;
    std::int64_t x1 = std::int64_t{l} + r - x0;
    if (x0 >= x1) return {};
    return Spans{{static_cast<LONG>(x0), static_cast<LONG>(x1)}};
  };
  // Rows of the straight middle part are all alike: one band.
  const LONG topEnd = static_cast<LONG>(t + (h + 1) / 2);
  const LONG bottomStart = static_cast<LONG>(b - (h + 1) / 2);
  for (LONG y = t; y < std::min(topEnd, b); ++y) Append(bands, y, y + 1, row(y));
  if (bottomStart > topEnd) Append(bands, topEnd, bottomStart, Spans{{l, r}});
  for (LONG y = std::max(bottomStart, topEnd); y < b; ++y) Append(bands, y, y + 1, row(y));
  return NewRegion(std::move(bands));
}

HRGN CreatePolygonRgn(const POINT* points, int count, int fillMode) {
  if ((points == nullptr && count > 0) || count < 0 || (fillMode != ALTERNATE && fillMode != WINDING)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  std::vector<Edge> edges;
  for (int i = 0; i < count && count >= 3; ++i) {
    const POINT& p = points[i];
    const POINT& q = points[(i + 1) % count];
    std::int64_t x1 = Clamp(p.x), y1 = Clamp(p.y), x2 = Clamp(q.x), y2 = Clamp(q.y);
    if (y1 == y2) continue;  // horizontal edges cross no row
    if (y1 < y2)
      edges.push_back(Edge{x1, y1, x2, y2, +1});
    else
      edges.push_back(Edge{x2, y2, x1, y1, -1});
  }
  Bands bands;
  if (edges.empty()) return NewRegion({});
  std::sort(edges.begin(), edges.end(), [](const Edge& a, const Edge& b) { return a.y1 < b.y1; });
  std::int64_t yEnd = 0;
  for (const Edge& e : edges) yEnd = std::max(yEnd, e.y2);

  std::vector<const Edge*> active;
  std::vector<std::pair<std::int64_t, int>> crossings;
  size_t nextEdge = 0;
  std::int64_t y = edges.front().y1;
  while (y < yEnd) {
    while (nextEdge < edges.size() && edges[nextEdge].y1 <= y) active.push_back(&edges[nextEdge++]);
    active.erase(std::remove_if(active.begin(), active.end(), [y](const Edge* e) { return e->y2 <= y; }),
                 active.end());
    // The next row at which the set of edges changes.
    std::int64_t change = nextEdge < edges.size() ? edges[nextEdge].y1 : yEnd;
    bool allVertical = true;
    for (const Edge* e : active) {
      change = std::min(change, e->y2);
      if (e->x1 != e->x2) allVertical = false;
    }
    if (active.empty()) {
      y = change;
      continue;
    }
    // Rows where only vertical edges are active look alike: one band for all of them.
    std::int64_t rowEnd = allVertical ? change : y + 1;
    crossings.clear();
    for (const Edge* e : active) {
      // The first pixel at or right of the edge in this row.
      std::int64_t x = e->x1 + CeilDiv((y - e->y1) * (e->x2 - e->x1), e->y2 - e->y1);
      crossings.emplace_back(x, e->dir);
    }
    std::sort(crossings.begin(), crossings.end());
    Spans spans;
    int winding = 0, parity = 0;
    bool inside = false;
    std::int64_t start = 0;
    for (size_t i = 0; i < crossings.size();) {
      std::int64_t x = crossings[i].first;
      for (; i < crossings.size() && crossings[i].first == x; ++i) {
        winding += crossings[i].second;
        parity ^= 1;
      }
      bool now = fillMode == WINDING ? winding != 0 : parity != 0;
      if (now && !inside) start = x;
      if (!now && inside && x > start)
        spans.emplace_back(static_cast<LONG>(start), static_cast<LONG>(x));
      inside = now;
    }
    Append(bands, static_cast<LONG>(y), static_cast<LONG>(rowEnd), std::move(spans));
    y = rowEnd;
  }
  return NewRegion(std::move(bands));
}

int CombineRgn(HRGN dest, HRGN src1, HRGN src2, int mode) {
  std::lock_guard lock(Table().mutex);
  Region* d = Find(dest);
  Region* a = Find(src1);
  Region* b = mode == RGN_COPY ? nullptr : Find(src2);
  if (d == nullptr || a == nullptr || (mode != RGN_COPY && b == nullptr) || mode < RGN_AND || mode > RGN_COPY) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return ERROR;
  }
  if (mode == RGN_COPY) {
    if (d != a) d->bands = a->bands;
  } else if (mode == RGN_AND) {
    d->bands = Intersect(a->bands, b->bands);
  } else {
    Bands second;
    if (b == d) second = b->bands;  // d is about to change
    if (d != a) d->bands = a->bands;
    CombineInPlace(d->bands, b == d ? second : b->bands, mode);
  }
  return RegionType(d->bands);
}

BOOL PtInRegion(HRGN region, int x, int y) {
  std::lock_guard lock(Table().mutex);
  Region* r = Find(region);
  if (r == nullptr) return FALSE;
  auto band = std::upper_bound(r->bands.begin(), r->bands.end(), y,
                               [](LONG v, const RegionBand& b) { return v < b.bottom; });
  if (band == r->bands.end() || band->top > y) return FALSE;
  auto span = std::upper_bound(band->spans.begin(), band->spans.end(), x,
                               [](LONG v, const std::pair<LONG, LONG>& s) { return v < s.second; });
  return span != band->spans.end() && span->first <= x ? TRUE : FALSE;
}

int GetRgnBox(HRGN region, RECT* box) {
  std::lock_guard lock(Table().mutex);
  Region* r = Find(region);
  if (r == nullptr || box == nullptr) return ERROR;
  *box = RECT{0, 0, 0, 0};
  if (r->bands.empty()) return NULLREGION;
  box->top = r->bands.front().top;
  box->bottom = r->bands.back().bottom;
  box->left = INT32_MAX;
  box->right = INT32_MIN;
  for (const RegionBand& b : r->bands) {
    box->left = std::min(box->left, b.spans.front().first);
    box->right = std::max(box->right, b.spans.back().second);
  }
  return RegionType(r->bands);
}

int OffsetRgn(HRGN region, int dx, int dy) {
  std::lock_guard lock(Table().mutex);
  Region* r = Find(region);
  if (r == nullptr) return ERROR;
  if (r->bands.empty()) return NULLREGION;
  std::int64_t minX = INT64_MAX, maxX = INT64_MIN;
  for (const RegionBand& b : r->bands) {
    minX = std::min<std::int64_t>(minX, b.spans.front().first);
    maxX = std::max<std::int64_t>(maxX, b.spans.back().second);
  }
  auto within = [](std::int64_t v) { return v >= -kLimit && v <= kLimit; };
  if (!within(minX + dx) || !within(maxX + dx) || !within(std::int64_t{r->bands.front().top} + dy) ||
      !within(std::int64_t{r->bands.back().bottom} + dy))
    return ERROR;
  for (RegionBand& b : r->bands) {
    b.top += dy;
    b.bottom += dy;
    for (auto& s : b.spans) {
      s.first += dx;
      s.second += dx;
    }
  }
  return RegionType(r->bands);
}

BOOL EqualRgn(HRGN a, HRGN b) {
  std::lock_guard lock(Table().mutex);
  Region* ra = Find(a);
  Region* rb = Find(b);
  if (ra == nullptr || rb == nullptr) return ERROR;
  if (ra->bands.size() != rb->bands.size()) return FALSE;
  for (size_t i = 0; i < ra->bands.size(); ++i) {
    const RegionBand& x = ra->bands[i];
    const RegionBand& y = rb->bands[i];
    if (x.top != y.top || x.bottom != y.bottom || x.spans != y.spans) return FALSE;
  }
  return TRUE;
}

BOOL DeleteObject(HGDIOBJ object) {
  if (object == nullptr) return FALSE;
  DeleteObjectHandler other;
  {
    std::lock_guard lock(Table().mutex);
    if (Region* r = Find(object)) {
      Table().live.erase(r);
      delete r;
      return TRUE;
    }
    other = Table().otherObjects;
  }
  return other ? other(object) : FALSE;
}

std::vector<RegionBand> GetRegionBands(HRGN region) {
  std::lock_guard lock(Table().mutex);
  Region* r = Find(region);
  return r == nullptr ? Bands{} : r->bands;
}

std::vector<RegionSpan> GetRegionSpans(HRGN region) {
  std::vector<RegionSpan> out;
  for (const RegionBand& b : GetRegionBands(region))
    for (LONG y = b.top; y < b.bottom; ++y)
      for (const auto& s : b.spans) out.push_back(RegionSpan{y, s.first, s.second});
  return out;
}

bool IsRegion(HGDIOBJ object) {
  std::lock_guard lock(Table().mutex);
  return Find(object) != nullptr;
}

DeleteObjectHandler SetDeleteObjectHandler(DeleteObjectHandler handler) {
  std::lock_guard lock(Table().mutex);
  DeleteObjectHandler previous = std::move(Table().otherObjects);
  Table().otherObjects = std::move(handler);
  return previous;
}
