#include "Resources.h"

#include <map>

namespace {
std::map<std::string, std::string_view>& Table() {
  static std::map<std::string, std::string_view> table;
  return table;
}
}  // namespace

ResourceRegistration::ResourceRegistration(const char* name, const char* data, size_t size) {
  Table()[name] = std::string_view(data, size);
}

std::optional<std::string_view> FindResource(const std::string& name) {
  auto it = Table().find(name);
  if (it == Table().end()) return std::nullopt;
  return it->second;
}
