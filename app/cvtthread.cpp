#include "cvtthread.h"

#include <outside/dvd.h>
#include <outside/encoders.h>
#include <zentra/picture_util.h>

#include <algorithm>
#include <memory>
#include <new>
#include <vector>

#include <com/comptr.h>
#include <com/strings.h>
#include <vcl/winuser.h>
#include <win32/shell.h>

#include "convert.h"
#include "preview.h"

std::string ErrorText;
std::uint32_t CurrentPosition = 0;

namespace {

int g_unit_counter = 0;

constexpr const char* kProgramException = "Program Exception ,have to stop!";
constexpr const char* kNoPreview = "Preview can not create directdraw Object,can not show pictures!";

// Said when a server cannot be created at all (not registered, library missing):
// there is no object to ask for error information.
std::string CannotCreate(const char* what) {
  return std::string("Can not Create the ") + what + "!please re-install the software.";
}

template <class I>
HRESULT Create(REFCLSID clsid, REFIID iid, ComPtr<I>* out) {
  const HRESULT hr = CoCreateInstance(clsid, nullptr, CLSCTX_ALL, iid, out->put_void());
  return hr >= 0 && !*out ? E_POINTER : hr;
}

// A Dib24's header, before its pixel rows.
constexpr INT kDibHeader = 40;

// What the encoder of a run is started with.
struct EncoderSettings {
  BSTR output;
  INT width, height;
  double frameRate;
  INT sampleRate;
  bool vcd;  // MPEG only: a VCD, else an SVCD
  // AVI only
  INT codec, lameBitrate;
  BYTE lameQuality;
};

// A picture ready for the encoder: the output planes and, for AVI, the bitmap made of them.
struct OutputPicture {
  BYTE *y, *u, *v;
  INT width, height;
  BYTE* dib;
};

// The encoder of a run, MPEG or AVI, behind the calls the run makes of either. Each
// call is one call of the server; the two differ only in their set-up and how a
// picture is written.
class RunEncoder {
 public:
  virtual ~RunEncoder() = default;
  virtual HRESULT Create() = 0;
  // The settings in the server's own order, then Start, whose result is the answer.
  virtual HRESULT Start(const EncoderSettings& s) = 0;
  // AVI writes a bitmap of the output planes, MPEG the planes themselves.
  virtual bool TakesBitmap() const = 0;
  virtual HRESULT WriteFrame(const OutputPicture& p, INT_PTR value1, INT value2) = 0;
  virtual HRESULT GetFileSize(double* size) = 0;
  virtual HRESULT SizeLimitReached() = 0;
  virtual HRESULT Finish() = 0;
  // Asked for the text of a failed call.
  virtual IUnknown* Object() const = 0;
  virtual const IID& Iid() const = 0;
  // Said when the server cannot be created.
  virtual const char* Name() const = 0;
};

// The calls both servers answer alike.
template <class Server>
class RunEncoderOf : public RunEncoder {
 public:
  HRESULT GetFileSize(double* size) override { return enc_->GetFileSize(size); }
  HRESULT SizeLimitReached() override { return enc_->SizeLimitReached(); }
  HRESULT Finish() override { return enc_->Finish(); }
  IUnknown* Object() const override { return enc_.get(); }

