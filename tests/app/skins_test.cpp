// Skins: folders beside the program, their layout and strips, the shaped window, the
// skin menu and the next-skin button; and the skins the build draws.
#include <sys/stat.h>

#include <cstring>
#include <set>
#include <utility>

#include <support/files.h>
#include <win32/region.h>

#include "forms_fixture.h"

namespace apptest {
namespace {

// The pixels of a region within a w by h area and a pixel around it.
std::set<std::pair<int, int>> RegionPixels(HRGN region, int w, int h) {
  std::set<std::pair<int, int>> out;  // (x, y)
  for (int y = -1; y <= h; ++y)
    for (int x = -1; x <= w; ++x)
      if (PtInRegion(region, x, y)) out.insert({x, y});
  return out;
}

// What a window shaped by a face keeps: every pixel that is not magenta, but for the
// rightmost of each row and all of the last row. Those lie on the right and bottom
// edges of the outline through the rows' end pixels, which its polygon leaves out.
std::set<std::pair<int, int>> KeptPixels(TBitmap& face) {
  std::set<std::pair<int, int>> out;
  for (int y = 0; y + 1 < face.Height(); ++y) {
    const std::uint32_t* row = face.ScanLine(y);
    int right = face.Width() - 1;
    while (right >= 0 && (row[right] & 0xFFFFFF) == 0xFF00FF) --right;
    for (int x = 0; x < right; ++x)
      if ((row[x] & 0xFFFFFF) != 0xFF00FF) out.insert({x, y});
  }
  return out;
}

struct StripSize {
  int number;
  int width;
  int height;
};

class Skins : public FormsTest {
 protected:
  // A skin folder with a plain grey face (a picture function may draw on it), the
  // given layout lines and strips.
  void MakeSkin(int n, int w, int h, const std::vector<std::string>& lines, const std::vector<StripSize>& strips,
                const std::function<void(TBitmap&)>& paint = nullptr) {
    fs::path folder = dir_ / ("SKIN" + std::to_string(n));
    fs::create_directories(folder);
    TBitmap face(w, h);
    face.Canvas()->Brush()->SetColor(RGB(100, 100 + n * 40, 100));
    face.Canvas()->FillRect(TRect(0, 0, w, h));
    if (paint) paint(face);
    face.SaveToFile((folder / "face.bmp").string());
    std::ofstream ini(folder / "skin.ini");
    ini << "[Controls]\n";
    for (const std::string& l : lines) ini << l << "\n";
    for (const StripSize& s : strips) {
      TBitmap strip(s.width, s.height);
      strip.Canvas()->Brush()->SetColor(RGB(10 * s.number, 0, 0));
      strip.Canvas()->FillRect(TRect(0, 0, s.width, s.height));
      std::string file = s.number == 9 ? "ctrl9_2.bmp" : "ctrl" + std::to_string(s.number) + ".bmp";
      strip.SaveToFile((folder / file).string());
    }
  }
  // Wider and taller than the buttons' resource places, which the window also spans.
  void MakePlainSkin(int n) { MakeSkin(n, 500 + 10 * n, 200, {"1=10,10"}, {{1, 80, 20}}); }

  TfrmMain* CreateMain() {
    Application->CreateForm(frmMain);
    if (!frmOption) CreateOption();
    return frmMain;
  }

  // A real click in the middle of button n.
  void ClickButton(TfrmMain* m, int n) {
    if (!m->Visible()) m->Show();
    TTransparentButton* b = m->Button(n);
    HeadlessClick(m, b->Left() + b->Width() / 2, b->Top() + b->Height() / 2);
    Application->ProcessMessages();
  }

