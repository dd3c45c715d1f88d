// A thousand rounds of open, start, stop or reset, close and reopen on the real SDL path (the disk
// driver, delivering every millisecond), with varied timing, while SDL's capture thread writes.
// Checks that the service stays consistent and, under ThreadSanitizer, that nothing races. A
// watchdog fails the run instead of letting a deadlock hang it.
#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>
#include <map>
#include <random>
#include <string>
#include <thread>

#include "WaveInTestSupport.h"

namespace {

using namespace wavein_test;

constexpr UINT kHeaderSize = sizeof(WAVEHDR);

TEST(SdlStress, ManyOpenStartStopCloseRoundsStayConsistent) {
  Watchdog watchdog(std::chrono::seconds(540), "open/close rounds");
  const std::string path = ::testing::TempDir() + "wavein-stress-" + std::to_string(getpid());
  std::ofstream(path, std::ios::binary) << std::string(1 << 18, '\x42');
  ScopedEnv driver("SDL_AUDIODRIVER", "disk");
  ScopedEnv file("SDL_DISKAUDIOFILEIN", path.c_str());
  ScopedEnv delay("SDL_DISKAUDIODELAY", "1");
  ASSERT_TRUE(SelectWaveInBackend("sdl"));

  const WAVEFORMATEX formats[] = {Pcm(8000, 1, 8), Pcm(22050, 1, 16), Pcm(44100, 2, 16),
                                  Pcm(48000, 2, 32)};
  std::mt19937 random(7);
  auto chance = [&](unsigned in) { return random() % in == 0; };
  NoticeWindow window;

  for (int round = 0; round < 1000; ++round) {
    SCOPED_TRACE(round);
    const WAVEFORMATEX& format = formats[round % 4];
    HWAVEIN handle = nullptr;
    ASSERT_EQ(waveInOpen(&handle, 0, &format, window.Callback(), 0, CALLBACK_WINDOW),
              MMSYSERR_NOERROR)
        << waveInGetLastError();
    auto buffers = MakeBuffers(random() % 4, format.nBlockAlign * (64 + random() % 512));
    std::map<WAVEHDR*, bool> queued;
    uint64_t handedBack = 0;
    const bool requeue = chance(2);
    bool stopping = false;
    window.onNotice = [&](const Notice& notice) {
      if (notice.msg != MM_WIM_DATA) return;
      EXPECT_TRUE(queued[notice.header]) << "handed back without being queued";
      queued[notice.header] = false;
      handedBack += notice.header->dwBytesRecorded;
      if (requeue && !stopping) {
        ASSERT_EQ(waveInAddBuffer(handle, notice.header, kHeaderSize), MMSYSERR_NOERROR);
        queued[notice.header] = true;
      }
    };
    for (auto& buffer : buffers) {
      ASSERT_EQ(waveInPrepareHeader(handle, &buffer->header, kHeaderSize), MMSYSERR_NOERROR);
      ASSERT_EQ(waveInAddBuffer(handle, &buffer->header, kHeaderSize), MMSYSERR_NOERROR);
      queued[&buffer->header] = true;
    }
    ASSERT_EQ(waveInStart(handle), MMSYSERR_NOERROR);
    switch (random() % 4) {
      case 0:  // stop at once
        break;
      case 1:
        std::this_thread::sleep_for(std::chrono::microseconds(random() % 3000));
        PumpAll();
        break;
      case 2:
        if (!buffers.empty()) {
          ASSERT_TRUE(
              PumpUntil([&] { return window.Count(MM_WIM_DATA) > 0; }, milliseconds(20000)));
        }
        break;
      case 3:
        ASSERT_EQ(waveInStop(handle), MMSYSERR_NOERROR);
        ASSERT_EQ(waveInStart(handle), MMSYSERR_NOERROR);
        std::this_thread::sleep_for(std::chrono::microseconds(random() % 2000));
        PumpAll();
        break;
    }
    if (chance(2)) {
      ASSERT_EQ(waveInStop(handle), MMSYSERR_NOERROR);
      PumpAll();
    }
    stopping = true;
    ASSERT_EQ(waveInReset(handle), MMSYSERR_NOERROR);
    PumpAll();

    for (auto& buffer : buffers) {
      EXPECT_EQ(buffer->header.dwFlags & (WHDR_DONE | WHDR_INQUEUE), WHDR_DONE);
      EXPECT_FALSE(queued[&buffer->header]);
      ASSERT_EQ(waveInUnprepareHeader(handle, &buffer->header, kHeaderSize), MMSYSERR_NOERROR);
    }
    WaveInStatistics statistics;
    ASSERT_EQ(waveInGetStatistics(handle, &statistics), MMSYSERR_NOERROR);
    EXPECT_EQ(statistics.framesDelivered * format.nBlockAlign, handedBack)
        << "every delivered byte was handed back in a header";
    if (chance(3)) std::this_thread::sleep_for(std::chrono::microseconds(random() % 1500));
    ASSERT_EQ(waveInClose(handle), MMSYSERR_NOERROR);
    PumpAll();
    EXPECT_EQ(window.notices.back().msg, MM_WIM_CLOSE);
    EXPECT_EQ(waveInStart(handle), MMSYSERR_INVALHANDLE);
    window.notices.clear();
    window.onNotice = nullptr;
    if (HasFatalFailure() || HasNonfatalFailure()) break;
  }
  std::remove(path.c_str());
}

}  // namespace
