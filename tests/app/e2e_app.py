#!/usr/bin/env python3
"""End-to-end checks of the real program in a real window on a virtual X display.

  e2e_app.py live      --binary B --xdelete X   run inside tests/e2e/pulse-env.sh (a 1 kHz tone on
                                                 the default source): title, centring, the three
                                                 views live on screen, closing with exit code 0
  e2e_app.py nodevice  --binary B --xdelete X   no sound server at all: the window still opens,
                                                 "Format not supported" is shown once, the program
                                                 keeps running and still closes with exit code 0

Pixel positions are derived from the window's actual size and the form's layout rules (a form
designed at 120 pixels per inch, scaled to the screen's), never from fixed coordinates.
"""
import argparse
import os
import re
import subprocess
import sys
import tempfile
import time

DESIGN_PPI = 120
DESIGN_CLIENT = (530, 506)
WAVE_HEIGHT, SPECTRAL_HEIGHT, BANDS = 185, 162, 20
FFT_SIZE, SAMPLE_RATE, TONE_HZ = 1024, 11025, 1000

LIME, GREEN, BLACK = (0, 255, 0), (0, 128, 0), (0, 0, 0)


def fail(message):
    print("FAIL: " + message, file=sys.stderr)
    sys.exit(1)


def muldiv(a, b, c):
    """a * b / c rounded half away from zero, as the form's scaling rounds."""
    q, r = divmod(abs(a * b), c)
    if 2 * r >= c:
        q += 1
    return -q if a * b < 0 else q


