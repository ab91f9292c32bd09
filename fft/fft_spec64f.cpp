// The double-precision specification record: creation with all its tables and
// plan, and release. Every twiddle is a copy (possibly negated) of one entry of
// a quarter-wave sine table, so all tables of a record agree bit for bit and no
// transform evaluates a sine.
#include <zentra/fft_records.h>
#include <zentra/fft_spec64f.h>

#include "fft_sine_table.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

namespace zentra {

const std::int32_t PlanSplitTable64f_V12[FftMaxOrder + 1] = {
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0,  // below the plan threshold: never read
    0, 0, 4, 5, 6, 7, 7, 8, 9, 9, 9, 8, 8, 9, 9, 9, 9, 9, 9, 9, 9};
const std::int32_t PlanSplitTable64f_V34[FftMaxOrder + 1] = {
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,  // below the plan threshold: never read
    4, 3, 3, 7, 8, 9, 10, 10, 10, 10, 10, 10, 10, 10, 10, 10, 10};

namespace {

// What differs between the record builders of builds 1/2 and 3/4.
struct SpecBuild {
  std::int32_t planThreshold;    // first order with a four-step plan
  const std::int32_t* split;     // PlanSplitTable64f of the build
  bool pairedTables;             // per-stage radix tables, paired combine tables
  std::int32_t leafWorkBytes;    // work of the leaf pass inside the large-order transform
  double (*scale)(std::int32_t flag, std::int32_t order);
};

// Factors of builds 1 and 2 on the x87 unit, rounded once to double.
double ScaleFactorX87(std::int32_t flag, std::int32_t order) {
  const long double points = std::ldexp(1.0L, order);
  if (flag == FftDivBySqrtN) return static_cast<double>(1.0L / std::sqrt(points));
  return static_cast<double>(1.0L / points);
}

// Builds 3 and 4 round the square root before the division.
double ScaleFactorSse2(std::int32_t flag, std::int32_t order) {
  const double points = std::ldexp(1.0, order);
  if (flag == FftDivBySqrtN) return 1.0 / std::sqrt(points);
  return 1.0 / points;
}

constexpr SpecBuild kSpecBuildX87 = {10, PlanSplitTable64f_V12, false, 0, &ScaleFactorX87};
constexpr SpecBuild kSpecBuildSse2 = {14, PlanSplitTable64f_V34, true, 8192 * 16, &ScaleFactorSse2};

// Byte counts are 32-bit: a count that does not fit is refused as the
// allocator refuses one that wrapped, never rounded down to a smaller block.
std::int32_t Bytes32(std::uint64_t bytes) {
  return bytes <= static_cast<std::uint64_t>(std::numeric_limits<std::int32_t>::max())
             ? static_cast<std::int32_t>(bytes)
             : 0;
}

double* AllocDoubles(std::uint64_t count) {
  return static_cast<double*>(AllocAligned(Bytes32(count * 8)));
}

// Quarter-wave sine table of order m, S[j] = sin(2 pi j / M), j = 0..M/4.
double* BuildSineTable64f(std::int32_t m) {
  const std::int64_t quarter = (std::int64_t{1} << m) / 4;
  double* table = AllocDoubles(static_cast<std::uint64_t>(quarter) + 1);
  if (table == nullptr) return nullptr;
  fft_detail::FillSineTable(m, table);
  return table;
}

// The sine table of order m read at sub-order k.
struct SineView {
  const double* table;
  std::int32_t shift;  // m - k
  std::int64_t quarter;  // K/4
  double s(std::int64_t j) const { return table[j << shift]; }

