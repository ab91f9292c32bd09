// One encoding run into a sequence of numbered files: a video encoder, a sound
// encoder fed through a resampler, and a muxer, all from FFmpeg's libraries.
// Shared by the MPEG and the AVI encoder servers.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <win32/types.h>

#include "decoder_buffer.h"
#include "picture_pool.h"

extern "C" {
#include <libavutil/rational.h>
}

struct AVBufferPool;
struct AVCodecContext;
struct AVFormatContext;
struct AVFrame;
struct AVPacket;
struct AVStream;
struct SwsContext;

namespace outside {

class SoundCoder;

using PacketList = std::vector<AVPacket*>;
// Frees the packets of the list and empties it.
void FreePackets(PacketList* packets);

// Result of an operation: S_OK, or a failure with the text the user sees.
struct Status {
  HRESULT hr = S_OK;
  std::string message;
  bool ok() const { return hr >= 0; }
  static Status Fail(HRESULT hr, std::string message) { return {hr, std::move(message)}; }
};

// The failure code that fits an FFmpeg error (disk full, access denied, ...).
HRESULT HresultFromAvError(int averror);
std::string AvErrorText(int averror);

// The name of part n (1-based) of an output: part 1 is the path itself,
// later parts insert "_n" before the extension ("a/film.mpg" -> "a/film_2.mpg").
std::string NumberedPartPath(const std::string& path, int part);

// Rational frame rate for the usual rates (23.976 is 24000/1001 and so on);
// false for rates that are not positive or absurdly high.
bool FrameRateFromDouble(double fps, AVRational* rate);

struct SessionConfig {
  enum class Input { Yuv420Planes, Dib24BottomUp };

  std::string path;
  std::string muxer;  // libavformat short name: "vcd", "svcd", "avi"
  std::vector<std::pair<std::string, std::string>> muxerOptions;

  Input input = Input::Yuv420Planes;
  std::string videoEncoder;  // libavcodec encoder name
  std::vector<std::pair<std::string, std::string>> videoOptions;
  std::uint32_t codecTag = 0;  // FourCC written into the AVI, 0 for the default
  int width = 0;
  int height = 0;
  AVRational frameRate{25, 1};
  AVRational displayAspect{0, 1};  // 0/1 leaves pixels square
  std::int64_t bitRate = 0;        // bit/s; 0 for lossless codecs
  std::int64_t maxRate = 0;
  std::int64_t minRate = 0;
  int bufferBits = 0;
  int gopSize = 12;
  int maxBFrames = 0;
  bool closedGop = false;
  bool interlaced = false;
  int meRange = 0;
  int videoThreads = 1;  // slice threads of the picture encoders that have them
  // MPEG pictures in runs of whole GOPs on several encoder instances at once; each part's
  // size is then answered from the rates, the same however the runs were coded.
  bool gopRuns = false;
  std::int64_t constantMuxRate = 0;  // bit/s of a multiplex padded to a constant rate; 0 otherwise
  double preloadSeconds = 0;         // how far the multiplex runs ahead of the decoding times
  int converters = 1;    // threads that may convert pictures at the same time

  std::string audioEncoder;  // "mp2", "libmp3lame"
  int inputSampleRate = 44100;
  int audioSampleRate = 44100;
  std::int64_t audioBitRate = 224000;
  int audioCompressionLevel = -1;
  // The container plays sound from its first sample, by count (AVI): the sound encoder's
  // priming, given a time before zero, is put at zero instead of moving every stream
  // later, which would cost the pictures a whole picture's time and repeat the first.
  bool soundFromZero = false;

  // A split is refused while the part holds fewer pictures than this and is
  // smaller than minPartBytes: limits are whole megabytes, so a request below
  // one megabyte comes from a limit of 0, which would otherwise make a file
  // of every picture.
  int minPicturesPerPart = 1;
  double minPartBytes = 1048576.0;

  // A run that ends without a picture fails and removes its file instead of leaving a
  // file that no player reads.
  bool refuseEmptyRun = false;

  // The picture (from 1, over the run) at which the picture encoder fails: a test's way to
  // make a failure in the middle of a run. 0 for none.
  std::int64_t failAtPicture = 0;
};

// The failure a test asks for with SessionConfig::failAtPicture.
Status FaultMadeOnPurpose(std::int64_t picture);

class EncodingSession {
 public:
  EncodingSession();
  EncodingSession(const EncodingSession&) = delete;
  EncodingSession& operator=(const EncodingSession&) = delete;
  ~EncodingSession();  // finishes an open run, so no file is left unclosed