  int SkinItems(TfrmMain* m) const {
    int n = 0;
    for (int i = 0; i < m->pupSelectSkin->Count(); ++i)
      if (!m->pupSelectSkin->Items(i)->IsLine()) ++n;
    return n;
  }
};

TEST_F(Skins, NextSkinCyclesThroughTheFoldersAndStoresTheNumber) {
  for (int n = 0; n < 3; ++n) MakePlainSkin(n);
  TfrmMain* m = CreateMain();
  EXPECT_EQ(m->SkinIndex(), 0);
  EXPECT_EQ(m->ClientWidth(), 500) << "the window takes the face's size";
  EXPECT_EQ(ReadConfig("Index"), "<missing>") << "start-up only reads the number";
  std::vector<int> seen;
  for (int i = 0; i < 4; ++i) {
    ClickButton(m, 2);
    seen.push_back(m->SkinIndex());
    EXPECT_EQ(ReadConfig("Index"), std::to_string(m->SkinIndex()));
    EXPECT_EQ(SkinFolder, SkinFolderPath(m->SkinIndex()));
    EXPECT_EQ(m->ClientWidth(), 500 + 10 * m->SkinIndex());
  }
  EXPECT_EQ(seen, (std::vector<int>{1, 2, 0, 1}));
  EXPECT_EQ(SkinItems(m), 3);
  EXPECT_EQ(m->pupSelectSkin->Count(), 5) << "skin, line, skin, line, skin";
  EXPECT_TRUE(boxes.empty());
}

TEST_F(Skins, AGapInTheNumberingEndsTheList) {
  MakePlainSkin(0);
  MakePlainSkin(1);
  MakePlainSkin(3);
  WriteConfig("Index", "1");
  TfrmMain* m = CreateMain();
  EXPECT_EQ(m->SkinIndex(), 1);
  EXPECT_EQ(SkinItems(m), 2);
  ClickButton(m, 2);
  EXPECT_EQ(m->SkinIndex(), 0);
  EXPECT_EQ(ReadConfig("Index"), "0");
}

// A stored skin whose folder is gone: the first skin that loads, without a word (there
// is nothing to mend); the stored number stays until the user picks a skin.
TEST_F(Skins, AMissingStoredSkinFallsBackToTheFirstThatLoads) {
  MakePlainSkin(0);
  MakePlainSkin(1);
  WriteConfig("Index", "7");
  TfrmMain* m = CreateMain();
  EXPECT_EQ(m->SkinIndex(), 0);
  EXPECT_EQ(SkinFolder, SkinFolderPath(0));
  EXPECT_FALSE(m->Image1->Picture()->Bitmap()->Empty());
  EXPECT_NE(m->WindowRegion(), nullptr) << "shaped";
  EXPECT_EQ(SkinItems(m), 2);
  EXPECT_TRUE(boxes.empty());
  EXPECT_EQ(ReadConfig("Index"), "7");
  ClickButton(m, 2);
  EXPECT_EQ(m->SkinIndex(), 1);
  EXPECT_EQ(ReadConfig("Index"), "1");
}

// Without any skin the window starts unskinned, as before there were skins.
TEST_F(Skins, WithoutSkinsTheWindowStartsUnskinnedAndSilent) {
  TfrmMain* m = CreateMain();
  EXPECT_EQ(m->SkinIndex(), 0);
  EXPECT_EQ(SkinFolder, SkinFolderPath(0));
  EXPECT_TRUE(m->Image1->Picture()->Bitmap()->Empty());
  EXPECT_EQ(m->WindowRegion(), nullptr) << "rectangular";
  EXPECT_EQ(m->Button(4)->Left(), 48) << "buttons keep their resource places";
  ClickButton(m, 2);
  EXPECT_EQ(m->SkinIndex(), 0);
  EXPECT_EQ(ReadConfig("Index"), "<missing>") << "no skin was shown, so none is stored";
  EXPECT_TRUE(boxes.empty());
}

TEST_F(Skins, StoredIndexReadsAtMostEightCharacters) {
  MakePlainSkin(0);
  WriteConfig("Index", "abc");
  TfrmMain* m = CreateMain();
  EXPECT_EQ(m->SkinIndex(), 0);
  FreeComponent(m);
  frmMain = nullptr;
  MakeSkin(12345678, 300, 200, {}, {});
  WriteConfig("Index", "123456789");
  m = CreateMain();
  EXPECT_EQ(m->SkinIndex(), 12345678);
}

TEST_F(Skins, LayoutLinesPlaceAndSizeTheButtons) {
  MakeSkin(0, 300, 200, {"4=48,88", "12=0,0", "  6 = 7 , 9", "9=100,100"}, {{4, 163, 30}, {6, 80, 20}, {9, 40, 10}});
  TfrmMain* m = CreateMain();
  EXPECT_EQ(m->Button(4)->BoundsRect(), Bounds(48, 88, 40, 30)) << "a quarter of 163 columns";
  EXPECT_EQ(m->ImageList(4)->Count(), 4);
  EXPECT_EQ(m->ImageList(4)->Width(), 40);
  EXPECT_EQ(m->Button(6)->BoundsRect(), Bounds(7, 9, 20, 20));
  EXPECT_EQ(m->Button(9)->BoundsRect(), Bounds(100, 100, 10, 10)) << "button 9 draws from ctrl9_2.bmp";
  EXPECT_TRUE(m->Button(4)->Transparent());
  // Buttons the layout does not name keep their place and lose their pictures.
  EXPECT_EQ(m->Button(5)->BoundsRect(), Bounds(96, 88, 40, 40));
  EXPECT_EQ(m->ImageList(5)->Count(), 0);
  EXPECT_TRUE(boxes.empty());
}

TEST_F(Skins, LinesWithoutEqualsOrCommaAreSkipped) {
  SkinControlEntry e;
  EXPECT_FALSE(ParseControlLine("abc", &e));
  EXPECT_FALSE(ParseControlLine("5=10", &e));
  EXPECT_FALSE(ParseControlLine("6,7=8", &e)) << "the comma must follow the '='";
  ASSERT_TRUE(ParseControlLine("3=-5,x", &e));
  EXPECT_EQ(e.number, 3);
  EXPECT_EQ(e.left, -5);
  EXPECT_EQ(e.top, 0);
  EXPECT_EQ(TextBeforeChar(std::string(100, '7') + "=1", '='), std::string(79, '7'));

  MakeSkin(0, 300, 200, {"junk", "5=10", "4=20,30", ";4=1,1"}, {{4, 40, 10}});
  TfrmMain* m = CreateMain();
  EXPECT_EQ(m->Button(4)->BoundsRect(), Bounds(20, 30, 10, 10));
  EXPECT_EQ(m->Button(5)->BoundsRect(), Bounds(96, 88, 40, 40));
}

TEST_F(Skins, SkinsBeyondTheLimitsAreRefusedAndTheWindowKeepsItsSkin) {
  MakeSkin(0, 520, 200, {"4=20,30"}, {{4, 40, 10}});
  std::vector<std::string> many;
  for (int i = 0; i < 1001; ++i) many.push_back("4=" + std::to_string(i % 100) + ",1");
  MakeSkin(1, 540, 200, many, {{4, 40, 10}});
  MakeSkin(2, 560, 1601, {"4=1,1"}, {{4, 40, 10}});
  MakeSkin(3, 580, 200, {"4=1,1", "5=2,2"}, {{4, 40, 10}, {5, 3, 10}});
  // A place beyond 32 bits must not wrap round to a small one, nor allocate a window
  // of that width.
  MakeSkin(5, 300, 200, {"4=99999999999,1"}, {{4, 40, 10}});
  MakeSkin(6, 300, 200, {"4=1,-8193"}, {{4, 40, 10}});
  MakeSkin(7, 300, 200, {"4=8000,1"}, {{4, 1000, 10}});
  MakeSkin(8, kMaxFormExtent + 1, 2, {}, {});
  MakeSkin(9, 300, 200, {"4=1,1", "5=2,2"}, {{4, 40, 10}});  // no ctrl5.bmp
  struct Refusal {
    int skin;
    std::string text;
  };
  const Refusal refusals[] = {
      {1, "skin.ini: the layout has more than 1000 lines"},
      {2, "face.bmp: the picture is taller than 1600 rows"},
      {3, "ctrl5.bmp: the picture strip of button 5 is narrower than 4 pixels"},
      {5, "skin.ini: button 4 at 2147483647,1 lies outside what a screen can show"},
      {6, "skin.ini: button 4 at 1,-8193 lies outside"},
      {7, "ctrl4.bmp: the picture of button 4 at 8000,1 reaches beyond what a screen can show"},
      {8, "face.bmp: the picture is wider than 8192 columns"},
      {9, "ctrl5.bmp: there is no such file"},
  };
  TfrmMain* m = CreateMain();
  HRGN before = m->WindowRegion();
  ASSERT_NE(before, nullptr);
  std::vector<RegionSpan> shape = GetRegionSpans(before);
  for (const Refusal& r : refusals) {
    SCOPED_TRACE(r.skin);
    boxes.clear();
    SkinFolder = SkinFolderPath(r.skin);
    EXPECT_FALSE(m->ApplySkin());
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].caption, "Error");
    EXPECT_EQ(boxes[0].text.rfind("The skin in " + SkinFolder + " cannot be used: ", 0), 0u) << boxes[0].text;
    EXPECT_NE(boxes[0].text.find(r.text), std::string::npos) << boxes[0].text;
    EXPECT_EQ(m->ClientWidth(), 520);
    EXPECT_EQ(m->Button(4)->BoundsRect(), Bounds(20, 30, 10, 10));
    EXPECT_EQ(m->ImageList(4)->Count(), 4);
    EXPECT_EQ(GetRegionSpans(m->WindowRegion()), shape);
  }
  // The most that is allowed still works.
  // (Leading zeros make the section longer than the old 10000-byte buffer: nothing is cut.)
  many.resize(1000);
  for (std::string& line : many) line.insert(2, 12, '0');
  MakeSkin(4, 600, 1600, many, {{4, 40, 10}});
  SkinFolder = SkinFolderPath(4);
  boxes.clear();
  EXPECT_TRUE(m->ApplySkin());
  EXPECT_TRUE(boxes.empty());
  EXPECT_EQ(m->Button(4)->Left(), 99) << "the last line wins";
}

