// The window-system table, the in-memory backend and writing framebuffers as PNG.
#include <gtest/gtest.h>
#include <png.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "WindowSystem.h"
#include "Windows.h"
#include "headless/Headless.h"

namespace {

const bool kHeadless = SelectWindowSystem("headless");

class HeadlessTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(kHeadless);
    ASSERT_STREQ(WindowSystem().Name(), "headless");
    // Drain events a previous test left behind.
    while (WindowSystem().WaitEvent(0).type != WindowEvent::None) {
    }
  }
};

TEST_F(HeadlessTest, TheBackendIsChosenOnceAndOnlyByKnownNames) {
  EXPECT_FALSE(SelectWindowSystem("sdl"));  // already made
  EXPECT_FALSE(SelectWindowSystem("headless"));
  EXPECT_FALSE(SelectWindowSystem("wayland"));
  EXPECT_STREQ(WindowSystem().Name(), "headless");
}

TEST_F(HeadlessTest, InjectedEventsComeBackInOrderAndATimeOutGivesNone) {
  IWindowSystem& ws = WindowSystem();
  const WindowId w = ws.CreateWindow("t", 0, 0, 10, 10, false);
  InjectHeadlessResize(w, 30, 20);
  InjectHeadlessClose(w);
  WindowEvent e = ws.WaitEvent(-1);
  EXPECT_EQ(e.type, WindowEvent::Resize);
  EXPECT_EQ(e.window, w);
  EXPECT_EQ(e.width, 30);
  EXPECT_EQ(e.height, 20);
  e = ws.WaitEvent(-1);
  EXPECT_EQ(e.type, WindowEvent::Close);
  EXPECT_EQ(ws.WaitEvent(1).type, WindowEvent::None);
  ws.DestroyWindow(w);
}

TEST_F(HeadlessTest, APostFromAnotherThreadEndsAnUnlimitedWait) {
  struct Sink {
    int got = 0;
    void WndProc(TMessage&) { ++got; }
  } sink;
  HWND window = AllocateHWnd(MakeMethod<&Sink::WndProc>(&sink));
  std::thread poster([window] { PostMessage(window, WM_USER, 0, 0); });
  // Returns (with no window event) once the message is queued, whichever comes first.
  while (!MessageQueue::Pending()) EXPECT_EQ(WindowSystem().WaitEvent(-1).type, WindowEvent::None);
  poster.join();
  EXPECT_TRUE(MessageQueue::DispatchOne());
  EXPECT_EQ(sink.got, 1);
  DeallocateHWnd(window);
  WindowSystem().WaitEvent(0);  // takes the wake-up the post may have left

  std::thread waker([] { WindowSystem().Wake(); });
  EXPECT_EQ(WindowSystem().WaitEvent(-1).type, WindowEvent::None);
  waker.join();
}

TEST_F(HeadlessTest, WindowsArePlacedTitledAndShowOnlyWhatWasPresented) {
  IWindowSystem& ws = WindowSystem();
  const WindowId centred = ws.CreateWindow("Centred", 5, 5, 100, 60, true);
  const WindowId placed = ws.CreateWindow("Placed", 316, 177, 100, 60, false);
  int32_t x = 0, y = 0;
  ws.GetPosition(centred, &x, &y);
  EXPECT_EQ(x, (kHeadlessScreenWidth - 100) / 2);
  EXPECT_EQ(y, (kHeadlessScreenHeight - 60) / 2);
  ws.GetPosition(placed, &x, &y);
  EXPECT_EQ(x, 316);
  EXPECT_EQ(y, 177);
  ws.SetTitle(placed, "Renamed");
  EXPECT_EQ(HeadlessWindow(placed).title, "Renamed");
  EXPECT_FALSE(HeadlessWindow(placed).shown);
  ws.ShowWindow(placed);
  EXPECT_TRUE(HeadlessWindow(placed).shown);

  Framebuffer frame;
  frame.Resize(100, 60);
  std::fill(frame.pixels.begin(), frame.pixels.end(), 0xABCDEFu);
  ws.Present(placed, frame, {PixelRect{10, 10, 20, 15}, PixelRect{90, 50, 200, 200}});
  const HeadlessWindowState state = HeadlessWindow(placed);
  EXPECT_EQ(state.presents, 1);
  EXPECT_EQ(state.screen.At(10, 10), 0xABCDEFu);
  EXPECT_EQ(state.screen.At(19, 14), 0xABCDEFu);
  EXPECT_EQ(state.screen.At(20, 14), 0u);
  EXPECT_EQ(state.screen.At(99, 59), 0xABCDEFu);  // the oversized rectangle is cut to the window
  EXPECT_EQ(state.screen.At(0, 0), 0u);

  ws.SetClientSize(placed, 50, 30);  // what was shown and still fits stays
  EXPECT_EQ(HeadlessWindow(placed).screen.width, 50);
  EXPECT_EQ(HeadlessWindow(placed).screen.At(10, 10), 0xABCDEFu);
  ws.DestroyWindow(placed);
  ws.DestroyWindow(centred);
  EXPECT_FALSE(HeadlessWindow(placed).exists);
}

