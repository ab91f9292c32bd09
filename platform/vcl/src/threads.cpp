#include <vcl/classes.h>

#include <sys/syscall.h>
#include <unistd.h>

#include <chrono>
#include <deque>
#include <exception>

namespace {

struct SyncCall {
  std::function<void()> method;
  // Null for fire-and-forget entries (the deferred start of a thread).
  std::mutex* mu = nullptr;
  std::condition_variable* cv = nullptr;
  bool* done = nullptr;
  std::exception_ptr* error = nullptr;
};

struct SyncState {
  std::mutex mu;
  std::condition_variable signal;  // a call was queued or a thread finished
  std::deque<SyncCall> queue;
  unsigned generation = 0;
  std::function<void()> wake;
};

SyncState& State() {
  static SyncState* s = new SyncState;  // outlives every static destructor
  return *s;
}

std::atomic<std::thread::id> g_main_thread{std::this_thread::get_id()};

void Signal() {
  SyncState& s = State();
  std::function<void()> wake;
  {
    std::lock_guard<std::mutex> lock(s.mu);
    ++s.generation;
    wake = s.wake;
  }
  s.signal.notify_all();
  if (wake) wake();
}

void Enqueue(SyncCall call) {
  {
    std::lock_guard<std::mutex> lock(State().mu);
    State().queue.push_back(std::move(call));
  }
  Signal();
}

}  // namespace

void SetMainThread() { g_main_thread = std::this_thread::get_id(); }

bool TThread::IsMainThread() { return std::this_thread::get_id() == g_main_thread.load(); }

void TThread::SetWakeMainThread(std::function<void()> wake) {
  std::lock_guard<std::mutex> lock(State().mu);
  State().wake = std::move(wake);
}

bool TThread::CheckSynchronize() {
  if (!IsMainThread()) throw EThread("CheckSynchronize called from a thread other than the GUI thread");
  bool any = false;
  for (;;) {
    SyncCall call;
    {
      std::lock_guard<std::mutex> lock(State().mu);
      if (State().queue.empty()) break;
      call = std::move(State().queue.front());
      State().queue.pop_front();
    }
    any = true;
    std::exception_ptr err;
    try {
      call.method();
    } catch (...) {
      err = std::current_exception();
    }
    if (call.done) {
      std::lock_guard<std::mutex> lock(*call.mu);
      *call.error = err;
      *call.done = true;
      call.cv->notify_all();
    } else if (err) {
      std::rethrow_exception(err);
    }
  }
  return any;
}

bool TThread::SynchronizePending() {
  std::lock_guard<std::mutex> lock(State().mu);
  return !State().queue.empty();
}

void TThread::WaitForSyncSignal(int timeoutMs) {
  SyncState& s = State();
  std::unique_lock<std::mutex> lock(s.mu);
  if (!s.queue.empty()) return;
  unsigned gen = s.generation;
  auto pred = [&] { return s.generation != gen || !s.queue.empty(); };
  if (timeoutMs < 0)
    s.signal.wait(lock, pred);
  else
    s.signal.wait_for(lock, std::chrono::milliseconds(timeoutMs), pred);
}

void TThread::Synchronize(TThread* /*thread*/, const TThreadMethod& method) {
  if (IsMainThread()) {
    method();
    return;
  }
  std::mutex mu;
  std::condition_variable cv;
  bool done = false;
  std::exception_ptr error;
  Enqueue(SyncCall{method, &mu, &cv, &done, &error});
  std::unique_lock<std::mutex> lock(mu);
  cv.wait(lock, [&] { return done; });
  if (error) std::rethrow_exception(error);
}

void TThread::Synchronize(const TThreadMethod& method) { Synchronize(this, method); }

void TThread::Queue(const TThreadMethod& method) { Enqueue(SyncCall{method}); }

// ---------------------------------------------------------------------------
TThread::TThread(bool createSuspended) : alive_(std::make_shared<std::atomic<bool>>(true)) {
  if (!createSuspended) {
    std::weak_ptr<std::atomic<bool>> alive = alive_;
    Enqueue(SyncCall{[this, alive] {
      auto a = alive.lock();
      if (a && *a && !started_) Start();
    }});
  }
}

TThread::~TThread() {
  *alive_ = false;
  if (started_ && !finished_) {
    Terminate();
    WaitFor();
  }
  if (thread_.joinable()) {
    if (thread_.get_id() == std::this_thread::get_id())
      thread_.detach();  // freed by itself on termination
    else
      thread_.join();
  }
}

void TThread::Start() {
  std::lock_guard<std::mutex> lock(mu_);
  if (started_) return;
  started_ = true;
  thread_ = std::thread([this] { Run(); });
}

void TThread::Resume() { Start(); }

void TThread::Suspend() {
  if (started_) throw EThread("A running thread cannot be suspended");
}

void TThread::Run() {
  thread_id_ = static_cast<DWORD>(::syscall(SYS_gettid));
  try {
    Execute();
  } catch (const std::exception& e) {
    had_fatal_ = true;
    fatal_message_ = e.what();
  } catch (...) {
    had_fatal_ = true;
  }
  try {
    DoTerminate();
  } catch (...) {
    // An OnTerminate handler's fault must not take the worker down with it.
  }
  bool selfFree = free_on_terminate_;
  {
    std::lock_guard<std::mutex> lock(mu_);
    finished_ = true;
  }
  cv_.notify_all();
  Signal();
  if (selfFree) delete this;
}

void TThread::DoTerminate() {
  if (OnTerminate) Synchronize([this] { OnTerminate(this); });
}

int TThread::WaitFor() {
  if (free_on_terminate_) throw EThread("Cannot wait for a thread that frees itself");
  if (!started_) Start();
  if (thread_.get_id() == std::this_thread::get_id())
    throw EThread("A thread cannot wait for itself");
  if (IsMainThread()) {
    while (!finished_) {
      CheckSynchronize();
      if (finished_) break;
      WaitForSyncSignal(100);
    }
    // Anything the thread queued just before it ended still runs.
    CheckSynchronize();
  } else {
    std::unique_lock<std::mutex> lock(mu_);
    cv_.wait(lock, [this] { return finished_.load(); });
  }
  if (thread_.joinable()) thread_.join();
  return return_value_;
}
