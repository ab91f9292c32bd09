#include <gtest/gtest.h>
#include <win32/clipboard.h>
#include <win32/errors.h>
#include <win32/winsurface.h>

#include <cstring>
#include <future>
#include <thread>
#include <vector>

namespace {

HGLOBAL TextBlock(const std::string& text, bool withNul = true) {
  HGLOBAL h = GlobalAlloc(GMEM_MOVEABLE | GMEM_DDESHARE, text.size() + (withNul ? 1 : 0));
  auto* p = static_cast<char*>(GlobalLock(h));
  std::memcpy(p, text.data(), text.size());
  if (withNul) p[text.size()] = '\0';
  GlobalUnlock(h);
  return h;
}

std::optional<std::string> ReadClipboard() {
  if (!OpenClipboard(nullptr)) return std::nullopt;
  std::optional<std::string> text;
  if (HANDLE h = GetClipboardData(CF_TEXT)) {
    text = static_cast<const char*>(GlobalLock(h));
    GlobalUnlock(h);
  }
  CloseClipboard();
  return text;
}

bool WriteClipboard(const std::string& text) {
  if (!OpenClipboard(nullptr)) return false;
  EmptyClipboard();
  HGLOBAL h = TextBlock(text);
  bool ok = SetClipboardData(CF_TEXT, h) == h;
  if (!ok) GlobalFree(h);
  CloseClipboard();
  return ok;
}

TEST(GlobalMemory, MoveableBlocksCountLocksAndFixedBlocksAreTheirMemory) {
  HGLOBAL h = GlobalAlloc(GHND, 16);
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(GlobalSize(h), 16u);
  auto* p = static_cast<unsigned char*>(GlobalLock(h));
  ASSERT_NE(p, nullptr);
  EXPECT_NE(static_cast<void*>(p), h);
  for (int i = 0; i < 16; ++i) EXPECT_EQ(p[i], 0) << "GHND zero-fills";
  EXPECT_EQ(GlobalLock(h), p);
  EXPECT_TRUE(GlobalUnlock(h));   // still locked once
  EXPECT_FALSE(GlobalUnlock(h));  // now unlocked
  EXPECT_EQ(GetLastError(), ERROR_SUCCESS);
  EXPECT_FALSE(GlobalUnlock(h));
  EXPECT_EQ(GetLastError(), ERROR_NOT_LOCKED);
  EXPECT_EQ(GlobalFree(h), nullptr);

  HGLOBAL fixed = GlobalAlloc(GPTR, 8);
  EXPECT_EQ(GlobalLock(fixed), fixed);
  EXPECT_EQ(GlobalSize(fixed), 8u);
  EXPECT_EQ(GlobalFree(fixed), nullptr);

  // Freed and foreign handles are refused, not followed.
  int local = 0;
  EXPECT_EQ(GlobalFree(h), h);
  EXPECT_EQ(GlobalLock(h), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
  EXPECT_EQ(GlobalSize(&local), 0u);
  EXPECT_EQ(GlobalFree(&local), &local);
}

TEST(Clipboard, TextRoundTrip) {
  ASSERT_TRUE(WriteClipboard("Count=        1, total=          5\n"));
  EXPECT_TRUE(IsClipboardFormatAvailable(CF_TEXT));
  EXPECT_EQ(ReadClipboard(), "Count=        1, total=          5\n");
  ASSERT_TRUE(WriteClipboard("second"));
  EXPECT_EQ(ReadClipboard(), "second");

  ASSERT_TRUE(OpenClipboard(nullptr));
  EXPECT_TRUE(EmptyClipboard());
  EXPECT_EQ(GetClipboardData(CF_TEXT), nullptr);
  EXPECT_EQ(GetClipboardData(2), nullptr);  // only text is kept
  EXPECT_TRUE(CloseClipboard());
  EXPECT_FALSE(IsClipboardFormatAvailable(CF_TEXT));
}

TEST(Clipboard, CallsNeedTheClipboardOpenAndOneThreadHoldsIt) {
  HGLOBAL h = TextBlock("x");
  EXPECT_EQ(SetClipboardData(CF_TEXT, h), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_CLIPBOARD_NOT_OPEN);
  EXPECT_FALSE(EmptyClipboard());
  EXPECT_EQ(GetClipboardData(CF_TEXT), nullptr);
  EXPECT_FALSE(CloseClipboard());
  GlobalFree(h);  // refused, so still ours

  ASSERT_TRUE(OpenClipboard(nullptr));
  EXPECT_TRUE(OpenClipboard(nullptr));  // the same thread may open it again
  EXPECT_FALSE(std::async(std::launch::async, [] { return OpenClipboard(nullptr) != 0; }).get());
  EXPECT_FALSE(std::async(std::launch::async, [] { return EmptyClipboard() != 0; }).get());
  EXPECT_TRUE(CloseClipboard());
  EXPECT_TRUE(std::async(std::launch::async, [] {
                return OpenClipboard(nullptr) != 0 && CloseClipboard() != 0;
              }).get());
}

TEST(Clipboard, TextEndsAtItsNulOrAtTheEndOfTheBlock) {
  ASSERT_TRUE(OpenClipboard(nullptr));
  EmptyClipboard();
  HGLOBAL h = TextBlock("abcdef", false);
  EXPECT_EQ(SetClipboardData(CF_TEXT, h), h);
  CloseClipboard();
  EXPECT_EQ(ReadClipboard(), "abcdef");

  ASSERT_TRUE(OpenClipboard(nullptr));
  EmptyClipboard();
  HGLOBAL inner = TextBlock(std::string("ab\0cd", 5));
  EXPECT_EQ(SetClipboardData(CF_TEXT, inner), inner);
  CloseClipboard();
  EXPECT_EQ(ReadClipboard(), "ab");
}

class RecordingProvider : public ClipboardProvider {
 public:
  std::optional<std::string> text;
  std::vector<std::string> calls;
  std::optional<std::string> GetText() override {
    calls.push_back("get");
    return text;
  }
  bool SetText(const std::string& t) override {
    calls.push_back("set:" + t);
    text = t;
    return true;
  }
  void Clear() override {
    calls.push_back("clear");
    text.reset();
  }
};

TEST(Clipboard, ProviderReplacesTheBuiltInStore) {
  ASSERT_TRUE(WriteClipboard("built-in"));
  auto desktop = std::make_shared<RecordingProvider>();
  desktop->text = "from the desktop";
  std::shared_ptr<ClipboardProvider> previous = SetClipboardProvider(desktop);
  EXPECT_EQ(ReadClipboard(), "from the desktop");
  ASSERT_TRUE(WriteClipboard("to the desktop"));
  EXPECT_EQ(desktop->text, "to the desktop");
  EXPECT_EQ(desktop->calls, (std::vector<std::string>{"get", "clear", "set:to the desktop"}));

  // Restoring the built-in store finds its text unchanged.
  SetClipboardProvider(nullptr);
  EXPECT_EQ(ReadClipboard(), "built-in");
  EXPECT_EQ(SetClipboardProvider(previous), previous);
}

class OneWindow : public WindowSurfaceProvider {
 public:
  std::uint32_t pixels[4 * 2] = {};
  int repaints = 0;
  bool Lock(HWND w, WindowSurface* s) override {
    *s = WindowSurface{pixels, 3, 2, 4};
    return w == Handle();
  }
  void Unlock(HWND, bool repaint) override { repaints += repaint; }
  bool IsWindow(HWND w) override { return w == Handle(); }
  static HWND Handle() { return reinterpret_cast<HWND>(0x1000); }
};

TEST(WindowSurface, FailsCleanlyWithoutAProviderOrAWindow) {
  WindowSurface s{reinterpret_cast<std::uint32_t*>(8), 1, 2, 3};
  EXPECT_FALSE(LockWindowSurface(OneWindow::Handle(), &s));
  EXPECT_EQ(s.pixels, nullptr);
  UnlockWindowSurface(OneWindow::Handle(), true);
  EXPECT_FALSE(IsWindow(OneWindow::Handle()));

  auto window = std::make_shared<OneWindow>();
  SetWindowSurfaceProvider(window);
  ASSERT_TRUE(LockWindowSurface(OneWindow::Handle(), &s));
  s.pixels[1 * s.stride + 2] = 0x00FF8000;
  UnlockWindowSurface(OneWindow::Handle(), true);
  EXPECT_EQ(window->pixels[6], 0x00FF8000u);
  EXPECT_EQ(window->repaints, 1);
  // A refused lock never hands out the provider's half-filled surface.
  EXPECT_FALSE(LockWindowSurface(reinterpret_cast<HWND>(0x2000), &s));
  EXPECT_EQ(s.pixels, nullptr);
  EXPECT_EQ(SetWindowSurfaceProvider(nullptr), window);
}

}  // namespace