 protected:
  ComPtr<Server> enc_;
};

class MpegRunEncoder final : public RunEncoderOf<IMpegEnc> {
 public:
  HRESULT Create() override { return ::Create(CLSID_MpegEnc, IID_IMpegEnc, &enc_); }
  HRESULT Start(const EncoderSettings& s) override {
    enc_->SetOutputFile(s.output);
    enc_->SetParameter10(s.vcd ? 1 : 3);
    enc_->SetParameter12(s.vcd ? 1 : 3);
    enc_->SetHeight(s.height);
    enc_->SetWidth(s.width);
    enc_->SetFrameRate(s.frameRate);
    enc_->SetSampleRate(s.sampleRate);
    enc_->SetParameter26(20);
    enc_->SetParameter22(0);
    enc_->SetParameter44(1);
    if (!s.vcd) enc_->SetParameter32(2376);
    enc_->SetParameter34(2600);
    enc_->SetParameter42(s.vcd ? 1.4 : 5.6);
    return enc_->Start();
  }
  bool TakesBitmap() const override { return false; }
  HRESULT WriteFrame(const OutputPicture& p, INT_PTR value1, INT value2) override {
    return enc_->EncodeFrame(p.y, p.u, p.v, p.width, p.height, value1, value2);
  }
  const IID& Iid() const override { return IID_IMpegEnc; }
  const char* Name() const override { return "MPEG Encoder Object"; }
};

class AviRunEncoder final : public RunEncoderOf<IAVIEncode> {
 public:
  HRESULT Create() override { return ::Create(CLSID_AVIEncode, IID_IAVIEncode, &enc_); }
  HRESULT Start(const EncoderSettings& s) override {
    enc_->SetOutputFile(s.output);
    enc_->SetHeight(s.height);
    enc_->SetWidth(s.width);
    enc_->SetFrameRate(s.frameRate);
    enc_->SetSampleRate(s.sampleRate);
    enc_->SetParameter23(1);
    enc_->SetParameter21(1);
    enc_->SetCodec(s.codec);
    enc_->SetLameBitrate(s.lameBitrate);
    enc_->SetLameQuality(s.lameQuality);
    return enc_->Start();
  }
  bool TakesBitmap() const override { return true; }
  HRESULT WriteFrame(const OutputPicture& p, INT_PTR value1, INT value2) override {
    return enc_->WriteFrame(p.dib + kDibHeader, value1, value2);
  }
  const IID& Iid() const override { return IID_IAVIEncode; }
  const char* Name() const override { return "AVI Encoder Object"; }
};

std::unique_ptr<RunEncoder> MakeEncoder(bool avi) {
  if (avi) return std::make_unique<AviRunEncoder>();
  return std::make_unique<MpegRunEncoder>();
}

}  // namespace

int ProgressPercent(std::uint32_t current, std::uint32_t start, std::uint32_t end) {
  if (end <= start) return current >= end ? 100 : 0;
  if (current <= start) return 0;
  const std::uint64_t done = current - start, range = end - start;
  return static_cast<int>(std::min<std::uint64_t>(done * 100 / range, 100));
}

std::string GetComErrorText(IUnknown* object, const IID& iid) {
  if (!object) return {};
  ComPtr<ISupportErrorInfo> support;
  if (object->QueryInterface(IID_ISupportErrorInfo, support.put_void()) < 0 || !support) return {};
  if (support->InterfaceSupportsErrorInfo(iid) < 0) return {};
  ComPtr<IErrorInfo> info;
  if (GetErrorInfo(0, info.put()) != S_OK || !info) return {};
  BSTR description = nullptr;
  if (info->GetDescription(&description) < 0 || !description) return {};
  std::string text = BstrToUtf8(description);
  SysFreeString(description);
  return text;
}

TConvertThread::TConvertThread(bool createSuspended) : TThread(createSuspended) {}

TConvertThread::~TConvertThread() = default;

void TConvertThread::Execute() {
  CoInitialize(nullptr);
  RunConversion();
  CoUninitialize();
  Synchronize([this] { SyncConversionEnded(); });
}

void TConvertThread::NoteError(IUnknown* object, const IID& iid, const std::string& fallback) {
  ErrorText = GetComErrorText(object, iid);
  if (ErrorText.empty()) ErrorText = fallback;
  FOutcome = TConvertOutcome::Failed;
}

void TConvertThread::ReportError(IUnknown* object, const IID& iid, const std::string& fallback) {
  NoteError(object, iid, fallback);
  Synchronize([this] { SyncShowError(); });
}

