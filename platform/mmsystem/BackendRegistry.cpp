// The one place that knows which backends exist: a table of factories by name.
#include <string>

#include "WaveInBackend.h"
#include "scripted/ScriptedBackend.h"
#include "sdl/SdlBackend.h"

namespace mmsystem {
namespace {

struct Factory {
  const char* name;
  std::unique_ptr<Backend> (*make)();
};

constexpr Factory kFactories[] = {
    {"sdl", &MakeSdlBackend},
    {"scripted", &MakeScriptedBackend},
};

}  // namespace

std::unique_ptr<Backend> MakeBackend(std::string_view name) {
  for (const Factory& factory : kFactories) {
    if (name == factory.name) return factory.make();
  }
  return nullptr;
}

const char* KnownBackendNames() {
  static const std::string names = [] {
    std::string list;
    for (const Factory& factory : kFactories)
      list += (list.empty() ? "" : ", ") + std::string(factory.name);
    return list;
  }();
  return names.c_str();
}

}  // namespace mmsystem
