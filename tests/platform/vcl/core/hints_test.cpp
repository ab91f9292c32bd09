// Hints on the headless backend with its fake clock: the pause before a hint shows,
// where it shows, what hides it (leaving, a press, a key, its own time) and which
// control's hint applies.
#include <gtest/gtest.h>

#include <vcl/extctrls.h>
#include <vcl/forms.h>
#include <vcl/headless.h>

namespace {

class HintsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Application->Initialize();
    HeadlessUseFakeClock(50000);
    form = new TForm(nullptr);
    form->SetBorderStyle(bsNone);
    form->SetBounds(100, 100, 300, 200);
    a = Tool(10, 10, "Next Skin|Changes to the next skin");
    b = Tool(50, 10, "Close");
    form->Show();
    Pump();
  }
  void TearDown() override {
    FreeComponent(form);
    DoneApplication();
    InitApplication();
  }

  TPanel* Panel(TWinControl* parent, int left, int top, int width, int height, const std::string& hint) {
    auto* p = new TPanel(form);
    p->SetBounds(left, top, width, height);
    p->SetParent(parent);
    p->SetHint(hint);
    return p;
  }
  // A hinted control of 40 by 30 at a place of the form.
  TPanel* Tool(int left, int top, const std::string& hint) {
    TPanel* p = Panel(form, left, top, 40, 30, hint);
    p->SetShowHint(true);
    return p;
  }

  void Pump() { Application->ProcessMessages(); }
  void Move(int x, int y) {
    HeadlessMouseMove(form, x, y);
    Pump();
  }
  void Wait(int ms) {
    HeadlessAdvanceClock(ms);
    Pump();
  }
  void Click(int x, int y, int button = BackendLeft) {
    HeadlessMouseDown(form, x, y, button);
    HeadlessMouseUp(form, x, y, button);
    Pump();
  }
  // Rests the pointer on the first control for the whole pause: its hint.
  std::string RestOnFirst() {
    Move(20, 20);
    Wait(500);
    return Shown();
  }

  // The hint window while it shows, else null.
  static THintWindow* Hint() {
    for (int i = 0; i < Screen->FormCount(); ++i)
      if (auto* h = dynamic_cast<THintWindow*>(Screen->Forms(i)); h && h->Visible()) return h;
    return nullptr;
  }
  static std::string Shown() {
    THintWindow* h = Hint();
    if (!h) return "";
    EXPECT_TRUE(HeadlessWindowVisible(h->Handle()));
    return h->Caption();
  }

  TForm* form = nullptr;
  TPanel* a = nullptr;
  TPanel* b = nullptr;
};

TEST_F(HintsTest, ShowsAfterThePauseBelowThePointerAndHidesWhenThePointerLeaves) {
  EXPECT_EQ(Application->HintPause, 500);
  EXPECT_EQ(Application->HintHidePause, 2500);
  Move(20, 20);
  Wait(499);
  EXPECT_EQ(Hint(), nullptr);
  Move(25, 22);  // moving on the same control does not start the pause again
  Wait(1);
  ASSERT_EQ(Shown(), "Next Skin") << "the short hint, before '|'";
  THintWindow* h = Hint();
  // Below the pointer's hot spot (screen 125, 122), as wide as the text needs.
  EXPECT_EQ(h->Left(), 125);
  EXPECT_EQ(h->Top(), 122 + 20);
  EXPECT_EQ(HeadlessWindowBounds(h->Handle()).left, 125);
  EXPECT_GT(h->Width(), 30);
  EXPECT_LT(h->Width(), 120);
  // Its pixels: a black frame round the info colour, the text in the info text colour.
  Pump();
  TSurface s;
  ASSERT_TRUE(HeadlessCapture(h->Handle(), s));
  ASSERT_EQ(s.Width, h->Width());
  EXPECT_EQ(s.At(0, 0) & 0xFFFFFFu, 0x000000u);
  EXPECT_EQ(s.At(1, 1) & 0xFFFFFFu, 0xFFFFE1u);
  int ink = 0;
  for (int y = 1; y < s.Height - 1; ++y)
    for (int x = 1; x < s.Width - 1; ++x) {
      const std::uint32_t p = s.At(x, y);
      ink += ((p >> 16) & 255) + ((p >> 8) & 255) + (p & 255) < 3 * 128;
    }
  EXPECT_GT(ink, 30);
  // It never takes the activation or the focus.
  EXPECT_EQ(Screen->ActiveForm(), form);

  // Off the control, onto the bare form: gone.
  Move(200, 150);
  EXPECT_EQ(Hint(), nullptr);
  // Back: the whole pause again.
  Move(20, 20);
  Wait(499);
  EXPECT_EQ(Hint(), nullptr);
  Wait(1);
  EXPECT_EQ(Shown(), "Next Skin");
  // Out of the window altogether.
  Move(-40, 300);
  EXPECT_EQ(Hint(), nullptr);
  Wait(5000);
  EXPECT_EQ(Hint(), nullptr);
}

TEST_F(HintsTest, APressOrAKeyHidesItUntilThePointerHasLeftTheControl) {
  ASSERT_EQ(RestOnFirst(), "Next Skin");
  Click(20, 20);
  EXPECT_EQ(Hint(), nullptr);
  Move(22, 21);
  Wait(3000);
  EXPECT_EQ(Hint(), nullptr) << "not again while the pointer stays";
  Move(200, 150);
  ASSERT_EQ(RestOnFirst(), "Next Skin");

  HeadlessKeyDown(form, VK_SHIFT);
  Pump();
  EXPECT_EQ(Hint(), nullptr);
  Wait(3000);
  EXPECT_EQ(Hint(), nullptr);

  // A press during the pause: the hint never comes.
  Move(200, 150);
  Move(60, 20);
  Wait(300);
  Click(60, 20, BackendRight);
  Wait(3000);
  EXPECT_EQ(Hint(), nullptr);
}

