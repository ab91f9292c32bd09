// Mouse and keyboard input driven through the headless backend: message order,
// capture, enter/leave, clicks, double clicks, hit-testing, focus and accelerators.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <vcl/forms.h>
#include <vcl/headless.h>

namespace {

std::vector<std::string> g_log;

// A control that logs what reaches it: windowless (TGraphicControl) or with a window
// of its own (TCustomControl).
template <class Base>
class ProbeOf : public Base {
 public:
  ProbeOf(TComponent* owner, const std::string& name) : Base(owner) { this->SetName(name); }
  using Base::ControlStyle;

 protected:
  void MouseDown(TMouseButton b, TShiftState s, int x, int y) override {
    g_log.push_back(this->Name() + ".down" + std::to_string(b) + (s.Contains(ssDouble) ? "dbl" : "") + "@" +
                    std::to_string(x) + "," + std::to_string(y));
    Base::MouseDown(b, s, x, y);
  }
  void MouseUp(TMouseButton b, TShiftState s, int x, int y) override {
    g_log.push_back(this->Name() + ".up" + std::to_string(b) + "@" + std::to_string(x) + "," + std::to_string(y));
    Base::MouseUp(b, s, x, y);
  }
  void MouseMove(TShiftState s, int x, int y) override {
    g_log.push_back(this->Name() + ".move@" + std::to_string(x) + "," + std::to_string(y));
    Base::MouseMove(s, x, y);
  }
  void Click() override {
    g_log.push_back(this->Name() + ".click");
    Base::Click();
  }
  void DblClick() override {
    g_log.push_back(this->Name() + ".dblclick");
    Base::DblClick();
  }
  void CMMouseEnter(TMessage& m) override {
    g_log.push_back(this->Name() + ".enter");
    Base::CMMouseEnter(m);
  }
  void CMMouseLeave(TMessage& m) override {
    g_log.push_back(this->Name() + ".leave");
    Base::CMMouseLeave(m);
  }
  void CMEnabledChanged(TMessage& m) override {
    g_log.push_back(this->Name() + ".enabledchanged" + (this->Enabled() ? "1" : "0"));
    Base::CMEnabledChanged(m);
  }
  void CMDialogChar(TMessage& m) override {
    if (IsAccel(m.CharCode(), this->Caption()) && this->Enabled()) {
      g_log.push_back(this->Name() + ".accel");
      m.Result = 1;
      return;
    }
    Base::CMDialogChar(m);
  }
};
using Probe = ProbeOf<TGraphicControl>;
using WinProbe = ProbeOf<TCustomControl>;

// A focusable windowed control that logs keys and focus.
class KeyBox : public TCustomControl {
 public:
  KeyBox(TComponent* owner, const std::string& name, bool wantsChars = false)
      : TCustomControl(owner), wants_chars_(wantsChars) {
    SetName(name);
    SetTabStop(true);
  }

 protected:
  void KeyDown(WORD& key, TShiftState s) override {
    g_log.push_back(Name() + ".keydown" + std::to_string(key));
    TCustomControl::KeyDown(key, s);
  }
  void KeyPress(char& key) override {
    g_log.push_back(Name() + ".keypress" + std::string(1, key));
    TCustomControl::KeyPress(key);
  }
  void WMSetFocus(TMessage& m) override {
    g_log.push_back(Name() + ".setfocus");
    TCustomControl::WMSetFocus(m);
  }
  void WMKillFocus(TMessage& m) override {
    g_log.push_back(Name() + ".killfocus");
    TCustomControl::WMKillFocus(m);
  }
  void WMGetDlgCode(TMessage& m) override { m.Result = wants_chars_ ? DLGC_WANTCHARS : 0; }

 private:
  bool wants_chars_;
};

class InputTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_log.clear();
    Application->Initialize();
    form = new TForm(nullptr);
    form->SetBorderStyle(bsNone);
    form->SetBounds(100, 100, 200, 150);
    a = new Probe(form, "a");
    a->SetBounds(10, 10, 40, 40);
    a->SetParent(form);
    b = new Probe(form, "b");
    b->SetBounds(60, 10, 40, 40);
    b->SetParent(form);
    form->Show();
    Application->ProcessMessages();
    g_log.clear();
  }
  void TearDown() override { FreeComponent(form); }
  void Pump() { Application->ProcessMessages(); }

  TForm* form = nullptr;
  Probe* a = nullptr;
  Probe* b = nullptr;
};

