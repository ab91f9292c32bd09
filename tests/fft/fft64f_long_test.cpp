// The largest order that a record can be made for (26) or, on a machine with
// less free memory, the largest that fits, in every build.
#include <zentra/fft_primitives.h>
#include <zentra/fft_spec64f.h>

#include "fft_test_support.h"

#include <gtest/gtest.h>
#include <unistd.h>

namespace {

using namespace zentra;
using namespace zentra_test;

// Bytes per point: source and result (32), FFTW's long-double buffer (32) and
// the record's tables (about 20).
constexpr std::uint64_t kBytesPerPoint = 84;

std::int32_t LargestOrderThatFits() {
  const std::uint64_t available =
      static_cast<std::uint64_t>(sysconf(_SC_AVPHYS_PAGES)) * static_cast<std::uint64_t>(sysconf(_SC_PAGESIZE));
  std::int32_t order = 26;
  while (order > 20 && (std::uint64_t{1} << order) * kBytesPerPoint > available / 2) --order;
  return order;
}

TEST(FftInv64fLong, LargestOrderInEveryBuild) {
  const std::int32_t order = LargestOrderThatFits();
  const std::size_t n = std::size_t{1} << order;
  std::printf("order %d\n", order);
  const SplitSignal x = RandomSignal(n, 26);

  auto* ref = static_cast<fftwl_complex*>(fftwl_malloc(sizeof(fftwl_complex) * n));
  ASSERT_NE(ref, nullptr);
  fftwl_plan plan = fftwl_plan_dft_1d(static_cast<int>(n), ref, ref, FFTW_BACKWARD, FFTW_ESTIMATE);
  for (std::size_t j = 0; j < n; ++j) ref[j][0] = x.re[j], ref[j][1] = x.im[j];
  fftwl_execute(plan);
  fftwl_destroy_plan(plan);

  for (std::int32_t build = 1; build <= 4; ++build) {
    ForcedBuild forced(build);
    FftSpec64f* spec = nullptr;
    ASSERT_EQ(ippsFFTInitAlloc_C_64f(&spec, order, 2, 0), StatusOk) << build;
    SplitSignal y(n);
    ASSERT_EQ(ippsFFTInv_CToC_64f(x.re.data(), x.im.data(), y.re.data(), y.im.data(), spec, nullptr), StatusOk);
    ippsFFTFree_C_64f(spec);
    long double err = 0, norm = 0;
    const long double scale = 1.0L / n;
    for (std::size_t k = 0; k < n; ++k) {
      const long double dr = y.re[k] - ref[k][0] * scale, di = y.im[k] - ref[k][1] * scale;
      err += dr * dr + di * di;
      norm += (ref[k][0] * ref[k][0] + ref[k][1] * ref[k][1]) * scale * scale;
    }
    EXPECT_LE(std::sqrt(static_cast<double>(err / norm)), (build == 1 ? 4e-16 : 8e-16) * order) << build;
  }
  fftwl_free(ref);
}

}  // namespace
