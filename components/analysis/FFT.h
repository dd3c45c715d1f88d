#pragma once
// TFFT: a running spectrum of the blocks a recorder delivers.
//
// The component keeps the last N samples of its source in a sliding window; on each block it
// appends the block, transforms the whole window (Transform.h, no window function) and tells its own
// clients evData; they then read Magnitude(i) and BinFrequency(i). N (BufSize) is the smallest power
// of two at least as large as both the BufSize written and the source's block size.
//
// It is a client of its source (one registration in the source's slots) and a source itself (four
// slots of its own). GUI thread only.
#include <cstdint>
#include <memory>

#include "Classes.h"
#include "ClientSlots.h"
#include "Transform.h"

class TRecorder;

class TFFT : public TComponent {
  VCL_CLASS(TFFT)
  explicit TFFT(TComponent* AOwner);
  ~TFFT() override;

  // The recorder that feeds this component, or null. Writing a different recorder leaves the old
  // one's slots, reads the new one's sample rate, registers with it, adjusts N and asks to be told
  // of its destruction. The tables are rebuilt when the recorder reports evOpened.
  TRecorder* Source() const { return FLink.Source(); }
  void SetSource(TRecorder* value);

  // The transform size N. Writing it rebuilds existing tables for the new size (clients then hear
  // evOpened); without tables it only adjusts N. Reads back the adjusted N.
  int32_t BufSize() const { return FBufSize; }
  void SetBufSize(int32_t value);

  // |X[i]| / sqrt(N). Valid while tables exist (from the source's evOpened on), for 0 <= i < N;
  // the callers keep to that, as they read it only while handling this component's evData.
  double Magnitude(int32_t i) const;
  // (sample rate × i) / N in 32-bit integers, truncated; 0 without a sample rate or with N <= 0.
  int32_t BinFrequency(int32_t i) const;

  // Appends the source's block to the window, transforms it and tells the clients evData. Does
  // nothing without a source or tables, or for a block longer than N.
  virtual void Process();
  // The handler registered with the source: evData → Process, evOpened → rebuild the tables,
  // evDestroying → no longer registered there.
  virtual void SourceEvent(TObject* Sender, uint8_t Code);
  virtual void AddClient(TClientEvent client);
  virtual void RemoveClient(TClientEvent client);

  bool HasTables() const { return FSamples != nullptr; }
  bool Attached() const { return FLink.Attached(); }
  const TClientSlots& Clients() const { return FClients; }
  // The kernel running the transform ("scalar", "avx2", "avx512"); empty without tables.
  const char* KernelName() const { return FPlan ? FPlan->KernelName() : ""; }

  static constexpr int32_t kMaxBufSize = int32_t{1} << 30;

 protected:
  void Notification(TComponent* AComponent, TOperation Operation) override;

 private:
  void AttachSource() { FLink.AttachSource(); }
  void DetachSource() { FLink.DetachSource(); }
  void AdjustBufSize();
  void BuildTables();
  void FreeTables();
  // Shifts the source's block into the window and loads the spectrum; false when the block does
  // not fit (longer than N) and nothing was loaded.
  bool LoadBlock();

  TSourceLink<TRecorder> FLink;
  int32_t FBufSize = 1024;
  TClientSlots FClients;
  int32_t FSampleRate = 0;
  double* FSamples = nullptr;       // the window: N samples, oldest first
  double FNorm = 0.0;               // sqrt(N)
  int32_t FStages = 0;
  int32_t* FBitReverse = nullptr;   // N entries
  TComplex* FSpectrum = nullptr;    // N bins
  TComplex** FTwiddles = nullptr;   // FStages + 1 pointers; entry s holds 2^(s-1) twiddles
  int32_t FTableSize = 0;           // the N the tables were built for
  std::unique_ptr<TransformPlan> FPlan;
};
