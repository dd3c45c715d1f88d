#pragma once
// Design-time interfaces: property editors, the component palette and the bindings of editors to
// property types.
//
// A property editor edits one published property of the components selected in the designer (one
// or several). It shows the value as text (GetValue), offers a drop-down list (GetValues), takes
// typed or chosen text (SetValue), may offer sub-properties (GetProperties) and tells the designer
// host of every change it made (Modified). The designer gets an editor for a property through
// CreatePropertyEditor, which uses the most specific RegisterPropertyEditor binding and otherwise
// the default editor for the property's kind, so every published property can be shown and set.
//
// Threads: GUI thread only, like the designer. Lifetimes: an editor refers to the edited objects
// and to its designer host without owning them; both must outlive it. The registries live for the
// process (until ResetDesignRegistry).
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "Classes.h"

// What the designer may do with a property; the editor's GetAttributes says which apply.
enum TPropertyAttribute {
  paValueList,      // GetValues offers a list of values to choose from
  paSubProperties,  // GetProperties offers sub-properties, shown indented under this one
  paDialog,         // Edit opens a dialog of its own
  paMultiSelect,    // shown (and set on all) when several components are selected
  paAutoUpdate,     // SetValue after every change of the typed text, not only on confirmation
  paSortList,       // the designer sorts the value list; without it the list keeps its order
  paReadOnly,       // the text cannot be typed (choosing from the value list may still be offered)
  paRevertable,     // the designer may offer to revert the property to its default
};
using TPropertyAttributes = TSet<TPropertyAttribute>;

// Receives the entries of a value list, one call per entry, in order.
using TGetStrProc = std::function<void(const std::string&)>;

class TPropertyEditor;
// Receives the sub-property editors, one call per property; the receiver owns each editor.
using TGetPropProc = std::function<void(std::unique_ptr<TPropertyEditor>)>;

// The designer host an editor reports to.
class IDesigner {
 public:
  virtual ~IDesigner() = default;
  // An editor changed the edited objects: the host marks the form modified and refreshes.
  virtual void Modified() = 0;
  // The form being designed: the components a component reference may name. Null lets the
  // editor use the owner of the edited component.
  virtual TComponent* Root() const { return nullptr; }
};

// One edited instance and the property's information in its class. Several selected components
// may be of different classes, each with its own TPropInfo of the same name and type.
struct TInstProp {
  TPersistent* Instance = nullptr;
  const TPropInfo* PropInfo = nullptr;
};
using TPropList = std::vector<TInstProp>;

// The selection of property `name` on each of `objects`. Raises EPropertyError when an object is
// null or has no published property of that name.
TPropList PropertyOf(const std::vector<TPersistent*>& objects, const std::string& name);

// The base of every property editor. Constructed on a non-empty selection (EPropertyError
// otherwise); `designer` may be null, and then Modified() reaches nobody.
class TPropertyEditor {
 public:
  TPropertyEditor(IDesigner* designer, TPropList props);
  TPropertyEditor(const TPropertyEditor&) = delete;
  TPropertyEditor& operator=(const TPropertyEditor&) = delete;
  virtual ~TPropertyEditor();

  // The inspector has selected this property. Base: nothing.
  virtual void Activate();
  // Whether every edited component holds the same value (the inspector shows it only then).
  // Base: true for a single component only.
  virtual bool AllEqual();
  // The user asked to edit (double click, ellipsis button). Base: for an editor with paValueList,
  // sets the entry of GetValues that follows the current value (the first after the last one, or
  // when the current value is not listed); otherwise nothing.
  virtual void Edit();
  // Base: {paRevertable}.
  virtual TPropertyAttributes GetAttributes();
  // The longest text the inspector lets the user type. Base: 255.
  virtual int32_t GetEditLimit();
  // The name shown in the inspector. Base: the property's name.
  virtual std::string GetName();
  // Calls Proc with one editor per sub-property. Base: none.
  virtual void GetProperties(const TGetPropProc& Proc);
  // The value as text, from the first edited component. Base: "(unknown)".
  virtual std::string GetValue();
  // Calls Proc with each entry of the value list. Base: none.
  virtual void GetValues(const TGetStrProc& Proc);
  // Called once by CreatePropertyEditor after construction. Base: nothing.
  virtual void Initialize();
  // Takes a typed or chosen text. Base: raises EPropertyError (the property takes no text).
  virtual void SetValue(const std::string& Value);