void TConvertThread::RunConversion() {
  // The window handle is taken on the GUI thread, where the window lives.
  Synchronize([this] { FPreviewWindow = frmPreview ? frmPreview->Handle() : nullptr; });

  ComPtr<IDVDDataObj> data;
  if (Create(CLSID_DVDDataObj, IID_IDVDDataObj, &data) < 0) {
    ReportError(nullptr, IID_IDVDDataObj, CannotCreate("DVD Data Object"));
  } else {
    ComPtr<IPicShowObj> painter;
    if (Create(CLSID_PicShowObj, IID_IPicShowObj, &painter) < 0) {
      // Like a failed set-up: the run goes on without pictures in the preview.
      ErrorText = kNoPreview;
      Synchronize([this] { SyncShowError(); });
    } else if (painter->Open(FPreviewWindow, FSourceWidth, FSourceHeight) < 0) {
      ErrorText = GetComErrorText(painter.get(), IID_IPicShowObj);
      if (ErrorText.empty()) ErrorText = kNoPreview;
      Synchronize([this] { SyncShowError(); });
      painter.Reset();
    }

    Bstr path = Bstr::FromPath(FDvdPath);
    data->SetDvdPath(path.get());
    data->SetTitle(FTitle);
    data->SetProgramChain(FProgramChain);
    data->SetSubtitle(FSubtitle);
    data->SetAudioStream(FAudioStream);
    data->SetAngle(FAngle);
    data->SetFrameRate(FFrameRate);
    data->SetSampleRate(FSampleRate);
    data->SetForce24(FForce24 ? 1 : 0);
    // An unreadable disc ends here, before an encoder has written anything.
    if (data->Open() < 0 || data->Seek(static_cast<INT>(FStartPosition)) < 0) {
      ReportError(data.get(), IID_IDVDDataObj, kProgramException);
      data->Close();
    } else if (FKind >= 0 && FKind <= 2) {
      RunEncoding(data.get(), painter.get());
    } else {
      data->Close();
      FOutcome = TConvertOutcome::Nothing;
    }
  }
  // Whatever the outcome: the user asked to leave the session once the run is over.
  if (FLogOff.load()) ExitWindowsEx(EWX_LOGOFF, 0xFFFFFFFFu);
}

// What a run holds from its set-up to its finish.
struct TConvertThread::EncodingRun {
  std::unique_ptr<RunEncoder> encoder;
  ComPtr<IPICTUREUTL> pictures;
  Bstr output;
  // The source planes read into, the output planes and the AVI's bitmap: allocated once
  // per run. An AVI that keeps the source size has no output planes of its own: `out`
  // points at the source planes then.
  std::unique_ptr<BYTE[]> sy, su, sv, oy, ou, ov, dib;
  bool resize = false;
  OutputPicture out{};

  void FreeBuffers() {
    sy.reset();
    su.reset();
    sv.reset();
    oy.reset();
    ou.reset();
    ov.reset();
    dib.reset();
  }
};

void TConvertThread::RunEncoding(IDVDDataObj* data, IPicShowObj* painter) {
  EncodingRun run;
  const SetUp setUp = SetUpEncoding(run, data);
  if (setUp == SetUp::Ended) return;
  FinishEncoding(run, data, setUp == SetUp::Ready ? EncodePictures(run, data, painter) : Ending::Error);
}

