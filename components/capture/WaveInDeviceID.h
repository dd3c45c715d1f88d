#pragma once
// Which recording device a capture component asks about: the service's device number, -1 (the
// default device, as WAVE_MAPPER) unless set.
//
// A plain settings object owned by the component that publishes it (TRecorder.Device) and
// streamed as its sub-property (Device.id = 1). The number is stored as given, never checked.
// GUI thread only.
#include <cstdint>

#include "Classes.h"

class TWaveInDeviceID : public TPersistent {
  VCL_CLASS(TWaveInDeviceID)
  // Device -1. Raises no OnChange.
  TWaveInDeviceID();

  // Copies the device number from another TWaveInDeviceID (or derived) through its setter; any
  // other source, null included, is ignored without an error.
  void Assign(TPersistent* Source) override;

  int32_t DeviceNumber() const { return FDeviceNumber; }
  // Returns at once when the number is already held; otherwise stores it, then raises OnChange.
  // An exception from the handler propagates with the new number already stored.
  void SetDeviceNumber(int32_t value);

  const TNotifyEvent& OnChange() const { return FChangeEvent; }
  void SetOnChange(TNotifyEvent value) { FChangeEvent = value; }

 protected:
  // Raises OnChange(this) when assigned.
  virtual void Change();

 private:
  int32_t FDeviceNumber;
  TNotifyEvent FChangeEvent;
};
