// The encoding engine behind IMpegEnc and IAVIEncode.
#include "encoding_session.h"

#include "bitmap_rows.h"
#include "decoder_buffer.h"
#include "sound_coder.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <filesystem>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/buffer.h>
#include <libavutil/imgutils.h>
#include <libavutil/opt.h>
#include <libswscale/swscale.h>
}

namespace outside {

namespace {

constexpr HRESULT kFileTooLarge = HRESULT_FROM_WIN32(223);  // ERROR_FILE_TOO_LARGE
constexpr HRESULT kPathNotFound = HRESULT_FROM_WIN32(3);    // ERROR_PATH_NOT_FOUND

struct Dict {
  AVDictionary* d = nullptr;
  explicit Dict(const std::vector<std::pair<std::string, std::string>>& entries) {
    for (const auto& [k, v] : entries) av_dict_set(&d, k.c_str(), v.c_str(), 0);
  }
  ~Dict() { av_dict_free(&d); }
};

}  // namespace

std::string AvErrorText(int averror) {
  char text[AV_ERROR_MAX_STRING_SIZE] = {};
  av_strerror(averror, text, sizeof text);
  return text;
}

HRESULT HresultFromAvError(int averror) {
  switch (averror) {
    case AVERROR(ENOSPC): return HRESULT_DISK_FULL;
    case AVERROR(EFBIG): return kFileTooLarge;
    case AVERROR(EACCES):
    case AVERROR(EPERM):
    case AVERROR(EROFS): return E_ACCESSDENIED;
    case AVERROR(ENOENT):
    case AVERROR(ENOTDIR): return kPathNotFound;
    case AVERROR(ENOMEM): return E_OUTOFMEMORY;
    case AVERROR(EINVAL): return E_INVALIDARG;
    default: return E_FAIL;
  }
}

std::string NumberedPartPath(const std::string& path, int part) {
  if (part <= 1) return path;
  const std::size_t slash = path.find_last_of('/');
  std::size_t dot = path.find_last_of('.');
  // A dot that starts the file name ("/a/.hidden") or lies in a folder name is no extension.
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash) ||
      dot == (slash == std::string::npos ? 0 : slash + 1))
    dot = path.size();
  return path.substr(0, dot) + "_" + std::to_string(part) + path.substr(dot);
}

bool FrameRateFromDouble(double fps, AVRational* rate) {
  if (!(fps > 0.5 && fps <= 240.0)) return false;
  // The NTSC rates arrive rounded (23.976, 29.97); they mean n*1000/1001.
  for (int n : {24, 30, 48, 60}) {
    const double ntsc = n * 1000.0 / 1001.0;
    if (std::fabs(fps - ntsc) < 0.005) {
      *rate = {n * 1000, 1001};
      return true;
    }
  }
  *rate = av_d2q(fps, 100000);
  return rate->num > 0 && rate->den > 0;
}

EncodingSession::EncodingSession() : sound_(std::make_unique<SoundCoder>()) {}

EncodingSession::~EncodingSession() {
  if (open_) Finish();
  FreeAll();
}

Status EncodingSession::Open(const SessionConfig& config) {
  if (open_ || !failure_.ok()) return Status::Fail(E_UNEXPECTED, "The encoder has already been started.");
  cfg_ = config;
  if (cfg_.path.empty()) return Status::Fail(E_INVALIDARG, "No output file has been given.");
  if (cfg_.width <= 0 || cfg_.height <= 0 || cfg_.width > 8192 || cfg_.height > 8192 ||
      cfg_.width % 2 || cfg_.height % 2)
    return Status::Fail(E_INVALIDARG, "The picture size " + std::to_string(cfg_.width) + "x" +
                                          std::to_string(cfg_.height) +
                                          " can not be encoded: width and height must be even numbers "
                                          "from 2 to 8192.");
  if (cfg_.frameRate.num <= 0 || cfg_.frameRate.den <= 0)
    return Status::Fail(E_INVALIDARG, "The frame rate is not valid.");
  if (cfg_.inputSampleRate < 8000 || cfg_.inputSampleRate > 192000)
    return Status::Fail(E_INVALIDARG,
                        "The sample rate " + std::to_string(cfg_.inputSampleRate) + " Hz is not supported.");
  timeBase_ = av_inv_q(cfg_.frameRate);

  const AVCodec* vcodec = avcodec_find_encoder_by_name(cfg_.videoEncoder.c_str());
  if (!vcodec)
    return Status::Fail(REGDB_E_CLASSNOTREG,
                        "The video encoder \"" + cfg_.videoEncoder + "\" is not available on this system.");
  const AVCodec* acodec = avcodec_find_encoder_by_name(cfg_.audioEncoder.c_str());
  if (!acodec)
    return Status::Fail(REGDB_E_CLASSNOTREG,
                        "The sound encoder \"" + cfg_.audioEncoder + "\" is not available on this system.");

  if (Status s = sound_->Start(cfg_); !s.ok()) {
    FreeAll();
    return s;
  }
  files_.clear();
  picturesInRun_ = 0;
  Status s = OpenPart();
  if (!s.ok()) {
    FreeAll();
    return s;
  }
  open_ = true;
  return {};
}

