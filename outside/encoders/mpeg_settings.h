// What IMpegEnc is told before Start, and how the VCD and SVCD rules make an
// encoding session's configuration of it.
#pragma once

#include <string>

#include "encoding_session.h"

namespace outside {

struct MpegSettings {
  std::string path;
  int videoFormat = 1;    // SetParameter10: 1 MPEG-1 (VCD), 3 MPEG-2 (SVCD)
  int muxFormat = 1;      // SetParameter12: 1 VCD, 3 SVCD
  int width = 352;
  int height = 288;
  int interlaced = 0;     // SetParameter22
  int bufferUnits = 20;   // SetParameter26, units of 16 kbit (a VCD's)
  double frameRate = 25.0;
  int videoKbps = 0;      // SetParameter32, highest mean; 0 = the SVCD's usual 2040
  int maxVideoKbps = 0;   // SetParameter34, 0 = the target's limit
  double maxMuxMbps = 0;  // SetParameter42, 0 = no limit of its own
  int closedGop = 1;      // SetParameter44
  int sampleRate = 44100; // rate of the sound handed in with each picture
  AVRational displayAspect{4, 3};  // of the title being read, when one is open
};

// Checks the settings against the VCD or SVCD rules and fills *config.
Status BuildMpegConfig(const MpegSettings& s, SessionConfig* config);

}  // namespace outside
