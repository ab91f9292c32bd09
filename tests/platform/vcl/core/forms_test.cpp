// Forms and the application: focus and its events, dialog keys, nested modal
// loops, the main form ending Run, minimising, workers that fail.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <vcl/extctrls.h>
#include <vcl/forms.h>
#include <vcl/headless.h>

namespace {

std::vector<std::string> g_log;

class Box : public TCustomControl {
 public:
  Box(TComponent* owner, const std::string& name) : TCustomControl(owner) {
    SetName(name);
    SetTabStop(true);
    OnEnter = [this](TObject*) { g_log.push_back(Name() + ".enter"); };
    OnExit = [this](TObject*) { g_log.push_back(Name() + ".exit"); };
  }
  bool takes_return = false;

 protected:
  // A default button: Enter pressed anywhere on the form reaches it.
  void CMDialogKey(TMessage& m) override {
    if (takes_return && m.CharCode() == VK_RETURN && Enabled()) {
      g_log.push_back(Name() + ".return");
      m.Result = 1;
      return;
    }
    TCustomControl::CMDialogKey(m);
  }
};

class FormsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_log.clear();
    Application->Initialize();
    SetMessageBoxRecorder(nullptr);
    HeadlessSetIdleHook(nullptr);
  }
  // A case may run the application to its end: later ones get a fresh one.
  void TearDown() override {
    HeadlessSetIdleHook(nullptr);
    SetMessageBoxRecorder(nullptr);
    DoneApplication();
    InitApplication();
  }
};

TEST_F(FormsTest, FocusMovesWithExitAndEnterAndLeavesControlsThatCannotHaveIt) {
  auto* form = new TForm(nullptr);
  auto* a = new Box(form, "a");
  a->SetParent(form);
  auto* b = new Box(form, "b");
  b->SetParent(form);
  form->SetActiveControl(b);
  form->Show();
  EXPECT_TRUE(b->Focused()) << "the active control set before showing gets the focus";
  EXPECT_EQ(GetFocus(), b->Handle());
  a->SetFocus();
  EXPECT_EQ(g_log, (std::vector<std::string>{"b.enter", "b.exit", "a.enter"}));
  EXPECT_EQ(form->ActiveControl(), a);
  EXPECT_EQ(Screen->ActiveControl(), a);

  a->SetEnabled(false);
  EXPECT_FALSE(a->Focused());
  EXPECT_FALSE(a->CanFocus());
  EXPECT_THROW(a->SetFocus(), EInvalidOperation);
  b->SetFocus();
  b->SetVisible(false);
  EXPECT_FALSE(b->Focused());
  EXPECT_EQ(form->ActiveControl(), nullptr);
  // A control freed while focused leaves no dangling focus.
  b->SetVisible(true);
  b->SetFocus();
  FreeComponent(b);
  EXPECT_EQ(form->ActiveControl(), nullptr);
  EXPECT_EQ(FindControl(GetFocus()), nullptr);
  FreeComponent(form);
}

TEST_F(FormsTest, EnterReachesTheControlThatTakesItAsADialogKey) {
  auto* form = new TForm(nullptr);
  auto* edit = new Box(form, "edit");
  edit->SetParent(form);
  auto* ok = new Box(form, "ok");
  ok->takes_return = true;
  ok->SetParent(form);
  form->Show();
  EXPECT_TRUE(edit->Focused());
  g_log.clear();
  int presses = 0;
  edit->OnKeyPress = [&](TObject*, char&) { ++presses; };
  HeadlessKey(form, VK_RETURN);
  Application->ProcessMessages();
  EXPECT_EQ(g_log, (std::vector<std::string>{"ok.return"}));
  EXPECT_EQ(presses, 0) << "the Return character went with the dialog key";
  // A key handler that takes the key keeps it from the dialog.
  g_log.clear();
  edit->OnKeyDown = [](TObject*, WORD& k, TShiftState) { k = 0; };
  HeadlessKey(form, VK_RETURN);
  Application->ProcessMessages();
  EXPECT_TRUE(g_log.empty());
  FreeComponent(form);
}

