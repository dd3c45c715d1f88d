#include "FormFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>
#include <vector>

#include "Forms.h"
#include "Streaming.h"
#include "SysUtils.h"
#include "headless/Headless.h"

namespace {

// A TForm standing in for a form class this program does not have: it reports the class
// information made for that name, whose ancestor is TForm, so it publishes TForm's properties
// and is written under the original class name.
class TStandInForm : public TForm {
 public:
  TStandInForm(TComponent* owner, const TClassInfo& cls) : TForm(owner), FClass(cls) {}
  const TClassInfo& ClassType() const override { return FClass; }

 private:
  const TClassInfo& FClass;
};

// The class named on the resource's first "object Name: Class" line, or "" when the text does
// not start that way (the reader then reports the fault).
std::string RootClassName(const std::string& text) {
  std::istringstream in(text);
  std::string keyword, name, cls;
  if (!(in >> keyword)) return "";
  const std::string lower = AnsiLowerCase(keyword);
  if (lower != "object" && lower != "inherited") return "";
  if (!(in >> name)) return "";
  // "Name: Class", "Name : Class" or "Name:Class".
  std::string::size_type colon = name.find(':');
  if (colon != std::string::npos) {
    cls = name.substr(colon + 1);
  } else {
    std::string sep;
    if (!(in >> sep) || sep.empty() || sep[0] != ':') return "";
    cls = sep.substr(1);
  }
  if (cls.empty() && !(in >> cls)) return "";
  return cls;
}

// The root's own "PixelsPerInch = N" (the lines before its first nested object), or 0 when the
// resource does not set it.
int32_t DesignPixelsPerInch(const std::string& text) {
  std::istringstream in(text);
  std::string line;
  std::getline(in, line);  // object Name: Class
  while (std::getline(in, line)) {
    std::istringstream words(line);
    std::string name, eq, value;
    if (!(words >> name)) continue;
    const std::string lower = AnsiLowerCase(name);
    if (lower == "object" || lower == "inherited" || lower == "end") break;
    if (lower != "pixelsperinch" || !(words >> eq >> value) || eq != "=") continue;
    try {
      return StrToInt(value);
    } catch (const EConvertError&) {
      return 0;  // the reader reports it
    }
  }
  return 0;
}

// Registers a stand-in class for `name` (once per name; the information lives for the process).
void RegisterStandIn(const std::string& name) {
  static std::vector<std::unique_ptr<TClassInfo>> standIns;
  auto info = std::make_unique<TClassInfo>(
      TClassBuilder<TStandInForm>(name.c_str(), &TForm::StaticClass()).Build());
  const TClassInfo* cls = info.get();
  info->Create = [cls](TComponent* owner) -> TObject* { return new TStandInForm(owner, *cls); };
  RegisterClass(*info);
  standIns.push_back(std::move(info));
}

[[noreturn]] void Fail(const std::string& what, const std::string& path) {
  throw EInOutError(what + " " + path + ": " + std::strerror(errno));
}

}  // namespace

std::unique_ptr<TComponent> LoadDesignForm(const std::string& text) {
  const std::string root = RootClassName(text);
  if (!root.empty() && !FindClass(root)) RegisterStandIn(root);
  // The form is designed at its own resolution: with the screen reporting the form's pixels per
  // inch, loading does not rescale it, so it is written back at the size it was designed.
  if (const int32_t ppi = DesignPixelsPerInch(text); ppi > 0) SetHeadlessPixelsPerInch(ppi);
  return std::unique_ptr<TComponent>(ReadComponent(text, nullptr, /*designing=*/true));
}

std::string ReadTextFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) Fail("cannot open", path);
  std::ostringstream text;
  text << in.rdbuf();
  if (in.bad()) Fail("cannot read", path);
  return text.str();
}

void ReplaceTextFile(const std::string& path, const std::string& text) {
  struct stat original {};
  const bool exists = ::stat(path.c_str(), &original) == 0;
  std::string temp = path + ".XXXXXX";
  std::vector<char> name(temp.begin(), temp.end());
  name.push_back('\0');
  const int fd = ::mkstemp(name.data());
  if (fd < 0) Fail("cannot create a temporary file beside", path);
  temp = name.data();
  auto abandon = [&](const char* what) {
    const int saved = errno;
    ::close(fd);
    ::unlink(temp.c_str());
    errno = saved;
    Fail(what, path);
  };
  size_t written = 0;
  while (written < text.size()) {
    const ssize_t n = ::write(fd, text.data() + written, text.size() - written);
    if (n < 0) {
      if (errno == EINTR) continue;
      abandon("cannot write");
    }
    written += static_cast<size_t>(n);
  }
  if (exists && ::fchmod(fd, original.st_mode & 07777) != 0) abandon("cannot set the mode of");
  if (::fsync(fd) != 0) abandon("cannot flush");
  if (::close(fd) != 0) {
    ::unlink(temp.c_str());
    Fail("cannot close", path);
  }
  if (::rename(temp.c_str(), path.c_str()) != 0) {
    const int saved = errno;
    ::unlink(temp.c_str());
    errno = saved;
    Fail("cannot replace", path);
  }
}
