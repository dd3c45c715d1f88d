// Capture through the sdl backend with SDL's own test drivers: "dummy" (silence at the real pace)
// and "disk" (the bytes of a file, as fast as SDL_DISKAUDIODELAY allows). These run SDL's capture
// thread for real, so they also run under ThreadSanitizer.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "WaveInTestSupport.h"

namespace {

using namespace wavein_test;

constexpr UINT kHeaderSize = sizeof(WAVEHDR);

std::string TempPath(const char* stem) {
  return ::testing::TempDir() + stem + std::to_string(::getpid()) + ".raw";
}

// Bytes no shorter stretch of which repeats, so a lost, doubled or reordered block shows.
std::vector<char> Noise(size_t count, uint32_t seed) {
  std::mt19937 random(seed);
  std::vector<char> bytes(count);
  for (char& byte : bytes) byte = static_cast<char>(random() & 0xFF);
  return bytes;
}

void WriteFile(const std::string& path, const std::vector<char>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  ASSERT_TRUE(out.good()) << path;
}

class SdlCapture : public ::testing::Test {
 protected:
  void TearDown() override {
    window.onNotice = nullptr;  // it refers to the finished test's locals
    if (handle) {
      waveInReset(handle);
      PumpAll();
      EXPECT_EQ(waveInClose(handle), MMSYSERR_NOERROR);
    }
    PumpAll();
    unsetenv("SDL_DISKAUDIOFILEIN");
    unsetenv("SDL_DISKAUDIODELAY");
    setenv("SDL_AUDIODRIVER", "dummy", 1);
  }

  // Starts SDL's audio afresh with `driver`.
  void UseDriver(const char* driver) {
    setenv("SDL_AUDIODRIVER", driver, 1);
    ASSERT_TRUE(SelectWaveInBackend("sdl"));
  }

  HWAVEIN handle = nullptr;
  NoticeWindow window;
  // Outlive TearDown, which resets the device: a header the service still holds must exist.
  std::vector<std::unique_ptr<Buffer>> buffers;
};

TEST_F(SdlCapture, DummyDriverOffersADefaultDeviceThatDeliversSilence) {
  UseDriver("dummy");
  ASSERT_GE(waveInGetNumDevs(), 1u);
  WAVEINCAPSA caps{};
  ASSERT_EQ(waveInGetDevCapsA(0, &caps, sizeof caps), MMSYSERR_NOERROR);
  EXPECT_GT(std::string(caps.szPname).size(), 0u);
  EXPECT_EQ(caps.dwFormats, 0xFFFu);
  EXPECT_EQ(caps.wChannels, 2);

  const WAVEFORMATEX format = Pcm(8000, 1, 8);
  ASSERT_EQ(waveInOpen(&handle, 0, &format, window.Callback(), 0, CALLBACK_WINDOW),
            MMSYSERR_NOERROR)
      << waveInGetLastError();
  buffers = MakeBuffers(2, 400);
  for (auto& buffer : buffers) {
    buffer->data.assign(buffer->data.size(), 0x11);
    ASSERT_EQ(waveInPrepareHeader(handle, &buffer->header, kHeaderSize), MMSYSERR_NOERROR);
    ASSERT_EQ(waveInAddBuffer(handle, &buffer->header, kHeaderSize), MMSYSERR_NOERROR);
  }
  ASSERT_EQ(waveInStart(handle), MMSYSERR_NOERROR);
  ASSERT_TRUE(PumpUntil([&] { return window.Count(MM_WIM_DATA) >= 1; }, milliseconds(20000)));
  WAVEHDR& first = buffers[0]->header;
  EXPECT_EQ(first.dwFlags & (WHDR_DONE | WHDR_INQUEUE), WHDR_DONE);
  EXPECT_EQ(first.dwBytesRecorded, 400u);
  EXPECT_EQ(buffers[0]->data, std::vector<char>(400, static_cast<char>(0x80)))
      << "8-bit silence, converted by SDL";
}

TEST_F(SdlCapture, DiskDriverDeliversTheFileByteForByteInOrder) {
  Watchdog watchdog(std::chrono::seconds(300), "disk capture");
  // 22050 Hz 16-bit mono: SDL reads 512 frames (1 KiB) per callback, one every 2 ms.
  const WAVEFORMATEX format = Pcm(22050, 1, 16);
  constexpr size_t kBlock = 1024;
  constexpr size_t kBlocks = 1000;
  constexpr size_t kQueued = 256;  // half a second of slack for a busy GUI thread
  const std::vector<char> source = Noise(kBlock * kBlocks, 20240611);
  const std::string path = TempPath("wavein-disk-in-");
  WriteFile(path, source);
  setenv("SDL_DISKAUDIOFILEIN", path.c_str(), 1);
  setenv("SDL_DISKAUDIODELAY", "2", 1);
  UseDriver("disk");

  ASSERT_EQ(waveInOpen(&handle, 0, &format, window.Callback(), 0, CALLBACK_WINDOW),
            MMSYSERR_NOERROR)
      << waveInGetLastError();
  std::vector<char> received;
  size_t blocks = 0;
  buffers = MakeBuffers(kQueued, kBlock);
  window.onNotice = [&](const Notice& notice) {
    if (notice.msg != MM_WIM_DATA || blocks == kBlocks) return;
    received.insert(received.end(), notice.header->lpData,
                    notice.header->lpData + notice.header->dwBytesRecorded);
    ++blocks;
    EXPECT_EQ(waveInAddBuffer(handle, notice.header, kHeaderSize), MMSYSERR_NOERROR);
  };
  for (auto& buffer : buffers) {
    ASSERT_EQ(waveInPrepareHeader(handle, &buffer->header, kHeaderSize), MMSYSERR_NOERROR);
    ASSERT_EQ(waveInAddBuffer(handle, &buffer->header, kHeaderSize), MMSYSERR_NOERROR);
  }
  ASSERT_EQ(waveInStart(handle), MMSYSERR_NOERROR);
  ASSERT_TRUE(PumpUntil([&] { return blocks == kBlocks; }, milliseconds(240000)))
      << blocks << " blocks";
  WaveInStatistics statistics;
  ASSERT_EQ(waveInGetStatistics(handle, &statistics), MMSYSERR_NOERROR);
  EXPECT_EQ(statistics.framesDropped, 0u);
  ASSERT_EQ(received.size(), source.size());
  size_t firstDifference = 0;
  while (firstDifference < source.size() && received[firstDifference] == source[firstDifference])
    ++firstDifference;
  EXPECT_EQ(firstDifference, source.size()) << "first differing byte";
  std::remove(path.c_str());
}

TEST_F(SdlCapture, AnUnavailableDriverFailsWithSdlsReason) {
  UseDriver("no-such-driver");
  EXPECT_EQ(waveInGetNumDevs(), 0u);
  const WAVEFORMATEX format = Pcm(8000, 1, 16);
  EXPECT_NE(waveInOpen(&handle, WAVE_MAPPER, &format, window.Callback(), 0, CALLBACK_WINDOW),
            MMSYSERR_NOERROR);
  EXPECT_EQ(handle, nullptr);
  const std::string error = waveInGetLastError();
  EXPECT_EQ(error.rfind("sdl: SDL_InitSubSystem", 0), 0u) << error;
  EXPECT_NE(error.find("no-such-driver"), std::string::npos) << "SDL's own text: " << error;
}

}  // namespace
