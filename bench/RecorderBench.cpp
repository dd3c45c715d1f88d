// The recorder at its most demanding setting through the real SDL capture path: 192 kHz stereo
// 16-bit with BufSize 64, that is 3,000 block notices a second, with one client that reads every
// sample (as the wave view does). SDL's "disk" driver supplies the audio at the real pace from a
// file of tone, so no sound server is needed.
//
// Reported per run (one iteration, timed by the wall clock):
//   notices/s            MM_WIM_DATA notices the recorder handled per second
//   frames_delivered     frames the service wrote into the recorder's buffers
//   frames_dropped       frames captured but lost (target: 0)
//   gui_us_per_notice    GUI-thread time per notice: every message handled (the service's
//                        wake-ups included), divided by the notices
//   recorder_us_per_notice, recorder_us_max
//                        time inside the recorder's handling of one notice (NextBuffer, the
//                        client, OnSample): mean and worst
//
// Flags, before Google Benchmark's own: --duration=SECONDS (default 30), --bufsize=FRAMES
// (default 64), --rate=HZ (default 192000).
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "MMSystem.h"
#include "Recorder.h"
#include "WaveInDiagnostics.h"
#include "Windows.h"

namespace {

using Clock = std::chrono::steady_clock;

double gSeconds = 30;
int32_t gBufSize = 64;
int32_t gRate = 192000;

// Times its own handling of each block notice.
class TTimedRecorder : public TRecorder {
 public:
  using TRecorder::TRecorder;
  long notices = 0;
  double totalSeconds = 0;
  double maxSeconds = 0;

 protected:
  void WndProc(TMessage& Message) override {
    if (Message.Msg != MM_WIM_DATA) return TRecorder::WndProc(Message);
    const auto start = Clock::now();
    TRecorder::WndProc(Message);
    const double took = std::chrono::duration<double>(Clock::now() - start).count();
    ++notices;
    totalSeconds += took;
    if (took > maxSeconds) maxSeconds = took;
  }
};

// Reads every sample of each block, as the wave view does.
class TReader : public TObject {
 public:
  void Event(TObject* sender, uint8_t code) {
    if (code != evData) return;
    auto* r = static_cast<TRecorder*>(sender);
    const int32_t n = r->SampleCount();
    for (int32_t i = 0; i < n; ++i) sum += r->GetSample(i);
  }
  int64_t sum = 0;
};

// One second of a 1 kHz tone, stereo 16-bit at `rate`; SDL's disk driver gives silence after it.
std::string WriteToneFile(int32_t rate) {
  std::vector<int16_t> frames(static_cast<size_t>(rate) * 2);
  for (int32_t i = 0; i < rate; ++i) {
    const auto v = static_cast<int16_t>(16000 * std::sin(2 * M_PI * 1000.0 * i / rate));
    frames[2 * static_cast<size_t>(i)] = frames[2 * static_cast<size_t>(i) + 1] = v;
  }
  const char* tmp = std::getenv("TMPDIR");
  const std::string path = std::string(tmp && *tmp ? tmp : "/tmp") + "/recorder-bench-" +
                           std::to_string(getpid()) + ".raw";
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(frames.data()),
            static_cast<std::streamsize>(frames.size() * sizeof(int16_t)));
  return path;
}

void BM_RecorderSteadyCapture(benchmark::State& state) {
  const std::string path = WriteToneFile(gRate);
  setenv("SDL_AUDIODRIVER", "disk", 1);
  setenv("SDL_DISKAUDIOFILEIN", path.c_str(), 1);
  if (!SelectWaveInBackend("sdl")) {
    state.SkipWithError(("no sdl backend: " + waveInGetLastError()).c_str());
    return;
  }
  for (auto _ : state) {
    MessageQueue::Reset();
    TTimedRecorder recorder(nullptr);
    recorder.Quality()->SetSamplesPerSec(gRate);
    recorder.Quality()->SetChannelCount(2);
    recorder.Quality()->SetSampleBits(16);
    recorder.SetFramesPerBuffer(gBufSize);
    TReader reader;
    recorder.AddClient(MakeMethod<&TReader::Event>(&reader));
    try {
      recorder.Start();
    } catch (const Exception& e) {
      state.SkipWithError((e.Message + ": " + waveInGetLastError()).c_str());
      break;
    }

    double guiSeconds = 0;
    const auto start = Clock::now();
    const auto end = start + std::chrono::duration<double>(gSeconds);
    while (Clock::now() < end) {
      MessageQueue::Wait(50);
      const auto busy = Clock::now();
      while (MessageQueue::DispatchOne()) {
      }
      guiSeconds += std::chrono::duration<double>(Clock::now() - busy).count();
    }
    const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
    WaveInStatistics stats;
    waveInGetStatistics(recorder.GetHandle(), &stats);
    recorder.Stop();
    recorder.RemoveClient(MakeMethod<&TReader::Event>(&reader));
    benchmark::DoNotOptimize(reader.sum);

    state.SetIterationTime(elapsed);
    const double notices = static_cast<double>(recorder.notices);
    state.counters["notices/s"] = notices / elapsed;
    state.counters["frames_delivered"] = static_cast<double>(stats.framesDelivered);
    state.counters["frames_dropped"] = static_cast<double>(stats.framesDropped);
    state.counters["gui_us_per_notice"] = notices > 0 ? guiSeconds * 1e6 / notices : 0;
    state.counters["recorder_us_per_notice"] =
        notices > 0 ? recorder.totalSeconds * 1e6 / notices : 0;
    state.counters["recorder_us_max"] = recorder.maxSeconds * 1e6;
  }
  std::remove(path.c_str());
}

BENCHMARK(BM_RecorderSteadyCapture)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

// Takes `--name=value` out of argv when present.
bool TakeFlag(int& argc, char** argv, const char* name, double* value) {
  const std::string prefix = std::string("--") + name + "=";
  for (int i = 1; i < argc; ++i) {
    if (std::strncmp(argv[i], prefix.c_str(), prefix.size()) != 0) continue;
    *value = std::atof(argv[i] + prefix.size());
    for (int j = i; j + 1 < argc; ++j) argv[j] = argv[j + 1];
    --argc;
    return true;
  }
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  double value = 0;
  if (TakeFlag(argc, argv, "duration", &value) && value > 0) gSeconds = value;
  if (TakeFlag(argc, argv, "bufsize", &value) && value > 0) gBufSize = static_cast<int32_t>(value);
  if (TakeFlag(argc, argv, "rate", &value) && value > 0) gRate = static_cast<int32_t>(value);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
