#pragma once
// Class information: each class's name, parent, factory and published properties, declared once in
// the class's .cpp with TClassBuilder and read by the form reader, the form writer and the designer.
#include <cstdint>
#include <functional>
#include <stdexcept>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "System.h"

enum TTypeKind { tkInteger, tkEnumeration, tkSet, tkString, tkClass, tkMethod };

// Describes a property type. Integer types may carry named constants (colours: clBlack, ...);
// enumerations carry their value names (index = value); sets name the enumeration of their
// elements; class types point at the class.
struct TTypeInfo {
  TTypeKind Kind = tkInteger;
  std::string Name;
  std::vector<std::string> Names;                               // tkEnumeration
  const TTypeInfo* ElementType = nullptr;                       // tkSet
  const TClassInfo* ClassType = nullptr;                        // tkClass
  std::vector<std::pair<std::string, int64_t>> Idents;          // tkInteger: named constants
  std::function<std::string(int64_t)> FormatValue;              // tkInteger: optional custom text

  // Text of an ordinal value as the form resource and the inspector show it.
  std::string OrdToText(int64_t value) const;
  // Parses the text of an ordinal value (number, identifier or [set]); nullopt when invalid.
  std::optional<int64_t> TextToOrd(const std::string& text) const;
};

// Type descriptions for the declarations of enumerations, sets and integers with named constants.
TTypeInfo EnumType(const char* name, std::vector<std::string> names);
TTypeInfo SetType(const char* name, const TTypeInfo& element);
TTypeInfo IntegerType(const char* name, std::vector<std::pair<std::string, int64_t>> idents);

extern const TTypeInfo TypeInteger;
extern const TTypeInfo TypeBoolean;
extern const TTypeInfo TypeString;
extern const TTypeInfo TypeEvent;

// One published property. Exactly one group of accessors is set, by the type's kind: ordinal
// (integers, booleans, enumerations, sets), string, object (sub-objects and component
// references) or method (events; only whether one is assigned is visible).
struct TPropInfo {
  std::string Name;
  // The property's type. Object properties name their class lazily, so a class may have a
  // property of its own type.
  const TTypeInfo* PropType() const { return TypeOf ? TypeOf() : Type; }
  const TTypeInfo* Type = nullptr;
  const TTypeInfo* (*TypeOf)() = nullptr;
  std::function<int64_t(const TObject&)> GetOrd;
  std::function<void(TObject&, int64_t)> SetOrd;
  std::function<std::string(const TObject&)> GetStr;
  std::function<void(TObject&, const std::string&)> SetStr;
  std::function<TObject*(const TObject&)> GetObj;
  std::function<void(TObject&, TObject*)> SetObj;
  std::function<bool(const TObject&)> IsAssigned;
  std::optional<int64_t> Default;  // ordinal default; a value equal to it is not written
  // A sub-object (Font, Quality) is owned by the object and streamed as dotted names; a reference
  // names another component of the form.
  bool IsReference() const;
  bool IsSubObject() const;
  bool Writable() const { return SetOrd || SetStr || SetObj; }
};

// A published field of a form: filled with the component of the same name when the form loads.
struct TFieldInfo {
  std::string Name;
  const TClassInfo* FieldClass = nullptr;
  std::function<void(TObject&, TComponent*)> Set;
  std::function<TComponent*(const TObject&)> Get;
};

// Defined once per class, as a function-local static:
//   const TClassInfo& TFoo::StaticClass() { static const TClassInfo info = TClassBuilder<...>...Build(); return info; }
struct TClassInfo {
  TClassInfo() = default;
  TClassInfo(const TClassInfo&) = delete;
  // Moving keeps Type pointing at the object it lives in.
  TClassInfo(TClassInfo&& other) noexcept;

  std::string Name;
  const TClassInfo* Parent = nullptr;
  std::function<TObject*(TComponent* owner)> Create;  // null for classes not created by name
  std::vector<TPropInfo> Published;                  // this class's own, in declaration order
  std::vector<TPropInfo> Unpublished;                // declared here, published by descendants
  std::vector<TFieldInfo> Fields;
  TTypeInfo Type;                                    // tkClass, pointing here

  bool InheritsFrom(const TClassInfo& other) const;
  // Published properties, inherited ones first, each in declaration order.
  std::vector<const TPropInfo*> Properties() const;
  const TPropInfo* FindProperty(const std::string& name) const;
  const TFieldInfo* FindField(const std::string& name) const;
  // A property declared by this class or an ancestor, published or not.
  const TPropInfo* FindDeclared(const std::string& name) const;
};

// Class registry: classes that can be created by name (components, forms).
void RegisterClass(const TClassInfo& cls);
const TClassInfo* FindClass(const std::string& name);

// Builds a class's information. Accessors receive the object as the class itself:
//   TClassBuilder<TFoo>("TFoo", &TBar::StaticClass())
//       .Factory()
//       .Integer("Size", [](const TFoo& o) { return o.Size(); }, [](TFoo& o, int32_t v) { ... }, 10)
//       .Build();
template <class T>
class TClassBuilder {
 public:
  TClassBuilder(const char* name, const TClassInfo* parent) {
    FInfo.Name = name;
    FInfo.Parent = parent;
  }

