// The large-order double-precision transform: a recursive four-step scheme.
// A level of 2^L bit-reversed values is 2^m rows of 2^n values; each row is a
// complete smaller problem, done in place, and then the columns are twiddled
// and transformed four at a time in the work buffer, which leaves the level in
// natural order.
#include "fft_pass64f.h"

namespace zentra {

using fft64::Cx;

namespace {

// ---- Builds 1 and 2 (x87 arithmetic).

struct X87Build {
  const std::int32_t* split;
  void (*rowPass)(double* re, double* im, std::int32_t points, const double* radixTwiddles);
  void (*columnPass)(Complex64fc* data, std::int32_t count, const double* table);
};

// Radix-2 passes that join total/length adjacent transformed blocks; chunks of
// 64 values go through all pairs before the next chunk, so the same twiddles
// serve every pair while they are in cache.
void FftCombinePass64f(double* re, double* im, std::int64_t total, std::int64_t length,
                       const double* table, std::int64_t chunk) {
  const fft64::SplitData<long double> x{re, im};
  std::int64_t blocks = total / length, pairs = blocks / 2, chunks = length / chunk;
  const std::int64_t c = chunk / 2;
  for (std::int64_t l = length; pairs > 0; l *= 2, pairs /= 2, chunks *= 2) {
    const std::int64_t stride = blocks / 2;
    for (std::int64_t i = 0; i < chunks; ++i) {
      for (std::int64_t p = 0; p < pairs; ++p) {
        const std::int64_t base = 2 * p * l;
        for (std::int64_t k = i * c; k < i * c + c; ++k) {
          const double* w = table + 2 * (k * stride);
          Cx<long double> t = fft64::MulConj(x.Load(base + k + l), w[0], w[1]);
          Cx<long double> a = x.Load(base + k);
          x.Store(base + k, a + t);
          x.Store(base + k + l, a - t);
          // the second quarter of the span: the same twiddle rotated by i
          t = fft64::MulConj(x.Load(base + k + l + l / 2), w[0], w[1]).TimesI();
          a = x.Load(base + k + l / 2);
          x.Store(base + k + l / 2, a + t);
          x.Store(base + k + l + l / 2, a - t);
        }
      }
    }
    blocks /= 2;
  }
}

void FftBlocked64f(const X87Build& build, const FftSpec64f* record, double* re, double* im,
                   std::int64_t points) {
  constexpr std::int64_t kLeaf = 512;
  for (std::int64_t start = points - kLeaf; start >= 0; start -= kLeaf) {
    build.rowPass(re + start, im + start, kLeaf, record->radixTwiddles);
    if (record->scaleInverse != 0) {
      Scale64f_V1(record->scaleFactor, re + start, kLeaf);
      Scale64f_V1(record->scaleFactor, im + start, kLeaf);
    }
  }
  FftCombinePass64f(re, im, points, kLeaf, record->blockTwiddles, 128);
}

void FftFourStepX87(const X87Build& build, const FftSpec64f* record, double* re, double* im,
                    std::int32_t order, std::int32_t depth, Complex64fc* work) {
  const std::int32_t m = build.split[order], n = order - m;
  const std::int64_t rows = std::int64_t{1} << m, columns = std::int64_t{1} << n;
  for (std::int64_t r = 0; r < rows; ++r) {
    double* rowRe = re + r * columns;
    double* rowIm = im + r * columns;
    if (n <= 9) {
      build.rowPass(rowRe, rowIm, static_cast<std::int32_t>(columns), record->radixTwiddles);
      if (record->scaleInverse != 0) {
        Scale64f_V1(record->scaleFactor, rowRe, static_cast<std::int32_t>(columns));
        Scale64f_V1(record->scaleFactor, rowIm, static_cast<std::int32_t>(columns));
      }
    } else if (build.split[n] != 0) {
      FftFourStepX87(build, record, rowRe, rowIm, n, depth + 1, work);
    } else {
      FftBlocked64f(build, record, rowRe, rowIm, columns);
    }
  }
  const double* cursor = record->levelCombineTwiddles[depth];
  const double* table = record->levelTwiddles[depth];
  for (std::int64_t k0 = 0; k0 < columns; k0 += 4) {
    for (std::int64_t r = 0; r < rows; ++r, cursor += 8) {
      for (int j = 0; j < 4; ++j) {
        const std::int64_t at = r * columns + k0 + j;
        const Cx<long double> v = fft64::MulConj(Cx<long double>{re[at], im[at]}, cursor[2 * j], cursor[2 * j + 1]);
        work[j * rows + r] = {static_cast<double>(v.re), static_cast<double>(v.im)};
      }
    }
    for (int j = 0; j < 4; ++j) build.columnPass(work + j * rows, static_cast<std::int32_t>(rows), table);
    for (std::int64_t r = 0; r < rows; ++r) {
      for (int j = 0; j < 4; ++j) {
        re[r * columns + k0 + j] = work[j * rows + r].re;
        im[r * columns + k0 + j] = work[j * rows + r].im;
      }
    }
  }
}

void LargeOrderX87(const X87Build& build, const FftSpec64f* record, double* re, double* im,
                   std::int32_t order, void* work) {
  if (build.split[order] != 0) {
    FftFourStepX87(build, record, re, im, order, 0, static_cast<Complex64fc*>(work));
  } else {
    FftBlocked64f(build, record, re, im, std::int64_t{1} << order);
  }
}

void Radix4Pass64fc_V1(Complex64fc* data, std::int32_t count, const double* table) {
  fft64::StagesRadix2Second<long double>(fft64::InterleavedData<long double>{data}, count, table);
}

void Radix4Pass64fc_V2(Complex64fc* data, std::int32_t count, const double* table) {
  fft64::StagesRadix2Second<long double>(fft64::InterleavedData<long double>{data}, count, table);
}

const X87Build kBuild1 = {PlanSplitTable64f_V12, &Radix4Pass64f_V1, &Radix4Pass64fc_V1};
const X87Build kBuild2 = {PlanSplitTable64f_V12, &Radix4Pass64f_V2, &Radix4Pass64fc_V2};

// ---- Builds 3 and 4 (SSE2, paired work vectors). Rows of up to 8192 values
// are leaves; the leaf pass and the column pass both use the work buffer from
// its start, never at the same time.

// Four columns k0..k0+3, twiddled, into four paired vectors of `rows` values.
// The twiddles of one row come as (cos a, cos b, -sin a, -sin b) per two columns.
void FftColumnGather64f(const double* re, const double* im, std::int64_t columns, std::int64_t rows,
                        std::int64_t k0, const double* cursor, double* work) {
  for (std::int64_t r = 0; r < rows; r += 2, cursor += 16) {
    for (int h = 0; h < 2; ++h) {
      __m128d tr[2], ti[2];
      for (int dr = 0; dr < 2; ++dr) {
        const std::int64_t at = (r + dr) * columns + k0 + 2 * h;
        const double* w = cursor + 8 * dr + 4 * h;
        const __m128d xr = _mm_loadu_pd(re + at), xi = _mm_loadu_pd(im + at);
        const __m128d c = _mm_load_pd(w), s = _mm_load_pd(w + 2);
        tr[dr] = _mm_add_pd(_mm_mul_pd(xr, c), _mm_mul_pd(xi, s));
        ti[dr] = _mm_sub_pd(_mm_mul_pd(xi, c), _mm_mul_pd(xr, s));
      }
      double* even = work + (2 * h) * 2 * rows + 2 * r;
      double* odd = work + (2 * h + 1) * 2 * rows + 2 * r;
      _mm_store_pd(even, _mm_unpacklo_pd(tr[0], tr[1]));
      _mm_store_pd(even + 2, _mm_unpacklo_pd(ti[0], ti[1]));
      _mm_store_pd(odd, _mm_unpackhi_pd(tr[0], tr[1]));
      _mm_store_pd(odd + 2, _mm_unpackhi_pd(ti[0], ti[1]));
    }
  }
}

void FftColumnScatter64f(const double* work, double* re, double* im, std::int64_t columns,
                         std::int64_t rows, std::int64_t k0) {
  for (std::int64_t r = 0; r < rows; r += 2) {
    for (int h = 0; h < 2; ++h) {
      const double* even = work + (2 * h) * 2 * rows + 2 * r;
      const double* odd = work + (2 * h + 1) * 2 * rows + 2 * r;
      const __m128d er = _mm_load_pd(even), ei = _mm_load_pd(even + 2);
      const __m128d orr = _mm_load_pd(odd), oi = _mm_load_pd(odd + 2);
      const std::int64_t at = r * columns + k0 + 2 * h;
      _mm_storeu_pd(re + at, _mm_unpacklo_pd(er, orr));
      _mm_storeu_pd(im + at, _mm_unpacklo_pd(ei, oi));
      _mm_storeu_pd(re + at + columns, _mm_unpackhi_pd(er, orr));
      _mm_storeu_pd(im + at + columns, _mm_unpackhi_pd(ei, oi));
    }
  }
}

template <int Build>
struct Sse2Build {
  static void Scale(double factor, double* values, std::int32_t count) {
    (Build == 3 ? Scale64f_V3 : Scale64f_V4)(factor, values, count);
  }
  static void Leaf(double* re, double* im, std::int32_t points, const double* table, double* work) {
    (Build == 3 ? Radix4BlockPass64f_V3 : Radix4BlockPass64f_V4)(re, im, points, table, work);
  }

