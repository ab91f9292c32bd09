#include "dvd_ifo_guard.h"

#include "dvd_disc.h"

#include <dirent.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <link.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <map>
#include <mutex>
#include <span>
#include <tuple>
#include <vector>

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

ProbeEnd RunIsolated(const std::vector<std::string>& command, int timeLimitMs) {
  if (command.empty() || command.front().empty())
    throw DvdError("The DVD's files cannot be checked: no checking program is named.");
  const std::string& program = command.front();
  std::vector<char*> argv;
  for (const std::string& a : command) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);

  // Close-on-exec: a process another thread starts meanwhile must not keep the write end
  // open, or a probe that dies would look like one still at work. Both ends lie above the
  // standard descriptors, which the program's are set over.
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC) != 0)
    throw DvdError("The DVD's files cannot be checked: the system refuses to open a pipe.");
  for (int& fd : fds)
    if (fd <= STDERR_FILENO) {
      const int moved = ::fcntl(fd, F_DUPFD_CLOEXEC, STDERR_FILENO + 1);
      ::close(fd);
      fd = moved;
    }
  if (fds[0] < 0 || fds[1] < 0) {
    for (int fd : fds)
      if (fd >= 0) ::close(fd);
    throw DvdError("The DVD's files cannot be checked: the system refuses to open a pipe.");
  }
  posix_spawn_file_actions_t files;
  posix_spawnattr_t attributes;
  ::posix_spawn_file_actions_init(&files);
  ::posix_spawn_file_actions_addopen(&files, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  ::posix_spawn_file_actions_adddup2(&files, fds[1], STDOUT_FILENO);
  ::posix_spawn_file_actions_addopen(&files, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  // The program starts with no signal of this process's blocked, caught or ignored.
  ::posix_spawnattr_init(&attributes);
  sigset_t none, all;
  ::sigemptyset(&none);
  ::sigfillset(&all);
  ::posix_spawnattr_setsigmask(&attributes, &none);
  ::posix_spawnattr_setsigdefault(&attributes, &all);
  ::posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
  pid_t pid = -1;
  const int failed = ::posix_spawn(&pid, program.c_str(), &files, &attributes, argv.data(), environ);
  ::posix_spawnattr_destroy(&attributes);
  ::posix_spawn_file_actions_destroy(&files);
  ::close(fds[1]);
  if (failed) {
    ::close(fds[0]);
    const std::size_t slash = program.find_last_of('/');
    if (failed == ENOENT)
      throw DvdError("The DVD's files cannot be checked: the checking program " + program.substr(slash + 1) +
                     " is missing from " + (slash == std::string::npos ? "." : slash == 0 ? "/" : program.substr(0, slash)) +
                     "; the installation is incomplete.");
    if (failed == EACCES || failed == ENOEXEC)
      throw DvdError("The DVD's files cannot be checked: the checking program " + program + " cannot be run.");
    throw DvdError("The DVD's files cannot be checked: the system refuses to start " + program + " (" +
                   std::strerror(failed) + ").");
  }
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

const std::string& IfoCheckerPath() {
  static const std::string path = [] {
    // The file this function was loaded from: the server library, or a program (a test, a
    // fuzzer) that links the reader itself, whose link map has no name.
    std::string self;
    Dl_info info{};
    link_map* map = nullptr;
    if (::dladdr1(reinterpret_cast<void*>(&IfoCheckerPath), &info, reinterpret_cast<void**>(&map), RTLD_DL_LINKMAP) &&
        map && map->l_name && map->l_name[0])
      self = map->l_name;
    else
      self = "/proc/self/exe";
    char* real = ::realpath(self.c_str(), nullptr);
    if (real) {
      self = real;
      std::free(real);
    }
    const std::size_t slash = self.find_last_of('/');
    return (slash == std::string::npos ? std::string(".") : self.substr(0, slash)) + "/" + kIfoCheckerName;
  }();
  return path;
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
                 const std::vector<std::string>& probe, Deadline deadline) {
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
    // The probe ends a little before the caller stops waiting, so that its time-out is
    // reported as such and the worker stays usable.
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now() - std::chrono::milliseconds(250));
    if (left.count() > 0) end = RunIsolated(probe, static_cast<int>(left.count()));
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