TEST_F(InputTest, PressAndReleaseInsideClicksOnceAfterEnterInOrder) {
  HeadlessMouseMove(form, 20, 20);
  HeadlessMouseDown(form, 20, 20);
  HeadlessMouseUp(form, 21, 22);
  Pump();
  std::vector<std::string> want = {"a.enter", "a.move@10,10", "a.down0@10,10", "a.click", "a.up0@11,12"};
  EXPECT_EQ(g_log, want);
}

TEST_F(InputTest, CaptureKeepsMessagesOnThePressedControlAndReleaseOutsideDoesNotClick) {
  HeadlessMouseMove(form, 20, 20);
  HeadlessMouseDown(form, 20, 20);
  HeadlessMouseMove(form, 70, 20);  // over b, but a holds the capture
  HeadlessMouseUp(form, 70, 20);
  HeadlessMouseMove(form, 75, 25);
  Pump();
  std::vector<std::string> want = {"a.enter", "a.move@10,10", "a.down0@10,10", "a.leave", "a.move@60,10",
                                   "a.up0@60,10", "b.enter", "b.move@15,15"};
  EXPECT_EQ(g_log, want);
  EXPECT_EQ(GetCaptureControl(), nullptr);
}

// A busy loop finds input piled up: the release of a click on one control with a
// window of its own and the next click on another arrive together. The press goes
// where the pointer is, not to the control whose capture the release ends.
TEST_F(InputTest, AClickRightAfterAnotherGoesToTheControlUnderThePointer) {
  auto* c = new WinProbe(form, "c");
  c->SetBounds(10, 60, 40, 40);
  c->SetParent(form);
  auto* d = new WinProbe(form, "d");
  d->SetBounds(60, 60, 40, 40);
  d->SetParent(form);
  Pump();
  g_log.clear();
  int calls = 0;
  bool done = false;
  // Input comes while the loop waits: the first press alone, then the rest at once.
  HeadlessSetIdleHook([&] {
    ++calls;
    if (calls == 1) {
      HeadlessMouseMove(form, 20, 70);
      HeadlessMouseDown(form, 20, 70);
    } else if (calls == 2) {
      HeadlessMouseUp(form, 20, 70);
      HeadlessMouseMove(form, 70, 70);
      HeadlessMouseDown(form, 70, 70);
      HeadlessMouseUp(form, 70, 70);
    } else {
      done = true;
    }
    return true;
  });
  for (int i = 0; i < 100 && !done; ++i) Application->HandleMessage();
  HeadlessSetIdleHook(nullptr);
  ASSERT_TRUE(done);
  std::vector<std::string> want = {"c.enter", "c.move@10,10", "c.down0@10,10", "c.click",       "c.up0@10,10",
                                   "c.leave", "d.enter",      "d.move@10,10",  "d.down0@10,10", "d.click",
                                   "d.up0@10,10"};
  EXPECT_EQ(g_log, want);
  EXPECT_EQ(GetCaptureControl(), nullptr);
}

TEST_F(InputTest, LeavingWhileCapturedAndComingBackEntersAgain) {
  HeadlessMouseMove(form, 20, 20);
  HeadlessMouseDown(form, 20, 20);
  HeadlessMouseMove(form, 150, 100);
  HeadlessMouseMove(form, 25, 25);
  HeadlessMouseUp(form, 25, 25);
  Pump();
  std::vector<std::string> want = {"a.enter",      "a.move@10,10", "a.down0@10,10", "a.leave", "a.move@140,90",
                                   "a.enter",      "a.move@15,15", "a.click",       "a.up0@15,15"};
  EXPECT_EQ(g_log, want);
}