TEST_F(FormsTest, KeyPreviewLetsTheFormSeeKeysFirst) {
  struct Preview : TForm {
    explicit Preview(TComponent* o) : TForm(o) { KeyPreview = true; }
    void KeyPress(char& k) override {
      if (k == 'x') k = 0;
    }
  };
  auto* form = new Preview(nullptr);
  auto* box = new Box(form, "box");
  box->SetParent(form);
  std::string typed;
  box->OnKeyPress = [&](TObject*, char& k) { typed += k; };
  form->Show();
  HeadlessChar(form, 'a');
  HeadlessChar(form, 'x');
  HeadlessChar(form, 'b');
  Application->ProcessMessages();
  EXPECT_EQ(typed, "ab");
  FreeComponent(form);
}

TEST_F(FormsTest, MessageBoxOverAModalFormBlocksItAndReturnsToIt) {
  auto* dialog = new TForm(nullptr);
  dialog->SetBorderStyle(bsNone);
  int clicks = 0;
  dialog->OnClick = [&](TObject*) { ++clicks; };
  int answer = 0;
  int step = 0;
  SetMessageBoxRecorder([&](const MessageBoxInfo& info) {
    EXPECT_EQ(info.owner, dialog->Handle());
    // While the box is up, a click on the dialog goes nowhere.
    HeadlessUseFakeClock(100000 + step * 1000);
    HeadlessClick(dialog, 5, 5);
    Application->ProcessMessages();
    return IDYES;
  });
  HeadlessSetIdleHook([&]() -> bool {
    if (step == 0) {
      ++step;
      answer = MessageBoxA(dialog->Handle(), "Sure?", "Confirm please", MB_YESNO);
      return true;
    }
    if (step == 1) {
      ++step;
      HeadlessAdvanceClock(1000);
      HeadlessClick(dialog, 5, 5);  // the dialog takes input again
      return true;
    }
    dialog->SetModalResult(mrOk);
    return true;
  });
  EXPECT_EQ(dialog->ShowModal(), mrOk);
  EXPECT_EQ(answer, IDYES);
  EXPECT_EQ(clicks, 1);
  EXPECT_EQ(Application->ModalLevel(), 0);
  FreeComponent(dialog);
}

TEST_F(FormsTest, MessageBoxesCentreOnTheirOwnerOrTheScreenAndStayWhollyOnIt) {
  const TRect wa = Screen->WorkAreaRect();
  auto* owner = new TForm(nullptr);
  owner->SetBorderStyle(bsNone);
  TRect seen;
  SetMessageBoxRecorder([&](const MessageBoxInfo& info) {
    seen = FindControl(info.box)->BoundsRect();
    return IDOK;
  });
  const std::string longText(120, 'w');
  auto boxFor = [&](HWND h, const std::string& text) {
    seen = TRect();
    MessageBoxA(h, text.c_str(), "Error", MB_ICONERROR);
    return seen;
  };
  auto inside = [&](const TRect& r) {
    return r.Left >= wa.Left && r.Top >= wa.Top && r.Right <= wa.Right && r.Bottom <= wa.Bottom;
  };

  // An owner in the middle: the box's centre is the owner's.
  owner->SetBounds(400, 300, 300, 200);
  owner->Show();
  TRect r = boxFor(owner->Handle(), "Short");
  EXPECT_LE(std::abs((r.Left + r.Right) - (400 + 700)), 1);
  EXPECT_LE(std::abs((r.Top + r.Bottom) - (300 + 500)), 1);
  // A small owner at each edge and a wide text: moved back wholly on screen.
  for (TRect place : {Bounds(wa.Left, wa.Top, 60, 40), Bounds(wa.Right - 60, wa.Bottom - 40, 60, 40),
                      Bounds(-300, -200, 200, 100)}) {
    owner->SetBoundsRect(place);
    r = boxFor(owner->Handle(), longText);
    EXPECT_TRUE(inside(r)) << r.Left << "," << r.Top << " " << r.Width() << "x" << r.Height();
    EXPECT_GT(r.Width(), 400);  // the long text made it wide
  }
  // A hidden owner, a control's handle of a hidden form and no owner: the screen's centre.
  owner->Hide();
  auto* child = new TPanel(owner);
  child->SetParent(owner);
  for (HWND h : {owner->Handle(), child->Handle(), HWND(nullptr)}) {
    r = boxFor(h, "Short");
    EXPECT_LE(std::abs((r.Left + r.Right) - (wa.Left + wa.Right)), 1);
    EXPECT_LE(std::abs((r.Top + r.Bottom) - (wa.Top + wa.Bottom)), 1);
  }
  FreeComponent(owner);
}

