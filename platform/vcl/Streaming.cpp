#include "Streaming.h"

#include <memory>

namespace {

// ---- Parsing: text to a tree of object nodes; no component is created here. ----

struct Value {
  enum Kind { Int, Str, Ident, Set } kind = Int;
  int64_t number = 0;
  std::string text;                 // Str: the string; Ident: the identifier
  std::vector<std::string> items;   // Set
};

struct PropNode {
  std::string path;
  Value value;
  int line = 0;
};

struct ObjectNode {
  std::string name, className;
  int line = 0;
  std::vector<PropNode> props;
  std::vector<ObjectNode> children;
};

[[noreturn]] void Fail(int line, const std::string& what) {
  throw EReadError("Line " + std::to_string(line) + ": " + what);
}

bool IsIdentStart(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_'; }
bool IsIdentChar(char c) { return IsIdentStart(c) || (c >= '0' && c <= '9'); }

class Parser {
 public:
  explicit Parser(const std::string& text) : s(text) {}

  ObjectNode ParseRoot() {
    SkipBlanks();
    if (AtEnd()) Fail(line, "the resource is empty; expected 'object'");
    ObjectNode root = ParseObject();
    SkipBlanks();
    if (!AtEnd()) Fail(line, "unexpected text after the final 'end'");
    return root;
  }

 private:
  bool AtEnd() const { return pos >= s.size(); }

  void SkipBlanks() {
    while (!AtEnd()) {
      char c = s[pos];
      if (c == '\n') {
        ++line;
        ++pos;
      } else if (c == ' ' || c == '\t' || c == '\r') {
        ++pos;
      } else {
        break;
      }
    }
  }

  // Skips spaces on the current line only.
  void SkipSpaces() {
    while (!AtEnd() && (s[pos] == ' ' || s[pos] == '\t' || s[pos] == '\r')) ++pos;
  }

  std::string Identifier(const char* what) {
    SkipSpaces();
    if (AtEnd() || !IsIdentStart(s[pos])) Fail(line, std::string("expected ") + what);
    size_t start = pos;
    while (!AtEnd() && IsIdentChar(s[pos])) ++pos;
    return s.substr(start, pos - start);
  }

  std::string DottedName() {
    std::string name = Identifier("a property name");
    while (!AtEnd() && s[pos] == '.') {
      ++pos;
      name += "." + Identifier("a property name after '.'");
    }
    return name;
  }

  void Expect(char c, const std::string& what) {
    SkipSpaces();
    if (AtEnd() || s[pos] != c) Fail(line, std::string("expected ") + what);
    ++pos;
  }

  void ExpectLineEnd() {
    SkipSpaces();
    if (!AtEnd() && s[pos] != '\n') Fail(line, "unexpected text at the end of the line");
  }

  ObjectNode ParseObject() {
    ObjectNode node;
    node.line = line;
    std::string keyword = Identifier("'object'");
    if (AnsiLowerCase(keyword) != "object" && AnsiLowerCase(keyword) != "inherited")
      Fail(line, "expected 'object', found '" + keyword + "'");
    node.name = Identifier("a component name");
    Expect(':', "':' and a class name after the component name");
    node.className = Identifier("a class name");
    ExpectLineEnd();
    for (;;) {
      SkipBlanks();
      if (AtEnd())
        Fail(line, "object " + node.name + " (line " + std::to_string(node.line) +
                       ") is not closed by 'end'");
      size_t save = pos;
      int saveLine = line;
      std::string word = Identifier("a property, 'object' or 'end'");
      std::string lower = AnsiLowerCase(word);
      if (lower == "end" && (AtEnd() || !IsIdentChar(s[pos])) && (AtEnd() || s[pos] != '.')) {
        ExpectLineEnd();
        return node;
      }
      pos = save;
      line = saveLine;
      if (lower == "object" || lower == "inherited") {
        node.children.push_back(ParseObject());
        continue;
      }
      PropNode prop;
      prop.line = line;
      prop.path = DottedName();
      Expect('=', "'=' after " + prop.path);
      prop.value = ParseValue();
      ExpectLineEnd();
      node.props.push_back(std::move(prop));
    }
  }

  Value ParseValue() {
    SkipSpaces();
    if (AtEnd() || s[pos] == '\n') Fail(line, "a value is missing");
    Value v;
    char c = s[pos];
    if (c == '\'' || c == '#') {
      v.kind = Value::Str;
      v.text = ParseString();
    } else if (c == '[') {
      v.kind = Value::Set;
      ++pos;
      for (;;) {
        SkipSpaces();
        if (!AtEnd() && s[pos] == ']') {
          ++pos;
          break;
        }
        v.items.push_back(Identifier("a set element or ']'"));
        SkipSpaces();
        if (!AtEnd() && s[pos] == ',') {
          ++pos;
          continue;
        }
        Expect(']', "',' or ']' in a set");
        break;
      }
    } else if (c == '-' || c == '+' || c == '$' || (c >= '0' && c <= '9')) {
      v.kind = Value::Int;
      size_t start = pos;
      ++pos;
      while (!AtEnd() && IsIdentChar(s[pos])) ++pos;
      std::string digits = s.substr(start, pos - start);
      try {
        v.number = StrToInt(digits);
      } catch (const EConvertError&) {
        Fail(line, "'" + digits + "' is not a valid integer");
      }
    } else if (IsIdentStart(c)) {
      v.kind = Value::Ident;
      v.text = DottedName();
    } else {
      Fail(line, std::string("unexpected character '") + c + "' in a value");
    }
    return v;
  }

  // 'text' pieces and #code characters, joined; a '+' at the end of a line continues the string.
  std::string ParseString() {
    std::string out;
    int startLine = line;
    for (;;) {
      if (AtEnd()) break;
      char c = s[pos];
      if (c == '\'') {
        ++pos;
        for (;;) {
          if (AtEnd() || s[pos] == '\n')
            Fail(startLine, "unterminated string");
          if (s[pos] == '\'') {
            if (pos + 1 < s.size() && s[pos + 1] == '\'') {
              out += '\'';
              pos += 2;
              continue;
            }
            ++pos;
            break;
          }
          out += s[pos++];
        }
      } else if (c == '#') {
        ++pos;
        size_t start = pos;
        while (!AtEnd() && s[pos] >= '0' && s[pos] <= '9') ++pos;
        if (start == pos) Fail(line, "expected a character code after '#'");
        int code = std::stoi(s.substr(start, std::min<size_t>(pos - start, 6)));
        if (code > 255) Fail(line, "character code #" + std::to_string(code) + " is out of range");
        out += static_cast<char>(code);
      } else {
        break;
      }
      SkipSpaces();
      if (!AtEnd() && s[pos] == '+') {
        ++pos;
        SkipBlanks();
        if (AtEnd() || (s[pos] != '\'' && s[pos] != '#'))
          Fail(line, "expected a string after '+'");
      }
    }
    return out;
  }

  const std::string& s;
  size_t pos = 0;
  int line = 1;
};

// ---- Instantiation: creates components, sets properties, resolves references. ----

class Reader {
 public:
  explicit Reader(TComponent* root) : root(root) {}

  void Read(const ObjectNode& node) {
    try {
      root->SetLoadingState(true);
      if (!node.name.empty()) root->SetName(node.name);
      SetProperties(root, node);
      ReadChildren(root, node);
      ResolveReferences();
    } catch (const EComponentError& e) {
      Undo();
      Fail(currentLine, e.Message);
    } catch (...) {
      Undo();
      throw;
    }
    root->SetLoadingState(false);
    root->Loaded();
    for (TComponent* c : created) {
      c->SetLoadingState(false);
      c->Loaded();
    }
  }

 private:
  struct Fixup {
    TObject* object;
    const TPropInfo* prop;
    std::string name;
    int line;
  };

  void Undo() {
    for (auto it = created.rbegin(); it != created.rend(); ++it) delete *it;
    created.clear();
    root->SetLoadingState(false);
    root->Loaded();
  }

  const TClassInfo* ClassFor(const std::string& name) {
    for (const TClassInfo* c = &root->ClassType(); c; c = c->Parent)
      for (const TFieldInfo& f : c->Fields)
        if (f.FieldClass->Name == name) return f.FieldClass;
    return FindClass(name);
  }

  void ReadChildren(TComponent* parent, const ObjectNode& node) {
    for (const ObjectNode& child : node.children) {
      currentLine = child.line;
      const TClassInfo* cls = ClassFor(child.className);
      if (!cls) throw EClassNotFound("Line " + std::to_string(child.line) + ": class " +
                                     child.className + " not found");
      if (!cls->Create || !cls->InheritsFrom(TComponent::StaticClass()))
        Fail(child.line, "class " + child.className + " is not a component that can be created");
      if (root->FindComponent(child.name))
        Fail(child.line, "a component named " + child.name + " already exists");
      auto* component = static_cast<TComponent*>(cls->Create(root));
      created.push_back(component);
      component->SetLoadingState(true);
      component->SetName(child.name);
      component->SetParentComponent(parent);
      SetProperties(component, child);
      ReadChildren(component, child);
    }
  }

  void SetProperties(TComponent* component, const ObjectNode& node) {
    for (const PropNode& p : node.props) {
      currentLine = p.line;
      SetProperty(component, p);
    }
  }

  void SetProperty(TComponent* component, const PropNode& p) {
    TObject* target = component;
    std::string path = p.path;
    size_t dot;
    while ((dot = path.find('.')) != std::string::npos) {
      std::string head = path.substr(0, dot);
      const TPropInfo* sub = target->ClassType().FindProperty(head);
      if (!sub) Fail(p.line, "property " + head + " does not exist in " + target->ClassName());
      if (!sub->IsSubObject()) Fail(p.line, "property " + head + " has no sub-properties");
      target = sub->GetObj(*target);
      if (!target) Fail(p.line, "property " + head + " holds no object");
      path = path.substr(dot + 1);
    }
    const TPropInfo* prop = target->ClassType().FindProperty(path);
    if (!prop && target == component && (path == "Left" || path == "Top") &&
        p.value.kind == Value::Int) {
      (path == "Left" ? component->DesignLeft : component->DesignTop) =
          static_cast<int32_t>(p.value.number);
      return;
    }
    if (!prop) Fail(p.line, "property " + path + " does not exist in " + target->ClassName());
    if (prop->IsSubObject())
      Fail(p.line, p.path + " is an object; set its properties as " + p.path + ".Name");
    if (!prop->Writable()) Fail(p.line, "property " + p.path + " is read-only");
    const TTypeInfo& type = *prop->PropType();
    auto bad = [&](const std::string& expected) {
      Fail(p.line, "invalid value for " + p.path + ": expected " + expected);
    };
    switch (type.Kind) {
      case tkInteger: {
        if (p.value.kind == Value::Int) {
          prop->SetOrd(*target, p.value.number);
        } else if (p.value.kind == Value::Ident) {
          auto v = type.TextToOrd(p.value.text);
          if (!v) bad("an integer or a known constant, not " + p.value.text);
          prop->SetOrd(*target, *v);
        } else {
          bad("an integer");
        }
        break;
      }
      case tkEnumeration: {
        if (p.value.kind != Value::Ident) bad("one of the names of " + type.Name);
        auto v = type.TextToOrd(p.value.text);
        if (!v) bad("one of the names of " + type.Name + ", not " + p.value.text);
        prop->SetOrd(*target, *v);
        break;
      }
      case tkSet: {
        if (p.value.kind != Value::Set) bad("a set in brackets");
        std::string text = "[";
        for (size_t i = 0; i < p.value.items.size(); ++i) text += (i ? "," : "") + p.value.items[i];
        auto v = type.TextToOrd(text + "]");
        if (!v) bad("elements of " + type.Name);
        prop->SetOrd(*target, *v);
        break;
      }
      case tkString:
        if (p.value.kind != Value::Str) bad("a quoted string");
        prop->SetStr(*target, p.value.text);
        break;
      case tkClass:
        if (p.value.kind != Value::Ident) bad("the name of a component");
        fixups.push_back({target, prop, p.value.text, p.line});
        break;
      case tkMethod:
        Fail(p.line, "event " + p.path + " cannot be bound from a form resource");
    }
  }

  void ResolveReferences() {
    for (const Fixup& f : fixups) {
      currentLine = f.line;
      TComponent* c = AnsiLowerCase(f.name) == AnsiLowerCase(root->Name())
                          ? root
                          : root->FindComponent(f.name);
      if (!c) Fail(f.line, "unresolved reference to " + f.name);
      if (!c->InheritsFrom(*f.prop->PropType()->ClassType))
        Fail(f.line, f.name + " is a " + c->ClassName() + ", not a " + f.prop->PropType()->Name);
      f.prop->SetObj(*f.object, c);
    }
    fixups.clear();
  }

  TComponent* root;
  std::vector<TComponent*> created;
  std::vector<Fixup> fixups;
  int currentLine = 0;
};

// ---- Writing ----

std::string Quote(const std::string& s) {
  std::string out;
  bool open = false;
  for (unsigned char c : s) {
    if (c < ' ') {
      if (open) out += '\'';
      open = false;
      out += "#" + std::to_string(c);
      continue;
    }
    if (!open) out += '\'';
    open = true;
    out += static_cast<char>(c);
    if (c == '\'') out += '\'';
  }
  if (open) out += '\'';
  return out.empty() ? "''" : out;
}

class Writer {
 public:
  explicit Writer(const TComponent* root) : root(root) {}

  std::string Write() {
    WriteObject(root, 0);
    return out;
  }

 private:
  void WriteObject(const TComponent* c, int depth) {
    std::string indent(depth * 2, ' ');
    out += indent + "object " + c->Name() + ": " + c->ClassName() + "\n";
    if (c != root && !c->ClassType().FindProperty("Left")) {
      out += indent + "  Left = " + std::to_string(c->DesignLeft) + "\n";
      out += indent + "  Top = " + std::to_string(c->DesignTop) + "\n";
    }
    WriteProperties(*c, "", indent + "  ");
    for (int i = 0; i < root->ComponentCount(); ++i) {
      const TComponent* child = root->Components(i);
      const TComponent* parent = child->GetParentComponent();
      bool nested = parent && parent != root && parent->Owner() == root;
      if ((c == root && !nested) || (c != root && parent == c)) WriteObject(child, depth + 1);
    }
    out += indent + "end\n";
  }

  void WriteProperties(const TObject& obj, const std::string& prefix, const std::string& indent) {
    for (const TPropInfo* p : obj.ClassType().Properties()) {
      const TTypeInfo& type = *p->PropType();
      std::string name = prefix + p->Name;
      switch (type.Kind) {
        case tkInteger:
        case tkEnumeration:
        case tkSet: {
          if (!p->SetOrd) break;
          int64_t v = p->GetOrd(obj);
          if (p->Default && *p->Default == v) break;
          out += indent + name + " = " + type.OrdToText(v) + "\n";
          break;
        }
        case tkString: {
          std::string v = p->GetStr(obj);
          if (!v.empty()) out += indent + name + " = " + Quote(v) + "\n";
          break;
        }
        case tkClass: {
          const TObject* v = p->GetObj(obj);
          if (!v) break;
          if (p->IsReference()) {
            if (p->SetObj) out += indent + name + " = " + static_cast<const TComponent*>(v)->Name() + "\n";
          } else {
            WriteProperties(*v, name + ".", indent);
          }
          break;
        }
        case tkMethod:
          break;
      }
    }
  }

  const TComponent* root;
  std::string out;
};

}  // namespace

void ReadComponentRes(const std::string& text, TComponent* root) {
  ObjectNode node = Parser(text).ParseRoot();
  if (node.className != root->ClassName())
    Fail(node.line, "the resource describes a " + node.className + ", not a " + root->ClassName());
  Reader(root).Read(node);
}

TComponent* ReadComponent(const std::string& text, TComponent* owner, bool designing) {
  ObjectNode node = Parser(text).ParseRoot();
  const TClassInfo* cls = FindClass(node.className);
  if (!cls) throw EClassNotFound("Line " + std::to_string(node.line) + ": class " + node.className + " not found");
  if (!cls->Create || !cls->InheritsFrom(TComponent::StaticClass()))
    Fail(node.line, "class " + node.className + " is not a component that can be created");
  std::unique_ptr<TComponent> root(static_cast<TComponent*>(cls->Create(owner)));
  if (designing) root->SetDesigning(true);
  Reader(root.get()).Read(node);
  return root.release();
}

std::string WriteComponent(const TComponent* root) { return Writer(root).Write(); }
