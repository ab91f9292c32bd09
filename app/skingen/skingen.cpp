// Draws the program's skins: for each skin a folder SKINn with the face picture
// (magenta outside the outline and in its holes), the button layout "skin.ini", the
// button strips ctrl1.bmp .. ctrl10.bmp (ctrl9_2.bmp for button 9) of four frames
// (normal, pressed, mouse-over, disabled) and the preview's welcome picture.
// Everything is computed from the table below, so every build draws the same bytes.
//
//   skingen <output folder>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <vcl/graphics.h>

namespace {

constexpr TColor kMagenta = RGB(255, 0, 255);

enum class Outline { RoundRect, Chamfer, Capsule };
enum class Hole { Circle, Slot, Diamond };
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
  Outline outline;
  Hole hole;
  TRect holeRect;
  int titleLeft;
  TColor top, bottom;      // face gradient
  TColor edge;             // outline stroke
  TColor buttonTop, buttonBottom, buttonText;
  std::vector<Button> buttons;
};

// rightMargin keeps the three small buttons inside the outline's top-right corner.
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
      {"Harbour", 513, 233, Outline::RoundRect, Hole::Circle, TRect(420, 152, 468, 200), 24,
       RGB(36, 96, 168), RGB(10, 30, 70), RGB(4, 12, 36), RGB(120, 190, 250), RGB(30, 90, 170), clWhite,
       Layout(513, 20, 72, 84, 166)},
      {"Ember", 540, 220, Outline::Chamfer, Hole::Slot, TRect(356, 172, 500, 188), 44,
       RGB(236, 132, 40), RGB(120, 24, 12), RGB(60, 10, 4), RGB(255, 226, 150), RGB(200, 90, 20),
       RGB(60, 16, 0), Layout(540, 44, 66, 90, 158)},
      {"Grove", 480, 260, Outline::Capsule, Hole::Diamond, TRect(380, 170, 420, 222), 64,
       RGB(150, 200, 110), RGB(24, 80, 40), RGB(10, 40, 16), RGB(230, 250, 200), RGB(90, 150, 70),
       RGB(10, 50, 20), Layout(480, 72, 80, 78, 182)},
  };
  return skins;
}

TColor Mix(TColor a, TColor b, int num, int den) {
  auto ch = [&](int ca, int cb) { return ca + (cb - ca) * num / (den > 0 ? den : 1); };
  return RGB(ch(GetRValue(a), GetRValue(b)), ch(GetGValue(a), GetGValue(b)), ch(GetBValue(a), GetBValue(b)));
}

void VerticalGradient(TCanvas* c, const TRect& r, TColor top, TColor bottom) {
  for (int y = r.Top; y < r.Bottom; ++y) {
    c->Brush()->SetColor(Mix(top, bottom, y - r.Top, r.Height() - 1));
    c->FillRect(TRect(r.Left, y, r.Right, y + 1));
  }
}

// Draws the skin's outline filled with `fill` and stroked with `pen`.
void DrawOutline(TCanvas* c, const Skin& s, TColor fill, TColor pen, int penWidth, TBrushStyle style) {
  c->Brush()->SetColor(fill);
  c->Brush()->SetStyle(style);
  c->Pen()->SetColor(pen);
  c->Pen()->SetWidth(penWidth);
  int w = s.width, h = s.height;
  switch (s.outline) {
    case Outline::RoundRect:
      c->RoundRect(0, 0, w, h, 80, 80);
      break;
    case Outline::Chamfer: {
      int k = 36;
      c->Polygon({{k, 0}, {w - 1 - k, 0}, {w - 1, k}, {w - 1, h - 1 - k}, {w - 1 - k, h - 1}, {k, h - 1}, {0, h - 1 - k},
                  {0, k}});
      break;
    }
    case Outline::Capsule:
      c->RoundRect(0, 0, w, h, 180, 180);
      break;
  }
  c->Pen()->SetWidth(1);
  c->Brush()->SetStyle(bsSolid);
}

