#include "FFT.h"

#include <cmath>
#include <cstring>
#include <new>

#include "Recorder.h"

const TClassInfo& TFFT::StaticClass() {
  static const TClassInfo info =
      TClassBuilder<TFFT>("TFFT", &TComponent::StaticClass())
          .Factory()
          .Object<TRecorder>("Source", [](const TFFT& o) { return o.Source(); },
                             [](TFFT& o, TObject* v) { o.SetSource(static_cast<TRecorder*>(v)); })
          .Integer("BufSize", [](const TFFT& o) { return o.BufSize(); },
                   [](TFFT& o, int64_t v) { o.SetBufSize(static_cast<int32_t>(v)); }, 1024)
          .Build();
  return info;
}

TFFT::TFFT(TComponent* AOwner) : TComponent(AOwner), FLink(MakeMethod<&TFFT::SourceEvent>(this)) {}

TFFT::~TFFT() {
  DetachSource();
  FClients.Notify(this, evDestroying);
  FreeTables();
}

void TFFT::SetSource(TRecorder* value) {
  if (value == Source()) return;
  DetachSource();
  FLink.SetSource(value);
  if (value) FSampleRate = value->Quality()->Frequency();
  AttachSource();
  AdjustBufSize();
  // Tables built for another size must never meet a block of this one: rebuild them for the new N.
  if (FSamples && FBufSize != FTableSize) BuildTables();
  if (value) value->FreeNotification(this);
}

void TFFT::SetBufSize(int32_t value) {
  FBufSize = value;
  bool hadTables = FSamples != nullptr;
  FreeTables();
  if (hadTables)
    BuildTables();
  else
    AdjustBufSize();
}

void TFFT::AdjustBufSize() {
  int32_t s = Source() ? Source()->BufSize() : 0;
  int32_t t = FBufSize;
  if (s > t) t = s;
  if (t > kMaxBufSize) t = kMaxBufSize;
  int32_t a = 1;
  while (a < t) a = 2 * a;
  FBufSize = a;
}

void TFFT::BuildTables() {
  if (!Source()) return;
  FreeTables();
  AdjustBufSize();
  const int32_t n = FBufSize;
  try {
    FSamples = new double[n]();
    FNorm = std::sqrt(static_cast<double>(n));
    FStages = TransformStageCount(n);
    FBitReverse = new int32_t[n];
    BuildBitReverseTable(n, FBitReverse);
    FSpectrum = new TComplex[n];
    FTwiddles = new TComplex*[FStages + 1]();
    for (int32_t s = 1, half = 1; s <= FStages; ++s, half *= 2) {
      // The butterflies of stage s read only its first 2^(s-1) twiddles, so only those are kept.
      FTwiddles[s] = new TComplex[half];
      BuildTwiddleTable(half, s, FTwiddles[s]);
    }
    FTableSize = n;
    if (n <= kMaxTransformSize) FPlan = std::make_unique<TransformPlan>(n, FBitReverse, FTwiddles);
  } catch (const std::bad_alloc&) {
    FreeTables();
    throw EOutOfMemory("Not enough memory for the tables of a " + IntToStr(n) + "-point FFT");
  }
  FClients.Notify(this, evOpened);
}

void TFFT::FreeTables() {
  FPlan.reset();
  delete[] FSamples;
  FSamples = nullptr;
  delete[] FBitReverse;
  FBitReverse = nullptr;
  if (FTwiddles) {
    for (int32_t s = 1; s <= FStages; ++s) delete[] FTwiddles[s];
    delete[] FTwiddles;
    FTwiddles = nullptr;
  }
  delete[] FSpectrum;
  FSpectrum = nullptr;
  FTableSize = 0;
}

bool TFFT::LoadBlock() {
  const int32_t n = FTableSize;
  const int32_t a = Source()->SampleCount();
  if (a > n || a < 0) return false;
  std::memmove(FSamples, FSamples + a, static_cast<size_t>(n - a) * sizeof(double));
  for (int32_t i = 0; i < a; ++i) FSamples[n - a + i] = static_cast<double>(Source()->GetSample(i));
  return true;
}

void TFFT::Process() {
  if (!Source() || !FSamples) return;
  if (!LoadBlock()) return;
  if (FPlan) {
    FPlan->Run(FSamples, FSpectrum);
  } else {
    BitReversedCopy(FSamples, FBitReverse, FTableSize, FSpectrum);
    ReferenceTransform(FSpectrum, FTableSize, FStages, FTwiddles);
  }
  FClients.Notify(this, evData);
}

double TFFT::Magnitude(int32_t i) const {
  const TComplex& x = FSpectrum[i];
  return std::sqrt(x.Re * x.Re + x.Im * x.Im) / FNorm;
}

int32_t TFFT::BinFrequency(int32_t i) const {
  if (FBufSize <= 0) return 0;
  return static_cast<int32_t>((static_cast<int64_t>(FSampleRate) * i) / FBufSize);
}

void TFFT::SourceEvent(TObject*, uint8_t Code) {
  FLink.SourceNotice(Code);
  switch (Code) {
    case evData:
      Process();
      break;
    case evOpened:
      BuildTables();
      break;
    default:
      break;
  }
}

void TFFT::AddClient(TClientEvent client) { FClients.Add(client); }

void TFFT::RemoveClient(TClientEvent client) { FClients.Remove(client); }

void TFFT::Notification(TComponent* AComponent, TOperation Operation) {
  TComponent::Notification(AComponent, Operation);
  if (Operation == opRemove && AComponent && AComponent == Source()) {
    // A source that merely leaves its owner is still alive: leave its slots before forgetting it.
    DetachSource();
    FLink.ForgetSource();
    FreeTables();
  }
}
