// Builds of the engine's byte operations MoveBytes and ZeroBytes.
#include <zentra/server_builds.h>

#include <cstring>

namespace zentra {

// Byte by byte from the lowest address up: an overlapping destination above the
// source repeats the bytes already copied, which callers rely on.
void MoveBytes_C(void* dst, const void* src, std::int32_t length) {
  auto* d = static_cast<std::uint8_t*>(dst);
  const auto* s = static_cast<const std::uint8_t*>(src);
  for (std::int32_t i = 0; i < length; ++i) d[i] = s[i];
}

std::int32_t ZeroBytes_C(void* dst, std::int32_t length) {
  auto* d = static_cast<std::uint8_t*>(dst);
  const std::int32_t words = length / 4;
  const std::uint32_t zero = 0;
  for (std::int32_t i = 0; i < words; ++i) std::memcpy(d + 4 * i, &zero, 4);
  for (std::int32_t i = 4 * words; i < length; ++i) d[i] = 0;
  return 0;
}

}  // namespace zentra
