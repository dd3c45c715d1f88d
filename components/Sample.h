#pragma once
// The component unit Sample: live audio capture, its spectrum and three displays, with the design-
// time support that puts them into the form designer.
//
//   TRecorder         captures blocks from a recording device (Quality, Device)
//   TFFT              running spectrum of a recorder's blocks
//   TWaveView         oscilloscope trace of a recorder's latest block
//   TSpectralView     bar spectrum of an FFT component
//   TFingerprintView  sweeping spectrogram of an FFT component
//   TAudioLineParameters, TWaveInDeviceID   the recorder's settings objects
//   TAudioLineParametersProperty, TWaveInDeviceIDProperty   their property editors
#include "AudioLineParameters.h"
#include "AudioLineParametersProperty.h"
#include "FFT.h"
#include "FingerprintView.h"
#include "Recorder.h"
#include "SpectralView.h"
#include "WaveInDeviceID.h"
#include "WaveInDeviceIDProperty.h"
#include "WaveView.h"

namespace Sample {

// The unit's design-time entry point, called by the design environment when it installs the unit
// (never by an application): puts TRecorder, TFFT, TWaveView, TFingerprintView and TSpectralView,
// in this order, on the palette page "Vornex", then binds TWaveInDeviceIDProperty and
// TAudioLineParametersProperty to every property of their types, on any component class and under
// any name.
void Register();

}  // namespace Sample