  static void FourStep(const FftSpec64f* record, double* re, double* im, std::int32_t order,
                       std::int32_t depth, double* work) {
    const std::int32_t m = PlanSplitTable64f_V34[order], n = order - m;
    const std::int64_t rows = std::int64_t{1} << m, columns = std::int64_t{1} << n;
    for (std::int64_t r = 0; r < rows; ++r) {
      double* rowRe = re + r * columns;
      double* rowIm = im + r * columns;
      if (n <= 13) {
        Leaf(rowRe, rowIm, static_cast<std::int32_t>(columns), record->radixTwiddles, work);
        if (record->scaleInverse != 0) {
          Scale(record->scaleFactor, rowRe, static_cast<std::int32_t>(columns));
          Scale(record->scaleFactor, rowIm, static_cast<std::int32_t>(columns));
        }
      } else {
        FourStep(record, rowRe, rowIm, n, depth + 1, work);  // every order from 14 has a split
      }
    }
    const double* cursor = record->levelCombineTwiddles[depth];
    const double* table = record->levelTwiddles[depth];
    for (std::int64_t k0 = 0; k0 < columns; k0 += 4, cursor += 8 * rows) {
      FftColumnGather64f(re, im, columns, rows, k0, cursor, work);
      for (int j = 0; j < 4; ++j) {
        double* vector = work + j * 2 * rows;
        fft64::PairedStage4InPlace(vector, rows);
        fft64::PairedStages<fft64::ColumnConsts<Build>>(vector, rows, table);
      }
      FftColumnScatter64f(work, re, im, columns, rows, k0);
    }
  }
};

}  // namespace

void FftLargeOrder64f_V1(const FftSpec64f* record, double* re, double* im, std::int32_t order, void* work) {
  LargeOrderX87(kBuild1, record, re, im, order, work);
}

void FftLargeOrder64f_V2(const FftSpec64f* record, double* re, double* im, std::int32_t order, void* work) {
  LargeOrderX87(kBuild2, record, re, im, order, work);
}

void FftLargeOrder64f_V3(const FftSpec64f* record, double* re, double* im, std::int32_t order, void* work) {
  Sse2Build<3>::FourStep(record, re, im, order, 0, static_cast<double*>(work));
}

void FftLargeOrder64f_V4(const FftSpec64f* record, double* re, double* im, std::int32_t order, void* work) {
  Sse2Build<4>::FourStep(record, re, im, order, 0, static_cast<double*>(work));
}

}  // namespace zentra
