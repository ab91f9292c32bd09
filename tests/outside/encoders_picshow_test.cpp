// IPicShowObj paints into a window surface handed out by the window-surface
// provider; here the provider is a memory surface, as the headless GUI layer's.
#include <outside/encoders.h>

#include <win32/winsurface.h>

#include "encoders_support.h"
#include "encoders_surfaces.h"

using namespace enctest;

namespace {

HWND FakeWindow() { return reinterpret_cast<HWND>(static_cast<std::uintptr_t>(0x1234560)); }

class PicShowTest : public ComTest {
 protected:
  void SetUp() override {
    ComTest::SetUp();
    surfaces_ = std::make_shared<MemorySurfaces>(FakeWindow(), 90, 60, 100);
    previous_ = SetWindowSurfaceProvider(surfaces_);
    show_ = Create<IPicShowObj>(CLSID_PicShowObj, IID_IPicShowObj);
    ASSERT_TRUE(show_);
  }
  void TearDown() override {
    show_.Reset();
    SetWindowSurfaceProvider(previous_);
    ComTest::TearDown();
  }
  std::shared_ptr<MemorySurfaces> surfaces_;
  std::shared_ptr<WindowSurfaceProvider> previous_;
  ComPtr<IPicShowObj> show_;
};

TEST_F(PicShowTest, PaintsThePictureAsRgbScaledToTheWindow) {
  // 720x576 source: left half white, right half pure red (BT.601 limited range).
  Yuv pic(720, 576);
  for (int r = 0; r < 576; ++r)
    for (int c = 0; c < 720; ++c) pic.y[r * 720 + c] = c < 360 ? 235 : 81;
  for (int r = 0; r < 288; ++r)
    for (int c = 0; c < 360; ++c) {
      pic.u[r * 360 + c] = c < 180 ? 128 : 90;
      pic.v[r * 360 + c] = c < 180 ? 128 : 240;
    }
  // Open and ShowFrame by their slots, 7 and 8.
  ASSERT_EQ((CallSlot<HRESULT, HWND, INT, INT>(show_.get(), 7, FakeWindow(), 720, 576)), S_OK);
  ASSERT_EQ((CallSlot<HRESULT, INT, INT, BYTE*, BYTE*, BYTE*, HWND>(show_.get(), 8, 720, 576, pic.y.data(),
                                                                     pic.u.data(), pic.v.data(), FakeWindow())),
            S_OK);
  EXPECT_EQ(surfaces_->locks, 1);
  EXPECT_EQ(surfaces_->unlocks, 1);
  EXPECT_TRUE(surfaces_->repainted);

  auto channel = [](std::uint32_t px, int shift) { return static_cast<int>((px >> shift) & 0xFF); };
  for (int y : {0, 30, 59}) {
    const std::uint32_t white = surfaces_->At(10, y), red = surfaces_->At(80, y);
    EXPECT_GT(channel(white, 16), 240);
    EXPECT_GT(channel(white, 8), 240);
    EXPECT_GT(channel(white, 0), 240);
    EXPECT_GT(channel(red, 16), 230);  // 0x00RRGGBB
    EXPECT_LT(channel(red, 8), 30);
    EXPECT_LT(channel(red, 0), 30);
  }
  EXPECT_EQ(surfaces_->At(95, 0), 0xDEADBEEFu) << "nothing is painted past the window's width";
}

TEST_F(PicShowTest, UnknownWindowsAndBadPicturesFailWithAReason) {
  HWND other = reinterpret_cast<HWND>(static_cast<std::uintptr_t>(0x999990));
  EXPECT_EQ(show_->Open(other, 720, 576), E_HANDLE);
  EXPECT_NE(qcom::ErrorDescription(show_.get(), IID_IPicShowObj), "");
  EXPECT_EQ(show_->Open(nullptr, 720, 576), E_HANDLE);
  EXPECT_EQ(show_->Open(FakeWindow(), 0, 576), E_INVALIDARG);

  Yuv pic(64, 48);
  EXPECT_EQ(show_->ShowFrame(64, 48, pic.y.data(), pic.u.data(), pic.v.data(), other), E_HANDLE);
  EXPECT_EQ(show_->ShowFrame(64, 48, nullptr, pic.u.data(), pic.v.data(), FakeWindow()), E_POINTER);
  EXPECT_EQ(show_->ShowFrame(-64, 48, pic.y.data(), pic.u.data(), pic.v.data(), FakeWindow()), E_INVALIDARG);
  EXPECT_EQ(surfaces_->locks, 0);

  // A window that goes away during the run: the painter fails cleanly.
  ASSERT_EQ(show_->Open(FakeWindow(), 64, 48), S_OK);
  SetWindowSurfaceProvider(nullptr);
  EXPECT_EQ(show_->ShowFrame(64, 48, pic.y.data(), pic.u.data(), pic.v.data(), FakeWindow()), E_HANDLE);
  EXPECT_NE(qcom::ErrorDescription(show_.get(), IID_IPicShowObj), "");
}

}  // namespace
