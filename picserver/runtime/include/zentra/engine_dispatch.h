// Kernel operations of the video engine. Each operation is entered through a
// dispatch entry that runs the build in slot EngineDispatchIndex of the
// operation's EngineDispatchTable; the index is 1 from load on.
#pragma once

#include <zentra/primitive_runtime.h>

#include <cstdint>

namespace zentra {

struct BitmapInfoHeader;

// A planar picture of the engine's picture helpers (format 1 = YUV 4:2:0).
struct YuvPicture {
  std::int32_t width;
  std::int32_t height;
  std::int32_t format;
  std::uint8_t* y;
  std::uint8_t* u;
  std::uint8_t* v;
};

extern std::int32_t EngineDispatchIndex;

// Slots of an engine table. Slot 1 is the one EngineDispatchIndex selects; slots
// 0 to 4 hold a build in every table, 5 to 7 only where an operation has more.
enum EngineSlot : std::int32_t {
  kEngineSlotRunning = 1,
  kEngineSlotsCommon = 5,
  kEngineSlotCount = 8,
};

template <typename Build>
struct EngineDispatchTable {
  Build slot[kEngineSlotCount];
};

// Defines an operation's table beside its builds, slot 0 first; slots not given
// hold null. `ZENTRA_ENGINE_TABLE(Sad4x4, Sad4x4_C, Sad4x4_MmxExt, ...)`.
#define ZENTRA_ENGINE_TABLE(name, ...) \
  const EngineDispatchTable<name##Build> name##Table = {{__VA_ARGS__}}
// An operation with one build, in slots 0 to 4.
#define ZENTRA_ENGINE_TABLE_ONE_BUILD(name, build) \
  ZENTRA_ENGINE_TABLE(name, &build, &build, &build, &build, &build)
// An operation whose builds are still to come: every slot null, nothing calls it.
#define ZENTRA_ENGINE_TABLE_EMPTY(name) ZENTRA_ENGINE_TABLE(name, nullptr)

// Every operation as (name, result, parameters, arguments), in table order.
// 8-bit blocks are a pointer plus one row step in bytes shared by all operands.
#define ZENTRA_ENGINE_OPERATIONS(X)                                                                 \
  X(Fdct8x8, PrimitiveStatus, (std::int16_t * block), (block))                                     \
  X(Idct8x8, PrimitiveStatus, (std::int16_t * block), (block))                                     \
  X(Sad16x16, std::int32_t, (const std::uint8_t* ref, const std::uint8_t* cur, std::int32_t step), \
    (ref, cur, step))                                                                              \
  X(Sad16x16Limit, std::int32_t,                                                                   \
    (const std::uint8_t* ref, const std::uint8_t* cur, std::int32_t step, std::int32_t limit),     \
    (ref, cur, step, limit))                                                                       \
  X(Sad16x16HalfXY, std::int32_t,                                                                  \
    (const std::uint8_t* ref, const std::uint8_t* cur, std::int32_t step), (ref, cur, step))       \
  X(Sad16xNHalfXY, std::int32_t,                                                                   \
    (const std::uint8_t* ref, const std::uint8_t* cur, std::int32_t step, std::int32_t rows),      \
    (ref, cur, step, rows))                                                                        \
  X(Sad16xNLimit, std::int32_t,                                                                    \
    (const std::uint8_t* ref, const std::uint8_t* cur, std::int32_t step, std::int32_t rows,       \
     std::int32_t limit),                                                                          \
    (ref, cur, step, rows, limit))                                                                 \
  X(Sad16xN, std::int32_t,                                                                         \
    (const std::uint8_t* ref, const std::uint8_t* cur, std::int32_t step, std::int32_t rows),      \
    (ref, cur, step, rows))                                                                        \
  X(Sad16xNHalfX, std::int32_t,                                                                    \
    (const std::uint8_t* ref, const std::uint8_t* cur, std::int32_t step, std::int32_t rows),      \
    (ref, cur, step, rows))                                                                        \
  X(Sad16xNHalfY, std::int32_t,                                                                    \
    (const std::uint8_t* ref, const std::uint8_t* cur, std::int32_t step, std::int32_t rows),      \
    (ref, cur, step, rows))                                                                        \
  X(Sad16xNHalfPel, std::int32_t,                                                                  \
    (const std::uint8_t* ref, const std::uint8_t* cur, std::int32_t step, std::int32_t rows,       \
     std::int32_t mode),                                                                           \
    (ref, cur, step, rows, mode))                                                                  \
  X(ReconstructBlock8x8, void,                                                                     \
    (const std::uint8_t* pred, std::uint8_t* dst, std::int32_t step, const std::int16_t* residual),\
    (pred, dst, step, residual))                                                                   \
  X(DiffBlock8x8, void,                                                                            \
    (const std::uint8_t* pred, const std::uint8_t* cur, std::int32_t step, std::int16_t* diff),    \
    (pred, cur, step, diff))                                                                       \
  X(GetBlock8x8, void, (const std::uint8_t* src, std::int32_t step, std::int16_t* dst),            \
    (src, step, dst))                                                                              \
  X(PutBlock8x8, void, (std::uint8_t * dst, std::int32_t step, const std::int16_t* src),           \
    (dst, step, src))                                                                              \
  X(Variance16x16, std::int32_t, (const std::uint8_t* src, std::int32_t step), (src, step))        \
  X(Variance16xN, std::int32_t, (const std::uint8_t* src, std::int32_t step, std::int32_t rows),   \
    (src, step, rows))                                                                             \
  X(Ssd16x16, std::int32_t,                                                                        \
    (const std::uint8_t* ref, const std::uint8_t* cur, std::int32_t step, std::int32_t mode),      \
    (ref, cur, step, mode))                                                                        \
  X(Ssd16xN, std::int32_t,                                                                         \
    (const std::uint8_t* ref, const std::uint8_t* cur, std::int32_t step, std::int32_t rows,       \
     std::int32_t mode),                                                                           \
    (ref, cur, step, rows, mode))                                                                  \
  X(SsdBidir16x16, std::int32_t,                                                                   \
    (const std::uint8_t* fwdRef, const std::uint8_t* bwdRef, const std::uint8_t* cur,              \
     std::int32_t step, std::int32_t fwdMode, std::int32_t bwdMode),                               \
    (fwdRef, bwdRef, cur, step, fwdMode, bwdMode))                                                 \
  X(SsdBidir16xN, std::int32_t,                                                                    \
    (const std::uint8_t* fwdRef, const std::uint8_t* bwdRef, const std::uint8_t* cur,              \
     std::int32_t step, std::int32_t rows, std::int32_t fwdMode, std::int32_t bwdMode),            \
    (fwdRef, bwdRef, cur, step, rows, fwdMode, bwdMode))                                           \
  X(QuantInvInterMpeg2, void, (std::int16_t * block, std::int32_t q), (block, q))                  \
  X(QuantInvIntraMpeg1, void, (std::int16_t * block, std::int32_t q), (block, q))                  \
  X(QuantInvIntraMpeg2, void,                                                                      \
    (std::int16_t * block, std::int32_t dcPrecision, const std::int16_t* matrix, std::int32_t q),  \
    (block, dcPrecision, matrix, q))                                                               \
  X(Sad4x4, std::int32_t, (const std::uint8_t* ref, const std::uint8_t* cur, std::int32_t step),   \
    (ref, cur, step))                                                                              \
  X(Sad4x4Limit, std::int32_t,                                                                     \
    (const std::uint8_t* ref, const std::uint8_t* cur, std::int32_t step, std::int32_t limit),     \
    (ref, cur, step, limit))                                                                       \
  X(Predict8x8, void,                                                                              \
    (const std::uint8_t* ref, std::uint8_t* dst, std::int32_t step, std::int32_t mode),            \
    (ref, dst, step, mode))                                                                        \
  X(Predict16x16, void,                                                                            \
    (const std::uint8_t* ref, std::uint8_t* dst, std::int32_t step, std::int32_t mode),            \
    (ref, dst, step, mode))                                                                        \
  X(PredictBidir8x8, void,                                                                         \
    (const std::uint8_t* fwdRef, const std::uint8_t* bwdRef, std::uint8_t* dst, std::int32_t step, \
     std::int32_t fwdMode, std::int32_t bwdMode),                                                  \
    (fwdRef, bwdRef, dst, step, fwdMode, bwdMode))                                                 \
  X(PredictBidir16x16, void,                                                                       \
    (const std::uint8_t* fwdRef, const std::uint8_t* bwdRef, std::uint8_t* dst, std::int32_t step, \
     std::int32_t fwdMode, std::int32_t bwdMode),                                                  \
    (fwdRef, bwdRef, dst, step, fwdMode, bwdMode))                                                 \
  X(QuantInvIntraAcMpeg2, PrimitiveStatus, (std::int16_t * block, std::int32_t q), (block, q))     \
  X(QuantInvInterMpeg1, void, (std::int16_t * block, std::int32_t q), (block, q))                  \
  X(QuantInterAnyNonZero, std::int32_t, (std::int16_t * block, std::int32_t q), (block, q))        \
  X(QuantInterCount255, void,                                                                      \
    (std::int16_t * block, std::int32_t q, const std::int16_t* matrix, std::int32_t* count),       \
    (block, q, matrix, count))                                                                     \
  X(QuantInterCount2047, void,                                                                     \
    (std::int16_t * block, std::int32_t q, const std::int16_t* matrix, std::int32_t* count),       \
    (block, q, matrix, count))                                                                     \
  X(QuantWeightedFloat, void,                                                                      \
    (std::int16_t * block, std::int32_t q, const float* weights, std::int32_t* count),             \
    (block, q, weights, count))                                                                    \
  X(QuantIntraAc2047, void, (std::int16_t * block, std::int32_t q), (block, q))                    \
  X(QuantIntraAc255, void, (std::int16_t * block, std::int32_t q), (block, q))                     \
  X(QuantIntra, void,                                                                              \
    (std::int16_t * block, std::int32_t dcPrecision, const std::int16_t* matrix, std::int32_t q),  \
    (block, dcPrecision, matrix, q))                                                               \
  X(DecimatedDeviation, std::int32_t,                                                              \
    (const std::uint8_t* src, std::uint8_t* buf, std::int32_t w, std::int32_t h),                  \
    (src, buf, w, h))                                                                              \
  X(Decimate4x4, std::int32_t,                                                                     \
    (const std::uint8_t* src, std::uint8_t* dst, std::int32_t w, std::int32_t h), (src, dst, w, h))\
  X(PsychoAcousticFft, void, (double* x, double* energy, double* phase), (x, energy, phase))       \
  X(MacroblockActivity, std::int32_t,                                                              \
    (const std::uint32_t* p, std::int32_t step, std::int32_t lowerOffset), (p, step, lowerOffset)) \
  X(Dib24ToYuvPicture, PrimitiveStatus, (const std::uint8_t* pixels, YuvPicture* picture),         \
    (pixels, picture))                                                                             \
  X(Dib24ToYuvPictureFlipped, void, (const std::uint8_t* pixels, YuvPicture* picture),             \
    (pixels, picture))                                                                             \
  X(Dib32ToYuvPicture, PrimitiveStatus, (const std::uint8_t* pixels, YuvPicture* picture),         \
    (pixels, picture))                                                                             \
  X(DibToYuvPicture, std::int32_t,                                                                 \
    (const BitmapInfoHeader* header, const std::uint8_t* pixels, YuvPicture* picture),             \
    (header, pixels, picture))                                                                     \
  X(Dib24RowsToRgb32, void,                                                                        \
    (std::int32_t width, std::int32_t height, const std::uint8_t* src, std::uint8_t* dst),         \
    (width, height, src, dst))                                                                     \
  X(Dib24RowsToRgb24, void,                                                                        \
    (std::int32_t width, std::int32_t height, const std::uint8_t* src, std::uint8_t* dst),         \
    (width, height, src, dst))                                                                     \
  X(ResizeYuvPicture, PrimitiveStatus, (const YuvPicture* src, YuvPicture* dst), (src, dst))       \
  X(ResizePlane, PrimitiveStatus,                                                                  \
    (const std::uint8_t* src, std::uint8_t* dst, std::int32_t srcWidth, std::int32_t srcHeight,    \
     std::int32_t dstWidth, std::int32_t dstHeight),                                               \
    (src, dst, srcWidth, srcHeight, dstWidth, dstHeight))                                          \
  X(MoveBytes, void, (void* dst, const void* src, std::int32_t length), (dst, src, length))        \
  X(ZeroBytes, std::int32_t, (void* dst, std::int32_t length), (dst, length))

#define ZENTRA_DECLARE_ENGINE_OPERATION(name, result, params, args) \
  using name##Build = result(*) params;                             \
  extern const EngineDispatchTable<name##Build> name##Table;        \
  inline result name params { return name##Table.slot[EngineDispatchIndex] args; }
ZENTRA_ENGINE_OPERATIONS(ZENTRA_DECLARE_ENGINE_OPERATION)
#undef ZENTRA_DECLARE_ENGINE_OPERATION

// Number of engine operations.
#define ZENTRA_COUNT_ONE(name, result, params, args) +1
inline constexpr int kEngineOperationCount = 0 ZENTRA_ENGINE_OPERATIONS(ZENTRA_COUNT_ONE);
#undef ZENTRA_COUNT_ONE

}  // namespace zentra
