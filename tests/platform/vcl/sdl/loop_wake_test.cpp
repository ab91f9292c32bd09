// The GUI loop wakes at once for work that other threads hand it: Synchronize calls,
// posted messages, and its own timers, with the main window hidden as during a
// conversion run, so that no unrelated event can stand in for a lost wake-up. Built
// once per backend (QUILL_TEST_BACKEND); the SDL2 one runs on a private Xvfb server.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <thread>
#include <vector>

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

// Four workers' Synchronize calls at once, among one-shot timers and posted messages;
// the message handler and the idle handler peek at the queue, which spends wake-ups (as
// handlers in the program do): every call, message and timer is served, and no call
// waits long for the loop.
TEST_F(LoopWake, ManySynchronizeRoundTripsAmongTimersAndPostedMessagesNeverWaitLong) {
  // A few seconds also in the sanitizer build.
  constexpr int kRoundTrips = 100000;
  constexpr int kThreads = 4;
  constexpr auto kLongestAllowed = std::chrono::seconds(1);
  // A lost wake-up hangs the loop once no other worker is left to wake it: the watchdog
  // fails the case rather than leave it to ctest's timeout.
  constexpr auto kNoProgressLimit = std::chrono::seconds(10);

  std::atomic<int> served{0}, completed{0}, posted{0}, answered{0}, timersSet{0}, ticks{0}, finished{0};
  std::atomic<long long> longestUs{0};
  HWND target = nullptr;
  target = AllocateHWnd([&](TMessage& m) {
    if (m.Msg == WM_USER + 1) {
      answered.fetch_add(1);
      MSG peek;
      PeekMessageA(&peek, nullptr, 0, 0, PM_NOREMOVE);
    } else if (m.Msg == WM_TIMER) {
      KillTimer(target, m.WParam);
      ticks.fetch_add(1);
    }
  });

  Application->OnIdle = [](TObject*, bool&) {
    MSG peek;
    PeekMessageA(&peek, nullptr, 0, 0, PM_NOREMOVE);
  };

  std::atomic<bool> over{false};
  std::thread watchdog([&] {
    int last = -1;
    auto lastChange = Clock::now();
    while (!over) {
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
      const int now = completed + answered + ticks;
      if (now != last) {
        last = now;
        lastChange = Clock::now();
      } else if (Clock::now() - lastChange > kNoProgressLimit) {
        std::fprintf(stderr,
                     "the GUI loop hung: %d of %d round trips back, %d of %d posted messages and %d of %d timers "
                     "served, longest wait so far %lld ms\n",
                     completed.load(), kRoundTrips, answered.load(), posted.load(), ticks.load(), timersSet.load(),
                     longestUs.load() / 1000);
        std::fflush(stderr);
        std::_Exit(1);
      }
    }
  });

  std::vector<std::thread> workers;
  for (int w = 0; w < kThreads; ++w) {
    workers.emplace_back([&, w] {
      for (int n = 0; n < kRoundTrips / kThreads; ++n) {
        if (n % 10 == 0) {
          posted.fetch_add(1);
          PostMessageA(target, WM_USER + 1, 0, 0);
        }
        const bool withTimer = n % 50 == 0;
        const auto start = Clock::now();
        TThread::Synchronize(nullptr, [&] {
          served.fetch_add(1);
          if (withTimer && SetTimer(target, static_cast<UINT_PTR>(w + 1) * 1000000 + n, 1 + n % 5, nullptr))
            timersSet.fetch_add(1);
        });
        const long long us =
            std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - start).count();
        for (long long seen = longestUs; us > seen && !longestUs.compare_exchange_weak(seen, us);) {
        }
        completed.fetch_add(1);
      }
      finished.fetch_add(1);
      PostMessageA(nullptr, WM_NULL, 0, 0);
    });
  }
  const auto begun = Clock::now();
  while (finished < kThreads) Application->HandleMessage();
  const auto took = Clock::now() - begun;
  for (auto& t : workers) t.join();
  // The last timers and messages are still queued or due.
  while (answered < posted || ticks < timersSet) Application->HandleMessage();
  over = true;
  watchdog.join();
  DeallocateHWnd(target);

  std::printf("%d Synchronize round trips from %d threads in %lld ms, longest %lld us; %d posted messages, %d timers\n",
              completed.load(), kThreads,
              static_cast<long long>(std::chrono::duration_cast<std::chrono::milliseconds>(took).count()),
              longestUs.load(), posted.load(), timersSet.load());
  EXPECT_EQ(served.load(), kRoundTrips);
  EXPECT_EQ(answered.load(), posted.load());
  EXPECT_EQ(ticks.load(), timersSet.load());
  EXPECT_GT(timersSet.load(), 0);
  EXPECT_LT(longestUs.load(), std::chrono::duration_cast<std::chrono::microseconds>(kLongestAllowed).count())
      << "a Synchronize call waited that long for the GUI loop";
}

}  // namespace
