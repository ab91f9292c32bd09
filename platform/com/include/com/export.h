// Symbol visibility of the COM runtime. The library is built with hidden visibility:
// only what its headers mark with QCOM_API is exported.
#pragma once

#define QCOM_API __attribute__((visibility("default")))
