// The decoder buffer model and the vcdimager run of disc_checks.h.
#include "support/disc_checks.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <sstream>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include "support/files.h"
#include "support/scratch_dir.h"

namespace quill_test {

namespace {

using Bytes = std::vector<std::uint8_t>;

bool StartCodeAt(const Bytes& d, std::size_t i) {
  return i + 4 <= d.size() && d[i] == 0 && d[i + 1] == 0 && d[i + 2] == 1;
}

// A 33-bit time stamp of a pack or packet header (the MPEG-1 layout, which MPEG-2's PTS
// and DTS share).
std::int64_t Timestamp(const std::uint8_t* p) {
  return (std::int64_t{(p[0] >> 1) & 7} << 30) | (std::int64_t{p[1]} << 22) | (std::int64_t{p[2] >> 1} << 15) |
         (std::int64_t{p[3]} << 7) | (p[4] >> 1);
}

// A packet of the picture stream: where its payload sits in the file and in the picture
// stream, the clock of its pack and its time stamp.
struct VideoPacket {
  std::size_t esStart = 0;    // first payload byte's place in the picture stream
  std::size_t fileStart = 0;  // and in the file
  std::size_t packStart = 0;  // the file offset of its pack header
  double scr = 0;             // seconds
  std::int64_t muxRate = 0;   // bit/s
  std::int64_t stamp = -1;    // DTS, else PTS, in 90 kHz ticks; -1 none
};

struct Demuxed {
  std::string error;
  bool mpeg2 = false;
  int packs = 0;
  std::int64_t firstMuxRate = 0;
  double lastScr = 0;
  Bytes video;
  std::vector<VideoPacket> packets;
};

Demuxed Demultiplex(const Bytes& d) {
  Demuxed r;
  double scr = 0;
  std::int64_t muxRate = 0;
  std::size_t packStart = 0;
  std::size_t i = 0;
  while (i < d.size()) {
    if (!StartCodeAt(d, i)) {
      // Sectors of sound are filled up with zero bytes.
      if (d[i] == 0) {
        ++i;
        continue;
      }
      r.error = "no start code at byte " + std::to_string(i);
      return r;
    }
    const std::uint8_t code = d[i + 3];
    if (code == 0xBA) {
      if (i + 12 > d.size()) break;
      const std::uint8_t* h = &d[i + 4];
      packStart = i;
      if ((h[0] >> 4) == 2) {  // MPEG-1
        scr = Timestamp(h) / 90000.0;
        muxRate = (((h[5] & 0x7F) << 15) | (h[6] << 7) | (h[7] >> 1)) * 400LL;
        i += 12;
      } else if ((h[0] >> 6) == 1) {  // MPEG-2: 33-bit base and 9-bit extension
        if (i + 14 > d.size()) break;
        r.mpeg2 = true;
        const std::int64_t base = (std::int64_t{(h[0] >> 3) & 7} << 30) | (std::int64_t{h[0] & 3} << 28) |
                                  (std::int64_t{h[1]} << 20) | (std::int64_t{h[2] >> 3} << 15) |
                                  (std::int64_t{h[2] & 3} << 13) | (std::int64_t{h[3]} << 5) | (h[4] >> 3);
        const int ext = ((h[4] & 3) << 7) | (h[5] >> 1);
        scr = base / 90000.0 + ext / 27e6;
        muxRate = ((h[6] << 14) | (h[7] << 6) | (h[8] >> 2)) * 400LL;
        i += 14 + (h[9] & 7);
      } else {
        r.error = "a pack header of neither MPEG-1 nor MPEG-2 at byte " + std::to_string(i);
        return r;
      }
      if (r.packs++ == 0) r.firstMuxRate = muxRate;
      r.lastScr = scr;
      continue;
    }
    if (code == 0xB9) {  // end of the program stream
      i += 4;
      continue;
    }
    if (code < 0xBB) {
      r.error = "start code " + std::to_string(code) + " outside a packet at byte " + std::to_string(i);
      return r;
    }
    // A file cut short ends in part of a packet: what was written of it still counts.
    if (i + 6 > d.size()) break;
    const std::size_t length = (d[i + 4] << 8) | d[i + 5];
    const std::size_t end = std::min(d.size(), i + 6 + length);
    if (code == 0xE0) {
      if (r.packs == 0 || muxRate <= 0) {
        r.error = "a picture packet before any pack header with a multiplex rate";
        return r;
      }
      std::size_t j = i + 6;
      std::int64_t pts = -1, dts = -1;
      if (j < end && (d[j] >> 6) == 2) {  // MPEG-2 packet header
        if (j + 3 > end) break;
        const std::uint8_t flags = d[j + 1];
        const std::size_t header = d[j + 2];
        if ((flags & 0x80) && j + 8 <= end) pts = Timestamp(&d[j + 3]);
        if ((flags & 0xC0) == 0xC0 && j + 13 <= end) dts = Timestamp(&d[j + 8]);
        j += 3 + header;
      } else {  // MPEG-1: stuffing, buffer size, then the time stamps
        while (j < end && d[j] == 0xFF) ++j;
        if (j < end && (d[j] >> 6) == 1) j += 2;
        if (j + 5 <= end && (d[j] >> 4) == 2) {
          pts = Timestamp(&d[j]);
          j += 5;
        } else if (j + 10 <= end && (d[j] >> 4) == 3) {
          pts = Timestamp(&d[j]);
          dts = Timestamp(&d[j + 5]);
          j += 10;
        } else {
          ++j;  // 0x0F: no time stamp
        }
      }
      if (j > end) {
        if (end == d.size()) break;
        r.error = "a picture packet's header runs past the packet at byte " + std::to_string(i);
        return r;
      }
      r.packets.push_back({r.video.size(), j, packStart, scr, muxRate, dts >= 0 ? dts : pts});
      r.video.insert(r.video.end(), d.begin() + static_cast<std::ptrdiff_t>(j),
                     d.begin() + static_cast<std::ptrdiff_t>(end));
    }
    i = end;
  }
  if (r.packs == 0 && r.error.empty()) r.error = "no pack header";
  return r;
}

struct SequenceHeader {
  bool found = false;
  std::int64_t bitRate = 0, bufferBits = 0;
  double pictureRate = 0;
};

SequenceHeader ReadSequenceHeader(const Bytes& es) {
  SequenceHeader s;
  std::size_t at = 0;
  while (at + 12 <= es.size() && !(StartCodeAt(es, at) && es[at + 3] == 0xB3)) ++at;
  if (at + 12 > es.size()) return s;
  s.found = true;
  const std::uint8_t* h = &es[at + 4];
  static constexpr double kRates[] = {0, 24000.0 / 1001, 24, 25, 30000.0 / 1001, 30, 50, 60000.0 / 1001, 60};
  const int rateCode = h[3] & 0x0F;
  s.pictureRate = rateCode < 9 ? kRates[rateCode] : 0;
  std::int64_t rate = (std::int64_t{h[4]} << 10) | (h[5] << 2) | (h[6] >> 6);
  std::int64_t buffer = ((h[6] & 0x1F) << 5) | (h[7] >> 3);
  // MPEG-2's sequence extension, right after the header and its matrices, carries the high
  // bits of both.
  for (std::size_t e = at + 12; e + 10 <= es.size() && e < at + 12 + 128 + 16; ++e) {
    if (!StartCodeAt(es, e)) continue;
    if (es[e + 3] == 0xB5 && (es[e + 4] >> 4) == 1) {
      const std::uint8_t* x = &es[e + 4];
      rate |= std::int64_t{((x[2] & 0x1F) << 7) | (x[3] >> 1)} << 18;
      buffer |= std::int64_t{x[4]} << 10;
      const int n = ((x[5] >> 5) & 3) + 1, d = (x[5] & 0x1F) + 1;
      s.pictureRate = s.pictureRate * n / d;
    }
    break;
  }
  s.bitRate = rate * 400;
  s.bufferBits = buffer * 16384;
  return s;
}

int VbvDelay(const Bytes& es, std::size_t code) {
  if (code + 8 > es.size()) return -1;
  return ((es[code + 5] & 7) << 13) | (es[code + 6] << 5) | (es[code + 7] >> 3);
}

}  // namespace

void PictureFaults::Add(int picture) {
  ++count;
  if (first.size() < kKept) first.push_back(picture);
}

std::string PictureFaults::Text(const char* what) const {
  std::string t = std::to_string(count) + " " + what;
  if (count == 0) return t;
  t += " (picture" + std::string(count > 1 ? "s " : " ");
  for (std::size_t k = 0; k < first.size(); ++k) t += (k ? ", " : "") + std::to_string(first[k]);
  return t + (static_cast<std::size_t>(count) > first.size() ? ", ...)" : ")");
}

bool DecoderBufferResult::BufferClean() const {
  return error.empty() && underflows.count == 0 && overflows.count == 0 && vbvDelayMismatches.count == 0;
}

std::string DecoderBufferResult::Description() const {
  if (!error.empty()) return "not judged: " + error;
  char head[256];
  std::snprintf(head, sizeof head,
                "%s, %s rate %lld bit/s, buffer %lld bits, %.3f pictures/s, mux %lld bit/s, %d packs, %d pictures: ",
                mpeg2 ? "MPEG-2" : "MPEG-1", variableRate ? "variable, peak" : "constant",
                static_cast<long long>(bitRate), static_cast<long long>(bufferBits), pictureRate,
                static_cast<long long>(muxRate), packs, pictures);
  std::string t = head;
  t += underflows.Text("underflows") + ", " + overflows.Text("overflows") + ", " +
       vbvDelayMismatches.Text("vbv_delay mismatches");
  if (!variableRate) {
    char worst[64];
    std::snprintf(worst, sizeof worst, " (worst %.1f ticks)", worstVbvDelayTicks);
    t += worst;
  }
  return t + ", " + latePictures.Text("late at the multiplex");
}

DecoderBufferResult CheckDecoderBufferOfBytes(const Bytes& file) {
  DecoderBufferResult r;
  const Demuxed dm = Demultiplex(file);
  r.mpeg2 = dm.mpeg2;
  r.packs = dm.packs;
  r.muxRate = dm.firstMuxRate;
  r.lastScr = dm.lastScr;
  if (!dm.error.empty()) {
    r.error = dm.error;
    return r;
  }
  const Bytes& es = dm.video;
  const SequenceHeader seq = ReadSequenceHeader(es);
  if (!seq.found) {
    r.error = "no sequence header in the picture stream";
    return r;
  }
  r.bitRate = seq.bitRate;
  r.bufferBits = seq.bufferBits;
  r.pictureRate = seq.pictureRate;
  if (r.bitRate <= 0 || r.bufferBits <= 0 || r.pictureRate <= 0) {
    r.error = "the sequence header gives no rate, buffer size or picture rate";
    return r;
  }

  // The pictures: where each one's data starts (its leading sequence or group header, else
  // its start code; the first one from the start of the stream) and its start code.
  std::vector<std::size_t> starts, codes;
  std::size_t lead = SIZE_MAX;
  for (std::size_t i = 0; i + 4 <= es.size(); ++i) {
    if (!StartCodeAt(es, i)) continue;
    const std::uint8_t code = es[i + 3];
    if ((code == 0xB3 || code == 0xB8) && lead == SIZE_MAX) lead = i;
    if (code == 0x00) {
      starts.push_back(starts.empty() ? 0 : lead != SIZE_MAX ? lead : i);
      codes.push_back(i);
      lead = SIZE_MAX;
    }
    i += 3;
  }
  r.pictures = static_cast<int>(codes.size());
  if (codes.empty() || VbvDelay(es, codes[0]) < 0) {
    r.error = "no picture in the picture stream";
    return r;
  }
  const std::size_t count = codes.size();
  auto endOf = [&](std::size_t n) { return n + 1 < count ? starts[n + 1] : es.size(); };

  // Each picture's time stamp: that of the packet whose payload holds its start code's
  // first byte, when it is the first picture to start there.
  std::vector<std::int64_t> stamps(count, -1);
  {
    std::size_t n = 0;
    for (std::size_t k = 0; k < dm.packets.size(); ++k) {
      const std::size_t end = k + 1 < dm.packets.size() ? dm.packets[k + 1].esStart : es.size();
      while (n < count && codes[n] < dm.packets[k].esStart) ++n;
      if (n < count && codes[n] < end) stamps[n] = dm.packets[k].stamp;
    }
  }
  // Decoding times on the pack clock, in seconds; pictures before the first stamp are one
  // picture time apart, counted back from it.
  const double period = 1.0 / r.pictureRate;
  std::vector<double> due(count, 0);
  const auto firstStamped = std::find_if(stamps.begin(), stamps.end(), [](std::int64_t s) { return s >= 0; });
  const bool stamped = firstStamped != stamps.end();
  {
    const std::size_t k = stamped ? static_cast<std::size_t>(firstStamped - stamps.begin()) : 0;
    const std::int64_t base = stamped ? *firstStamped : 0;
    const double baseTime = base / 90000.0;
    for (std::size_t n = 0; n < count; ++n) {
      if (n < k) {
        due[n] = baseTime - static_cast<double>(k - n) * period;
      } else if (stamps[n] >= 0) {
        // 33-bit stamps wrap; a step back past half their range is a wrap.
        std::int64_t delta = (stamps[n] - base) & ((std::int64_t{1} << 33) - 1);
        if (delta >= (std::int64_t{1} << 32)) delta -= std::int64_t{1} << 33;
        due[n] = baseTime + delta / 90000.0;
      } else {
        due[n] = due[n - 1] + period;
      }
    }
  }

  // The multiplex: each picture's last byte against its decoding time.
  if (stamped) {
    std::size_t k = 0;
    for (std::size_t n = 0; n < count; ++n) {
      const std::size_t last = endOf(n) - 1;
      while (k + 1 < dm.packets.size() && dm.packets[k + 1].esStart <= last) ++k;
      const VideoPacket& p = dm.packets[k];
      const double arrival =
          p.scr + static_cast<double>(p.fileStart + (last - p.esStart) + 1 - p.packStart) * 8.0 / p.muxRate;
      if (arrival > due[n] + 1e-4) r.latePictures.Add(static_cast<int>(n));
    }
  }

  // The buffer. Bits are counted from the start of the picture stream; a picture leaves
  // with all bits up to the next picture's start.
  const double rate = static_cast<double>(r.bitRate);
  const double size = static_cast<double>(r.bufferBits);
  const double total = 8.0 * static_cast<double>(es.size());
  // Time stamps and vbv_delay are whole ticks of a 90 kHz clock, pictures whole bytes: an
  // encoder that holds the buffer exactly full is over by rounding alone.
  const double slack = 2 * rate / 90000 + 8;
  const int firstDelay = VbvDelay(es, codes[0]);
  r.variableRate = firstDelay == 0xFFFF;
  if (!r.variableRate) {
    // Time 0 is the first bit's arrival.
    const double first = 8.0 * static_cast<double>(codes[0] + 4) / rate + firstDelay / 90000.0;
    for (std::size_t n = 0; n < count; ++n) {
      const double t = first + (due[n] - due[0]);
      const double arrived = std::min(total, rate * t);
      const int picture = static_cast<int>(n);
      if (arrived + slack < 8.0 * static_cast<double>(endOf(n))) r.underflows.Add(picture);
      if (arrived - 8.0 * static_cast<double>(starts[n]) > size + slack) r.overflows.Add(picture);
      if (n == 0) continue;
      const double model = (t - 8.0 * static_cast<double>(codes[n] + 4) / rate) * 90000.0;
      const int delay = VbvDelay(es, codes[n]);
      const double off = delay < 0 || delay == 0xFFFF ? 1e9 : std::abs(delay - model);
      if (delay >= 0 && delay != 0xFFFF) r.worstVbvDelayTicks = std::max(r.worstVbvDelayTicks, off);
      if (off > kVbvDelayToleranceTicks) r.vbvDelayMismatches.Add(picture);
    }
  } else {
    // Filled at the peak rate until full; the first picture leaves when it is (or when the
    // whole stream is in).
    double arrived = std::min(size, total);
    double removed = 0;
    for (std::size_t n = 0; n < count; ++n) {
      if (n > 0) arrived = std::min({total, removed + size, arrived + rate * std::max(0.0, due[n] - due[n - 1])});
      const double end = 8.0 * static_cast<double>(endOf(n));
      if (arrived + slack < end) {
        r.underflows.Add(static_cast<int>(n));
        arrived = end;  // the decoder waits for the rest; the pictures after are judged from there
      }
      removed = end;
    }
  }
  return r;
}

DecoderBufferResult CheckDecoderBuffer(const std::string& path) {
  std::error_code ec;
  if (!std::filesystem::is_regular_file(path, ec)) {
    DecoderBufferResult r;
    r.error = "no file " + path;
    return r;
  }
  return CheckDecoderBufferOfBytes(ReadBytes(path));
}

std::vector<std::int64_t> GroupTimeCodes(const std::string& path) {
  std::vector<std::int64_t> codes;
  std::error_code ec;
  if (!std::filesystem::is_regular_file(path, ec)) return codes;
  const Demuxed dm = Demultiplex(ReadBytes(path));
  const Bytes& es = dm.video;
  const SequenceHeader seq = ReadSequenceHeader(es);
  if (!dm.error.empty() || !seq.found || seq.pictureRate <= 0) return codes;
  const auto fps = static_cast<std::int64_t>(std::lround(seq.pictureRate));
  for (std::size_t i = 0; i + 8 <= es.size(); ++i) {
    if (!StartCodeAt(es, i) || es[i + 3] != 0xB8) continue;
    const std::uint32_t bits = (std::uint32_t{es[i + 4]} << 24) | (std::uint32_t{es[i + 5]} << 16) |
                               (std::uint32_t{es[i + 6]} << 8) | es[i + 7];
    const std::int64_t hours = (bits >> 26) & 0x1F, minutes = (bits >> 20) & 0x3F;
    const std::int64_t seconds = (bits >> 13) & 0x3F, pictures = (bits >> 7) & 0x3F;
    codes.push_back(((hours * 60 + minutes) * 60 + seconds) * fps + pictures);
    i += 7;
  }
  return codes;
}

// ---- vcdimager.

std::string VcdImagerResult::Description() const {
  if (!error.empty()) return "vcdimager not run: " + error;
  std::string t = "vcdimager -t " + type + ": exit " + std::to_string(status) + ", " +
                  std::to_string(warnings.size()) + " warnings, " + std::to_string(errors.size()) + " errors";
  for (const auto& w : warnings) t += "\n  " + w;
  for (const auto& e : errors) t += "\n  " + e;
  return t;
}

VcdImagerResult CheckWithVcdImager(const std::string& path) {
  VcdImagerResult r;
  Bytes head(16);
  {
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) {
      r.error = "cannot read " + path;
      return r;
    }
    head.resize(std::fread(head.data(), 1, head.size(), f));
    std::fclose(f);
  }
  if (!(StartCodeAt(head, 0) && head[3] == 0xBA && head.size() > 4)) {
    r.error = path + " does not start with a pack header";
    return r;
  }
  r.type = (head[4] >> 4) == 2 ? "vcd2" : "svcd";
  const std::string file = std::filesystem::absolute(path).string();
  ScratchDir scratch("quill-vcdimager");
  const std::string cue = (scratch / "image.cue").string(), bin = (scratch / "image.bin").string();

