// sample-designer: a command-line form designer for form resources that use the Sample unit.
//
//   sample-designer palette
//   sample-designer show FILE [COMPONENT]
//   sample-designer values FILE COMPONENT.PROPERTY[.SUB...]
//   sample-designer set FILE COMPONENT.PROPERTY[.SUB...]=TEXT ...
//   sample-designer preview FILE OUT.png
//
// The form is loaded as the designer loads it: Sample::Register() first, then the resource read
// with every component in the designing state (so the recorder never opens a device and the views
// paint their previews). A form whose root class the designer does not link (the application's
// own form class) loads into a stand-in TForm that keeps the class name (FormFile.h). Properties
// are shown and set only through their property editors. The window system is always the
// in-memory one, at the form's own PixelsPerInch; the wave-in service is the real one unless
// AS_WAVEIN_BACKEND names another (tests use "scripted").
//
// Exit status: 0 on success, 1 when the form cannot be read or written or an editor refuses a
// value (its message goes to stderr), 2 for a malformed command line.
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "DesignIntf.h"
#include "FormFile.h"
#include "Forms.h"
#include "Inspector.h"
#include "Sample.h"
#include "Streaming.h"
#include "SysUtils.h"
#include "WindowSystem.h"

namespace {

constexpr const char* kUsage =
    "usage: sample-designer palette\n"
    "       sample-designer show FILE [COMPONENT]\n"
    "       sample-designer values FILE COMPONENT.PROPERTY\n"
    "       sample-designer set FILE COMPONENT.PROPERTY=TEXT ...\n"
    "       sample-designer preview FILE OUT.png\n";

// A command line that does not fit the usage.
struct UsageError {
  std::string message;
};

struct Form {
  std::unique_ptr<TComponent> root;
  std::unique_ptr<TDesignerHost> host;
};

Form Load(const std::string& path) {
  Form form;
  const std::string text = ReadTextFile(path);
  try {
    form.root = LoadDesignForm(text);
  } catch (const Exception& e) {
    throw Exception(path + ": " + e.Message);
  }
  form.host = std::make_unique<TDesignerHost>(form.root.get());
  return form;
}

int Palette() {
  for (const TPalettePage& page : PalettePages()) {
    std::cout << page.Name << "\n";
    for (const TClassInfo* cls : page.Classes) std::cout << "  " << cls->Name << "\n";
  }
  return 0;
}

int Show(const std::vector<std::string>& args) {
  if (args.size() < 1 || args.size() > 2) throw UsageError{"show takes FILE [COMPONENT]"};
  Form form = Load(args[0]);
  if (args.size() == 2) {
    ShowComponent(*form.host, FindDesignComponent(form.root.get(), args[1]), std::cout);
    return 0;
  }
  ShowComponent(*form.host, form.root.get(), std::cout);
  for (int i = 0; i < form.root->ComponentCount(); ++i)
    ShowComponent(*form.host, form.root->Components(i), std::cout);
  return 0;
}

int Values(const std::vector<std::string>& args) {
  if (args.size() != 2) throw UsageError{"values takes FILE COMPONENT.PROPERTY"};
  Form form = Load(args[0]);
  std::unique_ptr<TPropertyEditor> editor = FindPropertyEditorByPath(*form.host, args[1]);
  editor->GetValues([](const std::string& value) { std::cout << value << "\n"; });
  return 0;
}

// Every assignment goes through its editor's SetValue, whatever the editor's attributes say
// about typing: on a command line a chosen and a typed text are the same thing, and an editor
// that takes no text raises. The file is written only once every assignment succeeded.
int Set(const std::vector<std::string>& args) {
  if (args.size() < 2) throw UsageError{"set takes FILE and at least one COMPONENT.PROPERTY=TEXT"};
  std::vector<std::pair<std::string, std::string>> assignments;
  for (size_t i = 1; i < args.size(); ++i) {
    const size_t eq = args[i].find('=');
    if (eq == std::string::npos)
      throw UsageError{"'" + args[i] + "' is not an assignment COMPONENT.PROPERTY=TEXT"};
    assignments.emplace_back(args[i].substr(0, eq), args[i].substr(eq + 1));
  }
  Form form = Load(args[0]);
  for (const auto& [path, text] : assignments) {
    try {
      FindPropertyEditorByPath(*form.host, path)->SetValue(text);
    } catch (const Exception& e) {
      throw Exception(path + ": " + e.Message);
    }
  }
  ReplaceTextFile(args[0], WriteComponent(form.root.get()));
  return 0;
}

int Preview(const std::vector<std::string>& args) {
  if (args.size() != 2) throw UsageError{"preview takes FILE OUT.png"};
  Form form = Load(args[0]);
  if (!form.root->InheritsFrom(TCustomForm::StaticClass()))
    throw Exception("The root of " + args[0] + " is a " + form.root->ClassName() + ", not a form");
  auto* window = static_cast<TCustomForm*>(form.root.get());
  window->Show();
  window->Invalidate();
  window->PaintPending();
  if (!window->Surface().SavePng(args[1])) throw EInOutError("cannot write " + args[1]);
  return 0;
}

int Run(const std::vector<std::string>& args) {
  if (args.empty()) throw UsageError{"no command given"};
  const std::string& command = args[0];
  const std::vector<std::string> rest(args.begin() + 1, args.end());
  if (command == "palette") {
    if (!rest.empty()) throw UsageError{"palette takes no arguments"};
    return Palette();
  }
  if (command == "show") return Show(rest);
  if (command == "values") return Values(rest);
  if (command == "set") return Set(rest);
  if (command == "preview") return Preview(rest);
  throw UsageError{"unknown command '" + command + "'"};
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  if (args.size() == 1 && (args[0] == "-h" || args[0] == "--help")) {
    std::cout << kUsage;
    return 0;
  }
  // Before anything can touch the window system: forms made here never reach a screen.
  SelectWindowSystem("headless");
  try {
    Sample::Register();
    return Run(args);
  } catch (const UsageError& e) {
    std::cerr << "sample-designer: " << e.message << "\n" << kUsage;
    return 2;
  } catch (const Exception& e) {
    std::cerr << "sample-designer: " << e.Message << "\n";
    return 1;
  } catch (const std::exception& e) {
    std::cerr << "sample-designer: " << e.what() << "\n";
    return 1;
  }
}
