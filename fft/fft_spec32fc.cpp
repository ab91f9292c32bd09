// The single-precision 1-D record: normalisation, work size and every table,
// all derived from one quarter-wave sine table of the record's order.
#include <zentra/fft_records.h>
#include <zentra/fft_spec32fc.h>

#include "fft_sine_table.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

namespace zentra {

const std::int32_t PlanSplitTable32fc_V12[FftMaxOrder + 1] = {
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,                 // 0..10: one radix-4 pass
    0, 0, 5, 6, 7, 8, 8, 8, 10, 10, 10, 10, 8, 8,    // 11..24
    10, 10, 10, 10, 10, 10};                         // 25..30

const std::int32_t PlanSplitTable32fc_V34[FftMaxOrder + 1] = {
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,     // 0..14: one radix-4 pass
    5, 4, 3, 4, 11, 12, 11, 12, 12, 12, 11, 12, 13, 14, 10, 10};  // 15..30

namespace {

// Build 1 joins 1024-point rows by its blocked transform; build 2 keeps the
// same plans with room for a 1024-point row in its work buffer; builds 3 and 4
// do rows of up to 16384 points in one pass and plan only from order 15.
constexpr FftBuildPlan32fc kPlans[] = {
    {PlanSplitTable32fc_V12, 10, 11, 3, false, 16},
    {PlanSplitTable32fc_V12, 10, 11, 9, true, 8208},
    {PlanSplitTable32fc_V34, 14, 15, 13, true, 131088},
};

// The work size of a record of `order`: the four column vectors of its widest
// level plus the extra; below the plans a whole row when the passes are four-lane.
std::int64_t WorkBytesOf(std::int32_t order, const FftBuildPlan32fc& plan) {
  if (order <= 3) return 0;
  if (order < plan.largeFrom) return plan.stageLayout ? 8 * (std::int64_t{1} << order) + 16 : 0;
  std::int64_t widest = 0;
  for (std::int32_t e = order; e > plan.leafOrder && plan.split[e] != 0; e -= plan.split[e])
    widest = std::max(widest, std::int64_t{32} << plan.split[e]);
  return widest + plan.workExtra;
}

// Byte counts are 32-bit; a request that does not fit is refused instead of
// wrapping to a small block.
void* AllocBytes(std::int64_t bytes) {
  if (bytes <= 0 || bytes > std::numeric_limits<std::int32_t>::max()) return nullptr;
  return AllocAligned(static_cast<std::int32_t>(bytes));
}

float* AllocFloats(std::int64_t count) { return static_cast<float*>(AllocBytes(4 * count)); }

// S[j] = sin(2 pi j / M), j = 0..M/4, rounded once to single.
float* BuildSineTable(std::int32_t m) {
  float* table = AllocFloats((std::int64_t{1} << m) / 4 + 1);
  if (table == nullptr) return nullptr;
  fft_detail::FillSineTable(m, table);
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

// Each run of four complex values as four real parts, then four imaginary parts.
void GroupByFour(float* values, std::int64_t count) {
  for (std::int64_t i = 0; i + 4 <= count; i += 4) {
    float* v = values + 2 * i;
    const float g[8] = {v[0], v[2], v[4], v[6], v[1], v[3], v[5], v[7]};
    std::memcpy(v, g, sizeof g);
  }
}

// Build 2's halving transform joins halves of every length from 2^k down to
// 2048: the first quadrants of sub-orders k, k - 1, .., 11 one after another,
// each in groups of four.
float* BuildHalvingTwiddles(std::int32_t k, const SineReader& base) {
  float* table = AllocFloats(std::int64_t{1} << k);
  if (table == nullptr) return nullptr;
  float* out = table;
  for (std::int32_t l = k; l >= 11; --l) {
    const SineReader r{base.sine, base.m, l};
    const std::int64_t q = r.quarter();
    for (std::int64_t h = 0; h < q; ++h) out[2 * h] = r.s(q - h), out[2 * h + 1] = -r.s(h);
    GroupByFour(out, q);
    out += 2 * q;
  }
  return table;
}

// One four-step level of order e: its inner part first (deeper level, or the
// innermost tables), then the outer radix table and the combine matrix in the
// order the column pass reads it.
PrimitiveStatus BuildPlanLevel(FftSpec32fc* record, const FftBuildPlan32fc& plan, std::int32_t e,
                               const SineReader& base, std::int32_t level) {
  const std::int32_t c = plan.split[e], inner = e - c;
  if (inner <= plan.leafOrder) {
    if ((record->radixTwiddles = BuildRadixTwiddles(inner, base)) == nullptr) return StatusNoMemory;
  } else if (plan.split[inner] != 0) {
    const PrimitiveStatus status = BuildPlanLevel(record, plan, inner, base, level + 1);
    if (status != StatusOk) return status;
  } else {
    record->blockTwiddles = plan.stageLayout ? BuildHalvingTwiddles(inner, base) : BuildBlockTwiddles(inner, base);
    if (record->blockTwiddles == nullptr) return StatusNoMemory;
    if ((record->radixTwiddles = BuildRadixTwiddles(plan.leafOrder, base)) == nullptr) return StatusNoMemory;
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
  if (plan.stageLayout) GroupByFour(combine, rows * columns);
  const std::int64_t need = 32 * rows;
  if (need > record->workBytes) record->workBytes = static_cast<std::int32_t>(need);
  return StatusOk;
}

PrimitiveStatus InitTables(FftSpec32fc* record, std::int32_t n, const FftBuildPlan32fc& plan) {
  // The combine matrix of the first level holds 2^n values; an order whose
  // matrix no 32-bit byte count can hold is refused before the large tables
  // are computed for nothing.
  const bool planned = n >= plan.largeFrom && plan.split[n] != 0;
  if (planned && (std::int64_t{8} << n) > std::numeric_limits<std::int32_t>::max()) return StatusNoMemory;
  // The fused pass reads the index form, the separate permutations the swap pairs.
  record->bitReverseTable = n <= plan.lastFusedOrder ? BuildBitReverseIndexTable(n) : BuildBitReverseTable(n);
  if (record->bitReverseTable == nullptr) return StatusNoMemory;
  float* sine = BuildSineTable(n);
  if (sine == nullptr) return StatusNoMemory;
  const SineReader base{sine, n, n, plan.stageLayout};
  PrimitiveStatus status = StatusOk;
  record->workBytes = 0;
  if (n < plan.largeFrom) {
    if ((record->radixTwiddles = BuildRadixTwiddles(n, base)) == nullptr) status = StatusNoMemory;
    // Four-lane builds keep room for a whole row.
    else if (plan.stageLayout) record->workBytes = 8 * (std::int32_t{1} << n) + 16;
  } else {
    if (planned) {
      status = BuildPlanLevel(record, plan, n, base, 0);
    } else {
      record->blockTwiddles = plan.stageLayout ? BuildHalvingTwiddles(n, base) : BuildBlockTwiddles(n, base);
      if (record->blockTwiddles == nullptr ||
          (record->radixTwiddles = BuildRadixTwiddles(plan.leafOrder, base)) == nullptr)
        status = StatusNoMemory;
    }
    if (status == StatusOk) record->workBytes += plan.workExtra;
  }
  FreeAligned(sine);
  return status;
}

PrimitiveStatus InitSpec(FftSpec32fc** pSpec, std::int32_t order, std::int32_t flag, std::int32_t hint,
                         std::int32_t build) {
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
    const PrimitiveStatus status = InitTables(record, order, FftBuildPlanOf32fc(build));
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

const FftBuildPlan32fc& FftBuildPlanOf32fc(std::int32_t build) {
  return kPlans[build <= 1 ? 0 : build == 2 ? 1 : 2];
}

PrimitiveStatus FftInitSpec32fc_V1(FftSpec32fc** pSpec, std::int32_t order, std::int32_t flag, std::int32_t hint) {
  return InitSpec(pSpec, order, flag, hint, 1);
}
PrimitiveStatus FftInitSpec32fc_V2(FftSpec32fc** pSpec, std::int32_t order, std::int32_t flag, std::int32_t hint) {
  return InitSpec(pSpec, order, flag, hint, 2);
}
PrimitiveStatus FftInitSpec32fc_V3(FftSpec32fc** pSpec, std::int32_t order, std::int32_t flag, std::int32_t hint) {
  return InitSpec(pSpec, order, flag, hint, 3);
}
PrimitiveStatus FftInitSpec32fc_V4(FftSpec32fc** pSpec, std::int32_t order, std::int32_t flag, std::int32_t hint) {
  return InitSpec(pSpec, order, flag, hint, 4);
}

bool FftSpec32fcMadeBy(std::int32_t build, const FftSpec32fc* record) {
  const FftBuildPlan32fc& plan = FftBuildPlanOf32fc(build);
  if (record->workBytes != WorkBytesOf(record->order, plan)) return false;
  // The index table starts with 0, the swap-pair table with its first pair.
  const bool indexForm = record->order <= plan.lastFusedOrder;
  return record->order <= 3 || (record->bitReverseTable[0] == 0) == indexForm;
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