Status EncodingSession::OpenPart() {
  // A part that fails to open ends the run, so the files so far number the parts.
  const std::string path = NumberedPartPath(cfg_.path, static_cast<int>(files_.size()) + 1);
  Status s = OpenMuxer(path);
  if (s.ok()) s = OpenVideoCoder(-1.0, &video_);
  if (s.ok()) s = sound_->OpenPart(globalHeader_);
  if (s.ok()) s = AddStreams();
  if (s.ok()) {
    if (int err = avio_open(&fmt_->pb, path.c_str(), AVIO_FLAG_WRITE); err < 0)
      s = Status::Fail(HresultFromAvError(err), "Can not create the output file \"" + path + "\": " + AvErrorText(err));
  }
  if (s.ok()) {
    Dict opts(cfg_.muxerOptions);
    if (int err = avformat_write_header(fmt_, &opts.d); err < 0)
      s = Status::Fail(HresultFromAvError(err), "Can not write the output file \"" + path + "\": " + AvErrorText(err));
  }
  if (!s.ok()) {
    FreePart();
    return s;
  }
  files_.push_back(path);

  picture_ = av_frame_alloc();
  packet_ = av_packet_alloc();
  if (!picture_ || !packet_) s = Status::Fail(E_OUTOFMEMORY, "Out of memory.");
  if (s.ok()) {
    pictureFormat_ = video_->pix_fmt;
    picture_->format = video_->pix_fmt;
    picture_->width = cfg_.width;
    picture_->height = cfg_.height;
    if (av_frame_get_buffer(picture_, 0) < 0) s = Status::Fail(E_OUTOFMEMORY, "Out of memory.");
  }
  if (s.ok()) s = OpenConverters();
  if (!s.ok()) {
    FreePart();
    return s;
  }

  // The players' decoder buffer starts where the encoder's rate control starts it.
  modelBuffer_ = (video_->codec_id == AV_CODEC_ID_MPEG1VIDEO || video_->codec_id == AV_CODEC_ID_MPEG2VIDEO) &&
                 video_->rc_buffer_size > 0 && video_->rc_max_rate > 0;
  if (modelBuffer_)
    buffer_ = DecoderBuffer(DecoderBuffer::For(video_->rc_min_rate, video_->rc_max_rate, video_->rc_buffer_size,
                                               av_q2d(cfg_.frameRate)),
                            video_->rc_initial_buffer_occupancy);
  headerBytes_ = avio_tell(fmt_->pb);
  picturesInPart_ = 0;
  payloadBytes_ = 0;
  largestStep_ = 0;
  packetsInPart_ = 0;
  return {};
}

Status EncodingSession::OpenMuxer(const std::string& path) {
  if (avformat_alloc_output_context2(&fmt_, nullptr, cfg_.muxer.c_str(), path.c_str()) < 0 || !fmt_)
    return Status::Fail(E_FAIL, "The file format \"" + cfg_.muxer + "\" is not available on this system.");
  globalHeader_ = (fmt_->oformat->flags & AVFMT_GLOBALHEADER) != 0;
  return {};
}