  IDesigner* Designer() const { return FDesigner; }
  int PropCount() const { return static_cast<int>(FPropList.size()); }
  TPersistent* GetComponent(int index) const { return FPropList.at(index).Instance; }
  const TPropInfo* GetPropInfo(int index = 0) const { return FPropList.at(index).PropInfo; }
  const TTypeInfo* GetPropType() const { return GetPropInfo()->PropType(); }
  const TPropList& PropList() const { return FPropList; }

  // For a class-typed property: the object the property refers to on the first edited
  // component; null when it refers to none or the property is not class-typed.
  TObject* GetOrdValue() const { return GetObjValueAt(0); }
  // The same on the index-th edited component.
  TObject* GetObjValueAt(int index) const;
  // Sets a class-typed property on every edited component. EPropertyError when read-only.
  void SetObjValue(TObject* value);
  // An ordinal property's (integer, enumeration, set) value on the index-th edited component.
  int64_t GetOrdinalAt(int index) const;
  int64_t GetOrdinal() const { return GetOrdinalAt(0); }
  // Sets an ordinal property on every edited component. EPropertyError when read-only.
  void SetOrdinal(int64_t value);
  std::string GetStrValueAt(int index) const;
  std::string GetStrValue() const { return GetStrValueAt(0); }
  // Sets a string property on every edited component. EPropertyError when read-only.
  void SetStrValue(const std::string& value);

  // Tells the designer host that the edited components have changed.
  void Modified();

 protected:
  // Raises EPropertyError "Property <name> is read-only".
  [[noreturn]] void ReadOnlyError();
  // Raises EPropertyError "'<text>' is not a valid value for <name>".
  [[noreturn]] void InvalidValue(const std::string& text);

 private:
  IDesigner* FDesigner;
  TPropList FPropList;
};

// Properties with an ordinal value: AllEqual compares the values on all edited components (for a
// class-typed property: whether they refer to the same object).
class TOrdinalProperty : public TPropertyEditor {
 public:
  using TPropertyEditor::TPropertyEditor;
  bool AllEqual() override;
  // 63.
  int32_t GetEditLimit() override;
};

// Integers, written in decimal or by the type's named constants; a type with named constants
// offers them as its value list.
class TIntegerProperty : public TOrdinalProperty {
 public:
  using TOrdinalProperty::TOrdinalProperty;
  TPropertyAttributes GetAttributes() override;
  std::string GetValue() override;
  void GetValues(const TGetStrProc& Proc) override;
  void SetValue(const std::string& Value) override;
};

// Colours: a colour's name (clRed, clBtnFace) where it has one, else its number; the names are
// the value list.
class TColorProperty : public TIntegerProperty {
 public:
  using TIntegerProperty::TIntegerProperty;
  TPropertyAttributes GetAttributes() override;
};

// Enumerations, booleans included: the value's name; the names are the value list, in order.
class TEnumProperty : public TOrdinalProperty {
 public:
  using TOrdinalProperty::TOrdinalProperty;
  TPropertyAttributes GetAttributes() override;
  std::string GetValue() override;
  void GetValues(const TGetStrProc& Proc) override;
  void SetValue(const std::string& Value) override;
};

// Sets: written "[a, b]"; one True/False sub-property per element. SetValue also takes the
// bracketed text.
class TSetProperty : public TOrdinalProperty {
 public:
  using TOrdinalProperty::TOrdinalProperty;
  TPropertyAttributes GetAttributes() override;
  std::string GetValue() override;
  void GetProperties(const TGetPropProc& Proc) override;
  void SetValue(const std::string& Value) override;
};

// One element of a set property, as a boolean named after the element.
class TSetElementProperty : public TPropertyEditor {
 public:
  TSetElementProperty(IDesigner* designer, TPropList props, int element);
  bool AllEqual() override;
  TPropertyAttributes GetAttributes() override;
  std::string GetName() override;
  std::string GetValue() override;
  void GetValues(const TGetStrProc& Proc) override;
  void SetValue(const std::string& Value) override;

 private:
  bool Included(int index) const;
  int FElement;
};

class TStringProperty : public TPropertyEditor {
 public:
  using TPropertyEditor::TPropertyEditor;
  bool AllEqual() override;
  TPropertyAttributes GetAttributes() override;
  std::string GetValue() override;
  void SetValue(const std::string& Value) override;
};

