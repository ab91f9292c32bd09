// Shared by the two DVD classes: turning failures into HRESULTs with error information.
#pragma once

#include <com/errorinfo.h>
#include <com/strings.h>

#include "dvd_disc.h"

#include <cstdio>
#include <exception>
#include <new>
#include <string>

namespace outside {

// The failure an exception caught inside a server stands for, with the text the user sees.
inline DvdError FailureOf(std::exception_ptr caught) {
  try {
    std::rethrow_exception(caught);
  } catch (const DvdError& e) {
    return e;
  } catch (const std::bad_alloc&) {
    return DvdError("Not enough memory to read the DVD.", E_OUTOFMEMORY);
  } catch (const std::exception& e) {
    return DvdError(std::string("Reading the DVD failed: ") + e.what());
  } catch (...) {
    return DvdError("Reading the DVD failed.");
  }
}

// Runs body, which returns an HRESULT or throws DvdError; any failure leaves error
// information for the caller and never lets an exception cross the COM boundary.
template <class Body>
HRESULT Guarded(REFCLSID clsid, REFIID iid, Body&& body) noexcept {
  try {
    return body();
  } catch (...) {
    try {
      const DvdError e = FailureOf(std::current_exception());
      return qcom::ReportError(e.Result(), clsid, e.what(), iid);
    } catch (...) {
      return E_OUTOFMEMORY;  // not even the text could be made
    }
  }
}

inline void RequireOut(const void* p) {
  if (!p) throw DvdError("A result pointer is null.", E_POINTER);
}

// "Audio stream 3 does not exist; the program chain has 2."
inline std::string RangeText(const char* what, int index, std::size_t count, const std::string& of) {
  return std::string(what) + " " + std::to_string(index + 1) + " does not exist; " + of + " has " +
         std::to_string(count) + ".";
}

// Throws the range error unless first <= index < count; first is -1 where "none" may be chosen.
inline void CheckIndex(int index, std::size_t count, const char* what, const std::string& of, int first = 0) {
  if (index < first || index >= static_cast<int>(count))
    throw DvdError(RangeText(what, index, count, of), E_INVALIDARG);
}

// A new BSTR for an out parameter; throws when memory runs out.
inline BSTR NewBstr(const std::string& text) {
  BSTR b = SysAllocStringUtf8(text);
  if (!b) throw std::bad_alloc();
  return b;
}

// "1:02:03" or "2:03".
inline std::string FormatDuration(double seconds) {
  long total = static_cast<long>(seconds + 0.5);
  char text[32];
  if (total >= 3600)
    std::snprintf(text, sizeof text, "%ld:%02ld:%02ld", total / 3600, total / 60 % 60, total % 60);
  else
    std::snprintf(text, sizeof text, "%ld:%02ld", total / 60, total % 60);
  return text;
}

}  // namespace outside
