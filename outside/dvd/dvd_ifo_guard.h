// Keeping a damaged disc from taking the program down. libdvdread crashes on some damaged
// IFO files (bad table offsets and counts) and cannot be mended here, so:
//  - the IFO files are checked first for what can be checked cheaply: their size against
//    the sectors they claim, and every table and program chain lying inside its file;
//  - the first parse of an IFO set runs in a short-lived process with a time limit: the
//    IFO checking program installed beside the servers, started afresh (a forked copy of
//    this process, whose other threads may hold the locks of malloc, stdio or libdvdread,
//    could hang in them); only sets that passed are parsed in this process;
//  - the verdict is kept per file identity, so a disc costs one probe per IFO set;
//  - only regular files are read: a named pipe or a device in the disc folder would block
//    the first read of it for good;
//  - every access to the disc runs on a worker thread that the caller waits for at most a
//    time limit (see DiscWorker), so a dead drive or a hung network mount fails a call
//    instead of hanging the program.
#pragma once

#include "dvd_disc.h"

#include <chrono>
#include <condition_variable>
#include <ctime>
#include <deque>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>
#include <sys/types.h>

namespace outside {

// The identity of one file as the verdict cache sees it; a missing file has an empty one.
struct FileIdentity {
  dev_t device = 0;
  ino_t inode = 0;
  off_t size = -1;
  timespec modified{};
  timespec changed{};
  bool operator<(const FileIdentity& o) const;
};
FileIdentity IdentityOf(const std::string& path);

// How a probe run in a process of its own ended: it passed (its parse returned true or
// threw), was refused (its parse returned false), died or ran out of time.
enum class ProbeEnd { Passed, Refused, Died, TimedOut };

// Runs `command` (a program by its full path, then its arguments; never looked up on the
// PATH) in a new process and waits at most timeLimitMs for its verdict: one byte on its
// standard output, 'P' for passed and 'R' for refused. Anything else, or none, is a death;
// a program that runs out of time is killed. Its standard input and error are /dev/null: a
// crash is expected there and reported by the caller. Throws DvdError when the program
// cannot be started (a missing program among them), never guessing a verdict for it.
ProbeEnd RunIsolated(const std::vector<std::string>& command, int timeLimitMs);

// The name of the IFO checking program, and its full path: the folder of the file this
// code is linked into (the server library, or a program that links the reader) and that name.
inline constexpr const char kIfoCheckerName[] = "QuillIfoCheck";
const std::string& IfoCheckerPath();

// "" for a regular file (or a missing one: its reader says so), else what it is instead
// ("a named pipe"). Tells without opening it.
std::string SpecialFileKind(const std::string& path);

// Checks one IFO file ("VIDEO_TS.IFO", "VTS_01_0.BUP") before libdvdread reads it.
// Returns "" when the file looks sound, else why it is not ("its title table lies past
// the end of the file", "it is a named pipe, not a file").
std::string CheckIfoFile(const std::string& path);

// The file of the disc folder `videoTs` named `name`, found whatever the case of its
// letters; "" when there is none.
std::string FindDiscFile(const std::string& videoTs, const std::string& name);

// How long one access to the disc may take: a parse of an IFO set, one read of sectors.
inline constexpr int kDiscTimeLimitMs = 15000;

// "<what> could not be read within 15 seconds: ..." for an access that ran out of time.
std::string TimedOutText(const std::string& what, int timeLimitMs = kDiscTimeLimitMs);

// Opens IFO sets safely. `what` names the set in error texts ("VIDEO_TS.IFO",
// "the title set file VTS_01_0.IFO"), `probe` is the command (for RunIsolated) that runs
// the parse that will run in this process afterwards; its verdict is 'R' when libdvdread
// refuses the set. The probe must be done by `deadline`. Throws DvdError when the set must
// not be parsed here; returns false when libdvdread refused it in the probe, so that this
// process need not meet libdvdread's failure paths at all.
bool GuardIfoSet(const std::string& videoTs, const std::string& base, const std::string& what,
                 const std::vector<std::string>& probe, Deadline deadline);

// The thread that does all of one disc's input and output. A read of a dead drive or of a
// hung network mount can stay in the kernel for good, where no thread can be interrupted;
// so the caller waits for each call at most the time limit and then gives it up: the call
// fails, and the thread is left to end alone whenever its read returns, with everything
// its tasks hold. Tasks must therefore own what they use (copies, shared buffers, handles
// that only later tasks of the same worker close), never point into their caller.
// libdvdread's handles are only ever used on the thread, one task at a time.
class DiscWorker {
 public:
  explicit DiscWorker(int timeLimitMs = kDiscTimeLimitMs);
  // Waits (at most the time limit) for the tasks still queued, or leaves a stuck thread.
  ~DiscWorker();
  DiscWorker(const DiscWorker&) = delete;
  DiscWorker& operator=(const DiscWorker&) = delete;

  // Runs task(deadline) on the thread and returns what it returns, or throws what it
  // throws. A task not done by the deadline is given up: Call throws
  // DvdError(TimedOutText(what)), and every later call throws the same at once.
  template <class Task>
  auto Call(Task task, const std::string& what) -> decltype(task(Deadline{}));
  // Queues task behind the others without waiting for it (closing handles).
  void Post(std::function<void()> task);

 private:
  struct Queue;
  void Enqueue(std::function<void()> task);
  static void Serve(const std::shared_ptr<Queue>& queue);

  std::chrono::milliseconds limit_;
  std::shared_ptr<Queue> queue_;
  std::thread thread_;
  std::string stuck_;  // the failure of the call that was given up
};

struct DiscWorker::Queue {
  std::mutex lock;
  std::condition_variable changed;
  std::deque<std::function<void()>> tasks;
  bool quit = false;
  bool ended = false;
};

template <class Task>
auto DiscWorker::Call(Task task, const std::string& what) -> decltype(task(Deadline{})) {
  using Result = decltype(task(Deadline{}));
  if (!stuck_.empty()) throw DvdError(stuck_);
  const Deadline deadline = std::chrono::steady_clock::now() + limit_;
  // Shared with the thread: a result that comes after the caller gave up is dropped there.
  auto job = std::make_shared<std::packaged_task<Result()>>(
      [task = std::move(task), deadline]() mutable { return task(deadline); });
  std::future<Result> result = job->get_future();
  Enqueue([job] { (*job)(); });
  if (result.wait_until(deadline) != std::future_status::ready) {
    stuck_ = TimedOutText(what, static_cast<int>(limit_.count()));
    throw DvdError(stuck_);
  }
  return result.get();
}

}  // namespace outside
