#include "DesignIntf.h"

#include <algorithm>
#include <tuple>

#include "Graphics.h"
#include "SysUtils.h"

namespace {

struct DesignRegistry {
  std::vector<TPalettePage> pages;
  std::vector<TPropertyEditorRegistration> editors;
};

DesignRegistry& Registry() {
  static DesignRegistry registry;
  return registry;
}

// Parent steps from `cls` up to `ancestor`; -1 when `cls` does not descend from it.
int Distance(const TClassInfo* cls, const TClassInfo* ancestor) {
  int steps = 0;
  for (const TClassInfo* c = cls; c; c = c->Parent, ++steps)
    if (c == ancestor) return steps;
  return -1;
}

// How far the registered type lies from the property's type: 0 for the same type, the number of
// ancestor steps for a class type registered for an ancestor, -1 when it does not apply.
int TypeDistance(const TTypeInfo* registered, const TTypeInfo* actual) {
  if (registered == actual) return 0;
  if (registered->Kind != tkClass || actual->Kind != tkClass) return -1;
  if (!registered->ClassType || !actual->ClassType) return -1;
  return Distance(actual->ClassType, registered->ClassType);
}

bool SameText(const std::string& a, const std::string& b) {
  return AnsiLowerCase(a) == AnsiLowerCase(b);
}

}  // namespace

// ---- TPropertyEditor ----

TPropList PropertyOf(const std::vector<TPersistent*>& objects, const std::string& name) {
  TPropList props;
  for (TPersistent* object : objects) {
    if (!object) throw EPropertyError("No object to edit property " + name + " of");
    const TPropInfo* prop = object->ClassType().FindProperty(name);
    if (!prop)
      throw EPropertyError("Property " + name + " does not exist in " + object->ClassName());
    props.push_back({object, prop});
  }
  return props;
}

TPropertyEditor::TPropertyEditor(IDesigner* designer, TPropList props)
    : FDesigner(designer), FPropList(std::move(props)) {
  if (FPropList.empty()) throw EPropertyError("A property editor needs an edited component");
  for (const TInstProp& p : FPropList)
    if (!p.Instance || !p.PropInfo)
      throw EPropertyError("A property editor needs an edited property");
}

TPropertyEditor::~TPropertyEditor() = default;

void TPropertyEditor::Activate() {}

bool TPropertyEditor::AllEqual() { return PropCount() == 1; }

void TPropertyEditor::Edit() {
  if (!GetAttributes().Contains(paValueList)) return;
  std::vector<std::string> values;
  GetValues([&values](const std::string& s) { values.push_back(s); });
  if (values.empty()) return;
  const std::string current = GetValue();
  auto at = std::find(values.begin(), values.end(), current);
  if (at == values.end() || ++at == values.end()) at = values.begin();
  SetValue(*at);
}

TPropertyAttributes TPropertyEditor::GetAttributes() { return {paRevertable}; }

int32_t TPropertyEditor::GetEditLimit() { return 255; }

std::string TPropertyEditor::GetName() { return GetPropInfo()->Name; }

void TPropertyEditor::GetProperties(const TGetPropProc&) {}

std::string TPropertyEditor::GetValue() { return "(unknown)"; }

void TPropertyEditor::GetValues(const TGetStrProc&) {}

void TPropertyEditor::Initialize() {}

void TPropertyEditor::SetValue(const std::string&) { ReadOnlyError(); }

TObject* TPropertyEditor::GetObjValueAt(int index) const {
  const TInstProp& p = FPropList.at(index);
  if (p.PropInfo->PropType()->Kind != tkClass || !p.PropInfo->GetObj) return nullptr;
  return p.PropInfo->GetObj(*p.Instance);
}

void TPropertyEditor::SetObjValue(TObject* value) {
  for (const TInstProp& p : FPropList)
    if (!p.PropInfo->SetObj) ReadOnlyError();
  for (const TInstProp& p : FPropList) p.PropInfo->SetObj(*p.Instance, value);
}

