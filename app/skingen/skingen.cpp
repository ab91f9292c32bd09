// Draws the program's skins: for each skin a folder SKINn with the face picture
// (magenta outside the outline and in its holes), the button layout "skin.ini", the
// button strips ctrl1.bmp .. ctrl10.bmp (ctrl9_2.bmp for button 9) of four frames
// (normal, pressed, mouse-over, disabled) and the preview's welcome picture.
// Everything is computed from the table below, so every build draws the same bytes.
//
//   skingen <output folder>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <artdraw.h>

using artdraw::kMagenta;
using artdraw::Mix;

namespace {

// Shapes of outlines and holes, as tests of a pixel against the shape's rectangle.
enum class Shape { RoundRect, Chamfer, Capsule, Circle, Slot, Diamond };
enum class Glyph { None, Minimise, NextSkin, Close };

struct Button {
  int number;
  int left, top, width, height;
  const char* label;  // drawn when the glyph is None
  Glyph glyph;
};

struct Skin {
  const char* name;
  int width, height;
  Shape outline;
  Shape hole;
  TRect holeRect;
  int titleLeft;
  TColor top, bottom;      // face gradient
  TColor edge;             // outline stroke
  TColor buttonTop, buttonBottom, buttonText;
  std::vector<Button> buttons;
};

std::vector<Button> Layout(int w, int rightMargin, int modeTop, int modeWidth, int bottomTop) {
  int step = modeWidth + 12;
  int r = w - rightMargin;
  return {
      {1, r - 92, 12, 28, 24, "", Glyph::Minimise},
      {2, r - 60, 12, 28, 24, "", Glyph::NextSkin},
      {3, r - 28, 12, 28, 24, "", Glyph::Close},
      {4, 40, modeTop, modeWidth, 44, "DivX", Glyph::None},
      {5, 40 + step, modeTop, modeWidth, 44, "AVI", Glyph::None},
      {6, 40 + 2 * step, modeTop, modeWidth, 44, "VCD", Glyph::None},
      {7, 40 + 3 * step, modeTop, modeWidth, 44, "SVCD", Glyph::None},
      {8, 40, bottomTop, 76, 30, "Menu", Glyph::None},
      {9, 128, bottomTop, 76, 30, "Home", Glyph::None},
      {10, 216, bottomTop, 76, 30, "Help", Glyph::None},
  };
}

const std::vector<Skin>& Skins() {
  static const std::vector<Skin> skins = {
      {"Harbour", 513, 233, Shape::RoundRect, Shape::Circle, TRect(420, 152, 468, 200), 24,
       RGB(36, 96, 168), RGB(10, 30, 70), RGB(4, 12, 36), RGB(120, 190, 250), RGB(30, 90, 170), clWhite,
       Layout(513, 20, 72, 84, 166)},
      {"Ember", 540, 220, Shape::Chamfer, Shape::Slot, TRect(356, 172, 500, 188), 44,
       RGB(236, 132, 40), RGB(120, 24, 12), RGB(60, 10, 4), RGB(255, 226, 150), RGB(200, 90, 20),
       RGB(60, 16, 0), Layout(540, 44, 66, 90, 158)},
      {"Grove", 480, 260, Shape::Capsule, Shape::Diamond, TRect(380, 170, 420, 222), 64,
       RGB(150, 200, 110), RGB(24, 80, 40), RGB(10, 40, 16), RGB(230, 250, 200), RGB(90, 150, 70),
       RGB(10, 50, 20), Layout(480, 72, 80, 78, 182)},
  };
  return skins;
}

// A colour as a scan line holds it (0x00RRGGBB).
std::uint32_t Pixel(TColor c) {
  c = ColorToRGB(c);
  return std::uint32_t(GetRValue(c) << 16 | GetGValue(c) << 8 | GetBValue(c));
}

bool Inside(Shape shape, const TRect& r, int x, int y) {
  if (!r.Contains(x, y)) return false;
  switch (shape) {
    case Shape::RoundRect:
      return artdraw::InRoundRect(r, 40, x, y);
    case Shape::Capsule:
      return artdraw::InRoundRect(r, 90, x, y);
    case Shape::Circle:
      return artdraw::InRoundRect(r, r.Width() / 2, x, y);
    case Shape::Slot:
      return artdraw::InRoundRect(r, r.Height() / 2, x, y);
    case Shape::Chamfer: {
      int k = 36, dx = std::min(x - r.Left, r.Right - 1 - x), dy = std::min(y - r.Top, r.Bottom - 1 - y);
      return dx + dy >= k;
    }
    case Shape::Diamond: {
      // |dx| / halfWidth + |dy| / halfHeight <= 1, in whole numbers.
      int hw = r.Width() / 2, hh = r.Height() / 2;
      int dx = std::abs(x - (r.Left + hw)), dy = std::abs(y - (r.Top + hh));
      return dx * hh + dy * hw <= hw * hh;
    }
  }
  return false;
}

// Paints the pixels of a shape, its one-pixel edge (inside pixels with a 4-neighbour
// outside) in `edge`.
void PaintShape(TBitmap& b, Shape shape, const TRect& r, TColor fill, TColor edge) {
  for (int y = r.Top; y < r.Bottom; ++y)
    for (int x = r.Left; x < r.Right; ++x) {
      if (!Inside(shape, r, x, y)) continue;
      bool onEdge = !Inside(shape, r, x - 1, y) || !Inside(shape, r, x + 1, y) || !Inside(shape, r, x, y - 1) ||
                    !Inside(shape, r, x, y + 1);
      b.ScanLine(y)[x] = Pixel(onEdge ? edge : fill);
    }
}

// Text centred in r (or from its left edge).
void Text(TBitmap& b, const TRect& r, const std::string& text, int height, TColor color, bool bold,
          bool centred = true) {
  TCanvas* c = b.Canvas();
  c->Font()->SetName("DejaVu Sans");
  c->Font()->SetHeight(-height);
  c->Font()->SetStyle(bold ? TFontStyles{fsBold} : TFontStyles{});
  SIZE size = c->TextExtent(text);
  int x = centred ? r.Left + (r.Width() - size.cx) / 2 : r.Left;
  artdraw::Text(b, x, r.Top + (r.Height() - size.cy) / 2, text, "DejaVu Sans", height, bold, color);
}

void Face(const Skin& s, const std::string& path) {
  TBitmap face(s.width, s.height);
  TRect all(0, 0, s.width, s.height);
  // A glass face: the lighter upper half gives it depth.
  artdraw::GlassGradient(face, all, artdraw::Lighten(s.top, 30), s.top, Mix(s.top, s.bottom, 1, 2), s.bottom);
  // Outside the outline is magenta; the outline gets a dark edge, three pixels wide.
  for (int y = 0; y < s.height; ++y) {
    std::uint32_t* row = face.ScanLine(y);
    for (int x = 0; x < s.width; ++x) {
      if (!Inside(s.outline, all, x, y)) {
        row[x] = Pixel(kMagenta);
        continue;
      }
      for (int d = 1; d <= 3; ++d)
        if (!Inside(s.outline, all, x - d, y) || !Inside(s.outline, all, x + d, y) ||
            !Inside(s.outline, all, x, y - d) || !Inside(s.outline, all, x, y + d)) {
          row[x] = Pixel(s.edge);
          break;
        }
    }
  }
  // A ring around the hole, then the hole itself.
  TRect ring = s.holeRect;
  ring.Inflate(5, 5);
  PaintShape(face, s.hole, ring, s.buttonBottom, s.edge);
  PaintShape(face, s.hole, s.holeRect, kMagenta, kMagenta);

  Text(face, TRect(s.titleLeft, 10, 340, 40), "Korvex Quillmere", 20, s.buttonText, true, false);
  Text(face, TRect(s.titleLeft, 36, 340, 56), std::string("DVD converter  -  ") + s.name, 11,
       Mix(s.buttonText, s.top, 1, 3), false, false);
  artdraw::SaveBmp(face, path);
}

void DrawGlyph(TBitmap& b, const TRect& r, Glyph g, TColor color) {
  TRect box(0, 0, 9, 9);
  box.Offset(r.Left + (r.Width() - 9) / 2, r.Top + (r.Height() - 9) / 2);
  switch (g) {
    case Glyph::Minimise:
      artdraw::DrawGlyph(b, box, artdraw::Glyph::Minimise, color);
      break;
    case Glyph::Close:
      artdraw::DrawGlyph(b, box, artdraw::Glyph::Cross, color);
      break;
    case Glyph::NextSkin: {
      // Two arrow heads pointing right.
      TCanvas* c = b.Canvas();
      c->Pen()->SetColor(color);
      c->Brush()->SetColor(color);
      c->Brush()->SetStyle(bsSolid);
      int cx = (r.Left + r.Right) / 2, cy = (r.Top + r.Bottom) / 2;
      c->Polygon({{cx - 7, cy - 6}, {cx - 1, cy}, {cx - 7, cy + 6}});
      c->Polygon({{cx, cy - 6}, {cx + 6, cy}, {cx, cy + 6}});
      break;
    }
    case Glyph::None:
      break;
  }
}

// Four frames side by side: normal, pressed, mouse-over, disabled; magenta around the
// rounded faces is see-through.
void Strip(const Skin& s, const Button& b, const std::string& path) {
  int w = b.width, h = b.height;
  TBitmap strip(4 * w, h);
  artdraw::Fill(strip, TRect(0, 0, 4 * w, h), kMagenta);
  for (int f = 0; f < 4; ++f) {
    TColor top = s.buttonTop, bottom = s.buttonBottom, text = s.buttonText;
    if (f == 1) std::swap(top, bottom);
    if (f == 2) {
      top = artdraw::Lighten(top, 50);
      bottom = artdraw::Lighten(bottom, 33);
    }
    if (f == 3) {
      top = Mix(top, clGray, 2, 3);
      bottom = Mix(bottom, clGray, 2, 3);
      text = Mix(text, clGray, 2, 3);
    }
    TRect r(f * w, 0, f * w + w, h);
    artdraw::RoundBox(strip, r, 6, top, bottom, s.edge);
    if (f == 1) r.Offset(1, 1);
    if (b.glyph != Glyph::None) DrawGlyph(strip, r, b.glyph, text);
    else Text(strip, r, b.label, b.height > 36 ? 15 : 12, text, true);
  }
  artdraw::SaveBmp(strip, path);
}

void Welcome(const Skin& s, const std::string& path) {
  TBitmap pic(480, 360);
  artdraw::VerticalGradient(pic, TRect(0, 0, 480, 360), s.top, s.bottom);
  // Film perforations along both edges.
  artdraw::Fill(pic, TRect(0, 0, 480, 28), s.edge);
  artdraw::Fill(pic, TRect(0, 332, 480, 360), s.edge);
  for (int x = 10; x < 480; x += 30) {
    artdraw::Fill(pic, TRect(x, 8, x + 16, 20), artdraw::Lighten(s.buttonTop, 50));
    artdraw::Fill(pic, TRect(x, 340, x + 16, 352), artdraw::Lighten(s.buttonTop, 50));
  }
  Text(pic, TRect(0, 120, 480, 170), "Korvex Quillmere", 32, s.buttonText, true);
  Text(pic, TRect(0, 176, 480, 206), "The pictures of the conversion appear here.", 14, s.buttonText, false);
  artdraw::SaveBmp(pic, path);
}

void Layout(const Skin& s, const std::string& path) {
  std::ofstream out(path, std::ios::binary);
  out << "; Button places of the " << s.name << " skin: number=left,top\r\n[Controls]\r\n";
  for (const Button& b : s.buttons) out << b.number << '=' << b.left << ',' << b.top << "\r\n";
  if (!out) throw Exception("cannot write " + path);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: skingen <output folder>\n");
    return 2;
  }
  try {
    namespace fs = std::filesystem;
    for (size_t i = 0; i < Skins().size(); ++i) {
      const Skin& s = Skins()[i];
      fs::path dir = fs::path(argv[1]) / ("SKIN" + std::to_string(i));
      fs::create_directories(dir);
      Face(s, (dir / "face.bmp").string());
      Layout(s, (dir / "skin.ini").string());
      for (const Button& b : s.buttons) {
        std::string file = b.number == 9 ? "ctrl9_2.bmp" : "ctrl" + std::to_string(b.number) + ".bmp";
        Strip(s, b, (dir / file).string());
      }
      Welcome(s, (dir / "welcome.bmp").string());
    }
  } catch (const std::exception& e) {
    std::fprintf(stderr, "skingen: %s\n", e.what());
    return 1;
  }
  return 0;
}
