// The skinned form on a real window: shown through the SDL2 backend on a private
// X server, its shaped outline and title bar must show what the headless backend
// rendered; the mouse moves, maximises and restores it, and a themed pop-up menu
// opens and takes a click.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

#include <support/scratch_dir.h>
#include <vcl/backend.h>
#include <vcl/winuser.h>

#include "scene.h"
#include "sdl_application.h"
#include "xvfb.h"
#include "sdl_events.h"
#include "sdl_backend.h"
#include "skinned_form_scene.h"
#include "suipopupmenu.h"
#include "suipublic.h"

namespace {

using sdl_test::BinDir;
using sdl_test::Settle;



void PushMouse(TCustomForm* form, Uint32 type, TPoint p) {
  if (type == SDL_MOUSEMOTION) {
    // The real pointer goes there: the X server's own pointer events then agree.
    SDL_WarpMouseInWindow(SdlWindowOf(form->Handle()), p.X, p.Y);
    return;
  }
  sdl_test::PushButton(form, type, p);
}

void PushClick(TCustomForm* form, TPoint p) {
  PushMouse(form, SDL_MOUSEMOTION, p);
  PushMouse(form, SDL_MOUSEBUTTONDOWN, p);
  PushMouse(form, SDL_MOUSEBUTTONUP, p);
  Settle();
}

// The pop-up menu's window while it is open, and what the run saw of it.
TCustomForm* g_owner = nullptr;
int g_menu_width = 0;
std::string g_clicked;

TCustomForm* OpenMenuWindow() {
  for (int i = 0; i < Screen->FormCount(); ++i)
    if (Screen->Forms(i) != g_owner && Screen->Forms(i)->Visible()) return Screen->Forms(i);
  return nullptr;
}

void ClickSecondItem(HWND, UINT, UINT_PTR id, DWORD) {
  TCustomForm* w = OpenMenuWindow();
  if (!w) return;
  KillTimer(nullptr, id);
  g_menu_width = w->Width();
  PushClick(w, TPoint(30, 3 + 21 + 10));
}

TEST(SkinnedWindow, ShapeAndTitleBarMatchTheHeadlessRenderingAndTheMouseWorks) {
  const quill_test::ScratchDir scratch("quill-skinned");
  const std::string dir = scratch.str();
  std::string errors;
  ASSERT_EQ(RunProgram({BinDir() + "/skinned_form_headless", dir}, {"QUILLMERE_BACKEND=headless"}, {}, &errors), 0)
      << errors;
  int w = 0, h = 0;
  std::vector<std::uint32_t> want;
  const std::string file = std::string(dir) + "/skinned.raw";
  ASSERT_TRUE(ReadCapture(file, &w, &h, &want));

  XvfbServer xvfb;
  ASSERT_TRUE(StartSdlApplication(xvfb));
  Suipopupmenu_Initialization();
  auto* form = new TForm(nullptr);
  g_owner = form;
  TsuiForm* panel = BuildSkinnedForm(form);
  form->Show();
  ASSERT_EQ(w, form->ClientWidth());
  ASSERT_EQ(h, form->ClientHeight());
  PushMouse(form, SDL_MOUSEMOTION, TPoint(160, 150));
  Settle();

  // Inside the shape every pixel is the headless one; outside the rounded top
  // corners the screen shows what lies under the window.
  const int r = GetThemeInt(TsuiUIStyle::WinXP, 6);
  int wrong = 0, hidden = 0;
  TPoint first(-1, -1);
  for (int attempt = 0; attempt < 60; ++attempt) {
    Application->ProcessMessages();
    const TPoint o = form->ClientOrigin();
    const auto screen = ReadScreen(xvfb.Display(), o.X, o.Y, w, h);
    ASSERT_EQ(screen.size(), want.size());
    wrong = hidden = 0;
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) {
        const std::size_t i = static_cast<std::size_t>(y) * w + x;
        const bool corner = y < r / 2 && (x < r / 2 || x >= w - r / 2);
        const bool same = (screen[i] & 0xFFFFFF) == (want[i] & 0xFFFFFF);
        if ((x == 0 || x == w - 1) && y == 0) hidden += same ? 0 : 1;
        if (y < 3 && (x < r || x >= w - r)) continue;  // the curve itself
        if (!corner && !same && wrong++ == 0) first = TPoint(x, y);
      }
    if (wrong == 0 && hidden == 2) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  EXPECT_EQ(wrong, 0) << "first difference at (" << first.X << ", " << first.Y << ")";
  EXPECT_EQ(hidden, 2) << "the top corners are not cut off";

  // Dragging the caption moves the window.
  const int left = form->Left(), top = form->Top();
  PushMouse(form, SDL_MOUSEMOTION, TPoint(150, 10));
  PushMouse(form, SDL_MOUSEBUTTONDOWN, TPoint(150, 10));
  Settle(50);
  PushMouse(form, SDL_MOUSEMOTION, TPoint(190, 40));
  Settle(50);
  PushMouse(form, SDL_MOUSEBUTTONUP, TPoint(190, 40));
  Settle();
  EXPECT_EQ(form->Left(), left + 40);
  EXPECT_EQ(form->Top(), top + 30);

  // The bottom-right corner sizes it.
  const int width = form->Width(), height = form->Height();
  PushMouse(form, SDL_MOUSEMOTION, TPoint(width - 2, height - 2));
  PushMouse(form, SDL_MOUSEBUTTONDOWN, TPoint(width - 2, height - 2));
  Settle(50);
  PushMouse(form, SDL_MOUSEMOTION, TPoint(width + 18, height + 8));
  Settle(50);
  PushMouse(form, SDL_MOUSEBUTTONUP, TPoint(width + 18, height + 8));
  Settle();
  EXPECT_EQ(form->Width(), width + 20);
  EXPECT_EQ(form->Height(), height + 10);

  // The maximise button fills the work area; a second click restores.
  const TRect before(form->Left(), form->Top(), form->Left() + form->Width(), form->Top() + form->Height());
  TsuiTitleBar* bar = panel->TitleBar();
  auto maxButton = [&] {
    int x = bar->Width() + bar->RightBtnXOffset() + 1;
    for (int i = 1; i <= 2; ++i) x -= bar->Buttons()->Items(i)->PicNormal()->Width() + 1;
    return TPoint(panel->Left() + x + 4, bar->Buttons()->Items(2)->Top() + 4);
  };
  PushClick(form, maxButton());
  EXPECT_EQ(form->WindowState(), wsMaximized);
  const TRect work = GetWorkAreaRect();
  EXPECT_EQ(TRect(form->Left(), form->Top(), form->Left() + form->Width(), form->Top() + form->Height()), work);
  PushClick(form, maxButton());
  EXPECT_EQ(form->WindowState(), wsNormal);
  EXPECT_EQ(TRect(form->Left(), form->Top(), form->Left() + form->Width(), form->Top() + form->Height()), before);

  // A themed pop-up menu opens on the real screen and takes a click.
  auto* menu = new TsuiPopupMenu(form);
  for (const char* caption : {"Open", "Convert", "Exit"}) {
    auto* item = new TMenuItem(form);
    item->SetCaption(caption);
    item->OnClick = [caption](TObject*) { g_clicked = caption; };
    menu->Items()->Add(item);
  }
  SetTimer(nullptr, 0, 100, &ClickSecondItem);
  menu->Popup(form->Left() + 40, form->Top() + 60);
  EXPECT_EQ(g_clicked, "Convert");
  EXPECT_GT(g_menu_width, 40);
  FreeComponent(form);
  Suipopupmenu_Finalization();
}

}  // namespace
