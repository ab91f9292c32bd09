// Numbers in the texts users read: "29.97", "1e+308", never a 309-digit expansion.
#pragma once

#include <cstdio>
#include <string>

namespace outside {

inline std::string NumberText(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.6g", value);
  return text;
}

}  // namespace outside
