// What the conversion thread asks of the outside servers, call by call: recording
// stand-ins registered under the servers' class identifiers record each call by its
// position in the table of methods, with its arguments, and the record is held
// against the calling contract. The picture server is the real one.
#include "conversion_support.h"

#include <win32/drives.h>

#include <algorithm>
#include <fstream>
#include <memory>
#include <ostream>

#include "app_fakes.h"
#include "option.h"
#include "recording_servers.h"

using namespace convtest;
using recording::Arg;
using recording::Call;
using recording::kCreated;
using recording::kReleased;
using recording::Server;

namespace recording {

void PrintTo(const Call& c, std::ostream* os) {
  static const char* const names[] = {"DvdData", "PicShow", "MpegEnc", "AviEncode"};
  *os << names[static_cast<int>(c.server)] << " slot " << c.slot << " (";
  for (std::size_t i = 0; i < c.args.size(); ++i) {
    if (i) *os << ", ";
    std::visit([os](const auto& v) { *os << v; }, c.args[i]);
  }
  *os << ")";
}

}  // namespace recording

namespace {

Arg I(std::int64_t v) { return v; }
Arg D(double v) { return v; }
Arg Text(std::string v) { return v; }
Arg Window(HWND w) { return static_cast<std::int64_t>(reinterpret_cast<std::intptr_t>(w)); }

std::vector<Call> Of(const std::vector<Call>& calls, Server server) {
  std::vector<Call> out;
  std::copy_if(calls.begin(), calls.end(), std::back_inserter(out), [&](const Call& c) { return c.server == server; });
  return out;
}

std::vector<int> Slots(const std::vector<Call>& calls) {
  std::vector<int> out;
  for (const Call& c : calls) out.push_back(c.slot);
  return out;
}

// The first `n` calls.
std::vector<Call> Head(const std::vector<Call>& calls, std::size_t n) {
  return {calls.begin(), calls.begin() + static_cast<std::ptrdiff_t>(std::min(n, calls.size()))};
}

// Where the first call of the server at the slot stands in the whole record.
std::ptrdiff_t IndexOf(const std::vector<Call>& calls, Server server, int slot) {
  auto it = std::find_if(calls.begin(), calls.end(), [&](const Call& c) { return c.server == server && c.slot == slot; });
  EXPECT_NE(it, calls.end()) << "no call at slot " << slot;
  return it - calls.begin();
}

// A range of 26 pictures: the 25th is previewed; the 27th read passes the end.
constexpr int kStart = 5000, kEnd = 5025, kPictures = 26;

class ServerCallsTest : public ConversionTest {
 protected:
  void SetUp() override {
    ConversionTest::SetUp();
    if (HasFatalFailure()) return;
    // Found through the registry, exactly as the servers they stand for.
    EditRegistry([](qcom::RegistryTree& t) {
      for (const CLSID* c : {&CLSID_DVDDataObj, &CLSID_PicShowObj, &CLSID_MpegEnc, &CLSID_AVIEncode})
        if (!t.SetValue(ClassKey(*c) + "\\InprocServer32", "", APP_RECORDING_SERVERS)) return false;
      return true;
    });
    recording::Reset(script_);
  }

  TConversionSettings RecordedSettings(int kind) {
    TConversionSettings s;
    s.dvdPath = "/media/cdrom/VIDEO_TS";
    s.outputFile = Path(kind == 2 ? "recorded.avi" : "recorded.mpg");
    s.startPosition = kStart;
    s.endPosition = kEnd;
    s.title = 2;
    s.subtitle = 1;
    s.angle = 3;
    s.programChain = 4;
    s.audioStream = 5;
    s.frameRate = 25;
    s.sampleRate = kind == 1 ? 48000 : 44100;
    s.force24 = true;
    s.sourceWidth = 720;
    s.sourceHeight = 576;
    s.kind = kind;
    s.codec = 0x78766964;
    s.videoBitrate = 1150;
    s.outputWidth = kind == 0 ? 352 : kind == 1 ? 480 : 720;
    s.outputHeight = kind == 0 ? 288 : 576;
    s.lameBitrate = 160;
    s.lameQuality = 4;
    return s;
  }

  // A run that completes: every object released, nothing said.
  std::vector<Call> RecordedRun(const TConversionSettings& s) {
    TConvertThread* t = Run(s);
    EXPECT_EQ(t->Outcome(), TConvertOutcome::Completed);
    EXPECT_TRUE(boxes_.empty());
    EXPECT_EQ(recording::LiveObjects(), 0);
    return recording::Calls();
  }

  // The encoder's calls after Start: per picture the frame, then the size report.
  void ExpectPictures(const std::vector<Call>& encoder, std::size_t setUp, int frameSlot, int sizeSlot,
                      int finishSlot, const std::function<void(const Call&, int)>& frame) {
    ASSERT_EQ(encoder.size(), setUp + 2 * kPictures + 2);
    for (int i = 0; i < kPictures; ++i) {
      SCOPED_TRACE(::testing::Message() << "picture " << i);
      const Call& f = encoder[setUp + 2 * i];
      ASSERT_EQ(f.slot, frameSlot);
      frame(f, i);
      EXPECT_EQ(encoder[setUp + 2 * i + 1], (Call{f.server, sizeSlot, {}}));
    }
    EXPECT_EQ(encoder[encoder.size() - 2].slot, finishSlot);
    EXPECT_EQ(encoder.back().slot, kReleased);
  }

