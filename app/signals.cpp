#include "signals.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <thread>

#include <vcl/classes.h>

namespace {

constexpr int kSignals[] = {SIGTERM, SIGHUP, SIGINT};
constexpr int kCount = sizeof kSignals / sizeof kSignals[0];

volatile sig_atomic_t g_writeEnd = -1;
std::atomic<int> g_first{0};
struct sigaction g_previous[kCount];
bool g_caught[kCount] = {};

void Handler(int sig) {
  // Only what a signal handler may do: one write, errno kept for the interrupted code.
  const int saved = errno;
  const unsigned char byte = static_cast<unsigned char>(sig);
  const ssize_t written = write(g_writeEnd, &byte, 1);
  (void)written;  // a full pipe already holds a signal for the watcher
  errno = saved;
}

// Runs detached, so that a program ending in any way never finds it to join; it ends
// when the write end is closed.
void Watch(int readEnd, std::function<void(int)> onSignal) {
  for (;;) {
    unsigned char byte = 0;
    const ssize_t n = read(readEnd, &byte, 1);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    int none = 0;
    if (!g_first.compare_exchange_strong(none, byte)) continue;
    const int sig = byte;
    TThread::Queue([onSignal, sig] { onSignal(sig); });
  }
  close(readEnd);
}

}  // namespace

void InstallSignalHandling(std::function<void(int)> onSignal) {
  signal(SIGXFSZ, SIG_IGN);
  if (g_writeEnd >= 0) return;
  int ends[2];
  if (pipe2(ends, O_CLOEXEC) != 0) return;  // without a pipe the signals keep their default action
  fcntl(ends[1], F_SETFL, O_NONBLOCK);
  g_first = 0;
  g_writeEnd = ends[1];
  std::thread(Watch, ends[0], std::move(onSignal)).detach();
  for (int i = 0; i < kCount; ++i) {
    sigaction(kSignals[i], nullptr, &g_previous[i]);
    if (g_previous[i].sa_handler == SIG_IGN) continue;
    struct sigaction sa {};
    sa.sa_handler = Handler;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;  // the conversion's reads and writes must not see EINTR
    g_caught[i] = sigaction(kSignals[i], &sa, nullptr) == 0;
  }
}

int TerminationSignal() { return g_first.load(); }

void RemoveSignalHandling() {
  if (g_writeEnd < 0) return;
  // Ending on a signal, everything is stored by now: a later one must not turn the
  // exit into a death by signal.
  struct sigaction ignore {};
  ignore.sa_handler = SIG_IGN;
  for (int i = 0; i < kCount; ++i)
    if (g_caught[i]) {
      sigaction(kSignals[i], g_first.load() ? &ignore : &g_previous[i], nullptr);
      g_caught[i] = false;
    }
  const int end = g_writeEnd;
  g_writeEnd = -1;
  close(end);
}
