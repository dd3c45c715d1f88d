// The transform against FFTW3 (double, complex and real-to-complex, FFTW_MEASURE plans) and KissFFT
// (its float build, so it does half the memory traffic of the others), side by side in one run,
// then the ratios ours / theirs. Also the whole per-block work of the spectrum view at N = 1024:
// shift the 1024-sample window by 256, convert 256 new 16-bit samples, transform, 512 magnitudes,
// against the same work with an FFTW r2c transform (same shift, conversion and magnitude code).
//
// Ratios use CPU time, the median when run with --benchmark_repetitions, the single run otherwise.
#include <benchmark/benchmark.h>
#include <fftw3.h>
#include <kiss_fft.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "Transform.h"

namespace {

constexpr int32_t kSizes[] = {256, 1024, 4096};
constexpr int32_t kBlockSize = 1024;
constexpr int32_t kHop = 256;

std::vector<double> RandomSamples(int32_t n, uint32_t seed) {
  std::mt19937 rng(seed);
  std::uniform_int_distribution<int32_t> sample(-32768, 32767);
  std::vector<double> x(n);
  for (double& v : x) v = static_cast<double>(sample(rng));
  return x;
}

using Tables = TransformTables;

void OurTransform(benchmark::State& state, TransformKernel kernel) {
  const int32_t n = static_cast<int32_t>(state.range(0));
  const Tables tables(n);
  const TransformPlan plan(n, tables.bitReverse.data(), tables.pointers.data(), kernel);
  const std::vector<double> x = RandomSamples(n, 1);
  std::vector<TComplex> spectrum(n);
  for (auto _ : state) {
    plan.Run(x.data(), spectrum.data());
    benchmark::DoNotOptimize(spectrum.data());
    benchmark::ClobberMemory();
  }
  state.SetLabel(plan.KernelName());
}

void FftwComplex(benchmark::State& state) {
  const int32_t n = static_cast<int32_t>(state.range(0));
  fftw_complex* in = fftw_alloc_complex(n);
  fftw_complex* out = fftw_alloc_complex(n);
  fftw_plan plan = fftw_plan_dft_1d(n, in, out, FFTW_FORWARD, FFTW_MEASURE);
  const std::vector<double> x = RandomSamples(n, 1);
  for (int32_t k = 0; k < n; ++k) {
    in[k][0] = x[k];
    in[k][1] = 0.0;
  }
  for (auto _ : state) {
    fftw_execute(plan);
    benchmark::DoNotOptimize(out);
    benchmark::ClobberMemory();
  }
  fftw_destroy_plan(plan);
  fftw_free(in);
  fftw_free(out);
}

void FftwRealToComplex(benchmark::State& state) {
  const int32_t n = static_cast<int32_t>(state.range(0));
  double* in = fftw_alloc_real(n);
  fftw_complex* out = fftw_alloc_complex(n / 2 + 1);
  fftw_plan plan = fftw_plan_dft_r2c_1d(n, in, out, FFTW_MEASURE);
  const std::vector<double> x = RandomSamples(n, 1);
  std::memcpy(in, x.data(), n * sizeof(double));
  for (auto _ : state) {
    fftw_execute(plan);
    benchmark::DoNotOptimize(out);
    benchmark::ClobberMemory();
  }
  fftw_destroy_plan(plan);
  fftw_free(in);
  fftw_free(out);
}

void KissFftFloat(benchmark::State& state) {
  const int32_t n = static_cast<int32_t>(state.range(0));
  kiss_fft_cfg cfg = kiss_fft_alloc(n, 0, nullptr, nullptr);
  std::vector<kiss_fft_cpx> in(n), out(n);
  const std::vector<double> x = RandomSamples(n, 1);
  for (int32_t k = 0; k < n; ++k) in[k] = kiss_fft_cpx{static_cast<float>(x[k]), 0.0f};
  for (auto _ : state) {
    kiss_fft(cfg, in.data(), out.data());
    benchmark::DoNotOptimize(out.data());
    benchmark::ClobberMemory();
  }
  kiss_fft_free(cfg);
  state.SetLabel("float build");
}

// The audio side of one block: the window moves on by a hop and takes the hop's new samples.
struct Window {
  Window() : samples(kBlockSize), input(kHop) {
    std::mt19937 rng(3);
    std::uniform_int_distribution<int32_t> sample(-32768, 32767);
    for (int16_t& s : input) s = static_cast<int16_t>(sample(rng));
    for (double& s : samples) s = static_cast<double>(sample(rng));
  }
  void Advance() {
    std::memmove(samples.data(), samples.data() + kHop, (kBlockSize - kHop) * sizeof(double));
    double* fresh = samples.data() + (kBlockSize - kHop);
    for (int32_t k = 0; k < kHop; ++k) fresh[k] = static_cast<double>(input[k]);
  }
  std::vector<double> samples;
  std::vector<int16_t> input;
};

void OurBlock(benchmark::State& state) {
  const Tables tables(kBlockSize);
  const TransformPlan plan(kBlockSize, tables.bitReverse.data(), tables.pointers.data());
  Window window;
  std::vector<TComplex> spectrum(kBlockSize);
  std::vector<double> magnitudes(kBlockSize / 2);
  for (auto _ : state) {
    window.Advance();
    plan.Run(window.samples.data(), spectrum.data());
    plan.Magnitudes(spectrum.data(), kBlockSize / 2, magnitudes.data());
    benchmark::DoNotOptimize(magnitudes.data());
    benchmark::ClobberMemory();
  }
  state.SetLabel(plan.KernelName());
}

void FftwBlock(benchmark::State& state) {
  // Magnitudes through the same routine (fftw_complex has TComplex's layout).
  const Tables tables(kBlockSize);
  const TransformPlan magnitudePlan(kBlockSize, tables.bitReverse.data(), tables.pointers.data());
  Window window;
  double* in = fftw_alloc_real(kBlockSize);
  fftw_complex* out = fftw_alloc_complex(kBlockSize / 2 + 1);
  fftw_plan plan = fftw_plan_dft_r2c_1d(kBlockSize, in, out, FFTW_MEASURE);
  std::vector<double> magnitudes(kBlockSize / 2);
  for (auto _ : state) {
    window.Advance();
    std::memcpy(in, window.samples.data(), kBlockSize * sizeof(double));
    fftw_execute(plan);
    magnitudePlan.Magnitudes(reinterpret_cast<const TComplex*>(out), kBlockSize / 2,
                             magnitudes.data());
    benchmark::DoNotOptimize(magnitudes.data());
    benchmark::ClobberMemory();
  }
  fftw_destroy_plan(plan);
  fftw_free(in);
  fftw_free(out);
}

// Prints as the console reporter does and keeps each benchmark's CPU time per iteration (the median
// where repetitions produce one) for the ratio table. CPU time rather than wall time, so that other
// work on a shared machine does not count against whichever benchmark it interrupts.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  explicit RatioReporter(OutputOptions options) : ConsoleReporter(options) {}

  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      if (run.error_occurred) continue;
      const std::string key = run.run_name.function_name + "/" + run.run_name.args;
      if (run.run_type == Run::RT_Aggregate) {
        if (run.aggregate_name == "median") {
          times_[key] = run.GetAdjustedCPUTime();
          medians_[key] = true;
        }
      } else if (!medians_[key]) {
        times_[key] = run.GetAdjustedCPUTime();
      }
    }
  }

  void PrintRatio(const std::string& ours, const std::string& theirs, const char* target) const {
    const auto a = times_.find(ours);
    const auto b = times_.find(theirs);
    if (a == times_.end() || b == times_.end()) return;
    std::printf("  %-34s / %-28s %6.2fx%s\n", ours.c_str(), theirs.c_str(), a->second / b->second,
                target);
  }

 private:
  std::map<std::string, double> times_;
  std::map<std::string, bool> medians_;
};

