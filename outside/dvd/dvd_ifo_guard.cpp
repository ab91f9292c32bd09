#include "dvd_ifo_guard.h"

#include "dvd_disc.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <map>
#include <mutex>
#include <span>
#include <tuple>
#include <vector>

// Set by AddressSanitizer's runtime when there is one (libFuzzer hangs its crash report on
// it); absent otherwise.
extern "C" void __sanitizer_set_death_callback(void (*callback)()) __attribute__((weak));

namespace outside {

namespace {

constexpr std::uint64_t kSector = 2048;
constexpr std::uint64_t kLargestIfo = 64u << 20;  // far more than any disc's IFO file holds

auto Key(const FileIdentity& f) {
  return std::tie(f.device, f.inode, f.size, f.modified.tv_sec, f.modified.tv_nsec, f.changed.tv_sec,
                  f.changed.tv_nsec);
}

std::string Lower(std::string s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return s;
}

// Big-endian fields of an IFO file; a field past the end reads as "damaged".
class IfoBytes {
 public:
  explicit IfoBytes(std::vector<std::uint8_t> d) : d_(std::move(d)) {}
  std::uint64_t size() const { return d_.size(); }
  std::uint64_t U8(std::uint64_t at) const { return at < d_.size() ? d_[at] : 0; }
  std::uint64_t U16(std::uint64_t at) const { return U8(at) << 8 | U8(at + 1); }
  std::uint64_t U32(std::uint64_t at) const { return U16(at) << 16 | U16(at + 2); }
  bool Starts(const char* id) const {
    for (std::size_t i = 0; id[i]; ++i)
      if (i >= d_.size() || d_[i] != static_cast<std::uint8_t>(id[i])) return false;
    return true;
  }

