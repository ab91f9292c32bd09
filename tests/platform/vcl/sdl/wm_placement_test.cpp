// Under a window manager, which puts a dialog's frame where the dialog was asked to
// be: the class library learns where the window really is, so a drop-down list opens
// right below its combo box (or right above it at the bottom of the screen) and never
// over it.
#include <gtest/gtest.h>

#include <SDL.h>
#include <vcl/backend.h>
#include <vcl/stdctrls.h>

#include "sdl_backend.h"
#include "sdl_events.h"
#include "sdl_application.h"
#include "xvfb.h"

namespace {

using sdl_test::ServeUntil;

// Where the X server has the form's client area on the screen.
TPoint RealOrigin(const std::string& display, TCustomForm* form) {
  int x = -1, y = -1;
  ShownAt(display, XWindowOf(SdlWindowOf(form->Handle())), &x, &y);
  return TPoint(x, y);
}

// The open list: the override-redirect window as wide as the combo box.
bool OpenList(const std::string& display, int width, TRect* list) {
  for (const TopWindow& w : TopWindows(display))
    if (w.mapped && w.override_redirect && w.width == width) {
      *list = Bounds(w.x, w.y, w.width, w.height);
      return true;
    }
  return false;
}

TEST(WindowManagerPlacement, DropDownListsOpenBelowOrAboveTheirComboBoxWhereverTheManagerPutTheDialog) {
  ASSERT_FALSE(RequestedWindowManager().empty()) << "this test runs under a window manager: QUILL_TEST_WM";
  XvfbServer xvfb;
  ASSERT_TRUE(StartSdlApplication(xvfb));

  auto* form = new TForm(nullptr);
  form->SetBorderStyle(bsDialog);
  form->SetPosition(poScreenCenter);
  form->SetBounds(0, 0, 300, 200);
  auto* combo = new TComboBox(form);
  combo->SetStyle(csDropDownList);
  combo->SetBounds(20, 40, 150, 21);
  combo->SetParent(form);
  for (const char* s : {"one", "two", "three", "four"}) combo->Items()->Add(s);
  form->Show();

  auto placedAndOpen = [&](bool below) {
    // The manager's frame moves the client area; the form follows once that settles.
    EXPECT_TRUE(ServeUntil([&] { return form->ClientOrigin() == RealOrigin(xvfb.Display(), form); }))
        << "the form thinks its client area is at " << form->ClientOrigin().X << "," << form->ClientOrigin().Y
        << ", the X server says " << RealOrigin(xvfb.Display(), form).X << "," << RealOrigin(xvfb.Display(), form).Y;
    const TPoint o = RealOrigin(xvfb.Display(), form);
    const TRect box = Bounds(o.X + 20, o.Y + 40, 150, 21);
    combo->SetDroppedDown(true);
    TRect list;
    EXPECT_TRUE(ServeUntil([&] { return OpenList(xvfb.Display(), 150, &list); })) << "no list window";
    if (below)
      EXPECT_EQ(list.Top, box.Bottom) << "the list's top against the combo box's bottom on the screen";
    else
      EXPECT_EQ(list.Bottom, box.Top) << "the list's bottom against the combo box's top on the screen";
    EXPECT_EQ(list.Left, box.Left);
    combo->SetDroppedDown(false);
    ServeUntil([&] { return !OpenList(xvfb.Display(), 150, &list); }, 2000);
  };
  placedAndOpen(true);
  // Near the bottom of the screen: above the box.
  const TRect wa = Screen->WorkAreaRect();
  form->SetBounds(form->Left(), wa.Bottom - 90, form->Width(), form->Height());
  placedAndOpen(false);

  FreeComponent(form);
  DoneApplication();
  InitApplication();
  SDL_Quit();
}

}  // namespace
