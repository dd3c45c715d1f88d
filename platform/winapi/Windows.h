#pragma once
// The few window-system types, message numbers and calls the components use: window handles,
// messages, posting. Hidden message windows (AllocateHWnd) are plain handles whose messages go to a
// bound method; there is no drawing surface behind them.
#include <cstddef>
#include <cstdint>

#include "BoundMethod.h"

using BYTE = uint8_t;
using WORD = uint16_t;
using DWORD = uint32_t;
using UINT = uint32_t;
using BOOL = int32_t;
using UINT_PTR = uintptr_t;
using DWORD_PTR = uintptr_t;
using WPARAM = uintptr_t;
using LPARAM = intptr_t;
using LRESULT = intptr_t;

struct HWND__;
using HWND = HWND__*;  // an opaque number; never dereferenced

constexpr UINT WM_NULL = 0x0000;
constexpr UINT WM_CLOSE = 0x0010;
constexpr UINT WM_QUIT = 0x0012;
constexpr UINT WM_USER = 0x0400;

struct TMessage {
  UINT Msg = 0;
  WPARAM WParam = 0;
  LPARAM LParam = 0;
  LRESULT Result = 0;
};

using TWndMethod = TBoundMethod<TMessage&>;

// Creates a hidden window whose messages go to `method`. GUI thread only.
HWND AllocateHWnd(TWndMethod method);
// Destroys the window; messages still queued for it are dropped, never delivered. Null is ignored.
void DeallocateHWnd(HWND window);
// Whether `window` is a live window made by AllocateHWnd.
bool IsWindow(HWND window);

// Queues a message for `window` and wakes the GUI thread. Callable from any thread; never waits for
// the GUI thread. Returns false (and queues nothing) for a null or destroyed window.
bool PostMessage(HWND window, UINT msg, WPARAM wParam, LPARAM lParam);
// Calls the window's method at once, on the calling (GUI) thread. Returns 0 for a dead window.
LRESULT SendMessage(HWND window, UINT msg, WPARAM wParam, LPARAM lParam);

// The queue of posted messages, pumped by the application's loop on the GUI thread.
namespace MessageQueue {
// Delivers the oldest queued message. Returns false when the queue was empty. Messages to windows
// destroyed after posting are discarded (and count as delivered). An exception thrown by the
// window's method passes out to the caller; the message is gone by then.
bool DispatchOne();
// Whether a message is waiting.
bool Pending();
// Blocks until a message is posted or `timeoutMs` elapses (negative: no limit). Returns Pending().
// Used when no window system is waiting on our behalf (headless runs, tests).
bool Wait(int timeoutMs);
// Called (from the posting thread) after each post that found the queue idle, so that a window
// system blocked in its own event wait can be woken. Null restores the built-in wake-up only.
using WakeHandler = void (*)();
void SetWakeHandler(WakeHandler handler);
// Removes every queued message and forgets every window. For tests that need a clean slate.
void Reset();
}  // namespace MessageQueue
