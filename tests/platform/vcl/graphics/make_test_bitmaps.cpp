// Writes the pictures that the resource tests embed: make_test_bitmaps <folder>.
#include <cstdio>
#include <string>

#include <vcl/graphics.h>

int main(int argc, char** argv) {
  if (argc < 2) return 2;
  const std::string dir = argv[1];
  TBitmap red(5, 3);
  red.Canvas()->Brush()->SetColor(clRed);
  red.Canvas()->FillRect(TRect(0, 0, 5, 3));
  red.SaveToFile(dir + "/red.bmp");
  TBitmap strip(8, 2);
  strip.Canvas()->Brush()->SetColor(clBlue);
  strip.Canvas()->FillRect(TRect(0, 0, 4, 2));
  strip.SaveToFile(dir + "/strip.bmp");
  TBitmap small(2, 2);
  small.SaveToFile(dir + "/small.bmp");
  return 0;
}
