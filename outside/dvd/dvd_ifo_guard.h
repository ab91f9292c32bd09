// Keeping a damaged disc from taking the program down. libdvdread crashes on some damaged
// IFO files (bad table offsets and counts) and cannot be mended here, so:
//  - the IFO files are checked first for what can be checked cheaply: their size against
//    the sectors they claim, and every table and program chain lying inside its file;
//  - the first parse of an IFO set runs in a short-lived child process with a time limit;
//    only sets that passed are parsed in this process;
//  - the verdict is kept per file identity, so a disc costs one child per IFO set.
#pragma once

#include <ctime>
#include <functional>
#include <string>
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

// How a probe run in a child process ended: it returned true (or threw), returned false,
// died or ran out of time.
enum class ProbeEnd { Passed, Refused, Died, TimedOut };

// Runs probe in a forked child. The child's standard error is discarded: a crash is
// expected there and reported by the caller.
ProbeEnd RunIsolated(const std::function<bool()>& probe, int timeLimitMs);

// Checks one IFO file ("VIDEO_TS.IFO", "VTS_01_0.BUP") before libdvdread reads it.
// Returns "" when the file looks sound, else why it is not ("its title table lies past
// the end of the file").
std::string CheckIfoFile(const std::string& path);

// The file of the disc folder `videoTs` named `name`, found whatever the case of its
// letters; "" when there is none.
std::string FindDiscFile(const std::string& videoTs, const std::string& name);

// Opens IFO sets safely. `what` names the set in error texts ("VIDEO_TS.IFO",
// "the title set file VTS_01_0.IFO"), `parse` is the parse that will run in this process
// afterwards; it answers false when libdvdread refuses the set. Throws DvdError when the
// set must not be parsed here; returns false when libdvdread refused it in the child, so
// that this process need not meet libdvdread's failure paths at all.
bool GuardIfoSet(const std::string& videoTs, const std::string& base, const std::string& what,
                 const std::function<bool()>& parse);

// How long a child may take over one IFO set.
inline constexpr int kIfoTimeLimitMs = 15000;

}  // namespace outside