 private:
  std::vector<std::uint8_t> d_;
};

// A table that starts at `start` and whose header gives its last byte; it ends there or at
// `end`, whichever comes first.
std::uint64_t TableEnd(const IfoBytes& f, std::uint64_t start, std::uint64_t end) {
  return std::min(end, start + f.U32(start + 4) + 1);
}

// One program chain at `at`: its header, command table, program map and cell tables must
// all lie before `end`.
std::string CheckPgc(const IfoBytes& f, std::uint64_t at, std::uint64_t end, const char* table) {
  const std::string damaged = std::string("a program chain of its ") + table + " ";
  if (at + 236 > end) return damaged + "lies past the end of the table";
  const std::uint64_t programs = f.U8(at + 2), cells = f.U8(at + 3);
  const std::uint64_t commands = f.U16(at + 0xE4), map = f.U16(at + 0xE6), playback = f.U16(at + 0xE8),
                      position = f.U16(at + 0xEA);
  if (commands) {
    const std::uint64_t c = at + commands;
    if (c + 8 > end || c + 8 + 8 * (f.U16(c) + f.U16(c + 2) + f.U16(c + 4)) > end)
      return damaged + "has a command table past the end of the table";
  }
  if (programs > cells) return damaged + "has more programs than cells";
  if (programs && (!map || at + map + programs > end)) return damaged + "has a program map past the end of the table";
  if (cells && (!playback || at + playback + 24 * cells > end || !position || at + position + 4 * cells > end))
    return damaged + "has a cell table past the end of the table";
  return {};
}

// A table of program chains (the titles' or one menu language's).
std::string CheckPgcTable(const IfoBytes& f, std::uint64_t start, std::uint64_t end, const char* table) {
  if (start + 8 > end) return std::string("its ") + table + " lies past the end of the file";
  const std::uint64_t tableEnd = TableEnd(f, start, end);
  const std::uint64_t count = f.U16(start);
  if (start + 8 + 8 * count > tableEnd) return std::string("its ") + table + " is cut short";
  for (std::uint64_t i = 0; i < count; ++i)
    if (std::string why = CheckPgc(f, start + f.U32(start + 8 + 8 * i + 4), tableEnd, table); !why.empty())
      return why;
  return {};
}

// The menus: one program chain table per language.
std::string CheckMenus(const IfoBytes& f, std::uint64_t start, std::uint64_t end) {
  if (start + 8 > end) return "its menu table lies past the end of the file";
  const std::uint64_t tableEnd = TableEnd(f, start, end);
  const std::uint64_t languages = f.U16(start);
  if (start + 8 + 8 * languages > tableEnd) return "its menu table is cut short";
  for (std::uint64_t i = 0; i < languages; ++i)
    if (std::string why = CheckPgcTable(f, start + f.U32(start + 8 + 8 * i + 4), tableEnd, "menu table");
        !why.empty())
      return why;
  return {};
}

// What a file that is not a regular file is, for error texts; "" for a regular file.
std::string KindOf(mode_t mode) {
  if (S_ISREG(mode)) return {};
  if (S_ISFIFO(mode)) return "a named pipe";
  if (S_ISCHR(mode) || S_ISBLK(mode)) return "a device";
  if (S_ISDIR(mode)) return "a folder";
  if (S_ISSOCK(mode)) return "a socket";
  return "a special file";
}

// The whole of an open IFO file, or why it cannot be had.
std::string ReadIfo(int fd, std::vector<std::uint8_t>* bytes) {
  struct stat st {};
  if (::fstat(fd, &st) != 0) return "it cannot be read";
  if (!S_ISREG(st.st_mode)) return "it is " + KindOf(st.st_mode) + ", not a file";
  const auto length = static_cast<std::uint64_t>(st.st_size);
  if (length < kSector) return "it is shorter than one sector";
  if (length > kLargestIfo) return "it is far larger than an IFO file can be";
  bytes->resize(length);
  for (std::uint64_t got = 0; got < length;) {
    const ssize_t n = ::read(fd, bytes->data() + got, length - got);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return "it cannot be read";
    got += static_cast<std::uint64_t>(n);
  }
  return {};
}

}  // namespace

bool FileIdentity::operator<(const FileIdentity& o) const { return Key(*this) < Key(o); }

FileIdentity IdentityOf(const std::string& path) {
  FileIdentity id;
  struct stat st {};
  if (path.empty() || ::stat(path.c_str(), &st) != 0) return id;
  id.device = st.st_dev;
  id.inode = st.st_ino;
  id.size = st.st_size;
  id.modified = st.st_mtim;
  id.changed = st.st_ctim;
  return id;
}

ProbeEnd RunIsolated(const std::function<bool()>& probe, int timeLimitMs) {
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC) != 0)
    throw DvdError("The DVD's files cannot be checked: the system refuses to open a pipe.");
  const pid_t pid = ::fork();
  if (pid < 0) {
    ::close(fds[0]);
    ::close(fds[1]);
    throw DvdError("The DVD's files cannot be checked: the system refuses to start a process.");
  }
  if (pid == 0) {
    ::close(fds[0]);
    // A crash here is expected and answered by the parent: no crash handler of the
    // program (or of a sanitizer) is to run for it.
    for (int sig : {SIGSEGV, SIGBUS, SIGABRT, SIGFPE, SIGILL}) ::signal(sig, SIG_DFL);
    // A sanitizer's report of the crash would run it too: under a fuzzer that would file
    // the input as a crash of the fuzzing process.
    if (__sanitizer_set_death_callback) __sanitizer_set_death_callback(nullptr);
    const int null = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
    if (null >= 0) ::dup2(null, STDERR_FILENO);
    char answer = 'P';
    try {
      if (!probe()) answer = 'R';
    } catch (...) {
      // A refusal with a reason is no crash: the parent meets the same reason.
    }
    const bool told = ::write(fds[1], &answer, 1) == 1;
    ::_exit(told ? 0 : 1);  // no exit handlers or flushes of the parent's state
  }
  ::close(fds[1]);
  ProbeEnd end = ProbeEnd::TimedOut;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeLimitMs);
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) break;
    pollfd p{fds[0], POLLIN, 0};
    const int ready = ::poll(&p, 1, static_cast<int>(left.count()));
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) break;
    char answer = 0;
    const ssize_t got = ::read(fds[0], &answer, 1);
    if (got < 0 && errno == EINTR) continue;
    end = got != 1 ? ProbeEnd::Died : answer == 'P' ? ProbeEnd::Passed : answer == 'R' ? ProbeEnd::Refused : ProbeEnd::Died;
    break;
  }
  ::close(fds[0]);
  if (end == ProbeEnd::TimedOut) ::kill(pid, SIGKILL);
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  return end;
}

std::string SpecialFileKind(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return {};
  return KindOf(st.st_mode);
}

