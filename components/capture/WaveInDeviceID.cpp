#include "WaveInDeviceID.h"

const TClassInfo& TWaveInDeviceID::StaticClass() {
  using T = TWaveInDeviceID;
  static const TClassInfo info =
      TClassBuilder<T>("TWaveInDeviceID", &TPersistent::StaticClass())
          .Factory()
          .Integer(
              "id", [](const T& o) { return o.DeviceNumber(); },
              [](T& o, int64_t v) { o.SetDeviceNumber(static_cast<int32_t>(v)); }, -1)
          .Event("OnChange", [](const T& o) { return o.OnChange().Assigned(); })
          .Build();
  return info;
}

TWaveInDeviceID::TWaveInDeviceID() : FDeviceNumber(-1) {}

void TWaveInDeviceID::Assign(TPersistent* Source) {
  if (!Source || !Source->InheritsFrom(StaticClass())) return;
  SetDeviceNumber(static_cast<const TWaveInDeviceID*>(Source)->DeviceNumber());
}

void TWaveInDeviceID::SetDeviceNumber(int32_t value) {
  if (value == FDeviceNumber) return;
  FDeviceNumber = value;
  Change();
}

void TWaveInDeviceID::Change() {
  if (FChangeEvent) FChangeEvent(this);
}
