// The sound of an encoding run: resampled to the sound encoder's rate and coded in whole
// frames. It belongs to the thread that gives the pictures, which codes each picture's
// sound as the picture is given and, once the pictures before are written, ends each part.
#pragma once

#include <cstdint>
#include <vector>

#include "encoding_session.h"

struct AVAudioFifo;
struct AVCodecContext;
struct AVFrame;
struct SwrContext;

namespace outside {

class SoundCoder {
 public:
  SoundCoder() = default;
  SoundCoder(const SoundCoder&) = delete;
  SoundCoder& operator=(const SoundCoder&) = delete;
  ~SoundCoder() { Free(); }

  // For the whole run: the resampler and the resampled sound not yet coded, which carries
  // over from part to part.
  Status Start(const SessionConfig& config);
  // Each part's encoder: its frames count from the part's start.
  Status OpenPart(bool globalHeader);
  void ClosePart();
  void Free();
  // The part's encoder (for the multiplexer's stream); null between parts.
  const AVCodecContext* Codec() const { return audio_; }

  // One picture's sound (16-bit stereo at the input rate): every whole frame it completes
  // is coded; the packets, in the encoder's time base, are appended to *packets.
  Status Encode(const std::int16_t* sound, std::size_t soundBytes, PacketList* packets);
  // The part's end once its `pictureSamples` of pictures (at the encoder's rate) are
  // given: the sound is made up with silence to the pictures' length (to the last whole
  // frame before it where another part follows, whose sound goes on from there), the last
  // part takes what the resampler still holds, and the encoder gives its last packets.
  Status EndPart(std::int64_t pictureSamples, bool last, PacketList* packets);

 private:
  Status Resample(const std::int16_t* sound, int inSamples);  // null drains the filter
  Status PadTo(std::int64_t samples);
  Status CodeWholeFrames(PacketList* packets);
  Status Send(AVFrame* frame, PacketList* packets);  // null flushes

  SessionConfig cfg_;
  int sampleFormat_ = -1;  // the encoder's
  AVCodecContext* audio_ = nullptr;
  AVFrame* frame_ = nullptr;
  SwrContext* swr_ = nullptr;
  AVAudioFifo* fifo_ = nullptr;  // resampled sound not yet coded
  std::vector<std::uint8_t*> resampled_;
  int resampledCapacity_ = 0;
  std::int64_t samplesInPart_ = 0;
};

}  // namespace outside
