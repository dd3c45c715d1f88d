// The wave-in service: device numbers and names, format rules, handles, the queue of the caller's
// headers and the notices. It is the same for every backend (WaveInBackend.h).
//
// Threads. Every waveIn* call runs on the GUI thread. A backend's capture thread only touches an
// open device through CaptureSink: it copies bytes into the device's CaptureRing and, through an
// atomic flag, posts at most one wake-up message at a time to the device's hidden window. When the
// GUI thread dispatches that message it moves the bytes from the ring into the queued headers,
// hands back full headers and posts MM_WIM_DATA. So every WAVEHDR field, the header queue and the
// counters below are GUI-thread state and need no lock.
//
// Handles are numbers counted up from kFirstHandle and never reused, looked up in a table: a stale
// handle finds nothing and never reaches freed memory.
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <unordered_map>
#include <vector>

#include "CaptureRing.h"
#include "MMSystem.h"
#include "WaveInBackend.h"
#include "WaveInDiagnostics.h"

namespace mmsystem {
namespace {

constexpr const char* kService = "wavein";
// The message a device's capture side posts to the device's own hidden window.
constexpr UINT kWakeMessage = WM_USER + 0x3C1;
constexpr DWORD kCallbackTypeMask = 0x00070000;
constexpr uintptr_t kFirstHandle = 0x100;
constexpr DWORD kMinRate = 1000;
constexpr DWORD kMaxRate = 384000;
constexpr WORD kMaxChannels = 8;
// The ring holds at least this long of audio, so that the GUI thread may be busy that long
// without losing bytes while headers are queued.
constexpr size_t kRingSeconds = 1;
constexpr size_t kMinRingBytes = 64 * 1024;

std::string gLastError;

class OpenDevice;

struct Service {
  bool chosen = false;
  std::string requested;  // the name asked for, kept for the message when it is unknown
  std::unique_ptr<Backend> backend;
  std::unordered_map<uintptr_t, std::unique_ptr<OpenDevice>> devices;
  uintptr_t nextHandle = kFirstHandle;
};

// Never destroyed: devices left open at exit are not closed behind the program's back while other
// static objects (SDL, the message queue) may already be gone.
Service& TheService() {
  static Service* service = new Service;
  return *service;
}

Backend* CurrentBackend() {
  Service& s = TheService();
  if (!s.chosen) {
    s.chosen = true;
    const char* env = std::getenv("AS_WAVEIN_BACKEND");
    s.requested = env && *env ? env : "sdl";
    s.backend = MakeBackend(s.requested);
  }
  return s.backend.get();
}

MMRESULT NoBackend() {
  return Fail(
      MMSYSERR_NODRIVER, kService,
      "unknown backend '" + TheService().requested + "' (known: " + KnownBackendNames() + ")");
}

void Note(WaveInCall call, UINT device = 0, const WAVEFORMATEX* format = nullptr) {
  if (Backend* backend = CurrentBackend()) backend->NoteCall(call, device, format);
}

MMRESULT CheckFormat(const WAVEFORMATEX* f) {
  auto bad = [](const std::string& why) { return Fail(WAVERR_BADFORMAT, kService, why); };
  if (!f) return bad("no format given");
  if (f->wFormatTag != WAVE_FORMAT_PCM)
    return bad("format tag " + std::to_string(f->wFormatTag) + " is not PCM");
  if (f->wBitsPerSample != 8 && f->wBitsPerSample != 16 && f->wBitsPerSample != 32)
    return bad(std::to_string(f->wBitsPerSample) + " bits per sample (8, 16 or 32 are offered)");
  if (f->nChannels < 1 || f->nChannels > kMaxChannels)
    return bad(std::to_string(f->nChannels) + " channels (1 to 8 are offered)");
  if (f->nSamplesPerSec < kMinRate || f->nSamplesPerSec > kMaxRate)
    return bad(std::to_string(f->nSamplesPerSec) + " Hz is outside 1000..384000 Hz");
  const DWORD blockAlign = DWORD{f->nChannels} * f->wBitsPerSample / 8;
  if (f->nBlockAlign != blockAlign)
    return bad("nBlockAlign " + std::to_string(f->nBlockAlign) + " should be " +
               std::to_string(blockAlign));
  if (f->nAvgBytesPerSec != f->nSamplesPerSec * blockAlign)
    return bad("nAvgBytesPerSec " + std::to_string(f->nAvgBytesPerSec) + " should be " +
               std::to_string(f->nSamplesPerSec * blockAlign));
  return MMSYSERR_NOERROR;
}

// Maps a wave-in device number (WAVE_MAPPER, 0, 1, ...) to an index into `count` devices.
MMRESULT ResolveDevice(UINT_PTR id, size_t count, UINT* index) {
  if (id == WAVE_MAPPER || id == static_cast<UINT_PTR>(-1)) id = 0;
  if (id >= count) {
    return Fail(MMSYSERR_BADDEVICEID, kService,
                count == 0 ? std::string("no recording device")
                           : "device " + std::to_string(id) + " does not exist (" +
                                 std::to_string(count) + " devices)");
  }
  *index = static_cast<UINT>(id);
  return MMSYSERR_NOERROR;
}

// Copies `name` into a NUL-terminated field, cut to fit without splitting a UTF-8 character.
template <size_t N>
void CopyName(const std::string& name, char (&out)[N]) {
  size_t cut = std::min(name.size(), N - 1);
  if (cut < name.size()) {
    // Bytes 10xxxxxx continue a character: back up to the first byte of the one that is cut.
    while (cut > 0 && (static_cast<unsigned char>(name[cut]) & 0xC0) == 0x80) --cut;
  }
  std::memcpy(out, name.data(), cut);
  out[cut] = '\0';
}

size_t RingBytes(const WAVEFORMATEX& f) {
  return std::max(kMinRingBytes, size_t{f.nAvgBytesPerSec} * kRingSeconds);
}

// The headers queued with a device, oldest first, chained through their lpNext fields (which belong
// to the service while a header is queued), so queueing allocates nothing.
class HeaderQueue {
 public:
  bool empty() const { return FHead == nullptr; }
  WAVEHDR* front() const { return FHead; }
  WAVEHDR* next(const WAVEHDR* header) const { return header->lpNext; }
  bool contains(const WAVEHDR* header) const {
    for (WAVEHDR* h = FHead; h; h = h->lpNext)
      if (h == header) return true;
    return false;
  }
  void push_back(WAVEHDR* header) {
    header->lpNext = nullptr;
    (FHead ? FTail->lpNext : FHead) = header;
    FTail = header;
  }
  void pop_front() {
    WAVEHDR* header = FHead;
    FHead = header->lpNext;
    if (!FHead) FTail = nullptr;
    header->lpNext = nullptr;
  }

