// The state the MPEG and the AVI encoder objects keep between calls: the settings
// change only while no file is being written, and a run that could not start or
// broke off says why at every later call.
#pragma once

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <com/com.h>

#include "bounded_pipe.h"
#include "encoding_session.h"
#include "gop_runs.h"

namespace outside {

// While a file is written, a worker encodes and writes the pictures: Encode checks a
// picture, encodes its sound, converts the picture into a free slot (bitmap rows: copies
// them for two more workers that take turns converting them) and returns, and a failure
// of the workers is reported by the next call. FileSize answers for the file as it stood
// kSizeLag pictures before the last one handed over, allowing for those pictures, and
// waits only for the worker to get that far; SizeLimitReached and Finish wait for every
// picture. With QUILLMERE_SERIAL set, pictures are encoded in the caller's thread and the
// sizes are answered the same way, so both runs split after the same picture.
class EncoderRun {
 public:
  // kind names the file in the messages ("MPEG", "AVI"); clsid and iid tag the error information.
  EncoderRun(const char* kind, REFCLSID clsid, REFIID iid) : kind_(kind), clsid_(clsid), iid_(iid) {}
  EncoderRun(const EncoderRun&) = delete;
  EncoderRun& operator=(const EncoderRun&) = delete;
  // The pictures handed over are written before the session closes its file.
  ~EncoderRun() { StopWorker(); }

  // How far the workers may stay behind the caller before FileSize waits for them: enough
  // pictures in flight to keep a converter and the encoder busy at once.
  static constexpr int kSizeLag = 4;
  // Converting a bitmap takes longer than encoding it: converters taking pictures in turn.
  static constexpr int kConverters = 2;
  // What each pipe holds: all the pictures in flight for the one pipe of planes; for bitmap
  // rows, whose lanes share them, three per pipe.
  static constexpr std::size_t kPicturesQueued = kSizeLag + 1;
  static constexpr std::size_t kPicturesPerLane = 3;

  // Leaves s as the caller's error information and returns its code.
  HRESULT Fail(const Status& s) const;
  HRESULT CheckIdle() const;
  // S_OK while a file is open; otherwise the reason there is none.
  HRESULT CheckRunning();

  template <class T>
  HRESULT Set(T* field, T value) {
    if (HRESULT hr = CheckIdle(); FAILED(hr)) return hr;
    *field = value;
    return S_OK;
  }
  HRESULT SetPath(std::string* field, BSTR path);

  // Opens the first file with what build makes of the settings.
  template <class Settings>
  HRESULT Start(Status (*build)(const Settings&, SessionConfig*), const Settings& settings) {
    if (HRESULT hr = CheckIdle(); FAILED(hr)) return hr;
    SessionConfig config;
    const Status built = build(settings, &config);
    return Open(built, config);
  }

  // One picture and its sound; only after CheckRunning has succeeded.
  HRESULT Encode(const BYTE* const planes[3], INT_PTR sound, INT soundBytes);
  HRESULT FileSize(double* megabytes);
  HRESULT SizeLimitReached();
  HRESULT Finish();

 private:
  // Bitmap rows and their encoded sound, waiting to be converted.
  struct Rows {
    std::vector<BYTE> rows;
    PacketList sound;
    ~Rows() { FreePackets(&sound); }
  };
  // A picture in the encoder's format and its encoded sound, handed to the worker.
  struct Queued {
    AVFrame* picture = nullptr;
    PacketList sound;
    bool dropped = false;  // not converted: the worker only counts it done
    Queued();
    ~Queued();
    Queued(const Queued&) = delete;
    Queued& operator=(const Queued&) = delete;
  };

  HRESULT Open(const Status& built, const SessionConfig& config);
  // Waits until the workers are done with all but `behind` of the pictures handed over;
  // with runs of GOPs, `behind` 0 also ends the part's last run.
  void Settle(int behind = 0);
  bool Pipelined() const { return worker_.joinable() || gop_ != nullptr; }
  HRESULT EncodeToRuns(const BYTE* const planes[3], const std::int16_t* sound, std::size_t soundBytes);
  // Once the workers have failed and rest: the session breaks off with the first reason.
  void TakeFailure();
  void NoteFailure(const Status& s);
  void StartWorker(SessionConfig::Input input);
  void StartRuns(const SessionConfig& config);
  void StopWorker();
  void Convert(int lane);
  void Work();
  // A picture is done with: written (keeping what FileSize will answer once the caller is
  // kSizeLag pictures further), or dropped after a failure. Called by the worker that
  // last held it, or by the serial caller.
  void NoteDone(bool written);
  // A new part begins with the next picture handed over.
  void NotePartStart();

  const char* kind_;
  const CLSID& clsid_;
  const IID& iid_;
  std::unique_ptr<EncodingSession> session_;
  Status startFailure_;

  // Between Settle calls the session is shared out: the caller encodes sound (and
  // converts pictures when there is no converter), the converter converts and the worker
  // encodes and writes; the caller reads only `failed_` of theirs.
  // Picture n goes through lane n % lanes: its rows pipe and converter (bitmap input
  // only), then its pipe of pictures, which the worker takes in turn.
  std::vector<std::unique_ptr<BoundedPipe<Rows>>> rows_;
  std::vector<std::thread> converters_;
  std::vector<std::unique_ptr<BoundedPipe<Queued>>> pipes_;
  std::thread worker_;
  // MPEG pictures: runs of GOPs coded side by side in place of the one worker.
  std::unique_ptr<GopRuns> gop_;
  bool sizeByRate_ = false;  // the sizes answered come from the rates alone
  std::size_t rowBytes_ = 0;
  std::atomic<bool> failed_{false};  // a picture could not be done; the rest are dropped
  std::mutex failureMu_;
  Status workerFailure_;  // the first reason (under failureMu_)

  // Sizes answered by FileSize: after picture n of the run (counted from 1) the projection
  // for kSizeLag + 1 more pictures, in a ring; before the part's first lagged picture, the
  // projection of the empty part.
  std::mutex sizesMu_;
  std::condition_variable doneChanged_;
  std::vector<double> sizes_ = std::vector<double>(kSizeLag + 2, 0.0);
  std::int64_t written_ = 0;  // pictures of the run written (under sizesMu_)
  std::int64_t done_ = 0;     // pictures of the run written or dropped (under sizesMu_)
  std::int64_t handed_ = 0;   // pictures of the run handed over (caller only)
  std::int64_t partStart_ = 0;
  double partStartSize_ = 0;
};

}  // namespace outside
