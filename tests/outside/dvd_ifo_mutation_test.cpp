// Damaged IFO files through both DVD servers: copies of the sample disc whose IFO files
// (and often their backups) have runs of bytes overwritten, with fixed seeds. Whatever the
// damage, the process lives on and the disc is either listed or refused with a reason.
#include <outside/dvd.h>

#include "outside_test_util.h"

#include <fstream>
#include <map>
#include <random>
#include <vector>

using namespace outsidetest;

namespace {

// The suite's run; the long run (by hand: ctest -C LongFuzz -L long) takes many more.
constexpr int kSuiteMutants = 80;
constexpr int kLongRunMutants = 520;

using Bytes = std::vector<char>;

Bytes ReadFile(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// Written beside and renamed over: a new file, as a new disc would be.
void WriteFile(const fs::path& p, const Bytes& b) {
  const fs::path tmp = p.string() + ".new";
  {
    std::ofstream out(tmp, std::ios::binary | std::ios::trunc);
    out.write(b.data(), static_cast<std::streamsize>(b.size()));
  }
  fs::rename(tmp, p);
}

// Overwrites 16 to 200 bytes: one run of random or zero bytes, or scattered random bytes.
void Damage(Bytes& b, std::mt19937& rng) {
  const std::size_t count = std::uniform_int_distribution<std::size_t>(16, 200)(rng);
  const int kind = std::uniform_int_distribution<int>(0, 2)(rng);
  std::uniform_int_distribution<int> byte(0, 255);
  if (kind == 2) {
    std::uniform_int_distribution<std::size_t> at(0, b.size() - 1);
    for (std::size_t i = 0; i < count; ++i) b[at(rng)] = static_cast<char>(byte(rng));
    return;
  }
  const std::size_t start = std::uniform_int_distribution<std::size_t>(0, b.size() - count)(rng);
  for (std::size_t i = 0; i < count; ++i) b[start + i] = kind == 0 ? static_cast<char>(byte(rng)) : 0;
}

struct Outcome {
  int listed = 0, refused = 0, unreadableTitles = 0, libraryFailures = 0;
};

// Lists the disc as the options dialog does; every failure must carry a text.
void ListDisc(const std::string& folder, Outcome* outcome) {
  auto info = Create<IDVDInfObj>(CLSID_DVDInfObj, IID_IDVDInfObj);
  ASSERT_TRUE(info);
  auto error = [&] { return qcom::ErrorDescription(info.get(), IID_IDVDInfObj); };
  auto noteLibrary = [&](const std::string& text) {
    if (text.find("fails on it") != std::string::npos) ++outcome->libraryFailures;
  };
  Bstr path(folder);
  if (info->OpenDvd(path.get()) < 0) {
    const std::string text = error();
    EXPECT_FALSE(text.empty()) << "a refused disc says why";
    noteLibrary(text);
    ++outcome->refused;
    return;
  }
  ++outcome->listed;
  INT titles = -1;
  ASSERT_EQ(info->GetTitleCount(&titles), S_OK);
  ASSERT_GE(titles, 0);
  for (INT t = 0; t < titles && t < 100; ++t) {
    BSTR name = nullptr;
    ASSERT_EQ(info->GetTitleName(t, &name), S_OK) << error();
    EXPECT_FALSE(TakeString(name).empty());
    if (info->SelectTitle(t) < 0) {
      const std::string text = error();
      EXPECT_FALSE(text.empty()) << "an unreadable title says why";
      noteLibrary(text);
      ++outcome->unreadableTitles;
      continue;
    }
    INT chains = 0;
    ASSERT_EQ(info->GetProgramChainCount(t, &chains), S_OK) << error();
    for (INT c = 0; c < chains && c < 50; ++c) {
      ASSERT_EQ(info->SelectProgramChain(c), S_OK) << error();
      INT n = 0;
      EXPECT_EQ(info->GetChapterCount(&n), S_OK);
      EXPECT_EQ(info->GetAudioCount(&n), S_OK);
      for (INT a = 0; a < n; ++a) {
        BSTR audio = nullptr;
        EXPECT_EQ(info->GetAudioName(a, &audio), S_OK);
        TakeString(audio);
      }
      BSTR chain = nullptr;
      EXPECT_EQ(info->GetProgramChainName(c, &chain), S_OK);
      TakeString(chain);
    }
  }
}

// Opens the first title for reading and reads a few pictures; failures carry a text.
void ReadFirstTitle(const std::string& folder) {
  auto data = Create<IDVDDataObj>(CLSID_DVDDataObj, IID_IDVDDataObj);
  ASSERT_TRUE(data);
  Bstr path(folder);
  data->SetDvdPath(path.get());
  data->SetTitle(0);
  data->SetProgramChain(0);
  data->SetAudioStream(-1);
  data->SetSubtitle(-1);
  data->SetFrameRate(25.0);
  if (data->Open() < 0) {
    EXPECT_FALSE(qcom::ErrorDescription(data.get(), IID_IDVDDataObj).empty());
    return;
  }
  std::vector<BYTE> y(720 * 576), u(360 * 288), v(360 * 288);
  for (int i = 0; i < 3; ++i) {
    INT_PTR value1 = 0;
    INT value2 = 0;
    const HRESULT hr = data->ReadFrame(y.data(), u.data(), v.data(), &value1, &value2);
    if (hr < 0) {
      EXPECT_FALSE(qcom::ErrorDescription(data.get(), IID_IDVDDataObj).empty());
    }
    if (hr != S_OK) break;
  }
}

class DvdIfoMutationTest : public ComTest {
 protected:
  void RunMutants(int mutants);
};

void DvdIfoMutationTest::RunMutants(int mutants) {
  const int fds = OpenDescriptors();
  ScratchDir scratch;
  const fs::path disc = scratch.CopySample();
  const std::vector<std::string> sets = {"VIDEO_TS", "VTS_01_0", "VTS_02_0", "VTS_03_0"};
  std::map<std::string, Bytes> originals;
  for (const std::string& s : sets)
    for (const char* ext : {".IFO", ".BUP"}) originals[s + ext] = ReadFile(disc / (s + ext));

  Outcome outcome;
  std::string damaged;
  for (int seed = 1; seed <= mutants; ++seed) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937 rng(static_cast<std::uint32_t>(seed));
    // The sets left sound keep their files, and so their verdicts.
    if (!damaged.empty())
      for (const char* ext : {".IFO", ".BUP"}) WriteFile(disc / (damaged + ext), originals[damaged + ext]);
    // Every set in turn; mostly the backup is damaged the same way, else it stays sound.
    const std::string& set = sets[static_cast<std::size_t>(seed) % sets.size()];
    damaged = set;
    Bytes ifo = originals[set + ".IFO"];
    Damage(ifo, rng);
    WriteFile(disc / (set + ".IFO"), ifo);
    if (std::uniform_int_distribution<int>(0, 3)(rng) != 0) WriteFile(disc / (set + ".BUP"), ifo);

    ListDisc(disc.string(), &outcome);
    if (seed % 5 == 0) ReadFirstTitle(disc.string());
    if (HasFatalFailure()) return;
  }
  std::printf("%d mutants: %d listed (%d titles unreadable), %d refused; libdvdread failed on %d\n", mutants,
              outcome.listed, outcome.unreadableTitles, outcome.refused, outcome.libraryFailures);
  EXPECT_EQ(outcome.listed + outcome.refused, mutants);
  EXPECT_GT(outcome.refused + outcome.unreadableTitles, 0) << "the damage reached the checks";
  EXPECT_EQ(OpenDescriptors(), fds);
}

TEST_F(DvdIfoMutationTest, DamagedIfoFilesNeverTakeTheProgramDown) { RunMutants(kSuiteMutants); }

// Forks a checking process for most of its discs: minutes in the sanitizer build.
TEST_F(DvdIfoMutationTest, DISABLED_LongRun) { RunMutants(kLongRunMutants); }

}  // namespace
