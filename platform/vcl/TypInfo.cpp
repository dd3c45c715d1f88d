#include "TypInfo.h"

#include <map>

#include "Classes.h"
#include "SysUtils.h"

namespace {

TTypeInfo MakeType(TTypeKind kind, const char* name, std::vector<std::string> names = {}) {
  TTypeInfo t;
  t.Kind = kind;
  t.Name = name;
  t.Names = std::move(names);
  return t;
}

std::map<std::string, const TClassInfo*>& Registry() {
  static std::map<std::string, const TClassInfo*> classes;
  return classes;
}

const TPropInfo& Require(const TObject& obj, const std::string& name) {
  const TPropInfo* p = obj.ClassType().FindProperty(name);
  if (!p) throw EPropertyError("Property " + name + " does not exist in " + obj.ClassName());
  return *p;
}

[[noreturn]] void WrongKind(const TObject& obj, const std::string& name) {
  throw EPropertyError("Property " + obj.ClassName() + "." + name + " has another type");
}

}  // namespace

TTypeInfo EnumType(const char* name, std::vector<std::string> names) {
  return MakeType(tkEnumeration, name, std::move(names));
}

TTypeInfo SetType(const char* name, const TTypeInfo& element) {
  TTypeInfo t = MakeType(tkSet, name);
  t.ElementType = &element;
  return t;
}

TTypeInfo IntegerType(const char* name, std::vector<std::pair<std::string, int64_t>> idents) {
  TTypeInfo t = MakeType(tkInteger, name);
  t.Idents = std::move(idents);
  return t;
}

const TTypeInfo TypeInteger = MakeType(tkInteger, "Integer");
const TTypeInfo TypeBoolean = MakeType(tkEnumeration, "Boolean", {"False", "True"});
const TTypeInfo TypeString = MakeType(tkString, "string");
const TTypeInfo TypeEvent = MakeType(tkMethod, "TNotifyEvent");

std::string TTypeInfo::OrdToText(int64_t value) const {
  switch (Kind) {
    case tkEnumeration:
      if (value >= 0 && value < static_cast<int64_t>(Names.size())) return Names[value];
      return IntToStr(value);
    case tkSet: {
      std::string out = "[";
      for (size_t i = 0; ElementType && i < ElementType->Names.size() && i < 64; ++i) {
        if (!(static_cast<uint64_t>(value) & (uint64_t{1} << i))) continue;
        if (out.size() > 1) out += ", ";
        out += ElementType->Names[i];
      }
      return out + "]";
    }
    default:
      for (const auto& [name, v] : Idents)
        if (v == value) return name;
      if (FormatValue) return FormatValue(value);
      return IntToStr(value);
  }
}

std::optional<int64_t> TTypeInfo::TextToOrd(const std::string& raw) const {
  std::string text = Trim(raw);
  auto indexOf = [](const std::vector<std::string>& names, const std::string& name) -> int64_t {
    for (size_t i = 0; i < names.size(); ++i)
      if (AnsiLowerCase(names[i]) == AnsiLowerCase(name)) return static_cast<int64_t>(i);
    return -1;
  };
  switch (Kind) {
    case tkEnumeration: {
      int64_t i = indexOf(Names, text);
      if (i < 0) return std::nullopt;
      return i;
    }
    case tkSet: {
      if (text.size() < 2 || text.front() != '[' || text.back() != ']' || !ElementType)
        return std::nullopt;
      uint64_t bits = 0;
      std::string body = text.substr(1, text.size() - 2);
      size_t start = 0;
      while (start <= body.size()) {
        size_t comma = body.find(',', start);
        std::string item = Trim(body.substr(start, comma == std::string::npos ? std::string::npos
                                                                              : comma - start));
        if (!item.empty()) {
          int64_t i = indexOf(ElementType->Names, item);
          if (i < 0 || i >= 64) return std::nullopt;
          bits |= uint64_t{1} << i;
        } else if (comma != std::string::npos) {
          return std::nullopt;
        }
        if (comma == std::string::npos) break;
        start = comma + 1;
      }
      return static_cast<int64_t>(bits);
    }
    case tkInteger: {
      for (const auto& [name, v] : Idents)
        if (AnsiLowerCase(name) == AnsiLowerCase(text)) return v;
      try {
        return StrToInt(text);
      } catch (const EConvertError&) {
        return std::nullopt;
      }
    }
    default:
      return std::nullopt;
  }
}

