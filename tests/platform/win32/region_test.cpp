#include <gtest/gtest.h>
#include <win32/region.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <random>
#include <set>
#include <vector>

namespace {

using Spans = std::vector<RegionSpan>;

// Deletes the region at the end of the test.
struct Rgn {
  HRGN h;
  explicit Rgn(HRGN r) : h(r) {}
  ~Rgn() { DeleteObject(h); }
  operator HRGN() const { return h; }
};

// Every pixel of the region in a window of the plane, as a set.
std::set<std::pair<int, int>> Pixels(HRGN r, int x0, int y0, int x1, int y1) {
  std::set<std::pair<int, int>> px;
  for (int y = y0; y < y1; ++y)
    for (int x = x0; x < x1; ++x)
      if (PtInRegion(r, x, y)) px.insert({x, y});
  return px;
}

std::set<std::pair<int, int>> PixelsFromSpans(HRGN r) {
  std::set<std::pair<int, int>> px;
  for (const RegionSpan& s : GetRegionSpans(r))
    for (int x = s.x0; x < s.x1; ++x) px.insert({x, s.row});
  return px;
}

TEST(Region, RectangleExcludesRightAndBottomEdges) {
  Rgn r(CreateRectRgn(2, 1, 5, 3));
  EXPECT_EQ(GetRegionSpans(r), (Spans{{1, 2, 5}, {2, 2, 5}}));
  EXPECT_TRUE(PtInRegion(r, 2, 1));
  EXPECT_TRUE(PtInRegion(r, 4, 2));
  EXPECT_FALSE(PtInRegion(r, 5, 2));
  EXPECT_FALSE(PtInRegion(r, 4, 3));
  EXPECT_FALSE(PtInRegion(r, 1, 1));
  EXPECT_FALSE(PtInRegion(r, 2, 0));
  RECT box;
  EXPECT_EQ(GetRgnBox(r, &box), SIMPLEREGION);
  EXPECT_EQ(box.left, 2);
  EXPECT_EQ(box.top, 1);
  EXPECT_EQ(box.right, 5);
  EXPECT_EQ(box.bottom, 3);

  Rgn swapped(CreateRectRgn(5, 3, 2, 1));
  EXPECT_TRUE(EqualRgn(r, swapped));
  Rgn empty(CreateRectRgn(4, 4, 4, 9));
  EXPECT_EQ(GetRgnBox(empty, &box), NULLREGION);
  EXPECT_EQ(box.left | box.top | box.right | box.bottom, 0);
  EXPECT_TRUE(GetRegionSpans(empty).empty());
}

TEST(Region, RoundRectangleCornersFollowTheEllipse) {
  // The right and bottom edges lie one pixel further in than a rectangle's:
  // (0, 0, 10, 8) rounds the pixels 0 to 8 by 0 to 6.
  Rgn r(CreateRoundRectRgn(0, 0, 10, 8, 4, 4));
  EXPECT_EQ(GetRegionSpans(r), (Spans{{0, 1, 8},
                                      {1, 0, 9},
                                      {2, 0, 9},
                                      {3, 0, 9},
                                      {4, 0, 9},
                                      {5, 0, 9},
                                      {6, 1, 8}}));
  // Ellipses too small to cut a pixel, or none at all, give that smaller rectangle.
  Rgn rect(CreateRectRgn(0, 0, 9, 7));
  Rgn flat(CreateRoundRectRgn(0, 0, 10, 8, 0, 0));
  EXPECT_TRUE(EqualRgn(flat, rect));
  Rgn swapped(CreateRoundRectRgn(10, 8, 0, 0, 0, 0));
  EXPECT_TRUE(EqualRgn(swapped, rect));
  // One pixel wide or high: nothing is left.
  Rgn thin(CreateRoundRectRgn(0, 0, 1, 8, 0, 0));
  RECT box;
  EXPECT_EQ(GetRgnBox(thin, &box), NULLREGION);
  // Left and right corners are cut alike: each row is symmetric about the middle.
  Rgn wide(CreateRoundRectRgn(0, 0, 41, 20, 26, 26));
  for (const RegionSpan& s : GetRegionSpans(wide)) EXPECT_EQ(s.x0, 40 - s.x1) << s.row;
}

TEST(Region, RoundRectangleMatchesPixelCentresInTheCornerEllipses) {
  // Reference: a pixel is in when its centre is inside the rectangle with the four
  // quarter ellipses cut off at the corners.
  for (auto [w, h, ew, eh] : std::vector<std::array<int, 4>>{
           {20, 14, 7, 5}, {31, 9, 12, 9}, {16, 16, 16, 16}, {40, 25, 30, 11}, {7, 30, 3, 40}}) {
    // The rounded rectangle is one pixel narrower and lower than the arguments say.
    Rgn r(CreateRoundRectRgn(3, -2, 3 + w + 1, -2 + h + 1, ew, eh));
    double a = std::min(ew, w) / 2.0, b = std::min(eh, h) / 2.0;
    std::set<std::pair<int, int>> want;
    for (int y = -2; y < -2 + h; ++y)
      for (int x = 3; x < 3 + w; ++x) {
        double cx = x + 0.5, cy = y + 0.5;
        double ex = std::clamp(cx, 3 + a, 3 + w - a), ey = std::clamp(cy, -2 + b, -2 + h - b);
        double dx = (cx - ex) / a, dy = (cy - ey) / b;
        if (dx * dx + dy * dy <= 1.0 + 1e-12) want.insert({x, y});
      }
    EXPECT_EQ(PixelsFromSpans(r), want) << w << "x" << h << " ellipse " << ew << "x" << eh;
    EXPECT_EQ(Pixels(r, -5, -10, 60, 60), want);
  }
}

TEST(Region, PolygonCoversPixelsWhoseTopLeftCornerIsInside) {
  POINT tri[] = {{0, 0}, {4, 0}, {0, 4}};
  Rgn r(CreatePolygonRgn(tri, 3, ALTERNATE));
  EXPECT_EQ(GetRegionSpans(r), (Spans{{0, 0, 4}, {1, 0, 3}, {2, 0, 2}, {3, 0, 1}}));

  // A rectangle as a polygon is the rectangle region, in either direction.
  POINT square[] = {{1, 1}, {6, 1}, {6, 4}, {1, 4}};
  POINT back[] = {{1, 4}, {6, 4}, {6, 1}, {1, 1}};
  Rgn rect(CreateRectRgn(1, 1, 6, 4));
  Rgn p1(CreatePolygonRgn(square, 4, ALTERNATE));
  Rgn p2(CreatePolygonRgn(back, 4, WINDING));
  EXPECT_TRUE(EqualRgn(p1, rect));
  EXPECT_TRUE(EqualRgn(p2, rect));

  // Slanted right edge from (8,0) to (4,8): x = 8 - y/2, pixels left of it.
  POINT trap[] = {{0, 0}, {8, 0}, {4, 8}, {0, 8}};
  Rgn t(CreatePolygonRgn(trap, 4, ALTERNATE));
  Spans want;
  for (int y = 0; y < 8; ++y) want.push_back({y, 0, 8 - y / 2});
  EXPECT_EQ(GetRegionSpans(t), want);

  Rgn degenerate(CreatePolygonRgn(tri, 2, ALTERNATE));
  RECT box;
  EXPECT_EQ(GetRgnBox(degenerate, &box), NULLREGION);
  EXPECT_EQ(CreatePolygonRgn(nullptr, 3, ALTERNATE), nullptr);
  EXPECT_EQ(CreatePolygonRgn(tri, 3, 7), nullptr);
}

TEST(Region, AlternateAndWindingDifferWhereTheOutlineOverlapsItself) {
  // The outline runs twice round the same square: crossed twice, wound twice.
  POINT twice[] = {{0, 0}, {4, 0}, {4, 4}, {0, 4}, {0, 0}, {4, 0}, {4, 4}, {0, 4}};
  Rgn alt(CreatePolygonRgn(twice, 8, ALTERNATE));
  Rgn wind(CreatePolygonRgn(twice, 8, WINDING));
  RECT box;
  EXPECT_EQ(GetRgnBox(alt, &box), NULLREGION);
  Rgn square(CreateRectRgn(0, 0, 4, 4));
  EXPECT_TRUE(EqualRgn(wind, square));

  // A five-pointed star: its centre is inside with winding fill, a hole with alternate.
  POINT star[] = {{10, 0}, {16, 20}, {0, 7}, {20, 7}, {4, 20}};
  Rgn sa(CreatePolygonRgn(star, 5, ALTERNATE));
  Rgn sw(CreatePolygonRgn(star, 5, WINDING));
  EXPECT_FALSE(PtInRegion(sa, 10, 10));
  EXPECT_TRUE(PtInRegion(sw, 10, 10));
  EXPECT_TRUE(PtInRegion(sa, 10, 3));  // a point of the star
  EXPECT_TRUE(PtInRegion(sw, 10, 3));
  // Alternate lies within winding, and what winding adds is the centre only.
  Rgn extra(CreateRectRgn(0, 0, 0, 0));
  EXPECT_EQ(CombineRgn(extra, sa, sw, RGN_DIFF), NULLREGION);
  EXPECT_EQ(CombineRgn(extra, sw, sa, RGN_DIFF), COMPLEXREGION);
  EXPECT_EQ(GetRgnBox(extra, &box), COMPLEXREGION);
  EXPECT_GT(box.left, 4);
  EXPECT_LT(box.right, 16);
  EXPECT_GE(box.top, 7);
  EXPECT_LT(box.bottom, 20);
}

TEST(Region, CombineModesGiveTheExactPixelSets) {
  Rgn a(CreateRectRgn(0, 0, 4, 4));
  Rgn b(CreateRectRgn(2, 2, 6, 6));
  Rgn d(CreateRectRgn(0, 0, 0, 0));
  EXPECT_EQ(CombineRgn(d, a, b, RGN_AND), SIMPLEREGION);
  EXPECT_EQ(GetRegionSpans(d), (Spans{{2, 2, 4}, {3, 2, 4}}));
  EXPECT_EQ(CombineRgn(d, a, b, RGN_OR), COMPLEXREGION);
  EXPECT_EQ(GetRegionSpans(d), (Spans{{0, 0, 4}, {1, 0, 4}, {2, 0, 6}, {3, 0, 6}, {4, 2, 6}, {5, 2, 6}}));
  EXPECT_EQ(CombineRgn(d, a, b, RGN_XOR), COMPLEXREGION);
  EXPECT_EQ(GetRegionSpans(d),
            (Spans{{0, 0, 4}, {1, 0, 4}, {2, 0, 2}, {2, 4, 6}, {3, 0, 2}, {3, 4, 6}, {4, 2, 6}, {5, 2, 6}}));
  EXPECT_EQ(CombineRgn(d, a, b, RGN_DIFF), COMPLEXREGION);
  EXPECT_EQ(GetRegionSpans(d), (Spans{{0, 0, 4}, {1, 0, 4}, {2, 0, 2}, {3, 0, 2}}));
  EXPECT_EQ(CombineRgn(d, b, nullptr, RGN_COPY), SIMPLEREGION);
  EXPECT_TRUE(EqualRgn(d, b));

  // Touching rectangles merge into one.
  Rgn left(CreateRectRgn(0, 0, 3, 5));
  Rgn right(CreateRectRgn(3, 0, 8, 5));
  EXPECT_EQ(CombineRgn(d, left, right, RGN_OR), SIMPLEREGION);
  Rgn whole(CreateRectRgn(0, 0, 8, 5));
  EXPECT_TRUE(EqualRgn(d, whole));
  EXPECT_EQ(CombineRgn(d, left, right, RGN_AND), NULLREGION);

  // The destination may be either source.
  EXPECT_EQ(CombineRgn(b, a, b, RGN_DIFF), COMPLEXREGION);
  EXPECT_EQ(GetRegionSpans(b), (Spans{{0, 0, 4}, {1, 0, 4}, {2, 0, 2}, {3, 0, 2}}));

  EXPECT_EQ(CombineRgn(d, a, nullptr, RGN_OR), ERROR);
  EXPECT_EQ(CombineRgn(d, a, b, 9), ERROR);
  EXPECT_EQ(CombineRgn(nullptr, a, b, RGN_OR), ERROR);
}

TEST(Region, RandomCombinationsMatchABitmap) {
  constexpr int N = 24;
  std::mt19937 rng(1234);
  std::uniform_int_distribution<int> coord(-2, N + 2);
  std::uniform_int_distribution<int> mode(RGN_AND, RGN_COPY);
  std::vector<bool> ref(N * N + 0, false);
  auto inRef = [&](int x, int y) { return x >= 0 && y >= 0 && x < N && y < N && ref[y * N + x]; };
  Rgn acc(CreateRectRgn(0, 0, 0, 0));
  for (int step = 0; step < 400; ++step) {
    int l = coord(rng), t = coord(rng), r = coord(rng), b = coord(rng);
    int m = mode(rng);
    Rgn piece(CreateRectRgn(l, t, r, b));
    ASSERT_NE(CombineRgn(acc, acc, piece, m), ERROR);
    std::vector<bool> next(N * N);
    for (int y = 0; y < N; ++y)
      for (int x = 0; x < N; ++x) {
        bool a = inRef(x, y);
        bool p = x >= std::min(l, r) && x < std::max(l, r) && y >= std::min(t, b) && y < std::max(t, b);
        bool v = m == RGN_AND ? a && p : m == RGN_OR ? a || p : m == RGN_XOR ? a != p : m == RGN_DIFF ? a && !p : a;
        next[y * N + x] = v;
      }
    // Pieces reach past the grid: clip the region to it so both describe the same pixels.
    Rgn grid(CreateRectRgn(0, 0, N, N));
    CombineRgn(acc, acc, grid, RGN_AND);
    ref = next;
    for (int y = -3; y < N + 3; ++y)
      for (int x = -3; x < N + 3; ++x) ASSERT_EQ(PtInRegion(acc, x, y) != 0, inRef(x, y)) << step << " " << x << "," << y;
    // The stored form is canonical: a region rebuilt from its spans is equal to it.
    Rgn rebuilt(CreateRectRgn(0, 0, 0, 0));
    for (const RegionSpan& s : GetRegionSpans(acc)) {
      Rgn one(CreateRectRgn(s.x0, s.row, s.x1, s.row + 1));
      CombineRgn(rebuilt, rebuilt, one, RGN_OR);
    }
    ASSERT_TRUE(EqualRgn(rebuilt, acc)) << step;
  }
}

TEST(Region, CuttingSinglePixelsWithXor) {
  Rgn r(CreateRectRgn(0, 0, 300, 200));
  Rgn original(CreateRectRgn(0, 0, 300, 200));
  for (int y = 10; y < 190; y += 7)
    for (int x = 5; x < 295; x += 11) {
      Rgn px(CreateRectRgn(x, y, x + 1, y + 1));
      ASSERT_EQ(CombineRgn(r, r, px, RGN_XOR), COMPLEXREGION);
    }
  EXPECT_FALSE(PtInRegion(r, 5, 10));
  EXPECT_TRUE(PtInRegion(r, 6, 10));
  EXPECT_TRUE(PtInRegion(r, 5, 11));
  EXPECT_FALSE(PtInRegion(r, 16, 17));
  EXPECT_FALSE(EqualRgn(r, original));
  for (int y = 10; y < 190; y += 7)
    for (int x = 5; x < 295; x += 11) {
      Rgn px(CreateRectRgn(x, y, x + 1, y + 1));
      CombineRgn(r, r, px, RGN_XOR);
    }
  EXPECT_TRUE(EqualRgn(r, original));
  EXPECT_EQ(GetRegionBands(r).size(), 1u);
}

TEST(Region, OffsetBoxEqualityAndDeletion) {
  Rgn r(CreateRoundRectRgn(0, 0, 20, 10, 6, 6));
  Rgn moved(CreateRoundRectRgn(-5, 7, 15, 17, 6, 6));
  EXPECT_FALSE(EqualRgn(r, moved));
  EXPECT_EQ(OffsetRgn(r, -5, 7), COMPLEXREGION);
  EXPECT_TRUE(EqualRgn(r, moved));
  RECT box;
  EXPECT_EQ(GetRgnBox(r, &box), COMPLEXREGION);
  EXPECT_EQ(box.left, -5);
  EXPECT_EQ(box.top, 7);
  EXPECT_EQ(box.right, 14);
  EXPECT_EQ(box.bottom, 16);
  // A move out of the coordinate range fails and leaves the region alone.
  EXPECT_EQ(OffsetRgn(r, 1 << 28, 0), ERROR);
  EXPECT_TRUE(EqualRgn(r, moved));

  HRGN gone = CreateRectRgn(0, 0, 1, 1);
  EXPECT_TRUE(IsRegion(gone));
  EXPECT_TRUE(DeleteObject(gone));
  EXPECT_FALSE(IsRegion(gone));
  // A deleted or foreign handle is refused, never followed.
  EXPECT_FALSE(DeleteObject(gone));
  EXPECT_FALSE(PtInRegion(gone, 0, 0));
  EXPECT_EQ(GetRgnBox(gone, &box), ERROR);
  EXPECT_EQ(OffsetRgn(gone, 1, 1), ERROR);
  EXPECT_EQ(CombineRgn(r, gone, r, RGN_OR), ERROR);
  EXPECT_TRUE(GetRegionSpans(gone).empty());

  // Objects that are not regions go to the GUI layer's handler.
  int foreign = 0;
  HGDIOBJ seen = nullptr;
  DeleteObjectHandler previous = SetDeleteObjectHandler([&](HGDIOBJ o) {
    seen = o;
    return TRUE;
  });
  EXPECT_TRUE(DeleteObject(&foreign));
  EXPECT_EQ(seen, &foreign);
  SetDeleteObjectHandler(previous);
  EXPECT_FALSE(DeleteObject(&foreign));
}

TEST(Region, HugeRectanglesStayCompact) {
  Rgn big(CreateRectRgn(-100000000, -100000000, 100000000, 100000000));
  Rgn hole(CreateRectRgn(0, 0, 10, 10));
  EXPECT_EQ(CombineRgn(big, big, hole, RGN_DIFF), COMPLEXREGION);
  EXPECT_EQ(GetRegionBands(big).size(), 3u);
  EXPECT_FALSE(PtInRegion(big, 5, 5));
  EXPECT_TRUE(PtInRegion(big, -99999999, 99999999));
  POINT quad[] = {{-100000000, -100000000}, {100000000, -100000000}, {100000000, 100000000}, {-100000000, 100000000}};
  Rgn poly(CreatePolygonRgn(quad, 4, ALTERNATE));
  EXPECT_EQ(GetRegionBands(poly).size(), 1u);
}

}  // namespace
