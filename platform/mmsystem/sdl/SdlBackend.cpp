// Capture through SDL2's audio capture.
//
// SDL's audio subsystem is started on first use. A device is opened asking for exactly the wave
// format with no changes allowed, so SDL converts whatever the hardware gives. SDL calls Callback
// on its own capture thread with the device's lock held; Callback only counts itself and hands the
// bytes to the service's sink (a lock-free ring and a coalesced wake-up), so it never waits on
// anything the GUI thread holds and SDL_PauseAudioDevice / SDL_CloseAudioDevice on the GUI thread
// cannot deadlock against it.
//
// A lost device shows up in one of two ways: SDL marks it disabled (SDL_AUDIO_STOPPED; it then
// keeps calling Callback with silence) or SDL's thread stops calling Callback at all (the driver
// blocks). A watcher thread catches the second: when a started device has made no callback for
// the stall time, it marks the stream stalled and wakes the GUI thread, which then asks Lost().
// A stalled device is closed on a short-lived thread of its own, because SDL_CloseAudioDevice
// joins SDL's thread, which may stay blocked in the driver.
#include "SdlBackend.h"

#include <SDL.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

namespace mmsystem {
namespace {

using Clock = std::chrono::steady_clock;

constexpr const char* kName = "sdl";
constexpr const char* kDefaultDeviceName = "Default recording device";
// How long a started device may go without a callback before it counts as lost. The environment
// variable AS_WAVEIN_STALL_MS overrides it (0: never).
constexpr unsigned kDefaultStallMs = 3000;
constexpr auto kWatchInterval = std::chrono::milliseconds(50);

// Closes of stalled devices still running on their own threads. While any is, SDL's audio
// subsystem is not shut down or restarted.
std::atomic<int> gClosing{0};

std::string SdlFailure(const std::string& what) { return what + " failed: " + SDL_GetError(); }

unsigned StallMs() {
  const char* env = std::getenv("AS_WAVEIN_STALL_MS");
  if (!env || !*env) return kDefaultStallMs;
  char* end = nullptr;
  unsigned long value = std::strtoul(env, &end, 10);
  return *end == '\0' ? static_cast<unsigned>(std::min(value, 3600000ul)) : kDefaultStallMs;
}

// About 20 ms per callback: a power of two from 256 to 8192 frames.
Uint16 BufferFrames(DWORD rate) {
  Uint16 frames = 256;
  while (frames < 8192 && frames * 50u < rate) frames <<= 1;
  return frames;
}

SDL_AudioFormat SampleFormat(WORD bits) {
  switch (bits) {
    case 8:
      return AUDIO_U8;
    case 16:
      return AUDIO_S16LSB;
    default:
      return AUDIO_S32LSB;
  }
}

class SdlBackend;

class SdlStream final : public CaptureStream {
 public:
  SdlStream(SdlBackend& backend, CaptureSink& sink, unsigned stallMs)
      : FBackend(backend), FSink(sink), FStallMs(stallMs) {}
  ~SdlStream() override;

  MMRESULT Start() override;
  void Stop() override;
  bool Lost() override;
  std::string LostReason() override;

  static void SDLCALL Callback(void* userdata, Uint8* bytes, int length) {
    auto* self = static_cast<SdlStream*>(userdata);
    self->FCallbacks.fetch_add(1, std::memory_order_relaxed);
    if (length > 0) self->FSink.Captured(bytes, static_cast<size_t>(length));
  }

  SDL_AudioDeviceID FDevice = 0;  // set once opened, before SDL can call Callback

  // Read by the watcher thread.
  CaptureSink& Sink() { return FSink; }
  unsigned StallLimitMs() const { return FStallMs; }
  uint64_t Callbacks() const { return FCallbacks.load(std::memory_order_relaxed); }
  void MarkStalled() { FStalled.store(true, std::memory_order_release); }
  bool Stalled() const { return FStalled.load(std::memory_order_acquire); }
  // Guarded by the watcher's mutex.
  uint64_t FSeenCallbacks = 0;
  Clock::time_point FLastProgress;

 private:
  SdlBackend& FBackend;
  CaptureSink& FSink;
  const unsigned FStallMs;
  std::atomic<uint64_t> FCallbacks{0};
  std::atomic<bool> FStalled{false};
};

// Watches started streams for callbacks that stopped coming. One thread, started on first need
// and joined when the backend goes. It takes only its own mutex and posts through the sink, so it
// never waits on the GUI thread or on SDL.
class StallWatcher {
 public:
  ~StallWatcher() {
    {
      std::lock_guard lock(FMutex);
      FQuit = true;
    }
    FChanged.notify_all();
    if (FThread.joinable()) FThread.join();
  }

