// Runs of GOPs coded side by side and joined in order.
#include "gop_runs.h"

#include <algorithm>
#include <utility>
#include <cstdlib>
#include <cmath>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/frame.h>
}

namespace outside {

namespace {
// A run coded from an assumed fullness is taken only where each of its pictures is in the
// buffer with this much to spare at the true one: the pictures' vbv_delay stands for the
// fullness less the header before it, which a player's check counts from.
constexpr double kSeamMarginBits = 1024;
}  // namespace

struct GopRuns::Run {
  std::int64_t first = 0;         // number of its first picture in the part
  std::int64_t firstOverall = 0;  // the same over the whole encoding
  std::size_t index = 0;          // its number in the part
  double start = -1;              // the fullness it is coded from; below 0 for the part's own
  std::vector<AVFrame*> frames;
  // The last pictures of the run before (whole GOPs), coded first and thrown away, so that
  // the rate control comes to the run's first picture with the history and the buffer
  // level that the pictures before it give, as one encoder coding on would.
  std::vector<AVFrame*> warmUp;
  double warmEnd = -1;  // the rate control's buffer fullness after the warm-up, in bits
  std::vector<PacketList> sound;
  bool inputEnded = false;
  bool taken = false;
  bool coded = false;
  Status status;
  // The packets that came out after each picture was given; the last picture's also hold
  // what the end of the run flushed out.
  std::vector<PacketList> video;

