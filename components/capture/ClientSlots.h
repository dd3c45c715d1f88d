#pragma once
// The link between a source of sample blocks (TRecorder, the FFT component) and its clients (the
// FFT component, the views).
//
// A source embeds a TClientSlots as FClients and forwards its AddClient / RemoveClient to it; it
// calls Notify to tell every client what happened. A client keeps a TSourceLink<TSource> that
// remembers its source and whether it has added itself there.
//
// Contract of the slots:
//  - Four slots, a fixed array: adding, removing and notifying never allocate.
//  - Add puts the client in the highest-numbered empty slot; with all four taken the client is
//    dropped without a word. There is no duplicate check: adding the same method twice takes two
//    slots and it is then called twice per notice.
//  - Remove empties every slot holding a method equal to the given one (same object AND same
//    member function); a method of another object, or another method of the same object, stays.
//  - Notify calls the slots in order 0, 1, 2, 3, reading each slot just before its turn: a handler
//    that empties a later slot keeps that client from being called in this pass, and one that
//    fills a later slot has the new client called in this pass. An exception from a client
//    propagates out of Notify and the remaining slots are not called.
//
// Threads: GUI thread only, like the components that use it.
#include <cstdint>

#include "System.h"

// What a source tells its clients (the second argument of TClientEvent).
enum TClientCode : uint8_t {
  evData = 0,        // a new block is readable (or the last one is offered again)
  evDestroying = 1,  // the source is being destroyed; do not call it again
  evClosed = 2,      // the source's device has closed
  evOpened = 3,      // the source's device has opened
};

// A client's handler: (Sender, Code), Sender being the source.
using TClientEvent = TBoundMethod<TObject*, uint8_t>;

class TClientSlots {
 public:
  static constexpr int kSlotCount = 4;

  void Add(const TClientEvent& client);
  void Remove(const TClientEvent& client);
  void Notify(TObject* sender, uint8_t code) const;

  // The method in slot `index` (0 .. 3); empty (not Assigned) when the slot is free.
  const TClientEvent& Slot(int index) const { return FSlots[index]; }

 private:
  TClientEvent FSlots[kSlotCount];
};

// The client side: the source a client reads from and whether the client has added itself there.
// TSource is any class with AddClient(TClientEvent) and RemoveClient(TClientEvent). It needs to be
// complete only where SetSource is used: the link keeps the two calls it needs from there, so a
// header may declare the source class forward and still attach and detach inline.
//
//   class TWaveView : ... {
//     TSourceLink<TRecorder> FLink{MakeMethod<&TWaveView::SourceEvent>(this)};
//     void SourceEvent(TObject* sender, uint8_t code) { FLink.SourceNotice(code); ... }
//   };
//
// The link neither owns nor watches the source: the client still asks for FreeNotification and
// calls ForgetSource when told the source is removed.
template <class TSource>
class TSourceLink {
 public:
  TSourceLink() = default;
  explicit TSourceLink(TClientEvent closure) : FClosure(closure) {}

  TSource* Source() const { return FSource; }
  bool Attached() const { return FAttached; }
  const TClientEvent& Closure() const { return FClosure; }
  void SetClosure(TClientEvent closure) { FClosure = closure; }

  // Detaches from the current source (see DetachSource) unless `source` is that same source, then
  // remembers `source`. Does not attach to the new one.
  void SetSource(TSource* source) {
    if (source == FSource) return;
    DetachSource();
    FSource = source;
    FAdd = source ? &AddTo : nullptr;
    FRemove = source ? &RemoveFrom : nullptr;
  }

  // With a source and not yet attached: adds the closure to the source and counts as attached,
  // even when the source had no free slot and dropped the closure. Without a source: nothing.
  void AttachSource() {
    if (!FSource || FAttached) return;
    FAdd(FSource, FClosure);
    FAttached = true;
  }

  // With a source and attached: removes the closure from the source. Not attached afterwards, in
  // every case.
  void DetachSource() {
    if (FSource && FAttached) FRemove(FSource, FClosure);
    FAttached = false;
  }

  // To be called with every code the source sends. On evDestroying the source is going away: the
  // link only stops counting itself attached (the pointer stays until ForgetSource), so that a
  // later DetachSource makes no call into it.
  void SourceNotice(uint8_t code) {
    if (code == evDestroying) FAttached = false;
  }

  // Drops the source without calling it (the source is gone).
  void ForgetSource() {
    FSource = nullptr;
    FAttached = false;
    FAdd = FRemove = nullptr;
  }

 private:
  using Call = void (*)(TSource*, const TClientEvent&);
  static void AddTo(TSource* source, const TClientEvent& client) { source->AddClient(client); }
  static void RemoveFrom(TSource* source, const TClientEvent& client) {
    source->RemoveClient(client);
  }

  TSource* FSource = nullptr;
  bool FAttached = false;
  TClientEvent FClosure;
  Call FAdd = nullptr;
  Call FRemove = nullptr;
};
