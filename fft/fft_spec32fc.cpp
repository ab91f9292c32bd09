// The single-precision 1-D record: normalisation, work size and every table,
// all derived from one quarter-wave sine table of the record's order.
#include <zentra/fft_records.h>
#include <zentra/fft_spec32fc.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

namespace zentra {

const std::int32_t PlanSplitTable32fc[FftMaxOrder + 1] = {
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,                 // 0..10: one radix-4 pass
    0, 0, 5, 6, 7, 8, 8, 8, 10, 10, 10, 10, 8, 8,    // 11..24
    10, 10, 10, 10, 10, 10};                         // 25..30

namespace {

constexpr std::int32_t kLeafOrder = 10;  // longest row of one in-cache radix-4 pass
constexpr std::int32_t kStageWorkExtra = 8208;  // a 1024-point row and the 16-byte advance

// The work size that a record of `order` gets from the builds with or without
// the stage layout: the four column vectors of its widest level, plus the extra.
std::int32_t WorkBytesOf(std::int32_t order, bool stageLayout) {
  if (order <= 3) return 0;
  if (order <= kLeafOrder) return stageLayout ? 8 * (std::int32_t{1} << order) + 16 : 0;
  std::int32_t widest = 0;
  for (std::int32_t e = order; e > kLeafOrder && PlanSplitTable32fc[e] != 0; e -= PlanSplitTable32fc[e])
    widest = std::max(widest, PlanSplitTable32fc[e]);
  const std::int64_t columns = widest == 0 ? 0 : std::int64_t{32} << widest;
  return static_cast<std::int32_t>(columns + (stageLayout ? kStageWorkExtra : 16));
}

// Byte counts are 32-bit; a request that does not fit is refused instead of
// wrapping to a small block.
void* AllocBytes(std::int64_t bytes) {
  if (bytes <= 0 || bytes > std::numeric_limits<std::int32_t>::max()) return nullptr;
  return AllocAligned(static_cast<std::int32_t>(bytes));
}

float* AllocFloats(std::int64_t count) { return static_cast<float*>(AllocBytes(4 * count)); }

// S[j] = sin(2 pi j / M), j = 0..M/4, at extended precision, rounded on store.
float* BuildSineTable(std::int32_t m) {
  const std::int64_t points = std::int64_t{1} << m, quarter = points / 4;
  float* table = AllocFloats(quarter + 1);
  if (table == nullptr) return nullptr;
  const long double step = 6.283185307179586L / static_cast<long double>(points);
  for (std::int64_t j = 0; j <= quarter; ++j)
    table[j] = j <= points / 8 ? static_cast<float>(std::sin(static_cast<long double>(j) * step))
                               : static_cast<float>(std::cos(static_cast<long double>(quarter - j) * step));
  return table;
}

// Forward twiddles of sub-order k read from the sine table of order m; every
// value is one sine entry, possibly negated.
struct SineReader {
  const float* sine;
  std::int32_t m;
  std::int32_t k;
  bool stageLayout = false;
  float s(std::int64_t j) const { return sine[j << (m - k)]; }
  std::int64_t quarter() const { return (std::int64_t{1} << k) / 4; }
  // W(h) = (cos 2 pi h/K, -sin 2 pi h/K), 0 <= h < K, by quadrant.
  void W(std::int64_t h, float* out) const {
    const std::int64_t q = quarter();
    if (h < q) out[0] = s(q - h), out[1] = -s(h);
    else if (h < 2 * q) out[0] = -s(h - q), out[1] = -s(2 * q - h);
    else if (h < 3 * q) out[0] = -s(3 * q - h), out[1] = s(h - 2 * q);
    else out[0] = s(h - 3 * q), out[1] = s(4 * q - h);
  }
};

// Entry i of a radix-4 table of sub-order k: (cos t, -sin t, cos 2t, -sin 2t,
// cos 3t, -sin 3t), t = 2 pi i / K.
void RadixEntry(const SineReader& r, std::int64_t i, float* e) {
  const std::int64_t q = r.quarter();
  e[0] = r.s(q - i), e[1] = -r.s(i);
  if (2 * i <= q) e[2] = r.s(q - 2 * i), e[3] = -r.s(2 * i);
  else e[2] = -r.s(2 * i - q), e[3] = -r.s(2 * q - 2 * i);
  if (3 * i <= q) e[4] = r.s(q - 3 * i), e[5] = -r.s(3 * i);
  else if (3 * i > 2 * q) e[4] = -r.s(3 * q - 3 * i), e[5] = r.s(3 * i - 2 * q);
  else e[4] = -r.s(3 * i - q), e[5] = -r.s(2 * q - 3 * i);
}

// Build 1: one table of Q + 1 entries that every stage reads with its stride.
// Builds 2 to 4: one block per radix-4 stage (orders 4 or 5, then every second
// order up to k), each four entries stored as six vectors of four floats so
// that one load fetches one factor of four adjacent butterflies.
float* BuildRadixTwiddles(std::int32_t k, const SineReader& base) {
  if (base.stageLayout) {
    float* table = AllocFloats(2 * (std::int64_t{1} << k));
    if (table == nullptr) return nullptr;
    float* out = table;
    for (std::int32_t stage = (k % 2 == 0 ? 4 : 5); stage <= k; stage += 2) {
      const SineReader r{base.sine, base.m, stage};
      for (std::int64_t i = 0; i < r.quarter(); i += 4, out += 24)
        for (int lane = 0; lane < 4; ++lane) {
          float e[6];
          RadixEntry(r, i + lane, e);
          for (int c = 0; c < 6; ++c) out[4 * c + lane] = e[c];
        }
    }
    return table;
  }
  const SineReader r{base.sine, base.m, k};
  const std::int64_t q = r.quarter();
  float* table = AllocFloats(6 * (q + 1));
  if (table == nullptr) return nullptr;
  for (std::int64_t i = 0; i <= q; ++i) RadixEntry(r, i, table + 6 * i);
  return table;
}

// The first quadrant W(h), h < Q, of sub-order k.
float* BuildBlockTwiddles(std::int32_t k, const SineReader& base) {
  const SineReader r{base.sine, base.m, k};
  const std::int64_t q = r.quarter();
  float* table = AllocFloats(2 * (q > 1 ? q : 1));
  if (table == nullptr) return nullptr;
  for (std::int64_t h = 0; h < q; ++h) table[2 * h] = r.s(q - h), table[2 * h + 1] = -r.s(h);
  return table;
}

// One four-step level of order e: its inner part first (deeper level, or the
// innermost tables), then the outer radix table and the combine matrix in the
// order the column pass reads it.
PrimitiveStatus BuildPlanLevel(FftSpec32fc* record, std::int32_t e, const SineReader& base, std::int32_t level) {
  const std::int32_t c = PlanSplitTable32fc[e], inner = e - c;
  if (inner <= kLeafOrder) {
    if ((record->radixTwiddles = BuildRadixTwiddles(inner, base)) == nullptr) return StatusNoMemory;
  } else if (PlanSplitTable32fc[inner] != 0) {
    const PrimitiveStatus status = BuildPlanLevel(record, inner, base, level + 1);
    if (status != StatusOk) return status;
  } else {
    if ((record->blockTwiddles = BuildBlockTwiddles(inner, base)) == nullptr) return StatusNoMemory;
    if ((record->radixTwiddles = BuildRadixTwiddles(kLeafOrder, base)) == nullptr) return StatusNoMemory;
  }
  if ((record->levelTwiddles[level] = BuildRadixTwiddles(c, base)) == nullptr) return StatusNoMemory;
  const std::int64_t rows = std::int64_t{1} << c, columns = std::int64_t{1} << inner;
  float* combine = AllocFloats(2 * (rows * columns));
  if (combine == nullptr) return StatusNoMemory;
  record->levelCombineTwiddles[level] = combine;
  const SineReader r{base.sine, base.m, e};
  float* out = combine;
  for (std::int64_t g = 0; g < columns / 4; ++g)
    for (std::int64_t row = 0; row < rows; ++row) {
      const std::int64_t rev = ReverseBits(static_cast<std::uint32_t>(row), c);
      for (std::int64_t t = 0; t < 4; ++t, out += 2) r.W(rev * (4 * g + t), out);
    }
  const std::int64_t need = 32 * rows;
  if (need > record->workBytes) record->workBytes = static_cast<std::int32_t>(need);
  return StatusOk;
}

PrimitiveStatus InitTables(FftSpec32fc* record, std::int32_t n, bool stageLayout) {
  // The combine matrix of the first level holds 2^n values; an order whose
  // matrix no 32-bit byte count can hold is refused before the large tables
  // are computed for nothing.
  if (PlanSplitTable32fc[n] != 0 && (std::int64_t{8} << n) > std::numeric_limits<std::int32_t>::max())
    return StatusNoMemory;
  if ((record->bitReverseTable = BuildBitReverseTable(n)) == nullptr) return StatusNoMemory;
  float* sine = BuildSineTable(n);
  if (sine == nullptr) return StatusNoMemory;
  const SineReader base{sine, n, n, stageLayout};
  PrimitiveStatus status = StatusOk;
  record->workBytes = 0;
  if (n <= kLeafOrder) {
    if ((record->radixTwiddles = BuildRadixTwiddles(n, base)) == nullptr) status = StatusNoMemory;
  } else {
    if (PlanSplitTable32fc[n] != 0) {
      status = BuildPlanLevel(record, n, base, 0);
    } else if ((record->blockTwiddles = BuildBlockTwiddles(n, base)) == nullptr ||
               (record->radixTwiddles = BuildRadixTwiddles(kLeafOrder, base)) == nullptr) {
      status = StatusNoMemory;
    }
    if (status == StatusOk) record->workBytes += stageLayout ? kStageWorkExtra : 16;
  }
  // Builds 2 to 4 keep room for a whole row of the in-cache orders.
  if (stageLayout && n <= kLeafOrder) record->workBytes = 8 * (std::int32_t{1} << n) + 16;
  FreeAligned(sine);
  return status;
}

PrimitiveStatus InitSpec(FftSpec32fc** pSpec, std::int32_t order, std::int32_t flag, std::int32_t hint,
                         bool stageLayout) {
  if (pSpec == nullptr) return StatusNullPointer;
  if (order < 0 || order > FftMaxOrder) return StatusFftOrderError;
  auto* record = static_cast<FftSpec32fc*>(AllocAligned(sizeof(FftSpec32fc)));
  if (record == nullptr) return StatusNoMemory;
  std::memset(record, 0, sizeof *record);
  record->contextId = FftSpec32fcKind;
  record->order = order;
  record->hint = hint;
  const long double points = std::ldexp(1.0L, order);
  switch (flag) {
    case FftNoScaling: break;
    case FftDivBySqrtN:
      record->scaleForward = record->scaleInverse = 1;
      record->scaleFactor = static_cast<float>(1.0L / std::sqrt(points));
      break;
    case FftDivForwardByN:
      record->scaleForward = 1;
      record->scaleFactor = static_cast<float>(1.0L / points);
      break;
    case FftDivInverseByN:
      record->scaleInverse = 1;
      record->scaleFactor = static_cast<float>(1.0L / points);
      break;
    default:
      FftSpecDestroy32fc(record);
      return StatusFftFlagError;
  }
  if (order >= 4) {
    const PrimitiveStatus status = InitTables(record, order, stageLayout);
    if (status != StatusOk) {
      FftSpecDestroy32fc(record);
      return status;
    }
  }
  *pSpec = record;
  return StatusOk;
}

PrimitiveStatus FreeOfKind(FftSpec32fc* record, std::int32_t kind) {
  if (record == nullptr) return StatusNullPointer;
  if (record->contextId != kind) return StatusContextMismatch;
  FftSpecDestroy32fc(record);
  return StatusOk;
}

}  // namespace

// Builds 2 to 4 share the plans of build 1; their radix-4 tables are in the
// stage layout that their four-lane passes read.
PrimitiveStatus FftInitSpec32fc_V1(FftSpec32fc** pSpec, std::int32_t order, std::int32_t flag, std::int32_t hint) {
  return InitSpec(pSpec, order, flag, hint, false);
}
PrimitiveStatus FftInitSpec32fc_V2(FftSpec32fc** pSpec, std::int32_t order, std::int32_t flag, std::int32_t hint) {
  return InitSpec(pSpec, order, flag, hint, true);
}
PrimitiveStatus FftInitSpec32fc_V3(FftSpec32fc** pSpec, std::int32_t order, std::int32_t flag, std::int32_t hint) {
  return InitSpec(pSpec, order, flag, hint, true);
}
PrimitiveStatus FftInitSpec32fc_V4(FftSpec32fc** pSpec, std::int32_t order, std::int32_t flag, std::int32_t hint) {
  return InitSpec(pSpec, order, flag, hint, true);
}

bool FftSpec32fcMadeBy(std::int32_t build, const FftSpec32fc* record) {
  return record->workBytes == WorkBytesOf(record->order, build != 1);
}

PrimitiveStatus FftGetBufSize32fc(const FftSpec32fc* record, std::int32_t* pSize) {
  if (pSize == nullptr || record == nullptr) return StatusNullPointer;
  if (record->contextId != FftSpec32fcKind) return StatusContextMismatch;
  *pSize = record->workBytes;
  return StatusOk;
}

PrimitiveStatus FftSpecFree32fc(FftSpec32fc* record) { return FreeOfKind(record, FftSpec32fcKind); }
PrimitiveStatus FftReservedSpecFree32fc(FftSpec32fc* record) { return FreeOfKind(record, FftReservedSpec32fcKind); }

void FftSpecDestroy32fc(FftSpec32fc* record) { ReleaseFftRecord(record); }

}  // namespace zentra