int64_t TPropertyEditor::GetOrdinalAt(int index) const {
  const TInstProp& p = FPropList.at(index);
  if (!p.PropInfo->GetOrd) throw EPropertyError("Property " + p.PropInfo->Name + " is not ordinal");
  return p.PropInfo->GetOrd(*p.Instance);
}

void TPropertyEditor::SetOrdinal(int64_t value) {
  for (const TInstProp& p : FPropList)
    if (!p.PropInfo->SetOrd) ReadOnlyError();
  for (const TInstProp& p : FPropList) p.PropInfo->SetOrd(*p.Instance, value);
}

std::string TPropertyEditor::GetStrValueAt(int index) const {
  const TInstProp& p = FPropList.at(index);
  if (!p.PropInfo->GetStr)
    throw EPropertyError("Property " + p.PropInfo->Name + " is not a string");
  return p.PropInfo->GetStr(*p.Instance);
}

void TPropertyEditor::SetStrValue(const std::string& value) {
  for (const TInstProp& p : FPropList)
    if (!p.PropInfo->SetStr) ReadOnlyError();
  for (const TInstProp& p : FPropList) p.PropInfo->SetStr(*p.Instance, value);
}

void TPropertyEditor::Modified() {
  if (FDesigner) FDesigner->Modified();
}

void TPropertyEditor::ReadOnlyError() {
  throw EPropertyError("Property " + GetName() + " is read-only");
}

void TPropertyEditor::InvalidValue(const std::string& text) {
  throw EPropertyError("'" + text + "' is not a valid value for " + GetName());
}

// ---- Ordinal editors ----

bool TOrdinalProperty::AllEqual() {
  const bool objects = GetPropType()->Kind == tkClass;
  for (int i = 1; i < PropCount(); ++i) {
    if (objects ? GetObjValueAt(i) != GetObjValueAt(0) : GetOrdinalAt(i) != GetOrdinalAt(0))
      return false;
  }
  return true;
}

int32_t TOrdinalProperty::GetEditLimit() { return 63; }

TPropertyAttributes TIntegerProperty::GetAttributes() {
  TPropertyAttributes attributes{paMultiSelect, paRevertable};
  if (!GetPropType()->Idents.empty()) attributes.Include(paValueList);
  if (!GetPropInfo()->SetOrd) attributes.Include(paReadOnly);
  return attributes;
}

std::string TIntegerProperty::GetValue() { return GetPropType()->OrdToText(GetOrdinal()); }

void TIntegerProperty::GetValues(const TGetStrProc& Proc) {
  for (const auto& ident : GetPropType()->Idents) Proc(ident.first);
}

void TIntegerProperty::SetValue(const std::string& Value) {
  std::optional<int64_t> v = GetPropType()->TextToOrd(Value);
  if (!v) InvalidValue(Value);
  SetOrdinal(*v);
  Modified();
}

TPropertyAttributes TColorProperty::GetAttributes() {
  return TIntegerProperty::GetAttributes() + TPropertyAttributes{paValueList};
}

TPropertyAttributes TEnumProperty::GetAttributes() {
  TPropertyAttributes attributes{paMultiSelect, paValueList, paSortList, paRevertable};
  if (!GetPropInfo()->SetOrd) attributes.Include(paReadOnly);
  return attributes;
}

std::string TEnumProperty::GetValue() { return GetPropType()->OrdToText(GetOrdinal()); }

void TEnumProperty::GetValues(const TGetStrProc& Proc) {
  for (const std::string& name : GetPropType()->Names) Proc(name);
}

void TEnumProperty::SetValue(const std::string& Value) {
  std::optional<int64_t> v = GetPropType()->TextToOrd(Value);
  if (!v) InvalidValue(Value);
  SetOrdinal(*v);
  Modified();
}

TPropertyAttributes TSetProperty::GetAttributes() {
  return {paMultiSelect, paSubProperties, paReadOnly, paRevertable};
}