std::string CheckIfoFile(const std::string& path) {
  // Not blocking: opening a named pipe for reading would wait for a writer.
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return "it cannot be opened";
  std::vector<std::uint8_t> bytes;
  const std::string problem = ReadIfo(fd, &bytes);
  ::close(fd);
  if (!problem.empty()) return problem;
  const IfoBytes f(std::move(bytes));

  const bool vmg = f.Starts("DVDVIDEO-VMG");
  if (!vmg && !f.Starts("DVDVIDEO-VTS")) return "it does not start as an IFO file does";
  const std::uint64_t claimed = f.U32(0x1C) + 1;
  if (claimed * kSector > f.size())
    return "it claims " + std::to_string(claimed) + " sectors but holds " + std::to_string(f.size() / kSector);
  // The tables are bounded by what the file holds: a claim that falls short is harmless.
  const std::uint64_t sectors = f.size() / kSector;
  const std::uint64_t end = f.size();

  struct Table {
    std::uint64_t field;
    const char* name;
  };
  static const Table kVmgTables[] = {{0xC4, "title table"},        {0xC8, "menu table"},
                                     {0xCC, "parental table"},     {0xD0, "title set table"},
                                     {0xD4, "text table"},         {0xD8, "menu cell table"},
                                     {0xDC, "menu unit map"}};
  static const Table kVtsTables[] = {{0xC8, "chapter table"},   {0xCC, "program chain table"},
                                     {0xD0, "menu table"},      {0xD4, "time map table"},
                                     {0xD8, "menu cell table"}, {0xDC, "menu unit map"},
                                     {0xE0, "cell table"},      {0xE4, "unit map"}};
  for (const Table& t : vmg ? std::span<const Table>(kVmgTables) : std::span<const Table>(kVtsTables))
    if (f.U32(t.field) >= sectors) return std::string("its ") + t.name + " lies past the end of the file";
  // Tables whose claimed length libdvdread takes in one allocation: a claim past the end of
  // the file would cost gigabytes for a few damaged bytes. (The unit maps give their last
  // byte first, the others after two counts.)
  struct Claim {
    std::uint64_t field, lastByte;
    const char* name;
  };
  static const Claim kVmgClaims[] = {{0xC4, 4, "title table"}, {0xD8, 4, "menu cell table"},
                                     {0xDC, 0, "menu unit map"}};
  static const Claim kVtsClaims[] = {{0xC8, 4, "chapter table"}, {0xD8, 4, "menu cell table"},
                                     {0xDC, 0, "menu unit map"}, {0xE0, 4, "cell table"},
                                     {0xE4, 0, "unit map"}};
  for (const Claim& c : vmg ? std::span<const Claim>(kVmgClaims) : std::span<const Claim>(kVtsClaims))
    if (const std::uint64_t at = f.U32(c.field) * kSector; at && at + f.U32(at + c.lastByte) >= end)
      return std::string("its ") + c.name + " claims more bytes than the file holds";

  if (const std::uint64_t menus = f.U32(vmg ? 0xC8 : 0xD0) * kSector; menus)
    if (std::string why = CheckMenus(f, menus, end); !why.empty()) return why;
  if (vmg) {
    const std::uint64_t titles = f.U32(0xC4) * kSector;
    if (!titles) return "it has no title table";
    if (titles + 8 + 12 * f.U16(titles) > TableEnd(f, titles, end)) return "its title table is cut short";
    if (const std::uint64_t firstPlay = f.U32(0x84); firstPlay)
      if (std::string why = CheckPgc(f, firstPlay, end, "first play"); !why.empty()) return why;
    return {};
  }
  const std::uint64_t chapters = f.U32(0xC8) * kSector, chains = f.U32(0xCC) * kSector;
  if (!chapters || !chains) return "it has no chapter or program chain table";
  const std::uint64_t chaptersEnd = TableEnd(f, chapters, end);
  const std::uint64_t titles = f.U16(chapters);
  if (chapters + 8 + 4 * titles > chaptersEnd) return "its chapter table is cut short";
  for (std::uint64_t i = 0; i < titles; ++i)
    if (chapters + f.U32(chapters + 8 + 4 * i) > chaptersEnd) return "its chapter table is cut short";
  return CheckPgcTable(f, chains, end, "program chain table");
}

std::string FindDiscFile(const std::string& videoTs, const std::string& name) {
  DIR* dir = ::opendir(videoTs.c_str());
  if (!dir) return {};
  std::string found;
  const std::string want = Lower(name);
  while (const dirent* e = ::readdir(dir))
    if (Lower(e->d_name) == want) {
      found = videoTs + "/" + e->d_name;
      break;
    }
  ::closedir(dir);
  return found;
}

std::string TimedOutText(const std::string& what, int timeLimitMs) {
  const int seconds = timeLimitMs / 1000;
  return what + " could not be read within " +
         (seconds > 0 ? std::to_string(seconds) + " seconds" : std::to_string(timeLimitMs) + " milliseconds") +
         ": the disc is damaged or the drive does not answer.";
}

