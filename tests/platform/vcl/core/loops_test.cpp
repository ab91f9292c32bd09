// Loops and threads: Synchronize served by WaitFor and by modal loops, timers on
// the headless clock, modal results, deferred release and message boxes.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include <vcl/extctrls.h>
#include <vcl/forms.h>
#include <vcl/headless.h>

namespace {

class LoopsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Application->Initialize();
    SetMessageBoxRecorder(nullptr);
    HeadlessSetIdleHook(nullptr);
    // Loops end at once in an ended application: a case before this one must not leave it so.
    ASSERT_FALSE(Application->Terminated());
  }
  void TearDown() override {
    HeadlessSetIdleHook(nullptr);
    SetMessageBoxRecorder(nullptr);
  }
};

// A worker that reports to the GUI thread a number of times, then ends.
class Reporter : public TThread {
 public:
  Reporter(int times, std::vector<int>* seen) : TThread(true), times_(times), seen_(seen) {}

 protected:
  void Execute() override {
    for (int i = 0; i < times_ && !Terminated(); ++i) {
      Synchronize([this, i] {
        EXPECT_TRUE(TThread::IsMainThread());
        seen_->push_back(i);
      });
    }
    SetReturnValue(42);
  }

 private:
  int times_;
  std::vector<int>* seen_;
};

TEST_F(LoopsTest, WaitForOnTheGuiThreadKeepsServingSynchronize) {
  std::vector<int> seen;
  Reporter t(50, &seen);
  bool ended = false;
  t.OnTerminate = [&](TObject*) {
    EXPECT_TRUE(TThread::IsMainThread());
    ended = true;
  };
  EXPECT_TRUE(t.Suspended());
  t.Resume();
  EXPECT_EQ(t.WaitFor(), 42);
  EXPECT_EQ(seen.size(), 50u);
  EXPECT_TRUE(ended) << "OnTerminate runs on the GUI thread during the wait";
  EXPECT_TRUE(t.Finished());
}

TEST_F(LoopsTest, StoppingAWorkerThatSynchronizesDoesNotDeadlock) {
  std::vector<int> seen;
  auto* t = new Reporter(1000000, &seen);
  t->Resume();
  while (seen.size() < 3) Application->ProcessMessages();
  t->Terminate();
  t->WaitFor();
  EXPECT_LT(seen.size(), 1000000u);
  delete t;
}

TEST_F(LoopsTest, ExceptionInSynchronizedMethodIsRaisedInTheWorker) {
  class Failing : public TThread {
   public:
    Failing() : TThread(true) {}
    std::string caught;

   protected:
    void Execute() override {
      try {
        Synchronize([] { throw Exception("from the GUI side"); });
      } catch (const Exception& e) {
        caught = e.Message;
      }
    }
  } t;
  t.Resume();
  t.WaitFor();
  EXPECT_EQ(t.caught, "from the GUI side");
}