 private:
  WAVEHDR* FHead = nullptr;
  WAVEHDR* FTail = nullptr;
};

class OpenDevice final : public CaptureSink {
 public:
  OpenDevice(uintptr_t number, const WAVEFORMATEX& format, HWND notify, bool notifyWindow,
             const char* backendName)
      : FNumber(number),
        FFormat(format),
        FNotify(notifyWindow ? notify : nullptr),
        FBackendName(backendName),
        FRing(RingBytes(format)) {
    FWake = AllocateHWnd(MakeMethod<&OpenDevice::WndProc>(this));
  }

  ~OpenDevice() {
    FStream.reset();        // no sink calls after this
    DeallocateHWnd(FWake);  // a wake-up still queued is dropped, never delivered
  }

  std::unique_ptr<CaptureStream>& Stream() { return FStream; }
  HWAVEIN Handle() const { return reinterpret_cast<HWAVEIN>(FNumber); }
  const WAVEFORMATEX& Format() const { return FFormat; }
  bool Queued() const { return !FQueue.empty(); }
  uint64_t DeliveredBytes() const { return FDelivered; }
  uint64_t DroppedBytes() const {
    return FDiscarded + FOverflow.load(std::memory_order_relaxed);
  }

  void Notify(UINT msg, LPARAM lParam = 0) {
    if (FNotify) PostMessage(FNotify, msg, static_cast<WPARAM>(FNumber), lParam);
  }

