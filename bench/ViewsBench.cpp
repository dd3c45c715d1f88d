// One block of the application's default capture (mono 8-bit 11025 Hz, 256 frames) through the
// main form as the application builds it from its resource, on the headless window system and the
// scripted wave-in device: recorder, 1024-point FFT and the three views drawing into the form's
// 530 × 506 framebuffer (wave view 530 × 185, fingerprint 530 × 159, 20 bars on 530 × 162).
//
//   block/whole          feeding one block and handling every notice that follows: the service's
//                        wake-up, the recorder's MM_WIM_DATA, the wave view, the FFT and its two
//                        views (target: well under 100 µs)
//   block/capture_only   the same with no client attached: the service and the recorder alone
//   stage/wave_view      TWaveView::ShowData of the current block (clear, 256 points, polyline)
//   stage/fft            TFFT::Process (shift, transform, magnitudes) with its views detached
//   stage/spectral_view  TSpectralView::ShowData (20 bands of 25 bins, 40 rectangles)
//   stage/fingerprint_view  TFingerprintView::ShowData (one column pair and the cursor)
//
// After the run it prints each stage's share of block/whole (CPU time; the median when run with
// --benchmark_repetitions).
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "F_main.h"
#include "MMSystem.h"
#include "ScriptedWaveIn.h"
#include "WaveInDiagnostics.h"
#include "Windows.h"
#include "headless/Headless.h"

namespace {

void Pump() {
  while (MessageQueue::DispatchOne()) {
  }
}

constexpr int kBlocks = 64;
constexpr int kFrames = 256;

// The main form, capturing. Blocks of a slow sweep with a steady 1 kHz tone cycle through, so that
// every view draws ordinary pictures.
class Bench {
 public:
  Bench() {
    SelectWindowSystem("headless");
    SetHeadlessPixelsPerInch(120);  // the resource's own: the form keeps its designed size
    SelectWaveInBackend("scripted");
    ScriptedWaveIn::Reset();
    Application->CreateForm(TMainForm::StaticClass(), &form);
    Pump();  // the recorder's start-up message: AutoStart opens device 0 and starts capture
    ok = form && form->FFT1->HasTables() && form->ClientWidth() == 530 &&
         form->ClientHeight() == 506 && ScriptedWaveIn::IsCapturing(ScriptedWaveIn::LastOpened());
    blocks.resize(kBlocks, std::vector<uint8_t>(kFrames));
    long n = 0;
    for (auto& block : blocks)
      for (auto& b : block) {
        const double t = static_cast<double>(n++) / 11025;
        const double sweep = std::sin(2 * M_PI * (100 + 200 * t) * t);
        b = static_cast<uint8_t>(128 + 60 * sweep + 40 * std::sin(2 * M_PI * 1000 * t));
      }
    for (int k = 0; k < 8; ++k) FeedNext();  // fill the FFT's window, grow the point array
  }
  ~Bench() {
    delete form;
    Pump();
    MessageQueue::Reset();
  }

  void FeedNext() {
    const std::vector<uint8_t>& block = blocks[next++ % kBlocks];
    ScriptedWaveIn::Feed(nullptr, block.data(), block.size());
    Pump();
  }

  // Frames the device has written into the recorder's buffers so far.
  uint64_t Delivered() const {
    WaveInStatistics statistics;
    return waveInGetStatistics(form->Recorder1->GetHandle(), &statistics) == MMSYSERR_NOERROR
               ? statistics.framesDelivered
               : 0;
  }

