// The recorder over real SDL capture: SDL's "disk" driver (the bytes of a file, at the real pace)
// and, inside the private PulseAudio server of tests/e2e/pulse-env.sh, a sound server playing a
// sine tone. Each runs SDL's capture thread for real while the test thread pumps the message queue
// as the application's loop does.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "MMSystem.h"
#include "Recorder.h"
#include "WaveInDiagnostics.h"
#include "Windows.h"

namespace {

using Clock = std::chrono::steady_clock;

// Keeps every block the recorder offers, in order, as bytes and as GetSample values.
class TCollector : public TObject {
 public:
  explicit TCollector(TRecorder* recorder) : recorder(recorder) {
    recorder->AddClient(MakeMethod<&TCollector::Event>(this));
  }
  ~TCollector() override {
    if (!sourceGone) recorder->RemoveClient(MakeMethod<&TCollector::Event>(this));
  }
  void Event(TObject*, uint8_t code) {
    if (code == evDestroying) sourceGone = true;
    if (code != evData || recorder->SampleCount() == 0) return;
    blocks.emplace_back(recorder->Data(), recorder->Data() + recorder->BytesRecorded());
    for (int32_t i = 0; i < recorder->SampleCount(); ++i) samples.push_back(recorder->GetSample(i));
  }

  TRecorder* recorder;
  bool sourceGone = false;
  std::vector<std::vector<uint8_t>> blocks;
  std::vector<int32_t> samples;
};

// Runs the loop until `done()` or the deadline. The deadline only keeps a broken run from hanging.
template <class Done>
bool PumpUntil(Done done, std::chrono::seconds limit) {
  const auto deadline = Clock::now() + limit;
  while (!done()) {
    if (Clock::now() > deadline) return false;
    MessageQueue::Wait(100);
    while (MessageQueue::DispatchOne()) {
    }
  }
  return true;
}

class RecorderCaptureTest : public testing::Test {
 protected:
  void SetUp() override { MessageQueue::Reset(); }
  void TearDown() override {
    unsetenv("SDL_DISKAUDIOFILEIN");
    setenv("SDL_AUDIODRIVER", "dummy", 1);
  }
  // Starts SDL's audio afresh with `driver`.
  static void UseDriver(const char* driver) {
    setenv("SDL_AUDIODRIVER", driver, 1);
    ASSERT_TRUE(SelectWaveInBackend("sdl")) << waveInGetLastError();
  }
  static WaveInStatistics Statistics(TRecorder& r) {
    WaveInStatistics stats;
    EXPECT_EQ(waveInGetStatistics(r.GetHandle(), &stats), MMSYSERR_NOERROR);
    return stats;
  }
};

// 1,000 blocks read from a file through SDL's disk driver reach the recorder's clients whole, in
// order and byte for byte as in the file.
//
// SDL hands over about 20 ms (1024 frames at 48 kHz) per callback, and the service drops what finds
// no queued header, so the seven queued buffers must together hold more than one callback.
TEST_F(RecorderCaptureTest, DiskDriverBlocksArriveByteIdenticalAndInOrder) {
  constexpr int32_t kFrames = 256;
  constexpr size_t kBlockBytes = kFrames * 4;  // stereo, 16 bits
  constexpr size_t kBlocks = 1000;
  // Random bytes: a lost, doubled or reordered block cannot match by chance. Some spare after the
  // last block, since SDL reads ahead.
  std::mt19937 random(20240611);
  std::vector<uint8_t> file((kBlocks + 64) * kBlockBytes);
  for (uint8_t& b : file) b = static_cast<uint8_t>(random() & 0xFF);
  const std::string path = testing::TempDir() + "recorder-disk-in-" + std::to_string(getpid());
  {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(file.data()),
              static_cast<std::streamsize>(file.size()));
    ASSERT_TRUE(out.good()) << path;
  }
  setenv("SDL_DISKAUDIOFILEIN", path.c_str(), 1);
  UseDriver("disk");

