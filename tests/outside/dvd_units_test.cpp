// The DVD reader's building blocks on made-up data: splitting packs, following angle
// blocks and interleaved units, naming languages.
#include "dvd_demux.h"
#include "dvd_disc.h"
#include "dvd_ifo_guard.h"

#include <gtest/gtest.h>
#include <support/files.h>
#include <support/scratch_dir.h>

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <cstdlib>
#include <cstdio>
#include <filesystem>
#include <map>
#include <random>
#include <fstream>
#include <thread>
#include <functional>
#include <string>
#include <vector>

using namespace outside;

namespace {

using Pack = std::array<std::uint8_t, kSectorSize>;

// Writes an MPEG-2 pack header and returns the offset after it.
std::size_t PackHeader(Pack& p, int stuffing = 0) {
  p.fill(0);
  const std::uint8_t header[] = {0, 0, 1, 0xBA, 0x44, 0, 4, 0, 4, 1, 0x01, 0x89, 0xC3, std::uint8_t(0xF8 | stuffing)};
  std::copy(std::begin(header), std::end(header), p.begin());
  for (int i = 0; i < stuffing; ++i) p[14 + i] = 0xFF;
  return 14 + stuffing;
}

// Appends a PES packet with an MPEG-2 header (PTS when pts >= 0) and the given payload.
std::size_t Pes(Pack& p, std::size_t at, int sid, std::int64_t pts, const std::vector<std::uint8_t>& payload,
                std::uint8_t scrambling = 0) {
  const std::size_t headerData = pts >= 0 ? 5 : 0;
  const std::size_t length = 3 + headerData + payload.size();
  std::uint8_t* q = p.data() + at;
  q[0] = 0, q[1] = 0, q[2] = 1, q[3] = static_cast<std::uint8_t>(sid);
  q[4] = static_cast<std::uint8_t>(length >> 8), q[5] = static_cast<std::uint8_t>(length);
  q[6] = 0x81 | scrambling;
  q[7] = pts >= 0 ? 0x80 : 0;
  q[8] = static_cast<std::uint8_t>(headerData);
  if (pts >= 0) {
    q[9] = static_cast<std::uint8_t>(0x21 | ((pts >> 29) & 0x0E));
    q[10] = static_cast<std::uint8_t>(pts >> 22);
    q[11] = static_cast<std::uint8_t>(0x01 | ((pts >> 14) & 0xFE));
    q[12] = static_cast<std::uint8_t>(pts >> 7);
    q[13] = static_cast<std::uint8_t>(0x01 | ((pts << 1) & 0xFE));
  }
  std::copy(payload.begin(), payload.end(), q + 9 + headerData);
  return at + 6 + length;
}

std::size_t Padding(Pack& p, std::size_t at) {
  const std::size_t length = kSectorSize - at - 6;
  std::uint8_t* q = p.data() + at;
  q[0] = 0, q[1] = 0, q[2] = 1, q[3] = 0xBE;
  q[4] = static_cast<std::uint8_t>(length >> 8), q[5] = static_cast<std::uint8_t>(length);
  return kSectorSize;
}

struct Seen {
  int sid, sub;
  std::int64_t pts;
  std::vector<std::uint8_t> data;
  std::uint32_t sector;
};

std::vector<Seen> Split(const Pack& p, std::uint32_t sector, bool* isPack = nullptr) {
  std::vector<Seen> out;
  const bool ok = SplitPack(p.data(), sector, [&](const DvdPayload& d) {
    out.push_back({d.streamId, d.substreamId, d.pts, std::vector<std::uint8_t>(d.data, d.data + d.size), d.sector});
  });
  if (isPack) *isPack = ok;
  return out;
}

TEST(DvdPackSplit, FindsEachStreamsPayloadAndTimeStamp) {
  Pack p;
  std::size_t at = PackHeader(p, 2);
  const std::int64_t pts = (std::int64_t{1} << 32) + 123456789;  // uses all 33 bits
  at = Pes(p, at, 0xE0, pts, {0x00, 0x00, 0x01, 0xB3, 0x16});
  at = Pes(p, at, 0xBD, 90000, {0x81, 0x02, 0x00, 0x01, 0x0B, 0x77, 0xAA});   // AC-3 #1
  at = Pes(p, at, 0xBD, -1, {0xA0, 0x01, 0x00, 0x04, 0x00, 0x01, 0x80, 0x12, 0x34});  // LPCM
  at = Pes(p, at, 0xBD, 180000, {0x21, 0x00, 0x10, 0x55});  // sub-picture #1
  at = Pes(p, at, 0xC1, 45000, {0xFF, 0xFD});               // MPEG audio #1
  at = Pes(p, at, 0xBD, -1, {0x40, 0x99});                  // unknown substream: ignored
  Padding(p, at);

  const auto seen = Split(p, 4711);
  ASSERT_EQ(seen.size(), 5u);
  EXPECT_EQ(seen[0].sid, 0xE0);
  EXPECT_EQ(seen[0].pts, pts);
  EXPECT_EQ(seen[0].data, (std::vector<std::uint8_t>{0x00, 0x00, 0x01, 0xB3, 0x16}));
  EXPECT_EQ(seen[0].sector, 4711u);
  EXPECT_EQ(seen[1].sub, 0x81);
  EXPECT_EQ(seen[1].data, (std::vector<std::uint8_t>{0x0B, 0x77, 0xAA})) << "after frame count and pointer";
  EXPECT_EQ(seen[2].sub, 0xA0);
  EXPECT_EQ(seen[2].pts, kNoPts);
  EXPECT_EQ(seen[2].data, (std::vector<std::uint8_t>{0x00, 0x01, 0x80, 0x12, 0x34})) << "keeps the LPCM header";
  EXPECT_EQ(seen[3].sub, 0x21);
  EXPECT_EQ(seen[3].data, (std::vector<std::uint8_t>{0x00, 0x10, 0x55}));
  EXPECT_EQ(seen[4].sid, 0xC1);
  EXPECT_EQ(seen[4].sub, -1);
  EXPECT_EQ(seen[4].pts, 45000);
}

TEST(DvdPackSplit, DamagedAndForeignSectorsNeverReadPastThePack) {
  Pack p;
  bool isPack = true;
  p.fill(0);
  EXPECT_TRUE(Split(p, 0, &isPack).empty());
  EXPECT_FALSE(isPack) << "zeros are no pack";

  // A packet length that runs past the sector ends the pack there.
  std::size_t at = PackHeader(p);
  at = Pes(p, at, 0xE0, -1, {1, 2, 3});
  p[at] = 0, p[at + 1] = 0, p[at + 2] = 1, p[at + 3] = 0xE0, p[at + 4] = 0xFF, p[at + 5] = 0xFF;
  auto seen = Split(p, 0, &isPack);
  EXPECT_TRUE(isPack);
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].data, (std::vector<std::uint8_t>{1, 2, 3}));

  // A header-data length beyond its packet skips the packet.
  at = PackHeader(p);
  at = Pes(p, at, 0xE0, 1000, {9, 9});
  p[at - 2 - 5 - 1] = 0xF0;
  Padding(p, at);
  EXPECT_TRUE(Split(p, 0).empty());

  // The last bytes of a sector hold a start code with no room for a length.
  at = PackHeader(p);
  Padding(p, at);
  p[kSectorSize - 3] = 0, p[kSectorSize - 2] = 0, p[kSectorSize - 1] = 1;
  EXPECT_TRUE(Split(p, 0).empty());
}