// Cuts a file of a skin to its first `bytes` bytes.
void Truncate(const fs::path& file, std::uintmax_t bytes) { fs::resize_file(file, bytes); }

// The next-skin button passes over a broken skin, says which file is at fault and
// stores only the number of a skin it shows; the menu stores nothing for one either.
TEST_F(Skins, NextSkinPassesOverABrokenSkinAndStoresOnlyAShownOne) {
  for (int n = 0; n < 3; ++n) MakePlainSkin(n);
  Truncate(dir_ / "SKIN1" / "ctrl1.bmp", 200);
  TfrmMain* m = CreateMain();
  ClickButton(m, 2);
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].caption, "Error");
  EXPECT_EQ(boxes[0].text, "The skin in " + SkinFolderPath(1) +
                               " cannot be used: ctrl1.bmp: Bitmap image is not valid: truncated pixels");
  EXPECT_EQ(m->SkinIndex(), 2);
  EXPECT_EQ(SkinFolder, SkinFolderPath(2));
  EXPECT_EQ(m->ClientWidth(), 520);
  EXPECT_EQ(ReadConfig("Index"), "2");
  ClickButton(m, 2);
  EXPECT_EQ(m->SkinIndex(), 0);
  EXPECT_EQ(ReadConfig("Index"), "0");
  EXPECT_EQ(boxes.size(), 1u);

  // Picked from the menu: said, and the window stays on the skin it shows.
  m->pupSelectSkin->Items(2)->Click();
  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_NE(boxes[1].text.find("ctrl1.bmp"), std::string::npos) << boxes[1].text;
  EXPECT_EQ(m->SkinIndex(), 0);
  EXPECT_EQ(SkinFolder, SkinFolderPath(0));
  EXPECT_EQ(ReadConfig("Index"), "0");
  EXPECT_EQ(m->ClientWidth(), 500);
}

