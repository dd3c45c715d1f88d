#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "DesignTestSupport.h"
#include "MMSystem.h"
#include "ScriptedWaveIn.h"
#include "SysUtils.h"
#include "WaveInDeviceIDProperty.h"
#include "WaveInDiagnostics.h"

namespace {

using design_test::TChangeLog;
using design_test::TCountingDesigner;
using design_test::TFakeCaps;
using design_test::TSettingsHolder;
using design_test::ValuesOf;

using Entries = std::vector<std::string>;

// A system with two devices named A and B and a wave mapper named M.
class WaveInDeviceIDPropertyTest : public testing::Test {
 protected:
  WaveInDeviceIDPropertyTest() {
    caps.count = 2;
    caps.devices[-1] = {"M"};
    caps.devices[0] = {"A"};
    caps.devices[1] = {"B"};
  }
  std::unique_ptr<TWaveInDeviceIDProperty> EditorFor(std::vector<TPersistent*> components) {
    return std::make_unique<TWaveInDeviceIDProperty>(&designer, PropertyOf(components, "Input"));
  }
  std::string Shown(int32_t id) {
    holder.Input()->SetDeviceNumber(id);
    return EditorFor({&holder})->GetValue();
  }

  TFakeCaps caps;
  TCountingDesigner designer;
  TSettingsHolder holder;
  TChangeLog changes;
};

TEST_F(WaveInDeviceIDPropertyTest, ListsTheMapperThenEveryDeviceInOrder) {
  auto editor = EditorFor({&holder});
  EXPECT_EQ(editor->DeviceList(), nullptr);
  EXPECT_EQ(ValuesOf(*editor), (Entries{"-1: [default] M", "0: A", "1: B"}));
  EXPECT_EQ(editor->DeviceCount(), 2);
  EXPECT_EQ(editor->GetAttributes(),
            (TPropertyAttributes{paValueList, paMultiSelect, paReadOnly, paRevertable}));
}

struct ShownRow {
  int32_t id;
  const char* entry;
};

class WaveInDeviceIDShownTest : public WaveInDeviceIDPropertyTest,
                                public testing::WithParamInterface<ShownRow> {};

TEST_P(WaveInDeviceIDShownTest, ShowsTheEntryOfTheStoredNumber) {
  EXPECT_EQ(Shown(GetParam().id), GetParam().entry);
  // Showing never changes the stored number.
  EXPECT_EQ(holder.Input()->DeviceNumber(), GetParam().id);
}

INSTANTIATE_TEST_SUITE_P(Ids, WaveInDeviceIDShownTest,
                         testing::Values(ShownRow{-1, "-1: [default] M"}, ShownRow{0, "0: A"},
                                         ShownRow{1, "1: B"},
                                         // Out of range: the default entry.
                                         ShownRow{2, "-1: [default] M"},
                                         ShownRow{5, "-1: [default] M"},
                                         ShownRow{-7, "-1: [default] M"}));

struct ChosenRow {
  const char* text;
  int32_t stored;
};

class WaveInDeviceIDChosenTest : public WaveInDeviceIDPropertyTest,
                                 public testing::WithParamInterface<ChosenRow> {};

TEST_P(WaveInDeviceIDChosenTest, StoresTheNumberBeforeTheFirstColon) {
  holder.Input()->SetDeviceNumber(0);
  auto editor = EditorFor({&holder});
  editor->SetValue(GetParam().text);
  EXPECT_EQ(holder.Input()->DeviceNumber(), GetParam().stored);
  EXPECT_EQ(designer.modified, 1);
}

INSTANTIATE_TEST_SUITE_P(Texts, WaveInDeviceIDChosenTest,
                         testing::Values(ChosenRow{"1: B", 1}, ChosenRow{"-1: [default] M", -1},
                                         ChosenRow{"0", 0}, ChosenRow{"7", 7},
                                         ChosenRow{"3: Mixer: Line In", 3}, ChosenRow{"2:", 2}));

TEST_F(WaveInDeviceIDPropertyTest, AnUnlistedNumberIsStoredAndShownAsTheDefault) {
  auto editor = EditorFor({&holder});
  editor->SetValue("7");
  EXPECT_EQ(holder.Input()->DeviceNumber(), 7);
  EXPECT_EQ(editor->GetValue(), "-1: [default] M");
  EXPECT_EQ(holder.Input()->DeviceNumber(), 7);
}

TEST_F(WaveInDeviceIDPropertyTest, ANameWithAColonIsReadUpToTheFirstColon) {
  caps.devices[1] = {"USB: Headset: Left"};
  auto editor = EditorFor({&holder});
  const Entries entries = ValuesOf(*editor);
  ASSERT_EQ(entries.size(), 3u);
  EXPECT_EQ(entries[2], "1: USB: Headset: Left");
  editor->SetValue(entries[2]);
  EXPECT_EQ(holder.Input()->DeviceNumber(), 1);
  EXPECT_EQ(editor->GetValue(), "1: USB: Headset: Left");
}

TEST_F(WaveInDeviceIDPropertyTest, ChoosingTheStoredEntryFiresNothingButCallsModified) {
  holder.Input()->SetDeviceNumber(1);
  changes.Watch(holder.Input());
  auto editor = EditorFor({&holder});
  editor->SetValue("1: B");
  EXPECT_TRUE(changes.log.empty());
  EXPECT_EQ(designer.modified, 1);
  editor->SetValue("0: A");
  EXPECT_EQ(changes.log, (Entries{"id 0"}));
}

TEST_F(WaveInDeviceIDPropertyTest, ABadNumberPassesTheConversionErrorOnAndChangesNothing) {
  changes.Watch(holder.Input());
  auto editor = EditorFor({&holder});
  // The text before the colon is not trimmed, so " 1" would fail as well as a name.
  for (const char* text : {"B", " 1: B", "", ": A", "1 : B"}) {
    std::string expected;
    const std::string head = std::string(text).substr(0, std::string(text).find(':'));
    try {
      StrToInt(head);
    } catch (const EConvertError& e) {
      expected = e.Message;
    }
    ASSERT_FALSE(expected.empty()) << head;
    try {
      editor->SetValue(text);
      ADD_FAILURE() << "accepted '" << text << "'";
    } catch (const EConvertError& e) {
      EXPECT_EQ(e.Message, expected);
    }
  }
  EXPECT_EQ(holder.Input()->DeviceNumber(), -1);
  EXPECT_TRUE(changes.log.empty());
  EXPECT_EQ(designer.modified, 0);
}

TEST_F(WaveInDeviceIDPropertyTest, EverySelectedComponentIsSet) {
  TSettingsHolder second;
  second.Input()->SetDeviceNumber(1);
  auto editor = EditorFor({&holder, &second});
  EXPECT_FALSE(editor->AllEqual());  // two objects: the ordinal base compares their identity
  editor->SetValue("0: A");
  EXPECT_EQ(holder.Input()->DeviceNumber(), 0);
  EXPECT_EQ(second.Input()->DeviceNumber(), 0);
  EXPECT_EQ(designer.modified, 1);
}

TEST_F(WaveInDeviceIDPropertyTest, TheListIsBuiltOnceAndSetValueDoesNotBuildIt) {
  auto editor = EditorFor({&holder});
  editor->SetValue("1");
  EXPECT_EQ(caps.capsCalls, 0);
  EXPECT_EQ(editor->GetValue(), "1: B");
  const int afterFirst = caps.capsCalls;
  EXPECT_EQ(afterFirst, 3);
  caps.devices[1] = {"Renamed"};
  caps.count = 5;
  EXPECT_EQ(ValuesOf(*editor), (Entries{"-1: [default] M", "0: A", "1: B"}));
  EXPECT_EQ(editor->GetValue(), "1: B");
  EXPECT_EQ(caps.capsCalls, afterFirst);
  EXPECT_EQ(caps.numDevsCalls, 1);
}

// A device whose capability query fails gets no entry; the others keep their own numbers.
TEST_F(WaveInDeviceIDPropertyTest, AFailedQueryMidListShiftsNothing) {
  caps.count = 3;
  caps.devices.erase(0);
  caps.devices[2] = {"C"};
  auto editor = EditorFor({&holder});
  EXPECT_EQ(ValuesOf(*editor), (Entries{"-1: [default] M", "1: B", "2: C"}));
  EXPECT_EQ(editor->DeviceNumbers(), (std::vector<int32_t>{-1, 1, 2}));
  EXPECT_EQ(Shown(1), "1: B");
  EXPECT_EQ(Shown(2), "2: C");
  EXPECT_EQ(Shown(0), "-1: [default] M");  // listed number without an entry: the default
  // Choosing an entry stores its own number.
  auto chooser = EditorFor({&holder});
  chooser->SetValue(ValuesOf(*chooser)[1]);
  EXPECT_EQ(holder.Input()->DeviceNumber(), 1);
}

TEST_F(WaveInDeviceIDPropertyTest, WithoutTheMappersEntryTheNumberIsShownBare) {
  caps.devices.erase(-1);
  auto editor = EditorFor({&holder});
  EXPECT_EQ(ValuesOf(*editor), (Entries{"0: A", "1: B"}));
  EXPECT_EQ(Shown(0), "0: A");
  EXPECT_EQ(Shown(5), "5");
  EXPECT_EQ(Shown(-1), "-1");
}

TEST_F(WaveInDeviceIDPropertyTest, NoDevicesListsAtMostTheMapper) {
  caps.count = 0;
  caps.devices.erase(0);
  caps.devices.erase(1);
  auto editor = EditorFor({&holder});
  EXPECT_EQ(ValuesOf(*editor), (Entries{"-1: [default] M"}));
  EXPECT_EQ(editor->DeviceCount(), 0);
  EXPECT_EQ(caps.queried, (std::vector<int>{-1}));
  caps.devices.erase(-1);
  EXPECT_TRUE(ValuesOf(*EditorFor({&holder})).empty());
}

TEST_F(WaveInDeviceIDPropertyTest, NoObjectRaisesAndSetsNothing) {
  TSettingsHolder empty;
  empty.Clear();
  EXPECT_THROW(EditorFor({&empty})->GetValue(), EPropertyError);
  auto editor = EditorFor({&holder, &empty});
  EXPECT_THROW(editor->SetValue("1"), EPropertyError);
  EXPECT_EQ(holder.Input()->DeviceNumber(), -1);
  EXPECT_EQ(designer.modified, 0);
}

// The same editor over the wave-in service, whose wave mapper is the default device (device 0).
TEST(WaveInDeviceIDPropertyServiceTest, ListsTheScriptedDevices) {
  ASSERT_TRUE(SelectWaveInBackend("scripted"));
  ScriptedWaveIn::Reset();
  ScriptedWaveIn::Device first, second;
  first.name = "Built-in Microphone";
  second.name = "A name far longer than the thirty-one characters of a record";
  ScriptedWaveIn::SetDevices({first, second});
  TSettingsHolder holder;
  holder.Input()->SetDeviceNumber(1);
  TWaveInDeviceIDProperty editor(nullptr, PropertyOf({&holder}, "Input"));
  const Entries entries = ValuesOf(editor);
  ASSERT_EQ(entries.size(), 3u);
  EXPECT_EQ(entries[0], "-1: [default] Built-in Microphone");
  EXPECT_EQ(entries[1], "0: Built-in Microphone");
  EXPECT_EQ(entries[2], "1: " + second.name.substr(0, 31));
  EXPECT_EQ(editor.GetValue(), entries[2]);
  EXPECT_EQ(ScriptedWaveIn::Counters().devCaps, 3u);
  ScriptedWaveIn::Reset();
}

}  // namespace
