#pragma once
// Text resources compiled into the program (cmake: embed_resource), found by name.
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

// Registers `data` under `name` for the life of the program; made by the generated resource files.
struct ResourceRegistration {
  ResourceRegistration(const char* name, const char* data, size_t size);
};

// The resource registered under `name`, or nullopt.
std::optional<std::string_view> FindResource(const std::string& name);