TEST_F(InputTest, DoubleClickNeedsTheStyleAndTheClock) {
  HeadlessUseFakeClock(5000);
  HeadlessClick(form, 20, 20);
  HeadlessClick(form, 20, 20);
  Pump();
  // The release that ends a double click is no click of its own.
  std::vector<std::string> want = {"a.enter",      "a.move@10,10", "a.down0@10,10",    "a.click",
                                   "a.up0@10,10",  "a.move@10,10", "a.dblclick",       "a.down0dbl@10,10",
                                   "a.up0@10,10"};
  EXPECT_EQ(g_log, want);

  // Without csDoubleClicks a quick second press is a plain press.
  g_log.clear();
  a->SetControlStyle(a->ControlStyle() & ~csDoubleClicks);
  HeadlessAdvanceClock(1000);
  HeadlessClick(form, 20, 20);
  HeadlessClick(form, 20, 20);
  Pump();
  int downs = 0, dbl = 0;
  for (auto& s : g_log) {
    downs += s.rfind("a.down0@", 0) == 0;
    dbl += s.find("dbl") != std::string::npos;
  }
  EXPECT_EQ(downs, 2);
  EXPECT_EQ(dbl, 0);

  // Two presses further apart than the double-click time are two single presses.
  g_log.clear();
  a->SetControlStyle(a->ControlStyle() | csDoubleClicks);
  HeadlessAdvanceClock(1000);
  HeadlessClick(form, 20, 20);
  Pump();
  HeadlessAdvanceClock(600);
  HeadlessClick(form, 20, 20);
  Pump();
  dbl = 0;
  for (auto& s : g_log) dbl += s.find("dbl") != std::string::npos;
  EXPECT_EQ(dbl, 0);
}

TEST_F(InputTest, DisabledControlGetsEnterButNoPressAndHearsItsStateChange) {
  a->SetEnabled(false);
  a->SetEnabled(false);  // no change, no message
  HeadlessClick(form, 20, 20);
  Pump();
  std::vector<std::string> want = {"a.enabledchanged0", "a.enter"};
  EXPECT_EQ(g_log, want);
}

TEST_F(InputTest, SetBoundsWithNothingChangedDoesNothing) {
  int resizes = 0;
  a->OnResize = [&](TObject*) { ++resizes; };
  a->SetBounds(10, 10, 40, 40);
  EXPECT_EQ(resizes, 0);
  a->SetBounds(10, 10, 41, 40);
  EXPECT_EQ(resizes, 1);
  a->SetLeft(12);
  EXPECT_EQ(resizes, 1);  // a move is no resize
  EXPECT_EQ(a->Left(), 12);
}

TEST_F(InputTest, RightClickOnControlWithoutMenuIsNotAClick) {
  HeadlessClick(form, 20, 20, BackendRight);
  Pump();
  std::vector<std::string> want = {"a.enter", "a.move@10,10", "a.down1@10,10", "a.up1@10,10"};
  EXPECT_EQ(g_log, want);
}

// Hit-testing: a window procedure that answers HTCAPTION makes a press drag the form.
LRESULT(*g_old_proc)(HWND, UINT, WPARAM, LPARAM) = nullptr;
LRESULT CaptionEverywhere(HWND h, UINT msg, WPARAM w, LPARAM l) {
  LRESULT r = CallWindowProcA(g_old_proc, h, msg, w, l);
  if (msg == WM_NCHITTEST && r == HTCLIENT) {
    POINT p{GET_X_LPARAM(l), GET_Y_LPARAM(l)};
    ScreenToClient(h, &p);
    return p.y < 8 ? HTCAPTION : (p.x >= 190 && p.y >= 140 ? HTBOTTOMRIGHT : r);
  }
  return r;
}

