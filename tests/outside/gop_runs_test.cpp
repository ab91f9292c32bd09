// Runs of GOPs whose seam the decoder buffer refuses: the joiner codes such a run again
// from the fullness the stream really has there, before anything of it is written. The
// detailed titles never need that, so here the stream's buffer is held low on purpose.
#include <gtest/gtest.h>

#include <encoders/gop_runs.h>

#include <algorithm>
#include <cstdint>
#include <mutex>
#include <random>
#include <string>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/dict.h>
#include <libavutil/frame.h>
}

namespace {

using outside::DecoderBuffer;
using outside::GopRuns;
using outside::PacketList;
using outside::Status;

constexpr int kWidth = 352, kHeight = 288;
constexpr std::int64_t kRate = 1150000;
constexpr int kBufferBits = 20 * 16384;
// Far below what an I-picture of detailed pictures needs at this rate.
constexpr double kLowFullness = 60000;

// A VCD's picture encoder, as the MPEG encoder sets it up.
Status OpenCoder(double fullness, AVCodecContext** out) {
  const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_MPEG1VIDEO);
  AVCodecContext* c = codec ? avcodec_alloc_context3(codec) : nullptr;
  if (!c) return Status::Fail(E_FAIL, "no MPEG-1 encoder");
  c->width = kWidth;
  c->height = kHeight;
  c->time_base = {1, 25};
  c->framerate = {25, 1};
  c->pix_fmt = AV_PIX_FMT_YUV420P;
  c->gop_size = 15;
  c->max_b_frames = 2;
  c->bit_rate = c->rc_max_rate = c->rc_min_rate = kRate;
  c->rc_buffer_size = kBufferBits;
  if (fullness >= 0) c->rc_initial_buffer_occupancy = std::clamp(static_cast<int>(fullness), 1, kBufferBits);
  c->flags |= AV_CODEC_FLAG_CLOSED_GOP;
  c->thread_count = 1;
  AVDictionary* opts = nullptr;
  av_dict_set(&opts, "trellis", "1", 0);
  av_dict_set(&opts, "lmax", std::to_string(4 * 31 * 118).c_str(), 0);
  av_dict_set(&opts, "sc_threshold", "1000000000", 0);
  const int err = avcodec_open2(c, codec, &opts);
  av_dict_free(&opts);
  if (err < 0) {
    avcodec_free_context(&c);
    return Status::Fail(E_FAIL, "the encoder refused the settings");
  }
  *out = c;
  return {};
}

// A detailed picture that moves: noise over a pattern shifted by the picture's number.
AVFrame* Picture(int number, std::mt19937* noise) {
  AVFrame* f = av_frame_alloc();
  f->format = AV_PIX_FMT_YUV420P;
  f->width = kWidth;
  f->height = kHeight;
  if (av_frame_get_buffer(f, 0) < 0) {
    av_frame_free(&f);
    return nullptr;
  }
  std::uniform_int_distribution<int> grain(-24, 24);
  for (int y = 0; y < kHeight; ++y)
    for (int x = 0; x < kWidth; ++x)
      f->data[0][y * f->linesize[0] + x] =
          static_cast<std::uint8_t>(std::clamp(((x + 2 * number) ^ y) % 200 + 30 + grain(*noise), 16, 235));
  for (int plane = 1; plane <= 2; ++plane)
    for (int y = 0; y < kHeight / 2; ++y)
      for (int x = 0; x < kWidth / 2; ++x)
        f->data[plane][y * f->linesize[plane] + x] = static_cast<std::uint8_t>(128 + ((x + y + number) % 32) - 16);
  return f;
}

// How many pictures the encoder puts in a closed GOP: the runs are whole GOPs. 0 where
// it could not be found.
int EncoderGop() {
  int gop = 0;
  AVCodecContext* c = nullptr;
  if (!OpenCoder(-1, &c).ok()) return 0;
  AVPacket* p = av_packet_alloc();
  for (int i = 0; i < 40 && p; ++i) {
    std::mt19937 n(1);
    AVFrame* f = Picture(0, &n);
    if (!f) break;
    f->pts = i;
    const int err = avcodec_send_frame(c, f);
    av_frame_free(&f);
    if (err < 0) break;
    while (avcodec_receive_packet(c, p) >= 0) {
      if (p->flags & AV_PKT_FLAG_KEY && p->pts > 0 && gop == 0) gop = static_cast<int>(p->pts);
      av_packet_unref(p);
    }
  }
  av_packet_free(&p);
  avcodec_free_context(&c);
  return gop;
}

