#pragma once
// A lock-free byte ring between exactly one producer thread (the capture thread) and one consumer
// thread (the GUI thread).
//
// The producer only calls Free() and Write(); the consumer only calls Available(), Read() and
// Discard(). Neither side ever blocks, allocates or throws. The two positions count bytes since
// the ring was made and never wrap in practice (64 bits), so "full" and "empty" need no spare slot.
// A write is published with a release store of the head and seen by the consumer's acquire load,
// which is what makes the copied bytes visible to it.
#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>

namespace mmsystem {

class CaptureRing {
 public:
  // `capacity` is rounded up to a power of two. Allocates; may throw std::bad_alloc.
  explicit CaptureRing(size_t capacity) {
    size_t size = 1;
    while (size < capacity) size <<= 1;
    FData = std::make_unique<uint8_t[]>(size);
    FMask = size - 1;
  }
  CaptureRing(const CaptureRing&) = delete;
  CaptureRing& operator=(const CaptureRing&) = delete;

  size_t Capacity() const { return FMask + 1; }

  // Producer: bytes that can be written now.
  size_t Free() const {
    uint64_t head = FHead.load(std::memory_order_relaxed);
    uint64_t tail = FTail.load(std::memory_order_acquire);
    return Capacity() - static_cast<size_t>(head - tail);
  }

  // Producer: copies min(count, Free()) bytes in and returns how many.
  size_t Write(const void* bytes, size_t count) {
    count = std::min(count, Free());
    uint64_t head = FHead.load(std::memory_order_relaxed);
    CopyIn(static_cast<size_t>(head) & FMask, static_cast<const uint8_t*>(bytes), count);
    FHead.store(head + count, std::memory_order_release);
    return count;
  }

  // Consumer: bytes waiting to be read.
  size_t Available() const {
    uint64_t head = FHead.load(std::memory_order_acquire);
    uint64_t tail = FTail.load(std::memory_order_relaxed);
    return static_cast<size_t>(head - tail);
  }

  // Consumer: moves min(count, Available()) bytes out and returns how many.
  size_t Read(void* out, size_t count) {
    count = std::min(count, Available());
    uint64_t tail = FTail.load(std::memory_order_relaxed);
    CopyOut(static_cast<size_t>(tail) & FMask, static_cast<uint8_t*>(out), count);
    FTail.store(tail + count, std::memory_order_release);
    return count;
  }

  // Consumer: drops min(count, Available()) bytes and returns how many.
  size_t Discard(size_t count) {
    count = std::min(count, Available());
    FTail.store(FTail.load(std::memory_order_relaxed) + count, std::memory_order_release);
    return count;
  }

 private:
  void CopyIn(size_t at, const uint8_t* from, size_t count) {
    size_t first = std::min(count, Capacity() - at);
    if (first) std::memcpy(FData.get() + at, from, first);
    if (count > first) std::memcpy(FData.get(), from + first, count - first);
  }
  void CopyOut(size_t at, uint8_t* to, size_t count) const {
    size_t first = std::min(count, Capacity() - at);
    if (first) std::memcpy(to, FData.get() + at, first);
    if (count > first) std::memcpy(to + first, FData.get(), count - first);
  }

  std::unique_ptr<uint8_t[]> FData;
  size_t FMask = 0;
  alignas(64) std::atomic<uint64_t> FHead{0};  // written by the producer only
  alignas(64) std::atomic<uint64_t> FTail{0};  // written by the consumer only
};

}  // namespace mmsystem
