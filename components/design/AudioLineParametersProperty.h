#pragma once
// The designer's editor of TAudioLineParameters properties (TRecorder.Quality, or any other
// property of that type): shows the capture format as one line of text, takes typed or chosen
// lines, and offers the standard formats of the system's default recording device as presets.
//
// Written form: "<rate>Hz, <channels>, <bits>bit" where <channels> is "mono" for 1, "stereo" for 2
// and "<n>channels" otherwise, numbers in decimal ("44100Hz, stereo, 16bit", "8000Hz, 4channels,
// 16bit").
//
// Accepted form: three fields separated by commas; the third is everything after the second comma.
// Each field is trimmed of blanks and control characters and lower-cased, then read as
//   rate      an integer, optionally followed by "hz" (the field is cut at its first "hz");
//   channels  "mono" (1), "stereo" (2), or an integer optionally followed by "channels" (cut at its
//             first "channels");
//   bits      an integer, optionally followed by "bit" (cut at its first "bit").
// The part in front of a suffix is not trimmed again ("44100 hz" is refused). Integers are read by
// StrToInt. No range is enforced: 0 and negative numbers are kept. So every written text reads
// back to the numbers it was made from.
#include <cstdint>
#include <string>
#include <vector>

#include "Classes.h"
#include "DesignIntf.h"
#include "MMSystem.h"

class TAudioLineParameters;

struct TAudioParameters {
  int32_t Frequency = 0;  // samples per second per channel
  int32_t Channels = 0;
  int32_t BitsPerSample = 0;
  friend bool operator==(const TAudioParameters&, const TAudioParameters&) = default;
};

// The written form of a format.
std::string FormatAudioParameters(const TAudioParameters& parameters);

// Reads the accepted form. Raises EPropertyError "Badly formed audio parameters" for a text with
// fewer than two commas (before any conversion), and passes on StrToInt's EConvertError for the
// first field, in the order rate, channels, bits, that holds no integer.
TAudioParameters ParseAudioParameters(const std::string& text);

// The preset texts offered for a device reporting `formats` (WAVEINCAPS dwFormats): one per
// standard format flag that is set, ordered by rate, then mono before stereo, then 8 before 16
// bits.
std::vector<std::string> AudioParameterPresets(DWORD formats);

class TAudioLineParametersProperty : public TClassProperty {
 public:
  using TClassProperty::TClassProperty;
  // Frees the preset list.
  ~TAudioLineParametersProperty() override;

  // The class-property attributes with paValueList added (no paSortList: presets keep their
  // order).
  TPropertyAttributes GetAttributes() override;
  // The written form of the first edited component's object. EPropertyError "Audio stream
  // parameters not found" when the property refers to no TAudioLineParameters object. Does not
  // touch the preset list.
  std::string GetValue() override;
  // Builds the preset list (once per editor) and reports its entries in order.
  void GetValues(const TGetStrProc& Proc) override;
  // Parses Value (see above), then writes Frequency, Channels and BitsPerSample, in this order and
  // each through its setter (so OnChange fires once per changed value), into the object of the
  // first edited component only, and calls Modified() even when nothing changed. Every failure
  // comes before the first setter: then nothing is changed and Modified() is not called. "Audio
  // stream parameters not found" is raised only after the whole text was parsed.
  void SetValue(const std::string& Value) override;

  // Builds the preset list from the wave mapper's capabilities unless it exists already. When
  // the query fails the list stays empty, and is not built again by this editor.
  virtual void BuildPresetList();
  // Deletes the preset list; FPresetCount becomes 0.
  virtual void FreePresetList();

  // The preset list as built so far (null before the first GetValues), for inspection.
  const TStringList* PresetList() const { return FPresetList; }
  int32_t PresetCount() const { return FPresetCount; }

 private:
  // The first edited component's object, or null when it refers to none of this class.
  TAudioLineParameters* EditedObject();

  TStringList* FPresetList = nullptr;  // owned; null until first needed
  int32_t FPresetCount = 0;
};