// Runs of a VCD's pictures on two coders, as the MPEG encoder sets them up but shorter.
GopRuns::Settings TwoCoders(int gop, int runLength) {
  GopRuns::Settings settings;
  settings.runLength = runLength;
  settings.coders = 2;
  settings.gopLength = gop;
  settings.heldPictures = 2;
  settings.warmUp = 2 * gop;
  settings.resyncWarmUp = gop;
  settings.warmUpStart = 0.7 * kBufferBits;
  settings.warmUpFloorPictures = gop;
  settings.warmUpLeastLambda = 14 * 118;
  settings.buffer = DecoderBuffer::For(kRate, kRate, kBufferBits, 25.0);
  return settings;
}

// The sink's calls both tests answer alike: the stream's buffer, every picture written, no failure.
void AnswerAlike(GopRuns::Sink* sink, std::mutex& mu, bool& done, const DecoderBuffer& buffer) {
  sink->buffer = [&buffer]() -> const DecoderBuffer& { return buffer; };
  sink->done = [&mu, &done](bool written) {
    std::lock_guard lock(mu);
    done = done && written;
  };
  sink->fail = [](const Status& s) { ADD_FAILURE() << "the runs failed: " << s.message; };
}

TEST(GopRunsRecode, ARunTheBufferRefusesAtItsSeamIsCodedAgainFromTheTrueFullnessBeforeItIsWritten) {
  const int gop = EncoderGop();
  ASSERT_GT(gop, 1);

  const GopRuns::Settings settings = TwoCoders(gop, 2 * gop);

  std::mutex mu;
  std::vector<double> opened;             // the fullness each encoder instance started from
  std::vector<std::int64_t> writtenAt;    // the picture number of each write
  std::vector<std::vector<std::int64_t>> runBits(1);
  std::vector<int> runPictures(1);
  bool done = true;
  // The stream's buffer stands low at every seam, lower than any run's rate control took it.
  const DecoderBuffer low(settings.buffer, kLowFullness);
  GopRuns::Sink sink;
  sink.openCoder = [&](double fullness, AVCodecContext** c) {
    std::lock_guard lock(mu);
    opened.push_back(fullness);
    return OpenCoder(fullness, c);
  };
  sink.write = [&](PacketList* video, PacketList* sound, std::int64_t picture) {
    std::lock_guard lock(mu);
    writtenAt.push_back(picture);
    // A run starts at a multiple of its length; its bits walk from the low fullness.
    if (picture % settings.runLength == 0 && picture > 0) {
      runBits.emplace_back();
      runPictures.push_back(0);
    }
    ++runPictures.back();
    for (AVPacket* p : *video) runBits.back().push_back(8LL * p->size);
    outside::FreePackets(video);
    outside::FreePackets(sound);
    return Status{};
  };
  AnswerAlike(&sink, mu, done, low);

  constexpr int kRuns = 5;
  const int pictures = kRuns * settings.runLength;
  {
    GopRuns runs(settings, std::move(sink));
    std::mt19937 noise(7);
    for (int i = 0; i < pictures; ++i) {
      PacketList none;
      AVFrame* f = Picture(i, &noise);
      ASSERT_NE(f, nullptr);
      ASSERT_TRUE(runs.Put(f, &none));
    }
    runs.Close();
  }
  EXPECT_TRUE(done) << "a picture was dropped";
  ASSERT_EQ(static_cast<int>(writtenAt.size()), pictures);
  for (int i = 0; i < pictures; ++i) ASSERT_EQ(writtenAt[static_cast<std::size_t>(i)], i) << "written out of order";
  // Every run after the first was coded again from the stream's own fullness...
  const auto again = std::count(opened.begin(), opened.end(), kLowFullness);
  EXPECT_EQ(again, kRuns - 1);
  ASSERT_EQ(static_cast<int>(runBits.size()), kRuns);
  for (int r = 1; r < kRuns; ++r) {
    SCOPED_TRACE("run " + std::to_string(r));
    // ...with one coded picture for each picture given, and the buffer whole from there.
    EXPECT_EQ(static_cast<int>(runBits[static_cast<std::size_t>(r)].size()), settings.runLength);
    EXPECT_LT(low.FirstShortfall(runBits[static_cast<std::size_t>(r)], 0), 0);
  }
  // The first run's own coding, from the encoder's start, would not have fitted there:
  // the seams were really refused, not coded again for nothing.
  EXPECT_GE(low.FirstShortfall(runBits[0], 0), 0);
}