  recording::Script script_;
};

TEST_F(ServerCallsTest, TheDataObjectIsSetUpInOrderAndReadUntilAPicturePassesTheEnd) {
  const auto calls = RecordedRun(RecordedSettings(0));
  const auto data = Of(calls, Server::DvdData);
  const std::vector<Call> setUp = {
      {Server::DvdData, kCreated, {}},
      {Server::DvdData, 8, {Text("/media/cdrom/VIDEO_TS")}},  // SetDvdPath
      {Server::DvdData, 10, {I(2)}},                       // SetTitle
      {Server::DvdData, 12, {I(4)}},                       // SetProgramChain
      {Server::DvdData, 16, {I(1)}},                       // SetSubtitle
      {Server::DvdData, 14, {I(5)}},                       // SetAudioStream
      {Server::DvdData, 18, {I(3)}},                       // SetAngle
      {Server::DvdData, 20, {D(25)}},                      // SetFrameRate
      {Server::DvdData, 22, {I(44100)}},                   // SetSampleRate
      {Server::DvdData, 24, {I(1)}},                       // SetForce24
      {Server::DvdData, 27, {}},                           // Open
      {Server::DvdData, 28, {I(kStart)}},                  // Seek
  };
  EXPECT_EQ(Head(data, setUp.size()), setUp);
  // ReadFrame and GetPosition for each picture, and for the one past the end; then Close.
  std::vector<int> rest;
  for (int i = 0; i <= kPictures; ++i) rest.insert(rest.end(), {29, 31});
  rest.insert(rest.end(), {32, kReleased});
  EXPECT_EQ(Slots({data.begin() + static_cast<std::ptrdiff_t>(std::min(setUp.size(), data.size())), data.end()}), rest);

  // The painter is made after the data object and opened before the disc is set up;
  // the encoder is made after the seek; the reader is closed before the file.
  const auto painter = Of(calls, Server::PicShow);
  const HWND preview = frmPreview->Handle();
  ASSERT_EQ(painter.size(), 4u);
  EXPECT_EQ(painter[1], (Call{Server::PicShow, 7, {Window(preview), I(720), I(576)}}));
  ASSERT_EQ(painter[2].slot, 8) << "ShowFrame, for the 25th picture only";
  EXPECT_EQ(painter[2].args[0], I(720));
  EXPECT_EQ(painter[2].args[1], I(576));
  EXPECT_EQ(painter[2].args[5], Window(preview));
  const auto shown = IndexOf(calls, Server::PicShow, 8);
  EXPECT_EQ(std::count_if(calls.begin(), calls.begin() + shown,
                          [](const Call& c) { return c.server == Server::DvdData && c.slot == 29; }),
            25)
      << "painted after the 25th picture was read, before the 26th";
  EXPECT_LT(IndexOf(calls, Server::DvdData, kCreated), IndexOf(calls, Server::PicShow, kCreated));
  EXPECT_LT(IndexOf(calls, Server::PicShow, 7), IndexOf(calls, Server::DvdData, 8));
  EXPECT_LT(IndexOf(calls, Server::DvdData, 28), IndexOf(calls, Server::MpegEnc, kCreated));
  EXPECT_LT(IndexOf(calls, Server::MpegEnc, 49), IndexOf(calls, Server::DvdData, 29));
  EXPECT_LT(IndexOf(calls, Server::DvdData, 32), IndexOf(calls, Server::MpegEnc, 53));
}

TEST_F(ServerCallsTest, AVcdRunGivesTheMpegEncoderTheVcdParameters) {
  const auto s = RecordedSettings(0);
  const auto encoder = Of(RecordedRun(s), Server::MpegEnc);
  const std::vector<Call> setUp = {
      {Server::MpegEnc, kCreated, {}},
      {Server::MpegEnc, 8, {Text(s.outputFile)}},  // SetOutputFile
      {Server::MpegEnc, 10, {I(1)}},            // SetParameter10
      {Server::MpegEnc, 12, {I(1)}},            // SetParameter12
      {Server::MpegEnc, 18, {I(288)}},          // SetHeight
      {Server::MpegEnc, 16, {I(352)}},          // SetWidth
      {Server::MpegEnc, 30, {D(25)}},           // SetFrameRate
      {Server::MpegEnc, 48, {I(44100)}},        // SetSampleRate
      {Server::MpegEnc, 26, {I(20)}},           // SetParameter26
      {Server::MpegEnc, 22, {I(0)}},            // SetParameter22
      {Server::MpegEnc, 44, {I(1)}},            // SetParameter44
      {Server::MpegEnc, 34, {I(2600)}},         // SetParameter34
      {Server::MpegEnc, 42, {D(1.4)}},          // SetParameter42
      {Server::MpegEnc, 49, {}},                // Start
  };
  EXPECT_EQ(Head(encoder, setUp.size()), setUp);
  // EncodeFrame with the output size and the sound the reader gave with the picture.
  ExpectPictures(encoder, setUp.size(), 50, 51, 53, [](const Call& f, int i) {
    ASSERT_EQ(f.args.size(), 7u);
    EXPECT_EQ(f.args[3], I(352));
    EXPECT_EQ(f.args[4], I(288));
    EXPECT_EQ(f.args[5], I(recording::kSoundBase + i));
    EXPECT_EQ(f.args[6], I(recording::kSoundBytes + i));
  });
}

TEST_F(ServerCallsTest, AnSvcdRunGivesTheMpegEncoderTheSvcdParameters) {
  const auto s = RecordedSettings(1);
  const auto encoder = Of(RecordedRun(s), Server::MpegEnc);
  const std::vector<Call> setUp = {
      {Server::MpegEnc, kCreated, {}},
      {Server::MpegEnc, 8, {Text(s.outputFile)}},  // SetOutputFile
      {Server::MpegEnc, 10, {I(3)}},            // SetParameter10
      {Server::MpegEnc, 12, {I(3)}},            // SetParameter12
      {Server::MpegEnc, 18, {I(576)}},          // SetHeight
      {Server::MpegEnc, 16, {I(480)}},          // SetWidth
      {Server::MpegEnc, 30, {D(25)}},           // SetFrameRate
      {Server::MpegEnc, 48, {I(48000)}},        // SetSampleRate
      {Server::MpegEnc, 26, {I(20)}},           // SetParameter26
      {Server::MpegEnc, 22, {I(0)}},            // SetParameter22
      {Server::MpegEnc, 44, {I(1)}},            // SetParameter44
      {Server::MpegEnc, 32, {I(2376)}},         // SetParameter32
      {Server::MpegEnc, 34, {I(2600)}},         // SetParameter34
      {Server::MpegEnc, 42, {D(5.6)}},          // SetParameter42
      {Server::MpegEnc, 49, {}},                // Start
  };
  EXPECT_EQ(Head(encoder, setUp.size()), setUp);
  ExpectPictures(encoder, setUp.size(), 50, 51, 53, [](const Call& f, int) {
    EXPECT_EQ(f.args[3], I(480));
    EXPECT_EQ(f.args[4], I(576));
  });
}

TEST_F(ServerCallsTest, AnAviRunSetsUpTheAviEncoderInOrderEndingWithStart) {
  const auto s = RecordedSettings(2);
  const auto encoder = Of(RecordedRun(s), Server::AviEncode);
  const std::vector<Call> setUp = {
      {Server::AviEncode, kCreated, {}},
      {Server::AviEncode, 13, {Text(s.outputFile)}},  // SetOutputFile
      {Server::AviEncode, 17, {I(576)}},           // SetHeight
      {Server::AviEncode, 15, {I(720)}},           // SetWidth
      {Server::AviEncode, 19, {D(25)}},            // SetFrameRate
      {Server::AviEncode, 25, {I(44100)}},         // SetSampleRate
      {Server::AviEncode, 23, {I(1)}},             // SetParameter23
      {Server::AviEncode, 21, {I(1)}},             // SetParameter21
      {Server::AviEncode, 11, {I(0x78766964)}},    // SetCodec
      {Server::AviEncode, 27, {I(160)}},           // SetLameBitrate
      {Server::AviEncode, 31, {I(4)}},             // SetLameQuality
      {Server::AviEncode, 37, {}},                 // Start
  };
  EXPECT_EQ(Head(encoder, setUp.size()), setUp);
  ExpectPictures(encoder, setUp.size(), 39, 38, 41, [](const Call& f, int i) {
    ASSERT_EQ(f.args.size(), 3u);
    EXPECT_EQ(f.args[1], I(recording::kSoundBase + i));
    EXPECT_EQ(f.args[2], I(recording::kSoundBytes + i));
  });
}

// The lowest eight bits of the Lame quality are what the encoder gets.
TEST_F(ServerCallsTest, TheLameQualityGoesAsEightBits) {
  auto s = RecordedSettings(2);
  s.lameQuality = 0x105;
  const auto encoder = Of(RecordedRun(s), Server::AviEncode);
  const auto it = std::find_if(encoder.begin(), encoder.end(), [](const Call& c) { return c.slot == 31; });
  ASSERT_NE(it, encoder.end());
  EXPECT_EQ(it->args, std::vector<Arg>{I(5)});
}

// ---- How a run ends, on each way out: the whole record of every server, in order.

// The encoder's positions in its table, by kind of output.
struct EncoderSlots {
  const char* name;
  int kind;
  Server server;
  std::vector<int> setUp;  // the settings, ending with Start
  int frame, size, limit, finish;
};
const EncoderSlots kMpeg{
    "MPEG", 0, Server::MpegEnc, {8, 10, 12, 18, 16, 30, 48, 26, 22, 44, 34, 42, 49}, 50, 51, 52, 53};
const EncoderSlots kAvi{
    "AVI", 2, Server::AviEncode, {13, 17, 15, 19, 25, 23, 21, 11, 27, 31, 37}, 39, 38, 40, 41};

// The record as who was called at which position, arguments left out.
std::vector<Call> Order(const std::vector<Call>& calls) {
  std::vector<Call> out;
  for (const Call& c : calls) out.push_back({c.server, c.slot, {}});
  return out;
}

// An expected record, built in the order of a run.
class Expect {
 public:
  explicit Expect(const EncoderSlots& e) : e_(e) {}
  Expect& Calls(Server server, std::initializer_list<int> slots) {
    for (int slot : slots) calls_.push_back({server, slot, {}});
    return *this;
  }
  // The data object and the painter made; the painter opened; the disc set up and sought.
  Expect& DiscSetUp() {
    return Calls(Server::DvdData, {kCreated})
        .Calls(Server::PicShow, {kCreated, 7})
        .Calls(Server::DvdData, {8, 10, 12, 16, 14, 18, 20, 22, 24, 27, 28});
  }
  Expect& EncoderMade() { return Calls(e_.server, {kCreated}); }
  Expect& EncoderStarted() {
    EncoderMade();
    for (int slot : e_.setUp) calls_.push_back({e_.server, slot, {}});
    return *this;
  }
  Expect& Read() { return Calls(Server::DvdData, {29, 31}); }
  // A picture read, every 25th shown, written, with the size report after it, and the
  // limit when reached.
  Expect& Picture(bool limit = false) {
    Read();
    if (++pictures_ % 25 == 0) Calls(Server::PicShow, {8});
    Calls(e_.server, {e_.frame, e_.size});
    return limit ? Calls(e_.server, {e_.limit}) : *this;
  }
  Expect& Pictures(int n) {
    for (int i = 0; i < n; ++i) Picture();
    return *this;
  }
  // The reader closed before the file is finished; then every object let go.
  Expect& Finished() {
    return Calls(Server::DvdData, {32}).Calls(e_.server, {e_.finish}).Released();
  }
  Expect& Released() {
    return Calls(e_.server, {kReleased}).Calls(Server::PicShow, {kReleased}).Calls(Server::DvdData, {kReleased});
  }
  const std::vector<Call>& Record() const { return calls_; }

