// Sample-by-sample models of the picture formulas, written straight from their
// definitions, for comparing the library's optimised passes against.
#pragma once

#include <support/kernel_test.h>
#include <zentra/resize.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

namespace zentra_test {

using zentra::ImageRect;
using zentra::ImageSize;

// Linear resize of one 8-bit channel computed sample by sample from the
// formulas: positions accumulated per axis, Q14 weights, two truncating stages.
struct Axis {
  std::vector<int> index;
  std::vector<int> weight;
};

inline Axis ModelAxis(int count, int region, double factor, int edge) {
  double scaled = region * factor;
  double step = scaled > 1.0 ? (region - 1) * (1.0 / (scaled - 1.0)) : 0.0;
  Axis a;
  double p = 0.0;
  for (int i = 0; i < count; ++i, p += step) {
    int j = static_cast<int>(std::trunc(p + 1e-7));
    int w;
    if (j == edge) {
      --j;
      w = 16384;
    } else {
      w = static_cast<int>(std::trunc((p - j) * 16384.0 + 1e-7));
    }
    a.index.push_back(j);
    a.weight.push_back(w);
  }
  return a;
}

inline int ModelCount(int available, int region, double factor) {
  double n = std::trunc(region * factor + 1e-7);
  return n < available ? std::max(1, static_cast<int>(n)) : available;
}

inline void ModelLinear(const Bytes& src, ImageSize size, int srcStep, ImageRect roi, Bytes& dst,
                 int dstStep, ImageSize dstSize, double xf, double yf) {
  int rw = std::min(roi.width, size.width - roi.x);
  int rh = std::min(roi.height, size.height - roi.y);
  int dw = ModelCount(dstSize.width, rw, xf);
  int dh = ModelCount(dstSize.height, rh, yf);
  Axis ax = ModelAxis(dw, rw, xf, size.width - 1 - roi.x);
  Axis ay = ModelAxis(dh, rh, yf, size.height - 1 - roi.y);
  auto at = [&](int r, int c) -> long long {
    return src[static_cast<std::size_t>((roi.y + r) * srcStep + roi.x + c)];
  };
  for (int i = 0; i < dh; ++i) {
    for (int k = 0; k < dw; ++k) {
      // Index -1 (a position on the image's last row or column) is read with weight 0.
      int j = ay.index[i], x = ax.index[k], f = ax.weight[k], w = ay.weight[i];
      long long up = (at(j, x) * (16384 - f) + at(j, x + 1) * f) >> 8;
      long long lo = (at(j + 1, x) * (16384 - f) + at(j + 1, x + 1) * f) >> 8;
      long long v = ((16384 - w) * up + w * lo) >> 20;
      dst[static_cast<std::size_t>(i * dstStep + k)] = static_cast<std::uint8_t>(v);
    }
  }
}

// YUV 4:2:0 to bottom-up B, G, R rows as written out step by step: doubled
// full-resolution chroma planes, then the 13-bit colour formulas. Even sizes.
inline Bytes ModelYuvToDib(int w, int h, const Bytes& y, const Bytes& u, const Bytes& v) {
  const int n = w / 2, stride = (3 * w + 3) & ~3;
  auto upsample = [&](const Bytes& c) {
    Bytes full(static_cast<std::size_t>(w * h));
    for (int cy = 0; cy < h / 2; ++cy) {
      const std::uint8_t* row = &c[cy * n];
      std::uint8_t* out = &full[2 * cy * w];
      out[0] = row[0];
      for (int k = 0; k < n; ++k) {
        out[2 * k + 1] = row[k];
        if (k > 0) out[2 * k] = static_cast<std::uint8_t>((row[k - 1] + row[k]) >> 1);
      }
    }
    for (int cy = 0; cy + 1 < h / 2; ++cy)
      for (int x = 0; x < w; ++x)
        full[(2 * cy + 1) * w + x] =
            static_cast<std::uint8_t>((full[2 * cy * w + x] + full[(2 * cy + 2) * w + x]) >> 1);
    for (int x = 0; x < w; ++x) full[(h - 1) * w + x] = full[(h - 2) * w + x];
    return full;
  };
  Bytes uf = upsample(u), vf = upsample(v);
  Bytes dib(static_cast<std::size_t>(stride * h + 40), 0);
  for (int r = 0; r < h; ++r)
    for (int x = 0; x < w; ++x) {
      int Y = y[r * w + x], cb = uf[r * w + x] - 128, cr = vf[r * w + x] - 128;
      auto clamp = [](int t) { return static_cast<std::uint8_t>(std::clamp(t, 0, 255)); };
      std::uint8_t* p = &dib[40 + (h - 1 - r) * stride + 3 * x];
      p[0] = clamp((8192 * Y + 4096 + 14516 * cb) >> 13);
      p[1] = clamp((8192 * Y + 4096 - 2819 * cb - 5850 * cr) >> 13);
      p[2] = clamp((8192 * Y + 4096 + 11485 * cr) >> 13);
    }
  return dib;
}

// RGB rows (bottom-up, R first, stride (3w+3)&~3) to Y, U (Cb), V (Cr) planes.
inline void ModelRgbToYuv(const Bytes& px, int w, int h, Bytes& y, Bytes& u, Bytes& v) {
  const int stride = (3 * w + 3) & ~3;
  auto term = [](int i, float c) { return static_cast<long long>(std::trunc(256.0L * i * c)); };
  std::vector<int> cb(static_cast<std::size_t>(w * h)), cr(cb.size());
  y.assign(static_cast<std::size_t>(w * h), 0);
  for (int r = 0; r < h; ++r)
    for (int x = 0; x < w; ++x) {
      const std::uint8_t* p = &px[(h - 1 - r) * stride + 3 * x];
      y[r * w + x] = static_cast<std::uint8_t>((1048576 + term(p[0], 65.481f) + term(p[1], 128.553f) + term(p[2], 24.966f)) >> 16);
      cb[r * w + x] = static_cast<int>((8388608 - term(p[0], 37.797f) - term(p[1], 74.203f) + term(p[2], 112.0f)) >> 16);
      cr[r * w + x] = static_cast<int>((8388608 + term(p[0], 112.0f) - term(p[1], 93.786f) - term(p[2], 18.214f)) >> 16);
    }
  const int cw = w / 2, ch = h / 2;
  u.assign(static_cast<std::size_t>(cw * ch), 0);
  v.assign(u.size(), 0);
  for (int j = 0; j < ch; ++j)
    for (int i = 0; i < cw; ++i) {
      auto avg = [&](const std::vector<int>& c) {
        return (c[2 * j * w + 2 * i] + c[2 * j * w + 2 * i + 1] + c[(2 * j + 1) * w + 2 * i] + c[(2 * j + 1) * w + 2 * i + 1]) >> 2;
      };
      u[j * cw + i] = static_cast<std::uint8_t>(avg(cb));
      v[j * cw + i] = static_cast<std::uint8_t>(avg(cr));
    }
}

// Bilinear resize of 24-bit rows (source sw x sh) to dw x dh, 8-bit fractions.
inline Bytes ModelResizeDibPixels(const std::uint8_t* src, int sw, int sh, int dw, int dh) {
  const int stride = (3 * sw + 3) & ~3, dstStride = (3 * dw + 3) & ~3;
  Bytes out(static_cast<std::size_t>(dstStride * dh), 0);
  for (int i = 0; i < dh; ++i)
    for (int j = 0; j < dw; ++j) {
      double p = i * (static_cast<double>(sh) / dh), q = j * (static_cast<double>(sw) / dw);
      int y0 = static_cast<int>(p), x0 = static_cast<int>(q);
      int fy = static_cast<int>((p - y0) * 256), fx = static_cast<int>((q - x0) * 256);
      int y1 = y0 < sh - 1 ? y0 + 1 : y0, x1 = x0 < sw - 1 ? x0 + 1 : x0;
      for (int c = 0; c < 3; ++c) {
        auto s = [&](int yy, int xx) { return src[yy * stride + 3 * xx + c]; };
        out[i * dstStride + 3 * j + c] = static_cast<std::uint8_t>(
            ((256 - fx) * (256 - fy) * s(y0, x0) + fx * (256 - fy) * s(y0, x1) +
             (256 - fx) * fy * s(y1, x0) + fx * fy * s(y1, x1)) >> 16);
      }
    }
  return out;
}

}  // namespace zentra_test
