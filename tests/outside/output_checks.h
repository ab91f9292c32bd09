// Judging an output file from its own bytes and its decoded pictures, never from what
// the encoder says of it: the pack headers of an MPEG program stream and how its picture
// stream goes through a player's decoder buffer, the frame shape an AVI header carries,
// and how the luma of decoded pictures follows the source's.
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

// ---- MPEG program streams (VCD, SVCD).

struct ProgramStream {
  std::string error;  // empty when the whole file parsed as packs and packets
  std::uint64_t bytes = 0;
  int packs = 0;
  double lastScr = 0;        // seconds, of the last pack
  std::int64_t muxRate = 0;  // bit/s, as the last pack header gives it
  std::vector<std::uint8_t> video;  // the picture stream (stream 0xE0) as the decoder gets it
  // Pictures whose last byte reaches the decoder (at the pack clock and the multiplex rate)
  // only after their decoding time: the player would have to wait for them.
  int latePictures = 0;
  int pictures = 0;
};

namespace detail {

inline std::int64_t Timestamp(const std::uint8_t* p) {
  return (std::int64_t{(p[0] >> 1) & 7} << 30) | (std::int64_t{p[1]} << 22) | (std::int64_t{p[2] >> 1} << 15) |
         (std::int64_t{p[3]} << 7) | (p[4] >> 1);
}

inline bool StartCodeAt(const std::vector<std::uint8_t>& d, std::size_t i) {
  return i + 4 <= d.size() && d[i] == 0 && d[i + 1] == 0 && d[i + 2] == 1;
}

// The pictures of a picture stream: where each one's data begins (at its sequence or
// group header when one leads it; the first picture takes everything before it) and
// where its picture start code is.
struct Pictures {
  std::vector<std::size_t> starts, codes;
};

inline Pictures FindPictures(const std::vector<std::uint8_t>& es) {
  Pictures p;
  std::size_t lead = SIZE_MAX;
  for (std::size_t i = 0; i + 4 <= es.size(); ++i) {
    if (!StartCodeAt(es, i)) continue;
    const std::uint8_t code = es[i + 3];
    if ((code == 0xB3 || code == 0xB8) && lead == SIZE_MAX) lead = i;
    if (code == 0x00) {
      p.starts.push_back(p.starts.empty() ? 0 : lead != SIZE_MAX ? lead : i);
      p.codes.push_back(i);
      lead = SIZE_MAX;
    }
    i += 3;
  }
  return p;
}

}  // namespace detail

