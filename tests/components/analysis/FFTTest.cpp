#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "FFT.h"
#include "Recorder.h"
#include "ScriptedWaveIn.h"
#include "WaveInDiagnostics.h"
#include "Windows.h"

namespace {

void Pump() {
  while (MessageQueue::DispatchOne()) {
  }
}

// A client of the FFT component that logs the codes it hears and what it could read then.
class TProbe : public TObject {
 public:
  explicit TProbe(TFFT* fft, TRecorder* recorder = nullptr) : fft(fft), recorder(recorder) {}
  // Leaves the component's slots, unless the component said it is going.
  ~TProbe() override {
    if (!gone) fft->RemoveClient(Method());
  }
  TClientEvent Method() { return MakeMethod<&TProbe::Event>(this); }
  void Event(TObject* sender, uint8_t code) {
    EXPECT_EQ(sender, fft);
    log.push_back(code);
    if (code == evDestroying) {
      gone = true;
      // By now the component has left its recorder's slots and still holds its tables.
      attachedAtDestroying = fft->Attached();
      tablesAtDestroying = fft->HasTables();
      if (recorder) {
        stillInRecorder = false;
        for (int i = 0; i < TClientSlots::kSlotCount; ++i)
          stillInRecorder |= recorder->Clients().Slot(i).Object() == fft;
      }
    }
  }
  TFFT* fft;
  TRecorder* recorder;
  std::vector<uint8_t> log;
  bool attachedAtDestroying = true, tablesAtDestroying = false, stillInRecorder = true;
  bool gone = false;
};

class FFTTest : public testing::Test {
 protected:
  void SetUp() override {
    MessageQueue::Reset();
    ASSERT_TRUE(SelectWaveInBackend("scripted"));
    ScriptedWaveIn::Reset();
  }
  void TearDown() override {
    MessageQueue::Reset();
    ScriptedWaveIn::Reset();
  }

