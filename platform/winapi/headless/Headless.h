#pragma once
// The in-memory window system: windows are records, presenting copies pixels into a per-window
// "screen" image, and message boxes are only recorded. Tests and previews select it with
// SelectWindowSystem("headless") (or AS_WINDOW_SYSTEM=headless) and steer it with the calls below.
//
// The state is process-wide. The inspection and injection calls are thread-safe; injecting wakes
// a WaitEvent in progress.
#include <memory>
#include <string>
#include <vector>

#include "WindowSystem.h"

std::unique_ptr<IWindowSystem> CreateHeadlessWindowSystem();

constexpr int32_t kHeadlessScreenWidth = 1280;
constexpr int32_t kHeadlessScreenHeight = 1024;

// Screen pixels per inch reported from now on (96 until set).
void SetHeadlessPixelsPerInch(int32_t ppi);

// Queues an event for WaitEvent to return.
void InjectHeadlessEvent(const WindowEvent& event);
void InjectHeadlessClose(WindowId window);
void InjectHeadlessResize(WindowId window, int32_t clientWidth, int32_t clientHeight);

// What the headless screen knows about a window.
struct HeadlessWindowState {
  bool exists = false;
  std::string title;
  int32_t x = 0, y = 0;  // outer position
  int32_t clientWidth = 0, clientHeight = 0;
  bool centred = false;
  bool shown = false;
  int presents = 0;    // calls to Present
  Framebuffer screen;  // what has been presented, at the client size
};
HeadlessWindowState HeadlessWindow(WindowId window);

// Texts of the message boxes asked for, oldest first, and a way to forget them.
std::vector<std::string> HeadlessMessageBoxes();
void ClearHeadlessMessageBoxes();
