#include <zentra/engine_dispatch.h>
#include <zentra/engine_picture.h>
#include <zentra/resize.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

using namespace zentra;

namespace {

TEST(EngineDispatch, FiftyThreeEntriesAndIndexOne) {
  EXPECT_EQ(kEngineOperationCount, 53);
  EXPECT_EQ(EngineDispatchIndex, 1);
}

TEST(EngineDispatch, OwnOperationsHaveOneBuildInSlotsZeroToFour) {
  for (int k = 0; k < 5; ++k) {
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
  for (int k = 5; k < 8; ++k) EXPECT_EQ(ResizePlaneTable.slot[k], nullptr) << k;
}

TEST(EngineDispatch, KernelOperationsWithoutBuildsHoldNull) {
  int empty = 0;
#define ZENTRA_COUNT_EMPTY(name, result, params, args) \
  for (auto b : name##Table.slot) empty += b == nullptr ? 1 : 0;
  ZENTRA_ENGINE_OPERATIONS(ZENTRA_COUNT_EMPTY)
#undef ZENTRA_COUNT_EMPTY
  // 43 operations without builds (8 slots each) and ten with slots 5-7 empty.
  EXPECT_EQ(empty, 43 * 8 + 10 * 3);
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