TEST_F(InputTest, HitTestCaptionMovesAndCornerSizesTheWindow) {
  g_old_proc = reinterpret_cast<WNDPROC>(SetWindowLongA(form->Handle(), GWL_WNDPROC,
                                                       reinterpret_cast<LONG_PTR>(&CaptionEverywhere)));
  ASSERT_NE(g_old_proc, nullptr);
  HeadlessMouseMove(form, 150, 4);
  HeadlessMouseDown(form, 150, 4);
  HeadlessMouseMove(form, 160, 9);  // +10, +5
  HeadlessMouseUp(form, 160, 9);
  Pump();
  EXPECT_EQ(form->Left(), 110);
  EXPECT_EQ(form->Top(), 105);
  EXPECT_EQ(form->Width(), 200);
  RECT shown = HeadlessWindowBounds(form->Handle());
  EXPECT_EQ(shown.left, 110);
  EXPECT_EQ(shown.top, 105);
  // No client message reached the probes during the drag.
  for (auto& s : g_log) EXPECT_EQ(s.find("down"), std::string::npos) << s;

  // Sizing from the bottom-right corner (client coordinates of the moved form).
  HeadlessMouseMove(form, 195, 145);
  HeadlessMouseDown(form, 195, 145);
  HeadlessMouseMove(form, 215, 135);
  HeadlessMouseUp(form, 215, 135);
  Pump();
  EXPECT_EQ(form->Width(), 220);
  EXPECT_EQ(form->Height(), 140);
  EXPECT_EQ(form->Left(), 110);

  // Restoring the old procedure ends the hook.
  SetWindowLongA(form->Handle(), GWL_WNDPROC, reinterpret_cast<LONG_PTR>(g_old_proc));
  EXPECT_EQ(SendMessageA(form->Handle(), WM_NCHITTEST, 0, MAKELPARAM(form->Left() + 50, form->Top() + 2)), HTCLIENT);
}

TEST_F(InputTest, NcLButtonDownWithCaptionDragsTheFormLikeATitleBar) {
  // A control's press handler asks the window manager to drag its form.
  a->OnMouseDown = [&](TObject*, TMouseButton, TShiftState, int, int) {
    ReleaseCapture();
    SendMessageA(form->Handle(), WM_NCLBUTTONDOWN, HTCAPTION, 0);
  };
  HeadlessMouseMove(form, 20, 20);
  HeadlessMouseDown(form, 20, 20);
  HeadlessMouseMove(form, 50, 30);
  HeadlessMouseUp(form, 50, 30);
  Pump();
  EXPECT_EQ(form->Left(), 130);
  EXPECT_EQ(form->Top(), 110);
  for (auto& s : g_log) EXPECT_EQ(s.find("up0"), std::string::npos) << s;
}

TEST_F(InputTest, ReplacedWindowProcSeesMessagesBeforeTheControl) {
  std::vector<UINT> seen;
  static std::vector<UINT>* s_seen;
  s_seen = &seen;
  static WNDPROC s_old;
  s_old = reinterpret_cast<WNDPROC>(GetWindowLongA(form->Handle(), GWL_WNDPROC));
  WNDPROC hook = [](HWND h, UINT m, WPARAM w, LPARAM l) -> LRESULT {
    if (m == WM_LBUTTONDOWN || m == WM_LBUTTONUP || m == WM_SIZE || m == WM_SHOWWINDOW) s_seen->push_back(m);
    return CallWindowProcA(s_old, h, m, w, l);
  };
  EXPECT_EQ(SetWindowLongA(form->Handle(), GWL_WNDPROC, reinterpret_cast<LONG_PTR>(hook)),
            reinterpret_cast<LONG_PTR>(s_old));
  HeadlessClick(form, 20, 20);
  Pump();
  form->SetWidth(180);
  form->Hide();
  EXPECT_EQ(seen, (std::vector<UINT>{WM_LBUTTONDOWN, WM_LBUTTONUP, WM_SIZE, WM_SHOWWINDOW}));
  EXPECT_NE(std::find(g_log.begin(), g_log.end(), "a.click"), g_log.end());
  SetWindowLongA(form->Handle(), GWL_WNDPROC, reinterpret_cast<LONG_PTR>(s_old));
}

TEST_F(InputTest, OnMessageSeesQueuedInputAndCanSwallowIt) {
  int swallowed = 0;
  Application->OnMessage = [&](MSG& msg, bool& handled) {
    if (msg.message == WM_LBUTTONDOWN) {
      handled = true;
      ++swallowed;
    }
  };
  HeadlessClick(form, 20, 20);
  Pump();
  Application->OnMessage = nullptr;
  EXPECT_EQ(swallowed, 1);
  EXPECT_EQ(std::find(g_log.begin(), g_log.end(), "a.click"), g_log.end());
}

