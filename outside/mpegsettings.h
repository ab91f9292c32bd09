// What IMpegEnc and IAVIEncode are told before Start, and how that becomes a
// session configuration.
#pragma once

#include <string>

#include "encsession.h"

namespace outside {

struct MpegSettings {
  std::string path;
  int videoFormat = 1;    // SetParameter10: 1 MPEG-1 (VCD), 3 MPEG-2 (SVCD)
  int muxFormat = 1;      // SetParameter12: 1 VCD, 3 SVCD
  int width = 352;
  int height = 288;
  int interlaced = 0;     // SetParameter22
  int bufferUnits = 20;   // SetParameter26, units of 16 kbit
  double frameRate = 25.0;
  int videoKbps = 0;      // SetParameter32, 0 = the target's usual rate
  int maxVideoKbps = 0;   // SetParameter34, 0 = the target's limit
  double maxMuxMbps = 0;  // SetParameter42, 0 = no limit of its own
  int closedGop = 1;      // SetParameter44
  int sampleRate = 44100; // rate of the sound handed in with each picture
};

// Checks the settings against the VCD or SVCD rules and fills *config.
Status BuildMpegConfig(const MpegSettings& s, SessionConfig* config);

struct AviSettings {
  std::string path;
  int codecId = -1;
  int width = 0;
  int height = 0;
  double frameRate = 25.0;
  int keySeconds = 1;       // SetParameter21
  int interleave = 1;       // SetParameter23
  int sampleRate = 44100;
  int lameKbps = 192;
  int lameQuality = 3;
};

// One entry of the AVI encoder's codec list.
struct AviCodec {
  int id;
  const char* name;     // what the user sees
  const char* encoder;  // libavcodec encoder name
  const char* fourcc;   // tag written into the AVI, null for libavformat's default
  int qscale;           // fixed quantiser, 0 when the encoder chooses by itself
};

// The codecs of the list that this libavcodec can encode, in list order.
const std::vector<AviCodec>& AvailableAviCodecs();

Status BuildAviConfig(const AviSettings& s, SessionConfig* config);

}  // namespace outside