 private:
  const EncoderSlots& e_;
  std::vector<Call> calls_;
  int pictures_ = 0;
};

class RunEndingsTest : public ServerCallsTest {
 protected:
  // Four pictures, 5000 to 5003; the fifth read passes the end.
  static constexpr int kFour = 4;

  TConversionSettings Short(const EncoderSlots& e) {
    auto s = RecordedSettings(e.kind);
    s.endPosition = kStart + kFour - 1;
    return s;
  }
  // Runs with the servers failing as `failures` say.
  TConvertThread* RunFailing(const TConversionSettings& s, std::vector<recording::Failure> failures,
                             std::vector<double> sizes = {}) {
    script_.failures = std::move(failures);
    script_.fileSizes = std::move(sizes);
    recording::Reset(script_);
    TConvertThread* t = Run(s);
    EXPECT_EQ(recording::LiveObjects(), 0);
    return t;
  }
  void ExpectFailedWithTheGeneralText(TConvertThread* t) {
    EXPECT_EQ(t->Outcome(), TConvertOutcome::Failed);
    ASSERT_EQ(boxes_.size(), 1u);
    EXPECT_EQ(boxes_[0].text, "Program Exception ,have to stop!");
  }
};

TEST_F(RunEndingsTest, AnEncoderThatFailsToStartReadsNothingAndIsStillFinished) {
  for (const EncoderSlots* e : {&kMpeg, &kAvi}) {
    SCOPED_TRACE(e->name);
    boxes_.clear();
    TConvertThread* t = RunFailing(Short(*e), {{e->server, e->setUp.back()}});
    ExpectFailedWithTheGeneralText(t);
    EXPECT_EQ(t->Pictures(), 0);
    EXPECT_EQ(Order(recording::Calls()), Expect(*e).DiscSetUp().EncoderStarted().Finished().Record());
  }
}

TEST_F(RunEndingsTest, AFailedFrameWriteEndsTheLoopBeforeTheSizeIsAsked) {
  for (const EncoderSlots* e : {&kMpeg, &kAvi}) {
    SCOPED_TRACE(e->name);
    boxes_.clear();
    TConvertThread* t = RunFailing(Short(*e), {{e->server, e->frame, 3}});
    ExpectFailedWithTheGeneralText(t);
    EXPECT_EQ(t->Pictures(), 3);
    const auto expected =
        Expect(*e).DiscSetUp().EncoderStarted().Pictures(2).Read().Calls(e->server, {e->frame}).Finished().Record();
    EXPECT_EQ(Order(recording::Calls()), expected);
  }
}

// 3 is the limit: the second and fourth reports reach it, the file goes on after each.
TEST_F(RunEndingsTest, TheSizeLimitIsToldRightAfterTheReportThatReachesItAndTheRunGoesOn) {
  for (const EncoderSlots* e : {&kMpeg, &kAvi}) {
    SCOPED_TRACE(e->name);
    boxes_.clear();
    auto s = Short(*e);
    s.fileSizeLimit = 3;
    TConvertThread* t = RunFailing(s, {}, {1, 3, 2.999, 40});
    EXPECT_EQ(t->Outcome(), TConvertOutcome::Completed);
    EXPECT_TRUE(boxes_.empty());
    const auto expected = Expect(*e)
                              .DiscSetUp()
                              .EncoderStarted()
                              .Picture()
                              .Picture(true)
                              .Picture()
                              .Picture(true)
                              .Read()  // past the end
                              .Finished()
                              .Record();
    EXPECT_EQ(Order(recording::Calls()), expected);
  }
}

TEST_F(RunEndingsTest, AFailedSizeReportOrLimitEndsTheLoopThere) {
  for (const EncoderSlots* e : {&kMpeg, &kAvi}) {
    SCOPED_TRACE(e->name);
    auto s = Short(*e);
    s.fileSizeLimit = 3;
    boxes_.clear();
    TConvertThread* t = RunFailing(s, {{e->server, e->limit}}, {1, 5});
    ExpectFailedWithTheGeneralText(t);
    EXPECT_EQ(Order(recording::Calls()),
              Expect(*e).DiscSetUp().EncoderStarted().Picture().Picture(true).Finished().Record());

    boxes_.clear();
    t = RunFailing(s, {{e->server, e->size, 2}}, {1, 5});
    ExpectFailedWithTheGeneralText(t);
    EXPECT_EQ(Order(recording::Calls()), Expect(*e)
                                             .DiscSetUp()
                                             .EncoderStarted()
                                             .Picture()
                                             .Read()
                                             .Calls(e->server, {e->frame, e->size})
                                             .Finished()
                                             .Record());
  }
}

TEST_F(RunEndingsTest, AFailedReadEndsTheLoopAndTheFileIsFinished) {
  for (const EncoderSlots* e : {&kMpeg, &kAvi}) {
    SCOPED_TRACE(e->name);
    boxes_.clear();
    TConvertThread* t = RunFailing(Short(*e), {{Server::DvdData, 29, 3}});
    ExpectFailedWithTheGeneralText(t);
    EXPECT_EQ(t->Pictures(), 2);
    EXPECT_EQ(Order(recording::Calls()),
              Expect(*e).DiscSetUp().EncoderStarted().Pictures(2).Calls(Server::DvdData, {29}).Finished().Record());
  }
}

TEST_F(RunEndingsTest, AFailedFinishOfACompleteRunIsSaid) {
  for (const EncoderSlots* e : {&kMpeg, &kAvi}) {
    SCOPED_TRACE(e->name);
    boxes_.clear();
    TConvertThread* t = RunFailing(Short(*e), {{e->server, e->finish}});
    ExpectFailedWithTheGeneralText(t);
    EXPECT_EQ(t->Pictures(), kFour);
    EXPECT_EQ(Order(recording::Calls()),
              Expect(*e).DiscSetUp().EncoderStarted().Pictures(kFour).Read().Finished().Record());
  }
}

// A stop lets the picture under way finish; no picture is read after it.
TEST_F(RunEndingsTest, AStopEndsTheLoopAtItsTopAndTheFileIsFinished) {
  for (const EncoderSlots* e : {&kMpeg, &kAvi}) {
    SCOPED_TRACE(e->name);
    boxes_.clear();
    auto s = RecordedSettings(e->kind);
    s.endPosition = kStart + 5000;
    recording::Reset(script_);
    TConvertThread* t = Run(s, [](TConvertThread* run) {
      if (run->Pictures() >= 3) run->SetStop(true);
    });
    EXPECT_EQ(recording::LiveObjects(), 0);
    EXPECT_EQ(t->Outcome(), TConvertOutcome::Stopped);
    EXPECT_TRUE(boxes_.empty());
    ASSERT_GE(t->Pictures(), 3);
    ASSERT_LT(t->Pictures(), 5000);
    EXPECT_EQ(Order(recording::Calls()),
              Expect(*e).DiscSetUp().EncoderStarted().Pictures(t->Pictures()).Finished().Record());
  }
}

// Before Start nothing is finished: the reader is closed and the run ends.
TEST_F(RunEndingsTest, AnEncoderThatCannotBeMadeOrSizesThatCannotBeHadOnlyCloseTheReader) {
  for (const EncoderSlots* e : {&kMpeg, &kAvi}) {
    SCOPED_TRACE(e->name);
    boxes_.clear();
    auto s = Short(*e);
    s.outputWidth = 0;  // the picture server has no planes for it
    TConvertThread* t = RunFailing(s, {});
    EXPECT_EQ(t->Outcome(), TConvertOutcome::Failed);
    EXPECT_EQ(boxes_.size(), 1u);
    EXPECT_EQ(Order(recording::Calls()),
              Expect(*e).DiscSetUp().EncoderMade().Calls(Server::DvdData, {32}).Released().Record());
  }
  // The MPEG encoder's class unknown; the others found as before.
  EditRegistry([](qcom::RegistryTree& t) {
    for (const CLSID* c : {&CLSID_DVDDataObj, &CLSID_PicShowObj, &CLSID_AVIEncode})
      if (!t.SetValue(ClassKey(*c) + "\\InprocServer32", "", APP_RECORDING_SERVERS)) return false;
    return t.DeleteKey(ClassKey(CLSID_MpegEnc));
  });
  boxes_.clear();
  TConvertThread* t = RunFailing(Short(kMpeg), {});
  EXPECT_EQ(t->Outcome(), TConvertOutcome::Failed);
  ASSERT_EQ(boxes_.size(), 1u);
  EXPECT_EQ(boxes_[0].text, "Can not Create the MPEG Encoder Object!please re-install the software.");
  const auto expected = Expect(kMpeg)
                            .DiscSetUp()
                            .Calls(Server::DvdData, {32})
                            .Calls(Server::PicShow, {kReleased})
                            .Calls(Server::DvdData, {kReleased})
                            .Record();
  EXPECT_EQ(Order(recording::Calls()), expected);
}

// ---- The preview painter alone in place of its server, in runs over the sample
// disc with the real reader and encoder.

class PreviewCallsTest : public ConversionTest {
 protected:
  void SetUp() override {
    ConversionTest::SetUp();
    if (HasFatalFailure()) return;
    EditRegistry([](qcom::RegistryTree& t) {
      return t.SetValue(ClassKey(CLSID_PicShowObj) + "\\InprocServer32", "", APP_RECORDING_SERVERS);
    });
    recording::Reset(script_);
  }
  // The painter's calls of the run that has ended, which released it.
  static std::vector<Call> Painted() {
    EXPECT_EQ(recording::LiveObjects(), 0);
    return Of(recording::Calls(), Server::PicShow);
  }
  static int Shows(const std::vector<Call>& painter) {
    return static_cast<int>(std::count_if(painter.begin(), painter.end(), [](const Call& c) { return c.slot == 8; }));
  }
  recording::Script script_;
};

TEST_F(PreviewCallsTest, EveryTwentyFifthPictureGoesUnscaledToThePreviewWindow) {
  const auto s = Settings(0, 0, 0, 1, Path("preview.mpg"));
  TConvertThread* t = Run(s);
  EXPECT_EQ(t->Outcome(), TConvertOutcome::Completed);
  const auto painter = Painted();
  const HWND preview = frmPreview->Handle();
  ASSERT_GE(painter.size(), 2u);
  EXPECT_EQ(painter[1], (Call{Server::PicShow, 7, {Window(preview), I(720), I(576)}}));
  EXPECT_EQ(Shows(painter), t->Pictures() / 25);
  for (const Call& c : painter)
    if (c.slot == 8) {
      EXPECT_EQ(c.args[0], I(720));
      EXPECT_EQ(c.args[1], I(576));
      EXPECT_EQ(c.args[5], Window(preview));
    }
}

TEST_F(PreviewCallsTest, AFailingPreviewWithoutErrorInformationStopsTheRunWithTheGeneralText) {
  script_.paintFailAt = 2;  // the 50th picture
  recording::Reset(script_);
  const auto s = Settings(0, 0, 0, 1, Path("preview-fails.mpg"));
  TConvertThread* t = Run(s);
  EXPECT_EQ(t->Outcome(), TConvertOutcome::Failed);
  EXPECT_EQ(t->Pictures(), 50);
  ASSERT_EQ(boxes_.size(), 1u);
  EXPECT_EQ(boxes_[0].text, "Program Exception ,have to stop!");
  EXPECT_EQ(Shows(Painted()), 2);
  // The file keeps what was written before the failure.
  auto probe = Probe(s.outputFile);
  ASSERT_FALSE(probe.is_null());
  EXPECT_EQ(JsonNumber(*StreamOfType(probe, "video"), "nb_read_frames"), 49);
}

TEST_F(PreviewCallsTest, APreviewThatCannotOpenIsSaidOnceAndTheRunGoesOnWithoutIt) {
  script_.paintOpenResult = E_FAIL;
  recording::Reset(script_);
  const auto s = Settings(0, 0, 0, 1, Path("preview-off.mpg"));
  TConvertThread* t = Run(s);
  EXPECT_EQ(t->Outcome(), TConvertOutcome::Completed);
  ASSERT_EQ(boxes_.size(), 1u);
  EXPECT_EQ(boxes_[0].text, "Preview can not create directdraw Object,can not show pictures!");
  EXPECT_EQ(Slots(Painted()), (std::vector<int>{kCreated, 7, kReleased})) << "released at once, never shown";
}

TEST_F(PreviewCallsTest, ARangeOfFewerThanTwentyFivePicturesIsNeverPreviewed) {
  auto s = Settings(0, 0, 0, 0, Path("short.mpg"));
  TConvertThread* t = Run(s, [](TConvertThread* run) {
    if (run->Pictures() >= 20) run->SetStop(true);
  });
  EXPECT_EQ(t->Outcome(), TConvertOutcome::Stopped);
  EXPECT_LT(t->Pictures(), 25);
  EXPECT_EQ(Shows(Painted()), 0);
}

// ---- From the options dialog: the values StartConversion hands to the thread, as
// the servers receive them.

class DialogToServersTest : public ServerCallsTest {
 protected:
  void SetUp() override {
    ServerCallsTest::SetUp();
    if (HasFatalFailure()) return;
    disc_.titles = {
        {"Title 1", {{"PGC 1", {{100, 109, 0.4}}, {"English"}, {}}}},
        {"Title 2",
         {{"PGC 1", {{200, 209, 0.4}}, {"English"}, {}},
          {"PGC 2",
           {{1000, 1009, 0.4}, {1010, 1019, 0.4}, {1020, 1029, 0.4}},
           {"English AC-3", "French AC-3"},
           {"English", "French"}}}},
    };
    info_ = std::make_unique<apptest::FakeFactory<Maker>>(
        CLSID_DVDInfObj, Maker([this]() -> IUnknown* { return new apptest::FakeDvdInfo(&disc_, &log_); }), nullptr);
    // One drive, no other.
    drive_ = Path("drive");
    fs::create_directories(drive_ + "/VIDEO_TS");
    std::ofstream(Path("mounts")).close();
    SetMountsFile(Path("mounts"));
    setenv("QUILLMERE_DVD", drive_.c_str(), 1);
    script_.codecs = {{"DIVX MPEG-4", 0x78766964}, {"XVID MPEG-4", 0x64697678}, {"MJPEG", 0x47504a4d}};
    recording::Reset(script_);
    Application->CreateForm(frmOption);
    frmOption->OnDestroy = nullptr;  // the dialog would store its output path beside the test program
    ASSERT_EQ(frmOption->cmbDisk->Items()->Count(), 1);
    // The dialog's codec list, from the encoder's first three positions.
    EXPECT_EQ(Slots(Of(recording::Calls(), Server::AviEncode)),
              (std::vector<int>{kCreated, 7, 8, 9, 8, 9, 8, 9, kReleased}));
    // Title 2, its second program chain.
    frmOption->cmbTittle->SetItemIndex(1);
    frmOption->cmbTittleChange(frmOption->cmbTittle);
    frmOption->ProgChain->SetItemIndex(1);
    frmOption->ProgChainChange(frmOption->ProgChain);
    // The mode buttons name the output after the base name; keep it in the scratch folder,
    // whatever the user's own videos folder holds.
    frmOption->FBaseName = Path("dialog");
    frmOption->edtOutput->SetText(Path("dialog.out"));
  }
  void TearDown() override {
    unsetenv("QUILLMERE_DVD");
    SetMountsFile("");
    ServerCallsTest::TearDown();
    info_.reset();
  }

