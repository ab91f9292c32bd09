// A borderless test form in the headless backend, with helpers to pump messages
// and read the pixels the backend was shown.
#pragma once

#include <gtest/gtest.h>

#include <cstring>

#include <vcl/forms.h>
#include <vcl/headless.h>
#include <support/clipboard.h>

class ControlTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Application->Initialize();
    form = new TForm(nullptr);
    form->SetBorderStyle(bsNone);
    form->SetBounds(50, 50, 320, 240);
    SetMessageBoxRecorder(nullptr);
  }
  void TearDown() override {
    HeadlessSetIdleHook(nullptr);
    SetMessageBoxRecorder(nullptr);
    FreeComponent(form);
  }
  void Show() {
    form->Show();
    Pump();
  }
  void Pump() { Application->ProcessMessages(); }
  // The form's pixel at a client point, as 0x00BBGGRR.
  TColor Pixel(int x, int y) {
    Pump();
    TSurface s;
    EXPECT_TRUE(HeadlessCapture(form->Handle(), s));
    if (!s.Contains(x, y)) return -1;
    return static_cast<TColor>(PixelToColorRef(s.At(x, y)));
  }
  // Number of pixels of a colour inside a rectangle of the form.
  int Count(const TRect& r, TColor color) {
    Pump();
    TSurface s;
    HeadlessCapture(form->Handle(), s);
    int n = 0;
    for (int y = r.Top; y < r.Bottom; ++y)
      for (int x = r.Left; x < r.Right; ++x)
        if (s.Contains(x, y) && static_cast<TColor>(PixelToColorRef(s.At(x, y))) == ColorToRGB(color)) ++n;
    return n;
  }
  void Type(const std::string& text) {
    for (char ch : text) HeadlessChar(form, ch);
    Pump();
  }
  // Text as a keyboard layout or an input method types it, beyond ASCII too.
  void TypeText(const std::string& utf8) {
    HeadlessText(form, utf8);
    Pump();
  }
  void Key(unsigned vk, unsigned mods = 0) {
    HeadlessKey(form, vk, mods);
    Pump();
  }
  void Click(int x, int y, unsigned mods = 0) {
    HeadlessClick(form, x, y, BackendLeft, mods);
    Pump();
  }
  static void SetClipboard(const std::string& text) { quill_test::SetClipboardText(text); }
  static std::string Clipboard() { return quill_test::ClipboardText(); }

  TForm* form = nullptr;
};
