// Starting helper programs without a shell (internal to the library).
#pragma once

#include <sys/types.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace qwin32 {

// Starts argv[0], looked up in PATH, with stdin and stdout on /dev/null (stdout kept in
// a pipe when capture is given). dir, when not null, is the child's working folder.
// Returns the child's id, or -1 with errno set.
pid_t Spawn(const std::vector<std::string>& argv, const char* dir, int* captureFd = nullptr);

// Collects the child's exit status in the background so it leaves no zombie.
void ReapLater(pid_t pid);

// Waits at most timeout for the child; its exit code, or nothing if it did not end in
// time (it is then reaped later) or did not exit normally.
std::optional<int> WaitFor(pid_t pid, std::chrono::milliseconds timeout);

// Runs the program, returns its standard output when it exits with code 0.
std::optional<std::string> RunAndCapture(const std::vector<std::string>& argv,
                                         std::chrono::milliseconds timeout);

}  // namespace qwin32