  ~Run() {
    for (AVFrame*& f : frames) av_frame_free(&f);
    for (AVFrame*& f : warmUp) av_frame_free(&f);
    for (PacketList& p : sound) FreePackets(&p);
    for (PacketList& p : video) FreePackets(&p);
  }
};

GopRuns::GopRuns(const Settings& settings, Sink sink) : settings_(settings), sink_(std::move(sink)) {
  try {
    for (int i = 0; i < std::max(1, settings_.coders); ++i) coders_.emplace_back([this] { Code(); });
    joiner_ = std::thread([this] { Join(); });
  } catch (...) {
    Close();
    throw;
  }
}

GopRuns::~GopRuns() { Close(); }

bool GopRuns::Put(AVFrame* picture, PacketList* sound) {
  std::unique_lock lock(mu_);
  Run* run = runs_.empty() ? nullptr : runs_.back().get();
  if (!failed_ && (!run || run->inputEnded || static_cast<int>(run->frames.size()) >= settings_.runLength)) {
    if (run && !run->inputEnded) {
      run->inputEnded = true;
      changed_.notify_all();
    }
    // The warm-up is taken now: once the wait below lets go of the lock, the run before may
    // be coded, joined and gone.
    std::vector<AVFrame*> warmUp;
    if (runsInPart_ > 0 && run) {
      const std::size_t keep = std::min(run->frames.size(), static_cast<std::size_t>(std::max(0, settings_.warmUp)));
      for (std::size_t i = run->frames.size() - keep; i < run->frames.size(); ++i)
        if (AVFrame* ref = av_frame_clone(run->frames[i])) {
          ref->pict_type = AV_PICTURE_TYPE_NONE;
          warmUp.push_back(ref);
        }
    }
    // Every run held is being coded or waits to be joined: that bounds the pictures held.
    changed_.wait(lock, [&] { return failed_ || static_cast<int>(runs_.size()) < std::max(1, settings_.coders); });
    if (failed_) {
      for (AVFrame*& f : warmUp) av_frame_free(&f);
    } else {
      auto next = std::make_unique<Run>();
      next->first = partPictures_;
      next->firstOverall = pictures_;
      next->index = runsInPart_;
      next->warmUp = std::move(warmUp);
      runsInPart_ = next->index + 1;
      next->start = next->index == 0 ? -1.0 : settings_.warmUpStart;
      run = next.get();
      runs_.push_back(std::move(next));
    }
  }
  if (failed_) {
    av_frame_free(&picture);
    FreePackets(sound);
    return false;
  }
  // A run after the part's first opens a closed GOP of its own, as the encoder coding on
  // would there: its length is a whole number of the encoder's GOPs.
  if (run->index > 0 && run->frames.empty()) picture->pict_type = AV_PICTURE_TYPE_I;
  run->frames.push_back(picture);
  run->sound.emplace_back();
  run->sound.back().swap(*sound);
  ++partPictures_;
  ++pictures_;
  changed_.notify_all();
  return true;
}

void GopRuns::Drain() {
  std::unique_lock lock(mu_);
  if (!runs_.empty() && !runs_.back()->inputEnded) {
    runs_.back()->inputEnded = true;
    changed_.notify_all();
  }
  changed_.wait(lock, [&] { return runs_.empty(); });
}

void GopRuns::NewPart() {
  std::lock_guard lock(mu_);
  partPictures_ = 0;
  runsInPart_ = 0;
}

void GopRuns::GiveUp() {
  {
    std::lock_guard lock(mu_);
    failed_ = true;
  }
  changed_.notify_all();
}

void GopRuns::Close() {
  if (!joiner_.joinable() && coders_.empty()) return;
  Drain();
  {
    std::lock_guard lock(mu_);
    closing_ = true;
  }
  changed_.notify_all();
  for (std::thread& t : coders_) t.join();
  coders_.clear();
  if (joiner_.joinable()) joiner_.join();
}

void GopRuns::Code() {
  for (;;) {
    Run* run = nullptr;
    {
      std::unique_lock lock(mu_);
      auto untaken = [&] {
        for (auto& r : runs_)
          if (!r->taken) return r.get();
        return static_cast<Run*>(nullptr);
      };
      changed_.wait(lock, [&] { return closing_ || untaken(); });
      run = untaken();
      if (!run) return;
      run->taken = true;
    }
    // A part's first run starts where the part's own stream does (the encoder's default).
    const Status s = CodeRun(*run, run->start, true);
    {
      std::lock_guard lock(mu_);
      run->status = s;
      run->coded = true;
      // A run given up early takes no more pictures: the next go to a run of their own.
      run->inputEnded = true;
    }
    changed_.notify_all();
  }
}

Status GopRuns::CodeRun(Run& run, double initialFullness, bool waitForInput) {
  AVCodecContext* coder = nullptr;
  if (Status s = sink_.openCoder(initialFullness, &coder); !s.ok()) return s;
  struct Free {
    AVCodecContext** c;
    ~Free() { avcodec_free_context(c); }
  } freeCoder{&coder};
  AVPacket* packet = av_packet_alloc();
  if (!packet) return Status::Fail(E_OUTOFMEMORY, "Out of memory.");
  struct FreePacket {
    AVPacket** p;
    ~FreePacket() { av_packet_free(p); }
  } freePacket{&packet};

  auto receive = [&](PacketList* into) -> Status {
    for (;;) {
      const int err = avcodec_receive_packet(coder, packet);
      if (err == AVERROR(EAGAIN) || err == AVERROR_EOF) return {};
      if (err < 0) return Status::Fail(E_FAIL, "The video encoder failed: " + AvErrorText(err));
      AVPacket* kept = av_packet_clone(packet);
      av_packet_unref(packet);
      if (!kept) return Status::Fail(E_OUTOFMEMORY, "Out of memory.");
      into->push_back(kept);
    }
  };

  // Warm-up pictures come before the run's own; what they give is thrown away, but walked
  // through the buffer as the rate control did, for the level the run's own start from.
  const auto warm = static_cast<std::int64_t>(run.warmUp.size());
  PacketList thrown;
  DecoderBuffer model(settings_.buffer, initialFullness >= 0 ? std::floor(initialFullness) : 0.0);
  auto receiveOwn = [&](PacketList* into) -> Status {
    Status s = receive(&thrown);
    for (AVPacket*& p : thrown) {
      if (p->pts >= warm) {
        // The encoder counts from the run's start; the stream from the part's.
        p->pts += run.first - warm;
        if (p->dts != AV_NOPTS_VALUE) p->dts += run.first - warm;
        into->push_back(p);
      } else {
        model.TakeOut(8LL * p->size);
        av_packet_free(&p);
      }
    }
    thrown.clear();
    return s;
  };
  run.warmEnd = -1;
  for (std::int64_t j = 0; j < warm; ++j) {
    AVFrame* frame = run.warmUp[static_cast<std::size_t>(j)];
    // Time stamps count from the encoder's own start, as its rate control expects them to.
    frame->pts = j;
    if (int err = avcodec_send_frame(coder, frame); err < 0)
      return Status::Fail(E_FAIL, "The video encoder failed: " + AvErrorText(err));
    PacketList none;
    if (Status s = receiveOwn(&none); !s.ok()) return s;
  }
  for (std::size_t i = 0;; ++i) {
    AVFrame* frame = nullptr;
    {
      std::unique_lock lock(mu_);
      if (waitForInput)
        changed_.wait(lock, [&] { return failed_ || i < run.frames.size() || run.inputEnded; });
      if (failed_) return Status::Fail(E_ABORT, "The run was given up.");
      if (i >= run.frames.size()) break;
      frame = run.frames[i];
      // Under the lock: the next run may be taking its warm-up copies of these pictures.
      frame->pts = warm + static_cast<std::int64_t>(i);
      if (run.video.size() <= i) run.video.resize(i + 1);
    }
    if (settings_.failAtPicture > 0 && run.firstOverall + static_cast<std::int64_t>(i) + 1 == settings_.failAtPicture)
      return FaultMadeOnPurpose(settings_.failAtPicture);
    if (int err = avcodec_send_frame(coder, frame); err < 0)
      return Status::Fail(E_FAIL, "The video encoder failed: " + AvErrorText(err));
    if (Status s = receiveOwn(&run.video[i]); !s.ok()) return s;
  }
  if (warm > 0 && initialFullness >= 0) run.warmEnd = model.Fullness();
  if (run.video.empty()) return {};
  if (int err = avcodec_send_frame(coder, nullptr); err < 0 && err != AVERROR_EOF)
    return Status::Fail(E_FAIL, "The video encoder failed: " + AvErrorText(err));
  return receiveOwn(&run.video.back());
}

void GopRuns::Join() {
  for (;;) {
    Run* run = nullptr;
    {
      std::unique_lock lock(mu_);
      changed_.wait(lock, [&] { return (closing_ && runs_.empty()) || (!runs_.empty() && runs_.front()->coded); });
      if (runs_.empty()) return;
      run = runs_.front().get();
    }
    // Nothing but this thread touches a coded run: the coder is done and Put adds to the newest.
    Status s = run->status;
    bool failed = false;
    {
      std::lock_guard lock(mu_);
      failed = failed_;
    }
    if (!failed && s.ok() && run->index > 0) {
      std::vector<std::int64_t> bits;
      for (const PacketList& list : run->video)
        for (const AVPacket* p : list) bits.push_back(8LL * p->size);
      const DecoderBuffer& buffer = sink_.buffer();
      // A constant-rate stream that left the buffer fuller than the run's rate control
      // took it to be is brought down to that with stuffing, so that the rate control's
      // view and the stream's stay one: the buffer would otherwise creep up run by run and
      // the surplus go to stuffing all the same, where the pictures could have used it.
      std::int64_t stuffing = 0;
      if (settings_.buffer.constantRate && run->warmEnd >= 0 && buffer.Fullness() > run->warmEnd &&
          !run->video.empty() && !run->video.front().empty()) {
        const double most = buffer.Fullness() - settings_.buffer.minArrival;
        stuffing = static_cast<std::int64_t>(std::floor(std::min(buffer.Fullness() - run->warmEnd, most) / 8.0));
        if (stuffing > 0 && !coded::PrependStuffing(run->video.front().front(), stuffing)) {
          s = Status::Fail(E_OUTOFMEMORY, "Out of memory.");
          stuffing = 0;
        }
        if (!bits.empty()) bits.front() -= 8 * stuffing;
      }
      DecoderBuffer from(buffer);
      from.TakeStuffing(stuffing);
      if (s.ok() && from.FirstShortfall(bits, kSeamMarginBits) >= 0) {
        // Coded from a fuller buffer than the stream before it leaves: once more from the
        // true fullness, as one encoder coding on would.
        for (PacketList& p : run->video) FreePackets(&p);
        // Without the warm-up: the rate control then starts from the true fullness itself.
        for (AVFrame*& f : run->warmUp) av_frame_free(&f);
        run->warmUp.clear();
        s = CodeRun(*run, buffer.Fullness(), false);
      }
    }
    auto giveUp = [&](const Status& why) {
      sink_.fail(why);
      GiveUp();
    };
    if (!failed && !s.ok()) giveUp(s);
    for (std::size_t i = 0; i < run->frames.size(); ++i) {
      bool written = false;
      if (!failed && s.ok()) {
        PacketList& video = i < run->video.size() ? run->video[i] : run->video.emplace_back();
        // The encoder counted the warm-up pictures in its time codes.
        const std::int64_t shift = run->first - static_cast<std::int64_t>(run->warmUp.size());
        for (AVPacket* p : video) coded::ShiftGopTimeCodes(p, shift, settings_.roundedRate);
        s = sink_.write(&video, &run->sound[i], run->first + static_cast<std::int64_t>(i));
        if (s.ok()) written = true;
        else giveUp(s);
      }
      sink_.done(written);
    }
    {
      std::lock_guard lock(mu_);
      runs_.pop_front();
    }
    changed_.notify_all();
  }
}

}  // namespace outside
