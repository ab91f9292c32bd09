// QuillIfoCheck: the first parse of one IFO set of a disc, run by the DVD servers in a
// process of its own (see RunIsolated and GuardIfoSet) because libdvdread may crash or
// hang on a damaged disc. Started afresh rather than forked, so that no lock another
// thread of the servers' process held can stop it.
//   QuillIfoCheck <disc folder> <set> [<set,title,angles,chapters>...]
// Its verdict is one byte on standard output: 'P' when the parse passed (or failed with a
// reason), 'R' when libdvdread refused the set. Dying or hanging is the other verdict.
#include "dvd_disc.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <stdexcept>
#include <string>
#include <vector>

int main(int argc, char** argv) {
  // The verdict goes out on a descriptor of its own, and the standard output becomes
  // /dev/null: nothing libdvdread might print there can pass for a verdict.
  const int verdict = ::fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, STDERR_FILENO + 1);
  const int null = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
  if (verdict < 0 || null < 0 || ::dup2(null, STDOUT_FILENO) < 0) {
    std::fprintf(stderr, "%s: the standard output cannot be set aside\n", argv[0]);
    return 2;
  }
  bool passed = false;
  try {
    passed = outside::DvdDisc::Probe(std::vector<std::string>(argv + 1, argv + argc));
  } catch (const std::invalid_argument& e) {
    std::fprintf(stderr, "%s: %s\n", argv[0], e.what());
    return 2;
  }
  const char answer = passed ? 'P' : 'R';
  // No exit handlers: nothing of libdvdread's state needs them, and a damaged disc may
  // have left it in a state they would trip over.
  ::_exit(::write(verdict, &answer, 1) == 1 ? 0 : 1);
}
