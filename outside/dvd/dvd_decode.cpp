#include "dvd_decode.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>

namespace outside {

namespace {

constexpr double kMaxSoundSeconds = 30.0;    // buffered sound beyond this is dropped
constexpr double kMaxSilenceSeconds = 10.0;  // a larger gap at the start means broken time stamps
constexpr std::int64_t kJumpPts = 45000;        // a jump of more than 0.5 s in time stamps
constexpr std::int64_t kSoundGapPts = 9000;     // sound missing for more than 0.1 s
constexpr std::int64_t kJumpLimitPts = 450000;  // longer "gaps" are jumps, not missing sound
// How far the pictures may run past a jump in the sound's time stamps before the sound is
// taken to have jumped alone. A cell's sound may end this long before its pictures. It stays
// within the second the reader waits for sound, so held sound is never replaced by silence.
constexpr double kSoundHoldSeconds = 0.95;

std::uint8_t Clamp8(double v) { return static_cast<std::uint8_t>(std::clamp(std::lround(v), 0L, 255L)); }

// The disc's palette (0x00YYCrCb) as the "rrggbb,..." list the sub-picture decoder takes.
std::string PaletteOption(const std::uint32_t (&palette)[16]) {
  std::string text;
  for (int i = 0; i < 16; ++i) {
    const double y = (palette[i] >> 16) & 0xFF, cr = ((palette[i] >> 8) & 0xFF) - 128.0,
                 cb = (palette[i] & 0xFF) - 128.0;
    char entry[8];
    std::snprintf(entry, sizeof entry, "%02x%02x%02x", Clamp8(y + 1.402 * cr),
                  Clamp8(y - 0.344136 * cb - 0.714136 * cr), Clamp8(y + 1.772 * cb));
    if (i) text += ',';
    text += entry;
  }
  return text;
}

AVCodecContext* OpenDecoder(AVCodecID id, AVDictionary** options, int threads = 1) {
  const AVCodec* codec = avcodec_find_decoder(id);
  if (!codec) throw DvdError(std::string("No decoder for ") + avcodec_get_name(id) + " is available.");
  AVCodecContext* ctx = avcodec_alloc_context3(codec);
  if (!ctx) throw std::bad_alloc();
  // Slices only: frame threads would hold pictures back and change when they come out.
  ctx->thread_count = threads;
  ctx->thread_type = FF_THREAD_SLICE;
  if (avcodec_open2(ctx, codec, options) < 0) {
    avcodec_free_context(&ctx);
    throw DvdError(std::string("The ") + avcodec_get_name(id) + " decoder cannot be started.");
  }
  return ctx;
}

}  // namespace

struct TitleDecoder::Codec {
  AVCodecID id = AV_CODEC_ID_NONE;
  AVCodecContext* ctx = nullptr;
  AVCodecParserContext* parser = nullptr;
  bool video = false;
  int threads = 1;

