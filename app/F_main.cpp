#include "F_main.h"

TMainForm* MainForm = nullptr;

const TClassInfo& TMainForm::StaticClass() {
  static const TClassInfo info = TClassBuilder<TMainForm>("TMainForm", &TForm::StaticClass())
                                     .Factory()
                                     .PublishedField("Recorder1", &TMainForm::Recorder1)
                                     .PublishedField("WaveView1", &TMainForm::WaveView1)
                                     .PublishedField("FingerprintView1", &TMainForm::FingerprintView1)
                                     .PublishedField("SpectralView1", &TMainForm::SpectralView1)
                                     .PublishedField("FFT1", &TMainForm::FFT1)
                                     .Build();
  return info;
}

TMainForm::TMainForm(TComponent* Owner) : TForm(Owner) {}
