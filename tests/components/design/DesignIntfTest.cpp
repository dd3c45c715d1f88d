#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "DesignIntf.h"
#include "DesignTestSupport.h"
#include "Graphics.h"
#include "SysUtils.h"

namespace {

using design_test::TCountingDesigner;
using design_test::ValuesOf;

const TTypeInfo TypeMode = EnumType("TMode", {"mdOff", "mdSlow", "mdFast"});
const TTypeInfo TypeFlag = EnumType("TFlag", {"fgRed", "fgBlue", "fgLoud"});
const TTypeInfo TypeFlags = SetType("TFlags", TypeFlag);

class TStyle : public TPersistent {
  VCL_CLASS(TStyle)
  int32_t weight = 400;
};

const TClassInfo& TStyle::StaticClass() {
  static const TClassInfo info =
      TClassBuilder<TStyle>("TStyle", &TPersistent::StaticClass())
          .Integer(
              "Weight", [](const TStyle& o) { return o.weight; },
              [](TStyle& o, int64_t v) { o.weight = static_cast<int32_t>(v); }, 400)
          .Build();
  return info;
}

// A component with a published property of every kind.
class TGadget : public TComponent {
  VCL_CLASS(TGadget)
  explicit TGadget(TComponent* owner = nullptr) : TComponent(owner) {}
  ~TGadget() override { delete style; }
  int32_t size = 10;
  int64_t mode = 0;
  bool enabled = false;
  int64_t flags = 0;
  std::string title;
  TColor tint = clBlack;
  TGadget* partner = nullptr;
  TStyle* style = new TStyle();
  TNotifyEvent onPing;
};

const TClassInfo& TGadget::StaticClass() {
  using T = TGadget;
  static const TClassInfo info =
      TClassBuilder<T>("TGadget", &TComponent::StaticClass())
          .Factory()
          .Integer(
              "Size", [](const T& o) { return o.size; },
              [](T& o, int64_t v) { o.size = static_cast<int32_t>(v); }, 10)
          .Ordinal(
              "Mode", TypeMode, [](const T& o) { return o.mode; },
              [](T& o, int64_t v) { o.mode = v; })
          .Boolean(
              "Enabled", [](const T& o) { return o.enabled; },
              [](T& o, int64_t v) { o.enabled = v != 0; })
          .Ordinal(
              "Flags", TypeFlags, [](const T& o) { return o.flags; },
              [](T& o, int64_t v) { o.flags = v; })
          .String(
              "Title", [](const T& o) { return o.title; },
              [](T& o, const std::string& v) { o.title = v; })
          .Ordinal(
              "Tint", TypeColor, [](const T& o) { return o.tint; },
              [](T& o, int64_t v) { o.tint = static_cast<TColor>(v); })
          .Object<TGadget>(
              "Partner", [](const T& o) { return o.partner; },
              [](T& o, TObject* v) { o.partner = static_cast<TGadget*>(v); })
          .Object<TStyle>(
              "Style", [](const T& o) { return o.style; }, nullptr)
          .Ordinal(
              "Count", TypeInteger, [](const T&) { return 3; }, nullptr)
          .Event("OnPing", [](const T& o) { return o.onPing.Assigned(); })
          .Build();
  return info;
}

class TSubGadget : public TGadget {
  VCL_CLASS(TSubGadget)
  using TGadget::TGadget;
};

const TClassInfo& TSubGadget::StaticClass() {
  static const TClassInfo info =
      TClassBuilder<TSubGadget>("TSubGadget", &TGadget::StaticClass()).Factory().Build();
  return info;
}

// Another class with some of the same property names, for multiple selection.
class TWidget : public TComponent {
  VCL_CLASS(TWidget)
  explicit TWidget(TComponent* owner = nullptr) : TComponent(owner) {}
  int32_t size = 1;
  std::string title;
};

const TClassInfo& TWidget::StaticClass() {
  using T = TWidget;
  static const TClassInfo info = TClassBuilder<T>("TWidget", &TComponent::StaticClass())
                                     .String(
                                         "Title", [](const T& o) { return o.title; },
                                         [](T& o, const std::string& v) { o.title = v; })
                                     .Integer(
                                         "Size", [](const T& o) { return o.size; },
                                         [](T& o, int64_t v) { o.size = static_cast<int32_t>(v); })
                                     .Build();
  return info;
}

class TPingTarget : public TObject {
 public:
  void Ping(TObject*) {}
};

class DesignIntfTest : public testing::Test {
 protected:
  DesignIntfTest() {
    ResetDesignRegistry();
    first.SetName("First");
    second.SetName("Second");
    widget.SetName("Widget");
    designer.root = &form;
  }
  ~DesignIntfTest() override { ResetDesignRegistry(); }

