// Window-system costs of a form the size of the main window (530 x 506 client, three strips like
// the views), through the real SDL backend:
//   1. CPU used by a shown form that has nothing to do, over --idle-seconds (default 10);
//   2. time to present one whole 530 x 506 frame (median and 90th percentile of 300);
//   3. CPU and resident memory while the form repaints and presents its whole client 43 times a
//      second, over --busy-seconds (default 10).
// Uses $DISPLAY; without one it starts its own Xvfb (1280x1024x24) and stops it at the end.
// Prints a table; accepts and ignores Google Benchmark's options (scripts/bench passes them).
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "Forms.h"
#include "Windows.h"

namespace {

using Clock = std::chrono::steady_clock;

double CpuSeconds() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

long ContextSwitches() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return u.ru_nvcsw + u.ru_nivcsw;
}

// VmRSS or VmHWM of this process in MiB.
double StatusMiB(const char* key) {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line))
    if (line.rfind(key, 0) == 0) return std::atof(line.c_str() + std::strlen(key) + 1) / 1024.0;
  return -1;
}

// User + system CPU seconds of another process, from /proc/<pid>/stat.
double ProcessCpuSeconds(pid_t pid) {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
  const size_t close = text.rfind(')');
  if (close == std::string::npos) return -1;
  std::vector<std::string> fields;
  size_t at = close + 2;
  while (at < text.size()) {
    size_t space = text.find(' ', at);
    fields.push_back(text.substr(at, space - at));
    if (space == std::string::npos) break;
    at = space + 1;
  }
  if (fields.size() < 13) return -1;  // utime and stime are fields 14 and 15 of the line
  return (std::atof(fields[11].c_str()) + std::atof(fields[12].c_str())) / sysconf(_SC_CLK_TCK);
}

pid_t StartXvfb() {
  int fds[2];
  if (pipe(fds) != 0) return -1;
  const pid_t pid = fork();
  if (pid == 0) {
    close(fds[0]);
    const int quiet = open("/dev/null", O_WRONLY);
    dup2(quiet, STDOUT_FILENO);
    dup2(quiet, STDERR_FILENO);
    const std::string fd = std::to_string(fds[1]);
    execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "1280x1024x24", "-nolisten",
           "tcp", "-noreset", static_cast<char*>(nullptr));
    _exit(127);
  }
  close(fds[1]);
  std::string number;
  pollfd p{fds[0], POLLIN, 0};
  char c;
  while (poll(&p, 1, 20000) > 0 && read(fds[0], &c, 1) == 1 && c != '\n') number += c;
  close(fds[0]);
  if (number.empty()) {
    kill(pid, SIGTERM);
    waitpid(pid, nullptr, 0);
    return -1;
  }
  setenv("DISPLAY", (":" + number).c_str(), 1);
  return pid;
}

// Draws like the three views: a trace over black, bars with labels, a spectrogram column.
class TStrip : public TGraphicControl {
  VCL_CLASS(TStrip)
  explicit TStrip(TComponent* owner, int kind) : TGraphicControl(owner), FKind(kind) {}
  int frame = 0;

 protected:
  void Paint() override {
    TCanvas* c = Canvas();
    const int32_t w = ClientWidth(), h = ClientHeight();
    c->Brush()->Color = clBlack;
    c->FillRect(c->ClipRect());
    if (FKind == 0) {
      std::vector<TPoint> points(static_cast<size_t>(w));
      for (int32_t x = 0; x < w; ++x)
        points[x] = {x, static_cast<int32_t>(h / 2 + (h / 2 - 1) * std::sin((x + frame) * 0.07))};
      c->Pen()->Color = clLime;
      c->Polyline(points.data(), w);
    } else if (FKind == 1) {
      for (int32_t x = 0; x < w; x += 2)
        for (int32_t y = 0; y < h; y += 3) c->SetPixel(x, y, ((x + y + frame) & 0xFF) << 8);
    } else {
      c->Font()->Height = 8;
      c->Font()->Color = clGreen;
      const int32_t bw = w / 20;
      for (int32_t i = 0; i < 20; ++i) {
        const int32_t t = ((i * 37 + frame) % 20) * h / 22;
        c->Brush()->Color = clBlack;
        c->TextOut(i * bw, h - t - 16, std::to_string(100 * (i + 1)) + " Hz");
        c->Brush()->Color = clGreen;
        c->FillRect(Rect(i * bw, h - t, i * bw + bw, h));
      }
    }
  }

