#pragma once
// TRecorder: captures sound from the wave-in service into a ring of eight buffers and hands each
// completed block to its clients (the FFT component, the views) and to OnSample.
//
// The ring. Opening allocates all eight buffers in one block and queues buffers 0 .. 6; buffer 7
// is held back. Each completed block becomes the current one, readable in place through
// SampleCount / GetSample / Data until the next block completes; at that moment the block read
// before it is queued again. So the device always has seven buffers to fill and one is being
// read: nothing is allocated or copied per block.
//
// Notices. The service posts MM_WIM_OPEN / MM_WIM_DATA / MM_WIM_CLOSE to the recorder's hidden
// window; they are handled when the GUI thread's loop dispatches them. On MM_WIM_DATA the recorder
// takes the next completed block (NextBuffer), then tells its clients evData and raises OnSample;
// both happen even when no block had completed, and then they read the previous block again.
// Notices that arrive after the device was closed (a close hands every queued buffer back) are
// recognised by the closed handle and the header state and take nothing: the clients are still
// told evData but see SampleCount() == 0.
//
// Opening is implicit: any call that needs the device handle (Start, Stop, Reset, SamplePos, and
// GetHandle itself) opens the device with the current Quality and BufSize when it is closed.
// Changing BufSize closes the device; the next such call reopens it with the new size.
//
// Threads: GUI thread only. Every service call is made from it and every notice arrives on it.
#include <cstdint>
#include <memory>

#include "AudioLineParameters.h"
#include "Classes.h"
#include "ClientSlots.h"
#include "MMSystem.h"
#include "WaveInDeviceID.h"
#include "Windows.h"

class TRecorder : public TComponent {
  VCL_CLASS(TRecorder)
  // Makes the hidden window, default settings (device -1, mono 11025 Hz 8 bits, 256 frames per
  // buffer, AutoStart off) and posts itself WM_USER, on which it starts when AutoStart is set by
  // then (after a form has been read) and it is not in the designer. Opens nothing.
  explicit TRecorder(TComponent* AOwner);
  // Tells the clients evDestroying first, then stops a capturing device, closes it and frees the
  // window (dropping notices still queued for it) and the settings objects. A client must not
  // throw from evDestroying.
  ~TRecorder() override;

  // Starts capturing, opening the device first when it is closed. An open device goes on from
  // where its ring stands (after Stop or Reset the device hands buffers back in ring order); only
  // opening starts the ring at buffer 0.
  virtual void Start();
  // Pauses capturing; the device stays open. Opens the device when it is closed.
  virtual void Stop();
  // Stops capturing and hands every queued buffer back (each with a notice); the device stays
  // open. Opens the device when it is closed.
  virtual void Reset();
  // Takes the next block when the device has completed it (see the ring above): re-queues the
  // block read before, and makes the completed one current. Does nothing while the device is
  // closed or the next buffer is not done.
  virtual void NextBuffer();
  // See TClientSlots: four slots, no duplicate check, a fifth client is dropped.
  virtual void AddClient(TClientEvent client);
  virtual void RemoveClient(TClientEvent client);
  // The number of recording devices the service knows.
  virtual int32_t GetDeviceCount();
  // IsFormatSupported with Quality's Frequency, Channels and BitsPerSample.
  virtual bool IsQualitySupported();
  // Asks the service whether the device named by Device (not necessarily the one OpenDevice uses,
  // which is always device 0) accepts this PCM format. Opens nothing, changes nothing.
  virtual bool IsFormatSupported(int32_t frequency, int32_t channels, int32_t bits);