  Codec(AVCodecID codecId, bool isVideo, bool parsed, int threadCount = 1)
      : id(codecId), video(isVideo), threads(threadCount) {
    ctx = OpenDecoder(id, nullptr, threads);
    if (parsed) NewParser();
  }
  ~Codec() {
    if (parser) av_parser_close(parser);
    avcodec_free_context(&ctx);
  }
  void NewParser() {
    if (parser) av_parser_close(parser);
    parser = av_parser_init(id);
    if (!parser) throw DvdError(std::string("No parser for ") + avcodec_get_name(id) + " is available.");
  }
  // A new decoder: a flushed one may keep the overlap of the sound it decoded last, so
  // that what follows a seek would depend on what was read before it.
  void Reset() {
    AVCodecContext* fresh = OpenDecoder(id, nullptr, threads);
    avcodec_free_context(&ctx);
    ctx = fresh;
    if (parser) NewParser();  // parsers have no flush of their own
  }
};

struct TitleDecoder::Subtitle {
  AVSubtitle sub{};
  std::int64_t start = 0;
  std::int64_t end = INT64_MAX;
  ~Subtitle() { avsubtitle_free(&sub); }
};

TitleDecoder::TitleDecoder(const DecoderSettings& settings) : settings_(settings) {
  frame_ = av_frame_alloc();
  packet_ = av_packet_alloc();
  if (!frame_ || !packet_) {
    av_frame_free(&frame_);
    av_packet_free(&packet_);
    throw std::bad_alloc();
  }
  try {
    video_ = std::make_unique<Codec>(AV_CODEC_ID_MPEG2VIDEO, true, true, std::max(1, settings_.videoThreads));
    if (settings_.audioStreamId >= 0) {
      switch (settings_.audioFormat) {
        case AudioFormat::Ac3: audio_ = std::make_unique<Codec>(AV_CODEC_ID_AC3, false, true); break;
        case AudioFormat::Dts: audio_ = std::make_unique<Codec>(AV_CODEC_ID_DTS, false, true); break;
        case AudioFormat::Mpeg1:
        case AudioFormat::Mpeg2Ext: audio_ = std::make_unique<Codec>(AV_CODEC_ID_MP2, false, true); break;
        case AudioFormat::Lpcm: audio_ = std::make_unique<Codec>(AV_CODEC_ID_PCM_DVD, false, false); break;
        default: throw DvdError("The chosen sound stream's format cannot be decoded.");
      }
    }
    if (settings_.subtitleSubstreamId >= 0) {
      AVDictionary* options = nullptr;
      av_dict_set(&options, "palette", PaletteOption(settings_.palette).c_str(), 0);
      try {
        spu_ = OpenDecoder(AV_CODEC_ID_DVD_SUBTITLE, &options);
      } catch (...) {
        av_dict_free(&options);
        throw;
      }
      av_dict_free(&options);
    }
  } catch (...) {
    video_.reset();
    audio_.reset();
    av_frame_free(&frame_);
    av_packet_free(&packet_);
    throw;
  }
}

TitleDecoder::~TitleDecoder() {
  for (DecodedPicture& p : pictures_) av_frame_free(&p.frame);
  video_.reset();
  audio_.reset();
  avcodec_free_context(&spu_);
  swr_free(&swr_);
  av_frame_free(&frame_);
  av_packet_free(&packet_);
}

void TitleDecoder::Reset() {
  for (DecodedPicture& p : pictures_) av_frame_free(&p.frame);
  pictures_.clear();
  if (video_) video_->Reset();
  if (audio_) audio_->Reset();
  if (spu_) avcodec_flush_buffers(spu_);
  if (swr_) swr_free(&swr_);
  swrFormat_ = -1;
  keyFrameSeen_ = videoAnchored_ = soundAnchored_ = false;
  anchorPts_ = lastPts_ = 0;
  lastSector_ = 0;
  clock_ = 0;
  sound_.clear();
  head_ = 0;
  taken_ = 0;
  soundStartPts_ = kNoPts;
  marks_.clear();
  nextSoundPts_ = kNoPts;
  resync_.reset();
  soundHeldAt_.reset();
  lastDuration_ = 0;
  spuBuffer_.clear();
  spuSize_ = 0;
  subtitles_.clear();
}

void TitleDecoder::DropFront() {
  av_frame_free(&pictures_.front().frame);
  pictures_.pop_front();
}

void TitleDecoder::Feed(const DvdPayload& p) {
  if (p.streamId == 0xE0) {
    FeedParsed(*video_, p);
  } else if (audio_ && p.streamId == settings_.audioStreamId &&
             (p.streamId != 0xBD || p.substreamId == settings_.audioSubstreamId)) {
    if (audio_->parser) FeedParsed(*audio_, p);
    else Decode(*audio_, Padded(p.data, p.size), static_cast<int>(p.size), p.pts == kNoPts ? AV_NOPTS_VALUE : p.pts,
                p.sector);
  } else if (spu_ && p.streamId == 0xBD && p.substreamId == settings_.subtitleSubstreamId) {
    FeedSubtitle(p);
  }
}

// FFmpeg's parsers and decoders read up to AV_INPUT_BUFFER_PADDING_SIZE bytes past the
// data they are given; a payload that ends at the end of a read would send them past the
// sector buffer. They get a copy with zeroed padding.
const std::uint8_t* TitleDecoder::Padded(const std::uint8_t* data, std::size_t size) {
  padded_.resize(size + AV_INPUT_BUFFER_PADDING_SIZE);
  std::memcpy(padded_.data(), data, size);
  std::memset(padded_.data() + size, 0, AV_INPUT_BUFFER_PADDING_SIZE);
  return padded_.data();
}

void TitleDecoder::FeedParsed(Codec& codec, const DvdPayload& p) {
  const std::uint8_t* data = Padded(p.data, p.size);
  int left = static_cast<int>(p.size);
  std::int64_t pts = p.pts == kNoPts ? AV_NOPTS_VALUE : p.pts;
  while (left > 0) {
    std::uint8_t* out = nullptr;
    int outSize = 0;
    const int used = av_parser_parse2(codec.parser, codec.ctx, &out, &outSize, data, left, pts,
                                      AV_NOPTS_VALUE, p.sector);
    if (used < 0) break;
    pts = AV_NOPTS_VALUE;  // the time stamp belongs to the first byte only
    data += used;
    left -= used;
    if (outSize > 0) Decode(codec, out, outSize, codec.parser->pts, codec.parser->pos);
    if (used == 0 && outSize == 0) break;
  }
}

void TitleDecoder::Decode(Codec& codec, const std::uint8_t* data, int size, std::int64_t pts, std::int64_t pos) {
  av_packet_unref(packet_);
  packet_->data = const_cast<std::uint8_t*>(data);
  packet_->size = size;
  packet_->pts = pts;
  packet_->dts = AV_NOPTS_VALUE;
  packet_->pos = pos;
  // A damaged packet is skipped; the decoders resynchronise on the next one.
  if (avcodec_send_packet(codec.ctx, packet_) < 0) return;
  Receive(codec);
}

void TitleDecoder::Drain(Codec& codec) {
  if (codec.parser) {
    std::uint8_t* out = nullptr;
    int outSize = 0;
    av_parser_parse2(codec.parser, codec.ctx, &out, &outSize, nullptr, 0, AV_NOPTS_VALUE, AV_NOPTS_VALUE, -1);
    if (outSize > 0) Decode(codec, out, outSize, codec.parser->pts, codec.parser->pos);
  }
  if (avcodec_send_packet(codec.ctx, nullptr) < 0) return;
  Receive(codec);
}

void TitleDecoder::Receive(Codec& codec) {
  while (avcodec_receive_frame(codec.ctx, frame_) == 0) {
    if (codec.video) OnVideoFrame(frame_);
    else OnAudioFrame(frame_);
    av_frame_unref(frame_);
  }
}

void TitleDecoder::Finish() {
  Drain(*video_);
  if (audio_) Drain(*audio_);
  soundHeldAt_.reset();  // no pictures come to line it up
}

void TitleDecoder::OnVideoFrame(AVFrame* frame) {
  // Pictures before the first intra picture refer to pictures that were never read.
  if (!keyFrameSeen_) {
    if (frame->pict_type != AV_PICTURE_TYPE_I) return;
    keyFrameSeen_ = true;
  }
  const AVRational rate = video_->ctx->framerate;
  const double fps = rate.num > 0 && rate.den > 0 ? av_q2d(rate) : settings_.nominalFps;
  const double duration = (2.0 + frame->repeat_pict) / (2.0 * fps);
  const std::int64_t expected = lastPts_ + std::llround(lastDuration_ * 90000.0);
  std::int64_t pts = frame->best_effort_timestamp;
  const bool stamped = pts != AV_NOPTS_VALUE;
  if (!stamped) pts = expected;
  const std::uint32_t sector = frame->pkt_pos >= 0 ? static_cast<std::uint32_t>(frame->pkt_pos) : lastSector_;
  if (!videoAnchored_) {
    videoAnchored_ = true;
    anchorPts_ = pts;
  } else if (stamped && std::llabs(pts - expected) > kJumpPts) {
    ResyncSound(clock_, pts, expected);
  }
  AVFrame* copy = av_frame_clone(frame);
  if (!copy) throw std::bad_alloc();
  pictures_.push_back({copy, clock_, duration, pts, sector});
  clock_ += duration;
  // The pictures went well past held sound without a jump of their own: the jump was the
  // sound's alone, and it goes on where it is.
  if (soundHeldAt_ && clock_ > static_cast<double>(*soundHeldAt_) / settings_.sampleRate + kSoundHoldSeconds)
    soundHeldAt_.reset();
  lastPts_ = pts;
  lastDuration_ = duration;
  lastSector_ = sector;
  AnchorSound();
}

void TitleDecoder::OnAudioFrame(AVFrame* frame) {
  if (frame->nb_samples <= 0) return;
  AVChannelLayout in{};
  if (frame->ch_layout.order == AV_CHANNEL_ORDER_UNSPEC || frame->ch_layout.nb_channels == 0)
    av_channel_layout_default(&in, std::max(1, frame->ch_layout.nb_channels));
  else if (av_channel_layout_copy(&in, &frame->ch_layout) < 0)
    throw std::bad_alloc();
  const std::int64_t mask = in.order == AV_CHANNEL_ORDER_NATIVE ? static_cast<std::int64_t>(in.u.mask) : -1;
  if (!swr_ || swrFormat_ != frame->format || swrRate_ != frame->sample_rate || swrChannels_ != in.nb_channels ||
      swrLayoutMask_ != mask) {
    swr_free(&swr_);
    AVChannelLayout stereo = AV_CHANNEL_LAYOUT_STEREO;
    if (swr_alloc_set_opts2(&swr_, &stereo, AV_SAMPLE_FMT_S16, settings_.sampleRate, &in,
                            static_cast<AVSampleFormat>(frame->format), frame->sample_rate, 0, nullptr) < 0 ||
        swr_init(swr_) < 0) {
      swr_free(&swr_);
      av_channel_layout_uninit(&in);
      throw DvdError("The sound cannot be converted to " + std::to_string(settings_.sampleRate) + " Hz stereo.");
    }
    swrFormat_ = frame->format;
    swrRate_ = frame->sample_rate;
    swrChannels_ = in.nb_channels;
    swrLayoutMask_ = mask;
  }
  av_channel_layout_uninit(&in);

  const int room = swr_get_out_samples(swr_, frame->nb_samples);
  if (room <= 0) return;
  converted_.resize(static_cast<std::size_t>(room) * 2);
  std::uint8_t* out = reinterpret_cast<std::uint8_t*>(converted_.data());
  const int got = swr_convert(swr_, &out, room, const_cast<const std::uint8_t**>(frame->extended_data),
                              frame->nb_samples);
  if (got <= 0) return;
  const double rate = settings_.sampleRate;
  std::int64_t pts = frame->pts == AV_NOPTS_VALUE ? kNoPts : frame->pts;
  if (head_ == sound_.size() && !soundAnchored_) soundStartPts_ = pts;

  // Once lined up, sound is counted; it is moved only where its time stamps say that a
  // stretch of sound is missing or that a new stretch of time stamps has begun.
  std::size_t skip = 0;
  if (soundAnchored_ && pts != kNoPts) {
    std::int64_t shift = 0;
    const bool jumped = nextSoundPts_ != kNoPts && std::llabs(pts - nextSoundPts_) > kJumpPts;
    const bool resynced = resync_ && std::llabs(pts - resync_->pts) < std::llabs(pts - resync_->oldPts);
    if (resynced) {
      shift = std::llround((resync_->clock + static_cast<double>(pts - resync_->pts) / 90000.0) * rate) -
              static_cast<std::int64_t>(SoundEnd());
      resync_.reset();
    } else if (nextSoundPts_ != kNoPts && pts - nextSoundPts_ > kSoundGapPts && pts - nextSoundPts_ < kJumpLimitPts) {
      shift = std::llround(static_cast<double>(pts - nextSoundPts_) * rate / 90000.0);
    }
    if (std::llabs(shift) > static_cast<std::int64_t>(kMaxSilenceSeconds * rate)) shift = 0;
    if (shift > 0) {
      ShiftSound(SoundEnd(), shift);
    } else if (shift < 0) {
      const std::int64_t buffered = static_cast<std::int64_t>((sound_.size() - head_) / 2);
      const std::int64_t k = std::min(-shift, buffered);
      ShiftSound(SoundEnd(), -k);
      skip = static_cast<std::size_t>(std::min<std::int64_t>(-shift - k, got));
      pts += std::llround(static_cast<double>(skip) * 90000.0 / rate);
    }
    if (jumped && !resynced && !soundHeldAt_) soundHeldAt_ = SoundEnd();
    marks_.push_back({pts, SoundEnd()});
    if (marks_.size() > 256) marks_.pop_front();
  }
  sound_.insert(sound_.end(), converted_.begin() + static_cast<std::ptrdiff_t>(skip) * 2,
                converted_.begin() + static_cast<std::ptrdiff_t>(got) * 2);
  const std::int64_t length = std::llround((got - static_cast<double>(skip)) * 90000.0 / rate);
  if (pts != kNoPts) nextSoundPts_ = pts + length;
  else if (nextSoundPts_ != kNoPts) nextSoundPts_ += length;

  // Sound that runs far ahead of the pictures (a title without pictures) is not hoarded.
  const std::size_t limit = static_cast<std::size_t>(kMaxSoundSeconds * settings_.sampleRate) * 2;
  if (sound_.size() - head_ > limit) head_ = sound_.size() - limit;
  if (head_ > sound_.size() / 2 && head_ > (1u << 16)) {
    sound_.erase(sound_.begin(), sound_.begin() + static_cast<std::ptrdiff_t>(head_));
    head_ = 0;
  }
  AnchorSound();
}

// Lines the buffered sound up with the first picture: the sample at the first picture's
// time stamp is the first one handed out. Afterwards sound is counted, not timed.
void TitleDecoder::AnchorSound() {
  if (soundAnchored_ || !videoAnchored_ || head_ == sound_.size()) return;
  if (soundStartPts_ == kNoPts) {
    soundAnchored_ = true;
    return;
  }
  const double rate = settings_.sampleRate;
  const std::int64_t at = std::llround(static_cast<double>(soundStartPts_ - anchorPts_) * rate / 90000.0);
  const std::int64_t want = static_cast<std::int64_t>(taken_);
  if (at > want) {
    if (at - want <= static_cast<std::int64_t>(kMaxSilenceSeconds * rate))
      sound_.insert(sound_.begin() + static_cast<std::ptrdiff_t>(head_), static_cast<std::size_t>(at - want) * 2, 0);
  } else if (at < want) {
    const std::size_t available = (sound_.size() - head_) / 2;
    const std::size_t drop = std::min<std::size_t>(static_cast<std::size_t>(want - at), available);
    head_ += drop * 2;
    if (head_ == sound_.size()) return;  // the next sound decoded sets the start again
  }
  soundAnchored_ = true;
}

void TitleDecoder::ShiftSound(std::uint64_t at, std::int64_t frames) {
  const std::uint64_t buffered = (sound_.size() - head_) / 2;
  const std::uint64_t offset = at < taken_ ? 0 : std::min<std::uint64_t>(at - taken_, buffered);
  const auto pos = sound_.begin() + static_cast<std::ptrdiff_t>(head_ + offset * 2);
  std::int64_t change = frames;
  if (frames > 0) {
    sound_.insert(pos, static_cast<std::size_t>(frames) * 2, 0);
  } else {
    const std::int64_t k = std::min<std::int64_t>(-frames, static_cast<std::int64_t>(offset));
    sound_.erase(pos - k * 2, pos);
    change = -k;
  }
  for (SoundMark& m : marks_)
    if (m.index >= at) m.index = static_cast<std::uint64_t>(static_cast<std::int64_t>(m.index) + change);
  if (soundHeldAt_ && *soundHeldAt_ >= at)
    soundHeldAt_ = static_cast<std::uint64_t>(static_cast<std::int64_t>(*soundHeldAt_) + change);
}

void TitleDecoder::ResyncSound(double clock, std::int64_t pts, std::int64_t oldPts) {
  if (!soundAnchored_) return;  // the start is lined up by AnchorSound
  soundHeldAt_.reset();  // lined up here, or when it comes
  // The sound frames decoded since the sound's own time stamps last jumped: if they are of
  // the new stretch (sound runs ahead of the pictures in the stream), line them up now.
  std::size_t first = marks_.empty() ? 0 : marks_.size() - 1;
  while (first > 0) {
    const std::int64_t step = marks_[first].pts - marks_[first - 1].pts;
    if (step <= 0 || step > kJumpPts) break;
    --first;
  }
  if (!marks_.empty() && std::llabs(marks_[first].pts - pts) < std::llabs(marks_[first].pts - oldPts)) {
    const SoundMark m = marks_[first];
    const double rate = settings_.sampleRate;
    const std::int64_t shift =
        std::llround((clock + static_cast<double>(m.pts - pts) / 90000.0) * rate) - static_cast<std::int64_t>(m.index);
    if (std::llabs(shift) <= static_cast<std::int64_t>(kMaxSilenceSeconds * rate)) ShiftSound(m.index, shift);
    resync_.reset();
    return;
  }
  resync_ = Resync{clock, pts, oldPts};
}

std::size_t TitleDecoder::SoundAvailable() const {
  if (!soundAnchored_) return 0;
  const std::size_t buffered = (sound_.size() - head_) / 2;
  if (!soundHeldAt_) return buffered;
  return *soundHeldAt_ <= taken_ ? 0 : std::min<std::size_t>(buffered, static_cast<std::size_t>(*soundHeldAt_ - taken_));
}

void TitleDecoder::TakeSound(std::size_t frames, std::vector<std::int16_t>* out) {
  out->assign(frames * 2, 0);
  const std::size_t n = std::min(frames, SoundAvailable());
  if (n) {
    std::memcpy(out->data(), sound_.data() + head_, n * 2 * sizeof(std::int16_t));
    head_ += n * 2;
  }
  taken_ += frames;
}

void TitleDecoder::FeedSubtitle(const DvdPayload& p) {
  // A sub-picture unit may span several packets; only its first carries a time stamp.
  if (!spuBuffer_.empty() && p.pts != kNoPts) spuBuffer_.clear();
  if (spuBuffer_.empty()) {
    if (p.size < 2) return;
    spuSize_ = (static_cast<std::size_t>(p.data[0]) << 8) | p.data[1];
    spuPts_ = p.pts == kNoPts ? lastPts_ : p.pts;
    if (spuSize_ < 4) return;
  }
  spuBuffer_.insert(spuBuffer_.end(), p.data, p.data + p.size);
  if (spuBuffer_.size() < spuSize_) return;
  spuBuffer_.resize(spuSize_ + AV_INPUT_BUFFER_PADDING_SIZE);  // the decoder's padding, zeroed
  std::fill(spuBuffer_.begin() + static_cast<std::ptrdiff_t>(spuSize_), spuBuffer_.end(), 0);

  av_packet_unref(packet_);
  packet_->data = spuBuffer_.data();
  packet_->size = static_cast<int>(spuSize_);
  packet_->pts = spuPts_;
  auto sub = std::make_unique<Subtitle>();
  int got = 0;
  const int rc = avcodec_decode_subtitle2(spu_, &sub->sub, &got, packet_);
  spuBuffer_.clear();
  if (rc < 0 || !got) return;
  sub->start = spuPts_ + static_cast<std::int64_t>(sub->sub.start_display_time) * 90;
  const std::uint32_t end = sub->sub.end_display_time;
  if (end != 0 && end < 0x7FFFFFFFu) sub->end = spuPts_ + static_cast<std::int64_t>(end) * 90;
  if (!subtitles_.empty() && subtitles_.back()->end > sub->start) subtitles_.back()->end = sub->start;
  subtitles_.push_back(std::move(sub));
  if (subtitles_.size() > 16) subtitles_.erase(subtitles_.begin());
}

const AVSubtitle* TitleDecoder::SubtitleAt(std::int64_t pts) const {
  for (auto it = subtitles_.rbegin(); it != subtitles_.rend(); ++it) {
    const Subtitle& s = **it;
    if (s.start <= pts && pts < s.end) return s.sub.num_rects ? &s.sub : nullptr;
  }
  return nullptr;
}

void CopyPicture(const AVFrame* frame, int width, int height, std::uint8_t* y, std::uint8_t* u, std::uint8_t* v,
                 SwsContext** scaler) {
  const int cw = width / 2, ch = height / 2;
  if ((frame->format == AV_PIX_FMT_YUV420P || frame->format == AV_PIX_FMT_YUVJ420P) && frame->width == width &&
      frame->height == height) {
    for (int r = 0; r < height; ++r) std::memcpy(y + r * width, frame->data[0] + r * frame->linesize[0], width);
    for (int r = 0; r < ch; ++r) {
      std::memcpy(u + r * cw, frame->data[1] + r * frame->linesize[1], cw);
      std::memcpy(v + r * cw, frame->data[2] + r * frame->linesize[2], cw);
    }
    return;
  }
  *scaler = sws_getCachedContext(*scaler, frame->width, frame->height, static_cast<AVPixelFormat>(frame->format),
                                 width, height, AV_PIX_FMT_YUV420P, SWS_BILINEAR, nullptr, nullptr, nullptr);
  if (!*scaler) throw DvdError("A picture of the title cannot be converted to the source picture size.");
  std::uint8_t* dst[4] = {y, u, v, nullptr};
  const int stride[4] = {width, cw, cw, 0};
  sws_scale(*scaler, frame->data, frame->linesize, 0, frame->height, dst, stride);
}

void BurnSubtitle(const AVSubtitle& subtitle, int width, int height, std::uint8_t* y, std::uint8_t* u,
                  std::uint8_t* v) {
  const int cw = width / 2, ch = height / 2;
  for (unsigned i = 0; i < subtitle.num_rects; ++i) {
    const AVSubtitleRect* r = subtitle.rects[i];
    if (!r || r->type != SUBTITLE_BITMAP || !r->data[0] || !r->data[1] || r->w <= 0 || r->h <= 0) continue;
    // The palette in the decoder's ARGB, turned into Y, Cb, Cr and opacity once per rectangle.
    int py[256], pu[256], pv[256], pa[256];
    const std::uint32_t* pal = reinterpret_cast<const std::uint32_t*>(r->data[1]);
    const int colours = std::clamp(r->nb_colors, 0, 256);
    for (int c = 0; c < 256; ++c) {
      const std::uint32_t argb = c < colours ? pal[c] : 0;
      const double R = (argb >> 16) & 0xFF, G = (argb >> 8) & 0xFF, B = argb & 0xFF;
      pa[c] = static_cast<int>(argb >> 24);
      py[c] = Clamp8(0.299 * R + 0.587 * G + 0.114 * B);
      pu[c] = Clamp8(128.0 - 0.168736 * R - 0.331264 * G + 0.5 * B);
      pv[c] = Clamp8(128.0 + 0.5 * R - 0.418688 * G - 0.081312 * B);
    }
    const int x0 = std::max(0, r->x), y0 = std::max(0, r->y);
    const int x1 = std::min(width, r->x + r->w), y1 = std::min(height, r->y + r->h);
    auto index = [&](int px, int py_) { return r->data[0][(py_ - r->y) * r->linesize[0] + (px - r->x)]; };
    for (int py_ = y0; py_ < y1; ++py_)
      for (int px = x0; px < x1; ++px) {
        const int c = index(px, py_), a = pa[c];
        if (!a) continue;
        std::uint8_t& d = y[py_ * width + px];
        d = static_cast<std::uint8_t>((d * (255 - a) + py[c] * a + 127) / 255);
      }
    // Chroma: each sample covers 2x2 pictures elements; blend by their summed opacity.
    for (int cy = y0 / 2; cy < std::min(ch, (y1 + 1) / 2); ++cy)
      for (int cx = x0 / 2; cx < std::min(cw, (x1 + 1) / 2); ++cx) {
        int sa = 0, su = 0, sv = 0;
        for (int dy = 0; dy < 2; ++dy)
          for (int dx = 0; dx < 2; ++dx) {
            const int px = cx * 2 + dx, py_ = cy * 2 + dy;
            if (px < x0 || px >= x1 || py_ < y0 || py_ >= y1) continue;
            const int c = index(px, py_);
            sa += pa[c];
            su += pa[c] * pu[c];
            sv += pa[c] * pv[c];
          }
        if (!sa) continue;
        std::uint8_t& du = u[cy * cw + cx];
        std::uint8_t& dv = v[cy * cw + cx];
        du = static_cast<std::uint8_t>((du * (1020 - sa) + su + 510) / 1020);
        dv = static_cast<std::uint8_t>((dv * (1020 - sa) + sv + 510) / 1020);
      }
  }
}

}  // namespace outside
