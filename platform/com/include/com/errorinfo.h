// Error information helpers: servers report a failure with a text, callers read it back.
#pragma once

#include <com/com.h>

#include <string>
#include <string_view>

namespace qcom {

// Puts an error object on this thread (GUID = iid, source = the class's ProgID when the
// registry knows it, description = text) and returns hr, so a method can end with
// `return qcom::ReportError(DISP_E_EXCEPTION, CLSID_X, "...");`.
QCOM_API HRESULT ReportError(HRESULT hr, REFCLSID clsid, std::string_view description,
                             REFIID iid = GUID_NULL);

// The description of the error a failing call on `object` left on this thread, or ""
// when the object does not support error information for iid or left none. Takes the
// error object off the thread (as GetErrorInfo does).
QCOM_API std::string ErrorDescription(IUnknown* object, REFIID iid);

}  // namespace qcom
