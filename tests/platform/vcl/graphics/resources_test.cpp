// Named bitmap resources embedded by quill_embed_bitmaps (see this folder's
// CMakeLists.txt, which generates the pictures at build time).
#include <gtest/gtest.h>

#include <vcl/resources.h>

#include "pixels.h"

using namespace gfxtest;

TEST(Resources, EmbeddedBitmapsLoadByNameWithoutRegardToCase) {
  std::unique_ptr<TBitmap> red = LoadBitmapResource("GFXTEST_RED");
  ASSERT_NE(red, nullptr);
  EXPECT_EQ(red->Width(), 5);
  EXPECT_EQ(red->Height(), 3);
  EXPECT_EQ(Count(red->Surface(), kRed), 15);

  TBitmap b;
  b.LoadFromResourceName(nullptr, "gfxtest_strip");
  EXPECT_EQ(b.Width(), 8);
  EXPECT_EQ(b.Surface().At(0, 0), kBlue);
  TBitmap c;
  c.LoadFromResourceName(HInstance, "GfxTest_Strip");
  EXPECT_EQ(c.Surface().Pixels, b.Surface().Pixels);
}

TEST(Resources, ResourcesOfAStaticLibraryReachTheProgram) {
  std::unique_ptr<TBitmap> lib = LoadBitmapResource("GFXTEST_FROM_LIBRARY");
  EXPECT_EQ(lib->Width(), 2);
}

TEST(Resources, MissingNamesAndOtherModulesRaise) {
  EXPECT_THROW(LoadBitmapResource("NO_SUCH_BITMAP"), EResNotFound);
  TBitmap b(2, 2);
  int other = 0;
  EXPECT_THROW(b.LoadFromResourceName(&other, "GFXTEST_RED"), EResNotFound);
  EXPECT_EQ(b.Width(), 2);  // unchanged
  std::vector<std::string> names = BitmapResourceNames();
  EXPECT_NE(std::find(names.begin(), names.end(), "GFXTEST_RED"), names.end());
  EXPECT_FALSE(FindBitmapResource(nullptr, "", nullptr, nullptr));
}
