#include <gtest/gtest.h>

#include <limits>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "AudioLineParametersProperty.h"
#include "DesignTestSupport.h"
#include "MMSystem.h"
#include "ScriptedWaveIn.h"
#include "SysUtils.h"
#include "WaveInDiagnostics.h"

namespace {

using design_test::TChangeLog;
using design_test::TCountingDesigner;
using design_test::TFakeCaps;
using design_test::TSettingsHolder;
using design_test::ValuesOf;

// ---- The text form ----

struct Written {
  TAudioParameters parameters;
  const char* text;
};

void PrintTo(const Written& row, std::ostream* os) { *os << '"' << row.text << '"'; }

class AudioParametersWrittenTest : public testing::TestWithParam<Written> {};

TEST_P(AudioParametersWrittenTest, WritesTheTextAndReadsItBack) {
  const Written& row = GetParam();
  EXPECT_EQ(FormatAudioParameters(row.parameters), row.text);
  EXPECT_EQ(ParseAudioParameters(row.text), row.parameters);
}

INSTANTIATE_TEST_SUITE_P(Forms, AudioParametersWrittenTest,
                         testing::Values(Written{{11025, 1, 8}, "11025Hz, mono, 8bit"},
                                         Written{{22050, 2, 16}, "22050Hz, stereo, 16bit"},
                                         Written{{44100, 4, 16}, "44100Hz, 4channels, 16bit"},
                                         Written{{8000, 0, 8}, "8000Hz, 0channels, 8bit"},
                                         Written{{-5, -3, -8}, "-5Hz, -3channels, -8bit"},
                                         Written{{std::numeric_limits<int32_t>::min(), 6,
                                                  std::numeric_limits<int32_t>::max()},
                                                 "-2147483648Hz, 6channels, 2147483647bit"}));

struct Accepted {
  const char* text;
  TAudioParameters parameters;
};

void PrintTo(const Accepted& row, std::ostream* os) { *os << '"' << row.text << '"'; }

class AudioParametersAcceptedTest : public testing::TestWithParam<Accepted> {};

TEST_P(AudioParametersAcceptedTest, Reads) {
  EXPECT_EQ(ParseAudioParameters(GetParam().text), GetParam().parameters);
}

INSTANTIATE_TEST_SUITE_P(Forms, AudioParametersAcceptedTest,
                         testing::Values(Accepted{"44100Hz, stereo, 16bit", {44100, 2, 16}},
                                         Accepted{"22050HZ,MONO,8BIT", {22050, 1, 8}},
                                         Accepted{"44100, 2, 16", {44100, 2, 16}},
                                         Accepted{"  11025hz ,  stereo , 8bit  ", {11025, 2, 8}},
                                         Accepted{"\t8000Hz,\tmono\r,16bit\n", {8000, 1, 16}},
                                         Accepted{"44100Hz, 4, 16bit", {44100, 4, 16}},
                                         Accepted{"44100Hz, 4channels, 16bit", {44100, 4, 16}},
                                         Accepted{"48000Hz, 6CHANNELS, 24bit", {48000, 6, 24}},
                                         Accepted{"11025Hz, mono, 8bit, extra", {11025, 1, 8}},
                                         Accepted{"11025hz and more, 1, 8bits", {11025, 1, 8}},
                                         Accepted{"0Hz, 0, 0bit", {0, 0, 0}},
                                         Accepted{"-1Hz, -2, -3bit", {-1, -2, -3}}));

struct Refused {
  const char* text;
  bool badlyFormed;  // otherwise the conversion error of `culprit`
  const char* culprit;
};

void PrintTo(const Refused& row, std::ostream* os) { *os << '"' << row.text << '"'; }

class AudioParametersRefusedTest : public testing::TestWithParam<Refused> {};

TEST_P(AudioParametersRefusedTest, RaisesTheFirstFault) {
  const Refused& row = GetParam();
  if (row.badlyFormed) {
    try {
      ParseAudioParameters(row.text);
      FAIL() << "accepted '" << row.text << "'";
    } catch (const EPropertyError& e) {
      EXPECT_EQ(e.Message, "Badly formed audio parameters");
    }
    return;
  }
  // The conversion error is StrToInt's own, passed on unchanged.
  std::string expected;
  try {
    StrToInt(row.culprit);
  } catch (const EConvertError& e) {
    expected = e.Message;
  }
  ASSERT_FALSE(expected.empty()) << "StrToInt accepts '" << row.culprit << "'";
  try {
    ParseAudioParameters(row.text);
    FAIL() << "accepted '" << row.text << "'";
  } catch (const EConvertError& e) {
    EXPECT_EQ(e.Message, expected);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Faults, AudioParametersRefusedTest,
    testing::Values(Refused{"", true, nullptr}, Refused{"44100Hz, stereo", true, nullptr},
                    Refused{"44100Hz stereo 16bit", true, nullptr}, Refused{"x, y", true, nullptr},
                    // Letters before the suffix stay in front of "hz".
                    Refused{"44.1kHz, mono, 8bit", false, "44.1k"},
                    // The part before a suffix is not trimmed again.
                    Refused{"44100 hz, mono, 8bit", false, "44100 "},
                    Refused{"44100Hz, 4 channels, 8bit", false, "4 "},
                    Refused{"44100Hz, quad, 8bit", false, "quad"},
                    Refused{"11025Hz, mono, 8, extra", false, "8, extra"},
                    // Fields are converted rate, channels, bits: the first bad one is reported.
                    Refused{"fast, slow, loud", false, "fast"},
                    Refused{"11025Hz, many, loud", false, "many"},
                    Refused{"11025Hz, mono, loud", false, "loud"}));

// ---- The editor ----

class AudioLineParametersPropertyTest : public testing::Test {
 protected:
  std::unique_ptr<TAudioLineParametersProperty> EditorFor(std::vector<TPersistent*> components) {
    return std::make_unique<TAudioLineParametersProperty>(&designer,
                                                          PropertyOf(components, "Format"));
  }
  static void SetFormat(TSettingsHolder& holder, int32_t rate, int32_t channels, int32_t bits) {
    holder.Format()->SetSamplesPerSec(rate);
    holder.Format()->SetChannelCount(channels);
    holder.Format()->SetSampleBits(bits);
  }

  TCountingDesigner designer;
  TSettingsHolder holder;
  TChangeLog changes;
};

TEST_F(AudioLineParametersPropertyTest, ShowsTheObjectsFormat) {
  auto editor = EditorFor({&holder});
  EXPECT_EQ(editor->GetValue(), "11025Hz, mono, 8bit");
  SetFormat(holder, 44100, 4, 16);
  EXPECT_EQ(editor->GetValue(), "44100Hz, 4channels, 16bit");
  // Showing the value neither builds the preset list nor tells the designer anything.
  EXPECT_EQ(editor->PresetList(), nullptr);
  EXPECT_EQ(designer.modified, 0);
}

TEST_F(AudioLineParametersPropertyTest, SetsEachChangedValueInOrderThenCallsModified) {
  auto editor = EditorFor({&holder});
  changes.Watch(holder.Format());
  editor->SetValue("44100Hz, stereo, 16bit");
  EXPECT_EQ(changes.log, (std::vector<std::string>{"44100/1/8", "44100/2/8", "44100/2/16"}));
  EXPECT_EQ(designer.modified, 1);
  EXPECT_EQ(editor->GetValue(), "44100Hz, stereo, 16bit");

  // The text the editor shows for other channel counts is taken back.
  changes.log.clear();
  editor->SetValue("44100Hz, 4channels, 16bit");
  EXPECT_EQ(holder.Format()->Channels(), 4);
  EXPECT_EQ(changes.log, (std::vector<std::string>{"44100/4/16"}));
  EXPECT_EQ(designer.modified, 2);
}

TEST_F(AudioLineParametersPropertyTest, TheSameValuesFireNothingButStillCallModified) {
  auto editor = EditorFor({&holder});
  changes.Watch(holder.Format());
  editor->SetValue("11025HZ , MONO , 8BIT");
  EXPECT_TRUE(changes.log.empty());
  EXPECT_EQ(designer.modified, 1);
}

TEST_F(AudioLineParametersPropertyTest, AFailedParseChangesNothing) {
  SetFormat(holder, 22050, 2, 16);
  auto editor = EditorFor({&holder});
  changes.Watch(holder.Format());
  // Rate and channels would change; only the last field is bad.
  EXPECT_THROW(editor->SetValue("44100Hz, mono, sixteen"), EConvertError);
  EXPECT_THROW(editor->SetValue("44100Hz, mono"), EPropertyError);
  EXPECT_THROW(editor->SetValue("44100Hz, many, 8bit"), EConvertError);
  EXPECT_EQ(editor->GetValue(), "22050Hz, stereo, 16bit");
  EXPECT_TRUE(changes.log.empty());
  EXPECT_EQ(designer.modified, 0);
}

TEST_F(AudioLineParametersPropertyTest, OnlyTheFirstSelectedComponentIsWritten) {
  TSettingsHolder second;
  auto editor = EditorFor({&holder, &second});
  editor->SetValue("44100Hz, stereo, 16bit");
  EXPECT_EQ(holder.Format()->Frequency(), 44100);
  EXPECT_EQ(second.Format()->Frequency(), 11025);
  EXPECT_EQ(second.Format()->Channels(), 1);
  EXPECT_EQ(second.Format()->BitsPerSample(), 8);
}

TEST_F(AudioLineParametersPropertyTest, NoObjectRaisesNotFoundButOnlyAfterParsing) {
  holder.Clear();
  auto editor = EditorFor({&holder});
  EXPECT_THROW(
      {
        try {
          editor->GetValue();
        } catch (const EPropertyError& e) {
          EXPECT_EQ(e.Message, "Audio stream parameters not found");
          throw;
        }
      },
      EPropertyError);
  // A bad text is reported as such: the object is looked for only once the text has been read.
  EXPECT_THROW(editor->SetValue("11025Hz, mono, loud"), EConvertError);
  try {
    editor->SetValue("11025Hz, mono, 8bit");
    FAIL() << "set a missing object";
  } catch (const EPropertyError& e) {
    EXPECT_EQ(e.Message, "Audio stream parameters not found");
  }
  EXPECT_EQ(designer.modified, 0);
}

TEST_F(AudioLineParametersPropertyTest, AttributesAreTheClassEditorsWithAValueList) {
  auto editor = EditorFor({&holder});
  TClassProperty base(nullptr, PropertyOf({&holder}, "Format"));
  EXPECT_EQ(editor->GetAttributes(), base.GetAttributes() + TPropertyAttributes{paValueList});
  EXPECT_TRUE(editor->GetAttributes().Contains(paSubProperties));
  EXPECT_FALSE(editor->GetAttributes().Contains(paSortList));

  // The sub-properties are the object's published ones.
  std::vector<std::string> names;
  editor->GetProperties([&names](std::unique_ptr<TPropertyEditor> sub) {
    names.push_back(sub->GetName() + "=" + sub->GetValue());
  });
  EXPECT_EQ(names, (std::vector<std::string>{"Channels=1", "Frequency=11025", "BitsPerSample=8",
                                             "OnChange="}));
}

// ---- Presets ----

const std::vector<std::string> kAllPresets = {
    "11025Hz, mono, 8bit",    "11025Hz, mono, 16bit",   "11025Hz, stereo, 8bit",
    "11025Hz, stereo, 16bit", "22050Hz, mono, 8bit",    "22050Hz, mono, 16bit",
    "22050Hz, stereo, 8bit",  "22050Hz, stereo, 16bit", "44100Hz, mono, 8bit",
    "44100Hz, mono, 16bit",   "44100Hz, stereo, 8bit",  "44100Hz, stereo, 16bit"};

struct PresetRow {
  DWORD formats;
  std::vector<std::string> expected;
};

class AudioParameterPresetsTest : public testing::TestWithParam<PresetRow> {};

TEST_P(AudioParameterPresetsTest, FollowTheFlagsInTableOrder) {
  EXPECT_EQ(AudioParameterPresets(GetParam().formats), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Flags, AudioParameterPresetsTest,
    testing::Values(PresetRow{0x0FFF, kAllPresets}, PresetRow{0xFFFFFFFF, kAllPresets},
                    PresetRow{0, {}},
                    // Not the numeric order of the flags: 1S08 (0x2) comes after 1M16 (0x4).
                    PresetRow{WAVE_FORMAT_1S08 | WAVE_FORMAT_1M16,
                              {"11025Hz, mono, 16bit", "11025Hz, stereo, 8bit"}},
                    PresetRow{WAVE_FORMAT_4S16 | WAVE_FORMAT_2M08,
                              {"22050Hz, mono, 8bit", "44100Hz, stereo, 16bit"}}));

TEST_F(AudioLineParametersPropertyTest, PresetsComeFromTheWaveMapperAndAreBuiltOnce) {
  TFakeCaps caps;
  caps.count = 2;
  caps.devices[-1] = {"Mapper", WAVE_FORMAT_2M16 | WAVE_FORMAT_1M08};
  caps.devices[0] = {"Zero", 0x0FFF};
  auto editor = EditorFor({&holder});
  EXPECT_EQ(ValuesOf(*editor),
            (std::vector<std::string>{"11025Hz, mono, 8bit", "22050Hz, mono, 16bit"}));
  EXPECT_EQ(editor->PresetCount(), 2);
  caps.devices[-1].formats = 0x0FFF;
  EXPECT_EQ(ValuesOf(*editor).size(), 2u);
  EXPECT_EQ(caps.queried, (std::vector<int>{-1}));

  // A new editor asks again.
  auto fresh = EditorFor({&holder});
  EXPECT_EQ(ValuesOf(*fresh), kAllPresets);
}

TEST_F(AudioLineParametersPropertyTest, AFailedQueryLeavesTheListEmptyForGood) {
  TFakeCaps caps;  // no wave mapper: its query fails
  auto editor = EditorFor({&holder});
  EXPECT_TRUE(ValuesOf(*editor).empty());
  ASSERT_NE(editor->PresetList(), nullptr);
  EXPECT_EQ(editor->PresetCount(), 0);
  caps.devices[-1] = {"Mapper", 0x0FFF};
  EXPECT_TRUE(ValuesOf(*editor).empty());
  EXPECT_EQ(caps.capsCalls, 1);
}

TEST_F(AudioLineParametersPropertyTest, PresetsThroughTheWaveInService) {
  ASSERT_TRUE(SelectWaveInBackend("scripted"));
  ScriptedWaveIn::Reset();
  ScriptedWaveIn::Device device;
  device.formats = WAVE_FORMAT_4S16 | WAVE_FORMAT_4M16;
  ScriptedWaveIn::SetDevices({device});
  auto editor = EditorFor({&holder});
  EXPECT_EQ(ValuesOf(*editor),
            (std::vector<std::string>{"44100Hz, mono, 16bit", "44100Hz, stereo, 16bit"}));
  ValuesOf(*editor);
  EXPECT_EQ(ScriptedWaveIn::Counters().devCaps, 1u);

  // No recording device: the wave mapper's query fails, and nothing is offered.
  ScriptedWaveIn::SetDevices({});
  auto none = EditorFor({&holder});
  EXPECT_TRUE(ValuesOf(*none).empty());
  ScriptedWaveIn::Reset();
}

TEST_F(AudioLineParametersPropertyTest, ChoosingAPresetReadsBackTheSameText) {
  TFakeCaps caps;
  caps.devices[-1] = {"Mapper", 0x0FFF};
  auto editor = EditorFor({&holder});
  for (const std::string& preset : ValuesOf(*editor)) {
    editor->SetValue(preset);
    EXPECT_EQ(editor->GetValue(), preset);
  }
}

}  // namespace
