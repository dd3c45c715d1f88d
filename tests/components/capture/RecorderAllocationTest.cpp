// Steady capture allocates nothing per block, end to end on the GUI thread: the service moves the
// captured bytes into the queued headers and posts the notices, the recorder turns its ring of
// headers, and its clients read each block in place. This binary replaces the global allocation
// functions with counting ones and counts over everything a block goes through.
#include <gtest/gtest.h>

#include <cstdlib>
#include <new>
#include <vector>

#include "RecorderTestSupport.h"

namespace {

// Only allocations made on the counting thread while counting is switched on are counted.
thread_local bool tCounting = false;
thread_local long tAllocations = 0;

void* Allocate(std::size_t size, std::size_t alignment = 0) {
  if (tCounting) ++tAllocations;
  if (size == 0) size = 1;
  void* p = alignment > alignof(std::max_align_t)
                ? std::aligned_alloc(alignment, (size + alignment - 1) / alignment * alignment)
                : std::malloc(size);
  if (!p) throw std::bad_alloc();
  return p;
}

}  // namespace

void* operator new(std::size_t size) { return Allocate(size); }
void* operator new[](std::size_t size) { return Allocate(size); }
void* operator new(std::size_t size, std::align_val_t a) {
  return Allocate(size, static_cast<std::size_t>(a));
}
void* operator new[](std::size_t size, std::align_val_t a) {
  return Allocate(size, static_cast<std::size_t>(a));
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  try {
    return Allocate(size);
  } catch (...) {
    return nullptr;
  }
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
  try {
    return Allocate(size);
  } catch (...) {
    return nullptr;
  }
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, std::align_val_t) noexcept { std::free(p); }
void operator delete[](void* p, std::align_val_t) noexcept { std::free(p); }
void operator delete(void* p, std::size_t, std::align_val_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t, std::align_val_t) noexcept { std::free(p); }

namespace {

class TCountingRecorder : public TRecorder {
 public:
  using TRecorder::TRecorder;
  long handled = 0;

 protected:
  void WndProc(TMessage& Message) override {
    TRecorder::WndProc(Message);
    if (Message.Msg == MM_WIM_DATA) ++handled;
  }
};

// A client that does what the views do with a block: reads every sample.
class TReader : public TObject {
 public:
  void Event(TObject* sender, uint8_t code) {
    if (code != evData) return;
    auto* r = static_cast<TRecorder*>(sender);
    for (int32_t i = 0; i < r->SampleCount(); ++i) sum += r->GetSample(i);
    ++blocks;
  }
  void Sample(TObject*) { ++samples; }
  int64_t sum = 0;
  long blocks = 0;
  long samples = 0;
};

class RecorderAllocationTest : public capture_test::ScriptedTest {};

TEST_F(RecorderAllocationTest, TenThousandBlocksOfSteadyCaptureAllocateNothing) {
  TCountingRecorder r(nullptr);
  r.Quality()->SetChannelCount(2);
  r.Quality()->SetSampleBits(16);
  r.Quality()->SetSamplesPerSec(44100);
  r.SetFramesPerBuffer(256);
  TReader reader;
  r.AddClient(MakeMethod<&TReader::Event>(&reader));
  r.SetOnSample(MakeMethod<&TReader::Sample>(&reader));
  r.Start();
  const std::vector<uint8_t> block = capture_test::Pattern(3, 1024);
  // Warm-up: the open notice and the first turns of the ring.
  for (int k = 0; k < 16; ++k) capture_test::Feed(block);
  const long before = r.handled;
  const HWAVEIN handle = r.GetHandle();

  constexpr int kBlocks = 10000;
  tAllocations = 0;
  tCounting = true;
  for (int k = 0; k < kBlocks; ++k) {
    ASSERT_EQ(ScriptedWaveIn::Feed(handle, block.data(), block.size()), block.size());
    capture_test::Pump();
  }
  tCounting = false;
  EXPECT_EQ(r.handled - before, kBlocks);
  EXPECT_EQ(reader.blocks, kBlocks + 16);
  EXPECT_EQ(reader.samples, kBlocks + 16);
  EXPECT_EQ(r.SampleCount(), 256);
  EXPECT_EQ(tAllocations, 0) << "allocations over " << kBlocks << " blocks";
  r.RemoveClient(MakeMethod<&TReader::Event>(&reader));
  r.SetOnSample({});
}

}  // namespace
