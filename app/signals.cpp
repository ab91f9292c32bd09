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

int g_pipe[2] = {-1, -1};
std::atomic<int> g_first{0};
std::thread g_watcher;
struct sigaction g_previous[kCount];
bool g_caught[kCount] = {};

void Handler(int sig) {
  // Only what a signal handler may do: one write, errno kept for the interrupted code.
  const int saved = errno;
  const unsigned char byte = static_cast<unsigned char>(sig);
  const ssize_t written = write(g_pipe[1], &byte, 1);
  (void)written;  // a full pipe already holds a signal for the watcher
  errno = saved;
}

void Watch(std::function<void(int)> onSignal) {
  for (;;) {
    unsigned char byte = 0;
    const ssize_t n = read(g_pipe[0], &byte, 1);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;  // the write end was closed: the program ends
    int none = 0;
    if (!g_first.compare_exchange_strong(none, byte)) continue;
    const int sig = byte;
    TThread::Queue([onSignal, sig] { onSignal(sig); });
  }
}

}  // namespace

void InstallSignalHandling(std::function<void(int)> onSignal) {
  signal(SIGXFSZ, SIG_IGN);
  if (g_pipe[0] >= 0) return;
  if (pipe2(g_pipe, O_CLOEXEC) != 0) {
    g_pipe[0] = g_pipe[1] = -1;
    return;  // without a pipe the signals keep their default action
  }
  fcntl(g_pipe[1], F_SETFL, O_NONBLOCK);
  g_first = 0;
  g_watcher = std::thread(Watch, std::move(onSignal));
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
  if (g_pipe[0] < 0) return;
  for (int i = 0; i < kCount; ++i)
    if (g_caught[i]) {
      sigaction(kSignals[i], &g_previous[i], nullptr);
      g_caught[i] = false;
    }
  close(g_pipe[1]);
  if (g_watcher.joinable()) g_watcher.join();
  close(g_pipe[0]);
  g_pipe[0] = g_pipe[1] = -1;
}