std::string TSetProperty::GetValue() { return GetPropType()->OrdToText(GetOrdinal()); }

void TSetProperty::GetProperties(const TGetPropProc& Proc) {
  const TTypeInfo* element = GetPropType()->ElementType;
  if (!element) return;
  for (size_t i = 0; i < element->Names.size() && i < 64; ++i) {
    auto editor =
        std::make_unique<TSetElementProperty>(Designer(), PropList(), static_cast<int>(i));
    editor->Initialize();
    Proc(std::move(editor));
  }
}

void TSetProperty::SetValue(const std::string& Value) {
  std::optional<int64_t> v = GetPropType()->TextToOrd(Value);
  if (!v) InvalidValue(Value);
  SetOrdinal(*v);
  Modified();
}

TSetElementProperty::TSetElementProperty(IDesigner* designer, TPropList props, int element)
    : TPropertyEditor(designer, std::move(props)), FElement(element) {}

bool TSetElementProperty::Included(int index) const {
  return (static_cast<uint64_t>(GetOrdinalAt(index)) >> FElement) & 1;
}

bool TSetElementProperty::AllEqual() {
  for (int i = 1; i < PropCount(); ++i)
    if (Included(i) != Included(0)) return false;
  return true;
}

TPropertyAttributes TSetElementProperty::GetAttributes() {
  return {paMultiSelect, paValueList, paSortList};
}

std::string TSetElementProperty::GetName() { return GetPropType()->ElementType->Names[FElement]; }

std::string TSetElementProperty::GetValue() { return Included(0) ? "True" : "False"; }

void TSetElementProperty::GetValues(const TGetStrProc& Proc) {
  Proc("False");
  Proc("True");
}

void TSetElementProperty::SetValue(const std::string& Value) {
  std::optional<int64_t> v = TypeBoolean.TextToOrd(Value);
  if (!v) InvalidValue(Value);
  for (const TInstProp& p : PropList())
    if (!p.PropInfo->SetOrd) ReadOnlyError();
  const uint64_t bit = uint64_t{1} << FElement;
  for (const TInstProp& p : PropList()) {
    const auto bits = static_cast<uint64_t>(p.PropInfo->GetOrd(*p.Instance));
    p.PropInfo->SetOrd(*p.Instance, static_cast<int64_t>(*v ? bits | bit : bits & ~bit));
  }
  Modified();
}

// ---- Strings, objects, references, events ----

bool TStringProperty::AllEqual() {
  for (int i = 1; i < PropCount(); ++i)
    if (GetStrValueAt(i) != GetStrValueAt(0)) return false;
  return true;
}

TPropertyAttributes TStringProperty::GetAttributes() {
  TPropertyAttributes attributes{paMultiSelect, paRevertable};
  if (!GetPropInfo()->SetStr) attributes.Include(paReadOnly);
  return attributes;
}

std::string TStringProperty::GetValue() { return GetStrValue(); }

void TStringProperty::SetValue(const std::string& Value) {
  SetStrValue(Value);
  Modified();
}

TPropertyAttributes TClassProperty::GetAttributes() {
  return {paMultiSelect, paSubProperties, paReadOnly};
}

void TClassProperty::GetProperties(const TGetPropProc& Proc) {
  std::vector<TPersistent*> objects;
  for (int i = 0; i < PropCount(); ++i) {
    TObject* object = GetObjValueAt(i);
    if (object && object->InheritsFrom(TPersistent::StaticClass()))
      objects.push_back(static_cast<TPersistent*>(object));
  }
  if (!objects.empty()) GetComponentProperties(Designer(), objects, Proc);
}

std::string TClassProperty::GetValue() {
  TObject* object = GetOrdValue();
  return "(" + (object ? object->ClassName() : GetPropType()->Name) + ")";
}

