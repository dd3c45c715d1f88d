// The AVX2 kernel: four doubles per vector. Built with -mavx2 -ffp-contract=off; called only after
// the CPU reports AVX2.
#include <immintrin.h>

#include "TransformKernel.h"
#include "TransformKernelSimd.h"

namespace transform_kernel {
namespace {

struct Avx2Ops {
  using V = __m256d;
  static constexpr int kWidth = kWidthAvx2;

  static V Load(const double* p) { return _mm256_loadu_pd(p); }
  static void Store(double* p, V v) { _mm256_storeu_pd(p, v); }
  static V Set1(double d) { return _mm256_set1_pd(d); }
  static V Zero() { return _mm256_setzero_pd(); }
  static V Add(V a, V b) { return _mm256_add_pd(a, b); }
  static V Sub(V a, V b) { return _mm256_sub_pd(a, b); }
  static V Mul(V a, V b) { return _mm256_mul_pd(a, b); }
  static V Div(V a, V b) { return _mm256_div_pd(a, b); }
  static V Sqrt(V a) { return _mm256_sqrt_pd(a); }

  // Rows 0-3 and rows 4-7 as two 4 x 4 transposes. After the unpacks, each lane's row is two
  // 128-bit halves of two vectors; storing the halves directly keeps the last step of the
  // transpose off the shuffle port.
  static void TransposeStore8(const V rows[8], double* out, const int32_t* start) {
    for (int half = 0; half < 2; ++half) {
      const V* r = rows + 4 * half;
      const V t0 = _mm256_unpacklo_pd(r[0], r[1]);  // r0[0] r1[0] | r0[2] r1[2]
      const V t1 = _mm256_unpackhi_pd(r[0], r[1]);  // r0[1] r1[1] | r0[3] r1[3]
      const V t2 = _mm256_unpacklo_pd(r[2], r[3]);
      const V t3 = _mm256_unpackhi_pd(r[2], r[3]);
      const int offset = 4 * half;
      StoreHalves(out + start[0] + offset, out + start[2] + offset, t0, t2);
      StoreHalves(out + start[1] + offset, out + start[3] + offset, t1, t3);
    }
  }

  // low[0..3] = (a, b) low halves; high[0..3] = (a, b) high halves.
  static void StoreHalves(double* low, double* high, V a, V b) {
    _mm_storeu_pd(low, _mm256_castpd256_pd128(a));
    _mm_storeu_pd(low + 2, _mm256_castpd256_pd128(b));
    _mm_storeu_pd(high, _mm256_extractf128_pd(a, 1));
    _mm_storeu_pd(high + 2, _mm256_extractf128_pd(b, 1));
  }

  static void StoreInterleaved(double* out, V re, V im) {
    const V lo = _mm256_unpacklo_pd(re, im);  // re0 im0 | re2 im2
    const V hi = _mm256_unpackhi_pd(re, im);  // re1 im1 | re3 im3
    StoreHalves(out, out + 4, lo, hi);
  }

  static V SquaredNorms(const double* in) {
    const V a = _mm256_loadu_pd(in);        // re0 im0 re1 im1
    const V b = _mm256_loadu_pd(in + 4);    // re2 im2 re3 im3
    const V re = _mm256_unpacklo_pd(a, b);  // re0 re2 re1 re3
    const V im = _mm256_unpackhi_pd(a, b);  // im0 im2 im1 im3
    const V norms = _mm256_add_pd(_mm256_mul_pd(re, re), _mm256_mul_pd(im, im));
    return _mm256_permute4x64_pd(norms, 0xD8);  // lanes 0 2 1 3 -> 0 1 2 3
  }
};

using Kernel = SimdKernel<Avx2Ops>;

}  // namespace

void RunAvx2(const Layout& layout, const double* x, double* spectrum) {
  Kernel::Run(layout, x, spectrum);
}

int32_t MagnitudesAvx2(const double* spectrum, int32_t count, double scale, bool multiply,
                       double* magnitudes) {
  return Kernel::Magnitudes(spectrum, count, scale, multiply, magnitudes);
}

}  // namespace transform_kernel
