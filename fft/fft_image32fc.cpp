// The image transform: every row by the 1-D engine from source to
// destination, then the destination's columns gathered into the work buffer a
// group at a time, transformed there and written back.
#include <zentra/fft_primitives.h>
#include <zentra/fft_spec32fc.h>

#include <xmmintrin.h>

#include <cstring>
#include <limits>

namespace zentra {

namespace {

using InitSpec = PrimitiveStatus (*)(FftSpec32fc** pSpec, std::int32_t order, std::int32_t flag,
                                     std::int32_t hint);
using Inverse1D = PrimitiveStatus (*)(const float* src, float* dst, const FftSpec32fc* record,
                                      std::uint8_t* buffer);

void ReleaseFftSpec2D32fc(FftSpec2D32fc* record) {
  if (record == nullptr) return;
  record->contextId = 0;
  for (FftSpec32fc* reserved : record->reservedSpec)
    if (reserved != nullptr) FftReservedSpecFree32fc(reserved);
  if (record->rowSpec != nullptr) FftSpecFree32fc(record->rowSpec);
  if (record->columnSpec != nullptr) FftSpecFree32fc(record->columnSpec);
  FreeAligned(record);
}

PrimitiveStatus InitAlloc(InitSpec initSpec, FftSpec2D32fc** pSpec, std::int32_t orderX, std::int32_t orderY,
                          std::int32_t flag, std::int32_t hint) {
  if (pSpec == nullptr) return StatusNullPointer;
  if (orderX < 0 || orderX > FftMaxOrder || orderY < 0 || orderY > FftMaxOrder) return StatusFftOrderError;
  auto* record = static_cast<FftSpec2D32fc*>(AllocAligned(sizeof(FftSpec2D32fc)));
  if (record == nullptr) return StatusNoMemory;
  std::memset(record, 0, sizeof *record);
  record->contextId = FftSpec2D32fcKind;
  record->orderX = orderX;
  record->orderY = orderY;
  record->hint = hint;
  // The column vectors alone (64 * H bytes) may not fit a 32-bit count: such
  // an image is refused before its 1-D records take up to a gigabyte of
  // tables. A bad flag is still reported first, as the row record would.
  const bool knownFlag = flag == FftNoScaling || flag == FftDivBySqrtN || flag == FftDivForwardByN ||
                         flag == FftDivInverseByN;
  if (knownFlag && (std::int64_t{64} << orderY) + 16 > std::numeric_limits<std::int32_t>::max()) {
    ReleaseFftSpec2D32fc(record);
    return StatusNoMemory;
  }
  PrimitiveStatus status = initSpec(&record->rowSpec, orderX, flag, hint);
  if (status != StatusOk) {
    ReleaseFftSpec2D32fc(record);
    return status;
  }
  std::int32_t rowBytes = 0, columnBytes = 0;
  FftGetBufSize32fc(record->rowSpec, &rowBytes);
  columnBytes = rowBytes;
  if (orderX != orderY) {
    status = initSpec(&record->columnSpec, orderY, flag, hint);
    if (status != StatusOk) {
      ReleaseFftSpec2D32fc(record);
      return status;
    }
    FftGetBufSize32fc(record->columnSpec, &columnBytes);
  }
  // 64 * H bytes of column vectors, then the 1-D work area, plus the room for
  // the 16-byte advance. Computed wide: a size the 32-bit byte counts
  // cannot hold is refused rather than wrapped to a buffer too small.
  const std::int64_t columnArea = std::int64_t{columnBytes} + (std::int64_t{64} << orderY);
  const std::int64_t work = (columnArea > rowBytes ? columnArea : rowBytes) + 16;
  if (work > std::numeric_limits<std::int32_t>::max()) {
    ReleaseFftSpec2D32fc(record);
    return StatusNoMemory;
  }
  record->workBytes = static_cast<std::uint32_t>(work);
  *pSpec = record;
  return StatusOk;
}

PrimitiveStatus Free(FftSpec2D32fc* record) {
  if (record == nullptr) return StatusNullPointer;
  if (record->contextId != FftSpec2D32fcKind) return StatusContextMismatch;
  ReleaseFftSpec2D32fc(record);
  return StatusOk;
}

const Complex32fc* RowOf(const Complex32fc* image, std::int32_t step, std::int64_t r) {
  return reinterpret_cast<const Complex32fc*>(reinterpret_cast<const std::uint8_t*>(image) + r * step);
}
Complex32fc* RowOf(Complex32fc* image, std::int32_t step, std::int64_t r) {
  return reinterpret_cast<Complex32fc*>(reinterpret_cast<std::uint8_t*>(image) + r * step);
}

// Asks for the next row while the current one is transformed: a row step of
// a few kilobytes puts every row on its own page, where the processor's own
// prefetcher does not follow.
void PrefetchRow(const Complex32fc* from, const Complex32fc* to, std::int64_t width) {
  const auto* source = reinterpret_cast<const char*>(from);
  const auto* target = reinterpret_cast<const char*>(to);
  for (std::int64_t offset = 0; offset < 8 * width; offset += 64) {
    __builtin_prefetch(source + offset, 0, 3);
    __builtin_prefetch(target + offset, 1, 3);
  }
}

// The one column of a one-column image into a contiguous vector, and back.
void Gather(const Complex32fc* image, std::int32_t step, std::int64_t rows, Complex32fc* column) {
  for (std::int64_t r = 0; r < rows; ++r) std::memcpy(&column[r], RowOf(image, step, r), sizeof(Complex32fc));
}
void Scatter(const Complex32fc* column, std::int64_t rows, Complex32fc* image, std::int32_t step) {
  for (std::int64_t r = 0; r < rows; ++r) std::memcpy(RowOf(image, step, r), &column[r], sizeof(Complex32fc));
}

// Groups of two, four or eight columns move two rows at a time: each pair of
// values of the two rows becomes one 16-byte pair in each of two column
// vectors. Plain moves, so every bit passes unchanged. The vectors are 16-byte
// aligned and the row count is even; image rows may lie at any address.
float* At(Complex32fc* image, std::int32_t step, std::int64_t r, std::int64_t column) {
  return reinterpret_cast<float*>(RowOf(image, step, r) + column);
}
template <int Count>
inline void GatherPair(const float* a, const float* b, float* vectors, std::int64_t rows, std::int64_t r) {
  for (int q = 0; q < Count / 2; ++q) {
    const __m128 x = _mm_loadu_ps(a + 4 * q), y = _mm_loadu_ps(b + 4 * q);
    _mm_store_ps(vectors + 2 * (2 * q * rows + r), _mm_movelh_ps(x, y));
    _mm_store_ps(vectors + 2 * ((2 * q + 1) * rows + r), _mm_movehl_ps(y, x));
  }
}
template <int Count>
inline void ScatterPair(const float* vectors, std::int64_t rows, std::int64_t r, float* a, float* b) {
  for (int q = 0; q < Count / 2; ++q) {
    const __m128 u = _mm_load_ps(vectors + 2 * (2 * q * rows + r));
    const __m128 v = _mm_load_ps(vectors + 2 * ((2 * q + 1) * rows + r));
    _mm_storeu_ps(a + 4 * q, _mm_movelh_ps(u, v));
    _mm_storeu_ps(b + 4 * q, _mm_movehl_ps(v, u));
  }
}

template <int Count>
void GatherColumns(Complex32fc* image, std::int32_t step, std::int64_t rows, std::int64_t first, float* vectors) {
  for (std::int64_t r = 0; r < rows; r += 2)
    GatherPair<Count>(At(image, step, r, first), At(image, step, r + 1, first), vectors, rows, r);
}
template <int Count>
void ScatterColumns(const float* vectors, std::int64_t rows, std::int64_t first, Complex32fc* image,
                    std::int32_t step) {
  for (std::int64_t r = 0; r < rows; r += 2)
    ScatterPair<Count>(vectors, rows, r, At(image, step, r, first), At(image, step, r + 1, first));
}
// Puts back the group at `first` and takes the next one in the same walk down
// the image: with a power-of-two step a walk's rows crowd into a few cache
// sets, so a separate walk for each would fetch every line once more.
template <int Count>
void ScatterGatherColumns(float* vectors, std::int64_t rows, std::int64_t first, Complex32fc* image,
                          std::int32_t step) {
  for (std::int64_t r = 0; r < rows; r += 2) {
    float* a = At(image, step, r, first);
    float* b = At(image, step, r + 1, first);
    ScatterPair<Count>(vectors, rows, r, a, b);
    GatherPair<Count>(a + 2 * Count, b + 2 * Count, vectors, rows, r);
  }
}

// The column pass of an image at least two wide, `Count` columns per group.
template <int Count, typename Run>
PrimitiveStatus ColumnGroups(Complex32fc* image, std::int32_t step, std::int64_t width, std::int64_t rows,
                             std::uint8_t* work, const Run& run) {
  auto* vectors = reinterpret_cast<float*>(work);
  std::uint8_t* area = work + 8 * Count * rows;
  GatherColumns<Count>(image, step, rows, 0, vectors);
  for (std::int64_t first = 0; first < width; first += Count) {
    for (int k = 0; k < Count; ++k) {
      float* column = vectors + 2 * k * rows;
      const PrimitiveStatus status = run(column, area);
      if (status != StatusOk) return status;
    }
    if (first + Count < width) ScatterGatherColumns<Count>(vectors, rows, first, image, step);
    else ScatterColumns<Count>(vectors, rows, first, image, step);
  }
  return StatusOk;
}

PrimitiveStatus Transform(Inverse1D inverse, const Complex32fc* src, std::int32_t srcStep, Complex32fc* dst,
                          std::int32_t dstStep, const FftSpec2D32fc* record, std::uint8_t* work) {
  const std::int64_t width = std::int64_t{1} << record->orderX, height = std::int64_t{1} << record->orderY;
  const FftSpec32fc* columnSpec = record->columnSpec != nullptr ? record->columnSpec : record->rowSpec;
  auto* columns = reinterpret_cast<Complex32fc*>(work);
  auto run = [&](const Complex32fc* from, Complex32fc* to, const FftSpec32fc* s, std::uint8_t* area) {
    return inverse(reinterpret_cast<const float*>(from), reinterpret_cast<float*>(to), s, area);
  };
  if (height == 1) return run(src, dst, record->rowSpec, work);
  if (width == 1) {
    if (srcStep == 8 && dstStep == 8) return run(src, dst, columnSpec, work);
    Gather(src, srcStep, height, columns);
    const PrimitiveStatus status = run(columns, columns, columnSpec, work + 8 * height);
    if (status == StatusOk) Scatter(columns, height, dst, dstStep);
    return status;
  }
  for (std::int64_t r = 0; r < height; ++r) {
    if (r + 1 < height) PrefetchRow(RowOf(src, srcStep, r + 1), RowOf(dst, dstStep, r + 1), width);
    const PrimitiveStatus status = run(RowOf(src, srcStep, r), RowOf(dst, dstStep, r), record->rowSpec, work);
    if (status != StatusOk) return status;
  }
  auto columnRun = [&](float* column, std::uint8_t* area) { return inverse(column, column, columnSpec, area); };
  // The record's size keeps 64 * H bytes before the 1-D work area: room for
  // eight column vectors, so a wide image's rows are walked once per eight
  // columns, one 64-byte line of each row.
  if (width == 2) return ColumnGroups<2>(dst, dstStep, width, height, work, columnRun);
  if (width == 4) return ColumnGroups<4>(dst, dstStep, width, height, work, columnRun);
  return ColumnGroups<8>(dst, dstStep, width, height, work, columnRun);
}

PrimitiveStatus Inverse(Inverse1D inverse, const Complex32fc* src, std::int32_t srcStep, Complex32fc* dst,
                        std::int32_t dstStep, const FftSpec2D32fc* record, std::uint8_t* buffer) {
  if (record == nullptr) return StatusNullPointer;
  if (record->contextId != FftSpec2D32fcKind) return StatusContextMismatch;
  if (src == nullptr || dst == nullptr) return StatusNullPointer;
  if (srcStep <= 0 || dstStep <= 0) return StatusStepError;
  std::uint8_t* work = nullptr;
  void* allocated = nullptr;
  if (buffer != nullptr) {
    work = buffer + ((-reinterpret_cast<std::uintptr_t>(buffer)) & 15u);
  } else {
    work = static_cast<std::uint8_t*>(allocated = AllocAligned(static_cast<std::int32_t>(record->workBytes)));
    if (work == nullptr) return StatusNoMemory;
  }
  const PrimitiveStatus status = Transform(inverse, src, srcStep, dst, dstStep, record, work);
  FreeAligned(allocated);
  return status;
}

}  // namespace

#define ZENTRA_IMAGE_BUILD(k)                                                                             \
  PrimitiveStatus ippiFFTInitAlloc_C_32fc_V##k(FftSpec2D32fc** pSpec, std::int32_t orderX,               \
                                               std::int32_t orderY, std::int32_t flag, std::int32_t hint) { \
    return InitAlloc(&FftInitSpec32fc_V##k, pSpec, orderX, orderY, flag, hint);                          \
  }                                                                                                       \
  PrimitiveStatus ippiFFTInv_CToC_32fc_C1R_V##k(const Complex32fc* src, std::int32_t srcStep,            \
                                                Complex32fc* dst, std::int32_t dstStep,                   \
                                                const FftSpec2D32fc* record, std::uint8_t* buffer) {       \
    return Inverse(&FftInv1D32fc_V##k, src, srcStep, dst, dstStep, record, buffer);                        \
  }                                                                                                       \
  PrimitiveStatus ippiFFTFree_C_32fc_V##k(FftSpec2D32fc* record) { return Free(record); }

ZENTRA_IMAGE_BUILD(1)
ZENTRA_IMAGE_BUILD(2)
ZENTRA_IMAGE_BUILD(3)
ZENTRA_IMAGE_BUILD(4)
#undef ZENTRA_IMAGE_BUILD

PrimitiveStatus ippiFFTInitAlloc_C_32fc(FftSpec2D32fc** pSpec, std::int32_t orderX, std::int32_t orderY,
                                        std::int32_t flag, std::int32_t hint) {
  return CallSelectedBuild(FftImagePrimitives.initAllocBuilds, pSpec, orderX, orderY, flag, hint);
}
PrimitiveStatus ippiFFTInv_CToC_32fc_C1R(const Complex32fc* src, std::int32_t srcStep, Complex32fc* dst,
                                         std::int32_t dstStep, const FftSpec2D32fc* record,
                                         std::uint8_t* buffer) {
  return CallSelectedBuild(FftImagePrimitives.invBuilds, src, srcStep, dst, dstStep, record, buffer);
}
PrimitiveStatus ippiFFTFree_C_32fc(FftSpec2D32fc* record) {
  return CallSelectedBuild(FftImagePrimitives.freeBuilds, record);
}

}  // namespace zentra