TEST(DvdPackSplit, ScrambledPacketsAreCountedAndNotHandedOn) {
  Pack p;
  std::size_t at = PackHeader(p);
  at = Pes(p, at, 0xE0, 0, {1, 2, 3}, 0x10);
  at = Pes(p, at, 0xBD, -1, {0x80, 0x01, 0x00, 0x01, 0x0B, 0x77}, 0x30);
  at = Pes(p, at, 0xC0, 90000, {0xFF, 0xFD});
  Padding(p, at);
  PackCounts counts;
  std::vector<int> streams;
  EXPECT_TRUE(SplitPack(p.data(), 5, [&](const DvdPayload& d) { streams.push_back(d.streamId); }, &counts));
  EXPECT_EQ(streams, std::vector<int>{0xC0});
  EXPECT_EQ(counts.media, 3);
  EXPECT_EQ(counts.scrambled, 2);
}

bool ThrowsEncrypted(const std::function<void()>& f) {
  try {
    f();
  } catch (const DvdError& e) {
    EXPECT_NE(std::string(e.what()).find("encrypted"), std::string::npos) << e.what();
    return true;
  }
  return false;
}

TEST(DvdScrambleWatch, ScatteredDamageReadsOnAndMostlyScrambledStretchesStop) {
  // One packet in four scrambled, and a burst of 16 in a row among them, is damage.
  ScrambleWatch damage;
  EXPECT_FALSE(ThrowsEncrypted([&] {
    for (int i = 0; i < 10000; ++i) damage.Note({1, i % 4 == 0 ? 1 : 0});
    for (int i = 0; i < 16; ++i) damage.Note({1, 1});
    for (int i = 0; i < 200; ++i) damage.Note({2, 0});
    damage.Finish();
  }));
  // Exactly half of a stretch is not most of it.
  ScrambleWatch half;
  EXPECT_FALSE(ThrowsEncrypted([&] {
    for (int i = 0; i < 1000; ++i) half.Note({2, 1});
  }));
  // An encrypted title stops within its first stretch, packs of several packets or not.
  ScrambleWatch encrypted;
  int packs = 0;
  EXPECT_TRUE(ThrowsEncrypted([&] {
    for (; packs < 1000; ++packs) encrypted.Note({3, 3});
  }));
  EXPECT_LE(packs, ScrambleWatch::kStretch / 3);
  // Good data first, then encryption: the stop comes once the stretch is mostly scrambled.
  ScrambleWatch later;
  int scrambledPacks = 0;
  EXPECT_TRUE(ThrowsEncrypted([&] {
    for (int i = 0; i < 500; ++i) later.Note({1, 0});
    for (; scrambledPacks < 1000; ++scrambledPacks) later.Note({1, 1});
  }));
  EXPECT_EQ(scrambledPacks, ScrambleWatch::kStretch / 2);
  // A title shorter than a stretch is judged at its end; a seek starts afresh.
  ScrambleWatch shortTitle;
  for (int i = 0; i < 10; ++i) shortTitle.Note({1, i < 6 ? 1 : 0});
  EXPECT_TRUE(ThrowsEncrypted([&] { shortTitle.Finish(); }));
  shortTitle.Reset();
  shortTitle.Note({4, 1});
  EXPECT_FALSE(ThrowsEncrypted([&] { shortTitle.Finish(); }));
}