TEST_F(InputTest, PeekMessageRemovesPendingMouseMessages) {
  HeadlessClick(form, 20, 20);
  MSG m;
  int removed = 0;
  while (PeekMessageA(&m, nullptr, WM_MOUSEFIRST, WM_MOUSELAST, PM_REMOVE)) ++removed;
  Pump();
  EXPECT_EQ(removed, 3);
  for (auto& s : g_log) EXPECT_EQ(s.find("down"), std::string::npos) << s;
}

class KeyTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_log.clear();
    Application->Initialize();
    form = new TForm(nullptr);
    form->SetBounds(0, 0, 300, 200);
    one = new KeyBox(form, "one");
    one->SetBounds(0, 0, 50, 20);
    one->SetParent(form);
    two = new KeyBox(form, "two", true);
    two->SetBounds(0, 30, 50, 20);
    two->SetParent(form);
    three = new KeyBox(form, "three");
    three->SetBounds(0, 60, 50, 20);
    three->SetParent(form);
    acc = new Probe(form, "acc");
    acc->SetCaption("&Go");
    acc->SetBounds(100, 0, 40, 20);
    acc->SetParent(form);
  }
  void TearDown() override { FreeComponent(form); }
  TForm* form;
  KeyBox *one, *two, *three;
  Probe* acc;
};

TEST_F(KeyTest, ShowingFocusesFirstInTabOrderAndTabWalksTheOrder) {
  three->SetTabOrder(0);  // order: three, one, two
  form->Show();
  Application->ProcessMessages();
  EXPECT_TRUE(three->Focused());
  EXPECT_EQ(form->ActiveControl(), three);
  g_log.clear();
  HeadlessKey(form, VK_TAB);
  Application->ProcessMessages();
  EXPECT_TRUE(one->Focused());
  HeadlessKey(form, VK_TAB, BackendShift);
  Application->ProcessMessages();
  EXPECT_TRUE(three->Focused());
  two->SetTabStop(false);
  HeadlessKey(form, VK_TAB);
  HeadlessKey(form, VK_TAB);
  Application->ProcessMessages();
  EXPECT_TRUE(three->Focused()) << "two is skipped without TabStop";
  std::vector<std::string> want = {"three.keydown9", "three.killfocus", "one.setfocus", "one.keydown9",
                                   "one.killfocus", "three.setfocus", "three.keydown9", "three.killfocus",
                                   "one.setfocus", "one.keydown9", "one.killfocus", "three.setfocus"};
  EXPECT_EQ(g_log, want);
}

TEST_F(KeyTest, CharactersActAsAcceleratorsOnlyWhereTheFocusedControlDoesNotWantThem) {
  form->Show();
  one->SetFocus();
  Application->ProcessMessages();
  g_log.clear();
  HeadlessChar(form, 'g');
  Application->ProcessMessages();
  EXPECT_EQ(g_log, (std::vector<std::string>{"one.keypressg", "acc.accel"}));

  g_log.clear();
  two->SetFocus();
  HeadlessChar(form, 'g');
  Application->ProcessMessages();
  EXPECT_EQ(g_log, (std::vector<std::string>{"one.killfocus", "two.setfocus", "two.keypressg"}));

  // With Alt the character is an accelerator even for a control that takes text.
  g_log.clear();
  HeadlessChar(form, 'g', BackendAlt);
  Application->ProcessMessages();
  EXPECT_EQ(g_log, (std::vector<std::string>{"acc.accel"}));

  // A handler that swallows the key stops it.
  g_log.clear();
  one->SetFocus();
  one->OnKeyPress = [](TObject*, char& k) { k = 0; };
  HeadlessChar(form, 'g');
  Application->ProcessMessages();
  EXPECT_EQ(std::find(g_log.begin(), g_log.end(), "acc.accel"), g_log.end());
}

TEST(IsAccelTest, AmpersandRules) {
  EXPECT_TRUE(IsAccel('S', "&Save"));
  EXPECT_TRUE(IsAccel('s', "&Save"));
  EXPECT_TRUE(IsAccel('v', "Sa&ve"));
  EXPECT_FALSE(IsAccel('S', "Save"));
  EXPECT_FALSE(IsAccel('&', "A && B"));
  EXPECT_TRUE(IsAccel('B', "A && &B"));
  EXPECT_FALSE(IsAccel('x', "ends with &"));
}

}  // namespace
