#pragma once
// The recording format a capture component asks for: channels, sample rate and sample width.
//
// A plain settings object, owned by the component that publishes it (TRecorder.Quality) and
// streamed as its sub-properties (Quality.Channels = 2). Values are stored exactly as given: no
// range checks, so 0, negative counts or unusual widths are kept, and the component that uses
// them decides what they mean. GUI thread only.
#include <cstdint>

#include "Classes.h"

class TAudioLineParameters : public TPersistent {
  VCL_CLASS(TAudioLineParameters)
  // Mono, 11025 samples per second, 8 bits. Raises no OnChange.
  TAudioLineParameters();

  // Copies Channels, Frequency and BitsPerSample from another TAudioLineParameters (or a class
  // derived from it), each through its setter, so OnChange is raised once for every value that
  // differs, in that order. Any other source, null included, is ignored: nothing changes and
  // nothing is raised.
  void Assign(TPersistent* Source) override;

  int32_t Channels() const { return FChannelCount; }
  int32_t Frequency() const { return FSamplesPerSec; }  // samples per second
  int32_t BitsPerSample() const { return FSampleBits; }

  // Each setter returns at once when the value is already held; otherwise stores it and then
  // raises OnChange. An exception from the handler propagates with the new value already stored.
  void SetChannelCount(int32_t value);
  void SetSamplesPerSec(int32_t value);
  void SetSampleBits(int32_t value);

  const TNotifyEvent& OnChange() const { return FChangeEvent; }
  void SetOnChange(TNotifyEvent value) { FChangeEvent = value; }

 protected:
  // Raises OnChange(this) when assigned.
  virtual void Change();

 private:
  int32_t FChannelCount;
  int32_t FSamplesPerSec;
  int32_t FSampleBits;
  TNotifyEvent FChangeEvent;
};
