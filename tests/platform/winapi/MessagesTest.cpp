#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "Windows.h"

namespace {

struct Receiver {
  std::vector<std::pair<WPARAM, LPARAM>> got;
  void WndProc(TMessage& m) { got.emplace_back(m.WParam, m.LParam); }
};

class MessagesTest : public testing::Test {
 protected:
  void SetUp() override { MessageQueue::Reset(); }
  void TearDown() override { MessageQueue::Reset(); }
};

TEST_F(MessagesTest, PostsFromFourThreadsArriveOnceEachInPerThreadOrder) {
  Receiver r;
  HWND w = AllocateHWnd(MakeMethod<&Receiver::WndProc>(&r));
  constexpr int kThreads = 4, kEach = 5000;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t)
    threads.emplace_back([=] {
      for (int i = 0; i < kEach; ++i) EXPECT_TRUE(PostMessage(w, WM_USER, t, i));
    });
  size_t delivered = 0;
  while (delivered < size_t{kThreads} * kEach) {
    if (!MessageQueue::DispatchOne()) MessageQueue::Wait(100);
    delivered = r.got.size();
  }
  for (auto& th : threads) th.join();
  EXPECT_FALSE(MessageQueue::Pending());
  std::vector<LPARAM> next(kThreads, 0);
  for (auto [t, i] : r.got) {
    ASSERT_EQ(i, next[t]) << "thread " << t;
    ++next[t];
  }
  for (int t = 0; t < kThreads; ++t) EXPECT_EQ(next[t], kEach);
  DeallocateHWnd(w);
}

TEST_F(MessagesTest, MessageToADeallocatedWindowIsDropped) {
  Receiver r;
  HWND w = AllocateHWnd(MakeMethod<&Receiver::WndProc>(&r));
  EXPECT_TRUE(PostMessage(w, WM_USER, 1, 0));
  DeallocateHWnd(w);
  HWND other = AllocateHWnd(MakeMethod<&Receiver::WndProc>(&r));  // never takes w's number
  EXPECT_NE(other, w);
  while (MessageQueue::DispatchOne()) {
  }
  EXPECT_TRUE(r.got.empty());
  EXPECT_FALSE(PostMessage(w, WM_USER, 2, 0));
  EXPECT_FALSE(IsWindow(w));
  DeallocateHWnd(other);
}

TEST_F(MessagesTest, WaitReturnsWhenAnotherThreadPosts) {
  Receiver r;
  HWND w = AllocateHWnd(MakeMethod<&Receiver::WndProc>(&r));
  std::thread poster([w] { PostMessage(w, WM_USER, 7, 7); });
  while (!MessageQueue::Wait(1000)) {
  }
  poster.join();
  EXPECT_TRUE(MessageQueue::DispatchOne());
  ASSERT_EQ(r.got.size(), 1u);
  DeallocateHWnd(w);
}

}  // namespace
