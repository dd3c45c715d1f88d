// Real windows through the SDL backend on an Xvfb server this program starts itself: the window's
// title and position as X clients see them, its pixels against the form's framebuffer, and closing
// it the way a window manager does. Skipped (with the reason) when Xvfb is not installed.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <png.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "Forms.h"
#include "Windows.h"

namespace {

const bool kSdl = SelectWindowSystem("sdl");

std::string FindProgram(const std::string& name) {
  const char* path = std::getenv("PATH");
  std::stringstream dirs(path ? path : "/usr/bin:/bin");
  std::string dir;
  while (std::getline(dirs, dir, ':')) {
    const std::string candidate = dir + "/" + name;
    if (access(candidate.c_str(), X_OK) == 0) return candidate;
  }
  return "";
}

// An Xvfb server for this process, on a display number it picks itself (-displayfd), with DISPLAY
// pointing at it. Stopped by process id when the tests are done.
class XvfbEnvironment : public testing::Environment {
 public:
  void SetUp() override {
    const std::string xvfb = FindProgram("Xvfb");
    if (xvfb.empty()) {
      skipReason = "Xvfb is not installed (Debian package xvfb)";
      return;
    }
    int fds[2];
    if (pipe(fds) != 0) {
      skipReason = "cannot make a pipe for Xvfb";
      return;
    }
    pid = fork();
    if (pid == 0) {
      close(fds[0]);
      const int quiet = open("/dev/null", O_WRONLY);
      dup2(quiet, STDOUT_FILENO);
      dup2(quiet, STDERR_FILENO);
      const std::string fd = std::to_string(fds[1]);
      // -noreset: by default the server resets when its last client leaves, and a client
      // connecting during the reset (SDL, right after an xdotool call) is refused.
      execl(xvfb.c_str(), "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "1280x1024x24",
            "-nolisten", "tcp", "-noreset", static_cast<char*>(nullptr));
      _exit(127);
    }
    close(fds[1]);
    std::string number;
    pollfd p{fds[0], POLLIN, 0};
    char c;
    while (poll(&p, 1, 20000) > 0 && read(fds[0], &c, 1) == 1 && c != '\n') number += c;
    close(fds[0]);
    if (number.empty()) {
      skipReason = "Xvfb did not start";
      Stop();
      return;
    }
    setenv("DISPLAY", (":" + number).c_str(), 1);
    // Without a session bus, SDL's input-method set-up would have libdbus try to start one
    // through the X server; an unreachable address makes it give up at once instead.
    setenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/as-test-bus", 0);
  }

  void TearDown() override { Stop(); }

  void Stop() {
    if (pid <= 0) return;
    kill(pid, SIGTERM);
    waitpid(pid, nullptr, 0);
    pid = -1;
  }