  // Throws std::system_error when the thread cannot be started.
  void Watch(SdlStream* stream) {
    std::lock_guard lock(FMutex);
    stream->FSeenCallbacks = stream->Callbacks();
    stream->FLastProgress = Clock::now();
    if (std::find(FStreams.begin(), FStreams.end(), stream) == FStreams.end())
      FStreams.push_back(stream);
    if (!FThread.joinable()) FThread = std::thread(&StallWatcher::Run, this);
    FChanged.notify_all();
  }

  // After this returns the watcher no longer touches `stream`.
  void Unwatch(SdlStream* stream) {
    std::lock_guard lock(FMutex);
    FStreams.erase(std::remove(FStreams.begin(), FStreams.end(), stream), FStreams.end());
  }

 private:
  void Run() {
    std::unique_lock lock(FMutex);
    while (!FQuit) {
      if (FStreams.empty()) {
        FChanged.wait(lock, [&] { return FQuit || !FStreams.empty(); });
        continue;
      }
      FChanged.wait_for(lock, kWatchInterval, [&] { return FQuit; });
      const Clock::time_point now = Clock::now();
      for (SdlStream* stream : FStreams) {
        const uint64_t callbacks = stream->Callbacks();
        if (callbacks != stream->FSeenCallbacks) {
          stream->FSeenCallbacks = callbacks;
          stream->FLastProgress = now;
        } else if (!stream->Stalled() && now - stream->FLastProgress >=
                                             std::chrono::milliseconds(stream->StallLimitMs())) {
          stream->MarkStalled();
          stream->Sink().Wake();
        }
      }
    }
  }

  std::mutex FMutex;
  std::condition_variable FChanged;
  std::vector<SdlStream*> FStreams;
  bool FQuit = false;
  std::thread FThread;
};

class SdlBackend final : public Backend {
 public:
  ~SdlBackend() override {
    FWatcher.reset();
    if (FAudioUp && FOpenStreams == 0 && gClosing.load() == 0) SDL_QuitSubSystem(SDL_INIT_AUDIO);
  }

  const char* Name() const override { return kName; }

  MMRESULT Enumerate(std::vector<DeviceInfo>& devices) override {
    if (!EnsureAudio()) return MMSYSERR_NODRIVER;
    const int count = SDL_GetNumAudioDevices(1);
    if (count < 0) {  // the driver cannot list its devices, but offers a default one
      devices.push_back({kDefaultDeviceName});
      return MMSYSERR_NOERROR;
    }
    std::vector<std::string> listed;
    for (int i = 0; i < count; ++i) {
      const char* name = SDL_GetAudioDeviceName(i, 1);
      listed.emplace_back(name ? name : "");
    }
    if (listed.empty()) return MMSYSERR_NOERROR;

    // Device 0 is the default; the listed device that is the default is not offered twice.
    std::string defaultName;
    bool known = false;
    char* name = nullptr;
    SDL_AudioSpec defaultFormat;
    if (SDL_GetDefaultAudioInfo(&name, &defaultFormat, 1) == 0 && name) {
      defaultName = name;
      known = true;
    }
    SDL_free(name);
    if (!known && listed.size() == 1) {
      defaultName = listed.front();
      known = true;
    }
    devices.push_back({known ? defaultName : kDefaultDeviceName});
    bool skipped = false;
    for (const std::string& listedName : listed) {
      if (known && !skipped && listedName == defaultName) {
        skipped = true;
        continue;
      }
      devices.push_back({listedName});
    }
    return MMSYSERR_NOERROR;
  }

  // SDL converts every format the service accepts, so a device that exists takes any of them.
  MMRESULT Query(UINT /*device*/, const WAVEFORMATEX& /*format*/) override {
    return MMSYSERR_NOERROR;
  }

