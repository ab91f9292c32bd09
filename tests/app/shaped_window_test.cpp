// The real program on a private X server: the main window comes up shaped by the
// first skin's face, and what lies behind it (the desktop, another window) shows
// outside the outline and in the holes; so again after the next skin is chosen.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include <support/scratch_dir.h>
#include <vcl/graphics.h>
#include <win32/region.h>

#include "main.h"
#include "xclick.h"
#include "xvfb.h"

namespace {

namespace fs = std::filesystem;

// Colours the skins do not use: the desktop, and a window under the main window.
constexpr std::uint32_t kDesktop = 0x2E8B57;
constexpr std::uint32_t kBehind = 0xD2691E;

// What the screen shows over a window's rectangle, against the face that shapes it.
struct Look {
  int outside = 0, outsideWrong = 0;             // outside the outline or in a hole
  int inside = 0, insideFace = 0, insideBehind = 0;
  std::string first;                             // the first wrong pixel outside
};

class ShapedWindow : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(xvfb_.Start(&why_)) << why_;
    IgnoreVanishedWindows();
    // A folder of its own, so that no stored skin number or output path applies.
    const fs::path bin = std::getenv("QUILLMERE_BUILD_BIN");
    fs::copy_file(bin / "Quillmere", dir() / "Quillmere");
    for (const char* skin : {"SKIN0", "SKIN1"}) fs::copy(bin / skin, dir() / skin, fs::copy_options::recursive);
  }
  void TearDown() override {
    if (child_ > 0) {
      kill(child_, SIGTERM);
      waitpid(child_, nullptr, 0);
    }
  }

  const fs::path& dir() const { return scratch_.path(); }

  void StartProgram() {
    const fs::path bin = std::getenv("QUILLMERE_BUILD_BIN");
    child_ = fork();
    if (child_ == 0) {
      setenv("DISPLAY", xvfb_.Display().c_str(), 1);
      setenv("QUILLMERE_BACKEND", "sdl", 1);
      setenv("QUILLMERE_REGISTRY", (bin / "registry.txt").c_str(), 1);
      unsetenv("QUILLMERE_DVD");
      if (chdir(dir().c_str()) != 0) _exit(126);
      execl((dir() / "Quillmere").c_str(), "Quillmere", static_cast<char*>(nullptr));
      _exit(127);
    }
    ASSERT_GT(child_, 0);
  }

  // The program's main window on the screen with the face's size; false when none.
  bool FindMain(const TBitmap& face, TopWindow* found) {
    for (const TopWindow& w : TopWindows(xvfb_.Display()))
      if (w.mapped && !w.override_redirect && w.width == face.Width() && w.height == face.Height()) {
        *found = w;
        return true;
      }
    return false;
  }

  // Reads the window's rectangle off the screen and compares it pixel by pixel with
  // what should be there: the face inside its region, else whatever is behind.
  Look LookAt(const TopWindow& at, TBitmap& face, const TRect& behind) {
    const int W = face.Width(), H = face.Height();
    Look look;
    const std::vector<std::uint32_t> screen = ReadScreen(xvfb_.Display(), at.x, at.y, W, H);
    if (screen.size() != std::size_t(W) * std::size_t(H)) {
      look.outsideWrong = 1;
      look.first = "the screen could not be read";
      return look;
    }
    HRGN region = FaceRegion(&face);
    for (int y = 0; y < H; ++y) {
      const std::uint32_t* row = face.ScanLine(y);
      for (int x = 0; x < W; ++x) {
        const std::uint32_t p = screen[std::size_t(y) * W + x];
        const int sx = at.x + x, sy = at.y + y;
        const bool overBehind = sx >= behind.Left && sx < behind.Right && sy >= behind.Top && sy < behind.Bottom;
        if (PtInRegion(region, x, y)) {
          ++look.inside;
          look.insideFace += p == (row[x] & 0xFFFFFFu);
          look.insideBehind += p == kDesktop || p == kBehind;
        } else {
          ++look.outside;
          if (p != (overBehind ? kBehind : kDesktop) && look.outsideWrong++ == 0) {
            char text[96];
            std::snprintf(text, sizeof text, "%06X at %d,%d of the window", p, x, y);
            look.first = text;
          }
        }
      }
    }
    DeleteObject(region);
    return look;
  }

  // Waits until the window with this face shows right (the program draws, a window
  // manager frames and places it meanwhile), and checks what it shows then.
  void ExpectSeeThrough(TBitmap& face, const TRect& behind, POINT hole, TopWindow* at) {
    HRGN region = FaceRegion(&face);
    const bool inHole = !PtInRegion(region, hole.x, hole.y);
    DeleteObject(region);
    ASSERT_TRUE(inHole) << "the skin's hole is not where the test looks";
    Look look;
    bool right = false;
    for (int attempt = 0; attempt < 150 && !right; ++attempt) {
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
      if (!FindMain(face, at)) continue;
      look = LookAt(*at, face, behind);
      // Buttons and texts are drawn over parts of the face.
      right = look.outsideWrong == 0 && look.insideFace > look.inside * 3 / 4 && look.insideBehind == 0;
    }
    ASSERT_GT(look.outside, 0) << "no window with the face's size appeared";
    EXPECT_EQ(look.outsideWrong, 0) << "outside the outline or in a hole, not what lies behind: " << look.first;
    EXPECT_GT(look.insideFace, look.inside * 3 / 4) << "the face does not show inside the outline";
    EXPECT_EQ(look.insideBehind, 0) << "what lies behind shows through the face";
    // The hole lies over the window behind, not over the desktop.
    const auto pixel = ReadScreen(xvfb_.Display(), at->x + hole.x, at->y + hole.y, 1, 1);
    ASSERT_EQ(pixel.size(), 1u);
    EXPECT_EQ(pixel[0], kBehind) << "the hole does not show the window behind";
  }

  XvfbServer xvfb_;
  std::string why_;
  quill_test::ScratchDir scratch_{"quill-shaped"};
  pid_t child_ = -1;
};

