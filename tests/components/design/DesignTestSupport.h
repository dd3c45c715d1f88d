#pragma once
// Shared by the design-time tests: a designer host that counts Modified() calls, a component that
// publishes the two settings objects under other names than the recorder's, and a scripted source
// of wave-in capabilities for the answers the service never gives.
#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "AudioLineParameters.h"
#include "Classes.h"
#include "DesignIntf.h"
#include "WaveInCaps.h"
#include "WaveInDeviceID.h"

namespace design_test {

class TCountingDesigner : public IDesigner {
 public:
  void Modified() override { ++modified; }
  TComponent* Root() const override { return root; }
  int modified = 0;
  TComponent* root = nullptr;
};

// A component that is not a recorder but publishes both settings objects ("Format", "Input"), so
// that the editors are seen to work on any component and under any property name.
class TSettingsHolder : public TComponent {
  VCL_CLASS(TSettingsHolder)
  explicit TSettingsHolder(TComponent* owner = nullptr) : TComponent(owner) {}
  ~TSettingsHolder() override {
    delete FFormat;
    delete FInput;
  }
  TAudioLineParameters* Format() const { return FFormat; }
  TWaveInDeviceID* Input() const { return FInput; }
  // Drops the objects, so that the properties refer to none.
  void Clear() {
    delete FFormat;
    delete FInput;
    FFormat = nullptr;
    FInput = nullptr;
  }

 private:
  TAudioLineParameters* FFormat = new TAudioLineParameters();
  TWaveInDeviceID* FInput = new TWaveInDeviceID();
};

inline const TClassInfo& TSettingsHolder::StaticClass() {
  static const TClassInfo info =
      TClassBuilder<TSettingsHolder>("TSettingsHolder", &TComponent::StaticClass())
          .Factory()
          .Object<TAudioLineParameters>(
              "Format", [](const TSettingsHolder& o) { return o.Format(); }, nullptr)
          .Object<TWaveInDeviceID>(
              "Input", [](const TSettingsHolder& o) { return o.Input(); }, nullptr)
          .Build();
  return info;
}

// Records every OnChange of the objects it watches, as "<what>:<value>" entries.
class TChangeLog : public TObject {
 public:
  void Changed(TObject* sender) {
    if (auto* q = dynamic_cast<TAudioLineParameters*>(sender))
      log.push_back(std::to_string(q->Frequency()) + "/" + std::to_string(q->Channels()) + "/" +
                    std::to_string(q->BitsPerSample()));
    else if (auto* d = dynamic_cast<TWaveInDeviceID*>(sender))
      log.push_back("id " + std::to_string(d->DeviceNumber()));
  }
  void Watch(TAudioLineParameters* q) { q->SetOnChange(MakeMethod<&TChangeLog::Changed>(this)); }
  void Watch(TWaveInDeviceID* d) { d->SetOnChange(MakeMethod<&TChangeLog::Changed>(this)); }
  std::vector<std::string> log;
};

// A scripted system: `devices` maps a device number (-1 for the wave mapper) to its name and
// formats; a number listed in `failing` (or absent from `devices`) fails its capability query.
// Installed for the life of the object; counts the queries.
class TFakeCaps : public Sample::IWaveInCaps {
 public:
  struct Device {
    std::string name;
    DWORD formats = 0;
  };

  TFakeCaps() : FPrevious(Sample::SetWaveInCaps(this)) {}
  ~TFakeCaps() override { Sample::SetWaveInCaps(FPrevious); }
  TFakeCaps(const TFakeCaps&) = delete;
  TFakeCaps& operator=(const TFakeCaps&) = delete;

  UINT GetNumDevs() override {
    ++numDevsCalls;
    return count;
  }
  MMRESULT GetDevCaps(UINT_PTR id, WAVEINCAPSA* caps, UINT size) override {
    ++capsCalls;
    const int number = id == WAVE_MAPPER ? -1 : static_cast<int>(id);
    queried.push_back(number);
    auto it = devices.find(number);
    if (it == devices.end() || size != sizeof(WAVEINCAPSA)) return MMSYSERR_BADDEVICEID;
    WAVEINCAPSA out{};
    it->second.name.copy(out.szPname, sizeof out.szPname - 1);
    out.dwFormats = it->second.formats;
    *caps = out;
    return MMSYSERR_NOERROR;
  }

  UINT count = 0;
  std::map<int, Device> devices;
  int numDevsCalls = 0;
  int capsCalls = 0;
  std::vector<int> queried;

 private:
  Sample::IWaveInCaps* FPrevious;
};

// The entries an editor's GetValues reports, in order.
inline std::vector<std::string> ValuesOf(TPropertyEditor& editor) {
  std::vector<std::string> values;
  editor.GetValues([&values](const std::string& s) { values.push_back(s); });
  return values;
}

}  // namespace design_test
