#pragma once
// The designer's editor of TWaveInDeviceID properties (TRecorder.Device, or any other property of
// that type): shows the chosen recording device as its list entry and offers every recording
// device of the system in a drop-down list.
//
// Entry text: the device number, ": ", "[default] " for the wave mapper (number -1, the system's
// default device) only, then the device's name as its capabilities give it: "-1: [default] Mic",
// "0: Mic", "1: USB Headset".
//
// The list holds one entry for each device that answers its capability query, the wave mapper
// first, then devices 0, 1, ... in order; each entry is kept with its device number, so a device
// whose query fails is left out without shifting the others. The list is built once per editor,
// on the first GetValue or GetValues, and never refreshed.
#include <cstdint>
#include <string>
#include <vector>

#include "Classes.h"
#include "DesignIntf.h"

class TWaveInDeviceID;

class TWaveInDeviceIDProperty : public TOrdinalProperty {
 public:
  using TOrdinalProperty::TOrdinalProperty;
  // Deletes the device list.
  ~TWaveInDeviceIDProperty() override;

  // Exactly {paValueList, paMultiSelect, paReadOnly, paRevertable}: the list keeps device order,
  // and there are no sub-properties.
  TPropertyAttributes GetAttributes() override;
  // The entry of the first edited component's device number; the wave mapper's entry when that
  // number has none (out of range, or its query failed); the bare number when the wave mapper has
  // no entry either. The stored number is never changed here. EPropertyError "Wave-in device not
  // found" when the property refers to no TWaveInDeviceID object.
  std::string GetValue() override;
  // Reports every entry of the list, in device order.
  void GetValues(const TGetStrProc& Proc) override;
  // Reads the device number from the text before the first ":" (the whole text when there is
  // none; not trimmed) with StrToInt, whose EConvertError passes on unchanged, and stores it
  // through SetDeviceNumber (OnChange only on a real change) on every edited component; then
  // calls Modified(). Any integer is stored, listed or not; the list is not built. A failure
  // changes nothing and does not call Modified().
  void SetValue(const std::string& Value) override;

  // Builds the list unless it exists already: FDeviceCount from the service's device count, then
  // one entry per device number from -1 to FDeviceCount - 1 whose capability query succeeds.
  virtual void BuildDeviceList();

  // The list as built so far (null before the first GetValue or GetValues), for inspection.
  const TStringList* DeviceList() const { return FDeviceList; }
  // The device number of each entry of DeviceList, in the same order.
  const std::vector<int32_t>& DeviceNumbers() const { return FDeviceNumbers; }
  int32_t DeviceCount() const { return FDeviceCount; }

 private:
  TWaveInDeviceID* DeviceObjectAt(int index) const;

  TStringList* FDeviceList = nullptr;   // owned; null until first needed
  std::vector<int32_t> FDeviceNumbers;  // the device number of each entry of FDeviceList
  int32_t FDeviceCount = 0;             // devices as the service counts them; 0 until built
};