  TMainForm* form = nullptr;
  bool ok = false;
  std::vector<std::vector<uint8_t>> blocks;
  size_t next = 0;
};

Bench* gBench = nullptr;

bool Ready(benchmark::State& state) {
  if (gBench->ok) return true;
  state.SkipWithError("the main form did not start capturing");
  return false;
}

// Feeds a block per iteration; reports the frames each block brought (256 when none was lost).
void FeedBlocks(benchmark::State& state) {
  const uint64_t before = gBench->Delivered();
  for (auto _ : state) gBench->FeedNext();
  state.counters["frames_per_block"] =
      static_cast<double>(gBench->Delivered() - before) / static_cast<double>(state.iterations());
}

void WholeBlock(benchmark::State& state) {
  if (!Ready(state)) return;
  FeedBlocks(state);
  state.SetItemsProcessed(state.iterations());
}

void CaptureOnly(benchmark::State& state) {
  if (!Ready(state)) return;
  TMainForm* f = gBench->form;
  f->WaveView1->BindSource(nullptr);
  f->FFT1->SetSource(nullptr);
  FeedBlocks(state);
  f->FFT1->SetSource(f->Recorder1);  // a new source: the tables are kept until the next open
  f->WaveView1->BindSource(f->Recorder1);
}

void WaveView(benchmark::State& state) {
  if (!Ready(state)) return;
  TMainForm* f = gBench->form;
  for (auto _ : state) f->WaveView1->ShowData(f->Recorder1);
}

void Fft(benchmark::State& state) {
  if (!Ready(state)) return;
  TMainForm* f = gBench->form;
  if (!f->FFT1->HasTables()) {
    state.SkipWithError("the FFT component has no tables");
    return;
  }
  f->SpectralView1->BindSource(nullptr);
  f->FingerprintView1->BindSource(nullptr);
  for (auto _ : state) f->FFT1->Process();
  f->SpectralView1->BindSource(f->FFT1);
  f->FingerprintView1->BindSource(f->FFT1);
}

void SpectralView(benchmark::State& state) {
  if (!Ready(state)) return;
  TMainForm* f = gBench->form;
  for (auto _ : state) f->SpectralView1->ShowData(f->FFT1);
}

void FingerprintView(benchmark::State& state) {
  if (!Ready(state)) return;
  TMainForm* f = gBench->form;
  for (auto _ : state) f->FingerprintView1->ShowData(f->FFT1);
}

// Prints as the console reporter does and keeps each benchmark's CPU time per iteration (the median
// where repetitions produce one).
class ShareReporter : public benchmark::ConsoleReporter {
 public:
  explicit ShareReporter(OutputOptions options) : ConsoleReporter(options) {}

  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      if (run.error_occurred) continue;
      const std::string key = run.run_name.function_name;
      if (run.run_type == Run::RT_Aggregate) {
        if (run.aggregate_name == "median") {
          times_[key] = run.GetAdjustedCPUTime() * Scale(run.time_unit);
          medians_[key] = true;
        }
      } else if (!medians_[key]) {
        times_[key] = run.GetAdjustedCPUTime() * Scale(run.time_unit);
      }
    }
  }

  void PrintShares() const {
    const auto whole = times_.find("block/whole");
    if (whole == times_.end()) return;
    std::printf("\nblock/whole: %.2f us per block (target: well under 100 us)\n", whole->second);
    double stages = 0;
    for (const char* name : {"block/capture_only", "stage/wave_view", "stage/fft",
                             "stage/spectral_view", "stage/fingerprint_view"}) {
      const auto t = times_.find(name);
      if (t == times_.end()) continue;
      stages += t->second;
      std::printf("  %-24s %8.2f us  %5.1f %%\n", name, t->second, 100 * t->second / whole->second);
    }
    std::printf("  %-24s %8.2f us  %5.1f %%\n", "sum of the above", stages,
                100 * stages / whole->second);
  }

 private:
  // To microseconds.
  static double Scale(benchmark::TimeUnit unit) {
    switch (unit) {
      case benchmark::kNanosecond:
        return 1e-3;
      case benchmark::kMicrosecond:
        return 1;
      case benchmark::kMillisecond:
        return 1e3;
      default:
        return 1e6;
    }
  }
  std::map<std::string, double> times_;
  std::map<std::string, bool> medians_;
};

}  // namespace

int main(int argc, char** argv) {
  Bench bench;
  gBench = &bench;
  benchmark::RegisterBenchmark("block/whole", WholeBlock)->Unit(benchmark::kMicrosecond);
  benchmark::RegisterBenchmark("block/capture_only", CaptureOnly)->Unit(benchmark::kMicrosecond);
  benchmark::RegisterBenchmark("stage/wave_view", WaveView)->Unit(benchmark::kMicrosecond);
  benchmark::RegisterBenchmark("stage/fft", Fft)->Unit(benchmark::kMicrosecond);
  benchmark::RegisterBenchmark("stage/spectral_view", SpectralView)->Unit(benchmark::kMicrosecond);
  benchmark::RegisterBenchmark("stage/fingerprint_view", FingerprintView)
      ->Unit(benchmark::kMicrosecond);

  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  ShareReporter reporter(isatty(STDOUT_FILENO) ? benchmark::ConsoleReporter::OO_ColorTabular
                                               : benchmark::ConsoleReporter::OO_Tabular);
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  reporter.PrintShares();
  gBench = nullptr;
  return bench.ok ? 0 : 1;
}