Status EncodingSession::OpenVideoCoder(double initialFullness, AVCodecContext** coder) const {
  const AVCodec* vcodec = avcodec_find_encoder_by_name(cfg_.videoEncoder.c_str());
  AVCodecContext* c = vcodec ? avcodec_alloc_context3(vcodec) : nullptr;
  if (!c) return Status::Fail(E_OUTOFMEMORY, "Out of memory.");
  c->width = cfg_.width;
  c->height = cfg_.height;
  c->time_base = timeBase_;
  c->framerate = cfg_.frameRate;
  c->pix_fmt = AV_PIX_FMT_YUV420P;
  // Studio levels (black at 16, white at 235), as on the disc.
  c->color_range = AVCOL_RANGE_MPEG;
  if (vcodec->pix_fmts) {
    bool has420 = false;
    for (const AVPixelFormat* p = vcodec->pix_fmts; *p != AV_PIX_FMT_NONE; ++p)
      has420 = has420 || *p == AV_PIX_FMT_YUV420P;
    if (!has420) c->pix_fmt = vcodec->pix_fmts[0];
  }
  c->gop_size = cfg_.gopSize;
  c->max_b_frames = cfg_.maxBFrames;
  if (cfg_.bitRate > 0) c->bit_rate = cfg_.bitRate;
  c->rc_max_rate = cfg_.maxRate;
  c->rc_min_rate = cfg_.minRate;
  c->rc_buffer_size = cfg_.bufferBits;
  if (initialFullness >= 0 && cfg_.bufferBits > 0)
    c->rc_initial_buffer_occupancy = std::clamp(static_cast<int>(initialFullness), 1, cfg_.bufferBits);
  if (cfg_.closedGop) c->flags |= AV_CODEC_FLAG_CLOSED_GOP;
  if (cfg_.interlaced) c->flags |= AV_CODEC_FLAG_INTERLACED_DCT | AV_CODEC_FLAG_INTERLACED_ME;
  if (cfg_.meRange > 0) c->me_range = cfg_.meRange;
  if (cfg_.displayAspect.num > 0)
    c->sample_aspect_ratio = av_mul_q(cfg_.displayAspect, AVRational{cfg_.height, cfg_.width});
  if (cfg_.codecTag) c->codec_tag = cfg_.codecTag;
  // Slices of a picture coded side by side. Frame threads would hold pictures back and
  // make the size after each picture depend on timing, so encoders without slices stay
  // on the worker's thread; so do MPEG-1 and MPEG-2, whose pictures at a VCD's or an
  // SVCD's rate lose 0.2 dB already to two slices' own headers and predictions (they use
  // the processors through runs of GOPs instead).
  const bool slicesCostQuality = vcodec->id == AV_CODEC_ID_MPEG1VIDEO || vcodec->id == AV_CODEC_ID_MPEG2VIDEO;
  if (cfg_.videoThreads > 1 && !slicesCostQuality &&
      (vcodec->capabilities & (AV_CODEC_CAP_SLICE_THREADS | AV_CODEC_CAP_OTHER_THREADS))) {
    c->thread_count = cfg_.videoThreads;
    c->thread_type = FF_THREAD_SLICE;
  } else {
    c->thread_count = 1;
  }
  if (globalHeader_) c->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
  Dict opts(cfg_.videoOptions);
  // Scene-cut key pictures would open GOPs that reference across the cut.
  if (cfg_.closedGop) av_dict_set(&opts.d, "sc_threshold", "1000000000", 0);
  if (const int err = avcodec_open2(c, vcodec, &opts.d); err < 0) {
    avcodec_free_context(&c);
    return Status::Fail(E_FAIL, "The video encoder \"" + cfg_.videoEncoder + "\" refused the settings (" +
                                    std::to_string(cfg_.width) + "x" + std::to_string(cfg_.height) +
                                    "): " + AvErrorText(err));
  }
  *coder = c;
  return {};
}