// Sub-objects (Font, Quality): shown as "(ClassName)" with the published properties of the object
// as sub-properties; the text itself cannot be typed.
class TClassProperty : public TPropertyEditor {
 public:
  using TPropertyEditor::TPropertyEditor;
  // {paMultiSelect, paSubProperties, paReadOnly}.
  TPropertyAttributes GetAttributes() override;
  // One editor per published property of the edited objects (those of every edited component that
  // refers to one), found as for components.
  void GetProperties(const TGetPropProc& Proc) override;
  std::string GetValue() override;
};

// References to other components of the form (Source): the referenced component's name, "" for
// none; the value list holds the names of the form's components of the property's class.
class TComponentProperty : public TPropertyEditor {
 public:
  using TPropertyEditor::TPropertyEditor;
  bool AllEqual() override;
  TPropertyAttributes GetAttributes() override;
  std::string GetValue() override;
  void GetValues(const TGetStrProc& Proc) override;
  // "" clears the reference; a name must be that of a component of the form of the right class.
  void SetValue(const std::string& Value) override;

 private:
  TComponent* Root() const;
};

// Events: "" when no handler is bound, else "(assigned)"; handlers cannot be bound here.
class TMethodProperty : public TPropertyEditor {
 public:
  using TPropertyEditor::TPropertyEditor;
  TPropertyAttributes GetAttributes() override;
  std::string GetValue() override;
};

// An editor class: makes an editor of that class for a selection.
using TPropertyEditorClass = std::unique_ptr<TPropertyEditor> (*)(IDesigner* designer,
                                                                  TPropList props);

template <class TEditor>
std::unique_ptr<TPropertyEditor> NewPropertyEditor(IDesigner* designer, TPropList props) {
  return std::make_unique<TEditor>(designer, std::move(props));
}
// The editor class of TEditor, which must be constructible from (IDesigner*, TPropList).
template <class TEditor>
TPropertyEditorClass PropertyEditorClass() {
  return &NewPropertyEditor<TEditor>;
}

// ---- Palette ----

struct TPalettePage {
  std::string Name;
  std::vector<const TClassInfo*> Classes;
};

// Puts `Classes` on the palette page `Page`, in the given order, after those the page already
// has; a class already on the palette keeps its place. Pages keep the order of their first
// registration. Also registers each class (RegisterClass) so that form resources can create it.
void RegisterComponents(const std::string& Page, const std::vector<const TClassInfo*>& Classes);
const std::vector<TPalettePage>& PalettePages();

// ---- Editor bindings ----

struct TPropertyEditorRegistration {
  const TTypeInfo* PropertyType = nullptr;
  const TClassInfo* ComponentClass = nullptr;  // null: any component class
  std::string PropertyName;                    // "": any property name
  TPropertyEditorClass EditorClass = nullptr;
};

// Makes the designer use `EditorClass` for the properties of type `PropertyType` (for a class
// type: also of its descendants), on components of `ComponentClass` or a descendant (null: any),
// named `PropertyName` (case-insensitive; "": any name). EPropertyError for a null type or class.
//
// When several bindings apply, the most specific wins, judged in this order: the component class
// (the edited class itself, then ever farther ancestors, then any); the name (a named binding
// before any name); the type (the property's own type, then ever farther ancestor classes); and
// last, the later registration.
void RegisterPropertyEditor(const TTypeInfo* PropertyType, const TClassInfo* ComponentClass,
                            const std::string& PropertyName, TPropertyEditorClass EditorClass);
const std::vector<TPropertyEditorRegistration>& RegisteredPropertyEditors();

// The binding that applies to `prop` on an instance of `componentClass`, or null.
const TPropertyEditorRegistration* FindPropertyEditor(const TClassInfo& componentClass,
                                                      const TPropInfo& prop);
// The default editor for the property's kind: integer (colours: TColorProperty), enumeration,
// set, string, sub-object (TClassProperty), component reference, event.
TPropertyEditorClass DefaultPropertyEditor(const TPropInfo& prop);
// The bound editor class, else the default one.
TPropertyEditorClass GetEditorClass(const TClassInfo& componentClass, const TPropInfo& prop);

// Makes and initialises the editor for a selection; the first instance's class chooses it.
std::unique_ptr<TPropertyEditor> CreatePropertyEditor(IDesigner* designer, TPropList props);

// Calls Proc with an editor for each published property of `objects`, in declaration order. With
// several objects: only the properties that all of them publish with the same type and whose
// editor has paMultiSelect.
void GetComponentProperties(IDesigner* designer, const std::vector<TPersistent*>& objects,
                            const TGetPropProc& Proc);

// Forgets the palette and the editor bindings (classes stay registered). For tests.
void ResetDesignRegistry();
