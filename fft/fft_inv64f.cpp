// The double-precision inverse transform: argument checks, work buffer, the
// straight-line kernels of orders 0 to 3, and the choice of pass by order.
#include "fft_pass64f.h"

#include <utility>

namespace zentra {

using fft64::Cx;

namespace {

using PlainKernel = void (*)(const double* srcRe, const double* srcIm, double* dstRe, double* dstIm);
using ScaledKernel = void (*)(const double* srcRe, const double* srcIm, double* dstRe, double* dstIm,
                              double factor);

// Every kernel reads all of its input before it writes, so each array may be
// its own destination.

// Scaling of the first-stage values: a plain kernel passes no factor.
struct NoFactor {
  double operator()(double v) const { return v; }
};
struct Factor {
  double f;
  double operator()(double v) const { return v * f; }
};

template <typename Scale>
void Inv1Point(const double* sr, const double* si, double* dr, double* di, Scale scale) {
  const double re = scale(sr[0]), im = scale(si[0]);
  dr[0] = re;
  di[0] = im;
}

template <typename Scale>
void Inv2Point(const double* sr, const double* si, double* dr, double* di, Scale scale) {
  const double x0r = sr[0], x0i = si[0], x1r = sr[1], x1i = si[1];
  const double s0 = scale(x0r + x1r), s1 = scale(x0i + x1i), d0 = scale(x0r - x1r), d1 = scale(x0i - x1i);
  dr[0] = s0, di[0] = s1, dr[1] = d0, di[1] = d1;
}

// The inverse 4-point butterfly of x[first], x[first + step], ...: A = x0 + x2,
// B = x1 + x3, C = x0 - x2, D = x1 - x3, each part scaled as it is formed.
template <typename Scale>
void Butterfly4(const double* sr, const double* si, int first, int step, Scale scale, Cx<double> y[4]) {
  const int i0 = first, i1 = first + step, i2 = first + 2 * step, i3 = first + 3 * step;
  const Cx<double> a = {scale(sr[i0] + sr[i2]), scale(si[i0] + si[i2])};
  const Cx<double> b = {scale(sr[i1] + sr[i3]), scale(si[i1] + si[i3])};
  const Cx<double> c = {scale(sr[i0] - sr[i2]), scale(si[i0] - si[i2])};
  const Cx<double> d = {scale(sr[i1] - sr[i3]), scale(si[i1] - si[i3])};
  y[0] = a + b;
  y[2] = a - b;
  y[1] = {c.re - d.im, c.im + d.re};
  y[3] = {c.re + d.im, c.im - d.re};
}

template <typename Scale>
void Inv4Point(const double* sr, const double* si, double* dr, double* di, Scale scale) {
  Cx<double> y[4];
  Butterfly4(sr, si, 0, 1, scale, y);
  for (int k = 0; k < 4; ++k) dr[k] = y[k].re, di[k] = y[k].im;
}

// Each build keeps its own pair of constants: sqrt(0.5) rounded to double and its negation.
template <int Build>
struct EightPointConsts {
  static constexpr double kC = 0.7071067811865476;
  static constexpr double kMinusC = -0.7071067811865476;
};

// Two 4-point butterflies on the even and the odd samples, then one radix-2
// stage. Both halves are formed in registers before any slot is written, so an
// in-place call cannot overwrite odd samples that it has still to read.
template <int Build, typename Scale>
void Inv8Point(const double* sr, const double* si, double* dr, double* di, Scale scale) {
  using K = EightPointConsts<Build>;
  Cx<double> y[4], z[4];
  Butterfly4(sr, si, 0, 2, scale, y);
  Butterfly4(sr, si, 1, 2, scale, z);
  const Cx<double> wz1 = {K::kC * (z[1].re - z[1].im), K::kC * (z[1].re + z[1].im)};
  const Cx<double> iz2 = z[2].TimesI();
  const Cx<double> w3z3 = {K::kMinusC * (z[3].re + z[3].im), K::kMinusC * (z[3].im - z[3].re)};
  const Cx<double> x[8] = {y[0] + z[0], y[1] + wz1, y[2] + iz2, y[3] + w3z3,
                           y[0] - z[0], y[1] - wz1, y[2] - iz2, y[3] - w3z3};
  for (int k = 0; k < 8; ++k) dr[k] = x[k].re, di[k] = x[k].im;
}

template <void (*K)(const double*, const double*, double*, double*, NoFactor)>
void Plain(const double* sr, const double* si, double* dr, double* di) {
  K(sr, si, dr, di, NoFactor{});
}
template <void (*K)(const double*, const double*, double*, double*, Factor)>
void Scaled(const double* sr, const double* si, double* dr, double* di, double f) {
  K(sr, si, dr, di, Factor{f});
}

// The split-inverse rows of a build's small-order kernels, scaled row first.
struct FftInvSmallKernels64f {
  ScaledKernel scaled[4];
  PlainKernel plain[4];
};

template <int Build>
constexpr FftInvSmallKernels64f SmallKernels() {
  return {{&Scaled<Inv1Point<Factor>>, &Scaled<Inv2Point<Factor>>, &Scaled<Inv4Point<Factor>>,
           &Scaled<Inv8Point<Build, Factor>>},
          {&Plain<Inv1Point<NoFactor>>, &Plain<Inv2Point<NoFactor>>, &Plain<Inv4Point<NoFactor>>,
           &Plain<Inv8Point<Build, NoFactor>>}};
}

// What the four drivers call beyond the shared steps.
struct DriverBuild {
  std::int32_t build;
  FftInvSmallKernels64f small;
  std::int32_t largeFrom;  // first order of the large-order transform
  void (*permute)(const double* src, double* dst, std::int32_t count, const std::int32_t* pairs);
  void (*permuteInPlace)(double* data, std::int32_t count, const std::int32_t* pairs);
  void (*radixPass)(double* re, double* im, std::int32_t points, const double* radixTwiddles);
  void (*pairedPass)(const double* srcRe, const double* srcIm, double* dstRe, double* dstIm,
                     std::int32_t points, const double* radixTwiddles, const std::int32_t* indexTable,
                     double* work);
  void (*large)(const FftSpec64f* spec, double* re, double* im, std::int32_t order, void* work);
  void (*scale)(double factor, double* values, std::int32_t count);
};

// Integer copies of each element, exact for any bit pattern.
void PermuteBits(const double* src, double* dst, std::int32_t count, const std::int32_t* pairs) {
  BitReversePermute_V1(reinterpret_cast<const std::uint64_t*>(src), reinterpret_cast<std::uint64_t*>(dst),
                       count, pairs);
}
void PermuteBitsInPlace(double* data, std::int32_t count, const std::int32_t* pairs) {
  BitReversePermuteInPlace_V1(reinterpret_cast<std::uint64_t*>(data), count, pairs);
}

const DriverBuild kDriver1 = {1, SmallKernels<1>(), 10, &PermuteBits, &PermuteBitsInPlace, &Radix4Pass64f_V1,
                              nullptr, &FftLargeOrder64f_V1, &Scale64f_V1};
const DriverBuild kDriver2 = {2, SmallKernels<2>(), 10, &BitReversePermute_V2, &BitReversePermuteInPlace_V2,
                              &Radix4Pass64f_V2, nullptr, &FftLargeOrder64f_V2, &Scale64f_V1};
const DriverBuild kDriver3 = {3, SmallKernels<3>(), 14, &BitReversePermute_V2, &BitReversePermuteInPlace_V3,
                              nullptr, &Radix4Pass64f_V3, &FftLargeOrder64f_V3, &Scale64f_V3};
const DriverBuild kDriver4 = {4, SmallKernels<4>(), 14, &BitReversePermute_V2, &BitReversePermuteInPlace_V3,
                              nullptr, &Radix4Pass64f_V4, &FftLargeOrder64f_V4, &Scale64f_V4};

PrimitiveStatus Inverse(const DriverBuild& build, const double* srcRe, const double* srcIm,
                        double* dstRe, double* dstIm, const FftSpec64f* spec, std::uint8_t* buffer) {
  if (spec == nullptr) return StatusNullPointer;
  // A record made while another family of builds was selected has tables this
  // build cannot read; it is refused like a record of another kind.
  if (spec->contextId != FftSpec64fKind || !FftSpec64fMadeBy(build.build, spec)) return StatusContextMismatch;
  if (srcRe == nullptr || srcIm == nullptr || dstRe == nullptr || dstIm == nullptr) return StatusNullPointer;
  const std::int32_t n = spec->order;
  if (n <= 3) {
    if (spec->scaleInverse != 0) {
      build.small.scaled[n](srcRe, srcIm, dstRe, dstIm, spec->scaleFactor);
    } else {
      build.small.plain[n](srcRe, srcIm, dstRe, dstIm);
    }
    return StatusOk;
  }
  void* work = nullptr;
  void* allocated = nullptr;
  if (spec->workBytes > 0) {
    if (buffer != nullptr) {
      work = buffer + ((-reinterpret_cast<std::uintptr_t>(buffer)) & 15u);
    } else {
      work = allocated = AllocAligned(spec->workBytes);
      if (work == nullptr) return StatusNoMemory;
    }
  }
  const std::int32_t points = std::int32_t{1} << n;
  if (build.pairedPass != nullptr && n < build.largeFrom) {
    build.pairedPass(srcRe, srcIm, dstRe, dstIm, points, spec->radixTwiddles, spec->bitReverseTable,
                     static_cast<double*>(work));
  } else {
    for (auto [src, dst] : {std::pair{srcRe, dstRe}, std::pair{srcIm, dstIm}}) {
      if (src == dst) {
        build.permuteInPlace(dst, points, spec->bitReverseTable);
      } else {
        build.permute(src, dst, points, spec->bitReverseTable);
      }
    }
    if (n >= build.largeFrom) build.large(spec, dstRe, dstIm, n, work);
    else build.radixPass(dstRe, dstIm, points, spec->radixTwiddles);
  }
  // The large-order transform scales its leaves itself.
  if (n < build.largeFrom && spec->scaleInverse != 0) {
    build.scale(spec->scaleFactor, dstRe, points);
    build.scale(spec->scaleFactor, dstIm, points);
  }
  FreeAligned(allocated);
  return StatusOk;
}

}  // namespace

PrimitiveStatus ippsFFTInv_CToC_64f_V1(const double* srcRe, const double* srcIm, double* dstRe,
                                       double* dstIm, const FftSpec64f* spec, std::uint8_t* buffer) {
  return Inverse(kDriver1, srcRe, srcIm, dstRe, dstIm, spec, buffer);
}
PrimitiveStatus ippsFFTInv_CToC_64f_V2(const double* srcRe, const double* srcIm, double* dstRe,
                                       double* dstIm, const FftSpec64f* spec, std::uint8_t* buffer) {
  return Inverse(kDriver2, srcRe, srcIm, dstRe, dstIm, spec, buffer);
}
PrimitiveStatus ippsFFTInv_CToC_64f_V3(const double* srcRe, const double* srcIm, double* dstRe,
                                       double* dstIm, const FftSpec64f* spec, std::uint8_t* buffer) {
  return Inverse(kDriver3, srcRe, srcIm, dstRe, dstIm, spec, buffer);
}
PrimitiveStatus ippsFFTInv_CToC_64f_V4(const double* srcRe, const double* srcIm, double* dstRe,
                                       double* dstIm, const FftSpec64f* spec, std::uint8_t* buffer) {
  return Inverse(kDriver4, srcRe, srcIm, dstRe, dstIm, spec, buffer);
}

}  // namespace zentra