Status EncodingSession::AddStreams() {
  videoStream_ = avformat_new_stream(fmt_, nullptr);
  audioStream_ = avformat_new_stream(fmt_, nullptr);
  if (!videoStream_ || !audioStream_) return Status::Fail(E_OUTOFMEMORY, "Out of memory.");
  avcodec_parameters_from_context(videoStream_->codecpar, video_);
  avcodec_parameters_from_context(audioStream_->codecpar, sound_->Codec());
  videoStream_->time_base = video_->time_base;
  videoStream_->avg_frame_rate = cfg_.frameRate;
  videoStream_->sample_aspect_ratio = video_->sample_aspect_ratio;
  audioStream_->time_base = sound_->Codec()->time_base;
  // The MPEG multiplexer sizes its buffers from the encoder's rate-control properties.
  for (int i = 0; i < video_->nb_coded_side_data; ++i) {
    const AVPacketSideData& sd = video_->coded_side_data[i];
    if (std::uint8_t* dst = av_stream_new_side_data(videoStream_, sd.type, sd.size))
      std::memcpy(dst, sd.data, sd.size);
  }
  return {};
}

Status EncodingSession::OpenConverters() {
  // Bitmap rows for YUV 4:2:0 pictures are converted by our own rows code; swscale keeps the
  // levels only on its slow exact path.
  const bool needSws = video_->pix_fmt != AV_PIX_FMT_YUV420P;
  // One scaler for each thread that converts pictures, all alike.
  const int scalers = needSws && converters_.empty() ? std::max(1, cfg_.converters) : 0;
  for (int i = 0; i < scalers; ++i) {
    const AVPixelFormat src =
        cfg_.input == SessionConfig::Input::Dib24BottomUp ? AV_PIX_FMT_BGR24 : AV_PIX_FMT_YUV420P;
    SwsContext* sws = sws_getContext(cfg_.width, cfg_.height, src, cfg_.width, cfg_.height, video_->pix_fmt,
                                     SWS_BICUBIC | SWS_ACCURATE_RND, nullptr, nullptr, nullptr);
    if (!sws) {
      FreeConverters();
      return Status::Fail(E_FAIL, "The picture converter could not be set up.");
    }
    if (src == AV_PIX_FMT_BGR24) {
      // The bitmap's RGB keeps the pictures' studio levels (Y itself, no stretch), so the
      // unscaled BT.601 matrix gives each Y back as it was; the scaled one would squeeze
      // the levels a second time (black 16 -> 30, white 235 -> 218).
      const int* bt601 = sws_getCoefficients(SWS_CS_ITU601);
      sws_setColorspaceDetails(sws, bt601, 1, bt601, 1, 0, 1 << 16, 1 << 16);
    }
    converters_.push_back({sws, {}});
  }
  return {};
}

Status EncodingSession::CheckIo(const char* what) {
  if (fmt_ && fmt_->pb && fmt_->pb->error < 0) {
    const int err = fmt_->pb->error;
    return Status::Fail(HresultFromAvError(err), std::string("Can not ") + what + " the output file \"" +
                                                     files_.back() + "\": " + AvErrorText(err));
  }
  return {};
}

void FreePackets(PacketList* packets) {
  for (AVPacket*& p : *packets) av_packet_free(&p);
  packets->clear();
}

Status EncodingSession::WriteVideo(AVPacket* packet) {
  if (modelBuffer_) {
    if (av_packet_make_writable(packet) < 0) return Status::Fail(E_OUTOFMEMORY, "Out of memory.");
    // Zero bytes ahead of the picture (a seam's stuffing) leave with the picture before.
    const std::int64_t lead = coded::LeadingStuffing(packet);
    buffer_.TakeStuffing(lead);
    const double before = buffer_.Fullness();
    const std::int64_t stuffing = buffer_.TakeOut(8LL * (packet->size - lead));
    if (!coded::AppendStuffing(packet, stuffing)) return Status::Fail(E_OUTOFMEMORY, "Out of memory.");
    // Each picture says how full the buffer is when it arrives, as the stream really goes;
    // the encoder's own figure leaves out stuffing and does not know of earlier runs.
    if (buffer_.Parameters().constantRate) coded::SetVbvDelay(packet, before, buffer_.Parameters().bitRate);
  }
  return Write(packet);
}

