#include "AudioLineParameters.h"

const TClassInfo& TAudioLineParameters::StaticClass() {
  using T = TAudioLineParameters;
  static const TClassInfo info =
      TClassBuilder<T>("TAudioLineParameters", &TPersistent::StaticClass())
          .Factory()
          .Integer(
              "Channels", [](const T& o) { return o.Channels(); },
              [](T& o, int64_t v) { o.SetChannelCount(static_cast<int32_t>(v)); }, 1)
          .Integer(
              "Frequency", [](const T& o) { return o.Frequency(); },
              [](T& o, int64_t v) { o.SetSamplesPerSec(static_cast<int32_t>(v)); }, 11025)
          .Integer(
              "BitsPerSample", [](const T& o) { return o.BitsPerSample(); },
              [](T& o, int64_t v) { o.SetSampleBits(static_cast<int32_t>(v)); }, 8)
          .Event("OnChange", [](const T& o) { return o.OnChange().Assigned(); })
          .Build();
  return info;
}

TAudioLineParameters::TAudioLineParameters()
    : FChannelCount(1), FSamplesPerSec(11025), FSampleBits(8) {}

void TAudioLineParameters::Assign(TPersistent* Source) {
  if (!Source || !Source->InheritsFrom(StaticClass())) return;
  const auto* src = static_cast<const TAudioLineParameters*>(Source);
  SetChannelCount(src->Channels());
  SetSamplesPerSec(src->Frequency());
  SetSampleBits(src->BitsPerSample());
}

void TAudioLineParameters::SetChannelCount(int32_t value) {
  if (value == FChannelCount) return;
  FChannelCount = value;
  Change();
}

void TAudioLineParameters::SetSamplesPerSec(int32_t value) {
  if (value == FSamplesPerSec) return;
  FSamplesPerSec = value;
  Change();
}

void TAudioLineParameters::SetSampleBits(int32_t value) {
  if (value == FSampleBits) return;
  FSampleBits = value;
  Change();
}

void TAudioLineParameters::Change() {
  if (FChangeEvent) FChangeEvent(this);
}
