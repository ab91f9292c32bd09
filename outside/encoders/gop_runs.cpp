// Runs of GOPs coded side by side and joined in order.
#include "gop_runs.h"

#include <algorithm>
#include <utility>
#include <cstdlib>
#include <cmath>
#include <cstring>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/frame.h>
#include <libavutil/opt.h>
#include <libavutil/pixfmt.h>
}

#include <sys/resource.h>
#include <unistd.h>

namespace outside {

namespace {
// How much lower than the rest of the program the coders run: the pictures are read,
// decoded and scaled on other threads, which would otherwise wait for a processor behind
// the coders at every hand-over and leave the coders short of pictures.
constexpr int kCoderNiceness = 5;

// A run coded from an assumed fullness is taken only where each of its pictures is in the
// buffer with this much to spare at the true one: the pictures' vbv_delay stands for the
// fullness less the header before it, which a player's check counts from.
constexpr double kSeamMarginBits = 1024;

// A black picture of the size and format of `like`: it costs the encoder and its rate
// control next to nothing (its predictors learn nothing from a flat picture).
AVFrame* BlackPicture(const AVFrame* like) {
  if (like->format != AV_PIX_FMT_YUV420P) return av_frame_clone(like);
  AVFrame* f = av_frame_alloc();
  if (!f) return nullptr;
  f->format = like->format;
  f->width = like->width;
  f->height = like->height;
  if (av_frame_copy_props(f, like) < 0 || av_frame_get_buffer(f, 0) < 0) {
    av_frame_free(&f);
    return nullptr;
  }
  const int chromaHeight = (f->height + 1) / 2;
  for (int y = 0; y < f->height; ++y) std::memset(f->data[0] + static_cast<std::ptrdiff_t>(y) * f->linesize[0], 16, static_cast<std::size_t>(f->width));
  for (int plane = 1; plane <= 2; ++plane)
    for (int y = 0; y < chromaHeight; ++y)
      std::memset(f->data[plane] + static_cast<std::ptrdiff_t>(y) * f->linesize[plane], 128, static_cast<std::size_t>((f->width + 1) / 2));
  return f;
}
}  // namespace

struct GopRuns::Run {
  std::int64_t first = 0;         // number of its first picture in the part
  std::int64_t firstOverall = 0;  // the same over the whole encoding
  std::size_t index = 0;          // its number in the part
  int slot = 0;                   // the coder that codes it
  double start = -1;              // the fullness it is coded from; below 0 for the part's own
  std::vector<AVFrame*> frames;
  // The last pictures of the run before (whole GOPs), coded first and thrown away, so that
  // the rate control comes to the run's first picture with the history and the buffer
  // level that the pictures before it give, as one encoder coding on would.
  std::vector<AVFrame*> warmUp;
  double warmEnd = -1;  // the rate control's buffer fullness after the warm-up, in bits
  std::int64_t codedFrom = 0;  // pictures its encoder instance coded before the run's first
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

GopRuns::GopRuns(const Settings& settings, Sink sink)
    : settings_(settings), sink_(std::move(sink)), coderWake_(static_cast<std::size_t>(std::max(1, settings.coders))) {
  try {
    for (int i = 0; i < std::max(1, settings_.coders); ++i) coders_.emplace_back([this, i] { Code(i); });
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
      coderWake_[static_cast<std::size_t>(run->slot)].notify_one();
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
      // In turn: the runs held at once (at most one a coder) each have a coder of their own.
      next->slot = static_cast<int>(runsMade_++ % std::max(1, settings_.coders));
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
  coderWake_[static_cast<std::size_t>(run->slot)].notify_one();
  return true;
}

void GopRuns::Drain() {
  std::unique_lock lock(mu_);
  if (!runs_.empty() && !runs_.back()->inputEnded) runs_.back()->inputEnded = true;
  // The coders without a run may now take over a part of another's.
  draining_ = true;
  for (std::condition_variable& c : coderWake_) c.notify_all();
  changed_.wait(lock, [&] { return runs_.empty(); });
  draining_ = false;
}

// The last runs of a part start one after another as their pictures come, so they end one
// after another too, with the processors of the coders done first idle until the last
// ends. A coder done takes over the second half of the run with the most left.
GopRuns::Run* GopRuns::SplitForIdle(int slot, bool instanceOpen) {
  const auto gop = static_cast<std::size_t>(std::max(0, settings_.gopLength));
  if (!draining_ || failed_ || closing_ || gop == 0) return nullptr;
  auto where = runs_.end();
  std::size_t most = 0;
  for (auto it = runs_.begin(); it != runs_.end(); ++it) {
    const Run& r = **it;
    // A run its coder has not yet taken up counts too: it is then cut before its start.
    if (r.coded || !r.inputEnded) continue;
    const std::size_t left = r.frames.size() - std::min(r.frames.size(), r.video.size());
    if (left > most) {
      most = left;
      where = it;
    }
  }
  // The new seam costs the pictures coded before the run's own (a GOP on an instance that
  // goes on, the whole warm-up on a fresh one); halving what is left must save more.
  const auto before = static_cast<std::size_t>(std::max(0, instanceOpen ? settings_.resyncWarmUp : settings_.warmUp));
  if (where == runs_.end() || most < 2 * before + 2 * gop) return nullptr;
  Run& from = **where;
  const std::size_t done = from.video.size();
  // Runs are whole GOPs from their first picture, so a GOP boundary of the run is one of
  // the stream.
  const std::size_t cut = (done + most / 2 + gop - 1) / gop * gop;
  if (cut <= done || cut >= from.frames.size()) return nullptr;

  auto next = std::make_unique<Run>();
  next->first = from.first + static_cast<std::int64_t>(cut);
  next->firstOverall = from.firstOverall + static_cast<std::int64_t>(cut);
  next->index = from.index + 1;  // never a part's first
  next->slot = slot;
  next->start = settings_.warmUpStart;
  next->inputEnded = true;
  const std::size_t keep = std::min(cut, static_cast<std::size_t>(std::max(0, settings_.warmUp)));
  for (std::size_t i = cut - keep; i < cut; ++i) {
    AVFrame* ref = av_frame_clone(from.frames[i]);
    if (!ref) break;  // then the instance warms up on fewer pictures
    ref->pict_type = AV_PICTURE_TYPE_NONE;
    next->warmUp.push_back(ref);
  }
  next->frames.assign(from.frames.begin() + static_cast<std::ptrdiff_t>(cut), from.frames.end());
  from.frames.resize(cut);
  next->frames.front()->pict_type = AV_PICTURE_TYPE_I;
  next->sound.assign(std::make_move_iterator(from.sound.begin() + static_cast<std::ptrdiff_t>(cut)),
                     std::make_move_iterator(from.sound.end()));
  from.sound.resize(cut);
  Run* run = next.get();
  runs_.insert(std::next(where), std::move(next));
  return run;
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
  WakeAll();
}

void GopRuns::WakeAll() {
  changed_.notify_all();
  for (std::condition_variable& c : coderWake_) c.notify_all();
}

void GopRuns::Close() {
  if (!joiner_.joinable() && coders_.empty()) return;
  Drain();
  {
    std::lock_guard lock(mu_);
    closing_ = true;
  }
  WakeAll();
  for (std::thread& t : coders_) t.join();
  coders_.clear();
  if (joiner_.joinable()) joiner_.join();
}

// An encoder instance that codes one coder's runs one after another, so that its rate
// control carries its history on from run to run.
struct GopRuns::Instance {
  AVCodecContext* coder = nullptr;
  AVPacket* packet = nullptr;
  std::int64_t sent = 0;  // pictures given to it: the next one's time stamp
  DecoderBuffer model;    // the decoder buffer as its rate control has it
  AVFrame* black = nullptr;  // what pushes a run's last pictures out, made once

  ~Instance() { Close(); }
  bool Open() const { return coder != nullptr; }
  void Close() {
    avcodec_free_context(&coder);
    av_packet_free(&packet);
    av_frame_free(&black);
    sent = 0;
  }
};

void GopRuns::Code(int slot) {
  setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), kCoderNiceness);  // best effort
  Instance instance;
  for (;;) {
    Run* run = nullptr;
    {
      std::unique_lock lock(mu_);
      auto mine = [&] {
        for (auto& r : runs_)
          if (!r->taken && r->slot == slot) return r.get();
        return static_cast<Run*>(nullptr);
      };
      coderWake_[static_cast<std::size_t>(slot)].wait(
          lock, [&] { return closing_ || mine() || SplitForIdle(slot, instance.Open()); });
      run = mine();
      if (!run) return;
      run->taken = true;
    }
    const Status s = CodeRun(instance, *run, true, true);
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

Status GopRuns::CodeRun(Instance& in, Run& run, bool waitForInput, bool keepOpen) {
  struct CloseOnFailure {
    Instance& in;
    bool ok = false;
    ~CloseOnFailure() {
      if (!ok) in.Close();
    }
  } guard{in};
  // A part's first run starts where the part's own stream does (the encoder's default);
  // a later one warms a fresh instance up from a fullness of its own, or goes on with the
  // instance of its coder's run before, which then needs only a few pictures to resync.
  const bool partStart = run.start < 0;
  std::size_t warmFrom = 0;
  if (partStart || !in.Open()) {
    in.Close();
    if (Status s = sink_.openCoder(run.start, &in.coder); !s.ok()) return s;
    in.packet = av_packet_alloc();
    if (!in.packet) return Status::Fail(E_OUTOFMEMORY, "Out of memory.");
    in.model = DecoderBuffer(settings_.buffer, in.coder->rc_initial_buffer_occupancy);
  } else {
    const auto resync = static_cast<std::size_t>(std::max(0, settings_.resyncWarmUp));
    if (run.warmUp.size() > resync) warmFrom = run.warmUp.size() - resync;
  }
  AVCodecContext* coder = in.coder;

  // Pictures given before the run's own are warm-up (or, from the instance's run before,
  // the pictures that pushed its last ones out): what they give is thrown away, but walked
  // through the buffer as the rate control did, for the level the run's own start from.
  std::int64_t ownFrom = -1;
  std::size_t given = 0, ownOut = 0;  // the run's own pictures given, and coded
  run.warmEnd = -1;
  auto take = [&]() -> Status {
    for (;;) {
      const int err = avcodec_receive_packet(coder, in.packet);
      if (err == AVERROR(EAGAIN) || err == AVERROR_EOF) return {};
      if (err < 0) return Status::Fail(E_FAIL, "The video encoder failed: " + AvErrorText(err));
      const std::int64_t at = ownFrom >= 0 ? in.packet->pts - ownFrom : -1;
      const bool own = at >= 0 && static_cast<std::size_t>(at) < given;
      if (own && ownOut == 0 && !partStart) run.warmEnd = in.model.Fullness();
      in.model.TakeOut(8LL * in.packet->size);
      if (!own) {
        av_packet_unref(in.packet);
        continue;
      }
      AVPacket* kept = av_packet_clone(in.packet);
      av_packet_unref(in.packet);
      if (!kept) return Status::Fail(E_OUTOFMEMORY, "Out of memory.");
      // The encoder counts from its own start; the stream from the part's.
      kept->pts += run.first - ownFrom;
      if (kept->dts != AV_NOPTS_VALUE) kept->dts += run.first - ownFrom;
      run.video[given - 1].push_back(kept);
      ++ownOut;
    }
  };
  // Time stamps count on over the instance's life, as its rate control expects them to.
  auto send = [&](AVFrame* frame, bool stamped = false) -> Status {
    if (!stamped) frame->pts = in.sent;
    ++in.sent;
    if (int err = avcodec_send_frame(coder, frame); err < 0)
      return Status::Fail(E_FAIL, "The video encoder failed: " + AvErrorText(err));
    return {};
  };

  std::int64_t leastLambda = 0;
  const std::size_t warm = run.warmUp.size() - warmFrom;
  const bool floored = warmFrom == 0 && warm > 0 && settings_.warmUpLeastLambda > 0 &&
                       av_opt_get_int(coder->priv_data, "lmin", 0, &leastLambda) >= 0;
  auto setLeastLambda = [&](std::int64_t lambda) {
    if (av_opt_set_int(coder->priv_data, "lmin", lambda, 0) < 0)
      return Status::Fail(E_FAIL, "The video encoder refused its least Lagrange factor.");
    return Status{};
  };
  for (std::size_t j = 0; j < warm; ++j) {
    if (floored && (j == 0 || j == static_cast<std::size_t>(settings_.warmUpFloorPictures))) {
      const std::int64_t lambda =
          j == 0 ? std::max<std::int64_t>(leastLambda, settings_.warmUpLeastLambda) : leastLambda;
      if (Status s = setLeastLambda(lambda); !s.ok()) return s;
    }
    AVFrame* frame = run.warmUp[warmFrom + j];
    // The warm-up opens a GOP of its own, whatever the instance coded before it.
    if (j == 0) frame->pict_type = AV_PICTURE_TYPE_I;
    if (Status s = send(frame); !s.ok()) return s;
    if (Status s = take(); !s.ok()) return s;
  }
  if (floored && warm <= static_cast<std::size_t>(settings_.warmUpFloorPictures))
    if (Status s = setLeastLambda(leastLambda); !s.ok()) return s;

  ownFrom = in.sent;
  run.codedFrom = ownFrom;
  for (std::size_t i = 0;; ++i) {
    AVFrame* frame = nullptr;
    {
      std::unique_lock lock(mu_);
      if (waitForInput)
        coderWake_[static_cast<std::size_t>(run.slot)].wait(
            lock, [&] { return failed_ || i < run.frames.size() || run.inputEnded; });
      if (failed_) return Status::Fail(E_ABORT, "The run was given up.");
      if (i >= run.frames.size()) break;
      frame = run.frames[i];
      // Under the lock: the next run may be taking its warm-up copies of these pictures.
      frame->pts = in.sent;
      if (run.video.size() <= i) run.video.resize(i + 1);
    }
    if (settings_.failAtPicture > 0 && run.firstOverall + static_cast<std::int64_t>(i) + 1 == settings_.failAtPicture)
      return FaultMadeOnPurpose(settings_.failAtPicture);
    if (Status s = send(frame, true); !s.ok()) return s;
    given = i + 1;
    if (Status s = take(); !s.ok()) return s;
  }
  if (given == 0) {
    guard.ok = true;
    return {};
  }
  // The encoder holds the run's last B-pictures back until it is given more. Where the run
  // ends a GOP, black pictures push them out (the first opens a GOP of its own, so they
  // are coded at the start of the instance's next run and thrown away there); otherwise the
  // instance ends here.
  const bool wholeGops = settings_.gopLength > 0 && given % static_cast<std::size_t>(settings_.gopLength) == 0;
  if (keepOpen && wholeGops) {
    if (!in.black) in.black = BlackPicture(run.frames[given - 1]);
    for (int k = 0; k < settings_.heldPictures && ownOut < given; ++k) {
      AVFrame* pad = in.black ? av_frame_clone(in.black) : nullptr;
      if (!pad) return Status::Fail(E_OUTOFMEMORY, "Out of memory.");
      pad->pict_type = k == 0 ? AV_PICTURE_TYPE_I : AV_PICTURE_TYPE_NONE;
      Status s = send(pad);
      av_frame_free(&pad);
      if (s.ok()) s = take();
      if (!s.ok()) return s;
    }
  }
  if (ownOut < given) {
    if (int err = avcodec_send_frame(coder, nullptr); err < 0 && err != AVERROR_EOF)
      return Status::Fail(E_FAIL, "The video encoder failed: " + AvErrorText(err));
    if (Status s = take(); !s.ok()) return s;
    in.Close();
  } else if (!keepOpen) {
    in.Close();
  }
  guard.ok = true;
  return {};
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
      // The run's first picture comes out with a later one given: the encoder holds
      // pictures back.
      AVPacket* first = nullptr;
      for (const PacketList& list : run->video)
        if (!list.empty()) {
          first = list.front();
          break;
        }
      std::int64_t stuffing = 0;
      if (settings_.buffer.constantRate && run->warmEnd >= 0 && buffer.Fullness() > run->warmEnd && first) {
        const double most = buffer.Fullness() - settings_.buffer.minArrival;
        stuffing = static_cast<std::int64_t>(std::floor(std::min(buffer.Fullness() - run->warmEnd, most) / 8.0));
        if (stuffing > 0 && !coded::PrependStuffing(first, stuffing)) {
          s = Status::Fail(E_OUTOFMEMORY, "Out of memory.");
          stuffing = 0;
        }
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
        run->start = buffer.Fullness();
        Instance alone;
        s = CodeRun(alone, *run, false, false);
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
        // The encoder counted the pictures it coded before the run in its time codes.
        const std::int64_t shift = run->first - run->codedFrom;
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
