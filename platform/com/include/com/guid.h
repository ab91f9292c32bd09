// GUID text form: "{A7220B29-6598-499A-948E-70FF65FE662E}", uppercase on output.
#pragma once

#include <com/com.h>

#include <string>
#include <string_view>

QCOM_API std::string GuidToString(const GUID& guid);
// Strict: braces, 8-4-4-4-12 hex digits (either case), nothing before or after.
// On failure returns false and leaves *out unchanged.
QCOM_API bool ParseGuid(std::string_view text, GUID* out);

namespace qcom {
using ::GuidToString;
using ::ParseGuid;
}  // namespace qcom
