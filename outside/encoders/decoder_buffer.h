// The players' decoder buffer (the video buffering verifier of MPEG-1 and MPEG-2) as the
// coded pictures go into the file, and the few edits of coded pictures that keep a stream
// joined from separately coded runs of GOPs inside it.
#pragma once

#include <cstdint>
#include <vector>

struct AVPacket;

namespace outside {

// Bits arrive at the peak rate (a constant-rate stream: always at its rate, with stuffing
// where the buffer would overflow; a variable-rate one: while the buffer has room) and each
// picture is taken out whole at its decoding time. The arithmetic is the rate control's own,
// so a picture stream the encoder kept inside it walks through here the same way.
class DecoderBuffer {
 public:
  struct Params {
    // Bits that arrive between two pictures: at least (a constant rate) and at most (the
    // peak rate), in whole bits as the rate control counts them.
    int minArrival = 0;
    int maxArrival = 0;
    double sizeBits = 0;
    bool constantRate = false;  // min == max: vbv_delay carries the fullness
    double bitRate = 0;         // bit/s, for vbv_delay
  };
  // The model of a picture stream of these rates (bit/s) and buffer.
  static Params For(std::int64_t minRate, std::int64_t maxRate, int bufferBits, double picturesPerSecond);

  DecoderBuffer() = default;
  DecoderBuffer(const Params& p, double fullness) : p_(p), fullness_(fullness) {}

  // The fullness just before the next picture is taken out.
  double Fullness() const { return fullness_; }
  const Params& Parameters() const { return p_; }

  // Whether pictures of these sizes, taken out in turn from the current fullness, are each
  // wholly in the buffer with `margin` bits to spare; the number of the first that is not,
  // or -1. Stuffing the walk would add is allowed for.
  int FirstShortfall(const std::vector<std::int64_t>& pictureBits, double margin) const;

  // Takes out one picture of `bits` and fills for the next; the zero bytes of stuffing a
  // constant-rate stream needs after it so that the buffer does not overflow.
  std::int64_t TakeOut(std::int64_t bits);
  // Zero bytes of stuffing after the picture taken out last: they leave with it.
  void TakeStuffing(std::int64_t bytes) { fullness_ -= 8.0 * static_cast<double>(bytes); }

 private:
  Params p_;
  double fullness_ = 0;
};

// Edits of one coded picture (an encoder packet: sequence and group headers when it leads
// a group, the picture header, slices, stuffing).
namespace coded {

// Writes a constant-rate picture's vbv_delay for the fullness before it is taken out:
// the time from its picture start code to its decoding, as the buffer model has it.
// False when the packet holds no picture header.
bool SetVbvDelay(AVPacket* packet, double fullnessBits, double bitRate);
// Whether the packet holds a picture header.
bool HasPicture(const AVPacket* packet);

// Moves every group-of-pictures time code of the packet on by `pictures` (counted at the
// rounded picture rate, without dropped frames): a run coded on its own counts from zero.
void ShiftGopTimeCodes(AVPacket* packet, std::int64_t pictures, int roundedRate);

// Appends zero bytes; stuffing before the next start code.
bool AppendStuffing(AVPacket* packet, std::int64_t bytes);
// Puts zero bytes before the packet's first start code: stuffing of the picture before it.
bool PrependStuffing(AVPacket* packet, std::int64_t bytes);
// The zero bytes before the packet's first start code.
std::int64_t LeadingStuffing(const AVPacket* packet);

}  // namespace coded

}  // namespace outside
