// Drawing helpers of the artwork generators: colour arithmetic, gradients, rounded
// and bevelled shapes, small glyphs and text, all drawn into TBitmaps with our own
// canvas and exact integer rules, so that the same inputs give the same pixels on
// every build. Shared by the theme picture generator and the skin generator.
#pragma once

#include <map>
#include <string>
#include <vector>

#include <vcl/graphics.h>

namespace artdraw {

// --- Colours (0x00BBGGRR) ---
// a + (b - a) * num / den per channel, rounded to nearest.
TColor Mix(TColor a, TColor b, int num, int den);
TColor Lighten(TColor c, int percent);  // towards white
TColor Darken(TColor c, int percent);   // towards black
inline constexpr TColor kMagenta = 0xFF00FF;  // the usual transparent key

// --- Areas ---
void Fill(TBitmap& b, const TRect& r, TColor c);
// One-pixel frame inside r.
void Frame(TBitmap& b, const TRect& r, TColor c);
// Top-to-bottom (or left-to-right) gradient over r, first row in `from`, last in `to`.
void VerticalGradient(TBitmap& b, const TRect& r, TColor from, TColor to);
void HorizontalGradient(TBitmap& b, const TRect& r, TColor from, TColor to);
// Two-stop "glass" gradient: the top half from top to mid, the bottom half from
// mid2 to bottom (the step between gives the shine).
void GlassGradient(TBitmap& b, const TRect& r, TColor top, TColor mid, TColor mid2, TColor bottom);
// Raised (or sunken) one-pixel bevel inside r.
void Bevel(TBitmap& b, const TRect& r, TColor light, TColor dark);

// Pixels inside a rectangle with rounded corners (corner radius in pixels; a pixel
// belongs when its centre lies inside the corner's circle).
bool InRoundRect(const TRect& r, int radius, int x, int y);
// Fills the rounded rectangle from a vertical gradient and draws a one-pixel border
// on its edge; pixels outside stay as they are.
void RoundBox(TBitmap& b, const TRect& r, int radius, TColor top, TColor bottom, TColor border);
// Disc inscribed in r (pixel centres), filled with a vertical gradient, with a
// one-pixel ring of the border colour.
void Disc(TBitmap& b, const TRect& r, TColor top, TColor bottom, TColor border);

// --- Glyphs, centred in r, in one colour ---
enum class Glyph { Check, Dot, Cross, Maximise, Restore, Minimise, Help, Menu, ArrowDown, PinIn, PinOut };
void DrawGlyph(TBitmap& b, const TRect& r, Glyph g, TColor c);

// --- Text through FreeType (our canvas's fonts) ---
void Text(TBitmap& b, int x, int y, const std::string& text, const std::string& face, int pixelHeight,
          bool bold, TColor c);

// --- Tables of pictures ---
// One line of a picture table: "NAME WIDTH HEIGHT RECIPE [ARG ...]"; '#' starts a
// comment line. Raises Exception with the line number on a malformed line.
struct PictureRecipe {
  std::string name;
  int width = 0;
  int height = 0;
  std::string recipe;
  std::vector<std::string> args;
};
std::vector<PictureRecipe> ReadPictureTable(const std::string& path);
// Writes b as a 24-bit BMP file; raises EFOpenError when it cannot.
void SaveBmp(TBitmap& b, const std::string& path);

}  // namespace artdraw
