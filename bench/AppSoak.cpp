// Runs the whole main form headless on the scripted device as fast as it goes and reports the
// resident memory along the way: it must stay flat once warm, and the process must end with
// nothing leaked (run a sanitizer build to have LeakSanitizer check that).
//
//   AppSoak [BLOCKS]     default 1,000,000 blocks of 256 samples (a 1 kHz tone plus a sweep)
#include <sys/resource.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "F_main.h"
#include "ScriptedWaveIn.h"
#include "WaveInDiagnostics.h"
#include "WindowSystem.h"
#include "Windows.h"

namespace {

long ResidentKiB() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line))
    if (line.rfind("VmRSS:", 0) == 0) return std::strtol(line.c_str() + 6, nullptr, 10);
  return -1;
}

void Pump() {
  while (MessageQueue::DispatchOne()) {
  }
}

}  // namespace

int main(int argc, char** argv) {
  const long blocks = argc > 1 && argv[1][0] >= '0' && argv[1][0] <= '9' ? std::atol(argv[1]) : 1000000;
  SelectWindowSystem("headless");
  SelectWaveInBackend("scripted");
  Application->CreateForm(TMainForm::StaticClass(), &MainForm);
  MainForm->Show();
  Pump();  // the start-up message: capture starts
  if (!ScriptedWaveIn::IsCapturing(ScriptedWaveIn::LastOpened())) {
    std::fprintf(stderr, "AppSoak: capture did not start\n");
    return 1;
  }
  std::vector<uint8_t> block(256);
  double phase = 0, sweep = 0;
  long warmKiB = 0, peakKiB = 0;
  const auto start = std::chrono::steady_clock::now();
  for (long b = 1; b <= blocks; ++b) {
    for (auto& s : block) {
      s = static_cast<uint8_t>(128 + 50 * std::sin(phase) + 40 * std::sin(sweep));
      phase += 2 * M_PI * 1000 / 11025;
      sweep += 2 * M_PI * (200 + (b % 2000) * 2.4) / 11025;
    }
    phase = std::fmod(phase, 2 * M_PI);
    sweep = std::fmod(sweep, 2 * M_PI);
    if (ScriptedWaveIn::Feed(nullptr, block.data(), block.size()) != block.size()) {
      std::fprintf(stderr, "AppSoak: the device stopped taking bytes at block %ld\n", b);
      return 1;
    }
    Pump();
    if (b % 20 == 0) MainForm->PaintPending();
    if (b == 10000) warmKiB = ResidentKiB();
    if (b % 100000 == 0 || b == blocks) {
      long kib = ResidentKiB();
      if (b >= 10000 && kib > peakKiB) peakKiB = kib;
      double secs = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
      std::printf("%8ld blocks  %7.1f s  %6.1f us/block  resident %ld KiB\n", b, secs, 1e6 * secs / b,
                  kib);
    }
  }
  WaveInStatistics stats{};
  waveInGetStatistics(ScriptedWaveIn::LastOpened(), &stats);
  std::printf("resident after warm-up %ld KiB, peak after warm-up %ld KiB (growth %ld KiB); "
              "frames delivered %llu, dropped %llu\n",
              warmKiB, peakKiB, peakKiB - warmKiB,
              static_cast<unsigned long long>(stats.framesDelivered),
              static_cast<unsigned long long>(stats.framesDropped));
  delete MainForm;
  Pump();
  return 0;
}
