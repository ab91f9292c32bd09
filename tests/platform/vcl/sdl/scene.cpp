#include "scene.h"

#include <cstdio>

#include <vcl/extctrls.h>
#include <vcl/winuser.h>
#include <win32/region.h>

TPoint CentreInForm(TControl* control) {
  TPoint p{control->Width() / 2, control->Height() / 2};
  for (TControl* c = control; c && !dynamic_cast<TCustomForm*>(c); c = c->Parent()) {
    p.X += c->Left();
    p.Y += c->Top();
  }
  return p;
}

void BuildScene(Scene& s) {
  // Both forms lie away from the screen's centre, where the pointer of a fresh X
  // server rests, so that nothing is hovered by accident.
  s.main = new TForm(Application);
  s.main->SetBorderStyle(bsSingle);
  s.main->SetCaption("Controls");
  s.main->SetBounds(16, 16, 360, 300);

  s.label = new TLabel(s.main);
  s.label->SetParent(s.main);
  s.label->SetBounds(12, 10, 200, 16);
  s.label->SetCaption("Not clicked");

  s.button = new TButton(s.main);
  s.button->SetParent(s.main);
  s.button->SetBounds(12, 34, 96, 28);
  s.button->SetCaption("&Press me");
  s.button->OnClick = [&s](TObject*) {
    ++s.clicks;
    s.label->SetCaption("Clicked " + std::to_string(s.clicks));
  };

  s.edit = new TEdit(s.main);
  s.edit->SetParent(s.main);
  s.edit->SetBounds(120, 36, 140, 24);

  s.check = new TCheckBox(s.main);
  s.check->SetParent(s.main);
  s.check->SetBounds(12, 74, 150, 20);
  s.check->SetCaption("Shut down after");

  s.list = new TListBox(s.main);
  s.list->SetParent(s.main);
  s.list->SetBounds(12, 104, 150, 90);
  for (const char* item : {"VCD", "SVCD", "AVI", "DivX", "XviD", "Indeo", "Intel"}) s.list->Items()->Add(item);

  s.combo = new TComboBox(s.main);
  s.combo->SetParent(s.main);
  s.combo->SetStyle(csDropDownList);
  s.combo->SetBounds(180, 104, 150, 24);
  for (const char* item : {"First drive", "Second drive", "Third drive"}) s.combo->Items()->Add(item);
  s.combo->SetItemIndex(0);

  // A borderless window shaped as a rounded rectangle with a hole.
  s.shaped = new TForm(Application);
  s.shaped->SetBorderStyle(bsNone);
  s.shaped->SetBounds(600, 40, kShapedWidth, kShapedHeight);
  s.shaped->SetColor(static_cast<TColor>(0x00A06020));
  s.shaped_label = new TLabel(s.shaped);
  s.shaped_label->SetParent(s.shaped);
  s.shaped_label->SetBounds(40, 20, 120, 16);
  s.shaped_label->SetCaption("Shaped window");
  SetWindowRgn(s.shaped->Handle(), SceneShape(), TRUE);

  s.menu = new TPopupMenu(s.main);
  for (const char* caption : {"Open", "-", "Checked", "Exit"}) {
    auto* item = new TMenuItem(s.menu);
    item->SetCaption(caption);
    item->SetChecked(std::string(caption) == "Checked");
    item->OnClick = [&s, caption](TObject*) { s.chosen = caption; };
    s.menu->Items()->Add(item);
  }

  s.main->Show();
  s.shaped->Show();
}

