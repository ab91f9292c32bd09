// IDVDInfObj through the COM runtime: the sample disc's contents, the method positions,
// and bad discs and indexes answered with error information.
#include <outside/dvd.h>

#include "outside_test_util.h"

#include <sys/stat.h>

#include <chrono>
#include <cmath>
#include <fstream>

using namespace outsidetest;

namespace {

class DvdInfoTest : public ComTest {
 protected:
  ComPtr<IDVDInfObj> Open(const std::string& folder, HRESULT* hr) {
    ComPtr<IDVDInfObj> info = Create<IDVDInfObj>(CLSID_DVDInfObj, IID_IDVDInfObj);
    if (!info) return info;
    Bstr path(folder);
    *hr = info->OpenDvd(path.get());
    return info;
  }
  std::string Error(IDVDInfObj* info) { return qcom::ErrorDescription(info, IID_IDVDInfObj); }

  // Opens a disc whose first title set cannot be read: the list still shows title 1, as
  // unreadable, and selecting it fails. *why receives the failure's text.
  ComPtr<IDVDInfObj> OpenWithTitleOneRefused(const fs::path& disc, std::string* why) {
    HRESULT hr = E_FAIL;
    auto info = Open(disc.string(), &hr);
    EXPECT_TRUE(info);
    if (!info) return info;
    EXPECT_EQ(hr, S_OK) << Error(info.get());
    BSTR name = nullptr;
    EXPECT_EQ(info->GetTitleName(0, &name), S_OK);
    EXPECT_EQ(TakeString(name), "Title 1 (unreadable)");
    EXPECT_LT(info->SelectTitle(0), 0);
    *why = Error(info.get());
    return info;
  }
};

struct ChapterRow {
  INT start, end;
  double seconds;
};

std::vector<ChapterRow> Chapters(IDVDInfObj* info) {
  INT count = -1;
  EXPECT_EQ(info->GetChapterCount(&count), S_OK);
  std::vector<ChapterRow> rows;
  for (INT i = 0; i < count; ++i) {
    ChapterRow r{};
    EXPECT_EQ(info->GetChapterStart(i, &r.start), S_OK);
    EXPECT_EQ(info->GetChapterEnd(i, &r.end), S_OK);
    EXPECT_EQ(info->GetChapterSeconds(i, &r.seconds), S_OK);
    rows.push_back(r);
  }
  return rows;
}

TEST_F(DvdInfoTest, ListsTheSampleDiscInTheDialogsOrder) {
  HRESULT hr = E_FAIL;
  auto info = Open(SampleVideoTs(), &hr);
  ASSERT_TRUE(info);
  ASSERT_EQ(hr, S_OK) << Error(info.get());

  INT titles = 0;
  ASSERT_EQ(info->GetTitleCount(&titles), S_OK);
  ASSERT_EQ(titles, 3);
  BSTR name = nullptr;
  ASSERT_EQ(info->GetTitleName(0, &name), S_OK);
  EXPECT_EQ(TakeString(name), "Title 1 (0:12)");

  // Title 1: PAL, three chapters of 4 s, two sound streams, one subtitle.
  ASSERT_EQ(info->SelectTitle(0), S_OK);
  INT value = 0, pgcs = 0;
  EXPECT_EQ(info->QueryTitle(0, &value), S_OK);
  EXPECT_EQ(value, 3);
  ASSERT_EQ(info->GetProgramChainCount(0, &pgcs), S_OK);
  ASSERT_EQ(pgcs, 1);
  ASSERT_EQ(info->GetProgramChainName(0, &name), S_OK);
  EXPECT_EQ(TakeString(name), "1 (0:12, 3 chapters)");
  ASSERT_EQ(info->SelectProgramChain(0), S_OK);

  auto rows = Chapters(info.get());
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[0].start, 0);
  for (std::size_t i = 0; i < rows.size(); ++i) {
    EXPECT_LT(rows[i].start, rows[i].end);
    EXPECT_NEAR(rows[i].seconds, 4.0, 0.1) << "chapter " << i;
    if (i > 0) {
      EXPECT_EQ(rows[i].start, rows[i - 1].end + 1) << "chapters are back to back";
    }
  }
  // The last chapter ends at the last sector of the title's VOB data.
  const auto vobSectors = fs::file_size(SampleDisc() / "VIDEO_TS" / "VTS_01_1.VOB") / 2048;
  EXPECT_EQ(static_cast<std::uintmax_t>(rows.back().end), vobSectors - 1);

