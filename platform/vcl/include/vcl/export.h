// Symbol visibility of the class library. The library is built with hidden
// visibility: only what its headers mark with QVCL_API is exported.
#pragma once

#define QVCL_API __attribute__((visibility("default")))