  MMRESULT AddBuffer(WAVEHDR* header) {
    if (header->dwFlags & WHDR_INQUEUE || FQueue.contains(header)) {
      return Fail(WAVERR_STILLPLAYING, kService, "header is already queued");
    }
    if (FLost) return LostFailure();
    FQueue.push_back(header);
    header->dwFlags = (header->dwFlags & ~WHDR_DONE) | WHDR_INQUEUE;
    header->dwBytesRecorded = 0;
    // Bytes that have been waiting in the ring for a header (a burst larger than the queue) go
    // into this one at once.
    Collect();
    return MMSYSERR_NOERROR;
  }

  MMRESULT Start() {
    if (FLost) return LostFailure();
    if (FStarted) return MMSYSERR_NOERROR;
    MMRESULT result = FStream->Start();
    if (result == MMSYSERR_NOERROR) FStarted = true;
    return result;
  }

  // Pauses capture, takes what was captured before the pause, and hands back the header being
  // filled if it holds anything.
  void Stop() {
    Pause();
    Collect();
    if (!FQueue.empty() && FQueue.front()->dwBytesRecorded > 0) HandBackFirst();
  }

  // Pauses capture, takes what was captured before the pause, hands back every header, and
  // discards (and counts) whatever found no header.
  void Reset() {
    Pause();
    Collect();
    while (!FQueue.empty()) HandBackFirst();
    FDiscarded += FRing.Discard(FRing.Available());
  }

  // The bytes the first `count` queued headers still lack, less what waits in the ring.
  size_t BytesToFill(size_t count) const {
    size_t lacking = 0;
    size_t i = 0;
    for (WAVEHDR* h = FQueue.front(); h && i < count; h = FQueue.next(h), ++i)
      lacking += h->dwBufferLength - h->dwBytesRecorded;
    size_t waiting = FRing.Available();
    return lacking > waiting ? lacking - waiting : 0;
  }

  // CaptureSink, on the capture thread. Only whole frames are kept when the ring is nearly full.
  void Captured(const void* bytes, size_t count) noexcept override {
    size_t free = FRing.Free();
    size_t keep = count <= free ? count : free - free % FFormat.nBlockAlign;
    if (keep) FRing.Write(bytes, keep);
    if (keep < count) FOverflow.fetch_add(count - keep, std::memory_order_relaxed);
    Wake();
  }

  // CaptureSink, any thread. The flag is cleared by the GUI thread before it reads the ring, so a
  // write that lands after that read always finds the flag clear and posts again.
  void Wake() noexcept override {
    if (FWakePending.exchange(true, std::memory_order_acq_rel)) return;
    if (!PostMessage(FWake, kWakeMessage, 0, 0))
      FWakePending.store(false, std::memory_order_release);
  }

 private:
  void WndProc(TMessage& message) {
    if (message.Msg != kWakeMessage) return;
    FWakePending.exchange(false, std::memory_order_acq_rel);
    Collect();
    if (!FLost && FStream->Lost()) HandLost();
  }

  void Pause() {
    if (!FStarted) return;
    FStream->Stop();
    FStarted = false;
  }

  // Moves the bytes waiting in the ring into the queued headers, in order, handing back each one
  // that fills up. What finds no header waits in the ring for the next one queued; only what does
  // not fit in the ring is dropped (by Captured).
  void Collect() {
    for (;;) {
      size_t waiting = FRing.Available();
      if (waiting == 0 || FQueue.empty()) return;
      WAVEHDR* header = FQueue.front();
      size_t room = header->dwBufferLength - header->dwBytesRecorded;
      size_t moved = FRing.Read(header->lpData + header->dwBytesRecorded, std::min(waiting, room));
      header->dwBytesRecorded += static_cast<DWORD>(moved);
      FDelivered += moved;
      if (header->dwBytesRecorded == header->dwBufferLength) HandBackFirst();
    }
  }

  void HandBackFirst() {
    WAVEHDR* header = FQueue.front();
    FQueue.pop_front();
    header->dwFlags = (header->dwFlags & ~WHDR_INQUEUE) | WHDR_DONE;
    Notify(MM_WIM_DATA, reinterpret_cast<LPARAM>(header));
  }

  // The device is gone: keep what came before, hand every header back and deliver nothing more.
  // Start and AddBuffer are refused from now on, so a caller that re-adds each returned header
  // cannot spin.
  void HandLost() {
    FLost = true;
    FLostReason = FStream->LostReason();
    Pause();
    Collect();
    while (!FQueue.empty()) HandBackFirst();
  }