TEST_F(HeadlessTest, MessageBoxesAreRecordedNotShown) {
  ClearHeadlessMessageBoxes();
  EXPECT_FALSE(WindowSystem().MessageBox("Audio Sampling", "No recording device"));
  EXPECT_EQ(HeadlessMessageBoxes(), std::vector<std::string>{"No recording device"});
}

// Reads a PNG with libpng's simplified API as 0x00RRGGBB pixels.
bool ReadPng(const std::string& path, Framebuffer* out) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&image, path.c_str())) return false;
  image.format = PNG_FORMAT_RGB;
  std::vector<png_byte> bytes(PNG_IMAGE_SIZE(image));
  if (!png_image_finish_read(&image, nullptr, bytes.data(), 0, nullptr)) return false;
  out->Resize(static_cast<int32_t>(image.width), static_cast<int32_t>(image.height));
  for (size_t i = 0; i < out->pixels.size(); ++i)
    out->pixels[i] =
        (uint32_t{bytes[3 * i]} << 16) | (uint32_t{bytes[3 * i + 1]} << 8) | bytes[3 * i + 2];
  return true;
}

TEST(FramebufferTest, SavePngWritesEveryPixelExactly) {
  Framebuffer frame;
  frame.Resize(37, 23);
  for (int32_t y = 0; y < frame.height; ++y)
    for (int32_t x = 0; x < frame.width; ++x)
      frame.pixels[static_cast<size_t>(y) * frame.width + x] =
          (uint32_t(x * 7) << 16) | (uint32_t(y * 11) << 8) | uint32_t((x ^ y) * 5);
  const std::string path = testing::TempDir() + "framebuffer-" + std::to_string(getpid()) + ".png";
  ASSERT_TRUE(frame.SavePng(path));
  Framebuffer back;
  ASSERT_TRUE(ReadPng(path, &back));
  std::remove(path.c_str());
  EXPECT_EQ(back.width, 37);
  EXPECT_EQ(back.height, 23);
  EXPECT_EQ(back.pixels, frame.pixels);
}

TEST(FramebufferTest, SavePngFailsForAnEmptyImageOrAnUnwritablePath) {
  Framebuffer frame;
  testing::internal::CaptureStderr();
  EXPECT_FALSE(frame.SavePng(testing::TempDir() + "empty.png"));
  testing::internal::GetCapturedStderr();
  frame.Resize(2, 2);
  EXPECT_FALSE(frame.SavePng("/nonexistent-dir/x.png"));
}

TEST(FramebufferTest, ResizeClearsAndKeepsSizesNonNegative) {
  Framebuffer frame;
  frame.Resize(3, 2);
  EXPECT_EQ(frame.pixels.size(), 6u);
  frame.pixels[0] = 7;
  frame.Resize(2, 3);
  EXPECT_EQ(frame.pixels, std::vector<uint32_t>(6, 0));
  frame.Resize(-4, 5);
  EXPECT_EQ(frame.width, 0);
  EXPECT_TRUE(frame.pixels.empty());
}

}  // namespace
