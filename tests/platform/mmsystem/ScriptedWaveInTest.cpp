// The wave-in service's own rules, driven through the scripted backend: header life cycle, device
// numbers and names, dropped bytes, lost devices, stale handles and the scripted control API.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "ScriptedWaveIn.h"
#include "WaveInTestSupport.h"

namespace {

using namespace wavein_test;

constexpr UINT kHeaderSize = sizeof(WAVEHDR);
constexpr DWORD kDoneOrQueued = WHDR_DONE | WHDR_INQUEUE;

std::vector<char> Pattern(size_t count, unsigned seed = 1) {
  std::vector<char> bytes(count);
  for (size_t i = 0; i < count; ++i) bytes[i] = static_cast<char>((i * 7 + seed * 31) & 0xFF);
  return bytes;
}

class WaveInScripted : public ::testing::Test {
 protected:
  void SetUp() override {
    MessageQueue::Reset();
    ASSERT_TRUE(SelectWaveInBackend("scripted"));
    ScriptedWaveIn::Reset();
    window = std::make_unique<NoticeWindow>();
  }

  void TearDown() override {
    if (handle) {
      waveInReset(handle);
      PumpAll();
      EXPECT_EQ(waveInClose(handle), MMSYSERR_NOERROR);
    }
    PumpAll();
  }

  void Open(const WAVEFORMATEX& format = Pcm(8000, 1, 16), UINT device = 0) {
    ASSERT_EQ(waveInOpen(&handle, device, &format, window->Callback(), 0, CALLBACK_WINDOW),
              MMSYSERR_NOERROR);
    ASSERT_NE(handle, nullptr);
  }

  void Queue(Buffer& buffer) {
    ASSERT_EQ(waveInPrepareHeader(handle, &buffer.header, kHeaderSize), MMSYSERR_NOERROR);
    ASSERT_EQ(waveInAddBuffer(handle, &buffer.header, kHeaderSize), MMSYSERR_NOERROR);
  }

  void Feed(const std::vector<char>& bytes) {
    ASSERT_EQ(ScriptedWaveIn::Feed(handle, bytes.data(), bytes.size()), bytes.size());
  }

  WaveInStatistics Statistics() {
    WaveInStatistics statistics;
    EXPECT_EQ(waveInGetStatistics(handle, &statistics), MMSYSERR_NOERROR);
    return statistics;
  }

  // The MM_WIM_DATA notices so far, as the headers they carried, in posting order.
  std::vector<WAVEHDR*> Returned() const {
    std::vector<WAVEHDR*> headers;
    for (const Notice& notice : window->notices) {
      if (notice.msg != MM_WIM_DATA) continue;
      EXPECT_EQ(notice.wParam, reinterpret_cast<WPARAM>(handle));
      headers.push_back(notice.header);
    }
    return headers;
  }

  // Buffers live until after TearDown, which resets the device: a header the service still holds
  // must outlive it.
  Buffer& NewBuffer(size_t bytes) {
    owned.push_back(std::make_unique<Buffer>(bytes));
    return *owned.back();
  }
  std::vector<Buffer*> NewBuffers(size_t count, size_t bytes) {
    std::vector<Buffer*> buffers;
    for (size_t i = 0; i < count; ++i) buffers.push_back(&NewBuffer(bytes));
    return buffers;
  }

