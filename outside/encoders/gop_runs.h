// MPEG pictures coded on several processors: consecutive runs of whole closed GOPs go to
// encoder instances of their own, which code them side by side, and one joining thread
// writes the runs in order as one stream. Inside a run each picture is coded as one
// encoder codes it alone; at a seam the joiner keeps the players' decoder buffer whole:
// it walks the run's pictures from the fullness the stream before it really ends with, adds
// stuffing where a run coded from a lower fullness would overflow, and codes a run again
// from the true fullness, before anything of it is written, where it would underflow.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "decoder_buffer.h"
#include "encoding_session.h"

struct AVCodecContext;
struct AVFrame;

namespace outside {

class GopRuns {
 public:
  struct Settings {
    int runLength = 90;  // pictures of a run: whole GOPs
    int coders = 1;      // runs coded at once
    int gopLength = 0;     // pictures of the encoder's GOPs; 0 where unknown
    int heldPictures = 0;  // pictures the encoder holds back (its B-pictures in a row)
    // Each run but a part's first codes the last `warmUp` pictures of the run before it
    // (whole GOPs) first, from this decoder buffer fullness (bits), and throws them away.
    int warmUp = 0;
    double warmUpStart = 0;
    // A run coded on an encoder instance that coded an earlier run (its coder's) codes only
    // the last `resyncWarmUp` of those pictures first: the instance has its history.
    int resyncWarmUp = 0;
    // The first `warmUpFloorPictures` of a warm-up are coded with a Lagrange factor of at
    // least `warmUpLeastLambda`: a fresh rate control first guesses far too fine a
    // quantiser for detailed pictures, and the trellis quantiser then takes several times a
    // picture's usual time over each of them, and codes them again and again as the decoder
    // buffer refuses them, coarser by one step each time.
    int warmUpFloorPictures = 0;
    int warmUpLeastLambda = 0;
    // A picture number (from 1, over the whole encoding) whose encoder instance fails:
    // a test's way to make one fail mid-run. 0 for none.
    std::int64_t failAtPicture = 0;
    int roundedRate = 25;  // pictures a second as GOP time codes count them
    DecoderBuffer::Params buffer;  // the picture stream's decoder buffer
  };
  // What the joiner calls: each picture once, in order, with its coded packets and
  // sound; then done(true). Pictures that are dropped after a failure: done(false).
  struct Sink {
    std::function<Status(double initialFullness, AVCodecContext** coder)> openCoder;
    std::function<Status(PacketList* video, PacketList* sound, std::int64_t pictureInPart)> write;
    // The decoder buffer of the stream written so far.
    std::function<const DecoderBuffer&()> buffer;
    std::function<void(bool written)> done;
    std::function<void(const Status&)> fail;
  };

  GopRuns(const Settings& settings, Sink sink);
  GopRuns(const GopRuns&) = delete;
  GopRuns& operator=(const GopRuns&) = delete;
  ~GopRuns();  // writes what was given, as Close does

  // Takes the picture (a frame in the encoder's format, which it now owns) and its sound
  // packets. Waits while `coders` runs are being coded or wait to be joined. False once
  // the runs have failed; the picture is then dropped.
  bool Put(AVFrame* picture, PacketList* sound);
  // Ends the last run and waits until every picture given has been written or dropped.
  void Drain();
  // After Drain, once a new part is open: the next picture starts its first run.
  void NewPart();
  // Ends the part and the threads.
  void Close();
  // After a failure elsewhere: the pictures not yet written are dropped.
  void GiveUp();

 private:
  struct Run;
  struct Instance;
  void Code(int slot);
  void Join();
  // Codes the run's pictures that are there on the instance, waiting for the rest until
  // its input ends when asked to; an instance that cannot go on is closed.
  Status CodeRun(Instance& instance, Run& run, bool waitForInput, bool keepOpen);
  void WakeAll();
  // While a part drains: the second half of the run with the most pictures left to code,
  // cut off at a GOP into a run of its own for the idle coder `slot`; nullptr where no run
  // has enough left to pay for the seam. Called under mu_.
  Run* SplitForIdle(int slot, bool instanceOpen);

  const Settings settings_;
  Sink sink_;

  mutable std::mutex mu_;
  // Runs joined or coded, failure, closing: for the caller and the joiner.
  std::condition_variable changed_;
  // Pictures, input ended, a run of its own, failure, closing: for each coder alone, so
  // that a picture given wakes only the coder that codes it.
  std::vector<std::condition_variable> coderWake_;
  std::deque<std::unique_ptr<Run>> runs_;  // in order; the oldest is joined next
  std::int64_t partPictures_ = 0;          // pictures of the current part given so far
  std::size_t runsInPart_ = 0;
  std::int64_t runsMade_ = 0;              // over the whole encoding: each run's coder
  std::int64_t pictures_ = 0;              // pictures given over the whole encoding
  bool failed_ = false;
  bool closing_ = false;
  bool draining_ = false;  // no more pictures come to the runs held
  std::vector<std::thread> coders_;
  std::thread joiner_;
};

}  // namespace outside