 private:
  int FKind;
};

const TClassInfo& TStrip::StaticClass() {
  static const TClassInfo info =
      TClassBuilder<TStrip>("TStrip", &TGraphicControl::StaticClass()).Build();
  return info;
}

// Runs `app` for `seconds` while a timer thread has `tick` called on the GUI thread every `period`
// seconds (period < 0: once, after -period seconds); then the timer has `atEnd` called and the
// form closed, on the GUI thread.
void RunFor(TApplication& app, TCustomForm* form, double seconds, double period,
            const std::function<void()>& tick, const std::function<void()>& atEnd) {
  struct Box {
    std::function<void()> tick, atEnd;
    TCustomForm* form;
    void WndProc(TMessage& m) {
      if (m.Msg == WM_CLOSE) {
        atEnd();
        form->Close();
      } else {
        tick();
      }
    }
  } box{tick, atEnd, form};
  HWND window = AllocateHWnd(MakeMethod<&Box::WndProc>(&box));
  std::atomic<bool> stop{false};
  std::thread timer([&] {
    const auto start = Clock::now();
    const auto end = start + std::chrono::duration<double>(seconds);
    if (period < 0) {
      std::this_thread::sleep_until(start + std::chrono::duration_cast<Clock::duration>(
                                                std::chrono::duration<double>(-period)));
      PostMessage(window, WM_USER, 0, 0);
    } else if (period > 0) {
      for (long i = 1;; ++i) {
        const auto next = start + std::chrono::duration_cast<Clock::duration>(
                                      std::chrono::duration<double>(period * i));
        if (next >= end) break;
        std::this_thread::sleep_until(next);
        PostMessage(window, WM_USER, 0, 0);
      }
    }
    std::this_thread::sleep_until(end);
    PostMessage(window, WM_CLOSE, 0, 0);
  });
  app.Run();
  timer.join();
  DeallocateHWnd(window);
}

}  // namespace

