#pragma once
// The vector kernels behind TransformPlan (Transform.cpp is their only caller).
//
// Each kernel lives in its own translation unit compiled for its instruction set, so this header
// holds declarations and plain data only: an inline function defined here could be emitted by a
// kernel unit with wide instructions and picked by the linker for a caller on a CPU without them.
//
// Data flow of one Run: a first pass reads the samples in rows of 8 bit-reversed groups, does
// stages 1-3 of those groups in registers (lanes = groups), transposes and writes split Re/Im
// scratch in bit-reversed position order; passes of 1-3 stages each then run over the scratch,
// vectorised across the twiddle index; the last pass writes the interleaved spectrum.
#include <cstdint>

namespace transform_kernel {

// Smallest size each vector kernel handles: the first pass needs a full vector of 8-bin groups.
constexpr int32_t kMinSizeAvx2 = 32;
constexpr int32_t kMinSizeAvx512 = 64;
// Vector widths in doubles.
constexpr int32_t kWidthAvx2 = 4;
constexpr int32_t kWidthAvx512 = 8;

// Everything a vector kernel reads, built once per size by the plan. Arrays are 64-byte aligned.
struct Layout {
  int32_t n;       // Transform size, >= the kernel's minimum.
  int32_t stages;  // log2(n).
  // groupStart[r] for r < n / 8: first bin of the group the first pass computes in lane r
  // (8 x bit-reverse of r over n / 8, which is the first n / 8 entries of the bit-reverse table).
  const int32_t* groupStart;
  // Twiddles of stages 2 and 3 that the first pass uses; entry 0 of stages 1-3 is (1, -0) and is
  // folded into the code.
  double stage2Re, stage2Im;        // stage 2, entry 1
  double stage3Re[4], stage3Im[4];  // stage 3, entries 0..3 (entry 0 unused)
  // The passes after the first, in order. A pass runs stageCount (2 or 3) stages from firstStage
  // on; the last pass writes the spectrum. A pass's twiddles are laid out for its loop: for each
  // vector of twiddle indices j (h / kWidth of them, h = 2^(firstStage-1)), for each of its
  // 2^stageCount - 1 slots, kWidth Re then kWidth Im. Slot 2^r - 1 + m (m < 2^r) holds entries
  // j + m*h of stage firstStage + r.
  struct Pass {
    int32_t firstStage;
    int32_t stageCount;
    const double* twiddles;
  };
  static constexpr int kMaxPasses = 16;
  int32_t passCount;
  Pass passes[kMaxPasses];
  // Scratch of n doubles each.
  double* re;
  double* im;
};

// One block: x (n samples) to spectrum (n bins in natural order, interleaved Re, Im: 2n doubles).
void RunAvx2(const Layout& layout, const double* x, double* spectrum);
void RunAvx512(const Layout& layout, const double* x, double* spectrum);

// magnitudes[i] = sqrt(Re^2 + Im^2) * scale (multiply) or / scale (otherwise) for the first bins,
// a whole number of vectors not above count. Returns how many were written.
// spectrum is interleaved Re, Im.
int32_t MagnitudesAvx2(const double* spectrum, int32_t count, double scale, bool multiply,
                       double* magnitudes);
int32_t MagnitudesAvx512(const double* spectrum, int32_t count, double scale, bool multiply,
                         double* magnitudes);

}  // namespace transform_kernel