Status EncodingSession::WriteCoded(PacketList* video, PacketList* sound) {
  ++picturesInPart_;
  ++picturesInRun_;
  const std::int64_t before = payloadBytes_;
  Status s;
  for (AVPacket* p : *video) {
    if (!s.ok()) break;
    av_packet_rescale_ts(p, timeBase_, videoStream_->time_base);
    p->stream_index = videoStream_->index;
    s = WriteVideo(p);
  }
  for (AVPacket* p : *sound)
    if (s.ok()) s = Write(p);
  FreePackets(video);
  FreePackets(sound);
  if (s.ok()) s = CheckIo("write");
  largestStep_ = std::max(largestStep_, payloadBytes_ - before);
  return s;
}

int EncodingSession::CodedGopLength() const {
  AVCodecContext* coder = nullptr;
  if (!OpenVideoCoder(-1.0, &coder).ok()) return 0;
  AVFrame* frame = av_frame_alloc();
  AVPacket* packet = av_packet_alloc();
  std::vector<std::int64_t> keys;
  if (frame && packet) {
    frame->format = coder->pix_fmt;
    frame->width = cfg_.width;
    frame->height = cfg_.height;
    if (av_frame_get_buffer(frame, 0) >= 0) {
      for (int plane = 0; plane < 3 && frame->data[plane]; ++plane)
        std::memset(frame->data[plane], plane ? 128 : 16,
                    static_cast<std::size_t>(frame->linesize[plane]) * (plane ? (cfg_.height + 1) / 2 : cfg_.height));
      const int pictures = 3 * std::max(1, cfg_.gopSize) + 2;
      for (int n = 0; n <= pictures && keys.size() < 3; ++n) {
        if (n < pictures) {
          frame->pts = n;
          if (avcodec_send_frame(coder, frame) < 0) break;
        } else if (avcodec_send_frame(coder, nullptr) < 0) {
          break;
        }
        while (avcodec_receive_packet(coder, packet) >= 0) {
          if (packet->flags & AV_PKT_FLAG_KEY) keys.push_back(packet->pts);
          av_packet_unref(packet);
        }
      }
    }
  }
  av_packet_free(&packet);
  av_frame_free(&frame);
  avcodec_free_context(&coder);
  return keys.size() >= 3 && keys[2] - keys[1] == keys[1] - keys[0] ? static_cast<int>(keys[1] - keys[0]) : 0;
}

Status EncodingSession::PooledPicture(AVFrame* out) {
  constexpr int kAlign = 64;
  const auto format = static_cast<AVPixelFormat>(pictureFormat_);
  const int bytes = av_image_get_buffer_size(format, cfg_.width, cfg_.height, kAlign);
  if (bytes <= 0) return Status::Fail(E_FAIL, "The picture size can not be held.");
  if (!picturePool_) picturePool_ = std::make_unique<PicturePool>(static_cast<std::size_t>(bytes) + kAlign);
  AVBufferRef* buffer = picturePool_->Get();
  if (!buffer) return Status::Fail(E_OUTOFMEMORY, "Out of memory.");
  av_frame_unref(out);
  out->buf[0] = buffer;
  out->format = format;
  out->width = cfg_.width;
  out->height = cfg_.height;
  if (av_image_fill_arrays(out->data, out->linesize, buffer->data, format, cfg_.width, cfg_.height, kAlign) < 0) {
    av_frame_unref(out);
    return Status::Fail(E_FAIL, "The picture size can not be held.");
  }
  return {};
}

void EncodingSession::PrepareFrame(AVFrame* picture) const {
  if (cfg_.interlaced) {
    picture->interlaced_frame = 1;
    picture->top_field_first = 1;
  }
}

double EncodingSession::RateBoundBytes(std::int64_t pictures) const {
  const double fps = av_q2d(cfg_.frameRate);
  const double n = static_cast<double>(pictures);
  if (cfg_.constantMuxRate > 0) {
    // A multiplex padded to a constant rate writes that rate from its first clock on, and
    // its last pack arrives before the last picture is decoded: the preload, the pictures'
    // time and a picture more for the reordering, and the packs it is working on.
    const double bytesPerSecond = static_cast<double>(cfg_.constantMuxRate) / 8.0;
    return static_cast<double>(headerBytes_) + (cfg_.preloadSeconds + (n + 2.0) / fps) * bytesPerSecond +
           4.0 * 2324.0;
  }
  // The pictures can hold no more than the peak rate brings in plus a full decoder
  // buffer; the sound comes at its rate, with a frame more and the silence that ends a
  // part; packs and packet headers add at most 4 % and a few headers a picture.
  const double payload = (static_cast<double>(cfg_.maxRate) + static_cast<double>(cfg_.audioBitRate)) / 8.0 / fps;
  const double slack = cfg_.bufferBits / 8.0 + 2.0 * static_cast<double>(cfg_.audioBitRate) / 8.0 + 65536.0;
  return static_cast<double>(headerBytes_) + n * (1.04 * payload + 72.0) + slack;
}