// When every other skin is broken the window keeps its own, and nothing is stored.
TEST_F(Skins, NextSkinWithNoOtherUsableSkinKeepsTheWindowAsItIs) {
  MakePlainSkin(0);
  MakePlainSkin(1);
  fs::remove(dir_ / "SKIN0" / "face.bmp");
  WriteConfig("Index", "1");
  TfrmMain* m = CreateMain();
  ASSERT_EQ(m->SkinIndex(), 1);
  ClickButton(m, 2);
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_NE(boxes[0].text.find(SkinFolderPath(0) + " cannot be used: face.bmp: there is no such file."),
            std::string::npos)
      << boxes[0].text;
  EXPECT_EQ(m->SkinIndex(), 1);
  EXPECT_EQ(SkinFolder, SkinFolderPath(1));
  EXPECT_EQ(ReadConfig("Index"), "1");
  EXPECT_NE(m->WindowRegion(), nullptr);
}

// Files of a skin that are FIFOs or devices are refused without being opened for
// reading: a FIFO would block the start until a writer came.
TEST_F(Skins, SpecialFilesInASkinAreRefusedWithoutWaiting) {
  MakePlainSkin(0);
  MakePlainSkin(1);
  MakePlainSkin(2);
  fs::remove(dir_ / "SKIN1" / "ctrl1.bmp");
  ASSERT_EQ(mkfifo((dir_ / "SKIN1" / "ctrl1.bmp").c_str(), 0644), 0);
  fs::remove(dir_ / "SKIN2" / "face.bmp");
  ASSERT_EQ(mkfifo((dir_ / "SKIN2" / "face.bmp").c_str(), 0644), 0);
  fs::remove(dir_ / "SKIN0" / "skin.ini");
  ASSERT_EQ(mkfifo((dir_ / "SKIN0" / "skin.ini").c_str(), 0644), 0);
  TfrmMain* m = CreateMain();
  EXPECT_EQ(m->SkinIndex(), 0) << "a layout that cannot be read is an empty one";
  ClickButton(m, 2);
  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_NE(boxes[0].text.find("ctrl1.bmp: it is not a regular file."), std::string::npos) << boxes[0].text;
  EXPECT_NE(boxes[1].text.find("face.bmp: it is not a regular file."), std::string::npos) << boxes[1].text;
  EXPECT_EQ(m->SkinIndex(), 0);
}