  std::string skipReason;
  pid_t pid = -1;
};

XvfbEnvironment* const gXvfb =
    static_cast<XvfbEnvironment*>(testing::AddGlobalTestEnvironment(new XvfbEnvironment));

// Runs a shell command; returns its exit status and (in *out) what it printed. The child keeps no
// descriptor but its output pipe: a pipe another thread has just made without close-on-exec (SDL's
// start-up makes some) must not stay open in a helper and make its owner wait for the helper.
int Shell(const std::string& command, std::string* out) {
  out->clear();
  int fds[2];
  if (pipe(fds) != 0) return -1;
  const pid_t pid = fork();
  if (pid < 0) return -1;
  if (pid == 0) {
    dup2(fds[1], STDOUT_FILENO);
    close_range(3, ~0u, 0);
    execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  close(fds[1]);
  char buffer[4096];
  ssize_t n;
  while ((n = read(fds[0], buffer, sizeof buffer)) > 0) out->append(buffer, static_cast<size_t>(n));
  close(fds[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool DecodePng(const std::string& bytes, Framebuffer* out) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_memory(&image, bytes.data(), bytes.size())) return false;
  image.format = PNG_FORMAT_RGB;
  std::vector<png_byte> rgb(PNG_IMAGE_SIZE(image));
  if (!png_image_finish_read(&image, nullptr, rgb.data(), 0, nullptr)) return false;
  out->Resize(static_cast<int32_t>(image.width), static_cast<int32_t>(image.height));
  for (size_t i = 0; i < out->pixels.size(); ++i)
    out->pixels[i] =
        (uint32_t{rgb[3 * i]} << 16) | (uint32_t{rgb[3 * i + 1]} << 8) | rgb[3 * i + 2];
  return true;
}

// Bands of colour, lines and text: a picture where a wrong byte order, offset or stale area shows.
class TPattern : public TGraphicControl {
  VCL_CLASS(TPattern)
  explicit TPattern(TComponent* owner) : TGraphicControl(owner) {}

 protected:
  void Paint() override {
    TCanvas* c = Canvas();
    const int32_t w = ClientWidth(), h = ClientHeight();
    for (int32_t y = 0; y < h; y += 4) {
      c->Brush()->Color = static_cast<TColor>((y * 5) & 0xFF) | ((255 - y) & 0xFF) << 8 | 0x400000;
      c->FillRect(Rect(0, y, w, y + 4));
    }
    c->Pen()->Color = clYellow;
    c->MoveTo(0, 0);
    c->LineTo(w, h);
    c->Brush()->Color = clBlack;
    c->Font()->Color = clWhite;
    c->Font()->Height = -14;
    c->TextOut(10, 10, "Audio Sampling 1 kHz");
  }
};

const TClassInfo& TPattern::StaticClass() {
  static const TClassInfo info =
      TClassBuilder<TPattern>("TPattern", &TGraphicControl::StaticClass()).Build();
  return info;
}

// A hidden window whose messages run on the GUI thread.
class GuiCall {
 public:
  explicit GuiCall(std::function<void(TMessage&)> f)
      : FCall(std::move(f)), FWindow(AllocateHWnd(MakeMethod<&GuiCall::WndProc>(this))) {}
  ~GuiCall() { DeallocateHWnd(FWindow); }
  void Post(UINT msg) { PostMessage(FWindow, msg, 0, 0); }

 private:
  void WndProc(TMessage& m) { FCall(m); }
  std::function<void(TMessage&)> FCall;
  HWND FWindow;
};

constexpr UINT kCopyFrame = WM_USER;
constexpr UINT kStopLoop = WM_USER + 1;

TEST(SdlWindowTest, TitleCentringPixelsAndWindowManagerClose) {
  if (!gXvfb->skipReason.empty()) GTEST_SKIP() << gXvfb->skipReason;
  ASSERT_TRUE(kSdl);
  for (const char* tool : {"xdotool", "import"})
    if (FindProgram(tool).empty()) GTEST_SKIP() << tool << " is not installed";
  ASSERT_EQ(access(XDELETE_PATH, X_OK), 0) << XDELETE_PATH;

  const std::string caption = "Audio Sampling probe";
  TApplication app(nullptr);
  TForm* form = nullptr;
  app.CreateForm(&form);
  form->SetCaption(caption);
  form->SetPosition(poScreenCenter);
  form->SetClientSize(320, 200);
  auto* pattern = new TPattern(form);
  pattern->SetParent(form);
  pattern->SetAlign(alClient);

  // The checking thread talks to the GUI thread only through posted messages.
  std::mutex m;
  std::condition_variable cv;
  Framebuffer copy;
  bool copied = false, runEnded = false, stoppedByGuard = false;
  GuiCall gui([&](TMessage& msg) {
    if (msg.Msg == kStopLoop) {
      stoppedByGuard = true;
      app.Terminate();
      return;
    }
    std::lock_guard lock(m);
    copy = form->Surface();
    copied = true;
    cv.notify_all();
  });

  struct Seen {
    std::string id, name, geometry, error;
    int mismatched = -1;  // pixels that differed in the last screenshot compared
    int closeStatus = -1;
  } seen;
  std::thread checker([&] {
    std::string out;
    if (Shell("timeout 20 xdotool search --sync --onlyvisible --name '^" + caption + "$'", &out) !=
        0) {
      std::string tree;
      Shell("xwininfo -root -tree", &tree);
      seen.error = "no visible window named '" + caption + "'; the screen has:\n" + tree;
    } else {
      seen.id = out.substr(0, out.find('\n'));
      Shell("xdotool getwindowname " + seen.id, &seen.name);
      Shell("xdotool getwindowgeometry --shell " + seen.id, &seen.geometry);
      // The first present may still be on its way: compare until equal, for a few seconds.
      for (int attempt = 0; attempt < 50 && seen.mismatched != 0; ++attempt) {
        {
          std::unique_lock lock(m);
          copied = false;
        }
        gui.Post(kCopyFrame);
        std::unique_lock lock(m);
        if (!cv.wait_for(lock, std::chrono::seconds(5), [&] { return copied; })) break;
        lock.unlock();
        std::string png;
        Framebuffer shot;
        if (Shell("import -window " + seen.id + " png:-", &png) != 0 || !DecodePng(png, &shot)) {
          seen.error = "import could not capture the window";
          break;
        }
        if (shot.width != copy.width || shot.height != copy.height) {
          seen.mismatched = shot.width * shot.height;
        } else {
          seen.mismatched = 0;
          for (size_t i = 0; i < shot.pixels.size(); ++i)
            seen.mismatched += shot.pixels[i] != copy.pixels[i];
        }
        if (seen.mismatched) std::this_thread::sleep_for(std::chrono::milliseconds(100));
      }
      seen.closeStatus = Shell(std::string(XDELETE_PATH) + " " + seen.id, &out);
    }
    // Guard: a loop that the close did not end is stopped, and the test fails.
    std::unique_lock lock(m);
    if (!cv.wait_for(lock, std::chrono::seconds(20), [&] { return runEnded; })) gui.Post(kStopLoop);
  });

  app.Run();
  {
    std::lock_guard lock(m);
    runEnded = true;
  }
  cv.notify_all();
  checker.join();

  EXPECT_FALSE(stoppedByGuard) << "WM_DELETE_WINDOW did not end Run";
  ASSERT_EQ(seen.error, "");
  EXPECT_EQ(seen.name, caption + "\n");
  // No window manager runs, so the window's own position is the one SDL chose.
  EXPECT_NE(seen.geometry.find("X=" + std::to_string((1280 - 320) / 2) + "\n"), std::string::npos)
      << seen.geometry;
  EXPECT_NE(seen.geometry.find("Y=" + std::to_string((1024 - 200) / 2) + "\n"), std::string::npos)
      << seen.geometry;
  EXPECT_NE(seen.geometry.find("WIDTH=320\n"), std::string::npos) << seen.geometry;
  EXPECT_NE(seen.geometry.find("HEIGHT=200\n"), std::string::npos) << seen.geometry;
  EXPECT_EQ(seen.mismatched, 0) << "screenshot pixels differing from the framebuffer";
  EXPECT_EQ(seen.closeStatus, 0);
  EXPECT_FALSE(form->Showing());
  EXPECT_EQ(WindowSystem().ScreenWidth(), 1280);
  EXPECT_EQ(WindowSystem().ScreenHeight(), 1024);
  std::printf("Xvfb screen: %d ppi, refresh interval %.4f s\n",
              WindowSystem().ScreenPixelsPerInch(), WindowSystem().RefreshInterval());
}

}  // namespace
