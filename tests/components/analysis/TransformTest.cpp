#include <gtest/gtest.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstring>
#include <memory>
#include <numbers>
#include <ostream>
#include <random>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "Transform.h"

namespace {

using Tables = TransformTables;

std::vector<TComplex> ReferenceSpectrum(const Tables& t, const std::vector<double>& x) {
  std::vector<TComplex> spectrum(t.n);
  BitReversedCopy(x.data(), t.bitReverse.data(), t.n, spectrum.data());
  ReferenceTransform(spectrum.data(), t.n, t.stages, t.pointers.data());
  return spectrum;
}

std::vector<double> RandomSamples(int32_t n, uint32_t seed) {
  std::mt19937 rng(seed);
  std::uniform_int_distribution<int32_t> sample(-32768, 32767);
  std::vector<double> x(n);
  for (double& v : x) v = static_cast<double>(sample(rng));
  return x;
}

int32_t ReverseBits(int32_t value, int32_t bits) {
  int32_t r = 0;
  for (int32_t b = 0; b < bits; ++b) r |= ((value >> b) & 1) << (bits - 1 - b);
  return r;
}

std::vector<int32_t> PowersOfTwo(int32_t from, int32_t to) {
  std::vector<int32_t> sizes;
  for (int32_t n = from; n <= to; n *= 2) sizes.push_back(n);
  return sizes;
}

std::string SizeName(const testing::TestParamInfo<int32_t>& info) {
  return "N" + std::to_string(info.param);
}

// ---------------------------------------------------------------------------------------------
// Tables.

TEST(TransformTablesTest, StageCountIsLog2) {
  EXPECT_EQ(TransformStageCount(1), 0);
  EXPECT_EQ(TransformStageCount(2), 1);
  EXPECT_EQ(TransformStageCount(8), 3);
  EXPECT_EQ(TransformStageCount(1024), 10);
  EXPECT_EQ(TransformStageCount(16384), 14);
}

TEST(TransformTablesTest, BitReverseTableKnownValues) {
  struct Case {
    int32_t n;
    std::vector<int32_t> prefix;
  };
  const Case cases[] = {
      {1, {0}},
      {2, {0, 1}},
      {8, {0, 4, 2, 6, 1, 5, 3, 7}},
      {1024, {0, 512, 256, 768, 128, 640, 384, 896}},
  };
  for (const Case& c : cases) {
    std::vector<int32_t> table(c.n, -1);
    BuildBitReverseTable(c.n, table.data());
    const std::vector<int32_t> prefix(table.begin(), table.begin() + c.prefix.size());
    EXPECT_EQ(prefix, c.prefix) << "n = " << c.n;
    EXPECT_EQ(table[c.n - 1], c.n - 1) << "n = " << c.n;
  }
}

TEST(TransformTablesTest, BitReverseTableReversesBitsForEverySize) {
  for (int32_t n : PowersOfTwo(1, 1 << 14)) {
    const int32_t bits = TransformStageCount(n);
    std::vector<int32_t> table(n, -1);
    BuildBitReverseTable(n, table.data());
    for (int32_t k = 0; k < n; ++k) {
      ASSERT_EQ(table[k], ReverseBits(k, bits)) << "n = " << n << ", k = " << k;
    }
  }
}

TEST(TransformTablesTest, TwiddlesAreRootsOfUnityWithNegativeZeroAtEntryZero) {
  const int32_t n = 64;
  for (int32_t s = 1; s <= TransformStageCount(n); ++s) {
    std::vector<TComplex> w(n);
    BuildTwiddleTable(n, s, w.data());
    // Entry 0 is (cos 0, -sin 0) = (1, -0); the sign of that zero reaches the spectrum's bits.
    EXPECT_EQ(w[0].Re, 1.0);
    EXPECT_EQ(w[0].Im, 0.0);
    EXPECT_TRUE(std::signbit(w[0].Im)) << "stage " << s;
    // A quarter turn is cos of the double nearest pi/2, not 0: spectra carry this value.
    if (s >= 2) {
      EXPECT_EQ(w[int32_t{1} << (s - 2)].Re, 6.123233995736766e-17) << "stage " << s;
      EXPECT_EQ(w[int32_t{1} << (s - 2)].Im, -1.0) << "stage " << s;
    }
    const double m = std::ldexp(1.0, s);
    for (int32_t l = 0; l < n; ++l) {
      const double theta = 2.0 * std::numbers::pi * l / m;
      EXPECT_NEAR(w[l].Re, std::cos(theta), 4 * DBL_EPSILON) << "stage " << s << ", l " << l;
      EXPECT_NEAR(w[l].Im, -std::sin(theta), 4 * DBL_EPSILON) << "stage " << s << ", l " << l;
    }
  }
}

// ---------------------------------------------------------------------------------------------
// The reference transform on inputs with exactly known results.

TEST(ReferenceTransformTest, ImpulseAndConstantAreExact) {
  for (int32_t n : {1, 2, 8, 1024}) {
    SCOPED_TRACE("n = " + std::to_string(n));
    const Tables t(n);
    std::vector<double> impulse(n, 0.0);
    impulse[0] = 1.0;
    for (const TComplex& bin : ReferenceSpectrum(t, impulse)) {
      ASSERT_EQ(bin.Re, 1.0);
      ASSERT_EQ(bin.Im, 0.0);
    }
    const std::vector<double> constant(n, -3.0);
    const std::vector<TComplex> spectrum = ReferenceSpectrum(t, constant);
    EXPECT_EQ(spectrum[0].Re, -3.0 * n);
    EXPECT_EQ(spectrum[0].Im, 0.0);
    for (int32_t k = 1; k < n; ++k) {
      ASSERT_EQ(spectrum[k].Re, 0.0) << k;
      ASSERT_EQ(spectrum[k].Im, 0.0) << k;
    }
  }
}

TEST(ReferenceTransformTest, TwoPointIsSumAndDifference) {
  const Tables t(2);
  const std::vector<TComplex> spectrum = ReferenceSpectrum(t, {5.0, -2.0});
  EXPECT_EQ(spectrum[0].Re, 3.0);
  EXPECT_EQ(spectrum[1].Re, 7.0);
  EXPECT_EQ(spectrum[0].Im, 0.0);
  EXPECT_EQ(spectrum[1].Im, 0.0);
}

TEST(ReferenceTransformTest, EightPointAlternatingSignLandsInNyquistBin) {
  const Tables t(8);
  const std::vector<TComplex> spectrum =
      ReferenceSpectrum(t, {1.0, -1.0, 1.0, -1.0, 1.0, -1.0, 1.0, -1.0});
  for (int32_t k = 0; k < 8; ++k) {
    EXPECT_EQ(spectrum[k].Re, k == 4 ? 8.0 : 0.0) << k;
    EXPECT_EQ(spectrum[k].Im, 0.0) << k;
  }
}

TEST(ReferenceTransformTest, MagnitudesOfImpulseAreOneOverRootN) {
  for (int32_t n : {1, 8, 1024}) {
    const Tables t(n);
    std::vector<double> impulse(n, 0.0);
    impulse[0] = 1.0;
    const std::vector<TComplex> spectrum = ReferenceSpectrum(t, impulse);
    std::vector<double> magnitudes(n);
    ReferenceMagnitudes(spectrum.data(), n, n, magnitudes.data());
    for (double m : magnitudes) ASSERT_DOUBLE_EQ(m, 1.0 / std::sqrt(static_cast<double>(n)));
  }
}

class ReferenceTransformSizeTest : public testing::TestWithParam<int32_t> {};

TEST_P(ReferenceTransformSizeTest, RealInputGivesConjugateSymmetricSpectrum) {
  const int32_t n = GetParam();
  const Tables t(n);
  const std::vector<TComplex> spectrum = ReferenceSpectrum(t, RandomSamples(n, 7));
  // Bins 0 and n/2 are built from twiddle (1, -0) only, so their Im is an exact zero.
  EXPECT_EQ(spectrum[0].Im, 0.0);
  EXPECT_EQ(spectrum[n / 2].Im, 0.0);
  double scale = 0.0;
  for (const TComplex& c : spectrum) scale = std::max(scale, std::hypot(c.Re, c.Im));
  const double tolerance = 4.0 * t.stages * DBL_EPSILON * scale;
  for (int32_t k = 1; k < n / 2; ++k) {
    ASSERT_NEAR(spectrum[k].Re, spectrum[n - k].Re, tolerance) << k;
    ASSERT_NEAR(spectrum[k].Im, -spectrum[n - k].Im, tolerance) << k;
  }
}

TEST_P(ReferenceTransformSizeTest, AgreesWithDirectSumInLongDouble) {
  const int32_t n = GetParam();
  const Tables t(n);
  // Roots of unity in long double, indexed by k*j mod n.
  std::vector<long double> rootRe(n), rootIm(n);
  for (int32_t m = 0; m < n; ++m) {
    const long double theta = 2.0L * std::numbers::pi_v<long double> * m / n;
    rootRe[m] = std::cos(theta);
    rootIm[m] = -std::sin(theta);
  }
  // Every bin up to 1024 points; above that, a spread of bins keeps the O(n) sums affordable.
  std::vector<int32_t> bins;
  const int32_t step = n <= 1024 ? 1 : n / 256 + 1;
  for (int32_t k = 0; k < n; k += step) bins.push_back(k);
  bins.push_back(n / 2);
  bins.push_back(n - 1);
  for (uint32_t seed : {1u, 2u}) {
    const std::vector<double> x = RandomSamples(n, seed);
    const std::vector<TComplex> spectrum = ReferenceSpectrum(t, x);
    long double errorSquared = 0.0L, normSquared = 0.0L, maxError = 0.0L;
    for (int32_t k : bins) {
      long double re = 0.0L, im = 0.0L;
      for (int32_t j = 0; j < n; ++j) {
        const int32_t m = static_cast<int32_t>((static_cast<int64_t>(k) * j) % n);
        re += x[j] * rootRe[m];
        im += x[j] * rootIm[m];
      }
      const long double dr = spectrum[k].Re - re, di = spectrum[k].Im - im;
      errorSquared += dr * dr + di * di;
      normSquared += re * re + im * im;
      maxError = std::max(maxError, std::sqrt(dr * dr + di * di));
    }
    // Radix-2 error grows like log2(n) ulps relative to the spectrum's norm; per bin, relative to
    // the root-mean-square bin.
    const long double bound = 3.0L * t.stages * DBL_EPSILON;
    const long double rms = std::sqrt(normSquared / bins.size());
    EXPECT_LE(std::sqrt(errorSquared / normSquared), bound) << "seed " << seed;
    EXPECT_LE(maxError / rms, 4.0L * bound) << "seed " << seed;
  }
}

INSTANTIATE_TEST_SUITE_P(PowersOfTwo, ReferenceTransformSizeTest,
                         testing::ValuesIn(PowersOfTwo(8, 1 << 14)), SizeName);

struct ToneCase {
  int32_t n;
  int32_t k0;
};

void PrintTo(const ToneCase& c, std::ostream* os) { *os << "n = " << c.n << ", k0 = " << c.k0; }

class ReferenceToneTest : public testing::TestWithParam<ToneCase> {};

// cos(2 pi k0 t / n) puts n/2 in bins k0 and n - k0; sin puts -i n/2 in k0 and +i n/2 in n - k0.
TEST_P(ReferenceToneTest, PureTonesLandInTheirBins) {
  const auto [n, k0] = GetParam();
  const Tables t(n);
  std::vector<double> cosine(n), sine(n);
  for (int32_t j = 0; j < n; ++j) {
    const double theta = 2.0 * std::numbers::pi * ((static_cast<int64_t>(k0) * j) % n) / n;
    cosine[j] = std::cos(theta);
    sine[j] = std::sin(theta);
  }
  const std::vector<TComplex> c = ReferenceSpectrum(t, cosine);
  const std::vector<TComplex> s = ReferenceSpectrum(t, sine);
  const double half = n / 2.0;
  const double tolerance = 8.0 * t.stages * DBL_EPSILON * half;
  for (int32_t k = 0; k < n; ++k) {
    const bool peak = k == k0 || k == n - k0;
    ASSERT_NEAR(c[k].Re, peak ? half : 0.0, tolerance) << "cos, bin " << k;
    ASSERT_NEAR(c[k].Im, 0.0, tolerance) << "cos, bin " << k;
    ASSERT_NEAR(s[k].Re, 0.0, tolerance) << "sin, bin " << k;
    ASSERT_NEAR(s[k].Im, k == k0 ? -half : (k == n - k0 ? half : 0.0), tolerance)
        << "sin, bin " << k;
  }
}

INSTANTIATE_TEST_SUITE_P(Tones, ReferenceToneTest,
                         testing::Values(ToneCase{8, 1}, ToneCase{8, 3}, ToneCase{64, 5},
                                         ToneCase{1024, 1}, ToneCase{1024, 100},
                                         ToneCase{1024, 511}, ToneCase{16384, 4321}),
                         [](const testing::TestParamInfo<ToneCase>& info) {
                           return "N" + std::to_string(info.param.n) + "_k" +
                                  std::to_string(info.param.k0);
                         });

// ---------------------------------------------------------------------------------------------
// The plan: bit-identical to the reference on every kernel this CPU runs.

struct KernelSize {
  TransformKernel kernel;
  int32_t n;
};

void PrintTo(const KernelSize& c, std::ostream* os) {
  *os << TransformKernelName(c.kernel) << ", n = " << c.n;
}

std::vector<KernelSize> AllKernelsAndSizes() {
  std::vector<KernelSize> cases;
  for (TransformKernel k :
       {TransformKernel::kScalar, TransformKernel::kAvx2, TransformKernel::kAvx512}) {
    for (int32_t n : PowersOfTwo(1, 1 << 14)) cases.push_back({k, n});
  }
  return cases;
}

bool Supported(TransformKernel kernel) {
  for (TransformKernel k : SupportedTransformKernels()) {
    if (k == kernel) return true;
  }
  return false;
}

// Inputs the recorder can produce (16-bit samples as doubles), plus signed zeros and fractional
// values the vector kernels' shortcuts must also get right.
std::vector<std::pair<std::string, std::vector<double>>> BitExactInputs(int32_t n) {
  std::vector<std::pair<std::string, std::vector<double>>> inputs;
  inputs.emplace_back("silence", std::vector<double>(n, 0.0));
  inputs.emplace_back("max", std::vector<double>(n, 32767.0));
  inputs.emplace_back("min", std::vector<double>(n, -32768.0));
  std::vector<double> alternating(n), square(n), impulse(n, 0.0), late(n, 0.0);
  for (int32_t j = 0; j < n; ++j) {
    alternating[j] = j % 2 ? -32768.0 : 32767.0;
    square[j] = (j / 3) % 2 ? -32768.0 : 32767.0;
  }
  impulse[0] = 32767.0;
  late[n - 1] = -32768.0;
  inputs.emplace_back("alternating", alternating);
  inputs.emplace_back("square", square);
  inputs.emplace_back("impulse", impulse);
  inputs.emplace_back("late impulse", late);
  for (uint32_t seed : {11u, 12u, 13u}) {
    inputs.emplace_back("random " + std::to_string(seed), RandomSamples(n, seed));
  }
  // Zeros of both signs: the sign of an all-zero sub-sum survives to the output bits.
  std::mt19937 rng(99);
  std::uniform_real_distribution<double> real(-1e6, 1e6);
  std::vector<double> zeros(n), sparse(n), reals(n);
  for (int32_t j = 0; j < n; ++j) {
    zeros[j] = (rng() % 2) ? -0.0 : 0.0;
    sparse[j] = (rng() % 16) ? zeros[j] : -1.0;
    reals[j] = real(rng);
  }
  inputs.emplace_back("negative zeros", std::vector<double>(n, -0.0));
  inputs.emplace_back("signed zeros", zeros);
  inputs.emplace_back("sparse with signed zeros", sparse);
  inputs.emplace_back("random reals", reals);
  return inputs;
}

class TransformPlanBitExactTest : public testing::TestWithParam<KernelSize> {};

TEST_P(TransformPlanBitExactTest, SpectrumAndMagnitudesMatchReferenceBitForBit) {
  const auto [kernel, n] = GetParam();
  if (!Supported(kernel)) GTEST_SKIP() << TransformKernelName(kernel) << " not on this CPU";
  const Tables t(n);
  const TransformPlan plan(n, t.bitReverse.data(), t.pointers.data(), kernel);
  // Below its minimum size a vector kernel hands over to scalar; above, it must run itself, or this
  // test would compare the reference with itself.
  const int32_t minimum = kernel == TransformKernel::kAvx2     ? 32
                          : kernel == TransformKernel::kAvx512 ? 64
                                                               : 1;
  EXPECT_EQ(plan.Kernel(), n >= minimum ? kernel : TransformKernel::kScalar);

  // Pre-filled with garbage: the plan must write every bin.
  std::vector<TComplex> fast(n, TComplex{NAN, NAN});
  std::vector<double> fastMagnitudes(n, NAN), referenceMagnitudes(n);
  for (const auto& [name, x] : BitExactInputs(n)) {
    SCOPED_TRACE(name);
    const std::vector<TComplex> reference = ReferenceSpectrum(t, x);
    plan.Run(x.data(), fast.data());
    ASSERT_EQ(std::memcmp(fast.data(), reference.data(), n * sizeof(TComplex)), 0)
        << "first differing bin " << [&] {
             int32_t k = 0;
             while (std::memcmp(&fast[k], &reference[k], sizeof(TComplex)) == 0) ++k;
             return k;
           }();
    // Half the spectrum plus one (what the program shows, not a whole number of vectors) and all.
    for (int32_t count : {n / 2 + 1, n}) {
      ReferenceMagnitudes(reference.data(), n, count, referenceMagnitudes.data());
      plan.Magnitudes(reference.data(), count, fastMagnitudes.data());
      ASSERT_EQ(
          std::memcmp(fastMagnitudes.data(), referenceMagnitudes.data(), count * sizeof(double)), 0)
          << "count " << count;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(KernelsAndSizes, TransformPlanBitExactTest,
                         testing::ValuesIn(AllKernelsAndSizes()),
                         [](const testing::TestParamInfo<KernelSize>& info) {
                           return std::string(TransformKernelName(info.param.kernel)) + "_N" +
                                  std::to_string(info.param.n);
                         });

// A plan copies what it needs, and runs the scalar kernel on tables the vector kernels' shortcuts
// are not proven for (here a stage-1 twiddle of (1, +0) instead of (1, -0)).
TEST(TransformPlanTest, OwnsItsTablesAndFallsBackOnNonStandardOnes) {
  const int32_t n = 256;
  const std::vector<double> x = RandomSamples(n, 5);
  std::vector<TComplex> expected, modifiedExpected;
  std::vector<std::unique_ptr<TransformPlan>> plans, modifiedPlans;
  {
    Tables t(n);
    expected = ReferenceSpectrum(t, x);
    for (TransformKernel k : SupportedTransformKernels()) {
      plans.push_back(
          std::make_unique<TransformPlan>(n, t.bitReverse.data(), t.pointers.data(), k));
    }
    t.storage[1][0].Im = 0.0;
    modifiedExpected = ReferenceSpectrum(t, x);
    for (TransformKernel k : SupportedTransformKernels()) {
      modifiedPlans.push_back(
          std::make_unique<TransformPlan>(n, t.bitReverse.data(), t.pointers.data(), k));
    }
  }  // Tables freed here.
  std::vector<TComplex> spectrum(n);
  for (const auto& plan : plans) {
    plan->Run(x.data(), spectrum.data());
    EXPECT_EQ(std::memcmp(spectrum.data(), expected.data(), n * sizeof(TComplex)), 0)
        << plan->KernelName();
  }
  for (const auto& plan : modifiedPlans) {
    EXPECT_EQ(plan->Kernel(), TransformKernel::kScalar);
    plan->Run(x.data(), spectrum.data());
    EXPECT_EQ(std::memcmp(spectrum.data(), modifiedExpected.data(), n * sizeof(TComplex)), 0);
  }
}

TEST(TransformPlanTest, RejectsSizesThatAreNotPowersOfTwo) {
  const Tables t(8);
  for (int32_t n : {0, -8, 3, 12, 1000, kMaxTransformSize * 2}) {
    EXPECT_THROW(TransformPlan(n, t.bitReverse.data(), t.pointers.data()), std::invalid_argument)
        << n;
  }
}

TEST(TransformPlanTest, DefaultKernelIsTheBestSupported) {
  const Tables t(1024);
  const TransformPlan plan(1024, t.bitReverse.data(), t.pointers.data());
  EXPECT_EQ(plan.Kernel(), BestTransformKernel());
  EXPECT_EQ(SupportedTransformKernels().front(), TransformKernel::kScalar);
}

}  // namespace