TEST_F(FormsTest, ClosingTheMainFormEndsRunUnlessItRefuses) {
  struct Main : TForm {
    explicit Main(TComponent* o) : TForm(o) {}
  };
  Main* main = nullptr;
  Application->CreateForm(main);
  ASSERT_EQ(Application->MainForm(), main);
  int queries = 0;
  main->OnCloseQuery = [&](TObject*, bool& can) { can = ++queries > 1; };
  HeadlessSetIdleHook([&]() -> bool {
    if (!main->Visible()) return false;
    HeadlessCloseRequest(main);  // first refused, then accepted
    return true;
  });
  Application->Run();
  EXPECT_EQ(queries, 2);
  EXPECT_TRUE(Application->Terminated());
  EXPECT_EQ(main->ModalResult(), mrNone);

  // A box shown while the program ends waits for the user's answer (the loop keeps
  // waiting for input). A watchdog closes it (cancel) should it never see the key.
  HWND box = nullptr;
  HeadlessSetIdleHook([&]() -> bool {
    if (!box) return false;
    HeadlessChar(dynamic_cast<TCustomForm*>(FindControl(box)), 'n');
    box = nullptr;
    return true;
  });
  std::mutex mu;
  std::condition_variable cv;
  bool answered = false;
  HWND shown = nullptr;
  std::thread watchdog([&] {
    std::unique_lock<std::mutex> lock(mu);
    if (!cv.wait_for(lock, std::chrono::seconds(5), [&] { return answered; }) && shown)
      PostMessageA(shown, WM_CLOSE, 0, 0);
  });
  SetMessageBoxRecorder([&](const MessageBoxInfo& info) {
    box = info.box;
    std::lock_guard<std::mutex> lock(mu);
    shown = info.box;
    return 0;
  });
  int answer = MessageBoxA(nullptr, "Save before leaving?", "Question", MB_YESNOCANCEL);
  {
    std::lock_guard<std::mutex> lock(mu);
    answered = true;
  }
  cv.notify_all();
  watchdog.join();
  HeadlessSetIdleHook(nullptr);
  SetMessageBoxRecorder(nullptr);
  EXPECT_EQ(answer, IDNO);
}