TComponent* TComponentProperty::Root() const {
  if (Designer() && Designer()->Root()) return Designer()->Root();
  TPersistent* instance = GetComponent(0);
  if (!instance->InheritsFrom(TComponent::StaticClass())) return nullptr;
  auto* component = static_cast<TComponent*>(instance);
  return component->Owner() ? component->Owner() : component;
}

bool TComponentProperty::AllEqual() {
  for (int i = 1; i < PropCount(); ++i)
    if (GetObjValueAt(i) != GetObjValueAt(0)) return false;
  return true;
}

TPropertyAttributes TComponentProperty::GetAttributes() {
  TPropertyAttributes attributes{paMultiSelect, paValueList, paSortList, paRevertable};
  if (!GetPropInfo()->SetObj) attributes.Include(paReadOnly);
  return attributes;
}

std::string TComponentProperty::GetValue() {
  TObject* object = GetOrdValue();
  if (!object || !object->InheritsFrom(TComponent::StaticClass())) return "";
  return static_cast<TComponent*>(object)->Name();
}

void TComponentProperty::GetValues(const TGetStrProc& Proc) {
  TComponent* root = Root();
  const TClassInfo* wanted = GetPropType()->ClassType;
  if (!root || !wanted) return;
  if (!root->Name().empty() && root->InheritsFrom(*wanted)) Proc(root->Name());
  for (int i = 0; i < root->ComponentCount(); ++i) {
    TComponent* c = root->Components(i);
    if (!c->Name().empty() && c->InheritsFrom(*wanted)) Proc(c->Name());
  }
}

void TComponentProperty::SetValue(const std::string& Value) {
  const std::string name = Trim(Value);
  TComponent* target = nullptr;
  if (!name.empty()) {
    TComponent* root = Root();
    if (root && SameText(root->Name(), name))
      target = root;
    else if (root)
      target = root->FindComponent(name);
    const TClassInfo* wanted = GetPropType()->ClassType;
    if (!target || !wanted || !target->InheritsFrom(*wanted)) InvalidValue(Value);
  }
  SetObjValue(target);
  Modified();
}

TPropertyAttributes TMethodProperty::GetAttributes() { return {paMultiSelect, paReadOnly}; }

std::string TMethodProperty::GetValue() {
  const TInstProp& p = PropList().front();
  return p.PropInfo->IsAssigned && p.PropInfo->IsAssigned(*p.Instance) ? "(assigned)" : "";
}

// ---- Palette ----

void RegisterComponents(const std::string& Page, const std::vector<const TClassInfo*>& Classes) {
  std::vector<TPalettePage>& pages = Registry().pages;
  auto page = std::find_if(pages.begin(), pages.end(),
                           [&](const TPalettePage& p) { return p.Name == Page; });
  if (page == pages.end()) {
    pages.push_back({Page, {}});
    page = pages.end() - 1;
  }
  for (const TClassInfo* cls : Classes) {
    if (!cls) throw EComponentError("RegisterComponents: no class given for page " + Page);
    RegisterClass(*cls);
    const bool placed = std::any_of(pages.begin(), pages.end(), [cls](const TPalettePage& p) {
      return std::find(p.Classes.begin(), p.Classes.end(), cls) != p.Classes.end();
    });
    if (!placed) page->Classes.push_back(cls);
  }
}

const std::vector<TPalettePage>& PalettePages() { return Registry().pages; }

// ---- Editor bindings ----

void RegisterPropertyEditor(const TTypeInfo* PropertyType, const TClassInfo* ComponentClass,
                            const std::string& PropertyName, TPropertyEditorClass EditorClass) {
  if (!PropertyType || !EditorClass)
    throw EPropertyError("RegisterPropertyEditor needs a property type and an editor class");
  Registry().editors.push_back({PropertyType, ComponentClass, PropertyName, EditorClass});
}

const std::vector<TPropertyEditorRegistration>& RegisteredPropertyEditors() {
  return Registry().editors;
}

