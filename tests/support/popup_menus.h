// Driving a pop-up menu on the headless backend: Popup runs its own loop, so the
// test's steps run one per idle turn of that loop.
#pragma once

#include <vcl/forms.h>
#include <vcl/headless.h>
#include <vcl/menus.h>
#include <vcl/winuser.h>

#include <cstddef>
#include <functional>
#include <vector>

namespace menu_test {

// The visible menu windows (every visible form but the owner), outermost first.
inline std::vector<TCustomForm*> MenuWindows(TCustomForm* owner) {
  std::vector<TCustomForm*> out;
  for (int i = 0; i < Screen->FormCount(); ++i)
    if (Screen->Forms(i) != owner && Screen->Forms(i)->Visible()) out.push_back(Screen->Forms(i));
  return out;
}

// Opens the menu at (x, y) and runs the steps one per idle turn while Popup waits;
// when they are done, whatever is still open is closed with Escape.
inline void PopupWith(TPopupMenu* menu, TCustomForm* owner, int x, int y, std::vector<std::function<void()>> steps) {
  std::size_t next = 0;
  HeadlessSetIdleHook([&] {
    if (next >= steps.size()) {
      if (!MenuWindows(owner).empty()) HeadlessKey(owner, VK_ESCAPE);
      return !MenuWindows(owner).empty();
    }
    Application->ProcessMessages();
    steps[next++]();
    return true;
  });
  menu->Popup(x, y);
  HeadlessSetIdleHook(nullptr);
}

}  // namespace menu_test
