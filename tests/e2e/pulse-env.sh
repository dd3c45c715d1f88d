#!/usr/bin/env bash
# A private PulseAudio server whose default recording source hears a steady sine tone, for
# end-to-end capture tests.
#
#   tests/e2e/pulse-env.sh COMMAND [ARGS...]   runs COMMAND inside it and exits with its status
#   source tests/e2e/pulse-env.sh              starts it for the current shell; pulse_env_stop
#                                              (or leaving the shell) takes it down
#
# What the command sees:
#   PULSE_SERVER    the server's socket (unix:...), so every PulseAudio client finds it
#   AS_E2E_TONE_HZ  the tone's frequency (AS_E2E_TONE_HZ may be set beforehand; default 1000)
#
# The server runs from a fresh temporary directory with no configuration of the machine's own, so
# it works as root (as in CI) and beside a desktop's own server. It has one null sink "tone" with
# the tone playing into it, and the default source "tonein" remapped from that sink's monitor.
# Capture sees the tone about 2.5 s after the player starts, which happens before the command runs.
# Everything started here is stopped again by process id on exit, and the directory removed.
# Needs: pulseaudio, pactl and pacat (pulseaudio-utils), sox.

pulse_env_fail() {
  echo "pulse-env: $*" >&2
  return 1
}

pulse_env_stop() {
  local pid reversed=""
  # The player first, then the tone, then the server, so no client sees its server go.
  for pid in ${PULSE_ENV_PIDS:-}; do
    reversed="$pid $reversed"
  done
  for pid in $reversed; do
    kill "$pid" 2>/dev/null
    wait "$pid" 2>/dev/null
  done
  PULSE_ENV_PIDS=""
  if [[ -n "${PULSE_ENV_DIR:-}" && -d "$PULSE_ENV_DIR" ]]; then
    rm -rf "$PULSE_ENV_DIR"
  fi
  PULSE_ENV_DIR=""
  unset PULSE_SERVER AS_E2E_TONE_HZ
}

pulse_env_start() {
  local tool
  for tool in pulseaudio pactl pacat sox; do
    command -v "$tool" >/dev/null 2>&1 ||
      { pulse_env_fail "$tool is not installed (packages: pulseaudio pulseaudio-utils sox)"; return 1; }
  done

  PULSE_ENV_DIR="$(mktemp -d "${TMPDIR:-/tmp}/as-pulse.XXXXXX")" || return 1
  PULSE_ENV_PIDS=""
  local dir="$PULSE_ENV_DIR"
  local hz="${AS_E2E_TONE_HZ:-1000}"
  mkdir -p "$dir/runtime" "$dir/state" "$dir/config"
  cat >"$dir/server.pa" <<EOF
load-module module-native-protocol-unix socket=$dir/native auth-anonymous=1
load-module module-null-sink sink_name=tone rate=44100 channels=2
load-module module-remap-source source_name=tonein master=tone.monitor
set-default-sink tone
set-default-source tonein
EOF

  # The server's own environment points every path it might touch into the directory, and keeps
  # it away from any session bus or desktop server.
  env -u DBUS_SESSION_BUS_ADDRESS -u PULSE_SERVER -u DISPLAY \
    HOME="$dir" XDG_RUNTIME_DIR="$dir/runtime" XDG_CONFIG_HOME="$dir/config" \
    PULSE_RUNTIME_PATH="$dir/runtime" PULSE_STATE_PATH="$dir/state" \
    pulseaudio --daemonize=no --system=false --use-pid-file=no --exit-idle-time=-1 \
    --disable-shm=yes -n -F "$dir/server.pa" --log-target=file:"$dir/server.log" &
  PULSE_ENV_PIDS="$!"
  export PULSE_SERVER="unix:$dir/native"

  local tries=0
  until pactl info >/dev/null 2>&1; do
    tries=$((tries + 1))
    if ((tries > 100)) || ! kill -0 "${PULSE_ENV_PIDS%% *}" 2>/dev/null; then
      cat "$dir/server.log" >&2 2>/dev/null
      pulse_env_fail "the sound server did not come up"
      pulse_env_stop
      return 1
    fi
    sleep 0.1
  done

  # An hour of tone through a pipe, so sox and the player are both known by process id.
  mkfifo "$dir/tone.fifo"
  sox -q -n -r 44100 -c 2 -t raw -e signed -b 16 - synth 3600 sine "$hz" vol 0.5 \
    >"$dir/tone.fifo" &
  PULSE_ENV_PIDS="$PULSE_ENV_PIDS $!"
  pacat --playback --device=tone --rate=44100 --channels=2 --format=s16le --raw \
    --latency-msec=50 <"$dir/tone.fifo" &
  PULSE_ENV_PIDS="$PULSE_ENV_PIDS $!"
  export AS_E2E_TONE_HZ="$hz"
  sleep 2.5
}

if [[ "${BASH_SOURCE[0]}" != "$0" ]]; then
  # Sourced: leave the server running for this shell.
  if pulse_env_start; then
    trap pulse_env_stop EXIT
  fi
  return 0 2>/dev/null
fi

if [[ $# -eq 0 ]]; then
  echo "usage: $0 COMMAND [ARGS...]   (or source it)" >&2
  exit 2
fi
trap pulse_env_stop EXIT
trap 'exit 130' INT TERM
pulse_env_start || exit 1
"$@"
status=$?
exit "$status"
