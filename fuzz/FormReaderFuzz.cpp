// Feeds arbitrary text to the form resource reader, with the real component classes known, and
// writes back whatever it accepted. Any crash, leak or sanitizer report is a fault; EReadError and
// the other framework exceptions are the expected answers to bad input.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "Forms.h"
#include "Sample.h"
#include "Streaming.h"
#include "WindowSystem.h"
#include "Windows.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool ready = [] {
    SelectWindowSystem("headless");
    for (const TClassInfo* c : {&TForm::StaticClass(), &TRecorder::StaticClass(),
                                &TFFT::StaticClass(), &TWaveView::StaticClass(),
                                &TSpectralView::StaticClass(), &TFingerprintView::StaticClass()})
      RegisterClass(*c);
    return true;
  }();
  (void)ready;
  std::string text(reinterpret_cast<const char*>(data), size);
  try {
    std::unique_ptr<TComponent> root(ReadComponent(text, nullptr, /*designing=*/true));
    std::string written = WriteComponent(root.get());
    std::unique_ptr<TComponent> again(ReadComponent(written, nullptr, true));
    if (WriteComponent(again.get()) != written) __builtin_trap();  // the writer must round-trip
  } catch (const Exception&) {
  }
  MessageQueue::Reset();
  return 0;
}
