// The run's sound: resampler, queue of resampled sound and each part's encoder.
#include "sound_coder.h"

#include <algorithm>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/audio_fifo.h>
#include <libavutil/channel_layout.h>
#include <libavutil/frame.h>
#include <libavutil/samplefmt.h>
#include <libswresample/swresample.h>
}

namespace outside {

Status SoundCoder::Start(const SessionConfig& config) {
  Free();
  cfg_ = config;
  const AVCodec* acodec = avcodec_find_encoder_by_name(cfg_.audioEncoder.c_str());
  if (!acodec)
    return Status::Fail(REGDB_E_CLASSNOTREG,
                        "The sound encoder \"" + cfg_.audioEncoder + "\" is not available on this system.");
  const AVSampleFormat sampleFormat = acodec->sample_fmts ? acodec->sample_fmts[0] : AV_SAMPLE_FMT_S16;
  AVChannelLayout stereo = AV_CHANNEL_LAYOUT_STEREO;
  if (swr_alloc_set_opts2(&swr_, &stereo, sampleFormat, cfg_.audioSampleRate, &stereo, AV_SAMPLE_FMT_S16,
                          cfg_.inputSampleRate, 0, nullptr) < 0 ||
      swr_init(swr_) < 0) {
    Free();
    return Status::Fail(E_FAIL, "The sound resampler could not be set up.");
  }
  sampleFormat_ = sampleFormat;
  fifo_ = av_audio_fifo_alloc(sampleFormat, 2, cfg_.audioSampleRate);
  if (!fifo_) {
    Free();
    return Status::Fail(E_OUTOFMEMORY, "Out of memory.");
  }
  return {};
}

Status SoundCoder::OpenPart(bool globalHeader) {
  ClosePart();
  const AVCodec* acodec = avcodec_find_encoder_by_name(cfg_.audioEncoder.c_str());
  audio_ = acodec ? avcodec_alloc_context3(acodec) : nullptr;
  if (!audio_) return Status::Fail(E_OUTOFMEMORY, "Out of memory.");
  audio_->sample_fmt = acodec->sample_fmts ? acodec->sample_fmts[0] : AV_SAMPLE_FMT_S16;
  audio_->sample_rate = cfg_.audioSampleRate;
  av_channel_layout_default(&audio_->ch_layout, 2);
  audio_->bit_rate = cfg_.audioBitRate;
  audio_->time_base = {1, cfg_.audioSampleRate};
  if (cfg_.audioCompressionLevel >= 0) audio_->compression_level = cfg_.audioCompressionLevel;
  if (globalHeader) audio_->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
  if (int err = avcodec_open2(audio_, acodec, nullptr); err < 0)
    return Status::Fail(E_FAIL, "The sound encoder \"" + cfg_.audioEncoder + "\" refused " +
                                    std::to_string(cfg_.audioSampleRate) + " Hz at " +
                                    std::to_string(cfg_.audioBitRate / 1000) + " kbit/s: " + AvErrorText(err));
  if (audio_->frame_size <= 0) audio_->frame_size = 1152;
  frame_ = av_frame_alloc();
  if (!frame_) return Status::Fail(E_OUTOFMEMORY, "Out of memory.");
  frame_->format = audio_->sample_fmt;
  frame_->nb_samples = audio_->frame_size;
  frame_->sample_rate = audio_->sample_rate;
  av_channel_layout_copy(&frame_->ch_layout, &audio_->ch_layout);
  if (av_frame_get_buffer(frame_, 0) < 0) return Status::Fail(E_OUTOFMEMORY, "Out of memory.");
  samplesInPart_ = 0;
  return {};
}

void SoundCoder::ClosePart() {
  avcodec_free_context(&audio_);
  av_frame_free(&frame_);
}

void SoundCoder::Free() {
  ClosePart();
  swr_free(&swr_);
  if (fifo_) {
    av_audio_fifo_free(fifo_);
    fifo_ = nullptr;
  }
  if (!resampled_.empty()) av_freep(&resampled_[0]);
  resampled_.clear();
  resampledCapacity_ = 0;
}

Status SoundCoder::Encode(const std::int16_t* sound, std::size_t soundBytes, PacketList* packets) {
  if (soundBytes > 0)
    if (Status s = Resample(sound, static_cast<int>(soundBytes / 4)); !s.ok()) return s;
  return CodeWholeFrames(packets);
}

Status SoundCoder::EndPart(std::int64_t pictureSamples, bool last, PacketList* packets) {
  Status s = last ? Resample(nullptr, 0) : Status{};
  // Sound shorter than the pictures is made up with silence so that players keep both to the end.
  if (s.ok()) s = PadTo(last ? pictureSamples : pictureSamples - audio_->frame_size + 1);
  if (s.ok() && last) {
    const int rest = av_audio_fifo_size(fifo_) % audio_->frame_size;
    if (rest) s = PadTo(samplesInPart_ + av_audio_fifo_size(fifo_) + audio_->frame_size - rest);
  }
  if (s.ok()) s = CodeWholeFrames(packets);
  if (s.ok()) s = Send(nullptr, packets);
  return s;
}

Status SoundCoder::Resample(const std::int16_t* sound, int inSamples) {
  const int outCapacity = swr_get_out_samples(swr_, inSamples) + 32;
  if (outCapacity > resampledCapacity_) {
    if (!resampled_.empty()) av_freep(&resampled_[0]);
    resampled_.assign(2, nullptr);
    if (av_samples_alloc(resampled_.data(), nullptr, 2, outCapacity, static_cast<AVSampleFormat>(sampleFormat_), 0) < 0) {
      resampled_.clear();
      resampledCapacity_ = 0;
      return Status::Fail(E_OUTOFMEMORY, "Out of memory.");
    }
    resampledCapacity_ = outCapacity;
  }
  const std::uint8_t* in = reinterpret_cast<const std::uint8_t*>(sound);
  const int got = swr_convert(swr_, resampled_.data(), resampledCapacity_, sound ? &in : nullptr,
                              sound ? inSamples : 0);
  if (got < 0) return Status::Fail(E_FAIL, "The sound could not be resampled.");
  if (got > 0 && av_audio_fifo_write(fifo_, reinterpret_cast<void**>(resampled_.data()), got) < got)
    return Status::Fail(E_OUTOFMEMORY, "Out of memory.");
  return {};
}

Status SoundCoder::PadTo(std::int64_t samples) {
  std::int64_t missing = samples - samplesInPart_ - av_audio_fifo_size(fifo_);
  while (missing > 0) {
    const int n = static_cast<int>(std::min<std::int64_t>(missing, audio_->frame_size));
    if (av_frame_make_writable(frame_) < 0) return Status::Fail(E_OUTOFMEMORY, "Out of memory.");
    av_samples_set_silence(frame_->data, 0, n, 2, audio_->sample_fmt);
    if (av_audio_fifo_write(fifo_, reinterpret_cast<void**>(frame_->data), n) < n)
      return Status::Fail(E_OUTOFMEMORY, "Out of memory.");
    missing -= n;
  }
  return {};
}

Status SoundCoder::CodeWholeFrames(PacketList* packets) {
  while (av_audio_fifo_size(fifo_) >= audio_->frame_size) {
    if (av_frame_make_writable(frame_) < 0) return Status::Fail(E_OUTOFMEMORY, "Out of memory.");
    av_audio_fifo_read(fifo_, reinterpret_cast<void**>(frame_->data), audio_->frame_size);
    frame_->pts = samplesInPart_;
    samplesInPart_ += audio_->frame_size;
    if (Status s = Send(frame_, packets); !s.ok()) return s;
  }
  return {};
}

Status SoundCoder::Send(AVFrame* frame, PacketList* packets) {
  const int sent = avcodec_send_frame(audio_, frame);
  if (sent < 0 && sent != AVERROR_EOF) return Status::Fail(E_FAIL, "The sound encoder failed: " + AvErrorText(sent));
  for (;;) {
    AVPacket* p = av_packet_alloc();
    if (!p) return Status::Fail(E_OUTOFMEMORY, "Out of memory.");
    const int err = avcodec_receive_packet(audio_, p);
    if (err < 0) {
      av_packet_free(&p);
      if (err == AVERROR(EAGAIN) || err == AVERROR_EOF) return {};
      return Status::Fail(E_FAIL, "Encoding failed: " + AvErrorText(err));
    }
    // Where the container times the sound from its first sample, the encoder's delay is
    // no gap before it.
    if (cfg_.soundFromZero) {
      if (p->pts != AV_NOPTS_VALUE) p->pts += audio_->initial_padding;
      if (p->dts != AV_NOPTS_VALUE) p->dts += audio_->initial_padding;
    }
    packets->push_back(p);
  }
}

}  // namespace outside
