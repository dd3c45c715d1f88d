// The backend named by AS_WAVEIN_BACKEND is the one used when none is chosen in code. Run with
// AS_WAVEIN_BACKEND=scripted (see CMakeLists.txt); a process chooses its backend only once.
#include <gtest/gtest.h>

#include <cstdlib>

#include "ScriptedWaveIn.h"
#include "WaveInTestSupport.h"

namespace {

using namespace wavein_test;

TEST(WaveInBackendFromEnvironment, IsUsedWithoutBeingChosenInCode) {
  const char* named = std::getenv("AS_WAVEIN_BACKEND");
  ASSERT_NE(named, nullptr) << "run through CTest, which sets AS_WAVEIN_BACKEND";
  EXPECT_EQ(WaveInBackendName(), named);

  ScriptedWaveIn::SetDevices({{"From The Environment"}});
  WAVEINCAPSA caps{};
  ASSERT_EQ(waveInGetDevCapsA(0, &caps, sizeof caps), MMSYSERR_NOERROR);
  EXPECT_STREQ(caps.szPname, "From The Environment");
  EXPECT_EQ(ScriptedWaveIn::Counters().devCaps, 1u);
}

}  // namespace