TEST_F(Skins, NoLayoutEmptiesEveryButtonAndStillShapes) {
  MakeSkin(0, 300, 200, {"4=20,30"}, {{4, 40, 10}});
  MakeSkin(1, 300, 200, {}, {});
  fs::remove(dir_ / "SKIN1" / "skin.ini");
  TfrmMain* m = CreateMain();
  ClickButton(m, 2);
  EXPECT_EQ(m->SkinIndex(), 1);
  for (int k = 1; k <= 10; ++k) EXPECT_EQ(m->ImageList(k)->Count(), 0);
  EXPECT_NE(m->WindowRegion(), nullptr);
}

// Row 2 is all magenta; the others have magenta margins of 3 and 2 pixels and a
// magenta pixel at (5, 4) inside.
TEST_F(Skins, TheOutlineFollowsTheMagentaAndHolesAreCutOut) {
  auto paint = [](TBitmap& face) {
    for (int y = 0; y < face.Height(); ++y) {
      std::uint32_t* row = face.ScanLine(y);
      for (int x = 0; x < face.Width(); ++x)
        if (y == 2 || x < 3 || x >= face.Width() - 2) row[x] = 0xFF00FF;
    }
    face.ScanLine(4)[5] = 0xFF00FF;
  };
  TBitmap face(12, 8);
  face.Canvas()->FillRect(TRect(0, 0, 12, 8));
  paint(face);
  std::vector<POINT> outline = FaceOutline(&face);
  ASSERT_EQ(outline.size(), 16u);
  EXPECT_EQ(outline[1].x, 3);
  EXPECT_EQ(outline[1].y, 1);
  EXPECT_EQ(outline[2].x, 3);
  EXPECT_EQ(outline[2].y, 1) << "an all-magenta row repeats the previous left point";
  EXPECT_EQ(outline[16 - 1 - 2].x, 9);
  EXPECT_EQ(outline[16 - 1 - 2].y, 1) << "and the previous right point";
  EXPECT_EQ(outline[15].x, 9);
  EXPECT_EQ(outline[15].y, 0);

  HRGN r = FaceRegion(&face);
  EXPECT_TRUE(PtInRegion(r, 4, 4));
  EXPECT_FALSE(PtInRegion(r, 5, 4)) << "the hole";
  EXPECT_TRUE(PtInRegion(r, 6, 4));
  EXPECT_FALSE(PtInRegion(r, 1, 4)) << "outside the outline";
  EXPECT_FALSE(PtInRegion(r, 11, 4));
  EXPECT_FALSE(PtInRegion(r, 5, 2)) << "the all-magenta row";
  DeleteObject(r);

  MakeSkin(0, 12, 8, {}, {}, paint);
  TfrmMain* m = CreateMain();
  // Rows 0, 1 and 3 to 6 from x = 3 up to the rightmost face pixel 9, which lies on
  // the outline's right edge, as the last row lies on its bottom edge; less the hole.
  std::set<std::pair<int, int>> want;
  for (int y : {0, 1, 3, 4, 5, 6})
    for (int x = 3; x < 9; ++x) want.insert({x, y});
  want.erase({5, 4});
  EXPECT_EQ(RegionPixels(m->WindowRegion(), 12, 8), want);
}