  INT audio = 0, subs = 0;
  ASSERT_EQ(info->GetAudioCount(&audio), S_OK);
  ASSERT_EQ(audio, 2);
  ASSERT_EQ(info->GetAudioName(0, &name), S_OK);
  EXPECT_EQ(TakeString(name), "English AC3 2ch");
  ASSERT_EQ(info->GetAudioName(1, &name), S_OK);
  EXPECT_EQ(TakeString(name), "German MPEG 2ch");
  ASSERT_EQ(info->GetSubtitleCount(&subs), S_OK);
  ASSERT_EQ(subs, 1);
  ASSERT_EQ(info->GetSubtitleName(0, &name), S_OK);
  EXPECT_EQ(TakeString(name), "English Subpicture");
  INT w = 0, h = 0;
  EXPECT_EQ(info->GetPictureWidth(&w), S_OK);
  EXPECT_EQ(info->GetPictureHeight(&h), S_OK);
  EXPECT_EQ(w, 720);
  EXPECT_EQ(h, 576);

  // Title 2: NTSC, two chapters, LPCM sound, no subtitle; positions start again in its own set.
  ASSERT_EQ(info->SelectTitle(1), S_OK);
  ASSERT_EQ(info->SelectProgramChain(0), S_OK);
  rows = Chapters(info.get());
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0].start, 0);
  EXPECT_NEAR(rows[0].seconds + rows[1].seconds, 6.0, 0.1);
  ASSERT_EQ(info->GetAudioCount(&audio), S_OK);
  ASSERT_EQ(audio, 1);
  ASSERT_EQ(info->GetAudioName(0, &name), S_OK);
  EXPECT_EQ(TakeString(name), "French LPCM 2ch");
  ASSERT_EQ(info->GetSubtitleCount(&subs), S_OK);
  EXPECT_EQ(subs, 0);
  EXPECT_EQ(info->GetPictureWidth(&w), S_OK);
  EXPECT_EQ(info->GetPictureHeight(&h), S_OK);
  EXPECT_EQ(w, 720);
  EXPECT_EQ(h, 480);
}

// The program binds to these positions; call them through the raw table.
TEST_F(DvdInfoTest, MethodsSitAtTheirTablePositions) {
  HRESULT hr = E_FAIL;
  auto info = Open(SampleVideoTs(), &hr);
  ASSERT_TRUE(info);
  ASSERT_EQ(hr, S_OK);
  void** table = *reinterpret_cast<void***>(info.get());
  using NoArg = HRESULT (*)(void*);
  using IntOut = HRESULT (*)(void*, INT*);
  using IntIn = HRESULT (*)(void*, INT);
  using IntIntOut = HRESULT (*)(void*, INT, INT*);
  using IntDoubleOut = HRESULT (*)(void*, INT, double*);
  using IntBstrOut = HRESULT (*)(void*, INT, BSTR*);

  for (int gap : {7, 13, 14, 16, 24, 26, 27, 30})
    EXPECT_EQ(reinterpret_cast<NoArg>(table[gap])(info.get()), E_NOTIMPL) << "slot " << gap;
  INT v = 0;
  ASSERT_EQ(reinterpret_cast<IntOut>(table[9])(info.get(), &v), S_OK);
  EXPECT_EQ(v, 3);
  ASSERT_EQ(reinterpret_cast<IntIn>(table[15])(info.get(), 1), S_OK);  // SelectTitle(1)
  ASSERT_EQ(reinterpret_cast<IntIntOut>(table[11])(info.get(), 1, &v), S_OK);
  EXPECT_EQ(v, 1);
  ASSERT_EQ(reinterpret_cast<IntIn>(table[17])(info.get(), 0), S_OK);  // SelectProgramChain(0)
  ASSERT_EQ(reinterpret_cast<IntOut>(table[18])(info.get(), &v), S_OK);
  EXPECT_EQ(v, 2);
  ASSERT_EQ(reinterpret_cast<IntIntOut>(table[20])(info.get(), 0, &v), S_OK);
  INT end0 = v;
  ASSERT_EQ(reinterpret_cast<IntIntOut>(table[19])(info.get(), 1, &v), S_OK);
  EXPECT_EQ(v, end0 + 1);
  ASSERT_EQ(reinterpret_cast<IntOut>(table[21])(info.get(), &v), S_OK);
  EXPECT_EQ(v, 1);
  ASSERT_EQ(reinterpret_cast<IntOut>(table[22])(info.get(), &v), S_OK);
  EXPECT_EQ(v, 0);
  ASSERT_EQ(reinterpret_cast<IntOut>(table[28])(info.get(), &v), S_OK);
  EXPECT_EQ(v, 720);
  ASSERT_EQ(reinterpret_cast<IntOut>(table[29])(info.get(), &v), S_OK);
  EXPECT_EQ(v, 480);
  double seconds = 0;
  ASSERT_EQ(reinterpret_cast<IntDoubleOut>(table[31])(info.get(), 0, &seconds), S_OK);
  EXPECT_GT(seconds, 2.5);
  BSTR name = nullptr;
  ASSERT_EQ(reinterpret_cast<IntBstrOut>(table[25])(info.get(), 0, &name), S_OK);
  EXPECT_EQ(TakeString(name), "French LPCM 2ch");
  ASSERT_EQ(reinterpret_cast<IntBstrOut>(table[32])(info.get(), 0, &name), S_OK);
  EXPECT_EQ(TakeString(name).rfind("1 (", 0), 0u);
  ASSERT_EQ(reinterpret_cast<IntBstrOut>(table[10])(info.get(), 1, &name), S_OK);
  EXPECT_EQ(TakeString(name), "Title 2 (0:06)");
  ASSERT_EQ(reinterpret_cast<IntIntOut>(table[12])(info.get(), 1, &v), S_OK);
  EXPECT_EQ(v, 2);
  // Slot 23 (GetSubtitleName) on a program chain without subtitles reports the range.
  EXPECT_EQ(reinterpret_cast<IntBstrOut>(table[23])(info.get(), 0, &name), E_INVALIDARG);
}