TEST(DvdPackSplit, NavigationPacksAreRecognised) {
  Pack p;
  PackHeader(p);
  EXPECT_FALSE(IsNavPack(p.data()));
  const std::uint8_t dsi[] = {0, 0, 1, 0xBF, 0x03, 0xFA, 0x01};
  std::copy(std::begin(dsi), std::end(dsi), p.begin() + 0x400);
  EXPECT_TRUE(IsNavPack(p.data()));
}

TEST(DvdNavigation, InterleavedUnitsJumpToTheSameAnglesNextUnit) {
  auto next = [](std::uint32_t vobuEnd, std::uint32_t ilvuEnd, std::uint32_t ilvuStart) {
    return FollowVobu(1000, vobuEnd, ilvuEnd, ilvuStart, 5000).next;
  };
  // An ordinary VOBU: the next one follows it.
  EXPECT_EQ(next(40, 0, 0), 1041u);
  EXPECT_EQ(FollowVobu(1000, 40, 0, 0, 5000).last, 1040u);
  // Inside an interleaved unit but not its last VOBU: still the next VOBU.
  EXPECT_EQ(next(40, 90, 300), 1041u);
  // The unit's last VOBU: on to this angle's next unit, past the other angles' units.
  EXPECT_EQ(next(40, 40, 300), 1300u);
  // The cell's last unit has no next one.
  EXPECT_EQ(next(40, 40, 0), 1041u);
  EXPECT_EQ(next(40, 40, 0x7FFFFFFF), 1041u);
}

TEST(DvdNavigation, AddressesFromTheDiscAlwaysLeadForwardInsideTheCell) {
  // An end address that wraps the sector count (nav + end + 1 is nav again in 32 bits):
  // the VOBU ends before the next navigation pack, at the latest with the cell.
  const VobuSpan wrapped = FollowVobu(1000, 0xFFFFFFFFu, 0, 0, 5000);
  EXPECT_FALSE(wrapped.endKnown);
  EXPECT_EQ(wrapped.last, 5000u);
  EXPECT_EQ(wrapped.next, 5001u);
  EXPECT_FALSE(FollowVobu(1000, 4001, 0, 0, 5000).endKnown) << "one sector past the cell";
  const VobuSpan last = FollowVobu(1000, 4000, 4000, 300, 5000);
  EXPECT_TRUE(last.endKnown);
  EXPECT_EQ(last.next, 5001u) << "the cell's last VOBU ends the cell";
  // A next-unit address back into this VOBU or onto its end: on in sector order.
  EXPECT_EQ(FollowVobu(1000, 40, 40, 20, 5000).next, 1041u);
  EXPECT_EQ(FollowVobu(1000, 40, 40, 40, 5000).next, 1041u);
  // One past the cell: the cell ends, as with any unit beyond it.
  EXPECT_GT(FollowVobu(1000, 40, 40, 0x7FFFFFFE, 5000).next, 5000u);
  // A cell that ends on the last sector number: reading moves past it instead of wrapping to 0.
  const VobuSpan top = FollowVobu(0xFFFFFF00u, 0xFF, 0xFF, 0x7FFFFFF0, 0xFFFFFFFFu);
  EXPECT_EQ(top.last, 0xFFFFFFFFu);
  EXPECT_EQ(top.next, std::uint64_t{0xFFFFFF00u} + 0x7FFFFFF0);
  EXPECT_EQ(FollowVobu(0xFFFFFF00u, 0xFF, 0, 0, 0xFFFFFFFFu).next, std::uint64_t{1} << 32);
}

