// Bit-reversal tables and permutations. Each table entry names a group of four
// positions {2k, 2k+1, h+2k, h+2k+1} (h = N/2), so the permutations move whole
// groups and never compute a reversal at transform time.
#include <zentra/fft_bitreverse.h>
#include <zentra/primitive_runtime.h>

#include <emmintrin.h>

#include <cstring>

namespace zentra {

namespace {

// Walks the bit-reversed counter d = r(k) for k = 1..b-1 over n - 2 bits.
template <typename Visit>
void ForEachReversal(std::int32_t n, Visit visit) {
  const std::int32_t b = n >= 2 ? std::int32_t{1} << (n - 2) : 1;
  std::int32_t d = 0;
  for (std::int32_t k = 1; k < b; ++k) {
    std::int32_t e = b / 2;
    while (e <= d) {
      d -= e;
      e /= 2;
    }
    d += e;
    visit(k, d);
  }
}

std::int32_t* AllocTableOfOrder(std::int32_t n) {
  const std::int32_t entries = (n >= 2 ? std::int32_t{1} << (n - 2) : 1) + 1;
  return static_cast<std::int32_t*>(AllocAligned(entries * 4));
}

// The copy of one element: V1 as raw bits, V2 through the x87 unit, a load
// to extended precision and a store back (bit-exact for every double but a
// signalling NaN, which comes out quieted). Written as instructions: a
// compiler sees through a long double round trip and emits a plain move.
struct RawMove {
  static void Copy(std::uint64_t& to, const std::uint64_t& from) { to = from; }
};
struct X87Move {
  static void Copy(double& to, const double& from) {
    asm("fldl %1\n\tfstpl %0" : "=m"(to) : "m"(from));
  }
};

template <typename Move, typename E>
void Swap(E* data, std::int32_t a, std::int32_t b) {
  E t;
  Move::Copy(t, data[a]);
  Move::Copy(data[a], data[b]);
  Move::Copy(data[b], t);
}

template <typename Move, typename E>
void PermuteOutOfPlace(const E* src, E* dst, std::int32_t count, const std::int32_t* pairs) {
  if (count < 8) {
    Move::Copy(dst[0], src[0]);
    Move::Copy(dst[count - 1], src[count - 1]);
    if (count == 4) {
      Move::Copy(dst[2], src[1]);
      Move::Copy(dst[1], src[2]);
    }
    return;
  }
  const std::int32_t h = count / 2;
  auto group = [&](std::int32_t k, std::int32_t d) {
    Move::Copy(dst[d], src[k]);
    Move::Copy(dst[d + 1], src[h + k]);
    Move::Copy(dst[h + d], src[k + 1]);
    Move::Copy(dst[h + d + 1], src[h + k + 1]);
  };
  const std::int32_t* p = pairs;
  for (; p[0] > 0; p += 2) {
    group(p[0] / 2, p[1] / 2);
    group(p[1] / 2, p[0] / 2);
  }
  group(0, 0);
  for (++p; *p > 0; ++p) group(*p / 2, *p / 2);
}

// Pair swaps of V3 move two adjacent elements per 128-bit load and store.
struct SseGroups {
  static void PairSwap(double* data, std::int32_t h, std::int32_t k, std::int32_t d) {
    __m128d ak = _mm_loadu_pd(data + k), bk = _mm_loadu_pd(data + h + k);
    __m128d ad = _mm_loadu_pd(data + d), bd = _mm_loadu_pd(data + h + d);
    _mm_storeu_pd(data + d, _mm_unpacklo_pd(ak, bk));
    _mm_storeu_pd(data + h + d, _mm_unpackhi_pd(ak, bk));
    _mm_storeu_pd(data + k, _mm_unpacklo_pd(ad, bd));
    _mm_storeu_pd(data + h + k, _mm_unpackhi_pd(ad, bd));
  }
};

template <typename Move>
struct ScalarGroups {
  template <typename E>
  static void PairSwap(E* data, std::int32_t h, std::int32_t k, std::int32_t d) {
    Swap<Move>(data, k, d);
    Swap<Move>(data, k + 1, h + d);
    Swap<Move>(data, h + k, d + 1);
    Swap<Move>(data, h + k + 1, h + d + 1);
  }
};

template <typename Groups, typename SelfMove, typename E>
void PermuteInPlace(E* data, std::int32_t count, const std::int32_t* pairs) {
  if (count < 4) return;
  const std::int32_t h = count / 2;
  const std::int32_t* p = pairs;
  for (; p[0] > 0; p += 2) Groups::PairSwap(data, h, p[0] / 2, p[1] / 2);
  Swap<SelfMove>(data, 1, h);
  for (++p; *p > 0; ++p) Swap<SelfMove>(data, *p / 2 + 1, h + *p / 2);
}

struct ComplexMove {
  static void Copy(Complex64fc& to, const Complex64fc& from) { to = from; }
};

}  // namespace

std::int32_t* BuildBitReverseTable(std::int32_t n) {
  std::int32_t* table = AllocTableOfOrder(n);
  if (table == nullptr) return nullptr;
  const std::int32_t b = n >= 2 ? std::int32_t{1} << (n - 2) : 1;
  std::int32_t front = 0, back = b - 1;
  ForEachReversal(n, [&](std::int32_t k, std::int32_t d) {
    if (k < d) {
      table[front++] = 4 * k;
      table[front++] = 4 * d;
    } else if (k == d) {
      table[back--] = 4 * k;
    }
  });
  table[front] = 0;
  table[b] = 0;
  return table;
}

std::int32_t* BuildBitReverseIndexTable(std::int32_t n) {
  std::int32_t* table = AllocTableOfOrder(n);
  if (table == nullptr) return nullptr;
  const std::int32_t b = n >= 2 ? std::int32_t{1} << (n - 2) : 1;
  table[0] = 0;
  ForEachReversal(n, [&](std::int32_t k, std::int32_t d) { table[k] = 2 * d; });
  table[b] = 0;
  return table;
}

void BitReversePermute_V1(const std::uint64_t* src, std::uint64_t* dst, std::int32_t count,
                          const std::int32_t* pairs) {
  PermuteOutOfPlace<RawMove>(src, dst, count, pairs);
}

void BitReversePermute_V2(const double* src, double* dst, std::int32_t count,
                          const std::int32_t* pairs) {
  PermuteOutOfPlace<X87Move>(src, dst, count, pairs);
}

void BitReversePermuteInPlace_V1(std::uint64_t* data, std::int32_t count, const std::int32_t* pairs) {
  PermuteInPlace<ScalarGroups<RawMove>, RawMove>(data, count, pairs);
}

void BitReversePermuteInPlace_V2(double* data, std::int32_t count, const std::int32_t* pairs) {
  PermuteInPlace<ScalarGroups<X87Move>, X87Move>(data, count, pairs);
}

void BitReversePermuteInPlace_V3(double* data, std::int32_t count, const std::int32_t* pairs) {
  PermuteInPlace<SseGroups, X87Move>(data, count, pairs);
}

void BitReversePermuteInPlace64fc(Complex64fc* data, std::int32_t count, const std::int32_t* pairs) {
  PermuteInPlace<ScalarGroups<ComplexMove>, ComplexMove>(data, count, pairs);
}

}  // namespace zentra
