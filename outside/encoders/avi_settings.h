// What IAVIEncode is told before Start, the list of video codecs it offers, and
// how that becomes an encoding session's configuration.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "encoding_session.h"

namespace outside {

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
  AVRational displayAspect{0, 1};  // of the title being read; 0/1 leaves pixels square
};

// One entry of the AVI encoder's codec list.
struct AviCodec {
  int id;
  const char* name;     // what the user sees
  const char* encoder;  // libavcodec encoder name
  const char* fourcc;   // tag written into the AVI, null for libavformat's default
  int kbps;             // mean picture rate at 720x576, scaled with the picture area; 0 lossless
};

// The mean picture rate in bit/s a codec gets for pictures of width x height; 0 for lossless codecs.
std::int64_t DefaultAviBitRate(const AviCodec& codec, int width, int height);

// The codecs of the list that this libavcodec can encode, in list order.
const std::vector<AviCodec>& AvailableAviCodecs();

// Checks the settings against the codec list and the MP3 limits and fills *config.
Status BuildAviConfig(const AviSettings& s, SessionConfig* config);

}  // namespace outside
