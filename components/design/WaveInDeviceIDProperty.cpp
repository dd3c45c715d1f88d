#include "WaveInDeviceIDProperty.h"

#include <algorithm>

#include "MMSystem.h"
#include "SysUtils.h"
#include "WaveInCaps.h"
#include "WaveInDeviceID.h"

namespace {

constexpr int32_t kMapper = -1;

}  // namespace

TWaveInDeviceIDProperty::~TWaveInDeviceIDProperty() {
  delete FDeviceList;
  FDeviceList = nullptr;
}

TWaveInDeviceID* TWaveInDeviceIDProperty::DeviceObjectAt(int index) const {
  TObject* object = GetObjValueAt(index);
  if (!object || !object->InheritsFrom(TWaveInDeviceID::StaticClass())) return nullptr;
  return static_cast<TWaveInDeviceID*>(object);
}

TPropertyAttributes TWaveInDeviceIDProperty::GetAttributes() {
  return {paValueList, paMultiSelect, paReadOnly, paRevertable};
}

void TWaveInDeviceIDProperty::BuildDeviceList() {
  if (FDeviceList) return;
  FDeviceList = new TStringList();
  FDeviceNumbers.clear();
  Sample::IWaveInCaps& service = Sample::WaveInCaps();
  FDeviceCount = static_cast<int32_t>(service.GetNumDevs());
  for (int32_t n = kMapper; n < FDeviceCount; ++n) {
    WAVEINCAPSA caps{};
    const UINT_PTR id = n == kMapper ? WAVE_MAPPER : static_cast<UINT_PTR>(n);
    if (service.GetDevCaps(id, &caps, sizeof caps) != MMSYSERR_NOERROR) continue;
    caps.szPname[sizeof caps.szPname - 1] = '\0';
    FDeviceList->Add(IntToStr(n) + ": " + (n == kMapper ? "[default] " : "") + caps.szPname);
    FDeviceNumbers.push_back(n);
  }
}

std::string TWaveInDeviceIDProperty::GetValue() {
  BuildDeviceList();
  TWaveInDeviceID* device = DeviceObjectAt(0);
  if (!device) throw EPropertyError("Wave-in device not found");
  const int32_t stored = device->DeviceNumber();
  auto entry = std::find(FDeviceNumbers.begin(), FDeviceNumbers.end(), stored);
  if (entry == FDeviceNumbers.end())
    entry = std::find(FDeviceNumbers.begin(), FDeviceNumbers.end(), kMapper);
  if (entry == FDeviceNumbers.end()) return IntToStr(stored);
  return FDeviceList->Strings(static_cast<int>(entry - FDeviceNumbers.begin()));
}

void TWaveInDeviceIDProperty::GetValues(const TGetStrProc& Proc) {
  BuildDeviceList();
  for (int i = 0; i < FDeviceList->Count(); ++i) Proc(FDeviceList->Strings(i));
}

void TWaveInDeviceIDProperty::SetValue(const std::string& Value) {
  const int32_t colon = Pos(":", Value);
  const int32_t number = StrToInt(colon > 0 ? Value.substr(0, colon - 1) : Value);
  std::vector<TWaveInDeviceID*> devices;
  for (int i = 0; i < PropCount(); ++i) {
    TWaveInDeviceID* device = DeviceObjectAt(i);
    if (!device) throw EPropertyError("Wave-in device not found");
    devices.push_back(device);
  }
  for (TWaveInDeviceID* device : devices) device->SetDeviceNumber(number);
  Modified();
}
