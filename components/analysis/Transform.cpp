#include "Transform.h"

#include <cmath>
#include <cstring>
#include <new>
#include <stdexcept>
#include <string>

#include "TransformKernel.h"

bool IsTransformSize(int32_t n) { return n >= 1 && n <= kMaxTransformSize && (n & (n - 1)) == 0; }

int32_t TransformStageCount(int32_t n) {
  uint32_t t = static_cast<uint32_t>(n) - 1;
  int32_t stages = 0;
  while (t != 0) {
    t >>= 1;
    ++stages;
  }
  return stages;
}

void BuildBitReverseTable(int32_t n, int32_t* table) {
  // Counting in reverse: j runs through the bit-reversed values of 0, 1, 2, ...
  const int32_t half = n / 2;
  int32_t j = 0;
  for (int32_t k = 0; k + 1 < n; ++k) {
    table[k] = j;
    int32_t m = half;
    while (j >= m) {
      j -= m;
      m >>= 1;
    }
    j += m;
  }
  table[n - 1] = n - 1;
}

void BuildTwiddleTable(int32_t n, int32_t stage, TComplex* table) {
  const double m = static_cast<double>(int64_t{1} << stage);
  for (int32_t l = 0; l < n; ++l) {
    const double theta = (static_cast<double>(l) * 6.283185307179586) / m;
    table[l] = TComplex{std::cos(theta), -std::sin(theta)};
  }
}

void BitReversedCopy(const double* x, const int32_t* bitReverse, int32_t n, TComplex* spectrum) {
  for (int32_t k = 0; k < n; ++k) spectrum[bitReverse[k]] = TComplex{x[k], 0.0};
}

void ReferenceTransform(TComplex* spectrum, int32_t n, int32_t stages, TComplex* const* twiddles) {
  int32_t half = 1;
  for (int32_t s = 1; s <= stages; ++s) {
    const int32_t span = 2 * half;
    const TComplex* w = twiddles[s];
    for (int32_t j = 0; j < half; ++j) {
      const TComplex wj = w[j];
      for (int32_t i = j; i < n; i += span) {
        const TComplex b = spectrum[i + half];
        TComplex t;
        t.Re = b.Re * wj.Re - b.Im * wj.Im;
        t.Im = b.Re * wj.Im + b.Im * wj.Re;
        spectrum[i + half].Re = spectrum[i].Re - t.Re;
        spectrum[i + half].Im = spectrum[i].Im - t.Im;
        spectrum[i].Re = spectrum[i].Re + t.Re;
        spectrum[i].Im = spectrum[i].Im + t.Im;
      }
    }
    half = span;
  }
}

void ReferenceMagnitudes(const TComplex* spectrum, int32_t n, int32_t count, double* magnitudes) {
  const double root = std::sqrt(static_cast<double>(n));
  for (int32_t i = 0; i < count; ++i) {
    const TComplex& c = spectrum[i];
    const double sumOfSquares = c.Re * c.Re + c.Im * c.Im;
    magnitudes[i] = std::sqrt(sumOfSquares) / root;
  }
}

const char* TransformKernelName(TransformKernel kernel) {
  switch (kernel) {
    case TransformKernel::kScalar:
      return "scalar";
    case TransformKernel::kAvx2:
      return "avx2";
    case TransformKernel::kAvx512:
      return "avx512";
  }
  return "unknown";
}

std::vector<TransformKernel> SupportedTransformKernels() {
  std::vector<TransformKernel> kernels{TransformKernel::kScalar};
#if defined(__x86_64__) || defined(__i386__)
  // Also checks that the OS saves the wide registers (XCR0), not only the CPUID bits.
  if (__builtin_cpu_supports("avx2")) kernels.push_back(TransformKernel::kAvx2);
  if (__builtin_cpu_supports("avx512f")) kernels.push_back(TransformKernel::kAvx512);
#endif
  return kernels;
}

TransformKernel BestTransformKernel() { return SupportedTransformKernels().back(); }

