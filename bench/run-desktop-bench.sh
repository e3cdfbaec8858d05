#!/usr/bin/env bash
# Measures the desktop app on the real engine against its goals; prints the figures.
#   bench/run-desktop-bench.sh [BUILD_DIR] [IDLE_SECONDS] [STARTS]
# Runs under its own X server (xvfb-run) with a system tray (trayer):
#  - vvp's start until its window has gone to the tray (the first Timer1 tick, one second after
#    the window shows), STARTS times (default 3); goal under 1.5 s;
#  - its resident memory and processor time while it idles in the tray for IDLE_SECONDS
#    (default 60); goals under 80 MB and under 1% of a core;
#  - desktop_stall_bench: the GUI thread's longest stall while the configured VVP server takes
#    connections and never answers; goal under 100 ms.
# Build first: cmake --build BUILD_DIR --target vvp vvpd desktop_stall_bench
set -euo pipefail
build=${1:-build}
idle=${2:-60}
starts=${3:-3}
bin=$(cd "$build/bin" && pwd)
for tool in xvfb-run xdotool xwininfo trayer; do
  command -v "$tool" >/dev/null || { echo "$tool is missing: scripts/setup-deps.sh installs it" >&2; exit 2; }
done
for program in vvp vvpd desktop_stall_bench; do
  [ -x "$bin/$program" ] || { echo "$bin/$program is missing: cmake --build $build --target $program" >&2; exit 2; }
done
if [ -z "${VVP_BENCH_DISPLAY:-}" ]; then
  exec xvfb-run -a -s "-screen 0 1280x1024x24" env VVP_BENCH_DISPLAY=1 "$0" "$build" "$idle" "$starts"
fi

work=$(mktemp -d /tmp/vvp-desktopbench-XXXXXX)
trap 'kill $(jobs -p) 2>/dev/null || true; wait 2>/dev/null || true; rm -rf "$work"' EXIT
mkdir -p "$work/prog" "$work/tmp" "$work/run" "$work/tools"
chmod 700 "$work/run"
# The printer check at start finds a queue "Vocanet" and leaves the machine's CUPS alone.
printf '#!/bin/sh\necho Vocanet\n' > "$work/tools/lpstat"
printf '#!/bin/sh\nexit 1\n' > "$work/tools/lpadmin"
chmod 755 "$work/tools/lpstat" "$work/tools/lpadmin"
export PATH="$work/tools:$PATH" TMP="$work/tmp/" XDG_RUNTIME_DIR="$work/run" QT_QPA_PLATFORM=xcb
options=(--program-folder "$work/prog" --registry "$work/registry.reg")
port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
"$bin/vvpd" "${options[@]}" set Port "$port" >/dev/null
"$bin/vvpd" "${options[@]}" set "Save Mode" 1 >/dev/null

trayer --expand false --width 10 --widthtype request >/dev/null 2>&1 &
timeout 10 xdotool search --sync --class trayer >/dev/null || { echo "trayer did not start" >&2; exit 1; }

now_ms() { echo $(($(date +%s%N) / 1000000)); }
mapped() { xwininfo -id "$1" 2>/dev/null | grep -q IsViewable; }

echo "== vvp: start until the window is in the tray (goal under 1500 ms)"
for run in $(seq "$starts"); do
  t0=$(now_ms)
  "$bin/vvp" "${options[@]}" >"$work/vvp.log" 2>&1 &
  pid=$!
  deadline=$((t0 + 10000))
  window=""
  while [ -z "$window" ]; do
    [ "$(now_ms)" -lt "$deadline" ] || { echo "the window did not show" >&2; cat "$work/vvp.log" >&2; exit 1; }
    window=$(xdotool search --onlyvisible --name '^Vocanet Virtual Printer$' 2>/dev/null | head -n 1) || true
  done
  shown=$(now_ms)
  while mapped "$window"; do
    [ "$(now_ms)" -lt "$deadline" ] || { echo "the window did not go to the tray" >&2; cat "$work/vvp.log" >&2; exit 1; }
    sleep 0.005
  done
  intray=$(now_ms)
  echo "start $run: window shown after $((shown - t0)) ms, in the tray after $((intray - t0)) ms"
  [ "$run" -eq "$starts" ] && break
  kill -TERM "$pid"
  wait "$pid" || true
done

echo "== vvp idle in the tray for $idle s (goals under 80 MB resident, under 1% of a core)"
ticks() { awk '{ print $14 + $15 }' "/proc/$pid/stat"; }
hz=$(getconf CLK_TCK)
before=$(ticks)
sleep "$idle"
after=$(ticks)
rss=$(awk '/^VmRSS/ { print $2 }' "/proc/$pid/status")
peak=$(awk '/^VmHWM/ { print $2 }' "/proc/$pid/status")
threads=$(awk '/^Threads/ { print $2 }' "/proc/$pid/status")
awk -v t=$((after - before)) -v hz="$hz" -v s="$idle" -v rss="$rss" -v peak="$peak" -v th="$threads" 'BEGIN {
  printf "resident %.1f MB (peak %.1f MB), %d threads; processor %.2f%% of a core (%d ticks of 1/%d s)\n",
    rss / 1024, peak / 1024, th, 100 * t / hz / s, t, hz }'
kill -TERM "$pid"
wait "$pid" || true

echo "== GUI thread while the VVP server does not answer (goal under 100 ms)"
"$bin/desktop_stall_bench" 30 2>/dev/null