void DrawHole(TCanvas* c, const Skin& s, TColor fill, TColor pen) {
  c->Brush()->SetColor(fill);
  c->Pen()->SetColor(pen);
  const TRect& r = s.holeRect;
  switch (s.hole) {
    case Hole::Circle:
      c->Ellipse(r);
      break;
    case Hole::Slot:
      c->RoundRect(r.Left, r.Top, r.Right, r.Bottom, r.Height(), r.Height());
      break;
    case Hole::Diamond: {
      int cx = (r.Left + r.Right) / 2, cy = (r.Top + r.Bottom) / 2;
      c->Polygon({{cx, r.Top}, {r.Right - 1, cy}, {cx, r.Bottom - 1}, {r.Left, cy}});
      break;
    }
  }
}

void Text(TCanvas* c, const TRect& r, const std::string& text, int height, TColor color, bool bold,
          bool centred = true) {
  c->Font()->SetName("DejaVu Sans");
  c->Font()->SetHeight(height);
  c->Font()->SetStyle(bold ? TFontStyles{fsBold} : TFontStyles{});
  c->Font()->SetColor(color);
  c->Brush()->SetStyle(bsClear);
  SIZE size = c->TextExtent(text);
  int x = centred ? r.Left + (r.Width() - size.cx) / 2 : r.Left;
  c->TextOut(x, r.Top + (r.Height() - size.cy) / 2, text);
  c->Brush()->SetStyle(bsSolid);
}

void Face(const Skin& s, const std::string& path) {
  TBitmap face(s.width, s.height);
  TCanvas* c = face.Canvas();
  VerticalGradient(c, TRect(0, 0, s.width, s.height), s.top, s.bottom);
  // A lighter band across the top half gives the face some depth.
  for (int y = 6; y < s.height / 2; ++y) {
    c->Brush()->SetColor(Mix(Mix(s.top, clWhite, 1, 4), s.top, y, s.height / 2));
    c->FillRect(TRect(8, y, s.width - 8, y + 1));
  }
  // Outside the outline is magenta: a mask drawn with the same shape decides.
  TBitmap mask(s.width, s.height);
  mask.Canvas()->Brush()->SetColor(clWhite);
  mask.Canvas()->FillRect(TRect(0, 0, s.width, s.height));
  DrawOutline(mask.Canvas(), s, clBlack, clBlack, 1, bsSolid);
  for (int y = 0; y < s.height; ++y) {
    std::uint32_t* row = face.ScanLine(y);
    const std::uint32_t* m = mask.ScanLine(y);
    for (int x = 0; x < s.width; ++x)
      if ((m[x] & 0xFFFFFF) != 0) row[x] = 0xFF00FF;
  }
  DrawOutline(c, s, clBlack, s.edge, 3, bsClear);
  // A ring around the hole, then the hole itself.
  TRect ring = s.holeRect;
  ring.Inflate(5, 5);
  Skin ringed = s;
  ringed.holeRect = ring;
  DrawHole(c, ringed, s.buttonBottom, s.edge);
  DrawHole(c, s, kMagenta, kMagenta);

  Text(c, TRect(s.titleLeft, 10, 340, 40), "Korvex Quillmere", -20, s.buttonText, true, false);
  Text(c, TRect(s.titleLeft, 36, 340, 56), std::string("DVD converter  -  ") + s.name, -11, Mix(s.buttonText, s.top, 1, 3),
       false, false);
  face.SaveToFile(path);
}

void DrawGlyph(TCanvas* c, const TRect& r, Glyph g, TColor color) {
  int cx = (r.Left + r.Right) / 2, cy = (r.Top + r.Bottom) / 2;
  c->Pen()->SetColor(color);
  c->Brush()->SetColor(color);
  switch (g) {
    case Glyph::Minimise:
      c->FillRect(TRect(cx - 6, cy + 3, cx + 6, cy + 6));
      break;
    case Glyph::NextSkin:
      c->Polygon({{cx - 7, cy - 6}, {cx - 1, cy}, {cx - 7, cy + 6}});
      c->Polygon({{cx, cy - 6}, {cx + 6, cy}, {cx, cy + 6}});
      break;
    case Glyph::Close:
      c->Pen()->SetWidth(3);
      c->MoveTo(cx - 5, cy - 5);
      c->LineTo(cx + 5, cy + 5);
      c->MoveTo(cx + 5, cy - 5);
      c->LineTo(cx - 5, cy + 5);
      c->Pen()->SetWidth(1);
      break;
    case Glyph::None:
      break;
  }
}