TEST_F(Skins, MenuItemsShowThumbnailsAndSwitchSkins) {
  // Skin 1's face has a white block: see-through in its thumbnail only; its magenta
  // corner, outside the window, is see-through in the thumbnail too.
  MakePlainSkin(0);
  MakeSkin(1, 100, 50, {"1=10,10"}, {{1, 80, 20}}, [](TBitmap& face) {
    face.Canvas()->Brush()->SetColor(clWhite);
    face.Canvas()->FillRect(TRect(0, 0, 50, 50));
    face.Canvas()->Brush()->SetColor(TColor(0xFF00FF));
    face.Canvas()->FillRect(TRect(90, 40, 100, 50));
  });
  TfrmMain* m = CreateMain();
  ASSERT_EQ(m->pupSelectSkin->Count(), 3);
  TMenuItem* item1 = m->pupSelectSkin->Items(2);
  int w = 0, h = 0;
  item1->OnMeasureItem(item1, nullptr, w, h);
  EXPECT_EQ(w, 137);
  EXPECT_EQ(h, 35);

  TBitmap menu(100, 50);
  menu.Canvas()->Brush()->SetColor(RGB(1, 2, 3));
  menu.Canvas()->FillRect(TRect(0, 0, 100, 50));
  item1->OnDrawItem(item1, menu.Canvas(), TRect(0, 0, 100, 50), false);
  EXPECT_EQ(menu.ScanLine(10)[10] & 0xFFFFFF, 0x010203u) << "white is transparent in the thumbnail";
  EXPECT_EQ(menu.ScanLine(10)[80] & 0xFFFFFF, 0x648C64u) << "the face colour shows";
  EXPECT_EQ(menu.ScanLine(45)[95] & 0xFFFFFF, 0x010203u) << "magenta is transparent in the thumbnail";

  item1->Click();
  EXPECT_EQ(m->SkinIndex(), 1);
  EXPECT_EQ(ReadConfig("Index"), "1");
  EXPECT_TRUE(PtInRegion(m->WindowRegion(), 10, 10)) << "white is part of the window";
  // A folder removed after start-up: its item changes nothing.
  fs::remove_all(dir_ / "SKIN1");
  m->pupSelectSkin->Items(0)->Click();
  EXPECT_EQ(m->SkinIndex(), 0);
  item1->Click();
  EXPECT_EQ(m->SkinIndex(), 0);
}

// --- The skins the build draws -------------------------------------------------------

using quill_test::BuildBin;
using quill_test::GalleryFolder;
using quill_test::ReadBytes;

const char* const kSkinFiles[] = {"face.bmp",  "skin.ini",  "welcome.bmp", "ctrl1.bmp",   "ctrl2.bmp",
                                  "ctrl3.bmp", "ctrl4.bmp", "ctrl5.bmp",   "ctrl6.bmp",   "ctrl7.bmp",
                                  "ctrl8.bmp", "ctrl9_2.bmp", "ctrl10.bmp"};

TEST(GeneratedSkins, TheGeneratorDrawsTheSameBytesEveryTime) {
  fs::path out = fs::path(std::getenv("QUILL_APP_TEST_DIR")) / "drawn";
  std::string cmd = "'" + (BuildBin() / "skingen").string() + "' '" + out.string() + "'";
  ASSERT_EQ(std::system(cmd.c_str()), 0);
  for (int n = 0; n < 3; ++n)
    for (const char* f : kSkinFiles) {
      fs::path name = fs::path("SKIN" + std::to_string(n)) / f;
      SCOPED_TRACE(name.string());
      std::vector<std::uint8_t> drawn = ReadBytes(out / name);
      EXPECT_FALSE(drawn.empty());
      EXPECT_EQ(drawn, ReadBytes(BuildBin() / name));
    }
  EXPECT_FALSE(fs::exists(out / "SKIN3"));
}