TConvertThread::SetUp TConvertThread::SetUpEncoding(EncodingRun& run, IDVDDataObj* data) {
  run.encoder = MakeEncoder(FKind == 2);
  RunEncoder& encoder = *run.encoder;
  // Nothing was begun: said at once, and the reader closed.
  auto ended = [&](IUnknown* object, const IID& iid, const std::string& text) {
    ReportError(object, iid, text);
    data->Close();
    return SetUp::Ended;
  };
  if (encoder.Create() < 0) return ended(nullptr, encoder.Iid(), CannotCreate(encoder.Name()));
  if (Create(CLSID_PICTUREUTL, IID_IPICTUREUTL, &run.pictures) < 0)
    return ended(nullptr, IID_IPICTUREUTL, CannotCreate("Picture Server Object"));

  // Sizes stay 0 unless the server answers, so a failed call cannot size a buffer.
  const bool bitmap = encoder.TakesBitmap();
  INT srcY = 0, srcU = 0, srcV = 0, outY = 0, outU = 0, outV = 0, dibSize = 0;
  HRESULT hr = run.pictures->GetYuvPlaneSizes(FSourceWidth, FSourceHeight, &srcY, &srcU, &srcV);
  if (hr >= 0) hr = run.pictures->GetYuvPlaneSizes(FOutputWidth, FOutputHeight, &outY, &outU, &outV);
  if (hr >= 0 && bitmap) hr = run.pictures->GetDibSize(FOutputWidth, FOutputHeight, 24, &dibSize);
  if (hr < 0) return ended(run.pictures.get(), IID_IPICTUREUTL, kProgramException);
  if (srcY <= 0 || srcU <= 0 || srcV <= 0 || outY <= 0 || outU <= 0 || outV <= 0 ||
      (bitmap && dibSize <= kDibHeader)) {
    return ended(nullptr, IID_IPICTUREUTL,
                 "Can not convert pictures of " + std::to_string(FSourceWidth) + "x" + std::to_string(FSourceHeight) +
                     " to " + std::to_string(FOutputWidth) + "x" + std::to_string(FOutputHeight) + "!");
  }

  run.output = Bstr::FromPath(FOutputFile);
  const EncoderSettings settings{run.output.get(), FOutputWidth, FOutputHeight, FFrameRate,  FSampleRate,
                                 FKind == 0,       FCodec,       FLameBitrate,  static_cast<BYTE>(FLameQuality)};
  // An output file that cannot be created is said at once, not after the first picture.
  if (encoder.Start(settings) < 0) {
    NoteError(encoder.Object(), encoder.Iid(), kProgramException);
    return SetUp::Failed;
  }

  run.resize = !bitmap || FOutputWidth != FSourceWidth || FOutputHeight != FSourceHeight;
  run.sy.reset(new (std::nothrow) BYTE[srcY]);
  run.su.reset(new (std::nothrow) BYTE[srcU]);
  run.sv.reset(new (std::nothrow) BYTE[srcV]);
  bool ok = run.sy && run.su && run.sv;
  if (run.resize) {
    run.oy.reset(new (std::nothrow) BYTE[outY]);
    run.ou.reset(new (std::nothrow) BYTE[outU]);
    run.ov.reset(new (std::nothrow) BYTE[outV]);
    ok = ok && run.oy && run.ou && run.ov;
  }
  if (bitmap) {
    run.dib.reset(new (std::nothrow) BYTE[dibSize]);
    ok = ok && run.dib;
  }
  if (!ok) {
    NoteError(nullptr, GUID_NULL, "Not enough memory for the pictures, have to stop!");
    return SetUp::Failed;
  }
  run.out = {run.resize ? run.oy.get() : run.sy.get(),
             run.resize ? run.ou.get() : run.su.get(),
             run.resize ? run.ov.get() : run.sv.get(),
             FOutputWidth,
             FOutputHeight,
             run.dib.get()};
  return SetUp::Ready;
}