  // W(h) = (cos 2 pi h / K, -sin 2 pi h / K), taken by quadrant.
  Complex64fc W(std::int64_t h) const {
    const std::int64_t q = quarter;
    if (h < q) return {s(q - h), -s(h)};
    if (h < 2 * q) return {-s(h - q), -s(2 * q - h)};
    if (h < 3 * q) return {-s(3 * q - h), s(h - 2 * q)};
    return {s(h - 3 * q), s(4 * q - h)};
  }
};

SineView ViewAt(const double* sine, std::int32_t m, std::int32_t k) {
  return {sine, m - k, (std::int64_t{1} << k) / 4};
}

// One radix-4 record: (cos t, -sin t, cos 2t, -sin 2t, cos 3t, -sin 3t), t = 2 pi i / K.
void RadixRecord(const SineView& v, std::int64_t i, double* out) {
  const std::int64_t q = v.quarter;
  out[0] = v.s(q - i);
  out[1] = -v.s(i);
  if (2 * i <= q) {
    out[2] = v.s(q - 2 * i);
    out[3] = -v.s(2 * i);
  } else {
    out[2] = -v.s(2 * i - q);
    out[3] = -v.s(2 * q - 2 * i);
  }
  if (3 * i <= q) {
    out[4] = v.s(q - 3 * i);
    out[5] = -v.s(3 * i);
  } else if (3 * i > 2 * q) {
    out[4] = -v.s(3 * q - 3 * i);
    out[5] = v.s(3 * i - 2 * q);
  } else {
    out[4] = -v.s(3 * i - q);
    out[5] = -v.s(2 * q - 3 * i);
  }
}

// Radix-4 table of sub-order k. Builds 1/2: one stage of K/4 + 1 records.
// Builds 3/4: every radix-4 stage from 16 (k even) or 32 (k odd) up to K, the
// smallest first, two records at a time interleaved value by value.
double* BuildRadixTwiddles64f(const SpecBuild& build, std::int32_t k, const double* sine, std::int32_t m) {
  if (!build.pairedTables) {
    const std::int64_t q = (std::int64_t{1} << k) / 4;
    double* table = AllocDoubles(static_cast<std::uint64_t>(q + 1) * 6);
    if (table == nullptr) return nullptr;
    const SineView v = ViewAt(sine, m, k);
    for (std::int64_t i = 0; i <= q; ++i) RadixRecord(v, i, table + 6 * i);
    return table;
  }
  double* table = AllocDoubles((std::uint64_t{1} << k) * 2);
  if (table == nullptr) return nullptr;
  double* out = table;
  for (std::int32_t s = (k % 2 == 0) ? 4 : 5; s <= k; s += 2) {
    const SineView v = ViewAt(sine, m, s);
    for (std::int64_t i = 0; i < v.quarter; i += 2) {
      double a[6], b[6];
      RadixRecord(v, i, a);
      RadixRecord(v, i + 1, b);
      for (int value = 0; value < 6; ++value) {
        *out++ = a[value];
        *out++ = b[value];
      }
    }
  }
  return table;
}

// First-quadrant twiddles of sub-order k for the combining passes (at least one pair).
double* BuildBlockTwiddles64f(std::int32_t k, const double* sine, std::int32_t m) {
  const std::int64_t q = (std::int64_t{1} << k) / 4;
  double* table = AllocDoubles(static_cast<std::uint64_t>(q > 0 ? q : 1) * 2);
  if (table == nullptr) return nullptr;
  const SineView v = ViewAt(sine, m, k);
  for (std::int64_t h = 0; h < q; ++h) {
    table[2 * h] = v.s(q - h);
    table[2 * h + 1] = -v.s(h);
  }
  return table;
}

// Four-step twiddles of a level of order e with c outer bits, in the order the
// column pass reads them: per group of four columns, per row in bit-reversed
// order, the four W(rev(r) * column).
PrimitiveStatus BuildCombineTwiddles(const SpecBuild& build, FftSpec64f* record, std::int32_t e,
                                     std::int32_t c, const double* sine, std::int32_t m,
                                     std::int32_t level) {
  const std::int64_t rows = std::int64_t{1} << c, columns = std::int64_t{1} << (e - c);
  double* table = AllocDoubles((std::uint64_t{1} << e) * 2);
  if (table == nullptr) return StatusNoMemory;
  record->levelCombineTwiddles[level] = table;
  auto* area = static_cast<Complex64fc*>(AllocAligned(Bytes32(64 * static_cast<std::uint64_t>(rows))));
  if (area == nullptr) return StatusNoMemory;
  std::int32_t* pairs = BuildBitReverseTable(c);
  if (pairs == nullptr) {
    FreeAligned(area);
    return StatusNoMemory;
  }
  const SineView v = ViewAt(sine, m, e);
  double* out = table;
  for (std::int64_t g = 0; g < columns / 4; ++g) {
    for (int t = 0; t < 4; ++t) {
      Complex64fc* part = area + t * rows;
      for (std::int64_t j = 0; j < rows; ++j) part[j] = v.W(j * (4 * g + t));
      BitReversePermuteInPlace64fc(part, static_cast<std::int32_t>(rows), pairs);
    }
    for (std::int64_t r = 0; r < rows; ++r) {
      const Complex64fc w[4] = {area[r], area[rows + r], area[2 * rows + r], area[3 * rows + r]};
      if (build.pairedTables) {
        // (cos a, cos b, -sin a, -sin b) per two columns, as the packed gather reads them
        const double packed[8] = {w[0].re, w[1].re, w[0].im, w[1].im, w[2].re, w[3].re, w[2].im, w[3].im};
        std::memcpy(out, packed, sizeof packed);
      } else {
        const double plain[8] = {w[0].re, w[0].im, w[1].re, w[1].im, w[2].re, w[2].im, w[3].re, w[3].im};
        std::memcpy(out, plain, sizeof plain);
      }
      out += 8;
    }
  }
  FreeAligned(pairs);
  FreeAligned(area);
  return StatusOk;
}

PrimitiveStatus BuildFftPlanLevel64f(const SpecBuild& build, FftSpec64f* record, std::int32_t e,
                                     const double* sine, std::int32_t m, std::int32_t level) {
  const std::int32_t c = build.split[e], inner = e - c;
  const std::int32_t leafOrder = build.planThreshold - 1;
  if (inner <= leafOrder) {
    record->radixTwiddles = BuildRadixTwiddles64f(build, inner, sine, m);
    if (record->radixTwiddles == nullptr) return StatusNoMemory;
  } else if (build.split[inner] != 0) {
    if (PrimitiveStatus status = BuildFftPlanLevel64f(build, record, inner, sine, m, level + 1)) return status;
  } else {
    // Rows without a split of their own (orders 10, 11 in builds 1, 2) are joined from blocks.
    record->blockTwiddles = BuildBlockTwiddles64f(inner, sine, m);
    if (record->blockTwiddles == nullptr) return StatusNoMemory;
    record->radixTwiddles = BuildRadixTwiddles64f(build, build.pairedTables ? 13 : 9, sine, m);
    if (record->radixTwiddles == nullptr) return StatusNoMemory;
  }
  record->levelTwiddles[level] = BuildRadixTwiddles64f(build, c, sine, m);
  if (record->levelTwiddles[level] == nullptr) return StatusNoMemory;
  if (PrimitiveStatus status = BuildCombineTwiddles(build, record, e, c, sine, m, level)) return status;
  return StatusOk;
}

PrimitiveStatus BuildFftPlan64f(const SpecBuild& build, FftSpec64f* record, std::int32_t n,
                                const double* sine) {
  if (build.split[n] != 0) return BuildFftPlanLevel64f(build, record, n, sine, n, 0);
  record->blockTwiddles = BuildBlockTwiddles64f(n, sine, n);
  record->radixTwiddles = BuildRadixTwiddles64f(build, build.pairedTables ? 13 : 9, sine, n);
  return record->blockTwiddles != nullptr && record->radixTwiddles != nullptr ? StatusOk : StatusNoMemory;
}

// Whether every table of the order's plan has a byte count that fits the
// 32-bit size arithmetic; checked before any table is built, so that an order
// that cannot be made fails at once instead of after filling hundreds of
// megabytes of tables it must throw away.
bool PlanFits32Bit(const SpecBuild& build, std::int32_t n) {
  const std::uint64_t sineBytes = ((std::uint64_t{1} << n) / 4 + 1) * 8;
  if (Bytes32(sineBytes) == 0) return false;
  if (n < build.planThreshold) return true;
  for (std::int32_t e = n; e >= build.planThreshold && build.split[e] != 0; e -= build.split[e]) {
    if (Bytes32((std::uint64_t{1} << e) * 16) == 0) return false;
  }
  return true;
}

// Work of the inverse transform: the paired vector of the radix-4 pass below
// the plan threshold (builds 3, 4), else four column vectors of the widest
// level plus the leaf pass's vector, and 16 bytes for aligning a caller's buffer.
std::int32_t WorkBytes(const SpecBuild& build, std::int32_t n) {
  if (n < 4) return 0;
  if (n < build.planThreshold) return build.pairedTables ? (16 << n) + 16 : 0;
  std::int32_t columns = 0;
  for (std::int32_t e = n; e >= build.planThreshold && build.split[e] != 0; e -= build.split[e]) {
    columns = std::max(columns, 64 << build.split[e]);
  }
  return columns + build.leafWorkBytes + 16;
}

PrimitiveStatus FftInitTables64f(const SpecBuild& build, FftSpec64f* record, std::int32_t n) {
  if (!PlanFits32Bit(build, n)) return StatusNoMemory;
  record->bitReverseTable = build.pairedTables && n < build.planThreshold ? BuildBitReverseIndexTable(n)
                                                                         : BuildBitReverseTable(n);
  if (record->bitReverseTable == nullptr) return StatusNoMemory;
  double* sine = BuildSineTable64f(n);
  if (sine == nullptr) return StatusNoMemory;
  PrimitiveStatus status;
  if (n < build.planThreshold) {
    record->radixTwiddles = BuildRadixTwiddles64f(build, n, sine, n);
    status = record->radixTwiddles == nullptr ? StatusNoMemory : StatusOk;
  } else {
    status = BuildFftPlan64f(build, record, n, sine);
  }
  record->workBytes = WorkBytes(build, n);
  FreeAligned(sine);
  return status;
}

PrimitiveStatus InitAlloc(const SpecBuild& build, FftSpec64f** pSpec, std::int32_t order,
                          std::int32_t flag, std::int32_t hint) {
  if (pSpec == nullptr) return StatusNullPointer;
  if (order < 0 || order > FftMaxOrder) return StatusFftOrderError;
  auto* record = static_cast<FftSpec64f*>(AllocAligned(sizeof(FftSpec64f)));
  if (record == nullptr) return StatusNoMemory;
  std::memset(static_cast<void*>(record), 0, sizeof *record);
  record->contextId = FftSpec64fKind;
  record->order = order;
  record->hint = hint;
  switch (flag) {
    case FftNoScaling: break;
    case FftDivBySqrtN: record->scaleForward = record->scaleInverse = 1; break;
    case FftDivForwardByN: record->scaleForward = 1; break;
    case FftDivInverseByN: record->scaleInverse = 1; break;
    default: ReleaseFftSpec64f(record); return StatusFftFlagError;
  }
  if (flag != FftNoScaling) record->scaleFactor = build.scale(flag, order);
  if (order >= 4) {
    if (PrimitiveStatus status = FftInitTables64f(build, record, order)) {
      ReleaseFftSpec64f(record);
      return status;
    }
  }
  *pSpec = record;
  return StatusOk;
}

PrimitiveStatus Free(FftSpec64f* record) {
  if (record == nullptr) return StatusNullPointer;
  if (record->contextId != FftSpec64fKind) return StatusContextMismatch;
  ReleaseFftSpec64f(record);
  return StatusOk;
}

}  // namespace

bool FftSpec64fMadeBy(std::int32_t build, const FftSpec64f* record) {
  if (record->order < 0 || record->order > FftMaxOrder) return false;
  return record->workBytes == WorkBytes(build >= 3 ? kSpecBuildSse2 : kSpecBuildX87, record->order);
}

void ReleaseFftSpec64f(FftSpec64f* record) { ReleaseFftRecord(record); }

PrimitiveStatus ippsFFTInitAlloc_C_64f_V1(FftSpec64f** pSpec, std::int32_t order, std::int32_t flag,
                                          std::int32_t hint) {
  return InitAlloc(kSpecBuildX87, pSpec, order, flag, hint);
}
PrimitiveStatus ippsFFTInitAlloc_C_64f_V2(FftSpec64f** pSpec, std::int32_t order, std::int32_t flag,
                                          std::int32_t hint) {
  return InitAlloc(kSpecBuildX87, pSpec, order, flag, hint);
}
PrimitiveStatus ippsFFTInitAlloc_C_64f_V3(FftSpec64f** pSpec, std::int32_t order, std::int32_t flag,
                                          std::int32_t hint) {
  return InitAlloc(kSpecBuildSse2, pSpec, order, flag, hint);
}
PrimitiveStatus ippsFFTInitAlloc_C_64f_V4(FftSpec64f** pSpec, std::int32_t order, std::int32_t flag,
                                          std::int32_t hint) {
  return InitAlloc(kSpecBuildSse2, pSpec, order, flag, hint);
}

PrimitiveStatus ippsFFTFree_C_64f_V1(FftSpec64f* record) { return Free(record); }
PrimitiveStatus ippsFFTFree_C_64f_V2(FftSpec64f* record) { return Free(record); }
PrimitiveStatus ippsFFTFree_C_64f_V3(FftSpec64f* record) { return Free(record); }
PrimitiveStatus ippsFFTFree_C_64f_V4(FftSpec64f* record) { return Free(record); }

}  // namespace zentra
