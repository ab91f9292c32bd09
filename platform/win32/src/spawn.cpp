#include "spawn.h"

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <thread>

extern char** environ;

namespace qwin32 {

pid_t Spawn(const std::vector<std::string>& argv, const char* dir, int* captureFd) {
  if (argv.empty()) {
    errno = EINVAL;
    return -1;
  }
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);

  int pipeFds[2] = {-1, -1};
  if (captureFd != nullptr && pipe2(pipeFds, O_CLOEXEC) != 0) return -1;

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  if (captureFd != nullptr)
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 1);
  else
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  if (dir != nullptr && dir[0] != '\0') posix_spawn_file_actions_addchdir_np(&actions, dir);

  pid_t pid = -1;
  int rc = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (captureFd != nullptr) {
    close(pipeFds[1]);
    if (rc == 0)
      *captureFd = pipeFds[0];
    else
      close(pipeFds[0]);
  }
  if (rc != 0) {
    errno = rc;
    return -1;
  }
  return pid;
}

void ReapLater(pid_t pid) {
  std::thread([pid] {
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
  }).detach();
}

std::optional<int> WaitFor(pid_t pid, std::chrono::milliseconds timeout) {
  auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    int status = 0;
    pid_t r = waitpid(pid, &status, WNOHANG);
    if (r == pid) {
      if (WIFEXITED(status)) return WEXITSTATUS(status);
      return std::nullopt;
    }
    if (r < 0 && errno != EINTR) return std::nullopt;
    if (std::chrono::steady_clock::now() >= deadline) {
      ReapLater(pid);
      return std::nullopt;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

std::optional<std::string> RunAndCapture(const std::vector<std::string>& argv,
                                         std::chrono::milliseconds timeout) {
  int fd = -1;
  pid_t pid = Spawn(argv, nullptr, &fd);
  if (pid < 0) return std::nullopt;
  std::string out;
  auto deadline = std::chrono::steady_clock::now() + timeout;
  char buf[4096];
  for (;;) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) break;
    pollfd p{fd, POLLIN, 0};
    int pr = poll(&p, 1, static_cast<int>(left.count()));
    if (pr < 0 && errno == EINTR) continue;
    if (pr <= 0) break;
    ssize_t n = read(fd, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    out.append(buf, static_cast<size_t>(n));
  }
  close(fd);
  auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
  std::optional<int> code = WaitFor(pid, std::max(left, std::chrono::milliseconds(0)));
  if (!code || *code != 0) return std::nullopt;
  return out;
}

}  // namespace qwin32