DvdCell Cell(std::uint32_t first, std::uint32_t last, bool angle = false, bool blockStart = false) {
  DvdCell c;
  c.firstSector = first;
  c.lastSector = last;
  c.angleBlock = angle;
  c.blockStart = blockStart;
  return c;
}

TEST(DvdNavigation, AngleBlocksPlayTheChosenAnglesCell) {
  DvdProgramChain pgc;
  pgc.cells = {Cell(0, 99), Cell(100, 199, true, true), Cell(200, 299, true), Cell(300, 399, true),
               Cell(400, 499), Cell(500, 599, true, true), Cell(600, 699, true)};
  auto firsts = [](const std::vector<DvdCell>& cells) {
    std::vector<std::uint32_t> out;
    for (const DvdCell& c : cells) out.push_back(c.firstSector);
    return out;
  };
  EXPECT_EQ(firsts(CellsForAngle(pgc, 0)), (std::vector<std::uint32_t>{0, 100, 400, 500}));
  EXPECT_EQ(firsts(CellsForAngle(pgc, 1)), (std::vector<std::uint32_t>{0, 200, 400, 600}));
  // The second block has only two angles: angle 3 falls back to its first cell there.
  EXPECT_EQ(firsts(CellsForAngle(pgc, 2)), (std::vector<std::uint32_t>{0, 300, 400, 500}));
}

TEST(DvdNames, LanguagesByTheirCodes) {
  EXPECT_EQ(LanguageName(('e' << 8) | 'n'), "English");
  EXPECT_EQ(LanguageName(('d' << 8) | 'e'), "German");
  EXPECT_EQ(LanguageName(('x' << 8) | 'q'), "xq");
  EXPECT_EQ(LanguageName(0), "Unknown");
  EXPECT_EQ(LanguageName(0xFFFF), "Unknown");
}

using quill_test::OpenDescriptors;

std::filesystem::path SampleFile(const std::string& name) {
  return std::filesystem::read_symlink("/proc/self/exe").parent_path() / ".." / "sample-dvd" / "VIDEO_TS" / name;
}

std::vector<char> Load(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::vector<char>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void Put32(std::vector<char>& b, std::size_t at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<char>(v >> (24 - 8 * i));
}

// A probe command that stands for one way the checking program can end.
std::vector<std::string> Shell(const std::string& script) { return {"/bin/sh", "-c", script}; }

TEST(DvdIsolation, ProbesThatReturnPassAndCrashesOrHangsDoNotReachUs) {
  const int fds = OpenDescriptors();
  EXPECT_EQ(RunIsolated(Shell("printf P"), 10000), ProbeEnd::Passed);
  EXPECT_EQ(RunIsolated(Shell("printf R"), 10000), ProbeEnd::Refused);
  EXPECT_EQ(RunIsolated(Shell("echo complaint >&2; printf P"), 10000), ProbeEnd::Passed)
      << "its standard error is no verdict";
  EXPECT_EQ(RunIsolated(Shell("printf X"), 10000), ProbeEnd::Died) << "an answer that is no verdict";
  EXPECT_EQ(RunIsolated(Shell("kill -SEGV $$"), 10000), ProbeEnd::Died);
  EXPECT_EQ(RunIsolated(Shell("kill -ABRT $$"), 10000), ProbeEnd::Died);
  EXPECT_EQ(RunIsolated(Shell("exit 0"), 10000), ProbeEnd::Died) << "gone without a verdict";
  EXPECT_EQ(RunIsolated(Shell("cat; printf P"), 10000), ProbeEnd::Passed) << "its standard input is empty";
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(RunIsolated(Shell("exec sleep 30"), 300), ProbeEnd::TimedOut);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10)) << "the hung probe is killed";
  EXPECT_EQ(OpenDescriptors(), fds);
}