  Status Open(const SessionConfig& config);
  // One picture (Y, U, V planes, or the first byte of bottom-up 24-bit rows in
  // planes[0]) and the sound that belongs to it (16-bit stereo at the input rate).
  Status Encode(const BYTE* const planes[3], const std::int16_t* sound, std::size_t soundBytes);
  // Encode in parts that may run in different threads at the same time (they share no
  // state): EncodeSound and ConvertPicture make the next pictures' sound packets and their
  // frames in the encoder's format (*out, given a new buffer while the encoder still holds
  // its last one; each of the `converters` threads passes its own number) while
  // EncodePicture encodes the picture before and writes it, then its sound. None ends the
  // run on a failure; the caller does that with BreakOff once all rest.
  Status EncodeSound(const std::int16_t* sound, std::size_t soundBytes, PacketList* packets);
  Status ConvertPicture(const BYTE* const planes[3], AVFrame* out, int converter = 0);
  Status EncodePicture(AVFrame* picture, PacketList* sound);
  // What Encode refuses before touching the run: missing planes, implausible sound.
  Status CheckPicture(const BYTE* const planes[3], const std::int16_t* sound, std::size_t soundBytes) const;
  // Bytes the current file would hold once closed after `picturesAhead` more pictures,
  // allowing each the largest growth of one picture so far, plus that once more.
  double ProjectedBytes(int picturesAhead = 1) const;
  // A bound on the bytes of the current file closed after `pictures` pictures, from the
  // peak rates alone: the same whatever the pictures and however they were coded.
  double RateBoundBytes(std::int64_t pictures) const;

  // For pictures coded by encoder instances of their own (runs of GOPs).
  // A picture encoder set up as the part's, starting from the decoder buffer fullness
  // `initialFullness` (bits; below 0 for the encoder's own start). Thread-safe.
  Status OpenVideoCoder(double initialFullness, AVCodecContext** coder) const;
  // How many pictures the encoder puts in a closed GOP (its rule for B-pictures before an
  // I-picture can make that fewer than the GOP size asked for), found by coding blank
  // pictures; 0 when that fails.
  int CodedGopLength() const;
  // Writes one picture's packets (in the encoder's time base) and then its sound.
  Status WriteCoded(PacketList* video, PacketList* sound);
  // The decoder buffer of the part's picture stream as written so far.
  const DecoderBuffer& Buffer() const { return buffer_; }
  // Gives `out` a picture buffer in the encoder's format from the session's pool: pictures
  // held in runs of GOPs come and go by the hundred, and fresh allocations from several
  // threads leave the heap to grow.
  Status PooledPicture(AVFrame* out);
  // Marks a picture's fields for an interlaced run.
  void PrepareFrame(AVFrame* picture) const;

  // Closes the current file and opens the next numbered one. S_FALSE when the
  // current file is too small to be worth a file of its own.
  Status Split();
  Status Finish();
  // Ends the run after a failure; every later call answers s.
  Status BreakOff(const Status& s);

  bool IsOpen() const { return open_; }

 private:
  Status OpenPart();
  Status OpenMuxer(const std::string& path);
  Status AddStreams();
  Status OpenConverters();
  // A picture packet through the decoder buffer (stuffing and vbv_delay where the stream
  // needs them), then written.
  Status WriteVideo(AVPacket* packet);
  Status ClosePart(bool last);
  Status CheckOpen() const;
  // A picture to the part's picture encoder (null flushes it); the packets it has ready
  // are written.
  Status Send(AVFrame* frame);
  Status Write(AVPacket* packet);
  // Sound packets of the sound coder timed in the sound stream's base.
  void ToSoundStream(PacketList* packets) const;
  Status CheckIo(const char* what);
  // Ends a run without pictures: its file is closed as it stands and removed.
  Status AbandonEmptyRun();
  void FreePart();
  void FreeConverters();
  void FreeAll();

  SessionConfig cfg_;
  AVRational timeBase_{1, 25};
  bool open_ = false;
  Status failure_;  // why the run broke off; S_OK while it has not
  std::vector<std::string> files_;  // the parts written so far, the current one last

  AVFormatContext* fmt_ = nullptr;
  AVCodecContext* video_ = nullptr;
  // Owned by the thread that gives the pictures, as are the converters below; the joiner of
  // runs of GOPs only writes what they made.
  std::unique_ptr<SoundCoder> sound_;
  AVStream* videoStream_ = nullptr;
  AVStream* audioStream_ = nullptr;
  AVFrame* picture_ = nullptr;
  int pictureFormat_ = -1;  // the video encoder's pixel format
  AVPacket* packet_ = nullptr;
  // A scaler with the padded copy of bitmap rows it reads, for each converting thread.
  struct Converter {
    SwsContext* sws = nullptr;
    std::vector<std::uint8_t> rows;
  };
  std::vector<Converter> converters_;
  PacketList soundPackets_;

  std::int64_t picturesInPart_ = 0;
  std::int64_t picturesInRun_ = 0;
  std::int64_t payloadBytes_ = 0;  // packet bytes handed to the muxer in this part
  std::int64_t headerBytes_ = 0;
  std::int64_t largestStep_ = 0;   // largest payload growth of one picture
  std::int64_t packetsInPart_ = 0;
  bool globalHeader_ = false;     // the container wants the codecs' headers apart
  std::unique_ptr<PicturePool> picturePool_;
  bool modelBuffer_ = false;      // an MPEG picture stream: walked through its decoder buffer
  DecoderBuffer buffer_;
};

}  // namespace outside