int main(int argc, char** argv) {
  double idleSeconds = 10, busySeconds = 10;
  for (int i = 1; i < argc; ++i) {
    if (std::strncmp(argv[i], "--idle-seconds=", 15) == 0) idleSeconds = std::atof(argv[i] + 15);
    if (std::strncmp(argv[i], "--busy-seconds=", 15) == 0) busySeconds = std::atof(argv[i] + 15);
  }
  pid_t xvfb = -1;
  if (!std::getenv("DISPLAY") || !*std::getenv("DISPLAY")) {
    xvfb = StartXvfb();
    if (xvfb < 0) {
      std::printf("WindowBench: no DISPLAY and no Xvfb to start; nothing measured\n");
      return 0;
    }
    setenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/as-bench-bus", 0);
  }
  SelectWindowSystem("sdl");
  const double rssBefore = StatusMiB("VmRSS:");

  // Each measurement gets an application of its own; the form is the main window's shape.
  auto makeForm = [](TApplication& app, TForm** form, std::vector<TStrip*>* strips) {
    app.CreateForm(form);
    (*form)->SetCaption("Window bench");
    (*form)->SetPosition(poScreenCenter);
    (*form)->SetClientSize(530, 506);
    const TAlign aligns[3] = {alTop, alClient, alBottom};
    const int32_t heights[3] = {185, 159, 162};
    for (int k = 0; k < 3; ++k) {
      auto* s = new TStrip(*form, k);
      s->SetHeight(heights[k]);
      s->SetParent(*form);
      s->SetAlign(aligns[k]);
      strips->push_back(s);
    }
  };

  std::printf("WindowBench (SDL on %s%s)\n", std::getenv("DISPLAY"), xvfb > 0 ? ", own Xvfb" : "");

  // 1. Idle: shown and painted, then nothing to do.
  double idleCpu = 0, idleWall = 1;
  long idleSwitches = 0;
  {
    TApplication app(nullptr);
    TForm* form = nullptr;
    std::vector<TStrip*> strips;
    makeForm(app, &form, &strips);
    form->Show();
    // Measured from half a second after the loop starts (its first paint is done by then) until
    // the close message arrives.
    double cpu0 = 0;
    long switches0 = 0;
    Clock::time_point t0;
    RunFor(
        app, form, 0.5 + idleSeconds, -0.5,
        [&] {
          cpu0 = CpuSeconds();
          switches0 = ContextSwitches();
          t0 = Clock::now();
        },
        [&] {
          idleWall = std::chrono::duration<double>(Clock::now() - t0).count();
          idleCpu = CpuSeconds() - cpu0;
          idleSwitches = ContextSwitches() - switches0;
        });
  }

  // 2. Presenting one whole frame.
  std::vector<double> presents;
  {
    TApplication app(nullptr);
    TForm* form = nullptr;
    std::vector<TStrip*> strips;
    makeForm(app, &form, &strips);
    form->Show();
    for (int i = 0; i < 20; ++i) app.ProcessMessages();
    for (int i = 0; i < 300; ++i) {
      form->Damage(form->ClientRect());
      const auto t0 = Clock::now();
      form->PresentPending();
      presents.push_back(std::chrono::duration<double, std::micro>(Clock::now() - t0).count());
    }
    std::sort(presents.begin(), presents.end());
  }

  // 3. Repainting and presenting the whole client 43 times a second.
  double busyCpu = 0, busyWall = 1, xCpu = -1, rssBusy = 0, hwm = 0;
  int frames = 0;
  {
    TApplication app(nullptr);
    TForm* form = nullptr;
    std::vector<TStrip*> strips;
    makeForm(app, &form, &strips);
    form->Show();
    for (int i = 0; i < 20; ++i) app.ProcessMessages();
    const double cpu0 = CpuSeconds();
    const double x0 = xvfb > 0 ? ProcessCpuSeconds(xvfb) : -1;
    const auto t0 = Clock::now();
    RunFor(
        app, form, busySeconds, 1.0 / 43.0,
        [&] {
          for (TStrip* s : strips) ++s->frame;
          form->Invalidate();
          ++frames;
        },
        [&] {
          busyWall = std::chrono::duration<double>(Clock::now() - t0).count();
          busyCpu = CpuSeconds() - cpu0;
          if (xvfb > 0) xCpu = ProcessCpuSeconds(xvfb) - x0;
          rssBusy = StatusMiB("VmRSS:");
          hwm = StatusMiB("VmHWM:");
        });
  }

  std::printf("  idle form, %.1f s:        CPU %.4f s (%.3f %% of a core), %ld context switches\n",
              idleWall, idleCpu, 100 * idleCpu / idleWall, idleSwitches);
  std::printf("  present 530 x 506 frame:   median %.0f us, 90th percentile %.0f us (%zu runs)\n",
              presents[presents.size() / 2], presents[presents.size() * 9 / 10], presents.size());
  std::printf("  43 frames/s, %.1f s:       %d frames, CPU %.3f s (%.2f %% of a core)\n", busyWall,
              frames, busyCpu, 100 * busyCpu / busyWall);
  if (xCpu >= 0)
    std::printf("                             X server (Xvfb) CPU %.2f %% of a core\n",
                100 * xCpu / busyWall);
  std::printf(
      "  resident memory:           %.1f MiB at start, %.1f MiB while busy, peak %.1f MiB\n",
      rssBefore, rssBusy, hwm);

  if (xvfb > 0) {
    kill(xvfb, SIGTERM);
    waitpid(xvfb, nullptr, 0);
  }
  return 0;
}