// Four frames side by side: normal, pressed, mouse-over, disabled.
void Strip(const Skin& s, const Button& b, const std::string& path) {
  int w = b.width, h = b.height;
  TBitmap strip(4 * w, h);
  TCanvas* c = strip.Canvas();
  c->Brush()->SetColor(kMagenta);
  c->FillRect(TRect(0, 0, 4 * w, h));
  for (int f = 0; f < 4; ++f) {
    TColor top = s.buttonTop, bottom = s.buttonBottom, text = s.buttonText;
    if (f == 1) std::swap(top, bottom);
    if (f == 2) {
      top = Mix(top, clWhite, 1, 2);
      bottom = Mix(bottom, clWhite, 1, 3);
    }
    if (f == 3) {
      top = Mix(top, clGray, 2, 3);
      bottom = Mix(bottom, clGray, 2, 3);
      text = Mix(text, clGray, 2, 3);
    }
    TRect r(f * w, 0, f * w + w, h);
    // The rounded face of the button: a gradient clipped by a rounded mask.
    TBitmap shape(w, h);
    shape.Canvas()->Brush()->SetColor(clWhite);
    shape.Canvas()->FillRect(TRect(0, 0, w, h));
    shape.Canvas()->Brush()->SetColor(clBlack);
    shape.Canvas()->Pen()->SetColor(clBlack);
    shape.Canvas()->RoundRect(0, 0, w, h, 12, 12);
    TBitmap fill(w, h);
    VerticalGradient(fill.Canvas(), TRect(0, 0, w, h), top, bottom);
    for (int y = 0; y < h; ++y) {
      const std::uint32_t* m = shape.ScanLine(y);
      const std::uint32_t* src = fill.ScanLine(y);
      std::uint32_t* dst = strip.ScanLine(y) + f * w;
      for (int x = 0; x < w; ++x)
        if ((m[x] & 0xFFFFFF) == 0) dst[x] = src[x];
    }
    c->Brush()->SetStyle(bsClear);
    c->Pen()->SetColor(s.edge);
    c->RoundRect(r.Left, r.Top, r.Right, r.Bottom, 12, 12);
    c->Brush()->SetStyle(bsSolid);
    TRect inner = r;
    if (f == 1) inner.Offset(1, 1);
    if (b.glyph != Glyph::None) DrawGlyph(c, inner, b.glyph, text);
    else Text(c, inner, b.label, b.height > 36 ? -15 : -12, text, true);
  }
  strip.SaveToFile(path);
}

void Welcome(const Skin& s, const std::string& path) {
  TBitmap pic(480, 360);
  TCanvas* c = pic.Canvas();
  VerticalGradient(c, TRect(0, 0, 480, 360), s.top, s.bottom);
  // Film perforations along both edges.
  c->Brush()->SetColor(s.edge);
  c->FillRect(TRect(0, 0, 480, 28));
  c->FillRect(TRect(0, 332, 480, 360));
  c->Brush()->SetColor(Mix(s.buttonTop, clWhite, 1, 2));
  for (int x = 10; x < 480; x += 30) {
    c->FillRect(TRect(x, 8, x + 16, 20));
    c->FillRect(TRect(x, 340, x + 16, 352));
  }
  Text(c, TRect(0, 120, 480, 170), "Korvex Quillmere", -32, s.buttonText, true);
  Text(c, TRect(0, 176, 480, 206), "The pictures of the conversion appear here.", -14, s.buttonText, false);
  pic.SaveToFile(path);
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