TEST(DvdIsolation, AProbeThatCannotStartIsAnErrorNeverAVerdict) {
  const int fds = OpenDescriptors();
  const quill_test::ScratchDir scratch("quill-no-checker");
  const auto message = [](const std::vector<std::string>& command) {
    try {
      return "ended: " + std::to_string(static_cast<int>(RunIsolated(command, 10000)));
    } catch (const DvdError& e) {
      return std::string(e.what());
    }
  };
  const std::string missing = (scratch.path() / kIfoCheckerName).string();
  EXPECT_EQ(message({missing, "/media/dvd", "0"}),
            "The DVD's files cannot be checked: the checking program QuillIfoCheck is missing from " +
                scratch.path().string() + "; the installation is incomplete.");
  std::ofstream(missing) << "#!/bin/sh\nprintf P\n";  // there, but not executable
  EXPECT_EQ(message({missing, "/media/dvd", "0"}),
            "The DVD's files cannot be checked: the checking program " + missing + " cannot be run.");
  // A bare name is never looked up on the PATH, where any program of that name could be.
  const std::filesystem::path onPath = scratch.path() / "on-path";
  std::filesystem::create_directory(onPath);
  std::ofstream(onPath / kIfoCheckerName) << "#!/bin/sh\nprintf P\n";
  std::filesystem::permissions(onPath / kIfoCheckerName, std::filesystem::perms::owner_all);
  const std::string path = std::getenv("PATH") ? std::getenv("PATH") : "";
  ::setenv("PATH", (onPath.string() + ":" + path).c_str(), 1);
  EXPECT_EQ(message({kIfoCheckerName, "/media/dvd", "0"}),
            "The DVD's files cannot be checked: the checking program QuillIfoCheck is missing from .; the "
            "installation is incomplete.");
  ::setenv("PATH", path.c_str(), 1);

  // Through the guard: the error reaches the caller, and is not kept as the set's verdict.
  for (const char* ext : {".IFO", ".BUP"})
    std::filesystem::copy_file(SampleFile(std::string("VTS_02_0") + ext),
                               scratch.path() / (std::string("VTS_02_0") + ext));
  const Deadline later = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  try {
    GuardIfoSet(scratch.path().string(), "VTS_02_0", "The title set file VTS_02_0.IFO", {missing + "-gone"}, later);
    ADD_FAILURE() << "a set passed without its probe";
  } catch (const DvdError& e) {
    EXPECT_NE(std::string(e.what()).find("is missing from"), std::string::npos) << e.what();
  }
  EXPECT_TRUE(GuardIfoSet(scratch.path().string(), "VTS_02_0", "The title set file VTS_02_0.IFO", Shell("printf P"),
                          later));
  EXPECT_EQ(OpenDescriptors(), fds);
}

// The sample disc's folder, as the reader hands it to the checking program.
std::string SampleRoot() {
  return (std::filesystem::read_symlink("/proc/self/exe").parent_path() / ".." / "sample-dvd").lexically_normal().string();
}

TEST(DvdIsolation, TheCheckingProgramBesideTheReaderGivesLibdvdreadsVerdict) {
  EXPECT_EQ(IfoCheckerPath(), (std::filesystem::read_symlink("/proc/self/exe").parent_path() / kIfoCheckerName).string())
      << "beside the file the reader is linked into";
  const std::string root = SampleRoot();
  EXPECT_EQ(RunIsolated(DvdDisc::ProbeCommand(root, 0, {}), kDiscTimeLimitMs), ProbeEnd::Passed);
  // Title 1 is the first of title set 1, with three chapters; title 2 is of another set.
  const std::vector<DvdDisc::TitleRef> refs{{1, 1, 1, 3}, {2, 1, 1, 2}};
  EXPECT_EQ(RunIsolated(DvdDisc::ProbeCommand(root, 1, refs), kDiscTimeLimitMs), ProbeEnd::Passed);
  EXPECT_EQ(RunIsolated(DvdDisc::ProbeCommand(root, 9, {{9, 1, 1, 1}}), kDiscTimeLimitMs), ProbeEnd::Refused)
      << "a title set the disc lacks";

  // A VIDEO_TS.IFO (without a backup) that libdvdread refuses.
  const quill_test::ScratchDir scratch("quill-checker");
  std::filesystem::create_directory(scratch.path() / "VIDEO_TS");
  std::vector<char> bytes = Load(SampleFile("VIDEO_TS.IFO"));
  bytes[3] = 'X';
  std::ofstream(scratch.path() / "VIDEO_TS" / "VIDEO_TS.IFO", std::ios::binary)
      .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  EXPECT_EQ(RunIsolated(DvdDisc::ProbeCommand(scratch.path().string(), 0, {}), kDiscTimeLimitMs), ProbeEnd::Refused);

  // Arguments no command gives: no verdict at all, rather than a guessed one.
  const std::vector<std::vector<std::string>> wrong{
      {},          {root},        {root, "x"},          {root, "0", "1,1,1,3"}, {root, "1", "2,1,1,2"},
      {root, "1", "1,1,3"}, {root, "1", "1,1,1,3,4"}, {root, "1", "1,1,-1,3"}, {root, "1", "1,1,1,"},
      {"", "0"},   {root, "70000"}};
  for (const auto& args : wrong) {
    SCOPED_TRACE(::testing::PrintToString(args));
    EXPECT_THROW(DvdDisc::Probe(args), std::invalid_argument);
  }
  std::vector<std::string> command{IfoCheckerPath(), root, "1", "2,1,1,2"};
  EXPECT_EQ(RunIsolated(command, kDiscTimeLimitMs), ProbeEnd::Died);
}

