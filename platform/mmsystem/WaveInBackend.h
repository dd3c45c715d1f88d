#pragma once
// The seam between the wave-in service (handles, header queue, notices: WaveIn.cpp) and the
// sources of audio behind it (sdl/, scripted/). Internal to the mmsystem library.
//
// Threads: every call on Backend and CaptureStream is made on the GUI thread. A stream delivers
// bytes through CaptureSink::Captured on its own capture thread and may call CaptureSink::Wake from
// any thread; those two are the only calls that cross threads.
#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "MMSystem.h"

namespace mmsystem {

// All twelve standard format flags: the service converts, so a working device offers every one.
constexpr DWORD kAllStandardFormats = 0x00000FFF;

// What an open device hands its captured bytes to. Implemented by the service, one per open device.
class CaptureSink {
 public:
  // Capture thread, one producer at a time. Copies `count` bytes (whole frames) into the device's
  // ring, counts what did not fit as dropped, and wakes the GUI thread. Never blocks on the GUI
  // thread, never allocates, never throws.
  virtual void Captured(const void* bytes, size_t count) noexcept = 0;
  // Any thread. Asks the GUI thread to look at the device soon: to take bytes from the ring and to
  // ask CaptureStream::Lost(). At most one such request is in flight at a time.
  virtual void Wake() noexcept = 0;

 protected:
  ~CaptureSink() = default;
};

// One open capture device. Made paused by Backend::Open.
class CaptureStream {
 public:
  // Closes the device. After it returns the stream makes no further call to its sink.
  virtual ~CaptureStream() = default;
  // Begins (or resumes) delivering bytes to the sink.
  virtual MMRESULT Start() = 0;
  // Pauses delivery. After it returns no Captured() call is running or will start until Start().
  virtual void Stop() = 0;
  // Whether the device has gone (unplugged, sound server gone, stopped delivering).
  virtual bool Lost() = 0;
  // Why the device was lost, for diagnostics; empty when unknown.
  virtual std::string LostReason() { return {}; }
};

struct DeviceInfo {
  std::string name;  // full name as the sound server gives it; the service cuts it for WAVEINCAPS
  DWORD formats = kAllStandardFormats;
  WORD channels = 2;
};

// Which wave-in call the service is handling; lets a backend count calls (see ScriptedWaveIn.h).
enum class WaveInCall {
  kQuery,
  kOpen,
  kClose,
  kPrepare,
  kUnprepare,
  kAddBuffer,
  kStart,
  kStop,
  kReset,
  kGetPosition,
  kGetDevCaps
};

class Backend {
 public:
  virtual ~Backend() = default;
  virtual const char* Name() const = 0;
  // Fills `devices`: index 0 is the default recording device, then the others. Empty when the
  // system has no capture device. Non-zero when the backend cannot work at all.
  virtual MMRESULT Enumerate(std::vector<DeviceInfo>& devices) = 0;
  // Whether `device` (an index into Enumerate's list) could be opened with `format`. The service
  // has already checked the device number and the format against its own rules.
  virtual MMRESULT Query(UINT device, const WAVEFORMATEX& format) = 0;
  // Opens `device` paused, delivering `format` (converted by the backend as needed) to `sink`.
  // The sink outlives the stream.
  virtual MMRESULT Open(UINT device, const WAVEFORMATEX& format, CaptureSink& sink,
                        std::unique_ptr<CaptureStream>& stream) = 0;
  // Told of every wave-in call at its start, before any check. `format` and `device` are those
  // passed to waveInOpen (kQuery and kOpen only).
  virtual void NoteCall(WaveInCall /*call*/, UINT /*device*/ = 0,
                        const WAVEFORMATEX* /*format*/ = nullptr) {}
};

// The table of backends by name (BackendRegistry.cpp). Returns null for an unknown name.
std::unique_ptr<Backend> MakeBackend(std::string_view name);
// The names MakeBackend knows, comma separated, for messages.
const char* KnownBackendNames();

// Records the reason for the failure being returned, as "<who>: <reason>", for waveInGetLastError.
// GUI thread. Returns `result` so that a failing path can `return Fail(...)`.
MMRESULT Fail(MMRESULT result, std::string_view who, std::string_view reason);

// The stream behind an open handle, or null for a stale handle. GUI thread; for backends' control
// APIs (ScriptedWaveIn).
CaptureStream* StreamOf(HWAVEIN handle);
// Every open handle, oldest first (handles are numbered in the order devices were opened).
std::vector<HWAVEIN> OpenHandles();
// Bytes still to be captured before the first `count` queued headers of `handle` are full, less
// what already waits in the device's ring. 0 for a stale handle or an empty queue. GUI thread.
size_t BytesToFill(HWAVEIN handle, size_t count);

}  // namespace mmsystem