  // Presses the start button and serves the run to its end.
  std::vector<Call> Start(const std::vector<double>& fileSizes) {
    script_.fileSizes = fileSizes;
    recording::Reset(script_);
    frmConvert->Show();
    frmConvert->btnPlayClick(frmConvert->btnPlay);
    TConvertThread* t = frmConvert->Thread();
    EXPECT_TRUE(t);
    if (!t) return {};
    ServeUntilEnded(t);
    EXPECT_EQ(t->Outcome(), TConvertOutcome::Completed);
    EXPECT_TRUE(boxes_.empty());
    return recording::Calls();
  }

  // The data object's set-up, from SetDvdPath to Seek.
  static std::vector<Call> DataSetUp(const std::vector<Call>& calls) {
    const auto data = Of(calls, Server::DvdData);
    return data.size() > 12 ? std::vector<Call>(data.begin() + 1, data.begin() + 12) : data;
  }

  // After which size reports (1 = the first) the encoder was told the limit is reached.
  static std::vector<int> LimitReports(const std::vector<Call>& encoder, int sizeSlot, int limitSlot) {
    std::vector<int> out;
    int reports = 0;
    for (std::size_t i = 0; i < encoder.size(); ++i) {
      if (encoder[i].slot == sizeSlot) ++reports;
      if (encoder[i].slot == limitSlot && i > 0 && encoder[i - 1].slot == sizeSlot) out.push_back(reports);
    }
    return out;
  }

