#pragma once
// The body shared by the vector kernels, written once over an operations type O that each kernel
// unit defines for its instruction set in an anonymous namespace. Because O has internal linkage,
// so does every instantiation here: no kernel's wide code can stand in for another's at link time.
//
// O provides:
//   using V = <vector of kWidth doubles>;  static constexpr int kWidth;
//   V Load(const double*); void Store(double*, V); V Set1(double); V Zero();
//   V Add(V, V); V Sub(V, V); V Mul(V, V); V Div(V, V); V Sqrt(V);
//   void TransposeStore8(const V rows[8], double* out, const int32_t* start):
//       lane l of rows 0..7 to out[start[l] + 0 .. 7];
//   void StoreInterleaved(double* out, V re, V im): re[0], im[0], re[1], im[1], ...;
//   V SquaredNorms(const double* in): Re*Re + Im*Im of kWidth interleaved bins, in order.
//
// Bit-exactness: every butterfly below performs, per element, the same IEEE operations on the same
// operands as the reference loop (products then sum or difference, no fused multiply-add; the units
// are compiled with -ffp-contract=off). Reordering butterflies within a stage or running several
// stages per pass does not change any element's operation sequence. The only operations left out
// are those whose result is known exactly; each is argued where it happens.
#include <cstdint>

#include "TransformKernel.h"

namespace transform_kernel {

template <class O>
struct SimdKernel {
  using V = typename O::V;
  static constexpr int kWidth = O::kWidth;

  // The reference butterfly on (a, b) with twiddle w: t = b * w; b = a - t; a = a + t.
  static inline void Butterfly(V& ar, V& ai, V& br, V& bi, V wr, V wi) {
    const V tr = O::Sub(O::Mul(br, wr), O::Mul(bi, wi));
    const V ti = O::Add(O::Mul(br, wi), O::Mul(bi, wr));
    br = O::Sub(ar, tr);
    bi = O::Sub(ai, ti);
    ar = O::Add(ar, tr);
    ai = O::Add(ai, ti);
  }

  // Butterfly with twiddle (1, -0) where a.Im and b.Im are exactly +0 and b.Re is finite. In the
  // reference, t.Re = br * 1 - (+0)(-0) = br - (-0) (x * 1 is exact for every x) and
  // t.Im = br * (-0) + (+0) * 1, a zero of either sign plus +0, which is +0. The outputs' Im are
  // then +0 + +0 and +0 - +0, again +0, so only Re is computed; callers keep Im as the known +0.
  static inline void RealUnitButterfly(V& ar, V& br, V minusZero) {
    const V tr = O::Sub(br, minusZero);
    br = O::Sub(ar, tr);
    ar = O::Add(ar, tr);
  }

  // Butterfly where a.Im and b.Im are exactly +0 (any twiddle): the reference's b.Im * w.Im and
  // b.Im * w.Re are the constants zwi = (+0) * w.Im and zwr = (+0) * w.Re.
  static inline void RealButterfly(V& ar, V& ai, V& br, V& bi, V wr, V wi, V zwr, V zwi, V zero) {
    const V tr = O::Sub(O::Mul(br, wr), zwi);
    const V ti = O::Add(O::Mul(br, wi), zwr);
    br = O::Sub(ar, tr);
    bi = O::Sub(zero, ti);
    ar = O::Add(ar, tr);
    ai = O::Add(zero, ti);
  }

  // Bit-reversed copy plus stages 1-3. Bin p = 8g + k holds x[rev(p)] = x[rev3(k) * n/8 + rev(g)]
  // (rev over log2 n bits, rev3 over 3). Lane r of a vector takes group g = rev(r) over n/8, so row
  // k of lanes r0 .. r0+kWidth-1 is the contiguous x[rev3(k) * n/8 + r0 ...]. Every twiddle of
  // stages 1-3 depends only on k, so each row sees one twiddle; after the three stages the rows are
  // transposed and lane r written to bins 8 * rev(r) + 0..7 (groupStart[r]).
  static void FirstPass(const Layout& layout, const double* x) {
    const int64_t q = layout.n / 8;
    const V zero = O::Zero();
    const V minusZero = O::Set1(-0.0);
    const V w2r = O::Set1(layout.stage2Re), w2i = O::Set1(layout.stage2Im);
    const V z2r = O::Mul(zero, w2r), z2i = O::Mul(zero, w2i);
    const V w31r = O::Set1(layout.stage3Re[1]), w31i = O::Set1(layout.stage3Im[1]);
    const V w32r = O::Set1(layout.stage3Re[2]), w32i = O::Set1(layout.stage3Im[2]);
    const V z32r = O::Mul(zero, w32r), z32i = O::Mul(zero, w32i);
    const V w33r = O::Set1(layout.stage3Re[3]), w33i = O::Set1(layout.stage3Im[3]);
    for (int64_t r0 = 0; r0 < q; r0 += kWidth) {
      const double* p = x + r0;
      V re[8] = {O::Load(p),     O::Load(p + 4 * q), O::Load(p + 2 * q), O::Load(p + 6 * q),
                 O::Load(p + q), O::Load(p + 5 * q), O::Load(p + 3 * q), O::Load(p + 7 * q)};
      V im[8];
      // Stage 1: pairs (k, k+1), twiddle (1, -0); all Im are +0 before and after.
      RealUnitButterfly(re[0], re[1], minusZero);
      RealUnitButterfly(re[2], re[3], minusZero);
      RealUnitButterfly(re[4], re[5], minusZero);
      RealUnitButterfly(re[6], re[7], minusZero);
      // Stage 2: pairs (k, k+2); k = 0 has twiddle (1, -0), k = 1 has entry 1.
      RealUnitButterfly(re[0], re[2], minusZero);
      RealUnitButterfly(re[4], re[6], minusZero);
      RealButterfly(re[1], im[1], re[3], im[3], w2r, w2i, z2r, z2i, zero);
      RealButterfly(re[5], im[5], re[7], im[7], w2r, w2i, z2r, z2i, zero);
      // Stage 3: pairs (k, k+4). Rows 0, 2, 4, 6 still have Im +0; rows 1, 3, 5, 7 do not.
      RealUnitButterfly(re[0], re[4], minusZero);
      Butterfly(re[1], im[1], re[5], im[5], w31r, w31i);
      RealButterfly(re[2], im[2], re[6], im[6], w32r, w32i, z32r, z32i, zero);
      Butterfly(re[3], im[3], re[7], im[7], w33r, w33i);
      im[0] = zero;
      im[4] = zero;
      O::TransposeStore8(re, layout.re, layout.groupStart + r0);
      O::TransposeStore8(im, layout.im, layout.groupStart + r0);
    }
  }