const TPropertyEditorRegistration* FindPropertyEditor(const TClassInfo& componentClass,
                                                      const TPropInfo& prop) {
  const std::vector<TPropertyEditorRegistration>& editors = Registry().editors;
  const TPropertyEditorRegistration* best = nullptr;
  // Larger is better, compared in order; see RegisterPropertyEditor.
  std::tuple<int, int, int, size_t> bestRank{};
  for (size_t i = 0; i < editors.size(); ++i) {
    const TPropertyEditorRegistration& r = editors[i];
    const int typeSteps = TypeDistance(r.PropertyType, prop.PropType());
    if (typeSteps < 0) continue;
    int classRank = 0;
    if (r.ComponentClass) {
      const int steps = Distance(&componentClass, r.ComponentClass);
      if (steps < 0) continue;
      classRank = 1 << 20;
      classRank -= steps;
    }
    if (!r.PropertyName.empty() && !SameText(r.PropertyName, prop.Name)) continue;
    const int nameRank = r.PropertyName.empty() ? 0 : 1;
    const std::tuple<int, int, int, size_t> rank{classRank, nameRank, -typeSteps, i};
    if (!best || rank > bestRank) {
      best = &r;
      bestRank = rank;
    }
  }
  return best;
}

TPropertyEditorClass DefaultPropertyEditor(const TPropInfo& prop) {
  const TTypeInfo* type = prop.PropType();
  switch (type->Kind) {
    case tkInteger:
      if (type == &TypeColor) return PropertyEditorClass<TColorProperty>();
      return PropertyEditorClass<TIntegerProperty>();
    case tkEnumeration:
      return PropertyEditorClass<TEnumProperty>();
    case tkSet:
      return PropertyEditorClass<TSetProperty>();
    case tkString:
      return PropertyEditorClass<TStringProperty>();
    case tkClass:
      if (prop.IsReference()) return PropertyEditorClass<TComponentProperty>();
      return PropertyEditorClass<TClassProperty>();
    case tkMethod:
      return PropertyEditorClass<TMethodProperty>();
  }
  return PropertyEditorClass<TPropertyEditor>();
}

TPropertyEditorClass GetEditorClass(const TClassInfo& componentClass, const TPropInfo& prop) {
  if (const TPropertyEditorRegistration* r = FindPropertyEditor(componentClass, prop))
    return r->EditorClass;
  return DefaultPropertyEditor(prop);
}

std::unique_ptr<TPropertyEditor> CreatePropertyEditor(IDesigner* designer, TPropList props) {
  if (props.empty() || !props.front().Instance || !props.front().PropInfo)
    throw EPropertyError("A property editor needs an edited property");
  TPropertyEditorClass editorClass =
      GetEditorClass(props.front().Instance->ClassType(), *props.front().PropInfo);
  std::unique_ptr<TPropertyEditor> editor = editorClass(designer, std::move(props));
  editor->Initialize();
  return editor;
}

void GetComponentProperties(IDesigner* designer, const std::vector<TPersistent*>& objects,
                            const TGetPropProc& Proc) {
  if (objects.empty()) return;
  for (TPersistent* object : objects)
    if (!object) throw EPropertyError("No object to list the properties of");
  for (const TPropInfo* prop : objects.front()->ClassType().Properties()) {
    TPropList props{{objects.front(), prop}};
    bool common = true;
    for (size_t i = 1; i < objects.size() && common; ++i) {
      const TPropInfo* other = objects[i]->ClassType().FindProperty(prop->Name);
      common = other && other->PropType() == prop->PropType();
      if (common) props.push_back({objects[i], other});
    }
    if (!common) continue;
    const bool several = props.size() > 1;
    std::unique_ptr<TPropertyEditor> editor = CreatePropertyEditor(designer, std::move(props));
    if (several && !editor->GetAttributes().Contains(paMultiSelect)) continue;
    Proc(std::move(editor));
  }
}

void ResetDesignRegistry() {
  Registry().pages.clear();
  Registry().editors.clear();
}
