// The GUI loop wakes at once for work that other threads hand it: Synchronize calls,
// posted messages, and its own timers, with the main window hidden as during a
// conversion run, so that no unrelated event can stand in for a lost wake-up. Built
// once per backend (QUILL_TEST_BACKEND); the SDL2 one runs on a private Xvfb server.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <thread>

#include <vcl/backend.h>
#include <vcl/classes.h>
#include <vcl/forms.h>
#include <vcl/messages.h>
#include <vcl/winuser.h>

#include "xvfb.h"

namespace {

using Clock = std::chrono::steady_clock;

// Generous for a loaded machine: a working wake-up does a round trip in microseconds,
// a lost one waits for whatever else comes along (here: nothing until the window ends).
constexpr auto kWindow = std::chrono::seconds(2);
constexpr int kFloor = 1000;

class LoopWake : public ::testing::Test {
 protected:
  // The backend stays with the process: one X server for all cases.
  static void SetUpTestSuite() {
    if (std::string(QUILL_TEST_BACKEND) != "sdl") return;
    xvfb_ = new XvfbServer;
    std::string why;
    if (!xvfb_->Start(&why)) xvfb_error_ = why.empty() ? "Xvfb did not start" : why;
  }
  static void TearDownTestSuite() {
    delete xvfb_;
    xvfb_ = nullptr;
  }

  void SetUp() override {
    ASSERT_EQ(xvfb_error_, "");
    setenv("QUILLMERE_BACKEND", QUILL_TEST_BACKEND, 1);
    Application->Initialize();
    ASSERT_STREQ(Backend().name, QUILL_TEST_BACKEND);
    // The main window was on screen and is hidden now, as while a conversion runs.
    form_ = new TForm(nullptr);
    form_->SetBounds(80, 80, 240, 120);
    form_->Show();
    Serve(std::chrono::milliseconds(200));
    form_->Hide();
    // Past the time the SDL backend gives a window's move to settle: a wait it still had
    // to end would free a loop that missed its wake-up, and the cases could not tell.
    Serve(std::chrono::milliseconds(700));
  }
  void TearDown() override {
    Application->OnIdle = nullptr;
    if (form_) FreeComponent(form_);
  }

