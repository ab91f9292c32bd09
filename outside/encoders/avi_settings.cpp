// The AVI encoder's codec list and how its settings become a session configuration.
#include <cmath>

extern "C" {
#include <libavcodec/avcodec.h>
}

#include "avi_settings.h"
#include "number_text.h"

namespace outside {

namespace {

// The usual FourCC names first, as users know them. Ids are fixed so that a
// stored choice keeps meaning the same codec. The rates are one-pass rates users of
// these codecs know for a DVD's pictures: about 1.5 Mbit/s for the MPEG-4 kind (a
// 700 MB CD for a film of two hours with its sound), 1 Mbit/s for H.264, which codes
// the same pictures in fewer bits.
constexpr AviCodec kCodecs[] = {
    {1, "DIVX MPEG-4", "mpeg4", "DX50", 1500},
    {2, "XVID MPEG-4", "libxvid", "XVID", 1500},
    {3, "H.264 (x264)", "libx264", "H264", 1000},
    {4, "MS MPEG-4 V3 (DIV3)", "msmpeg4", "DIV3", 1500},
    {5, "MS MPEG-4 V2 (MP42)", "msmpeg4v2", "MP42", 1500},
    {6, "Windows Media Video 8 (WMV2)", "wmv2", "WMV2", 1500},
    {7, "FFV1 lossless", "ffv1", "FFV1", 0},
    {8, "Huffyuv lossless", "huffyuv", "HFYU", 0},
};

constexpr double kDvdPictureArea = 720.0 * 576.0;

constexpr int kMp3Rates[] = {80, 96, 112, 128, 160, 192, 224, 256, 320};

}  // namespace

const std::vector<AviCodec>& AvailableAviCodecs() {
  static const std::vector<AviCodec> list = [] {
    std::vector<AviCodec> v;
    for (const AviCodec& c : kCodecs)
      if (avcodec_find_encoder_by_name(c.encoder)) v.push_back(c);
    return v;
  }();
  return list;
}

std::int64_t DefaultAviBitRate(const AviCodec& codec, int width, int height) {
  return std::llround(codec.kbps * 1000.0 * width * height / kDvdPictureArea);
}

Status BuildAviConfig(const AviSettings& s, SessionConfig* c) {
  const AviCodec* codec = nullptr;
  for (const AviCodec& k : AvailableAviCodecs())
    if (k.id == s.codecId) codec = &k;
  if (!codec)
    return Status::Fail(E_INVALIDARG, s.codecId < 0 ? std::string("No video codec has been chosen.")
                                                    : "The video codec " + std::to_string(s.codecId) +
                                                          " is not available on this system.");
  AVRational rate{};
  if (!FrameRateFromDouble(s.frameRate, &rate))
    return Status::Fail(E_INVALIDARG, "The frame rate " + NumberText(s.frameRate) + " is not valid.");
  if (s.keySeconds <= 0 || s.keySeconds > 60)
    return Status::Fail(E_INVALIDARG, "The key picture interval must be 1 to 60 seconds.");
  if (s.interleave <= 0 || s.interleave > 250)
    return Status::Fail(E_INVALIDARG, "The sound interleave must be 1 to 250 pictures.");
  bool known = false;
  for (int r : kMp3Rates) known = known || r == s.lameKbps;
  if (!known)
    return Status::Fail(E_INVALIDARG, "The MP3 bitrate " + std::to_string(s.lameKbps) +
                                          " kbit/s is not one of 80, 96, 112, 128, 160, 192, 224, 256, 320.");
  if (s.lameQuality < 1 || s.lameQuality > 8)
    return Status::Fail(E_INVALIDARG, "The MP3 quality must be 1 to 8, not " + std::to_string(s.lameQuality) + ".");
  if (s.sampleRate != 32000 && s.sampleRate != 44100 && s.sampleRate != 48000)
    return Status::Fail(E_INVALIDARG, "MP3 sound can not be written at " + std::to_string(s.sampleRate) + " Hz.");

  *c = SessionConfig{};
  c->path = s.path;
  c->muxer = "avi";
  const double pictureMicros = 1e6 * rate.den / rate.num;
  c->muxerOptions = {{"max_interleave_delta", std::to_string(std::llround(pictureMicros * s.interleave))}};
  c->input = SessionConfig::Input::Dib24BottomUp;
  c->videoEncoder = codec->encoder;
  if (std::string(codec->encoder) == "libx264") c->videoOptions = {{"preset", "medium"}};
  if (codec->fourcc)
    c->codecTag = MKTAG(codec->fourcc[0], codec->fourcc[1], codec->fourcc[2], codec->fourcc[3]);
  c->width = s.width;
  c->height = s.height;
  c->frameRate = rate;
  c->displayAspect = s.displayAspect;
  c->bitRate = DefaultAviBitRate(*codec, s.width, s.height);
  c->gopSize = std::max(1, static_cast<int>(std::lround(av_q2d(rate) * s.keySeconds)));
  c->maxBFrames = 0;  // AVI has no presentation times; pictures stay in order
  c->audioEncoder = "libmp3lame";
  c->inputSampleRate = s.sampleRate;
  c->audioSampleRate = s.sampleRate;
  c->soundFromZero = true;
  c->audioBitRate = s.lameKbps * 1000LL;
  c->audioCompressionLevel = s.lameQuality;
  c->minPicturesPerPart = static_cast<int>(std::lround(av_q2d(rate)));
  c->refuseEmptyRun = true;
  return {};
}

}  // namespace outside