  using Maker = std::function<IUnknown*()>;
  apptest::FakeDisc disc_;
  apptest::CallLog log_;
  std::unique_ptr<apptest::FakeFactory<Maker>> info_;
  std::string drive_;
};

// SVCD, chapters 2 and 3, no subtitle, 29.97 frames per second, Force24, the
// file-size field left empty: the limit is 730.
TEST_F(DialogToServersTest, AnSvcdRunTakesNoSubtitle48kHzAndTheLimit730) {
  frmOption->radioSVCD->SetChecked(true);
  frmOption->radioSVCDClick(frmOption->radioSVCD);
  frmOption->cmbRate->SetItemIndex(3);
  frmOption->cmbRateChange(frmOption->cmbRate);
  ASSERT_EQ(frmOption->cmbSubtitle->ItemIndex(), 0) << "None";
  frmOption->audioDesc->SetItemIndex(1);
  frmOption->cmbAngle->SetItemIndex(2);
  frmOption->ckbForce->SetChecked(true);
  frmOption->edtFileSize->SetText("");
  frmOption->radioChapter->SetChecked(true);
  frmOption->lstChapter->SetSelected(1, true);
  frmOption->lstChapter->SetSelected(2, true);

  // 729.999 is under the limit, 730 and more reach it.
  const auto calls = Start({729.999, 730, 12, 731});
  const std::vector<Call> expected = {
      {Server::DvdData, 8, {Text(drive_ + "/VIDEO_TS")}},
      {Server::DvdData, 10, {I(1)}},
      {Server::DvdData, 12, {I(1)}},
      {Server::DvdData, 16, {I(-1)}},
      {Server::DvdData, 14, {I(1)}},
      {Server::DvdData, 18, {I(2)}},
      {Server::DvdData, 20, {D(29.97)}},
      {Server::DvdData, 22, {I(48000)}},
      {Server::DvdData, 24, {I(1)}},
      {Server::DvdData, 27, {}},
      {Server::DvdData, 28, {I(1010)}},
  };
  EXPECT_EQ(DataSetUp(calls), expected);
  const auto encoder = Of(calls, Server::MpegEnc);
  ASSERT_GT(encoder.size(), 8u) << "kind 1: the MPEG encoder";
  EXPECT_EQ(encoder[2], (Call{Server::MpegEnc, 10, {I(3)}}));
  EXPECT_EQ(encoder[4], (Call{Server::MpegEnc, 18, {I(480)}}));
  EXPECT_EQ(encoder[5], (Call{Server::MpegEnc, 16, {I(480)}}));
  EXPECT_EQ(encoder[6], (Call{Server::MpegEnc, 30, {D(29.97)}}));
  EXPECT_EQ(encoder[7], (Call{Server::MpegEnc, 48, {I(48000)}}));
  EXPECT_EQ(LimitReports(encoder, 51, 52), (std::vector<int>{2, 4}));
  EXPECT_EQ(std::count_if(encoder.begin(), encoder.end(), [](const Call& c) { return c.slot == 50; }), 20)
      << "chapters 2 and 3: positions 1010 to 1029";
  EXPECT_TRUE(Of(calls, Server::AviEncode).empty());
}

// AVI over the whole program chain: the second subtitle, 23.976 frames per second,
// the chosen codec, Lame 256 kbit/s at quality 7, a typed size and limit.
TEST_F(DialogToServersTest, AnAviRunTakesTheCodecLameValuesSubtitleAndTypedLimit) {
  frmOption->radioAVI->SetChecked(true);
  frmOption->radioAVIClick(frmOption->radioAVI);
  frmOption->cmbRate->SetItemIndex(0);
  frmOption->cmbRateChange(frmOption->cmbRate);
  frmOption->edtWidth->SetText("640");
  frmOption->edtHeight->SetText("352");
  frmOption->cmbCodec->SetItemIndex(2);
  frmOption->cmbCodecChange(frmOption->cmbCodec);
  frmOption->cmbBitrate->SetItemIndex(7);
  ASSERT_EQ(frmOption->cmbBitrate->Text(), "256");
  frmOption->cmbQuality->SetItemIndex(6);
  frmOption->cmbSubtitle->SetItemIndex(2);
  frmOption->edtFileSize->SetText("3");
  frmOption->radioDisk->SetChecked(true);

  const auto calls = Start({2.5, 3, 1});
  const auto data = DataSetUp(calls);
  ASSERT_EQ(data.size(), 11u);
  EXPECT_EQ(data[3], (Call{Server::DvdData, 16, {I(1)}})) << "the second subtitle stream";
  EXPECT_EQ(data[6], (Call{Server::DvdData, 20, {D(23.976)}}));
  EXPECT_EQ(data[7], (Call{Server::DvdData, 22, {I(44100)}}));
  EXPECT_EQ(data[8], (Call{Server::DvdData, 24, {I(0)}}));
  EXPECT_EQ(data[10], (Call{Server::DvdData, 28, {I(1000)}})) << "the whole chain";
  const auto encoder = Of(calls, Server::AviEncode);
  ASSERT_GT(encoder.size(), 11u) << "kind 2: the AVI encoder";
  EXPECT_EQ(encoder[2], (Call{Server::AviEncode, 17, {I(352)}}));
  EXPECT_EQ(encoder[3], (Call{Server::AviEncode, 15, {I(640)}}));
  EXPECT_EQ(encoder[5], (Call{Server::AviEncode, 25, {I(44100)}}));
  EXPECT_EQ(encoder[8], (Call{Server::AviEncode, 11, {I(0x47504a4d)}}));
  EXPECT_EQ(encoder[9], (Call{Server::AviEncode, 27, {I(256)}}));
  EXPECT_EQ(encoder[10], (Call{Server::AviEncode, 31, {I(7)}}));
  EXPECT_EQ(LimitReports(encoder, 38, 40), (std::vector<int>{2}));
  EXPECT_EQ(std::count_if(encoder.begin(), encoder.end(), [](const Call& c) { return c.slot == 39; }), 30);
  EXPECT_TRUE(Of(calls, Server::MpegEnc).empty());
}

// VCD, chapter 1 alone, a limit of 0: the encoder hears after every picture that it is reached.
TEST_F(DialogToServersTest, AVcdRunWithTheLimitZeroReportsItAfterEveryPicture) {
  frmOption->radioVCD->SetChecked(true);
  frmOption->radioVCDClick(frmOption->radioVCD);
  frmOption->edtFileSize->SetText("0");
  frmOption->radioChapter->SetChecked(true);
  frmOption->lstChapter->SetSelected(0, true);

  const auto calls = Start({});
  const auto data = DataSetUp(calls);
  ASSERT_EQ(data.size(), 11u);
  EXPECT_EQ(data[3], (Call{Server::DvdData, 16, {I(-1)}}));
  EXPECT_EQ(data[7], (Call{Server::DvdData, 22, {I(44100)}}));
  EXPECT_EQ(data[10], (Call{Server::DvdData, 28, {I(1000)}}));
  const auto encoder = Of(calls, Server::MpegEnc);
  ASSERT_GT(encoder.size(), 8u);
  EXPECT_EQ(encoder[2], (Call{Server::MpegEnc, 10, {I(1)}})) << "kind 0";
  EXPECT_EQ(encoder[7], (Call{Server::MpegEnc, 48, {I(44100)}}));
  std::vector<int> every(10);
  for (int i = 0; i < 10; ++i) every[i] = i + 1;
  EXPECT_EQ(LimitReports(encoder, 51, 52), every);
}

}  // namespace
