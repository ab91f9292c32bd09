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

void TConvertThread::RunEncoding(IDVDDataObj* data, IPicShowObj* painter) {
  const bool avi = FKind == 2;
  ComPtr<IMpegEnc> mpeg;
  ComPtr<IAVIEncode> aviEnc;
  IUnknown* encoder = nullptr;
  const IID& encoderIid = avi ? IID_IAVIEncode : IID_IMpegEnc;
  ComPtr<IPICTUREUTL> pictures;
  Ending ending = Ending::None;

  const HRESULT created = avi ? Create(CLSID_AVIEncode, IID_IAVIEncode, &aviEnc)
                              : Create(CLSID_MpegEnc, IID_IMpegEnc, &mpeg);
  if (created < 0) {
    ReportError(nullptr, encoderIid, CannotCreate(avi ? "AVI Encoder Object" : "MPEG Encoder Object"));
    data->Close();
    return;
  }
  encoder = avi ? static_cast<IUnknown*>(aviEnc.get()) : static_cast<IUnknown*>(mpeg.get());
  if (Create(CLSID_PICTUREUTL, IID_IPICTUREUTL, &pictures) < 0) {
    ReportError(nullptr, IID_IPICTUREUTL, CannotCreate("Picture Server Object"));
    data->Close();
    return;
  }

  // Sizes stay 0 unless the server answers, so a failed call cannot size a buffer.
  INT srcY = 0, srcU = 0, srcV = 0, outY = 0, outU = 0, outV = 0, dibSize = 0;
  HRESULT hr = pictures->GetYuvPlaneSizes(FSourceWidth, FSourceHeight, &srcY, &srcU, &srcV);
  if (hr >= 0) hr = pictures->GetYuvPlaneSizes(FOutputWidth, FOutputHeight, &outY, &outU, &outV);
  if (hr >= 0 && avi) hr = pictures->GetDibSize(FOutputWidth, FOutputHeight, 24, &dibSize);
  if (hr < 0) {
    ReportError(pictures.get(), IID_IPICTUREUTL, kProgramException);
    data->Close();
    return;
  }
  if (srcY <= 0 || srcU <= 0 || srcV <= 0 || outY <= 0 || outU <= 0 || outV <= 0 || (avi && dibSize <= 40)) {
    ReportError(nullptr, IID_IPICTUREUTL,
                "Can not convert pictures of " + std::to_string(FSourceWidth) + "x" + std::to_string(FSourceHeight) +
                    " to " + std::to_string(FOutputWidth) + "x" + std::to_string(FOutputHeight) + "!");
    data->Close();
    return;
  }

  Bstr output = Bstr::FromPath(FOutputFile);
  if (avi) {
    aviEnc->SetOutputFile(output.get());
    aviEnc->SetHeight(FOutputHeight);
    aviEnc->SetWidth(FOutputWidth);
    aviEnc->SetFrameRate(FFrameRate);
    aviEnc->SetSampleRate(FSampleRate);
    aviEnc->SetParameter23(1);
    aviEnc->SetParameter21(1);
    aviEnc->SetCodec(FCodec);
    aviEnc->SetLameBitrate(FLameBitrate);
    aviEnc->SetLameQuality(static_cast<BYTE>(FLameQuality));
    hr = aviEnc->Start();
  } else {
    const bool vcd = FKind == 0;
    mpeg->SetOutputFile(output.get());
    mpeg->SetParameter10(vcd ? 1 : 3);
    mpeg->SetParameter12(vcd ? 1 : 3);
    mpeg->SetHeight(FOutputHeight);
    mpeg->SetWidth(FOutputWidth);
    mpeg->SetFrameRate(FFrameRate);
    mpeg->SetSampleRate(FSampleRate);
    mpeg->SetParameter26(20);
    mpeg->SetParameter22(0);
    mpeg->SetParameter44(1);
    if (!vcd) mpeg->SetParameter32(2376);
    mpeg->SetParameter34(2600);
    mpeg->SetParameter42(vcd ? 1.4 : 5.6);
    hr = mpeg->Start();
  }
  // An output file that cannot be created is said at once, not after the first picture.
  if (hr < 0) {
    NoteError(encoder, encoderIid, kProgramException);
    ending = Ending::Error;
  }

  // All buffers once per run; the output planes are the source planes when an AVI
  // keeps the source size.
  const bool resize = !avi || FOutputWidth != FSourceWidth || FOutputHeight != FSourceHeight;
  std::unique_ptr<BYTE[]> sy, su, sv, oy, ou, ov, dib;
  if (ending == Ending::None) {
    sy.reset(new (std::nothrow) BYTE[srcY]);
    su.reset(new (std::nothrow) BYTE[srcU]);
    sv.reset(new (std::nothrow) BYTE[srcV]);
    bool ok = sy && su && sv;
    if (resize) {
      oy.reset(new (std::nothrow) BYTE[outY]);
      ou.reset(new (std::nothrow) BYTE[outU]);
      ov.reset(new (std::nothrow) BYTE[outV]);
      ok = ok && oy && ou && ov;
    }
    if (avi) {
      dib.reset(new (std::nothrow) BYTE[dibSize]);
      ok = ok && dib;
    }
    if (!ok) {
      NoteError(nullptr, GUID_NULL, "Not enough memory for the pictures, have to stop!");
      ending = Ending::Error;
    }
  }
  BYTE* py = resize ? oy.get() : sy.get();
  BYTE* pu = resize ? ou.get() : su.get();
  BYTE* pv = resize ? ov.get() : sv.get();

  int counter = 0;
  while (ending == Ending::None) {
    if (FStop.load()) {
      ending = Ending::Stop;
      break;
    }
    INT_PTR value1 = 0;
    INT value2 = 0;
    hr = data->ReadFrame(sy.get(), su.get(), sv.get(), &value1, &value2);
    if (hr < 0) {
      NoteError(data, IID_IDVDDataObj, kProgramException);
      ending = Ending::Error;
      break;
    }
    // The program chain's own end is the end of the run, not a failure.
    if (hr == DVD_S_END_OF_TITLE) {
      ending = Ending::Range;
      break;
    }
    const Progress progress = CheckProgress(data);
    if (progress != Progress::GoOn) {
      if (progress == Progress::Failed) NoteError(data, IID_IDVDDataObj, kProgramException);
      ending = progress == Progress::Failed ? Ending::Error : Ending::Range;
      break;
    }
    FPictures.store(++counter);
    if (counter % 25 == 0 && painter) {
      if (painter->ShowFrame(FSourceWidth, FSourceHeight, sy.get(), su.get(), sv.get(), FPreviewWindow) < 0) {
        NoteError(painter, IID_IPicShowObj, kProgramException);
        ending = Ending::Error;
        break;
      }
      FPreviews.fetch_add(1);
    }
    if (resize && pictures->ResizeYuvPlanes(FSourceWidth, FSourceHeight, sy.get(), su.get(), sv.get(), FOutputWidth,
                                            FOutputHeight, py, pu, pv) < 0) {
      NoteError(pictures.get(), IID_IPICTUREUTL, kProgramException);
      ending = Ending::Error;
      break;
    }
    if (avi) {
      if (pictures->YuvPlanesToDib(FOutputWidth, FOutputHeight, py, pu, pv, dib.get()) < 0) {
        NoteError(pictures.get(), IID_IPICTUREUTL, kProgramException);
        ending = Ending::Error;
        break;
      }
      hr = aviEnc->WriteFrame(dib.get() + 40, value1, value2);
    } else {
      hr = mpeg->EncodeFrame(py, pu, pv, FOutputWidth, FOutputHeight, value1, value2);
    }
    double size = 0;
    if (hr >= 0) hr = avi ? aviEnc->GetFileSize(&size) : mpeg->GetFileSize(&size);
    if (hr >= 0 && size >= FFileSizeLimit) hr = avi ? aviEnc->SizeLimitReached() : mpeg->SizeLimitReached();
    if (hr < 0) {
      NoteError(encoder, encoderIid, kProgramException);
      ending = Ending::Error;
      break;
    }
  }

  sy.reset();
  su.reset();
  sv.reset();
  oy.reset();
  ou.reset();
  ov.reset();
  dib.reset();
  data->Close();
  // Closing writes the file's last data: a full disk shows up here too.
  hr = avi ? aviEnc->Finish() : mpeg->Finish();
  if (hr < 0 && ending != Ending::Error) {
    NoteError(encoder, encoderIid, kProgramException);
    ending = Ending::Error;
  }
  // The box waits for the user; by then the file has its end and plays.
  if (ending == Ending::Error) Synchronize([this] { SyncShowError(); });
  if (ending != Ending::Error) {
    FOutcome = ending == Ending::Stop ? TConvertOutcome::Stopped : TConvertOutcome::Completed;
    Synchronize([this] { SyncFinished(); });
  }
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
