#pragma once
// The object inspector of the command-line designer: properties shown and set through their
// property editors, as the designer's inspector would.
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "Classes.h"
#include "DesignIntf.h"

// The designer host: counts the changes editors report, and names the form as the root of the
// component references.
class TDesignerHost : public IDesigner {
 public:
  explicit TDesignerHost(TComponent* root) : FRoot(root) {}
  void Modified() override { ++FModified; }
  TComponent* Root() const override { return FRoot; }
  int ModifiedCount() const { return FModified; }

 private:
  TComponent* FRoot;
  int FModified = 0;
};

// The root itself when `name` is its name, else the component of that name the root owns (names
// compare case-insensitively). Raises EComponentError when there is none.
TComponent* FindDesignComponent(TComponent* root, const std::string& name);

// The editor for "Component.Property[.SubProperty...]": the component's property editor, then
// the sub-property editors offered by GetProperties, matched by name case-insensitively. Raises
// EPropertyError naming the part that is not found.
std::unique_ptr<TPropertyEditor> FindPropertyEditorByPath(TDesignerHost& host,
                                                          const std::string& path);

// Writes "Name: Class" and then every property as "  Name = Value", each value as its editor's
// GetValue; the sub-properties of an editor with paSubProperties follow indented two more blanks.
// A value the editor cannot show is written as "<message>".
void ShowComponent(TDesignerHost& host, TComponent* component, std::ostream& out);
