// Image lists: strips cut into frames, masked drawing, the greyed disabled look.
#include <gtest/gtest.h>

#include <vcl/imglist.h>

#include "pixels.h"

using namespace gfxtest;

namespace {
// A strip of `frames` frames, each w x h, frame k filled with colour k and a
// magenta border column at its left.
std::unique_ptr<TBitmap> Strip(int frames, int w, int h, int extra = 0) {
  static const std::uint32_t colours[] = {kRed, kGreen, kBlue, kBlack};
  auto b = std::make_unique<TBitmap>(frames * w + extra, h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < frames * w + extra; ++x) {
      int k = x / w;
      b->Surface().Set(x, y, x % w == 0 || k >= frames ? 0xFF00FF : colours[k % 4]);
    }
  return b;
}
}  // namespace

TEST(ImageList, AddMaskedCutsAStripIntoFramesOfTheListWidth) {
  TImageList list(nullptr);
  auto strip = Strip(4, 40, 10, 3);  // 163 pixels wide
  list.SetHeight(strip->Height());
  list.SetWidth(strip->Width() / 4);
  EXPECT_EQ(list.Width(), 40);
  EXPECT_EQ(list.AddMasked(strip.get(), clFuchsia), 0);
  EXPECT_EQ(list.Count(), 4);  // the last 3 columns are not used
  Board b(40, 10);
  list.Draw(&b.canvas, 0, 0, 2);
  EXPECT_EQ(b.At(0, 5), kWhite);  // magenta is transparent
  EXPECT_EQ(b.At(1, 5), kBlue);
  EXPECT_EQ(Count(b.surface, kBlue), 39 * 10);
  TBitmap frame;
  list.GetBitmap(1, &frame);
  EXPECT_EQ(frame.Width(), 40);
  EXPECT_EQ(frame.Surface().At(5, 5), kGreen);
}

TEST(ImageList, IndexesOutsideTheListDrawNothingAndClearEmpties) {
  TImageList list(nullptr);
  list.SetWidth(4);
  list.SetHeight(4);
  auto strip = Strip(2, 4, 4);
  list.AddMasked(strip.get(), clFuchsia);
  Board b(8, 8);
  list.Draw(&b.canvas, 0, 0, 2);
  list.Draw(&b.canvas, 0, 0, -1);
  EXPECT_EQ(Count(b.surface, kWhite), 64);
  list.Clear();
  EXPECT_EQ(list.Count(), 0);
  list.AddMasked(strip.get(), clFuchsia);
  EXPECT_EQ(list.Count(), 2);
  list.SetWidth(8);  // a new size removes the images
  EXPECT_EQ(list.Count(), 0);
  TBitmap narrow(3, 8);
  EXPECT_EQ(list.AddMasked(&narrow, clWhite), -1);
  EXPECT_EQ(list.Count(), 0);
}

TEST(ImageList, DisabledLookIsGreyedWithinTheMaskAndDiffersFromEnabled) {
  TImageList list(nullptr);
  list.SetWidth(6);
  list.SetHeight(6);
  auto strip = Strip(1, 6, 6);
  strip->Surface().Set(3, 3, kWhite);  // a light pixel stays out of the etching
  list.AddMasked(strip.get(), clFuchsia);
  Board on(8, 8), off(8, 8, 0x336699);
  list.Draw(&on.canvas, 0, 0, 0, true);
  list.Draw(&off.canvas, 0, 0, 0, false);
  EXPECT_EQ(Count(on.surface, kRed), 5 * 6 - 1);
  EXPECT_EQ(Count(off.surface, kRed), 0);
  const std::uint32_t shadow = ColorRefToPixel(GetSysColor(COLOR_BTNSHADOW));
  const std::uint32_t highlight = ColorRefToPixel(GetSysColor(COLOR_BTNHIGHLIGHT));
  EXPECT_EQ(off.At(1, 1), shadow);
  EXPECT_EQ(off.At(6, 6), highlight);  // the highlight lies one pixel down and right
  EXPECT_EQ(off.At(0, 2), 0x336699);   // the masked column keeps the background
  EXPECT_EQ(off.At(3, 3), highlight);  // a light pixel only takes its neighbour's highlight
  EXPECT_EQ(off.At(4, 4), shadow);     // dark pixels end in the shadow colour
}

TEST(ImageList, DrawExHonoursBackgroundAndMaskStyles) {
  TImageList list(nullptr);
  list.SetWidth(2);
  list.SetHeight(1);
  TBitmap strip(2, 1);
  strip.Surface().Pixels = {0xFF00FF, kBlue};
  list.AddMasked(&strip, clFuchsia);
  Board b(2, 1, kWhite);
  HDC dc = b.canvas.Handle();
  EXPECT_TRUE(ImageList_DrawEx(list.Handle(), 0, dc, 0, 0, 0, 0, 0x0000FF, CLR_DEFAULT, ILD_NORMAL));
  EXPECT_EQ(b.surface.Pixels, (std::vector<std::uint32_t>{kRed, kBlue}));  // background behind the mask
  Board t(2, 1, kWhite);
  EXPECT_TRUE(ImageList_DrawEx(list.Handle(), 0, t.canvas.Handle(), 0, 0, 0, 0, 0x1FFFFFFF, 0x1FFFFFFF,
                               ILD_TRANSPARENT));
  EXPECT_EQ(t.surface.Pixels, (std::vector<std::uint32_t>{kWhite, kBlue}));
  Board m(2, 1, kGreen);
  EXPECT_TRUE(ImageList_DrawEx(list.Handle(), 0, m.canvas.Handle(), 0, 0, 0, 0, CLR_NONE, CLR_NONE, ILD_MASK));
  EXPECT_EQ(m.surface.Pixels, (std::vector<std::uint32_t>{kWhite, kBlack}));
  EXPECT_FALSE(ImageList_DrawEx(list.Handle(), 1, dc, 0, 0, 0, 0, CLR_NONE, CLR_NONE, ILD_NORMAL));
  EXPECT_FALSE(ImageList_DrawEx(nullptr, 0, dc, 0, 0, 0, 0, CLR_NONE, CLR_NONE, ILD_NORMAL));

  TImageList copy(nullptr);
  copy.Assign(&list);
  EXPECT_EQ(copy.Count(), 1);
  Board c(2, 1, kWhite);
  copy.Draw(&c.canvas, 0, 0, 0);
  EXPECT_EQ(c.surface.Pixels, (std::vector<std::uint32_t>{kWhite, kBlue}));
}
