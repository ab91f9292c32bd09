// The theme pictures are in the program: every name the theme table gives, the
// pictures loaded by fixed names, "MENU_CHECKED" and "MAINICON", each at its size.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

#include <support/files.h>
#include <support/scratch_dir.h>
#include <vcl/graphics.h>
#include <vcl/resources.h>

#include "suithemes.h"

namespace {

const TsuiUIStyle kStyles[] = {TsuiUIStyle::MacOS, TsuiUIStyle::WinXP, TsuiUIStyle::DeepBlue,
                               TsuiUIStyle::Protein, TsuiUIStyle::BlueGlass};

TsuiUIStyle StyleNamed(const std::string& n) {
  const char* names[] = {"MacOS", "WinXP", "DeepBlue", "Protein", "BlueGlass"};
  for (int i = 0; i < 5; ++i)
    if (n == names[i]) return kStyles[i];
  ADD_FAILURE() << "unknown style " << n;
  return TsuiUIStyle::Custom;
}

TEST(ThemeResources, EveryNameOfTheTableIsABitmapOfTheProgram) {
  std::set<std::string> names;
  for (TsuiUIStyle s : kStyles)
    for (int i = 1; i <= kThemeElementCount; ++i) {
      std::string n = GetThemeString(s, i);
      if (!n.empty()) names.insert(n);
    }
  EXPECT_EQ(names.size(), 182u);
  for (const char* fixed : {"MACOS_COMBOBOX_BUTTON", "MACOS_FORM_BACKGROUND", "PROTEIN_FORM_BACKGROUND",
                            "MACOS_MENU_BAR", "MACOS_MENU_SELECT", "SIDECHANNEL_BAR_NORMAL",
                            "SIDECHANNEL_BAR_MOUSEON", "SIDECHANNEL_BTN_ONTOP", "SIDECHANNEL_BTN_NOONTOP",
                            "MAINICON"})
    names.insert(fixed);
  for (const std::string& n : names) {
    SCOPED_TRACE(n);
    std::unique_ptr<TBitmap> b;
    ASSERT_NO_THROW(b = LoadBitmapResource(n));
    EXPECT_GT(b->Width(), 0);
    EXPECT_GT(b->Height(), 0);
    TBitmap viaName;
    EXPECT_NO_THROW(viaName.LoadFromResourceName(0, n));
    EXPECT_EQ(viaName.Width(), b->Width());
  }
}

TEST(ThemeResources, PicturesHaveTheSizesTheControlsRelyOn) {
  std::ifstream in(std::string(QUILL_CONTROLS_TEST_DATA) + "/fixed-sizes.txt");
  ASSERT_TRUE(in.good());
  std::string line;
  int checked = 0;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream w(line);
    std::string what;
    w >> what;
    std::vector<std::string> names;
    int width = 0, height = 0;
    if (what == "name") {
      std::string n;
      w >> n >> width >> height;
      names.push_back(n);
    } else {
      std::string range, styles;
      w >> range >> styles >> width >> height;
      int first = std::stoi(range.substr(0, range.find('-')));
      int last = std::stoi(range.substr(range.find('-') + 1));
      std::istringstream ss(styles);
      std::string s;
      while (std::getline(ss, s, ','))
        for (int i = first; i <= last; ++i) names.push_back(GetThemeString(StyleNamed(s), i));
    }
    for (const std::string& n : names) {
      SCOPED_TRACE(line + ": " + n);
      std::unique_ptr<TBitmap> b = LoadBitmapResource(n);
      EXPECT_EQ(b->Width(), width);
      EXPECT_EQ(b->Height(), height);
      ++checked;
    }
  }
  EXPECT_GT(checked, 100);
}

TEST(ThemeResources, AMissingPictureIsTheLibrarysResourceError) {
  EXPECT_THROW(LoadBitmapResource("DEEPBLUE_NO_SUCH_PICTURE"), EResNotFound);
  TBitmap b;
  EXPECT_THROW(b.LoadFromResourceName(0, ""), EResNotFound);
  EXPECT_TRUE(b.Empty());
}

TEST(ThemeResources, PicturesMaskedByACornerKeepTheirKeyThere) {
  // Radio buttons are drawn masked by their top-left pixel, tab pictures over
  // magenta: their shape must not touch that corner's colour.
  for (TsuiUIStyle s : kStyles) {
    std::unique_ptr<TBitmap> radio = LoadBitmapResource(GetThemeString(s, 36));
    TColor key = radio->Canvas()->Pixels(0, 0);
    int h = radio->Height(), w = radio->Width();
    EXPECT_NE(radio->Canvas()->Pixels(w / 2, h / 2), key);
    std::unique_ptr<TBitmap> tab = LoadBitmapResource(GetThemeString(s, 69));
    EXPECT_EQ(tab->Canvas()->Pixels(0, 0), 0xFF00FF);
  }
}

TEST(ThemeResources, TheGeneratorDrawsTheSamePicturesAgain) {
  // A fresh run of the generator gives byte for byte what the build embedded.
  const char* bin = std::getenv("QUILLMERE_BUILD_BIN");
  const char* src = std::getenv("QUILLMERE_SOURCE_DIR");
  ASSERT_TRUE(bin && src);
  const quill_test::ScratchDir scratch("theme-art");
  const auto& out = scratch.path();
  std::string cmd = "ASAN_OPTIONS=detect_leaks=0 '" + std::string(bin) + "/make_theme_art' '" + src +
                    "/controls/artwork/theme-pictures.txt' '" + out.string() + "'";
  ASSERT_EQ(std::system(cmd.c_str()), 0);
  int compared = 0;
  for (const auto& entry : std::filesystem::directory_iterator(out)) {
    std::string name = entry.path().stem().string();
    const std::vector<std::uint8_t> bytes = quill_test::ReadBytes(entry.path());
    const std::uint8_t* data = nullptr;
    std::size_t size = 0;
    ASSERT_TRUE(FindBitmapResource(nullptr, name, &data, &size)) << name;
    ASSERT_EQ(size, bytes.size()) << name;
    EXPECT_EQ(std::memcmp(data, bytes.data(), size), 0) << name;
    ++compared;
  }
  EXPECT_EQ(compared, 192);
}

}  // namespace
