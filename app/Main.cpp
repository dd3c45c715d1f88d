// Audio Sampling: a live oscilloscope trace, bar spectrum and spectrogram of the system's default
// recording device, in one window, until it is closed.
#include "F_main.h"

namespace {

// The program's GUI entry: takes no notice of its arguments; always returns 0.
int GuiMain(void* /*instance*/, void* /*previousInstance*/, char* /*commandLine*/, int /*show*/) {
  try {
    Application->Initialize();
    Application->CreateForm(TMainForm::StaticClass(), &MainForm);
    Application->Run();
  } catch (Exception& exception) {
    Application->ShowException(&exception);
  }
  return 0;
}

}  // namespace

int main() { return GuiMain(nullptr, nullptr, nullptr, 1); }
