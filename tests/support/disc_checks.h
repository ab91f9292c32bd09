// Judging a VCD or SVCD file (an MPEG program stream of 2324-byte packs) from its bytes
// alone, as a player and a disc authoring tool would, whatever encoder wrote it:
//
//   CheckDecoderBuffer(path)  the picture stream through the decoder buffer its sequence
//                             header asks for, and the pictures' arrival by the pack clock;
//   CheckWithVcdImager(path)  vcdimager's verdict on a VCD 2.0 (MPEG-1) or SVCD (MPEG-2)
//                             image made of the file;
//   ExpectDiscPlayable(path)  both, as GoogleTest expectations: the one call per file of
//                             the tests that write VCD and SVCD files.
// A test program links the library quill_disc_checks (tests/support/CMakeLists.txt).
//
// The decoder buffer model:
// - Picture n is the bytes from its sequence or group header (when one leads it), else its
//   picture start code, up to the next picture's; the first picture also takes all before
//   it. Zero bytes before a start code (stuffing, joins of separately coded runs) thus
//   count to the picture before, and leave the buffer with it.
// - Decoding times: a picture's DTS (else PTS) from the packet whose payload holds the first
//   byte of its start code; a picture without one is due a picture time after the one
//   before. Times count from the first picture's decoding.
// - Constant rate (the first picture's vbv_delay is not 0xFFFF): bits enter at the sequence
//   header's rate from the start of the stream, and the first picture is decoded vbv_delay
//   after its picture start code has entered. An underflow is a picture not wholly in the
//   buffer at its decoding time; an overflow is the buffer over its size just before a
//   picture leaves it (both allowing two 90 kHz ticks' bits and a byte for rounding).
//   Every later picture's vbv_delay must match the time from its start code's arrival to
//   its decoding within kVbvDelayToleranceTicks (90 kHz); 0xFFFF there is a mismatch too.
// - Variable rate (vbv_delay 0xFFFF): bits enter at the peak rate while the buffer is not
//   full, the first picture leaves once the buffer is full (or the whole file is in);
//   underflows are counted, an overflow cannot happen.
// - Late pictures: a picture whose last byte reaches the decoder, at the pack's clock
//   reference and the multiplex rate, after its decoding time.
// Pictures are numbered from 0 in the file's (decoding) order.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace quill_test {

// A picture's vbv_delay may differ this much (in 90 kHz ticks, 1 ms) from the buffer model's.
constexpr int kVbvDelayToleranceTicks = 90;

// A count of faulty pictures and the numbers of the first few.
struct PictureFaults {
  static constexpr std::size_t kKept = 5;
  int count = 0;
  std::vector<int> first;
  void Add(int picture);
  std::string Text(const char* what) const;  // "2 underflows (pictures 13, 14)"
};

struct DecoderBufferResult {
  std::string error;  // why the file could not be judged; empty when it was
  bool mpeg2 = false;
  bool variableRate = false;
  std::int64_t bitRate = 0;     // the sequence header's (with MPEG-2's extension), bit/s
  std::int64_t bufferBits = 0;  // the sequence header's buffer size
  std::int64_t muxRate = 0;     // of the first pack, bit/s
  double lastScr = 0;           // the last pack's clock reference, in seconds
  double pictureRate = 0;       // the sequence header's pictures per second
  int packs = 0;
  int pictures = 0;
  PictureFaults underflows, overflows, vbvDelayMismatches, latePictures;
  // The largest difference of a vbv_delay from the model's, in ticks (constant rate only).
  double worstVbvDelayTicks = 0;

  // Judged, and no underflow, overflow or vbv_delay mismatch; late pictures are a fault
  // of the multiplex and are asked for on their own.
  bool BufferClean() const;
  std::string Description() const;
};

DecoderBufferResult CheckDecoderBuffer(const std::string& path);
// The time code of each group header of the file's picture stream, in pictures (at the
// rounded picture rate, as the codes count); empty where the file has none or is no MPEG
// program stream.
std::vector<std::int64_t> GroupTimeCodes(const std::string& path);
DecoderBufferResult CheckDecoderBufferOfBytes(const std::vector<std::uint8_t>& file);

struct VcdImagerResult {
  std::string error;   // vcdimager could not be run, or the file's kind is unknown
  std::string type;    // "vcd2" or "svcd", from the file's pack headers
  int status = -1;     // vcdimager's exit status
  std::vector<std::string> warnings, errors;  // its "W:" and "E:" lines
  std::string output;  // all it wrote
  bool Clean() const { return error.empty() && status == 0 && warnings.empty() && errors.empty(); }
  std::string Description() const;
};

// Builds a VCD 2.0 image of an MPEG-1 file or an SVCD image of an MPEG-2 file in a scratch
// folder of its own (removed afterwards) and returns what vcdimager said.
VcdImagerResult CheckWithVcdImager(const std::string& path);

// What ExpectDiscPlayable asks of a file beyond the buffer model.
enum class DiscChecks {
  kAll,             // also vcdimager clean and no late picture
  kShortTrack,      // the same, but a file kept under a second on purpose may be too short
                    // for a disc track (vcdimager's kShortTrackWarning)
  kWithoutImager,   // a file cut short on purpose, which an authoring tool may refuse
};

// vcdimager's warning of a track under 75 sectors, one second of a VCD.
constexpr const char* kShortTrackWarning = "mpeg stream shorter than 75 sectors";

// The checks above as GoogleTest expectations (non-fatal), each failure naming the file
// and the pictures at fault.
void ExpectDiscPlayable(const std::string& path, DiscChecks checks = DiscChecks::kAll);

}  // namespace quill_test

// Also known by this name.
namespace quilltest = quill_test;
