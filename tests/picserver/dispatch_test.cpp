#include <zentra/engine_dispatch.h>
#include <zentra/engine_picture.h>
#include <zentra/resize.h>
#include <zentra/server_builds.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string_view>
#include <vector>

using namespace zentra;

namespace {

TEST(EngineDispatch, FiftyThreeEntriesAndIndexOne) {
  EXPECT_EQ(kEngineOperationCount, 53);
  EXPECT_EQ(EngineDispatchIndex, 1);
}

TEST(EngineDispatch, OwnOperationsHaveOneBuildInTheCommonSlots) {
  for (int k = 0; k < kEngineSlotsCommon; ++k) {
    EXPECT_EQ(ResizePlaneTable.slot[k], &ResizePlane_C) << k;
    EXPECT_EQ(MoveBytesTable.slot[k], &MoveBytes_C) << k;
    EXPECT_EQ(ZeroBytesTable.slot[k], &ZeroBytes_C) << k;
    EXPECT_EQ(Dib24ToYuvPictureTable.slot[k], &Dib24ToYuvPicture_C) << k;
    EXPECT_EQ(Dib24ToYuvPictureFlippedTable.slot[k], &Dib24ToYuvPictureFlipped_C) << k;
    EXPECT_EQ(Dib32ToYuvPictureTable.slot[k], &Dib32ToYuvPicture_C) << k;
    EXPECT_EQ(DibToYuvPictureTable.slot[k], &DibToYuvPicture_C) << k;
    EXPECT_EQ(Dib24RowsToRgb32Table.slot[k], &Dib24RowsToRgb32_C) << k;
    EXPECT_EQ(Dib24RowsToRgb24Table.slot[k], &Dib24RowsToRgb24_C) << k;
    EXPECT_EQ(ResizeYuvPictureTable.slot[k], &ResizeYuvPicture_C) << k;
  }
}

// Only three operations have builds beyond the common slots, and
// ReconstructBlock8x8 has none in the last common slot.
TEST(EngineDispatch, SlotsBeyondTheLayoutHoldNull) {
  auto extraSlots = [](const auto& table) {
    int filled = 0;
    for (int k = kEngineSlotsCommon; k < kEngineSlotCount; ++k) filled += table.slot[k] != nullptr;
    return filled;
  };
  int unexpected = 0;
#define ZENTRA_CHECK_EXTRA(name, result, params, args)                               \
  if (std::string_view(#name) != "Fdct8x8" && std::string_view(#name) != "Idct8x8" && \
      std::string_view(#name) != "SsdBidir16x16")                                     \
    unexpected += extraSlots(name##Table);
  ZENTRA_ENGINE_OPERATIONS(ZENTRA_CHECK_EXTRA)
#undef ZENTRA_CHECK_EXTRA
  EXPECT_EQ(unexpected, 0);
  EXPECT_EQ(ReconstructBlock8x8Table.slot[kEngineSlotsCommon - 1], nullptr);
}

TEST(EngineDispatch, ResizePlaneRunsTheLinearResizeOfTheWholePlane) {
  std::mt19937 rng(11);
  std::vector<std::uint8_t> src(720 * 576);
  for (auto& b : src) b = static_cast<std::uint8_t>(rng());
  std::vector<std::uint8_t> viaEntry(352 * 288, 0), direct(352 * 288, 1);
  ASSERT_EQ(ResizePlane(src.data(), viaEntry.data(), 720, 576, 352, 288), StatusOk);
  ASSERT_EQ(ResizeImage(src.data(), {720, 576}, 720, {0, 0, 720, 576}, direct.data(), 352,
                        {352, 288}, 352.0 / 720.0, 0.5, 2),
            StatusOk);
  EXPECT_EQ(viaEntry, direct);
  // Its status comes back unchanged.
  EXPECT_EQ(ResizePlane(src.data(), viaEntry.data(), 0, 576, 352, 288), StatusSizeError);
  EXPECT_EQ(ResizePlane(nullptr, viaEntry.data(), 720, 576, 352, 288), StatusNullPointer);
}

TEST(EngineDispatch, ZeroBytesClearsExactlyTheLength) {
  std::vector<std::uint8_t> buf(12, 0xEE);
  EXPECT_EQ(ZeroBytes(buf.data() + 1, 7), 0);
  EXPECT_EQ(buf[0], 0xEE);
  for (int i = 1; i <= 7; ++i) EXPECT_EQ(buf[i], 0) << i;
  EXPECT_EQ(buf[8], 0xEE);
  std::vector<std::uint8_t> untouched(4, 0xEE);
  EXPECT_EQ(ZeroBytes(untouched.data(), 0), 0);
  EXPECT_EQ(untouched, std::vector<std::uint8_t>(4, 0xEE));
}

TEST(EngineDispatch, MoveBytesCopiesUpwardByteByByte) {
  std::vector<std::uint8_t> buf = {1, 2, 3, 4, 5, 6};
  MoveBytes(buf.data() + 1, buf.data(), 4);
  EXPECT_EQ(buf, (std::vector<std::uint8_t>{1, 1, 1, 1, 1, 6}));
  std::vector<std::uint8_t> a = {9, 8, 7}, b(3, 0);
  MoveBytes(b.data(), a.data(), 3);
  EXPECT_EQ(b, a);
}

}  // namespace