std::string OursName(TransformKernel kernel) {
  return std::string("transform/ours_") + TransformKernelName(kernel);
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<TransformKernel> kernels = SupportedTransformKernels();
  for (TransformKernel kernel : kernels) {
    auto* b = benchmark::RegisterBenchmark(OursName(kernel).c_str(), OurTransform, kernel);
    for (int32_t n : kSizes) b->Arg(n);
  }
  auto* complex = benchmark::RegisterBenchmark("transform/fftw_complex", FftwComplex);
  auto* real = benchmark::RegisterBenchmark("transform/fftw_r2c", FftwRealToComplex);
  auto* kiss = benchmark::RegisterBenchmark("transform/kissfft_float", KissFftFloat);
  for (int32_t n : kSizes) {
    complex->Arg(n);
    real->Arg(n);
    kiss->Arg(n);
  }
  benchmark::RegisterBenchmark("block/ours", OurBlock)->Arg(kBlockSize);
  benchmark::RegisterBenchmark("block/fftw_r2c", FftwBlock)->Arg(kBlockSize);

  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  RatioReporter reporter(isatty(STDOUT_FILENO) ? benchmark::ConsoleReporter::OO_ColorTabular
                                               : benchmark::ConsoleReporter::OO_Tabular);
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();

  std::printf(
      "\nCPU time ratios, ours / theirs (below 1: ours is faster). KissFFT is its float build.\n");
  for (int32_t n : kSizes) {
    const std::string size = std::to_string(n);
    for (TransformKernel kernel : kernels) {
      const std::string ours = OursName(kernel) + "/" + size;
      const bool best = kernel == kernels.back();
      reporter.PrintRatio(ours, "transform/fftw_complex/" + size,
                          best && n == 1024 ? "   (target <= 1.25x)" : "");
      reporter.PrintRatio(ours, "transform/fftw_r2c/" + size, "");
      reporter.PrintRatio(ours, "transform/kissfft_float/" + size, "");
    }
  }
  reporter.PrintRatio("block/ours/1024", "block/fftw_r2c/1024", "   (target <= 1.7x)");
  return 0;
}
