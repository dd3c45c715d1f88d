#pragma once
// The radix-2 decimation-in-time FFT behind every spectrum the program shows.
//
// The arithmetic is fixed to the bit: the displayed spectra, saved values and regression data
// depend on these exact tables, this butterfly order and these operations.
//   X[k] = sum over n of x[n] e^(-2 pi i kn / N), unscaled.
// The reference functions below are the definition; TransformPlan is the fast path the program
// runs and gives the same bits (see its contract).
//
// Threading: none of this is thread-safe against concurrent use of the same object; the program
// calls it from the GUI thread only. Distinct plans may run on distinct threads.
#include <cstdint>
#include <memory>
#include <vector>

// One spectrum bin, Re then Im (the layout of double[2]).
struct TComplex {
  double Re;
  double Im;
};

// Sizes are powers of two; kMaxTransformSize bounds what a plan accepts.
constexpr int32_t kMaxTransformSize = int32_t{1} << 24;

// True for n = 1, 2, 4, ... up to kMaxTransformSize.
bool IsTransformSize(int32_t n);

// Number of butterfly stages for a size-n transform: log2(n); 0 for n = 1.
int32_t TransformStageCount(int32_t n);

// Fills table[0 .. n-1] with the bit-reversal permutation of n (its own inverse).
void BuildBitReverseTable(int32_t n, int32_t* table);

// Fills table[0 .. n-1] with the twiddles of `stage` (1 .. stages): entry l is
// (cos t, -sin t), t = (l * 2 pi) / 2^stage. Stage s reads only entries 0 .. 2^(s-1) - 1.
void BuildTwiddleTable(int32_t n, int32_t stage, TComplex* table);

// spectrum[bitReverse[k]] = (x[k], 0) for k = 0 .. n-1; x holds n samples, oldest first.
void BitReversedCopy(const double* x, const int32_t* bitReverse, int32_t n, TComplex* spectrum);

// In-place butterflies over a bit-reversed spectrum of n bins, leaving X[0 .. n-1] in natural
// order. twiddles[s] (s = 1 .. stages) is stage s's table; twiddles[0] is never read.
void ReferenceTransform(TComplex* spectrum, int32_t n, int32_t stages, TComplex* const* twiddles);

// magnitudes[i] = sqrt(Re^2 + Im^2) / sqrt(n) for the first `count` bins of an n-point spectrum.
void ReferenceMagnitudes(const TComplex* spectrum, int32_t n, int32_t count, double* magnitudes);

// The tables of one size built the standard way and owned together: the bit-reverse table, one
// full twiddle table per stage and the pointer array indexed by stage (entry 0 unused). For code
// that runs the reference functions or builds plans outside the FFT component (tests, benchmarks).
struct TransformTables {
  explicit TransformTables(int32_t size);
  int32_t n;
  int32_t stages;
  std::vector<int32_t> bitReverse;
  std::vector<std::vector<TComplex>> storage;
  std::vector<TComplex*> pointers;
};

// The implementations a plan can run. Scalar runs everywhere; the others need the CPU feature.
enum class TransformKernel { kScalar, kAvx2, kAvx512 };

const char* TransformKernelName(TransformKernel kernel);
// The kernels this CPU can run, scalar first, fastest last.
std::vector<TransformKernel> SupportedTransformKernels();
// The fastest kernel this CPU can run.
TransformKernel BestTransformKernel();

// The fast path for one size. Built once per size (all allocation and table copying happen here),
// then Run does the bit-reversed copy and all butterflies of one block, with no allocation and no
// sin/cos.
//
// Contract: for finite samples below 2^1020 in magnitude (every sample the recorder produces),
// Run(x, spectrum) leaves exactly the bits of BitReversedCopy(x, bitReverse, n, spectrum) followed
// by ReferenceTransform(spectrum, n, stages, twiddles), signed zeros included, and Magnitudes gives
// exactly the bits of ReferenceMagnitudes. Other samples (infinite, NaN, or large enough to
// overflow in the first stages) give non-finite bins, not necessarily with the same bits.
//
// The vector kernels rely on the tables being those BuildBitReverseTable / BuildTwiddleTable
// produce (they take shortcuts that hold only for those values, e.g. the stage-1 twiddle (1, -0)).
// The constructor checks this; given other tables, or a size below a kernel's minimum (32 for AVX2,
// 64 for AVX-512), the plan runs the scalar kernel on the tables as given. Kernel() says which.
//
// Ownership: the plan copies what it needs; the caller's tables may be freed after construction.
// Run and Magnitudes use the plan's scratch, so one plan must not run on two threads at once.
class TransformPlan {
 public:
  // n: a power of two (IsTransformSize). bitReverse: n entries. twiddles: indexable 1 .. stages,
  // stage s with at least 2^(s-1) entries. Uses BestTransformKernel().
  TransformPlan(int32_t n, const int32_t* bitReverse, TComplex* const* twiddles);
  // As above with a given kernel, which must be one of SupportedTransformKernels().
  TransformPlan(int32_t n, const int32_t* bitReverse, TComplex* const* twiddles,
                TransformKernel kernel);
  ~TransformPlan();
  TransformPlan(const TransformPlan&) = delete;
  TransformPlan& operator=(const TransformPlan&) = delete;

  // x: n samples, oldest first. spectrum: n bins, receives X[0 .. n-1] in natural order.
  // x and spectrum must not overlap.
  void Run(const double* x, TComplex* spectrum) const;
  // magnitudes[i] = |spectrum[i]| / sqrt(n) for i < count (count <= n), bit-identical to
  // ReferenceMagnitudes.
  void Magnitudes(const TComplex* spectrum, int32_t count, double* magnitudes) const;

  int32_t Size() const { return n_; }
  TransformKernel Kernel() const { return kernel_; }
  const char* KernelName() const { return TransformKernelName(kernel_); }

 private:
  struct State;
  int32_t n_;
  TransformKernel kernel_;
  std::unique_ptr<State> state_;
};
