// The scripted backend and its control API (ScriptedWaveIn.h). Its state lives outside the backend
// object so that tests can set it up before the backend is chosen, and it survives re-choosing.
// GUI thread only.
#include "ScriptedBackend.h"

#include <vector>

#include "ScriptedWaveIn.h"

namespace mmsystem {
namespace {

constexpr const char* kName = "scripted";

struct ScriptedState {
  std::vector<ScriptedWaveIn::Device> devices{ScriptedWaveIn::Device{}};
  MMRESULT queryFailure = MMSYSERR_NOERROR;
  MMRESULT openFailure = MMSYSERR_NOERROR;
  MMRESULT startFailure = MMSYSERR_NOERROR;
  ScriptedWaveIn::Calls calls;
};

ScriptedState& State() {
  static ScriptedState state;
  return state;
}

class ScriptedStream final : public CaptureStream {
 public:
  explicit ScriptedStream(CaptureSink& sink) : FSink(sink) {}

  MMRESULT Start() override {
    if (MMRESULT failure = State().startFailure)
      return Fail(failure, kName, "start failure requested by the test");
    FCapturing = true;
    return MMSYSERR_NOERROR;
  }
  void Stop() override { FCapturing = false; }
  bool Lost() override { return FLost; }
  std::string LostReason() override { return "device loss simulated by the test"; }

  bool Capturing() const { return FCapturing; }

  size_t Feed(const void* bytes, size_t count) {
    if (!FCapturing || FLost || count == 0) return 0;
    FSink.Captured(bytes, count);
    return count;
  }

  void Lose() {
    FLost = true;
    FSink.Wake();
  }

 private:
  CaptureSink& FSink;
  bool FCapturing = false;
  bool FLost = false;
};

class ScriptedBackend final : public Backend {
 public:
  const char* Name() const override { return kName; }

  MMRESULT Enumerate(std::vector<DeviceInfo>& devices) override {
    for (const ScriptedWaveIn::Device& device : State().devices)
      devices.push_back({device.name, device.formats, device.channels});
    return MMSYSERR_NOERROR;
  }

  MMRESULT Query(UINT device, const WAVEFORMATEX& /*format*/) override {
    MMRESULT result = State().queryFailure;
    if (result == MMSYSERR_NOERROR && device < State().devices.size())
      result = State().devices[device].queryResult;
    return result ? Fail(result, kName, "query failure requested by the test") : result;
  }

  MMRESULT Open(UINT device, const WAVEFORMATEX& /*format*/, CaptureSink& sink,
                std::unique_ptr<CaptureStream>& stream) override {
    MMRESULT result = State().openFailure;
    if (result == MMSYSERR_NOERROR && device < State().devices.size())
      result = State().devices[device].openResult;
    if (result) return Fail(result, kName, "open failure requested by the test");
    stream = std::make_unique<ScriptedStream>(sink);
    return MMSYSERR_NOERROR;
  }

  void NoteCall(WaveInCall call, UINT device, const WAVEFORMATEX* format) override {
    ScriptedWaveIn::Calls& calls = State().calls;
    switch (call) {
      case WaveInCall::kQuery:
      case WaveInCall::kOpen:
        ++(call == WaveInCall::kQuery ? calls.queries : calls.opens);
        calls.lastDevice = device;
        calls.haveFormat = format != nullptr;
        calls.lastFormat = format ? *format : WAVEFORMATEX{};
        break;
      case WaveInCall::kClose:
        ++calls.closes;
        break;
      case WaveInCall::kPrepare:
        ++calls.prepares;
        break;
      case WaveInCall::kUnprepare:
        ++calls.unprepares;
        break;
      case WaveInCall::kAddBuffer:
        ++calls.adds;
        break;
      case WaveInCall::kStart:
        ++calls.starts;
        break;
      case WaveInCall::kStop:
        ++calls.stops;
        break;
      case WaveInCall::kReset:
        ++calls.resets;
        break;
      case WaveInCall::kGetPosition:
        ++calls.positions;
        break;
      case WaveInCall::kGetDevCaps:
        ++calls.devCaps;
        break;
    }
  }
};

ScriptedStream* ScriptedStreamOf(HWAVEIN handle) {
  if (!handle) handle = ScriptedWaveIn::LastOpened();
  return dynamic_cast<ScriptedStream*>(StreamOf(handle));
}

}  // namespace

std::unique_ptr<Backend> MakeScriptedBackend() { return std::make_unique<ScriptedBackend>(); }

}  // namespace mmsystem

namespace ScriptedWaveIn {

using mmsystem::ScriptedStreamOf;
using mmsystem::State;

void Reset() { State() = mmsystem::ScriptedState{}; }

void SetDevices(std::vector<Device> devices) { State().devices = std::move(devices); }

std::vector<Device> Devices() { return State().devices; }

void FailQueries(MMRESULT result) { State().queryFailure = result; }
void FailOpens(MMRESULT result) { State().openFailure = result; }
void FailStarts(MMRESULT result) { State().startFailure = result; }

Calls Counters() { return State().calls; }

HWAVEIN LastOpened() {
  std::vector<HWAVEIN> handles = mmsystem::OpenHandles();
  for (auto it = handles.rbegin(); it != handles.rend(); ++it) {
    if (dynamic_cast<mmsystem::ScriptedStream*>(mmsystem::StreamOf(*it))) return *it;
  }
  return nullptr;
}

bool IsCapturing(HWAVEIN handle) {
  mmsystem::ScriptedStream* stream = ScriptedStreamOf(handle);
  return stream && stream->Capturing();
}

size_t Feed(HWAVEIN handle, const void* bytes, size_t count) {
  mmsystem::ScriptedStream* stream = ScriptedStreamOf(handle);
  return stream && bytes ? stream->Feed(bytes, count) : 0;
}

size_t CompleteBuffers(HWAVEIN handle, size_t headers, BYTE fill) {
  if (!handle) handle = LastOpened();
  mmsystem::ScriptedStream* stream = ScriptedStreamOf(handle);
  if (!stream || !stream->Capturing()) return 0;
  const std::vector<BYTE> bytes(mmsystem::BytesToFill(handle, headers), fill);
  return bytes.empty() ? 0 : stream->Feed(bytes.data(), bytes.size());
}

bool LoseDevice(HWAVEIN handle) {
  mmsystem::ScriptedStream* stream = ScriptedStreamOf(handle);
  if (!stream) return false;
  stream->Lose();
  return true;
}

}  // namespace ScriptedWaveIn