bool GuardIfoSet(const std::string& videoTs, const std::string& base, const std::string& what,
                 const std::function<bool()>& parse, Deadline deadline) {
  const std::string ifo = FindDiscFile(videoTs, base + ".IFO"), bup = FindDiscFile(videoTs, base + ".BUP");
  if (ifo.empty() && bup.empty()) return false;  // missing: the caller says so
  // libdvdread opens the backup copy when the IFO fails: neither may be a pipe or a device.
  for (const std::string& file : {ifo, bup})
    if (const std::string kind = file.empty() ? "" : SpecialFileKind(file); !kind.empty())
      throw DvdError(what + " cannot be read: " + file.substr(file.find_last_of('/') + 1) + " is " + kind +
                     ", not a file.");
  // libdvdread falls back to the backup copy: one sound file of the two is enough.
  const std::string ifoProblem = ifo.empty() ? "it is missing" : CheckIfoFile(ifo);
  if (!ifoProblem.empty()) {
    const std::string bupProblem = bup.empty() ? "it is missing" : CheckIfoFile(bup);
    if (!bupProblem.empty()) throw DvdError(what + " is damaged (" + ifoProblem + "); it cannot be read.");
  }

  // Never destroyed: a worker given up on may still come here while the program ends.
  struct Verdicts {
    std::mutex lock;
    std::map<std::pair<FileIdentity, FileIdentity>, ProbeEnd> ends;
  };
  static Verdicts* const verdicts = new Verdicts;
  const auto key = std::make_pair(IdentityOf(ifo), IdentityOf(bup));
  ProbeEnd end = ProbeEnd::TimedOut;
  {
    std::lock_guard<std::mutex> hold(verdicts->lock);
    if (auto it = verdicts->ends.find(key); it != verdicts->ends.end()) end = it->second;
  }
  if (end == ProbeEnd::TimedOut) {
    // The child ends a little before the caller stops waiting, so that its time-out is
    // reported as such and the worker stays usable.
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now() - std::chrono::milliseconds(250));
    if (left.count() > 0) end = RunIsolated(parse, static_cast<int>(left.count()));
    // A time-out may be a slow drive: not kept, the next open tries again.
    if (end != ProbeEnd::TimedOut) {
      std::lock_guard<std::mutex> hold(verdicts->lock);
      verdicts->ends[key] = end;
    }
  }
  switch (end) {
    case ProbeEnd::Passed: return true;
    case ProbeEnd::Refused: return false;
    case ProbeEnd::Died:
      throw DvdError(what + " is damaged so badly that the DVD library fails on it; it cannot be read.");
    case ProbeEnd::TimedOut: break;
  }
  throw DvdError(TimedOutText(what));
}

DiscWorker::DiscWorker(int timeLimitMs)
    : limit_(timeLimitMs), queue_(std::make_shared<Queue>()), thread_(Serve, queue_) {}

DiscWorker::~DiscWorker() {
  {
    std::lock_guard<std::mutex> hold(queue_->lock);
    queue_->quit = true;
  }
  queue_->changed.notify_all();
  bool ended = false;
  if (stuck_.empty()) {
    std::unique_lock<std::mutex> hold(queue_->lock);
    ended = queue_->changed.wait_for(hold, limit_, [&] { return queue_->ended; });
  }
  // A thread stuck in a read keeps the queue (and the tasks' handles) and ends by itself.
  if (ended) thread_.join();
  else thread_.detach();
}

void DiscWorker::Post(std::function<void()> task) { Enqueue(std::move(task)); }

void DiscWorker::Enqueue(std::function<void()> task) {
  {
    std::lock_guard<std::mutex> hold(queue_->lock);
    queue_->tasks.push_back(std::move(task));
  }
  queue_->changed.notify_all();
}

void DiscWorker::Serve(const std::shared_ptr<Queue>& queue) {
  std::unique_lock<std::mutex> hold(queue->lock);
  for (;;) {
    queue->changed.wait(hold, [&] { return queue->quit || !queue->tasks.empty(); });
    if (queue->tasks.empty()) break;
    std::function<void()> task = std::move(queue->tasks.front());
    queue->tasks.pop_front();
    hold.unlock();
    try {
      task();
    } catch (...) {
      // A posted task has no one to tell; a call's failure travels in its future.
    }
    task = nullptr;  // what it held goes now, outside the lock
    hold.lock();
  }
  queue->ended = true;
  queue->changed.notify_all();
}

}  // namespace outside