Status EncodingSession::Write(AVPacket* packet) {
  payloadBytes_ += packet->size;
  ++packetsInPart_;
  const int err = av_interleaved_write_frame(fmt_, packet);
  if (err < 0) {
    Status io = CheckIo("write");
    if (!io.ok()) return io;
    return Status::Fail(HresultFromAvError(err), "Can not write the output file \"" + files_.back() +
                                                     "\": " + AvErrorText(err));
  }
  return {};
}

Status EncodingSession::Send(AVFrame* frame) {
  const int sent = avcodec_send_frame(video_, frame);
  if (sent < 0 && sent != AVERROR_EOF) return Status::Fail(E_FAIL, "The video encoder failed: " + AvErrorText(sent));
  for (;;) {
    const int err = avcodec_receive_packet(video_, packet_);
    if (err == AVERROR(EAGAIN) || err == AVERROR_EOF) return {};
    if (err < 0) return Status::Fail(E_FAIL, "Encoding failed: " + AvErrorText(err));
    av_packet_rescale_ts(packet_, video_->time_base, videoStream_->time_base);
    packet_->stream_index = videoStream_->index;
    if (Status s = WriteVideo(packet_); !s.ok()) return s;
  }
}

void EncodingSession::ToSoundStream(PacketList* packets) const {
  for (AVPacket* p : *packets) {
    av_packet_rescale_ts(p, sound_->Codec()->time_base, audioStream_->time_base);
    p->stream_index = audioStream_->index;
  }
}

Status EncodingSession::CheckOpen() const {
  if (!failure_.ok()) return failure_;
  if (!open_) return Status::Fail(E_UNEXPECTED, "The encoder has not been started.");
  return {};
}

Status EncodingSession::BreakOff(const Status& s) {
  // Pictures the encoder still holds back for its B-pictures are written where the file
  // can still take them: the file then ends on the last picture given, in its place.
  if (open_ && video_ && fmt_ && fmt_->pb && fmt_->pb->error >= 0) Send(nullptr);
  failure_ = s;
  FreeAll();
  open_ = false;
  return s;
}

Status EncodingSession::Encode(const BYTE* const planes[3], const std::int16_t* sound, std::size_t soundBytes) {
  if (Status s = CheckOpen(); !s.ok()) return s;
  if (Status s = CheckPicture(planes, sound, soundBytes); !s.ok()) return s;
  Status s = EncodeSound(sound, soundBytes, &soundPackets_);
  if (s.ok()) s = ConvertPicture(planes, picture_);
  if (s.ok()) s = EncodePicture(picture_, &soundPackets_);
  FreePackets(&soundPackets_);
  return s.ok() ? s : BreakOff(s);
}

Status EncodingSession::EncodeSound(const std::int16_t* sound, std::size_t soundBytes, PacketList* packets) {
  PacketList coded;
  const Status s = sound_->Encode(sound, soundBytes, &coded);
  ToSoundStream(&coded);
  packets->insert(packets->end(), coded.begin(), coded.end());
  return s;
}