  MMRESULT LostFailure() const {
    return Fail(MMSYSERR_NODRIVER, FBackendName,
                "the device was lost" + (FLostReason.empty() ? "" : " (" + FLostReason + ")"));
  }

  const uintptr_t FNumber;
  const WAVEFORMATEX FFormat;
  const HWND FNotify;
  const char* const FBackendName;
  HWND FWake = nullptr;
  CaptureRing FRing;
  std::unique_ptr<CaptureStream> FStream;
  HeaderQueue FQueue;
  bool FStarted = false;
  bool FLost = false;
  std::string FLostReason;
  uint64_t FDelivered = 0;
  uint64_t FDiscarded = 0;
  std::atomic<uint64_t> FOverflow{0};  // written by the capture thread
  std::atomic<bool> FWakePending{false};
};

OpenDevice* Find(HWAVEIN handle) {
  Service& s = TheService();
  auto it = s.devices.find(reinterpret_cast<uintptr_t>(handle));
  return it == s.devices.end() ? nullptr : it->second.get();
}

MMRESULT BadHandle() { return Fail(MMSYSERR_INVALHANDLE, kService, "not an open wave-in handle"); }

MMRESULT CheckHeader(const WAVEHDR* header, UINT size) {
  if (!header) return Fail(MMSYSERR_INVALPARAM, kService, "no header given");
  if (size < sizeof(WAVEHDR)) return Fail(MMSYSERR_INVALPARAM, kService, "header size too small");
  if (!header->lpData || header->dwBufferLength == 0)
    return Fail(MMSYSERR_INVALPARAM, kService, "header has no buffer");
  return MMSYSERR_NOERROR;
}

}  // namespace

MMRESULT Fail(MMRESULT result, std::string_view who, std::string_view reason) {
  gLastError.assign(who);
  gLastError += ": ";
  gLastError += reason;
  return result;
}

CaptureStream* StreamOf(HWAVEIN handle) {
  OpenDevice* device = Find(handle);
  return device ? device->Stream().get() : nullptr;
}

std::vector<HWAVEIN> OpenHandles() {
  std::vector<uintptr_t> numbers;
  for (const auto& entry : TheService().devices) numbers.push_back(entry.first);
  std::sort(numbers.begin(), numbers.end());
  std::vector<HWAVEIN> handles;
  for (uintptr_t number : numbers) handles.push_back(reinterpret_cast<HWAVEIN>(number));
  return handles;
}

size_t BytesToFill(HWAVEIN handle, size_t count) {
  OpenDevice* device = Find(handle);
  return device ? device->BytesToFill(count) : 0;
}

}  // namespace mmsystem

using namespace mmsystem;

UINT waveInGetNumDevs() {
  Backend* backend = CurrentBackend();
  if (!backend) return NoBackend(), 0;
  std::vector<DeviceInfo> devices;
  if (backend->Enumerate(devices) != MMSYSERR_NOERROR) return 0;
  return static_cast<UINT>(devices.size());
}

MMRESULT waveInGetDevCapsA(UINT_PTR deviceId, WAVEINCAPSA* caps, UINT capsSize) {
  Note(WaveInCall::kGetDevCaps, static_cast<UINT>(deviceId));
  Backend* backend = CurrentBackend();
  if (!backend) return NoBackend();
  if (!caps || capsSize == 0) return Fail(MMSYSERR_INVALPARAM, kService, "no caps record given");
  std::vector<DeviceInfo> devices;
  if (MMRESULT result = backend->Enumerate(devices)) return result;
  UINT index = 0;
  if (MMRESULT result = ResolveDevice(deviceId, devices.size(), &index)) return result;
  WAVEINCAPSA out{};
  out.vDriverVersion = 0x0100;
  CopyName(devices[index].name, out.szPname);
  out.dwFormats = devices[index].formats;
  out.wChannels = devices[index].channels;
  std::memcpy(caps, &out, std::min<size_t>(capsSize, sizeof out));
  return MMSYSERR_NOERROR;
}