inline ProgramStream ReadProgramStream(const std::string& path, double fps) {
  ProgramStream ps;
  std::ifstream in(path, std::ios::binary);
  const std::vector<std::uint8_t> d((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  ps.bytes = d.size();
  struct Packet {
    std::size_t esStart;  // where its payload begins in the picture stream
    double arrivalEnd;    // when its last byte has arrived, in seconds
    std::int64_t stamp;   // decoding time (DTS, else PTS) in 90 kHz ticks; -1 none
  };
  std::vector<Packet> packets;
  double packScr = 0;
  std::size_t packStart = 0;
  std::size_t i = 0;
  while (i < d.size()) {
    if (!detail::StartCodeAt(d, i)) {
      // A VCD's packs of sound end in zero bytes.
      if (d[i] == 0) {
        ++i;
        continue;
      }
      ps.error = "no start code at byte " + std::to_string(i);
      return ps;
    }
    const std::uint8_t code = d[i + 3];
    if (code == 0xBA) {
      if (i + 12 > d.size()) break;
      const std::uint8_t* h = &d[i + 4];
      packStart = i;
      if ((h[0] >> 4) == 2) {  // MPEG-1
        packScr = detail::Timestamp(h) / 90000.0;
        ps.muxRate = (((h[5] & 0x7F) << 15) | (h[6] << 7) | (h[7] >> 1)) * 400LL;
        i += 12;
      } else {  // MPEG-2: 33-bit base and 9-bit extension
        if (i + 14 > d.size()) break;
        const std::int64_t base = (std::int64_t{(h[0] >> 3) & 7} << 30) | (std::int64_t{h[0] & 3} << 28) |
                                  (std::int64_t{h[1]} << 20) | (std::int64_t{h[2] >> 3} << 15) |
                                  (std::int64_t{h[2] & 3} << 13) | (std::int64_t{h[3]} << 5) | (h[4] >> 3);
        const int ext = ((h[4] & 3) << 7) | (h[5] >> 1);
        packScr = base / 90000.0 + ext / 27e6;
        ps.muxRate = ((h[6] << 14) | (h[7] << 6) | (h[8] >> 2)) * 400LL;
        i += 14 + (h[9] & 7);
      }
      ps.lastScr = packScr;
      ++ps.packs;
      continue;
    }
    if (code == 0xB9) {  // end of the stream
      i += 4;
      continue;
    }
    if (i + 6 > d.size()) break;
    const std::size_t length = (d[i + 4] << 8) | d[i + 5];
    const std::size_t end = i + 6 + length;
    if (end > d.size()) {
      ps.error = "a packet runs past the end of the file";
      return ps;
    }
    if (code == 0xE0 && ps.muxRate > 0) {
      std::size_t j = i + 6;
      std::int64_t pts = -1, dts = -1;
      if ((d[j] >> 6) == 2) {  // MPEG-2 packet header
        const std::uint8_t flags = d[j + 1];
        const std::size_t header = d[j + 2];
        if (flags & 0x80) pts = detail::Timestamp(&d[j + 3]);
        if ((flags & 0xC0) == 0xC0) dts = detail::Timestamp(&d[j + 8]);
        j += 3 + header;
      } else {  // MPEG-1: stuffing, buffer size, then the time stamps
        while (j < end && d[j] == 0xFF) ++j;
        if (j < end && (d[j] >> 6) == 1) j += 2;
        if (j < end && (d[j] >> 4) == 2) {
          pts = detail::Timestamp(&d[j]);
          j += 5;
        } else if (j < end && (d[j] >> 4) == 3) {
          pts = detail::Timestamp(&d[j]);
          dts = detail::Timestamp(&d[j + 5]);
          j += 10;
        } else {
          ++j;
        }
      }
      if (j > end) {
        ps.error = "a picture packet's header runs past the packet";
        return ps;
      }
      // The clock reference stands for the arrival of the pack's first bytes; the rest
      // follows at the multiplex rate.
      packets.push_back({ps.video.size(), packScr + (end - packStart) * 8.0 / ps.muxRate, dts >= 0 ? dts : pts});
      ps.video.insert(ps.video.end(), d.begin() + static_cast<std::ptrdiff_t>(j),
                      d.begin() + static_cast<std::ptrdiff_t>(end));
    }
    i = end;
  }
  if (ps.packs == 0) ps.error = "no pack header";

  // A time stamp belongs to the first picture whose start code begins in its packet's
  // payload; a picture without one is due a picture time after the one before it.
  const detail::Pictures pics = detail::FindPictures(ps.video);
  ps.pictures = static_cast<int>(pics.starts.size());
  std::vector<std::int64_t> stamps(pics.codes.size(), -1);
  std::size_t n = 0;
  for (std::size_t k = 0; k < packets.size(); ++k) {
    const std::size_t end = k + 1 < packets.size() ? packets[k + 1].esStart : ps.video.size();
    while (n < pics.codes.size() && pics.codes[n] < packets[k].esStart) ++n;
    if (n < pics.codes.size() && pics.codes[n] < end) stamps[n] = packets[k].stamp;
  }
  double due = -1;
  std::size_t k = 0;
  for (std::size_t m = 0; m < pics.starts.size(); ++m) {
    due = stamps[m] >= 0 ? stamps[m] / 90000.0 : due + 1.0 / fps;
    const std::size_t last = (m + 1 < pics.starts.size() ? pics.starts[m + 1] : ps.video.size()) - 1;
    while (k + 1 < packets.size() && packets[k + 1].esStart <= last) ++k;  // carries the last byte
    if (due >= 0 && !packets.empty() && packets[k].arrivalEnd > due + 1e-4) ++ps.latePictures;
  }
  return ps;
}

// The picture stream through the decoder buffer of its sequence header, filled at the
// header's rate: a constant-rate stream from the first picture's vbv_delay on, a variable
// one (vbv_delay 0xFFFF) at its peak rate from a full buffer. An underflow is a picture
// that is not wholly in the buffer when it is due.
struct BufferRun {
  std::int64_t bitRate = 0;
  std::int64_t bufferBits = 0;
  bool variableRate = false;
  int pictures = 0;
  int underflows = 0;
};

inline BufferRun RunDecoderBuffer(const std::vector<std::uint8_t>& es, double fps) {
  BufferRun r;
  std::size_t seq = 0;
  while (seq + 12 <= es.size() && !(detail::StartCodeAt(es, seq) && es[seq + 3] == 0xB3)) ++seq;
  if (seq + 12 > es.size()) return r;
  const std::uint8_t* h = &es[seq + 4];
  r.bitRate = ((std::int64_t{h[4]} << 10) | (h[5] << 2) | (h[6] >> 6)) * 400;
  r.bufferBits = (((h[6] & 0x1F) << 5) | (h[7] >> 3)) * 16384LL;
  // MPEG-2's sequence extension carries the high bits of both.
  for (std::size_t e = seq + 12; e + 10 <= es.size() && e < seq + 256; ++e) {
    if (!(detail::StartCodeAt(es, e) && es[e + 3] == 0xB5 && (es[e + 4] >> 4) == 1)) continue;
    const std::uint8_t* x = &es[e + 4];
    const std::int64_t rateExt = ((x[2] & 0x1F) << 7) | (x[3] >> 1);
    const std::int64_t bufferExt = x[4];
    r.bitRate += rateExt * 400 << 18;
    r.bufferBits += bufferExt * 16384 << 10;
    break;
  }
  const std::vector<std::size_t> starts = detail::FindPictures(es).starts;
  r.pictures = static_cast<int>(starts.size());
  if (starts.empty() || r.bitRate <= 0 || r.bufferBits <= 0) return r;
  std::size_t code = starts[0];
  while (code + 8 <= es.size() && !(detail::StartCodeAt(es, code) && es[code + 3] == 0x00)) ++code;
  if (code + 8 > es.size()) return r;
  const int vbvDelay = ((es[code + 5] & 7) << 13) | (es[code + 6] << 5) | (es[code + 7] >> 3);
  r.variableRate = vbvDelay == 0xFFFF;
  double fullness = r.variableRate ? static_cast<double>(r.bufferBits)
                                   : std::min<double>(r.bufferBits, r.bitRate * (vbvDelay / 90000.0));
  for (std::size_t n = 0; n < starts.size(); ++n) {
    const double bits = 8.0 * ((n + 1 < starts.size() ? starts[n + 1] : es.size()) - starts[n]);
    if (bits > fullness + 1e-6) ++r.underflows;
    fullness = std::max(0.0, fullness - bits) + r.bitRate / fps;
    // A variable-rate stream stops filling when the buffer is full; a constant-rate one
    // must never get there, but that is the other fault and is not counted here.
    fullness = std::min<double>(fullness, r.bufferBits);
  }
  return r;
}

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