TEST_F(ShapedWindow, TheDesktopAndTheWindowBehindShowOutsideTheOutlineAndInTheHoles) {
  TBitmap face, next;
  face.LoadFromFile((dir() / "SKIN0" / "face.bmp").string());
  next.LoadFromFile((dir() / "SKIN1" / "face.bmp").string());
  // Centred on the 1024x768 screen once shown; another window lies under its right
  // half, the desktop under the rest.
  const int left = (1024 - face.Width()) / 2, top = (768 - face.Height()) / 2;
  const TRect behind(left + face.Width() / 2, top - 50, 1024, top + face.Height() + 50);
  ASSERT_TRUE(PaintDesktop(xvfb_.Display(), kDesktop));
  const Backdrop window(xvfb_.Display(), behind.Left, behind.Top, behind.Width(), behind.Height(), kBehind);
  ASSERT_TRUE(window.Shown());
  StartProgram();

  TopWindow at{};
  // The first skin's round hole right of the buttons.
  ExpectSeeThrough(face, behind, POINT{444, 176}, &at);
  EXPECT_EQ(at.x, left);
  EXPECT_EQ(at.y, top);

  // The next skin: another size, outline and hole (a bar where the round one was).
  TBitmap strip;
  strip.LoadFromFile((dir() / "SKIN0" / "ctrl2.bmp").string());
  TPoint nextSkin;
  for (const SkinControlEntry& e : ReadSkinControls((dir() / "SKIN0" / "skin.ini").string()))
    if (e.number == 2) nextSkin = TPoint(e.left + strip.Width() / 8, e.top + strip.Height() / 2);
  ASSERT_TRUE(ClickAt(xvfb_.Display(), at.x + nextSkin.X, at.y + nextSkin.Y));
  // The pointer away from the window, so that no hovered button or hint covers the face.
  std::string errors;
  ASSERT_EQ(RunProgram({"xdotool", "mousemove", "2", "2"}, {"DISPLAY=" + xvfb_.Display()}, {}, &errors), 0) << errors;
  ExpectSeeThrough(next, behind, POINT{400, 177}, &at);
}

}  // namespace