  // The device handle, opening the device first when it is closed.
  HWAVEIN GetHandle();
  // Opens device 0 (the default recording device) with Quality's format, BufSize frames per
  // buffer, and queues buffers 0 .. 6. Nothing when already open. Raises EInOutError "Format not
  // supported" when the service refuses the format, and "Error opening wavein" when the open fails
  // or the buffers would hold no bytes (BufSize 0 or less); the device stays closed then, with
  // nothing allocated or queued.
  void OpenDevice();
  // Resets and closes the device and frees the buffers; the current block is gone (SampleCount 0)
  // until the next one completes. Nothing when closed.
  void CloseDevice();
  // Whether the buffer that completes next has been handed back by the device.
  bool IsBufferDone() const;

  // The current block, read in place. SampleCount is taken when the block completes, from the
  // bytes recorded and Quality at that moment; 0 before the first block and after a close.
  int32_t SampleCount() const { return FSampleCount; }
  // Sample `index` of the current block as a signed value, decoded with Quality as it is now:
  //   mono 8 bits    (b[i] - 128) * 64        mono 16 bits    s[i]
  //   stereo 8 bits  (b[2i] + b[2i+1] - 256) * 128
  //   stereo 16 bits (s[2i] + s[2i+1]) / 2, truncated toward zero
  //   anything else  the raw byte b[i]
  // (b: unsigned bytes, s: signed 16-bit little-endian). 0 for an index whose bytes lie outside
  // the bytes recorded, negative indexes included.
  int32_t GetSample(int32_t index) const;
  const BYTE* Data() const { return FData; }  // null when there is no current block
  int32_t BytesRecorded() const { return FBytesRecorded; }
  // The device's position in samples since it was opened. Opens the device when it is closed.
  DWORD GetSamplePosition();

  // The ring as it stands, for diagnostics and tests.
  int32_t BufferBytes() const { return FBufferBytes; }  // bytes per buffer, set when opening
  int32_t BufferCount() const { return FBufferCount; }
  int32_t CurrentBuffer() const { return FCurrent; }  // the buffer that completes next
  const WAVEHDR& Header(int32_t index) const { return FHeaders[index]; }
  HWND WindowHandle() const { return FWindow; }  // where the service posts its notices
  const TClientSlots& Clients() const { return FClients; }

  TWaveInDeviceID* Device() const { return FDeviceObject; }
  // Takes ownership of `value` and frees the object held before. Null, or the object already
  // held, keeps the current object.
  void SetDeviceObject(TWaveInDeviceID* value);
  TAudioLineParameters* Quality() const { return FQualityObject; }
  // As SetDeviceObject.
  void SetQualityObject(TAudioLineParameters* value);
  // Frames per buffer.
  int32_t BufSize() const { return FFramesPerBuffer; }
  // Stores the size and closes the device (always, even for the same size).
  void SetFramesPerBuffer(int32_t value);
  bool AutoStart() const { return FAutoStartFlag; }
  void SetAutoStart(bool value) { FAutoStartFlag = value; }
  const TNotifyEvent& OnSample() const { return FSampleEvent; }
  void SetOnSample(TNotifyEvent value) { FSampleEvent = value; }

 protected:
  // The hidden window's messages: the service's notices and the start-up WM_USER.
  virtual void WndProc(TMessage& Message);

 private:
  void ArmHeader(int32_t index);

  int32_t FBufferBytes;
  int32_t FCurrent;
  int32_t FBufferCount;
  std::unique_ptr<char[]> FBlock;  // FBufferCount buffers of FBufferBytes, while open
  WAVEHDR FHeaders[8];
  HWND FWindow;
  TClientSlots FClients;
  TWaveInDeviceID* FDeviceObject;        // owned, never null
  TAudioLineParameters* FQualityObject;  // owned, never null
  int32_t FFramesPerBuffer;
  TNotifyEvent FSampleEvent;
  HWAVEIN FHandle;
  bool FAutoStartFlag;
  const BYTE* FData;       // the current block inside FBlock, or null
  int32_t FBytesRecorded;  // its length
  int32_t FSampleCount;
};

// Registers TRecorder, TAudioLineParameters and TWaveInDeviceID so that form resources can create
// them by name. Call once before reading a form.
void RegisterCaptureClasses();
