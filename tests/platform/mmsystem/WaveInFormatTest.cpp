// Which wave formats the service takes, for a query and for a real open, on both backends (the
// sdl one through SDL's dummy driver): the rules must not depend on the backend.
#include <gtest/gtest.h>

#include <string>
#include <tuple>

#include "ScriptedWaveIn.h"
#include "WaveInTestSupport.h"

namespace {

using namespace wavein_test;

struct FormatCase {
  const char* label;
  WAVEFORMATEX format;
  bool accepted;
};

WAVEFORMATEX With(WAVEFORMATEX f, void (*change)(WAVEFORMATEX&)) {
  change(f);
  return f;
}

const FormatCase kFormats[] = {
    {"Mono8bit8k", Pcm(8000, 1, 8), true},
    {"Mono8bit11k", Pcm(11025, 1, 8), true},
    {"Stereo16bit44k", Pcm(44100, 2, 16), true},
    {"Stereo32bit48k", Pcm(48000, 2, 32), true},
    {"ThreeChannels", Pcm(22050, 3, 16), true},
    {"EightChannels96k", Pcm(96000, 8, 16), true},
    {"LowestRate", Pcm(1000, 1, 16), true},
    {"HighestRate", Pcm(384000, 2, 16), true},
    {"ExtraBytesIgnored", With(Pcm(44100, 1, 16), [](WAVEFORMATEX& f) { f.cbSize = 22; }), true},
    {"Bits24", Pcm(44100, 2, 24), false},
    {"Bits12", With(Pcm(8000, 1, 16), [](WAVEFORMATEX& f) { f.wBitsPerSample = 12; }), false},
    {"Bits0", With(Pcm(8000, 1, 16), [](WAVEFORMATEX& f) { f.wBitsPerSample = 0; }), false},
    {"NoChannels", Pcm(8000, 0, 16), false},
    {"NineChannels", Pcm(8000, 9, 16), false},
    {"RateTooLow", Pcm(999, 1, 16), false},
    {"RateZero", Pcm(0, 1, 16), false},
    {"RateTooHigh", Pcm(384001, 1, 16), false},
    {"RateAbsurd", Pcm(4000000000u, 1, 8), false},
    {"FloatTag", With(Pcm(44100, 2, 32), [](WAVEFORMATEX& f) { f.wFormatTag = 3; }), false},
    {"ExtensibleTag", With(Pcm(44100, 2, 16), [](WAVEFORMATEX& f) { f.wFormatTag = 0xFFFE; }),
     false},
    {"BlockAlignWrong", With(Pcm(44100, 2, 16), [](WAVEFORMATEX& f) { f.nBlockAlign = 2; }), false},
    {"AvgBytesWrong",
     With(Pcm(44100, 2, 16), [](WAVEFORMATEX& f) { f.nAvgBytesPerSec = 44100 * 2; }), false},
};

class WaveInFormat : public ::testing::TestWithParam<std::tuple<const char*, FormatCase>> {
 protected:
  void SetUp() override {
    MessageQueue::Reset();
    ASSERT_TRUE(SelectWaveInBackend(std::get<0>(GetParam())));
    ScriptedWaveIn::Reset();
  }
  const FormatCase& Case() const { return std::get<1>(GetParam()); }

  ScopedEnv driver{"SDL_AUDIODRIVER", "dummy"};  // read when the sdl backend starts SDL's audio
};

TEST_P(WaveInFormat, IsTakenOrRefusedAlikeByQueryAndOpen) {
  const MMRESULT expected = Case().accepted ? MMSYSERR_NOERROR : WAVERR_BADFORMAT;
  NoticeWindow window;

  HWAVEIN untouched = reinterpret_cast<HWAVEIN>(uintptr_t{0x5EED});
  EXPECT_EQ(waveInOpen(&untouched, 0, &Case().format, window.Callback(), 0,
                       CALLBACK_WINDOW | WAVE_FORMAT_QUERY),
            expected);
  EXPECT_EQ(untouched, reinterpret_cast<HWAVEIN>(uintptr_t{0x5EED})) << "a query opens nothing";
  EXPECT_FALSE(MessageQueue::Pending()) << "a query posts nothing";

  HWAVEIN handle = nullptr;
  ASSERT_EQ(waveInOpen(&handle, WAVE_MAPPER, &Case().format, window.Callback(), 0, CALLBACK_WINDOW),
            expected)
      << waveInGetLastError();
  PumpAll();
  if (!Case().accepted) {
    EXPECT_EQ(handle, nullptr);
    EXPECT_TRUE(window.notices.empty());
    EXPECT_EQ(waveInGetLastError().rfind("wavein: ", 0), 0u) << waveInGetLastError();
    return;
  }
  ASSERT_NE(handle, nullptr);
  EXPECT_EQ(window.Count(MM_WIM_OPEN), 1u);
  EXPECT_EQ(waveInClose(handle), MMSYSERR_NOERROR);
}

TEST(WaveInFormatNull, IsRefusedByQueryAndOpen) {
  for (const char* backend : {"scripted", "sdl"}) {
    SCOPED_TRACE(backend);
    ScopedEnv dummy("SDL_AUDIODRIVER", "dummy");
    ASSERT_TRUE(SelectWaveInBackend(backend));
    HWAVEIN handle = nullptr;
    EXPECT_EQ(waveInOpen(nullptr, 0, nullptr, 0, 0, WAVE_FORMAT_QUERY), WAVERR_BADFORMAT);
    EXPECT_EQ(waveInOpen(&handle, 0, nullptr, 0, 0, CALLBACK_NULL), WAVERR_BADFORMAT);
    EXPECT_EQ(handle, nullptr);
  }
}

INSTANTIATE_TEST_SUITE_P(Table, WaveInFormat,
                         ::testing::Combine(::testing::Values("scripted", "sdl"),
                                            ::testing::ValuesIn(kFormats)),
                         [](const auto& info) {
                           return std::string(std::get<0>(info.param)) + "_" +
                                  std::get<1>(info.param).label;
                         });

}  // namespace
