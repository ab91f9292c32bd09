// The encoder objects' run state: settings held while idle, one encoding session while a
// file is written, and the reason a run failed kept for every later call.
#include "encoder_run.h"

#include <com/errorinfo.h>
#include <com/strings.h>

namespace outside {

namespace {
constexpr double kMegabyte = 1048576.0;
}

HRESULT EncoderRun::Fail(const Status& s) const { return qcom::ReportError(s.hr, clsid_, s.message, iid_); }

HRESULT EncoderRun::CheckIdle() const {
  if (session_)
    return Fail({E_UNEXPECTED,
                 std::string("The ") + kind_ + " settings can not change while a file is being written."});
  return S_OK;
}

HRESULT EncoderRun::CheckRunning() {
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
  if (s.ok()) {
    session_ = std::make_unique<EncodingSession>();
    s = session_->Open(config);
  }
  if (!s.ok()) {
    session_.reset();
    startFailure_ = s;
    return Fail(s);
  }
  return S_OK;
}

HRESULT EncoderRun::Encode(const BYTE* const planes[3], INT_PTR sound, INT soundBytes) {
  if (soundBytes < 0) return Fail({E_INVALIDARG, "The sound byte count of the picture is negative."});
  Status s = session_->Encode(planes, reinterpret_cast<const std::int16_t*>(sound),
                              static_cast<std::size_t>(soundBytes));
  return s.ok() ? S_OK : Fail(s);
}

HRESULT EncoderRun::FileSize(double* megabytes) const {
  if (!megabytes) return Fail({E_POINTER, "No place was given for the file size."});
  *megabytes = session_ ? session_->ProjectedBytes() / kMegabyte : 0.0;
  return S_OK;
}

HRESULT EncoderRun::SizeLimitReached() {
  if (HRESULT hr = CheckRunning(); FAILED(hr)) return hr;
  Status s = session_->Split();
  return s.ok() ? s.hr : Fail(s);
}

HRESULT EncoderRun::Finish() {
  if (!session_) return S_OK;
  Status s = session_->Finish();
  session_.reset();
  return s.ok() ? S_OK : Fail(s);
}

}  // namespace outside
