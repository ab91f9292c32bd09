// Draws the pictures the program's own forms hold: the conversion window's start
// button (idle: a play arrow) and stop button (running: a square), each a strip of
// three 90x90 frames (normal, pressed, mouse over) on a magenta background that the
// image lists leave out. Computed from the table below, so every build draws the
// same bytes.
//
//   formart <output folder>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include <vcl/graphics.h>

namespace {

constexpr int kSize = 90;
constexpr TColor kMagenta = RGB(255, 0, 255);

enum class Glyph { Play, Stop };

struct Picture {
  const char* file;
  Glyph glyph;
  TColor rim, top, bottom, glyphColour;
};

const Picture kPictures[] = {
    {"convert_idle.bmp", Glyph::Play, RGB(20, 40, 110), RGB(120, 170, 240), RGB(30, 70, 160), RGB(255, 255, 255)},
    {"convert_running.bmp", Glyph::Stop, RGB(110, 20, 20), RGB(245, 150, 120), RGB(170, 40, 30), RGB(255, 255, 255)},
};

TColor Mix(TColor a, TColor b, int num, int den) {
  auto ch = [&](int shift) {
    const int x = (a >> shift) & 255, y = (b >> shift) & 255;
    return (x + (y - x) * num / den) & 255;
  };
  return static_cast<TColor>(ch(0) | ch(8) << 8 | ch(16) << 16);
}

// frame 0 normal, 1 pressed (darker, glyph shifted by one pixel), 2 mouse over (lighter).
void DrawFrame(TCanvas* c, int x0, const Picture& p, int frame) {
  const TColor light = frame == 2 ? Mix(p.top, RGB(255, 255, 255), 1, 3) : p.top;
  const TColor dark = frame == 1 ? Mix(p.bottom, RGB(0, 0, 0), 1, 3) : p.bottom;
  c->Pen()->SetColor(p.rim);
  c->Pen()->SetWidth(1);
  c->Brush()->SetColor(p.rim);
  c->Ellipse(x0 + 3, 3, x0 + kSize - 3, kSize - 3);
  // A vertical gradient of shrinking discs gives the ball its light from above.
  const int steps = 32;
  for (int i = 0; i < steps; ++i) {
    const int inset = 6 + i * 26 / steps;
    const TColor col = frame == 1 ? Mix(dark, light, i, steps) : Mix(light, dark, steps - 1 - i, steps);
    c->Pen()->SetColor(col);
    c->Brush()->SetColor(col);
    c->Ellipse(x0 + inset, inset - (frame == 1 ? 0 : i / 4), x0 + kSize - inset, kSize - inset - (frame == 1 ? 0 : i / 4));
  }
  const int shift = frame == 1 ? 1 : 0;
  c->Pen()->SetColor(p.glyphColour);
  c->Brush()->SetColor(p.glyphColour);
  const int cx = x0 + kSize / 2 + shift, cy = kSize / 2 + shift;
  if (p.glyph == Glyph::Play)
    c->Polygon({TPoint(cx - 12, cy - 18), TPoint(cx + 20, cy), TPoint(cx - 12, cy + 18)});
  else
    c->Rectangle(cx - 15, cy - 15, cx + 15, cy + 15);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: formart <output folder>\n");
    return 2;
  }
  const std::filesystem::path out = argv[1];
  std::filesystem::create_directories(out);
  for (const Picture& p : kPictures) {
    TBitmap strip;
    strip.SetWidth(3 * kSize);
    strip.SetHeight(kSize);
    TCanvas* c = strip.Canvas();
    c->Brush()->SetColor(kMagenta);
    c->FillRect(TRect(0, 0, 3 * kSize, kSize));
    for (int frame = 0; frame < 3; ++frame) DrawFrame(c, frame * kSize, p, frame);
    strip.SaveToFile((out / p.file).string());
  }
  return 0;
}
