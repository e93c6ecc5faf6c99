#!/usr/bin/env bash
# Starts the console on the demo catalogue with two simulated matrices:
#   "网口演示矩阵" on 127.0.0.1:5555 and "串口演示矩阵" on a pty linked as ports/COM1.
# The simulators are stopped when the console exits.
set -euo pipefail
bin=$(cd "${1:-build/bin}" && pwd)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
}
trap cleanup EXIT INT TERM

start_sim() { # name, args...
  local name=$1; shift
  local log=$bin/$name.log
  "$bin/matrix-sim" "$@" >"$log" 2>&1 &
  local pid=$!
  pids+=("$pid")
  for _ in $(seq 1 100); do
    if grep -qE '^(listening|pty)' "$log" 2>/dev/null; then
      echo "matrix-sim ($name, pid $pid): $(grep -E '^(listening|pty)' "$log" | head -1)"
      return 0
    fi
    kill -0 "$pid" 2>/dev/null || { cat "$log" >&2; echo "matrix-sim ($name) failed" >&2; exit 1; }
    sleep 0.05
  done
  echo "matrix-sim ($name) did not become ready" >&2; exit 1
}

start_sim net --inputs 16 --outputs 16 --audio --vca --tcp-port 5555
start_sim serial --inputs 8 --outputs 8 --audio --pty-link "$bin/ports/COM1"

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
  echo "No display found; set DISPLAY (or run under xvfb-run)." >&2
fi
"$bin/sarvelon"
