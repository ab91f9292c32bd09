// The library's objects linked into this test: its load routine runs when the
// test starts, exactly as it runs when the library is loaded.
#include <zentra/fft_primitives.h>
#include <zentra/primitive_runtime.h>
#include <zentra/timing_report.h>
#include <zentra/video_primitives.h>

#include <com/server.h>
#include <support/clipboard.h>
#include <win32/clipboard.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

using namespace zentra;

namespace {

TEST(LibraryLoad, ThirteenRecordsInReverseLoadOrder) {
  const std::vector<std::string> expected = {
      "ippiFFTFree_C_32fc", "ippiFFTInitAlloc_C_32fc", "ippiFFTInv_CToC_32fc_C1R",
      "ippiMC8x8B_8u_C1", "ippiMC16x16B_8u_C1", "ippiQuantInvIntra_MPEG2_16s_C1I",
      "ippiQuantInv_MPEG2_16s_C1I", "ippiSqrDiff16x16B_8u32s", "ippiGetDiff8x8_8u16s_C1",
      "ippiSAD16x16_8u32s", "ippsFFTFree_C_64f", "ippsFFTInitAlloc_C_64f", "ippsFFTInv_CToC_64f"};
  std::vector<std::string> names;
  for (DispatchRecord* r = DispatchRecordList; r != nullptr && names.size() < 20; r = r->next) {
    names.emplace_back(r->name);
    EXPECT_EQ(r->kind, 0x73);
    EXPECT_EQ(r->kindWord, &r->kind);
    EXPECT_EQ(r->nameText, r->name);
    EXPECT_NE(r->buildTable, nullptr);
  }
  EXPECT_EQ(names, expected);
  EXPECT_TRUE(qcom::Module().IsInitialized());
}

// Slots 0 and 5 of every build table stay null; builds 1 to 4 fill the others.
TEST(LibraryLoad, BuildTablesBeginAndEndWithNull) {
  auto edgesNull = [](const auto& table) { return table.slot[0] == nullptr && table.slot[5] == nullptr; };
  EXPECT_TRUE(edgesNull(VideoPrimitives.sad16x16Builds));
  EXPECT_TRUE(edgesNull(VideoPrimitives.sqrDiff16x16BBuilds));
  EXPECT_TRUE(edgesNull(FftImagePrimitives.freeBuilds));
  EXPECT_EQ(FftDoublePrimitives.invRecord.buildTable, &FftDoublePrimitives.invBuilds);
  EXPECT_EQ(std::memcmp(VideoPrimitives.before.text, "DUDUrarozo", 10), 0);
  EXPECT_EQ(std::memcmp(FftImagePrimitives.before.text, "DUDUrarozo", 10), 0);
  EXPECT_EQ(CpuDispatchIndex, 1);
}

ProfileTimerRecord* NewRecord(const char* name, std::int32_t count, std::int64_t total, std::int32_t min) {
  auto* r = new ProfileTimerRecord{};
  std::strncpy(r->name, name, sizeof r->name - 1);
  r->count = count;
  r->total = total;
  r->min = min;
  return r;
}

using quill_test::ClipboardText;

void SetClipboardText(const std::string& text) { ASSERT_TRUE(quill_test::SetClipboardText(text)); }

TEST(TimingReport, LineFormat) {
  ProfileTimerRecord r{};
  std::strcpy(r.name, "x");
  r.count = 4;
  r.total = 1000;
  r.min = 200;
  EXPECT_EQ(FormatProfileLine(r), "Count=        4, total=       1000, each=   250, min=   200 x\n");
}

TEST(TimingReport, AppendsToTheClipboardWithoutLimits) {
  // Far beyond the old fixed buffers: long clipboard text and every record slot used.
  const std::string old(100000, 'o');
  SetClipboardText(old);
  std::string expected = old;
  const std::string longName(87, 'n');
  for (int i = 0; i < ProfileStore::kCapacity; ++i) {
    ProfileRecords.records[i] = NewRecord(longName.c_str(), i + 1, 1000000000LL * (i + 1), i);
    expected += FormatProfileLine(*ProfileRecords.records[i]);
  }
  ProfileRecords.count = ProfileStore::kCapacity;
  ProfileReport();
  EXPECT_EQ(ClipboardText(), expected);
  for (auto* r : ProfileRecords.records) EXPECT_EQ(r, nullptr);
  // A second report finds nothing left and does not touch the clipboard.
  SetClipboardText("after");
  ProfileReport();
  EXPECT_EQ(ClipboardText(), "after");
}

TEST(TimingReport, ClipboardThatCannotBeOpenedStaysUnchanged) {
  SetClipboardText("kept");
  bool holding = false, release = false;
  std::mutex m;
  std::condition_variable cv;
  std::thread holder([&] {
    OpenClipboard(nullptr);
    std::unique_lock lock(m);
    holding = true;
    cv.notify_all();
    cv.wait(lock, [&] { return release; });
    CloseClipboard();
  });
  {
    std::unique_lock lock(m);
    cv.wait(lock, [&] { return holding; });
  }
  EXPECT_EQ(AppendClipboardText("lost"), 0);
  {
    std::lock_guard lock(m);
    release = true;
  }
  cv.notify_all();
  holder.join();
  EXPECT_EQ(ClipboardText(), "kept");
}

}  // namespace
