// The encoder objects' run state: settings held while idle, one encoding session while a
// file is written, and the reason a run failed kept for every later call.
#include "encoder_run.h"

#include <com/errorinfo.h>
#include <com/strings.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <new>

#include <unistd.h>

extern "C" {
#include <libavutil/frame.h>
#include <libavutil/rational.h>
}

namespace outside {

namespace {
constexpr double kMegabyte = 1048576.0;

// Slice threads of a picture encoder that has them (the AVI codecs). They share the
// processors with the picture decoder's, the converters and the converting thread; with
// one a processor each picture waited for its slowest slice behind those, and came out
// later (measured on eight processors: DivX 12 to 17 % faster with three than with eight,
// two and four no faster than three). Fewer slices also cost the pictures less.
constexpr int kEncoderSlices = 3;

// The length of a run of GOPs. Each coder codes its runs on one encoder instance, which
// warms up once on the GOPs before its first run and then only resyncs on one GOP before
// each later one: short runs cost little more processor time, get every processor to work
// soon after the start and let them end together (the last run of a title is coded alone
// after the input ends). Each run holds its pictures until it is written.
constexpr double kRunSeconds = 2.6;
// What the pictures waiting in runs may take at the most, and at most a quarter of the
// memory free when the run starts: with the rest of the program an SVCD stays below
// 400 MB (eight runs of 65 pictures at 480x576).
constexpr double kRunMemoryBytes = 240e6;
// The fullness a fresh instance's warm-up is coded from, as a share of the decoder buffer.
// A constant-rate stream's buffer sits at about two thirds between GOPs; starting near there
// leaves the rate control's level close to the stream's, so little is stuffed at a seam. A
// variable-rate stream's sits full, but the fuller a run's rate control starts, the less it
// spends: from a third, the runs come to the serial encoder's mean rate (measured on the
// detailed titles: 0.2 % more; from full 1 % less and 0.3 dB worse).
constexpr double kWarmUpStartShareConstantRate = 0.7;
constexpr double kWarmUpStartShareVariableRate = 0.3;
// GOPs of the run before that a coder's first run codes first on a fresh instance, to
// bring its rate control to the state one encoder would have there: a constant-rate
// stream's takes longer to settle (with three GOPs a VCD's runs came out up to 0.12 dB
// below the serial encoder's on the detailed titles, with five 0.03 dB; an SVCD's 0.04 dB
// either way).
constexpr int kWarmUpGopsConstantRate = 5;
constexpr int kWarmUpGopsVariableRate = 3;
// GOPs a run codes first where its coder's encoder instance goes on from a run of its own
// before: enough for the rate control to come from that run's pictures and buffer level to
// these pictures'.
constexpr int kResyncGops = 1;
// The warm-up's first GOP is coded no finer than this quantiser (in the rate control's
// Lagrange units of 118 a step): where the pictures need a finer one, the rate control
// comes down to it within the next GOPs; where they are detailed, it spares the trellis
// quantiser a fresh rate control's far too fine first guesses.
constexpr int kWarmUpLeastLambda = 14 * 118;

GopRuns::Settings RunSettings(const SessionConfig& c, int gopLength) {
  GopRuns::Settings s;
  const double fps = av_q2d(c.frameRate);
  const int gop = std::max(1, gopLength);
  const double pictureBytes = 1.5 * c.width * c.height + 4096.0;
  double budget = kRunMemoryBytes;
  const long pages = sysconf(_SC_AVPHYS_PAGES), pageSize = sysconf(_SC_PAGESIZE);
  if (pages > 0 && pageSize > 0) budget = std::min(budget, 0.25 * static_cast<double>(pages) * pageSize);
  s.runLength = gop * std::max(1, static_cast<int>(std::lround(kRunSeconds * fps / gop)));
  const int byMemory = static_cast<int>(budget / (pictureBytes * s.runLength));
  s.coders = std::max(1, std::min(CodecThreads(), byMemory));
  const bool constantRate = c.minRate == c.maxRate;
  s.warmUpStart = (constantRate ? kWarmUpStartShareConstantRate : kWarmUpStartShareVariableRate) * c.bufferBits;
  s.roundedRate = static_cast<int>(std::lround(fps));
  s.warmUp = (constantRate ? kWarmUpGopsConstantRate : kWarmUpGopsVariableRate) * gop;
  s.resyncWarmUp = kResyncGops * gop;
  s.gopLength = gop;
  s.heldPictures = c.maxBFrames;
  s.warmUpFloorPictures = gop;
  s.warmUpLeastLambda = kWarmUpLeastLambda;
  s.buffer = DecoderBuffer::For(c.minRate, c.maxRate, c.bufferBits, fps);
  s.failAtPicture = c.failAtPicture;
  return s;
}
}

HRESULT EncoderRun::Fail(const Status& s) const { return qcom::ReportError(s.hr, clsid_, s.message, iid_); }

HRESULT EncoderRun::CheckIdle() const {
  if (session_)
    return Fail({E_UNEXPECTED,
                 std::string("The ") + kind_ + " settings can not change while a file is being written."});
  return S_OK;
}

HRESULT EncoderRun::CheckRunning() {
  if (Pipelined()) {
    if (!failed_.load()) return S_OK;
    TakeFailure();
  }
  if (session_ && session_->IsOpen()) return S_OK;
  if (session_) {
    // A failed write ended the run; every later call says why.
    Status s = session_->Finish();
    return Fail(s.ok() ? Status{E_UNEXPECTED, std::string("The ") + kind_ + " file has already been closed."} : s);
  }
  if (!startFailure_.ok())
    return Fail(
        {startFailure_.hr, std::string("The ") + kind_ + " file could not be started: " + startFailure_.message});
  return Fail({E_UNEXPECTED, std::string("The ") + kind_ + " encoder has not been started."});
}

HRESULT EncoderRun::SetPath(std::string* field, BSTR path) {
  if (HRESULT hr = CheckIdle(); FAILED(hr)) return hr;
  *field = qcom::BstrToPath(path);
  if (field->empty()) return Fail({E_INVALIDARG, "No output file has been given."});
  return S_OK;
}

HRESULT EncoderRun::Open(const Status& built, const SessionConfig& config) {
  startFailure_ = {};
  Status s = built;
  const bool serial = SerialServers();
  SessionConfig c = config;
  if (s.ok()) {
    c.videoThreads = serial ? 1 : std::min(CodecThreads(), kEncoderSlices);
    c.converters = serial ? 1 : kConverters;
    // A test's way to make the picture encoder fail in the middle of a run.
    if (const char* fail = std::getenv("QUILLMERE_TEST_FAIL_PICTURE")) c.failAtPicture = std::atoll(fail);
    session_ = std::make_unique<EncodingSession>();
    s = session_->Open(c);
  }
  if (!s.ok()) {
    session_.reset();
    startFailure_ = s;
    return Fail(s);
  }
  written_ = done_ = handed_ = 0;
  rowBytes_ = static_cast<std::size_t>((3 * config.width + 3) & ~3) * static_cast<std::size_t>(config.height);
  sizeByRate_ = config.gopRuns;
  NotePartStart();
  if (!serial && config.gopRuns) StartRuns(c);
  if (!serial && !gop_) StartWorker(config.input);
  return S_OK;
}

void EncoderRun::NoteDone(bool written) {
  const double size = written ? session_->ProjectedBytes(1 + kSizeLag) : 0.0;
  {
    std::lock_guard lock(sizesMu_);
    if (written) sizes_[static_cast<std::size_t>(++written_) % sizes_.size()] = size;
    ++done_;
  }
  doneChanged_.notify_all();
}

void EncoderRun::NotePartStart() {
  partStart_ = handed_;
  partStartSize_ = session_->ProjectedBytes(1 + kSizeLag);
}

void EncoderRun::NoteFailure(const Status& s) {
  {
    std::lock_guard lock(failureMu_);
    if (failed_.load()) return;
    workerFailure_ = s;
    failed_ = true;
  }
  if (gop_) gop_->GiveUp();
}

HRESULT EncoderRun::Encode(const BYTE* const planes[3], INT_PTR sound, INT soundBytes) {
  if (soundBytes < 0) return Fail({E_INVALIDARG, "The sound byte count of the picture is negative."});
  const auto* samples = reinterpret_cast<const std::int16_t*>(sound);
  const auto bytes = static_cast<std::size_t>(soundBytes);
  if (!Pipelined()) {
    Status s = session_->Encode(planes, samples, bytes);
    if (!s.ok()) return Fail(s);
    ++handed_;
    NoteDone(true);
    return S_OK;
  }
  if (HRESULT hr = CheckRunning(); FAILED(hr)) return hr;
  // A picture the session would refuse is refused here, before the run goes on without it.
  if (Status s = session_->CheckPicture(planes, samples, bytes); !s.ok()) return Fail(s);
  if (gop_) return EncodeToRuns(planes, samples, bytes);
  // The sound is encoded here while the workers convert and encode the pictures before.
  Status s;
  const Status stopped{E_UNEXPECTED, std::string("The ") + kind_ + " encoder has stopped."};
  if (!rows_.empty()) {
    BoundedPipe<Rows>& lane = *rows_[static_cast<std::size_t>(handed_) % rows_.size()];
    Rows* r = lane.BeginPut();
    if (!r) return Fail(stopped);
    r->rows.assign(planes[0], planes[0] + rowBytes_);
    s = session_->EncodeSound(samples, bytes, &r->sound);
    if (s.ok()) lane.EndPut();
    else FreePackets(&r->sound);
  } else {
    Queued* q = pipes_[0]->BeginPut();
    if (!q) return Fail(stopped);
    q->dropped = false;
    s = session_->EncodeSound(samples, bytes, &q->sound);
    if (s.ok()) s = session_->ConvertPicture(planes, q->picture);
    if (s.ok()) pipes_[0]->EndPut();
    else FreePackets(&q->sound);
  }
  if (!s.ok()) {
    NoteFailure(s);
    return CheckRunning();
  }
  ++handed_;
  return S_OK;
}

// The sound is encoded and the picture copied here; the runs code the pictures.
HRESULT EncoderRun::EncodeToRuns(const BYTE* const planes[3], const std::int16_t* sound, std::size_t soundBytes) {
  PacketList packets;
  AVFrame* frame = av_frame_alloc();
  Status s = frame ? session_->PooledPicture(frame) : Status::Fail(E_OUTOFMEMORY, "Out of memory.");
  if (s.ok()) s = session_->EncodeSound(sound, soundBytes, &packets);
  if (s.ok()) s = session_->ConvertPicture(planes, frame);
  if (!s.ok()) {
    av_frame_free(&frame);
    FreePackets(&packets);
    NoteFailure(s);
    return CheckRunning();
  }
  session_->PrepareFrame(frame);
  ++handed_;
  if (!gop_->Put(frame, &packets)) {
    // Dropped: the runs failed; the failure is theirs.
    NoteDone(false);
    return CheckRunning();
  }
  return S_OK;
}

void EncoderRun::StartRuns(const SessionConfig& config) {
  failed_ = false;
  GopRuns::Sink sink;
  sink.openCoder = [this](double fullness, AVCodecContext** coder) { return session_->OpenVideoCoder(fullness, coder); };
  sink.write = [this](PacketList* video, PacketList* sound, std::int64_t) { return session_->WriteCoded(video, sound); };
  sink.buffer = [this]() -> const DecoderBuffer& { return session_->Buffer(); };
  sink.done = [this](bool written) { NoteDone(written); };
  sink.fail = [this](const Status& s) { NoteFailure(s); };
  try {
    // Runs can only be cut where the encoder itself starts a GOP.
    const int gopLength = session_->CodedGopLength();
    if (gopLength <= 0) return;  // then the one worker codes the pictures
    gop_ = std::make_unique<GopRuns>(RunSettings(config, gopLength), std::move(sink));
  } catch (const std::exception&) {
    gop_.reset();  // then the pictures are encoded in the caller's thread
  }
}

EncoderRun::Queued::Queued() : picture(av_frame_alloc()) {
  if (!picture) throw std::bad_alloc();
}

EncoderRun::Queued::~Queued() {
  FreePackets(&sound);
  av_frame_free(&picture);
}

// After a failure the pictures still queued are dropped; the caller breaks the run off.
// Every picture taken goes on to the worker, converted or marked dropped: the worker takes
// the lanes in turn, so a picture left out would keep it waiting on that lane while the
// pictures in the other lanes are never counted done.
void EncoderRun::Convert(int lane) {
  BoundedPipe<Rows>& in = *rows_[static_cast<std::size_t>(lane)];
  BoundedPipe<Queued>& out = *pipes_[static_cast<std::size_t>(lane)];
  while (Rows* r = in.BeginTake()) {
    Queued* q = out.BeginPut();
    if (!q) {  // closed: nobody waits for the picture any more
      FreePackets(&r->sound);
      in.EndTake();
      NoteDone(false);
      continue;
    }
    q->dropped = failed_.load();
    if (!q->dropped) {
      const BYTE* planes[3] = {r->rows.data(), nullptr, nullptr};
      if (Status s = session_->ConvertPicture(planes, q->picture, lane); !s.ok()) {
        NoteFailure(s);
        q->dropped = true;
      }
    }
    q->sound.swap(r->sound);
    FreePackets(&r->sound);
    out.EndPut();
    in.EndTake();
  }
}

void EncoderRun::Work() {
  for (std::size_t n = 0;; ++n) {
    BoundedPipe<Queued>& lane = *pipes_[n % pipes_.size()];
    Queued* q = lane.BeginTake();
    if (!q) return;
    bool written = false;
    if (failed_.load() || q->dropped) {
      FreePackets(&q->sound);
    } else if (Status s = session_->EncodePicture(q->picture, &q->sound); s.ok()) {
      written = true;
    } else {
      NoteFailure(s);
    }
    lane.EndTake();
    NoteDone(written);
  }
}

void EncoderRun::StartWorker(SessionConfig::Input input) {
  failed_ = false;
  const int lanes = input == SessionConfig::Input::Dib24BottomUp ? kConverters : 1;
  try {
    // Every pipe is there before a thread looks for its own.
    const std::size_t depth = lanes > 1 ? kPicturesPerLane : kPicturesQueued;
    for (int i = 0; i < lanes; ++i) {
      pipes_.push_back(std::make_unique<BoundedPipe<Queued>>(depth));
      if (input == SessionConfig::Input::Dib24BottomUp) rows_.push_back(std::make_unique<BoundedPipe<Rows>>(depth));
    }
    for (std::size_t i = 0; i < rows_.size(); ++i) converters_.emplace_back([this, i] { Convert(static_cast<int>(i)); });
    worker_ = std::thread([this] { Work(); });
  } catch (const std::exception&) {
    StopWorker();  // then the pictures are encoded in the caller's thread
  }
}

void EncoderRun::Settle(int behind) {
  if (gop_ && behind == 0) gop_->Drain();
  if (!Pipelined()) return;
  std::unique_lock lock(sizesMu_);
  doneChanged_.wait(lock, [&] { return done_ >= handed_ - behind; });
}

void EncoderRun::TakeFailure() {
  Settle();
  std::lock_guard lock(failureMu_);
  if (session_->IsOpen()) session_->BreakOff(workerFailure_);
}

void EncoderRun::StopWorker() {
  Settle();
  if (gop_) {
    gop_->Close();
    gop_.reset();
  }
  for (auto& pipe : rows_) pipe->Close();
  for (auto& pipe : pipes_) pipe->Close();
  for (std::thread& t : converters_) t.join();
  if (worker_.joinable()) worker_.join();
  converters_.clear();
  rows_.clear();
  pipes_.clear();
  if (failed_.load() && session_ && session_->IsOpen()) session_->BreakOff(workerFailure_);
}

HRESULT EncoderRun::FileSize(double* megabytes) {
  if (!megabytes) return Fail({E_POINTER, "No place was given for the file size."});
  *megabytes = 0.0;
  if (!session_) return S_OK;
  if (sizeByRate_) {
    // No waiting for the runs: the bound for the part with one picture more.
    if (failed_.load() || (!Pipelined() && !session_->IsOpen())) return CheckRunning();
    *megabytes = session_->RateBoundBytes(handed_ - partStart_ + 1) / kMegabyte;
    return S_OK;
  }
  Settle(kSizeLag);
  // The size the caller weighs against its limit must not stand for a run that broke off.
  if (failed_.load() || (!Pipelined() && !session_->IsOpen())) return CheckRunning();
  const std::int64_t lagged = handed_ - kSizeLag;
  std::lock_guard lock(sizesMu_);
  const double bytes =
      lagged <= partStart_ ? partStartSize_ : sizes_[static_cast<std::size_t>(lagged) % sizes_.size()];
  *megabytes = bytes / kMegabyte;
  return S_OK;
}

HRESULT EncoderRun::SizeLimitReached() {
  if (HRESULT hr = CheckRunning(); FAILED(hr)) return hr;
  Settle();
  if (failed_.load()) return CheckRunning();
  Status s = session_->Split();
  if (!s.ok()) return Fail(s);
  if (s.hr == S_OK) {
    NotePartStart();
    if (gop_) gop_->NewPart();
  }
  return s.hr;
}

HRESULT EncoderRun::Finish() {
  if (!session_) return S_OK;
  StopWorker();
  Status s = session_->Finish();
  session_.reset();
  return s.ok() ? S_OK : Fail(s);
}

}  // namespace outside
