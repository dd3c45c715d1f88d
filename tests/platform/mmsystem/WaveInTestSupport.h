#pragma once
// Helpers shared by the wave-in tests: formats, caller-owned buffers, a window that records the
// notices, bounded message pumping and a watchdog that turns a hang into a failure.
#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "MMSystem.h"
#include "WaveInDiagnostics.h"
#include "Windows.h"

namespace wavein_test {

using std::chrono::milliseconds;

inline WAVEFORMATEX Pcm(DWORD rate, WORD channels, WORD bits) {
  WAVEFORMATEX f{};
  f.wFormatTag = WAVE_FORMAT_PCM;
  f.nChannels = channels;
  f.nSamplesPerSec = rate;
  f.wBitsPerSample = bits;
  f.nBlockAlign = static_cast<WORD>(channels * bits / 8);
  f.nAvgBytesPerSec = rate * f.nBlockAlign;
  return f;
}

// A caller-owned buffer and its header. Held by pointer so the header never moves.
struct Buffer {
  explicit Buffer(size_t bytes) : data(bytes) {
    header.lpData = data.data();
    header.dwBufferLength = static_cast<DWORD>(bytes);
  }
  std::vector<char> data;
  WAVEHDR header{};
};

inline std::vector<std::unique_ptr<Buffer>> MakeBuffers(size_t count, size_t bytes) {
  std::vector<std::unique_ptr<Buffer>> buffers;
  for (size_t i = 0; i < count; ++i) buffers.push_back(std::make_unique<Buffer>(bytes));
  return buffers;
}

struct Notice {
  UINT msg;
  WPARAM wParam;
  WAVEHDR* header;  // lParam of MM_WIM_DATA
};

// A hidden window that records every message posted to it. `onNotice`, if set, runs for each one
// after it is recorded (to re-queue headers, as a recorder does).
class NoticeWindow {
 public:
  NoticeWindow() : FWindow(AllocateHWnd(MakeMethod<&NoticeWindow::Receive>(this))) {}
  ~NoticeWindow() { DeallocateHWnd(FWindow); }
  NoticeWindow(const NoticeWindow&) = delete;
  NoticeWindow& operator=(const NoticeWindow&) = delete;

  HWND Window() const { return FWindow; }
  DWORD_PTR Callback() const { return reinterpret_cast<DWORD_PTR>(FWindow); }

  size_t Count(UINT msg) const {
    size_t n = 0;
    for (const Notice& notice : notices) n += notice.msg == msg;
    return n;
  }

  std::vector<Notice> notices;
  std::function<void(const Notice&)> onNotice;

 private:
  void Receive(TMessage& message) {
    notices.push_back({message.Msg, message.WParam, reinterpret_cast<WAVEHDR*>(message.LParam)});
    if (onNotice) onNotice(notices.back());
  }

  HWND FWindow;
};

// Dispatches every message already queued (and any they post in turn).
inline void PumpAll() {
  while (MessageQueue::DispatchOne()) {
  }
}

// Dispatches messages, waiting for more as needed, until `done()` holds or `limit` has passed.
// Returns done(): a caller asserts on it instead of waiting for ever.
template <class Done>
bool PumpUntil(Done done, milliseconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (!done()) {
    if (MessageQueue::DispatchOne()) continue;
    const auto left = deadline - std::chrono::steady_clock::now();
    if (left <= std::chrono::steady_clock::duration::zero()) return done();
    MessageQueue::Wait(static_cast<int>(
        std::min<long long>(50, std::chrono::duration_cast<milliseconds>(left).count() + 1)));
  }
  return true;
}

// Ends the process with a message if still armed after `limit`: a hang fails the test run instead
// of stalling it. Not a timing check; the limit is far above any normal run.
class Watchdog {
 public:
  Watchdog(std::chrono::seconds limit, const char* what)
      : FThread([this, limit, what] {
          std::unique_lock lock(FMutex);
          if (!FDone.wait_for(lock, limit, [this] { return FDisarmed; })) {
            std::fprintf(stderr, "watchdog: %s still running after %lld s, giving up\n", what,
                         static_cast<long long>(limit.count()));
            std::fflush(stderr);
            std::_Exit(3);
          }
        }) {}
  ~Watchdog() {
    {
      std::lock_guard lock(FMutex);
      FDisarmed = true;
    }
    FDone.notify_all();
    FThread.join();
  }

 private:
  std::mutex FMutex;
  std::condition_variable FDone;
  bool FDisarmed = false;
  std::thread FThread;
};

// Sets an environment variable for the life of the object, then restores it.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : FName(name) {
    if (const char* old = std::getenv(name)) FOld = old, FHad = true;
    if (value)
      setenv(name, value, 1);
    else
      unsetenv(name);
  }
  ~ScopedEnv() {
    if (FHad)
      setenv(FName, FOld.c_str(), 1);
    else
      unsetenv(FName);
  }

 private:
  const char* FName;
  std::string FOld;
  bool FHad = false;
};

}  // namespace wavein_test
