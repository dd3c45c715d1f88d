#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "RecorderTestSupport.h"
#include "Streaming.h"
#include "SysUtils.h"

namespace {

using capture_test::Feed;
using capture_test::Pattern;
using capture_test::Pump;
using capture_test::TListener;

class RecorderTest : public capture_test::ScriptedTest {
 protected:
  // The bytes of the current block.
  static std::vector<uint8_t> Current(const TRecorder& r) {
    if (!r.Data()) return {};
    return std::vector<uint8_t>(r.Data(), r.Data() + r.BytesRecorded());
  }
  static bool Queued(const WAVEHDR& h) { return (h.dwFlags & WHDR_INQUEUE) != 0; }
};

// The fields of a (packed) format record as one line, for comparing whole records.
std::string Describe(const WAVEFORMATEX& f) {
  const WAVEFORMATEX c = f;
  return "tag " + std::to_string(c.wFormatTag) + ", " + std::to_string(c.nChannels) + " ch, " +
         std::to_string(c.nSamplesPerSec) + " Hz, " + std::to_string(c.nAvgBytesPerSec) +
         " B/s, align " + std::to_string(c.nBlockAlign) + ", " + std::to_string(c.wBitsPerSample) +
         " bits, cb " + std::to_string(c.cbSize);
}

TEST_F(RecorderTest, NewRecorderHasItsDefaultsAndOpensNothing) {
  {
    TRecorder r(nullptr);
    Pump();  // the start-up message
    EXPECT_EQ(r.BufSize(), 256);
    EXPECT_FALSE(r.AutoStart());
    EXPECT_FALSE(r.OnSample().Assigned());
    EXPECT_EQ(r.Quality()->Channels(), 1);
    EXPECT_EQ(r.Quality()->Frequency(), 11025);
    EXPECT_EQ(r.Quality()->BitsPerSample(), 8);
    EXPECT_EQ(r.Device()->DeviceNumber(), -1);
    EXPECT_EQ(r.SampleCount(), 0);
    EXPECT_EQ(r.GetSample(0), 0);
    EXPECT_EQ(r.BufferCount(), 8);
    EXPECT_EQ(r.BufferBytes(), 0);
    EXPECT_NE(r.WindowHandle(), nullptr);
  }
  const ScriptedWaveIn::Calls calls = ScriptedWaveIn::Counters();
  EXPECT_EQ(calls.queries + calls.opens + calls.prepares + calls.adds + calls.starts + calls.stops +
                calls.resets + calls.closes + calls.positions,
            0u);

  std::vector<std::string> names;
  for (const TPropInfo* p : TRecorder::StaticClass().Properties()) names.push_back(p->Name);
  EXPECT_EQ(names, (std::vector<std::string>{"Device", "Quality", "BufSize", "OnSample",
                                             "SamplePos", "AutoStart"}));
}

struct AutoStartCase {
  const char* name;
  bool autoStart;
  bool designing;
  bool expectStarted;
};

class RecorderAutoStartTest : public capture_test::ScriptedTest,
                              public testing::WithParamInterface<AutoStartCase> {};

// AutoStart is read from a form after construction; the start-up message, handled only once the
// loop runs, sees the value the form set.
TEST_P(RecorderAutoStartTest, StartsOnTheStartUpMessageOnlyOutsideTheDesigner) {
  RegisterCaptureClasses();
  const AutoStartCase& c = GetParam();
  const std::string form = std::string("object Recorder1: TRecorder\n  AutoStart = ") +
                           (c.autoStart ? "True" : "False") + "\nend\n";
  std::unique_ptr<TComponent> made(ReadComponent(form, nullptr, c.designing));
  auto* r = dynamic_cast<TRecorder*>(made.get());
  ASSERT_NE(r, nullptr);
  EXPECT_EQ(ScriptedWaveIn::Counters().starts, 0u);  // nothing before the loop runs
  Pump();
  EXPECT_EQ(ScriptedWaveIn::Counters().starts, c.expectStarted ? 1u : 0u);
  EXPECT_EQ(ScriptedWaveIn::IsCapturing(nullptr), c.expectStarted);
  EXPECT_EQ(ScriptedWaveIn::Counters().opens, c.expectStarted ? 1u : 0u);
}

INSTANTIATE_TEST_SUITE_P(Cases, RecorderAutoStartTest,
                         testing::Values(AutoStartCase{"Off", false, false, false},
                                         AutoStartCase{"On", true, false, true},
                                         AutoStartCase{"OnInDesigner", true, true, false}),
                         [](const testing::TestParamInfo<AutoStartCase>& info) {
                           return info.param.name;
                         });

TEST_F(RecorderTest, FirstOpenAtDefaultsAllocatesOneBlockAndQueuesBuffersZeroToSix) {
  TRecorder r(nullptr);
  TListener client(&r);
  client.Attach();
  r.Start();
  EXPECT_EQ(r.BufferBytes(), 256);
  EXPECT_EQ(r.CurrentBuffer(), 0);
  const char* base = r.Header(0).lpData;
  ASSERT_NE(base, nullptr);
  for (int i = 0; i < 7; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(r.Header(i).lpData, base + i * 256);
    EXPECT_EQ(r.Header(i).dwBufferLength, 256u);
    EXPECT_TRUE(Queued(r.Header(i)));
    EXPECT_TRUE(r.Header(i).dwFlags & WHDR_PREPARED);
  }
  EXPECT_EQ(r.Header(7).lpData, nullptr);
  EXPECT_EQ(r.Header(7).dwFlags, 0u);

  const ScriptedWaveIn::Calls calls = ScriptedWaveIn::Counters();
  EXPECT_EQ(calls.queries, 1u);
  EXPECT_EQ(calls.opens, 1u);
  EXPECT_EQ(calls.prepares, 7u);
  EXPECT_EQ(calls.adds, 7u);
  EXPECT_EQ(calls.starts, 1u);
  EXPECT_EQ(calls.lastDevice, 0u);  // the default device, not Device (-1)
  ASSERT_TRUE(calls.haveFormat);
  EXPECT_EQ(Describe(calls.lastFormat), "tag 1, 1 ch, 11025 Hz, 11025 B/s, align 1, 8 bits, cb 0");

  EXPECT_TRUE(client.log.empty());  // the open notice is still queued
  Pump();
  EXPECT_EQ(client.log, (std::vector<std::string>{"opened"}));
}

TEST_F(RecorderTest, Stereo16BitBuffersHoldBufSizeFrames) {
  TRecorder r(nullptr);
  r.Quality()->SetChannelCount(2);
  r.Quality()->SetSampleBits(16);
  r.Quality()->SetSamplesPerSec(44100);
  r.SetFramesPerBuffer(1024);
  r.Start();
  EXPECT_EQ(r.BufferBytes(), 4096);
  EXPECT_EQ(Describe(ScriptedWaveIn::Counters().lastFormat),
            "tag 1, 2 ch, 44100 Hz, 176400 B/s, align 4, 16 bits, cb 0");
  Feed(Pattern(0, 4096));
  EXPECT_EQ(r.SampleCount(), 1024);
  EXPECT_EQ(r.BytesRecorded(), 4096);
}

// Headers 0..6 start queued and 7 held back; each completion queues the block read before it and
// makes the completed one current until the next completes.
TEST_F(RecorderTest, TheRingTurnsOneBlockPerCompletion) {
  TRecorder r(nullptr);
  r.SetFramesPerBuffer(64);
  r.Start();
  Pump();

  Feed(Pattern(0, 64));
  EXPECT_EQ(r.CurrentBuffer(), 1);
  EXPECT_EQ(r.Data(), reinterpret_cast<const BYTE*>(r.Header(0).lpData));
  EXPECT_TRUE(Queued(r.Header(7)));
  EXPECT_EQ(r.Header(7).lpData, r.Header(0).lpData + 7 * 64);
  EXPECT_FALSE(Queued(r.Header(0)));
  EXPECT_EQ(ScriptedWaveIn::Counters().adds, 8u);
  EXPECT_EQ(Current(r), Pattern(0, 64));

  // Part of the next block: nothing completes, the current block stays readable.
  const std::vector<uint8_t> next = Pattern(1, 64);
  ASSERT_EQ(ScriptedWaveIn::Feed(nullptr, next.data(), 40), 40u);
  Pump();
  EXPECT_EQ(r.CurrentBuffer(), 1);
  EXPECT_EQ(Current(r), Pattern(0, 64));

  ASSERT_EQ(ScriptedWaveIn::Feed(nullptr, next.data() + 40, 24), 24u);
  Pump();
  EXPECT_EQ(r.CurrentBuffer(), 2);
  EXPECT_EQ(Current(r), next);
  EXPECT_TRUE(Queued(r.Header(0)));  // block 0 queued again
  EXPECT_FALSE(Queued(r.Header(1)));

  // Many turns: every block arrives whole, in order, and exactly one header is held at a time.
  for (int k = 2; k < 40; ++k) {
    SCOPED_TRACE(k);
    Feed(Pattern(k, 64));
    EXPECT_EQ(Current(r), Pattern(k, 64));
    EXPECT_EQ(r.CurrentBuffer(), (k + 1) % 8);
    int queued = 0;
    for (int i = 0; i < 8; ++i) queued += Queued(r.Header(i));
    EXPECT_EQ(queued, 7);
  }
  WaveInStatistics stats;
  ASSERT_EQ(waveInGetStatistics(r.GetHandle(), &stats), MMSYSERR_NOERROR);
  EXPECT_EQ(stats.framesDelivered, 40u * 64u);
  EXPECT_EQ(stats.framesDropped, 0u);
}

TEST_F(RecorderTest, ANoticeWithoutADoneBufferStillNotifiesAndOffersThePreviousBlock) {
  TRecorder r(nullptr);
  r.SetFramesPerBuffer(32);
  TListener client(&r);
  client.Attach();
  r.Start();
  Feed(Pattern(5, 32));
  client.log.clear();
  const unsigned adds = ScriptedWaveIn::Counters().adds;

  ASSERT_TRUE(PostMessage(r.WindowHandle(), MM_WIM_DATA, reinterpret_cast<WPARAM>(r.GetHandle()),
                          reinterpret_cast<LPARAM>(&r.Header(1))));
  Pump();
  EXPECT_EQ(client.log, (std::vector<std::string>{"data:32", "sample"}));
  EXPECT_EQ(r.CurrentBuffer(), 1);
  EXPECT_EQ(Current(r), Pattern(5, 32));
  EXPECT_EQ(ScriptedWaveIn::Counters().adds, adds);
}

struct SampleCase {
  const char* name;
  int32_t channels;
  int32_t bits;
  std::vector<uint8_t> bytes;
  std::vector<int32_t> expected;  // GetSample(0), GetSample(1), ...; then 0 past the end
};

class RecorderSampleTest : public capture_test::ScriptedTest,
                           public testing::WithParamInterface<SampleCase> {};

// The block is captured as mono 8-bit bytes; Quality is then set to the case's layout, since
// GetSample decodes with Quality as it is at the call.
TEST_P(RecorderSampleTest, DecodesTheCurrentBlockWithTheQualityOfTheMoment) {
  const SampleCase& c = GetParam();
  TRecorder r(nullptr);
  r.SetFramesPerBuffer(static_cast<int32_t>(c.bytes.size()));
  r.Start();
  Feed(c.bytes);
  ASSERT_EQ(r.BytesRecorded(), static_cast<int32_t>(c.bytes.size()));
  r.Quality()->SetChannelCount(c.channels);
  r.Quality()->SetSampleBits(c.bits);
  for (size_t i = 0; i < c.expected.size(); ++i)
    EXPECT_EQ(r.GetSample(static_cast<int32_t>(i)), c.expected[i]) << "sample " << i;
  // Beyond the bytes recorded, and before the start, there is nothing to read.
  EXPECT_EQ(r.GetSample(static_cast<int32_t>(c.expected.size())), 0);
  EXPECT_EQ(r.GetSample(-1), 0);
  EXPECT_EQ(r.GetSample(INT32_MAX), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, RecorderSampleTest,
    testing::Values(
        SampleCase{"Mono8", 1, 8, {0, 128, 255, 1}, {-8192, 0, 127 * 64, -127 * 64}},
        SampleCase{"Mono16",
                   1,
                   16,
                   {0x34, 0x12, 0xFF, 0xFF, 0x00, 0x80, 0xFF, 0x7F},
                   {0x1234, -1, -32768, 32767}},
        SampleCase{
            "Stereo8", 2, 8, {255, 255, 0, 0, 128, 128, 0, 255}, {254 * 128, -32768, 0, -128}},
        // (-3 + 0) / 2 truncates toward zero to -1, not -2.
        SampleCase{"Stereo16",
                   2,
                   16,
                   {0xFD, 0xFF, 0, 0, 3, 0, 0, 0, 0x00, 0x80, 0x00, 0x80, 0xFF, 0x7F, 0xFF, 0x7F},
                   {-1, 1, -32768, 32767}},
        // A trailing half frame is not a sample.
        SampleCase{"Stereo16PartialFrame", 2, 16, {4, 0, 2, 0, 9, 9}, {3}},
        SampleCase{"Mono24IsRawBytes", 1, 24, {0, 128, 255}, {0, 128, 255}},
        SampleCase{"ThreeChannelsIsRawBytes", 3, 8, {7, 200}, {7, 200}},
        SampleCase{"NoChannelsIsRawBytes", 0, 16, {7, 200}, {7, 200}},
        SampleCase{"FourBitsIsRawBytesWithinTheBlock", 1, 4, {9, 8}, {9, 8}}),
    [](const testing::TestParamInfo<SampleCase>& info) { return info.param.name; });

struct OpenFailureCase {
  const char* name;
  std::function<void(TRecorder&)> breakIt;
  std::function<void(TRecorder&)> fixIt;
  const char* message;
  bool serviceOpenCalled;
};

class RecorderOpenFailureTest : public capture_test::ScriptedTest,
                                public testing::WithParamInterface<OpenFailureCase> {};

// A failed open leaves the device closed with nothing queued or allocated, and the next Start
// after the cause is removed opens normally.
TEST_P(RecorderOpenFailureTest, RaisesLeavesTheDeviceClosedAndRecovers) {
  const OpenFailureCase& c = GetParam();
  TRecorder r(nullptr);
  TListener client(&r);
  client.Attach();
  c.breakIt(r);
  try {
    r.Start();
    FAIL() << "Start did not raise";
  } catch (const EInOutError& e) {
    EXPECT_EQ(e.Message, c.message);
  }
  Pump();
  EXPECT_EQ(ScriptedWaveIn::LastOpened(), nullptr);
  EXPECT_EQ(ScriptedWaveIn::Counters().opens, c.serviceOpenCalled ? 1u : 0u);
  EXPECT_EQ(ScriptedWaveIn::Counters().adds, 0u);
  EXPECT_EQ(ScriptedWaveIn::Counters().starts, 0u);
  EXPECT_TRUE(client.log.empty());
  EXPECT_EQ(r.SampleCount(), 0);

  c.fixIt(r);
  r.Start();
  EXPECT_TRUE(ScriptedWaveIn::IsCapturing(nullptr));
  EXPECT_EQ(ScriptedWaveIn::Counters().adds, 7u);
  Feed(Pattern(1, static_cast<size_t>(r.BufferBytes())));
  EXPECT_EQ(r.SampleCount(), r.BufSize());
}

INSTANTIATE_TEST_SUITE_P(
    Causes, RecorderOpenFailureTest,
    testing::Values(
        OpenFailureCase{"UnsupportedBits", [](TRecorder& r) { r.Quality()->SetSampleBits(12); },
                        [](TRecorder& r) { r.Quality()->SetSampleBits(8); }, "Format not supported",
                        false},
        OpenFailureCase{"NoChannels", [](TRecorder& r) { r.Quality()->SetChannelCount(0); },
                        [](TRecorder& r) { r.Quality()->SetChannelCount(2); },
                        "Format not supported", false},
        OpenFailureCase{"QueryRefused",
                        [](TRecorder&) { ScriptedWaveIn::FailQueries(WAVERR_BADFORMAT); },
                        [](TRecorder&) { ScriptedWaveIn::FailQueries(MMSYSERR_NOERROR); },
                        "Format not supported", false},
        OpenFailureCase{"OpenRefused",
                        [](TRecorder&) { ScriptedWaveIn::FailOpens(MMSYSERR_ALLOCATED); },
                        [](TRecorder&) { ScriptedWaveIn::FailOpens(MMSYSERR_NOERROR); },
                        "Error opening wavein", true},
        OpenFailureCase{"ZeroBufSize", [](TRecorder& r) { r.SetFramesPerBuffer(0); },
                        [](TRecorder& r) { r.SetFramesPerBuffer(16); }, "Error opening wavein",
                        false},
        OpenFailureCase{"NegativeBufSize", [](TRecorder& r) { r.SetFramesPerBuffer(-256); },
                        [](TRecorder& r) { r.SetFramesPerBuffer(256); }, "Error opening wavein",
                        false}),
    [](const testing::TestParamInfo<OpenFailureCase>& info) { return info.param.name; });

TEST_F(RecorderTest, ReadingSamplePosOpensAClosedDevice) {
  TRecorder r(nullptr);
  r.SetFramesPerBuffer(100);
  EXPECT_EQ(r.GetSamplePosition(), 0u);
  EXPECT_EQ(ScriptedWaveIn::Counters().opens, 1u);
  EXPECT_EQ(ScriptedWaveIn::Counters().positions, 1u);
  EXPECT_NE(ScriptedWaveIn::LastOpened(), nullptr);
  r.Start();
  Feed(Pattern(0, 100));
  Feed(Pattern(1, 30));
  EXPECT_EQ(GetOrdProp(r, "SamplePos"), 130);
  EXPECT_EQ(ScriptedWaveIn::Counters().opens, 1u);
}

// The form writer and the designer never read SamplePos, so neither opens the device.
TEST_F(RecorderTest, WritingAFormAndInspectingInTheDesignerOpenNothing) {
  RegisterCaptureClasses();
  TComponent root(nullptr);
  auto* r = new TRecorder(&root);
  r->SetName("Recorder1");
  r->Quality()->SetChannelCount(2);
  r->Quality()->SetSampleBits(16);
  r->Device()->SetDeviceNumber(1);
  r->SetFramesPerBuffer(1024);
  r->SetAutoStart(true);

  const std::string text = WriteComponent(r);
  EXPECT_EQ(ScriptedWaveIn::Counters().opens, 0u);
  EXPECT_EQ(text.find("SamplePos"), std::string::npos) << text;
  EXPECT_NE(text.find("Device.id = 1"), std::string::npos) << text;
  EXPECT_NE(text.find("Quality.Channels = 2"), std::string::npos) << text;
  EXPECT_NE(text.find("Quality.BitsPerSample = 16"), std::string::npos) << text;
  EXPECT_EQ(text.find("Quality.Frequency"), std::string::npos) << text;  // default
  EXPECT_NE(text.find("BufSize = 1024"), std::string::npos) << text;
  EXPECT_NE(text.find("AutoStart = True"), std::string::npos) << text;
  root.SetDesigning(true);  // from here on, as inside the designer (no AutoStart either)

  std::unique_ptr<TComponent> copy(ReadComponent(text, nullptr, /*designing=*/true));
  auto* read = dynamic_cast<TRecorder*>(copy.get());
  ASSERT_NE(read, nullptr);
  EXPECT_EQ(read->Quality()->Channels(), 2);
  EXPECT_EQ(read->Quality()->BitsPerSample(), 16);
  EXPECT_EQ(read->Device()->DeviceNumber(), 1);
  EXPECT_EQ(read->BufSize(), 1024);
  EXPECT_TRUE(read->AutoStart());
  for (const TPropInfo* p : TRecorder::StaticClass().Properties())
    if (p->GetOrd) p->GetOrd(*read);  // what an inspector shows
  Pump();
  EXPECT_EQ(ScriptedWaveIn::Counters().opens, 0u);

  EXPECT_THROW(ReadComponent("object R: TRecorder\n  SamplePos = 5\nend\n", nullptr), EReadError);
}

TEST_F(RecorderTest, ChangingBufSizeWhileCapturingClosesAndTheNextStartUsesTheNewSize) {
  TRecorder r(nullptr);
  TListener client(&r);
  client.Attach();
  r.Start();
  Pump();
  Feed(Pattern(0, 256));
  client.log.clear();

  r.SetFramesPerBuffer(512);
  EXPECT_EQ(ScriptedWaveIn::LastOpened(), nullptr);
  EXPECT_EQ(r.SampleCount(), 0);
  EXPECT_EQ(r.Data(), nullptr);
  EXPECT_TRUE(client.log.empty());  // told only once the notices are handled
  Pump();
  ASSERT_FALSE(client.log.empty());
  EXPECT_EQ(client.log.back(), "closed");
  EXPECT_EQ(std::count(client.log.begin(), client.log.end(), "closed"), 1);

  client.log.clear();
  r.Start();
  EXPECT_EQ(r.BufferBytes(), 512);
  EXPECT_EQ(ScriptedWaveIn::Counters().opens, 2u);
  Pump();
  Feed(Pattern(1, 512));
  EXPECT_EQ(client.log, (std::vector<std::string>{"opened", "data:512", "sample"}));
  EXPECT_EQ(Current(r), Pattern(1, 512));
}

TEST_F(RecorderTest, DestroyingANeverOpenedRecorderTellsClientsAndOpensNothing) {
  auto* r = new TRecorder(nullptr);
  TListener client(r);
  client.Attach();
  delete r;
  EXPECT_EQ(client.log, (std::vector<std::string>{"destroying"}));
  const ScriptedWaveIn::Calls calls = ScriptedWaveIn::Counters();
  EXPECT_EQ(calls.queries + calls.opens + calls.stops + calls.resets + calls.closes, 0u);
}

TEST_F(RecorderTest, DestroyingACapturingRecorderTellsClientsFirstThenStopsResetsAndCloses) {
  auto* r = new TRecorder(nullptr);
  TListener client(r);
  client.Attach();
  r->Start();
  Pump();
  Feed(Pattern(0, 256));
  client.log.clear();
  ScriptedWaveIn::Calls atNotice;
  bool destroyingFlag = false;
  client.onEvent = [&](uint8_t code) {
    if (code != evDestroying) return;
    atNotice = ScriptedWaveIn::Counters();
    destroyingFlag = r->ComponentState().Contains(csDestroying);
    EXPECT_NE(ScriptedWaveIn::LastOpened(), nullptr);
  };
  const HWND window = r->WindowHandle();
  delete r;

  EXPECT_EQ(client.log, (std::vector<std::string>{"destroying"}));
  EXPECT_TRUE(destroyingFlag);
  EXPECT_EQ(atNotice.stops + atNotice.resets + atNotice.closes, 0u);
  const ScriptedWaveIn::Calls after = ScriptedWaveIn::Counters();
  EXPECT_EQ(after.stops, 1u);
  EXPECT_EQ(after.resets, 1u);
  EXPECT_EQ(after.closes, 1u);
  EXPECT_EQ(ScriptedWaveIn::LastOpened(), nullptr);  // the reset came before the close
  EXPECT_FALSE(IsWindow(window));
  Pump();  // the notices the close produced go nowhere
  EXPECT_EQ(client.log, (std::vector<std::string>{"destroying"}));
}

TEST_F(RecorderTest, OnlyIsFormatSupportedConsultsDevice) {
  ScriptedWaveIn::Device refusing;
  refusing.queryResult = WAVERR_BADFORMAT;
  ScriptedWaveIn::SetDevices({ScriptedWaveIn::Device{}, refusing});
  TRecorder r(nullptr);
  EXPECT_EQ(r.GetDeviceCount(), 2);

  r.Device()->SetDeviceNumber(1);
  EXPECT_FALSE(r.IsQualitySupported());
  EXPECT_EQ(ScriptedWaveIn::Counters().lastDevice, 1u);
  r.Device()->SetDeviceNumber(7);  // no such device
  EXPECT_FALSE(r.IsFormatSupported(11025, 1, 8));
  r.Device()->SetDeviceNumber(-1);
  EXPECT_TRUE(r.IsFormatSupported(44100, 2, 16));
  EXPECT_EQ(ScriptedWaveIn::Counters().lastDevice, WAVE_MAPPER);
  EXPECT_EQ(Describe(ScriptedWaveIn::Counters().lastFormat),
            "tag 1, 2 ch, 44100 Hz, 176400 B/s, align 4, 16 bits, cb 0");
  EXPECT_EQ(ScriptedWaveIn::Counters().opens, 0u);  // queries only
  EXPECT_EQ(ScriptedWaveIn::LastOpened(), nullptr);

  // Opening always uses device 0, whatever Device names.
  r.Device()->SetDeviceNumber(1);
  r.Start();
  EXPECT_EQ(ScriptedWaveIn::Counters().lastDevice, 0u);
  EXPECT_TRUE(ScriptedWaveIn::IsCapturing(nullptr));

  ScriptedWaveIn::SetDevices({});
  EXPECT_EQ(r.GetDeviceCount(), 0);
}

// CloseDevice resets the device, which hands every queued buffer back with a notice delivered
// after the close. Those notices take nothing: no reopening, no queueing, no reading of the
// released buffers; the clients see an empty block.
TEST_F(RecorderTest, NoticesArrivingAfterCloseTakeNothing) {
  TRecorder r(nullptr);
  r.SetFramesPerBuffer(64);
  TListener client(&r);
  client.Attach();
  r.Start();
  Feed(Pattern(0, 64));
  Feed(Pattern(1, 64));
  const std::vector<uint8_t> partial = Pattern(2, 64);
  ASSERT_EQ(ScriptedWaveIn::Feed(nullptr, partial.data(), 20), 20u);
  client.log.clear();
  const ScriptedWaveIn::Calls before = ScriptedWaveIn::Counters();

  r.CloseDevice();
  EXPECT_EQ(r.SampleCount(), 0);
  EXPECT_EQ(r.Data(), nullptr);
  EXPECT_EQ(r.GetSample(0), 0);
  Pump();

  std::vector<std::string> expected(7, "data:0");
  std::vector<std::string> seen;
  for (const std::string& s : client.log)
    if (s != "sample") seen.push_back(s);
  expected.push_back("closed");
  EXPECT_EQ(seen, expected);
  const ScriptedWaveIn::Calls after = ScriptedWaveIn::Counters();
  EXPECT_EQ(after.opens, before.opens);
  EXPECT_EQ(after.adds, before.adds);
  EXPECT_EQ(after.prepares, before.prepares);
  EXPECT_EQ(after.unprepares, before.unprepares);
  EXPECT_EQ(ScriptedWaveIn::LastOpened(), nullptr);
}

// The same notices, arriving after the device was already reopened with another buffer size,
// must not disturb the new ring.
TEST_F(RecorderTest, NoticesFromAnEarlierOpeningDoNotDisturbTheNextOne) {
  TRecorder r(nullptr);
  r.SetFramesPerBuffer(64);
  TListener client(&r);
  client.Attach();
  r.Start();
  for (int k = 0; k < 3; ++k) Feed(Pattern(k, 64));

  r.SetFramesPerBuffer(48);  // closes; seven notices and the close notice queued
  r.Start();                 // reopens before any of them is handled
  const unsigned adds = ScriptedWaveIn::Counters().adds;
  client.log.clear();
  Pump();
  for (const std::string& s : client.log) {
    if (s.rfind("data", 0) == 0) {
      EXPECT_EQ(s, "data:0");
    }
  }
  EXPECT_EQ(r.CurrentBuffer(), 0);
  EXPECT_EQ(ScriptedWaveIn::Counters().adds, adds);

  for (int k = 10; k < 30; ++k) {
    SCOPED_TRACE(k);
    Feed(Pattern(k, 48));
    EXPECT_EQ(Current(r), Pattern(k, 48));
  }
  WaveInStatistics stats;
  ASSERT_EQ(waveInGetStatistics(r.GetHandle(), &stats), MMSYSERR_NOERROR);
  EXPECT_EQ(stats.framesDropped, 0u);
  EXPECT_EQ(ScriptedWaveIn::Counters().opens, 2u);
}

// Quality may be changed while the device is open; a layout with no bits per frame (or a
// negative one) gives no samples instead of dividing by zero, and one narrower than a byte never
// reads beyond the block.
TEST_F(RecorderTest, DegenerateQualityAtCompletionGivesNoOrBoundedSamples) {
  TRecorder r(nullptr);
  r.SetFramesPerBuffer(16);
  TListener client(&r);
  client.Attach();
  r.Start();

  r.Quality()->SetChannelCount(0);
  Feed(Pattern(0, 16));
  EXPECT_EQ(r.SampleCount(), 0);
  EXPECT_EQ(r.BytesRecorded(), 16);

  r.Quality()->SetChannelCount(-1);
  Feed(Pattern(1, 16));
  EXPECT_EQ(r.SampleCount(), 0);

  r.Quality()->SetChannelCount(1);
  r.Quality()->SetSampleBits(4);
  Feed(Pattern(2, 16));
  EXPECT_EQ(r.SampleCount(), 32);  // two samples a byte, as the format says
  EXPECT_EQ(r.GetSample(15), Pattern(2, 16)[15]);
  EXPECT_EQ(r.GetSample(16), 0);  // the client read all 32 without leaving the block
  EXPECT_EQ(r.GetSample(31), 0);
}

// Stop and Reset keep the device open; capturing resumes in ring order with the next Start.
TEST_F(RecorderTest, StartAfterStopOrResetStaysInStepWithTheDevice) {
  TRecorder r(nullptr);
  r.SetFramesPerBuffer(32);
  r.Start();
  for (int k = 0; k < 3; ++k) Feed(Pattern(k, 32));
  EXPECT_EQ(r.CurrentBuffer(), 3);

  r.Stop();
  Pump();
  r.Start();
  EXPECT_EQ(r.CurrentBuffer(), 3);
  for (int k = 3; k < 6; ++k) {
    Feed(Pattern(k, 32));
    EXPECT_EQ(Current(r), Pattern(k, 32));
  }

  // A partial block is handed back by the reset and becomes current; the ring stays whole.
  const std::vector<uint8_t> partial = Pattern(6, 32);
  ASSERT_EQ(ScriptedWaveIn::Feed(nullptr, partial.data(), 8), 8u);
  r.Reset();
  Pump();
  r.Start();
  for (int k = 7; k < 30; ++k) {
    SCOPED_TRACE(k);
    Feed(Pattern(k, 32));
    EXPECT_EQ(Current(r), Pattern(k, 32));
  }
  EXPECT_EQ(ScriptedWaveIn::Counters().opens, 1u);
  WaveInStatistics stats;
  ASSERT_EQ(waveInGetStatistics(r.GetHandle(), &stats), MMSYSERR_NOERROR);
  EXPECT_EQ(stats.framesDropped, 0u);
}

TEST_F(RecorderTest, SettingsObjectsAreReplacedOnlyByAnotherObject) {
  TRecorder r(nullptr);
  TAudioLineParameters* quality = r.Quality();
  TWaveInDeviceID* device = r.Device();
  r.SetQualityObject(quality);
  r.SetQualityObject(nullptr);
  r.SetDeviceObject(device);
  r.SetDeviceObject(nullptr);
  EXPECT_EQ(r.Quality(), quality);
  EXPECT_EQ(r.Device(), device);
  quality->SetChannelCount(2);  // still alive and used

  auto* stereo16 = new TAudioLineParameters;
  stereo16->SetChannelCount(2);
  stereo16->SetSampleBits(16);
  SetObjectProp(r, "Quality", stereo16);
  EXPECT_EQ(r.Quality(), stereo16);
  auto* other = new TWaveInDeviceID;
  r.SetDeviceObject(other);
  EXPECT_EQ(r.Device(), other);

  TWaveInDeviceID wrongClass;
  EXPECT_THROW(SetObjectProp(r, "Quality", &wrongClass), EPropertyError);
  EXPECT_EQ(r.Quality(), stereo16);

  r.Start();
  EXPECT_EQ(Describe(ScriptedWaveIn::Counters().lastFormat),
            "tag 1, 2 ch, 11025 Hz, 44100 B/s, align 4, 16 bits, cb 0");
  EXPECT_EQ(r.BufferBytes(), 1024);
}

TEST_F(RecorderTest, ClientsAreToldBeforeOnSampleAndMayLeaveDuringANotice) {
  TRecorder r(nullptr);
  r.SetFramesPerBuffer(8);
  TListener first(&r), second(&r);
  first.Attach();        // slot 3, and OnSample
  second.Attach(false);  // slot 2, told first
  second.onEvent = [&](uint8_t code) {
    if (code == evData) r.RemoveClient(first.Method());
  };
  r.Start();
  Pump();
  first.log.clear();
  second.log.clear();
  Feed(Pattern(0, 8));
  EXPECT_EQ(second.log, (std::vector<std::string>{"data:8"}));
  EXPECT_EQ(first.log, (std::vector<std::string>{"sample"}));
}

}  // namespace
