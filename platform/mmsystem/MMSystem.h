#pragma once
// The wave-in service: recording devices, their formats and capture into caller-owned buffers.
//
// Every call is made on the GUI thread. Notices (MM_WIM_OPEN, MM_WIM_DATA, MM_WIM_CLOSE) are posted
// to the window named at open, with the device handle in wParam and, for MM_WIM_DATA, the header
// in lParam. Device 0 and WAVE_MAPPER (-1) are the system's default recording device; the other
// devices follow as 1, 2, ... A result of 0 (MMSYSERR_NOERROR) means success.
#include "Windows.h"

using MMRESULT = UINT;
struct HWAVEIN__;
using HWAVEIN = HWAVEIN__*;

constexpr MMRESULT MMSYSERR_NOERROR = 0;
constexpr MMRESULT MMSYSERR_ERROR = 1;
constexpr MMRESULT MMSYSERR_BADDEVICEID = 2;
constexpr MMRESULT MMSYSERR_NOTENABLED = 3;
constexpr MMRESULT MMSYSERR_ALLOCATED = 4;
constexpr MMRESULT MMSYSERR_INVALHANDLE = 5;
constexpr MMRESULT MMSYSERR_NODRIVER = 6;
constexpr MMRESULT MMSYSERR_NOMEM = 7;
constexpr MMRESULT MMSYSERR_INVALFLAG = 10;
constexpr MMRESULT MMSYSERR_INVALPARAM = 11;
constexpr MMRESULT WAVERR_BADFORMAT = 32;
constexpr MMRESULT WAVERR_STILLPLAYING = 33;
constexpr MMRESULT WAVERR_UNPREPARED = 34;

constexpr UINT WAVE_MAPPER = static_cast<UINT>(-1);

// waveInOpen flags.
constexpr DWORD WAVE_FORMAT_QUERY = 0x00000001;
constexpr DWORD CALLBACK_NULL = 0x00000000;
constexpr DWORD CALLBACK_WINDOW = 0x00010000;

constexpr WORD WAVE_FORMAT_PCM = 1;

// WAVEHDR.dwFlags.
constexpr DWORD WHDR_DONE = 0x00000001;
constexpr DWORD WHDR_PREPARED = 0x00000002;
constexpr DWORD WHDR_BEGINLOOP = 0x00000004;
constexpr DWORD WHDR_ENDLOOP = 0x00000008;
constexpr DWORD WHDR_INQUEUE = 0x00000010;

// Notices.
constexpr UINT MM_WIM_OPEN = 0x3BE;
constexpr UINT MM_WIM_CLOSE = 0x3BF;
constexpr UINT MM_WIM_DATA = 0x3C0;

// WAVEINCAPS.dwFormats: the standard formats a device delivers (rate, mono/stereo, 8/16 bits).
constexpr DWORD WAVE_FORMAT_1M08 = 0x00000001;
constexpr DWORD WAVE_FORMAT_1S08 = 0x00000002;
constexpr DWORD WAVE_FORMAT_1M16 = 0x00000004;
constexpr DWORD WAVE_FORMAT_1S16 = 0x00000008;
constexpr DWORD WAVE_FORMAT_2M08 = 0x00000010;
constexpr DWORD WAVE_FORMAT_2S08 = 0x00000020;
constexpr DWORD WAVE_FORMAT_2M16 = 0x00000040;
constexpr DWORD WAVE_FORMAT_2S16 = 0x00000080;
constexpr DWORD WAVE_FORMAT_4M08 = 0x00000100;
constexpr DWORD WAVE_FORMAT_4S08 = 0x00000200;
constexpr DWORD WAVE_FORMAT_4M16 = 0x00000400;
constexpr DWORD WAVE_FORMAT_4S16 = 0x00000800;

// MMTIME.wType.
constexpr UINT TIME_MS = 0x0001;
constexpr UINT TIME_SAMPLES = 0x0002;
constexpr UINT TIME_BYTES = 0x0004;

#pragma pack(push, 1)
struct WAVEFORMATEX {
  WORD wFormatTag;
  WORD nChannels;
  DWORD nSamplesPerSec;
  DWORD nAvgBytesPerSec;
  WORD nBlockAlign;
  WORD wBitsPerSample;
  WORD cbSize;
};
#pragma pack(pop)
static_assert(sizeof(WAVEFORMATEX) == 18);

struct WAVEHDR {
  char* lpData;             // the caller's buffer
  DWORD dwBufferLength;     // its length in bytes
  DWORD dwBytesRecorded;    // bytes the device wrote, valid once WHDR_DONE is set
  DWORD_PTR dwUser;
  DWORD dwFlags;            // WHDR_*
  DWORD dwLoops;
  WAVEHDR* lpNext;          // reserved for the service
  DWORD_PTR reserved;       // reserved for the service
};

struct WAVEINCAPSA {
  WORD wMid;
  WORD wPid;
  UINT vDriverVersion;
  char szPname[32];  // NUL-terminated device name, cut to fit without splitting a UTF-8 character
  DWORD dwFormats;   // WAVE_FORMAT_* flags
  WORD wChannels;
  WORD wReserved1;
};
static_assert(sizeof(WAVEINCAPSA) == 48);

struct MMTIME {
  UINT wType;
  union {
    DWORD ms;
    DWORD sample;
    DWORD cb;
    DWORD ticks;
    struct {
      BYTE hour, min, sec, frame, fps, dummy;
      BYTE pad[2];
    } smpte;
    struct {
      DWORD songptrpos;
    } midi;
  } u;
};

UINT waveInGetNumDevs();
MMRESULT waveInGetDevCapsA(UINT_PTR deviceId, WAVEINCAPSA* caps, UINT capsSize);
MMRESULT waveInOpen(HWAVEIN* handle, UINT deviceId, const WAVEFORMATEX* format, DWORD_PTR callback,
                    DWORD_PTR instance, DWORD flags);
MMRESULT waveInClose(HWAVEIN handle);
MMRESULT waveInPrepareHeader(HWAVEIN handle, WAVEHDR* header, UINT headerSize);
MMRESULT waveInUnprepareHeader(HWAVEIN handle, WAVEHDR* header, UINT headerSize);
MMRESULT waveInAddBuffer(HWAVEIN handle, WAVEHDR* header, UINT headerSize);
MMRESULT waveInStart(HWAVEIN handle);
MMRESULT waveInStop(HWAVEIN handle);
MMRESULT waveInReset(HWAVEIN handle);
MMRESULT waveInGetPosition(HWAVEIN handle, MMTIME* time, UINT timeSize);
