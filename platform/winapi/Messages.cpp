#include <atomic>
#include <condition_variable>
#include <vector>
#include <mutex>
#include <unordered_map>

#include "Windows.h"

namespace {

struct PostedMessage {
  uintptr_t window;
  TMessage message;
};

// A first-in first-out ring that grows (doubling) and never shrinks, so a steady flow of messages
// allocates nothing once it has reached its working size.
class MessageRing {
 public:
  bool empty() const { return count_ == 0; }
  void clear() { head_ = count_ = 0; }
  void push_back(const PostedMessage& m) {
    if (count_ == slots_.size()) Grow();
    slots_[(head_ + count_) % slots_.size()] = m;
    ++count_;
  }
  PostedMessage pop_front() {
    PostedMessage m = slots_[head_];
    head_ = (head_ + 1) % slots_.size();
    --count_;
    return m;
  }

 private:
  void Grow() {
    std::vector<PostedMessage> bigger(slots_.empty() ? 64 : slots_.size() * 2);
    for (size_t i = 0; i < count_; ++i) bigger[i] = slots_[(head_ + i) % slots_.size()];
    slots_.swap(bigger);
    head_ = 0;
  }
  std::vector<PostedMessage> slots_;
  size_t head_ = 0, count_ = 0;
};

// Window numbers are never reused, so a message for a destroyed window can never reach a newer one.
struct Queue {
  std::mutex mutex;
  std::condition_variable posted;
  MessageRing messages;
  std::unordered_map<uintptr_t, TWndMethod> windows;
  uintptr_t nextWindow = 1;
};

Queue& TheQueue() {
  static Queue queue;
  return queue;
}

std::atomic<MessageQueue::WakeHandler> gWakeHandler{nullptr};

uintptr_t Number(HWND window) { return reinterpret_cast<uintptr_t>(window); }

}  // namespace

HWND AllocateHWnd(TWndMethod method) {
  Queue& q = TheQueue();
  std::lock_guard lock(q.mutex);
  uintptr_t number = q.nextWindow++;
  q.windows.emplace(number, method);
  return reinterpret_cast<HWND>(number);
}

void DeallocateHWnd(HWND window) {
  if (!window) return;
  Queue& q = TheQueue();
  std::lock_guard lock(q.mutex);
  q.windows.erase(Number(window));
}

bool IsWindow(HWND window) {
  Queue& q = TheQueue();
  std::lock_guard lock(q.mutex);
  return q.windows.count(Number(window)) != 0;
}

bool PostMessage(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
  Queue& q = TheQueue();
  bool wasEmpty;
  {
    std::lock_guard lock(q.mutex);
    if (!window || q.windows.count(Number(window)) == 0) return false;
    wasEmpty = q.messages.empty();
    q.messages.push_back({Number(window), TMessage{msg, wParam, lParam, 0}});
  }
  if (wasEmpty) {
    q.posted.notify_one();
    if (MessageQueue::WakeHandler wake = gWakeHandler.load()) wake();
  }
  return true;
}

LRESULT SendMessage(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
  TWndMethod method;
  {
    Queue& q = TheQueue();
    std::lock_guard lock(q.mutex);
    auto it = q.windows.find(Number(window));
    if (it == q.windows.end()) return 0;
    method = it->second;
  }
  TMessage message{msg, wParam, lParam, 0};
  method(message);
  return message.Result;
}

namespace MessageQueue {

bool DispatchOne() {
  Queue& q = TheQueue();
  TWndMethod method;
  TMessage message;
  {
    std::lock_guard lock(q.mutex);
    if (q.messages.empty()) return false;
    PostedMessage posted = q.messages.pop_front();
    auto it = q.windows.find(posted.window);
    if (it == q.windows.end()) return true;
    method = it->second;
    message = posted.message;
  }
  method(message);
  return true;
}

bool Pending() {
  Queue& q = TheQueue();
  std::lock_guard lock(q.mutex);
  return !q.messages.empty();
}

bool Wait(int timeoutMs) {
  Queue& q = TheQueue();
  std::unique_lock lock(q.mutex);
  auto ready = [&] { return !q.messages.empty(); };
  if (timeoutMs < 0)
    q.posted.wait(lock, ready);
  else
    q.posted.wait_for(lock, std::chrono::milliseconds(timeoutMs), ready);
  return !q.messages.empty();
}

void SetWakeHandler(WakeHandler handler) { gWakeHandler.store(handler); }

void Reset() {
  Queue& q = TheQueue();
  std::lock_guard lock(q.mutex);
  q.messages.clear();
  q.windows.clear();
}

}  // namespace MessageQueue