void DriveScene(Scene& s, SceneInput& in) {
  in.Settle();
  TPoint p = CentreInForm(s.button);
  in.Click(s.main, p.X, p.Y);
  in.Settle();
  p = CentreInForm(s.check);
  in.Click(s.main, p.X, p.Y);
  in.Settle();
  p = CentreInForm(s.edit);
  in.Click(s.main, p.X, p.Y);
  in.Settle();
  in.Type(s.main, "Hi, SDL!");
  in.Settle();
  // The third item of the list.
  const TPoint list = CentreInForm(s.list);
  in.Click(s.main, list.X, s.list->Top() + 2 + s.list->ItemHeight() * 2 + s.list->ItemHeight() / 2);
  in.Settle();
  p = CentreInForm(s.button);
  in.Click(s.main, p.X, p.Y);
  in.Settle();
  p = CentreInForm(s.combo);
  in.Click(s.main, p.X, p.Y);
  in.Settle();
  if (TCustomForm* popup = ScenePopup(s)) {
    in.Snapshot("combo", popup, TRect(0, 0, 0, 0), false);
    const TPoint po = popup->ClientOrigin(), mo = s.main->ClientOrigin();
    in.Snapshot("main-under-combo", s.main,
                TRect(po.X - mo.X, po.Y - mo.Y, po.X - mo.X + popup->ClientWidth(), po.Y - mo.Y + popup->ClientHeight()),
                false);
  }
  // A click elsewhere closes the list.
  in.Click(s.main, 300, 250);
  in.Settle();

  // The menu's loop runs until an item is chosen: look at it and choose from a timer.
  TTimer timer(nullptr);
  timer.SetInterval(300);
  timer.OnTimer = [&](TObject*) {
    timer.SetEnabled(false);
    if (TCustomForm* w = SceneMenuWindow(s)) {
      in.Snapshot("menu", w, TRect(0, 0, 0, 0), true);
      in.Click(w, w->ClientWidth() / 2, 8);
    }
  };
  const TPoint mo = s.main->ClientOrigin();
  s.menu->Popup(mo.X + 200, mo.Y + 150);
  timer.SetEnabled(false);
  in.Settle();
  in.Snapshot("main", s.main, TRect(0, 0, 0, 0), false);
  in.Snapshot("shaped", s.shaped, TRect(0, 0, 0, 0), false);
}

TCustomForm* SceneMenuWindow(const Scene& s) {
  const TCustomForm* combo = ScenePopup(s);
  for (int i = Screen->FormCount() - 1; i >= 0; --i) {
    TCustomForm* f = Screen->Forms(i);
    if (f != s.main && f != s.shaped && f != combo && f->Visible()) return f;
  }
  return nullptr;
}

HRGN SceneShape() {
  HRGN outline = CreateRoundRectRgn(0, 0, kShapedWidth, kShapedHeight, kShapedCorner, kShapedCorner);
  HRGN hole = CreateRectRgn(80, 80, 120, 110);
  CombineRgn(outline, outline, hole, RGN_DIFF);
  DeleteObject(hole);
  return outline;
}

TCustomForm* ScenePopup(const Scene& s) {
  for (int i = 0; i < s.combo->ComponentCount(); ++i)
    if (auto* f = dynamic_cast<TCustomForm*>(s.combo->Components(i)))
      if (f->Visible()) return f;
  return nullptr;
}

bool WriteCapture(const std::string& path, int width, int height, const std::vector<std::uint32_t>& pixels) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  const std::int32_t size[2] = {width, height};
  bool ok = std::fwrite(size, sizeof size, 1, f) == 1 &&
            std::fwrite(pixels.data(), 4, pixels.size(), f) == pixels.size();
  return std::fclose(f) == 0 && ok;
}

bool ReadCapture(const std::string& path, int* width, int* height, std::vector<std::uint32_t>* pixels) {
  FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return false;
  std::int32_t size[2];
  bool ok = std::fread(size, sizeof size, 1, f) == 1 && size[0] >= 0 && size[1] >= 0 && size[0] <= 8192 &&
            size[1] <= 8192;
  if (ok) {
    pixels->resize(static_cast<std::size_t>(size[0]) * size[1]);
    ok = std::fread(pixels->data(), 4, pixels->size(), f) == pixels->size();
    *width = size[0];
    *height = size[1];
  }
  std::fclose(f);
  return ok;
}
