// Reads of one file that do not return until the test lets them go, as on a dead drive or
// a hung network mount. The test program must export its symbols (ENABLE_EXPORTS): its own
// read() then comes before the C library's for every library, libdvdread's included.
#pragma once

#include <string>

namespace outsidetest {

// From now on every read of the file at `path`, on whatever descriptor, waits until
// ReleaseReads. False when there is no such file.
bool HoldReads(const std::string& path);
// Lets the held reads go (they fail with EIO); reads of the file are no longer held.
void ReleaseReads();
// How many reads are waiting now.
int HeldReads();

}  // namespace outsidetest