TEST_F(DvdInfoTest, MissingAndEmptyFoldersFailWithAReason) {
  const int fds = OpenDescriptors();
  ScratchDir scratch;
  HRESULT hr = S_OK;
  {
    auto info = Open((scratch.path() / "no-such-disc" / "VIDEO_TS").string(), &hr);
    ASSERT_TRUE(info);
    EXPECT_LT(hr, 0);
    EXPECT_NE(Error(info.get()).find("does not exist"), std::string::npos);
    INT titles = 7;
    EXPECT_LT(info->GetTitleCount(&titles), 0) << "nothing is open after a failed open";
    EXPECT_EQ(titles, 0);
    EXPECT_EQ(Error(info.get()), "No DVD is open.");

    fs::create_directories(scratch.path() / "VIDEO_TS");
    Bstr empty((scratch.path() / "VIDEO_TS").string());
    EXPECT_LT(info->OpenDvd(empty.get()), 0);
    EXPECT_NE(Error(info.get()).find("VIDEO_TS.IFO"), std::string::npos);

    Bstr none("");
    EXPECT_EQ(info->OpenDvd(none.get()), E_INVALIDARG);
    EXPECT_EQ(info->OpenDvd(nullptr), E_INVALIDARG);
    EXPECT_FALSE(Error(info.get()).empty());

    // A good disc after the failures opens normally.
    Bstr good(SampleVideoTs());
    EXPECT_EQ(info->OpenDvd(good.get()), S_OK);
  }
  EXPECT_EQ(OpenDescriptors(), fds);
}

TEST_F(DvdInfoTest, TruncatedIfoFilesFailWhereTheyAreNeeded) {
  const int fds = OpenDescriptors();
  {
    ScratchDir scratch;
    const fs::path disc = scratch.CopySample();
    // The main IFO and its backup both cut short: the disc cannot be opened.
    TruncateIfo(disc, "VIDEO_TS", 100);
    HRESULT hr = S_OK;
    auto info = Open(disc.string(), &hr);
    ASSERT_TRUE(info);
    EXPECT_LT(hr, 0);
    EXPECT_NE(Error(info.get()).find("VIDEO_TS.IFO"), std::string::npos);
  }
  {
    ScratchDir scratch;
    const fs::path disc = scratch.CopySample();
    // Only the first title set is damaged: its title fails, the other one still works.
    TruncateIfo(disc, "VTS_01_0", 300);
    std::string why;
    auto info = OpenWithTitleOneRefused(disc, &why);
    ASSERT_TRUE(info);
    EXPECT_NE(why.find("VTS_01_0.IFO"), std::string::npos);
    INT count = 5;
    EXPECT_LT(info->GetChapterCount(&count), 0) << "no title stays selected after a failed select";
    EXPECT_EQ(info->SelectTitle(1), S_OK);
    EXPECT_EQ(info->SelectProgramChain(0), S_OK);
    EXPECT_EQ(info->GetChapterCount(&count), S_OK);
    EXPECT_EQ(count, 2);
  }
  {
    // A damaged IFO whose backup is intact is read from the backup.
    ScratchDir scratch;
    const fs::path disc = scratch.CopySample();
    fs::resize_file(disc / "VTS_02_0.IFO", 300);
    HRESULT hr = E_FAIL;
    auto info = Open(disc.string(), &hr);
    ASSERT_EQ(hr, S_OK);
    EXPECT_EQ(info->SelectTitle(1), S_OK) << Error(info.get());
  }
  EXPECT_EQ(OpenDescriptors(), fds);
}