  // Stages s .. s+R-1 over the scratch. Within a block of 2^R * h bins (h = 2^(s-1)), element m of
  // the pass is bin base + j + m*h; in stage s+r it pairs with m + 2^r when bit r of m is clear,
  // with twiddle index j + (m mod 2^r) * h (slot 2^r - 1 + m mod 2^r of the pass's table). The
  // last pass writes the interleaved spectrum.
  template <int R, bool kLast>
  static void RunPass(const Layout& layout, const Layout::Pass& pass, double* spectrum) {
    constexpr int kM = 1 << R;
    constexpr int kSlots = kM - 1;
    const int64_t n = layout.n;
    const int64_t h = int64_t{1} << (pass.firstStage - 1);
    double* const re = layout.re;
    double* const im = layout.im;
    for (int64_t base = 0; base < n; base += kM * h) {
      const double* tw = pass.twiddles;
      for (int64_t j = 0; j < h; j += kWidth, tw += 2 * kSlots * kWidth) {
        V xr[kM], xi[kM];
        double* const pr = re + base + j;
        double* const pi = im + base + j;
#pragma GCC unroll 8
        for (int m = 0; m < kM; ++m) {
          xr[m] = O::Load(pr + m * h);
          xi[m] = O::Load(pi + m * h);
        }
#pragma GCC unroll 4
        for (int r = 0; r < R; ++r) {
          const int half = 1 << r;
#pragma GCC unroll 8
          for (int m = 0; m < kM; ++m) {
            if (m & half) continue;
            const double* w = tw + 2 * kWidth * (half - 1 + (m & (half - 1)));
            Butterfly(xr[m], xi[m], xr[m + half], xi[m + half], O::Load(w), O::Load(w + kWidth));
          }
        }
#pragma GCC unroll 8
        for (int m = 0; m < kM; ++m) {
          if constexpr (kLast) {
            O::StoreInterleaved(spectrum + 2 * (base + j + m * h), xr[m], xi[m]);
          } else {
            O::Store(pr + m * h, xr[m]);
            O::Store(pi + m * h, xi[m]);
          }
        }
      }
    }
  }

  template <bool kLast>
  static void RunPassOf(const Layout& layout, const Layout::Pass& pass, double* spectrum) {
    if (pass.stageCount == 2) {
      RunPass<2, kLast>(layout, pass, spectrum);
    } else {
      RunPass<3, kLast>(layout, pass, spectrum);
    }
  }

  static void Run(const Layout& layout, const double* x, double* spectrum) {
    FirstPass(layout, x);
    for (int32_t p = 0; p + 1 < layout.passCount; ++p) {
      RunPassOf<false>(layout, layout.passes[p], spectrum);
    }
    RunPassOf<true>(layout, layout.passes[layout.passCount - 1], spectrum);
  }

  static int32_t Magnitudes(const double* spectrum, int32_t count, double scale, bool multiply,
                            double* magnitudes) {
    const V factor = O::Set1(scale);
    const int32_t whole = count - count % kWidth;
    if (multiply) {
      for (int32_t i = 0; i < whole; i += kWidth) {
        O::Store(magnitudes + i, O::Mul(O::Sqrt(O::SquaredNorms(spectrum + 2 * i)), factor));
      }
    } else {
      for (int32_t i = 0; i < whole; i += kWidth) {
        O::Store(magnitudes + i, O::Div(O::Sqrt(O::SquaredNorms(spectrum + 2 * i)), factor));
      }
    }
    return whole;
  }
};

}  // namespace transform_kernel