// A part's last runs start one after another as their pictures come, so they would end one
// after another with processors idle; a coder done early takes over the second half of a
// run still being coded. The stream must not show it: every picture once and in order, the
// GOPs where one encoder puts them, the decoder buffer whole across the new seam.
TEST(GopRunsSplit, WhileThePartDrainsAnIdleCoderTakesOverHalfOfARunAndTheStreamStaysWhole) {
  const int gop = EncoderGop();
  ASSERT_GT(gop, 1);
  const GopRuns::Settings settings = TwoCoders(gop, 20 * gop);  // the part's one run

  // The stream's own buffer, from where the part's first encoder starts it.
  double partStart = 0;
  {
    AVCodecContext* c = nullptr;
    ASSERT_TRUE(OpenCoder(-1, &c).ok());
    partStart = c->rc_initial_buffer_occupancy;
    avcodec_free_context(&c);
  }
  DecoderBuffer stream(settings.buffer, partStart);
  std::mutex mu;
  int opened = 0;
  std::vector<std::int64_t> writtenAt, keyAt;
  int underflows = 0;
  bool done = true;
  GopRuns::Sink sink;
  sink.openCoder = [&](double fullness, AVCodecContext** c) {
    std::lock_guard lock(mu);
    ++opened;
    return OpenCoder(fullness, c);
  };
  sink.write = [&](PacketList* video, PacketList* sound, std::int64_t picture) {
    std::lock_guard lock(mu);
    writtenAt.push_back(picture);
    for (AVPacket* p : *video) {
      if (p->flags & AV_PKT_FLAG_KEY) keyAt.push_back(picture);
      const std::int64_t lead = outside::coded::LeadingStuffing(p);
      stream.TakeStuffing(lead);
      const std::int64_t bits = 8LL * (p->size - lead);
      if (static_cast<double>(bits) > stream.Fullness()) ++underflows;
      stream.TakeOut(bits);
    }
    outside::FreePackets(video);
    outside::FreePackets(sound);
    return Status{};
  };
  AnswerAlike(&sink, mu, done, stream);

  // Made first, so that they are all given before the first coder is far.
  const int pictures = settings.runLength;
  std::vector<AVFrame*> frames;
  std::mt19937 noise(11);
  for (int i = 0; i < pictures; ++i) {
    frames.push_back(Picture(i, &noise));
    ASSERT_NE(frames.back(), nullptr);
  }
  {
    GopRuns runs(settings, std::move(sink));
    for (AVFrame* f : frames) {
      PacketList none;
      ASSERT_TRUE(runs.Put(f, &none));
    }
    runs.Close();
  }
  EXPECT_TRUE(done) << "a picture was dropped";
  // The idle coder opened an instance of its own for the half it took over.
  EXPECT_GE(opened, 2);
  ASSERT_EQ(static_cast<int>(writtenAt.size()), pictures);
  for (int i = 0; i < pictures; ++i) ASSERT_EQ(writtenAt[static_cast<std::size_t>(i)], i) << "written out of order";
  // A GOP's I-picture comes out once the pictures it holds back for its B-pictures are given.
  ASSERT_FALSE(keyAt.empty());
  EXPECT_LE(keyAt.front(), settings.heldPictures);
  std::vector<std::int64_t> groups;
  for (std::int64_t g = 0; g < pictures; g += gop) groups.push_back(g + keyAt.front());
  EXPECT_EQ(keyAt, groups);
  EXPECT_EQ(underflows, 0);
}

}  // namespace
