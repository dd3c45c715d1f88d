#include "OpaqueSource.h"

class TOpaqueSource : public TObject {
 public:
  void AddClient(TClientEvent) { calls += calls.empty() ? "add" : " add"; }
  void RemoveClient(TClientEvent) { calls += calls.empty() ? "remove" : " remove"; }
  std::string calls;
};

TOpaqueSource* MakeOpaqueSource() { return new TOpaqueSource; }
void FreeOpaqueSource(TOpaqueSource* source) { delete source; }
void SetOpaqueSource(TSourceLink<TOpaqueSource>& link, TOpaqueSource* source) {
  link.SetSource(source);
}
std::string OpaqueSourceCalls(const TOpaqueSource* source) { return source->calls; }