  // Instances can be created by name: T(owner) for components, T() for other classes.
  TClassBuilder& Factory() {
    if constexpr (std::is_constructible_v<T, TComponent*>)
      FInfo.Create = [](TComponent* owner) -> TObject* { return new T(owner); };
    else
      FInfo.Create = [](TComponent*) -> TObject* { return new T(); };
    return *this;
  }

  template <class Get, class Set>
  TClassBuilder& Ordinal(const char* name, const TTypeInfo& type, Get get, Set set,
                         std::optional<int64_t> def = std::nullopt, bool published = true) {
    TPropInfo p = Named(name, type, def);
    p.GetOrd = [get](const TObject& o) { return static_cast<int64_t>(get(static_cast<const T&>(o))); };
    if constexpr (!std::is_same_v<Set, std::nullptr_t>)
      p.SetOrd = [set](TObject& o, int64_t v) { set(static_cast<T&>(o), v); };
    return Add(std::move(p), published);
  }
  template <class Get, class Set>
  TClassBuilder& Integer(const char* name, Get get, Set set, std::optional<int64_t> def = std::nullopt) {
    return Ordinal(name, TypeInteger, get, set, def);
  }
  template <class Get, class Set>
  TClassBuilder& Boolean(const char* name, Get get, Set set, std::optional<bool> def = std::nullopt) {
    return Ordinal(name, TypeBoolean, get, set,
                   def ? std::optional<int64_t>(*def ? 1 : 0) : std::nullopt);
  }
  template <class Get, class Set>
  TClassBuilder& String(const char* name, Get get, Set set) {
    TPropInfo p = Named(name, TypeString, std::nullopt);
    p.GetStr = [get](const TObject& o) { return std::string(get(static_cast<const T&>(o))); };
    p.SetStr = [set](TObject& o, const std::string& v) { set(static_cast<T&>(o), v); };
    return Add(std::move(p), true);
  }
  // A property holding an object: a sub-object the instance owns (streamed as dotted names), or a
  // reference to another component (streamed as its name); `set` may be nullptr for read-only.
  template <class C, class Get, class Set>
  TClassBuilder& Object(const char* name, Get get, Set set) {
    TPropInfo p = Named(name, TypeInteger, std::nullopt);
    p.Type = nullptr;
    p.TypeOf = []() -> const TTypeInfo* { return &C::StaticClass().Type; };
    p.GetObj = [get](const TObject& o) -> TObject* { return get(static_cast<const T&>(o)); };
    if constexpr (!std::is_same_v<Set, std::nullptr_t>)
      p.SetObj = [set](TObject& o, TObject* v) { set(static_cast<T&>(o), v); };
    return Add(std::move(p), true);
  }
  template <class Get>
  TClassBuilder& Event(const char* name, Get isAssigned) {
    TPropInfo p = Named(name, TypeEvent, std::nullopt);
    p.IsAssigned = [isAssigned](const TObject& o) { return isAssigned(static_cast<const T&>(o)); };
    return Add(std::move(p), true);
  }
  // Publishes a property an ancestor declared unpublished, at this point of the order.
  TClassBuilder& Republish(const char* name, std::optional<int64_t> def = std::nullopt) {
    const TPropInfo* p = FInfo.Parent ? FInfo.Parent->FindDeclared(name) : nullptr;
    if (!p) throw std::logic_error(std::string("no property ") + name + " to publish");
    TPropInfo copy = *p;
    if (def) copy.Default = def;
    FInfo.Published.push_back(std::move(copy));
    return *this;
  }
  template <class Field>
  TClassBuilder& PublishedField(const char* name, Field T::*member) {
    using C = std::remove_pointer_t<Field>;
    TFieldInfo f;
    f.Name = name;
    f.FieldClass = &C::StaticClass();
    f.Set = [member](TObject& o, TComponent* c) { static_cast<T&>(o).*member = static_cast<Field>(c); };
    f.Get = [member](const TObject& o) -> TComponent* { return static_cast<const T&>(o).*member; };
    FInfo.Fields.push_back(std::move(f));
    return *this;
  }
  TClassBuilder& Unpublished() {
    FNextUnpublished = true;
    return *this;
  }

  TClassInfo Build() { return std::move(FInfo); }

 private:
  TPropInfo Named(const char* name, const TTypeInfo& type, std::optional<int64_t> def) {
    TPropInfo p;
    p.Name = name;
    p.Type = &type;
    p.Default = def;
    return p;
  }
  TClassBuilder& Add(TPropInfo p, bool published) {
    if (FNextUnpublished || !published)
      FInfo.Unpublished.push_back(std::move(p));
    else
      FInfo.Published.push_back(std::move(p));
    FNextUnpublished = false;
    return *this;
  }

  TClassInfo FInfo;
  bool FNextUnpublished = false;
};

// Reads and writes a published property by name on any object; raise EPropertyError when the
// property does not exist or has the wrong kind.
int64_t GetOrdProp(const TObject& obj, const std::string& name);
void SetOrdProp(TObject& obj, const std::string& name, int64_t value);
std::string GetStrProp(const TObject& obj, const std::string& name);
void SetStrProp(TObject& obj, const std::string& name, const std::string& value);
TObject* GetObjectProp(const TObject& obj, const std::string& name);
void SetObjectProp(TObject& obj, const std::string& name, TObject* value);
