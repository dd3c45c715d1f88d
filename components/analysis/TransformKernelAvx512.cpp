// The AVX-512 kernel: eight doubles per vector, 32 registers, so passes of three stages keep all
// sixteen data vectors in registers. Built with -mavx512f -ffp-contract=off; called only after the
// CPU reports AVX-512F.
// GCC 12's AVX-512 intrinsics fill unused lanes from a self-initialised "undefined" vector, which
// -Wall reports at every use; the lanes are never read.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wuninitialized"
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#include <immintrin.h>
#pragma GCC diagnostic pop

#include "TransformKernel.h"
#include "TransformKernelSimd.h"

namespace transform_kernel {
namespace {

struct Avx512Ops {
  using V = __m512d;
  static constexpr int kWidth = kWidthAvx512;

  static V Load(const double* p) { return _mm512_loadu_pd(p); }
  static void Store(double* p, V v) { _mm512_storeu_pd(p, v); }
  static V Set1(double d) { return _mm512_set1_pd(d); }
  static V Zero() { return _mm512_setzero_pd(); }
  static V Add(V a, V b) { return _mm512_add_pd(a, b); }
  static V Sub(V a, V b) { return _mm512_sub_pd(a, b); }
  static V Mul(V a, V b) { return _mm512_mul_pd(a, b); }
  static V Div(V a, V b) { return _mm512_div_pd(a, b); }
  static V Sqrt(V a) { return _mm512_sqrt_pd(a); }

  // 8 x 8 transpose: pairs within 128-bit lanes, then 128-bit lanes, then 256-bit halves.
  static void TransposeStore8(const V rows[8], double* out, const int32_t* start) {
    const __m512i pairsLow = _mm512_set_epi64(13, 12, 5, 4, 9, 8, 1, 0);
    const __m512i pairsHigh = _mm512_set_epi64(15, 14, 7, 6, 11, 10, 3, 2);
    V t[8];
    for (int k = 0; k < 4; ++k) {
      t[2 * k] = _mm512_unpacklo_pd(rows[2 * k], rows[2 * k + 1]);      // lanes 0 2 4 6 of the pair
      t[2 * k + 1] = _mm512_unpackhi_pd(rows[2 * k], rows[2 * k + 1]);  // lanes 1 3 5 7
    }
    // u[0]: lanes 0, 4 of rows 0-3; u[1]: lanes 2, 6; u[2]: lanes 1, 5; u[3]: lanes 3, 7.
    // u[4 .. 7]: the same for rows 4-7.
    V u[8];
    for (int k = 0; k < 2; ++k) {
      u[4 * k + 0] = _mm512_permutex2var_pd(t[4 * k], pairsLow, t[4 * k + 2]);
      u[4 * k + 1] = _mm512_permutex2var_pd(t[4 * k], pairsHigh, t[4 * k + 2]);
      u[4 * k + 2] = _mm512_permutex2var_pd(t[4 * k + 1], pairsLow, t[4 * k + 3]);
      u[4 * k + 3] = _mm512_permutex2var_pd(t[4 * k + 1], pairsHigh, t[4 * k + 3]);
    }
    // Lane l's row is (low or high half of u[a], same half of u[a + 4]); storing the halves
    // directly keeps the last step off the shuffle port.
    const int lanes[4] = {0, 2, 1, 3};
    for (int k = 0; k < 4; ++k) {
      double* low = out + start[lanes[k]];
      double* high = out + start[lanes[k] + 4];
      _mm256_storeu_pd(low, _mm512_castpd512_pd256(u[k]));
      _mm256_storeu_pd(low + 4, _mm512_castpd512_pd256(u[k + 4]));
      _mm256_storeu_pd(high, _mm512_extractf64x4_pd(u[k], 1));
      _mm256_storeu_pd(high + 4, _mm512_extractf64x4_pd(u[k + 4], 1));
    }
  }

  static void StoreInterleaved(double* out, V re, V im) {
    const __m512i low = _mm512_set_epi64(11, 3, 10, 2, 9, 1, 8, 0);
    const __m512i high = _mm512_set_epi64(15, 7, 14, 6, 13, 5, 12, 4);
    _mm512_storeu_pd(out, _mm512_permutex2var_pd(re, low, im));
    _mm512_storeu_pd(out + 8, _mm512_permutex2var_pd(re, high, im));
  }

  static V SquaredNorms(const double* in) {
    const __m512i even = _mm512_set_epi64(14, 12, 10, 8, 6, 4, 2, 0);
    const __m512i odd = _mm512_set_epi64(15, 13, 11, 9, 7, 5, 3, 1);
    const V a = _mm512_loadu_pd(in);
    const V b = _mm512_loadu_pd(in + 8);
    const V re = _mm512_permutex2var_pd(a, even, b);
    const V im = _mm512_permutex2var_pd(a, odd, b);
    return _mm512_add_pd(_mm512_mul_pd(re, re), _mm512_mul_pd(im, im));
  }
};

using Kernel = SimdKernel<Avx512Ops>;

}  // namespace

void RunAvx512(const Layout& layout, const double* x, double* spectrum) {
  Kernel::Run(layout, x, spectrum);
}

int32_t MagnitudesAvx512(const double* spectrum, int32_t count, double scale, bool multiply,
                         double* magnitudes) {
  return Kernel::Magnitudes(spectrum, count, scale, multiply, magnitudes);
}

}  // namespace transform_kernel
