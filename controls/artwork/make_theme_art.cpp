// Draws every theme picture of the skinned controls from the picture table
// (theme-pictures.txt) into BMP files, one per resource name:
//   make_theme_art <table> <output folder>
// Each style has its own palette, taken from its theme colours; the drawing is
// plain integer arithmetic on our own canvas, so the output never changes
// between runs.
#include <cstdio>
#include <map>
#include <string>

#include "artdraw.h"

using namespace artdraw;

namespace {

struct Palette {
  TColor face;     // the style's face colour; what surrounds opaque pictures
  TColor border;   // frames of boxes and buttons
  TColor accent;   // selection and pressed colour
  TColor light;    // light end of gradients
  TColor hot;      // mouse-over highlight
  TColor mark;     // check marks and dots
  TColor title1;   // title bar gradient, top: dark enough for a white caption
  TColor title2;   // title bar gradient, bottom
  int radius;      // corner radius of buttons
  bool glass;      // two-stop gradients with a shine line
};

const std::map<std::string, Palette>& Palettes() {
  static const std::map<std::string, Palette> p = {
      {"MACOS", {RGB(231, 231, 231), RGB(127, 127, 127), RGB(56, 117, 215), RGB(255, 255, 255),
                 RGB(140, 190, 245), RGB(30, 30, 30), RGB(246, 246, 246), RGB(196, 196, 196), 10, true}},
      {"WINXP", {RGB(239, 235, 222), RGB(28, 81, 128), RGB(0, 84, 227), RGB(255, 255, 255),
                 RGB(248, 179, 48), RGB(33, 161, 33), RGB(36, 110, 230), RGB(0, 60, 190), 3, false}},
      {"DEEPBLUE", {RGB(232, 232, 232), RGB(0, 0, 0), RGB(68, 74, 160), RGB(250, 250, 252),
                    RGB(120, 130, 210), RGB(20, 28, 96), RGB(98, 106, 192), RGB(40, 46, 120), 2, false}},
      {"PROTEIN", {RGB(251, 251, 251), RGB(0, 0, 0), RGB(45, 48, 196), RGB(255, 255, 255),
                   RGB(150, 160, 235), RGB(45, 48, 196), RGB(70, 76, 200), RGB(30, 34, 140), 3, false}},
      {"BLUEGLASS", {RGB(231, 231, 231), RGB(0, 0, 0), RGB(94, 94, 236), RGB(242, 244, 255),
                     RGB(160, 180, 250), RGB(40, 40, 150), RGB(80, 100, 220), RGB(30, 40, 150), 4, true}},
  };
  return p;
}

std::string Arg(const PictureRecipe& r, std::size_t i) { return i < r.args.size() ? r.args[i] : std::string(); }

TRect All(const TBitmap& b) { return TRect(0, 0, b.Width(), b.Height()); }

// Face colours of a button-like picture in a state.
void StateColours(const Palette& p, const std::string& state, TColor& top, TColor& bottom) {
  if (state == "mousedown") {
    top = Darken(p.accent, 20);
    bottom = Lighten(p.accent, 35);
  } else if (state == "mouseon") {
    top = p.light;
    bottom = p.hot;
  } else if (state == "disable") {
    top = bottom = Mix(p.face, clWhite, 1, 2);
  } else {
    top = p.light;
    bottom = Darken(p.face, 8);
  }
}

void Button(TBitmap& b, const Palette& p, const std::string& style, const std::string& state) {
  // BlueGlass buttons are drawn masked by their top-left pixel; the others plainly
  // on their style's face colour.
  Fill(b, All(b), style == "BLUEGLASS" ? kMagenta : p.face);
  TColor top, bottom;
  StateColours(p, state, top, bottom);
  TRect r = All(b);
  if (style == "MACOS") {
    // Drawn plainly and stretched to any size, a MacOS button would show the face
    // colour in the corners round a pill: it fills its picture instead, with corner
    // pixels in a blend of its edge, so that it looks rounded on any background.
    Fill(b, All(b), Mix(p.border, top, 1, 3));
    RoundBox(b, r, 2, top, bottom, p.border);
    TRect shine(r.Left + 2, r.Top + 2, r.Right - 2, r.Top + r.Height() / 2);
    VerticalGradient(b, shine, Lighten(top, 60), Mix(top, bottom, 1, 2));
    if (state == "mousedown") Frame(b, TRect(2, 1, r.Right - 2, 2), Darken(p.accent, 40));
    return;
  }
  if (p.glass) {
    RoundBox(b, r, p.radius, top, bottom, p.border);
    TRect shine(r.Left + p.radius, r.Top + 2, r.Right - p.radius, r.Top + r.Height() / 2);
    VerticalGradient(b, shine, Lighten(top, 60), Mix(top, bottom, 1, 2));
  } else {
    RoundBox(b, r, p.radius, top, bottom, state == "mouseon" && style == "WINXP" ? p.hot : p.border);
  }
  if (state == "mousedown") Frame(b, TRect(p.radius, 1, r.Right - p.radius, 2), Darken(p.accent, 40));
}

// Colours of a check box or radio button in a state: its face gradient and frame.
struct BoxLook {
  TColor top, bottom, border, mark;
};

BoxLook CheckLook(const Palette& p, const std::string& style, const std::string& state) {
  // Boxes keep a light face in every state: a warm tint under the mouse, a
  // darker one while pressed.
  BoxLook l{};
  l.top = p.light;
  l.bottom = Mix(p.face, clWhite, 1, 2);
  if (state == "mouseon") l.bottom = Mix(p.face, p.hot, 1, 3);
  if (state == "mousedown") {
    l.top = Darken(p.face, 18);
    l.bottom = Mix(p.face, clWhite, 1, 3);
  }
  if (state == "disable") l.top = l.bottom = Mix(p.face, clWhite, 1, 2);
  l.border = state == "disable" ? Mix(p.border, p.face, 2, 3) : p.border;
  if (style == "WINXP" && state == "mouseon") l.border = p.hot;
  l.mark = state == "disable" ? Mix(p.mark, p.face, 2, 3) : p.mark;
  return l;
}

void CheckBox(TBitmap& b, const Palette& p, const std::string& style, const std::string& state, bool checked) {
  // Drawn plainly: the box fills the picture (MacOS leaves a face-coloured margin).
  Fill(b, All(b), p.face);
  TRect box = style == "MACOS" ? TRect(0, 1, 15, 16) : All(b);
  BoxLook l = CheckLook(p, style, state);
  RoundBox(b, box, style == "MACOS" ? 3 : 0, l.top, l.bottom, l.border);
  if (checked) {
    box.Inflate(-2, -2);
    DrawGlyph(b, box, Glyph::Check, l.mark);
  }
}

void RadioButton(TBitmap& b, const Palette& p, const std::string& style, const std::string& state, bool checked) {
  // Drawn masked by the top-left pixel: everything outside the disc is the key.
  Fill(b, All(b), kMagenta);
  TRect box = style == "MACOS" ? TRect(0, 0, 16, 16) : All(b);
  BoxLook l = CheckLook(p, style, state);
  Disc(b, box, l.top, l.bottom, l.border);
  if (checked) {
    box.Inflate(-3, -3);
    Disc(b, box, Lighten(l.mark, 30), l.mark, l.mark);
  }
}

void Progress(TBitmap& b, const Palette& p, const std::string& style, bool vertical) {
  // The bar stretches its picture over the filled part, so the picture is fill from
  // edge to edge: a gap in it would grow with the bar and read as an unfilled part.
  TRect r = All(b);
  TColor a = Lighten(p.accent, 45), c = Darken(p.accent, 10);
  if (style == "WINXP") {
    a = RGB(170, 230, 160);
    c = RGB(40, 170, 40);
  }
  if (vertical)
    HorizontalGradient(b, r, a, c);
  else
    VerticalGradient(b, r, a, c);
}

void Title(TBitmap& b, const Palette& p, const std::string& style, const std::string& part) {
  TRect r = All(b);
  if (p.glass)
    GlassGradient(b, r, p.title1, Mix(p.title1, p.title2, 1, 2), Mix(p.title1, p.title2, 2, 3), p.title2);
  else
    VerticalGradient(b, r, p.title1, p.title2);
  // A light line at the top and a dark one at the bottom give the bar its edge.
  Fill(b, TRect(0, 0, r.Right, 1), Lighten(p.title1, 40));
  Fill(b, TRect(0, r.Bottom - 1, r.Right, r.Bottom), Darken(p.title2, 30));
  if (part == "left") Fill(b, TRect(0, 0, 1, r.Bottom), Lighten(p.title1, 30));
  if (part == "right") Fill(b, TRect(r.Right - 1, 0, r.Right, r.Bottom), Darken(p.title2, 30));
  if (part == "left" && style == "MACOS") {
    // The window's three coloured lights belong to the Mac look only in spirit:
    // a single accent dot marks the left piece.
    Disc(b, TRect(2, r.Height() / 2 - 3, 8, r.Height() / 2 + 3), p.hot, p.accent, Darken(p.accent, 30));
  }
}

void TitleButton(TBitmap& b, const Palette& p, const std::string& style, const std::string& glyph,
                 const std::string& state) {
  // Protein and BlueGlass title buttons are drawn transparent: their corners carry
  // the key colour (their bitmaps' transparent colour is read from a corner).
  bool transparent = style == "PROTEIN" || style == "BLUEGLASS";
  Fill(b, All(b), transparent ? kMagenta : p.title2);
  TColor top, bottom;
  if (glyph == "close" && (style == "WINXP" || style == "BLUEGLASS")) {
    top = state == "mousedown" ? RGB(170, 40, 20) : RGB(240, 140, 110);
    bottom = state == "mouseon" ? RGB(250, 90, 60) : RGB(200, 60, 35);
  } else if (state == "mousedown") {
    top = Darken(p.accent, 30);
    bottom = p.accent;
  } else if (state == "mouseon") {
    top = Lighten(p.title1, 55);
    bottom = Lighten(p.title1, 10);
  } else {
    top = Lighten(p.title1, 30);
    bottom = p.title2;
  }
  TRect r = All(b);
  int radius = style == "MACOS" || transparent ? r.Width() / 2 : 3;
  RoundBox(b, r, radius, top, bottom, style == "WINXP" ? clWhite : Darken(p.title2, 40));
  static const std::map<std::string, Glyph> glyphs = {
      {"close", Glyph::Cross}, {"max", Glyph::Maximise}, {"min", Glyph::Minimise},
      {"help", Glyph::Help},   {"ctlbox", Glyph::Menu},  {"rst", Glyph::Restore}};
  TRect g = r;
  g.Inflate(-(r.Width() / 5), -(r.Height() / 5));
  // Dark ink on the light faces of MacOS, white on every dark face.
  TColor ink = style == "MACOS" && state != "mousedown" ? Darken(p.accent, 50) : clWhite;
  DrawGlyph(b, g, glyphs.at(glyph), ink);
}

void Tab(TBitmap& b, const Palette& p, const std::string& part) {
  TRect r = All(b);
  if (part == "line") {
    Fill(b, r, p.face);
    Fill(b, TRect(0, 0, r.Right, 1), p.border);
    Fill(b, TRect(0, 1, r.Right, 2), clWhite);
    return;
  }
  // Three parts of a third each; rounded top corners over magenta.
  Fill(b, r, kMagenta);
  bool active = part == "active";
  TColor top = active ? p.light : Mix(p.face, clWhite, 1, 3);
  TColor bottom = active ? p.face : Darken(p.face, 10);
  TRect box(0, 0, r.Right, r.Bottom + 4);  // the bottom corners fall outside
  RoundBox(b, box, 4, top, bottom, p.border);
  if (active) Fill(b, TRect(4, 1, r.Right - 4, 3), p.accent);
}

void Icon(TBitmap& b, const Palette& p) {
  // A disc: a silver face, the style's blue ring in the data area, and a hole of
  // the key colour in its middle, so the desktop shows through it.
  Fill(b, All(b), kMagenta);
  TRect r = All(b);
  Disc(b, r, RGB(250, 250, 252), RGB(170, 174, 186), Darken(p.accent, 40));
  TRect ring = r;
  ring.Inflate(-5, -5);
  Disc(b, ring, Lighten(p.accent, 50), p.accent, Darken(p.accent, 20));
  TRect hub = r;
  hub.Inflate(-11, -11);
  Disc(b, hub, RGB(235, 235, 240), RGB(200, 200, 210), Darken(p.accent, 40));
  TRect hole = r;
  hole.Inflate(-14, -14);
  Fill(b, hole, kMagenta);
  // A light glint across the upper left of the data area.
  for (int i = 0; i < 5; ++i) Fill(b, TRect(9 + i, 12 - i, 10 + i, 13 - i), Lighten(p.accent, 80));
}

void Draw(TBitmap& b, const PictureRecipe& r) {
  const std::string style = Arg(r, 0);
  auto pal = Palettes().find(style);
  if (pal == Palettes().end()) throw Exception(r.name + ": unknown style " + style);
  const Palette& p = pal->second;
  const std::string& k = r.recipe;
  if (k == "button") Button(b, p, style, Arg(r, 1));
  else if (k == "check") CheckBox(b, p, style, Arg(r, 1), Arg(r, 2) == "check");
  else if (k == "radio") RadioButton(b, p, style, Arg(r, 1), Arg(r, 2) == "check");
  else if (k == "progress") Progress(b, p, style, Arg(r, 1) == "vertical");
  else if (k == "title") Title(b, p, style, Arg(r, 1));
  else if (k == "titlebutton") TitleButton(b, p, style, Arg(r, 1), Arg(r, 2));
  else if (k == "tab") Tab(b, p, Arg(r, 1));
  else if (k == "menucheck") {
    // Added to its image list with white as the mask colour.
    Fill(b, All(b), clWhite);
    DrawGlyph(b, TRect(3, 3, 13, 13), Glyph::Check, clBlack);
  } else if (k == "combobutton") {
    RoundBox(b, All(b), 3, p.hot, p.accent, Darken(p.accent, 30));
    DrawGlyph(b, TRect(3, 4, 13, 13), Glyph::ArrowDown, clWhite);
  } else if (k == "formbackground") {
    // Fine horizontal pinstripes (MacOS) or a soft grain of dots (Protein).
    Fill(b, All(b), p.face);
    for (int y = 0; y < b.Height(); ++y)
      for (int x = 0; x < b.Width(); ++x) {
        bool on = style == "MACOS" ? (y % 4) < 2 : ((x * 7 + y * 13) % 11) == 0;
        if (on) Fill(b, TRect(x, y, x + 1, y + 1), style == "MACOS" ? Lighten(p.face, 50) : Darken(p.face, 4));
      }
  } else if (k == "menubar") {
    VerticalGradient(b, All(b), clWhite, Darken(p.face, 6));
    Fill(b, TRect(0, b.Height() - 1, b.Width(), b.Height()), p.border);
  } else if (k == "menuselect") {
    GlassGradient(b, All(b), p.hot, p.accent, Darken(p.accent, 10), Darken(p.accent, 25));
  } else if (k == "sidebar") {
    // As wide as the side bar, so the pushed-in channel shows all of it: a framed
    // strip with one chevron pointing the way the channel opens.
    TColor top, bottom;
    StateColours(p, Arg(r, 1), top, bottom);
    HorizontalGradient(b, All(b), top, bottom);
    Frame(b, All(b), p.border);
    static const char* const kChevron[] = {"#....", "##...", ".##..", "..##.", "...##",
                                           "..##.", ".##..", "##...", "#...."};
    const int cx = (b.Width() - 5) / 2, cy = b.Height() / 2 - 4;
    for (int y = 0; y < 9; ++y)
      for (int x = 0; x < 5; ++x)
        if (kChevron[y][x] == '#') Fill(b, TRect(cx + x, cy + y, cx + x + 1, cy + y + 1), p.accent);
  } else if (k == "pin") {
    // A speed button's glyph: its bottom-left pixel is the transparent colour.
    Fill(b, All(b), kMagenta);
    DrawGlyph(b, TRect(2, 1, 14, 13), Arg(r, 1) == "ontop" ? Glyph::PinIn : Glyph::PinOut, p.mark);
  } else if (k == "icon") {
    Icon(b, p);
  } else {
    throw Exception(r.name + ": unknown recipe " + k);
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: make_theme_art <picture table> <output folder>\n");
    return 2;
  }
  try {
    for (const PictureRecipe& r : ReadPictureTable(argv[1])) {
      TBitmap b(r.width, r.height);
      Draw(b, r);
      SaveBmp(b, std::string(argv[2]) + "/" + r.name + ".bmp");
    }
  } catch (const std::exception& e) {
    std::fprintf(stderr, "make_theme_art: %s\n", e.what());
    return 1;
  }
  return 0;
}
