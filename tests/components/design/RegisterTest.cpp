// Register in a process of its own: the class registry cannot be reset, so whether Register adds
// exactly the five components to it is only visible in a fresh process.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "DesignTestSupport.h"
#include "Sample.h"

namespace {

using design_test::TSettingsHolder;

std::vector<std::string> Names(const std::vector<const TClassInfo*>& classes) {
  std::vector<std::string> names;
  for (const TClassInfo* c : classes) names.push_back(c->Name);
  return names;
}

TEST(RegisterTest, PutsTheFiveComponentsOnOnePageAndBindsBothEditors) {
  ResetDesignRegistry();
  EXPECT_EQ(FindClass("TRecorder"), nullptr);
  Sample::Register();

  const std::vector<TPalettePage>& pages = PalettePages();
  ASSERT_EQ(pages.size(), 1u);
  EXPECT_EQ(pages[0].Name, "Vornex");
  EXPECT_EQ(Names(pages[0].Classes),
            (std::vector<std::string>{"TRecorder", "TFFT", "TWaveView", "TFingerprintView",
                                      "TSpectralView"}));
  // Each palette class can be created by name; the settings classes are no palette components.
  for (const TClassInfo* c : pages[0].Classes) EXPECT_EQ(FindClass(c->Name), c);
  EXPECT_EQ(FindClass("TAudioLineParameters"), nullptr);
  EXPECT_EQ(FindClass("TWaveInDeviceID"), nullptr);

  const std::vector<TPropertyEditorRegistration>& editors = RegisteredPropertyEditors();
  ASSERT_EQ(editors.size(), 2u);
  EXPECT_EQ(editors[0].PropertyType, &TWaveInDeviceID::StaticClass().Type);
  EXPECT_EQ(editors[1].PropertyType, &TAudioLineParameters::StaticClass().Type);
  for (const TPropertyEditorRegistration& r : editors) {
    EXPECT_EQ(r.ComponentClass, nullptr);
    EXPECT_EQ(r.PropertyName, "");
  }
  ResetDesignRegistry();
}

TEST(RegisterTest, TheEditorsServeTheirTypesOnAnyComponentUnderAnyName) {
  ResetDesignRegistry();
  Sample::Register();
  TRecorder recorder(nullptr);
  TSettingsHolder holder;

  EXPECT_NE(dynamic_cast<TAudioLineParametersProperty*>(
                CreatePropertyEditor(nullptr, PropertyOf({&recorder}, "Quality")).get()),
            nullptr);
  EXPECT_NE(dynamic_cast<TWaveInDeviceIDProperty*>(
                CreatePropertyEditor(nullptr, PropertyOf({&recorder}, "Device")).get()),
            nullptr);
  EXPECT_NE(dynamic_cast<TAudioLineParametersProperty*>(
                CreatePropertyEditor(nullptr, PropertyOf({&holder}, "Format")).get()),
            nullptr);
  EXPECT_NE(dynamic_cast<TWaveInDeviceIDProperty*>(
                CreatePropertyEditor(nullptr, PropertyOf({&holder}, "Input")).get()),
            nullptr);
  // Other properties keep their default editors.
  auto bufSize = CreatePropertyEditor(nullptr, PropertyOf({&recorder}, "BufSize"));
  EXPECT_NE(dynamic_cast<TIntegerProperty*>(bufSize.get()), nullptr);
  EXPECT_EQ(bufSize->GetValue(), "256");
  ResetDesignRegistry();
}

}  // namespace
