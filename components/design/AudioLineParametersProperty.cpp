#include "AudioLineParametersProperty.h"

#include "AudioLineParameters.h"
#include "MMSystem.h"
#include "SysUtils.h"
#include "WaveInCaps.h"

namespace {

constexpr const char* kBadlyFormed = "Badly formed audio parameters";
constexpr const char* kNotFound = "Audio stream parameters not found";

// `text` up to the first occurrence of `suffix`, or all of it when the suffix is absent.
std::string CutAt(const std::string& text, const std::string& suffix) {
  const int32_t at = Pos(suffix, text);
  return at > 0 ? text.substr(0, at - 1) : text;
}

struct Preset {
  DWORD flag;
  TAudioParameters parameters;
};

// In the order offered: by rate, mono before stereo, 8 before 16 bits.
constexpr Preset kPresets[] = {
    {WAVE_FORMAT_1M08, {11025, 1, 8}}, {WAVE_FORMAT_1M16, {11025, 1, 16}},
    {WAVE_FORMAT_1S08, {11025, 2, 8}}, {WAVE_FORMAT_1S16, {11025, 2, 16}},
    {WAVE_FORMAT_2M08, {22050, 1, 8}}, {WAVE_FORMAT_2M16, {22050, 1, 16}},
    {WAVE_FORMAT_2S08, {22050, 2, 8}}, {WAVE_FORMAT_2S16, {22050, 2, 16}},
    {WAVE_FORMAT_4M08, {44100, 1, 8}}, {WAVE_FORMAT_4M16, {44100, 1, 16}},
    {WAVE_FORMAT_4S08, {44100, 2, 8}}, {WAVE_FORMAT_4S16, {44100, 2, 16}},
};

}  // namespace

std::string FormatAudioParameters(const TAudioParameters& parameters) {
  std::string channels;
  if (parameters.Channels == 1)
    channels = "mono";
  else if (parameters.Channels == 2)
    channels = "stereo";
  else
    channels = IntToStr(parameters.Channels) + "channels";
  return IntToStr(parameters.Frequency) + "Hz, " + channels + ", " +
         IntToStr(parameters.BitsPerSample) + "bit";
}

TAudioParameters ParseAudioParameters(const std::string& text) {
  const int32_t first = Pos(",", text);
  if (first == 0) throw EPropertyError(kBadlyFormed);
  const std::string rate = AnsiLowerCase(Trim(text.substr(0, first - 1)));
  const std::string rest = text.substr(first);
  const int32_t second = Pos(",", rest);
  if (second == 0) throw EPropertyError(kBadlyFormed);
  const std::string channels = AnsiLowerCase(Trim(rest.substr(0, second - 1)));
  const std::string bits = AnsiLowerCase(Trim(rest.substr(second)));

  TAudioParameters parsed;
  parsed.Frequency = StrToInt(CutAt(rate, "hz"));
  if (channels == "mono")
    parsed.Channels = 1;
  else if (channels == "stereo")
    parsed.Channels = 2;
  else
    parsed.Channels = StrToInt(CutAt(channels, "channels"));
  parsed.BitsPerSample = StrToInt(CutAt(bits, "bit"));
  return parsed;
}

std::vector<std::string> AudioParameterPresets(DWORD formats) {
  std::vector<std::string> texts;
  for (const Preset& preset : kPresets)
    if (formats & preset.flag) texts.push_back(FormatAudioParameters(preset.parameters));
  return texts;
}

TAudioLineParametersProperty::~TAudioLineParametersProperty() {
  TAudioLineParametersProperty::FreePresetList();
}

TAudioLineParameters* TAudioLineParametersProperty::EditedObject() {
  TObject* object = GetOrdValue();
  if (!object || !object->InheritsFrom(TAudioLineParameters::StaticClass())) return nullptr;
  return static_cast<TAudioLineParameters*>(object);
}

TPropertyAttributes TAudioLineParametersProperty::GetAttributes() {
  return TClassProperty::GetAttributes() + TPropertyAttributes{paValueList};
}

std::string TAudioLineParametersProperty::GetValue() {
  TAudioLineParameters* object = EditedObject();
  if (!object) throw EPropertyError(kNotFound);
  return FormatAudioParameters({object->Frequency(), object->Channels(), object->BitsPerSample()});
}

void TAudioLineParametersProperty::GetValues(const TGetStrProc& Proc) {
  BuildPresetList();
  for (int32_t i = 0; i < FPresetCount; ++i) Proc(FPresetList->Strings(i));
}

void TAudioLineParametersProperty::SetValue(const std::string& Value) {
  const TAudioParameters parsed = ParseAudioParameters(Value);
  TAudioLineParameters* object = EditedObject();
  if (!object) throw EPropertyError(kNotFound);
  object->SetSamplesPerSec(parsed.Frequency);
  object->SetChannelCount(parsed.Channels);
  object->SetSampleBits(parsed.BitsPerSample);
  Modified();
}

void TAudioLineParametersProperty::BuildPresetList() {
  if (FPresetList) return;
  FPresetList = new TStringList();
  FPresetCount = 0;
  WAVEINCAPSA caps{};
  if (Sample::WaveInCaps().GetDevCaps(WAVE_MAPPER, &caps, sizeof caps) != MMSYSERR_NOERROR) return;
  for (const std::string& text : AudioParameterPresets(caps.dwFormats)) FPresetList->Add(text);
  FPresetCount = FPresetList->Count();
}

void TAudioLineParametersProperty::FreePresetList() {
  delete FPresetList;
  FPresetList = nullptr;
  FPresetCount = 0;
}