namespace {

constexpr std::align_val_t kAlignment{64};

struct AlignedDeleter {
  void operator()(double* p) const { ::operator delete[](p, kAlignment); }
};
using AlignedDoubles = std::unique_ptr<double[], AlignedDeleter>;

AlignedDoubles AllocateDoubles(size_t count) {
  return AlignedDoubles(static_cast<double*>(::operator new[](count * sizeof(double), kAlignment)));
}

int32_t MinimumSize(TransformKernel kernel) {
  switch (kernel) {
    case TransformKernel::kAvx2:
      return transform_kernel::kMinSizeAvx2;
    case TransformKernel::kAvx512:
      return transform_kernel::kMinSizeAvx512;
    case TransformKernel::kScalar:
      break;
  }
  return 1;
}

bool SameBits(const TComplex& a, const TComplex& b) { return std::memcmp(&a, &b, sizeof a) == 0; }

// Whether the vector kernels' shortcuts hold for these tables: the bit-reverse table is the real
// one (the first pass computes its loads from it) and entry 0 of stages 1-3 is (1, -0).
bool TablesAreStandard(int32_t n, int32_t stages, const int32_t* bitReverse,
                       TComplex* const* twiddles) {
  std::vector<int32_t> expected(n);
  BuildBitReverseTable(n, expected.data());
  if (std::memcmp(expected.data(), bitReverse, n * sizeof(int32_t)) != 0) return false;
  const TComplex unit{1.0, -0.0};
  for (int32_t s = 1; s <= 3 && s <= stages; ++s) {
    if (!SameBits(twiddles[s][0], unit)) return false;
  }
  return true;
}

}  // namespace

struct TransformPlan::State {
  int32_t stages = 0;
  // Scalar kernel: copies of the tables, twiddles compacted to the 2^(s-1) entries stage s reads.
  std::vector<int32_t> bitReverse;
  std::vector<TComplex> twiddleEntries;
  std::vector<TComplex*> twiddles;
  // Vector kernels.
  AlignedDoubles re, im, passTwiddles;
  std::vector<int32_t> groupStart;
  transform_kernel::Layout layout{};
  // Magnitudes: / sqrt(n), or * 1/sqrt(n) where sqrt(n) is a power of two (identical bits then).
  double magnitudeScale = 1.0;
  bool magnitudeMultiply = false;
};

TransformPlan::TransformPlan(int32_t n, const int32_t* bitReverse, TComplex* const* twiddles)
    : TransformPlan(n, bitReverse, twiddles, BestTransformKernel()) {}