  {
    TRecorder r(nullptr);
    r.Quality()->SetChannelCount(2);
    r.Quality()->SetSampleBits(16);
    r.Quality()->SetSamplesPerSec(48000);
    r.SetFramesPerBuffer(kFrames);
    TCollector collector(&r);
    collector.blocks.reserve(kBlocks + 64);
    r.Start();
    ASSERT_TRUE(
        PumpUntil([&] { return collector.blocks.size() >= kBlocks; }, std::chrono::seconds(120)))
        << "only " << collector.blocks.size() << " blocks arrived";
    const WaveInStatistics stats = Statistics(r);
    EXPECT_EQ(stats.framesDropped, 0u);
    r.Stop();

    for (size_t k = 0; k < kBlocks; ++k) {
      const std::vector<uint8_t>& block = collector.blocks[k];
      ASSERT_EQ(block.size(), kBlockBytes) << "block " << k;
      ASSERT_EQ(std::memcmp(block.data(), file.data() + k * kBlockBytes, kBlockBytes), 0)
          << "block " << k << " differs from the file";
    }
  }
  std::remove(path.c_str());
}

// The tone's frequency, or 0 when not running inside the tone server.
double ToneHz() {
  const char* server = std::getenv("PULSE_SERVER");
  const char* tone = std::getenv("AS_E2E_TONE_HZ");
  return server && *server && tone && *tone ? std::atof(tone) : 0.0;
}

// The frequency of `x` (sampled at `rate`) from its rising zero crossings, each placed between its
// two samples by linear interpolation. A crossing counts only after the signal went below a
// quarter of its peak, so quantisation noise near zero adds none.
double Frequency(const std::vector<int32_t>& x, double rate) {
  double mean = 0;
  for (int32_t v : x) mean += v;
  mean /= static_cast<double>(x.size());
  double peak = 0;
  for (int32_t v : x) peak = std::max(peak, std::abs(v - mean));
  const double low = -peak / 4;
  bool armed = false;
  double first = -1, last = -1;
  long crossings = 0;
  for (size_t i = 0; i + 1 < x.size(); ++i) {
    const double a = x[i] - mean, b = x[i + 1] - mean;
    if (a < low) armed = true;
    if (armed && a < 0 && b >= 0) {
      const double at = static_cast<double>(i) + a / (a - b);
      if (first < 0) first = at;
      last = at;
      ++crossings;
      armed = false;
    }
  }
  return crossings > 1 ? (crossings - 1) * rate / (last - first) : 0.0;
}

struct ToneCase {
  const char* name;
  int32_t rate;
  int32_t channels;
  int32_t bits;
};

class RecorderPulseTest : public RecorderCaptureTest,
                          public testing::WithParamInterface<ToneCase> {};

// Records the tone through the recorder and measures it from GetSample values: the frequency
// comes out within 5 Hz and the service drops no frame on the way.
TEST_P(RecorderPulseTest, RecordsTheToneAtItsFrequencyWithoutDroppingFrames) {
  const double tone = ToneHz();
  if (tone <= 0)
    GTEST_SKIP() << "needs the tone-playing sound server of tests/e2e/pulse-env.sh (PULSE_SERVER "
                    "and AS_E2E_TONE_HZ are not set)";
  const ToneCase& c = GetParam();
  UseDriver("pulseaudio");

  TRecorder r(nullptr);
  r.Quality()->SetSamplesPerSec(c.rate);
  r.Quality()->SetChannelCount(c.channels);
  r.Quality()->SetSampleBits(c.bits);
  r.SetFramesPerBuffer(1024);
  TCollector collector(&r);
  // Half a second to settle, then two seconds measured.
  const size_t settle = static_cast<size_t>(c.rate) / 2;
  const size_t wanted = settle + 2 * static_cast<size_t>(c.rate);
  collector.samples.reserve(wanted + 2048);
  r.Start();
  ASSERT_TRUE(
      PumpUntil([&] { return collector.samples.size() >= wanted; }, std::chrono::seconds(60)))
      << "only " << collector.samples.size() << " samples arrived: " << waveInGetLastError();
  const WaveInStatistics stats = Statistics(r);
  r.Stop();

  const std::vector<int32_t> measured(collector.samples.begin() + static_cast<long>(settle),
                                      collector.samples.end());
  EXPECT_NEAR(Frequency(measured, c.rate), tone, 5.0);
  EXPECT_EQ(stats.framesDropped, 0u);
  EXPECT_GE(stats.framesDelivered, collector.samples.size());
}

INSTANTIATE_TEST_SUITE_P(Formats, RecorderPulseTest,
                         testing::Values(ToneCase{"Mono8Bit11025Hz", 11025, 1, 8},
                                         ToneCase{"Stereo16Bit44100Hz", 44100, 2, 16}),
                         [](const testing::TestParamInfo<ToneCase>& info) {
                           return info.param.name;
                         });

}  // namespace