MMRESULT waveInOpen(HWAVEIN* handle, UINT deviceId, const WAVEFORMATEX* format, DWORD_PTR callback,
                    DWORD_PTR /*instance*/, DWORD flags) {
  const bool query = (flags & WAVE_FORMAT_QUERY) != 0;
  Note(query ? WaveInCall::kQuery : WaveInCall::kOpen, deviceId, format);
  Backend* backend = CurrentBackend();
  if (!backend) return NoBackend();
  if (!query && handle) *handle = nullptr;
  const DWORD callbackType = flags & kCallbackTypeMask;
  if (callbackType != CALLBACK_NULL && callbackType != CALLBACK_WINDOW)
    return Fail(MMSYSERR_INVALFLAG, kService, "only window notices (or none) are offered");
  if (!query && !handle) return Fail(MMSYSERR_INVALPARAM, kService, "no handle to fill");
  if (MMRESULT result = CheckFormat(format)) return result;
  std::vector<DeviceInfo> devices;
  if (MMRESULT result = backend->Enumerate(devices)) return result;
  UINT index = 0;
  if (MMRESULT result = ResolveDevice(deviceId, devices.size(), &index)) return result;
  if (query) return backend->Query(index, *format);

  const HWND window = reinterpret_cast<HWND>(callback);
  const bool notifyWindow = callbackType == CALLBACK_WINDOW;
  if (notifyWindow && !IsWindow(window))
    return Fail(MMSYSERR_INVALPARAM, kService, "the notice window is not a window");
  Service& s = TheService();
  try {
    const uintptr_t number = s.nextHandle++;
    auto device =
        std::make_unique<OpenDevice>(number, *format, window, notifyWindow, backend->Name());
    if (MMRESULT result = backend->Open(index, *format, *device, device->Stream())) return result;
    OpenDevice* opened = device.get();
    s.devices.emplace(number, std::move(device));
    *handle = opened->Handle();
    opened->Notify(MM_WIM_OPEN);
    return MMSYSERR_NOERROR;
  } catch (const std::bad_alloc&) {
    return Fail(MMSYSERR_NOMEM, kService, "out of memory opening the device");
  }
}

MMRESULT waveInClose(HWAVEIN handle) {
  Note(WaveInCall::kClose);
  OpenDevice* device = Find(handle);
  if (!device) return BadHandle();
  if (device->Queued())
    return Fail(WAVERR_STILLPLAYING, kService, "headers are still queued (waveInReset first)");
  // Out of the table first: from here on the handle is stale for every call.
  auto& devices = TheService().devices;
  auto it = devices.find(reinterpret_cast<uintptr_t>(handle));
  std::unique_ptr<OpenDevice> closing = std::move(it->second);
  devices.erase(it);
  // For measurements of a whole program: AS_WAVEIN_REPORT=1 prints what each device delivered.
  if (const char* report = std::getenv("AS_WAVEIN_REPORT"); report && *report == '1') {
    const WAVEFORMATEX& f = closing->Format();
    const unsigned align = f.nBlockAlign ? f.nBlockAlign : 1;
    std::fprintf(stderr, "wave-in: %u Hz, %u channels, %u bits: %llu frames delivered, %llu dropped\n",
                 static_cast<unsigned>(f.nSamplesPerSec), static_cast<unsigned>(f.nChannels),
                 static_cast<unsigned>(f.wBitsPerSample),
                 static_cast<unsigned long long>(closing->DeliveredBytes() / align),
                 static_cast<unsigned long long>(closing->DroppedBytes() / align));
  }
  closing->Notify(MM_WIM_CLOSE);
  closing.reset();  // closes the backend's stream, then the hidden window
  return MMSYSERR_NOERROR;
}

MMRESULT waveInPrepareHeader(HWAVEIN handle, WAVEHDR* header, UINT headerSize) {
  Note(WaveInCall::kPrepare);
  if (!Find(handle)) return BadHandle();
  if (MMRESULT result = CheckHeader(header, headerSize)) return result;
  header->dwFlags |= WHDR_PREPARED;
  return MMSYSERR_NOERROR;
}