  // Starts capture on `recorder` and delivers the open notice (the FFT builds its tables).
  void StartCapture(TRecorder& recorder) {
    recorder.Start();
    Pump();
  }
  // One full mono 8-bit block whose every sample is `value` ((byte - 128) * 64).
  void FeedConstant(TRecorder& recorder, int byte) {
    std::vector<uint8_t> block(recorder.BufferBytes(), static_cast<uint8_t>(byte));
    ASSERT_EQ(ScriptedWaveIn::Feed(nullptr, block.data(), block.size()), block.size());
    Pump();
  }
};

struct BufSizeCase {
  int32_t written;
  int32_t sourceBufSize;  // 0: no source
  int32_t expected;
};

class FFTBufSizeTest : public FFTTest, public testing::WithParamInterface<BufSizeCase> {};

TEST_P(FFTBufSizeTest, ReadsBackThePowerOfTwoInForce) {
  const BufSizeCase& c = GetParam();
  TRecorder recorder(nullptr);
  TFFT fft(nullptr);
  if (c.sourceBufSize) {
    recorder.SetFramesPerBuffer(c.sourceBufSize);
    fft.SetSource(&recorder);
  }
  fft.SetBufSize(c.written);
  EXPECT_EQ(fft.BufSize(), c.expected);
}

INSTANTIATE_TEST_SUITE_P(Table, FFTBufSizeTest,
                         testing::Values(BufSizeCase{1000, 0, 1024}, BufSizeCase{1024, 0, 1024},
                                         BufSizeCase{0, 0, 1}, BufSizeCase{-7, 0, 1},
                                         BufSizeCase{1, 0, 1}, BufSizeCase{1025, 0, 2048},
                                         BufSizeCase{100, 256, 256}, BufSizeCase{1000, 256, 1024},
                                         BufSizeCase{(1 << 30) + 1, 0, 1 << 30},
                                         BufSizeCase{INT32_MAX, 0, 1 << 30}));

TEST_F(FFTTest, FreshComponentAndBinFrequencies) {
  TFFT fft(nullptr);
  EXPECT_EQ(fft.BufSize(), 1024);
  EXPECT_EQ(fft.Source(), nullptr);
  EXPECT_EQ(fft.BinFrequency(1), 0);
  EXPECT_EQ(fft.BinFrequency(512), 0);
  TRecorder recorder(nullptr);
  fft.SetSource(&recorder);
  EXPECT_EQ(fft.BinFrequency(1), 10);     // 10.77 truncated
  EXPECT_EQ(fft.BinFrequency(512), 5512);  // 11025 * 512 / 1024 = 5512.5
  EXPECT_EQ(fft.BinFrequency(93), 1001);
  // The rate is read when a different source is assigned, not again for the same one.
  recorder.Quality()->SetSamplesPerSec(44100);
  fft.SetSource(&recorder);
  EXPECT_EQ(fft.BinFrequency(1), 10);
}

TEST_F(FFTTest, BufSizeWrittenWithTablesButNoSourceStaysAsWrittenAndDividesNothing) {
  TRecorder recorder(nullptr);
  TFFT fft(nullptr);
  fft.SetSource(&recorder);
  StartCapture(recorder);
  ASSERT_TRUE(fft.HasTables());
  fft.SetSource(nullptr);  // keeps the tables and the rate
  EXPECT_TRUE(fft.HasTables());
  fft.SetBufSize(0);  // frees them; nothing to rebuild from
  EXPECT_FALSE(fft.HasTables());
  EXPECT_EQ(fft.BufSize(), 0);
  EXPECT_EQ(fft.BinFrequency(5), 0);
  recorder.CloseDevice();
  Pump();
}

TEST_F(FFTTest, ConstantBlocksFillTheSlidingWindow) {
  TRecorder recorder(nullptr);
  TFFT fft(nullptr);
  fft.SetSource(&recorder);
  StartCapture(recorder);
  ASSERT_TRUE(fft.HasTables());
  const double c = (138 - 128) * 64;  // every sample
  FeedConstant(recorder, 138);
  // One block of 256 in a window of 1024 zeros.
  EXPECT_DOUBLE_EQ(fft.Magnitude(0), 256 * c / 32);
  for (int k = 0; k < 3; ++k) FeedConstant(recorder, 138);
  EXPECT_DOUBLE_EQ(fft.Magnitude(0), c * 32);  // |c| * sqrt(N)
  for (int i = 1; i < 1024; ++i) ASSERT_EQ(fft.Magnitude(i), 0.0) << "bin " << i;
  recorder.Stop();
  recorder.CloseDevice();
  Pump();
}

TEST_F(FFTTest, SecondOpenRebuildsClearsTheWindowAndTellsTheClients) {
  TRecorder recorder(nullptr);
  TFFT fft(nullptr);
  TProbe probe(&fft);
  fft.AddClient(probe.Method());
  fft.SetSource(&recorder);
  StartCapture(recorder);
  for (int k = 0; k < 4; ++k) FeedConstant(recorder, 200);
  fft.SourceEvent(&recorder, evOpened);
  EXPECT_EQ(probe.log, (std::vector<uint8_t>{evOpened, evData, evData, evData, evData, evOpened}));
  FeedConstant(recorder, 200);
  // Only the block after the rebuild is in the window.
  EXPECT_DOUBLE_EQ(fft.Magnitude(0), 256 * 72 * 64 / 32.0);
  // A close of the device changes nothing: tables and window survive.
  fft.SourceEvent(&recorder, evClosed);
  EXPECT_TRUE(fft.HasTables());
  EXPECT_DOUBLE_EQ(fft.Magnitude(0), 256 * 72 * 64 / 32.0);
  recorder.CloseDevice();
  Pump();
}

TEST_F(FFTTest, SpectrumMatchesTheReferenceTransformBitForBit) {
  TRecorder recorder(nullptr);
  TFFT fft(nullptr);
  fft.SetSource(&recorder);
  StartCapture(recorder);
  std::vector<double> window(1024, 0.0);
  uint32_t seed = 12345;
  for (int k = 0; k < 6; ++k) {
    std::vector<uint8_t> block(256);
    for (auto& b : block) b = static_cast<uint8_t>((seed = seed * 1664525u + 1013904223u) >> 24);
    ASSERT_EQ(ScriptedWaveIn::Feed(nullptr, block.data(), block.size()), block.size());
    Pump();
    std::memmove(window.data(), window.data() + 256, 768 * sizeof(double));
    for (int i = 0; i < 256; ++i) window[768 + i] = (block[i] - 128) * 64;
  }
  const TransformTables tables(1024);
  std::vector<TComplex> spectrum(1024);
  BitReversedCopy(window.data(), tables.bitReverse.data(), 1024, spectrum.data());
  ReferenceTransform(spectrum.data(), 1024, tables.stages, tables.pointers.data());
  std::vector<double> expected(1024);
  ReferenceMagnitudes(spectrum.data(), 1024, 1024, expected.data());
  for (int i = 0; i < 1024; ++i) {
    double got = fft.Magnitude(i);
    ASSERT_EQ(std::memcmp(&got, &expected[i], sizeof got), 0) << "bin " << i << " via "
                                                               << fft.KernelName();
  }
  recorder.CloseDevice();
  Pump();
}

TEST_F(FFTTest, ClientsHearDestroyingAfterItLeftTheRecorderAndBeforeTablesGo) {
  TRecorder recorder(nullptr);
  auto* fft = new TFFT(nullptr);
  TProbe probe(fft, &recorder);
  fft->AddClient(probe.Method());
  fft->SetSource(&recorder);
  StartCapture(recorder);
  delete fft;
  ASSERT_FALSE(probe.log.empty());
  EXPECT_EQ(probe.log.back(), evDestroying);
  EXPECT_FALSE(probe.attachedAtDestroying);
  EXPECT_FALSE(probe.stillInRecorder);
  EXPECT_TRUE(probe.tablesAtDestroying);
  recorder.CloseDevice();
  Pump();
}

TEST_F(FFTTest, RecorderDestroyedFirstIsForgottenWithoutCallingIt) {
  auto* recorder = new TRecorder(nullptr);
  TFFT fft(nullptr);
  fft.SetSource(recorder);
  StartCapture(*recorder);
  delete recorder;  // evDestroying, then the removal notice
  EXPECT_EQ(fft.Source(), nullptr);
  EXPECT_FALSE(fft.Attached());
  EXPECT_FALSE(fft.HasTables());
  Pump();
}

TEST_F(FFTTest, SourceLeavingItsOwnerIsDetachedBeforeBeingForgotten) {
  TComponent owner(nullptr);
  auto* recorder = new TRecorder(&owner);
  auto* fft = new TFFT(&owner);
  fft->SetSource(recorder);
  StartCapture(*recorder);
  owner.RemoveComponent(recorder);  // alive, only no longer owned
  EXPECT_EQ(fft->Source(), nullptr);
  for (int i = 0; i < TClientSlots::kSlotCount; ++i)
    EXPECT_FALSE(recorder->Clients().Slot(i).Assigned());
  FeedConstant(*recorder, 150);  // reaches nobody
  recorder->CloseDevice();
  Pump();
  delete recorder;
}

TEST_F(FFTTest, OtherNotificationsKeepTheTables) {
  TComponent owner(nullptr);
  auto* recorder = new TRecorder(&owner);
  auto* fft = new TFFT(&owner);
  fft->SetSource(recorder);
  StartCapture(*recorder);
  delete new TComponent(&owner);  // an insertion and a removal that do not concern the source
  EXPECT_TRUE(fft->HasTables());
  FeedConstant(*recorder, 150);
  EXPECT_GT(fft->Magnitude(0), 0.0);
  recorder->CloseDevice();
  Pump();
}

TEST_F(FFTTest, BlockLongerThanTheWindowIsSkipped) {
  TRecorder recorder(nullptr);
  recorder.Quality()->SetSampleBits(16);
  TFFT fft(nullptr);
  fft.SetBufSize(256);
  fft.SetSource(&recorder);
  TProbe probe(&fft);
  fft.AddClient(probe.Method());
  StartCapture(recorder);
  ASSERT_EQ(fft.BufSize(), 256);
  // The device still delivers 512-byte buffers, now read as 512 eight-bit samples.
  recorder.Quality()->SetSampleBits(8);
  std::vector<uint8_t> block(512, 200);
  ASSERT_EQ(ScriptedWaveIn::Feed(nullptr, block.data(), block.size()), block.size());
  Pump();
  EXPECT_EQ(recorder.SampleCount(), 512);
  EXPECT_EQ(probe.log, (std::vector<uint8_t>{evOpened}));
  recorder.CloseDevice();
  Pump();
}

TEST_F(FFTTest, NewSourceWithLargerBlocksRebuildsTablesForTheNewSize) {
  TRecorder small(nullptr), large(nullptr);
  large.SetFramesPerBuffer(2048);
  TFFT fft(nullptr);
  TProbe probe(&fft);
  fft.AddClient(probe.Method());
  fft.SetSource(&small);
  StartCapture(small);
  ASSERT_EQ(fft.BufSize(), 1024);
  fft.SetSource(&large);
  EXPECT_EQ(fft.BufSize(), 2048);
  EXPECT_TRUE(fft.HasTables());
  EXPECT_EQ(probe.log, (std::vector<uint8_t>{evOpened, evOpened}));
  small.CloseDevice();
  StartCapture(large);
  FeedConstant(large, 130);
  EXPECT_DOUBLE_EQ(fft.Magnitude(0), 2048 * 128 / std::sqrt(2048.0));
  large.CloseDevice();
  Pump();
}

TEST_F(FFTTest, FifthClientIsIgnoredAndRemovalClearsEverySlotHoldingIt) {
  TFFT fft(nullptr);
  TProbe a(&fft), b(&fft);
  for (int i = 0; i < 4; ++i) fft.AddClient(a.Method());
  fft.AddClient(b.Method());
  TRecorder recorder(nullptr);
  fft.SetSource(&recorder);
  StartCapture(recorder);
  EXPECT_EQ(a.log.size(), 4u);
  EXPECT_TRUE(b.log.empty());
  fft.RemoveClient(a.Method());
  for (int i = 0; i < TClientSlots::kSlotCount; ++i) EXPECT_FALSE(fft.Clients().Slot(i).Assigned());
  recorder.CloseDevice();
  Pump();
}

}  // namespace
