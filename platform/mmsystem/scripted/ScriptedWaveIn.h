#pragma once
// Control of the "scripted" wave-in backend: a stand-in sound card for tests, with no real time and
// no sound server. Everything it captures comes from the test.
//
// Using it:
//
//   SelectWaveInBackend("scripted");   // WaveInDiagnostics.h; or AS_WAVEIN_BACKEND=scripted
//   ScriptedWaveIn::Reset();           // one device, nothing failing, counters at zero
//   ... code under test calls waveInOpen / waveInAddBuffer / waveInStart ...
//   ScriptedWaveIn::CompleteBuffers(nullptr, 2);       // or Feed(nullptr, bytes, count)
//   while (MessageQueue::DispatchOne()) {}              // the service fills headers and posts
//                                                       // MM_WIM_DATA while this runs
//   EXPECT_EQ(ScriptedWaveIn::Counters().adds, 4u);
//
// Bytes go the same way as real capture: into the open device's ring, then a wake-up message to
// the service's hidden window; headers are filled, and notices posted, only when that message is
// dispatched. So after Feed, CompleteBuffers or LoseDevice, pump the message queue (winapi
// MessageQueue::DispatchOne / Wait) before looking at headers.
//
// Rules the service applies whatever the backend (format checks, device numbers, header states,
// stale handles) are not repeated here; the failures below come on top of them.
//
// Every function runs on the GUI thread, like the wave-in calls themselves. Open devices are not
// touched by Reset or SetDevices: close them in the test (waveInReset, then waveInClose).
// A `handle` of nullptr means the most recently opened device that is still open.
#include <cstddef>
#include <string>
#include <vector>

#include "MMSystem.h"

namespace ScriptedWaveIn {

struct Device {
  std::string name = "Scripted Microphone";  // before cutting to fit WAVEINCAPSA::szPname
  DWORD formats = 0x00000FFF;                // WAVEINCAPSA::dwFormats
  WORD channels = 2;                         // WAVEINCAPSA::wChannels
  // What waveInOpen with WAVE_FORMAT_QUERY, and a real waveInOpen, return for this device once the
  // service's own checks have passed. Non-zero makes the call fail with that result.
  MMRESULT queryResult = MMSYSERR_NOERROR;
  MMRESULT openResult = MMSYSERR_NOERROR;
};

// How many times each wave-in call was made since the last Reset, counted on entry whether or not
// the call then succeeded (a refused waveInAddBuffer counts as an add).
struct Calls {
  unsigned queries = 0;     // waveInOpen with WAVE_FORMAT_QUERY
  unsigned opens = 0;       // waveInOpen without it
  unsigned closes = 0;      // waveInClose
  unsigned prepares = 0;    // waveInPrepareHeader
  unsigned unprepares = 0;  // waveInUnprepareHeader
  unsigned adds = 0;        // waveInAddBuffer
  unsigned starts = 0;      // waveInStart
  unsigned stops = 0;       // waveInStop
  unsigned resets = 0;      // waveInReset
  unsigned positions = 0;   // waveInGetPosition
  unsigned devCaps = 0;     // waveInGetDevCapsA
  // The device number and format passed to the latest waveInOpen (query or not). haveFormat is
  // false when it passed a null format, or before any waveInOpen.
  UINT lastDevice = 0;
  bool haveFormat = false;
  WAVEFORMATEX lastFormat{};
};

// Back to the default: one device (a default-constructed Device), no failures, counters at zero.
void Reset();

// Replaces the device list. Device number i (0 being the default; WAVE_MAPPER also means 0) is
// devices[i]; waveInGetNumDevs returns devices.size(). An empty list is a system with no
// recording device.
void SetDevices(std::vector<Device> devices);
std::vector<Device> Devices();

// Makes every query, open or start fail with `result` (after the service's own checks), whatever
// the device; MMSYSERR_NOERROR lifts it. Per-device results in Device apply when this is clear.
void FailQueries(MMRESULT result);
void FailOpens(MMRESULT result);
void FailStarts(MMRESULT result);

Calls Counters();

// The most recently opened scripted device still open; nullptr when none is.
HWAVEIN LastOpened();
// Whether capture is running on the device (between waveInStart and waveInStop/Reset).
bool IsCapturing(HWAVEIN handle);

// Hands `count` bytes to the device as if it had captured them. They are taken only while the
// device is capturing and not lost; returns how many were taken (0 or `count`). Bytes taken while
// no header is queued wait in the ring for the next header; bytes beyond the ring's room (at least
// one second of audio, and 64 KiB) are dropped and counted in waveInGetStatistics, as are bytes a
// waveInReset finds still waiting.
// Feed whole sample frames.
size_t Feed(HWAVEIN handle, const void* bytes, size_t count);

// Feeds `fill` bytes, exactly as many as the first `headers` queued headers still lack (less what
// is already waiting to be taken), so that once the wake-up is dispatched those headers are full
// and handed back with MM_WIM_DATA. Returns the bytes fed; 0 when nothing is queued or the device
// is not capturing.
size_t CompleteBuffers(HWAVEIN handle, size_t headers = 1, BYTE fill = 0);

// Makes the device behave as if unplugged: once the wake-up is dispatched the service hands back
// every queued header, stops delivering, and refuses waveInStart and waveInAddBuffer. Returns
// false for a handle that is not an open scripted device.
bool LoseDevice(HWAVEIN handle);

}  // namespace ScriptedWaveIn
