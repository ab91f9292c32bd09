// Runs of GOPs coded side by side and joined in order.
#include "gop_runs.h"

#include <algorithm>
#include <utility>

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
  bool partStart = false;         // a part's first run starts from the part's own fullness
  std::vector<AVFrame*> frames;
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

int GopRuns::Recoded() const {
  std::lock_guard lock(mu_);
  return recoded_;
}

bool GopRuns::Put(AVFrame* picture, PacketList* sound) {
  std::unique_lock lock(mu_);
  Run* run = runs_.empty() ? nullptr : runs_.back().get();
  if (!failed_ && (!run || run->inputEnded || static_cast<int>(run->frames.size()) >= settings_.runLength)) {
    if (run && !run->inputEnded) {
      run->inputEnded = true;
      changed_.notify_all();
    }
    // Every run held is being coded or waits to be joined: that bounds the pictures held.
    changed_.wait(lock, [&] { return failed_ || static_cast<int>(runs_.size()) < std::max(1, settings_.coders); });
    if (!failed_) {
      auto next = std::make_unique<Run>();
      next->first = partPictures_;
      next->firstOverall = pictures_;
      next->partStart = partPictures_ == 0;
      run = next.get();
      runs_.push_back(std::move(next));
    }
  }
  if (failed_) {
    av_frame_free(&picture);
    FreePackets(sound);
    return false;
  }
  run->frames.push_back(picture);
  run->sound.emplace_back();
  run->sound.back().swap(*sound);
  ++partPictures_;
  ++pictures_;
  changed_.notify_all();
  return true;
}

void GopRuns::EndPart() {
  std::unique_lock lock(mu_);
  if (!runs_.empty() && !runs_.back()->inputEnded) {
    runs_.back()->inputEnded = true;
    changed_.notify_all();
  }
  changed_.wait(lock, [&] { return runs_.empty(); });
  partPictures_ = 0;
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
  EndPart();
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
    const Status s = CodeRun(*run, run->partStart ? -1.0 : settings_.assumedStart, true);
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

  for (std::size_t i = 0;; ++i) {
    AVFrame* frame = nullptr;
    {
      std::unique_lock lock(mu_);
      if (waitForInput)
        changed_.wait(lock, [&] { return failed_ || i < run.frames.size() || run.inputEnded; });
      if (failed_) return Status::Fail(E_ABORT, "The run was given up.");
      if (i >= run.frames.size()) break;
      frame = run.frames[i];
      if (run.video.size() <= i) run.video.resize(i + 1);
    }
    if (settings_.failAtPicture > 0 && run.firstOverall + static_cast<std::int64_t>(i) + 1 == settings_.failAtPicture)
      return Status::Fail(E_FAIL, "The video encoder failed on picture " + std::to_string(settings_.failAtPicture) +
                                      " (a fault made on purpose).");
    frame->pts = run.first + static_cast<std::int64_t>(i);
    if (int err = avcodec_send_frame(coder, frame); err < 0)
      return Status::Fail(E_FAIL, "The video encoder failed: " + AvErrorText(err));
    if (Status s = receive(&run.video[i]); !s.ok()) return s;
  }
  if (run.video.empty()) return {};
  if (int err = avcodec_send_frame(coder, nullptr); err < 0 && err != AVERROR_EOF)
    return Status::Fail(E_FAIL, "The video encoder failed: " + AvErrorText(err));
  return receive(&run.video.back());
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
    if (!failed && s.ok() && !run->partStart) {
      std::vector<std::int64_t> bits;
      for (const PacketList& list : run->video)
        for (const AVPacket* p : list) bits.push_back(8LL * p->size);
      const DecoderBuffer& buffer = sink_.buffer();
      if (buffer.FirstShortfall(bits, kSeamMarginBits) >= 0) {
        // Coded from a fuller buffer than the stream before it leaves: once more from the
        // true fullness, as one encoder coding on would.
        for (PacketList& p : run->video) FreePackets(&p);
        s = CodeRun(*run, buffer.Fullness(), false);
        std::lock_guard lock(mu_);
        ++recoded_;
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
        for (AVPacket* p : video) coded::ShiftGopTimeCodes(p, run->first, settings_.roundedRate);
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
