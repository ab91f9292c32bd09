// Unit Cvtthread: the worker that converts one range of a DVD title, picture by
// picture, through the DVD data object, the preview painter, PICTUREUTL and the
// MPEG or AVI encoder. It touches the program's windows only through Synchronize.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include <com/com.h>
#include <vcl/classes.h>

struct IDVDDataObj;
struct IPicShowObj;

// How a run ended, as the conversion window and the tests see it.
enum class TConvertOutcome {
  NotRun,     // Execute has not ended yet
  Completed,  // the range (or the title) was converted and the file finished
  Stopped,    // the stop flag ended the run; the file was finished
  Failed,     // a call failed; the error box was shown
  Nothing,    // an output kind outside 0..2: nothing was converted
};

class TConvertThread : public TThread {
 public:
  explicit TConvertThread(bool createSuspended);
  ~TConvertThread() override;
  std::string ClassName() const override { return "TConvertThread"; }

  // Written by the conversion window before Resume.
  void SetStartPosition(std::int32_t v) { FStartPosition = static_cast<std::uint32_t>(v); }
  void SetEndPosition(std::int32_t v) { FEndPosition = static_cast<std::uint32_t>(v); }
  void SetTitle(std::int32_t v) { FTitle = v; }
  void SetSubtitle(std::int32_t v) { FSubtitle = v; }
  void SetProgramChain(std::int32_t v) { FProgramChain = v; }
  void SetDvdPath(const std::string& v) { FDvdPath = v; }
  void SetAngle(std::int32_t v) { FAngle = v; }
  void SetAudioStream(std::int32_t v) { FAudioStream = v; }
  void SetFrameRate(double v) { FFrameRate = v; }
  void SetSampleRate(std::int32_t v) { FSampleRate = v; }
  void SetForce24(bool v) { FForce24 = v; }
  void SetKind(std::int32_t v) { FKind = v; }
  void SetCodec(std::int32_t v) { FCodec = v; }
  void SetVideoBitrate(std::int32_t v) { FVideoBitrate = v; }
  void SetOutputWidth(std::int32_t v) { FOutputWidth = v; }
  void SetOutputHeight(std::int32_t v) { FOutputHeight = v; }
  void SetAudioRateIndex(std::int32_t v) { FAudioRateIndex = v; }
  void SetLameBitrate(std::int32_t v) { FLameBitrate = v; }
  void SetLameQuality(std::int32_t v) { FLameQuality = v; }
  void SetFileSizeLimit(double v) { FFileSizeLimit = v; }
  void SetSourceWidth(std::int32_t v) { FSourceWidth = v; }
  void SetSourceHeight(std::int32_t v) { FSourceHeight = v; }
  void SetOutputFile(const std::string& v) { FOutputFile = v; }
  // Also written by the GUI thread while the run goes on.
  void SetStop(bool v) { FStop.store(v); }
  void SetLogOff(bool v) { FLogOff.store(v); }

  std::uint32_t StartPosition() const { return FStartPosition; }
  std::uint32_t EndPosition() const { return FEndPosition; }
  TConvertOutcome Outcome() const { return FOutcome.load(); }
  // Pictures read and converted in the range, and of them those given to the preview.
  int Pictures() const { return FPictures.load(); }
  int Previews() const { return FPreviews.load(); }

 protected:
  void Execute() override;

 private:
  enum class Ending { Range, Stop, Error };
  // How the set-up left a run: ended there (said, the reader closed, no file begun), failed
  // once the encoder was asked to start (the run is finished as after a failed picture),
  // or ready for the pictures.
  enum class SetUp { Ended, Failed, Ready };
  struct EncodingRun;
  void RunConversion();
  void RunEncoding(IDVDDataObj* data, IPicShowObj* painter);
  SetUp SetUpEncoding(EncodingRun& run, IDVDDataObj* data);
  // Reads, shows, converts and writes pictures until the stop, the range's end or a failure.
  Ending EncodePictures(EncodingRun& run, IDVDDataObj* data, IPicShowObj* painter);
  // Closes the reader, finishes the file, and says how the run ended.
  void FinishEncoding(EncodingRun& run, IDVDDataObj* data, Ending ending);
  enum class Progress { GoOn, PastEnd, Failed };
  // Reads the position of the picture just read; past the end position the run is over.
  Progress CheckProgress(IDVDDataObj* data);
  // The failed call's text, asked of `object` for `iid` (or `fallback` when it has none),
  // becomes ErrorText and the run a failure; ReportError also shows it.
  void NoteError(IUnknown* object, const IID& iid, const std::string& fallback);
  void ReportError(IUnknown* object, const IID& iid, const std::string& fallback);
  void SyncProgress();
  void SyncShowError();
  void SyncFinished();
  void SyncConversionEnded();

  std::uint32_t FStartPosition = 0;
  std::uint32_t FEndPosition = 0;
  std::int32_t FTitle = 0;
  std::int32_t FSubtitle = 0;
  std::int32_t FProgramChain = 0;
  std::string FDvdPath;
  std::int32_t FAngle = 0;
  std::int32_t FAudioStream = 0;
  double FFrameRate = 0;
  std::int32_t FSampleRate = 0;
  bool FForce24 = false;
  std::int32_t FKind = 0;
  std::int32_t FCodec = 0;
  std::int32_t FVideoBitrate = 0;  // reaches the thread; no encoder takes it
  std::int32_t FOutputWidth = 0;
  std::int32_t FOutputHeight = 0;
  std::int32_t FAudioRateIndex = 0;  // likewise
  std::int32_t FLameBitrate = 0;
  std::int32_t FLameQuality = 0;
  double FFileSizeLimit = 0;
  std::int32_t FSourceWidth = 0;
  std::int32_t FSourceHeight = 0;
  std::string FOutputFile;
  std::atomic<bool> FStop{false};
  std::atomic<bool> FLogOff{false};

  HWND FPreviewWindow = nullptr;
  int FShownPercent = -1;  // the value the progress bar was last given
  std::atomic<TConvertOutcome> FOutcome{TConvertOutcome::NotRun};
  std::atomic<int> FPictures{0};
  std::atomic<int> FPreviews{0};
};

// Text of the last error to show, and the position of the last picture read.
extern std::string ErrorText;
extern std::uint32_t CurrentPosition;

// The percentage of the range [start, end] done at `current`, 0 to 100. Positions
// are unsigned; an empty range counts as done once it is reached.
int ProgressPercent(std::uint32_t current, std::uint32_t start, std::uint32_t end);

// The description of the error a failed call on `object` left, asked through
// ISupportErrorInfo for `iid`; empty when there is none.
std::string GetComErrorText(IUnknown* object, const IID& iid);

extern "C" {
void Cvtthread_Initialization();
void Cvtthread_Finalization();
}