  std::vector<std::unique_ptr<Buffer>> owned;
  HWAVEIN handle = nullptr;
  std::unique_ptr<NoticeWindow> window;
};

TEST_F(WaveInScripted, HeadersFillInOrderAndStopHandsBackThePartOne) {
  Open(Pcm(8000, 1, 16));
  PumpAll();
  ASSERT_EQ(window->notices.size(), 1u);
  EXPECT_EQ(window->notices[0].msg, MM_WIM_OPEN);
  EXPECT_EQ(window->notices[0].wParam, reinterpret_cast<WPARAM>(handle));

  auto buffers = NewBuffers(2, 64);
  for (auto& buffer : buffers) {
    buffer->header.dwFlags = WHDR_DONE;  // left over from an earlier round
    buffer->header.dwBytesRecorded = 999;
    Queue(*buffer);
    EXPECT_EQ(buffer->header.dwFlags & (kDoneOrQueued | WHDR_PREPARED),
              WHDR_INQUEUE | WHDR_PREPARED);
    EXPECT_EQ(buffer->header.dwBytesRecorded, 0u);
  }
  WAVEHDR& first = buffers[0]->header;
  WAVEHDR& second = buffers[1]->header;
  ASSERT_EQ(waveInStart(handle), MMSYSERR_NOERROR);
  const std::vector<char> bytes = Pattern(100);
  Feed(bytes);
  // Headers are only touched on the GUI thread, when the wake-up is dispatched.
  EXPECT_EQ(first.dwBytesRecorded, 0u);
  PumpAll();

  EXPECT_EQ(first.dwBytesRecorded, 64u);
  EXPECT_EQ(first.dwFlags & kDoneOrQueued, WHDR_DONE);
  EXPECT_EQ(std::memcmp(first.lpData, bytes.data(), 64), 0);
  EXPECT_EQ(second.dwBytesRecorded, 36u);
  EXPECT_EQ(second.dwFlags & kDoneOrQueued, WHDR_INQUEUE);
  EXPECT_EQ(Returned(), std::vector<WAVEHDR*>{&first});

  MMTIME time{};
  time.wType = TIME_SAMPLES;
  ASSERT_EQ(waveInGetPosition(handle, &time, sizeof time), MMSYSERR_NOERROR);
  EXPECT_EQ(time.wType, TIME_SAMPLES);
  EXPECT_EQ(time.u.sample, 50u);  // 100 bytes of 16-bit mono

  ASSERT_EQ(waveInStop(handle), MMSYSERR_NOERROR);
  PumpAll();
  EXPECT_EQ(second.dwFlags & kDoneOrQueued, WHDR_DONE);
  EXPECT_EQ(second.dwBytesRecorded, 36u);
  EXPECT_EQ(std::memcmp(second.lpData, bytes.data() + 64, 36), 0);
  EXPECT_EQ(Returned(), (std::vector<WAVEHDR*>{&first, &second}));

  for (auto& buffer : buffers) {
    ASSERT_EQ(waveInUnprepareHeader(handle, &buffer->header, kHeaderSize), MMSYSERR_NOERROR);
    EXPECT_EQ(buffer->header.dwFlags & WHDR_PREPARED, 0u);
  }
  ASSERT_EQ(waveInClose(handle), MMSYSERR_NOERROR);
  PumpAll();
  EXPECT_EQ(window->notices.back().msg, MM_WIM_CLOSE);
  EXPECT_EQ(window->notices.back().wParam, reinterpret_cast<WPARAM>(handle));
  handle = nullptr;
}

TEST_F(WaveInScripted, StopKeepsAnEmptyHeaderQueuedAndCaptureResumesIntoIt) {
  Open();
  Buffer& buffer = NewBuffer(32);
  Queue(buffer);
  ASSERT_EQ(waveInStart(handle), MMSYSERR_NOERROR);
  ASSERT_EQ(waveInStop(handle), MMSYSERR_NOERROR);
  PumpAll();
  EXPECT_TRUE(Returned().empty());
  EXPECT_EQ(buffer.header.dwFlags & kDoneOrQueued, WHDR_INQUEUE);
  EXPECT_FALSE(ScriptedWaveIn::IsCapturing(handle));
  const std::vector<char> bytes = Pattern(32);
  EXPECT_EQ(ScriptedWaveIn::Feed(handle, bytes.data(), bytes.size()), 0u) << "stopped";

  ASSERT_EQ(waveInStart(handle), MMSYSERR_NOERROR);
  Feed(bytes);
  PumpAll();
  EXPECT_EQ(Returned(), std::vector<WAVEHDR*>{&buffer.header});
  EXPECT_EQ(std::memcmp(buffer.data.data(), bytes.data(), bytes.size()), 0);
}

TEST_F(WaveInScripted, ResetHandsBackEveryHeaderInQueueOrder) {
  Open();
  auto buffers = NewBuffers(3, 32);
  for (auto& buffer : buffers) Queue(*buffer);
  ASSERT_EQ(waveInStart(handle), MMSYSERR_NOERROR);
  Feed(Pattern(10));
  PumpAll();
  EXPECT_TRUE(Returned().empty());

  ASSERT_EQ(waveInReset(handle), MMSYSERR_NOERROR);
  PumpAll();
  EXPECT_EQ(Returned(),
            (std::vector<WAVEHDR*>{&buffers[0]->header, &buffers[1]->header, &buffers[2]->header}));
  const DWORD expected[] = {10, 0, 0};
  for (size_t i = 0; i < buffers.size(); ++i) {
    EXPECT_EQ(buffers[i]->header.dwFlags & kDoneOrQueued, WHDR_DONE) << i;
    EXPECT_EQ(buffers[i]->header.dwBytesRecorded, expected[i]) << i;
  }
  EXPECT_FALSE(ScriptedWaveIn::IsCapturing(handle));
  ASSERT_EQ(waveInClose(handle), MMSYSERR_NOERROR);
  handle = nullptr;
}

TEST_F(WaveInScripted, HeaderMisuseIsRefused) {
  Open();
  Buffer& first = NewBuffer(32);
  Buffer& second = NewBuffer(32);
  EXPECT_EQ(waveInAddBuffer(handle, &first.header, kHeaderSize), WAVERR_UNPREPARED);
  Queue(first);
  EXPECT_EQ(waveInAddBuffer(handle, &first.header, kHeaderSize), WAVERR_STILLPLAYING);
  // Even with its flag rubbed out by the caller, a queued header is not queued twice.
  first.header.dwFlags &= ~WHDR_INQUEUE;
  EXPECT_EQ(waveInAddBuffer(handle, &first.header, kHeaderSize), WAVERR_STILLPLAYING);
  first.header.dwFlags |= WHDR_INQUEUE;
  EXPECT_EQ(waveInUnprepareHeader(handle, &first.header, kHeaderSize), WAVERR_STILLPLAYING);
  EXPECT_EQ(waveInClose(handle), WAVERR_STILLPLAYING);

  Queue(second);
  ASSERT_EQ(waveInStart(handle), MMSYSERR_NOERROR);
  Feed(Pattern(96));
  PumpAll();
  EXPECT_EQ(Returned(), (std::vector<WAVEHDR*>{&first.header, &second.header}));
  EXPECT_EQ(Statistics().framesDropped, 0u) << "the last 32 bytes wait for the next header";

  // Buffers that could never fill are refused, so no empty header can spin the service.
  Buffer& empty = NewBuffer(16);
  empty.header.dwBufferLength = 0;
  EXPECT_NE(waveInPrepareHeader(handle, &empty.header, kHeaderSize), MMSYSERR_NOERROR);
  Buffer& missing = NewBuffer(16);
  missing.header.lpData = nullptr;
  EXPECT_NE(waveInPrepareHeader(handle, &missing.header, kHeaderSize), MMSYSERR_NOERROR);
  missing.header.dwFlags = WHDR_PREPARED;
  EXPECT_NE(waveInAddBuffer(handle, &missing.header, kHeaderSize), MMSYSERR_NOERROR);
  EXPECT_NE(waveInPrepareHeader(handle, nullptr, kHeaderSize), MMSYSERR_NOERROR);
  EXPECT_NE(waveInPrepareHeader(handle, &second.header, kHeaderSize - 1), MMSYSERR_NOERROR);
}

TEST_F(WaveInScripted, StaleHandlesAreRefusedByEveryCall) {
  Open();
  const HWAVEIN closed = handle;
  ASSERT_EQ(waveInClose(handle), MMSYSERR_NOERROR);
  handle = nullptr;
  Open();  // a newer device must not answer for the closed one
  EXPECT_NE(handle, closed);

  Buffer& buffer = NewBuffer(16);
  buffer.header.dwFlags = WHDR_PREPARED;
  MMTIME time{TIME_SAMPLES, {}};
  WaveInStatistics statistics;
  for (HWAVEIN stale : {HWAVEIN{}, closed, reinterpret_cast<HWAVEIN>(uintptr_t{0xDEAD0})}) {
    SCOPED_TRACE(reinterpret_cast<uintptr_t>(stale));
    EXPECT_EQ(waveInPrepareHeader(stale, &buffer.header, kHeaderSize), MMSYSERR_INVALHANDLE);
    EXPECT_EQ(waveInUnprepareHeader(stale, &buffer.header, kHeaderSize), MMSYSERR_INVALHANDLE);
    EXPECT_EQ(waveInAddBuffer(stale, &buffer.header, kHeaderSize), MMSYSERR_INVALHANDLE);
    EXPECT_EQ(waveInStart(stale), MMSYSERR_INVALHANDLE);
    EXPECT_EQ(waveInStop(stale), MMSYSERR_INVALHANDLE);
    EXPECT_EQ(waveInReset(stale), MMSYSERR_INVALHANDLE);
    EXPECT_EQ(waveInGetPosition(stale, &time, sizeof time), MMSYSERR_INVALHANDLE);
    EXPECT_EQ(waveInGetStatistics(stale, &statistics), MMSYSERR_INVALHANDLE);
    EXPECT_EQ(waveInClose(stale), MMSYSERR_INVALHANDLE);
  }
  EXPECT_EQ(buffer.header.dwFlags, WHDR_PREPARED);
  EXPECT_EQ(waveInStart(handle), MMSYSERR_NOERROR) << "the live device still answers";
}

struct PositionCase {
  UINT askedType;
  UINT answeredType;
  DWORD expected;  // for 400 bytes of 16-bit stereo at 8000 Hz: 100 frames
};

class WaveInPosition : public WaveInScripted, public ::testing::WithParamInterface<PositionCase> {};

TEST_P(WaveInPosition, CountsDeliveredFramesInTheUnitAsked) {
  Open(Pcm(8000, 2, 16));
  Buffer& buffer = NewBuffer(1024);
  Queue(buffer);
  ASSERT_EQ(waveInStart(handle), MMSYSERR_NOERROR);
  Feed(Pattern(400));
  PumpAll();
  MMTIME time{};
  time.wType = GetParam().askedType;
  ASSERT_EQ(waveInGetPosition(handle, &time, sizeof time), MMSYSERR_NOERROR);
  EXPECT_EQ(time.wType, GetParam().answeredType);
  EXPECT_EQ(time.u.cb, GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Units, WaveInPosition,
                         ::testing::Values(PositionCase{TIME_SAMPLES, TIME_SAMPLES, 100},
                                           PositionCase{TIME_BYTES, TIME_BYTES, 400},
                                           PositionCase{TIME_MS, TIME_MS, 12},
                                           PositionCase{0x0008 /* SMPTE */, TIME_BYTES, 400}));

TEST_F(WaveInScripted, BytesWithNoQueuedHeaderWaitForTheNextOneAndResetDiscardsThem) {
  Open(Pcm(8000, 1, 16));
  ASSERT_EQ(waveInStart(handle), MMSYSERR_NOERROR);
  const std::vector<char> early = Pattern(40);
  Feed(early);
  PumpAll();
  EXPECT_EQ(Statistics().framesDelivered, 0u);
  EXPECT_EQ(Statistics().framesDropped, 0u);

  // A burst larger than the queue is not lost: a header queued later takes the waiting bytes at
  // once, in order, and the next one the rest followed by what comes after.
  Buffer& first = NewBuffer(32);
  Queue(first);
  EXPECT_EQ(first.header.dwFlags & WHDR_DONE, WHDR_DONE);
  EXPECT_EQ(std::memcmp(first.data.data(), early.data(), 32), 0);
  Buffer& second = NewBuffer(32);
  Queue(second);
  const std::vector<char> later = Pattern(24, 2);
  Feed(later);
  PumpAll();
  EXPECT_EQ(Returned(), (std::vector<WAVEHDR*>{&first.header, &second.header}));
  EXPECT_EQ(std::memcmp(second.data.data(), early.data() + 32, 8), 0);
  EXPECT_EQ(std::memcmp(second.data.data() + 8, later.data(), 24), 0);
  EXPECT_EQ(Statistics().framesDelivered, 32u);

  // What still waits when the device is reset is discarded and counted.
  Feed(Pattern(20, 3));
  ASSERT_EQ(waveInReset(handle), MMSYSERR_NOERROR);
  EXPECT_EQ(Statistics().framesDropped, 10u);
  Buffer& third = NewBuffer(32);
  Queue(third);
  EXPECT_EQ(third.header.dwBytesRecorded, 0u);
}

TEST_F(WaveInScripted, BytesBeyondTheRingAreDroppedInWholeFrames) {
  // 3-byte frames, so that the ring's power-of-two room never holds a whole number of them.
  Open(Pcm(8000, 3, 8));
  Buffer& big = NewBuffer(1 << 20);
  Queue(big);
  ASSERT_EQ(waveInStart(handle), MMSYSERR_NOERROR);
  std::vector<char> fed;
  for (unsigned chunk = 0; chunk < 40; ++chunk) {  // 240000 bytes without a dispatch
    const std::vector<char> bytes = Pattern(6000, chunk);
    Feed(bytes);
    fed.insert(fed.end(), bytes.begin(), bytes.end());
  }
  PumpAll();
  const WaveInStatistics statistics = Statistics();
  EXPECT_GT(statistics.framesDropped, 0u);
  EXPECT_EQ((statistics.framesDelivered + statistics.framesDropped) * 3, fed.size());
  EXPECT_EQ(big.header.dwBytesRecorded, statistics.framesDelivered * 3);
  EXPECT_EQ(std::memcmp(big.data.data(), fed.data(), big.header.dwBytesRecorded), 0)
      << "what was kept is the start of what came, frames intact";
}

TEST_F(WaveInScripted, CapturesBeforeADispatchShareOneWakeUp) {
  Open();
  Buffer& buffer = NewBuffer(64);
  Queue(buffer);
  ASSERT_EQ(waveInStart(handle), MMSYSERR_NOERROR);
  PumpAll();
  const std::vector<char> bytes = Pattern(64);
  for (size_t at = 0; at < bytes.size(); at += 8)
    ASSERT_EQ(ScriptedWaveIn::Feed(handle, bytes.data() + at, 8), 8u);
  int dispatched = 0;
  while (MessageQueue::DispatchOne()) ++dispatched;
  EXPECT_EQ(dispatched, 2) << "one wake-up, then the MM_WIM_DATA it posted";
  EXPECT_EQ(std::memcmp(buffer.data.data(), bytes.data(), bytes.size()), 0);
}

TEST_F(WaveInScripted, ALostDeviceHandsBackEveryHeaderAndDeliversNothingMore) {
  Open();
  auto buffers = NewBuffers(2, 32);
  for (auto& buffer : buffers) Queue(*buffer);
  ASSERT_EQ(waveInStart(handle), MMSYSERR_NOERROR);
  Feed(Pattern(10));
  ASSERT_TRUE(ScriptedWaveIn::LoseDevice(handle));
  PumpAll();
  EXPECT_EQ(Returned(), (std::vector<WAVEHDR*>{&buffers[0]->header, &buffers[1]->header}));
  EXPECT_EQ(buffers[0]->header.dwBytesRecorded, 10u) << "what came before the loss is kept";
  for (auto& buffer : buffers) EXPECT_EQ(buffer->header.dwFlags & kDoneOrQueued, WHDR_DONE);

  // A recorder that re-adds every returned header must not be able to spin.
  EXPECT_NE(waveInAddBuffer(handle, &buffers[0]->header, kHeaderSize), MMSYSERR_NOERROR);
  EXPECT_NE(waveInStart(handle), MMSYSERR_NOERROR);
  EXPECT_NE(waveInGetLastError().find("lost"), std::string::npos) << waveInGetLastError();
  EXPECT_EQ(ScriptedWaveIn::Feed(handle, "abcd", 4), 0u);
  const size_t seen = window->notices.size();
  PumpAll();
  EXPECT_EQ(window->notices.size(), seen);

  EXPECT_EQ(waveInStop(handle), MMSYSERR_NOERROR);
  EXPECT_EQ(waveInReset(handle), MMSYSERR_NOERROR);
  ASSERT_EQ(waveInClose(handle), MMSYSERR_NOERROR);
  PumpAll();
  EXPECT_EQ(window->notices.back().msg, MM_WIM_CLOSE);
  handle = nullptr;
}

TEST_F(WaveInScripted, DevicesAreNumberedFromTheDefaultAndTheMapperMeansTheDefault) {
  ScriptedWaveIn::SetDevices({{"Built-in Microphone", 0xFFF, 2},
                              {"USB Headset", WAVE_FORMAT_1M16 | WAVE_FORMAT_4S16, 1},
                              {"Line In"}});
  ASSERT_EQ(waveInGetNumDevs(), 3u);
  const std::vector<ScriptedWaveIn::Device> devices = ScriptedWaveIn::Devices();
  for (UINT id = 0; id < 3; ++id) {
    WAVEINCAPSA caps{};
    ASSERT_EQ(waveInGetDevCapsA(id, &caps, sizeof caps), MMSYSERR_NOERROR);
    EXPECT_EQ(std::string(caps.szPname), devices[id].name);
    EXPECT_EQ(caps.dwFormats, devices[id].formats);
    EXPECT_EQ(caps.wChannels, devices[id].channels);
  }
  WAVEINCAPSA mapper{};
  ASSERT_EQ(waveInGetDevCapsA(WAVE_MAPPER, &mapper, sizeof mapper), MMSYSERR_NOERROR);
  EXPECT_STREQ(mapper.szPname, "Built-in Microphone");

  const WAVEFORMATEX format = Pcm(8000, 1, 16);
  WAVEINCAPSA caps{};
  EXPECT_EQ(waveInGetDevCapsA(3, &caps, sizeof caps), MMSYSERR_BADDEVICEID);
  EXPECT_EQ(waveInOpen(nullptr, 3, &format, 0, 0, WAVE_FORMAT_QUERY), MMSYSERR_BADDEVICEID);
  EXPECT_EQ(waveInOpen(&handle, 3, &format, window->Callback(), 0, CALLBACK_WINDOW),
            MMSYSERR_BADDEVICEID);
  EXPECT_EQ(handle, nullptr);
  Open(format, 2);
  EXPECT_EQ(ScriptedWaveIn::Counters().lastDevice, 2u);
}

TEST_F(WaveInScripted, WithNoDeviceNothingCanBeQueriedOrOpened) {
  ScriptedWaveIn::SetDevices({});
  EXPECT_EQ(waveInGetNumDevs(), 0u);
  const WAVEFORMATEX format = Pcm(8000, 1, 16);
  for (UINT id : {UINT{0}, WAVE_MAPPER}) {
    SCOPED_TRACE(id);
    WAVEINCAPSA caps{};
    EXPECT_NE(waveInGetDevCapsA(id, &caps, sizeof caps), MMSYSERR_NOERROR);
    EXPECT_NE(waveInOpen(nullptr, id, &format, 0, 0, WAVE_FORMAT_QUERY), MMSYSERR_NOERROR);
    EXPECT_NE(waveInOpen(&handle, id, &format, window->Callback(), 0, CALLBACK_WINDOW),
              MMSYSERR_NOERROR);
    EXPECT_EQ(handle, nullptr);
  }
  PumpAll();
  EXPECT_TRUE(window->notices.empty());
}

struct NameCase {
  const char* label;
  std::string name;
  std::string shown;
};

class WaveInDeviceName : public WaveInScripted, public ::testing::WithParamInterface<NameCase> {};

TEST_P(WaveInDeviceName, IsCutToFitWithoutSplittingACharacter) {
  ScriptedWaveIn::SetDevices({{GetParam().name}});
  WAVEINCAPSA caps{};
  ASSERT_EQ(waveInGetDevCapsA(0, &caps, sizeof caps), MMSYSERR_NOERROR);
  EXPECT_EQ(std::string(caps.szPname), GetParam().shown);
}

const std::string a27(27, 'a'), a28(28, 'a'), a29(29, 'a'), a30(30, 'a'), a31(31, 'a');
const std::string eAcute = "\xC3\xA9", euro = "\xE2\x82\xAC", grin = "\xF0\x9F\x98\x80";

INSTANTIATE_TEST_SUITE_P(
    Cases, WaveInDeviceName,
    ::testing::Values(NameCase{"Empty", "", ""}, NameCase{"Short", "Mic", "Mic"},
                      NameCase{"Exactly31", a31, a31}, NameCase{"Ascii32", a31 + "b", a31},
                      NameCase{"TwoByteFits", a29 + eAcute, a29 + eAcute},
                      NameCase{"TwoByteStraddles", a30 + eAcute, a30},
                      NameCase{"ThreeByteFits", a28 + euro, a28 + euro},
                      NameCase{"ThreeByteStraddlesAfterOne", a29 + euro, a29},
                      NameCase{"ThreeByteStraddlesAfterTwo", a30 + euro, a30},
                      NameCase{"FourByteFits", a27 + grin, a27 + grin},
                      NameCase{"FourByteStraddles", a28 + grin + "tail", a28},
                      NameCase{"FourByteStraddlesLate", a30 + grin, a30},
                      NameCase{"AllMultiByte",
                               "Mikrofon \xC3\xBC\xC3\xBC\xC3\xBC\xC3\xBC\xC3\xBC"
                               "\xC3\xBC\xC3\xBC\xC3\xBC\xC3\xBC\xC3\xBC\xC3\xBC"
                               "\xC3\xBC",
                               "Mikrofon \xC3\xBC\xC3\xBC\xC3\xBC\xC3\xBC\xC3\xBC\xC3\xBC"
                               "\xC3\xBC\xC3\xBC\xC3\xBC\xC3\xBC\xC3\xBC"}),
    [](const auto& info) { return std::string(info.param.label); });

TEST_F(WaveInScripted, InjectedFailuresAreReturnedWithTheirReason) {
  ScriptedWaveIn::Device refusing;
  refusing.name = "Busy";
  refusing.queryResult = MMSYSERR_NOTENABLED;
  refusing.openResult = MMSYSERR_ALLOCATED;
  ScriptedWaveIn::SetDevices({ScriptedWaveIn::Device{}, refusing});
  const WAVEFORMATEX format = Pcm(8000, 1, 16);

  EXPECT_EQ(waveInOpen(nullptr, 1, &format, 0, 0, WAVE_FORMAT_QUERY), MMSYSERR_NOTENABLED);
  EXPECT_EQ(waveInOpen(&handle, 1, &format, window->Callback(), 0, CALLBACK_WINDOW),
            MMSYSERR_ALLOCATED);
  EXPECT_EQ(handle, nullptr);
  EXPECT_EQ(waveInGetLastError().rfind("scripted: ", 0), 0u) << waveInGetLastError();
  EXPECT_EQ(waveInOpen(nullptr, 0, &format, 0, 0, WAVE_FORMAT_QUERY), MMSYSERR_NOERROR);

  ScriptedWaveIn::FailQueries(MMSYSERR_NODRIVER);
  ScriptedWaveIn::FailOpens(MMSYSERR_NOMEM);
  EXPECT_EQ(waveInOpen(nullptr, 0, &format, 0, 0, WAVE_FORMAT_QUERY), MMSYSERR_NODRIVER);
  EXPECT_EQ(waveInOpen(&handle, 0, &format, window->Callback(), 0, CALLBACK_WINDOW),
            MMSYSERR_NOMEM);
  ScriptedWaveIn::FailQueries(MMSYSERR_NOERROR);
  ScriptedWaveIn::FailOpens(MMSYSERR_NOERROR);
  PumpAll();
  EXPECT_TRUE(window->notices.empty()) << "a failed open posts nothing";

  Open(format);
  ScriptedWaveIn::FailStarts(MMSYSERR_ERROR);
  EXPECT_EQ(waveInStart(handle), MMSYSERR_ERROR);
  EXPECT_FALSE(ScriptedWaveIn::IsCapturing(handle));
  ScriptedWaveIn::FailStarts(MMSYSERR_NOERROR);
  EXPECT_EQ(waveInStart(handle), MMSYSERR_NOERROR);
  EXPECT_TRUE(ScriptedWaveIn::IsCapturing(handle));
}

TEST_F(WaveInScripted, CountersFollowEveryCallIncludingRefusedOnes) {
  const WAVEFORMATEX format = Pcm(22050, 2, 16);
  EXPECT_EQ(waveInOpen(nullptr, 0, &format, 0, 0, WAVE_FORMAT_QUERY), MMSYSERR_NOERROR);
  Open(format);
  EXPECT_EQ(ScriptedWaveIn::LastOpened(), handle);
  Buffer& buffer = NewBuffer(64);
  EXPECT_EQ(waveInAddBuffer(handle, &buffer.header, kHeaderSize), WAVERR_UNPREPARED);
  Queue(buffer);
  ASSERT_EQ(waveInStart(handle), MMSYSERR_NOERROR);
  EXPECT_EQ(ScriptedWaveIn::CompleteBuffers(nullptr, 1, 0x5A), 64u);
  PumpAll();
  EXPECT_EQ(buffer.header.dwFlags & kDoneOrQueued, WHDR_DONE);
  EXPECT_EQ(buffer.data, std::vector<char>(64, 0x5A));
  MMTIME time{TIME_SAMPLES, {}};
  ASSERT_EQ(waveInGetPosition(handle, &time, sizeof time), MMSYSERR_NOERROR);
  ASSERT_EQ(waveInStop(handle), MMSYSERR_NOERROR);
  ASSERT_EQ(waveInReset(handle), MMSYSERR_NOERROR);
  ASSERT_EQ(waveInUnprepareHeader(handle, &buffer.header, kHeaderSize), MMSYSERR_NOERROR);
  WAVEINCAPSA caps;
  ASSERT_EQ(waveInGetDevCapsA(0, &caps, sizeof caps), MMSYSERR_NOERROR);
  ASSERT_EQ(waveInClose(handle), MMSYSERR_NOERROR);
  handle = nullptr;
  EXPECT_EQ(ScriptedWaveIn::LastOpened(), nullptr);

  const ScriptedWaveIn::Calls calls = ScriptedWaveIn::Counters();
  EXPECT_EQ(calls.queries, 1u);
  EXPECT_EQ(calls.opens, 1u);
  EXPECT_EQ(calls.prepares, 1u);
  EXPECT_EQ(calls.adds, 2u);
  EXPECT_EQ(calls.starts, 1u);
  EXPECT_EQ(calls.positions, 1u);
  EXPECT_EQ(calls.stops, 1u);
  EXPECT_EQ(calls.resets, 1u);
  EXPECT_EQ(calls.unprepares, 1u);
  EXPECT_EQ(calls.devCaps, 1u);
  EXPECT_EQ(calls.closes, 1u);
  ASSERT_TRUE(calls.haveFormat);
  EXPECT_EQ(std::memcmp(&calls.lastFormat, &format, sizeof format), 0);

  ScriptedWaveIn::Reset();
  EXPECT_EQ(ScriptedWaveIn::Counters().opens, 0u);
  EXPECT_EQ(waveInGetNumDevs(), 1u);
}

TEST_F(WaveInScripted, CompleteBuffersFillsOnlyWhatTheFirstHeadersLack) {
  Open(Pcm(8000, 1, 8));
  auto buffers = NewBuffers(3, 16);
  for (auto& buffer : buffers) Queue(*buffer);
  ASSERT_EQ(waveInStart(handle), MMSYSERR_NOERROR);
  Feed(Pattern(5));  // still waiting in the ring
  EXPECT_EQ(ScriptedWaveIn::CompleteBuffers(handle, 2, 0x11), 27u);
  PumpAll();
  EXPECT_EQ(Returned(), (std::vector<WAVEHDR*>{&buffers[0]->header, &buffers[1]->header}));
  EXPECT_EQ(buffers[2]->header.dwBytesRecorded, 0u);
  EXPECT_EQ(buffers[2]->header.dwFlags & kDoneOrQueued, WHDR_INQUEUE);
}

TEST_F(WaveInScripted, OpenChecksItsFlagsAndWhereToNotify) {
  const WAVEFORMATEX format = Pcm(8000, 1, 16);
  EXPECT_EQ(waveInOpen(&handle, 0, &format, window->Callback(), 0, 0x00030000 /* function */),
            MMSYSERR_INVALFLAG);
  EXPECT_EQ(waveInOpen(nullptr, 0, &format, window->Callback(), 0, CALLBACK_WINDOW),
            MMSYSERR_INVALPARAM);
  EXPECT_EQ(waveInOpen(&handle, 0, &format, 0x7777, 0, CALLBACK_WINDOW), MMSYSERR_INVALPARAM);
  EXPECT_EQ(handle, nullptr);

  // Without a window nothing is posted, but capture works the same.
  ASSERT_EQ(waveInOpen(&handle, 0, &format, 0, 0, CALLBACK_NULL), MMSYSERR_NOERROR);
  Buffer& buffer = NewBuffer(16);
  Queue(buffer);
  ASSERT_EQ(waveInStart(handle), MMSYSERR_NOERROR);
  EXPECT_EQ(ScriptedWaveIn::CompleteBuffers(handle), 16u);
  PumpAll();
  EXPECT_EQ(buffer.header.dwFlags & kDoneOrQueued, WHDR_DONE);
  ASSERT_EQ(waveInClose(handle), MMSYSERR_NOERROR);
  handle = nullptr;
  PumpAll();
  EXPECT_TRUE(window->notices.empty());
}

TEST_F(WaveInScripted, BackendChoiceRefusesUnknownNamesAndChangesWhileOpen) {
  EXPECT_FALSE(SelectWaveInBackend("nonesuch"));
  EXPECT_NE(waveInGetLastError().find("nonesuch"), std::string::npos);
  EXPECT_FALSE(SelectWaveInBackend(nullptr));
  EXPECT_EQ(WaveInBackendName(), "scripted");
  Open();
  EXPECT_FALSE(SelectWaveInBackend("sdl"));
  EXPECT_EQ(WaveInBackendName(), "scripted");
  ASSERT_EQ(waveInClose(handle), MMSYSERR_NOERROR);
  handle = nullptr;
  ASSERT_TRUE(SelectWaveInBackend("sdl"));
  EXPECT_EQ(WaveInBackendName(), "sdl");
}

}  // namespace