class Display:
    def __init__(self):
        for n in range(90, 200):
            if not os.path.exists("/tmp/.X11-unix/X%d" % n) and not os.path.exists("/tmp/.X%d-lock" % n):
                break
        self.name = ":%d" % n
        self.proc = subprocess.Popen(["Xvfb", self.name, "-screen", "0", "1280x1024x24", "-nolisten", "tcp"],
                                     stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.env = dict(os.environ, DISPLAY=self.name)
        for _ in range(100):
            if subprocess.run(["xdpyinfo"], env=self.env, capture_output=True).returncode == 0:
                return
            time.sleep(0.1)
        fail("Xvfb did not start on " + self.name)

    def run(self, *args):
        return subprocess.run(list(args), env=self.env, capture_output=True, text=True)

    def windows(self, title):
        """Top-level windows whose title is exactly `title`, oldest first."""
        tree = self.run("xwininfo", "-root", "-children").stdout
        return [int(m.group(1), 16) for m in re.finditer(r'(0x[0-9a-f]+) "([^"]*)"', tree)
                if m.group(2) == title][::-1]

    def geometry(self, window):
        info = self.run("xwininfo", "-id", str(window)).stdout
        get = lambda key: int(re.search(key + r":\s+(-?\d+)", info).group(1))
        return get("Absolute upper-left X"), get("Absolute upper-left Y"), get("Width"), get("Height")

    def title(self, window):
        return self.run("xdotool", "getwindowname", str(window)).stdout.strip()

    def screenshot(self, window, keep=None):
        ppm = subprocess.run(["import", "-window", str(window), "ppm:-"], env=self.env,
                             capture_output=True).stdout
        if keep:
            subprocess.run(["import", "-window", str(window), keep], env=self.env)
        return Image(ppm)

    def close(self):
        self.proc.terminate()
        self.proc.wait()


class Image:
    def __init__(self, ppm):
        header = re.match(rb"P6\s+(\d+)\s+(\d+)\s+(\d+)\s", ppm)
        if not header:
            fail("the screenshot is not a PPM image")
        self.width, self.height = int(header.group(1)), int(header.group(2))
        self.wide = int(header.group(3)) > 255  # two bytes a channel, most significant first
        self.data = ppm[header.end():]

    def at(self, x, y):
        if self.wide:
            i = 6 * (y * self.width + x)
            return tuple(self.data[i + 2 * c] for c in range(3))
        i = 3 * (y * self.width + x)
        return tuple(self.data[i:i + 3])


def layout(width, height):
    """The views' rectangles for a client of width x height, by the form's scaling and alignment."""
    for ppi in range(48, 480):
        if muldiv(DESIGN_CLIENT[0], ppi, DESIGN_PPI) == width:
            break
    else:
        fail("no screen resolution scales the form to a client %d pixels wide" % width)
    top = muldiv(WAVE_HEIGHT, ppi, DESIGN_PPI)
    bottom = muldiv(SPECTRAL_HEIGHT, ppi, DESIGN_PPI)
    return ppi, (0, top), (top, height - bottom), (height - bottom, height)


def start(binary, display, env):
    log = tempfile.NamedTemporaryFile(prefix="as-e2e-", suffix=".log", delete=False)
    proc = subprocess.Popen([binary], env=dict(display.env, **env), stdout=log, stderr=log)
    return proc, log.name


def wait_window(display, proc, count=1, timeout=15):
    end = time.time() + timeout
    while time.time() < end:
        if proc.poll() is not None:
            fail("the program ended early with code %s" % proc.returncode)
        found = display.windows("Audio Sampling")
        if len(found) >= count:
            return found
        time.sleep(0.1)
    fail("no window named 'Audio Sampling' appeared")


def close_and_expect_zero(display, proc, window, xdelete):
    sent = time.time()
    if subprocess.run([xdelete, str(window)], env=display.env).returncode != 0:
        fail("xdelete could not send WM_DELETE_WINDOW")
    try:
        code = proc.wait(timeout=5)
    except subprocess.TimeoutExpired:
        proc.kill()
        fail("the program did not end after WM_DELETE_WINDOW")
    took = time.time() - sent
    print("closed in %.3f s with exit code %d" % (took, code))
    if code != 0:
        fail("exit code %d after closing" % code)
    if took > 1.0:
        fail("closing took %.3f s (more than a second)" % took)


def check_live(args):
    if "PULSE_SERVER" not in os.environ:
        fail("run this inside tests/e2e/pulse-env.sh")
    display = Display()
    try:
        proc, log = start(args.binary, display, {"SDL_AUDIODRIVER": "pulseaudio"})
        window = wait_window(display, proc)[0]
        time.sleep(6)  # the tone reaches capture about 2.5 s after the player starts
        if display.title(window) != "Audio Sampling":
            fail("title is %r" % display.title(window))
        x, y, w, h = display.geometry(window)
        print("window at (%d, %d), client %d x %d" % (x, y, w, h))
        if abs(x - (1280 - w) // 2) > 1 or abs(y - (1024 - h) // 2) > 1:
            fail("window at (%d, %d) is not centred on the 1280 x 1024 screen" % (x, y))
        shot = display.screenshot(window, keep=args.keep)
        if (shot.width, shot.height) != (w, h):
            fail("screenshot %dx%d differs from the window" % (shot.width, shot.height))
        ppi, wave, finger, spectral = layout(w, h)
        print("screen %d ppi: wave rows %s, fingerprint rows %s, spectral rows %s" % (ppi, wave, finger, spectral))

        trace = sum(shot.at(px, py) == LIME for px in range(w) for py in range(*wave))
        print("trace pixels in the top strip: %d" % trace)
        if trace < w // 2:
            fail("no waveform trace in the top strip (%d lime pixels)" % trace)

        step = FFT_SIZE // (2 * BANDS)
        bin_1k = (2 * TONE_HZ * FFT_SIZE + SAMPLE_RATE) // (2 * SAMPLE_RATE)  # the nearest bin: 93
        band_1k = bin_1k // step
        bw = w // BANDS

        def bar(band):
            px = band * bw + bw // 2
            n = 0
            while n < spectral[1] - spectral[0] and shot.at(px, spectral[1] - 1 - n) == GREEN:
                n += 1
            return n
        bars = [bar(b) for b in range(BANDS)]
        print("bar heights: %s (band %d holds bin %d)" % (bars, band_1k, bin_1k))
        others = max(b for i, b in enumerate(bars) if i != band_1k)
        if bars[band_1k] < 10 or bars[band_1k] < 2 * others:
            fail("the 1 kHz band is not clearly the tallest")

        row = finger[1] - bin_1k - 1
        quiet = finger[1] - 30 - 1
        lit = [px for px in range(w) if shot.at(px, row) not in (BLACK, (255, 255, 255))]
        dark = [px for px in range(w) if shot.at(px, quiet) not in (BLACK, (255, 255, 255))]
        print("spectrogram row %d (bin %d): %d of %d columns coloured; quiet row: %d" % (row, bin_1k, len(lit), w, len(dark)))
        if len(lit) < w * 3 // 4:
            fail("no coloured row at the 1 kHz bin across the swept columns")
        if len(dark) > w // 10:
            fail("a quiet row of the spectrogram is coloured")
        close_and_expect_zero(display, proc, window, args.xdelete)
        with open(log) as f:
            text = f.read()
        if "Format not supported" in text or "Error opening wavein" in text:
            fail("capture failed: " + text)
    finally:
        display.close()


def check_nodevice(args):
    display = Display()
    try:
        env = {"SDL_AUDIODRIVER": "pulseaudio", "PULSE_SERVER": "unix:/nonexistent/as-no-server"}
        proc, log = start(args.binary, display, env)
        main = wait_window(display, proc)[0]
        end = time.time() + 15
        text = ""
        while "Format not supported" not in text and time.time() < end:
            time.sleep(0.2)
            with open(log) as f:
                text = f.read()
        if "Format not supported" not in text:
            fail("'Format not supported' was not reported: %r" % text)
        # The message box: another top-level window of the program. Close it as a user would.
        boxes = []
        end = time.time() + 10
        while not boxes and time.time() < end:
            boxes = [b for b in display.windows("Audio Sampling") if b != main]
            time.sleep(0.2)
        if not boxes:
            fail("no message box appeared")
        for box in boxes:
            subprocess.run([args.xdelete, str(box)], env=display.env)
        time.sleep(1.5)
        if proc.poll() is not None:
            fail("the program ended after the message (code %s)" % proc.returncode)
        with open(log) as f:
            text = f.read()
        if text.count("Format not supported") != 1:
            fail("'Format not supported' reported %d times" % text.count("Format not supported"))
        print("message shown once; program still running")
        close_and_expect_zero(display, proc, main, args.xdelete)
    finally:
        display.close()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("check", choices=["live", "nodevice"])
    parser.add_argument("--binary", required=True)
    parser.add_argument("--xdelete", required=True)
    parser.add_argument("--keep", help="also save the live screenshot as this PNG")
    args = parser.parse_args()
    {"live": check_live, "nodevice": check_nodevice}[args.check](args)
    print("PASS: " + args.check)


if __name__ == "__main__":
    main()
