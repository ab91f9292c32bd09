// The headless test form of the class library's control tests, with checks of
// the themed pictures: what the form shows at a place against a named picture of
// the program's resources.
#pragma once

#include <memory>
#include <string>

#include <vcl/resources.h>

#include "harness.h"

// A control of type T made, owned and parented by `parent`, at the given bounds.
template <class T>
T* Place(TWinControl* parent, int x, int y, int w, int h) {
  auto* c = new T(parent);
  c->SetParent(parent);
  c->SetBounds(x, y, w, h);
  return c;
}

class ThemedTest : public ControlTest {
 protected:
  // Pixels of the named picture that the form does not show at (x, y). With
  // `masked` the pixels of the picture's top-left colour are not compared (they
  // show what lies under the picture).
  int PictureMismatches(int x, int y, const std::string& name, bool masked = false) {
    std::unique_ptr<TBitmap> pic = LoadBitmapResource(name);
    Pump();
    TSurface s;
    EXPECT_TRUE(HeadlessCapture(form->Handle(), s));
    const std::uint32_t key = pic->Surface().At(0, 0);
    int wrong = 0;
    for (int py = 0; py < pic->Height(); ++py)
      for (int px = 0; px < pic->Width(); ++px) {
        std::uint32_t want = pic->Surface().At(px, py);
        if (masked && want == key) continue;
        if (!s.Contains(x + px, y + py) || (s.At(x + px, y + py) & 0xFFFFFF) != (want & 0xFFFFFF)) ++wrong;
      }
    return wrong;
  }
  // The picture's colour at a point, as 0x00BBGGRR.
  static TColor PictureColor(const std::string& name, int x, int y) {
    std::unique_ptr<TBitmap> pic = LoadBitmapResource(name);
    return static_cast<TColor>(PixelToColorRef(pic->Surface().At(x, y)));
  }
  static int PictureWidth(const std::string& name) { return LoadBitmapResource(name)->Width(); }
  static int PictureHeight(const std::string& name) { return LoadBitmapResource(name)->Height(); }
  // Where a control's top-left corner lies on the form.
  static TPoint At(TControl* c) {
    TPoint p(c->Left(), c->Top());
    for (TWinControl* w = c->Parent(); w && w->Parent(); w = w->Parent()) {
      p.X += w->Left() + (w->Width() - w->ClientWidth()) / 2;
      p.Y += w->Top() + (w->Height() - w->ClientHeight()) / 2;
    }
    return p;
  }
  // Messages the headless form's input produced, handled.
  void MouseMove(int x, int y) {
    HeadlessMouseMove(form, x, y);
    Pump();
  }
  void MouseDown(int x, int y, int button = BackendLeft) {
    HeadlessMouseDown(form, x, y, button);
    Pump();
  }
  void MouseUp(int x, int y, int button = BackendLeft) {
    HeadlessMouseUp(form, x, y, button);
    Pump();
  }
};