Status EncodingSession::ConvertPicture(const BYTE* const planes[3], AVFrame* out, int converter) {
  if (!out->data[0] || !av_frame_is_writable(out)) {
    // The encoder may still hold the frame's last picture for its B-pictures: a new buffer.
    av_frame_unref(out);
    out->format = pictureFormat_;
    out->width = cfg_.width;
    out->height = cfg_.height;
    if (av_frame_get_buffer(out, 0) < 0) return Status::Fail(E_OUTOFMEMORY, "Out of memory.");
  }
  const int w = cfg_.width, h = cfg_.height;
  Converter* c = converters_.empty() ? nullptr : &converters_[static_cast<std::size_t>(converter) % converters_.size()];
  const int stride = (3 * w + 3) & ~3;
  if (cfg_.input == SessionConfig::Input::Dib24BottomUp && !c) {
    BitmapToPlanes rows;
    rows.top = planes[0] + static_cast<std::ptrdiff_t>(stride) * (h - 1);
    rows.stride = -stride;
    rows.width = w;
    rows.y = out->data[0];
    rows.u = out->data[1];
    rows.v = out->data[2];
    rows.yStride = out->linesize[0];
    rows.uStride = out->linesize[1];
    rows.vStride = out->linesize[2];
    Bgr24RowsToYuv420(rows, 0, h);
  } else if (cfg_.input == SessionConfig::Input::Dib24BottomUp) {
    // The scaler's SIMD readers may look a few bytes past a row; the caller's
    // bitmap ends right after its last row, so they read a padded copy.
    const std::size_t bytes = static_cast<std::size_t>(stride) * h;
    c->rows.resize(bytes + 64);
    std::memcpy(c->rows.data(), planes[0], bytes);
    const std::uint8_t* src[4] = {c->rows.data() + static_cast<std::ptrdiff_t>(stride) * (h - 1), nullptr,
                                  nullptr, nullptr};
    const int strides[4] = {-stride, 0, 0, 0};
    sws_scale(c->sws, src, strides, 0, h, out->data, out->linesize);
  } else if (c) {
    const std::uint8_t* src[4] = {planes[0], planes[1], planes[2], nullptr};
    const int strides[4] = {w, w / 2, w / 2, 0};
    sws_scale(c->sws, src, strides, 0, h, out->data, out->linesize);
  } else {
    av_image_copy_plane(out->data[0], out->linesize[0], planes[0], w, w, h);
    av_image_copy_plane(out->data[1], out->linesize[1], planes[1], w / 2, w / 2, h / 2);
    av_image_copy_plane(out->data[2], out->linesize[2], planes[2], w / 2, w / 2, h / 2);
  }
  return {};
}

Status FaultMadeOnPurpose(std::int64_t picture) {
  return Status::Fail(E_FAIL, "The video encoder failed on picture " + std::to_string(picture) +
                                  " (a fault made on purpose).");
}

Status EncodingSession::EncodePicture(AVFrame* picture, PacketList* sound) {
  PrepareFrame(picture);
  if (cfg_.failAtPicture > 0 && picturesInRun_ + 1 == cfg_.failAtPicture) {
    FreePackets(sound);
    return FaultMadeOnPurpose(cfg_.failAtPicture);
  }
  picture->pts = picturesInPart_++;
  ++picturesInRun_;

  const std::int64_t before = payloadBytes_;
  Status s = Send(picture);
  // The picture's sound goes after the picture's own packets, as when encoded in turn.
  for (AVPacket* p : *sound)
    if (s.ok()) s = Write(p);
  FreePackets(sound);
  if (s.ok()) s = CheckIo("write");
  largestStep_ = std::max(largestStep_, payloadBytes_ - before);
  return s;
}

Status EncodingSession::CheckPicture(const BYTE* const planes[3], const std::int16_t* sound,
                                     std::size_t soundBytes) const {
  if (!planes[0] || (cfg_.input == SessionConfig::Input::Yuv420Planes && (!planes[1] || !planes[2])))
    return Status::Fail(E_POINTER, "No picture was given to the encoder.");
  if (soundBytes % 4 != 0)
    return Status::Fail(E_INVALIDARG, "The sound of a picture must be whole 16-bit stereo samples.");
  if (soundBytes > 0 && !sound) return Status::Fail(E_POINTER, "The sound of the picture is missing.");
  // More than ten seconds of sound for one picture is no sound but a bad count.
  if (soundBytes > static_cast<std::size_t>(cfg_.inputSampleRate) * 4 * 10)
    return Status::Fail(E_INVALIDARG, "The sound byte count " + std::to_string(soundBytes) +
                                          " of one picture is not plausible.");
  return {};
}

