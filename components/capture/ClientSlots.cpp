#include "ClientSlots.h"

void TClientSlots::Add(const TClientEvent& client) {
  int free = -1;
  for (int i = 0; i < kSlotCount; ++i)
    if (!FSlots[i]) free = i;
  if (free >= 0) FSlots[free] = client;
}

void TClientSlots::Remove(const TClientEvent& client) {
  for (TClientEvent& slot : FSlots)
    if (slot == client) slot.Clear();
}

void TClientSlots::Notify(TObject* sender, uint8_t code) const {
  for (int i = 0; i < kSlotCount; ++i) {
    // A copy taken at this slot's turn: earlier handlers may have changed it, and the handler
    // called now may change it again while it runs.
    const TClientEvent client = FSlots[i];
    if (client) client(sender, code);
  }
}
