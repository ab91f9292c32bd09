// Judging an output file from its own bytes and its decoded pictures, never from what
// the encoder says of it: the frame shape an AVI header carries and how the luma of
// decoded pictures follows the source's. MPEG program streams and their decoder buffer:
// tests/support/disc_checks.h.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "encoders_support.h"

namespace outcheck {

// ---- AVI headers.

// The frame shape of the OpenDML video properties ('vprp') of the first video stream,
// {0, 0} when the file has none.
inline std::pair<int, int> AviFrameAspect(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::vector<char> head(65536);
  in.read(head.data(), static_cast<std::streamsize>(head.size()));
  head.resize(static_cast<std::size_t>(in.gcount()));
  const std::string text(head.begin(), head.end());
  const std::size_t at = text.find("vprp");
  if (at == std::string::npos || at + 8 + 24 > text.size()) return {0, 0};
  auto word = [&](std::size_t k) {
    return static_cast<std::uint32_t>(static_cast<std::uint8_t>(text[k])) |
           static_cast<std::uint32_t>(static_cast<std::uint8_t>(text[k + 1])) << 8 |
           static_cast<std::uint32_t>(static_cast<std::uint8_t>(text[k + 2])) << 16 |
           static_cast<std::uint32_t>(static_cast<std::uint8_t>(text[k + 3])) << 24;
  };
  const std::uint32_t aspect = word(at + 8 + 20);  // after format, standard, rate, totals
  return {static_cast<int>(aspect >> 16), static_cast<int>(aspect & 0xFFFF)};
}

// ffprobe's display aspect of the first picture stream as a number (0 when it has none).
inline double DisplayAspect(const nlohmann::json& probe) {
  const auto* v = enctest::StreamOfType(probe, "video");
  if (!v || !v->contains("display_aspect_ratio")) return 0;
  const std::string dar = (*v)["display_aspect_ratio"];
  const std::size_t colon = dar.find(':');
  if (colon == std::string::npos) return 0;
  const double den = std::atof(dar.c_str() + colon + 1);
  return den > 0 ? std::atof(dar.c_str()) / den : 0;
}

// ---- Decoded pictures.

// Pictures number n (counted from 0 in decoding's output order) of a file as YUV 4:2:0
// planes of w x h, decoded by ffmpeg; fewer when the file has fewer.
inline std::vector<std::vector<std::uint8_t>> DecodePictures(const std::string& path,
                                                             const std::vector<int>& numbers, int w, int h) {
  std::string select;
  for (int n : numbers) select += (select.empty() ? "" : "+") + std::string("eq(n\\,") + std::to_string(n) + ")";
  const enctest::ProcessResult r =
      enctest::Run({"ffmpeg", "-v", "error", "-nostdin", "-i", path, "-map", "0:v:0", "-vf", "select=" + select,
                    "-fps_mode", "passthrough", "-f", "rawvideo", "-pix_fmt", "yuv420p", "-"});
  const std::size_t size = static_cast<std::size_t>(w) * h * 3 / 2;
  std::vector<std::vector<std::uint8_t>> out;
  for (std::size_t at = 0; r.status == 0 && at + size <= r.out.size(); at += size)
    out.emplace_back(r.out.begin() + static_cast<std::ptrdiff_t>(at),
                     r.out.begin() + static_cast<std::ptrdiff_t>(at + size));
  return out;
}

// Least squares of output luma against source luma, out = a * source + b, over the means
// of blocks of block x block pixels of every picture pair, each mean taken over the pixels
// where keep (when given) is true. Means of blocks measure levels; a lossy coder's loss of
// fine grain would otherwise tilt the line as if the levels had changed.
struct LumaFit {
  double a = 0, b = 0;
  std::size_t pixels = 0;             // pixels that took part
  double meanAbsDifference = 0;       // per pixel
};

inline LumaFit FitLuma(const std::vector<std::vector<std::uint8_t>>& source,
                       const std::vector<std::vector<std::uint8_t>>& output, int w, int h, int block,
                       const std::vector<std::vector<bool>>* keep = nullptr) {
  LumaFit f;
  double n = 0, sx = 0, sy = 0, sxx = 0, sxy = 0, sad = 0;
  for (std::size_t p = 0; p < std::min(source.size(), output.size()); ++p)
    for (int by = 0; by + block <= h; by += block)
      for (int bx = 0; bx + block <= w; bx += block) {
        double x = 0, y = 0;
        int count = 0;
        for (int r = by; r < by + block; ++r)
          for (int c = bx; c < bx + block; ++c) {
            const std::size_t i = static_cast<std::size_t>(r) * w + c;
            if (keep && !(*keep)[p][i]) continue;
            x += source[p][i];
            y += output[p][i];
            sad += std::abs(static_cast<double>(output[p][i]) - source[p][i]);
            ++count;
          }
        if (count == 0) continue;
        x /= count;
        y /= count;
        n += 1;
        sx += x;
        sy += y;
        sxx += x * x;
        sxy += x * y;
        f.pixels += static_cast<std::size_t>(count);
      }
  if (n < 2 || n * sxx - sx * sx <= 0) return f;
  f.a = (n * sxy - sx * sy) / (n * sxx - sx * sx);
  f.b = (sy - f.a * sx) / n;
  f.meanAbsDifference = sad / static_cast<double>(f.pixels);
  return f;
}

}  // namespace outcheck
