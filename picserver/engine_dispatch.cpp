// Dispatch tables of the engine's kernel operations and the builds of the
// operations this subsystem owns. The kernels of the video-coding family fill
// their own slots; a slot without a build holds null and nothing calls it.
#include <zentra/engine_dispatch.h>
#include <zentra/engine_picture.h>
#include <zentra/resize.h>

#include <cstring>

namespace zentra {

std::int32_t EngineDispatchIndex = 1;

#define ZENTRA_EMPTY_TABLE(name) \
  const EngineDispatchTable<name##Build> name##Table = {{nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr}};
#define ZENTRA_SINGLE_BUILD_TABLE(name, build) \
  const EngineDispatchTable<name##Build> name##Table = {{&build, &build, &build, &build, &build, nullptr, nullptr, nullptr}};

ZENTRA_EMPTY_TABLE(Fdct8x8)
ZENTRA_EMPTY_TABLE(Idct8x8)
ZENTRA_EMPTY_TABLE(Sad16x16)
ZENTRA_EMPTY_TABLE(Sad16x16Limit)
ZENTRA_EMPTY_TABLE(Sad16x16HalfXY)
ZENTRA_EMPTY_TABLE(Sad16xNHalfXY)
ZENTRA_EMPTY_TABLE(Sad16xNLimit)
ZENTRA_EMPTY_TABLE(Sad16xN)
ZENTRA_EMPTY_TABLE(Sad16xNHalfX)
ZENTRA_EMPTY_TABLE(Sad16xNHalfY)
ZENTRA_EMPTY_TABLE(Sad16xNHalfPel)
ZENTRA_EMPTY_TABLE(ReconstructBlock8x8)
ZENTRA_EMPTY_TABLE(DiffBlock8x8)
ZENTRA_EMPTY_TABLE(GetBlock8x8)
ZENTRA_EMPTY_TABLE(PutBlock8x8)
ZENTRA_EMPTY_TABLE(Variance16x16)
ZENTRA_EMPTY_TABLE(Variance16xN)
ZENTRA_EMPTY_TABLE(Ssd16x16)
ZENTRA_EMPTY_TABLE(Ssd16xN)
ZENTRA_EMPTY_TABLE(SsdBidir16x16)
ZENTRA_EMPTY_TABLE(SsdBidir16xN)
ZENTRA_EMPTY_TABLE(QuantInvInterMpeg2)
ZENTRA_EMPTY_TABLE(QuantInvIntraMpeg1)
ZENTRA_EMPTY_TABLE(QuantInvIntraMpeg2)
ZENTRA_EMPTY_TABLE(Sad4x4)
ZENTRA_EMPTY_TABLE(Sad4x4Limit)
ZENTRA_EMPTY_TABLE(Predict8x8)
ZENTRA_EMPTY_TABLE(Predict16x16)
ZENTRA_EMPTY_TABLE(PredictBidir8x8)
ZENTRA_EMPTY_TABLE(PredictBidir16x16)
ZENTRA_EMPTY_TABLE(QuantInvIntraAcMpeg2)
ZENTRA_EMPTY_TABLE(QuantInvInterMpeg1)
ZENTRA_EMPTY_TABLE(QuantInterAnyNonZero)
ZENTRA_EMPTY_TABLE(QuantInterCount255)
ZENTRA_EMPTY_TABLE(QuantInterCount2047)
ZENTRA_EMPTY_TABLE(QuantWeightedFloat)
ZENTRA_EMPTY_TABLE(QuantIntraAc2047)
ZENTRA_EMPTY_TABLE(QuantIntraAc255)
ZENTRA_EMPTY_TABLE(QuantIntra)
ZENTRA_EMPTY_TABLE(DecimatedDeviation)
ZENTRA_EMPTY_TABLE(Decimate4x4)
ZENTRA_EMPTY_TABLE(PsychoAcousticFft)
ZENTRA_EMPTY_TABLE(MacroblockActivity)
ZENTRA_SINGLE_BUILD_TABLE(Dib24ToYuvPicture, Dib24ToYuvPicture_C)
ZENTRA_SINGLE_BUILD_TABLE(Dib24ToYuvPictureFlipped, Dib24ToYuvPictureFlipped_C)
ZENTRA_SINGLE_BUILD_TABLE(Dib32ToYuvPicture, Dib32ToYuvPicture_C)
ZENTRA_SINGLE_BUILD_TABLE(DibToYuvPicture, DibToYuvPicture_C)
ZENTRA_SINGLE_BUILD_TABLE(Dib24RowsToRgb32, Dib24RowsToRgb32_C)
ZENTRA_SINGLE_BUILD_TABLE(Dib24RowsToRgb24, Dib24RowsToRgb24_C)
ZENTRA_SINGLE_BUILD_TABLE(ResizeYuvPicture, ResizeYuvPicture_C)
ZENTRA_SINGLE_BUILD_TABLE(ResizePlane, ResizePlane_C)
ZENTRA_SINGLE_BUILD_TABLE(MoveBytes, MoveBytes_C)
ZENTRA_SINGLE_BUILD_TABLE(ZeroBytes, ZeroBytes_C)

#undef ZENTRA_EMPTY_TABLE
#undef ZENTRA_SINGLE_BUILD_TABLE

PrimitiveStatus ResizePlaneLinear(const std::uint8_t* src, std::uint8_t* dst,
                                  std::int32_t srcWidth, std::int32_t srcHeight,
                                  std::int32_t dstWidth, std::int32_t dstHeight) {
  return ResizeImage(src, {srcWidth, srcHeight}, srcWidth, {0, 0, srcWidth, srcHeight}, dst,
                     dstWidth, {dstWidth, dstHeight},
                     static_cast<double>(dstWidth) / static_cast<double>(srcWidth),
                     static_cast<double>(dstHeight) / static_cast<double>(srcHeight),
                     InterpolationLinear);
}

PrimitiveStatus ResizePlane_C(const std::uint8_t* src, std::uint8_t* dst, std::int32_t srcWidth,
                              std::int32_t srcHeight, std::int32_t dstWidth,
                              std::int32_t dstHeight) {
  return ResizePlaneLinear(src, dst, srcWidth, srcHeight, dstWidth, dstHeight);
}

// Byte by byte from the lowest address up: an overlapping destination above the
// source repeats the bytes already copied, which callers rely on.
void MoveBytes_C(void* dst, const void* src, std::int32_t length) {
  auto* d = static_cast<std::uint8_t*>(dst);
  const auto* s = static_cast<const std::uint8_t*>(src);
  for (std::int32_t i = 0; i < length; ++i) d[i] = s[i];
}

std::int32_t ZeroBytes_C(void* dst, std::int32_t length) {
  auto* d = static_cast<std::uint8_t*>(dst);
  const std::int32_t words = length / 4;
  const std::uint32_t zero = 0;
  for (std::int32_t i = 0; i < words; ++i) std::memcpy(d + 4 * i, &zero, 4);
  for (std::int32_t i = 4 * words; i < length; ++i) d[i] = 0;
  return 0;
}

}  // namespace zentra
