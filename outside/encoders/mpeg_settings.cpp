// The VCD and SVCD rules: picture sizes, rates and buffers that players accept.
#include <cmath>

#include "mpeg_settings.h"
#include "number_text.h"

namespace outside {

namespace {

constexpr int kSoundKbps = 224;             // layer II stereo, the rate both disc kinds use
constexpr int kSoundRate = 44100;           // the only sound rate of VCD and SVCD
constexpr int kVcdVideoKbps = 1150;         // a VCD's constant picture rate
constexpr int kVcdBufferUnits = 20;         // 40 KB decoder buffer
constexpr int kSvcdBufferUnits = 112;       // 224 KB decoder buffer
constexpr int kSvcdMaxVideoKbps = 2516;  // leaves room for sound and packs at two CD speeds
// The mean of an SVCD's pictures: with the sound and the packs it stays well inside what
// a player's drive reads at two CD speeds, peaks included.
constexpr int kSvcdVideoKbps = 2040;
// The rate control's largest Lagrange factor, four times that of the coarsest quantiser:
// where even that quantiser gives too many bits for the decoder buffer (fine noise scaled
// without a low-pass filter), the trellis quantiser drops further coefficients instead of
// letting the picture overrun the buffer and the multiplex fall behind its clock.
constexpr int kMaxLambda = 4 * 31 * 118;
constexpr std::int64_t kVcdMuxRate = 2352 * 75 * 8;  // one CD speed
constexpr std::int64_t kSvcdMuxRate = 2 * 2324 * 75 * 8;  // two CD speeds of Mode 2 sectors

bool IsNtscRate(const AVRational& r) { return r.den == 1001 && (r.num == 30000 || r.num == 24000); }

}  // namespace

Status BuildMpegConfig(const MpegSettings& s, SessionConfig* c) {
  if (s.videoFormat != 1 && s.videoFormat != 3)
    return Status::Fail(E_INVALIDARG, "Unknown MPEG picture coding " + std::to_string(s.videoFormat) +
                                          " (1 is MPEG-1 for VCD, 3 is MPEG-2 for SVCD).");
  if (s.muxFormat != 1 && s.muxFormat != 3)
    return Status::Fail(E_INVALIDARG, "Unknown MPEG multiplex " + std::to_string(s.muxFormat) +
                                          " (1 is VCD, 3 is SVCD).");
  if (s.videoFormat != s.muxFormat)
    return Status::Fail(E_INVALIDARG, s.videoFormat == 1 ? "MPEG-1 pictures can not go into an SVCD file."
                                                         : "MPEG-2 pictures can not go into a VCD file.");
  const bool vcd = s.videoFormat == 1;
  const char* kind = vcd ? "VCD" : "SVCD";

  AVRational rate{};
  if (!FrameRateFromDouble(s.frameRate, &rate))
    return Status::Fail(E_INVALIDARG, "The frame rate " + NumberText(s.frameRate) + " is not valid.");
  const bool pal = rate.num == 25 && rate.den == 1;
  if (!pal && !IsNtscRate(rate))
    return Status::Fail(E_INVALIDARG, std::string("A ") + kind +
                                          " plays at 25, 29.97 or 23.976 pictures per second, not " +
                                          NumberText(s.frameRate) + ".");
  const int width = vcd ? 352 : 480;
  const int height = pal ? (vcd ? 288 : 576) : (vcd ? 240 : 480);
  if (s.width != width || s.height != height)
    return Status::Fail(E_INVALIDARG, std::string("A ") + kind + " at this frame rate needs pictures of " +
                                          std::to_string(width) + "x" + std::to_string(height) + ", not " +
                                          std::to_string(s.width) + "x" + std::to_string(s.height) + ".");
  if (s.interlaced != 0 && s.interlaced != 1)
    return Status::Fail(E_INVALIDARG, "The field coding setting must be 0 or 1.");
  if (vcd && s.interlaced)
    return Status::Fail(E_INVALIDARG, "MPEG-1 pictures of a VCD can not be coded as fields.");
  if (s.bufferUnits <= 0)
    return Status::Fail(E_INVALIDARG, "The decoder buffer size must be positive.");
  if (s.closedGop != 0 && s.closedGop != 1)
    return Status::Fail(E_INVALIDARG, "The closed-GOP setting must be 0 or 1.");
  if (s.sampleRate < 8000 || s.sampleRate > 192000)
    return Status::Fail(E_INVALIDARG, "The sample rate " + std::to_string(s.sampleRate) + " Hz is not supported.");

  int videoKbps = 0, maxKbps = 0, minKbps = 0;
  if (vcd) {
    videoKbps = maxKbps = minKbps = kVcdVideoKbps;
    if (s.maxVideoKbps > 0 && s.maxVideoKbps < kVcdVideoKbps)
      return Status::Fail(E_INVALIDARG, "A VCD's pictures need " + std::to_string(kVcdVideoKbps) +
                                            " kbit/s, more than the limit of " + std::to_string(s.maxVideoKbps) +
                                            " kbit/s.");
  } else {
    maxKbps = kSvcdMaxVideoKbps;
    if (s.maxVideoKbps > 0) maxKbps = std::min(maxKbps, s.maxVideoKbps);
    videoKbps = kSvcdVideoKbps;
    if (s.videoKbps > 0) videoKbps = std::min(videoKbps, s.videoKbps);
    // A mean rate equal to the peak leaves the rate control no room.
    videoKbps = std::min(videoKbps, maxKbps * 19 / 20);
    if (videoKbps < 300)
      return Status::Fail(E_INVALIDARG, "The SVCD bitrate limits leave less than 300 kbit/s for the pictures.");
  }
  const std::int64_t muxRate = vcd ? kVcdMuxRate : kSvcdMuxRate;
  // The limit is given to a tenth of a Mbit/s; one CD speed (1.4112) counts as 1.4.
  if (s.maxMuxMbps > 0 && std::round(muxRate / 1e5) / 10.0 > s.maxMuxMbps + 1e-9)
    return Status::Fail(E_INVALIDARG, std::string("A ") + kind + " is read at " +
                                          NumberText(muxRate / 1e6) +
                                          " Mbit/s, more than the limit of " + NumberText(s.maxMuxMbps) +
                                          " Mbit/s.");

  *c = SessionConfig{};
  c->path = s.path;
  c->muxer = vcd ? "vcd" : "svcd";
  const int preloadMicroseconds = vcd ? 440000 : 500000;
  c->muxerOptions = {{"packetsize", "2324"}, {"preload", std::to_string(preloadMicroseconds)}};
  if (vcd) c->muxerOptions.push_back({"muxrate", std::to_string(kVcdMuxRate)});
  // A VCD's multiplex is padded to one CD speed; an SVCD's is not.
  c->constantMuxRate = vcd ? kVcdMuxRate : 0;
  c->preloadSeconds = preloadMicroseconds / 1e6;
  c->gopRuns = true;
  c->input = SessionConfig::Input::Yuv420Planes;
  c->videoEncoder = vcd ? "mpeg1video" : "mpeg2video";
  c->videoOptions = {{"trellis", "1"}, {"lmax", std::to_string(kMaxLambda)}};
  if (!vcd) c->videoOptions.push_back({"scan_offset", "1"});
  c->width = width;
  c->height = height;
  c->frameRate = rate;
  c->displayAspect = s.displayAspect.num > 0 && s.displayAspect.den > 0 ? s.displayAspect : AVRational{4, 3};
  c->bitRate = videoKbps * 1000LL;
  c->maxRate = maxKbps * 1000LL;
  c->minRate = minKbps * 1000LL;
  // An SVCD's pictures get the buffer its players hold; a VCD's 40 KB would starve them.
  c->bufferBits = (vcd ? std::min(s.bufferUnits, kVcdBufferUnits) : kSvcdBufferUnits) * 16384;
  c->gopSize = pal ? 15 : 18;
  c->maxBFrames = 2;
  c->closedGop = s.closedGop == 1;
  c->interlaced = s.interlaced == 1;
  c->audioEncoder = "mp2";
  c->inputSampleRate = s.sampleRate;
  c->audioSampleRate = kSoundRate;
  c->audioBitRate = kSoundKbps * 1000LL;
  c->minPicturesPerPart = static_cast<int>(std::lround(av_q2d(rate)));
  c->refuseEmptyRun = true;
  return {};
}

}  // namespace outside
