// The decoder buffer model and the edits of coded pictures at the seams of joined runs.
#include "decoder_buffer.h"

#include <algorithm>
#include <cmath>
#include <cstring>

extern "C" {
#include <libavcodec/packet.h>
}

namespace outside {

DecoderBuffer::Params DecoderBuffer::For(std::int64_t minRate, std::int64_t maxRate, int bufferBits,
                                         double picturesPerSecond) {
  Params p;
  // Truncated to whole bits as the rate control does, so both walk alike.
  p.minArrival = static_cast<int>(static_cast<double>(minRate) / picturesPerSecond);
  p.maxArrival = static_cast<int>(static_cast<double>(maxRate) / picturesPerSecond);
  p.sizeBits = bufferBits;
  p.constantRate = minRate > 0 && minRate == maxRate;
  p.bitRate = static_cast<double>(maxRate);
  return p;
}

std::int64_t DecoderBuffer::TakeOut(std::int64_t bits) {
  fullness_ = std::max(0.0, fullness_ - static_cast<double>(bits));
  const int left = static_cast<int>(p_.sizeBits - fullness_ - 1);
  fullness_ += std::clamp(left, p_.minArrival, std::max(p_.minArrival, p_.maxArrival));
  if (fullness_ <= p_.sizeBits) return 0;
  const auto stuffing = static_cast<std::int64_t>(std::ceil((fullness_ - p_.sizeBits) / 8.0));
  fullness_ -= 8.0 * static_cast<double>(stuffing);
  return stuffing;
}

int DecoderBuffer::FirstShortfall(const std::vector<std::int64_t>& pictureBits, double margin) const {
  DecoderBuffer walk(*this);
  for (std::size_t n = 0; n < pictureBits.size(); ++n) {
    if (static_cast<double>(pictureBits[n]) > walk.fullness_ - margin) return static_cast<int>(n);
    walk.TakeOut(pictureBits[n]);
  }
  return -1;
}

namespace coded {

namespace {

// The first start code with this value at or after `from`, or -1.
std::ptrdiff_t FindStartCode(const AVPacket* p, std::uint8_t code, std::ptrdiff_t from) {
  for (std::ptrdiff_t i = from; i + 3 < p->size; ++i)
    if (p->data[i] == 0 && p->data[i + 1] == 0 && p->data[i + 2] == 1 && p->data[i + 3] == code) return i;
  return -1;
}

}  // namespace

bool HasPicture(const AVPacket* packet) { return FindStartCode(packet, 0x00, 0) >= 0; }

std::int64_t LeadingStuffing(const AVPacket* packet) {
  std::int64_t n = 0;
  while (n + 2 < packet->size && packet->data[n] == 0 && !(packet->data[n + 1] == 0 && packet->data[n + 2] == 1)) ++n;
  return n;
}

bool SetVbvDelay(AVPacket* packet, double fullnessBits, double bitRate) {
  const std::ptrdiff_t code = FindStartCode(packet, 0x00, 0);
  if (code < 0 || code + 8 > packet->size || bitRate <= 0) return false;
  // The field starts in the sixth byte after the start code's first, after the temporal
  // reference (10 bits) and the picture type (3); stuffing ahead of the picture's own
  // headers belongs to the picture before.
  const std::ptrdiff_t pos = code + 5;
  const std::ptrdiff_t lead = static_cast<std::ptrdiff_t>(LeadingStuffing(packet));
  const double before = 8.0 * static_cast<double>(pos - lead - 1);
  const double after = 8.0 * static_cast<double>(packet->size - lead) - before;
  double ticks = (fullnessBits - before) * 90000.0 / bitRate;
  // Never less than the picture itself takes to arrive after its header.
  ticks = std::max(ticks, std::ceil(after * 90000.0 / bitRate));
  const int delay = static_cast<int>(std::clamp(ticks, 0.0, 65534.0));
  std::uint8_t* v = packet->data + pos;
  v[0] = static_cast<std::uint8_t>((v[0] & 0xF8) | (delay >> 13));
  v[1] = static_cast<std::uint8_t>(delay >> 5);
  v[2] = static_cast<std::uint8_t>((v[2] & 0x07) | ((delay << 3) & 0xF8));
  return true;
}

void ShiftGopTimeCodes(AVPacket* packet, std::int64_t pictures, int roundedRate) {
  // Group headers lead only key pictures.
  if (pictures == 0 || roundedRate <= 0 || !(packet->flags & AV_PKT_FLAG_KEY)) return;
  for (std::ptrdiff_t at = FindStartCode(packet, 0xB8, 0); at >= 0 && at + 8 <= packet->size;
       at = FindStartCode(packet, 0xB8, at + 4)) {
    std::uint8_t* g = packet->data + at + 4;
    // drop(1) hours(5) minutes(6) marker(1) seconds(6) pictures(6), then closed and broken.
    const std::uint32_t bits = (std::uint32_t{g[0]} << 24) | (std::uint32_t{g[1]} << 16) |
                               (std::uint32_t{g[2]} << 8) | g[3];
    const std::int64_t hours = (bits >> 26) & 0x1F, minutes = (bits >> 20) & 0x3F;
    const std::int64_t seconds = (bits >> 13) & 0x3F, frames = (bits >> 7) & 0x3F;
    const std::int64_t number =
        ((hours * 60 + minutes) * 60 + seconds) * roundedRate + frames + pictures;
    const std::int64_t fps = roundedRate;
    const std::uint32_t code = static_cast<std::uint32_t>(((number / (fps * 3600)) % 24) << 26 |
                                                          ((number / (fps * 60)) % 60) << 20 | 1u << 19 |
                                                          ((number / fps) % 60) << 13 | (number % fps) << 7);
    const std::uint32_t out = (bits & 0x8000007Fu) | code;
    g[0] = static_cast<std::uint8_t>(out >> 24);
    g[1] = static_cast<std::uint8_t>(out >> 16);
    g[2] = static_cast<std::uint8_t>(out >> 8);
    g[3] = static_cast<std::uint8_t>(out);
  }
}

bool AppendStuffing(AVPacket* packet, std::int64_t bytes) {
  if (bytes <= 0) return true;
  const int old = packet->size;
  if (bytes > (1 << 24) || av_grow_packet(packet, static_cast<int>(bytes)) < 0) return false;
  std::memset(packet->data + old, 0, static_cast<std::size_t>(bytes));
  return true;
}

bool PrependStuffing(AVPacket* packet, std::int64_t bytes) {
  if (bytes <= 0) return true;
  const int old = packet->size;
  if (bytes > (1 << 24) || av_grow_packet(packet, static_cast<int>(bytes)) < 0) return false;
  std::memmove(packet->data + bytes, packet->data, static_cast<std::size_t>(old));
  std::memset(packet->data, 0, static_cast<std::size_t>(bytes));
  return true;
}

}  // namespace coded

}  // namespace outside