// The check runs while the program's other threads are busy: a process copied from this
// one at any moment would take their locks of malloc and stdio along, held for good.
TEST(DvdIsolation, EveryCheckGivesItsVerdictWhileOtherThreadsAllocateAndPrint) {
#if defined(__SANITIZE_ADDRESS__)
  // With the sanitizers every start of the checking program maps their shadow memory and
  // sets up their allocator, several times the plain start's cost: fewer rounds keep the
  // run short, still far more than a disc ever needs.
  constexpr int kRounds = 500;
#else
  constexpr int kRounds = 2000;
#endif
  constexpr int kBusyThreads = 8;
  std::FILE* sink = std::fopen("/dev/null", "w");
  ASSERT_NE(sink, nullptr);
  std::setvbuf(sink, nullptr, _IOFBF, 256);  // a write to the file every few lines
  std::atomic<bool> stop{false};
  std::atomic<long> busyRounds{0};
  std::vector<std::thread> busy;
  for (int t = 0; t < kBusyThreads; ++t)
    busy.emplace_back([&, t] {
      // Never pausing, but last in line for a processor: taken off one in the middle of
      // malloc or fprintf, their locks held, is the very case; and the checking programs
      // need not queue behind them on a busy machine.
      ::setpriority(PRIO_PROCESS, static_cast<id_t>(::gettid()), 19);
      std::mt19937 rng(static_cast<unsigned>(t));
      // Sizes across malloc's bins, below the size it maps on its own (which takes no lock
      // of its arenas).
      std::uniform_int_distribution<int> sizeBits(3, 15);
      std::vector<std::unique_ptr<char[]>> held(64);
      for (long round = 0; !stop.load(std::memory_order_relaxed); ++round) {
        auto& slot = held[rng() % held.size()];
        const std::size_t size = std::size_t{1} << sizeBits(rng);
        slot.reset(new char[size]);
        slot[size - 1] = static_cast<char>(round);
        std::fprintf(sink, "thread %d, round %ld, %zu bytes\n", t, round, size);
        busyRounds.fetch_add(1, std::memory_order_relaxed);
      }
    });

  const std::vector<std::string> check = DvdDisc::ProbeCommand(SampleRoot(), 0, {});
  std::map<ProbeEnd, int> ends;
  for (int i = 0; i < kRounds; ++i) ++ends[RunIsolated(check, kDiscTimeLimitMs)];
  stop = true;
  for (std::thread& t : busy) t.join();
  std::fclose(sink);

  EXPECT_EQ(ends[ProbeEnd::Passed], kRounds) << "timed out: " << ends[ProbeEnd::TimedOut]
                                             << ", died: " << ends[ProbeEnd::Died]
                                             << ", refused: " << ends[ProbeEnd::Refused];
  EXPECT_GT(busyRounds.load(), kRounds) << "the other threads ran alongside the checks";
}

// A task of the worker that waits until the test lets it go.
struct Gate {
  std::mutex lock;
  std::condition_variable changed;
  bool open = false;
  void Wait() {
    std::unique_lock<std::mutex> hold(lock);
    changed.wait(hold, [&] { return open; });
  }
  void Open() {
    {
      std::lock_guard<std::mutex> hold(lock);
      open = true;
    }
    changed.notify_all();
  }
};

TEST(DvdDiscWorker, CallsRunInOrderAndBringBackResultsAndFailures) {
  DiscWorker worker;
  std::vector<int> order;
  worker.Post([&] { order.push_back(1); });
  EXPECT_EQ(worker.Call([&](Deadline) { order.push_back(2); return 42; }, "x"), 42);
  EXPECT_EQ(order, (std::vector<int>{1, 2}));
  try {
    worker.Call([](Deadline) -> int { throw DvdError("the disc says no"); }, "x");
    ADD_FAILURE() << "no failure";
  } catch (const DvdError& e) {
    EXPECT_STREQ(e.what(), "the disc says no");
  }
  const Deadline before = std::chrono::steady_clock::now();
  const Deadline given = worker.Call([](Deadline d) { return d; }, "x");
  EXPECT_GE(given - before, std::chrono::milliseconds(kDiscTimeLimitMs)) << "each call has the whole limit";
  EXPECT_EQ(worker.Call([](Deadline) { return std::this_thread::get_id(); }, "x"),
            worker.Call([](Deadline) { return std::this_thread::get_id(); }, "x"))
      << "one thread for every access";
}

