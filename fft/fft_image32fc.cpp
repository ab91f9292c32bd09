// The image transform: every row by the 1-D engine from source to
// destination, then the destination's columns gathered four at a time into
// the work buffer, transformed there and written back.
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
  PrimitiveStatus status = initSpec(&record->rowSpec, orderX, flag, hint);
  if (status != StatusOk) {
    ReleaseFftSpec2D32fc(record);
    return status;
  }
  // The four column vectors alone (64 * H bytes) may not fit a 32-bit count;
  // such an image is refused before its column record is built.
  if ((std::int64_t{64} << orderY) + 16 > std::numeric_limits<std::int32_t>::max()) {
    ReleaseFftSpec2D32fc(record);
    return StatusNoMemory;
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
  // Four column vectors of 8 * H bytes, then the 1-D work area, plus the room
  // for the 16-byte advance. Computed wide: a size the 32-bit byte counts
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

// Columns first..first+count-1 of the image into `count` vectors of `rows`
// values (vector k at columns + k * rows), row by row, and back: the one- and
// two-column images.
void Gather(const Complex32fc* image, std::int32_t step, std::int64_t rows, std::int64_t first, int count,
            Complex32fc* columns) {
  for (std::int64_t r = 0; r < rows; ++r) {
    const Complex32fc* row = RowOf(image, step, r) + first;
    for (int k = 0; k < count; ++k) std::memcpy(&columns[k * rows + r], &row[k], sizeof(Complex32fc));
  }
}
void Scatter(const Complex32fc* columns, std::int64_t rows, std::int64_t first, int count, Complex32fc* image,
             std::int32_t step) {
  for (std::int64_t r = 0; r < rows; ++r) {
    Complex32fc* row = RowOf(image, step, r) + first;
    for (int k = 0; k < count; ++k) std::memcpy(&row[k], &columns[k * rows + r], sizeof(Complex32fc));
  }
}

// Groups of four columns move two rows at a time: the rows' two runs of four
// values become one 16-byte pair in each of the four column vectors. Plain
// moves, so every bit passes unchanged. The vectors are 16-byte aligned and
// the row count is even; image rows may lie at any address.
float* At(Complex32fc* image, std::int32_t step, std::int64_t r, std::int64_t column) {
  return reinterpret_cast<float*>(RowOf(image, step, r) + column);
}
inline void GatherPair(const float* a, const float* b, float* vectors, std::int64_t rows, std::int64_t r) {
  const __m128 a01 = _mm_loadu_ps(a), a23 = _mm_loadu_ps(a + 4);
  const __m128 b01 = _mm_loadu_ps(b), b23 = _mm_loadu_ps(b + 4);
  _mm_store_ps(vectors + 2 * r, _mm_movelh_ps(a01, b01));
  _mm_store_ps(vectors + 2 * (rows + r), _mm_movehl_ps(b01, a01));
  _mm_store_ps(vectors + 2 * (2 * rows + r), _mm_movelh_ps(a23, b23));
  _mm_store_ps(vectors + 2 * (3 * rows + r), _mm_movehl_ps(b23, a23));
}
inline void ScatterPair(const float* vectors, std::int64_t rows, std::int64_t r, float* a, float* b) {
  const __m128 c0 = _mm_load_ps(vectors + 2 * r), c1 = _mm_load_ps(vectors + 2 * (rows + r));
  const __m128 c2 = _mm_load_ps(vectors + 2 * (2 * rows + r)), c3 = _mm_load_ps(vectors + 2 * (3 * rows + r));
  _mm_storeu_ps(a, _mm_movelh_ps(c0, c1));
  _mm_storeu_ps(a + 4, _mm_movelh_ps(c2, c3));
  _mm_storeu_ps(b, _mm_movehl_ps(c1, c0));
  _mm_storeu_ps(b + 4, _mm_movehl_ps(c3, c2));
}

void GatherFour(Complex32fc* image, std::int32_t step, std::int64_t rows, std::int64_t first, float* vectors) {
  for (std::int64_t r = 0; r < rows; r += 2)
    GatherPair(At(image, step, r, first), At(image, step, r + 1, first), vectors, rows, r);
}
void ScatterFour(const float* vectors, std::int64_t rows, std::int64_t first, Complex32fc* image,
                 std::int32_t step) {
  for (std::int64_t r = 0; r < rows; r += 2)
    ScatterPair(vectors, rows, r, At(image, step, r, first), At(image, step, r + 1, first));
}
// Puts back the group at `first` and takes the next one in the same walk down
// the image: with a power-of-two step a walk's rows crowd into a few cache
// sets, so a separate walk per direction would fetch every line once more.
void ScatterGatherFour(float* vectors, std::int64_t rows, std::int64_t first, Complex32fc* image,
                       std::int32_t step) {
  for (std::int64_t r = 0; r < rows; r += 2) {
    float* a = At(image, step, r, first);
    float* b = At(image, step, r + 1, first);
    ScatterPair(vectors, rows, r, a, b);
    GatherPair(a + 8, b + 8, vectors, rows, r);
  }
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
    Gather(src, srcStep, height, 0, 1, columns);
    const PrimitiveStatus status = run(columns, columns, columnSpec, work + 8 * height);
    if (status == StatusOk) Scatter(columns, height, 0, 1, dst, dstStep);
    return status;
  }
  for (std::int64_t r = 0; r < height; ++r) {
    const PrimitiveStatus status = run(RowOf(src, srcStep, r), RowOf(dst, dstStep, r), record->rowSpec, work);
    if (status != StatusOk) return status;
  }
  const int group = width == 2 ? 2 : 4;
  std::uint8_t* area = work + 8 * group * height;
  auto transformGroup = [&] {
    for (int k = 0; k < group; ++k) {
      const PrimitiveStatus status = run(columns + k * height, columns + k * height, columnSpec, area);
      if (status != StatusOk) return status;
    }
    return StatusOk;
  };
  if (group == 2) {
    Gather(dst, dstStep, height, 0, 2, columns);
    const PrimitiveStatus status = transformGroup();
    if (status == StatusOk) Scatter(columns, height, 0, 2, dst, dstStep);
    return status;
  }
  auto* vectors = reinterpret_cast<float*>(work);
  GatherFour(dst, dstStep, height, 0, vectors);
  for (std::int64_t first = 0; first < width; first += 4) {
    const PrimitiveStatus status = transformGroup();
    if (status != StatusOk) return status;
    if (first + 4 < width) ScatterGatherFour(vectors, height, first, dst, dstStep);
    else ScatterFour(vectors, height, first, dst, dstStep);
  }
  return StatusOk;
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