MMRESULT waveInUnprepareHeader(HWAVEIN handle, WAVEHDR* header, UINT headerSize) {
  Note(WaveInCall::kUnprepare);
  if (!Find(handle)) return BadHandle();
  if (!header || headerSize < sizeof(WAVEHDR))
    return Fail(MMSYSERR_INVALPARAM, kService, "no header given");
  if (header->dwFlags & WHDR_INQUEUE)
    return Fail(WAVERR_STILLPLAYING, kService, "header is still queued");
  header->dwFlags &= ~WHDR_PREPARED;
  return MMSYSERR_NOERROR;
}

MMRESULT waveInAddBuffer(HWAVEIN handle, WAVEHDR* header, UINT headerSize) {
  Note(WaveInCall::kAddBuffer);
  OpenDevice* device = Find(handle);
  if (!device) return BadHandle();
  if (!header || headerSize < sizeof(WAVEHDR))
    return Fail(MMSYSERR_INVALPARAM, kService, "no header given");
  if (!(header->dwFlags & WHDR_PREPARED))
    return Fail(WAVERR_UNPREPARED, kService, "header is not prepared");
  if (MMRESULT result = CheckHeader(header, headerSize)) return result;
  try {
    return device->AddBuffer(header);
  } catch (const std::bad_alloc&) {
    return Fail(MMSYSERR_NOMEM, kService, "out of memory queueing a header");
  }
}

MMRESULT waveInStart(HWAVEIN handle) {
  Note(WaveInCall::kStart);
  OpenDevice* device = Find(handle);
  return device ? device->Start() : BadHandle();
}

MMRESULT waveInStop(HWAVEIN handle) {
  Note(WaveInCall::kStop);
  OpenDevice* device = Find(handle);
  if (!device) return BadHandle();
  device->Stop();
  return MMSYSERR_NOERROR;
}

MMRESULT waveInReset(HWAVEIN handle) {
  Note(WaveInCall::kReset);
  OpenDevice* device = Find(handle);
  if (!device) return BadHandle();
  device->Reset();
  return MMSYSERR_NOERROR;
}

MMRESULT waveInGetPosition(HWAVEIN handle, MMTIME* time, UINT timeSize) {
  Note(WaveInCall::kGetPosition);
  OpenDevice* device = Find(handle);
  if (!device) return BadHandle();
  if (!time || timeSize < sizeof(MMTIME))
    return Fail(MMSYSERR_INVALPARAM, kService, "no time record given");
  const uint64_t bytes = device->DeliveredBytes();
  const uint64_t frames = bytes / device->Format().nBlockAlign;
  switch (time->wType) {
    case TIME_SAMPLES:
      time->u.sample = static_cast<DWORD>(frames);
      break;
    case TIME_MS:
      time->u.ms = static_cast<DWORD>(frames * 1000 / device->Format().nSamplesPerSec);
      break;
    default:  // a kind of time not kept here: answer in bytes and say so
      time->wType = TIME_BYTES;
      time->u.cb = static_cast<DWORD>(bytes);
      break;
  }
  return MMSYSERR_NOERROR;
}

MMRESULT waveInGetStatistics(HWAVEIN handle, WaveInStatistics* statistics) {
  OpenDevice* device = Find(handle);
  if (!device) return BadHandle();
  if (!statistics) return Fail(MMSYSERR_INVALPARAM, kService, "no statistics record given");
  const WORD blockAlign = device->Format().nBlockAlign;
  statistics->framesDelivered = device->DeliveredBytes() / blockAlign;
  statistics->framesDropped = device->DroppedBytes() / blockAlign;
  return MMSYSERR_NOERROR;
}

std::string waveInGetLastError() { return gLastError; }

bool SelectWaveInBackend(const char* name) {
  Service& s = TheService();
  if (!name) return false;
  if (!s.devices.empty()) {
    Fail(MMSYSERR_ALLOCATED, kService, "cannot change backend while a device is open");
    return false;
  }
  std::unique_ptr<Backend> fresh = MakeBackend(name);
  if (!fresh) {
    Fail(MMSYSERR_NODRIVER, kService,
         std::string("unknown backend '") + name + "' (known: " + KnownBackendNames() + ")");
    return false;
  }
  s.backend.reset();  // the old one shuts down before the new one starts anything
  s.backend = std::move(fresh);
  s.requested = name;
  s.chosen = true;
  return true;
}

std::string WaveInBackendName() {
  Backend* backend = CurrentBackend();
  return backend ? backend->Name() : "";
}