  // Runs the loop for `span`, the last time once the span is over.
  static void Serve(std::chrono::milliseconds span) {
    const auto end = Clock::now() + span;
    for (;;) {
      Application->ProcessMessages();
      if (Clock::now() >= end) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
  }

  // Runs the GUI loop until `done`; once the window is over, a message posted every
  // half second frees a loop that missed its wake-up, so that the count can tell, and
  // a few seconds later the loop gives up.
  static void RunLoopUntil(const std::atomic<bool>& done, Clock::time_point windowEnd) {
    std::atomic<bool> stop{false};
    std::thread rescuer([&] {
      for (auto next = windowEnd; !stop; std::this_thread::sleep_for(std::chrono::milliseconds(10))) {
        if (Clock::now() < next) continue;
        PostMessageA(nullptr, WM_NULL, 0, 0);
        next += std::chrono::milliseconds(500);
      }
    });
    const auto limit = windowEnd + std::chrono::seconds(5);
    while (!done && Clock::now() < limit) Application->HandleMessage();
    stop = true;
    rescuer.join();
  }

  static inline XvfbServer* xvfb_ = nullptr;
  static inline std::string xvfb_error_;
  TForm* form_ = nullptr;
};

TEST_F(LoopWake, SynchronizeRoundTripsDoNotWaitForOtherEvents) {
  std::atomic<int> served{0};
  std::atomic<bool> done{false};
  const auto windowEnd = Clock::now() + kWindow;
  std::thread worker([&] {
    int mine = 0;
    while (Clock::now() < windowEnd) {
      TThread::Synchronize(nullptr, [&] { served.fetch_add(1); });
      ++mine;
    }
    // Every call came back having run on the GUI thread.
    EXPECT_EQ(mine, served.load());
    done = true;
    PostMessageA(nullptr, WM_NULL, 0, 0);
  });
  RunLoopUntil(done, windowEnd);
  worker.join();
  std::printf("Synchronize round trips in %lld s with the main window hidden: %d\n",
              static_cast<long long>(kWindow.count()), served.load());
  EXPECT_GE(served.load(), kFloor) << "the GUI loop slept through queued Synchronize calls";
}

TEST_F(LoopWake, MessagesPostedByAnotherThreadAreServedAtOnce) {
  std::mutex mu;
  std::condition_variable cv;
  int answered = 0;
  HWND target = AllocateHWnd([&](TMessage& m) {
    if (m.Msg != WM_USER + 1) return;
    std::lock_guard lock(mu);
    ++answered;
    cv.notify_all();
  });
  std::atomic<bool> done{false};
  int sent = 0;
  const auto windowEnd = Clock::now() + kWindow;
  std::thread worker([&] {
    while (Clock::now() < windowEnd) {
      ASSERT_TRUE(PostMessageA(target, WM_USER + 1, 0, 0));
      ++sent;
      std::unique_lock lock(mu);
      cv.wait(lock, [&] { return answered == sent; });
    }
    done = true;
    PostMessageA(nullptr, WM_NULL, 0, 0);
  });
  RunLoopUntil(done, windowEnd);
  worker.join();
  DeallocateHWnd(target);
  std::printf("posted-message round trips in %lld s: %d\n", static_cast<long long>(kWindow.count()), answered);
  EXPECT_EQ(answered, sent);
  EXPECT_GE(answered, kFloor) << "the GUI loop slept through posted messages";
}

// A routine queued while the loop is busy must run before the loop waits, even when its
// wake-up was spent on the way: here an idle handler pumps the queue (as
// ProcessMessages in an OnIdle handler does) after the worker has queued its call.
TEST_F(LoopWake, ASynchronizeWhoseWakeUpWasSpentStillRunsBeforeTheLoopWaits) {
  std::atomic<bool> ran{false}, rescued{false};
  // The call is queued before its wake-up is sent: the handler waits for the wake-up
  // itself, or it could spend nothing and the wake-up come later.
  std::mutex mu;
  std::condition_variable cv;
  bool woken = false;
  TThread::SetWakeMainThread([&] {
    Backend().Wake();
    std::lock_guard lock(mu);
    woken = true;
    cv.notify_all();
  });
  struct RestoreWake {
    ~RestoreWake() { TThread::SetWakeMainThread([] { Backend().Wake(); }); }
  } restoreWake;
  std::thread worker;
  bool first = true;
  Application->OnIdle = [&](TObject*, bool&) {
    if (!first) return;
    first = false;
    worker = std::thread([&] { TThread::Synchronize(nullptr, [&] { ran = true; }); });
    {
      std::unique_lock lock(mu);
      cv.wait(lock, [&] { return woken; });  // the call is queued and its wake-up sent
    }
    MSG m;
    PeekMessageA(&m, nullptr, 0, 0, PM_NOREMOVE);  // ...and that wake-up spent
  };
  std::thread rescuer([&] {
    const auto end = Clock::now() + std::chrono::seconds(10);
    while (!ran && Clock::now() < end) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    if (!ran) {
      rescued = true;
      PostMessageA(nullptr, WM_NULL, 0, 0);
    }
  });
  while (!ran) Application->HandleMessage();
  rescuer.join();
  worker.join();
  Application->OnIdle = nullptr;
  EXPECT_FALSE(rescued) << "the routine waited until another event came";
}

TEST_F(LoopWake, TimersTickWithoutAnyOtherEvent) {
  static std::atomic<int> ticks{0};
  static std::atomic<bool> done{false};
  ticks = 0;
  done = false;
  const UINT_PTR id = SetTimer(nullptr, 0, 20, [](HWND, UINT, UINT_PTR, DWORD) {
    if (ticks.fetch_add(1) + 1 >= 25) done = true;
  });
  ASSERT_NE(id, 0u);
  // Half a second of 20 ms ticks; a loop that needed another event to notice a due
  // timer would see only the rescuer's, two a second.
  RunLoopUntil(done, Clock::now() + kWindow);
  KillTimer(nullptr, id);
  EXPECT_GE(ticks.load(), 25);
}

}  // namespace