TEST(GeneratedSkins, EachSkinIsComplete) {
  std::vector<std::vector<std::uint8_t>> faces;
  for (int n = 0; n < 3; ++n) {
    SCOPED_TRACE(n);
    fs::path folder = BuildBin() / ("SKIN" + std::to_string(n));
    TBitmap face;
    face.LoadFromFile((folder / "face.bmp").string());
    faces.push_back(ReadBytes(folder / "face.bmp"));
    int W = face.Width(), H = face.Height();
    EXPECT_EQ(face.ScanLine(0)[0] & 0xFFFFFF, 0xFF00FFu) << "magenta outside the outline";
    EXPECT_EQ(face.ScanLine(H - 1)[W - 1] & 0xFFFFFF, 0xFF00FFu);
    // A hole: magenta between a row's outline edges.
    std::vector<POINT> outline = FaceOutline(&face);
    bool hole = false;
    for (int y = 0; y < H && !hole; ++y)
      for (int x = outline[size_t(y)].x; x < outline[size_t(2 * H - 1 - y)].x; ++x)
        if ((face.ScanLine(y)[x] & 0xFFFFFF) == 0xFF00FF) hole = true;
    EXPECT_TRUE(hole);

    std::vector<SkinControlEntry> entries = ReadSkinControls((folder / "skin.ini").string());
    ASSERT_EQ(entries.size(), 10u);
    HRGN region = FaceRegion(&face);
    for (int k = 0; k < 10; ++k) {
      const SkinControlEntry& e = entries[size_t(k)];
      EXPECT_EQ(e.number, k + 1);
      TBitmap strip;
      strip.LoadFromFile((folder / (k == 8 ? "ctrl9_2.bmp" : "ctrl" + std::to_string(k + 1) + ".bmp")).string());
      EXPECT_EQ(strip.Width() % 4, 0);
      int fw = strip.Width() / 4, fh = strip.Height();
      EXPECT_GE(fw, 20);
      // The button lies wholly inside the shaped window.
      for (int y = e.top; y < e.top + fh; ++y)
        for (int x = e.left; x < e.left + fw; ++x)
          if (!PtInRegion(region, x, y)) {
            ADD_FAILURE() << "button " << e.number << " leaves the window at " << x << "," << y;
            y = e.top + fh;
            break;
          }
      // Frames differ: pressed and mouse-over are not the normal picture.
      auto frame = [&](int f) {
        std::vector<std::uint32_t> px;
        for (int y = 0; y < fh; ++y) px.insert(px.end(), strip.ScanLine(y) + f * fw, strip.ScanLine(y) + f * fw + fw);
        return px;
      };
      EXPECT_NE(frame(0), frame(1));
      EXPECT_NE(frame(0), frame(2));
      EXPECT_EQ(strip.ScanLine(0)[0] & 0xFFFFFF, 0xFF00FFu) << "rounded corners are see-through";
    }
    DeleteObject(region);
    TBitmap welcome;
    welcome.LoadFromFile((folder / "welcome.bmp").string());
    EXPECT_GT(welcome.Width(), 100);
  }
  EXPECT_NE(faces[0], faces[1]);
  EXPECT_NE(faces[1], faces[2]);
  EXPECT_NE(faces[0], faces[2]);
}

// The four mode buttons carry different labels, so their normal frames differ.
TEST(GeneratedSkins, ModeButtonsAreLabelledApart) {
  fs::path folder = BuildBin() / "SKIN0";
  std::vector<std::vector<std::uint8_t>> strips;
  for (int k = 4; k <= 7; ++k) strips.push_back(ReadBytes(folder / ("ctrl" + std::to_string(k) + ".bmp")));
  for (size_t i = 0; i < strips.size(); ++i)
    for (size_t j = i + 1; j < strips.size(); ++j) EXPECT_NE(strips[i], strips[j]);
}

// The program's own skins on the main window.
TEST_F(Skins, TheDrawnSkinsShapeTheMainWindow) {
  for (int n = 0; n < 3; ++n)
    fs::copy(BuildBin() / ("SKIN" + std::to_string(n)), dir_ / ("SKIN" + std::to_string(n)),
             fs::copy_options::recursive);
  TfrmMain* m = CreateMain();
  m->Show();
  const fs::path gallery = GalleryFolder();
  for (int n = 0; n < 3; ++n) {
    SCOPED_TRACE(n);
    // A look for people: the window as shown in each skin.
    Application->ProcessMessages();
    HeadlessCaptureToFile(m->Handle(), (gallery / ("main_window_skin" + std::to_string(n) + ".png")).string());
    TBitmap face;
    face.LoadFromFile((dir_ / ("SKIN" + std::to_string(n)) / "face.bmp").string());
    EXPECT_EQ(m->ClientWidth(), face.Width());
    EXPECT_EQ(m->ClientHeight(), face.Height());
    EXPECT_EQ(RegionPixels(m->WindowRegion(), face.Width(), face.Height()), KeptPixels(face));
    EXPECT_FALSE(PtInRegion(m->WindowRegion(), 0, 0));
    for (int k = 1; k <= 10; ++k) EXPECT_EQ(m->ImageList(k)->Count(), 4) << k;
    ClickButton(m, 2);
  }
  EXPECT_EQ(m->SkinIndex(), 0);
  EXPECT_TRUE(boxes.empty());
}

}  // namespace
}  // namespace apptest
