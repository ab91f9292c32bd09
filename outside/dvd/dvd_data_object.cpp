// IDVDDataObj: reads one title's program chain and angle, decodes it and delivers its
// pictures at the requested frame rate with the sound that belongs to each picture.
#include <com/server.h>
#include <outside/dvd.h>

#include "bounded_pipe.h"
#include "dvd_server_support.h"
#include "dvd_decode.h"
#include "dvd_demux.h"
#include "number_text.h"
#include "server_object.h"
#include "title_shape.h"

extern "C" {
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <memory>
#include <optional>
#include <thread>

namespace outside {

namespace {

constexpr std::size_t kSectorsPerRead = 32;
// While the sound lags behind, pictures are decoded at most this far ahead of the one
// being delivered; past it the picture goes out with silence where its sound is missing.
constexpr double kSoundWaitSeconds = 1.0;
// Pictures the worker keeps ready for ReadFrame (about 0.6 MB each at 720x576).
constexpr std::size_t kPicturesAhead = 4;
// Slice threads of the picture decoder. A DVD's pictures are at most 720x576: three threads
// decode them far faster than any encoder takes them, while more only wait for processors
// the encoders hold, so each picture came out later and the encoders' start waited for it
// (measured on eight processors: VCD, SVCD and DivX 1 to 6 % faster than with eight).
constexpr int kDecoderSlices = 3;

// A picture read ahead, as ReadFrame hands it out, or the end of the title, or the failure
// that stopped reading there.
struct AheadPicture {
  std::vector<BYTE> planes;  // Y, then U and V
  std::vector<std::int16_t> sound;
  std::uint32_t position = 0;
  HRESULT result = S_OK;  // S_OK or DVD_S_END_OF_TITLE
  std::optional<DvdError> failure;
};

// Thrown inside the worker's reading when it is told to stop.
struct ReadingStopped {};

class DVDDataObj : public ServerObject<DVDDataObj, IDVDDataObj, IID_IDVDDataObj, Binding::TypeLibrary> {
 public:
  void FinalRelease() { CloseAll(); }


  // The set-up calls only store their value; Open checks and applies them together.
  HRESULT STDMETHODCALLTYPE SetDvdPath(BSTR videoFolder) override {
    return Run([&] {
      path_ = BstrToPath(videoFolder);
      return S_OK;
    });
  }
  HRESULT STDMETHODCALLTYPE SetTitle(INT title) override { return Store(&title_, title); }
  HRESULT STDMETHODCALLTYPE SetProgramChain(INT pgc) override { return Store(&pgc_, pgc); }
  HRESULT STDMETHODCALLTYPE SetAudioStream(INT stream) override { return Store(&audio_, stream); }
  HRESULT STDMETHODCALLTYPE SetSubtitle(INT stream) override { return Store(&subtitle_, stream); }
  HRESULT STDMETHODCALLTYPE SetAngle(INT angle) override { return Store(&angle_, angle); }
  HRESULT STDMETHODCALLTYPE SetFrameRate(double fps) override { return Store(&fps_, fps); }
  HRESULT STDMETHODCALLTYPE SetSampleRate(INT rate) override { return Store(&rate_, rate); }
  HRESULT STDMETHODCALLTYPE SetForce24(INT force) override { return Store(&force24_, force); }

  HRESULT STDMETHODCALLTYPE Open() override {
    CloseAll();
    return Run([&] {
      try {
        OpenAll();
      } catch (const DvdError& e) {
        // The caller may go on to Seek and ReadFrame without testing Open: they repeat this.
        failure_ = e;
        CloseAll(false);
        throw;
      }
      // On the caller's thread: the encoders it starts next give their files the title's shape.
      AnnounceTitleShape(this, wide_ ? AVRational{16, 9} : AVRational{4, 3});
      return S_OK;
    });
  }

  HRESULT STDMETHODCALLTYPE Seek(INT position) override {
    return Run([&] {
      RequireOpen();
      StopAhead();
      reader_->Seek(static_cast<std::uint32_t>(position));
      decoder_->Reset();
      Restart(static_cast<std::uint32_t>(position));
      StartAhead();
      return S_OK;
    });
  }

  HRESULT STDMETHODCALLTYPE ReadFrame(BYTE* y, BYTE* u, BYTE* v, INT_PTR* value1, INT* value2) override {
    return Run([&] {
      if (!y || !u || !v || !value1 || !value2) throw DvdError("A picture or sound pointer is null.", E_POINTER);
      *value1 = 0;
      *value2 = 0;
      RequireOpen();
      HRESULT hr = S_OK;
      try {
        hr = serial_ ? Next(y, u, v, &sound_, &position_) : TakeAhead(y, u, v);
      } catch (...) {
        failure_ = FailureOf(std::current_exception());  // reading does not go on past a failure
        throw *failure_;
      }
      *value1 = reinterpret_cast<INT_PTR>(sound_.data());
      *value2 = static_cast<INT>(sound_.size() * sizeof(std::int16_t));
      return hr;
    });
  }

  HRESULT STDMETHODCALLTYPE GetPosition(INT* position) override {
    return Run([&] {
      RequireOut(position);
      *position = static_cast<INT>(position_);
      return S_OK;
    });
  }

  HRESULT STDMETHODCALLTYPE Close() override {
    CloseAll();
    return S_OK;
  }

 private:
  template <class Body>
  HRESULT Run(Body&& body) {
    return Guarded(CLSID_DVDDataObj, IID_IDVDDataObj, std::forward<Body>(body));
  }
  template <class T>
  static HRESULT Store(T* field, T value) {
    *field = value;
    return S_OK;
  }

  void RequireOpen() {
    if (failure_) throw *failure_;
    if (!decoder_) throw DvdError("The DVD reader is not open.", E_UNEXPECTED);
  }

  void OpenAll() {
    if (path_.empty()) throw DvdError("No DVD folder was set.", E_INVALIDARG);
    if (!std::isfinite(fps_) || fps_ < 1.0 || fps_ > 240.0)
      throw DvdError("The frame rate " + NumberText(fps_) + " cannot be delivered.", E_INVALIDARG);
    if (rate_ < 8000 || rate_ > 192000)
      throw DvdError("The sample rate " + std::to_string(rate_) + " Hz cannot be delivered.", E_INVALIDARG);

    disc_ = std::make_unique<DvdDisc>(path_);
    const DvdTitle& title = disc_->Title(title_);
    CheckIndex(pgc_, title.programChains.size(), "Program chain", "the title");
    const DvdProgramChain& pgc = title.programChains[pgc_];
    // -1 is what a caller passes when the program chain has no sound or no subtitle is wanted.
    CheckIndex(audio_, pgc.audio.size(), "Audio stream", "the program chain", -1);
    CheckIndex(subtitle_, pgc.subtitles.size(), "Subtitle stream", "the program chain", -1);
    CheckIndex(angle_, static_cast<std::size_t>(title.angles), "Angle", "the title");

    DecoderSettings settings;
    settings.sampleRate = rate_;
    settings.nominalFps = title.pal ? 25.0 : 30000.0 / 1001.0;
    if (audio_ >= 0) {
      const DvdAudioStream& a = pgc.audio[audio_];
      if (a.substreamId == 0) throw DvdError("The sound stream \"" + a.name + "\" cannot be decoded.");
      settings.audioFormat = a.format;
      settings.audioStreamId = a.substreamId >= 0xC0 ? a.substreamId : 0xBD;
      settings.audioSubstreamId = a.substreamId >= 0xC0 ? -1 : a.substreamId;
    }
    if (subtitle_ >= 0) settings.subtitleSubstreamId = pgc.subtitles[subtitle_].substreamId;
    std::copy(std::begin(pgc.palette), std::end(pgc.palette), settings.palette);

    serial_ = SerialServers();
    settings.videoThreads = serial_ ? 1 : std::min(CodecThreads(), kDecoderSlices);
    width_ = title.width;
    height_ = title.height;
    // Film on an NTSC disc runs at 24000/1001 pictures a second under its pulldown.
    filmRate_ = force24_ && !title.pal ? 24000.0 / 1001.0 : 0.0;
    reader_ = std::make_unique<SectorReader>(*disc_, title.titleSet, CellsForAngle(pgc, angle_));
    decoder_ = std::make_unique<TitleDecoder>(settings);
    buffer_.resize(kSectorsPerRead * kSectorSize);
    Restart(pgc.cells.empty() ? 0 : CellsForAngle(pgc, angle_).front().firstSector);
    wide_ = title.wide;
  }

  void Restart(std::uint32_t position) {
    next_ = 0;
    sectorsRead_ = 0;
    dataEnded_ = false;
    titleEnded_ = false;
    readFailure_.reset();
    position_ = position;
    scrambling_.Reset();
  }

  void CloseAll(bool clearFailure = true) {
    StopAhead();
    WithdrawTitleShape(this);
    decoder_.reset();
    reader_.reset();
    disc_.reset();
    if (scaler_) sws_freeContext(scaler_);
    scaler_ = nullptr;
    sound_.clear();
    sound_.shrink_to_fit();
    buffer_.clear();
    buffer_.shrink_to_fit();
    if (clearFailure) failure_.reset();
  }

  // Sample frames that belong to the output pictures before picture n.
  std::size_t SoundBefore(std::uint64_t n) const {
    return static_cast<std::size_t>(std::floor(static_cast<long double>(n) * rate_ / fps_ + 1e-9L));
  }

  // The time on the title's clock that output picture n shows: the middle of its interval,
  // or with Force24 a point inside the film frame that interval falls in.
  double TargetTime(std::uint64_t n) const {
    const double t = (static_cast<double>(n) + 0.5) / fps_;
    if (filmRate_ <= 0) return t;
    return (std::floor(t * filmRate_) + 0.4) / filmRate_;
  }

  void Pump() {
    std::uint32_t first = 0;
    std::size_t got = 0;
    try {
      got = reader_->Read(buffer_.data(), kSectorsPerRead, &first);
    } catch (const DvdError& e) {
      // The pictures of what was read before the damage go out first, the failure after them.
      readFailure_ = e;
    }
    if (got == 0) {
      scrambling_.Finish();
      decoder_->Finish();
      dataEnded_ = true;
      return;
    }
    sectorsRead_ += got;
    for (std::size_t i = 0; i < got; ++i) {
      PackCounts counts;
      SplitPack(buffer_.data() + i * kSectorSize, first + static_cast<std::uint32_t>(i),
                [&](const DvdPayload& p) { decoder_->Feed(p); }, &counts);
      scrambling_.Note(counts);
    }
  }

  HRESULT EndOfTitle(std::vector<std::int16_t>* sound, std::uint32_t* position) {
    if (readFailure_) throw *readFailure_;
    if (next_ == 0 && sectorsRead_ > 0)
      throw DvdError("No picture could be decoded from the chosen part of the title; the video data is damaged.");
    titleEnded_ = true;
    *position = DVD_POSITION_END;
    sound->clear();
    return DVD_S_END_OF_TITLE;
  }

  // The next picture into the planes, its sound and position; S_OK, or DVD_S_END_OF_TITLE.
  // Runs on the worker while reading ahead, else on the caller's thread.
  HRESULT Next(BYTE* y, BYTE* u, BYTE* v, std::vector<std::int16_t>* sound, std::uint32_t* position) {
    if (titleEnded_) return EndOfTitle(sound, position);
    const double target = TargetTime(next_);
    const std::size_t soundFrames = SoundBefore(next_ + 1) - SoundBefore(next_);
    auto& pictures = decoder_->Pictures();
    for (;;) {
      while (pictures.size() >= 2 && pictures[1].start <= target) decoder_->DropFront();
      bool ready = pictures.size() >= 2;
      if (dataEnded_ && pictures.size() == 1) {
        const DecodedPicture& last = pictures.front();
        if (target >= last.start + last.duration) return EndOfTitle(sound, position);
        ready = true;
      }
      if (dataEnded_ && pictures.empty()) return EndOfTitle(sound, position);
      if (ready) {
        const bool soundReady = !decoder_->HasSound() || dataEnded_ ||
                                decoder_->SoundAvailable() >= soundFrames ||
                                pictures.back().start > target + kSoundWaitSeconds;
        if (soundReady) break;
      }
      if (stopAhead_.load(std::memory_order_relaxed)) throw ReadingStopped{};
      Pump();
    }

    const DecodedPicture& picture = decoder_->Pictures().front();
    CopyPicture(picture.frame, width_, height_, y, u, v, &scaler_);
    if (const AVSubtitle* sub = decoder_->SubtitleAt(picture.pts)) BurnSubtitle(*sub, width_, height_, y, u, v);
    decoder_->TakeSound(soundFrames, sound);
    *position = picture.sector;
    ++next_;
    return S_OK;
  }

  // Reading ahead: a worker fills the pipe's slots with the next pictures while the caller
  // works on the last one. Nothing of the reader is touched by the caller while it runs.
  void StartAhead() {
    if (serial_ || worker_.joinable() || !decoder_) return;
    aheadEnded_ = false;
    stopAhead_ = false;
    const std::size_t bytes = static_cast<std::size_t>(width_) * height_ + 2 * PlaneBytesUv();
    ahead_ = std::make_unique<BoundedPipe<AheadPicture>>(kPicturesAhead);
    worker_ = std::thread([this, bytes] { ReadAhead(bytes); });
  }

  void StopAhead() {
    if (!worker_.joinable()) return;
    stopAhead_ = true;
    ahead_->Close();
    worker_.join();
    ahead_.reset();
  }

  std::size_t PlaneBytesUv() const { return static_cast<std::size_t>(width_ / 2) * (height_ / 2); }

  void ReadAhead(std::size_t bytes) {
    for (;;) {
      AheadPicture* p = ahead_->BeginPut();
      if (!p) return;
      p->failure.reset();
      try {
        p->planes.resize(bytes);
        BYTE* y = p->planes.data();
        BYTE* u = y + static_cast<std::size_t>(width_) * height_;
        p->result = Next(y, u, u + PlaneBytesUv(), &p->sound, &p->position);
      } catch (const ReadingStopped&) {
        return;
      } catch (...) {
        p->failure = FailureOf(std::current_exception());
      }
      const bool last = p->failure || p->result == DVD_S_END_OF_TITLE;
      ahead_->EndPut();
      if (last) return;
    }
  }

  // The next picture the worker has read, as Next would have given it.
  HRESULT TakeAhead(BYTE* y, BYTE* u, BYTE* v) {
    if (!worker_.joinable() && !aheadEnded_) StartAhead();  // read without a Seek first
    if (aheadEnded_) {
      position_ = DVD_POSITION_END;
      sound_.clear();
      return DVD_S_END_OF_TITLE;
    }
    AheadPicture* p = ahead_->BeginTake();
    if (!p) throw DvdError("The DVD reader was closed while reading.", E_UNEXPECTED);
    struct Release {
      BoundedPipe<AheadPicture>* pipe;
      ~Release() { pipe->EndTake(); }
    } release{ahead_.get()};
    if (p->failure) {
      aheadEnded_ = true;
      throw *p->failure;
    }
    if (p->result == S_OK) {  // at the end the planes keep the last picture
      const std::size_t luma = static_cast<std::size_t>(width_) * height_, chroma = PlaneBytesUv();
      std::memcpy(y, p->planes.data(), luma);
      std::memcpy(u, p->planes.data() + luma, chroma);
      std::memcpy(v, p->planes.data() + luma + chroma, chroma);
    }
    // The slot takes the last picture's sound buffer back, so nothing is allocated per picture.
    sound_.swap(p->sound);
    position_ = p->position;
    if (p->result == DVD_S_END_OF_TITLE) aheadEnded_ = true;
    return p->result;
  }

  // Settings.
  std::string path_;
  INT title_ = 0, pgc_ = 0, audio_ = 0, subtitle_ = -1, angle_ = 0, rate_ = 44100, force24_ = 0;
  double fps_ = 25.0;

  // An open reader.
  std::unique_ptr<DvdDisc> disc_;
  std::unique_ptr<SectorReader> reader_;
  std::unique_ptr<TitleDecoder> decoder_;
  std::optional<DvdError> failure_;
  std::optional<DvdError> readFailure_;  // where the data ended early
  SwsContext* scaler_ = nullptr;
  std::vector<std::uint8_t> buffer_;
  ScrambleWatch scrambling_;
  bool serial_ = false;

  // Reading ahead. The worker alone uses the reader, the decoder and their state above
  // while it runs; the caller only takes pictures from the pipe.
  std::unique_ptr<BoundedPipe<AheadPicture>> ahead_;
  std::thread worker_;
  std::atomic<bool> stopAhead_{false};
  bool aheadEnded_ = false;  // the worker delivered the end of the title or a failure

  // What the caller was last handed.
  std::vector<std::int16_t> sound_;  // the last picture's sound, handed out through value1
  int width_ = 0, height_ = 0;
  bool wide_ = false;  // the title is shown at 16:9
  double filmRate_ = 0;
  std::uint64_t next_ = 0;  // output pictures delivered since the last seek
  std::uint64_t sectorsRead_ = 0;
  bool dataEnded_ = false;
  bool titleEnded_ = false;
  std::uint32_t position_ = 0;
};

}  // namespace

HRESULT CreateDvdDataObj(IUnknown* outer, REFIID iid, void** ppv) {
  return qcom::CreateInstance<DVDDataObj>(outer, iid, ppv);
}

}  // namespace outside
