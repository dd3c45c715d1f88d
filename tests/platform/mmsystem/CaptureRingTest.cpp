// The single-producer/single-consumer ring between the capture thread and the GUI thread.
#include <gtest/gtest.h>

#include <cstdint>
#include <thread>
#include <vector>

#include "CaptureRing.h"
#include "WaveInTestSupport.h"

namespace {

using mmsystem::CaptureRing;

TEST(CaptureRing, KeepsBytesInOrderAcrossTheEndOfItsStorage) {
  CaptureRing ring(10);
  ASSERT_EQ(ring.Capacity(), 16u);
  const uint8_t first[12] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
  ASSERT_EQ(ring.Write(first, sizeof first), 12u);
  uint8_t out[16] = {};
  ASSERT_EQ(ring.Read(out, 10), 10u);
  // The next write runs past the end of the storage and on at its start.
  const uint8_t second[14] = {13, 14, 15, 16, 17, 18, 19, 20, 21, 22, 23, 24, 25, 26};
  EXPECT_EQ(ring.Free(), 14u);
  ASSERT_EQ(ring.Write(second, sizeof second), 14u);
  EXPECT_EQ(ring.Free(), 0u);
  EXPECT_EQ(ring.Write(second, 1), 0u) << "full";
  ASSERT_EQ(ring.Available(), 16u);
  ASSERT_EQ(ring.Read(out, 16), 16u);
  for (int i = 0; i < 16; ++i) EXPECT_EQ(out[i], 11 + i) << i;
  EXPECT_EQ(ring.Discard(5), 0u) << "empty";
}

TEST(CaptureRing, DiscardSkipsBytesWithoutReadingThem) {
  CaptureRing ring(8);
  const uint8_t bytes[6] = {1, 2, 3, 4, 5, 6};
  ring.Write(bytes, 6);
  EXPECT_EQ(ring.Discard(4), 4u);
  uint8_t out[4] = {};
  EXPECT_EQ(ring.Read(out, 4), 2u);
  EXPECT_EQ(out[0], 5);
  EXPECT_EQ(out[1], 6);
}

// A producer thread writes a numbered byte stream in odd-sized pieces while this thread reads it
// in other odd-sized pieces: every byte must arrive once and in order. Run under ThreadSanitizer
// this also checks that the copied bytes are published properly.
TEST(CaptureRing, ProducerAndConsumerThreadsPassEveryByteInOrder) {
  wavein_test::Watchdog watchdog(std::chrono::seconds(120), "ring transfer");
  constexpr size_t kTotal = 4 << 20;
  CaptureRing ring(4096);
  std::thread producer([&] {
    std::vector<uint8_t> piece(997);
    size_t sent = 0;
    while (sent < kTotal) {
      const size_t want = std::min(piece.size(), kTotal - sent);
      for (size_t i = 0; i < want; ++i) piece[i] = static_cast<uint8_t>((sent + i) % 251);
      size_t done = 0;
      while (done < want) {
        done += ring.Write(piece.data() + done, want - done);
        if (done < want) std::this_thread::yield();
      }
      sent += want;
    }
  });
  std::vector<uint8_t> piece(1531);
  size_t received = 0;
  size_t mismatches = 0;
  while (received < kTotal) {
    const size_t got = ring.Read(piece.data(), piece.size());
    for (size_t i = 0; i < got; ++i)
      mismatches += piece[i] != static_cast<uint8_t>((received + i) % 251);
    received += got;
    if (got == 0) std::this_thread::yield();
  }
  producer.join();
  EXPECT_EQ(received, kTotal);
  EXPECT_EQ(mismatches, 0u);
}

}  // namespace