TEST_F(LoopsTest, ThreadCreatedRunningStartsAtTheNextLoopTurnAndMayFreeItself) {
  std::atomic<bool> ran{false};
  class Quick : public TThread {
   public:
    explicit Quick(std::atomic<bool>* ran) : TThread(false), ran_(ran) { SetFreeOnTerminate(true); }

   protected:
    void Execute() override { *ran_ = true; }

   private:
    std::atomic<bool>* ran_;
  };
  bool terminated = false;
  auto* q = new Quick(&ran);
  q->OnTerminate = [&](TObject*) { terminated = true; };
  for (int i = 0; i < 500 && !terminated; ++i) {
    Application->ProcessMessages();
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  EXPECT_TRUE(ran);
  EXPECT_TRUE(terminated);
}

TEST_F(LoopsTest, ModalLoopServesSynchronizeAndReturnsTheModalResult) {
  auto* form = new TForm(nullptr);
  std::vector<int> seen;
  Reporter t(5, &seen);
  form->OnShow = [&](TObject*) { t.Resume(); };
  // Once the worker has reported everything, the "user" closes with OK.
  HeadlessSetIdleHook([&]() -> bool {
    if (seen.size() == 5 && form->ModalResult() == mrNone) {
      form->SetModalResult(mrOk);
      return true;
    }
    return false;
  });
  EXPECT_EQ(form->ShowModal(), mrOk);
  EXPECT_FALSE(form->Visible());
  EXPECT_EQ(seen.size(), 5u);
  t.WaitFor();
  FreeComponent(form);
}

TEST_F(LoopsTest, ModalFormRefusingToCloseStaysOpen) {
  auto* form = new TForm(nullptr);
  int asked = 0;
  form->OnCloseQuery = [&](TObject*, bool& can) { can = ++asked >= 2; };
  HeadlessSetIdleHook([&]() -> bool {
    form->SetModalResult(mrCancel);
    return true;
  });
  EXPECT_EQ(form->ShowModal(), mrCancel);
  EXPECT_EQ(asked, 2);
  // Showing modally a form that is already visible is refused.
  HeadlessSetIdleHook(nullptr);
  form->Show();
  EXPECT_THROW(form->ShowModal(), EInvalidOperation);
  FreeComponent(form);
}

TEST_F(LoopsTest, OtherWindowsTakeNoInputWhileAModalFormRuns) {
  auto* main = new TForm(nullptr);
  main->SetBorderStyle(bsNone);
  main->SetBounds(0, 0, 100, 100);
  int clicks = 0;
  main->OnClick = [&](TObject*) { ++clicks; };
  main->Show();
  auto* dialog = new TForm(nullptr);
  int step = 0;
  HeadlessSetIdleHook([&]() -> bool {
    if (step == 0) {
      HeadlessClick(main, 10, 10);
      ++step;
      return true;
    }
    dialog->SetModalResult(mrOk);
    return true;
  });
  dialog->ShowModal();
  EXPECT_EQ(clicks, 0);
  HeadlessSetIdleHook(nullptr);
  HeadlessClick(main, 10, 10);
  Application->ProcessMessages();
  EXPECT_EQ(clicks, 1);
  FreeComponent(dialog);
  FreeComponent(main);
}

TEST_F(LoopsTest, TimersTickOnTheFakeClockOnly) {
  HeadlessUseFakeClock(10000);
  TTimer timer(nullptr);
  int ticks = 0;
  timer.OnTimer = [&](TObject*) { ++ticks; };
  EXPECT_EQ(timer.Interval(), 1000u);
  EXPECT_TRUE(timer.Enabled());
  Application->ProcessMessages();
  HeadlessAdvanceClock(999);
  Application->ProcessMessages();
  EXPECT_EQ(ticks, 0);
  HeadlessAdvanceClock(1);
  Application->ProcessMessages();
  EXPECT_EQ(ticks, 1);
  // A long stall gives one tick, not a burst.
  HeadlessAdvanceClock(5000);
  Application->ProcessMessages();
  EXPECT_EQ(ticks, 2);
  timer.SetEnabled(false);
  HeadlessAdvanceClock(5000);
  Application->ProcessMessages();
  EXPECT_EQ(ticks, 2);
  // Re-enabling starts a whole interval again.
  timer.SetInterval(200);
  timer.SetEnabled(true);
  HeadlessAdvanceClock(199);
  Application->ProcessMessages();
  EXPECT_EQ(ticks, 2);
  HeadlessAdvanceClock(1);
  Application->ProcessMessages();
  EXPECT_EQ(ticks, 3);
}

// Ticks of several timers wait in the queue at once; one killed by an earlier one's
// handler never ticks, wherever its tick stood.
TEST_F(LoopsTest, AKilledTimersQueuedTickDoesNotArrive) {
  HeadlessUseFakeClock(10000);
  std::vector<UINT_PTR> ticks;
  HWND h = nullptr;
  h = AllocateHWnd([&](TMessage& m) {
    if (m.Msg != WM_TIMER) return;
    ticks.push_back(m.WParam);
    if (m.WParam == 1) KillTimer(h, 3);
  });
  for (UINT_PTR id : {1, 2, 3}) ASSERT_NE(SetTimer(h, id, 100, nullptr), 0u);
  HeadlessAdvanceClock(100);
  Application->ProcessMessages();
  EXPECT_EQ(ticks, (std::vector<UINT_PTR>{1, 2}));
  KillTimer(h, 1);
  KillTimer(h, 2);
  DeallocateHWnd(h);
}

TEST_F(LoopsTest, CountdownClosesAModalFormFromItsTimer) {
  HeadlessUseFakeClock(0);
  auto* form = new TForm(nullptr);
  auto* timer = new TTimer(form);
  timer->SetEnabled(false);
  int seconds = 0;
  std::vector<int> shown;
  form->OnShow = [&](TObject*) {
    seconds = 3;
    timer->SetEnabled(true);
  };
  timer->OnTimer = [&](TObject*) {
    if (--seconds == 0) {
      timer->SetEnabled(false);
      form->SetModalResult(mrOk);
    } else {
      shown.push_back(seconds);
    }
  };
  HeadlessSetIdleHook([]() -> bool {
    HeadlessAdvanceClock(1000);
    return true;
  });
  EXPECT_EQ(form->ShowModal(), mrOk);
  EXPECT_EQ(shown, (std::vector<int>{2, 1}));
  FreeComponent(form);
}

TEST_F(LoopsTest, CloseWithCaFreeReleasesTheFormAfterTheCurrentMessage) {
  auto* form = new TForm(nullptr);
  form->Show();
  bool destroyed = false;
  form->OnDestroy = [&](TObject*) { destroyed = true; };
  form->OnClose = [](TObject*, TCloseAction& a) { a = caFree; };
  HWND h = form->Handle();
  form->Close();
  EXPECT_FALSE(destroyed) << "freed only once the loop runs again";
  EXPECT_TRUE(IsWindow(h));
  Application->ProcessMessages();
  EXPECT_TRUE(destroyed);
  EXPECT_FALSE(IsWindow(h));
}

TEST_F(LoopsTest, CloseHidesByDefaultAndCaNoneKeepsTheForm) {
  auto* form = new TForm(nullptr);
  form->Show();
  int hides = 0;
  form->OnHide = [&](TObject*) { ++hides; };
  form->Close();
  EXPECT_FALSE(form->Visible());
  EXPECT_FALSE(HeadlessWindowVisible(form->Handle()));
  EXPECT_EQ(hides, 1);
  form->Show();
  form->OnClose = [](TObject*, TCloseAction& a) { a = caNone; };
  form->Close();
  EXPECT_TRUE(form->Visible());
  form->OnCloseQuery = [](TObject*, bool& can) { can = false; };
  form->OnClose = nullptr;
  form->Close();
  EXPECT_TRUE(form->Visible());
  FreeComponent(form);
}

TEST_F(LoopsTest, MessageBoxIsAModalFormThatTheRecorderAnswers) {
  auto* owner = new TForm(nullptr);
  owner->SetCaption("Owner");
  owner->Show();
  std::vector<MessageBoxInfo> boxes;
  SetMessageBoxRecorder([&](const MessageBoxInfo& info) {
    boxes.push_back(info);
    EXPECT_TRUE(HeadlessWindowVisible(info.box));
    EXPECT_EQ(HeadlessWindowTitle(info.box), info.caption);
    return (info.type & MB_TYPEMASK) == MB_YESNO ? IDNO : IDOK;
  });
  EXPECT_EQ(MessageBoxA(owner->Handle(), "Please stop the converting at first!", "Error", MB_ICONERROR), IDOK);
  EXPECT_EQ(MessageBoxA(owner->Handle(), "Convert the whole title?", "Confirm please", MB_YESNO), IDNO);
  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_EQ(boxes[0].owner, owner->Handle());
  EXPECT_EQ(boxes[0].text, "Please stop the converting at first!");
  EXPECT_EQ(boxes[0].caption, "Error");
  EXPECT_EQ(boxes[0].type, MB_ICONERROR);
  EXPECT_FALSE(IsWindow(boxes[0].box)) << "the box is gone once answered";
  FreeComponent(owner);
}

// A program ending with nobody to answer: the open box ends, later ones answer at once,
// each with the answer that does not go ahead, and their texts go to standard error.
TEST_F(LoopsTest, UnattendedMessageBoxesAnswerAtOnceWithTheirSafestAnswer) {
  std::vector<std::string> asked;
  SetMessageBoxRecorder([&](const MessageBoxInfo& info) {
    asked.push_back(info.text);
    return 0;  // left open: nobody answers
  });
  HeadlessSetIdleHook([&]() -> bool {
    if (asked.empty()) return false;
    HeadlessSetIdleHook(nullptr);
    TThread::Queue([] { SetMessageBoxesUnattended(true); });  // as a signal arrives
    return true;
  });
  testing::internal::CaptureStderr();
  EXPECT_EQ(MessageBoxA(nullptr, "Replace it?", "Confirm please", MB_YESNO), IDNO);
  EXPECT_EQ(asked, std::vector<std::string>{"Replace it?"});
  EXPECT_EQ(MessageBoxA(nullptr, "Out of disk", "Error", MB_ICONERROR), IDOK);
  EXPECT_EQ(MessageBoxA(nullptr, "Go on?", "Q", MB_YESNOCANCEL), IDCANCEL);
  EXPECT_EQ(MessageBoxA(nullptr, "Again?", "Q", MB_ABORTRETRYIGNORE), IDABORT);
  EXPECT_EQ(MessageBoxA(nullptr, "Sure?", "Q", MB_OKCANCEL), IDCANCEL);
  const std::string said = testing::internal::GetCapturedStderr();
  EXPECT_EQ(asked.size(), 1u) << "no box was shown once unattended";
  EXPECT_EQ(said, "[Confirm please] Replace it?\n[Error] Out of disk\n[Q] Go on?\n[Q] Again?\n[Q] Sure?\n");
  SetMessageBoxesUnattended(false);
  SetMessageBoxRecorder([&](const MessageBoxInfo& info) {
    asked.push_back(info.text);
    return IDYES;
  });
  EXPECT_EQ(MessageBoxA(nullptr, "Attended again", "Q", MB_YESNO), IDYES);
  EXPECT_EQ(asked.back(), "Attended again");
}

TEST_F(LoopsTest, MessageBoxAnsweredByInputAndFromAWorkerThread) {
  // The recorder leaves the box open; the "user" presses N on the keyboard.
  HWND box = nullptr;
  SetMessageBoxRecorder([&](const MessageBoxInfo& info) {
    box = info.box;
    return 0;
  });
  HeadlessSetIdleHook([&]() -> bool {
    if (!box) return false;
    auto* f = dynamic_cast<TCustomForm*>(FindControl(box));
    HeadlessChar(f, 'n');
    box = nullptr;
    return true;
  });
  EXPECT_EQ(MessageBoxA(nullptr, "Sure?", "Question", MB_YESNO | MB_ICONQUESTION), IDNO);

  // From a worker the box runs on the GUI thread, which serves it in WaitFor.
  SetMessageBoxRecorder([](const MessageBoxInfo&) { return IDYES; });
  HeadlessSetIdleHook(nullptr);
  class Asker : public TThread {
   public:
    Asker() : TThread(true) {}
    int answer = 0;

   protected:
    void Execute() override { answer = MessageBoxA(nullptr, "From the worker", "Error", MB_YESNO); }
  } t;
  t.Resume();
  t.WaitFor();
  EXPECT_EQ(t.answer, IDYES);
}

// Stopping a conversion: the GUI thread waits for the worker, whose last report is
// an error box shown through Synchronize; the box's own loop serves the worker's
// later calls too.
TEST_F(LoopsTest, WorkerShowsAnErrorBoxWhileTheGuiThreadWaitsForIt) {
  std::vector<std::string> order;
  SetMessageBoxRecorder([&](const MessageBoxInfo& info) {
    order.push_back("box:" + info.text);
    return IDOK;
  });
  class Stopping : public TThread {
   public:
    explicit Stopping(std::vector<std::string>* order) : TThread(true), order_(order) {}

   protected:
    void Execute() override {
      Synchronize([this] { order_->push_back("progress"); });
      Synchronize([this] { MessageBoxA(nullptr, "Program Exception ,have to stop!", "Error", MB_ICONERROR); });
      Synchronize([this] { order_->push_back("reset"); });
    }

   private:
    std::vector<std::string>* order_;
  } t(&order);
  t.Resume();
  t.WaitFor();
  EXPECT_EQ(order, (std::vector<std::string>{"progress", "box:Program Exception ,have to stop!", "reset"}));
}

TEST_F(LoopsTest, HandlerExceptionIsShownByTheLoopAndTheLoopGoesOn) {
  auto* form = new TForm(nullptr);
  form->SetBorderStyle(bsNone);
  form->OnClick = [](TObject*) { throw Exception("handler failed"); };
  form->Show();
  std::vector<std::string> texts;
  SetMessageBoxRecorder([&](const MessageBoxInfo& info) {
    texts.push_back(info.text);
    EXPECT_EQ(info.caption, Application->Title());
    return IDOK;
  });
  HeadlessUseFakeClock(1000);
  HeadlessClick(form, 5, 5);
  Application->ProcessMessages();
  HeadlessAdvanceClock(1000);  // not a double click
  HeadlessClick(form, 5, 5);
  Application->ProcessMessages();
  EXPECT_EQ(texts, (std::vector<std::string>{"handler failed", "handler failed"}));
  // OnException replaces the box.
  std::string seen;
  Application->OnException = [&](TObject*, const Exception& e) { seen = e.Message; };
  form->OnClick = [](TObject*) { throw 17; };
  HeadlessAdvanceClock(1000);
  HeadlessClick(form, 5, 5);
  Application->ProcessMessages();
  Application->OnException = nullptr;
  EXPECT_EQ(seen, "");
  EXPECT_EQ(texts.size(), 2u);
  FreeComponent(form);
}

TEST_F(LoopsTest, SendAndPostFromAnotherThreadReachTheGuiThread) {
  std::vector<std::string> got;
  HWND w = AllocateHWnd([&](TMessage& m) {
    if (m.Msg == WM_USER + 1 || m.Msg == WM_USER + 2) {
      EXPECT_TRUE(TThread::IsMainThread());
      got.push_back(std::to_string(m.Msg - WM_USER) + ":" + std::to_string(m.WParam));
      m.Result = 7;
    }
  });
  LRESULT sent = 0;
  std::thread worker([&] {
    PostMessageA(w, WM_USER + 1, 5, 0);
    sent = SendMessageA(w, WM_USER + 2, 6, 0);
  });
  while (got.size() < 2) Application->HandleMessage();
  worker.join();
  // Like the system, a message sent from another thread does not wait behind the
  // posted ones.
  std::sort(got.begin(), got.end());
  EXPECT_EQ(got, (std::vector<std::string>{"1:5", "2:6"}));
  EXPECT_EQ(sent, 7);
  DeallocateHWnd(w);
  EXPECT_FALSE(PostMessageA(w, WM_USER, 0, 0)) << "a freed handle is unknown";
  EXPECT_EQ(SendMessageA(w, WM_USER + 2, 0, 0), 0);
}

}  // namespace
