#include "Recorder.h"

#include <cstring>

#include "SysUtils.h"

namespace {

constexpr UINT kHeaderSize = sizeof(WAVEHDR);

// 32-bit signed multiplication that wraps on overflow instead of being undefined, so that the
// buffer and sample arithmetic below keeps its 32-bit meaning for any setting.
int32_t Mul32(int32_t a, int32_t b) {
  return static_cast<int32_t>(static_cast<uint32_t>(a) * static_cast<uint32_t>(b));
}

// The 16-bit little-endian signed sample starting at p.
int32_t Sample16(const BYTE* p) {
  return static_cast<int16_t>(static_cast<uint16_t>(p[0] | (p[1] << 8)));
}

template <class T>
T* SubObject(TObject* value, const char* property) {
  if (value && !value->InheritsFrom(T::StaticClass()))
    throw EPropertyError("Property TRecorder." + std::string(property) + " needs a " +
                         T::StaticClass().Name + ", not a " + value->ClassName());
  return static_cast<T*>(value);
}

}  // namespace

const TClassInfo& TRecorder::StaticClass() {
  using T = TRecorder;
  static const TClassInfo info =
      TClassBuilder<T>("TRecorder", &TComponent::StaticClass())
          .Factory()
          .Object<TWaveInDeviceID>(
              "Device", [](const T& o) { return o.Device(); },
              [](T& o, TObject* v) { o.SetDeviceObject(SubObject<TWaveInDeviceID>(v, "Device")); })
          .Object<TAudioLineParameters>(
              "Quality", [](const T& o) { return o.Quality(); },
              [](T& o, TObject* v) {
                o.SetQualityObject(SubObject<TAudioLineParameters>(v, "Quality"));
              })
          .Integer(
              "BufSize", [](const T& o) { return o.BufSize(); },
              [](T& o, int64_t v) { o.SetFramesPerBuffer(static_cast<int32_t>(v)); }, 256)
          .Event("OnSample", [](const T& o) { return o.OnSample().Assigned(); })
          // Read-only, so the form writer skips it without reading it and the form reader refuses
          // it. Reading it opens the device; inside the designer (csDesigning) it reads 0 instead,
          // so that showing it in the inspector never opens the device.
          .Ordinal(
              "SamplePos", TypeInteger,
              [](const T& o) -> int64_t {
                if (o.ComponentState().Contains(csDesigning)) return 0;
                return const_cast<T&>(o).GetSamplePosition();
              },
              nullptr)
          .Boolean(
              "AutoStart", [](const T& o) { return o.AutoStart(); },
              [](T& o, int64_t v) { o.SetAutoStart(v != 0); }, false)
          .Build();
  return info;
}

void RegisterCaptureClasses() {
  RegisterClass(TRecorder::StaticClass());
  RegisterClass(TAudioLineParameters::StaticClass());
  RegisterClass(TWaveInDeviceID::StaticClass());
}

TRecorder::TRecorder(TComponent* AOwner)
    : TComponent(AOwner),
      FBufferBytes(0),
      FCurrent(0),
      FBufferCount(8),
      FHeaders{},
      FWindow(nullptr),
      FDeviceObject(nullptr),
      FQualityObject(nullptr),
      FFramesPerBuffer(256),
      FHandle(nullptr),
      FAutoStartFlag(false),
      FData(nullptr),
      FBytesRecorded(0),
      FSampleCount(0) {
  FWindow = AllocateHWnd(MakeMethod<&TRecorder::WndProc>(this));
  FDeviceObject = new TWaveInDeviceID;
  FQualityObject = new TAudioLineParameters;
  PostMessage(FWindow, WM_USER, 0, 0);
}

TRecorder::~TRecorder() {
  Destroying();
  FClients.Notify(this, evDestroying);
  if (FHandle) Stop();
  CloseDevice();
  DeallocateHWnd(FWindow);
  FWindow = nullptr;
  delete FDeviceObject;
  FDeviceObject = nullptr;
  delete FQualityObject;
  FQualityObject = nullptr;
}

