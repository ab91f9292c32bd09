#include "artdraw.h"

#include <algorithm>
#include <fstream>
#include <sstream>

namespace artdraw {

namespace {

void Put(TBitmap& b, int x, int y, TColor c) {
  TSurface& s = b.Surface();
  if (s.Contains(x, y)) s.Set(x, y, ColorRefToPixel(static_cast<COLORREF>(c)));
}

TRect Clipped(TBitmap& b, const TRect& r) {
  return TRect(std::max(r.Left, 0), std::max(r.Top, 0), std::min(r.Right, b.Width()),
               std::min(r.Bottom, b.Height()));
}

}  // namespace

TColor Mix(TColor a, TColor b, int num, int den) {
  if (den <= 0) return a;
  auto ch = [&](int shift) {
    int x = (a >> shift) & 255, y = (b >> shift) & 255;
    int d = (y - x) * num;
    int v = x + (d >= 0 ? (d + den / 2) / den : -((-d + den / 2) / den));
    return std::clamp(v, 0, 255) << shift;
  };
  return ch(0) | ch(8) | ch(16);
}

TColor Lighten(TColor c, int percent) { return Mix(c, clWhite, percent, 100); }
TColor Darken(TColor c, int percent) { return Mix(c, clBlack, percent, 100); }

void Fill(TBitmap& b, const TRect& r, TColor c) {
  TRect k = Clipped(b, r);
  for (int y = k.Top; y < k.Bottom; ++y)
    for (int x = k.Left; x < k.Right; ++x) Put(b, x, y, c);
}

void Frame(TBitmap& b, const TRect& r, TColor c) {
  if (r.IsEmpty()) return;
  Fill(b, TRect(r.Left, r.Top, r.Right, r.Top + 1), c);
  Fill(b, TRect(r.Left, r.Bottom - 1, r.Right, r.Bottom), c);
  Fill(b, TRect(r.Left, r.Top, r.Left + 1, r.Bottom), c);
  Fill(b, TRect(r.Right - 1, r.Top, r.Right, r.Bottom), c);
}

void VerticalGradient(TBitmap& b, const TRect& r, TColor from, TColor to) {
  int n = r.Height() - 1;
  for (int y = r.Top; y < r.Bottom; ++y)
    Fill(b, TRect(r.Left, y, r.Right, y + 1), n > 0 ? Mix(from, to, y - r.Top, n) : from);
}

void HorizontalGradient(TBitmap& b, const TRect& r, TColor from, TColor to) {
  int n = r.Width() - 1;
  for (int x = r.Left; x < r.Right; ++x)
    Fill(b, TRect(x, r.Top, x + 1, r.Bottom), n > 0 ? Mix(from, to, x - r.Left, n) : from);
}

void GlassGradient(TBitmap& b, const TRect& r, TColor top, TColor mid, TColor mid2, TColor bottom) {
  int half = r.Top + r.Height() / 2;
  VerticalGradient(b, TRect(r.Left, r.Top, r.Right, half), top, mid);
  VerticalGradient(b, TRect(r.Left, half, r.Right, r.Bottom), mid2, bottom);
}

void Bevel(TBitmap& b, const TRect& r, TColor light, TColor dark) {
  if (r.IsEmpty()) return;
  Fill(b, TRect(r.Left, r.Top, r.Right, r.Top + 1), light);
  Fill(b, TRect(r.Left, r.Top, r.Left + 1, r.Bottom), light);
  Fill(b, TRect(r.Left, r.Bottom - 1, r.Right, r.Bottom), dark);
  Fill(b, TRect(r.Right - 1, r.Top, r.Right, r.Bottom), dark);
}

bool InRoundRect(const TRect& r, int radius, int x, int y) {
  if (!r.Contains(x, y)) return false;
  radius = std::min({radius, r.Width() / 2, r.Height() / 2});
  if (radius <= 0) return true;
  // Twice the coordinates, so that pixel centres are whole numbers.
  int cx = 2 * x + 1, cy = 2 * y + 1;
  int left = 2 * (r.Left + radius), right = 2 * (r.Right - radius);
  int top = 2 * (r.Top + radius), bottom = 2 * (r.Bottom - radius);
  int dx = cx < left ? left - cx : (cx > right ? cx - right : 0);
  int dy = cy < top ? top - cy : (cy > bottom ? cy - bottom : 0);
  return dx * dx + dy * dy <= 4 * radius * radius;
}

void RoundBox(TBitmap& b, const TRect& r, int radius, TColor top, TColor bottom, TColor border) {
  int n = std::max(r.Height() - 1, 1);
  for (int y = r.Top; y < r.Bottom; ++y)
    for (int x = r.Left; x < r.Right; ++x) {
      if (!InRoundRect(r, radius, x, y)) continue;
      // On the edge when a 4-neighbour lies outside.
      bool edge = !InRoundRect(r, radius, x - 1, y) || !InRoundRect(r, radius, x + 1, y) ||
                  !InRoundRect(r, radius, x, y - 1) || !InRoundRect(r, radius, x, y + 1);
      Put(b, x, y, edge ? border : Mix(top, bottom, y - r.Top, n));
    }
}

void Disc(TBitmap& b, const TRect& r, TColor top, TColor bottom, TColor border) {
  int d = std::min(r.Width(), r.Height());
  TRect sq(r.Left + (r.Width() - d) / 2, r.Top + (r.Height() - d) / 2, 0, 0);
  sq.Right = sq.Left + d;
  sq.Bottom = sq.Top + d;
  RoundBox(b, sq, (d + 1) / 2, top, bottom, border);
}

namespace {

// Glyph shapes on a 9 by 9 grid ('#' set), scaled by whole pixels into the rectangle.
const std::map<Glyph, std::vector<const char*>>& Shapes() {
  static const std::map<Glyph, std::vector<const char*>> shapes = {
      {Glyph::Check, {"........#", ".......##", "......##.", "#....##..", "##..##...", ".####....",
                      "..##.....", ".........", "........."}},
      {Glyph::Dot, {".........", ".........", "...###...", "..#####..", "..#####..", "..#####..",
                    "...###...", ".........", "........."}},
      {Glyph::Cross, {"##.....##", "###...###", ".###.###.", "..#####..", "...###...", "..#####..",
                      ".###.###.", "###...###", "##.....##"}},
      {Glyph::Maximise, {"#########", "#########", "#.......#", "#.......#", "#.......#", "#.......#",
                         "#.......#", "#.......#", "#########"}},
      {Glyph::Restore, {"..#######", "..#######", "..#.....#", "#######.#", "#######.#", "#.....###",
                        "#.....#..", "#.....#..", "#######.."}},
      {Glyph::Minimise, {".........", ".........", ".........", ".........", ".........", ".........",
                         ".........", "#######..", "#######.."}},
      {Glyph::Help, {"..#####..", ".##...##.", ".##...##.", "......##.", "....##...", "...##....",
                     "...##....", ".........", "...##...."}},
      {Glyph::Menu, {".........", "#########", "#########", ".........", "#########", "#########",
                     ".........", "#########", "#########"}},
      {Glyph::ArrowDown, {".........", ".........", ".........", "#########", ".#######.", "..#####..",
                          "...###...", "....#....", "........."}},
      {Glyph::PinIn, {"...###...", "...#.#...", "...#.#...", "...#.#...", "..#####..", ".#######.",
                      "....#....", "....#....", "....#...."}},
      {Glyph::PinOut, {".........", "#.....#..", "#######..", "#.....###", "#######..", "#.....#..",
                       ".........", ".........", "........."}},
  };
  return shapes;
}

}  // namespace

void DrawGlyph(TBitmap& b, const TRect& r, Glyph g, TColor c) {
  const auto& rows = Shapes().at(g);
  int scale = std::max(1, std::min(r.Width(), r.Height()) / 9);
  int size = 9 * scale;
  int ox = r.Left + (r.Width() - size) / 2, oy = r.Top + (r.Height() - size) / 2;
  if (std::min(r.Width(), r.Height()) < 9) {
    // Too small for the grid: draw every other cell of a 5 by 5 reduction.
    size = std::min(r.Width(), r.Height());
    ox = r.Left + (r.Width() - size) / 2;
    oy = r.Top + (r.Height() - size) / 2;
    for (int y = 0; y < size; ++y)
      for (int x = 0; x < size; ++x)
        if (rows[y * 9 / size][x * 9 / size] == '#') Put(b, ox + x, oy + y, c);
    return;
  }
  for (int y = 0; y < 9; ++y)
    for (int x = 0; x < 9; ++x)
      if (rows[y][x] == '#') Fill(b, TRect(ox + x * scale, oy + y * scale, ox + (x + 1) * scale, oy + (y + 1) * scale), c);
}

void Text(TBitmap& b, int x, int y, const std::string& text, const std::string& face, int pixelHeight,
          bool bold, TColor c) {
  TCanvas* cv = b.Canvas();
  cv->Font()->SetName(face);
  cv->Font()->SetHeight(-pixelHeight);
  cv->Font()->SetStyle(bold ? TFontStyles{fsBold} : TFontStyles{});
  cv->Font()->SetColor(c);
  cv->Brush()->SetStyle(bsClear);
  cv->TextOut(x, y, text);
}

std::vector<PictureRecipe> ReadPictureTable(const std::string& path) {
  std::ifstream in(path);
  if (!in) throw EFOpenError("Cannot open picture table " + path);
  std::vector<PictureRecipe> out;
  std::string line;
  int number = 0;
  while (std::getline(in, line)) {
    ++number;
    std::istringstream words(line);
    PictureRecipe p;
    if (!(words >> p.name) || p.name[0] == '#') continue;
    if (!(words >> p.width >> p.height >> p.recipe) || p.width <= 0 || p.height <= 0 ||
        p.width > 4096 || p.height > 4096)
      throw Exception(path + ":" + std::to_string(number) + ": expected NAME WIDTH HEIGHT RECIPE");
    std::string a;
    while (words >> a) p.args.push_back(a);
    out.push_back(std::move(p));
  }
  return out;
}

void SaveBmp(TBitmap& b, const std::string& path) {
  std::vector<std::uint8_t> bytes = b.SaveToBytes();
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw EFOpenError("Cannot write " + path);
}

}  // namespace artdraw