TConvertThread::Ending TConvertThread::EncodePictures(EncodingRun& run, IDVDDataObj* data, IPicShowObj* painter) {
  RunEncoder& encoder = *run.encoder;
  IPICTUREUTL* pictures = run.pictures.get();
  const OutputPicture& out = run.out;
  BYTE *sy = run.sy.get(), *su = run.su.get(), *sv = run.sv.get();
  auto failed = [this](IUnknown* object, const IID& iid) {
    NoteError(object, iid, kProgramException);
    return Ending::Error;
  };

  int counter = 0;
  for (;;) {
    if (FStop.load()) return Ending::Stop;
    INT_PTR value1 = 0;
    INT value2 = 0;
    const HRESULT hr = data->ReadFrame(sy, su, sv, &value1, &value2);
    if (hr < 0) return failed(data, IID_IDVDDataObj);
    // The program chain's own end is the end of the run, not a failure.
    if (hr == DVD_S_END_OF_TITLE) return Ending::Range;
    const Progress progress = CheckProgress(data);
    if (progress == Progress::Failed) return failed(data, IID_IDVDDataObj);
    if (progress == Progress::PastEnd) return Ending::Range;
    FPictures.store(++counter);
    if (counter % 25 == 0 && painter) {
      if (painter->ShowFrame(FSourceWidth, FSourceHeight, sy, su, sv, FPreviewWindow) < 0)
        return failed(painter, IID_IPicShowObj);
      FPreviews.fetch_add(1);
    }
    if (run.resize && pictures->ResizeYuvPlanes(FSourceWidth, FSourceHeight, sy, su, sv, out.width, out.height, out.y,
                                                out.u, out.v) < 0)
      return failed(pictures, IID_IPICTUREUTL);
    if (encoder.TakesBitmap() && pictures->YuvPlanesToDib(out.width, out.height, out.y, out.u, out.v, out.dib) < 0)
      return failed(pictures, IID_IPICTUREUTL);
    // The size is asked only of a written picture, the limit told only after a size report.
    double size = 0;
    if (encoder.WriteFrame(out, value1, value2) < 0 || encoder.GetFileSize(&size) < 0 ||
        (size >= FFileSizeLimit && encoder.SizeLimitReached() < 0))
      return failed(encoder.Object(), encoder.Iid());
  }
}

void TConvertThread::FinishEncoding(EncodingRun& run, IDVDDataObj* data, Ending ending) {
  run.FreeBuffers();
  data->Close();
  // Closing writes the file's last data: a full disk shows up here too.
  if (run.encoder->Finish() < 0 && ending != Ending::Error) {
    NoteError(run.encoder->Object(), run.encoder->Iid(), kProgramException);
    ending = Ending::Error;
  }
  // The box waits for the user; by then the file has its end and plays.
  if (ending == Ending::Error) {
    Synchronize([this] { SyncShowError(); });
    return;
  }
  FOutcome = ending == Ending::Stop ? TConvertOutcome::Stopped : TConvertOutcome::Completed;
  Synchronize([this] { SyncFinished(); });
}

TConvertThread::Progress TConvertThread::CheckProgress(IDVDDataObj* data) {
  INT position = 0;
  if (data->GetPosition(&position) < 0) return Progress::Failed;
  CurrentPosition = static_cast<std::uint32_t>(position);
  if (CurrentPosition > FEndPosition) return Progress::PastEnd;
  // A trip to the GUI thread costs more than a picture's own work: go only when the
  // bar would show another value.
  const int percent = ProgressPercent(CurrentPosition, FStartPosition, FEndPosition);
  if (percent != FShownPercent) {
    FShownPercent = percent;
    Synchronize([this] { SyncProgress(); });
  }
  return Progress::GoOn;
}

void TConvertThread::SyncProgress() {
  if (frmConvert) frmConvert->suiProgressBar1->SetPosition(ProgressPercent(CurrentPosition, FStartPosition, FEndPosition));
}

void TConvertThread::SyncShowError() {
  MessageBoxA(frmConvert ? frmConvert->Handle() : nullptr, ErrorText.c_str(), "Error", MB_ICONERROR);
}

void TConvertThread::SyncFinished() {
  // Only a range converted to its end shows as done.
  if (frmConvert && FOutcome.load() == TConvertOutcome::Completed) frmConvert->suiProgressBar1->SetPosition(100);
}

void TConvertThread::SyncConversionEnded() {
  if (frmConvert) frmConvert->ResetAfterConversion(this);
}

void Cvtthread_Initialization() {
  if (g_unit_counter-- == 0) ErrorText.clear();
}

void Cvtthread_Finalization() {
  if (++g_unit_counter == 0) ErrorText = std::string();
}