void TRecorder::WndProc(TMessage& Message) {
  switch (Message.Msg) {
    case MM_WIM_DATA:
      NextBuffer();
      FClients.Notify(this, evData);
      if (FSampleEvent) FSampleEvent(this);
      break;
    case MM_WIM_OPEN:
      FClients.Notify(this, evOpened);
      break;
    case MM_WIM_CLOSE:
      FClients.Notify(this, evClosed);
      break;
    case WM_USER:
      if (FAutoStartFlag && !ComponentState().Contains(csDesigning)) Start();
      break;
    default:
      break;
  }
}

HWAVEIN TRecorder::GetHandle() {
  if (!FHandle) OpenDevice();
  return FHandle;
}

void TRecorder::ArmHeader(int32_t index) {
  WAVEHDR& h = FHeaders[index];
  h.lpData = FBlock.get() + static_cast<size_t>(index) * static_cast<size_t>(FBufferBytes);
  h.dwBufferLength = static_cast<DWORD>(FBufferBytes);
  h.dwFlags = 0;
  h.dwLoops = 0;
}

void TRecorder::OpenDevice() {
  if (FHandle) return;
  const int32_t channels = FQualityObject->Channels();
  const int32_t bits = FQualityObject->BitsPerSample();
  FBufferBytes = Mul32(Mul32(channels, FFramesPerBuffer), bits) / 8;
  // An empty or negative size allocates nothing; it is refused below, after the format query.
  if (FBufferBytes > 0)
    FBlock = std::make_unique<char[]>(static_cast<size_t>(FBufferCount) *
                                      static_cast<size_t>(FBufferBytes));

  WAVEFORMATEX format;
  format.wFormatTag = WAVE_FORMAT_PCM;
  format.nChannels = static_cast<WORD>(channels);
  format.nSamplesPerSec = static_cast<DWORD>(FQualityObject->Frequency());
  format.wBitsPerSample = static_cast<WORD>(bits);
  format.nBlockAlign = static_cast<WORD>(uint32_t{format.nChannels} * format.wBitsPerSample / 8);
  format.nAvgBytesPerSec = format.nBlockAlign * format.nSamplesPerSec;
  format.cbSize = 0;

  if (waveInOpen(nullptr, 0, &format, 0, 0, WAVE_FORMAT_QUERY) != MMSYSERR_NOERROR) {
    FBlock.reset();
    throw EInOutError("Format not supported");
  }
  if (!FWindow) FWindow = AllocateHWnd(MakeMethod<&TRecorder::WndProc>(this));
  HWAVEIN handle = nullptr;
  // Zero-length buffers would be handed back as soon as they are queued, a notice each, for ever.
  if (FBufferBytes <= 0 || waveInOpen(&handle, 0, &format, reinterpret_cast<DWORD_PTR>(FWindow), 0,
                                      CALLBACK_WINDOW) != MMSYSERR_NOERROR) {
    FBlock.reset();
    throw EInOutError("Error opening wavein");
  }
  FHandle = handle;
  // A fresh queue starts at buffer 0, whatever the ring of an earlier opening had reached.
  FCurrent = 0;
  for (int32_t i = 0; i < FBufferCount - 1; ++i) {
    ArmHeader(i);
    waveInPrepareHeader(GetHandle(), &FHeaders[i], kHeaderSize);
    waveInAddBuffer(GetHandle(), &FHeaders[i], kHeaderSize);
  }
}

void TRecorder::CloseDevice() {
  if (!FHandle) return;
  waveInReset(FHandle);
  waveInClose(FHandle);
  FHandle = nullptr;
  FData = nullptr;
  FBytesRecorded = 0;
  FSampleCount = 0;
  FBlock.reset();
}

void TRecorder::Start() { waveInStart(GetHandle()); }

void TRecorder::Stop() { waveInStop(GetHandle()); }

void TRecorder::Reset() { waveInReset(GetHandle()); }

bool TRecorder::IsBufferDone() const { return (FHeaders[FCurrent].dwFlags & WHDR_DONE) != 0; }