TransformPlan::TransformPlan(int32_t n, const int32_t* bitReverse, TComplex* const* twiddles,
                             TransformKernel kernel)
    : n_(n), kernel_(kernel), state_(std::make_unique<State>()) {
  if (!IsTransformSize(n)) {
    throw std::invalid_argument("transform size " + std::to_string(n) +
                                " is not a power of two in 1 .. " +
                                std::to_string(kMaxTransformSize));
  }
  bool supported = false;
  for (TransformKernel k : SupportedTransformKernels()) supported = supported || k == kernel;
  if (!supported) {
    throw std::invalid_argument(std::string("transform kernel ") + TransformKernelName(kernel) +
                                " is not supported by this CPU");
  }
  State& st = *state_;
  st.stages = TransformStageCount(n);
  if (n < MinimumSize(kernel_) || !TablesAreStandard(n, st.stages, bitReverse, twiddles)) {
    kernel_ = TransformKernel::kScalar;
  }

  if ((st.stages % 2) == 0) {
    st.magnitudeScale = 1.0 / static_cast<double>(int64_t{1} << (st.stages / 2));
    st.magnitudeMultiply = true;
  } else {
    st.magnitudeScale = std::sqrt(static_cast<double>(n));
  }

  if (kernel_ == TransformKernel::kScalar) {
    st.bitReverse.assign(bitReverse, bitReverse + n);
    st.twiddleEntries.resize(n > 1 ? n - 1 : 1);
    st.twiddles.assign(st.stages + 1, nullptr);
    TComplex* next = st.twiddleEntries.data();
    for (int32_t s = 1; s <= st.stages; ++s) {
      const int32_t used = int32_t{1} << (s - 1);
      std::memcpy(next, twiddles[s], used * sizeof(TComplex));
      st.twiddles[s] = next;
      next += used;
    }
    return;
  }

  // Passes after the first: stages 4 .. stages, three at a time (16 complex vectors in registers),
  // never leaving a single stage: 4 -> 2+2, 5 -> 3+2, 7 -> 3+2+2. The minimum sizes guarantee at
  // least two stages here.
  const int32_t width = kernel_ == TransformKernel::kAvx512 ? transform_kernel::kWidthAvx512
                                                            : transform_kernel::kWidthAvx2;
  transform_kernel::Layout& layout = st.layout;
  size_t twiddleDoubles = 0;
  layout.passCount = 0;
  for (int32_t s = 4; s <= st.stages;) {
    const int32_t remaining = st.stages - s + 1;
    const int32_t count = (remaining == 4 || remaining == 2) ? 2 : 3;
    layout.passes[layout.passCount++] = {s, count, nullptr};
    twiddleDoubles += size_t{2} * ((size_t{1} << count) - 1) * (size_t{1} << (s - 1));
    s += count;
  }
  st.passTwiddles = AllocateDoubles(twiddleDoubles);
  double* next = st.passTwiddles.get();
  for (int32_t p = 0; p < layout.passCount; ++p) {
    transform_kernel::Layout::Pass& pass = layout.passes[p];
    pass.twiddles = next;
    const int32_t h = int32_t{1} << (pass.firstStage - 1);
    for (int32_t chunk = 0; chunk < h; chunk += width) {
      for (int32_t r = 0; r < pass.stageCount; ++r) {
        const TComplex* w = twiddles[pass.firstStage + r];
        for (int32_t m = 0; m < (1 << r); ++m) {
          double* slot = next + 2 * width * ((1 << r) - 1 + m);
          for (int32_t lane = 0; lane < width; ++lane) {
            slot[lane] = w[chunk + lane + m * h].Re;
            slot[width + lane] = w[chunk + lane + m * h].Im;
          }
        }
      }
      next += 2 * width * ((1 << pass.stageCount) - 1);
    }
  }
  st.groupStart.assign(bitReverse, bitReverse + n / 8);
  st.re = AllocateDoubles(n);
  st.im = AllocateDoubles(n);

  layout.n = n;
  layout.stages = st.stages;
  layout.groupStart = st.groupStart.data();
  layout.stage2Re = twiddles[2][1].Re;
  layout.stage2Im = twiddles[2][1].Im;
  for (int32_t j = 0; j < 4; ++j) {
    layout.stage3Re[j] = twiddles[3][j].Re;
    layout.stage3Im[j] = twiddles[3][j].Im;
  }
  layout.re = st.re.get();
  layout.im = st.im.get();
}

TransformPlan::~TransformPlan() = default;

void TransformPlan::Run(const double* x, TComplex* spectrum) const {
  const State& st = *state_;
  switch (kernel_) {
    case TransformKernel::kAvx2:
      transform_kernel::RunAvx2(st.layout, x, &spectrum[0].Re);
      return;
    case TransformKernel::kAvx512:
      transform_kernel::RunAvx512(st.layout, x, &spectrum[0].Re);
      return;
    case TransformKernel::kScalar:
      break;
  }
  BitReversedCopy(x, st.bitReverse.data(), n_, spectrum);
  ReferenceTransform(spectrum, n_, st.stages, st.twiddles.data());
}

void TransformPlan::Magnitudes(const TComplex* spectrum, int32_t count, double* magnitudes) const {
  const State& st = *state_;
  int32_t done = 0;
  switch (kernel_) {
    case TransformKernel::kAvx2:
      done = transform_kernel::MagnitudesAvx2(&spectrum[0].Re, count, st.magnitudeScale,
                                              st.magnitudeMultiply, magnitudes);
      break;
    case TransformKernel::kAvx512:
      done = transform_kernel::MagnitudesAvx512(&spectrum[0].Re, count, st.magnitudeScale,
                                                st.magnitudeMultiply, magnitudes);
      break;
    case TransformKernel::kScalar:
      break;
  }
  ReferenceMagnitudes(spectrum + done, n_, count - done, magnitudes + done);
}

TransformTables::TransformTables(int32_t size)
    : n(size), stages(TransformStageCount(size)), bitReverse(size) {
  BuildBitReverseTable(n, bitReverse.data());
  storage.resize(stages + 1);
  pointers.assign(stages + 1, nullptr);
  for (int32_t s = 1; s <= stages; ++s) {
    storage[s].resize(n);
    BuildTwiddleTable(n, s, storage[s].data());
    pointers[s] = storage[s].data();
  }
}