TEST(DvdDiscWorker, AStuckCallIsGivenUpAndTheThreadEndsAloneWhenItReturns) {
  auto gate = std::make_shared<Gate>();
  auto held = std::make_shared<int>(7);  // stands for what a task owns: a buffer, a handle
  std::weak_ptr<int> watch = held;
  std::atomic<bool> closed{false};
  {
    DiscWorker worker(200);
    try {
      worker.Call([gate, held = std::move(held)](Deadline) { gate->Wait(); return *held; }, "Sector 480 of the title");
      ADD_FAILURE() << "the stuck call came back";
    } catch (const DvdError& e) {
      EXPECT_STREQ(e.what(),
                   "Sector 480 of the title could not be read within 200 milliseconds: the disc is damaged or the "
                   "drive does not answer.");
    }
    // Every later call fails at once, without queueing behind the stuck one.
    try {
      worker.Call([](Deadline) { return 1; }, "Sector 512");
      ADD_FAILURE() << "a call after the stuck one ran";
    } catch (const DvdError& e) {
      EXPECT_NE(std::string(e.what()).find("Sector 480"), std::string::npos) << e.what();
    }
    worker.Post([&closed] { closed = true; });  // as the reader's handles are closed
  }  // leaving does not wait for the stuck task
  EXPECT_FALSE(watch.expired());
  EXPECT_FALSE(closed);
  gate->Open();
  // The thread finishes the stuck task and the queued close, then drops what they held.
  for (int i = 0; i < 6000 && !(watch.expired() && closed); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  EXPECT_TRUE(watch.expired());
  EXPECT_TRUE(closed);
}

TEST(DvdSpecialFiles, PipesAndDevicesAreToldWithoutOpeningThem) {
  const quill_test::ScratchDir scratchDir("quill-special");
  const auto& dir = scratchDir.path();
  const std::string pipe = (dir / "VIDEO_TS.IFO").string();
  ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
  // Each of these would wait for a writer for good if it opened the pipe for reading.
  EXPECT_EQ(SpecialFileKind(pipe), "a named pipe");
  EXPECT_EQ(CheckIfoFile(pipe), "it is a named pipe, not a file");
  EXPECT_EQ(SpecialFileKind("/dev/null"), "a device");
  EXPECT_EQ(CheckIfoFile("/dev/zero"), "it is a device, not a file");
  EXPECT_EQ(SpecialFileKind(dir.string()), "a folder");
  EXPECT_EQ(SpecialFileKind(SampleFile("VIDEO_TS.IFO").string()), "");
  EXPECT_EQ(SpecialFileKind((dir / "missing").string()), "") << "a missing file is its reader's business";

  // A sound IFO beside a backup that is a pipe: libdvdread would open the pipe when the
  // IFO fails it, so the set is refused before any probe starts.
  std::filesystem::copy_file(SampleFile("VTS_02_0.IFO"), dir / "VTS_02_0.IFO");
  ASSERT_EQ(::mkfifo((dir / "VTS_02_0.BUP").c_str(), 0600), 0);
  const std::filesystem::path probed = dir / "probed";
  try {
    GuardIfoSet(dir.string(), "VTS_02_0", "The title set file VTS_02_0.IFO",
                Shell("touch '" + probed.string() + "'; printf P"),
                std::chrono::steady_clock::now() + std::chrono::seconds(60));
    ADD_FAILURE() << "the set was not refused";
  } catch (const DvdError& e) {
    EXPECT_STREQ(e.what(), "The title set file VTS_02_0.IFO cannot be read: VTS_02_0.BUP is a named pipe, not a file.");
  }
  EXPECT_FALSE(std::filesystem::exists(probed));
}

TEST(DvdIfoCheck, SoundFilesPassAndBrokenTablesAreNamed) {
  const quill_test::ScratchDir scratchDir("quill-ifo-check");
  const auto& scratch = scratchDir.path();
  for (const char* name : {"VIDEO_TS.IFO", "VTS_01_0.IFO", "VTS_02_0.BUP", "VTS_03_0.IFO"})
    EXPECT_EQ(CheckIfoFile(SampleFile(name).string()), "") << name;

  struct Case {
    const char* file;
    void (*damage)(std::vector<char>&);
    const char* text;
  };
  const Case cases[] = {
      {"VIDEO_TS.IFO", [](std::vector<char>& b) { b.resize(1000); }, "shorter than one sector"},
      {"VIDEO_TS.IFO", [](std::vector<char>& b) { b[3] = 'X'; }, "does not start as an IFO file does"},
      {"VIDEO_TS.IFO", [](std::vector<char>& b) { Put32(b, 0x1C, 1000); }, "claims 1001 sectors but holds 4"},
      {"VIDEO_TS.IFO", [](std::vector<char>& b) { Put32(b, 0xC4, 0); }, "no title table"},
      {"VIDEO_TS.IFO", [](std::vector<char>& b) { Put32(b, 0xC4, 9); }, "title table lies past the end"},
      {"VIDEO_TS.IFO", [](std::vector<char>& b) { b[2048] = 0x7F; }, "title table is cut short"},
      // libdvdread would take 2 GB at once for the table's claimed length.
      {"VIDEO_TS.IFO", [](std::vector<char>& b) { Put32(b, 2048 + 4, 0x81000000); },
       "title table claims more bytes than the file holds"},
      {"VTS_01_0.IFO",  // the unit map's sector number is small: its last byte holds it
       [](std::vector<char>& b) { Put32(b, static_cast<unsigned char>(b[0xE7]) * std::size_t{2048}, 0xFFFFFFF0); },
       "its unit map claims more bytes than the file holds"},
      {"VTS_01_0.IFO", [](std::vector<char>& b) { Put32(b, 0xCC, 77); }, "program chain table lies past the end"},
      // The program chain table's first chain claims 255 programs and cells.
      {"VTS_01_0.IFO",
       [](std::vector<char>& b) {
         const std::size_t chain = 2 * 2048 + ((static_cast<unsigned char>(b[2 * 2048 + 12]) << 24) |
                                               (static_cast<unsigned char>(b[2 * 2048 + 13]) << 16) |
                                               (static_cast<unsigned char>(b[2 * 2048 + 14]) << 8) |
                                               static_cast<unsigned char>(b[2 * 2048 + 15]));
         b[chain + 2] = b[chain + 3] = static_cast<char>(0xFF);
       },
       "a program chain of its program chain table has a"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    std::vector<char> bytes = Load(SampleFile(c.file));
    ASSERT_FALSE(bytes.empty());
    c.damage(bytes);
    const auto path = scratch / c.file;
    std::ofstream(path, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    EXPECT_NE(CheckIfoFile(path.string()).find(c.text), std::string::npos) << CheckIfoFile(path.string());
  }
  const std::string folder = SampleFile("VTS_02_0.IFO").parent_path().string();
  EXPECT_EQ(FindDiscFile(folder, "vts_02_0.ifo"), folder + "/VTS_02_0.IFO") << "any case of letters";
  EXPECT_EQ(FindDiscFile(scratch.string(), "VTS_09_0.IFO"), "");
}

TEST(DvdIsolation, VerdictsAreKeptPerFileIdentity) {
  const quill_test::ScratchDir scratch("quill-ifo-verdict");
  const auto& dir = scratch.path();
  for (const char* ext : {".IFO", ".BUP"})
    std::filesystem::copy_file(SampleFile(std::string("VTS_02_0") + ext), dir / (std::string("VTS_02_0") + ext));
  const auto crash = Shell("kill -SEGV $$");
  const auto fine = Shell("printf P");
  const auto refuse = Shell("printf R");
  auto verdict = [&](const std::vector<std::string>& parse) {
    try {
      const Deadline later = std::chrono::steady_clock::now() + std::chrono::seconds(60);
      return std::string(GuardIfoSet(dir.string(), "VTS_02_0", "The title set file VTS_02_0.IFO", parse, later)
                             ? "passed"
                             : "refused");
    } catch (const DvdError& e) {
      return std::string(e.what());
    }
  };
  // A crash in the probe makes the set unreadable, and stays the verdict for these files.
  EXPECT_EQ(verdict(crash),
            "The title set file VTS_02_0.IFO is damaged so badly that the DVD library fails on it; it cannot be read.");
  EXPECT_NE(verdict(fine), "passed") << "no second probe for the same files";
  // Changed files are a new disc: checked again, and a pass is kept in turn.
  const std::vector<char> bytes = Load(dir / "VTS_02_0.IFO");
  std::filesystem::remove(dir / "VTS_02_0.IFO");
  std::ofstream(dir / "VTS_02_0.IFO", std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  EXPECT_EQ(verdict(fine), "passed");
  EXPECT_EQ(verdict(crash), "passed") << "the kept verdict, without a probe";
  // A refusal by libdvdread in the probe is kept too.
  std::filesystem::remove(dir / "VTS_02_0.IFO");
  std::ofstream(dir / "VTS_02_0.IFO", std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  EXPECT_EQ(verdict(refuse), "refused");
  EXPECT_EQ(verdict(fine), "refused");
  // Both copies failing the checks: refused before any probe runs, with the reason.
  for (const char* ext : {".IFO", ".BUP"}) std::filesystem::resize_file(dir / (std::string("VTS_02_0") + ext), 4096);
  EXPECT_EQ(verdict(fine), "The title set file VTS_02_0.IFO is damaged (it claims 6 sectors but holds 2); it cannot be read.");
}

}  // namespace