TEST_F(HintsTest, ItEndsAfterTheHidePauseAndTheNextControlsHintFollowsQuickly) {
  ASSERT_EQ(RestOnFirst(), "Next Skin");
  Wait(2499);
  EXPECT_EQ(Shown(), "Next Skin");
  Wait(1);
  EXPECT_EQ(Hint(), nullptr);
  Wait(5000);
  EXPECT_EQ(Hint(), nullptr) << "not again while the pointer stays";

  // From one hinted control straight to the next: the short pause.
  Move(60, 20);
  Wait(Application->HintShortPause);
  EXPECT_EQ(Shown(), "Close");
  EXPECT_EQ(Hint()->Left(), 160);
  Move(20, 20);
  EXPECT_EQ(Hint(), nullptr);
  Wait(Application->HintShortPause);
  EXPECT_EQ(Shown(), "Next Skin");
  // Through bare form in between: the full pause again.
  Move(200, 150);
  Move(60, 20);
  Wait(Application->HintShortPause);
  EXPECT_EQ(Hint(), nullptr);
  Wait(Application->HintPause - Application->HintShortPause);
  EXPECT_EQ(Shown(), "Close");

  // A hide pause of 0 leaves the hint up.
  Application->HintHidePause = 0;
  Move(200, 150);
  Move(20, 20);
  Wait(500);
  Wait(60000);
  EXPECT_EQ(Shown(), "Next Skin");
}

TEST_F(HintsTest, WhichControlsHintApplies) {
  // A child follows its parent's ShowHint unless it has its own; without a text of
  // its own it shows its parent's.
  TPanel* panel = Panel(form, 100, 60, 150, 100, "Panel");
  Panel(panel, 10, 10, 40, 30, "");
  TPanel* own = Panel(panel, 60, 10, 40, 30, "Own");
  own->SetShowHint(false);
  Pump();
  auto hintAt = [&](int x, int y) {
    Move(200, 190);
    Move(x, y);
    Wait(500);
    return Shown();
  };
  EXPECT_EQ(hintAt(120, 80), "") << "the panel's ShowHint is off";
  panel->SetShowHint(true);
  EXPECT_EQ(hintAt(120, 80), "Panel") << "no text of its own: the panel's";
  EXPECT_EQ(hintAt(230, 120), "Panel");
  EXPECT_EQ(hintAt(170, 80), "Panel") << "its own ShowHint is off: the panel's hint applies";
  own->SetShowHint(true);
  EXPECT_EQ(hintAt(170, 80), "Own");
  // The form's ShowHint reaches its children that follow it.
  EXPECT_EQ(hintAt(200, 30), "");
  form->SetShowHint(true);
  form->SetHint("Form");
  EXPECT_EQ(hintAt(200, 30), "Form");
  // An empty text shows nothing; neither does the application with hints off.
  a->SetHint("");
  EXPECT_EQ(hintAt(20, 20), "Form");
  b->SetHint("|only a long hint");
  EXPECT_EQ(hintAt(60, 20), "");
  Application->SetShowHint(false);
  EXPECT_EQ(hintAt(120, 80), "");
  Application->SetShowHint(true);
  EXPECT_EQ(hintAt(120, 80), "Panel");
}

TEST_F(HintsTest, ItStaysOnTheScreenAndNeverUnderThePointer) {
  const TRect wa = Screen->WorkAreaRect();
  b->SetHint("A rather long hint that takes some room on the screen");
  // The form in the work area's bottom-right corner.
  form->SetBounds(wa.Right - 100, wa.Bottom - 60, 100, 60);
  b->SetBounds(40, 20, 60, 40);
  Pump();
  Move(95, 55);
  Wait(500);
  THintWindow* h = Hint();
  ASSERT_NE(h, nullptr);
  const TRect r = h->BoundsRect();
  EXPECT_GE(r.Left, wa.Left);
  EXPECT_LE(r.Right, wa.Right);
  EXPECT_GE(r.Top, wa.Top);
  EXPECT_LE(r.Bottom, wa.Bottom);
  POINT p;
  GetCursorPos(&p);
  EXPECT_LT(r.Bottom, p.y) << "above the pointer when there is no room below";
}

TEST_F(HintsTest, AModalDialogOrAControlGoingAwayEndsIt) {
  ASSERT_EQ(RestOnFirst(), "Next Skin");
  auto* dialog = new TForm(nullptr);
  bool hiddenWhileModal = false;
  HeadlessSetIdleHook([&] {
    hiddenWhileModal = Hint() == nullptr;
    dialog->SetModalResult(mrOk);
    return true;
  });
  dialog->ShowModal();
  HeadlessSetIdleHook(nullptr);
  FreeComponent(dialog);
  EXPECT_TRUE(hiddenWhileModal);

  // The control freed during its pause or while its hint shows.
  Move(200, 150);
  Move(60, 20);
  Wait(200);
  FreeComponent(b);
  Wait(1000);
  EXPECT_EQ(Hint(), nullptr);
  Move(200, 150);
  ASSERT_EQ(RestOnFirst(), "Next Skin");
  FreeComponent(a);
  Pump();
  EXPECT_EQ(Hint(), nullptr);
  Wait(5000);
  // A hidden form takes its control's hint along.
  auto* c = Tool(120, 10, "Third");
  Move(130, 20);
  Wait(500);
  ASSERT_EQ(Shown(), "Third");
  form->Hide();
  Pump();
  EXPECT_EQ(Hint(), nullptr);
  (void)c;
}

}  // namespace