double EncodingSession::ProjectedBytes(int picturesAhead) const {
  if (!open_ || !fmt_ || !fmt_->pb) return 0.0;
  const double written = static_cast<double>(avio_tell(fmt_->pb));
  // Multiplexers hold back up to a second of data; the packet bytes handed over,
  // plus the pack and index overhead, bound what closing adds.
  const double handed = static_cast<double>(headerBytes_) + 1.04 * static_cast<double>(payloadBytes_) +
                        24.0 * static_cast<double>(packetsInPart_);
  return std::max(written, handed) + (1.0 + picturesAhead) * static_cast<double>(largestStep_) + 16384.0;
}

Status EncodingSession::ClosePart(bool last) {
  Status s = Send(nullptr);
  const std::int64_t videoSamples =
      av_rescale_q(picturesInPart_, timeBase_, AVRational{1, cfg_.audioSampleRate});
  if (s.ok()) {
    PacketList coded;
    s = sound_->EndPart(videoSamples, last, &coded);
    ToSoundStream(&coded);
    for (AVPacket* p : coded)
      if (s.ok()) s = Write(p);
    FreePackets(&coded);
  }
  if (s.ok()) {
    if (int err = av_write_trailer(fmt_); err < 0) {
      s = CheckIo("finish");
      if (s.ok()) s = Status::Fail(HresultFromAvError(err), "Can not finish the output file \"" + files_.back() +
                                                                "\": " + AvErrorText(err));
    }
  }
  if (s.ok()) s = CheckIo("finish");
  if (fmt_ && fmt_->pb) {
    avio_flush(fmt_->pb);
    if (s.ok()) s = CheckIo("finish");
    const int err = avio_closep(&fmt_->pb);
    if (s.ok() && err < 0)
      s = Status::Fail(HresultFromAvError(err), "Can not close the output file \"" + files_.back() + "\": " +
                                                    AvErrorText(err));
  }
  FreePart();
  return s;
}

Status EncodingSession::Split() {
  if (Status s = CheckOpen(); !s.ok()) return s;
  if (picturesInPart_ < cfg_.minPicturesPerPart && ProjectedBytes() < cfg_.minPartBytes) return {S_FALSE, {}};
  Status s = ClosePart(false);
  if (s.ok()) s = OpenPart();
  return s.ok() ? s : BreakOff(s);
}

Status EncodingSession::AbandonEmptyRun() {
  // No trailer: the file goes anyway, and on a full disk writing it could only fail.
  FreePart();
  for (const std::string& path : files_) {
    std::error_code ec;
    // Only files of our own: a device such as /dev/null stays.
    if (std::filesystem::is_regular_file(path, ec)) std::filesystem::remove(path, ec);
  }
  const std::string& path = files_.empty() ? cfg_.path : files_.front();
  return Status::Fail(E_FAIL, "No picture was encoded, so no file was written (\"" + path +
                                  "\" would hold nothing to play).");
}

Status EncodingSession::Finish() {
  if (!open_) return failure_;
  if (cfg_.refuseEmptyRun && picturesInRun_ == 0) return BreakOff(AbandonEmptyRun());
  const Status s = ClosePart(true);
  if (!s.ok()) return BreakOff(s);
  FreeAll();
  open_ = false;
  return s;
}

void EncodingSession::FreePart() {
  if (fmt_) {
    if (fmt_->pb) avio_closep(&fmt_->pb);
    avformat_free_context(fmt_);
    fmt_ = nullptr;
  }
  videoStream_ = audioStream_ = nullptr;
  avcodec_free_context(&video_);
  sound_->ClosePart();
  av_frame_free(&picture_);
  av_packet_free(&packet_);
}

void EncodingSession::FreeConverters() {
  for (Converter& c : converters_) sws_freeContext(c.sws);
  converters_.clear();
}

void EncodingSession::FreeAll() {
  FreePackets(&soundPackets_);
  // A file cut short by a failure still gets its trailer where the disk allows,
  // so that what was written stays playable. An open part always has its header:
  // OpenPart frees a part that fails before it is written.
  if (fmt_ && fmt_->pb && fmt_->pb->error >= 0) av_write_trailer(fmt_);
  FreePart();
  FreeConverters();
  sound_->Free();
  // Buffers still out are freed when they come back.
  picturePool_.reset();
}

}  // namespace outside
