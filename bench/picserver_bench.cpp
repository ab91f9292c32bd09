// The picture server's per-picture work beside libswscale doing the same job,
// timed in one run. Each case also reports the PSNR of both outputs against a
// double-precision model of the server's formulas; at the end the time ratios
// (libswscale time / ZENTRA time, above 1 means ZENTRA is faster) are printed,
// from the medians when repetitions are asked for. The conversions are also
// timed in each build of their row kernels that the processor runs.
#include <zentra/conversions.h>
#include <zentra/resize.h>

#include "median_reporter.h"

#include <benchmark/benchmark.h>

extern "C" {
#include <libavutil/pixfmt.h>
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <map>
#include <random>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;
constexpr int kW = 720, kH = 576;

// A camera-like test picture: gradients, edges and noise.
struct Picture {
  Bytes y, u, v, rgb;  // planes and bottom-up R, G, B rows
  Picture() : y(kW * kH), u(kW * kH / 4), v(kW * kH / 4), rgb(3 * kW * kH) {
    std::mt19937 rng(5);
    for (int r = 0; r < kH; ++r)
      for (int x = 0; x < kW; ++x) {
        int base = (x * 255 / kW + r * 128 / kH) / 2 + ((x / 40 + r / 40) % 2) * 60;
        y[r * kW + x] = static_cast<std::uint8_t>(std::clamp(base + int(rng() % 16), 0, 255));
        for (int c = 0; c < 3; ++c)
          rgb[r * 3 * kW + 3 * x + c] = static_cast<std::uint8_t>(std::clamp(base + c * 40 - 40 + int(rng() % 16), 0, 255));
      }
    for (int r = 0; r < kH / 2; ++r)
      for (int x = 0; x < kW / 2; ++x) {
        u[r * kW / 2 + x] = static_cast<std::uint8_t>(128 + 60 * std::sin(x / 25.0) + rng() % 8);
        v[r * kW / 2 + x] = static_cast<std::uint8_t>(128 + 60 * std::cos(r / 19.0) + rng() % 8);
      }
  }
};

const Picture& Source() {
  static Picture p;
  return p;
}

double Psnr(const std::vector<double>& model, const Bytes& got) {
  double se = 0;
  for (std::size_t i = 0; i < model.size(); ++i) {
    double d = std::clamp(model[i], 0.0, 255.0) - got[i];
    se += d * d;
  }
  double mse = se / static_cast<double>(model.size());
  return mse == 0 ? 99.0 : 10 * std::log10(255.0 * 255.0 / mse);
}

// ---- Double-precision models of the formulas.

std::vector<double> ModelResize(const Bytes& src, int sw, int sh, int dw, int dh) {
  auto steps = [](int n, int d) { return d > 1 ? (n - 1) / double(d - 1) : 0.0; };
  double sx = steps(sw, dw), sy = steps(sh, dh);
  std::vector<double> out(static_cast<std::size_t>(dw * dh));
  for (int i = 0; i < dh; ++i)
    for (int k = 0; k < dw; ++k) {
      double py = i * sy, px = k * sx;
      int y0 = std::min(int(py), sh - 2), x0 = std::min(int(px), sw - 2);
      double fy = py - y0, fx = px - x0;
      auto s = [&](int r, int c) { return double(src[r * sw + c]); };
      out[i * dw + k] = (1 - fy) * ((1 - fx) * s(y0, x0) + fx * s(y0, x0 + 1)) +
                        fy * ((1 - fx) * s(y0 + 1, x0) + fx * s(y0 + 1, x0 + 1));
    }
  return out;
}

// Pixel rows top-down, B, G, R, from the planes with the chroma doubled as the
// server does (sample at the odd position, averages between) in exact arithmetic.
std::vector<double> ModelYuvToBgr(const Picture& p) {
  auto full = [&](const Bytes& c, int r, int x) {
    auto h = [&](int row, int col) {
      int k = col / 2;
      const std::uint8_t* line = &c[row * kW / 2];
      if (col % 2 == 1 || k == 0) return double(line[k]);
      return (line[k - 1] + line[k]) / 2.0;
    };
    int cr = r / 2;
    if (r % 2 == 0 || r == kH - 1) return h(std::min(cr, kH / 2 - 1), x);
    return (h(cr, x) + h(cr + 1, x)) / 2.0;
  };
  std::vector<double> out(static_cast<std::size_t>(3 * kW * kH));
  for (int r = 0; r < kH; ++r)
    for (int x = 0; x < kW; ++x) {
      double Y = p.y[r * kW + x], cb = full(p.u, r, x) - 128, cr = full(p.v, r, x) - 128;
      double* o = &out[3 * (r * kW + x)];
      o[0] = Y + 1.772 * cb;
      o[1] = Y - 0.344 * cb - 0.714 * cr;
      o[2] = Y + 1.402 * cr;
    }
  return out;
}

// Studio-range BT.601 Y plane from the bottom-up RGB rows.
std::vector<double> ModelRgbToY(const Picture& p) {
  std::vector<double> out(static_cast<std::size_t>(kW * kH));
  for (int r = 0; r < kH; ++r)
    for (int x = 0; x < kW; ++x) {
      const std::uint8_t* px = &p.rgb[(kH - 1 - r) * 3 * kW + 3 * x];
      out[r * kW + x] = 16 + (65.481 * px[0] + 128.553 * px[1] + 24.966 * px[2]) / 255.0;
    }
  return out;
}

// ---- ZENTRA and libswscale side by side.

struct Planes {
  Bytes y, u, v;
  Planes(int w, int h) : y(w * h), u(w * h / 4), v(w * h / 4) {}
};

void ZentraResize(benchmark::State& state, int dw, int dh) {
  const Picture& p = Source();
  Planes out(dw, dh);
  for (auto _ : state) {
    zentra::ResizeYuvPlanes(kW, kH, p.y.data(), p.u.data(), p.v.data(), dw, dh, out.y.data(), out.u.data(), out.v.data());
    benchmark::DoNotOptimize(out.y.data());
  }
  state.counters["PSNR_Y_dB"] = Psnr(ModelResize(p.y, kW, kH, dw, dh), out.y);
}

void SwscaleResize(benchmark::State& state, int dw, int dh) {
  const Picture& p = Source();
  Planes out(dw, dh);
  SwsContext* ctx = sws_getContext(kW, kH, AV_PIX_FMT_YUV420P, dw, dh, AV_PIX_FMT_YUV420P, SWS_BILINEAR, nullptr, nullptr, nullptr);
  const std::uint8_t* src[3] = {p.y.data(), p.u.data(), p.v.data()};
  const int srcStride[3] = {kW, kW / 2, kW / 2};
  std::uint8_t* dst[3] = {out.y.data(), out.u.data(), out.v.data()};
  const int dstStride[3] = {dw, dw / 2, dw / 2};
  for (auto _ : state) {
    sws_scale(ctx, src, srcStride, 0, kH, dst, dstStride);
    benchmark::DoNotOptimize(out.y.data());
  }
  sws_freeContext(ctx);
  state.counters["PSNR_Y_dB"] = Psnr(ModelResize(p.y, kW, kH, dw, dh), out.y);
}

void YuvToDibWith(benchmark::State& state, const zentra::YuvToDibKernels& build) {
  const Picture& p = Source();
  Bytes dib(static_cast<std::size_t>(3 * kW * kH + 40));
  if (!zentra::ConversionBuildRuns(build.build)) {
    state.SkipWithError("build does not run on this processor");
    return;
  }
  for (auto _ : state) {
    zentra::YuvPlanesToDibWith(build, kW, kH, p.y.data(), p.u.data(), p.v.data(), dib.data());
    benchmark::DoNotOptimize(dib.data());
  }
  Bytes topDown(static_cast<std::size_t>(3 * kW * kH));
  for (int r = 0; r < kH; ++r)
    std::copy_n(&dib[40 + (kH - 1 - r) * 3 * kW], 3 * kW, &topDown[r * 3 * kW]);
  state.counters["PSNR_dB"] = Psnr(ModelYuvToBgr(p), topDown);
}

void SwscaleYuvToBgr(benchmark::State& state) {
  const Picture& p = Source();
  Bytes bgr(static_cast<std::size_t>(3 * kW * kH));
  SwsContext* ctx = sws_getContext(kW, kH, AV_PIX_FMT_YUV420P, kW, kH, AV_PIX_FMT_BGR24, SWS_BILINEAR, nullptr, nullptr, nullptr);
  // The server's formula takes luma as full range; tell libswscale the same.
  const int* coefficients = sws_getCoefficients(SWS_CS_ITU601);
  sws_setColorspaceDetails(ctx, coefficients, 1, coefficients, 1, 0, 1 << 16, 1 << 16);
  const std::uint8_t* src[3] = {p.y.data(), p.u.data(), p.v.data()};
  const int srcStride[3] = {kW, kW / 2, kW / 2};
  std::uint8_t* dst[1] = {bgr.data()};
  const int dstStride[1] = {3 * kW};
  for (auto _ : state) {
    sws_scale(ctx, src, srcStride, 0, kH, dst, dstStride);
    benchmark::DoNotOptimize(bgr.data());
  }
  sws_freeContext(ctx);
  state.counters["PSNR_dB"] = Psnr(ModelYuvToBgr(p), bgr);
}

void RgbToYuvWith(benchmark::State& state, const zentra::RgbToYuvKernels& build) {
  const Picture& p = Source();
  Planes out(kW, kH);
  for (auto _ : state) {
    zentra::RgbToYuvPlanesWith(build, p.rgb.data(), kW, kH, out.y.data(), out.v.data(), out.u.data());
    benchmark::DoNotOptimize(out.y.data());
  }
  state.counters["PSNR_Y_dB"] = Psnr(ModelRgbToY(p), out.y);
}

void SwscaleRgbToYuv(benchmark::State& state) {
  const Picture& p = Source();
  Planes out(kW, kH);
  SwsContext* ctx = sws_getContext(kW, kH, AV_PIX_FMT_RGB24, kW, kH, AV_PIX_FMT_YUV420P, SWS_BILINEAR, nullptr, nullptr, nullptr);
  // Bottom-up rows: start at the last row and step backwards.
  const std::uint8_t* src[1] = {p.rgb.data() + (kH - 1) * 3 * kW};
  const int srcStride[1] = {-3 * kW};
  std::uint8_t* dst[3] = {out.y.data(), out.u.data(), out.v.data()};
  const int dstStride[3] = {kW, kW / 2, kW / 2};
  for (auto _ : state) {
    sws_scale(ctx, src, srcStride, 0, kH, dst, dstStride);
    benchmark::DoNotOptimize(out.y.data());
  }
  sws_freeContext(ctx);
  state.counters["PSNR_Y_dB"] = Psnr(ModelRgbToY(p), out.y);
}

BENCHMARK_CAPTURE(ZentraResize, to352x288, 352, 288)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(SwscaleResize, to352x288, 352, 288)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(ZentraResize, to480x576, 480, 576)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(SwscaleResize, to480x576, 480, 576)->Unit(benchmark::kMicrosecond);
// The running build (what YuvPlanesToDib and RgbToYuvPlanes use) beside
// libswscale, then every build.
void ZentraYuvToDib(benchmark::State& state) { YuvToDibWith(state, zentra::RunningYuvToDibBuild()); }
void ZentraRgbToYuv(benchmark::State& state) { RgbToYuvWith(state, zentra::RunningRgbToYuvBuild()); }
BENCHMARK(ZentraYuvToDib)->Unit(benchmark::kMicrosecond);
BENCHMARK(SwscaleYuvToBgr)->Unit(benchmark::kMicrosecond);
BENCHMARK(ZentraRgbToYuv)->Unit(benchmark::kMicrosecond);
BENCHMARK(SwscaleRgbToYuv)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(YuvToDibWith, C, zentra::YuvToDibBuilds[zentra::kConversionBuildC])->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(YuvToDibWith, Sse2, zentra::YuvToDibBuilds[zentra::kConversionBuildSse2])->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(YuvToDibWith, Avx2, zentra::YuvToDibBuilds[zentra::kConversionBuildAvx2])->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(RgbToYuvWith, C, zentra::RgbToYuvBuilds[zentra::kConversionBuildC])->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(RgbToYuvWith, Sse2, zentra::RgbToYuvBuilds[zentra::kConversionBuildSse2])->Unit(benchmark::kMicrosecond);

// ---- Cubic and area-averaging reductions of one 8-bit plane.

// A camera-like plane of any size: gradients, edges and noise.
const Bytes& Plane(int w, int h) {
  static std::map<std::pair<int, int>, Bytes> planes;
  Bytes& p = planes[{w, h}];
  if (p.empty()) {
    p.resize(static_cast<std::size_t>(w) * h);
    std::mt19937 rng(9);
    for (int r = 0; r < h; ++r)
      for (int x = 0; x < w; ++x) {
        int base = (x * 255 / w + r * 128 / h) / 2 + ((x * 18 / w + r * 14 / h) % 2) * 60;
        p[static_cast<std::size_t>(r) * w + x] = static_cast<std::uint8_t>(std::clamp(base + int(rng() % 16), 0, 255));
      }
  }
  return p;
}

// The cubic through four taps in exact arithmetic at the positions of the
// server's cubic tables (first and last samples on the plane's ends).
std::vector<double> ModelCubic(const Bytes& src, int sw, int sh, int dw, int dh) {
  auto axis = [](int n, int d, std::vector<int>& index, std::vector<double>& t) {
    const double step = d > 1 ? (n - 1) / double(d - 1) : 0.0;
    for (int i = 0; i < d; ++i) {
      const double p = i * step;
      const int j = std::clamp(int(p), 1, n - 3);
      index.push_back(j);
      t.push_back(p - j);
    }
  };
  std::vector<int> xi, yi;
  std::vector<double> xt, yt;
  axis(sw, dw, xi, xt);
  axis(sh, dh, yi, yt);
  auto cubic = [](const double f[4], double t) {
    return f[0] * (-t * (t - 1) * (t - 2) / 6) + f[1] * ((t + 1) * (t - 1) * (t - 2) / 2) +
           f[2] * (-(t + 1) * t * (t - 2) / 2) + f[3] * ((t + 1) * t * (t - 1) / 6);
  };
  std::vector<double> out(static_cast<std::size_t>(dw) * dh);
  for (int i = 0; i < dh; ++i)
    for (int k = 0; k < dw; ++k) {
      double rows[4];
      for (int r = 0; r < 4; ++r) {
        double f[4];
        for (int c = 0; c < 4; ++c) f[c] = src[static_cast<std::size_t>(yi[i] - 1 + r) * sw + xi[k] - 1 + c];
        rows[r] = cubic(f, xt[k]);
      }
      out[static_cast<std::size_t>(i) * dw + k] = cubic(rows, yt[i]);
    }
  return out;
}

// The mean of the area each destination sample covers, by exact overlaps.
std::vector<double> ModelArea(const Bytes& src, int sw, int sh, int dw, int dh) {
  const double rx = double(sw) / dw, ry = double(sh) / dh;
  auto overlap = [](double a, double b, int j) { return std::max(0.0, std::min(b, j + 1.0) - std::max(a, double(j))); };
  std::vector<double> out(static_cast<std::size_t>(dw) * dh);
  for (int i = 0; i < dh; ++i)
    for (int k = 0; k < dw; ++k) {
      double sum = 0, area = 0;
      for (int r = int(i * ry); r < std::min(sh, int((i + 1) * ry) + 1); ++r)
        for (int x = int(k * rx); x < std::min(sw, int((k + 1) * rx) + 1); ++x) {
          const double w = overlap(i * ry, (i + 1) * ry, r) * overlap(k * rx, (k + 1) * rx, x);
          sum += w * src[static_cast<std::size_t>(r) * sw + x];
          area += w;
        }
      out[static_cast<std::size_t>(i) * dw + k] = sum / area;
    }
  return out;
}

void ZentraReduce(benchmark::State& state, int sw, int sh, int dw, int dh, int interpolation) {
  const Bytes& src = Plane(sw, sh);
  Bytes out(static_cast<std::size_t>(dw) * dh);
  for (auto _ : state) {
    zentra::ResizeImage(src.data(), {sw, sh}, sw, {0, 0, sw, sh}, out.data(), dw, {dw, dh},
                        double(dw) / sw, double(dh) / sh, interpolation);
    benchmark::DoNotOptimize(out.data());
  }
  state.counters["PSNR_dB"] = Psnr(interpolation == 4 ? ModelCubic(src, sw, sh, dw, dh) : ModelArea(src, sw, sh, dw, dh), out);
}

void SwscaleReduce(benchmark::State& state, int sw, int sh, int dw, int dh, int flags) {
  const Bytes& src = Plane(sw, sh);
  Bytes out(static_cast<std::size_t>(dw) * dh);
  SwsContext* ctx = sws_getContext(sw, sh, AV_PIX_FMT_GRAY8, dw, dh, AV_PIX_FMT_GRAY8, flags, nullptr, nullptr, nullptr);
  const std::uint8_t* in[1] = {src.data()};
  const int inStride[1] = {sw};
  std::uint8_t* dst[1] = {out.data()};
  const int dstStride[1] = {dw};
  for (auto _ : state) {
    sws_scale(ctx, in, inStride, 0, sh, dst, dstStride);
    benchmark::DoNotOptimize(out.data());
  }
  sws_freeContext(ctx);
  state.counters["PSNR_dB"] = Psnr(flags == SWS_BICUBIC ? ModelCubic(src, sw, sh, dw, dh) : ModelArea(src, sw, sh, dw, dh), out);
}

BENCHMARK_CAPTURE(ZentraReduce, cubic_720x576_to_352x288, 720, 576, 352, 288, 4)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(SwscaleReduce, bicubic_720x576_to_352x288, 720, 576, 352, 288, SWS_BICUBIC)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(ZentraReduce, cubic_1920x1080_to_720x576, 1920, 1080, 720, 576, 4)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(SwscaleReduce, bicubic_1920x1080_to_720x576, 1920, 1080, 720, 576, SWS_BICUBIC)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(ZentraReduce, area_720x576_to_352x288, 720, 576, 352, 288, 8)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(SwscaleReduce, area_720x576_to_352x288, 720, 576, 352, 288, SWS_AREA)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(ZentraReduce, area_1920x1080_to_720x576, 1920, 1080, 720, 576, 8)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(SwscaleReduce, area_1920x1080_to_720x576, 1920, 1080, 720, 576, SWS_AREA)->Unit(benchmark::kMicrosecond);

// The ratios of ZENTRA's cases to libswscale's.
class RatioReporter : public MedianReporter {
 public:
  void PrintRatios() const {
    const char* pairs[][3] = {
        {"ResizeYuvPlanes 720x576->352x288", "ZentraResize/to352x288", "SwscaleResize/to352x288"},
        {"ResizeYuvPlanes 720x576->480x576", "ZentraResize/to480x576", "SwscaleResize/to480x576"},
        {"YuvPlanesToDib 720x576", "ZentraYuvToDib", "SwscaleYuvToBgr"},
        {"  plain build", "YuvToDibWith/C", "SwscaleYuvToBgr"},
        {"  SSE2 build", "YuvToDibWith/Sse2", "SwscaleYuvToBgr"},
        {"  AVX2 build", "YuvToDibWith/Avx2", "SwscaleYuvToBgr"},
        {"RgbToYuvPlanes 720x576", "ZentraRgbToYuv", "SwscaleRgbToYuv"},
        {"  plain build", "RgbToYuvWith/C", "SwscaleRgbToYuv"},
        {"  SSE2 build", "RgbToYuvWith/Sse2", "SwscaleRgbToYuv"},
        {"cubic 720x576->352x288", "ZentraReduce/cubic_720x576_to_352x288", "SwscaleReduce/bicubic_720x576_to_352x288"},
        {"cubic 1920x1080->720x576", "ZentraReduce/cubic_1920x1080_to_720x576", "SwscaleReduce/bicubic_1920x1080_to_720x576"},
        {"area 720x576->352x288", "ZentraReduce/area_720x576_to_352x288", "SwscaleReduce/area_720x576_to_352x288"},
        {"area 1920x1080->720x576", "ZentraReduce/area_1920x1080_to_720x576", "SwscaleReduce/area_1920x1080_to_720x576"}};
    std::printf("\nspeed ratio (libswscale time / ZENTRA time; above 1: ZENTRA faster)\n");
    for (auto& p : pairs) {
      const double z = Time(p[1]), s = Time(p[2]);
      if (z > 0 && s > 0) std::printf("  %-34s %6.2f\n", p[0], s / z);
    }
  }
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.PrintRatios();
  benchmark::Shutdown();
  return 0;
}