// After DoneApplication a new application starts clean: not ended, no forms, and no
// leftover of the old one's ending cuts its loops short.
TEST_F(FormsTest, AnApplicationCreatedAfterTheEndedOneRunsItsOwnLoops) {
  TForm* main = nullptr;
  Application->CreateForm(main);
  HeadlessSetIdleHook([&]() -> bool {
    if (!main->Visible()) return false;
    HeadlessCloseRequest(main);
    return true;
  });
  Application->Run();
  ASSERT_TRUE(Application->Terminated());
  HeadlessSetIdleHook(nullptr);
  DoneApplication();
  EXPECT_EQ(Application, nullptr);
  EXPECT_EQ(Screen, nullptr);

  InitApplication();
  ASSERT_NE(Application, nullptr);
  ASSERT_NE(Screen, nullptr);
  TApplication* fresh = Application;
  InitApplication();
  EXPECT_EQ(Application, fresh) << "a living application is kept";
  Application->Initialize();
  EXPECT_FALSE(Application->Terminated());
  EXPECT_EQ(Application->ComponentCount(), 0);
  EXPECT_EQ(Application->MainForm(), nullptr);
  EXPECT_EQ(Screen->FormCount(), 0);

  auto* dialog = new TForm(nullptr);
  int turns = 0;
  HeadlessSetIdleHook([&]() -> bool {
    if (++turns < 3) return true;
    dialog->SetModalResult(mrOk);
    return true;
  });
  EXPECT_EQ(dialog->ShowModal(), mrOk);
  EXPECT_EQ(turns, 3);
  EXPECT_FALSE(Application->Terminated());
  FreeComponent(dialog);

  // The new application's first form is its main form, and closing it ends Run.
  TForm* second = nullptr;
  Application->CreateForm(second);
  EXPECT_EQ(Application->MainForm(), second);
  HeadlessSetIdleHook([&]() -> bool {
    if (!second->Visible()) return false;
    HeadlessCloseRequest(second);
    return true;
  });
  Application->Run();
  EXPECT_TRUE(Application->Terminated());
}

TEST_F(FormsTest, MinimisingHidesTheWindowAndRestoringShowsIt) {
  auto* form = new TForm(nullptr);
  form->Show();
  EXPECT_TRUE(HeadlessWindowVisible(form->Handle()));
  SendMessageA(form->Handle(), WM_SYSCOMMAND, SC_MINIMIZE, 0);
  EXPECT_EQ(form->WindowState(), wsMinimized);
  EXPECT_FALSE(HeadlessWindowVisible(form->Handle()));
  form->SetWindowState(wsNormal);
  EXPECT_TRUE(HeadlessWindowVisible(form->Handle()));
  form->SetBounds(10, 20, 200, 100);
  EXPECT_EQ(form->RestoredBounds(), Bounds(10, 20, 200, 100));
  form->SetWindowState(wsMaximized);
  EXPECT_EQ(form->BoundsRect(), Screen->WorkAreaRect());
  EXPECT_EQ(form->RestoredBounds(), Bounds(10, 20, 200, 100));
  form->SetWindowState(wsNormal);
  EXPECT_EQ(form->BoundsRect(), Bounds(10, 20, 200, 100));
  FreeComponent(form);
}

TEST_F(FormsTest, AWorkerThatFailsKeepsItsErrorAndCannotBeWaitedForWhenFreeingItself) {
  class Failing : public TThread {
   public:
    Failing() : TThread(true) {}

   protected:
    void Execute() override { throw Exception("disc unreadable"); }
  } t;
  t.Resume();
  t.WaitFor();
  EXPECT_TRUE(t.HadFatalException());
  EXPECT_EQ(t.FatalExceptionMessage(), "disc unreadable");

  class Idle : public TThread {
   public:
    Idle() : TThread(true) { SetFreeOnTerminate(true); }

   protected:
    void Execute() override {}
  };
  auto* idle = new Idle;
  EXPECT_THROW(idle->WaitFor(), EThread);
  idle->SetFreeOnTerminate(false);
  idle->Resume();
  idle->WaitFor();
  delete idle;
}

TEST_F(FormsTest, CursorOfTheControlUnderThePointer) {
  auto* form = new TForm(nullptr);
  form->SetBorderStyle(bsNone);
  form->SetBounds(0, 0, 100, 100);
  auto* box = new Box(form, "box");
  box->SetBounds(0, 0, 50, 50);
  box->SetCursor(crHandPoint);
  box->SetParent(form);
  form->Show();
  HeadlessMouseMove(form, 10, 10);
  Application->ProcessMessages();
  EXPECT_EQ(MouseControl(), box);
  HeadlessMouseMove(form, 80, 80);
  Application->ProcessMessages();
  EXPECT_EQ(MouseControl(), form);
  FreeComponent(form);
  EXPECT_EQ(MouseControl(), nullptr);
}

}  // namespace