// IFO files that are named pipes: opening one for reading waits for a writer for good,
// which hung the options dialog as the program started. They are refused at once, by name.
TEST_F(DvdInfoTest, IfoFilesThatAreNamedPipesAreRefusedAtOnceByName) {
  const int fds = OpenDescriptors();
  ScratchDir mainScratch, setScratch;
  const fs::path mainPipe = mainScratch.CopySample(), setPipe = setScratch.CopySample();
  for (const fs::path& file : {mainPipe / "VIDEO_TS.IFO", setPipe / "VTS_01_0.IFO"}) {
    fs::remove(file);
    ASSERT_EQ(::mkfifo(file.c_str(), 0600), 0);
  }
  EndsWithin(std::chrono::seconds(120), [&] {
    HRESULT hr = S_OK;
    auto info = Open(mainPipe.string(), &hr);
    ASSERT_TRUE(info);
    EXPECT_LT(hr, 0);
    EXPECT_EQ(Error(info.get()), "VIDEO_TS.IFO in \"" + mainScratch.path().string() +
                                     "\" cannot be read: VIDEO_TS.IFO is a named pipe, not a file.");

    // A title set's IFO: its title is unreadable and says why, the others are listed.
    std::string why;
    info = OpenWithTitleOneRefused(setPipe, &why);
    ASSERT_TRUE(info);
    EXPECT_EQ(why, "The title set file VTS_01_0.IFO cannot be read: VTS_01_0.IFO is a named pipe, not a file.");
    BSTR name = nullptr;
    ASSERT_EQ(info->GetTitleName(1, &name), S_OK);
    EXPECT_EQ(TakeString(name), "Title 2 (0:06)");
    EXPECT_EQ(info->SelectTitle(1), S_OK);
  });
  EXPECT_EQ(OpenDescriptors(), fds);
}

TEST_F(DvdInfoTest, IndexesOutOfRangeAreRefusedWithAReason) {
  HRESULT hr = E_FAIL;
  auto info = Open(SampleVideoTs(), &hr);
  ASSERT_EQ(hr, S_OK);
  INT v = 0;
  BSTR name = reinterpret_cast<BSTR>(0x1);
  double seconds = 0;

  // Before a title is selected, chapter and stream calls have nothing to refer to.
  EXPECT_LT(info->GetChapterCount(&v), 0);
  EXPECT_EQ(Error(info.get()), "No title is selected.");
  v = 99;
  EXPECT_LT(info->GetPictureWidth(&v), 0);
  EXPECT_EQ(v, 0) << "the dialog reads results without testing them";

  EXPECT_EQ(info->SelectTitle(3), E_INVALIDARG);
  EXPECT_EQ(Error(info.get()), "Title 4 does not exist; the disc has 3 titles.");
  EXPECT_EQ(info->SelectTitle(-1), E_INVALIDARG);
  EXPECT_EQ(info->GetTitleName(5, &name), E_INVALIDARG);
  EXPECT_EQ(name, nullptr) << "a failed call leaves no stale string";
  EXPECT_EQ(info->GetProgramChainCount(9, &v), E_INVALIDARG);

  ASSERT_EQ(info->SelectTitle(0), S_OK);
  EXPECT_EQ(info->SelectProgramChain(1), E_INVALIDARG);
  EXPECT_FALSE(Error(info.get()).empty());
  EXPECT_EQ(info->GetProgramChainName(1, &name), E_INVALIDARG);

  // Program chain -1 (a title without any) lists nothing rather than failing.
  ASSERT_EQ(info->SelectProgramChain(-1), S_OK);
  EXPECT_EQ(info->GetChapterCount(&v), S_OK);
  EXPECT_EQ(v, 0);
  EXPECT_EQ(info->GetAudioCount(&v), S_OK);
  EXPECT_EQ(v, 0);
  EXPECT_EQ(info->GetSubtitleCount(&v), S_OK);
  EXPECT_EQ(v, 0);

  ASSERT_EQ(info->SelectProgramChain(0), S_OK);
  v = 99;
  EXPECT_EQ(info->GetChapterStart(3, &v), E_INVALIDARG);
  EXPECT_EQ(v, 0);
  EXPECT_EQ(Error(info.get()), "Chapter 4 does not exist; the program chain has 3.");
  EXPECT_EQ(info->GetChapterEnd(-1, &v), E_INVALIDARG);
  EXPECT_EQ(info->GetChapterSeconds(99, &seconds), E_INVALIDARG);
  EXPECT_EQ(info->GetAudioName(2, &name), E_INVALIDARG);
  EXPECT_EQ(Error(info.get()), "Audio stream 3 does not exist; the program chain has 2.");
  EXPECT_EQ(info->GetSubtitleName(1, &name), E_INVALIDARG);
  EXPECT_EQ(info->GetChapterCount(nullptr), E_POINTER);
  EXPECT_FALSE(Error(info.get()).empty());
}

}  // namespace