  MMRESULT Open(UINT device, const WAVEFORMATEX& format, CaptureSink& sink,
                std::unique_ptr<CaptureStream>& stream) override {
    std::vector<DeviceInfo> devices;
    if (MMRESULT result = Enumerate(devices)) return result;
    if (device >= devices.size())
      return Fail(MMSYSERR_BADDEVICEID, kName, "the device list changed while opening");
    // Device 0 opens SDL's default (a null name), so that it follows the system's choice.
    const std::string name = device == 0 ? std::string() : devices[device].name;
    auto opened = std::make_unique<SdlStream>(*this, sink, StallMs());

    SDL_AudioSpec want{};
    SDL_AudioSpec got{};
    want.freq = static_cast<int>(format.nSamplesPerSec);
    want.format = SampleFormat(format.wBitsPerSample);
    want.channels = static_cast<Uint8>(format.nChannels);
    want.samples = BufferFrames(format.nSamplesPerSec);
    want.callback = &SdlStream::Callback;
    want.userdata = opened.get();
    const SDL_AudioDeviceID id =
        SDL_OpenAudioDevice(device == 0 ? nullptr : name.c_str(), 1, &want, &got, 0);
    if (id == 0) {
      return Fail(MMSYSERR_ALLOCATED, kName,
                  SdlFailure("SDL_OpenAudioDevice(" + (device == 0 ? "default" : name) + ")"));
    }
    opened->FDevice = id;
    ++FOpenStreams;
    stream = std::move(opened);
    return MMSYSERR_NOERROR;
  }

  void Watch(SdlStream* stream) {
    if (!FWatcher) FWatcher = std::make_unique<StallWatcher>();
    FWatcher->Watch(stream);
  }
  void Unwatch(SdlStream* stream) {
    if (FWatcher) FWatcher->Unwatch(stream);
  }
  void Closed() { --FOpenStreams; }
  // A device was lost: once none is open, SDL's audio is started afresh so that a later open
  // finds the devices (and the default) as they are then.
  void RestartWhenIdle() { FRestartWanted = true; }

 private:
  bool EnsureAudio() {
    if (FAudioUp && FRestartWanted && FOpenStreams == 0 && gClosing.load() == 0) {
      SDL_QuitSubSystem(SDL_INIT_AUDIO);
      FAudioUp = false;
    }
    if (FAudioUp) return true;
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
      Fail(MMSYSERR_NODRIVER, kName, SdlFailure("SDL_InitSubSystem(SDL_INIT_AUDIO)"));
      return false;
    }
    FAudioUp = true;
    FRestartWanted = false;
    return true;
  }

  bool FAudioUp = false;
  bool FRestartWanted = false;
  int FOpenStreams = 0;
  std::unique_ptr<StallWatcher> FWatcher;
};

SdlStream::~SdlStream() {
  FBackend.Unwatch(this);
  if (FDevice == 0) return;
  // Once paused (this waits for a running Callback to return) SDL never calls Callback again,
  // so the sink may go as soon as this destructor returns, whoever finishes the close.
  SDL_PauseAudioDevice(FDevice, 1);
  bool closed = false;
  if (Stalled()) {
    try {
      gClosing.fetch_add(1);
      std::thread([device = FDevice] {
        SDL_CloseAudioDevice(device);
        gClosing.fetch_sub(1);
      }).detach();
      closed = true;
    } catch (const std::system_error&) {
      gClosing.fetch_sub(1);
    }
  }
  if (!closed) SDL_CloseAudioDevice(FDevice);
  FBackend.Closed();
}

MMRESULT SdlStream::Start() {
  if (FStallMs > 0) {
    try {
      FBackend.Watch(this);
    } catch (const std::exception& e) {
      return Fail(MMSYSERR_NOMEM, kName, std::string("cannot watch the device: ") + e.what());
    }
  }
  SDL_PauseAudioDevice(FDevice, 0);
  return MMSYSERR_NOERROR;
}

void SdlStream::Stop() {
  SDL_PauseAudioDevice(FDevice, 1);
  FBackend.Unwatch(this);
}

bool SdlStream::Lost() {
  const bool lost = Stalled() || SDL_GetAudioDeviceStatus(FDevice) == SDL_AUDIO_STOPPED;
  if (lost) FBackend.RestartWhenIdle();
  return lost;
}

std::string SdlStream::LostReason() {
  if (Stalled()) return "no audio came for " + std::to_string(FStallMs) + " ms";
  return "SDL stopped the device (unplugged, or the sound server went away)";
}

}  // namespace

std::unique_ptr<Backend> MakeSdlBackend() { return std::make_unique<SdlBackend>(); }

}  // namespace mmsystem
