#include "Inspector.h"

#include "SysUtils.h"

namespace {

void ShowProperty(TPropertyEditor& editor, int depth, std::ostream& out) {
  std::string value;
  try {
    value = editor.GetValue();
  } catch (const Exception& e) {
    value = "<" + e.Message + ">";
  }
  out << std::string(static_cast<size_t>(depth) * 2, ' ') << editor.GetName() << " = " << value
      << "\n";
  if (!editor.GetAttributes().Contains(paSubProperties)) return;
  editor.GetProperties(
      [&](std::unique_ptr<TPropertyEditor> sub) { ShowProperty(*sub, depth + 1, out); });
}

std::vector<std::string> SplitPath(const std::string& path) {
  std::vector<std::string> parts;
  size_t start = 0;
  for (;;) {
    const size_t dot = path.find('.', start);
    parts.push_back(path.substr(start, dot == std::string::npos ? std::string::npos : dot - start));
    if (dot == std::string::npos) return parts;
    start = dot + 1;
  }
}

}  // namespace

TComponent* FindDesignComponent(TComponent* root, const std::string& name) {
  if (!name.empty() && AnsiLowerCase(root->Name()) == AnsiLowerCase(name)) return root;
  if (TComponent* component = root->FindComponent(name)) return component;
  throw EComponentError("The form has no component named '" + name + "'");
}

std::unique_ptr<TPropertyEditor> FindPropertyEditorByPath(TDesignerHost& host,
                                                          const std::string& path) {
  const std::vector<std::string> parts = SplitPath(path);
  if (parts.size() < 2 || parts[0].empty())
    throw EPropertyError("'" + path + "' does not name a property: use Component.Property");
  TComponent* component = FindDesignComponent(host.Root(), parts[0]);
  std::string reached = component->Name();
  std::unique_ptr<TPropertyEditor> found;
  auto take = [&](const std::string& wanted) {
    return [&found, wanted](std::unique_ptr<TPropertyEditor> editor) {
      if (!found && AnsiLowerCase(editor->GetName()) == AnsiLowerCase(wanted))
        found = std::move(editor);
    };
  };
  GetComponentProperties(&host, {component}, take(parts[1]));
  if (!found) throw EPropertyError(reached + " has no property '" + parts[1] + "'");
  reached += "." + found->GetName();
  for (size_t i = 2; i < parts.size(); ++i) {
    std::unique_ptr<TPropertyEditor> parent = std::move(found);
    if (parent->GetAttributes().Contains(paSubProperties)) parent->GetProperties(take(parts[i]));
    if (!found) throw EPropertyError(reached + " has no sub-property '" + parts[i] + "'");
    reached += "." + found->GetName();
  }
  return found;
}

void ShowComponent(TDesignerHost& host, TComponent* component, std::ostream& out) {
  out << component->Name() << ": " << component->ClassName() << "\n";
  GetComponentProperties(&host, {component}, [&](std::unique_ptr<TPropertyEditor> editor) {
    ShowProperty(*editor, 1, out);
  });
}
