// The builds of the picture server's own engine operations; their tables are in
// engine_dispatch.cpp.
#pragma once

#include <zentra/engine_dispatch.h>

#include <cstdint>

namespace zentra {

PrimitiveStatus ResizePlane_C(const std::uint8_t* src, std::uint8_t* dst, std::int32_t srcWidth,
                              std::int32_t srcHeight, std::int32_t dstWidth,
                              std::int32_t dstHeight);
PrimitiveStatus ResizePlaneLinear(const std::uint8_t* src, std::uint8_t* dst,
                                  std::int32_t srcWidth, std::int32_t srcHeight,
                                  std::int32_t dstWidth, std::int32_t dstHeight);
void MoveBytes_C(void* dst, const void* src, std::int32_t length);
std::int32_t ZeroBytes_C(void* dst, std::int32_t length);

}  // namespace zentra
