// The state the MPEG and the AVI encoder objects keep between calls: the settings
// change only while no file is being written, and a run that could not start or
// broke off says why at every later call.
#pragma once

#include <memory>
#include <string>

#include <com/com.h>

#include "encoding_session.h"

namespace outside {

class EncoderRun {
 public:
  // kind names the file in the messages ("MPEG", "AVI"); clsid and iid tag the error information.
  EncoderRun(const char* kind, REFCLSID clsid, REFIID iid) : kind_(kind), clsid_(clsid), iid_(iid) {}

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
  HRESULT FileSize(double* megabytes) const;
  HRESULT SizeLimitReached();
  HRESULT Finish();

 private:
  HRESULT Open(const Status& built, const SessionConfig& config);

  const char* kind_;
  const CLSID& clsid_;
  const IID& iid_;
  std::unique_ptr<EncodingSession> session_;
  Status startFailure_;
};

}  // namespace outside
