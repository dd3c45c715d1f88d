#pragma once
// The main window: a recorder, an FFT component and the three views, created, set up and linked
// by the form resource F_main.dfm. The form has no code of its own.
#include "Forms.h"
#include "Sample.h"

class TMainForm : public TForm {
  VCL_CLASS(TMainForm)
  // Published: filled with the components of the same names when the form resource is read.
  TRecorder* Recorder1 = nullptr;
  TWaveView* WaveView1 = nullptr;
  TFingerprintView* FingerprintView1 = nullptr;
  TSpectralView* SpectralView1 = nullptr;
  TFFT* FFT1 = nullptr;

  explicit TMainForm(TComponent* Owner);
};

extern TMainForm* MainForm;
