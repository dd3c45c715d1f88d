#!/usr/bin/env python3
"""Measures the running program on a virtual X display: CPU in % of one core and resident memory.

  measure_app.py --binary B --xdelete X [--seconds 30] [--idle] [--perf]

Runs the program (inside tests/e2e/pulse-env.sh for live capture; with --idle, without any sound
server, after closing the "Format not supported" box, so the window is open but nothing arrives),
lets it warm up for 5 s, then samples its CPU time over --seconds and reads VmRSS and VmHWM. With
--perf it also records a profile and splits the time into drawing, presenting and the rest.
"""
import argparse
import os
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import e2e_app  # noqa: E402


def cpu_seconds(pid):
    with open("/proc/%d/stat" % pid) as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def memory_kib(pid):
    values = {}
    with open("/proc/%d/status" % pid) as f:
        for line in f:
            key, _, rest = line.partition(":")
            if key in ("VmRSS", "VmHWM"):
                values[key] = int(rest.split()[0])
    return values


def split_profile(data):
    report = subprocess.run(["perf", "report", "-i", data, "--no-children", "--sort", "dso,symbol",
                             "--stdio"], capture_output=True, text=True).stdout
    groups = {"drawing (views, canvas, FFT)": 0.0, "presenting (SDL, X11 shared memory)": 0.0,
              "other": 0.0}
    for line in report.splitlines():
        parts = line.split()
        if not parts or not parts[0].endswith("%") or line.lstrip().startswith("#"):
            continue
        share = float(parts[0].rstrip("%"))
        text = " ".join(parts[1:])
        if any(k in text for k in ("TCanvas", "View::", "TFFT", "transform_kernel", "Magnitude",
                                   "TRecorder", "FillRect", "Polyline")):
            groups["drawing (views, canvas, FFT)"] += share
        elif any(k in text for k in ("libSDL2", "libX11", "libXext", "Present", "memcpy", "libxcb")):
            groups["presenting (SDL, X11 shared memory)"] += share
        else:
            groups["other"] += share
    return groups


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--binary", required=True)
    parser.add_argument("--xdelete", required=True)
    parser.add_argument("--seconds", type=float, default=30)
    parser.add_argument("--idle", action="store_true")
    parser.add_argument("--perf", action="store_true")
    args = parser.parse_args()

    display = e2e_app.Display()
    try:
        env = {"AS_WAVEIN_REPORT": "1"}
        if args.idle:
            env.update(SDL_AUDIODRIVER="pulseaudio", PULSE_SERVER="unix:/nonexistent/as-no-server")
        else:
            env.update(SDL_AUDIODRIVER="pulseaudio")
        proc, log = e2e_app.start(args.binary, display, env)
        main_window = e2e_app.wait_window(display, proc)[0]
        if args.idle:
            time.sleep(2)
            for box in [b for b in display.windows("Audio Sampling") if b != main_window]:
                subprocess.run([args.xdelete, str(box)], env=display.env)
        time.sleep(5)
        recorder = None
        if args.perf:
            recorder = subprocess.Popen(["perf", "record", "-q", "-g", "-o", "/tmp/as-measure.perf",
                                         "-p", str(proc.pid)], stdout=subprocess.DEVNULL,
                                        stderr=subprocess.DEVNULL)
        before, start = cpu_seconds(proc.pid), time.time()
        time.sleep(args.seconds)
        used, elapsed = cpu_seconds(proc.pid) - before, time.time() - start
        memory = memory_kib(proc.pid)
        if recorder:
            recorder.send_signal(2)
            recorder.wait()
        print("%s: %.2f %% of one core over %.0f s; resident %.1f MiB (peak %.1f MiB)" % (
            "idle window" if args.idle else "live capture", 100 * used / elapsed, elapsed,
            memory["VmRSS"] / 1024, memory["VmHWM"] / 1024))
        if recorder:
            for name, share in split_profile("/tmp/as-measure.perf").items():
                print("  %-38s %5.1f %% of the program's samples" % (name, share))
        e2e_app.close_and_expect_zero(display, proc, main_window, args.xdelete)
        with open(log) as f:
            for line in f:
                if line.startswith("wave-in:"):
                    print(line.strip())
    finally:
        display.close()


if __name__ == "__main__":
    main()
