// Decoding one title's streams with libavcodec: MPEG-2 pictures on a running clock, the
// chosen sound stream converted to 16-bit stereo at the output rate and lined up with the
// first picture, and the chosen sub-picture stream for burning into the pictures.
#pragma once

#include "dvd_demux.h"
#include "dvd_disc.h"

#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <vector>

struct AVCodecContext;
struct AVCodecParserContext;
struct AVFrame;
struct AVPacket;
struct AVSubtitle;
struct SwrContext;
struct SwsContext;

namespace outside {

struct DecoderSettings {
  int audioStreamId = -1;     // 0xC0.. for MPEG sound, else 0xBD; -1 no sound
  int audioSubstreamId = -1;  // for private stream 1
  AudioFormat audioFormat = AudioFormat::Unknown;
  int subtitleSubstreamId = -1;  // 0x20..; -1 no subtitle
  std::uint32_t palette[16] = {};
  int sampleRate = 44100;
  double nominalFps = 25.0;
  int videoThreads = 1;  // slice threads of the picture decoder
};

// A decoded picture on the title's clock: it is shown from `start` for `duration` seconds.
struct DecodedPicture {
  AVFrame* frame = nullptr;  // owned
  double start = 0;
  double duration = 0;
  std::int64_t pts = 0;       // 90 kHz, for the sub-pictures
  std::uint32_t sector = 0;   // where the picture's data begins
};

class TitleDecoder {
 public:
  explicit TitleDecoder(const DecoderSettings& settings);
  ~TitleDecoder();
  TitleDecoder(const TitleDecoder&) = delete;
  TitleDecoder& operator=(const TitleDecoder&) = delete;

  void Feed(const DvdPayload& payload);
  // No more data: the parsers and decoders give out what they hold.
  void Finish();
  // Forget everything (after a seek): the next picture starts the clock again.
  void Reset();

  std::deque<DecodedPicture>& Pictures() { return pictures_; }
  void DropFront();

  bool HasSound() const { return settings_.audioStreamId >= 0; }
  // Sample frames (one left and one right sample) ready to be taken.
  std::size_t SoundAvailable() const;
  // Takes `frames` sample frames, filling with silence what is not there yet.
  void TakeSound(std::size_t frames, std::vector<std::int16_t>* out);

  // The sub-picture shown at pts, or null.
  const AVSubtitle* SubtitleAt(std::int64_t pts) const;

 private:
  struct Codec;
  struct Subtitle;
  // A copy of data followed by the zeroed padding FFmpeg's readers may look into.
  const std::uint8_t* Padded(const std::uint8_t* data, std::size_t size);
  void FeedParsed(Codec& codec, const DvdPayload& payload);
  void Decode(Codec& codec, const std::uint8_t* data, int size, std::int64_t pts, std::int64_t pos);
  void Drain(Codec& codec);
  void Receive(Codec& codec);  // every frame the decoder has ready
  void OnVideoFrame(AVFrame* frame);
  void OnAudioFrame(AVFrame* frame);
  void FeedSubtitle(const DvdPayload& payload);
  void AnchorSound();
  // Sample-frame index just past the buffered sound, on the clock's count.
  std::uint64_t SoundEnd() const { return taken_ + (sound_.size() - head_) / 2; }
  // Inserts silence (frames > 0) or removes sound (frames < 0) just before sample-frame
  // index `at` of the buffer; what was handed out already is not touched.
  void ShiftSound(std::uint64_t at, std::int64_t frames);
  // The pictures' time stamps jumped: the title went on in a new stretch of time stamps
  // at clock second `clock`. Lines up the sound of that stretch with it.
  void ResyncSound(double clock, std::int64_t pts, std::int64_t oldPts);

  DecoderSettings settings_;
  std::unique_ptr<Codec> video_;
  std::unique_ptr<Codec> audio_;
  AVCodecContext* spu_ = nullptr;
  AVFrame* frame_ = nullptr;
  AVPacket* packet_ = nullptr;
  SwrContext* swr_ = nullptr;
  std::int64_t swrLayoutMask_ = 0;
  int swrChannels_ = 0, swrFormat_ = -1, swrRate_ = 0;

  std::deque<DecodedPicture> pictures_;
  bool keyFrameSeen_ = false;
  bool videoAnchored_ = false;
  std::int64_t anchorPts_ = 0;
  std::int64_t lastPts_ = 0;
  double lastDuration_ = 0;
  std::uint32_t lastSector_ = 0;
  double clock_ = 0;

  // Sound: interleaved stereo samples; head_ is the first one not yet taken.
  std::vector<std::int16_t> sound_;
  std::vector<std::int16_t> converted_;
  std::size_t head_ = 0;
  std::uint64_t taken_ = 0;  // sample frames handed out since the clock started
  bool soundAnchored_ = false;
  std::int64_t soundStartPts_ = INT64_MIN;  // pts of the first buffered sample before anchoring
  // Where recent sound frames began, to line them up again after a jump in time stamps.
  struct SoundMark {
    std::int64_t pts;
    std::uint64_t index;
  };
  std::deque<SoundMark> marks_;
  std::int64_t nextSoundPts_ = INT64_MIN;  // where the last sound frame ended
  // A jump in the pictures' time stamps whose sound has not arrived yet.
  struct Resync {
    double clock;
    std::int64_t pts, oldPts;
  };
  std::optional<Resync> resync_;
  // Where the sound's own time stamps jumped (a sample-frame index) while the pictures'
  // have not yet: sound from there on waits until the pictures get there, so none of the
  // new stretch goes out on the old stretch's clock before it is lined up.
  std::optional<std::uint64_t> soundHeldAt_;

  std::vector<std::uint8_t> padded_;
  std::vector<std::uint8_t> spuBuffer_;
  std::size_t spuSize_ = 0;
  std::int64_t spuPts_ = INT64_MIN;
  std::vector<std::unique_ptr<Subtitle>> subtitles_;
};

// Copies (or scales, when the decoded size or format differs) a picture into caller planes
// of width x height, Y then U and V at half size. `scaler` caches the scaling context.
void CopyPicture(const AVFrame* frame, int width, int height, std::uint8_t* y, std::uint8_t* u,
                 std::uint8_t* v, SwsContext** scaler);

// Blends a decoded sub-picture onto the planes.
void BurnSubtitle(const AVSubtitle& subtitle, int width, int height, std::uint8_t* y, std::uint8_t* u,
                  std::uint8_t* v);

}  // namespace outside