  int fds[2];
  if (pipe(fds) != 0) {
    r.error = "no pipe";
    return r;
  }
  const pid_t pid = fork();
  if (pid == 0) {
    dup2(fds[1], 1);
    dup2(fds[1], 2);
    close(fds[0]);
    close(fds[1]);
    const int devnull = open("/dev/null", O_RDONLY);
    if (devnull >= 0) dup2(devnull, 0);
    if (chdir(scratch.str().c_str()) != 0) _exit(126);
    execlp("vcdimager", "vcdimager", "-t", r.type.c_str(), "-c", cue.c_str(), "-b", bin.c_str(), file.c_str(),
           static_cast<char*>(nullptr));
    _exit(127);
  }
  close(fds[1]);
  if (pid < 0) {
    close(fds[0]);
    r.error = "no process";
    return r;
  }
  char buf[4096];
  for (ssize_t n; (n = read(fds[0], buf, sizeof buf)) > 0;) r.output.append(buf, static_cast<std::size_t>(n));
  close(fds[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  if (r.status == 127) {
    r.error = "vcdimager is not installed (tools/install-deps)";
    return r;
  }
  std::istringstream lines(r.output);
  for (std::string line; std::getline(lines, line);) {
    // libvcd's log lines: "++ WARN: ..." and "**ERROR: ..." (and "W:"/"E:" in short forms).
    if (line.find("WARN:") != std::string::npos || line.rfind("W:", 0) == 0) r.warnings.push_back(line);
    if (line.find("ERROR:") != std::string::npos || line.rfind("E:", 0) == 0) r.errors.push_back(line);
  }
  return r;
}

void ExpectDiscPlayable(const std::string& path, DiscChecks checks) {
  const DecoderBufferResult buffer = CheckDecoderBuffer(path);
  EXPECT_TRUE(buffer.BufferClean()) << path << ": " << buffer.Description();
  if (checks == DiscChecks::kWithoutImager) return;
  EXPECT_EQ(buffer.latePictures.count, 0) << path << ": " << buffer.Description();
  VcdImagerResult imager = CheckWithVcdImager(path);
  if (checks == DiscChecks::kShortTrack)
    std::erase_if(imager.warnings, [](const std::string& w) { return w.find(kShortTrackWarning) != std::string::npos; });
  EXPECT_TRUE(imager.Clean()) << path << ": " << imager.Description();
}

}  // namespace quill_test
