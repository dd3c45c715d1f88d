#include "Sample.h"

namespace Sample {

void Register() {
  RegisterComponents("Vornex",
                     {&TRecorder::StaticClass(), &TFFT::StaticClass(), &TWaveView::StaticClass(),
                      &TFingerprintView::StaticClass(), &TSpectralView::StaticClass()});
  RegisterPropertyEditor(&TWaveInDeviceID::StaticClass().Type, nullptr, "",
                         PropertyEditorClass<TWaveInDeviceIDProperty>());
  RegisterPropertyEditor(&TAudioLineParameters::StaticClass().Type, nullptr, "",
                         PropertyEditorClass<TAudioLineParametersProperty>());
}

}  // namespace Sample
