// A device whose driver stops delivering (here: SDL's disk driver told to wait ten minutes before
// its first read) is treated as lost: its headers come back, capture stops, and closing it returns
// at once although SDL's thread is still asleep in the driver. Kept in a process of its own, since
// that sleeping thread outlives the test.
#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>
#include <string>

#include "WaveInTestSupport.h"

namespace {

using namespace wavein_test;

constexpr UINT kHeaderSize = sizeof(WAVEHDR);

TEST(SdlStall, ADeviceThatStopsDeliveringIsHandedBackAndClosesWithoutHanging) {
  Watchdog watchdog(std::chrono::seconds(120), "stalled device");
  const std::string path = ::testing::TempDir() + "wavein-stall-" + std::to_string(getpid());
  std::ofstream(path, std::ios::binary) << std::string(1 << 16, '\x7f');
  ScopedEnv driver("SDL_AUDIODRIVER", "disk");
  ScopedEnv file("SDL_DISKAUDIOFILEIN", path.c_str());
  ScopedEnv delay("SDL_DISKAUDIODELAY", "600000");
  ScopedEnv stall("AS_WAVEIN_STALL_MS", "300");
  ASSERT_TRUE(SelectWaveInBackend("sdl"));

  NoticeWindow window;
  HWAVEIN handle = nullptr;
  const WAVEFORMATEX format = Pcm(8000, 1, 16);
  ASSERT_EQ(waveInOpen(&handle, 0, &format, window.Callback(), 0, CALLBACK_WINDOW),
            MMSYSERR_NOERROR)
      << waveInGetLastError();
  auto buffers = MakeBuffers(2, 512);
  for (auto& buffer : buffers) {
    ASSERT_EQ(waveInPrepareHeader(handle, &buffer->header, kHeaderSize), MMSYSERR_NOERROR);
    ASSERT_EQ(waveInAddBuffer(handle, &buffer->header, kHeaderSize), MMSYSERR_NOERROR);
  }
  ASSERT_EQ(waveInStart(handle), MMSYSERR_NOERROR);
  ASSERT_TRUE(PumpUntil([&] { return window.Count(MM_WIM_DATA) == 2; }, milliseconds(30000)));
  for (auto& buffer : buffers) {
    EXPECT_EQ(buffer->header.dwFlags & (WHDR_DONE | WHDR_INQUEUE), WHDR_DONE);
    EXPECT_EQ(buffer->header.dwBytesRecorded, 0u);
  }
  EXPECT_NE(waveInAddBuffer(handle, &buffers[0]->header, kHeaderSize), MMSYSERR_NOERROR);
  EXPECT_NE(waveInStart(handle), MMSYSERR_NOERROR);
  EXPECT_NE(waveInGetLastError().find("no audio came"), std::string::npos) << waveInGetLastError();

  ASSERT_EQ(waveInClose(handle), MMSYSERR_NOERROR);
  PumpAll();
  EXPECT_EQ(window.notices.back().msg, MM_WIM_CLOSE);

  // The next device is a fresh one and delivers.
  ScopedEnv quick("SDL_DISKAUDIODELAY", "1");
  ASSERT_EQ(waveInOpen(&handle, 0, &format, window.Callback(), 0, CALLBACK_WINDOW),
            MMSYSERR_NOERROR)
      << waveInGetLastError();
  ASSERT_EQ(waveInAddBuffer(handle, &buffers[0]->header, kHeaderSize), MMSYSERR_NOERROR);
  ASSERT_EQ(waveInStart(handle), MMSYSERR_NOERROR);
  ASSERT_TRUE(PumpUntil([&] { return window.Count(MM_WIM_DATA) == 3; }, milliseconds(30000)));
  EXPECT_EQ(buffers[0]->header.dwBytesRecorded, 512u);
  EXPECT_EQ(buffers[0]->data, std::vector<char>(512, '\x7f'));
  ASSERT_EQ(waveInReset(handle), MMSYSERR_NOERROR);
  ASSERT_EQ(waveInClose(handle), MMSYSERR_NOERROR);
  std::remove(path.c_str());
}

}  // namespace