void TRecorder::NextBuffer() {
  // Closed: the notice is one the close handed back; its buffer memory is gone.
  if (!FHandle || !IsBufferDone()) return;
  const int32_t done = FCurrent;
  const int32_t previous = (FCurrent + FBufferCount - 1) % FBufferCount;
  FCurrent = (FCurrent + 1) % FBufferCount;
  waveInUnprepareHeader(GetHandle(), &FHeaders[done], kHeaderSize);
  ArmHeader(previous);
  waveInPrepareHeader(GetHandle(), &FHeaders[previous], kHeaderSize);
  waveInAddBuffer(GetHandle(), &FHeaders[previous], kHeaderSize);

  const WAVEHDR& block = FHeaders[done];
  FData = reinterpret_cast<const BYTE*>(block.lpData);
  // Never trust a count beyond the buffer itself.
  const DWORD recorded =
      block.dwBytesRecorded < block.dwBufferLength ? block.dwBytesRecorded : block.dwBufferLength;
  FBytesRecorded = static_cast<int32_t>(recorded);
  const int32_t bitsPerFrame = Mul32(FQualityObject->Channels(), FQualityObject->BitsPerSample());
  const int32_t count = bitsPerFrame > 0 ? Mul32(FBytesRecorded, 8) / bitsPerFrame : 0;
  FSampleCount = count > 0 ? count : 0;
}

int32_t TRecorder::GetSample(int32_t index) const {
  if (!FData || index < 0) return 0;
  const int64_t i = index;
  const int64_t bytes = FBytesRecorded;
  const int32_t channels = FQualityObject->Channels();
  const int32_t bits = FQualityObject->BitsPerSample();
  if (channels == 1 && bits == 8) {
    if (i >= bytes) return 0;
    return (FData[i] - 128) * 64;
  }
  if (channels == 1 && bits == 16) {
    if (2 * i + 2 > bytes) return 0;
    return Sample16(FData + 2 * i);
  }
  if (channels == 2 && bits == 8) {
    if (2 * i + 2 > bytes) return 0;
    return (FData[2 * i] + FData[2 * i + 1] - 256) * 128;
  }
  if (channels == 2 && bits == 16) {
    if (4 * i + 4 > bytes) return 0;
    return (Sample16(FData + 4 * i) + Sample16(FData + 4 * i + 2)) / 2;
  }
  if (i >= bytes) return 0;
  return FData[i];
}

DWORD TRecorder::GetSamplePosition() {
  MMTIME time;
  std::memset(&time, 0, sizeof time);
  time.wType = TIME_SAMPLES;
  waveInGetPosition(GetHandle(), &time, sizeof time);
  return time.u.sample;
}

bool TRecorder::IsFormatSupported(int32_t frequency, int32_t channels, int32_t bits) {
  WAVEFORMATEX format;
  format.wFormatTag = WAVE_FORMAT_PCM;
  format.nChannels = static_cast<WORD>(channels);
  format.nSamplesPerSec = static_cast<DWORD>(frequency);
  format.nAvgBytesPerSec = static_cast<DWORD>(Mul32(Mul32(frequency, channels), bits) / 8);
  format.wBitsPerSample = static_cast<WORD>(bits);
  format.nBlockAlign = static_cast<WORD>(uint32_t{format.nChannels} * format.wBitsPerSample / 8);
  format.cbSize = 0;
  return waveInOpen(nullptr, static_cast<UINT>(FDeviceObject->DeviceNumber()), &format, 0, 0,
                    WAVE_FORMAT_QUERY) == MMSYSERR_NOERROR;
}

bool TRecorder::IsQualitySupported() {
  return IsFormatSupported(FQualityObject->Frequency(), FQualityObject->Channels(),
                           FQualityObject->BitsPerSample());
}

int32_t TRecorder::GetDeviceCount() { return static_cast<int32_t>(waveInGetNumDevs()); }

void TRecorder::AddClient(TClientEvent client) { FClients.Add(client); }

void TRecorder::RemoveClient(TClientEvent client) { FClients.Remove(client); }

void TRecorder::SetDeviceObject(TWaveInDeviceID* value) {
  if (!value || value == FDeviceObject) return;
  delete FDeviceObject;
  FDeviceObject = value;
}

void TRecorder::SetQualityObject(TAudioLineParameters* value) {
  if (!value || value == FQualityObject) return;
  delete FQualityObject;
  FQualityObject = value;
}

void TRecorder::SetFramesPerBuffer(int32_t value) {
  FFramesPerBuffer = value;
  CloseDevice();
}