bool TPropInfo::IsReference() const {
  return PropType()->Kind == tkClass && PropType()->ClassType &&
         PropType()->ClassType->InheritsFrom(TComponent::StaticClass());
}

bool TPropInfo::IsSubObject() const { return PropType()->Kind == tkClass && !IsReference(); }

TClassInfo::TClassInfo(TClassInfo&& other) noexcept
    : Name(std::move(other.Name)),
      Parent(other.Parent),
      Create(std::move(other.Create)),
      Published(std::move(other.Published)),
      Unpublished(std::move(other.Unpublished)),
      Fields(std::move(other.Fields)) {
  Type.Kind = tkClass;
  Type.Name = Name;
  Type.ClassType = this;
}

bool TClassInfo::InheritsFrom(const TClassInfo& other) const {
  for (const TClassInfo* c = this; c; c = c->Parent)
    if (c == &other) return true;
  return false;
}

std::vector<const TPropInfo*> TClassInfo::Properties() const {
  std::vector<const TPropInfo*> out = Parent ? Parent->Properties() : std::vector<const TPropInfo*>{};
  for (const TPropInfo& p : Published) out.push_back(&p);
  return out;
}

const TPropInfo* TClassInfo::FindProperty(const std::string& name) const {
  for (const TClassInfo* c = this; c; c = c->Parent)
    for (const TPropInfo& p : c->Published)
      if (AnsiLowerCase(p.Name) == AnsiLowerCase(name)) return &p;
  return nullptr;
}

const TPropInfo* TClassInfo::FindDeclared(const std::string& name) const {
  for (const TClassInfo* c = this; c; c = c->Parent) {
    for (const TPropInfo& p : c->Published)
      if (p.Name == name) return &p;
    for (const TPropInfo& p : c->Unpublished)
      if (p.Name == name) return &p;
  }
  return nullptr;
}

const TFieldInfo* TClassInfo::FindField(const std::string& name) const {
  for (const TClassInfo* c = this; c; c = c->Parent)
    for (const TFieldInfo& f : c->Fields)
      if (AnsiLowerCase(f.Name) == AnsiLowerCase(name)) return &f;
  return nullptr;
}

void RegisterClass(const TClassInfo& cls) { Registry()[cls.Name] = &cls; }

const TClassInfo* FindClass(const std::string& name) {
  auto it = Registry().find(name);
  return it == Registry().end() ? nullptr : it->second;
}

int64_t GetOrdProp(const TObject& obj, const std::string& name) {
  const TPropInfo& p = Require(obj, name);
  if (!p.GetOrd) WrongKind(obj, name);
  return p.GetOrd(obj);
}

void SetOrdProp(TObject& obj, const std::string& name, int64_t value) {
  const TPropInfo& p = Require(obj, name);
  if (!p.SetOrd) WrongKind(obj, name);
  p.SetOrd(obj, value);
}

std::string GetStrProp(const TObject& obj, const std::string& name) {
  const TPropInfo& p = Require(obj, name);
  if (!p.GetStr) WrongKind(obj, name);
  return p.GetStr(obj);
}

void SetStrProp(TObject& obj, const std::string& name, const std::string& value) {
  const TPropInfo& p = Require(obj, name);
  if (!p.SetStr) WrongKind(obj, name);
  p.SetStr(obj, value);
}

TObject* GetObjectProp(const TObject& obj, const std::string& name) {
  const TPropInfo& p = Require(obj, name);
  if (!p.GetObj) WrongKind(obj, name);
  return p.GetObj(obj);
}

void SetObjectProp(TObject& obj, const std::string& name, TObject* value) {
  const TPropInfo& p = Require(obj, name);
  if (!p.SetObj) WrongKind(obj, name);
  p.SetObj(obj, value);
}