  std::unique_ptr<TPropertyEditor> Editor(const std::string& name,
                                          std::vector<TPersistent*> objects = {}) {
    if (objects.empty()) objects = {first_ptr};
    return CreatePropertyEditor(&designer, PropertyOf(objects, name));
  }

  TCountingDesigner designer;
  TComponent form{nullptr};
  TGadget& first = *new TGadget(&form);
  TGadget& second = *new TGadget(&form);
  TWidget& widget = *new TWidget(&form);
  TPersistent* first_ptr = &first;
};

// ---- Default editors ----

struct KindRow {
  const char* property;
  const char* initial;  // GetValue on a new gadget
  const char* typed;    // given to SetValue
  const char* shown;    // GetValue afterwards
};

class DefaultEditorTest : public DesignIntfTest, public testing::WithParamInterface<KindRow> {};

TEST_P(DefaultEditorTest, ShowsAndSetsTheValue) {
  const KindRow& row = GetParam();
  auto editor = Editor(row.property);
  EXPECT_EQ(editor->GetName(), row.property);
  EXPECT_EQ(editor->GetValue(), row.initial);
  editor->SetValue(row.typed);
  EXPECT_EQ(editor->GetValue(), row.shown);
  EXPECT_EQ(designer.modified, 1);
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, DefaultEditorTest,
    testing::Values(KindRow{"Size", "10", "-42", "-42"}, KindRow{"Size", "10", "$10", "16"},
                    KindRow{"Mode", "mdOff", "MDFAST", "mdFast"},
                    KindRow{"Enabled", "False", "true", "True"},
                    KindRow{"Flags", "[]", "[fgLoud, fgRed]", "[fgRed, fgLoud]"},
                    KindRow{"Title", "", "  two words ", "  two words "},
                    KindRow{"Tint", "clBlack", "clRed", "clRed"},
                    KindRow{"Tint", "clBlack", "255", "clRed"},
                    KindRow{"Partner", "", "second", "Second"}),
    [](const testing::TestParamInfo<KindRow>& info) {
      return std::string(info.param.property) + std::to_string(info.index);
    });

struct RefusedRow {
  const char* property;
  const char* typed;
};

class RefusedValueTest : public DesignIntfTest, public testing::WithParamInterface<RefusedRow> {};

TEST_P(RefusedValueTest, RaisesAndChangesNothing) {
  first.partner = &second;
  auto editor = Editor(GetParam().property);
  const std::string before = editor->GetValue();
  EXPECT_THROW(editor->SetValue(GetParam().typed), EPropertyError);
  EXPECT_EQ(editor->GetValue(), before);
  EXPECT_EQ(designer.modified, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Faults, RefusedValueTest,
    testing::Values(RefusedRow{"Size", "ten"}, RefusedRow{"Size", "99999999999"},
                    RefusedRow{"Mode", "mdWarp"}, RefusedRow{"Enabled", "yes"},
                    RefusedRow{"Flags", "[fgGreen]"}, RefusedRow{"Flags", "fgRed"},
                    RefusedRow{"Tint", "clNoSuchColour"}, RefusedRow{"Partner", "Nobody"},
                    // A component of another class.
                    RefusedRow{"Partner", "Widget"},
                    // Read-only, object and event properties take no text.
                    RefusedRow{"Count", "4"}, RefusedRow{"Style", "(TStyle)"},
                    RefusedRow{"OnPing", "Handler"}));

TEST_F(DesignIntfTest, AttributesAndValueListsFollowTheKind) {
  EXPECT_EQ(ValuesOf(*Editor("Mode")), (std::vector<std::string>{"mdOff", "mdSlow", "mdFast"}));
  EXPECT_EQ(ValuesOf(*Editor("Enabled")), (std::vector<std::string>{"False", "True"}));
  // Only components of the property's class, the form's root included when it qualifies.
  EXPECT_EQ(ValuesOf(*Editor("Partner")), (std::vector<std::string>{"First", "Second"}));
  const std::vector<std::string> colours = ValuesOf(*Editor("Tint"));
  EXPECT_NE(std::find(colours.begin(), colours.end(), "clRed"), colours.end());
  EXPECT_NE(std::find(colours.begin(), colours.end(), "clBtnFace"), colours.end());

  EXPECT_TRUE(Editor("Tint")->GetAttributes().Contains(paValueList));
  EXPECT_FALSE(Editor("Size")->GetAttributes().Contains(paValueList));
  EXPECT_TRUE(Editor("Count")->GetAttributes().Contains(paReadOnly));
  EXPECT_FALSE(Editor("Size")->GetAttributes().Contains(paReadOnly));
  EXPECT_TRUE(Editor("Flags")->GetAttributes().Contains(paSubProperties));
  EXPECT_EQ(Editor("Style")->GetAttributes(),
            (TPropertyAttributes{paMultiSelect, paSubProperties, paReadOnly}));
  EXPECT_EQ(Editor("Style")->GetValue(), "(TStyle)");
  EXPECT_EQ(Editor("OnPing")->GetValue(), "");
  TPingTarget target;
  first.onPing = MakeMethod<&TPingTarget::Ping>(&target);
  EXPECT_EQ(Editor("OnPing")->GetValue(), "(assigned)");
  EXPECT_EQ(Editor("Count")->GetValue(), "3");
}

TEST_F(DesignIntfTest, ClassAndSetEditorsOfferSubProperties) {
  auto style = Editor("Style");
  std::vector<std::unique_ptr<TPropertyEditor>> subs;
  style->GetProperties(
      [&subs](std::unique_ptr<TPropertyEditor> e) { subs.push_back(std::move(e)); });
  ASSERT_EQ(subs.size(), 1u);
  EXPECT_EQ(subs[0]->GetName(), "Weight");
  subs[0]->SetValue("700");
  EXPECT_EQ(first.style->weight, 700);
  EXPECT_EQ(designer.modified, 1);

  auto flags = Editor("Flags");
  subs.clear();
  flags->GetProperties(
      [&subs](std::unique_ptr<TPropertyEditor> e) { subs.push_back(std::move(e)); });
  ASSERT_EQ(subs.size(), 3u);
  EXPECT_EQ(subs[2]->GetName(), "fgLoud");
  EXPECT_EQ(subs[2]->GetValue(), "False");
  subs[2]->SetValue("True");
  subs[0]->SetValue("True");
  EXPECT_EQ(flags->GetValue(), "[fgRed, fgLoud]");
  subs[0]->SetValue("False");
  EXPECT_EQ(first.flags, 4);
  EXPECT_THROW(subs[1]->SetValue("maybe"), EPropertyError);
  EXPECT_EQ(designer.modified, 4);
}

TEST_F(DesignIntfTest, EditStepsThroughTheValueList) {
  auto enabled = Editor("Enabled");
  enabled->Edit();
  EXPECT_TRUE(first.enabled);
  enabled->Edit();
  EXPECT_FALSE(first.enabled);
  auto mode = Editor("Mode");
  first.mode = 2;
  mode->Edit();
  EXPECT_EQ(first.mode, 0);
  // Without a value list Edit does nothing.
  Editor("Size")->Edit();
  EXPECT_EQ(first.size, 10);
  EXPECT_EQ(designer.modified, 3);
}

TEST_F(DesignIntfTest, SeveralComponentsShareTheCommonProperties) {
  second.size = 20;
  std::vector<std::string> names;
  GetComponentProperties(
      &designer, {&first, &widget},
      [&names](std::unique_ptr<TPropertyEditor> e) { names.push_back(e->GetName()); });
  // In the first component's order; Size and Title are the only names with the same type.
  EXPECT_EQ(names, (std::vector<std::string>{"Size", "Title"}));

  auto size = Editor("Size", {&first, &second});
  EXPECT_FALSE(size->AllEqual());
  size->SetValue("7");
  EXPECT_TRUE(size->AllEqual());
  EXPECT_EQ(first.size, 7);
  EXPECT_EQ(second.size, 7);
  auto mixed = Editor("Title", {&first, &widget});
  mixed->SetValue("same");
  EXPECT_EQ(widget.title, "same");
  EXPECT_TRUE(mixed->AllEqual());
  EXPECT_EQ(designer.modified, 2);
}

TEST_F(DesignIntfTest, ModifiedWithoutADesignerIsHarmless) {
  auto editor = CreatePropertyEditor(nullptr, PropertyOf({&first}, "Size"));
  editor->SetValue("3");
  EXPECT_EQ(first.size, 3);
  EXPECT_THROW(PropertyOf({&first}, "NoSuchProperty"), EPropertyError);
  EXPECT_THROW(TPropertyEditor(nullptr, {}), EPropertyError);
}

// ---- Editor bindings ----

class TEditorA : public TIntegerProperty {
 public:
  using TIntegerProperty::TIntegerProperty;
};
class TEditorB : public TIntegerProperty {
 public:
  using TIntegerProperty::TIntegerProperty;
};

struct Binding {
  const TTypeInfo* type;
  const TClassInfo* cls;
  const char* name;
  char editor;  // 'A' or 'B'
};

struct LookupRow {
  const char* what;
  std::vector<Binding> bindings;  // registered in this order
  const TClassInfo* component;
  const char* property;  // of TGadget
  char expected;         // 'A', 'B' or '-' for none
};

class EditorLookupTest : public testing::TestWithParam<LookupRow> {
 protected:
  void SetUp() override { ResetDesignRegistry(); }
  void TearDown() override { ResetDesignRegistry(); }
};

TEST_P(EditorLookupTest, TheMostSpecificBindingWins) {
  const LookupRow& row = GetParam();
  for (const Binding& b : row.bindings)
    RegisterPropertyEditor(
        b.type, b.cls, b.name,
        b.editor == 'A' ? PropertyEditorClass<TEditorA>() : PropertyEditorClass<TEditorB>());
  const TPropInfo* prop = TGadget::StaticClass().FindProperty(row.property);
  ASSERT_NE(prop, nullptr);
  const TPropertyEditorRegistration* found = FindPropertyEditor(*row.component, *prop);
  char got = '-';
  if (found) got = found->EditorClass == PropertyEditorClass<TEditorA>() ? 'A' : 'B';
  EXPECT_EQ(got, row.expected) << row.what;
}

const TTypeInfo* const kInt = &TypeInteger;
const TTypeInfo* const kStyle = &TStyle::StaticClass().Type;
const TTypeInfo* const kPersistent = &TPersistent::StaticClass().Type;
const TClassInfo* const kGadget = &TGadget::StaticClass();
const TClassInfo* const kSub = &TSubGadget::StaticClass();
const TClassInfo* const kComponent = &TComponent::StaticClass();

INSTANTIATE_TEST_SUITE_P(
    Rules, EditorLookupTest,
    testing::Values(
        LookupRow{"any class, any name", {{kInt, nullptr, "", 'A'}}, kGadget, "Size", 'A'},
        LookupRow{"another type", {{kInt, nullptr, "", 'A'}}, kGadget, "Title", '-'},
        LookupRow{"another name", {{kInt, nullptr, "Width", 'A'}}, kGadget, "Size", '-'},
        LookupRow{"a descendant's binding", {{kInt, kSub, "", 'A'}}, kGadget, "Size", '-'},
        LookupRow{"ancestor beats any",
                  {{kInt, kComponent, "", 'A'}, {kInt, nullptr, "", 'B'}},
                  kGadget,
                  "Size",
                  'A'},
        LookupRow{"exact beats ancestor",
                  {{kInt, kSub, "", 'A'}, {kInt, kGadget, "", 'B'}},
                  kSub,
                  "Size",
                  'A'},
        LookupRow{"closer ancestor beats farther",
                  {{kInt, kGadget, "", 'A'}, {kInt, kComponent, "", 'B'}},
                  kSub,
                  "Size",
                  'A'},
        LookupRow{"named beats any name",
                  {{kInt, nullptr, "size", 'A'}, {kInt, nullptr, "", 'B'}},
                  kGadget,
                  "Size",
                  'A'},
        LookupRow{"the class counts before the name",
                  {{kInt, kGadget, "", 'A'}, {kInt, nullptr, "Size", 'B'}},
                  kGadget,
                  "Size",
                  'A'},
        LookupRow{"later wins a tie",
                  {{kInt, nullptr, "", 'A'}, {kInt, nullptr, "", 'B'}},
                  kGadget,
                  "Size",
                  'B'},
        LookupRow{"an ancestor class type applies",
                  {{kPersistent, nullptr, "", 'A'}},
                  kGadget,
                  "Style",
                  'A'},
        LookupRow{"the exact type beats an ancestor type",
                  {{kStyle, nullptr, "", 'A'}, {kPersistent, nullptr, "", 'B'}},
                  kGadget,
                  "Style",
                  'A'}),
    [](const testing::TestParamInfo<LookupRow>& info) {
      return "Rule" + std::to_string(info.index);
    });

TEST_F(DesignIntfTest, CreatePropertyEditorUsesTheBindingElseTheDefault) {
  RegisterPropertyEditor(&TypeInteger, &TGadget::StaticClass(), "Size",
                         PropertyEditorClass<TEditorA>());
  EXPECT_NE(dynamic_cast<TEditorA*>(Editor("Size").get()), nullptr);
  EXPECT_EQ(dynamic_cast<TEditorA*>(Editor("Size", {&widget}).get()), nullptr);
  EXPECT_NE(dynamic_cast<TColorProperty*>(Editor("Tint").get()), nullptr);
  EXPECT_NE(dynamic_cast<TComponentProperty*>(Editor("Partner").get()), nullptr);
  EXPECT_NE(dynamic_cast<TClassProperty*>(Editor("Style").get()), nullptr);
  EXPECT_THROW(RegisterPropertyEditor(nullptr, nullptr, "", PropertyEditorClass<TEditorA>()),
               EPropertyError);
}

// ---- Palette ----

TEST_F(DesignIntfTest, PalettePagesKeepTheOrderOfRegistration) {
  EXPECT_EQ(FindClass("TWidget"), nullptr);
  RegisterComponents("Tools", {&TWidget::StaticClass(), &TGadget::StaticClass()});
  RegisterComponents("Extra", {&TSubGadget::StaticClass()});
  RegisterComponents("Tools", {&TSubGadget::StaticClass(), &TWidget::StaticClass()});
  const std::vector<TPalettePage>& pages = PalettePages();
  ASSERT_EQ(pages.size(), 2u);
  EXPECT_EQ(pages[0].Name, "Tools");
  EXPECT_EQ(pages[0].Classes,
            (std::vector<const TClassInfo*>{&TWidget::StaticClass(), &TGadget::StaticClass()}));
  EXPECT_EQ(pages[1].Name, "Extra");
  EXPECT_EQ(pages[1].Classes, (std::vector<const TClassInfo*>{&TSubGadget::StaticClass()}));
  EXPECT_EQ(FindClass("TWidget"), &TWidget::StaticClass());
  ResetDesignRegistry();
  EXPECT_TRUE(PalettePages().empty());
}

}  // namespace
